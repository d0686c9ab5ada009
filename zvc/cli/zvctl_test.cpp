#include "zvc/cli/zvctl.h"

#include "common/installPaths.h"
#include "common/zvcProtocol.h"
#include "platform/diagnostics.h"
#include "platform/registry.h"
#include "testsupport/testSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sodium.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

namespace zv {
namespace {

struct result {
  int code;
  nlohmann::json json;
};

result run(std::vector<std::string> args) {
  std::ostringstream out, err;
  int code = runZvctl(args, out, err);
  return {code, out.str().empty() ? nlohmann::json() : nlohmann::json::parse(out.str())};
}

// `paths` reports every directory, or the installation error with exit code 1.
TEST(ZvctlPaths, ReportsDirectoriesOrError) {
  test::tempDir dir;
  resetInstallationPaths();
  registryStore::localMachine().setPath(dir / "hklm.conf");
  result broken = run({"paths"});
  EXPECT_EQ(broken.code, 1);
  EXPECT_EQ(broken.json["error"], "Zelvar установлена некорректно.");

  registryStore::localMachine().set("Software\\Zelvar", "Programs", regValue::string("/opt/z"));
  registryStore::localMachine().set("Software\\Zelvar", "Data", regValue::string(dir / "data"));
  result ok = run({"paths"});
  EXPECT_EQ(ok.code, 0);
  EXPECT_EQ(ok.json["ok"], true);
  EXPECT_EQ(ok.json["skin"], "/opt/z/Bin/skin/");
  EXPECT_EQ(ok.json["terminals"], dir / "data/Terminals/");
  resetInstallationPaths();
}

// `config parse` prints the pairs with continuations joined, in UTF-8.
TEST(ZvctlConfigParse, PrintsPairs) {
  test::tempDir dir;
  std::string path = dir / "config.zvc";
  test::writeFile(path, "\xFF\xFE" + test::utf16le(u"# head\r\nvideo = 1\r\npath=C:\\dir\\ \r\n"
                                                   u"  sub\r\nname  Пётр # comment\r\nflag\r\n"));
  result r = run({"config", "parse", path});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(
      r.json.dump(),
      R"({"ok":true,"pairs":[["video","1"],["path","C:\\dirsub"],["name","Пётр"],["flag",""]]})");
}

// A file that would fail to load is reported and left exactly where and as it was.
TEST(ZvctlConfigParse, FailureLeavesFileAlone) {
  test::tempDir dir;
  std::string path = dir / "config.zvc";
  std::string bytes = "good=1\nключ=2\n";
  test::writeFile(path, bytes);
  result r = run({"config", "parse", path});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.json["error"], "Failed to load line: ключ=2");
  EXPECT_EQ(test::readFile(path), bytes);
  EXPECT_FALSE(test::exists(path + ".broken"));

