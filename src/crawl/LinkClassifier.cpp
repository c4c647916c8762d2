#include "crawl/LinkClassifier.h"

#include "common/AsciiText.h"
#include "crawl/LinkResolver.h"

#include <QString>

namespace {

QList<QByteArray> extensionList(QStringView list)
{
    QList<QByteArray> items;
    for (const QStringView item : list.split(u',')) {
        const QByteArray word = item.trimmed().toLatin1().toLower();
        if (!word.isEmpty())
            items.append(word);
    }
    return items;
}

bool listHolds(const QList<QByteArray> &list, QByteArrayView extension)
{
    for (const QByteArray &item : list) {
        if (AsciiText::equalsNoCase(extension, item))
            return true;
    }
    return false;
}

} // namespace

LinkClassifier::LinkClassifier(QStringView search, QStringView follow)
    : m_search(extensionList(search)), m_follow(extensionList(follow))
{
}

LinkKind LinkClassifier::classify(QByteArrayView address) const
{
    const QByteArrayView ext = extension(address);
    LinkKind kind;
    kind.page = ext.isEmpty() || listHolds(m_follow, ext);
    kind.file = !ext.isEmpty() && listHolds(m_search, ext);
    return kind;
}

QByteArrayView LinkClassifier::extension(QByteArrayView address)
{
    const QByteArrayView path = splitAddress(address).path;
    const QByteArrayView segment = path.sliced(path.lastIndexOf('/') + 1);
    const qsizetype dot = segment.lastIndexOf('.');
    return dot < 0 ? QByteArrayView() : segment.sliced(dot + 1);
}
