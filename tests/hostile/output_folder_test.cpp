// Outputs that cannot be written, every program: a folder without write
// permission, a full disk.  Each run ends with a message
// naming the output and the system's reason and a failure status, leaves no
// temporary or partial file, and an existing output keeps its content.
#include <gtest/gtest.h>

#include <string>

#include "hostile_support.hpp"

namespace rn::test::hostile {
namespace {

// The output the program fails to create first, as the program names it:
// the fixed-name files come before the named output where there are any.
std::string first_output(const ProgramCase& c) {
  if (c.program == "reachfeed") return "mapping_index.nc";  // the cache is written first
  if (c.program == "siteseries") return fs::path(c.output).filename().string();
  for (const std::string& a : c.args) {
    if ((fs::path(c.cwd) / a).lexically_normal() == fs::path(c.output)) return a;
  }
  return c.output;  // linkweaver's mapping.nc
}

// Exit status of a failed write: the netCDF library reports its own write
// failures (code stop 2), the text outputs end with status 1.
int write_failure_status(const ProgramCase& c) {
  return fs::path(c.output).extension() == ".nc" ? 2 : 1;
}

// Every case in turn, as `body` runs it.
template <typename Body>
void for_every_case(Body body) {
  for (const std::string& name : case_names()) {
    SCOPED_TRACE(name);
    body(program_case(name));
  }
}

TEST(UnwritableOutput, ReadOnlyFolder) {
  for_every_case([](const ProgramCase& c) {
    Workspace w(c);
    w.lock_folders();
    Launch as_nobody;
    as_nobody.drop_privileges = true;  // root writes anywhere
    expect_refused(w, w.run(as_nobody), 1,
                   "Error: cannot create output file " + first_output(c) + ": Permission denied");
  });
}

// A tmpfs of 64 KiB filled to its last byte; without the right to mount
// one, a file-size limit of 0 bytes stands in for it.
TEST(UnwritableOutput, FullDisk) {
  for_every_case([](const ProgramCase& c) {
    Workspace full(c, Placement::full_disk);
    if (full.ready()) {
      expect_refused(full, full.run(), write_failure_status(c), "No space left on device");
      return;
    }
    Workspace w(c);
    Launch limited;
    limited.file_size_limit = 0;
    expect_refused(w, w.run(limited), write_failure_status(c), "File too large");
  });
}

}  // namespace
}  // namespace rn::test::hostile
