// Output files that appear whole or not at all.
//
// An output is written into an unnamed file in the target's own folder
// (O_TMPFILE) and given a name only when it is complete: linked straight to
// the target when there is none, else linked to a temporary name and renamed
// onto the target (a rename within one folder replaces the target in one
// step).  Until then an existing file of the target's name keeps its
// content, and a concurrent reader of the target sees either the old file or
// the new one, never a part.  An output that is not committed leaves
// nothing: the system frees an unnamed file when its process ends, however
// it ends (SIGKILL included).  Only between the link and the rename of a
// replacement, a few microseconds, does a complete copy carry the temporary
// name ".<name>.XXXXXX".
//
// Where the folder's file system has no unnamed files (some network file
// systems) or /proc is not mounted, the output is written under the
// temporary name ".<name>.XXXXXX" from the start and renamed when complete;
// an output that is not committed - the program ends through a
// `ProgramEnd`, an exception unwinds, SIGINT/SIGTERM/SIGHUP arrive - has its
// temporary removed, but SIGKILL leaves it behind.
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

#include <sys/types.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "text_record.hpp"

namespace rn {

/// Whether the temporary may be an unnamed file.  A writer that cannot
/// create its file through /proc/self/fd (the HDF5 library, for netCDF-4
/// files) asks for a named one.
enum class Temporary { unnamed_where_possible, named };

/// Ends the run when an output cannot be created; receives the line
/// "Error: cannot create output file <name>: <system error>" and the
/// system's error number.  Must not return.
using CreateFailureEnd = void (*)(std::string_view line, int errno_value);

/// A temporary file beside `target` that `commit` puts in its place.
class AtomicOutput {
 public:
  /// Creates the temporary (unnamed, or ".<name>.XXXXXX" in the target's
  /// folder); ends the program when it cannot: through `on_create_failure`
  /// when given, else with the line above on the error stream and status 1.
  /// `target` is used as it stands (callers trim file names).
  explicit AtomicOutput(std::string_view target, CreateFailureEnd on_create_failure = nullptr,
                        Temporary kind = Temporary::unnamed_where_possible);
  ~AtomicOutput();  ///< removes the temporary unless committed
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;

  const std::string& target() const { return target_; }

  /// Descriptor of the temporary, open for writing.  It must stay open until
  /// `commit`: an unnamed temporary lives through it.  Writers that need a
  /// stream of their own take a duplicate (`duplicate_fd`).
  int fd() const { return fd_; }
  /// A new descriptor of the temporary (close-on-exec), or -1 with errno.
  int duplicate_fd() const;

  /// For writers that create the file by name (the netCDF library): the
  /// name to create it under, which reaches the temporary itself
  /// (/proc/self/fd/<n> for an unnamed one).  A named temporary's
  /// descriptor is closed here, so that the writer's create replaces it; an
  /// unnamed one's stays open.  Ends the program (status 1) on failure.
  std::string path_for_writer();

  /// Sets the permissions and puts the temporary in the target's place.
  /// The caller has finished writing and flushed or closed its own
  /// descriptors.  Ends the program (status 1) when that fails.
  void commit();
  /// Removes the temporary now.
  void abandon();

  /// Ends the program: "Error: cannot write output file <target>: <text of
  /// errno_value>", status 1 (the temporary is removed during unwinding).
  [[noreturn]] void fail_write(int errno_value) const;

 private:
  [[noreturn]] void fail_create(int errno_value) const;
  bool close_fd();
  void publish_unnamed(mode_t mode);
  void rename_into_place(const std::string& from);

  CreateFailureEnd on_create_failure_ = nullptr;
  std::string target_;
  std::string dest_;   // what the temporary becomes (links resolved)
  std::string temp_;   // the named temporary (empty while unnamed)
  int fd_ = -1;
  bool unnamed_ = false;  // an O_TMPFILE file, named only at commit
  bool direct_ = false;   // writing straight into a device or pipe
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

  /// Flushes, closes and puts the file in place; a write error (now or
  /// earlier) ends the program with status 1 and leaves no file behind.
  void commit();

 private:
  AtomicOutput output_;
  std::FILE* stream_ = nullptr;
  std::unique_ptr<TextOut> text_;
};

}  // namespace rn
