#pragma once
// The address ranges the DHCP service leases from: the file "ip_range" in the DHCP
// directory, which the service reads too.
//
// File form: 8-bit text, one range per line, "first-last\n" in dotted decimal
// ("192.168.1.100-192.168.1.200"). Lines are read with byteTextBuffer (blanks around a
// line, '#' comments and empty lines are dropped). A line is split at its first '-';
// the dashes right after it are skipped as well. Each side holds at most 63
// characters; a side that is empty or "0.0.0.0" is missing, and a line with one side
// missing is the single address of the other side. A line that does not parse, or
// whose last address is below its first, is reported and skipped.
//
// A range is served on the bound interface whose subnet holds its first address;
// loadRanges drops the ranges that have none.
//
// Pure values and functions apart from the diagnostic log; the callers (the ranges
// page) run on the user-interface thread.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

// First and last address, network order.
struct addressRange {
  uint32_t first = 0;
  uint32_t last = 0;

  // The last address is not below the first (compared in host order).
  bool isValid() const;
  friend bool operator==(const addressRange&, const addressRange&) = default;
};

// A bound interface as far as ranges care: its address and subnet mask (network order).
struct rangeSubnet {
  uint32_t address = 0;
  uint32_t mask = 0;

  bool contains(uint32_t ip) const { return (ip & mask) == (address & mask); }
  // The first and last host address of the subnet (network address + 1, broadcast
  // address - 1), as the page proposes them for a new range.
  uint32_t firstHost() const;
  uint32_t lastHost() const;
};

constexpr std::size_t maxRangeSide = 63;

// One logical line of "ip_range"; nullopt when it does not parse or is reversed.
std::optional<addressRange> parseRangeLine(std::string_view line);
// The two fields of a range row: both must parse and the range must be valid.
std::optional<addressRange> parseRangeFields(std::string_view first, std::string_view last);

// Every range of the file's bytes, in file order. Bad lines are reported
// ("sysiprange: Error in IP range line: '%s'.") and skipped.
std::vector<addressRange> readRanges(std::string_view bytes);

// "first-last\n" for every range.
std::string rangesText(std::span<const addressRange> ranges);

// Index of the first interface whose subnet holds the range's first address.
std::optional<std::size_t> rangeInterface(const addressRange& range,
                                          std::span<const rangeSubnet> interfaces);

// A range that an interface serves.
struct boundRange {
  addressRange range;
  std::size_t interfaceIndex = 0;
};

// The path of "ip_range" in the installation's DHCP directory.
std::string rangesPath();

// Reads the file and keeps the ranges that an interface serves, logging a warning for
// a range that runs past its interface's subnet (it is kept). A missing file is an
// empty list; one that cannot be read logs "sysiprange: File %s open failed.".
std::vector<boundRange> loadRanges(const std::string& path,
                                   std::span<const rangeSubnet> interfaces);

// Replaces the file with these ranges (temporary file + rename). False, with an
// internal-error report, when it could not be written; the old file then stays.
bool saveRanges(const std::string& path, std::span<const addressRange> ranges);

}  // namespace zv
