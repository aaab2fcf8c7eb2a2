// Test entry: the program's application object on the offscreen platform, since the window's
// controls are widgets and the graph's events arrive through the Qt event loop. An exception
// that escapes an event handler fails the running test instead of opening the error dialog.
#include <gtest/gtest.h>

#include "app/error_report.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  clipsmith::TClipsmithApplication app(argc, argv);
  clipsmith::SetErrorSink([](std::exception_ptr e, const std::string& where) {
    const clipsmith::TErrorReport r = clipsmith::DescribeError(e, where);
    ADD_FAILURE() << "escaped an event handler (" << where << "): " << r.Type << ": " << r.Message;
  });
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
