// One running copy per user: a later copy hands over to the first and ends; without a first
// copy it starts normally; no other user can stand in for the first copy. Tested between two
// ends in this process and with the real program; the other user is nobody, through runuser.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <utility>

#include "app/instance_socket.h"
#include "app/names.h"
#include "app/single_instance.h"
#include "tests/app/app_test_support.h"

using namespace Qt::StringLiterals;

namespace {

QString test_server_name(const char* purpose) {
    return u"pelmora-test-%1-%2"_s.arg(QString::fromLatin1(purpose)).arg(getpid());
}

// The client blocks on its socket, so it runs on a thread of its own while this one serves.
bool ask_from_another_thread(const QString& name, const QByteArrayList& paths = {}) {
    std::atomic<int> answer{-1};
    std::thread client([&] { answer = ask_running_copy_forward(name, 5000, paths) ? 1 : 0; });
    QElapsedTimer clock;
    clock.start();
    while (answer < 0 && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    client.join();
    return answer == 1;
}

// The program with its settings, temporary folder and runtime folder (unset when empty) of the
// test's choosing, so that a Pelmora the user runs is never in the way.
QProcessEnvironment program_environment(const QString& config, const QString& temp,
                                        const QString& runtime) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    environment.insert(u"XDG_CONFIG_HOME"_s, config);
    environment.insert(u"TMPDIR"_s, temp);
    if (runtime.isEmpty()) {
        environment.remove(u"XDG_RUNTIME_DIR"_s);
    } else {
        environment.insert(u"XDG_RUNTIME_DIR"_s, runtime);
    }
    return environment;
}

QByteArray mode_of(const QString& path, uid_t* owner = nullptr) {
    struct stat info {};
    if (lstat(QFile::encodeName(path).constData(), &info) != 0) {
        return "missing";
    }
    if (owner != nullptr) {
        *owner = info.st_uid;
    }
    return QByteArray::number(info.st_mode & 07777, 8);
}

// A socket file with nobody listening behind it, as a copy that was killed leaves it.
bool leave_stale_socket(const QString& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    std::memcpy(address.sun_path, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return bound;
}

// The other user's programs: a listener that answers "ok" to whoever connects and reports
// each connection and what it was sent, until its standard input closes; and a client that
// sends the forward request and prints the answer.
const QString IMPOSTOR =
    uR"(
import os, select, socket, sys
server = socket.socket(socket.AF_UNIX)
server.bind(sys.argv[1])
os.chmod(sys.argv[1], 0o777)
server.listen(8)
print("listening", flush=True)
while True:
    ready = select.select([server, sys.stdin], [], [], 60)[0]
    if not ready or sys.stdin in ready:
        break
    peer = server.accept()[0]
    peer.settimeout(2)
    try:
        peer.sendall(b"ok\n")
        request = peer.recv(64)
    except OSError:
        request = b""
    print("connected, sent %r" % request, flush=True)
    peer.close()
)"_s;

const QString KNOCKER =
    uR"(
import socket, sys
client = socket.socket(socket.AF_UNIX)
client.connect(sys.argv[1])
client.sendall(b"forward\n")
client.settimeout(3)
try:
    answer = client.recv(64)
except OSError:
    answer = b""
print("answer %r" % answer if answer else "no answer", flush=True)
)"_s;

// Empty when this machine can run programs as nobody (root with runuser); else why not.
QString why_no_other_user() {
    if (getuid() != 0) {
        return u"the cross-user checks run programs as nobody, which needs root"_s;
    }
    QProcess probe;
    probe.start(u"runuser"_s,
                {u"-u"_s, u"nobody"_s, u"--"_s, u"/usr/bin/python3"_s, u"-c"_s, u"pass"_s});
    if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit ||
        probe.exitCode() != 0) {
        return u"runuser -u nobody -- /usr/bin/python3 does not run here"_s;
    }
    return {};
}

// Empty when no whole line came within ten seconds.
QByteArray first_line(QProcess* process) {
    while (!process->canReadLine()) {
        if (!process->waitForReadyRead(10000)) {
            return {};
        }
    }
    return process->readLine();
}

