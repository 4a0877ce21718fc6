#include "skin_painter.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <functional>

namespace qelv::skin {

namespace {

const QColor kGround(16, 16, 16);
const QColor kPanel(28, 31, 40);
const QColor kEdge(32, 33, 38);
const QColor kGlyph(158, 176, 187);
const QColor kGlyphLit(229, 229, 229);
const QColor kAccent(80, 200, 220);
const QColor kMagenta(255, 0, 255);

enum class Face { Normal, Hover, Pressed };

// A glyph drawn into a 20 × 20 design box; the painter is scaled to the face.
using Glyph = std::function<void(QPainter&)>;

QImage blank(int width, int height, const QColor& fill) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

void triangle(QPainter& p, QPointF a, QPointF b, QPointF c) {
    QPainterPath path;
    path.moveTo(a);
    path.lineTo(b);
    path.lineTo(c);
    path.closeSubpath();
    p.fillPath(path, p.pen().color());
}

QImage face(int width, int height, Face state, const Glyph& glyph) {
    QImage image = blank(width, height, kGround);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(0.5, 0.5, width - 1.0, height - 1.0);
    QLinearGradient shade(0, 0, 0, height);
    switch (state) {
        case Face::Normal:
            shade.setColorAt(0, QColor(44, 48, 60));
            shade.setColorAt(1, kPanel);
            p.setPen(QPen(QColor(58, 63, 78), 1));
            break;
        case Face::Hover:
            shade.setColorAt(0, QColor(62, 68, 88));
            shade.setColorAt(1, QColor(40, 44, 58));
            p.setPen(QPen(kAccent, 1));
            break;
        case Face::Pressed:
            shade.setColorAt(0, QColor(18, 20, 26));
            shade.setColorAt(1, QColor(30, 34, 44));
            p.setPen(QPen(kAccent, 1));
            break;
    }
    p.setBrush(shade);
    p.drawRoundedRect(box, 3, 3);
    const QColor ink = state == Face::Normal ? kGlyph : state == Face::Hover ? kGlyphLit : kAccent;
    const double scale = std::min(width, height) / 20.0;
    p.translate((width - 20 * scale) / 2, (height - 20 * scale) / 2);
    p.scale(scale, scale);
    p.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    glyph(p);
    return image;
}

QImage textFace(int width, int height, Face state, const QString& text) {
    return face(width, height, state, [&](QPainter& p) {
        // Undo the glyph box: the text spans the whole face.
        p.resetTransform();
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(std::max(10, height / 2));
        font.setBold(true);
        p.setFont(font);
        p.drawText(QRect(0, 0, width, height), Qt::AlignCenter, text);
    });
}

// Glyphs.
void playGlyph(QPainter& p) {
    triangle(p, {7, 5}, {7, 15}, {15, 10});
}
void pauseGlyph(QPainter& p) {
    p.fillRect(QRectF(6, 5, 3, 10), p.pen().color());
    p.fillRect(QRectF(11, 5, 3, 10), p.pen().color());
}
void stopGlyph(QPainter& p) {
    p.fillRect(QRectF(6, 6, 8, 8), p.pen().color());
}
void previousGlyph(QPainter& p) {
    p.fillRect(QRectF(5, 5, 2, 10), p.pen().color());
    triangle(p, {15, 5}, {15, 15}, {8, 10});
}
void nextGlyph(QPainter& p) {
    p.fillRect(QRectF(13, 5, 2, 10), p.pen().color());
    triangle(p, {5, 5}, {5, 15}, {12, 10});
}
void rewindGlyph(QPainter& p) {
    triangle(p, {10, 5}, {10, 15}, {3, 10});
    triangle(p, {17, 5}, {17, 15}, {10, 10});
}
void forwardGlyph(QPainter& p) {
    triangle(p, {3, 5}, {3, 15}, {10, 10});
    triangle(p, {10, 5}, {10, 15}, {17, 10});
}
void closeGlyph(QPainter& p) {
    p.drawLine(QPointF(6, 6), QPointF(14, 14));
    p.drawLine(QPointF(14, 6), QPointF(6, 14));
}
void minimiseGlyph(QPainter& p) {
    p.drawLine(QPointF(5, 14), QPointF(15, 14));
}
void fullScreenGlyph(QPainter& p) {
    p.drawPolyline(QPolygonF({{4, 8}, {4, 4}, {8, 4}}));
    p.drawPolyline(QPolygonF({{12, 4}, {16, 4}, {16, 8}}));
    p.drawPolyline(QPolygonF({{16, 12}, {16, 16}, {12, 16}}));
    p.drawPolyline(QPolygonF({{8, 16}, {4, 16}, {4, 12}}));
}
void fitScreenGlyph(QPainter& p) {
    p.drawRect(QRectF(4, 5, 12, 10));
    p.fillRect(QRectF(7, 8, 6, 4), p.pen().color());
}
void defaultScreenGlyph(QPainter& p) {
    p.drawRect(QRectF(4, 7, 9, 8));
    p.drawPolyline(QPolygonF({{7, 7}, {7, 4}, {16, 4}, {16, 12}, {13, 12}}));
}
void fileListGlyph(QPainter& p) {
    for (double y : {6.0, 10.0, 14.0}) {
        p.drawPoint(QPointF(5, y));
        p.drawLine(QPointF(8, y), QPointF(15, y));
    }
}
void mapGlyph(QPainter& p) {
    QPainterPath pin;
    pin.moveTo(10, 17);
    pin.cubicTo(4, 10, 5, 3, 10, 3);
    pin.cubicTo(15, 3, 16, 10, 10, 17);
    p.drawPath(pin);
    p.drawEllipse(QPointF(10, 8), 1.8, 1.8);
}
void captureGlyph(QPainter& p) {
    p.drawRoundedRect(QRectF(3, 6, 14, 10), 2, 2);
    p.drawRect(QRectF(7, 4, 6, 2));
    p.drawEllipse(QPointF(10, 11), 3, 3);
}
void printGlyph(QPainter& p) {
    p.drawRect(QRectF(6, 3, 8, 5));
    p.drawRoundedRect(QRectF(3, 8, 14, 6), 1, 1);
    p.drawRect(QRectF(6, 12, 8, 5));
}
void flipGlyph(QPainter& p) {
    p.drawLine(QPointF(10, 3), QPointF(10, 17));
    triangle(p, {8, 4}, {8, 16}, {3, 16});
    p.drawPolygon(QPolygonF({{12, 4}, {12, 16}, {17, 16}}));
}
void screenSwitchGlyph(QPainter& p) {
    p.drawRect(QRectF(3, 4, 9, 7));
    p.drawRect(QRectF(8, 9, 9, 7));
}
void sensorGlyph(QPainter& p) {
    p.drawPolyline(QPolygonF({{3, 11}, {6, 11}, {8, 5}, {11, 16}, {13, 9}, {14, 11}, {17, 11}}));
}
void settingsGlyph(QPainter& p) {
    p.drawEllipse(QPointF(10, 10), 3, 3);
    for (int i = 0; i < 8; ++i) {
        p.save();
        p.translate(10, 10);
        p.rotate(i * 45.0);
        p.drawLine(QPointF(0, -5), QPointF(0, -7));
        p.restore();
    }
}
void screenSettingsGlyph(QPainter& p) {
    for (double x : {6.0, 10.0, 14.0}) {
        p.drawLine(QPointF(x, 4), QPointF(x, 16));
    }
    p.fillRect(QRectF(4.5, 11, 3, 2), p.pen().color());
    p.fillRect(QRectF(8.5, 6, 3, 2), p.pen().color());
    p.fillRect(QRectF(12.5, 9, 3, 2), p.pen().color());
}
void storageGlyph(QPainter& p) {
    p.drawPolygon(QPolygonF({{5, 3}, {12, 3}, {15, 6}, {15, 17}, {5, 17}}));
    for (double x : {8.0, 10.5, 13.0}) {
        p.drawLine(QPointF(x, 5), QPointF(x, 8));
    }
}
void pinnedGlyph(QPainter& p) {
    p.drawRect(QRectF(6, 9, 8, 7));
    p.drawArc(QRectF(7, 4, 6, 9), 0, 180 * 16);
}
void floatingGlyph(QPainter& p) {
    p.drawRect(QRectF(6, 9, 8, 7));
    p.drawArc(QRectF(9, 3, 6, 9), 0, 180 * 16);
}
void openGlyph(QPainter& p) {
    p.drawPolygon(QPolygonF({{3, 6}, {8, 6}, {9, 8}, {17, 8}, {17, 16}, {3, 16}}));
}
void sortGlyph(QPainter& p, bool ascending) {
    const double top = 4;
    const double bottom = 16;
    p.drawLine(QPointF(6, top), QPointF(6, bottom));
    if (ascending) {
        triangle(p, {3, 7}, {9, 7}, {6, 3});
    } else {
        triangle(p, {3, 13}, {9, 13}, {6, 17});
    }
    for (int i = 0; i < 3; ++i) {
        const double width = ascending ? 3 + 2 * i : 7 - 2 * i;
        p.drawLine(QPointF(11, 6 + 4 * i), QPointF(11 + width, 6 + 4 * i));
    }
}
// A speedometer: the dial with its ticks and the needle.
void speedGlyph(QPainter& p) {
    p.drawArc(QRectF(3, 5, 14, 14), 0, 180 * 16);
    for (const double angle : {0.0, 45.0, 90.0, 135.0, 180.0}) {
        p.save();
        p.translate(10, 12);
        p.rotate(-angle);
        p.drawLine(QPointF(5, 0), QPointF(7, 0));
        p.restore();
    }
    p.drawLine(QPointF(10, 12), QPointF(13.5, 7.5));
    p.drawLine(QPointF(5, 15), QPointF(15, 15));
}
// A trip along its time axis: the axis with its ticks and a speed line over it.
void tripGlyph(QPainter& p) {
    p.drawLine(QPointF(3, 16), QPointF(17, 16));
    for (const double x : {3.0, 10.0, 17.0}) {
        p.drawLine(QPointF(x, 14), QPointF(x, 18));
    }
    const QPointF trace[] = {{3, 11}, {6, 7}, {9, 9}, {12, 4}, {15, 8}, {17, 6}};
    p.drawPolyline(trace, 6);
}
void resetGlyph(QPainter& p) {
    p.drawArc(QRectF(5, 5, 10, 10), 90 * 16, 270 * 16);
    triangle(p, {10, 2.5}, {10, 7.5}, {6.5, 5});
}

// A bitmap with a normal and a lit face.
struct Pair {
    int normal;
    int lit;
    Glyph glyph;
};

// Slider channel: a groove; the active image is the filled groove.
QImage channel(int width, int height, bool active) {
    QImage image = blank(width, height, kGround);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF groove(1, height / 2.0 - 2, width - 2, 4);
    p.setPen(QPen(QColor(58, 63, 78), 1));
    p.setBrush(active ? kAccent.darker(130) : QColor(36, 40, 50));
    p.drawRoundedRect(groove, 2, 2);
    return image;
}

QImage thumb(int width, int height, bool active) {
    QImage image = blank(width, height, kGround);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(active ? kAccent : QColor(90, 98, 120), 1));
    p.setBrush(active ? kGlyphLit : kGlyph);
    p.drawEllipse(QRectF(1, 1, width - 2, height - 2));
    return image;
}

QImage icon(int width, int height, const Glyph& glyph) {
    QImage image = blank(width, height, kGround);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(width / 20.0, height / 20.0);
    p.setPen(QPen(kAccent, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    glyph(p);
    return image;
}

QImage headerPiece(int width, bool edge) {
    QImage image = blank(width, 20, kPanel);
    QPainter p(&image);
    QLinearGradient shade(0, 0, 0, 20);
    shade.setColorAt(0, QColor(60, 66, 84));
    shade.setColorAt(1, QColor(34, 37, 48));
    p.fillRect(image.rect(), shade);
    if (edge) {
        p.fillRect(0, 0, width, 20, QColor(70, 76, 96));
    }
    return image;
}

// A dialog background: a dark panel with rounded corners, magenta outside them.
QImage dialogBackground(int width, int height, const QString& title) {
    QImage image = blank(width, height, kMagenta);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    QPainterPath outline;
    outline.addRoundedRect(QRectF(0, 0, width, height), 14, 14);
    p.fillPath(outline, kGround);
    p.setPen(QPen(kEdge, 3));
    p.drawPath(outline);
    p.fillRect(QRect(3, 3, width - 6, 40), kPanel);
    p.setPen(Qt::white);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(18);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRect(20, 3, width - 40, 40), Qt::AlignVCenter | Qt::AlignLeft, title);
    return image;
}

struct Label {
    int x;
    int y;
    const char* text;
};

// The recorder's settings screen: section titles and the label beside every choice button.
QImage settingsBackground() {
    QImage image = dialogBackground(724, 878, QStringLiteral("Device Settings"));
    QPainter p(&image);
    QFont title(QStringLiteral("Arial"));
    title.setPixelSize(15);
    title.setBold(true);
    QFont small(QStringLiteral("Arial"));
    small.setPixelSize(13);
    static const Label kTitles[] = {{40, 66, "Screen"},
                                    {40, 184, "LCD Brightness"},
                                    {389, 184, "Audio Volume"},
                                    {40, 261, "Voice Guide"},
                                    {269, 261, "Voice Recording"},
                                    {500, 261, "Night Vision"},
                                    {40, 348, "G Sensor"},
                                    {390, 348, "Motion Sensor"},
                                    {39, 426, "LDWS"},
                                    {269, 426, "FCWS"},
                                    {500, 426, "FVSA"},
                                    {40, 503, "Parking Mode"},
                                    {269, 503, "Parking LED"},
                                    {40, 583, "Low Voltage Cut"},
                                    {40, 690, "Time Zone"},
                                    {40, 749, "Daylight Saving"}};
    static const Label kChoices[] = {{40, 209, "1"},
                                     {131, 209, "2"},
                                     {246, 209, "3"},
                                     {246, 373, "Low"},
                                     {131, 373, "Middle"},
                                     {40, 373, "High"},
                                     {596, 373, "Low"},
                                     {482, 373, "Middle"},
                                     {390, 373, "High"},
                                     {144, 451, "OFF"},
                                     {39, 451, "ON"},
                                     {375, 451, "OFF"},
                                     {269, 451, "ON"},
                                     {604, 451, "OFF"},
                                     {500, 451, "ON"},
                                     {144, 286, "OFF"},
                                     {39, 286, "ON"},
                                     {375, 286, "OFF"},
                                     {269, 286, "ON"},
                                     {604, 286, "OFF"},
                                     {500, 286, "ON"},
                                     {375, 528, "OFF"},
                                     {269, 528, "ON"},
                                     {145, 528, "OFF"},
                                     {40, 528, "ON"},
                                     {66, 608, "11.8V / 23.8V"},
                                     {279, 608, "12.0V / 24.0V"},
                                     {492, 608, "12.2V / 24.2V"},
                                     {66, 642, "12.4V / 24.4V"},
                                     {279, 642, "Not used"},
                                     {389, 209, "Low"},
                                     {482, 209, "Middle"},
                                     {596, 209, "High"},
                                     {65, 91, "Off after 30 s"},
                                     {397, 91, "Off after 3 min"},
                                     {397, 121, "Always on"},
                                     {65, 121, "Clock after 30 s"},
                                     {375, 751, "OFF"},
                                     {269, 751, "ON"}};
    p.setPen(kAccent);
    p.setFont(title);
    for (const Label& label : kTitles) {
        p.drawText(label.x, label.y + 16, QString::fromLatin1(label.text));
    }
    p.setPen(kGlyph);
    p.setFont(small);
    for (const Label& label : kChoices) {
        p.drawText(label.x + 26, label.y + 15, QString::fromLatin1(label.text));
    }
    return image;
}

QImage reportBackground() {
    QImage image = dialogBackground(936, 701, QStringLiteral("Accident Report"));
    QPainter p(&image);
    p.setPen(QPen(kEdge, 1));
    p.drawRect(QRect(14, 73, 910, 526));
    p.drawRect(QRect(19, 604, 792, 90));
    return image;
}

QImage graphBackground() {
    QImage image = blank(550, 290, kGround);
    QPainter p(&image);
    p.setPen(QPen(kEdge, 3));
    p.drawRect(QRect(1, 1, 548, 288));
    p.fillRect(QRect(3, 3, 544, 37), kPanel);
    p.setPen(Qt::white);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(13);
    p.setFont(font);
    p.drawText(QRect(12, 3, 300, 37), Qt::AlignVCenter, QStringLiteral("G-Sensor Graph"));
    // The plot: the traces run 497 pixels a minute from x 50 around the zero line at y 165,
    // 78 pixels for 4 g (the sensor's full scale).
    p.fillRect(QRect(50, 79, 498, 168), QColor(20, 22, 28));
    p.setPen(QPen(QColor(40, 44, 56), 1, Qt::DotLine));
    for (int k = 0; k <= 6; ++k) {
        const int x = 50 + k * 497 / 6;
        p.drawLine(x, 79, x, 246);
    }
    const struct {
        int y;
        const char* text;
    } levels[] = {{87, "+4G"}, {126, "+2G"}, {165, "0"}, {204, "-2G"}, {243, "-4G"}};
    for (const auto& level : levels) {
        p.drawLine(50, level.y, 547, level.y);
    }
    p.setPen(QPen(QColor(60, 66, 84), 1));
    p.drawLine(50, 165, 547, 165);
    p.setPen(kGlyph);
    font.setPixelSize(11);
    p.setFont(font);
    for (const auto& level : levels) {
        p.drawText(QRect(8, level.y - 7, 38, 14), Qt::AlignRight | Qt::AlignVCenter,
                   QString::fromLatin1(level.text));
    }
    for (int k = 0; k <= 6; ++k) {
        const int x = 50 + k * 497 / 6;
        if (k == 6) {
            p.drawText(QRect(x - 40, 252, 42, 14), Qt::AlignRight, QStringLiteral("60 s"));
        } else {
            p.drawText(QRect(x - 20, 252, 40, 14), Qt::AlignCenter, QString::number(k * 10));
        }
    }
    return image;
}

QImage screenSettingsBackground() {
    QImage image = blank(280, 106, kPanel);
    QPainter p(&image);
    p.setPen(QPen(kEdge, 3));
    p.drawRect(QRect(1, 1, 278, 104));
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    font.setBold(true);
    p.setFont(font);
    p.setPen(kGlyphLit);
    p.drawText(QRect(10, 3, 200, 16), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Screen Settings"));
    font.setBold(false);
    p.setFont(font);
    p.setPen(kGlyph);
    // Each name sits just above its slider (the sliders' channels are 85 × 13 at x 28 and 152,
    // y 40 and 75), so that no slider covers a name.
    struct NameAt {
        const char* name;
        int left;
        int top;
    };
    const NameAt labels[] = {
        {"Brightness", 28, 24}, {"Contrast", 152, 24}, {"Saturation", 28, 59}, {"Hue", 152, 59}};
    for (const NameAt& label : labels) {
        p.drawText(QRect(label.left, label.top, 85, 15), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromLatin1(label.name));
    }
    return image;
}

QImage panelBadge() {
    QImage image = blank(70, 44, kGround);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kAccent, 2));
    p.drawRoundedRect(QRectF(2, 2, 66, 40), 6, 6);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(14);
    font.setBold(true);
    p.setFont(font);
    p.setPen(kGlyphLit);
    p.drawText(QRect(0, 0, 70, 44), Qt::AlignCenter, QStringLiteral("QELV"));
    return image;
}

QImage mapCorner() {
    QImage image = blank(48, 48, kPanel);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(48 / 20.0, 48 / 20.0);
    p.setPen(QPen(QColor(60, 66, 84), 1.4));
    mapGlyph(p);
    return image;
}

}  // namespace

