#include "common/sysiprange.h"

#include "common/fstream.h"
#include "common/installPaths.h"
#include "common/textConfigFile.h"
#include "platform/diagnostics.h"
#include "platform/files.h"

#include <arpa/inet.h>
#include <cerrno>

namespace zv {
namespace {

constexpr const char* rangesFileName = "ip_range";
constexpr std::string_view noAddress = "0.0.0.0";

// One side of a line: nullopt when it is missing, 0 when it is present but bad.
struct side {
  bool present = false;
  bool ok = false;
  uint32_t address = 0;
};

side parseSide(std::string_view text) {
  if (text.empty() || text == noAddress) return {};
  side result{true, false, 0};
  if (text.size() > maxRangeSide) return result;
  result.ok = parseIpv4(text, result.address);
  // 0.0.0.0 stands for no address in whichever spelling ("0.00.0.0" too), as the
  // writer's own "0.0.0.0" does.
  if (result.ok && result.address == 0) return {};
  return result;
}

void reportBadLine(std::string_view line) {
  ZV_REPORT("sysiprange: Error in IP range line: '%.*s'.", int(line.size()), line.data());
}

}  // namespace

bool addressRange::isValid() const {
  return ntohl(last) >= ntohl(first);
}

uint32_t rangeSubnet::firstHost() const {
  return htonl(ntohl(address & mask) + 1);
}

uint32_t rangeSubnet::lastHost() const {
  return htonl(ntohl(directedBroadcast(address, mask)) - 1);
}

std::optional<addressRange> parseRangeLine(std::string_view line) {
  std::string_view firstText = line;
  std::string_view lastText;
  if (std::size_t dash = line.find('-'); dash != std::string_view::npos) {
    firstText = line.substr(0, dash);
    lastText = line.substr(dash + 1);
    while (lastText.starts_with('-')) lastText.remove_prefix(1);
  }
  side first = parseSide(firstText);
  side last = parseSide(lastText);
  if ((first.present && !first.ok) || (last.present && !last.ok)) return std::nullopt;
  if (!first.present && !last.present) return std::nullopt;
  addressRange range;
  range.first = first.present ? first.address : last.address;
  range.last = last.present ? last.address : first.address;
  if (!range.isValid()) return std::nullopt;
  return range;
}

std::optional<addressRange> parseRangeFields(std::string_view first, std::string_view last) {
  addressRange range;
  if (!parseIpv4(first, range.first) || !parseIpv4(last, range.last) || !range.isValid())
    return std::nullopt;
  return range;
}

std::vector<addressRange> readRanges(std::string_view bytes) {
  std::vector<addressRange> ranges;
  byteTextBuffer buffer;
  if (!buffer.openBytes(bytes)) return ranges;
  while (!buffer.atEnd()) {
    if (!buffer.readLine(false)) {
      if (buffer.atEnd()) break;
      // Too long for a line: the part read is reported, the rest of it skipped.
      reportBadLine(buffer.line());
      buffer.skipRestOfLine();
      continue;
    }
    if (std::optional<addressRange> range = parseRangeLine(buffer.line()))
      ranges.push_back(*range);
    else
      reportBadLine(buffer.line());
  }
  return ranges;
}

std::string rangesText(std::span<const addressRange> ranges) {
  std::string text;
  for (const addressRange& range : ranges) {
    text += ipv4Text(range.first);
    text += '-';
    text += ipv4Text(range.last);
    text += '\n';
  }
  return text;
}

std::optional<std::size_t> rangeInterface(const addressRange& range,
                                          std::span<const rangeSubnet> interfaces) {
  for (std::size_t i = 0; i < interfaces.size(); ++i)
    if (interfaces[i].contains(range.first)) return i;
  return std::nullopt;
}

std::string rangesPath() {
  return paths().dhcpDir + rangesFileName;
}

std::vector<boundRange> loadRanges(const std::string& path,
                                   std::span<const rangeSubnet> interfaces) {
  std::vector<boundRange> kept;
  fileContents contents = readFileLimited(path, textFileLimit);
  if (!contents.ok()) {
    if (contents.status != readStatus::missing)
      logMessage("sysiprange: File %s open failed.", path.c_str());
    return kept;
  }
  std::optional<std::string> bytes = std::move(contents.bytes);
  for (const addressRange& range : readRanges(*bytes)) {
    std::optional<std::size_t> index = rangeInterface(range, interfaces);
    if (!index) continue;
    if (!interfaces[*index].contains(range.last))
      logMessage("WARNING! sysiprange: Range '%s-%s' contains IPs is from different subnets.",
                 ipv4Text(range.first).c_str(), ipv4Text(range.last).c_str());
    kept.push_back({range, *index});
  }
  return kept;
}

bool saveRanges(const std::string& path, std::span<const addressRange> ranges) {
  // A reversed range would be refused when read back; the callers check their rows.
  for (const addressRange& range : ranges)
    if (!range.isValid()) {
      errno = EINVAL;
      ZV_INTERNAL_ERROR();
      return false;
    }
  return writeBytesFile(path, rangesText(ranges));
}

}  // namespace zv
