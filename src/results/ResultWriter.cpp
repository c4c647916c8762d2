#include "results/ResultWriter.h"

#include "crawl/CrawlEngine.h"
#include "crawl/NodeTree.h"
#include "results/AddressList.h"
#include "results/JsonLines.h"
#include "results/TextLines.h"

#include <QFileInfo>

namespace {

using namespace Qt::StringLiterals;

// The formats a file of the list is saved in, with their file dialog names
// and suffixes; the first is what any other file name gets.
struct SavedFormat
{
    ResultWriter::Format format;
    QLatin1StringView name;
    QLatin1StringView suffix;
};

constexpr SavedFormat Saved[] = {
    {ResultWriter::Format::AddressList, "Addresses"_L1, "txt"_L1},
    {ResultWriter::Format::JsonLines, "JSON Lines"_L1, "jsonl"_L1},
};

QString filterOf(const SavedFormat &saved)
{
    return saved.name + u" (*."_s + saved.suffix + u')';
}

} // namespace

std::unique_ptr<ResultWriter> ResultWriter::create(Format format)
{
    switch (format) {
    case Format::TextLines: return std::make_unique<TextLines>();
    case Format::AddressList: return std::make_unique<AddressList>();
    case Format::JsonLines: return std::make_unique<JsonLines>();
    }
    return std::make_unique<TextLines>();
}

QByteArray resultList(const CrawlEngine &engine, const ResultWriter &writer)
{
    QByteArray list;
    for (int i = 1; i <= engine.treeFiles().Count(); ++i)
        list += writer.file(fileRecord(engine, i));
    for (int i = 1; i <= engine.treePages().Count(); ++i)
        list += writer.page(pageRecord(engine.treePages(), i));
    return list;
}

namespace SavedFormats {

QString dialogFilter()
{
    QString filter;
    for (const SavedFormat &saved : Saved)
        filter += filterOf(saved) + u";;"_s;
    return filter + u"All files (*)"_s;
}

ResultWriter::Format forFileName(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix();
    for (const SavedFormat &saved : Saved) {
        if (suffix.compare(saved.suffix, Qt::CaseInsensitive) == 0)
            return saved.format;
    }
    return Saved[0].format;
}

QString withSuffix(const QString &fileName, const QString &filter)
{
    if (fileName.isEmpty() || !QFileInfo(fileName).suffix().isEmpty())
        return fileName;
    for (const SavedFormat &saved : Saved) {
        if (filter == filterOf(saved))
            return fileName + u'.' + saved.suffix;
    }
    return fileName;
}

} // namespace SavedFormats
