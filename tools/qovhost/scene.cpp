// The scene's layout and its renderer.
#include "tools/qovhost/scene.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "tools/qovhost/glyphs.h"
#include "tools/qovhost/scene_shapes.h"

namespace qov::qovhost {
namespace {

constexpr Rgba kBackground = {34, 38, 52, kOpaque};
constexpr Rgba kGround = {58, 104, 72, kOpaque};
constexpr Rgba kWhite = {236, 232, 220, kOpaque};
constexpr Rgba kRed = {208, 64, 52, kOpaque};
constexpr Rgba kOrange = {236, 150, 40, kOpaque};
constexpr Rgba kYellow = {240, 212, 70, kOpaque};
constexpr Rgba kGreen = {96, 184, 92, kOpaque};
constexpr Rgba kCyan = {70, 180, 200, kOpaque};
constexpr Rgba kBlue = {60, 100, 210, kOpaque};
constexpr Rgba kPurple = {150, 80, 190, kOpaque};
constexpr Rgba kPink = {230, 120, 170, kOpaque};
constexpr Rgba kBlack = {16, 16, 20, kOpaque};

constexpr Rgba kCycle[] = {kRed, kOrange, kYellow, kGreen, kCyan, kBlue, kPurple, kPink};
constexpr std::size_t kCycleLength = sizeof kCycle / sizeof kCycle[0];

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegrees = kPi / 180.0;

// Pixels per side of the tiles whose shape lists the renderer precomputes.
constexpr uint32_t kTile = 16;

// Glyph cells as small squares, the text's top-left corner at `origin`, turned by
// `angle` degrees (counter-clockwise) about it.
void addText(std::vector<Shape>& shapes, const std::string& text, Point origin, double cell, double angle,
             Rgba colour) {
  const double c = std::cos(angle * kDegrees);
  const double s = std::sin(angle * kDegrees);
  for (std::size_t i = 0; i < text.size(); ++i)
    for (uint32_t row = 0; row < kGlyphRows; ++row)
      for (uint32_t column = 0; column < kGlyphColumns; ++column) {
        if (!glyphInk(text[i], column, row)) continue;
        const double u = (static_cast<double>(i * kGlyphAdvance + column) + 0.5) * cell;
        const double v = (row + 0.5) * cell;
        shapes.push_back(rotatedRect({origin.x + u * c + v * s, origin.y - u * s + v * c}, cell, cell, angle, colour));
      }
}

// Painter's order: later shapes cover earlier ones; the background shows elsewhere.
std::vector<Shape> sceneShapes() {
  std::vector<Shape> shapes;
  // Long, nearly horizontal edges.
  shapes.push_back(Shape::polygon({{0, 612}, {1280, 540}, {1280, 720}, {0, 720}}, kGround));
  shapes.push_back(stroke({500, 44}, {1270, 76}, 14, kOrange));

  // A wheel of sixteen spokes: every angle, meeting in one point.
  const Point hub = {250, 270};
  shapes.push_back(Shape::ring(hub, 180, 0, kWhite));
  for (int spoke = 0; spoke < 16; ++spoke) shapes.push_back(wedge(hub, 180, spoke * 22.5, spoke * 22.5 + 11.25, kRed));
  shapes.push_back(Shape::ring(hub, 24, 0, kBlack));

  // Squares turned a little further each, and a row of other figures.
  for (int i = 0; i < 7; ++i)
    shapes.push_back(rotatedRect({520.0 + 90 * i, 170}, 64, 64, 7.5 * i, kCycle[i % kCycleLength]));
  shapes.push_back(regularPolygon({520, 300}, 42, 3, 90, kCyan));
  shapes.push_back(regularPolygon({610, 300}, 42, 3, 17, kYellow));
  shapes.push_back(regularPolygon({700, 300}, 40, 5, 90, kPink));
  shapes.push_back(regularPolygon({790, 300}, 40, 6, 10, kGreen));
  shapes.push_back(star({880, 300}, 44, 18, 5, 90, kOrange));
  shapes.push_back(star({970, 300}, 44, 24, 8, 5, kWhite));
  shapes.push_back(regularPolygon({1060, 300}, 40, 3, -33, kPurple));

  // Discs and rings of many sizes.
  shapes.push_back(Shape::ring({1180, 180}, 72, 0, kYellow));
  shapes.push_back(Shape::ring({1180, 180}, 52, 36, kBlue));
  shapes.push_back(Shape::ring({1180, 330}, 46, 42, kWhite));
  double x = 560;
  for (double radius : {2.5, 4.0, 6.0, 9.0, 13.0, 18.0, 24.0}) {
    shapes.push_back(Shape::ring({x, 400}, radius, 0, kCyan));
    shapes.push_back(Shape::ring({x, 400}, radius + 5, radius + 2, kWhite));
    x += 2 * radius + 28;
  }

  // Thin lines fanning out at many angles, one to three pixels wide.
  const double widths[] = {1.0, 1.5, 2.5};
  int n = 0;
  for (double angle : {2.0, 6.0, 11.0, 18.0, 27.0, 38.0, 52.0, 68.0, 80.0}) {
    const Point from = {30, 705};
    const Point to = {from.x + 300 * std::cos(angle * kDegrees), from.y - 300 * std::sin(angle * kDegrees)};
    shapes.push_back(stroke(from, to, widths[n % 3], n % 2 == 0 ? kWhite : kYellow));
    ++n;
  }
  shapes.push_back(stroke({420, 712}, {1270, 604}, 3, kYellow));

  // Text-like detail: turned, and small and upright.
  addText(shapes, "QOV MLAA 1280X720", {560, 470}, 5, 6, kWhite);
  addText(shapes, "ANTIALIASING TEST SCENE 0123456789", {640, 650}, 2, 2, kBlack);
  return shapes;
}

}  // namespace

RgbaImage renderScene(uint32_t width, uint32_t height, uint32_t samplesPerAxis) {
  const std::vector<Shape> shapes = sceneShapes();
  const double scaleX = static_cast<double>(kSceneWidth) / width;
  const double scaleY = static_cast<double>(kSceneHeight) / height;
  const uint32_t samples = samplesPerAxis * samplesPerAxis;
  RgbaImage image(width, height);
  std::vector<const Shape*> tileShapes;
  for (uint32_t tileY = 0; tileY < height; tileY += kTile)
    for (uint32_t tileX = 0; tileX < width; tileX += kTile) {
      const uint32_t tileRight = std::min(width, tileX + kTile);
      const uint32_t tileBottom = std::min(height, tileY + kTile);
      // Shapes that can reach into this tile, topmost first.
      tileShapes.clear();
      for (auto shape = shapes.rbegin(); shape != shapes.rend(); ++shape)
        if (shape->right() >= tileX * scaleX && shape->left() <= tileRight * scaleX &&
            shape->bottom() >= tileY * scaleY && shape->top() <= tileBottom * scaleY)
          tileShapes.push_back(&*shape);
      for (uint32_t y = tileY; y < tileBottom; ++y)
        for (uint32_t x = tileX; x < tileRight; ++x) {
          uint32_t sum[3] = {0, 0, 0};
          for (uint32_t sy = 0; sy < samplesPerAxis; ++sy)
            for (uint32_t sx = 0; sx < samplesPerAxis; ++sx) {
              const Point p = {(x + (sx + 0.5) / samplesPerAxis) * scaleX, (y + (sy + 0.5) / samplesPerAxis) * scaleY};
              Rgba colour = kBackground;
              for (const Shape* shape : tileShapes)
                if (shape->contains(p)) {
                  colour = shape->colour();
                  break;
                }
              sum[0] += colour.r;
              sum[1] += colour.g;
              sum[2] += colour.b;
            }
          image.set(x, y,
                    {static_cast<uint8_t>((sum[0] + samples / 2) / samples),
                     static_cast<uint8_t>((sum[1] + samples / 2) / samples),
                     static_cast<uint8_t>((sum[2] + samples / 2) / samples), kOpaque});
        }
    }
  return image;
}

std::vector<Rect> sceneCloseUps() {
  return {{200, 588, 96, 60}, {562, 124, 96, 60}, {1110, 120, 96, 60}, {556, 452, 96, 60}};
}

std::vector<Rect> thinLineCloseUps() {
  return {{200, 650, 96, 56}, {200, 588, 96, 60}, {100, 520, 96, 60}};
}

}  // namespace qov::qovhost
