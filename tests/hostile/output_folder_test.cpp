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

// The nesting and mapping programs report an output they cannot create as
// their writers report a library failure (code stop 2); the others with 1.
bool creates_like_a_library_failure(const ProgramCase& c) {
  return c.program == "linkweaver" || c.program == "reachfeed" || c.program == "cellfeed";
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
    const Outcome o = w.run(as_nobody);
    const std::string named = "Error: cannot create output file " + first_output(c) + ": Permission denied";
    if (!creates_like_a_library_failure(c)) {
      expect_refused(w, o, 1, named);
      return;
    }
    expect_refused(w, o, 2, named + "\nSTOP 2\n");
    EXPECT_NE(o.result.out.find(" Error: Permission denied" + std::string(80 - 17, ' ') + "\n"),
              std::string::npos) << describe(o);
  });
}

// An argument of more than 256 characters (trailing blanks not counted) is
// refused before anything is read or written; one of 256 is taken whole.
// The output's argument (or the last one) gets "./" steps in front, which
// keep it naming the same file.
TEST(LongArgument, RefusedAboveTheLimitTakenWholeAtIt) {
  for_every_case([](const ProgramCase& c) {
    std::vector<std::string> args = c.args;
    std::size_t k = args.size();
    for (std::size_t a = 0; a < args.size(); ++a) {
      if ((fs::path(c.cwd) / args[a]).lexically_normal() == fs::path(c.output)) k = a;
    }
    if (k == args.size()) k = args.empty() ? 0 : args.size() - 1;
    if (k == args.size()) args.push_back("x");  // linkweaver, which ignores it
    const std::string base = args[k];
    const auto stretched = [&](std::size_t length) {
      const std::size_t pad = length - base.size();
      std::string steps = pad % 2 == 1 ? ".//" : "";
      while (steps.size() < pad) steps += "./";
      return steps + base;
    };
    {
      Workspace w(c);
      args[k] = stretched(256) + "  ";
      expect_completed(w, w.run(args));
    }
    Workspace w(c);
    args[k] = stretched(257);
    expect_refused(w, w.run(args), 1,
                   "Error: argument " + std::to_string(k + 1) +
                       " has 257 characters, more than the 256 that a program takes\n");
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
