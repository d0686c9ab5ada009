#include "zvc/zvctl.h"

#include "common/installPaths.h"
#include "platform/registry.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>

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
