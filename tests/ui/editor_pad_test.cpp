#include <memory>

#include <QMouseEvent>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include "picture_colours.h"
#include "test_support.h"

#include "ui/drawing_area.h"
#include "ui/pad_editor.h"

namespace tessivox {
namespace {

constexpr QRgb kMarker = qRgb(1, 2, 3);

using Type = PadEvent::Type;

class Pad : public test::EngineTestOf<SynthState> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pad.beginDrawing());
        drawPad(s, pad);
        pad.endDrawing();
    }

    // Every edit keeps the synthesis copy equal to the editor's points.
    void send(const PadEvent& e) {
        handlePadEvent(s, pad, e);
        for (int k = 0; k < 4; ++k) {
            ASSERT_EQ(s.padPoints[k].x, s.trajectoryX[k].load()) << "point " << k;
            ASSERT_EQ(s.padPoints[k].y, s.trajectoryY[k].load()) << "point " << k;
        }
    }
    void drag(int x, int y) { send({Type::PointerMove, x, y, true}); }
    void hover(int x, int y) { send({Type::PointerMove, x, y, false}); }
    void release() { send({Type::LeftButtonUp, 0, 0, false}); }

    // Paints a marker over the whole pad, so that a redraw shows.
    void mark() {
        ASSERT_TRUE(pad.beginDrawing());
        pad.fillRect(0, 0, 300, 300, kMarker);
        pad.endDrawing();
    }
    bool redrawn() const { return pad.image().pixel(0, 0) != kMarker; }
    QRgb at(int x, int y) const { return pad.image().pixel(x, y); }
    PadPoint point(int k) const { return s.padPoints[k]; }

    DrawingArea pad{13, 300, 300};
};

TEST_F(Pad, StartPicture) {
    EXPECT_EQ(at(10, 290), kBlack);
    // Disc pixels off the lines, which are drawn over the discs.
    EXPECT_EQ(at(50, 54), kGreen);
    EXPECT_EQ(at(150, 154), kWhite);
    EXPECT_EQ(at(200, 104), kWhite);
    EXPECT_EQ(at(250, 79), kRed);
    EXPECT_EQ(at(50, 56), kBlack);  // radius 5
    // Segments.
    EXPECT_EQ(at(100, 100), kGreen);
    EXPECT_EQ(at(175, 125), kYellow);
    EXPECT_EQ(at(220, 90), kRed);
}

// A press inside a pick box picks its point: a drag whose first move lies
// far outside the box still takes it, and passes other points by.
TEST_F(Pad, APressPicksThePointUnderIt) {
    send({Type::LeftButtonDown, 152, 148, true});
    drag(192, 148);
    drag(202, 102);  // over the third point
    EXPECT_EQ(point(1), (PadPoint{202, 102}));
    EXPECT_EQ(point(2), (PadPoint{200, 100}));
}

TEST_F(Pad, PickBoxIsNineByNineAndStrict) {
    const int outside[][2] = {{55, 50}, {45, 50}, {50, 55}, {50, 45}, {55, 55}};
    for (const auto& p : outside) {
        drag(p[0], p[1]);
        EXPECT_EQ(s.padDragState, PadDragState::Unpressed) << p[0] << "," << p[1];
        release();
    }
    EXPECT_EQ(point(0), (PadPoint{50, 50}));

    drag(54, 46);
    EXPECT_EQ(s.padDragState, PadDragState::FirstPoint);
    EXPECT_EQ(point(0), (PadPoint{54, 46}));
    EXPECT_EQ(s.padMouseX, 54);
    EXPECT_EQ(s.padMouseY, 46);
    release();
    EXPECT_EQ(s.padDragState, PadDragState::Unpressed);

    drag(50, 50);  // now at the other corner of the box around (54, 46)
    EXPECT_EQ(s.padDragState, PadDragState::FirstPoint);
    EXPECT_EQ(point(0), (PadPoint{50, 50}));
    release();

    drag(246, 79);
    EXPECT_EQ(s.padDragState, PadDragState::FourthPoint);
    EXPECT_EQ(point(3), (PadPoint{246, 79}));
}

TEST_F(Pad, OverlappingBoxesPickTheEarlierPoint) {
    drag(150, 150);
    drag(56, 50);  // second point next to the first
    release();
    drag(53, 50);  // inside both boxes
    EXPECT_EQ(s.padDragState, PadDragState::FirstPoint);
    EXPECT_EQ(point(0), (PadPoint{53, 50}));
    EXPECT_EQ(point(1), (PadPoint{56, 50}));
}

TEST_F(Pad, EmptyDragRedrawsAndSlidesOntoAPoint) {
    mark();
    drag(100, 30);
    EXPECT_EQ(s.padDragState, PadDragState::Unpressed);
    EXPECT_TRUE(redrawn());  // also when nothing is held
    drag(148, 152);
    EXPECT_EQ(s.padDragState, PadDragState::SecondPoint);
    EXPECT_EQ(point(1), (PadPoint{148, 152}));
    drag(120, 200);
    EXPECT_EQ(point(1), (PadPoint{120, 200}));
}

