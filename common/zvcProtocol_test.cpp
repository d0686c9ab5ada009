#include "common/zvcProtocol.h"

#include "platform/diagnostics.h"
#include "platform/registry.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <cstring>
#include <memory>
#include <vector>

namespace zv {
namespace {

using bytes = std::vector<uint8_t>;

struct keyPair {
  helloKey publicKey{};
  std::array<uint8_t, 64> secret{};
  keyPair() {
    EXPECT_GE(sodium_init(), 0);
    crypto_sign_keypair(publicKey.data(), secret.data());
  }
  ~keyPair() { sodium_memzero(secret.data(), secret.size()); }
  bytes sign(const bytes& message) const {
    bytes signature(64);
    crypto_sign_detached(signature.data(), nullptr, message.data(), message.size(), secret.data());
    return signature;
  }
};

// Builds a hello field by field, as a terminal would send it.
struct helloBuilder {
  bytes out;
  explicit helloBuilder(helloVariant variant) {
    if (variant == helloVariant::udp) out.push_back(2);
  }
  helloBuilder& u32(uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    return *this;
  }
  helloBuilder& raw(const bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
    return *this;
  }
  // A counted text with its zero, padded with zeros to `length` when given.
  helloBuilder& text(std::string_view value, uint32_t length = 0) {
    if (length == 0) length = static_cast<uint32_t>(value.size() + 1);
    u32(length);
    bytes field(length, 0);
    std::memcpy(field.data(), value.data(), std::min<std::size_t>(value.size(), length));
    return raw(field);
  }
  helloBuilder& mac(const macAddress& value) {
    return raw(bytes(value.bytes.begin(), value.bytes.end()));
  }
  helloBuilder& sign(const keyPair& keys) {
    bytes signature = keys.sign(out);
    out.push_back(7);
    return raw(signature);
  }
};

const macAddress testMac{{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}};
const bytes address10007 = {10, 0, 0, 7};

helloBuilder header(helloVariant variant, std::string_view version = "4.5.3",
                    std::string_view host = "term1") {
  helloBuilder b(variant);
  b.text(version).text(host).mac(testMac);
  return b;
}

// The scrambled form of a name, made the way a terminal makes it.
bytes scrambleLogin(std::u16string_view name, const macAddress& mac, const bytes& address) {
  bytes payload;
  const std::size_t units = name.size();
  for (std::size_t i = 0; i < units; ++i) {
    const int mask = mac.bytes[(i + 5) % 6] << 8 | (address.empty() ? 0 : address[(i + 3) % 4]);
    const int unit = name[units - 1 - i] ^ mask;
    payload.push_back(static_cast<uint8_t>(unit & 0xFF));
    payload.push_back(static_cast<uint8_t>(unit >> 8));
  }
  return payload;
}

// Announcements and log-stream hellos, good and bad, in one table.
TEST(ZvcHello, TableOfHellos) {
  keyPair keys;
  test::logCapture log;
  const auto udp = helloVariant::udp;
  const auto tcp = helloVariant::tcp;
  const bytes login = scrambleLogin(u"Пётр", testMac, address10007);
  struct testCase {
    const char* name;
    helloVariant variant;
    bytes buffer;
    bool accepted;
    const char* logLine = nullptr;
  };
  std::vector<testCase> cases = {
      {"udp every tag, signed last", udp,
       header(udp)
           .raw({1, 192, 168, 1, 1, 2, 3, 4, 5, 3, 6})
           .raw(address10007)
           .raw({8, static_cast<uint8_t>(login.size())})
           .raw(login)
           .raw({99, 2, 0xAA, 0xBB})
           .sign(keys)
           .out,
       true},
      {"udp unsigned", udp, header(udp).raw({5, 1}).out, true},
      {"udp signature followed by 65 bytes", udp,
       header(udp).raw({7}).raw(keys.sign(header(udp).out)).raw({5}).out, false},
      {"udp signature with 63 bytes", udp, header(udp).raw({7}).raw(bytes(63, 1)).out, false},
      {"tcp tags 1, 5, 7 then 1 after the signature", tcp,
       header(tcp).raw({5, 4, 1, 1, 2, 3, 4}).sign(keys).raw({1, 9, 9, 9, 9}).out, true},
      {"tcp address tag refused", tcp, header(tcp).raw({6, 1, 2, 3, 4}).out, false,
       "Wrong logging mantra message 6, 4 bytes left."},
      {"tcp skipped tag refused", tcp, header(tcp).raw({3}).out, false,
       "Wrong logging mantra message 3, 0 bytes left."},
      {"two-number version", udp, header(udp, "4.5").out, false},
      {"two-digit patch", udp, header(udp, "4.5.12").out, true},
      {"three-digit patch", udp, header(udp, "4.5.123").out, false},
      {"letters in the version", udp, header(udp, "4.x.1").out, false},
      {"no version at all", udp, helloBuilder(udp).u32(0).text("h").mac(testMac).out, true},
      {"udp version length 32", udp, helloBuilder(udp).text("4.5.3", 32).text("h").mac(testMac).out,
       true},
      {"udp version length 33", udp, helloBuilder(udp).text("4.5.3", 33).text("h").mac(testMac).out,
       false},
      {"tcp version length 16", tcp, helloBuilder(tcp).text("4.5.3", 16).text("h").mac(testMac).out,
       true},
      {"tcp version length 17", tcp, helloBuilder(tcp).text("4.5.3", 17).text("h").mac(testMac).out,
       false},
      {"host length 32", udp, header(udp, "4.5.3", std::string(31, 'h')).out, true},
      {"host length 33", udp, header(udp, "4.5.3", std::string(32, 'h')).out, false},
      {"host without its zero", udp,
       helloBuilder(udp).text("4.5.3").u32(2).raw({'a', 'b'}).mac(testMac).out, false},
      {"version length past the buffer", udp, helloBuilder(udp).u32(20).raw({'4', '.'}).out, false},
      {"huge host length", udp, helloBuilder(udp).text("4.5.3").u32(0xFFFFFFFF).out, false},
      {"invalid MAC", udp, helloBuilder(udp).text("4.5.3").text("h").mac({}).out, false},
      {"wrong type byte", udp, bytes{3, 0, 0, 0, 0}, false},
      {"empty datagram", udp, bytes{}, false},
      {"odd tag 8 skipped", udp, header(udp).raw({8, 3, 1, 2, 3, 5, 2}).out, true},
      {"tag 8 of 128 skipped", udp, header(udp).raw({8, 128}).raw(bytes(128, 0)).out, true},
      {"tag 8 longer than the rest", udp, header(udp).raw({8, 10, 1, 2}).out, false},
      {"tag 1 cut short", udp, header(udp).raw({1, 1, 2, 3}).out, false},
      {"tag 5 without its byte", udp, header(udp).raw({5}).out, false},
      {"tampered udp hello", udp,
       [&] {
         bytes b = header(udp).raw({6}).raw(address10007).sign(keys).out;
         b[5] ^= 1;
         return b;
       }(),
       false, "Peer 10.0.0.7: signature check failed."},
      {"tcp hello signed by another key", tcp, header(tcp).sign(keyPair()).out, false},
  };
  for (const testCase& c : cases) {
    SCOPED_TRACE(c.name);
    log.clear();
    std::string reason;
    std::optional<zv5Hello> hello = readZV5Hello(c.buffer, c.variant, keys.publicKey, &reason);
    EXPECT_EQ(hello.has_value(), c.accepted) << reason;
    EXPECT_EQ(reason.empty(), c.accepted);
    if (c.logLine) {
      EXPECT_TRUE(log.contains(c.logLine)) << log.text();
    }
  }

  std::optional<zv5Hello> full = readZV5Hello(cases[0].buffer, udp, keys.publicKey);
  ASSERT_TRUE(full);
  EXPECT_EQ(full->version, "4.5.3");
  EXPECT_EQ(full->host, "term1");
  EXPECT_EQ(full->mac, testMac);
  EXPECT_EQ(full->dhcpServer, 0x0101A8C0u);  // 192.168.1.1 in network order
  EXPECT_EQ(full->address, 0x0700000Au);
  EXPECT_EQ(full->platform, 3u);
  EXPECT_TRUE(full->isSigned);
  EXPECT_EQ(full->lastLogin, u"Пётр");
  EXPECT_FALSE(readZV5Hello(cases[1].buffer, udp, keys.publicKey)->isSigned);
  EXPECT_EQ(readZV5Hello(cases[8].buffer, udp, keys.publicKey)->version, "4.5.12");
  EXPECT_TRUE(readZV5Hello(cases[4].buffer, tcp, keys.publicKey)->isSigned);
  EXPECT_EQ(readZV5Hello(cases[4].buffer, tcp, keys.publicKey)->dhcpServer, 0x09090909u);
}

// The login mask takes the address of a tag 6 sent before it; after it, A is zero.
TEST(ZvcHello, LoginUsesTheAddressSentBefore) {
  keyPair keys;
  const auto udp = helloVariant::udp;
  const bytes withAddress = scrambleLogin(u"admin", testMac, address10007);
  const bytes before = header(udp).raw({6}).raw(address10007).raw({8, 10}).raw(withAddress).out;
  const bytes after = header(udp).raw({8, 10}).raw(withAddress).raw({6}).raw(address10007).out;
  EXPECT_EQ(readZV5Hello(before, udp, keys.publicKey)->lastLogin, u"admin");
  const bytes noAddress = scrambleLogin(u"admin", testMac, {});
  const bytes later = header(udp).raw({8, 10}).raw(noAddress).raw({6}).raw(address10007).out;
  EXPECT_EQ(readZV5Hello(later, udp, keys.publicKey)->lastLogin, u"admin");
  EXPECT_NE(readZV5Hello(after, udp, keys.publicKey)->lastLogin, u"admin");
}

// Every prefix of a hello is read inside its own exact allocation: refused or
// accepted without its signature, never read past.
TEST(ZvcHello, EveryPrefixStaysInside) {
  keyPair keys;
  test::logCapture log;
  const bytes login = scrambleLogin(u"user", testMac, address10007);
  for (helloVariant variant : {helloVariant::udp, helloVariant::tcp}) {
    helloBuilder b = header(variant);
    if (variant == helloVariant::udp)
      b.raw({1, 1, 2, 3, 4, 5, 1, 6}).raw(address10007).raw({8, 8}).raw(login).raw({2});
    else
      b.raw({1, 1, 2, 3, 4, 5, 1});
    b.sign(keys);
    ASSERT_TRUE(readZV5Hello(b.out, variant, keys.publicKey));
    for (std::size_t length = 0; length < b.out.size(); ++length) {
      auto prefix = std::make_unique<uint8_t[]>(length + 1);
      std::memcpy(prefix.get(), b.out.data(), length);
      std::optional<zv5Hello> hello =
          readZV5Hello(std::span(prefix.get(), length), variant, keys.publicKey);
      if (hello) {
        EXPECT_FALSE(hello->isSigned) << length;
      }
    }
  }
  EXPECT_TRUE(log.contains("Not enough data in stream in zvcProtocol.cpp line")) << log.text();
}

// Each rejection is the one named, before the library sees the signature.
TEST(ZvcSignature, Rejections) {
  keyPair keys;
  const bytes message = {2, 'h', 'e', 'l', 'l', 'o'};
  const bytes good = keys.sign(message);
  bytes sPlusOrder = good;  // S + L: the same scalar, not canonical
  const uint8_t order[32] = {0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58, 0xd6, 0x9c, 0xf7,
                             0xa2, 0xde, 0xf9, 0xde, 0x14, 0,    0,    0,    0,    0,    0,
                             0,    0,    0,    0,    0,    0,    0,    0,    0,    0x10};
  for (int i = 0, carry = 0; i < 32; ++i) {
    const int sum = sPlusOrder[32 + i] + order[i] + carry;
    sPlusOrder[32 + i] = static_cast<uint8_t>(sum);
    carry = sum >> 8;
  }
  bytes neutralR = good;  // R = the neutral point (order 1)
  std::fill(neutralR.begin(), neutralR.begin() + 32, 0);
  neutralR[0] = 1;
  bytes orderTwoR = good;  // R = (0, -1), y = p - 1
  std::fill(orderTwoR.begin(), orderTwoR.begin() + 32, 0xFF);
  orderTwoR[0] = 0xEC;
  orderTwoR[31] = 0x7F;
  helloKey offCurve{};
  for (uint8_t y = 2;; ++y) {  // the first small y with no x on the curve
    offCurve[0] = y;
    std::array<uint8_t, 32> base{}, sum{};
    crypto_scalarmult_ed25519_base_noclamp(base.data(), std::array<uint8_t, 32>{1}.data());
    if (crypto_core_ed25519_add(sum.data(), offCurve.data(), base.data()) != 0) break;
  }
  bytes otherMessage = message;
  otherMessage[1] = 'j';
  struct testCase {
    const char* name;
    bytes signature;
    bytes message;
    helloKey key;
    signatureCheck expected;
  };
  const testCase cases[] = {
      {"valid", good, message, keys.publicKey, signatureCheck::valid},
      {"zero key", good, message, helloKey{}, signatureCheck::zeroKey},
      {"key off the curve", good, message, offCurve, signatureCheck::keyOffCurve},
      {"S plus the order", sPlusOrder, message, keys.publicKey, signatureCheck::nonCanonicalS},
      {"neutral R", neutralR, message, keys.publicKey, signatureCheck::smallOrderR},
      {"order-two R", orderTwoR, message, keys.publicKey, signatureCheck::smallOrderR},
      {"other message", good, otherMessage, keys.publicKey, signatureCheck::mismatch},
      {"other key", good, message, keyPair().publicKey, signatureCheck::mismatch},
  };
  for (const testCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(checkHelloSignature(c.signature, c.message, c.key), c.expected);
    EXPECT_EQ(verifyHelloSignature(c.signature, c.message, c.key),
              c.expected == signatureCheck::valid);
  }
}

// HKLM HelloPublicKey replaces the built-in key; a malformed value is logged and ignored.
TEST(ZvcSignature, OverrideKey) {
  test::tempDir dir;
  test::logCapture log;
  registryStore store(dir / "registry.conf");
  EXPECT_EQ(helloPublicKey(store), builtInHelloKey);
  keyPair keys;
  std::string hex;
  for (uint8_t b : keys.publicKey) hex += formatText("%02X", b);
  ASSERT_TRUE(store.set("Software\\Zelvar", "HelloPublicKey", regValue::string(hex)));
  EXPECT_EQ(helloPublicKey(store), keys.publicKey);
  EXPECT_FALSE(log.contains("HelloPublicKey"));
  for (const std::string& bad : {hex.substr(2), hex + "00", "zz" + hex.substr(2)}) {
    ASSERT_TRUE(store.set("Software\\Zelvar", "HelloPublicKey", regValue::string(bad)));
    log.clear();
    EXPECT_EQ(helloPublicKey(store), builtInHelloKey) << bad;
    EXPECT_TRUE(log.contains("HelloPublicKey")) << bad;
  }
  ASSERT_TRUE(store.set("Software\\Zelvar", "HelloPublicKey", regValue::dword(1)));
  EXPECT_EQ(helloPublicKey(store), builtInHelloKey);
}

// A hello frame of 0 or 128 bytes is refused from its prefix alone.
TEST(ZvcLogStream, HelloFrameLength) {
  auto length = [](uint32_t n) {
    const std::array<uint8_t, 4> prefix = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                                           static_cast<uint8_t>(n >> 16),
                                           static_cast<uint8_t>(n >> 24)};
    return helloFrameLength(prefix);
  };
  EXPECT_FALSE(length(0));
  EXPECT_EQ(length(1), 1u);
  EXPECT_EQ(length(127), 127u);
  EXPECT_FALSE(length(128));
  EXPECT_FALSE(length(0x01000001));
}

// Messages are cut at their lengths, whatever their type; a length past the limit ends
// the stream, one at the limit only waits for its bytes.
TEST(ZvcLogStream, Messages) {
  const bytes stream = {1, 3, 0, 0, 0, 'a', '\n', 'b', 2, 0, 0, 0, 0, 1, 1, 0, 0, 0, 'c'};
  std::vector<std::pair<int, std::string>> seen;
  std::span<const uint8_t> rest(stream);
  logStreamMessage message;
  while (parseLogMessage(rest, message) == logFrameStatus::complete) {
    seen.emplace_back(message.type, std::string(message.payload.begin(), message.payload.end()));
    rest = rest.subspan(message.size);
  }
  EXPECT_TRUE(rest.empty());
  const std::vector<std::pair<int, std::string>> expected = {{1, "a\nb"}, {2, ""}, {1, "c"}};
  EXPECT_EQ(seen, expected);
  for (std::size_t n = 0; n < 8; ++n)
    EXPECT_EQ(parseLogMessage(std::span(stream).first(n), message), logFrameStatus::incomplete)
        << n;
  const bytes atLimit = {1, 0xFF, 0xFF, 0x1F, 0x03, 'x'};
  EXPECT_EQ(parseLogMessage(atLimit, message), logFrameStatus::incomplete);
  const bytes pastLimit = {1, 0x00, 0x00, 0x20, 0x03};
  EXPECT_EQ(parseLogMessage(pastLimit, message), logFrameStatus::tooLong);
  const bytes huge = {1, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(parseLogMessage(huge, message), logFrameStatus::tooLong);
}

// The request bytes of each command, and the reply within its 1024 bytes.
TEST(ZvcCommand, RequestAndReply) {
  using namespace std::string_literals;
  EXPECT_EQ(buildCommandRequest(terminalCommand::restart), "0\0zvc\0zvc\0restart\0"s);
  for (terminalCommand c : {terminalCommand::restart, terminalCommand::shutdown,
                            terminalCommand::update, terminalCommand::askVideomodes})
    EXPECT_EQ(buildCommandRequest(c).size(), 11 + terminalCommandText(c).size());
  EXPECT_EQ(terminalCommandText(terminalCommand::askVideomodes), "ask_videomodes");

  EXPECT_FALSE(parseCommandReply({}));
  const bytes statusOnly = {0};
  EXPECT_EQ(parseCommandReply(statusOnly)->text, "");
  const std::string ok = "\x01OK. Going to reboot.\0junk"s;
  std::optional<commandReply> reply =
      parseCommandReply(std::span(reinterpret_cast<const uint8_t*>(ok.data()), ok.size()));
  EXPECT_EQ(reply->status, 1);
  EXPECT_EQ(reply->text, "OK. Going to reboot.");
  bytes large(3000, 'm');
  EXPECT_EQ(parseCommandReply(large)->text.size(), maxCommandReply - 1);
}

}  // namespace
}  // namespace zv
