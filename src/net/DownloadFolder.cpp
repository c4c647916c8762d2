#include "net/DownloadFolder.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryDir>

namespace {

const QString FolderPrefix = QStringLiteral("trovewick-");

// A folder without a lock file is either being made this instant or was left
// by a run that died before it locked it; only the second is ever this old.
constexpr qint64 UnlockedGraceSeconds = 60 * 60;

std::unique_ptr<QLockFile> lockFor(const QString &folder)
{
    auto lock = std::make_unique<QLockFile>(folder + u'/' + DownloadFolder::LockFileName);
    // Only a lock whose process is gone counts as stale, however old it is.
    lock->setStaleLockTime(0);
    return lock;
}

// Qt answers an empty path when TMPDIR names no folder that is there. The
// folder is then tried where TMPDIR says, so that making it fails with a reason
// that names what the user set, instead of succeeding in the root folder (or
// sweeping the current one for abandoned folders).
QString temporaryParent()
{
    const QString parent = QDir::tempPath();
    if (!parent.isEmpty())
        return parent;
    const QString named = qEnvironmentVariable("TMPDIR");
    return named.isEmpty() ? QStringLiteral("/tmp") : named;
}

} // namespace

DownloadFolder::DownloadFolder()
{
    const QString parent = temporaryParent();
    removeAbandoned(parent);
    m_dir = std::make_unique<QTemporaryDir>(parent + u'/' + FolderPrefix + QStringLiteral("XXXXXX"));
    if (!m_dir->isValid()) {
        m_error = QStringLiteral("cannot make a folder for page bodies in %1: %2")
                      .arg(QDir::toNativeSeparators(parent), m_dir->errorString());
        return;
    }
    m_lock = lockFor(m_dir->path());
    if (!m_lock->tryLock(0)) {
        m_error = QStringLiteral("cannot lock %1, the folder for page bodies")
                      .arg(QDir::toNativeSeparators(m_dir->path()));
        m_dir.reset();
    }
}

DownloadFolder::~DownloadFolder()
{
    // The lock goes first, then the folder with whatever is left in it.
    m_lock.reset();
    m_dir.reset();
}

bool DownloadFolder::isValid() const
{
    return m_dir && m_dir->isValid() && m_lock && m_lock->isLocked();
}

QString DownloadFolder::errorString() const
{
    return m_error;
}

QString DownloadFolder::path() const
{
    return m_dir ? m_dir->path() : QString();
}

QString DownloadFolder::filePath(const QString &name) const
{
    return path() + u'/' + name;
}

int DownloadFolder::removeAbandoned(const QString &parent)
{
    int removed = 0;
    const QFileInfoList folders = QDir(parent).entryInfoList(
        {FolderPrefix + QStringLiteral("??????")}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QFileInfo &folder : folders) {
        if (folder.isSymLink())
            continue;
        const QString path = folder.absoluteFilePath();
        if (!QFileInfo::exists(path + u'/' + LockFileName)) {
            const QDateTime changed = folder.lastModified();
            if (changed.secsTo(QDateTime::currentDateTime()) < UnlockedGraceSeconds)
                continue;
        } else {
            const std::unique_ptr<QLockFile> lock = lockFor(path);
            if (!lock->tryLock(0))
                continue; // a live run's folder
            lock->unlock();
        }
        if (QDir(path).removeRecursively())
            ++removed;
    }
    return removed;
}
