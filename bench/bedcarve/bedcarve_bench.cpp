// Benchmark of bedcarve's depression fill against the yardstick, the
// efficient priority flood of Wei, Zhou and Fang (2018) (priority_flood.hpp),
// on the same terrain in the same run.
//
//   bedcarve_bench [--runs N] [--wide] [case ...]
//     case   KIND:N    an N x N grid of generated terrain of that kind
//                      (smooth, rough or real: terrain_gen.hpp)
//            KIND:WxH  a W x H grid of it
//            N, WxH    the same for each of the three kinds
//            file.nc   HGT_M and LANDMASK of a terrain file
//     --runs N   measurements of each method (the fastest counts; default 3)
//     --wide     also bedcarve with 64-bit cell numbers, as for grids of 2^31
//                cells and more (its memory a cell, on a grid that fits)
//   default cases: 4000 (the three kinds at 4000 x 4000)
//
// bedcarve's figure is the program's fill with all of its records
// (`fill_with_records`: the records rendered and written on a second thread,
// here into a scratch file, as a run whose output goes to a log file);
// the yardstick's is its fill.  Both are wall-clock times.  Each measurement
// runs in its own child process that reads the terrain from a scratch file,
// so its peak memory is its own: peak resident memory minus that of a child
// that reads nothing, per cell, the input grids (heights and water bits)
// included.  Run on an otherwise idle machine.
//
// The heights of both must be equal.  Where a start cell was given up after
// 100 fills they may differ from a full fill: then a 300 x 300 grid of the
// same terrain is filled by the plain repeated search as well, and its
// heights and records must equal bedcarve's byte for byte.
#include <fcntl.h>
#include <netcdf.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cell_bits.hpp"
#include "grid2d.hpp"
#include "priority_flood.hpp"
#include "reference_fill.hpp"
#include "terrain_conditioning.hpp"
#include "terrain_gen.hpp"
#include "text_record.hpp"

