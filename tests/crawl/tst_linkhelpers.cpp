#include "common/AppError.h"
#include "crawl/LinkHelpers.h"

#include <QTest>

#include <optional>

using namespace modPublic;

namespace {

// The error number a call raised, or nothing when it returned.
template<typename Fn>
std::optional<qint64> raisedNumber(Fn &&fn)
{
    try {
        fn();
    } catch (const AppError &error) {
        return error.number();
    }
    return std::nullopt;
}

QByteArray filled(qsizetype length, char ch = 'x')
{
    return QByteArray(length, ch);
}

} // namespace

class tst_LinkHelpers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void getExtension_data();
    void getExtension();
    void getExtensionLimits_data();
    void getExtensionLimits();

    void getBaseUrl_data();
    void getBaseUrl();
    void getBaseUrlLimits_data();
    void getBaseUrlLimits();

    void cleanLink_data();
    void cleanLink();
    void cleanLinkLimits_data();
    void cleanLinkLimits();

    void trimToLastHttp_data();
    void trimToLastHttp();
    void trimToLastHttpLimits_data();
    void trimToLastHttpLimits();

    void viewsMatchTheProcedures_data();
    void viewsMatchTheProcedures();
    void overflowCarriesItsSource();
};

void tst_LinkHelpers::getExtension_data()
{
    QTest::addColumn<QByteArray>("link");
    QTest::addColumn<QByteArray>("extension");

    QTest::newRow("page") << QByteArray("http://host/dir/page.htm") << QByteArray("htm");
    QTest::newRow("two dots") << QByteArray("http://host/x.tar.gz") << QByteArray("gz");
    QTest::newRow("directory") << QByteArray("http://host/dir/") << QByteArray();
    QTest::newRow("bare host") << QByteArray("http://host") << QByteArray();
    QTest::newRow("dot in a directory") << QByteArray("http://host/a.b/c") << QByteArray();
    QTest::newRow("trailing dot") << QByteArray("http://host/file.") << QByteArray();
    QTest::newRow("query kept") << QByteArray("http://host/p.asp?id=1") << QByteArray("asp?id=1");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("slash in the query") << QByteArray("http://host/p.asp?u=a/b") << QByteArray();
    QTest::newRow("host with a dot") << QByteArray("http://www.site.com") << QByteArray("com");
    QTest::newRow("dot alone") << QByteArray(".") << QByteArray();
    QTest::newRow("no dot no slash") << QByteArray("plain") << QByteArray();
    QTest::newRow("case kept") << QByteArray("http://h/A.JPG") << QByteArray("JPG");
}

void tst_LinkHelpers::getExtension()
{
    QFETCH(QByteArray, link);
    QFETCH(QByteArray, extension);
    QCOMPARE(GetExtension(link), extension);
}

void tst_LinkHelpers::getExtensionLimits_data()
{
    QTest::addColumn<QByteArray>("link");
    QTest::addColumn<bool>("overflows");
    QTest::addColumn<QByteArray>("extension");

    const QByteArray longest = filled(32767 - 4) + ".htm";
    QTest::newRow("32,767 characters") << longest << false << QByteArray("htm");
    QTest::newRow("32,768 characters") << (QByteArray("x") + longest) << true << QByteArray();
    QTest::newRow("32,768 characters without a dot") << filled(32768) << true << QByteArray();
    QTest::newRow("far longer") << filled(100000) << true << QByteArray();
}

void tst_LinkHelpers::getExtensionLimits()
{
    QFETCH(QByteArray, link);
    QFETCH(bool, overflows);
    QFETCH(QByteArray, extension);

    QByteArray result;
    const auto raised = raisedNumber([&] { result = GetExtension(link); });
    if (overflows) {
        QCOMPARE(raised, std::optional<qint64>(ErrorNumber::Overflow));
    } else {
        QCOMPARE(raised, std::nullopt);
        QCOMPARE(result, extension);
    }
}

