#include "slurm_cluster.hpp"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "tour_support.hpp"

namespace rn::test {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const char* const kDaemons[] = {"munged", "slurmctld", "slurmd"};
const char* const kClients[] = {"sbatch", "squeue", "scontrol", "scancel", "sinfo"};

// The program's path on PATH or in the system folders (root's daemons live
// in /usr/sbin, which a test's PATH may lack); "" when it is nowhere.
std::string find_program(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(std::string(path ? path : "") + ":/usr/sbin:/usr/bin:/sbin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (!dir.empty() && ::access((fs::path(dir) / name).c_str(), X_OK) == 0) {
      return (fs::path(dir) / name).string();
    }
  }
  return {};
}

// Two distinct TCP ports that are free on the loopback address now.
std::array<int, 2> free_ports() {
  std::array<int, 2> sockets{}, ports{};
  for (std::size_t i = 0; i < 2; ++i) {
    sockets[i] = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (sockets[i] < 0 || ::bind(sockets[i], reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::getsockname(sockets[i], reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("no free loopback port");
    }
    ports[i] = ntohs(address.sin_port);
  }
  for (int s : sockets) ::close(s);
  return ports;
}

// Polls `done` every 0.2 s until it holds or `limit` has passed.
bool wait_for(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(200ms);
  }
  return true;
}

std::string tail(const fs::path& file, std::size_t lines) {
  std::ifstream in(file);
  std::vector<std::string> kept;
  for (std::string line; std::getline(in, line);) {
    kept.push_back(line);
    if (kept.size() > lines) kept.erase(kept.begin());
  }
  std::string text;
  for (const std::string& line : kept) text += line + "\n";
  return text;
}

// The "key=value" field of a one-line job record ("" when it lacks it).
std::string field(const std::string& record, const std::string& key) {
  const std::size_t at = record.find(" " + key);
  if (at == std::string::npos) return {};
  return record.substr(at + 1, record.find(' ', at + 1) - at - 1);
}

// The node line of this machine's hardware as slurmd sees it (name, cores,
// memory), on the loopback address.
std::string node_line(const std::string& slurmd) {
  const RunResult r = run(slurmd, {"-C"}, fs::current_path());
  std::string line = r.out.substr(0, r.out.find('\n'));
  if (r.status != 0 || line.rfind("NodeName=", 0) != 0) {
    throw std::runtime_error("slurmd -C failed: " + r.out + r.err);
  }
  return line + " NodeAddr=127.0.0.1";
}

}  // namespace

std::string SlurmCluster::unavailable() {
  if (::geteuid() != 0) return "a private Slurm cluster needs root (slurmd starts jobs as their user)";
  std::string missing;
  for (const char* name : kDaemons) missing += find_program(name).empty() ? std::string(" ") + name : "";
  for (const char* name : kClients) missing += find_program(name).empty() ? std::string(" ") + name : "";
  if (!missing.empty()) {
    return "Debian's slurm-wlm and munge are not installed (missing:" + missing + "; tools/setup.sh installs them)";
  }
  return {};
}

