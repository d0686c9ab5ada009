#include "common/fstream.h"

#include "testsupport/testSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>

namespace zv {
namespace {

template <class F>
long elapsedMs(F&& work) {
  auto start = std::chrono::steady_clock::now();
  work();
  return long(std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count());
}

std::size_t occurrences(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// --- files ---------------------------------------------------------------------------

TEST(ByteStreamFile, WriteReadAppend) {
  test::tempDir dir;
  byteStream out;
  ASSERT_TRUE(out.openWrite(dir / "f"));
  EXPECT_TRUE(out.writeAll("abc\0def", 7));
  EXPECT_EQ(out.printf("%d-%s", 42, "x"), 4);
  ASSERT_TRUE(out.close());
  ASSERT_TRUE(out.openWrite(dir / "f", true));
  EXPECT_TRUE(out.writeAll("+"));
  ASSERT_TRUE(out.openRead(dir / "f"));  // replaces (and closes) the writer
  char buffer[64];
  EXPECT_EQ(out.read(buffer, sizeof buffer), 12);
  EXPECT_EQ(std::string(buffer, 12), std::string("abc\0def42-x+", 12));
  EXPECT_EQ(out.read(buffer, sizeof buffer), 0);
  ASSERT_TRUE(out.openWrite(dir / "f"));
  out.close();
  EXPECT_EQ(test::readFile(dir / "f"), "");
}

// printf writes whole texts only: too long or empty is an internal error, nothing written.
TEST(ByteStreamFile, PrintfLimits) {
  test::tempDir dir;
  test::logCapture log;
  byteStream out;
  ASSERT_TRUE(out.openWrite(dir / "f"));
  std::string fits(10239, 'a');
  EXPECT_EQ(out.printf("%s", fits.c_str()), 10239);
  EXPECT_TRUE(log.text().empty());
  EXPECT_EQ(out.printf("%s", (fits + "b").c_str()), -1);
  EXPECT_TRUE(log.contains("common/fstream.cpp")) << log.text();
  EXPECT_TRUE(log.contains("-- ERROR -- INTERNAL ERROR (")) << log.text();
  log.clear();
  EXPECT_EQ(out.printf("%s", ""), -1);
  EXPECT_TRUE(log.contains("INTERNAL ERROR"));
  out.close();
  EXPECT_EQ(test::readFile(dir / "f"), fits);
}

// With nothing open, reads and writes fail without a line.
TEST(ByteStreamFile, ClosedStreamFailsQuietly) {
  test::logCapture log;
  byteStream none;
  char buffer[2048];
  EXPECT_EQ(none.read(buffer, 1), -1);
  EXPECT_FALSE(none.writeAll("x"));
  EXPECT_EQ(none.printf("x"), -1);
  EXPECT_TRUE(none.close());
  EXPECT_FALSE(none.openWrite("/nonexistent-dir/f", false, true));
  EXPECT_TRUE(log.text().empty()) << log.text();
  EXPECT_FALSE(none.openRead("/nonexistent-dir/f"));
  EXPECT_TRUE(log.contains("INTERNAL ERROR (2)"));
}

// Eleven attempts 30 ms apart, then an internal error; a directory made meanwhile is used.
TEST(ByteStreamFile, OpenWriteRetry) {
  test::tempDir dir;
  test::logCapture log;
  byteStream out;
  bool opened = true;
  long ms = elapsedMs([&] { opened = out.openWriteRetry(dir / "missing", "f"); });
  EXPECT_FALSE(opened);
  EXPECT_GE(ms, 250);
  EXPECT_LT(ms, 2000);
  EXPECT_EQ(occurrences(log.text(), "INTERNAL ERROR (2)"), 1u) << log.text();

  std::thread maker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    ::mkdir((dir / "late").c_str(), 0755);
  });
  EXPECT_TRUE(out.openWriteRetry(dir / "late", "f"));
  maker.join();
  EXPECT_TRUE(test::exists(dir / "late/f"));

  std::string deep = dir.path();  // "././…" keeps the components short while the path grows
  while (deep.size() + 2 < 1020) deep += "./";
  EXPECT_TRUE(out.openWriteRetry(deep, std::string(1024 - deep.size(), 'n') + "cut-off"));
  EXPECT_TRUE(test::exists(dir / std::string(1024 - deep.size(), 'n')));
}

// A move hands the handle over; the moved-from stream does not close it.
TEST(ByteStreamFile, MoveKeepsTheHandleOpen) {
  test::tempDir dir;
  std::optional<byteStream> first(std::in_place);
  ASSERT_TRUE(first->openWrite(dir / "a"));
  int fd = first->handle();
  byteStream second(std::move(*first));
  first.reset();
  EXPECT_EQ(second.handle(), fd);
  EXPECT_TRUE(second.writeAll("a"));
  byteStream third;
  ASSERT_TRUE(third.openWrite(dir / "b"));
  int old = third.handle();
  third = std::move(second);  // closes "b"'s handle
  EXPECT_EQ(third.handle(), fd);
  EXPECT_TRUE(third.writeAll("b"));
  EXPECT_EQ(::fcntl(old, F_GETFD), -1);
  third.close();
  EXPECT_EQ(test::readFile(dir / "a"), "ab");
}

TEST(ByteStreamFile, WholeFileWriters) {
  test::tempDir dir;
  test::logCapture log;
  EXPECT_TRUE(writeBytesFile(dir / "b", std::string("x\0y", 3)));
  EXPECT_EQ(test::readFile(dir / "b"), std::string("x\0y", 3));
  EXPECT_TRUE(writeFormattedFile(dir / "f", "%s=%d\r\n", "k", 5));
  EXPECT_EQ(test::readFile(dir / "f"), "k=5\r\n");
  EXPECT_TRUE(writeFormattedFile(dir / "f", "%s", std::string(255, 'm').c_str()));
  EXPECT_TRUE(writeUtf16File(dir / "u", u"A\u00e9\U0001F600"));
  EXPECT_EQ(test::readFile(dir / "u"), test::hexBytes("FF FE 41 00 E9 00 3D D8 00 DE"));
  EXPECT_TRUE(log.text().empty());
  // A text that would be cut is refused and the old file stays.
  EXPECT_FALSE(writeFormattedFile(dir / "f", "%s", std::string(256, 'm').c_str()));
  EXPECT_EQ(test::readFile(dir / "f"), std::string(255, 'm'));
  EXPECT_TRUE(log.contains("INTERNAL ERROR (90)")) << log.text();
  EXPECT_FALSE(writeBytesFile(dir / "no/such/dir", "x"));
  EXPECT_TRUE(log.contains("INTERNAL ERROR (2)")) << log.text();
}

// --- in a network namespace of the test's own ----------------------------------------

}  // namespace
}  // namespace zv
