#include "graphics/stage_times.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/resource.h>
#include <thread>
#include <algorithm>

namespace clipsmith {

namespace {

struct TCounters {
  std::array<std::atomic<std::int64_t>, kStageCount> Wall{};
  std::array<std::atomic<std::int64_t>, kStageCount> Cpu{};
  std::array<std::atomic<std::int64_t>, kStageCount> Calls{};
};

TCounters& Counters() {
  static TCounters counters;
  return counters;
}

const char* FileName() { return std::getenv("CLIPSMITH_STAGE_TIMES"); }

double ProcessCpuSeconds() {
  rusage u{};
  if (getrusage(RUSAGE_SELF, &u) != 0) return 0;
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

namespace stagetimes {

const bool gOn = [] {
  const char* name = FileName();
  return name && *name;
}();

void Add(TStage stage, std::int64_t wallNs, std::int64_t cpuNs) {
  TCounters& c = Counters();
  const auto i = std::size_t(stage);
  c.Wall[i].fetch_add(wallNs, std::memory_order_relaxed);
  c.Cpu[i].fetch_add(cpuNs, std::memory_order_relaxed);
  c.Calls[i].fetch_add(1, std::memory_order_relaxed);
}

namespace {
std::int64_t WallNow() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::int64_t ThreadCpuNow() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

thread_local TStageTimer* tInnermost = nullptr;
}  // namespace

}  // namespace stagetimes

void TStageTimer::Start() {
  FOuter = stagetimes::tInnermost;
  stagetimes::tInnermost = this;
  FWall = stagetimes::WallNow();
  FCpu = stagetimes::ThreadCpuNow();
}

void TStageTimer::Stop() {
  const std::int64_t wall = stagetimes::WallNow() - FWall;
  const std::int64_t cpu = stagetimes::ThreadCpuNow() - FCpu;
  stagetimes::Add(FStage, wall - FInnerWall, cpu - FInnerCpu);
  if (FOuter) {
    FOuter->FInnerWall += wall;
    FOuter->FInnerCpu += cpu;
  }
  stagetimes::tInnermost = FOuter;
}

const char* StageName(TStage stage) {
  switch (stage) {
    case TStage::Decode: return "decode";
    case TStage::PixelConversion: return "pixel conversion";
    case TStage::CropAndScale: return "crop and scale";
    case TStage::Octree: return "octree";
    case TStage::Dithering: return "dithering";
    case TStage::LZW: return "LZW";
    case TStage::Write: return "write";
    case TStage::Other: return "other";
    case TStage::Count: break;
  }
  return "?";
}

TStageTotals StageTotals() {
  TStageTotals t;
  TCounters& c = Counters();
  for (std::size_t i = 0; i < std::size_t(kStageCount); ++i) {
    t.WallNs[i] = c.Wall[i].load(std::memory_order_relaxed);
    t.CpuNs[i] = c.Cpu[i].load(std::memory_order_relaxed);
    t.Calls[i] = c.Calls[i].load(std::memory_order_relaxed);
  }
  return t;
}

std::string StageTimesTable(int frames, double wallSeconds, int cores) {
  const TStageTotals t = StageTotals();
  const double perFrame = frames > 0 ? 1.0 / frames : 0.0;
  std::string out;
  char line[160];
  std::snprintf(line, sizeof line, "%-18s %8s %14s %14s\n", "stage", "calls", "wall ms/frame", "cpu ms/frame");
  out += line;
  double wallSum = 0, cpuSum = 0;
  for (int i = 0; i < kStageCount; ++i) {
    const double wall = double(t.WallNs[std::size_t(i)]) / 1e6 * perFrame;
    const double cpu = double(t.CpuNs[std::size_t(i)]) / 1e6 * perFrame;
    wallSum += wall;
    cpuSum += cpu;
    std::snprintf(line, sizeof line, "%-18s %8lld %14.3f %14.3f\n", StageName(TStage(i)),
                  static_cast<long long>(t.Calls[std::size_t(i)]), wall, cpu);
    out += line;
  }
  std::snprintf(line, sizeof line, "%-18s %8s %14.3f %14.3f\n", "sum", "", wallSum, cpuSum);
  out += line;
  const double cpu = ProcessCpuSeconds();
  // What no stage counts: the decoder's own threads, the event loop, the start of the program.
  std::snprintf(line, sizeof line, "%-18s %8s %14s %14.3f\n", "not in a stage", "", "",
                std::max(0.0, cpu * 1e3 * perFrame - cpuSum));
  out += line;
  std::snprintf(line, sizeof line, "frames %d\nwall %.3f s (%.3f ms/frame)\nprocess cpu %.3f s (%.3f ms/frame)\n",
                frames, wallSeconds, wallSeconds * 1e3 * perFrame, cpu, cpu * 1e3 * perFrame);
  out += line;
  std::snprintf(line, sizeof line, "busy share %.3f of %d cores\n",
                wallSeconds > 0 && cores > 0 ? cpu / (wallSeconds * cores) : 0.0, cores);
  out += line;
  return out;
}

void WriteStageTimes(int frames, double wallSeconds) {
  if (!StageTimesOn()) return;
  const char* name = FileName();
  if (!name || !*name) return;
  const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
  std::FILE* f = std::fopen(name, "w");
  if (!f) return;
  const std::string table = StageTimesTable(frames, wallSeconds, cores);
  std::fwrite(table.data(), 1, table.size(), f);
  std::fclose(f);
}

}  // namespace clipsmith
