#include "zvc/register/versions.h"

#include "common/installPaths.h"
#include "platform/files.h"
#include "platform/textConv.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>
#include <cstdio>
#include <set>

namespace zv {
namespace {

// The numeric form of version names, and what is refused.
TEST(ParseVersion, Names) {
  struct row {
    const char* name;
    std::optional<uint32_t> numeric;
  };
  const row rows[] = {
      {"6.2.63", 6 * 65536 + 2 * 256 + 63},
      {"6.2.7", 6 * 65536 + 2 * 256 + 7},
      {"6.2.07", 6 * 65536 + 2 * 256 + 7},
      {"0.0.0", 0},
      {"9.9.99", 9 * 65536 + 9 * 256 + 99},
      {"6.2.x", std::nullopt},
      {"6.2.", std::nullopt},
      {"6.2.633", std::nullopt},
      {"16.2.6", std::nullopt},
      {"6,2,6", std::nullopt},
      {"6.2.6a", std::nullopt},
      {"6.22.6", std::nullopt},
      {"", std::nullopt},
      {"..", std::nullopt},
  };
  for (const row& r : rows) EXPECT_EQ(parseVersion(r.name), r.numeric) << r.name;
}

// Odd minor numbers are beta releases and say so.
TEST(ParseVersion, DisplayNames) {
  EXPECT_EQ(versionDisplayName("6.3.1"), u"6.3.1 (beta)");
  EXPECT_EQ(versionDisplayName("7.1.10"), u"7.1.10 (beta)");
  EXPECT_EQ(versionDisplayName("6.2.63"), u"6.2.63");
  EXPECT_EQ(versionDisplayName("6.0.1"), u"6.0.1");
}

// An installation in a temporary directory; version directories are made on demand.
class Versions : public ::testing::Test {
 protected:
  void SetUp() override {
    paths = derivePaths(dir / "prog", dir / "data");
    ASSERT_TRUE(makeDirectories(paths.binDir));
    ASSERT_TRUE(makeDirectories(paths.tftpRoot));
  }

  // TFTPDROOT/<name>/ with PC boot files, Raspberry Pi ones, both or neither.
  void bootFiles(const std::string& name, bool pc, bool pi) {
    std::string root = paths.tftpRoot + name + "/";
    ASSERT_TRUE(makeDirectories(root));
    if (pc) {
      test::writeFile(root + "zelvar.pxe", "pxe");
      ASSERT_TRUE(makeDirectories(root + "packages"));
    }
    if (pi) {
      ASSERT_TRUE(makeDirectories(root + "pi2"));
    }
  }

  void binDirectory(const std::string& name) { ASSERT_TRUE(makeDirectories(paths.binDir + name)); }

  // A loader that makes a specification named after the directory, except for the
  // names in `missing`, and remembers what it was asked for.
  installedVersions::specLoader fakeLoader(std::set<std::string> missing = {}) {
    return [this, missing](const std::string& directory) -> std::unique_ptr<versionSpec> {
      loaded.push_back(directory);
      std::string name = directory.substr(paths.binDir.size());
      name.pop_back();
      if (missing.count(name)) return nullptr;
      auto spec = std::make_unique<versionSpec>();
      spec->name = name;
      return spec;
    };
  }

  installedVersions::messageBox recordBoxes() {
    return [this](const std::string& text, const std::string& caption) {
      boxes.push_back(caption + "|" + text);
    };
  }

  std::vector<std::string> names(const installedVersions& versions) {
    std::vector<std::string> out;
    for (const versionEntry& e : versions.entries()) out.push_back(e.name);
    return out;
  }

