#include "common/Version.h"
#include "support/TestHttpServer.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Response = TestHttpServer::Response;

// Every answer of the site server ends its connection, one request to a
// connection, as a plain HTTP/1.0 file server does.
Response closing(Response response)
{
    response.headers.append({QByteArrayLiteral("Connection"), QByteArrayLiteral("close")});
    return response;
}

Response fileResponse(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    Response response;
    response.headers = {{QByteArrayLiteral("Content-Type"),
                         QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension).name().toUtf8()}};
    response.body = file.readAll();
    return closing(response);
}

// The folder at `path` (ending in "/") of `host`, its files and the folders below.
void serveFolder(TestHttpServer &server, const QByteArray &host, const QDir &folder, const QByteArray &path)
{
    // A folder asked for without its closing slash is sent there.
    if (path != "/") {
        Response moved;
        moved.status = 301;
        moved.headers = {{QByteArrayLiteral("Location"), path}};
        server.route(host, path.chopped(1), closing(moved));
    }

    QByteArray listing = "<!DOCTYPE HTML>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                         "<title>Directory listing for " + path + "</title>\n</head>\n<body>\n"
                         "<h1>Directory listing for " + path + "</h1>\n<hr>\n<ul>\n";
    const QFileInfoList entries = folder.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                                       QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &entry : entries) {
        const QByteArray name = entry.fileName().toUtf8() + (entry.isDir() ? "/" : "");
        listing += "<li><a href=\"" + name + "\">" + name + "</a></li>\n";
        if (entry.isDir())
            serveFolder(server, host, QDir(entry.filePath()), path + name);
        else
            server.route(host, path + name, fileResponse(entry.filePath()));
    }
    listing += "</ul>\n<hr>\n</body>\n</html>\n";

    // The folder itself: its index page, else the list of what it holds.
    for (const char *index : {"index.html", "index.htm"}) {
        if (folder.exists(QString::fromLatin1(index))) {
            server.route(host, path, fileResponse(folder.filePath(QString::fromLatin1(index))));
            return;
        }
    }
    Response list = Response::html(listing);
    list.headers = {{QByteArrayLiteral("Content-Type"), QByteArrayLiteral("text/html; charset=utf-8")}};
    server.route(host, path, closing(list));
}

// Serves SITES/<host>/<path> for each host folder, the host taken from the
// request: the absolute address a client sends to a proxy, else the Host
// header. So with http_proxy pointing at the server, names such as site-a.test
// need no name service, and 127.0.0.1 is a site of its own. The query is not
// part of the file name; anything not there is 404.
void serveSites(TestHttpServer &server, const QString &sites)
{
    const QDir root(sites);
    for (const QString &host : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        serveFolder(server, host.toUtf8(), QDir(root.filePath(host)), "/");
    server.setFallback(closing(Response::error(404)));
}

// Reads JSON Lines output into `objects`; false, with the line at fault in
// `bad`, when a line is not one JSON object or the output does not end a line.
bool readJsonLines(const QByteArray &out, QList<QJsonObject> *objects, QByteArray *bad)
{
    QList<QByteArray> lines = out.split('\n');
    if (lines.takeLast() != QByteArray()) {
        *bad = "no line feed at the end: " + out;
        return false;
    }
    for (const QByteArray &line : lines) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError || !document.isObject()) {
            *bad = line;
            return false;
        }
        objects->append(document.object());
    }
    return true;
}

// The addresses the served page at `pageUrl` links to, read from its file under
// tests/data/sites: each href resolved against the page, and any whole http
// address inside one (go.asp?u=http://...). Lower case, as the crawl has them.
QStringList linkTargets(const QString &pageUrl)
{
    const QUrl page(pageUrl);
    QString path = QStringLiteral(TROVEWICK_TEST_DATA "/sites/") + page.host() + page.path();
    if (path.endsWith(u'/'))
        path += QFileInfo::exists(path + QStringLiteral("index.html")) ? QStringLiteral("index.html")
                                                                       : QStringLiteral("index.htm");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression href(QStringLiteral("href\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s>]+))"),
                                         QRegularExpression::CaseInsensitiveOption);
    QStringList targets;
    for (const QRegularExpressionMatch &match : href.globalMatch(QString::fromUtf8(file.readAll()))) {
        const QString value = match.captured(1) + match.captured(2) + match.captured(3);
        targets.append(page.resolved(QUrl(value)).toString().toLower());
        const qsizetype inner = value.indexOf(QLatin1StringView("http://"), 1);
        if (inner > 0)
            targets.append(value.mid(inner).toLower());
    }
    return targets;
}

// In the crawler's process: standard output a pipe nobody reads, as once
// `| head -1` has quit, and SIGPIPE at its default, as a shell leaves it.
void closeStandardOutput()
{
    int ends[2];
    if (::pipe(ends) == 0 && ::dup2(ends[1], STDOUT_FILENO) >= 0)
        ::close(ends[0]);
    std::signal(SIGPIPE, SIG_DFL);
}

} // namespace

// The command-line crawler end to end, against web servers on 127.0.0.1 that
// the test runs in its own event loop.
class tst_Cli : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void crawlsSeveralHostsThroughAProxy_data();
    void crawlsSeveralHostsThroughAProxy();
    void fileLimitStopsTheCrawl();
    void lastStatusLineGivesTheFinalCounts_data();
    void lastStatusLineGivesTheFinalCounts();
    void userStopGivesTheFinalCounts();
    void controlBytesAreEscaped_data();
    void controlBytesAreEscaped();
    void controlBytesAreEscapedInTheClassification();
    void overridesHoldForThisRunOnly_data();
    void overridesHoldForThisRunOnly();
    void limitsAtTheEndsOfTheirRange_data();
    void limitsAtTheEndsOfTheirRange();
    void classifiesTheLinksOfASavedPage();
    void scanErrorEndsTheClassification();
    void badArgumentsGiveUsage_data();
    void badArgumentsGiveUsage();
    void helpDocumentsTheOptions();
    void endRequestsQuitAndCleanUp_data();
    void endRequestsQuitAndCleanUp();
    void killedClassificationIsCleanedUpByTheNextRun();
    void unusableTemporaryFolderStopsTheStart();
    void robotsTxtIsHonouredWhenAsked_data();
    void robotsTxtIsHonouredWhenAsked();
    void versionNamesTheRelease();
    void outputFileHoldsTheResults_data();
    void outputFileHoldsTheResults();
    void outputThatCannotBeOpenedStopsTheStart_data();
    void outputThatCannotBeOpenedStopsTheStart();
    void outputWriteErrorEndsWithOne_data();
    void outputWriteErrorEndsWithOne();
    void jsonLinesNameThePageOfEachFile_data();
    void jsonLinesNameThePageOfEachFile();
    void jsonLinesKeepEachAddressOnOneLine_data();
    void jsonLinesKeepEachAddressOnOneLine();
    void classifiesTheLinksAsJsonLines_data();
    void classifiesTheLinksAsJsonLines();

private:
    struct Run
    {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    Run runCli(const QStringList &arguments, const QString &proxy = QString(),
               const std::function<void(QProcess &)> &prepare = {});
    QProcessEnvironment cliEnvironment(const QString &proxy) const;

    TestHttpServer m_server;
    QString m_serverUrl;
    QTemporaryDir m_dir;
};

