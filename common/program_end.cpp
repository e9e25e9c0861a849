#include "program_end.hpp"

#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "text_record.hpp"

namespace rn {

void plain_stop(int status) { throw ProgramEnd{status, {}}; }

void text_stop(std::string_view text, int status) {
  throw ProgramEnd{status, "STOP " + std::string(text)};
}

void code_stop(int code) { throw ProgramEnd{code, "STOP " + std::to_string(code)}; }

void record_stop(std::string_view message) {
  out().record(message);
  plain_stop(kFailure);
}

void fail(std::string_view message) { throw ProgramEnd{kFailure, std::string(message)}; }

int run_program(const std::function<void()>& body) {
  int status = 0;
  std::string message;
  try {
    body();
  } catch (const ProgramEnd& end) {
    status = end.status;
    message = end.stop_text;
  } catch (const std::bad_alloc&) {
    status = kFailure;
    message = "Error: out of memory";
  } catch (const std::exception& e) {
    status = kFailure;
    message = std::string("Error: ") + e.what();
  }
  // Records first, then the stop text, so that both streams read in order
  // when they go to the same place.
  if (!out().flush() && status == 0) {
    status = kFailure;
    if (message.empty()) message = "Error: could not write standard output";
  }
  if (!message.empty()) {
    std::fputs(message.c_str(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
  }
  return status;
}

}  // namespace rn
