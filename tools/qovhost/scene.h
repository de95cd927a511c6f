// The bundled test scene: hard-edged polygons at many angles, thin lines, circles, rings
// and rows of glyphs on flat colours. Rendered with one sample per pixel it is fully
// aliased (every pixel takes the colour under its centre); rendered with 4x4 samples
// per pixel averaged down it is the antialiasing ground truth. The same inputs always
// give the same pixels.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/qovhost/rgba_image.h"

namespace qov::qovhost {

// The scene is laid out on this canvas and stretched to any other size.
inline constexpr uint32_t kSceneWidth = 1280;
inline constexpr uint32_t kSceneHeight = 720;
inline constexpr uint32_t kGroundTruthSamples = 4;  // per axis

// `samplesPerAxis` x `samplesPerAxis` samples per pixel on a regular grid, averaged.
RgbaImage renderScene(uint32_t width, uint32_t height, uint32_t samplesPerAxis);

inline RgbaImage aliasedScene(uint32_t width, uint32_t height) { return renderScene(width, height, 1); }
inline RgbaImage groundTruthScene(uint32_t width, uint32_t height) {
  return renderScene(width, height, kGroundTruthSamples);
}

// Areas of the kSceneWidth x kSceneHeight scene whose edges are worth a closer look.
std::vector<Rect> sceneCloseUps();
// Areas of the same scene with lines one pixel wide at a few angles.
std::vector<Rect> thinLineCloseUps();

}  // namespace qov::qovhost
