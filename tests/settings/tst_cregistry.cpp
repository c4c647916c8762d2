#include "common/AppError.h"
#include "settings/RegistryFileStore.h"
#include "settings/cRegistry.h"
#include "support/MemoryRegistryStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using Root = RegistryRoot;

class tst_cRegistry : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void absentValueGivesDefault();
    void missingKeyOrUnknownRootGivesDefault();
    void stringReadDropsItsNul_data();
    void stringReadDropsItsNul();
    void textWriteStoresTextAndNul();
    void percentSignsChooseTheStoredType_data();
    void percentSignsChooseTheStoredType();
    void expandableStringReadsExpanded();
    void readAfterWriteSetsTypeFound();
    void dwordReads_data();
    void dwordReads();
    void otherTypesReadAsBytes();
    void integerWritesStoreLittleEndianDword_data();
    void integerWritesStoreLittleEndianDword();
    void nonIntegerDwordWriteStoresNothing();
    void binaryWriteStoresTheWholeArray();
    void binaryWriteOfNonArrayRaises();
    void unsupportedTypeRaises_data();
    void unsupportedTypeRaises();
    void refusedWriteRaises();
    void writeToUnknownRootRaises();
    void writesCreateTheKey();
    void keyExistsAndCreateKey();
    void createKeyFailureRaises_data();
    void createKeyFailureRaises();
    void namesIgnoreCase();
    void deleteKey();
    void deleteValue();
    void enumerateValues();
    void enumerateSections();
    void enumerateSectionsStopsAtAnOverlongName();
    void enumerateSectionsFailureRaises();
    void createExeAssociation();
    void createExeAssociationQuotesThePath_data();
    void createExeAssociationQuotesThePath();
    void createExeAssociationMenuTexts();
    void additionalAssociations();
    void additionalAssociationsNeedTriples();
    void additionalAssociationsNeedTheClass();
    void additionalAssociationsSkipFailedWrites();
    void reverseBytes32_data();
    void reverseBytes32();
    void expandEnvironmentRefs_data();
    void expandEnvironmentRefs();
    void fileStoreRoundTrip();

private:
    cRegistry userRegistry(const QString &section = QStringLiteral("Software\\Test"));
    static void checkError(const AppError &error, qint64 number, const QString &description);

    QTemporaryDir m_config;
    std::shared_ptr<MemoryRegistryStore> m_store;
};

namespace {
const QString TestSection = QStringLiteral("Software\\Test");

RegistryValue sz(const QByteArray &text)
{
    return {RegistryType::Sz, QByteArray(text).append('\0')};
}
} // namespace

void tst_cRegistry::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    qputenv("TROVE_TEST_DIR", "/srv/trove");
    qputenv("TROVE_TEST_EMPTY", "");
    qunsetenv("TROVE_TEST_UNSET");
}

void tst_cRegistry::init()
{
    m_store = std::make_shared<MemoryRegistryStore>();
}

cRegistry tst_cRegistry::userRegistry(const QString &section)
{
    cRegistry registry(m_store);
    registry.setClassKey(cRegistry::HKEY_CURRENT_USER);
    registry.setSectionKey(section);
    registry.setValueType(cRegistry::REG_SZ);
    return registry;
}

void tst_cRegistry::checkError(const AppError &error, qint64 number, const QString &description)
{
    QCOMPARE(error.number(), number);
    QCOMPARE(error.source(), QStringLiteral("tst_cregistry.cRegistry"));
    QCOMPARE(error.description(), description);
}

void tst_cRegistry::absentValueGivesDefault()
{
    m_store->tree.setValue(Root::CurrentUser, TestSection, QStringLiteral("other"), sz("x"));
    cRegistry registry = userRegistry();
    registry.setValueKey(QStringLiteral("missing"));
    registry.setValueType(cRegistry::REG_BINARY);
    QCOMPARE(registry.Value(), QVariant());
    QCOMPARE(registry.ValueType(), qint32(cRegistry::REG_BINARY));

    registry.setDefault(QStringLiteral("fallback"));
    QCOMPARE(registry.Value(), QVariant(QStringLiteral("fallback")));
    QCOMPARE(registry.ValueType(), qint32(cRegistry::REG_BINARY));
}

void tst_cRegistry::missingKeyOrUnknownRootGivesDefault()
{
    m_store->tree.setValue(Root::CurrentUser, TestSection, QStringLiteral("v"), sz("x"));
    cRegistry registry = userRegistry(QStringLiteral("Software\\Missing"));
    registry.setValueKey(QStringLiteral("v"));
    registry.setDefault(7);
    QCOMPARE(registry.Value(), QVariant(7));

    registry.setSectionKey(TestSection);
    registry.setClassKey(0x80000002 - 0x100000000LL); // a root the store does not keep
    QCOMPARE(registry.Value(), QVariant(7));
    QCOMPARE(registry.ValueType(), qint32(cRegistry::REG_SZ));
}

