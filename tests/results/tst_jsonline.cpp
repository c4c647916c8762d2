#include "crawl/NodeTree.h"
#include "results/JsonLine.h"
#include "results/JsonLines.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

// The JSON Lines writer: members in the order given, strings escaped so that
// every object stays on its one line and reads back as written.
class tst_JsonLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void escapesStrings_data();
    void escapesStrings();
    void keepsTheMemberOrder();
    void writesRecords_data();
    void writesRecords();
};

void tst_JsonLine::escapesStrings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("json");

    QTest::newRow("plain address") << QStringLiteral("http://h/a.jpg") << QByteArray(R"("http://h/a.jpg")");
    QTest::newRow("quote and backslash") << QStringLiteral(R"(a"b\c)") << QByteArray(R"("a\"b\\c")");
    QTest::newRow("line ends and tab")
        << QStringLiteral("a\nb\rc\td") << QByteArray(R"("a\u000Ab\u000Dc\u0009d")");
    QTest::newRow("NUL and escape") << QString(QChar(u'\0')) + QStringLiteral("\x1b[2J")
                                    << QByteArray(R"("\u0000\u001B[2J")");
    QTest::newRow("DEL and C1 controls")
        << QString(QChar(0x7F)) + QChar(0x81) + QChar(0x9F) << QByteArray(R"("\u007F\u0081\u009F")");
    QTest::newRow("line and paragraph separators")
        << QString(QChar(0x2028)) + QChar(0x2029) << QByteArray(R"("\u2028\u2029")");
    QTest::newRow("letters beyond ASCII as UTF-8")
        << QStringLiteral("caf\u00e9 \u201cq\u201d \u00a0") << QByteArray("\"caf\xc3\xa9 \xe2\x80\x9cq\xe2\x80\x9d \xc2\xa0\"");
    QTest::newRow("empty") << QString() << QByteArray(R"("")");
}

void tst_JsonLine::escapesStrings()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, json);

    QCOMPARE(jsonString(text), json);
    const QByteArray line = JsonLine().add(QLatin1StringView("s"), text).toLine();
    QCOMPARE(line.count('\n'), 1);
    QVERIFY(line.endsWith('\n'));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(document.object().value(QLatin1StringView("s")).toString(), text);
}

void tst_JsonLine::keepsTheMemberOrder()
{
    QCOMPARE(JsonLine()
                 .add(QLatin1StringView("type"), QStringLiteral("page"))
                 .add(QLatin1StringView("index"), 12)
                 .add(QLatin1StringView("state"), QStringLiteral("done"))
                 .add(QLatin1StringView("negative"), -32768)
                 .toLine(),
             QByteArray(R"({"type":"page","index":12,"state":"done","negative":-32768})" "\n"));
    QCOMPARE(JsonLine().toLine(), QByteArray("{}\n"));
}

void tst_JsonLine::writesRecords_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("json");

    const JsonLines writer;
    QTest::newRow("file, classic") << writer.file({"http://h/a.gif", "http://h/"})
                                   << QByteArray(R"({"type":"file","url":"http://h/a.gif","page":"http://h/"})");
    QTest::newRow("file, standard")
        << writer.file({"https://h/a.gif", "https://h/", "embed"})
        << QByteArray(R"({"type":"file","url":"https://h/a.gif","page":"https://h/","how":"embed"})");
    QTest::newRow("page, classic")
        << writer.page({3, NodeImage::Failed, "h/x.htm", 0, ReadReason::Timeout})
        << QByteArray(R"({"type":"page","index":3,"state":"failed","url":"http://h/x.htm","reason":"timeout"})");
    QTest::newRow("page no HTML, read after a redirect")
        << writer.page({2, NodeImage::Done, "https://h/x", 200, ReadReason::NotHtml, "https://h/x.bin"})
        << QByteArray(R"({"type":"page","index":2,"state":"done","url":"https://h/x.bin","status":200,"reason":"not-html"})");
}

void tst_JsonLine::writesRecords()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, json);
    QCOMPARE(line, json + '\n');
}

QTEST_APPLESS_MAIN(tst_JsonLine)
#include "tst_jsonline.moc"
