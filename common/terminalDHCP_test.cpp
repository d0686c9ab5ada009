#include "common/terminalDHCP.h"

#include "common/installPaths.h"
#include "platform/files.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

using test::readFile;
using test::writeFile;

const macAddress sampleMac{{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}};

TEST(BootType, FileContents) {
  struct row {
    std::string bytes;
    uint32_t bootType;
  };
  const row rows[] = {
      {"TFTP", bootTypeTftp},
      {"http", bootTypeHttp},
      {"HtTp\r\n", bootTypeHttp},
      {"TFTP\nHTTP", bootTypeTftp},
      {"TFTP\a", bootTypeTftp},
      {std::string("HTTP\0x", 6), bootTypeHttp},
      {"TFTP ", bootTypeNone},
      {" TFTP", bootTypeNone},
      {"TFT", bootTypeNone},
      {"", bootTypeNone},
      {"HTTPS", bootTypeNone},
      {"PXE", bootTypeNone},
      {std::string(11, 'x') + "TFTP", bootTypeNone},
      {std::string(15, '\r') + "TFTP", bootTypeNone},
  };
  for (const row& r : rows) EXPECT_EQ(parseBootType(r.bytes), r.bootType) << r.bytes;
  EXPECT_EQ(bootTypeFileBytes(bootTypeTftp), "TFTP");
  EXPECT_EQ(bootTypeFileBytes(bootTypeHttp), "HTTP");
  EXPECT_EQ(bootTypeFileBytes(bootTypeNone), "");
  EXPECT_EQ(bootTypeFileBytes(3), "");
}

class TerminalDhcp : public ::testing::Test {
 protected:
  void SetUp() override {
    setInstallationPaths(derivePaths(tmp / "prog", tmp / "data"));
    ASSERT_TRUE(makeDirectories(paths().logsDir));
    dir = paths().terminalsDir + "00.1A.2B.3C.4D.5E/";
  }
  void TearDown() override { resetInstallationPaths(); }
  std::string changeLog() { return readFile(terminalChangeLogPath()); }
  std::string diagnostics() { return readFile(paths().logsDir + "zvc.log"); }

  test::tempDir tmp;
  std::string dir;
};

// Reading loads the options and the boot type and takes option 12 over as the host.
TEST_F(TerminalDhcp, ReadLoadsOptionsBootTypeAndHost) {
  writeFile(dir + "012.str", "kiosk-3");
  writeFile(dir + "026.u16", "1400");
  writeFile(dir + "boot_type", "http");
  terminalID id(sampleMac);
  dhcpOptionList options;
  uint32_t bootType = 7;
  ASSERT_TRUE(readTerminalDhcp(id, options, bootType));
  EXPECT_EQ(options.size(), 2u);
  EXPECT_EQ(bootType, bootTypeHttp);
  EXPECT_EQ(id.host, "kiosk-3");
  EXPECT_EQ(readFile(dir + "host"), "kiosk-3");
  EXPECT_NE(changeLog().find("Changed host '' => 'kiosk-3'"), std::string::npos);

  // A missing boot_type is "as everyone"; a missing directory has no options.
  ASSERT_TRUE(removeTree(dir + "boot_type"));
  ASSERT_TRUE(readTerminalDhcp(id, options, bootType));
  EXPECT_EQ(bootType, bootTypeNone);
  terminalID other(macAddress{{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5F}});
  ASSERT_TRUE(readTerminalDhcp(other, options, bootType));
  EXPECT_TRUE(options.empty());
  EXPECT_FALSE(isDirectory(paths().terminalsDir + "00.1A.2B.3C.4D.5F"));
}

// Option 12 does not become the host when it is auto or an automatic name.
TEST_F(TerminalDhcp, HostTakeOverRules) {
  const std::pair<std::string, std::string> rows[] = {
      {"[auto]", "before"},
      {"ZVW001A2B3C4D5E", "before"},
      {"zvw001A2B3C4D5", "zvw001A2B3C4D5"},
      {"new-name", "new-name"},
  };
  for (const auto& [content, host] : rows) {
    writeFile(dir + "012.str", content);
    terminalID id(sampleMac);
    id.host = "before";
    dhcpOptionList options;
    uint32_t bootType = 0;
    ASSERT_TRUE(readTerminalDhcp(id, options, bootType));
    EXPECT_EQ(id.host, host) << content;
  }
}

