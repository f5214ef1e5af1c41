#include "app/skin/slider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "app/skin/buttons.h"
#include "app/skin/skin.h"

namespace {

QPixmap keyed(const QImage& picture, bool transparent, const QColor& key, QPoint keyPoint) {
    if (picture.isNull() || !transparent) {
        return QPixmap::fromImage(picture);
    }
    QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    const QRgb cut = key.isValid() ? key.rgb() : image.pixel(keyPoint * image.devicePixelRatio());
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (row[x] == cut) {
                row[x] = 0;
            }
        }
    }
    return QPixmap::fromImage(image);
}

QImage picture_or_none(int id) {
    return id == 0 ? QImage() : skin_picture(id);
}

}  // namespace

SkinSlider::SkinSlider(Qt::Orientation orientation, QWidget* parent)
    : QSlider(orientation, parent) {
    setRange(0, 100);
    setPageStep(20);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void SkinSlider::SetMargins(int left, int top, int right, int bottom) {
    margins_ = QMargins(left, top, right, bottom);
    update();
}

bool SkinSlider::SetChannelPictures(int channelId, int activeId, bool transparent,
                                    const QColor& key, QPoint keyPoint) {
    const QImage channel = skin_picture(channelId);
    const QImage active = picture_or_none(activeId);
    if (channel.isNull() || (activeId != 0 && active.isNull())) {
        return false;
    }
    setChannelPictures(channel, active, transparent, key, keyPoint);
    return true;
}

bool SkinSlider::SetThumbPictures(int thumbId, int pressedId, bool transparent, const QColor& key,
                                  QPoint keyPoint) {
    const QImage thumb = skin_picture(thumbId);
    const QImage pressed = picture_or_none(pressedId);
    if (thumb.isNull() || (pressedId != 0 && pressed.isNull())) {
        return false;
    }
    setThumbPictures(thumb, pressed, transparent, key, keyPoint);
    return true;
}

void SkinSlider::setChannelPictures(const QImage& channel, const QImage& active, bool transparent,
                                    const QColor& key, QPoint keyPoint) {
    channel_ = keyed(channel, transparent, key, keyPoint);
    activeChannel_ = keyed(active, transparent, key, keyPoint);
    updateGeometry();
    update();
}

void SkinSlider::setThumbPictures(const QImage& thumb, const QImage& pressed, bool transparent,
                                  const QColor& key, QPoint keyPoint) {
    thumb_ = keyed(thumb, transparent, key, keyPoint);
    pressedThumb_ = keyed(pressed, transparent, key, keyPoint);
    updateGeometry();
    update();
}

int SkinSlider::length() const {
    return orientation() == Qt::Horizontal ? width() : height();
}

int SkinSlider::lowMargin() const {
    return orientation() == Qt::Horizontal ? margins_.left() : margins_.top();
}

int SkinSlider::highMargin() const {
    return orientation() == Qt::Horizontal ? margins_.right() : margins_.bottom();
}

int SkinSlider::thumbLength() const {
    const QSize thumb = logical_size(thumb_);
    return orientation() == Qt::Horizontal ? thumb.width() : thumb.height();
}

int SkinSlider::along(const QPoint& point) const {
    return orientation() == Qt::Horizontal ? point.x() : point.y();
}

int SkinSlider::thumbCentre(int position) const {
    const int l = lowMargin();
    const int t = thumbLength();
    const int range = maximum() - minimum();
    if (range == 0) {
        return l + t / 2;
    }
    // integer arithmetic, truncating toward zero
    return l + (length() - highMargin() - t - l) * (position - minimum()) / range + t / 2;
}

int SkinSlider::positionAt(int centre) const {
    const int l = lowMargin();
    const int t = thumbLength();
    const int travel = length() - l - t - highMargin();
    if (travel == 0) {
        return minimum();
    }
    const double fraction = static_cast<double>(centre - t / 2 - l) / travel;
    return static_cast<int>(std::trunc(minimum() + fraction * (maximum() - minimum())));
}

QSize SkinSlider::sizeHint() const {
    if (!channel_.isNull()) {
        return logical_size(channel_);
    }
    return QSlider::sizeHint();
}

void SkinSlider::dragTo(int pointer) {
    const int t = thumbLength();
    const int target = std::clamp(pointer - grabOffset_, lowMargin() + t / 2,
                                  std::max(lowMargin() + t / 2, length() - highMargin() - t / 2));
    if (target != thumbCentre(value())) {
        setValue(positionAt(target));
        update();
        Q_EMIT thumbMoving(controlId_, value());
    }
}

void SkinSlider::mousePressEvent(QMouseEvent* event) {
    if (!isEnabled() || event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    dragging_ = true;
    const int pointer = along(event->position().toPoint());
    const int centre = thumbCentre(value());
    grabOffset_ = std::abs(pointer - centre) <= thumbLength() / 2 ? pointer - centre : 0;
    dragTo(pointer);
    update();
    event->accept();
}

void SkinSlider::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) {
        dragTo(along(event->position().toPoint()));
        event->accept();
    }
}

void SkinSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_ || event->button() != Qt::LeftButton) {
        return;
    }
    dragging_ = false;
    update();
    event->accept();
    Q_EMIT thumbMoved(controlId_, value());
}

void SkinSlider::keyPressEvent(QKeyEvent* event) {
    if (!isEnabled()) {
        return;
    }
    int next = value();
    switch (event->key()) {
        // Up and Page Up raise the value, as on every slider the user knows.
        case Qt::Key_PageUp:
            next += pageStep();
            break;
        case Qt::Key_PageDown:
            next -= pageStep();
            break;
        case Qt::Key_Home:
            next = minimum();
            break;
        case Qt::Key_End:
            next = maximum();
            break;
        case Qt::Key_Left:
        case Qt::Key_Down:
            next -= 1;
            break;
        case Qt::Key_Right:
        case Qt::Key_Up:
            next += 1;
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    setValue(std::clamp(next, minimum(), maximum()));
    update();
    event->accept();
    Q_EMIT thumbMoved(controlId_, value());
}

bool SkinSlider::event(QEvent* event) {
    // The arrow keys are the slider's, not the dialog's focus navigation.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
            case Qt::Key_Left:
            case Qt::Key_Right:
            case Qt::Key_Up:
            case Qt::Key_Down:
                event->accept();
                return true;
            default:
                break;
        }
    }
    return QSlider::event(event);
}

void SkinSlider::paintEvent(QPaintEvent* event) {
    if (channel_.isNull() || thumb_.isNull()) {
        QSlider::paintEvent(event);
        return;
    }
    QPainter painter(this);
    const bool horizontal = orientation() == Qt::Horizontal;
    const int centre = thumbCentre(value());
    painter.drawPixmap(0, 0, channel_);
    if (!activeChannel_.isNull()) {
        const QRect low = horizontal ? QRect(0, 0, centre, height()) : QRect(0, 0, width(), centre);
        painter.save();
        painter.setClipRect(low);
        painter.drawPixmap(0, 0, activeChannel_);
        painter.restore();
    }
    const QPixmap& thumb = dragging_ && !pressedThumb_.isNull() ? pressedThumb_ : thumb_;
    const QSize size = logical_size(thumb);
    const QPoint at = horizontal ? QPoint(centre - size.width() / 2, (height() - size.height()) / 2)
                                 : QPoint((width() - size.width()) / 2, centre - size.height() / 2);
    painter.drawPixmap(at, thumb);
    if (focusRect_ && hasFocus() && isEnabled()) {
        paint_focus_ring(painter, rect());
    }
}
