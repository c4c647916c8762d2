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
    void wrapsLongHexData_data();
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
    void utf16Text_data();
    void utf16Text();
    void writingKeepsStringBytes_data();
    void writingKeepsStringBytes();
    void writesRegedit4WhenAsked();
    void writesRegedit4ForStringsThatAreNotText();
    void readWriteReadKeepsEveryValue_data();
    void readWriteReadKeepsEveryValue();
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

void tst_RegistryFileFormat::wrapsLongHexData_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("expected"); // the value's lines
    const QByteArray first = "\"b\"=hex:" + QByteArray("41,").repeated(22); // 74 columns
    const QByteArray next = "\\\n  " + QByteArray("41,").repeated(24);
    QTest::newRow("last byte ending at column 76") << 23 << first + "41\n";
    QTest::newRow("one byte more") << 24 << first + "\\\n  41,41\n";
    QTest::newRow("100 bytes") << 100 << first + next + next + next + "\\\n  41,41,41,41,41,41\n";
}

void tst_RegistryFileFormat::wrapsLongHexData()
{
    QFETCH(int, size);
    QFETCH(QByteArray, expected);
    RegistryTree tree;
    tree.setValue(User, QStringLiteral("k"), QStringLiteral("b"), {RegistryType::Binary, QByteArray(size, '\x41')});
    const QByteArray text = RegistryFileFormat::serialize(tree);
    QCOMPARE(text.sliced(text.indexOf("\"b\"=")), expected);
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
    QTest::newRow("UTF-16 string with a lone high surrogate") << head + "\"bad\"=hex(1):3d,d8,41,00\n" + tail << both;
    QTest::newRow("UTF-16 string with a lone low surrogate") << head + "\"bad\"=hex(7):00,de,00,00\n" + tail << both;
    QTest::newRow("byte order mark opening a line") << head + "\xef\xbb\xbf\"bad\"=\"x\"\n" + tail << both;
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

namespace {
QByteArray utf16(const QString &text, bool bigEndian)
{
    QByteArray bytes = bigEndian ? QByteArray("\xfe\xff") : QByteArray("\xff\xfe");
    for (const QChar c : text) {
        const char low = char(c.unicode() & 0xFF);
        const char high = char(c.unicode() >> 8);
        bytes.append(bigEndian ? high : low);
        bytes.append(bigEndian ? low : high);
    }
    return bytes;
}
} // namespace

void tst_RegistryFileFormat::utf16Text_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("damaged");
    QTest::addColumn<QStringList>("kept"); // values of [HKEY_CURRENT_USER\k] read

    const QString head = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                                        "[HKEY_CURRENT_USER\\k]\r\n\"a\"=\"Grüße €\"\r\n");
    const QString tail = QStringLiteral("\"z\"=\"\U0001F600\"\r\n");
    const QString loneHigh = QString(QChar(char16_t(0xD83D)));
    const QString loneLow = QString(QChar(char16_t(0xDE00)));
    const QStringList both{QStringLiteral("a"), QStringLiteral("z")};
    const QStringList first{QStringLiteral("a")};
    for (const bool bigEndian : {false, true}) {
        const QByteArray order = bigEndian ? "big-endian" : "little-endian";
        QTest::newRow((order + " export").constData()) << utf16(head + tail, bigEndian) << false << both;
        QTest::newRow((order + " string with a lone high surrogate").constData())
            << utf16(head + QStringLiteral("\"bad\"=\"x") + loneHigh + QStringLiteral("\"\r\n") + tail, bigEndian)
            << true << both;
        QTest::newRow((order + " name with a lone low surrogate").constData())
            << utf16(head + u'"' + loneLow + QStringLiteral("\"=\"x\"\r\n") + tail, bigEndian) << true << both;
        QTest::newRow((order + " surrogates in the wrong order").constData())
            << utf16(head + QStringLiteral("\"bad\"=\"") + loneLow + loneHigh + QStringLiteral("\"\r\n") + tail,
                     bigEndian)
            << true << both;
        QTest::newRow((order + " odd final byte").constData()) << utf16(head, bigEndian) + QByteArray(1, '\x41') << true << first;
    }
}