// Writing stores boot type and options; boot type 0 leaves the file alone, clearing
// deletes it.
TEST_F(TerminalDhcp, WriteAndClear) {
  terminalID id(sampleMac);
  dhcpOptionList options;
  bool changed = false;
  ASSERT_TRUE(putOption(options, 12, std::string("desk\0", 5), dhcpTypeStr, false, u"", changed));
  ASSERT_TRUE(writeTerminalDhcp(id, options, bootTypeTftp));
  EXPECT_EQ(readFile(dir + "boot_type"), "TFTP");
  EXPECT_EQ(readFile(dir + "012.str"), "desk");
  EXPECT_EQ(readFile(dir + "host"), "desk");
  EXPECT_EQ(id.host, "desk");

  ASSERT_TRUE(writeTerminalDhcp(id, options, bootTypeHttp));
  EXPECT_EQ(readFile(dir + "boot_type"), "HTTP");
  ASSERT_TRUE(writeTerminalDhcp(id, options, bootTypeNone));
  EXPECT_EQ(readFile(dir + "boot_type"), "HTTP");

  uint32_t bootType = bootTypeHttp;
  EXPECT_TRUE(clearTerminalBootType(id, bootType));
  EXPECT_EQ(bootType, bootTypeNone);
  EXPECT_FALSE(test::exists(dir + "boot_type"));
  EXPECT_TRUE(clearTerminalBootType(id, bootType));  // nothing left to delete

  dhcpOptionList loaded;
  ASSERT_TRUE(readTerminalDhcp(id, loaded, bootType));
  EXPECT_EQ(loaded, options);
  EXPECT_EQ(bootType, bootTypeNone);
}

// A boot type that cannot be written stops the save before the options.
TEST_F(TerminalDhcp, BootTypeFailureStopsTheSave) {
  ASSERT_TRUE(makeDirectories(dir + "boot_type/blocked"));
  writeFile(dir + "026.u16", "1400");
  terminalID id(sampleMac);
  dhcpOptionList options;
  EXPECT_FALSE(writeTerminalDhcp(id, options, bootTypeTftp));
  EXPECT_EQ(readFile(dir + "026.u16"), "1400");
  EXPECT_FALSE(writeTerminalDhcp(id, options, 3));
  EXPECT_EQ(readFile(dir + "026.u16"), "1400");
  uint32_t bootType = bootTypeTftp;
  EXPECT_FALSE(clearTerminalBootType(id, bootType));
  EXPECT_EQ(bootType, bootTypeNone);
  EXPECT_NE(diagnostics().find("INTERNAL ERROR ("), std::string::npos);
}

// Records that cannot have a directory are refused and the outputs left alone.
TEST_F(TerminalDhcp, InvalidTerminalIsRefused) {
  terminalID id(macAddress{{0x44, 0x44, 0x44, 0x44, 0x44, 0x44}});
  dhcpOptionList options = {dhcpOption{}};
  uint32_t bootType = bootTypeHttp;
  EXPECT_FALSE(readTerminalDhcp(id, options, bootType));
  EXPECT_EQ(options.size(), 1u);
  EXPECT_EQ(bootType, bootTypeHttp);
  EXPECT_FALSE(writeTerminalDhcp(id, options, bootTypeTftp));
  EXPECT_FALSE(clearTerminalBootType(id, bootType));
  EXPECT_NE(diagnostics().find("INTERNAL ERROR ("), std::string::npos);
  resetInstallationPaths();
  terminalID good(sampleMac);
  EXPECT_FALSE(readTerminalDhcp(good, options, bootType));
  EXPECT_EQ(options.size(), 1u);
}

}  // namespace
}  // namespace zv