  result missing = run({"config", "parse", dir / "none.zvc"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.json["error"], "Failed to open file.");
}

// Unknown commands print usage and exit 2 without output on stdout.
TEST(Zvctl, UnknownCommand) {
  std::ostringstream out, err;
  EXPECT_EQ(runZvctl({"frobnicate"}, out, err), 2);
  EXPECT_TRUE(out.str().empty());
  EXPECT_NE(err.str().find("usage"), std::string::npos);
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

// A small installation: libraries, DHCP defaults and three terminals.
class ZvctlInstallation : public ::testing::Test {
 protected:
  void SetUp() override {
    resetInstallationPaths();
    registryStore::localMachine().setPath(dir / "hklm.conf");
    registryStore::localMachine().set("Software\\Zelvar", "Programs",
                                      regValue::string(dir / "prog"));
    registryStore::localMachine().set("Software\\Zelvar", "Data", regValue::string(dir / "data"));
    std::string data = dir / "data/";
    utf16(data + "Templates/office.zvc", u"sound=off\r\nvideo=800x600\r\n");
    utf16(data + "Connections/farm.zvc", u"type=rdp\r\ndisplayName=Ферма\r\n");
    utf16(data + "Everyone/all.zvc", u"timezone=UTC\r\n");
    test::writeFile(data + "DHCP/003.ip", "10.0.0.1");
    test::writeFile(data + "DHCP/042.ip", "10.0.0.2");
    std::string a = data + "Terminals/00.1A.2B.3C.4D.01/";
    test::writeFile(a + "ip", "10.0.0.21");
    test::writeFile(a + "host", "reception");
    test::writeFile(a + "hidden", "1");
    test::writeFile(a + "042.ip", "10.9.9.9");
    test::writeFile(a + "boot_type", "HTTP");
    utf16(a + "comment", u"Касса #2");
    utf16(a + "config.zvc",
          u"video=1024x768\r\ntemplate office\r\nconnection farm\r\nuser=kassa\r\n");
    std::string b = data + "Terminals/00.1A.2B.3C.4D.02/";
    test::writeFile(b + "config.zvc", "ok=1\r\n\xd0\xba=2\r\n");
  }
  void TearDown() override { resetInstallationPaths(); }
  static void utf16(const std::string& path, std::u16string_view text) {
    test::writeFile(path, "\xFF\xFE" + test::utf16le(text));
  }
  test::tempDir dir;
};

// `terminals` reports every registered terminal from its files, and changes none.
TEST_F(ZvctlInstallation, Terminals) {
  result r = run({"terminals"});
  ASSERT_EQ(r.code, 0) << r.json;
  ASSERT_EQ(r.json["terminals"].size(), 5u);  // with the three boot-media defaults
  nlohmann::json a, b;
  for (const auto& t : r.json["terminals"]) {
    if (t["mac"] == "00:1A:2B:3C:4D:01") a = t;
    if (t["mac"] == "00:1A:2B:3C:4D:02") b = t;
  }
  EXPECT_EQ(a["ip"], "10.0.0.21");
  EXPECT_EQ(a["host"], "reception");
  EXPECT_EQ(a["hidden"], true);
  EXPECT_EQ(a["comment"], "Касса #2");
  EXPECT_EQ(a["bootType"], "HTTP");
  EXPECT_EQ(a["configStatus"], 1);
  EXPECT_EQ(b["ip"], "");
  EXPECT_EQ(b["configStatus"], 1);
  // A read-only look: the damaged file keeps its name, no directories appear.
  EXPECT_TRUE(test::exists(dir / "data/Terminals/00.1A.2B.3C.4D.02/config.zvc"));
  EXPECT_FALSE(test::exists(dir / "data/Terminals/CD.CD.CD.CD.CD.CD"));
}

// Every query leaves a damaged installation exactly as it was (names, sizes, times;
// the diagnostic log aside), and `terminals` still shows the register the console
// would: the boot-media and group defaults and the host name DHCP option 12 gives.
TEST_F(ZvctlInstallation, QueriesChangeNothing) {
  std::string data = dir / "data/";
  test::writeFile(data + "Templates/\xD0\xA8.zvc", "video=1\n");
  test::writeFile(data + "Templates/bad.zvc", "\xD0\xBA=1\n");
  test::writeFile(data + "Connections/bad.zvc", std::string(5000, 'x') + "\n");
  test::writeFile(data + "Everyone/all.zvc", "\xD0\xBA=1\n");
  utf16(data + "Everyone/default.zvc", u"05 10.0.0.0/8 Офис\r\n");
  std::string c = data + "Terminals/00.1A.2B.3C.4D.03/";
  test::writeFile(c + "012.str", "till-9");
  test::writeFile(c + "config.zvc", "template missing\n");

  auto snapshot = [&] {
    std::map<std::string, std::string> tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(data)) {
      std::string path = entry.path().string();
      if (path.starts_with(data + "Logs")) continue;  // the diagnostic log
      struct stat info {};
      EXPECT_EQ(::lstat(path.c_str(), &info), 0);
      tree[path] = std::to_string(info.st_size) + " " + std::to_string(info.st_mtim.tv_sec) + "." +
                   std::to_string(info.st_mtim.tv_nsec) + " " + std::to_string(info.st_mode);
    }
    return tree;
  };
  const auto before = snapshot();
  const std::vector<std::vector<std::string>> queries = {
      {"paths"},
      {"versions"},
      {"terminals"},
      {"config", "parse", data + "Templates/bad.zvc"},
      {"config", "show", "00:1A:2B:3C:4D:01"},
      {"config", "show", "00:1A:2B:3C:4D:03"},
      {"config", "validate", "00:1A:2B:3C:4D:02"},
      {"dhcp", "show", "00:1A:2B:3C:4D:03"},
      {"dhcp", "show", "defaults"},
      {"find", "--host", "till-9"},
  };
  std::map<std::string, nlohmann::json> byMac;
  for (const auto& query : queries) {
    result r = run(query);
    if (query[0] == "terminals")
      for (const auto& t : r.json["terminals"]) byMac[t["mac"]] = t;
    if (query[0] == "find") {
      EXPECT_EQ(r.json["terminal"]["mac"], "00:1A:2B:3C:4D:03") << r.json;
    }
    ASSERT_EQ(snapshot(), before) << query[0] << " " << (query.size() > 1 ? query[1] : "");
  }
  for (const char* pseudo :
       {"CD:CD:CD:CD:CD:CD", "BB:BB:BB:BB:BB:BB", "5D:5D:5D:5D:5D:5D", "FF:FF:FF:FF:FF:05"})
    EXPECT_EQ(byMac[pseudo]["pseudo"], true) << pseudo;
  EXPECT_EQ(byMac["FF:FF:FF:FF:FF:05"]["name"], "Офис");
  EXPECT_EQ(byMac["00:1A:2B:3C:4D:03"]["host"], "till-9");
  EXPECT_EQ(byMac.size(), 7u);
  EXPECT_NE(test::readFile(data + "Logs/zvc.log")
                .find("File: " + data + "Templates/bad.zvc, error: Failed to load line:"),
            std::string::npos);
}

// `config show` gives the layout and where each value in effect comes from.
TEST_F(ZvctlInstallation, ConfigShow) {
  result r = run({"config", "show", "00:1a:2b:3c:4d:01"});
  ASSERT_EQ(r.code, 0) << r.json;
  EXPECT_EQ(r.json["general"].dump(), R"([["video","1024x768"]])");
  EXPECT_EQ(r.json["templates"].dump(), R"(["office"])");
  const auto& connection = r.json["screens"][0]["connections"][0];
  EXPECT_EQ(connection["name"], "farm");
  EXPECT_EQ(connection["displayName"], "Ферма");
  EXPECT_EQ(connection["options"].dump(), R"([["user","kassa"]])");
  std::map<std::string, std::pair<std::string, std::string>> effective;
  for (const auto& e : r.json["effective"]) effective[e["key"]] = {e["value"], e["sourceName"]};
  EXPECT_EQ(effective["video"], std::make_pair(std::string("1024x768"), std::string("own")));
  EXPECT_EQ(effective["sound"], std::make_pair(std::string("off"), std::string("template")));
  EXPECT_EQ(effective["timezone"], std::make_pair(std::string("UTC"), std::string("all")));

  result broken = run({"config", "show", "00:1A:2B:3C:4D:02"});
  EXPECT_EQ(broken.code, 1);
  EXPECT_NE(broken.json["error"].get<std::string>().find("Failed to load line: к=2"),
            std::string::npos);
  result unknown = run({"config", "show", "00:1A:2B:3C:4D:09"});
  EXPECT_EQ(unknown.code, 1);
  EXPECT_EQ(unknown.json["error"], "Unknown terminal: 00:1A:2B:3C:4D:09");
  EXPECT_EQ(run({"config", "validate", "00-1A"}).json["error"], "Invalid MAC address: 00-1A");
}

// `dhcp show` resolves a terminal's options over the defaults.
TEST_F(ZvctlInstallation, DhcpShow) {
  result r = run({"dhcp", "show", "00:1A:2B:3C:4D:01"});
  ASSERT_EQ(r.code, 0) << r.json;
  std::map<int, std::pair<std::string, std::string>> options;
  for (const auto& o : r.json["options"]) options[o["code"]] = {o["value"], o["source"]};
  EXPECT_EQ(options[3], std::make_pair(std::string("10.0.0.1"), std::string("defaults")));
  EXPECT_EQ(options[42], std::make_pair(std::string("10.9.9.9"), std::string("terminal")));
  result defaults = run({"dhcp", "show", "defaults"});
  EXPECT_EQ(defaults.json["options"].size(), 2u);
}

// `dhcp set` and `dhcp unset` store one option as the DHCP options window does: the
// exact file content, refusals that write nothing, and unset removing the file.
TEST_F(ZvctlInstallation, DhcpSetUnset) {
  std::string a = dir / "data/Terminals/00.1A.2B.3C.4D.01/";
  std::string defaults = dir / "data/DHCP/";
  struct row {
    std::vector<std::string> args;
    int code;
    std::string file;     // the file that must hold `content` afterwards, or be absent
    std::string content;  // empty: the file must not exist
  };
  const row rows[] = {
      {{"dhcp", "set", "00:1A:2B:3C:4D:01", "200", "u16", "1500"}, 0, a + "200.u16", "1500"},
      {{"dhcp", "set", "00:1A:2B:3C:4D:01", "201", "u8", "300"}, 1, a + "201.u8", ""},
      {{"dhcp", "set", "defaults", "202", "ip", "10.0.0.1.5"}, 1, defaults + "202.ip", ""},
      {{"dhcp", "set", "defaults", "203", "bin", "01 ab"}, 0, defaults + "203.bin", "\x01\xab"},
      {{"dhcp", "set", "defaults", "204", "iplist", "10.0.0.1,10.0.0.2"},
       0,
       defaults + "204.iplist",
       "10.0.0.1\r\n10.0.0.2"},
      // A predefined option keeps its type; option 18's secret stays off the command line.
      {{"dhcp", "set", "defaults", "3", "str", "x"}, 1, defaults + "003.str", ""},
      {{"dhcp", "set", "defaults", "18", "str", "0123"}, 1, defaults + "018.str", ""},
      {{"dhcp", "set", "defaults", "256", "u8", "1"}, 1, defaults + "256.u8", ""},
      // 0 turns the option off: the terminal's own 042 goes, the defaults stay.
      {{"dhcp", "set", "00:1A:2B:3C:4D:01", "42", "ip", ""}, 0, a + "042.ip", ""},
      {{"dhcp", "unset", "defaults", "3"}, 0, defaults + "003.ip", ""},
  };
  for (const row& r : rows) {
    result got = run(r.args);
    EXPECT_EQ(got.code, r.code) << r.args[3] << " " << got.json;
    if (r.code == 1) {
      EXPECT_EQ(got.json["ok"], false) << r.args[3];
    }
    if (r.content.empty()) {
      EXPECT_FALSE(std::filesystem::exists(r.file)) << r.file;
    } else {
      EXPECT_EQ(test::readFile(r.file), r.content) << r.file;
    }
  }
  EXPECT_EQ(run({"dhcp", "set", "defaults", "201", "u8", "300"}).json["error"],
            "Указано неверное значение");
  EXPECT_EQ(test::readFile(defaults + "042.ip"), "10.0.0.2");
  result unchanged = run({"dhcp", "unset", "defaults", "99"});
  EXPECT_EQ(unchanged.json["written"], false);
}

// `terminal add` registers a terminal on disk with the dialog's checks and messages.
TEST_F(ZvctlInstallation, TerminalAdd) {
  result r = run({"terminal", "add", "00:1a:2b:3c:4d:10", "--ip", "10.0.0.30", "--host", "till-3",
                  "--comment", "Касса 3"});
  ASSERT_EQ(r.code, 0) << r.json;
  EXPECT_EQ(r.json["terminal"]["mac"], "00:1A:2B:3C:4D:10");
  EXPECT_EQ(r.json["terminal"]["ip"], "10.0.0.30");
  EXPECT_EQ(r.json["terminal"]["version"], "");  // no version is installed here
  std::string d = dir / "data/Terminals/00.1A.2B.3C.4D.10/";
  EXPECT_EQ(test::readFile(d + "host"), "till-3");
  EXPECT_EQ(test::readFile(d + "comment"), "\xFF\xFE" + test::utf16le(u"Касса 3"));
  EXPECT_EQ(run({"terminals"}).json["terminals"].size(), 6u);

  struct row {
    std::vector<std::string> args;
    const char* error;
  };
  const row refused[] = {
      {{"terminal", "add", "00:1A:2B:3C:4D:10"},
       "В списке уже есть терминал, параметры которого совпадают хотя бы с одним из указанных "
       "параметров"},
      {{"terminal", "add", "00:1A:2B:3C:4D", "--ip", "0.0.0.0"},
       "Неверный формат поля MAC.\nУказан неверный IP - 0, 0xffffffff.\n"},
      {{"terminal", "add", "00:1A:2B:3C:4D:12", "--version", "6.2.63"},
       "Для версии Zelvar 6.2.63 dll не найдена. Выберите, пожалуйста, другую версию."},
  };
  for (const row& f : refused) {
    result x = run(f.args);
    EXPECT_EQ(x.code, 1);
    EXPECT_EQ(x.json["error"], f.error);
  }
  EXPECT_FALSE(test::exists(dir / "data/Terminals/00.1A.2B.3C.4D.12"));

  std::ostringstream out, err;
  EXPECT_EQ(runZvctl({"terminal", "add", "00:1A:2B:3C:4D:13", "--colour", "red"}, out, err), 2);
  EXPECT_EQ(runZvctl({"terminal", "add", "00:1A:2B:3C:4D:13", "--ip"}, out, err), 2);
  EXPECT_TRUE(out.str().empty());
}

// `find` walks the register with the first rule that applies to each terminal.
TEST_F(ZvctlInstallation, Find) {
  EXPECT_EQ(run({"find", "--host", "Reception"}).json["terminal"]["mac"], "00:1A:2B:3C:4D:01");
  EXPECT_EQ(run({"find", "--comment", "Касса #2"}).json["terminal"]["mac"], "00:1A:2B:3C:4D:01");
  EXPECT_EQ(
      run({"find", "--mac", "00:1A:2B:3C:4D:02", "--ip", "10.0.0.21"}).json["terminal"]["mac"],
      "00:1A:2B:3C:4D:02");
  result none = run({"find", "--ip", "10.0.0.99"});
  EXPECT_EQ(none.code, 1);
  EXPECT_EQ(none.json["error"], "Терминал с заданными параметрами не найден");
  EXPECT_EQ(run({"find"}).json["error"], "Не указаны параметры.\n");
}

// wake refuses unknown and malformed MACs, and reports a packet that found no
// interface (none is allowed here, so nothing is sent) as a failure.
TEST_F(ZvctlInstallation, WakeRefusals) {
  EXPECT_NE(run({"terminal", "wake", "00:1A:2B:3C:4D:09"}).code, 0);
  EXPECT_EQ(run({"terminal", "wake", "00-1A"}).json["error"], "Invalid MAC address: 00-1A");
  ASSERT_EQ(setenv("ZELVAR_INTERFACES", "no-such-interface", 1), 0);
  result none = run({"terminal", "wake", "00:1A:2B:3C:4D:02"});
  ASSERT_EQ(setenv("ZELVAR_INTERFACES", "lo", 1), 0);
  EXPECT_NE(none.code, 0);
  EXPECT_EQ(none.json["error"], "The wake-on-LAN packet was sent on no interface.");
}

// hide and unhide write only the "hidden" file; remove takes the directory away.
TEST_F(ZvctlInstallation, HideUnhideRemove) {
  std::string b = dir / "data/Terminals/00.1A.2B.3C.4D.02/";
  result hidden = run({"terminal", "hide", "00:1A:2B:3C:4D:02"});
  ASSERT_EQ(hidden.code, 0) << hidden.json;
  EXPECT_EQ(hidden.json["hidden"], true);
  EXPECT_EQ(test::readFile(b + "hidden"), "1");
  // The damaged configuration is neither rewritten nor set aside.
  EXPECT_EQ(test::readFile(b + "config.zvc"), "ok=1\r\n\xd0\xba=2\r\n");
  EXPECT_EQ(run({"terminal", "unhide", "00:1A:2B:3C:4D:02"}).code, 0);
  EXPECT_FALSE(test::exists(b + "hidden"));

  test::writeFile(dir / "data/Keys/00.1A.2B.3C.4D.02.zvrcpassword", "x");
  result removed = run({"terminal", "remove", "00:1a:2b:3c:4d:02"});
  ASSERT_EQ(removed.code, 0) << removed.json;
  EXPECT_FALSE(test::exists(b));
  EXPECT_FALSE(test::exists(dir / "data/Keys/00.1A.2B.3C.4D.02.zvrcpassword"));
  EXPECT_EQ(run({"terminal", "remove", "00:1A:2B:3C:4D:02"}).json["error"],
            "Unknown terminal: 00:1A:2B:3C:4D:02");

  // Pseudo-terminals are default configurations, not machines.
  test::writeFile(dir / "data/Terminals/CD.CD.CD.CD.CD.CD/config.zvc", "\xFF\xFE");
  result pseudo = run({"terminal", "remove", "CD:CD:CD:CD:CD:CD"});
  EXPECT_EQ(pseudo.code, 1);
  EXPECT_EQ(pseudo.json["error"], "Not a terminal: CD:CD:CD:CD:CD:CD");
  EXPECT_TRUE(test::exists(dir / "data/Terminals/CD.CD.CD.CD.CD.CD/config.zvc"));
}

// A FIFO, a link to /dev/zero, a directory or a huge sparse file in place of a file the
// queries read: every query of the real program returns within seconds, does not run
// out of memory and leaves the installation as it was.
TEST_F(ZvctlInstallation, SpecialFilesInPlaceOfFiles) {
  const std::string data = dir / "data/";
  const std::string hklm = dir / "hklm.conf";
  test::writeFile(hklm, "[Software\\Zelvar]\nPrograms = sz:" + dir / "prog" +
                            "\nData = sz:" + dir / "data" + "\n");
  const std::string terminal = data + "Terminals/00.1A.2B.3C.4D.01/";
  const std::vector<std::string> targets = {
      data + "Everyone/default.zvc", data + "Everyone/all.zvc", data + "DHCP/ignore_macs",
      terminal + "config.zvc",       terminal + "comment",      hklm};
  enum class special { fifo, devZero, directory, sparse };
  const std::pair<special, const char*> kinds[] = {{special::fifo, "FIFO"},
                                                   {special::devZero, "link to /dev/zero"},
                                                   {special::directory, "directory"},
                                                   {special::sparse, "300 MB sparse file"}};
  const std::vector<std::vector<std::string>> queries = {{"terminals"},
                                                         {"config", "show", "00:1A:2B:3C:4D:01"},
                                                         {"dhcp", "show", "00:1A:2B:3C:4D:01"}};

  auto snapshot = [&] {
    std::map<std::string, std::string> tree;
    std::vector<std::string> paths = {hklm};
    for (const auto& entry : std::filesystem::recursive_directory_iterator(data))
      if (!entry.path().string().starts_with(data + "Logs")) paths.push_back(entry.path().string());
    for (const std::string& path : paths) {
      struct stat info {};
      if (::lstat(path.c_str(), &info) != 0) continue;
      tree[path] = std::to_string(info.st_size) + " " + std::to_string(info.st_mtim.tv_sec) + "." +
                   std::to_string(info.st_mtim.tv_nsec) + " " + std::to_string(info.st_mode);
    }
    return tree;
  };
  test::tempDir outputs;
  // Runs zvctl; false when it had to be killed after five seconds.
  auto runProgram = [&](std::vector<std::string> args, int& status, std::string& err) {
    std::vector<std::string> variables;
    for (char** e = environ; *e; ++e)
      if (!std::string_view(*e).starts_with("ZELVAR_HKLM=")) variables.emplace_back(*e);
    variables.push_back("ZELVAR_HKLM=" + hklm);
    std::vector<char*> envp;
    for (std::string& v : variables) envp.push_back(v.data());
    envp.push_back(nullptr);
    args.insert(args.begin(), ZV_ZVCTL);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, (outputs / "err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    EXPECT_EQ(::posix_spawn(&pid, ZV_ZVCTL, &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool returned = false;
    while (!(returned = ::waitpid(pid, &status, WNOHANG) == pid) &&
           std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!returned) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
    }
    err = test::readFile(outputs / "err");
    return returned;
  };

  {  // the intact installation answers, so the cases below reach the files
    int status = -1;
    std::string err;
    ASSERT_TRUE(runProgram({"terminals"}, status, err));
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << err;
  }
  for (const std::string& target : targets) {
    const bool existed = test::exists(target);
    const std::string original = existed ? test::readFile(target) : std::string();
    for (const auto& [kind, kindName] : kinds) {
      SCOPED_TRACE(target + " as " + kindName);
      std::filesystem::remove(target);
      switch (kind) {
        case special::fifo:
          ASSERT_EQ(::mkfifo(target.c_str(), 0644), 0);
          break;
        case special::devZero:
          ASSERT_EQ(::symlink("/dev/zero", target.c_str()), 0);
          break;
        case special::directory:
          ASSERT_EQ(::mkdir(target.c_str(), 0755), 0);
          break;
        case special::sparse:
          test::writeFile(target, "a=1\n");
          ASSERT_EQ(::truncate(target.c_str(), 300 << 20), 0);
          break;
      }
      const auto before = snapshot();
      for (const auto& query : queries) {
        int status = 0;
        std::string err;
        EXPECT_TRUE(runProgram(query, status, err)) << query[0] << ": hangs";
        EXPECT_TRUE(WIFEXITED(status)) << query[0] << ": status " << status << "\n" << err;
        EXPECT_EQ(err.find("bad_alloc"), std::string::npos) << query[0] << "\n" << err;
        EXPECT_EQ(snapshot(), before) << query[0];
      }
      std::filesystem::remove(target);
    }
    if (existed) test::writeFile(target, original);
  }
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

// The installation above with a third terminal of version 6.1.10 (its real
// specification) and no configuration yet.
class ZvctlConfigEdits : public ZvctlInstallation {
 protected:
  void SetUp() override {
    ZvctlInstallation::SetUp();
    std::filesystem::create_directories(dir / "prog/Bin/6.1.10");
    std::filesystem::create_symlink(ZV_SPEC_6_1_10, dir / "prog/Bin/6.1.10/spec.so");
    test::writeFile(terminalDir(3) + "version", "6.1.10");
  }
  std::string terminalDir(int n) const {
    return dir / ("data/Terminals/00.1A.2B.3C.4D.0" + std::to_string(n) + "/");
  }
  std::string config(int n) const { return terminalDir(n) + "config.zvc"; }
  static std::string utf16File(std::u16string_view text) {
    return "\xFF\xFE" + test::utf16le(text);
  }
};

const std::string brokenText =
    "Конфигурационный файл некорректен. Если вы не знаете что делать, сотрите весь текст и нажмите "
    "Cохранить.";

const std::u16string_view firstConfig =
    u"video=1024x768\r\ntemplate office\r\nconnection farm\r\nuser=kassa\r\n";

// Without a version the free rows' rules hold: accepted pairs reach the file as the
// console writes them (a closing backslash kept by an empty comment), unset takes them
// out again to the very bytes of the start, and every refused value leaves the file as
// it was.
TEST_F(ZvctlConfigEdits, SetAndUnsetFreeRows) {
  const std::string mac = "00:1A:2B:3C:4D:01";
  const std::string before = test::readFile(config(1));
  ASSERT_EQ(before, utf16File(firstConfig));

  result r = run({"config", "set", mac, "name=Пётр ⚙", "path=C:\\dir\\", "video=800x600"});
  ASSERT_EQ(r.code, 0) << r.json;
  EXPECT_EQ(r.json["written"], true);
  EXPECT_EQ(r.json["changes"][0],
            (nlohmann::json{{"key", "name"}, {"change", "set"}, {"value", "Пётр ⚙"}}));
  EXPECT_EQ(test::readFile(config(1)),
            utf16File(u"video=800x600\r\nname=Пётр ⚙\r\npath=C:\\dir\\#\r\ntemplate office\r\n"
                      u"connection farm\r\nuser=kassa\r\n"));
  result show = run({"config", "show", mac});
  EXPECT_EQ(show.json["general"][2], (nlohmann::json{"path", "C:\\dir\\"}));
  const std::string edited = test::readFile(config(1));

  const std::string refused[] = {"a=1",
                                 "bad key=1",
                                 "x-y=1",
                                 "template=x",
                                 "key=a\r\nb=2",
                                 "key=a#b",
                                 "key= lead",
                                 "key=" + std::string(1025, 'v'),
                                 std::string(129, 'k') + "=1",
                                 "=1"};
  for (const std::string& pair : refused) {
    SCOPED_TRACE(pair.substr(0, 40));
    result bad = run({"config", "set", mac, "ok_key=1", pair});
    EXPECT_EQ(bad.code, 1);
    EXPECT_EQ(bad.json["error"],
              "Указаны некорректные названия параметров и\\или значения параметров. ");
    EXPECT_EQ(test::readFile(config(1)), edited);
  }

  result notUtf8 = run({"config", "set", mac, "key=\xC0\xAF"});
  EXPECT_EQ(notUtf8.code, 1);
  EXPECT_EQ(notUtf8.json["error"], "The value of key is not valid UTF-8.");
  EXPECT_EQ(test::readFile(config(1)), edited);

  result same = run({"config", "set", mac, "video=800x600"});
  EXPECT_EQ(same.code, 0);
  EXPECT_EQ(same.json["written"], false);
  EXPECT_EQ(same.json["changes"][0]["change"], "unchanged");

  result unset = run({"config", "unset", mac, "NAME", "path", "absent"});
  ASSERT_EQ(unset.code, 0) << unset.json;
  EXPECT_EQ(unset.json["changes"][2]["change"], "unchanged");
  ASSERT_EQ(run({"config", "set", mac, "video=1024x768"}).code, 0);
  EXPECT_EQ(test::readFile(config(1)), before);

  // Command lines that do not parse, terminals that are not there or do not load.
  std::ostringstream out, err;
  EXPECT_EQ(runZvctl({"config", "set", mac, "novalue"}, out, err), 2);
  EXPECT_EQ(runZvctl({"config", "set", mac}, out, err), 2);
  EXPECT_EQ(run({"config", "set", "00:1A:2B:3C:4D:09", "k=v"}).json["error"],
            "Unknown terminal: 00:1A:2B:3C:4D:09");
  EXPECT_EQ(run({"config", "set", "zz", "k=v"}).json["error"], "Invalid MAC address: zz");
  const std::string damaged = test::readFile(config(2));
  result broken = run({"config", "set", "00:1A:2B:3C:4D:02", "ok=2"});
  EXPECT_EQ(broken.code, 1);
  EXPECT_EQ(broken.json["error"], "Failed to load line: к=2");
  EXPECT_EQ(test::readFile(config(2)), damaged);
  EXPECT_FALSE(test::exists(config(2) + ".broken"));
  EXPECT_EQ(test::readFile(config(1)), before);
}

// With a version the specification decides: a value it accepts creates the missing file
// as the console's empty configuration plus the option, the default takes the option
// out again, and what it refuses comes back with the editor's message and no file.
TEST_F(ZvctlConfigEdits, SetWithSpecification) {
  const std::string mac = "00:1A:2B:3C:4D:03";
  struct refusal {
    std::string pair;
    std::string error;
  };
  const refusal refusals[] = {
      {"bpp=32", "Указано неверное значение"},
      {"bpp=" + std::string(5000, '1'), "Указано неверное значение"},
      {"bpp=16\r\nvideo=1", "Указано неверное значение"},
      {"type=rdp", "Параметры нeсоответствующего типа: type"},
      {"frob=1", "Параметры, которых нет в версии Zelvar 6.1.10: frob"},
  };
  for (const refusal& c : refusals) {
    SCOPED_TRACE(c.pair.substr(0, 40));
    result bad = run({"config", "set", mac, "bpp=24", c.pair});
    EXPECT_EQ(bad.code, 1);
    EXPECT_EQ(bad.json["error"], c.error);
    EXPECT_FALSE(test::exists(config(3)));
  }
  result unset = run({"config", "unset", mac, "bpp"});
  EXPECT_EQ(unset.json["written"], false);
  EXPECT_FALSE(test::exists(config(3)));

  result r = run({"config", "set", mac, "BPP=24"});
  ASSERT_EQ(r.code, 0) << r.json;
  EXPECT_EQ(r.json["specification"], "6.1.10");
  EXPECT_EQ(test::readFile(config(3)), utf16File(u"bpp=24\r\nconnection \r\n"));
  result back = run({"config", "set", mac, "bpp=16"});
  EXPECT_EQ(back.json["changes"][0]["change"], "removed");
  EXPECT_EQ(test::readFile(config(3)), utf16File(u"connection \r\n"));
}

// The template list takes library templates only and keeps the rest of the file.
TEST_F(ZvctlConfigEdits, Templates) {
  const std::string mac = "00:1A:2B:3C:4D:01";
  result list = run({"config", "templates", mac});
  ASSERT_EQ(list.code, 0) << list.json;
  EXPECT_EQ(list.json["templates"], nlohmann::json::array({"office"}));

  result missing = run({"config", "templates", mac, "--add", "nothere"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.json["error"], "Template not found: nothere");
  EXPECT_EQ(test::readFile(config(1)), utf16File(firstConfig));

  ASSERT_EQ(run({"config", "templates", mac, "--add", "ALL"}).code, 0);
  result again = run({"config", "templates", mac, "--add", "Office"});
  EXPECT_EQ(again.json["written"], false);
  EXPECT_EQ(test::readFile(config(1)),
            utf16File(u"video=1024x768\r\ntemplate office\r\ntemplate all\r\nconnection farm\r\n"
                      u"user=kassa\r\n"));
  result removed = run({"config", "templates", mac, "--remove", "OFFICE"});
  EXPECT_EQ(removed.json["templates"], nlohmann::json::array({"all"}));
  EXPECT_EQ(test::readFile(config(1)),
            utf16File(u"video=1024x768\r\ntemplate all\r\nconnection farm\r\nuser=kassa\r\n"));
  EXPECT_EQ(run({"config", "templates", mac, "--remove", "office"}).code, 1);
  std::ostringstream out, err;
  EXPECT_EQ(runZvctl({"config", "templates", mac, "--drop", "all"}, out, err), 2);
}

// A copy writes the source's configuration to the target, never over a configuration
// without --force, never from an empty or damaged one.
TEST_F(ZvctlConfigEdits, Copy) {
  const std::string one = "00:1A:2B:3C:4D:01", two = "00:1A:2B:3C:4D:02",
                    three = "00:1A:2B:3C:4D:03";
  result empty = run({"config", "copy", three, one});
  EXPECT_EQ(empty.code, 1);
  EXPECT_EQ(empty.json["error"],
            "Конфигурационный файл для выбранного терминала не создан. Невозможно копировать "
            "конфигурацию в другой терминал.");
  EXPECT_EQ(run({"config", "copy", two, three}).json["error"], "Failed to load line: к=2");
  EXPECT_EQ(run({"config", "copy", one, one}).code, 1);
  EXPECT_FALSE(test::exists(config(3)));

  result copied = run({"config", "copy", one, three});
  ASSERT_EQ(copied.code, 0) << copied.json;
  EXPECT_EQ(copied.json["replaced"], false);
  EXPECT_EQ(test::readFile(config(3)), utf16File(firstConfig));

  const std::string damaged = test::readFile(config(2));
  result refused = run({"config", "copy", three, two});
  EXPECT_EQ(refused.code, 1);
  EXPECT_EQ(refused.json["error"],
            "The terminal 00:1A:2B:3C:4D:02 already has a configuration; --force replaces it.");
  EXPECT_EQ(test::readFile(config(2)), damaged);
  result forced = run({"config", "copy", three, two, "--force"});
  ASSERT_EQ(forced.code, 0) << forced.json;
  EXPECT_EQ(forced.json["replaced"], true);
  EXPECT_EQ(test::readFile(config(2)), utf16File(firstConfig));
}

// The text panel's test and save: the text is parsed as the terminal's file would be,
// a text that does not load is never written, a saved text is the file byte for byte
// and clears the set-aside copy. The temporary copy goes away.
TEST_F(ZvctlConfigEdits, Text) {
  const std::string three = "00:1A:2B:3C:4D:03", two = "00:1A:2B:3C:4D:02";
  std::string tmp = dir / "tmp";
  std::filesystem::create_directories(tmp);
  setenv("TMPDIR", tmp.c_str(), 1);
  struct testCase {
    std::string text;  // UTF-8, the file given to --test
    int code;
    std::string error;  // or the message
    std::string reason;
  };
  const testCase cases[] = {
      {"bpp=24\r\nconnection \r\n", 0, "Конфигурационный файл успешно проверен.", ""},
      {"bpp=32\n", 0, "Конфигурационный файл несовместим с указанной версией Zelvar.", ""},
      {"ok=1\nключ=1\n", 1, brokenText, "Failed to load line: ключ=1"},
      {"template nothere\n", 1, brokenText, "Template not found: nothere"},
      {"connection nothere\n", 1, brokenText, "Connection not found: nothere"},
  };
  for (const testCase& c : cases) {
    SCOPED_TRACE(c.text);
    test::writeFile(dir / "text.txt", c.text);
    for (const char* mode : {"--test", "--save"}) {
      result r = run({"config", "text", three, mode, dir / "text.txt"});
      EXPECT_EQ(r.code, c.code) << r.json;
      EXPECT_EQ(r.json[c.code ? "error" : "message"], c.error);
      if (c.code) {
        EXPECT_EQ(r.json["reason"], c.reason);
      }
      bool written = mode == std::string("--save") && c.code == 0;
      EXPECT_EQ(test::exists(config(3)), written);
      std::filesystem::remove(config(3));
    }
  }
  EXPECT_TRUE(std::filesystem::is_empty(tmp));

  // A damaged file and its set-aside copy are replaced by a text that loads, given in
  // UTF-16 with its mark.
  test::writeFile(config(2) + ".broken", "# reason\r\n\r\nok=1\r\n");
  const std::string damaged = test::readFile(config(2));
  const std::u16string text =
      u"name=Пётр\r\npath=C:\\dir\\#\r\ntemplate office\r\nconnection farm\r\n";
  test::writeFile(dir / "text.txt", utf16File(u"ключ=1\r\n"));
  EXPECT_EQ(run({"config", "text", two, "--save", dir / "text.txt"}).code, 1);
  EXPECT_EQ(test::readFile(config(2)), damaged);
  test::writeFile(dir / "text.txt", utf16File(text));
  result saved = run({"config", "text", two, "--save", dir / "text.txt"});
  ASSERT_EQ(saved.code, 0) << saved.json;
  EXPECT_EQ(saved.json["removedBroken"], true);
  EXPECT_EQ(test::readFile(config(2)), utf16File(text));
  EXPECT_FALSE(test::exists(config(2) + ".broken"));
  result show = run({"config", "show", two});
  EXPECT_EQ(show.json["general"],
            nlohmann::json::parse(R"([["name","Пётр"],["path","C:\\dir\\"]])"));

  // Longer than the panel holds: refused, not cut.
  test::writeFile(dir / "text.txt", "k=" + std::string(16382, 'v'));
  result tooLong = run({"config", "text", two, "--save", dir / "text.txt"});
  EXPECT_EQ(tooLong.code, 1);
  EXPECT_EQ(test::readFile(config(2)), utf16File(text));
  EXPECT_EQ(run({"config", "text", two, "--test", dir / "none.txt"}).json["error"],
            "Failed to open file.");
  std::ostringstream out, err;
  EXPECT_EQ(runZvctl({"config", "text", two, "--check", dir / "text.txt"}, out, err), 2);
  unsetenv("TMPDIR");
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

// `terminal set`: each refusal prints the window's or the panel's message and writes
// nothing (the checks come before any write); accepted calls store the files, a new
// host rewrites option 12, and an address off the server's networks needs --force.
TEST_F(ZvctlInstallation, TerminalSet) {
  std::string a = dir / "data/Terminals/00.1A.2B.3C.4D.01/";
  std::string b = dir / "data/Terminals/00.1A.2B.3C.4D.02/";
  test::writeFile(a + "012.str", "reception");
  const char* mac = "00:1A:2B:3C:4D:02";
  struct row {
    std::vector<std::string> options;
    std::string error;
  };
  const row refused[] = {
      {{"--ip", "10.0.0.21"}, "Найден терминал с совпадающим IP."},
      {{"--ip", "255.255.255.255"}, "Указан неверный IP."},
      {{"--ip", "300.1.1.1"}, "Указан неверный IP."},
      {{"--ip", "10.9.9.9"},
       "Указанный IP не соответствует ни одному интерфейсу на этом сервере. Сохранить все равно?"},
      {{"--ip", "127.0.0.5", "--host", "two words"}, "Неверный формат поля Host."},
      {{"--ip", "127.0.0.5", "--host", "a-name-of-17-char"}, "Неверный формат поля Host."},
      {{"--ip", "127.0.0.5", "--comment", std::string(64, 'x')}, "Неверный формат поля Comment."},
      {{"--ip", "127.0.0.5", "--boot-type", "pxe"},
       "Unknown boot type: pxe (tftp, http or default)."},
  };
  for (const row& f : refused) {
    std::vector<std::string> args{"terminal", "set", mac};
    args.insert(args.end(), f.options.begin(), f.options.end());
    result x = run(args);
    EXPECT_EQ(x.code, 1) << f.error;
    EXPECT_EQ(x.json["error"], f.error);
    EXPECT_FALSE(test::exists(b + "ip")) << f.error;
  }

  EXPECT_EQ(run({"terminal", "set", mac, "--ip", "127.0.0.5", "--comment", "Склад"}).code, 0);
  EXPECT_EQ(test::readFile(b + "ip"), "127.0.0.5");
  EXPECT_EQ(test::readFile(b + "comment"), "\xFF\xFE" + test::utf16le(u"Склад"));
  result forced = run({"terminal", "set", mac, "--force", "--ip", "10.9.9.9"});
  EXPECT_EQ(forced.code, 0) << forced.json;
  EXPECT_EQ(test::readFile(b + "ip"), "10.9.9.9");

  // The host follows into option 12; the boot type is written and cleared.
  result host =
      run({"terminal", "set", "00:1A:2B:3C:4D:01", "--host", "till-1", "--boot-type", "tftp"});
  ASSERT_EQ(host.code, 0) << host.json;
  EXPECT_EQ(host.json["terminal"]["host"], "till-1");
  EXPECT_EQ(test::readFile(a + "host"), "till-1");
  EXPECT_EQ(test::readFile(a + "012.str"), "till-1");
  EXPECT_EQ(test::readFile(a + "boot_type"), "TFTP");
  EXPECT_EQ(test::readFile(a + "042.ip"), "10.9.9.9");
  EXPECT_EQ(
      run({"terminal", "set", "00:1A:2B:3C:4D:01", "--boot-type", "default", "--ip", ""}).code, 0);
  EXPECT_FALSE(test::exists(a + "boot_type"));
  EXPECT_FALSE(test::exists(a + "ip"));

  std::ostringstream out, err;
  EXPECT_EQ(runZvctl({"terminal", "set", mac}, out, err), 2);
  EXPECT_EQ(runZvctl({"terminal", "set", mac, "--version", "6.2.63"}, out, err), 2);
  EXPECT_TRUE(out.str().empty());
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

// The real zvctl decodes a signed hello from a file against the key it is given, and
// refuses it, exit 1 with the reason, under another key.
TEST(ZvctlHello, DecodesAFileWithTheRealProgram) {
  ASSERT_GE(sodium_init(), 0);
  std::array<uint8_t, 32> publicKey{};
  std::array<uint8_t, 64> secret{};
  crypto_sign_keypair(publicKey.data(), secret.data());
  std::string hello(
      "\x02\x07\0\0\0"
      "4.5.12\0"
      "\x02\0\0\0"
      "t\0"
      "\x00\x1A\x2B\x3C\x4D\x5E"
      "\x05\x01",
      26);
  std::array<uint8_t, 64> signature{};
  crypto_sign_detached(signature.data(), nullptr, reinterpret_cast<const uint8_t*>(hello.data()),
                       hello.size(), secret.data());
  sodium_memzero(secret.data(), secret.size());
  hello += '\x07';
  hello.append(reinterpret_cast<const char*>(signature.data()), signature.size());
  test::tempDir dir;
  test::writeFile(dir / "hello.bin", hello);
  auto hex = [](const std::array<uint8_t, 32>& key) {
    std::string text;
    for (uint8_t b : key) text += formatText("%02x", b);
    return text;
  };
  auto runProgram = [&](const std::string& key, std::string& output) {
    const std::string command = std::string(ZV_ZVCTL) + " hello decode " + dir.path() +
                                "hello.bin --key " + key + " > " + dir.path() + "out";
    const int status = std::system(command.c_str());
    output = test::readFile(dir / "out");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  std::string output;
  ASSERT_EQ(runProgram(hex(publicKey), output), 0) << output;
  nlohmann::json decoded = nlohmann::json::parse(output);
  EXPECT_EQ(decoded["version"], "4.5.12");
  EXPECT_EQ(decoded["host"], "t");
  EXPECT_EQ(decoded["mac"], "00:1A:2B:3C:4D:5E");
  EXPECT_EQ(decoded["platform"], "x86");
  EXPECT_EQ(decoded["signed"], true);
  std::array<uint8_t, 32> other{};
  std::array<uint8_t, 64> otherSecret{};
  crypto_sign_keypair(other.data(), otherSecret.data());
  sodium_memzero(otherSecret.data(), otherSecret.size());
  ASSERT_EQ(runProgram(hex(other), output), 1) << output;
  EXPECT_NE(output.find("signature check failed"), std::string::npos) << output;
}

}  // namespace
}  // namespace zv
