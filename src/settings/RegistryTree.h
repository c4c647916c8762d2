#pragma once

#include "settings/RegistryStore.h"

#include <QHash>
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
    // One key: its values in the order they were first set, and its subkeys. A key
    // holding more than a few of either finds them by hashed name, so a file with
    // many values reads in time linear in its size.
    class Key
    {
    public:
        Key() = default;
        explicit Key(QString name) : m_name(std::move(name)) {}

        const QString &name() const { return m_name; }
        const QList<std::pair<QString, RegistryValue>> &values() const { return m_values; }
        qsizetype subkeyCount() const { return qsizetype(m_subkeys.size()); }
        // In name order, case ignored.
        std::vector<const Key *> sortedSubkeys() const;

        const RegistryValue *value(const QString &name) const;
        // Adds or replaces a value; the name keeps the spelling it was first set
        // with. A name that is not a valid value name is refused.
        StoreResult setValue(const QString &name, const RegistryValue &value);
        bool removeValue(const QString &name);

        // Names are the same, values the same and in the same order, and subkeys
        // the same whatever order they were created in.
        friend bool operator==(const Key &a, const Key &b);

        // A name as the key of the indexes: equal when the names compare equal
        // without case.
        struct NameKey
        {
            QString name;

            friend bool operator==(const NameKey &a, const NameKey &b)
            {
                return a.name.compare(b.name, Qt::CaseInsensitive) == 0;
            }
            friend size_t qHash(const NameKey &key, size_t seed);
        };

    private:
        friend class RegistryTree;

        const Key *subkey(const QString &name) const;
        Key *subkey(const QString &name);
        Key &addSubkey(const QString &name);
        void removeSubkey(const Key *subkey);

        QString m_name;
        QList<std::pair<QString, RegistryValue>> m_values;
        std::vector<Key> m_subkeys; // in the order created
        // Name to position; kept only while the list is long.
        QHash<NameKey, qsizetype> m_valueIndex;
        QHash<NameKey, qsizetype> m_subkeyIndex;
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
    // The key at the path, created with those missing along it, for setting many
    // values in it; nothing when the path cannot name a key. The pointer holds
    // until keys are next created or deleted.
    Key *createOrOpenKey(RegistryRoot root, const QString &path);

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
