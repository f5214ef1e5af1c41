#include "app/skin/buttons.h"

#include <qdrawutil.h>

#include <QMenu>
#include <QPaintEvent>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include "app/skin/layout.h"
#include "app/skin/menus.h"
#include "app/skin/skin.h"

ButtonFace button_face(bool enabled, bool down, bool checked, bool hovering, bool focused) {
    if (!enabled) {
        return ButtonFace::Disabled;
    }
    if (down || checked) {
        return ButtonFace::Pressed;
    }
    if (hovering) {
        return ButtonFace::Hover;
    }
    return focused ? ButtonFace::Focus : ButtonFace::Normal;
}

void SkinButtonLook::setSkin(int normal, int pressed, int hover, int disabled, int focus, int mask,
                             int drawMode, bool border, int margin) {
    auto load = [](int id) { return id == 0 ? QPixmap() : skin_pixmap(id); };
    setPictures(load(normal), load(pressed), load(hover), load(disabled), load(focus), load(mask),
                drawMode, border, margin);
}

void SkinButtonLook::setPictures(const QPixmap& normal, const QPixmap& pressed,
                                 const QPixmap& hover, const QPixmap& disabled,
                                 const QPixmap& focus, const QPixmap& mask, int drawMode,
                                 bool border, int margin) {
    normal_ = normal;
    pressed_ = pressed;
    hover_ = hover;
    disabled_ = disabled;
    focus_ = focus;
    mask_ = mask;
    drawMode_ = drawMode;
    border_ = border;
    margin_ = margin;
}

const QPixmap& SkinButtonLook::picture(ButtonFace face) const {
    const QPixmap* chosen = &normal_;
    switch (face) {
        case ButtonFace::Disabled:
            chosen = &disabled_;
            break;
        case ButtonFace::Pressed:
            chosen = &pressed_;
            break;
        case ButtonFace::Hover:
            chosen = &hover_;
            break;
        case ButtonFace::Focus:
            chosen = &focus_;
            break;
        case ButtonFace::Normal:
            break;
    }
    return chosen->isNull() ? normal_ : *chosen;
}

QRegion SkinButtonLook::maskRegion() const {
    return MakeRegionFromBitmap(mask_.toImage(), qRgb(255, 255, 255)).value_or(QRegion());
}

void SkinButtonLook::drawPicture(QPainter& painter, const QRect& rect,
                                 const QPixmap& picture) const {
    if (picture.isNull()) {
        return;
    }
    switch (drawMode_) {
        case Stretch:
            painter.drawPixmap(rect, picture);
            break;
        case Tile:
            painter.drawTiledPixmap(rect, picture);
            break;
        default:
            painter.drawPixmap(0, 0, picture);
            break;
    }
}

void SkinButtonLook::paint(QAbstractButton& button, QPainter& painter, bool hovering) const {
    const QRect rect = button.rect();
    const bool checked = button.isCheckable() && button.isChecked();
    const ButtonFace face =
        button_face(button.isEnabled(), button.isDown(), checked, hovering, button.hasFocus());
    if (hasMask()) {
        painter.setClipRegion(maskRegion());
    }
    // Without a picture of its own a disabled button is its normal picture, faded: it must not
    // look as if it would do something. A ticked one stays ticked, faded: what it fixes shows.
    const bool faded = face == ButtonFace::Disabled && disabled_.isNull();
    if (faded) {
        painter.setOpacity(0.45);
    }
    drawPicture(painter, rect,
                picture(faded ? (checked ? ButtonFace::Pressed : ButtonFace::Normal) : face));
    if (faded) {
        painter.setOpacity(1.0);
    }

    const QPalette& palette = button.palette();
    if (border_) {
        qDrawShadePanel(&painter, rect, palette, face == ButtonFace::Pressed, 1);
    }
    const QString text = button.text();
    if (!text.isEmpty()) {
        const int flags = Qt::AlignCenter | Qt::TextShowMnemonic;
        painter.setFont(button.font());
        if (face == ButtonFace::Disabled) {
            // embossed: the highlight first, the grey one pixel up and to the left of it
            painter.setPen(palette.color(QPalette::Light));
            painter.drawText(rect.translated(1, 1), flags, text);
            painter.setPen(palette.color(QPalette::Disabled, QPalette::ButtonText));
            painter.drawText(rect, flags, text);
        } else {
            painter.setPen(palette.color(QPalette::ButtonText));
            painter.drawText(face == ButtonFace::Pressed ? rect.translated(1, 1) : rect, flags,
                             text);
        }
    }
    if (button.hasFocus() && face != ButtonFace::Disabled) {
        if (margin_ > 0) {
            QStyleOptionFocusRect focus;
            focus.initFrom(&button);
            focus.rect = rect.adjusted(margin_, margin_, -margin_, -margin_);
            button.style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, &button);
        } else {
            // The pictures have no focus face of their own: a ring says where the keys go.
            painter.setClipping(false);
            paint_focus_ring(painter, rect);
        }
    }
}

