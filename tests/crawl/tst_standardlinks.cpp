#include "common/LinkRules.h"
#include "crawl/CrawlScope.h"
#include "crawl/HtmlLinkScanner.h"
#include "crawl/LinkClassifier.h"
#include "crawl/LinkResolver.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>

namespace {

const QByteArray guidePage = "http://www.example.org/docs/guide/index.html";

// Each link as "how kind address", kind by the lists below ("-" for neither).
QByteArrayList scan(const QByteArray &html, qsizetype pieceSize, HtmlLinkScanner::Bounds bounds = {})
{
    const LinkClassifier classifier(u"gif,ico,jpg,mp3,mp4,pdf,png", u"htm,html");
    HtmlLinkScanner scanner(guidePage, bounds);
    QList<FoundLink> links;
    for (qsizetype at = 0; at < html.size(); at += pieceSize) {
        scanner.feed(QByteArrayView(html).sliced(at, std::min(pieceSize, html.size() - at)));
        links += scanner.takeLinks();
    }
    scanner.finish();
    links += scanner.takeLinks();
    QByteArrayList lines;
    for (const FoundLink &link : std::as_const(links)) {
        const LinkKind kind = classifier.classify(link.address);
        const char *kindName = kind.page ? (kind.file ? "page+file" : "page") : (kind.file ? "file" : "-");
        lines << linkHowName(link.how).toByteArray() + ' ' + kindName + ' ' + link.address;
    }
    return lines;
}

} // namespace

class tst_StandardLinks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void standardRules_data();
    void standardRules();
    void bounds_data();
    void bounds();
    void scope_data();
    void scope();
    void ruleNames();
    void resolvesLikeUrljoin();
};

// Worked examples: a page at guidePage holding `html` gives these links, in
// page order, whether the page arrives whole or a byte at a time with the
// parser started afresh at every chance.
void tst_StandardLinks::standardRules_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<QByteArrayList>("expected");
    const QByteArray d = "http://www.example.org/docs/guide/";

    QTest::newRow("relative link") << QByteArray("<a href=\"intro.html\">") << QByteArrayList{"link page " + d + "intro.html"};
    QTest::newRow("parent folder, capitals kept")
        << QByteArray("<p><a class=nav HREF=../api/Index.HTML>")
        << QByteArrayList{QByteArray("link page http://www.example.org/docs/api/Index.HTML")};
    QTest::newRow("same folder") << QByteArray("<a href='./faq.htm'>") << QByteArrayList{"link page " + d + "faq.htm"};
    QTest::newRow("network path") << QByteArray("<a href=\"//Mirror.example.net/x\">")
                                  << QByteArrayList{QByteArray("link page http://mirror.example.net/x")};
    QTest::newRow("https link") << QByteArray("<a href=\"https://secure.example.org:443/Login\">")
                                << QByteArrayList{QByteArray("link page https://secure.example.org/Login")};
    QTest::newRow("first base href") << QByteArray("<base target=x><base href=\"/other/\"><base href=\"/third/\">"
                                                   "<a href=\"p.html\"><img src=\"i.png\">")
                                     << QByteArrayList{QByteArray("link page http://www.example.org/other/p.html"),
                                                    QByteArray("embed file http://www.example.org/other/i.png")};
    QTest::newRow("entities") << QByteArray("<a href=\"a&amp;b&#x2e;html?x=&lt;1&gt;\">")
                              << QByteArrayList{"link page " + d + "a&b.html?x=%3C1%3E"};
    QTest::newRow("srcset") << QByteArray("<img src=s.jpg srcset=\"m.jpg 480w, l.jpg 1080w\">"
                                          "<picture><source srcset=\"a,b.png 2x,c.png\"></picture>")
                            << QByteArrayList{"embed file " + d + "s.jpg", "embed file " + d + "m.jpg",
                                           "embed file " + d + "l.jpg", "embed file " + d + "a,b.png",
                                           "embed file " + d + "c.png"};
    QTest::newRow("other schemes refused")
        << QByteArray("<a href=\"mailto:x@example.org\"><a href=\"javascript:go()\"><a href=\"data:text/html,x\">"
                      "<a href=\"tel:123\"><a href=\"ftp://f.example/x\"><a href=\"file:///etc/passwd\"><a href=next.html>")
        << QByteArrayList{"link page " + d + "next.html"};
    QTest::newRow("fragment dropped, each way once")
        << QByteArray("<a href=\"#top\"><a href=\"page.html#part\"><a href=page.html#more><img src=page.html>")
        << QByteArrayList{"link page " + d + "index.html", "link page " + d + "page.html",
                       "embed page " + d + "page.html"};
    QTest::newRow("query after extension") << QByteArray("<a href=\"report.PDF?page=2\">")
                                           << QByteArrayList{"link file " + d + "report.PDF?page=2"};
    QTest::newRow("script, style and comment")
        << QByteArray("<script>document.write('<a href=\"s.html\">')</script><style>a{}</style>"
                      "<!-- <a href=\"c.html\"> --><a href=\"real.html\">")
        << QByteArrayList{"link page " + d + "real.html"};
    QTest::newRow("two spellings, one address")
        << QByteArray("<a href=\"HTTP://WWW.Example.org:80/docs/./guide/b.html?q=%3c\"><a href=\"%62.html?q=%3C#x\">")
        << QByteArrayList{"link page " + d + "b.html?q=%3C", "link page " + d + "b.html?q=%3C"};
    QTest::newRow("embedded files")
        << QByteArray("<video src=v.mp4 poster=p.jpg></video><audio src=a.mp3><track src=t.vtt></audio>"
                      "<embed src=e.swf><object data=o.pdf></object><iframe src=f.html></iframe><area href=m.html>")
        << QByteArrayList{"embed file " + d + "v.mp4", "embed file " + d + "p.jpg", "embed file " + d + "a.mp3",
                       "embed - " + d + "t.vtt",     "embed - " + d + "e.swf",     "embed file " + d + "o.pdf",
                       "link page " + d + "f.html",  "link page " + d + "m.html"};
    QTest::newRow("icons only among link elements")
        << QByteArray("<link rel=stylesheet href=s.css><link rel=\"Shortcut ICON\" href=/favicon.ico>"
                      "<link rel=apple-touch-icon href=t.png>")
        << QByteArrayList{QByteArray("embed file http://www.example.org/favicon.ico")};
    QTest::newRow("8-bit bytes, blanks, NUL")
        << QByteArray("<a href=\" caf\xE9 menu.html\n\"><p>a\0b<a href=x\0y.html>", 50)
        << QByteArrayList{"link page " + d + "caf%E9%20menu.html", "link page " + d + "x%EF%BF%BDy.html"};
    QTest::newRow("host in other letters, or not UTF-8")
        << QByteArray("<a href=\"http://b\xC3\xBC" "cher.example/\"><a href=\"http://b\xFC" "cher.example/\">")
        << QByteArrayList{QByteArray("link page http://xn--bcher-kva.example/")};
    QTest::newRow("whole extensions only, folders are pages")
        << QByteArray("<a href=x.htmlx><a href=y.pn><a href=\"../Docs/\">")
        << QByteArrayList{"link - " + d + "x.htmlx", "link - " + d + "y.pn",
                       QByteArray("link page http://www.example.org/docs/Docs/")};
    QTest::newRow("after the end of the page") << QByteArray("<html><body></body></html>\n<a href=late.html>")
                                               << QByteArrayList{"link page " + d + "late.html"};
}

