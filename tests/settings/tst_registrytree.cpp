#include "settings/RegistryTree.h"

#include <QTest>

#include <algorithm>

// The tree searches the names of a key with few values or subkeys and hashes
// those of a key with many; both must find names as Qt compares them without case.
class tst_RegistryTree : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void namesMatchAsQtComparesThem_data();
    void namesMatchAsQtComparesThem();
    void subkeysComeInNameOrder_data();
    void subkeysComeInNameOrder();
    void deletionsKeepTheRestFindable_data();
    void deletionsKeepTheRestFindable();
    void equalityIgnoresCreationOrderOnly();
    void keyOpenedForManyValues();
};

namespace {
const auto User = RegistryRoot::CurrentUser;
const QString Parent = QStringLiteral("Software\\Test");

RegistryValue sz(const QByteArray &text)
{
    return {RegistryType::Sz, QByteArray(text).append('\0')};
}

QString pathOf(const QString &name)
{
    return Parent + u'\\' + name;
}

QString fromUcs4(char32_t point)
{
    return QString::fromUcs4(&point, 1);
}
} // namespace

void tst_RegistryTree::namesMatchAsQtComparesThem_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("asked");
    QTest::addColumn<bool>("same");
    QTest::addColumn<int>("others"); // further names in the key

    const struct
    {
        const char *row;
        QString stored;
        QString asked;
        bool same;
    } pairs[] = {
        {"ASCII in another case", QStringLiteral("MaxPages"), QStringLiteral("MAXpages"), true},
        {"another name", QStringLiteral("MaxPages"), QStringLiteral("MaxFiles"), false},
        {"a longer name", QStringLiteral("Max"), QStringLiteral("MaxFiles"), false},
        {"the default value's empty name", QString(), QString(), true},
        {"accented letters", QStringLiteral("Grüße"), QStringLiteral("GRÜßE"), true},
        {"sharp s is no double s", QStringLiteral("Straße"), QStringLiteral("STRASSE"), false},
        {"final sigma", QStringLiteral("ΛΌΓΟΣ"), QStringLiteral("λόγος"), true},
        {"Kelvin sign", QStringLiteral("\u212Aelvin"), QStringLiteral("kelvin"), true},
        {"dotted capital I", QStringLiteral("\u0130stanbul"), QStringLiteral("istanbul"), false},
        {"title-case digraph", QStringLiteral("\u01C5"), QStringLiteral("\u01C4"), true},
        {"letters beyond 16 bits", fromUcs4(0x10400), fromUcs4(0x10428), true},
        {"different letters beyond 16 bits", fromUcs4(0x10400), fromUcs4(0x10401), false},
        {"lone surrogate", QString(QChar(char16_t(0xD801))), QString(QChar(char16_t(0xD801))), true},
    };
    for (const auto &pair : pairs) {
        for (const int others : {0, 3, 40}) {
            QTest::addRow("%s, %d other names", pair.row, others)
                << pair.stored << pair.asked << pair.same << others;
        }
    }
}

void tst_RegistryTree::namesMatchAsQtComparesThem()
{
    QFETCH(QString, stored);
    QFETCH(QString, asked);
    QFETCH(bool, same);
    QFETCH(int, others);
    QCOMPARE(stored.compare(asked, Qt::CaseInsensitive) == 0, same);

    RegistryTree tree;
    for (int i = 0; i < others; ++i) {
        tree.setValue(User, Parent, QStringLiteral("other%1").arg(i), sz("o"));
        tree.createKey(User, pathOf(QStringLiteral("other%1").arg(i)));
    }
    QCOMPARE(tree.setValue(User, Parent, stored, sz("first")), StoreResult::Ok);
    QCOMPARE(tree.value(User, Parent, asked).has_value(), same);
    QCOMPARE(tree.setValue(User, Parent, asked, sz("second")), StoreResult::Ok);
    QCOMPARE(tree.value(User, Parent, stored), sz(same ? "second" : "first"));
    QStringList names = *tree.valueNames(User, Parent);
    QCOMPARE(names.size(), others + (same ? 1 : 2));
    QCOMPARE(names.at(others), stored); // the first spelling stays

    if (stored.isEmpty())
        return; // no key has an empty name
    QCOMPARE(tree.createKey(User, pathOf(stored)), StoreResult::Ok);
    QCOMPARE(tree.keyExists(User, pathOf(asked)), same);
    QCOMPARE(tree.createKey(User, pathOf(asked)), StoreResult::Ok);
    QCOMPARE(tree.subkeyNames(User, Parent)->size(), others + (same ? 1 : 2));
    QCOMPARE(tree.deleteKey(User, pathOf(asked)), StoreResult::Ok);
    QCOMPARE(tree.keyExists(User, pathOf(stored)), !same);
}

void tst_RegistryTree::subkeysComeInNameOrder_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("few") << 5;
    QTest::newRow("many") << 300;
}

