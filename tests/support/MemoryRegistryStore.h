#pragma once

#include "settings/RegistryStore.h"
#include "settings/RegistryTree.h"

#include <functional>

// A store held in memory for the registry class's tests, with switches that make
// the store refuse writes or fail the way a real registry can.
class MemoryRegistryStore final : public RegistryStore
{
public:
    RegistryTree tree;
    // setValue of a value with this name (case ignored) is refused.
    QString refusedValueName;
    // setValue below a key path that starts with this text is refused.
    QString refusedKeyPrefix;
    // Runs before subkey names are handed out; may throw.
    std::function<void()> beforeSubkeyNames;
    int setValueCalls = 0;

    bool keyExists(RegistryRoot root, const QString &path) override
    {
        return tree.keyExists(root, path);
    }
    std::optional<RegistryValue> queryValue(RegistryRoot root, const QString &path,
                                            const QString &name) override
    {
        return tree.value(root, path, name);
    }
    std::optional<QStringList> valueNames(RegistryRoot root, const QString &path) override
    {
        return tree.valueNames(root, path);
    }
    std::optional<QStringList> subkeyNames(RegistryRoot root, const QString &path) override
    {
        if (beforeSubkeyNames)
            beforeSubkeyNames();
        return tree.subkeyNames(root, path);
    }
    StoreResult createKey(RegistryRoot root, const QString &path) override
    {
        return tree.createKey(root, path);
    }
    StoreResult setValue(RegistryRoot root, const QString &path, const QString &name,
                         const RegistryValue &value) override
    {
        ++setValueCalls;
        if ((!refusedValueName.isEmpty() && name.compare(refusedValueName, Qt::CaseInsensitive) == 0)
            || (!refusedKeyPrefix.isEmpty() && path.startsWith(refusedKeyPrefix, Qt::CaseInsensitive)))
            return StoreResult::Refused;
        return tree.setValue(root, path, name, value);
    }
    StoreResult setValues(const QList<RegistryWrite> &writes) override
    {
        const RegistryTree before = tree;
        for (const RegistryWrite &write : writes) {
            const StoreResult result = setValue(write.root, write.path, write.name, write.value);
            if (result != StoreResult::Ok) {
                tree = before;
                return result;
            }
        }
        return StoreResult::Ok;
    }
    StoreResult deleteKey(RegistryRoot root, const QString &path) override
    {
        return tree.deleteKey(root, path);
    }
    StoreResult deleteValue(RegistryRoot root, const QString &path, const QString &name) override
    {
        return tree.deleteValue(root, path, name);
    }
};
