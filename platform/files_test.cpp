#include "platform/files.h"

#include "testsupport/testSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <functional>
#include <thread>

namespace zv {
namespace {

using test::logCapture;
using test::tempDir;
using test::writeFile;

struct specialFile {
  const char* what;
  const char* logged;  // the reason in the refusal line
  std::function<void(const std::string& path)> make;
};

// Things found in place of a data file. Each must be refused quickly with one line.
const specialFile specialFiles[] = {
    {"FIFO", "it is a FIFO", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); }},
    {"link to /dev/zero", "it is a link",
     [](const std::string& p) { ASSERT_EQ(::symlink("/dev/zero", p.c_str()), 0); }},
    {"directory", "it is a directory",
     [](const std::string& p) { ASSERT_TRUE(makeDirectories(p)); }},
    {"300 MB sparse file", "it is larger than",
     [](const std::string& p) {
       int fd = ::open(p.c_str(), O_WRONLY | O_CREAT, 0644);
       ASSERT_GE(fd, 0);
       ASSERT_EQ(::ftruncate(fd, off_t(300) << 20), 0);
       ::close(fd);
     }},
};

// Every reader of the seam refuses every special file without hanging, and says why.
TEST(FileSeam, SpecialFilesAreRefusedByEveryReader) {
  using reader = std::function<fileContents(const std::string& dir, const std::string& name)>;
  const std::pair<const char*, reader> readers[] = {
      {"readFileLimited", [](auto& d, auto& n) { return readFileLimited(d + n, 1 << 20); }},
      {"readFileIn", [](auto& d, auto& n) { return readFileIn(d, n, 1 << 20); }},
  };
  for (const specialFile& special : specialFiles) {
    for (const auto& [readerName, read] : readers) {
      SCOPED_TRACE(std::string(special.what) + " / " + readerName);
      tempDir dir;
      logCapture log;
      special.make(dir / "config.zvc");
      fileContents got = read(dir.path(), "config.zvc");
      EXPECT_EQ(got.status, readStatus::refused);
      EXPECT_TRUE(got.bytes.empty());
      EXPECT_TRUE(log.contains("File " + (dir / "config.zvc") + " is not read: " + special.logged))
          << log.text();
    }
  }
}

// Regular files read whole up to the limit; a head read cuts and says more follows; a
// missing file is quiet; a linked directory is not entered.
TEST(FileSeam, RegularFilesLimitsAndLinkedDirectories) {
  tempDir dir;
  logCapture log;
  writeFile(dir / "a", "12345");
  EXPECT_EQ(readFileLimited(dir / "a", 5).bytes, "12345");
  EXPECT_EQ(readFileLimited(dir / "a", 4).status, readStatus::refused);
  fileContents head = readFileHeadIn(dir.path(), "a", 3);
  EXPECT_TRUE(head.ok());
  EXPECT_EQ(head.bytes, "123");
  EXPECT_TRUE(head.more);
  log.clear();
  EXPECT_EQ(readFileIn(dir.path(), "missing", 10).status, readStatus::missing);
  EXPECT_EQ(log.text(), "");

  tempDir outside;
  writeFile(outside / "config.zvc", "secret");
  ASSERT_EQ(::symlink(outside.path().c_str(), (dir / "linked").c_str()), 0);
  EXPECT_EQ(readFileIn(dir / "linked/", "config.zvc", 100).status, readStatus::refused);
  EXPECT_EQ(readFileLimited(dir / "link", 100).status, readStatus::missing);
  ASSERT_EQ(::symlink((outside / "config.zvc").c_str(), (dir / "link").c_str()), 0);
  EXPECT_EQ(readFileLimited(dir / "link", 100).status, readStatus::refused);
  EXPECT_EQ(readFileLimited(dir / "link", 100, linkRule::follow).bytes, "secret");

  // The listing types links as links and the tree removal removes only the link.
  auto entries = listDirectory(dir.path());
  ASSERT_TRUE(entries);
  for (const directoryEntry& e : *entries)
    if (e.name == "linked") {
      EXPECT_EQ(e.type, entryType::link);
    }
  EXPECT_FALSE(listDirectory(dir / "linked", linkRule::refuse));
  EXPECT_TRUE(removeTree(dir / "linked/"));
  EXPECT_FALSE(test::exists(dir / "linked"));
  EXPECT_EQ(test::readFile(outside / "config.zvc"), "secret");
}