void tst_RegistryFileFormat::utf16Text()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, damaged);
    QFETCH(QStringList, kept);
    const auto parsed = RegistryFileFormat::parse(text);
    QCOMPARE(parsed.damaged, damaged);
    QCOMPARE(parsed.tree.valueNames(User, QStringLiteral("k")), kept);
    QCOMPARE(parsed.tree.value(User, QStringLiteral("k"), QStringLiteral("a")), sz(QStringLiteral("Grüße €").toUtf8()));
    if (kept.contains(QStringLiteral("z")))
        QCOMPARE(parsed.tree.value(User, QStringLiteral("k"), QStringLiteral("z")), sz("\xf0\x9f\x98\x80"));
}

void tst_RegistryFileFormat::writingKeepsStringBytes_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<RegistryValue>("value"); // of "s" under [HKEY_CURRENT_USER\k]

    const QByteArray v5 = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\k]\n\"a\"=\"1\"\n";
    const QByteArray v4 = "REGEDIT4\n\n[HKEY_CURRENT_USER\\k]\n\"a\"=\"1\"\n";
    const QByteArray bom = "\xef\xbb\xbf";
    QTest::newRow("quoted string starting with a byte order mark")
        << v5 + "\"s\"=\"" + bom + "abc\"\n" << RegistryValue{RegistryType::Sz, bom + QByteArray("abc\0", 4)};
    QTest::newRow("quoted string of a byte order mark alone")
        << v5 + "\"s\"=\"" + bom + "\"\n" << RegistryValue{RegistryType::Sz, bom + QByteArray(1, '\0')};
    QTest::newRow("two byte order marks")
        << v5 + "\"s\"=\"" + bom + bom + "\"\n" << RegistryValue{RegistryType::Sz, bom + bom + QByteArray(1, '\0')};
    QTest::newRow("hex(1) string starting with a byte order mark")
        << v5 + "\"s\"=hex(1):ff,fe,61,00\n" << RegistryValue{RegistryType::Sz, bom + "a"};
    QTest::newRow("expandable string starting with a byte order mark")
        << v5 + "\"s\"=hex(2):ff,fe,25,00,41,00,25,00,00,00\n"
        << RegistryValue{RegistryType::ExpandSz, bom + QByteArray("%A%\0", 4)};
    QTest::newRow("multi-string starting with a byte order mark")
        << v5 + "\"s\"=hex(7):ff,fe,61,00,00,00,ff,fe,00,00,00,00\n"
        << RegistryValue{RegistryType::MultiSz, bom + QByteArray("a\0", 2) + bom + QByteArray("\0\0", 2)};
    QTest::newRow("REGEDIT4 string byte that is not UTF-8")
        << v4 + "\"s\"=hex(1):e1\n" << RegistryValue{RegistryType::Sz, "\xe1"};
    QTest::newRow("REGEDIT4 terminated string that is not UTF-8")
        << v4 + "\"s\"=hex(1):47,72,fc,df,65,00\n" << RegistryValue{RegistryType::Sz, QByteArray("Gr\xfc\xdf" "e\0", 6)};
    QTest::newRow("REGEDIT4 expandable string that is not UTF-8")
        << v4 + "\"s\"=hex(2):25,e9,25,00\n" << RegistryValue{RegistryType::ExpandSz, QByteArray("%\xe9%\0", 4)};
    QTest::newRow("REGEDIT4 multi-string with a cut UTF-8 sequence")
        << v4 + "\"s\"=hex(7):61,c3,00,62,00,00\n" << RegistryValue{RegistryType::MultiSz, QByteArray("a\xc3\0b\0\0", 6)};
    QTest::newRow("REGEDIT4 string of an encoded surrogate")
        << v4 + "\"s\"=hex(1):ed,a0,80,00\n" << RegistryValue{RegistryType::Sz, QByteArray("\xed\xa0\x80\0", 4)};
    QTest::newRow("REGEDIT4 string starting with a byte order mark")
        << v4 + "\"s\"=hex(1):ef,bb,bf,41,00\n" << RegistryValue{RegistryType::Sz, bom + QByteArray("A\0", 2)};
    QTest::newRow("REGEDIT4 quoted string starting with a byte order mark")
        << v4 + "\"s\"=\"" + bom + "A\"\n" << RegistryValue{RegistryType::Sz, bom + QByteArray("A\0", 2)};
}

