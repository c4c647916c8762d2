#include "common/AppError.h"
#include "common/Settings.h"
#include "settings/RegistryFileFormat.h"
#include "settings/RegistryFileStore.h"
#include "settings/SettingsPersistence.h"
#include "settings/cRegistry.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>

using namespace std::chrono_literals;

// The test runs its own executable as the second program instance: with
// "--child-save <prefix> <count>" it saves <count> values once told to go, with
// "--child-hold" it stops in the middle of a write and waits to be killed, with
// "--child-save-options" it saves the options over and over until it is killed.
namespace {

const auto User = RegistryRoot::CurrentUser;
const QString Section = QStringLiteral("Software\\Trovewick\\Trovewick20");
constexpr int ChildSaves = 150;

RegistryValue sz(const QByteArray &text)
{
    return {RegistryType::Sz, QByteArray(text).append('\0')};
}

void say(const char *line)
{
    std::fputs(line, stdout);
    std::fflush(stdout);
}

void waitForParent()
{
    QFile in;
    if (in.open(stdin, QIODevice::ReadOnly))
        in.readLine();
}

int childSave(const QString &prefix, int count)
{
    say("ready\n");
    waitForParent();
    try {
        for (int i = 0; i < count; ++i) {
            cRegistry registry;
            registry.setClassKey(cRegistry::HKEY_CURRENT_USER);
            registry.setSectionKey(Section);
            registry.setValueType(cRegistry::REG_SZ);
            registry.setValueKey(prefix + QString::number(i));
            registry.setValue(QString::number(i));
        }
    } catch (const std::exception &error) {
        std::fprintf(stderr, "save failed: %s\n", error.what());
        return 2;
    }
    return 0;
}

int childHold()
{
    RegistryFileStore store;
    store.setBeforeCommitHook([] {
        say("writing\n");
        waitForParent(); // the parent kills this process here
    });
    store.setValue(User, Section, QStringLiteral("Held"), sz("never committed"));
    return 3; // only reached if the parent let go instead of killing
}

// Saves all five options as "1", then as "0", and so on; says so just before each
// write replaces the file.
int childSaveOptions()
{
    RegistryStore::setDefaultFactory([] {
        auto store = std::make_shared<RegistryFileStore>();
        store->setBeforeCommitHook([] { say("."); });
        return store;
    });
    Settings settings;
    for (int i = 1;; ++i) {
        const QString text = QString::number(i % 2);
        SaveSettings(text, text, text, text, text, {}, settings);
    }
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

void setModified(const QString &path, const QDateTime &time)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || !file.setFileTime(time, QFileDevice::FileModificationTime))
        qFatal("cannot set the time of %s", qPrintable(path));
}

bool readLineIs(QProcess &process, const QByteArray &expected)
{
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(60000))
            return false;
    }
    return process.readLine().trimmed() == expected;
}

} // namespace

class tst_RegistryFileStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void missingFileReadsEmpty();
    void writesAnExportFile();
    void writeThatChangesNothingLeavesTheFile();
    void twoProcessesSavingAtOnceKeepBoth();
    void writeKilledPartWayLeavesTheOldFile_data();
    void writeKilledPartWayLeavesTheOldFile();
    void killedSaveLeavesOldOrNewOptions();
    void writeStoppedBeforeCommitLeavesTheOldFile();
    void damagedFileIsKeptAside();
    void foreignFileIsKeptAside();
    void unreadableStoreIsNotReplaced();
    void blockedFolderRefusesWrites();
    void unrelatedSaveKeepsEveryValue_data();
    void unrelatedSaveKeepsEveryValue();
    void unchangedFileIsNotReadAgain();
    void changedFileIsReadAgain_data();
    void changedFileIsReadAgain();
    void lockTimeoutIsAtMostTwoSeconds();
    void heldLockRefusesChanges_data();
    void heldLockRefusesChanges();
    void changeWaitsForAnotherInstanceToFinish();

