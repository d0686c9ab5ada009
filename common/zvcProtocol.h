#pragma once
// The wire formats the console shares with the terminals: the signed hello (a UDP
// announcement, or the first frame of the TCP 779 log stream), the frames of that log
// stream, and the remote-shell command request and reply of TCP 514.
//
// Everything here parses or builds bytes; nothing opens a socket. All input is
// hostile: the readers never look past the buffer they are given, and every length
// is checked against its limit before it is used. Integers on the wire are
// little-endian; IPv4 addresses are kept in network byte order, as received.
//
// Thread safety: pure functions, no state kept between calls; any thread. The public
// key is loaded once by its user (helloPublicKey) and passed in.

#include "common/mac.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zv {

class registryStore;

// A bounded reader over a received buffer: a position and the bytes that remain. A
// read that wants more than remains fails, writes "Not enough data in stream in %s
// line %d." with the caller's file and line, and leaves the position where it was.
class streamInOps {
 public:
  explicit streamInOps(std::span<const uint8_t> buffer) : buffer_(buffer) {}

  std::size_t position() const { return position_; }
  std::size_t remaining() const { return buffer_.size() - position_; }
  // The bytes before the current position.
  std::span<const uint8_t> consumed() const { return buffer_.first(position_); }

  bool readByte(uint8_t& value, const char* file = __builtin_FILE(), int line = __builtin_LINE());
  bool readUint32(uint32_t& value, const char* file = __builtin_FILE(),
                  int line = __builtin_LINE());
  bool readMac(macAddress& mac, const char* file = __builtin_FILE(), int line = __builtin_LINE());
  bool readSignature(std::span<const uint8_t>& signature, const char* file = __builtin_FILE(),
                     int line = __builtin_LINE());
  // n bytes, borrowed from the buffer.
  bool readBytes(std::size_t n, std::span<const uint8_t>& bytes,
                 const char* file = __builtin_FILE(), int line = __builtin_LINE());

 private:
  bool take(std::size_t n, std::span<const uint8_t>& bytes, const char* file, int line);

  std::span<const uint8_t> buffer_;
  std::size_t position_ = 0;
};

// ---- Hello ----

enum class helloVariant { udp, tcp };

constexpr uint8_t helloAnnouncementType = 2;  // first byte of a UDP announcement
constexpr uint8_t discoveryQueryByte = 1;     // the one-byte UDP query
constexpr uint32_t maxUdpVersionLength = 32;
constexpr uint32_t maxTcpVersionLength = 16;
constexpr uint32_t maxHostLength = 32;
constexpr uint32_t minHelloFrameLength = 1;
constexpr uint32_t maxHelloFrameLength = 127;
constexpr std::size_t helloSignatureSize = 64;
constexpr std::size_t maxLastLogin = 63;

enum helloTag : uint8_t {
  tagDhcpServer = 1,
  tagAddress = 6,
  tagPlatform = 5,
  tagSignature = 7,
  tagLastLogin = 8,
};

struct zv5Hello {
  std::string version;  // "major.minor.patch", empty when the hello names none
  std::string host;     // up to 31 bytes, as sent
  macAddress mac;
  uint32_t dhcpServer = 0;   // network byte order, 0 when absent
  uint32_t address = 0;      // network byte order, 0 when absent (UDP only)
  uint32_t platform = 0;     // the code of tag 5 (platformName gives its text)
  bool isSigned = false;     // a signature was present and verified
  std::u16string lastLogin;  // up to 63 characters (UDP only)
  bool operator==(const zv5Hello&) const = default;
};

using helloKey = std::array<uint8_t, 32>;

// The product's public key, built into the program.
extern const helloKey builtInHelloKey;

// The key that verifies hellos: HKLM "Software\Zelvar" value "HelloPublicKey" (64
// hexadecimal digits, either case) when it is set and well formed, otherwise the
// built-in key. A malformed value is logged and ignored.
helloKey helloPublicKey(registryStore& store);
std::optional<helloKey> parseHelloKey(std::string_view hex);

// Why a signature was refused; `valid` when it verified.
enum class signatureCheck {
  valid,
  zeroKey,        // the public key is all zero
  keyOffCurve,    // the public key does not decode to a curve point
  nonCanonicalS,  // S is not below the group order
  smallOrderR,    // R encodes a point of small order
  mismatch,       // the equation does not hold
};
std::string_view signatureCheckText(signatureCheck check);

signatureCheck checkHelloSignature(std::span<const uint8_t> signature,
                                   std::span<const uint8_t> message, const helloKey& key);
// True when `signature` (64 bytes) is a valid Ed25519 signature of `message` by `key`.
bool verifyHelloSignature(std::span<const uint8_t> signature, std::span<const uint8_t> message,
                          const helloKey& key);

// Decodes a hello. UDP: the whole datagram, type byte 2 first. TCP: the frame's body,
// after its length prefix (helloFrameLength). Nullopt when it is refused; `reason`,
// when given, says why in a few words.
std::optional<zv5Hello> readZV5Hello(std::span<const uint8_t> buffer, helloVariant variant,
                                     const helloKey& key, std::string* reason = nullptr);

// The body length of a TCP hello frame from its 4-byte prefix; nullopt outside 1 to
// 127, so that the body is refused before it is read.
std::optional<uint32_t> helloFrameLength(std::span<const uint8_t, 4> prefix);

// ---- TCP 779 log stream ----

constexpr uint8_t logTextMessage = 1;
constexpr uint32_t maxLogMessageLength = 0x31FFFFF;
constexpr std::size_t logMessageHeaderSize = 5;

struct logStreamMessage {
  uint8_t type = 0;
  std::span<const uint8_t> payload;  // borrowed from the buffer
  std::size_t size = 0;              // header and payload: what to drop from the buffer
};

enum class logFrameStatus { complete, incomplete, tooLong };

// Looks at the start of a buffer of received stream bytes. `complete` fills `message`
// (of any type: the caller handles types it does not know); `incomplete` asks for
// more bytes; `tooLong` means a length past 52428799 and the stream cannot go on.
logFrameStatus parseLogMessage(std::span<const uint8_t> buffer, logStreamMessage& message);

// ---- TCP 514 commands ----

enum class terminalCommand { restart, shutdown, update, askVideomodes };

std::string_view terminalCommandText(terminalCommand command);
// "0\0zvc\0zvc\0<command>\0": no error channel, local and remote user "zvc".
std::string buildCommandRequest(terminalCommand command);

// The most that is read of a reply, in one receive.
constexpr std::size_t maxCommandReply = 1024;

struct commandReply {
  uint8_t status = 0;
  std::string text;  // from the second byte on, up to its first zero byte
};

// Nullopt for an empty reply (nothing received). Only the first 1024 bytes count.
std::optional<commandReply> parseCommandReply(std::span<const uint8_t> received);

}  // namespace zv
