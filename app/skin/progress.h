// A progress bar filled with a tiled picture, with the range, step and position arithmetic of
// the standard control it replaces.
#pragma once

#include <QPixmap>
#include <QProgressBar>

class SkinProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit SkinProgressBar(QWidget* parent = nullptr);

    // SetStep, SetPos and StepIt return the previous value, as the standard control does.
    void SetRange32(int lower, int upper);
    int SetStep(int step);
    int SetPos(int position);
    int StepIt();
    // False when the skin has no such picture; the bar then paints as a standard one.
    bool SetBitmap(int pictureId, bool redraw = true);
    void setFillPicture(const QPixmap& picture);

    void setFramed(bool on);
    void setVertical(bool on);

    int lower() const { return lower_; }
    int upper() const { return upper_; }
    // |upper - lower|, or 1 for an empty range.
    int span() const;
    int step() const { return step_; }
    int pos() const { return pos_; }

    // (position + |lower|) percent of span, truncated.
    static int percentage(int position, int lower, int span);
    // The part the fill covers, in widget pixels; empty when nothing is filled.
    QRect filledRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect inside() const;

    int lower_ = 0;
    int upper_ = 100;
    int step_ = 10;
    int pos_ = 0;
    bool framed_ = false;
    bool vertical_ = false;
    QPixmap fill_;
};