void tst_LinkHelpers::getBaseUrl_data()
{
    QTest::addColumn<QByteArray>("pageUrl");
    QTest::addColumn<QByteArray>("base");

    QTest::newRow("bare host") << QByteArray("http://host") << QByteArray("http://host/");
    QTest::newRow("host root") << QByteArray("http://host/") << QByteArray("http://host/");
    QTest::newRow("page at the root") << QByteArray("http://host/page.htm") << QByteArray("http://host/");
    QTest::newRow("directory without slash") << QByteArray("http://host/dir") << QByteArray("http://host/");
    QTest::newRow("directory") << QByteArray("http://host/dir/") << QByteArray("http://host/dir/");
    QTest::newRow("page in a directory")
        << QByteArray("http://host/dir/page.htm") << QByteArray("http://host/dir/");
    QTest::newRow("capitals") << QByteArray("HTTP://Host/A/b.htm") << QByteArray("http://Host/A/");
    QTest::newRow("no scheme") << QByteArray("host/dir/x.htm") << QByteArray("http://host/dir/");
    QTest::newRow("slash in the query")
        << QByteArray("http://host/dir/p.asp?u=a/b") << QByteArray("http://host/dir/p.asp?u=a/");
    QTest::newRow("empty") << QByteArray() << QByteArray("http://");
    QTest::newRow("secure address keeps its scheme")
        << QByteArray("https://host/dir/p.htm") << QByteArray("http://https://host/dir/");
    QTest::newRow("mixed-case prefix") << QByteArray("hTtP://h/x") << QByteArray("http://h/");
    QTest::newRow("prefix alone") << QByteArray("http://") << QByteArray("http://");
    QTest::newRow("short of the prefix") << QByteArray("http:/") << QByteArray("http://http:/");
    QTest::newRow("port and user kept")
        << QByteArray("http://u@host:81/a/b") << QByteArray("http://u@host:81/a/");
}

void tst_LinkHelpers::getBaseUrl()
{
    QFETCH(QByteArray, pageUrl);
    QFETCH(QByteArray, base);
    QCOMPARE(GetBaseUrl(pageUrl), base);
}

void tst_LinkHelpers::getBaseUrlLimits_data()
{
    QTest::addColumn<QByteArray>("pageUrl");
    QTest::addColumn<bool>("overflows");
    QTest::addColumn<qsizetype>("baseLength");

    const QByteArray prefix("http://");
    // Positions count in the address without its "http://".
    QTest::newRow("last slash at 32,766")
        << (prefix + filled(32765) + "/page.htm") << false << qsizetype(7 + 32766);
    QTest::newRow("last slash at 32,767") << (prefix + filled(32766) + "/page.htm") << true << qsizetype(0);
    QTest::newRow("slash at 32,767 without the prefix")
        << (filled(32766) + "/page.htm") << true << qsizetype(0);
    QTest::newRow("slash at 32,766 without the prefix")
        << (filled(32765) + "/page.htm") << false << qsizetype(7 + 32766);
    QTest::newRow("long address without a slash")
        << (prefix + filled(40000)) << false << qsizetype(7 + 40000 + 1);
    QTest::newRow("early slash, long page name")
        << (prefix + "host/" + filled(40000)) << false << qsizetype(7 + 5);
}

void tst_LinkHelpers::getBaseUrlLimits()
{
    QFETCH(QByteArray, pageUrl);
    QFETCH(bool, overflows);
    QFETCH(qsizetype, baseLength);

    QByteArray base;
    const auto raised = raisedNumber([&] { base = GetBaseUrl(pageUrl); });
    if (overflows) {
        QCOMPARE(raised, std::optional<qint64>(ErrorNumber::Overflow));
    } else {
        QCOMPARE(raised, std::nullopt);
        QCOMPARE(base.size(), baseLength);
        QVERIFY(base.startsWith("http://"));
        QVERIFY(base.endsWith('/'));
    }
}

