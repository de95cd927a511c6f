// The filled shapes the test scene is made of, in scene coordinates (x to the right,
// y downwards): polygons (convex or not) and discs or rings, each of one flat colour.
#pragma once

#include <vector>

#include "tools/qovhost/rgba_image.h"

namespace qov::qovhost {

struct Point {
  double x, y;
};

class Shape {
 public:
  // Even-odd filling, so a polygon may be concave.
  static Shape polygon(std::vector<Point> corners, Rgba colour);
  // A disc when `inner` is 0.
  static Shape ring(Point centre, double outer, double inner, Rgba colour);

  bool contains(Point p) const;
  Rgba colour() const { return colour_; }
  // Bounding box.
  double left() const { return left_; }
  double top() const { return top_; }
  double right() const { return right_; }
  double bottom() const { return bottom_; }

 private:
  Shape() = default;

  std::vector<Point> corners_;  // empty for a ring
  Point centre_ = {0, 0};
  double outerSquared_ = 0, innerSquared_ = 0;
  Rgba colour_ = {0, 0, 0, kOpaque};
  double left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;
};

// Angles in degrees, counter-clockwise on screen.
Shape rotatedRect(Point centre, double width, double height, double angle, Rgba colour);
Shape regularPolygon(Point centre, double radius, int corners, double angle, Rgba colour);
Shape star(Point centre, double outer, double inner, int spikes, double angle, Rgba colour);
// A straight stroke of the given width between two points, with square ends.
Shape stroke(Point from, Point to, double width, Rgba colour);
// A pie slice from angle `from` to angle `to`, its arc made of short straight pieces.
Shape wedge(Point centre, double radius, double from, double to, Rgba colour);

}  // namespace qov::qovhost
