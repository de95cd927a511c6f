// Layout of the demo's pictures.
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

RgbaImage closeUpTable(const std::vector<LabelledPicture>& columns, const std::vector<Rect>& areas) {
  uint32_t zoomedWidth = 0;
  uint32_t zoomedRows = 0;
  for (const Rect& area : areas) {
    zoomedWidth = std::max(zoomedWidth, area.width * kZoom);
    zoomedRows += area.height * kZoom + kMargin;
  }
  const uint32_t count = static_cast<uint32_t>(columns.size());
  RgbaImage table(kNumberColumn + count * zoomedWidth + (count + 1) * kMargin,
                  kMargin + kLabelHeight + kLabelGap + zoomedRows, kCanvas);
  const auto left = [&](uint32_t column) { return kNumberColumn + (column + 1) * kMargin + column * zoomedWidth; };
  for (uint32_t column = 0; column < count; ++column)
    drawText(table, columns[column].label, left(column), kMargin, kLabelScale, kLabel);
  uint32_t y = kMargin + kLabelHeight + kLabelGap;
  for (std::size_t i = 0; i < areas.size(); ++i) {
    const Rect& area = areas[i];
    drawText(table, std::to_string(i + 1), kMargin, y, kLabelScale, kMark);
    for (uint32_t column = 0; column < count; ++column)
      paste(table, enlarge(crop(*columns[column].picture, area), kZoom), left(column), y);
    y += area.height * kZoom + kMargin;
  }
  return table;
}

RgbaImage comparisonPicture(const RgbaImage& input, const RgbaImage& output, const RgbaImage& truth,
                            const std::vector<Rect>& closeUps) {
  RgbaImage before = halve(input);
  const RgbaImage after = halve(output);
  const RgbaImage table =
      closeUpTable({{"BEFORE", &input}, {"AFTER", &output}, {"GROUND TRUTH", &truth}}, closeUps);
  const uint32_t overviewWidth = 2 * before.width + 3 * kMargin;
  // The table brings its own margin above its labels.
  const uint32_t overviewBottom = kMargin + kLabelHeight + kLabelGap + before.height;
  RgbaImage canvas(std::max(overviewWidth, table.width), overviewBottom + table.height + kMargin, kCanvas);

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
  paste(canvas, table, 0, overviewBottom);
  return canvas;
}

}  // namespace qov::qovhost
