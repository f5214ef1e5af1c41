// SIGTERM and SIGHUP as a Qt signal. A signal handler may do almost nothing, so it only writes
// the signal's number to a pipe; the event loop reads it and the window then stops a run the
// way Cancel does and closes.
#pragma once

#include <QObject>

class QSocketNotifier;

// One at a time per process: it owns the handlers while it lives and puts the default ones back
// when it goes.
class TerminationWatch : public QObject {
    Q_OBJECT
public:
    explicit TerminationWatch(QObject* parent = nullptr);
    ~TerminationWatch() override;

    // False when the pipe or a handler could not be set up; the signals then end the program
    // the default way.
    bool active() const { return notifier_ != nullptr; }

Q_SIGNALS:
    void terminationRequested(int signalNumber);

private:
    void readPipe();

    QSocketNotifier* notifier_ = nullptr;
};
