#include "common/netInterfaces.h"

#include "platform/ipv4.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace zv {
namespace {

uint32_t address(const char* text) {
  return parseIpv4Text(text).value_or(0);
}

netInterface entry(const char* name, uint32_t ip, uint32_t mask, bool up) {
  netInterface i;
  i.name = name;
  i.ip = ip;
  i.mask = mask;
  i.up = up;
  return i;
}

// Confined to the loopback interface, the scan finds 127.0.0.1/8 and nothing else, and
// the network test follows its mask.
TEST(NetInterfaces, LoopbackOnlyScanAndNetworkTest) {
  ASSERT_EQ(setenv("ZELVAR_INTERFACES", "lo", 1), 0);
  interfaceList found = scanInterfaces();
  ASSERT_FALSE(found.empty());
  for (const netInterface& i : found) EXPECT_EQ(i.name, "lo");
  EXPECT_EQ(found[0].ip, address("127.0.0.1"));
  EXPECT_EQ(found[0].mask, address("255.0.0.0"));
  EXPECT_TRUE(found[0].up);
  EXPECT_TRUE(found[0].loopback);
  EXPECT_TRUE(onInterfaceNetwork(found, address("127.5.5.5")));
  EXPECT_FALSE(onInterfaceNetwork(found, address("10.9.9.9")));

  ASSERT_EQ(setenv("ZELVAR_INTERFACES", "no-such-interface", 1), 0);
  EXPECT_TRUE(scanInterfaces().empty());
  ASSERT_EQ(setenv("ZELVAR_INTERFACES", "lo", 1), 0);
}

// The variable's list: whole names only, empty items ignored; unset takes every name.
TEST(NetInterfaces, NameList) {
  EXPECT_TRUE(interfaceNameAllowed("eth0", ""));
  EXPECT_TRUE(interfaceNameAllowed("lo", "eth0,lo"));
  EXPECT_FALSE(interfaceNameAllowed("lo", "loop,eth0"));
  EXPECT_FALSE(interfaceNameAllowed("", ",,"));
  EXPECT_FALSE(interfaceNameAllowed("eth", "eth0"));
}

// A down interface serves no network.
TEST(NetInterfaces, DownInterfaceServesNothing) {
  interfaceList list{entry("eth0", address("192.168.1.5"), address("255.255.255.0"), false)};
  EXPECT_FALSE(onInterfaceNetwork(list, address("192.168.1.9")));
  list[0].up = true;
  EXPECT_TRUE(onInterfaceNetwork(list, address("192.168.1.9")));
  EXPECT_FALSE(onInterfaceNetwork(list, address("192.168.2.9")));
}

// Only default routes with the gateway flag and a gateway count; malformed and short
// lines, oversized fields and a missing header are survived.
TEST(NetInterfaces, DefaultRoutesFromRouteTable) {
  std::string text =
      "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
      "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
      "eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
      "eth1\t00000000\t010010AC\t0001\t0\t0\t100\t00000000\t0\t0\t0\n"  // no gateway flag
      "eth2\t00000000\tZZ\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
      "eth3\t00000000\t123456789\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
      "eth4\t00000000\n"
      "eth5 00000000 FE00000A 0003 0 0 0 00000000 0 0 0\n"
      "eth0\t00000000\t0201A8C0\t0003\t0\t0\t200\t00000000\t0\t0\t0";
  std::vector<defaultRoute> routes = parseDefaultRoutes(text);
  ASSERT_EQ(routes.size(), 3u);
  EXPECT_EQ(gatewayOf(routes, "eth0"), address("192.168.1.1"));
  EXPECT_EQ(gatewayOf(routes, "eth5"), address("10.0.0.254"));
  EXPECT_EQ(gatewayOf(routes, "eth1"), 0u);
  EXPECT_TRUE(parseDefaultRoutes("").empty());
  EXPECT_TRUE(parseDefaultRoutes(std::string(100000, '\n')).empty());
  std::string many = "header\n";
  for (int i = 0; i < 1000; ++i) many += "eth0 00000000 0101A8C0 0003 0 0 0 00000000\n";
  EXPECT_EQ(parseDefaultRoutes(many).size(), interfaceTableLimit);
}

// MTU text: a decimal number with an optional line end, nothing else.
TEST(NetInterfaces, MtuText) {
  EXPECT_EQ(parseMtuText("1500\n"), 1500u);
  EXPECT_EQ(parseMtuText("65536"), 65536u);
  for (const char* bad : {"", "\n", "-1", "15 00", "1500x", "99999999999", "0x5dc"})
    EXPECT_FALSE(parseMtuText(bad)) << bad;
}

// A gateway outside the interface's network, or none, is replaced by the address.
TEST(NetInterfaces, GatewayKeptOnlyOnTheNetwork) {
  uint32_t ip = address("192.168.1.5"), mask = address("255.255.255.0");
  EXPECT_EQ(gatewayOnNetwork(ip, mask, address("192.168.1.1")), address("192.168.1.1"));
  EXPECT_EQ(gatewayOnNetwork(ip, mask, address("192.168.2.1")), ip);
  EXPECT_EQ(gatewayOnNetwork(ip, mask, 0), ip);
}

// Merging drops vanished addresses, refreshes present ones in place and appends new
// ones, logging each removal and addition.
TEST(NetInterfaces, MergeKeepsOrderAndLogs) {
  test::logCapture log;
  interfaceList table{entry("eth0", address("10.0.0.1"), address("255.0.0.0"), true),
                      entry("eth1", address("192.168.1.5"), address("255.255.255.0"), true)};
  interfaceList fresh{entry("eth1", address("192.168.1.5"), address("255.255.0.0"), true),
                      entry("eth2", address("172.16.0.1"), address("255.255.0.0"), true)};
  EXPECT_TRUE(mergeInterfaces(table, fresh));
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table[0].name, "eth1");
  EXPECT_EQ(table[0].mask, address("255.255.0.0"));
  EXPECT_EQ(table[1].name, "eth2");
  EXPECT_TRUE(log.contains("Delete old interface IP=10.0.0.1, not found in Windows."))
      << log.text();
  EXPECT_TRUE(log.contains("Added new interface IP=172.16.0.1, found in Windows.")) << log.text();
  EXPECT_FALSE(mergeInterfaces(table, fresh));
}

// The start-up scan fills the table once and logs each entry; look-ups by index and
// address, an index out of range giving the first entry.
TEST(NetInterfaces, StartupScanAndLookups) {
  test::logCapture log;
  startupInterfaceScan();
  ASSERT_FALSE(interfaceTable().empty());
  EXPECT_TRUE(
      log.contains("Found interface 127.0.0.1/255.0.0.0 mtu 65535 mac 00:00:00:00:00:00 "
                   "adapter lo."))
      << log.text();
  const netInterface& first = interfaceTable()[0];
  EXPECT_EQ(first.description, "lo");
  EXPECT_GT(first.ifIndex, 0u);
  EXPECT_EQ(first.gateway, first.ip);
  EXPECT_EQ(findInterface(address("127.0.0.1")), &first);
  EXPECT_EQ(findInterface(address("10.1.2.3")), nullptr);
  EXPECT_EQ(interfaceAt(0), &first);
  EXPECT_EQ(interfaceAt(interfaceTable().size()), &first);
  EXPECT_TRUE(log.contains("INTERNAL ERROR")) << log.text();
  EXPECT_FALSE(refreshInterfaces());
}

}  // namespace
}  // namespace zv
