#include "TransferChecks.h"
#include "net/DownloadFolder.h"
#include "net/HttpTransfer.h"
#include "net/WebSession.h"
#include "support/TestHttpServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QSysInfo>
#include <QScopeGuard>
#include <QSet>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using Response = TestHttpServer::Response;
using namespace TransferChecks;

namespace {

constexpr qint64 PageCap = ReadLimits::pages().maxBodyBytes;

ReadLimits limits(int idleMs, qint64 maxBodyBytes, int maxRedirects,
                  int deadlineMs = ReadLimits::pages().deadlineMs)
{
    return {idleMs, deadlineMs, maxBodyBytes, maxRedirects};
}

// Long enough never to cut a healthy local read short, short enough that a read
// that never ends still shows up as a failed test rather than a hung one.
constexpr int TestIdleMs = 20'000;
constexpr int WaitMs = 15'000;

QByteArray everyByte()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(static_cast<char>(i));
    return bytes;
}

} // namespace

class TestHttpTransfer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void requestUrl_data();
    void requestUrl();
    void environmentProxy_data();
    void environmentProxy();

    void readsBodyIntoFile();
    void sendsUserAgent();
    void escapesBytesOfThePage();
    void statusDecidesOutcome_data();
    void statusDecidesOutcome();
    void redirects_data();
    void redirects();
    void certificatesAreVerified_data();
    void certificatesAreVerified();
    void chunkedBodyIsReassembled();
    void bodySizeLimit_data();
    void bodySizeLimit();
    void serverThatNeverAnswersFails();
    void stalledBodyFailsAndLeavesNoFile();
    void slowBodyThatKeepsComingIsRead_data();
    void slowBodyThatKeepsComingIsRead();
    void tricklingBodyFailsAtTheDeadline();
    void connectionFailures_data();
    void connectionFailures();
    void unusableAddressFailsLater_data();
    void unusableAddressFailsLater();
    void manyReadsInFlight();
    void readsThroughEnvironmentProxy();
    void destroyingRemovesFiles();
    void destroyingWithReadsInFlight();
    void foldersOfDeadRunsAreRemoved();
};

void TestHttpTransfer::requestUrl_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected"); // empty: not a usable address

    QTest::newRow("plain page") << QByteArray("http://www.example.com/a.htm")
                                << QByteArray("http://www.example.com/a.htm");
    QTest::newRow("https") << QByteArray("https://www.example.com/")
                           << QByteArray("https://www.example.com/");
    QTest::newRow("scheme and host in capitals")
        << QByteArray("HTTP://WWW.Example.COM/A.htm") << QByteArray("http://www.example.com/A.htm");
    QTest::newRow("port and query") << QByteArray("http://h.test:8080/x.asp?a=1&b=2")
                                    << QByteArray("http://h.test:8080/x.asp?a=1&b=2");
    QTest::newRow("space in path") << QByteArray("http://h.test/a b.htm")
                                   << QByteArray("http://h.test/a%20b.htm");
    QTest::newRow("8-bit byte in path") << QByteArray("http://h.test/caf\xe9.htm")
                                        << QByteArray("http://h.test/caf%E9.htm");
    QTest::newRow("escape kept") << QByteArray("http://h.test/a%20b%2f")
                                 << QByteArray("http://h.test/a%20b%2F");
    QTest::newRow("lone percent") << QByteArray("http://h.test/100%.htm?q=%zz")
                                  << QByteArray("http://h.test/100%25.htm?q=%25zz");
    QTest::newRow("percent at the end") << QByteArray("http://h.test/a%2")
                                        << QByteArray("http://h.test/a%252");
    QTest::newRow("quotes, brackets, backslash")
        << QByteArray("http://h.test/a\"<b>\\c|d")
        << QByteArray("http://h.test/a%22%3Cb%3E%5Cc%7Cd");
    QTest::newRow("control byte") << QByteArray("http://h.test/a\tb")
                                  << QByteArray("http://h.test/a%09b");
    QTest::newRow("blanks around") << QByteArray("  http://h.test/x.htm \r\n")
                                   << QByteArray("http://h.test/x.htm");

    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("only blanks") << QByteArray(" \t ") << QByteArray();
    QTest::newRow("ftp") << QByteArray("ftp://h.test/file.zip") << QByteArray();
    QTest::newRow("mailto") << QByteArray("mailto:me@h.test") << QByteArray();
    QTest::newRow("javascript") << QByteArray("javascript:go('http://h.test/')") << QByteArray();
    QTest::newRow("no scheme") << QByteArray("www.h.test/a.htm") << QByteArray();
    QTest::newRow("no host") << QByteArray("http:///a.htm") << QByteArray();
    QTest::newRow("scheme only") << QByteArray("http://") << QByteArray();
    QTest::newRow("port out of range") << QByteArray("http://h.test:99999/") << QByteArray();
    QTest::newRow("port not a number") << QByteArray("http://h.test:8x/") << QByteArray();
    QTest::newRow("space in host") << QByteArray("http://exa mple.test/") << QByteArray();
    QTest::newRow("8-bit byte in host") << QByteArray("http://h\xe9.test/") << QByteArray();
}