  test::tempDir dir;
  test::logCapture log;
  installationPaths paths;
  std::vector<std::string> loaded;
  std::vector<std::string> boxes;
};

// Newest first, beta or not; equal versions keep their enumeration order; files and
// names that are not versions are passed over without a word.
TEST_F(Versions, ScanOrder) {
  bootFiles("6.2.63", true, true);
  bootFiles("6.3.1", true, false);
  bootFiles("6.2.7", false, true);
  bootFiles("6.2.07", false, true);
  bootFiles("6.2.x", false, false);
  bootFiles("images", false, false);
  test::writeFile(paths.tftpRoot + "6.2.9", "not a directory");
  installedVersions versions(fakeLoader(), recordBoxes());
  versions.scanVersions(paths);
  EXPECT_EQ(names(versions), (std::vector<std::string>{"6.3.1", "6.2.63", "6.2.07", "6.2.7"}));
  EXPECT_EQ(versions.wideName(0), u"6.3.1");
  EXPECT_EQ(versions.entries()[1].version, parseVersion("6.2.63"));
  EXPECT_EQ(log.text(), "");
}

// The kind follows the boot files: zelvar.pxe and packages/ together make PC files.
TEST_F(Versions, Kinds) {
  struct row {
    const char* name;
    bool pc;
    bool pi;
    versionKind kind;
  };
  const row rows[] = {
      {"6.2.4", true, true, versionKind::pcAndPi},
      {"6.2.3", true, false, versionKind::pcOnly},
      {"6.2.2", false, true, versionKind::piOnly},
  };
  for (const row& r : rows) bootFiles(r.name, r.pc, r.pi);
  // zelvar.pxe without packages/ is no PC boot: only pi2/ counts.
  bootFiles("6.2.1", false, true);
  test::writeFile(paths.tftpRoot + "6.2.1/zelvar.pxe", "pxe");
  installedVersions versions(fakeLoader(), recordBoxes());
  versions.scanVersions(paths);
  ASSERT_EQ(versions.count(), 4u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(versions.name(i), rows[i].name);
    EXPECT_EQ(versions.kind(i), rows[i].kind) << rows[i].name;
  }
  EXPECT_EQ(versions.kind(3), versionKind::piOnly);
}

// A version directory without boot files is reported and skipped; the others stay.
TEST_F(Versions, EmptyVersionDirectoryIsSkipped) {
  bootFiles("6.2.1", true, false);
  bootFiles("6.2.2", false, false);
  bootFiles("6.2.3", true, false);
  installedVersions versions(fakeLoader(), recordBoxes());
  versions.scanVersions(paths);
  EXPECT_EQ(names(versions), (std::vector<std::string>{"6.2.3", "6.2.1"}));
  EXPECT_TRUE(log.contains("No boot files in")) << log.text();
  EXPECT_TRUE(log.contains("INTERNAL ERROR")) << log.text();
}

// The table holds 128 versions; the 129th is an internal error. A second scan changes
// nothing.
TEST_F(Versions, TableLimitAndSecondScan) {
  for (int i = 0; i < 129; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "%d.0.%02d", 1 + i / 100, i % 100);
    bootFiles(name, false, true);
  }
  installedVersions versions(fakeLoader(), recordBoxes());
  versions.scanVersions(paths);
  ASSERT_EQ(versions.count(), maxVersionEntries);
  EXPECT_EQ(versions.name(0), "2.0.27");
  EXPECT_TRUE(log.contains("INTERNAL ERROR"));
  log.clear();
  bootFiles("9.0.0", false, true);
  versions.scanVersions(paths);
  EXPECT_EQ(versions.count(), maxVersionEntries);
  EXPECT_EQ(versions.name(0), "2.0.27");
  EXPECT_TRUE(log.contains("INTERNAL ERROR"));
}

// Indexes past the table report an internal error and give nothing.
TEST_F(Versions, OutOfRange) {
  bootFiles("6.2.63", true, true);
  installedVersions versions(fakeLoader(), recordBoxes());
  versions.scanVersions(paths);
  ASSERT_EQ(log.text(), "");
  EXPECT_EQ(versions.name(1), "");
  EXPECT_EQ(versions.wideName(1), u"");
  EXPECT_EQ(versions.kind(1), std::nullopt);
  std::string text = log.text();
  std::size_t reports = 0;
  for (std::size_t at = 0; (at = text.find("INTERNAL ERROR", at)) != std::string::npos; ++at)
    ++reports;
  EXPECT_EQ(reports, 3u);
}

// Only version directories of Bin reach the loader, each as a directory path; the
// default is currentVersion's specification and names are found without case.
TEST_F(Versions, LoadSpecifications) {
  for (const char* name : {"6.2.63", "6.2.5", "6.3.1", "6.2.x", "skin"}) binDirectory(name);
  test::writeFile(paths.binDir + "6.2.8", "file");
  installedVersions versions(fakeLoader({"6.2.5"}), recordBoxes());
  versions.loadSpecifications(paths);
  EXPECT_EQ(loaded, (std::vector<std::string>{paths.binDir + "6.2.5/", paths.binDir + "6.2.63/",
                                              paths.binDir + "6.3.1/"}));
  EXPECT_EQ(versions.specCount(), 2u);
  ASSERT_NE(versions.defaultSpec(), nullptr);
  EXPECT_EQ(versions.defaultSpec()->name, "6.2.63");
  EXPECT_EQ(versions.findVersionSpec("6.2.63"), versions.defaultSpec());
  // A version whose directory holds no library has no specification.
  EXPECT_EQ(versions.findVersionSpec("6.2.5"), nullptr);
  EXPECT_EQ(versions.findVersionSpec("6.2.6"), nullptr);
  EXPECT_EQ(versions.findVersionSpec(""), nullptr);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(log.text(), "");
}

// A missing default is an internal error; the other specifications still serve.
TEST_F(Versions, DefaultMissing) {
  binDirectory("6.2.7");
  installedVersions versions(fakeLoader(), recordBoxes());
  versions.loadSpecifications(paths);
  EXPECT_EQ(versions.defaultSpec(), nullptr);
  EXPECT_NE(versions.findVersionSpec("6.2.7"), nullptr);
  EXPECT_TRUE(log.contains("INTERNAL ERROR"));
}

// Library names are matched without ASCII case; the first of equal names wins.
TEST_F(Versions, FindWithoutCase) {
  binDirectory("6.2.1");
  binDirectory("6.2.2");
  installedVersions versions(
      [](const std::string& directory) {
        auto spec = std::make_unique<versionSpec>();
        spec->name = directory.ends_with("6.2.1/") ? "6.2.63-Rc" : "6.2.63-rC";
        return spec;
      },
      recordBoxes());
  versions.loadSpecifications(paths);
  ASSERT_EQ(versions.specCount(), 2u);
  const versionSpec* found = versions.findVersionSpec("6.2.63-RC");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->name, "6.2.63-Rc");
}

