#include "specs/specLibraries.h"

#include "platform/textConv.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace zv::test {
namespace {

namespace fs = std::filesystem;

// SHA-256 of "abc" and of the empty text (FIPS 180-2 test vectors).
constexpr const char* abcDigest =
    "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
constexpr const char* emptyDigest =
    "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

int generate(const std::string& source, const std::string& target) {
  return library6263().generateUpdateImages(
      reinterpret_cast<const uint16_t*>(fromUtf8(source).c_str()),
      reinterpret_cast<const uint16_t*>(fromUtf8(target).c_str()));
}

// A version's boot files: PC files, a subdirectory of packages that is not copied, and
// Raspberry Pi files in subdirectories.
void makeBootFiles(const tempDir& root) {
  writeFile(root / "src/zelvar.pxe", "abc");
  writeFile(root / "src/packages/kernel", "kernel image");
  writeFile(root / "src/packages/base.pkg", "");
  writeFile(root / "src/packages/extra/notcopied", "x");
  writeFile(root / "src/pi2/localboot/kernel7.img", "pi kernel");
  writeFile(root / "src/pi2/localboot/overlays/a.dtbo", "overlay");
}

// Names in the target's parent other than the target itself (temporary leftovers).
std::vector<std::string> leftovers(const std::string& parent, const std::string& target) {
  std::vector<std::string> names;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(parent, error))
    if (entry.path().filename() != target) names.push_back(entry.path().filename());
  return names;
}

// The images hold the PC and Raspberry Pi files and a list of them with sizes and digests.
TEST(UpdateImages, WritesFilesAndList) {
  tempDir root;
  makeBootFiles(root);
  ASSERT_EQ(generate(root / "src/", root / "updates/6.2.63/"), 1);
  EXPECT_EQ(readFile(root / "updates/6.2.63/pc/zelvar.pxe"), "abc");
  EXPECT_EQ(readFile(root / "updates/6.2.63/pc/kernel"), "kernel image");
  EXPECT_TRUE(exists(root / "updates/6.2.63/pc/base.pkg"));
  EXPECT_FALSE(exists(root / "updates/6.2.63/pc/notcopied"));
  EXPECT_FALSE(fs::exists(root / "updates/6.2.63/pc/extra"));
  EXPECT_EQ(readFile(root / "updates/6.2.63/pi2/localboot/overlays/a.dtbo"), "overlay");
  std::string list = readFile(root / "updates/6.2.63/update.lst");
  EXPECT_EQ(list.substr(0, list.find('\n')), "version 6.2.63");
  std::vector<std::string> lines;
  for (size_t start = list.find('\n') + 1; start < list.size();) {
    size_t end = list.find('\n', start);
    lines.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  ASSERT_EQ(lines.size(), 5u) << list;
  EXPECT_EQ(lines[0], std::string(emptyDigest) + " 0 pc/base.pkg");
  EXPECT_TRUE(lines[1].ends_with(" 12 pc/kernel")) << lines[1];
  EXPECT_EQ(lines[2], std::string(abcDigest) + " 3 pc/zelvar.pxe");
  EXPECT_TRUE(lines[3].ends_with(" 9 pi2/localboot/kernel7.img")) << lines[3];
  EXPECT_TRUE(lines[4].ends_with(" 7 pi2/localboot/overlays/a.dtbo")) << lines[4];
  EXPECT_TRUE(leftovers(root / "updates", "6.2.63").empty());
}

// The console makes the target before the call; an earlier target is replaced whole.
TEST(UpdateImages, FillsOrReplacesAnExistingTarget) {
  tempDir root;
  makeBootFiles(root);
  fs::create_directories(root / "updates/6.2.63");
  ASSERT_EQ(generate(root / "src", root / "updates/6.2.63"), 1);
  EXPECT_TRUE(exists(root / "updates/6.2.63/update.lst"));

  writeFile(root / "updates/6.2.63/stale.bin", "old");
  ASSERT_EQ(generate(root / "src/", root / "updates/6.2.63/"), 1);
  EXPECT_FALSE(exists(root / "updates/6.2.63/stale.bin"));
  EXPECT_TRUE(exists(root / "updates/6.2.63/pc/kernel"));
  EXPECT_TRUE(leftovers(root / "updates", "6.2.63").empty());
}

// Only PC files, or only Raspberry Pi files, are enough; Cyrillic paths work.
TEST(UpdateImages, PartialBootFilesAndWidePaths) {
  tempDir root;
  writeFile(root / "src/pi2/localboot/start.elf", "elf");
  ASSERT_EQ(generate(root / "src/", root / "обновления/6.2.63/"), 1);
  EXPECT_EQ(readFile(root / "обновления/6.2.63/pi2/localboot/start.elf"), "elf");
  EXPECT_FALSE(fs::exists(root / "обновления/6.2.63/pc"));
}

// Failures leave no target and no temporary directory; an earlier target survives.
TEST(UpdateImages, FailuresLeaveNothingBehind) {
  tempDir root;
  EXPECT_EQ(generate(root / "missing/", root / "updates/6.2.63/"), 0);
  EXPECT_FALSE(fs::exists(root / "updates/6.2.63"));

  fs::create_directories(root / "empty");
  EXPECT_EQ(generate(root / "empty/", root / "updates/6.2.63/"), 0);
  EXPECT_FALSE(fs::exists(root / "updates/6.2.63"));

  // zelvar.pxe without packages/ is not a PC boot set
  writeFile(root / "pxeonly/zelvar.pxe", "abc");
  EXPECT_EQ(generate(root / "pxeonly/", root / "updates/6.2.63/"), 0);

  // A name the list cannot hold fails the run half-way through the copying.
  makeBootFiles(root);
  writeFile(root / "updates/6.2.63/previous", "kept");
  writeFile(root / "src/pi2/bad\nname", "x");
  EXPECT_EQ(generate(root / "src/", root / "updates/6.2.63/"), 0);
  EXPECT_EQ(readFile(root / "updates/6.2.63/previous"), "kept");
  EXPECT_EQ(leftovers(root / "updates", "6.2.63"), std::vector<std::string>{});

  // A target that is a file is refused.
  writeFile(root / "file", "f");
  fs::remove(root / "src/pi2/bad\nname");
  EXPECT_EQ(generate(root / "src/", root / "file"), 0);
  EXPECT_EQ(readFile(root / "file"), "f");
  EXPECT_EQ(library6263().generateUpdateImages(nullptr, nullptr), 0);
}

}  // namespace
}  // namespace zv::test
