// End-to-end runs of reachfeed on CDL fixtures.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <bit>
#include <filesystem>
#include <thread>

#include "fixtures.hpp"
#include "nc_file.hpp"
#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;
using namespace nesting_test;
using rn::test::read_file;
using rn::test::run;
using rn::test::ScratchDir;
using rn::test::write_cdl;

// Entries: 11 twice (first position 2, not the later 4), 22, an unknown 99,
// and 33; node 2 gets 0.25 x 4.0 + 0.75 x 8.0, node 1 only a weight of 0,
// node 3 nothing.
EntryMapping base_mapping() {
  return {{11, 22, 99, 33, 11}, {"0.25", "0.75", "1", "0.5", "0"}, {2, 2, 3, 4, 1},
          {1, 2, 3, 4}, {1, 1, 1, 2}};
}

// Packed streamflow with an offset attribute that must not be applied.
std::string base_input() {
  return reach_output_cdl({22, 11, 33, 11}, "int", "800, 400, 123, 999",
                          "    streamflow:scale_factor = 0.01f ;\n"
                          "    streamflow:add_offset = 5.f ;\n");
}

const char* const kSearchRun =
    " inFIle =in.nc\n"
    " outFile =out.nc\n"
    " Using the file mapping.nc\n"
    "  fcstn =            4 gridNum=           4           5\n"
    " reading pNodeId \n"
    " Warning: the node could not find from fcst output          99\n"
    "  finish define nectdf variables.\n"
    " streamflow of vorl =    4.00000000    \n"
    " streamflow of vorl =    8.00000000    \n"
    " streamflow of vorl =    1.23000002    \n"
    " streamflow of vorl =    4.00000000    \n";

const char* const kIndexRun =
    " inFIle =in.nc\n"
    " outFile =out.nc\n"
    " Using the file mapping_index.nc\n"
    "  fcstn =            4 gridNum=           4           5\n"
    " reading pNodeIndex \n"
    " streamflow of vorl =    4.00000000    \n"
    " streamflow of vorl =    8.00000000    \n"
    " streamflow of vorl =    1.23000002    \n"
    " streamflow of vorl =    4.00000000    \n";

template <typename T>
std::vector<T> read_var(const fs::path& file, const std::string& name) {
  rn::NcFile f;
  EXPECT_EQ(f.open(file.string()), NC_NOERR) << file;
  int id = -1;
  std::size_t n = 0;
  EXPECT_EQ(f.var_id(name, id), NC_NOERR) << name;
  EXPECT_EQ(f.var_count(id, n), NC_NOERR);
  std::vector<T> v(n);
  EXPECT_EQ(f.read(id, std::span<T>(v)), NC_NOERR);
  return v;
}

std::vector<std::uint32_t> bits(const std::vector<float>& v) {
  std::vector<std::uint32_t> b;
  for (float x : v) b.push_back(std::bit_cast<std::uint32_t>(x));
  return b;
}

struct FileStamp {
  std::string bytes;
  fs::file_time_type mtime;
  ino_t inode;
  bool operator==(const FileStamp&) const = default;
};

FileStamp stamp(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(stat(p.c_str(), &st), 0);
  return {read_file(p), fs::last_write_time(p), st.st_ino};
}

class Reachfeed : public ::testing::Test {
 protected:
  void SetUp() override {
    write_cdl(dir / "mapping.nc", base_mapping().cdl());
    write_cdl(dir / "in.nc", base_input(), "nc4");
  }
  rn::test::RunResult feed(const std::string& in = "in.nc") {
    return run("reachfeed", {in, "out.nc"}, dir.path());
  }
  ScratchDir dir;
};

TEST_F(Reachfeed, SearchThenIndexGiveTheSameOutputAndLeaveTheCacheAlone) {
  const auto first = feed();
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.out, kSearchRun);
  EXPECT_EQ(first.err, "");
  EXPECT_EQ(bits(read_var<float>(dir / "out.nc", "qstream")),
            bits({-9999.0f, 7.0f, 123.0f * 0.01f}));
  EXPECT_EQ(read_var<int>(dir / "out.nc", "ci"), (std::vector<int>{1, 2, 4}));
  EXPECT_EQ(read_var<int>(dir / "out.nc", "cj"), (std::vector<int>{1, 1, 2}));
  EXPECT_EQ(read_var<int>(dir / "mapping_index.nc", "pNodeIndex"),
            (std::vector<int>{2, 1, -1, 3, 2}));
  EXPECT_NE(rn::test::ncdump(dir / "mapping_index.nc", "-h").find("ndata = 5 ;\n\tgridNum = 4 ;"),
            std::string::npos);

  const std::string output = read_file(dir / "out.nc");
  const FileStamp cache = stamp(dir / "mapping_index.nc");
  fs::remove(dir / "out.nc");
  const auto second = feed();
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(second.out, kIndexRun);
  EXPECT_EQ(read_file(dir / "out.nc"), output);
  EXPECT_EQ(stamp(dir / "mapping_index.nc"), cache);

  // The cache alone, without mapping.nc, serves as well.
  fs::remove(dir / "mapping.nc");
  const auto third = feed();
  EXPECT_EQ(third.out, kIndexRun);
  EXPECT_EQ(read_file(dir / "out.nc"), output);
  EXPECT_EQ(stamp(dir / "mapping_index.nc"), cache);
}

