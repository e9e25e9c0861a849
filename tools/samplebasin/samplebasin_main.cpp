// samplebasin: writes a coherent synthetic set of every input file the
// toolkit's programs read, at a chosen size.
//
//   samplebasin [--preset small|medium|national] [--seed N] [--verbose] OUTDIR
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "basin.hpp"
#include "basin_files.hpp"
#include "command_line.hpp"
#include "forcing.hpp"
#include "preset.hpp"
#include "program_end.hpp"
#include "text_record.hpp"

namespace {

constexpr const char* kUsage =
    "Usage: samplebasin [--preset small|medium|national] [--seed N] [--verbose] OUTDIR\n"
    "Writes a synthetic river basin: every input file of the toolkit's programs.\n"
    "  --preset  small (default; a few thousand child cells), medium (1000 x 1000\n"
    "            child cells, about 100,000 parent links) or national (4000 x 4000\n"
    "            child cells, about 2.7 million parent links); the last two are\n"
    "            benchmark data\n"
    "  --seed    a whole number (default 1): another basin, the same file layouts\n"
    "  --verbose the time of every stage on the error stream\n"
    "  --help    this text; --version: the program's name and version";

bool verbose = false;
std::chrono::steady_clock::time_point lap_start;
double lap_cpu = 0.0;

double cpu_seconds() {
  rusage u {};
  ::getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         1e-6 * static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

// With --verbose: the wall-clock and processor time of every stage of this
// process, and its peak memory so far, on the error stream.
void progress(const char* stage) {
  if (!verbose) return;
  const auto now = std::chrono::steady_clock::now();
  const double cpu = cpu_seconds();
  rusage u {};
  ::getrusage(RUSAGE_SELF, &u);
  std::fprintf(stderr, "samplebasin[%d]: %-28s %8.2f s wall %8.2f s cpu %7ld MB peak\n", static_cast<int>(getpid()),
               stage, std::chrono::duration<double>(now - lap_start).count(), cpu - lap_cpu, u.ru_maxrss / 1024);
  lap_start = now;
  lap_cpu = cpu;
}

// Creates a folder and any missing parents; an existing folder is fine.
void make_folder(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (!ec && std::filesystem::is_directory(path, ec)) return;
  rn::fail("Error: cannot create folder " + path + ": " +
           (ec ? ec.message() : std::string("a file of that name is in the way")));
}

bool parse_seed(const std::string& text, std::uint64_t& seed) {
  if (text.empty() || text.size() > 20) return false;
  std::uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const std::uint64_t d = static_cast<std::uint64_t>(c - '0');
    if (v > (UINT64_MAX - d) / 10) return false;
    v = v * 10 + d;
  }
  seed = v;
  return true;
}

// Runs `work` in another process (the forcing files need nothing from the
// basin, so they are written beside it); returns its process id.  The
// child ends with the status of the work and never returns.
pid_t start_beside(const std::function<void()>& work) {
  rn::out().flush();
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) rn::fail(std::string("Error: cannot start another process: ") + std::strerror(errno));
  if (pid > 0) return pid;
  lap_cpu = cpu_seconds();  // this process's own clock starts afresh
  int status = 0;
  std::string message;
  try {
    work();
  } catch (const rn::ProgramEnd& end) {
    status = end.status == 0 ? rn::kFailure : end.status;
    message = end.stop_text;
  } catch (const std::exception& e) {
    status = rn::kFailure;
    message = std::string("Error: ") + e.what();
  }
  if (!message.empty()) std::fprintf(stderr, "%s\n", message.c_str());
  std::fflush(stderr);
  ::_exit(status);
}

// The processes writing beside this one.  `finish` waits for them and
// turns a failure of theirs into ours; when this process fails first, the
// destructor stops them (their temporaries go with them).
struct Beside {
  std::vector<pid_t> pids;
  void finish() {
    bool failed = false;
    for (pid_t& pid : pids) {
      int status = 0;
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      pid = -1;
      failed = failed || !WIFEXITED(status) || WEXITSTATUS(status) != 0;
    }
    pids.clear();
    if (failed) rn::fail("Error: writing the forcing files failed");
  }
  ~Beside() {
    for (pid_t pid : pids) {
      if (pid <= 0) continue;
      ::kill(pid, SIGTERM);
      int status = 0;
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }
  }
};

