// Plain transcription of MLAA for differential tests.
#include "tests/antialias/mlaa_reference.h"

#include <algorithm>
#include <cstdlib>

namespace qov::test {
namespace {

constexpr uint32_t kBelow = 0x80000000u;
constexpr uint32_t kRight = 0x40000000u;
constexpr uint32_t kUseHalf = 0x08u;
constexpr uint32_t kVisualize = 0x10u;
constexpr uint32_t kThinLines = 0x40u;

int byteOf(uint32_t word, int c) { return static_cast<int>((word >> (8 * c)) & 0xFFu); }

bool differ(uint32_t a, uint32_t b) {
  for (int c = 0; c < 4; ++c)
    if (std::abs(byteOf(a, c) - byteOf(b, c)) >= 16) return true;
  return false;
}

int colourSum(uint32_t word) { return byteOf(word, 0) + byteOf(word, 1) + byteOf(word, 2); }

uint32_t withBytes(const int bytes[3]) {
  return 0xFF000000u | static_cast<uint32_t>(bytes[0] & 0xFF) | static_cast<uint32_t>(bytes[1] & 0xFF) << 8 |
         static_cast<uint32_t>(bytes[2] & 0xFF) << 16;
}

uint32_t mix(uint32_t p, uint32_t q, float w) {
  int out[3];
  for (int c = 2; c >= 0; --c) {
    const float oneMinus = 1.0f - w;
    const float pw = static_cast<float>(byteOf(p, c)) * w;
    const float qw = static_cast<float>(byteOf(q, c)) * oneMinus;
    out[c] = static_cast<int>(pw + qw);
  }
  return withBytes(out);
}

struct Frame {
  std::vector<uint32_t>& image;
  const std::vector<uint32_t>& edges;
  int width, height;
  long size() const { return long{width} * height; }
  uint32_t edge(long i) const { return (i >= size() || i < 0) ? 0u : edges[static_cast<std::size_t>(i)]; }
  uint32_t& pixel(long i) { return image[static_cast<std::size_t>(i)]; }
};

struct Pass {
  long lineStride, along;
  uint32_t passBit, orthoBit;
  int lines;       // N: rows or columns
  int lineLength;  // pixels per line
  long firstPixel(int line) const { return along == 1 ? line * lineStride : line; }
};

void blendRun(Frame& f, long a, long b, float h0, float h1, long s, long across, bool sameSide) {
  const long off = across < 0 ? -across : 0;
  const long a2 = a + off, b2 = b + off;
  const float r0 = (1.0f - h0) * 2.0f * static_cast<float>(s) / static_cast<float>(b - a + s);
  const float r1 = (1.0f - h1) * 2.0f * static_cast<float>(s) / static_cast<float>(b - a + s);
  const long mid = (a2 + b2) / 2;
  float t = 0.5f * r0 + h0;
  long j = a2;
  do {
    f.pixel(j) = mix(f.pixel(j), f.pixel(j + across), t);
    t += r0;
    j += s;
  } while (j < mid);
  float w0;
  if (j == mid) {
    const float s0 = r0 * 0.125f;
    const uint32_t p = f.pixel(j), q = f.pixel(j + across);
    int out[3];
    for (int c = 2; c >= 0; --c) {
      const float a1 = static_cast<float>(byteOf(p, c)) * (1.0f - s0);
      const float a3 = static_cast<float>(byteOf(q, c)) * s0;
      out[c] = static_cast<int>(a1 + a3);
    }
    f.pixel(j) = withBytes(out);
    if (!sameSide) f.pixel(j + across) = mix(f.pixel(j), f.pixel(j + across), r1 * 0.125f);
    j += s;
    w0 = r1;
  } else {
    w0 = 0.5f * r1;
  }
  float w = sameSide ? 1.0f - w0 : w0;
  const float delta = sameSide ? -r1 : r1;
  do {
    const uint32_t v = mix(f.pixel(j), f.pixel(j + across), w);
    if (sameSide)
      f.pixel(j) = v;
    else
      f.pixel(j + across) = v;
    w += delta;
    j += s;
  } while (j <= b2);
}

struct End {
  bool found = false;
  long point = 0;
  float height = 0.5f;
};

float quotient(long num, long den) {
  if (den == 0) return -1.0f;
  return static_cast<float>(num) / static_cast<float>(den);
}

void handleRun(Frame& f, const Pass& pass, long start, long end, long lineFirst, long prevLineOffset, uint32_t flags) {
  const long s = pass.along, ls = pass.lineStride;
  long len = (end - start) / s + 1;
  if (len == 1) {
    f.pixel(start) = mix(f.pixel(start), f.pixel(start + ls), 0.875f);
    f.pixel(start + ls) = mix(f.pixel(start), f.pixel(start + ls), 0.125f);
    return;
  }
  if (start == lineFirst) {
    start += s;
    len -= 1;
  }
  if (flags & kThinLines) {
    for (long x = start - s; x <= end; x += s) {
      if (!(f.edge(x + prevLineOffset) & pass.passBit)) continue;
      const uint32_t a = f.pixel(x + prevLineOffset), b = f.pixel(x + ls), p = f.pixel(x);
      int out[3];
      for (int c = 2; c >= 0; --c) {
        const float sum = static_cast<float>(byteOf(a, c)) + static_cast<float>(byteOf(b, c));
        out[c] = static_cast<int>(sum * 0.25f + static_cast<float>(byteOf(p, c)) * 0.5f);
      }
      f.pixel(x) = withBytes(out);
    }
  }
  const uint32_t ortho = pass.orthoBit, passBit = pass.passBit;
  End ends[5];
  long completed[5] = {0, len, 0, len, 0};

  // Searches 1 and 3: from the start.
  for (int search : {1, 3}) {
    End& e = ends[search];
    bool fallback = false;
    long fallbackPoint = 0;
    long k = 1;
    for (;; ++k) {
      const long o = start + (k - 2) * s, i = o + s;
      const uint32_t po = f.edge(o), pi = f.edge(i), uo = f.edge(o + prevLineOffset), ni = f.edge(i + ls),
                     no = f.edge(o + ls), n2o = f.edge(o + 2 * ls);
      const bool firstTest = search == 1 ? (po & ortho) != 0 : (no & ortho) != 0;
      const bool candidate = search == 1 ? (po & ortho) && (uo & passBit) : (no & ortho) && (no & passBit);
      if (firstTest && !fallback) {
        fallback = true;
        fallbackPoint = i;
      }
      if (candidate) {
        const long m = len - k + 1;
        float q;
        if (search == 1) {
          const long x = (colourSum(pi) - colourSum(ni)) - (colourSum(uo) - colourSum(po));
          q = quotient(m * (colourSum(uo) - colourSum(ni)) + x,
                       m * (colourSum(pi) - colourSum(ni) + colourSum(uo) - colourSum(po)) + x);
        } else if (o + 2 * ls >= f.size()) {
          q = 0.5f;
        } else {
          const long x = (colourSum(ni) - colourSum(pi)) - (colourSum(n2o) - colourSum(no));
          q = quotient(m * (colourSum(n2o) - colourSum(pi)) + x,
                       m * (colourSum(ni) - colourSum(pi) + colourSum(n2o) - colourSum(no)) + x);
        }
        if (q > 0.0f && q < 1.0f) {
          e = {true, i, q};
          completed[search] = k - 1;
          break;
        }
      }
      if (!(i < end)) break;
    }
    if (!e.found && fallback) e = {true, fallbackPoint, 0.5f};
  }

  // Searches 2 and 4: from the end.
  const bool preset = end + s >= f.size();
  const long eStart = preset ? end - s : end;
  for (int search : {2, 4}) {
    End& e = ends[search];
    bool fallback = false;
    long fallbackPoint = 0;
    if (preset && (f.edge(end) & ortho)) {
      fallback = true;
      fallbackPoint = end;
    }
    const long kBefore = search == 2 ? completed[1] : completed[3];
    for (long k = 1;; ++k) {
      const long i = eStart - (k - 1) * s, o = i + s;
      const uint32_t po = f.edge(o), pi = f.edge(i), uo = f.edge(o + prevLineOffset), ni = f.edge(i + ls),
                     no = f.edge(o + ls), n2o = f.edge(o + 2 * ls);
      const bool firstTest = search == 2 ? (pi & ortho) != 0 : (ni & ortho) != 0;
      const bool candidate = search == 2 ? (pi & ortho) && (uo & passBit) : (ni & ortho) && (no & ortho);
      if (firstTest && !fallback) {
        fallback = true;
        fallbackPoint = i;
      }
      if (candidate) {
        const long m = -(kBefore + k - 1);
        float q;
        if (search == 2) {
          const long x = (colourSum(pi) - colourSum(ni)) - (colourSum(uo) - colourSum(po));
          q = quotient(m * (colourSum(uo) - colourSum(ni)) + x,
                       m * (colourSum(pi) - colourSum(ni) + colourSum(uo) - colourSum(po)) + x);
        } else if (o + 2 * ls >= f.size()) {
          q = 0.5f;
        } else {
          const long x = (colourSum(ni) - colourSum(pi)) - (colourSum(n2o) - colourSum(no));
          q = quotient(m * (colourSum(n2o) - colourSum(pi)) + x,
                       m * (colourSum(ni) - colourSum(pi) + colourSum(n2o) - colourSum(no)) + x);
        }
        if (q > 0.0f && q < 1.0f) {
          e = {true, i, q};
          break;
        }
      }
      if (!(i > start)) break;
    }
    if (!e.found && fallback) e = {true, fallbackPoint, 0.5f};
  }

  if (flags & kUseHalf)
    for (End& e : ends) e.height = 0.5f;
  const End &p1 = ends[1], &p2 = ends[2], &p3 = ends[3], &p4 = ends[4];
  bool zDone = false;
  if (p1.found && p4.found && p4.point > p1.point) {
    blendRun(f, p1.point, p4.point, p1.height, p4.height, s, ls, false);
    zDone = true;
  }
  if (p3.found && p2.found && p2.point > p3.point) {
    blendRun(f, p3.point, p2.point, p3.height, p2.height, s, -ls, false);
    zDone = true;
  }
  if (!zDone) {
    if (p1.found && p2.found && p2.point > p1.point)
      blendRun(f, p1.point, p2.point, p1.height, p2.height, s, ls, true);
    if (p3.found && p4.found && p4.point > p3.point)
      blendRun(f, p3.point, p4.point, p3.height, p4.height, s, -ls, true);
  }
}

void runPass(Frame& f, const Pass& pass, uint32_t flags) {
  const int blocks = (pass.lines + 7) / 8;
  const int evens = (blocks + 1) / 2;
  for (int step = 0; step < blocks; ++step) {
    const int block = step < evens ? 2 * step : 2 * (step - evens) + 1;
    const int lastLine = std::min(8 * block + 8, pass.lines - 1);
    for (int line = 8 * block; line < lastLine; ++line) {
      const long first = pass.firstPixel(line);
      const long last = first + static_cast<long>(pass.lineLength - 1) * pass.along;
      const long prevLineOffset = line == 0 ? 0 : -pass.lineStride;
      for (long i = first; i <= last; i += pass.along) {
        if (!(f.edge(i) & pass.passBit)) continue;
        long end = i;
        while (end + pass.along <= last && (f.edge(end + pass.along) & pass.passBit)) end += pass.along;
        handleRun(f, pass, i, end, first, prevLineOffset, flags);
        i = end;
      }
    }
  }
}

}  // namespace

std::vector<uint32_t> referenceEdges(const std::vector<uint32_t>& image, int width, int height) {
  std::vector<uint32_t> edges(image.size(), 0u);
  const int examined = height / 8 * 8;
  for (int y = 0; y < examined; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t p = image[static_cast<std::size_t>(y) * width + x];
      uint32_t bits = 0;
      if (y + 1 < height && differ(p, image[static_cast<std::size_t>(y + 1) * width + x])) bits |= kBelow;
      if (x + 1 < width && differ(p, image[static_cast<std::size_t>(y) * width + x + 1])) bits |= kRight;
      edges[static_cast<std::size_t>(y) * width + x] = (p & 0x3FFFFFFFu) | bits;
    }
  }
  return edges;
}

std::vector<uint32_t> referenceMLAA(std::vector<uint32_t> image, int width, int height, uint32_t flags) {
  const std::vector<uint32_t> edges = referenceEdges(image, width, height);
  if (flags & kVisualize) {
    for (std::size_t i = 0; i < image.size(); ++i) {
      if (edges[i] & kBelow)
        image[i] = 0x0000FF00u;
      else if (edges[i] & kRight)
        image[i] = 0x00FF0000u;
    }
    return image;
  }
  Frame frame{image, edges, width, height};
  runPass(frame, Pass{width, 1, kBelow, kRight, height, width}, flags);
  runPass(frame, Pass{1, width, kRight, kBelow, width, height}, flags);
  return image;
}

}  // namespace qov::test
