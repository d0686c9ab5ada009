#include "common/routers.h"

#include "platform/files.h"
#include "platform/ipv4.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

uint32_t address(const char* text) {
  return parseIpv4Text(text).value_or(0);
}

netInterface at(const char* ip, const char* gateway) {
  netInterface i;
  i.name = "eth0";
  i.ip = address(ip);
  i.mask = address("255.255.255.0");
  i.gateway = address(gateway);
  return i;
}

std::string contents(const std::string& path) {
  return readFileBytes(path).value_or("<missing>");
}

// Setting writes the router's text exactly; 0 or the address itself removes the file;
// a router on another network fails and leaves the file as it was.
TEST(Routers, SetWritesAndRemovesFiles) {
  test::tempDir dir;
  interfaceList interfaces{at("192.168.1.5", "192.168.1.1")};
  routerTable table(dir.path(), interfaces);
  const std::string file = dir / "router_192.168.1.5";
  uint32_t ip = address("192.168.1.5"), mask = address("255.255.255.0");
  EXPECT_EQ(table.routerOf(interfaces[0]), address("192.168.1.1"));

  EXPECT_TRUE(table.setRouter(address("192.168.1.254"), ip, mask));
  EXPECT_EQ(contents(file), "192.168.1.254");
  EXPECT_EQ(table.routerOf(interfaces[0]), address("192.168.1.254"));

  EXPECT_FALSE(table.setRouter(address("10.0.0.1"), ip, mask));
  EXPECT_EQ(contents(file), "192.168.1.254");

  EXPECT_TRUE(table.setRouter(ip, ip, mask));
  EXPECT_FALSE(fileExists(file));
  EXPECT_EQ(table.routerOf(interfaces[0]), address("192.168.1.1"));
  EXPECT_TRUE(table.setRouter(address("192.168.1.2"), ip, mask));
  EXPECT_TRUE(table.setRouter(0, ip, mask));
  EXPECT_FALSE(fileExists(file));
}

// Loading keeps good files and deletes those that are unreadable as an address, hold
// 0, or repeat the interface's gateway; other names are left alone.
TEST(Routers, LoadCleansRedundantFiles) {
  test::tempDir dir;
  struct row {
    const char* name;
    const char* content;
    bool kept;
  };
  const row rows[] = {
      {"router_192.168.1.5", "192.168.1.254", true},
      {"router_192.168.2.5", "192.168.2.1\r\n", true},
      {"router_192.168.3.5", "192.168.3.1", false},  // the gateway
      {"router_192.168.4.5", "0.0.0.0", false},
      {"router_192.168.5.5", "garbage", false},
      {"router_abc", "1.2.3.4", true},  // not a router file
      {"other", "1.2.3.4", true},
  };
  for (const row& r : rows) ASSERT_TRUE(writeFileAtomically(dir / r.name, r.content));
  interfaceList interfaces{at("192.168.1.5", "192.168.1.1"), at("192.168.2.5", "192.168.2.5"),
                           at("192.168.3.5", "192.168.3.1")};
  routerTable table(dir.path(), interfaces);
  EXPECT_EQ(table.routerOf(interfaces[0]), address("192.168.1.254"));
  EXPECT_EQ(table.routerOf(interfaces[1]), address("192.168.2.1"));
  EXPECT_EQ(table.routerOf(interfaces[2]), address("192.168.3.1"));
  for (const row& r : rows) EXPECT_EQ(fileExists(dir / r.name), r.kept) << r.name;
  EXPECT_EQ(routerTable::fileName(address("10.0.0.1")), "router_10.0.0.1");
}

}  // namespace
}  // namespace zv
