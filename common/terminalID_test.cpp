#include "common/terminalID.h"

#include "common/fstream.h"
#include "common/installPaths.h"
#include "platform/files.h"
#include "platform/textConv.h"
#include "testsupport/testSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <ctime>
#include <regex>
#include <vector>

namespace zv {
namespace {

using test::hexBytes;
using test::readFile;
using test::utf16le;
using test::writeFile;

const macAddress sampleMac{{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}};
const std::string macTag = "[00:1A:2B:3C:4D:5E] ";

// What a loaded field holds, as text, for the table below.
std::string fieldText(const terminalID& id, std::string_view file) {
  if (file == "host") return id.host;
  if (file == "version") return id.version;
  if (file == "ip") return ipv4Text(id.ip);
  if (file == "lastlogin") return toUtf8(id.lastLogin);
  if (file == "platform") return std::to_string(id.platform);
  return id.runsProduct ? "set" : "clear";
}

class TerminalIdentity : public ::testing::Test {
 protected:
  void SetUp() override {
    setInstallationPaths(derivePaths(tmp / "prog", tmp / "data"));
    ASSERT_TRUE(makeDirectories(paths().logsDir));
    dir = paths().terminalsDir + "00.1A.2B.3C.4D.5E/";
  }
  void TearDown() override { resetInstallationPaths(); }

  // The change-log messages without their time prefix; every line must be complete.
  std::vector<std::string> changes() {
    std::string text = readFile(terminalChangeLogPath());
    static const std::regex line(R"(\[\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\] ([^\r\n]*)\r\n)");
    std::vector<std::string> messages;
    std::size_t consumed = 0;
    for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it) {
      EXPECT_EQ(std::size_t(it->position()), consumed) << "stray bytes in the change log";
      messages.push_back((*it)[1]);
      consumed += it->length();
    }
    EXPECT_EQ(consumed, text.size());
    return messages;
  }
  std::string diagnostics() { return readFile(paths().logsDir + "zvc.log"); }
  ino_t inode(const char* name) {
    struct stat info {};
    return ::stat((dir + name).c_str(), &info) == 0 ? info.st_ino : 0;
  }
  terminalID full() {
    terminalID id(sampleMac);
    id.ip = 0x0A01A8C0;  // 192.168.1.10
    id.version = "4.1.2";
    id.host = "desk-7";
    id.lastLogin = u"Иванов";
    id.platform = platformWindows;
    id.runsProduct = true;
    return id;
  }

