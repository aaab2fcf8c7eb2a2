// Showing a page in the user's browser: an ordered chain of ways to open it, each of which says
// whether it worked. The application puts its desktop URL opener in front; the library alone knows
// only external programs.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace clipsmith {

// One way of showing the page at an absolute path; true when the page is being shown.
using TOpenAttempt = std::function<bool(const std::string& path)>;

struct TBrowserOpener {
  std::vector<TOpenAttempt> Attempts;

  // Tries each attempt in order until one succeeds. An attempt that throws counts as failed.
  // Returns false when every attempt failed; nothing is reported beyond that.
  bool Open(const std::string& path) const;
};

// The chain without a desktop toolkit: `xdg-open` with the path, then the first browser found on
// the PATH with the page's file URL.
TBrowserOpener DefaultBrowserOpener();

// Opens the page with the opener's chain; a failure of the last attempt is silent.
void OpenInBrowser(const TBrowserOpener& opener, const std::string& path);

// Starts a program found through the PATH with the arguments (argv[0] first) and watches it for
// up to `settle`: an exit with status 0 within that time is success, any other exit or a program
// that cannot be started is failure, and one still running then (a browser showing the page) is
// success. It is reaped in the background later, so it never lingers as a zombie.
bool RunOpenerProgram(const std::vector<std::string>& argv,
                      std::chrono::milliseconds settle = std::chrono::milliseconds(2000));

// The first of the usual browser programs that is an executable file in a folder of $PATH, as a
// full path; empty when there is none.
std::string FindBrowserOnPath();

}  // namespace clipsmith
