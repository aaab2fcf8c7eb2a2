#include "gif/frame_store.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <unistd.h>

#include "graphics/stream.h"

namespace clipsmith {

// ---- TMemoryFrameStore ----

std::uint64_t TMemoryFrameStore::Append(std::span<const std::uint8_t> bytes) {
  const std::uint64_t at = FSize;
  FBlocks.emplace_back(bytes.begin(), bytes.end());
  FStarts.push_back(at);
  FSize += bytes.size();
  return at;
}

void TMemoryFrameStore::Read(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (out.empty()) return;
  if (offset > FSize || out.size() > FSize - offset) throw EReadError("Stream read error");
  // The block holding offset, then on through the following ones.
  auto it = std::upper_bound(FStarts.begin(), FStarts.end(), offset);
  std::size_t block = std::size_t(it - FStarts.begin()) - 1;
  std::size_t done = 0;
  std::uint64_t pos = offset;
  while (done < out.size()) {
    const std::vector<std::uint8_t>& b = FBlocks[block];
    const std::size_t from = std::size_t(pos - FStarts[block]);
    const std::size_t n = std::min(b.size() - from, out.size() - done);
    // An empty block (a frame with no bytes) has no storage to copy from.
    if (n != 0) std::memcpy(out.data() + done, b.data() + from, n);
    done += n;
    pos += n;
    ++block;
  }
}

// ---- TFileFrameStore ----

TFileFrameStore::TFileFrameStore(const std::string& folder) {
  const std::string dir = folder.empty() ? std::string(".") : folder;
#ifdef O_TMPFILE
  FFd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
  if (FFd < 0) {
    // No unnamed files there: a name no one else picks, removed as soon as it is open.
    std::random_device rd;
    for (int attempt = 0; attempt < 16 && FFd < 0; ++attempt) {
      std::string name = dir + "/.clipsmith-frames." + std::to_string(rd() & 0xFFFFFF) + ".tmp";
      FFd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (FFd >= 0) ::unlink(name.c_str());
      else if (errno != EEXIST) break;
    }
  }
  if (FFd < 0) throw EFOpenError("Cannot create file in \"" + dir + "\". " + std::strerror(errno));
}

TFileFrameStore::~TFileFrameStore() {
  if (FFd >= 0) ::close(FFd);
}

std::uint64_t TFileFrameStore::Append(std::span<const std::uint8_t> bytes) {
  const std::uint64_t at = FSize;
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::pwrite(FFd, bytes.data() + done, bytes.size() - done, off_t(at + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int err = n < 0 ? errno : ENOSPC;
      // A part written before the failure is overwritten by the next append.
      throw EWriteError(std::string("Stream write error. ") + std::strerror(err));
    }
    done += std::size_t(n);
  }
  FSize += bytes.size();
  return at;
}

void TFileFrameStore::Read(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (offset > FSize || out.size() > FSize - offset) throw EReadError("Stream read error");
  std::size_t done = 0;
  while (done < out.size()) {
    ssize_t n = ::pread(FFd, out.data() + done, out.size() - done, off_t(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw EReadError("Stream read error");
    done += std::size_t(n);
  }
}

std::shared_ptr<TFrameStore> MakeFrameStore(const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    try {
      return std::make_shared<TFileFrameStore>(folder);
    } catch (const EFOpenError&) {
      // The next folder, and memory at the end.
    }
  }
  return std::make_shared<TMemoryFrameStore>();
}

}  // namespace clipsmith
