#include "ui/ShellOpen.h"

#include <QTest>

class tst_ShellOpen : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void shellOpenUrl_data();
    void shellOpenUrl();
};

void tst_ShellOpen::shellOpenUrl_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QUrl>("expected");

    QTest::newRow("empty") << QString() << QUrl();
    QTest::newRow("blanks only") << QStringLiteral("   ") << QUrl();
    QTest::newRow("help address without a scheme")
        << QStringLiteral("www.trovewick.example/help/v2.0.htm")
        << QUrl(QStringLiteral("http://www.trovewick.example/help/v2.0.htm"));
    QTest::newRow("bare www host") << QStringLiteral("www.trovewick.example")
                                   << QUrl(QStringLiteral("http://www.trovewick.example"));
    QTest::newRow("www in capitals") << QStringLiteral("WWW.Example.test/a")
                                     << QUrl(QStringLiteral("http://WWW.Example.test/a"));
    QTest::newRow("http address as itself") << QStringLiteral("http://h.test/music/a.mp3")
                                            << QUrl(QStringLiteral("http://h.test/music/a.mp3"));
    QTest::newRow("https address as itself") << QStringLiteral("https://h.test/a?b=c")
                                             << QUrl(QStringLiteral("https://h.test/a?b=c"));
    QTest::newRow("scheme in capitals") << QStringLiteral("HTTP://h.test/x.gif")
                                        << QUrl(QStringLiteral("HTTP://h.test/x.gif"));
    QTest::newRow("ftp address") << QStringLiteral("ftp://h.test/pub/a.avi")
                                 << QUrl(QStringLiteral("ftp://h.test/pub/a.avi"));
    QTest::newRow("mail address") << QStringLiteral("mailto:ads@h.test")
                                  << QUrl(QStringLiteral("mailto:ads@h.test"));
    QTest::newRow("local popup page") << QStringLiteral("/opt/trovewick/popup.htm")
                                      << QUrl::fromLocalFile(QStringLiteral("/opt/trovewick/popup.htm"));
    QTest::newRow("local path with a space") << QStringLiteral("/tmp/my pages/popup.htm")
                                             << QUrl(QStringLiteral("file:///tmp/my%20pages/popup.htm"));
    QTest::newRow("file url") << QStringLiteral("file:///tmp/popup.htm")
                              << QUrl(QStringLiteral("file:///tmp/popup.htm"));
    QTest::newRow("relative path") << QStringLiteral("popup.htm") << QUrl();
    QTest::newRow("bare host without www") << QStringLiteral("trovewick.example/help") << QUrl();
    QTest::newRow("http without a host") << QStringLiteral("http://") << QUrl();
    QTest::newRow("script scheme") << QStringLiteral("javascript:alert(1)") << QUrl();
    QTest::newRow("other protocol handler") << QStringLiteral("smb://h.test/share") << QUrl();
}

void tst_ShellOpen::shellOpenUrl()
{
    QFETCH(QString, target);
    QTEST(modPublic::shellOpenUrl(target), "expected");
}

QTEST_APPLESS_MAIN(tst_ShellOpen)
#include "tst_shellopen.moc"
