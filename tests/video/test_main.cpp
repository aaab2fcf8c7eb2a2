// Test entry: a QApplication on the offscreen platform (the video window and the seek bar are
// widgets, and graph events arrive through the Qt event loop). "--make-clips" only generates
// the shared clips, for the CTest fixture.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstring>

#include "test_clips.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--make-clips") == 0) {
      clipsmith::testclips::MakeAllClips();
      return 0;
    }
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
