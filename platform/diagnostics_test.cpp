#include "platform/diagnostics.h"

#include "testsupport/testSupport.h"

#include <gtest/gtest.h>
#include <regex>

namespace zv {
namespace {

// A message line is the time prefix, the text and CR LF, and creates the file.
TEST(DiagnosticLog, MessageLineForm) {
  test::logCapture log;
  EXPECT_FALSE(test::exists(diagnosticLogPath()));
  logMessage("Found %d interfaces on %s.", 3, "eth0");
  std::string text = log.text();
  EXPECT_TRUE(std::regex_match(
      text, std::regex(R"(\[\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\] Found 3 interfaces on eth0\.\r\n)")))
      << text;
}

// An error report right-aligns the file in 20 and the line in 5, then the tag.
TEST(DiagnosticLog, ErrorReportForm) {
  test::logCapture log;
  reportError("ERROR", "common/fstream.cpp", 42, "x=%d", 7);
  reportError("ERROR", "a/very/long/source/file/name.cpp", 123456, "long");
  std::string text = log.text();
  EXPECT_NE(text.find("]   common/fstream.cpp (   42): -- ERROR -- x=7\r\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("] a/very/long/source/file/name.cpp (123456): -- ERROR -- long\r\n"),
            std::string::npos);
}

// errno is reported with the common internal-error text and survives the report.
TEST(DiagnosticLog, InternalErrorKeepsErrno) {
  test::logCapture log;
  errno = 13;
  ZV_INTERNAL_ERROR();
  EXPECT_EQ(errno, 13);
  EXPECT_TRUE(
      log.contains("-- ERROR -- INTERNAL ERROR (13). Please, contact Zelvar tech support.\r\n"));
}

// A line that fills the 10240-byte buffer loses its CR LF but keeps the NUL's byte.
TEST(DiagnosticLog, LongLinesAreCutAtTheBuffer) {
  std::string prefix = "[01.02.2026 03:04:05] ";
  auto build = [&](const std::string& text) {
    return [&](const char* format, ...) {
      va_list args;
      va_start(args, format);
      std::string line = buildLogLine(prefix, format, args);
      va_end(args);
      return line;
    }("%s", text.c_str());
  };
  std::string fits(logLineBufferSize - prefix.size() - 3, 'a');
  EXPECT_EQ(build(fits), prefix + fits + "\r\n");
  std::string oneShort(logLineBufferSize - prefix.size() - 2, 'a');
  EXPECT_EQ(build(oneShort), prefix + oneShort + "\r");
  std::string huge(20000, 'b');
  std::string line = build(huge);
  EXPECT_EQ(line.size(), logLineBufferSize - 1);
  EXPECT_EQ(line.back(), 'b');
}

// Without a logs directory nothing is written and nothing fails.
TEST(DiagnosticLog, NoDirectoryDropsLines) {
  std::string previous = logDirectory();
  setLogDirectory("");
  logMessage("dropped");
  EXPECT_EQ(diagnosticLogPath(), "");
  setLogDirectory(previous);
}

class scriptedUi : public internalErrorUi {
 public:
  bool askRetry(const std::string& text) override {
    shown = text;
    return true;
  }
  std::string shown;
};

// Retry returns to the caller with the box text naming the place and the operation.
TEST(InternalErrorBox, RetryReturnsWithFullText) {
  scriptedUi ui;
  setInternalErrorUi(&ui);
  errno = 2;
  internalErrorBox("zvc/addTerminal.cpp", 77, "addTerminalDialog");
  setInternalErrorUi(nullptr);
  EXPECT_EQ(ui.shown,
            "INTERNAL ERROR\nFile: zvc/addTerminal.cpp\nLine: 77\nFunction: addTerminalDialog\n"
            "Error: 2\nPlease, report this information to Zelvar tech support: "
            "support@zelvar.ru.\nWe recommend you to press \"Cancel\" and restart application.");
}

// Cancel ends the process with exit code 0.
TEST(InternalErrorBoxDeathTest, CancelExitsZero) {
  class cancelUi : public internalErrorUi {
    bool askRetry(const std::string&) override { return false; }
  };
  EXPECT_EXIT(
      {
        cancelUi ui;
        setInternalErrorUi(&ui);
        internalErrorBox("f.cpp", 1, "win_registerClass");
        std::exit(5);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace zv
