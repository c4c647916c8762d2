#pragma once

#include "results/ResultRecords.h"

#include <QByteArray>
#include <QLatin1StringView>
#include <QString>

#include <memory>

// Writes a crawl's result list in one format, one line per record. The command
// line and the window's Save List As both write through these, so a new format
// is one new writer class, named here and made in create(); a row of the saved
// formats in ResultWriter.cpp offers it in the window.
class ResultWriter
{
public:
    enum class Format {
        TextLines,   // the command line's plain lines
        AddressList, // the found files' addresses as the window shows them
        JsonLines,   // one JSON object per record
    };

    static std::unique_ptr<ResultWriter> create(Format format);
    virtual ~ResultWriter() = default;

    // Each gives the record's line with its line feed, or nothing when the
    // format leaves such records out.
    virtual QByteArray file(const FileRecord &record) const = 0;
    virtual QByteArray page(const PageRecord &) const { return {}; }
    // The crawl's last status line.
    virtual QByteArray status(const QString &) const { return {}; }
    virtual QByteArray link(const LinkRecord &) const { return {}; }
};

// The whole result list of a crawl as `writer` writes it: every found file in
// list order, then every node of the page tree.
QByteArray resultList(const CrawlEngine &engine, const ResultWriter &writer);

// The formats a saved list is offered in, by file type.
namespace SavedFormats {
// "Addresses (*.txt);;JSON Lines (*.jsonl);;All files (*)", for a file dialog.
QString dialogFilter();
// The format a file of this name is written in: by its suffix, addresses
// for any other.
ResultWriter::Format forFileName(const QString &fileName);
// `fileName` with the suffix of the type `filter` names when it has none of its own.
QString withSuffix(const QString &fileName, const QString &filter);
} // namespace SavedFormats