SlurmCluster::SlurmCluster(const fs::path& dir) : dir_(dir) {
  for (const char* sub : {"munge", "state", "spool", "log"}) fs::create_directories(dir_ / sub);
  // munged serves its socket only when every folder above it can be
  // traversed by every user: open up the test's folders to the socket's.
  const fs::path tmp = fs::temp_directory_path();
  for (fs::path p = dir_ / "munge"; p != tmp && p.string().rfind(tmp.string(), 0) == 0;
       p = p.parent_path()) {
    fs::permissions(p, fs::perms::group_exec | fs::perms::others_exec, fs::perm_options::add);
  }
  const fs::path munge = dir_ / "munge";
  {
    // A key of our own: 1 KiB of random bytes, readable by root alone.
    std::ifstream random("/dev/urandom", std::ios::binary);
    std::string key(1024, '\0');
    random.read(key.data(), static_cast<std::streamsize>(key.size()));
    write_file(munge / "munge.key", key);
    fs::permissions(munge / "munge.key", fs::perms::owner_read | fs::perms::owner_write);
  }

  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  const std::string controller = std::string(host).substr(0, std::string(host).find('.'));
  const std::array<int, 2> ports = free_ports();
  const fs::path& d = dir_;
  std::ostringstream conf;
  conf << "ClusterName=rntest\n"
       << "SlurmctldHost=" << controller << "(127.0.0.1)\n"
       << "SlurmctldPort=" << ports[0] << "\nSlurmdPort=" << ports[1] << "\n"
       << "AuthType=auth/munge\nCredType=cred/munge\n"
       << "AuthInfo=socket=" << (munge / "socket").string() << "\n"
       << "SlurmUser=root\nSlurmdUser=root\n"
       << "StateSaveLocation=" << (d / "state").string() << "\n"
       << "SlurmdSpoolDir=" << (d / "spool").string() << "\n"
       << "SlurmctldPidFile=" << (d / "slurmctld.pid").string() << "\n"
       << "SlurmdPidFile=" << (d / "slurmd.pid").string() << "\n"
       << "SlurmctldLogFile=" << (d / "log/slurmctld.log").string() << "\n"
       << "SlurmdLogFile=" << (d / "log/slurmd.log").string() << "\n"
       << "PlugStackConfig=" << (d / "plugstack.conf").string() << "\n"
       // No cgroups, accounting or MPI: nothing outside this folder.
       << "ProctrackType=proctrack/linuxproc\nTaskPlugin=task/none\n"
       << "JobAcctGatherType=jobacct_gather/none\nAccountingStorageType=accounting_storage/none\n"
       << "JobCompType=jobcomp/none\nSwitchType=switch/none\nMpiDefault=none\n"
       // Schedule a submitted job at once rather than in the next round.
       << "SchedulerType=sched/builtin\nSchedulerParameters=batch_sched_delay=0,sched_min_interval=0\n"
       << "SelectType=select/cons_tres\nSelectTypeParameters=CR_Core\n"
       << "ReturnToService=2\nMinJobAge=600\n"
       << node_line(find_program("slurmd")) << "\n"
       << "PartitionName=rntest Nodes=ALL Default=YES MaxTime=INFINITE State=UP\n";
  write_file(d / "slurm.conf", conf.str());
  write_file(d / "plugstack.conf", "");

  try {
    start_daemons();
  } catch (...) {
    stop();
    throw;
  }
  if (!failure_.empty()) failure_ += "\n" + logs();
}

void SlurmCluster::start_daemons() {
  const fs::path munge = dir_ / "munge";
  start("munged", {find_program("munged"), "--foreground", "--socket=" + (munge / "socket").string(),
                   "--key-file=" + (munge / "munge.key").string(),
                   "--pid-file=" + (munge / "munged.pid").string(),
                   "--seed-file=" + (munge / "munged.seed").string()});
  if (!wait_for([&] { return fs::exists(munge / "socket"); }, 10s)) {
    failure_ = "munged did not open its socket within 10 s";
  } else {
    const std::string conf_file = (dir_ / "slurm.conf").string();
    start("slurmctld", {find_program("slurmctld"), "-D", "-f", conf_file});
    start("slurmd", {find_program("slurmd"), "-D", "-f", conf_file});
    if (!wait_until_up() && failure_.empty()) failure_ = "the node did not become idle within 30 s";
  }
}

SlurmCluster::~SlurmCluster() { stop(); }

