#include "common/bindIPsList.h"

#include "platform/ipv4.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

uint32_t address(const char* text) {
  return parseIpv4Text(text).value_or(0);
}

using namespace std::string_view_literals;

// The value's strings end at 0 bytes, carriage returns or line feeds; a bad string ends
// the list and is logged with the rest of its text.
TEST(BindIPsList, ParseTable) {
  struct row {
    std::string_view bytes;
    std::vector<const char*> expected;
  };
  const row rows[] = {
      {"192.168.1.5\n10.0.0.1"sv, {"192.168.1.5", "10.0.0.1"}},
      {"192.168.1.5\0"
       "10.0.0.1\0\0"sv,
       {"192.168.1.5", "10.0.0.1"}},
      {"192.168.1.5\r\n\r\n10.0.0.1\r\n"sv, {"192.168.1.5", "10.0.0.1"}},
      {"\0"
       "10.0.0.1\0"sv,
       {}},
      {""sv, {}},
      {"1.2.3.4"sv, {"1.2.3.4"}},
  };
  for (const row& r : rows) {
    bindList got = parseBindList(r.bytes);
    ASSERT_EQ(got.size(), r.expected.size()) << r.bytes;
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], address(r.expected[i]));
  }
  test::logCapture log;
  bindList got = parseBindList("192.168.1.5\nabc\n10.0.0.1"sv);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_TRUE(log.contains("BindIP: 192.168.1.5")) << log.text();
  EXPECT_TRUE(log.contains("Incorrect line in BindIP list: abc?10.0.0.1.")) << log.text();
}

// Only the first 256 bytes are read: an address cut there ends the list as a bad one.
TEST(BindIPsList, BoundedValue) {
  std::string many;
  for (int i = 0; i < 70; ++i) many += "10.1.1." + std::to_string(100 + i) + '\n';
  bindList got = parseBindList(many);
  EXPECT_EQ(got.size(), bindValueReadLimit / 11);  // 11 bytes a line
  EXPECT_EQ(got.back(), address("10.1.1.122"));
}

// What is saved loads back; a missing value is logged and binds nothing; a plain
// string value is read as the list's text.
TEST(BindIPsList, SaveLoadAndIsBound) {
  test::tempDir dir;
  registryStore store(dir / "registry.conf");
  ASSERT_TRUE(store.createKey("Software\\Zelvar"));
  {
    test::logCapture log;
    loadBindList(store);
    EXPECT_TRUE(boundAddresses().empty());
    EXPECT_TRUE(log.contains("No BindIP key found in registry.")) << log.text();
  }
  ASSERT_TRUE(saveBindList({address("192.168.1.5"), address("10.0.0.1")}, store));
  regValue stored;
  ASSERT_EQ(store.query("Software\\Zelvar", "BindIP", stored), regStatus::ok);
  EXPECT_EQ(stored.type, regType::multi);
  EXPECT_EQ(bindValueBytes(stored),
            "192.168.1.5\0"
            "10.0.0.1\0\0"sv);
  loadBindList(store);
  EXPECT_TRUE(isBound(address("10.0.0.1")));
  EXPECT_FALSE(isBound(address("10.0.0.2")));

  ASSERT_TRUE(saveBindList({}, store));
  ASSERT_EQ(store.query("Software\\Zelvar", "BindIP", stored), regStatus::ok);
  EXPECT_EQ(bindValueBytes(stored), "\0"sv);
  loadBindList(store);
  EXPECT_TRUE(boundAddresses().empty());

  ASSERT_TRUE(store.set("Software\\Zelvar", "BindIP", regValue::string("172.16.0.1")));
  loadBindList(store);
  EXPECT_TRUE(isBound(address("172.16.0.1")));
}

}  // namespace
}  // namespace zv
