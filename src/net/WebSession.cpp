#include "net/WebSession.h"

#include "net/CurlReason.h"
#include "net/WebRequest.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QUrl>

#include <curl/curl.h>

#include <algorithm>
#include <climits>
#include <mutex>
#include <utility>

namespace {

// Bytes asked of the socket per receive; a typical page arrives in one or two.
constexpr long ReceiveBufferBytes = 64 * 1024;
// An error page this small is read to its end and thrown away, so its
// connection can serve the next read; a larger one ends the read at once.
constexpr qint64 DrainedErrorBytes = 64 * 1024;
// Connections kept open for reuse, in use or idle, across every host: a few
// more than a crawl keeps reads in flight, so a crawl across thousands of hosts
// holds no more sockets and connection state than one across a single host.
constexpr long KeptConnections = 8;
// Seconds a host name's addresses are kept. Reads of one host reuse its kept
// connection and need no look-up; a short life keeps the cache from holding
// every host a long crawl has met, and keeps its pruning, which walks every
// entry, cheap.
constexpr long NameCacheSeconds = 2;

void initialiseCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Local servers are never reached through a proxy, whatever the environment
// says; everything else follows no_proxy the way curl reads it. A lone "*"
// must stay alone to mean every host.
QByteArray noProxyHosts()
{
    QByteArray listed = qgetenv("no_proxy").trimmed();
    if (listed.isEmpty())
        listed = qgetenv("NO_PROXY").trimmed();
    if (listed == "*")
        return listed;
    if (!listed.isEmpty())
        listed.append(',');
    return listed + "localhost,127.0.0.0/8,::1";
}

// Whether an answer of this Content-Type is a page to scan. An answer that
// names no type is taken as one: servers of plain files often leave it out,
// and scanning a body that is not HTML finds nothing wrong, just nothing.
bool isHtmlType(const char *contentType)
{
    if (!contentType)
        return true;
    QByteArrayView type(contentType);
    const qsizetype semicolon = type.indexOf(';');
    if (semicolon >= 0)
        type = type.first(semicolon);
    type = type.trimmed();
    return type.isEmpty() || type.compare("text/html", Qt::CaseInsensitive) == 0
           || type.compare("application/xhtml+xml", Qt::CaseInsensitive) == 0;
}

// The address the read last asked for, redirects followed; valid while the
// handle lives.
QByteArrayView effectiveUrl(CURL *easy)
{
    const char *url = nullptr;
    curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &url);
    return QByteArrayView(url);
}

} // namespace

// One read in flight: its easy handle and what to do with what arrives.
struct WebSession::Read
{
    ReadId id = 0;
    CURL *easy = nullptr;
    ReadLimits limits;
    BodySink sink;
    Finished finished;
    WebSession *session = nullptr;
    qint64 received = 0;
    qint64 headerBytes = 0; // of the request being answered (interim answers included)
    qint64 heldBytes = 0;   // every head of the read, which curl keeps until it ends
    bool headEnded = true;  // the next header line may start another response
    bool interim = false;   // the last status line was a 1xx one
    // Why the session ended the read, if it did.
    SessionRefusal refusal = SessionRefusal::None;
    qint64 startedAt = 0; // on the session's clock, for the deadline
    // When the read last received a byte, on the session's clock. Curl's own
    // low-speed check would end a read that keeps trickling in slower than a
    // byte a second; the idle limit ends only one that has gone quiet.
    qint64 lastByteAt = 0;
    QTimer idleCheck;

    ~Read()
    {
        if (easy)
            curl_easy_cleanup(easy);
    }

    // Curl hands over the head line by line and keeps every line of every
    // response of the read (the redirects' too) until the read ends, so each
    // head is counted as it comes and one that grows past the limit ends the
    // read before curl holds more.
    static size_t onHeader(char *data, size_t size, size_t count, void *userData)
    {
        auto *read = static_cast<Read *>(userData);
        const size_t bytes = size * count;
        const QByteArrayView line(data, qsizetype(bytes));
        // A status line right after a finished head starts another response. The
        // target of a followed redirect is counted afresh; the final answer after
        // an interim 1xx one is the same request going on, and so is anything
        // else, such as a trailer after a chunked body.
        if (read->headEnded) {
            read->headEnded = false;
            if (line.startsWith("HTTP/")) {
                if (!read->interim)
                    read->headerBytes = 0;
                const qsizetype blank = line.indexOf(' ');
                read->interim = blank > 0 && blank + 1 < line.size() && line[blank + 1] == '1';
            }
        }
        WebSession &session = *read->session;
        read->lastByteAt = session.m_clock.elapsed();
        read->headerBytes += qint64(bytes);
        read->heldBytes += qint64(bytes);
        session.m_mostBytesHeld = std::max(session.m_mostBytesHeld, read->heldBytes);
        if (read->headerBytes > read->limits.maxHeaderBytes) {
            read->refusal = SessionRefusal::HeadTooLarge;
            return 0;
        }
        if (line == "\r\n" || line == "\n") {
            read->headEnded = true;
            if (read->limits.htmlOnly && !read->wantedAnswer())
                return 0;
        }
        return bytes;
    }

