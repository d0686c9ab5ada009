#pragma once
// The clock the event loop's timers run on.
//
// Production code uses systemClock (std::chrono::steady_clock). Tests hand the loop a
// fakeClock and move time forward with advance(); nothing sleeps. A fake clock tells
// the loop whenever it moves, so a loop blocked waiting on another thread wakes up and
// fires the timers that became due.
//
// Thread safety: now() may be called from any thread. fakeClock::advance and set may be
// called from any thread; the change callback runs on the caller's thread.

#include <chrono>
#include <functional>
#include <mutex>

namespace zv {

class clock {
 public:
  using duration = std::chrono::steady_clock::duration;
  using timePoint = std::chrono::steady_clock::time_point;

  virtual ~clock() = default;
  virtual timePoint now() const = 0;
  // True when waiting until a time point means waiting in real time. A fake clock only
  // moves when a test moves it, so the loop waits for a message or a move instead.
  virtual bool realTime() const = 0;
  // Called (with nullptr to stop) by the event loop that uses this clock; a clock that
  // moves by itself never calls it.
  virtual void onChange(std::function<void()> changed) { (void)changed; }
};

class systemClock final : public clock {
 public:
  timePoint now() const override { return std::chrono::steady_clock::now(); }
  bool realTime() const override { return true; }
  // The process-wide instance.
  static systemClock& instance();
};

class fakeClock final : public clock {
 public:
  // Starts at an arbitrary fixed point far from the epoch, so that "zero" times stand out.
  fakeClock();
  timePoint now() const override;
  bool realTime() const override { return false; }
  void onChange(std::function<void()> changed) override;

  void advance(duration step);
  void set(timePoint to);

 private:
  mutable std::mutex mutex_;
  timePoint now_;
  std::function<void()> changed_;
};

}  // namespace zv
