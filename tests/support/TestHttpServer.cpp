#include "support/TestHttpServer.h"

#include <QHostAddress>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace {

// A streamed answer is made no further ahead of the socket than this.
constexpr qint64 StreamBacklogBytes = 64 * 1024;

QByteArray reasonFor(int status)
{
    switch (status) {
    case 200: return QByteArrayLiteral("OK");
    case 204: return QByteArrayLiteral("No Content");
    case 301: return QByteArrayLiteral("Moved Permanently");
    case 302: return QByteArrayLiteral("Found");
    case 303: return QByteArrayLiteral("See Other");
    case 304: return QByteArrayLiteral("Not Modified");
    case 307: return QByteArrayLiteral("Temporary Redirect");
    case 308: return QByteArrayLiteral("Permanent Redirect");
    case 400: return QByteArrayLiteral("Bad Request");
    case 403: return QByteArrayLiteral("Forbidden");
    case 404: return QByteArrayLiteral("Not Found");
    case 500: return QByteArrayLiteral("Internal Server Error");
    case 503: return QByteArrayLiteral("Service Unavailable");
    default: return QByteArrayLiteral("Status");
    }
}

// "www.a.test:8080" -> "www.a.test", "[::1]:80" -> "[::1]".
QByteArray hostWithoutPort(const QByteArray &authority)
{
    QByteArray host = authority.mid(authority.lastIndexOf('@') + 1);
    if (host.startsWith('[')) {
        const qsizetype close = host.indexOf(']');
        return close < 0 ? host : host.left(close + 1);
    }
    const qsizetype colon = host.indexOf(':');
    return (colon < 0 ? host : host.left(colon)).toLower();
}

QByteArray routeKey(const QByteArray &host, const QByteArray &path)
{
    return host.toLower() + '\n' + path;
}

bool hasHeader(const QList<TestHttpServer::Header> &headers, const QByteArray &name)
{
    for (const auto &header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

TestHttpServer::Response TestHttpServer::Response::html(const QByteArray &body, int status)
{
    Response response;
    response.status = status;
    response.headers = {{QByteArrayLiteral("Content-Type"), QByteArrayLiteral("text/html")}};
    response.body = body;
    return response;
}

TestHttpServer::Response TestHttpServer::Response::redirect(int status, const QByteArray &location)
{
    Response response = html(QByteArrayLiteral("<p>Moved to ") + location + "</p>", status);
    response.headers.append({QByteArrayLiteral("Location"), location});
    return response;
}

TestHttpServer::Response TestHttpServer::Response::error(int status)
{
    return html("<h1>" + QByteArray::number(status) + ' ' + reasonFor(status) + "</h1>", status);
}

QByteArray TestHttpServer::Request::header(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return {};
}

TestHttpServer::TestHttpServer(QObject *parent)
    : QObject(parent), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &TestHttpServer::onNewConnection);
    listen();
}

TestHttpServer::TestHttpServer(const QSslConfiguration &tls, QObject *parent)
    : QObject(parent), m_secure(true)
{
    auto *server = new QSslServer(this);
    server->setSslConfiguration(tls);
    m_server = server;
    // A secure connection is offered only once its handshake is done.
    connect(server, &QSslServer::pendingConnectionAvailable, this, &TestHttpServer::onNewConnection);
    listen();
}

void TestHttpServer::listen()
{
    setFallback(Response::error(404));
    m_server->listen(QHostAddress::LocalHost, 0);
}

TestHttpServer::~TestHttpServer()
{
    // The sockets' own signals must not reach this object while it is half gone.
    const auto sockets = m_connections.keys();
    for (QTcpSocket *socket : sockets) {
        socket->disconnect(this);
        delete socket;
    }
    m_connections.clear();
    m_server->close();
}

bool TestHttpServer::isListening() const
{
    return m_server->isListening();
}

quint16 TestHttpServer::port() const
{
    return m_server->serverPort();
}

QByteArray TestHttpServer::authority() const
{
    return QByteArrayLiteral("127.0.0.1:") + QByteArray::number(port());
}

