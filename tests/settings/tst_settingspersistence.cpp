#include "common/AppError.h"
#include "common/Settings.h"
#include "settings/RegistryFileStore.h"
#include "settings/SettingsPersistence.h"
#include "support/MemoryRegistryStore.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>

class tst_SettingsPersistence : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void firstRunGivesDefaultsAndWritesNothing();
    void loadsStoredValues();
    void storedZeroPagesBringsAllDefaults();
    void absentPagesBringsAllDefaults();
    void nonZeroPagesKeepsStoredValues_data();
    void nonZeroPagesKeepsStoredValues();
    void limitConversion_data();
    void limitConversion();
    void unusablePagesFallsBackAlone();
    void integerValuesLoad();
    void linkRulesLoad_data();
    void linkRulesLoad();
    void saveStoresTextsUnchanged();
    void saveOfFractionLoadsFloored();
    void saveWithEnvironmentReference();
    void saveTwiceLeavesStoreUnchanged();
    void saveConfirmsBeforeReloading();
    void saveOfZeroPagesReloadsDefaults();
    void saveFailureReachesCaller();
    void saveWithARefusedValueWritesNone();
    void saveWithTheLockHeldRaisesTheSameError();

private:
    void saveRaisesTheFirstWriteError();
    static Settings sentinel();
    QString storeFile() const { return m_config.path() + QStringLiteral("/Trovewick/registry.reg"); }
    void store(const QString &name, const RegistryValue &value);
    std::optional<RegistryValue> stored(const QString &name) const;

    QTemporaryDir m_config;
};

