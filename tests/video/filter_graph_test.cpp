// TFilterGraph on a stand-in graph (to choose every result the platform may give) and on the
// real one: activation, notices, event dispatch, control results, audio values, errors, log.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <deque>
#include <fstream>
#include <sstream>

#include "harness.h"
#include "video/exception_report.h"
#include "video/seek_bar.h"

namespace clipsmith {
namespace {

using testing::PumpUntil;
using testing::THarness;

std::vector<std::string> gLog;  // what the stand-ins and components were asked, in order

class TFakeFilter : public IBaseFilter {
 public:
  std::vector<std::shared_ptr<IPin>> EnumPins() override { return {}; }
  HRESULT Stop() override { return S_OK; }
  std::string QueryFilterName() const override { return "fake"; }
};

class TFakeGraph : public IGraphBuilder, public IMediaControl, public IMediaEventEx {
 public:
  HRESULT RunResult = S_OK, PauseResult = S_OK, StopResult = S_OK, RenderResult = S_OK;
  OAFilterState StateValue = State_Stopped;
  std::deque<std::tuple<long, LONG_PTR, LONG_PTR>> Queue;
  QObject* Window = nullptr;
  int Posts = 0;
  std::vector<std::shared_ptr<IBaseFilter>> Filters;

  // Queues an event the way the real graph does: one message when the queue becomes non-empty.
  void Queue_(long code, LONG_PTR p1 = 0, LONG_PTR p2 = 0) {
    bool wasEmpty = Queue.empty();
    Queue.emplace_back(code, p1, p2);
    if (wasEmpty && Window) {
      ++Posts;
      QCoreApplication::postEvent(Window, new TWindowMessage(WM_GRAPHNOTIFY, 0, 0));
    }
  }

