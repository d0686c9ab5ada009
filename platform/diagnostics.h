#pragma once
// The diagnostic log "zvc.log" and the internal-error box.
//
// Every module reports conditions that should not happen, and a few ordinary events,
// as one line appended to "zvc.log" in the logs directory. A line is built in a
// 10240-byte buffer, ends with CR LF and is written with a single write() on an
// O_APPEND descriptor that is opened and closed for each line, so lines of different
// threads and processes never mix. A line that cannot be written is dropped silently:
// there is nowhere else to report to.
//
// Thread safety: logMessage, reportError and reportInternalError may be called from
// any thread. setLogDirectory is called once at start-up (and by tests) before other
// threads exist. internalErrorBox is for the user-interface thread only.
//
// Wide texts are converted to UTF-8 by the caller (toUtf8) and inserted with %s.

#include <cstdarg>
#include <string>

namespace zv {

constexpr std::size_t logLineBufferSize = 10240;

// The directory that holds "zvc.log" (and the terminal change log), ending with '/'.
// Until it is set, lines are dropped.
void setLogDirectory(std::string directory);
std::string logDirectory();
std::string diagnosticLogPath();

void logMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logMessageV(const char* format, va_list args);

// One error-report line: prefix with time, source file (right-aligned in 20), source
// line (right-aligned in 5) and the tag, then the caller's text.
void reportError(const char* tag, const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// "INTERNAL ERROR (%d). Please, contact Zelvar tech support." with the current errno.
void reportInternalError(const char* file, int line);

#define ZV_INTERNAL_ERROR() ::zv::reportInternalError(__FILE__, __LINE__)
#define ZV_REPORT(...) ::zv::reportError("ERROR", __FILE__, __LINE__, __VA_ARGS__)

// "<context>: <strerror> (errno N)", the one helper that turns errno into words.
std::string errnoText(const char* context, int error);

// The bad lines of one file: the first `cap` are logged, and at the end one line tells
// how many more were skipped, so that a damaged file of any size costs a few lines.
// One reader, one thread.
class cappedLineLog {
 public:
  explicit cappedLineLog(std::string file, int cap = 20) : file_(std::move(file)), cap_(cap) {}
  ~cappedLineLog();
  cappedLineLog(const cappedLineLog&) = delete;
  cappedLineLog& operator=(const cappedLineLog&) = delete;
  void line(const char* format, ...) __attribute__((format(printf, 2, 3)));

 private:
  std::string file_;
  int cap_;
  int count_ = 0;
};

// Formats into a string with printf rules (no size limit).
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Formats one diagnostic line exactly as it is written, without writing it. `prefix`
// is the already formatted prefix. Exposed for the change log and for tests.
std::string buildLogLine(const std::string& prefix, const char* format, va_list args,
                         std::size_t bufferSize = logLineBufferSize);
// "[dd.mm.yyyy hh:mm:ss] " in local time.
std::string timePrefix();

// Appends bytes to a file with one write() on an O_APPEND descriptor, creating the file.
// False when the file cannot be opened or the write was short.
bool appendLine(const std::string& path, const std::string& bytes);

// What the user answers in the internal-error box. The user-interface host implements
// it; until a window exists a console implementation is used.
class internalErrorUi {
 public:
  virtual ~internalErrorUi() = default;
  // Shows the box with the text and the caption "INTERNAL ERROR", buttons Retry and
  // Cancel. True for Retry.
  virtual bool askRetry(const std::string& text) = 0;
};

// Installs the box implementation (nullptr restores the console one). Not owned.
void setInternalErrorUi(internalErrorUi* ui);

// Builds the internal-error text for the failed operation and asks the user. Returns
// when the user chooses Retry; Cancel ends the process with exit code 0.
void internalErrorBox(const char* file, int line, const char* function);
std::string internalErrorText(const char* file, int line, const char* function, unsigned error);

}  // namespace zv