namespace {
const auto User = RegistryRoot::CurrentUser;

RegistryValue sz(const QByteArray &text)
{
    return {RegistryType::Sz, QByteArray(text).append('\0')};
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

void tst_SettingsPersistence::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    qputenv("TROVE_TEST_EXT", "png");
}

void tst_SettingsPersistence::init()
{
    const QString folder = m_config.path() + QStringLiteral("/Trovewick");
    if (QFileInfo(folder).isDir())
        QVERIFY(QDir(folder).removeRecursively());
    else
        QFile::remove(folder);
}

void tst_SettingsPersistence::cleanup()
{
    RegistryStore::setDefaultFactory({});
}

// A record that no load could produce, to see which fields a load replaced.
Settings tst_SettingsPersistence::sentinel()
{
    return Settings{-1, -1, -1, QStringLiteral("?follow"), QStringLiteral("?search"), QStringLiteral("?dl")};
}

void tst_SettingsPersistence::store(const QString &name, const RegistryValue &value)
{
    RegistryFileStore fileStore;
    QCOMPARE(fileStore.setValue(User, SettingsSectionKey, name, value), StoreResult::Ok);
}

std::optional<RegistryValue> tst_SettingsPersistence::stored(const QString &name) const
{
    return RegistryFileStore().queryValue(User, SettingsSectionKey, name);
}

void tst_SettingsPersistence::firstRunGivesDefaultsAndWritesNothing()
{
    Settings settings = sentinel();
    LoadSettings(settings);
    QCOMPARE(settings.MaxPages, qint16(100));
    QCOMPARE(settings.MaxFiles, qint16(200));
    QCOMPARE(settings.MaxDomain, qint16(10));
    QCOMPARE(settings.Follow, QStringLiteral("asp,htm,html"));
    QCOMPARE(settings.Search, QStringLiteral("asf,avi,gif,jpg,jpeg,mp3,mpg,mpeg"));
    QCOMPARE(settings.DLPath, QString());
    QVERIFY(!QFileInfo::exists(m_config.path() + QStringLiteral("/Trovewick")));
}

void tst_SettingsPersistence::loadsStoredValues()
{
    store(QStringLiteral("DLPath"), sz("/home/me/Downloads"));
    store(QStringLiteral("Search"), sz("mp3,ogg"));
    store(QStringLiteral("Follow"), sz("php"));
    store(QStringLiteral("MaxFiles"), sz("250"));
    store(QStringLiteral("MaxPages"), sz("750"));
    store(QStringLiteral("MaxDomain"), sz("25"));
    Settings settings = sentinel();
    LoadSettings(settings);
    QCOMPARE(settings.DLPath, QStringLiteral("/home/me/Downloads"));
    QCOMPARE(settings.Search, QStringLiteral("mp3,ogg"));
    QCOMPARE(settings.Follow, QStringLiteral("php"));
    QCOMPARE(settings.MaxFiles, qint16(250));
    QCOMPARE(settings.MaxPages, qint16(750));
    QCOMPARE(settings.MaxDomain, qint16(25));
}

void tst_SettingsPersistence::storedZeroPagesBringsAllDefaults()
{
    store(QStringLiteral("DLPath"), sz("/dl"));
    store(QStringLiteral("Search"), sz("mp3"));
    store(QStringLiteral("Follow"), sz("php"));
    store(QStringLiteral("MaxFiles"), sz("7"));
    store(QStringLiteral("MaxPages"), sz("0"));
    store(QStringLiteral("MaxDomain"), sz("3"));
    Settings settings = sentinel();
    LoadSettings(settings);
    Settings expected = defaultSettings();
    expected.DLPath = QStringLiteral("/dl");
    QCOMPARE(settings.MaxPages, expected.MaxPages);
    QCOMPARE(settings.MaxFiles, expected.MaxFiles);
    QCOMPARE(settings.MaxDomain, expected.MaxDomain);
    QCOMPARE(settings.Search, expected.Search);
    QCOMPARE(settings.Follow, expected.Follow);
    QCOMPARE(settings.DLPath, expected.DLPath);
    // Nothing is written back.
    QCOMPARE(stored(QStringLiteral("MaxPages")), sz("0"));
    QCOMPARE(stored(QStringLiteral("Search")), sz("mp3"));
}

void tst_SettingsPersistence::absentPagesBringsAllDefaults()
{
    store(QStringLiteral("Search"), sz("mp3"));
    store(QStringLiteral("MaxFiles"), sz("7"));
    Settings settings = sentinel();
    LoadSettings(settings);
    QCOMPARE(settings.MaxPages, qint16(100));
    QCOMPARE(settings.MaxFiles, qint16(200));
    QCOMPARE(settings.Search, SettingsDefaults::Search);
}

void tst_SettingsPersistence::nonZeroPagesKeepsStoredValues_data()
{
    QTest::addColumn<QByteArray>("pages");
    QTest::addColumn<qint16>("expected");
    QTest::newRow("250") << QByteArray("250") << qint16(250);
    QTest::newRow("negative") << QByteArray("-5") << qint16(-5);
}

void tst_SettingsPersistence::nonZeroPagesKeepsStoredValues()
{
    QFETCH(QByteArray, pages);
    QFETCH(qint16, expected);
    store(QStringLiteral("MaxPages"), sz(pages));
    store(QStringLiteral("Search"), sz("mp3"));
    Settings settings = sentinel();
    LoadSettings(settings);
    QCOMPARE(settings.MaxPages, expected);
    // Only a MaxPages of 0 brings the defaults: the rest stays as stored, even absent.
    QCOMPARE(settings.Search, QStringLiteral("mp3"));
    QCOMPARE(settings.Follow, QString());
    QCOMPARE(settings.MaxFiles, qint16(0));
    QCOMPARE(settings.MaxDomain, qint16(0));
}

void tst_SettingsPersistence::limitConversion_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint16>("expected"); // MaxFiles; its own default is 200

    QTest::newRow("whole number") << true << QStringLiteral("250") << qint16(250);
    QTest::newRow("2.9 floors to 2") << true << QStringLiteral("2.9") << qint16(2);
    QTest::newRow("-2.5 floors to -3") << true << QStringLiteral("-2.5") << qint16(-3);
    QTest::newRow("0.5 floors to 0") << true << QStringLiteral("0.5") << qint16(0);
    QTest::newRow("zero") << true << QStringLiteral("0") << qint16(0);
    QTest::newRow("negative") << true << QStringLiteral("-40") << qint16(-40);
    QTest::newRow("spaces around") << true << QStringLiteral(" 75 ") << qint16(75);
    QTest::newRow("exponent") << true << QStringLiteral("1e3") << qint16(1000);
    QTest::newRow("largest") << true << QStringLiteral("32767") << qint16(32767);
    QTest::newRow("largest with fraction") << true << QStringLiteral("32767.9") << qint16(32767);
    QTest::newRow("smallest") << true << QStringLiteral("-32768") << qint16(-32768);
    QTest::newRow("one too large") << true << QStringLiteral("32768") << qint16(200);
    QTest::newRow("one too small") << true << QStringLiteral("-32769") << qint16(200);
    QTest::newRow("fraction below smallest") << true << QStringLiteral("-32768.5") << qint16(200);
    QTest::newRow("far too large") << true << QStringLiteral("1e300") << qint16(200);
    QTest::newRow("empty text") << true << QString() << qint16(200);
    QTest::newRow("spaces only") << true << QStringLiteral("   ") << qint16(200);
    QTest::newRow("not a number") << true << QStringLiteral("many") << qint16(200);
    QTest::newRow("number then text") << true << QStringLiteral("12abc") << qint16(200);
    QTest::newRow("not a number: nan") << true << QStringLiteral("nan") << qint16(200);
    QTest::newRow("not a number: inf") << true << QStringLiteral("inf") << qint16(200);
    QTest::newRow("absent") << false << QString() << qint16(0);
}

