// Reads arbitrary bytes as a terminal's announcement, as a log-stream hello frame and
// as a command reply: nothing may crash or read past the input, a hello that decodes
// keeps its fields within their limits, and a random signature never verifies.
#include "common/zvcProtocol.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

void checkHello(std::span<const uint8_t> bytes, zv::helloVariant variant) {
  std::optional<zv::zv5Hello> hello = zv::readZV5Hello(bytes, variant, zv::builtInHelloKey);
  if (!hello) return;
  require(hello->version.size() <= 6);
  require(hello->host.size() <= 31);
  require(hello->lastLogin.size() <= zv::maxLastLogin);
  require(hello->mac.isValid());
  require(!hello->isSigned);  // nobody holds the built-in key's other half here
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::span<const uint8_t> bytes(data, size);
  checkHello(bytes, zv::helloVariant::udp);
  if (size >= 4) {
    if (std::optional<uint32_t> length = zv::helloFrameLength(bytes.first<4>()))
      if (size - 4 >= *length) checkHello(bytes.subspan(4, *length), zv::helloVariant::tcp);
  }
  if (std::optional<zv::commandReply> reply = zv::parseCommandReply(bytes))
    require(reply->text.size() < zv::maxCommandReply);
  zv::logStreamMessage message;
  if (zv::parseLogMessage(bytes, message) == zv::logFrameStatus::complete)
    require(message.size <= size && message.payload.size() <= zv::maxLogMessageLength);
  return 0;
}
