// The settings file on arbitrary bytes: whatever a user or another program left
// in registry.reg.
//
// Checked for every input:
// - reading it does not crash;
// - what was read survives being written back: the text the store writes reads
//   as not damaged and gives the same keys and values, the data bytes of every
//   value unchanged. For a file that reads as not damaged this is the whole
//   file; for a damaged one it is what could be read, which the store keeps;
// - a change through the file store (one value set) keeps every other value
//   byte for byte, leaves the file as it was when nothing changes, leaves no
//   lock file behind, and keeps a damaged file aside, unchanged, before
//   replacing it.

#include "FuzzCheck.h"

#include "settings/RegistryFileFormat.h"
#include "settings/RegistryFileStore.h"
#include "settings/RegistryStore.h"
#include "settings/RegistryTree.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace {

std::unique_ptr<QTemporaryDir> scratch;

const QString MarkPath = QStringLiteral("Software\\Trovewick\\FuzzCheck");
const QString MarkName = QStringLiteral("Mark");
const RegistryValue Mark{RegistryType::Dword, QByteArray("\x2a\x00\x00\x00", 4)};

// One value with the key it sits in, for telling where two trees differ.
struct FlatValue
{
    QString where;
    RegistryValue value;
};

// Through the tree's own queries only, so the listing does not depend on how a
// key keeps its values and subkeys.
void flatten(const RegistryTree &tree, RegistryRoot root, const QString &path, const QString &shown,
             std::vector<FlatValue> &out)
{
    const std::optional<QStringList> names = tree.valueNames(root, path);
    if (!names)
        return;
    for (const QString &name : *names) {
        out.push_back({shown + QStringLiteral(" : \"") + name + u'"',
                       tree.value(root, path, name).value_or(RegistryValue{})});
    }
    if (names->isEmpty())
        out.push_back({shown, {}});
    for (const QString &subkey : tree.subkeyNames(root, path).value_or(QStringList()))
        flatten(tree, root, path.isEmpty() ? subkey : path + u'\\' + subkey, shown + u'\\' + subkey, out);
}

std::vector<FlatValue> flatten(const RegistryTree &tree)
{
    std::vector<FlatValue> out;
    for (const RegistryRoot root : {RegistryRoot::ClassesRoot, RegistryRoot::CurrentUser})
        flatten(tree, root, QString(), RegistryTree::rootName(root), out);
    return out;
}

// Printable ASCII as it is, every other UTF-16 unit as \uXXXX, so a difference
// in a lone surrogate or a replacement character shows.
QByteArray escaped(const QString &text)
{
    QByteArray out;
    for (const QChar c : text) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7f)
            out.append(char(c.unicode()));
        else
            out.append(QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QChar(u'0')).toLatin1());
    }
    return out;
}

// Says on standard error where two trees that should be equal first differ.
void describeDifference(const RegistryTree &expected, const RegistryTree &actual)
{
    const std::vector<FlatValue> a = flatten(expected);
    const std::vector<FlatValue> b = flatten(actual);
    for (size_t i = 0; i < a.size() || i < b.size(); ++i) {
        const FlatValue *x = i < a.size() ? &a[i] : nullptr;
        const FlatValue *y = i < b.size() ? &b[i] : nullptr;
        if (x && y && x->where == y->where && x->value == y->value)
            continue;
        const auto show = [](const char *label, const FlatValue *v) {
            if (!v) {
                std::fprintf(stderr, "  %s: nothing\n", label);
                return;
            }
            std::fprintf(stderr, "  %s: %s type %d data %s\n", label, escaped(v->where).constData(),
                         int(v->value.type), v->value.data.toHex(' ').constData());
        };
        std::fprintf(stderr, "settings trees differ at entry %zu:\n", i);
        show("read first", x);
        show("read again", y);
        return;
    }
}

void checkSameTree(const RegistryTree &expected, const RegistryTree &actual, bool inputDamaged)
{
    if (!(expected == actual)) {
        std::fprintf(stderr, "the input file reads as %s\n", inputDamaged ? "damaged" : "not damaged");
        describeDifference(expected, actual);
    }
    FUZZ_CHECK(expected == actual);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fuzzFailed("cannot read back the settings file", __FILE__, __LINE__);
    return file.readAll();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    scratch = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/fuzz_registry_file-XXXXXX"));
    if (!scratch->isValid())
        fuzzFailed("no scratch folder", __FILE__, __LINE__);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const RegistryFileFormat::ParseResult first = RegistryFileFormat::parse(input);

    // Written back and read again.
    const QByteArray written = RegistryFileFormat::serialize(first.tree);
    const RegistryFileFormat::ParseResult again = RegistryFileFormat::parse(written);
    FUZZ_CHECK(!again.damaged);
    checkSameTree(first.tree, again.tree, first.damaged);

    // One change through the file store, which rewrites the whole file.
    QDir dir(scratch->path());
    const QString path = dir.filePath(QStringLiteral("registry.reg"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(input) != input.size())
            fuzzFailed("cannot write the settings file", __FILE__, __LINE__);
    }
    RegistryFileStore store(path);
    FUZZ_CHECK(store.setValue(RegistryRoot::CurrentUser, MarkPath, MarkName, Mark) == StoreResult::Ok);

    RegistryTree expected = first.tree;
    FUZZ_CHECK(expected.setValue(RegistryRoot::CurrentUser, MarkPath, MarkName, Mark) == StoreResult::Ok);
    const bool changed = !(expected == first.tree);
    const QByteArray stored = readFile(path);
    if (!changed)
        FUZZ_CHECK(stored == input);
    const RegistryFileFormat::ParseResult afterChange = RegistryFileFormat::parse(stored);
    FUZZ_CHECK(!afterChange.damaged);
    checkSameTree(expected, afterChange.tree, first.damaged);

    const QStringList left = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    const QStringList copies = dir.entryList({QStringLiteral("registry.reg.damaged-*")}, QDir::Files);
    FUZZ_CHECK(!left.contains(QStringLiteral("registry.reg.lock")));
    if (first.damaged && changed) {
        FUZZ_CHECK(copies.size() == 1);
        FUZZ_CHECK(readFile(dir.filePath(copies.constFirst())) == input);
    } else {
        FUZZ_CHECK(copies.isEmpty());
    }
    for (const QString &name : left)
        dir.remove(name);
    return 0;
}