void tst_SettingsPersistence::limitConversion()
{
    QFETCH(bool, present);
    QFETCH(QString, text);
    QFETCH(qint16, expected);
    store(QStringLiteral("MaxPages"), sz("100"));
    store(QStringLiteral("Search"), sz("custom"));
    if (present)
        store(QStringLiteral("MaxFiles"), sz(text.toUtf8()));
    Settings settings = sentinel();
    LoadSettings(settings);
    QCOMPARE(settings.MaxFiles, expected);
    // Only the one field is affected: the defaults rule did not run.
    QCOMPARE(settings.MaxPages, qint16(100));
    QCOMPARE(settings.Search, QStringLiteral("custom"));
}

void tst_SettingsPersistence::unusablePagesFallsBackAlone()
{
    store(QStringLiteral("MaxPages"), sz(""));
    store(QStringLiteral("MaxDomain"), sz("99999"));
    store(QStringLiteral("MaxFiles"), sz("33"));
    store(QStringLiteral("Follow"), sz("php"));
    Settings settings = sentinel();
    LoadSettings(settings);
    QCOMPARE(settings.MaxPages, qint16(100));
    QCOMPARE(settings.MaxDomain, qint16(10));
    QCOMPARE(settings.MaxFiles, qint16(33));
    QCOMPARE(settings.Follow, QStringLiteral("php"));
    QCOMPARE(settings.Search, QString());
}

void tst_SettingsPersistence::integerValuesLoad()
{
    store(QStringLiteral("MaxPages"), {RegistryType::Dword, QByteArray("\xfa\0\0\0", 4)});
    store(QStringLiteral("MaxFiles"), {RegistryType::Dword, QByteArray("\x00\x00\x01\x00", 4)}); // 65536
    store(QStringLiteral("MaxDomain"), {RegistryType::DwordBigEndian, QByteArray("\0\0\0\x05", 4)});
    store(QStringLiteral("Search"), {RegistryType::Dword, QByteArray("\xff\xff\xff\xff", 4)});
    Settings settings = sentinel();
    LoadSettings(settings);
    QCOMPARE(settings.MaxPages, qint16(250));
    QCOMPARE(settings.MaxFiles, qint16(200)); // does not fit 16 bits
    QCOMPARE(settings.MaxDomain, qint16(5));
    QCOMPARE(settings.Search, QStringLiteral("-1"));
}

void tst_SettingsPersistence::linkRulesLoad_data()
{
    QTest::addColumn<QByteArray>("rules"); // stored words; empty: not stored
    QTest::addColumn<QByteArray>("scope");
    QTest::addColumn<LinkRules>("expectedRules");
    QTest::addColumn<LinkScope>("expectedScope");
    QTest::newRow("missing") << QByteArray() << QByteArray() << LinkRules::Classic << LinkScope::Host;
    QTest::newRow("standard below") << QByteArray("standard") << QByteArray("below") << LinkRules::Standard << LinkScope::Below;
    QTest::newRow("unknown words") << QByteArray("modern") << QByteArray("site") << LinkRules::Classic << LinkScope::Host;
}

void tst_SettingsPersistence::linkRulesLoad()
{
    QFETCH(QByteArray, rules);
    QFETCH(QByteArray, scope);
    if (!rules.isEmpty()) {
        store(QStringLiteral("LinkRules"), sz(rules));
        store(QStringLiteral("LinkScope"), sz(scope));
    }
    Settings settings;
    settings.Rules = LinkRules::Standard;
    settings.Scope = LinkScope::Any;
    LoadSettings(settings);
    QTEST(settings.Rules, "expectedRules");
    QTEST(settings.Scope, "expectedScope");
}

