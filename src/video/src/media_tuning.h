// The media graph's tuning numbers, in one place with the reason for each. None of them changes
// which frames are shown or grabbed, only when the work is done and when the worker gives up on
// damaged data.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace clipsmith::media::tuning {

// Frames decoded ahead while paused or stopped. A step then only converts a frame that is
// already there, which keeps stepping (and so a conversion) quick; more would only hold memory,
// since a seek throws the look-ahead away.
inline constexpr std::size_t kIdleDecodeAhead = 2;

// Frames decoded ahead while playing, when the next frame is not yet due. A slow frame later on
// (a busy machine, a costly picture) is then already decoded when it is due.
inline constexpr std::size_t kPlayAhead = 6;

// Decoding one more frame ahead while playing is only started with at least this much time to
// spare before the next frame is due, so that the decode does not make that frame late.
inline constexpr std::chrono::milliseconds kPlayAheadSpare{2};

// A frame is shown late up to its own display duration, and never less than this: below it the
// eye does not notice, and a short-frame clip on a loaded machine would otherwise drop frames it
// could still show. Later than that, the frame is dropped and the clock goes on.
inline constexpr std::chrono::milliseconds kMinLatenessAllowance{20};

// Converted picture buffers kept for reuse: one each for the grabber and the renderer, one for a
// copy in progress, one spare. Buffers of another size are never kept.
inline constexpr std::size_t kSamplePoolSize = 4;

// A run of this many failed decodes with no good frame in between is taken as the end of the
// usable data.
inline constexpr int kMaxErrorRun = 2000;

// A run of this many packets with neither a frame nor a read position beyond any seen before is
// a demuxer going round in circles in damaged data: it is taken as the end of the file.
inline constexpr int kMaxStalledPackets = 10000;

// A seek that lands after its time (an inexact index) starts again this much further back,
// doubled at every attempt ...
inline constexpr std::int64_t kSeekBackoff = 10000000;  // 1 s in REFERENCE_TIME units
// ... and after this many attempts decodes from the start of the file, which always lands.
inline constexpr int kSeekAttemptsBeforeStart = 8;

// The duration is taken from the packets of the last seconds of the file, read with a second
// demuxer: enough for the last frames of any common GOP, little to read on a long file.
inline constexpr int kDurationScanSeconds = 10;

// The frame rate taken for a stream that states none.
inline constexpr int kFallbackFrameRate = 25;

}  // namespace clipsmith::media::tuning
