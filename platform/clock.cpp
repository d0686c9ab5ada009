#include "platform/clock.h"

#include <utility>

namespace zv {

systemClock& systemClock::instance() {
  static systemClock clock;
  return clock;
}

fakeClock::fakeClock() : now_(timePoint(std::chrono::hours(24 * 365))) {}

clock::timePoint fakeClock::now() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return now_;
}

void fakeClock::onChange(std::function<void()> changed) {
  std::lock_guard<std::mutex> lock(mutex_);
  changed_ = std::move(changed);
}

void fakeClock::advance(duration step) {
  std::function<void()> changed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    now_ += step;
    changed = changed_;
  }
  if (changed) changed();
}

void fakeClock::set(timePoint to) {
  std::function<void()> changed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    now_ = to;
    changed = changed_;
  }
  if (changed) changed();
}

}  // namespace zv
