#include "platform/arpTable.h"

#include "platform/ipv4.h"

#include "platform/diagnostics.h"
#include "platform/files.h"

#include <arpa/inet.h>
#include <cerrno>
#include <charconv>

namespace zv {
namespace {

constexpr uint32_t ethernetType = 0x1;  // ARPHRD_ETHER

std::vector<std::string_view> columns(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

// "0x1A" (the kernel's form); nothing for anything else.
std::optional<uint32_t> parseHexNumber(std::string_view text) {
  if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return {};
  uint32_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, error] = std::from_chars(text.data() + 2, end, value, 16);
  if (error != std::errc() || ptr != end) return {};
  return value;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::array<uint8_t, 6>> parseHardwareAddress(std::string_view text) {
  if (text.size() != 17) return {};
  std::array<uint8_t, 6> bytes{};
  for (std::size_t i = 0; i < 6; ++i) {
    int high = hexDigit(text[i * 3]);
    int low = hexDigit(text[i * 3 + 1]);
    if (high < 0 || low < 0) return {};
    if (i < 5 && text[i * 3 + 2] != ':') return {};
    bytes[i] = uint8_t(high * 16 + low);
  }
  return bytes;
}

std::optional<uint32_t> parseAddress(std::string_view text) {
  return parseIpv4Text(text);
}

// One line of the table; nothing (logged) when it has not the table's shape, and
// nothing silently for another kind of hardware.
std::optional<arpEntry> parseLine(std::string_view line, std::size_t number,
                                  cappedLineLog& badLines) {
  std::vector<std::string_view> c = columns(line);
  auto refuse = [&]() -> std::optional<arpEntry> {
    badLines.line("ARP table: line %zu is malformed and was skipped.", number);
    return {};
  };
  if (c.size() != 6) return refuse();
  auto ip = parseAddress(c[0]);
  auto type = parseHexNumber(c[1]);
  auto flags = parseHexNumber(c[2]);
  if (!ip || !type || !flags) return refuse();
  if (*type != ethernetType) return {};
  auto mac = parseHardwareAddress(c[3]);
  if (!mac) return refuse();
  arpEntry entry;
  entry.ip = *ip;
  entry.mac = *mac;
  entry.flags = *flags;
  entry.device = std::string(c[5]);
  return entry;
}

}  // namespace

std::vector<arpEntry> parseArpTable(std::string_view text) {
  cappedLineLog badLines("ARP table");
  std::vector<arpEntry> entries;
  std::size_t number = 0;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    // The first line names the columns.
    if (++number == 1 || columns(line).empty()) continue;
    if (auto entry = parseLine(line, number, badLines)) entries.push_back(std::move(*entry));
  }
  return entries;
}

std::optional<std::vector<arpEntry>> readArpTable(const std::string& path) {
  auto bytes = readFileBytes(path);
  if (!bytes) {
    logMessage("%s", errnoText(("Unable to read the ARP table " + path).c_str(), errno).c_str());
    return {};
  }
  return parseArpTable(*bytes);
}

}  // namespace zv
