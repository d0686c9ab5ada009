#include "common/netInterfaces.h"

#include "platform/ipv4.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace zv {
namespace {

uint32_t address(const char* text) {
  return parseIpv4Text(text).value_or(0);
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
  interfaceList list{{"eth0", address("192.168.1.5"), address("255.255.255.0"), false, false}};
  EXPECT_FALSE(onInterfaceNetwork(list, address("192.168.1.9")));
  list[0].up = true;
  EXPECT_TRUE(onInterfaceNetwork(list, address("192.168.1.9")));
  EXPECT_FALSE(onInterfaceNetwork(list, address("192.168.2.9")));
}

}  // namespace
}  // namespace zv