static QJsonObject pageObject(int index, const char *state, const char *url, int status = 0,
                              const char *reason = nullptr)
{
    QJsonObject page{{QStringLiteral("type"), QStringLiteral("page")},
                     {QStringLiteral("index"), index},
                     {QStringLiteral("state"), QString::fromLatin1(state)},
                     {QStringLiteral("url"), QString::fromLatin1(url)}};
    if (status != 0)
        page.insert(QStringLiteral("status"), status);
    if (reason)
        page.insert(QStringLiteral("reason"), QString::fromLatin1(reason));
    return page;
}

// Writes a saved page for --links into the test's folder; its path.
static QString savedPage(const QTemporaryDir &dir, const QString &name, const QByteArray &content)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        return QString();
    return path;
}


void tst_Cli::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(m_server.isListening());
    serveSites(m_server, QStringLiteral(TROVEWICK_TEST_DATA "/sites"));
    m_serverUrl = QString::fromLatin1(m_server.url(""));
}

QProcessEnvironment tst_Cli::cliEnvironment(const QString &proxy) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("http_proxy"), proxy);
    env.remove(QStringLiteral("HTTP_PROXY"));
    env.remove(QStringLiteral("no_proxy"));
    env.remove(QStringLiteral("NO_PROXY"));
    return env;
}

tst_Cli::Run tst_Cli::runCli(const QStringList &arguments, const QString &proxy,
                             const std::function<void(QProcess &)> &prepare)
{
    QProcess cli;
    cli.setProcessEnvironment(cliEnvironment(proxy));
    if (prepare)
        prepare(cli);
    // The test's web servers answer from this event loop: the wait runs it.
    QSignalSpy finished(&cli, &QProcess::finished);
    cli.start(QStringLiteral(TROVEWICK_CLI), arguments);
    Run run;
    if (!cli.waitForStarted())
        return run;
    if (!finished.wait(120000)) {
        cli.kill();
        finished.wait();
        return run;
    }
    run.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    run.out = cli.readAllStandardOutput();
    run.err = cli.readAllStandardError();
    return run;
}

static QList<QByteArray> sortedLines(QList<QByteArray> lines)
{
    std::sort(lines.begin(), lines.end());
    return lines;
}

void tst_Cli::crawlsSeveralHostsThroughAProxy_data()
{
    QTest::addColumn<QString>("interval");
    QTest::newRow("timed ticks") << QStringLiteral("20");
    // Zero ticks whenever a read has finished; the crawl is the same.
    QTest::newRow("no pause") << QStringLiteral("0");
}

void tst_Cli::crawlsSeveralHostsThroughAProxy()
{
    QFETCH(QString, interval);
    const QString events = m_dir.filePath(QStringLiteral("events.log"));
    const Run run = runCli({QStringLiteral("--interval"), interval, QStringLiteral("--pages"),
                            QStringLiteral("--events"), events, QStringLiteral("http://site-a.test/index.htm")},
                           m_serverUrl);
    QCOMPARE(run.exitCode, 0);

    QList<QByteArray> lines = run.out.split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());
    QVERIFY2(lines.size() >= 9, run.out + run.err);
    const QList<QByteArray> pages = lines.mid(lines.size() - 9);
    const QList<QByteArray> files = lines.first(lines.size() - 9);

    const QList<QByteArray> expectedPages = {
        "1\tdomain\tsite-a.test",
        "2\tdone\tsite-a.test/index.htm",
        "3\tdone\tsite-a.test/dir/page1.htm",
        "4\tdone\tsite-a.test/dir/page2.html",
        "5\tdomain\tsite-b.test",
        "6\tdone\tsite-b.test/",
        "7\tfailed\tsite-a.test/missing.htm",
        "8\tfailed\tsite-a.test/broken.htm",
        "9\tdone\tsite-a.test/dir/top.htm",
    };
    QCOMPARE(pages, expectedPages);

    // Found files are printed in discovery order; pages completing in parallel
    // make the order after the root page's own file vary.
    QCOMPARE(files.value(0), QByteArray("http://site-a.test/pics/cat.jpg"));
    const QList<QByteArray> expectedFiles = {
        "http://site-a.test/dir/movie.mpg",  "http://site-a.test/dir/pics/cat.jpg",
        "http://site-a.test/last.jpg",       "http://site-a.test/pics/cat.jpg",
        "http://site-b.test/b.gif",
    };
    QCOMPARE(sortedLines(files), expectedFiles);
    // The last line has the counts once every read is in.
    const QList<QByteArray> statusLines = run.err.trimmed().split('\n');
    QVERIFY2(statusLines.last().endsWith(" / 9 pages found... [crawl finished]"), run.err);
    QCOMPARE(statusLines.last(), QByteArray("5 files found / 9 pages found... [crawl finished]"));
    QCOMPARE(statusLines.count(statusLines.last()), 1);

    QFile log(events);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> logged = log.readAll().split('\n');
    QVERIFY(logged.count("tick") >= 3);
    QList<QByteArray> handled;
    for (const QByteArray &line : logged)
        if (line.contains('\t'))
            handled.append(line);
    QCOMPARE(sortedLines(handled), sortedLines({expectedPages[1], expectedPages[2], expectedPages[3],
                                                expectedPages[5], expectedPages[6], expectedPages[7],
                                                expectedPages[8]}));
    QCOMPARE(logged.first(), QByteArray("tick"));
}

void tst_Cli::fileLimitStopsTheCrawl()
{
    const Run run = runCli({QStringLiteral("--interval"), QStringLiteral("20"), QStringLiteral("--max-files"),
                            QStringLiteral("2"), QStringLiteral("--quiet"), QStringLiteral("--pages"),
                            m_serverUrl + QStringLiteral("/index.htm")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.err.isEmpty());
    const QList<QByteArray> lines = run.out.trimmed().split('\n');
    QCOMPARE(lines.size(), 2 + 4); // two files, then the page tree
    QCOMPARE(lines.at(0), (m_serverUrl + QStringLiteral("/pic.gif")).toUtf8());
    // Both pages were in flight when the limit stopped the crawl; both are handled.
    QVERIFY(lines.at(4).startsWith("3\tdone\t"));
    QVERIFY(lines.at(5).startsWith("4\tdone\t"));
}

void tst_Cli::lastStatusLineGivesTheFinalCounts_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("lastLine");

    // index.htm links to a.htm, b.htm and pic.gif; a.htm to pic.gif and c.jpg,
    // b.htm to a.htm and d.mp3.
    QTest::newRow("nothing left to fetch")
        << QStringList{QStringLiteral("--interval"), QStringLiteral("20")}
        << QByteArray("3 files found / 4 pages found... [crawl finished]");
    QTest::newRow("nothing left to fetch, no pause")
        << QStringList{QStringLiteral("--interval"), QStringLiteral("0")}
        << QByteArray("3 files found / 4 pages found... [crawl finished]");
    // The third file stops the crawl in the middle of the scan of a.htm or b.htm,
    // after the last tick wrote its status; whichever comes second, two files are
    // listed and no page is added.
    QTest::newRow("file limit")
        << QStringList{QStringLiteral("--interval"), QStringLiteral("20"), QStringLiteral("--max-files"), QStringLiteral("2")}
        << QByteArray("2 files found / 4 pages found... [crawl stopped: file limit reached]");
    QTest::newRow("file limit, no pause")
        << QStringList{QStringLiteral("--interval"), QStringLiteral("0"), QStringLiteral("--max-files"), QStringLiteral("2")}
        << QByteArray("2 files found / 4 pages found... [crawl stopped: file limit reached]");
    // The first tick finds nothing to fetch: no status was written before the end.
    QTest::newRow("nothing to crawl")
        << QStringList{QStringLiteral("--interval"), QStringLiteral("20"), QStringLiteral("--max-pages"), QStringLiteral("0")}
        << QByteArray("0 files found / 0 pages found... [crawl finished]");
    QTest::newRow("nothing to crawl, no pause")
        << QStringList{QStringLiteral("--interval"), QStringLiteral("0"), QStringLiteral("--max-pages"), QStringLiteral("0")}
        << QByteArray("0 files found / 0 pages found... [crawl finished]");
}

