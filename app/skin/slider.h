// A slider drawn from pictures: a channel, optionally an active channel up to the thumb, and a
// thumb. Dragging and keys report through two signals carrying the slider's id and position.
#pragma once

#include <QColor>
#include <QImage>
#include <QMargins>
#include <QPixmap>
#include <QSlider>

class SkinSlider : public QSlider {
    Q_OBJECT
public:
    explicit SkinSlider(Qt::Orientation orientation = Qt::Horizontal, QWidget* parent = nullptr);

    void setControlId(int id) { controlId_ = id; }
    int controlId() const { return controlId_; }

    // Clamped into the range and repainted; neither signal below is sent.
    void SetPos(int position) { setValue(position); }
    void SetMargins(int left, int top, int right, int bottom);

    // With transparent on, the pixels of the key colour are left out; an invalid key means the
    // colour of the picture's pixel at keyPoint. False when the skin lacks a picture (0 means
    // none for the optional ones).
    bool SetChannelPictures(int channelId, int activeId, bool transparent = false,
                            const QColor& key = QColor(), QPoint keyPoint = {0, 0});
    bool SetThumbPictures(int thumbId, int pressedId, bool transparent = false,
                          const QColor& key = QColor(), QPoint keyPoint = {0, 0});
    void setChannelPictures(const QImage& channel, const QImage& active, bool transparent = false,
                            const QColor& key = QColor(), QPoint keyPoint = {0, 0});
    void setThumbPictures(const QImage& thumb, const QImage& pressed, bool transparent = false,
                          const QColor& key = QColor(), QPoint keyPoint = {0, 0});
    void setFocusRectShown(bool on) { focusRect_ = on; }

    // The thumb's centre in pixels along the slider for a position, and back.
    int thumbCentre(int position) const;
    int positionAt(int centre) const;
    bool dragging() const { return dragging_; }

    QSize sizeHint() const override;

Q_SIGNALS:
    // While the thumb is dragged.
    void thumbMoving(int controlId, int position);
    // When a drag ends or a key has moved the thumb.
    void thumbMoved(int controlId, int position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    // Along the slider: its length, the margins at the low and high end, the thumb's length.
    int length() const;
    int lowMargin() const;
    int highMargin() const;
    int thumbLength() const;
    int along(const QPoint& point) const;
    void dragTo(int pointer);

    int controlId_ = 0;
    QMargins margins_;
    QPixmap channel_;
    QPixmap activeChannel_;
    QPixmap thumb_;
    QPixmap pressedThumb_;
    bool focusRect_ = true;
    bool dragging_ = false;
    int grabOffset_ = 0;
};
