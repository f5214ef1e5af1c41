#include "app/startup.h"

#include <QApplication>
#include <QDir>
#include <cstdio>

#include "app/mainwindow.h"
#include "app/message_boxes.h"
#include "app/names.h"
#include "app/single_instance.h"
#include "app/termination.h"
#include "app/window_place.h"

int run_program(int argc, char** argv) {
    QApplication app(argc, argv);
    set_application_names();

    QString refusal;
    const QString serverName = instance_server_name(&refusal);
    if (serverName.isEmpty()) {
        std::fprintf(stderr, "pelmora: not looking for a running copy: %s\n", qPrintable(refusal));
    } else if (ask_running_copy_forward(serverName, 1000)) {
        return 0;
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
    QObject::connect(&termination, &TerminationWatch::terminationRequested, &window,
                     &MainWindow::terminate);
    InstanceServer instance;
    QObject::connect(&instance, &InstanceServer::comeForwardRequested, &window,
                     [&window] { bring_forward(&window); });
    // Without the server this copy still works; a later copy then simply starts as well.
    if (!serverName.isEmpty()) {
        instance.listen(serverName);
    }
    window.exec();
    return window.terminatedBy() != 0 ? 128 + window.terminatedBy() : 0;
}
