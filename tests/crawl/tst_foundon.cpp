#include "common/Settings.h"
#include "crawl/CrawlEngine.h"
#include "support/FakeTransfer.h"

#include <QTest>

// Each found file remembers the page whose scan listed it first; what the list,
// the limits and the crawl do stays as it was.
class tst_FoundOn : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstListingPageIsKept_data();
    void firstListingPageIsKept();
    void clearForgetsThePages();
};

void tst_FoundOn::firstListingPageIsKept_data()
{
    QTest::addColumn<int>("maxFiles");
    QTest::addColumn<QByteArrayList>("expected"); // "file<TAB>page" in list order

    QTest::newRow("room for all")
        << 10
        << QByteArrayList{"http://h/dir/a.jpg\thttp://h/dir/p1.htm", "http://h/b.gif\thttp://h/dir/p1.htm",
                          "http://h/dir/c.mp3\thttp://h/dir/p2.htm"};
    // The third file is refused on the second page; nothing else changes.
    QTest::newRow("list full")
        << 2 << QByteArrayList{"http://h/dir/a.jpg\thttp://h/dir/p1.htm", "http://h/b.gif\thttp://h/dir/p1.htm"};
}

void tst_FoundOn::firstListingPageIsKept()
{
    QFETCH(int, maxFiles);
    QFETCH(QByteArrayList, expected);

    Settings settings = defaultSettings();
    settings.MaxFiles = qint16(maxFiles);
    FakeTransfer transfer;
    CrawlEngine engine(transfer, settings);
    engine.AddPage("h/dir/p1.htm");
    engine.AddPage("h/dir/p2.htm");
    engine.TimerKeepBusy_Timer();
    QCOMPARE(transfer.requests.size(), 2);

    // Both pages list a.jpg; the one completing first is where it was found.
    transfer.complete(transfer.requests.at(0), transfer.bodyFile("<a href=a.jpg><a href=http://h/b.gif>"));
    transfer.complete(transfer.requests.at(1), transfer.bodyFile("<a href=a.jpg><a href=c.mp3>"));

    const NodeTree &files = engine.treeFiles();
    QByteArrayList actual;
    for (int i = 1; i <= files.Count(); ++i)
        actual.append(files.Key(i) + '\t' + engine.foundOn(i));
    QCOMPARE(actual, expected);
    QCOMPARE(engine.foundOn(0), QByteArray());
    QCOMPARE(engine.foundOn(files.Count() + 1), QByteArray());
}

void tst_FoundOn::clearForgetsThePages()
{
    Settings settings = defaultSettings();
    FakeTransfer transfer;
    CrawlEngine engine(transfer, settings);
    engine.AddPage("h/p1.htm");
    engine.TimerKeepBusy_Timer();
    transfer.complete(transfer.requests.at(0), transfer.bodyFile("<a href=a.jpg>"));
    QCOMPARE(engine.foundOn(1), QByteArray("http://h/p1.htm"));

    engine.clearResults();
    QCOMPARE(engine.foundOn(1), QByteArray());
    // A file offered outside any page scan has no page.
    engine.AddFile("http://h/z.gif");
    QCOMPARE(engine.treeFiles().Count(), 1);
    QCOMPARE(engine.foundOn(1), QByteArray());
}

QTEST_GUILESS_MAIN(tst_FoundOn)
#include "tst_foundon.moc"
