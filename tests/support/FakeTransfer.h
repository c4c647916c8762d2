#pragma once

#include "common/AppError.h"
#include "net/TransferComponent.h"

#include <QFile>
#include <QList>
#include <QTemporaryDir>

#include <memory>

// A transfer component that records every request and completes only when the
// test says so, so scheduler and completion behaviour can be driven step by step.
// It can also refuse requests by raising, as a component whose request fails does.
class FakeTransfer final : public TransferComponent
{
public:
    struct Request
    {
        QString key;
        QByteArray url;
        QByteArray url2;
        int fileType = 0;
        QByteArray data;
    };

    using TransferComponent::TransferComponent;

    QString StartFileRead(const QByteArray &url, const QByteArray &url2, int fileType,
                          const QByteArray &data) override
    {
        ++m_lastKey;
        if (refuse || m_lastKey == refuseRequestNumber)
            throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("txPages"), QStringLiteral("refused"));
        Request request{QStringLiteral("read-%1").arg(m_lastKey), url, url2, fileType, data};
        requests.append(request);
        return request.key;
    }

    // A body as a transfer would leave it: a new file in the fake's own
    // temporary folder, holding `content`. Returns its path.
    QString bodyFile(const QByteArray &content)
    {
        if (!m_folder)
            m_folder = std::make_unique<QTemporaryDir>();
        const QString path = m_folder->filePath(QStringLiteral("body-%1.tmp").arg(++m_lastBody));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qFatal("cannot write a body file");
        return path;
    }

    // Completes a recorded request with `filePath` (empty for a failed read),
    // and if given the address the read ended at and its reason.
    void complete(const Request &request, const QString &filePath, const QByteArray &finalUrl = {},
                  ReadReason reason = ReadReason::None)
    {
        Q_EMIT FileReadComplete(request.key, request.fileType,
                                AsyncProp{filePath, request.url, 0, reason, finalUrl}, request.data);
    }

    QList<Request> requests;
    bool refuse = false;         // every request raises
    int refuseRequestNumber = 0; // only this request raises, counted from 1

private:
    int m_lastKey = 0;
    int m_lastBody = 0;
    std::unique_ptr<QTemporaryDir> m_folder;
};
