#include "platform/arpTable.h"

#include "testsupport/testSupport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

namespace zv {
namespace {

uint32_t address(const char* text) {
  in_addr in{};
  inet_pton(AF_INET, text, &in);
  return in.s_addr;
}

constexpr const char* header =
    "IP address       HW type     Flags       HW address            Mask     Device\n";

// Resolved, permanent and unresolved entries are read with their flags; other hardware
// is passed over; malformed lines are refused and logged without ending the table.
TEST(ArpTable, ParsesEntriesAndRefusesMalformedLines) {
  test::logCapture log;
  std::string text =
      std::string(header) +
      "10.0.0.21        0x1         0x2         00:1a:2b:3c:4d:5e     *        eth0\n"
      "10.0.0.22        0x1         0x6         00:1A:2B:3C:4D:5F     *        eth1\r\n"
      "10.0.0.23        0x1         0x0         00:00:00:00:00:00     *        eth0\n"
      "10.0.0.24        0x20        0x2         "
      "80:00:02:08:fe:80:00:00:00:00:00:00:00:00:00:00:00:00:00:01 * ib0\n"
      "10.0.0.25        0x1         0x2         00:1a:2b:3c:4d        *        eth0\n"
      "10.0.0.256       0x1         0x2         00:1a:2b:3c:4d:60     *        eth0\n"
      "10.0.0.26        1           0x2         00:1a:2b:3c:4d:61     *        eth0\n"
      "10.0.0.27        0x1         0x2         00-1a-2b-3c-4d-62     *        eth0\n"
      "10.0.0.28        0x1         0x2         00:1a:2b:3c:4d:63\n"
      "\n"
      "10.0.0.29        0x1         0x2         00:1a:2b:3c:4d:64     *        eth0";
  std::vector<arpEntry> entries = parseArpTable(text);
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].ip, address("10.0.0.21"));
  EXPECT_EQ(entries[0].mac, (std::array<uint8_t, 6>{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
  EXPECT_EQ(entries[0].device, "eth0");
  EXPECT_TRUE(entries[0].complete());
  EXPECT_EQ(entries[1].flags, 0x6u);
  EXPECT_EQ(entries[1].device, "eth1");
  EXPECT_TRUE(entries[1].complete());
  EXPECT_EQ(entries[2].ip, address("10.0.0.23"));
  EXPECT_FALSE(entries[2].complete());
  EXPECT_EQ(entries[3].ip, address("10.0.0.29"));  // the last line needs no line break
  // Five malformed lines: short MAC, bad address, decimal type, dashes, missing columns.
  std::size_t refused = 0;
  for (std::size_t at = 0; (at = log.text().find("malformed", at)) != std::string::npos; ++at)
    ++refused;
  EXPECT_EQ(refused, 5u);
}

// A table of only the header, or nothing at all, has no entries.
TEST(ArpTable, EmptyTables) {
  EXPECT_TRUE(parseArpTable(header).empty());
  EXPECT_TRUE(parseArpTable("").empty());
}

// The file path is the caller's; a missing file is no table.
TEST(ArpTable, ReadsFile) {
  test::tempDir dir;
  test::logCapture log;
  test::writeFile(dir / "arp",
                  std::string(header) + "192.168.5.1 0x1 0x2 aa:bb:cc:dd:ee:ff * enp3s0\n");
  auto table = readArpTable(dir / "arp");
  ASSERT_TRUE(table);
  ASSERT_EQ(table->size(), 1u);
  EXPECT_EQ((*table)[0].ip, address("192.168.5.1"));
  EXPECT_FALSE(readArpTable(dir / "missing"));
  EXPECT_TRUE(log.contains("Unable to read the ARP table"));
}

}  // namespace
}  // namespace zv
