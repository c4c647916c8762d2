#include "settings/RegistryFileStore.h"

#include "settings/RegistryFileFormat.h"
#include "settings/RegistryTree.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QMutex>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>

#include <sys/stat.h>
#include <time.h>

namespace {
constexpr unsigned long LockPollMs = 5;

// QLockFile makes a lock file, locks it with flock() and then writes its owner's
// name in. A lock file still nameless this long after it was made, like a clearing
// lock (below) still there, was left by a save that died. Either is removed only
// if no live process holds its flock(), so the age guards just the moment between
// making the file and locking it.
constexpr std::chrono::milliseconds AbandonedAfter{1000};

// To clear a lock whose owner died, QLockFile first takes "<lock>.rmlock", which
// keeps the default stale time of 30 s; one left by a save killed while clearing
// would block every save that long.
bool clearAbandonedRemovalLock(const QString &lockPath)
{
    const QString path = lockPath + QStringLiteral(".rmlock");
    const QFileInfo info(path);
    if (!info.exists() || info.lastModified().msecsTo(QDateTime::currentDateTime()) < AbandonedAfter.count())
        return false;
    QLockFile removal(path);
    return removal.removeStaleLockFile();
}

// QLockFile's own wait doubles its pause up to seconds between tries; a save holds
// the lock for milliseconds, so a short steady poll lets the other instance in sooner.
bool acquire(QLockFile &lock, std::chrono::milliseconds timeout)
{
    // A named owner that is gone is seen at once; a nameless lock only by its age.
    lock.setStaleLockTime(AbandonedAfter);
    const QDeadlineTimer deadline(timeout);
    while (!lock.tryLock(0)) {
        if (lock.error() != QLockFile::LockFailedError)
            return false;
        if (clearAbandonedRemovalLock(lock.fileName()))
            continue;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(LockPollMs);
    }
    return true;
}

using ParseResult = RegistryFileFormat::ParseResult;

// What tells one state of the store file from another without reading it.
struct FileIdentity
{
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    qint64 modifiedNs = 0;

    friend bool operator==(const FileIdentity &, const FileIdentity &) = default;
};

constexpr qint64 NsPerSecond = 1'000'000'000;

FileIdentity identityOf(const struct stat &info)
{
    return {info.st_dev, info.st_ino, info.st_size,
            qint64(info.st_mtim.tv_sec) * NsPerSecond + info.st_mtim.tv_nsec};
}

// A file system stamps a change with a clock that steps in milliseconds (whole
// seconds on some), so a file rewritten within one step can keep its size, time
// and inode. Only a file whose last change is older than any such step is known
// by its identity alone; a fresher one is compared by its text.
constexpr qint64 SettleNs = 3 * NsPerSecond;

bool hasSettled(const FileIdentity &identity)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * NsPerSecond + now.tv_nsec - identity.modifiedNs > SettleNs;
}

// One reading of the store file and what was read from it.
struct Reading
{
    FileIdentity identity;
    bool settled = false;
    QByteArray text;
    std::shared_ptr<const ParseResult> parsed;
};

// The last reading of each store file, shared by all store objects of the process,
// as the program makes a registry object, and so a store, for each use: the file
// is parsed again only when it has changed.
class ReadingCache
{
public:
    std::shared_ptr<const Reading> find(const QString &path)
    {
        const QMutexLocker locker(&m_mutex);
        return m_readings.value(path);
    }

    // The reading of text found with the identity, reusing the parse of an equal text.
    std::shared_ptr<const Reading> remember(const QString &path, const FileIdentity &identity,
                                            const QByteArray &text)
    {
        auto reading = std::make_shared<Reading>();
        reading->identity = identity;
        reading->settled = hasSettled(identity);
        reading->text = text;
        const std::shared_ptr<const Reading> known = find(path);
        if (known && known->text == text)
            reading->parsed = known->parsed;
        else
            reading->parsed = std::make_shared<const ParseResult>(RegistryFileFormat::parse(text));
        const QMutexLocker locker(&m_mutex);
        m_readings.insert(path, reading);
        return reading;
    }

private:
    QMutex m_mutex;
    QHash<QString, std::shared_ptr<const Reading>> m_readings;
};

ReadingCache &readingCache()
{
    static ReadingCache cache;
    return cache;
}

std::shared_ptr<const ParseResult> emptyStore()
{
    static const auto empty = std::make_shared<const ParseResult>();
    return empty;
}

// An open file's text and the identity it had before it was read.
bool readOpenFile(QFile &file, FileIdentity &identity, QByteArray &text)
{
    struct stat info{};
    if (fstat(file.handle(), &info) != 0)
        return false;
    identity = identityOf(info);
    text = file.readAll();
    return file.error() == QFileDevice::NoError;
}

} // namespace

RegistryFileStore::RegistryFileStore(QString filePath) : m_filePath(std::move(filePath)) {}

QString RegistryFileStore::defaultFilePath()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Trovewick/registry.reg");
}

