#include "common/Settings.h"
#include "crawl/CrawlEngine.h"
#include "net/HttpTransfer.h"
#include "net/WebSession.h"
#include "results/ResultRecords.h"
#include "support/TestHttpServer.h"

#include <QDir>
#include <QDirIterator>
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
    void rulesGiveTheirTrees_data();
    void rulesGiveTheirTrees();
};

namespace {

// A tree as lines: a host, then its pages indented with their state, reason
// and, when it differs from the key, the address the page was read at; or the
// found files with how they were found. The server's address reads "SITE",
// its port alone "PORT".
QByteArrayList treeLines(const CrawlEngine &engine, const NodeTree &tree, quint16 port)
{
    QByteArrayList lines;
    for (int i = 1; i <= tree.Count(); ++i) {
        QByteArray line = tree.Key(i);
        if (&tree == &engine.treeFiles())
            line += ' ' + engine.foundHow(i);
        else if (tree.ParentIndex(i) != 0)
            line = QByteArrayList{line, pageStateName(tree.Image(i)),
                                  ReadReasons::word(tree.Reason(i), tree.Status(i)).toLatin1(),
                                  tree.Address(i) != tree.Key(i) ? tree.Address(i) : QByteArray()}
                       .join(' ')
                       .simplified();
        lines.append(line.trimmed().replace("127.0.0.1:" + QByteArray::number(port), "SITE").replace(QByteArray::number(port), "PORT"));
    }
    return lines;
}

} // namespace

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

void tst_LiveCrawl::rulesGiveTheirTrees_data()
{
    QTest::addColumn<LinkRules>("rules");
    QTest::addColumn<QByteArrayList>("pages");
    QTest::addColumn<QByteArrayList>("files");

    // Only "a href" at its start, links in scripts and comments followed, the
    // path lower-cased and pasted onto the folder asked for, every host read.
    QTest::newRow("classic")
        << LinkRules::Classic
        << QByteArrayList{"SITE", "SITE/index.htm done", "SITE/old/page.htm done", "SITE/back.htm done",
                          "SITE/data failed timeout", "SITE/empty.htm done", "SITE/script.htm failed 404", "SITE/comment.htm failed 404",
                          "localhost:PORT", "localhost:PORT/elsewhere.htm done",
                          "SITE/old/../docs/guide.htm failed 404", "localhost:PORT/far.htm failed 404"}
        << QByteArrayList{"http://SITE/pics/song.mp3"};
    // One node for each page however it is spelt, its case kept; links on a
    // moved page resolve where it moved to; nothing from a script, a comment or
    // another host; the data is no page and is not read; an empty page is done.
    QTest::newRow("standard")
        << LinkRules::Standard
        << QByteArrayList{"SITE", "http://SITE/index.htm done", "http://SITE/Docs/Guide.htm done",
                          "http://SITE/old/page.htm done http://SITE/new/page.htm",
                          "http://SITE/back.htm done http://SITE/index.htm", "http://SITE/data done not-html",
                          "http://SITE/empty.htm done"}
        << QByteArrayList{"http://SITE/logo.gif embed",      "http://SITE/pic-1x.jpg embed",
                          "http://SITE/pic-2x.jpg embed",    "http://SITE/pics/song.mp3 link",
                          "http://SITE/Docs/movie.mpg link", "http://SITE/new/image.gif embed"};
}

void tst_LiveCrawl::rulesGiveTheirTrees()
{
    QFETCH(LinkRules, rules);
    QFETCH(QByteArrayList, pages);
    QFETCH(QByteArrayList, files);

    TestHttpServer server;
    QVERIFY(server.isListening());
    const QDir site(QStringLiteral(TROVEWICK_TEST_DATA "/sites/rules.test"));
    for (QDirIterator it(site.path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        QFile page(it.next());
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QByteArray body = page.readAll().replace("@PORT@", QByteArray::number(server.port()));
        server.route('/' + site.relativeFilePath(page.fileName()).toUtf8(), Response::html(body));
    }
    server.route("/old/page.htm", Response::redirect(301, "/new/page.htm"));
    server.route("/back.htm", Response::redirect(302, "/index.htm"));
    // Only the head of the data ever comes: a read that waited for its body
    // would go idle and fail.
    Response data;
    data.headers = {{"Content-Type", "application/octet-stream"}};
    data.body = QByteArray(1024 * 1024, 'd');
    data.stallAfter = 0;
    server.route("/data", data);

    Settings settings = defaultSettings();
    settings.Rules = rules;
    WebSession session;
    HttpTransfer transfer(session, ReadLimits{2'000, 60'000, 1024 * 1024, 3});
    CrawlEngine engine(transfer, settings);
    engine.TimerKeepBusy().setInterval(1);
    engine.setRootText(QString::fromLatin1(server.url("/index.htm")));
    engine.cmdCrawl_Click();
    QTRY_VERIFY_WITH_TIMEOUT(!engine.TimerKeepBusy().isActive() && engine.readsInFlight() == 0, 30'000);

    QCOMPARE(treeLines(engine, engine.treePages(), server.port()), pages);
    QCOMPARE(treeLines(engine, engine.treeFiles(), server.port()), files);
}

QTEST_GUILESS_MAIN(tst_LiveCrawl)
#include "tst_livecrawl.moc"
