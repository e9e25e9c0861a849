// Benchmark of the input check on a sample basin: for one file of every
// kind the programs read, the time to open it and read every variable whole
// through NcFile (the check, then the library), next to the same open and
// reads through the library alone, and the check by itself.  Fastest of N
// runs each, from page-cached files; the probe of a netCDF-4 file is
// measured afresh in every run (its per-process verdict is forgotten).
//
//   bench_nc_input_check [--dir DIR] [--runs N]
//
// DIR (default /tmp/rn-bench-national) is a basin written by
// `samplebasin --preset national DIR` (or any other preset).
#include <netcdf.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "nc_file.hpp"
#include "nc_input_check.hpp"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char* const kFiles[] = {
    "parent/parent_geo.nc",       "parent/parent_links.nc",
    "parent/parent_overlap.nc",   "child/child_grid.nc",
    "child/terrain.nc",           "channel/reach_2016010100.nc",
    "channel/points_2016010100.nc", "seg_info.nc",
    "cellfeed/mapping.nc",        "forcing/latlon_full/2016010100.forcing.nc",
    "forcing/lambert_full/2016010100.forcing.nc"};

[[noreturn]] void die(const std::string& message) {
  std::fprintf(stderr, "bench_nc_input_check: %s\n", message.c_str());
  std::exit(1);
}

// Reads every variable of an open file whole as doubles (the values are
// summed so that nothing is optimised away).
double read_all(int ncid) {
  int nvars = 0;
  if (nc_inq_nvars(ncid, &nvars) != NC_NOERR) die("inquiry failed");
  double sum = 0.0;
  std::vector<double> values;
  for (int v = 0; v < nvars; ++v) {
    nc_type type = NC_NAT;
    int ndims = 0;
    int dims[NC_MAX_VAR_DIMS];
    nc_inq_var(ncid, v, nullptr, &type, &ndims, dims, nullptr);
    if (type == NC_CHAR || type == NC_STRING) continue;
    std::size_t n = 1;
    for (int d = 0; d < ndims; ++d) {
      std::size_t length = 0;
      nc_inq_dimlen(ncid, dims[d], &length);
      n *= length;
    }
    values.resize(n);
    if (n != 0 && nc_get_var_double(ncid, v, values.data()) != NC_NOERR) die("read failed");
    for (double x : values) sum += x;
  }
  return sum;
}

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  fs::path dir = "/tmp/rn-bench-national";
  int runs = 5;
  for (int k = 1; k + 1 < argc; k += 2) {
    const std::string key = argv[k];
    if (key == "--dir") dir = argv[k + 1];
    else if (key == "--runs") runs = std::max(1, std::atoi(argv[k + 1]));
    else die("unknown option " + key);
  }
  std::printf("%-44s %10s %10s %10s %8s\n", "file (fastest of runs, ms)", "library", "checked",
              "check", "ratio");
  double total_plain = 0.0, total_checked = 0.0;
  double sink = 0.0;
  for (const char* name : kFiles) {
    const std::string path = (dir / name).string();
    if (!fs::exists(path)) die("no " + path + " (make it with samplebasin)");
    double plain = 1e30, checked = 1e30, check = 1e30;
    for (int r = 0; r < runs; ++r) {
      // The library alone.
      auto start = Clock::now();
      int id = -1;
      std::size_t chunk = rn::kIoChunkBytes;
      if (nc__open(path.c_str(), NC_NOWRITE, &chunk, &id) != NC_NOERR) die("cannot open " + path);
      sink += read_all(id);
      nc_close(id);
      plain = std::min(plain, seconds_since(start));

      // Through NcFile: the check, then the same open and reads.
      rn::forget_input_verdicts();
      start = Clock::now();
      rn::NcFile file;
      if (file.open(path) != NC_NOERR) die("refused: " + path);
      sink += read_all(file.ncid());
      file.close();
      checked = std::min(checked, seconds_since(start));

      // The check alone.
      rn::forget_input_verdicts();
      start = Clock::now();
      const rn::InputCheck verdict = rn::check_nc_input(path);
      check = std::min(check, seconds_since(start));
      if (verdict.outcome != rn::InputCheck::Outcome::accepted) die("refused: " + path);
    }
    total_plain += plain;
    total_checked += checked;
    std::printf("%-44s %10.3f %10.3f %10.3f %8.3f\n", name, plain * 1e3, checked * 1e3, check * 1e3,
                checked / plain);
  }
  std::printf("%-44s %10.3f %10.3f %10s %8.3f\n", "all files", total_plain * 1e3, total_checked * 1e3, "",
              total_checked / total_plain);
  if (sink == 0.123456789) std::printf("%g\n", sink);
  return 0;
}
