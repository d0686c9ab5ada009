#pragma once
// socketStream: one owned TCP or UDP socket with whole sends, exact receives, bounded
// connect and send times, keep-alive, UDP broadcast and reception.
//
// A stream owns its socket: attaching a new one closes the old one, destruction closes
// it. Streams move but never copy. A stream has no lock and is used by the one thread
// that made it. Failures are never thrown: operations return false or -1 and write a
// line to the diagnostic log. Sending and receiving with no socket open fail without a
// line.
//
// Addresses are IPv4 in network byte order (as in in_addr::s_addr), 0 meaning none.

#include <cstdint>
#include <string>
#include <string_view>

namespace zv {

class socketStream {
 public:
  socketStream() = default;
  ~socketStream();
  socketStream(socketStream&& other) noexcept;
  socketStream& operator=(socketStream&& other) noexcept;
  socketStream(const socketStream&) = delete;
  socketStream& operator=(const socketStream&) = delete;

  int handle() const { return fd_; }
  bool isOpen() const { return fd_ >= 0; }
  // Takes ownership of fd, closing the socket held before.
  void attach(int fd);
  // Gives up ownership without closing.
  int release();
  // True when nothing was open or the close succeeded.
  bool close();

  // Connects within 300 ms; logs "Connection with %s:%d failed, errno %d." on failure
  // (ETIMEDOUT when the time ran out). Connected sockets block and have TCP_NODELAY.
  bool tcpConnect(uint32_t address, uint16_t port);
  // Sends every byte, waiting at most 1 s whenever the socket stalls. On failure the
  // stream is closed.
  bool sendAll(const void* bytes, std::size_t length);
  bool sendAll(std::string_view bytes) { return sendAll(bytes.data(), bytes.size()); }
  // Receives exactly size bytes. On failure the stream is closed.
  bool recvExact(void* buffer, std::size_t size);
  // recvExact notes the first receive of 0 bytes in a run; tests let it note again.
  static void resetRecvZeroNotice();
  // One receive of at most 1024 bytes: the count (0 when the peer closed), or -1 after
  // an error (the stream is then closed).
  long recvSome(void* buffer);
  static constexpr std::size_t recvSomeLimit = 1024;
  bool setReceiveTimeout();  // 3000 ms
  bool setSendTimeout();     // 3000 ms
  bool setKeepAlive();       // first probe after 5000 ms of silence, then every 500 ms
  bool udpOpen();
  // Sends to the directed broadcast address (address | ~mask) and port.
  bool udpSendBroadcast(uint32_t address, uint32_t mask, uint16_t port, const void* bytes,
                        std::size_t length);
  bool udpBind(uint32_t address, uint16_t port);
  // Ties the socket to one interface (SO_BINDTODEVICE): what it sends leaves by that
  // interface only, whatever the routing table says.
  bool bindToDevice(std::string_view device);
  // One datagram of at most 2048 bytes; the count and the sender, or -1.
  long udpReceive(void* buffer, uint32_t& sender);
  static constexpr std::size_t udpReceiveLimit = 2048;

 private:
  int fd_ = -1;
};

// The directed broadcast address of a network: address OR NOT mask (network order).
constexpr uint32_t directedBroadcast(uint32_t address, uint32_t mask) {
  return address | ~mask;
}

// The MTU of a network interface of this process's network namespace (SIOCGIFMTU), or
// 0 when it cannot be learnt.
uint32_t interfaceMtu(std::string_view device);

// "a.b.c.d" of a network-order address.
std::string ipv4Text(uint32_t address);
// Parses a dotted-decimal address; false when the text is not one.
bool parseIpv4(std::string_view text, uint32_t& address);

}  // namespace zv
