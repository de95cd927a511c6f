// What the fuzz targets share: a reader that turns the fuzzer's bytes into values of the
// kinds a host passes (sizes, depths, indices, float bit patterns, frame contents), the
// frame sets a host may hand to code 16, and the checks that stop a run when the plug-in
// answers differently from its documented behaviour.
//
// Every target links one plug-in's objects directly and calls its plugMain in-process, so
// that coverage instrumentation sees the plug-in code.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "framework/boundary.h"

namespace qov::fuzz {

// Largest frame side the targets instantiate (larger sides only where the frame is
// refused or has no pixels); keeps every input fast.
inline constexpr uint32_t kMaxSide = 40;
// Bytes per pixel of the patterns that fill frame buffers.
inline constexpr uint32_t kBufferBytesPerPixel = 4;

// Stops the run with a message when the plug-in broke its documented behaviour.
#define QOV_FUZZ_CHECK(condition)                                                          \
  do {                                                                                     \
    if (!(condition)) {                                                                    \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);   \
      std::abort();                                                                        \
    }                                                                                      \
  } while (0)

// Reads the fuzzer's bytes front to back; an exhausted input reads as zeros.
class ByteReader {
 public:
  ByteReader(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool empty() const { return position_ >= size_; }
  uint8_t byte() { return empty() ? 0 : data_[position_++]; }
  uint16_t u16() { return static_cast<uint16_t>(byte() | (byte() << 8)); }
  uint32_t u32() { return uint32_t{u16()} | (uint32_t{u16()} << 16); }
  // 0 .. count-1, from one byte.
  uint32_t below(uint32_t count) { return count == 0 ? 0 : byte() % count; }
  bool flag() { return (byte() & 1) != 0; }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

inline FFMixed mixedUInt(uint32_t value) {
  FFMixed mixed;
  mixed.pointerValue = nullptr;
  mixed.uintValue = value;
  return mixed;
}

inline FFMixed mixedPointer(const void* address) {
  FFMixed mixed;
  mixed.pointerValue = const_cast<void*>(address);
  return mixed;
}

inline bool failed(FFMixed result) { return result.uintValue == FF_FAIL; }

inline uint32_t floatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

inline float bitsFloat(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// A float bit pattern: mostly values a fader or a careless host sends, sometimes any bits.
inline uint32_t pickFloatBits(ByteReader& in) {
  static constexpr uint32_t kSpecial[] = {
      0x00000000u,  // 0
      0x80000000u,  // -0
      0x3F000000u,  // 0.5: a switch is still off
      0x3F000001u,  // just above 0.5
      0x3F800000u,  // 1
      0x3F800001u,  // just above 1
      0xBF800000u,  // -1
      0x7F800000u,  // +inf
      0xFF800000u,  // -inf
      0x7FC00000u,  // quiet NaN
      0xFFC00001u,  // negative NaN with payload
      0x7F800001u,  // signalling NaN
      0x00000001u,  // smallest denormal
      0x7F7FFFFFu,  // largest float
      0x3E800000u,  // 0.25
      0x3F7FFFFFu,  // just below 1
  };
  constexpr uint32_t kCount = sizeof(kSpecial) / sizeof(kSpecial[0]);
  const uint32_t choice = in.below(2 * kCount);
  return choice < kCount ? kSpecial[choice] : in.u32();
}

// A parameter index: mostly in or just beyond the table, sometimes any value.
inline uint32_t pickIndex(ByteReader& in, uint32_t numParameters) {
  const uint8_t choice = in.byte();
  if (choice < 200) return choice % (numParameters + 2);
  if (choice < 240) return in.u32();
  return 0xFFFFFFFFu - (choice & 3);
}

// A frame format request: mostly small frames at the supported depths.
inline VideoInfo pickVideoInfo(ByteReader& in) {
  VideoInfo info{};
  const uint8_t sizeKind = in.byte();
  if (sizeKind < 224) {
    info.frameWidth = in.below(kMaxSide + 1);
    info.frameHeight = in.below(kMaxSide + 1);
  } else if (sizeKind < 240) {
    // A frame too large to address: refused, also where its byte count wraps 64 bits.
    static constexpr uint32_t kHugeSides[] = {0x80000000u, 0xFFFFFFFFu, 0x40000000u, 0x10000u};
    const uint32_t choice = in.below(8);
    info.frameWidth = choice < 4 ? kHugeSides[choice] : 0x10000u + in.u16();
    info.frameHeight = choice < 4 ? kHugeSides[in.below(4)] : 0x8000u + in.u16();
  } else {
    // Any width or height with the other zero: a frame of no pixels.
    const uint32_t side = in.u32();
    const bool wide = in.flag();
    info.frameWidth = wide ? side : 0;
    info.frameHeight = wide ? 0 : side;
  }
  static constexpr uint32_t kDepths[] = {FF_DEPTH_24, FF_DEPTH_32, FF_DEPTH_24, FF_DEPTH_32, FF_DEPTH_32,
                                         FF_DEPTH_16, 3u};
  constexpr uint32_t kDepthCount = sizeof(kDepths) / sizeof(kDepths[0]);
  const uint32_t depthChoice = in.below(kDepthCount + 1);
  info.bitDepth = depthChoice < kDepthCount ? kDepths[depthChoice] : in.u32();
  info.orientation = in.u32();
  return info;
}

// Whether instantiate must accept the format: a supported depth and a frame whose bytes
// (at 4 per pixel, the working images' size) fit int32. Either side alone at 2^29 or more
// is already too large with the other side at least 1, which keeps the product below 2^64.
inline bool acceptableFormat(const VideoInfo& info) {
  if (info.bitDepth != FF_DEPTH_24 && info.bitDepth != FF_DEPTH_32) return false;
  if (info.frameWidth == 0 || info.frameHeight == 0) return true;
  constexpr uint32_t kSideLimit = uint32_t{INT_MAX} / 4u;
  if (info.frameWidth > kSideLimit || info.frameHeight > kSideLimit) return false;
  return uint64_t{info.frameWidth} * info.frameHeight * 4u <= uint64_t{INT_MAX};
}

inline uint32_t bytesPerPixelOf(const VideoInfo& info) { return info.bitDepth == FF_DEPTH_32 ? 4u : 3u; }
inline std::size_t pixelsOf(const VideoInfo& info) { return std::size_t{info.frameWidth} * info.frameHeight; }

// Fills a buffer with one of a few kinds of content: noise (edges everywhere), one colour
// (no edges), or blocks of a fuzzer-chosen size (long runs of edge pixels).
inline void fillFrame(ByteReader& in, uint8_t* bytes, std::size_t count, uint32_t width) {
  const uint8_t kind = in.byte() % 3;
  if (count == 0) return;
  uint32_t state = in.u32() | 1u;
  auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  };
  if (kind == 0) {
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(next());
  } else if (kind == 1) {
    std::memset(bytes, in.byte(), count);
  } else {
    const std::size_t block = 1 + in.below(9);
    const std::size_t rowBytes = std::size_t{width == 0 ? 1 : width} * kBufferBytesPerPixel;
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t x = (i % rowBytes) / kBufferBytesPerPixel;
      const std::size_t y = i / rowBytes;
      bytes[i] = ((x / block + y / (block + 1)) & 1) ? 0xF0 : static_cast<uint8_t>(0x10 + (i & 3));
    }
  }
}

// Bytes after every host buffer that no call may touch.
inline constexpr std::size_t kTailBytes = 16;

// A host frame of `frameBytes` bytes (never a null address, also for frames of no pixels)
// followed by a tail.
struct HostFrame {
  std::vector<uint8_t> bytes;
  std::size_t frameBytes;

