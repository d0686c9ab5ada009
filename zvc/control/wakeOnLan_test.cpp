#include "zvc/control/wakeOnLan.h"

#include "platform/ipv4.h"
#include "platform/sockets.h"
#include "testsupport/testSupport.h"
#include "zvc/register/terminals.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace zv {
namespace {

uint32_t address(const char* text) {
  return parseIpv4Text(text).value_or(0);
}

const macAddress sample{{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}};

// Six 0xFF bytes, then the MAC sixteen times, 102 bytes in all.
TEST(WakeOnLan, MagicPacketBytes) {
  wolPacket packet = magicPacket(sample);
  ASSERT_EQ(packet.size(), 102u);
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(packet[i], 0xFF) << i;
  for (std::size_t i = 6; i < packet.size(); ++i)
    EXPECT_EQ(packet[i], sample.bytes[(i - 6) % 6]) << i;
  EXPECT_EQ(wakePort(0), 7);
  EXPECT_EQ(wakePort(9), 9);
}

// Each interface that is up gets its directed broadcast; down ones and networks too
// small for a broadcast address get nothing. Nothing is sent.
TEST(WakeOnLan, DirectedBroadcastTargets) {
  auto entry = [](const char* name, const char* ip, const char* mask, bool up) {
    netInterface i;
    i.name = name;
    i.ip = address(ip);
    i.mask = address(mask);
    i.up = up;
    return i;
  };
  interfaceList list{entry("eth0", "192.168.1.5", "255.255.255.0", true),
                     entry("eth1", "10.20.30.40", "255.255.0.0", true),
                     entry("eth2", "172.16.0.1", "255.255.255.0", false),
                     entry("eth3", "172.17.0.1", "255.255.255.255", true),
                     entry("eth4", "172.18.0.1", "255.255.255.254", true)};
  std::vector<wolTarget> targets = wolTargets(list);
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_EQ(targets[0].device, "eth0");
  EXPECT_EQ(targets[0].source, address("192.168.1.5"));
  EXPECT_EQ(targets[0].broadcast, address("192.168.1.255"));
  EXPECT_EQ(targets[1].broadcast, address("10.20.255.255"));
}

struct wakeReport {
  int sent = -1;
  int received = 0;
  bool bytesRight = true;
  long lengths[4] = {};
};

// In a forked child: 77 when no namespace can be made, 78 when the links failed.
int wakeInOwnNamespace(wakeReport& report) {
  if (::unshare(CLONE_NEWNET) != 0) return 77;
  if (std::system("ip link set lo up && ip link add v0 type veth peer name v1 && "
                  "ip addr add 10.99.0.1/24 dev v0 && ip link set v0 up && ip link set v1 up") != 0)
    return 78;
  if (::setenv("ZELVAR_INTERFACES", "lo,v0", 1) != 0) return 79;
  socketStream receiver;
  if (!receiver.udpOpen() || !receiver.udpBind(INADDR_ANY, 0)) return 79;
  sockaddr_in local{};
  socklen_t size = sizeof local;
  if (::getsockname(receiver.handle(), reinterpret_cast<sockaddr*>(&local), &size) != 0) return 79;

  configLibraries libraries;
  terminal t(sample, libraries);
  t.wolPort = ntohs(local.sin_port);
  report.sent = wakeTerminal(t, scanInterfaces());
  wolPacket expected = magicPacket(sample);
  while (report.received < 4) {
    pollfd entry{receiver.handle(), POLLIN, 0};
    if (::poll(&entry, 1, 1000) != 1) break;
    char buffer[socketStream::udpReceiveLimit];
    uint32_t from = 0;
    long n = receiver.udpReceive(buffer, from);
    report.lengths[report.received++] = n;
    if (n != long(expected.size()) || std::memcmp(buffer, expected.data(), expected.size()) != 0)
      report.bytesRight = false;
  }
  return 0;
}

// A terminal's packet goes out on each confined interface, to the terminal's port, and
// arrives with the right bytes; the log names each interface.
TEST(RootWakeOnLan, SentOnEveryInterface) {
  if (std::system("command -v ip >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "the ip tool is not installed";
  test::logCapture log;
  int pipeEnds[2];
  ASSERT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    wakeReport result;
    int code = wakeInOwnNamespace(result);
    (void)!::write(pipeEnds[1], &result, sizeof result);
    ::_exit(code);
  }
  ::close(pipeEnds[1]);
  wakeReport result;
  ssize_t got = ::read(pipeEnds[0], &result, sizeof result);
  ::close(pipeEnds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77)
    GTEST_SKIP() << "cannot make a network namespace (needs root or CAP_SYS_ADMIN)";
  ASSERT_EQ(WEXITSTATUS(status), 0) << "78: veth setup failed, 79: sockets failed";
  ASSERT_EQ(got, ssize_t(sizeof result));
  EXPECT_EQ(result.sent, 2);
  EXPECT_EQ(result.received, 2);
  EXPECT_TRUE(result.bytesRight) << result.lengths[0] << " " << result.lengths[1];
  EXPECT_TRUE(
      log.contains("Wake-on-LAN packet for 00:1A:2B:3C:4D:5E sent on lo (127.0.0.1 to "
                   "127.255.255.255 port "))
      << log.text();
  EXPECT_TRUE(log.contains("sent on v0 (10.99.0.1 to 10.99.0.255 port ")) << log.text();
}

}  // namespace
}  // namespace zv
