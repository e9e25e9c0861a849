// Command-line arguments as the programs take them: every positional argument
// is a text of 256 characters (a longer one is cut, a missing one is blank),
// used with its trailing blanks removed; and the `--help` / `--version`
// answers that every program gives when that is its only argument.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace rn {

inline constexpr std::size_t kArgumentWidth = 256;

/// Argument `k` (1-based) cut at 256 characters with trailing blanks removed;
/// empty when there are fewer arguments.
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

}  // namespace rn