void TestHttpTransfer::requestUrl()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);

    const QUrl url = HttpTransfer::requestUrl(text);
    if (expected.isEmpty()) {
        QVERIFY2(!url.isValid(), url.toEncoded().constData());
    } else {
        QVERIFY2(url.isValid(), text.constData());
        QCOMPARE(url.toEncoded(), expected);
    }
}

void TestHttpTransfer::environmentProxy_data()
{
    QTest::addColumn<QByteArray>("url");            // ORIGIN stands for the direct server
    QTest::addColumn<QByteArrayList>("environment"); // PROXY stands for the proxy's address
    QTest::addColumn<bool>("viaProxy");

    const QByteArray proxy("http_proxy=PROXY");
    const QByteArray far("http://www.a.test/page.htm");
    QTest::newRow("http_proxy") << far << QByteArrayList{proxy} << true;
    QTest::newRow("HTTP_PROXY ignored") << far << QByteArrayList{"HTTP_PROXY=PROXY"} << false;
    QTest::newRow("all_proxy") << far << QByteArrayList{"all_proxy=PROXY"} << true;
    QTest::newRow("https_proxy for https")
        << QByteArray("https://www.a.test/") << QByteArrayList{"https_proxy=PROXY"} << true;
    QTest::newRow("loopback address is read directly")
        << QByteArray("http://ORIGIN/page.htm") << QByteArrayList{proxy} << false;
    QTest::newRow("loopback address despite no_proxy")
        << QByteArray("http://ORIGIN/page.htm") << QByteArrayList{proxy, "no_proxy=other.test"}
        << false;
    QTest::newRow("no_proxy exact host")
        << far << QByteArrayList{proxy, "no_proxy=www.a.test"} << false;
    QTest::newRow("no_proxy domain covers subdomain")
        << QByteArray("http://deep.www.a.test/") << QByteArrayList{proxy, "no_proxy=other.test, a.test"}
        << false;
    QTest::newRow("no_proxy leading dot") << far << QByteArrayList{proxy, "no_proxy=.a.test"} << false;
    QTest::newRow("no_proxy is no suffix match")
        << QByteArray("http://www.ba.test/") << QByteArrayList{proxy, "no_proxy=a.test"} << true;
    QTest::newRow("no_proxy star") << far << QByteArrayList{proxy, "no_proxy=*"} << false;
    QTest::newRow("NO_PROXY in capitals")
        << QByteArray("http://WWW.A.test/") << QByteArrayList{proxy, "NO_PROXY=WWW.a.TEST"} << false;
}

void TestHttpTransfer::environmentProxy()
{
    QFETCH(QByteArray, url);
    QFETCH(QByteArrayList, environment);
    QFETCH(bool, viaProxy);

    TestHttpServer proxy;
    proxy.setFallback(Response::html("<p>via the proxy</p>"));
    TestHttpServer origin;
    origin.setFallback(Response::html("<p>direct</p>"));
    url.replace("ORIGIN", origin.authority());

    const QByteArrayList names{"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY",
                               "all_proxy",  "ALL_PROXY",  "no_proxy",    "NO_PROXY"};
    QByteArrayList saved;
    for (const QByteArray &name : names) {
        saved.append(qgetenv(name.constData()));
        qunsetenv(name.constData());
    }
    const auto restore = qScopeGuard([&names, &saved] {
        for (qsizetype i = 0; i < names.size(); ++i)
            qputenv(names.at(i).constData(), saved.at(i));
    });
    for (QByteArray entry : std::as_const(environment)) {
        entry.replace("PROXY=PROXY", "PROXY=" + proxy.url({}));
        entry.replace("proxy=PROXY", "proxy=" + proxy.url({}));
        const qsizetype equals = entry.indexOf('=');
        qputenv(entry.left(equals).constData(), entry.mid(equals + 1));
    }

    WebSession session;
    HttpTransfer transfer(session, limits(TestIdleMs, PageCap, 10));
    QSignalSpy spy(&transfer, &TransferComponent::FileReadComplete);
    transfer.StartFileRead(url, url, 1, "1");
    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, WaitMs);

    // Hosts under .test resolve nowhere, so a read that went past the proxy to
    // one of them fails; a loopback read reaches the direct server.
    QCOMPARE(proxy.requests().size(), viaProxy ? 1 : 0);
    if (url.contains(origin.authority())) {
        QCOMPARE(origin.requests().size(), 1);
        QCOMPARE(contentsOf(completionAt(spy, 0).prop.value), QByteArray("<p>direct</p>"));
    }
}