  HostFrame(ByteReader& in, std::size_t size, uint32_t width) : bytes(size + kTailBytes), frameBytes(size) {
    fillFrame(in, bytes.data(), bytes.size(), width);
  }
  uint8_t* data() { return bytes.data(); }
  bool tailEquals(const HostFrame& other) const {
    return std::memcmp(bytes.data() + frameBytes, other.bytes.data() + frameBytes, kTailBytes) == 0;
  }
};

// A frame set as a host may build it for code 16: any counts, slot pointers that are null
// or point into a small pool of slot records (so that slots repeat and the output may be
// an input), slot records with any fields, and pixel memory that is null, the slot's own
// buffer or another slot's buffer. Every buffer holds exactly what its slot declares
// (width x height x channels, the instance's size when both are 0), plus a tail that must
// stay untouched; a slot shares another's buffer only when that one is large enough. A
// declaration too large to allocate gets a buffer of kMaxBufferBytes, which the plug-in
// must then refuse to touch.
struct HostFrameSet {
  static constexpr uint32_t kPoolSize = 5;
  // Output slot i prefers pool record i + 3: apart from inputs 0 and 1 unless chosen so.
  static constexpr uint32_t kFirstOutputSlot = 3;
  static constexpr std::size_t kMaxBufferBytes = std::size_t{kMaxSide} * kMaxSide * 8;

