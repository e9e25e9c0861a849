// Outputs that cannot be written, every program: a folder without write
// permission, a full disk.  Each run ends with a message
// naming the output and the system's reason and a failure status, leaves no
// temporary or partial file, and an existing output keeps its content.
// Runs killed with SIGKILL at random moments leave no temporary or partial
// file either, and a rerun writes the bytes of an undisturbed run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "hostile_support.hpp"

extern char** environ;

namespace rn::test::hostile {
namespace {

// The output the program fails to create first, as the program names it:
// the fixed-name files come before the named output where there are any.
std::string first_output(const ProgramCase& c) {
  if (c.program == "reachfeed") return "mapping_index.nc";  // the cache is written first
  if (c.program == "siteseries") return fs::path(c.output).filename().string();
  for (const std::string& a : c.args) {
    if ((fs::path(c.cwd) / a).lexically_normal() == fs::path(c.output)) return a;
  }
  return c.output;  // linkweaver's mapping.nc
}

// Exit status of a failed write: the netCDF library reports its own write
// failures (code stop 2), the text outputs end with status 1.
int write_failure_status(const ProgramCase& c) {
  return fs::path(c.output).extension() == ".nc" ? 2 : 1;
}

// The nesting and mapping programs report an output they cannot create as
// their writers report a library failure (code stop 2); the others with 1.
bool creates_like_a_library_failure(const ProgramCase& c) {
  return c.program == "linkweaver" || c.program == "reachfeed" || c.program == "cellfeed";
}

// Every case in turn, as `body` runs it.
template <typename Body>
void for_every_case(Body body) {
  for (const std::string& name : case_names()) {
    SCOPED_TRACE(name);
    body(program_case(name));
  }
}

TEST(UnwritableOutput, ReadOnlyFolder) {
  for_every_case([](const ProgramCase& c) {
    Workspace w(c);
    w.lock_folders();
    Launch as_nobody;
    as_nobody.drop_privileges = true;  // root writes anywhere
    const Outcome o = w.run(as_nobody);
    const std::string named = "Error: cannot create output file " + first_output(c) + ": Permission denied";
    if (!creates_like_a_library_failure(c)) {
      expect_refused(w, o, 1, named);
      return;
    }
    expect_refused(w, o, 2, named + "\nSTOP 2\n");
    EXPECT_NE(o.result.out.find(" Error: Permission denied" + std::string(80 - 17, ' ') + "\n"),
              std::string::npos) << describe(o);
  });
}

// An argument of more than 256 characters (trailing blanks not counted) is
// refused before anything is read or written; one of 256 is taken whole.
// The output's argument (or the last one) gets "./" steps in front, which
// keep it naming the same file.
TEST(LongArgument, RefusedAboveTheLimitTakenWholeAtIt) {
  for_every_case([](const ProgramCase& c) {
    std::vector<std::string> args = c.args;
    std::size_t k = args.size();
    for (std::size_t a = 0; a < args.size(); ++a) {
      if ((fs::path(c.cwd) / args[a]).lexically_normal() == fs::path(c.output)) k = a;
    }
    if (k == args.size()) k = args.empty() ? 0 : args.size() - 1;
    if (k == args.size()) args.push_back("x");  // linkweaver, which ignores it
    const std::string base = args[k];
    const auto stretched = [&](std::size_t length) {
      const std::size_t pad = length - base.size();
      std::string steps = pad % 2 == 1 ? ".//" : "";
      while (steps.size() < pad) steps += "./";
      return steps + base;
    };
    {
      Workspace w(c);
      args[k] = stretched(256) + "  ";
      expect_completed(w, w.run(args));
    }
    Workspace w(c);
    args[k] = stretched(257);
    expect_refused(w, w.run(args), 1,
                   "Error: argument " + std::to_string(k + 1) +
                       " has 257 characters, more than the 256 that a program takes\n");
  });
}

// A tmpfs of 64 KiB filled to its last byte; without the right to mount
// one, a file-size limit of 0 bytes stands in for it.
TEST(UnwritableOutput, FullDisk) {
  for_every_case([](const ProgramCase& c) {
    Workspace full(c, Placement::full_disk);
    if (full.ready()) {
      expect_refused(full, full.run(), write_failure_status(c), "No space left on device");
      return;
    }
    Workspace w(c);
    Launch limited;
    limited.file_size_limit = 0;
    expect_refused(w, w.run(limited), write_failure_status(c), "File too large");
  });
}

// ---- Killed runs ----

using Files = std::map<std::string, std::string>;  // relative path -> content

Files files_of(const Workspace& w) {
  Files files;
  for (const auto& e : fs::recursive_directory_iterator(w.root())) {
    if (e.is_regular_file()) files[fs::relative(e.path(), w.root()).string()] = read_file(e.path());
  }
  return files;
}

// True when the process holds an output temporary of the work area open:
// an unnamed file (its link reads "<folder>/#<inode> (deleted)") or a named
// ".<name>.XXXXXX" one.
bool holds_temporary(pid_t pid, const fs::path& root) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
    const std::string link = fs::read_symlink(e.path(), ec).string();
    if (ec || link.rfind(root.string(), 0) != 0) continue;
    const std::string name = fs::path(link).filename().string();
    if (link.ends_with(" (deleted)") || name.front() == '.') return true;
  }
  return false;
}