  test::tempDir tmp;
  std::string dir;
};

TEST_F(TerminalIdentity, DirectoryIsCreatedOnceWithItsLine) {
  EXPECT_EQ(terminalDirectory(sampleMac), dir);
  EXPECT_EQ(terminalDirectory(sampleMac), dir);
  EXPECT_TRUE(isDirectory(dir));
  EXPECT_EQ(changes(), std::vector<std::string>{macTag + "Created. Source: configurator."});
}

// Invalid addresses never get a directory, files or change lines.
TEST_F(TerminalIdentity, InvalidMacIsRefused) {
  for (const char* text : {"00:00:00:00:00:00", "44:44:44:44:44:44", "FF:FF:FF:FF:FF:FF"}) {
    terminalID id = full();
    id.mac = *parseMac(text, ':');
    EXPECT_EQ(terminalDirectory(id.mac), "") << text;
    EXPECT_FALSE(id.storeIdentity(true)) << text;
    EXPECT_FALSE(id.storeHost()) << text;
    id.clearIp();
    EXPECT_FALSE(test::exists(paths().terminalsDir + id.mac.directoryName())) << text;
  }
  EXPECT_TRUE(changes().empty());
  EXPECT_NE(diagnostics().find("INTERNAL ERROR ("), std::string::npos);
}

TEST_F(TerminalIdentity, NoPathsNoDirectory) {
  resetInstallationPaths();
  EXPECT_EQ(terminalDirectory(sampleMac), "");
  EXPECT_FALSE(full().storeIdentity(false));
  EXPECT_FALSE(test::exists("00.1A.2B.3C.4D.5E"));
}

// Every field written byte-exact with its line; storing again writes and logs nothing.
TEST_F(TerminalIdentity, StoreWritesEachChangeOnce) {
  ASSERT_TRUE(full().storeIdentity(false));
  EXPECT_EQ(readFile(dir + "ip"), "192.168.1.10");
  EXPECT_EQ(readFile(dir + "version"), "4.1.2");
  EXPECT_EQ(readFile(dir + "host"), "desk-7");
  EXPECT_EQ(readFile(dir + "lastlogin"), hexBytes("FF FE") + utf16le(u"Иванов"));
  EXPECT_EQ(readFile(dir + "platform"), "Windows");
  EXPECT_EQ(readFile(dir + "iszelvar"), "1");
  EXPECT_FALSE(test::exists(dir + "online"));
  const std::vector<std::string> expected = {
      macTag + "Created. Source: configurator.",
      macTag + "Changed IP 0.0.0.0 => 192.168.1.10. Source: configurator.",
      macTag + "Changed version '' => '4.1.2'. Source: configurator.",
      macTag + "Changed host '' => 'desk-7'. Source: configurator.",
      macTag + "Changed last login '' => 'Иванов'. Source: configurator.",
      macTag + "Changed platform platform-none => Windows. Source: configurator.",
      macTag + "Set iszelvar flag. Source: configurator.",
  };
  EXPECT_EQ(changes(), expected);

  const char* files[] = {"ip", "version", "host", "lastlogin", "platform", "iszelvar"};
  std::vector<ino_t> before;
  for (const char* name : files) before.push_back(inode(name));
  ASSERT_TRUE(full().storeIdentity(false));
  for (std::size_t i = 0; i < before.size(); ++i) EXPECT_EQ(inode(files[i]), before[i]) << files[i];
  EXPECT_EQ(changes(), expected);

  terminalID loaded(sampleMac);
  loaded.loadIdentity();
  for (const char* name : files) EXPECT_EQ(fieldText(loaded, name), fieldText(full(), name));
}

// Texts differ only when unequal after mapping a-z to upper case; empty fields and
// unknown platform codes never overwrite what is stored.
TEST_F(TerminalIdentity, WhatCountsAsAChange) {
  ASSERT_TRUE(full().storeIdentity(false));
  struct row {
    void (*change)(terminalID&);
    const char* file;
    std::string line;  // empty: nothing written
  };
  const row rows[] = {
      {[](terminalID& id) { id.version = "4.1.2"; }, "version", ""},
      {[](terminalID& id) { id.host = "DESK-7"; }, "host", ""},
      {[](terminalID& id) { id.lastLogin = u"ИВАНОВ"; }, "lastlogin",
       "Changed last login 'Иванов' => 'ИВАНОВ'. Source: configurator."},
      {[](terminalID& id) { id.version = "4.1.3"; }, "version",
       "Changed version '4.1.2' => '4.1.3'. Source: configurator."},
      {[](terminalID& id) { id.host = "desk-7\r\n"; }, "host", ""},
      {[](terminalID& id) { id.platform = 7; }, "platform", ""},
      {[](terminalID& id) { id.platform = platformX86; }, "platform",
       "Changed platform Windows => x86. Source: configurator."},
      {[](terminalID& id) { id.ip = 0x0B01A8C0; }, "ip",
       "Changed IP 192.168.1.10 => 192.168.1.11. Source: configurator."},
  };
  for (const row& r : rows) {
    terminalID id(sampleMac);  // only the field under test is set
    r.change(id);
    std::size_t lines = changes().size();
    ino_t before = inode(r.file);
    EXPECT_TRUE(id.storeIdentity(false)) << r.file;
    std::vector<std::string> now = changes();
    if (r.line.empty()) {
      EXPECT_EQ(now.size(), lines) << r.file;
      EXPECT_EQ(inode(r.file), before) << r.file;
    } else {
      ASSERT_EQ(now.size(), lines + 1) << r.file;
      EXPECT_EQ(now.back(), macTag + r.line);
    }
  }
  EXPECT_EQ(readFile(dir + "platform"), "x86");
}

// Single-field stores skip unchanged values; a zero ip keeps the file; clears delete
// and log only files that exist.
TEST_F(TerminalIdentity, SingleFieldStoresAndClears) {
  terminalID id(sampleMac);
  id.ip = 0x0100000A;
  id.host = "kiosk";
  id.version = "4.2";
  for (int pass = 0; pass < 2; ++pass)
    EXPECT_TRUE(id.storeIp() && id.storeHost() && id.storeVersion());
  ASSERT_TRUE(terminalID(sampleMac).storeIdentity(false) && terminalID(sampleMac).storeIp());
  EXPECT_EQ(readFile(dir + "ip"), "10.0.0.1");
  id.clearIp();
  id.clearHost();
  id.clearVersion();
  id.clearIp();
  EXPECT_TRUE(id.ip == 0 && id.host.empty() && id.version.empty());
  for (const char* name : {"ip", "host", "version"}) EXPECT_FALSE(test::exists(dir + name));
  const std::vector<std::string> expected = {
      macTag + "Created. Source: configurator.",
      macTag + "Changed IP 0.0.0.0 => 10.0.0.1. Source: configurator.",
      macTag + "Changed host '' => 'kiosk'. Source: configurator.",
      macTag + "Changed version '' => '4.2'. Source: configurator.",
      macTag + "Clear IP. Source: configurator.",
      macTag + "Clear host. Source: configurator.",
      macTag + "Clear version. Source: configurator.",
  };
  EXPECT_EQ(changes(), expected);
}

// A failed write is reported as a failure and leaves no change line; the other
// fields are still stored.
TEST_F(TerminalIdentity, FailedWriteIsNotLoggedAsAChange) {
  ASSERT_TRUE(makeDirectories(dir + "host"));
  terminalID id = full();
  EXPECT_FALSE(id.storeHost());
  EXPECT_FALSE(id.storeIdentity(false));
  EXPECT_EQ(readFile(dir + "version"), "4.1.2");
  for (const std::string& line : changes()) EXPECT_EQ(line.find("Changed host"), std::string::npos);
  EXPECT_NE(diagnostics().find("INTERNAL ERROR"), std::string::npos);
}

// The file readers: width limits, cuts at BEL/LF/CR/NUL, garbage never crashes.
TEST_F(TerminalIdentity, ReadRules) {
  const std::string big(4 << 20, 'x');
  const std::string bom = hexBytes("FF FE");
  const struct {
    const char* file;
    std::string bytes;
    std::string expected;
  } rows[] = {
      {"host", "abc\r\ndef", "abc"},
      {"host", std::string(40, 'h'), std::string(31, 'h')},
      {"host", std::string("a\0b", 3), "a"},
      {"host", big, std::string(31, 'x')},
      {"version", "4.1.2-build-000017\n", "4.1.2-build-000"},
      {"version", "a\x07z", "a"},
      {"ip", "10.0.0.1\r\n", "10.0.0.1"},
      {"ip", big, "0.0.0.0"},
      {"lastlogin", utf16le(u"Пётр"), "Пётр"},
      {"lastlogin", bom + utf16le(std::u16string(70, u'ж')), toUtf8(std::u16string(63, u'ж'))},
      {"lastlogin", bom + utf16le(u"ab\ncd") + "z", "ab"},
      {"lastlogin", hexBytes("FF FE 41"), ""},
      {"platform", "Windows", "100"},
      {"platform", "windows", "100"},
      {"platform", "Win", "0"},
      {"platform", "pi64BIT\r\n", "4"},
      {"platform", "platform-error", "0"},
      {"iszelvar", "", "set"},
  };
  for (const auto& r : rows) {
    ASSERT_TRUE(removeTree(dir));
    writeFile(dir + r.file, r.bytes);
    terminalID id = full();
    id.runsProduct = false;
    id.loadIdentity();
    EXPECT_EQ(fieldText(id, r.file), r.expected) << r.file << " " << r.bytes.substr(0, 20);
  }
}

// Loading never clears the runs-product flag, even without "iszelvar".
TEST_F(TerminalIdentity, UnparsableIpIsAnInternalError) {
  writeFile(dir + "ip", std::string("1.2.3\0", 6));
  terminalID id(sampleMac);
  id.runsProduct = true;
  id.loadIdentity();
  EXPECT_EQ(id.ip, 0u);
  EXPECT_TRUE(id.runsProduct);
  EXPECT_NE(diagnostics().find("INTERNAL ERROR"), std::string::npos);
}

TEST_F(TerminalIdentity, SeenOnlineStampsTheDirectory) {
  ASSERT_TRUE(full().storeIdentity(false));
  const struct timespec old[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
  auto mtime = [&] {
    struct stat info {};
    ::stat(dir.c_str(), &info);
    return info.st_mtime;
  };
  ASSERT_EQ(::utimensat(AT_FDCWD, dir.c_str(), old, 0), 0);
  ASSERT_TRUE(full().storeIdentity(false));
  EXPECT_EQ(mtime(), 1000000000);
  ASSERT_TRUE(full().storeIdentity(true));
  EXPECT_EQ(readFile(dir + "online"), "1");
  EXPECT_GE(mtime(), std::time(nullptr) - 5);
}

TEST(TerminalIdHostName, AutomaticNamesAndOutsideText) {
  struct row {
    std::string offered;
    const char* host;  // what the record holds afterwards ("old" = unchanged)
  };
  const row rows[] = {
      {"ZVW001A2B3C4D5E", "old"},
      {"zvw001a2b3c4d5e", "old"},
      {std::string("zVw001A2B3C4D5E\0", 16), "old"},
      {"ZVW001A2B3C4D5", "ZVW001A2B3C4D5"},
      {"ZVW001A2B3C4D5E0", "ZVW001A2B3C4D5E0"},
      {"ZVW001A2B3C4D5G", "ZVW001A2B3C4D5G"},
      {"zvx001A2B3C4D5E", "zvx001A2B3C4D5E"},
      {"office\r\nforged", "office"},
      {"../../etc/x", "../../etc/x"},
      {std::string(40, 'n'), "nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn"},
      {"", "old"},
      {"\x1b[2J", "old"},
  };
  for (const row& r : rows) {
    terminalID id(sampleMac);
    id.host = "old";
    id.setHostFromDhcp(r.offered);
    EXPECT_EQ(id.host, r.host) << r.offered;
  }
}

TEST(TerminalIdPlatform, NamesAndCodes) {
  const std::pair<uint32_t, const char*> rows[] = {
      {0, "platform-none"}, {1, "x86"},       {2, "uefi"},           {3, "Pi2B"},
      {4, "Pi64bit"},       {100, "Windows"}, {5, "platform-error"}, {99, "platform-error"},
  };
  for (auto [code, name] : rows) {
    EXPECT_EQ(platformName(code), name);
    uint32_t known = std::string_view(name).starts_with("platform-") ? 0 : code;
    EXPECT_EQ(parsePlatform(name), known) << name;
  }
  EXPECT_EQ(parsePlatform("UEFI"), 2u);
  EXPECT_EQ(parsePlatform("x86 "), 0u);
}

TEST(TerminalMacText, MatchesOnlyItsOwnColonForm) {
  terminalID id(sampleMac);
  EXPECT_TRUE(id.matchesMacText("00:1a:2b:3c:4d:5e"));
  EXPECT_TRUE(id.matchesMacText(u"00:1A:2B:3C:4D:5E"));
  EXPECT_FALSE(id.matchesMacText("00.1A.2B.3C.4D.5E"));
  EXPECT_FALSE(id.matchesMacText("00:1A:2B:3C:4D:5F"));
  EXPECT_FALSE(id.matchesMacText(u"00:1A:2B:3C:4D:5E "));
}

}  // namespace
}  // namespace zv