// With 98 specifications loaded only "6.2.63" still gets in; the rest are named in the
// log, and the administrator is told to remove versions.
TEST_F(Versions, TooManySpecifications) {
  // Names sort before "6.2.63", so 98 are loaded by the time it comes.
  for (int i = 0; i < 98; ++i) binDirectory("1.0." + std::to_string(i));
  for (const char* name : {"6.2.6", "6.2.63", "6.2.64", "6.2.7"}) binDirectory(name);
  installedVersions versions(fakeLoader(), recordBoxes());
  versions.loadSpecifications(paths);
  EXPECT_EQ(versions.specCount(), 99u);
  EXPECT_NE(versions.defaultSpec(), nullptr);
  EXPECT_EQ(versions.findVersionSpec("6.2.64"), nullptr);
  for (const char* skipped : {"6.2.6", "6.2.64", "6.2.7"})
    EXPECT_TRUE(log.contains(std::string("Do not load ") + skipped + ".\r\n")) << skipped;
  EXPECT_FALSE(log.contains("Do not load 6.2.63."));
  EXPECT_TRUE(log.contains("] Error. \r\n"));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0],
            "Ошибка|На компьютере установлено слишком много версий Zelvar. Надо удалить "
            "неиспользуемые.\n\nВручную удалите два каталога для каждой из неиспользуемых "
            "версий:\n\n" +
                paths.binDir + "<номер неиспользуемой версии>\n" + paths.tftpRoot +
                "<номер неиспользуемой версии>");
}

// The warning counts loaded specifications, not directories: 97 that load are fine,
// 98 are not.
TEST_F(Versions, WarningCountsLoadedOnes) {
  for (int i = 0; i < 98; ++i) binDirectory("1.0." + std::to_string(i));
  binDirectory("6.2.63");
  {
    installedVersions versions(fakeLoader({"1.0.5", "1.0.6"}), recordBoxes());
    versions.loadSpecifications(paths);
    EXPECT_EQ(versions.specCount(), 97u);
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(log.contains("Error. "));
  }
  {
    installedVersions versions(fakeLoader({"1.0.5"}), recordBoxes());
    versions.loadSpecifications(paths);
    EXPECT_EQ(versions.specCount(), 98u);
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_FALSE(log.contains("Do not load"));
  }
}

// A second load is refused rather than doubling the table.
TEST_F(Versions, SecondLoadRefused) {
  binDirectory("6.2.63");
  installedVersions versions(fakeLoader(), recordBoxes());
  versions.loadSpecifications(paths);
  versions.loadSpecifications(paths);
  EXPECT_EQ(versions.specCount(), 1u);
  EXPECT_EQ(loaded.size(), 1u);
  EXPECT_TRUE(log.contains("INTERNAL ERROR"));
}