struct KilledRun {
  bool finished = false;  // the run ended before the kill
  bool writing = false;   // an output temporary was open at the kill
};

// Starts the case's program and kills it with SIGKILL after `delay`, or,
// when `at_first_write`, as soon as it holds an output temporary open
// (watched every 50 microseconds; `delay` then only bounds the wait).
KilledRun run_and_kill(const Workspace& w, std::chrono::duration<double> delay, bool at_first_write) {
  const ProgramCase& c = w.run_case();
  const std::string exe = (bin_dir() / c.program).string();
  std::vector<std::string> store{exe};
  store.insert(store.end(), c.args.begin(), c.args.end());
  std::vector<char*> argv;
  for (std::string& a : store) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd = 0; fd <= 2; ++fd) {
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  }
  posix_spawn_file_actions_addchdir_np(&actions, (w.root() / c.cwd).c_str());
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + exe);

  KilledRun k;
  const auto start = std::chrono::steady_clock::now();
  int wstatus = 0;
  for (;;) {
    if (::waitpid(pid, &wstatus, WNOHANG) == pid) {
      k.finished = true;
      return k;
    }
    const bool due = std::chrono::steady_clock::now() - start >= delay;
    k.writing = holds_temporary(pid, w.root());
    if (due || (at_first_write && k.writing)) break;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, &wstatus, 0);
  return k;
}

// Every case killed at five moments drawn over the length of an undisturbed
// run (seeded), and once at its first open output.  After each kill the
// work area holds its inputs, its old output and, of what the undisturbed
// run writes, only complete files with their final bytes: no temporary, no
// partial file.  A rerun then gives exactly the files of the undisturbed
// run.  Some kills must land while an output is being written.
TEST(KilledRun, LeavesNoPartialOutputAndARerunGivesTheSameBytes) {
  std::mt19937 random(20261210);
  int writing_kills = 0;
  for_every_case([&](const ProgramCase& c) {
    Workspace reference(c);
    const Files inputs = files_of(reference);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(reference.run().result.status, 0);
    const std::chrono::duration<double> length = std::chrono::steady_clock::now() - start;
    const Files finished = files_of(reference);

    std::uniform_real_distribution<double> moment(0.0, 1.2 * length.count());
    for (int k = 0; k < 6; ++k) {
      const bool at_first_write = k == 5;
      const std::chrono::duration<double> delay(at_first_write ? 10.0 : moment(random));
      SCOPED_TRACE(at_first_write ? "kill at the first open output" : "kill after " + std::to_string(delay.count()) + " s");
      Workspace w(c);
      const KilledRun killed = run_and_kill(w, delay, at_first_write);
      writing_kills += killed.writing && !killed.finished;
      for (const auto& [path, content] : files_of(w)) {
        const auto input = inputs.find(path);
        if (input != inputs.end() && input->second == content) continue;
        const auto made = finished.find(path);
        EXPECT_TRUE(made != finished.end() && made->second == content)
            << path << ": not a complete output of the undisturbed run";
      }
      for (const auto& [path, content] : inputs) EXPECT_TRUE(fs::exists(w / path)) << path;
      const Outcome rerun = w.run();
      EXPECT_EQ(rerun.result.status, 0) << describe(rerun);
      EXPECT_TRUE(files_of(w) == finished) << "the rerun's files differ from the undisturbed run's";
    }
  });
  std::printf("kills while an output was being written: %d\n", writing_kills);
  EXPECT_GE(writing_kills, static_cast<int>(case_names().size()));
}

}  // namespace
}  // namespace rn::test::hostile