void tst_Cli::lastStatusLineGivesTheFinalCounts()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, lastLine);

    const Run run = runCli(options + QStringList{m_serverUrl + QStringLiteral("/index.htm")});
    QCOMPARE(run.exitCode, 0);
    const QList<QByteArray> statusLines = run.err.trimmed().split('\n');
    QCOMPARE(statusLines.last(), lastLine);
    QCOMPARE(statusLines.count(lastLine), 1);
    // Every line is a whole status: no ending stands alone, counts before it.
    for (const QByteArray &line : statusLines)
        QVERIFY2(line.contains(" files found / ") && line.contains(" pages found..."), run.err);
    QCOMPARE(run.out.count('\n'), lastLine.left(lastLine.indexOf(' ')).toInt());
}

void tst_Cli::userStopGivesTheFinalCounts()
{
    // The root page's read stays out until the server goes away, after the stop.
    auto server = std::make_unique<TestHttpServer>();
    QVERIFY(server->isListening());
    Response silent;
    silent.neverAnswer = true;
    server->setFallback(silent);

    QProcess cli;
    cli.setProcessEnvironment(cliEnvironment(QString()));
    QSignalSpy finished(&cli, &QProcess::finished);
    cli.start(QStringLiteral(TROVEWICK_CLI), {QStringLiteral("--interval"), QStringLiteral("10"),
                                              QString::fromLatin1(server->url("/index.htm"))});
    QVERIFY(cli.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(server->requests().size(), 1, 30000);

    ::kill(pid_t(cli.processId()), SIGINT);
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += cli.readAllStandardError()).contains("waiting for 1 read in flight"), 10000);
    server.reset(); // the read fails; the crawl is over
    QVERIFY(finished.wait(30000));
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    QCOMPARE(cli.exitCode(), 0);
    err += cli.readAllStandardError();
    const QList<QByteArray> lines = err.trimmed().split('\n');
    QCOMPARE(lines.last(), QByteArray("0 files found / 2 pages found... [crawl stopped by the user]"));
}

void tst_Cli::controlBytesAreEscaped_data()
{
    QTest::addColumn<QString>("root");
    QTest::addColumn<QByteArray>("out"); // found files, then the page tree
    QTest::addColumn<QByteArrayList>("handled"); // the page lines of the event log

    // A line feed inside a link is dropped with the blanks; the other control
    // bytes stay in the address, and so does one from the command line.
    QTest::newRow("control bytes in links")
        << QStringLiteral("http://hostile.test/")
        << QByteArray("http://hostile.test/a%00b.jpg\n"
                      "http://hostile.test/c%01%1B[2jd.gif\n"
                      "http://hostile.test/e%7Ff%1F.mpg\n"
                      "http://hostile.test/tu.jpeg\n"
                      "1\tdomain\thostile.test\n"
                      "2\tdone\thostile.test/\n"
                      "3\tfailed\thostile.test/p%09q.htm\n"
                      "4\tfailed\thostile.test/r%0Bs%0C/\n")
        << QByteArrayList{"2\tdone\thostile.test/", "3\tfailed\thostile.test/p%09q.htm",
                          "4\tfailed\thostile.test/r%0Bs%0C/"};
    QTest::newRow("line feed in the root")
        << QStringLiteral("http://hostile.test/a\nb.htm")
        << QByteArray("1\tdomain\thostile.test\n"
                      "2\tfailed\thostile.test/a%0Ab.htm\n")
        << QByteArrayList{"2\tfailed\thostile.test/a%0Ab.htm"};
}

void tst_Cli::controlBytesAreEscaped()
{
    QFETCH(QString, root);
    QFETCH(QByteArray, out);
    QFETCH(QByteArrayList, handled);

    m_server.route("hostile.test", "/",
                   Response::html(QByteArrayLiteral("<a href=a\0b.jpg><a href=C\x01\x1b[2Jd.gif>"
                                                    "<a href=e\x7f" "f\x1f.mpg><a href=p\tq.htm>"
                                                    "<a href=r\x0bs\x0c/><a href=t\nu.jpeg>")));
    const QString events = m_dir.filePath(QStringLiteral("hostile-events.log"));
    const Run run = runCli({QStringLiteral("--interval"), QStringLiteral("20"), QStringLiteral("--quiet"),
                            QStringLiteral("--pages"), QStringLiteral("--events"), events, root},
                           m_serverUrl);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, out);

    QFile log(events);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QByteArrayList pageLines;
    for (const QByteArray &line : log.readAll().split('\n')) {
        if (line != "tick" && !line.isEmpty())
            pageLines.append(line);
    }
    std::sort(pageLines.begin(), pageLines.end());
    QCOMPARE(pageLines, handled);
}

void tst_Cli::controlBytesAreEscapedInTheClassification()
{
    const QString page = m_dir.filePath(QStringLiteral("hostile.htm"));
    QFile file(page);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArrayLiteral("<a href=x\0y.jpg><a href=p\x7fq.htm><a href=http://h/\x1b]0;t\x07.gif>"));
    file.close();

    const Run run = runCli({QStringLiteral("--links"), QStringLiteral("http://h/d\nir/page.htm"), page});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QByteArray("file\thttp://h/d%0Air/x%00y.jpg\n"
                                 "page\thttp://h/d%0Air/p%7Fq.htm\n"
                                 "file\thttp://h/%1B]0;t%07.gif\n"));
}

void tst_Cli::overridesHoldForThisRunOnly_data()
{
    QTest::addColumn<QStringList>("overrides");
    QTest::addColumn<QStringList>("expected"); // found files, then the page tree

    // index.htm links to a.htm, b.htm and pic.gif; a.htm to c.jpg, b.htm to d.mp3.
    QTest::newRow("page limit") << QStringList{QStringLiteral("--max-pages"), QStringLiteral("3"), QStringLiteral("--search"), QStringLiteral("mp3")}
                                << QStringList{QStringLiteral("1\tdomain\tHOST"), QStringLiteral("2\tdone\tHOST/index.htm"),
                                               QStringLiteral("3\tdone\tHOST/a.htm")};
    QTest::newRow("follow list") << QStringList{QStringLiteral("--follow"), QStringLiteral("xyz"), QStringLiteral("--search"), QStringLiteral("png")}
                                 << QStringList{QStringLiteral("1\tdomain\tHOST"), QStringLiteral("2\tdone\tHOST/index.htm")};
    QTest::newRow("search list") << QStringList{QStringLiteral("--search"), QStringLiteral("jpg"), QStringLiteral("--max-domain"), QStringLiteral("2")}
                                 << QStringList{QStringLiteral("http://HOST/c.jpg"), QStringLiteral("1\tdomain\tHOST"),
                                                QStringLiteral("2\tdone\tHOST/index.htm"), QStringLiteral("3\tdone\tHOST/a.htm")};
}

