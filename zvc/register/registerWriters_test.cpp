// Real zvctl processes writing the register at once: the register lock lets one of them
// check and write at a time.
#include "platform/registerLock.h"
#include "platform/registry.h"
#include "testsupport/testSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace zv {
namespace {

class RegisterWriters : public ::testing::Test {
 protected:
  void SetUp() override {
    test::writeFile(dir / "hklm.conf", "[Software\\Zelvar]\nPrograms = sz:" + dir / "prog" +
                                           "\nData = sz:" + dir / "data" + "\n");
    std::filesystem::create_directories(terminals);
    ASSERT_EQ(::mkfifo(gate.c_str(), 0600), 0);
    gateFd =
        ::open(gate.c_str(), O_RDWR | O_CLOEXEC);  // never blocks, keeps lines for late readers
    ASSERT_GE(gateFd, 0);
  }
  void TearDown() override { ::close(gateFd); }

  // Starts zvctl with these arguments; its standard output goes to a file of its own.
  // The process waits at the gate (a line from a FIFO) until open() lets all through at
  // once, so that they race in earnest.
  pid_t start(std::vector<std::string> args) {
    std::string out = dir / ("out." + std::to_string(outputs.size()));
    outputs.push_back(out);
    std::vector<std::string> variables;
    for (char** e = environ; *e; ++e)
      if (!std::string_view(*e).starts_with("ZELVAR_HKLM=")) variables.emplace_back(*e);
    variables.push_back("ZELVAR_HKLM=" + dir / "hklm.conf");
    std::vector<char*> envp;
    for (std::string& v : variables) envp.push_back(v.data());
    envp.push_back(nullptr);
    std::string program = "/bin/sh";
    args.insert(args.begin(), {program, "-c", "read line < \"$0\"; exec \"$@\"", gate, ZV_ZVCTL});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    EXPECT_EQ(::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
  }

  // Lets every process started so far through the gate at once.
  void open() {
    std::string lines(outputs.size() - released, '\n');
    released = outputs.size();
    EXPECT_EQ(::write(gateFd, lines.data(), lines.size()), ssize_t(lines.size()));
  }

  // Opens the gate, waits for every process; the number that exited 0.
  int successes(const std::vector<pid_t>& pids) {
    open();
    int ok = 0;
    for (pid_t pid : pids) {
      int status = 0;
      EXPECT_EQ(::waitpid(pid, &status, 0), pid);
      if (WIFEXITED(status) && WEXITSTATUS(status) == 0) ++ok;
    }
    return ok;
  }

  // The terminal directories whose file `name` holds `content`.
  std::vector<std::string> holding(const std::string& name, const std::string& content) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(terminals))
      if (test::readFile(entry.path().string() + "/" + name) == content)
        found.push_back(entry.path().filename().string());
    return found;
  }

  test::tempDir dir;
  std::string terminals = dir / "data/Terminals/";
  std::string gate = dir / "gate";
  int gateFd = -1;
  std::vector<std::string> outputs;
  std::size_t released = 0;
};

// Forty adds of one MAC register it once, with one writer's fields only; forty adds of
// one address, and of one host, under different MACs register one terminal each.
TEST_F(RegisterWriters, ConcurrentAddsRegisterOnce) {
  std::vector<pid_t> sameMac, sameIp, sameHost;
  for (int i = 0; i < 40; ++i) {
    std::string n = std::to_string(i);
    sameMac.push_back(start({"terminal", "add", "00:1A:2B:3C:4D:20", "--ip", "10.0.1." + n,
                             "--host", "mac-" + n, "--comment", "c" + n}));
  }
  EXPECT_EQ(successes(sameMac), 1);
  std::string record = terminals + "00.1A.2B.3C.4D.20/";
  std::string ip = test::readFile(record + "ip");
  ASSERT_TRUE(ip.starts_with("10.0.1.")) << ip;
  std::string n = ip.substr(7);
  EXPECT_EQ(test::readFile(record + "host"), "mac-" + n);
  EXPECT_EQ(test::readFile(record + "comment"),
            "\xFF\xFE" + test::utf16le(u"c" + std::u16string(n.begin(), n.end())));

  for (int i = 0; i < 40; ++i) {
    char mac[18], other[18];
    std::snprintf(mac, sizeof mac, "00:1A:2B:3C:5E:%02X", i);
    std::snprintf(other, sizeof other, "00:1A:2B:3C:6E:%02X", i);
    sameIp.push_back(start({"terminal", "add", mac, "--ip", "10.0.2.1"}));
    sameHost.push_back(start({"terminal", "add", other, "--host", "till"}));
  }
  EXPECT_EQ(successes(sameIp), 1);
  EXPECT_EQ(successes(sameHost), 1);
  EXPECT_EQ(holding("ip", "10.0.2.1").size(), 1u);
  EXPECT_EQ(holding("host", "till").size(), 1u);
}

// hide racing remove never leaves a directory that holds only "hidden".
TEST_F(RegisterWriters, HideRacingRemove) {
  for (int round = 0; round < 15; ++round) {
    std::string record = terminals + "00.1A.2B.3C.4D.30/";
    test::writeFile(record + "ip", "10.0.3.1");
    test::writeFile(record + "host", "racer");
    std::vector<pid_t> pids = {start({"terminal", "hide", "00:1A:2B:3C:4D:30"}),
                               start({"terminal", "remove", "00:1A:2B:3C:4D:30"})};
    successes(pids);
    if (!std::filesystem::exists(record)) continue;
    EXPECT_TRUE(test::exists(record + "ip")) << "round " << round;
    std::filesystem::remove_all(record);
  }
}

// A writer that finds the register held waits, then says so and changes nothing.
TEST_F(RegisterWriters, HeldLockRefusesAfterWaiting) {
  registerLock held;
  ASSERT_TRUE(held.take(dir / "data/"));
  auto begin = std::chrono::steady_clock::now();
  EXPECT_EQ(successes({start({"terminal", "add", "00:1A:2B:3C:4D:40"})}), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - begin, registerLockPatience);
  EXPECT_NE(test::readFile(outputs.back()).find("is being changed by another program"),
            std::string::npos)
      << test::readFile(outputs.back());
  EXPECT_FALSE(test::exists(terminals + "00.1A.2B.3C.4D.40"));
  held.release();
  EXPECT_EQ(successes({start({"terminal", "add", "00:1A:2B:3C:4D:40"})}), 1);
}

}  // namespace
}  // namespace zv
