// Layout of the before/after picture.
#include "tools/qovhost/comparison.h"

#include <algorithm>
#include <string>

#include "tools/qovhost/glyphs.h"

namespace qov::qovhost {
namespace {

constexpr Rgba kCanvas = {24, 24, 28, kOpaque};
constexpr Rgba kLabel = {220, 220, 220, kOpaque};
constexpr Rgba kMark = {255, 70, 210, kOpaque};
constexpr uint32_t kMargin = 12;
constexpr uint32_t kLabelScale = 3;
constexpr uint32_t kLabelHeight = kGlyphRows * kLabelScale;
constexpr uint32_t kLabelGap = 8;
constexpr uint32_t kZoom = 4;
constexpr uint32_t kMarkThickness = 2;
constexpr uint32_t kNumberColumn = kGlyphAdvance * kLabelScale * 2;

}  // namespace

RgbaImage comparisonPicture(const RgbaImage& input, const RgbaImage& output, const RgbaImage& truth,
                            const std::vector<Rect>& closeUps) {
  RgbaImage before = halve(input);
  const RgbaImage after = halve(output);
  uint32_t zoomedWidth = 0;
  uint32_t zoomedRows = 0;
  for (const Rect& area : closeUps) {
    zoomedWidth = std::max(zoomedWidth, area.width * kZoom);
    zoomedRows += area.height * kZoom + kMargin;
  }
  const uint32_t overviewWidth = 2 * before.width + 3 * kMargin;
  const uint32_t closeUpWidth = kNumberColumn + 3 * zoomedWidth + 4 * kMargin;
  const uint32_t overviewBottom = kMargin + kLabelHeight + kLabelGap + before.height + kMargin;
  const uint32_t height = overviewBottom + kLabelHeight + kLabelGap + zoomedRows + kMargin;
  RgbaImage canvas(std::max(overviewWidth, closeUpWidth), height, kCanvas);

  // The overview, with each close-up area framed and numbered on the input.
  for (std::size_t i = 0; i < closeUps.size(); ++i) {
    const Rect& area = closeUps[i];
    const Rect marked = {area.x / 2, area.y / 2, area.width / 2, area.height / 2};
    outlineRect(before, marked, kMarkThickness, kMark);
    drawText(before, std::to_string(i + 1), marked.x + marked.width + kMarkThickness, marked.y, 2, kMark);
  }
  const uint32_t overviewTop = kMargin + kLabelHeight + kLabelGap;
  drawText(canvas, "BEFORE", kMargin, kMargin, kLabelScale, kLabel);
  drawText(canvas, "AFTER", 2 * kMargin + before.width, kMargin, kLabelScale, kLabel);
  paste(canvas, before, kMargin, overviewTop);
  paste(canvas, after, 2 * kMargin + before.width, overviewTop);

  // The close-ups, enlarged so that single pixels show.
  const uint32_t columns[3] = {kNumberColumn + kMargin, kNumberColumn + 2 * kMargin + zoomedWidth,
                               kNumberColumn + 3 * kMargin + 2 * zoomedWidth};
  drawText(canvas, "BEFORE", columns[0], overviewBottom, kLabelScale, kLabel);
  drawText(canvas, "AFTER", columns[1], overviewBottom, kLabelScale, kLabel);
  drawText(canvas, "GROUND TRUTH", columns[2], overviewBottom, kLabelScale, kLabel);
  uint32_t y = overviewBottom + kLabelHeight + kLabelGap;
  for (std::size_t i = 0; i < closeUps.size(); ++i) {
    const Rect& area = closeUps[i];
    drawText(canvas, std::to_string(i + 1), kMargin, y, kLabelScale, kMark);
    paste(canvas, enlarge(crop(input, area), kZoom), columns[0], y);
    paste(canvas, enlarge(crop(output, area), kZoom), columns[1], y);
    paste(canvas, enlarge(crop(truth, area), kZoom), columns[2], y);
    y += area.height * kZoom + kMargin;
  }
  return canvas;
}

}  // namespace qov::qovhost
