// Benchmark of linkweaver on a sample basin: the run time of the program
// next to the time the netCDF library alone needs to read the variables the
// run reads (whole, in the same process, from the same page-cached files),
// and the program's peak memory next to the size of those variables.
//
//   bench_linkweaver [--preset small|medium|national] [--dir DIR] [--runs N]
//
// DIR (default /tmp/rn-bench-linkweaver-<preset>) is filled by
// `samplebasin --preset <preset> DIR` when it holds no namelist.nesting.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "namelist.hpp"
#include "nc_file.hpp"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Variable {
  std::string file;
  const char* name;
  char type;  // 'i' 32-bit integer, 'f' 32-bit real, 'd' 64-bit real
};

[[noreturn]] void die(const std::string& message) {
  std::fprintf(stderr, "bench_linkweaver: %s\n", message.c_str());
  std::exit(1);
}

struct Child {
  int status = -1;
  double seconds = 0.0;
  long max_rss_kib = 0;
};

// Runs `argv` in `cwd` with standard output into `out_path`; times it and
// takes its peak resident memory from the kernel.
Child spawn_and_wait(const std::vector<std::string>& args, const fs::path& cwd,
                     const fs::path& out_path) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  std::vector<char*> argv;
  std::vector<std::string> store(args);
  for (auto& a : store) argv.push_back(a.data());
  argv.push_back(nullptr);
  const auto start = Clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
    die("cannot start " + args[0]);
  }
  posix_spawn_file_actions_destroy(&actions);
  int wstatus = 0;
  rusage usage{};
  wait4(pid, &wstatus, 0, &usage);
  Child c;
  c.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  c.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  c.max_rss_kib = usage.ru_maxrss;
  return c;
}

// Reads every variable whole, as the library delivers it; returns the bytes
// held in memory.
std::size_t read_all(const std::vector<Variable>& variables) {
  std::size_t bytes = 0;
  for (const Variable& v : variables) {
    rn::NcFile nc;
    int varid = -1;
    std::size_t count = 0;
    if (nc.open(v.file) != NC_NOERR || nc.var_id(v.name, varid) != NC_NOERR ||
        nc.var_count(varid, count) != NC_NOERR) {
      die("cannot read " + std::string(v.name) + " in " + v.file);
    }
    int status = NC_NOERR;
    if (v.type == 'i') {
      std::vector<std::int32_t> data(count);
      status = nc.read(varid, std::span<std::int32_t>(data));
      bytes += count * sizeof(std::int32_t);
    } else if (v.type == 'f') {
      std::vector<float> data(count);
      status = nc.read(varid, std::span<float>(data));
      bytes += count * sizeof(float);
    } else {
      std::vector<double> data(count);
      status = nc.read(varid, std::span<double>(data));
      bytes += count * sizeof(double);
    }
    if (status != NC_NOERR) die("cannot read " + std::string(v.name) + " in " + v.file);
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  std::string preset = "national";
  std::string dir_arg;
  int runs = 3;
  for (int k = 1; k + 1 < argc; k += 2) {
    const std::string key = argv[k];
    if (key == "--preset") preset = argv[k + 1];
    else if (key == "--dir") dir_arg = argv[k + 1];
    else if (key == "--runs") runs = std::max(1, std::atoi(argv[k + 1]));
    else die("unknown option " + key);
  }
  const fs::path bin = fs::canonical("/proc/self/exe").parent_path();
  const fs::path dir = dir_arg.empty() ? fs::path("/tmp/rn-bench-linkweaver-" + preset) : fs::path(dir_arg);
  if (!fs::exists(dir / "namelist.nesting")) {
    fs::create_directories(dir);
    std::printf("generating the %s sample basin in %s ...\n", preset.c_str(), dir.c_str());
    std::fflush(stdout);
    const Child gen = spawn_and_wait({(bin / "samplebasin").string(), "--preset", preset, dir.string()},
                                     dir, dir / "samplebasin.log");
    if (gen.status != 0) die("samplebasin failed; see " + (dir / "samplebasin.log").string());
  }

  const rn::NestingNamelist nl = rn::read_namelist_nesting((dir / "namelist.nesting").string());
  auto path = [&](const std::string& field) {
    const fs::path p(std::string(rn::NestingNamelist::text(field)));
    return (p.is_absolute() ? p : dir / p).string();
  };
  const std::string child = path(nl.fulldom_child_f);
  const std::string geo = path(nl.geo_parent_f);
  const std::string route = path(nl.routinelin_p_f);
  const std::string nhd = path(nl.nhd_map_f);
  const std::vector<Variable> variables{
      {child, "CHANNELGRID", 'i'}, {child, "FLOWDIRECTION", 'i'}, {child, "STREAMORDER", 'i'},
      {child, "LATITUDE", 'f'},    {child, "LONGITUDE", 'f'},     {geo, "XLAT_M", 'f'},
      {geo, "XLONG_M", 'f'},       {route, "link", 'i'},          {route, "order", 'i'},
      {nhd, "regridweight", 'd'},  {nhd, "polyid", 'i'},          {nhd, "overlaps", 'i'},
      {nhd, "i_index", 'i'},       {nhd, "j_index", 'i'}};

  // Warm the page cache so that both sides read from memory.
  const std::size_t input_bytes = read_all(variables);
  double best_floor = 1e30;
  double best_run = 1e30;
  long max_rss_kib = 0;
  const fs::path out_path = fs::temp_directory_path() / "rn-bench-linkweaver.out";
  for (int r = 0; r < runs; ++r) {
    const auto start = Clock::now();
    read_all(variables);
    best_floor = std::min(best_floor, std::chrono::duration<double>(Clock::now() - start).count());
    const Child run = spawn_and_wait({(bin / "linkweaver").string()}, dir, out_path);
    if (run.status != 0) die("linkweaver failed with status " + std::to_string(run.status));
    best_run = std::min(best_run, run.seconds);
    max_rss_kib = std::max(max_rss_kib, run.max_rss_kib);
  }
  std::size_t lines = 0;
  if (std::FILE* f = std::fopen(out_path.c_str(), "r")) {
    for (int c; (c = std::fgetc(f)) != EOF;) lines += c == '\n';
    std::fclose(f);
  }
  fs::remove(out_path);

  const double input_mib = static_cast<double>(input_bytes) / (1024.0 * 1024.0);
  const double rss_mib = static_cast<double>(max_rss_kib) / 1024.0;
  std::printf("linkweaver on the %s sample basin (%s), best of %d runs\n", preset.c_str(),
              dir.c_str(), runs);
  std::printf("  read floor (netCDF library reads the %zu variables whole): %8.3f s\n",
              variables.size(), best_floor);
  std::printf("  linkweaver run (process start to exit, %zu output lines):  %8.3f s\n", lines,
              best_run);
  std::printf("  run / read floor:                                         %8.3f  (target <= 1.5)\n",
              best_run / best_floor);
  std::printf("  input variables in memory:                                %8.1f MiB\n", input_mib);
  std::printf("  linkweaver peak resident memory:                          %8.1f MiB\n", rss_mib);
  std::printf("  peak memory / input variables:                            %8.3f  (target < 3)\n",
              rss_mib / input_mib);
  return 0;
}