void tst_RegistryTree::subkeysComeInNameOrder()
{
    QFETCH(int, count);
    QStringList created;
    for (int i = 0; i < count; ++i) {
        // A scrambled order of names in mixed case.
        const int n = (i * 37) % count;
        created.append((n % 2 ? QStringLiteral("Key") : QStringLiteral("key")) + QString::number(n));
    }
    RegistryTree tree;
    for (const QString &name : std::as_const(created))
        QCOMPARE(tree.createKey(User, pathOf(name)), StoreResult::Ok);
    QStringList expected = created;
    std::sort(expected.begin(), expected.end(),
              [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    QCOMPARE(tree.subkeyNames(User, Parent), expected);
    // The order the keys were created in does not show.
    QVERIFY(expected != created);
}

void tst_RegistryTree::deletionsKeepTheRestFindable_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("deleted");
    QTest::newRow("few, a few deleted") << 6 << 3;
    QTest::newRow("many, a few deleted") << 60 << 3;
    QTest::newRow("many, down to few") << 60 << 55;
    QTest::newRow("many, all deleted") << 60 << 60;
}

void tst_RegistryTree::deletionsKeepTheRestFindable()
{
    QFETCH(int, count);
    QFETCH(int, deleted);
    RegistryTree tree;
    QStringList names;
    for (int i = 0; i < count; ++i) {
        names.append(QStringLiteral("Name%1").arg(i));
        tree.setValue(User, Parent, names.last(), sz(QByteArray::number(i)));
        tree.createKey(User, pathOf(names.last()));
    }
    // The last, the first and then from the middle outwards.
    QStringList gone;
    QStringList order{names.last(), names.first()};
    for (int i = 0; i < count; ++i)
        order.append(names.at((count / 2 + (i % 2 ? -i : i) / 2 + count) % count));
    for (const QString &name : std::as_const(order)) {
        if (gone.size() == deleted)
            break;
        if (gone.contains(name))
            continue;
        QCOMPARE(tree.deleteValue(User, Parent, name.toUpper()), StoreResult::Ok);
        QCOMPARE(tree.deleteKey(User, pathOf(name.toLower())), StoreResult::Ok);
        gone.append(name);
    }
    QStringList kept;
    for (int i = 0; i < count; ++i) {
        const QString &name = names.at(i);
        const bool isGone = gone.contains(name);
        QCOMPARE(tree.value(User, Parent, name.toLower()), isGone ? std::nullopt : std::optional(sz(QByteArray::number(i))));
        QCOMPARE(tree.keyExists(User, pathOf(name.toUpper())), !isGone);
        if (!isGone)
            kept.append(name);
    }
    QCOMPARE(tree.valueNames(User, Parent), kept); // the values keep their order
    QStringList sortedKept = kept;
    std::sort(sortedKept.begin(), sortedKept.end(),
              [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    QCOMPARE(tree.subkeyNames(User, Parent), sortedKept);
    QCOMPARE(tree.deleteValue(User, Parent, gone.first()), StoreResult::Refused);
    QCOMPARE(tree.deleteKey(User, pathOf(gone.first())), StoreResult::KeyUnavailable);

    // A name set again comes last among the values.
    QCOMPARE(tree.setValue(User, Parent, gone.first(), sz("again")), StoreResult::Ok);
    QCOMPARE(tree.valueNames(User, Parent)->last(), gone.first());
    QCOMPARE(tree.value(User, Parent, gone.first().toUpper()), sz("again"));
}

void tst_RegistryTree::equalityIgnoresCreationOrderOnly()
{
    const auto build = [](const QStringList &keys, const QStringList &values) {
        RegistryTree tree;
        for (const QString &key : keys)
            tree.createKey(User, pathOf(key));
        for (const QString &value : values)
            tree.setValue(User, Parent, value, sz(value.toUtf8()));
        return tree;
    };
    QStringList keys;
    QStringList values;
    for (int i = 0; i < 20; ++i) {
        keys.append(QStringLiteral("k%1").arg(i));
        values.append(QStringLiteral("v%1").arg(i));
    }
    QStringList reversedKeys = keys;
    std::reverse(reversedKeys.begin(), reversedKeys.end());
    QStringList reversedValues = values;
    std::reverse(reversedValues.begin(), reversedValues.end());

    const RegistryTree tree = build(keys, values);
    QVERIFY(tree == build(reversedKeys, values));
    QVERIFY(!(tree == build(keys, reversedValues))); // values have an order
    QStringList respelled = keys;
    respelled[7] = respelled[7].toUpper();
    QVERIFY(!(tree == build(respelled, values))); // names keep their spelling
    RegistryTree changed = tree;
    QVERIFY(changed == tree);
    changed.setValue(User, Parent, QStringLiteral("V3"), sz("other"));
    QVERIFY(!(changed == tree));
    changed = tree;
    changed.createKey(User, pathOf(QStringLiteral("k3\\below")));
    QVERIFY(!(changed == tree));
}

void tst_RegistryTree::keyOpenedForManyValues()
{
    RegistryTree tree;
    QVERIFY(!tree.createOrOpenKey(User, QStringLiteral("a\\\\b"))); // an empty name
    RegistryTree::Key *key = tree.createOrOpenKey(User, Parent);
    QVERIFY(key);
    QCOMPARE(key, tree.createOrOpenKey(User, QStringLiteral("SOFTWARE\\test")));
    QCOMPARE(key->setValue(QStringLiteral("a"), sz("1")), StoreResult::Ok);
    QCOMPARE(key->setValue(QStringLiteral("line\rbreak"), sz("1")), StoreResult::Refused);
    QCOMPARE(tree.value(User, Parent, QStringLiteral("A")), sz("1"));
    QVERIFY(key->removeValue(QStringLiteral("A")));
    QVERIFY(!key->removeValue(QStringLiteral("a")));
    QCOMPARE(tree.valueNames(User, Parent), QStringList());
}

QTEST_APPLESS_MAIN(tst_RegistryTree)
#include "tst_registrytree.moc"
