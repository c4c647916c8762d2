#pragma once

#include "net/ReadLimits.h"
#include "net/TransferComponent.h"
#include "net/WebSession.h"

#include <memory>
#include <unordered_map>

class DownloadFolder;
class QUrl;

// The transfer component on the program's web session: each read streams the
// body of an http or https address into a file of its own in a private
// temporary folder and reports that file once the read is over. A read that
// cannot give a complete, successful body (an unusable address, a network
// error, a status other than 2xx, too many redirects or one to another scheme,
// a read that goes idle or passes its deadline, a body over the size limit,
// or, for a page read, an answer that is not HTML) reports an empty file path
// and leaves no file behind. A page read also hands its body's pieces to the
// caller's taker as they arrive, and every read reports the address it ended
// at after redirects (AsyncProp::finalUrl). Completions come from
// the event loop, never from inside StartFileRead; a receiver that wants the
// component gone uses deleteLater rather than delete.
class HttpTransfer final : public TransferComponent
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HttpTransfer)

public:
    // Reads through `session`, which must outlive the component.
    explicit HttpTransfer(WebSession &session, const ReadLimits &limits = ReadLimits::pages(),
                          QObject *parent = nullptr);
    ~HttpTransfer() override;

    // `url2` is not used: callers pass the same address twice.
    QString StartFileRead(const QByteArray &url, const QByteArray &url2, int fileType,
                          const QByteArray &data) override;
    QString StartPageRead(const QByteArray &url, const QByteArray &data, PagePieces pieces) override;

    // The folder the bodies are written to; empty until the first read needs it.
    // It and every file still in it go when the component goes; making it
    // removes the folders earlier runs left behind when they died.
    QString downloadFolder() const;

    // Makes the download folder now rather than for the first read, so that a
    // front end can refuse to start a crawl whose every read would fail; false
    // when it cannot be made, with the reason in folderError(). Reads try
    // again for themselves.
    bool makeDownloadFolder();
    QString folderError() const;

    // The address to request for the 8-bit text `url`, or an invalid QUrl when the
    // text is no usable http or https address with a host.
    static QUrl requestUrl(const QByteArray &url);

private:
    struct Transfer;

    QString start(const QByteArray &url, int fileType, const QByteArray &data, const ReadLimits &limits,
                  PagePieces pieces);
    void failLater(const QString &key, int fileType, const QByteArray &url,
                   const QByteArray &data, ReadReason reason);
    void complete(const QString &key, bool success, int status, ReadReason reason, const QByteArray &finalUrl);

    WebSession &m_session;
    const ReadLimits m_limits;
    std::unique_ptr<DownloadFolder> m_folder;
    std::unordered_map<QString, std::unique_ptr<Transfer>> m_transfers;
    quint64 m_lastKey = 0;
};
