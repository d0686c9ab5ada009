// Reads arbitrary bytes as the three lists the DHCP service shares with the console:
// the groups file, the address ranges and the ignored MACs. Whatever a reader takes
// must be a list its writer can write, and what is written must read back the same.
#include "common/DHCPIgnoreMACs.h"
#include "common/groups.h"
#include "common/sysiprange.h"
#include "common/textConfigFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

void checkGroups(std::string_view bytes) {
  std::vector<zv::terminalGroup> groups = zv::readGroups(bytes);
  require(groups.size() <= zv::maxGroups);
  require(zv::isWellFormed(groups));
  bool linesFit = true;
  for (const zv::terminalGroup& group : groups) {
    require(group.name.find_first_of(u"\r\n#") == std::u16string::npos);
    // "1 ..." is written "01 ...": a line that filled the reader may no longer fit.
    linesFit = linesFit && zv::groupLine(group).size() - 2 <= zv::maxLogicalLine;
  }
  if (linesFit) require(zv::readGroups(zv::groupsFileBytes(groups)) == groups);
}

void checkRanges(std::string_view bytes) {
  std::vector<zv::addressRange> ranges = zv::readRanges(bytes);
  for (const zv::addressRange& range : ranges) require(range.isValid());
  require(zv::readRanges(zv::rangesText(ranges)) == ranges);
}

void checkIgnoreList(std::string_view bytes) {
  std::vector<zv::macAddress> macs;
  zv::readIgnoreMacs(bytes, macs);
  require(macs.size() <= zv::maxIgnoredMacs);
  for (const zv::macAddress& mac : macs) require(mac.isValid());
  std::vector<zv::macAddress> again;
  require(zv::readIgnoreMacs(zv::ignoreMacsText(macs), again));
  require(again == macs);
  zv::ignoreMode mode = zv::parseIgnoreFlag(bytes);
  require(zv::parseIgnoreFlag(zv::ignoreFlagText(mode)) == mode);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  checkGroups(bytes);
  checkRanges(bytes);
  checkIgnoreList(bytes);
  return 0;
}
