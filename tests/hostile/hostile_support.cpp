#include "hostile_support.hpp"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>

namespace rn::test::hostile {

namespace {

const std::string kPoints = "channel/points_2016010100.nc";

const std::vector<ProgramCase>& cases() {
  static const std::vector<ProgramCase> all = {
      {"linkweaver", "linkweaver",
       {"namelist.nesting", "parent/parent_geo.nc", "parent/parent_links.nc",
        "parent/parent_overlap.nc", "child/child_grid.nc"},
       ".", {}, "mapping.nc"},
      {"reachfeed", "reachfeed", {"mapping.nc", "channel/reach_2016010100.nc"}, ".",
       {"channel/reach_2016010100.nc", "reach_inflow.nc"}, "reach_inflow.nc"},
      {"cellfeed", "cellfeed", {"cellfeed/mapping.nc", kPoints}, "cellfeed",
       {"../" + kPoints, "../cell_inflow.nc"}, "cell_inflow.nc"},
      {"flowglobe", "flowglobe", {kPoints, "seg_info.nc", "station_list.txt"}, ".",
       {kPoints, "flow.kml", "1", "2", "seg_info.nc", "station_list.txt"}, "flow.kml", true,
       {"obs.kml"}},
      {"flowglobe_max", "flowglobe_max", {kPoints, "seg_info.nc", "station_list.txt"}, ".",
       {kPoints, "flow_max.kml", "1", "2", "seg_info.nc", "station_list.txt"}, "flow_max.kml",
       true, {"obs.kml"}},
      {"flowglobe_drv1", "flowglobe_drv1", {kPoints}, ".", {kPoints, "nodes.kml", "2", "3"},
       "nodes.kml"},
      {"flowglobe_seg", "flowglobe_seg", {"seg_info.nc", "station_list.txt"}, ".",
       {"seg_info.nc", "segments.kml", "2", "station_list.txt"}, "segments.kml"},
      {"gaugeglobe", "gaugeglobe", {"station_list.txt"}, ".", {"gauges.kml", "station_list.txt"},
       "gauges.kml"},
      // One hour each: the start hour's file is the one every set-up step
      // reads (a later hour is damaged in a test of its own).
      {"siteseries", "siteseries", {"forcing/latlon_full/2016010100.forcing.nc", "sites_us.txt"},
       "out", {"1", "1", "2016010100", "1", ".forcing.nc", "../forcing/latlon_full", "../sites_us.txt"},
       "out/2016010100.txt", false},
      {"siteseries_rain", "siteseries",
       {"forcing/lambert_rain/2016010103.forcing.nc", "sites_world.txt"}, "out",
       {"2", "0", "2016010103", "1", ".forcing.nc", "../forcing/lambert_rain", "../sites_world.txt"},
       "out/2016010103.txt", false},
      {"bedcarve", "bedcarve", {"child/terrain.nc"}, ".", {"child/terrain.nc", "terrain_filled.nc"},
       "terrain_filled.nc"},
  };
  return all;
}

// Newest modification time of the programs that make the basin.
fs::file_time_type makers_time() {
  auto newest = fs::file_time_type::min();
  for (const char* program : {"samplebasin", "linkweaver"}) {
    newest = std::max(newest, fs::last_write_time(bin_dir() / program));
  }
  return newest;
}

fs::path make_basin() {
  const fs::path dir = RN_HOSTILE_BASIN_DIR;
  const fs::path stamp = dir / ".made";
  const std::string lock_path = dir.string() + ".lock";
  const int lock = ::open(lock_path.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
  if (lock < 0 || ::flock(lock, LOCK_EX) != 0) throw std::runtime_error("cannot lock " + lock_path);
  struct Unlock {
    int fd;
    ~Unlock() { ::close(fd); }
  } unlock{lock};

  if (fs::exists(stamp) && fs::last_write_time(stamp) >= makers_time()) return dir;
  const fs::path fresh = dir.string() + ".new";
  fs::remove_all(fresh);
  fs::remove_all(dir);
  const RunResult made = run("samplebasin", {"--preset", "small", fresh.string()}, fresh.parent_path());
  if (made.status != 0) throw std::runtime_error("samplebasin failed: " + made.err);
  const RunResult mapped = run("linkweaver", {}, fresh);
  if (mapped.status != 0) throw std::runtime_error("linkweaver failed on the sample basin: " + mapped.err);
  write_file(fresh / ".made", "");
  fs::rename(fresh, dir);
  return dir;
}

void list_into(const fs::path& root, std::set<std::string>& names) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    names.insert(fs::relative(it->path(), root).string());
  }
}

// Reads both pipes to their ends.
void drain(int out_fd, int err_fd, std::string& out, std::string& err) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* sinks[2] = {&out, &err};
  int open_count = 2;
  char buf[65536];
  while (open_count > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || fds[k].revents == 0) continue;
      const ssize_t n = ::read(fds[k].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[k]->append(buf, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(fds[k].fd);
        fds[k].fd = -1;
        --open_count;
      }
    }
  }
}

}  // namespace

