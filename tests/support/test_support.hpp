// Support for the tests: running the built programs, scratch folders, netCDF
// fixtures written as CDL, and the reference vectors.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace rn::test {

/// Folder of the reference vectors (tests/data/vectors).
std::filesystem::path vectors_dir();
/// Folder of the built programs (build/bin).
std::filesystem::path bin_dir();
/// The repository's top folder.
std::filesystem::path source_dir();

/// A fresh empty folder, removed with everything in it when destroyed.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

struct RunResult {
  int status = -1;        ///< exit status, or 128 + signal number
  std::string out;        ///< standard output
  std::string err;        ///< standard error
};

/// Runs `program` (a name in bin_dir() or a path) with `args` in folder `cwd`,
/// feeding nothing on standard input.
RunResult run(const std::string& program, const std::vector<std::string>& args,
              const std::filesystem::path& cwd);

/// Writes `cdl` through ncgen into a netCDF file at `path` (classic format
/// unless `format` names another ncgen -k kind, e.g. "nc4").
void write_cdl(const std::filesystem::path& path, const std::string& cdl,
               const std::string& format = "classic");

/// ncdump output of a file (with `flags`, e.g. "-h" or "-v qstream").
std::string ncdump(const std::filesystem::path& path, const std::string& flags = "");

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& content);

/// Splits a tab-separated file into rows of cells (header included).
std::vector<std::vector<std::string>> read_tsv(const std::filesystem::path& path);
/// Undoes the vectors' escapes: \\ \t \n \r (and \p for | when `pipes`).
std::string unescape(const std::string& cell, bool pipes = false);
/// The float of an 8-hex-digit bit pattern.
float float_from_bits(const std::string& hex);
/// The 8-hex-digit bit pattern of a float.
std::string bits_of(float value);

}  // namespace rn::test