void TestHttpTransfer::readsBodyIntoFile()
{
    TestHttpServer server;
    QVERIFY(server.isListening());
    const QByteArray body = "<html><a href=\"b.htm\">b</a></html>\r\n" + everyByte();
    server.route("/a.htm", Response::html(body));

    WebSession session;

    HttpTransfer transfer(session, limits(TestIdleMs, PageCap, 10));
    QSignalSpy spy(&transfer, &TransferComponent::FileReadComplete);
    const QByteArray url = server.url("/a.htm");
    const QString key = transfer.StartFileRead(url, url, 7, "12");
    QVERIFY(!key.isEmpty());

    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, WaitMs);
    const Completion done = completionAt(spy, 0);
    QCOMPARE(done.key, key);
    QCOMPARE(done.fileType, 7);
    QCOMPARE(done.data, QByteArray("12"));
    QCOMPARE(done.prop.url, url);
    QVERIFY(!done.prop.value.isEmpty());
    QVERIFY(QFileInfo(done.prop.value).isAbsolute());
    QCOMPARE(QFileInfo(done.prop.value).absolutePath(), transfer.downloadFolder());
    QCOMPARE(contentsOf(done.prop.value), body);
    // The folder lives under the temporary folder of the process.
    QVERIFY(transfer.downloadFolder().startsWith(QDir::tempPath() + u'/'));
}

void TestHttpTransfer::sendsUserAgent()
{
    TestHttpServer server;
    server.route("/", Response::html("root"));
    WebSession session;
    HttpTransfer transfer(session);
    QSignalSpy spy(&transfer, &TransferComponent::FileReadComplete);
    transfer.StartFileRead(server.url("/"), server.url("/"), 1, "1");

    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, WaitMs);
    QCOMPARE(server.requests().size(), 1);
    const TestHttpServer::Request request = server.requests().constFirst();
    QCOMPARE(request.method, QByteArray("GET"));
    QCOMPARE(request.header("User-Agent"), QByteArray("Trovewick/2.0"));
    QCOMPARE(request.host, QByteArray("127.0.0.1"));
}

void TestHttpTransfer::escapesBytesOfThePage()
{
    TestHttpServer server;
    server.route("/caf%E9%20menu.htm", Response::html("menu"));
    WebSession session;
    HttpTransfer transfer(session, limits(TestIdleMs, PageCap, 10));
    QSignalSpy spy(&transfer, &TransferComponent::FileReadComplete);
    const QByteArray url = server.url("/caf\xe9 menu.htm");
    transfer.StartFileRead(url, url, 1, "3");

    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, WaitMs);
    QCOMPARE(server.requests().value(0).target, QByteArray("/caf%E9%20menu.htm"));
    const Completion done = completionAt(spy, 0);
    QCOMPARE(done.prop.url, url);
    QCOMPARE(contentsOf(done.prop.value), QByteArray("menu"));
}

void TestHttpTransfer::statusDecidesOutcome_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("succeeds");

    QTest::newRow("200") << 200 << QByteArray("<p>found</p>") << true;
    QTest::newRow("200 with empty body") << 200 << QByteArray() << true;
    QTest::newRow("203") << 203 << QByteArray("<p>copy</p>") << true;
    QTest::newRow("404") << 404 << QByteArray("<p>not here</p>") << false;
    QTest::newRow("403") << 403 << QByteArray("<p>go away</p>") << false;
    QTest::newRow("410") << 410 << QByteArray() << false;
    QTest::newRow("500") << 500 << QByteArray("<p>broken</p>") << false;
    QTest::newRow("300 without location") << 300 << QByteArray("<p>choose</p>") << false;
}

void TestHttpTransfer::statusDecidesOutcome()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, succeeds);

    TestHttpServer server;
    server.route("/page.htm", Response::html(body, status));
    WebSession session;
    HttpTransfer transfer(session, limits(TestIdleMs, PageCap, 10));
    QSignalSpy spy(&transfer, &TransferComponent::FileReadComplete);
    const QByteArray url = server.url("/page.htm");
    transfer.StartFileRead(url, url, 1, "5");

    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, WaitMs);
    const Completion done = completionAt(spy, 0);
    QCOMPARE(done.prop.url, url);
    QCOMPARE(done.data, QByteArray("5"));
    QCOMPARE(done.prop.status, status);
    if (succeeds) {
        QVERIFY(QFileInfo::exists(done.prop.value));
        QCOMPARE(contentsOf(done.prop.value), body);
    } else {
        QVERIFY(done.prop.value.isEmpty());
        QCOMPARE(filesIn(transfer.downloadFolder()), QStringList());
    }
}

