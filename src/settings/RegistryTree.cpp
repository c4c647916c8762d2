#include "settings/RegistryTree.h"

#include <algorithm>

namespace {

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool holdsLineBreak(const QString &text)
{
    return text.contains(u'\n') || text.contains(u'\r');
}

template<typename KeyT>
KeyT *findSubkey(KeyT &parent, const QString &name)
{
    for (auto &subkey : parent.subkeys) {
        if (sameName(subkey.name, name))
            return &subkey;
    }
    return nullptr;
}

template<typename KeyT>
KeyT *walk(KeyT &root, const QStringList &names)
{
    KeyT *key = &root;
    for (const QString &name : names) {
        key = findSubkey(*key, name);
        if (!key)
            return nullptr;
    }
    return key;
}

} // namespace

RegistryTree::RegistryTree()
{
    m_classesRoot.name = rootName(RegistryRoot::ClassesRoot);
    m_currentUser.name = rootName(RegistryRoot::CurrentUser);
}

std::optional<QStringList> RegistryTree::splitPath(const QString &path)
{
    if (path.isEmpty())
        return QStringList();
    QStringList names = path.split(u'\\');
    for (const QString &name : std::as_const(names)) {
        if (name.isEmpty() || name.size() > MaxKeyNameLength || holdsLineBreak(name))
            return std::nullopt;
    }
    return names;
}

bool RegistryTree::isValidValueName(const QString &name)
{
    return !holdsLineBreak(name);
}

QString RegistryTree::rootName(RegistryRoot root)
{
    return root == RegistryRoot::ClassesRoot ? QStringLiteral("HKEY_CLASSES_ROOT")
                                             : QStringLiteral("HKEY_CURRENT_USER");
}

const RegistryTree::Key &RegistryTree::rootKey(RegistryRoot root) const
{
    return root == RegistryRoot::ClassesRoot ? m_classesRoot : m_currentUser;
}

RegistryTree::Key &RegistryTree::rootKey(RegistryRoot root)
{
    return root == RegistryRoot::ClassesRoot ? m_classesRoot : m_currentUser;
}

const RegistryTree::Key *RegistryTree::findKey(RegistryRoot root, const QString &path) const
{
    const auto names = splitPath(path);
    return names ? walk(rootKey(root), *names) : nullptr;
}

bool RegistryTree::keyExists(RegistryRoot root, const QString &path) const
{
    return findKey(root, path) != nullptr;
}

std::optional<RegistryValue> RegistryTree::value(RegistryRoot root, const QString &path,
                                                 const QString &name) const
{
    if (const Key *key = findKey(root, path)) {
        for (const auto &[valueName, stored] : key->values) {
            if (sameName(valueName, name))
                return stored;
        }
    }
    return std::nullopt;
}

std::optional<QStringList> RegistryTree::valueNames(RegistryRoot root, const QString &path) const
{
    const Key *key = findKey(root, path);
    if (!key)
        return std::nullopt;
    QStringList names;
    for (const auto &entry : key->values)
        names.append(entry.first);
    return names;
}

std::optional<QStringList> RegistryTree::subkeyNames(RegistryRoot root, const QString &path) const
{
    const Key *key = findKey(root, path);
    if (!key)
        return std::nullopt;
    QStringList names;
    for (const Key &subkey : key->subkeys)
        names.append(subkey.name);
    return names;
}

RegistryTree::Key *RegistryTree::createKey(RegistryRoot root, const QStringList &names)
{
    Key *key = &rootKey(root);
    for (const QString &name : names) {
        Key *next = findSubkey(*key, name);
        if (!next) {
            auto &subkeys = key->subkeys;
            const auto at = std::lower_bound(subkeys.begin(), subkeys.end(), name,
                                             [](const Key &k, const QString &n) {
                                                 return k.name.compare(n, Qt::CaseInsensitive) < 0;
                                             });
            next = &*subkeys.insert(at, Key{name, {}, {}});
        }
        key = next;
    }
    return key;
}

StoreResult RegistryTree::createKey(RegistryRoot root, const QString &path)
{
    const auto names = splitPath(path);
    if (!names)
        return StoreResult::KeyUnavailable;
    createKey(root, *names);
    return StoreResult::Ok;
}

StoreResult RegistryTree::setValue(RegistryRoot root, const QString &path, const QString &name,
                                   const RegistryValue &value)
{
    const auto names = splitPath(path);
    if (!names)
        return StoreResult::KeyUnavailable;
    if (!isValidValueName(name))
        return StoreResult::Refused;
    Key *key = createKey(root, *names);
    for (auto &entry : key->values) {
        if (sameName(entry.first, name)) {
            entry.second = value;
            return StoreResult::Ok;
        }
    }
    key->values.append({name, value});
    return StoreResult::Ok;
}

StoreResult RegistryTree::deleteKey(RegistryRoot root, const QString &path)
{
    const auto names = splitPath(path);
    if (!names || names->isEmpty())
        return StoreResult::KeyUnavailable; // a root cannot be deleted
    Key *parent = walk(rootKey(root), names->first(names->size() - 1));
    Key *key = parent ? findSubkey(*parent, names->last()) : nullptr;
    if (!key)
        return StoreResult::KeyUnavailable;
    if (!key->subkeys.empty())
        return StoreResult::Refused;
    parent->subkeys.erase(parent->subkeys.begin() + (key - parent->subkeys.data()));
    return StoreResult::Ok;
}

void RegistryTree::deleteKeyTree(RegistryRoot root, const QString &path)
{
    const auto names = splitPath(path);
    if (!names || names->isEmpty())
        return;
    Key *parent = walk(rootKey(root), names->first(names->size() - 1));
    if (Key *key = parent ? findSubkey(*parent, names->last()) : nullptr)
        parent->subkeys.erase(parent->subkeys.begin() + (key - parent->subkeys.data()));
}

StoreResult RegistryTree::deleteValue(RegistryRoot root, const QString &path, const QString &name)
{
    const auto names = splitPath(path);
    Key *key = names ? walk(rootKey(root), *names) : nullptr;
    if (!key)
        return StoreResult::KeyUnavailable;
    const auto found = std::find_if(key->values.begin(), key->values.end(),
                                    [&](const auto &entry) { return sameName(entry.first, name); });
    if (found == key->values.end())
        return StoreResult::Refused;
    key->values.erase(found);
    return StoreResult::Ok;
}
