// Helpers shared by the tests: run a routine with standard-output records
// captured and its program end caught, list a folder, and run a routine in
// a child process.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "program_end.hpp"
#include "text_record.hpp"

namespace rn::test {

struct Outcome {
  bool ended = false;  ///< the routine ended the program
  int status = 0;      ///< exit status of that end
  std::string stop;    ///< its stop text ("" for a plain stop)
  std::string place;   ///< the failure-place line written before it ("" for none)
  std::string out;     ///< standard-output records written
};

template <typename F>
Outcome outcome_of(F&& body) {
  Outcome o;
  rn::CaptureStdout capture(&o.out);
  try {
    body();
  } catch (const rn::ProgramEnd& end) {
    o.ended = true;
    o.status = end.status;
    o.stop = end.stop_text;
    o.place = end.place;
  }
  return o;
}

/// Names in a folder, sorted.
inline std::vector<std::string> entries(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

/// Runs `body` in a forked child, which exits with the int that `body`
/// returns; gives the child's exit status, or 128 + signal number.
template <typename F>
int in_child(F&& body) {
  const pid_t pid = fork();
  if (pid == 0) std::_Exit(body());
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
}

}  // namespace rn::test