void tst_LinkHelpers::cleanLink_data()
{
    QTest::addColumn<QByteArray>("rawSlice");
    QTest::addColumn<QByteArray>("link");

    QTest::newRow("quoted with attribute") << QByteArray("'x.htm' target='_top'") << QByteArray("x.htm");
    QTest::newRow("redirect") << QByteArray("go.asp?u=http://other/a.mpg") << QByteArray("http://other/a.mpg");
    QTest::newRow("two embedded addresses")
        << QByteArray("r.asp?a=http://one/?b=http://two/c.mp3") << QByteArray("http://two/c.mp3");
    QTest::newRow("address at the second character") << QByteArray("xhttp://a/b") << QByteArray("xhttp://a/b");
    QTest::newRow("comma and apostrophe") << QByteArray("a,b'c") << QByteArray("abc");
    QTest::newRow("starts with a blank") << QByteArray(" x.htm") << QByteArray();
    QTest::newRow("double quotes") << QByteArray("\"a.htm\"") << QByteArray("a.htm");
    QTest::newRow("line feed closed up") << QByteArray("a.h\ntm") << QByteArray("a.htm");
    QTest::newRow("tab kept") << QByteArray("a\tb") << QByteArray("a\tb");
    QTest::newRow("less-than kept") << QByteArray("a<b") << QByteArray("a<b");
    QTest::newRow("carriage return kept") << QByteArray("a\rb") << QByteArray("a\rb");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("only dropped characters") << QByteArray("''\"\",,\n") << QByteArray();
    QTest::newRow("high bytes kept") << QByteArray("caf\xe9.htm") << QByteArray("caf\xe9.htm");
    QTest::newRow("quotes split the address before the cut")
        << QByteArray("go.asp?u=ht'tp://a/b") << QByteArray("http://a/b");
    QTest::newRow("blank inside the embedded address")
        << QByteArray("go.asp?u=http://a/b c") << QByteArray("http://a/b");
}

void tst_LinkHelpers::cleanLink()
{
    QFETCH(QByteArray, rawSlice);
    QFETCH(QByteArray, link);
    const QByteArray before = rawSlice;
    QCOMPARE(CleanLink(rawSlice), link);
    QCOMPARE(rawSlice, before);
}

void tst_LinkHelpers::cleanLinkLimits_data()
{
    QTest::addColumn<QByteArray>("rawSlice");
    QTest::addColumn<bool>("overflows");
    QTest::addColumn<qsizetype>("linkLength");

    QTest::newRow("32,766 without a blank") << filled(32766) << false << qsizetype(32766);
    QTest::newRow("32,767 without a blank") << filled(32767) << true << qsizetype(0);
    QTest::newRow("32,767 ending in a blank") << (filled(32766) + ' ') << false << qsizetype(32766);
    QTest::newRow("32,767 with an early blank") << ("a.htm " + filled(32761)) << false << qsizetype(5);
    QTest::newRow("32,767 of dropped characters") << filled(32767, ',') << true << qsizetype(0);
    QTest::newRow("32,768 starting with a blank") << (' ' + filled(32767)) << true << qsizetype(0);
    QTest::newRow("32,768 without a blank") << filled(32768) << true << qsizetype(0);
}

void tst_LinkHelpers::cleanLinkLimits()
{
    QFETCH(QByteArray, rawSlice);
    QFETCH(bool, overflows);
    QFETCH(qsizetype, linkLength);

    QByteArray link;
    const auto raised = raisedNumber([&] { link = CleanLink(rawSlice); });
    if (overflows) {
        QCOMPARE(raised, std::optional<qint64>(ErrorNumber::Overflow));
    } else {
        QCOMPARE(raised, std::nullopt);
        QCOMPARE(link.size(), linkLength);
    }
}

