#include "common/sysiprange.h"

#include "common/fstream.h"
#include "platform/files.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace zv {
namespace {

using test::logCapture;
using test::readFile;
using test::tempDir;
using test::writeFile;

uint32_t ip(const char* text) {
  uint32_t address = 0;
  EXPECT_TRUE(parseIpv4(text, address)) << text;
  return address;
}

std::string rangeText(const addressRange& range) {
  return ipv4Text(range.first) + "-" + ipv4Text(range.last);
}

// Every rule of one line: the split, missing sides, reversed ranges, side lengths.
TEST(RangeLine, ParseRules) {
  const std::string side64 = std::string(53, '0') + "192.168.1.5";  // 64 characters
  struct row {
    std::string line;
    const char* expected;  // "first-last", or nullptr when refused
  };
  const row rows[] = {
      {"192.168.1.100-192.168.1.200", "192.168.1.100-192.168.1.200"},
      {"192.168.1.50", "192.168.1.50-192.168.1.50"},
      {"0.0.0.0-192.168.1.60", "192.168.1.60-192.168.1.60"},
      {"192.168.1.60-0.0.0.0", "192.168.1.60-192.168.1.60"},
      {"-192.168.1.60", "192.168.1.60-192.168.1.60"},
      {"192.168.1.60-", "192.168.1.60-192.168.1.60"},
      {"192.168.1.60-192.168.1.60", "192.168.1.60-192.168.1.60"},
      {"10.0.0.1---10.0.0.9", "10.0.0.1-10.0.0.9"},
      {"9.255.255.255-10.0.0.0", "9.255.255.255-10.0.0.0"},
      {"192.168.1.60-192.168.1.50", nullptr},  // reversed
      {"10.0.0.1-9.255.255.255", nullptr},     // reversed in host order
      {"0.0.0.0", nullptr},
      {"0.0.0.0-0.0.0.0", nullptr},
      {"0.00.0.0", nullptr},  // no address in another spelling
      {"192.168.1.60-000.0.0.0", "192.168.1.60-192.168.1.60"},
      {"-", nullptr},
      {"10.0.0.1-10.0.0.2-10.0.0.3", nullptr},
      {"10.0.0.1 - 10.0.0.2", nullptr},
      {"10.0.0.1-10.0.0", nullptr},
      {"10.0.0.256", nullptr},
      {"garbage", nullptr},
      {"10.0.0.1-garbage", nullptr},
      {side64, nullptr},
      {"10.0.0.1-" + side64, nullptr},
  };
  for (const row& r : rows) {
    std::optional<addressRange> range = parseRangeLine(r.line);
    EXPECT_EQ(range ? rangeText(*range) : "refused", r.expected ? r.expected : "refused") << r.line;
  }
}

// The page's check of a row: two addresses, in order; no missing sides.
TEST(RangeLine, PageFields) {
  EXPECT_EQ(parseRangeFields("10.0.0.5", "10.0.0.5"),
            (addressRange{ip("10.0.0.5"), ip("10.0.0.5")}));
  EXPECT_FALSE(parseRangeFields("10.0.0.6", "10.0.0.5"));
  EXPECT_FALSE(parseRangeFields("", "10.0.0.5"));
  EXPECT_FALSE(parseRangeFields("10.0.0.5", "10.0.0."));
}

// Junk lines are reported and skipped; the rest of the file still counts. A line too
// long for the reader is skipped whole, even when its tail would parse.
TEST(RangeFile, BadLinesAreReportedAndSkipped) {
  logCapture log;
  std::string bytes = "# leases\r\n10.0.0.10-10.0.0.20\r\n\r\n  junk line  \n" +
                      std::string(4100, 'x') + "-10.0.0.30-10.0.0.40\n" +
                      "10.0.0.50-10.0.0.40\n10.0.0.60 # single\n";
  std::vector<addressRange> ranges = readRanges(bytes);
  ASSERT_EQ(ranges.size(), 2u);
  EXPECT_EQ(rangeText(ranges[0]), "10.0.0.10-10.0.0.20");
  EXPECT_EQ(rangeText(ranges[1]), "10.0.0.60-10.0.0.60");
  EXPECT_TRUE(log.contains("-- ERROR -- sysiprange: Error in IP range line: 'junk line'."));
  EXPECT_TRUE(log.contains("Error in IP range line: '10.0.0.50-10.0.0.40'."));
  EXPECT_TRUE(log.contains("Error in IP range line: 'xxxx"));
  EXPECT_FALSE(log.contains("10.0.0.30"));
}

// Writing and reading give back the same ranges, and the bytes are exactly the form
// the DHCP service reads.
TEST(RangeFile, RoundTripIsByteExact) {
  tempDir tmp;
  const std::vector<addressRange> ranges = {
      {ip("192.168.1.100"), ip("192.168.1.200")},
      {ip("10.0.0.7"), ip("10.0.0.7")},
      {ip("172.16.0.1"), ip("172.16.255.254")},
  };
  const std::string expected =
      "192.168.1.100-192.168.1.200\n10.0.0.7-10.0.0.7\n172.16.0.1-172.16.255.254\n";
  ASSERT_TRUE(saveRanges(tmp / "ip_range", ranges));
  EXPECT_EQ(readFile(tmp / "ip_range"), expected);
  EXPECT_EQ(readRanges(expected), ranges);
  EXPECT_EQ(rangesText(readRanges(expected)), expected);

  ASSERT_TRUE(saveRanges(tmp / "ip_range", {}));
  EXPECT_EQ(readFile(tmp / "ip_range"), "");
}

// A reversed range never reaches the file, and a failed write keeps the old file.
TEST(RangeFile, FailedSavesKeepTheOldFile) {
  tempDir tmp;
  logCapture log;
  writeFile(tmp / "ip_range", "10.0.0.1-10.0.0.2\n");
  const std::vector<addressRange> reversed = {{ip("10.0.0.9"), ip("10.0.0.1")}};
  EXPECT_FALSE(saveRanges(tmp / "ip_range", reversed));
  EXPECT_TRUE(log.contains("INTERNAL ERROR"));
  const std::vector<addressRange> good = {{ip("10.0.0.3"), ip("10.0.0.4")}};
  EXPECT_FALSE(saveRanges(tmp / "missing/ip_range", good));
  EXPECT_EQ(readFile(tmp / "ip_range"), "10.0.0.1-10.0.0.2\n");
}

// Only ranges on a bound interface are kept, each with the first interface whose
// subnet holds its first address; one that runs past that subnet is kept with a warning.
TEST(RangeFile, LoadKeepsRangesOfBoundInterfaces) {
  tempDir tmp;
  logCapture log;
  const std::vector<rangeSubnet> interfaces = {
      {ip("192.168.1.5"), ip("255.255.255.0")},
      {ip("10.0.0.1"), ip("255.0.0.0")},
      {ip("10.1.0.1"), ip("255.255.0.0")},
  };
  writeFile(tmp / "ip_range",
            "192.168.1.100-192.168.1.200\n"
            "172.16.0.10-172.16.0.20\n"
            "10.1.0.10-10.1.0.20\n"
            "192.168.1.250-192.168.2.10\n");
  std::vector<boundRange> kept = loadRanges(tmp / "ip_range", interfaces);
  ASSERT_EQ(kept.size(), 3u);
  EXPECT_EQ(rangeText(kept[0].range), "192.168.1.100-192.168.1.200");
  EXPECT_EQ(kept[0].interfaceIndex, 0u);
  EXPECT_EQ(rangeText(kept[1].range), "10.1.0.10-10.1.0.20");
  EXPECT_EQ(kept[1].interfaceIndex, 1u);
  EXPECT_EQ(rangeText(kept[2].range), "192.168.1.250-192.168.2.10");
  EXPECT_TRUE(
      log.contains("] WARNING! sysiprange: Range '192.168.1.250-192.168.2.10' contains "
                   "IPs is from different subnets.\r\n"));
  EXPECT_FALSE(log.contains("192.168.1.100-192.168.1.200' contains"));

  EXPECT_TRUE(loadRanges(tmp / "ip_range", {}).empty());
}

// A missing file is an empty list without a word; an unreadable one is reported.
TEST(RangeFile, MissingAndUnreadableFiles) {
  tempDir tmp;
  logCapture log;
  const std::vector<rangeSubnet> interfaces = {{ip("10.0.0.1"), ip("255.0.0.0")}};
  EXPECT_TRUE(loadRanges(tmp / "ip_range", interfaces).empty());
  EXPECT_EQ(log.text(), "");
  ASSERT_TRUE(makeDirectories(tmp / "ip_range"));
  EXPECT_TRUE(loadRanges(tmp / "ip_range", interfaces).empty());
  EXPECT_TRUE(log.contains("sysiprange: File " + (tmp / "ip_range") + " open failed.\r\n"));
}

// The host span of a subnet that the page offers for a new range.
TEST(RangeSubnet, FirstAndLastHost) {
  struct row {
    const char* address;
    const char* mask;
    const char* first;
    const char* last;
  };
  const row rows[] = {
      {"192.168.1.5", "255.255.255.0", "192.168.1.1", "192.168.1.254"},
      {"10.20.30.40", "255.0.0.0", "10.0.0.1", "10.255.255.254"},
      {"172.16.5.1", "255.255.252.0", "172.16.4.1", "172.16.7.254"},
  };
  for (const row& r : rows) {
    rangeSubnet subnet{ip(r.address), ip(r.mask)};
    EXPECT_EQ(ipv4Text(subnet.firstHost()), r.first) << r.address;
    EXPECT_EQ(ipv4Text(subnet.lastHost()), r.last) << r.address;
  }
}

}  // namespace
}  // namespace zv
