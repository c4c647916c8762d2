#pragma once

#include "net/ReadReason.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>

#include <functional>

// What a finished read hands back: the local file holding the body (empty when
// the read failed, so no readable file can be taken from it), the address that
// was requested, the HTTP status of the last answer, why the read failed and
// the address the answer came from.
struct AsyncProp
{
    QString value; // full path of the downloaded file; empty on failure
    QByteArray url;  // the URL that was requested, unchanged by redirects
    int status = 0;  // the last answer's HTTP status; 0 when none came
    ReadReason reason = ReadReason::None; // None when the read succeeded
    // The address last asked for, after redirects; empty when the component
    // does not know it (then `url` is where the answer came from).
    QByteArray finalUrl = {};
    // The read succeeded and its body went to the reader's pieces alone, so
    // `value` names no file.
    bool streamed = false;
};

// The asynchronous download component every read goes through. StartFileRead
// returns at once; exactly one FileReadComplete follows for each request, later,
// from the event loop, whatever happens to the read.
class TransferComponent : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~TransferComponent() override = default;

    // Starts a read of `url`. `url2` and `fileType` are passed by callers as the
    // same URL and 1. `data` comes back unchanged in FileReadComplete. Returns the
    // request's key, which FileReadComplete carries as strFileKey.
    virtual QString StartFileRead(const QByteArray &url, const QByteArray &url2, int fileType,
                                  const QByteArray &data) = 0;

    // Takes the pieces of a page's body as they arrive, each with the address
    // it comes from (redirects followed).
    using PagePieces = std::function<void(QByteArrayView finalUrl, QByteArrayView piece)>;

    // Starts a read of the page at `url` that is wanted only if it is HTML: an
    // answer of another type is not downloaded, and its read completes with no
    // file and ReadReason::NotHtml. `pieces` sees the body as it comes, before
    // the read completes, and a component that hands it over keeps no file of
    // it (AsyncProp::streamed). A component that can do neither reads every
    // answer, as StartFileRead does, and leaves the body to its file alone.
    virtual QString StartPageRead(const QByteArray &url, const QByteArray &data, PagePieces pieces)
    {
        Q_UNUSED(pieces);
        return StartFileRead(url, url, 1, data);
    }

Q_SIGNALS:
    // The receiver owns the file named by AsyncProp::value and deletes it.
    void FileReadComplete(const QString &strFileKey, int lngFileType, const AsyncProp &asyncProp,
                          const QByteArray &strData);
};
