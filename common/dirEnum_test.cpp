#include "common/dirEnum.h"

#include "testsupport/testSupport.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <filesystem>

namespace zv {
namespace {

// Wildcards: '?' is one character, '*' any run, ASCII letters without case.
TEST(Wildcard, Matches) {
  struct row {
    const char* pattern;
    const char* name;
    bool matches;
  };
  for (row r : {row{"*.zvc", "office.ZVC", true}, row{"*.zvc", "office.zvc.broken", false},
                row{"??.??", "0A.bc", true}, row{"??.??", "0A.bcd", false},
                row{"??.??", "0A.b", false}, row{"*", "", true}, row{"a*b*c", "axxbyyc", true},
                row{"a*b*c", "axxbyy", false}, row{"*x", "xxxx", true}})
    EXPECT_EQ(wildcardMatch(r.pattern, r.name), r.matches) << r.pattern << " " << r.name;
}

std::vector<std::string> walk(dirEnum& e) {
  std::vector<std::string> names;
  while (e.next()) names.push_back(e.name());
  std::sort(names.begin(), names.end());
  return names;
}

// Each enumerator offers only its kind of entry.
TEST(DirEnum, KindsOfEntries) {
  test::tempDir dir;
  for (const char* d :
       {"00.1A.2B.3C.4D.5E", "00-1A-2B-3C-4D-5E", "00.1A.2B.3C.4D", "FF.FF.FF.FF.FF.03",
        "zz.zz.zz.zz.zz.zz", "Blue sky", "bad-name", "empty_set"})
    std::filesystem::create_directories(dir / d);
  test::writeFile(dir / "Blue sky/MENU.PNG", "x");
  test::writeFile(dir / "bad-name/menu.png", "x");
  test::writeFile(dir / "AA.AA.AA.AA.AA.AA", "a file, not a terminal");
  test::writeFile(dir / "office.zvc", "");

  directoriesEnum dirs(dir.path(), "*");
  EXPECT_EQ(walk(dirs).size(), 8u);
  filesEnum files(dir.path(), "*.ZVC");
  EXPECT_EQ(walk(files), std::vector<std::string>{"office.zvc"});
  graphicDirEnum graphic(dir.path(), "*");
  EXPECT_EQ(walk(graphic), std::vector<std::string>{"Blue sky"});

  terminalsDirEnum terminals(dir.path());
  std::vector<std::string> macs;
  while (terminals.next()) macs.push_back(terminals.mac().logText());
  std::sort(macs.begin(), macs.end());
  EXPECT_EQ(macs, (std::vector<std::string>{"00:1A:2B:3C:4D:5E", "FF:FF:FF:FF:FF:03"}));
  EXPECT_FALSE(terminals.next());  // stays finished
}

// A missing directory has no entries.
TEST(DirEnum, MissingDirectory) {
  dirEnum e("/nonexistent/zelvar/", "*");
  EXPECT_FALSE(e.next());
}

}  // namespace
}  // namespace zv
