// What the two nesting programs share: the child boundary file they write,
// the driver that runs a feed, and the program entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "command_line.hpp"

namespace rn::nesting {

/// Inflow of a child node that has no parent value to take.
inline constexpr float kNoInflow = -9999.0f;

/// What a child boundary file takes over from the parent output it is made
/// from: the title of the program's output, the input's history and its
/// time (the one value of its `time` variable, with that variable's units and
/// calendar), so that the hourly files of a run line up along time.
struct BoundaryOrigin {
  std::string title;
  std::string history;
  std::optional<double> time;
  std::string time_units;
  std::string time_calendar;
};

/// The origin of a boundary file made from the parent output `input`: its
/// `history` and `time` when it has them.  Never ends the program (the
/// feed has read the input already).
BoundaryOrigin boundary_origin(const std::string& input, std::string_view title);

/// Writes the child boundary file `path` (classic netCDF, replaced
/// atomically): dimension `nodeNum` of the length of `qstream` (length 0 is
/// the unlimited dimension, whose variables then hold no records), then the
/// variables `qstream` (float), `ci` and `cj` (int) over it, written in that
/// order, and, when the origin has a time, the scalar `time` after them.
/// `ci` and `cj` hold as many values as `qstream`.  The file carries the
/// CF metadata of cf_metadata.hpp: `qstream` in m3 s-1 with the fill value
/// -9999.0; the scalar `time` is not listed in a `coordinates` attribute, so
/// that stacking tools stack it with the values.  A failing library call
/// ends the program through `handle_err`.
void write_child_boundary(std::string_view path, std::span<const float> qstream,
                          std::span<const std::int32_t> ci, std::span<const std::int32_t> cj,
                          const BoundaryOrigin& origin);

/// The driver of a nesting program: the records "inFIle =" and "outFile ="
/// joined with the names, then the feed's reading of its inputs and the writing of the
/// child boundary inflow.
template <typename Feed>
void run_feed(std::string_view input, std::string_view output) {
  echo_file_names(input, output);
  Feed feed;
  feed.read_inputs(input);
  feed.origin = boundary_origin(std::string(input), Feed::kTitle);
  feed.write_inflow(output);
}

/// Program entry of a nesting program: answers --help / --version, takes the
/// two file arguments as 256-character texts and runs `driver` under
/// `run_program`.  Returns the exit status.
int nesting_main(int argc, char** argv, std::string_view program, std::string_view help,
                 void (*driver)(std::string_view input, std::string_view output));

}  // namespace rn::nesting
