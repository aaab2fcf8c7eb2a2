// Preloaded into programs run under valgrind. FFmpeg's JPEG XL decoder brings in libhwy, whose
// load-time timer calibration executes RDTSCP unconditionally; valgrind 3.19 cannot execute it
// and kills the program before main. The calibration only serves libhwy's own benchmarks, so a
// resolution of one tick changes nothing we use.
#include <cstdint>

namespace hwy::platform {
std::uint64_t TimerResolution() { return 1; }
}  // namespace hwy::platform
