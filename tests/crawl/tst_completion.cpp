#include "common/Settings.h"
#include "crawl/CrawlEngine.h"
#include "results/ResultRecords.h"
#include "sponsor/PopupPage.h"
#include "support/FakeTransfer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Finished reads: pages parsed and marked, failures marked, the sponsor page shown.
class tst_Completion : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void parsedPageIsDone();
    void unreadableResultFailsThePage();
    void parseErrorKeepsEarlierLinksAndFails();
    void indexBeyondTheTreeMarksNothing();
    void dataStringNamesThePage_data();
    void dataStringNamesThePage();
    void completionAfterStopStillQueuesLinks();
    void readsFromBeforeAClearAreDropped();
    void sponsorPageIsCopiedAndOpened();
    void popupPagePlace_data();
    void popupPagePlace();
    void failedSponsorReadChangesNothing();
    void failedSponsorCopyShowsTheEarlierPage();
    void settledWhenTheLastReadCompletes();
    void standardRulesScanTheSavedPage_data();
    void standardRulesScanTheSavedPage();

private:
    QString writeFile(const QByteArray &content);
    void startPages(CrawlEngine &engine, int count);

    Settings m_settings;
    std::unique_ptr<QTemporaryDir> m_dir;
    int m_fileNumber = 0;
};

void tst_Completion::init()
{
    m_settings = defaultSettings();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString tst_Completion::writeFile(const QByteArray &content)
{
    const QString path = m_dir->filePath(QStringLiteral("download-%1.tmp").arg(++m_fileNumber));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write a test file");
    return path;
}

// Queues `count` pages under host h and lets one tick start them.
void tst_Completion::startPages(CrawlEngine &engine, int count)
{
    for (int i = 1; i <= count; ++i)
        engine.AddPage("h/p" + QByteArray::number(i) + ".htm");
    engine.TimerKeepBusy_Timer();
}

void tst_Completion::parsedPageIsDone()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    for (int i = 1; i <= 7; ++i)
        engine.AddPage("h/p" + QByteArray::number(i) + ".htm");
    for (int i = 2; i <= 6; ++i)
        engine.treePages().SetImage(i, NodeImage::Done);
    engine.TimerKeepBusy_Timer();
    QCOMPARE(transfer.requests.size(), 2);
    const FakeTransfer::Request seventh = transfer.requests.first();
    QCOMPARE(seventh.data, QByteArray("7"));

    const QString file = writeFile("<a href=a.htm><a href=b/><a href=http://x/c.html>"
                                   "<a href=one.jpg><A HREF=\"two.gif\">");
    QSignalSpy completed(&engine, &CrawlEngine::pageCompleted);
    transfer.complete(seventh, file);

    QCOMPARE(engine.treePages().Image(7), NodeImage::Done);
    QVERIFY(!QFile::exists(file));
    const NodeTree &pages = engine.treePages();
    QVERIFY(pages.IndexOf("h/a.htm") != 0);
    QVERIFY(pages.IndexOf("h/b/") != 0);
    QVERIFY(pages.IndexOf("x/c.html") != 0);
    QCOMPARE(engine.treeFiles().Count(), 2);
    QCOMPARE(engine.treeFiles().Key(1), QByteArray("http://h/one.jpg"));
    QCOMPARE(engine.treeFiles().Key(2), QByteArray("http://h/two.gif"));
    QCOMPARE(completed.count(), 1);
    QCOMPARE(completed.at(0).at(0).toInt(), 7);
    QCOMPARE(completed.at(0).at(1).toInt(), NodeImage::Done);
    QCOMPARE(completed.at(0).at(2).toByteArray(), QByteArray("h/p6.htm"));
}

void tst_Completion::unreadableResultFailsThePage()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    startPages(engine, 2);
    transfer.complete(transfer.requests.at(0), QString());
    transfer.complete(transfer.requests.at(1), m_dir->filePath(QStringLiteral("never-written")));
    QCOMPARE(engine.treePages().Image(2), NodeImage::Failed);
    QCOMPARE(engine.treePages().Image(3), NodeImage::Failed);
    QCOMPARE(engine.treePages().Count(), 3);
    QCOMPARE(engine.treeFiles().Count(), 0);
}

void tst_Completion::parseErrorKeepsEarlierLinksAndFails()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    startPages(engine, 1);
    const QString file = writeFile("<a href=x.jpg> <a href=y.htm> <a href=z.htm");
    transfer.complete(transfer.requests.first(), file);
    QCOMPARE(engine.treePages().Image(2), NodeImage::Failed);
    QVERIFY(!QFile::exists(file));
    QCOMPARE(engine.treeFiles().Count(), 1);
    QVERIFY(engine.treePages().IndexOf("h/y.htm") != 0);
    QCOMPARE(engine.treePages().IndexOf("h/z.htm"), 0);
}

