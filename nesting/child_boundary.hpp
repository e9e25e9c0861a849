// What the two nesting programs share: the child boundary file they write,
// the driver that runs a feed, and the program entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "command_line.hpp"

namespace rn::nesting {

/// Inflow of a child node that has no parent value to take.
inline constexpr float kNoInflow = -9999.0f;

/// Writes the child boundary file `path` (classic netCDF, replaced
/// atomically): dimension `nodeNum` of the length of `qstream` (length 0 is
/// the unlimited dimension, whose variables then hold no records), then the
/// variables `qstream` (float), `ci` and `cj` (int) over it, written in that
/// order.  `ci` and `cj` hold as many values as `qstream`.  A failing library
/// call ends the program through `handle_err`.
void write_child_boundary(std::string_view path, std::span<const float> qstream,
                          std::span<const std::int32_t> ci, std::span<const std::int32_t> cj);

/// The driver of a nesting program: the records "inFIle =" and "outFile ="
/// joined with the names, then the feed's reading of its inputs and the writing of the
/// child boundary inflow.
template <typename Feed>
void run_feed(std::string_view input, std::string_view output) {
  echo_file_names(input, output);
  Feed feed;
  feed.read_inputs(input);
  feed.write_inflow(output);
}

/// Program entry of a nesting program: answers --help / --version, takes the
/// two file arguments as 256-character texts and runs `driver` under
/// `run_program`.  Returns the exit status.
int nesting_main(int argc, char** argv, std::string_view program, std::string_view help,
                 void (*driver)(std::string_view input, std::string_view output));

}  // namespace rn::nesting
