#include <gtest/gtest.h>

#include <cstdlib>

#include <QAbstractItemView>
#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include "skin/message_box.h"
#include "skin/skin_bitmaps.h"
#include "skin/skin_button.h"
#include "skin/skin_combo_box.h"
#include "skin/skin_list_ctrl.h"
#include "skin/skin_static.h"
#include "skin/text_box.h"
#include "ui_support.h"

namespace qelv::test {
namespace {

using ui::CSkinButton;

QPixmap solid(const QColor& colour) {
    QPixmap pixmap(20, 20);
    pixmap.fill(colour);
    return pixmap;
}

// A card's mount path may hold "<b>": a box shows it as it is, not as markup.
TEST(MessageBox, ShowsTheTextAsItIs) {
    const QString text = QStringLiteral("/media/<b>W</b>/SETUP/setup.ini");
    bool asItIs = false;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        asItIs = label->sizeHint().width() >= label->fontMetrics().horizontalAdvance(text);
        box->close();
    });
    ui::showMessageBox(nullptr, text, ui::MessageIcon::Error);
    EXPECT_TRUE(asItIs);
}

TEST(SkinBitmaps, EveryFaceTheWindowsNameIsInTheSkinAtItsSize) {
    struct Expected {
        int number;
        int width;
        int height;
    };
    const Expected table[] = {
        {219, 20, 20},   {218, 20, 20},   {205, 20, 20},   {253, 20, 20},   {140, 2, 20},
        {141, 1, 20},    {142, 2, 20},    {105, 390, 13},  {117, 85, 13},   {111, 15, 15},
        {239, 15, 14},   {254, 70, 44},   {242, 550, 290}, {249, 280, 106}, {250, 32, 20},
        {157, 724, 878}, {149, 936, 701}, {154, 91, 87},   {151, 41, 41},   {163, 158, 36},
        {158, 65, 28},   {165, 20, 20},   {243, 20, 20},   {244, 20, 20},   {262, 20, 20}};
    for (const Expected& bitmap : table) {
        const QPixmap pixmap = ui::skinBitmap(bitmap.number);
        ASSERT_FALSE(pixmap.isNull()) << bitmap.number;
        EXPECT_EQ(pixmap.size(), QSize(bitmap.width, bitmap.height)) << bitmap.number;
    }
    EXPECT_TRUE(ui::skinBitmap(9999).isNull());
}

TEST(SkinBitmaps, MagentaCornersOfDialogBackgroundsBecomeTransparent) {
    const QImage plain = ui::skinBitmap(157).toImage();
    EXPECT_EQ(plain.pixelColor(0, 0), QColor(255, 0, 255));
    const QImage masked = ui::skinBitmapMasked(157).toImage();
    EXPECT_EQ(masked.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(masked.pixelColor(362, 439).alpha(), 255);
}

TEST(SkinBitmaps, AFileThatIsNotTheSkinIsRefused) {
    EXPECT_FALSE(ui::loadSkinLibrary(QStringLiteral("/nonexistent/ResourceDll.rcc")));
    EXPECT_FALSE(ui::loadSkinLibrary(QStringLiteral(QELV_CONFIG_FILE)));
    EXPECT_FALSE(ui::loadSkinLibrary(QStringLiteral("/tmp")));
}

TEST(SkinButton, ChoosesTheFaceFromItsState) {
    RecordingWindow parent;
    CSkinButton button(&parent, QStringLiteral("Play"), 2);
    button.resize(20, 20);
    EXPECT_EQ(button.faceToDraw(), 0);  // nothing drawn before images are set
    button.setImages(solid(Qt::red), solid(Qt::green), solid(Qt::blue), 0, 0, 20, 20);
    EXPECT_EQ(button.faceToDraw(), 1);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(&button, &enter);
    EXPECT_TRUE(button.hovered());
    EXPECT_EQ(button.faceToDraw(), 2);
    button.setDown(true);
    EXPECT_EQ(button.faceToDraw(), 3);
    button.setDown(false);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&button, &leave);
    EXPECT_EQ(button.faceToDraw(), 1);
    button.setEnabled(false);
    EXPECT_EQ(button.faceToDraw(), 3);  // a disabled button shows its pressed face
    // Hovering a button without a hover face keeps the normal one.
    button.setEnabled(true);
    button.setImages(solid(Qt::red), solid(Qt::green), QPixmap(), 0, 0, 20, 20);
    QCoreApplication::sendEvent(&button, &enter);
    EXPECT_EQ(button.faceToDraw(), 1);
}

TEST(SkinButton, PaintsTheChosenFace) {
    QWidget parent;
    CSkinButton button(&parent, QStringLiteral("Stop"), 3);
    button.setGeometry(0, 0, 20, 20);
    button.setImages(solid(Qt::red), solid(Qt::green), solid(Qt::blue), 0, 0, 20, 20);
    EXPECT_EQ(button.grab().toImage().pixelColor(10, 10), QColor(Qt::green));
    button.setEnabled(false);
    EXPECT_EQ(button.grab().toImage().pixelColor(10, 10), QColor(Qt::red));
}

