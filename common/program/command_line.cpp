#include "command_line.hpp"

#include "cf_metadata.hpp"
#include "program_end.hpp"
#include "text_record.hpp"

namespace rn {

namespace {
// FIXED OUTPUT: scripts match these records; do not change a byte.
constexpr char kInputRecord[] = "inFIle =";
constexpr char kOutputRecord[] = "outFile =";
constexpr char kArgumentCountRecord[] = "narg = ";
constexpr char kLongArgumentHead[] = "Error: argument ";
constexpr char kLongArgumentMid[] = " has ";
constexpr char kLongArgumentTail[] = " characters, more than the 256 that a program takes";
}  // namespace

void echo_file_names(std::string_view input, std::string_view output) {
  out().record(kInputRecord, input);
  out().record(kOutputRecord, output);
}

void echo_argument_count(int argc) {
  out().record(kArgumentCountRecord, static_cast<std::int32_t>(argc - 1));
}

std::string_view trim_right(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

std::string argument(int argc, char** argv, int k) {
  if (k < 1 || k >= argc || argv[k] == nullptr) return {};
  std::string_view a(argv[k]);
  return std::string(trim_right(a.substr(0, kArgumentWidth)));
}

std::string_view toolkit_version() { return "0.1.0"; }

bool answer_help_or_version(int argc, char** argv, std::string_view program, std::string_view help) {
  if (argc != 2) return false;
  const std::string_view a(argv[1]);
  if (a == "--help") {
    out().write(help);
    if (!help.empty() && help.back() != '\n') out().write("\n");
    return true;
  }
  if (a == "--version") {
    out().write(program);
    out().write(" ");
    out().write(toolkit_version());
    out().write("\n");
    return true;
  }
  return false;
}

void refuse_long_arguments(int argc, char** argv) {
  for (int k = 1; k < argc; ++k) {
    if (argv[k] == nullptr) continue;
    const std::size_t length = trim_right(argv[k]).size();
    if (length > kArgumentWidth) {
      fail(kLongArgumentHead + std::to_string(k) + kLongArgumentMid + std::to_string(length) +
           kLongArgumentTail);
    }
  }
}

int run_entry(std::string_view program, std::string_view help, int argc, char** argv,
              const std::function<void()>& body) {
  set_program_name(program);
  return run_program([&] {
    if (answer_help_or_version(argc, argv, program, help)) return;
    refuse_long_arguments(argc, argv);
    note_invocation(program, argc, argv);
    body();
  });
}

}  // namespace rn
