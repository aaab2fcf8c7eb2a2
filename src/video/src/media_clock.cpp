#include "video/media_clock.h"

namespace clipsmith {
namespace {

class TSystemMediaClock final : public IMediaClock {
 public:
  TimePoint Now() override { return std::chrono::steady_clock::now(); }
  void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, TimePoint until,
                 const std::function<bool()>& stop) override {
    wake.wait_until(lock, until, stop);
  }
};

std::mutex gClockMutex;
std::shared_ptr<IMediaClock> gClock;

}  // namespace

std::shared_ptr<IMediaClock> SystemMediaClock() {
  static const std::shared_ptr<IMediaClock> clock = std::make_shared<TSystemMediaClock>();
  return clock;
}

void SetMediaClock(std::shared_ptr<IMediaClock> clock) {
  std::lock_guard lk(gClockMutex);
  gClock = std::move(clock);
}

std::shared_ptr<IMediaClock> CurrentMediaClock() {
  std::lock_guard lk(gClockMutex);
  return gClock ? gClock : SystemMediaClock();
}

}  // namespace clipsmith
