// clipsmith: the desktop program. Settings first, then the window; closing the window ends the
// program and writes the settings.
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/error_report.h"
#include "app/main_window.h"
#include "app/message_boxes.h"
#include "app/select_range_dialog.h"
#include "app/version.h"
#include "art/art.h"
#include "controls/skin.h"
#include "settings/settings.h"
#include "video/exception_report.h"

using namespace clipsmith;

namespace {

bool HasDisplay() {
  if (const char* p = std::getenv("QT_QPA_PLATFORM"); p && *p) return true;  // the user chose one
  for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY"})
    if (const char* d = std::getenv(v); d && *d) return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::puts("Usage: clipsmith [VIDEO]\nOpens the Clipsmith window (with VIDEO loaded). "
                "For conversions without a window, see clipsmith-cli --help.");
      return 0;
    }
    if (a == "--version") {
      std::puts("clipsmith " CLIPSMITH_VERSION);
      return 0;
    }
    files.push_back(a);
  }
  if (!HasDisplay()) {
    std::fputs("clipsmith: no display to open the window on (DISPLAY is not set); use clipsmith-cli to make a GIF "
               "from the command line.\n",
               stderr);
    return 1;
  }

  QApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
  TClipsmithApplication app(argc, argv);
  QApplication::setApplicationName("Clipsmith");
  QApplication::setApplicationVersion(CLIPSMITH_VERSION);
  QApplication::setDesktopFileName("clipsmith");
  QApplication::setWindowIcon(art::AppIcon());
  ApplySkin(app);
  // What the video components' own handlers let escape goes to the same dialog.
  SetExceptionReporter([](std::exception_ptr e) { ReportError(e, "an event of the video components"); });

  // The settings object before any window, destroyed after them: that writes the settings file.
  TSettingsModule settings([](const std::string& text, const std::string& caption) {
    ShowErrorBox(nullptr, text, caption);
  });
  int rc;
  {
    TFormMain form;
    form.SetSettings(&settings.Settings());
    TFormSelectRangeError rangeError(&form);  // made at start, as the program always did; never shown
    form.show();
    if (!files.empty()) {
      const std::string path = std::filesystem::absolute(files.front()).string();
      QTimer::singleShot(0, &form, [&form, path] { form.Guarded([&] { form.OpenVideoFile(path); }); });
    }
    rc = app.exec();
  }
  return rc;
}