void TestHttpTransfer::redirects_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<int>("maxRedirects");
    QTest::addColumn<QByteArray>("expected"); // empty: the read fails

    const QByteArray target("<p>the target</p>");
    QTest::newRow("301 to another page") << QByteArray("/moved.htm") << 10 << target;
    QTest::newRow("302 to another page") << QByteArray("/found.htm") << 10 << target;
    QTest::newRow("307 with absolute location") << QByteArray("/absolute.htm") << 10 << target;
    QTest::newRow("relative location") << QByteArray("/dir/relative.htm") << 10 << target;
    QTest::newRow("301 to a missing page") << QByteArray("/gone.htm") << 10 << QByteArray();
    QTest::newRow("chain as long as allowed") << QByteArray("/chain1.htm") << 3 << target;
    QTest::newRow("chain longer than allowed") << QByteArray("/chain1.htm") << 2 << QByteArray();
    QTest::newRow("loop") << QByteArray("/loop.htm") << 10 << QByteArray();
    QTest::newRow("to ftp") << QByteArray("/toftp.htm") << 10 << QByteArray();
    QTest::newRow("to mail") << QByteArray("/tomail.htm") << 10 << QByteArray();
    QTest::newRow("to file") << QByteArray("/tofile.htm") << 10 << QByteArray();
    QTest::newRow("to data") << QByteArray("/todata.htm") << 10 << QByteArray();
    QTest::newRow("to javascript") << QByteArray("/tojavascript.htm") << 10 << QByteArray();
}

void TestHttpTransfer::redirects()
{
    QFETCH(QByteArray, path);
    QFETCH(int, maxRedirects);
    QFETCH(QByteArray, expected);

    TestHttpServer server;
    server.route("/target.htm", Response::html("<p>the target</p>"));
    server.route("/moved.htm", Response::redirect(301, "/target.htm"));
    server.route("/found.htm", Response::redirect(302, "/target.htm"));
    server.route("/absolute.htm", Response::redirect(307, server.url("/target.htm")));
    server.route("/dir/relative.htm", Response::redirect(301, "../target.htm"));
    server.route("/gone.htm", Response::redirect(301, "/missing.htm"));
    server.route("/chain1.htm", Response::redirect(302, "/chain2.htm"));
    server.route("/chain2.htm", Response::redirect(302, "/chain3.htm"));
    server.route("/chain3.htm", Response::redirect(302, "/target.htm"));
    server.route("/loop.htm", Response::redirect(301, "/loop.htm"));
    server.route("/toftp.htm", Response::redirect(301, "ftp://" + server.authority() + "/f"));
    server.route("/tomail.htm", Response::redirect(301, "mailto:me@h.test"));
    // A file that exists and can be read: the test program itself.
    const QByteArray programFile = "file://" + QFile::encodeName(QCoreApplication::applicationFilePath());
    server.route("/tofile.htm", Response::redirect(302, programFile));
    server.route("/todata.htm", Response::redirect(302, "data:text/html,<p>the target</p>"));
    server.route("/tojavascript.htm", Response::redirect(302, "javascript:location='/target.htm'"));

    WebSession session;

    HttpTransfer transfer(session, limits(TestIdleMs, PageCap, maxRedirects));
    QSignalSpy spy(&transfer, &TransferComponent::FileReadComplete);
    const QByteArray url = server.url(path);
    transfer.StartFileRead(url, url, 1, "9");

    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, WaitMs);
    const Completion done = completionAt(spy, 0);
    QCOMPARE(done.prop.url, url);
    if (expected.isEmpty()) {
        QVERIFY(done.prop.value.isEmpty());
        QCOMPARE(filesIn(transfer.downloadFolder()), QStringList());
    } else {
        QCOMPARE(contentsOf(done.prop.value), expected);
        QCOMPARE(done.prop.finalUrl, server.url("/target.htm"));
    }
}

void TestHttpTransfer::certificatesAreVerified_data()
{
    QTest::addColumn<bool>("trusted"); // CURL_CA_BUNDLE names the server's own certificate
    QTest::addColumn<QString>("reason");
    QTest::newRow("trusted through CURL_CA_BUNDLE") << true << QString();
    QTest::newRow("unknown authority") << false << QStringLiteral("tls");
}

void TestHttpTransfer::certificatesAreVerified()
{
    QFETCH(bool, trusted);
    QFETCH(QString, reason);

    // A throwaway certificate for 127.0.0.1 that vouches for itself.
    QTemporaryDir dir;
    const QString cert = dir.filePath(QStringLiteral("cert.pem"));
    const QString key = dir.filePath(QStringLiteral("key.pem"));
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    openssl.start(QStringLiteral("openssl"), {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                  QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("1"),
                  QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                  QStringLiteral("subjectAltName=IP:127.0.0.1"), QStringLiteral("-keyout"), key,
                  QStringLiteral("-out"), cert});
    QVERIFY(openssl.waitForFinished(60'000) && openssl.exitCode() == 0);
    QFile keyFile(key);
    QVERIFY(keyFile.open(QIODevice::ReadOnly));
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate::fromPath(cert).value(0));
    tls.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Rsa));
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    TestHttpServer server(tls);
    server.route("/a.htm", Response::html("<p>secure</p>"));

    const QByteArray bundle = qgetenv("CURL_CA_BUNDLE");
    const auto restore = qScopeGuard([&bundle] { qputenv("CURL_CA_BUNDLE", bundle); });
    qputenv("CURL_CA_BUNDLE", trusted ? QFile::encodeName(cert) : QByteArray());
    WebSession session;
    HttpTransfer transfer(session);
    QSignalSpy spy(&transfer, &TransferComponent::FileReadComplete);
    const QByteArray url = server.url("/a.htm");
    transfer.StartFileRead(url, url, 1, "1");
    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, WaitMs);
    const Completion done = completionAt(spy, 0);
    QCOMPARE(ReadReasons::word(done.prop.reason, done.prop.status), reason);
    if (trusted)
        QCOMPARE(contentsOf(done.prop.value), QByteArray("<p>secure</p>"));
}

