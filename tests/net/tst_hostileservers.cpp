// Page reads against servers that try to make the reader hold too much, wait
// too long or read what it must not: every such read fails, leaves no file and
// keeps what it holds in memory within the bounds of its ReadLimits.
#include "TransferChecks.h"
#include "net/HttpTransfer.h"
#include "net/WebSession.h"
#include "support/TestHttpServer.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/inotify.h>
#include <unistd.h>
#include <zlib.h>

using Response = TestHttpServer::Response;
using namespace TransferChecks;

Q_DECLARE_METATYPE(TestHttpServer::Response)
Q_DECLARE_METATYPE(ReadLimits)

namespace {

constexpr int TestIdleMs = 20'000;
constexpr int WaitMs = 15'000;
constexpr qint64 KiB = 1024;
constexpr qint64 MiB = 1024 * KiB;
constexpr qint64 HeadLimit = ReadLimits::pages().maxHeaderBytes;
// What the kernel's socket buffers on both ends may take in after the reader
// has stopped reading, and then some.
constexpr qint64 SocketSlack = 32 * MiB;

ReadLimits limits(qint64 maxBodyBytes, int idleMs = TestIdleMs,
                  int deadlineMs = ReadLimits::pages().deadlineMs)
{
    ReadLimits result;
    result.idleTimeoutMs = idleMs;
    result.deadlineMs = deadlineMs;
    result.maxBodyBytes = maxBodyBytes;
    return result;
}

// The gzip stream of `unit` repeated `repeats` times, made piece by piece so a
// stream that inflates to far more than memory should hold is cheap to make.
QByteArray gzipped(const QByteArray &unit, int repeats)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out;
    char buffer[64 * 1024];
    for (int i = 0; i < repeats; ++i) {
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(unit.constData()));
        stream.avail_in = uInt(unit.size());
        const int flush = i + 1 == repeats ? Z_FINISH : Z_NO_FLUSH;
        do {
            stream.next_out = reinterpret_cast<Bytef *>(buffer);
            stream.avail_out = sizeof buffer;
            deflate(&stream, flush);
            out.append(buffer, qsizetype(sizeof buffer - stream.avail_out));
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    return out;
}

Response gzipResponse(const QByteArray &gzip)
{
    Response response = Response::html(gzip);
    response.headers.append({QByteArrayLiteral("Content-Encoding"), QByteArrayLiteral("gzip")});
    return response;
}

// A raw answer: `head` first, then `piece` again and again until `total` bytes
// have been made, then `tail`, then the connection closes.
Response streamed(const QByteArray &head, const QByteArray &piece, qint64 total,
                  const QByteArray &tail = {}, int pieceDelayMs = 0)
{
    Response response;
    response.pieceDelayMs = pieceDelayMs;
    response.rawStream = [head, piece, total, tail](qint64 sent) -> QByteArray {
        if (sent < head.size())
            return head;
        if (sent < head.size() + total)
            return piece;
        return sent < head.size() + total + tail.size() ? tail : QByteArray();
    };
    return response;
}

// Header lines of exactly 100 bytes each, `count` of them.
QByteArray headerLines(int count, const QByteArray &name = "X-Filler")
{
    QByteArray lines;
    for (int i = 0; i < count; ++i) {
        QByteArray line = name + '-' + QByteArray::number(i).rightJustified(6, '0') + ": ";
        line += QByteArray(98 - line.size(), 'h') + "\r\n";
        lines += line;
    }
    return lines;
}

QByteArray chunk(const QByteArray &data)
{
    return QByteArray::number(data.size(), 16) + "\r\n" + data + "\r\n";
}

// Reports whether a file was opened or read since the last look.
class AccessWatch
{
public:
    explicit AccessWatch(const QString &path)
        : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        if (m_fd >= 0)
            m_ok = inotify_add_watch(m_fd, QFile::encodeName(path).constData(), IN_OPEN | IN_ACCESS) >= 0;
    }
    ~AccessWatch()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    AccessWatch(const AccessWatch &) = delete;
    AccessWatch &operator=(const AccessWatch &) = delete;

    bool isValid() const { return m_ok; }
    bool touched()
    {
        char events[4096];
        bool any = false;
        while (::read(m_fd, events, sizeof events) > 0)
            any = true;
        return any;
    }

private:
    int m_fd = -1;
    bool m_ok = false;
};

} // namespace

class TestHostileServers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void hostileAnswers_data();
    void hostileAnswers();
    void headsAreCountedPerRequest_data();
    void headsAreCountedPerRequest();
    void redirectToAnotherScheme_data();
    void redirectToAnotherScheme();
};

