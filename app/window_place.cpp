#include "app/window_place.h"

#include <QEvent>
#include <QMouseEvent>
#include <QStringList>
#include <QWindow>
#include <algorithm>

QPoint window_place(const QSize& size, const QString& saved, const QList<QRect>& screens,
                    const QRect& primary) {
    const QStringList parts = saved.split(QLatin1Char(','));
    if (parts.size() == 2) {
        bool xRead = false;
        bool yRead = false;
        const QPoint place(parts[0].trimmed().toInt(&xRead), parts[1].trimmed().toInt(&yRead));
        const QRect wanted(place, size);
        if (xRead && yRead && std::any_of(screens.begin(), screens.end(), [&](const QRect& screen) {
                return screen.contains(wanted);
            })) {
            return place;
        }
    }
    const QPoint centred = primary.center() - QPoint(size.width() / 2, size.height() / 2);
    return QPoint(std::max(centred.x(), primary.left()), std::max(centred.y(), primary.top()));
}

QString window_place_text(const QPoint& place) {
    return QStringLiteral("%1,%2").arg(place.x()).arg(place.y());
}

bool WindowPlaceGuard::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseMove && event->type() != QEvent::MouseButtonPress) {
        return false;
    }
    // The window, not a widget in it: its events come straight from the platform, in the
    // window's own coordinates.
    auto* window = qobject_cast<QWindow*>(watched);
    if (window == nullptr || !window->isTopLevel() || !window->isVisible()) {
        return false;
    }
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->source() != Qt::MouseEventNotSynthesized) {
        return false;
    }
    const QPoint truePlace = (mouse->globalPosition() - mouse->position()).toPoint();
    // Scaled coordinates may round a pixel apart.
    if ((truePlace - window->geometry().topLeft()).manhattanLength() <= 2) {
        return false;
    }
    ++corrections_;
    window->setPosition(truePlace);
    return false;
}