void tst_Completion::indexBeyondTheTreeMarksNothing()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.AddPage("h/");
    const FakeTransfer::Request stray{QStringLiteral("stray"), "http://h/", "http://h/", 1, "9"};
    transfer.complete(stray, QString());
    transfer.complete(stray, writeFile("<a href=q.htm>"));
    QCOMPARE(engine.treePages().Image(1), NodeImage::Domain);
    QCOMPARE(engine.treePages().Image(2), NodeImage::Queued);
    // The page was parsed before its index was found wanting; its link stays queued.
    QCOMPARE(engine.treePages().Image(3), NodeImage::Queued);
    QCOMPARE(engine.treePages().Count(), 3);
    QCOMPARE(engine.treePages().CountWithImage(NodeImage::Done), 0);
    QCOMPARE(engine.treePages().CountWithImage(NodeImage::Failed), 0);
}

void tst_Completion::dataStringNamesThePage_data()
{
    QTest::addColumn<QByteArray>("strData");
    QTest::addColumn<int>("marked"); // the node marked done, 0 for none

    QTest::newRow("index") << QByteArray("3") << 3;
    QTest::newRow("fraction dropped") << QByteArray("3.9") << 3;
    QTest::newRow("blanks around") << QByteArray(" 2 ") << 2;
    QTest::newRow("last node") << QByteArray("4") << 4;
    QTest::newRow("last node, fraction") << QByteArray("4.99") << 4;
    QTest::newRow("past the last node") << QByteArray("5") << 0;
    QTest::newRow("past the last node, written as a fraction") << QByteArray("5.0") << 0;
    QTest::newRow("two past the last node") << QByteArray("6") << 0;
    QTest::newRow("zero") << QByteArray("0") << 0;
    QTest::newRow("fraction below one") << QByteArray("0.9") << 0;
    QTest::newRow("negative") << QByteArray("-2") << 0;
    QTest::newRow("far beyond any index") << QByteArray("1e300") << 0;
    QTest::newRow("far below any index") << QByteArray("-1e300") << 0;
    QTest::newRow("just past 32-bit") << QByteArray("4294967298") << 0;
    QTest::newRow("infinite") << QByteArray("inf") << 0;
    QTest::newRow("not a number") << QByteArray("nan") << 0;
    QTest::newRow("text") << QByteArray("seven") << 0;
    QTest::newRow("empty") << QByteArray() << 0;
}

void tst_Completion::dataStringNamesThePage()
{
    QFETCH(QByteArray, strData);
    QFETCH(int, marked);

    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.AddPage("h/a.htm");
    engine.AddPage("h/b.htm");
    engine.AddPage("h/c.htm");
    const NodeTree &pages = engine.treePages();
    QCOMPARE(pages.Count(), 4);
    QSignalSpy completed(&engine, &CrawlEngine::pageCompleted);
    const FakeTransfer::Request read{QStringLiteral("r"), "http://h/a.htm", "http://h/a.htm", 1, strData};
    transfer.complete(read, writeFile("<p>no links</p>"));
    // Every node is looked at, and the per-image counts too: a node written past
    // the last one would leave the four untouched but still count as done.
    QCOMPARE(pages.Count(), 4);
    QCOMPARE(pages.Image(1), NodeImage::Domain);
    for (int i = 2; i <= pages.Count(); ++i)
        QCOMPARE(pages.Image(i), i == marked ? NodeImage::Done : NodeImage::Queued);
    QCOMPARE(pages.CountWithImage(NodeImage::Done), marked != 0 ? 1 : 0);
    QCOMPARE(pages.CountWithImage(NodeImage::Queued), marked != 0 ? 2 : 3);
    QCOMPARE(completed.count(), marked != 0 ? 1 : 0);

    // The same index on a failed read marks that node failed instead.
    transfer.complete(read, QString());
    QCOMPARE(pages.Count(), 4);
    QCOMPARE(pages.Image(1), NodeImage::Domain);
    for (int i = 2; i <= pages.Count(); ++i)
        QCOMPARE(pages.Image(i), i == marked ? NodeImage::Failed : NodeImage::Queued);
    QCOMPARE(pages.CountWithImage(NodeImage::Failed), marked != 0 ? 1 : 0);
    QCOMPARE(pages.CountWithImage(NodeImage::Done), 0);
    QCOMPARE(completed.count(), marked != 0 ? 2 : 0);
}