void tst_cRegistry::stringReadDropsItsNul_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("expected");
    QTest::newRow("13 bytes give 12 characters") << 1 << QByteArray("asp,htm,html\0", 13)
                                                 << QStringLiteral("asp,htm,html");
    QTest::newRow("stored without NUL keeps every character") << 1 << QByteArray("abc")
                                                              << QStringLiteral("abc");
    QTest::newRow("no data at all") << 1 << QByteArray() << QString();
    QTest::newRow("just the NUL") << 1 << QByteArray("\0", 1) << QString();
    QTest::newRow("non-ASCII text") << 1 << QByteArray("Grüße\0", 8) << QStringLiteral("Grüße");
    QTest::newRow("multi-string keeps its separators") << 7 << QByteArray("a\0bc\0\0", 6)
                                                       << QString::fromUtf8("a\0bc\0", 5);
}

void tst_cRegistry::stringReadDropsItsNul()
{
    QFETCH(int, type);
    QFETCH(QByteArray, stored);
    QFETCH(QString, expected);
    m_store->tree.setValue(Root::CurrentUser, TestSection, QStringLiteral("v"), {type, stored});
    cRegistry registry = userRegistry();
    registry.setValueKey(QStringLiteral("v"));
    registry.setValueType(0);
    const QVariant value = registry.Value();
    QCOMPARE(value.metaType().id(), QMetaType::QString);
    QCOMPARE(value.toString(), expected);
    QCOMPARE(registry.ValueType(), qint32(type));
}

void tst_cRegistry::textWriteStoresTextAndNul()
{
    cRegistry registry = userRegistry();
    registry.setValueKey(QStringLiteral("MaxPages"));
    registry.setValue(QStringLiteral("100"));
    const auto stored = m_store->tree.value(Root::CurrentUser, TestSection, QStringLiteral("MaxPages"));
    QVERIFY(stored);
    QCOMPARE(stored->type, RegistryType::Sz);
    QCOMPARE(stored->data, QByteArray("100\0", 4));

    // Other scalars are stored as their text; the empty variant as the empty text.
    registry.setValue(QVariant(qint16(-5)));
    QCOMPARE(m_store->tree.value(Root::CurrentUser, TestSection, QStringLiteral("MaxPages"))->data,
             QByteArray("-5\0", 3));
    registry.setValue(QVariant());
    QCOMPARE(m_store->tree.value(Root::CurrentUser, TestSection, QStringLiteral("MaxPages"))->data,
             QByteArray("\0", 1));
}

void tst_cRegistry::percentSignsChooseTheStoredType_data()
{
    QTest::addColumn<int>("valueType");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("storedType");
    QTest::newRow("reference") << 1 << QStringLiteral("x,%TEMP%,y") << 2;
    QTest::newRow("one character between") << 1 << QStringLiteral("%a%") << 2;
    QTest::newRow("two adjacent percent signs") << 1 << QStringLiteral("100%%") << 1;
    QTest::newRow("adjacent pair then another") << 1 << QStringLiteral("%%a%") << 2;
    QTest::newRow("one percent sign") << 1 << QStringLiteral("50%") << 1;
    QTest::newRow("no percent sign") << 1 << QStringLiteral("plain") << 1;
    QTest::newRow("expandable asked, plain text") << 2 << QStringLiteral("plain") << 1;
    QTest::newRow("expandable asked, reference") << 2 << QStringLiteral("%PATH%") << 2;
}

void tst_cRegistry::percentSignsChooseTheStoredType()
{
    QFETCH(int, valueType);
    QFETCH(QString, text);
    QFETCH(int, storedType);
    cRegistry registry = userRegistry();
    registry.setValueType(valueType);
    registry.setValueKey(QStringLiteral("v"));
    registry.setValue(text);
    const auto stored = m_store->tree.value(Root::CurrentUser, TestSection, QStringLiteral("v"));
    QVERIFY(stored);
    QCOMPARE(stored->type, storedType);
    QCOMPARE(stored->data, text.toUtf8().append('\0'));
    QCOMPARE(registry.ValueType(), qint32(valueType)); // a write does not change it
}

void tst_cRegistry::expandableStringReadsExpanded()
{
    cRegistry registry = userRegistry();
    registry.setValueKey(QStringLiteral("Search"));
    registry.setValue(QStringLiteral("gif,%TROVE_TEST_DIR%,jpg"));
    QCOMPARE(m_store->tree.value(Root::CurrentUser, TestSection, QStringLiteral("Search"))->type,
             RegistryType::ExpandSz);
    QCOMPARE(registry.Value(), QVariant(QStringLiteral("gif,/srv/trove,jpg")));
    QCOMPARE(registry.ValueType(), qint32(cRegistry::REG_EXPAND_SZ));
}

void tst_cRegistry::readAfterWriteSetsTypeFound()
{
    cRegistry registry = userRegistry();
    registry.setValueType(cRegistry::REG_EXPAND_SZ);
    registry.setValueKey(QStringLiteral("v"));
    registry.setValue(QStringLiteral("text"));
    QCOMPARE(registry.Value(), QVariant(QStringLiteral("text")));
    QCOMPARE(registry.ValueType(), qint32(cRegistry::REG_SZ));
}

