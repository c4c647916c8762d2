#pragma once

#include "net/ReadLimits.h"
#include "net/ReadReason.h"

#include <QByteArrayView>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <unordered_map>

class QSocketNotifier;
class QUrl;

// The one place the program reads the web: bounded http and https reads on
// libcurl's multi interface, driven from the Qt event loop (socket notifiers
// and one timer), so everything still runs on the thread that owns the session.
// A few connections are kept and reused between reads, however many hosts a
// crawl meets.
//
// Every read carries the same guards: the User-Agent, redirects only to http
// and https and at most ReadLimits::maxRedirects of them, only a 2xx final
// response counts, the idle time (no byte for that long; a slow server that
// keeps sending is not cut off), the overall deadline and the head and body
// size caps of its ReadLimits, and the proxy the environment names (http_proxy,
// https_proxy, all_proxy, no_proxy; loopback hosts are always read directly).
// Certificates are verified against the system's authorities, or, as the curl
// tool does, against the bundle CURL_CA_BUNDLE names (a test's own authority).
class WebSession final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WebSession)

public:
    using ReadId = quint64;
    // Takes each piece of a successful response's body as it arrives; returning
    // false ends the read as failed.
    using BodySink = std::function<bool(QByteArrayView piece)>;
    // Called exactly once per read, from the event loop, never from inside
    // read(): true when the whole body arrived within the limits, the HTTP
    // status of the last answer (0 when none came), why the read failed (None
    // when it did not) and the address last asked for, after any redirects
    // (empty when curl never got that far).
    using Finished = std::function<void(bool ok, int status, ReadReason reason, const QByteArray &finalUrl)>;

    explicit WebSession(QObject *parent = nullptr);
    ~WebSession() override;

    // Starts reading `url`, which must be a valid http or https address.
    ReadId read(const QUrl &url, const ReadLimits &limits, BodySink sink, Finished finished);

    // Ends a read at once; its Finished is not called.
    void cancel(ReadId id);

    // The address a read in flight is asking for now, after the redirects
    // followed so far; valid until control returns to the session. Empty for a
    // read that is not in flight.
    QByteArrayView currentUrl(ReadId id) const;

    // Reads started and not yet finished or cancelled.
    int readsInFlight() const { return int(m_reads.size()); }

    // The most bytes any one read of this session has held in memory at once.
    // Body pieces go to the sink (or, for an error page, are dropped) in the
    // call that brings them, so what a read holds is the heads of its
    // responses, which curl keeps until the read ends: at most
    // ReadLimits::maxHeaderBytes for each request of a redirect chain.
    qint64 mostBytesHeld() const { return m_mostBytesHeld; }

private:
    struct Read;
    struct SocketWatch;

    static int onSocket(void *easy, int socket, int what, void *session, void *socketData);
    static int onTimer(void *multi, long timeoutMs, void *session);
    void watchSocket(int socket, int what);
    void drive(int socket, int eventMask);
    void collectFinished();
    void failUnstarted(ReadId id);
    void checkIdle(ReadId id);
    void endRead(ReadId id);

    void *m_multi = nullptr; // CURLM
    QTimer m_timer;
    QElapsedTimer m_clock; // the reads' idle time is measured on it
    std::unordered_map<int, std::unique_ptr<SocketWatch>> m_sockets;
    std::unordered_map<ReadId, std::unique_ptr<Read>> m_reads;
    ReadId m_lastId = 0;
    qint64 m_mostBytesHeld = 0;
};