// The real loader passes over a version directory without a library in silence.
TEST_F(Versions, RealLoaderWithoutLibrary) {
  binDirectory("6.2.5");
  installedVersions versions(loadVersionSpec, recordBoxes());
  versions.loadSpecifications(paths);
  EXPECT_EQ(versions.findVersionSpec("6.2.5"), nullptr);
  EXPECT_FALSE(log.contains("6.2.5"));
}

// The selector offers versions with a specification, newest first, then the current
// release when no boot files listed it, then "Без версии".
TEST_F(Versions, SelectHtml) {
  for (const char* name : {"6.3.1", "6.2.7", "6.2.5"}) bootFiles(name, true, true);
  for (const char* name : {"6.3.1", "6.2.63", "6.2.7"}) binDirectory(name);
  installedVersions versions(fakeLoader(), recordBoxes());
  versions.scanVersions(paths);
  versions.loadSpecifications(paths);
  const std::u16string head = u"<select id=\"options_version\" style=\"width:8em\">";
  const std::u16string tail = u"</select>";
  struct row {
    const char* selected;  // null: no specification
    std::u16string options;
  };
  const row rows[] = {
      {"6.2.7",
       u"<option value=\"6.3.1\">6.3.1</option><option value=\"6.2.7\" selected >6.2.7</option>"
       u"<option value=\"6.2.63\">6.2.63</option><option value=\"noversion\">Без версии</option>"},
      {"6.2.63",
       u"<option value=\"6.3.1\">6.3.1</option><option value=\"6.2.7\">6.2.7</option>"
       u"<option value=\"6.2.63\" selected >6.2.63</option>"
       u"<option value=\"noversion\">Без версии</option>"},
      {nullptr,
       u"<option value=\"6.3.1\">6.3.1</option><option value=\"6.2.7\">6.2.7</option>"
       u"<option value=\"6.2.63\">6.2.63</option>"
       u"<option value=\"noversion\" selected >Без версии</option>"},
  };
  for (const row& r : rows) {
    const versionSpec* selected = r.selected ? versions.findVersionSpec(r.selected) : nullptr;
    EXPECT_EQ(toUtf8(versions.versionSelectHtml(u"options_version", selected)),
              toUtf8(head + r.options + tail))
        << (r.selected ? r.selected : "none");
  }
}

// The current release stands in its sorted place when it has boot files, and is left
// out when it has no specification.
TEST_F(Versions, SelectHtmlCurrentVersion) {
  for (const char* name : {"6.3.1", "6.2.63"}) bootFiles(name, true, false);
  binDirectory("6.2.63");
  installedVersions versions(fakeLoader(), recordBoxes());
  versions.scanVersions(paths);
  versions.loadSpecifications(paths);
  EXPECT_EQ(toUtf8(versions.versionSelectHtml(u"v", versions.defaultSpec())),
            "<select id=\"v\" style=\"width:8em\"><option value=\"6.2.63\" selected >6.2.63"
            "</option><option value=\"noversion\">Без версии</option></select>");

  installedVersions none(fakeLoader({"6.2.63"}), recordBoxes());
  none.scanVersions(paths);
  none.loadSpecifications(paths);
  EXPECT_EQ(toUtf8(none.versionSelectHtml(u"a\"b", nullptr)),
            "<select id=\"a&quot;b\" style=\"width:8em\"><option value=\"noversion\" selected "
            ">Без версии</option></select>");
}

// The tools' list: every version, betas marked, the current release and the first
// option selected.
TEST_F(Versions, ToolsOptions) {
  struct row {
    std::vector<const char*> directories;
    const char* html;
  };
  const row rows[] = {
      {{"6.3.1", "6.2.63", "6.2.7"},
       "<option id=\"6.3.1\" selected>6.3.1 (beta)</option>"
       "<option id=\"6.2.63\" selected>6.2.63</option><option id=\"6.2.7\">6.2.7</option>"},
      {{"6.2.63", "6.2.7"},
       "<option id=\"6.2.63\" selected>6.2.63</option><option id=\"6.2.7\">6.2.7</option>"},
      {{"6.2.8", "6.2.7"},
       "<option id=\"6.2.8\" selected>6.2.8</option><option id=\"6.2.7\">6.2.7</option>"},
      {{}, ""},
  };
  for (const row& r : rows) {
    test::tempDir root;
    paths = derivePaths(root / "prog", root / "data");
    for (const char* name : r.directories) bootFiles(name, true, true);
    installedVersions versions(fakeLoader(), recordBoxes());
    versions.scanVersions(paths);
    EXPECT_EQ(toUtf8(versions.toolsVersionOptions()), r.html);
  }
}

}  // namespace
}  // namespace zv