namespace {

using rn::Grid2D;
using rn::bedcarve::CellBits;

struct Result {
  double seconds = 0;
  long peak_kb = 0;
  std::int64_t fills = 0, starts = 0, capped = 0;
  std::uint64_t digest = 0;  // of the resulting height bits
  bool ok = false;
};

std::uint64_t digest(std::span<const float> h) {
  std::uint64_t d = 1469598103934665603ULL;
  for (float v : h) {
    std::uint32_t b;
    std::memcpy(&b, &v, 4);
    d = (d ^ b) * 1099511628211ULL;
  }
  return d;
}

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

/// Runs `work` in a child process; returns its figures and its peak memory.
Result in_child(const std::function<void(Result&)>& work) {
  int fds[2];
  if (pipe(fds) != 0) std::abort();
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    Result r;
    work(r);
    r.ok = true;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    r.peak_kb = usage.ru_maxrss;
    if (write(fds[1], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) _exit(1);
    _exit(0);
  }
  close(fds[1]);
  Result r;
  if (read(fds[0], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) r.ok = false;
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return r;
}

// The terrain scratch file: ix, jx (64-bit), heights, water bytes (0/1).
bool save_terrain(const std::string& path, const rn::bench::Terrain& t) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const std::int64_t dims[2] = {t.ix, t.jx};
  bool ok = std::fwrite(dims, sizeof dims, 1, f) == 1 &&
            std::fwrite(t.height.data(), 4, t.height.size(), f) == t.height.size();
  std::vector<std::uint8_t> row(static_cast<std::size_t>(t.ix));
  for (std::size_t at = 0; ok && at < t.channel.size(); at += row.size()) {
    for (std::size_t k = 0; k < row.size(); ++k) row[k] = t.channel[at + k] == 1;
    ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
  }
  return std::fclose(f) == 0 && ok;
}

struct Input {
  Grid2D<float> height;
  CellBits water;
};

Input load_terrain(const std::string& path) {
  Input in;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  std::int64_t dims[2] = {0, 0};
  if (!f || std::fread(dims, sizeof dims, 1, f) != 1) std::abort();
  in.height = Grid2D<float>(static_cast<std::size_t>(dims[0]), static_cast<std::size_t>(dims[1]));
  if (std::fread(in.height.data(), 4, in.height.size(), f) != in.height.size()) std::abort();
  in.water = CellBits(in.height.size());
  std::vector<std::uint8_t> row(static_cast<std::size_t>(dims[0]));
  for (std::size_t at = 0; at < in.height.size(); at += row.size()) {
    if (std::fread(row.data(), 1, row.size(), f) != row.size()) std::abort();
    for (std::size_t k = 0; k < row.size(); ++k) {
      if (row[k]) in.water.set(at + k);
    }
  }
  std::fclose(f);
  return in;
}

/// HGT_M (or HGT_M_M) and LANDMASK of a terrain file; false when unreadable.
bool read_nc_terrain(const char* path, rn::bench::Terrain& t) {
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

/// The fastest of `runs` measurements.
Result fastest(int runs, const std::function<void(Result&)>& work) {
  Result best;
  for (int r = 0; r < runs; ++r) {
    const Result got = in_child(work);
    if (!got.ok) return got;
    if (!best.ok || got.seconds < best.seconds) best = got;
  }
  return best;
}

/// A generated terrain case: its kind and size.
struct Generated {
  rn::bench::TerrainKind kind;
  std::int32_t ix, jx;
};

/// The cases named on the command line (see the top of this file); a file
/// name is kept as it is.
std::vector<std::string> expand_cases(const std::vector<std::string>& args) {
  std::vector<std::string> cases;
  for (const std::string& a : args) {
    if (!a.empty() && a.find_first_not_of("0123456789x") == std::string::npos) {
      for (const char* kind : {"smooth", "rough", "real"}) cases.push_back(kind + (":" + a));
    } else {
      cases.push_back(a);
    }
  }
  return cases;
}

std::optional<Generated> generated(const std::string& name) {
  const auto colon = name.find(':');
  if (colon == std::string::npos) return std::nullopt;
  const auto kind = rn::bench::terrain_kind(std::string_view(name).substr(0, colon));
  const std::string size = name.substr(colon + 1);
  if (!kind || size.empty() || size.find_first_not_of("0123456789x") != std::string::npos) {
    return std::nullopt;
  }
  const auto x = size.find('x');
  const int w = std::atoi(size.c_str());
  const int h = x == std::string::npos ? w : std::atoi(size.c_str() + x + 1);
  if (w <= 0 || h <= 0) return std::nullopt;
  return Generated{*kind, w, h};
}

/// The fill of `t` by bedcarve and by the plain repeated search, records to
/// two files in `dir`: true when heights and records are byte-identical.
bool same_as_plain_search(const rn::bench::Terrain& t, const std::string& dir) {
  const std::string mine = dir + "/records_fast.txt", plain = dir + "/records_plain.txt";
  std::vector<float> fast_h = t.height, plain_h = t.height;
  auto run_into = [&](const std::string& file, const std::function<void(Result&)>& work) {
    return in_child([&](Result& r) {
      const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0 || dup2(fd, 1) < 0) _exit(1);
      work(r);
      rn::out().flush();
    });
  };
  const Result a = run_into(mine, [&](Result& r) {
    Input in;
    in.height = Grid2D<float>(static_cast<std::size_t>(t.ix), static_cast<std::size_t>(t.jx));
    std::copy(t.height.begin(), t.height.end(), in.height.values().begin());
    in.water = CellBits(in.height.size());
    for (std::size_t c = 0; c < t.channel.size(); ++c) {
      if (t.channel[c] == 1) in.water.set(c);
    }
    rn::bedcarve::fill_with_records(in.height, in.water);
    r.digest = digest(in.height.values());
  });
  const Result b = run_into(plain, [&](Result& r) {
    std::vector<float> h = t.height;
    rn::bedcarve::test::reference_fill(h, t.channel, t.ix, t.jx);
    r.digest = digest(h);
  });
  std::FILE* fa = std::fopen(mine.c_str(), "rb");
  std::FILE* fb = std::fopen(plain.c_str(), "rb");
  bool same = a.ok && b.ok && a.digest == b.digest && fa && fb;
  for (int ca = 0, cb = 0; same && ca != EOF;) {
    ca = std::fgetc(fa);
    cb = std::fgetc(fb);
    same = ca == cb;
  }
  if (fa) std::fclose(fa);
  if (fb) std::fclose(fb);
  unlink(mine.c_str());
  unlink(plain.c_str());
  return same;
}

}  // namespace

constexpr std::uint64_t kSeed = 20240611;
/// Side of the grid that the plain search fills when a full fill is no
/// yardstick.
constexpr std::int32_t kPlainSide = 300;

