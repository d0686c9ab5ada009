#include "platform/diagnostics.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <mutex>

namespace zv {
namespace {

std::mutex directoryMutex;
std::string logDir;

// Completes a line in the fixed buffer: CR LF only as far as room remains, keeping
// one byte for the terminating NUL the buffer always had.
std::string finishLine(std::string line, std::size_t bufferSize) {
  if (line.size() > bufferSize - 1) line.resize(bufferSize - 1);
  const char crlf[] = "\r\n";
  for (int i = 0; i < 2 && line.size() < bufferSize - 1; ++i) line.push_back(crlf[i]);
  return line;
}

class consoleErrorUi final : public internalErrorUi {
 public:
  bool askRetry(const std::string& text) override {
    std::cerr << "INTERNAL ERROR\n" << text << "\n";
    if (!isatty(STDIN_FILENO)) {
      std::cerr << "[Retry]\n";
      return true;
    }
    std::cerr << "[R]etry / [C]ancel? " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) return true;
    return !(answer.starts_with("c") || answer.starts_with("C"));
  }
};

consoleErrorUi consoleUi;
internalErrorUi* currentUi = &consoleUi;

}  // namespace

void setLogDirectory(std::string directory) {
  if (!directory.empty() && directory.back() != '/') directory.push_back('/');
  std::lock_guard lock(directoryMutex);
  logDir = std::move(directory);
}

std::string logDirectory() {
  std::lock_guard lock(directoryMutex);
  return logDir;
}

std::string diagnosticLogPath() {
  std::string dir = logDirectory();
  return dir.empty() ? std::string() : dir + "zvc.log";
}

std::string timePrefix() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64];
  std::snprintf(text, sizeof text, "[%02d.%02d.%d %02d:%02d:%02d] ", local.tm_mday,
                local.tm_mon + 1, local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

std::string buildLogLine(const std::string& prefix, const char* format, va_list args,
                         std::size_t bufferSize) {
  std::string line = prefix.substr(0, bufferSize - 1);
  std::size_t room = bufferSize - line.size();
  if (room > 1) {
    std::string text(room, '\0');
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(text.data(), room, format, copy);
    va_end(copy);
    if (n > 0) line.append(text.data(), std::min<std::size_t>(std::size_t(n), room - 1));
  }
  return finishLine(std::move(line), bufferSize);
}

bool appendLine(const std::string& path, const std::string& bytes) {
  if (path.empty()) return false;
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  ssize_t written = ::write(fd, bytes.data(), bytes.size());
  ::close(fd);
  return written == ssize_t(bytes.size());
}

void logMessageV(const char* format, va_list args) {
  int savedErrno = errno;
  appendLine(diagnosticLogPath(), buildLogLine(timePrefix(), format, args));
  errno = savedErrno;
}

void logMessage(const char* format, ...) {
  va_list args;
  va_start(args, format);
  logMessageV(format, args);
  va_end(args);
}

void reportError(const char* tag, const char* file, int line, const char* format, ...) {
  int savedErrno = errno;
  char prefix[512];
  std::string time = timePrefix();
  time.pop_back();  // the prefix format puts its own blank after the time
  std::snprintf(prefix, sizeof prefix, "%s %20s (%5d): -- %s -- ", time.c_str(), file, line, tag);
  va_list args;
  va_start(args, format);
  appendLine(diagnosticLogPath(), buildLogLine(prefix, format, args));
  va_end(args);
  errno = savedErrno;
}

void reportInternalError(const char* file, int line) {
  reportError("ERROR", file, line, "INTERNAL ERROR (%d). Please, contact Zelvar tech support.",
              errno);
}

std::string errnoText(const char* context, int error) {
  char buffer[256];
  const char* text = strerror_r(error, buffer, sizeof buffer);
  return formatText("%s: %s (errno %d)", context, text, error);
}

std::string formatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (n > 0) {
    text.resize(std::size_t(n) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(std::size_t(n));
  }
  va_end(args);
  return text;
}

void setInternalErrorUi(internalErrorUi* ui) {
  currentUi = ui ? ui : &consoleUi;
}

std::string internalErrorText(const char* file, int line, const char* function, unsigned error) {
  // The box's text is built in a 1024-byte buffer.
  char text[1024];
  std::snprintf(text, sizeof text,
                "INTERNAL ERROR\nFile: %s\nLine: %d\nFunction: %s\nError: %u\n"
                "Please, report this information to Zelvar tech support: "
                "support@zelvar.ru.\nWe recommend you to press \"Cancel\" and restart "
                "application.",
                file, line, function, error);
  return text;
}

void internalErrorBox(const char* file, int line, const char* function) {
  unsigned error = unsigned(errno);
  if (!currentUi->askRetry(internalErrorText(file, line, function, error))) std::exit(0);
}

cappedLineLog::~cappedLineLog() {
  if (count_ > cap_)
    logMessage("File %s: %d more bad lines were skipped without a line each.", file_.c_str(),
               count_ - cap_);
}

void cappedLineLog::line(const char* format, ...) {
  if (++count_ > cap_) return;
  va_list args;
  va_start(args, format);
  logMessageV(format, args);
  va_end(args);
}

}  // namespace zv
