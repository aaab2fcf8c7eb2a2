// The clock a media graph plays by. Playback reads the time from it and sleeps on it until the
// next frame is due; the system clock is the steady clock. A test puts in a clock of its own to
// check frame times and positions without depending on how busy the machine is.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace clipsmith {

class IMediaClock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  virtual ~IMediaClock() = default;
  virtual TimePoint Now() = 0;
  // Called by the graph's worker with lock held: waits on wake until the time point has come or
  // stop() holds. May return early; the worker then looks again.
  virtual void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, TimePoint until,
                         const std::function<bool()>& stop) = 0;
};

// The steady clock of the system.
std::shared_ptr<IMediaClock> SystemMediaClock();

// The clock that graphs created from now on play by; nullptr restores the system clock. A graph
// keeps the clock it was created with.
void SetMediaClock(std::shared_ptr<IMediaClock> clock);
std::shared_ptr<IMediaClock> CurrentMediaClock();

}  // namespace clipsmith
