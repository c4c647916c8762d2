#include "net/HttpTransfer.h"

#include "net/EnvironmentProxy.h"
#include "net/WebRequest.h"

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

namespace {

constexpr qint64 ReadChunkBytes = 64 * 1024;

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Bytes that may not stand for themselves in an address: blanks and controls,
// everything beyond ASCII (pages are 8-bit text), and the characters RFC 3986
// never allows unescaped.
bool needsEscape(unsigned char c)
{
    if (c <= 0x20 || c >= 0x7f)
        return true;
    switch (c) {
    case '"':
    case '<':
    case '>':
    case '\\':
    case '^':
    case '`':
    case '{':
    case '|':
    case '}':
        return true;
    default:
        return false;
    }
}

} // namespace

// One read in flight. The body goes straight to `file`; `received` counts the
// bytes of the current response so the size limit holds without Content-Length.
struct HttpTransfer::Transfer
{
    QString key;
    int fileType = 0;
    QByteArray url;
    QByteArray data;
    QFile file;
    QTimer idle;
    QTimer deadline;
    qint64 received = 0;
};

HttpTransfer::HttpTransfer(QObject *parent)
    : HttpTransfer(DefaultIdleTimeoutMs, DefaultMaxBodyBytes, DefaultMaxRedirects,
                   DefaultReadDeadlineMs, parent)
{
}

HttpTransfer::HttpTransfer(int idleTimeoutMs, qint64 maxBodyBytes, int maxRedirects,
                           int readDeadlineMs, QObject *parent)
    : TransferComponent(parent),
      m_idleTimeoutMs(idleTimeoutMs),
      m_maxBodyBytes(maxBodyBytes),
      m_maxRedirects(maxRedirects),
      m_readDeadlineMs(readDeadlineMs),
      m_network(new QNetworkAccessManager(this))
{
    m_network->setProxyFactory(new EnvironmentProxyFactory);
}

HttpTransfer::~HttpTransfer()
{
    // Reads still running end silently: nobody is left to take their files, and
    // the folder goes with everything in it.
    for (auto &[reply, transfer] : m_transfers) {
        reply->disconnect(this);
        reply->abort();
        delete reply;
        transfer->file.close();
    }
    m_transfers.clear();
}

QString HttpTransfer::StartFileRead(const QByteArray &url, const QByteArray &url2, int fileType,
                                    const QByteArray &data)
{
    Q_UNUSED(url2);
    const QString key = QString::number(++m_lastKey);

    const QUrl address = requestUrl(url);
    if (!address.isValid() || !ensureFolder()) {
        failLater(key, fileType, url, data);
        return key;
    }

    auto transfer = std::make_unique<Transfer>();
    transfer->key = key;
    transfer->fileType = fileType;
    transfer->url = url;
    transfer->data = data;
    transfer->file.setFileName(m_folder->filePath(key + QStringLiteral(".tmp")));
    if (!transfer->file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        failLater(key, fileType, url, data);
        return key;
    }

    QNetworkRequest request(address);
    request.setHeader(QNetworkRequest::UserAgentHeader, WebRequest::UserAgent);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(m_maxRedirects);

    QNetworkReply *reply = m_network->get(request);
    connect(reply, &QNetworkReply::metaDataChanged, this,
            [this, reply] { onMetaDataChanged(reply); });
    connect(reply, &QIODevice::readyRead, this, [this, reply] { onReadyRead(reply); });
    connect(reply, &QNetworkReply::redirected, this,
            [this, reply](const QUrl &target) { onRedirected(reply, target); });
    connect(reply, &QNetworkReply::downloadProgress, this, [this, reply] {
        if (Transfer *t = transferOf(reply))
            t->idle.start();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onFinished(reply); });

    transfer->idle.setSingleShot(true);
    transfer->idle.setInterval(m_idleTimeoutMs);
    connect(&transfer->idle, &QTimer::timeout, this, [this, reply] { complete(reply, false); });
    transfer->idle.start();
    transfer->deadline.setSingleShot(true);
    transfer->deadline.setInterval(m_readDeadlineMs);
    connect(&transfer->deadline, &QTimer::timeout, this, [this, reply] { complete(reply, false); });
    transfer->deadline.start();

    m_transfers.emplace(reply, std::move(transfer));
    return key;
}

QString HttpTransfer::downloadFolder() const
{
    return m_folder ? m_folder->path() : QString();
}

