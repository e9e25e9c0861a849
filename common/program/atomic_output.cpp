#include "atomic_output.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "program_end.hpp"

namespace rn {

namespace {

// ---- Removal of pending temporaries when a signal ends the process ----
//
// The handler may run at any moment, so it only reads a fixed table of
// C strings and calls unlink(), both async-signal-safe.  A slot is filled
// before it is marked used and unmarked before it is reused.

constexpr int kSlots = 16;
constexpr std::size_t kPathBytes = 4096;

struct Slot {
  volatile std::sig_atomic_t used = 0;
  char path[kPathBytes] = {};
};

Slot g_slots[kSlots];

// Signals whose default action ends the process and that a user or the
// system sends to stop a run.
constexpr int kCleanupSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGXFSZ};

extern "C" void remove_temporaries(int sig) {
  for (Slot& slot : g_slots) {
    if (slot.used != 0) ::unlink(slot.path);
  }
  // Die of the same signal, so that the parent sees how the run ended.
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  ::sigaction(sig, &dfl, nullptr);
  ::raise(sig);
}

// Installs the handler once, for the signals still at their default action:
// a signal the caller ignores (a background job's SIGINT, nohup's SIGHUP)
// stays ignored.
void install_handlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (int sig : kCleanupSignals) {
    struct sigaction current {};
    if (::sigaction(sig, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
    struct sigaction act {};
    act.sa_handler = remove_temporaries;
    sigemptyset(&act.sa_mask);
    for (int other : kCleanupSignals) sigaddset(&act.sa_mask, other);
    ::sigaction(sig, &act, nullptr);
  }
}

// Returns the slot holding `path`, or -1 when the table is full or the path
// too long (the temporary is then still removed on every ordinary end).
int register_temporary(const std::string& path) {
  if (path.size() >= kPathBytes) return -1;
  install_handlers();
  for (int k = 0; k < kSlots; ++k) {
    Slot& slot = g_slots[k];
    if (slot.used != 0) continue;
    std::memcpy(slot.path, path.c_str(), path.size() + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    slot.used = 1;
    return k;
  }
  return -1;
}

void unregister_temporary(int& slot) {
  if (slot < 0) return;
  g_slots[slot].used = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  slot = -1;
}

// ---- Names and permissions ----

// The process's file-creation mask (read once; the programs never change it).
mode_t creation_mask() {
  static const mode_t mask = [] {
    const mode_t m = ::umask(0);
    ::umask(m);
    return m;
  }();
  return mask;
}

// Temporary name template in the target's folder: ".<name>.XXXXXX", the name
// part shortened so that the whole stays within a file name's 255 bytes.
std::string temp_template(const std::string& target) {
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  constexpr std::size_t kMaxBase = 255 - 8 - 1;  // ".", ".XXXXXX", margin
  if (base.size() > kMaxBase) base.resize(kMaxBase);
  return folder + "." + base + ".XXXXXX";
}

std::string system_error(int errno_value) {
  return std::strerror(errno_value != 0 ? errno_value : EIO);
}

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string proc_path(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// An unnamed file in `folder`, or -1 where the file system has none (or
// /proc, through which it is named later, is missing).
int open_unnamed(const std::string& folder) {
#if defined(O_TMPFILE)
  static const bool has_proc = ::access("/proc/self/fd", X_OK) == 0;
  if (!has_proc) return -1;
  return ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#else
  (void)folder;
  return -1;
#endif
}

// Links the unnamed file `fd` to a fresh name made from `pattern` (its
// trailing XXXXXX replaced); returns the name, or "" with errno set.
std::string link_to_fresh_name(int fd, const std::string& pattern) {
  static unsigned counter = 0;
  constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = pattern;
    unsigned long long x = (static_cast<unsigned long long>(::getpid()) << 32) ^
                           (static_cast<unsigned long long>(++counter) * 0x9E3779B97F4A7C15ull) ^
                           static_cast<unsigned long long>(::clock());
    for (std::size_t k = name.size() - 6; k < name.size(); ++k) {
      name[k] = kLetters[x % (sizeof kLetters - 1)];
      x /= sizeof kLetters - 1;
    }
    if (::linkat(AT_FDCWD, proc_path(fd).c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      return name;
    }
    if (errno != EEXIST) return "";
  }
  errno = EEXIST;
  return "";
}

}  // namespace

AtomicOutput::AtomicOutput(std::string_view target, CreateFailureEnd on_create_failure,
                           Temporary kind)
    : on_create_failure_(on_create_failure), target_(target), dest_(target) {
  struct stat st {};
  if (::stat(target_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    if (S_ISDIR(st.st_mode)) {
      fail_create(EISDIR);
    }
    // A device or a pipe: nothing to replace, write into it.
    const int fd = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) fail_create(errno);
    fd_ = fd;
    temp_ = target_;
    direct_ = true;
    return;
  }
  if (::lstat(target_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    // Replace the file the link names, not the link.
    if (char* real = ::realpath(target_.c_str(), nullptr)) {
      dest_ = real;
      std::free(real);
    } else {
      // A link to a file not there yet: create that file, as a plain
      // create through the link would.
      std::string link(kPathBytes, '\0');
      const ssize_t n = ::readlink(target_.c_str(), link.data(), link.size() - 1);
      if (n <= 0) fail_create(errno);
      link.resize(static_cast<std::size_t>(n));
      const std::size_t slash = target_.rfind('/');
      dest_ = link.front() == '/' || slash == std::string::npos ? link : target_.substr(0, slash + 1) + link;
    }
  }
  if (const int fd = kind == Temporary::named ? -1 : open_unnamed(folder_of(dest_)); fd >= 0) {
    fd_ = fd;
    unnamed_ = true;
    return;
  }
  // No unnamed files here (or the folder cannot take one: the named create
  // below reports why).
  std::string name = temp_template(dest_);
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) fail_create(errno);
  fd_ = fd;
  temp_ = std::move(name);
  slot_ = register_temporary(temp_);
}

AtomicOutput::~AtomicOutput() { abandon(); }

int AtomicOutput::duplicate_fd() const { return ::fcntl(fd_, F_DUPFD_CLOEXEC, 0); }

bool AtomicOutput::close_fd() {
  if (fd_ < 0) return true;
  const int fd = fd_;
  fd_ = -1;
  return ::close(fd) == 0;
}

std::string AtomicOutput::path_for_writer() {
  if (unnamed_) return proc_path(fd_);
  if (!close_fd()) fail_write(errno);
  return temp_;
}

void AtomicOutput::fail_create(int errno_value) const {
  const int code = errno_value != 0 ? errno_value : EIO;
  const std::string line = "Error: cannot create output file " + target_ + ": " + system_error(code);
  if (on_create_failure_ != nullptr) on_create_failure_(line, code);
  fail(line);
}

void AtomicOutput::fail_write(int errno_value) const {
  fail("Error: cannot write output file " + target_ + ": " + system_error(errno_value));
}

// Contract: the caller has written the temporary and flushed or closed its
// own descriptors.  Gives it the mode a plain create would (an existing
// target's mode, else 0666 & ~umask) and puts it in the target's place in
// one step: an unnamed file is linked to the target when there is none, else
// to a temporary name renamed onto the target; a named temporary is renamed.
// Any failure ends the program with status 1 and leaves the target as it
// was; the temporary goes with the destructor (an unnamed one with its
// descriptor).  Cost: a few system calls.
void AtomicOutput::commit() {
  if (committed_ || removed_) return;
  if (direct_) {
    if (!close_fd()) fail_write(errno);
    committed_ = true;
    return;
  }
  struct stat existing {};
  const mode_t mode = ::stat(dest_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)
                          ? (existing.st_mode & 07777)
                          : (0666 & ~creation_mask());
  if (unnamed_) {
    publish_unnamed(mode);
  } else {
    if (!close_fd()) fail_write(errno);
    if (::chmod(temp_.c_str(), mode) != 0) fail_write(errno);
    rename_into_place(temp_);
  }
  committed_ = true;
  unregister_temporary(slot_);
  close_fd();  // the file has its name: closing it can lose nothing
}

void AtomicOutput::publish_unnamed(mode_t mode) {
  if (::fchmod(fd_, mode) != 0) fail_write(errno);
  // No target yet: the complete file takes its name in one step.
  if (::linkat(AT_FDCWD, proc_path(fd_).c_str(), AT_FDCWD, dest_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
    return;
  }
  if (errno != EEXIST) fail_write(errno);
  // Replace the target: a name of its own for the moment of the rename.
  temp_ = link_to_fresh_name(fd_, temp_template(dest_));
  if (temp_.empty()) fail_write(errno);
  slot_ = register_temporary(temp_);
  rename_into_place(temp_);
}

void AtomicOutput::rename_into_place(const std::string& from) {
  if (::rename(from.c_str(), dest_.c_str()) == 0) return;
  const int error = errno;
  ::unlink(from.c_str());
  unregister_temporary(slot_);
  temp_.clear();
  fail_write(error);
}

void AtomicOutput::abandon() {
  if (committed_ || removed_) return;
  close_fd();
  if (!direct_ && !temp_.empty()) ::unlink(temp_.c_str());
  removed_ = true;
  unregister_temporary(slot_);
}

// ---- Text outputs ----

AtomicTextFile::AtomicTextFile(std::string_view target, std::size_t buffer_bytes)
    : output_(target) {
  // The stream gets a descriptor of its own: the output keeps its one,
  // through which an unnamed file lives until it is committed.
  const int fd = output_.duplicate_fd();
  if (fd < 0) output_.fail_write(errno);
  stream_ = ::fdopen(fd, "w");
  if (stream_ == nullptr) {
    const int error = errno;
    ::close(fd);
    output_.fail_write(error);
  }
  text_ = std::make_unique<TextOut>(stream_, buffer_bytes);
}

AtomicTextFile::~AtomicTextFile() {
  text_.reset();
  if (stream_ != nullptr) std::fclose(stream_);
  // `output_` removes the temporary unless committed.
}

void AtomicTextFile::commit() {
  if (!text_) return;  // already committed
  errno = 0;
  const bool flushed = text_->flush();
  const int flush_errno = errno;
  text_.reset();
  if (!flushed) output_.fail_write(flush_errno);
  std::FILE* stream = stream_;
  stream_ = nullptr;
  const bool stream_error = std::ferror(stream) != 0;
  errno = 0;
  if (std::fclose(stream) != 0 || stream_error) output_.fail_write(errno);
  output_.commit();
}

}  // namespace rn