int main(int argc, char** argv) {
  int runs = 3;
  bool wide = false;
  std::vector<std::string> cases;
  for (int a = 1; a < argc; ++a) {
    if (std::strcmp(argv[a], "--wide") == 0) {
      wide = true;
    } else if (std::strcmp(argv[a], "--runs") == 0 && a + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++a]));
    } else {
      cases.push_back(argv[a]);
    }
  }
  cases = expand_cases(cases.empty() ? std::vector<std::string>{"4000"} : cases);
  char scratch_template[] = "/tmp/bedcarve_bench.XXXXXX";
  const char* scratch = mkdtemp(scratch_template);
  if (!scratch) return 1;
  const std::string terrain_file = std::string(scratch) + "/terrain.bin";
  const std::string records_file = std::string(scratch) + "/records.txt";

  std::printf("fastest of %d runs, wall-clock seconds; memory: peak resident bytes a cell,\n"
              "input grids included\n\n",
              runs);
  std::printf("%-18s %-22s %9s %9s %9s %9s %10s %7s\n", "grid", "method", "wall s", "Mcells/s",
              "peak MB", "B/cell", "fills", "ratio");
  int status = 0;
  for (const std::string& name : cases) {
    rn::bench::Terrain t;
    const std::optional<Generated> gen = generated(name);
    std::string grid;
    if (gen) {
      t = rn::bench::make_terrain(gen->kind, gen->ix, gen->jx, kSeed);
      grid = std::string(rn::bench::kind_name(gen->kind)) + " ";
    } else if (!read_nc_terrain(name.c_str(), t)) {
      std::printf("%s: cannot read HGT_M and LANDMASK\n", name.c_str());
      return 1;
    }
    const double cells = static_cast<double>(t.ix) * t.jx;
    grid += std::to_string(t.ix) + "x" + std::to_string(t.jx);
    if (!save_terrain(terrain_file, t)) {
      std::printf("%s: cannot write the scratch file\n", name.c_str());
      return 1;
    }
    t = {};  // the children read the scratch file

    const Result base = in_child([&](Result&) {});
    const Result wei = fastest(runs, [&](Result& r) {
      Input in = load_terrain(terrain_file);
      const double t0 = now();
      rn::bench::priority_flood_wei2018(in.height.values(), in.water,
                                        static_cast<std::int64_t>(in.height.columns()),
                                        static_cast<std::int64_t>(in.height.rows()));
      r.seconds = now() - t0;
      r.digest = digest(in.height.values());
    });
    auto bedcarve = [&](bool wide_index) {
      return fastest(runs, [&, wide_index](Result& r) {
        const int fd = open(records_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, 1) < 0) _exit(1);
        Input in = load_terrain(terrain_file);
        rn::bedcarve::FillTuning tuning;
        tuning.wide_index = wide_index;
        const double t0 = now();
        const rn::bedcarve::FillCounts counts =
            rn::bedcarve::fill_with_records(in.height, in.water, tuning);
        rn::out().flush();
        r.seconds = now() - t0;
        r.fills = counts.fills;
        r.starts = counts.start_cells;
        r.capped = counts.capped;
        r.digest = digest(in.height.values());
      });
    };
    const Result fill = bedcarve(false);
    const Result fill_wide = wide ? bedcarve(true) : Result{};
    if (!wei.ok || !fill.ok) {
      std::printf("%s: a measurement failed\n", name.c_str());
      return 1;
    }
    auto peak_mb = [&](const Result& r) { return (r.peak_kb - base.peak_kb) / 1024.0; };
    auto per_cell = [&](const Result& r) { return (r.peak_kb - base.peak_kb) * 1024.0 / cells; };
    std::printf("%-18s %-22s %9.3f %9.2f %9.1f %9.2f %10s %7s\n", grid.c_str(),
                "priority flood (Wei)", wei.seconds, cells / wei.seconds / 1e6, peak_mb(wei),
                per_cell(wei), "-", "1.00");
    std::printf("%-18s %-22s %9.3f %9.2f %9.1f %9.2f %10lld %7.2f\n", grid.c_str(),
                "bedcarve with records", fill.seconds, cells / fill.seconds / 1e6,
                peak_mb(fill), per_cell(fill), static_cast<long long>(fill.fills),
                fill.seconds / wei.seconds);
    if (fill_wide.ok) {
      std::printf("%-18s %-22s %9.3f %9.2f %9.1f %9.2f %10lld %7.2f\n", grid.c_str(),
                  "  the same, 64-bit", fill_wide.seconds, cells / fill_wide.seconds / 1e6,
                  peak_mb(fill_wide), per_cell(fill_wide),
                  static_cast<long long>(fill_wide.fills), fill_wide.seconds / wei.seconds);
      if (fill_wide.digest != fill.digest) status = 1;
    }
    const bool same = fill.digest == wei.digest;
    std::printf("%-18s start cells with fills: %lld, given up after 100 fills: %lld\n", "",
                static_cast<long long>(fill.starts), static_cast<long long>(fill.capped));
    if (same) {
      std::printf("%-18s heights equal the yardstick's\n", "");
    } else if (!fill.capped) {
      std::printf("%-18s heights DIFFER from the yardstick's\n", "");
      status = 1;
    } else if (gen) {
      // Start cells given up undrained: a full fill is no yardstick; the
      // plain search is, on a grid small enough for it.
      const rn::bench::Terrain small = rn::bench::make_terrain(
          gen->kind, std::min(gen->ix, kPlainSide), std::min(gen->jx, kPlainSide), kSeed);
      const bool plain = same_as_plain_search(small, scratch);
      std::printf("%-18s heights differ from the yardstick's (start cells given up); on %dx%d:"
                  " heights and records %s the plain search's\n",
                  "", small.ix, small.jx, plain ? "equal" : "DIFFER from");
      if (!plain) status = 1;
    } else {
      std::printf("%-18s heights differ from the yardstick's (start cells given up)\n", "");
    }
    std::fflush(stdout);
  }
  unlink(terrain_file.c_str());
  unlink(records_file.c_str());
  rmdir(scratch);
  return status;
}
