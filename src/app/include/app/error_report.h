// What the program does with an exception that escapes an event handler: an error dialog with
// the message and the details (its type, where it arose), from which a report file can be
// saved. The program keeps running afterwards.
#pragma once

#include <QApplication>
#include <QDialog>
#include <exception>
#include <functional>
#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace clipsmith {

struct TErrorReport {
  std::string Message;  // what() of the exception, or a fixed text for other throws
  std::string Type;     // the exception's class, demangled
  std::string Where;    // the event or handler it escaped from
  std::string Time;     // when, UTC, ISO 8601
};

// Describes the exception; Where as given.
TErrorReport DescribeError(std::exception_ptr error, const std::string& where);
// The report file's text: program and version, time, where, type, message, the Qt version and
// the platform.
std::string ErrorReportText(const TErrorReport& report);

class TErrorDialog : public QDialog {
 public:
  explicit TErrorDialog(const TErrorReport& report, QWidget* owner = nullptr);

  QLabel* LabelMessage;
  QPlainTextEdit* MemoDetails;
  QPushButton* BtnSave;
  QPushButton* BtnOK;

  // Asks for a file name (AskSaveName, the file dialog by default) and writes the report
  // there; false when nothing was written (cancelled, or the file could not be written; the
  // latter is told in a box).
  bool SaveReport();
  std::function<QString(const QString& suggested)> AskSaveName;

  const TErrorReport& Report() const { return FReport; }

 private:
  TErrorReport FReport;
};

// Shows the error dialog modally over the active window (or none).
void ShowErrorDialog(std::exception_ptr error, const std::string& where);
// Where errors go; ShowErrorDialog by default, replaceable for tests.
using TErrorSink = std::function<void(std::exception_ptr, const std::string& where)>;
TErrorSink SetErrorSink(TErrorSink sink);
void ReportError(std::exception_ptr error, const std::string& where) noexcept;

// The application object: every event goes through notify, so an exception escaping any event
// handler ends in the error dialog instead of ending the program.
class TClipsmithApplication : public QApplication {
 public:
  TClipsmithApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace clipsmith
