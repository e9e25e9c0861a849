#include "test_support.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace rn::test {
namespace fs = std::filesystem;

fs::path vectors_dir() { return RN_VECTORS_DIR; }
fs::path bin_dir() { return RN_BIN_DIR; }
fs::path source_dir() { return RN_SOURCE_DIR; }

ScratchDir::ScratchDir() {
  std::string tmpl = (fs::temp_directory_path() / "rn-test-XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  // Restore write permission so that read-only test folders can be removed.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void write_file(const fs::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

RunResult run(const std::string& program, const std::vector<std::string>& args, const fs::path& cwd) {
  static std::atomic<int> counter{0};
  const fs::path exe = program.find('/') == std::string::npos ? bin_dir() / program : fs::path(program);
  const std::string tag = std::to_string(getpid()) + "-" + std::to_string(counter++);
  const fs::path out_path = fs::temp_directory_path() / ("rn-run-out-" + tag);
  const fs::path err_path = fs::temp_directory_path() / ("rn-run-err-" + tag);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());

  std::vector<std::string> argv_store;
  argv_store.push_back(exe.string());
  argv_store.insert(argv_store.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_store) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  const int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + exe.string() + ": " + std::strerror(rc));
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);

  RunResult result;
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  result.out = read_file(out_path);
  result.err = read_file(err_path);
  fs::remove(out_path);
  fs::remove(err_path);
  return result;
}

namespace {
std::string shell_quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') q += "'\\''";
    else q += c;
  }
  return q + "'";
}

std::string capture(const std::string& command) {
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) throw std::runtime_error("cannot run " + command);
  std::string text;
  char buf[4096];
  size_t n = 0;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  const int rc = pclose(p);
  if (rc != 0) throw std::runtime_error("command failed: " + command + "\n" + text);
  return text;
}
}  // namespace

void write_cdl(const fs::path& path, const std::string& cdl, const std::string& format) {
  const fs::path cdl_path = path.string() + ".cdl";
  write_file(cdl_path, cdl);
  capture("ncgen -k " + shell_quote(format) + " -o " + shell_quote(path.string()) + " " +
          shell_quote(cdl_path.string()) + " 2>&1");
  fs::remove(cdl_path);
}

std::string ncdump(const fs::path& path, const std::string& flags) {
  return capture("ncdump " + flags + " " + shell_quote(path.string()) + " 2>&1");
}

std::vector<std::vector<std::string>> read_tsv(const fs::path& path) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(read_file(path));
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    size_t start = 0;
    while (true) {
      size_t tab = line.find('\t', start);
      cells.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    rows.push_back(std::move(cells));
  }
  return rows;
}

std::string unescape(const std::string& cell, bool pipes) {
  std::string s;
  for (size_t i = 0; i < cell.size(); ++i) {
    if (cell[i] == '\\' && i + 1 < cell.size()) {
      const char c = cell[++i];
      switch (c) {
        case '\\': s += '\\'; break;
        case 't': s += '\t'; break;
        case 'n': s += '\n'; break;
        case 'r': s += '\r'; break;
        case 'p':
          if (pipes) { s += '|'; break; }
          [[fallthrough]];
        default: s += '\\'; s += c;
      }
    } else {
      s += cell[i];
    }
  }
  return s;
}

float float_from_bits(const std::string& hex) {
  const auto bits = static_cast<std::uint32_t>(std::stoul(hex, nullptr, 16));
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

std::string bits_of(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  char buf[9];
  std::snprintf(buf, sizeof buf, "%08X", bits);
  return buf;
}

}  // namespace rn::test
