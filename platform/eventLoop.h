#pragma once
// The user-interface thread's message loop: window messages, tasks and timers.
//
// One eventLoop belongs to the user-interface thread, the thread that constructs it.
// Windows register a procedure and get a windowId; messages are addressed to a window
// and carry a number (windowMessages.h), a small integer and a payload that owns a heap
// block. Whoever holds the message owns the block: the receiving procedure may take it,
// otherwise it is freed after the procedure returns; a message to a window that no
// longer exists is dropped and its block freed.
//
// - post() queues and returns at once. send() waits until the user-interface thread
//   has handled the message and returns the procedure's result; called on the
//   user-interface thread it calls the procedure directly.
// - Messages and tasks are handled in the order they were queued. Timers are checked
//   when the queue is empty: a due timer delivers wm::timer (wParam = id) to its
//   window; a late timer fires once, not once per missed period, and its next time is
//   counted from when it fired.
// - run() handles messages until quit(); runModal(done) is the nested loop of a modal
//   window or message box: it returns true as soon as done() holds, false when quit()
//   was called (the quit stays pending, so the outer loops end too).
// - An I/O source on another thread hands work over with postTask(), or wakes a loop
//   that waits with wake().
// - setAfterEach() installs one hook that runs after every message, task and timer tick
//   the loop handles (in run, runModal and pump): the window host sends the changes of
//   its documents from there, so whatever one event changed goes out as one batch.
//
// Thread safety: post, postTask, send, wake and quit may be called from any thread;
// the lock is held only to push onto the queue, procedures and tasks run outside it.
// Everything else (windows, timers, run, pump) belongs to the user-interface thread.
// The loop must outlive the threads that post to it; when it is destroyed, senders
// still waiting are answered with 0 and later posts are refused.

#include "platform/clock.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <typeinfo>
#include <unordered_map>

namespace zv {

using windowId = std::uint32_t;  // 0 is no window

// A move-only owner of one heap block of any type.
class messagePayload {
 public:
  messagePayload() = default;
  template <class T>
  static messagePayload of(T value) {
    messagePayload p;
    p.held_ = std::make_unique<holder<T>>(std::move(value));
    return p;
  }
  template <class T>
  static messagePayload own(std::unique_ptr<T> block) {
    return of(std::move(block));
  }
  bool empty() const { return !held_; }
  // The block when it holds a T, else nullptr.
  template <class T>
  T* get() {
    if (!held_ || held_->type() != typeid(T)) return nullptr;
    return &static_cast<holder<T>*>(held_.get())->value;
  }

 private:
  struct holderBase {
    virtual ~holderBase() = default;
    virtual const std::type_info& type() const = 0;
  };
  template <class T>
  struct holder final : holderBase {
    explicit holder(T v) : value(std::move(v)) {}
    const std::type_info& type() const override { return typeid(T); }
    T value;
  };
  std::unique_ptr<holderBase> held_;
};

struct message {
  windowId window = 0;
  unsigned id = 0;
  std::uintptr_t wParam = 0;
  messagePayload payload;
};

using windowProc = std::function<std::intptr_t(message&)>;

class eventLoop {
 public:
  explicit eventLoop(clock& timeSource = systemClock::instance());
  ~eventLoop();
  eventLoop(const eventLoop&) = delete;
  eventLoop& operator=(const eventLoop&) = delete;

  // Windows (user-interface thread).
  windowId createWindow(windowProc procedure);
  // Kills the window's timers; queued messages to it are dropped when they come up.
  void destroyWindow(windowId window);
  bool isWindow(windowId window) const;

  // Any thread. False when the loop is gone (the payload is then freed).
  bool post(windowId window, unsigned id, messagePayload payload = {}, std::uintptr_t wParam = 0);
  bool postTask(std::function<void()> task);
  // Any thread. The procedure's result, 0 for an unknown window or a loop that went away.
  std::intptr_t send(windowId window, unsigned id, messagePayload payload = {},
                     std::uintptr_t wParam = 0);
  // Any thread: a loop waiting for messages looks again (for timers or its predicate).
  void wake();

  // Timers (user-interface thread). Setting an existing id restarts it with the new
  // period. False for an unknown window or a zero period.
  bool setTimer(windowId window, unsigned id, clock::duration period);
  bool killTimer(windowId window, unsigned id);

  // Loops (user-interface thread).
  int run();
  bool runModal(const std::function<bool()>& done);
  // Handles what is queued and what timers are due, without waiting. Returns how many
  // messages, tasks and timer ticks were handled.
  std::size_t pump();
  // Any thread: ends run() with the code; nested loops return first.
  void quit(int exitCode);
  bool quitRequested() const;
  int modalDepth() const { return depth_; }
  // User-interface thread. An empty function removes the hook.
  void setAfterEach(std::function<void()> hook) { afterEach_ = std::move(hook); }
  // Messages and tasks waiting in the queue (any thread; for tests and diagnostics).
  std::size_t queued() const;

  bool onUiThread() const { return std::this_thread::get_id() == uiThread_; }
  clock& timeSource() { return clock_; }

 private:
  struct sendState;
  struct entry {
    message msg;
    std::function<void()> task;
    std::shared_ptr<sendState> reply;
  };
  struct timerKey {
    windowId window;
    unsigned id;
    bool operator<(const timerKey& o) const {
      return window != o.window ? window < o.window : id < o.id;
    }
  };
  struct timer {
    clock::duration period;
    clock::timePoint due;
  };

  bool push(entry e);
  bool handleOne(bool wait);
  bool fireDueTimer();
  void dispatch(entry& e);
  void handled();
  std::intptr_t deliver(message& m);

  clock& clock_;
  std::thread::id uiThread_;

  mutable std::mutex mutex_;
  std::condition_variable wakeUp_;
  std::deque<entry> queue_;
  bool closed_ = false;
  bool woken_ = false;
  bool quit_ = false;
  int exitCode_ = 0;

  // User-interface thread only.
  std::unordered_map<windowId, std::shared_ptr<windowProc>> windows_;
  windowId nextWindow_ = 1;
  std::map<timerKey, timer> timers_;
  int depth_ = 0;
  std::function<void()> afterEach_;
};

// The thread that runs the user interface: set by the first live eventLoop. Code that
// touches a document or the register asserts it. Without a loop every thread counts
// (unit tests of the DOM run without one).
bool onUiThread();
void assertUiThread(const char* file, int line);
#define ZV_ASSERT_UI_THREAD() ::zv::assertUiThread(__FILE__, __LINE__)

}  // namespace zv
