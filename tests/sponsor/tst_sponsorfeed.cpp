#include "common/AppError.h"
#include "net/WebSession.h"
#include "sponsor/SponsorFeed.h"
#include "support/FakeTransfer.h"
#include "support/TestHttpServer.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

using Response = TestHttpServer::Response;

// A feed answer: the body as XML, with its length announced or not.
Response feedResponse(int status, const QByteArray &body, bool withLength = true)
{
    Response response = Response::html(body, status);
    response.headers = {{"Content-Type", "text/xml"}};
    response.sendContentLength = withLength;
    return response;
}

const QByteArray threeEntries = R"(<feed>
  <ads>
    <ad><text>One</text><link>http%3A%2F%2Fwww.one.example%2F</link></ad>
    <ad><text>Two</text><link>http://www.two.example/</link></ad>
    <ad><text>Three</text><link>http://www.three.example/</link></ad>
  </ads>
</feed>)"_ba;

} // namespace

Q_DECLARE_METATYPE(TestHttpServer::Response)

class tst_SponsorFeed : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void startsWaiting();
    void emptyDocumentChangesNothing();
    void threeEntriesWrap();
    void timerTickRotates();
    void oneEntryStays();
    void adsNameIsCaseSensitive();
    void laterAdsElementWins();
    void firstNodeMustBeTheRoot_data();
    void firstNodeMustBeTheRoot();
    void displayTextIsLiteral();
    void textNodeChildrenServe();
    void namespacePrefixIsIgnored_data();
    void namespacePrefixIsIgnored();
    void entryWithoutChildren();
    void firstEntryWithoutChildren();
    void allEntriesWithoutChildren();
    void entryWithOneChild();
    void laterNotificationStartsOver();

    void clickBeforeFeedDoesNothing();
    void clickOpensOnlyWebAddresses_data();
    void clickOpensOnlyWebAddresses();
    void clickIgnoresFailures();

    void popupRequested();
    void onePopupPerFeed_data();
    void onePopupPerFeed();
    void popupRefused_data();
    void popupRefused();
    void popupTooLongIsSkipped();
    void popupRefusedByComponent();

    void loadsFeed_data();
    void loadsFeed();
    void loadIsOnce();
    void loadFailures_data();
    void loadFailures();
    void deadServerGivenUp_data();
    void deadServerGivenUp();
    void destroyedWhileLoading();

private:
    void process(const QByteArray &xml, bool namespaces = true);
    void verifyWaiting();

    WebSession m_session;
    std::unique_ptr<FakeTransfer> m_transfer;
    std::unique_ptr<SponsorFeed> m_feed;
    QStringList m_opened;
};

void tst_SponsorFeed::init()
{
    m_feed.reset();
    m_transfer = std::make_unique<FakeTransfer>();
    m_feed = std::make_unique<SponsorFeed>(*m_transfer, m_session,
                                           QUrl(u"http://127.0.0.1:9/info2.0.xml"_s));
    m_opened.clear();
    m_feed->setShellOpen([this](const QString &target) { m_opened.append(target); });
}

void tst_SponsorFeed::process(const QByteArray &xml, bool namespaces)
{
    QVERIFY(m_feed->docAdText().setContent(xml, namespaces));
    m_feed->docAdText_ondataavailable();
}

void tst_SponsorFeed::verifyWaiting()
{
    QCOMPARE(m_feed->lblAdText(), u"Help Support Free Software, Visit our Sponsor!"_s);
    QVERIFY(!m_feed->isLinkStyle());
    QVERIFY(!m_feed->TimerAds().isActive());
    QVERIFY(m_transfer->requests.isEmpty());
}

void tst_SponsorFeed::startsWaiting()
{
    verifyWaiting();
    QCOMPARE(m_feed->TimerAds().interval(), 60000);
}

void tst_SponsorFeed::emptyDocumentChangesNothing()
{
    QSignalSpy changed(m_feed.get(), &SponsorFeed::changed);
    m_feed->docAdText_ondataavailable();
    verifyWaiting();
    QCOMPARE(changed.count(), 0);
}