void TestHttpTransfer::chunkedBodyIsReassembled()
{
    TestHttpServer server;
    const QByteArray body = filler(5000) + everyByte();
    Response chunked = Response::html(body);
    chunked.chunked = true;
    chunked.pieceSize = 7;
    server.route("/chunked.htm", chunked);

    WebSession session;

    HttpTransfer transfer(session, limits(TestIdleMs, PageCap, 10));
    QSignalSpy spy(&transfer, &TransferComponent::FileReadComplete);
    transfer.StartFileRead(server.url("/chunked.htm"), server.url("/chunked.htm"), 1, "2");

    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, WaitMs);
    QCOMPARE(contentsOf(completionAt(spy, 0).prop.value), body);
}

void TestHttpTransfer::bodySizeLimit_data()
{
    QTest::addColumn<QByteArray>("framing"); // length, chunked or close
    QTest::addColumn<int>("bodySize");
    QTest::addColumn<qint64>("stallAfter");
    QTest::addColumn<bool>("succeeds");

    // With the head alone sent and the idle limit far off, only the announced
    // length can end this read in time.
    QTest::newRow("announced length over the limit") << QByteArray("length") << 4000 << 0LL
                                                     << false;
    QTest::newRow("chunked over the limit") << QByteArray("chunked") << 4000 << -1LL << false;
    QTest::newRow("unannounced over the limit") << QByteArray("close") << 4000 << -1LL << false;
    QTest::newRow("length at the limit") << QByteArray("length") << 1000 << -1LL << true;
    QTest::newRow("chunked at the limit") << QByteArray("chunked") << 1000 << -1LL << true;
    QTest::newRow("unannounced at the limit") << QByteArray("close") << 1000 << -1LL << true;
    QTest::newRow("chunked one byte over") << QByteArray("chunked") << 1001 << -1LL << false;
}

void TestHttpTransfer::bodySizeLimit()
{
    QFETCH(QByteArray, framing);
    QFETCH(int, bodySize);
    QFETCH(qint64, stallAfter);
    QFETCH(bool, succeeds);

    TestHttpServer server;
    Response response = Response::html(filler(bodySize));
    response.chunked = framing == "chunked";
    response.sendContentLength = framing == "length";
    response.pieceSize = 100;
    response.stallAfter = stallAfter;
    server.route("/big.htm", response);

    WebSession session;

    HttpTransfer transfer(session, limits(600'000, 1000, 10));
    QSignalSpy spy(&transfer, &TransferComponent::FileReadComplete);
    transfer.StartFileRead(server.url("/big.htm"), server.url("/big.htm"), 1, "4");

    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, WaitMs);
    const Completion done = completionAt(spy, 0);
    if (succeeds) {
        QCOMPARE(contentsOf(done.prop.value), response.body);
    } else {
        QVERIFY(done.prop.value.isEmpty());
        QCOMPARE(filesIn(transfer.downloadFolder()), QStringList());
    }
}

void TestHttpTransfer::serverThatNeverAnswersFails()
{
    TestHttpServer server;
    Response silent;
    silent.neverAnswer = true;
    server.route("/silent.htm", silent);

    WebSession session;

    HttpTransfer transfer(session, limits(300, PageCap, 10));
    QSignalSpy spy(&transfer, &TransferComponent::FileReadComplete);
    const QByteArray url = server.url("/silent.htm");
    transfer.StartFileRead(url, url, 1, "6");

    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, WaitMs);
    QCOMPARE(server.requestCount("/silent.htm"), 1);
    const Completion done = completionAt(spy, 0);
    QVERIFY(done.prop.value.isEmpty());
    QCOMPARE(done.prop.url, url);
    QCOMPARE(done.data, QByteArray("6"));
}

