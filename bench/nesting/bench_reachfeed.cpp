// reachfeed on a national-size parent file, in search mode (no cache: match
// every mapping entry among the feature ids, write the cache) and in index
// mode (cache present and checked against mapping.nc and the parent file),
// each next to the time the netCDF library alone needs to read the same
// variables, measured in the same run.  The read floor of index mode counts
// only the parent file and the cache; the run also reads mapping.nc to check
// the cache.
//
//   bench_reachfeed [--reps N] [--ids N] [--entries N] [--nodes N]
//                   [--input FILE --mapping FILE] [--workdir DIR]
//
// Without --input the benchmark writes a synthetic parent file (2.7 million
// feature ids in shuffled order, streamflow packed as integers with
// scale_factor 0.01) in netCDF-4 with compression, as parent outputs
// commonly are, and in the classic format, plus a mapping.nc of 40,000
// entries over 16,000 child nodes; 1% of the entries name links the parent
// file does not have.  With --input/--mapping it uses those files (e.g. a
// parent channel output and linkweaver's mapping.nc of the national sample
// basin).  The runs work in a scratch folder under the system temp folder,
// removed afterwards, or in --workdir, which is kept and whose synthetic
// files are reused when they are there.
//
// Every measurement runs in a fresh process (this program started again
// with --child), as reachfeed runs in practice: a process that reads a
// national file pays for its fresh memory pages, and so does the read
// floor.  The run's records go to /dev/null.  Reported: the median and the
// fastest of the repetitions, and the ratios of both (on a machine shared
// with other work the fastest figures are the steadier ones).
#include <fcntl.h>
#include <netcdf.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "reachfeed.hpp"
#include "program_end.hpp"
#include "text_record.hpp"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

void check(int status, const char* what) {
  if (status != NC_NOERR) {
    std::fprintf(stderr, "bench_reachfeed: %s: %s\n", what, nc_strerror(status));
    std::exit(1);
  }
}

struct Options {
  int reps = 9;
  std::size_t ids = 2'700'000;
  std::size_t entries = 40'000;
  std::size_t nodes = 16'000;
  std::string input;
  std::string mapping;
  std::string workdir;
};

// ---- synthetic data ----

void write_parent(const fs::path& path, int format, const std::vector<int>& ids,
                  const std::vector<int>& packed) {
  int nc = -1, dim = -1, time = -1, idv = -1, qv = -1;
  check(nc_create(path.c_str(), NC_CLOBBER | format, &nc), "create parent file");
  check(nc_def_dim(nc, "time", 1, &time), "def time");
  check(nc_def_dim(nc, "feature_id", ids.size(), &dim), "def feature_id");
  check(nc_def_var(nc, "feature_id", NC_INT, 1, &dim, &idv), "def feature_id var");
  const int dims[2] = {time, dim};
  check(nc_def_var(nc, "streamflow", NC_INT, 2, dims, &qv), "def streamflow");
  if (format == NC_NETCDF4) {
    check(nc_def_var_deflate(nc, idv, 1, 1, 2), "deflate feature_id");
    check(nc_def_var_deflate(nc, qv, 1, 1, 2), "deflate streamflow");
  }
  const float scale = 0.01f;
  check(nc_put_att_float(nc, qv, "scale_factor", NC_FLOAT, 1, &scale), "scale_factor");
  check(nc_enddef(nc), "enddef");
  check(nc_put_var_int(nc, idv, ids.data()), "put feature_id");
  check(nc_put_var_int(nc, qv, packed.data()), "put streamflow");
  check(nc_close(nc), "close parent file");
}

void write_mapping(const fs::path& path, const std::vector<int>& pnodeid,
                   const std::vector<float>& weight, const std::vector<int>& child,
                   std::size_t nodes) {
  int nc = -1, nd = -1, gn = -1, v[7];
  check(nc_create(path.c_str(), NC_CLOBBER, &nc), "create mapping.nc");
  check(nc_def_dim(nc, "ndata", pnodeid.size(), &nd), "def ndata");
  check(nc_def_dim(nc, "gridNum", nodes, &gn), "def gridNum");
  const char* names[7] = {"PnodeId", "pOrder", "cOrder", "weight", "childIndex", "ci_grid", "cj_grid"};
  for (int i = 0; i < 7; ++i) {
    check(nc_def_var(nc, names[i], i == 3 ? NC_FLOAT : NC_INT, 1, i < 5 ? &nd : &gn, &v[i]), names[i]);
  }
  check(nc_enddef(nc), "enddef");
  std::vector<int> order(pnodeid.size(), 3), ci(nodes), cj(nodes);
  for (std::size_t k = 0; k < nodes; ++k) {
    ci[k] = static_cast<int>(k % 4000) + 1;
    cj[k] = static_cast<int>(k / 4000) + 1;
  }
  check(nc_put_var_int(nc, v[0], pnodeid.data()), "put PnodeId");
  check(nc_put_var_int(nc, v[1], order.data()), "put pOrder");
  check(nc_put_var_int(nc, v[2], order.data()), "put cOrder");
  check(nc_put_var_float(nc, v[3], weight.data()), "put weight");
  check(nc_put_var_int(nc, v[4], child.data()), "put childIndex");
  check(nc_put_var_int(nc, v[5], ci.data()), "put ci_grid");
  check(nc_put_var_int(nc, v[6], cj.data()), "put cj_grid");
  check(nc_close(nc), "close mapping.nc");
}