QUrl HttpTransfer::requestUrl(const QByteArray &url)
{
    // Links taken from pages often carry blanks or line breaks at either end.
    qsizetype begin = 0;
    qsizetype end = url.size();
    while (begin < end && static_cast<unsigned char>(url.at(begin)) <= 0x20)
        ++begin;
    while (end > begin && static_cast<unsigned char>(url.at(end - 1)) <= 0x20)
        --end;

    static constexpr char hex[] = "0123456789ABCDEF";
    QByteArray encoded;
    encoded.reserve((end - begin) * 3);
    for (qsizetype i = begin; i < end; ++i) {
        const auto c = static_cast<unsigned char>(url.at(i));
        const bool validEscape =
            c == '%' && i + 2 < end && isHexDigit(url.at(i + 1)) && isHexDigit(url.at(i + 2));
        if (needsEscape(c) || (c == '%' && !validEscape)) {
            encoded.append('%');
            encoded.append(hex[c >> 4]);
            encoded.append(hex[c & 0x0f]);
        } else {
            encoded.append(static_cast<char>(c));
        }
    }

    const QUrl result = QUrl::fromEncoded(encoded, QUrl::TolerantMode);
    if (!result.isValid() || !WebRequest::isWebScheme(result.scheme()) || result.host().isEmpty())
        return {};
    return result;
}

bool HttpTransfer::ensureFolder()
{
    if (m_folder && m_folder->isValid())
        return true;
    m_folder = std::make_unique<QTemporaryDir>(QDir::tempPath()
                                               + QStringLiteral("/trovewick-XXXXXX"));
    return m_folder->isValid();
}

void HttpTransfer::failLater(const QString &key, int fileType, const QByteArray &url,
                             const QByteArray &data)
{
    // The caller may still be handing out requests; the outcome comes from the
    // event loop like every other one.
    QTimer::singleShot(0, this, [this, key, fileType, url, data] {
        Q_EMIT FileReadComplete(key, fileType, AsyncProp{QString(), url}, data);
    });
}

HttpTransfer::Transfer *HttpTransfer::transferOf(QNetworkReply *reply) const
{
    const auto it = m_transfers.find(reply);
    return it == m_transfers.end() ? nullptr : it->second.get();
}

bool HttpTransfer::drain(QNetworkReply *reply, Transfer &transfer)
{
    while (reply->bytesAvailable() > 0) {
        const QByteArray chunk = reply->read(ReadChunkBytes);
        if (chunk.isEmpty())
            break;
        transfer.received += chunk.size();
        if (transfer.received > m_maxBodyBytes)
            return false;
        if (transfer.file.write(chunk) != chunk.size())
            return false;
    }
    return true;
}

void HttpTransfer::onMetaDataChanged(QNetworkReply *reply)
{
    Transfer *transfer = transferOf(reply);
    if (!transfer)
        return;
    transfer->idle.start();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return;
    const int code = status.toInt();
    // A redirect is followed or, if it cannot be, judged when the read ends.
    if (code >= 300 && code < 400)
        return;
    if (code < 200 || code >= 300) {
        complete(reply, false);
        return;
    }
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > m_maxBodyBytes)
        complete(reply, false);
}

void HttpTransfer::onReadyRead(QNetworkReply *reply)
{
    Transfer *transfer = transferOf(reply);
    if (!transfer)
        return;
    transfer->idle.start();
    if (!drain(reply, *transfer))
        complete(reply, false);
}

void HttpTransfer::onRedirected(QNetworkReply *reply, const QUrl &url)
{
    Transfer *transfer = transferOf(reply);
    if (!transfer)
        return;
    transfer->idle.start();
    if (!WebRequest::isWebScheme(url.scheme())) {
        complete(reply, false);
        return;
    }
    // Only the last response's body belongs in the file.
    transfer->file.resize(0);
    transfer->file.seek(0);
    transfer->received = 0;
}

void HttpTransfer::onFinished(QNetworkReply *reply)
{
    Transfer *transfer = transferOf(reply);
    if (!transfer)
        return;
    const int code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool success = reply->error() == QNetworkReply::NoError && code >= 200 && code < 300
                         && drain(reply, *transfer);
    complete(reply, success);
}

void HttpTransfer::complete(QNetworkReply *reply, bool success)
{
    const auto it = m_transfers.find(reply);
    if (it == m_transfers.end())
        return;
    const std::unique_ptr<Transfer> transfer = std::move(it->second);
    m_transfers.erase(it);

    transfer->idle.stop();
    transfer->deadline.stop();
    reply->disconnect(this);
    // Aborting from inside the reply's own signal upsets its bookkeeping, so the
    // reply is ended once control is back in the event loop.
    QMetaObject::invokeMethod(
        reply,
        [reply] {
            if (reply->isRunning())
                reply->abort();
            reply->deleteLater();
        },
        Qt::QueuedConnection);

    if (success && !transfer->file.flush())
        success = false;
    transfer->file.close();
    QString path;
    if (success)
        path = transfer->file.fileName();
    else
        transfer->file.remove();

    // Last, because the receiver may start new reads or take the component down.
    Q_EMIT FileReadComplete(transfer->key, transfer->fileType, AsyncProp{path, transfer->url},
                            transfer->data);
}
