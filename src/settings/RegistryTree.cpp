#include "settings/RegistryTree.h"

#include <algorithm>

namespace {

// Lists up to this long are searched; longer ones keep a hashed index.
constexpr qsizetype SearchLimit = 8;

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool nameBefore(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) < 0;
}

using NameIndex = QHash<RegistryTree::Key::NameKey, qsizetype>;

bool holdsLineBreak(const QString &text)
{
    return text.contains(u'\n') || text.contains(u'\r');
}

// Position of the name in a list of named items, or -1.
template<typename List, typename NameOf>
qsizetype findIn(const List &list, const NameIndex &index, const QString &name, NameOf nameOf)
{
    if (qsizetype(list.size()) <= SearchLimit) {
        for (qsizetype i = 0; i < qsizetype(list.size()); ++i) {
            if (sameName(nameOf(list[i]), name))
                return i;
        }
        return -1;
    }
    return index.value({name}, -1);
}

// Brings the index in line with the list after the list changed at `from` and
// everything behind it.
template<typename List, typename NameOf>
void reindex(const List &list, NameIndex &index, qsizetype from, NameOf nameOf)
{
    const auto size = qsizetype(list.size());
    if (size <= SearchLimit) {
        index.clear();
        return;
    }
    if (index.isEmpty())
        from = 0; // the list has just grown past the limit
    for (qsizetype i = from; i < size; ++i)
        index.insert({nameOf(list[i])}, i);
}

// Records the one item just appended to a list.
template<typename List, typename NameOf>
void indexAppended(const List &list, NameIndex &index, NameOf nameOf)
{
    const auto last = qsizetype(list.size()) - 1;
    if (index.isEmpty())
        reindex(list, index, last, nameOf);
    else
        index.insert({nameOf(list[size_t(last)])}, last);
}

const QString &valueName(const std::pair<QString, RegistryValue> &entry)
{
    return entry.first;
}

const QString &keyName(const RegistryTree::Key &key)
{
    return key.name();
}

} // namespace

// Hashes the name folded character by character, as Qt folds the characters of
// two names it compares without case, so names that compare equal hash equal.
size_t qHash(const RegistryTree::Key::NameKey &key, size_t seed)
{
    // FNV-1a over the folded code units, started from the seed.
    constexpr quint64 Prime = 0x100000001b3;
    quint64 hash = 0xcbf29ce484222325 ^ quint64(seed);
    const auto mix = [&hash](char16_t unit) { hash = (hash ^ unit) * Prime; };
    const QString &name = key.name;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t unit = name[i].unicode();
        if (unit < 0x80) {
            mix(unit >= u'A' && unit <= u'Z' ? char16_t(unit + 0x20) : unit);
        } else if (QChar::isHighSurrogate(unit) && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            const char32_t point = QChar::toCaseFolded(QChar::surrogateToUcs4(unit, name[i + 1].unicode()));
            mix(QChar::highSurrogate(point));
            mix(QChar::lowSurrogate(point));
            ++i;
        } else {
            mix(char16_t(QChar::toCaseFolded(char32_t(unit))));
        }
    }
    return size_t(hash ^ hash >> 32);
}

std::vector<const RegistryTree::Key *> RegistryTree::Key::sortedSubkeys() const
{
    std::vector<const Key *> sorted;
    sorted.reserve(m_subkeys.size());
    for (const Key &key : m_subkeys)
        sorted.push_back(&key);
    std::sort(sorted.begin(), sorted.end(),
              [](const Key *a, const Key *b) { return nameBefore(a->m_name, b->m_name); });
    return sorted;
}

bool operator==(const RegistryTree::Key &a, const RegistryTree::Key &b)
{
    if (a.m_name != b.m_name || a.m_values != b.m_values || a.m_subkeys.size() != b.m_subkeys.size())
        return false;
    for (const RegistryTree::Key &subkey : a.m_subkeys) {
        const RegistryTree::Key *other = b.subkey(subkey.m_name);
        if (!other || !(subkey == *other))
            return false;
    }
    return true;
}

const RegistryTree::Key *RegistryTree::Key::subkey(const QString &name) const
{
    const qsizetype at = findIn(m_subkeys, m_subkeyIndex, name, keyName);
    return at < 0 ? nullptr : &m_subkeys[size_t(at)];
}

RegistryTree::Key *RegistryTree::Key::subkey(const QString &name)
{
    const qsizetype at = findIn(m_subkeys, m_subkeyIndex, name, keyName);
    return at < 0 ? nullptr : &m_subkeys[size_t(at)];
}

RegistryTree::Key &RegistryTree::Key::addSubkey(const QString &name)
{
    m_subkeys.emplace_back(name);
    indexAppended(m_subkeys, m_subkeyIndex, keyName);
    return m_subkeys.back();
}

