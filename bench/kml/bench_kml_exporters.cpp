// The five globe exporters on national-scale inputs, each next to its floor
// measured in the same run: reading the variables the tool reads plus
// storing as many bytes as its document holds.  No exporter can go below the
// floor; the target is at most 1.5 times it.
//
// Writes a synthetic channel output and a segment-information file of
// `points` points (streamflow spread over every colour class, about a tenth
// below 4) and a station list of `stations` stations, warms the file cache,
// then measures for each exporter, fastest of `repeats`:
//   read     the tool's variables through the tool's own reader (gaugeglobe:
//            the station list read and parsed)
//   write    the document's number of bytes, from memory into a new file of
//            the same folder in 1 MiB writes
//   export   the program, start to end, document renamed into place
//   compose  the document's records composed onto the null device on one
//            thread (processor time): the work that the export does beside
//            storing the bytes
// and prints them with the ratio export / (read + write).  The processor
// time of the export (user + system, both threads) is printed beside it.
// Then the same for the viewer-ready package (--kmz), fastest of `repeats`:
//   read     as above
//   deflate  the package's documents (their uncompressed bytes, taken from
//            the package) deflated in memory on one thread at the level the
//            package uses, document by document
//   package  the program with --kmz, start to end
// with the ratio package / (read + deflate), target at most 1.5.
// Wall times swell with any other load: run on an otherwise idle machine.
//
//   bench_kml_exporters [points=4600000] [stations=1000000] [repeats=3] [folder=/tmp]
//                       [programs=the benchmark's own folder]
// `programs` names another build's folder of the five programs, to compare
// two builds against the same floors (the compose column is always this
// build's).
#include <fcntl.h>
#include <netcdf.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <zip.h>
#include <zlib.h>

#include "kml_document.hpp"
#include "kml_tools.hpp"
#include "list_input.hpp"
#include "text_record.hpp"
#include "zip_package.hpp"

extern char** environ;

namespace {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

void check(int status, const char* what) {
  if (status != NC_NOERR) {
    std::fprintf(stderr, "bench_kml_exporters: %s: %s\n", what, nc_strerror(status));
    std::exit(1);
  }
}

/// One variable of a generated file.
struct Var {
  const char* name;
  nc_type type;
  const void* data;
};

void write_netcdf(const std::string& path, const char* dimension, std::size_t n,
                  const std::vector<Var>& vars) {
  int nc = 0, dim = 0;
  check(nc_create(path.c_str(), NC_CLOBBER, &nc), "create");
  check(nc_def_dim(nc, dimension, n, &dim), "def_dim");
  std::vector<int> ids(vars.size());
  for (std::size_t v = 0; v < vars.size(); ++v) {
    check(nc_def_var(nc, vars[v].name, vars[v].type, 1, &dim, &ids[v]), "def_var");
  }
  check(nc_enddef(nc), "enddef");
  for (std::size_t v = 0; v < vars.size(); ++v) check(nc_put_var(nc, ids[v], vars[v].data), "put_var");
  check(nc_close(nc), "close");
}

/// The channel output (recNum) and the segment-information file (n) of the
/// same `n` points.
void write_inputs(const std::string& channel, const std::string& segments, std::size_t n) {
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
  write_netcdf(channel, "recNum", n,
               {{"streamflow", NC_FLOAT, q.data()}, {"acc_streamflowMax", NC_FLOAT, qmax.data()},
                {"latitude", NC_FLOAT, la.data()}, {"longitude", NC_FLOAT, lo.data()},
                {"order", NC_INT, ord.data()}, {"chanxi", NC_INT, xi.data()},
                {"chanyj", NC_INT, yj.data()}});
  write_netcdf(segments, "n", n,
               {{"chlat", NC_FLOAT, la.data()}, {"chlon", NC_FLOAT, lo.data()},
                {"order", NC_INT, ord.data()}, {"chanxi", NC_INT, xi.data()},
                {"chanyj", NC_INT, yj.data()}});
}

void write_station_list(const std::string& path, std::size_t n) {
  std::mt19937 rng(88);
  std::uniform_real_distribution<float> lat(25.0f, 50.0f), lon(-125.0f, -67.0f);
  std::uniform_int_distribution<int> cell(1, 4600);
  std::ofstream list(path);
  char line[160];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(line, sizeof line, "%.4f %.4f 'Gauge %zu at mile %d' %zu %d %d\n",
                  static_cast<double>(lat(rng)), static_cast<double>(lon(rng)), i + 1,
                  cell(rng) % 400, 1000000 + i, cell(rng), cell(rng));
    list << line;
  }
  if (!list) std::exit(1);
}

double cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double seconds_since(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

/// Parses every station of the list `file`; returns their number.
std::size_t read_stations(const std::string& file) {
  std::string text;
  if (!rn::read_text_file(file, text).ok()) std::exit(1);
  rn::StationReader reader(text);
  rn::Station s;
  std::size_t n = 0;
  while (reader.next(s).ok()) ++n;
  return n;
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
  const double s = seconds_since(t0);
  fs::remove(path);
  return s;
}

/// Runs `program` with `args` in `folder`, standard output to the null
/// device; returns the wall time and sets `cpu` to its processor time.
double run_program(const fs::path& program, const std::vector<std::string>& args,
                   const fs::path& folder, double& cpu) {
  std::vector<std::string> all{program.string()};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  const auto t0 = Clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
    std::fprintf(stderr, "bench_kml_exporters: cannot start %s\n", program.c_str());
    std::exit(1);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const double s = seconds_since(t0);
  cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
        1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "bench_kml_exporters: %s failed\n", program.c_str());
    std::exit(1);
  }
  return s;
}

/// One exporter: its command line (the document named "doc.kml"), the read
/// of its floor, its document variant and the writer of its placemarks (made
/// by reading the points, which it then holds).
struct Exporter {
  const char* program;
  std::vector<std::string> args;
  std::function<void()> read;
  const rn::kml::Variant* variant;
  std::function<std::function<void(rn::kml::KmlDocument&)>()> placemarks;
};

/// Processor time of composing the exporter's document onto the null device
/// (the points read beforehand).
double compose_seconds(const Exporter& e) {
  const auto write_placemarks = e.placemarks();
  std::FILE* null_device = std::fopen("/dev/null", "w");
  if (null_device == nullptr) std::exit(1);
  const double c0 = cpu_seconds();
  {
    rn::TextOut text(null_device, 1 << 20);
    rn::kml::KmlDocument doc(text, *e.variant);
    doc.write_head();
    write_placemarks(doc);
    doc.write_tail();
  }
  const double s = cpu_seconds() - c0;
  std::fclose(null_device);
  return s;
}

struct Best {
  double read = 1e30, write = 1e30, exported = 1e30, export_cpu = 1e30, compose_cpu = 1e30;
  double deflate = 1e30, packaged = 1e30, package_cpu = 1e30;
  std::size_t bytes = 0, kml_bytes = 0, package_bytes = 0, documents = 0;
};

/// The uncompressed bytes of every document (.kml) of the package `path`.
std::vector<std::string> package_documents(const fs::path& path) {
  std::vector<std::string> documents;
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (archive == nullptr) std::exit(1);
  for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
    zip_stat_t st;
    if (zip_stat_index(archive, i, 0, &st) != 0) std::exit(1);
    if (!std::string_view(st.name).ends_with(".kml")) continue;
    zip_file_t* file = zip_fopen_index(archive, i, 0);
    std::string bytes(st.size, '\0');
    if (file == nullptr || zip_fread(file, bytes.data(), st.size) != static_cast<zip_int64_t>(st.size)) {
      std::exit(1);
    }
    zip_fclose(file);
    documents.push_back(std::move(bytes));
  }
  zip_discard(archive);
  return documents;
}

/// Seconds to deflate `documents` one by one on this thread, raw deflate at
/// the package's level (the floor's compression).
double deflate_seconds(const std::vector<std::string>& documents) {
  std::string out;
  const auto t0 = Clock::now();
  for (const std::string& d : documents) {
    z_stream stream{};
    deflateInit2(&stream, rn::kml::ZipPackage::kLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    out.resize(deflateBound(&stream, static_cast<uLong>(d.size())));
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(d.data()));
    stream.avail_in = static_cast<uInt>(d.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END) std::exit(1);
    deflateEnd(&stream);
  }
  return seconds_since(t0);
}

}  // namespace

