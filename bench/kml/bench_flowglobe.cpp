// `flowglobe` with jumpInt 1 on a national-scale channel output, next to the
// time that reading the same variables takes in the same run (the floor no
// export can go below).  Writes a synthetic channel output of `points` points
// (streamflow spread over every colour class, about a tenth below 4), warms
// the file cache, then measures, best of `repeats`:
//   read    the six variables through the module readers, as flowglobe reads them
//   write   as many bytes as the document holds, from memory into a new file
//           of the same folder in 1 MiB writes (what storing the document
//           costs whatever produces it)
//   render  the same placemarks, written to the null device (the writer's
//           own processor cost, no storage)
//   export  the flowglobe program, start to end, document renamed into place
// and prints them, the ratios and the document size.  On a shared machine
// wall times swell with the load; the processor times (user + system) of the
// read and of the export are printed beside them.
//
//   bench_flowglobe [points=2700000] [format=classic|nc4] [repeats=3] [folder=/tmp]
#include <fcntl.h>
#include <netcdf.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "channel_input.hpp"
#include "kml_tools.hpp"
#include "text_record.hpp"
#include "nc_readers.hpp"

extern char** environ;

namespace {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

void check(int status, const char* what) {
  if (status != NC_NOERR) {
    std::fprintf(stderr, "bench_flowglobe: %s: %s\n", what, nc_strerror(status));
    std::exit(1);
  }
}

void write_channel_output(const std::string& path, std::size_t n, bool nc4) {
  std::mt19937 rng(2700);
  std::lognormal_distribution<float> flow(3.0f, 1.6f);
  std::uniform_real_distribution<float> lat(25.0f, 50.0f), lon(-125.0f, -67.0f);
  std::uniform_int_distribution<int> order(1, 8), cell(1, 4600);
  std::vector<float> q(n), qmax(n), la(n), lo(n);
  std::vector<int> ord(n), xi(n), yj(n);
  for (std::size_t i = 0; i < n; ++i) {
    q[i] = flow(rng);
    qmax[i] = q[i] * 1.5f;
    la[i] = lat(rng);
    lo[i] = lon(rng);
    ord[i] = order(rng);
    xi[i] = cell(rng);
    yj[i] = cell(rng);
  }
  int nc = 0, dim = 0;
  check(nc_create(path.c_str(), nc4 ? NC_NETCDF4 | NC_CLOBBER : NC_CLOBBER, &nc), "create");
  check(nc_def_dim(nc, "recNum", n, &dim), "def_dim");
  struct Var {
    const char* name;
    nc_type type;
    const void* data;
    int id;
  } vars[] = {{"streamflow", NC_FLOAT, q.data(), 0},      {"acc_streamflowMax", NC_FLOAT, qmax.data(), 0},
              {"latitude", NC_FLOAT, la.data(), 0},       {"longitude", NC_FLOAT, lo.data(), 0},
              {"order", NC_INT, ord.data(), 0},           {"chanxi", NC_INT, xi.data(), 0},
              {"chanyj", NC_INT, yj.data(), 0}};
  for (Var& v : vars) {
    check(nc_def_var(nc, v.name, v.type, 1, &dim, &v.id), "def_var");
    if (nc4) check(nc_def_var_deflate(nc, v.id, 1, 1, 2), "deflate");
  }
  check(nc_enddef(nc), "enddef");
  for (const Var& v : vars) check(nc_put_var(nc, v.id, v.data), "put_var");
  check(nc_close(nc), "close");
}

double cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

struct Times {
  double wall = 1e30;
  double cpu = 1e30;
  void keep_best(double w, double c) {
    wall = std::min(wall, w);
    cpu = std::min(cpu, c);
  }
};

double read_variables(const std::string& file, double* cpu = nullptr) {
  const double c0 = cpu_seconds();
  const auto t0 = Clock::now();
  const rn::ModuleReaders readers(rn::DimensionForm::size_fallback);
  const std::int32_t n = readers.get_file_dimension(file, "recNum");
  std::size_t sink = 0;
  for (const char* var : {"streamflow", "latitude", "longitude"}) {
    sink += rn::kml::read_reals(readers, file, var, n).size();
  }
  for (const char* var : {"order", "chanxi", "chanyj"}) {
    sink += rn::kml::read_ints(readers, file, var, n).size();
  }
  const double s = std::chrono::duration<double>(Clock::now() - t0).count();
  if (cpu != nullptr) *cpu = cpu_seconds() - c0;
  if (sink != 6 * static_cast<std::size_t>(n)) std::exit(1);
  return s;
}

/// Renders the value placemarks of the channel output onto the null device.
/// Returns the processor time.
double render_placemarks(const std::string& file) {
  const rn::ModuleReaders readers(rn::DimensionForm::size_fallback);
  const std::int32_t n = readers.get_file_dimension(file, "recNum");
  rn::kml::ChannelPoints p;
  p.values = rn::kml::read_reals(readers, file, "streamflow", n);
  p.lat = rn::kml::read_reals(readers, file, "latitude", n);
  p.lon = rn::kml::read_reals(readers, file, "longitude", n);
  p.order = rn::kml::read_ints(readers, file, "order", n);
  p.chanxi = rn::kml::read_ints(readers, file, "chanxi", n);
  p.chanyj = rn::kml::read_ints(readers, file, "chanyj", n);
  std::FILE* sink = std::fopen("/dev/null", "w");
  if (sink == nullptr) std::exit(1);
  const double c0 = cpu_seconds();
  {
    rn::TextOut text(sink, 1 << 20);
    rn::kml::KmlDocument doc(text, rn::kml::kFlowglobeVariant);
    rn::kml::write_value_placemarks(rn::kml::kFlowglobe, p, 1, 1, doc);
  }
  const double s = cpu_seconds() - c0;
  std::fclose(sink);
  return s;
}

double write_bytes(const fs::path& path, std::size_t bytes) {
  const std::vector<char> block(1 << 20, ' ');
  const auto t0 = Clock::now();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) std::exit(1);
  for (std::size_t left = bytes; left > 0;) {
    const std::size_t n = std::min(left, block.size());
    if (::write(fd, block.data(), n) != static_cast<ssize_t>(n)) std::exit(1);
    left -= n;
  }
  ::close(fd);
  const double s = std::chrono::duration<double>(Clock::now() - t0).count();
  fs::remove(path);
  return s;
}

