#include "common/misc3.h"

#include "testsupport/testSupport.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

using test::utf16le;

// Every encoding reads whole up to 16383 units; more is cut there and logged.
TEST(WholeTextFile, ReadEncodingsAndLimit) {
  const std::u16string limitText(16383, u'a');
  struct row {
    const char* name;
    std::string bytes;
    std::u16string expected;
    bool tooLarge;
  };
  const row rows[] = {
      {"UTF-16 with mark", "\xFF\xFE" + utf16le(u"k=\u0416\r\n"), u"k=\u0416\r\n", false},
      {"UTF-16 without mark", utf16le(u"k=1"), u"k=1", false},
      {"UTF-8 with mark", "\xEF\xBB\xBFk=\xC3\xA9", u"k=\u00E9", false},
      {"UTF-8 bad bytes", "\xC3\x41\xE2\x82", u"?A??", false},
      {"empty", "", u"", false},
      {"UTF-16 at the limit", "\xFF\xFE" + utf16le(limitText), limitText, false},
      {"UTF-16 over the limit", "\xFF\xFE" + utf16le(limitText + u"bc"), limitText, true},
      {"UTF-8 at the limit", "\xEF\xBB\xBF" + std::string(16383, 'a'), limitText, false},
      {"UTF-8 over the limit", std::string(16384, 'a'), limitText, true},
      // The limit falls inside a three-byte sequence: cut before it, not into '?'.
      {"UTF-8 cut before a sequence", std::string(16382, 'a') + "\xE2\x82\xAC" + "z",
       std::u16string(16382, u'a'), true},
      {"UTF-8 sequence ending at the limit", std::string(16380, 'a') + "\xE2\x82\xAC" + "z",
       std::u16string(16380, u'a') + u"\u20AC", true},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    test::tempDir dir;
    test::logCapture log;
    test::writeFile(dir / "t.zvc", r.bytes);
    std::u16string text = u"stale";
    EXPECT_TRUE(readWholeTextFile(dir / "t.zvc", text));
    EXPECT_EQ(text, r.expected);
    EXPECT_EQ(log.contains("File " + dir / "t.zvc" + " is too large.\r\n"), r.tooLarge);
  }

  std::u16string text = u"stale";
  EXPECT_FALSE(readWholeTextFile("/nonexistent/t.zvc", text));
  EXPECT_TRUE(text.empty());
}

// The writer puts FF FE before the code units, and the reader gives them back.
TEST(WholeTextFile, WriteBytesAndRoundTrip) {
  test::tempDir dir;
  const std::u16string text = u"# c\r\nk=\u0416\xD800\r\n";
  ASSERT_TRUE(writeWideTextFile(dir / "t.zvc", text));
  EXPECT_EQ(test::readFile(dir / "t.zvc"), "\xFF\xFE" + utf16le(text));
  std::u16string back;
  EXPECT_TRUE(readWholeTextFile(dir / "t.zvc", back));
  EXPECT_EQ(back, text);

  test::logCapture log;
  EXPECT_FALSE(writeWideTextFile(dir / "missing/t.zvc", text));
  EXPECT_TRUE(log.contains("No such file or directory"));
}

}  // namespace
}  // namespace zv
