#pragma once
// The single-instance guard: one console per server, across every user of it.
//
// The running console owns the mailslot "ZVCInstance" (platform/mailslot.h). A console
// that starts while the name is taken asks its user whether to go on; if so it makes
// an identifier, creates its own answer mailslot "ZVC_<identifier>", sends the
// identifier to "ZVCInstance" and waits in the modal dialog "Внимание" while it tries
// every second to take the name, for at most the answer window plus one second. The
// running console's listener thread asks its user (OK closes, Cancel refuses); a
// refusal is "kill" on the answer mailslot and makes the starting console give up
// with exit code 0 (other answers are dropped with a log line, as are requests that
// are not identifiers: every user may write to a mailslot). OK, or no answer within the answer
// window, frees the name and posts wm::closeAtOnce to the main window, which ends the console with
// exit code 0 without saving anything.
//
// Threads: claimInstance, askRunningInstance, closeInstance and the destructor belong
// to the user-interface thread; setMainWindow may be called from any thread. The
// listener thread only reads the mailslot, hands the question to the user-interface
// thread as a task and posts messages; it never touches a window itself. The answer
// thread of the starting console posts wm::instanceWaitDone to the waiting dialog.
// closeInstance (and the destructor) stop and join both threads before the mailslot
// is closed, so the handle is never closed under a read.

#include "platform/eventLoop.h"
#include "platform/mailslot.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace zv {

class windowHost;

constexpr const char* instanceMailslotName = "ZVCInstance";
constexpr const char* answerMailslotPrefix = "ZVC_";
constexpr const char* instanceRefusal = "kill";

constexpr const char* instanceCaption = "Zelvar";
constexpr const char* takeOverQuestion =
    "Конфигуратор уже запущен на этом сервере. \nЕсли вы продолжите, другой пользователь должен "
    "будет закрыть приложение. \nПродолжить?";
constexpr const char* closeRequestQuestion =
    "Получен запрос закрыть конфигуратор.\n Нажмите OK, чтобы закрыть конфигуратор, или Отмена, "
    "чтобы продолжить работу.\n Иначе через 30 секунд приложение будет закрыто.";
constexpr const char* takeOverRefused =
    "Другой пользователь отказался закрыть конфигуратор. Невозможно запустить приложение.";
constexpr const char* cannotStartConsole = "Невозможно запустить конфигуратор.";
constexpr const char* waitingCaption = "Внимание";
constexpr const char* waitingText = "Пожалуйста, ждите ответа другой стороны...";

// Timer ids of the waiting dialog.
constexpr unsigned claimTimerId = 1;
constexpr unsigned giveUpTimerId = 2;

struct instanceTiming {
  // How long the running console's user has to refuse.
  std::chrono::milliseconds answerWindow{30000};
  // How long the starting console waits for the name (the answer window and a second).
  std::chrono::milliseconds waitLimit{31000};
  // How often the starting console tries to take the name.
  std::chrono::milliseconds claimPeriod{1000};
  // How often the listener looks whether it should stop or the main window exists.
  std::chrono::milliseconds poll{100};
};

// The timing of the program: as above, except that ZELVAR_INSTANCE_ANSWER_MS (tests
// only) sets the answer window in milliseconds, the wait limit following it.
instanceTiming instanceTimingFromEnvironment();

// A request is the requester's identifier: 1 to 10 ASCII decimal digits, nothing else.
bool validInstanceRequest(std::string_view request);

class instanceGuard {
 public:
  explicit instanceGuard(eventLoop& loop, instanceTiming timing = {});
  ~instanceGuard();
  instanceGuard(const instanceGuard&) = delete;
  instanceGuard& operator=(const instanceGuard&) = delete;

  // Creates "ZVCInstance"; true when this console owns it now (also when it already did).
  bool claimInstance();
  bool ownsInstance() const;

  // The take-over procedure; true when the name was obtained. The waiting dialog is a
  // window of `windows` (no owner).
  bool askRunningInstance(windowHost& windows);

  // Starts the listener. False, with "_beginthread () failed. Error %d" in the
  // diagnostic log, when the thread cannot start: the caller ends the process with 1.
  bool startInstanceListener();
  // The main window that receives wm::closeAtOnce; requests wait until it is set.
  void setMainWindow(windowId window) { mainWindow_ = window; }

  // Stops the listener and frees the name.
  void closeInstance();

 private:
  struct pendingAnswer;

  void listen();
  // Asks the user through the user-interface thread; true when the console may close.
  // False when the user refused or the guard is stopping (`stopped` tells which).
  bool userLetsClose(bool& stopped);
  void stopListener();

  eventLoop& loop_;
  instanceTiming timing_;
  std::unique_ptr<mailslot> slot_;
  std::atomic<windowId> mainWindow_{0};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::shared_ptr<pendingAnswer> pending_;  // the question being asked, under mutex_
  std::thread listener_;
};

}  // namespace zv
