// Command-line arguments as the programs take them: every positional argument
// is a text of at most 256 characters (a missing one is blank), used with its
// trailing blanks removed; and the `--help` / `--version` answers that every
// program gives when that is its only argument.
//
// An argument longer than 256 characters (trailing blanks not counted) is
// refused before the program reads or writes anything: cut, it would name
// another file than the user meant, and the run would read or write there.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace rn {

inline constexpr std::size_t kArgumentWidth = 256;

/// Argument `k` (1-based) cut at 256 characters with trailing blanks removed;
/// empty when there are fewer arguments.  (Under `run_entry` no argument is
/// longer, so nothing is cut.)
std::string argument(int argc, char** argv, int k);

/// Removes trailing blanks.
std::string_view trim_right(std::string_view text);

/// Writes the records that name a program's input and output files:
/// "inFIle =" + `input`, "outFile =" + `output` (reachfeed, cellfeed and
/// the channel-output globe tools).
void echo_file_names(std::string_view input, std::string_view output);

/// Writes the record "narg = " with the number of arguments (siteseries,
/// flowglobe_seg, gaugeglobe).
void echo_argument_count(int argc);

/// The toolkit's version text.
std::string_view toolkit_version();

/// When the only argument is "--help" or "--version", writes `help` (or
/// "<program> <version>") to standard output and returns true; the caller
/// then ends with status 0.  Otherwise returns false.
bool answer_help_or_version(int argc, char** argv, std::string_view program, std::string_view help);

/// Ends the run when an argument is longer than 256 characters, trailing
/// blanks not counted: "Error: argument <k> has <n> characters, more than
/// the 256 that a program takes" on the error stream, status 1.
void refuse_long_arguments(int argc, char** argv);

/// The entry of every program: names the program for the failure lines
/// (program_end.hpp), then under `run_program` answers --help / --version,
/// refuses long arguments, notes the command line for the `history` of the
/// netCDF outputs (cf_metadata.hpp) and runs `body`.  Returns the exit
/// status.
int run_entry(std::string_view program, std::string_view help, int argc, char** argv,
              const std::function<void()>& body);

}  // namespace rn
