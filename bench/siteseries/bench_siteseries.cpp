// Benchmark of siteseries on national-size hourly forcing: seconds per hour
// of the program next to the time the netCDF library alone needs to read the
// five forcing variables of an hour whole, measured in the same run from the
// same page-cached files.
//
//   bench_siteseries [--dir DIR] [--hours N] [--runs R]
//
// DIR (default /tmp/rn-bench-siteseries) holds the forcing folder
// forcing/latlon_full (<YYYYMMDDHH>.forcing.nc files of a regular
// latitude-longitude grid with the full variable set, netCDF-4, deflated in
// chunks of whole rows).  When the folder holds no such file, N hours
// (default 24) of 4608 x 3840 cells are generated into it.  Three site lists
// are measured: 100 and 40,000 sites spread over the whole grid, and 100
// sites within one basin (a tenth of the grid's rows).
#include <fcntl.h>
#include <netcdf.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "nc_file.hpp"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kNx = 4608;
constexpr int kNy = 3840;
constexpr const char* kSuffix = ".forcing.nc";
constexpr const char* kVariables[] = {"U10", "V10", "T2", "Q2", "RAINRATE"};

[[noreturn]] void die(const std::string& message) {
  std::fprintf(stderr, "bench_siteseries: %s\n", message.c_str());
  std::exit(1);
}

void check(int status, const std::string& what) {
  if (status != NC_NOERR) die(what + ": " + nc_strerror(status));
}

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs `args` in `cwd` with standard output and error into `log`; returns
// the exit status and the wall time.
std::pair<int, double> spawn_and_wait(const std::vector<std::string>& args, const fs::path& cwd,
                                      const fs::path& log) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  std::vector<std::string> store(args);
  std::vector<char*> argv;
  for (auto& a : store) argv.push_back(a.data());
  argv.push_back(nullptr);
  const auto start = Clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
    die("cannot start " + args[0]);
  }
  posix_spawn_file_actions_destroy(&actions);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  const double t = seconds_since(start);
  return {WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus), t};
}

// A cheap reproducible hash of a cell and an hour, in [-0.5, 0.5).
float jitter(std::uint32_t i, std::uint32_t j, std::uint32_t h) {
  std::uint32_t x = i * 0x9E3779B1u ^ (j + 0x7F4A7C15u) * 0x85EBCA77u ^ h * 0xC2B2AE3Du;
  x ^= x >> 15;
  x *= 0x2C1B3C6Du;
  x ^= x >> 12;
  return static_cast<float>(x >> 8) / 16777216.0f - 0.5f;
}

