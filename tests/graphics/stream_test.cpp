#include <gtest/gtest.h>

#include <filesystem>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "graphics/stream.h"

using namespace clipsmith;
namespace fs = std::filesystem;

TEST(MemoryStream, ReadWriteSeek) {
  TMemoryStream m;
  m.WriteBuffer("abcdef", 6);
  EXPECT_EQ(m.Position(), 6);
  EXPECT_EQ(m.Size(), 6);
  m.Seek(-2, TSeekOrigin::soEnd);
  char buf[4] = {};
  EXPECT_EQ(m.Read(buf, 4), 2u);
  EXPECT_EQ(std::string(buf, 2), "ef");
  m.SetPosition(1);
  m.WriteByte('X');
  EXPECT_EQ(std::string(m.Bytes().begin(), m.Bytes().end()), "aXcdef");
  m.SetPosition(5);
  EXPECT_THROW(m.ReadBuffer(buf, 2), EReadError);
  m.SetPosition(10);  // writing past the end fills the gap with zeros
  m.WriteByte('Z');
  EXPECT_EQ(m.Size(), 11);
  EXPECT_EQ(m.Bytes()[7], 0);
}

TEST(FileStream, CreateReadAndErrors) {
  fs::path dir = fs::temp_directory_path() / "clipsmith-stream-test";
  fs::create_directories(dir);
  std::string name = (dir / "a.bin").string();
  {
    TFileStream f(name, TFileMode::fmCreate);
    f.WriteBuffer("hello", 5);
    f.Close();
  }
  TFileStream r(name, TFileMode::fmOpenRead);
  EXPECT_EQ(r.Size(), 5);
  char buf[5];
  r.ReadBuffer(buf, 5);
  EXPECT_EQ(std::string(buf, 5), "hello");
  EXPECT_THROW(TFileStream((dir / "missing" / "x").string(), TFileMode::fmOpenRead), EFOpenError);
  EXPECT_THROW(TFileStream((dir / "missing" / "x").string(), TFileMode::fmCreate), EFOpenError);
  fs::remove_all(dir);
}

TEST(FileStream, AtomicWriteReplacesOrLeavesTheOldFile) {
  fs::path dir = fs::temp_directory_path() / "clipsmith-atomic-test";
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::string name = (dir / "t.dat").string();
  std::vector<std::uint8_t> one = {1, 2, 3};
  WriteFileAtomically(name, one);
  EXPECT_EQ(ReadWholeFile(name), one);
  std::vector<std::uint8_t> two = {4, 5};
  WriteFileAtomically(name, two);
  EXPECT_EQ(ReadWholeFile(name), two);
  // A target that is a folder cannot be replaced: the error is reported and no temporary file stays.
  fs::create_directories(dir / "sub");
  EXPECT_THROW(WriteFileAtomically((dir / "sub").string(), one), EStreamError);
  int files = 0;
  for (auto& e : fs::directory_iterator(dir)) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
  fs::remove_all(dir);
}

// A link at the target is replaced by the new file; where it pointed stays as it was.
TEST(FileStream, AtomicWriteReplacesALinkInsteadOfFollowingIt) {
  fs::path dir = fs::temp_directory_path() / "clipsmith-atomic-link-test";
  fs::remove_all(dir);
  fs::create_directories(dir);
  WriteFileAtomically((dir / "other").string(), std::vector<std::uint8_t>{7});
  fs::create_symlink(dir / "other", dir / "page");
  WriteFileAtomically((dir / "page").string(), std::vector<std::uint8_t>{1, 2});
  EXPECT_FALSE(fs::is_symlink(dir / "page"));
  EXPECT_EQ(ReadWholeFile((dir / "page").string()), (std::vector<std::uint8_t>{1, 2}));
  EXPECT_EQ(ReadWholeFile((dir / "other").string()), std::vector<std::uint8_t>{7});
  fs::remove_all(dir);
}

// A signal that ends the process while a temporary file is pending removes it first, and the
// process still ends by that signal (the status a shell reports as 128 + the signal).
TEST(FileStream, SignalsRemoveThePendingTemporaryFile) {
  fs::path dir = fs::temp_directory_path() / "clipsmith-signal-test";
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    const std::string temp = (dir / (".out.gif." + std::to_string(sig) + ".tmp")).string();
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      RemoveTemporaryFileOnSignals();
      detail::TPendingTemporaryFile pending(temp);
      std::FILE* f = std::fopen(temp.c_str(), "wb");
      if (!f) ::_exit(3);
      std::fclose(f);
      ::raise(sig);
      ::_exit(4);  // not reached
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << sig << " status " << status;
    EXPECT_EQ(WTERMSIG(status), sig);
    EXPECT_FALSE(fs::exists(temp)) << sig;
  }
  // Once the write is over nothing is pending: the file of a finished write stays.
  {
    const std::string kept = (dir / "kept").string();
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      RemoveTemporaryFileOnSignals();
      WriteFileAtomically(kept, std::vector<std::uint8_t>{1});
      ::raise(SIGTERM);
      ::_exit(4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_TRUE(fs::exists(kept));
    int entries = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(dir)) ++entries;
    EXPECT_EQ(entries, 1);
  }
  fs::remove_all(dir);
}
