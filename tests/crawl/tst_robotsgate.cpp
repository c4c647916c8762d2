#include "common/Settings.h"
#include "crawl/CrawlEngine.h"
#include "support/FakeTransfer.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>

// A crawl that honours robots.txt: each host's rules are read once, first, and
// the pages they refuse end failed without a read. Off, nothing changes.
class tst_RobotsGate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void offByDefault();
    void rulesDecideTheHostsPages_data();
    void rulesDecideTheHostsPages();
    void answerWithoutFile_data();
    void answerWithoutFile();
    void robotsReadsTakePlaces();
    void crawlWaitsForRobots();

private:
    QByteArrayList requestedUrls(const FakeTransfer &transfer) const;

    Settings m_settings;
};

void tst_RobotsGate::init()
{
    m_settings = defaultSettings();
}


QByteArrayList tst_RobotsGate::requestedUrls(const FakeTransfer &transfer) const
{
    QByteArrayList urls;
    for (const FakeTransfer::Request &request : transfer.requests)
        urls.append(request.url);
    return urls;
}

void tst_RobotsGate::offByDefault()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.AddPage("h/private/a.htm");
    engine.TimerKeepBusy_Timer();
    QCOMPARE(requestedUrls(transfer), QByteArrayList{"http://h/private/a.htm"});
}

void tst_RobotsGate::rulesDecideTheHostsPages_data()
{
    QTest::addColumn<LinkRules>("rules");
    QTest::addColumn<QByteArray>("site"); // what the pages' addresses begin with
    QTest::addColumn<QByteArray>("read"); // ... and the reads'

    QTest::newRow("classic") << LinkRules::Classic << QByteArray("h/") << QByteArray("http://h/");
    // Each scheme of a host has its own robots.txt.
    QTest::newRow("standard, https") << LinkRules::Standard << QByteArray("https://h/") << QByteArray("https://h/");
}

void tst_RobotsGate::rulesDecideTheHostsPages()
{
    QFETCH(LinkRules, rules);
    QFETCH(QByteArray, site);
    QFETCH(QByteArray, read);

    m_settings.Rules = rules;
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.setRobotsHonoured(true);
    engine.AddPage(site + "private/a.htm");
    engine.AddPage(site + "b.htm");
    engine.TimerKeepBusy_Timer();
    // The host's rules come first; its pages wait for them.
    QCOMPARE(requestedUrls(transfer), QByteArrayList{read + "robots.txt"});
    QCOMPARE(engine.treePages().Image(2), NodeImage::Queued);
    QCOMPARE(engine.readsInFlight(), 1);

    const QString robots = transfer.bodyFile("User-agent: Trovewick\nDisallow: /private\n\nUser-agent: *\nDisallow: /\n");
    transfer.complete(transfer.requests.at(0), robots);
    QVERIFY(!QFileInfo::exists(robots));
    QCOMPARE(engine.readsInFlight(), 0);

    engine.TimerKeepBusy_Timer();
    QCOMPARE(engine.treePages().Image(2), NodeImage::Failed);
    QCOMPARE(engine.treePages().Reason(2), ReadReason::Robots);
    QCOMPARE(engine.treePages().Image(3), NodeImage::Fetching);
    QCOMPARE(requestedUrls(transfer), (QByteArrayList{read + "robots.txt", read + "b.htm"}));

    // Read once per host: a later page of the host asks for nothing more.
    engine.AddPage(site + "c.htm");
    engine.TimerKeepBusy_Timer();
    QCOMPARE(transfer.requests.size(), 3);
    QCOMPARE(transfer.requests.at(2).url, read + "c.htm");
}

void tst_RobotsGate::answerWithoutFile_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("pageImage");
    QTest::newRow("404 allows everything") << 404 << NodeImage::Fetching;
    QTest::newRow("410 allows everything") << 410 << NodeImage::Fetching;
    QTest::newRow("500 refuses everything") << 500 << NodeImage::Failed;
    QTest::newRow("503 refuses everything") << 503 << NodeImage::Failed;
    QTest::newRow("unreachable refuses everything") << 0 << NodeImage::Failed;
}

void tst_RobotsGate::answerWithoutFile()
{
    QFETCH(int, status);
    QFETCH(int, pageImage);
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.setRobotsHonoured(true);
    engine.AddPage("h/a.htm");
    engine.TimerKeepBusy_Timer();
    const FakeTransfer::Request robots = transfer.requests.at(0);
    Q_EMIT transfer.FileReadComplete(robots.key, 1, AsyncProp{QString(), robots.url, status}, robots.data);
    engine.TimerKeepBusy_Timer();
    QCOMPARE(engine.treePages().Image(2), pageImage);
}

void tst_RobotsGate::robotsReadsTakePlaces()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.setRobotsHonoured(true);
    for (int host = 1; host <= 7; ++host)
        engine.AddPage("h" + QByteArray::number(host) + "/a.htm");
    engine.TimerKeepBusy_Timer();
    // Five reads in flight at most, robots.txt reads included.
    QCOMPARE(transfer.requests.size(), 5);
    for (const FakeTransfer::Request &request : std::as_const(transfer.requests))
        QVERIFY(request.url.endsWith("/robots.txt"));
    engine.TimerKeepBusy_Timer();
    QCOMPARE(transfer.requests.size(), 5);
}

void tst_RobotsGate::crawlWaitsForRobots()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.setRobotsHonoured(true);
    engine.setRootText(QStringLiteral("h/a.htm"));
    engine.cmdCrawl_Click();
    engine.TimerKeepBusy_Timer();
    engine.TimerKeepBusy_Timer();
    // The robots.txt read keeps the crawl alive although no page is in flight.
    QVERIFY(engine.running());

    transfer.complete(transfer.requests.at(0), transfer.bodyFile("User-agent: *\nDisallow: /\n"));
    // The refused root ends failed, and with nothing left the crawl finishes.
    engine.TimerKeepBusy_Timer();
    QCOMPARE(engine.treePages().Image(2), NodeImage::Failed);
    QVERIFY(!engine.running());
}

QTEST_GUILESS_MAIN(tst_RobotsGate)
#include "tst_robotsgate.moc"