std::vector<SkinBitmap> paintSkin() {
    std::vector<SkinBitmap> out;
    auto add = [&out](int number, QImage image) { out.push_back({number, std::move(image)}); };

    // 20 × 20 buttons: a normal face and a lit face (under the mouse and pressed).
    const std::vector<Pair> buttons = {{219, 218, closeGlyph},
                                       {206, 205, fullScreenGlyph},
                                       {204, 203, fitScreenGlyph},
                                       {224, 207, minimiseGlyph},
                                       {253, 252, defaultScreenGlyph},
                                       {202, 201, fileListGlyph},
                                       {246, 245, mapGlyph},
                                       {216, 217, previousGlyph},
                                       {227, 228, rewindGlyph},
                                       {214, 215, playGlyph},
                                       {212, 213, pauseGlyph},
                                       {222, 223, stopGlyph},
                                       {229, 230, forwardGlyph},
                                       {208, 209, nextGlyph},
                                       {237, 238, printGlyph},
                                       {231, 232, captureGlyph},
                                       {268, 269, flipGlyph},
                                       {235, 236, screenSwitchGlyph},
                                       {233, 234, sensorGlyph},
                                       {247, 248, screenSettingsGlyph},
                                       {259, 260, storageGlyph},
                                       {220, 221, settingsGlyph},
                                       {262, 263, openGlyph},
                                       {264, 265, [](QPainter& p) { sortGlyph(p, true); }},
                                       {266, 267, [](QPainter& p) { sortGlyph(p, false); }},
                                       {270, 271, speedGlyph},
                                       {272, 273, tripGlyph}};
    for (const Pair& pair : buttons) {
        add(pair.normal, face(20, 20, Face::Normal, pair.glyph));
        add(pair.lit, face(20, 20, Face::Hover, pair.glyph));
    }
    // The "Fixed window" button shows 243 while docked and 244 while floating.
    add(243, face(20, 20, Face::Normal, pinnedGlyph));
    add(244, face(20, 20, Face::Normal, floatingGlyph));
    add(250, face(32, 20, Face::Normal, resetGlyph));
    add(251, face(32, 20, Face::Pressed, resetGlyph));
    // Device settings: choice faces, "Save" and "Close".
    const Glyph dot = [](QPainter& p) { p.drawEllipse(QPointF(10, 10), 4, 4); };
    const Glyph filledDot = [](QPainter& p) {
        p.setBrush(p.pen().color());
        p.drawEllipse(QPointF(10, 10), 4, 4);
    };
    add(165, face(20, 20, Face::Pressed, filledDot));
    add(166, face(20, 20, Face::Normal, dot));
    add(167, face(20, 20, Face::Hover, dot));
    add(163, textFace(158, 36, Face::Normal, QStringLiteral("Save")));
    add(161, textFace(158, 36, Face::Hover, QStringLiteral("Save")));
    add(162, textFace(158, 36, Face::Pressed, QStringLiteral("Save")));
    add(158, textFace(65, 28, Face::Normal, QStringLiteral("Close")));
    add(160, textFace(65, 28, Face::Pressed, QStringLiteral("Close")));
    add(157, settingsBackground());
    // Accident report: "Close" 41 × 41, "Print Start" 91 × 87.
    add(151, face(41, 41, Face::Normal, closeGlyph));
    add(152, face(41, 41, Face::Hover, closeGlyph));
    add(150, face(41, 41, Face::Pressed, closeGlyph));
    add(154, face(91, 87, Face::Normal, printGlyph));
    add(155, face(91, 87, Face::Hover, printGlyph));
    add(153, face(91, 87, Face::Pressed, printGlyph));
    add(149, reportBackground());
    // Sliders: the seek slider 390 wide, rate and volume 85 wide; thumbs 11 × 13.
    add(105, channel(390, 13, false));
    add(106, channel(390, 13, true));
    add(104, thumb(11, 13, false));
    add(103, thumb(11, 13, true));
    add(117, channel(85, 13, false));
    add(118, channel(85, 13, true));
    add(116, thumb(11, 13, false));
    add(115, thumb(11, 13, true));
    add(111, icon(15, 15, forwardGlyph));
    add(112, icon(15, 15, [](QPainter& p) {
            p.drawPolygon(QPolygonF({{3, 8}, {7, 8}, {11, 4}, {11, 16}, {7, 12}, {3, 12}}));
            p.drawArc(QRectF(10, 6, 6, 8), -60 * 16, 120 * 16);
        }));
    // Sensor panel icons.
    add(239, icon(15, 14, mapGlyph));
    add(240, icon(15, 14, [](QPainter& p) {
            p.drawArc(QRectF(3, 4, 14, 14), 0, 180 * 16);
            p.drawLine(QPointF(10, 11), QPointF(14, 6));
        }));
    add(241, icon(15, 14, sensorGlyph));
    add(254, panelBadge());
    add(242, graphBackground());
    add(249, screenSettingsBackground());
    add(261, mapCorner());
    // List header pieces.
    add(140, headerPiece(2, true));
    add(141, headerPiece(1, false));
    add(142, headerPiece(2, true));
    std::sort(out.begin(), out.end(),
              [](const SkinBitmap& a, const SkinBitmap& b) { return a.number < b.number; });
    return out;
}

QImage paintAppIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setBrush(kPanel);
    p.setPen(QPen(kAccent, 3));
    p.drawRoundedRect(QRectF(4, 10, 56, 44), 8, 8);
    p.setBrush(kAccent);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(32, 32), 12, 12);
    p.setBrush(kGround);
    p.drawEllipse(QPointF(32, 32), 6, 6);
    p.setBrush(QColor(220, 60, 60));
    p.drawEllipse(QPointF(50, 18), 3.5, 3.5);
    return image;
}

}  // namespace qelv::skin
