#include "zvc/shell/instanceGuard.h"

#include "htmlview/windowHost.h"
#include "platform/diagnostics.h"
#include "platform/windowMessages.h"
#include "zvc/ui/messageBox.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <random>
#include <system_error>

namespace zv {
namespace {

constexpr const char* waitingHtml =
    "<html><head><style>body{font:14px sans-serif;margin:16px}</style></head>"
    "<body class=dialog><p id=waitText>Пожалуйста, ждите ответа другой стороны...</p>"
    "</body></html>";

// 0 to 2047, as the answer mailslot's name has always been numbered.
std::string makeIdentifier() {
  std::random_device seed;
  std::mt19937 random(seed());
  return std::to_string(std::uniform_int_distribution<int>(0, 2047)(random));
}

// How the waiting dialog ended.
enum waitOutcome : int { obtained = 1, refused, timedOut, cancelled };

}  // namespace

// One question to the user: the listener waits on it, the box's task answers it.
struct instanceGuard::pendingAnswer {
  std::mutex mutex;
  std::condition_variable wake;
  std::optional<bool> letClose;
  bool stopped = false;
};

instanceTiming instanceTimingFromEnvironment() {
  instanceTiming timing;
  const char* text = std::getenv("ZELVAR_INSTANCE_ANSWER_MS");
  if (!text || !*text) return timing;
  long value = 0;
  const char* end = text + std::char_traits<char>::length(text);
  auto [stop, error] = std::from_chars(text, end, value);
  if (error != std::errc() || stop != end || value <= 0 || value > 3'600'000) {
    std::cerr << "zvcenter: ZELVAR_INSTANCE_ANSWER_MS \"" << text << "\" is not a time; using "
              << timing.answerWindow.count() << "\n";
    return timing;
  }
  timing.answerWindow = std::chrono::milliseconds(value);
  timing.waitLimit = timing.answerWindow + std::chrono::seconds(1);
  return timing;
}

bool validInstanceRequest(std::string_view request) {
  if (request.empty() || request.size() > 10) return false;
  for (char c : request)
    if (c < '0' || c > '9') return false;
  return true;
}

instanceGuard::instanceGuard(eventLoop& loop, instanceTiming timing)
    : loop_(loop), timing_(timing) {}

instanceGuard::~instanceGuard() {
  closeInstance();
}

bool instanceGuard::claimInstance() {
  if (slot_ && slot_->isOpen()) return true;
  slot_ = mailslot::create(instanceMailslotName);
  return slot_ != nullptr;
}

bool instanceGuard::ownsInstance() const {
  return slot_ && slot_->isOpen();
}

bool instanceGuard::askRunningInstance(windowHost& windows) {
  if (messageBox(takeOverQuestion, instanceCaption, boxButtons::yesNo) != boxAnswer::yes)
    return false;

  windowSpec spec;
  spec.title = waitingCaption;
  spec.width = 360;
  spec.height = 120;
  spec.modal = true;
  windowId dialog = windows.openWindow(std::move(spec), waitingHtml);
  if (dialog == 0) {
    messageBox(cannotStartConsole, errorCaption);
    return false;
  }
  if (!windows.clientAttached()) std::cerr << waitingCaption << ": " << waitingText << std::endl;

  // The answer mailslot and its reader, then the request.
  const std::string answerName = answerMailslotPrefix + makeIdentifier();
  std::unique_ptr<mailslot> answerSlot = mailslot::create(answerName);
  std::atomic<bool> stopAnswer{false};
  std::thread answerThread;
  bool started = false;
  if (answerSlot) {
    try {
      answerThread = std::thread([&, slot = answerSlot.get()] {
        std::string answer;
        while (!stopAnswer) {
          mailslot::readResult result = slot->read(answer, timing_.poll);
          if (result == mailslot::readResult::failed) return;
          if (result != mailslot::readResult::message || answer.empty()) continue;
          if (answer == instanceRefusal) {
            loop_.post(dialog, wm::instanceWaitDone);
            return;
          }
          // Anyone may write to the mailslot: only the refusal counts.
          ZV_REPORT("instance answer: a message that is not the refusal (%zu bytes) was dropped",
                    answer.size());
        }
      });
      started = true;
    } catch (const std::system_error& e) {
      ZV_REPORT("_beginthread () failed. Error %d", e.code().value());
    }
  }
  const std::string identifier = answerName.substr(std::string_view(answerMailslotPrefix).size());
  if (!started || !writeMailslot(instanceMailslotName, identifier)) {
    stopAnswer = true;
    if (answerThread.joinable()) answerThread.join();
    messageBox(cannotStartConsole, errorCaption);
    windows.closeWindow(dialog);
    return false;
  }
  logMessage("Zelvar Center: another console runs; asked it to close (request %s).",
             identifier.c_str());

  // The refusal is told once; not at all when the user closed the dialog.
  bool refusalShown = false;
  windows.setProcedure(dialog, [&](message& m) -> std::intptr_t {
    if (m.id == wm::timer && m.wParam == claimTimerId) {
      if (claimInstance()) windows.endModal(dialog, obtained);
    } else if (m.id == wm::timer && m.wParam == giveUpTimerId) {
      loop_.killTimer(dialog, giveUpTimerId);
      // The running console may have let the name go since the last try.
      windows.endModal(dialog, claimInstance() ? obtained : timedOut);
    } else if (m.id == wm::instanceWaitDone) {
      messageBox(takeOverRefused, instanceCaption);
      refusalShown = true;
      windows.endModal(dialog, refused);
    }
    return 0;
  });
  // The dialog's own close control gives up waiting, without a message: the user chose.
  windows.setCloseHandler(dialog, [&] {
    refusalShown = true;
    windows.endModal(dialog, cancelled);
  });
  loop_.setTimer(dialog, claimTimerId, timing_.claimPeriod);
  loop_.setTimer(dialog, giveUpTimerId, timing_.waitLimit);
  windows.runModal(dialog);

  stopAnswer = true;
  answerThread.join();
  answerSlot->close();
  if (ownsInstance()) {
    logMessage("Zelvar Center: the other console closed; this one goes on.");
    return true;
  }
  if (!refusalShown) messageBox(takeOverRefused, instanceCaption);
  logMessage("Zelvar Center: the other console keeps running; this one ends.");
  return false;
}

bool instanceGuard::startInstanceListener() {
  if (listener_.joinable()) return true;
  stop_ = false;
  try {
    listener_ = std::thread([this] { listen(); });
  } catch (const std::system_error& e) {
    ZV_REPORT("_beginthread () failed. Error %d", e.code().value());
    return false;
  }
  return true;
}

void instanceGuard::listen() {
  while (!stop_) {
    if (!slot_ || !slot_->isOpen()) return;
    std::string request;
    mailslot::readResult result = slot_->read(request, timing_.poll);
    if (result == mailslot::readResult::failed) return;
    if (result == mailslot::readResult::timedOut || request.empty()) continue;
    if (!validInstanceRequest(request)) {
      ZV_REPORT("instance listener: a request that is not an identifier (%zu bytes) was dropped",
                request.size());
      continue;
    }
    // A request that comes before the main window waits for it.
    while (!stop_ && mainWindow_ == 0) std::this_thread::sleep_for(timing_.poll);
    if (stop_) return;
    bool stopped = false;
    if (userLetsClose(stopped)) break;
    if (stopped) return;
    logMessage("Zelvar Center: the user refused to close for request %s.", request.c_str());
    writeMailslot(answerMailslotPrefix + request, instanceRefusal);
  }
  if (stop_) return;
  // The name is freed first, so that the other console can take it while this one ends.
  logMessage("Zelvar Center: closing for another console.");
  slot_->close();
  loop_.post(mainWindow_, wm::closeAtOnce);
}

bool instanceGuard::userLetsClose(bool& stopped) {
  auto pending = std::make_shared<pendingAnswer>();
  {
    std::lock_guard lock(mutex_);
    if (stop_) {
      stopped = true;
      return false;
    }
    pending_ = pending;
  }
  // The box is a window of the user-interface thread; the answer comes back here. A
  // box that the ending loop closes answers nothing. The task holds only the question
  // and the loop, which outlives the guard.
  eventLoop& loop = loop_;
  loop_.postTask([pending, &loop] {
    boxAnswer answer = messageBox(closeRequestQuestion, instanceCaption, boxButtons::okCancel);
    if (loop.quitRequested()) return;
    std::lock_guard lock(pending->mutex);
    if (!pending->letClose) pending->letClose = answer == boxAnswer::ok;
    pending->wake.notify_all();
  });
  bool letClose = false;
  {
    std::unique_lock lock(pending->mutex);
    bool answered = pending->wake.wait_for(lock, timing_.answerWindow, [&] {
      return pending->letClose.has_value() || pending->stopped;
    });
    stopped = pending->stopped;
    // Nobody refused in time: an answer given from now on is too late.
    if (!answered) pending->letClose = true;
    letClose = !stopped && *pending->letClose;
  }
  std::lock_guard lock(mutex_);
  pending_.reset();
  return letClose;
}

void instanceGuard::stopListener() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    if (pending_) {
      std::lock_guard answerLock(pending_->mutex);
      pending_->stopped = true;
      pending_->wake.notify_all();
    }
  }
  if (listener_.joinable()) listener_.join();
}

void instanceGuard::closeInstance() {
  stopListener();
  if (slot_) slot_->close();
}

}  // namespace zv
