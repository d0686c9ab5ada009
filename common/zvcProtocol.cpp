#include "common/zvcProtocol.h"

#include "platform/diagnostics.h"
#include "platform/registry.h"
#include "platform/sockets.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>

namespace zv {

namespace {

std::string_view baseName(const char* path) {
  std::string_view name(path);
  std::size_t slash = name.rfind('/');
  return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

uint32_t littleEndian32(std::span<const uint8_t> bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
         uint32_t{bytes[3]} << 24;
}

// The order of the group, little-endian: S must be below it.
constexpr std::array<uint8_t, 32> groupOrder = {
    0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58, 0xd6, 0x9c, 0xf7, 0xa2, 0xde, 0xf9, 0xde, 0x14,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10};
constexpr std::array<uint8_t, 32> neutralPoint = {0x01};

bool belowGroupOrder(std::span<const uint8_t> s) {
  for (std::size_t i = groupOrder.size(); i-- > 0;) {
    if (s[i] != groupOrder[i]) return s[i] < groupOrder[i];
  }
  return false;
}

bool decodesToPoint(const uint8_t* point) {
  std::array<uint8_t, 32> sum{};
  return crypto_core_ed25519_add(sum.data(), point, neutralPoint.data()) == 0;
}

// A point whose eighth multiple is the neutral point (the eight points of the torsion
// group, in any of their encodings).
bool hasSmallOrder(const uint8_t* point) {
  std::array<uint8_t, 32> multiple{};
  std::memcpy(multiple.data(), point, multiple.size());
  for (int doubling = 0; doubling < 3; ++doubling) {
    std::array<uint8_t, 32> twice{};
    if (crypto_core_ed25519_add(twice.data(), multiple.data(), multiple.data()) != 0) return false;
    multiple = twice;
  }
  return multiple == neutralPoint;
}

// "d.d.d" or "d.d.dd", nothing else.
std::optional<std::string> parseHelloVersion(std::string_view text) {
  auto digit = [&](std::size_t i) { return i < text.size() && text[i] >= '0' && text[i] <= '9'; };
  if (text.size() < 5 || text.size() > 6 || !digit(0) || text[1] != '.' || !digit(2) ||
      text[3] != '.' || !digit(4) || (text.size() == 6 && !digit(5)))
    return std::nullopt;
  int patch = text[4] - '0';
  if (text.size() == 6) patch = patch * 10 + (text[5] - '0');
  return std::string(text.substr(0, 4)) + std::to_string(patch);
}

// A length-prefixed, zero-terminated text of at most `limit` bytes: the text up to
// its first zero byte.
bool readCountedText(streamInOps& in, uint32_t limit, std::string& text, const char* what,
                     std::string& why) {
  uint32_t length = 0;
  if (!in.readUint32(length)) {
    why = std::string("no ") + what + " length";
    return false;
  }
  if (length > limit) {
    why =
        std::string(what) + " length " + std::to_string(length) + " over " + std::to_string(limit);
    return false;
  }
  std::span<const uint8_t> bytes;
  if (!in.readBytes(length, bytes)) {
    why = std::string(what) + " past the end";
    return false;
  }
  if (length == 0) return true;
  if (bytes.back() != 0) {
    why = std::string(what) + " not zero-terminated";
    return false;
  }
  const auto end = std::find(bytes.begin(), bytes.end(), uint8_t{0});
  text.assign(bytes.begin(), end);
  return true;
}

// The last login of tag 8: received reversed and XORed with the MAC and the address.
std::u16string unscrambleLogin(std::span<const uint8_t> payload, const macAddress& mac,
                               const std::array<uint8_t, 4>& address) {
  const std::size_t units = payload.size() / 2;
  std::u16string name(units, u'\0');
  for (std::size_t i = 0; i < units; ++i) {
    const auto unit = static_cast<uint16_t>(payload[2 * i] | payload[2 * i + 1] << 8);
    const auto mask = static_cast<uint16_t>(mac.bytes[(i + 5) % 6] << 8 | address[(i + 3) % 4]);
    name[units - 1 - i] = static_cast<char16_t>(unit ^ mask);
  }
  // A wide C string for its readers: it ends at its first zero.
  name.resize(std::min(name.find(u'\0'), name.size()));
  return name;
}

struct helloParse {
  streamInOps& in;
  std::span<const uint8_t> signedPart;  // where the signed bytes start
  helloVariant variant;
  const helloKey& key;
  zv5Hello& hello;
  std::string& why;
  std::array<uint8_t, 4> addressBytes{};

  bool fail(std::string reason) {
    why = std::move(reason);
    return false;
  }
  bool tags();
  bool tag(uint8_t tag);
  bool signature();
};

bool helloParse::tags() {
  while (in.remaining() > 0) {
    uint8_t code = 0;
    in.readByte(code);
    if (variant == helloVariant::tcp && code != tagDhcpServer && code != tagPlatform &&
        code != tagSignature) {
      logMessage("Wrong logging mantra message %d, %d bytes left.", code,
                 static_cast<int>(in.remaining()));
      return fail("tag " + std::to_string(code) + " in a log-stream hello");
    }
    if (!tag(code)) return false;
  }
  return true;
}

bool helloParse::tag(uint8_t code) {
  const std::string name = "tag " + std::to_string(code);
  switch (code) {
    case tagDhcpServer:
    case tagAddress: {
      std::span<const uint8_t> bytes;
      if (!in.readBytes(4, bytes)) return fail(name + " past the end");
      uint32_t& field = code == tagDhcpServer ? hello.dhcpServer : hello.address;
      std::memcpy(&field, bytes.data(), 4);
      if (code == tagAddress) std::copy(bytes.begin(), bytes.end(), addressBytes.begin());
      return true;
    }
    case 2:
    case 3:
    case 4:
      return true;
    case tagPlatform: {
      uint8_t platform = 0;
      if (!in.readByte(platform)) return fail(name + " past the end");
      hello.platform = platform;
      return true;
    }
    case tagSignature:
      return signature();
    default: {
      uint8_t length = 0;
      std::span<const uint8_t> payload;
      if (!in.readByte(length) || !in.readBytes(length, payload))
        return fail(name + " past the end");
      if (code == tagLastLogin && length % 2 == 0 && length >= 2 && length <= 126)
        hello.lastLogin = unscrambleLogin(payload, hello.mac, addressBytes);
      return true;
    }
  }
}

bool helloParse::signature() {
  const std::size_t before = in.position() - 1;  // the tag byte is not signed
  if (variant == helloVariant::udp ? in.remaining() != helloSignatureSize
                                   : in.remaining() < helloSignatureSize)
    return fail("signature not the last 64 bytes");
  std::span<const uint8_t> bytes;
  in.readSignature(bytes);
  const signatureCheck check = checkHelloSignature(bytes, signedPart.first(before), key);
  if (check != signatureCheck::valid) {
    if (variant == helloVariant::udp)
      logMessage("Peer %s: signature check failed.", ipv4Text(hello.address).c_str());
    return fail("signature check failed: " + std::string(signatureCheckText(check)));
  }
  hello.isSigned = true;
  return true;
}

}  // namespace

// ---- streamInOps ----

bool streamInOps::take(std::size_t n, std::span<const uint8_t>& bytes, const char* file, int line) {
  if (n > remaining()) {
    logMessage("Not enough data in stream in %.*s line %d.",
               static_cast<int>(baseName(file).size()), baseName(file).data(), line);
    return false;
  }
  bytes = buffer_.subspan(position_, n);
  position_ += n;
  return true;
}

bool streamInOps::readByte(uint8_t& value, const char* file, int line) {
  std::span<const uint8_t> bytes;
  if (!take(1, bytes, file, line)) return false;
  value = bytes[0];
  return true;
}

bool streamInOps::readUint32(uint32_t& value, const char* file, int line) {
  std::span<const uint8_t> bytes;
  if (!take(4, bytes, file, line)) return false;
  value = littleEndian32(bytes);
  return true;
}

bool streamInOps::readMac(macAddress& mac, const char* file, int line) {
  std::span<const uint8_t> bytes;
  if (!take(mac.bytes.size(), bytes, file, line)) return false;
  std::copy(bytes.begin(), bytes.end(), mac.bytes.begin());
  return true;
}

bool streamInOps::readSignature(std::span<const uint8_t>& signature, const char* file, int line) {
  return take(helloSignatureSize, signature, file, line);
}

bool streamInOps::readBytes(std::size_t n, std::span<const uint8_t>& bytes, const char* file,
                            int line) {
  return take(n, bytes, file, line);
}

// ---- keys and signatures ----

const helloKey builtInHelloKey = {
    0x8b, 0x33, 0x2d, 0xaa, 0xc1, 0x2d, 0x87, 0xdf, 0x8a, 0x5e, 0xcd, 0xbb, 0x39, 0x12, 0x5f, 0x78,
    0xda, 0x72, 0x33, 0x22, 0xef, 0x55, 0xf6, 0xe0, 0x80, 0x6d, 0x97, 0xad, 0xb3, 0xb8, 0xde, 0x9a,
};

std::optional<helloKey> parseHelloKey(std::string_view hex) {
  helloKey key{};
  if (hex.size() != key.size() * 2) return std::nullopt;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (std::size_t i = 0; i < key.size(); ++i) {
    const int high = nibble(hex[2 * i]);
    const int low = nibble(hex[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    key[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return key;
}

helloKey helloPublicKey(registryStore& store) {
  std::string text;
  const regStatus status = store.queryString("Software\\Zelvar", "HelloPublicKey", text);
  if (status == regStatus::noKey || status == regStatus::noValue) return builtInHelloKey;
  if (status == regStatus::ok) {
    if (std::optional<helloKey> key = parseHelloKey(text)) return *key;
  }
  ZV_REPORT("HelloPublicKey is not 64 hexadecimal digits; the built-in key is used.");
  return builtInHelloKey;
}

std::string_view signatureCheckText(signatureCheck check) {
  switch (check) {
    case signatureCheck::valid:
      return "valid";
    case signatureCheck::zeroKey:
      return "public key is zero";
    case signatureCheck::keyOffCurve:
      return "public key is not a curve point";
    case signatureCheck::nonCanonicalS:
      return "S is not below the group order";
    case signatureCheck::smallOrderR:
      return "R has small order";
    case signatureCheck::mismatch:
      return "signature does not match";
  }
  return "unknown";
}

signatureCheck checkHelloSignature(std::span<const uint8_t> signature,
                                   std::span<const uint8_t> message, const helloKey& key) {
  if (sodium_init() < 0) return signatureCheck::mismatch;
  if (signature.size() != helloSignatureSize) return signatureCheck::mismatch;
  if (std::all_of(key.begin(), key.end(), [](uint8_t b) { return b == 0; }))
    return signatureCheck::zeroKey;
  if (!decodesToPoint(key.data())) return signatureCheck::keyOffCurve;
  if (!belowGroupOrder(signature.subspan(32))) return signatureCheck::nonCanonicalS;
  if (hasSmallOrder(signature.data())) return signatureCheck::smallOrderR;
  if (crypto_sign_verify_detached(signature.data(), message.data(), message.size(), key.data()) !=
      0)
    return signatureCheck::mismatch;
  return signatureCheck::valid;
}

bool verifyHelloSignature(std::span<const uint8_t> signature, std::span<const uint8_t> message,
                          const helloKey& key) {
  return checkHelloSignature(signature, message, key) == signatureCheck::valid;
}

// ---- hello ----

std::optional<zv5Hello> readZV5Hello(std::span<const uint8_t> buffer, helloVariant variant,
                                     const helloKey& key, std::string* reason) {
  std::string why;
  auto refuse = [&](std::string text) -> std::optional<zv5Hello> {
    if (reason) *reason = text.empty() ? why : std::move(text);
    return std::nullopt;
  };
  streamInOps in(buffer);
  if (variant == helloVariant::udp) {
    uint8_t type = 0;
    if (buffer.empty()) return refuse("empty datagram");
    in.readByte(type);
    if (type != helloAnnouncementType) return refuse("type " + std::to_string(type) + ", not 2");
  }
  zv5Hello hello;
  std::string version;
  const uint32_t versionLimit =
      variant == helloVariant::udp ? maxUdpVersionLength : maxTcpVersionLength;
  if (!readCountedText(in, versionLimit, version, "version", why)) return refuse({});
  if (!version.empty()) {
    std::optional<std::string> normal = parseHelloVersion(version);
    if (!normal) return refuse("version \"" + version + "\" is not d.d.d");
    hello.version = *normal;
  }
  if (!readCountedText(in, maxHostLength, hello.host, "host", why)) return refuse({});
  if (!in.readMac(hello.mac)) return refuse("MAC past the end");
  if (!hello.mac.isValid()) return refuse("invalid MAC " + hello.mac.logText());
  helloParse parse{in, buffer, variant, key, hello, why};
  if (!parse.tags()) return refuse({});
  return hello;
}

std::optional<uint32_t> helloFrameLength(std::span<const uint8_t, 4> prefix) {
  const uint32_t length = littleEndian32(prefix);
  if (length < minHelloFrameLength || length > maxHelloFrameLength) return std::nullopt;
  return length;
}

// ---- log stream ----

logFrameStatus parseLogMessage(std::span<const uint8_t> buffer, logStreamMessage& message) {
  if (buffer.size() < logMessageHeaderSize) return logFrameStatus::incomplete;
  const uint32_t length = littleEndian32(buffer.subspan(1, 4));
  if (length > maxLogMessageLength) return logFrameStatus::tooLong;
  if (buffer.size() - logMessageHeaderSize < length) return logFrameStatus::incomplete;
  message.type = buffer[0];
  message.payload = buffer.subspan(logMessageHeaderSize, length);
  message.size = logMessageHeaderSize + length;
  return logFrameStatus::complete;
}

// ---- commands ----

std::string_view terminalCommandText(terminalCommand command) {
  switch (command) {
    case terminalCommand::restart:
      return "restart";
    case terminalCommand::shutdown:
      return "shutdown";
    case terminalCommand::update:
      return "update";
    case terminalCommand::askVideomodes:
      return "ask_videomodes";
  }
  return {};
}

std::string buildCommandRequest(terminalCommand command) {
  using namespace std::string_view_literals;
  std::string request("0\0zvc\0zvc\0"sv);
  request += terminalCommandText(command);
  request += '\0';
  return request;
}

std::optional<commandReply> parseCommandReply(std::span<const uint8_t> received) {
  if (received.empty()) return std::nullopt;
  received = received.first(std::min(received.size(), maxCommandReply));
  commandReply reply;
  reply.status = received[0];
  const auto text = received.subspan(1);
  reply.text.assign(text.begin(), std::find(text.begin(), text.end(), uint8_t{0}));
  return reply;
}

}  // namespace zv