// Each case changes the folder after a first run and names the reason the
// cache no longer holds; the run must then behave as a first run does.
struct StaleCase {
  const char* name;
  void (*change)(const ScratchDir&);
  const char* input;
  const char* reason;
};

const StaleCase kStaleCases[] = {
    {"other_feature_order",
     [](const ScratchDir& d) {
       write_cdl(d / "in2.nc", reach_output_cdl({33, 22, 11}, "float", "1, 2, 3", ""));
     },
     "in2.nc", "feature_id at pNodeIndex 2 of entry 1 is 22, not its PnodeId 11"},
    {"shorter_parent_file",
     [](const ScratchDir& d) {
       write_cdl(d / "in2.nc", reach_output_cdl({22, 11}, "float", "1, 2", ""));
     },
     "in2.nc", "pNodeIndex of entry 4 is 3, beyond the 2 feature ids of the input file"},
    {"new_weights",
     [](const ScratchDir& d) {
       EntryMapping m = base_mapping();
       m.weight = {"0.5", "0.5", "1", "0.5", "0"};
       write_cdl(d / "mapping.nc", m.cdl());
     },
     "in.nc", "weight of entry 1 differs from mapping.nc"},
    {"new_child_cells",
     [](const ScratchDir& d) {
       EntryMapping m = base_mapping();
       m.cj_grid = {1, 1, 2, 2};
       write_cdl(d / "mapping.nc", m.cdl());
     },
     "in.nc", "cj_grid of node 3 differs from mapping.nc"},
    {"more_entries",
     [](const ScratchDir& d) {
       EntryMapping m = base_mapping();
       m.pnodeid.push_back(33);
       m.weight.push_back("1");
       m.childindex.push_back(3);
       write_cdl(d / "mapping.nc", m.cdl());
     },
     "in.nc", "ndata is 5 in mapping_index.nc but 6 in mapping.nc"},
    {"broken_cache",
     [](const ScratchDir& d) { rn::test::write_file(d / "mapping_index.nc", "CDF\1garbage"); },
     "in.nc", "it cannot be read ("},
};

class StaleCache : public ::testing::TestWithParam<StaleCase> {};

TEST_P(StaleCache, IsReportedAndRebuiltAsByAFirstRun) {
  const StaleCase& c = GetParam();
  ScratchDir dir;
  ScratchDir fresh;
  for (const ScratchDir* d : {&dir, &fresh}) {
    write_cdl(*d / "mapping.nc", base_mapping().cdl());
    write_cdl(*d / "in.nc", base_input(), "nc4");
  }
  ASSERT_EQ(run("reachfeed", {"in.nc", "out.nc"}, dir.path()).status, 0);
  c.change(dir);
  c.change(fresh);
  fs::remove(fresh / "mapping_index.nc");

  const auto stale = run("reachfeed", {c.input, "out.nc"}, dir.path());
  const auto first = run("reachfeed", {c.input, "out.nc"}, fresh.path());
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(stale.status, 0) << stale.err;
  const std::string lead = " inFIle =" + std::string(c.input) + "\n outFile =out.nc\n";
  const std::string warning =
      " Warning: the file mapping_index.nc does not match: " + std::string(c.reason);
  ASSERT_EQ(stale.out.compare(0, lead.size() + warning.size(), lead + warning), 0) << stale.out;
  const std::size_t end = stale.out.find("; rebuilding it from mapping.nc\n");
  ASSERT_NE(end, std::string::npos) << stale.out;
  EXPECT_EQ(lead + stale.out.substr(end + 32), first.out);
  EXPECT_EQ(read_file(dir / "out.nc"), read_file(fresh / "out.nc"));
  EXPECT_EQ(read_file(dir / "mapping_index.nc"), read_file(fresh / "mapping_index.nc"));
}

