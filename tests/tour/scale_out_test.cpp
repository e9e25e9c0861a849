// The scale-out recipes: many reachfeed and siteseries runs at once with GNU
// parallel, and the Slurm job-array scripts (by hand, and as root on a
// one-node cluster of the test's own), give the files of one run after the
// other, byte for byte.
#include <gtest/gtest.h>
#include <netcdf.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "nc_file.hpp"
#include "nc_test_support.hpp"
#include "slurm_cluster.hpp"
#include "test_support.hpp"
#include "tour_support.hpp"

namespace {
namespace fs = std::filesystem;
using rn::test::difference;
using rn::test::run;
using rn::test::run_script;
using rn::test::sample_basin;

const char* const kHour0 = "2016010100";

// A parent channel output with the reaches of `source` in another order:
// reversed (shift 0) or rotated by `shift` positions.  A cache built from one
// order is stale for the other, so runs on both fight over mapping_index.nc.
void write_reordered(const fs::path& source, const fs::path& target, std::size_t shift) {
  rn::NcFile in;
  ASSERT_EQ(in.open(source.string()), NC_NOERR);
  std::size_t n = 0;
  ASSERT_EQ(in.dim_length("feature_id", n), NC_NOERR);
  std::vector<std::int32_t> ids(n), flow(n);
  int id_var = -1, flow_var = -1;
  ASSERT_EQ(in.var_id("feature_id", id_var), NC_NOERR);
  ASSERT_EQ(in.var_id("streamflow", flow_var), NC_NOERR);
  ASSERT_EQ(in.read(id_var, std::span<std::int32_t>(ids)), NC_NOERR);
  ASSERT_EQ(in.read(flow_var, std::span<std::int32_t>(flow)), NC_NOERR);
  float scale = 0;
  ASSERT_EQ(nc_get_att_float(in.ncid(), flow_var, "scale_factor", &scale), NC_NOERR);
  for (auto* v : {&ids, &flow}) {
    if (shift == 0) {
      std::reverse(v->begin(), v->end());
    } else {
      std::rotate(v->begin(), v->begin() + static_cast<std::ptrdiff_t>(shift % n), v->end());
    }
  }
  int nc = -1, dim = -1, out_id = -1, out_flow = -1;
  ASSERT_EQ(nc_create(target.c_str(), NC_CLOBBER, &nc), NC_NOERR);
  ASSERT_EQ(nc_def_dim(nc, "feature_id", n, &dim), NC_NOERR);
  ASSERT_EQ(nc_def_var(nc, "feature_id", NC_INT, 1, &dim, &out_id), NC_NOERR);
  ASSERT_EQ(nc_def_var(nc, "streamflow", NC_INT, 1, &dim, &out_flow), NC_NOERR);
  ASSERT_EQ(nc_put_att_float(nc, out_flow, "scale_factor", NC_FLOAT, 1, &scale), NC_NOERR);
  ASSERT_EQ(nc_enddef(nc), NC_NOERR);
  ASSERT_EQ(nc_put_var_int(nc, out_id, ids.data()), NC_NOERR);
  ASSERT_EQ(nc_put_var_int(nc, out_flow, flow.data()), NC_NOERR);
  ASSERT_EQ(nc_close(nc), NC_NOERR);
}

// A folder holding only the basin's mapping.nc: where reachfeed runs.
fs::path mapping_folder(const fs::path& parent, const std::string& name) {
  const fs::path dir = parent / name;
  fs::create_directories(dir);
  rn::test::copy_into(sample_basin() / "mapping.nc", dir);
  return dir;
}

// Eight parent outputs in four reach orders: the basin's three hours, the
// same reversed, and two rotations.
std::vector<fs::path> parent_outputs(const fs::path& dir) {
  std::vector<fs::path> inputs;
  for (const char* hour : {"2016010100", "2016010101", "2016010102"}) {
    const fs::path source = sample_basin() / "channel" / ("reach_" + std::string(hour) + ".nc");
    inputs.push_back(source);
    inputs.push_back(dir / ("reversed_" + std::string(hour) + ".nc"));
    write_reordered(source, inputs.back(), 0);
  }
  for (std::size_t shift : {7, 250}) {
    inputs.push_back(dir / ("rotated_" + std::to_string(shift) + ".nc"));
    write_reordered(sample_basin() / "channel" / "reach_2016010100.nc", inputs.back(), shift);
  }
  std::sort(inputs.begin(), inputs.end(),
            [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
  return inputs;
}

// The outputs of one reachfeed run after the other in `folder`.
void run_one_after_the_other(const std::vector<fs::path>& inputs, const fs::path& folder,
                             const fs::path& out) {
  fs::create_directories(out);
  for (const fs::path& input : inputs) {
    const rn::test::RunResult r =
        run("reachfeed", {input.string(), (out / input.filename()).string()}, folder);
    ASSERT_EQ(r.status, 0) << input << r.out << r.err;
  }
}

TEST(ScaleOut, FourConcurrentReachfeedRunsInOneFolderGiveTheSequentialFiles) {
  rn::test::ScratchDir scratch;
  fs::create_directory(scratch / "inputs");
  const std::vector<fs::path> inputs = parent_outputs(scratch / "inputs");
  ASSERT_EQ(inputs.size(), 8u);
  run_one_after_the_other(inputs, mapping_folder(scratch.path(), "sequential"),
                          scratch / "sequential_out");

  // Three rounds, each from a folder without a cache, for more chances of
  // overlapping cache writes and reads.
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const fs::path folder = mapping_folder(scratch.path(), "parallel_" + std::to_string(round));
    const fs::path out = scratch / ("parallel_out_" + std::to_string(round));
    std::vector<std::string> call = {"-j", "4", folder.string(), out.string()};
    for (const fs::path& input : inputs) call.push_back(input.string());
    const rn::test::RunResult r =
        run_script("docs/scale-out/reachfeed_parallel.sh", call, scratch.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    // Each of the four reach orders finds no cache of its own at first, so
    // at least four runs searched and wrote the cache while others ran.
    int searches = 0;
    for (const fs::path& input : inputs) {
      EXPECT_EQ(difference(scratch / "sequential_out" / input.filename(), out / input.filename()),
                "");
      fs::path log = out / "logs" / input.filename();
      const std::string text = rn::test::read_file(log.replace_extension(".log"));
      searches += text.find(" Using the file mapping.nc\n") != std::string::npos ||
                  text.find("; rebuilding it from mapping.nc\n") != std::string::npos;
    }
    EXPECT_GE(searches, 4);
    // One job-log line per run besides the header, and no temporary left
    // beside the cache.
    const std::string joblog = rn::test::read_file(out / "logs/joblog.tsv");
    EXPECT_EQ(std::count(joblog.begin(), joblog.end(), '\n'), 9) << joblog;
    EXPECT_EQ(rn::test::entries(folder),
              (std::vector<std::string>{"mapping.nc", "mapping_index.nc"}));
  }
}

TEST(ScaleOut, ReachfeedRecipeReportsFailedRunsAndRefusesTwoInputsOfOneName) {
  rn::test::ScratchDir scratch;
  const fs::path folder = mapping_folder(scratch.path(), "basin");
  rn::test::write_file(scratch / "broken.nc", "not a netCDF file\n");
  const rn::test::RunResult r = run_script(
      "docs/scale-out/reachfeed_parallel.sh",
      {"-j", "2", folder.string(), (scratch / "out").string(), (scratch / "broken.nc").string(),
       (sample_basin() / "channel/reach_2016010100.nc").string()},
      scratch.path());
  EXPECT_EQ(r.status, 1) << "one failed run";
  EXPECT_TRUE(fs::exists(scratch / "out/reach_2016010100.nc"));
  EXPECT_FALSE(fs::exists(scratch / "out/broken.nc"));

  // Two inputs of one name would write one output: refused before any run.
  fs::create_directory(scratch / "copy");
  rn::test::copy_into(scratch / "out/reach_2016010100.nc", scratch / "copy");
  const rn::test::RunResult twice = run_script(
      "docs/scale-out/reachfeed_parallel.sh",
      {folder.string(), (scratch / "out2").string(),
       (sample_basin() / "channel/reach_2016010100.nc").string(),
       (scratch / "copy/reach_2016010100.nc").string()},
      scratch.path());
  EXPECT_EQ(twice.status, 1);
  EXPECT_NE(twice.err.find("two inputs are named reach_2016010100.nc"), std::string::npos)
      << twice.err;
  EXPECT_TRUE(rn::test::entries(scratch / "out2/logs").empty());
}

fs::path full_forcing() { return sample_basin() / "forcing/latlon_full"; }

// A copy of the basin's day of hourly forcing without the files of the
// `dropped` hours (0 to 23 of 2016-01-01).
fs::path forcing_with_gaps(const fs::path& scratch, const std::vector<int>& dropped) {
  const fs::path dir = scratch / "forcing_with_gaps";
  fs::create_directories(dir);
  for (int hour = 0; hour < 24; ++hour) {
    if (std::find(dropped.begin(), dropped.end(), hour) != dropped.end()) continue;
    const std::string label = "20160101" + std::string(hour < 10 ? "0" : "") + std::to_string(hour);
    rn::test::copy_into(full_forcing() / (label + ".forcing.nc"), dir);
  }
  return dir;
}

// siteseries' arguments for the 24 hours of `forcing`, after `before`.
std::vector<std::string> series_arguments(std::vector<std::string> before, const fs::path& forcing) {
  for (const std::string& a : {std::string("1"), std::string("1"), std::string(kHour0),
                               std::string("24"), std::string(".forcing.nc"), forcing.string(),
                               (sample_basin() / "sites_us.txt").string()}) {
    before.push_back(a);
  }
  return before;
}

// The series of one siteseries run over the 24 hours of `forcing`.
fs::path sequential_series(const fs::path& scratch, const fs::path& forcing = full_forcing()) {
  const fs::path dir = scratch / "sequential_series";
  fs::create_directories(dir);
  const rn::test::RunResult r = run("siteseries", series_arguments({}, forcing), dir);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  return dir;
}

std::vector<std::string> hourly_files(const fs::path& dir) {
  std::vector<std::string> names;
  for (const std::string& name : rn::test::entries(dir)) {
    if (name != "logs") names.push_back(name);
  }
  return names;
}

// `out` holds the hourly files of `sequential`, byte for byte, and nothing
// else (no temporary either).
void expect_same_series(const fs::path& sequential, const fs::path& out) {
  const std::vector<std::string> hours = hourly_files(sequential);
  EXPECT_EQ(hourly_files(out), hours);
  for (const std::string& name : hours) EXPECT_EQ(difference(sequential / name, out / name), "");
}

TEST(ScaleOut, ParallelSiteseriesBlocksGiveTheFilesOfOneRun) {
  rn::test::ScratchDir scratch;
  const fs::path sequential = sequential_series(scratch.path());
  ASSERT_EQ(hourly_files(sequential).size(), 24u);

  const fs::path out = scratch / "parallel";
  const std::vector<std::string> call =
      series_arguments({"-j", "4", "-b", "5", out.string()}, full_forcing());
  const rn::test::RunResult r = run_script("docs/scale-out/siteseries_parallel.sh", call, scratch.path());
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  expect_same_series(sequential, out);
  EXPECT_EQ(rn::test::entries(out / "logs").size(), 6u) << "five blocks and the job log";

  // A rerun makes only the missing hours.
  fs::remove(out / "2016010107.txt");
  rn::test::write_file(out / "2016010108.txt", "kept\n");
  ASSERT_EQ(run_script("docs/scale-out/siteseries_parallel.sh", call, scratch.path()).status, 0);
  EXPECT_EQ(difference(sequential / "2016010107.txt", out / "2016010107.txt"), "");
  EXPECT_EQ(rn::test::read_file(out / "2016010108.txt"), "kept\n");
}

// In blocks of 5 hours, hour 10 starts a block and hours 15 to 19 are a
// whole block: siteseries alone stops on a missing start hour, so each block
// must start at its first hour with forcing.
const std::vector<int> kForcingGaps = {10, 15, 16, 17, 18, 19};

TEST(ScaleOut, SiteseriesRecipesWriteEveryHourOfOneRunAcrossMissingForcing) {
  rn::test::ScratchDir scratch;
  const fs::path forcing = forcing_with_gaps(scratch.path(), kForcingGaps);
  const fs::path sequential = sequential_series(scratch.path(), forcing);
  ASSERT_EQ(hourly_files(sequential).size(), 18u);

  const fs::path out = scratch / "parallel";
  const rn::test::RunResult r =
      run_script("docs/scale-out/siteseries_parallel.sh",
                 series_arguments({"-j", "2", "-b", "5", out.string()}, forcing), scratch.path());
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  expect_same_series(sequential, out);
  EXPECT_EQ(rn::test::entries(out / "logs"),
            (std::vector<std::string>{"2016010100.log", "2016010105.log", "2016010111.log",
                                      "2016010120.log", "joblog.tsv"}));

  // The array script's five tasks, one after the other; the task without
  // forcing succeeds and writes nothing.
  const fs::path array_out = scratch / "array";
  for (int task = 0; task < 5; ++task) {
    const rn::test::RunResult t =
        run_script("docs/scale-out/siteseries_array.sbatch",
                   series_arguments({array_out.string(), "5"}, forcing), scratch.path(),
                   {"SLURM_ARRAY_TASK_ID=" + std::to_string(task)});
    EXPECT_EQ(t.status, 0) << task << t.out << t.err;
  }
  expect_same_series(sequential, array_out);
}

TEST(ScaleOut, SlurmArrayScriptsParseAndOneTaskDoesItsShare) {
  rn::test::ScratchDir scratch;
  for (const char* script : {"reachfeed_array.sbatch", "siteseries_array.sbatch"}) {
    const rn::test::RunResult syntax = run(
        "/bin/bash", {"-n", (rn::test::source_dir() / "docs/scale-out" / script).string()},
        scratch.path());
    EXPECT_EQ(syntax.status, 0) << script << syntax.err;
  }

  // Task 1 of the reachfeed array takes the second input in name order.
  const fs::path folder = mapping_folder(scratch.path(), "basin");
  const fs::path channel = sample_basin() / "channel";
  rn::test::RunResult r =
      run_script("docs/scale-out/reachfeed_array.sbatch",
                 {folder.string(), (scratch / "out").string(), channel.string(), "reach_*.nc"},
                 scratch.path(), {"SLURM_ARRAY_TASK_ID=1"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  run_one_after_the_other({channel / "reach_2016010101.nc"},
                          mapping_folder(scratch.path(), "sequential"), scratch / "sequential_out");
  EXPECT_EQ(difference(scratch / "sequential_out/reach_2016010101.nc",
                       scratch / "out/reach_2016010101.nc"),
            "");
  EXPECT_EQ(hourly_files(scratch / "out"), std::vector<std::string>{"reach_2016010101.nc"});

  // Task 4 of the siteseries array in blocks of 5 hours: hours 20 to 23.
  const fs::path sequential = sequential_series(scratch.path());
  const std::vector<std::string> siteseries_args =
      series_arguments({(scratch / "series").string(), "5"}, full_forcing());
  r = run_script("docs/scale-out/siteseries_array.sbatch", siteseries_args, scratch.path(),
                 {"SLURM_ARRAY_TASK_ID=4"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const std::vector<std::string> made = hourly_files(scratch / "series");
  EXPECT_EQ(made, (std::vector<std::string>{"2016010120.txt", "2016010121.txt", "2016010122.txt",
                                            "2016010123.txt"}));
  for (const std::string& name : made) {
    EXPECT_EQ(difference(sequential / name, scratch / "series" / name), "");
  }
  // A task beyond the hours fails instead of making hours that were not asked for.
  r = run_script("docs/scale-out/siteseries_array.sbatch", siteseries_args, scratch.path(),
                 {"SLURM_ARRAY_TASK_ID=5"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(hourly_files(scratch / "series").size(), 4u);
}

// Both array scripts on a one-node Slurm cluster of the test's own, the
// siteseries one over forcing with a gap at a task's start and a task
// without forcing: the files of serial runs, byte for byte.
TEST(ScaleOut, ArrayScriptsOnASlurmClusterGiveTheFilesOfSerialRuns) {
  const std::string unavailable = rn::test::SlurmCluster::unavailable();
  if (!unavailable.empty()) GTEST_SKIP() << "no Slurm cluster: " << unavailable;
  rn::test::ScratchDir scratch;
  rn::test::SlurmCluster cluster(scratch / "slurm");
  ASSERT_EQ(cluster.failure(), "");

  const fs::path forcing = forcing_with_gaps(scratch.path(), kForcingGaps);
  const fs::path channel = sample_basin() / "channel";
  const std::vector<std::string> jobs = {
      cluster.submit_array(rn::test::source_dir() / "docs/scale-out/reachfeed_array.sbatch", 2,
                           {mapping_folder(scratch.path(), "basin").string(), "inflow",
                            channel.string(), "reach_*.nc"},
                           scratch.path()),
      cluster.submit_array(rn::test::source_dir() / "docs/scale-out/siteseries_array.sbatch", 4,
                           series_arguments({"series", "5"}, forcing), scratch.path())};
  ASSERT_EQ(cluster.failure(), "");

  // Serial runs while the cluster works.
  const fs::path sequential = sequential_series(scratch.path(), forcing);
  run_one_after_the_other({channel / "reach_2016010100.nc", channel / "reach_2016010101.nc",
                           channel / "reach_2016010102.nc"},
                          mapping_folder(scratch.path(), "sequential"), scratch / "sequential_out");

  ASSERT_EQ(cluster.wait(jobs, std::chrono::seconds(60)), "");
  expect_same_series(sequential, scratch / "series");
  expect_same_series(scratch / "sequential_out", scratch / "inflow");
}

}  // namespace
