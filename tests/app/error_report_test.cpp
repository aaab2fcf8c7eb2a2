// The general error reporting: what the dialog says, the report file, and that an exception
// escaping an event handler reaches it while the program goes on.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <fstream>
#include <sstream>

#include "app/conversion_job.h"
#include "app/error_report.h"
#include "app_test_support.h"
#include "controls/image_button.h"

using namespace clipsmith;
using namespace clipsmith::apptest;

namespace {

struct TCustomThrow {};

// Records what reaches the error reporting while it lives.
struct TSinkSpy {
  std::vector<TErrorReport> Reports;
  TErrorSink Old;
  TSinkSpy() {
    Old = SetErrorSink([this](std::exception_ptr e, const std::string& where) { Reports.push_back(DescribeError(e, where)); });
  }
  ~TSinkSpy() { SetErrorSink(std::move(Old)); }
};

}  // namespace

TEST(ErrorReport, DescribesMessageTypeAndPlace) {
  struct TCase {
    std::exception_ptr Error;
    const char* Message;
    const char* Type;
  };
  const TCase cases[] = {
      {std::make_exception_ptr(EConvertError("'' is not a valid integer value")), "'' is not a valid integer value",
       "clipsmith::EConvertError"},
      {std::make_exception_ptr(std::runtime_error("disk full")), "disk full", "std::runtime_error"},
      {std::make_exception_ptr(TCustomThrow{}), "An error of an unknown kind occurred.", "(anonymous namespace)::TCustomThrow"},
      {std::make_exception_ptr(42), "An error of an unknown kind occurred.", "int"},
  };
  for (const TCase& c : cases) {
    const TErrorReport r = DescribeError(c.Error, "TFormMain.BtnMakeGIFClick");
    EXPECT_EQ(r.Message, c.Message);
    EXPECT_EQ(r.Type, c.Type);
    EXPECT_EQ(r.Where, "TFormMain.BtnMakeGIFClick");
    EXPECT_FALSE(r.Time.empty());
    const std::string text = ErrorReportText(r);
    for (const std::string& line : std::vector<std::string>{"Clipsmith 4.0 error report", "Where: TFormMain.BtnMakeGIFClick",
                                                            "Type: " + std::string(c.Type),
                                                            "Message: " + std::string(c.Message)})
      EXPECT_NE(text.find(line + "\n"), std::string::npos) << line;
  }
}

TEST(ErrorReport, DialogShowsTheMessageAndSavesTheReport) {
  const TErrorReport r = DescribeError(std::make_exception_ptr(std::runtime_error("codec failed")), "TFormMain.X");
  TErrorDialog d(r);
  EXPECT_EQ(d.windowTitle().toStdString(), "Error");
  EXPECT_EQ(d.LabelMessage->text().toStdString(), "codec failed");
  EXPECT_EQ(d.MemoDetails->toPlainText().toStdString(), ErrorReportText(r));

  TScratchDir dir("error-report");
  const std::string path = dir / "report.txt";
  d.AskSaveName = [&](const QString& suggested) {
    EXPECT_TRUE(suggested.endsWith("clipsmith-error-report.txt"));
    return QString::fromStdString(path);
  };
  d.BtnSave->click();
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), ErrorReportText(r));
  // Cancelled: nothing written.
  d.AskSaveName = [](const QString&) { return QString(); };
  EXPECT_FALSE(d.SaveReport());
}

// A click handler that throws: the report names the error and the receiver, and the next click
// is handled as usual.
TEST(ErrorReport, ExceptionEscapingAHandlerIsReportedAndTheProgramGoesOn) {
  TSinkSpy spy;
  TSkImgBtn button;
  button.setObjectName("BtnBroken");
  button.resize(40, 40);
  int clicks = 0;
  button.OnClick = [&](TSkImgBtn*) {
    if (++clicks == 1) throw std::runtime_error("first click fails");
  };
  button.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
  QTest::mouseClick(&button, Qt::LeftButton);
  ASSERT_EQ(spy.Reports.size(), 1u);
  EXPECT_EQ(spy.Reports[0].Message, "first click fails");
  EXPECT_EQ(spy.Reports[0].Type, "std::runtime_error");
  EXPECT_NE(spy.Reports[0].Where.find("BtnBroken"), std::string::npos) << spy.Reports[0].Where;
  QTest::mouseClick(&button, Qt::LeftButton);
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(spy.Reports.size(), 1u);
}