std::shared_ptr<const RegistryTree> RegistryFileStore::readTree() const
{
    const std::shared_ptr<const ParseResult> parsed = readFile();
    return std::shared_ptr<const RegistryTree>(parsed, &parsed->tree);
}

std::shared_ptr<const ParseResult> RegistryFileStore::readFile() const
{
    // A file that is missing, or is no file, reads as an empty store.
    const QByteArray nativePath = QFile::encodeName(m_filePath);
    struct stat info{};
    if (stat(nativePath.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return emptyStore();
    ReadingCache &cache = readingCache();
    const std::shared_ptr<const Reading> known = cache.find(m_filePath);
    if (known && known->settled && known->identity == identityOf(info))
        return known->parsed;

    QFile file(m_filePath);
    FileIdentity identity;
    QByteArray text;
    if (!file.open(QIODevice::ReadOnly) || !readOpenFile(file, identity, text))
        return emptyStore();
    return cache.remember(m_filePath, identity, text)->parsed;
}

bool RegistryFileStore::keyExists(RegistryRoot root, const QString &path)
{
    return readTree()->keyExists(root, path);
}

std::optional<RegistryValue> RegistryFileStore::queryValue(RegistryRoot root, const QString &path,
                                                           const QString &name)
{
    return readTree()->value(root, path, name);
}

std::optional<QStringList> RegistryFileStore::valueNames(RegistryRoot root, const QString &path)
{
    return readTree()->valueNames(root, path);
}

std::optional<QStringList> RegistryFileStore::subkeyNames(RegistryRoot root, const QString &path)
{
    return readTree()->subkeyNames(root, path);
}

StoreResult RegistryFileStore::createKey(RegistryRoot root, const QString &path)
{
    return modify([&](RegistryTree &tree) { return tree.createKey(root, path); });
}

StoreResult RegistryFileStore::setValue(RegistryRoot root, const QString &path,
                                        const QString &name, const RegistryValue &value)
{
    return modify([&](RegistryTree &tree) { return tree.setValue(root, path, name, value); });
}

StoreResult RegistryFileStore::setValues(const QList<RegistryWrite> &writes)
{
    // One new file for all of them, so the file holds either every value or none.
    return modify([&](RegistryTree &tree) {
        for (const RegistryWrite &write : writes) {
            const StoreResult result = tree.setValue(write.root, write.path, write.name, write.value);
            if (result != StoreResult::Ok)
                return result;
        }
        return StoreResult::Ok;
    });
}

StoreResult RegistryFileStore::deleteKey(RegistryRoot root, const QString &path)
{
    return modify([&](RegistryTree &tree) { return tree.deleteKey(root, path); });
}

StoreResult RegistryFileStore::deleteValue(RegistryRoot root, const QString &path,
                                           const QString &name)
{
    return modify([&](RegistryTree &tree) { return tree.deleteValue(root, path, name); });
}

StoreResult RegistryFileStore::modify(const std::function<StoreResult(RegistryTree &)> &change)
{
    if (!QDir().mkpath(QFileInfo(m_filePath).absolutePath()))
        return StoreResult::KeyUnavailable;
    QLockFile lock(m_filePath + QStringLiteral(".lock"));
    if (!acquire(lock, m_lockTimeout))
        return StoreResult::KeyUnavailable;

    // Read again under the lock: another instance may have saved since our last read.
    QByteArray text;
    std::shared_ptr<const ParseResult> parsed = emptyStore();
    QFile file(m_filePath);
    if (file.exists()) {
        // A file that is there but cannot be read must not be replaced by a blank one.
        FileIdentity identity;
        if (!file.open(QIODevice::ReadOnly) || !readOpenFile(file, identity, text))
            return StoreResult::KeyUnavailable;
        file.close();
        parsed = readingCache().remember(m_filePath, identity, text)->parsed;
    }
    RegistryTree tree = parsed->tree;
    const StoreResult result = change(tree);
    if (result != StoreResult::Ok || tree == parsed->tree)
        return result;
    if (parsed->damaged && !keepDamagedCopy(text))
        return StoreResult::Refused;

    QSaveFile out(m_filePath);
    if (!out.open(QIODevice::WriteOnly))
        return StoreResult::Refused;
    // A REGEDIT4 file stays one, so its hex strings keep the form they were written in.
    const QByteArray newText = RegistryFileFormat::serialize(tree, parsed->version);
    if (out.write(newText) != newText.size())
        return StoreResult::Refused;
    if (m_beforeCommit)
        m_beforeCommit();
    return out.commit() ? StoreResult::Ok : StoreResult::Refused;
}

bool RegistryFileStore::keepDamagedCopy(const QByteArray &text) const
{
    const QString stem = m_filePath + QStringLiteral(".damaged-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    // NewOnly: an earlier copy made within the same second is never overwritten.
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const QString name = attempt == 1 ? stem : stem + u'-' + QString::number(attempt);
        QFile copy(name);
        if (!copy.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (copy.exists())
                continue;
            return false;
        }
        const bool written = copy.write(text) == text.size() && copy.flush();
        copy.close();
        return written && copy.error() == QFileDevice::NoError;
    }
    return false;
}
