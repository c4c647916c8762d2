#pragma once

// What the network tests look at once a transfer has reported: the completion's
// arguments, a body file's contents and what is left in a download folder.
#include "net/DownloadFolder.h"
#include "net/TransferComponent.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QStringList>

namespace TransferChecks {

struct Completion
{
    QString key;
    int fileType = 0;
    AsyncProp prop;
    QByteArray data;
};

inline Completion completionAt(const QSignalSpy &spy, qsizetype index)
{
    const QList<QVariant> &args = spy.at(index);
    return {args.at(0).toString(), args.at(1).toInt(), args.at(2).value<AsyncProp>(),
            args.at(3).toByteArray()};
}

inline QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("<unreadable>");
    return file.readAll();
}

// The bodies left in a download folder; its lock file is no body.
inline QStringList filesIn(const QString &folder)
{
    QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    files.removeAll(DownloadFolder::LockFileName);
    return files;
}

// Text of `size` bytes in lines of 60.
inline QByteArray filler(qsizetype size)
{
    QByteArray body(size, 'x');
    for (qsizetype i = 0; i < size; i += 61)
        body[i] = '\n';
    return body;
}

} // namespace TransferChecks