void tst_SponsorFeed::threeEntriesWrap()
{
    QSignalSpy changed(m_feed.get(), &SponsorFeed::changed);
    process(threeEntries);
    QCOMPARE(m_feed->lblAdText(), u"One"_s);
    QVERIFY(m_feed->isLinkStyle());
    QVERIFY(m_feed->TimerAds().isActive());
    QVERIFY(changed.count() >= 1);

    const QStringList expected{u"Two"_s, u"Three"_s, u"One"_s, u"Two"_s, u"Three"_s, u"One"_s};
    for (const QString &text : expected) {
        changed.clear();
        m_feed->TimerAds_Timer();
        QCOMPARE(m_feed->lblAdText(), text);
        QCOMPARE(changed.count(), 1);
    }
    m_feed->lblAd_Click();
    QCOMPARE(m_opened, QStringList{u"http://www.one.example/"_s});
}

void tst_SponsorFeed::timerTickRotates()
{
    process(threeEntries);
    QCOMPARE(m_feed->lblAdText(), u"One"_s);
    // The first tick's change stops the timer, so exactly one step is seen.
    connect(m_feed.get(), &SponsorFeed::changed, &m_feed->TimerAds(), &QTimer::stop);
    m_feed->TimerAds().start(1);
    QTRY_VERIFY(!m_feed->TimerAds().isActive());
    QCOMPARE(m_feed->lblAdText(), u"Two"_s);
}

void tst_SponsorFeed::oneEntryStays()
{
    process("<feed><ads><ad><t>Only</t><u>http://www.only.example/</u></ad></ads></feed>"_ba);
    QSignalSpy changed(m_feed.get(), &SponsorFeed::changed);
    for (int tick = 0; tick < 3; ++tick) {
        m_feed->TimerAds_Timer();
        QCOMPARE(m_feed->lblAdText(), u"Only"_s);
    }
    QCOMPARE(changed.count(), 0);
    m_feed->lblAd_Click();
    QCOMPARE(m_opened, QStringList{u"http://www.only.example/"_s});
}

void tst_SponsorFeed::adsNameIsCaseSensitive()
{
    process("<feed><Ads><ad><t>Hidden</t><u>http://www.hidden.example/</u></ad></Ads></feed>"_ba);
    QCOMPARE(m_feed->lblAdText(), SponsorFeed::designText());
    QVERIFY(m_feed->isLinkStyle());
    QVERIFY(m_feed->TimerAds().isActive());
    m_feed->TimerAds_Timer();
    QCOMPARE(m_feed->lblAdText(), SponsorFeed::designText());
    m_feed->lblAd_Click();
    QVERIFY(m_opened.isEmpty());
}

void tst_SponsorFeed::laterAdsElementWins()
{
    process("<feed><ads><ad><t>Old</t></ad></ads><other/>"
            "<ads><ad><t>New 1</t></ad><ad><t>New 2</t></ad></ads></feed>"_ba);
    QCOMPARE(m_feed->lblAdText(), u"New 1"_s);
    m_feed->TimerAds_Timer();
    QCOMPARE(m_feed->lblAdText(), u"New 2"_s);
    m_feed->TimerAds_Timer();
    QCOMPARE(m_feed->lblAdText(), u"New 1"_s);
}

void tst_SponsorFeed::firstNodeMustBeTheRoot_data()
{
    QTest::addColumn<QByteArray>("lead");
    QTest::newRow("comment") << "<!-- sponsors -->"_ba;
    QTest::newRow("XML declaration") << R"(<?xml version="1.0" encoding="UTF-8"?>)"_ba;
    QTest::newRow("processing instruction") << "<?style sheet?>"_ba;
    QTest::newRow("document type") << "<!DOCTYPE feed>"_ba;
}

void tst_SponsorFeed::firstNodeMustBeTheRoot()
{
    QFETCH(QByteArray, lead);
    process(lead + "<feed><ads><ad><t>One</t><u>http://www.one.example/</u></ad></ads>"
                   "<popup>http://www.example.com/pop.htm</popup></feed>");
    QCOMPARE(m_feed->lblAdText(), SponsorFeed::designText());
    QVERIFY(m_feed->isLinkStyle());
    QVERIFY(m_feed->TimerAds().isActive());
    QVERIFY(m_transfer->requests.isEmpty());
    m_feed->TimerAds_Timer();
    m_feed->lblAd_Click();
    QCOMPARE(m_feed->lblAdText(), SponsorFeed::designText());
    QVERIFY(m_opened.isEmpty());
}

