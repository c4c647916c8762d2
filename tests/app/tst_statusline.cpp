#include "app/StatusLine.h"

#include <QTest>

namespace {

// A status rewritten in place on a terminal.
QByteArray inPlace(const QByteArray &text)
{
    return '\r' + text + "\033[K";
}

} // namespace

// The status line on standard error, with the clock and the terminal test in
// the test's hands.
class tst_StatusLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writesTheStatus_data();
    void writesTheStatus();
    void timerShowsTheWaitingChange();
    void figures_data();
    void figures();

private:
    qint64 m_now = 0;
    QByteArrayList m_written;
};

void tst_StatusLine::writesTheStatus_data()
{
    QTest::addColumn<bool>("isTerminal");
    // "MS WHAT", the clock at MS: WHAT a status to show (of 8 pages), "!" to show
    // what waits if it is due, "~" to redraw, "|" to break the line, "=TEXT" to
    // finish with TEXT as the current status and "last" as the last line.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QByteArrayList>("written");

    QTest::newRow("first change at once")
        << true << QStringList{QStringLiteral("500 A")} << QByteArrayList{inPlace("A 0.5 s, 16.0 pages/s")};
    QTest::newRow("a tenth of a second apart, every change")
        << true << QStringList{QStringLiteral("500 A"), QStringLiteral("600 B"), QStringLiteral("700 C")}
        << QByteArrayList{inPlace("A 0.5 s, 16.0 pages/s"), inPlace("B 0.6 s, 13.3 pages/s"),
                          inPlace("C 0.7 s, 11.4 pages/s")};
    QTest::newRow("a change sooner waits")
        << true << QStringList{QStringLiteral("500 A"), QStringLiteral("599 B")}
        << QByteArrayList{inPlace("A 0.5 s, 16.0 pages/s")};
    QTest::newRow("the newest waiting change when due")
        << true
        << QStringList{QStringLiteral("500 A"), QStringLiteral("530 B"), QStringLiteral("560 C"),
                       QStringLiteral("600 !")}
        << QByteArrayList{inPlace("A 0.5 s, 16.0 pages/s"), inPlace("C 0.6 s, 13.3 pages/s")};
    QTest::newRow("not due yet")
        << true << QStringList{QStringLiteral("500 A"), QStringLiteral("530 B"), QStringLiteral("599 !")}
        << QByteArrayList{inPlace("A 0.5 s, 16.0 pages/s")};
    QTest::newRow("nothing waiting")
        << true << QStringList{QStringLiteral("500 A"), QStringLiteral("900 !")}
        << QByteArrayList{inPlace("A 0.5 s, 16.0 pages/s")};
    QTest::newRow("a later change replaces the waiting one")
        << true
        << QStringList{QStringLiteral("500 A"), QStringLiteral("550 B"), QStringLiteral("660 C"),
                       QStringLiteral("900 !")}
        << QByteArrayList{inPlace("A 0.5 s, 16.0 pages/s"), inPlace("C 0.7 s, 12.1 pages/s")};
    QTest::newRow("line broken, the next change at once")
        << true << QStringList{QStringLiteral("500 A"), QStringLiteral("510 |"), QStringLiteral("520 B")}
        << QByteArrayList{inPlace("A 0.5 s, 16.0 pages/s"), "\n", inPlace("B 0.5 s, 15.4 pages/s")};
    QTest::newRow("nothing on the line to break")
        << true << QStringList{QStringLiteral("500 |")} << QByteArrayList{};
    QTest::newRow("finish brings the line up to date at once")
        << true << QStringList{QStringLiteral("500 A"), QStringLiteral("520 =F")}
        << QByteArrayList{inPlace("A 0.5 s, 16.0 pages/s"), inPlace("F 0.5 s, 15.4 pages/s"), "\n", "last\n"};
    QTest::newRow("unchanged, drawn again with the time moved on")
        << true << QStringList{QStringLiteral("500 A"), QStringLiteral("1500 ~"), QStringLiteral("2500 ~")}
        << QByteArrayList{inPlace("A 0.5 s, 16.0 pages/s"), inPlace("A 1.5 s, 5.3 pages/s"),
                          inPlace("A 2.5 s, 3.2 pages/s")};
    QTest::newRow("no redraw once the line is broken")
        << true << QStringList{QStringLiteral("500 =F"), QStringLiteral("1500 ~")}
        << QByteArrayList{inPlace("F 0.5 s, 16.0 pages/s"), "\n", "last\n"};
    QTest::newRow("off a terminal, every change a line")
        << false << QStringList{QStringLiteral("500 A"), QStringLiteral("510 B"), QStringLiteral("520 B")}
        << QByteArrayList{"A\n", "B\n", "B\n"};
    QTest::newRow("off a terminal, nothing waits, breaks or is redrawn")
        << false << QStringList{QStringLiteral("500 A"), QStringLiteral("510 B"), QStringLiteral("900 !"),
                                QStringLiteral("910 |"), QStringLiteral("1900 ~")}
        << QByteArrayList{"A\n", "B\n"};
    QTest::newRow("off a terminal, finish writes the last line alone")
        << false << QStringList{QStringLiteral("500 A"), QStringLiteral("510 =F")}
        << QByteArrayList{"A\n", "last\n"};
}

