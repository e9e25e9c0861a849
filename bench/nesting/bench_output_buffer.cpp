// Writing the nesting programs' small outputs (the child boundary layout:
// nodeNum, qstream, ci, cj) through NcWriter with three I/O buffer sizes:
// the library's own choice, kSmallIoChunkBytes and the 1 MiB kIoChunkBytes.
// For every file size it prints the median and the fastest processor time
// of one whole write (create, define, write, close, rename), interleaving
// the three sizes, and the ratio of each to kSmallIoChunkBytes.  Processor
// time rather than wall time: a machine shared with other work stretches
// wall times by whole time slices.
//
//   bench_output_buffer [--reps N] [--dir DIR]
//
// The file is written in DIR (default: a scratch folder under the system
// temp folder, removed afterwards).
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "nc_file.hpp"
#include "nc_writer.hpp"
#include "program_end.hpp"

namespace {

namespace fs = std::filesystem;

double cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// One write of the boundary layout with `nodes` nodes; its processor time.
double write_once(const std::string& path, std::size_t chunk, std::span<const float> q,
                  std::span<const std::int32_t> c) {
  const double start = cpu_seconds();
  rn::NcWriter w(path, chunk);
  const int node = w.def_dim("nodeNum", q.size());
  const int qv = w.def_var("qstream", rn::NcVarType::real32, {node});
  const int civ = w.def_var("ci", rn::NcVarType::int32, {node});
  const int cjv = w.def_var("cj", rn::NcVarType::int32, {node});
  w.enddef();
  w.put(qv, q);
  w.put(civ, c);
  w.put(cjv, c);
  w.commit();
  return cpu_seconds() - start;
}

}  // namespace

int main(int argc, char** argv) {
  int reps = 301;
  std::string dir_arg;
  for (int a = 1; a < argc; ++a) {
    if (std::strcmp(argv[a], "--reps") == 0 && a + 1 < argc) {
      reps = std::max(1, std::atoi(argv[++a]));
    } else if (std::strcmp(argv[a], "--dir") == 0 && a + 1 < argc) {
      dir_arg = argv[++a];
    } else {
      std::fprintf(stderr, "usage: bench_output_buffer [--reps N] [--dir DIR]\n");
      return 2;
    }
  }
  const bool scratch = dir_arg.empty();
  const fs::path dir = scratch ? fs::temp_directory_path() /
                                     ("rn-bench-output-buffer-" + std::to_string(getpid()))
                               : fs::path(dir_arg);
  fs::create_directories(dir);
  const std::string path = (dir / "out.nc").string();

  struct Size {
    const char* name;
    std::size_t bytes;
  };
  const Size chunks[] = {{"library", 0}, {"64 KiB", rn::kSmallIoChunkBytes},
                         {"1 MiB", rn::kIoChunkBytes}};
  std::printf("processor time of one write, milliseconds: median (fastest); ratio to %s\n",
              chunks[1].name);
  int status = 0;
  try {
    for (const std::size_t nodes : {300u, 4'000u, 16'000u, 40'000u, 100'000u}) {
      const std::vector<float> q(nodes, 1.5f);
      const std::vector<std::int32_t> c(nodes, 3);
      std::vector<double> times[3];
      for (int r = 0; r < reps; ++r) {
        for (int k = 0; k < 3; ++k) times[k].push_back(write_once(path, chunks[k].bytes, q, c));
      }
      std::printf("%7zu nodes (%5.0f kB):", nodes, static_cast<double>(nodes) * 12.0 / 1024.0);
      double median[3];
      double fastest[3];
      for (int k = 0; k < 3; ++k) {
        std::sort(times[k].begin(), times[k].end());
        median[k] = times[k][times[k].size() / 2] * 1e3;
        fastest[k] = times[k].front() * 1e3;
      }
      for (int k = 0; k < 3; ++k) {
        std::printf("  %s %.3f (%.3f) x%.2f", chunks[k].name, median[k], fastest[k],
                    median[k] / median[1]);
      }
      std::printf("\n");
    }
  } catch (const rn::ProgramEnd& end) {
    std::fprintf(stderr, "bench_output_buffer: %s\n", end.stop_text.c_str());
    status = 1;
  }
  if (scratch) fs::remove_all(dir);
  return status;
}