void tst_cRegistry::dwordReads_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<qint32>("expected");
    QTest::newRow("dword 250") << 4 << QByteArray("\xfa\0\0\0", 4) << qint32(250);
    QTest::newRow("dword -1") << 4 << QByteArray("\xff\xff\xff\xff", 4) << qint32(-1);
    QTest::newRow("big-endian 00 00 01 00 is 256") << 5 << QByteArray("\0\0\1\0", 4) << qint32(256);
    QTest::newRow("big-endian 12 34 56 78") << 5 << QByteArray("\x12\x34\x56\x78", 4) << qint32(0x12345678);
    QTest::newRow("dword of two bytes") << 4 << QByteArray("\1\2", 2) << qint32(0x0201);
    QTest::newRow("dword of no bytes") << 4 << QByteArray() << qint32(0);
    QTest::newRow("dword of six bytes uses four") << 4 << QByteArray("\1\0\0\0\xff\xff", 6) << qint32(1);
    QTest::newRow("big-endian of two bytes") << 5 << QByteArray("\1\2", 2) << qint32(0x01020000);
}

void tst_cRegistry::dwordReads()
{
    QFETCH(int, type);
    QFETCH(QByteArray, stored);
    QFETCH(qint32, expected);
    m_store->tree.setValue(Root::CurrentUser, TestSection, QStringLiteral("n"), {type, stored});
    cRegistry registry = userRegistry();
    registry.setValueKey(QStringLiteral("n"));
    const QVariant value = registry.Value();
    QCOMPARE(value.metaType().id(), QMetaType::Int);
    QCOMPARE(value.toInt(), expected);
    QCOMPARE(registry.ValueType(), qint32(type));
}

void tst_cRegistry::otherTypesReadAsBytes()
{
    for (const int type : {3, 0, 11}) {
        m_store->tree.setValue(Root::CurrentUser, TestSection, QStringLiteral("b"),
                               {type, QByteArray("\0\1\2", 3)});
        cRegistry registry = userRegistry();
        registry.setValueKey(QStringLiteral("b"));
        const QVariant value = registry.Value();
        QCOMPARE(value.metaType().id(), QMetaType::QByteArray);
        QCOMPARE(value.toByteArray(), QByteArray("\0\1\2", 3));
        QCOMPARE(registry.ValueType(), qint32(type));
    }
}

void tst_cRegistry::integerWritesStoreLittleEndianDword_data()
{
    QTest::addColumn<int>("valueType");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("32-bit as dword") << 4 << QVariant(qint32(0x12345678)) << QByteArray("\x78\x56\x34\x12", 4);
    QTest::newRow("16-bit as dword") << 4 << QVariant::fromValue(qint16(-2)) << QByteArray("\xfe\xff\xff\xff", 4);
    QTest::newRow("big-endian asked, not swapped") << 5 << QVariant(qint32(256)) << QByteArray("\0\1\0\0", 4);
}

void tst_cRegistry::integerWritesStoreLittleEndianDword()
{
    QFETCH(int, valueType);
    QFETCH(QVariant, value);
    QFETCH(QByteArray, stored);
    cRegistry registry = userRegistry();
    registry.setValueType(valueType);
    registry.setValueKey(QStringLiteral("n"));
    registry.setValue(value);
    QCOMPARE(m_store->tree.value(Root::CurrentUser, TestSection, QStringLiteral("n")),
             (RegistryValue{RegistryType::Dword, stored}));
}

void tst_cRegistry::nonIntegerDwordWriteStoresNothing()
{
    cRegistry registry = userRegistry();
    registry.setValueType(cRegistry::REG_DWORD);
    registry.setValueKey(QStringLiteral("n"));
    for (const QVariant &value : {QVariant(QStringLiteral("250")), QVariant(2.5), QVariant(qint64(5)),
                                  QVariant(QByteArray("\1\0\0\0", 4)), QVariant()}) {
        registry.setValue(value);
        QVERIFY(!m_store->tree.value(Root::CurrentUser, TestSection, QStringLiteral("n")).has_value());
    }
    QCOMPARE(m_store->setValueCalls, 0);
}

void tst_cRegistry::binaryWriteStoresTheWholeArray()
{
    cRegistry registry = userRegistry();
    registry.setValueType(cRegistry::REG_BINARY);
    registry.setValueKey(QStringLiteral("b"));
    registry.setValue(QByteArray("\0\0\1\0\0", 5));
    QCOMPARE(m_store->tree.value(Root::CurrentUser, TestSection, QStringLiteral("b")),
             (RegistryValue{RegistryType::Binary, QByteArray("\0\0\1\0\0", 5)}));
}

void tst_cRegistry::binaryWriteOfNonArrayRaises()
{
    cRegistry registry = userRegistry();
    registry.setValueType(cRegistry::REG_BINARY);
    registry.setValueKey(QStringLiteral("b"));
    try {
        registry.setValue(QStringLiteral("bytes"));
        QFAIL("no error raised");
    } catch (const AppError &error) {
        // Only the number: no source and no description of its own.
        QCOMPARE(error.number(), 26001);
        QCOMPARE(error.source(), QString());
        QCOMPARE(error.description(), QString());
    }
    QCOMPARE(m_store->setValueCalls, 0);
}