void TestHttpTransfer::stalledBodyFailsAndLeavesNoFile()
{
    TestHttpServer server;
    Response stalled = Response::html(filler(3000));
    stalled.stallAfter = 1000;
    server.route("/stalled.htm", stalled);

    WebSession session;

    HttpTransfer transfer(session, limits(300, PageCap, 10));
    QSignalSpy spy(&transfer, &TransferComponent::FileReadComplete);
    transfer.StartFileRead(server.url("/stalled.htm"), server.url("/stalled.htm"), 1, "8");

    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, WaitMs);
    QVERIFY(completionAt(spy, 0).prop.value.isEmpty());
    QVERIFY(!transfer.downloadFolder().isEmpty());
    QCOMPARE(filesIn(transfer.downloadFolder()), QStringList());
}

void TestHttpTransfer::slowBodyThatKeepsComingIsRead_data()
{
    QTest::addColumn<int>("pieceSize");
    QTest::addColumn<int>("pieceDelayMs");
    QTest::addColumn<int>("idleMs");

    QTest::newRow("a piece every 0.4 s, idle limit 1 s") << 100 << 400 << 1000;
    // Under a byte a second, yet no wait between bytes reaches the limit.
    QTest::newRow("a byte every 1.2 s, idle limit 2 s") << 1 << 1200 << 2000;
}

void TestHttpTransfer::slowBodyThatKeepsComingIsRead()
{
    QFETCH(int, pieceSize);
    QFETCH(int, pieceDelayMs);
    QFETCH(int, idleMs);
    TestHttpServer server;
    Response slow = Response::html(filler(3 * pieceSize));
    slow.pieceSize = pieceSize;
    slow.pieceDelayMs = pieceDelayMs;
    server.route("/slow.htm", slow);

    WebSession session;

    HttpTransfer transfer(session, limits(idleMs, PageCap, 10));
    QSignalSpy spy(&transfer, &TransferComponent::FileReadComplete);
    transfer.StartFileRead(server.url("/slow.htm"), server.url("/slow.htm"), 1, "10");

    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, WaitMs);
    QCOMPARE(contentsOf(completionAt(spy, 0).prop.value), slow.body);
}

void TestHttpTransfer::tricklingBodyFailsAtTheDeadline()
{
    // Every piece comes well within the idle limit, but the whole read would
    // take far longer than the read may.
    TestHttpServer server;
    Response trickle = Response::html(filler(100'000));
    trickle.pieceSize = 10;
    trickle.pieceDelayMs = 50;
    server.route("/trickle.htm", trickle);

    WebSession session;

    HttpTransfer transfer(session, limits(1000, PageCap, 10, 400));
    QSignalSpy spy(&transfer, &TransferComponent::FileReadComplete);
    transfer.StartFileRead(server.url("/trickle.htm"), server.url("/trickle.htm"), 1, "11");

    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, WaitMs);
    QVERIFY(completionAt(spy, 0).prop.value.isEmpty());
    QCOMPARE(filesIn(transfer.downloadFolder()), QStringList());
}

void TestHttpTransfer::connectionFailures_data()
{
    QTest::addColumn<bool>("listening");

    QTest::newRow("nothing listening") << false;
    QTest::newRow("connection closed without answer") << true;
}

void TestHttpTransfer::connectionFailures()
{
    QFETCH(bool, listening);

    TestHttpServer server;
    Response drop;
    drop.dropConnection = true;
    server.route("/drop.htm", drop);
    QByteArray url = server.url("/drop.htm");
    if (!listening) {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        url = "http://127.0.0.1:" + QByteArray::number(closed.serverPort()) + "/a.htm";
    }

    WebSession session;

    HttpTransfer transfer(session, limits(TestIdleMs, PageCap, 10));
    QSignalSpy spy(&transfer, &TransferComponent::FileReadComplete);
    transfer.StartFileRead(url, url, 1, "11");

    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, WaitMs);
    const Completion done = completionAt(spy, 0);
    QVERIFY(done.prop.value.isEmpty());
    QCOMPARE(done.prop.url, url);
}

void TestHttpTransfer::unusableAddressFailsLater_data()
{
    QTest::addColumn<QByteArray>("url");

    QTest::newRow("unparsable") << QByteArray("http://exa mple.test:9x/a.htm");
    QTest::newRow("ftp") << QByteArray("ftp://127.0.0.1/file.zip");
    QTest::newRow("no host") << QByteArray("http:///a.htm");
    QTest::newRow("empty") << QByteArray();
}

void TestHttpTransfer::unusableAddressFailsLater()
{
    QFETCH(QByteArray, url);

    WebSession session;

    HttpTransfer transfer(session);
    QSignalSpy spy(&transfer, &TransferComponent::FileReadComplete);
    const QString key = transfer.StartFileRead(url, url, 1, "13");
    // The caller is still inside its request loop: nothing may arrive yet.
    QCOMPARE(spy.size(), 0);
    QVERIFY(!key.isEmpty());

    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, WaitMs);
    const Completion done = completionAt(spy, 0);
    QCOMPARE(done.key, key);
    QCOMPARE(done.fileType, 1);
    QVERIFY(done.prop.value.isEmpty());
    QCOMPARE(done.prop.url, url);
    QCOMPARE(done.data, QByteArray("13"));
}