void tst_SponsorFeed::displayTextIsLiteral()
{
    process("<feed><ads><ad><t>50%25 off+more %41</t><u>http://www.a.example/?q=%2B</u></ad>"
            "</ads></feed>"_ba);
    QCOMPARE(m_feed->lblAdText(), u"50%25 off+more %41"_s);
    m_feed->lblAd_Click();
    QCOMPARE(m_opened, QStringList{u"http://www.a.example/?q=+"_s});
}

void tst_SponsorFeed::textNodeChildrenServe()
{
    process("<feed><ads><ad>Plain text<u>www.plain.example</u></ad>"
            "<ad><t>Nested <b>bold</b>, <![CDATA[& more]]></t><u>x</u></ad></ads></feed>"_ba);
    QCOMPARE(m_feed->lblAdText(), u"Plain text"_s);
    m_feed->lblAd_Click();
    QCOMPARE(m_opened, QStringList{u"www.plain.example"_s});
    m_feed->TimerAds_Timer();
    QCOMPARE(m_feed->lblAdText(), u"Nested bold, & more"_s);
}

void tst_SponsorFeed::namespacePrefixIsIgnored_data()
{
    QTest::addColumn<bool>("namespaces");
    QTest::newRow("namespace processing") << true;
    QTest::newRow("plain names") << false;
}

void tst_SponsorFeed::namespacePrefixIsIgnored()
{
    QFETCH(bool, namespaces);
    process(R"(<feed xmlns:x="urn:trovewick:ads" xmlns:y="urn:other">)"
            "<x:ads><ad><t>Prefixed</t><u>http://www.p.example/</u></ad></x:ads>"
            "<y:popup>http://www.p.example/pop.htm</y:popup></feed>"_ba,
            namespaces);
    QCOMPARE(m_feed->lblAdText(), u"Prefixed"_s);
    QCOMPARE(m_transfer->requests.size(), 1);
    QCOMPARE(m_transfer->requests.at(0).url, "http://www.p.example/pop.htm"_ba);
}

void tst_SponsorFeed::entryWithoutChildren()
{
    process("<feed><ads><ad><t>First</t><u>http://www.first.example/</u></ad><empty/>"
            "<ad><t>Third</t><u>http://www.third.example/</u></ad></ads></feed>"_ba);
    QCOMPARE(m_feed->lblAdText(), u"First"_s);

    m_feed->TimerAds_Timer();
    QCOMPARE(m_feed->lblAdText(), u"First"_s);
    m_feed->lblAd_Click();
    QVERIFY(m_opened.isEmpty());

    m_feed->TimerAds_Timer();
    QCOMPARE(m_feed->lblAdText(), u"Third"_s);
    m_feed->lblAd_Click();
    QCOMPARE(m_opened, QStringList{u"http://www.third.example/"_s});

    m_feed->TimerAds_Timer();
    QCOMPARE(m_feed->lblAdText(), u"First"_s);
}

void tst_SponsorFeed::firstEntryWithoutChildren()
{
    process("<feed><ads><empty/><ad><t>Second</t></ad></ads></feed>"_ba);
    QCOMPARE(m_feed->lblAdText(), SponsorFeed::designText());
    m_feed->TimerAds_Timer();
    QCOMPARE(m_feed->lblAdText(), u"Second"_s);
    m_feed->TimerAds_Timer();
    QCOMPARE(m_feed->lblAdText(), u"Second"_s);
    m_feed->lblAd_Click();
    QVERIFY(m_opened.isEmpty());
}

void tst_SponsorFeed::allEntriesWithoutChildren()
{
    process("<feed><ads><a/><b/>text<c/></ads></feed>"_ba);
    for (int tick = 0; tick < 5; ++tick) {
        m_feed->TimerAds_Timer();
        QCOMPARE(m_feed->lblAdText(), SponsorFeed::designText());
    }
    m_feed->lblAd_Click();
    QVERIFY(m_opened.isEmpty());
    QVERIFY(m_feed->isLinkStyle());
}

