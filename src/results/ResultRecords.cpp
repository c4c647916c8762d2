#include "results/ResultRecords.h"

#include "crawl/CrawlEngine.h"
#include "crawl/NodeTree.h"

QByteArray PageRecord::url() const
{
    if (!address.isEmpty())
        return address;
    return "http://" + key + (image == NodeImage::Domain ? "/" : "");
}

FileRecord fileRecord(const CrawlEngine &engine, int index)
{
    return {engine.treeFiles().Key(index), engine.foundOn(index), engine.foundHow(index)};
}

PageRecord pageRecord(const NodeTree &pages, int index)
{
    return {index, pages.Image(index), pages.Key(index), pages.Status(index), pages.Reason(index),
            pages.Address(index)};
}

QByteArray pageStateName(int image)
{
    switch (image) {
    case NodeImage::Domain: return QByteArrayLiteral("domain");
    case NodeImage::Queued: return QByteArrayLiteral("queued");
    case NodeImage::Fetching: return QByteArrayLiteral("fetching");
    case NodeImage::Done: return QByteArrayLiteral("done");
    case NodeImage::Failed: return QByteArrayLiteral("failed");
    default: return QByteArray::number(image);
    }
}
