#include "app/single_instance.h"

#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>
#include <memory>

#include "app/instance_socket.h"

namespace {

// A later copy sends one "add" line per path, then the request. A path is sent as its bytes,
// percent-encoded, so that any name (a newline in it, or bytes that are no text in the
// locale) passes whole; a copy that knows no "add" lines still comes forward.
const QByteArray ADD_PREFIX = QByteArrayLiteral("add ");
const QByteArray FORWARD_REQUEST = QByteArrayLiteral("forward\n");
const QByteArray FORWARD_ANSWER = QByteArrayLiteral("ok\n");
// Far above the longest line a path makes (4096 bytes, three times over when encoded): a
// connection that sends more without ending its line is cut off rather than held in memory.
constexpr qint64 LINE_LIMIT = 64 * 1024;

}  // namespace

QString instance_server_name(QString* refusal) {
    const InstancePlace place =
        instance_place(QFile::encodeName(qEnvironmentVariable("XDG_RUNTIME_DIR")).toStdString(),
                       QFile::encodeName(QDir::tempPath()).toStdString(), getuid());
    *refusal = QFile::decodeName(QByteArray::fromStdString(place.refusal));
    return QFile::decodeName(QByteArray::fromStdString(place.socketPath));
}

InstanceServer::InstanceServer(QObject* parent) : QObject(parent), server_(new QLocalServer(this)) {
    // The folder keeps other users out already; the socket's own mode is one more fence.
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
        if (!peer_runs_as(static_cast<int>(socket->socketDescriptor()), getuid())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto paths = std::make_shared<QByteArrayList>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, paths] {
            while (socket->canReadLine()) {
                const QByteArray line = socket->readLine();
                if (line.startsWith(ADD_PREFIX) && line.endsWith('\n')) {
                    paths->push_back(QByteArray::fromPercentEncoding(
                        line.mid(ADD_PREFIX.size(), line.size() - ADD_PREFIX.size() - 1)));
                } else if (line == FORWARD_REQUEST) {
                    socket->write(FORWARD_ANSWER);
                    socket->flush();
                    if (!paths->isEmpty()) {
                        Q_EMIT pathsHandedOver(*paths);
                        paths->clear();
                    }
                    Q_EMIT comeForwardRequested();
                }
            }
            if (socket->bytesAvailable() > LINE_LIMIT) {
                socket->abort();
            }
        });
    }
}

bool ask_running_copy_forward(const QString& name, int timeoutMs, const QByteArrayList& paths) {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs)) {
        return false;
    }
    // Whoever else sits on the name is not asked: an answer from them would end this copy.
    if (!peer_runs_as(static_cast<int>(socket.socketDescriptor()), getuid())) {
        return false;
    }
    QByteArray request;
    for (const QByteArray& path : paths) {
        request += ADD_PREFIX + path.toPercentEncoding() + '\n';
    }
    request += FORWARD_REQUEST;
    socket.write(request);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(timeoutMs)) {
            return false;
        }
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