void TestHostileServers::hostileAnswers_data()
{
    QTest::addColumn<Response>("response");
    QTest::addColumn<ReadLimits>("readLimits");
    QTest::addColumn<QByteArray>("expected"); // the body read; empty: the read fails
    QTest::addColumn<qint64>("mostHeld");     // what the read may hold in memory at once
    QTest::addColumn<qint64>("mostMade");     // what a streamed answer may have made; 0: not streamed
    QTest::addColumn<int>("requests");
    QTest::addColumn<QString>("reason");      // why the read failed, as JSON Lines give it

    const QByteArray page = filler(100 * KiB);
    const QByteArray ok200 = "HTTP/1.1 200 OK\r\n";
    const QByteArray bomb = gzipped(QByteArray(MiB, '\0'), 64); // 64 MiB in about 64 KiB
    const qint64 endless = 1024 * MiB;

    QTest::newRow("gzip page within the cap")
        << gzipResponse(gzipped(page, 1)) << limits(MiB) << page << KiB << 0LL << 1 << QString();
    QTest::newRow("gzip bomb past a small cap")
        << gzipResponse(bomb) << limits(MiB) << QByteArray() << KiB << 0LL << 1 << QStringLiteral("too-large");
    QTest::newRow("gzip bomb past the page cap")
        << gzipResponse(bomb) << ReadLimits::pages() << QByteArray() << KiB << 0LL << 1 << QStringLiteral("too-large");

    Response largeHead = Response::html("<p>large head</p>");
    for (int i = 0; i < 600; ++i)
        largeHead.headers.append({"X-Filler-" + QByteArray::number(i), QByteArray(80, 'h')});
    QTest::newRow("head just under the limit")
        << largeHead << limits(MiB) << largeHead.body << HeadLimit << 0LL << 1 << QString();
    Response tooLargeHead = largeHead;
    for (int i = 600; i < 700; ++i)
        tooLargeHead.headers.append({"X-Filler-" + QByteArray::number(i), QByteArray(80, 'h')});
    QTest::newRow("head past the limit at once")
        << tooLargeHead << limits(MiB) << QByteArray() << HeadLimit + 100 << 0LL << 1 << QStringLiteral("head-too-large");

    // Forty lines every 5 ms: steady enough never to go idle; past 16 MiB the
    // head would end and the page follow.
    QTest::newRow("head that never ends, sent steadily")
        << streamed(ok200 + "Content-Length: 2\r\n", headerLines(40), 16 * MiB, "\r\nok", 5)
        << limits(MiB) << QByteArray() << HeadLimit + 100 << MiB << 1 << QStringLiteral("head-too-large");
    QTest::newRow("header line that never ends")
        << streamed(ok200 + "Content-Length: 2\r\nX-Endless: ", QByteArray(4 * KiB, 'h'), 16 * MiB,
                    "\r\n\r\nok")
        << limits(MiB) << QByteArray() << HeadLimit << SocketSlack << 1 << QStringLiteral("head-too-large");
    QTest::newRow("interim answers that never end")
        << streamed(QByteArray(), "HTTP/1.1 100 Continue\r\n\r\n", 16 * MiB,
                    ok200 + "Content-Length: 2\r\n\r\nok")
        << limits(MiB) << QByteArray() << HeadLimit + 100 << SocketSlack << 1 << QStringLiteral("head-too-large");
    QTest::newRow("trailers that never end")
        << streamed(ok200 + "Transfer-Encoding: chunked\r\n\r\n" + chunk("ok") + "0\r\n",
                    headerLines(40, "X-Trailer"), 16 * MiB, "\r\n")
        << limits(MiB) << QByteArray() << HeadLimit + 100 << SocketSlack << 1 << QStringLiteral("head-too-large");

    QTest::newRow("huge chunked body")
        << streamed(ok200 + "Transfer-Encoding: chunked\r\n\r\n", chunk(filler(64 * KiB)), endless,
                    "0\r\n\r\n")
        << limits(MiB) << QByteArray() << KiB << MiB + SocketSlack << 1 << QStringLiteral("too-large");
    QTest::newRow("huge body ended by closing")
        << streamed(ok200 + "\r\n", filler(64 * KiB), endless) << limits(MiB) << QByteArray() << KiB
        << MiB + SocketSlack << 1 << QStringLiteral("too-large");
    QTest::newRow("huge error page")
        << streamed("HTTP/1.1 404 Not Found\r\n\r\n", filler(64 * KiB), endless) << limits(MiB)
        << QByteArray() << KiB << SocketSlack << 1 << QStringLiteral("404");
    QTest::newRow("huge page of a redirect without location")
        << streamed("HTTP/1.1 300 Multiple Choices\r\n\r\n", filler(64 * KiB), endless) << limits(MiB)
        << QByteArray() << KiB << SocketSlack << 1 << QStringLiteral("300");
    QTest::newRow("length far beyond the body, closed early")
        << streamed(ok200 + "Content-Length: 500000\r\n\r\n", filler(KiB), 10 * KiB) << limits(MiB)
        << QByteArray() << KiB << 11 * KiB << 1 << QStringLiteral("refused");
    // The head alone, then silence: only the announced length can end the read
    // before the idle limit.
    Response announcedHuge = Response::html(filler(KiB));
    announcedHuge.headers.append({QByteArrayLiteral("Content-Length"), QByteArrayLiteral("1000000000000")});
    announcedHuge.stallAfter = 0;
    QTest::newRow("length beyond the cap, nothing sent")
        << announcedHuge << limits(MiB) << QByteArray() << KiB << 0LL << 1 << QStringLiteral("too-large");

    // A read that wants HTML ends with the head of anything else, and takes
    // HTML however its type is spelt.
    ReadLimits htmlOnly = limits(MiB);
    htmlOnly.htmlOnly = true;
    QTest::newRow("endless answer that is no HTML, HTML wanted")
        << streamed(ok200 + "Content-Type: application/octet-stream\r\n\r\n", filler(64 * KiB), endless)
        << htmlOnly << QByteArray() << KiB << SocketSlack << 1 << QStringLiteral("not-html");
    Response spelt = Response::html("<p>ok");
    spelt.headers = {{"Content-Type", "Text/HTML ; charset=UTF-8"}};
    QTest::newRow("HTML wanted and given") << spelt << htmlOnly << spelt.body << KiB << 0LL << 1 << QString();

    QTest::newRow("redirect loop") << Response::redirect(302, "/hostile.htm") << limits(MiB)
                                   << QByteArray() << 2 * KiB << 0LL
                                   << ReadLimits::pages().maxRedirects + 1 << QStringLiteral("redirects");
    Response silent;
    silent.neverAnswer = true;
    QTest::newRow("never answers") << silent << limits(MiB, 300) << QByteArray() << 0LL << 0LL << 1 << QStringLiteral("timeout");
    // Each piece well within the idle limit, the whole far beyond the deadline.
    Response trickle = Response::html(filler(100 * KiB));
    trickle.pieceSize = 10;
    trickle.pieceDelayMs = 50;
    QTest::newRow("not found") << Response::error(404) << limits(MiB) << QByteArray() << KiB << 0LL << 1
                               << QStringLiteral("404");
    Response drop;
    drop.dropConnection = true;
    QTest::newRow("connection dropped") << drop << limits(MiB) << QByteArray() << KiB << 0LL << 1
                                        << QStringLiteral("refused");
    QTest::newRow("trickles past the deadline")
        << trickle << limits(MiB, 1000, 400) << QByteArray() << KiB << 0LL << 1 << QStringLiteral("deadline");
}