void tst_cRegistry::unsupportedTypeRaises_data()
{
    QTest::addColumn<int>("valueType");
    QTest::newRow("none") << 0;
    QTest::newRow("6, link") << 6;
    QTest::newRow("multi-string") << 7;
    QTest::newRow("qword") << 11;
}

void tst_cRegistry::unsupportedTypeRaises()
{
    QFETCH(int, valueType);
    cRegistry registry = userRegistry(QStringLiteral("Software\\Trovewick\\Trovewick20"));
    registry.setValueType(valueType);
    registry.setValueKey(QStringLiteral("MaxPages"));
    try {
        registry.setValue(QStringLiteral("250"));
        QFAIL("no error raised");
    } catch (const AppError &error) {
        checkError(error, 0x800469A9,
                   QStringLiteral("Failed to set registry value Key: '-2147483647',Section: "
                                  "'Software\\Trovewick\\Trovewick20',Key: 'MaxPages' to value: '250'"));
    }
    QCOMPARE(m_store->setValueCalls, 0);
}

void tst_cRegistry::refusedWriteRaises()
{
    m_store->refusedValueName = QStringLiteral("Search");
    cRegistry registry = userRegistry();
    registry.setValueKey(QStringLiteral("Search"));
    try {
        registry.setValue(QStringLiteral("gif"));
        QFAIL("no error raised");
    } catch (const AppError &error) {
        checkError(error, 0x800469A9,
                   QStringLiteral("Failed to set registry value Key: '-2147483647',Section: "
                                  "'Software\\Test',Key: 'Search' to value: 'gif'"));
    }
    QVERIFY(!m_store->tree.value(Root::CurrentUser, TestSection, QStringLiteral("Search")).has_value());
}

void tst_cRegistry::writeToUnknownRootRaises()
{
    cRegistry registry = userRegistry();
    registry.setClassKey(0);
    registry.setValueKey(QStringLiteral("v"));
    try {
        registry.setValue(QStringLiteral("x"));
        QFAIL("no error raised");
    } catch (const AppError &error) {
        checkError(error, 26001,
                   QStringLiteral("Failed to set registry value Key: '0',Section: 'Software\\Test',"
                                  "Key: 'v' to value: 'x'"));
    }
    QVERIFY(m_store->tree == RegistryTree());
}

void tst_cRegistry::writesCreateTheKey()
{
    cRegistry registry = userRegistry(QStringLiteral("Software\\A\\B"));
    registry.setValueKey(QStringLiteral("v"));
    registry.setValue(QStringLiteral("x"));
    QVERIFY(m_store->tree.keyExists(Root::CurrentUser, QStringLiteral("Software\\A\\B")));

    // A write that stores nothing still opened (and so created) its key first.
    registry.setSectionKey(QStringLiteral("Software\\C"));
    registry.setValueType(cRegistry::REG_DWORD);
    registry.setValue(QStringLiteral("not a number"));
    QVERIFY(m_store->tree.keyExists(Root::CurrentUser, QStringLiteral("Software\\C")));
    QCOMPARE(m_store->tree.valueNames(Root::CurrentUser, QStringLiteral("Software\\C")), QStringList());
}

void tst_cRegistry::keyExistsAndCreateKey()
{
    cRegistry registry = userRegistry(QStringLiteral("Software\\New\\Deep"));
    QVERIFY(!registry.KeyExists());
    QVERIFY(registry.CreateKey());
    QVERIFY(registry.KeyExists());
    QVERIFY(registry.CreateKey()); // an existing key is fine
    registry.setSectionKey(QStringLiteral("software\\NEW"));
    QVERIFY(registry.KeyExists());
    registry.setClassKey(cRegistry::HKEY_CLASSES_ROOT);
    QVERIFY(!registry.KeyExists());
    registry.setClassKey(0);
    QVERIFY(!registry.KeyExists());
}

void tst_cRegistry::createKeyFailureRaises_data()
{
    QTest::addColumn<QString>("section");
    QTest::newRow("leading backslash") << QStringLiteral("\\Software");
    QTest::newRow("trailing backslash") << QStringLiteral("Software\\");
    QTest::newRow("double backslash") << QStringLiteral("Software\\\\Bad");
    QTest::newRow("name of 256 characters") << QString(256, u'k');
    QTest::newRow("line break") << QStringLiteral("Soft\nware");
}

void tst_cRegistry::createKeyFailureRaises()
{
    QFETCH(QString, section);
    cRegistry registry = userRegistry(section);
    try {
        registry.CreateKey();
        QFAIL("no error raised");
    } catch (const AppError &error) {
        checkError(error, 26001, QStringLiteral("Failed to create registry Key: '") + section);
    }
    registry.setValueKey(QStringLiteral("v"));
    QVERIFY_THROWS_EXCEPTION(AppError, registry.setValue(QStringLiteral("x")));
    QVERIFY(m_store->tree == RegistryTree());
}

