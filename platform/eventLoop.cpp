#include "platform/eventLoop.h"

#include "platform/diagnostics.h"
#include "platform/windowMessages.h"

#include <cassert>
#include <utility>

namespace zv {
namespace {

std::mutex uiThreadMutex;
const eventLoop* uiLoop = nullptr;
std::thread::id uiThreadId;

}  // namespace

bool onUiThread() {
  std::lock_guard<std::mutex> lock(uiThreadMutex);
  return uiLoop == nullptr || std::this_thread::get_id() == uiThreadId;
}

void assertUiThread(const char* file, int line) {
  if (onUiThread()) return;
  reportError("ERROR", file, line, "called off the user-interface thread");
  assert(!"called off the user-interface thread");
}

// The reply a sender on another thread waits for. It lives apart from the loop, so a
// sender wakes up safely even when the loop is being destroyed.
struct eventLoop::sendState {
  std::mutex mutex;
  std::condition_variable done;
  bool answered = false;
  std::intptr_t result = 0;

  void answer(std::intptr_t value) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      answered = true;
      result = value;
    }
    done.notify_all();
  }
};

eventLoop::eventLoop(clock& timeSource)
    : clock_(timeSource), uiThread_(std::this_thread::get_id()) {
  {
    std::lock_guard<std::mutex> lock(uiThreadMutex);
    if (uiLoop == nullptr) {
      uiLoop = this;
      uiThreadId = uiThread_;
    }
  }
  clock_.onChange([this] { wake(); });
}

eventLoop::~eventLoop() {
  clock_.onChange(nullptr);
  std::deque<entry> left;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    left.swap(queue_);
  }
  for (entry& e : left) {
    if (e.reply) e.reply->answer(0);
  }
  std::lock_guard<std::mutex> lock(uiThreadMutex);
  if (uiLoop == this) uiLoop = nullptr;
}

windowId eventLoop::createWindow(windowProc procedure) {
  ZV_ASSERT_UI_THREAD();
  windowId id = nextWindow_++;
  windows_.emplace(id, std::make_shared<windowProc>(std::move(procedure)));
  return id;
}

void eventLoop::destroyWindow(windowId window) {
  windows_.erase(window);
  for (auto it = timers_.begin(); it != timers_.end();) {
    it = it->first.window == window ? timers_.erase(it) : std::next(it);
  }
}

bool eventLoop::isWindow(windowId window) const {
  return windows_.count(window) != 0;
}

bool eventLoop::push(entry e) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return false;
    queue_.push_back(std::move(e));
  }
  wakeUp_.notify_one();
  return true;
}

bool eventLoop::post(windowId window, unsigned id, messagePayload payload, std::uintptr_t wParam) {
  entry e;
  e.msg = message{window, id, wParam, std::move(payload)};
  return push(std::move(e));
}

bool eventLoop::postTask(std::function<void()> task) {
  entry e;
  e.task = std::move(task);
  return push(std::move(e));
}

std::intptr_t eventLoop::send(windowId window, unsigned id, messagePayload payload,
                              std::uintptr_t wParam) {
  message m{window, id, wParam, std::move(payload)};
  if (onUiThread()) return deliver(m);
  auto reply = std::make_shared<sendState>();
  entry e;
  e.msg = std::move(m);
  e.reply = reply;
  if (!push(std::move(e))) return 0;
  std::unique_lock<std::mutex> lock(reply->mutex);
  reply->done.wait(lock, [&] { return reply->answered; });
  return reply->result;
}

void eventLoop::wake() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    woken_ = true;
  }
  wakeUp_.notify_one();
}

bool eventLoop::setTimer(windowId window, unsigned id, clock::duration period) {
  ZV_ASSERT_UI_THREAD();
  if (!isWindow(window) || period <= clock::duration::zero()) return false;
  timers_[timerKey{window, id}] = timer{period, clock_.now() + period};
  return true;
}

bool eventLoop::killTimer(windowId window, unsigned id) {
  return timers_.erase(timerKey{window, id}) != 0;
}

void eventLoop::quit(int exitCode) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!quit_) exitCode_ = exitCode;
    quit_ = true;
  }
  wakeUp_.notify_one();
}

bool eventLoop::quitRequested() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return quit_;
}

std::size_t eventLoop::queued() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.size();
}

std::intptr_t eventLoop::deliver(message& m) {
  auto it = windows_.find(m.window);
  if (it == windows_.end()) return 0;
  std::shared_ptr<windowProc> procedure = it->second;  // survives destroyWindow inside
  return (*procedure)(m);
}

void eventLoop::dispatch(entry& e) {
  if (e.task) {
    e.task();
    return;
  }
  std::intptr_t result = deliver(e.msg);
  if (e.reply) e.reply->answer(result);
}

bool eventLoop::fireDueTimer() {
  if (timers_.empty()) return false;
  clock::timePoint now = clock_.now();
  auto earliest = timers_.end();
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->second.due <= now &&
        (earliest == timers_.end() || it->second.due < earliest->second.due))
      earliest = it;
  }
  if (earliest == timers_.end()) return false;
  timerKey key = earliest->first;
  earliest->second.due = now + earliest->second.period;
  message m{key.window, wm::timer, key.id, {}};
  deliver(m);
  return true;
}

// One message, task or timer tick. With `wait`, blocks until there is one, a wake or a
// quit; returns false when nothing was handled.
bool eventLoop::handleOne(bool wait) {
  entry e;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (queue_.empty()) {
      lock.unlock();
      if (fireDueTimer()) {
        handled();
        return true;
      }
      if (!wait) return false;
      lock.lock();
      if (queue_.empty() && !woken_ && !quit_) {
        clock::timePoint next = clock::timePoint::max();
        for (const auto& [key, t] : timers_) next = std::min(next, t.due);
        auto ready = [&] { return !queue_.empty() || woken_ || quit_; };
        if (next != clock::timePoint::max() && clock_.realTime()) {
          wakeUp_.wait_until(lock, next, ready);
        } else {
          wakeUp_.wait(lock, ready);
        }
      }
      woken_ = false;
      if (queue_.empty()) return false;
    }
    e = std::move(queue_.front());
    queue_.pop_front();
  }
  dispatch(e);
  handled();
  return true;
}

void eventLoop::handled() {
  if (!afterEach_) return;
  std::function<void()> hook = afterEach_;  // the hook may replace itself
  hook();
}

int eventLoop::run() {
  ZV_ASSERT_UI_THREAD();
  runModal(nullptr);
  std::lock_guard<std::mutex> lock(mutex_);
  int code = exitCode_;
  if (depth_ == 0) {
    quit_ = false;
    exitCode_ = 0;
  }
  return code;
}

bool eventLoop::runModal(const std::function<bool()>& done) {
  ZV_ASSERT_UI_THREAD();
  ++depth_;
  bool answered = false;
  while (true) {
    if (quitRequested()) break;
    if (done && done()) {
      answered = true;
      break;
    }
    handleOne(true);
  }
  --depth_;
  return answered;
}

std::size_t eventLoop::pump() {
  ZV_ASSERT_UI_THREAD();
  std::size_t handled = 0;
  while (handleOne(false)) ++handled;
  return handled;
}

}  // namespace zv
