// Draws every picture of the skin by its number and writes the main window's outline as a region
// data block. Run at build time: render_skin OUTPUT_FOLDER 145.png 316.rgn ...
// The pictures are code so that the look can be changed and rebuilt like everything else.
#include <QBitmap>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRegion>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "app/skin/layout.h"
#include "app/skin/pictures.h"

namespace {

using layout::Box;

QColor rgb(unsigned value, int alpha = 255) {
    return QColor(static_cast<int>((value >> 16) & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>(value & 0xFF), alpha);
}

// The palette of the whole skin.
const QColor kAccent = rgb(layout::ACCENT_COLOUR);
const QColor kAccentDark = rgb(0x2868D6);
const QColor kAccentLight = rgb(0x6AA8FF);
const QColor kChromeTop = rgb(0x2E3140);
const QColor kChromeBottom = rgb(0x1E2029);
const QColor kChromeEdge = rgb(0x101116);
const QColor kChromeText = rgb(0xE6E9F1);
const QColor kChromeDim = rgb(0x959BAF);
const QColor kPage = rgb(layout::PAGE_COLOUR);
const QColor kCard = rgb(0xF4F8FD);
const QColor kCardBorder = rgb(0xC5D3E6);
const QColor kCaption = rgb(0x26426E);
const QColor kLabel = rgb(0x33405A);
const QColor kList = rgb(layout::LIST_COLOUR);
const QColor kGreen = QColor(0, 255, 0);

QRectF rect_of(Box box) {
    return QRectF(box.x, box.y, box.width, box.height);
}

// Tahoma and Arial where the machine has them, else the nearest that it has.
QFont font(int pixels, int weight, bool condensed = false) {
    QFont f;
    if (condensed) {
        f.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Arial Narrow"),
                       QStringLiteral("Liberation Sans Narrow"),
                       QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
    } else {
        f.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Arial"),
                       QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    }
    f.setPixelSize(pixels);
    f.setWeight(static_cast<QFont::Weight>(weight));
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

// The device pixel ratio the pictures are drawn for: 1, or 2 for the "@2x" set that screens
// scaled past 1 use. Every picture is drawn in the window's own pixels either way, so both sets
// have the same shapes; only their pixel count differs.
double g_scale = 1;

QImage blank(int width, int height, QColor fill = Qt::transparent) {
    QImage image(qRound(width * g_scale), qRound(height * g_scale),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(g_scale);
    image.fill(fill);
    return image;
}

// A picture's size in the window's pixels, whatever ratio it was drawn for.
int lw(const QImage& image) {
    return qRound(image.deviceIndependentSize().width());
}
int lh(const QImage& image) {
    return qRound(image.deviceIndependentSize().height());
}
QRect lrect(const QImage& image) {
    return QRect(0, 0, lw(image), lh(image));
}

void smooth(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

// Two raised tabs (the name on the left, the window buttons on the right) over a body with
// rounded corners. The pixel test below and the smooth path after it describe the same shape:
// the first gives the region, the second the anti-aliased edge line drawn inside it.
namespace outline {
constexpr double W = layout::MAIN_WINDOW.width;
constexpr double TOP = layout::MAIN_OUTLINE_TOP;
constexpr double BOTTOM = layout::MAIN_WINDOW.height;
constexpr double TAB_HEIGHT = 18;
constexpr double BODY_TOP = TOP + TAB_HEIGHT;
constexpr double LEFT_TAB = 190;   // right edge of the left tab
constexpr double RIGHT_TAB = 120;  // width of the right tab
constexpr double OUTER_R = 16;
constexpr double TAB_R = 8;
constexpr double FLARE_R = 10;
constexpr double BOTTOM_R = 16;
constexpr int RECTANGLES = 40;

bool outside(double px, double py, double cx, double cy, double r) {
    return (px - cx) * (px - cx) + (py - cy) * (py - cy) > r * r;
}

bool contains(double px, double py) {
    if (px < 0 || px > W || py < TOP || py > BOTTOM) {
        return false;
    }
    if (px < OUTER_R && py < TOP + OUTER_R && outside(px, py, OUTER_R, TOP + OUTER_R, OUTER_R)) {
        return false;
    }
    if (px > W - OUTER_R && py < TOP + OUTER_R &&
        outside(px, py, W - OUTER_R, TOP + OUTER_R, OUTER_R)) {
        return false;
    }
    if (px < BOTTOM_R && py > BOTTOM - BOTTOM_R &&
        outside(px, py, BOTTOM_R, BOTTOM - BOTTOM_R, BOTTOM_R)) {
        return false;
    }
    if (px > W - BOTTOM_R && py > BOTTOM - BOTTOM_R &&
        outside(px, py, W - BOTTOM_R, BOTTOM - BOTTOM_R, BOTTOM_R)) {
        return false;
    }
    if (py >= BODY_TOP) {
        return true;
    }
    if (px <= LEFT_TAB) {
        return !(px > LEFT_TAB - TAB_R && py < TOP + TAB_R &&
                 outside(px, py, LEFT_TAB - TAB_R, TOP + TAB_R, TAB_R));
    }
    if (px >= W - RIGHT_TAB) {
        return !(px < W - RIGHT_TAB + TAB_R && py < TOP + TAB_R &&
                 outside(px, py, W - RIGHT_TAB + TAB_R, TOP + TAB_R, TAB_R));
    }
    if (px < LEFT_TAB + FLARE_R && py > BODY_TOP - FLARE_R) {
        return outside(px, py, LEFT_TAB + FLARE_R, BODY_TOP - FLARE_R, FLARE_R);
    }
    if (px > W - RIGHT_TAB - FLARE_R && py > BODY_TOP - FLARE_R) {
        return outside(px, py, W - RIGHT_TAB - FLARE_R, BODY_TOP - FLARE_R, FLARE_R);
    }
    return false;
}

// Pixel rows as runs, rows with the same runs joined into one band: the form a region's own
// rectangle list takes.
std::vector<QRect> rectangles() {
    std::vector<QRect> bands;
    std::vector<std::pair<int, int>> previous;
    std::vector<std::size_t> previousIndex;
    for (int y = static_cast<int>(TOP); y < static_cast<int>(BOTTOM); ++y) {
        std::vector<std::pair<int, int>> runs;
        int start = -1;
        for (int x = 0; x < static_cast<int>(W); ++x) {
            const bool in = contains(x + 0.5, y + 0.5);
            if (in && start < 0) {
                start = x;
            } else if (!in && start >= 0) {
                runs.emplace_back(start, x);
                start = -1;
            }
        }
        if (start >= 0) {
            runs.emplace_back(start, static_cast<int>(W));
        }
        if (runs == previous && !previousIndex.empty()) {
            for (std::size_t i : previousIndex) {
                bands[i].setBottom(y);
            }
            continue;
        }
        previousIndex.clear();
        for (const auto& [from, to] : runs) {
            previousIndex.push_back(bands.size());
            bands.emplace_back(QPoint(from, y), QPoint(to - 1, y));
        }
        previous = runs;
    }
    return bands;
}

QRegion region() {
    QRegion r;
    for (const QRect& rect : rectangles()) {
        r += rect;
    }
    return r;
}

QPainterPath path() {
    QPainterPath p;
    p.moveTo(0, TOP + OUTER_R);
    p.arcTo(QRectF(0, TOP, 2 * OUTER_R, 2 * OUTER_R), 180, -90);
    p.lineTo(LEFT_TAB - TAB_R, TOP);
    p.arcTo(QRectF(LEFT_TAB - 2 * TAB_R, TOP, 2 * TAB_R, 2 * TAB_R), 90, -90);
    p.lineTo(LEFT_TAB, BODY_TOP - FLARE_R);
    p.arcTo(QRectF(LEFT_TAB, BODY_TOP - 2 * FLARE_R, 2 * FLARE_R, 2 * FLARE_R), 180, 90);
    p.lineTo(W - RIGHT_TAB - FLARE_R, BODY_TOP);
    p.arcTo(QRectF(W - RIGHT_TAB - 2 * FLARE_R, BODY_TOP - 2 * FLARE_R, 2 * FLARE_R, 2 * FLARE_R),
            270, 90);
    p.lineTo(W - RIGHT_TAB, TOP + TAB_R);
    p.arcTo(QRectF(W - RIGHT_TAB, TOP, 2 * TAB_R, 2 * TAB_R), 180, -90);
    p.lineTo(W - OUTER_R, TOP);
    p.arcTo(QRectF(W - 2 * OUTER_R, TOP, 2 * OUTER_R, 2 * OUTER_R), 90, -90);
    p.lineTo(W, BOTTOM - BOTTOM_R);
    p.arcTo(QRectF(W - 2 * BOTTOM_R, BOTTOM - 2 * BOTTOM_R, 2 * BOTTOM_R, 2 * BOTTOM_R), 0, -90);
    p.lineTo(BOTTOM_R, BOTTOM);
    p.arcTo(QRectF(0, BOTTOM - 2 * BOTTOM_R, 2 * BOTTOM_R, 2 * BOTTOM_R), 270, -90);
    p.closeSubpath();
    return p;
}

// RGNDATA: a 32-byte header (size, type 1, count, rectangle bytes, bounds) and the rectangles,
// every field a little-endian 32-bit integer.
QByteArray data_block() {
    const std::vector<QRect> rects = rectangles();
    QByteArray block;
    auto put = [&block](int value) {
        const auto v = static_cast<quint32>(value);
        for (int shift = 0; shift < 32; shift += 8) {
            block.append(static_cast<char>((v >> shift) & 0xFF));
        }
    };
    const int n = static_cast<int>(rects.size());
    put(32);
    put(1);
    put(n);
    put(16 * n);
    put(0);
    put(static_cast<int>(TOP));
    put(static_cast<int>(W));
    put(static_cast<int>(BOTTOM));
    for (const QRect& r : rects) {
        put(r.left());
        put(r.top());
        put(r.right() + 1);
        put(r.bottom() + 1);
    }
    return block;
}
}  // namespace outline

// A group: a light card with its caption painted in, as the windows' captions are part of the
// pictures.
void card(QPainter& p, Box box, const QString& caption) {
    const QRectF r = rect_of(box).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(kCardBorder, 1));
    p.setBrush(kCard);
    p.drawRoundedRect(r, 7, 7);
    // a hairline of shadow under the card lifts it off the page
    p.setPen(QPen(QColor(30, 60, 110, 18), 1));
    p.drawLine(QPointF(r.left() + 6, r.bottom() + 1), QPointF(r.right() - 6, r.bottom() + 1));
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawRoundedRect(QRectF(box.x + 10, box.y + 8, 3, 12), 1.5, 1.5);
    p.setFont(font(12, QFont::Bold));
    p.setPen(kCaption);
    p.drawText(QRectF(box.x + 18, box.y + 5, box.width - 26, 18), Qt::AlignLeft | Qt::AlignVCenter,
               caption);
}

// An "&" in text underlines the letter after it: the access key of the control it names.
void label(QPainter& p, const QRectF& r, const QString& text, QColor colour, const QFont& f,
           Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    p.setFont(f);
    p.setPen(colour);
    p.drawText(r, static_cast<int>(align) | Qt::TextShowMnemonic, text);
}

// A page: the page colour with square top corners (they meet the tab row) and rounded bottom
// corners, pure green outside so that the outline can be cut from the picture.
QImage page_base() {
    const int w = layout::PAGE.width;
    const int h = layout::PAGE.height;
    const double r = layout::PAGE_CORNER_RADIUS;
    QImage image = blank(w, h, kGreen);
    QPainterPath shape;
    shape.moveTo(0, 0);
    shape.lineTo(w, 0);
    shape.lineTo(w, h - r);
    shape.arcTo(QRectF(w - 2 * r, h - 2 * r, 2 * r, 2 * r), 0, -90);
    shape.lineTo(r, h);
    shape.arcTo(QRectF(0, h - 2 * r, 2 * r, 2 * r), 270, -90);
    shape.closeSubpath();
    QPainter p(&image);
    // No anti-aliasing on the outline itself: a pixel half green, half page would survive the
    // cut as a green fringe.
    p.fillPath(shape, kPage);
    return image;
}

void page_edge(QImage& image) {
    const int w = lw(image);
    const int h = lh(image);
    const double r = layout::PAGE_CORNER_RADIUS;
    // Smooth lines stay on page pixels: one drawn over green would survive the cut as a fringe.
    const QRegion page = QTransform::fromScale(1 / g_scale, 1 / g_scale)
                             .map(QRegion(QBitmap::fromImage(
                                 image.createMaskFromColor(kGreen.rgb(), Qt::MaskOutColor))));
    QPainter p(&image);
    p.setClipRegion(page);
    smooth(p);
    QLinearGradient shade(0, 0, 0, 10);
    shade.setColorAt(0, QColor(20, 40, 80, 26));
    shade.setColorAt(1, QColor(20, 40, 80, 0));
    p.fillRect(QRectF(0, 0, w, 10), shade);
    QPainterPath border;
    border.moveTo(0.5, 0);
    border.lineTo(0.5, h - r);
    border.arcTo(QRectF(0.5, h - 2 * r - 0.5, 2 * r, 2 * r), 180, 90);
    border.lineTo(w - r - 0.5, h - 0.5);
    border.arcTo(QRectF(w - 2 * r - 0.5, h - 2 * r - 0.5, 2 * r, 2 * r), 270, 90);
    border.lineTo(w - 0.5, 0);
    p.setPen(QPen(QColor(150, 170, 200), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(border);
}

// Icons draw themselves into a box about 12 pixels square.
using Icon = std::function<void(QPainter&, const QRectF&, QColor)>;

QPen icon_pen(QColor c, double width = 1.6) {
    return QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void icon_power(QPainter& p, const QRectF& b, QColor c) {
    p.setPen(icon_pen(c, 1.6));
    p.setBrush(Qt::NoBrush);
    const QRectF ring = b.adjusted(1, 1.5, -1, -0.5);
    p.drawArc(ring, 120 * 16, -240 * 16);
    p.drawLine(QPointF(b.center().x(), b.top() + 0.5), QPointF(b.center().x(), b.center().y()));
}

void icon_play(QPainter& p, const QRectF& b, QColor c) {
    QPainterPath t;
    t.moveTo(b.left() + 2, b.top() + 0.5);
    t.lineTo(b.right() - 0.5, b.center().y());
    t.lineTo(b.left() + 2, b.bottom() - 0.5);
    t.closeSubpath();
    p.setPen(icon_pen(c, 1.2));
    p.setBrush(c);
    p.drawPath(t);
}

void icon_play_all(QPainter& p, const QRectF& b, QColor c) {
    p.setPen(icon_pen(c, 1.2));
    p.setBrush(c);
    for (double dx : {0.0, 6.0}) {
        QPainterPath t;
        t.moveTo(b.left() - 1 + dx, b.top() + 1);
        t.lineTo(b.left() + 5.5 + dx, b.center().y());
        t.lineTo(b.left() - 1 + dx, b.bottom() - 1);
        t.closeSubpath();
        p.drawPath(t);
    }
}

void icon_cross(QPainter& p, const QRectF& b, QColor c) {
    p.setPen(icon_pen(c, 1.7));
    const QRectF r = b.adjusted(2, 2, -2, -2);
    p.drawLine(r.topLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomLeft());
}

enum class State { Normal, Pressed, Hover };
enum class Look { Chrome, Primary, Light };

// A button drawn over a copy of what lies under it, so that its rounded corners blend into the
// window exactly where the button sits.
QImage button(const QImage& under, Look look, State state, const QString& caption, const Icon& icon,
              int textPixels = 12) {
    QImage image = under.copy();
    QPainter p(&image);
    smooth(p);
    const QRectF r = QRectF(lrect(image)).adjusted(0.5, 0.5, -0.5, -0.5);
    const double radius = lh(image) >= 36 ? 8 : 6;
    QColor top, bottom, border, ink, iconInk;
    switch (look) {
        case Look::Chrome:
            top = state == State::Hover ? rgb(0x4A4F66) : rgb(0x3C4054);
            bottom = state == State::Hover ? rgb(0x3C4054) : rgb(0x30333F);
            if (state == State::Pressed) {
                top = rgb(0x24262F);
                bottom = rgb(0x2C2F3B);
            }
            border = state == State::Normal ? rgb(0x50556C) : kAccent;
            ink = state == State::Normal ? kChromeText : QColor(Qt::white);
            iconInk = state == State::Normal ? kAccentLight : QColor(Qt::white);
            break;
        case Look::Primary:
            top = state == State::Hover ? rgb(0x62A4FF) : kAccent;
            bottom = state == State::Hover ? rgb(0x3A86F5) : kAccentDark;
            if (state == State::Pressed) {
                top = rgb(0x2160C8);
                bottom = rgb(0x2C70DD);
            }
            border = rgb(0x1F56B5);
            ink = Qt::white;
            iconInk = Qt::white;
            break;
        case Look::Light:
            top = state == State::Pressed ? rgb(0xD5E2F3) : QColor(Qt::white);
            bottom = state == State::Pressed ? rgb(0xE2EBF7) : rgb(0xEAF0F8);
            if (state == State::Hover) {
                bottom = rgb(0xF2F7FE);
            }
            border = state == State::Normal ? rgb(0xA9BBD6) : kAccent;
            ink = rgb(0x1F3356);
            iconInk = kAccentDark;
            break;
    }
    QLinearGradient fill(0, 0, 0, lh(image));
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    // a soft drop shadow for the raised states
    if (state != State::Pressed && look != Look::Chrome) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(20, 40, 80, 30));
        p.drawRoundedRect(r.translated(0, 1), radius, radius);
    }
    p.setPen(QPen(border, 1));
    p.setBrush(fill);
    p.drawRoundedRect(r.adjusted(0, 0, 0, state == State::Pressed ? 0 : -1), radius, radius);
    if (state != State::Pressed) {
        p.setPen(QPen(QColor(255, 255, 255, look == Look::Light ? 200 : 34), 1));
        p.drawLine(QPointF(r.left() + radius, r.top() + 1),
                   QPointF(r.right() - radius, r.top() + 1));
    }

    // The label and its icon share the button; a narrow button takes a smaller label before
    // it gives up its icon.
    // An "&" marks the access key: underlined, and not itself drawn or measured.
    const QString shown = QString(caption).remove(QLatin1Char('&'));
    const double iconSize = lh(image) >= 36 ? 13 : 10;
    const double room = lw(image) - (lh(image) >= 36 ? 8 : 12);
    const bool narrow = lw(image) < 100;
    QFont f = font(textPixels, QFont::DemiBold, narrow);
    auto width_of = [&](const QFont& candidate, bool withIcon) {
        const double words = QFontMetricsF(candidate).horizontalAdvance(shown);
        return words + (withIcon ? iconSize + (caption.isEmpty() ? 0 : 5) : 0);
    };
    bool withIcon = static_cast<bool>(icon);
    while (width_of(f, withIcon) > room && f.pixelSize() > textPixels - 2) {
        f.setPixelSize(f.pixelSize() - 1);
    }
    if (width_of(f, withIcon) > room) {
        withIcon = false;
        f.setPixelSize(textPixels);
        while (width_of(f, false) > room && f.pixelSize() > 9) {
            f.setPixelSize(f.pixelSize() - 1);
        }
    }
    const double textWidth = QFontMetricsF(f).horizontalAdvance(shown);
    const double gap = caption.isEmpty() || !withIcon ? 0 : 5;
    const double total = width_of(f, withIcon);
    const double shift = state == State::Pressed ? 1 : 0;
    double x = (lw(image) - total) / 2 + shift;
    const double cy = lh(image) / 2.0 - 0.5 + shift;
    if (withIcon) {
        icon(p, QRectF(x, cy - iconSize / 2, iconSize, iconSize), iconInk);
        x += iconSize + gap;
    }
    p.setFont(f);
    p.setPen(ink);
    p.drawText(QRectF(x, 0 + shift, textWidth + 2, lh(image) - 1),
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, caption);
    return image;
}

enum class Mark { Check, Radio };

// Check boxes and radio buttons are pictures with their captions in them: normal is unchecked,
// "pressed" is checked, hover is unchecked under the mouse.
QImage box_picture(const QImage& under, Mark mark, State state, const QString& text, bool dark) {
    QImage image = under.copy();
    QPainter p(&image);
    smooth(p);
    const double size = 15;
    const QRectF box(3.5, (lh(image) - size) / 2, size, size);
    const bool checked = state == State::Pressed;
    QColor border = dark ? rgb(0x767C96) : rgb(0x94A6C2);
    QColor fill = dark ? QColor(255, 255, 255, 10) : QColor(Qt::white);
    if (state == State::Hover) {
        border = kAccent;
        fill = dark ? QColor(61, 139, 253, 40) : rgb(0xEEF5FF);
    }
    if (checked) {
        border = kAccentDark;
        fill = kAccent;
    }
    p.setPen(QPen(border, 1.2));
    p.setBrush(fill);
    if (mark == Mark::Check) {
        p.drawRoundedRect(box, 3.5, 3.5);
        if (checked) {
            p.setPen(icon_pen(Qt::white, 2));
            QPainterPath tick;
            tick.moveTo(box.left() + 3.6, box.center().y() + 0.4);
            tick.lineTo(box.left() + 6.4, box.bottom() - 3.8);
            tick.lineTo(box.right() - 3.4, box.top() + 4);
            p.setBrush(Qt::NoBrush);
            p.drawPath(tick);
        }
    } else {
        if (checked) {
            p.setBrush(Qt::white);
            p.setPen(QPen(kAccent, 1.4));
            p.drawEllipse(box.adjusted(0.2, 0.2, -0.2, -0.2));
            p.setPen(Qt::NoPen);
            p.setBrush(kAccent);
            p.drawEllipse(box.center(), 3.8, 3.8);
        } else {
            p.drawEllipse(box);
        }
    }
    const QColor ink = dark ? (state == State::Normal ? kChromeText : QColor(Qt::white)) : kLabel;
    label(p, QRectF(box.right() + 8, 0, lw(image) - box.right() - 8, lh(image)), text, ink,
          font(12, checked ? QFont::DemiBold : QFont::Normal));
    return image;
}

// The window buttons of the header: one picture each, the key colour wherever the glyph left
// the header untouched, so that the button shows the window's own header around its glyph.
QImage header_glyph(const QImage& under, int which) {
    QImage image = under.copy().convertToFormat(QImage::Format_ARGB32);
    const QImage before = image.copy();
    {
        QPainter p(&image);
        smooth(p);
        const QColor ink = rgb(0xD2D7E4);
        const QPointF c(lw(image) / 2.0, lh(image) / 2.0);
        p.setPen(icon_pen(ink, 1.6));
        if (which == pictures::MAIN_MENU) {
            for (double dy : {-4.0, 0.0, 4.0}) {
                p.drawLine(QPointF(c.x() - 6, c.y() + dy), QPointF(c.x() + 6, c.y() + dy));
            }
        } else if (which == pictures::MINIMIZE) {
            p.drawLine(QPointF(c.x() - 5.5, c.y() + 3.5), QPointF(c.x() + 5.5, c.y() + 3.5));
        } else {
            p.drawLine(QPointF(c.x() - 4.5, c.y() - 4.5), QPointF(c.x() + 4.5, c.y() + 4.5));
            p.drawLine(QPointF(c.x() + 4.5, c.y() - 4.5), QPointF(c.x() - 4.5, c.y() + 4.5));
        }
    }
    const QRgb key = pictures::MENU_BUTTON_KEY.rgb();
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        const auto* was = reinterpret_cast<const QRgb*>(before.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (row[x] == was[x]) {
                row[x] = key;
            }
        }
    }
    return image;
}

void logo(QPainter& p, const QRectF& r) {
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, rgb(0x6AB0FF));
    g.setColorAt(1, rgb(0x2A62D8));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(r, r.width() * 0.28, r.width() * 0.28);
    // a waveform settling into a flat line: compressed sound becoming plain samples
    const double s = r.width();
    p.setPen(icon_pen(Qt::white, s / 12));
    const double heights[] = {0.18, 0.42, 0.62, 0.34, 0.5, 0.22};
    const double step = s * 0.13;
    double x = r.left() + s * 0.175;
    for (double h : heights) {
        const double half = h * s / 2;
        p.drawLine(QPointF(x, r.center().y() - half), QPointF(x, r.center().y() + half));
        x += step;
    }
}

QImage main_background() {
    const int w = layout::MAIN_WINDOW.width;
    const int h = layout::MAIN_WINDOW.height;
    QImage image = blank(w, h);
    const QRegion shape = outline::region();
    QPainter p(&image);
    p.setClipRegion(shape);
    QLinearGradient body(0, 0, 0, h);
    body.setColorAt(0, kChromeTop);
    body.setColorAt(0.16, rgb(0x262834));
    body.setColorAt(1, kChromeBottom);
    p.fillRect(lrect(image), body);
    smooth(p);

    // header: a slightly lighter band with a hairline under it
    QLinearGradient header(0, 0, 0, 42);
    header.setColorAt(0, QColor(255, 255, 255, 16));
    header.setColorAt(1, QColor(255, 255, 255, 4));
    p.fillRect(QRectF(0, 0, w, 42), header);
    p.setPen(QPen(QColor(0, 0, 0, 90), 1));
    p.drawLine(QPointF(0, 41.5), QPointF(w, 41.5));
    p.setPen(QPen(QColor(255, 255, 255, 14), 1));
    p.drawLine(QPointF(0, 42.5), QPointF(w, 42.5));

    logo(p, QRectF(16, 10, 24, 24));
    label(p, QRectF(48, 8, 140, 28), QStringLiteral("Pelmora"), Qt::white, font(19, QFont::Bold));
    // the tagline in the middle of the header, between the two tabs
    label(p,
          QRectF(outline::LEFT_TAB, outline::BODY_TOP,
                 outline::W - outline::RIGHT_TAB - outline::LEFT_TAB, 42 - outline::BODY_TOP),
          QStringLiteral("MP3 to WAV converter"), kChromeDim, font(12, QFont::Normal),
          Qt::AlignCenter);

    // a recessed well for the list
    const QRectF well = rect_of(layout::FILE_LIST).adjusted(-1.5, -1.5, 1.5, 1.5);
    p.setPen(QPen(QColor(0, 0, 0, 110), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(well, 3, 3);
    p.setPen(QPen(QColor(255, 255, 255, 16), 1));
    p.drawLine(QPointF(well.left() + 3, well.bottom() + 1),
               QPointF(well.right() - 3, well.bottom() + 1));

    // a soft shadow under the pages, which are cut to their own outline
    const QRectF page = rect_of(layout::PAGE);
    p.setPen(Qt::NoPen);
    for (int i = 1; i <= 3; ++i) {
        p.setBrush(QColor(0, 0, 0, 26 - 6 * i));
        p.drawRoundedRect(page.adjusted(-i, 0, i, i), layout::PAGE_CORNER_RADIUS + i,
                          layout::PAGE_CORNER_RADIUS + i);
    }

    // the edge: a dark line along the outline and a faint light one inside it
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kChromeEdge, 2));
    p.drawPath(outline::path());
    p.setPen(QPen(QColor(255, 255, 255, 22), 1));
    p.drawPath(outline::path().translated(0, 1.2));
    return image;
}

QImage output_page() {
    QImage image = page_base();
    page_edge(image);
    QPainter p(&image);
    smooth(p);
    card(p, layout::OUTPUT_GROUP, QStringLiteral("Output options"));
    label(p, rect_of(layout::OUTPUT_FOLDER_CAPTION), QStringLiteral("O&utput folder:"), kLabel,
          font(12, QFont::Normal));
    label(p, rect_of(layout::EXISTING_CAPTION), QStringLiteral("If the WAV file exists:"), kLabel,
          font(12, QFont::Normal));
    return image;
}

QImage info_page() {
    QImage image = page_base();
    page_edge(image);
    QPainter p(&image);
    smooth(p);
    card(p, layout::MPEG_GROUP, QStringLiteral("Mpeg Info"));
    // The header lines sit on the page colour: a recessed display inside the group.
    const Box first = layout::INFO_PROMPT;
    const QRectF display(
        first.x - 1.5, first.y - 2.5, first.width + 3,
        layout::INFO_LINE_FIRST.y + 4 * layout::INFO_LINE_FIRST.height - first.y + 4);
    p.setPen(QPen(rgb(0xC9D6E8), 1));
    p.setBrush(kPage);
    p.drawRoundedRect(display, 4, 4);
    card(p, layout::TAG_GROUP, QStringLiteral("ID3 Tag"));
    const QFont f = font(12, QFont::Normal, true);
    auto caption = [&](Box field, const QString& text) {
        label(p,
              QRectF(layout::TAG_CAPTION_X, field.y, field.x - layout::TAG_CAPTION_X - 6,
                     field.height),
              text, kLabel, f);
    };
    auto caption_before = [&](Box field, const QString& text) {
        label(p, QRectF(field.x - 50, field.y, 46, field.height), text, kLabel, f,
              Qt::AlignRight | Qt::AlignVCenter);
    };
    caption(layout::TAG_TITLE, QStringLiteral("Title"));
    caption_before(layout::TAG_TRACK, QStringLiteral("Track #"));
    caption(layout::TAG_ARTIST, QStringLiteral("Artist"));
    caption_before(layout::TAG_YEAR, QStringLiteral("Year"));
    caption(layout::TAG_ALBUM, QStringLiteral("Album"));
    caption(layout::TAG_GENRE, QStringLiteral("Genre"));
    caption(layout::TAG_COMMENT, QStringLiteral("Comment"));
    return image;
}

// The thumb's centre for a position, as the slider computes it with no margins.
int slider_centre(int position) {
    const int w = layout::FADE_IN_SLIDER.width;
    const int t = layout::SLIDER_THUMB_WIDTH;
    return (w - t) * position / layout::FADE_MAXIMUM + t / 2;
}

QImage options_page() {
    QImage image = page_base();
    page_edge(image);
    QPainter p(&image);
    smooth(p);
    card(p, layout::QUALITY_GROUP, QStringLiteral("Quality select"));
    card(p, layout::EFFECTS_GROUP, QStringLiteral("Effects"));
    const QFont f = font(12, QFont::Normal);
    const QFont small = font(10, QFont::Normal);
    for (const auto& [slider, text] :
         {std::pair{layout::FADE_IN_SLIDER, QStringLiteral("&Fade in")},
          std::pair{layout::FADE_OUT_SLIDER, QStringLiteral("Fade o&ut")}}) {
        label(p, QRectF(20, slider.y, slider.x - 22, slider.height), text, kLabel, f);
        // a scale under the channel, every ten seconds, labelled at 0, 30 and 60
        for (int s = 0; s <= layout::FADE_MAXIMUM; s += 10) {
            const double x = slider.x + slider_centre(s) + 0.5;
            const bool major = s % 30 == 0;
            p.setPen(QPen(rgb(0x9AACC8), 1));
            p.drawLine(QPointF(x, slider.bottom() + 1),
                       QPointF(x, slider.bottom() + (major ? 5 : 3)));
            if (major) {
                const QString t =
                    s == layout::FADE_MAXIMUM ? QStringLiteral("%1 s").arg(s) : QString::number(s);
                label(p, QRectF(x - 20, slider.bottom() + 5, 40, 12), t, rgb(0x6B7A96), small,
                      Qt::AlignHCenter | Qt::AlignTop);
            }
        }
    }
    return image;
}

// Every pixel outside the shape, as an unsmoothed fill draws it, back to pure green: a smoothed
// clip or stroke may have tinted some of them, and a tinted one survives the cut.
void green_outside(QImage& image, const QPainterPath& shape) {
    QImage inside(image.size(), QImage::Format_ARGB32);
    inside.setDevicePixelRatio(image.devicePixelRatio());
    inside.fill(Qt::transparent);
    {
        QPainter p(&inside);
        p.fillPath(shape, Qt::black);
    }
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(inside.pixel(x, y)) == 0) {
                image.setPixel(x, y, kGreen.rgb());
            }
        }
    }
}

