// Every program answers --help and --version alone on its command line, and
// its manual page says what its help says.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>
#include <string>

#include "nc_test_support.hpp"
#include "test_support.hpp"
#include "tour_support.hpp"

namespace {
namespace fs = std::filesystem;
using rn::test::programs;
using rn::test::read_file;
using rn::test::run;
using rn::test::ScratchDir;

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }

// The text as it stands in roff, where a hyphen is written "\-".
std::string roff(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '-') out += '\\';
    out += c;
  }
  return out;
}

TEST(Help, UsageEveryArgumentAndExitStatusesOnStandardOutput) {
  ScratchDir dir;
  for (const auto& p : programs()) {
    SCOPED_TRACE(p.name);
    const rn::test::RunResult r = run(p.name, {"--help"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    ASSERT_FALSE(r.out.empty());
    EXPECT_EQ(r.out.back(), '\n');
    const std::string usage = first_line(r.out);
    EXPECT_EQ(lower(usage).rfind("usage: " + p.name, 0), 0u) << usage;
    // The usage line names the positional arguments in their order.
    std::size_t at = usage.find(p.name) + p.name.size();
    for (const std::string& a : p.arguments) {
      EXPECT_NE(r.out.find(a), std::string::npos) << "--help does not mention " << a;
      if (!p.positional) continue;
      const std::size_t next = usage.find(a, at);
      EXPECT_NE(next, std::string::npos) << a << " is not in order in: " << usage;
      if (next != std::string::npos) at = next + a.size();
    }
    EXPECT_NE(r.out.find("\nExit status:\n  0 "), std::string::npos) << r.out;
  }
  EXPECT_TRUE(fs::is_empty(dir.path())) << "--help wrote a file";
}

TEST(Help, VersionIsTheProgramNameAndTheToolkitVersion) {
  ScratchDir dir;
  std::vector<std::string> installed = {"samplebasin"};  // installed beside the ten
  for (const auto& p : programs()) installed.push_back(p.name);
  for (const std::string& name : installed) {
    const rn::test::RunResult r = run(name, {"--version"}, dir.path());
    EXPECT_EQ(r.status, 0) << name;
    EXPECT_EQ(r.out, name + " " + RN_VERSION + "\n");
  }
  const rn::test::RunResult help = run("samplebasin", {"--help"}, dir.path());
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: samplebasin ", 0), 0u) << help.out;
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(Help, IsAnOrdinaryArgumentBesideOthers) {
  ScratchDir dir;
  // flowglobe_drv1 takes exactly four arguments: two are a wrong count.
  rn::test::RunResult r = run("flowglobe_drv1", {"--help", "x"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, " Usage: inFile outputFile order interval(jump points)\n");
  // reachfeed takes it as its input file and looks for its mapping.
  r = run("reachfeed", {"--version", "out.nc"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(" inFIle =--version\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "STOP Error: no mapping.nc file found. \n");
}

TEST(ManPages, EveryProgramHasOneMadeFromItsHelp) {
  ScratchDir dir;
  for (const auto& p : programs()) {
    SCOPED_TRACE(p.name);
    const fs::path page = fs::path(RN_MAN_DIR) / (p.name + ".1");
    ASSERT_TRUE(fs::exists(page));
    const std::string text = read_file(page);
    std::string title = p.name;
    std::transform(title.begin(), title.end(), title.begin(), ::toupper);
    EXPECT_EQ(text.rfind(".TH " + title + " 1 \"\" \"rivernest " RN_VERSION "\"", 0), 0u);
    const std::string name_line = "\n.SH NAME\n" + p.name + " \\- ";
    const std::size_t name_at = text.find(name_line);
    ASSERT_NE(name_at, std::string::npos);
    EXPECT_NE(text[name_at + name_line.size()], '\n') << "no summary";
    const std::size_t name_end = text.find('\n', name_at + name_line.size());
    EXPECT_LE(name_end - name_at - 10, 72u) << "a NAME line longer than one short line";
    EXPECT_NE(text.find("\n.SH EXAMPLES\n"), std::string::npos);
    EXPECT_NE(text.find("\n.SH SYNOPSIS\n.B " + p.name + "\n"), std::string::npos);
    EXPECT_NE(text.find("\n.SH EXIT STATUS\n"), std::string::npos);
    EXPECT_NE(text.find("\n.SH SEE ALSO\n"), std::string::npos);
    for (const std::string& a : p.arguments) {
      EXPECT_NE(text.find(roff(a)), std::string::npos) << "the page does not mention " << a;
    }
    // Every line of the help is in the page, escaped and without the two
    // blanks that indent a table.
    std::istringstream help(run(p.name, {"--help"}, dir.path()).out);
    std::string line;
    std::getline(help, line);  // the usage line becomes the synopsis
    while (std::getline(help, line)) {
      if (line.empty() || line.back() == ':') continue;
      const std::string shown = roff(line.rfind("  ", 0) == 0 ? line.substr(2) : line);
      EXPECT_NE(text.find('\n' + shown + '\n'), std::string::npos) << line;
    }
  }
}

// Every command of the help's examples runs on the sample basin (in a copy
// of its folder, where linkweaver has run).
TEST(ManPages, ExamplesRunOnTheSampleBasin) {
  ScratchDir dir;
  fs::copy(rn::test::sample_basin(), dir.path(), fs::copy_options::recursive);
  int commands = 0;
  for (const auto& p : programs()) {
    std::istringstream help(run(p.name, {"--help"}, dir.path()).out);
    bool examples = false;
    for (std::string line; std::getline(help, line);) {
      if (line.empty() || line.back() == ':') {
        examples = line == "Examples:" || (examples && !line.empty());
        continue;
      }
      if (!examples || line.rfind("  ", 0) != 0) continue;
      const std::string command = line.substr(2, line.find("   #") - 2);
      const rn::test::RunResult r = rn::test::run_with_programs({"/bin/sh", "-c", command}, dir.path());
      EXPECT_EQ(r.status, 0) << command << "\n" << r.out << r.err;
      ++commands;
    }
  }
  EXPECT_GE(commands, 10);
}

TEST(ManPages, NoPageForAProgramWithoutAUsageLine) {
  ScratchDir dir;
  const fs::path program = dir / "tool";
  rn::test::write_file(program, "#!/bin/sh\necho 'tool: does things'\n");
  fs::permissions(program, fs::perms::owner_all);
  const rn::test::RunResult r = run(
      "/bin/sh", {(rn::test::source_dir() / "docs/man/make_man_page.sh").string(), program.string(),
                  "tool.1"},
      dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("gave no usage line"), std::string::npos) << r.err;
  EXPECT_EQ(rn::test::entries(dir.path()), std::vector<std::string>{"tool"})
      << "a page or its temporary was left";
}

}  // namespace
