// Exceptions that escape an event handler of the video components (graph events, seek-bar
// ticks) end here instead of in the event loop. The program installs its general error report;
// until then the message goes to stderr.
#pragma once

#include <exception>
#include <functional>

namespace clipsmith {

using TExceptionReporter = std::function<void(std::exception_ptr)>;

// Returns the previous reporter.
TExceptionReporter SetExceptionReporter(TExceptionReporter reporter);
// Hands the exception to the installed reporter; never throws.
void ReportException(std::exception_ptr e) noexcept;

}  // namespace clipsmith
