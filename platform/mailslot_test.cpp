#include "platform/mailslot.h"

#include "testsupport/testSupport.h"

#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>

extern char** environ;

namespace zv {
namespace {

using std::chrono::milliseconds;

// Every test gets a namespace of its own, so that parallel runs and a console running
// on this machine never meet.
class Mailslot : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    setMailslotNamespace("zelvar-test-" + std::to_string(::getpid()) + "-" +
                         std::to_string(++counter) + "/mailslot/");
  }
  void TearDown() override { setMailslotNamespace(""); }
  test::logCapture log;
};

// Sends raw bytes to a mailslot as any process could, without the writer's checks.
bool sendRaw(std::string_view name, const std::string& bytes) {
  std::string path = mailslotAddress(name);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path + 1, path.data(), path.size());
  int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
  ssize_t sent = ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&address),
                          socklen_t(offsetof(sockaddr_un, sun_path) + 1 + path.size()));
  ::close(fd);
  return sent == ssize_t(bytes.size());
}

// One process owns a name at a time; closing frees it at once.
TEST_F(Mailslot, OneOwnerAndTheNameFreesOnClose) {
  EXPECT_FALSE(mailslotExists("ZVCInstance"));
  auto first = mailslot::create("ZVCInstance");
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(mailslotExists("ZVCInstance"));
  EXPECT_EQ(mailslot::create("ZVCInstance"), nullptr);
  EXPECT_TRUE(log.text().empty()) << "a taken name is an answer, not a fault";
  first->close();
  first->close();
  EXPECT_FALSE(first->isOpen());
  EXPECT_FALSE(mailslotExists("ZVCInstance"));
  EXPECT_NE(mailslot::create("ZVCInstance"), nullptr);
}

// Messages arrive whole and in order up to the limit; a read waits at most its time.
TEST_F(Mailslot, MessagesUpToTheLimit) {
  auto slot = mailslot::create("ZVC_17");
  ASSERT_NE(slot, nullptr);
  std::string longest(mailslotMessageLimit, 'x');
  EXPECT_TRUE(writeMailslot("ZVC_17", "kill"));
  EXPECT_TRUE(writeMailslot("ZVC_17", ""));
  EXPECT_TRUE(writeMailslot("ZVC_17", longest));
  std::string got;
  ASSERT_EQ(slot->read(got, milliseconds(1000)), mailslot::readResult::message);
  EXPECT_EQ(got, "kill");
  ASSERT_EQ(slot->read(got, milliseconds(1000)), mailslot::readResult::message);
  EXPECT_EQ(got, "");
  ASSERT_EQ(slot->read(got, milliseconds(1000)), mailslot::readResult::message);
  EXPECT_EQ(got, longest);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(slot->read(got, milliseconds(150)), mailslot::readResult::timedOut);
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(140));
  slot->close();
  EXPECT_EQ(slot->read(got, milliseconds(0)), mailslot::readResult::failed);
}

// Longer messages are refused by the writer and dropped by the reader, with a line in
// the diagnostic log each; what follows still arrives.
TEST_F(Mailslot, OversizedMessagesAreDropped) {
  auto slot = mailslot::create("ZVCInstance");
  ASSERT_NE(slot, nullptr);
  std::string tooLong(mailslotMessageLimit + 1, '7');
  EXPECT_FALSE(writeMailslot("ZVCInstance", tooLong));
  EXPECT_TRUE(log.contains("129 bytes is over the limit of 128"));
  log.clear();
  ASSERT_TRUE(sendRaw("ZVCInstance", std::string(4000, '1')));
  ASSERT_TRUE(sendRaw("ZVCInstance", "42"));
  std::string got;
  ASSERT_EQ(slot->read(got, milliseconds(1000)), mailslot::readResult::message);
  EXPECT_EQ(got, "42");
  EXPECT_TRUE(log.contains("mailslot ZVCInstance: a message of 4000 bytes is over the limit"));
}

// Writing to a name nobody owns, or to a name that is not one, fails with a log line
// and never blocks.
TEST_F(Mailslot, WritesThatCannotArrive) {
  EXPECT_FALSE(writeMailslot("ZVC_5", "kill"));
  EXPECT_TRUE(log.contains("mailslot ZVC_5: send"));
  for (std::string_view bad : {std::string_view(""), std::string_view("a/b"),
                               std::string_view("../pipe"), std::string_view("a\0b", 3)}) {
    EXPECT_FALSE(validMailslotName(bad));
    EXPECT_FALSE(writeMailslot(bad, "1"));
    EXPECT_EQ(mailslot::create(bad), nullptr);
  }
  EXPECT_FALSE(validMailslotName(std::string(65, 'a')));
  EXPECT_TRUE(validMailslotName("ZVC_2047"));

  // A full queue makes the write fail at once instead of waiting for the reader.
  auto slot = mailslot::create("busy");
  ASSERT_NE(slot, nullptr);
  int written = 0;
  while (written < 10000 && writeMailslot("busy", "1")) ++written;
  EXPECT_LT(written, 10000);
}

// The namespace keeps tests apart: the same name in another namespace is another slot.
TEST_F(Mailslot, NamespacesAreSeparate) {
  auto here = mailslot::create("ZVCInstance");
  ASSERT_NE(here, nullptr);
  EXPECT_EQ(mailslotAddress("ZVCInstance").rfind("zelvar-test-", 0), 0u);
  setMailslotNamespace("zelvar-test-other-" + std::to_string(::getpid()) + "/");
  EXPECT_FALSE(mailslotExists("ZVCInstance"));
  auto there = mailslot::create("ZVCInstance");
  EXPECT_NE(there, nullptr);
}

// A program started while the console owns a mailslot does not inherit it: when the
// console closes it, the name is free although the program still runs.
TEST_F(Mailslot, ProgramsStartedLaterDoNotKeepTheName) {
  auto slot = mailslot::create("ZVCInstance");
  ASSERT_NE(slot, nullptr);
  pid_t child = 0;
  char sleepPath[] = "/bin/sleep";
  char seconds[] = "10";
  char* argv[] = {sleepPath, seconds, nullptr};
  ASSERT_EQ(::posix_spawn(&child, sleepPath, nullptr, nullptr, argv, environ), 0);
  slot->close();
  EXPECT_FALSE(mailslotExists("ZVCInstance"));
  EXPECT_NE(mailslot::create("ZVCInstance"), nullptr);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
}

}  // namespace
}  // namespace zv
