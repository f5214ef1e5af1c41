#include "app/skin/skin.h"

#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QResource>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <vector>

QFont font_for_cell_height(const QStringList& families, int cellHeight, int weight) {
    QFont font;
    font.setFamilies(families);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setStyleStrategy(QFont::PreferAntialias);
    for (int pixels = cellHeight; pixels > 1; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetrics(font).height() <= cellHeight) {
            break;
        }
    }
    return font;
}

QString skin_picture_path(int id) {
    return QStringLiteral(":/skin/%1.png").arg(id);
}

QString skin_data_path(int id) {
    return QStringLiteral(":/skin/%1.rgn").arg(id);
}

double skin_ratio() {
    return qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0;
}

QImage skin_picture(int id, double ratio) {
    if (ratio > 1.0) {
        QImage sharp(QStringLiteral(":/skin/%1@2x.png").arg(id));
        if (!sharp.isNull()) {
            if (ratio < 2.0) {
                // Drawn for 2, brought down to the screen's own pixels once, here, rather than
                // at every paint.
                const QSize device(qRound(sharp.width() / 2.0 * ratio),
                                   qRound(sharp.height() / 2.0 * ratio));
                sharp = sharp.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                sharp.setDevicePixelRatio(ratio);
            } else {
                sharp.setDevicePixelRatio(2.0);
            }
            return sharp;
        }
    }
    return QImage(skin_picture_path(id));
}

QImage skin_picture(int id) {
    return skin_picture(id, skin_ratio());
}

QPixmap skin_pixmap(int id) {
    return QPixmap::fromImage(skin_picture(id));
}

QSize logical_size(const QImage& picture) {
    return picture.deviceIndependentSize().toSize();
}

QSize logical_size(const QPixmap& picture) {
    return picture.deviceIndependentSize().toSize();
}

namespace {

struct Bounds {
    int low;
    int high;
};

Bounds channel_bounds(int v) {
    return {v <= 16 ? 0 : v - 17, v <= 238 ? v + 17 : 255};
}

bool within(int v, Bounds b) {
    return v >= b.low && v <= b.high;
}

}  // namespace

std::optional<QRegion> MakeRegionFromBitmap(const QImage& bitmap, QRgb transparent, bool invert) {
    if (bitmap.isNull()) {
        return std::nullopt;
    }
    const QImage pixels = bitmap.convertToFormat(QImage::Format_RGB32);
    if (pixels.isNull()) {
        return std::nullopt;
    }
    const int r = qRed(transparent);
    const int g = qGreen(transparent);
    const int b = qBlue(transparent);
    Bounds red = channel_bounds(r);
    Bounds green = channel_bounds(g);
    Bounds blue = channel_bounds(b);
    if (r == 0 && g == 0 && b == 0) {
        red = green = blue = {0, 16};
    } else if (r == 255 && g == 255 && b == 255) {
        red = green = blue = {239, 255};
    }

    // Rectangles gather in a buffer that becomes a region every 3000 rectangles: one large
    // union is far cheaper than one per run.
    constexpr std::size_t kGrowth = 100;
    constexpr std::size_t kFlushAt = 3000;
    QRegion result;
    std::vector<QRect> buffer;
    buffer.reserve(kGrowth);
    auto flush = [&] {
        QRegion part;
        part.setRects(buffer.data(), static_cast<int>(buffer.size()));
        result += part;
        buffer.clear();
    };
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        int x = 0;
        while (x < pixels.width()) {
            auto kept = [&](int at) {
                const QRgb p = row[at];
                const bool clear =
                    within(qRed(p), red) && within(qGreen(p), green) && within(qBlue(p), blue);
                return clear == invert;
            };
            if (!kept(x)) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < pixels.width() && kept(x)) {
                ++x;
            }
            if (buffer.size() == buffer.capacity()) {
                buffer.reserve(buffer.capacity() + kGrowth);
            }
            buffer.emplace_back(start, y, x - start, 1);
            if (buffer.size() == kFlushAt) {
                flush();
            }
        }
    }
    flush();
    return result;
}

namespace {

qint32 le32(const QByteArray& bytes, qsizetype at) {
    quint32 v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | static_cast<quint8>(bytes.at(at + i));
    }
    return static_cast<qint32>(v);
}

constexpr qsizetype kHeaderSize = 32;
constexpr qint32 kRectangles = 1;

}  // namespace

std::optional<QRegion> region_from_data(const QByteArray& block) {
    if (block.size() < kHeaderSize || le32(block, 0) != kHeaderSize ||
        le32(block, 4) != kRectangles) {
        return std::nullopt;
    }
    const qint32 count = le32(block, 8);
    const qint32 bytes = le32(block, 12);
    // The rectangle byte count may be left 0 by a writer that did not know it; when given, it
    // has to agree with the count.
    if (count < 0 || (bytes != 0 && bytes != 16 * static_cast<qint64>(count)) ||
        block.size() - kHeaderSize < 16 * static_cast<qint64>(count)) {
        return std::nullopt;
    }
    QRegion region;
    for (qint32 i = 0; i < count; ++i) {
        const qsizetype at = kHeaderSize + 16 * static_cast<qsizetype>(i);
        const qint32 left = le32(block, at);
        const qint32 top = le32(block, at + 4);
        const qint32 right = le32(block, at + 8);
        const qint32 bottom = le32(block, at + 12);
        // right and bottom are exclusive; an empty rectangle adds nothing
        if (left < right && top < bottom) {
            region += QRect(left, top, right - left, bottom - top);
        }
    }
    return region;
}

