#pragma once

#include "crawl/LinkResolver.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>

#include <memory>
#include <optional>

struct _xmlParserCtxt;

// How standard rules found a link: as a link a person follows (a, area, frame,
// iframe) or as something the page embeds (images, media, objects, icons).
enum class LinkHow { Link, Embed };

// "link" or "embed", the words results are written with.
[[nodiscard]] QByteArrayView linkHowName(LinkHow how);

struct FoundLink
{
    QByteArray address; // absolute, in LinkResolver's normal form
    LinkHow how = LinkHow::Link;
};

// Finds the links of one HTML page under standard rules while its bytes arrive:
// feed() each piece as it comes, finish() at the end, and take the links found
// so far whenever convenient. libxml2's HTML parser reads the page, so entities
// are decoded and nothing inside a script, a style or a comment is a link.
//
// Links come from a/area href, frame/iframe src (LinkHow::Link) and from img
// src and srcset, source src and srcset, video src and poster, audio, track and
// embed src, object data and the href of a link whose rel holds "icon"
// (LinkHow::Embed). They are resolved against the page's address, or against the
// first <base href> once it has been read; links that are not http or https are
// left out. A page is 8-bit text: a link keeps the bytes the page has, whatever
// its encoding; characters written as entities beyond Latin-1 come out as UTF-8.
//
// The scanner holds at most a bounded part of the page: the parser is started
// afresh every so often between two tags, and a page that keeps it from that
// for too long (a comment, script or tag without end) is given up.
class HtmlLinkScanner
{
public:
    struct Bounds
    {
        // A link longer than this is left out.
        qsizetype maxLinkBytes = 32 * 1024;
        // After this much of the page, the parser is started afresh at the next
        // point between two tags outside a script or style.
        qsizetype restartAfter = 256 * 1024;
        // The page is given up when the parser holds this much without such a point.
        qsizetype maxHeldBytes = 4 * 1024 * 1024;
    };

    explicit HtmlLinkScanner(QByteArrayView pageAddress, Bounds bounds);
    explicit HtmlLinkScanner(QByteArrayView pageAddress) : HtmlLinkScanner(pageAddress, Bounds()) {}
    ~HtmlLinkScanner();
    HtmlLinkScanner(const HtmlLinkScanner &) = delete;
    HtmlLinkScanner &operator=(const HtmlLinkScanner &) = delete;

    // The next bytes of the page; ignored after finish() or once given up.
    void feed(QByteArrayView piece);
    // The page is complete: what was held back for want of more is read now.
    void finish();

    // The links found since the last call, in page order; an address found
    // the same way again on the page comes only once.
    [[nodiscard]] QList<FoundLink> takeLinks();
    // True when the page went past a bound and the rest of it was not read.
    [[nodiscard]] bool gaveUp() const { return m_gaveUp; }

private:
    struct ContextDeleter
    {
        void operator()(_xmlParserCtxt *context) const;
    };

    static void onStartElement(void *scanner, const unsigned char *name, const unsigned char **attributes);

    void startElement(const char *name, const unsigned char **attributes);
    void addLink(QByteArrayView link, LinkHow how);
    void startContext();
    void push(QByteArrayView bytes, bool terminate);
    std::optional<qsizetype> nextPush(qsizetype available);
    void restartIfDue(bool terminate);
    void giveUp();

    Bounds m_bounds;
    LinkResolver m_page;
    LinkResolver m_base;
    bool m_baseSeen = false;
    bool m_finished = false;
    bool m_gaveUp = false;
    qsizetype m_pushed = 0; // bytes given to the current parser
    QByteArray m_held; // bytes not yet given to it
    std::unique_ptr<_xmlParserCtxt, ContextDeleter> m_context;
    QByteArray m_value; // the attribute being read, as page bytes
    QList<FoundLink> m_links;

    // Links met on this page so far, without their fragments: pages name the
    // same few addresses over and over (an index, the contents beside every
    // page), and resolving is most of what a link costs.
    struct KnownLink
    {
        std::optional<QByteArray> address;
        unsigned char foundAs = 0; // a bit for each LinkHow it was found as
    };
    QHash<QByteArray, KnownLink> m_known;
    qsizetype m_knownBytes = 0;
};