INSTANTIATE_TEST_SUITE_P(Cases, StaleCache, ::testing::ValuesIn(kStaleCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The inflow file takes the parent output's time (value, units, calendar) as
// its scalar time coordinate and its history below this run's line.
TEST_F(Reachfeed, OutputCarriesTheParentTimeAndHistory) {
  write_cdl(dir / "in.nc",
            "netcdf parent { dimensions: feature_id = 4 ; time = 1 ;\n"
            "variables: int feature_id(feature_id) ; int time(time) ;\n"
            "  time:units = \"minutes since 2016-01-01 00:00\" ; time:calendar = \"gregorian\" ;\n"
            "  float streamflow(time, feature_id) ; :history = \"made by the parent model\" ;\n"
            "data: feature_id = 22, 11, 33, 11 ; time = 60 ; streamflow = 8, 4, 1.25, 9 ; }");
  const auto r = feed();
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string dump = rn::test::ncdump(dir / "out.nc");
  EXPECT_EQ(dump.find("coordinates"), std::string::npos) << dump;
  for (const char* text : {"\t\tqstream:units = \"m3 s-1\" ;\n\t\tqstream:_FillValue = -9999.f ;\n",
                           "\tdouble time ;\n", "\t\ttime:units = \"minutes since 2016-01-01 00:00\" ;\n"
                           "\t\ttime:calendar = \"gregorian\" ;\n",
                           ":history = \"2016-01-01T00:00:00Z: reachfeed in.nc out.nc\\n\",\n"
                           "\t\t\t\"made by the parent model\" ;\n",
                           " time = 60 ;\n", " qstream = _, 7, 1.25 ;\n"}) {
    EXPECT_NE(dump.find(text), std::string::npos) << text << "\n" << dump;
  }
}

TEST_F(Reachfeed, NewWeightsAreUsedOnceTheCacheIsRebuilt) {
  ASSERT_EQ(feed().status, 0);
  EntryMapping m = base_mapping();
  m.weight = {"0.5", "0.5", "1", "0.5", "0"};
  write_cdl(dir / "mapping.nc", m.cdl());
  ASSERT_EQ(feed().status, 0);
  EXPECT_EQ(read_var<float>(dir / "out.nc", "qstream")[1], 6.0f);
  EXPECT_EQ(read_var<float>(dir / "mapping_index.nc", "weight")[0], 0.5f);
}

TEST_F(Reachfeed, CachePositionBeyondTheParentFileWithoutMappingEndsTheRun) {
  ASSERT_EQ(feed().status, 0);
  fs::remove(dir / "mapping.nc");
  fs::remove(dir / "out.nc");
  write_cdl(dir / "in2.nc", reach_output_cdl({22, 11}, "float", "1, 2", ""));
  const auto r = feed("in2.nc");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "STOP Error: entry 4 of mapping_index.nc has pNodeIndex 3, beyond the 2 feature ids "
            "of in2.nc\n");
  EXPECT_FALSE(fs::exists(dir / "out.nc"));
}

TEST_F(Reachfeed, ChildIndexOutsideTheNodesEndsTheRunNamingTheEntry) {
  for (int bad : {0, 5}) {
    EntryMapping m = base_mapping();
    m.childindex[2] = bad;
    write_cdl(dir / "mapping.nc", m.cdl());
    const auto r = feed();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "STOP Error: entry 3 of mapping.nc has childIndex " + std::to_string(bad) +
                         ", outside 1 to gridNum = 4\n");
    EXPECT_FALSE(fs::exists(dir / "out.nc"));
    EXPECT_FALSE(fs::exists(dir / "mapping_index.nc"));
  }
}

TEST_F(Reachfeed, MissingScaleFactorScalesByOne) {
  write_cdl(dir / "in.nc", reach_output_cdl({22, 11, 33}, "float", "8.5, 4.25, 1e-3", ""));
  const auto r = feed();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(bits(read_var<float>(dir / "out.nc", "qstream")),
            bits({-9999.0f, 0.25f * 4.25f + 0.75f * 8.5f, 1e-3f}));
}

// Missing parent values (here 22 and 33) are left out of their node's sum
// and weight: node 2 takes entry 11 alone, node 4 has no weight left and
// gets -9999.0, as node 1 (weight 0) always did.  One record counts them,
// in search and index mode alike.
TEST_F(Reachfeed, MissingParentValuesAreLeftOutOfTheirNodes) {
  write_cdl(dir / "in.nc",
            reach_output_cdl({22, 11, 33, 11}, "int", "-999900, 400, -999900, 999",
                             "    streamflow:_FillValue = -999900 ;\n"
                             "    streamflow:scale_factor = 0.01f ;\n"),
            "nc4");
  for (const char* mode : {"search", "index"}) {
    SCOPED_TRACE(mode);
    const auto r = feed();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(r.out.find(" streamflow of vorl")),
              " streamflow of vorl =    4.00000000    \n"
              " streamflow of vorl =    4.00000000    \n"
              " Warning: mapping entries whose parent streamflow is missing (fill value or NaN), "
              "left out: 2; nodes set to -9999.0 for it: 1\n");
    EXPECT_EQ(bits(read_var<float>(dir / "out.nc", "qstream")), bits({-9999.0f, 4.0f, -9999.0f}));
  }
}

