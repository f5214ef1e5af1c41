#include "app/skin/progress.h"

#include <QPainter>
#include <algorithm>
#include <cstdlib>

#include "app/skin/skin.h"

SkinProgressBar::SkinProgressBar(QWidget* parent) : QProgressBar(parent) {
    setTextVisible(false);
    QProgressBar::setRange(lower_, upper_);
    QProgressBar::setValue(pos_);
    // Callers that drive the base class directly still move the picture.
    connect(this, &QProgressBar::valueChanged, this, [this](int value) {
        if (value >= std::min(lower_, upper_) && value <= std::max(lower_, upper_)) {
            pos_ = value;
        }
    });
}

void SkinProgressBar::SetRange32(int lower, int upper) {
    lower_ = lower;
    upper_ = upper;
    QProgressBar::setRange(std::min(lower, upper), std::max(lower, upper));
    SetPos(pos_);
    update();
}

int SkinProgressBar::SetStep(int step) {
    const int previous = step_;
    step_ = step;
    return previous;
}

int SkinProgressBar::SetPos(int position) {
    const int previous = pos_;
    pos_ = std::clamp(position, std::min(lower_, upper_), std::max(lower_, upper_));
    QProgressBar::setValue(pos_);
    update();
    return previous;
}

int SkinProgressBar::StepIt() {
    const int previous = pos_;
    // the standard control wraps to the lower bound when a step passes the upper one
    int next = pos_ + step_;
    if (next > std::max(lower_, upper_)) {
        next = std::min(lower_, upper_) + (next - std::max(lower_, upper_));
    }
    SetPos(next);
    return previous;
}

bool SkinProgressBar::SetBitmap(int pictureId, bool redraw) {
    const QPixmap picture = skin_pixmap(pictureId);
    if (picture.isNull()) {
        return false;
    }
    fill_ = picture;
    if (redraw) {
        update();
    }
    return true;
}

void SkinProgressBar::setFillPicture(const QPixmap& picture) {
    fill_ = picture;
    update();
}

void SkinProgressBar::setFramed(bool on) {
    framed_ = on;
    update();
}

void SkinProgressBar::setVertical(bool on) {
    vertical_ = on;
    setOrientation(on ? Qt::Vertical : Qt::Horizontal);
    update();
}

int SkinProgressBar::span() const {
    const int s = std::abs(upper_ - lower_);
    return s == 0 ? 1 : s;
}

int SkinProgressBar::percentage(int position, int lower, int span) {
    // Exact integer arithmetic: with 100 / span in floating point, a position at the upper bound
    // of a span such as 97 comes out as 99.99... and the bar would never fill.
    const long long done = static_cast<long long>(position) + std::llabs(lower);
    return static_cast<int>(done * 100 / span);
}

QRect SkinProgressBar::inside() const {
    QRect r = rect();
    if (framed_) {
        r.adjust(1, 1, -1, -1);
    }
    return r.adjusted(1, 1, -1, -1);
}

QRect SkinProgressBar::filledRect() const {
    const QRect r = inside();
    const long long percent = percentage(pos_, lower_, span());
    // Edges as the rectangle's exclusive right and bottom, like the control's own rectangles.
    const int left = r.left();
    const int top = r.top();
    const int right = r.left() + r.width();
    const int bottom = r.top() + r.height();
    if (vertical_) {
        int start = bottom - static_cast<int>(r.height() * percent / 100);
        if (start < top) {
            start = top + 1;
        }
        return QRect(QPoint(left, start), QPoint(right - 1, bottom - 1));
    }
    int end = left + static_cast<int>(r.width() * percent / 100);
    if (end > right) {
        end = right - 1;
    }
    return QRect(QPoint(left, top), QPoint(end - 1, bottom - 1));
}

void SkinProgressBar::paintEvent(QPaintEvent* event) {
    if (fill_.isNull()) {
        QProgressBar::paintEvent(event);
        return;
    }
    QPainter painter(this);
    if (framed_) {
        painter.setPen(Qt::black);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    const QRect filled = filledRect();
    if (filled.isEmpty()) {
        return;
    }
    // Tiles start at the filled part's corner; the last ones are cut by it.
    painter.setClipRect(filled);
    painter.drawTiledPixmap(filled, fill_);
}
