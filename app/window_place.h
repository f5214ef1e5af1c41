// Where the main window opens, and a guard that keeps a top-level window's idea of its own
// place true: a window manager that places or reparents a window without telling it leaves
// the window believing it sits at the screen's corner, and every menu, dialog and drop that
// maps a point to the screen then lands in the wrong place.
#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

// The top-left corner for a window of size: the saved "x,y" when the whole window lies on one
// of the screens' available areas; else centred on primary (when the window is larger than
// it, its top-left corner stays on the screen).
QPoint window_place(const QSize& size, const QString& saved, const QList<QRect>& screens,
                    const QRect& primary);
QString window_place_text(const QPoint& place);

// Watches the mouse over top-level windows: a pointer event carries both the point in the
// window and the point on the screen, which together say where the window really is. When that
// differs from where the window thinks it is, the window is told (a move to where it already
// stands, which the window manager answers with its true place).
class WindowPlaceGuard : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // How often a window's idea was put right.
    int corrections() const { return corrections_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int corrections_ = 0;
};