// What was read is written so that it reads back byte for byte, whatever else is written.
void tst_RegistryFileFormat::writingKeepsStringBytes()
{
    QFETCH(QByteArray, text);
    QFETCH(RegistryValue, value);
    const auto parsed = RegistryFileFormat::parse(text);
    QVERIFY(!parsed.damaged);
    QCOMPARE(parsed.tree.value(User, QStringLiteral("k"), QStringLiteral("s")), value);

    RegistryTree changed = parsed.tree;
    changed.setValue(User, QStringLiteral("k"), QStringLiteral("unrelated"), sz("new"));
    const QByteArray written = RegistryFileFormat::serialize(changed);
    const auto reread = RegistryFileFormat::parse(written);
    QVERIFY2(!reread.damaged, written.constData());
    QCOMPARE(reread.tree.value(User, QStringLiteral("k"), QStringLiteral("s")), value);
    QVERIFY2(reread.tree == changed, written.constData());
    QCOMPARE(RegistryFileFormat::serialize(reread.tree), written);
}

void tst_RegistryFileFormat::writesRegedit4WhenAsked()
{
    RegistryTree tree;
    tree.setValue(User, QStringLiteral("k"), QStringLiteral("s"), sz("Grüße"));
    tree.setValue(User, QStringLiteral("k"), QStringLiteral("e"), {RegistryType::ExpandSz, QByteArray("%A%\0", 4)});
    tree.setValue(User, QStringLiteral("k"), QStringLiteral("u"), {RegistryType::Sz, "\xc3\xbc"});
    const QByteArray text = RegistryFileFormat::serialize(tree, RegistryFileFormat::Version::Regedit4);
    QCOMPARE(text, QByteArray("REGEDIT4\n"
                              "\n[HKEY_CURRENT_USER\\k]\n"
                              "\"s\"=\"Grüße\"\n"
                              "\"e\"=hex(2):25,41,25,00\n"
                              "\"u\"=hex(1):c3,bc\n"));
    const auto parsed = RegistryFileFormat::parse(text);
    QVERIFY(!parsed.damaged);
    QCOMPARE(parsed.version, RegistryFileFormat::Version::Regedit4);
    QVERIFY(parsed.tree == tree);
    QCOMPARE(RegistryFileFormat::parse(RegistryFileFormat::serialize(tree)).version,
             RegistryFileFormat::Version::Editor5);
}

void tst_RegistryFileFormat::writesRegedit4ForStringsThatAreNotText()
{
    // Only a REGEDIT4 file holds string bytes that are not UTF-8 text.
    RegistryTree tree;
    tree.setValue(User, QStringLiteral("k"), QStringLiteral("t"), sz("text"));
    tree.setValue(RegistryRoot::ClassesRoot, QStringLiteral("c\\d"), QStringLiteral("s"), {RegistryType::MultiSz, QByteArray("\xe1\0\0", 3)});
    const QByteArray text = RegistryFileFormat::serialize(tree);
    QVERIFY2(text.startsWith("REGEDIT4\n"), text.constData());
    QVERIFY2(text.contains("\n\"s\"=hex(7):e1,00,00\n"), text.constData());
    const auto parsed = RegistryFileFormat::parse(text);
    QVERIFY(!parsed.damaged);
    QVERIFY(parsed.tree == tree);
}

namespace {
// Every key and value of a tree, one line each, keys in name order and values in
// theirs, so that two trees compare without the tree's own comparison.
QStringList describe(const RegistryTree &tree)
{
    QStringList lines;
    for (const RegistryRoot root : {RegistryRoot::ClassesRoot, RegistryRoot::CurrentUser}) {
        QStringList paths{QString()};
        while (!paths.isEmpty()) {
            const QString path = paths.takeFirst();
            lines.append(RegistryTree::rootName(root) + u'\\' + path);
            const QStringList names = *tree.valueNames(root, path);
            for (const QString &name : names) {
                const RegistryValue value = *tree.value(root, path, name);
                lines.append(QStringLiteral("  \"%1\" %2: %3")
                                 .arg(name, QString::number(value.type), QString::fromLatin1(value.data.toHex(' '))));
            }
            const QStringList subkeys = *tree.subkeyNames(root, path);
            for (qsizetype i = subkeys.size() - 1; i >= 0; --i)
                paths.prepend(path.isEmpty() ? subkeys[i] : path + u'\\' + subkeys[i]);
        }
    }
    return lines;
}
} // namespace

