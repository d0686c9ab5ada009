#include "common/terminalDHCP.h"

#include "common/fstream.h"
#include "common/installPaths.h"
#include "platform/diagnostics.h"
#include "platform/textConv.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>

namespace zv {
namespace {

constexpr const char* bootTypeFile = "boot_type";
constexpr std::size_t bootTypeReadLimit = 15;
constexpr int32_t hostNameCode = 12;

struct bootTypeEntry {
  uint32_t bootType;
  std::string_view word;
};
constexpr bootTypeEntry bootTypeTable[] = {
    {bootTypeTftp, "TFTP"},
    {bootTypeHttp, "HTTP"},
};

// The terminal's directory, not created; empty (and an internal error) when the record
// cannot have one.
std::string dhcpDirectory(const terminalID& identity) {
  if (identity.mac.isValid() && !paths().terminalsDir.empty())
    return paths().terminalsDir + identity.mac.directoryName() + "/";
  errno = EINVAL;
  ZV_INTERNAL_ERROR();
  return {};
}

// Offers option 12 to the identity as its host name and stores the host.
void takeOverHostName(terminalID& identity, const dhcpOptionList& options) {
  const dhcpOption* host = findOption(options, hostNameCode);
  if (!host || host->isAuto) return;
  identity.setHostFromDhcp(host->bytes());
  identity.storeHost();
}

}  // namespace

void takeHostFromOptions(terminalID& identity, const dhcpOptionList& options) {
  const dhcpOption* host = findOption(options, hostNameCode);
  if (host && !host->isAuto) identity.setHostFromDhcp(host->bytes());
}

uint32_t parseBootType(std::string_view bytes) {
  bytes = bytes.substr(0, bootTypeReadLimit);
  bytes = bytes.substr(0, bytes.find_first_of(std::string_view("\r\n\a\0", 4)));
  for (const bootTypeEntry& entry : bootTypeTable)
    if (equalsNoCase(bytes, entry.word)) return entry.bootType;
  return bootTypeNone;
}

std::string_view bootTypeFileBytes(uint32_t bootType) {
  for (const bootTypeEntry& entry : bootTypeTable)
    if (entry.bootType == bootType) return entry.word;
  return {};
}

uint32_t readBootType(const std::string& directory) {
  int fd = ::open((directory + bootTypeFile).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return bootTypeNone;
  char buffer[bootTypeReadLimit];
  std::size_t got = 0;
  while (got < sizeof buffer) {
    ssize_t n = ::read(fd, buffer + got, sizeof buffer - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += std::size_t(n);
  }
  ::close(fd);
  return parseBootType(std::string_view(buffer, got));
}

bool readTerminalDhcp(terminalID& identity, dhcpOptionList& options, uint32_t& bootType) {
  std::string directory = dhcpDirectory(identity);
  if (directory.empty()) return false;
  loadOptions(options, directory);
  takeOverHostName(identity, options);
  bootType = readBootType(directory);
  return true;
}

bool writeTerminalDhcp(terminalID& identity, dhcpOptionList& options, uint32_t bootType) {
  if (dhcpDirectory(identity).empty()) return false;
  std::string directory = terminalDirectory(identity.mac);
  if (directory.empty()) return false;
  takeOverHostName(identity, options);
  if (bootType != bootTypeNone) {
    std::string_view word = bootTypeFileBytes(bootType);
    if (word.empty()) {
      errno = EINVAL;
      ZV_INTERNAL_ERROR();
      return false;
    }
    if (!writeBytesFile(directory + bootTypeFile, word)) return false;
  }
  return saveOptions(options, directory);
}

bool clearTerminalBootType(const terminalID& identity, uint32_t& bootType) {
  bootType = bootTypeNone;
  std::string directory = dhcpDirectory(identity);
  if (directory.empty()) return false;
  if (::unlink((directory + bootTypeFile).c_str()) == 0 || errno == ENOENT || errno == ENOTDIR)
    return true;
  ZV_INTERNAL_ERROR();
  return false;
}

}  // namespace zv
