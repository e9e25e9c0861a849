#include "program_end.hpp"

#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <utility>

#include "text_record.hpp"

namespace rn {

namespace {

std::string g_program;
std::string g_place;     // noted by a reader or writer just before its end
std::string g_reported;  // the failure place last written at once

std::string place_line(std::string_view file, std::string_view item, std::string_view reason) {
  std::string line;
  if (!g_program.empty()) line.append(g_program).append(": ");
  line.append(file).append(": ");
  if (!item.empty()) line.append(item).append(": ");
  line.append(reason);
  return line;
}

// The end with its stop text; a failing end carries the noted place.
[[noreturn]] void end_run(int status, std::string stop_text) {
  std::string place = std::exchange(g_place, {});
  if (status == 0) place.clear();
  throw ProgramEnd{status, std::move(stop_text), std::move(place)};
}

}  // namespace

void set_program_name(std::string_view program) { g_program = program; }

void note_failure_place(std::string_view file, std::string_view item, std::string_view reason) {
  g_place = place_line(file, item, reason);
}

void report_failure_place(std::string_view file, std::string_view item, std::string_view reason) {
  std::string line = place_line(file, item, reason);
  if (line == g_reported) return;
  warn(line);
  g_reported = std::move(line);
}

void note_failure_place(const FailurePlace& place) {
  note_failure_place(place.file, place.item, place.reason);
}

void note_failure_line(std::string_view line) { g_place = line; }

void warn(std::string_view line) {
  out().flush();
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

void plain_stop(int status) { end_run(status, {}); }

void text_stop(std::string_view text, int status) { end_run(status, "STOP " + std::string(text)); }

void code_stop(int code) { end_run(code, "STOP " + std::to_string(code)); }

void record_stop(std::string_view message) {
  out().record(message);
  plain_stop(kFailure);
}

void fail(std::string_view message) { end_run(kFailure, std::string(message)); }

int run_program(const std::function<void()>& body) {
  int status = 0;
  std::string place;
  std::string message;
  g_place.clear();
  try {
    body();
  } catch (const ProgramEnd& end) {
    status = end.status;
    place = end.place;
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
  if (place == g_reported) place.clear();  // already written when it was found
  for (const std::string* line : {&place, &message}) {
    if (line->empty()) continue;
    std::fputs(line->c_str(), stderr);
    std::fputc('\n', stderr);
  }
  std::fflush(stderr);
  return status;
}

}  // namespace rn