QImage about_background() {
    const int w = layout::ABOUT_DIALOG.width;
    const int h = layout::ABOUT_DIALOG.height;
    const int header = layout::ABOUT_HEADER_HEIGHT;
    QImage image = blank(w, h, kGreen);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(0, 0, w, h), 12, 12);
    {
        QPainter p(&image);
        p.fillPath(shape, Qt::white);
    }
    QPainter p(&image);
    p.setClipPath(shape);
    smooth(p);
    QLinearGradient band(0, 0, 0, header);
    band.setColorAt(0, kChromeTop);
    band.setColorAt(1, rgb(0x22242E));
    p.fillRect(QRectF(0, 0, w, header), band);
    p.setPen(QPen(kAccent, 2));
    p.drawLine(QPointF(0, header - 1), QPointF(w, header - 1));
    logo(p, QRectF(20, 18, 46, 46));
    label(p, QRectF(80, 16, 280, 30), QStringLiteral("Pelmora"), Qt::white, font(24, QFont::Bold));
    label(p, QRectF(81, 44, 280, 20), QStringLiteral("MP3 to WAV converter"), kChromeDim,
          font(12, QFont::Normal));
    // footer behind the Close button
    const double foot = layout::ABOUT_CLOSE_BUTTON.y - 12;
    p.fillRect(QRectF(0, foot, w, h - foot), rgb(0xF1F5FB));
    p.setPen(QPen(rgb(0xDCE4F0), 1));
    p.drawLine(QPointF(0, foot + 0.5), QPointF(w, foot + 0.5));
    // The border stays inside the outline: drawn across it, its smoothed pixels would mix with
    // the green outside into colours the region keeps, a green fringe at the corners.
    p.setPen(QPen(rgb(0x8892A8), 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);
    p.end();
    green_outside(image, shape);
    return image;
}

