// One running copy per user: a later copy hands the files and folders it was given to the
// running one, asks it to come forward and ends.
#pragma once

#include <QByteArrayList>
#include <QObject>
#include <QString>

class QLocalServer;
class QWidget;

// Per user: two users on one machine each run their own copy. An absolute socket path in a
// folder only this user can create names in; empty when there is no such folder, with
// *refusal saying why (this copy then runs on its own).
QString instance_server_name(QString* refusal);

// Listens for later copies; each one that connects hands over its paths (if any) and asks the
// window to come forward. Connections from processes of another user are closed unanswered.
class InstanceServer : public QObject {
    Q_OBJECT
public:
    explicit InstanceServer(QObject* parent = nullptr);
    // Takes over a name left behind by a copy that ended without closing its server.
    bool listen(const QString& name);

Q_SIGNALS:
    // Emitted before comeForwardRequested, with the paths byte for byte as the later copy was
    // given them (file names need not be text in any encoding).
    void pathsHandedOver(const QByteArrayList& paths);
    void comeForwardRequested();

private Q_SLOTS:
    void acceptConnection();

private:
    QLocalServer* server_;
};

// True when a running copy of this user took the request and the paths (this copy then ends);
// false when none answered within timeoutMs or the answer came from a process of another user.
bool ask_running_copy_forward(const QString& name, int timeoutMs, const QByteArrayList& paths = {});

// Restores a minimised window, raises it, and raises the modal dialog it shows, if any.
void bring_forward(QWidget* window);
