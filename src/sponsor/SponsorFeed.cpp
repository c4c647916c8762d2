#include "sponsor/SponsorFeed.h"

#include "common/AsciiText.h"
#include "common/WebText.h"
#include "net/TransferComponent.h"
#include "net/WebRequest.h"
#include "sponsor/modURL.h"

#include <QByteArrayView>
#include <QDomNode>
#include <QXmlStreamReader>

#include <exception>
#include <utility>

namespace {

// The data string that tells the completion handler a read is the popup page.
QByteArray sponsorData()
{
    return QByteArrayLiteral("SPONSOR");
}

// The element's name without its namespace prefix. A document built without
// namespace processing has no local names, so the prefix is cut off by hand.
QString baseName(const QDomNode &node)
{
    if (!node.isElement())
        return {};
    const QString local = node.localName();
    if (!local.isEmpty())
        return local;
    const QString name = node.nodeName();
    return name.mid(name.lastIndexOf(u':') + 1);
}

// The text a node holds: for an element all its text and CDATA below it, for a
// text node (and any other leaf) its value.
QString textContent(const QDomNode &node)
{
    if (node.isElement())
        return node.toElement().text();
    return node.nodeValue();
}

// The node a reader of the document meets first. The document object keeps a
// document type declaration apart from its children although it precedes the
// root element, so a document with one has no root element in front.
QDomNode firstNode(const QDomDocument &document)
{
    const QDomDocumentType doctype = document.doctype();
    if (!doctype.isNull() && !doctype.name().isEmpty())
        return doctype;
    return document.firstChild();
}

// The document object recurses once per nesting level when it builds, reads and
// frees a tree, so a deeply nested document could exhaust the stack. The feed
// is checked with a flat reader first.
bool nestingWithin(const QByteArray &body, int maxDepth)
{
    QXmlStreamReader reader(body);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++depth > maxDepth)
                return false;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    return !reader.hasError();
}

} // namespace

SponsorFeed::SponsorFeed(TransferComponent &txPages, WebSession &session, const QUrl &feedUrl,
                         const ReadLimits &limits, QObject *parent)
    : QObject(parent),
      m_txPages(txPages),
      m_session(session),
      m_feedUrl(feedUrl),
      m_limits(limits),
      m_lblAdText(designText())
{
    m_timerAds.setInterval(AdIntervalMs);
    connect(&m_timerAds, &QTimer::timeout, this, &SponsorFeed::TimerAds_Timer);
}

SponsorFeed::~SponsorFeed()
{
    if (m_read)
        m_session.cancel(m_read);
}

QString SponsorFeed::designText()
{
    return QStringLiteral("Help Support Free Software, Visit our Sponsor!");
}

void SponsorFeed::setShellOpen(std::function<void(const QString &)> shellOpen)
{
    m_shellOpen = std::move(shellOpen);
}

bool SponsorFeed::isPopupAddress(const QByteArray &address)
{
    return AsciiText::startsWithNoCase(address, "http://") || AsciiText::startsWithNoCase(address, "https://");
}

bool SponsorFeed::isWebAddress(const QByteArray &address)
{
    // A bare address counts only when its host's first label is "www", the form
    // the shell opens in the browser; "wwwfoo.exe" or "www" alone is no web host.
    return isPopupAddress(address) || AsciiText::startsWithNoCase(address, "www.");
}

void SponsorFeed::load()
{
    if (m_loadStarted)
        return;
    m_loadStarted = true;
    if (!m_feedUrl.isValid() || !WebRequest::isWebScheme(m_feedUrl.scheme())) {
        // Reported from the event loop, as every other outcome of a load.
        QTimer::singleShot(0, this, [this] { Q_EMIT loadFinished(false); });
        return;
    }
    m_read = m_session.read(
        m_feedUrl, m_limits,
        [this](QByteArrayView piece) {
            m_body.append(piece);
            return true;
        },
        [this](bool ok, int, ReadReason, const QByteArray &) { onLoaded(ok); });
}

