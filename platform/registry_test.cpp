#include "platform/registry.h"

#include "testsupport/testSupport.h"

#include <gtest/gtest.h>
#include <thread>

namespace zv {
namespace {

constexpr const char* key = "Software\\Zelvar";

class RegistryStore : public ::testing::Test {
 protected:
  test::tempDir dir;
  test::logCapture log;
  std::string path = dir / "registry.conf";
  registryStore store{path};
};

// The hand-written form of the file reads with every type, case-blind names and keys.
TEST_F(RegistryStore, ReadsHandWrittenFile) {
  test::writeFile(path,
                  "# installation\n"
                  "[Software\\Zelvar]\n"
                  "Programs = sz:/opt/zelvar \n"
                  "Data=sz:/var/lib/zelvar\n"
                  "httpboot = dword:1\n"
                  "mask = dword:0xFFFFFF00\n"
                  "BindIP = multi:192.168.1.5,10.0.0.1\n"
                  "Odd = multi:a\\,b,c\\\\,\n"
                  "@ = sz:/opt/default\r\n");
  std::string text;
  ASSERT_EQ(store.queryString("software\\ZELVAR", "programs", text), regStatus::ok);
  EXPECT_EQ(text, "/opt/zelvar ");  // sz data is verbatim, trailing blank included
  ASSERT_EQ(store.queryString(key, "@", text), regStatus::ok);
  EXPECT_EQ(text, "/opt/default");
  uint32_t n = 0;
  ASSERT_EQ(store.queryDword(key, "httpboot", n), regStatus::ok);
  EXPECT_EQ(n, 1u);
  ASSERT_EQ(store.queryDword(key, "mask", n), regStatus::ok);
  EXPECT_EQ(n, 0xFFFFFF00u);
  std::vector<std::string> list;
  ASSERT_EQ(store.queryMulti(key, "BindIP", list), regStatus::ok);
  EXPECT_EQ(list, (std::vector<std::string>{"192.168.1.5", "10.0.0.1"}));
  ASSERT_EQ(store.queryMulti(key, "Odd", list), regStatus::ok);
  EXPECT_EQ(list, (std::vector<std::string>{"a,b", "c\\", ""}));
}

// Missing file, missing key, missing value and wrong type are told apart.
TEST_F(RegistryStore, DistinguishesMissingKeyValueAndType) {
  std::string text;
  EXPECT_EQ(store.queryString(key, "Data", text), regStatus::noKey);
  EXPECT_FALSE(store.keyExists(key));
  ASSERT_TRUE(store.createKey(key));
  EXPECT_TRUE(store.keyExists(key));
  EXPECT_EQ(store.queryString(key, "Data", text), regStatus::noValue);
  ASSERT_TRUE(store.set(key, "httpboot", regValue::dword(2)));
  EXPECT_EQ(store.queryString(key, "httpboot", text), regStatus::wrongType);
  EXPECT_EQ(store.deleteValue(key, "nothing"), regStatus::noValue);
  EXPECT_EQ(store.deleteValue("Other", "x"), regStatus::noKey);
}

// Values written and read back are equal; the file keeps comments and damaged lines.
TEST_F(RegistryStore, RoundTripKeepsForeignLines) {
  test::writeFile(path,
                  "# keep me\n[Software\\Zelvar]\nbroken line\nA = sz:1\n\n[Other]\nB = dword:7\n");
  std::vector<regValue> values = {regValue::string("x = y, z\\ "), regValue::dword(0xFFFFFFFF),
                                  regValue::multi({"a,b", "\\", ""}), regValue::multi({})};
  for (const auto& v : values) {
    ASSERT_TRUE(store.set(key, "Value", v));
    regValue back;
    ASSERT_EQ(store.query(key, "value", back), regStatus::ok);
    EXPECT_EQ(back, v);
  }
  ASSERT_TRUE(store.set("Software\\Zelvar\\ZVCenter", "width", regValue::dword(1200)));
  std::string text = test::readFile(path);
  EXPECT_EQ(text.find("# keep me\n[Software\\Zelvar]\nbroken line\nA = sz:1\nValue = "), 0u)
      << text;
  EXPECT_NE(text.find("[Other]\nB = dword:7\n"), std::string::npos);
  EXPECT_NE(text.find("[Software\\Zelvar\\ZVCenter]\nwidth = dword:1200\n"), std::string::npos);
  EXPECT_EQ(store.valueNames(key), (std::vector<std::string>{"A", "Value"}));
}

// Damaged lines are logged and skipped; the rest of the file still loads.
TEST_F(RegistryStore, DamagedFileLoadsWhatItCan) {
  using namespace std::string_literals;
  test::writeFile(path,
                  "[Software\\Zelvar]\nno equals\nx = dword:banana\n"
                  "y = dword:4294967296\nz = qword:1\n= sz:nameless\n"
                  "\0\xff\xfe garbage\nData = sz:/d\n[unclosed\n"s);
  std::string text;
  EXPECT_EQ(store.queryString(key, "Data", text), regStatus::ok);
  EXPECT_EQ(text, "/d");
  uint32_t n;
  EXPECT_EQ(store.queryDword(key, "x", n), regStatus::noValue);
  EXPECT_EQ(store.queryDword(key, "y", n), regStatus::noValue);
  EXPECT_TRUE(log.contains("is not understood and is skipped: x = dword:banana"));
}

// A file of 160,000 bad lines costs a bounded number of log lines per read, and the
// good line after them is still found.
TEST_F(RegistryStore, ManyBadLinesLogFewLines) {
  std::string bytes = "[Software\\Zelvar]\n";
  for (int i = 0; i < 160000; ++i) bytes += "bad line\n";
  bytes += "Data = sz:/d\n";
  test::writeFile(path, bytes);
  std::string text;
  EXPECT_EQ(store.queryString(key, "Data", text), regStatus::ok);
  EXPECT_EQ(text, "/d");
  std::string logged = log.text();
  std::size_t lines = 0;
  for (char c : logged) lines += c == '\n';
  EXPECT_EQ(lines, 21u) << logged.substr(0, 500);
  EXPECT_TRUE(log.contains(path + ": 159980 more bad lines were skipped without a line each."));
}

// Names and data that the line form cannot carry are refused, the file untouched.
TEST_F(RegistryStore, RefusesUnwritableNamesAndData) {
  EXPECT_FALSE(store.set(key, "a=b", regValue::dword(1)));
  EXPECT_FALSE(store.set(key, "line\nbreak", regValue::dword(1)));
  EXPECT_FALSE(store.set(key, "v", regValue::string("two\nlines")));
  EXPECT_FALSE(store.set("", "v", regValue::dword(1)));
  EXPECT_FALSE(test::exists(path));
}

// Deleting a key removes its values and leaves other keys.
TEST_F(RegistryStore, DeleteKey) {
  ASSERT_TRUE(store.set("A", "x", regValue::dword(1)));
  ASSERT_TRUE(store.set("B", "y", regValue::dword(2)));
  EXPECT_EQ(store.deleteKey("a"), regStatus::ok);
  EXPECT_FALSE(store.keyExists("A"));
  uint32_t n = 0;
  EXPECT_EQ(store.queryDword("B", "y", n), regStatus::ok);
  EXPECT_EQ(store.deleteKey("A"), regStatus::noKey);
}

// Two stores on one file (two processes) changing different values lose nothing.
TEST_F(RegistryStore, ConcurrentWritersLoseNothing) {
  registryStore other(path);
  std::thread a([&] {
    for (int i = 0; i < 50; ++i) store.set(key, "a" + std::to_string(i), regValue::dword(i));
  });
  std::thread b([&] {
    for (int i = 0; i < 50; ++i) other.set(key, "b" + std::to_string(i), regValue::dword(i));
  });
  a.join();
  b.join();
  EXPECT_EQ(store.valueNames(key).size(), 100u);
}

// A store whose directory is missing is created on the first write.
TEST(RegistryStoreFile, CreatesMissingDirectories) {
  test::tempDir dir;
  registryStore store(dir / "a/b/registry.conf");
  ASSERT_TRUE(store.set("K", "v", regValue::string("x")));
  EXPECT_EQ(test::readFile(dir / "a/b/registry.conf"), "[K]\nv = sz:x\n");
}

}  // namespace
}  // namespace zv