TEST(SkinButton, AClickSendsItsIdToTheParentEvenWithoutImages) {
    RecordingWindow parent;
    parent.resize(100, 100);
    auto* button = new CSkinButton(&parent, QStringLiteral("Close"), 16);
    button->setGeometry(10, 10, 20, 20);
    parent.show();
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_EQ(parent.received.size(), 1u);
    EXPECT_EQ(parent.received[0], (Received{2024, 16, 0}));
    EXPECT_EQ(button->toolTip(), QStringLiteral("Close"));
}

TEST(SkinButton, CreatedButtonHasItsPlaceAndSkinFaces) {
    QWidget parent;
    CSkinButton* button = CSkinButton::createImageButton(20, 2, &parent, QStringLiteral("Map"), 21,
                                                         665, 20, 246, 246, 245);
    EXPECT_EQ(button->geometry(), QRect(665, 2, 20, 20));
    EXPECT_TRUE(button->imagesSet());
    EXPECT_EQ(button->controlId(), 21);
}

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return false;
    }
};

TEST(TextBox, RepaintsOnlyWhenTheTextChanges) {
    ui::CTextBox box;
    box.resize(60, 16);
    box.show();
    processPosted();
    PaintCounter counter;
    box.installEventFilter(&counter);
    box.setText(QStringLiteral("00:00"));  // the text it starts with
    processPosted();
    EXPECT_EQ(counter.paints, 0);
    box.setText(QStringLiteral("01:30"));
    EXPECT_EQ(counter.paints, 1);  // at once, not on the next pass of the loop
    EXPECT_EQ(box.text(), QStringLiteral("01:30"));
    EXPECT_EQ(box.textColour(), QColor(92, 102, 127));
}

TEST(SkinStatic, ClickTogglesBlinkOnlyWhenEnabled) {
    ui::CSkinStatic text;
    text.resize(50, 20);
    text.show();
    QTest::mouseClick(&text, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(text.blinkState());
    text.setBlinkEnabled(true);
    QTest::mouseClick(&text, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(text.blinkState());
    QTest::mouseClick(&text, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(text.blinkState());
}

// Pixels of `image` in (about) `colour`.
int pixelsLike(const QImage& image, const QColor& colour, int tolerance = 24) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
                    std::abs(c.blue() - colour.blue()) <=
                tolerance) {
                ++count;
            }
        }
    }
    return count;
}

// The rightmost column of `image` that holds a pixel brighter than the dark ground, left of
// `before`; -1 when none.
int lastLitColumn(const QImage& image, int before) {
    for (int x = before - 1; x >= 0; --x) {
        for (int y = 2; y < image.height() - 2; ++y) {
            if (qGray(image.pixel(x, y)) > 60) {
                return x;
            }
        }
    }
    return -1;
}

TEST(SkinComboBox, DarkFieldWithEveryEntryWhole) {
    QWidget parent;
    ui::CSkinComboBox combo(&parent);
    combo.addItems({QStringLiteral("ALL"), QStringLiteral("NORMAL"), QStringLiteral("EVENT"),
                    QStringLiteral("PARKING"), QStringLiteral("USER")});
    // Where each entry's text ends with room to spare: the reference for a whole entry.
    std::vector<int> wholeEnds;
    combo.resize(300, 20);
    for (int i = 0; i < combo.count(); ++i) {
        combo.setCurrentIndex(i);
        wholeEnds.push_back(lastLitColumn(combo.grab().toImage(), 300 - 20));
    }
    combo.resize(combo.fittingWidth(), 20);
    const int arrowLeft = combo.width() - 1 - ui::CSkinComboBox::kArrowWidth;
    for (int i = 0; i < combo.count(); ++i) {
        combo.setCurrentIndex(i);
        const QImage field = combo.grab().toImage();
        const std::string entry = combo.currentText().toStdString();
        // No red erase colour, no white field of the light theme.
        EXPECT_EQ(pixelsLike(field, QColor(255, 16, 16), 60), 0) << entry;
        EXPECT_EQ(pixelsLike(field, Qt::white, 30), 0) << entry;
        EXPECT_GT(pixelsLike(field, Qt::black, 0), field.width() * field.height() / 2) << entry;
        // The text ends where it ends with room to spare: nothing is cut off.
        EXPECT_GT(wholeEnds[static_cast<std::size_t>(i)], 4) << entry;
        EXPECT_EQ(lastLitColumn(field, arrowLeft), wholeEnds[static_cast<std::size_t>(i)]) << entry;
    }
    // A narrower field does cut the longest entry.
    combo.setCurrentIndex(3);
    combo.resize(combo.fittingWidth() - 12, 20);
    EXPECT_NE(
        lastLitColumn(combo.grab().toImage(), combo.width() - 1 - ui::CSkinComboBox::kArrowWidth),
        wholeEnds[3]);
}

