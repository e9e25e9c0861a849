// Runs of the ten programs on copies of the sample basin, with inputs
// damaged, folders locked and disks full, and the checks every such run
// must pass: a clear message, the expected status, no sanitizer report, no
// partial output and an existing output left as it was.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "nc_damage.hpp"
#include "test_support.hpp"

namespace rn::test::hostile {

namespace fs = std::filesystem;

/// The small sample basin, with the mapping.nc that linkweaver writes for
/// it, made once per build folder and shared by every test process.
const fs::path& basin();

/// One program run on the basin: the basin files it reads (copied into a
/// fresh work area, same relative paths), the folder it runs in and its
/// arguments (relative to the work area), and the file it writes.
struct ProgramCase {
  std::string name;                 ///< test label (the program, or program_variant)
  std::string program;
  std::vector<std::string> inputs;
  std::string cwd;
  std::vector<std::string> args;
  std::string output;               ///< relative to the work area
  /// False where the program keeps an existing output rather than replace
  /// it (siteseries' hourly files): no old output is put there then.
  bool old_output = true;
  /// Files the program creates before it reads anything, even in a run that
  /// fails (flowglobe's empty obs.kml).
  std::vector<std::string> side_files = {};
};

/// The case of `name` (a program name, or "siteseries_rain" for the
/// Lambert rain-only series).
const ProgramCase& program_case(std::string_view name);
/// Every case whose program reads netCDF (all but gaugeglobe).
std::vector<std::string> netcdf_case_names();
/// Every case.
std::vector<std::string> case_names();

/// Content put into the output before a run: a run that fails must leave it.
inline constexpr std::string_view kOldOutput = "output of an earlier run\n";

/// How to start a program beyond its arguments.
struct Launch {
  bool drop_privileges = false;      ///< run as nobody (root ignores permissions)
  long file_size_limit = -1;         ///< RLIMIT_FSIZE in bytes (SIGXFSZ ignored); -1: none
  long address_space_limit = -1;     ///< RLIMIT_AS in bytes; -1: none (never with AddressSanitizer)
  long cpu_seconds_limit = -1;       ///< RLIMIT_CPU in seconds; -1: none
  fs::path bin;                      ///< folder of the programs; empty: bin_dir()
};

/// A run and the work area's files before and after it.
struct Outcome {
  RunResult result;
  long peak_rss_kb = 0;              ///< the program's largest resident size
  std::set<std::string> before;
  std::set<std::string> after;
};

/// Where a work area lies.
enum class Placement {
  plain,       ///< a fresh folder holding copies of the inputs
  full_disk,   ///< a tmpfs of a few kilobytes mounted for it (root only),
               ///< holding links to the inputs and the old output, then
               ///< filled up to its last byte
};

/// A fresh work area holding a case's inputs and its old output.
class Workspace {
 public:
  explicit Workspace(const ProgramCase& c, Placement placement = Placement::plain);
  ~Workspace();
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  const ProgramCase& run_case() const { return case_; }
  /// False when the full disk could not be mounted (not root, no tmpfs).
  bool ready() const { return ready_; }
  /// Why it is not ready.
  const std::string& problem() const { return problem_; }
  const fs::path& root() const { return root_; }
  fs::path operator/(const std::string& relative) const { return root_ / relative; }

  /// Runs the case's program; the listings are taken just before and after.
  Outcome run(const Launch& launch = {}) const;
  /// The same with other arguments.
  Outcome run(const std::vector<std::string>& args, const Launch& launch = {}) const;

  /// Files and folders under the work area (relative paths), temporaries
  /// included.
  std::set<std::string> listing() const;

  /// Takes away write permission from every folder of the work area.
  void lock_folders() const;

 private:
  void fill_disk();

  ProgramCase case_;
  ScratchDir dir_;
  fs::path root_;
  bool mounted_ = false;
  bool ready_ = true;
  std::string problem_;
};

/// The basin input `input` converted to the classic format with `nccopy -k
/// classic`, made once per process.
const std::string& classic_basin_input(const std::string& input);

/// Copy `index` of the damaged-header campaign: the classic form of `input`
/// with random header bytes changed (damage_header), seeded by the case's
/// name, the input and `index`.
std::string damaged_header_copy(const std::string& name, const std::string& input, int index);

/// Puts the classic form of every netCDF input of the work area's case in
/// place, `input` replaced by `bytes`.
void place_classic_inputs(const Workspace& w, const std::string& input, const std::string& bytes);

/// Runs `program` in `cwd` with standard output and error read through
/// pipes (a file-size limit does not touch them).
/// Its largest resident size goes to `peak_rss_kb` when given.
RunResult launch(const std::string& program, const std::vector<std::string>& args,
                 const fs::path& cwd, const Launch& how, long* peak_rss_kb = nullptr);

/// True when the text holds a sanitizer report.
bool has_sanitizer_report(std::string_view text);

/// A run that ends with `status` and `message` (on the error stream or
/// standard output), without a sanitizer report, leaving the work area as
/// it was: the old output intact, nothing removed, nothing added but the
/// case's side files and the complete files named in `whole_files`.
void expect_refused(const Workspace& w, const Outcome& o, int status, std::string_view message,
                    const std::set<std::string>& whole_files = {});

/// A run that completes (status 0, no sanitizer report) and writes its
/// output (replacing the old one).
void expect_completed(const Workspace& w, const Outcome& o);

/// `expect_completed` with `message` among the streams when `status` is 0,
/// else `expect_refused`.
void expect_end(const Workspace& w, const Outcome& o, int status, std::string_view message);

/// The run's streams, for failure messages.
std::string describe(const Outcome& o);

}  // namespace rn::test::hostile