void tst_StandardLinks::standardRules()
{
    QFETCH(QByteArray, html);
    QFETCH(QByteArrayList, expected);
    QCOMPARE(scan(html, html.size() + 1), expected);
    QCOMPARE(scan(html, 1, {32 * 1024, 1, 4 * 1024 * 1024}), expected);
}

// Links come out while a page arrives, and a hostile page costs bounded
// memory: what it holds is given up, what comes after a bound that does not
// hold the parser is still read.
void tst_StandardLinks::bounds_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<int>("links");
    QTest::addColumn<int>("beforeTheEnd");
    QTest::addColumn<bool>("gaveUp");
    const QByteArray after = "<a href=after.html><p>";
    QByteArray longPage;
    for (int i = 0; i < 2000; ++i) {
        const QByteArray n = QByteArray::number(i);
        longPage += "<p>A <a href=\"x" + n + ".html\">x</a> <img src=\"y.png?" + n + "\"></p>\n";
    }
    QTest::newRow("long page") << longPage << 4000 << 4000 << false;
    // A tag much longer than the pieces is held back until more of the page has come (-1: not checked).
    QTest::newRow("long link left out") << "<a href=\"" + QByteArray(40 * 1024, 'x') + "\">" + after << 1 << -1 << false;
    QTest::newRow("deep nesting") << QByteArray("<div><font>").repeated(100'000) + after << 1 << 1 << false;
    QTest::newRow("endless comment") << "<!--" + QByteArray(5 * 1024 * 1024, '-') + after << 0 << 0 << true;
    QTest::newRow("endless tag") << "<a title=\"" + QByteArray(5 * 1024 * 1024, '>') + after << 0 << 0 << true;
}

void tst_StandardLinks::bounds()
{
    QFETCH(QByteArray, html);
    QFETCH(int, links);
    QFETCH(int, beforeTheEnd);
    QFETCH(bool, gaveUp);
    HtmlLinkScanner scanner(guidePage);
    for (qsizetype at = 0; at < html.size(); at += 16 * 1024)
        scanner.feed(QByteArrayView(html).sliced(at, std::min<qsizetype>(16 * 1024, html.size() - at)));
    const qsizetype early = scanner.takeLinks().size();
    scanner.finish();
    if (beforeTheEnd >= 0)
        QCOMPARE(early, beforeTheEnd);
    QCOMPARE(early + scanner.takeLinks().size(), links);
    QCOMPARE(scanner.gaveUp(), gaveUp);
}