void tst_Cli::overridesHoldForThisRunOnly()
{
    QFETCH(QStringList, overrides);
    QFETCH(QStringList, expected);

    const QString host = m_serverUrl.mid(int(qstrlen("http://")));
    const Run run = runCli(overrides
                           + QStringList{QStringLiteral("--interval"), QStringLiteral("20"), QStringLiteral("--quiet"),
                                         QStringLiteral("--pages"), m_serverUrl + QStringLiteral("/index.htm")});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(QString::fromUtf8(run.out), expected.join(u'\n').replace(QStringLiteral("HOST"), host) + u'\n');
    // Nothing is saved: the per-user store is never created.
    QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("config/Trovewick"))));
}

void tst_Cli::limitsAtTheEndsOfTheirRange_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("expected"); // found files, then the page tree

    // The whole range of a 16-bit limit is taken as written, neither refused nor
    // wrapped: the largest lets the site be crawled in full, the smallest lets
    // nothing past the test it governs.
    const QStringList wholeSite{QStringLiteral("http://HOST/pic.gif"), QStringLiteral("http://HOST/c.jpg"),
                                QStringLiteral("http://HOST/d.mp3"), QStringLiteral("1\tdomain\tHOST"),
                                QStringLiteral("2\tdone\tHOST/index.htm"), QStringLiteral("3\tdone\tHOST/a.htm"),
                                QStringLiteral("4\tdone\tHOST/b.htm")};
    for (const char *option : {"--max-pages", "--max-files", "--max-domain"})
        QTest::addRow("%s 32767", option) << QString::fromLatin1(option) << QStringLiteral("32767") << wholeSite;
    // No node at all: not even the host.
    QTest::newRow("--max-pages -32768") << QStringLiteral("--max-pages") << QStringLiteral("-32768") << QStringList();
    // The first file link stops the crawl; the root's links to pages are queued.
    QTest::newRow("--max-files -32768")
        << QStringLiteral("--max-files") << QStringLiteral("-32768")
        << QStringList{QStringLiteral("1\tdomain\tHOST"), QStringLiteral("2\tdone\tHOST/index.htm"),
                       QStringLiteral("3\tqueued\tHOST/a.htm"), QStringLiteral("4\tqueued\tHOST/b.htm")};
    // The host, and no page under it.
    QTest::newRow("--max-domain -32768") << QStringLiteral("--max-domain") << QStringLiteral("-32768")
                                         << QStringList{QStringLiteral("1\tdomain\tHOST")};
}

void tst_Cli::limitsAtTheEndsOfTheirRange()
{
    QFETCH(QString, option);
    QFETCH(QString, value);
    QFETCH(QStringList, expected);

    const QString host = m_serverUrl.mid(int(qstrlen("http://")));
        const Run run = runCli({option, value, QStringLiteral("--interval"), QStringLiteral("0"), QStringLiteral("--quiet"),
                            QStringLiteral("--pages"), m_serverUrl + QStringLiteral("/index.htm")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.err.isEmpty(), run.err);
    // Files found on a.htm and b.htm, read side by side, may come in either order.
    const auto filesSorted = [](QStringList lines) {
        const auto pages = std::partition_point(lines.begin(), lines.end(),
                                                [](const QString &line) { return line.startsWith(u"http://"); });
        std::sort(lines.begin(), pages);
        return lines;
    };
    const QStringList lines = QString::fromUtf8(run.out).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(filesSorted(lines), filesSorted(expected.replaceInStrings(QStringLiteral("HOST"), host)));
}

void tst_Cli::classifiesTheLinksOfASavedPage()
{
    const QString page = m_dir.filePath(QStringLiteral("saved.htm"));
    QFile file(page);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<A HREF='Pics/Cat.JPG'><a href=/top.htm><a href=x.m><a href=song.mp3#t>"
               "<a href=page2.asp?id=3><a href=go.asp?u=http://other/a.mpg>");
    file.close();

    const Run run = runCli({QStringLiteral("--links"), QStringLiteral("http://host/dir/page.htm"), page});
    QCOMPARE(run.exitCode, 0);
    const QByteArray expected = "file\thttp://host/dir/pics/cat.jpg\n"
                                "page\thttp://host/dir/top.htm\n"
                                "page\thttp://host/dir/x.m\n"
                                "file\thttp://host/dir/x.m\n"
                                "file\thttp://other/a.mpg\n";
    QCOMPARE(run.out, expected);
    QVERIFY(QFile::exists(page));
}

void tst_Cli::scanErrorEndsTheClassification()
{
    const QString page = m_dir.filePath(QStringLiteral("unclosed.htm"));
    QFile file(page);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<a href=a.htm> <a href=b.jpg> <a href=c.htm");
    file.close();

    const Run run = runCli({QStringLiteral("--links"), QStringLiteral("http://h/"), page});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out, QByteArray("page\thttp://h/a.htm\nfile\thttp://h/b.jpg\n"));
    QVERIFY(!run.err.isEmpty());
}

void tst_Cli::badArgumentsGiveUsage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no root") << QStringList{};
    QTest::newRow("two roots") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--fast"), QStringLiteral("a")};
    QTest::newRow("limit not a number") << QStringList{QStringLiteral("--max-pages"), QStringLiteral("many"), QStringLiteral("a")};
    QTest::newRow("limit too large") << QStringList{QStringLiteral("--max-files"), QStringLiteral("40000"), QStringLiteral("a")};
    // One past either end of the 16-bit range, for each limit.
    for (const char *option : {"--max-pages", "--max-files", "--max-domain"}) {
        for (const char *value : {"32768", "-32769"})
            QTest::addRow("%s %s", option, value)
                << QStringList{QString::fromLatin1(option), QString::fromLatin1(value), QStringLiteral("a")};
    }
    QTest::newRow("negative interval") << QStringList{QStringLiteral("--interval"), QStringLiteral("-1"), QStringLiteral("a")};
    QTest::newRow("links without file") << QStringList{QStringLiteral("--links"), QStringLiteral("http://h/")};
    QTest::newRow("unknown format") << QStringList{QStringLiteral("--format"), QStringLiteral("xml"), QStringLiteral("a")};
    QTest::newRow("format without value") << QStringList{QStringLiteral("a"), QStringLiteral("--format")};
    QTest::newRow("empty output name") << QStringList{QStringLiteral("--output="), QStringLiteral("a")};
    QTest::newRow("unknown rules") << QStringList{QStringLiteral("--rules"), QStringLiteral("new"), QStringLiteral("a")};
    // The stored rules are classic, as on a first run.
    QTest::newRow("https root under classic rules") << QStringList{QStringLiteral("https://h/")};
}

