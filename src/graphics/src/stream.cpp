#include "graphics/stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

namespace clipsmith {

std::int64_t TStream::Size() {
  std::int64_t pos = Position();
  std::int64_t end = Seek(0, TSeekOrigin::soEnd);
  SetPosition(pos);
  return end;
}

void TStream::ReadBuffer(void* buffer, std::size_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::size_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  std::vector<std::uint8_t> buf(std::size_t(std::min<std::int64_t>(count, 1 << 16)));
  std::int64_t left = count;
  while (left > 0) {
    auto n = std::size_t(std::min<std::int64_t>(left, std::int64_t(buf.size())));
    source.ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    left -= std::int64_t(n);
  }
  return count;
}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
  if (FPosition >= FData.size()) return 0;
  std::size_t n = std::min(count, FData.size() - FPosition);
  std::memcpy(buffer, FData.data() + FPosition, n);
  FPosition += n;
  return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
  if (count == 0) return 0;
  if (FPosition + count > FData.size()) FData.resize(FPosition + count);
  std::memcpy(FData.data() + FPosition, buffer, count);
  FPosition += count;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = origin == TSeekOrigin::soBeginning ? 0
                      : origin == TSeekOrigin::soCurrent ? std::int64_t(FPosition)
                                                         : std::int64_t(FData.size());
  std::int64_t pos = base + offset;
  if (pos < 0) pos = 0;
  FPosition = std::size_t(pos);
  return pos;
}

void TMemoryStream::SaveToFile(const std::string& fileName) const {
  TFileStream f(fileName, TFileMode::fmCreate);
  f.WriteBuffer(FData.data(), FData.size());
  f.Close();
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  FData = ReadWholeFile(fileName);
  FPosition = 0;
}

TFileStream::TFileStream(const std::string& fileName, TFileMode mode) : FFileName(fileName) {
  const char* m = mode == TFileMode::fmCreate ? "w+b" : mode == TFileMode::fmOpenRead ? "rb" : "r+b";
  FFile = std::fopen(fileName.c_str(), m);
  if (!FFile) {
    const char* what = mode == TFileMode::fmCreate ? "Cannot create file \"" : "Cannot open file \"";
    throw EFOpenError(std::string(what) + fileName + "\". " + std::strerror(errno));
  }
}

TFileStream::~TFileStream() {
  if (FFile) std::fclose(FFile);
}

std::size_t TFileStream::Read(void* buffer, std::size_t count) {
  return FFile ? std::fread(buffer, 1, count, FFile) : 0;
}

std::size_t TFileStream::Write(const void* buffer, std::size_t count) {
  return FFile ? std::fwrite(buffer, 1, count, FFile) : 0;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  if (!FFile) return 0;
  int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET : origin == TSeekOrigin::soCurrent ? SEEK_CUR : SEEK_END;
  if (!(origin == TSeekOrigin::soCurrent && offset == 0)) {
    if (fseeko(FFile, offset, whence) != 0) {
      // Positions before the start stay at the start, as memory streams do.
      fseeko(FFile, 0, SEEK_SET);
    }
  }
  return std::int64_t(ftello(FFile));
}

void TFileStream::Flush() {
  if (FFile && std::fflush(FFile) != 0) throw EWriteError("Stream write error");
}

void TFileStream::Close() {
  if (!FFile) return;
  bool ok = std::fflush(FFile) == 0;
  ok = (std::fclose(FFile) == 0) && ok;
  FFile = nullptr;
  if (!ok) throw EWriteError("Stream write error");
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& fileName) {
  TFileStream f(fileName, TFileMode::fmOpenRead);
  std::vector<std::uint8_t> out;
  std::uint8_t buf[1 << 16];
  for (;;) {
    std::size_t n = f.Read(buf, sizeof buf);
    if (n == 0) break;
    out.insert(out.end(), buf, buf + n);
  }
  return out;
}

