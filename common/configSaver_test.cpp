#include "common/configSaver.h"

#include "common/textConfigFile.h"
#include "platform/diagnostics.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <csignal>
#include <filesystem>
#include <vector>

namespace zv {
namespace {

class saver : public CS {};

// Takes every pair, to read back what was saved.
class collector : public CL {
 public:
  std::vector<std::pair<std::string, std::u16string>> pairs;
  bool setOption(const std::string& key, const std::u16string& value, const versionSpec*) override {
    pairs.emplace_back(key, value);
    return true;
  }
};

std::size_t filesIn(const std::string& dir) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

// A saved file is FF FE and 'key=value' CR LF lines in UTF-16LE, byte for byte, and it
// loads back into the same pairs.
TEST(ConfigSaver, BytesAndRoundTrip) {
  test::tempDir dir;
  const std::vector<std::pair<std::string, std::u16string>> pairs = {
      {"name", u"\u0416\u0435\u043D\u044F"}, {"Empty", u""}, {"k", u"a = b"}, {"path", u"C:\\dir"}};
  std::vector<std::u16string> lines;
  for (const auto& [key, value] : pairs) lines.push_back(optionLine(key, value));
  EXPECT_EQ(lines[0], u"name=\u0416\u0435\u043D\u044F\r\n");

  test::writeFile(dir / "config.zvc", "old");
  ASSERT_TRUE(saver().saveConfigLines(dir / "config.zvc", lines));
  EXPECT_EQ(
      test::readFile(dir / "config.zvc"),
      test::hexBytes("FF FE  6E 00 61 00 6D 00 65 00 3D 00 16 04 35 04 3D 04 4F 04 0D 00 0A 00"
                     "  45 00 6D 00 70 00 74 00 79 00 3D 00 0D 00 0A 00"
                     "  6B 00 3D 00 61 00 20 00 3D 00 20 00 62 00 0D 00 0A 00"
                     "  70 00 61 00 74 00 68 00 3D 00 43 00 3A 00 5C 00 64 00 69 00 72 00"
                     "  0D 00 0A 00"));
  EXPECT_EQ(filesIn(dir.path()), 1u);

  collector back;
  EXPECT_TRUE(loadTextConfig(back, dir / "config.zvc"));
  EXPECT_EQ(back.pairs, pairs);
}

// A file that cannot be opened is reported and nothing is created.
TEST(ConfigSaver, OpenFailure) {
  test::tempDir dir;
  test::logCapture log;
  const std::string path = dir / "missing/config.zvc";
  EXPECT_FALSE(saver().saveConfigLines(path, std::vector<std::u16string>{u"a=1\r\n"}));
  EXPECT_TRUE(log.contains("File: " + path + ", error: Failed to open file.\r\n"));
  EXPECT_TRUE(log.contains("INTERNAL ERROR"));
  EXPECT_FALSE(test::exists(dir / "missing"));
}

// A line that cannot be written in full is reported and the previous file stays whole;
// no temporary is left. The file-size limit makes the write fall short.
TEST(ConfigSaver, FailedLineKeepsOldFile) {
  test::tempDir dir;
  test::logCapture log;
  const std::string path = dir / "config.zvc";
  test::writeFile(path, "previous text");

  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 32768;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  const std::u16string big = u"big=" + std::u16string(20000, u'x') + u"\r\n";
  bool ok = saver().saveConfigLines(path, std::vector<std::u16string>{u"a=1\r\n", big, u"b=2\r\n"});
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_FALSE(ok);
  EXPECT_EQ(test::readFile(path), "previous text");
  EXPECT_EQ(filesIn(dir.path()), 1u);
  EXPECT_TRUE(log.contains("File: " + path + ", error: Failed to save line: big=xxx"));
  EXPECT_TRUE(log.contains("INTERNAL ERROR"));
}

}  // namespace
}  // namespace zv