int main(int argc, char** argv) {
  namespace kml = rn::kml;
  const std::size_t n = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 4600000;
  const std::size_t station_count = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1000000;
  const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  const fs::path base = argc > 4 ? fs::path(argv[4]) : fs::temp_directory_path();
  const fs::path bin =
      argc > 5 ? fs::path(argv[5]) : fs::canonical("/proc/self/exe").parent_path();

  const fs::path folder = base / ("bench-kml-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::string channel = (folder / "chrt.nc").string();
  const std::string segments = (folder / "seg_info.nc").string();
  const std::string stations = (folder / "station_list.txt").string();
  write_inputs(channel, segments, n);
  write_station_list(stations, station_count);

  using Placemarks = std::function<void(kml::KmlDocument&)>;
  const std::vector<Exporter> exporters{
      {"flowglobe", {channel, "doc.kml", "1", "1", "none.nc", "none.txt"},
       [&] { kml::read_channel_points(kml::kFlowglobe, channel); }, &kml::kFlowglobeVariant,
       [&]() -> Placemarks {
         return [p = kml::read_channel_points(kml::kFlowglobe, channel)](kml::KmlDocument& d) {
           write_value_placemarks(kml::kFlowglobe, p, 1, 1, d);
         };
       }},
      {"flowglobe_max", {channel, "doc.kml", "1", "1", "none.nc", "none.txt"},
       [&] { kml::read_channel_points(kml::kFlowglobeMax, channel); }, &kml::kFlowglobeVariant,
       [&]() -> Placemarks {
         return [p = kml::read_channel_points(kml::kFlowglobeMax, channel)](kml::KmlDocument& d) {
           write_value_placemarks(kml::kFlowglobeMax, p, 1, 1, d);
         };
       }},
      {"flowglobe_drv1", {channel, "doc.kml", "1", "1"}, [&] { kml::read_node_points(channel); },
       &kml::kFlowglobeDrv1Variant,
       [&]() -> Placemarks {
         return [p = kml::read_node_points(channel)](kml::KmlDocument& d) {
           write_node_placemarks(p, 1, 1, d);
         };
       }},
      {"flowglobe_seg", {segments, "doc.kml", "1", "none.txt"},
       [&] { kml::read_segment_points(segments); }, &kml::kFlowglobeSegVariant,
       [&]() -> Placemarks {
         return [p = kml::read_segment_points(segments)](kml::KmlDocument& d) {
           write_segment_placemarks(p, 1, d);
         };
       }},
      {"gaugeglobe", {"doc.kml", stations}, [&] { read_stations(stations); },
       &kml::kGaugeglobeVariant,
       [&]() -> Placemarks {
         return [&](kml::KmlDocument& d) { d.write_station_list(stations); };
       }},
  };

  std::vector<Best> best(exporters.size());
  for (const Exporter& e : exporters) e.read();  // warm the file cache
  for (int r = 0; r < repeats; ++r) {
    for (std::size_t t = 0; t < exporters.size(); ++t) {
      const Exporter& e = exporters[t];
      Best& b = best[t];
      auto t0 = Clock::now();
      e.read();
      b.read = std::min(b.read, seconds_since(t0));
      double cpu = 0.0;
      b.exported = std::min(b.exported, run_program(bin / e.program, e.args, folder, cpu));
      b.export_cpu = std::min(b.export_cpu, cpu);
      b.bytes = fs::file_size(folder / "doc.kml");
      fs::remove(folder / "doc.kml");
      b.write = std::min(b.write, write_bytes(folder / "bytes.bin", b.bytes));
      b.compose_cpu = std::min(b.compose_cpu, compose_seconds(e));

      std::vector<std::string> packaged_args{"--kmz"};
      for (const std::string& a : e.args) packaged_args.push_back(a == "doc.kml" ? "doc.kmz" : a);
      b.packaged = std::min(b.packaged, run_program(bin / e.program, packaged_args, folder, cpu));
      b.package_cpu = std::min(b.package_cpu, cpu);
      b.package_bytes = fs::file_size(folder / "doc.kmz");
      const std::vector<std::string> documents = package_documents(folder / "doc.kmz");
      fs::remove(folder / "doc.kmz");
      b.documents = documents.size();
      b.kml_bytes = 0;
      for (const std::string& d : documents) b.kml_bytes += d.size();
      b.deflate = std::min(b.deflate, deflate_seconds(documents));
    }
  }

  double load[3] = {0, 0, 0};
  getloadavg(load, 3);
  std::printf("programs in %s\n", bin.c_str());
  std::printf("points %zu (channel output %.1f MB, segment information %.1f MB), stations %zu "
              "(%.1f MB), fastest of %d; load %.2f %.2f %.2f\n",
              n, static_cast<double>(fs::file_size(channel)) / 1e6,
              static_cast<double>(fs::file_size(segments)) / 1e6, station_count,
              static_cast<double>(fs::file_size(stations)) / 1e6, repeats, load[0], load[1],
              load[2]);
  std::printf("%-15s %10s %7s %7s %7s %7s %6s   %10s %11s\n", "exporter", "document", "read",
              "write", "floor", "export", "ratio", "export cpu", "compose cpu");
  for (std::size_t t = 0; t < exporters.size(); ++t) {
    const Best& b = best[t];
    const double floor = b.read + b.write;
    std::printf("%-15s %7.1f MB %7.3f %7.3f %7.3f %7.3f %6.2f   %10.3f %11.3f\n",
                exporters[t].program, static_cast<double>(b.bytes) / 1e6, b.read, b.write, floor,
                b.exported, b.exported / floor, b.export_cpu, b.compose_cpu);
  }
  std::printf("seconds; ratio = export / (read + write), target at most 1.50\n\n");
  std::printf("%-15s %10s %10s %6s %7s %7s %7s %7s %6s   %11s\n", "package", "kml", "kmz",
              "docs", "read", "deflate", "floor", "package", "ratio", "package cpu");
  for (std::size_t t = 0; t < exporters.size(); ++t) {
    const Best& b = best[t];
    const double floor = b.read + b.deflate;
    std::printf("%-15s %7.1f MB %7.1f MB %6zu %7.3f %7.3f %7.3f %7.3f %6.2f   %11.3f\n",
                exporters[t].program, static_cast<double>(b.kml_bytes) / 1e6,
                static_cast<double>(b.package_bytes) / 1e6, b.documents, b.read, b.deflate, floor,
                b.packaged, b.packaged / floor, b.package_cpu);
  }
  std::printf("seconds; ratio = package / (read + deflate of its documents at level %d, one thread), "
              "target at most 1.50\n", rn::kml::ZipPackage::kLevel);
  if (!std::getenv("RN_BENCH_KEEP")) fs::remove_all(folder);
  return 0;
}
