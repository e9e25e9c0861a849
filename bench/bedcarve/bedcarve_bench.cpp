// Benchmark of the depression fill: `fill_with_records` (records written to
// /dev/null, as a run with redirected output would) next to a binary-heap
// priority flood (outlets: the outermost ring and the water cells), on the
// same real-like terrain, in the same run.  Each measurement runs in its
// own child process so that its peak memory can be read on its own; times
// are CPU seconds of that process (steadier than wall time on a shared
// machine).
//
//   bedcarve_bench [size | terrain.nc ...]
//     size        a square grid of generated terrain (terrain_gen.hpp)
//     terrain.nc  HGT_M and LANDMASK of a terrain file (for example the
//                 sample basin's child/terrain.nc)
//   default: 1000 4000
#include <fcntl.h>
#include <netcdf.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <queue>
#include <string>
#include <vector>

#include "terrain_conditioning.hpp"
#include "terrain_gen.hpp"
#include "text_record.hpp"

namespace {

using rn::bench::Terrain;

struct Result {
  double seconds = 0;
  long peak_kb = 0;
  std::int64_t fills = 0, starts = 0, capped = 0;
  std::uint64_t digest = 0;  // of the resulting height bits
  bool ok = false;
};

std::uint64_t digest(const std::vector<float>& h) {
  std::uint64_t d = 1469598103934665603ULL;
  for (float v : h) {
    std::uint32_t b;
    std::memcpy(&b, &v, 4);
    d = (d ^ b) * 1099511628211ULL;
  }
  return d;
}

/// Priority flood: every cell ends at least as high as the lowest level at
/// which water can leave it for the ring or a water cell.  O(N log N).
void priority_flood(std::vector<float>& h, const std::vector<std::int32_t>& channel,
                    std::int32_t ix, std::int32_t jx) {
  using Entry = std::pair<float, std::int32_t>;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> open;
  std::vector<std::uint8_t> closed(h.size(), 0);
  for (std::int32_t j = 0; j < jx; ++j) {
    for (std::int32_t i = 0; i < ix; ++i) {
      const std::int32_t c = i + j * ix;
      if (i == 0 || j == 0 || i == ix - 1 || j == jx - 1 || channel[c] == 1) {
        closed[c] = 1;
        open.push({h[c], c});
      }
    }
  }
  const int di[8] = {0, -1, -1, -1, 0, 1, 1, 1}, dj[8] = {1, 1, 0, -1, -1, -1, 0, 1};
  while (!open.empty()) {
    const auto [level, c] = open.top();
    open.pop();
    const std::int32_t i = c % ix, j = c / ix;
    for (int k = 0; k < 8; ++k) {
      const std::int32_t ni = i + di[k], nj = j + dj[k];
      if (ni < 0 || nj < 0 || ni >= ix || nj >= jx) continue;
      const std::int32_t n = ni + nj * ix;
      if (closed[n]) continue;
      closed[n] = 1;
      if (h[n] < level) h[n] = level;
      open.push({h[n], n});
    }
  }
}

/// Runs `work` in a child process; returns its figures and peak memory.
Result in_child(const std::function<void(Result&)>& work) {
  int fds[2];
  if (pipe(fds) != 0) std::abort();
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    Result r;
    work(r);
    r.ok = true;
    if (write(fds[1], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) _exit(1);
    _exit(0);
  }
  close(fds[1]);
  Result r;
  if (read(fds[0], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) r.ok = false;
  close(fds[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  r.peak_kb = usage.ru_maxrss;
  return r;
}

// CPU time of this process: steadier than wall time on a shared machine.
double cpu_now() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

/// HGT_M (or HGT_M_M) and LANDMASK of a terrain file; false when unreadable.
bool load_terrain(const char* path, Terrain& t) {
  int nc = -1, dim = -1, var = -1;
  std::size_t nx = 0, ny = 0;
  if (nc_open(path, NC_NOWRITE, &nc) != NC_NOERR) return false;
  bool ok = nc_inq_dimid(nc, "west_east", &dim) == NC_NOERR &&
            nc_inq_dimlen(nc, dim, &nx) == NC_NOERR &&
            nc_inq_dimid(nc, "south_north", &dim) == NC_NOERR &&
            nc_inq_dimlen(nc, dim, &ny) == NC_NOERR;
  if (ok) {
    t.ix = static_cast<std::int32_t>(nx);
    t.jx = static_cast<std::int32_t>(ny);
    t.height.resize(nx * ny);
    t.channel.resize(nx * ny);
    ok = (nc_inq_varid(nc, "HGT_M", &var) == NC_NOERR ||
          nc_inq_varid(nc, "HGT_M_M", &var) == NC_NOERR) &&
         nc_get_var_float(nc, var, t.height.data()) == NC_NOERR &&
         nc_inq_varid(nc, "LANDMASK", &var) == NC_NOERR &&
         nc_get_var_int(nc, var, t.channel.data()) == NC_NOERR;
    for (auto& c : t.channel) c = c == 0 ? 1 : -999;
  }
  nc_close(nc);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> cases;
  for (int a = 1; a < argc; ++a) cases.push_back(argv[a]);
  if (cases.empty()) cases = {"1000", "4000"};

  std::printf("%-11s %-16s %9s %11s %9s %10s %8s %7s\n", "grid", "method", "cpu s",
              "Mcells/s", "peak MB", "fills", "capped", "ratio");
  double previous_fill = 0, previous_flood = 0, previous_cells = 0;
  for (const std::string& name : cases) {
    Terrain t;
    if (name.find_first_not_of("0123456789") == std::string::npos) {
      const int size = std::atoi(name.c_str());
      t = rn::bench::make_terrain(size, size, 20240611);
    } else if (!load_terrain(name.c_str(), t)) {
      std::printf("%s: cannot read HGT_M and LANDMASK\n", name.c_str());
      return 1;
    } else {
      std::printf("%s:\n", name.c_str());
    }
    const double cells = static_cast<double>(t.ix) * t.jx;
    std::fflush(stdout);

    const Result base = in_child([&](Result& r) {
      std::vector<float> h = t.height;
      r.digest = digest(h);
    });
    const Result flood = in_child([&](Result& r) {
      std::vector<float> h = t.height;
      const double t0 = cpu_now();
      priority_flood(h, t.channel, t.ix, t.jx);
      r.seconds = cpu_now() - t0;
      r.digest = digest(h);
    });
    const Result fill = in_child([&](Result& r) {
      const int null_fd = open("/dev/null", O_WRONLY);
      dup2(null_fd, 1);
      std::vector<float> h = t.height;
      const double t0 = cpu_now();
      const rn::bedcarve::FillCounts counts =
          rn::bedcarve::fill_with_records(h, t.channel, t.ix, t.jx);
      rn::out().flush();
      r.seconds = cpu_now() - t0;
      r.fills = counts.fills;
      r.starts = counts.start_cells;
      r.capped = counts.capped;
      r.digest = digest(h);
    });
    if (!flood.ok || !fill.ok) {
      std::printf("%s: a measurement failed\n", name.c_str());
      return 1;
    }
    const std::string grid = std::to_string(t.ix) + "x" + std::to_string(t.jx);
    auto extra_mb = [&](const Result& r) { return (r.peak_kb - base.peak_kb) / 1024.0; };
    std::printf("%-11s %-16s %9.3f %11.2f %9.1f %10s %8s %7s\n", grid.c_str(), "priority flood",
                flood.seconds, cells / flood.seconds / 1e6, extra_mb(flood), "-", "-", "1.00");
    std::printf("%-11s %-16s %9.3f %11.2f %9.1f %10lld %8lld %7.2f\n", grid.c_str(), "bedcarve fill",
                fill.seconds, cells / fill.seconds / 1e6, extra_mb(fill),
                static_cast<long long>(fill.fills), static_cast<long long>(fill.capped),
                fill.seconds / flood.seconds);
    std::printf("%-11s start cells with fills: %lld; result %s the priority flood's%s\n", "",
                static_cast<long long>(fill.starts),
                fill.digest == flood.digest ? "equals" : "differs from",
                fill.capped ? " (some start cells hit the 100-fill cap)" : "");
    if (previous_cells > 0 && cells > previous_cells) {
      std::printf("%-11s growth from the grid above: fill %.2f x, priority flood %.2f x, for %.1f x the cells\n",
                  "", fill.seconds / previous_fill, flood.seconds / previous_flood,
                  cells / previous_cells);
    }
    previous_fill = fill.seconds;
    previous_flood = flood.seconds;
    previous_cells = cells;
    std::fflush(stdout);
  }
  std::printf("(peak MB: memory above the input grids, per measurement)\n");
  return 0;
}
