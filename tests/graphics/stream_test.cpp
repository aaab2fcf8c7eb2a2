#include <gtest/gtest.h>

#include <filesystem>

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
