// A small stream abstraction: memory and file streams with a position, a size, reads, writes
// and seeks. The GIF writer and reader and the settings store go through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace clipsmith {

class EStreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class EReadError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
 public:
  virtual ~TStream() = default;

  // Reads up to count bytes; returns how many were read (0 at the end).
  virtual std::size_t Read(void* buffer, std::size_t count) = 0;
  // Writes up to count bytes; returns how many were written.
  virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
  // Moves the position; returns the new position from the beginning.
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

  std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(std::int64_t pos) { Seek(pos, TSeekOrigin::soBeginning); }
  virtual std::int64_t Size();

  // Exactly count bytes or "Stream read error" / "Stream write error".
  void ReadBuffer(void* buffer, std::size_t count);
  void WriteBuffer(const void* buffer, std::size_t count);
  void WriteByte(std::uint8_t b) { WriteBuffer(&b, 1); }
  // Copies count bytes from source (all of it from its start when count is 0).
  std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<std::uint8_t> bytes) : FData(std::move(bytes)) {}

  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override { return std::int64_t(FData.size()); }

  void Clear() {
    FData.clear();
    FPosition = 0;
  }
  void SetSize(std::size_t size) { FData.resize(size); }
  // Room for size bytes without moving them again; pages not yet written cost no memory.
  void Reserve(std::size_t size) { FData.reserve(size); }
  std::span<const std::uint8_t> Memory() const { return FData; }
  const std::vector<std::uint8_t>& Bytes() const { return FData; }
  void SaveToFile(const std::string& fileName) const;
  void LoadFromFile(const std::string& fileName);

 private:
  std::vector<std::uint8_t> FData;
  std::size_t FPosition = 0;
};

enum class TFileMode { fmCreate, fmOpenRead, fmOpenReadWrite };

class TFileStream : public TStream {
 public:
  // fmCreate creates or truncates; fmOpenRead opens an existing file for reading.
  // A file that cannot be opened raises EFOpenError naming the file and the system's reason.
  TFileStream(const std::string& fileName, TFileMode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  // Pushes buffered bytes to the file; raises EWriteError when that fails.
  void Flush();
  // Flushes and closes; raises EWriteError when the data did not reach the file.
  void Close();
  const std::string& FileName() const { return FFileName; }

 private:
  std::string FFileName;
  std::FILE* FFile = nullptr;
};

// Whole-file helpers.
std::vector<std::uint8_t> ReadWholeFile(const std::string& fileName);
// Writes to a temporary file in the same folder and renames it over fileName only when every
// byte was written and synced, so a failure never leaves a damaged file behind.
// The temporary file is made new (never through a link) and the rename replaces a link at
// fileName rather than writing where it points.
void WriteFileAtomically(const std::string& fileName, std::span<const std::uint8_t> bytes);
// The same with the bytes that write puts into the stream it is given (buffered, written as they
// come). An exception from write removes the temporary file and goes on unchanged.
void WriteFileAtomically(const std::string& fileName, const std::function<void(TStream&)>& write);

// Whether both names lead to the same file (the same device and inode once links are
// followed); false when either does not exist.
bool IsSameFile(const std::string& a, const std::string& b);

// Removes the temporary file of the WriteFileAtomically in progress, if any; async-signal-safe.
void RemovePendingTemporaryFile() noexcept;
// Makes SIGINT, SIGTERM and SIGHUP remove that file, then end the process by the signal as its
// default action does (a shell reports 130, 143, 129).
void RemoveTemporaryFileOnSignals();

namespace detail {
// The pending temporary file while this lives (one at a time: the latest one counts).
class TPendingTemporaryFile {
 public:
  explicit TPendingTemporaryFile(const std::string& name) noexcept;
  ~TPendingTemporaryFile();
  TPendingTemporaryFile(const TPendingTemporaryFile&) = delete;
  TPendingTemporaryFile& operator=(const TPendingTemporaryFile&) = delete;
};
}  // namespace detail

}  // namespace clipsmith
