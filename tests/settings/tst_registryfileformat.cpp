#include "settings/RegistryFileFormat.h"

#include <QFile>
#include <QTest>

class tst_RegistryFileFormat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsAHandWrittenFile();
    void roundTripOfEveryType_data();
    void roundTripOfEveryType();
    void writesTheExportLayout();
    void wrapsLongHexData();
    void readsWindowsLineEnds();
    void readsARealUtf16Export();
    void readsRegedit4StringsAsBytes();
    void deletionLinesRemove();
    void unreadableParts_data();
    void unreadableParts();
    void cutOffHexKeepsTheNextSection();
    void readsTheDamagedSample();
    void emptyTextIsAnEmptyStore();
};

namespace {
const auto User = RegistryRoot::CurrentUser;
const QString Section = QStringLiteral("Software\\Trovewick\\Trovewick20");

QByteArray dataFile(const char *name)
{
    QFile file(QStringLiteral(TROVEWICK_TEST_DATA "/settings/") + QLatin1StringView(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing test data %s", name);
    return file.readAll();
}

RegistryValue sz(const QByteArray &text)
{
    return {RegistryType::Sz, QByteArray(text).append('\0')};
}

std::optional<RegistryValue> valueAt(const RegistryTree &tree, const QString &name)
{
    return tree.value(User, Section, name);
}
} // namespace

void tst_RegistryFileFormat::readsAHandWrittenFile()
{
    const auto parsed = RegistryFileFormat::parse(dataFile("handwritten.reg"));
    QVERIFY(!parsed.damaged);
    const RegistryTree &tree = parsed.tree;

    QCOMPARE(valueAt(tree, QStringLiteral("Search")), sz("asf,avi,gif"));
    QCOMPARE(valueAt(tree, QStringLiteral("MaxPages")), sz("250"));
    QCOMPARE(valueAt(tree, QStringLiteral("Quoted")), sz("say \"hi\" to C:\\Temp\\"));
    QCOMPARE(valueAt(tree, QString()), sz("default text"));
    QCOMPARE(valueAt(tree, QStringLiteral("Count")),
             (RegistryValue{RegistryType::Dword, QByteArray("\xfa\0\0\0", 4)}));
    QCOMPARE(valueAt(tree, QStringLiteral("Negative")),
             (RegistryValue{RegistryType::Dword, QByteArray("\xff\xff\xff\xff", 4)}));
    QCOMPARE(valueAt(tree, QStringLiteral("Flags")),
             (RegistryValue{RegistryType::Binary, QByteArray("\0\0\1\0\0", 5)}));
    QByteArray counting;
    for (int i = 0; i < 32; ++i)
        counting.append(char(i));
    QCOMPARE(valueAt(tree, QStringLiteral("Long")), (RegistryValue{RegistryType::Binary, counting}));
    // UTF-16LE in the file, UTF-8 in the store, the NUL kept.
    QCOMPARE(valueAt(tree, QStringLiteral("Path")),
             (RegistryValue{RegistryType::ExpandSz, QByteArray("%TROVE_DIR%\\x\0", 14)}));
    QCOMPARE(valueAt(tree, QStringLiteral("Big")),
             (RegistryValue{RegistryType::DwordBigEndian, QByteArray("\0\0\1\0", 4)}));
    QCOMPARE(valueAt(tree, QStringLiteral("List")),
             (RegistryValue{RegistryType::MultiSz, QByteArray("a\0bc\0\0", 6)}));
    QCOMPARE(valueAt(tree, QStringLiteral("Unterminated")), (RegistryValue{RegistryType::Sz, "AB"}));
    QCOMPARE(valueAt(tree, QStringLiteral("Wide")),
             (RegistryValue{11, QByteArray("\1\2\3\4\5\6\7\x08", 8)}));
    QCOMPARE(valueAt(tree, QStringLiteral("Unicode")), sz(QStringLiteral("Grüße €").toUtf8()));
    QCOMPARE(valueAt(tree, QStringLiteral("Empty")), sz(""));
    QVERIFY(tree.keyExists(User, QStringLiteral("Software\\Trovewick\\Empty Key")));
    QCOMPARE(tree.value(RegistryRoot::ClassesRoot, QStringLiteral(".twk"), QString()), sz("Trovewick.List"));
}

void tst_RegistryFileFormat::roundTripOfEveryType_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("data");

    QByteArray longBinary;
    for (int i = 0; i < 300; ++i)
        longBinary.append(char(i * 7));

    QTest::newRow("string") << QStringLiteral("Search") << 1 << QByteArray("asf,avi\0", 8);
    QTest::newRow("string with quotes and backslashes")
        << QStringLiteral("a \"b\" \\c\\") << 1 << QByteArray("C:\\\"x\"\\\0", 8);
    QTest::newRow("string with line break") << QStringLiteral("s") << 1 << QByteArray("a\r\nb\0", 5);
    QTest::newRow("string without its NUL") << QStringLiteral("s") << 1 << QByteArray("abc");
    QTest::newRow("string of no bytes") << QStringLiteral("s") << 1 << QByteArray();
    QTest::newRow("string with inner NUL") << QStringLiteral("s") << 1 << QByteArray("a\0b\0", 4);
    QTest::newRow("non-ASCII string") << QStringLiteral("Grüße") << 1 << QByteArray("Grüße €\0", 12);
    QTest::newRow("default value") << QString() << 1 << QByteArray("x\0", 2);
    QTest::newRow("value named @") << QStringLiteral("@") << 1 << QByteArray("x\0", 2);
    QTest::newRow("expandable string") << QStringLiteral("e") << 2 << QByteArray("%TEMP%\\x\0", 9);
    QTest::newRow("multi-string") << QStringLiteral("m") << 7 << QByteArray("one\0two\0\0", 9);
    QTest::newRow("binary") << QStringLiteral("b") << 3 << QByteArray("\0\0\1\0\0", 5);
    QTest::newRow("empty binary") << QStringLiteral("b") << 3 << QByteArray();
    QTest::newRow("long binary") << QStringLiteral("b") << 3 << longBinary;
    QTest::newRow("dword") << QStringLiteral("d") << 4 << QByteArray("\x78\x56\x34\x12", 4);
    QTest::newRow("dword of three bytes") << QStringLiteral("d") << 4 << QByteArray("\1\2\3", 3);
    QTest::newRow("big-endian dword") << QStringLiteral("d") << 5 << QByteArray("\0\0\1\0", 4);
    QTest::newRow("qword") << QStringLiteral("q") << 11 << QByteArray("\1\2\3\4\5\6\7\x08", 8);
    QTest::newRow("type none") << QStringLiteral("n") << 0 << QByteArray("\xff", 1);
    QTest::newRow("type beyond 31 bits") << QStringLiteral("n") << int(0x80000001) << QByteArray("z");
}

void tst_RegistryFileFormat::roundTripOfEveryType()
{
    QFETCH(QString, name);
    QFETCH(int, type);
    QFETCH(QByteArray, data);

    RegistryTree tree;
    QCOMPARE(tree.setValue(User, Section, name, {type, data}), StoreResult::Ok);
    tree.setValue(User, Section, QStringLiteral("after"), sz("next line"));
    const QByteArray text = RegistryFileFormat::serialize(tree);
    const auto parsed = RegistryFileFormat::parse(text);
    QVERIFY2(!parsed.damaged, text.constData());
    QVERIFY2(parsed.tree == tree, text.constData());
    QCOMPARE(valueAt(parsed.tree, name), (RegistryValue{type, data}));
    // Writing what was read gives the same text again.
    QCOMPARE(RegistryFileFormat::serialize(parsed.tree), text);
}

void tst_RegistryFileFormat::writesTheExportLayout()
{
    RegistryTree tree;
    tree.setValue(User, Section, QStringLiteral("Search"), sz("a\\b \"c\""));
    tree.setValue(User, Section, QString(), sz("d"));
    tree.setValue(User, Section, QStringLiteral("MaxPages"), {RegistryType::Dword, QByteArray("\xfa\0\0\0", 4)});
    tree.setValue(User, Section, QStringLiteral("Path"), {RegistryType::ExpandSz, QByteArray("%A%\0", 4)});
    tree.setValue(User, Section, QStringLiteral("Flags"), {RegistryType::Binary, QByteArray("\0\1", 2)});
    tree.createKey(RegistryRoot::ClassesRoot, QStringLiteral(".twk"));

    const QByteArray expected = "Windows Registry Editor Version 5.00\n"
                                "\n[HKEY_CLASSES_ROOT\\.twk]\n"
                                "\n[HKEY_CURRENT_USER\\Software]\n"
                                "\n[HKEY_CURRENT_USER\\Software\\Trovewick]\n"
                                "\n[HKEY_CURRENT_USER\\Software\\Trovewick\\Trovewick20]\n"
                                "\"Search\"=\"a\\\\b \\\"c\\\"\"\n"
                                "@=\"d\"\n"
                                "\"MaxPages\"=dword:000000fa\n"
                                "\"Path\"=hex(2):25,00,41,00,25,00,00,00\n"
                                "\"Flags\"=hex:00,01\n";
    QCOMPARE(RegistryFileFormat::serialize(tree), expected);
}

void tst_RegistryFileFormat::wrapsLongHexData()
{
    RegistryTree tree;
    tree.setValue(User, QStringLiteral("k"), QStringLiteral("b"), {RegistryType::Binary, QByteArray(100, '\x41')});
    const QList<QByteArray> lines = RegistryFileFormat::serialize(tree).split('\n');
    int continued = 0;
    for (const QByteArray &line : lines) {
        QVERIFY2(line.size() <= 80, line.constData());
        if (line.endsWith('\\'))
            ++continued;
    }
    QVERIFY(continued >= 3);
}

void tst_RegistryFileFormat::readsWindowsLineEnds()
{
    const QByteArray text = "Windows Registry Editor Version 5.00\r\n\r\n"
                            "[HKEY_CURRENT_USER\\Software\\Trovewick\\Trovewick20]\r\n"
                            "\"Search\"=\"gif\"\r\n"
                            "\"Flags\"=hex:01,\\\r\n  02\r\n";
    const auto parsed = RegistryFileFormat::parse(text);
    QVERIFY(!parsed.damaged);
    QCOMPARE(valueAt(parsed.tree, QStringLiteral("Search")), sz("gif"));
    QCOMPARE(valueAt(parsed.tree, QStringLiteral("Flags")), (RegistryValue{RegistryType::Binary, "\1\2"}));
}

void tst_RegistryFileFormat::readsARealUtf16Export()
{
    const QString text = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                                        "[HKEY_CURRENT_USER\\Software\\Trovewick\\Trovewick20]\r\n"
                                        "\"Search\"=\"mp3,Grüße\"\r\n");
    QByteArray bytes("\xff\xfe");
    for (const QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    const auto parsed = RegistryFileFormat::parse(bytes);
    QVERIFY(!parsed.damaged);
    QCOMPARE(valueAt(parsed.tree, QStringLiteral("Search")), sz(QStringLiteral("mp3,Grüße").toUtf8()));
}

void tst_RegistryFileFormat::readsRegedit4StringsAsBytes()
{
    const QByteArray text = "REGEDIT4\n\n[HKEY_CURRENT_USER\\k]\n\"e\"=hex(2):25,41,25,00\n";
    const auto parsed = RegistryFileFormat::parse(text);
    QVERIFY(!parsed.damaged);
    QCOMPARE(parsed.tree.value(User, QStringLiteral("k"), QStringLiteral("e")),
             (RegistryValue{RegistryType::ExpandSz, QByteArray("%A%\0", 4)}));
}

void tst_RegistryFileFormat::deletionLinesRemove()
{
    const QByteArray text = "Windows Registry Editor Version 5.00\n"
                            "[HKEY_CURRENT_USER\\a\\b]\n\"x\"=\"1\"\n\"y\"=\"2\"\n"
                            "[HKEY_CURRENT_USER\\a\\c]\n"
                            "[-HKEY_CURRENT_USER\\a\\b]\n\"ignored\"=\"3\"\n"
                            "[HKEY_CURRENT_USER\\a\\c]\n\"z\"=\"4\"\n\"z\"=-\n";
    const auto parsed = RegistryFileFormat::parse(text);
    QVERIFY(!parsed.damaged);
    QVERIFY(!parsed.tree.keyExists(User, QStringLiteral("a\\b")));
    QCOMPARE(parsed.tree.valueNames(User, QStringLiteral("a\\c")), QStringList());
}

void tst_RegistryFileFormat::unreadableParts_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("kept"); // values of [HKEY_CURRENT_USER\k] still read