void tst_LinkHelpers::trimToLastHttp_data()
{
    QTest::addColumn<QByteArray>("link");
    QTest::addColumn<QByteArray>("trimmed");

    QTest::newRow("query holds an address") << QByteArray("http://a/?u=http://b/") << QByteArray("http://b/");
    QTest::newRow("no address") << QByteArray("x.htm") << QByteArray("x.htm");
    QTest::newRow("address at the start") << QByteArray("http://a/b") << QByteArray("http://a/b");
    QTest::newRow("address at the 2nd character") << QByteArray("xhttp://a/b") << QByteArray("xhttp://a/b");
    QTest::newRow("address at the 6th character") << QByteArray("abcdehttp://a") << QByteArray("abcdehttp://a");
    QTest::newRow("address at the 7th character") << QByteArray("abcdefhttp://a") << QByteArray("http://a");
    QTest::newRow("early and later address") << QByteArray("xhttp://a/?http://b") << QByteArray("http://b");
    QTest::newRow("three addresses")
        << QByteArray("go?http://a/?http://b/?http://c/d") << QByteArray("http://c/d");
    QTest::newRow("back to back") << QByteArray("abcdefhttp://http://x") << QByteArray("http://x");
    QTest::newRow("capitals are not an address") << QByteArray("go?u=HTTP://a") << QByteArray("go?u=HTTP://a");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void tst_LinkHelpers::trimToLastHttp()
{
    QFETCH(QByteArray, link);
    QFETCH(QByteArray, trimmed);
    QCOMPARE(TrimToLastHttp(link), trimmed);
}

void tst_LinkHelpers::trimToLastHttpLimits_data()
{
    QTest::addColumn<QByteArray>("link");
    QTest::addColumn<bool>("overflows");
    QTest::addColumn<QByteArray>("trimmed");

    const QByteArray tail("http://b/c");
    QTest::newRow("address at 32,767") << (filled(32766) + tail) << false << tail;
    QTest::newRow("address at 32,768") << (filled(32767) + tail) << true << QByteArray();
    // The first address begins at position 10, so after the first cut the
    // second one is counted from there: 9 positions less.
    const QByteArray redirect("go.asp?u=http://a/");
    QTest::newRow("address at 32,768 after an earlier one")
        << (redirect + filled(32768 - 1 - 18) + tail) << false << tail;
    QTest::newRow("second address 32,767 past the first")
        << (redirect + filled(32767 + 9 - 1 - 18) + tail) << false << tail;
    QTest::newRow("second address 32,768 past the first")
        << (redirect + filled(32768 + 9 - 1 - 18) + tail) << true << QByteArray();
    QTest::newRow("first address at 6, later one at 32,768")
        << ("go?u=http://a/" + filled(32768 - 1 - 14) + tail) << true << QByteArray();
    QTest::newRow("long link without an address") << filled(70000) << false << filled(70000);
}

void tst_LinkHelpers::trimToLastHttpLimits()
{
    QFETCH(QByteArray, link);
    QFETCH(bool, overflows);
    QFETCH(QByteArray, trimmed);

    QByteArray result;
    const auto raised = raisedNumber([&] { result = TrimToLastHttp(link); });
    if (overflows) {
        QCOMPARE(raised, std::optional<qint64>(ErrorNumber::Overflow));
    } else {
        QCOMPARE(raised, std::nullopt);
        QCOMPARE(result, trimmed);
    }
}

void tst_LinkHelpers::viewsMatchTheProcedures_data()
{
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("quoted") << QByteArray("'Pics/Cat.JPG'");
    QTest::newRow("redirect") << QByteArray("go.asp?u=http://other/a.mpg x");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("blank first") << QByteArray(" a.htm");
    QTest::newRow("directory") << QByteArray("http://h/a.b/");
    QTest::newRow("capital address") << QByteArray("Go.ASP?u=HTTP://Other/A.MPG");
    QTest::newRow("all bytes") << [] {
        QByteArray all;
        for (int ch = 255; ch >= 0; --ch)
            all.append(char(ch));
        return all;
    }();
}

void tst_LinkHelpers::viewsMatchTheProcedures()
{
    QFETCH(QByteArray, text);

    std::string buffer("left over from an earlier link");
    QCOMPARE(cleanLinkView(text, buffer).toByteArray(), CleanLink(text));
    // Lower-casing on the way equals cleaning the lower-cased slice (A to Z only).
    QCOMPARE(cleanLowerLinkView(text, buffer).toByteArray(), CleanLink(text.toLower()));
    QCOMPARE(text.sliced(trimToLastHttpOffset(text)), TrimToLastHttp(text));
    QCOMPARE(extensionView(text).toByteArray(), GetExtension(text));
}

void tst_LinkHelpers::overflowCarriesItsSource()
{
    try {
        GetExtension(filled(32768));
        QFAIL("no error raised");
    } catch (const AppError &error) {
        QCOMPARE(error.number(), ErrorNumber::Overflow);
        QCOMPARE(error.source(), QStringLiteral("modPublic"));
        QCOMPARE(error.description(), QStringLiteral("Overflow"));
    }
}

QTEST_APPLESS_MAIN(tst_LinkHelpers)
#include "tst_linkhelpers.moc"
