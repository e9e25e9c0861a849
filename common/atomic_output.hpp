// Output files that appear whole or not at all.
//
// An output is written under a temporary name in the target's own folder and
// renamed onto the target when it is complete (a rename within one folder
// replaces the target in one step).  Until then an existing file of the
// target's name keeps its content, and a concurrent reader of the target
// sees either the old file or the new one, never a part.  An output that is
// not committed - the program ends through a `ProgramEnd`, an exception
// unwinds, SIGINT/SIGTERM/SIGHUP arrive - has its temporary removed.
//
// The committed file gets the permissions a plain create would give it: an
// existing target's mode is kept, a new file gets 0666 & ~umask.
//
// A target that is a symbolic link is followed: the file it names is
// replaced and the link stays.  A target that exists and is not a regular
// file (a device such as /dev/null or /dev/stdout, a named pipe) is written
// directly, since there is no file to replace.
//
// Failures end the program with one line on the error stream and exit
// status 1: "Error: cannot create output file <name>: <system error>" when
// the folder does not exist or is not writable, "Error: cannot write output
// file <name>: <system error>" when writing, flushing, closing or renaming
// fails (a full disk, for example).  A writer may end a create failure its
// own way instead (`CreateFailureEnd`), after the same line.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "text_record.hpp"

namespace rn {

/// Ends the run when an output cannot be created; receives the line
/// "Error: cannot create output file <name>: <system error>" and the
/// system's error number.  Must not return.
using CreateFailureEnd = void (*)(std::string_view line, int errno_value);

/// A temporary file beside `target`, renamed onto it by `commit`.
class AtomicOutput {
 public:
  /// Creates the temporary (".<name>.XXXXXX" in the target's folder); ends
  /// the program when it cannot: through `on_create_failure` when given,
  /// else with the line above on the error stream and status 1.  `target`
  /// is used as it stands (callers trim file names).
  explicit AtomicOutput(std::string_view target, CreateFailureEnd on_create_failure = nullptr);
  ~AtomicOutput();  ///< removes the temporary unless committed
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;

  const std::string& target() const { return target_; }
  const std::string& temp_path() const { return temp_; }

  /// Descriptor of the temporary, open for writing (-1 once released).
  int fd() const { return fd_; }
  /// Hands the descriptor over to the caller (who closes it); the file stays.
  int release_fd();
  /// Closes the descriptor if still held; false (with errno set) on failure.
  bool close_fd();

  /// Sets the permissions and renames the temporary onto the target.  The
  /// caller has finished writing and closed the file.  Ends the program
  /// (status 1) when the rename fails.
  void commit();
  /// Removes the temporary now.
  void abandon();

  /// Ends the program: "Error: cannot write output file <target>: <text of
  /// errno_value>", status 1 (the temporary is removed during unwinding).
  [[noreturn]] void fail_write(int errno_value) const;

 private:
  [[noreturn]] void fail_create(int errno_value) const;

  CreateFailureEnd on_create_failure_ = nullptr;
  std::string target_;
  std::string dest_;   // what the temporary is renamed onto (links resolved)
  std::string temp_;
  int fd_ = -1;
  bool direct_ = false;  // writing straight into a device or pipe
  int slot_ = -1;  // place in the signal-cleanup registry, -1 when not held
  bool committed_ = false;
  bool removed_ = false;
};

/// A text output: a `FILE*` on the temporary with an `rn::TextOut` (large
/// buffer) on top.  `commit` flushes and closes it, checks every step and
/// renames it into place.
class AtomicTextFile {
 public:
  explicit AtomicTextFile(std::string_view target, std::size_t buffer_bytes = 1 << 20);
  ~AtomicTextFile();
  AtomicTextFile(const AtomicTextFile&) = delete;
  AtomicTextFile& operator=(const AtomicTextFile&) = delete;

  /// Record writer onto the file.
  TextOut& text() { return *text_; }
  /// The C stream underneath (for direct writes; `text()` buffers ahead of it).
  std::FILE* stream() const { return stream_; }
  const std::string& target() const { return output_.target(); }

  /// Flushes, closes and renames into place; a write error (now or earlier)
  /// ends the program with status 1 and leaves no file behind.
  void commit();

 private:
  AtomicOutput output_;
  std::FILE* stream_ = nullptr;
  std::unique_ptr<TextOut> text_;
};

}  // namespace rn