    // At the end of a head: false, with the refusal set, when the read wants
    // HTML only and this is a final 2xx answer of another type. Its body is then
    // never asked for.
    bool wantedAnswer()
    {
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        if (status < 200 || status >= 300)
            return true;
        const char *contentType = nullptr;
        curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &contentType);
        if (isHtmlType(contentType))
            return true;
        refusal = SessionRefusal::NotHtml;
        return false;
    }

    static size_t onBody(char *data, size_t size, size_t count, void *userData)
    {
        auto *read = static_cast<Read *>(userData);
        const size_t bytes = size * count;
        read->lastByteAt = read->session->m_clock.elapsed();
        long status = 0;
        curl_easy_getinfo(read->easy, CURLINFO_RESPONSE_CODE, &status);
        // Curl drops the body of a redirect it follows without handing it over;
        // what comes here with another status than 2xx (a 3xx without a usable
        // location among them) is an error page.
        read->received += qint64(bytes);
        if (status < 200 || status >= 300) {
            read->refusal = SessionRefusal::ErrorPage;
            return read->received <= DrainedErrorBytes ? bytes : 0;
        }
        if (read->received > read->limits.maxBodyBytes) {
            read->refusal = SessionRefusal::BodyTooLarge;
            return 0;
        }
        if (!read->sink(QByteArrayView(data, qsizetype(bytes)))) {
            read->refusal = SessionRefusal::SinkFailed;
            return 0;
        }
        return bytes;
    }
};

// The two notifiers curl may ask for on one socket.
struct WebSession::SocketWatch
{
    std::unique_ptr<QSocketNotifier> readable;
    std::unique_ptr<QSocketNotifier> writable;
};

WebSession::WebSession(QObject *parent) : QObject(parent)
{
    initialiseCurlOnce();
    m_multi = curl_multi_init();
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &WebSession::onSocket);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &WebSession::onTimer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_MAXCONNECTS, KeptConnections);

    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { drive(CURL_SOCKET_TIMEOUT, 0); });
    m_clock.start();
}

WebSession::~WebSession()
{
    for (auto &[id, read] : m_reads)
        curl_multi_remove_handle(m_multi, read->easy);
    m_reads.clear();
    curl_multi_cleanup(m_multi);
}

WebSession::ReadId WebSession::read(const QUrl &url, const ReadLimits &limits, BodySink sink,
                                    Finished finished)
{
    const ReadId id = ++m_lastId;
    auto read = std::make_unique<Read>();
    read->id = id;
    read->limits = limits;
    read->sink = std::move(sink);
    read->finished = std::move(finished);
    read->session = this;
    read->easy = curl_easy_init();

    CURL *easy = read->easy;
    curl_easy_setopt(easy, CURLOPT_URL, url.toEncoded().constData());
    curl_easy_setopt(easy, CURLOPT_PRIVATE, read.get());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_DNS_CACHE_TIMEOUT, NameCacheSeconds);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, WebRequest::UserAgent.constData());
    // The scheme guards are the one thing a read may not go without: a libcurl
    // that does not know them (older than 7.85) reads nothing at all.
    const bool guarded = curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK
                         && curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK;
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, long(limits.maxRedirects));
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(limits.maxBodyBytes));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(limits.idleTimeoutMs));
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, long(limits.deadlineMs));
    curl_easy_setopt(easy, CURLOPT_NOPROXY, noProxyHosts().constData());
    // libcurl leaves this variable to its tool; the program honours it the same way.
    const QByteArray caBundle = qgetenv("CURL_CA_BUNDLE");
    if (!caBundle.isEmpty())
        curl_easy_setopt(easy, CURLOPT_CAINFO, caBundle.constData());
    // Pages may come compressed; the size cap counts the bytes as delivered.
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, ReceiveBufferBytes);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Read::onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, read.get());
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Read::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, read.get());

    // The idle time counts from the request on: connecting and waiting for the
    // answer are as idle as a body that stops.
    read->lastByteAt = m_clock.elapsed();
    read->startedAt = read->lastByteAt;
    read->idleCheck.setSingleShot(true);
    connect(&read->idleCheck, &QTimer::timeout, this, [this, id] { checkIdle(id); });
    read->idleCheck.start(limits.idleTimeoutMs);

    Read &added = *read;
    m_reads.emplace(id, std::move(read));
    // Adding a handle only schedules it: curl asks for a timer, and the read
    // starts once control is back in the event loop.
    if (!easy || !guarded || curl_multi_add_handle(m_multi, easy) != CURLM_OK) {
        // Out of memory, or a libcurl without the scheme guards: the read
        // fails, later, like any other.
        added.refusal = SessionRefusal::NotStarted;
        QTimer::singleShot(0, this, [this, id] { failUnstarted(id); });
    }
    return id;
}