QImage list_background() {
    const int w = layout::FILE_LIST.width - layout::LIST_SCROLL_BAR_WIDTH;
    const int h = layout::FILE_LIST.height;
    QImage image = blank(w, h, kList);
    QPainter p(&image);
    smooth(p);
    // an empty list says what it is for
    const QPointF c(w / 2.0, h / 2.0 - 26);
    p.setPen(QPen(QColor(255, 255, 255, 46), 1.6, Qt::DashLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(24.5, 40.5, w - 49, h - 81), 12, 12);
    QPainterPath doc;
    doc.moveTo(c.x() - 18, c.y() - 24);
    doc.lineTo(c.x() + 8, c.y() - 24);
    doc.lineTo(c.x() + 18, c.y() - 14);
    doc.lineTo(c.x() + 18, c.y() + 24);
    doc.lineTo(c.x() - 18, c.y() + 24);
    doc.closeSubpath();
    p.setPen(QPen(QColor(150, 160, 190, 150), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(255, 255, 255, 12));
    p.drawPath(doc);
    p.drawLine(QPointF(c.x() + 8, c.y() - 24), QPointF(c.x() + 8, c.y() - 14));
    p.drawLine(QPointF(c.x() + 8, c.y() - 14), QPointF(c.x() + 18, c.y() - 14));
    // a note on the page
    p.setPen(QPen(kAccentLight, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(c.x() + 3, c.y() - 8), QPointF(c.x() + 3, c.y() + 10));
    p.drawLine(QPointF(c.x() + 3, c.y() - 8), QPointF(c.x() + 9, c.y() - 5));
    p.setPen(Qt::NoPen);
    p.setBrush(kAccentLight);
    p.drawEllipse(QPointF(c.x() - 0.5, c.y() + 10.5), 4, 3.2);
    label(p, QRectF(0, c.y() + 36, w, 20), QStringLiteral("Drop MP3 files or folders here"),
          rgb(0xC9CEDD), font(13, QFont::DemiBold), Qt::AlignHCenter | Qt::AlignVCenter);
    label(p, QRectF(0, c.y() + 56, w, 18), QStringLiteral("or use Add Files and Add Folder below"),
          rgb(0x8A90A6), font(11, QFont::Normal), Qt::AlignHCenter | Qt::AlignVCenter);
    return image;
}

QImage list_arrow(bool up) {
    QImage image = blank(layout::LIST_SCROLL_BAR_WIDTH, 15, rgb(0x2F3240));
    QPainter p(&image);
    smooth(p);
    p.setPen(icon_pen(rgb(0xAEB4C8), 1.5));
    const double cx = lw(image) / 2.0;
    const double cy = lh(image) / 2.0;
    const double d = up ? -1 : 1;
    p.drawLine(QPointF(cx - 3, cy - 1.5 * d), QPointF(cx, cy + 1.5 * d));
    p.drawLine(QPointF(cx, cy + 1.5 * d), QPointF(cx + 3, cy - 1.5 * d));
    return image;
}

// One tile of the progress fill; stripes at 45 degrees with a period that divides the width,
// so that tiles placed side by side continue each other.
QImage bar_fill(int width, int height) {
    QImage image = blank(width, height);
    QPainter p(&image);
    QLinearGradient g(0, 0, 0, height);
    g.setColorAt(0, rgb(0x74B4FF));
    g.setColorAt(0.5, kAccent);
    g.setColorAt(1, rgb(0x2A6AE0));
    p.fillRect(lrect(image), g);
    smooth(p);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 30));
    const int period = 12;
    for (int x0 = -2 * period; x0 < width + period; x0 += period) {
        QPolygonF stripe;
        stripe << QPointF(x0, height) << QPointF(x0 + height, 0) << QPointF(x0 + height + 5, 0)
               << QPointF(x0 + 5, height);
        p.drawPolygon(stripe);
    }
    p.fillRect(QRectF(0, 0, width, 1), QColor(255, 255, 255, 70));
    return image;
}

QImage slider_channel(bool active) {
    const Box s = layout::FADE_IN_SLIDER;
    QImage image = blank(s.width, s.height);
    QPainter p(&image);
    smooth(p);
    const double left = slider_centre(0);
    const double right = slider_centre(layout::FADE_MAXIMUM);
    const QRectF track(left - 2, s.height / 2.0 - 2, right - left + 4, 4);
    p.setPen(Qt::NoPen);
    if (active) {
        QLinearGradient g(track.left(), 0, track.right(), 0);
        g.setColorAt(0, kAccentLight);
        g.setColorAt(1, kAccent);
        p.setBrush(g);
    } else {
        p.setBrush(rgb(0xBCCBE0));
    }
    p.drawRoundedRect(track, 2, 2);
    return image;
}

QImage slider_thumb(bool pressed) {
    QImage image = blank(layout::SLIDER_THUMB_WIDTH, layout::FADE_IN_SLIDER.height);
    QPainter p(&image);
    smooth(p);
    const QPointF c(lw(image) / 2.0, lh(image) / 2.0);
    QRadialGradient shadow(c + QPointF(0, 1.5), 8);
    shadow.setColorAt(0.7, QColor(10, 30, 70, 60));
    shadow.setColorAt(1, QColor(10, 30, 70, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shadow);
    p.drawEllipse(c + QPointF(0, 1.5), 8, 8);
    p.setBrush(pressed ? kAccent : QColor(Qt::white));
    p.setPen(QPen(pressed ? kAccentDark : kAccent, 2));
    p.drawEllipse(c, 6, 6);
    p.setPen(Qt::NoPen);
    p.setBrush(pressed ? QColor(Qt::white) : kAccent);
    p.drawEllipse(c, 2, 2);
    return image;
}

class Renderer {
public:
    std::optional<QImage> picture(int id);

private:
    const QImage& background(int id);
    QImage under(int parent, Box box) {
        const QRect device(qRound(box.x * g_scale), qRound(box.y * g_scale),
                           qRound(box.width * g_scale), qRound(box.height * g_scale));
        QImage part = background(parent).copy(device);
        part.setDevicePixelRatio(g_scale);
        return part;
    }

    std::map<int, QImage> backgrounds_;
};

const QImage& Renderer::background(int id) {
    auto found = backgrounds_.find(id);
    if (found == backgrounds_.end()) {
        QImage made;
        switch (id) {
            case pictures::MAIN_BACKGROUND:
                made = main_background();
                break;
            case pictures::OUTPUT_PAGE:
                made = output_page();
                break;
            case pictures::INFO_PAGE:
                made = info_page();
                break;
            case pictures::OPTIONS_PAGE:
                made = options_page();
                break;
            case pictures::ABOUT_BACKGROUND:
                made = about_background();
                break;
            default:  // the progress dialog has no picture, only its colour
                made = blank(layout::PROGRESS_DIALOG.width, layout::PROGRESS_DIALOG.height,
                             rgb(layout::PROGRESS_COLOUR));
                break;
        }
        found = backgrounds_.emplace(id, made).first;
    }
    return found->second;
}

std::optional<QImage> Renderer::picture(int id) {
    using namespace pictures;
    constexpr int PROGRESS = -1;
    struct ButtonArt {
        Triple ids;
        int parent;
        Box box;
        Look look;
        const char* text;
        Icon icon;
        int pixels;
    };
    const ButtonArt buttons[] = {
        // The row under the list is too narrow for icons: words alone, all at one size.
        {ADD_FILES, MAIN_BACKGROUND, layout::ADD_FILES_BUTTON, Look::Chrome, "&Add Files", nullptr,
         11},
        {ADD_FOLDER, MAIN_BACKGROUND, layout::ADD_FOLDER_BUTTON, Look::Chrome, "Add Fol&der",
         nullptr, 11},
        {REMOVE, MAIN_BACKGROUND, layout::REMOVE_BUTTON, Look::Chrome, "&Remove", nullptr, 11},
        {CLEAR, MAIN_BACKGROUND, layout::CLEAR_BUTTON, Look::Chrome, "&Clear All", nullptr, 11},
        {EXIT, MAIN_BACKGROUND, layout::EXIT_BUTTON, Look::Chrome, "E&xit", icon_power, 11},
        {DECODE_SELECTED, OUTPUT_PAGE, layout::DECODE_SELECTED_BUTTON, Look::Light, "D&ecode",
         icon_play, 12},
        {DECODE_ALL, OUTPUT_PAGE, layout::DECODE_ALL_BUTTON, Look::Primary, "Decode A&ll",
         icon_play_all, 12},
        {BROWSE, OUTPUT_PAGE, layout::BROWSE_BUTTON, Look::Light, "...", nullptr, 13},
        {CANCEL, PROGRESS, layout::CANCEL_BUTTON, Look::Chrome, "&Cancel", icon_cross, 12},
        {ABOUT_CLOSE, ABOUT_BACKGROUND, layout::ABOUT_CLOSE_BUTTON, Look::Light, "&Close", nullptr,
         12},
    };
    for (const ButtonArt& b : buttons) {
        for (int i = 0; i < 3; ++i) {
            if (b.ids[static_cast<std::size_t>(i)] == id) {
                return button(under(b.parent, b.box), b.look, static_cast<State>(i),
                              QString::fromLatin1(b.text), b.icon, b.pixels);
            }
        }
    }
    struct BoxArt {
        Triple ids;
        int parent;
        Box box;
        Mark mark;
        const char* text;
    };
    const BoxArt boxes[] = {
        {ALWAYS_ON_TOP, MAIN_BACKGROUND, layout::ALWAYS_ON_TOP_BOX, Mark::Check, "Always On &Top"},
        {OPEN_FOLDER_BOX, OUTPUT_PAGE, layout::OPEN_FOLDER_BOX, Mark::Check,
         "Ope&n output folder after decoding"},
        {EXIT_WHEN_DONE_BOX, OUTPUT_PAGE, layout::EXIT_WHEN_DONE_BOX, Mark::Check,
         "Exit &when done decoding"},
        {KEEP_FOLDERS_BOX, OUTPUT_PAGE, layout::KEEP_FOLDERS_BOX, Mark::Check,
         "&Keep folder structure"},
        // one choice of three: drawn as radio buttons
        {EXISTING_OVERWRITE_BOX, OUTPUT_PAGE, layout::EXISTING_OVERWRITE_BOX, Mark::Radio,
         "O&verwrite"},
        {EXISTING_SKIP_BOX, OUTPUT_PAGE, layout::EXISTING_SKIP_BOX, Mark::Radio, "&Skip"},
        {EXISTING_RENAME_BOX, OUTPUT_PAGE, layout::EXISTING_RENAME_BOX, Mark::Radio, "Keep bot&h"},
        {BITS_16, OPTIONS_PAGE, layout::BITS_16_BUTTON, Mark::Radio, "&16 - bit (CD)"},
        {BITS_8, OPTIONS_PAGE, layout::BITS_8_BUTTON, Mark::Radio, "&8 - bit (low)"},
        {NORMALIZE, OPTIONS_PAGE, layout::NORMALIZE_BOX, Mark::Check, "&Normalize"},
        {SKIP_SILENCE, OPTIONS_PAGE, layout::SKIP_SILENCE_BOX, Mark::Check,
         "Delete leading and trailing &silence"},
        {EXACT_LENGTH, OPTIONS_PAGE, layout::EXACT_LENGTH_BOX, Mark::Check, "Exact len&gth"},
        {COPY_TAGS, OPTIONS_PAGE, layout::COPY_TAGS_BOX, Mark::Check, "Cop&y tags into the WAV"},
    };
    for (const BoxArt& b : boxes) {
        for (int i = 0; i < 3; ++i) {
            if (b.ids[static_cast<std::size_t>(i)] == id) {
                return box_picture(under(b.parent, b.box), b.mark, static_cast<State>(i),
                                   QString::fromLatin1(b.text), b.parent == MAIN_BACKGROUND);
            }
        }
    }
    switch (id) {
        case MAIN_BACKGROUND:
        case OUTPUT_PAGE:
        case INFO_PAGE:
        case OPTIONS_PAGE:
        case ABOUT_BACKGROUND:
            return background(id);
        case CLOSE:
            return header_glyph(under(MAIN_BACKGROUND, layout::CLOSE_BUTTON), id);
        case MINIMIZE:
            return header_glyph(under(MAIN_BACKGROUND, layout::MINIMIZE_BUTTON), id);
        case MAIN_MENU:
            return header_glyph(under(MAIN_BACKGROUND, layout::MAIN_MENU_BUTTON), id);
        case BAR_FILL:
            for (const Picture& pic : ALL) {
                if (pic.id == BAR_FILL) {
                    return bar_fill(pic.width, pic.height);
                }
            }
            return std::nullopt;
        case SLIDER_CHANNEL:
            return slider_channel(false);
        case SLIDER_ACTIVE_CHANNEL:
            return slider_channel(true);
        case SLIDER_THUMB:
            return slider_thumb(false);
        case SLIDER_THUMB_PRESSED:
            return slider_thumb(true);
        case LIST_BACKGROUND:
            return list_background();
        case LIST_ARROW_DOWN:
            return list_arrow(false);
        case LIST_ARROW_UP:
            return list_arrow(true);
        default:
            return std::nullopt;
    }
}

bool write_file(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: render_skin OUTPUT_FOLDER NUMBER.png|NUMBER.rgn...\n");
        return 2;
    }
    const QDir out(args.at(1));
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "render_skin: cannot create %s\n", qPrintable(out.path()));
        return 1;
    }
    // One renderer per ratio: each keeps the backgrounds it drew for the pictures over them.
    Renderer single;
    Renderer twice;
    for (qsizetype i = 2; i < args.size(); ++i) {
        const QFileInfo name(args.at(i));
        QString base = name.completeBaseName();
        // "NUMBER@2x.png": the same picture for a device pixel ratio of 2.
        const bool doubled = base.endsWith(QStringLiteral("@2x"));
        if (doubled) {
            base.chop(3);
        }
        g_scale = doubled ? 2 : 1;
        Renderer& renderer = doubled ? twice : single;
        bool isNumber = false;
        const int id = base.toInt(&isNumber);
        const QString path = out.filePath(name.fileName());
        if (isNumber && name.suffix() == QStringLiteral("rgn") && id == pictures::MAIN_REGION) {
            if (outline::rectangles().size() != outline::RECTANGLES) {
                std::fprintf(stderr, "render_skin: the outline has %zu rectangles, not %d\n",
                             outline::rectangles().size(), outline::RECTANGLES);
                return 1;
            }
            if (!write_file(path, outline::data_block())) {
                std::fprintf(stderr, "render_skin: cannot write %s\n", qPrintable(path));
                return 1;
            }
            continue;
        }
        const std::optional<QImage> image = isNumber && name.suffix() == QStringLiteral("png")
                                                ? renderer.picture(id)
                                                : std::nullopt;
        if (!image) {
            std::fprintf(stderr, "render_skin: no picture %s\n", qPrintable(args.at(i)));
            return 1;
        }
        const auto size = std::find_if(pictures::ALL.begin(), pictures::ALL.end(),
                                       [id](const pictures::Picture& p) { return p.id == id; });
        if (size == pictures::ALL.end() || lw(*image) != size->width ||
            lh(*image) != size->height || image->width() != qRound(size->width * g_scale) ||
            image->height() != qRound(size->height * g_scale)) {
            std::fprintf(stderr, "render_skin: picture %d has the wrong size\n", id);
            return 1;
        }
        if (!image->save(path, "PNG")) {
            std::fprintf(stderr, "render_skin: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
