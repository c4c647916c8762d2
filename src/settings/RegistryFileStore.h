#pragma once

#include "settings/RegistryStore.h"

#include <chrono>
#include <functional>
#include <memory>

class RegistryTree;
namespace RegistryFileFormat {
struct ParseResult;
}

// The per-user store: one .reg text file (see RegistryFileFormat) holding both
// roots, by default "Trovewick/registry.reg" in the user's configuration folder.
//
// Reads take the file as it is; a file that is missing reads as empty. What was
// read is kept for the whole process and used again while the file keeps its
// size, modification time and inode (and had not just changed when read). Every
// change holds a lock file beside the store, reads the file again under it,
// changes it and replaces it in one step, so two running instances saving at
// once keep each other's values and a write cut short leaves the old file whole.
// The lock of an instance that died is taken at once when it names its owner,
// else once it is a second old.
// A file with unreadable parts is copied aside ("registry.reg.damaged-<time>")
// before the first change replaces it; the new file keeps what could be read.
class RegistryFileStore final : public RegistryStore
{
public:
    explicit RegistryFileStore(QString filePath = defaultFilePath());

    // GenericConfigLocation (XDG_CONFIG_HOME, else ~/.config) + "/Trovewick/registry.reg".
    static QString defaultFilePath();
    const QString &filePath() const { return m_filePath; }

    // How long a change waits for the lock another instance holds before it gives
    // up with KeyUnavailable. A save holds the lock for milliseconds, so a lock held
    // longer is stuck or foreign, and the options dialog waits on it frozen.
    static constexpr std::chrono::milliseconds DefaultLockTimeout{2000};
    std::chrono::milliseconds lockTimeout() const { return m_lockTimeout; }
    void setLockTimeout(std::chrono::milliseconds timeout) { m_lockTimeout = timeout; }

    // Runs when the new text has been written but has not yet replaced the old
    // file: tests stop or fail a write at that point.
    void setBeforeCommitHook(std::function<void()> hook) { m_beforeCommit = std::move(hook); }

    bool keyExists(RegistryRoot root, const QString &path) override;
    std::optional<RegistryValue> queryValue(RegistryRoot root, const QString &path,
                                            const QString &name) override;
    std::optional<QStringList> valueNames(RegistryRoot root, const QString &path) override;
    std::optional<QStringList> subkeyNames(RegistryRoot root, const QString &path) override;
    StoreResult createKey(RegistryRoot root, const QString &path) override;
    StoreResult setValue(RegistryRoot root, const QString &path, const QString &name,
                         const RegistryValue &value) override;
    StoreResult setValues(const QList<RegistryWrite> &writes) override;
    StoreResult deleteKey(RegistryRoot root, const QString &path) override;
    StoreResult deleteValue(RegistryRoot root, const QString &path, const QString &name) override;

private:
    std::shared_ptr<const RegistryTree> readTree() const;
    std::shared_ptr<const RegistryFileFormat::ParseResult> readFile() const;
    StoreResult modify(const std::function<StoreResult(RegistryTree &)> &change);
    bool keepDamagedCopy(const QByteArray &text) const;

    QString m_filePath;
    std::chrono::milliseconds m_lockTimeout = DefaultLockTimeout;
    std::function<void()> m_beforeCommit;
};