private:
    QString storeFolder() const { return m_config.path() + QStringLiteral("/Trovewick"); }
    QString storeFile() const { return storeFolder() + QStringLiteral("/registry.reg"); }
    QStringList damagedCopies() const;
    QProcess *startChild(const QStringList &arguments);

    QTemporaryDir m_config;
};

void tst_RegistryFileStore::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    QCOMPARE(RegistryFileStore::defaultFilePath(), storeFile());
}

void tst_RegistryFileStore::init()
{
    const QFileInfo folder(storeFolder());
    if (folder.isDir())
        QVERIFY(QDir(storeFolder()).removeRecursively());
    else if (folder.exists())
        QVERIFY(QFile::remove(storeFolder()));
}

QStringList tst_RegistryFileStore::damagedCopies() const
{
    return QDir(storeFolder()).entryList({QStringLiteral("registry.reg.damaged-*")}, QDir::Files);
}

QProcess *tst_RegistryFileStore::startChild(const QStringList &arguments)
{
    auto *child = new QProcess(this);
    child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child->start(QCoreApplication::applicationFilePath(), arguments);
    return child;
}

void tst_RegistryFileStore::missingFileReadsEmpty()
{
    RegistryFileStore store;
    QVERIFY(!store.keyExists(User, Section));
    QVERIFY(!store.queryValue(User, Section, QStringLiteral("Search")));
    QVERIFY(!store.valueNames(User, Section));
    QVERIFY(!QFileInfo::exists(storeFolder())); // reading creates nothing
}

void tst_RegistryFileStore::writesAnExportFile()
{
    RegistryFileStore store;
    QCOMPARE(store.setValue(User, Section, QStringLiteral("Search"), sz("gif")), StoreResult::Ok);
    const QByteArray text = readAll(storeFile());
    QVERIFY(text.startsWith("Windows Registry Editor Version 5.00\n"));
    QVERIFY(text.contains("\n[HKEY_CURRENT_USER\\Software\\Trovewick\\Trovewick20]\n\"Search\"=\"gif\"\n"));
    QCOMPARE(store.queryValue(User, Section, QStringLiteral("search")), sz("gif"));
    QVERIFY(!QFileInfo::exists(storeFile() + QStringLiteral(".lock"))); // the lock is let go
}

void tst_RegistryFileStore::writeThatChangesNothingLeavesTheFile()
{
    const QByteArray handWritten = "Windows Registry Editor Version 5.00\n; my notes\n"
                                   "[HKEY_CURRENT_USER\\Software\\Trovewick\\Trovewick20]\n\"Search\"=\"gif\"\n";
    writeAll(storeFile(), handWritten);
    RegistryFileStore store;
    QCOMPARE(store.setValue(User, Section, QStringLiteral("Search"), sz("gif")), StoreResult::Ok);
    QCOMPARE(store.createKey(User, Section), StoreResult::Ok);
    QCOMPARE(readAll(storeFile()), handWritten);
}

void tst_RegistryFileStore::twoProcessesSavingAtOnceKeepBoth()
{
    QProcess *first = startChild({QStringLiteral("--child-save"), QStringLiteral("A"), QString::number(ChildSaves)});
    QProcess *second = startChild({QStringLiteral("--child-save"), QStringLiteral("B"), QString::number(ChildSaves)});
    QVERIFY(readLineIs(*first, "ready"));
    QVERIFY(readLineIs(*second, "ready"));
    // Both start saving together: flush both pipes before waiting on either, as
    // waiting on one process does not deliver what was written to the other.
    first->write("go\n");
    second->write("go\n");
    QVERIFY(first->waitForBytesWritten(60000));
    QVERIFY(second->waitForBytesWritten(60000));
    for (QProcess *child : {first, second}) {
        QVERIFY(child->waitForFinished(120000));
        QCOMPARE(child->exitStatus(), QProcess::NormalExit);
        QCOMPARE(child->exitCode(), 0);
    }

    const auto parsed = RegistryFileFormat::parse(readAll(storeFile()));
    QVERIFY(!parsed.damaged);
    for (const char *prefix : {"A", "B"}) {
        for (int i = 0; i < ChildSaves; ++i) {
            const QString name = QLatin1StringView(prefix) + QString::number(i);
            QCOMPARE(parsed.tree.value(User, Section, name), sz(QByteArray::number(i)));
        }
    }
    QCOMPARE(parsed.tree.valueNames(User, Section)->size(), 2 * ChildSaves);
}