  HRESULT AddFilter(const std::shared_ptr<IBaseFilter>& f, const std::string& name) override {
    gLog.push_back("AddFilter " + name);
    Filters.push_back(f);
    return S_OK;
  }
  HRESULT RemoveFilter(const std::shared_ptr<IBaseFilter>& f) override {
    gLog.push_back("RemoveFilter " + f->QueryFilterName());
    Filters.erase(std::remove(Filters.begin(), Filters.end(), f), Filters.end());
    return S_OK;
  }
  std::vector<std::shared_ptr<IBaseFilter>> EnumFilters() override { return Filters; }
  HRESULT RenderFile(const std::string& name) override {
    gLog.push_back("RenderFile " + name);
    return RenderResult;
  }
  HRESULT SetLogFile(TStream*) override { return S_OK; }
  HRESULT Run() override { return RunResult; }
  HRESULT Pause() override { return PauseResult; }
  HRESULT Stop() override { return StopResult; }
  HRESULT GetState(long, OAFilterState* s) override {
    *s = StateValue;
    return S_OK;
  }
  HRESULT GetEvent(long* code, LONG_PTR* p1, LONG_PTR* p2, long) override {
    if (Queue.empty()) return E_ABORT;
    std::tie(*code, *p1, *p2) = Queue.front();
    Queue.pop_front();
    return S_OK;
  }
  HRESULT FreeEventParams(long, LONG_PTR, LONG_PTR) override { return S_OK; }
  HRESULT SetNotifyWindow(QObject* w, long, LONG_PTR) override {
    gLog.push_back(w ? "SetNotifyWindow" : "SetNotifyWindow null");
    Window = w;
    return S_OK;
  }
  HRESULT SetNotifyFlags(long f) override {
    gLog.push_back("SetNotifyFlags " + std::to_string(f));
    return S_OK;
  }
};

class TRecorder : public IEvent, public IFilterComponent {
 public:
  explicit TRecorder(std::string name) : Name(std::move(name)) {}
  void GraphEventNotify(long e, LONG_PTR, LONG_PTR) override { gLog.push_back(Name + " event " + std::to_string(e)); }
  void ControlNotify(TControlNotice k, long p) override {
    gLog.push_back(Name + " notice " + std::to_string(int(k)) + " " + std::to_string(p));
  }
  std::shared_ptr<IBaseFilter> GetBaseFilter() override { return Filter; }
  std::string GetFilterName() override { return Name; }
  void FilterOperation(TFilterEvent op, long) override {
    gLog.push_back(Name + " op " + std::to_string(int(op)));
    if (op == TFilterEvent::feAdding) Filter = std::make_shared<TFakeFilter>();
    if (op == TFilterEvent::feRemoved) Filter.reset();
  }
  void GraphDestroyed(TFilterGraph*) override { gLog.push_back(Name + " graph destroyed"); }
  std::string Name;
  std::shared_ptr<IBaseFilter> Filter;
};

struct FakeGraphTest : ::testing::Test {
  void SetUp() override {
    gLog.clear();
    Graph.GraphFactory = [this] {
      Fake = std::make_shared<TFakeGraph>();
      return Fake;
    };
  }
  std::shared_ptr<TFakeGraph> Fake;
  TFilterGraph Graph;
};

TEST_F(FakeGraphTest, ActivationAddsComponentFiltersAndAnnouncesItself) {
  TRecorder a("A"), b("B");
  Graph.AddFilterComponent(&a);
  Graph.InsertEventNotifier(&a);
  Graph.AddFilterComponent(&b);
  bool activated = false;
  Graph.OnActivate = [&](TFilterGraph* g) {
    EXPECT_EQ(g, &Graph);
    gLog.push_back("OnActivate");
    activated = true;
  };
  EXPECT_EQ(Graph.State(), TGraphState::gsUninitialized);
  EXPECT_EQ(Graph.RenderFile("x.mp4"), S_FALSE) << "inactive";
  EXPECT_TRUE(gLog.empty()) << "no notices while inactive";
  Graph.SetActive(true);
  Graph.SetActive(true);  // no change: nothing happens
  EXPECT_TRUE(activated);
  std::vector<std::string> expected = {"SetNotifyFlags 0", "SetNotifyWindow", "A op 0",     "AddFilter A",
                                       "A op 1",           "B op 0",          "AddFilter B", "B op 1",
                                       "OnActivate",       "A notice 7 1"};
  EXPECT_EQ(gLog, expected);
  gLog.clear();
  Graph.SetActive(false);
  expected = {"A notice 7 0",   "A op 2",           "RemoveFilter fake", "A op 3", "B op 2", "RemoveFilter fake",
              "B op 3",         "SetNotifyFlags 1", "SetNotifyWindow null"};
  EXPECT_EQ(gLog, expected);
  EXPECT_EQ(Graph.State(), TGraphState::gsUninitialized);
  Graph.RemoveFilterComponent(&a);
  Graph.RemoveFilterComponent(&b);
  Graph.RemoveEventNotifier(&a);
}

TEST_F(FakeGraphTest, RenderFileSendsItsNoticesAndRaisesFailures) {
  TRecorder a("A");
  Graph.InsertEventNotifier(&a);
  Graph.SetActive(true);
  gLog.clear();
  Fake->RenderResult = 0x00040258;  // a partly rendered file: returned unchanged
  EXPECT_EQ(Graph.RenderFile("clip.avi"), 0x00040258);
  std::vector<std::string> expected = {"A notice 3 0", "RenderFile clip.avi", "A notice 4 0"};
  EXPECT_EQ(gLog, expected);
  gLog.clear();
  Fake->RenderResult = E_FAIL;
  try {
    Graph.RenderFile("bad.avi");
    FAIL();
  } catch (const EDirectShowException& e) {
    EXPECT_EQ(e.ErrorCode, E_FAIL);
    EXPECT_STREQ(e.what(), "Unspecified error ($80004005).");
  }
  expected = {"A notice 3 0", "RenderFile bad.avi"};
  EXPECT_EQ(gLog, expected);
  Graph.RemoveEventNotifier(&a);
}

TEST_F(FakeGraphTest, PlayAcceptsATransitionPauseAndStopDoNot) {
  Graph.SetActive(true);
  Fake->RunResult = Fake->PauseResult = Fake->StopResult = S_FALSE;
  EXPECT_TRUE(Graph.Play());
  EXPECT_FALSE(Graph.Pause());
  EXPECT_FALSE(Graph.Stop());
  Fake->RunResult = Fake->PauseResult = Fake->StopResult = S_OK;
  EXPECT_TRUE(Graph.Play());
  EXPECT_TRUE(Graph.Pause());
  EXPECT_TRUE(Graph.Stop());
  Fake->RunResult = E_UNEXPECTED;
  EXPECT_THROW(Graph.Play(), EDirectShowException);
  for (auto [value, state] : {std::pair{State_Stopped, TGraphState::gsStopped},
                              std::pair{State_Paused, TGraphState::gsPaused},
                              std::pair{State_Running, TGraphState::gsPlaying},
                              std::pair{OAFilterState(7), TGraphState::gsUninitialized}}) {
    Fake->StateValue = value;
    EXPECT_EQ(Graph.State(), state);
  }
  // Without a graph nothing is played.
  Graph.SetActive(false);
  EXPECT_FALSE(Graph.Play());
  EXPECT_FALSE(Graph.Pause());
}

TEST_F(FakeGraphTest, EventsGoToNotifiersThenOnDSEventThenTheirOwnSlot) {
  TRecorder a("A"), b("B");
  Graph.InsertEventNotifier(&a);
  Graph.InsertEventNotifier(&b);
  Graph.SetActive(true);
  Graph.OnDSEvent = [](TFilterGraph*, long code, LONG_PTR, LONG_PTR) { gLog.push_back("OnDSEvent " + std::to_string(code)); };
  Graph.OnGraphComplete = [](TFilterGraph*, HRESULT r, IBaseFilter* f) {
    gLog.push_back("OnGraphComplete " + std::to_string(r) + (f ? " renderer" : " none"));
  };
  Graph.OnGraphVideoSizeChanged = [](TFilterGraph*, int w, int h) {
    gLog.push_back("size " + std::to_string(w) + "x" + std::to_string(h));
  };
  gLog.clear();
  Fake->Queue_(EC_COMPLETE, 5, 0);
  Fake->Queue_(EC_VIDEO_SIZE_CHANGED, (240 << 16) | 320, 0);
  Fake->Queue_(4711);  // unknown codes reach the notifiers and OnDSEvent only
  ASSERT_TRUE(PumpUntil([&] { return Fake->Queue.empty(); }));
  std::vector<std::string> expected = {"A event 1",    "B event 1",       "OnDSEvent 1",  "OnGraphComplete 5 none",
                                       "A event 10",   "B event 10",      "OnDSEvent 10", "size 320x240",
                                       "A event 4711", "B event 4711",    "OnDSEvent 4711"};
  EXPECT_EQ(gLog, expected);
  EXPECT_EQ(Fake->Posts, 1);
  Graph.RemoveEventNotifier(&a);
  Graph.RemoveEventNotifier(&b);
}

TEST_F(FakeGraphTest, AnEventQueuedInsideAHandlerIsDispatchedAfterItByTheSameDrain) {
  Graph.SetActive(true);
  int depth = 0, maxDepth = 0, steps = 0;
  Graph.OnGraphStepComplete = [&](TFilterGraph*) {
    maxDepth = std::max(maxDepth, ++depth);
    if (++steps < 3) Fake->Queue_(EC_STEP_COMPLETE);  // the next step finishes at once
    --depth;
  };
  Fake->Queue_(EC_STEP_COMPLETE);
  // One drain dispatches the queued event and the two that the handlers queued, one after the
  // other.
  Graph.DrainGraphEvents();
  EXPECT_EQ(steps, 3);
  EXPECT_EQ(maxDepth, 1);
  testing::PumpFor(10);  // the messages posted meanwhile find the queue empty
  EXPECT_EQ(steps, 3);
}

TEST_F(FakeGraphTest, AnExceptionInAHandlerIsReportedAndLeavesTheRestForTheNextMessage) {
  std::vector<std::string> reported;
  auto old = SetExceptionReporter([&](std::exception_ptr e) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& ex) {
      reported.push_back(ex.what());
    }
  });
  Graph.SetActive(true);
  int completes = 0;
  Graph.OnGraphStepComplete = [](TFilterGraph*) { throw std::runtime_error("handler failed"); };
  Graph.OnGraphComplete = [&](TFilterGraph*, HRESULT, IBaseFilter*) { ++completes; };
  Fake->Queue_(EC_STEP_COMPLETE);
  Fake->Queue_(EC_COMPLETE);
  ASSERT_TRUE(PumpUntil([&] { return !reported.empty(); }));
  testing::PumpFor(20);
  EXPECT_EQ(reported, std::vector<std::string>{"handler failed"});
  EXPECT_EQ(completes, 0);
  // The next message drains what is left.
  Fake->Queue_(EC_COMPLETE);
  QCoreApplication::postEvent(Graph.Handle(), new TWindowMessage(WM_GRAPHNOTIFY, 0, 0));
  ASSERT_TRUE(PumpUntil([&] { return completes == 2; }));
  SetExceptionReporter(old);
}

