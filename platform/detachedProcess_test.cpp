#include "platform/detachedProcess.h"

#include "testsupport/testSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include <gtest/gtest.h>

namespace zv {
namespace {

void makeExecutable(const std::string& path, std::string_view script) {
  test::writeFile(path, script);
  ASSERT_EQ(::chmod(path.c_str(), 0755), 0);
}

// A name is searched in each directory of the list in turn, skipping files that are
// not executable; a name with a slash is taken as it is.
TEST(DetachedProcess, FindsProgramsLikeAShell) {
  test::tempDir dir;
  makeExecutable(dir / "b/chromium", "#!/bin/sh\n");
  test::writeFile(dir / "a/chromium", "not executable");
  makeExecutable(dir / "c/chromium", "#!/bin/sh\n");
  const std::string path = dir / "none" + ":" + dir / "a" + ":" + dir / "b" + ":" + dir / "c";
  EXPECT_EQ(findProgram("chromium", path), dir / "b/chromium");
  EXPECT_EQ(findProgram("chromium", dir / "a"), "");
  EXPECT_EQ(findProgram("chromium-browser", path), "");
  EXPECT_EQ(findProgram(dir / "c/chromium", ""), dir / "c/chromium");
  EXPECT_EQ(findProgram(dir / "a/chromium", path), "");
  EXPECT_EQ(findProgram("", path), "");
}

// The program runs with its arguments, on its own: nothing is left for the console
// to reap.
TEST(DetachedProcess, StartsAProgramThatLivesOnItsOwn) {
  test::tempDir dir;
  const std::string fifo = dir / "started";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  makeExecutable(dir / "tell", "#!/bin/sh\necho \"$1 $2\" > \"$3\"\necho noise\n");

  ASSERT_TRUE(spawnDetached({dir / "tell", "--app=x", "two words", fifo}));
  pollfd p{reader, POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 10000), 1);
  char buffer[64] = {};
  ssize_t n = ::read(reader, buffer, sizeof buffer - 1);
  ::close(reader);
  EXPECT_EQ(std::string(buffer, n > 0 ? std::size_t(n) : 0), "--app=x two words\n");
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
}

// A program that cannot be executed only ends its own process.
TEST(DetachedProcess, MissingProgramIsNotTheConsolesFailure) {
  test::tempDir dir;
  EXPECT_TRUE(spawnDetached({dir / "missing"}));
  EXPECT_FALSE(spawnDetached({}));
}

// Started for a desktop user, the program runs with that user's uid, group, groups,
// home and exactly the environment given.
TEST(DetachedProcess, RunsAsAnotherUserWithItsEnvironment) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root";
  std::optional<spawnIdentity> nobody = identityOfUser(65534);
  if (!nobody) GTEST_SKIP() << "no user 65534";
  EXPECT_EQ(nobody->gid, 65534u);
  test::tempDir dir;
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  const std::string fifo = dir / "started";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(fifo.c_str(), 0666), 0);
  int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  makeExecutable(
      dir / "tell",
      "#!/bin/sh\necho \"$(id -u) $(id -g) $(id -G) $(pwd) $DISPLAY $SECRET\" > \"$1\"\n");
  nobody->groups = {65534};
  nobody->directory = "/";
  std::vector<std::string> environment = {"PATH=/usr/bin:/bin", "DISPLAY=:7"};
  ::setenv("SECRET", "inherited", 1);
  ASSERT_TRUE(spawnDetached({dir / "tell", fifo}, &*nobody, &environment));
  ::unsetenv("SECRET");
  pollfd p{reader, POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 10000), 1);
  char buffer[128] = {};
  ssize_t n = ::read(reader, buffer, sizeof buffer - 1);
  ::close(reader);
  EXPECT_EQ(std::string(buffer, n > 0 ? std::size_t(n) : 0),
            "65534 65534 65534 / :7 \n");  // SECRET was not inherited
}

}  // namespace
}  // namespace zv
