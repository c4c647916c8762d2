#include "common/Settings.h"
#include "crawl/CrawlEngine.h"
#include "support/FakeTransfer.h"

#include <QSignalSpy>
#include <QTest>

// The page frontier, the found-file list and the crawl command.
class tst_Frontier : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void offeredUrlBecomesHostAndPage_data();
    void offeredUrlBecomesHostAndPage();
    void standardRootBecomesHostAndPage_data();
    void standardRootBecomesHostAndPage();
    void prefixVariantsReachTheSameNode();
    void repeatedOfferKeepsTheExistingPageState();
    void pagesPerHostAreLimited();
    void zeroPagesPerHostStillCreatesTheHost();
    void pageLimitCountsHostNodes();
    void oneOfferMayPassThePageLimitByOne();
    void emptyRootGivesAnEmptyHost();

    void crawlCommandStartsAndStops();
    void startingAgainOnAFinishedRootQueuesNothing();

    void filesAreListedOnceUpToTheLimit();
    void fullListStopsARunningCrawl();
    void fullListWhileIdleChangesNothing();
    void nonPositiveFileLimitRecordsNothing_data();
    void nonPositiveFileLimitRecordsNothing();
    void openedFileStaysOpenedWhenOfferedAgain();
    void clearStartsTheListsAfresh();

private:
    Settings m_settings;
};

void tst_Frontier::init()
{
    m_settings = defaultSettings();
}

void tst_Frontier::offeredUrlBecomesHostAndPage_data()
{
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<QByteArray>("pageKey");
    QTest::addColumn<QByteArray>("pageText");

    QTest::newRow("full address") << QByteArray("http://h/a/b.htm") << QByteArray("h") << QByteArray("h/a/b.htm") << QByteArray("/a/b.htm");
    QTest::newRow("bare host") << QByteArray("h") << QByteArray("h") << QByteArray("h/") << QByteArray("/");
    QTest::newRow("prefix in capitals") << QByteArray("HTTP://h") << QByteArray("h") << QByteArray("h/") << QByteArray("/");
    QTest::newRow("blanks around parts") << QByteArray("  h  /  a b  ") << QByteArray("h") << QByteArray("h/  a b") << QByteArray("/  a b");
    QTest::newRow("port and case kept") << QByteArray("http://WWW.H:8080/X") << QByteArray("WWW.H:8080") << QByteArray("WWW.H:8080/X") << QByteArray("/X");
    QTest::newRow("query kept") << QByteArray("http://h/p.asp?a=1/2") << QByteArray("h") << QByteArray("h/p.asp?a=1/2") << QByteArray("/p.asp?a=1/2");
    QTest::newRow("other scheme stays in the url") << QByteArray("https://h/x") << QByteArray("https:") << QByteArray("https://h/x") << QByteArray("//h/x");
    QTest::newRow("tab is not trimmed") << QByteArray("\th") << QByteArray("\th") << QByteArray("\th/") << QByteArray("/");
}

void tst_Frontier::offeredUrlBecomesHostAndPage()
{
    QFETCH(QByteArray, url);
    QFETCH(QByteArray, host);
    QFETCH(QByteArray, pageKey);
    QFETCH(QByteArray, pageText);

    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.AddPage(url);

    NodeTree &pages = engine.treePages();
    QCOMPARE(pages.Count(), 2);
    QCOMPARE(pages.Key(1), host);
    QCOMPARE(pages.Text(1), host);
    QCOMPARE(pages.Image(1), NodeImage::Domain);
    QCOMPARE(pages.Key(2), pageKey);
    QCOMPARE(pages.Text(2), pageText);
    QCOMPARE(pages.Image(2), NodeImage::Queued);
    QCOMPARE(pages.ParentIndex(2), 1);
}

void tst_Frontier::standardRootBecomesHostAndPage_data()
{
    QTest::addColumn<QByteArray>("root");
    QTest::addColumn<QByteArray>("host"); // empty: the root is refused
    QTest::addColumn<QByteArray>("pageKey");
    QTest::addColumn<QByteArray>("pageText");

    QTest::newRow("https, normalised") << QByteArray("HTTPS://WWW.H:443/a/../X?q#f") << QByteArray("www.h")
                                       << QByteArray("https://www.h/X?q") << QByteArray("/X?q");
    QTest::newRow("no scheme") << QByteArray(" h/p.htm") << QByteArray("h") << QByteArray("http://h/p.htm")
                               << QByteArray("/p.htm");
    QTest::newRow("port kept") << QByteArray("http://h:8080") << QByteArray("h:8080")
                               << QByteArray("http://h:8080/") << QByteArray("/");
    QTest::newRow("other scheme refused") << QByteArray("ftp://h/x") << QByteArray() << QByteArray() << QByteArray();
}