void tst_RegistryFileStore::writeKilledPartWayLeavesTheOldFile_data()
{
    QTest::addColumn<QStringList>("leftEmpty"); // lock files it died before writing its name in
    QTest::newRow("its lock") << QStringList();
    QTest::newRow("its lock, still nameless") << QStringList{QStringLiteral(".lock")};
    QTest::newRow("a nameless lock for clearing its lock") << QStringList{QStringLiteral(".lock.rmlock")};
}

void tst_RegistryFileStore::writeKilledPartWayLeavesTheOldFile()
{
    QFETCH(QStringList, leftEmpty);
    RegistryFileStore store;
    QCOMPARE(store.setValue(User, Section, QStringLiteral("Kept"), sz("old")), StoreResult::Ok);
    const QByteArray before = readAll(storeFile());

    QProcess *child = startChild({QStringLiteral("--child-hold")});
    QVERIFY(readLineIs(*child, "writing"));
    // The child holds the lock and has written its new text, not yet in place.
    QLockFile probe(storeFile() + QStringLiteral(".lock"));
    QVERIFY(!probe.tryLock(0));
    QCOMPARE(readAll(storeFile()), before);

    child->kill();
    QVERIFY(child->waitForFinished(60000));
    QCOMPARE(child->exitStatus(), QProcess::CrashExit);

    QCOMPARE(readAll(storeFile()), before);
    QVERIFY(!RegistryFileFormat::parse(before).damaged);
    for (const QString &suffix : leftEmpty) {
        // Seconds old: a nameless lock file of the last moment may still be getting its name.
        writeAll(storeFile() + suffix, {});
        setModified(storeFile() + suffix, QDateTime::currentDateTime().addSecs(-10));
    }
    // The dead instance's locks do not block this one, not even for a moment.
    store.setLockTimeout(0ms);
    QCOMPARE(store.setValue(User, Section, QStringLiteral("After"), sz("new")), StoreResult::Ok);
    QCOMPARE(store.queryValue(User, Section, QStringLiteral("Kept")), sz("old"));
    QCOMPARE(store.queryValue(User, Section, QStringLiteral("After")), sz("new"));
    QVERIFY(!store.queryValue(User, Section, QStringLiteral("Held")));
}

void tst_RegistryFileStore::killedSaveLeavesOldOrNewOptions()
{
    for (int round = 0; round < 40; ++round) {
        // Killed just before or just after it replaces the file for a random nth time.
        QProcess *child = startChild({QStringLiteral("--child-save-options")});
        for (qint64 writes = QRandomGenerator::global()->bounded(1, 12); writes > 0; writes -= child->readAll().size())
            QVERIFY(child->waitForReadyRead(60000));
        child->kill();
        QVERIFY(child->waitForFinished(60000));
        delete child;
        // No file yet, or all five values "1", or all five "0".
        const QByteArray text = readAll(storeFile());
        QVERIFY2(text.count("=\"1\"") % 5 == 0, text.constData());
    }
}

void tst_RegistryFileStore::writeStoppedBeforeCommitLeavesTheOldFile()
{
    RegistryFileStore store;
    QCOMPARE(store.setValue(User, Section, QStringLiteral("Kept"), sz("old")), StoreResult::Ok);
    const QByteArray before = readAll(storeFile());

    store.setBeforeCommitHook([] { throw std::runtime_error("cut short"); });
    QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                             store.setValue(User, Section, QStringLiteral("Lost"), sz("x")));
    QCOMPARE(readAll(storeFile()), before);
    QCOMPARE(QDir(storeFolder()).entryList(QDir::Files), QStringList{QStringLiteral("registry.reg")});

    store.setBeforeCommitHook({});
    QCOMPARE(store.setValue(User, Section, QStringLiteral("Next"), sz("y")), StoreResult::Ok);
    QCOMPARE(store.valueNames(User, Section), (QStringList{QStringLiteral("Kept"), QStringLiteral("Next")}));
}

