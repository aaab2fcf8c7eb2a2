// The program's window on a real X server (Xvfb), driven as a user drives it: clicks on the real
// buttons, the real open and save dialogs filled in and confirmed, the completion box answered.
// The GIF it makes must be the one clipsmith-cli makes with the same options. With
// CLIPSMITH_SHOT_DIR set, screenshots of every stage are written there.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <QApplication>
#include <QAbstractItemView>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>

#include "app/about_box.h"
#include "app/error_report.h"
#include "app/main_window.h"
#include "app/select_range_dialog.h"
#include "app_test_support.h"
#include "controls/skin.h"
#include "form_harness.h"

using namespace clipsmith;
using namespace clipsmith::apptest;

namespace {

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// The clip: ffmpeg's test picture with moving parts, 320 x 240, 25 frames a second, 4 seconds.
const std::string& Clip() {
  static const std::string path = ClipPath(kWindowClip);
  return path;
}

void Click(QWidget* w) {
  // A click into a window makes it the active one; without a window manager that is ours to do.
  if (!w->window()->isActiveWindow() && !QApplication::activeModalWidget()) {
    w->window()->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(w->window()));
  }
  QTest::mouseMove(w);
  QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(w->width() / 2, w->height() / 2));
}

// The user at the keyboard: whenever a modal window is up, the next expected answer handles it.
class TUser {
 public:
  using TAnswer = std::function<bool(QWidget* modal)>;  // true: handled
  TUser() {
    FTimer.setInterval(50);
    QObject::connect(&FTimer, &QTimer::timeout, [this] { Look(); });
    FTimer.start();
  }
  void Then(TAnswer answer) { FAnswers.push_back(std::move(answer)); }
  bool Done() const { return FAnswers.empty(); }

 private:
  void Look() {
    QWidget* modal = QApplication::activeModalWidget();
    if (qEnvironmentVariableIsSet("CLIPSMITH_TRACE_USER"))
      std::fprintf(stderr, "look: %s %d\n", modal ? modal->metaObject()->className() : "-", int(FAnswers.size()));
    if (!modal || FAnswers.empty() || !modal->isVisible()) return;
    if (FAnswers.front()(modal)) {
      FAnswers.pop_front();
    } else if (modal != FUnexpected) {
      FUnexpected = modal;
      std::fprintf(stderr, "waiting for another window than %s \"%s\"\n", modal->metaObject()->className(),
                   modal->windowTitle().toLocal8Bit().constData());
    }
  }
  QWidget* FUnexpected = nullptr;
  QTimer FTimer;
  std::deque<TAnswer> FAnswers;
};

// Types a path into a file dialog's name field and confirms it with Enter.
TUser::TAnswer FileDialogAnswer(std::string path) {
  return [path](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (!dialog || !QTest::qWaitForWindowExposed(dialog)) return false;
    QTest::qWait(100);
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    if (!name) return false;
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, QString::fromStdString(path));
    // The completion list that typing opened goes first, as Escape would close it; then the
    // dialog's Open or Save button.
    if (QCompleter* c = name->completer(); c && c->popup() && c->popup()->isVisible()) c->popup()->hide();
    auto* box = dialog->findChild<QDialogButtonBox*>("buttonBox");
    if (!box) return false;
    QPushButton* ok = box->button(dialog->acceptMode() == QFileDialog::AcceptOpen ? QDialogButtonBox::Open
                                                                                  : QDialogButtonBox::Save);
    if (!ok) return false;
    if (qEnvironmentVariableIsSet("CLIPSMITH_TRACE_USER"))
      std::fprintf(stderr, "file dialog: '%s' %s %d\n", name->text().toLocal8Bit().constData(),
                   ok->text().toLocal8Bit().constData(), int(ok->isEnabled()));
    Click(ok);
    // Not taken (still busy filling its list): tried again on the next look.
    return !dialog->isVisible();
  };
}

std::string ShotDir() {
  const QByteArray d = qgetenv("CLIPSMITH_SHOT_DIR");
  return d.isEmpty() ? std::string() : d.toStdString();
}