void tst_Cli::badArgumentsGiveUsage()
{
    QFETCH(QStringList, arguments);
    const Run run = runCli(arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    // The problem on one line and a pointer to the help, not the whole help.
    QVERIFY2(run.err.startsWith("trovewick-cli: ") && run.err.count('\n') == 2
                 && run.err.endsWith("\nTry 'trovewick-cli --help' for more information.\n"), run.err);
}

void tst_Cli::helpDocumentsTheOptions()
{
    const Run run = runCli({QStringLiteral("--help")});
    QCOMPARE(run.exitCode, 0);
    for (const char *option : {"--max-pages", "--max-files", "--max-domain", "--follow", "--search",
                               "--interval", "--pages", "--quiet", "--events", "--links", "--format",
                               "--output", "--robots", "--rules", "--scope", "--version"})
        QVERIFY2(run.out.contains(option), option);
    // JSON Lines, the status line on a terminal, robots.txt and the results file.
    for (const char *text : {"jsonl", "{\"type\":\"file\",\"url\":URL,\"page\":PAGE}",
                             "{\"type\":\"status\",\"text\":TEXT}", "\\u00XX", "Windows-1252",
                             "at most ten times a second", "pages/s", "/robots.txt", "4xx", "5xx",
                             "--output file cannot be written", "results cannot be written"})
        QVERIFY2(run.out.simplified().contains(text), text);
    // The escaping of control bytes, the last status line's endings and the exit codes.
    for (const char *text : {"%XX", "0x00", "0x7F", "[crawl finished]", "[crawl stopped: file limit reached]",
                             "[crawl stopped by the user]", "Exit codes: 0", " 1 ", " 2 ", "130", "128+N",
                             "SIGTERM", "SIGHUP"})
        QVERIFY2(run.out.simplified().contains(text), text);
}

void tst_Cli::endRequestsQuitAndCleanUp_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("second Ctrl-C") << int(SIGINT) << 130;
    QTest::newRow("SIGTERM") << int(SIGTERM) << 143;
    QTest::newRow("SIGHUP") << int(SIGHUP) << 129;
}

void tst_Cli::endRequestsQuitAndCleanUp()
{
    QFETCH(int, signalNumber);
    QFETCH(int, exitCode);

    // A server that takes the request and never answers keeps one read in flight.
    TestHttpServer silent;
    QVERIFY(silent.isListening());
    Response never;
    never.neverAnswer = true;
    silent.setFallback(never);
    // The crawler's own temporary folder, to see what it leaves behind.
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    QProcessEnvironment env = cliEnvironment(QString());
    env.insert(QStringLiteral("TMPDIR"), temp.path());

    QProcess cli;
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(TROVEWICK_CLI),
              {QStringLiteral("--interval"), QStringLiteral("10"),
               QStringLiteral("http://127.0.0.1:%1/").arg(silent.port())});
    QVERIFY(cli.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(!silent.requests().isEmpty(), 30000);
    QCOMPARE(QDir(temp.path()).entryList({QStringLiteral("trovewick-*")}, QDir::Dirs).size(), 1);

    QSignalSpy finished(&cli, &QProcess::finished);
    if (signalNumber == SIGINT) {
        ::kill(pid_t(cli.processId()), SIGINT); // stops the crawl; the read is still out
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT((err += cli.readAllStandardError()).contains("waiting for 1 read in flight"),
                                 10000);
        QCOMPARE(cli.state(), QProcess::Running);
    }
    ::kill(pid_t(cli.processId()), signalNumber); // quits at once
    // Then again at every turn of this loop until it is gone, as from `timeout` (process, then group).
    QTimer again;
    connect(&again, &QTimer::timeout, this, [&] {
        if (cli.processId() > 0) // not yet reaped
            ::kill(pid_t(cli.processId()), signalNumber);
    });
    again.start(0);
    QVERIFY(finished.wait(30000));
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    QCOMPARE(cli.exitCode(), exitCode);
    QCOMPARE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
}

void tst_Cli::killedClassificationIsCleanedUpByTheNextRun()
{
    QTemporaryDir temp;
    const QByteArray oldTemp = qgetenv("TMPDIR");
    const auto restore = qScopeGuard([&] { qputenv("TMPDIR", oldTemp); });
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    // A saved page that is a pipe nobody writes to holds the run in its copy.
    const QString endless = m_dir.filePath(QStringLiteral("endless.htm"));
    QCOMPARE(::mkfifo(QFile::encodeName(endless).constData(), 0600), 0);
    QProcess cli;
    cli.setProcessEnvironment(cliEnvironment(QString()));
    cli.start(QStringLiteral(TROVEWICK_CLI), {QStringLiteral("--links"), QStringLiteral("http://h/"), endless});
    QTRY_VERIFY_WITH_TIMEOUT(!QDir(temp.path()).isEmpty(), 30000);
    cli.terminate();
    QVERIFY(cli.waitForFinished(30000));
    // The next run, even one that fails, removes what the killed one left.
    runCli({QStringLiteral("--links"), QStringLiteral("http://h/"), m_dir.filePath(QStringLiteral("none.htm"))});
    QCOMPARE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

void tst_Cli::unusableTemporaryFolderStopsTheStart()
{
    const QByteArray oldTemp = qgetenv("TMPDIR");
    const auto restore = qScopeGuard([&] { qputenv("TMPDIR", oldTemp); });
    qputenv("TMPDIR", TROVEWICK_CLI "/tmp"); // under a file: no folder, whoever runs the test
    const Run run = runCli({QStringLiteral("http://unopened.test/")}, m_serverUrl);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, QByteArray("trovewick-cli: cannot make a folder for page bodies in " TROVEWICK_CLI
                                 "/tmp: Not a directory\n"));
}

void tst_Cli::robotsTxtIsHonouredWhenAsked_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<bool>("robots");
    QTest::addColumn<int>("robotsStatus");
    QTest::addColumn<QByteArray>("robotsTxt");
    QTest::addColumn<QStringList>("expected"); // found files sorted, then the page tree
    QTest::addColumn<QByteArrayList>("requested"); // sorted

    const QStringList refused{QStringLiteral("http://HOST/open.jpg"), QStringLiteral("http://HOST/pic.gif"),
                              QStringLiteral("1\tdomain\tHOST"), QStringLiteral("2\tdone\tHOST/"),
                              QStringLiteral("3\tdone\tHOST/open.htm"), QStringLiteral("4\tfailed\tHOST/private/secret.htm")};
    const QStringList allRead{QStringLiteral("http://HOST/open.jpg"), QStringLiteral("http://HOST/pic.gif"),
                              QStringLiteral("http://HOST/private/secret.jpg"), QStringLiteral("1\tdomain\tHOST"),
                              QStringLiteral("2\tdone\tHOST/"), QStringLiteral("3\tdone\tHOST/open.htm"),
                              QStringLiteral("4\tdone\tHOST/private/secret.htm")};
    const QByteArrayList refusedRequests{"/", "/open.htm", "/robots.txt"};
    const QByteArrayList allRequests{"/", "/open.htm", "/private/secret.htm", "/robots.txt"};

    // The group for Trovewick is the one it follows, not the one for "*".
    QTest::newRow("refused to Trovewick")
        << QByteArray("robots-a.test") << true << 200
        << QByteArray("User-agent: *\nDisallow: /\n\nUser-agent: Trovewick\nDisallow: /private/\n")
        << refused << refusedRequests;
    QTest::newRow("refused to every robot")
        << QByteArray("robots-b.test") << true << 200 << QByteArray("User-agent: *\nDisallow: /private/\n")
        << refused << refusedRequests;
    QTest::newRow("rules for another robot only")
        << QByteArray("robots-c.test") << true << 200 << QByteArray("User-agent: OtherBot\nDisallow: /\n")
        << allRead << allRequests;
    QTest::newRow("robots.txt not found")
        << QByteArray("robots-d.test") << true << 404 << QByteArray("User-agent: *\nDisallow: /\n")
        << allRead << allRequests;
    QTest::newRow("robots.txt failing")
        << QByteArray("robots-e.test") << true << 500 << QByteArray("User-agent: *\nDisallow: /private/\n")
        << QStringList{QStringLiteral("1\tdomain\tHOST"), QStringLiteral("2\tfailed\tHOST/")}
        << QByteArrayList{"/robots.txt"};
    QTest::newRow("not asked for")
        << QByteArray("robots-f.test") << false << 200 << QByteArray("User-agent: *\nDisallow: /\n")
        << allRead << QByteArrayList{"/", "/open.htm", "/private/secret.htm"};
}