TEST_F(Reachfeed, NoValidEntryGivesAnEmptyUnlimitedNodeDimension) {
  write_cdl(dir / "in.nc", reach_output_cdl({1, 2}, "float", "1, 2", ""));
  const auto r = feed();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("streamflow of vorl"), std::string::npos);
  const std::string head = rn::test::ncdump(dir / "out.nc", "-h");
  EXPECT_NE(head.find("nodeNum = UNLIMITED ; // (0 currently)"), std::string::npos) << head;
  EXPECT_TRUE(read_var<float>(dir / "out.nc", "qstream").empty());
}

TEST_F(Reachfeed, MissingFilesEndTheRunWithTheirTexts) {
  const auto no_input = feed("absent.nc");
  EXPECT_EQ(no_input.status, 1);
  EXPECT_EQ(no_input.err, "reachfeed: absent.nc: No such file or directory\n"
                          "STOP In get_file_dimension() - Problem opening file\n");
  EXPECT_FALSE(fs::exists(dir / "mapping_index.nc"));

  fs::remove(dir / "mapping.nc");
  const auto no_mapping = feed();
  EXPECT_EQ(no_mapping.status, 1);
  EXPECT_EQ(no_mapping.out, " inFIle =in.nc\n outFile =out.nc\n");
  EXPECT_EQ(no_mapping.err, "STOP Error: no mapping.nc file found. \n");
  EXPECT_FALSE(fs::exists(dir / "out.nc"));
}

TEST_F(Reachfeed, CacheBesideAnUnreadableParentOrMappingFileEndsTheRun) {
  ASSERT_EQ(feed().status, 0);
  // The parent file is the run's own fault: no warning about the cache.
  const auto no_input = feed("absent.nc");
  EXPECT_EQ(no_input.status, 1);
  EXPECT_EQ(no_input.out, " inFIle =absent.nc\n outFile =out.nc\n Using the file mapping_index.nc\n");
  EXPECT_EQ(no_input.err, "reachfeed: absent.nc: No such file or directory\n"
                          "STOP In get_file_dimension() - Problem opening file\n");

  // A mapping.nc without PnodeId cannot confirm the cache; the search then
  // stops on it with the reader's texts.
  write_cdl(dir / "mapping.nc",
            "netcdf m {\ndimensions:\n  ndata = 1 ;\n  gridNum = 1 ;\nvariables:\n"
            "  int childIndex(ndata) ;\ndata:\n  childIndex = 1 ;\n}\n");
  const auto broken = feed();
  EXPECT_EQ(broken.status, 1);
  EXPECT_NE(broken.out.find(" Warning: the file mapping_index.nc does not match: mapping.nc cannot "
                            "be read (PnodeId: "),
            std::string::npos)
      << broken.out;
  EXPECT_NE(broken.out.find(" Using the file mapping.nc\n"), std::string::npos);
  EXPECT_EQ(broken.err, "reachfeed: mapping.nc: PnodeId: NetCDF: Variable not found\n"
                        "STOP In get1d_int() - failed to read netcdf variable name.\n");
}

// One run per hourly file, all at once in one folder, with two parent
// feature orders: every run must give the output of a run alone.
TEST_F(Reachfeed, ConcurrentRunsNeverUseAForeignCache) {
  write_cdl(dir / "rev.nc", reach_output_cdl({11, 33, 11, 22}, "int", "999, 123, 400, 800",
                                             "    streamflow:scale_factor = 0.01f ;\n"));
  const std::vector<std::uint32_t> expect_in = bits({-9999.0f, 7.0f, 123.0f * 0.01f});
  const std::vector<std::uint32_t> expect_rev = bits({-9999.0f, 0.25f * 9.99f + 0.75f * 8.0f,
                                                      123.0f * 0.01f});
  std::vector<std::thread> runs;
  std::vector<int> status(8, -1);
  for (int i = 0; i < 8; ++i) {
    runs.emplace_back([&, i] {
      const std::string out = "out" + std::to_string(i) + ".nc";
      status[i] = run("reachfeed", {i % 2 ? "rev.nc" : "in.nc", out}, dir.path()).status;
    });
  }
  for (auto& t : runs) t.join();
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(status[i], 0) << i;
    const auto q = read_var<float>(dir / ("out" + std::to_string(i) + ".nc"), "qstream");
    EXPECT_EQ(bits(q), i % 2 ? expect_rev : expect_in) << i;
  }
}

}  // namespace
