#include "app/startup.h"

#include <QApplication>
#include <QByteArrayList>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <string>

#include "app/core/folder_text.h"
#include "app/instance_socket.h"
#include "app/mainwindow.h"
#include "app/message_boxes.h"
#include "app/names.h"
#include "app/single_instance.h"
#include "app/termination.h"
#include "app/window_place.h"

namespace {

// The files and folders named on the command line, what is left of argv once Qt took its own
// options: as bytes, since a file name need not be text, and made absolute from the folder the
// program was started in (as the command line takes its folders), since the window works from
// another folder and a running copy from its own. "--" ends the options, so that a name may
// start with a dash after it.
QByteArrayList given_paths(int argc, char** argv) {
    const FolderTextBase base{current_folder(), {}};
    QByteArrayList paths;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (options && argument == "--") {
            options = false;
        } else if (!argument.isEmpty() && (!options || !argument.startsWith('-'))) {
            paths.push_back(
                QByteArray::fromStdString(resolve_folder_text(argument.toStdString(), base)));
        }
    }
    return paths;
}

enum class InstanceRole { First, Handed, Alone };

// Decides whether this copy is the one that serves serverName: the holder of its lock, kept
// open until the program ends. A copy that finds the lock taken hands over to the holder,
// which answers as soon as it listens; while it is still starting, or ending, it is asked
// again. Without a lock file (a folder that takes none), a copy asks once and then serves.
InstanceRole become_the_instance(const QString& serverName, const QByteArrayList& paths) {
    const std::string socketPath = QFile::encodeName(serverName).toStdString();
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const InstanceLockResult lock = take_instance_lock(socketPath);
        if (lock.lock == InstanceLock::Held) {
            // Its descriptor stays open until the program ends: the lock is this copy's title
            // to the name.
            return InstanceRole::First;
        }
        if (ask_running_copy_forward(serverName, 1000, paths)) {
            return InstanceRole::Handed;
        }
        if (lock.lock == InstanceLock::Unavailable) {
            return InstanceRole::First;
        }
        if (waited.elapsed() > 10000) {
            return InstanceRole::Alone;
        }
        QThread::msleep(50);
    }
}

}  // namespace

int run_program(int argc, char** argv) {
    QApplication app(argc, argv);
    set_application_names();
    const QByteArrayList paths = given_paths(argc, argv);

    QString refusal;
    QString serverName = instance_server_name(&refusal);
    if (serverName.isEmpty()) {
        std::fprintf(stderr, "pelmora: not looking for a running copy: %s\n", qPrintable(refusal));
    } else {
        switch (become_the_instance(serverName, paths)) {
            case InstanceRole::Handed:
                return 0;
            case InstanceRole::First:
                break;
            case InstanceRole::Alone:
                std::fprintf(
                    stderr, "pelmora: the running copy did not answer; this one runs on its own\n");
                serverName.clear();
                break;
        }
    }
    // Relative paths, the folder browser's first folder among them, start beside the program.
    QDir::setCurrent(QCoreApplication::applicationDirPath());

    WindowPlaceGuard placeGuard;
    app.installEventFilter(&placeGuard);
    QtMessageBoxes boxes;
    MainWindow window(boxes);
    // SIGTERM and SIGHUP stop a run the way Cancel does (the current file finished with its
    // true sizes), close the window and end with 128 + the signal's number.
    TerminationWatch termination;
    // A WAV over the file-size limit fails with EFBIG and the run goes on; workers inherit it.
    std::signal(SIGXFSZ, SIG_IGN);
    QObject::connect(&termination, &TerminationWatch::terminationRequested, &window,
                     &MainWindow::terminate);
    InstanceServer instance;
    QObject::connect(&instance, &InstanceServer::pathsHandedOver, &window,
                     &MainWindow::addGivenPaths);
    QObject::connect(&instance, &InstanceServer::comeForwardRequested, &window,
                     [&window] { bring_forward(&window); });
    // Without the server this copy still works; a later copy then simply starts as well.
    if (!serverName.isEmpty()) {
        instance.listen(serverName);
    }
    if (!paths.isEmpty()) {
        // Once the window is up, so that a notice of refused files stands over it.
        QTimer::singleShot(0, &window, [&window, paths] { window.addGivenPaths(paths); });
    }
    window.exec();
    return window.terminatedBy() != 0 ? 128 + window.terminatedBy() : 0;
}
