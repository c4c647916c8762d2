#pragma once

#include <QString>

#include <memory>

class QLockFile;
class QTemporaryDir;

// A private folder for read bodies, "trovewick-XXXXXX" under the temporary
// folder, with a lock file inside that this object holds for as long as it
// lives; the folder and everything in it go with the object. Making one first
// removes the folders of earlier runs that ended without cleaning up (killed,
// or the machine lost power): their lock names a process that is gone. A
// folder whose lock a live run holds is never touched.
class DownloadFolder final
{
public:
    // The lock file's name inside every folder.
    static inline const QString LockFileName = QStringLiteral(".lock");

    DownloadFolder();
    ~DownloadFolder();
    DownloadFolder(const DownloadFolder &) = delete;
    DownloadFolder &operator=(const DownloadFolder &) = delete;

    bool isValid() const;
    // Why the folder could not be made, for people; empty when it was.
    QString errorString() const;
    QString path() const;
    QString filePath(const QString &name) const;

    // Removes the abandoned folders in `parent`; returns how many went.
    static int removeAbandoned(const QString &parent);

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QLockFile> m_lock;
    QString m_error;
};
