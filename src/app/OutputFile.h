#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// A file the crawler writes lines to: the results, or the event log. Opening
// keeps what the file holds, and truncate() empties it once everything the run
// needs is in hand, so a run that cannot start leaves an earlier run's file as
// it was; one that goes before truncate() removes a file its open() created.
// Writes are not buffered, so a reader sees each line as it comes. The first
// failed write is kept; later writes are dropped.
class OutputFile final
{
    Q_DISABLE_COPY_MOVE(OutputFile)

public:
    OutputFile() = default;
    ~OutputFile();

    // `path`, created when missing; false, with errorText() saying why, when it
    // cannot be opened for writing.
    [[nodiscard]] bool open(const QString &path);
    // Standard output, which is never emptied or removed.
    [[nodiscard]] bool openStandardOutput();
    // Empties what an earlier run wrote. A file that cannot be emptied (a
    // terminal, a pipe, a device) is written as it is.
    [[nodiscard]] bool truncate();

    bool isOpen() const { return m_file.isOpen(); }
    void write(const QByteArray &bytes);
    // Closes; false when that or any write before it failed.
    [[nodiscard]] bool close();

    bool failed() const { return !m_error.isEmpty(); }
    // "cannot write NAME: reason", for standard error.
    QString errorText() const { return m_error; }

private:
    void fail(const QString &reason);

    QFile m_file;
    QString m_name;
    QString m_error;
    bool m_created = false;   // open() made the file
    bool m_truncated = false; // the file is this run's
};