    const QByteArray head = "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\k]\n\"a\"=\"1\"\n";
    const QByteArray tail = "\"z\"=\"2\"\n";
    const QStringList both{QStringLiteral("a"), QStringLiteral("z")};
    QTest::newRow("first line not the header")
        << QByteArray("Some other file\n[HKEY_CURRENT_USER\\k]\n\"a\"=\"1\"\n") + tail << both;
    QTest::newRow("bytes that are not UTF-8") << head + "\"bad\"=\"\xff\xfe\"\n" + tail << both;
    QTest::newRow("unterminated string") << head + "\"bad\"=\"open\n" + tail << both;
    QTest::newRow("text after the string") << head + "\"bad\"=\"x\" y\n" + tail << both;
    QTest::newRow("dword not hex") << head + "\"bad\"=dword:zz\n" + tail << both;
    QTest::newRow("dword too long") << head + "\"bad\"=dword:123456789\n" + tail << both;
    QTest::newRow("hex byte not hex") << head + "\"bad\"=hex:0g\n" + tail << both;
    QTest::newRow("hex byte too long") << head + "\"bad\"=hex:001\n" + tail << both;
    QTest::newRow("empty hex byte") << head + "\"bad\"=hex:01,,02\n" + tail << both;
    QTest::newRow("hex type unclosed") << head + "\"bad\"=hex(2:00\n" + tail << both;
    QTest::newRow("odd UTF-16 string") << head + "\"bad\"=hex(2):41\n" + tail << both;
    QTest::newRow("unknown data form") << head + "\"bad\"=word:1\n" + tail << both;
    QTest::newRow("name without equals") << head + "\"bad\" \"x\"\n" + tail << both;
    QTest::newRow("line that is no value") << head + "garbage\n" + tail << both;
    QTest::newRow("value name with a lone carriage return") << head + "\"b\rad\"=\"x\"\n" + tail << both;
    QTest::newRow("section line that is not UTF-8")
        << head + "[HKEY_CURRENT_USER\\other\xff]\n\"lost\"=\"x\"\n" << QStringList{QStringLiteral("a")};
    QTest::newRow("unclosed section")
        << head + "[HKEY_CURRENT_USER\\other\n\"lost\"=\"x\"\n" << QStringList{QStringLiteral("a")};
    QTest::newRow("unknown root")
        << head + "[HKEY_LOCAL_MACHINE\\k]\n\"lost\"=\"x\"\n" << QStringList{QStringLiteral("a")};
    QTest::newRow("value before any section")
        << QByteArray("Windows Registry Editor Version 5.00\n\"lost\"=\"x\"\n[HKEY_CURRENT_USER\\k]\n") + tail
        << QStringList{QStringLiteral("z")};
}

