// samplebasin: writes a coherent synthetic set of every input file the
// toolkit's programs read, at a chosen size.
//
//   samplebasin [--preset small|medium|national] [--seed N] [--verbose] OUTDIR
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
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
    "  --verbose the time of every stage on the error stream";

bool verbose = false;
std::chrono::steady_clock::time_point lap_start;

void progress(const char* stage) {
  if (!verbose) return;
  const auto now = std::chrono::steady_clock::now();
  std::fprintf(stderr, "samplebasin[%d]: %-28s %8.2f s\n", static_cast<int>(getpid()), stage,
               std::chrono::duration<double>(now - lap_start).count());
  lap_start = now;
}

void make_folder(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return;
  }
  rn::fail("Error: cannot create folder " + path + ": " + std::strerror(errno));
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

// Runs `work` in a second process (the forcing files need nothing from the
// basin); returns its process id.  The child ends with the status of the
// work and never returns.
pid_t start_beside(void (*work)(const sb::Preset&, std::uint64_t, const std::string&, void (*)(const char*)),
                   const sb::Preset& preset, std::uint64_t seed, const std::string& dir) {
  rn::out().flush();
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) rn::fail(std::string("Error: cannot start a second process: ") + std::strerror(errno));
  if (pid > 0) return pid;
  int status = 0;
  std::string message;
  try {
    work(preset, seed, dir, progress);
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

// Waits for the second process; its failure becomes ours.
void finish_beside(pid_t& pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  pid = -1;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) rn::fail("Error: writing the forcing files failed");
}

// Stops the second process when this one fails first.
struct Beside {
  pid_t pid = -1;
  ~Beside() {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
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
    if (a == "--verbose") {
      verbose = true;
    } else if ((a == "--preset" || a == "--seed") && k + 1 < argc) {
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
  const auto start = lap_start;
  make_folder(dir);
  for (const std::string& f : sb::basin_folders()) make_folder(dir + "/" + f);
  for (const std::string& f : sb::forcing_folders()) make_folder(dir + "/" + f);

  Beside beside;
  beside.pid = start_beside(sb::write_sites_and_forcing, *preset, seed, dir);
  const sb::Basin basin = sb::build_basin(*preset, seed, progress);
  sb::write_basin_files(basin, dir, progress);
  finish_beside(beside.pid);

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
  std::snprintf(line, sizeof line, "  %d gauges, %d sites, forcing grids %d x %d, %d hours",
                static_cast<int>(basin.gauges.size()), preset->sites, preset->forcing_nx, preset->forcing_ny,
                preset->forcing_hours);
  rn::out().line(line);
}

}  // namespace

int main(int argc, char** argv) {
  return rn::run_program([&] { run(argc, argv); });
}