TEST_F(FakeGraphTest, DestroyingTheGraphFirstTellsTheComponents) {
  auto graph = std::make_unique<TFilterGraph>();
  graph->GraphFactory = [] { return std::make_shared<TFakeGraph>(); };
  TDSTrackBar bar;
  TSampleGrabber grabber;
  bar.SetFilterGraph(graph.get());
  grabber.SetFilterGraph(graph.get());
  graph->SetActive(true);
  graph.reset();
  EXPECT_EQ(bar.FilterGraph(), nullptr);
  EXPECT_EQ(grabber.FilterGraph(), nullptr);
}

TEST(FilterGraph, VolumeAndBalanceAreClampedAndStored) {
  TFilterGraph g;
  g.SetVolume(20000);
  EXPECT_EQ(g.Volume(), 10000);
  g.SetVolume(-3);
  EXPECT_EQ(g.Volume(), 0);
  g.SetBalance(-20000);
  EXPECT_EQ(g.Balance(), -10000);
  g.SetBalance(12345);
  EXPECT_EQ(g.Balance(), 10000);
  g.SetActive(true);
  g.SetVolume(5000);  // no audio in the graph: stored, nothing else
  EXPECT_EQ(g.Volume(), 5000);
  EXPECT_EQ(g.QueryInterface<IBasicAudio>(), nullptr);
  EXPECT_EQ(LinearToDecibelVolume(0), -10000);
  EXPECT_EQ(LinearToDecibelVolume(10000), 0);
  EXPECT_EQ(LinearToDecibelVolume(100), -4989);
  EXPECT_EQ(LinearToDecibelBalance(0), 0);
  EXPECT_EQ(LinearToDecibelBalance(-10000), -10000);
}