void make_synthetic(const Options& o, const fs::path& dir) {
  std::mt19937 rng(2024);
  // Link ids as large, scattered numbers, in shuffled file order.
  std::vector<int> ids(o.ids);
  std::uniform_int_distribution<int> gap(1, 700);
  int id = 1000;
  for (auto& x : ids) x = id += gap(rng);
  std::shuffle(ids.begin(), ids.end(), rng);
  std::vector<int> packed(o.ids);
  std::uniform_int_distribution<int> flow(0, 500000);
  for (auto& q : packed) q = flow(rng);
  write_parent(dir / "parent_nc4.nc", NC_NETCDF4, ids, packed);
  write_parent(dir / "parent_classic.nc", 0, ids, packed);

  std::vector<int> pnodeid(o.entries), child(o.entries);
  std::vector<float> weight(o.entries);
  std::uniform_int_distribution<std::size_t> pick(0, o.ids - 1);
  std::uniform_real_distribution<float> w(0.0f, 1.0f);
  for (std::size_t e = 0; e < o.entries; ++e) {
    pnodeid[e] = (e % 100 == 7) ? -static_cast<int>(e) - 1 : ids[pick(rng)];
    weight[e] = w(rng);
    child[e] = static_cast<int>(e * o.nodes / o.entries) + 1;
  }
  write_mapping(dir / "mapping.nc", pnodeid, weight, child, o.nodes);
}

// ---- the read floor: the library alone reading the same variables ----

double read_floor(const std::string& input, const std::string& map, const char* links) {
  const auto t0 = Clock::now();
  int nc = -1, dim = -1, var = -1;
  std::size_t n = 0;
  check(nc_open(input.c_str(), NC_NOWRITE, &nc), "open input");
  check(nc_inq_dimid(nc, "feature_id", &dim), "feature_id");
  check(nc_inq_dimlen(nc, dim, &n), "feature_id length");
  std::vector<int> ids(n);
  std::vector<float> q(n);
  float scale = 1.0f;
  check(nc_inq_varid(nc, "feature_id", &var), "feature_id var");
  check(nc_get_var_int(nc, var, ids.data()), "read feature_id");
  check(nc_inq_varid(nc, "streamflow", &var), "streamflow var");
  check(nc_get_var_float(nc, var, q.data()), "read streamflow");
  nc_get_att_float(nc, var, "scale_factor", &scale);
  check(nc_close(nc), "close input");

  check(nc_open(map.c_str(), NC_NOWRITE, &nc), "open mapping");
  std::size_t nd = 0, gn = 0;
  check(nc_inq_dimid(nc, "ndata", &dim), "ndata");
  check(nc_inq_dimlen(nc, dim, &nd), "ndata length");
  check(nc_inq_dimid(nc, "gridNum", &dim), "gridNum");
  check(nc_inq_dimlen(nc, dim, &gn), "gridNum length");
  std::vector<int> a(nd), b(nd), c(gn), d(gn);
  std::vector<float> w(nd);
  check(nc_inq_varid(nc, links, &var), links);
  check(nc_get_var_int(nc, var, a.data()), links);
  check(nc_inq_varid(nc, "childIndex", &var), "childIndex");
  check(nc_get_var_int(nc, var, b.data()), "childIndex");
  check(nc_inq_varid(nc, "weight", &var), "weight");
  check(nc_get_var_float(nc, var, w.data()), "weight");
  check(nc_inq_varid(nc, "ci_grid", &var), "ci_grid");
  check(nc_get_var_int(nc, var, c.data()), "ci_grid");
  check(nc_inq_varid(nc, "cj_grid", &var), "cj_grid");
  check(nc_get_var_int(nc, var, d.data()), "cj_grid");
  check(nc_close(nc), "close mapping");
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

// ---- one measurement in a fresh process ----

// The child's work: a read floor or a reachfeed run in the working folder.
int child(const std::string& mode, const std::string& input) {
  const auto t0 = Clock::now();
  if (mode == "floor-search") {
    read_floor(input, "mapping.nc", "PnodeId");
  } else if (mode == "floor-index") {
    read_floor(input, "mapping_index.nc", "pNodeIndex");
  } else {
    try {
      rn::nesting::reachfeed(input, "out.nc");
      rn::out().flush();
    } catch (const rn::ProgramEnd& end) {
      std::fprintf(stderr, "the run ended: %s (status %d)\n", end.stop_text.c_str(), end.status);
      return 1;
    }
  }
  std::fprintf(stderr, "%.9f\n", std::chrono::duration<double>(Clock::now() - t0).count());
  return 0;
}

extern "C" char** environ;

// Starts this program with --child and returns the time it reports.
double measure(const std::string& mode, const std::string& input) {
  int fds[2];
  if (pipe(fds) != 0) {
    std::perror("bench_reachfeed: pipe");
    std::exit(1);
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::string self = fs::read_symlink("/proc/self/exe").string();
  std::string flag = "--child";
  std::string m = mode, in = input;
  char* argv[] = {self.data(), flag.data(), m.data(), in.data(), nullptr};
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    std::fprintf(stderr, "bench_reachfeed: cannot start a measurement\n");
    std::exit(1);
  }
  std::string text;
  char buf[256];
  ssize_t n = 0;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "bench_reachfeed: %s failed: %s", mode.c_str(), text.c_str());
    std::exit(1);
  }
  return std::strtod(text.c_str(), nullptr);
}

