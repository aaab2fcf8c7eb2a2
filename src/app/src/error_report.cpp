#include "app/error_report.h"
#include "app/version.h"

#include <cxxabi.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QSysInfo>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <typeinfo>

namespace clipsmith {

namespace {

std::string Demangle(const std::type_info* type) {
  if (!type) return "unknown";
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> name(abi::__cxa_demangle(type->name(), nullptr, nullptr, &status), std::free);
  return status == 0 && name ? std::string(name.get()) : std::string(type->name());
}

TErrorSink& Sink() {
  static TErrorSink sink = [](std::exception_ptr e, const std::string& where) { ShowErrorDialog(e, where); };
  return sink;
}

}  // namespace

TErrorReport DescribeError(std::exception_ptr error, const std::string& where) {
  TErrorReport r;
  r.Where = where;
  r.Time = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    r.Message = e.what();
    r.Type = Demangle(abi::__cxa_current_exception_type());
  } catch (...) {
    r.Message = "An error of an unknown kind occurred.";
    r.Type = Demangle(abi::__cxa_current_exception_type());
  }
  return r;
}

std::string ErrorReportText(const TErrorReport& report) {
  std::string t;
  t += "Clipsmith " CLIPSMITH_VERSION " error report\n";
  t += "Time: " + report.Time + "\n";
  t += "Where: " + report.Where + "\n";
  t += "Type: " + report.Type + "\n";
  t += "Message: " + report.Message + "\n";
  t += "Qt: " + std::string(qVersion()) + "\n";
  t += "System: " + QSysInfo::prettyProductName().toStdString() + " (" + QSysInfo::currentCpuArchitecture().toStdString() +
       ")\n";
  return t;
}

TErrorDialog::TErrorDialog(const TErrorReport& report, QWidget* owner) : QDialog(owner), FReport(report) {
  setObjectName("ErrorDialog");
  setWindowTitle("Error");
  setMinimumWidth(460);

  auto* icon = new QLabel(this);
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
  LabelMessage = new QLabel(QString::fromStdString(report.Message), this);
  LabelMessage->setObjectName("LabelMessage");
  LabelMessage->setWordWrap(true);
  LabelMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* note = new QLabel("Clipsmith keeps running; what you were doing was not finished.", this);
  note->setWordWrap(true);
  MemoDetails = new QPlainTextEdit(QString::fromStdString(ErrorReportText(report)), this);
  MemoDetails->setObjectName("MemoDetails");
  MemoDetails->setReadOnly(true);
  MemoDetails->setMinimumHeight(120);
  BtnSave = new QPushButton("Save Report...", this);
  BtnSave->setObjectName("BtnSave");
  BtnOK = new QPushButton("OK", this);
  BtnOK->setObjectName("BtnOK");
  BtnOK->setDefault(true);

  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  auto* texts = new QVBoxLayout;
  texts->addWidget(LabelMessage);
  texts->addWidget(note);
  top->addLayout(texts, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(BtnSave);
  buttons->addWidget(BtnOK);
  auto* all = new QVBoxLayout(this);
  all->addLayout(top);
  all->addWidget(new QLabel("Details:", this));
  all->addWidget(MemoDetails, 1);
  all->addLayout(buttons);

  AskSaveName = [this](const QString& suggested) {
    return QFileDialog::getSaveFileName(this, "Save Error Report", suggested, "Text files (*.txt);;All files (*)");
  };
  QObject::connect(BtnSave, &QPushButton::clicked, this, [this] { SaveReport(); });
  QObject::connect(BtnOK, &QPushButton::clicked, this, &QDialog::accept);
}

bool TErrorDialog::SaveReport() {
  const QString suggested = QDir::home().filePath("clipsmith-error-report.txt");
  const QString name = AskSaveName ? AskSaveName(suggested) : QString();
  if (name.isEmpty()) return false;
  QFile file(name);
  const QByteArray text = QByteArray::fromStdString(ErrorReportText(FReport));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size() || !file.flush()) {
    QMessageBox::critical(this, "Error", "The report could not be written to \"" + name + "\": " + file.errorString());
    return false;
  }
  return true;
}

void ShowErrorDialog(std::exception_ptr error, const std::string& where) {
  const TErrorReport report = DescribeError(error, where);
  std::fprintf(stderr, "clipsmith: %s (%s, in %s)\n", report.Message.c_str(), report.Type.c_str(), report.Where.c_str());
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
  TErrorDialog dialog(report, QApplication::activeWindow());
  dialog.exec();
}

TErrorSink SetErrorSink(TErrorSink sink) {
  TErrorSink old = std::move(Sink());
  Sink() = std::move(sink);
  return old;
}

void ReportError(std::exception_ptr error, const std::string& where) noexcept {
  // The report itself must not throw out of the handler that called it.
  try {
    if (Sink()) Sink()(error, where);
  } catch (...) {
    std::fputs("clipsmith: an error occurred while reporting an error\n", stderr);
  }
}

TClipsmithApplication::TClipsmithApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TClipsmithApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    std::string where = "event " + std::to_string(int(event->type())) + " to ";
    where += receiver ? receiver->metaObject()->className() : "?";
    if (receiver && !receiver->objectName().isEmpty()) where += " " + receiver->objectName().toStdString();
    ReportError(std::current_exception(), where);
    return false;
  }
}

}  // namespace clipsmith