void tst_SettingsPersistence::saveStoresTextsUnchanged()
{
    Settings settings;
    SaveSettings(QStringLiteral(" gif, JPG ,"), QStringLiteral("htm"), QStringLiteral("3000"),
                 QStringLiteral("abc"), QString(), {}, settings);
    QCOMPARE(stored(QStringLiteral("Search")), sz(" gif, JPG ,"));
    QCOMPARE(stored(QStringLiteral("Follow")), sz("htm"));
    QCOMPARE(stored(QStringLiteral("MaxFiles")), sz("3000"));
    QCOMPARE(stored(QStringLiteral("MaxPages")), sz("abc"));
    QCOMPARE(stored(QStringLiteral("MaxDomain")), sz(""));
    QVERIFY(!stored(QStringLiteral("DLPath")));
    QCOMPARE(RegistryFileStore().valueNames(User, SettingsSectionKey),
             (QStringList{QStringLiteral("Search"), QStringLiteral("Follow"), QStringLiteral("MaxFiles"),
                          QStringLiteral("MaxPages"), QStringLiteral("MaxDomain")}));
    // The reload sees the texts: unusable limits fall back to their defaults.
    QCOMPARE(settings.Search, QStringLiteral(" gif, JPG ,"));
    QCOMPARE(settings.MaxFiles, qint16(3000));
    QCOMPARE(settings.MaxPages, qint16(100));
    QCOMPARE(settings.MaxDomain, qint16(10));
}

void tst_SettingsPersistence::saveOfFractionLoadsFloored()
{
    Settings settings;
    SaveSettings(QStringLiteral("gif"), QStringLiteral("htm"), QStringLiteral("50"), QStringLiteral("2.9"),
                 QStringLiteral("5"), {}, settings);
    QCOMPARE(stored(QStringLiteral("MaxPages")), sz("2.9"));
    QCOMPARE(settings.MaxPages, qint16(2));
}

void tst_SettingsPersistence::saveWithEnvironmentReference()
{
    Settings settings;
    SaveSettings(QStringLiteral("gif,%TROVE_TEST_EXT%,jpg"), QStringLiteral("htm"), QStringLiteral("50"),
                 QStringLiteral("100"), QStringLiteral("5"), {}, settings);
    QCOMPARE(stored(QStringLiteral("Search")),
             (RegistryValue{RegistryType::ExpandSz, QByteArray("gif,%TROVE_TEST_EXT%,jpg\0", 25)}));
    QCOMPARE(settings.Search, QStringLiteral("gif,png,jpg"));
    // The file shows it as an expandable string, as a registry export would.
    QVERIFY(readAll(storeFile()).contains("\"Search\"=hex(2):67,00,69,00,66,00,2c,00,25,00"));
}

void tst_SettingsPersistence::saveTwiceLeavesStoreUnchanged()
{
    QStringList confirmations;
    const SaveConfirmation confirm = [&](const QString &text) { confirmations.append(text); };
    Settings settings;
    SaveSettings(QStringLiteral("gif"), QStringLiteral("htm"), QStringLiteral("50"), QStringLiteral("100"),
                 QStringLiteral("5"), confirm, settings);
    const QByteArray first = readAll(storeFile());
    SaveSettings(QStringLiteral("gif"), QStringLiteral("htm"), QStringLiteral("50"), QStringLiteral("100"),
                 QStringLiteral("5"), confirm, settings);
    QCOMPARE(readAll(storeFile()), first);
    QCOMPARE(confirmations, (QStringList{QStringLiteral("Options Saved!"), QStringLiteral("Options Saved!")}));
}

void tst_SettingsPersistence::saveConfirmsBeforeReloading()
{
    Settings settings = sentinel();
    std::optional<Settings> seenAtConfirmation;
    std::optional<RegistryValue> storedAtConfirmation;
    SaveSettings(QStringLiteral("gif"), QStringLiteral("htm"), QStringLiteral("50"), QStringLiteral("100"),
                 QStringLiteral("5"),
                 [&](const QString &) {
                     seenAtConfirmation = settings;
                     storedAtConfirmation = stored(QStringLiteral("MaxDomain"));
                 },
                 settings);
    QVERIFY(seenAtConfirmation);
    QCOMPARE(seenAtConfirmation->MaxPages, qint16(-1)); // not reloaded yet
    QCOMPARE(storedAtConfirmation, sz("5"));            // but everything written
    QCOMPARE(settings.MaxPages, qint16(100));
    QCOMPARE(settings.MaxDomain, qint16(5));
    QCOMPARE(settings.DLPath, QString());
}