void tst_RegistryFileStore::damagedFileIsKeptAside()
{
    QFile sample(QStringLiteral(TROVEWICK_TEST_DATA "/settings/damaged.reg"));
    QVERIFY(sample.open(QIODevice::ReadOnly));
    const QByteArray damaged = sample.readAll();
    writeAll(storeFile(), damaged);

    RegistryFileStore store;
    QCOMPARE(store.queryValue(User, Section, QStringLiteral("Search")), sz("asf,avi"));
    QVERIFY(!store.queryValue(User, Section, QStringLiteral("Follow")));
    QVERIFY(damagedCopies().isEmpty()); // reading moves nothing
    QCOMPARE(readAll(storeFile()), damaged);

    QCOMPARE(store.setValue(User, Section, QStringLiteral("Follow"), sz("htm")), StoreResult::Ok);
    const QStringList copies = damagedCopies();
    QCOMPARE(copies.size(), 1);
    QCOMPARE(readAll(storeFolder() + u'/' + copies.first()), damaged);

    const auto fresh = RegistryFileFormat::parse(readAll(storeFile()));
    QVERIFY(!fresh.damaged);
    QCOMPARE(fresh.tree.valueNames(User, Section),
             (QStringList{QStringLiteral("Search"), QStringLiteral("MaxFiles"), QStringLiteral("MaxDomain"),
                          QStringLiteral("Follow")}));

    // The new file is sound, so later writes set nothing further aside.
    QCOMPARE(store.setValue(User, Section, QStringLiteral("MaxPages"), sz("5")), StoreResult::Ok);
    QCOMPARE(damagedCopies(), copies);

    // Another damaged file set aside within the same second gets a copy of its own.
    writeAll(storeFile(), damaged + "garbage\n");
    QCOMPARE(store.setValue(User, Section, QStringLiteral("MaxPages"), sz("6")), StoreResult::Ok);
    QCOMPARE(damagedCopies().size(), 2);
    QCOMPARE(readAll(storeFolder() + u'/' + damagedCopies().first()), damaged);
    QCOMPARE(readAll(storeFolder() + u'/' + damagedCopies().last()), damaged + "garbage\n");
}

void tst_RegistryFileStore::foreignFileIsKeptAside()
{
    const QByteArray foreign("\x7f" "ELF\x02\x01\x01\0\0\0garbage\xff\xfe", 19);
    writeAll(storeFile(), foreign);
    RegistryFileStore store;
    QVERIFY(!store.keyExists(User, Section));

    // A change that changes nothing writes nothing, so nothing needs setting aside yet.
    QCOMPARE(store.createKey(User, QString()), StoreResult::Ok);
    QCOMPARE(readAll(storeFile()), foreign);
    QVERIFY(damagedCopies().isEmpty());

    QCOMPARE(store.setValue(User, Section, QStringLiteral("Search"), sz("gif")), StoreResult::Ok);
    QCOMPARE(damagedCopies().size(), 1);
    QCOMPARE(readAll(storeFolder() + u'/' + damagedCopies().first()), foreign);
    QCOMPARE(store.valueNames(User, Section), QStringList{QStringLiteral("Search")});
}

void tst_RegistryFileStore::unreadableStoreIsNotReplaced()
{
    // Something is at the store's place that cannot be read as a file.
    QVERIFY(QDir().mkpath(storeFile()));
    writeAll(storeFile() + QStringLiteral("/inside"), "keep me");
    RegistryFileStore store;
    QVERIFY(!store.queryValue(User, Section, QStringLiteral("Search")));
    QCOMPARE(store.setValue(User, Section, QStringLiteral("Search"), sz("gif")), StoreResult::KeyUnavailable);
    QCOMPARE(readAll(storeFile() + QStringLiteral("/inside")), QByteArray("keep me"));
}