bool EmbeddedResources::find(int id) {
    path_ = skin_data_path(id);
    return QResource(path_).isValid();
}

bool EmbeddedResources::load() {
    return QResource(path_).data() != nullptr;
}

qint64 EmbeddedResources::size() {
    return QResource(path_).uncompressedSize();
}

std::optional<QByteArray> EmbeddedResources::lock() {
    const QResource resource(path_);
    QByteArray bytes = resource.uncompressedData();
    if (bytes.size() != resource.uncompressedSize()) {
        return std::nullopt;
    }
    return bytes;
}

int ApplyRegionResource(QWidget* window, int id, const RegionMessage& message,
                        DataResources& resources) {
    const QString caption = QStringLiteral("Init Region");
    auto fail = [&](const char* text) {
        message(caption, QString::fromLatin1(text));
        return 0;
    };
    if (!resources.find(id)) {
        return fail("failed to find region");
    }
    if (!resources.load()) {
        return fail("failed to load region");
    }
    if (resources.size() == 0) {
        return fail("region has an invalid size");
    }
    const std::optional<QByteArray> block = resources.lock();
    if (!block) {
        return fail("failed to lock resource memory");
    }
    const std::optional<QRegion> region = region_from_data(*block);
    if (!region) {
        return fail("failed to create a region from that data");
    }
    if (window == nullptr) {
        return fail("failed to set the region for that window");
    }
    window->setMask(*region);
    window->update();
    return 1;
}

int ApplyRegionResource(QWidget* window, int id, const RegionMessage& message) {
    EmbeddedResources resources;
    return ApplyRegionResource(window, id, message, resources);
}

SkinnedDialog::SkinnedDialog(QWidget* window, int templateId)
    : QObject(window), window_(window), templateId_(templateId) {
    window_->installEventFilter(this);
}

bool SkinnedDialog::setBackground(int pictureId) {
    const QImage picture = skin_picture(pictureId);
    if (picture.isNull()) {
        return false;
    }
    setBackground(picture);
    return true;
}

void SkinnedDialog::setBackground(const QImage& picture) {
    background_ = picture;
    window_->update();
}

bool SkinnedDialog::makeRegionFromBackground(QRgb transparent, bool invert) {
    // The outline is in the window's own pixels: a picture drawn for a scaled screen is read
    // at its plain size, pixel for pixel.
    // A window pixel stays only when none of the picture's pixels under it is the cut-away
    // colour: a finer edge must not show a fringe of that colour inside the outline.
    QImage plain = background_;
    const double ratio = background_.devicePixelRatio();
    if (ratio != 1.0) {
        const QImage device = background_.convertToFormat(QImage::Format_RGB32);
        plain = QImage(logical_size(background_), QImage::Format_RGB32);
        for (int y = 0; y < plain.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(plain.scanLine(y));
            for (int x = 0; x < plain.width(); ++x) {
                const int left = static_cast<int>(x * ratio);
                const int top = static_cast<int>(y * ratio);
                const int right =
                    std::min(device.width(), static_cast<int>((x + 1) * ratio + 0.999));
                const int bottom =
                    std::min(device.height(), static_cast<int>((y + 1) * ratio + 0.999));
                QRgb kept = device.pixel(std::min(left, device.width() - 1),
                                         std::min(top, device.height() - 1));
                for (int dy = top; dy < bottom; ++dy) {
                    for (int dx = left; dx < right; ++dx) {
                        if ((device.pixel(dx, dy) & 0xFFFFFF) == (transparent & 0xFFFFFF)) {
                            kept = transparent;
                        }
                    }
                }
                row[x] = kept;
            }
        }
    }
    const std::optional<QRegion> made = MakeRegionFromBitmap(plain, transparent, invert);
    if (!made) {
        return false;
    }
    region_ = *made;
    return true;
}

void SkinnedDialog::applyRegion() {
    if (!region_.isEmpty()) {
        window_->setMask(region_);
    }
}

bool SkinnedDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_) {
        return false;
    }
    if (event->type() == QEvent::Paint && !background_.isNull()) {
        QPainter painter(window_);
        if (!region_.isEmpty()) {
            painter.setClipRegion(region_);
        }
        painter.drawImage(0, 0, background_);
    } else if (event->type() == QEvent::MouseButtonPress && drag_) {
        auto* press = static_cast<QMouseEvent*>(event);
        QWindow* handle = window_->window()->windowHandle();
        if (press->button() == Qt::LeftButton && handle != nullptr && handle->startSystemMove()) {
            return true;
        }
    }
    return false;
}
