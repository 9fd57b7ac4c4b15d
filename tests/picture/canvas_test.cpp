// The canvas' rasters, drawn directly: no toolkit in between.
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "picture/canvas.h"

namespace tessivox {
namespace {

constexpr uint32_t kBlack = 0xff000000u;
constexpr uint32_t kWhite = 0xffffffffu;
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

uint32_t pixel(const Canvas& c, int x, int y) {
    return c.pixel(x, y);
}

std::set<std::pair<int, int>> whitePixels(const Canvas& c) {
    std::set<std::pair<int, int>> out;
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x)
            if (pixel(c, x, y) == kWhite) out.insert({x, y});
    return out;
}

// '#' for white, '.' for anything else, at (left, top) of the canvas.
std::set<std::pair<int, int>> fromMap(const std::vector<std::string>& rows, int left, int top) {
    std::set<std::pair<int, int>> out;
    for (size_t y = 0; y < rows.size(); ++y)
        for (size_t x = 0; x < rows[y].size(); ++x)
            if (rows[y][x] == '#') out.insert({left + int(x), top + int(y)});
    return out;
}

// Reference raster: every major coordinate of the whole segment, with the
// minor coordinate computed on its own from the exact rational (no
// stepping, no clipping), kept if inside the w x h area.
std::set<std::pair<int, int>> referenceLine(int64_t x0, int64_t y0, int64_t x1, int64_t y1, int w,
                                            int h) {
    std::set<std::pair<int, int>> out;
    const bool xMajor = std::llabs(x1 - x0) >= std::llabs(y1 - y0);
    int64_t a0 = xMajor ? x0 : y0, b0 = xMajor ? y0 : x0, a1 = xMajor ? x1 : y1,
            b1 = xMajor ? y1 : x1;
    if (a1 < a0) std::swap(a0, a1), std::swap(b0, b1);
    for (int64_t a = a0; a <= a1; ++a) {
        int64_t b = b0;
        if (a1 != a0) {
            // round half up of (a - a0) * (b1 - b0) / (a1 - a0)
            const long double exact =
                static_cast<long double>((a - a0) * (b1 - b0)) / static_cast<long double>(a1 - a0);
            b = b0 + static_cast<int64_t>(std::floor(exact + 0.5L));
        }
        const int64_t x = xMajor ? a : b, y = xMajor ? b : a;
        if (x >= 0 && x < w && y >= 0 && y < h) out.insert({int(x), int(y)});
    }
    return out;
}

TEST(CanvasTest, LinesMatchTheReferenceRasterAndAreSymmetric) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> coord(-400, 700);
    Canvas area(300, 200);
    for (int trial = 0; trial < 400; ++trial) {
        const int x0 = coord(rng), y0 = coord(rng), x1 = coord(rng), y1 = coord(rng);
        area.fillRect(0, 0, 300, 200, kBlack);
        area.line(x0, y0, x1, y1, kWhite);
        const auto forward = whitePixels(area);
        ASSERT_EQ(forward, referenceLine(x0, y0, x1, y1, 300, 200))
            << x0 << "," << y0 << " " << x1 << "," << y1;
        area.fillRect(0, 0, 300, 200, kBlack);
        area.line(x1, y1, x0, y0, kWhite);
        ASSERT_EQ(whitePixels(area), forward);
    }
}

TEST(CanvasTest, ClipsLinesWithEndPointsAtTheInt32Limits) {
    Canvas area(300, 300);
    auto draw = [&](int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
        area.fillRect(0, 0, 300, 300, kBlack);
        area.line(x0, y0, x1, y1, kWhite);
        return whitePixels(area);
    };
    // Toward the top left corner: the diagonal from the centre to (0, 0).
    auto diagonal = draw(150, 150, kMin, kMin);
    ASSERT_EQ(diagonal.size(), 151u);
    for (int k = 0; k <= 150; ++k) EXPECT_TRUE(diagonal.count({k, k})) << k;

    // A full row and a full column from limit to limit.
    EXPECT_EQ(draw(kMin, 42, kMax, 42).size(), 300u);
    EXPECT_EQ(draw(17, kMin, 17, kMax).size(), 300u);
    // Both ends far out on the same side: nothing.
    EXPECT_TRUE(draw(kMin, kMin, kMin, 10).empty());
    EXPECT_TRUE(draw(kMin, kMin, kMin, kMin).empty());
    // A steep line from the centre to (INT32_MIN, 150 - something) is almost
    // horizontal leftward: the row of the centre to the left edge.
    auto left = draw(150, 150, kMin, 151);
    EXPECT_EQ(left.size(), 151u);
    for (int x = 0; x <= 150; ++x) EXPECT_TRUE(left.count({x, 150})) << x;
    // Through the area from corner to corner of the int32 plane.
    auto through = draw(kMin, kMin, kMax, kMax);
    EXPECT_EQ(through.size(), 300u);
    for (int k = 0; k < 300; ++k) EXPECT_TRUE(through.count({k, k}));
    // A near-diagonal with a slope of (2^32 - 8) / (2^32 - 1): near the
    // area it runs 3.5 pixels below the diagonal (y = x + 3.5 - tiny).
    auto skew = draw(kMin, kMin + 7, kMax, kMax);
    for (auto [x, y] : skew) EXPECT_EQ(y - x, 3) << x;
    EXPECT_EQ(skew.size(), 297u);
}

// The rim pixel for pixel; nothing outside the 11 x 11 box.
TEST(CanvasTest, DiscOfRadiusFiveHasThisRim) {
    Canvas area(40, 40);
    area.disc(20, 20, 5, kWhite);
    EXPECT_EQ(whitePixels(area),
              fromMap({"....#####....", "...#######...", "..#########..", ".###########.",
                       ".###########.", ".###########.", ".###########.", ".###########.",
                       "..#########..", "...#######...", "....#####...."},
                      14, 15));
}

// Halfway minor coordinates round up, whichever end the line starts from.
TEST(CanvasTest, LinesRoundHalvesUp) {
    const struct {
        int x0, y0, x1, y1;
        std::vector<std::string> map;
    } lines[] = {
        // clang-format off
        {0, 0, 10, 5, {"#..........", ".##........", "...##......", ".....##....", ".......##..",
                       ".........##"}},
        {10, 5, 0, 0, {"#..........", ".##........", "...##......", ".....##....", ".......##..",
                       ".........##"}},
        {5, 0, 0, 10, {".....#", ".....#", "....#.", "....#.", "...#..", "...#..", "..#...",
                       "..#...", ".#....", ".#....", "#....."}},
        // clang-format on
    };
    for (const auto& l : lines) {
        Canvas area(12, 12);
        area.line(l.x0, l.y0, l.x1, l.y1, kWhite);
        EXPECT_EQ(whitePixels(area), fromMap(l.map, 0, 0)) << l.x0 << "," << l.y0;
    }
}

}  // namespace
}  // namespace tessivox
