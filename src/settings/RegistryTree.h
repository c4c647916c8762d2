#pragma once

#include "settings/RegistryStore.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

// Both registry roots with all their keys and values, held in memory. The file
// store reads one of these, changes it and writes it back; the operations here
// carry the registry's rules (names without case, subkeys in name order, no
// deleting a key that still has subkeys).
class RegistryTree
{
public:
    struct Key
    {
        QString name;
        QList<std::pair<QString, RegistryValue>> values; // in the order first set
        std::vector<Key> subkeys;                         // in name order, case ignored

        friend bool operator==(const Key &, const Key &) = default;
    };

    // The longest key name the registry allows.
    static constexpr qsizetype MaxKeyNameLength = 255;

    RegistryTree();

    // The names along a key path, or nothing when the path cannot name a key
    // (an empty or overlong name, or a line break the .reg text cannot hold).
    static std::optional<QStringList> splitPath(const QString &path);
    // Value names must fit on one line of the .reg text.
    static bool isValidValueName(const QString &name);
    static QString rootName(RegistryRoot root);

    const Key &rootKey(RegistryRoot root) const;
    const Key *findKey(RegistryRoot root, const QString &path) const;

    bool keyExists(RegistryRoot root, const QString &path) const;
    std::optional<RegistryValue> value(RegistryRoot root, const QString &path,
                                       const QString &name) const;
    std::optional<QStringList> valueNames(RegistryRoot root, const QString &path) const;
    std::optional<QStringList> subkeyNames(RegistryRoot root, const QString &path) const;

    StoreResult createKey(RegistryRoot root, const QString &path);
    StoreResult setValue(RegistryRoot root, const QString &path, const QString &name,
                         const RegistryValue &value);
    StoreResult deleteKey(RegistryRoot root, const QString &path);
    StoreResult deleteValue(RegistryRoot root, const QString &path, const QString &name);
    // Removes a key with everything below it (a "[-...]" section of .reg text).
    void deleteKeyTree(RegistryRoot root, const QString &path);

    friend bool operator==(const RegistryTree &, const RegistryTree &) = default;

private:
    Key &rootKey(RegistryRoot root);
    Key *createKey(RegistryRoot root, const QStringList &names);

    Key m_classesRoot;
    Key m_currentUser;
};
