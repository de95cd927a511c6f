// How the effects cut a frame for the worker pool: chunks of about 64 KiB of output, small
// enough that a worker the system schedules late holds up a frame by very little, large
// enough that claiming one costs nothing next to its work. A frame of one chunk or less
// is never split, so instances of such frames need no worker threads at all.
#pragma once

#include <cstddef>

namespace qov::parallel {

#if defined(QOV_SPLIT_SMALL_FRAMES)
// The fuzz build cuts frames into chunks of a few pixels, so that the small frames it tries
// are split among the threads as a video frame is, and the fuzzers reach the worker pool.
inline constexpr std::size_t kChunkBytes = 256;
#else
inline constexpr std::size_t kChunkBytes = 64 * 1024;
#endif
// Pixels of one chunk of a pass over 4-byte pixels.
inline constexpr std::size_t kChunkPixels = kChunkBytes / 4;

// The most chunks a pass over a frame of this many pixels is cut into (at 4 bytes per pixel).
inline std::size_t frameChunks(std::size_t pixels) { return (pixels + kChunkPixels - 1) / kChunkPixels; }

// True when some pass over a frame of this many pixels can be split among threads: every
// pass cuts at least kChunkPixels pixels per chunk (the Strength mix cuts whole rows of
// 3- or 4-byte pixels, at least kChunkBytes of them or a single row).
inline bool framesCanSplit(std::size_t pixels) { return pixels > kChunkPixels; }

}  // namespace qov::parallel
