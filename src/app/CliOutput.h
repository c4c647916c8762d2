#pragma once

#include "app/CliOptions.h"
#include "app/OutputFile.h"

#include <QByteArray>
#include <QString>

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

    // A found file, and the address of the page it was found on (JSON only).
    void foundFile(const QByteArray &url, const QByteArray &page);
    // A node of the page tree: its index, its picture and its key.
    void pageNode(int index, int image, const QByteArray &key);
    // The last status line (JSON only; text mode writes it to standard error).
    void finalStatus(const QString &text);
    // A link of a saved page: `kind` is "page" or "file".
    void classifiedLink(const QByteArray &kind, const QByteArray &url);

    // Flushes and closes; false when that or any write before it failed.
    [[nodiscard]] bool close() { return m_file.close(); }

    bool failed() const { return m_file.failed(); }
    // "cannot write NAME: reason", for standard error.
    QString errorText() const { return m_file.errorText(); }

private:
    void write(const QByteArray &line) { m_file.write(line); }

    CliOptions::Format m_format;
    OutputFile m_file;
};

// The state word the page list and the event log use for a node image.
QByteArray pageStateName(int image);

// `text` with every control byte (0x00 to 0x1F and 0x7F) written as %XX in
// upper-case hex: an address from a hostile page stays on its one line.
QByteArray escapeControlBytes(const QByteArray &text);

// INDEX<TAB>STATE<TAB>KEY, the line of --pages and --events.
QByteArray nodeLine(int index, int image, const QByteArray &key);
