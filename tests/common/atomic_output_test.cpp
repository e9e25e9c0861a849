// Outputs that appear whole or not at all.
#include "atomic_output.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "nc_test_support.hpp"
#include "test_support.hpp"

namespace {

using rn::test::in_child;
using rn::test::entries;
using rn::test::outcome_of;
namespace fs = std::filesystem;

mode_t mode_of(const fs::path& p) {
  struct stat st {};
  ::stat(p.c_str(), &st);
  return st.st_mode & 07777;
}

mode_t current_umask() {
  const mode_t m = ::umask(0);
  ::umask(m);
  return m;
}

TEST(AtomicTextFile, CommitPutsCompleteFileInPlaceWithCreateMode) {
  rn::test::ScratchDir dir;
  const fs::path target = dir / "doc.kml";
  const auto o = outcome_of([&] {
    rn::AtomicTextFile file(target.string());
    file.text().line("<?xml version=\"1.0\"?>");
    file.text().record("k=", 5, " ,v=", 4.0f);
    // Nothing is visible under the target's name before the commit.
    EXPECT_FALSE(fs::exists(target));
    file.commit();
  });
  ASSERT_FALSE(o.ended) << o.stop;
  EXPECT_EQ(rn::test::read_file(target),
            "<?xml version=\"1.0\"?>\n k=           5  ,v=   4.00000000    \n");
  EXPECT_EQ(mode_of(target), 0666 & ~current_umask());
  EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"doc.kml"});
}

TEST(AtomicTextFile, ReplacingKeepsTheExistingModeAndAbandoningKeepsTheContent) {
  rn::test::ScratchDir dir;
  const fs::path target = dir / "doc.kml";
  rn::test::write_file(target, "old\n");
  fs::permissions(target, fs::perms(0640));

  // A run that ends before its commit: no trace, old content intact.
  const auto o = outcome_of([&] {
    rn::AtomicTextFile file(target.string());
    file.text().line("half");
    file.text().flush();
    rn::text_stop("In get1d_int() - failed to read netcdf variable name.");
  });
  EXPECT_TRUE(o.ended);
  EXPECT_EQ(rn::test::read_file(target), "old\n");
  EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"doc.kml"});

  {
    rn::AtomicTextFile file(target.string());
    file.text().line("new");
    file.commit();
  }
  EXPECT_EQ(rn::test::read_file(target), "new\n");
  EXPECT_EQ(mode_of(target), 0640u);
}

TEST(AtomicOutput, UnwritableOrMissingFolderIsReported) {
  rn::test::ScratchDir dir;
  const std::string missing = (dir / "nowhere" / "out.txt").string();
  auto o = outcome_of([&] { rn::AtomicTextFile file(missing); });
  EXPECT_EQ(o.status, rn::kFailure);
  EXPECT_EQ(o.stop, "Error: cannot create output file " + missing + ": No such file or directory");

  // A read-only folder; as root, checked from a child that gives up its rights.
  fs::permissions(dir.path(), fs::perms(0755));
  const fs::path locked = dir / "locked";
  fs::create_directory(locked);
  fs::permissions(locked, fs::perms(0555));
  const std::string target = (locked / "out.txt").string();
  const int status = in_child([&] {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 90;
    const auto r = outcome_of([&] { rn::AtomicTextFile file(target); });
    return r.stop == "Error: cannot create output file " + target + ": Permission denied" ? r.status
                                                                                          : 91;
  });
  EXPECT_EQ(status, rn::kFailure);
  EXPECT_TRUE(entries(locked).empty());
}