// Whole-file writes keep the replaced file's owner, group and mode and the directory's
// times; a new file gets the given mode; a link in the file's place is replaced, not
// written through.
TEST(RootFileSeam, WritesKeepOwnerModeAndDirectoryTimes) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files to another owner";
  tempDir dir;
  const std::string path = dir / "boot_type";
  writeFile(path, "old");
  ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  const struct timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, dir.path().c_str(), past, 0), 0);

  for (bool durable : {true, false}) {
    writeOptions options;
    options.durable = durable;
    ASSERT_TRUE(writeFileAtomically(path, durable ? "durable" : "quick", options));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 65534u);
    EXPECT_EQ(info.st_gid, 65534u);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    struct stat d {};
    ASSERT_EQ(::stat(dir.path().c_str(), &d), 0);
    EXPECT_EQ(d.st_mtim.tv_sec, 1000000000);
  }
  EXPECT_EQ(test::readFile(path), "quick");

  // A sighting moves the directory's time; a new file follows the given mode.
  ASSERT_TRUE(writeFileAtomically(dir / "online", "1", sightingWrite));
  struct stat d {};
  ASSERT_EQ(::stat(dir.path().c_str(), &d), 0);
  EXPECT_GT(d.st_mtim.tv_sec, 1000000000);
  writeOptions secret;
  secret.newMode = 0600;
  ASSERT_TRUE(writeFileAtomically(dir / "key", "k", secret));
  struct stat k {};
  ASSERT_EQ(::stat((dir / "key").c_str(), &k), 0);
  EXPECT_EQ(k.st_mode & 0077, 0u);

  tempDir outside;
  writeFile(outside / "hidden", "theirs");
  ASSERT_EQ(::symlink((outside / "hidden").c_str(), (dir / "hidden").c_str()), 0);
  ASSERT_TRUE(writeFileAtomically(dir / "hidden", "1"));
  EXPECT_EQ(test::readFile(outside / "hidden"), "theirs");
  EXPECT_FALSE(isLink(dir / "hidden"));
}

// Temporaries of a writer that no longer runs are removed; a live writer's and other
// files stay. Settings directories are private whatever the umask.
TEST(FileSeam, LeftoverTemporariesAndPrivateDirectories) {
  tempDir dir;
  pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ASSERT_GT(gone, 0);
  ::waitpid(gone, nullptr, 0);
  const std::string dead = "config.zvc.zvtmp." + std::to_string(gone) + ".3";
  const std::string live = "config.zvc.zvtmp.1.3";  // init runs as long as the machine
  writeFile(dir / dead, "half");
  writeFile(dir / live, "half");
  writeFile(dir / "config.zvc.zvtmp.x", "not one");
  EXPECT_TRUE(isTemporaryName(dead));
  EXPECT_FALSE(isTemporaryName("config.zvc"));
  EXPECT_EQ(removeLeftoverTemporaries(dir.path()), 1);
  EXPECT_FALSE(test::exists(dir / dead));
  EXPECT_TRUE(test::exists(dir / live));
  EXPECT_TRUE(test::exists(dir / "config.zvc.zvtmp.x"));

  mode_t old = ::umask(0);
  bool made = makeDirectories(dir / "home/.config/zelvar", 0700);
  ::umask(old);
  ASSERT_TRUE(made);
  struct stat info {};
  ASSERT_EQ(::stat((dir / "home/.config/zelvar").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0700u);
}

}  // namespace
}  // namespace zv