void tst_SponsorFeed::entryWithOneChild()
{
    process("<feed><ads><ad><t>Text only</t></ad></ads></feed>"_ba);
    QCOMPARE(m_feed->lblAdText(), u"Text only"_s);
    m_feed->lblAd_Click();
    QVERIFY(m_opened.isEmpty());
}

void tst_SponsorFeed::laterNotificationStartsOver()
{
    process(threeEntries + "<!-- unused -->");
    m_feed->TimerAds_Timer();
    QCOMPARE(m_feed->lblAdText(), u"Two"_s);
    process("<feed><ads><ad><t>A</t></ad><ad><t>B</t></ad></ads>"
            "<popup>http://www.example.com/p.htm</popup></feed>"_ba);
    QCOMPARE(m_feed->lblAdText(), u"A"_s);
    m_feed->docAdText_ondataavailable();
    QCOMPARE(m_feed->lblAdText(), u"A"_s);
    QCOMPARE(m_transfer->requests.size(), 2);

    // A document without "ads" keeps the entries of the earlier one.
    process("<feed><nothing/></feed>"_ba);
    QCOMPARE(m_feed->lblAdText(), u"B"_s);
}

void tst_SponsorFeed::clickBeforeFeedDoesNothing()
{
    m_feed->lblAd_Click();
    QVERIFY(m_opened.isEmpty());
    verifyWaiting();
}

void tst_SponsorFeed::clickOpensOnlyWebAddresses_data()
{
    QTest::addColumn<QByteArray>("encoded");
    QTest::addColumn<QString>("opened"); // empty: refused

    QTest::newRow("http") << "http://www.example.com/x"_ba << u"http://www.example.com/x"_s;
    QTest::newRow("https, upper case") << "HTTPS://Example.com/x"_ba << u"HTTPS://Example.com/x"_s;
    QTest::newRow("encoded http") << "http%3A%2F%2Fexample.com%2Fa+b"_ba
                                  << u"http://example.com/a b"_s;
    QTest::newRow("bare www") << "www.example.com/x"_ba << u"www.example.com/x"_s;
    QTest::newRow("bare WWW") << "WWW.Example.com"_ba << u"WWW.Example.com"_s;
    QTest::newRow("surrounding white space") << "\n  http://www.example.com/\n"_ba
                                             << u"http://www.example.com/"_s;
    QTest::newRow("Windows-1252 escape") << "http://www.example.com/caf%E9"_ba
                                         << u"http://www.example.com/caf\u00e9"_s;
    QTest::newRow("UTF-8 escapes") << "http://www.example.com/caf%C3%A9"_ba
                                   << u"http://www.example.com/caf\u00e9"_s;
    QTest::newRow("local file URL") << "file:///etc/passwd"_ba << QString();
    QTest::newRow("encoded file URL") << "%66ile%3A%2F%2F%2Fetc%2Fpasswd"_ba << QString();
    QTest::newRow("program path") << "/usr/bin/xterm"_ba << QString();
    QTest::newRow("Windows program") << "C:\\Windows\\System32\\calc.exe"_ba << QString();
    QTest::newRow("javascript") << "javascript:alert(1)"_ba << QString();
    QTest::newRow("mail") << "mailto:someone@example.com"_ba << QString();
    QTest::newRow("ftp") << "ftp://ftp.example.com/file"_ba << QString();
    QTest::newRow("www without a dot") << "wwwevil.com"_ba << QString();
    QTest::newRow("www alone") << "www"_ba << QString();
    QTest::newRow("http without slashes") << "http:evil"_ba << QString();
    QTest::newRow("empty") << QByteArray() << QString();
}

void tst_SponsorFeed::clickOpensOnlyWebAddresses()
{
    QFETCH(QByteArray, encoded);
    QFETCH(QString, opened);

    QDomDocument &document = m_feed->docAdText();
    document.setContent("<feed><ads><ad><t>Sponsor</t><u/></ad></ads></feed>"_ba, true);
    QDomElement link = document.documentElement().firstChild().firstChild().lastChild().toElement();
    link.appendChild(document.createTextNode(QString::fromUtf8(encoded)));
    m_feed->docAdText_ondataavailable();

    m_feed->lblAd_Click();
    QCOMPARE(m_opened, opened.isEmpty() ? QStringList() : QStringList{opened});
}