void WebSession::failUnstarted(ReadId id)
{
    const auto it = m_reads.find(id);
    if (it == m_reads.end())
        return;
    const Finished finished = std::move(it->second->finished);
    m_reads.erase(it);
    if (finished)
        finished(false, 0, curlReason(CURLE_OK, SessionRefusal::NotStarted, 0, false), QByteArray());
}

void WebSession::checkIdle(ReadId id)
{
    const auto it = m_reads.find(id);
    if (it == m_reads.end())
        return;
    Read &read = *it->second;
    // Bytes move the mark without restarting the timer (a restart for every
    // piece would cost more than the piece), so the timer wakes once per idle
    // period and waits on for what is left of it since the last byte.
    const qint64 quietMs = m_clock.elapsed() - read.lastByteAt;
    if (quietMs < read.limits.idleTimeoutMs) {
        read.idleCheck.start(int(read.limits.idleTimeoutMs - quietMs));
        return;
    }
    long status = 0;
    curl_easy_getinfo(read.easy, CURLINFO_RESPONSE_CODE, &status);
    const ReadReason reason = curlReason(CURLE_OK, SessionRefusal::Idle, int(status), false);
    const QByteArray finalUrl = effectiveUrl(read.easy).toByteArray();
    const Finished finished = std::move(read.finished);
    endRead(id);
    if (finished)
        finished(false, int(status), reason, finalUrl);
}

QByteArrayView WebSession::currentUrl(ReadId id) const
{
    const auto it = m_reads.find(id);
    return it == m_reads.end() ? QByteArrayView() : effectiveUrl(it->second->easy);
}

void WebSession::cancel(ReadId id)
{
    endRead(id);
}

void WebSession::endRead(ReadId id)
{
    const auto it = m_reads.find(id);
    if (it == m_reads.end())
        return;
    const std::unique_ptr<Read> read = std::move(it->second);
    m_reads.erase(it);
    curl_multi_remove_handle(m_multi, read->easy);
}

int WebSession::onSocket(void *, int socket, int what, void *session, void *)
{
    static_cast<WebSession *>(session)->watchSocket(socket, what);
    return 0;
}

int WebSession::onTimer(void *, long timeoutMs, void *session)
{
    QTimer &timer = static_cast<WebSession *>(session)->m_timer;
    if (timeoutMs < 0)
        timer.stop();
    else
        timer.start(int(std::min(timeoutMs, long(INT_MAX))));
    return 0;
}

void WebSession::watchSocket(int socket, int what)
{
    std::unique_ptr<SocketWatch> &watch = m_sockets[socket];
    if (!watch) {
        // A socket number curl closed comes back for a later connection, so the
        // notifiers are kept and re-armed rather than made anew.
        watch = std::make_unique<SocketWatch>();
        watch->readable = std::make_unique<QSocketNotifier>(qintptr(socket), QSocketNotifier::Read);
        watch->writable = std::make_unique<QSocketNotifier>(qintptr(socket), QSocketNotifier::Write);
        connect(watch->readable.get(), &QSocketNotifier::activated, this,
                [this, socket] { drive(socket, CURL_CSELECT_IN); });
        connect(watch->writable.get(), &QSocketNotifier::activated, this,
                [this, socket] { drive(socket, CURL_CSELECT_OUT); });
    }
    watch->readable->setEnabled(what == CURL_POLL_IN || what == CURL_POLL_INOUT);
    watch->writable->setEnabled(what == CURL_POLL_OUT || what == CURL_POLL_INOUT);
}

void WebSession::drive(int socket, int eventMask)
{
    int running = 0;
    curl_multi_socket_action(m_multi, curl_socket_t(socket), eventMask, &running);
    collectFinished();
}

void WebSession::collectFinished()
{
    // One read at a time: it is taken out of curl before its caller is told,
    // and the caller may start or cancel reads, or end the session, before the
    // next one is looked at (curl forgets the outcome of a read cancelled here).
    const QPointer<WebSession> alive(this);
    int queued = 0;
    while (CURLMsg *message = curl_multi_info_read(m_multi, &queued)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        Read *read = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &read);
        long status = 0;
        curl_easy_getinfo(message->easy_handle, CURLINFO_RESPONSE_CODE, &status);
        const bool ok = message->data.result == CURLE_OK && read->refusal == SessionRefusal::None
                        && status >= 200 && status < 300;
        const bool pastDeadline = m_clock.elapsed() - read->startedAt >= read->limits.deadlineMs;
        const ReadReason reason =
            ok ? ReadReason::None : curlReason(message->data.result, read->refusal, int(status), pastDeadline);
        const QByteArray finalUrl = effectiveUrl(message->easy_handle).toByteArray();
        const Finished finished = std::move(read->finished);
        endRead(read->id);
        if (finished)
            finished(ok, int(status), reason, finalUrl);
        if (!alive)
            return;
    }
}