void tst_Cli::robotsTxtIsHonouredWhenAsked()
{
    QFETCH(QByteArray, host);
    QFETCH(bool, robots);
    QFETCH(int, robotsStatus);
    QFETCH(QByteArray, robotsTxt);
    QFETCH(QStringList, expected);
    QFETCH(QByteArrayList, requested);

    m_server.route(host, "/", closing(Response::html("<a href=open.htm><a href=private/secret.htm><a href=pic.gif>")));
    m_server.route(host, "/open.htm", closing(Response::html("<a href=open.jpg>")));
    m_server.route(host, "/private/secret.htm", closing(Response::html("<a href=secret.jpg>")));
    Response rules = Response::html(robotsTxt, robotsStatus);
    rules.headers = {{QByteArrayLiteral("Content-Type"), QByteArrayLiteral("text/plain")}};
    m_server.route(host, "/robots.txt", closing(rules));

    QStringList arguments{QStringLiteral("--interval"), QStringLiteral("20"), QStringLiteral("--quiet"),
                          QStringLiteral("--pages"), QStringLiteral("http://") + QString::fromLatin1(host) + u'/'};
    if (robots)
        arguments.prepend(QStringLiteral("--robots"));
    const Run run = runCli(arguments, m_serverUrl);
    QCOMPARE(run.exitCode, 0);
    QStringList lines = QString::fromUtf8(run.out).split(u'\n', Qt::SkipEmptyParts);
    const auto pages = std::partition_point(lines.begin(), lines.end(),
                                            [](const QString &line) { return line.startsWith(u"http://"); });
    std::sort(lines.begin(), pages);
    QCOMPARE(lines, expected.replaceInStrings(QStringLiteral("HOST"), QString::fromLatin1(host)));

    QByteArrayList paths;
    for (const TestHttpServer::Request &request : m_server.requests()) {
        if (request.host == host)
            paths.append(request.path);
    }
    std::sort(paths.begin(), paths.end());
    QCOMPARE(paths, requested);
}

void tst_Cli::versionNamesTheRelease()
{
    const Run run = runCli({QStringLiteral("--version")});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QByteArray("trovewick-cli ") + TrovewickVersion + '\n');
    QCOMPARE(run.err, QByteArray());
}

void tst_Cli::outputFileHoldsTheResults_data()
{
    QTest::addColumn<QStringList>("arguments"); // ROOT and SAVED stand for the site and a saved page

    const QStringList crawl{QStringLiteral("--search"), QStringLiteral("jpg"), QStringLiteral("--max-domain"),
                            QStringLiteral("2"), QStringLiteral("--interval"), QStringLiteral("20"),
                            QStringLiteral("--quiet"), QStringLiteral("--pages"), QStringLiteral("ROOT")};
    QTest::newRow("text") << crawl;
    QTest::newRow("jsonl") << QStringList{QStringLiteral("--format"), QStringLiteral("jsonl")} + crawl;
    QTest::newRow("links") << QStringList{QStringLiteral("--links"), QStringLiteral("http://h/"), QStringLiteral("SAVED")};
    QTest::newRow("links as jsonl") << QStringList{QStringLiteral("--format"), QStringLiteral("jsonl"), QStringLiteral("--links"),
                                                   QStringLiteral("http://h/"), QStringLiteral("SAVED")};
}

void tst_Cli::outputFileHoldsTheResults()
{
    QFETCH(QStringList, arguments);

    const QString page = savedPage(m_dir, QStringLiteral("saved-for-output.htm"),
                                   "<a href=a.htm><a href=b.jpg><a href=c\x01.gif>");
    QVERIFY(!page.isEmpty());
    arguments.replaceInStrings(QStringLiteral("ROOT"), m_serverUrl + QStringLiteral("/index.htm"));
    arguments.replaceInStrings(QStringLiteral("SAVED"), page);
    const Run toStandardOutput = runCli(arguments);
    QCOMPARE(toStandardOutput.exitCode, 0);
    QVERIFY(!toStandardOutput.out.isEmpty());

    // A file already there, longer than the results, is emptied first.
    const QString output = m_dir.filePath(QStringLiteral("results.out"));
    QVERIFY(!savedPage(m_dir, QStringLiteral("results.out"), QByteArray(4096, 'x')).isEmpty());
    const Run toFile = runCli(QStringList{QStringLiteral("--output"), output} + arguments);
    QCOMPARE(toFile.exitCode, 0);
    QCOMPARE(toFile.out, QByteArray());
    QCOMPARE(toFile.err, toStandardOutput.err);
    QFile file(output);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), toStandardOutput.out);
}

void tst_Cli::outputThatCannotBeOpenedStopsTheStart_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("events"); // none when empty
    QTest::addColumn<bool>("links");
    QTest::addColumn<QString>("problem"); // the error message's start
    QTest::addColumn<bool>("earlierRun"); // the output holds the results of an earlier run

    const QString missing = m_dir.filePath(QStringLiteral("missing/results.out"));
    const QString unwritable = QStringLiteral("cannot write %1: ");
    QTest::newRow("folder that does not exist") << missing << QString() << false << unwritable.arg(missing) << false;
    QTest::newRow("a directory") << m_dir.path() << QString() << false << unwritable.arg(m_dir.path()) << false;
    QTest::newRow("a directory, classifying links") << m_dir.path() << QString() << true << unwritable.arg(m_dir.path()) << false;
    // Every file is opened, and the saved page read, before the output is emptied.
    QTest::newRow("event log that cannot be opened")
        << m_dir.filePath(QStringLiteral("kept.out")) << missing << false << unwritable.arg(missing) << true;
    QTest::newRow("saved page that cannot be read") << m_dir.filePath(QStringLiteral("made.out")) << QString() << true
                                                    << QStringLiteral("cannot read ") + m_dir.filePath(QStringLiteral("no-such-page.htm")) << false;
}

void tst_Cli::outputThatCannotBeOpenedStopsTheStart()
{
    QFETCH(QString, output);
    QFETCH(QString, events);
    QFETCH(bool, links);
    QFETCH(QString, problem);
    QFETCH(bool, earlierRun);

    const QByteArray earlier = "results of an earlier run\n";
    if (earlierRun)
        QVERIFY(!savedPage(m_dir, QFileInfo(output).fileName(), earlier).isEmpty());
    // The saved page is not there either: the output is checked first.
    const QString page = m_dir.filePath(QStringLiteral("no-such-page.htm"));
    QStringList arguments = links ? QStringList{QStringLiteral("--links"), QStringLiteral("http://h/"), page}
                                  : QStringList{QStringLiteral("http://unopened.test/")};
    if (!events.isEmpty())
        arguments = QStringList{QStringLiteral("--events"), events} + arguments;
    const Run run = runCli(QStringList{QStringLiteral("--output"), output} + arguments, m_serverUrl);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out, QByteArray());
    QVERIFY2(run.err.startsWith("trovewick-cli: " + problem.toLocal8Bit()), run.err);
    QCOMPARE(run.err.count('\n'), 1);
    // The output is as it was: the earlier run's, or none.
    QFile file(output);
    if (!QFileInfo(output).isDir())
        QCOMPARE(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("none"), earlierRun ? earlier : "none");
    // Found before the crawl starts: not a page is asked for.
    const QList<TestHttpServer::Request> requests = m_server.requests();
    QVERIFY(std::none_of(requests.cbegin(), requests.cend(),
                         [](const TestHttpServer::Request &request) { return request.host == "unopened.test"; }));
    QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("missing"))));
}

