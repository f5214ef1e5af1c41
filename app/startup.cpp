#include "app/startup.h"

#include <unistd.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSettings>
#include <QUrl>
#include <QWidget>

#include "app/mainwindow.h"

namespace {

const QByteArray FORWARD_REQUEST = QByteArrayLiteral("forward\n");
const QByteArray FORWARD_ANSWER = QByteArrayLiteral("ok\n");

QString text_of(const char* ascii) {
    return QString::fromLatin1(ascii);
}

}  // namespace

QString id_name(int id) {
    return QString::number(id);
}

void set_application_names() {
    QCoreApplication::setOrganizationName(text_of(ORGANIZATION_NAME));
    QCoreApplication::setApplicationName(text_of(APPLICATION_NAME));
    // Lets the desktop match the window to the installed entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.pelmora.Pelmora"));
}

QString read_setting(const char* name, const QString& fallback) {
    QSettings settings;
    settings.beginGroup(text_of(SETTINGS_GROUP));
    return settings.value(text_of(name), fallback).toString();
}

void write_setting(const char* name, const QString& value) {
    QSettings settings;
    settings.beginGroup(text_of(SETTINGS_GROUP));
    settings.setValue(text_of(name), value);
}

std::string path_bytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString path_text(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

QString core_text(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

QString help_page_path(const QString& name) {
    const QString programFolder = QCoreApplication::applicationDirPath();
    const QString candidates[] = {
        programFolder + QLatin1Char('/') + name,
        programFolder + QStringLiteral("/../share/pelmora/") + name,
    };
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate).isFile()) {
            return QDir::cleanPath(candidate);
        }
    }
    return {};
}

void open_help_page(const QString& name) {
    const QString path = help_page_path(name);
    if (!path.isEmpty()) {
        // A desktop without a browser answers false; like a missing help viewer, that shows
        // nothing.
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }
}

void QtMessageBoxes::tell(QWidget* parent, const QString& text, QMessageBox::Icon icon) {
    QMessageBox box(icon, text_of(APPLICATION_NAME), text, QMessageBox::Ok, parent);
    box.exec();
}

bool QtMessageBoxes::ask(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, text_of(APPLICATION_NAME), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes;
}

QString instance_server_name() {
    return text_of(INSTANCE_NAME) + QLatin1Char('-') + QString::number(getuid());
}

InstanceServer::InstanceServer(QObject* parent) : QObject(parent), server_(new QLocalServer(this)) {
    // Only the same user may call: the name already says whose copy it is.
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &InstanceServer::acceptConnection);
}

bool InstanceServer::listen(const QString& name) {
    if (server_->listen(name)) {
        return true;
    }
    if (server_->serverError() != QAbstractSocket::AddressInUseError) {
        return false;
    }
    // Nobody answered on the name before we got here, so what is left is a dead copy's socket.
    QLocalServer::removeServer(name);
    return server_->listen(name);
}

void InstanceServer::acceptConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine() == FORWARD_REQUEST) {
                    socket->write(FORWARD_ANSWER);
                    socket->flush();
                    Q_EMIT comeForwardRequested();
                }
            }
        });
    }
}

bool ask_running_copy_forward(const QString& name, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs)) {
        return false;
    }
    socket.write(FORWARD_REQUEST);
    if (!socket.waitForBytesWritten(timeoutMs)) {
        return false;
    }
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(timeoutMs)) {
            return false;
        }
    }
    return socket.readLine() == FORWARD_ANSWER;
}

void bring_forward(QWidget* window) {
    if (!window->isVisible()) {
        window->showNormal();
    } else if (window->isMinimized()) {
        // Back to how it was before, maximised included.
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    }
    window->raise();
    QWidget* popup = QApplication::activeModalWidget();
    if (popup != nullptr && popup != window) {
        popup->raise();
        popup->activateWindow();
    } else {
        window->activateWindow();
    }
}

int run_program(int argc, char** argv) {
    QApplication app(argc, argv);
    set_application_names();

    const QString serverName = instance_server_name();
    if (ask_running_copy_forward(serverName, 1000)) {
        return 0;
    }
    // Relative paths, the folder browser's first folder among them, start beside the program.
    QDir::setCurrent(QCoreApplication::applicationDirPath());

    QtMessageBoxes boxes;
    MainWindow window(boxes);
    InstanceServer instance;
    QObject::connect(&instance, &InstanceServer::comeForwardRequested, &window,
                     [&window] { bring_forward(&window); });
    // Without the server this copy still works; a later copy then simply starts as well.
    instance.listen(serverName);
    window.exec();
    return 0;
}