QByteArray TestHttpServer::url(const QByteArray &path) const
{
    return (m_secure ? QByteArrayLiteral("https://") : QByteArrayLiteral("http://")) + authority() + path;
}

void TestHttpServer::route(const QByteArray &path, const Response &response)
{
    m_routes.insert(routeKey({}, path), response);
}

void TestHttpServer::route(const QByteArray &host, const QByteArray &path,
                           const Response &response)
{
    m_routes.insert(routeKey(host, path), response);
}

void TestHttpServer::setFallback(const Response &response)
{
    m_fallback = [response](const Request &) { return response; };
}

void TestHttpServer::setFallback(Responder responder)
{
    m_fallback = std::move(responder);
}

QList<TestHttpServer::Request> TestHttpServer::requests() const
{
    return m_requests;
}

int TestHttpServer::requestCount(const QByteArray &path) const
{
    int count = 0;
    for (const Request &request : m_requests) {
        if (request.path == path)
            ++count;
    }
    return count;
}

void TestHttpServer::clearRequests()
{
    m_requests.clear();
}

int TestHttpServer::openConnections() const
{
    return int(m_connections.size());
}

void TestHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        m_connections.insert(socket, Connection{});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_connections.remove(socket);
            socket->disconnect(this);
            socket->deleteLater();
        });
    }
}

void TestHttpServer::onReadyRead(QTcpSocket *socket)
{
    const auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    it->buffer.append(socket->readAll());
    processBuffer(socket);
}

void TestHttpServer::processBuffer(QTcpSocket *socket)
{
    for (;;) {
        auto it = m_connections.find(socket);
        if (it == m_connections.end() || it->busy)
            return;
        QByteArray &buffer = it->buffer;
        const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;

        Request request;
        const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        request.method = requestLine.value(0);
        request.target = requestLine.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
        }
        const qsizetype bodyLength = request.header("Content-Length").toLongLong();
        if (buffer.size() < headEnd + 4 + bodyLength)
            return;
        request.body = buffer.mid(headEnd + 4, bodyLength);
        buffer.remove(0, headEnd + 4 + bodyLength);

        const qsizetype schemeEnd = request.target.indexOf("://");
        if (!request.target.startsWith('/') && schemeEnd > 0) {
            // Absolute form: this server is being used as a proxy.
            const qsizetype authorityStart = schemeEnd + 3;
            qsizetype pathStart = authorityStart;
            while (pathStart < request.target.size() && request.target.at(pathStart) != '/'
                   && request.target.at(pathStart) != '?')
                ++pathStart;
            request.host = hostWithoutPort(
                request.target.mid(authorityStart, pathStart - authorityStart));
            request.path = request.target.mid(pathStart);
            if (request.path.isEmpty() || request.path.startsWith('?'))
                request.path.prepend('/');
        } else {
            request.host = hostWithoutPort(request.header("Host"));
            request.path = request.target;
        }

        it->busy = true;
        m_requests.append(request);
        const Response response = responseFor(request);
        Q_EMIT requestReceived(request.path);
        answer(socket, request, response);
    }
}

TestHttpServer::Response TestHttpServer::responseFor(const Request &request) const
{
    const QByteArray pathOnly = request.path.left(request.path.indexOf('?'));
    const QByteArray keys[] = {routeKey(request.host, request.path),
                               routeKey(request.host, pathOnly), routeKey({}, request.path),
                               routeKey({}, pathOnly)};
    for (const QByteArray &key : keys) {
        const auto it = m_routes.constFind(key);
        if (it != m_routes.constEnd())
            return *it;
    }
    return m_fallback(request);
}

