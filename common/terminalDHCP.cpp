#include "common/terminalDHCP.h"

#include "common/fstream.h"
#include "common/installPaths.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
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
    return existingTerminalDirectory(identity.mac);
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
  fileContents contents = readFileHeadIn(directory, bootTypeFile, bootTypeReadLimit);
  return contents.ok() ? parseBootType(contents.bytes) : bootTypeNone;
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
  return removeIfPresent(directory + bootTypeFile);
}

}  // namespace zv
