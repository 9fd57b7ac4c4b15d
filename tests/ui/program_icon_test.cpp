// The program's icon: built into the program, and the curve the shape
// display shows at the start values.
#include <algorithm>
#include <cmath>

#include <QGuiApplication>
#include <QIcon>
#include <QImage>

#include <gtest/gtest.h>

#include "ui/program_icon.h"
#include "ui/shape_points.h"
#include "ui/synth_state.h"

namespace tessivox {
namespace {

TEST(ProgramIconTest, IsTheStartCurveOfTheShapeDisplay) {
    setProgramIcon();
    EXPECT_EQ(QGuiApplication::desktopFileName(), "tessivox");
    const QIcon icon = QGuiApplication::windowIcon();
    ASSERT_FALSE(icon.isNull());
    // The icon's square matches the display's 300 x 300 with the pole in the middle.
    const QImage image = icon.pixmap(300, 300).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(image.size(), QSize(300, 300));

    SynthState s;
    computeShapePoints(s, s);
    // The icon fills its square; the display keeps r = 2 at the edge.
    double extent = 0.0;
    for (int i = 0; i < kShapePoints; ++i) {
        extent = std::max({extent, std::fabs(s.shapeX[i] - 150.0), std::fabs(s.shapeY[i] - 150.0)});
    }
    ASSERT_GT(extent, 10.0);
    const double scale = 118.0 / extent;
    int white = 0;
    for (int i = 0; i < kShapePoints; ++i) {
        const int x = static_cast<int>(std::lround(150.0 + (s.shapeX[i] - 150.0) * scale));
        const int y = static_cast<int>(std::lround(150.0 + (s.shapeY[i] - 150.0) * scale));
        // The stroke is 12 units wide: its middle is white within a few pixels.
        bool found = false;
        for (int dy = -3; dy <= 3 && !found; ++dy) {
            for (int dx = -3; dx <= 3 && !found; ++dx) {
                found = image.pixel(x + dx, y + dy) == qRgb(255, 255, 255);
            }
        }
        white += found;
        EXPECT_TRUE(found) << "display point " << i << " at " << x << "," << y;
    }
    EXPECT_EQ(white, kShapePoints);
    // Off the curve the square is black, and its corners are rounded off.
    EXPECT_EQ(image.pixel(20, 150), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(150, 290), qRgb(0, 0, 0));
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
}

}  // namespace
}  // namespace tessivox