void tst_Completion::completionAfterStopStillQueuesLinks()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.setRootText(QStringLiteral("h/"));
    engine.cmdCrawl_Click();
    engine.TimerKeepBusy_Timer();
    engine.cmdCrawl_Click();
    transfer.complete(transfer.requests.first(), writeFile("<a href=next.htm>"));
    QCOMPARE(engine.treePages().Image(2), NodeImage::Done);
    QVERIFY(engine.treePages().IndexOf("h/next.htm") != 0);
    QVERIFY(!engine.running());
}

void tst_Completion::readsFromBeforeAClearAreDropped()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    startPages(engine, 2);
    engine.clearResults();
    engine.AddPage("new/a.htm");
    engine.AddPage("new/b.htm");
    const QString file = writeFile("<a href=from-old-page.htm><a href=old.jpg>");
    QSignalSpy settled(&engine, &CrawlEngine::readsSettled);
    transfer.complete(transfer.requests.at(0), file);
    transfer.complete(transfer.requests.at(1), QString());

    QVERIFY(!QFile::exists(file));
    QCOMPARE(engine.treePages().Count(), 3);
    QCOMPARE(engine.treePages().Image(2), NodeImage::Queued);
    QCOMPARE(engine.treePages().Image(3), NodeImage::Queued);
    QCOMPARE(engine.treeFiles().Count(), 0);
    QCOMPARE(settled.count(), 1);
}

void tst_Completion::sponsorPageIsCopiedAndOpened()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.AddPage("h/");
    QStringList opened;
    engine.setShellOpen([&opened](const QString &target) { opened.append(target); });
    const QString popup = m_dir->filePath(QStringLiteral("popup.htm"));
    engine.setPopupPagePath(popup);
    QFile old(popup);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an earlier popup");
    old.close();

    const QString download = writeFile("<html>sponsor</html>");
    const FakeTransfer::Request sponsor{QStringLiteral("s"), "http://ads/p.htm", "http://ads/p.htm", 1, "SPONSOR"};
    transfer.complete(sponsor, download);

    QVERIFY(!QFile::exists(download));
    QFile shown(popup);
    QVERIFY(shown.open(QIODevice::ReadOnly));
    QCOMPARE(shown.readAll(), QByteArray("<html>sponsor</html>"));
    QCOMPARE(opened, QStringList{popup});
    QCOMPARE(engine.treePages().Image(2), NodeImage::Queued);
}

void tst_Completion::failedSponsorReadChangesNothing()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.AddPage("h/");
    QStringList opened;
    engine.setShellOpen([&opened](const QString &target) { opened.append(target); });
    engine.setPopupPagePath(m_dir->filePath(QStringLiteral("popup.htm")));
    transfer.complete(FakeTransfer::Request{QStringLiteral("s"), "http://ads/", "http://ads/", 1, "SPONSOR"}, QString());
    QVERIFY(opened.isEmpty());
    QCOMPARE(engine.treePages().Image(1), NodeImage::Domain);
    QCOMPARE(engine.treePages().Image(2), NodeImage::Queued);
}

void tst_Completion::failedSponsorCopyShowsTheEarlierPage()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    QStringList opened;
    engine.setShellOpen([&opened](const QString &target) { opened.append(target); });
    const QString popup = m_dir->filePath(QStringLiteral("popup.htm"));
    engine.setPopupPagePath(popup);
    QFile old(popup);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an earlier popup");
    old.close();

    // The download named by the read is gone before it can be copied.
    const QString vanished = m_dir->filePath(QStringLiteral("vanished.tmp"));
    transfer.complete(FakeTransfer::Request{QStringLiteral("s"), "http://ads/", "http://ads/", 1, "SPONSOR"}, vanished);

    QCOMPARE(opened, QStringList{popup});
    QFile shown(popup);
    QVERIFY(shown.open(QIODevice::ReadOnly));
    QCOMPARE(shown.readAll(), QByteArray("an earlier popup"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("popup.htm")});
}

void tst_Completion::settledWhenTheLastReadCompletes()
{
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    startPages(engine, 2);
    QCOMPARE(engine.readsInFlight(), 2);
    QSignalSpy settled(&engine, &CrawlEngine::readsSettled);
    transfer.complete(transfer.requests.at(1), QString());
    QCOMPARE(settled.count(), 0);
    transfer.complete(transfer.requests.at(0), QString());
    QCOMPARE(settled.count(), 1);
    QCOMPARE(engine.readsInFlight(), 0);
}