double run_flowglobe(const fs::path& program, const fs::path& folder, const std::string& in,
                     const std::string& out, double* cpu) {
  std::vector<std::string> args{program.string(), in, out, "1", "1", "none.nc", "none.txt"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  const auto t0 = Clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
    std::fprintf(stderr, "bench_flowglobe: cannot start %s\n", program.c_str());
    std::exit(1);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  *cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
  const double s = std::chrono::duration<double>(Clock::now() - t0).count();
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "bench_flowglobe: flowglobe failed\n");
    std::exit(1);
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t n = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 2700000;
  const bool nc4 = argc > 2 && std::string(argv[2]) == "nc4";
  const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  const fs::path base = argc > 4 ? fs::path(argv[4]) : fs::temp_directory_path();
  const fs::path program = fs::canonical("/proc/self/exe").parent_path() / "flowglobe";

  const fs::path folder = base / ("bench-flowglobe-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::string in = (folder / "chrt.nc").string();
  const std::string out = (folder / "flowglobe.kml").string();
  write_channel_output(in, n, nc4);
  read_variables(in);  // warm the file cache

  Times read, exported;
  double write_best = 1e30, render_best = 1e30;
  std::size_t bytes = 0;
  for (int r = 0; r < repeats; ++r) {
    double cpu = 0.0;
    const double wall = read_variables(in, &cpu);
    read.keep_best(wall, cpu);
    const double export_wall = run_flowglobe(program, folder, in, out, &cpu);
    exported.keep_best(export_wall, cpu);
    bytes = fs::file_size(out);
    fs::remove(out);
    write_best = std::min(write_best, write_bytes(folder / "bytes.bin", bytes));
    render_best = std::min(render_best, render_placemarks(in));
  }
  const double read_best = read.wall, export_best = exported.wall;
  const double mb = static_cast<double>(bytes) / 1e6;
  std::printf("points %zu, channel output %s (%.1f MB), best of %d\n", n, nc4 ? "nc4" : "classic",
              static_cast<double>(fs::file_size(in)) / 1e6, repeats);
  std::printf("read floor (six variables)   %8.3f s\n", read_best);
  std::printf("  processor time              %8.3f s\n", read.cpu);
  std::printf("write floor (document bytes)  %8.3f s\n", write_best);
  std::printf("render placemarks, no storage %8.3f s processor time\n", render_best);
  std::printf("flowglobe jumpInt 1          %8.3f s  document %.1f MB (%.0f MB/s)\n",
              export_best, mb, mb / export_best);
  std::printf("  processor time              %8.3f s\n", exported.cpu);
  std::printf("ratio export / read floor    %8.2f   (target at most 2)\n",
              export_best / read_best);
  std::printf("ratio export / (read + write floors) %6.2f\n",
              export_best / (read_best + write_best));
  std::printf("ratio of processor times, export / read %5.2f\n", exported.cpu / read.cpu);
  if (!std::getenv("RN_BENCH_KEEP")) fs::remove_all(folder);
  return 0;
}
