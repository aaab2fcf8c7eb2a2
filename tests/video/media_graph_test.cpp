// Stepping, seeking and grabbing on real clips: constant and variable frame rates, an odd size,
// B-frames, and H.264/MP4, VP9/MKV, MJPEG/AVI, FFV1/MKV.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <atomic>
#include <mutex>

#include "harness.h"

namespace clipsmith {
namespace {

using testclips::TClip;
using testing::PumpUntil;
using testing::THarness;
using testing::TopDownPixels;

// Index of the last frame whose time is at most t (0 when t is before the first).
int FrameAt(const TClip& clip, REFERENCE_TIME t) {
  int k = 0;
  for (int i = 0; i < int(clip.Times.size()); ++i)
    if (clip.Times[i] <= t) k = i;
  return k;
}

class ClipTest : public ::testing::TestWithParam<TClip> {
 protected:
  void SetUp() override {
    const auto& frames = testclips::ReferenceFrames(GetParam().Name);
    ASSERT_EQ(int(frames.size()), GetParam().Frames) << "the ffmpeg command decodes a different frame count";
    // Frames are told apart by their pixels: the test source changes every frame.
    for (std::size_t i = 1; i < frames.size(); ++i) ASSERT_NE(frames[i - 1], frames[i]) << "frame " << i;
    ASSERT_EQ(H.Render(GetParam().Name), S_OK);
  }
  THarness H;
};

TEST_P(ClipTest, RenderCuesTheFirstFrameStoppedWithTheDuration) {
  const TClip& c = GetParam();
  EXPECT_EQ(H.Graph.State(), TGraphState::gsStopped);
  EXPECT_EQ(H.Position(), 0);
  REFERENCE_TIME expected = c.Duration >= 0 ? c.Duration : c.Times.back() + 10 * 10000;
  if (c.Duration >= 0) {
    EXPECT_EQ(H.Duration(), expected);
  } else {
    // Variable frame rate: the last frame plus a display duration the container does not
    // store; it is guessed from the average rate.
    EXPECT_GT(H.Duration(), c.Times.back());
    EXPECT_LE(H.Duration(), c.Times.back() + 600000);
  }
  EXPECT_EQ(H.Graph.Duration(), RefTimeToMilliseconds(H.Duration()));

  TBitmap b;
  ASSERT_TRUE(H.Grabber.GetBitmap(b));
  EXPECT_EQ(b.Width(), c.Width);
  EXPECT_EQ(b.Height(), c.Height);
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf32bit);
  EXPECT_EQ(b.RowOrder(), TRowOrder::BottomUp);
  EXPECT_EQ(b.Stride(), -std::ptrdiff_t(c.Width) * 4);
  // Byte for byte what the ffmpeg command decodes to bgra.
  EXPECT_EQ(TopDownPixels(b), testclips::ReferenceFrames(c.Name)[0]);
}

TEST_P(ClipTest, StepsVisitEveryFrameInOrderThenReportTheEnd) {
  const TClip& c = GetParam();
  for (int k = 1; k < c.Frames; ++k) {
    int events = int(H.Events.size());
    ASSERT_TRUE(H.StepAndWait()) << "step " << k;
    testing::PumpFor(0);
    EXPECT_EQ(H.GrabbedFrame(c.Name), k);
    EXPECT_EQ(H.Position(), c.Times[k]) << "frame " << k;
    // One event per step, and it is the step's.
    ASSERT_EQ(int(H.Events.size()), events + 1);
    EXPECT_EQ(H.Events.back(), EC_STEP_COMPLETE);
  }
  EXPECT_EQ(H.Graph.State(), TGraphState::gsPaused);
  EXPECT_EQ(H.Completes, 0);
  // The step past the last frame: position at the duration, the last frame still shown, step
  // complete and then complete.
  std::size_t events = H.Events.size();
  ASSERT_TRUE(H.StepAndWait());
  ASSERT_TRUE(PumpUntil([&] { return H.Completes == 1; }));
  ASSERT_EQ(H.Events.size(), events + 2);
  EXPECT_EQ(H.Events[events], EC_STEP_COMPLETE);
  EXPECT_EQ(H.Events[events + 1], EC_COMPLETE);
  EXPECT_EQ(H.Position(), H.Duration());
  EXPECT_EQ(H.GrabbedFrame(c.Name), c.Frames - 1);
}

TEST_P(ClipTest, SeekShowsTheLastFrameAtOrBeforeTheTimeInStoppedAndPausedState) {
  const TClip& c = GetParam();
  const auto& t = c.Times;
  REFERENCE_TIME mid = (t[t.size() / 2] + t[t.size() / 2 + 1]) / 2;
  std::vector<REFERENCE_TIME> targets = {t[7], t[7] - 1, mid, t[3], 0, t.back(), t.back() + 1, t[1] + 1};
  for (TGraphState state : {TGraphState::gsStopped, TGraphState::gsPaused}) {
    if (state == TGraphState::gsPaused) H.Graph.Pause();
    for (REFERENCE_TIME target : targets) {
      H.Seek(target);
      EXPECT_EQ(H.Position(), target) << "read back at once";
      H.Settle();
      EXPECT_EQ(H.Graph.State(), state);
      EXPECT_EQ(H.GrabbedFrame(c.Name), FrameAt(c, target)) << "seek to " << target;
      EXPECT_EQ(H.Position(), target);
    }
  }
  // Backwards and forwards again over a key frame distance, then steps from there.
  H.Seek(t[20]);
  H.Seek(t[2]);
  H.Settle();
  EXPECT_EQ(H.GrabbedFrame(c.Name), 2);
  EXPECT_EQ(H.Completes, 0);
}

TEST_P(ClipTest, StepsFromASeekVisitTheNextFramesWithTheirTimes) {
  const TClip& c = GetParam();
  for (int start : {5, 0, c.Frames / 2}) {
    REFERENCE_TIME target = c.Times[start] + (start + 1 < c.Frames ? (c.Times[start + 1] - c.Times[start]) / 2 : 0);
    H.Seek(target);
    // The step is asked for at once; the queue keeps it after the seek.
    for (int i = 1; i <= 6; ++i) {
      ASSERT_TRUE(H.StepAndWait());
      EXPECT_EQ(H.GrabbedFrame(c.Name), start + i) << "from " << start << " step " << i;
      EXPECT_EQ(H.Position(), c.Times[start + i]);
    }
  }
}

TEST_P(ClipTest, ABurstOfSeeksEndsAtTheLastOne) {
  const TClip& c = GetParam();
  // Dragging the thumb: many seeks, each overtaking the last, some while one is being decoded.
  for (int i = 0; i < 40; ++i) H.Seek(c.Times[(i * 17) % c.Frames]);
  REFERENCE_TIME last = c.Times[c.Frames - 3] + 1;
  H.Seek(last);
  H.Settle();
  EXPECT_EQ(H.Position(), last);
  EXPECT_EQ(H.GrabbedFrame(c.Name), c.Frames - 3);
  ASSERT_TRUE(H.StepAndWait());
  EXPECT_EQ(H.GrabbedFrame(c.Name), c.Frames - 2);
  EXPECT_EQ(H.Position(), c.Times[c.Frames - 2]);
}

TEST_P(ClipTest, SeekWhilePlayingShowsTheFrameAtTheTimeThenPlaysOn) {
  const TClip& c = GetParam();
  std::mutex lock;
  std::vector<REFERENCE_TIME> sampleTimes;
  H.Grabber.SetOnBuffer([&](TSampleGrabber*, double t, const std::uint8_t*, long) {
    std::lock_guard lk(lock);
    sampleTimes.push_back(REFERENCE_TIME(t * 1e7 + 0.5));
  });
  const auto& t = c.Times;
  REFERENCE_TIME late = t[t.size() * 3 / 4];
  H.Seek(late);
  H.Settle();
  ASSERT_TRUE(H.Graph.Play());
  EXPECT_EQ(H.Graph.State(), TGraphState::gsPlaying);
  // Back to a time between two frames while running.
  REFERENCE_TIME target = (t[4] + t[5]) / 2;
  H.Seek(target);
  H.Settle();
  EXPECT_EQ(H.Graph.State(), TGraphState::gsPlaying);
  ASSERT_TRUE(PumpUntil([&] {
    std::lock_guard lk(lock);
    return std::any_of(sampleTimes.begin(), sampleTimes.end(), [&](REFERENCE_TIME s) { return s < late; });
  }));
  H.Graph.Pause();
  H.Settle();
  H.Grabber.SetOnBuffer(nullptr);
  // Every sample before the seek was at or after the late point; the first one before it is
  // the frame at the target.
  auto first = std::find_if(sampleTimes.begin(), sampleTimes.end(), [&](REFERENCE_TIME s) { return s < late; });
  ASSERT_NE(first, sampleTimes.end());
  EXPECT_EQ(*first, t[4]);
  // Playing on: the samples after it rise.
  EXPECT_TRUE(std::is_sorted(first, sampleTimes.end()));
}

}  // namespace
}  // namespace clipsmith