void TestHttpTransfer::manyReadsInFlight()
{
    TestHttpServer server;
    Response slow = Response::html("<p>slow</p>");
    slow.pieceSize = 3;
    slow.pieceDelayMs = 20;
    server.route("/slow.htm", slow);
    server.route("/missing.htm", Response::error(404));
    Response silent;
    silent.neverAnswer = true;
    server.route("/silent.htm", silent);
    for (int i = 0; i < 4; ++i) {
        server.route("/page" + QByteArray::number(i) + ".htm",
                     Response::html("<p>page " + QByteArray::number(i) + "</p>"));
    }

    // Path, data string and the body expected (empty: a failed read).
    const QList<std::tuple<QByteArray, QByteArray, QByteArray>> reads = {
        {"/slow.htm", "1", "<p>slow</p>"},  {"/silent.htm", "2", {}},
        {"/page0.htm", "3", "<p>page 0</p>"}, {"/missing.htm", "4", {}},
        {"/page1.htm", "5", "<p>page 1</p>"}, {"/page2.htm", "6", "<p>page 2</p>"},
        {"/page3.htm", "7", "<p>page 3</p>"}, {"/page0.htm", "8", "<p>page 0</p>"},
        {"http://bad host/", "9", {}},
    };

    WebSession session;

    HttpTransfer transfer(session, limits(1500, PageCap, 10));
    QSignalSpy spy(&transfer, &TransferComponent::FileReadComplete);
    QHash<QString, qsizetype> readOfKey;
    for (qsizetype i = 0; i < reads.size(); ++i) {
        const QByteArray &path = std::get<0>(reads.at(i));
        const QByteArray url = path.startsWith('/') ? server.url(path) : path;
        readOfKey.insert(transfer.StartFileRead(url, url, 1, std::get<1>(reads.at(i))), i);
    }
    QCOMPARE(readOfKey.size(), reads.size()); // every key its own
    QCOMPARE(spy.size(), 0);

    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), reads.size(), WaitMs);
    QSet<QString> seen;
    QSet<QString> files;
    for (qsizetype i = 0; i < spy.size(); ++i) {
        const Completion done = completionAt(spy, i);
        QVERIFY2(readOfKey.contains(done.key), qPrintable(done.key));
        QVERIFY2(!seen.contains(done.key), qPrintable(done.key));
        seen.insert(done.key);
        const auto &[path, data, body] = reads.at(readOfKey.value(done.key));
        QCOMPARE(done.data, data);
        QVERIFY(done.prop.url.endsWith(path));
        if (body.isEmpty()) {
            QVERIFY(done.prop.value.isEmpty());
        } else {
            QCOMPARE(contentsOf(done.prop.value), body);
            files.insert(done.prop.value);
        }
    }
    QCOMPARE(files.size(), 6); // each read its own file
}

void TestHttpTransfer::readsThroughEnvironmentProxy()
{
    TestHttpServer proxy;
    proxy.route("www.far.test", "/page.htm", Response::html("<p>via the proxy</p>"));
    // The machine's own no_proxy must not send the read past the proxy; an
    // empty variable counts as unset.
    const QByteArrayList names{"http_proxy", "no_proxy", "NO_PROXY"};
    QByteArrayList saved;
    for (const QByteArray &name : names)
        saved.append(qgetenv(name.constData()));
    const auto restore = qScopeGuard([&names, &saved] {
        for (qsizetype i = 0; i < names.size(); ++i)
            qputenv(names.at(i).constData(), saved.at(i));
    });
    qputenv("http_proxy", proxy.url({}));
    qputenv("no_proxy", QByteArray());
    qputenv("NO_PROXY", QByteArray());

    WebSession session;

    HttpTransfer transfer(session, limits(TestIdleMs, PageCap, 10));
    QSignalSpy spy(&transfer, &TransferComponent::FileReadComplete);
    const QByteArray url("http://www.far.test/page.htm");
    transfer.StartFileRead(url, url, 1, "14");

    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, WaitMs);
    QCOMPARE(proxy.requests().size(), 1);
    QCOMPARE(proxy.requests().constFirst().target, url);
    QCOMPARE(proxy.requests().constFirst().host, QByteArray("www.far.test"));
    const Completion done = completionAt(spy, 0);
    QCOMPARE(done.prop.url, url);
    QCOMPARE(contentsOf(done.prop.value), QByteArray("<p>via the proxy</p>"));
}