TEST_F(Pad, HeldPointPassesOverAnother) {
    drag(200, 100);
    EXPECT_EQ(s.padDragState, PadDragState::ThirdPoint);
    drag(150, 150);  // right over the second point
    drag(100, 200);  // and on, to the left of it
    EXPECT_EQ(s.padDragState, PadDragState::ThirdPoint);
    EXPECT_EQ(point(1), (PadPoint{150, 150}));
    EXPECT_EQ(point(2), (PadPoint{100, 200}));
    EXPECT_EQ(s.trajectoryX[2].load(), 100.0);
    EXPECT_EQ(s.trajectoryY[2].load(), 200.0);
    // The yellow and red segments follow the third point.
    EXPECT_EQ(at(125, 175), kYellow);
    EXPECT_EQ(at(160, 150), kRed);
    EXPECT_EQ(at(200, 104), kBlack);  // nothing left at the old place
    EXPECT_EQ(at(100, 204), kWhite);
}

TEST_F(Pad, BoundsAreInclusive) {
    drag(200, 100);
    drag(300, 300);
    EXPECT_EQ(point(2), (PadPoint{300, 300}));
    drag(0, 0);
    EXPECT_EQ(point(2), (PadPoint{0, 0}));

    const int outside[][2] = {{301, 150}, {-1, 150}, {150, 301}, {150, -1}, {-400, 9000}};
    for (const auto& p : outside) {
        mark();
        drag(p[0], p[1]);
        EXPECT_EQ(point(2), (PadPoint{0, 0})) << p[0] << "," << p[1];
        EXPECT_FALSE(redrawn()) << p[0] << "," << p[1];
        EXPECT_EQ(s.padDragState, PadDragState::ThirdPoint);
        EXPECT_EQ(s.padMouseX, p[0]);
    }
    // Back inside, the held point follows again.
    drag(280, 20);
    EXPECT_TRUE(redrawn());
    EXPECT_EQ(point(2), (PadPoint{280, 20}));
}

TEST_F(Pad, RefusedDrawingIgnoresTheMove) {
    mark();
    pad.setDrawingFails(true);
    drag(50, 50);
    EXPECT_EQ(s.padDragState, PadDragState::Unpressed);
    EXPECT_EQ(s.padMouseX, 0);
    EXPECT_EQ(s.padMouseY, 0);
    EXPECT_FALSE(redrawn());

    pad.setDrawingFails(false);
    drag(52, 52);
    EXPECT_EQ(s.padDragState, PadDragState::FirstPoint);
    pad.setDrawingFails(true);
    drag(100, 100);
    EXPECT_EQ(point(0), (PadPoint{52, 52}));
    pad.setDrawingFails(false);
    drag(100, 100);
    EXPECT_EQ(point(0), (PadPoint{100, 100}));
}

TEST_F(Pad, OnlyLeftDragsAndReleasesCount) {
    mark();
    hover(50, 50);  // no button, or only the right one
    send({Type::Other, 50, 50, true});
    send({Type::Other, 150, 150, false});
    EXPECT_EQ(s.padDragState, PadDragState::Unpressed);
    EXPECT_FALSE(redrawn());
    EXPECT_EQ(s.padMouseX, 0);

    drag(50, 50);
    hover(80, 80);
    send({Type::Other, 80, 80, false});
    EXPECT_EQ(s.padDragState, PadDragState::FirstPoint);
    EXPECT_EQ(point(0), (PadPoint{50, 50}));
    // A lost release leaves the point held: the next left drag moves it.
    drag(290, 10);
    EXPECT_EQ(point(0), (PadPoint{290, 10}));
    mark();
    release();
    EXPECT_EQ(s.padDragState, PadDragState::Unpressed);
    EXPECT_FALSE(redrawn());
    drag(10, 290);
    EXPECT_EQ(point(0), (PadPoint{290, 10}));
}

// Through the toolkit: the area keeps the pointer while the button is held.
TEST_F(Pad, RealMouseDragIsCapturedOutsideThePad) {
    QWidget window;
    window.resize(700, 400);
    auto* area = new DrawingArea(13, 300, 300, &window);
    area->move(100, 50);
    std::unique_ptr<SynthState> own = std::make_unique<SynthState>();
    SynthState& t = *own;
    QObject::connect(area, &DrawingArea::padEvent,
                     [&](const PadEvent& e) { handlePadEvent(t, *area, e); });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QTest::mouseClick(area, Qt::LeftButton, {}, QPoint(50, 50));
    EXPECT_EQ(t.padPoints[0], (PadPoint{50, 50}));  // a click moves nothing
    EXPECT_EQ(t.padDragState, PadDragState::Unpressed);

    QTest::mousePress(area, Qt::LeftButton, {}, QPoint(250, 75));
    QTest::mouseMove(area, QPoint(252, 77));
    EXPECT_EQ(t.padDragState, PadDragState::FourthPoint);
    QTest::mouseMove(area, QPoint(290, 120));
    EXPECT_EQ(t.padPoints[3], (PadPoint{290, 120}));
    QTest::mouseMove(area, QPoint(400, 120));  // over the window, right of the pad
    EXPECT_EQ(t.padMouseX, 400);
    EXPECT_EQ(t.padPoints[3], (PadPoint{290, 120}));
    QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(400, 120));
    EXPECT_EQ(t.padDragState, PadDragState::Unpressed);
    EXPECT_EQ(t.trajectoryX[3].load(), 290.0);
    EXPECT_EQ(t.trajectoryY[3].load(), 120.0);
    EXPECT_EQ(area->image().pixel(290, 124), kRed);
}

}  // namespace
}  // namespace tessivox