void tst_RegistryFileFormat::readWriteReadKeepsEveryValue_data()
{
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("hand-written sample") << dataFile("handwritten.reg");
    QTest::newRow("damaged sample") << dataFile("damaged.reg");

    const QByteArray v5 = "Windows Registry Editor Version 5.00\r\n\r\n";
    QTest::newRow("empty text") << QByteArray();
    QTest::newRow("header alone") << v5;
    QTest::newRow("not a registry file") << QByteArray("\x7f" "ELF\x02\x01\x01\0\0\0garbage\xff\xfe\n[x]\n", 24);
    QTest::newRow("keys in no order, in mixed case")
        << v5 + "[HKEY_CURRENT_USER\\b]\n[HKCU\\A]\n\"v\"=\"1\"\n[hkcu\\a\\x]\n[HKEY_CURRENT_USER\\B\\y]\n"
                "[HKCR\\.z]\n@=\"z\"\n[HKEY_CURRENT_USER\\a]\n\"V\"=\"2\"\n";
    QTest::newRow("names with quotes, backslashes and signs")
        << v5 + "[HKEY_CURRENT_USER\\k \"q\" ;=@]\n\"a \\\"b\\\" \\\\c\\\\\"=\"x\"\n\"=\"=\"y\"\n\"@\"=\"z\"\n"
                "\";x\"=\"w\"\n\"\"=\"default by name\"\n\"   \"=\"spaces\"\n\"tab\tin\"=\"t\"\n";
    QTest::newRow("key names with spaces at their ends") << v5 + "[HKEY_CURRENT_USER\\ a \\b ]\n\"v\"=\"1\"\n";
    QTest::newRow("values of the roots") << v5 + "[HKEY_CURRENT_USER]\n\"top\"=\"1\"\n[HKEY_CLASSES_ROOT]\n@=\"2\"\n";
    QTest::newRow("values deleted and set again")
        << v5 + "[HKCU\\k]\n\"a\"=\"1\"\n\"b\"=\"2\"\n\"A\"=-\n\"c\"=\"3\"\n\"a\"=\"4\"\n\"B\"=dword:1\n";
    QTest::newRow("keys deleted")
        << v5 + "[HKCU\\a\\b\\c]\n\"x\"=\"1\"\n[-HKCU\\A\\B]\n\"lost\"=\"2\"\n[HKCU\\a\\d]\n";
    QTest::newRow("CR LF ends and a comment ending in a backslash")
        << v5 + "; note \\\r\n[HKCU\\k]\r\n\"b\"=hex:01,\\\r\n  02\r\n; another\r\n\"c\"=\"3\"\r\n";
    QTest::newRow("forms in capitals and short dwords")
        << v5 + "[HKCU\\k]\n\"d\"=DWORD:FF\n\"e\"=HEX(2):41,00,00,00\n\"h\"=Hex:0A, 0b ,\n\"q\"=hex(B):01\n"
                "\"n\"=hex(0):\n\"t\"=hex(80000001):7a\n\"z\"=dword:0\n";
    QByteArray longName(120, 'N');
    QByteArray longHex = "hex:";
    for (int i = 0; i < 200; ++i)
        longHex += QByteArray::number(i % 256, 16).rightJustified(2, '0') + (i < 199 ? "," : "");
    QTest::newRow("long names and long hex on one line")
        << v5 + "[HKCU\\" + QByteArray(255, 'K') + "]\n\"" + longName + "\"=" + longHex + "\n\"" + longName
               + "2\"=hex(7):41,00,00,00,00,00\n\"Grüße" + longName + "\"=hex(2):41,00,00,00\n";
    QTest::newRow("strings beyond the ordinary")
        << v5 + "[HKCU\\k]\n\"bom\"=\"\xef\xbb\xbf\"\n\"nonchars\"=\"\xef\xbf\xbf\xef\xbf\xbe\xef\xb7\x90\"\n"
                "\"last\"=\"\xf4\x8f\xbf\xbf\"\n\"emoji\"=\"\xf0\x9f\x98\x80\"\n"
                "\"nul\"=hex(1):41,00,00,00,42,00,00,00\n\"cr\"=hex(1):0d,00,00,00\n"
                "\"unterminated\"=hex(1):41,00\n\"empty\"=hex(1):\n\"multi\"=hex(7):ff,fe,00,00,00,00\n";
    QTest::newRow("string with a bare line feed") << v5 + "[HKCU\\k]\n\"lf\"=hex(1):61,00,0a,00,62,00,00,00\n";
    QTest::newRow("unreadable parts") << v5 + "[HKCU\\k]\n\"a\"=\"1\"\n\"bad\"=\"\xff\"\ngarbage\n\"b\"=hex(2):00,d8\n"
                                               "[HKLM\\x]\n\"lost\"=\"x\"\n[HKCU\\k]\n\"z\"=\"2\"\n";
    QTest::newRow("REGEDIT4 of every string form")
        << QByteArray("REGEDIT4\n\n[HKCU\\k]\n\"s\"=\"text\"\n\"e\"=hex(2):25,e9,25,00\n\"m\"=hex(7):61,00,00\n"
                      "\"b\"=hex(1):ef,bb,bf,e1\n\"u\"=hex(1):c3,bc,00\n");

    QByteArray many = v5 + "[HKCU\\Many]\n";
    for (int i = 0; i < 150; ++i)
        many += "\"Value" + QByteArray::number(i) + "\"=\"" + QByteArray::number(i) + "\"\n\"value" + QByteArray::number(i / 2)
                + "\"=dword:" + QByteArray::number(i) + "\n";
    for (int i = 150; i > 0; --i)
        many += "[HKCU\\Many\\key" + QByteArray::number(i * 7 % 151) + "]\n[-HKCU\\Many\\KEY" + QByteArray::number(i * 11 % 151) + "]\n";
    QTest::newRow("many values and keys, some twice, some deleted") << many;

    const QString export16 = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\k]\r\n"
                                            "\"s\"=\"\uFEFFGrüße \U0001F600\"\r\n\"e\"=hex(2):ff,fe,41,00,00,00\r\n");
    QTest::newRow("little-endian UTF-16 export") << utf16(export16, false);
    QTest::newRow("big-endian UTF-16 export") << utf16(export16, true);
}