void tst_StatusLine::writesTheStatus()
{
    QFETCH(bool, isTerminal);
    QFETCH(QStringList, steps);
    QFETCH(QByteArrayList, written);

    m_now = 0;
    m_written.clear();
    StatusLine line(isTerminal, [this](const QByteArray &bytes) { m_written.append(bytes); },
                    [this] { return m_now; });
    for (const QString &step : steps) {
        const qsizetype blank = step.indexOf(u' ');
        m_now = step.left(blank).toLongLong();
        const QString what = step.mid(blank + 1);
        if (what == u"!")
            line.showWaiting();
        else if (what == u"~")
            line.redraw();
        else if (what == u"|")
            line.breakLine();
        else if (what.startsWith(u'='))
            line.finish(what.mid(1), 8, QStringLiteral("last"));
        else
            line.show(what, 8);
    }
    QCOMPARE(m_written, written);
}

void tst_StatusLine::timerShowsTheWaitingChange()
{
    m_now = 1000;
    m_written.clear();
    StatusLine line(true, [this](const QByteArray &bytes) { m_written.append(bytes); }, [this] { return m_now; });
    m_now = 1500;
    line.show(QStringLiteral("A"), 3);
    m_now = 1540;
    line.show(QStringLiteral("B"), 6);
    QVERIFY(line.hasWaiting());
    m_now = 1640; // the clock moves on; the timer, due in 60 ms, shows B
    QTRY_COMPARE(m_written.size(), 2);
    QCOMPARE(m_written.last(), inPlace("B 0.6 s, 9.4 pages/s"));
    QVERIFY(!line.hasWaiting());
}

void tst_StatusLine::figures_data()
{
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<int>("pages");
    QTest::addColumn<QString>("figures");
    QTest::newRow("seconds and rate") << qint64(3200) << 40 << QStringLiteral(" 3.2 s, 12.5 pages/s");
    QTest::newRow("no time yet") << qint64(0) << 5 << QStringLiteral(" 0.0 s, 0.0 pages/s");
    QTest::newRow("no pages") << qint64(2000) << 0 << QStringLiteral(" 2.0 s, 0.0 pages/s");
    QTest::newRow("rounded to a tenth") << qint64(1049) << 3 << QStringLiteral(" 1.0 s, 2.9 pages/s");
    QTest::newRow("an hour") << qint64(3600000) << 7200 << QStringLiteral(" 3600.0 s, 2.0 pages/s");
}

void tst_StatusLine::figures()
{
    QFETCH(qint64, elapsedMs);
    QFETCH(int, pages);
    QFETCH(QString, figures);
    QCOMPARE(StatusLine::figures(elapsedMs, pages), figures);
}

QTEST_GUILESS_MAIN(tst_StatusLine)
#include "tst_statusline.moc"
