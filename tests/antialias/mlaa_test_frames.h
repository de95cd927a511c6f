// Frames for the MLAA tests: a pixel buffer at a chosen misalignment, pixel access by (x, y),
// and the random and adversarial contents the tests draw from.
#pragma once

#include <cstdint>
#include <cstring>
#include <ostream>
#include <random>
#include <vector>

namespace qov::aa::testing {

inline constexpr uint32_t kColourMask = 0x00FFFFFFu;

inline uint32_t grey(uint32_t v) { return v | (v << 8) | (v << 16); }
inline uint32_t rgb(uint32_t b0, uint32_t b1, uint32_t b2) { return b0 | (b1 << 8) | (b2 << 16); }

// width x height words at `misalign` bytes past a 16-byte boundary.
class Frame {
 public:
  Frame(int width, int height, int misalign = 0, uint32_t fill = 0)
      : width_(width), height_(height), misalign_(misalign),
        storage_(static_cast<size_t>(width) * height * 4 + 32) {
    for (int i = 0; i < width * height; ++i) set(i, fill);
  }
  Frame(const Frame& other) : Frame(other.width_, other.height_, other.misalign_) {
    std::memcpy(data(), other.data(), bytes());
  }
  Frame& operator=(const Frame& other) {
    Frame copy(other);
    std::swap(width_, copy.width_);
    std::swap(height_, copy.height_);
    std::swap(misalign_, copy.misalign_);
    std::swap(storage_, copy.storage_);
    return *this;
  }

  int width() const { return width_; }
  int height() const { return height_; }
  size_t bytes() const { return static_cast<size_t>(width_) * height_ * 4; }
  uint8_t* data() { return base() + misalign_; }
  const uint8_t* data() const { return const_cast<Frame*>(this)->data(); }

  uint32_t at(int i) const {
    const uint8_t* p = data() + static_cast<size_t>(i) * 4;
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
  }
  uint32_t at(int x, int y) const { return at(y * width_ + x); }
  void set(int i, uint32_t v) {
    uint8_t* p = data() + static_cast<size_t>(i) * 4;
    for (int c = 0; c < 4; ++c) p[c] = static_cast<uint8_t>(v >> (8 * c));
  }
  void set(int x, int y, uint32_t v) { set(y * width_ + x, v); }
  void fillRect(int x0, int y0, int x1, int y1, uint32_t v) {  // [x0, x1) x [y0, y1)
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) set(x, y, v);
  }

  bool operator==(const Frame& o) const {
    return width_ == o.width_ && height_ == o.height_ &&
           std::memcmp(data(), o.data(), bytes()) == 0;
  }
  bool operator!=(const Frame& o) const { return !(*this == o); }

 private:
  uint8_t* base() {
    const auto addr = reinterpret_cast<uintptr_t>(storage_.data());
    return storage_.data() + ((16 - addr % 16) % 16);
  }

  int width_, height_, misalign_;
  std::vector<uint8_t> storage_;
};

// For failure messages: the size and a checksum, and the pixels of small frames.
inline void PrintTo(const Frame& f, std::ostream* os) {
  uint32_t sum = 0;
  for (int i = 0; i < f.width() * f.height(); ++i) sum = sum * 31u + f.at(i);
  *os << f.width() << "x" << f.height() << " checksum " << std::hex << sum;
  if (f.width() * f.height() <= 64)
    for (int i = 0; i < f.width() * f.height(); ++i)
      *os << (i % f.width() ? " " : "\n  ") << f.at(i);
  *os << std::dec;
}

// Every byte random (alpha cleared unless keepAlpha).
inline void fillNoise(Frame& f, std::mt19937& rng, bool keepAlpha = false) {
  for (int i = 0; i < f.width() * f.height(); ++i) {
    const uint32_t v = static_cast<uint32_t>(rng());
    f.set(i, keepAlpha ? v : v & kColourMask);
  }
}

// Overlapping rectangles from a small palette: long runs with all kinds of ends. `cell` is
// the grid the rectangles snap to.
inline void fillBlocks(Frame& f, std::mt19937& rng, int rects, int cell = 1) {
  const uint32_t palette[] = {grey(0),         grey(255),        rgb(200, 30, 90),
                              rgb(20, 220, 40), rgb(128, 128, 10), rgb(60, 70, 250)};
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
  f.fillRect(0, 0, f.width(), f.height(), palette[pick(6)]);
  const int cw = (f.width() + cell - 1) / cell, ch = (f.height() + cell - 1) / cell;
  for (int r = 0; r < rects; ++r) {
    const int x0 = pick(cw) * cell, y0 = pick(ch) * cell;
    const int x1 = x0 + (1 + pick(cw)) * cell, y1 = y0 + (1 + pick(ch)) * cell;
    f.fillRect(x0, y0, x1 < f.width() ? x1 : f.width(), y1 < f.height() ? y1 : f.height(),
               palette[pick(6)]);
  }
}

// A smooth ramp: neighbours differ by less than 16 in every byte, so there are no edges.
inline void fillRamp(Frame& f) {
  auto ramp = [](int v) { return static_cast<uint32_t>(v < 255 ? v : 255); };
  for (int y = 0; y < f.height(); ++y)
    for (int x = 0; x < f.width(); ++x)
      f.set(x, y, rgb(ramp(7 * x), ramp(5 * y), ramp(3 * (x + y))));
}

}  // namespace qov::aa::testing