TEST(SkinComboBox, DropDownListLooksLikeTheRecordingList) {
    QWidget parent;
    parent.resize(200, 200);
    auto* combo = new ui::CSkinComboBox(&parent);
    combo->addItems({QStringLiteral("ALL"), QStringLiteral("NORMAL"), QStringLiteral("EVENT")});
    combo->setGeometry(10, 10, combo->fittingWidth(), 20);
    parent.show();
    combo->setCurrentIndex(1);
    combo->showPopup();
    processPosted();
    QAbstractItemView* list = combo->view();
    ASSERT_TRUE(list->isVisible());
    // Below the field, not over it.
    EXPECT_GE(list->mapToGlobal(QPoint(0, 0)).y(), combo->mapToGlobal(QPoint(0, 20)).y());
    const QImage picture = list->viewport()->grab().toImage();
    const QRect current = list->visualRect(list->model()->index(1, 0));
    const QRect other = list->visualRect(list->model()->index(2, 0));
    // The band of the current entry and the ground of the others, as in the recording list.
    EXPECT_EQ(pixelsLike(picture.copy(current.right() - 2, current.center().y(), 1, 1),
                         ui::CSkinListCtrl::kSelectedBackground, 6),
              1);
    EXPECT_EQ(picture.pixelColor(other.right() - 2, other.center().y()), QColor(Qt::black));
    EXPECT_GT(pixelsLike(picture.copy(other), ui::CSkinListCtrl::kTextColour, 40), 0);
    combo->hidePopup();
}

class SkinListTest : public ::testing::Test {
protected:
    void SetUp() override {
        list.setGeometry(0, 0, 307, 200);
        list.setColumns({QStringLiteral("NO."), QStringLiteral("DATA"), QStringLiteral("TIME"),
                         QStringLiteral("TYPE")},
                        {35, 110, 80, 60});
        for (int i = 0; i < 60; ++i) {
            list.addRow({QString::number(i), QStringLiteral("2024-01-31"),
                         QStringLiteral("12:00:00"), QStringLiteral("NOR")});
        }
        list.show();
        processPosted();
    }
    ui::CSkinListCtrl list;
};

TEST_F(SkinListTest, SelectedRowIsDrawnInTheSelectionColoursAndStaysSelected) {
    ASSERT_TRUE(list.selectRow(0));
    processPosted();
    const QImage picture = list.viewport()->grab().toImage();
    // A point of the first row between two texts: the selection band.
    EXPECT_EQ(picture.pixelColor(3, 3), ui::CSkinListCtrl::kSelectedBackground);
    // An unselected row below: black ground.
    EXPECT_EQ(picture.pixelColor(3, list.visualItemRect(list.topLevelItem(2)).center().y()),
              QColor(Qt::black));
    EXPECT_EQ(list.focusedRow(), 0);
    EXPECT_TRUE(list.topLevelItem(0)->isSelected());
    EXPECT_FALSE(list.selectRow(60));
}

TEST_F(SkinListTest, LongTitleEndsInAnEllipsisOnOneLine) {
    list.setHeaderLabels({QStringLiteral("NUMBER OF THE RECORDING IN THE LIST")});
    const QString shown = list.skinHeader()->shownTitle(0, 35);
    EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
    EXPECT_FALSE(shown.contains(QLatin1Char('\n')));
}

TEST_F(SkinListTest, NoScrollBarsButWheelAndKeysScroll) {
    EXPECT_FALSE(list.verticalScrollBar()->isVisible());
    EXPECT_FALSE(list.horizontalScrollBar()->isVisible());
    EXPECT_EQ(list.verticalScrollBar()->value(), 0);
    const QPointF inside(50, 50);
    QWheelEvent wheel(inside, list.viewport()->mapToGlobal(inside), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(list.viewport(), &wheel);
    EXPECT_GT(list.verticalScrollBar()->value(), 0);
    QTest::keyClick(&list, Qt::Key_End);
    EXPECT_EQ(list.focusedRow(), 59);
    EXPECT_EQ(list.verticalScrollBar()->value(), list.verticalScrollBar()->maximum());
}

TEST_F(SkinListTest, HeaderIsDrawnFromTheSkin) {
    const QImage header = list.skinHeader()->viewport()->grab().toImage();
    const QImage band = ui::skinBitmap(141).toImage();
    // Inside the second column, below the top line and away from the text: the band's colour.
    EXPECT_EQ(header.pixelColor(40, 18), band.pixelColor(0, 18));
    EXPECT_EQ(header.height(), 20);
}

}  // namespace
}  // namespace qelv::test
