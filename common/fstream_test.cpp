#include "common/fstream.h"

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
  byteStream socket{byteStream::kind::socket};
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
  byteStream accept() {
    byteStream peer(byteStream::kind::socket);
    peer.attach(::accept4(socket.handle(), nullptr, nullptr, SOCK_CLOEXEC));
    return peer;
  }
};

// --- TCP --------------------------------------------------------------------------

// Bytes go both ways whole, across more than the socket buffers hold at once.
TEST(ByteStreamTcp, RoundTripOverLoopback) {
  listener server;
  byteStream client(byteStream::kind::socket);
  ASSERT_TRUE(client.tcpConnect(loopback, server.port()));
  EXPECT_EQ(::fcntl(client.handle(), F_GETFL) & O_NONBLOCK, 0);
  EXPECT_EQ(intOption(client.handle(), IPPROTO_TCP, TCP_NODELAY), 1);

  std::string block(4 << 20, '\0');
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = char(i * 7 + i / 251);
  std::thread echo([&] {
    byteStream peer = server.accept();
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
TEST(ByteStreamTcp, RecvExactWhenPeerClosesEarly) {
  test::logCapture log;
  byteStream::resetRecvZeroNotice();
  listener server;
  for (int round = 0; round < 2; ++round) {
    byteStream client(byteStream::kind::socket);
    ASSERT_TRUE(client.tcpConnect(loopback, server.port()));
    byteStream peer = server.accept();
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
TEST(ByteStreamTcp, ReceiveResultsAndReset) {
  test::logCapture log;
  listener server;
  byteStream client(byteStream::kind::socket), other(byteStream::kind::socket);
  ASSERT_TRUE(client.tcpConnect(loopback, server.port()));
  ASSERT_TRUE(other.tcpConnect(loopback, server.port()));
  byteStream peer = server.accept(), otherPeer = server.accept();
  char buffer[byteStream::recvSomeLimit + 100];
  std::string big(3000, 'x');
  ASSERT_TRUE(peer.sendAll(big));
  EXPECT_LE(client.recvSome(buffer), long(byteStream::recvSomeLimit));
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
TEST(ByteStreamTcp, ConnectRefused) {
  test::logCapture log;
  listener unused(-1);
  byteStream client(byteStream::kind::socket);
  EXPECT_FALSE(client.tcpConnect(loopback, unused.port()));
  EXPECT_FALSE(client.isOpen());
  EXPECT_TRUE(log.contains("] Connection with 127.0.0.1:" + std::to_string(unused.port()) +
                           " failed, errno 111.\r\n"))
      << log.text();
}

// A full accept queue drops further SYNs: the connect gives up after about 300 ms.
TEST(ByteStreamTcp, ConnectTimesOut) {
  test::logCapture log;
  listener server(0);
  std::vector<byteStream> fillers;
  for (int i = 0; i < 8; ++i) {  // Linux queues backlog + 1; stop at the first that waits
    byteStream filler(byteStream::kind::socket);
    filler.attach(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    sockaddr_in to{AF_INET, htons(server.port()), {loopback}, {}};
    ::connect(filler.handle(), reinterpret_cast<sockaddr*>(&to), sizeof to);
    pollfd entry{filler.handle(), POLLOUT, 0};
    bool waits = ::poll(&entry, 1, 200) == 0;
    fillers.push_back(std::move(filler));
    if (waits) break;
  }
  byteStream client(byteStream::kind::socket);
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
TEST(ByteStreamTcp, StalledSendCloses) {
  test::logCapture log;
  listener server(8, 4096);
  byteStream client(byteStream::kind::socket);
  ASSERT_TRUE(client.tcpConnect(loopback, server.port()));
  int small = 4096;
  ::setsockopt(client.handle(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  byteStream peer = server.accept();
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
TEST(ByteStreamUdp, ReceiveOverLoopback) {
  byteStream receiver(byteStream::kind::socket), sender(byteStream::kind::socket);
  ASSERT_TRUE(receiver.udpOpen() && receiver.udpBind(loopback, 0));
  ASSERT_TRUE(sender.udpOpen());
  uint16_t port = localPort(receiver.handle());
  // A host mask makes the "broadcast" address the loopback address itself.
  ASSERT_TRUE(sender.udpSendBroadcast(loopback, 0xFFFFFFFF, port, "hello", 5));
  ASSERT_TRUE(
      sender.udpSendBroadcast(loopback, 0xFFFFFFFF, port, std::string(3000, 'u').data(), 3000));
  char buffer[byteStream::udpReceiveLimit + 1000];
  uint32_t from = 0;
  EXPECT_EQ(receiver.udpReceive(buffer, from), 5);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  EXPECT_EQ(ipv4Text(from), "127.0.0.1");
  EXPECT_EQ(receiver.udpReceive(buffer, from), long(byteStream::udpReceiveLimit));
}

// Computed only: nothing is sent to these networks.
TEST(ByteStreamUdp, DirectedBroadcastAddress) {
  EXPECT_EQ(ipv4Text(directedBroadcast(ip("192.168.1.10"), ip("255.255.255.0"))), "192.168.1.255");
  EXPECT_EQ(ipv4Text(directedBroadcast(ip("10.1.2.3"), ip("255.0.0.0"))), "10.255.255.255");
  EXPECT_EQ(ipv4Text(directedBroadcast(ip("172.16.5.4"), ip("255.255.255.252"))), "172.16.5.7");
}

TEST(ByteStreamAddress, ParseAndText) {
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

// --- files ---------------------------------------------------------------------------

TEST(ByteStreamFile, WriteReadAppend) {
  test::tempDir dir;
  byteStream out;
  ASSERT_TRUE(out.openWrite(dir / "f"));
  EXPECT_TRUE(out.writeAll("abc\0def", 7));
  EXPECT_EQ(out.printf("%d-%s", 42, "x"), 4);
  ASSERT_TRUE(out.close());
  ASSERT_TRUE(out.openWrite(dir / "f", true));
  EXPECT_TRUE(out.writeAll("+"));
  ASSERT_TRUE(out.openRead(dir / "f"));  // replaces (and closes) the writer
  char buffer[64];
  EXPECT_EQ(out.read(buffer, sizeof buffer), 12);
  EXPECT_EQ(std::string(buffer, 12), std::string("abc\0def42-x+", 12));
  EXPECT_EQ(out.read(buffer, sizeof buffer), 0);
  ASSERT_TRUE(out.openWrite(dir / "f"));
  out.close();
  EXPECT_EQ(test::readFile(dir / "f"), "");
}

// printf writes whole texts only: too long or empty is an internal error, nothing written.
TEST(ByteStreamFile, PrintfLimits) {
  test::tempDir dir;
  test::logCapture log;
  byteStream out;
  ASSERT_TRUE(out.openWrite(dir / "f"));
  std::string fits(10239, 'a');
  EXPECT_EQ(out.printf("%s", fits.c_str()), 10239);
  EXPECT_TRUE(log.text().empty());
  EXPECT_EQ(out.printf("%s", (fits + "b").c_str()), -1);
  EXPECT_TRUE(log.contains("common/fstream.cpp")) << log.text();
  EXPECT_TRUE(log.contains("-- ERROR -- INTERNAL ERROR (")) << log.text();
  log.clear();
  EXPECT_EQ(out.printf("%s", ""), -1);
  EXPECT_TRUE(log.contains("INTERNAL ERROR"));
  out.close();
  EXPECT_EQ(test::readFile(dir / "f"), fits);
}

// With nothing open, reads and writes fail without a line.
TEST(ByteStreamFile, ClosedStreamFailsQuietly) {
  test::logCapture log;
  byteStream none;
  char buffer[2048];
  uint32_t from = 1;
  EXPECT_EQ(none.read(buffer, 1), -1);
  EXPECT_FALSE(none.writeAll("x"));
  EXPECT_EQ(none.printf("x"), -1);
  EXPECT_FALSE(none.sendAll("x"));
  EXPECT_FALSE(none.recvExact(buffer, 1));
  EXPECT_EQ(none.recvSome(buffer), -1);
  EXPECT_EQ(none.udpReceive(buffer, from), -1);
  EXPECT_FALSE(none.udpSendBroadcast(loopback, 0xFFFFFFFF, 9, "x", 1));
  EXPECT_TRUE(none.close());
  EXPECT_FALSE(none.openWrite("/nonexistent-dir/f", false, true));
  EXPECT_TRUE(log.text().empty()) << log.text();
  EXPECT_FALSE(none.openRead("/nonexistent-dir/f"));
  EXPECT_TRUE(log.contains("INTERNAL ERROR (2)"));
}

// Eleven attempts 30 ms apart, then an internal error; a directory made meanwhile is used.
TEST(ByteStreamFile, OpenWriteRetry) {
  test::tempDir dir;
  test::logCapture log;
  byteStream out;
  bool opened = true;
  long ms = elapsedMs([&] { opened = out.openWriteRetry(dir / "missing", "f"); });
  EXPECT_FALSE(opened);
  EXPECT_GE(ms, 250);
  EXPECT_LT(ms, 2000);
  EXPECT_EQ(occurrences(log.text(), "INTERNAL ERROR (2)"), 1u) << log.text();

  std::thread maker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    ::mkdir((dir / "late").c_str(), 0755);
  });
  EXPECT_TRUE(out.openWriteRetry(dir / "late", "f"));
  maker.join();
  EXPECT_TRUE(test::exists(dir / "late/f"));

  std::string deep = dir.path();  // "././…" keeps the components short while the path grows
  while (deep.size() + 2 < 1020) deep += "./";
  EXPECT_TRUE(out.openWriteRetry(deep, std::string(1024 - deep.size(), 'n') + "cut-off"));
  EXPECT_TRUE(test::exists(dir / std::string(1024 - deep.size(), 'n')));
}

// A move hands the handle over; the moved-from stream does not close it.
TEST(ByteStreamFile, MoveKeepsTheHandleOpen) {
  test::tempDir dir;
  std::optional<byteStream> first(std::in_place);
  ASSERT_TRUE(first->openWrite(dir / "a"));
  int fd = first->handle();
  byteStream second(std::move(*first));
  first.reset();
  EXPECT_EQ(second.handle(), fd);
  EXPECT_TRUE(second.writeAll("a"));
  byteStream third;
  ASSERT_TRUE(third.openWrite(dir / "b"));
  int old = third.handle();
  third = std::move(second);  // closes "b"'s handle
  EXPECT_EQ(third.handle(), fd);
  EXPECT_TRUE(third.writeAll("b"));
  EXPECT_EQ(::fcntl(old, F_GETFD), -1);
  third.close();
  EXPECT_EQ(test::readFile(dir / "a"), "ab");
}

TEST(ByteStreamFile, WholeFileWriters) {
  test::tempDir dir;
  test::logCapture log;
  EXPECT_TRUE(writeBytesFile(dir / "b", std::string("x\0y", 3)));
  EXPECT_EQ(test::readFile(dir / "b"), std::string("x\0y", 3));
  EXPECT_TRUE(writeFormattedFile(dir / "f", "%s=%d\r\n", "k", 5));
  EXPECT_EQ(test::readFile(dir / "f"), "k=5\r\n");
  EXPECT_TRUE(writeFormattedFile(dir / "f", "%s", std::string(255, 'm').c_str()));
  EXPECT_TRUE(writeUtf16File(dir / "u", u"A\u00e9\U0001F600"));
  EXPECT_EQ(test::readFile(dir / "u"), test::hexBytes("FF FE 41 00 E9 00 3D D8 00 DE"));
  EXPECT_TRUE(log.text().empty());
  // A text that would be cut is refused and the old file stays.
  EXPECT_FALSE(writeFormattedFile(dir / "f", "%s", std::string(256, 'm').c_str()));
  EXPECT_EQ(test::readFile(dir / "f"), std::string(255, 'm'));
  EXPECT_TRUE(log.contains("INTERNAL ERROR (90)")) << log.text();
  EXPECT_FALSE(writeBytesFile(dir / "no/such/dir", "x"));
  EXPECT_TRUE(log.contains("INTERNAL ERROR (2)")) << log.text();
}

// --- in a network namespace of the test's own ----------------------------------------

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
  byteStream client(byteStream::kind::socket);
  report.connectMs = elapsedMs([&] { report.connected = client.tcpConnect(ip("10.99.0.2"), 779); });

  byteStream receiver(byteStream::kind::socket), sender(byteStream::kind::socket);
  if (!receiver.udpOpen() || !receiver.udpBind(INADDR_ANY, 0) || !sender.udpOpen()) return 79;
  report.broadcastSent = sender.udpSendBroadcast(ip("10.99.0.1"), ip("255.255.255.0"),
                                                 localPort(receiver.handle()), "zv-hello", 8);
  pollfd entry{receiver.handle(), POLLIN, 0};
  if (::poll(&entry, 1, 3000) == 1)
    report.received = receiver.udpReceive(report.bytes, report.sender);
  return 0;
}

TEST(RootByteStream, ConnectTimeoutAndDirectedBroadcast) {
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
