// One running copy per user: a later copy hands over to the first and ends; without a first
// copy it starts normally. Tested between two ends in this process and with the real program.
#include <unistd.h>

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <thread>

#include "app/names.h"
#include "app/single_instance.h"
#include "tests/app/app_test_support.h"

using namespace Qt::StringLiterals;

namespace {

QString test_server_name(const char* purpose) {
    return u"pelmora-test-%1-%2"_s.arg(QString::fromLatin1(purpose)).arg(getpid());
}

// The client blocks on its socket, so it runs on a thread of its own while this one serves.
bool ask_from_another_thread(const QString& name) {
    std::atomic<int> answer{-1};
    std::thread client([&] { answer = ask_running_copy_forward(name, 5000) ? 1 : 0; });
    QElapsedTimer clock;
    clock.start();
    while (answer < 0 && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    client.join();
    return answer == 1;
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

    void theProgramHandsOverToARunningCopy() {
        const QString name = instance_server_name();
        QVERIFY(name.endsWith(QString::number(getuid())));
        if (ask_running_copy_forward(name, 300)) {
            QSKIP("a Pelmora of this user is running");
        }
        QTemporaryDir config;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        environment.insert(u"XDG_CONFIG_HOME"_s, config.path());

        // Nobody answers: the program starts and keeps running as the first copy.
        QProcess first;
        first.setProcessEnvironment(environment);
        first.start(QStringLiteral(PELMORA_PROGRAM), {});
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(ask_from_another_thread(name), 30000);
        QCOMPARE(first.state(), QProcess::Running);

        // A second copy finds it, asks it forward and ends at once without a window.
        QProcess second;
        second.setProcessEnvironment(environment);
        second.start(QStringLiteral(PELMORA_PROGRAM), {});
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(first.state(), QProcess::Running);

        first.terminate();
        QVERIFY(first.waitForFinished(10000));
        // The first copy's socket may stay behind after SIGTERM; the next copy takes it over.
        InstanceServer next;
        QVERIFY(next.listen(name));
    }
};

QTEST_MAIN(InstanceTest)
#include "instance_test.moc"
