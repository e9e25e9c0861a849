// Program ends and the standard-output record stream shared by every program.
//
// The error policy (docs/architecture.md has the whole rule):
//   * The program entry (<program>_main.cpp) runs its body under
//     `run_program`, which turns every end below into the exit status.
//   * A reader or an input check that refuses its input writes its message
//     records and ends the run itself, through one of the ends below, with
//     the failure status 1 - or with the fixed code of its reader family
//     (`handle_err` 2, the terrain readers 888 and 999).
//   * Every other outcome that decides an exit status (such as linkweaver's
//     perimeter outside the parent window) is returned to the caller, and
//     the entry chooses the end.
// The ends throw `ProgramEnd`, which `run_program` catches: unwinding lets
// pending atomic outputs remove their temporary files, so a failed run never
// leaves a partial output behind, and unit tests can catch the end and look
// at its status and text.
//
// Exit statuses: failures end with 1 (even where the traditional program
// ended with 0), code stops keep their numbers (2, 888, 999, reported by the
// operating system modulo 256), successful ends give 0.
//
// Where a failure happened: a reader or writer that is about to end the run
// notes the place first (`note_failure_place`: the file, the dimension or
// variable, the library's reason).  The end carries the note, and
// `run_program` writes it as one line on the error stream just before the
// stop text:
//     <program>: <file>: <dimension or variable>: <reason>
// so that every failure says where, whatever record and stop text the
// reader family has always written.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace rn {

/// Thrown by the program ends; caught by `run_program`.
struct ProgramEnd {
  int status = 0;           ///< process exit status
  std::string stop_text;    ///< "STOP ..." line for the error stream, empty for a plain stop
  std::string place;        ///< line naming where the failure happened, written before
                            ///< `stop_text`; empty when none was noted
};

/// Exit status of every ending that reports a failure.
inline constexpr int kFailure = 1;

/// Plain stop: nothing printed.  `status` is 0 for a normal end, kFailure after
/// an error message.
[[noreturn]] void plain_stop(int status);

/// Text stop: "STOP " followed by `text` on the error stream.
[[noreturn]] void text_stop(std::string_view text, int status = kFailure);

/// Code stop: "STOP " followed by `code` in decimal on the error stream; exit
/// status `code`.
[[noreturn]] void code_stop(int code);

/// Writes `message` unchanged as one record on standard output, then a plain
/// stop with the failure status (the date routines' end).
[[noreturn]] void record_stop(std::string_view message);

/// Failure of the process environment (an output that cannot be created, a
/// station value that is not a number): one message line on the error stream,
/// exit status kFailure.
[[noreturn]] void fail(std::string_view message);

/// Names the program at the head of the failure-place lines.
void set_program_name(std::string_view program);

/// Where a read failed: the file, the dimension or variable (empty when the
/// file itself failed) and the library's reason.  Readers that return their
/// failure instead of ending the run hand it to the caller that ends it.
struct FailurePlace {
  std::string file;
  std::string item;
  std::string reason;
};

/// Notes where the failure that ends the run happened: the line
/// "<program>: <file>: <item>: <reason>", without "<item>: " when `item` is
/// empty.  The next failing end (any end with a non-zero status) carries it;
/// call it just before that end.  A later note replaces an earlier one.
void note_failure_place(std::string_view file, std::string_view item, std::string_view reason);

void note_failure_place(const FailurePlace& place);

/// Writes the same line at once, as `warn` does, for a fault reported where
/// it is found whether or not the run ends there (a refused input).  A line
/// is written once: again with the same text it is dropped, also when the
/// end of the run carries it as its failure place.
void report_failure_place(std::string_view file, std::string_view item, std::string_view reason);

/// Notes a whole line instead of a composed one.
void note_failure_line(std::string_view line);

/// Writes `line` on the error stream at once, standard output's records
/// first so that both streams read in order: a warning of a run that goes on.
void warn(std::string_view line);

/// Runs a program body, turning program ends, out-of-memory and unexpected
/// exceptions into the exit status; flushes standard output before anything
/// reaches the error stream, where the failure place (if noted) comes
/// before the stop text.  Returns the process exit status.
int run_program(const std::function<void()>& body);

}  // namespace rn