namespace clipsmith {
namespace {

std::string ClipName(const ::testing::TestParamInfo<TClip>& info) {
  std::string n = info.param.Name;
  std::replace_if(n.begin(), n.end(), [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
  return n;
}

INSTANTIATE_TEST_SUITE_P(Clips, ClipTest, ::testing::ValuesIn(testclips::StepClips()), ClipName);

// H.265/MP4, AV1/WebM, MPEG-4/MOV, VP9/WebM: rendered, stepped to the end frame-exactly, and a seek back.
class FormatTest : public ::testing::TestWithParam<TClip> {};

TEST_P(FormatTest, RendersStepsAndSeeksFrameExactly) {
  const TClip& c = GetParam();
  ASSERT_EQ(int(testclips::ReferenceFrames(c.Name).size()), c.Frames);
  THarness h;
  ASSERT_EQ(h.Render(c.Name), S_OK);
  EXPECT_EQ(h.Duration(), c.Duration);
  EXPECT_EQ(h.GrabbedFrame(c.Name), 0);
  for (int k = 1; k < c.Frames; ++k) {
    ASSERT_TRUE(h.StepAndWait());
    EXPECT_EQ(h.GrabbedFrame(c.Name), k);
    EXPECT_EQ(h.Position(), c.Times[k]);
  }
  ASSERT_TRUE(h.StepAndWait());
  EXPECT_EQ(h.Position(), h.Duration());
  h.Seek(c.Times[3] + 1);
  h.Settle();
  EXPECT_EQ(h.GrabbedFrame(c.Name), 3);
}

INSTANTIATE_TEST_SUITE_P(Formats, FormatTest, ::testing::ValuesIn(testclips::FormatClips()), ClipName);

// ---------------------------------------------------------------------------------------------

// Playback by a clock that jumps to each frame's due time: every frame must reach the grabber at
// its own time on the clock, scaled by the rate, and the end must come when the last frame has
// had its duration.
struct TPlayedFrame {
  IMediaClock::TimePoint At;
  double SampleTime;
};

std::vector<TPlayedFrame> PlayToTheEnd(THarness& h, IMediaClock& clock, IMediaClock::TimePoint& start,
                                       IMediaClock::TimePoint& end) {
  std::mutex m;
  std::vector<TPlayedFrame> played;
  h.Grabber.SetOnBuffer([&](TSampleGrabber*, double t, const std::uint8_t*, long) {
    std::lock_guard lk(m);
    played.push_back({clock.Now(), t});
  });
  int before = h.Completes;
  start = clock.Now();
  EXPECT_TRUE(h.Graph.Play());
  EXPECT_TRUE(PumpUntil([&] { return h.Completes == before + 1; }));
  end = clock.Now();
  h.Grabber.SetOnBuffer(nullptr);
  std::lock_guard lk(m);
  return played;
}

void ExpectEachFrameOnTime(const std::vector<TPlayedFrame>& played, IMediaClock::TimePoint start, double rate,
                           double fromTime = 0) {
  for (std::size_t i = 0; i < played.size(); ++i) {
    auto due = std::chrono::duration<double>(played[i].SampleTime - fromTime) / rate;
    auto at = std::chrono::duration<double>(played[i].At - start);
    EXPECT_NEAR(at.count(), due.count(), 1e-6) << "frame " << i << " at " << played[i].SampleTime << " s";
    if (i > 0) {
      EXPECT_GT(played[i].SampleTime, played[i - 1].SampleTime) << i;
    }
  }
}

TEST(Playback, ShowsEveryFrameWhenDueToTheEndAndStaysRunning) {
  auto clock = std::make_shared<testing::TJumpingClock>();
  testing::TClockScope scope(clock);
  THarness h;
  ASSERT_EQ(h.Render("odd_ffv1.mkv"), S_OK);
  IMediaClock::TimePoint start, end;
  auto played = PlayToTheEnd(h, *clock, start, end);
  // A one-second clip of 25 frames: the end comes when the last frame has had its 40 ms.
  EXPECT_EQ(end - start, std::chrono::seconds(1));
  ASSERT_EQ(played.size(), 24u) << "every frame after the cued first one";
  EXPECT_NEAR(played.front().SampleTime, 0.04, 1e-9);
  EXPECT_NEAR(played.back().SampleTime, 0.96, 1e-9);
  ExpectEachFrameOnTime(played, start, 1.0);
  EXPECT_EQ(h.Graph.State(), TGraphState::gsPlaying);
  EXPECT_EQ(h.Position(), h.Duration());
  EXPECT_EQ(h.GrabbedFrame("odd_ffv1.mkv"), 24) << "the last frame is shown at the end";
  auto qual = h.Window.QueryInterface<IQualProp>();
  ASSERT_TRUE(qual);
  int drawn = 0, dropped = 0;
  qual->get_FramesDrawn(&drawn);
  qual->get_FramesDroppedInRenderer(&dropped);
  EXPECT_EQ(drawn + dropped, 25);
  EXPECT_EQ(dropped, 0) << "no frame is late on a clock that waits for each";
  // The loop of the player: a seek while running plays again from there, on time from there.
  int before = h.Completes;
  std::mutex m;
  std::vector<TPlayedFrame> again;
  h.Grabber.SetOnBuffer([&](TSampleGrabber*, double t, const std::uint8_t*, long) {
    std::lock_guard lk(m);
    again.push_back({clock->Now(), t});
  });
  h.Seek(h.Duration() - 2000000);
  ASSERT_TRUE(PumpUntil([&] { return h.Completes == before + 1; }));
  h.Grabber.SetOnBuffer(nullptr);
  std::lock_guard lk(m);
  ASSERT_FALSE(again.empty());
  EXPECT_NEAR(again.back().SampleTime, 0.96, 1e-9);
  EXPECT_EQ(h.Position(), h.Duration());
}

TEST(Playback, PauseHoldsTheFrameAndStopReturnsToTheStart) {
  THarness h;
  ASSERT_EQ(h.Render("cfr_h264.mp4"), S_OK);
  ASSERT_TRUE(h.Graph.Play());
  testing::PumpFor(300);
  h.Graph.Pause();
  h.Settle();
  EXPECT_EQ(h.Graph.State(), TGraphState::gsPaused);
  REFERENCE_TIME p = h.Position();
  int frame = h.GrabbedFrame("cfr_h264.mp4");
  EXPECT_GT(frame, 0);
  EXPECT_GT(p, 0);
  testing::PumpFor(150);
  EXPECT_EQ(h.Position(), p);
  EXPECT_EQ(h.GrabbedFrame("cfr_h264.mp4"), frame);
  // A step from the paused frame shows the one after it.
  ASSERT_TRUE(h.StepAndWait());
  EXPECT_EQ(h.GrabbedFrame("cfr_h264.mp4"), frame + 1);
  h.Graph.Stop();
  h.Settle();
  EXPECT_EQ(h.Graph.State(), TGraphState::gsStopped);
  EXPECT_EQ(h.Position(), 0);
  EXPECT_EQ(h.GrabbedFrame("cfr_h264.mp4"), 0);
}

TEST(Playback, RateScalesTheClock) {
  auto clock = std::make_shared<testing::TJumpingClock>();
  testing::TClockScope scope(clock);
  THarness h;
  ASSERT_EQ(h.Render("odd_ffv1.mkv"), S_OK);
  h.Graph.SetRate(4.0);
  IMediaClock::TimePoint start, end;
  auto played = PlayToTheEnd(h, *clock, start, end);
  // The one-second clip in a quarter of a second, each frame at a quarter of its time.
  EXPECT_EQ(end - start, std::chrono::milliseconds(250));
  EXPECT_EQ(played.size(), 24u);
  ExpectEachFrameOnTime(played, start, 4.0);
  EXPECT_EQ(h.Position(), h.Duration());
  double rate = 0;
  h.Seeking()->GetRate(&rate);
  EXPECT_EQ(rate, 4.0);
}

// A rate change while running goes on from the position reached, at the new rate from then on.
TEST(Playback, RateChangeWhileRunningKeepsThePosition) {
  auto clock = std::make_shared<testing::TJumpingClock>();
  testing::TClockScope scope(clock);
  THarness h;
  ASSERT_EQ(h.Render("odd_ffv1.mkv"), S_OK);
  std::mutex m;
  std::vector<TPlayedFrame> played;
  std::atomic<bool> changed{false};
  IMediaClock::TimePoint changedAt{};
  auto seeking = h.Seeking();
  h.Grabber.SetOnBuffer([&](TSampleGrabber*, double t, const std::uint8_t*, long) {
    std::lock_guard lk(m);
    played.push_back({clock->Now(), t});
    // Half-way, from the worker itself, so that the position is exactly that of the frame.
    if (!changed && t > 0.49) {
      changedAt = clock->Now();
      changed = true;
      seeking->SetRate(2.0);
    }
  });
  IMediaClock::TimePoint start = clock->Now();
  ASSERT_TRUE(h.Graph.Play());
  ASSERT_TRUE(PumpUntil([&] { return h.Completes == 1; }));
  IMediaClock::TimePoint end = clock->Now();
  h.Grabber.SetOnBuffer(nullptr);
  std::lock_guard lk(m);
  ASSERT_TRUE(changed);
  // 0.52 s at rate 1, the remaining 0.48 s at rate 2.
  EXPECT_EQ(changedAt - start, std::chrono::milliseconds(520));
  EXPECT_EQ(end - changedAt, std::chrono::milliseconds(240));
  for (const auto& f : played) {
    double due = f.SampleTime <= 0.52 + 1e-9 ? f.SampleTime : 0.52 + (f.SampleTime - 0.52) / 2;
    EXPECT_NEAR(std::chrono::duration<double>(f.At - start).count(), due, 1e-6) << f.SampleTime;
  }
}

TEST(Grabber, Rgb24RowsArePaddedToFourBytes) {
  THarness h;
  h.Grabber.MediaType().SetSubType(MEDIASUBTYPE_RGB24);
  h.Grabber.UpdateMediaType();
  ASSERT_EQ(h.Render("odd_ffv1.mkv"), S_OK);
  TBitmap b;
  ASSERT_TRUE(h.Grabber.GetBitmap(b));
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(b.Stride(), -204);  // 67 * 3 = 201, padded
  const auto& ref = testclips::ReferenceFrames("odd_ffv1.mkv")[0];
  for (int y = 0; y < 33; ++y)
    for (int x = 0; x < 67; ++x)
      for (int ch = 0; ch < 3; ++ch)
        ASSERT_EQ(b.ScanLine(y)[x * 3 + ch], ref[(std::size_t(y) * 67 + x) * 4 + ch]) << x << "," << y;
  // The renderer still gets its 32-bit picture.
  auto wl = h.Window.QueryInterface<IVMRWindowlessControl9>();
  std::vector<std::uint8_t> dib;
  ASSERT_EQ(wl->GetCurrentImage(dib), S_OK);
  EXPECT_EQ(ReadBitmapInfoHeader(dib.data()).biBitCount, 32);
}

TEST(Grabber, RowsAreTheRightWayUp) {
  THarness h;
  ASSERT_EQ(h.Render("orientation_ffv1.mkv"), S_OK);
  TBitmap b;
  ASSERT_TRUE(h.Grabber.GetBitmap(b));
  auto red = [](TColor c) { return GetRValue(c) > 240 && GetGValue(c) < 16 && GetBValue(c) < 16; };
  auto blue = [](TColor c) { return GetBValue(c) > 240 && GetGValue(c) < 16 && GetRValue(c) < 16; };
  EXPECT_TRUE(red(b.GetPixel(10, 0))) << "top row red";
  EXPECT_TRUE(blue(b.GetPixel(10, 31))) << "bottom row blue";
  // Bottom-up storage: the first stored row is the picture's bottom row.
  EXPECT_GT(b.Bits()[0], 240);  // blue byte of a blue pixel
  EXPECT_LT(b.Bits()[2], 16);
}

TEST(Grabber, EdgeCasesOfGetBitmap) {
  THarness h;
  TBitmap b(3, 2);
  b.SetPixel(0, 0, RGBColor(1, 2, 3));
  EXPECT_FALSE(h.Grabber.GetBitmap(b)) << "nothing rendered";
  EXPECT_EQ(b.Width(), 3);
  EXPECT_EQ(b.GetPixel(0, 0), RGBColor(1, 2, 3));
  ASSERT_EQ(h.Render("odd_ffv1.mkv"), S_OK);
  // From a caller's buffer longer than the image: exactly the image is taken.
  std::vector<std::uint8_t> buffer(67 * 33 * 4 + 100, 0x5A);
  TBitmap c;
  ASSERT_TRUE(h.Grabber.GetBitmap(c, buffer.data(), buffer.size()));
  EXPECT_EQ(c.Bits().size(), std::size_t(67 * 33 * 4));
  EXPECT_TRUE(std::all_of(c.Bits().begin(), c.Bits().end(), [](std::uint8_t v) { return v == 0x5A; }));
  // A short buffer fills what it has and the rest is black, whatever the memory held before; an
  // empty one fails.
  TBitmap d;
  ASSERT_TRUE(h.Grabber.GetBitmap(d, buffer.data(), 8));
  EXPECT_EQ(d.Bits()[7], 0x5A);
  EXPECT_TRUE(std::all_of(d.Bits().begin() + 8, d.Bits().end(), [](std::uint8_t v) { return v == 0; }));
  EXPECT_FALSE(h.Grabber.GetBitmap(d, buffer.data(), 0));
}

TEST(Grabber, ATypeItCannotTakeLeavesItOutOfTheChain) {
  THarness h;
  h.Grabber.MediaType().SetSubType(MEDIASUBTYPE_RGB8);
  h.Grabber.UpdateMediaType();
  ASSERT_EQ(h.Render("odd_ffv1.mkv"), S_OK);
  TBitmap b;
  EXPECT_FALSE(h.Grabber.GetBitmap(b));
  EXPECT_TRUE(h.Window.CheckInputPinsConnected()) << "the video still reaches the window";
  TMemoryStream s;
  EXPECT_TRUE(h.Window.VMRGetBitmap(s));
}

TEST(Grabber, BufferCallbackSeesEveryStep) {
  THarness h;
  ASSERT_EQ(h.Render("cfr_h264.mp4"), S_OK);
  std::atomic<int> calls{0};
  std::atomic<long> len{0};
  h.Grabber.SetOnBuffer([&](TSampleGrabber* sender, double, const std::uint8_t*, long n) {
    EXPECT_EQ(sender, &h.Grabber);
    len = n;
    ++calls;
  });
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(h.StepAndWait());
  EXPECT_EQ(calls.load(), 3);
  EXPECT_EQ(len.load(), 64 * 48 * 4);
  h.Grabber.SetOnBuffer(nullptr);
}

}  // namespace
}  // namespace clipsmith

namespace clipsmith {
namespace {

// A grabber filter that reports whatever connection a test wants.
class TFakeGrabberFilter : public IBaseFilter, public ISampleGrabber {
 public:
  AM_MEDIA_TYPE Connected;
  HRESULT ConnectedResult = S_OK;
  std::vector<std::uint8_t> Sample;
  std::vector<std::shared_ptr<IPin>> EnumPins() override { return {}; }
  HRESULT Stop() override { return S_OK; }
  std::string QueryFilterName() const override { return "fake grabber"; }
  HRESULT SetMediaType(const AM_MEDIA_TYPE&) override { return S_OK; }
  HRESULT GetConnectedMediaType(AM_MEDIA_TYPE& t) override {
    t = Connected;
    return ConnectedResult;
  }
  HRESULT SetBufferSamples(bool) override { return S_OK; }
  HRESULT GetCurrentBuffer(long* size, void* buffer) override {
    if (Sample.empty()) return VFW_E_WRONG_STATE;
    if (buffer) {
      if (std::size_t(*size) < Sample.size()) return E_OUTOFMEMORY;
      std::memcpy(buffer, Sample.data(), Sample.size());
    }
    *size = long(Sample.size());
    return S_OK;
  }
  HRESULT SetCallback(ISampleGrabberCB*, long) override { return S_OK; }
};

struct FakeGrabberTest : ::testing::Test {
  FakeGrabberTest() {
    Fake = std::make_shared<TFakeGrabberFilter>();
    Grabber.FilterFactory = [this] { return Fake; };
    Grabber.SetFilterGraph(&Graph);
    Graph.SetActive(true);
  }
  // A w x h picture of the given depth described by a VideoInfo or VideoInfo2 block.
  void Connect(int w, int h, int bits, bool info2, std::size_t extra = 0, std::uint32_t sizeImage = 0) {
    Fake->Connected = AM_MEDIA_TYPE{};
    Fake->Connected.majortype = MEDIATYPE_Video;
    Fake->Connected.formattype = info2 ? FORMAT_VideoInfo2 : FORMAT_VideoInfo;
    Fake->Connected.pbFormat.assign((info2 ? kVideoInfo2HeaderSize : kVideoInfoHeaderSize) + extra, 0);
    BITMAPINFOHEADER bih;
    bih.biWidth = w;
    bih.biHeight = h;
    bih.biBitCount = std::uint16_t(bits);
    bih.biSizeImage = sizeImage;
    WriteBitmapInfoHeader(bih, Fake->Connected.pbFormat.data() + (info2 ? 72 : 48));
    Fake->Sample.resize(DIBStride(w, std::uint16_t(bits)) * std::size_t(h < 0 ? -h : h));
    for (std::size_t i = 0; i < Fake->Sample.size(); ++i) Fake->Sample[i] = std::uint8_t(i * 7);
  }
  std::shared_ptr<TFakeGrabberFilter> Fake;
  TFilterGraph Graph;
  TSampleGrabber Grabber;
};

TEST_F(FakeGrabberTest, VideoInfo2CarriesItsHeaderAtByte72) {
  Connect(5, 3, 24, true);
  TBitmap b;
  ASSERT_TRUE(Grabber.GetBitmap(b));
  EXPECT_EQ(b.Width(), 5);
  EXPECT_EQ(b.Height(), 3);
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(b.RowOrder(), TRowOrder::BottomUp);
  EXPECT_TRUE(std::equal(b.Bits().begin(), b.Bits().end(), Fake->Sample.begin()));
}

TEST_F(FakeGrabberTest, ANegativeHeightGivesTopDownRowsAndAZeroImageSizeIsComputed) {
  Connect(3, -2, 32, false, 0, 0);
  TBitmap b;
  ASSERT_TRUE(Grabber.GetBitmap(b));
  EXPECT_EQ(b.Height(), 2);
  EXPECT_EQ(b.RowOrder(), TRowOrder::TopDown);
  EXPECT_EQ(b.ScanLine(0)[0], Fake->Sample[0]);
}

TEST_F(FakeGrabberTest, UnexpectedConnectionsFailAndLeaveTheBitmap) {
  struct {
    const char* what;
    std::function<void(FakeGrabberTest&)> set;
  } cases[] = {
      {"a VideoInfo block with masks after it", [](FakeGrabberTest& t) { t.Connect(4, 4, 32, false, 12); }},
      {"a VideoInfo2 block of another length", [](FakeGrabberTest& t) { t.Connect(4, 4, 32, true, 4); }},
      {"not video", [](FakeGrabberTest& t) {
         t.Connect(4, 4, 32, false);
         t.Fake->Connected.majortype = MEDIATYPE_Audio;
       }},
      {"not connected", [](FakeGrabberTest& t) {
         t.Connect(4, 4, 32, false);
         t.Fake->ConnectedResult = VFW_E_NOT_CONNECTED;
       }},
      {"no sample kept", [](FakeGrabberTest& t) {
         t.Connect(4, 4, 32, false);
         t.Fake->Sample.clear();
       }},
      {"a sample larger than the picture", [](FakeGrabberTest& t) {
         t.Connect(4, 4, 32, false);
         t.Fake->Sample.resize(t.Fake->Sample.size() + 4);
       }},
      {"a size no bitmap can have", [](FakeGrabberTest& t) {
         t.Connect(4, 4, 32, false);
         t.Fake->Connected.pbFormat = MakeVideoInfo(1 << 20, 1 << 20, 32, 0);  // the header only
       }},
  };
  for (auto& c : cases) {
    Fake->ConnectedResult = S_OK;
    c.set(*this);
    TBitmap b(2, 2);
    EXPECT_FALSE(Grabber.GetBitmap(b)) << c.what;
    EXPECT_EQ(b.Width(), 2) << c.what;
  }
}

}  // namespace
}  // namespace clipsmith