void TestHttpTransfer::destroyingRemovesFiles()
{
    TestHttpServer server;
    server.route("/a.htm", Response::html("a"));
    server.route("/b.htm", Response::html("b"));

    WebSession session;

    auto transfer = std::make_unique<HttpTransfer>(session, limits(TestIdleMs, PageCap, 10));
    QSignalSpy spy(transfer.get(), &TransferComponent::FileReadComplete);
    transfer->StartFileRead(server.url("/a.htm"), server.url("/a.htm"), 1, "1");
    transfer->StartFileRead(server.url("/b.htm"), server.url("/b.htm"), 1, "2");
    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 2, WaitMs);

    const QString folder = transfer->downloadFolder();
    const QString first = completionAt(spy, 0).prop.value;
    const QString second = completionAt(spy, 1).prop.value;
    QVERIFY(QFileInfo::exists(first));
    QVERIFY(QFileInfo::exists(second));
    // The receiver takes one file away; the other is left behind.
    QVERIFY(QFile::remove(first));

    transfer.reset();
    QVERIFY(!QFileInfo::exists(second));
    QVERIFY(!QFileInfo::exists(folder));
}

void TestHttpTransfer::destroyingWithReadsInFlight()
{
    TestHttpServer server;
    Response stalled = Response::html(filler(3000));
    stalled.stallAfter = 500;
    server.route("/stalled.htm", stalled);

    WebSession session;

    auto transfer = std::make_unique<HttpTransfer>(session, limits(TestIdleMs, PageCap, 10));
    QSignalSpy spy(transfer.get(), &TransferComponent::FileReadComplete);
    transfer->StartFileRead(server.url("/stalled.htm"), server.url("/stalled.htm"), 1, "1");
    QTRY_COMPARE_WITH_TIMEOUT(server.requestCount("/stalled.htm"), 1, WaitMs);
    transfer->StartFileRead("ftp://h.test/", "ftp://h.test/", 1, "2");
    const QString folder = transfer->downloadFolder();
    QVERIFY(QFileInfo::exists(folder));

    transfer.reset();
    QVERIFY(!QFileInfo::exists(folder));
    // Nothing arrives from a component that is gone, not even the queued failure.
    QCoreApplication::processEvents();
    QCOMPARE(spy.size(), 0);
}

void TestHttpTransfer::foldersOfDeadRunsAreRemoved()
{
    // A process that has ended: its pid names no live process any more.
    QProcess finished;
    finished.start(QStringLiteral("true"), {});
    QVERIFY(finished.waitForFinished());
    const qint64 deadPid = finished.processId() > 0 ? finished.processId() : 999'999;

    const QString temp = QDir::tempPath();
    auto makeFolder = [&temp](const QString &name) {
        const QString path = temp + u'/' + name;
        QDir().mkpath(path);
        QFile body(path + QStringLiteral("/1.tmp"));
        body.open(QIODevice::WriteOnly);
        body.write("a partial body");
        return path;
    };
    // Left by a run that was killed: its lock names the dead process.
    const QString abandoned = makeFolder(QStringLiteral("trovewick-dead01"));
    QFile staleLock(abandoned + u'/' + DownloadFolder::LockFileName);
    QVERIFY(staleLock.open(QIODevice::WriteOnly));
    staleLock.write(QByteArray::number(deadPid) + "\ntrovewick-cli\n"
                    + QSysInfo::machineHostName().toUtf8() + '\n');
    staleLock.close();
    // Held by a run that is still going.
    const QString live = makeFolder(QStringLiteral("trovewick-live01"));
    QLockFile liveLock(live + u'/' + DownloadFolder::LockFileName);
    liveLock.setStaleLockTime(0);
    QVERIFY(liveLock.tryLock(0));
    // Being made this instant by another run: not locked yet, but new.
    const QString fresh = makeFolder(QStringLiteral("trovewick-new001"));
    // Another program's folder.
    const QString foreign = makeFolder(QStringLiteral("other-dead01"));
    const auto cleanUp = qScopeGuard([&] {
        for (const QString &path : {abandoned, live, fresh, foreign})
            QDir(path).removeRecursively();
    });

    TestHttpServer server;
    server.route("/a.htm", Response::html("a"));
    WebSession session;
    HttpTransfer transfer(session, limits(TestIdleMs, PageCap, 10));
    QSignalSpy spy(&transfer, &TransferComponent::FileReadComplete);
    transfer.StartFileRead(server.url("/a.htm"), server.url("/a.htm"), 1, "1");
    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, WaitMs);

    QVERIFY(!QFileInfo::exists(abandoned));
    QVERIFY(QFileInfo::exists(live + QStringLiteral("/1.tmp")));
    QVERIFY(QFileInfo::exists(fresh + QStringLiteral("/1.tmp")));
    QVERIFY(QFileInfo::exists(foreign + QStringLiteral("/1.tmp")));
    // The new folder is locked by this run: a second component leaves it alone.
    QCOMPARE(DownloadFolder::removeAbandoned(temp), 0);
    QVERIFY(QFileInfo::exists(transfer.downloadFolder()));
}

QTEST_GUILESS_MAIN(TestHttpTransfer)
#include "tst_httptransfer.moc"
