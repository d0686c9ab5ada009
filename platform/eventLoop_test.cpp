#include "platform/eventLoop.h"

#include "platform/windowMessages.h"

#include <gtest/gtest.h>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace zv {
namespace {

using namespace std::chrono_literals;

// A window that records every message it receives as "id:wParam".
struct recorder {
  std::vector<std::string> seen;
  windowId id = 0;
  explicit recorder(eventLoop& loop) {
    id = loop.createWindow([this](message& m) -> std::intptr_t {
      seen.push_back(std::to_string(m.id - (m.id >= wm::app ? wm::app : 0)) + ":" +
                     std::to_string(m.wParam));
      return std::intptr_t(m.wParam) * 2;
    });
  }
};

// Posted messages and tasks are handled in the order they were queued, once each.
TEST(EventLoop, PostsAndTasksKeepTheirOrder) {
  fakeClock clock;
  eventLoop loop(clock);
  recorder w(loop);
  std::vector<std::string> order;
  loop.post(w.id, wm::app + 2, {}, 1);
  loop.postTask([&] { w.seen.push_back("task"); });
  loop.post(w.id, wm::app + 3, {}, 2);
  EXPECT_TRUE(w.seen.empty());
  EXPECT_EQ(loop.pump(), 3u);
  EXPECT_EQ(w.seen, (std::vector<std::string>{"2:1", "task", "3:2"}));
  EXPECT_EQ(loop.pump(), 0u);
}

// The receiver owns the block; a block for a destroyed window is freed unread.
TEST(EventLoop, PayloadBelongsToTheReceiver) {
  fakeClock clock;
  eventLoop loop(clock);
  auto alive = std::make_shared<int>(0);
  std::weak_ptr<int> watch = alive;
  std::unique_ptr<std::string> taken;
  windowId w = loop.createWindow([&](message& m) -> std::intptr_t {
    if (auto* block = m.payload.get<std::unique_ptr<std::string>>()) taken = std::move(*block);
    EXPECT_EQ(m.payload.get<int>(), nullptr);
    return 0;
  });
  windowId gone = loop.createWindow([](message&) -> std::intptr_t { return 0; });
  loop.post(w, wm::terminalChanged,
            messagePayload::own(std::make_unique<std::string>("00:1A:2B:3C:4D:5E")));
  loop.post(gone, wm::terminalChanged, messagePayload::of(std::move(alive)));
  loop.destroyWindow(gone);
  loop.pump();
  ASSERT_TRUE(taken);
  EXPECT_EQ(*taken, "00:1A:2B:3C:4D:5E");
  EXPECT_TRUE(watch.expired());
}

// send from a background thread waits until the UI thread handled it and returns the
// result; messages posted before it are handled first.
TEST(EventLoop, SendFromAnotherThreadWaitsForTheAnswer) {
  fakeClock clock;
  eventLoop loop(clock);
  recorder w(loop);
  std::atomic<bool> returned{false};
  std::intptr_t result = 0;
  std::thread sender([&] {
    loop.post(w.id, wm::app + 6, {}, 5);
    result = loop.send(w.id, wm::terminalChanged, {}, 21);
    returned = true;
    loop.quit(3);
  });
  EXPECT_EQ(loop.run(), 3);
  sender.join();
  EXPECT_TRUE(returned);
  EXPECT_EQ(result, 42);
  EXPECT_EQ(w.seen, (std::vector<std::string>{"6:5", "11:21"}));
}

// On the UI thread send calls the procedure at once, ahead of queued posts.
TEST(EventLoop, SendOnTheUiThreadIsDirect) {
  fakeClock clock;
  eventLoop loop(clock);
  recorder w(loop);
  loop.post(w.id, wm::app + 2, {}, 1);
  EXPECT_EQ(loop.send(w.id, wm::app + 3, {}, 4), 8);
  EXPECT_EQ(w.seen, (std::vector<std::string>{"3:4"}));
  EXPECT_EQ(loop.send(999, wm::app + 3), 0);
  EXPECT_TRUE(loop.onUiThread());
  EXPECT_TRUE(onUiThread());
  bool elsewhere = true;
  std::thread([&] { elsewhere = onUiThread(); }).join();
  EXPECT_FALSE(elsewhere);
}

// A sender still waiting when the loop goes away is answered with 0, not left hanging.
TEST(EventLoop, DestroyedLoopReleasesSenders) {
  fakeClock clock;
  auto loop = std::make_unique<eventLoop>(clock);
  recorder w(*loop);
  std::intptr_t result = -1;
  std::thread sender([&] { result = loop->send(w.id, wm::app + 3, {}, 4); });
  while (loop->queued() == 0) std::this_thread::yield();
  loop.reset();
  sender.join();
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(w.seen.empty());
}

// Timers fire on the fake clock's time: once per due period, late ones only once, the
// console's periods as given, and a killed timer never again.
TEST(EventLoop, TimersFollowTheFakeClock) {
  fakeClock clock;
  eventLoop loop(clock);
  recorder w(loop);
  ASSERT_TRUE(loop.setTimer(w.id, versionCaptionTimer.id, versionCaptionTimer.period));
  ASSERT_TRUE(loop.setTimer(w.id, onlineTimer.id, onlineTimer.period));
  ASSERT_TRUE(loop.setTimer(w.id, lastSeenTimer.id, lastSeenTimer.period));
  EXPECT_FALSE(loop.setTimer(w.id, 1, 0s));
  EXPECT_FALSE(loop.setTimer(12345, 1, 1s));

  struct step {
    std::chrono::seconds advance;
    std::vector<std::string> fired;
  };
  const step steps[] = {
      {4s, {}},
      {1s, {"275:7"}},
      {5s, {"275:7"}},
      {4s, {}},
      // t=61: 7 was due at 15 and fires once; 11 was due at 60; earlier due time first.
      {47s, {"275:7", "275:11"}},
      {0s, {}},
  };
  int i = 0;
  for (const step& s : steps) {
    w.seen.clear();
    clock.advance(s.advance);
    loop.pump();
    EXPECT_EQ(w.seen, s.fired) << i++;
  }
  w.seen.clear();
  clock.advance(1h);
  loop.pump();
  EXPECT_EQ(w.seen, (std::vector<std::string>{"275:7", "275:11", "275:13"}));
  EXPECT_TRUE(loop.killTimer(w.id, 7));
  EXPECT_FALSE(loop.killTimer(w.id, 7));
  w.seen.clear();
  clock.advance(60s);
  loop.pump();
  EXPECT_EQ(w.seen, (std::vector<std::string>{"275:11"}));
  loop.destroyWindow(w.id);
  clock.advance(2h);
  EXPECT_EQ(loop.pump(), 0u);
}

// A loop blocked in run() wakes when another thread moves the fake clock.
TEST(EventLoop, ClockMoveWakesAWaitingLoop) {
  fakeClock clock;
  eventLoop loop(clock);
  int ticks = 0;
  windowId w = loop.createWindow([&](message& m) -> std::intptr_t {
    if (m.id == wm::timer && ++ticks == 2) loop.quit(0);
    return 0;
  });
  loop.setTimer(w, 7, 5s);
  std::atomic<bool> stop{false};
  std::thread mover([&] {
    while (!stop) {
      clock.advance(5s);
      std::this_thread::yield();
    }
  });
  EXPECT_EQ(loop.run(), 0);
  stop = true;
  mover.join();
  EXPECT_EQ(ticks, 2);
}

// A modal loop nested in a handler runs until its predicate holds; messages queued
// meanwhile are handled inside it, and the outer loop carries on afterwards.
TEST(EventLoop, NestedModalLoops) {
  fakeClock clock;
  eventLoop loop(clock);
  std::vector<std::string> log;
  bool answered = false;
  windowId dialog = loop.createWindow([&](message& m) -> std::intptr_t {
    log.push_back("dialog " + std::to_string(m.wParam));
    if (m.wParam == 2) answered = true;
    if (m.wParam == 3) loop.quit(7);
    return 0;
  });
  windowId main = loop.createWindow([&](message& m) -> std::intptr_t {
    if (m.wParam == 0) {
      log.push_back("ask");
      loop.post(dialog, wm::app + 3, {}, 1);
      loop.post(dialog, wm::app + 3, {}, 2);
      loop.post(dialog, wm::app + 3, {}, 3);
      EXPECT_EQ(loop.modalDepth(), 1);
      bool ok = loop.runModal([&] { return answered; });
      EXPECT_EQ(loop.modalDepth(), 1);
      log.push_back(ok ? "answered" : "quit");
    } else {
      log.push_back("main " + std::to_string(m.wParam));
    }
    return 0;
  });
  loop.post(main, wm::app + 2, {}, 0);
  loop.post(main, wm::app + 2, {}, 9);
  EXPECT_EQ(loop.run(), 7);
  EXPECT_EQ(log, (std::vector<std::string>{"ask", "main 9", "dialog 1", "dialog 2", "answered",
                                           "dialog 3"}));
}

// quit inside a modal loop ends the modal loop (false), then the outer loop, and only
// the first exit code counts; a new run() starts afresh.
TEST(EventLoop, QuitEndsEveryNestedLoop) {
  fakeClock clock;
  eventLoop loop(clock);
  std::vector<std::string> log;
  windowId w = loop.createWindow([&](message& m) -> std::intptr_t {
    if (m.wParam == 1) {
      loop.post(m.window, wm::app, {}, 2);
      log.push_back(loop.runModal([] { return false; }) ? "answered" : "modal ended");
      loop.post(m.window, wm::app, {}, 3);  // waits for the next run()
    } else if (m.wParam == 2) {
      loop.quit(5);
      loop.quit(6);
    } else {
      log.push_back("after");
    }
    return 0;
  });
  loop.post(w, wm::app, {}, 1);
  EXPECT_EQ(loop.run(), 5);
  EXPECT_EQ(log, (std::vector<std::string>{"modal ended"}));
  EXPECT_FALSE(loop.quitRequested());
  loop.postTask([&] { loop.quit(0); });
  EXPECT_EQ(loop.run(), 0);
  EXPECT_EQ(log, (std::vector<std::string>{"modal ended", "after"}));
}

// The after-each hook runs once after every message, task and timer tick, in nested
// loops too, but not for a send() the user-interface thread makes to itself.
TEST(EventLoop, AfterEachHookFollowsEveryHandledItem) {
  fakeClock clock;
  eventLoop loop(clock);
  std::vector<std::string> log;
  windowId w = loop.createWindow([&](message& m) -> std::intptr_t {
    log.push_back("message " + std::to_string(m.wParam));
    if (m.wParam == 1) {
      loop.send(m.window, wm::app, {}, 2);
      loop.postTask([&] { log.push_back("inner task"); });
      loop.runModal([&] { return log.back() == "hook"; });
    }
    return 0;
  });
  loop.setAfterEach([&] { log.push_back("hook"); });
  loop.post(w, wm::app, {}, 1);
  loop.postTask([&] { log.push_back("task"); });
  ASSERT_TRUE(loop.setTimer(w, 7, 5s));
  // The task queued first is handled inside the nested loop.
  EXPECT_EQ(loop.pump(), 2u);
  clock.advance(5s);
  EXPECT_EQ(loop.pump(), 1u);
  EXPECT_EQ(log, (std::vector<std::string>{"message 1", "message 2", "task", "hook", "hook",
                                           "inner task", "hook", "message 7", "hook"}));
  loop.setAfterEach(nullptr);
  loop.postTask([] {});
  loop.pump();
  EXPECT_EQ(log.size(), 9u);
}

}  // namespace
}  // namespace zv