TEST(FilterGraph, CheckDSResultFormatsThePlatformText) {
  EXPECT_EQ(CheckDSResult(S_FALSE), S_FALSE);
  EXPECT_EQ(CheckDSResult(0x00040237), 0x00040237);
  struct {
    HRESULT hr;
    const char* text;
  } cases[] = {{E_FAIL, "Unspecified error ($80004005)."},
               {-2, "No such file or directory ($FFFFFFFE)."},
               {-1094995529, "Invalid data found when processing input ($BEBBB1B7)."}};
  for (auto& c : cases) {
    try {
      CheckDSResult(c.hr);
      FAIL();
    } catch (const EDirectShowException& e) {
      EXPECT_STREQ(e.what(), c.text);
      EXPECT_EQ(e.ErrorCode, c.hr);
    }
  }
}

TEST(FilterGraph, StateAroundRenderingAndClearGraphKeepsTheComponentFilters) {
  THarness h;
  EXPECT_EQ(h.Graph.State(), TGraphState::gsStopped) << "an empty graph is stopped";
  ASSERT_EQ(h.Render("cfr_h264.mp4"), S_OK);
  EXPECT_EQ(h.Graph.State(), TGraphState::gsStopped);
  EXPECT_EQ(h.Graph.Duration(), 2000u);
  EXPECT_EQ(h.Graph.SeekCapabilities().Bits, 0x3F);
  h.Graph.SetPosition(1000);
  h.Settle();
  EXPECT_EQ(h.Graph.Position(), 1000u);
  EXPECT_EQ(h.GrabbedFrame("cfr_h264.mp4"), 25);
  h.Graph.ClearGraph();
  EXPECT_EQ(h.Graph.State(), TGraphState::gsStopped);
  auto filters = h.Graph.QueryInterface<IGraphBuilder>()->EnumFilters();
  ASSERT_EQ(filters.size(), 2u);
  EXPECT_EQ(filters[0], h.Window.GetBaseFilter());
  EXPECT_EQ(filters[1], h.Grabber.GetBaseFilter());
  TBitmap b;
  EXPECT_FALSE(h.Grabber.GetBitmap(b));
  EXPECT_FALSE(h.Window.CheckInputPinsConnected());
  // The next file connects through the same two.
  ASSERT_EQ(h.Render("odd_ffv1.mkv"), S_OK);
  ASSERT_TRUE(h.Grabber.GetBitmap(b));
  EXPECT_EQ(b.Width(), 67);
  EXPECT_TRUE(h.Window.CheckInputPinsConnected());
  // The window's reset: clear, deactivate, activate: a fresh graph with both filters again.
  h.Graph.ClearGraph();
  h.Graph.SetActive(false);
  h.Graph.SetActive(true);
  EXPECT_EQ(h.Graph.QueryInterface<IGraphBuilder>()->EnumFilters().size(), 2u);
  ASSERT_EQ(h.Render("cfr_h264.mp4"), S_OK);
  EXPECT_EQ(h.GrabbedFrame("cfr_h264.mp4"), 0);
}

