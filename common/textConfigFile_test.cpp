#include "common/textConfigFile.h"

#include "common/DHCPIgnoreMACs.h"
#include "common/groups.h"

#include "platform/diagnostics.h"
#include "platform/textConv.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <functional>
#include <vector>

namespace zv {
namespace {

using test::hexBytes;
using test::utf16le;

// Every line a buffer hands out until the first refusal.
template <class Buffer>
std::vector<typename Buffer::text> readAll(Buffer& buffer, bool join) {
  std::vector<typename Buffer::text> lines;
  while (buffer.readLine(join)) lines.push_back(buffer.line());
  return lines;
}

std::vector<std::u16string> wideLines(std::u16string_view text, bool join) {
  wideTextBuffer buffer;
  buffer.assign(std::u16string(text));
  auto lines = readAll(buffer, join);
  EXPECT_TRUE(buffer.atEnd());
  return lines;
}

// The decoder is chosen by the first bytes, in the order of the table, and each decoder
// turns bytes into code units exactly.
TEST(TextDecode, EncodingTableAndDecoders) {
  struct row {
    const char* hex;
    std::u16string expected;
  };
  const row rows[] = {
      {"", u""},
      {"41", u"A"},
      {"00", std::u16string(1, u'\0')},            // one byte: UTF-8 even when 00
      {"FF", u"?"},                                // one byte of a mark: UTF-8
      {"EF BB BF 41", u"A"},                       // UTF-8 mark skipped
      {"EF BB BF FF FE", u"??"},                   // the UTF-8 mark wins over what follows
      {"FF FE", u""},                              // UTF-16 mark alone
      {"FF FE 41 00 0D 00 0A 00", u"A\r\n"},       // UTF-16 with mark
      {"FF FE 41", u""},                           // odd trailing byte dropped
      {"41 00 42 00", u"AB"},                      // no mark, second byte 00: UTF-16
      {"41 00 42", u"A"},                          // ... odd length
      {"41 0D 0A", u"A\r\n"},                      // plain ASCII
      {"00 41", std::u16string(u"\0A", 2)},        // first byte 00 only: UTF-8
      {"41 00 00 00", std::u16string(u"A\0", 2)},  // NUL code units kept
      {"C3 A9", u"\u00E9"},                        // two-byte sequence
      {"E2 82 AC", u"\u20AC"},                     // three-byte sequence
      {"C3 41", u"?A"},                            // second byte not 10xxxxxx
      {"E2 82", u"??"},                            // sequence cut by the end of the file
      {"E2 41 AC", u"?A?"},                        // bad second byte, then a stray byte
      {"80 BF", u"??"},                            // stray continuation bytes
      {"F0 9F 98 80", u"????"},                    // no four-byte sequences
      {"ED A0 80", u"\xD800"},                     // no surrogate handling either
      {"C0 80", std::u16string(1, u'\0')},         // overlong form taken as written
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.hex);
    EXPECT_EQ(decodeTextBytes(hexBytes(r.hex)), r.expected);
  }
}

// Logical lines: blanks, comments, CR/LF in any combination, continuations.
TEST(TextLines, LogicalLineRules) {
  struct row {
    const char* name;
    std::u16string text;
    bool join;
    std::vector<std::u16string> lines;
  };
  const row rows[] = {
      {"empty", u"", true, {}},
      {"blanks and comments only", u"  \t \r\n\n# c\n   # d\r\t#", true, {}},
      {"every line end", u"a\rb\nc\r\nd\n\re\r\r\n\nf", true, {u"a", u"b", u"c", u"d", u"e", u"f"}},
      {"blanks around and inside",
       u"  key =   value with  inner  blanks   # note",
       true,
       {u"key =   value with  inner  blanks"}},
      {"tabs are blanks", u"\t\tx\t \r\n", true, {u"x"}},
      {"comment glued to value", u"k=v#c", true, {u"k=v"}},
      {"NUL is an ordinary character",
       std::u16string(u"a\0b", 3),
       true,
       {std::u16string(u"a\0b", 3)}},
      {"continuation", u"path=C:\\dir\\\n  sub", true, {u"path=C:\\dirsub"}},
      {"continuation not asked", u"path=C:\\dir\\\n  sub", false, {u"path=C:\\dir\\", u"sub"}},
      {"inner backslash", u"a\\b", true, {u"a\\b"}},
      {"backslash before text", u"a\\ x", true, {u"a\\ x"}},
      {"backslash before comment", u"a\\ #c\nb", true, {u"a\\", u"b"}},
      {"blanks around the join", u"a \\  \t\n   b", true, {u"ab"}},
      {"blank lines between parts", u"a\\\r\n\r\n  \n\tb", true, {u"ab"}},
      {"three parts", u"a\\\nb\\\nc\nd", true, {u"abc", u"d"}},
      {"continuation at end of file", u"k=v\\", true, {u"k=v"}},
      {"continuation of nothing", u"  \\\nk=v", true, {u"k=v"}},
      {"comment after a join ends the line", u"a\\\n# note\nb", true, {u"a", u"b"}},
      {"comment continues", u"a # note \\\nc=d\ne", true, {u"a", u"e"}},
      {"comment continues across blank lines", u"# x\\\n\n\n  c=d\ne", true, {u"e"}},
      {"comment continues twice", u"#\\\n\\\nk\nz", true, {u"z"}},
      {"comment continuation not asked", u"a # note \\\nc=d", false, {u"a", u"c=d"}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(wideLines(r.text, r.join), r.lines);
  }
}

// The byte twin skips one UTF-8 mark, keeps bytes undecoded and uses the same rules.
TEST(TextLines, ByteBufferRules) {
  struct row {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
  };
  const row rows[] = {
      {"mark skipped", "\xEF\xBB\xBF  [auto] # c\r\n", {"[auto]"}},
      {"second mark kept", "\xEF\xBB\xBF\xEF\xBB\xBFx", {"\xEF\xBB\xBFx"}},
      {"bytes undecoded", "\xC3\x41\n\xFF\xFE", {"\xC3\x41", "\xFF\xFE"}},
      {"no continuation", "a\\\nb", {"a\\", "b"}},
      {"line ends", "1\r2\n\n3\r\n", {"1", "2", "3"}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    byteTextBuffer buffer;
    ASSERT_TRUE(buffer.openBytes(r.bytes));
    EXPECT_EQ(readAll(buffer, false), r.lines);
    EXPECT_TRUE(buffer.atEnd());
  }
}

// 4095 units fit, counted from the first non-blank and with trailing blanks; more is
// refused with the part collected so far as the current line.
TEST(TextLineLimit, LengthIsCountedAsSpecified) {
  const std::u16string full(4095, u'a');
  struct row {
    const char* name;
    std::u16string text;
    bool ok;
    bool atEnd;
  };
  const row rows[] = {
      {"4095", full, true, true},
      {"4095 then line end", full + u"\r\nb", true, false},
      {"leading blanks not counted", u"   \t" + full, true, true},
      {"comment not counted", u"# " + std::u16string(9000, u'c') + u"\n" + full, true, true},
      {"comment right after", full + u"#x", true, true},
      {"blanks dropped at a join",
       std::u16string(2000, u'a') + u"   \\\n   " + std::u16string(2095, u'b'), true, true},
      {"4096", full + u"a", false, false},
      {"trailing blank counted", full + u" ", false, false},
      {"blank before comment counted", full + u" # x", false, false},
      {"across a join", full + u"\\\nb", false, false},
      {"1 MB", std::u16string(1 << 20, u'x'), false, false},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    wideTextBuffer buffer;
    buffer.assign(r.text);
    EXPECT_EQ(buffer.readLine(true), r.ok);
    EXPECT_EQ(buffer.line().size(), 4095u);
    EXPECT_EQ(buffer.atEnd(), r.atEnd);
  }

  byteTextBuffer bytes;
  ASSERT_TRUE(bytes.openBytes(std::string(4095, 'a') + "\n" + std::string(4096, 'b')));
  EXPECT_TRUE(bytes.readLine(false));
  EXPECT_FALSE(bytes.readLine(false));
  EXPECT_EQ(bytes.line(), std::string(4095, 'b'));
  EXPECT_FALSE(bytes.atEnd());
}

// After a line that was too long, skipping the rest of it resumes at the next line
// instead of handing out the tail (which here would look like a line of its own).
TEST(TextLineLimit, SkippingTheRestOfALongLine) {
  byteTextBuffer bytes;
  ASSERT_TRUE(bytes.openBytes(std::string(4095, 'a') + " tail # c\\\r\nnext\n"));
  EXPECT_FALSE(bytes.readLine(false));
  bytes.skipRestOfLine();
  ASSERT_TRUE(bytes.readLine(false));
  EXPECT_EQ(bytes.line(), "next");
  bytes.skipRestOfLine();  // at the end of a line already: stays there
  EXPECT_FALSE(bytes.readLine(false));
  EXPECT_TRUE(bytes.atEnd());
}

// Reading a buffer that was never opened is a fault of the caller.
TEST(TextLines, UnopenedBufferReportsInternalError) {
  test::logCapture log;
  textSource source;
  EXPECT_FALSE(source.readLine(true));
  EXPECT_TRUE(log.contains("INTERNAL ERROR"));
  EXPECT_FALSE(source.open("/nonexistent/dir/config.zvc"));
  EXPECT_FALSE(source.isOpen());
}

// Key up to the first blank or '=', separator any run of them, value verbatim.
TEST(TextKeyValue, Split) {
  struct row {
    std::u16string line;
    bool ok;
    std::string key;
    std::u16string value;
  };
  const std::string key63(63, 'k');
  const row rows[] = {
      {u"key=value", true, "key", u"value"},
      {u"key = value", true, "key", u"value"},
      {u"key value", true, "key", u"value"},
      {u"key==value", true, "key", u"value"},
      {u"key\tvalue", true, "key", u"value"},
      {u"key = = x", true, "key", u"x"},
      {u"k = a = b", true, "k", u"a = b"},
      {u"key =   value with  inner  blanks", true, "key", u"value with  inner  blanks"},
      {u"key", true, "key", u""},
      {u"key = ", true, "key", u""},
      {u"Key=VaLue", true, "Key", u"VaLue"},
      {u"=value", true, "", u"value"},
      {u"k=\u0416\u20AC", true, "k", u"\u0416\u20AC"},
      {widenAscii(key63) + u"=1", true, key63, u"1"},
      {widenAscii(key63) + u"k=1", false, "", u""},
      {u"k\u00E9y=1", false, "", u""},
      {u"\x7F=1", true, "\x7F", u"1"},
  };
  test::logCapture log;
  for (const row& r : rows) {
    SCOPED_TRACE(toUtf8(r.line));
    std::string key = "stale";
    std::u16string value = u"stale";
    EXPECT_EQ(splitKeyValue(r.line, key, value), r.ok);
    if (r.ok) {
      EXPECT_EQ(key, r.key);
      EXPECT_EQ(value, r.value);
    }
  }
}

// ---- loading -----------------------------------------------------------------------

struct pair {
  std::string key;
  std::u16string value;
  bool operator==(const pair&) const = default;
};

// Takes every pair except those whose key is listed; with a specification given, it
// refuses keys listed as needing none (to exercise the second offer).
class recordingConfig : public CL {
 public:
  std::vector<pair> taken;
  std::vector<std::string> refused;
  std::vector<std::string> onlyWithoutSpec;
  int calls = 0;

  bool setOption(const std::string& key, const std::u16string& value,
                 const versionSpec* spec) override {
    ++calls;
    for (const std::string& k : refused)
      if (equalsNoCase(k, key)) return false;
    if (spec)
      for (const std::string& k : onlyWithoutSpec)
        if (k == key) return false;
    taken.push_back({key, value});
    return true;
  }
};

const versionSpec* someSpec() {
  static int dummy;
  return reinterpret_cast<const versionSpec*>(&dummy);
}

std::string utf16File(std::u16string_view text) {
  return "\xFF\xFE" + utf16le(text);
}

// Empty and comment-only files load with no pairs and nothing is set aside.
TEST(TextConfigLoad, EmptyAndCommentOnlyFiles) {
  test::tempDir dir;
  test::logCapture log;
  for (const std::string& bytes :
       {std::string(), std::string("\xFF\xFE"), utf16File(u"# only\r\n\r\n   \t\r\n# more\r\n")}) {
    test::writeFile(dir / "config.zvc", bytes);
    recordingConfig config;
    EXPECT_TRUE(loadTextConfig(config, dir / "config.zvc"));
    EXPECT_TRUE(config.taken.empty());
    EXPECT_TRUE(test::exists(dir / "config.zvc"));
  }
  EXPECT_EQ(log.text(), "");
}

// Every accepted encoding gives the same pairs, continuations joined.
TEST(TextConfigLoad, PairsInEveryEncoding) {
  const std::u16string text =
      u"# terminal\r\n  name = \u0416\u0435\u043D\u044F  # owner\r\npath=C:\\dir\\\r\n  sub\r\n"
      u"flag\r\nk = a = b";
  const std::vector<pair> expected = {{"name", u"\u0416\u0435\u043D\u044F"},
                                      {"path", u"C:\\dirsub"},
                                      {"flag", u""},
                                      {"k", u"a = b"}};
  test::tempDir dir;
  const std::string files[] = {utf16File(text), utf16le(text), toUtf8(text),
                               "\xEF\xBB\xBF" + toUtf8(text)};
  for (const std::string& bytes : files) {
    test::writeFile(dir / "config.zvc", bytes);
    recordingConfig config;
    EXPECT_TRUE(loadTextConfig(config, dir / "config.zvc", someSpec()));
    EXPECT_EQ(config.taken, expected);
  }
}

// A pair refused with the specification is offered once more without it; a load
// without specification offers it only once.
TEST(TextConfigLoad, SecondOfferWithoutSpecification) {
  test::tempDir dir;
  test::writeFile(dir / "a.zvc", "legacy=1\r\n");
  recordingConfig config;
  config.onlyWithoutSpec = {"legacy"};
  EXPECT_TRUE(loadTextConfig(config, dir / "a.zvc", someSpec()));
  EXPECT_EQ(config.calls, 2);
  EXPECT_EQ(config.taken, (std::vector<pair>{{"legacy", u"1"}}));

  test::logCapture log;
  recordingConfig refusing;
  refusing.refused = {"legacy"};
  EXPECT_FALSE(loadTextConfig(refusing, dir / "a.zvc"));
  EXPECT_EQ(refusing.calls, 1);
}

// Each kind of bad line stops the load with the message naming the line; pairs before
// it stay, the file is set aside with the reason at its head and the old text after.
TEST(TextConfigLoad, BadLinesMarkTheFileBroken) {
  const std::u16string long4096 = std::u16string(4096, u'v');
  struct row {
    const char* name;
    std::u16string badLine;
    std::u16string reported;
  };
  const row rows[] = {
      {"refused key", u"bad=1", u"bad=1"},
      {"64-character key", widenAscii(std::string(64, 'k')) + u"=1",
       widenAscii(std::string(64, 'k')) + u"=1"},
      {"non-ASCII key", u"k\u00E9y = 1", u"k\u00E9y = 1"},
      {"4096-unit line", long4096, long4096.substr(0, 4095)},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    test::tempDir dir;
    test::logCapture log;
    const std::string path = dir / "config.zvc";
    const std::u16string oldText = u"good=1\r\n" + r.badLine + u"\r\nlater=2\r\n";
    test::writeFile(path, utf16File(oldText));

    recordingConfig config;
    config.refused = {"bad"};
    EXPECT_FALSE(loadTextConfig(config, path));
    EXPECT_EQ(config.taken, (std::vector<pair>{{"good", u"1"}}));

    EXPECT_FALSE(test::exists(path));
    const std::u16string reason = u"Failed to load line: " + r.reported;
    EXPECT_EQ(test::readFile(path + ".broken"), utf16File(u"# " + reason + u"\r\n\r\n" + oldText));
    EXPECT_TRUE(log.contains("WARNING! Set broken file " + path + "\r\n"));
    EXPECT_TRUE(log.contains("File: " + path + ", error: " + toUtf8(reason)));
    EXPECT_TRUE(log.contains("INTERNAL ERROR"));
  }
}

// A 63-character key loads.
TEST(TextConfigLoad, LongestKeyAndLine) {
  test::tempDir dir;
  const std::string key63(63, 'K');
  const std::u16string value(4095 - 64, u'v');
  test::writeFile(dir / "a.zvc", utf16File(widenAscii(key63) + u"=" + value + u"\r\n"));
  recordingConfig config;
  EXPECT_TRUE(loadTextConfig(config, dir / "a.zvc"));
  EXPECT_EQ(config.taken, (std::vector<pair>{{key63, value}}));
}

// A file that cannot be opened fails with "Failed to open file." and nothing is made.
TEST(TextConfigLoad, MissingFile) {
  test::tempDir dir;
  test::logCapture log;
  recordingConfig config;
  EXPECT_FALSE(loadTextConfig(config, dir / "config.zvc"));
  EXPECT_TRUE(log.contains("File: " + dir / "config.zvc" + ", error: Failed to open file.\r\n"));
  EXPECT_FALSE(log.contains("WARNING!"));
  EXPECT_FALSE(test::exists(dir / "config.zvc.broken"));
}

// ---- broken files ------------------------------------------------------------------

// The set-aside file loads again: its reason is a comment, even when the reason ends
// with a backslash that would otherwise swallow the first line after it.
TEST(BrokenFile, ReloadsSkippingTheReason) {
  for (const std::u16string& badLine :
       {std::u16string(u"bad=1"), std::u16string(4094, u'x') + u"\\yz"}) {
    test::tempDir dir;
    test::logCapture log;
    const std::string path = dir / "config.zvc";
    test::writeFile(path, utf16File(u"first=1\r\n" + badLine + u"\r\n"));
    recordingConfig config;
    config.refused = {"bad"};
    EXPECT_FALSE(loadTextConfig(config, path));

    recordingConfig again;
    loadTextConfig(again, path + ".broken");
    ASSERT_FALSE(again.taken.empty());
    EXPECT_EQ(again.taken.front(), (pair{"first", u"1"}));
  }
}

// An existing ".broken" file is never replaced: the failing file keeps its name and the
// older copy keeps its text.
TEST(BrokenFile, ExistingBrokenFileStays) {
  test::tempDir dir;
  test::logCapture log;
  const std::string path = dir / "config.zvc";
  const std::string older = utf16File(u"# earlier failure\r\n\r\nold=1\r\n");
  test::writeFile(path, "bad=1\n");
  test::writeFile(path + ".broken", older);
  recordingConfig config;
  config.refused = {"bad"};
  EXPECT_FALSE(loadTextConfig(config, path));
  EXPECT_EQ(test::readFile(path), "bad=1\n");
  EXPECT_EQ(test::readFile(path + ".broken"), older);
  EXPECT_TRUE(log.contains("WARNING! Set broken file " + path));
  EXPECT_TRUE(log.contains("File exists"));
}

// The reason is put in front of the whole text in the file's own encoding: a large or
// undecodable UTF-8 file is kept byte for byte.
TEST(BrokenFile, KeepsWholeTextAndEncoding) {
  std::string big;
  while (big.size() < 40000) big += "opt=\xF0\x9F\x98\x80 \xFF\xC3\r\n";
  struct row {
    const char* name;
    std::string bytes;
    std::string expected;
  };
  const std::string reason = "# Failed to open file.\r\n\r\n";
  const row rows[] = {
      {"UTF-8", big, reason + big},
      {"UTF-8 with mark", "\xEF\xBB\xBF" + big, "\xEF\xBB\xBF" + reason + big},
      {"UTF-16 without mark, odd length", utf16le(u"a=1") + "Z",
       utf16File(u"# Failed to open file.\r\n\r\na=1") + "Z"},
      {"empty", "", reason},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    test::tempDir dir;
    test::writeFile(dir / "x.broken", r.bytes);
    EXPECT_TRUE(prependBrokenReason(dir / "x.broken", u"Failed to open file."));
    EXPECT_EQ(test::readFile(dir / "x.broken"), r.expected);
  }
}

// markBroken only moves files that exist, and never a directory.
TEST(BrokenFile, MarkOnlyExistingFiles) {
  test::tempDir dir;
  test::logCapture log;
  EXPECT_FALSE(markBroken(dir / "missing.zvc"));
  ASSERT_EQ(::mkdir((dir / "sub.zvc").c_str(), 0755), 0);
  EXPECT_FALSE(markBroken(dir / "sub.zvc"));
  EXPECT_FALSE(test::exists(dir / "sub.zvc.broken"));
  EXPECT_EQ(log.text(), "");
  test::writeFile(dir / "t.zvc", "x");
  EXPECT_TRUE(markBroken(dir / "t.zvc"));
  EXPECT_EQ(test::readFile(dir / "t.zvc.broken"), "x");
}

// In a directory that cannot be written the rename fails: logged, the file stays, the
// load reports failure. Runs as an unprivileged user (root ignores the permissions).
TEST(BrokenFile, ReadOnlyDirectory) {
  test::tempDir dir;
  test::logCapture log;
  const std::string sub = dir / "ro";
  const std::string path = sub + "/config.zvc";
  test::writeFile(path, "bad=1\n");
  ASSERT_EQ(::chmod(sub.c_str(), 0555), 0);
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(logDirectory().c_str(), 0777), 0);
  EXPECT_EXIT(
      {
        if (::geteuid() == 0 && ::setuid(65534) != 0) ::_exit(3);
        recordingConfig config;
        config.refused = {"bad"};
        ::_exit(loadTextConfig(config, path) ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(test::readFile(path), "bad=1\n");
  EXPECT_FALSE(test::exists(path + ".broken"));
  EXPECT_TRUE(log.contains("WARNING! Set broken file " + path));
  EXPECT_TRUE(log.contains("Permission denied"));
  EXPECT_TRUE(log.contains("File: " + path + ", error: Failed to load line: bad=1"));
  ::chmod(sub.c_str(), 0755);
}

// A damaged file of any size costs a few lines of the log per read: at most 20 bad lines
// are written, then one line with the number skipped.
TEST(BadLineLog, AtMostTwentyLinesPerRead) {
  constexpr int badLines = 160000;
  auto lines = [](const char* line) {
    std::string bytes;
    for (int i = 0; i < badLines; ++i) bytes += line;
    return bytes;
  };
  struct refusesAll : CL {};
  test::tempDir dir;
  struct readerCase {
    const char* name;
    std::function<void()> read;
    bool countsSkipped;  // reads on past bad lines, so it reports the rest
  };
  const readerCase cases[] = {
      {"default.zvc",
       [&] {
         std::vector<std::u16string> kept;
         EXPECT_TRUE(readGroups(lines("not a group line\r\n"), &kept).empty());
         EXPECT_EQ(kept.size(), std::size_t(badLines));
       },
       true},
      {"ignore_macs",
       [&] {
         std::vector<macAddress> macs;
         EXPECT_FALSE(readIgnoreMacs(lines("not-a-mac\n"), macs, nullptr));
       },
       false},
      {"text configuration",
       [&] {
         test::writeFile(dir / "all.zvc", lines("key value\r\n"));
         refusesAll target;
         EXPECT_FALSE(loadTextConfig(target, dir / "all.zvc"));
       },
       false},
  };
  for (const readerCase& c : cases) {
    for (int read = 0; read < 2; ++read) {
      test::logCapture log;
      c.read();
      std::string text = log.text();
      std::size_t written = 0;
      for (auto at = text.find("\r\n"); at != text.npos; at = text.find("\r\n", at + 2)) ++written;
      EXPECT_GE(written, 1u) << c.name;
      EXPECT_LE(written, 21u) << c.name << "\n" << text.substr(0, 2000);
      if (c.countsSkipped) {
        EXPECT_EQ(written, 21u) << c.name;
        EXPECT_TRUE(log.contains(std::to_string(badLines - 20) + " more bad lines were skipped"))
            << c.name << "\n"
            << text.substr(0, 2000);
      }
    }
  }
}

}  // namespace
}  // namespace zv