void tst_RegistryFileStore::blockedFolderRefusesWrites()
{
    writeAll(storeFolder(), "a file where the folder should be");
    RegistryFileStore store;
    QCOMPARE(store.createKey(User, Section), StoreResult::KeyUnavailable);
    QCOMPARE(store.setValue(User, Section, QStringLiteral("Search"), sz("gif")), StoreResult::KeyUnavailable);
    QCOMPARE(readAll(storeFolder()), QByteArray("a file where the folder should be"));
}

void tst_RegistryFileStore::unrelatedSaveKeepsEveryValue_data()
{
    QTest::addColumn<QByteArray>("text");

    QFile sample(QStringLiteral(TROVEWICK_TEST_DATA "/settings/handwritten.reg"));
    QVERIFY(sample.open(QIODevice::ReadOnly));
    const QByteArray v5 = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Trovewick\\Trovewick20]\n";
    const QByteArray v4 = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Trovewick\\Trovewick20]\n";
    QTest::newRow("the hand-written sample") << sample.readAll();
    QTest::newRow("quoted string starting with a byte order mark") << v5 + "\"Follow\"=\"\xef\xbb\xbfhtm\"\n";
    QTest::newRow("hex(1) string starting with a byte order mark") << v5 + "\"Follow\"=hex(1):ff,fe,68,00,00,00\n";
    QTest::newRow("REGEDIT4 string byte that is not UTF-8") << v4 + "\"Follow\"=hex(1):e1\n";
    QTest::newRow("REGEDIT4 Latin-1 multi-string") << v4 + "\"Follow\"=hex(7):e9,74,e9,00,00\n\"Other\"=\"x\"\n";
    QTest::newRow("REGEDIT4 text strings") << v4 + "\"Follow\"=hex(2):25,41,25,00\n\"Other\"=hex(1):41\n";
    QString export16 = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                                      "[HKEY_CURRENT_USER\\Software\\Trovewick\\Trovewick20]\r\n"
                                      "\"Follow\"=\"\uFEFFhtm,Grüße\"\r\n");
    QByteArray bigEndian("\xfe\xff");
    for (const QChar c : std::as_const(export16)) {
        bigEndian.append(char(c.unicode() >> 8));
        bigEndian.append(char(c.unicode() & 0xFF));
    }
    QTest::newRow("big-endian UTF-16 export") << bigEndian;
}

void tst_RegistryFileStore::unrelatedSaveKeepsEveryValue()
{
    QFETCH(QByteArray, text);
    writeAll(storeFile(), text);
    const auto before = RegistryFileFormat::parse(text);
    QVERIFY(!before.damaged);
    QVERIFY(!before.tree.valueNames(User, Section)->contains(QStringLiteral("Unrelated")));

    RegistryFileStore store;
    QCOMPARE(store.setValue(User, Section, QStringLiteral("Unrelated"), sz("new")), StoreResult::Ok);
    QVERIFY(damagedCopies().isEmpty());
    QCOMPARE(store.queryValue(User, Section, QStringLiteral("Unrelated")), sz("new"));
    for (const RegistryRoot root : {RegistryRoot::ClassesRoot, User}) {
        QStringList paths{QString()};
        for (qsizetype i = 0; i < paths.size(); ++i) {
            const QString path = paths[i];
            const QStringList subkeys = *before.tree.subkeyNames(root, path);
            for (const QString &name : subkeys)
                paths.append(path.isEmpty() ? name : path + u'\\' + name);
            QVERIFY(store.keyExists(root, path));
            const QStringList names = *before.tree.valueNames(root, path);
            for (const QString &name : names)
                QCOMPARE(store.queryValue(root, path, name), before.tree.value(root, path, name));
        }
    }
    const auto after = RegistryFileFormat::parse(readAll(storeFile()));
    QVERIFY(!after.damaged);
    QCOMPARE(after.version, before.version);
    RegistryTree expected = before.tree;
    expected.setValue(User, Section, QStringLiteral("Unrelated"), sz("new"));
    QVERIFY(after.tree == expected);
}

