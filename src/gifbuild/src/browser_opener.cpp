#include "gifbuild/browser_opener.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

#include "gifbuild/html_preview.h"

extern char** environ;

namespace clipsmith {

bool TBrowserOpener::Open(const std::string& path) const {
  for (const auto& attempt : Attempts) {
    if (!attempt) continue;
    try {
      if (attempt(path)) return true;
    } catch (...) {
      // A broken opener is one more failed attempt; the next one may still work.
    }
  }
  return false;
}

void OpenInBrowser(const TBrowserOpener& opener, const std::string& path) { (void)opener.Open(path); }

bool RunOpenerProgram(const std::vector<std::string>& argv, std::chrono::milliseconds settle) {
  if (argv.empty() || argv[0].empty()) return false;
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  // The opener must not read the program's input; its messages may go where ours go.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;

  const auto deadline = std::chrono::steady_clock::now() + settle;
  for (;;) {
    int status = 0;
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (done < 0 && errno != EINTR) {
      // Someone else reaped it (children ignored); it did start, which is all we can know.
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // Still running: a browser that opened in the foreground. Collect it whenever it ends.
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

std::string FindBrowserOnPath() {
  static const char* const browsers[] = {
      "x-www-browser", "firefox", "firefox-esr", "chromium", "chromium-browser", "google-chrome",
      "google-chrome-stable", "microsoft-edge", "brave-browser", "vivaldi", "opera", "epiphany-browser",
      "epiphany", "falkon", "konqueror", "midori",
  };
  const char* pathEnv = std::getenv("PATH");
  if (!pathEnv || !*pathEnv) return {};
  std::vector<std::string> folders;
  std::string path = pathEnv;
  std::size_t start = 0;
  for (;;) {
    std::size_t colon = path.find(':', start);
    std::string folder = path.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    folders.push_back(folder.empty() ? "." : folder);
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  for (const char* browser : browsers) {
    for (const auto& folder : folders) {
      std::string candidate = folder + "/" + browser;
      struct stat st {};
      if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
        return candidate;
    }
  }
  return {};
}

TBrowserOpener DefaultBrowserOpener() {
  TBrowserOpener opener;
  opener.Attempts.push_back([](const std::string& path) { return RunOpenerProgram({"xdg-open", path}); });
  opener.Attempts.push_back([](const std::string& path) {
    std::string browser = FindBrowserOnPath();
    return !browser.empty() && RunOpenerProgram({browser, FileUrl(path)});
  });
  return opener;
}

}  // namespace clipsmith
