// Arbitrary bytes as a video file: opening it, stepping through its frames, seeking into it and
// stepping on must end (every loop the data controls is capped) without a crash, whatever the
// container or codec FFmpeg takes it for.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "media_graph_internal.h"

extern "C" {
#include <libavutil/log.h>
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  av_log_set_level(AV_LOG_QUIET);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using clipsmith::media::TDecodedFrame;
  using clipsmith::media::TDecoder;
  // The decoder reads files by name, as the graph does.
  static const std::string path = "/tmp/clipsmith-media-fuzz-" + std::to_string(::getpid());
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
  } else {
    return 0;
  }
  try {
    std::unique_ptr<TDecoder> decoder;
    std::string info;
    if (TDecoder::Open(path, decoder, info) == clipsmith::S_OK) {
      // More frames than a seed has: the end must come from the decoder.
      TDecodedFrame f;
      for (int i = 0; i < 500 && decoder->Next(f); ++i) {
      }
      TDecodedFrame current;
      if (decoder->Seek(decoder->Duration() / 2, current))
        for (int i = 0; i < 5 && decoder->Next(f); ++i) {
        }
    }
  } catch (const std::bad_alloc&) {
  }
  ::unlink(path.c_str());
  return 0;
}
