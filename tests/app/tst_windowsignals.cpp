#include "support/TestHttpServer.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

// The window program asked to end from outside quits as if its window were
// closed: a normal exit, its temporary folder gone, the settings untouched.
class tst_WindowSignals : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void endRequestsQuitCleanly_data();
    void endRequestsQuitCleanly();
    void helpNeedsNoDisplay();
};

void tst_WindowSignals::endRequestsQuitCleanly_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGHUP") << int(SIGHUP);
    QTest::newRow("Ctrl-C") << int(SIGINT);
}

void tst_WindowSignals::endRequestsQuitCleanly()
{
    QFETCH(int, signalNumber);

    // The sponsor feed is asked for once the window has loaded; the test
    // server, as the proxy, sees that request and answers with a popup page,
    // so the program's temporary folder exists when the signal comes.
    TestHttpServer server;
    QVERIFY(server.isListening());
    server.route("/info2.0.xml",
                 TestHttpServer::Response::html("<feed><popup>http://www.pop.test/p.htm</popup></feed>"));
    TestHttpServer::Response silent;
    silent.neverAnswer = true;
    server.route("/p.htm", silent);

    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QString config = home.filePath(QStringLiteral("config"));
    const QString temp = home.filePath(QStringLiteral("tmp"));
    QVERIFY(QDir().mkpath(config + QStringLiteral("/Trovewick")));
    QVERIFY(QDir().mkpath(temp));
    const QByteArray settings = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Trovewick\\Trovewick20]\r\n"
                                "\"MaxPages\"=\"250\"\r\n";
    QFile store(config + QStringLiteral("/Trovewick/registry.reg"));
    QVERIFY(store.open(QIODevice::WriteOnly));
    store.write(settings);
    store.close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    env.insert(QStringLiteral("TMPDIR"), temp);
    env.insert(QStringLiteral("http_proxy"), QString::fromLatin1(server.url({})));
    env.remove(QStringLiteral("no_proxy"));
    env.remove(QStringLiteral("NO_PROXY"));

    QProcess window;
    window.setProcessEnvironment(env);
    window.start(QStringLiteral(TROVEWICK_WINDOW), {});
    QVERIFY(window.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(server.requestCount("/p.htm"), 1, 30'000);
    QCOMPARE(QDir(temp).entryList({QStringLiteral("trovewick-*")}, QDir::Dirs).size(), 1);

    QSignalSpy finished(&window, &QProcess::finished);
    ::kill(pid_t(window.processId()), signalNumber);
    // Then again at every turn of this loop until it is gone, as from `timeout` (process, then group).
    QTimer again;
    connect(&again, &QTimer::timeout, this, [&] {
        if (window.processId() > 0) // not yet reaped
            ::kill(pid_t(window.processId()), signalNumber);
    });
    again.start(0);
    QVERIFY(finished.wait(30'000));
    QCOMPARE(window.exitStatus(), QProcess::NormalExit);
    QCOMPARE(window.exitCode(), 0);
    // Qt may keep a runtime folder of its own there; none of the program's is left.
    QCOMPARE(QDir(temp).entryList({QStringLiteral("trovewick-*")}, QDir::AllEntries | QDir::Hidden),
             QStringList());
    QVERIFY(store.open(QIODevice::ReadOnly));
    QCOMPARE(store.readAll(), settings);
}

void tst_WindowSignals::helpNeedsNoDisplay()
{
    QProcess window;
    window.setProcessEnvironment(QProcessEnvironment()); // no display, no platform named
    window.start(QStringLiteral(TROVEWICK_WINDOW), {QStringLiteral("--help")});
    QVERIFY(window.waitForFinished(30'000));
    const QByteArray out = window.readAllStandardOutput();
    QVERIFY2(window.exitStatus() == QProcess::NormalExit && window.exitCode() == 0, out);
    QVERIFY2(out.contains("--version") && out.contains("-platform NAME"), out);
}

QTEST_GUILESS_MAIN(tst_WindowSignals)
#include "tst_windowsignals.moc"