void tst_RegistryFileFormat::unreadableParts()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, kept);
    const auto parsed = RegistryFileFormat::parse(text);
    QVERIFY(parsed.damaged);
    QCOMPARE(parsed.tree.valueNames(User, QStringLiteral("k")), kept);
    QVERIFY(!parsed.tree.keyExists(User, QStringLiteral("other")));
}

void tst_RegistryFileFormat::cutOffHexKeepsTheNextSection()
{
    // Wrapped hex data whose continuation is missing: the section below is its own.
    const QByteArray text = "Windows Registry Editor Version 5.00\n"
                            "[HKEY_CURRENT_USER\\k]\n\"a\"=\"1\"\n\"bad\"=hex:01,02,\\\n"
                            "[HKEY_CURRENT_USER\\next]\n\"b\"=\"2\"\n";
    const auto parsed = RegistryFileFormat::parse(text);
    QVERIFY(parsed.damaged);
    QCOMPARE(parsed.tree.valueNames(User, QStringLiteral("k")), QStringList{QStringLiteral("a")});
    QCOMPARE(parsed.tree.value(User, QStringLiteral("next"), QStringLiteral("b")), sz("2"));
}

void tst_RegistryFileFormat::readsTheDamagedSample()
{
    const auto parsed = RegistryFileFormat::parse(dataFile("damaged.reg"));
    QVERIFY(parsed.damaged);
    QCOMPARE(parsed.tree.valueNames(User, Section),
             (QStringList{QStringLiteral("Search"), QStringLiteral("MaxFiles"), QStringLiteral("MaxDomain")}));
    QCOMPARE(valueAt(parsed.tree, QStringLiteral("MaxDomain")), sz("5"));
}

void tst_RegistryFileFormat::emptyTextIsAnEmptyStore()
{
    const auto parsed = RegistryFileFormat::parse(QByteArray());
    QVERIFY(!parsed.damaged);
    QVERIFY(parsed.tree == RegistryTree());
}

QTEST_APPLESS_MAIN(tst_RegistryFileFormat)
#include "tst_registryfileformat.moc"