void tst_cRegistry::namesIgnoreCase()
{
    cRegistry registry = userRegistry(QStringLiteral("Software\\Trovewick"));
    registry.setValueKey(QStringLiteral("Search"));
    registry.setValue(QStringLiteral("a"));
    registry.setSectionKey(QStringLiteral("SOFTWARE\\trovewick"));
    registry.setValueKey(QStringLiteral("search"));
    QCOMPARE(registry.Value(), QVariant(QStringLiteral("a")));
    // Writing under another spelling replaces the value and keeps the first spelling.
    registry.setValue(QStringLiteral("b"));
    QStringList names;
    qint32 count = 0;
    registry.EnumerateValues(names, count);
    QCOMPARE(names, QStringList{QStringLiteral("Search")});
    QCOMPARE(m_store->tree.value(Root::CurrentUser, QStringLiteral("Software\\Trovewick"), QStringLiteral("Search")),
             sz("b"));
}

void tst_cRegistry::deleteKey()
{
    m_store->tree.createKey(Root::CurrentUser, QStringLiteral("Software\\Test\\Sub"));
    cRegistry registry = userRegistry(QStringLiteral("Software\\Test\\Sub"));
    QVERIFY(registry.DeleteKey());
    QVERIFY(!registry.KeyExists());

    const QString expected = QStringLiteral("Failed to delete registry Key: '-2147483647',Section: 'Software\\Test\\Sub");
    try {
        registry.DeleteKey();
        QFAIL("no error raised");
    } catch (const AppError &error) {
        checkError(error, 26001, expected);
    }

    // A key that still has subkeys stays.
    m_store->tree.createKey(Root::CurrentUser, QStringLiteral("Software\\Test\\Sub\\Leaf"));
    QVERIFY_THROWS_EXCEPTION(AppError, registry.DeleteKey());
    QVERIFY(registry.KeyExists());
}

void tst_cRegistry::deleteValue()
{
    m_store->tree.setValue(Root::CurrentUser, TestSection, QStringLiteral("v"), sz("x"));
    cRegistry registry = userRegistry();
    registry.setValueKey(QStringLiteral("v"));
    QVERIFY(registry.DeleteValue());
    QVERIFY(!m_store->tree.value(Root::CurrentUser, TestSection, QStringLiteral("v")).has_value());

    try {
        registry.DeleteValue();
        QFAIL("no error raised");
    } catch (const AppError &error) {
        checkError(error, 26001,
                   QStringLiteral("Failed to delete registry Key: '-2147483647',Section: 'Software\\Test',Key: 'v"));
    }

    registry.setSectionKey(QStringLiteral("Software\\Missing"));
    try {
        registry.DeleteValue();
        QFAIL("no error raised");
    } catch (const AppError &error) {
        checkError(error, 26001,
                   QStringLiteral("Failed to open key '-2147483647',Section: 'Software\\Missing' for delete access"));
    }
}

void tst_cRegistry::enumerateValues()
{
    for (const char *name : {"Search", "Follow", "MaxFiles"})
        m_store->tree.setValue(Root::CurrentUser, TestSection, QLatin1StringView(name), sz("x"));
    m_store->tree.setValue(Root::CurrentUser, TestSection, QString(), sz("default"));
    cRegistry registry = userRegistry();
    QStringList names{QStringLiteral("stale")};
    qint32 count = -1;
    QVERIFY(registry.EnumerateValues(names, count));
    QCOMPARE(count, 4);
    QCOMPARE(names, (QStringList{QStringLiteral("Search"), QStringLiteral("Follow"),
                                 QStringLiteral("MaxFiles"), QString()}));

    registry.setSectionKey(QStringLiteral("Software\\Missing"));
    QVERIFY(registry.EnumerateValues(names, count));
    QCOMPARE(count, 0);
    QCOMPARE(names, QStringList());
}

void tst_cRegistry::enumerateSections()
{
    for (const char *name : {"Beta", "alpha"})
        m_store->tree.createKey(Root::CurrentUser, TestSection + u'\\' + QLatin1StringView(name));
    m_store->tree.createKey(Root::CurrentUser, TestSection + QStringLiteral("\\alpha\\below"));
    cRegistry registry = userRegistry();
    QStringList names{QStringLiteral("stale")};
    qint32 count = -1;
    QVERIFY(registry.EnumerateSections(names, count));
    QCOMPARE(count, 2);
    QCOMPARE(names, (QStringList{QStringLiteral("alpha"), QStringLiteral("Beta")}));

    registry.setSectionKey(QStringLiteral("Software\\Missing"));
    QVERIFY(registry.EnumerateSections(names, count));
    QCOMPARE(count, 0);
    QCOMPARE(names, QStringList());
}

