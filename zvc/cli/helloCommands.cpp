#include "zvc/cli/helloCommands.h"

#include "common/terminalID.h"
#include "common/zvcProtocol.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/sockets.h"
#include "platform/textConv.h"
#include "zvc/cli/output.h"

#include <span>

namespace zv::cli {
namespace {

// A datagram is at most 2048 bytes and a hello frame far less: a larger file is no hello.
constexpr std::size_t maxHelloFile = 4096;

json helloJson(const zv5Hello& hello) {
  return json{
      {"ok", true},
      {"version", hello.version},
      {"host", hello.host},
      {"mac", hello.mac.logText()},
      {"dhcpServer", ipv4Text(hello.dhcpServer)},
      {"address", ipv4Text(hello.address)},
      {"platform", std::string(platformName(hello.platform))},
      {"signed", hello.isSigned},
      {"lastLogin", toUtf8(hello.lastLogin)},
  };
}

}  // namespace

int helloDecodeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() < 3) return usage(err);
  bool tcp = false;
  std::optional<helloKey> key;
  for (std::size_t i = 3; i < args.size(); ++i) {
    if (args[i] == "--tcp") {
      tcp = true;
    } else if (args[i] == "--key" && i + 1 < args.size()) {
      key = parseHelloKey(args[++i]);
      if (!key) return fail(out, "the key is not 64 hexadecimal digits");
    } else {
      return usage(err);
    }
  }
  if (!key) key = helloPublicKey(registryStore::localMachine());
  const fileContents file = readFileLimited(args[2], maxHelloFile);
  if (!file.ok()) return fail(out, "cannot read " + args[2]);
  std::span<const uint8_t> buffer(reinterpret_cast<const uint8_t*>(file.bytes.data()),
                                  file.bytes.size());
  if (tcp) {
    if (buffer.size() < 4) return fail(out, "no frame length");
    const std::optional<uint32_t> length = helloFrameLength(buffer.first<4>());
    if (!length) return fail(out, "frame length out of 1 to 127");
    if (buffer.size() - 4 < *length) return fail(out, "frame shorter than its length");
    buffer = buffer.subspan(4, *length);
  }
  std::string reason;
  const std::optional<zv5Hello> hello =
      readZV5Hello(buffer, tcp ? helloVariant::tcp : helloVariant::udp, *key, &reason);
  if (!hello) return fail(out, reason);
  print(out, helloJson(*hello));
  return 0;
}

}  // namespace zv::cli