void tst_SettingsPersistence::saveOfZeroPagesReloadsDefaults()
{
    Settings settings;
    SaveSettings(QStringLiteral("mp3"), QStringLiteral("php"), QStringLiteral("50"), QStringLiteral("0"),
                 QStringLiteral("5"), {}, settings);
    QCOMPARE(stored(QStringLiteral("Search")), sz("mp3"));
    QCOMPARE(settings.MaxPages, qint16(100));
    QCOMPARE(settings.MaxFiles, qint16(200));
    QCOMPARE(settings.MaxDomain, qint16(10));
    QCOMPARE(settings.Search, SettingsDefaults::Search);
    QCOMPARE(settings.Follow, SettingsDefaults::Follow);
}

// A save whose first write, "Search", cannot be made: the registry class's
// error reaches the caller, nothing is confirmed and the record is not reloaded.
void tst_SettingsPersistence::saveRaisesTheFirstWriteError()
{
    Settings settings = sentinel();
    bool confirmed = false;
    try {
        SaveSettings(QStringLiteral("gif"), QStringLiteral("htm"), QStringLiteral("50"), QStringLiteral("100"),
                     QStringLiteral("5"), [&](const QString &) { confirmed = true; }, settings);
        QFAIL("no error raised");
    } catch (const AppError &error) {
        QCOMPARE(error.number(), 26001);
        QCOMPARE(error.source(), QStringLiteral("tst_settingspersistence.cRegistry"));
        QCOMPARE(error.description(),
                 QStringLiteral("Failed to set registry value Key: '-2147483647',Section: "
                                "'Software\\Trovewick\\Trovewick20',Key: 'Search' to value: 'gif'"));
    }
    QVERIFY(!confirmed);
    QCOMPARE(settings.MaxPages, qint16(-1)); // not reloaded
}

void tst_SettingsPersistence::saveFailureReachesCaller()
{
    // A file where the store's folder belongs: no key can be opened or created.
    {
        QFile blocker(m_config.path() + QStringLiteral("/Trovewick"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    saveRaisesTheFirstWriteError();
}

void tst_SettingsPersistence::saveWithARefusedValueWritesNone()
{
    auto memory = std::make_shared<MemoryRegistryStore>();
    memory->refusedValueName = QStringLiteral("MaxPages");
    RegistryStore::setDefaultFactory([memory] { return memory; });
    Settings settings = sentinel();
    bool confirmed = false;
    try {
        SaveSettings(QStringLiteral("gif"), QStringLiteral("htm"), QStringLiteral("50"), QStringLiteral("100"),
                     QStringLiteral("5"), [&](const QString &) { confirmed = true; }, settings);
        QFAIL("no error raised");
    } catch (const AppError &error) {
        QCOMPARE(error.number(), 0x800469A9);
        QVERIFY(error.description().startsWith(QStringLiteral("Failed to set registry value Key: '")));
    }
    QVERIFY(!memory->tree.keyExists(User, SettingsSectionKey)); // not even the values before it
    QVERIFY(!confirmed);
    QCOMPARE(settings.Search, QStringLiteral("?search"));
}

void tst_SettingsPersistence::saveWithTheLockHeldRaisesTheSameError()
{
    store(QStringLiteral("Search"), sz("mp3"));
    const QByteArray before = readAll(storeFile());
    // A lock nobody lets go of; the store gives up on it at once here.
    QLockFile stuck(storeFile() + QStringLiteral(".lock"));
    QVERIFY(stuck.tryLock(0));
    RegistryStore::setDefaultFactory([] {
        auto fileStore = std::make_shared<RegistryFileStore>();
        fileStore->setLockTimeout(std::chrono::milliseconds(0));
        return fileStore;
    });
    saveRaisesTheFirstWriteError();
    QCOMPARE(readAll(storeFile()), before);
}

QTEST_GUILESS_MAIN(tst_SettingsPersistence)
#include "tst_settingspersistence.moc"
