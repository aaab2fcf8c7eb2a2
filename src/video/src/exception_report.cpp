#include "video/exception_report.h"

#include <cstdio>
#include <mutex>
#include <stdexcept>

namespace clipsmith {

namespace {
std::mutex gLock;
TExceptionReporter gReporter;
}  // namespace

TExceptionReporter SetExceptionReporter(TExceptionReporter reporter) {
  std::lock_guard lk(gLock);
  std::swap(gReporter, reporter);
  return reporter;
}

void ReportException(std::exception_ptr e) noexcept {
  TExceptionReporter reporter;
  {
    std::lock_guard lk(gLock);
    reporter = gReporter;
  }
  try {
    if (reporter) {
      reporter(e);
      return;
    }
    std::rethrow_exception(e);
  } catch (const std::exception& ex) {
    std::fprintf(stderr, "clipsmith: %s\n", ex.what());
  } catch (...) {
    std::fprintf(stderr, "clipsmith: unknown error\n");
  }
}

}  // namespace clipsmith