void SlurmCluster::start(const std::string& name, const std::vector<std::string>& argv) {
  const pid_t parent = ::getpid();
  const fs::path log = dir_ / "log" / (name + ".out");
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("cannot fork for " + name);
  if (pid == 0) {
    // A group of its own, so that its helpers are stopped with it, and
    // killed when the test process ends in any way.
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int null = ::open("/dev/null", O_RDONLY);
    ::dup2(null, 0);
    ::dup2(fd, 1);
    ::dup2(fd, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  daemons_.emplace_back(name, pid);
}

bool SlurmCluster::wait_until_up() {
  return wait_for(
      [&] {
        for (auto& [name, pid] : daemons_) {
          int status = 0;
          if (::waitpid(pid, &status, WNOHANG) == pid) {
            failure_ = name + " ended at start-up (" +
                       (WIFEXITED(status) ? "status " + std::to_string(WEXITSTATUS(status))
                                          : "signal " + std::to_string(WTERMSIG(status))) +
                       ")";
            pid = 0;  // reaped: nothing to stop
            return true;
          }
        }
        return client({"sinfo", "--noheader", "--format=%T"}, dir_) == "idle\n";
      },
      30s) && failure_.empty();
}

std::string SlurmCluster::client(const std::vector<std::string>& command, const fs::path& cwd,
                                 int* status) const {
  const RunResult r =
      run_with_programs(command, cwd, {"SLURM_CONF=" + (dir_ / "slurm.conf").string()});
  if (status != nullptr) *status = r.status;
  return r.status == 0 ? r.out : r.out + r.err;
}

std::string SlurmCluster::submit_array(const fs::path& script, int last_task,
                                       const std::vector<std::string>& args, const fs::path& cwd) {
  std::vector<std::string> command = {"sbatch", "--parsable",
                                      "--array=0-" + std::to_string(last_task), script.string()};
  command.insert(command.end(), args.begin(), args.end());
  int status = 0;
  std::string out = client(command, cwd, &status);
  if (status != 0) {
    failure_ = "sbatch failed: " + out + logs();
    return {};
  }
  out = out.substr(0, out.find_first_of(";\n"));
  jobs_.push_back(out);
  return out;
}

std::string SlurmCluster::wait(const std::vector<std::string>& jobs, std::chrono::seconds limit) {
  std::vector<std::string> ids = {"squeue", "--noheader", "--format=%i", "--jobs"};
  std::string list;
  for (const std::string& job : jobs) list += (list.empty() ? "" : ",") + job;
  ids.push_back(list);
  const bool done = wait_for([&] { return client(ids, dir_).empty(); }, limit);
  std::string report;
  bool all_completed = done;
  for (const std::string& job : jobs) {
    // One line per task: JobState=... and ExitCode=status:signal.
    std::istringstream tasks(client({"scontrol", "--oneliner", "show", "job", job}, dir_));
    for (std::string task; std::getline(tasks, task);) {
      const bool completed = task.find(" JobState=COMPLETED ") != std::string::npos &&
                             task.find(" ExitCode=0:0 ") != std::string::npos;
      all_completed = all_completed && completed;
      for (const char* key : {"ArrayJobId=", "ArrayTaskId=", "JobName=", "JobState=", "Reason=",
                              "ExitCode="}) {
        report += field(task, key) + " ";
      }
      report += "\n";
      // What the task's script said: its Slurm output file.
      const std::string output = field(task, "StdOut=");
      if (!completed && output.size() > 7) report += tail(output.substr(7), 20);
    }
  }
  if (all_completed) return {};
  return (done ? "" : "the jobs were still queued after " + std::to_string(limit.count()) + " s\n") +
         report + logs();
}

std::string SlurmCluster::logs() const {
  std::string text;
  for (const auto& entry : fs::directory_iterator(dir_ / "log")) {
    text += "--- " + entry.path().string() + " (last lines)\n" + tail(entry.path(), 40);
  }
  return text;
}

void SlurmCluster::stop() {
  if (!jobs_.empty()) {
    std::vector<std::string> cancel = {"scancel"};
    cancel.insert(cancel.end(), jobs_.begin(), jobs_.end());
    client(cancel, dir_);
    wait_for([&] { return client({"squeue", "--noheader"}, dir_).empty(); }, 10s);
  }
  // slurmd first, then the controller, then munge; each gets 5 s to end
  // before its whole group is killed.
  for (auto it = daemons_.rbegin(); it != daemons_.rend(); ++it) {
    const pid_t pid = it->second;
    if (pid <= 0) continue;
    ::kill(pid, SIGTERM);
    int status = 0;
    if (!wait_for([&] { return ::waitpid(pid, &status, WNOHANG) != 0; }, 5s)) {
      ::kill(-pid, SIGKILL);
      ::waitpid(pid, &status, 0);
    }
    ::kill(-pid, SIGKILL);  // helpers left in its group, if any
  }
  daemons_.clear();
}

}  // namespace rn::test