struct Figures {
  std::vector<double> t;
  void add(double s) { t.push_back(s); }
  double min() const { return *std::min_element(t.begin(), t.end()); }
  double median() const {
    std::vector<double> v = t;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  }
};

void report(const std::string& label, const char* mode, const Figures& floor, const Figures& run) {
  std::printf("%-20s %-6s  read floor %7.1f ms (fastest %7.1f)  run %7.1f ms (fastest %7.1f)"
              "  ratio %5.2f (fastest %5.2f)\n",
              label.c_str(), mode, floor.median() * 1e3, floor.min() * 1e3, run.median() * 1e3,
              run.min() * 1e3, run.median() / floor.median(), run.min() / floor.min());
}

// Repetitions interleave floor and run so that a busy moment of the machine
// hits both alike.
void bench_file(const Options& o, const std::string& label, const std::string& input) {
  Figures floor_search, search, floor_index, index;
  for (int r = 0; r < o.reps; ++r) {
    fs::remove("mapping_index.nc");
    floor_search.add(measure("floor-search", input));
    search.add(measure("run", input));
    floor_index.add(measure("floor-index", input));
    index.add(measure("run", input));
  }
  report(label, "search", floor_search, search);
  report(label, "index", floor_index, index);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--child") return child(argv[2], argv[3]);
  Options o;
  for (int a = 1; a < argc; ++a) {
    const std::string k = argv[a];
    const char* v = a + 1 < argc ? argv[a + 1] : nullptr;
    if (v == nullptr) {
      std::fprintf(stderr, "bench_reachfeed: %s needs a value\n", k.c_str());
      return 1;
    }
    ++a;
    if (k == "--reps") o.reps = std::max(1, std::atoi(v));
    else if (k == "--ids") o.ids = std::strtoull(v, nullptr, 10);
    else if (k == "--entries") o.entries = std::strtoull(v, nullptr, 10);
    else if (k == "--nodes") o.nodes = std::strtoull(v, nullptr, 10);
    else if (k == "--input") o.input = fs::absolute(v).string();
    else if (k == "--mapping") o.mapping = fs::absolute(v).string();
    else if (k == "--workdir") o.workdir = fs::absolute(v).string();
    else {
      std::fprintf(stderr, "bench_reachfeed: unknown option %s\n", k.c_str());
      return 1;
    }
  }
  if (o.ids == 0 || o.entries == 0 || o.nodes == 0) {
    std::fprintf(stderr, "bench_reachfeed: --ids, --entries and --nodes must be positive\n");
    return 1;
  }

  fs::path dir = o.workdir;
  if (dir.empty()) {
    std::string tmpl = (fs::temp_directory_path() / "bench_reachfeed.XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) {
      std::perror("bench_reachfeed: mkdtemp");
      return 1;
    }
    dir = tmpl;
  } else {
    fs::create_directories(dir);
  }
  if (o.input.empty() && fs::exists(dir / "parent_classic.nc")) {
    std::printf("reusing the files in %s\n", dir.c_str());
  } else if (o.input.empty()) {
    std::printf("writing %zu feature ids, %zu entries over %zu child nodes ...\n", o.ids,
                o.entries, o.nodes);
    make_synthetic(o, dir);
  } else {
    fs::copy_file(o.mapping, dir / "mapping.nc");
  }
  fs::current_path(dir);
  std::printf("%d runs each, one process per run, files in the page cache\n", o.reps);
  if (o.input.empty()) {
    bench_file(o, "netCDF-4 compressed", (dir / "parent_nc4.nc").string());
    bench_file(o, "classic", (dir / "parent_classic.nc").string());
  } else {
    bench_file(o, fs::path(o.input).filename().string(), o.input);
  }
  fs::current_path("/");
  if (o.workdir.empty()) fs::remove_all(dir);
  return 0;
}
