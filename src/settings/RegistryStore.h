#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

// The two roots the program keeps keys under.
enum class RegistryRoot { ClassesRoot, CurrentUser };

// Registry value type codes, shared by the store, the .reg text and cRegistry.
namespace RegistryType {
inline constexpr qint32 None = 0;
inline constexpr qint32 Sz = 1;
inline constexpr qint32 ExpandSz = 2;
inline constexpr qint32 Binary = 3;
inline constexpr qint32 Dword = 4;
inline constexpr qint32 DwordBigEndian = 5;
inline constexpr qint32 MultiSz = 7;
} // namespace RegistryType

// One stored value exactly as the store holds it: a type code and its bytes.
// String types hold 8-bit text (UTF-8) followed by the NUL the writer added.
struct RegistryValue
{
    qint32 type = RegistryType::None;
    QByteArray data;

    friend bool operator==(const RegistryValue &, const RegistryValue &) = default;
};

// One value for setValues to set.
struct RegistryWrite
{
    RegistryRoot root = RegistryRoot::CurrentUser;
    QString path;
    QString name;
    RegistryValue value;
};

// How a changing operation ended. The registry class tells "the key could not be
// opened or created" apart from "the store refused the change" in its errors.
enum class StoreResult { Ok, KeyUnavailable, Refused };

// The operations cRegistry needs from a key/value store. Every call is complete
// in itself: nothing stays open between calls, as no registry handle may.
// Key paths are backslash-separated below the root; the empty path is the root.
// Key and value names compare without regard to case and keep the case written.
class RegistryStore
{
public:
    using Factory = std::function<std::shared_ptr<RegistryStore>()>;

    virtual ~RegistryStore();

    virtual bool keyExists(RegistryRoot root, const QString &path) = 0;
    // Absent when the key or the value is missing.
    virtual std::optional<RegistryValue> queryValue(RegistryRoot root, const QString &path,
                                                    const QString &name) = 0;
    // Absent when the key is missing. Values come in the order they were first set,
    // subkeys in name order.
    virtual std::optional<QStringList> valueNames(RegistryRoot root, const QString &path) = 0;
    virtual std::optional<QStringList> subkeyNames(RegistryRoot root, const QString &path) = 0;

    // Creates the keys missing along the path; an existing key is left as it is.
    virtual StoreResult createKey(RegistryRoot root, const QString &path) = 0;
    // Creates the key if needed, then sets the value.
    virtual StoreResult setValue(RegistryRoot root, const QString &path, const QString &name,
                                 const RegistryValue &value) = 0;
    // Sets each value as setValue does, all in one change: when one is refused,
    // none is set, and a change cut short leaves none set.
    virtual StoreResult setValues(const QList<RegistryWrite> &writes) = 0;
    // A key that still has subkeys is refused, as the registry does.
    virtual StoreResult deleteKey(RegistryRoot root, const QString &path) = 0;
    virtual StoreResult deleteValue(RegistryRoot root, const QString &path, const QString &name) = 0;

    // The per-user store every default-constructed cRegistry works on.
    static std::shared_ptr<RegistryStore> createDefault();
    // Lets a test put another store behind default-constructed registry objects;
    // an empty factory brings back the per-user file.
    static void setDefaultFactory(Factory factory);
};
