// `cmake --install` places the programs, their manual pages and the user
// guide under a prefix, and the installed programs run from there.
#include <gtest/gtest.h>

#include <filesystem>

#include "test_support.hpp"
#include "tour_support.hpp"

namespace {
namespace fs = std::filesystem;
using rn::test::run;

TEST(Install, ProgramsManualPagesAndGuideUnderThePrefix) {
  rn::test::ScratchDir prefix;
  const rn::test::RunResult r =
      run(RN_CMAKE_COMMAND, {"--install", RN_BUILD_DIR, "--prefix", prefix.path().string()},
          prefix.path());
  ASSERT_EQ(r.status, 0) << r.out << r.err;

  for (const auto& p : rn::test::programs()) {
    SCOPED_TRACE(p.name);
    const fs::path program = prefix / "bin" / p.name;
    ASSERT_TRUE(fs::exists(program));
    EXPECT_NE(fs::status(program).permissions() & fs::perms::others_exec, fs::perms::none);
    EXPECT_EQ(run(program.string(), {"--version"}, prefix.path()).out,
              p.name + " " + RN_VERSION + "\n");
    const fs::path page = prefix / "share/man/man1" / (p.name + ".1");
    EXPECT_EQ(rn::test::difference(fs::path(RN_MAN_DIR) / (p.name + ".1"), page), "");
  }
  const fs::path doc = prefix / "share/doc/rivernest";
  for (const char* file : {"guide.md", "behaviour.md", "scale-out.md", "quicklook_sample_basin.png",
                           "globe_flow.png"}) {
    EXPECT_EQ(rn::test::difference(rn::test::source_dir() / "docs" / file, doc / file), "");
  }
  for (const char* script : {"quicklook.py", "tour.sh", "scale-out/reachfeed_parallel.sh",
                             "scale-out/siteseries_parallel.sh", "scale-out/reachfeed_array.sbatch",
                             "scale-out/siteseries_array.sbatch"}) {
    SCOPED_TRACE(script);
    ASSERT_TRUE(fs::exists(doc / script));
    EXPECT_NE(fs::status(doc / script).permissions() & fs::perms::owner_exec, fs::perms::none);
  }

  // The guide's walk-through from the prefix alone: the installed tour
  // finds the installed programs and samplebasin and writes ./demo.
  rn::test::ScratchDir work;
  const rn::test::RunResult tour = run("/bin/bash", {(doc / "tour.sh").string()}, work.path());
  EXPECT_EQ(tour.status, 0) << tour.out << tour.err;
  EXPECT_TRUE(fs::exists(work / "demo/series/us_latlon.nc")) << tour.out;
  EXPECT_NE(tour.out.find("in " + (work / "demo").string()), std::string::npos) << tour.out;
}

}  // namespace
