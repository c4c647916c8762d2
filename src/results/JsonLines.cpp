#include "results/JsonLines.h"

#include "common/WebText.h"
#include "results/JsonLine.h"

using namespace Qt::StringLiterals;

QByteArray JsonLines::file(const FileRecord &record) const
{
    JsonLine line;
    line.add("type"_L1, u"file"_s)
        .add("url"_L1, decodeWebText(record.url))
        .add("page"_L1, decodeWebText(record.page));
    // Only standard link rules say how a file was found.
    if (!record.how.isEmpty())
        line.add("how"_L1, QString::fromLatin1(record.how));
    return line.toLine();
}

QByteArray JsonLines::page(const PageRecord &record) const
{
    JsonLine line;
    line.add("type"_L1, u"page"_s)
        .add("index"_L1, record.index)
        .add("state"_L1, QString::fromLatin1(pageStateName(record.image)))
        .add("url"_L1, decodeWebText(record.url()));
    if (record.status != 0)
        line.add("status"_L1, record.status);
    const QString reason = ReadReasons::word(record.reason, record.status);
    if (!reason.isEmpty())
        line.add("reason"_L1, reason);
    return line.toLine();
}

QByteArray JsonLines::status(const QString &text) const
{
    return JsonLine().add("type"_L1, u"status"_s).add("text"_L1, text).toLine();
}

QByteArray JsonLines::link(const LinkRecord &record) const
{
    return JsonLine()
        .add("type"_L1, QString::fromLatin1(record.kind))
        .add("url"_L1, decodeWebText(record.url))
        .toLine();
}
