#pragma once

#include "net/TransferComponent.h"

#include <QtGlobal>

#include <memory>
#include <unordered_map>

class QNetworkAccessManager;
class QNetworkReply;
class QTemporaryDir;
class QUrl;

// The transfer component on Qt Network: each read streams the body of an http or
// https address into a file of its own in a private temporary folder and reports
// that file once the read is over. A read that cannot give a complete, successful
// body (an unusable address, a network error, a status other than 2xx, too many
// redirects, a read that goes idle, a body over the size limit) reports an empty
// file path and leaves no file behind. Completions are emitted while the read's
// reply is still signalling, so a receiver that wants the component gone uses
// deleteLater rather than delete.
class HttpTransfer final : public TransferComponent
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HttpTransfer)

public:
    // A read that receives nothing for this long is given up.
    static constexpr int DefaultIdleTimeoutMs = 30'000;
    // Pages are parsed whole; a body beyond this is no page worth reading.
    static constexpr qint64 DefaultMaxBodyBytes = 32 * 1024 * 1024;
    static constexpr int DefaultMaxRedirects = 10;
    // A server that keeps a read alive with a trickle of bytes is given up too:
    // no read holds one of the crawl's places for longer than this.
    static constexpr int DefaultReadDeadlineMs = 10 * 60'000;

    explicit HttpTransfer(QObject *parent = nullptr);
    HttpTransfer(int idleTimeoutMs, qint64 maxBodyBytes, int maxRedirects,
                 int readDeadlineMs = DefaultReadDeadlineMs, QObject *parent = nullptr);
    ~HttpTransfer() override;

    // `url2` is not used: callers pass the same address twice.
    QString StartFileRead(const QByteArray &url, const QByteArray &url2, int fileType,
                          const QByteArray &data) override;

    // The folder the bodies are written to; empty until the first read needs it.
    // It and every file still in it go when the component goes.
    QString downloadFolder() const;

    // The address to request for the 8-bit text `url`, or an invalid QUrl when the
    // text is no usable http or https address with a host.
    static QUrl requestUrl(const QByteArray &url);

private:
    struct Transfer;

    bool ensureFolder();
    void failLater(const QString &key, int fileType, const QByteArray &url,
                   const QByteArray &data);
    Transfer *transferOf(QNetworkReply *reply) const;
    bool drain(QNetworkReply *reply, Transfer &transfer);
    void onMetaDataChanged(QNetworkReply *reply);
    void onReadyRead(QNetworkReply *reply);
    void onRedirected(QNetworkReply *reply, const QUrl &url);
    void onFinished(QNetworkReply *reply);
    void complete(QNetworkReply *reply, bool success);

    const int m_idleTimeoutMs;
    const qint64 m_maxBodyBytes;
    const int m_maxRedirects;
    const int m_readDeadlineMs;
    QNetworkAccessManager *m_network;
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unordered_map<QNetworkReply *, std::unique_ptr<Transfer>> m_transfers;
    quint64 m_lastKey = 0;
};
