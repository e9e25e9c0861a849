#include "nc_input_check.hpp"

#include <fcntl.h>
#include <netcdf.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <tuple>
#include <vector>

#include "classic_extent.hpp"
#include "program_end.hpp"

#if defined(__SANITIZE_ADDRESS__)
#define RN_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RN_ADDRESS_SANITIZER 1
#endif
#endif

namespace rn {

namespace {

// ---- The probe child ----

// What the child tells the parent.
enum class ProbeStage : int { open_failed = 1, inquiry_failed = 2, done = 3 };
struct ProbeReport {
  ProbeStage stage;
  int status;
};

// Exit status of a child that could not set itself up.
constexpr int kProbeSetupFailed = 125;

[[noreturn]] void send(int fd, ProbeStage stage, int status) {
  const ProbeReport r{stage, status};
  [[maybe_unused]] const ssize_t n = ::write(fd, &r, sizeof r);
  ::_exit(0);
}

bool is_atomic(nc_type type) { return type >= NC_BYTE && type <= NC_UINT64 && type != NC_STRING; }

std::size_t atomic_size(nc_type type) {
  switch (type) {
    case NC_BYTE: case NC_CHAR: case NC_UBYTE: return 1;
    case NC_SHORT: case NC_USHORT: return 2;
    case NC_INT: case NC_FLOAT: case NC_UINT: return 4;
    default: return 8;
  }
}

// Inquires every attribute of `varid` (NC_GLOBAL for the file's own) and
// reads its values.
int inquire_attributes(int id, int varid, int natts) {
  for (int a = 0; a < natts; ++a) {
    char name[NC_MAX_NAME + 1] = {};
    nc_type type = NC_NAT;
    std::size_t length = 0;
    int status = nc_inq_attname(id, varid, a, name);
    if (status == NC_NOERR) status = nc_inq_att(id, varid, name, &type, &length);
    if (status != NC_NOERR) return status;
    if (length == 0) continue;
    if (is_atomic(type)) {
      std::vector<unsigned char> values(length * atomic_size(type));
      status = nc_get_att(id, varid, name, values.data());
    } else if (type == NC_STRING) {
      std::vector<char*> values(length, nullptr);
      status = nc_get_att_string(id, varid, name, values.data());
      if (status == NC_NOERR) nc_free_string(length, values.data());
    }
    if (status != NC_NOERR) return status;
  }
  return NC_NOERR;
}

// Everything a reader can ask of the root group: dimensions, variables with
// their types, dimensions, chunking and fill values, every attribute.
int inquire_file(int id) {
  int ndims = 0, nvars = 0, ngatts = 0, unlimited = -1;
  int status = nc_inq(id, &ndims, &nvars, &ngatts, &unlimited);
  if (status != NC_NOERR) return status;
  int listed = 0;
  std::vector<int> dimids(static_cast<std::size_t>(ndims > 0 ? ndims : 0));
  status = nc_inq_dimids(id, &listed, dimids.data(), 0);
  if (status != NC_NOERR) return status;
  if (listed != ndims) return NC_EBADDIM;
  for (int d : dimids) {
    char name[NC_MAX_NAME + 1] = {};
    std::size_t length = 0;
    status = nc_inq_dim(id, d, name, &length);
    if (status != NC_NOERR) return status;
  }
  status = inquire_attributes(id, NC_GLOBAL, ngatts);
  if (status != NC_NOERR) return status;
  for (int v = 0; v < nvars; ++v) {
    int rank = 0;
    status = nc_inq_varndims(id, v, &rank);
    if (status != NC_NOERR) return status;
    if (rank < 0 || rank > NC_MAX_VAR_DIMS) return NC_EMAXDIMS;
    char name[NC_MAX_NAME + 1] = {};
    nc_type type = NC_NAT;
    int natts = 0;
    std::vector<int> var_dims(static_cast<std::size_t>(rank) + 1);
    status = nc_inq_var(id, v, name, &type, &rank, var_dims.data(), &natts);
    if (status != NC_NOERR) return status;
    for (int k = 0; k < rank; ++k) {
      std::size_t length = 0;
      status = nc_inq_dimlen(id, var_dims[static_cast<std::size_t>(k)], &length);
      if (status != NC_NOERR) return status;
    }
    int storage = 0;
    std::vector<std::size_t> chunks(static_cast<std::size_t>(rank) + 1);
    status = nc_inq_var_chunking(id, v, &storage, chunks.data());
    if (status != NC_NOERR && status != NC_ENOTNC4) return status;
    if (is_atomic(type)) {
      int no_fill = 0;
      unsigned char fill[8] = {};
      status = nc_inq_var_fill(id, v, &no_fill, fill);
      if (status != NC_NOERR) return status;
    }
    status = inquire_attributes(id, v, natts);
    if (status != NC_NOERR) return status;
  }
  return NC_NOERR;
}

// Lowers a limit of this process to `soft` and `hard`, never above the
// limits it already has (a process may not raise its hard limits).
bool lower_limit(int resource, rlim_t soft, rlim_t hard) {
  rlimit now{};
  if (::getrlimit(resource, &now) != 0) return false;
  const auto lower = [](rlim_t a, rlim_t b) {
    return a == RLIM_INFINITY ? b : b == RLIM_INFINITY ? a : std::min(a, b);
  };
  const rlimit wanted{lower(soft, now.rlim_max), lower(hard, now.rlim_max)};
  return ::setrlimit(resource, &wanted) == 0;
}

// The child's whole life: limits, open, inquiries, one report, _exit.
[[noreturn]] void probe_child(const std::string& path, int report_fd, rlim_t address_space,
                              pid_t parent) {
  const int null_fd = ::open("/dev/null", O_RDWR);
  if (null_fd < 0 || ::dup2(null_fd, 0) < 0 || ::dup2(null_fd, 1) < 0 || ::dup2(null_fd, 2) < 0) {
    ::_exit(kProbeSetupFailed);
  }
  // Gone with the program (a run killed at any point leaves no probe
  // behind); no core file where the program works.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(kProbeSetupFailed);  // gone before the line above
  ::signal(SIGALRM, SIG_DFL);
  ::signal(SIGXCPU, SIG_DFL);
  if (!lower_limit(RLIMIT_CORE, 0, 0) || !lower_limit(RLIMIT_CPU, kProbeCpuSeconds, kProbeCpuSeconds + 1) ||
      !lower_limit(RLIMIT_AS, address_space, address_space)) {
    ::_exit(kProbeSetupFailed);
  }
  ::alarm(kProbeWallSeconds);
  int id = -1;
  const int status = nc_open(path.c_str(), NC_NOWRITE, &id);
  if (status != NC_NOERR) send(report_fd, ProbeStage::open_failed, status);
  const int inquired = inquire_file(id);
  send(report_fd, inquired == NC_NOERR ? ProbeStage::done : ProbeStage::inquiry_failed, inquired);
}

// The address space the child may have: what the process maps now plus the
// probe's allowance; unlimited under AddressSanitizer (its shadow memory
// alone passes any sensible limit).
rlim_t probe_address_space() {
#if defined(RN_ADDRESS_SANITIZER)
  return RLIM_INFINITY;
#else
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  unsigned long long pages = 0;
  const bool read = f != nullptr && std::fscanf(f, "%llu", &pages) == 1;
  if (f != nullptr) std::fclose(f);
  if (!read) return RLIM_INFINITY;
  const auto page = static_cast<unsigned long long>(::sysconf(_SC_PAGESIZE));
  return static_cast<rlim_t>(pages * page + kProbeMemoryBytes);
#endif
}

std::string limits_text() {
  return std::to_string(kProbeMemoryBytes >> 20) + " MB, " + std::to_string(kProbeCpuSeconds) +
         " s of CPU and " + std::to_string(kProbeWallSeconds) + " s";
}

// Probe.
// Contract: runs the library's open and inquiries of `path` in a child
// process under the limits above and turns the child's end into a verdict:
// accepted (everything inquired), library_error (the library declined the
// file with a status), refused (anything else: crash, limits, failed
// inquiry).  Never throws; the parent's state is untouched.  Cost: one fork
// and one library open of the file in the child, waited for.
InputCheck probe(const std::string& path) {
  InputCheck check;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    check.outcome = InputCheck::Outcome::refused;
    check.reason = std::string("cannot start the probe of its header: ") + std::strerror(errno);
    return check;
  }
  const rlim_t address_space = probe_address_space();
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    probe_child(path, fds[1], address_space, parent);
  }
  ::close(fds[1]);
  ProbeReport report{};
  std::size_t got = 0;
  while (pid > 0 && got < sizeof report) {
    const ssize_t n = ::read(fds[0], reinterpret_cast<char*>(&report) + got, sizeof report - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fds[0]);
  int wstatus = 0;
  while (pid > 0 && ::waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
  check.outcome = InputCheck::Outcome::refused;
  if (pid < 0) {
    check.reason = std::string("cannot start the probe of its header: ") + std::strerror(errno);
  } else if (WIFSIGNALED(wstatus)) {
    const int sig = WTERMSIG(wstatus);
    check.reason = sig == SIGALRM || sig == SIGXCPU || sig == SIGKILL
                       ? "the netCDF library could not open it within " + limits_text()
                       : "the netCDF library crashes opening it (signal " + std::to_string(sig) +
                             ", " + strsignal(sig) + ")";
  } else if (got != sizeof report || WEXITSTATUS(wstatus) != 0) {
    check.reason = "the netCDF library could not open it within " + limits_text() +
                   " (the probe ended with status " + std::to_string(WEXITSTATUS(wstatus)) + ")";
  } else if (report.stage == ProbeStage::open_failed) {
    check.outcome = InputCheck::Outcome::library_error;
    check.library_status = report.status;
  } else if (report.stage == ProbeStage::inquiry_failed) {
    check.reason = std::string("the netCDF library opens it but cannot read its metadata: ") +
                   nc_strerror(report.status);
  } else {
    check.outcome = InputCheck::Outcome::accepted;
  }
  return check;
}

// Verdicts of probed files, by identity and version of the file.
using FileKey = std::tuple<dev_t, ino_t, off_t, long, long, long, long>;

FileKey key_of(const struct stat& st) {
  return {st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec,
          st.st_ctim.tv_sec, st.st_ctim.tv_nsec};
}

std::map<FileKey, InputCheck>& probed() {
  static std::map<FileKey, InputCheck> verdicts;
  return verdicts;
}

constexpr std::size_t kMaxRememberedVerdicts = 4096;

constexpr off_t kShortestSignature = 8;

}  // namespace

InputCheck check_nc_input(const std::string& path) {
  InputCheck check;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    check.outcome = InputCheck::Outcome::not_found;
    return check;
  }
  if (!S_ISREG(st.st_mode)) {
    check.outcome = InputCheck::Outcome::refused;
    check.reason = S_ISDIR(st.st_mode) ? "a folder, not a file" : "not a regular file";
    return check;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    check.outcome = InputCheck::Outcome::not_found;
    return check;
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  if (::fstat(fd, &st) != 0) {
    check.outcome = InputCheck::Outcome::not_found;
    return check;
  }
  check.file_bytes = static_cast<std::uint64_t>(st.st_size);

  char magic[4] = {};
  if (st.st_size >= 4 && ::pread(fd, magic, 4, 0) == 4 &&
      has_classic_magic(std::string_view(magic, 4))) {
    ClassicCheck classic = check_classic_file(fd, check.file_bytes);
    if (!classic.layout) {
      check.outcome = InputCheck::Outcome::refused;
      check.reason = std::move(classic.problem);
      return check;
    }
    check.data_ends = std::move(classic.layout->data_ends);
    return check;
  }

  // Too short for any format's signature (the HDF5 one has 8 bytes): there
  // is nothing for the library to parse, and it declines such a file itself
  // without a probe process.
  if (st.st_size < kShortestSignature) return check;

  const FileKey key = key_of(st);
  auto& verdicts = probed();
  if (const auto known = verdicts.find(key); known != verdicts.end()) return known->second;
  InputCheck verdict = probe(path);
  verdict.file_bytes = check.file_bytes;
  if (verdicts.size() >= kMaxRememberedVerdicts) verdicts.clear();
  verdicts.emplace(key, verdict);
  return verdict;
}

void forget_input_verdicts() { probed().clear(); }

namespace {
// The reason of the last refusal, for the text of kRefusedInput.
std::string g_last_refusal;
}  // namespace

void report_refused_input(std::string_view path, std::string_view reason) {
  g_last_refusal = reason;
  report_failure_place(path, {}, refusal_text());
}

std::string refusal_text() { return "refused: " + g_last_refusal; }

}  // namespace rn