void SponsorFeed::onLoaded(bool ok)
{
    m_read = 0;
    const QByteArray body = std::exchange(m_body, QByteArray());
    ok = ok && nestingWithin(body, MaxFeedDepth);
    if (ok) {
        QDomDocument document;
        ok = document.setContent(body, true);
        if (ok)
            m_docAdText = document;
    }
    if (ok)
        docAdText_ondataavailable();
    Q_EMIT loadFinished(ok);
}

void SponsorFeed::docAdText_ondataavailable()
{
    const QDomNode root = firstNode(m_docAdText);
    if (root.isNull())
        return;

    // Only a root element has entries; a feed that begins with anything else
    // (declaration, comment, processing instruction) yields none. One popup
    // page at most is shown per feed: a feed listing hundreds would otherwise
    // open as many browser windows.
    bool popupTaken = false;
    if (root.isElement()) {
        for (QDomNode child = root.firstChild(); !child.isNull(); child = child.nextSibling()) {
            const QString name = baseName(child);
            if (name == u"ads") {
                QList<Entry> entries;
                for (QDomNode node = child.firstChild(); !node.isNull(); node = node.nextSibling()) {
                    Entry entry;
                    const QDomNode first = node.firstChild();
                    if (!first.isNull()) {
                        entry.hasText = true;
                        entry.text = textContent(first);
                        const QDomNode second = first.nextSibling();
                        if (!second.isNull()) {
                            entry.hasAddress = true;
                            entry.address = textContent(second);
                        }
                    }
                    entries.append(entry);
                }
                m_adList = std::move(entries);
                m_cursor = -1;
            } else if (name == u"popup" && !popupTaken) {
                popupTaken = requestPopup(textContent(child));
            }
        }
    }

    setLine(m_lblAdText, true);
    if (!m_timerAds.isActive())
        m_timerAds.start();
    TimerAds_Timer();
}

bool SponsorFeed::requestPopup(const QString &encodedAddress)
{
    QByteArray address;
    try {
        // Line breaks around the address in an indented feed are no part of it.
        address = modURL::UrlDecode(encodedAddress.toUtf8()).trimmed();
    } catch (const std::exception &) {
        // An address too long to decode only costs that popup.
        return false;
    }
    // The feed comes from the network: only a web page is fetched for the
    // browser, never a local file or another scheme.
    if (!isPopupAddress(address))
        return false;
    try {
        m_txPages.StartFileRead(address, address, 1, sponsorData());
    } catch (const std::exception &) {
        // A request the component refuses costs the popup; the sponsor line
        // still becomes a link.
    }
    return true;
}

void SponsorFeed::TimerAds_Timer()
{
    if (!m_adList || m_adList->isEmpty())
        return;
    ++m_cursor;
    if (m_cursor >= m_adList->size())
        m_cursor = 0;
    m_curAd = m_adList->at(m_cursor);

    // An entry without child nodes has no text of its own: the line falls back
    // to the first entry's text, as at the end of the list, and keeps what it
    // shows when the first has none either. The cursor stays on the empty entry,
    // so the next step goes on with the one after it.
    const Entry &shown = m_curAd->hasText ? *m_curAd : m_adList->constFirst();
    if (shown.hasText)
        setLine(shown.text, m_linkStyle);
}

void SponsorFeed::lblAd_Click()
{
    if (!m_curAd || !m_curAd->hasAddress)
        return;
    try {
        const QByteArray address = modURL::UrlDecode(m_curAd->address.toUtf8()).trimmed();
        // The feed comes from the network: only a web address is handed to the
        // browser, never a local file, a program or another scheme.
        if (!isWebAddress(address) || !m_shellOpen)
            return;
        m_shellOpen(decodeWebText(address));
    } catch (const std::exception &) {
        // A sponsor that cannot be opened is left alone, like any failed click.
    }
}

void SponsorFeed::setLine(const QString &text, bool linkStyle)
{
    if (text == m_lblAdText && linkStyle == m_linkStyle)
        return;
    m_lblAdText = text;
    m_linkStyle = linkStyle;
    Q_EMIT changed();
}