  Qov_Multi multi{};
  ImageSlot pool[kPoolSize]{};
  std::vector<uint8_t> buffers[kPoolSize];
  std::size_t bufferBytes[kPoolSize] = {};  // the part of each buffer a plug-in may write
  VideoInfo instanceInfo{};

  HostFrameSet(ByteReader& in, const VideoInfo& info) : instanceInfo(info) {
    for (uint32_t i = 0; i < kPoolSize; ++i) {
      ImageSlot& slot = pool[i];
      slot.format = in.flag() ? kFormatInterleaved8 : in.u32();
      slot.channels = pickChannels(in, bytesPerPixelOf(info));
      pickDeclaredSize(in, info, slot);
      bufferBytes[i] = declaredBytes(slot);
      buffers[i].resize(bufferBytes[i] + kTailBytes);
      fillFrame(in, buffers[i].data(), buffers[i].size(), info.frameWidth);
      slot.data2 = nullptr;  // a host's own second buffer is never read
      slot.reserved1 = in.u32();
      slot.reserved2 = in.u32();
    }
    for (uint32_t i = 0; i < kPoolSize; ++i) {
      ImageSlot& slot = pool[i];
      const uint8_t dataKind = in.byte() % 8;
      const uint32_t other = in.below(kPoolSize);
      if (dataKind == 0) slot.data = nullptr;
      else if (dataKind == 1 && bufferBytes[other] >= bufferBytes[i]) slot.data = buffers[other].data();
      else slot.data = buffers[i].data();
    }
    multi.numInputs = pickCount(in);
    multi.numOutputs = pickCount(in);
    for (uint32_t i = 0; i < kMaxSlots; ++i) {
      multi.inputs[i] = pickSlot(in, i);
      multi.outputs[i] = pickSlot(in, i + kFirstOutputSlot);
    }
  }

  // Whether code 16 must succeed for this set on the plug-in named `plugin`.
  bool mustSucceed(const std::string& plugin) const {
    if (multi.numInputs == 0 || multi.numOutputs == 0 || multi.numInputs > kMaxSlots ||
        multi.numOutputs > kMaxSlots)
      return false;
    if (!hasPixels(multi.inputs[0]) || !hasPixels(multi.outputs[0])) return false;
    const ImageSlot& first = *multi.inputs[0];
    const ImageSlot& output = *multi.outputs[0];
    if (output.channels != first.channels || !declaresInstanceSize(first) || !declaresInstanceSize(output))
      return false;
    if (plugin == "QovMLAA1") return first.channels == 3 || first.channels == 4;
    if (plugin == "QovMISetMatte1" && first.channels == 4 && multi.numInputs >= 2) {
      const ImageSlot* second = multi.inputs[1];
      return hasPixels(second) && second->channels >= 4 && declaresInstanceSize(*second);
    }
    return true;
  }

