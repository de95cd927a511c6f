// A second, deliberately plain transcription of the MLAA rules: one pixel at a time, no
// vector code, no shortcuts. The tests run it beside the production code on many frames;
// any difference points at a misread rule in one of the two.
#pragma once

#include <cstdint>
#include <vector>

namespace qov::test {

// Pixels as little-endian words (byte 0 in the low bits). Returns the antialiased frame.
std::vector<uint32_t> referenceMLAA(std::vector<uint32_t> image, int width, int height, uint32_t flags);

// The edge words the detection stage writes (rows that are not examined hold 0).
std::vector<uint32_t> referenceEdges(const std::vector<uint32_t>& image, int width, int height);

}  // namespace qov::test