void tst_SponsorFeed::clickIgnoresFailures()
{
    const QByteArray tooLong = "http://www.example.com/" + QByteArray(40000, 'a');
    process("<feed><ads><ad><t>Long</t><u>" + tooLong + "</u></ad>"
            "<ad><t>Throws</t><u>http://www.example.com/</u></ad></ads></feed>");
    m_feed->lblAd_Click();
    QVERIFY(m_opened.isEmpty());

    m_feed->TimerAds_Timer();
    m_feed->setShellOpen([](const QString &) { throw invalidArgumentError(u"shell"_s); });
    m_feed->lblAd_Click();
    QCOMPARE(m_feed->lblAdText(), u"Throws"_s);
}

void tst_SponsorFeed::popupRequested()
{
    process("<feed><popup>http%3A%2F%2Fwww.example.com%2Fpop+up.htm%3Fa%3D1</popup></feed>"_ba);
    QCOMPARE(m_transfer->requests.size(), 1);
    const FakeTransfer::Request &call = m_transfer->requests.at(0);
    QCOMPARE(call.url, "http://www.example.com/pop up.htm?a=1"_ba);
    QCOMPARE(call.url2, call.url);
    QCOMPARE(call.fileType, 1);
    QCOMPARE(call.data, "SPONSOR"_ba);
    QVERIFY(m_feed->isLinkStyle());
    QCOMPARE(m_feed->lblAdText(), SponsorFeed::designText());
}

void tst_SponsorFeed::onePopupPerFeed_data()
{
    QTest::addColumn<QByteArray>("popups");
    QTest::addColumn<QByteArray>("requested");

    QByteArray many;
    for (int i = 0; i < 300; ++i)
        many += "<popup>http://www.example.com/p" + QByteArray::number(i) + ".htm</popup>";
    QTest::newRow("three hundred") << many << "http://www.example.com/p0.htm"_ba;
    QTest::newRow("unusable ones before")
        << "<popup>file:///etc/passwd</popup><popup>%zz</popup><popup>https://www.example.com/s.htm</popup>"
           "<popup>http://www.example.com/t.htm</popup>"_ba
        << "https://www.example.com/s.htm"_ba;
}

void tst_SponsorFeed::onePopupPerFeed()
{
    QFETCH(QByteArray, popups);
    QFETCH(QByteArray, requested);
    process("<feed>" + popups + "<ads><ad><t>One</t></ad></ads></feed>");
    QCOMPARE(m_transfer->requests.size(), 1);
    QCOMPARE(m_transfer->requests.at(0).url, requested);
    QCOMPARE(m_feed->lblAdText(), u"One"_s);
}

void tst_SponsorFeed::popupRefused_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::newRow("local file URL") << "file:///etc/passwd"_ba;
    QTest::newRow("local path") << "/etc/passwd"_ba;
    QTest::newRow("ftp") << "ftp://ftp.example.com/pop.htm"_ba;
    QTest::newRow("javascript") << "javascript:alert(1)"_ba;
    QTest::newRow("bare www") << "www.example.com/pop.htm"_ba;
    QTest::newRow("empty") << QByteArray();
}

void tst_SponsorFeed::popupRefused()
{
    QFETCH(QByteArray, address);
    process("<feed><popup>" + address + "</popup><ads><ad><t>One</t></ad></ads></feed>");
    QVERIFY(m_transfer->requests.isEmpty());
    QCOMPARE(m_feed->lblAdText(), u"One"_s);
    QVERIFY(m_feed->TimerAds().isActive());
}

void tst_SponsorFeed::popupTooLongIsSkipped()
{
    const QByteArray tooLong = "http://www.example.com/" + QByteArray(40000, 'a');
    process("<feed><popup>" + tooLong + "</popup>"
            "<ads><ad><t>One</t></ad></ads><popup>http://www.example.com/ok.htm</popup></feed>");
    QCOMPARE(m_transfer->requests.size(), 1);
    QCOMPARE(m_transfer->requests.at(0).url, "http://www.example.com/ok.htm"_ba);
    QCOMPARE(m_feed->lblAdText(), u"One"_s);
    QVERIFY(m_feed->isLinkStyle());
    QVERIFY(m_feed->TimerAds().isActive());
}

