#include "app/run_hold.h"

#include <QAction>
#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QShortcut>
#include <QWidget>

namespace {

bool is_input(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
        case QEvent::TabletPress:
        case QEvent::TouchBegin:
            return true;
        default:
            return false;
    }
}

class InputHold : public QObject {
public:
    InputHold(QWidget* window, QDialog* dialog) : window_(window), dialog_(dialog) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!is_input(event->type())) {
            return false;
        }
        QWidget* widget = qobject_cast<QWidget*>(watched);
        if (auto* shortcut = qobject_cast<QShortcut*>(watched)) {
            widget = qobject_cast<QWidget*>(shortcut->parent());
        }
        if (widget == nullptr) {
            return false;
        }
        // The close key of the window stays: a close during a run is a Cancel, then a close.
        if (event->type() == QEvent::Shortcut &&
            static_cast<QShortcutEvent*>(event)->key() == QKeySequence(Qt::ALT | Qt::Key_F4)) {
            return false;
        }
        QWidget* top = widget->window();
        return top != dialog_ && !dialog_->isAncestorOf(widget) &&
               (top == window_ || top->parentWidget() == window_);
    }

private:
    QWidget* window_;
    QDialog* dialog_;
};

}  // namespace

void run_beside(QWidget* window, QDialog& dialog) {
    InputHold hold(window, &dialog);
    qApp->installEventFilter(&hold);
    QEventLoop loop;
    QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    dialog.setWindowModality(Qt::NonModal);
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
    loop.exec();
    qApp->removeEventFilter(&hold);
}
