// The tour (docs/tour.sh, run by tools/demo.sh after the set-up): every
// program on a fresh sample basin, a summary, and a folder made anew on every
// run but never one that the tour did not make.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "nc_test_support.hpp"
#include "test_support.hpp"
#include "tour_support.hpp"

namespace {
namespace fs = std::filesystem;
using rn::test::read_file;
using rn::test::run_script;

std::size_t count_files(const fs::path& dir, const std::string& extension) {
  std::size_t n = 0;
  for (const auto& e : fs::directory_iterator(dir)) n += e.path().extension() == extension;
  return n;
}

TEST(Tour, RunsEveryProgramOnTheSampleBasinAndSummarises) {
  rn::test::ScratchDir scratch;
  const fs::path demo = scratch / "demo";
  const rn::test::RunResult r =
      run_script("docs/tour.sh", {rn::test::bin_dir().string(), demo.string()}, scratch.path());
  ASSERT_EQ(r.status, 0) << r.out << r.err;

  for (const char* file :
       {"mapping.nc", "mapping_index.nc", "inflow/reach_2016010100.nc",
        "inflow/reach_2016010101.nc", "inflow/cell_2016010100.nc", "kml/flow.kml",
        "kml/flow_max.kml", "kml/nodes.kml", "kml/segments.kml", "kml/gauges.kml",
        "kml/flow.kmz", "kml/flow_max.kmz", "kml/nodes.kmz", "kml/segments.kmz",
        "kml/gauges.kmz", "terrain_filled.nc"}) {
    EXPECT_TRUE(fs::exists(demo / file)) << file;
    EXPECT_NE(r.out.find(file), std::string::npos) << "the summary does not name " << file;
  }
  EXPECT_EQ(count_files(demo / "series/us_latlon", ".txt"), 24u);
  EXPECT_EQ(count_files(demo / "series/world_lambert", ".txt"), 24u);

  // The first reachfeed run searched and wrote the cache; the second used it
  // (it was valid: no rebuild warning).  The second hour lacks two parent
  // values: their nodes get -9999.0, counted in the log and the summary.
  const std::string first = read_file(demo / "logs/reachfeed_1.log");
  const std::string second = read_file(demo / "logs/reachfeed_2.log");
  EXPECT_NE(first.find(" Using the file mapping.nc\n"), std::string::npos) << first;
  EXPECT_EQ(first.find("Warning"), std::string::npos) << first;
  EXPECT_NE(second.find(" Using the file mapping_index.nc\n"), std::string::npos) << second;
  EXPECT_EQ(second.find("does not match"), std::string::npos) << second;
  const std::string missing = "missing (fill value or NaN), left out: 2; nodes set to -9999.0 for it: 2";
  EXPECT_NE(second.find(missing), std::string::npos) << second;
  EXPECT_NE(r.out.find(missing), std::string::npos);
  EXPECT_NE(r.out.find("cells, qstream "), std::string::npos);
  EXPECT_NE(r.out.find(", 2 without parent streamflow (-9999.0)\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" Using the file mapping_index.nc"), std::string::npos);

  // Figures of the summary, checked against the inputs they describe.
  EXPECT_NE(r.out.find("kml/gauges.kml             gaugeglobe: 6 gauges\n"), std::string::npos)
      << r.out;
  // The packages hold every placemark of their documents: the channel
  // points and the 6 gauges.
  EXPECT_NE(r.out.find("kml/flow.kmz               flowglobe --kmz: 305 placemarks, "),
            std::string::npos) << r.out;
  EXPECT_NE(r.out.find("kml/nodes.kmz              flowglobe_drv1 --kmz: 835 placemarks, "),
            std::string::npos);
  EXPECT_NE(r.out.find("kml/gauges.kmz             gaugeglobe --kmz: 6 placemarks, "),
            std::string::npos);
  EXPECT_NE(r.out.find("24 hourly files, 12 lines each (183 characters a line)"),
            std::string::npos);
  EXPECT_NE(r.out.find("24 hourly files, 12 lines each (113 characters a line)"),
            std::string::npos);
  EXPECT_NE(r.out.find("Where to look"), std::string::npos);

  // The quick look is drawn where matplotlib is installed.
  if (fs::exists("/usr/bin/python3") &&
      rn::test::run("/usr/bin/python3", {"-c", "import matplotlib"}, scratch.path()).status == 0) {
    ASSERT_TRUE(fs::exists(demo / "quicklook.png")) << read_file(demo / "logs/quicklook.log");
    EXPECT_EQ(read_file(demo / "quicklook.png").substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  }
}

TEST(Tour, MakesItsFolderAnewButLeavesOtherFoldersAlone) {
  rn::test::ScratchDir scratch;
  const fs::path demo = scratch / "demo";
  const std::vector<std::string> args = {rn::test::bin_dir().string(), demo.string()};
  ASSERT_EQ(run_script("docs/tour.sh", args, scratch.path()).status, 0);
  rn::test::write_file(demo / "left_over.txt", "from an earlier run\n");
  const rn::test::RunResult again = run_script("docs/tour.sh", args, scratch.path());
  EXPECT_EQ(again.status, 0) << again.out << again.err;
  EXPECT_FALSE(fs::exists(demo / "left_over.txt"));

  const fs::path mine = scratch / "mine";
  fs::create_directory(mine);
  rn::test::write_file(mine / "notes.txt", "keep\n");
  const rn::test::RunResult refused =
      run_script("docs/tour.sh", {rn::test::bin_dir().string(), mine.string()}, scratch.path());
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("was not made by the tour"), std::string::npos) << refused.err;
  EXPECT_EQ(rn::test::entries(mine), std::vector<std::string>{"notes.txt"});
}

}  // namespace
