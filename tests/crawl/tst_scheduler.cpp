#include "common/Settings.h"
#include "crawl/CrawlEngine.h"
#include "support/FakeTransfer.h"

#include <QSignalSpy>
#include <QTest>

namespace {

QByteArrayList requestedUrls(const FakeTransfer &transfer)
{
    QByteArrayList urls;
    for (const FakeTransfer::Request &request : transfer.requests)
        urls.append(request.url);
    return urls;
}

} // namespace

// The scheduler tick, driven directly: no test waits for the timer.
class tst_Scheduler : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void firstTickStartsTheRoot();
    void fiveReadsAtMostInFlight();
    void topsUpToFive();
    void fetchingPagesFarApartAreAllCounted();
    void nothingLeftFinishesTheCrawl();
    void finishingTwiceRepeatsTheSuffix();
    void emptyTreeFinishesTheCrawl();
    void stopReasonSaysWhy_data();
    void stopReasonSaysWhy();
    void onlyQueuedPagesAreStarted();
    void scanPositionSkipsTheFinishedPart();
    void pagesQueuedAfterAClearAreStarted();
    void stopAndStartResumes();
    void failingRequestEndsTheTickSilently();
    void timerDrivesTheTick();

private:
    Settings m_settings;
};

void tst_Scheduler::init()
{
    m_settings = defaultSettings();
    m_settings.MaxDomain = 100;
}

void tst_Scheduler::firstTickStartsTheRoot()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.setRootText(QStringLiteral("h"));
    engine.cmdCrawl_Click();
    engine.TimerKeepBusy_Timer();

    QCOMPARE(engine.treePages().Image(2), NodeImage::Fetching);
    QCOMPARE(transfer.requests.size(), 1);
    const FakeTransfer::Request &request = transfer.requests.first();
    QCOMPARE(request.url, QByteArray("http://h/"));
    QCOMPARE(request.url2, QByteArray("http://h/"));
    QCOMPARE(request.fileType, 1);
    QCOMPARE(request.data, QByteArray("2"));
    QCOMPARE(engine.title(), QStringLiteral("0 files found / 2 pages found..."));
    QVERIFY(engine.running());
}

void tst_Scheduler::fiveReadsAtMostInFlight()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    for (int i = 1; i <= 12; ++i)
        engine.AddPage("h/" + QByteArray::number(i));
    engine.TimerKeepBusy_Timer();
    QCOMPARE(transfer.requests.size(), 5);
    QCOMPARE(transfer.requests.first().data, QByteArray("2"));
    QCOMPARE(transfer.requests.last().data, QByteArray("6"));
    QCOMPARE(engine.treePages().Image(7), NodeImage::Queued);

    engine.TimerKeepBusy_Timer();
    QCOMPARE(transfer.requests.size(), 5);
    QCOMPARE(engine.title(), QStringLiteral("0 files found / 13 pages found..."));
}

void tst_Scheduler::topsUpToFive()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    for (int i = 1; i <= 7; ++i)
        engine.AddPage("h/" + QByteArray::number(i));
    for (int i = 2; i <= 4; ++i)
        engine.treePages().SetImage(i, NodeImage::Fetching);
    engine.TimerKeepBusy_Timer();
    QCOMPARE(transfer.requests.size(), 2);
    QCOMPARE(transfer.requests.at(0).data, QByteArray("5"));
    QCOMPARE(transfer.requests.at(1).data, QByteArray("6"));
    QCOMPARE(engine.treePages().Image(7), NodeImage::Queued);
    QCOMPARE(engine.treePages().Image(8), NodeImage::Queued);
}

void tst_Scheduler::fetchingPagesFarApartAreAllCounted()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    for (int i = 1; i <= 60; ++i)
        engine.AddPage("h/" + QByteArray::number(i));
    engine.treePages().SetImage(3, NodeImage::Fetching);
    engine.treePages().SetImage(61, NodeImage::Fetching);
    engine.TimerKeepBusy_Timer();
    QCOMPARE(transfer.requests.size(), 3);
    QCOMPARE(transfer.requests.first().data, QByteArray("2"));
    QCOMPARE(transfer.requests.last().data, QByteArray("5"));
}