void tst_Frontier::standardRootBecomesHostAndPage()
{
    QFETCH(QByteArray, root);
    QFETCH(QByteArray, host);
    QFETCH(QByteArray, pageKey);
    QFETCH(QByteArray, pageText);

    m_settings.Rules = LinkRules::Standard;
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.setRootText(QString::fromLatin1(root));
    engine.cmdCrawl_Click();
    // Out of the root's host: never added once the crawl runs.
    engine.AddPage("http://elsewhere.test/x.htm");

    const NodeTree &pages = engine.treePages();
    QCOMPARE(pages.Count(), host.isEmpty() ? 0 : 2);
    if (host.isEmpty())
        return;
    QCOMPARE(pages.Key(1), host);
    QCOMPARE(pages.Key(2), pageKey);
    QCOMPARE(pages.Text(2), pageText);
    QCOMPARE(pages.Address(2), pageKey);
}

void tst_Frontier::prefixVariantsReachTheSameNode()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.AddPage("http://h/x");
    engine.AddPage("h/x");
    engine.AddPage("HTTP://h/x");
    engine.AddPage("hTtP://h/x");
    QCOMPARE(engine.treePages().Count(), 2);
}

void tst_Frontier::repeatedOfferKeepsTheExistingPageState()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.AddPage("h/a");
    engine.AddPage("h/b");
    engine.AddPage("h/c");
    engine.treePages().SetImage(2, NodeImage::Done);
    engine.treePages().SetImage(3, NodeImage::Failed);
    engine.treePages().SetImage(4, NodeImage::Fetching);
    engine.AddPage("h/a");
    engine.AddPage("h/b");
    engine.AddPage("h/c");
    QCOMPARE(engine.treePages().Count(), 4);
    QCOMPARE(engine.treePages().Image(2), NodeImage::Done);
    QCOMPARE(engine.treePages().Image(3), NodeImage::Failed);
    QCOMPARE(engine.treePages().Image(4), NodeImage::Fetching);
}

void tst_Frontier::pagesPerHostAreLimited()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings); // ten pages a host
    for (int i = 1; i <= 11; ++i)
        engine.AddPage("h/" + QByteArray::number(i));
    engine.AddPage("other/");
    const NodeTree &pages = engine.treePages();
    QCOMPARE(pages.ChildCount(1), 10);
    QCOMPARE(pages.IndexOf("h/11"), 0);
    QVERIFY(pages.IndexOf("other/") != 0);
}

void tst_Frontier::zeroPagesPerHostStillCreatesTheHost()
{
    m_settings.MaxDomain = 0;
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.AddPage("a/x");
    engine.AddPage("b/y");
    QCOMPARE(engine.treePages().Count(), 2);
    QCOMPARE(engine.treePages().Key(2), QByteArray("b"));
    QCOMPARE(engine.treePages().ChildCount(1), 0);
}

void tst_Frontier::pageLimitCountsHostNodes()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings); // a hundred nodes
    for (int i = 1; i <= 50; ++i)
        engine.AddPage("host" + QByteArray::number(i) + "/");
    QCOMPARE(engine.treePages().Count(), 100);
    engine.AddPage("host1/more");
    engine.AddPage("host51/");
    QCOMPARE(engine.treePages().Count(), 100);
}

void tst_Frontier::oneOfferMayPassThePageLimitByOne()
{
    m_settings.MaxPages = 4;
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.AddPage("a/1");
    engine.AddPage("a/2");
    engine.AddPage("b/1");
    QCOMPARE(engine.treePages().Count(), 5);
    engine.AddPage("a/3");
    QCOMPARE(engine.treePages().Count(), 5);
}

void tst_Frontier::emptyRootGivesAnEmptyHost()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.AddPage("");
    QCOMPARE(engine.treePages().Count(), 2);
    QCOMPARE(engine.treePages().Key(1), QByteArray());
    QCOMPARE(engine.treePages().Key(2), QByteArray("/"));
}