TEST(FilterGraph, AStepAskedForInTheStepHandlerComesLaterNeverNested) {
  THarness h;
  ASSERT_EQ(h.Render("cfr_h264.mp4"), S_OK);
  int depth = 0, maxDepth = 0;
  std::vector<int> frames;
  h.Graph.OnGraphStepComplete = [&](TFilterGraph* g) {
    maxDepth = std::max(maxDepth, ++depth);
    frames.push_back(h.GrabbedFrame("cfr_h264.mp4"));
    if (frames.size() < 10) g->QueryInterface<IVideoFrameStep>()->Step(1, nullptr);
    --depth;
  };
  h.Graph.QueryInterface<IVideoFrameStep>()->Step(1, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return frames.size() == 10; }));
  EXPECT_EQ(maxDepth, 1);
  EXPECT_EQ(frames, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

TEST(FilterGraph, LogFileRecordsTheGraphsOperations) {
  std::string path = testclips::ScratchDir() + "/graph.log";
  THarness h;
  h.Graph.SetLogFile(path);
  EXPECT_EQ(h.Graph.LogFile(), path);
  ASSERT_EQ(h.Render("cfr_h264.mp4"), S_OK);
  ASSERT_TRUE(h.StepAndWait());
  EXPECT_THROW(h.Graph.RenderFile(testclips::ScratchDir() + "/missing.mp4"), EDirectShowException);
  h.Graph.SetActive(false);
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  std::string log = text.str();
  EXPECT_NE(log.find("RenderFile \"" + testclips::ClipPath("cfr_h264.mp4") + "\""), std::string::npos) << log;
  EXPECT_NE(log.find("h264 64x48, duration 2.000 s"), std::string::npos) << log;
  EXPECT_NE(log.find("Step to 0.0400 s"), std::string::npos) << log;
  EXPECT_NE(log.find("No such file or directory"), std::string::npos) << log;
  // A log that cannot be created: logging off, the old name kept.
  h.Graph.SetActive(true);
  h.Graph.SetLogFile("/nonexistent-dir/x.log");
  EXPECT_EQ(h.Graph.LogFile(), path);
}

}  // namespace
}  // namespace clipsmith
