// The chain that shows the preview: attempts in order, each failure seen, the last one silent.
// No test here starts a real browser: programs are stand-in scripts on a private PATH.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <thread>

#include "gifbuild/browser_opener.h"
#include "gifbuild/html_preview.h"
#include "test_support.h"

using namespace clipsmith;
using namespace clipsmith::testing;
using namespace std::chrono_literals;

namespace {

void WriteScript(const std::string& path, const std::string& body) {
  WriteText(path, "#!/bin/sh\n" + body + "\n");
  ::chmod(path.c_str(), 0755);
}

}  // namespace

TEST(BrowserOpener, StopsAtTheFirstAttemptThatWorks) {
  std::vector<std::string> calls;
  auto attempt = [&calls](std::string name, bool result) {
    return [&calls, name, result](const std::string& path) {
      calls.push_back(name + ":" + path);
      return result;
    };
  };
  TBrowserOpener o;
  o.Attempts = {attempt("desktop", false), attempt("xdg", true), attempt("browser", true)};
  EXPECT_TRUE(o.Open("/tmp/p.html"));
  EXPECT_EQ(calls, (std::vector<std::string>{"desktop:/tmp/p.html", "xdg:/tmp/p.html"}));

  calls.clear();
  o.Attempts = {attempt("desktop", false),
                [&calls](const std::string&) -> bool {
                  calls.push_back("throws");
                  throw std::runtime_error("no display");
                },
                nullptr, attempt("browser", false)};
  EXPECT_FALSE(o.Open("/tmp/p.html"));
  EXPECT_EQ(calls, (std::vector<std::string>{"desktop:/tmp/p.html", "throws", "browser:/tmp/p.html"}));
  EXPECT_NO_THROW(OpenInBrowser(o, "/tmp/p.html"));

  EXPECT_FALSE(TBrowserOpener{}.Open("/tmp/p.html"));
}

TEST(RunOpenerProgram, TellsSuccessFromFailure) {
  ScratchDir dir;
  WriteScript(dir / "ok", "exit 0");
  WriteScript(dir / "fails", "exit 4");
  // Runs until the test opens its pipe for writing, which is after the call has returned.
  WriteScript(dir / "stays", "read line < \"$0.fifo\"; echo done > \"$0.out\"");
  ASSERT_EQ(::mkfifo((dir / "stays.fifo").c_str(), 0600), 0);
  WriteScript(dir / "dies", "kill -9 $$");
  EXPECT_TRUE(RunOpenerProgram({dir / "ok"}));
  EXPECT_FALSE(RunOpenerProgram({dir / "fails"}));
  EXPECT_FALSE(RunOpenerProgram({dir / "dies"}));
  EXPECT_FALSE(RunOpenerProgram({dir / "not-there"}));
  EXPECT_FALSE(RunOpenerProgram({}));

  // A program still running when the wait is over is taken as showing the page, and does not
  // hold the caller: this one cannot end before the pipe below is opened.
  EXPECT_TRUE(RunOpenerProgram({dir / "stays"}, 200ms));
  EXPECT_FALSE(std::filesystem::exists(dir / "stays.out"));
  int fd = ::open((dir / "stays.fifo").c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ::close(fd);
  // Collected by the library once it ends; the test only waits for it to have run.
  for (int i = 0; i < 1000 && !std::filesystem::exists(dir / "stays.out"); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(ReadText(dir / "stays.out"), "done\n");
}

TEST(RunOpenerProgram, PassesTheArgumentsAndClosesInput) {
  ScratchDir dir;
  WriteScript(dir / "record", "printf '%s|' \"$@\" > \"$0.args\"; cat > \"$0.stdin\"");
  EXPECT_TRUE(RunOpenerProgram({dir / "record", "/tmp/a b.html", "x"}));
  EXPECT_EQ(ReadText(dir / "record.args"), "/tmp/a b.html|x|");
  EXPECT_EQ(ReadText(dir / "record.stdin"), "");
}

// The library's own chain with stand-ins on the PATH: xdg-open first, then a browser.
TEST(DefaultBrowserOpener, TriesXdgOpenThenABrowserOnThePath) {
  ScratchDir bin;
  const std::string log = bin / "log";
  ScopedEnv path("PATH", bin.Path().string());
  const TBrowserOpener opener = DefaultBrowserOpener();

  // Nothing there: every attempt fails, quietly.
  EXPECT_FALSE(opener.Open("/tmp/GIF-Preview.html"));

  // xdg-open is there but finds no handler (its exit code 3); firefox takes the page's URL.
  WriteScript(bin / "xdg-open", "echo \"xdg-open $1\" >> '" + log + "'; exit 3");
  WriteScript(bin / "firefox", "echo \"firefox $1\" >> '" + log + "'; exit 0");
  EXPECT_TRUE(opener.Open("/tmp/a b/GIF-Preview.html"));
  EXPECT_EQ(ReadText(log),
            "xdg-open /tmp/a b/GIF-Preview.html\n"
            "firefox file:///tmp/a%20b/GIF-Preview.html\n");

  // xdg-open that works: no browser is started.
  std::filesystem::remove(log);
  WriteScript(bin / "xdg-open", "echo \"xdg-open $1\" >> '" + log + "'; exit 0");
  EXPECT_TRUE(opener.Open("/tmp/GIF-Preview.html"));
  EXPECT_EQ(ReadText(log), "xdg-open /tmp/GIF-Preview.html\n");

  // Both fail: false, no exception.
  std::filesystem::remove(log);
  WriteScript(bin / "xdg-open", "exit 4");
  WriteScript(bin / "firefox", "exit 1");
  EXPECT_FALSE(opener.Open("/tmp/GIF-Preview.html"));
}

TEST(FindBrowserOnPath, TakesTheFirstUsualBrowserThatIsAnExecutableFile) {
  ScratchDir a, b;
  ScopedEnv path("PATH", a.Path().string() + ":" + b.Path().string());
  EXPECT_EQ(FindBrowserOnPath(), "");
  WriteText(a / "firefox", "not executable");
  ::chmod((a / "firefox").c_str(), 0644);
  std::filesystem::create_directory(a / "chromium");  // a folder is no program
  EXPECT_EQ(FindBrowserOnPath(), "");
  WriteScript(b / "chromium", "exit 0");
  EXPECT_EQ(FindBrowserOnPath(), b / "chromium");
  WriteScript(b / "firefox", "exit 0");
  EXPECT_EQ(FindBrowserOnPath(), b / "firefox");  // earlier in the list of browsers
  WriteScript(a / "x-www-browser", "exit 0");
  EXPECT_EQ(FindBrowserOnPath(), a / "x-www-browser");
}
