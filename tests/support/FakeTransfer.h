#pragma once

#include "net/TransferComponent.h"

#include <QList>

// A transfer component that records every request and completes only when the
// test says so, so scheduler and completion behaviour can be driven step by step.
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
        Request request{QStringLiteral("read-%1").arg(++m_lastKey), url, url2, fileType, data};
        requests.append(request);
        return request.key;
    }

    // Completes a recorded request with `filePath` (empty for a failed read).
    void complete(const Request &request, const QString &filePath)
    {
        Q_EMIT FileReadComplete(request.key, request.fileType, AsyncProp{filePath, request.url},
                                request.data);
    }

    QList<Request> requests;

private:
    int m_lastKey = 0;
};