void tst_SponsorFeed::popupRefusedByComponent()
{
    m_transfer->refuse = true;
    process("<feed><popup>http://www.example.com/p.htm</popup><ads><ad><t>One</t></ad></ads></feed>"_ba);
    QCOMPARE(m_feed->lblAdText(), u"One"_s);
    QVERIFY(m_feed->TimerAds().isActive());
}

void tst_SponsorFeed::loadsFeed_data()
{
    QTest::addColumn<bool>("redirected");
    QTest::addColumn<bool>("limitIsTheFeedSize"); // else the usual limit
    QTest::addColumn<bool>("announced");          // the feed's length sent ahead
    QTest::newRow("direct") << false << false << true;
    QTest::newRow("redirected") << true << false << true;
    // A feed of exactly the size limit is still a feed; one byte more is not (loadFailures).
    QTest::newRow("at the size limit, announced") << false << true << true;
    QTest::newRow("at the size limit, unannounced") << false << true << false;
}

void tst_SponsorFeed::loadsFeed()
{
    QFETCH(bool, redirected);
    QFETCH(bool, limitIsTheFeedSize);
    QFETCH(bool, announced);
    TestHttpServer server;
    QVERIFY(server.isListening());
    const QByteArray feedPath = redirected ? "/moved.xml"_ba : "/info2.0.xml"_ba;
    if (redirected)
        server.route("/info2.0.xml", Response::redirect(302, "/moved.xml"));
    const QByteArray body = threeEntries.left(threeEntries.indexOf("</feed>"))
                            + "<popup>http://www.example.com/pop.htm</popup></feed>";
    server.route(feedPath, feedResponse(200, body, announced));
    ReadLimits limits = SponsorFeed::FeedLimits;
    if (limitIsTheFeedSize)
        limits.maxBodyBytes = body.size();
    SponsorFeed feed(*m_transfer, m_session, QUrl::fromEncoded(server.url("/info2.0.xml")), limits);
    QSignalSpy finished(&feed, &SponsorFeed::loadFinished);
    QSignalSpy changed(&feed, &SponsorFeed::changed);

    feed.load();
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    QCOMPARE(feed.lblAdText(), u"One"_s);
    QVERIFY(feed.isLinkStyle());
    QVERIFY(feed.TimerAds().isActive());
    QVERIFY(changed.count() >= 1);
    QCOMPARE(m_transfer->requests.size(), 1);
    QCOMPARE(m_transfer->requests.at(0).data, "SPONSOR"_ba);

    QCOMPARE(server.requests().size(), redirected ? 2 : 1);
    const TestHttpServer::Request request = server.requests().at(0);
    QCOMPARE(request.method, "GET"_ba);
    QCOMPARE(request.path, "/info2.0.xml"_ba);
    QCOMPARE(request.header("User-Agent"), "Trovewick/2.0"_ba);
}

void tst_SponsorFeed::loadIsOnce()
{
    TestHttpServer server;
    QVERIFY(server.isListening());
    server.route("/info2.0.xml", feedResponse(200, threeEntries));
    SponsorFeed feed(*m_transfer, m_session, QUrl::fromEncoded(server.url("/info2.0.xml")));
    QSignalSpy finished(&feed, &SponsorFeed::loadFinished);
    feed.load();
    feed.load();
    QVERIFY(finished.wait(10000));
    feed.load();
    QCoreApplication::processEvents();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(server.requests().size(), 1);
}

