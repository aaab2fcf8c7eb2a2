// Opt-in cost accounting of the conversion's stages, for measuring where a conversion's time
// goes. Off unless the environment names a file in CLIPSMITH_STAGE_TIMES when the program starts;
// off, a timer is one test of a flag. On, every timed section adds its wall time (steady_clock)
// and the CPU time of its thread to its stage, from whatever thread it runs on.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

namespace clipsmith {

enum class TStage : int {
  Decode,           // the graph's worker getting a decoded frame (the decoder's own threads
                    // are not counted here: the table shows them in what no stage counts)
  PixelConversion,  // the decoded picture into the sample's RGB, and the grabber's copy of it
  CropAndScale,     // the sample's rectangle into the frame bitmap at the output size
  Octree,           // the frame's palette
  Dithering,        // the frame's pixels onto that palette
  LZW,              // the frame's image data
  Write,            // the frame's bytes kept aside, and the file written at the end
  Other,            // the rest of a frame's way through the builder (copies, checks)
  Count
};

constexpr int kStageCount = int(TStage::Count);

const char* StageName(TStage stage);

namespace stagetimes {
// Set once before main from the environment.
extern const bool gOn;
void Add(TStage stage, std::int64_t wallNs, std::int64_t cpuNs);
}  // namespace stagetimes

inline bool StageTimesOn() { return stagetimes::gOn; }

// Adds the time from its construction to its destruction to stage. Timers nest: the time of an
// inner timer counts for its own stage only, not for the enclosing one's.
class TStageTimer {
 public:
  explicit TStageTimer(TStage stage) : FStage(stage), FOn(StageTimesOn()) {
    if (FOn) Start();
  }
  ~TStageTimer() {
    if (FOn) Stop();
  }
  TStageTimer(const TStageTimer&) = delete;
  TStageTimer& operator=(const TStageTimer&) = delete;

 private:
  void Start();
  void Stop();

  TStage FStage;
  bool FOn;
  std::int64_t FWall = 0, FCpu = 0;
  std::int64_t FInnerWall = 0, FInnerCpu = 0;
  TStageTimer* FOuter = nullptr;
};

struct TStageTotals {
  std::array<std::int64_t, kStageCount> WallNs{};
  std::array<std::int64_t, kStageCount> CpuNs{};
  std::array<std::int64_t, kStageCount> Calls{};
};
TStageTotals StageTotals();

// The table of the stages' costs per frame for a run of frames frames that took wallSeconds, and
// the process's CPU time over that wall time (how busy cores were kept).
std::string StageTimesTable(int frames, double wallSeconds, int cores);
// Writes the table to the file CLIPSMITH_STAGE_TIMES names; nothing when timing is off.
void WriteStageTimes(int frames, double wallSeconds);

}  // namespace clipsmith
