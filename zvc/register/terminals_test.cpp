#include "zvc/register/terminals.h"

#include "common/installPaths.h"
#include "platform/files.h"
#include "testsupport/testSupport.h"
#include "zvc/ui/messageBox.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
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

// Directories are used under the names they have on disk: a lower-case one is read,
// hidden and removed in place; of two names of one MAC the upper-case one is loaded; a
// linked directory is skipped, and deleting its terminal never touches what it links to.
TEST_F(TerminalStore, DirectoriesAsFoundOnDisk) {
  test::logCapture log;
  test::writeFile(terminalDir("00.1a.2b.3c.4d.5e") + "host", "pc1");
  test::writeFile(terminalDir("00.1a.2b.3c.4d.5e") + "comment", std::string("\xFF\xFEh\0i\0", 6));
  test::writeFile(terminalDir("00.1a.2b.3c.4d.77") + "host", "lower");
  test::writeFile(terminalDir("00.1A.2B.3C.4D.77") + "host", "upper");
  test::tempDir outside;
  test::writeFile(outside / "host", "outside");
  test::writeFile(outside / "config.zvc", "theirs");
  ASSERT_EQ(::symlink(outside.path().c_str(), (paths().terminalsDir + "00.1A.2B.3C.4D.99").c_str()),
            0);
  terminalRegister reg(libraries);
  reg.loadAllTerminals();

  terminal* lower = reg.findByMacText("00:1A:2B:3C:4D:5E");
  ASSERT_NE(lower, nullptr);
  EXPECT_EQ(lower->host, "pc1");
  EXPECT_EQ(lower->comment, u"hi");
  ASSERT_NE(reg.findByMacText("00:1A:2B:3C:4D:77"), nullptr);
  EXPECT_EQ(reg.findByMacText("00:1A:2B:3C:4D:77")->host, "upper");
  EXPECT_TRUE(
      log.contains("Terminal directory 00.1a.2b.3c.4d.77 names the same MAC as "
                   "00.1A.2B.3C.4D.77 and is not loaded."));
  EXPECT_EQ(reg.findByMacText("00:1A:2B:3C:4D:99"), nullptr);
  EXPECT_TRUE(log.contains("00.1A.2B.3C.4D.99 is a link and is skipped."));

  lower->hidden = true;
  ASSERT_TRUE(saveTerminal(*lower, false));
  EXPECT_TRUE(test::exists(terminalDir("00.1a.2b.3c.4d.5e") + "hidden"));
  EXPECT_FALSE(test::exists(terminalDir("00.1A.2B.3C.4D.5E")));
  ASSERT_TRUE(deleteTerminal(*lower));
  EXPECT_FALSE(test::exists(terminalDir("00.1a.2b.3c.4d.5e")));

  terminal linked(mac("00:1A:2B:3C:4D:99"), libraries);
  linked.hidden = true;
  saveHidden(linked);
  EXPECT_FALSE(test::exists(outside / "hidden"));
  EXPECT_TRUE(deleteTerminal(linked));
  EXPECT_EQ(test::readFile(outside / "config.zvc"), "theirs");
  EXPECT_EQ(test::readFile(outside / "host"), "outside");
  // Nothing was left aside under another name.
  auto left = listDirectory(paths().terminalsDir);
  ASSERT_TRUE(left);
  for (const directoryEntry& e : *left) EXPECT_EQ(e.name.find(".deleting"), std::string::npos);
}

// The store's cases that need root; without it they skip.
class RootTerminalStore : public TerminalStore {};

// A failed deletion leaves the terminal's directory whole under its own name.
TEST_F(RootTerminalStore, DeleteFailureRestores) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make an undeletable file";
  terminal t(mac("00:1A:2B:3C:4D:5E"), libraries);
  t.comment = u"keep";
  ASSERT_TRUE(saveTerminal(t, false));
  std::string d = terminalDir("00.1A.2B.3C.4D.5E");
  test::writeFile(d + "sub/locked", "x");
  // An immutable file cannot be removed even by root (where the file system allows it).
  if (std::system(("chattr +i '" + d + "sub/locked' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "the file system has no immutable files";
  std::vector<std::string> boxes;
  setMessageBoxHandler([&](const std::string& text, const std::string&, boxButtons, boxIcon) {
    boxes.push_back(text);
    return boxAnswer::ok;
  });
  EXPECT_FALSE(deleteTerminal(t));
  std::system(("chattr -i '" + d + "sub/locked'").c_str());
  setMessageBoxHandler(nullptr);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("Ошибка удаления каталога \"" + d.substr(0, d.size() - 1) + "\": "),
            std::string::npos);
  EXPECT_TRUE(test::exists(d + "sub/locked"));
}

// Only a sighting moves a terminal directory's time ("last seen"): administrator saves
// of every kind of field keep it.
TEST_F(TerminalStore, AdministratorSavesKeepLastSeen) {
  terminal t(mac("00:1A:2B:3C:4D:5E"), libraries);
  ASSERT_TRUE(saveTerminal(t, false));
  std::string d = terminalDir("00.1A.2B.3C.4D.5E");
  const struct timespec past[2] = {{1500000000, 0}, {1500000000, 0}};
  auto seen = [&] {
    struct stat info {};
    ::stat(d.c_str(), &info);
    return info.st_mtim.tv_sec;
  };
  ASSERT_EQ(::utimensat(AT_FDCWD, d.c_str(), past, 0), 0);
  t.hidden = true;
  t.comment = u"c";
  t.wolPort = 9;
  t.host = "pc";
  t.ip = 0x0100000A;
  t.bootType = 1;
  ASSERT_TRUE(saveTerminal(t, false));
  t.hidden = false;
  t.comment.clear();
  t.wolPort = 0;
  ASSERT_TRUE(saveTerminal(t, false));
  t.clearHost();
  EXPECT_EQ(seen(), 1500000000);
  ASSERT_TRUE(saveTerminal(t, true));
  EXPECT_GT(seen(), 1500000000);
}

// Special files in place of a terminal's files neither hang nor abort loading: the
// terminal is registered with the field empty.
TEST_F(TerminalStore, SpecialFilesInPlaceOfTerminalFiles) {
  using maker = void (*)(const std::string&);
  const std::pair<const char*, maker> specials[] = {
      {"FIFO", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); }},
      {"link to /dev/zero",
       [](const std::string& p) { ASSERT_EQ(::symlink("/dev/zero", p.c_str()), 0); }},
      {"directory", [](const std::string& p) { ASSERT_TRUE(makeDirectories(p)); }},
      {"300 MB file",
       [](const std::string& p) {
         ASSERT_EQ(::truncate((test::writeFile(p, ""), p).c_str(), off_t(300) << 20), 0);
       }},
  };
  for (const auto& [what, make] : specials) {
    for (const char* file : {"config.zvc", "comment", "WOLport", "ip", "host", "boot_type"}) {
      SCOPED_TRACE(std::string(what) + " as " + file);
      removeTree(paths().terminalsDir);
      makeDirectories(terminalDir("00.1A.2B.3C.4D.5E"));
      make(terminalDir("00.1A.2B.3C.4D.5E") + file);
      terminalRegister reg(libraries);
      reg.readOnly = true;
      reg.loadAllTerminals();
      terminal* t = reg.findByMacText("00:1A:2B:3C:4D:5E");
      ASSERT_NE(t, nullptr);
      EXPECT_TRUE(t->comment.empty());
      EXPECT_TRUE(t->host.empty());
    }
  }
}

}  // namespace
}  // namespace zv
