#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>

#include <functional>
#include <utility>

class QSslConfiguration;
class QTcpServer;
class QTcpSocket;

// A small HTTP/1.1 server for tests, listening on 127.0.0.1 at a port of its own
// choosing from the moment it is built. It answers each request with the canned
// response routed to its path (and, if given, its host), and records every
// request it receives. It also serves as an http proxy: requests in absolute
// form ("GET http://www.a.test/x HTTP/1.1") are routed by the host they name, so
// with http_proxy pointing at url("") one server plays any number of hosts.
//
//     TestHttpServer server;
//     server.route("/a.htm", TestHttpServer::Response::html("<a href=b.htm>"));
//     server.route("www.b.test", "/", TestHttpServer::Response::redirect(301, "/x.htm"));
//     transfer.StartFileRead(server.url("/a.htm"), ...);
//
// A request matches, in this order: host and path with query, host and path,
// path with query, path; failing all, the fallback (404 unless set), which may
// also be a function that makes the response from the request, so one server
// can play thousands of hosts without a route for each.
class TestHttpServer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TestHttpServer)

public:
    using Header = std::pair<QByteArray, QByteArray>;

    struct Response
    {
        int status = 200;
        QByteArray reason; // empty: the usual text for the status
        QList<Header> headers;
        QByteArray body;
        // Transfer-Encoding: chunked, in chunks of pieceSize bytes (the whole body
        // in one chunk when pieceSize is 0).
        bool chunked = false;
        // When false (and not chunked), no Content-Length is sent and the end of the
        // body is marked by closing the connection. A Content-Length in `headers`
        // replaces the computed one.
        bool sendContentLength = true;
        // Body written in pieces of this size, pieceDelayMs apart: a slow server.
        int pieceSize = 0;
        int pieceDelayMs = 0;
        // At least 0: send the head and this many body bytes, then fall silent with
        // the connection left open: a stalled server.
        qint64 stallAfter = -1;
        bool neverAnswer = false;    // accept and read the request, never answer
        bool dropConnection = false; // close the connection instead of answering
        // Answer (or drop the connection) only this many milliseconds after the
        // request has arrived: a server slow to respond. Requests behind it on the
        // same connection wait their turn.
        int delayMs = 0;
        // When set, the answer is whatever this makes, taken piece by piece as the
        // socket drains (or one piece every pieceDelayMs) instead of a response
        // built from the fields above: raw bytes, status line and head included,
        // for servers that break the protocol. `sent` counts the bytes made so
        // far; an empty piece ends the answer and closes the connection.
        std::function<QByteArray(qint64 sent)> rawStream;

        static Response html(const QByteArray &body, int status = 200);
        static Response redirect(int status, const QByteArray &location);
        static Response error(int status);
    };

    struct Request
    {
        QByteArray method;
        QByteArray target; // as sent: "/a.htm?x" or, through a proxy, "http://host/a.htm?x"
        QByteArray host;   // lower case, without port
        QByteArray path;   // path and query, as sent
        QList<Header> headers;
        QByteArray body;

        // The value of the first header of that name (compared case-insensitively).
        QByteArray header(const QByteArray &name) const;
    };

    using Responder = std::function<Response(const Request &request)>;

    explicit TestHttpServer(QObject *parent = nullptr);
    // A server that answers over TLS with the certificate and key of `tls`;
    // its url() then begins with "https://".
    explicit TestHttpServer(const QSslConfiguration &tls, QObject *parent = nullptr);
    ~TestHttpServer() override;

    bool isListening() const;
    quint16 port() const;
    QByteArray authority() const; // "127.0.0.1:port"
    // "http://127.0.0.1:port" (or "https://...") followed by `path`.
    QByteArray url(const QByteArray &path) const;

    void route(const QByteArray &path, const Response &response);
    void route(const QByteArray &host, const QByteArray &path, const Response &response);
    void setFallback(const Response &response);
    void setFallback(Responder responder);

    QList<Request> requests() const;
    // How many requests asked for exactly this path (with query).
    int requestCount(const QByteArray &path) const;
    void clearRequests();
    int openConnections() const;

Q_SIGNALS:
    void requestReceived(const QByteArray &path);

private:
    struct Connection
    {
        QByteArray buffer;
        bool busy = false; // answering, or never going to answer
    };

    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void processBuffer(QTcpSocket *socket);
    Response responseFor(const Request &request) const;
    void answer(QTcpSocket *socket, const Request &request, const Response &response);
    void stream(QTcpSocket *socket, const Response &response);
    void finishAnswer(QTcpSocket *socket, bool closeAfter);

    void listen();

    QTcpServer *m_server;
    bool m_secure = false;
    QHash<QByteArray, Response> m_routes;
    Responder m_fallback;
    QList<Request> m_requests;
    QHash<QTcpSocket *, Connection> m_connections;
};
