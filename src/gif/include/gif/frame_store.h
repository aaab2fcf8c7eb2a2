// Where frames kept in their written form (their LZW image data) put those bytes: in memory, or
// in a temporary file that no one can open and that goes away with the process, so that a clip
// of any length costs disk rather than memory.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace clipsmith {

class TFrameStore {
 public:
  virtual ~TFrameStore() = default;
  // Keeps a copy of the bytes; returns where they are for Read.
  virtual std::uint64_t Append(std::span<const std::uint8_t> bytes) = 0;
  // Exactly out.size() bytes from offset; raises EReadError when they cannot be had.
  virtual void Read(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
  // Bytes appended so far.
  virtual std::uint64_t Size() const = 0;
};

class TMemoryFrameStore final : public TFrameStore {
 public:
  std::uint64_t Append(std::span<const std::uint8_t> bytes) override;
  void Read(std::uint64_t offset, std::span<std::uint8_t> out) override;
  std::uint64_t Size() const override { return FSize; }

 private:
  // One block per append: no large buffer is ever moved to grow.
  std::vector<std::vector<std::uint8_t>> FBlocks;
  std::vector<std::uint64_t> FStarts;
  std::uint64_t FSize = 0;
};

class TFileFrameStore final : public TFrameStore {
 public:
  // An unnamed file in folder (one made with a name that is removed at once where the file
  // system cannot make unnamed ones). Raises EFOpenError naming the folder when neither works.
  explicit TFileFrameStore(const std::string& folder);
  ~TFileFrameStore() override;
  TFileFrameStore(const TFileFrameStore&) = delete;
  TFileFrameStore& operator=(const TFileFrameStore&) = delete;

  // Raises EWriteError ("Stream write error", with the system's reason) when the disk is full.
  std::uint64_t Append(std::span<const std::uint8_t> bytes) override;
  void Read(std::uint64_t offset, std::span<std::uint8_t> out) override;
  std::uint64_t Size() const override { return FSize; }

 private:
  int FFd = -1;
  std::uint64_t FSize = 0;
};

// A file store in the first of the folders that takes one, else a memory store.
std::shared_ptr<TFrameStore> MakeFrameStore(const std::vector<std::string>& folders);

}  // namespace clipsmith
