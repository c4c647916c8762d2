#pragma once

#include "app/CliOptions.h"
#include "app/OutputFile.h"
#include "results/ResultWriter.h"

#include <QByteArray>
#include <QString>

#include <memory>

// Where the crawler's results go (standard output, or the --output file) and in
// which form: the plain lines it has always printed, or JSON Lines. Every line
// is written as it comes. The first failed write is kept; later writes are
// dropped.
class CliOutput final
{
    Q_DISABLE_COPY_MOVE(CliOutput)

public:
    explicit CliOutput(CliOptions::Format format);
    ~CliOutput();

    // Opens `path` (created when missing), or standard output when it is
    // empty. False, with errorText() saying why, when it cannot be opened.
    [[nodiscard]] bool open(const QString &path);
    // Empties the file of an earlier run, once nothing can stop this run from
    // starting (see OutputFile).
    [[nodiscard]] bool truncate() { return m_file.truncate(); }

    // A found file; the page it was found on is written in JSON only.
    void foundFile(const FileRecord &record) { write(m_writer->file(record)); }
    // A node of the page tree.
    void pageNode(const PageRecord &record) { write(m_writer->page(record)); }
    // The last status line (JSON only; text mode writes it to standard error).
    void finalStatus(const QString &text) { write(m_writer->status(text)); }
    // A link of a saved page.
    void classifiedLink(const LinkRecord &record) { write(m_writer->link(record)); }

    // Flushes and closes; false when that or any write before it failed.
    [[nodiscard]] bool close() { return m_file.close(); }

    bool failed() const { return m_file.failed(); }
    // "cannot write NAME: reason", for standard error.
    QString errorText() const { return m_file.errorText(); }

private:
    void write(const QByteArray &line);

    std::unique_ptr<ResultWriter> m_writer;
    OutputFile m_file;
};