void tst_Frontier::crawlCommandStartsAndStops()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    QVERIFY(!engine.running());
    QVERIFY(engine.title().isEmpty()); // the view writes the first status line
    engine.setTitle(QStringLiteral("before"));
    QSignalSpy running(&engine, &CrawlEngine::runningChanged);
    engine.setRootText(QStringLiteral("h"));

    engine.cmdCrawl_Click();
    QCOMPARE(running.count(), 1);
    QCOMPARE(running.last().first().toBool(), true);
    QVERIFY(engine.running());
    QVERIFY(engine.TimerKeepBusy().isActive());
    QCOMPARE(engine.TimerKeepBusy().interval(), 1000);
    QCOMPARE(engine.treePages().Count(), 2);
    QCOMPARE(engine.treePages().Image(2), NodeImage::Queued);
    QVERIFY(transfer.requests.isEmpty()); // the first read waits for the first tick

    engine.cmdCrawl_Click();
    QCOMPARE(running.last().first().toBool(), false);
    QVERIFY(!engine.running());
    QVERIFY(!engine.TimerKeepBusy().isActive());
    QCOMPARE(running.count(), 2);
    QCOMPARE(engine.title(), QStringLiteral("before")); // starting and stopping write no status
}

void tst_Frontier::startingAgainOnAFinishedRootQueuesNothing()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.setRootText(QStringLiteral("http://h/"));
    engine.cmdCrawl_Click();
    engine.treePages().SetImage(2, NodeImage::Done);
    engine.cmdCrawl_Click();
    engine.cmdCrawl_Click();
    QCOMPARE(engine.treePages().Count(), 2);
    QCOMPARE(engine.treePages().Image(2), NodeImage::Done);
}

void tst_Frontier::filesAreListedOnceUpToTheLimit()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings); // two hundred files
    engine.cmdCrawl_Click();
    for (int i = 1; i <= 200; ++i) {
        engine.AddFile("http://h/1.jpg");
        engine.AddFile("http://h/" + QByteArray::number(i) + ".jpg");
    }
    QCOMPARE(engine.treeFiles().Count(), 200);
    QCOMPARE(engine.treeFiles().Key(200), QByteArray("http://h/200.jpg"));
    QCOMPARE(engine.treeFiles().Text(200), QByteArray("http://h/200.jpg"));
    QCOMPARE(engine.treeFiles().Image(200), NodeImage::FoundFile);
    QVERIFY(engine.running());
    engine.AddFile("http://h/201.jpg");
    QVERIFY(!engine.running());
    QCOMPARE(engine.treeFiles().Count(), 200);
}

void tst_Frontier::fullListStopsARunningCrawl()
{
    m_settings.MaxFiles = 2;
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.cmdCrawl_Click();
    engine.AddFile("http://h/1.jpg");
    engine.AddFile("http://h/2.jpg");
    QVERIFY(engine.running());
    engine.AddFile("http://h/1.jpg"); // already listed, and still it stops the crawl
    QVERIFY(!engine.running());
    QVERIFY(!engine.TimerKeepBusy().isActive());
    engine.AddFile("http://h/3.jpg"); // further links keep it stopped
    QVERIFY(!engine.running());
    QCOMPARE(engine.treeFiles().Count(), 2);
}

void tst_Frontier::fullListWhileIdleChangesNothing()
{
    m_settings.MaxFiles = 1;
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.AddFile("http://h/1.jpg");
    QSignalSpy running(&engine, &CrawlEngine::runningChanged);
    engine.AddFile("http://h/2.jpg");
    QCOMPARE(running.count(), 0);
    QVERIFY(!engine.running());
}

void tst_Frontier::nonPositiveFileLimitRecordsNothing_data()
{
    QTest::addColumn<int>("limit");
    QTest::newRow("zero") << 0;
    QTest::newRow("negative") << -5;
}

void tst_Frontier::nonPositiveFileLimitRecordsNothing()
{
    QFETCH(int, limit);
    m_settings.MaxFiles = qint16(limit);
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.cmdCrawl_Click();
    engine.AddFile("http://h/1.jpg");
    QCOMPARE(engine.treeFiles().Count(), 0);
    QVERIFY(!engine.running());
}

void tst_Frontier::openedFileStaysOpenedWhenOfferedAgain()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.AddFile("http://h/1.jpg");
    engine.treeFiles().SetImage(1, NodeImage::OpenedFile);
    engine.AddFile("http://h/1.jpg");
    QCOMPARE(engine.treeFiles().Count(), 1);
    QCOMPARE(engine.treeFiles().Image(1), NodeImage::OpenedFile);
}

void tst_Frontier::clearStartsTheListsAfresh()
{
    m_settings.MaxFiles = 1;
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.AddPage("h/");
    engine.AddFile("http://h/1.jpg");
    engine.clearResults();
    QCOMPARE(engine.title(), QStringLiteral("0 files found / 0 pages found..."));
    engine.AddFile("http://h/2.jpg");
    engine.AddPage("h/");
    QCOMPARE(engine.treeFiles().Count(), 1);
    QCOMPARE(engine.treePages().Count(), 2);
}

QTEST_GUILESS_MAIN(tst_Frontier)
#include "tst_frontier.moc"