void RegistryTree::Key::removeSubkey(const Key *subkey)
{
    // Subkeys are kept in no particular order, so the last one takes the place
    // of the one removed and nothing else moves.
    const auto at = size_t(subkey - m_subkeys.data());
    const size_t last = m_subkeys.size() - 1;
    if (!m_subkeyIndex.isEmpty())
        m_subkeyIndex.remove({subkey->m_name});
    if (at != last)
        m_subkeys[at] = std::move(m_subkeys[last]);
    m_subkeys.pop_back();
    if (qsizetype(m_subkeys.size()) <= SearchLimit)
        m_subkeyIndex.clear();
    else if (at != last)
        m_subkeyIndex.insert({m_subkeys[at].m_name}, qsizetype(at));
}

const RegistryValue *RegistryTree::Key::value(const QString &name) const
{
    const qsizetype at = findIn(m_values, m_valueIndex, name, valueName);
    return at < 0 ? nullptr : &m_values[at].second;
}

StoreResult RegistryTree::Key::setValue(const QString &name, const RegistryValue &value)
{
    if (!isValidValueName(name))
        return StoreResult::Refused;
    const qsizetype at = findIn(m_values, m_valueIndex, name, valueName);
    if (at >= 0) {
        m_values[at].second = value;
    } else {
        m_values.append({name, value});
        indexAppended(m_values, m_valueIndex, valueName);
    }
    return StoreResult::Ok;
}

bool RegistryTree::Key::removeValue(const QString &name)
{
    const qsizetype at = findIn(m_values, m_valueIndex, name, valueName);
    if (at < 0)
        return false;
    if (!m_valueIndex.isEmpty())
        m_valueIndex.remove({m_values[at].first});
    m_values.removeAt(at); // values keep their order
    reindex(m_values, m_valueIndex, at, valueName);
    return true;
}

RegistryTree::RegistryTree()
    : m_classesRoot(rootName(RegistryRoot::ClassesRoot)), m_currentUser(rootName(RegistryRoot::CurrentUser))
{
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
    if (!names)
        return nullptr;
    const Key *key = &rootKey(root);
    for (const QString &name : *names) {
        key = key->subkey(name);
        if (!key)
            return nullptr;
    }
    return key;
}

RegistryTree::Key *RegistryTree::createOrOpenKey(RegistryRoot root, const QString &path)
{
    const auto names = splitPath(path);
    return names ? createKey(root, *names) : nullptr;
}

bool RegistryTree::keyExists(RegistryRoot root, const QString &path) const
{
    return findKey(root, path) != nullptr;
}

std::optional<RegistryValue> RegistryTree::value(RegistryRoot root, const QString &path,
                                                 const QString &name) const
{
    const Key *key = findKey(root, path);
    const RegistryValue *found = key ? key->value(name) : nullptr;
    return found ? std::optional<RegistryValue>(*found) : std::nullopt;
}

std::optional<QStringList> RegistryTree::valueNames(RegistryRoot root, const QString &path) const
{
    const Key *key = findKey(root, path);
    if (!key)
        return std::nullopt;
    QStringList names;
    names.reserve(key->m_values.size());
    for (const auto &entry : key->m_values)
        names.append(entry.first);
    return names;
}

std::optional<QStringList> RegistryTree::subkeyNames(RegistryRoot root, const QString &path) const
{
    const Key *key = findKey(root, path);
    if (!key)
        return std::nullopt;
    QStringList names;
    names.reserve(key->subkeyCount());
    for (const Key *subkey : key->sortedSubkeys())
        names.append(subkey->m_name);
    return names;
}

RegistryTree::Key *RegistryTree::createKey(RegistryRoot root, const QStringList &names)
{
    Key *key = &rootKey(root);
    for (const QString &name : names) {
        Key *next = key->subkey(name);
        key = next ? next : &key->addSubkey(name);
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
    return createKey(root, *names)->setValue(name, value);
}

StoreResult RegistryTree::deleteKey(RegistryRoot root, const QString &path)
{
    const auto names = splitPath(path);
    if (!names || names->isEmpty())
        return StoreResult::KeyUnavailable; // a root cannot be deleted
    Key *parent = &rootKey(root);
    for (qsizetype i = 0; parent && i + 1 < names->size(); ++i)
        parent = parent->subkey(names->at(i));
    const Key *key = parent ? parent->subkey(names->last()) : nullptr;
    if (!key)
        return StoreResult::KeyUnavailable;
    if (key->subkeyCount() != 0)
        return StoreResult::Refused;
    parent->removeSubkey(key);
    return StoreResult::Ok;
}

void RegistryTree::deleteKeyTree(RegistryRoot root, const QString &path)
{
    const auto names = splitPath(path);
    if (!names || names->isEmpty())
        return;
    Key *parent = &rootKey(root);
    for (qsizetype i = 0; parent && i + 1 < names->size(); ++i)
        parent = parent->subkey(names->at(i));
    if (const Key *key = parent ? parent->subkey(names->last()) : nullptr)
        parent->removeSubkey(key);
}

StoreResult RegistryTree::deleteValue(RegistryRoot root, const QString &path, const QString &name)
{
    const auto names = splitPath(path);
    if (!names)
        return StoreResult::KeyUnavailable;
    Key *key = &rootKey(root);
    for (const QString &keyName : *names) {
        key = key->subkey(keyName);
        if (!key)
            return StoreResult::KeyUnavailable;
    }
    return key->removeValue(name) ? StoreResult::Ok : StoreResult::Refused;
}
