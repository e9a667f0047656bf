#pragma once
// Plain points, sizes and rectangles, for the floating panels and for the
// caret a client reports. Screen rectangles use the host's y-up convention
// (origin at the bottom left of the main screen); rectangles inside a
// panel's content use y-down (origin at its top left). Only the window code
// converts to the toolkit's coordinates.
#include <algorithm>

namespace sorvane {

struct Point {
    double x = 0;
    double y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    Point origin() const { return {x, y}; }
    Size size() const { return {width, height}; }
    bool isAllZero() const { return x == 0 && y == 0 && width == 0 && height == 0; }
    // Half-open on the far edges, so two screens that touch never both claim
    // the point on their shared edge.
    bool contains(Point p) const { return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY(); }
    Rect offsetBy(double dx, double dy) const { return {x + dx, y + dy, width, height}; }
    bool operator==(const Rect&) const = default;
};

}  // namespace sorvane
