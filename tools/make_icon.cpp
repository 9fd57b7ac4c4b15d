// Writes the program's icon: the superformula curve at the start values, as
// the shape display draws it (white on black, the pole in the centre), traced
// with more points so that it stays smooth at any size, and scaled to fill
// the square.
//   tessivox-icon OUTPUT.svg

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "engine/engine.h"
#include "engine/superformula.h"

namespace {

constexpr int kPoints = 1000;
constexpr double kCentre = 150.0;
constexpr double kReach = 118.0;  // furthest point from the centre

}  // namespace

int main(int argc, char** argv) {
    using namespace tessivox;
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessivox-icon OUTPUT.svg\n");
        return 2;
    }
    FILE* out = std::fopen(argv[1], "w");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    const float* p = kStartParams;
    std::fprintf(out,
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"300\" height=\"300\" "
                 "viewBox=\"0 0 300 300\">\n"
                 "  <title>Tessivox</title>\n"
                 "  <rect width=\"300\" height=\"300\" rx=\"36\" fill=\"#000000\"/>\n"
                 "  <path fill=\"none\" stroke=\"#ffffff\" stroke-width=\"12\" "
                 "stroke-linejoin=\"round\" d=\"");
    struct Point {
        double x, y;
    };
    std::vector<Point> points;
    double extent = 0.0;
    for (int k = 0; k < kPoints; ++k) {
        const float t = static_cast<float>(static_cast<double>(k) / kPoints);
        const float theta = t * kTwoPi;
        const float r = superformulaRadius(theta, p[0], p[1], p[2], p[3], p[4], p[5]);
        if (!std::isfinite(r)) continue;
        const Point point{r * std::cos(static_cast<double>(theta)),
                          r * std::sin(static_cast<double>(theta))};
        extent = std::max({extent, std::fabs(point.x), std::fabs(point.y)});
        points.push_back(point);
    }
    if (points.empty() || !(extent > 0.0)) {
        std::fprintf(stderr, "tessivox-icon: the start values draw no curve\n");
        std::fclose(out);
        std::remove(argv[1]);
        return 1;
    }
    const double scale = kReach / extent;
    for (size_t k = 0; k < points.size(); ++k) {
        std::fprintf(out, "%s%.2f %.2f", k == 0 ? "M" : " L", kCentre + points[k].x * scale,
                     kCentre - points[k].y * scale);
    }
    // The display joins the last point to the first as well.
    std::fprintf(out, " Z\"/>\n</svg>\n");
    if (std::ferror(out) | std::fclose(out)) {
        std::perror(argv[1]);
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