void tst_SponsorFeed::loadFailures_data()
{
    QTest::addColumn<Response>("response");
    QTest::addColumn<qint64>("maxFeedBytes");

    const qint64 normal = SponsorFeed::FeedLimits.maxBodyBytes;
    QTest::newRow("not found") << feedResponse(404, threeEntries) << normal;
    QTest::newRow("server error") << feedResponse(500, threeEntries) << normal;
    QTest::newRow("no content") << feedResponse(204, {}) << normal;
    QTest::newRow("not XML") << feedResponse(200, "<html><body>Hello") << normal;
    QTest::newRow("empty body") << feedResponse(200, {}) << normal;
    // The announced length is the whole feed's; the connection closes 20 bytes early.
    Response cutShort = feedResponse(200, threeEntries.chopped(20), false);
    cutShort.headers.append({"Content-Length", QByteArray::number(threeEntries.size())});
    QTest::newRow("cut short") << cutShort << normal;
    QTest::newRow("over the size limit, announced")
        << feedResponse(200, threeEntries + QByteArray(2000, ' ')) << qint64(1000);
    QTest::newRow("over the size limit, unannounced")
        << feedResponse(200, threeEntries + QByteArray(2000, ' '), false) << qint64(1000);
    // One byte past the limit is enough; loadsFeed takes a feed of exactly the limit.
    QTest::newRow("one byte over the size limit, announced")
        << feedResponse(200, threeEntries + ' ') << qint64(threeEntries.size());
    QTest::newRow("one byte over the size limit, unannounced")
        << feedResponse(200, threeEntries + ' ', false) << qint64(threeEntries.size());
    // Deep enough to overflow the stack of a recursive tree builder.
    QByteArray deep = "<feed><ads><ad>";
    for (int level = 0; level < 200000; ++level)
        deep += "<a>";
    for (int level = 0; level < 200000; ++level)
        deep += "</a>";
    deep += "</ad></ads></feed>";
    QTest::newRow("nested too deep") << feedResponse(200, deep) << qint64(4 * 1024 * 1024);
}

void tst_SponsorFeed::loadFailures()
{
    QFETCH(Response, response);
    QFETCH(qint64, maxFeedBytes);

    TestHttpServer server;
    QVERIFY(server.isListening());
    server.route("/info2.0.xml", response);
    ReadLimits limits = SponsorFeed::FeedLimits;
    limits.maxBodyBytes = maxFeedBytes;
    m_feed = std::make_unique<SponsorFeed>(*m_transfer, m_session,
                                           QUrl::fromEncoded(server.url("/info2.0.xml")), limits);
    QSignalSpy finished(m_feed.get(), &SponsorFeed::loadFinished);
    QSignalSpy changed(m_feed.get(), &SponsorFeed::changed);
    m_feed->load();
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toBool(), false);
    QCOMPARE(changed.count(), 0);
    verifyWaiting();
}

void tst_SponsorFeed::deadServerGivenUp_data()
{
    QTest::addColumn<bool>("trickle");
    QTest::newRow("never answers") << false;
    QTest::newRow("trickles without end") << true;
}

void tst_SponsorFeed::deadServerGivenUp()
{
    QFETCH(bool, trickle);
    TestHttpServer server;
    QVERIFY(server.isListening());
    Response dead = feedResponse(200, "<feed>" + QByteArray(100'000, ' '), false);
    if (trickle) {
        // One byte every 20 ms: never idle, never done.
        dead.pieceSize = 1;
        dead.pieceDelayMs = 20;
    } else {
        dead.neverAnswer = true;
    }
    server.route("/info2.0.xml", dead);
    ReadLimits limits = SponsorFeed::FeedLimits;
    limits.idleTimeoutMs = 200;
    limits.deadlineMs = 800;
    m_feed = std::make_unique<SponsorFeed>(*m_transfer, m_session,
                                           QUrl::fromEncoded(server.url("/info2.0.xml")), limits);
    QSignalSpy finished(m_feed.get(), &SponsorFeed::loadFinished);
    m_feed->load();
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.at(0).at(0).toBool(), false);
    QCOMPARE(server.requests().size(), 1);
    verifyWaiting();
}

void tst_SponsorFeed::destroyedWhileLoading()
{
    // The program ends while the feed is still on its way: the load is dropped
    // quietly and nothing reaches the feed object afterwards.
    TestHttpServer server;
    QVERIFY(server.isListening());
    Response silent;
    silent.neverAnswer = true;
    server.route("/info2.0.xml", silent);
    m_feed = std::make_unique<SponsorFeed>(*m_transfer, m_session,
                                           QUrl::fromEncoded(server.url("/info2.0.xml")));
    QSignalSpy finished(m_feed.get(), &SponsorFeed::loadFinished);
    m_feed->load();
    QTRY_COMPARE(server.requests().size(), 1);
    m_feed.reset();
    QCoreApplication::processEvents();
    QCOMPARE(finished.count(), 0);
    QCOMPARE(m_session.readsInFlight(), 0);
    QVERIFY(m_transfer->requests.isEmpty());
}

QTEST_GUILESS_MAIN(tst_SponsorFeed)
#include "tst_sponsorfeed.moc"
