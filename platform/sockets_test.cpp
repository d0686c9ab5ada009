#include "platform/sockets.h"

#include "testsupport/testSupport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>

namespace zv {
namespace {

const uint32_t loopback = htonl(INADDR_LOOPBACK);

uint32_t ip(const char* text) {
  uint32_t address = 0;
  EXPECT_TRUE(parseIpv4(text, address)) << text;
  return address;
}

template <class F>
long elapsedMs(F&& work) {
  auto start = std::chrono::steady_clock::now();
  work();
  return long(std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count());
}

std::size_t occurrences(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

uint16_t localPort(int fd) {
  sockaddr_in local{};
  socklen_t size = sizeof local;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size);
  return ntohs(local.sin_port);
}

int intOption(int fd, int level, int name) {
  int value = -1;
  socklen_t size = sizeof value;
  ::getsockopt(fd, level, name, &value, &size);
  return value;
}

// A TCP listener on 127.0.0.1 and an ephemeral port; the test side of a conversation.
struct listener {
  socketStream socket;
  // A negative backlog leaves the port bound but not listening.
  explicit listener(int backlog = 8, int receiveBuffer = 0) {
    socket.attach(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (receiveBuffer)
      ::setsockopt(socket.handle(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof(int));
    sockaddr_in any{AF_INET, 0, {loopback}, {}};
    ::bind(socket.handle(), reinterpret_cast<sockaddr*>(&any), sizeof any);
    if (backlog >= 0) ::listen(socket.handle(), backlog);
  }
  uint16_t port() const { return localPort(socket.handle()); }
  socketStream accept() {
    socketStream peer;
    peer.attach(::accept4(socket.handle(), nullptr, nullptr, SOCK_CLOEXEC));
    return peer;
  }
};

// --- TCP --------------------------------------------------------------------------

// Bytes go both ways whole, across more than the socket buffers hold at once.
TEST(SocketStreamTcp, RoundTripOverLoopback) {
  listener server;
  socketStream client;
  ASSERT_TRUE(client.tcpConnect(loopback, server.port()));
  EXPECT_EQ(::fcntl(client.handle(), F_GETFL) & O_NONBLOCK, 0);
  EXPECT_EQ(intOption(client.handle(), IPPROTO_TCP, TCP_NODELAY), 1);

  std::string block(4 << 20, '\0');
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = char(i * 7 + i / 251);
  std::thread echo([&] {
    socketStream peer = server.accept();
    std::string got(block.size(), '\0');
    if (peer.recvExact(got.data(), got.size())) peer.sendAll(got);
  });
  EXPECT_TRUE(client.sendAll(block));
  std::string back(block.size(), '\0');
  EXPECT_TRUE(client.recvExact(back.data(), back.size()));
  echo.join();
  EXPECT_TRUE(back == block);
}

// A peer that sends 5 of 8 bytes and closes: one receive more, the notice once per run.
TEST(SocketStreamTcp, RecvExactWhenPeerClosesEarly) {
  test::logCapture log;
  socketStream::resetRecvZeroNotice();
  listener server;
  for (int round = 0; round < 2; ++round) {
    socketStream client;
    ASSERT_TRUE(client.tcpConnect(loopback, server.port()));
    socketStream peer = server.accept();
    ASSERT_TRUE(peer.sendAll("12345", 5));
    peer.close();
    char buffer[8];
    EXPECT_FALSE(client.recvExact(buffer, sizeof buffer));
    EXPECT_FALSE(client.isOpen());
  }
  std::string text = log.text();
  EXPECT_EQ(occurrences(text, "] recv() return 0. Call once more.\r\n"), 1u) << text;
  EXPECT_EQ(
      occurrences(text,
                  "] Close TCP connection while receiving data (recv() return 0, errno 0).\r\n"),
      2u)
      << text;
}

// recvSome passes 0 through without closing; a reset closes with the error number.
TEST(SocketStreamTcp, ReceiveResultsAndReset) {
  test::logCapture log;
  listener server;
  socketStream client, other;
  ASSERT_TRUE(client.tcpConnect(loopback, server.port()));
  ASSERT_TRUE(other.tcpConnect(loopback, server.port()));
  socketStream peer = server.accept(), otherPeer = server.accept();
  char buffer[socketStream::recvSomeLimit + 100];
  std::string big(3000, 'x');
  ASSERT_TRUE(peer.sendAll(big));
  EXPECT_LE(client.recvSome(buffer), long(socketStream::recvSomeLimit));
  peer.close();
  while (client.recvSome(buffer) > 0) {
  }
  EXPECT_EQ(client.recvSome(buffer), 0);
  EXPECT_TRUE(client.isOpen());

  linger abort{1, 0};  // close with RST
  ::setsockopt(otherPeer.handle(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  otherPeer.close();
  EXPECT_EQ(other.recvSome(buffer), -1);
  EXPECT_FALSE(other.isOpen());
  EXPECT_TRUE(log.contains("] Close TCP connection while receiving data, errno 104.\r\n"))
      << log.text();
}

// Refused is not connected, even though poll() wakes for it.
TEST(SocketStreamTcp, ConnectRefused) {
  test::logCapture log;
  listener unused(-1);
  socketStream client;
  EXPECT_FALSE(client.tcpConnect(loopback, unused.port()));
  EXPECT_FALSE(client.isOpen());
  EXPECT_TRUE(log.contains("] Connection with 127.0.0.1:" + std::to_string(unused.port()) +
                           " failed, errno 111.\r\n"))
      << log.text();
}

// A full accept queue drops further SYNs: the connect gives up after about 300 ms.
TEST(SocketStreamTcp, ConnectTimesOut) {
  test::logCapture log;
  listener server(0);
  std::vector<socketStream> fillers;
  for (int i = 0; i < 8; ++i) {  // Linux queues backlog + 1; stop at the first that waits
    socketStream filler;
    filler.attach(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    sockaddr_in to{AF_INET, htons(server.port()), {loopback}, {}};
    ::connect(filler.handle(), reinterpret_cast<sockaddr*>(&to), sizeof to);
    pollfd entry{filler.handle(), POLLOUT, 0};
    bool waits = ::poll(&entry, 1, 200) == 0;
    fillers.push_back(std::move(filler));
    if (waits) break;
  }
  socketStream client;
  bool connected = true;
  long ms = elapsedMs([&] { connected = client.tcpConnect(loopback, server.port()); });
  EXPECT_FALSE(connected);
  EXPECT_GE(ms, 250);
  EXPECT_LT(ms, 2000);
  EXPECT_TRUE(log.contains("] Connection with 127.0.0.1:" + std::to_string(server.port()) +
                           " failed, errno 110.\r\n"))
      << log.text();
}

// A peer that never reads: sendAll gives up one second after the buffers filled.
TEST(SocketStreamTcp, StalledSendCloses) {
  test::logCapture log;
  listener server(8, 4096);
  socketStream client;
  ASSERT_TRUE(client.tcpConnect(loopback, server.port()));
  int small = 4096;
  ::setsockopt(client.handle(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  socketStream peer = server.accept();
  std::string block(8 << 20, 's');
  bool sent = true;
  long ms = elapsedMs([&] { sent = client.sendAll(block); });
  EXPECT_FALSE(sent);
  EXPECT_FALSE(client.isOpen());
  EXPECT_GE(ms, 950);
  EXPECT_LT(ms, 5000);
  EXPECT_TRUE(log.contains("] Close stalled TCP connection.\r\n")) << log.text();
}

// --- UDP and addresses -------------------------------------------------------------

// A datagram arrives with its sender; longer ones are cut to 2048 bytes.
TEST(SocketStreamUdp, ReceiveOverLoopback) {
  socketStream receiver, sender;
  ASSERT_TRUE(receiver.udpOpen() && receiver.udpBind(loopback, 0));
  ASSERT_TRUE(sender.udpOpen());
  uint16_t port = localPort(receiver.handle());
  // A host mask makes the "broadcast" address the loopback address itself.
  ASSERT_TRUE(sender.udpSendBroadcast(loopback, 0xFFFFFFFF, port, "hello", 5));
  ASSERT_TRUE(
      sender.udpSendBroadcast(loopback, 0xFFFFFFFF, port, std::string(3000, 'u').data(), 3000));
  char buffer[socketStream::udpReceiveLimit + 1000];
  uint32_t from = 0;
  EXPECT_EQ(receiver.udpReceive(buffer, from), 5);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  EXPECT_EQ(ipv4Text(from), "127.0.0.1");
  EXPECT_EQ(receiver.udpReceive(buffer, from), long(socketStream::udpReceiveLimit));
}

// Computed only: nothing is sent to these networks.
TEST(SocketStreamUdp, DirectedBroadcastAddress) {
  EXPECT_EQ(ipv4Text(directedBroadcast(ip("192.168.1.10"), ip("255.255.255.0"))), "192.168.1.255");
  EXPECT_EQ(ipv4Text(directedBroadcast(ip("10.1.2.3"), ip("255.0.0.0"))), "10.255.255.255");
  EXPECT_EQ(ipv4Text(directedBroadcast(ip("172.16.5.4"), ip("255.255.255.252"))), "172.16.5.7");
}

TEST(SocketStreamAddress, ParseAndText) {
  for (const char* good : {"0.0.0.0", "1.2.3.4", "255.255.255.255", "192.168.100.1"})
    EXPECT_EQ(ipv4Text(ip(good)), good);
  uint32_t address = 0;
  EXPECT_TRUE(parseIpv4("10.0.0.1", address));
  EXPECT_EQ(address, htonl(0x0A000001));
  for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1..2.3", "1.2.3.4 ", " 1.2.3.4",
                          "a.b.c.d", "1.2.3.-4", "0x1.2.3.4", "1.2.3.4.", "1234567890123456"})
    EXPECT_FALSE(parseIpv4(bad, address)) << bad;
  EXPECT_FALSE(parseIpv4(std::string_view("1.2.3.4\0junk", 12), address));
  EXPECT_FALSE(parseIpv4(std::string_view("0.0.0.0\0", 8), address));
}

// With nothing open, sends and receives fail without a line.
TEST(SocketStream, ClosedStreamFailsQuietly) {
  test::logCapture log;
  socketStream none;
  char buffer[2048];
  uint32_t from = 1;
  EXPECT_FALSE(none.sendAll("x"));
  EXPECT_FALSE(none.recvExact(buffer, 1));
  EXPECT_EQ(none.recvSome(buffer), -1);
  EXPECT_EQ(none.udpReceive(buffer, from), -1);
  EXPECT_FALSE(none.udpSendBroadcast(loopback, 0xFFFFFFFF, 9, "x", 1));
  EXPECT_TRUE(none.close());
  EXPECT_TRUE(log.text().empty()) << log.text();
}

struct namespaceReport {
  bool connected = true;
  long connectMs = 0;
  bool broadcastSent = false;
  long received = -1;
  uint32_t sender = 0;
  char bytes[16] = {};
};

// Runs in a forked child: 77 when no namespace can be made, 78 when the link setup failed.
int inOwnNamespace(namespaceReport& report) {
  if (::unshare(CLONE_NEWNET) != 0) return 77;
  if (std::system("ip link set lo up && ip link add v0 type veth peer name v1 && "
                  "ip addr add 10.99.0.1/24 dev v0 && ip link set v0 up && ip link set v1 up") != 0)
    return 78;
  // Nobody answers ARP for 10.99.0.2, so the SYN never leaves.
  socketStream client;
  report.connectMs = elapsedMs([&] { report.connected = client.tcpConnect(ip("10.99.0.2"), 779); });

  socketStream receiver, sender;
  if (!receiver.udpOpen() || !receiver.udpBind(INADDR_ANY, 0) || !sender.udpOpen()) return 79;
  report.broadcastSent = sender.udpSendBroadcast(ip("10.99.0.1"), ip("255.255.255.0"),
                                                 localPort(receiver.handle()), "zv-hello", 8);
  pollfd entry{receiver.handle(), POLLIN, 0};
  if (::poll(&entry, 1, 3000) == 1)
    report.received = receiver.udpReceive(report.bytes, report.sender);
  return 0;
}

TEST(RootSocketStream, ConnectTimeoutAndDirectedBroadcast) {
  if (std::system("command -v ip >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "the ip tool is not installed";
  test::logCapture log;
  int report[2];
  ASSERT_EQ(::pipe2(report, O_CLOEXEC), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    namespaceReport result;
    int code = inOwnNamespace(result);
    (void)!::write(report[1], &result, sizeof result);
    ::_exit(code);
  }
  ::close(report[1]);
  namespaceReport result;
  ssize_t got = ::read(report[0], &result, sizeof result);
  ::close(report[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77)
    GTEST_SKIP() << "cannot make a network namespace (needs root or CAP_SYS_ADMIN)";
  ASSERT_EQ(WEXITSTATUS(status), 0) << "78: veth setup failed, 79: UDP sockets failed";
  ASSERT_EQ(got, ssize_t(sizeof result));

  EXPECT_FALSE(result.connected);
  EXPECT_GE(result.connectMs, 250);
  EXPECT_LT(result.connectMs, 2000);
  EXPECT_TRUE(log.contains("] Connection with 10.99.0.2:779 failed, errno 110.\r\n")) << log.text();

  EXPECT_TRUE(result.broadcastSent);
  EXPECT_EQ(result.received, 8);
  EXPECT_EQ(std::string(result.bytes, 8), "zv-hello");
  EXPECT_EQ(ipv4Text(result.sender), "10.99.0.1");
}

}  // namespace
}  // namespace zv