  static bool hasPixels(const ImageSlot* slot) { return slot != nullptr && slot->data != nullptr; }

  // Buffers as they are now, to compare after a call.
  std::vector<std::vector<uint8_t>> snapshot() const {
    return std::vector<std::vector<uint8_t>>(std::begin(buffers), std::end(buffers));
  }

  // After a call: nothing but the frame bytes of the output buffer (after a success) has
  // changed, and the slot records are as the host made them.
  void checkWrites(const std::vector<std::vector<uint8_t>>& before, const ImageSlot (&poolBefore)[kPoolSize],
                   bool succeeded) const {
    const uint8_t* output = succeeded ? multi.outputs[0]->data : nullptr;
    for (uint32_t i = 0; i < kPoolSize; ++i) {
      const std::vector<uint8_t>& now = buffers[i];
      if (now.data() == output) {
        const std::size_t end = bufferBytes[i];
        QOV_FUZZ_CHECK(std::memcmp(now.data() + end, before[i].data() + end, kTailBytes) == 0);
      } else {
        QOV_FUZZ_CHECK(now == before[i]);
      }
      QOV_FUZZ_CHECK(std::memcmp(&pool[i], &poolBefore[i], sizeof(ImageSlot)) == 0);
    }
  }

 private:
  bool declaresInstanceSize(const ImageSlot& slot) const {
    return (slot.width == 0 && slot.height == 0) ||
           (slot.width == instanceInfo.frameWidth && slot.height == instanceInfo.frameHeight);
  }

  // The bytes a slot's declaration promises, up to kMaxBufferBytes.
  std::size_t declaredBytes(const ImageSlot& slot) const {
    const bool unset = slot.width == 0 && slot.height == 0;
    const uint64_t width = unset ? instanceInfo.frameWidth : slot.width;
    const uint64_t height = unset ? instanceInfo.frameHeight : slot.height;
    if (width > kMaxBufferBytes || height > kMaxBufferBytes || slot.channels > kMaxBufferBytes)
      return kMaxBufferBytes;
    const uint64_t bytes = width * height * slot.channels;  // each factor below 2^16: no wrap
    return bytes > kMaxBufferBytes ? kMaxBufferBytes : static_cast<std::size_t>(bytes);
  }

  // Mostly the instance's size; sometimes unset (0 x 0), a small size of its own, one side
  // 0, or any values.
  static void pickDeclaredSize(ByteReader& in, const VideoInfo& info, ImageSlot& slot) {
    const uint8_t choice = in.byte();
    if (choice < 128) {
      slot.width = info.frameWidth;
      slot.height = info.frameHeight;
    } else if (choice < 160) {
      slot.width = slot.height = 0;
    } else if (choice < 224) {
      slot.width = in.below(kMaxSide + 1);
      slot.height = (choice & 1) ? info.frameHeight : in.below(kMaxSide + 1);
    } else {
      slot.width = in.u32();
      slot.height = in.u32();
    }
  }

  static uint32_t pickChannels(ByteReader& in, uint32_t bytesPerPixel) {
    const uint8_t choice = in.byte();
    if (choice < 160) return bytesPerPixel;
    if (choice < 240) return choice % 6;
    return in.u32();
  }

  static uint32_t pickCount(ByteReader& in) {
    const uint8_t choice = in.byte();
    if (choice < 192) return 1 + choice % 3;
    if (choice < 240) return choice % (kMaxSlots + 2);
    return in.u32();
  }

  ImageSlot* pickSlot(ByteReader& in, uint32_t preferred) {
    const uint8_t choice = in.byte();
    if (choice < 16) return nullptr;
    if (choice < 160) return &pool[preferred % kPoolSize];
    return &pool[choice % kPoolSize];
  }
};

}  // namespace qov::fuzz
