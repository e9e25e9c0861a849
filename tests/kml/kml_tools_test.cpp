// The five exporters end to end: command lines, standard output, exit
// statuses and the documents they leave, compared byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "kml_fixtures.hpp"
#include "test_support.hpp"

namespace {
namespace fs = std::filesystem;
using rn::test::read_file;
using rn::test::run;
using rn::test::ScratchDir;
using rn::test::write_cdl;
using rn::test::write_file;
using namespace rn::kml_test;

class KmlTools : public ExporterFolder {};

TEST_F(KmlTools, FlowglobeWritesTheExpectedDocument) {
  write_cdl(at("chrt.nc"), channel_cdl());
  const auto r = tool("flowglobe", {"chrt.nc", "out.kml", "2", "3", "no_seg.nc",
                                    stations().string() + "   "});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, " inFIle =chrt.nc\n outFile =out.kml\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(read_file(at("out.kml")), expected("flowglobe.kml"));
  EXPECT_TRUE(fs::exists(at("obs.kml")));
  EXPECT_EQ(fs::file_size(at("obs.kml")), 0u);
}

TEST_F(KmlTools, FlowglobeMaxWritesTheExpectedDocumentAndKeepsObsKml) {
  write_cdl(at("chrt.nc"), channel_cdl());
  write_file(at("obs.kml"), "kept");
  const auto r = tool("flowglobe_max", {"chrt.nc", "out.kml", "2", "3", "none",
                                        stations().string(), "ignored"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(at("out.kml")), expected("flowglobe_max.kml"));
  EXPECT_EQ(read_file(at("obs.kml")), "kept");
}

TEST_F(KmlTools, FlowglobeReadsTheSizeDimensionAndTheSegmentFile) {
  write_cdl(at("chrt.nc"), channel_cdl("size"));
  write_cdl(at("seg.nc"), segment_cdl());  // three values: read and dropped
  const auto r =
      tool("flowglobe", {"chrt.nc", "out.kml", "2", "3", "seg.nc", stations().string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(at("out.kml")), expected("flowglobe.kml"));
}

TEST_F(KmlTools, NoPointsAndNoStationsGiveHeadAndEndOnly) {
  write_cdl(at("chrt.nc"), channel_cdl("recNum", 0));
  write_cdl(at("seg.nc"), segment_cdl(0));
  auto r = tool("flowglobe", {"chrt.nc", "out.kml", "1", "1", "none.nc"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, " inFIle =chrt.nc\n outFile =out.kml\n warning: obsFile does not exist. \n");
  EXPECT_EQ(read_file(at("out.kml")), expected("colour_empty.kml"));

  r = tool("flowglobe_drv1", {"chrt.nc", "drv1.kml", "1", "1"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(at("drv1.kml")), expected("red_empty.kml"));

  r = tool("flowglobe_seg", {"seg.nc", "seg.kml", "1"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, " narg =            3\n inFIle =seg.nc\n outFile =seg.kml\n"
                   " obsFile does not exist. \n");
  EXPECT_EQ(read_file(at("seg.kml")), expected("red_empty.kml"));
}

TEST_F(KmlTools, NodeAndSegmentDocuments) {
  write_cdl(at("chrt.nc"), channel_cdl());
  write_cdl(at("seg.nc"), segment_cdl());
  auto r = tool("flowglobe_drv1", {"chrt.nc", "drv1.kml", " 2", "2"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, " inFIle =chrt.nc\n outFile =drv1.kml\n");
  EXPECT_EQ(read_file(at("drv1.kml")), expected("flowglobe_drv1.kml"));

  r = tool("flowglobe_seg", {"seg.nc", "seg.kml", "1", stations().string(), "extra"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, " narg =            5\n inFIle =seg.nc\n outFile =seg.kml\n");
  EXPECT_EQ(read_file(at("seg.kml")), expected("flowglobe_seg.kml"));
}

TEST_F(KmlTools, GaugeglobeWithAndWithoutItsList) {
  auto r = tool("gaugeglobe", {"gauges.kml", stations().string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, " narg =            2\n");
  EXPECT_EQ(read_file(at("gauges.kml")), expected("gaugeglobe.kml"));

  r = tool("gaugeglobe", {"missing.kml", "no_such_list.txt"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, " narg =            2\n obsFile does not exist. no_such_list.txt\n");
  EXPECT_EQ(read_file(at("missing.kml")), expected("red_empty.kml"));

  write_file(at("empty.txt"), "");
  write_file(at("blank.txt"), "\n   \n\n");
  for (const char* list : {"empty.txt", "blank.txt"}) {
    r = tool("gaugeglobe", {"empty.kml", list});
    EXPECT_EQ(r.status, 0) << list;
    EXPECT_EQ(r.out, " narg =            2\n") << list;
    EXPECT_EQ(read_file(at("empty.kml")), expected("red_empty.kml")) << list;
  }

  r = tool("gaugeglobe", {"blank.kml", "   "});
  EXPECT_EQ(r.out, " narg =            2\n obsFile does not exist. \n");
  EXPECT_EQ(read_file(at("blank.kml")), expected("red_empty.kml"));
}

TEST_F(KmlTools, WrongArgumentCountsPrintUsageAndFail) {
  struct Case {
    const char* program;
    std::vector<std::string> args;
    const char* out;
  };
  const Case cases[] = {
      {"flowglobe", {"a", "b", "1", "1"},
       " Usage: inFile outputFile order jumpInt seg_info.nc, obsFile(or dumy)\n"},
      {"flowglobe_max", {},
       " Usage: inFile outputFile order jumpInt seg_info.nc, obsFile(or dumy)\n"},
      {"flowglobe_drv1", {"a", "b", "1"},
       " Usage: inFile outputFile order interval(jump points)\n"},
      {"flowglobe_drv1", {"a", "b", "1", "1", "x"},
       " Usage: inFile outputFile order interval(jump points)\n"},
      {"flowglobe_seg", {"a", "b"},
       " narg =            2\n Usage: seg_info.nc outputFile order obsFile(opt)\n"},
      {"gaugeglobe", {"a"},
       " narg =            1\n Usage: outputFile obsFile(station_list.txt)\n"},
      {"gaugeglobe", {"a", "b", "c"},
       " narg =            3\n Usage: outputFile obsFile(station_list.txt)\n"},
  };
  for (const Case& c : cases) {
    const auto r = tool(c.program, c.args);
    EXPECT_EQ(r.status, 1) << c.program;
    EXPECT_EQ(r.out, c.out) << c.program;
    EXPECT_EQ(r.err, "") << c.program;
  }
  EXPECT_TRUE(fs::is_empty(dir_.path()));
}

TEST_F(KmlTools, BadIntegerArgumentsAndJumpIntZero) {
  write_cdl(at("chrt.nc"), channel_cdl());
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"chrt.nc", "out.kml", "two", "3", "none"},
           {"chrt.nc", "out.kml", "2", "", "none"},
           {"chrt.nc", "out.kml", "2", "0", "none"},
           {"chrt.nc", "out.kml", "2", " 0 , 5", "none"}}) {
    const auto r = tool("flowglobe", args);
    EXPECT_EQ(r.status, 1) << args[2] << "|" << args[3];
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err, "");
  }
  EXPECT_NE(tool("flowglobe", {"chrt.nc", "out.kml", "2", "0", "none"}).err.find("jumpInt"),
            std::string::npos);
  EXPECT_EQ(tool("flowglobe_seg", {"seg.nc", "out.kml", "x"}).status, 1);
  EXPECT_EQ(tool("flowglobe_drv1", {"chrt.nc", "out.kml", "1", "1.5"}).status, 1);
  EXPECT_FALSE(fs::exists(at("out.kml")));
  EXPECT_FALSE(fs::exists(at("obs.kml")));
}

TEST_F(KmlTools, BadStationValueLeavesNoPartialDocument) {
  write_cdl(at("seg.nc"), segment_cdl());
  write_file(at("bad.txt"), "40.1 -105.25 Good 7 120 88\nnorth -105.5 Bad 8 121 89\n");
  write_file(at("kept.kml"), "previous content");
  auto r = tool("gaugeglobe", {"kept.kml", "bad.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("bad.txt"), std::string::npos) << r.err;
  EXPECT_EQ(read_file(at("kept.kml")), "previous content");

  r = tool("flowglobe_seg", {"seg.nc", "new.kml", "1", "bad.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(fs::exists(at("new.kml")));
  // Nothing but the inputs is left: no temporary either.
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(dir_.path())) left.push_back(e.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"bad.txt", "kept.kml", "seg.nc"}));
}

TEST_F(KmlTools, MissingInputsStopWithTheReaderMessages) {
  write_cdl(at("chrt.nc"), channel_cdl());
  write_file(at("out.kml"), "previous content");

  // No channel output at all.
  auto r = tool("flowglobe", {"nothing.nc", "out.kml", "1", "1", "none"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(" file= nothing.nc\n"), std::string::npos) << r.out;
  EXPECT_EQ(read_file(at("out.kml")), "previous content");

  // A missing variable (latitude under another name).
  write_cdl(at("nolat.nc"), rename_variable(channel_cdl(), "latitude", "lat_deg"));
  r = tool("flowglobe_max", {"nolat.nc", "out.kml", "1", "1", "none"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(" Read Error: could not find latitude\n"), std::string::npos) << r.out;
  EXPECT_EQ(read_file(at("out.kml")), "previous content");

  // The dimension has no fallback in flowglobe_drv1.
  write_cdl(at("size.nc"), channel_cdl("size"));
  r = tool("flowglobe_drv1", {"size.nc", "out.kml", "1", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(read_file(at("out.kml")), "previous content");

  // A segment-information file that exists must hold chanxi and chanyj.
  write_cdl(at("seg.nc"), rename_variable(segment_cdl(), "chanyj", "chanyy"));
  r = tool("flowglobe", {"chrt.nc", "out.kml", "1", "1", "seg.nc"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(" Read Error: could not find chanyj\n"), std::string::npos) << r.out;
  EXPECT_EQ(read_file(at("out.kml")), "previous content");
}

TEST_F(KmlTools, VariablesOfAnotherLengthAreRefused) {
  std::string cdl = channel_cdl();
  cdl.replace(cdl.find("int chanyj(recNum)"), 18, "int chanyj(other)");
  cdl.replace(cdl.find("variables:"), 10, "  other = 3 ;\nvariables:");
  cdl.replace(cdl.find("chanyj = 3, 7, 8, 1, -9, 6, 5, 0"), 32, "chanyj = 1, 2, 3");
  write_cdl(at("short.nc"), cdl);
  const auto r = tool("flowglobe", {"short.nc", "out.kml", "1", "1", "none"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("chanyj"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(at("out.kml")));
}

TEST_F(KmlTools, UnwritableDocumentFails) {
  write_cdl(at("chrt.nc"), channel_cdl());
  const auto r = tool("flowglobe_drv1", {"chrt.nc", "no_dir/out.kml", "1", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no_dir/out.kml"), std::string::npos) << r.err;
}

}  // namespace
