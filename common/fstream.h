#pragma once
// byteStream: one owned file descriptor or socket with whole writes, exact reads,
// bounded connect and send times, UDP broadcast and reception; and the whole-file
// writers built on it.
//
// A stream owns its handle: attaching a new handle closes the old one, destruction
// closes it. Streams move but never copy. A stream has no lock and is used by the one
// thread that made it. Failures are never thrown: operations return false or -1 and
// write a line to the diagnostic log. Reading, writing, sending and receiving with no
// handle open fail without a line.
//
// Addresses are IPv4 in network byte order (as in in_addr::s_addr), 0 meaning none.

#include "platform/files.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace zv {

class byteStream {
 public:
  enum class kind { file, socket };

  explicit byteStream(kind k = kind::file) : kind_(k) {}
  ~byteStream();
  byteStream(byteStream&& other) noexcept;
  byteStream& operator=(byteStream&& other) noexcept;
  byteStream(const byteStream&) = delete;
  byteStream& operator=(const byteStream&) = delete;

  kind streamKind() const { return kind_; }
  int handle() const { return fd_; }
  bool isOpen() const { return fd_ >= 0; }
  // Takes ownership of fd, closing the handle held before.
  void attach(int fd);
  // Gives up ownership without closing.
  int release();

  // --- file side ---------------------------------------------------------------
  // Read-only, byte mode. False and an internal-error report on failure.
  bool openRead(const std::string& path);
  // Write-only, created (0644) and truncated, or appended to. On failure false, with
  // an internal-error report unless quiet.
  bool openWrite(const std::string& path, bool append = false, bool quiet = false);
  // directory + "/" + name (no second '/' when the directory ends with one), cut to
  // 1024 bytes at a character boundary, opened as openWrite (truncating); a failed
  // open is retried every 30 ms, eleven attempts in all, then an internal-error report.
  bool openWriteRetry(const std::string& directory, const std::string& name);
  // Bytes read, 0 at end, -1 when nothing is open or the read failed.
  long read(void* buffer, std::size_t size);
  // Writes until all bytes are written; false as soon as one write writes nothing.
  bool writeAll(const void* bytes, std::size_t length);
  bool writeAll(std::string_view bytes) { return writeAll(bytes.data(), bytes.size()); }
  // Formats into a 10240-byte buffer and writes it whole. The formatted length, or -1
  // (an internal error) when the text is empty, does not fit or a write fails.
  long printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // True when nothing was open or the close succeeded.
  bool close();

  // --- socket side ---------------------------------------------------------------
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
  // One datagram of at most 2048 bytes; the count and the sender, or -1.
  long udpReceive(void* buffer, uint32_t& sender);
  static constexpr std::size_t udpReceiveLimit = 2048;

 private:
  kind kind_;
  int fd_ = -1;
};

// The directed broadcast address of a network: address OR NOT mask (network order).
constexpr uint32_t directedBroadcast(uint32_t address, uint32_t mask) {
  return address | ~mask;
}

// "a.b.c.d" of a network-order address.
std::string ipv4Text(uint32_t address);
// Parses a dotted-decimal address; false when the text is not one.
bool parseIpv4(std::string_view text, uint32_t& address);

// Whole-file writers: each replaces the file in one go (temporary file and rename).
// False (with an internal-error report) on failure.
bool writeBytesFile(const std::string& path, std::string_view bytes,
                    const writeOptions& options = {});
// At most 255 bytes of formatted text.
bool writeFormattedFile(const std::string& path, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
// FF FE, then the UTF-16LE code units.
bool writeUtf16File(const std::string& path, std::u16string_view text,
                    const writeOptions& options = {});

}  // namespace zv