// One hourly forcing file of smooth fields (large-scale waves, a diurnal
// cycle moving west, rain cells drifting east) with a little cell noise, so
// that it compresses like model output.  Latitudes are stored north to south.
void write_hour(const fs::path& path, int hour) {
  const fs::path temp = path.string() + ".part";
  int ncid = -1;
  check(nc_create(temp.c_str(), NC_CLOBBER | NC_NETCDF4, &ncid), "create " + temp.string());
  int dt = -1, dy = -1, dx = -1;
  check(nc_def_dim(ncid, "time", 1, &dt), "time");
  check(nc_def_dim(ncid, "lat_0", kNy, &dy), "lat_0");
  check(nc_def_dim(ncid, "lon_0", kNx, &dx), "lon_0");
  int vlat = -1, vlon = -1;
  check(nc_def_var(ncid, "lat_0", NC_FLOAT, 1, &dy, &vlat), "lat_0");
  check(nc_def_var(ncid, "lon_0", NC_FLOAT, 1, &dx, &vlon), "lon_0");
  const int dims[] = {dt, dy, dx};
  // Chunks of whole rows, about a million values each, shuffled and deflated.
  const std::size_t chunk[] = {1, (std::size_t{1} << 20) / kNx, kNx};
  int vars[5];
  for (int v = 0; v < 5; ++v) {
    check(nc_def_var(ncid, kVariables[v], NC_FLOAT, 3, dims, &vars[v]), kVariables[v]);
    check(nc_def_var_chunking(ncid, vars[v], NC_CHUNKED, chunk), "chunking");
    check(nc_def_var_deflate(ncid, vars[v], 1, 1, 1), "deflate");
  }
  check(nc_enddef(ncid), "enddef");

  std::vector<float> lat(kNy), lon(kNx);
  for (int j = 0; j < kNy; ++j) lat[j] = 50.0f - 0.01f * static_cast<float>(j);
  for (int i = 0; i < kNx; ++i) lon[i] = -125.0f + 0.01f * static_cast<float>(i);
  check(nc_put_var_float(ncid, vlat, lat.data()), "lat_0");
  check(nc_put_var_float(ncid, vlon, lon.data()), "lon_0");

  const double day = 2.0 * M_PI * hour / 24.0;
  std::vector<float> wx(kNx), wy(kNy), sun(kNx), rx(kNx), ry(kNy);
  for (int i = 0; i < kNx; ++i) {
    wx[i] = static_cast<float>(std::sin(i * 0.0021 + hour * 0.05));
    sun[i] = static_cast<float>(std::cos(day + lon[i] * M_PI / 180.0));
    rx[i] = static_cast<float>(std::max(0.0, std::sin(i * 0.013 - hour * 0.2)));
  }
  for (int j = 0; j < kNy; ++j) {
    wy[j] = static_cast<float>(std::cos(j * 0.0017 - hour * 0.03));
    ry[j] = static_cast<float>(std::max(0.0, std::sin(j * 0.011 + 0.5)));
  }
  const std::size_t rows = chunk[1];
  std::vector<float> block(rows * kNx);
  for (int v = 0; v < 5; ++v) {
    for (std::size_t j0 = 0; j0 < static_cast<std::size_t>(kNy); j0 += rows) {
      const std::size_t n = std::min(rows, kNy - j0);
      for (std::size_t r = 0; r < n; ++r) {
        const std::size_t j = j0 + r;
        const float cold = static_cast<float>(j) * 0.008f;
        for (std::size_t i = 0; i < static_cast<std::size_t>(kNx); ++i) {
          const float noise = jitter(static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j),
                                     static_cast<std::uint32_t>(hour * 5 + v));
          float value = 0.0f;
          switch (v) {
            case 0: value = 4.0f * wx[i] * wy[j] + 2.0f + 0.2f * noise; break;
            case 1: value = 3.0f * wx[i] + 2.0f * wy[j] + 0.2f * noise; break;
            case 2: value = 300.0f - cold + 6.0f * sun[i] + 0.1f * noise; break;
            case 3: value = 0.008f + 0.003f * wx[i] * wy[j] + 0.0002f * noise; break;
            default: {
              const float cell = rx[i] * ry[j];
              value = cell > 0.6f ? (cell - 0.6f) * 0.004f * (1.0f + 0.2f * noise) : 0.0f;
            }
          }
          block[r * kNx + i] = value;
        }
      }
      const std::size_t start[] = {0, j0, 0};
      const std::size_t count[] = {1, n, static_cast<std::size_t>(kNx)};
      check(nc_put_vara_float(ncid, vars[v], start, count, block.data()), kVariables[v]);
    }
  }
  check(nc_close(ncid), "close");
  fs::rename(temp, path);
}