void TestHttpServer::answer(QTcpSocket *socket, const Request &request, const Response &response)
{
    if (response.delayMs > 0) {
        Response later = response;
        later.delayMs = 0;
        // Tied to the socket: a connection closed meanwhile gets no answer.
        QTimer::singleShot(response.delayMs, socket, [this, socket, request, later] {
            answer(socket, request, later);
            processBuffer(socket);
        });
        return;
    }
    if (response.neverAnswer)
        return;
    if (response.dropConnection) {
        socket->disconnectFromHost();
        return;
    }
    if (response.rawStream) {
        stream(socket, response);
        return;
    }

    const bool stall = response.stallAfter >= 0;
    const bool closeAfter = (!response.chunked && !response.sendContentLength)
                            || request.header("Connection").compare("close", Qt::CaseInsensitive)
                                       == 0;

    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' '
                      + (response.reason.isEmpty() ? reasonFor(response.status) : response.reason)
                      + "\r\n";
    for (const auto &header : response.headers)
        head += header.first + ": " + header.second + "\r\n";
    if (response.chunked)
        head += "Transfer-Encoding: chunked\r\n";
    else if (response.sendContentLength && !hasHeader(response.headers, "Content-Length"))
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    if (closeAfter)
        head += "Connection: close\r\n";
    head += "\r\n";

    const QByteArray body = request.method == "HEAD" ? QByteArray()
                            : stall                 ? response.body.left(response.stallAfter)
                                                    : response.body;
    const qsizetype pieceSize = response.pieceSize > 0 ? response.pieceSize : body.size();
    auto pieces = std::make_shared<QList<QByteArray>>();
    for (qsizetype at = 0; at < body.size(); at += pieceSize) {
        const QByteArray piece = body.mid(at, pieceSize);
        pieces->append(response.chunked ? QByteArray::number(piece.size(), 16) + "\r\n" + piece
                                                  + "\r\n"
                                        : piece);
    }
    if (response.chunked && !stall)
        pieces->append(QByteArrayLiteral("0\r\n\r\n"));

    socket->write(head);
    if (response.pieceDelayMs <= 0) {
        for (const QByteArray &piece : std::as_const(*pieces))
            socket->write(piece);
        if (!stall)
            finishAnswer(socket, closeAfter);
        return;
    }

    auto *timer = new QTimer(socket);
    timer->setInterval(response.pieceDelayMs);
    connect(timer, &QTimer::timeout, this, [this, socket, timer, pieces, stall, closeAfter] {
        if (!pieces->isEmpty()) {
            socket->write(pieces->takeFirst());
            return;
        }
        timer->deleteLater();
        timer->disconnect(this);
        if (!stall) {
            finishAnswer(socket, closeAfter);
            processBuffer(socket);
        }
    });
    timer->start();
}

void TestHttpServer::stream(QTcpSocket *socket, const Response &response)
{
    // Made only as the socket takes it, so an answer of any length holds little
    // memory here, and a client that stops reading stops the making.
    struct Progress
    {
        std::function<QByteArray(qint64)> make;
        qint64 sent = 0;
        bool done = false;
    };
    auto progress = std::make_shared<Progress>(Progress{response.rawStream});
    auto pump = [socket, progress](bool onePiece) {
        while (!progress->done && socket->bytesToWrite() < StreamBacklogBytes) {
            const QByteArray piece = progress->make(progress->sent);
            if (piece.isEmpty()) {
                progress->done = true;
                socket->disconnectFromHost();
                return;
            }
            progress->sent += piece.size();
            socket->write(piece);
            if (onePiece)
                return;
        }
    };

    if (response.pieceDelayMs > 0) {
        auto *timer = new QTimer(socket);
        timer->setInterval(response.pieceDelayMs);
        connect(timer, &QTimer::timeout, socket, [pump, progress, timer] {
            pump(true);
            if (progress->done)
                timer->deleteLater();
        });
        timer->start();
        return;
    }
    connect(socket, &QTcpSocket::bytesWritten, socket, [pump] { pump(false); });
    pump(false);
}

void TestHttpServer::finishAnswer(QTcpSocket *socket, bool closeAfter)
{
    if (closeAfter) {
        socket->disconnectFromHost();
        return;
    }
    const auto it = m_connections.find(socket);
    if (it != m_connections.end())
        it->busy = false;
}
