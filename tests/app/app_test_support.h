// Helpers for the window tests: answered message boxes, a recorder for opened URLs, settings
// in a scratch folder, screenshots, and a way to act inside another window's modal loop.
#pragma once

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QUrl>
#include <deque>
#include <functional>

#include "app/control_ids.h"
#include "app/message_boxes.h"

class StubMessageBoxes : public MessageBoxes {
public:
    void tell(QWidget*, const QString& text, QMessageBox::Icon icon) override {
        told.push_back(text);
        icons.push_back(icon);
    }
    // Answers from the queue; No when it is empty.
    bool ask(QWidget*, const QString& text) override;
    // Told as the text a report reads when there is no room for details.
    void report(QWidget*, const EndReport& report, QMessageBox::Icon icon) override;
    void clear();

    QStringList told;
    QList<QMessageBox::Icon> icons;
    QStringList asked;
    std::deque<bool> answers;
    std::vector<EndReport> reports;
};

// Stands in for the desktop's browser and file manager (QDesktopServices::setUrlHandler).
class UrlRecorder : public QObject {
    Q_OBJECT
public Q_SLOTS:
    void open(const QUrl& url) { urls.push_back(url); }

public:
    QList<QUrl> urls;
};

// Settings in a scratch folder, names set, file URLs going to recorder.
void set_up_window_tests(const QString& settingsFolder, UrlRecorder* recorder);

// Saves a picture of the widget under the build folder's screenshots/ and returns its path.
QString save_screenshot(QWidget* widget, const QString& name);

bool copy_file(const QString& from, const QString& to);
QString fixture(const char* name);

// Runs action on the first window of type T at its show event, synchronously: before its
// modal loop delivers anything queued for it (progress a worker posted before the dialog
// appeared). For connecting watchers; an action that ends the dialog belongs in when_shown.
template <typename T>
void at_show(std::function<void(T*)> action) {
    class ShowFilter : public QObject {
    public:
        explicit ShowFilter(std::function<void(T*)> run) : run_(std::move(run)) {}
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::Show && run_) {
                if (T* shown = qobject_cast<T*>(watched); shown != nullptr) {
                    std::exchange(run_, nullptr)(shown);
                    deleteLater();
                }
            }
            return false;
        }

    private:
        std::function<void(T*)> run_;
    };
    qApp->installEventFilter(new ShowFilter(std::move(action)));
}

// Runs action on the modal window of type T once it shows, from inside its modal loop, so that
// a test can drive a dialog whose exec() it has just called. Unless the dialog ends by itself,
// the action must end it, or the test hangs.
template <typename T>
void when_shown(std::function<void(T*)> action, int attemptsLeft = 3000) {
    QTimer::singleShot(10, [action, attemptsLeft] {
        T* shown = qobject_cast<T*>(QApplication::activeModalWidget());
        if (shown != nullptr && shown->isVisible()) {
            action(shown);
        } else if (attemptsLeft > 0) {
            when_shown<T>(action, attemptsLeft - 1);
        }
    });
}

template <typename T>
T* control(const QWidget* parent, int id) {
    return parent->findChild<T*>(id_name(id));
}