void tst_Scheduler::nothingLeftFinishesTheCrawl()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.setRootText(QStringLiteral("h"));
    engine.cmdCrawl_Click();
    engine.TimerKeepBusy_Timer();
    engine.treePages().SetImage(2, NodeImage::Done);
    engine.AddFile("http://h/f.jpg");

    engine.TimerKeepBusy_Timer();
    // The status text is not refreshed on the finishing tick.
    QCOMPARE(engine.title(), QStringLiteral("0 files found / 2 pages found... [crawl finished]"));
    QVERIFY(!engine.running());
    QVERIFY(!engine.TimerKeepBusy().isActive());
}

void tst_Scheduler::finishingTwiceRepeatsTheSuffix()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.setTitle(QStringLiteral("status"));
    engine.setRootText(QStringLiteral("h"));
    engine.AddPage("h");
    engine.treePages().SetImage(2, NodeImage::Done);
    for (int round = 0; round < 2; ++round) {
        engine.cmdCrawl_Click();
        engine.TimerKeepBusy_Timer();
    }
    QCOMPARE(engine.title(), QStringLiteral("status [crawl finished] [crawl finished]"));
}

void tst_Scheduler::emptyTreeFinishesTheCrawl()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.setRootText(QStringLiteral("h"));
    engine.cmdCrawl_Click();
    engine.clearResults();
    engine.TimerKeepBusy_Timer();
    QCOMPARE(engine.title(), QStringLiteral("0 files found / 0 pages found... [crawl finished]"));
    QVERIFY(!engine.running());
}

void tst_Scheduler::stopReasonSaysWhy_data()
{
    QTest::addColumn<QString>("stop");
    QTest::addColumn<QByteArray>("reason");
    QTest::newRow("tick with nothing left") << QStringLiteral("tick") << QByteArray("nothing-left");
    QTest::newRow("file offered to a full list") << QStringLiteral("file") << QByteArray("file-limit");
    QTest::newRow("crawl command") << QStringLiteral("command") << QByteArray("user");
    QTest::newRow("told to end") << QStringLiteral("signal") << QByteArray("signal");
}

void tst_Scheduler::stopReasonSaysWhy()
{
    QFETCH(QString, stop);
    QFETCH(QByteArray, reason);
    m_settings.MaxFiles = 1;
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.setRootText(QStringLiteral("h"));
    engine.cmdCrawl_Click();
    engine.AddFile("http://h/1.jpg");
    engine.treePages().SetImage(2, NodeImage::Done);
    QByteArray reasonWhenStopped;
    connect(&engine, &CrawlEngine::runningChanged, &engine,
            [&] { reasonWhenStopped = CrawlEngine::stopReasonWord(engine.stopReason()); });
    if (stop == u"tick")
        engine.TimerKeepBusy_Timer();
    else if (stop == u"file")
        engine.AddFile("http://h/2.jpg");
    else if (stop == u"command")
        engine.cmdCrawl_Click();
    else
        engine.stop(CrawlEngine::StopReason::Signal);
    QVERIFY(!engine.running());
    QCOMPARE(reasonWhenStopped, reason);
}

void tst_Scheduler::onlyQueuedPagesAreStarted()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.AddPage("h/done");
    engine.AddPage("h/failed");
    engine.AddPage("h/queued");
    engine.treePages().SetImage(2, NodeImage::Done);
    engine.treePages().SetImage(3, NodeImage::Failed);
    engine.TimerKeepBusy_Timer();
    QCOMPARE(transfer.requests.size(), 1);
    QCOMPARE(transfer.requests.first().url, QByteArray("http://h/queued"));
    QCOMPARE(engine.treePages().Image(1), NodeImage::Domain);
}