void tst_Cli::outputWriteErrorEndsWithOne_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("atOnce"); // the first write fails during the crawl

    const QString root = m_serverUrl + QStringLiteral("/index.htm");
    QTest::newRow("found file") << QStringList{QStringLiteral("--interval"), QStringLiteral("20"), root} << true;
    QTest::newRow("found file, jsonl")
        << QStringList{QStringLiteral("--format"), QStringLiteral("jsonl"), QStringLiteral("--interval"), QStringLiteral("20"), root}
        << true;
    // Nothing found: the page tree at the end is the first write.
    QTest::newRow("page tree")
        << QStringList{QStringLiteral("--search"), QStringLiteral("xyz"), QStringLiteral("--pages"), QStringLiteral("--interval"),
                       QStringLiteral("20"), root}
        << false;
    QTest::newRow("status object")
        << QStringList{QStringLiteral("--search"), QStringLiteral("xyz"), QStringLiteral("--format"), QStringLiteral("jsonl"),
                       QStringLiteral("--interval"), QStringLiteral("0"), root}
        << false;
    QTest::newRow("links") << QStringList{QStringLiteral("--links"), QStringLiteral("http://h/"), QStringLiteral("SAVED")}
                           << true;
    QTest::newRow("event log")
        << QStringList{QStringLiteral("--events"), QStringLiteral("/dev/full"), QStringLiteral("--interval"), QStringLiteral("20"), root}
        << true;
    QTest::newRow("closed standard output")
        << QStringList{QStringLiteral("CLOSED"), QStringLiteral("--interval"), QStringLiteral("20"), root} << true;
    QTest::newRow("closed standard output, links")
        << QStringList{QStringLiteral("CLOSED"), QStringLiteral("--links"), QStringLiteral("http://h/"), QStringLiteral("SAVED")} << true;
}

void tst_Cli::outputWriteErrorEndsWithOne()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, atOnce);

    // The full device takes the file open and refuses every write. The results
    // go there unless the event log does, or standard output is CLOSED.
    const QString full = QStringLiteral("/dev/full");
    if (!QFileInfo(full).isWritable())
        QSKIP("no writable /dev/full here");
    const bool closed = arguments.removeAll(QStringLiteral("CLOSED")) > 0;
    if (!closed && !arguments.contains(QStringLiteral("--events")))
        arguments = QStringList{QStringLiteral("--output"), full} + arguments;
    const QString page = savedPage(m_dir, QStringLiteral("saved-to-full.htm"), "<a href=a.htm><a href=b.jpg>");
    QVERIFY(!page.isEmpty());
    arguments.replaceInStrings(QStringLiteral("SAVED"), page);
    QTemporaryDir temp; // the crawler's own, to see what it leaves behind
    const Run run = runCli(arguments, QString(), [&](QProcess &cli) {
        QProcessEnvironment env = cli.processEnvironment();
        env.insert(QStringLiteral("TMPDIR"), temp.path());
        cli.setProcessEnvironment(env);
        if (closed)
            cli.setChildProcessModifier(closeStandardOutput);
    });
    QCOMPARE(run.exitCode, 1);
    const QList<QByteArray> lines = run.err.trimmed().split('\n');
    const QByteArray name = closed ? QByteArray("standard output") : full.toLocal8Bit();
    QVERIFY2(lines.last().startsWith("trovewick-cli: cannot write " + name + ": "), run.err);
    QCOMPARE(lines.count(lines.last()), 1);
    // Ended at once, without a last status line; or after it.
    QCOMPARE(run.err.contains("[crawl finished]"), !atOnce);
    QCOMPARE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

void tst_Cli::jsonLinesNameThePageOfEachFile_data()
{
    QTest::addColumn<QString>("interval");
    QTest::newRow("timed ticks") << QStringLiteral("20");
    QTest::newRow("no pause") << QStringLiteral("0");
}

void tst_Cli::jsonLinesNameThePageOfEachFile()
{
    QFETCH(QString, interval);
    const Run run = runCli({QStringLiteral("--interval"), interval, QStringLiteral("--format"), QStringLiteral("jsonl"),
                            QStringLiteral("--pages"), QStringLiteral("http://site-a.test/index.htm")},
                           m_serverUrl);
    QCOMPARE(run.exitCode, 0);
    QList<QJsonObject> objects;
    QByteArray bad;
    QVERIFY2(readJsonLines(run.out, &objects, &bad), bad);
    QVERIFY2(objects.size() == 5 + 9 + 1, run.out);

    // The found files, then the page tree, then the last status line: the one
    // standard error ends with, which stays as in text.
    const QJsonObject status = objects.takeLast();
    QCOMPARE(status, (QJsonObject{{QStringLiteral("type"), QStringLiteral("status")},
                                  {QStringLiteral("text"), QStringLiteral("5 files found / 9 pages found... [crawl finished]")}}));
    const QList<QByteArray> statusLines = run.err.trimmed().split('\n');
    QCOMPARE(statusLines.last(), status.value(QStringLiteral("text")).toString().toUtf8());
    for (const QByteArray &line : statusLines)
        QVERIFY2(line.contains(" files found / ") && line.contains(" pages found..."), run.err);

    const QList<QJsonObject> pages = objects.mid(5);
    const QList<QJsonObject> expectedPages = {
        pageObject(1, "domain", "http://site-a.test/"),
        pageObject(2, "done", "http://site-a.test/index.htm", 200),
        pageObject(3, "done", "http://site-a.test/dir/page1.htm", 200),
        pageObject(4, "done", "http://site-a.test/dir/page2.html", 200),
        pageObject(5, "domain", "http://site-b.test/"),
        pageObject(6, "done", "http://site-b.test/", 200),
        pageObject(7, "failed", "http://site-a.test/missing.htm", 404, "404"),
        pageObject(8, "failed", "http://site-a.test/broken.htm", 200, "parse"),
        pageObject(9, "done", "http://site-a.test/dir/top.htm", 200),
    };
    QCOMPARE(pages, expectedPages);
    QHash<QString, QString> stateOf;
    for (const QJsonObject &page : pages) {
        if (page.value(QStringLiteral("state")) != QStringLiteral("domain"))
            stateOf.insert(page.value(QStringLiteral("url")).toString(), page.value(QStringLiteral("state")).toString());
    }

    QStringList files;
    for (const QJsonObject &file : objects.first(5)) {
        QCOMPARE(file.value(QStringLiteral("type")), QStringLiteral("file"));
        QCOMPARE(file.size(), 3);
        const QString url = file.value(QStringLiteral("url")).toString();
        const QString foundOn = file.value(QStringLiteral("page")).toString();
        const QString why = url + QStringLiteral(" on ") + foundOn;
        files.append(url);
        // A page that was read, and whose page on disk links to the file.
        // broken.htm ends in the middle of a tag: its scan lists last.jpg, then
        // fails, and the page with it.
        const QString state = stateOf.value(foundOn);
        QVERIFY2(state == u"done" || (state == u"failed" && foundOn == u"http://site-a.test/broken.htm"),
                 qPrintable(why + QStringLiteral(", ") + state));
        QVERIFY2(linkTargets(foundOn).contains(url), qPrintable(why));
    }
    // Found files come in discovery order, the root page's own first.
    QCOMPARE(files.first(), QStringLiteral("http://site-a.test/pics/cat.jpg"));
    std::sort(files.begin(), files.end());
    QCOMPARE(files, (QStringList{QStringLiteral("http://site-a.test/dir/movie.mpg"),
                                 QStringLiteral("http://site-a.test/dir/pics/cat.jpg"),
                                 QStringLiteral("http://site-a.test/last.jpg"),
                                 QStringLiteral("http://site-a.test/pics/cat.jpg"),
                                 QStringLiteral("http://site-b.test/b.gif")}));
}

