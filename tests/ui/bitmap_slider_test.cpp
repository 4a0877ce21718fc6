// The control bar's bitmap slider: the value/centre mapping, the mouse and keys, what the
// owner is told and what is painted.
#include "playback/ui/bitmap_slider.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTest>

#include "ui_support.h"

namespace qelv::ui {
namespace {

using test::Received;
using test::RecordingWindow;

QPixmap filled(int width, int height, QColor colour) {
    QPixmap pixmap(width, height);
    pixmap.fill(colour);
    return pixmap;
}

// A slider over an 85 × 10 channel with a 13 × 10 thumb, like the control bar's.
struct SliderFixture : ::testing::Test {
    explicit SliderFixture(const QString& text = QStringLiteral("VOLUME"))
        : slider(text, 257, &parent) {
        slider.setOwner(&owner);
        slider.setChannelImages(filled(85, 10, Qt::blue), filled(85, 10, Qt::red));
        slider.setThumbImages(filled(13, 10, Qt::green), filled(13, 10, Qt::yellow));
        parent.resize(200, 50);
        parent.show();
    }
    void click(int x) { QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(x, 5)); }
    std::vector<Received> told() {
        test::processPosted();
        return std::exchange(owner.received, {});
    }

    QWidget parent;
    RecordingWindow owner;
    CBitmapSlider slider;
};

using BitmapSlider = SliderFixture;

// Range 1 to 10 over 72 pixels of travel: centres 8 pixels apart, from 6 to 78.
TEST_F(BitmapSlider, ValuesMapToEvenlySpacedCentresAndBack) {
    slider.setRange(1, 10);
    EXPECT_EQ(slider.size(), QSize(85, 10));  // taken from the channel image
    for (int value = 1; value <= 10; ++value) {
        EXPECT_EQ(slider.centreOfValue(value), 6 + 8 * (value - 1)) << value;
        EXPECT_EQ(slider.valueOfCentre(slider.centreOfValue(value)), value) << value;
    }
    EXPECT_EQ(slider.valueOfCentre(-50), 1);
    EXPECT_EQ(slider.valueOfCentre(500), 10);
    slider.setMargins(4, 0, 8, 0);  // travel 60: 0..100 maps 0.6 pixel a step
    slider.setRange(0, 100);
    EXPECT_EQ(slider.centreOfValue(0), 4 + 6);
    EXPECT_EQ(slider.centreOfValue(50), 4 + 30 + 6);
    EXPECT_EQ(slider.centreOfValue(100), 4 + 60 + 6);
    EXPECT_EQ(slider.valueOfCentre(4 + 30 + 6), 50);
}

TEST_F(BitmapSlider, EmptyRangeKeepsTheThumbAtTheLeftEnd) {
    slider.setRange(0, 0);
    slider.setPos(5);
    EXPECT_EQ(slider.pos(), 0);
    EXPECT_EQ(slider.centreOfValue(0), 6);
    click(70);
    EXPECT_EQ(slider.pos(), 0);
    EXPECT_TRUE(told().empty());
}

TEST_F(BitmapSlider, ClickFarFromTheThumbMovesItThereAndTellsTheOwnerOnce) {
    slider.setRange(1, 10);
    click(6 + 8 * 6);
    EXPECT_EQ(slider.pos(), 7);
    EXPECT_EQ(told(), (std::vector<Received>{{kMsgSliderChanged, 257, 1}}));
    click(6 + 8 * 6);  // on the thumb's centre: nothing moves, nothing is said
    EXPECT_TRUE(told().empty());
}

// Grabbed 3 pixels right of its centre, the thumb keeps that distance to the mouse; past
// either end it stops at the margin.
TEST_F(BitmapSlider, DragKeepsTheGripAndStopsAtTheEnds) {
    slider.setRange(1, 10);
    slider.setPos(5);  // centre 38
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(41, 5));
    EXPECT_TRUE(slider.dragging());
    EXPECT_EQ(slider.pos(), 5);
    QTest::mouseMove(&slider, QPoint(41 + 16, 5));
    EXPECT_EQ(slider.pos(), 7);
    QTest::mouseMove(&slider, QPoint(400, 5));
    EXPECT_EQ(slider.pos(), 10);
    QTest::mouseMove(&slider, QPoint(-400, 5));
    EXPECT_EQ(slider.pos(), 1);
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(-400, 5));
    EXPECT_FALSE(slider.dragging());
    EXPECT_EQ(told().size(), 3u);
}

TEST_F(BitmapSlider, KeysMoveWithinTheRange) {
    slider.setRange(0, 100);
    slider.setPos(50);
    struct Step {
        Qt::Key key;
        int pos;
    };
    const Step steps[] = {{Qt::Key_PageUp, 30}, {Qt::Key_PageDown, 50},  {Qt::Key_Right, 51},
                          {Qt::Key_Down, 52},   {Qt::Key_Left, 51},      {Qt::Key_Up, 50},
                          {Qt::Key_End, 100},   {Qt::Key_PageDown, 100}, {Qt::Key_Home, 0},
                          {Qt::Key_PageUp, 0}};
    for (const Step& step : steps) {
        QTest::keyClick(&slider, step.key);
        EXPECT_EQ(slider.pos(), step.pos) << step.key;
    }
    EXPECT_EQ(told().size(), 8u);  // the moves that stayed put say nothing
    slider.setEnabled(false);
    QTest::keyClick(&slider, Qt::Key_End);
    click(70);
    EXPECT_EQ(slider.pos(), 0);
}

struct SeekSlider : SliderFixture {
    SeekSlider() : SliderFixture(QStringLiteral("SEEK")) {}
};

TEST_F(SeekSlider, AsksTheOwnerToSeekToItsPosition) {
    slider.setRange(0, 1000);
    click(60);
    EXPECT_EQ(told(), (std::vector<Received>{{kMsgSeek, 0, 1}}));
}

// Left of the thumb the channel is drawn filled (active image), right of it plain; the thumb
// shows its active face while dragged.
TEST_F(BitmapSlider, PaintsTheTravelledPartFilled) {
    slider.setRange(1, 10);
    slider.setPos(6);  // centre 46
    const auto pixel = [&](int x) { return slider.grab().toImage().pixelColor(x, 5); };
    EXPECT_EQ(pixel(10), QColor(Qt::red));
    EXPECT_EQ(pixel(46 - 6 - 1), QColor(Qt::red));
    EXPECT_EQ(pixel(46), QColor(Qt::green));
    EXPECT_EQ(pixel(46 + 7), QColor(Qt::blue));
    EXPECT_EQ(pixel(84), QColor(Qt::blue));
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(46, 5));
    EXPECT_EQ(pixel(46), QColor(Qt::yellow));
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(46, 5));
    slider.setEnabled(false);  // disabled: plain channel, no thumb
    EXPECT_EQ(pixel(10), QColor(Qt::blue));
    EXPECT_EQ(pixel(46), QColor(Qt::blue));
    // At the left end, and with an empty range, nothing looks travelled.
    slider.setEnabled(true);
    for (const auto& [min, max] : {std::pair{1, 10}, std::pair{0, 0}}) {
        slider.setRange(min, max);
        slider.setPos(min);
        EXPECT_EQ(pixel(20), QColor(Qt::blue)) << min << ".." << max;
        EXPECT_EQ(pixel(84), QColor(Qt::blue)) << min << ".." << max;
    }
}

}  // namespace
}  // namespace qelv::ui
