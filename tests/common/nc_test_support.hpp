// Helpers for the reader, writer and output tests: run a routine with
// standard-output records captured and its program end caught, and run a
// routine in a child process.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "program_end.hpp"
#include "text_record.hpp"

namespace rn::test {

struct Outcome {
  bool ended = false;  ///< the routine ended the program
  int status = 0;      ///< exit status of that end
  std::string stop;    ///< its stop text ("" for a plain stop)
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
  }
  return o;
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
