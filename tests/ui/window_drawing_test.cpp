// The drawing primitives and the display pictures.
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <set>
#include <utility>

#include <QCoreApplication>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include "picture_colours.h"
#include "test_support.h"

#include "engine/engine.h"
#include "ui/displays.h"
#include "ui/drawing_area.h"
#include "ui/pad_editor.h"
#include "ui/shape_points.h"

namespace tessivox {
namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

std::set<std::pair<int, int>> whitePixels(const DrawingArea& a) {
    std::set<std::pair<int, int>> out;
    for (int y = 0; y < a.image().height(); ++y)
        for (int x = 0; x < a.image().width(); ++x)
            if (pixel(a, x, y) == kWhite) out.insert({x, y});
    return out;
}

TEST(DrawingAreaTest, DrawsOnlyBetweenBeginAndEnd) {
    DrawingArea area(11, 20, 10);
    area.fillRect(0, 0, 20, 10, kWhite);
    EXPECT_NE(pixel(area, 5, 5), kWhite);
    ASSERT_TRUE(area.beginDrawing());
    area.fillRect(0, 0, 20, 10, kBlack);
    area.fillRect(-5, -5, 10, 10, kWhite);  // clipped to the corner 5 x 5
    area.endDrawing();
    EXPECT_EQ(pixel(area, 4, 4), kWhite);
    EXPECT_EQ(pixel(area, 5, 4), kBlack);
    EXPECT_EQ(whitePixels(area).size(), 25u);

    area.setDrawingFails(true);
    EXPECT_FALSE(area.beginDrawing());
    area.fillRect(0, 0, 20, 10, kRed);
    EXPECT_EQ(pixel(area, 10, 5), kBlack);
    area.setDrawingFails(false);
    EXPECT_TRUE(area.beginDrawing());
    area.endDrawing();
}

TEST(DrawingAreaTest, PointerEventsBecomePadEvents) {
    DrawingArea area(13, 300, 300);
    std::vector<PadEvent> seen;
    QObject::connect(&area, &DrawingArea::padEvent, [&](const PadEvent& e) { seen.push_back(e); });
    auto send = [&](QEvent::Type type, QPointF p, Qt::MouseButton button,
                    Qt::MouseButtons buttons) {
        QMouseEvent e(type, p, area.mapToGlobal(p), button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(&area, &e);
    };
    send(QEvent::MouseMove, {10, 20}, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseMove, {-3, 310}, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseMove, {10, 20}, Qt::NoButton, Qt::RightButton);
    send(QEvent::MouseButtonRelease, {400, 5}, Qt::LeftButton, Qt::NoButton);
    send(QEvent::MouseButtonRelease, {4, 5}, Qt::RightButton, Qt::NoButton);
    send(QEvent::MouseButtonPress, {4, 5}, Qt::LeftButton, Qt::LeftButton);
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_EQ(seen[0].type, PadEvent::Type::PointerMove);
    EXPECT_TRUE(seen[0].leftButtonDown);
    EXPECT_EQ(seen[0].x, 10);
    EXPECT_EQ(seen[0].y, 20);
    EXPECT_EQ(seen[1].x, -3);
    EXPECT_EQ(seen[1].y, 310);
    EXPECT_FALSE(seen[2].leftButtonDown);
    EXPECT_EQ(seen[3].type, PadEvent::Type::LeftButtonUp);
    EXPECT_EQ(seen[3].x, 400);
    EXPECT_EQ(seen[4].type, PadEvent::Type::Other);
    EXPECT_EQ(seen[5].type, PadEvent::Type::LeftButtonDown);  // it picks the point under it
}

TEST(PadPictureTest, StartPicture) {
    SynthState s;
    DrawingArea pad(13, 300, 300);
    ASSERT_TRUE(pad.beginDrawing());
    drawPad(s, pad);
    pad.endDrawing();
    // Lines over discs: each later line starts on its point.
    EXPECT_EQ(pixel(pad, 50, 50), kGreen);
    EXPECT_EQ(pixel(pad, 150, 150), kYellow);
    EXPECT_EQ(pixel(pad, 200, 100), kRed);
    EXPECT_EQ(pixel(pad, 250, 75), kRed);
    // Disc rims, away from the lines.
    EXPECT_EQ(pixel(pad, 45, 50), kGreen);
    EXPECT_EQ(pixel(pad, 145, 150), kWhite);
    EXPECT_EQ(pixel(pad, 200, 105), kWhite);
    EXPECT_EQ(pixel(pad, 250, 80), kRed);
    EXPECT_EQ(pixel(pad, 139, 150), kBlack);
    // Middles of the segments.
    EXPECT_EQ(pixel(pad, 100, 100), kGreen);
    EXPECT_EQ(pixel(pad, 175, 125), kYellow);
    EXPECT_EQ(pixel(pad, 225, 88), kRed);
    EXPECT_EQ(pixel(pad, 10, 290), kBlack);
}

TEST(ShapePointsTest, StartValuesGiveThePublishedPoints) {
    SynthState s;
    computeShapePoints(s, s);
    EXPECT_EQ(std::make_pair(s.shapeX[0], s.shapeY[0]), std::make_pair(223, 150));
    EXPECT_EQ(std::make_pair(s.shapeX[50], s.shapeY[50]), std::make_pair(150, 77));
    EXPECT_EQ(std::make_pair(s.shapeX[150], s.shapeY[150]), std::make_pair(150, 223));
    EXPECT_EQ(std::make_pair(s.shapeX[200], s.shapeY[200]), std::make_pair(223, 150));

    DrawingArea shape(11, 300, 300), wave(12, 201, 300);
    drawDisplays(s, shape, wave);
    for (int i : {0, 50, 150, 200}) EXPECT_EQ(pixel(shape, s.shapeX[i], s.shapeY[i]), kWhite) << i;
    // The trace starts on the centre line and follows the points.
    for (int i = 0; i < 201; ++i) EXPECT_EQ(pixel(wave, i, s.shapeY[i]), kWhite) << i;
    // The closing line from point 0 to point 201 is there too: with no
    // lines but it, the same pixels come out white.
    DrawingArea closing(11, 300, 300);
    ASSERT_TRUE(closing.beginDrawing());
    closing.fillRect(0, 0, 300, 300, kBlack);
    closing.drawingCanvas()->line(s.shapeX[0], s.shapeY[0], s.shapeX[201], s.shapeY[201], kWhite);
    closing.endDrawing();
    for (auto p : whitePixels(closing)) EXPECT_EQ(pixel(shape, p.first, p.second), kWhite);
}

TEST(ShapePointsTest, AngleAccumulatesInFloat32) {
    // With m = 4, N1 = N2 = N3 = 2, A = B = 1 the curve is the unit circle,
    // so the points show theta itself; point 201 lies one step past a turn.
    SynthState s;
    test::setShape(s, 4.0f, 2.0f, 2.0f, 2.0f, 1.0f, 1.0f);
    computeShapePoints(s, s);
    for (int i = 0; i < kShapePoints; ++i) {
        const double theta = 2 * M_PI * i / 200.0;
        EXPECT_EQ(s.shapeX[i], roundToInt32(std::cos(theta) * 75 + 150)) << i;
        EXPECT_EQ(s.shapeY[i], roundToInt32(150 - std::sin(theta) * 75)) << i;
    }
}

TEST(DisplaysTest, GuideLinesStayUnderAnyTrace) {
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> pos(1, 1000), pos5(1, 5000), posM(1, 2500);
    DrawingArea shape(11, 300, 300), wave(12, 201, 300);
    for (int trial = 0; trial < 60; ++trial) {
        SynthState s;
        s.m = posM(rng) / 100.0f;
        s.N1 = pos(rng) / 10.0f;
        s.N2 = pos(rng) / 10.0f;
        s.N3 = pos(rng) / 10.0f;
        s.A = pos5(rng) / 1000.0f;
        s.B = pos5(rng) / 1000.0f;
        updateDisplays(s, shape, wave);
        int red75 = 0, red225 = 0;
        for (int x = 0; x < 201; ++x) {
            const QRgb a = pixel(wave, x, 75), b = pixel(wave, x, 225), c = pixel(wave, x, 150);
            // Each guide pixel is its colour, or the white trace over it.
            ASSERT_TRUE(a == kRed || a == kWhite);
            ASSERT_TRUE(b == kRed || b == kWhite);
            ASSERT_EQ(c, kWhite);
            red75 += a == kRed;
            red225 += b == kRed;
        }
        // Nothing but the trace and the three lines is ever white or red.
        for (int y = 0; y < 300; ++y) {
            if (y == 75 || y == 150 || y == 225) continue;
            for (int x = 0; x < 201; ++x) {
                const QRgb p = pixel(wave, x, y);
                ASSERT_TRUE(p == kBlack || p == kWhite) << x << "," << y;
            }
        }
        EXPECT_GT(red75 + red225, 0);
    }
}

TEST(DisplaysTest, InfiniteRadiiDrawTowardTheTopLeft) {
    SynthState s;
    s.A = 5.0f;
    s.B = 5.0f;
    s.N2 = 100.0f;
    s.N3 = 100.0f;
    DrawingArea shape(11, 300, 300), wave(12, 201, 300);
    updateDisplays(s, shape, wave);
    int far = 0;
    for (int i = 0; i < kShapePoints; ++i) {
        if (s.shapeX[i] == kMin) {
            EXPECT_EQ(s.shapeY[i], kMin);
            ++far;
        }
    }
    EXPECT_EQ(far, kShapePoints);  // every point: r is infinite everywhere
    // The lines run off through the top left corner; the guides are intact.
    EXPECT_EQ(pixel(wave, 100, 150), kWhite);
    EXPECT_EQ(pixel(wave, 100, 75), kRed);
}

TEST(DisplaysTest, ADisplayThatCannotBeginKeepsItsPicture) {
    SynthState s;
    DrawingArea shape(11, 300, 300), wave(12, 201, 300);
    updateDisplays(s, shape, wave);
    const QImage before = shape.image().copy();
    shape.setDrawingFails(true);
    s.m = 2.0f;
    updateDisplays(s, shape, wave);
    EXPECT_EQ(shape.image(), before);
    // The other one is still drawn: its trace now follows the new points.
    for (int i = 0; i < 201; ++i) EXPECT_EQ(pixel(wave, i, s.shapeY[i]), kWhite);
}

}  // namespace
}  // namespace tessivox