void tst_StandardLinks::scope_data()
{
    QTest::addColumn<QString>("scope");
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<bool>("read");
    QTest::newRow("any host") << "any" << QByteArray("http://elsewhere.example/") << true;
    QTest::newRow("host, over https") << "HOST" << QByteArray("https://www.example.org/x.html") << true;
    QTest::newRow("host, another host") << "host" << QByteArray("http://example.org/docs/guide/") << false;
    QTest::newRow("below, deeper") << "below" << QByteArray("http://www.example.org/docs/guide/a/b.html") << true;
    QTest::newRow("below, beside") << "Below" << QByteArray("http://www.example.org/docs/other.html") << false;
    QTest::newRow("below, the folder without slash") << "below" << QByteArray("http://www.example.org/docs/guide")
                                                     << false;
}

void tst_StandardLinks::scope()
{
    QFETCH(QString, scope);
    QFETCH(QByteArray, address);
    QFETCH(bool, read);
    const std::optional<LinkScope> kind = linkScopeFromName(scope);
    QVERIFY(kind);
    QCOMPARE(CrawlScope(*kind, guidePage).contains(address), read);
}

void tst_StandardLinks::ruleNames()
{
    for (const LinkRules rules : {LinkRules::Classic, LinkRules::Standard})
        QCOMPARE(linkRulesFromName(linkRulesName(rules).toUpper()), rules);
    for (const LinkScope scope : {LinkScope::Any, LinkScope::Host, LinkScope::Below})
        QCOMPARE(linkScopeFromName(linkScopeName(scope)), scope);
    QCOMPARE(linkRulesFromName(u"strict"), std::nullopt);
    QCOMPARE(linkScopeFromName(u""), std::nullopt);
}

// Python's urljoin resolves the same generated references; both results are
// compared in normal form. Not generated, where urljoin departs from RFC 3986
// or from browsers: empty path segments (urljoin drops them), a reference
// "http:g" (urljoin reads it as relative), an empty query "?" (urljoin keeps
// the base's query), "\" (browsers read it as "/") and "%2E" (browsers read it as ".").
void tst_StandardLinks::resolvesLikeUrljoin()
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        QSKIP("python3 is not installed");
    const QList<QByteArray> hosts = {"a.example", "B.Example", "c.example:8080", "d.example:80", "e.example:443"};
    const QList<QByteArray> segments = {"a", "b", "C", "..", ".", "x.html", "y;p", "%41b", "%7e", "g h", "~u"};
    const QList<QByteArray> tails = {"", "", "?q", "?a=1&b=C/../d", "#f", "?q#f"};
    QRandomGenerator random(1803);
    auto pick = [&random](const QList<QByteArray> &list) { return list[random.bounded(int(list.size()))]; };
    auto path = [&](int most) {
        QByteArray text;
        for (int n = int(random.bounded(most + 1)); n > 0; --n)
            text += pick(segments) + (n > 1 || random.bounded(3) == 0 ? "/" : "");
        return text;
    };
    auto scheme = [&random] { return QByteArray(random.bounded(2) ? "http" : "HTTPS"); };

    QList<std::pair<QByteArray, QByteArray>> pairs;
    for (int n = 0; n < 3000; ++n) {
        // A page's address, as the crawl holds it.
        const QByteArray base = LinkResolver(scheme() + "://" + pick(hosts) + '/' + path(4) + pick(tails)).base();
        QByteArray reference;
        switch (random.bounded(6)) {
        case 0: reference = scheme() + "://" + pick(hosts) + '/' + path(3); break;
        case 1: reference = "//" + pick(hosts) + '/' + path(3); break;
        case 2: reference = '/' + path(3); break;
        case 3: reference = ""; break;
        default: reference = path(4); break;
        }
        pairs.append({base, reference + pick(tails)});
    }

    QProcess reference;
    reference.start(python, {QStringLiteral(TROVEWICK_TEST_DATA "/../crawl/urljoin_reference.py")});
    for (const auto &[base, link] : std::as_const(pairs))
        reference.write(base + '\t' + link + '\n');
    reference.closeWriteChannel();
    QVERIFY(reference.waitForFinished(60000));
    QCOMPARE(reference.exitCode(), 0);
    const QList<QByteArray> joined = reference.readAllStandardOutput().split('\n');
    QCOMPARE(joined.size(), pairs.size() + 1);

    QStringList differences;
    for (qsizetype n = 0; n < pairs.size(); ++n) {
        const std::optional<QByteArray> ours = LinkResolver(pairs[n].first).resolve(pairs[n].second);
        const std::optional<QByteArray> theirs = LinkResolver::normaliseRoot(joined[n]);
        if (!ours || ours != theirs)
            differences << QString::fromLatin1(pairs[n].first + " + " + pairs[n].second + " -> ours "
                                               + ours.value_or("nothing") + ", urljoin " + joined[n]);
    }
    QVERIFY2(differences.isEmpty(), qPrintable(differences.mid(0, 20).join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(tst_StandardLinks)
#include "tst_standardlinks.moc"