void tst_Scheduler::scanPositionSkipsTheFinishedPart()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    for (int i = 1; i <= 9; ++i)
        engine.AddPage("h/" + QByteArray::number(i));
    for (int i = 2; i <= 8; ++i)
        engine.treePages().SetImage(i, NodeImage::Done);
    engine.TimerKeepBusy_Timer();
    QCOMPARE(engine.scanPosition(), 9);
    engine.treePages().SetImage(9, NodeImage::Done);
    engine.TimerKeepBusy_Timer();
    QCOMPARE(engine.scanPosition(), 10);
    QCOMPARE(transfer.requests.size(), 2);
}

void tst_Scheduler::pagesQueuedAfterAClearAreStarted()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    for (int i = 1; i <= 9; ++i)
        engine.AddPage("h/" + QByteArray::number(i));
    for (int i = 2; i <= 9; ++i)
        engine.treePages().SetImage(i, NodeImage::Done);
    engine.cmdCrawl_Click();
    engine.TimerKeepBusy_Timer(); // moves the scan position to the end
    engine.cmdCrawl_Click();
    engine.clearResults();
    QCOMPARE(engine.scanPosition(), 1);
    engine.setRootText(QStringLiteral("again"));
    engine.cmdCrawl_Click();
    engine.TimerKeepBusy_Timer();
    QCOMPARE(transfer.requests.last().url, QByteArray("http://again/"));
    QVERIFY(engine.running());
}

void tst_Scheduler::stopAndStartResumes()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    for (int i = 1; i <= 7; ++i)
        engine.AddPage("h/" + QByteArray::number(i));
    engine.setRootText(QStringLiteral("h/1"));
    engine.cmdCrawl_Click();
    engine.TimerKeepBusy_Timer();
    engine.cmdCrawl_Click();
    for (const FakeTransfer::Request &request : std::as_const(transfer.requests))
        engine.treePages().SetImage(request.data.toInt(), NodeImage::Done);
    engine.cmdCrawl_Click();
    engine.TimerKeepBusy_Timer();
    QCOMPARE(transfer.requests.size(), 7);
    QCOMPARE(transfer.requests.last().url, QByteArray("http://h/7"));
}

void tst_Scheduler::failingRequestEndsTheTickSilently()
{
    FakeTransfer transfer;
    transfer.refuseRequestNumber = 2;
    CrawlEngine engine(transfer, m_settings);
    for (int i = 1; i <= 4; ++i)
        engine.AddPage("h/" + QByteArray::number(i));
    engine.setTitle(QStringLiteral("before"));
    engine.setRootText(QStringLiteral("h/1"));
    engine.cmdCrawl_Click();

    // The second request fails: the tick ends there, its page stays fetching,
    // the pages after it stay queued and the status line is not rewritten.
    engine.TimerKeepBusy_Timer();
    QCOMPARE(requestedUrls(transfer), QByteArrayList{"http://h/1"});
    QCOMPARE(engine.treePages().Image(3), NodeImage::Fetching);
    QCOMPARE(engine.treePages().Image(4), NodeImage::Queued);
    QCOMPARE(engine.treePages().Image(5), NodeImage::Queued);
    QCOMPARE(engine.title(), QStringLiteral("before"));
    QVERIFY(engine.running());

    // The next tick runs normally; the page whose request failed still counts
    // as in flight and is not requested again.
    engine.TimerKeepBusy_Timer();
    QCOMPARE(requestedUrls(transfer), (QByteArrayList{"http://h/1", "http://h/3", "http://h/4"}));
    QCOMPARE(engine.title(), QStringLiteral("0 files found / 5 pages found..."));
}

void tst_Scheduler::timerDrivesTheTick()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.setRootText(QStringLiteral("h"));
    engine.cmdCrawl_Click();
    engine.TimerKeepBusy().setInterval(1);
    QSignalSpy ticks(&engine, &CrawlEngine::ticked);
    QVERIFY(ticks.wait());
    QCOMPARE(transfer.requests.size(), 1);
}

QTEST_GUILESS_MAIN(tst_Scheduler)
#include "tst_scheduler.moc"
