// Shape geometry: inside tests and the builders of common figures.
#include "tools/qovhost/scene_shapes.h"

#include <algorithm>
#include <cmath>

namespace qov::qovhost {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegrees = kPi / 180.0;
constexpr int kArcPiecesPerTurn = 180;

Point onCircle(Point centre, double radius, double angle) {
  // Screen y grows downwards, so a counter-clockwise angle subtracts.
  return {centre.x + radius * std::cos(angle * kDegrees), centre.y - radius * std::sin(angle * kDegrees)};
}

}  // namespace

Shape Shape::polygon(std::vector<Point> corners, Rgba colour) {
  Shape shape;
  shape.colour_ = colour;
  shape.left_ = shape.right_ = corners.front().x;
  shape.top_ = shape.bottom_ = corners.front().y;
  for (const Point& p : corners) {
    shape.left_ = std::min(shape.left_, p.x);
    shape.right_ = std::max(shape.right_, p.x);
    shape.top_ = std::min(shape.top_, p.y);
    shape.bottom_ = std::max(shape.bottom_, p.y);
  }
  shape.corners_ = std::move(corners);
  return shape;
}

Shape Shape::ring(Point centre, double outer, double inner, Rgba colour) {
  Shape shape;
  shape.colour_ = colour;
  shape.centre_ = centre;
  shape.outerSquared_ = outer * outer;
  shape.innerSquared_ = inner * inner;
  shape.left_ = centre.x - outer;
  shape.right_ = centre.x + outer;
  shape.top_ = centre.y - outer;
  shape.bottom_ = centre.y + outer;
  return shape;
}

bool Shape::contains(Point p) const {
  if (p.x < left_ || p.x > right_ || p.y < top_ || p.y > bottom_) return false;
  if (corners_.empty()) {
    const double dx = p.x - centre_.x;
    const double dy = p.y - centre_.y;
    const double distanceSquared = dx * dx + dy * dy;
    return distanceSquared < outerSquared_ && distanceSquared >= innerSquared_;
  }
  // Counts the edges a ray to the right crosses.
  bool inside = false;
  for (std::size_t i = 0, j = corners_.size() - 1; i < corners_.size(); j = i++) {
    const Point& a = corners_[i];
    const Point& b = corners_[j];
    if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) inside = !inside;
  }
  return inside;
}

Shape rotatedRect(Point centre, double width, double height, double angle, Rgba colour) {
  const double c = std::cos(angle * kDegrees);
  const double s = std::sin(angle * kDegrees);
  const double hw = width / 2;
  const double hh = height / 2;
  std::vector<Point> corners;
  for (const Point& offset : {Point{-hw, -hh}, Point{hw, -hh}, Point{hw, hh}, Point{-hw, hh}})
    corners.push_back({centre.x + offset.x * c + offset.y * s, centre.y - offset.x * s + offset.y * c});
  return Shape::polygon(std::move(corners), colour);
}

Shape regularPolygon(Point centre, double radius, int corners, double angle, Rgba colour) {
  std::vector<Point> points;
  for (int i = 0; i < corners; ++i) points.push_back(onCircle(centre, radius, angle + 360.0 * i / corners));
  return Shape::polygon(std::move(points), colour);
}

Shape star(Point centre, double outer, double inner, int spikes, double angle, Rgba colour) {
  std::vector<Point> points;
  for (int i = 0; i < 2 * spikes; ++i)
    points.push_back(onCircle(centre, i % 2 == 0 ? outer : inner, angle + 180.0 * i / spikes));
  return Shape::polygon(std::move(points), colour);
}

Shape stroke(Point from, Point to, double width, Rgba colour) {
  const double length = std::hypot(to.x - from.x, to.y - from.y);
  const double nx = -(to.y - from.y) / length * width / 2;
  const double ny = (to.x - from.x) / length * width / 2;
  return Shape::polygon({{from.x + nx, from.y + ny}, {to.x + nx, to.y + ny}, {to.x - nx, to.y - ny},
                         {from.x - nx, from.y - ny}},
                        colour);
}

Shape wedge(Point centre, double radius, double from, double to, Rgba colour) {
  std::vector<Point> points = {centre};
  const int pieces = std::max(1, static_cast<int>(std::ceil((to - from) / 360.0 * kArcPiecesPerTurn)));
  for (int i = 0; i <= pieces; ++i) points.push_back(onCircle(centre, radius, from + (to - from) * i / pieces));
  return Shape::polygon(std::move(points), colour);
}

}  // namespace qov::qovhost