// What is on the screen where the window is (dialogs over it included).
void Shot(const QWidget& window, const char* name) {
  const std::string dir = ShotDir();
  if (dir.empty()) return;
  QCoreApplication::processEvents();
  QScreen* screen = window.screen();
  const QRect r = window.frameGeometry();
  const QPixmap pixels = screen->grabWindow(0, r.x(), r.y(), r.width(), r.height());
  EXPECT_TRUE(pixels.save(QString::fromStdString(dir + "/" + name))) << name;
}

// Clicks Next Frame until the seek bar shows the position.
void StepTo(TFormMain& f, int position) {
  while (f.TrackBar->Position() < position) {
    const int before = f.TrackBar->Position();
    Click(f.BtnPlayerNextFrame);
    ASSERT_TRUE(PumpUntil([&] { return f.TrackBar->Position() > before; }, 5000)) << "no step from " << before;
  }
  ASSERT_EQ(f.TrackBar->Position(), position);
}

}  // namespace

TEST(WindowOnX, OpenMarkAndMakeAGifAsTheCommandLineDoes) {
  ASSERT_EQ(QGuiApplication::platformName().toStdString(), "xcb");
  TScratchDir out("xvfb-out");
  TUser user;
  TFormMain form;
  form.ShellOpen = [](const std::string&) {};  // no browser or mail program here
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  // No window manager here to give the new window the focus, as a desktop would.
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  QTest::qWait(200);
  Shot(form, "window-empty.png");

  // Open: the real open dialog, a name typed into it.
  user.Then(FileDialogAnswer(Clip()));
  Click(form.BtnOpen);
  ASSERT_TRUE(PumpUntil([&] { return form.SourceVideoWidth == 320; }));
  EXPECT_EQ(form.LabelSBCenter->text().toStdString(), "Frame: 320 x 240");
  EXPECT_EQ(form.FilterGraph1.State(), TGraphState::gsPlaying);
  Click(form.BtnPlayerPause);
  ASSERT_EQ(form.FilterGraph1.State(), TGraphState::gsPaused);
  Click(form.BtnPlayerStop);  // back to the start, options reset
  ASSERT_TRUE(PumpUntil([&] { return form.SourceVideoWidth == 0 || form.TrackBar->Position() == 0; }));
  user.Then(FileDialogAnswer(Clip()));
  Click(form.BtnPlayerOpen);
  ASSERT_TRUE(PumpUntil([&] { return form.SourceVideoWidth == 320 && form.FilterGraph1.State() == TGraphState::gsPlaying; }));
  Click(form.BtnPlayerPause);

  // Marks: a few frames on from where playback was paused, the start; 32 frames later, the end.
  // Each step lands on a frame's time (40 ms, four seek-bar units, apart).
  QTest::qWait(100);
  const int paused = form.TrackBar->Position();
  ASSERT_LT(paused, 150) << "the clip played on too long before the pause";
  StepTo(form, (paused / 4 + 5) * 4);
  Click(form.BtnPlayerSMStart);
  const int start = form.TrackBar->SelStart();
  StepTo(form, start + 32 * 4);
  Click(form.BtnPlayerSMStop);
  const int end = form.TrackBar->SelEnd();
  EXPECT_EQ(end, start + 128);
  EXPECT_EQ(start % 4, 0);
  EXPECT_NE(form.EditStartFrame->text().toStdString(), "0");

  // Options typed in: every third frame, 80 ms, half size with the linked height.
  for (auto [edit, text] : {std::pair{form.EditStep, "3"}, std::pair{form.EditDelay, "80"}}) {
    Click(edit);
    edit->selectAll();
    QTest::keyClicks(edit, text);
  }
  Click(form.CheckboxResize);
  Click(form.EditGIFW);
  form.EditGIFW->selectAll();
  QTest::keyClicks(form.EditGIFW, "160");
  EXPECT_EQ(form.EditGIFH->text().toStdString(), "120");
  QTest::mouseMove(form.BtnPlayerSMStop);
  Shot(form, "window-range.png");

  // Make GIF: the save dialog, a shot while frames are captured, then the completion box,
  // answered Cancel (no browser).
  const std::string gif = out / "window.gif";
  user.Then(FileDialogAnswer(gif));
  user.Then([](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (!box || box->windowTitle() != "Done") return false;
    Click(box->button(QMessageBox::Cancel));
    return true;
  });
  int captured = 0;
  form.Host.FrameCaptured = [&](int frames) {
    captured = frames;
    if (frames == 6) {
      EXPECT_TRUE(form.ProgressBar1->isVisible());
      Shot(form, "window-converting.png");
    }
  };
  bool ended = false;
  form.Host.JobEnded = [&](bool written) { ended = written; };
  Click(form.BtnMakeGIF);
  ASSERT_TRUE(PumpUntil([&] { return ended && user.Done() && !form.Job.IsConverting; }, 60000));
  EXPECT_EQ(captured, 10);  // every third of the 32 frames after the start mark, the end excluded
  EXPECT_FALSE(form.ProgressBar1->isVisible());

  auto seconds = [](int units) { return QString::number(units * 10 / 1000.0, 'f', 3).toStdString(); };
  const std::string cmd = Quote(CLIPSMITH_CLI) + " -q --start " + seconds(start) + " --end " + seconds(end) +
                          " --step 3 --delay 80 --size 160x120 -- " + Quote(Clip()) + " " + Quote(out / "cli.gif") +
                          " >/dev/null 2>&1 </dev/null";
  const int status = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << cmd;
  const auto windowBytes = ReadBytes(gif), cliBytes = ReadBytes(out / "cli.gif");
  ASSERT_GT(windowBytes.size(), 1000u);
  EXPECT_TRUE(windowBytes == cliBytes) << "the window wrote other bytes than clipsmith-cli";
  const auto decoded = clipsmith::testing::DecodeWithGiflib(windowBytes);
  ASSERT_TRUE(decoded.Ok) << decoded.Error;
  EXPECT_EQ(decoded.Frames.size(), 10u);
  EXPECT_EQ(decoded.ScreenWidth, 160);

  // Make GIF after Stop and a new open, without marks: the range-error dialog.
  Click(form.BtnPlayerStop);
  user.Then(FileDialogAnswer(Clip()));
  Click(form.BtnOpen);
  ASSERT_TRUE(PumpUntil([&] { return form.SourceVideoWidth == 320 && form.FilterGraph1.State() == TGraphState::gsPlaying; }));
  Click(form.BtnPlayerPause);
  bool sawRangeError = false;
  user.Then([&](QWidget* modal) {
    auto* d = dynamic_cast<TFormSelectRangeError*>(modal);
    if (!d) return false;
    sawRangeError = true;
    QTest::qWait(100);
    Shot(form, "range-error.png");
    Click(d->Button1);
    return true;
  });
  Click(form.BtnMakeGIF);
  ASSERT_TRUE(PumpUntil([&] { return user.Done(); }));
  EXPECT_TRUE(sawRangeError);

  // The about box, closed by a click on it.
  std::string version;
  user.Then([&](QWidget* modal) {
    auto* about = dynamic_cast<Tformabout*>(modal);
    if (!about) return false;
    version = about->lb_version->text().toStdString();
    QTest::qWait(100);
    const std::string dir = ShotDir();
    if (!dir.empty()) {
      EXPECT_TRUE(about->grab().save(QString::fromStdString(dir + "/about.png")));
    }
    Click(about->panel_help);
    return true;
  });
  Click(form.BtnAbout);
  ASSERT_TRUE(PumpUntil([&] { return user.Done(); }));
  EXPECT_EQ(version, "Version:  4.0");

  // Ctrl+Q closes the window.
  Click(form.BtnOnlyForFocus->parentWidget());
  QTest::keyClick(&form, Qt::Key_Q, Qt::ControlModifier);
  EXPECT_FALSE(form.isVisible());
}

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "xcb");
  qunsetenv("QT_QPA_PLATFORMTHEME");
  TClipsmithApplication app(argc, argv);
  ApplySkin(app);
  SetErrorSink([](std::exception_ptr e, const std::string& where) {
    const TErrorReport r = DescribeError(e, where);
    ADD_FAILURE() << "escaped an event handler (" << where << "): " << r.Type << ": " << r.Message;
  });
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