void tst_cRegistry::enumerateSectionsStopsAtAnOverlongName()
{
    const QString fits(254, u'b');
    const QString tooLong(255, u'c'); // with its NUL it needs 256 characters
    for (const QString &name : {QStringLiteral("a"), fits, tooLong, QStringLiteral("d")})
        QCOMPARE(m_store->tree.createKey(Root::CurrentUser, TestSection + u'\\' + name), StoreResult::Ok);
    cRegistry registry = userRegistry();
    QStringList names;
    qint32 count = 0;
    QVERIFY(registry.EnumerateSections(names, count));
    QCOMPARE(count, 2);
    QCOMPARE(names, (QStringList{QStringLiteral("a"), fits}));
}

void tst_cRegistry::enumerateSectionsFailureRaises()
{
    m_store->tree.createKey(Root::CurrentUser, TestSection + QStringLiteral("\\a"));
    m_store->beforeSubkeyNames = [] {
        throw AppError(7, QStringLiteral("store"), QStringLiteral("Out of memory"));
    };
    cRegistry registry = userRegistry();
    QStringList names;
    qint32 count = 0;
    try {
        registry.EnumerateSections(names, count);
        QFAIL("no error raised");
    } catch (const AppError &error) {
        checkError(error, 0x800469AA, QStringLiteral("Out of memory"));
    }
}

void tst_cRegistry::createExeAssociation()
{
    cRegistry registry = userRegistry();
    registry.CreateEXEAssociation(QStringLiteral("/opt/trovewick/trovewick"), QStringLiteral("Trovewick.List"),
                                  QStringLiteral("Trovewick list"), QStringLiteral("twk"), QString(), true,
                                  QString(), true, QString(), true, QString(), 0);
    QCOMPARE(registry.ClassKey(), qint32(cRegistry::HKEY_CLASSES_ROOT));

    const RegistryTree &tree = m_store->tree;
    const auto defaultOf = [&](const QString &key) { return tree.value(Root::ClassesRoot, key, QString()); };
    const QByteArray exe = "\"/opt/trovewick/trovewick\"";
    QCOMPARE(defaultOf(QStringLiteral(".twk")), sz("Trovewick.List"));
    QCOMPARE(defaultOf(QStringLiteral("Trovewick.List")), sz("Trovewick list"));
    QCOMPARE(tree.value(Root::ClassesRoot, QStringLiteral("Trovewick.List"), QStringLiteral("EditFlags")),
             (RegistryValue{RegistryType::Binary, QByteArray("\0\0\1\0\0", 5)}));
    QCOMPARE(defaultOf(QStringLiteral("Trovewick.List\\shell\\open")), sz("&Open"));
    // "%1" holds a single percent sign, so the commands stay plain strings.
    QCOMPARE(defaultOf(QStringLiteral("Trovewick.List\\shell\\open\\command")), sz(exe + " \"%1\""));
    QCOMPARE(defaultOf(QStringLiteral("Trovewick.List\\shell\\print")), sz("&Print"));
    QCOMPARE(defaultOf(QStringLiteral("Trovewick.List\\shell\\print\\command"))->data,
             exe + " /p \"%1\"" + QByteArray(1, '\0'));
    QCOMPARE(defaultOf(QStringLiteral("Trovewick.List\\shell\\add")), sz("&Install twk"));
    QCOMPARE(defaultOf(QStringLiteral("Trovewick.List\\shell\\add\\command"))->data,
             exe + " /a \"%1\"" + QByteArray(1, '\0'));
    QCOMPARE(defaultOf(QStringLiteral("Trovewick.List\\shell\\new")), sz("&New"));
    QCOMPARE(defaultOf(QStringLiteral("Trovewick.List\\shell\\new\\command"))->data,
             exe + " /n \"%1\"" + QByteArray(1, '\0'));
    QCOMPARE(defaultOf(QStringLiteral("Trovewick.List\\DefaultIcon")), sz(exe + ",0"));
    QVERIFY(!tree.keyExists(Root::CurrentUser, QStringLiteral("Trovewick.List")));
}

void tst_cRegistry::createExeAssociationQuotesThePath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("bare") << QStringLiteral("C:\\x.exe") << QByteArray("\"C:\\x.exe\" \"%1\"");
    QTest::newRow("spaces around") << QStringLiteral("  C:\\x.exe ") << QByteArray("\"C:\\x.exe\" \"%1\"");
    QTest::newRow("already quoted") << QStringLiteral("\"C:\\x.exe\"") << QByteArray("\"C:\\x.exe\" \"%1\"");
    QTest::newRow("quote in front only") << QStringLiteral("\"C:\\x.exe") << QByteArray("\"C:\\x.exe\" \"%1\"");
}

void tst_cRegistry::createExeAssociationQuotesThePath()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, command);
    cRegistry registry(m_store);
    registry.CreateEXEAssociation(path, QStringLiteral("C"), QStringLiteral("D"), QStringLiteral("x"), QString(),
                                  false, QString(), false, QString(), false, QString(), -1);
    QCOMPARE(m_store->tree.value(Root::ClassesRoot, QStringLiteral("C\\shell\\open\\command"), QString())->data,
             command + QByteArray(1, '\0'));
    // Only the open verb, and no icon for a negative index.
    QCOMPARE(m_store->tree.subkeyNames(Root::ClassesRoot, QStringLiteral("C")), QStringList{QStringLiteral("shell")});
    QCOMPARE(m_store->tree.subkeyNames(Root::ClassesRoot, QStringLiteral("C\\shell")),
             QStringList{QStringLiteral("open")});
}

