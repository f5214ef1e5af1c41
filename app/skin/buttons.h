// Caption-less bitmap buttons: SkinButton and its check-box and radio-button kinds, which show
// normal, pressed and hover pictures, and MenuButton, one keyed picture that can drop a menu.
#pragma once

#include <QAbstractButton>
#include <QCheckBox>
#include <QEnterEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QRegion>
#include <array>

class QMenu;

// Which picture a bitmap button shows.
enum class ButtonFace { Disabled, Pressed, Hover, Focus, Normal };

// Pressed covers both a held button and a checked box; hover wins over focus.
ButtonFace button_face(bool enabled, bool down, bool checked, bool hovering, bool focused);

// The skin's sign of the keyboard focus: a ring in the accent colour just inside rect.
void paint_focus_ring(QPainter& painter, const QRect& rect);

// The pictures and drawing shared by the three kinds of SkinButton.
class SkinButtonLook {
public:
    enum DrawMode { Plain = 0, Stretch = 1, Tile = 2 };

    // Picture numbers, 0 for none; a missing disabled picture falls back to the normal one.
    void setSkin(int normal, int pressed, int hover, int disabled, int focus, int mask,
                 int drawMode, bool border, int margin);
    void setPictures(const QPixmap& normal, const QPixmap& pressed, const QPixmap& hover,
                     const QPixmap& disabled = {}, const QPixmap& focus = {},
                     const QPixmap& mask = {}, int drawMode = Plain, bool border = false,
                     int margin = 0);

    const QPixmap& picture(ButtonFace face) const;
    QSize pictureSize() const { return normal_.deviceIndependentSize().toSize(); }
    bool hasMask() const { return !mask_.isNull(); }
    int drawMode() const { return drawMode_; }
    // The outline the mask gives: its white pixels are cut away.
    QRegion maskRegion() const;

    void paint(QAbstractButton& button, QPainter& painter, bool hovering) const;

private:
    void drawPicture(QPainter& painter, const QRect& rect, const QPixmap& picture) const;

    QPixmap normal_;
    QPixmap pressed_;
    QPixmap hover_;
    QPixmap disabled_;
    QPixmap focus_;
    QPixmap mask_;
    int drawMode_ = Plain;
    bool border_ = false;
    int margin_ = 0;
};

// A bitmap button of the kind its Qt base gives: push button, check box or radio button (the
// radio buttons of one parent uncheck each other). Pressing, releasing over it, Space and the
// pressed look while the mouse is held and moved come from the base.
template <class Button>
class SkinButtonOf : public Button {
public:
    explicit SkinButtonOf(QWidget* parent = nullptr) : Button(parent) {
        this->setAttribute(Qt::WA_Hover);
        this->setCursor(Qt::PointingHandCursor);
    }

    void SetSkin(int normal, int pressed, int hover, int disabled = 0, int focus = 0, int mask = 0,
                 int drawMode = SkinButtonLook::Plain, bool border = false, int margin = 0) {
        look_.setSkin(normal, pressed, hover, disabled, focus, mask, drawMode, border, margin);
        applied();
    }
    // normal, pressed, hover
    void SetSkin(const std::array<int, 3>& faces) { SetSkin(faces[0], faces[1], faces[2]); }
    void setPictures(const QPixmap& normal, const QPixmap& pressed, const QPixmap& hover) {
        look_.setPictures(normal, pressed, hover);
        applied();
    }
    void SetToolTipText(const QString& text) { this->setToolTip(text); }

    const SkinButtonLook& look() const { return look_; }
    bool hovering() const { return hovering_; }

    QSize sizeHint() const override {
        return look_.pictureSize().isEmpty() ? Button::sizeHint() : look_.pictureSize();
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        look_.paint(*this, painter, hovering_);
    }
    // The whole picture is the button, not just the base's indicator and label.
    bool hitButton(const QPoint& pos) const override { return this->rect().contains(pos); }
    void enterEvent(QEnterEvent* event) override {
        hovering_ = true;
        this->update();
        Button::enterEvent(event);
    }
    void leaveEvent(QEvent* event) override {
        hovering_ = false;
        this->update();
        Button::leaveEvent(event);
    }

private:
    void applied() {
        if (look_.hasMask()) {
            this->setMask(look_.maskRegion());
            if (look_.drawMode() == SkinButtonLook::Plain) {
                this->resize(look_.pictureSize());
            }
        }
        this->updateGeometry();
        this->update();
    }

    SkinButtonLook look_;
    bool hovering_ = false;
};

using SkinButton = SkinButtonOf<QPushButton>;
using SkinCheckBox = SkinButtonOf<QCheckBox>;
using SkinRadioButton = SkinButtonOf<QRadioButton>;

// One picture drawn over the parent's background with its key colour left out, a tooltip, and
// optionally a menu dropped at its lower-left corner on a click.
class MenuButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit MenuButton(QWidget* parent = nullptr);

    // False when the skin has no such picture.
    bool SetBitmaps(int pictureId, const QColor& key);
    void setPicture(const QImage& picture, QRgb key);
    void SetTooltipText(const QString& text, bool active = true);
    // The menu is not owned. With flat, menus of the kind get the flat look everywhere.
    void SetMenu(QMenu* menu, bool flat = true);
    QMenu* attachedMenu() const { return menu_; }
    // Painted under the picture while the mouse is over the button.
    void setHoverColour(const QColor& colour) { hoverColour_ = colour; }

    const QPixmap& picture() const { return picture_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void dropMenu();

    QPixmap picture_;
    QMenu* menu_ = nullptr;
    QColor hoverColour_ = QColor(255, 255, 255, 34);
    bool hovering_ = false;
};
