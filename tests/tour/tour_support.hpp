// What the tests of the tour, the help answers, the installation and the
// recipes share: the ten programs with their arguments, and a sample basin
// written once per test program.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace rn::test {

struct ProgramArguments {
  std::string name;
  /// Positional arguments in order (for linkweaver, which takes none, the
  /// keys of namelist.nesting).
  std::vector<std::string> arguments;
  bool positional = true;
};

/// The ten programs.
const std::vector<ProgramArguments>& programs();

/// The small sample basin with linkweaver's mapping.nc, written on first use
/// into a folder that lives until the test program ends.  Treat it as
/// read-only: copy what a test changes.
const std::filesystem::path& sample_basin();

/// Copies `file` into folder `dir` (kept name).
void copy_into(const std::filesystem::path& file, const std::filesystem::path& dir);

/// "" when the two files hold the same bytes, or are netCDF files that
/// differ only in their names and the newest line of their history (which
/// names the run's output), else a description of the difference (ncdump
/// output of both for netCDF files).
std::string difference(const std::filesystem::path& a, const std::filesystem::path& b);

/// Runs `command` (a program found on PATH, then its arguments) with the
/// built programs first on PATH, plus `extra_env` ("NAME=value" entries).
RunResult run_with_programs(const std::vector<std::string>& command,
                            const std::filesystem::path& cwd,
                            const std::vector<std::string>& extra_env = {});

/// Runs a bash script of the repository with `args`, the built programs
/// first on PATH, plus `extra_env` ("NAME=value" entries).
RunResult run_script(const std::string& script, const std::vector<std::string>& args,
                     const std::filesystem::path& cwd,
                     const std::vector<std::string>& extra_env = {});

}  // namespace rn::test