void tst_cRegistry::createExeAssociationMenuTexts()
{
    cRegistry registry(m_store);
    registry.CreateEXEAssociation(QStringLiteral("x"), QStringLiteral("C"), QStringLiteral("D"), QStringLiteral("e"),
                                  QStringLiteral("Go"), true, QStringLiteral("Out"), true, QStringLiteral("Fresh"),
                                  true, QStringLiteral("Add"), 3);
    const auto defaultOf = [&](const char *key) {
        return m_store->tree.value(Root::ClassesRoot, QLatin1StringView(key), QString());
    };
    QCOMPARE(defaultOf("C\\shell\\open"), sz("Go"));
    QCOMPARE(defaultOf("C\\shell\\print"), sz("Out"));
    QCOMPARE(defaultOf("C\\shell\\new"), sz("Fresh"));
    QCOMPARE(defaultOf("C\\shell\\add"), sz("Add"));
    QCOMPARE(defaultOf("C\\DefaultIcon"), sz("\"x\",3"));
}

void tst_cRegistry::additionalAssociations()
{
    m_store->tree.createKey(Root::ClassesRoot, QStringLiteral("C"));
    cRegistry registry(m_store);
    registry.setClassKey(cRegistry::HKEY_CLASSES_ROOT);
    registry.CreateAdditionalEXEAssociations(QStringLiteral("C"), {});
    QCOMPARE(m_store->setValueCalls, 0);

    registry.CreateAdditionalEXEAssociations(
        QStringLiteral("C"), {QStringLiteral("edit"), QStringLiteral("&Edit"), QStringLiteral("ed %1"),
                              QStringLiteral("view"), QStringLiteral("&View"), QStringLiteral("vw")});
    const auto defaultOf = [&](const char *key) {
        return m_store->tree.value(Root::ClassesRoot, QLatin1StringView(key), QString());
    };
    QCOMPARE(defaultOf("C\\shell\\edit"), sz("&Edit"));
    QCOMPARE(defaultOf("C\\shell\\edit\\command"), sz("ed %1"));
    QCOMPARE(defaultOf("C\\shell\\view"), sz("&View"));
    QCOMPARE(defaultOf("C\\shell\\view\\command"), sz("vw"));
}

void tst_cRegistry::additionalAssociationsNeedTriples()
{
    m_store->tree.createKey(Root::ClassesRoot, QStringLiteral("C"));
    cRegistry registry(m_store);
    registry.setClassKey(cRegistry::HKEY_CLASSES_ROOT);
    try {
        registry.CreateAdditionalEXEAssociations(QStringLiteral("C"), {1, 2, 3, 4});
        QFAIL("no error raised");
    } catch (const AppError &error) {
        checkError(error, 0x800469AC,
                   QStringLiteral("Invalid parameter list passed to CreateAdditionalEXEAssociations - expected "
                                  "Name/Text/Command"));
    }
    QCOMPARE(m_store->setValueCalls, 0);
    QCOMPARE(m_store->tree.subkeyNames(Root::ClassesRoot, QStringLiteral("C")), QStringList());
}

void tst_cRegistry::additionalAssociationsNeedTheClass()
{
    cRegistry registry(m_store);
    registry.setClassKey(cRegistry::HKEY_CLASSES_ROOT);
    for (const QVariantList &items : {QVariantList(), QVariantList{QStringLiteral("a"), QStringLiteral("b"),
                                                                  QStringLiteral("c")}}) {
        try {
            registry.CreateAdditionalEXEAssociations(QStringLiteral("Missing"), items);
            QFAIL("no error raised");
        } catch (const AppError &error) {
            checkError(error, 0x800469AD,
                       QStringLiteral("Error - attempt to create additional associations before class defined."));
        }
    }
    QCOMPARE(registry.SectionKey(), QStringLiteral("Missing"));
    QVERIFY(m_store->tree == RegistryTree());
}

void tst_cRegistry::additionalAssociationsSkipFailedWrites()
{
    m_store->tree.createKey(Root::ClassesRoot, QStringLiteral("C"));
    m_store->refusedKeyPrefix = QStringLiteral("C\\shell\\bad");
    cRegistry registry(m_store);
    registry.setClassKey(cRegistry::HKEY_CLASSES_ROOT);
    registry.CreateAdditionalEXEAssociations(
        QStringLiteral("C"), {QStringLiteral("bad"), QStringLiteral("B"), QStringLiteral("b"),
                              QStringLiteral("good"), QStringLiteral("G"), QStringLiteral("g")});
    QCOMPARE(m_store->setValueCalls, 4);
    QVERIFY(!m_store->tree.value(Root::ClassesRoot, QStringLiteral("C\\shell\\bad"), QString()));
    QCOMPARE(m_store->tree.value(Root::ClassesRoot, QStringLiteral("C\\shell\\good\\command"), QString()), sz("g"));
}

