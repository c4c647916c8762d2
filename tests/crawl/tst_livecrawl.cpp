#include "common/Settings.h"
#include "crawl/CrawlEngine.h"
#include "net/HttpTransfer.h"
#include "net/WebSession.h"
#include "support/TestHttpServer.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>

using Response = TestHttpServer::Response;

// A whole crawl through the real web session against a loopback site full of
// pages that fail: every page ends done or failed as its answer deserves, no
// body is left on disk, and nothing is printed on the way.
class tst_LiveCrawl : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void hostileSiteCrawlsQuietly();
};

void tst_LiveCrawl::hostileSiteCrawlsQuietly()
{
    // Any warning from the network code, Qt's or ours, fails the test.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));

    constexpr qint64 Cap = 4096;
    TestHttpServer server;
    QVERIFY(server.isListening());

    // Page name, and whether its read should succeed.
    const QList<std::pair<QByteArray, bool>> pages = {
        {"ok.htm", true},         {"moved.htm", true},      {"missing.htm", false},
        {"broken.htm", false},    {"forbidden.htm", false}, {"loop.htm", false},
        {"toftp.htm", false},     {"tomail.htm", false},    {"chain.htm", false},
        {"bigchunked.htm", false}, {"bigknown.htm", false}, {"bigclose.htm", false},
        {"dropped.htm", false},   {"cutshort.htm", false},
    };
    QByteArray index = "<html><a href=pic.gif>";
    for (const auto &[name, ok] : pages)
        index += "<a href=" + name + ">";
    server.route("/index.htm", Response::html(index));
    server.route("/ok.htm", Response::html("<a href=ok.htm><a href=other.jpg>"));
    server.route("/target.htm", Response::html("<p>moved here</p>"));
    server.route("/moved.htm", Response::redirect(301, "/target.htm"));
    server.route("/missing.htm", Response::error(404));
    server.route("/broken.htm", Response::html("<a href=never.htm>", 500));
    server.route("/forbidden.htm", Response::html("<a href=never2.htm>", 403));
    server.route("/loop.htm", Response::redirect(302, "/loop.htm"));
    server.route("/toftp.htm", Response::redirect(301, "ftp://" + server.authority() + "/f"));
    server.route("/tomail.htm", Response::redirect(301, "mailto:me@example.test"));
    server.route("/chain.htm", Response::redirect(302, "/chain2.htm"));
    server.route("/chain2.htm", Response::redirect(302, "/chain3.htm"));
    server.route("/chain3.htm", Response::redirect(302, "/chain4.htm"));
    server.route("/chain4.htm", Response::redirect(302, "/target.htm"));
    Response bigChunked = Response::html(QByteArray(3 * Cap, 'x'));
    bigChunked.chunked = true;
    bigChunked.pieceSize = 1000;
    server.route("/bigchunked.htm", bigChunked);
    Response bigKnown = Response::html(QByteArray(3 * Cap, 'x'));
    bigKnown.stallAfter = 0; // the announced length alone must end it
    server.route("/bigknown.htm", bigKnown);
    Response bigClose = Response::html(QByteArray(3 * Cap, 'x'));
    bigClose.sendContentLength = false;
    server.route("/bigclose.htm", bigClose);
    Response dropped;
    dropped.dropConnection = true;
    server.route("/dropped.htm", dropped);
    Response cutShort = Response::html("<a href=lost.htm>");
    cutShort.sendContentLength = false;
    cutShort.headers = {{"Content-Length", "5000"}};
    server.route("/cutshort.htm", cutShort);

    Settings settings = defaultSettings();
    settings.MaxDomain = 100;
    WebSession session;
    HttpTransfer transfer(session, ReadLimits{20'000, 60'000, Cap, 3});
    CrawlEngine engine(transfer, settings);
    engine.TimerKeepBusy().setInterval(1);
    engine.setRootText(QString::fromLatin1(server.url("/index.htm")));
    engine.cmdCrawl_Click();

    QTRY_VERIFY_WITH_TIMEOUT(!engine.TimerKeepBusy().isActive() && engine.readsInFlight() == 0,
                             30'000);

    const NodeTree &tree = engine.treePages();
    const QByteArray host = server.authority();
    QCOMPARE(tree.Image(tree.IndexOf(host + "/index.htm")), NodeImage::Done);
    for (const auto &[name, ok] : pages) {
        const int node = tree.IndexOf(host + '/' + name);
        QVERIFY2(node > 0, name.constData());
        QCOMPARE(tree.Image(node), ok ? NodeImage::Done : NodeImage::Failed);
    }
    // Links on error pages are never followed.
    QCOMPARE(tree.IndexOf(host + "/never.htm"), 0);
    QCOMPARE(tree.IndexOf(host + "/never2.htm"), 0);
    QCOMPARE(tree.IndexOf(host + "/lost.htm"), 0);
    QCOMPARE(engine.treeFiles().Count(), 2);
    // Each found file names the done page that listed it.
    QCOMPARE(engine.foundOn(1), "http://" + host + "/index.htm");
    QCOMPARE(engine.foundOn(2), "http://" + host + "/ok.htm");
    QCOMPARE(transfer.downloadFolder().isEmpty(), false);
    QCOMPARE(QDir(transfer.downloadFolder()).entryList(QDir::Files), QStringList());
}

QTEST_GUILESS_MAIN(tst_LiveCrawl)
#include "tst_livecrawl.moc"