void TestHostileServers::hostileAnswers()
{
    QFETCH(Response, response);
    QFETCH(ReadLimits, readLimits);
    QFETCH(QByteArray, expected);
    QFETCH(qint64, mostHeld);
    QFETCH(qint64, mostMade);
    QFETCH(int, requests);
    QFETCH(QString, reason);

    // How much of a streamed answer was made: the reader's reading drives it.
    auto made = std::make_shared<qint64>(0);
    if (response.rawStream) {
        response.rawStream = [make = response.rawStream, made](qint64 sent) {
            const QByteArray piece = make(sent);
            *made = sent + piece.size();
            return piece;
        };
    }
    TestHttpServer server;
    server.route("/hostile.htm", response);

    WebSession session;
    HttpTransfer transfer(session, readLimits);
    QSignalSpy spy(&transfer, &TransferComponent::FileReadComplete);
    const QByteArray url = server.url("/hostile.htm");
    transfer.StartFileRead(url, url, 1, "1");

    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, WaitMs);
    const Completion done = completionAt(spy, 0);
    if (expected.isEmpty()) {
        QVERIFY2(done.prop.value.isEmpty(), qPrintable(done.prop.value));
        QCOMPARE(filesIn(transfer.downloadFolder()), QStringList());
    } else {
        QCOMPARE(contentsOf(done.prop.value), expected);
    }
    QCOMPARE(ReadReasons::word(done.prop.reason, done.prop.status), reason);
    QCOMPARE(server.requestCount("/hostile.htm"), requests);
    QVERIFY2(session.mostBytesHeld() <= mostHeld, QByteArray::number(session.mostBytesHeld()).constData());
    if (mostMade > 0)
        QVERIFY2(*made <= mostMade, QByteArray::number(*made).constData());
}