void tst_cRegistry::reverseBytes32_data()
{
    QTest::addColumn<qint32>("value");
    QTest::addColumn<qint32>("reversed");
    QTest::newRow("0x00010000") << qint32(0x00010000) << qint32(256);
    QTest::newRow("0x12345678") << qint32(0x12345678) << qint32(0x78563412);
    QTest::newRow("top bit moves down") << qint32(0x80000000 - 0x100000000LL) << qint32(0x80);
    QTest::newRow("low byte moves to the sign") << qint32(0xff) << qint32(0xff000000 - 0x100000000LL);
    QTest::newRow("-1") << qint32(-1) << qint32(-1);
    QTest::newRow("0") << qint32(0) << qint32(0);
}

void tst_cRegistry::reverseBytes32()
{
    QFETCH(qint32, value);
    QFETCH(qint32, reversed);
    QCOMPARE(cRegistry::ReverseBytes32(value), reversed);
    QCOMPARE(cRegistry::ReverseBytes32(reversed), value);
}

void tst_cRegistry::expandEnvironmentRefs_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expanded");
    QTest::newRow("no reference") << QStringLiteral("gif,jpg") << QStringLiteral("gif,jpg");
    QTest::newRow("one reference") << QStringLiteral("%TROVE_TEST_DIR%") << QStringLiteral("/srv/trove");
    QTest::newRow("between texts") << QStringLiteral("a,%TROVE_TEST_DIR%,b") << QStringLiteral("a,/srv/trove,b");
    QTest::newRow("twice") << QStringLiteral("%TROVE_TEST_DIR%%TROVE_TEST_DIR%")
                           << QStringLiteral("/srv/trove/srv/trove");
    QTest::newRow("unknown stays") << QStringLiteral("x%TROVE_TEST_UNSET%y") << QStringLiteral("x%TROVE_TEST_UNSET%y");
    QTest::newRow("set but empty") << QStringLiteral("x%TROVE_TEST_EMPTY%y") << QStringLiteral("xy");
    QTest::newRow("unknown then known") << QStringLiteral("%TROVE_TEST_UNSET%TROVE_TEST_DIR%")
                                        << QStringLiteral("%TROVE_TEST_UNSET/srv/trove");
    QTest::newRow("double percent") << QStringLiteral("100%%") << QStringLiteral("100%%");
    QTest::newRow("unclosed") << QStringLiteral("50% off") << QStringLiteral("50% off");
    QTest::newRow("names are exact") << QStringLiteral("%trove_test_dir%") << QStringLiteral("%trove_test_dir%");
    QTest::newRow("empty") << QString() << QString();
}

void tst_cRegistry::expandEnvironmentRefs()
{
    QFETCH(QString, text);
    QFETCH(QString, expanded);
    QCOMPARE(cRegistry::ExpandEnvironmentRefs(text), expanded);
}

void tst_cRegistry::fileStoreRoundTrip()
{
    // The default store is the per-user file under the configuration folder.
    const QString file = m_config.path() + QStringLiteral("/Trovewick/registry.reg");
    QCOMPARE(RegistryFileStore::defaultFilePath(), file);
    {
        cRegistry registry;
        registry.setClassKey(cRegistry::HKEY_CURRENT_USER);
        registry.setSectionKey(TestSection);
        registry.setValueType(cRegistry::REG_SZ);
        registry.setValueKey(QStringLiteral("text"));
        registry.setValue(QStringLiteral("a \"quoted\" C:\\path"));
        registry.setValueKey(QStringLiteral("expand"));
        registry.setValue(QStringLiteral("%TROVE_TEST_DIR%\\x"));
        registry.setValueType(cRegistry::REG_DWORD);
        registry.setValueKey(QStringLiteral("number"));
        registry.setValue(-7);
        registry.setValueType(cRegistry::REG_BINARY);
        registry.setValueKey(QStringLiteral("bytes"));
        registry.setValue(QByteArray("\0\xff", 2));
    }
    QVERIFY(QFile::exists(file));
    cRegistry registry;
    registry.setClassKey(cRegistry::HKEY_CURRENT_USER);
    registry.setSectionKey(TestSection);
    registry.setValueKey(QStringLiteral("text"));
    QCOMPARE(registry.Value(), QVariant(QStringLiteral("a \"quoted\" C:\\path")));
    registry.setValueKey(QStringLiteral("expand"));
    QCOMPARE(registry.Value(), QVariant(QStringLiteral("/srv/trove\\x")));
    registry.setValueKey(QStringLiteral("number"));
    QCOMPARE(registry.Value(), QVariant(qint32(-7)));
    registry.setValueKey(QStringLiteral("bytes"));
    QCOMPARE(registry.Value(), QVariant(QByteArray("\0\xff", 2)));
    QStringList names;
    qint32 count = 0;
    registry.EnumerateValues(names, count);
    QCOMPARE(count, 4);
}

QTEST_GUILESS_MAIN(tst_cRegistry)
#include "tst_cregistry.moc"
