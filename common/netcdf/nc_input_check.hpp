// The check of every netCDF input before the library parses it.
//
// Why: the netCDF library trusts what a file says about itself.  A few
// changed header bytes make it divide by zero, read outside its name table
// or allocate gigabytes while it opens a file of a few kilobytes; on a
// cluster node one such file takes down every job beside it.  Every input
// of every program is opened through `NcFile::open`, which runs this check
// first and hands the file to the library only when it passes.
//
// What, by format (told apart by the file's first bytes, not its name):
//
//   classic, 64-bit offset, 64-bit data (CDF-1, CDF-2, CDF-5)
//     A complete check of the header against the published format, in the
//     program itself (see classic_extent.hpp for every rule): magic, record
//     count, the dimension, attribute and variable lists with their counts,
//     names, types, value lengths and padding, dimension ids in range, the
//     record dimension only once and only first, vsize and begin, and every
//     variable's data within the file's length.  Every count must be backed
//     by bytes of the file, so neither the check nor the library can be
//     made to allocate more than a small multiple of the file's length, and
//     a variable (so a grid) is never larger than the file that holds it.
//     The walk is the one the reader already made to find truncated
//     variables, moved before the open: valid files pay one header read.
//
//   anything else (netCDF-4/HDF5, and whatever the library may recognise)
//     A probe: a child process (fork) opens the file with the library and
//     inquires everything a reader can ask of the root group (dimensions,
//     variables, their dimension ids and every attribute's values), under
//     an address-space limit of the parent's size plus kProbeMemoryBytes
//     (not under AddressSanitizer, which reserves terabytes), kProbeCpuSeconds
//     of CPU and kProbeWallSeconds of wall time, no core file, killed with
//     the program; its standard streams go to /dev/null.  The child reports
//     through a pipe; a child that crashes, runs out of memory or time, or
//     whose inquiries fail gets the file refused.  When the library itself
//     declines the file (not netCDF, unknown format), the probe's library
//     status is returned as the open's status, exactly as before.  Only
//     when the probe passes does the parent open the file.
//     A verdict is kept per file (device, inode, size, modification and
//     change times) for the life of the process, so a file that a program
//     opens once per variable is probed once.  Data chunks are not read by
//     the probe: their reads stay with the library in the program.
//
//   files shorter than 8 bytes that are not classic
//     Handed to the library without a probe: no format's signature fits in
//     them, so there is nothing to parse and the library declines them
//     ("Unknown file format").
//
//   paths that name no file
//     Handed to the library unchanged (it reports the missing file as
//     before).  An existing path that is not a regular file (a folder, a
//     pipe that would block the open) is refused.
//
// How a refusal ends: `NcFile::open` writes the failure-place line of the
// file on the error stream (program_end.hpp), "<program>: <path>: refused:
// <reason>", once however often the file is opened, and returns
// kRefusedInput (whose text through `nc_error_text` is "refused: <reason>",
// so that the failure place of the end that follows is that same line and
// is not written again); the caller's open-failure path then writes its own
// records and ends as it does for any file it cannot open (status 1 in every
// program).  Nothing has been read, so nothing is written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rn {

/// Limits of the child that probes a non-classic file.
inline constexpr std::uint64_t kProbeMemoryBytes = std::uint64_t{512} << 20;
inline constexpr unsigned kProbeCpuSeconds = 10;
inline constexpr unsigned kProbeWallSeconds = 30;

/// The verdict on one input.
struct InputCheck {
  enum class Outcome {
    accepted,       ///< open it
    refused,        ///< damaged or unsafe: `reason` says why
    library_error,  ///< the library declines it cleanly: `library_status`
    not_found,      ///< no such file (or not reachable): let the library say so
  };
  Outcome outcome = Outcome::accepted;
  std::string reason;
  int library_status = 0;
  /// Classic formats: where each variable's data end, and the file's length.
  std::optional<std::vector<std::uint64_t>> data_ends;
  std::uint64_t file_bytes = 0;
};

/// Checks the file at `path` as described above.
InputCheck check_nc_input(const std::string& path);

/// Forgets the verdicts kept on probed files (benchmarks measure the probe
/// of a file more than once).
void forget_input_verdicts();

/// Writes "<program>: <path>: refused: <reason>" on the error stream
/// (standard output's records first, so both read in order), once for the
/// same file and reason, and keeps the reason for `refusal_text`.
void report_refused_input(std::string_view path, std::string_view reason);

/// "refused: " and the reason of the last refusal reported (the text of
/// kRefusedInput).
std::string refusal_text();

}  // namespace rn