const fs::path& basin() {
  static const fs::path dir = make_basin();
  return dir;
}

const ProgramCase& program_case(std::string_view name) {
  for (const ProgramCase& c : cases()) {
    if (c.name == name) return c;
  }
  throw std::invalid_argument("no program case " + std::string(name));
}

std::vector<std::string> case_names() {
  std::vector<std::string> names;
  for (const ProgramCase& c : cases()) names.push_back(c.name);
  return names;
}

std::vector<std::string> netcdf_case_names() {
  std::vector<std::string> names;
  for (const ProgramCase& c : cases()) {
    if (c.program != "gaugeglobe") names.push_back(c.name);
  }
  return names;
}

Workspace::Workspace(const ProgramCase& c, Placement placement) : case_(c), root_(dir_.path()) {
  // Open to every user: a run without privileges must read the inputs.
  fs::permissions(dir_.path(), fs::perms(0755));
  if (placement == Placement::full_disk) {
    root_ = dir_.path() / "disk";
    fs::create_directory(root_);
    if (::mount("tmpfs", root_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k,mode=0755") != 0) {
      ready_ = false;
      problem_ = std::string("cannot mount a small tmpfs (needs root): ") + std::strerror(errno);
      return;
    }
    mounted_ = true;
  }
  for (const std::string& input : c.inputs) {
    const fs::path to = root_ / input;
    fs::create_directories(to.parent_path());
    if (placement == Placement::full_disk) {
      fs::create_symlink(basin() / input, to);  // an inode, no data block
    } else {
      fs::copy_file(basin() / input, to);
    }
  }
  fs::create_directories(root_ / c.cwd);
  if (c.old_output) {
    fs::create_directories((root_ / c.output).parent_path());
    write_file(root_ / c.output, std::string(kOldOutput));
  }
  if (placement == Placement::full_disk) fill_disk();
}

Workspace::~Workspace() {
  if (mounted_) ::umount2(root_.c_str(), MNT_DETACH);
}

// Writes a filler file until the disk refuses more: no data block is left.
void Workspace::fill_disk() {
  const fs::path filler = root_ / "filler";
  const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error("cannot create " + filler.string());
  const std::string block(4096, 'x');
  while (::write(fd, block.data(), block.size()) > 0) {
  }
  // The last partial page too.
  while (::write(fd, block.data(), 1) > 0) {
  }
  ::close(fd);
}

void Workspace::lock_folders() const {
  std::vector<fs::path> folders{root_};
  for (const auto& e : fs::recursive_directory_iterator(root_)) {
    if (e.is_directory()) folders.push_back(e.path());
  }
  for (const fs::path& f : folders) fs::permissions(f, fs::perms(0555));
}

Outcome Workspace::run(const Launch& how) const { return run(case_.args, how); }

Outcome Workspace::run(const std::vector<std::string>& args, const Launch& how) const {
  Outcome o;
  o.before = listing();
  o.result = launch(case_.program, args, root_ / case_.cwd, how, &o.peak_rss_kb);
  o.after = listing();
  return o;
}

std::set<std::string> Workspace::listing() const {
  std::set<std::string> names;
  list_into(root_, names);
  return names;
}

// Contract: starts `program` (a name in bin_dir()) in `cwd` with nothing on
// standard input and both output streams on pipes, after setting the
// limits and identity of `how` in the child; waits for it.  Returns its
// exit status (128 + signal number when killed) and both streams.
RunResult launch(const std::string& program, const std::vector<std::string>& args,
                 const fs::path& cwd, const Launch& how, long* peak_rss_kb) {
  const std::string exe = ((how.bin.empty() ? bin_dir() : how.bin) / program).string();
  std::vector<std::string> store{exe};
  store.insert(store.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : store) argv.push_back(a.data());
  argv.push_back(nullptr);

  int out_pipe[2], err_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    // Only async-signal-safe calls from here to exec.
    const int null_fd = ::open("/dev/null", O_RDONLY);
    if (null_fd < 0 || ::dup2(null_fd, 0) < 0 || ::dup2(out_pipe[1], 1) < 0 ||
        ::dup2(err_pipe[1], 2) < 0 || ::chdir(cwd.c_str()) != 0) {
      ::_exit(120);
    }
    if (how.file_size_limit >= 0) {
      ::signal(SIGXFSZ, SIG_IGN);  // writes beyond the limit then fail with EFBIG
      const rlimit limit{static_cast<rlim_t>(how.file_size_limit),
                         static_cast<rlim_t>(how.file_size_limit)};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(121);
    }
    if (how.address_space_limit >= 0) {
      const rlimit limit{static_cast<rlim_t>(how.address_space_limit),
                         static_cast<rlim_t>(how.address_space_limit)};
      if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(123);
    }
    if (how.cpu_seconds_limit >= 0) {
      const rlimit limit{static_cast<rlim_t>(how.cpu_seconds_limit),
                         static_cast<rlim_t>(how.cpu_seconds_limit)};
      if (::setrlimit(RLIMIT_CPU, &limit) != 0) ::_exit(124);
    }
    if (how.drop_privileges && ::geteuid() == 0) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
        ::_exit(122);
      }
    }
    ::execv(exe.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  RunResult r;
  drain(out_pipe[0], err_pipe[0], r.out, r.err);
  int wstatus = 0;
  struct rusage usage {};
  ::wait4(pid, &wstatus, 0, &usage);
  if (peak_rss_kb != nullptr) *peak_rss_kb = usage.ru_maxrss;
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  return r;
}