void run(int argc, char** argv) {
  std::string preset_name = "small";
  std::uint64_t seed = 1;
  std::string dir;
  for (int k = 1; k < argc; ++k) {
    const std::string a = argv[k];
    if (a == "--help" || a == "-h") {
      rn::out().line(kUsage);
      return;
    }
    if (a == "--version") {
      rn::out().line("samplebasin " + std::string(rn::toolkit_version()));
      return;
    }
    if (a == "--verbose") {
      verbose = true;
    } else if (a == "--preset" || a == "--seed") {
      if (k + 1 >= argc) rn::fail("Error: " + a + " needs a value\n" + kUsage);
      const std::string v = argv[++k];
      if (a == "--preset") {
        preset_name = v;
      } else if (!parse_seed(v, seed)) {
        rn::fail("Error: --seed takes a whole number from 0 to 18446744073709551615, not '" + v + "'");
      }
    } else if (!a.empty() && a[0] == '-') {
      rn::fail("Error: unknown option '" + a + "'\n" + kUsage);
    } else if (dir.empty()) {
      dir = a;
    } else {
      rn::fail(std::string("Error: more than one output folder given\n") + kUsage);
    }
  }
  if (dir.empty()) rn::fail(std::string("Error: no output folder given\n") + kUsage);
  const sb::Preset* preset = sb::find_preset(preset_name);
  if (preset == nullptr) rn::fail("Error: unknown preset '" + preset_name + "' (small, medium or national)");
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();

  lap_start = std::chrono::steady_clock::now();
  lap_cpu = cpu_seconds();
  const auto start = lap_start;
  make_folder(dir);
  for (const std::string& f : sb::basin_folders()) make_folder(dir + "/" + f);
  for (const std::string& f : sb::forcing_folders()) make_folder(dir + "/" + f);

  Beside beside;
  for (const bool lambert : {false, true}) {
    beside.pids.push_back(start_beside([&] { sb::write_forcing(*preset, seed, dir, lambert, progress); }));
  }
  sb::write_site_lists(*preset, seed, dir, progress);
  const sb::Basin basin = sb::build_basin(*preset, seed, progress);
  sb::write_basin_files(basin, dir, progress);
  beside.finish();

  const auto& p = basin.parent;
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  char line[512];
  std::snprintf(line, sizeof line, "samplebasin: preset %s, seed %llu, written to %s in %.1f s",
                preset->name.c_str(), static_cast<unsigned long long>(seed), dir.c_str(), seconds);
  rn::out().line(line);
  std::snprintf(line, sizeof line, "  parent grid %d x %d cells of %g km: %zu links, %zu overlap records, %zu channel cells",
                preset->parent_nx, preset->parent_ny, static_cast<double>(preset->parent_dx_km), p.links.size(),
                p.overlaps.size(), basin.points.size());
  rn::out().line(line);
  std::snprintf(line, sizeof line, "  child grid %d x %d cells of %g km at parent cell (%d, %d): %zu boundary nodes",
                preset->child_nx, preset->child_ny, static_cast<double>(preset->parent_dx_km) / preset->refine,
                basin.window.i0 + 1, basin.window.j0 + 1, basin.nodes.size());
  rn::out().line(line);
  const sb::GridSize lambert = sb::lambert_forcing_size(*preset);
  std::snprintf(line, sizeof line,
                "  %d gauges, %d sites in the basin, forcing grids %d x %d (latitude-longitude) and "
                "%d x %d (Lambert, values around the basin), %d hours",
                static_cast<int>(basin.gauges.size()), preset->sites, preset->forcing_nx, preset->forcing_ny,
                lambert.nx, lambert.ny, preset->forcing_hours);
  rn::out().line(line);
}

}  // namespace

int main(int argc, char** argv) {
  // The compression library takes and frees a few hundred kilobytes for
  // every chunk it packs; served from fresh pages each time, that costs as
  // much as the packing.  Keep such blocks on the heap for reuse (whole
  // grids, tens of megabytes and more, still go straight to the system).
  // A sanitizer build has an allocator of its own, which these settings
  // would upset.
#ifndef __SANITIZE_ADDRESS__
  ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
  ::mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
  return rn::run_program([&] { run(argc, argv); });
}