void TestHostileServers::headsAreCountedPerRequest_data()
{
    QTest::addColumn<int>("firstLines");  // header lines of 100 bytes in the redirect
    QTest::addColumn<int>("secondLines"); // ... in the page it leads to
    QTest::addColumn<bool>("succeeds");

    // Each head of a redirect chain is held to the limit on its own, and the
    // read holds them all until it ends.
    QTest::newRow("two heads under the limit, together over it") << 400 << 400 << true;
    QTest::newRow("redirect head over the limit") << 700 << 10 << false;
    QTest::newRow("page head over the limit") << 10 << 700 << false;
}

void TestHostileServers::headsAreCountedPerRequest()
{
    QFETCH(int, firstLines);
    QFETCH(int, secondLines);
    QFETCH(bool, succeeds);

    const QByteArray redirectHead =
        "HTTP/1.1 302 Found\r\nLocation: /b.htm\r\nContent-Length: 0\r\n" + headerLines(firstLines) + "\r\n";
    const QByteArray pageHead = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n" + headerLines(secondLines) + "\r\n";
    TestHttpServer server;
    server.route("/a.htm", streamed(redirectHead, {}, 0));
    server.route("/b.htm", streamed(pageHead, {}, 0, "ok"));

    WebSession session;
    HttpTransfer transfer(session, limits(MiB));
    QSignalSpy spy(&transfer, &TransferComponent::FileReadComplete);
    transfer.StartFileRead(server.url("/a.htm"), server.url("/a.htm"), 1, "1");

    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, WaitMs);
    const Completion done = completionAt(spy, 0);
    if (succeeds) {
        QCOMPARE(contentsOf(done.prop.value), QByteArray("ok"));
        QCOMPARE(session.mostBytesHeld(), qint64(redirectHead.size() + pageHead.size()));
    } else {
        QVERIFY(done.prop.value.isEmpty());
        QCOMPARE(filesIn(transfer.downloadFolder()), QStringList());
        QVERIFY(session.mostBytesHeld() > HeadLimit);
        QVERIFY(session.mostBytesHeld() <= redirectHead.size() + HeadLimit + 100);
    }
}

void TestHostileServers::redirectToAnotherScheme_data()
{
    // LOCAL stands for a local file's absolute path, SERVER for the test server.
    QTest::addColumn<QByteArray>("location");

    QTest::newRow("file") << QByteArray("file://LOCAL");
    QTest::newRow("file on localhost") << QByteArray("file://localhostLOCAL");
    QTest::newRow("file without authority") << QByteArray("file:LOCAL");
    // An ftp client on the test server would wait for a greeting until the idle limit.
    QTest::newRow("ftp") << QByteArray("ftp://SERVERLOCAL");
    QTest::newRow("data") << QByteArray("data:text/html,<p>local secret</p>");
    QTest::newRow("javascript") << QByteArray("javascript:location='/page.htm'");
}

void TestHostileServers::redirectToAnotherScheme()
{
    QFETCH(QByteArray, location);

    QTemporaryDir local;
    QVERIFY(local.isValid());
    const QString secretPath = local.filePath(QStringLiteral("secret.htm"));
    {
        QFile secret(secretPath);
        QVERIFY(secret.open(QIODevice::WriteOnly));
        secret.write("<p>local secret</p>");
    }
    AccessWatch watch(secretPath);
    QVERIFY(watch.isValid());
    TestHttpServer server;
    location.replace("LOCAL", QFile::encodeName(secretPath));
    location.replace("SERVER", server.authority());
    server.route("/moved.htm", Response::redirect(301, location));
    server.route("/page.htm", Response::html("<p>a page</p>"));
    WebSession session;
    HttpTransfer transfer(session, limits(MiB));
    QSignalSpy spy(&transfer, &TransferComponent::FileReadComplete);
    transfer.StartFileRead(server.url("/moved.htm"), server.url("/moved.htm"), 1, "1");

    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, WaitMs);
    QVERIFY(completionAt(spy, 0).prop.value.isEmpty());
    QCOMPARE(completionAt(spy, 0).prop.reason, ReadReason::Scheme);
    QCOMPARE(filesIn(transfer.downloadFolder()), QStringList());
    // The location was not taken for a path on the same server either.
    QCOMPARE(server.requests().size(), 1);
    QVERIFY(!watch.touched());
    // The watch sees a read when there is one.
    QCOMPARE(contentsOf(secretPath), QByteArray("<p>local secret</p>"));
    QVERIFY(watch.touched());
}

QTEST_GUILESS_MAIN(TestHostileServers)
#include "tst_hostileservers.moc"