void start_as_nobody(QProcess* process, const QString& script, const QString& path) {
    process->start(u"runuser"_s,
                   {u"-u"_s, u"nobody"_s, u"--"_s, u"/usr/bin/python3"_s, u"-c"_s, script, path});
}

// A base folder others may enter, with a world-writable sticky folder in it like /tmp.
struct SharedTemp {
    QTemporaryDir base;
    QString shared;
};

bool make_shared_temp(SharedTemp* temp) {
    temp->shared = temp->base.filePath(u"tmp"_s);
    return temp->base.isValid() && chmod(QFile::encodeName(temp->base.path()), 0755) == 0 &&
           QDir().mkdir(temp->shared) && chmod(QFile::encodeName(temp->shared), 01777) == 0;
}

// Collects the program's standard error until it holds message or the program has ended.
bool says_on_stderr(QProcess* program, const QByteArray& message) {
    QByteArray said;
    program->waitForStarted();
    QElapsedTimer clock;
    clock.start();
    while (!said.contains(message) && clock.elapsed() < 30000 &&
           program->state() == QProcess::Running) {
        program->waitForReadyRead(100);
        said += program->readAllStandardError();
    }
    said += program->readAllStandardError();
    if (!said.contains(message)) {
        qWarning("expected \"%s\" on standard error, got \"%s\"", message.constData(),
                 said.constData());
        return false;
    }
    return true;
}

// True when the program is still running timeMs after it said what it is doing.
bool keeps_running(QProcess* program, int timeMs) {
    return !program->waitForFinished(timeMs) && program->state() == QProcess::Running;
}

void stop(QProcess* program) {
    program->terminate();
    program->waitForFinished(10000);
}

}  // namespace

class InstanceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { set_application_names(); }

    void secondCopyBringsTheFirstForward() {
        const QString name = test_server_name("forward");
        InstanceServer server;
        QVERIFY(server.listen(name));
        QWidget window;
        window.setWindowTitle(u"Pelmora"_s);
        QObject::connect(&server, &InstanceServer::comeForwardRequested, &window,
                         [&window] { bring_forward(&window); });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.showMinimized();
        QTRY_VERIFY(window.isMinimized());

        QSignalSpy requests(&server, &InstanceServer::comeForwardRequested);
        QVERIFY(ask_from_another_thread(name));
        QCOMPARE(requests.size(), 1);
        QVERIFY(!window.isMinimized());
        QVERIFY(window.isVisible());

        // With a modal dialog up, that dialog is the one brought forward. (Window-modal, so
        // that another window can hold the focus before the request.)
        QDialog dialog(&window);
        dialog.setWindowModality(Qt::WindowModal);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QWidget elsewhere;
        elsewhere.show();
        QVERIFY(QTest::qWaitForWindowExposed(&elsewhere));
        elsewhere.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &elsewhere);
        QVERIFY(ask_from_another_thread(name));
        QCOMPARE(requests.size(), 2);
        QTRY_COMPARE(QApplication::activeWindow(), &dialog);
        dialog.close();
    }

    void aLaterCopysPathsArriveWholeBeforeTheWindowComesForward() {
        const QString name = test_server_name("paths");
        InstanceServer server;
        QVERIFY(server.listen(name));
        QList<QByteArrayList> handed;
        int forwardsBeforePaths = -1;
        QSignalSpy forwards(&server, &InstanceServer::comeForwardRequested);
        QObject::connect(&server, &InstanceServer::pathsHandedOver, &server,
                         [&](const QByteArrayList& paths) {
                             handed.push_back(paths);
                             forwardsBeforePaths = static_cast<int>(forwards.size());
                         });
        // Names a line-based request could break: a newline, the protocol's own words, a
        // percent sign, spaces, letters beyond ASCII, bytes that are no UTF-8 (Latin-1);
        // and a great many of them.
        QByteArrayList paths{"/music/a b.mp3",      "/music/two\nlines.mp3",
                             "/music/x\nforward\n", "/music/100%.mp3",
                             "/music/add .mp3",     "/m\xc3\xbasica/\xe2\x99\xaa.mp3",
                             "/music/caf\xe9.mp3"};
        for (int i = 0; i < 2000; ++i) {
            paths.push_back("/music/long/" + QByteArray::number(i) + ".mp3");
        }
        QVERIFY(ask_from_another_thread(name, paths));
        QCOMPARE(handed.size(), 1);
        QCOMPARE(handed[0], paths);
        QCOMPARE(forwardsBeforePaths, 0);
        QCOMPARE(forwards.size(), 1);

        // Without paths the window only comes forward.
        QVERIFY(ask_from_another_thread(name));
        QCOMPARE(handed.size(), 1);
        QCOMPARE(forwards.size(), 2);

        // A line that never ends is cut off, not gathered without bound.
        QLocalSocket endless;
        endless.connectToServer(name);
        QVERIFY(endless.waitForConnected(5000));
        const QByteArray chunk(16 * 1024, 'x');
        for (int i = 0; i < 64 && endless.state() == QLocalSocket::ConnectedState; ++i) {
            endless.write(chunk);
            endless.flush();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        QTRY_COMPARE_WITH_TIMEOUT(endless.state(), QLocalSocket::UnconnectedState, 10000);
        QCOMPARE(handed.size(), 1);
        QCOMPARE(forwards.size(), 2);
    }

    void theProgramHandsOverToARunningCopy() {
        // Once with a runtime folder, once with the temporary folder only.
        QTemporaryDir config;
        QTemporaryDir runtime;
        QTemporaryDir temp;
        QVERIFY(config.isValid() && runtime.isValid() && temp.isValid());
        const QString uid = QString::number(getuid());
        const QString runtimeSocket = runtime.filePath(u"pelmora-instance"_s);
        const QString tempFolder = temp.filePath(u"pelmora-"_s + uid);
        const QString tempSocket = tempFolder + u"/instance"_s;
        for (const auto& [runtimeDir, socketPath] :
             {std::pair{runtime.path(), runtimeSocket}, std::pair{QString(), tempSocket}}) {
            const QProcessEnvironment environment =
                program_environment(config.path(), temp.path(), runtimeDir);

            // Nobody answers: the program starts and keeps running as the first copy.
            QProcess first;
            first.setProcessEnvironment(environment);
            first.start(QStringLiteral(PELMORA_PROGRAM), {});
            QVERIFY(first.waitForStarted());
            QTRY_VERIFY_WITH_TIMEOUT(ask_from_another_thread(socketPath), 30000);
            QCOMPARE(first.state(), QProcess::Running);
            if (runtimeDir.isEmpty()) {
                // The per-user folder it made: this user's, closed to everyone else.
                uid_t owner = 0;
                QCOMPARE(mode_of(tempFolder, &owner), QByteArray("700"));
                QCOMPARE(owner, getuid());
            }

            // A second copy finds it, hands over the file it was given, asks it forward and
            // ends at once without a window.
            QProcess second;
            second.setProcessEnvironment(environment);
            second.start(QStringLiteral(PELMORA_PROGRAM), {temp.filePath(u"named.mp3"_s)});
            QVERIFY(second.waitForFinished(30000));
            QCOMPARE(second.exitStatus(), QProcess::NormalExit);
            QCOMPARE(second.exitCode(), 0);
            QCOMPARE(second.readAllStandardError().contains("not looking"), false);
            QCOMPARE(first.state(), QProcess::Running);

            first.terminate();
            QVERIFY(first.waitForFinished(10000));
            // The first copy's socket may stay behind after SIGTERM; the next copy takes it over.
            InstanceServer next;
            QVERIFY(next.listen(socketPath));
        }
    }

    void copiesStartedAtOnceLeaveOneWindow() {
        // A file manager opening several files starts a copy for each, all at once: one
        // becomes the window, the others hand their files over to it and end.
        QTemporaryDir config;
        QTemporaryDir runtime;
        QTemporaryDir temp;
        QVERIFY(config.isValid() && runtime.isValid() && temp.isValid());
        const QProcessEnvironment environment =
            program_environment(config.path(), temp.path(), runtime.path());
        constexpr int COPIES = 4;
        QProcess copies[COPIES];
        for (int i = 0; i < COPIES; ++i) {
            copies[i].setProcessEnvironment(environment);
            copies[i].start(QStringLiteral(PELMORA_PROGRAM),
                            {temp.filePath(u"track %1.mp3"_s.arg(i))});
        }
        const auto ended = [&copies] {
            int count = 0;
            for (QProcess& copy : copies) {
                count += copy.state() == QProcess::NotRunning ? 1 : 0;
            }
            return count;
        };
        QTRY_COMPARE_WITH_TIMEOUT(ended(), COPIES - 1, 30000);
        QTest::qWait(500);
        QCOMPARE(ended(), COPIES - 1);
        for (QProcess& copy : copies) {
            if (copy.state() == QProcess::NotRunning) {
                QCOMPARE(copy.exitStatus(), QProcess::NormalExit);
                QCOMPARE(copy.exitCode(), 0);
            } else {
                copy.terminate();
                QVERIFY(copy.waitForFinished(10000));
            }
        }
    }

    void theLockIsOneCopysAndNeverALinksTarget() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const std::string socket = QFile::encodeName(folder.filePath(u"instance"_s)).toStdString();
        const InstanceLockResult first = take_instance_lock(socket);
        QVERIFY(first.lock == InstanceLock::Held);
        QVERIFY(first.fd >= 0);
        QVERIFY(take_instance_lock(socket).lock == InstanceLock::HeldByAnother);
        close(first.fd);
        const InstanceLockResult again = take_instance_lock(socket);
        QVERIFY(again.lock == InstanceLock::Held);
        close(again.fd);

        // A link in the lock file's place is not followed: its target stays as it was.
        const QString target = folder.filePath(u"target"_s);
        const std::string other = QFile::encodeName(folder.filePath(u"other"_s)).toStdString();
        QVERIFY(symlink(QFile::encodeName(target).constData(), (other + ".lock").c_str()) == 0);
        QVERIFY(take_instance_lock(other).lock == InstanceLock::Unavailable);
        QVERIFY(!QFileInfo::exists(target));
    }

    void aStaleSocketIsReplaced() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString path = folder.filePath(u"pelmora-instance"_s);
        QVERIFY(leave_stale_socket(path));
        QVERIFY(QFileInfo::exists(path));
        QVERIFY(!ask_running_copy_forward(path, 300));
        InstanceServer server;
        QVERIFY(server.listen(path));
        QSignalSpy requests(&server, &InstanceServer::comeForwardRequested);
        QVERIFY(ask_from_another_thread(path));
        QCOMPARE(requests.size(), 1);
    }

    void theSocketFolderMustBeTheUsersAlone() {
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const uid_t uid = getuid();
        const std::string base = QFile::encodeName(temp.path()).toStdString();
        const std::string own = base + "/pelmora-" + std::to_string(uid);

        // Missing: made with mode 0700 and used.
        InstancePlace place = instance_place("", base, uid);
        QCOMPARE(place.socketPath, own + "/instance");
        QCOMPARE(place.refusal, "");
        QCOMPARE(mode_of(QString::fromStdString(own)), QByteArray("700"));

        // A usable runtime folder comes first; one open to others, or a relative one, is
        // passed over for the temporary folder.
        const std::string runtime = base + "/runtime";
        QCOMPARE(mkdir(runtime.c_str(), 0700), 0);
        QCOMPARE(instance_place(runtime, base, uid).socketPath, runtime + "/pelmora-instance");
        QCOMPARE(chmod(runtime.c_str(), 0755), 0);
        QCOMPARE(instance_place(runtime, base, uid).socketPath, own + "/instance");
        QCOMPARE(instance_place("runtime", base, uid).socketPath, own + "/instance");

        // Open to others (even only to read), a link to a good folder, a plain file: refused.
        QCOMPARE(chmod(own.c_str(), 0750), 0);
        place = instance_place("", base, uid);
        QCOMPARE(place.socketPath, "");
        QCOMPARE(place.refusal, own + " is open to other users");
        QCOMPARE(rmdir(own.c_str()), 0);
        QCOMPARE(symlink(runtime.c_str(), own.c_str()), 0);
        QCOMPARE(chmod(runtime.c_str(), 0700), 0);
        QCOMPARE(instance_place("", base, uid).refusal, own + " is not a folder");
        QCOMPARE(unlink(own.c_str()), 0);
        QVERIFY(QFile(QString::fromStdString(own)).open(QIODevice::WriteOnly));
        QCOMPARE(instance_place("", base, uid).refusal, own + " is not a folder");
        QCOMPARE(unlink(own.c_str()), 0);

        // Another owner, where this test may give a folder away.
        QCOMPARE(mkdir(own.c_str(), 0700), 0);
        if (uid == 0 && chown(own.c_str(), 65534, 65534) == 0) {
            QCOMPARE(instance_place("", base, uid).refusal, own + " belongs to another user");
        }

        // A temporary folder others may rename things in, unless it is sticky like /tmp; one
        // that is missing or no folder; and a path too long for a socket.
        const std::string open = base + "/open";
        QCOMPARE(mkdir(open.c_str(), 0700), 0);
        QCOMPARE(chmod(open.c_str(), 0777), 0);
        place = instance_place("", open, uid);
        QCOMPARE(place.socketPath, "");
        QCOMPARE(place.refusal, open + " is open to other users without the sticky bit");
        QCOMPARE(chmod(open.c_str(), 01777), 0);
        QCOMPARE(instance_place("", open, uid).socketPath,
                 open + "/pelmora-" + std::to_string(uid) + "/instance");
        QCOMPARE(instance_place("", base + "/missing", uid).refusal,
                 base + "/missing: No such file or directory");
        const std::string file = base + "/file";
        QVERIFY(QFile(QString::fromStdString(file)).open(QIODevice::WriteOnly));
        QCOMPARE(instance_place("", file, uid).refusal,
                 "cannot create " + file + "/pelmora-" + std::to_string(uid) + ": Not a directory");
        const std::string deep = base + "/" + std::string(120, 'd');
        QCOMPARE(mkdir(deep.c_str(), 0700), 0);
        place = instance_place(deep, base, uid);
        QCOMPARE(place.socketPath, "");
        QCOMPARE(place.refusal, deep + "/pelmora-instance is too long for a socket path");
    }

    void theProgramRunsAloneWhenItsFolderIsOpenToOthers() {
        QTemporaryDir config;
        QTemporaryDir temp;
        QVERIFY(config.isValid() && temp.isValid());
        const QString folder = temp.filePath(u"pelmora-"_s + QString::number(getuid()));
        QVERIFY(QDir().mkdir(folder));
        QCOMPARE(chmod(QFile::encodeName(folder), 0777), 0);

        QProcess program;
        program.setProcessEnvironment(program_environment(config.path(), temp.path(), {}));
        program.start(QStringLiteral(PELMORA_PROGRAM), {});
        QVERIFY(program.waitForStarted());
        const QByteArray message =
            "pelmora: not looking for a running copy: " + QFile::encodeName(folder) +
            " is open to other users\n";
        QVERIFY(says_on_stderr(&program, message));
        QVERIFY(keeps_running(&program, 2000));
        // Nothing was made in the folder it refused.
        QVERIFY(QDir(folder).isEmpty());
        stop(&program);
    }

    void anotherUsersListenerCannotKeepTheProgramFromStarting() {
        const QString why = why_no_other_user();
        if (!why.isEmpty()) {
            QSKIP(qPrintable(u"skipped: "_s + why));
        }
        SharedTemp temp;
        QTemporaryDir config;
        QVERIFY(make_shared_temp(&temp) && config.isValid());
        const QString uid = QString::number(getuid());

        // At the shared path the program used to listen on.
        {
            QProcess impostor;
            start_as_nobody(&impostor, IMPOSTOR, temp.shared + u"/Pelmora-"_s + uid);
            QCOMPARE(first_line(&impostor), QByteArray("listening\n"));
            QProcess program;
            program.setProcessEnvironment(program_environment(config.path(), temp.shared, {}));
            program.start(QStringLiteral(PELMORA_PROGRAM), {});
            const QString socketPath = temp.shared + u"/pelmora-"_s + uid + u"/instance"_s;
            QTRY_VERIFY_WITH_TIMEOUT(ask_from_another_thread(socketPath), 30000);
            QVERIFY(keeps_running(&program, 500));
            stop(&program);
            impostor.closeWriteChannel();
            QVERIFY(impostor.waitForFinished(10000));
            QCOMPARE(impostor.readAll(), QByteArray());
        }

        // At the new path, in a folder the other user made first: refused with the message.
        {
            const QString folder = temp.shared + u"/pelmora-"_s + uid;
            QVERIFY(QDir(folder).removeRecursively());
            QProcess maker;
            maker.start(u"runuser"_s,
                        {u"-u"_s, u"nobody"_s, u"--"_s, u"mkdir"_s, u"-m"_s, u"0777"_s, folder});
            QVERIFY(maker.waitForFinished(10000) && maker.exitCode() == 0);
            QProcess impostor;
            start_as_nobody(&impostor, IMPOSTOR, folder + u"/instance"_s);
            QCOMPARE(first_line(&impostor), QByteArray("listening\n"));
            QProcess program;
            program.setProcessEnvironment(program_environment(config.path(), temp.shared, {}));
            program.start(QStringLiteral(PELMORA_PROGRAM), {});
            const QByteArray message =
                "pelmora: not looking for a running copy: " + QFile::encodeName(folder) +
                " belongs to another user\n";
            QVERIFY(says_on_stderr(&program, message));
            QVERIFY(keeps_running(&program, 2000));
            stop(&program);
            impostor.closeWriteChannel();
            QVERIFY(impostor.waitForFinished(10000));
            QCOMPARE(impostor.readAll(), QByteArray());
        }

        // Inside this user's own runtime folder (put there by someone who could): its answer
        // is not trusted, the program starts and takes the name over.
        {
            QTemporaryDir runtime;
            QVERIFY(runtime.isValid());
            const QString placed = temp.shared + u"/impostor"_s;
            QProcess impostor;
            start_as_nobody(&impostor, IMPOSTOR, placed);
            QCOMPARE(first_line(&impostor), QByteArray("listening\n"));
            const QString socketPath = runtime.filePath(u"pelmora-instance"_s);
            QVERIFY(QFile::rename(placed, socketPath));
            // Still the other user's listener behind the name.
            QVERIFY(!ask_running_copy_forward(socketPath, 3000));
            QProcess program;
            program.setProcessEnvironment(
                program_environment(config.path(), temp.shared, runtime.path()));
            program.start(QStringLiteral(PELMORA_PROGRAM), {});
            QTRY_VERIFY_WITH_TIMEOUT(ask_from_another_thread(socketPath), 30000);
            QVERIFY(keeps_running(&program, 500));
            stop(&program);
            impostor.closeWriteChannel();
            QVERIFY(impostor.waitForFinished(10000));
            // Connected to, by this test and by the program, but never sent the request.
            const QByteArray heard = impostor.readAll();
            QVERIFY2(!heard.contains("forward"), heard.constData());
        }
    }

    void aRequestFromAnotherUserIsNotAnswered() {
        const QString why = why_no_other_user();
        if (!why.isEmpty()) {
            QSKIP(qPrintable(u"skipped: "_s + why));
        }
        SharedTemp temp;
        QVERIFY(make_shared_temp(&temp));
        // A name the other user can reach, so that only the credentials check stands between.
        const QString path = temp.base.filePath(u"instance"_s);
        InstanceServer server;
        QVERIFY(server.listen(path));
        QCOMPARE(chmod(QFile::encodeName(path), 0777), 0);
        QSignalSpy requests(&server, &InstanceServer::comeForwardRequested);

        QProcess knocker;
        start_as_nobody(&knocker, KNOCKER, path);
        QVERIFY(knocker.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(knocker.state() == QProcess::NotRunning, 20000);
        QCOMPARE(knocker.exitCode(), 0);
        QCOMPARE(knocker.readAll(), QByteArray("no answer\n"));
        QCOMPARE(requests.size(), 0);
        // The same server still answers this user.
        QVERIFY(ask_from_another_thread(path));
        QCOMPARE(requests.size(), 1);
    }
};

QTEST_MAIN(InstanceTest)
#include "instance_test.moc"