namespace {
QByteArray searchFile(const QByteArray &search)
{
    return "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Trovewick\\Trovewick20]\n"
           "\"Search\"=\"" + search + "\"\n";
}
} // namespace

void tst_RegistryFileStore::unchangedFileIsNotReadAgain()
{
    // Last changed an hour ago, to the millisecond, so the time can be set again exactly.
    const QDateTime settled = QDateTime::fromMSecsSinceEpoch(QDateTime::currentMSecsSinceEpoch() - 3600000);
    writeAll(storeFile(), searchFile("old"));
    setModified(storeFile(), settled);
    RegistryFileStore store;
    QCOMPARE(store.queryValue(User, Section, QStringLiteral("Search")), sz("old"));

    // The same file with the same size and time is taken to be the text already
    // read: a store object of this process does not read it again.
    writeAll(storeFile(), searchFile("new"));
    setModified(storeFile(), settled);
    QCOMPARE(store.queryValue(User, Section, QStringLiteral("Search")), sz("old"));
    QCOMPARE(RegistryFileStore().queryValue(User, Section, QStringLiteral("Search")), sz("old"));
    QVERIFY(store.keyExists(User, Section));

    // A file elsewhere is a file of its own.
    const QString other = m_config.path() + QStringLiteral("/Trovewick/other/registry.reg");
    writeAll(other, searchFile("own"));
    setModified(other, settled);
    QCOMPARE(RegistryFileStore(other).queryValue(User, Section, QStringLiteral("Search")), sz("own"));
}

void tst_RegistryFileStore::changedFileIsReadAgain_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("another size") << QStringLiteral("size");
    QTest::newRow("another time") << QStringLiteral("time");
    QTest::newRow("another file of the same size and time") << QStringLiteral("file");
    QTest::newRow("rewritten in the moment it was read") << QStringLiteral("moment");
}

void tst_RegistryFileStore::changedFileIsReadAgain()
{
    QFETCH(QString, change);
    // Each row's file had its last change at a time of its own, ten seconds and
    // more from any other's, so a reading of an earlier row cannot pass for it.
    static int row = 0;
    ++row;
    const bool moment = change == QLatin1StringView("moment");
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(QDateTime::currentMSecsSinceEpoch()
                                                          - (moment ? 0 : 7200000 + row * 10000));
    writeAll(storeFile(), searchFile("old"));
    setModified(storeFile(), time);
    RegistryFileStore store;
    QCOMPARE(store.queryValue(User, Section, QStringLiteral("Search")), sz("old"));

    if (change == QLatin1StringView("size")) {
        writeAll(storeFile(), searchFile("newer"));
        setModified(storeFile(), time);
    } else if (change == QLatin1StringView("time")) {
        writeAll(storeFile(), searchFile("new"));
        setModified(storeFile(), time.addSecs(1));
    } else if (change == QLatin1StringView("file")) {
        const QString next = storeFile() + QStringLiteral(".next");
        writeAll(next, searchFile("new"));
        setModified(next, time);
        QCOMPARE(std::rename(QFile::encodeName(next).constData(), QFile::encodeName(storeFile()).constData()), 0);
    } else {
        // Within the file system's clock step a rewrite can keep size, time and
        // file; a text read that fresh is checked again.
        writeAll(storeFile(), searchFile("new"));
        setModified(storeFile(), time);
    }
    QCOMPARE(store.queryValue(User, Section, QStringLiteral("Search")), sz(change == QLatin1StringView("size") ? "newer" : "new"));
}

void tst_RegistryFileStore::lockTimeoutIsAtMostTwoSeconds()
{
    // The options dialog waits this long, frozen, before it shows the error.
    const RegistryFileStore store;
    QVERIFY(store.lockTimeout() > 0ms);
    QVERIFY(store.lockTimeout() <= 2s);
    QCOMPARE(store.lockTimeout(), RegistryFileStore::DefaultLockTimeout);
}