// What a reader reads, a writer writes so that it reads back the same, value for
// value and byte for byte; and writing that again gives the same text.
void tst_RegistryFileFormat::readWriteReadKeepsEveryValue()
{
    QFETCH(QByteArray, text);
    const auto first = RegistryFileFormat::parse(text);
    const QByteArray written = RegistryFileFormat::serialize(first.tree, first.version);
    const auto second = RegistryFileFormat::parse(written);
    QVERIFY2(!second.damaged, written.constData());
    QCOMPARE(second.version, first.version);
    QCOMPARE(describe(second.tree), describe(first.tree));
    QVERIFY(second.tree == first.tree);
    QCOMPARE(RegistryFileFormat::serialize(second.tree, second.version), written);

    // A change to one value leaves every other as it was.
    RegistryTree changed = second.tree;
    changed.setValue(RegistryRoot::ClassesRoot, QStringLiteral("Added"), QStringLiteral("New"), sz("new"));
    const auto third = RegistryFileFormat::parse(RegistryFileFormat::serialize(changed, second.version));
    QVERIFY(!third.damaged);
    QCOMPARE(describe(third.tree), describe(changed));
    QVERIFY(third.tree == changed);
    QCOMPARE(third.tree.value(RegistryRoot::ClassesRoot, QStringLiteral("added"), QStringLiteral("new")), sz("new"));
    const QStringList before = describe(first.tree);
    const QStringList after = describe(third.tree);
    for (const QString &line : before)
        QVERIFY2(after.contains(line), qPrintable(line));
    QCOMPARE(after.size(), before.size() + 2);
}

QTEST_APPLESS_MAIN(tst_RegistryFileFormat)
#include "tst_registryfileformat.moc"