void tst_Cli::jsonLinesKeepEachAddressOnOneLine_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QByteArrayList>("files"); // the found files' addresses, in UTF-8
    QTest::addColumn<QByteArrayList>("pages"); // "STATE ADDRESS" of the pages after the host

    QTest::newRow("control characters")
        << QByteArray("controls.test")
        << QByteArrayLiteral("<a href=a\0b.jpg><a href=C\x01\x1b[2Jd.gif><a href=e\x7f" "f\x1f.mpg><a href=p\tq.htm>")
        << QByteArrayList{QByteArrayLiteral("http://controls.test/a\0b.jpg"),
                          QByteArrayLiteral("http://controls.test/c\x01\x1b[2jd.gif"),
                          QByteArrayLiteral("http://controls.test/e\x7f" "f\x1f.mpg")}
        << QByteArrayList{"done http://controls.test/", "failed http://controls.test/p\tq.htm"};
    QTest::newRow("UTF-8 where valid")
        << QByteArray("utf8.test") << QByteArray("<a href=caf\xc3\xa9.jpg><a href=\xe2\x80\xa8.htm>")
        << QByteArrayList{"http://utf8.test/caf\xc3\xa9.jpg"}
        << QByteArrayList{"done http://utf8.test/", "failed http://utf8.test/\xe2\x80\xa8.htm"};
    // Undefined in Windows-1252, 0x81 is the C1 control U+0081.
    QTest::newRow("else Windows-1252")
        << QByteArray("cp1252.test") << QByteArray("<a href=\x93q\x94.jpg><a href=x\x81.gif>")
        << QByteArrayList{"http://cp1252.test/\xe2\x80\x9cq\xe2\x80\x9d.jpg", "http://cp1252.test/x\xc2\x81.gif"}
        << QByteArrayList{"done http://cp1252.test/"};
}

void tst_Cli::jsonLinesKeepEachAddressOnOneLine()
{
    QFETCH(QByteArray, host);
    QFETCH(QByteArray, page);
    QFETCH(QByteArrayList, files);
    QFETCH(QByteArrayList, pages);

    m_server.route(host, "/", Response::html(page));
    const QString root = QStringLiteral("http://") + QString::fromLatin1(host) + u'/';
    const Run run = runCli({QStringLiteral("--interval"), QStringLiteral("20"), QStringLiteral("--quiet"),
                            QStringLiteral("--format"), QStringLiteral("jsonl"), QStringLiteral("--pages"), root},
                           m_serverUrl);
    QCOMPARE(run.exitCode, 0);

    // Nothing in the output is a control or a line separator: each is escaped.
    const QList<QByteArray> lines = run.out.split('\n');
    QCOMPARE(lines.size(), files.size() + 1 + pages.size() + 1 + 1);
    for (const QByteArray &line : lines) {
        QVERIFY2(!line.contains("\xe2\x80\xa8") && !line.contains("\xe2\x80\xa9"), line);
        for (qsizetype i = 0; i < line.size(); ++i) {
            const auto byte = static_cast<unsigned char>(line.at(i));
            const auto next = i + 1 < line.size() ? static_cast<unsigned char>(line.at(i + 1)) : 0;
            QVERIFY2(byte >= 0x20 && byte != 0x7F && !(byte == 0xC2 && next >= 0x80 && next <= 0x9F), line);
        }
    }

    QList<QJsonObject> objects;
    QByteArray bad;
    QVERIFY2(readJsonLines(run.out, &objects, &bad), bad);
    QByteArrayList foundFiles;
    QByteArrayList foundPages;
    for (const QJsonObject &object : objects) {
        const QByteArray url = object.value(QStringLiteral("url")).toString().toUtf8();
        if (object.value(QStringLiteral("type")) == QStringLiteral("file")) {
            foundFiles.append(url);
            QCOMPARE(object.value(QStringLiteral("page")).toString(), root);
        } else if (object.value(QStringLiteral("type")) == QStringLiteral("page")
                   && object.value(QStringLiteral("state")) != QStringLiteral("domain")) {
            foundPages.append(object.value(QStringLiteral("state")).toString().toUtf8() + ' ' + url);
        }
    }
    QCOMPARE(foundFiles, files);
    QCOMPARE(foundPages, pages);
    QCOMPARE(objects.first(1 + files.size()).last(),
             pageObject(1, "domain", QByteArray("http://" + host + "/").constData()));
}

void tst_Cli::classifiesTheLinksAsJsonLines_data()
{
    QTest::addColumn<QString>("pageUrl");
    QTest::addColumn<QByteArray>("saved");
    QTest::addColumn<QByteArray>("out");

    QTest::newRow("ordinary links")
        << QStringLiteral("http://host/dir/page.htm")
        << QByteArray("<A HREF='Pics/Cat.JPG'><a href=/top.htm><a href=x.m><a href=go.asp?u=http://other/a.mpg>")
        << QByteArray("{\"type\":\"file\",\"url\":\"http://host/dir/pics/cat.jpg\"}\n"
                      "{\"type\":\"page\",\"url\":\"http://host/dir/top.htm\"}\n"
                      "{\"type\":\"page\",\"url\":\"http://host/dir/x.m\"}\n"
                      "{\"type\":\"file\",\"url\":\"http://host/dir/x.m\"}\n"
                      "{\"type\":\"file\",\"url\":\"http://other/a.mpg\"}\n");
    QTest::newRow("control characters")
        << QStringLiteral("http://h/d\nir/page.htm") << QByteArrayLiteral("<a href=x\0y.jpg><a href=p\x7fq.htm>")
        << QByteArray("{\"type\":\"file\",\"url\":\"http://h/d\\u000Air/x\\u0000y.jpg\"}\n"
                      "{\"type\":\"page\",\"url\":\"http://h/d\\u000Air/p\\u007Fq.htm\"}\n");
}

void tst_Cli::classifiesTheLinksAsJsonLines()
{
    QFETCH(QString, pageUrl);
    QFETCH(QByteArray, saved);
    QFETCH(QByteArray, out);

    const QString page = savedPage(m_dir, QStringLiteral("saved-for-json.htm"), saved);
    QVERIFY(!page.isEmpty());
    const Run run = runCli({QStringLiteral("--format"), QStringLiteral("jsonl"), QStringLiteral("--links"), pageUrl, page});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, out);
}

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_cli.moc"
