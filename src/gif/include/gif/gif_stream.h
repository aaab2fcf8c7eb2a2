// Stream adapters of the GIF codec: TGIFWriter cuts the compressed code stream into data
// sub-blocks; the reader's counterpart reads them back.
#pragma once

#include <array>
#include <cstdint>

#include "gif/gif_types.h"
#include "graphics/stream.h"

namespace clipsmith {

// Adapts another stream; reading, writing and seeking are refused unless a subclass allows them.
class TGIFStream : public TStream {
 public:
  TGIFStream(TGIFWarning onWarning, TStream& stream) : FOnWarning(std::move(onWarning)), FStream(stream) {}
  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override;

  TProgressEvent FOnProgress;

 protected:
  void Warning(TGIFSeverity severity, const std::string& msg);
  TGIFWarning FOnWarning;
  TStream& FStream;
};

class TGIFWriter final : public TGIFStream {
 public:
  TGIFWriter(TStream& stream, TGIFWarning onWarning = {}) : TGIFStream(std::move(onWarning), stream) {}
  // Writes the pending sub-block. Errors of the underlying stream during this last flush are
  // lost, so callers that care flush explicitly first.
  ~TGIFWriter() override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  void WriteByte(std::uint8_t value) {
    FBuffer[std::size_t(FBufferCount++)] = value;
    FNeedsFlush = true;
    if (FBufferCount == 256) FlushBuffer();
  }
  // Writes the pending data as one sub-block (nothing when none is pending).
  void FlushBuffer();

 private:
  std::array<std::uint8_t, 256> FBuffer{};
  int FBufferCount = 1;
  bool FNeedsFlush = false;
};

}  // namespace clipsmith
