#include "export/frame_text.h"

#include <algorithm>
#include <array>

namespace qelv::media {

namespace {

// A glyph is seven rows of five dots, the left dot in bit 4.
struct Glyph {
    char c;
    std::array<std::uint8_t, 7> rows;
};

constexpr std::array kFont{
    Glyph{' ', {0, 0, 0, 0, 0, 0, 0}},
    Glyph{'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    Glyph{'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    Glyph{'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    Glyph{'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    Glyph{'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    Glyph{'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    Glyph{'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    Glyph{'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    Glyph{'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    Glyph{'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    Glyph{'A', {0x0E, 0x11, 0x11, 0x11, 0x1F, 0x11, 0x11}},
    Glyph{'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    Glyph{'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    Glyph{'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    Glyph{'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    Glyph{'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    Glyph{'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}},
    Glyph{'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    Glyph{'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    Glyph{'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    Glyph{'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
    Glyph{'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    Glyph{'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    Glyph{'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    Glyph{'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    Glyph{'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    Glyph{'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}},
    Glyph{'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    Glyph{'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    Glyph{'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    Glyph{'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    Glyph{'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    Glyph{'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}},
    Glyph{'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    Glyph{'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}},
    Glyph{'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    Glyph{'-', {0, 0, 0, 0x1F, 0, 0, 0}},
    Glyph{':', {0, 0x0C, 0x0C, 0, 0x0C, 0x0C, 0}},
    Glyph{'/', {0, 0x01, 0x02, 0x04, 0x08, 0x10, 0}},
    Glyph{'.', {0, 0, 0, 0, 0, 0x0C, 0x0C}},
    Glyph{'(', {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}},
    Glyph{')', {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08}},
    Glyph{'?', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x00, 0x04}},
};

// Each character takes six dots across (one of space); the box adds one dot all round.
constexpr int kCellDots = 6;
constexpr int kMarginDots = 1;
constexpr std::uint8_t kInk = 235;

const Glyph& glyphOf(char c) {
    if (c >= 'a' && c <= 'z') {
        c = static_cast<char>(c - 'a' + 'A');
    }
    for (const Glyph& g : kFont) {
        if (g.c == c) {
            return g;
        }
    }
    return kFont.back();
}

// Runs `paint(x, y)` for every pixel of [x0, x0 + w) x [y0, y0 + h) inside the picture.
template <typename Paint>
void forEachPixel(const I420View& p, int x0, int y0, int w, int h, Paint paint) {
    const int xEnd = std::min(p.width, x0 + w);
    const int yEnd = std::min(p.height, y0 + h);
    for (int y = std::max(0, y0); y < yEnd; ++y) {
        for (int x = std::max(0, x0); x < xEnd; ++x) {
            paint(x, y);
        }
    }
}

}  // namespace

int textBoxWidth(std::string_view text, int scale) {
    return (static_cast<int>(text.size()) * kCellDots + 2 * kMarginDots - 1) * scale;
}

int textBoxHeight(int scale) {
    return (7 + 2 * kMarginDots) * scale;
}

void burnText(const I420View& p, int x, int y, int scale, std::string_view text) {
    scale = std::max(1, scale);
    // The box: a third of the picture's brightness, colour washed out, so that the text
    // reads on any scene.
    forEachPixel(p, x, y, textBoxWidth(text, scale), textBoxHeight(scale), [&](int px, int py) {
        std::uint8_t& luma = p.planes[0][py * p.strides[0] + px];
        luma = static_cast<std::uint8_t>(16 + (luma - std::min<int>(luma, 16)) / 3);
        if ((px & 1) == 0 && (py & 1) == 0) {
            p.planes[1][(py / 2) * p.strides[1] + px / 2] = 128;
            p.planes[2][(py / 2) * p.strides[2] + px / 2] = 128;
        }
    });
    const int top = y + kMarginDots * scale;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const Glyph& g = glyphOf(text[i]);
        const int left = x + (kMarginDots + static_cast<int>(i) * kCellDots) * scale;
        for (int row = 0; row < 7; ++row) {
            for (int col = 0; col < 5; ++col) {
                if ((g.rows[static_cast<std::size_t>(row)] >> (4 - col) & 1) == 0) {
                    continue;
                }
                forEachPixel(p, left + col * scale, top + row * scale, scale, scale,
                             [&](int px, int py) { p.planes[0][py * p.strides[0] + px] = kInk; });
            }
        }
    }
}

namespace {

// Lines of at most `perLine` characters, broken at spaces.
std::vector<std::string> wrapped(std::string_view text, std::size_t perLine) {
    std::vector<std::string> lines;
    std::string line;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        std::string_view word = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.size() + 1 + word.size() <= perLine) {
            line += ' ';
            line += word;
            continue;
        }
        if (!line.empty()) {
            lines.push_back(std::move(line));
            line.clear();
        }
        for (; word.size() > perLine; word.remove_prefix(perLine)) {
            lines.emplace_back(word.substr(0, perLine));
        }
        line = word;
    }
    if (!line.empty()) {
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace

int FittedText::width() const {
    int widest = 0;
    for (const std::string& line : lines) {
        widest = std::max(widest, textBoxWidth(line, scale));
    }
    return widest;
}

int FittedText::height() const {
    return static_cast<int>(lines.size()) * textBoxHeight(scale);
}

FittedText fitText(std::string_view text, int width, int height, int maxScale) {
    FittedText fitted;
    for (int scale = std::max(1, maxScale); scale >= 1; --scale) {
        // A box of n characters is (6n + 1) dots wide and 9 high.
        const int perLine = (width / scale - 2 * kMarginDots + 1) / kCellDots;
        const int lines = height / textBoxHeight(scale);
        if (perLine < 1 || lines < 1) {
            continue;
        }
        fitted.scale = scale;
        fitted.lines = wrapped(text, static_cast<std::size_t>(perLine));
        if (fitted.lines.size() <= static_cast<std::size_t>(lines)) {
            return fitted;
        }
        if (scale == 1) {
            fitted.lines.resize(static_cast<std::size_t>(lines));
            std::string& last = fitted.lines.back();
            last = last.substr(0, std::max(0, perLine - 2)) + "..";
            last.resize(std::min(last.size(), static_cast<std::size_t>(perLine)));
        }
    }
    return fitted;
}

void burnLines(const I420View& p, int x, int y, const FittedText& text, bool centred) {
    const int widest = text.width();
    for (const std::string& line : text.lines) {
        const int indent = centred ? (widest - textBoxWidth(line, text.scale)) / 2 : 0;
        burnText(p, x + indent, y, text.scale, line);
        y += textBoxHeight(text.scale);
    }
}

void fillBlack(const I420View& p, int x, int y, int width, int height) {
    forEachPixel(p, x, y, width, height, [&](int px, int py) {
        p.planes[0][py * p.strides[0] + px] = 16;
        if ((px & 1) == 0 && (py & 1) == 0) {
            p.planes[1][(py / 2) * p.strides[1] + px / 2] = 128;
            p.planes[2][(py / 2) * p.strides[2] + px / 2] = 128;
        }
    });
}

}  // namespace qelv::media
