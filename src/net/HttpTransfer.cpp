#include "net/HttpTransfer.h"

#include "common/AsciiText.h"
#include "net/DownloadFolder.h"
#include "net/WebRequest.h"

#include <QFile>
#include <QTimer>
#include <QUrl>

#include <utility>

namespace {

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

// One read in flight: the body goes straight to `pieces` if set, else to `file`.
struct HttpTransfer::Transfer
{
    QString key;
    int fileType = 0;
    QByteArray url;
    QByteArray data;
    QFile file;
    WebSession::ReadId read = 0;
    PagePieces pieces;
};

HttpTransfer::HttpTransfer(WebSession &session, const ReadLimits &limits, QObject *parent)
    : TransferComponent(parent), m_session(session), m_limits(limits)
{
}

HttpTransfer::~HttpTransfer()
{
    // Reads still running end silently: nobody is left to take their files, and
    // the folder goes with everything in it.
    for (auto &[key, transfer] : m_transfers)
        m_session.cancel(transfer->read);
    m_transfers.clear();
}

QString HttpTransfer::StartFileRead(const QByteArray &url, const QByteArray &url2, int fileType,
                                    const QByteArray &data)
{
    Q_UNUSED(url2);
    return start(url, fileType, data, m_limits, {});
}

QString HttpTransfer::StartPageRead(const QByteArray &url, const QByteArray &data, PagePieces pieces)
{
    ReadLimits limits = m_limits;
    limits.htmlOnly = true;
    return start(url, 1, data, limits, std::move(pieces));
}

QString HttpTransfer::start(const QByteArray &url, int fileType, const QByteArray &data, const ReadLimits &limits,
                            PagePieces pieces)
{
    const QString key = QString::number(++m_lastKey);

    const QUrl address = requestUrl(url);
    if (!address.isValid()) {
        failLater(key, fileType, url, data, ReadReason::Scheme);
        return key;
    }
    // No room for the download here fails the read, but for no reason of the web's.
    if (!makeDownloadFolder()) {
        failLater(key, fileType, url, data, ReadReason::None);
        return key;
    }

    auto transfer = std::make_unique<Transfer>();
    transfer->key = key;
    transfer->fileType = fileType;
    transfer->url = url;
    transfer->data = data;
    transfer->pieces = std::move(pieces);
    // A page read whose reader takes the pieces keeps no copy of them, since
    // nobody would read it again.
    if (!transfer->pieces) {
        transfer->file.setFileName(m_folder->filePath(key + QStringLiteral(".tmp")));
        // Unbuffered: each piece the session hands over is one write.
        if (!transfer->file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
            failLater(key, fileType, url, data, ReadReason::None);
            return key;
        }
    }

    Transfer *const current = transfer.get();
    transfer->read = m_session.read(
        address, limits,
        [this, current](QByteArrayView piece) {
            if (current->pieces) {
                current->pieces(m_session.currentUrl(current->read), piece);
                return true;
            }
            return current->file.write(piece.data(), piece.size()) == piece.size();
        },
        [this, key](bool ok, int status, ReadReason reason, const QByteArray &finalUrl) {
            complete(key, ok, status, reason, finalUrl);
        });
    m_transfers.emplace(key, std::move(transfer));
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

    const QByteArrayView text = QByteArrayView(url).first(end);
    QByteArray encoded;
    encoded.reserve((end - begin) * 3);
    for (qsizetype i = begin; i < end; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (needsEscape(c) || (c == '%' && AsciiText::percentEscapeAt(text, i) < 0)) {
            AsciiText::appendPercentEscape(encoded, c);
        } else {
            encoded.append(static_cast<char>(c));
        }
    }

    const QUrl result = QUrl::fromEncoded(encoded, QUrl::TolerantMode);
    if (!result.isValid() || !WebRequest::isWebScheme(result.scheme()) || result.host().isEmpty())
        return {};
    return result;
}

bool HttpTransfer::makeDownloadFolder()
{
    if (m_folder && m_folder->isValid())
        return true;
    m_folder = std::make_unique<DownloadFolder>();
    return m_folder->isValid();
}

QString HttpTransfer::folderError() const
{
    return m_folder ? m_folder->errorString() : QString();
}

void HttpTransfer::failLater(const QString &key, int fileType, const QByteArray &url,
                             const QByteArray &data, ReadReason reason)
{
    // The caller may still be handing out requests; the outcome comes from the
    // event loop like every other one.
    QTimer::singleShot(0, this, [this, key, fileType, url, data, reason] {
        Q_EMIT FileReadComplete(key, fileType, AsyncProp{QString(), url, 0, reason}, data);
    });
}

void HttpTransfer::complete(const QString &key, bool success, int status, ReadReason reason,
                            const QByteArray &finalUrl)
{
    const auto it = m_transfers.find(key);
    if (it == m_transfers.end())
        return;
    const std::unique_ptr<Transfer> transfer = std::move(it->second);
    m_transfers.erase(it);

    const bool streamed = bool(transfer->pieces);
    QString path;
    if (!streamed) {
        if (success && !transfer->file.flush())
            success = false;
        transfer->file.close();
        if (success)
            path = transfer->file.fileName();
        else
            transfer->file.remove();
    }

    // Last, because the receiver may start new reads or take the component down.
    Q_EMIT FileReadComplete(
        transfer->key, transfer->fileType,
        AsyncProp{path, transfer->url, status, success ? ReadReason::None : reason, finalUrl, streamed && success}, transfer->data);
}