namespace {

bool is_nc(const std::string& input) {
  return input.size() > 3 && input.compare(input.size() - 3, 3, ".nc") == 0;
}

}  // namespace

const std::string& classic_basin_input(const std::string& input) {
  static ScratchDir dir;
  static std::map<std::string, std::string> made;
  auto it = made.find(input);
  if (it != made.end()) return it->second;
  const fs::path to = dir / ("classic-" + std::to_string(made.size()) + ".nc");
  const std::string command = "nccopy -k classic '" + (basin() / input).string() + "' '" + to.string() + "'";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
  return made.emplace(input, read_file(to)).first->second;
}

std::string damaged_header_copy(const std::string& name, const std::string& input, int index) {
  std::uint64_t seed = 1469598103934665603ull;  // FNV-1a of "name:input", plus the index
  for (const char c : name + ":" + input) {
    seed ^= static_cast<unsigned char>(c);
    seed *= 1099511628211ull;
  }
  const std::string& sound = classic_basin_input(input);
  return damage_header(sound, classic_header_bytes(sound), seed + static_cast<std::uint64_t>(index));
}

void place_classic_inputs(const Workspace& w, const std::string& input, const std::string& bytes) {
  for (const std::string& other : w.run_case().inputs) {
    if (is_nc(other)) write_file(w / other, other == input ? bytes : classic_basin_input(other));
  }
}

bool has_sanitizer_report(std::string_view text) {
  return text.find("Sanitizer") != std::string_view::npos ||
         text.find("runtime error:") != std::string_view::npos;
}

std::string describe(const Outcome& o) {
  std::string text = "status " + std::to_string(o.result.status) + "\n--- stderr:\n" + o.result.err;
  // The end of standard output is where the failure shows.
  const std::string& out = o.result.out;
  text += "--- stdout (end):\n" + (out.size() > 2000 ? out.substr(out.size() - 2000) : out);
  std::string added, removed;
  for (const auto& n : o.after) {
    if (o.before.count(n) == 0) added += " " + n;
  }
  for (const auto& n : o.before) {
    if (o.after.count(n) == 0) removed += " " + n;
  }
  if (!added.empty()) text += "--- files added:" + added + "\n";
  if (!removed.empty()) text += "--- files removed:" + removed + "\n";
  return text;
}

void expect_refused(const Workspace& w, const Outcome& o, int status, std::string_view message,
                    const std::set<std::string>& whole_files) {
  const RunResult& r = o.result;
  EXPECT_EQ(r.status, status) << describe(o);
  EXPECT_FALSE(has_sanitizer_report(r.err)) << describe(o);
  EXPECT_TRUE(r.err.find(message) != std::string::npos || r.out.find(message) != std::string::npos)
      << "expected message: " << message << "\n" << describe(o);
  std::set<std::string> allowed;
  for (const std::string& f : w.run_case().side_files) {
    allowed.insert((fs::path(w.run_case().cwd) / f).lexically_normal().string());
  }
  allowed.insert(whole_files.begin(), whole_files.end());
  for (const std::string& n : o.before) {
    EXPECT_EQ(o.after.count(n), 1u) << "removed: " << n << "\n" << describe(o);
  }
  for (const std::string& n : o.after) {
    EXPECT_TRUE(o.before.count(n) == 1 || allowed.count(n) == 1) << "left behind: " << n << "\n"
                                                                 << describe(o);
  }
  if (w.run_case().old_output) {
    EXPECT_EQ(read_file(w / w.run_case().output), kOldOutput);
  }
}

void expect_completed(const Workspace& w, const Outcome& o) {
  EXPECT_EQ(o.result.status, 0) << describe(o);
  EXPECT_FALSE(has_sanitizer_report(o.result.err)) << describe(o);
  const std::string& output = w.run_case().output;
  ASSERT_TRUE(fs::exists(w / output)) << describe(o);
  // Replaced (an hour without any placed site is an empty file).
  EXPECT_NE(read_file(w / output), kOldOutput) << describe(o);
}

void expect_end(const Workspace& w, const Outcome& o, int status, std::string_view message) {
  if (status != 0) {
    expect_refused(w, o, status, message);
    return;
  }
  expect_completed(w, o);
  EXPECT_NE((o.result.err + o.result.out).find(message), std::string::npos)
      << "expected message: " << message << "\n" << describe(o);
}

}  // namespace rn::test::hostile