namespace {

// Appends to an open file through its buffer; the position is the count written.
class TAppendFileStream final : public TStream {
 public:
  explicit TAppendFileStream(std::FILE* file) : FFile(file) {}
  std::size_t Read(void*, std::size_t) override { return 0; }
  std::size_t Write(const void* buffer, std::size_t count) override {
    const std::size_t n = std::fwrite(buffer, 1, count, FFile);
    FWritten += std::int64_t(n);
    return n;
  }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
    if (offset != 0 || origin == TSeekOrigin::soBeginning) throw EStreamError("Stream seek error");
    return FWritten;
  }

 private:
  std::FILE* FFile;
  std::int64_t FWritten = 0;
};

}  // namespace

void WriteFileAtomically(const std::string& fileName, std::span<const std::uint8_t> bytes) {
  WriteFileAtomically(fileName, [bytes](TStream& out) {
    if (!bytes.empty() && out.Write(bytes.data(), bytes.size()) != bytes.size()) throw EWriteError("Stream write error");
  });
}

void WriteFileAtomically(const std::string& fileName, const std::function<void(TStream&)>& write) {
  namespace fs = std::filesystem;
  fs::path target(fileName);
  fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::random_device rd;
  // Appended piece by piece: a literal put in front of a string makes GCC 12 at -O3 warn about
  // an overlapping copy that cannot happen (its bug 105651).
  std::string tempName = ".";
  tempName += target.filename().string();
  tempName += '.';
  tempName += std::to_string(rd() & 0xFFFFFF);
  tempName += ".tmp";
  fs::path temp = dir / tempName;
  detail::TPendingTemporaryFile pending(temp.string());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  std::FILE* f = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
  if (!f) {
    int err = errno;
    if (fd >= 0) {
      ::close(fd);
      ::unlink(temp.c_str());
    }
    throw EFOpenError("Cannot create file \"" + temp.string() + "\". " + std::strerror(err));
  }
  // Large writes go straight through; the encoder's many small ones are gathered.
  std::setvbuf(f, nullptr, _IOFBF, 1 << 16);
  bool ok = true;
  try {
    TAppendFileStream out(f);
    write(out);
  } catch (const EWriteError&) {
    ok = false;
  } catch (...) {
    std::fclose(f);
    std::error_code ec;
    fs::remove(temp, ec);
    throw;
  }
  ok = ok && std::fflush(f) == 0 && ::fsync(fileno(f)) == 0;
  ok = (std::fclose(f) == 0) && ok;
  std::error_code ec;
  if (ok) fs::rename(temp, target, ec);
  if (!ok || ec) {
    fs::remove(temp, ec);
    throw EWriteError("Stream write error");
  }
}

namespace {

// Written only outside signal handlers, read inside them: a fixed buffer and a lock-free flag.
char gPendingName[4096];
std::atomic<bool> gPending{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void RemoveAndDie(int sig) {
  RemovePendingTemporaryFile();
  // The handler was reset to the default action on entry; the signal is delivered once this
  // returns.
  ::raise(sig);
}

}  // namespace

namespace detail {

TPendingTemporaryFile::TPendingTemporaryFile(const std::string& name) noexcept {
  gPending = false;
  if (name.size() >= sizeof gPendingName) return;
  std::memcpy(gPendingName, name.c_str(), name.size() + 1);
  gPending = true;
}

TPendingTemporaryFile::~TPendingTemporaryFile() { gPending = false; }

}  // namespace detail

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  if (a.empty() || b.empty() || ::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void RemovePendingTemporaryFile() noexcept {
  if (gPending.exchange(false)) ::unlink(gPendingName);
}

void RemoveTemporaryFileOnSignals() {
  struct sigaction sa {};
  sa.sa_handler = RemoveAndDie;
  sa.sa_flags = SA_RESETHAND;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &sa, nullptr);
}

}  // namespace clipsmith
