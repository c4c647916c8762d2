// Sponsor feed processing on an arbitrary feed document. The bytes go where a
// loaded feed goes: refused when nested deeper than the load allows, else into
// the document object with namespace processing, then through the processing
// step, a few rotation steps and a click after each.
//
// Checked for every input:
// - the popup read is asked for at most once per processing step, and only
//   for an http or https address (trimmed, passed as both URLs, file type 1,
//   the sponsor data string);
// - the browser is asked to open at most one address per click, and only an
//   http or https address or a bare "www." address;
// - a document with a first node leaves the line drawn as a link.

#include "FuzzCheck.h"

#include "common/AppError.h"
#include "net/TransferComponent.h"
#include "net/WebSession.h"
#include "sponsor/SponsorFeed.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDomDocument>
#include <QLatin1StringView>
#include <QList>
#include <QString>
#include <QStringView>
#include <QUrl>
#include <QXmlStreamReader>

#include <cstddef>
#include <cstdint>

namespace {

WebSession *session = nullptr;

// Compares A to Z without case and nothing else: a browser or the transfer
// component sees these characters, not Unicode case folds of them.
bool startsWithAsciiNoCase(QStringView text, QLatin1StringView prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (qsizetype i = 0; i < prefix.size(); ++i) {
        char16_t c = text[i].unicode();
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c - u'A' + u'a');
        if (c != char16_t(prefix[i].unicode()))
            return false;
    }
    return true;
}

bool isHttpAddress(QStringView address)
{
    return startsWithAsciiNoCase(address, QLatin1StringView("http://"))
        || startsWithAsciiNoCase(address, QLatin1StringView("https://"));
}

// Records the popup reads and refuses some, as a component whose request fails
// raises, so both paths run.
class RecordingTransfer final : public TransferComponent
{
public:
    QString StartFileRead(const QByteArray &url, const QByteArray &url2, int fileType,
                          const QByteArray &data) override
    {
        FUZZ_CHECK(isHttpAddress(QString::fromLatin1(url)));
        FUZZ_CHECK(url == url.trimmed());
        FUZZ_CHECK(url2 == url);
        FUZZ_CHECK(fileType == 1);
        FUZZ_CHECK(data == "SPONSOR");
        ++requests;
        if (url.size() % 2 != 0)
            throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("txPages"), QStringLiteral("refused"));
        return QStringLiteral("popup-%1").arg(requests);
    }

    int requests = 0;
};

// The load's guard against documents the document object cannot build without
// running out of stack.
bool nestingWithin(const QByteArray &body, int maxDepth)
{
    QXmlStreamReader reader(body);
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement && ++depth > maxDepth)
            return false;
        if (token == QXmlStreamReader::EndElement)
            --depth;
    }
    return !reader.hasError();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The feed's timer needs an application; it lives as long as the process.
    static QCoreApplication *application = new QCoreApplication(*argc, *argv);
    Q_UNUSED(application);
    session = new WebSession;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    if (!nestingWithin(body, SponsorFeed::MaxFeedDepth))
        return 0;

    RecordingTransfer transfer;
    SponsorFeed feed(transfer, *session, QUrl(QStringLiteral("http://127.0.0.1:9/info2.0.xml")));
    int opened = 0;
    feed.setShellOpen([&opened](const QString &address) {
        FUZZ_CHECK(isHttpAddress(address) || startsWithAsciiNoCase(address, QLatin1StringView("www.")));
        ++opened;
    });

    if (!feed.docAdText().setContent(body, true))
        return 0;
    const bool hasFirstNode = !feed.docAdText().doctype().name().isEmpty()
        || !feed.docAdText().firstChild().isNull();

    for (int round = 0; round < 2; ++round) {
        const int requestsBefore = transfer.requests;
        feed.docAdText_ondataavailable();
        FUZZ_CHECK(transfer.requests - requestsBefore <= 1);
        FUZZ_CHECK(feed.isLinkStyle() == hasFirstNode);
        for (int step = 0; step < 4; ++step) {
            const int openedBefore = opened;
            feed.lblAd_Click();
            FUZZ_CHECK(opened - openedBefore <= 1);
            feed.TimerAds_Timer();
        }
    }
    return 0;
}
