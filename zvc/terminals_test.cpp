#include "zvc/terminals.h"

#include "common/installPaths.h"
#include "platform/files.h"
#include "testsupport/testSupport.h"
#include "zvc/messageBox.h"

#include <gtest/gtest.h>
#include <filesystem>

namespace zv {
namespace {

class TerminalStore : public ::testing::Test {
 protected:
  void SetUp() override {
    setInstallationPaths(derivePaths(dir / "prog", dir / "data"));
    makeDirectories(paths().terminalsDir);
  }
  void TearDown() override { resetInstallationPaths(); }
  std::string terminalDir(const char* name) { return paths().terminalsDir + name + "/"; }
  macAddress mac(const char* text) { return *parseMac(std::string_view(text), ':'); }

  test::tempDir dir;
  configLibraries libraries;
};

// Start-up makes the boot-media and group directories with empty configurations and
// loads only directories named as valid MACs.
TEST_F(TerminalStore, LoadAllTerminals) {
  for (const char* d :
       {"00.1A.2B.3C.4D.5E", "00-1A-2B-3C-4D-5E", "00.1A.2B.3C.4D", "00.00.00.00.00.00"})
    makeDirectories(terminalDir(d));
  test::writeFile(terminalDir("BB.BB.BB.BB.BB.BB") + "config.zvc", "kept");
  terminalRegister reg(libraries);
  std::vector<std::string> offered;
  reg.offerToList = [&](terminal& t) { offered.push_back(t.mac.logText()); };
  reg.groupNumbers = [] { return std::vector<int>{3, 17}; };
  reg.loadAllTerminals();

  EXPECT_EQ(test::readFile(terminalDir("CD.CD.CD.CD.CD.CD") + "config.zvc"), "\xFF\xFE");
  EXPECT_EQ(test::readFile(terminalDir("5D.5D.5D.5D.5D.5D") + "config.zvc"), "\xFF\xFE");
  EXPECT_EQ(test::readFile(terminalDir("BB.BB.BB.BB.BB.BB") + "config.zvc"), "kept");
  EXPECT_EQ(test::readFile(terminalDir("FF.FF.FF.FF.FF.11") + "config.zvc"), "\xFF\xFE");
  // 3 boot media, 2 groups, 1 terminal; the malformed and invalid names stay out.
  EXPECT_EQ(reg.size(), 6u);
  EXPECT_EQ(offered.size(), 6u);
  EXPECT_NE(reg.findByMacText("00:1a:2b:3c:4d:5e"), nullptr);
  EXPECT_EQ(reg.findByMacText("00:1A:2B:3C:4D"), nullptr);
  EXPECT_EQ(reg.loadTerminal(mac("00:1A:2B:3C:4D:5E")), nullptr);  // already registered
}

// Hidden, comment and wake-on-LAN port are saved and read back; defaults leave no file.
TEST_F(TerminalStore, SideFilesRoundTrip) {
  terminal t(mac("00:1A:2B:3C:4D:5E"), libraries);
  t.hidden = true;
  t.comment = u"Кабинет #5, у окна";
  t.wolPort = 9;
  ASSERT_TRUE(saveTerminal(t, false));
  std::string d = terminalDir("00.1A.2B.3C.4D.5E");
  EXPECT_EQ(test::readFile(d + "hidden"), "1");
  EXPECT_EQ(test::readFile(d + "WOLport"), "\xFF\xFE" + test::utf16le(u"9"));
  EXPECT_EQ(test::readFile(d + "comment"), "\xFF\xFE" + test::utf16le(t.comment));

  terminal back(t.mac, libraries);
  loadHidden(back);
  loadComment(back);
  loadWolPort(back);
  EXPECT_TRUE(back.hidden);
  EXPECT_EQ(back.comment, t.comment);  // a '#' in a comment is text, not a remark
  EXPECT_EQ(back.wolPort, 9);

  t.hidden = false;
  t.comment.clear();
  t.wolPort = 7;  // the default port: no file, and the old one goes
  ASSERT_TRUE(saveTerminal(t, false));
  EXPECT_FALSE(test::exists(d + "hidden"));
  EXPECT_FALSE(test::exists(d + "comment"));
  EXPECT_FALSE(test::exists(d + "WOLport"));
}

// Comment and port files written by hand or by other programs read as well as they can.
TEST_F(TerminalStore, SideFilesFromOutside) {
  terminal t(mac("00:1A:2B:3C:4D:5E"), libraries);
  std::string d = terminalDir("00.1A.2B.3C.4D.5E");
  struct row {
    std::string bytes;
    uint16_t port;
  };
  for (const row& r : {row{"\xFF\xFE" + test::utf16le(u"  9009 spare\r\nx"), 9009},
                       row{"40000", 40000}, row{"99999", 0}, row{"abc", 0}, row{"", 0},
                       row{"\xFF\xFE" + test::utf16le(u"7\u00e9"), 7}}) {
    test::writeFile(d + "WOLport", r.bytes);
    loadWolPort(t);
    EXPECT_EQ(t.wolPort, r.port) << r.bytes;
  }
  test::writeFile(d + "comment", "\xFF\xFE" + test::utf16le(std::u16string(100, u'я')));
  loadComment(t);
  EXPECT_EQ(t.comment, std::u16string(63, u'я'));
  std::filesystem::remove(d + "comment");
  loadComment(t);
  EXPECT_TRUE(t.comment.empty());
}

// configStatus tells a configuration, a broken one and none apart.
TEST_F(TerminalStore, ConfigStatus) {
  terminal t(mac("00:1A:2B:3C:4D:5E"), libraries);
  std::string d = terminalDir("00.1A.2B.3C.4D.5E");
  EXPECT_EQ(configStatus(t), 0);
  test::writeFile(d + "config.zvc.broken", "x");
  EXPECT_EQ(configStatus(t), 2);
  test::writeFile(d + "config.zvc", "x");
  EXPECT_EQ(configStatus(t), 1);
}

// Deleting removes the directory and the stored password; a failure is shown.
TEST_F(TerminalStore, DeleteTerminal) {
  terminal t(mac("00:1A:2B:3C:4D:5E"), libraries);
  ASSERT_TRUE(saveTerminal(t, false));
  test::writeFile(paths().keysDir + "00.1A.2B.3C.4D.5E.zvrcpassword", "secret");
  EXPECT_TRUE(deleteTerminal(t));
  EXPECT_FALSE(test::exists(terminalDir("00.1A.2B.3C.4D.5E")));
  EXPECT_FALSE(test::exists(paths().keysDir + "00.1A.2B.3C.4D.5E.zvrcpassword"));
  EXPECT_TRUE(deleteTerminal(t));  // nothing left to delete
}

// findSame: valid MACs decide alone; otherwise addresses, otherwise host names.
TEST_F(TerminalStore, FindSame) {
  terminalRegister reg(libraries);
  auto make = [&](const char* m, uint32_t ip, const char* host) {
    auto t = std::make_unique<terminal>(mac(m), libraries);
    t->ip = ip;
    t->host = host;
    return reg.addTerminal(std::move(t));
  };
  terminal* a = make("00:1A:2B:3C:4D:01", 0x0A00000A, "alpha");
  make("00:1A:2B:3C:4D:02", 0x0B00000A, "beta");
  EXPECT_EQ(reg.addTerminal(std::make_unique<terminal>(mac("00:1A:2B:3C:4D:01"), libraries)),
            nullptr);

  terminalID probe(mac("00:1A:2B:3C:4D:03"));
  probe.ip = 0x0A00000A;  // same address, different valid MAC: another machine
  EXPECT_EQ(reg.findSame(probe), nullptr);
  terminalID noMac;
  noMac.ip = 0x0A00000A;
  EXPECT_EQ(reg.findSame(noMac), a);
  noMac.ip = 0xFFFFFFFF;
  noMac.host = "ALPHA";
  EXPECT_EQ(reg.findSame(noMac), a);
  noMac.host.clear();
  EXPECT_EQ(reg.findSame(noMac), nullptr);

  // A registered terminal without a valid MAC is matched by address even when the
  // probe's MAC is valid, in register order.
  terminal* odd = make("00:00:00:00:00:00", 0x0C00000A, "");
  terminalID late(mac("00:1A:2B:3C:4D:09"));
  late.ip = 0x0C00000A;
  EXPECT_EQ(reg.findSame(late), odd);
  reg.remove(odd);
  EXPECT_EQ(reg.findSame(late), nullptr);
  EXPECT_EQ(reg.size(), 2u);
}

}  // namespace
}  // namespace zv