void tst_RegistryFileStore::heldLockRefusesChanges_data()
{
    QTest::addColumn<bool>("foreign");
    QTest::newRow("lock held in this process") << false;
    QTest::newRow("lock held by another instance") << true;
}

void tst_RegistryFileStore::heldLockRefusesChanges()
{
    QFETCH(bool, foreign);
    RegistryFileStore first;
    QCOMPARE(first.setValue(User, Section, QStringLiteral("Kept"), sz("old")), StoreResult::Ok);
    const QByteArray before = readAll(storeFile());

    QLockFile ownLock(storeFile() + QStringLiteral(".lock"));
    QProcess *child = nullptr;
    if (foreign) {
        child = startChild({QStringLiteral("--child-hold")});
        QVERIFY(readLineIs(*child, "writing"));
    } else {
        QVERIFY(ownLock.tryLock(0));
    }

    // No waiting in the test: the store gives up at once.
    auto store = std::make_shared<RegistryFileStore>();
    store->setLockTimeout(0ms);
    QCOMPARE(store->setValue(User, Section, QStringLiteral("Search"), sz("gif")), StoreResult::KeyUnavailable);
    QCOMPARE(store->createKey(User, QStringLiteral("Software\\Other")), StoreResult::KeyUnavailable);
    QCOMPARE(store->deleteValue(User, Section, QStringLiteral("Kept")), StoreResult::KeyUnavailable);
    // Reads take no lock.
    QCOMPARE(store->queryValue(User, Section, QStringLiteral("Kept")), sz("old"));

    // The registry class raises the error a blocked store has always raised.
    cRegistry registry(store);
    registry.setClassKey(cRegistry::HKEY_CURRENT_USER);
    registry.setSectionKey(Section);
    registry.setValueType(cRegistry::REG_SZ);
    registry.setValueKey(QStringLiteral("Search"));
    try {
        registry.setValue(QStringLiteral("gif"));
        QFAIL("no error raised");
    } catch (const AppError &error) {
        QCOMPARE(error.number(), 26001);
        QCOMPARE(error.description(),
                 QStringLiteral("Failed to set registry value Key: '-2147483647',Section: "
                                "'Software\\Trovewick\\Trovewick20',Key: 'Search' to value: 'gif'"));
    }

    if (child) {
        child->kill();
        QVERIFY(child->waitForFinished(60000));
    } else {
        ownLock.unlock();
    }
    QCOMPARE(readAll(storeFile()), before);
    QCOMPARE(store->setValue(User, Section, QStringLiteral("Search"), sz("gif")), StoreResult::Ok);
}

void tst_RegistryFileStore::changeWaitsForAnotherInstanceToFinish()
{
    QProcess *child = startChild({QStringLiteral("--child-hold")});
    QVERIFY(readLineIs(*child, "writing"));
    // Let the other instance finish its write; this change waits for its lock.
    child->write("go\n");
    QVERIFY(child->waitForBytesWritten(60000));
    RegistryFileStore store;
    store.setLockTimeout(60s); // generous: the test is about waiting, not how long
    QCOMPARE(store.setValue(User, Section, QStringLiteral("After"), sz("new")), StoreResult::Ok);
    QVERIFY(child->waitForFinished(60000));
    QCOMPARE(child->exitCode(), 3);
    // Let go instead of killed, the other instance committed its value after all.
    QCOMPARE(store.queryValue(User, Section, QStringLiteral("Held")), sz("never committed"));
    QCOMPARE(store.queryValue(User, Section, QStringLiteral("After")), sz("new"));
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 4 && arguments[1] == QLatin1StringView("--child-save"))
        return childSave(arguments[2], arguments[3].toInt());
    if (arguments.size() == 2 && arguments[1] == QLatin1StringView("--child-hold"))
        return childHold();
    if (arguments.size() == 2 && arguments[1] == QLatin1StringView("--child-save-options"))
        return childSaveOptions();
    tst_RegistryFileStore test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_registryfilestore.moc"