std::vector<fs::path> forcing_files(const fs::path& folder) {
  std::vector<fs::path> files;
  if (fs::is_directory(folder)) {
    for (const auto& e : fs::directory_iterator(folder)) {
      const std::string name = e.path().filename().string();
      if (name.size() == 10 + std::string(kSuffix).size() && name.ends_with(kSuffix)) {
        files.push_back(e.path());
      }
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Reads the five variables of every file whole, as the library delivers
// them; returns the seconds per file.
double read_floor(const std::vector<fs::path>& files, std::vector<float>& buffer) {
  const auto start = Clock::now();
  for (const fs::path& file : files) {
    for (const char* name : kVariables) {
      rn::NcFile nc;
      int varid = -1;
      std::size_t count = 0;
      if (nc.open(file.string()) != NC_NOERR || nc.var_id(name, varid) != NC_NOERR ||
          nc.var_count(varid, count) != NC_NOERR) {
        die("cannot read " + std::string(name) + " in " + file.string());
      }
      buffer.resize(count);
      if (nc.read(varid, std::span<float>(buffer)) != NC_NOERR) die("cannot read " + file.string());
    }
  }
  return seconds_since(start) / static_cast<double>(files.size());
}

// A US site list of `n` sites at random cells of rows first_row..last_row
// (0-based, file order) of the grid, off the cell centres.
void write_sites(const fs::path& path, int n, const std::vector<float>& lat,
                 const std::vector<float>& lon, int first_row, int last_row, std::uint32_t seed) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) die("cannot write " + path.string());
  std::fprintf(f, "zip lat lon city state\n");
  std::uint32_t s = seed;
  const auto next = [&] {
    s = s * 1664525u + 1013904223u;
    return s >> 8;
  };
  const int rows = last_row - first_row + 1;
  for (int k = 0; k < n; ++k) {
    const int j = first_row + 2 + static_cast<int>(next() % static_cast<std::uint32_t>(rows - 4));
    const int i = 2 + static_cast<int>(next() % static_cast<std::uint32_t>(lon.size() - 4));
    const float fy = static_cast<float>(next() % 1000) / 1000.0f;
    const float fx = static_cast<float>(next() % 1000) / 1000.0f;
    const float la = lat[j] + fy * (lat[j + 1] - lat[j]);
    const float lo = lon[i] + fx * (lon[i + 1] - lon[i]);
    std::fprintf(f, "%05d %.5f %.5f \"Site %d\" ST\n", k % 100000, la, lo, k + 1);
  }
  std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
  fs::path dir = "/tmp/rn-bench-siteseries";
  int hours = 24;
  int runs = 2;
  for (int k = 1; k + 1 < argc; k += 2) {
    const std::string key = argv[k];
    if (key == "--dir") dir = argv[k + 1];
    else if (key == "--hours") hours = std::max(1, std::atoi(argv[k + 1]));
    else if (key == "--runs") runs = std::max(1, std::atoi(argv[k + 1]));
    else die("unknown option " + key);
  }
  const fs::path bin = fs::canonical("/proc/self/exe").parent_path();
  const fs::path forcing = dir / "forcing" / "latlon_full";
  std::vector<fs::path> files = forcing_files(forcing);
  if (files.empty()) {
    fs::create_directories(forcing);
    std::printf("generating %d hours of %d x %d forcing in %s ...\n", hours, kNx, kNy,
                forcing.c_str());
    std::fflush(stdout);
    const auto start = Clock::now();
    for (int h = 0; h < hours; ++h) {
      char name[32];
      std::snprintf(name, sizeof name, "20160228%02d%s", h, kSuffix);
      write_hour(forcing / name, h);
    }
    std::printf("  %.1f s\n", seconds_since(start));
    files = forcing_files(forcing);
  }
  const std::string start_date = files.front().filename().string().substr(0, 10);

  // Grid coordinates for the site lists.
  std::vector<float> lat, lon;
  {
    rn::NcFile nc;
    int vlat = -1, vlon = -1;
    std::size_t ny = 0, nx = 0;
    if (nc.open(files.front().string()) != NC_NOERR || nc.var_id("lat_0", vlat) != NC_NOERR ||
        nc.var_id("lon_0", vlon) != NC_NOERR || nc.var_count(vlat, ny) != NC_NOERR ||
        nc.var_count(vlon, nx) != NC_NOERR) {
      die("no lat_0/lon_0 in " + files.front().string());
    }
    lat.resize(ny);
    lon.resize(nx);
    nc.read(vlat, std::span<float>(lat));
    nc.read(vlon, std::span<float>(lon));
  }
  const int ny = static_cast<int>(lat.size());
  struct Case {
    const char* name;
    int sites;
    int first_row, last_row;
  };
  const Case cases[] = {{"100 sites over the grid", 100, 0, ny - 1},
                        {"40,000 sites over the grid", 40000, 0, ny - 1},
                        {"100 sites in one basin", 100, ny / 2, ny / 2 + ny / 10}};

  std::vector<float> buffer;
  read_floor(files, buffer);  // warm the page cache
  std::printf("siteseries on %zu hours of %zu x %zu forcing (netCDF-4, deflated), best of %d\n",
              files.size(), lon.size(), lat.size(), runs);
  double floor = 1e30;
  for (const Case& c : cases) {
    const fs::path work = dir / "work";
    fs::remove_all(work);
    fs::create_directories(work);
    const fs::path sites = work / "sites.txt";
    write_sites(sites, c.sites, lat, lon, c.first_row, c.last_row, 12345u + c.sites);
    double best = 1e30;
    for (int r = 0; r < runs; ++r) {
      floor = std::min(floor, read_floor(files, buffer));
      for (const auto& e : fs::directory_iterator(work)) {
        if (e.path().extension() == ".txt" && e.path() != sites) fs::remove(e.path());
      }
      const auto [status, seconds] = spawn_and_wait(
          {(bin / "siteseries").string(), "1", "1", start_date, std::to_string(files.size()),
           kSuffix, forcing.string(), sites.string()},
          work, work / "run.log");
      if (status != 0) die("siteseries failed; see " + (work / "run.log").string());
      best = std::min(best, seconds / static_cast<double>(files.size()));
    }
    std::printf("  %-28s %8.3f s per hour   read floor %8.3f s   ratio %6.3f\n", c.name, best,
                floor, best / floor);
  }
  std::printf("targets: 40,000 sites ratio <= 1; 100 sites ratio <= 0.2 (where the sites leave\n"
              "chunks of the grid untouched: deflated chunks are read whole by the library)\n");
  return 0;
}
