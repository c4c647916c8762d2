#include "common/AppError.h"
#include "sponsor/modURL.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// `length` characters "a" with a "%" at each 1-based position in `percentAt`.
QByteArray filler(qsizetype length, std::initializer_list<qsizetype> percentAt = {})
{
    QByteArray text(length, 'a');
    for (const qsizetype position : percentAt)
        text[position - 1] = '%';
    return text;
}

} // namespace

class tst_UrlDecode : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodes_data();
    void decodes();
    void positionLimit_data();
    void positionLimit();
    void leavesInputUnchanged();
};

void tst_UrlDecode::decodes_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("plain text") << "http://www.example.com/a/b.htm?x=1&y=2"_ba
                                << "http://www.example.com/a/b.htm?x=1&y=2"_ba;
    QTest::newRow("plus is a space") << "a+b"_ba << "a b"_ba;
    QTest::newRow("several pluses") << "++a++"_ba << "  a  "_ba;
    QTest::newRow("escape") << "%41"_ba << "A"_ba;
    QTest::newRow("lower-case hex") << "%4a"_ba << "J"_ba;
    QTest::newRow("upper-case hex") << "%4A"_ba << "J"_ba;
    QTest::newRow("escaped space") << "a%20b"_ba << "a b"_ba;
    QTest::newRow("escaped plus stays a plus") << "%2B"_ba << "+"_ba;
    QTest::newRow("escaped percent is not decoded again") << "%25"_ba << "%"_ba;
    QTest::newRow("escaped percent before digits") << "%2541"_ba << "%41"_ba;
    QTest::newRow("no hex digit gives 0 and skips two") << "%zz"_ba << "\0"_ba;
    QTest::newRow("no hex digit, text after") << "%zzA"_ba << "\0A"_ba;
    QTest::newRow("one leading digit") << "%4z"_ba << "\x04"_ba;
    QTest::newRow("one leading digit, text after") << "%4zB"_ba << "\x04"
                                                                   "B"_ba;
    QTest::newRow("plus taken as escape text") << "%+1"_ba << "\0"_ba;
    QTest::newRow("digit after a non-digit is ignored") << "%g1"_ba << "\0"_ba;
    QTest::newRow("double percent") << "%%41"_ba << "\0"
                                                    "1"_ba;
    QTest::newRow("percent at the end") << "ab%"_ba << "ab\0"_ba;
    QTest::newRow("percent and one digit at the end") << "ab%4"_ba << "ab\x04"_ba;
    QTest::newRow("percent and a non-digit at the end") << "ab%x"_ba << "ab\0"_ba;
    QTest::newRow("zero code") << "%00"_ba << "\0"_ba;
    QTest::newRow("high code") << "%E9"_ba << "\xE9"_ba;
    QTest::newRow("high code, lower case") << "%e9"_ba << "\xE9"_ba;
    QTest::newRow("highest code") << "%FF"_ba << "\xFF"_ba;
    QTest::newRow("multi-byte sequence, one character per byte") << "caf%C3%A9"_ba
                                                                 << "caf\xC3\xA9"_ba;
    QTest::newRow("8-bit input passes unchanged") << "caf\xE9"_ba << "caf\xE9"_ba;
    QTest::newRow("encoded address") << "http%3A%2F%2Fwww.example.com%2Fa+b%3Fq%3D1"_ba
                                     << "http://www.example.com/a b?q=1"_ba;
}

void tst_UrlDecode::decodes()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    QCOMPARE(modURL::UrlDecode(input), expected);
}

void tst_UrlDecode::positionLimit_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("overflows");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("32,766 characters") << filler(32766) << false << filler(32766);
    QTest::newRow("32,767 characters") << filler(32767) << true << QByteArray();
    QTest::newRow("40,000 characters") << filler(40000) << true << QByteArray();
    QTest::newRow("32,766 with plus last") << filler(32765) + '+' << false
                                           << filler(32765) + ' ';
    QTest::newRow("percent at 32,764")
        << filler(32766, {32764}) << false << filler(32763) + '\xAA';
    QTest::newRow("percent at 32,765") << filler(32766, {32765}) << true << QByteArray();
    QTest::newRow("percent at 32,765, last character")
        << filler(32765, {32765}) << true << QByteArray();
    QTest::newRow("percent at 32,766, last character")
        << filler(32766, {32766}) << true << QByteArray();
    // The "%" signs at 32,764 and 32,765 are the digits of the escape at 32,763,
    // so neither starts an escape of its own.
    QTest::newRow("percents at 32,764 and 32,765 taken as digits")
        << filler(32766, {32763, 32764, 32765}) << false << filler(32762) + '\0' + 'a';
    QTest::newRow("escape reaching past 32,766 in a longer input")
        << filler(32767, {32765}) << true << QByteArray();
}

void tst_UrlDecode::positionLimit()
{
    QFETCH(QByteArray, input);
    QFETCH(bool, overflows);
    QFETCH(QByteArray, expected);

    if (!overflows) {
        QCOMPARE(modURL::UrlDecode(input), expected);
        return;
    }
    try {
        const QByteArray result = modURL::UrlDecode(input);
        QFAIL(qPrintable(u"decoded %1 characters instead of failing"_s.arg(result.size())));
    } catch (const AppError &error) {
        QCOMPARE(error.number(), ErrorNumber::Overflow);
    }
}

void tst_UrlDecode::leavesInputUnchanged()
{
    const QByteArray input = "a+b%41"_ba;
    const QByteArray copy = input;
    QCOMPARE(modURL::UrlDecode(input), "a bA"_ba);
    QCOMPARE(input, copy);
}

QTEST_APPLESS_MAIN(tst_UrlDecode)
#include "tst_urldecode.moc"
