#include "settings/RegistryFileStore.h"

#include "settings/RegistryFileFormat.h"
#include "settings/RegistryTree.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>

namespace {
constexpr unsigned long LockPollMs = 5;

// QLockFile's own wait doubles its pause up to seconds between tries; a save holds
// the lock for milliseconds, so a short steady poll lets the other instance in sooner.
bool acquire(QLockFile &lock, std::chrono::milliseconds timeout)
{
    const QDeadlineTimer deadline(timeout);
    while (!lock.tryLock(0)) {
        if (lock.error() != QLockFile::LockFailedError || deadline.hasExpired())
            return false;
        QThread::msleep(LockPollMs);
    }
    return true;
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

RegistryTree RegistryFileStore::readTree() const
{
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return RegistryFileFormat::parse(file.readAll()).tree;
}

bool RegistryFileStore::keyExists(RegistryRoot root, const QString &path)
{
    return readTree().keyExists(root, path);
}

std::optional<RegistryValue> RegistryFileStore::queryValue(RegistryRoot root, const QString &path,
                                                           const QString &name)
{
    return readTree().value(root, path, name);
}

std::optional<QStringList> RegistryFileStore::valueNames(RegistryRoot root, const QString &path)
{
    return readTree().valueNames(root, path);
}

std::optional<QStringList> RegistryFileStore::subkeyNames(RegistryRoot root, const QString &path)
{
    return readTree().subkeyNames(root, path);
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
    QFile file(m_filePath);
    if (file.exists()) {
        // A file that is there but cannot be read must not be replaced by a blank one.
        if (!file.open(QIODevice::ReadOnly))
            return StoreResult::KeyUnavailable;
        text = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return StoreResult::KeyUnavailable;
        file.close();
    }
    RegistryFileFormat::ParseResult parsed = RegistryFileFormat::parse(text);
    const RegistryTree before = parsed.tree;
    const StoreResult result = change(parsed.tree);
    if (result != StoreResult::Ok || parsed.tree == before)
        return result;
    if (parsed.damaged && !keepDamagedCopy(text))
        return StoreResult::Refused;

    QSaveFile out(m_filePath);
    if (!out.open(QIODevice::WriteOnly))
        return StoreResult::Refused;
    // A REGEDIT4 file stays one, so its hex strings keep the form they were written in.
    const QByteArray newText = RegistryFileFormat::serialize(parsed.tree, parsed.version);
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