void paint_focus_ring(QPainter& painter, const QRect& rect) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(static_cast<QRgb>(layout::ACCENT_COLOUR)), 2));
    painter.drawRoundedRect(QRectF(rect).adjusted(1, 1, -1, -1), 4, 4);
    // A light line inside, so that the ring also shows on the buttons drawn in the accent.
    painter.setPen(QPen(QColor(255, 255, 255, 220), 1.5));
    painter.drawRoundedRect(QRectF(rect).adjusted(3, 3, -3, -3), 3, 3);
    painter.restore();
}

MenuButton::MenuButton(QWidget* parent) : QAbstractButton(parent) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    connect(this, &QAbstractButton::clicked, this, &MenuButton::dropMenu);
}

bool MenuButton::SetBitmaps(int pictureId, const QColor& key) {
    const QImage picture = skin_picture(pictureId);
    if (picture.isNull()) {
        return false;
    }
    setPicture(picture, key.rgb());
    return true;
}

void MenuButton::setPicture(const QImage& picture, QRgb key) {
    QImage keyed = picture.convertToFormat(QImage::Format_ARGB32);
    const QRgb wanted = key | 0xFF000000u;
    for (int y = 0; y < keyed.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(keyed.scanLine(y));
        for (int x = 0; x < keyed.width(); ++x) {
            if ((row[x] | 0xFF000000u) == wanted && qAlpha(row[x]) == 255) {
                row[x] = 0;
            }
        }
    }
    picture_ = QPixmap::fromImage(keyed);
    updateGeometry();
    update();
}

void MenuButton::SetTooltipText(const QString& text, bool active) {
    setToolTip(active ? text : QString());
}

void MenuButton::SetMenu(QMenu* menu, bool flat) {
    menu_ = menu;
    if (flat) {
        BCMenu::SetMenuDrawMode(BCMenu::Flat, BCMenu::Flat);
    }
}

QSize MenuButton::sizeHint() const {
    return picture_.isNull() ? QSize(16, 16) : logical_size(picture_);
}

void MenuButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (hovering_ || isDown()) {
        QColor wash = hoverColour_;
        if (isDown()) {
            wash.setAlpha(wash.alpha() * 2 / 3);
        }
        painter.setPen(Qt::NoPen);
        painter.setBrush(wash);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
    }
    const QPoint at = isDown() ? QPoint(0, 1) : QPoint(0, 0);
    painter.drawPixmap(at, picture_);
    if (hasFocus()) {
        paint_focus_ring(painter, rect());
    }
}

void MenuButton::enterEvent(QEnterEvent* event) {
    hovering_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void MenuButton::leaveEvent(QEvent* event) {
    hovering_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void MenuButton::dropMenu() {
    setFocus(Qt::MouseFocusReason);
    if (menu_ != nullptr) {
        // The chosen item triggers itself, which is how its command reaches the owner.
        menu_->exec(mapToGlobal(rect().bottomLeft() + QPoint(0, 1)));
        hovering_ = rect().contains(mapFromGlobal(QCursor::pos()));
        update();
    }
}