TEST(AtomicOutput, FullDiskIsReportedAtCommitAndLeavesNothing) {
  rn::test::ScratchDir dir;
  const std::string target = (dir / "big.txt").string();
  const int status = in_child([&] {
    // A file-size limit stands in for a full disk: writes beyond it fail.
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit {4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const auto r = outcome_of([&] {
      rn::AtomicTextFile file(target, 1024);
      for (int k = 0; k < 1000; ++k) file.text().record("line ", k);
      file.commit();
    });
    return r.stop == "Error: cannot write output file " + target + ": File too large" ? r.status
                                                                                       : 91;
  });
  EXPECT_EQ(status, rn::kFailure);
  EXPECT_TRUE(entries(dir.path()).empty());
}

// A run ended by a signal while its outputs are open leaves nothing in the
// folder: unnamed temporaries never show (SIGKILL included); named ones (the
// fallback, and netCDF-4 writers) show while the run lasts and are removed
// on SIGTERM.
TEST(AtomicOutput, TerminationBySignalLeavesNoTemporary) {
  const struct {
    rn::Temporary kind;
    int signal;
    std::size_t visible;  // entries in the folder while the run lasts
  } cases[] = {{rn::Temporary::unnamed_where_possible, SIGKILL, 0},
               {rn::Temporary::unnamed_where_possible, SIGTERM, 0},
               {rn::Temporary::named, SIGTERM, 2}};
  for (const auto& c : cases) {
    rn::test::ScratchDir dir;
    const std::string target = (dir / "out.nc").string();
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t pid = fork();
    if (pid == 0) {
      rn::AtomicOutput output(target, nullptr, c.kind);
      rn::AtomicOutput second(target + ".b", nullptr, c.kind);
      (void)!::write(output.fd(), "partial", 7);
      (void)!::write(ready[1], "x", 1);
      for (;;) ::pause();
    }
    char x = 0;
    ASSERT_EQ(::read(ready[0], &x, 1), 1);
    EXPECT_EQ(entries(dir.path()).size(), c.visible) << c.signal;
    ::kill(pid, c.signal);
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(WIFSIGNALED(wstatus) && WTERMSIG(wstatus) == c.signal);
    EXPECT_TRUE(entries(dir.path()).empty()) << c.signal;
  }
}

TEST(AtomicOutput, IgnoredInterruptStaysIgnored) {
  rn::test::ScratchDir dir;
  const std::string target = (dir / "out.txt").string();
  const int status = in_child([&] {
    std::signal(SIGINT, SIG_IGN);  // as for a background job
    rn::AtomicTextFile file(target);
    ::raise(SIGINT);
    file.text().line("done");
    file.commit();
    return 0;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(rn::test::read_file(target), "done\n");
}

}  // namespace

namespace {

// Writes "new\n" to `target` through an atomic text output.
void write_new(const fs::path& target) {
  const auto o = outcome_of([&] {
    rn::AtomicTextFile file(target.string());
    file.text().line("new");
    file.commit();
  });
  ASSERT_FALSE(o.ended) << o.stop;
}

TEST(AtomicOutput, SymbolicLinksAreFollowedAndKept) {
  rn::test::ScratchDir dir;
  fs::create_directory(dir / "data");
  rn::test::write_file(dir / "data" / "doc.kml", "old\n");
  fs::create_symlink("data/doc.kml", dir / "link.kml");
  write_new(dir / "link.kml");
  EXPECT_TRUE(fs::is_symlink(dir / "link.kml"));
  EXPECT_EQ(rn::test::read_file(dir / "data" / "doc.kml"), "new\n");
  EXPECT_EQ(entries(dir / "data"), std::vector<std::string>{"doc.kml"});

  // A link to a file that does not exist yet creates that file.
  fs::create_symlink("data/fresh.kml", dir / "dangling.kml");
  write_new(dir / "dangling.kml");
  EXPECT_TRUE(fs::is_symlink(dir / "dangling.kml"));
  EXPECT_EQ(rn::test::read_file(dir / "data" / "fresh.kml"), "new\n");
}

TEST(AtomicOutput, DevicesAreWrittenIntoNotReplaced) {
  write_new("/dev/null");
  EXPECT_TRUE(fs::is_character_file("/dev/null"));

  // A directory is refused by name.
  rn::test::ScratchDir dir;
  const auto o = outcome_of([&] { rn::AtomicTextFile file(dir.path().string()); });
  EXPECT_TRUE(o.ended);
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.stop.find("Is a directory"), std::string::npos) << o.stop;
}

}  // namespace