void tst_Completion::popupPagePlace_data()
{
    QTest::addColumn<QString>("programDir"); // TEMP stands for a writable folder of the test's
    QTest::addColumn<bool>("writable");      // what the caller found the folder to be
    QTest::addColumn<bool>("besideTheProgram");
    QTest::newRow("a writable folder of the user's") << QStringLiteral("TEMP") << true << true;
    // Installed, the program is in a system folder, writable when run as root.
    QTest::newRow("installed in /usr/bin") << QStringLiteral("/usr/bin") << true << false;
    QTest::newRow("installed in /usr/local/bin") << QStringLiteral("/usr/local/bin") << true << false;
    QTest::newRow("installed in /bin") << QStringLiteral("/bin") << true << false;
    QTest::newRow("a folder not writable or not there") << QStringLiteral("TEMP") << false << false;
    QTest::newRow("unknown") << QString() << true << false;
}

void tst_Completion::popupPagePlace()
{
    QFETCH(QString, programDir);
    QFETCH(bool, writable);
    QFETCH(bool, besideTheProgram);
    programDir.replace(QStringLiteral("TEMP"), m_dir->path());
    const QString dataDir = m_dir->filePath(QStringLiteral("data/trovewick"));
    const QString path = popupPagePathFor(programDir, writable, dataDir);
    QCOMPARE(path, (besideTheProgram ? programDir : dataDir) + QStringLiteral("/popup.htm"));
    QVERIFY(QFileInfo(path).absoluteDir().exists());
}

void tst_Completion::standardRulesScanTheSavedPage_data()
{
    QTest::addColumn<QByteArray>("finalUrl");
    QTest::addColumn<int>("reason");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("page"); // its state, reason and address
    QTest::addColumn<QByteArrayList>("files");

    const QByteArray links = "<a href=x.htm>x</a><img src=i.gif><a href=F.JPG>";
    const QByteArrayList found = {"http://h/i.gif embed http://h/p1.htm", "http://h/F.JPG link http://h/p1.htm"};
    QTest::newRow("scanned") << QByteArray() << 0 << links << QByteArray("done  http://h/p1.htm") << found;
    QTest::newRow("moved") << QByteArray("http://h/d/./q.htm") << 0 << links
                           << QByteArray("done  http://h/d/q.htm")
                           << QByteArrayList{"http://h/d/i.gif embed http://h/d/q.htm",
                                             "http://h/d/F.JPG link http://h/d/q.htm"};
    QTest::newRow("moved to a known page") << QByteArray("http://h/known.htm") << 0 << links
                                           << QByteArray("done  http://h/known.htm") << QByteArrayList{};
    QTest::newRow("no HTML") << QByteArray("http://h/p1.htm") << int(ReadReason::NotHtml) << QByteArray()
                             << QByteArray("done not-html http://h/p1.htm") << QByteArrayList{};
    QTest::newRow("scan given up") << QByteArray() << 0 << links + "<!--" + QByteArray(5 << 20, 'c')
                                   << QByteArray("failed parse http://h/p1.htm") << found;
}

void tst_Completion::standardRulesScanTheSavedPage()
{
    QFETCH(QByteArray, finalUrl);
    QFETCH(int, reason);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, page);
    QFETCH(QByteArrayList, files);

    m_settings.Rules = LinkRules::Standard;
    FakeTransfer transfer;
    CrawlEngine engine(transfer, m_settings);
    engine.AddPage("http://h/p1.htm");
    engine.AddPage("http://h/known.htm");
    engine.TimerKeepBusy_Timer();
    QCOMPARE(transfer.requests.first().url, QByteArray("http://h/p1.htm"));
    transfer.complete(transfer.requests.first(), body.isEmpty() ? QString() : writeFile(body), finalUrl,
                      ReadReason(reason));

    const NodeTree &pages = engine.treePages();
    QCOMPARE(pageStateName(pages.Image(2)) + ' ' + ReadReasons::word(pages.Reason(2), 0).toLatin1() + ' '
                 + pages.Address(2),
             page);
    QByteArrayList listed;
    for (int i = 1; i <= engine.treeFiles().Count(); ++i)
        listed << engine.treeFiles().Key(i) + ' ' + engine.foundHow(i) + ' ' + engine.foundOn(i);
    QCOMPARE(listed, files);
    QCOMPARE(pages.Count(), files.isEmpty() ? 3 : 4); // the host, two pages and x.htm when scanned
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList());
}

QTEST_GUILESS_MAIN(tst_Completion)
#include "tst_completion.moc"
