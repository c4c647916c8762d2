#include "crawl/HtmlLinkScanner.h"

#include "common/AsciiText.h"
#include "crawl/SrcsetUrls.h"

#include <libxml/HTMLparser.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// Where links are: which attribute of which element, and how it counts.
struct LinkSource
{
    const char *element;
    const char *attribute;
    LinkHow how;
    bool srcset = false;
};

constexpr LinkSource linkSources[] = {
    {"a", "href", LinkHow::Link},
    {"area", "href", LinkHow::Link},
    {"frame", "src", LinkHow::Link},
    {"iframe", "src", LinkHow::Link},
    {"img", "src", LinkHow::Embed},
    {"img", "srcset", LinkHow::Embed, true},
    {"source", "src", LinkHow::Embed},
    {"source", "srcset", LinkHow::Embed, true},
    {"video", "src", LinkHow::Embed},
    {"video", "poster", LinkHow::Embed},
    {"audio", "src", LinkHow::Embed},
    {"track", "src", LinkHow::Embed},
    {"embed", "src", LinkHow::Embed},
    {"object", "data", LinkHow::Embed},
    {"link", "href", LinkHow::Embed}, // only with rel="icon", see startElement
};

// Pieces of the page go to the parser at most this large, so that a restart
// can come between them.
constexpr qsizetype pushStep = 64 * 1024;

// The links a scanner remembers are forgotten when they pass this many bytes,
// so that a page of endless distinct links costs no more than one of few.
constexpr qsizetype knownLinkBytes = 512 * 1024;

void ignoreMessage(void *, const char *, ...) {}

bool isNamed(const char *name, const char *wanted)
{
    return std::strcmp(name, wanted) == 0;
}

// Most elements of a page carry no link; their first letter tells most of
// them apart without a call.
bool isElementOf(const char *name, const LinkSource &source)
{
    return name[0] == source.element[0] && isNamed(name, source.element);
}

// The parser reads the page as ISO-8859-1, so each byte is one character and
// reaches us as UTF-8 of U+0000 to U+00FF; this gives the bytes back. Longer
// sequences come from entities and stay UTF-8. The text ends at `end`, or at
// its NUL when `end` is null. False when the result exceeds `limit` bytes.
bool toPageBytes(const unsigned char *text, const unsigned char *end, QByteArray &out, qsizetype limit)
{
    if (!end)
        end = text + std::strlen(reinterpret_cast<const char *>(text));
    else if (const void *nul = std::memchr(text, 0, size_t(end - text)))
        end = static_cast<const unsigned char *>(nul);
    out.resize(end - text);
    char *copy = out.data();
    while (text != end) {
        const unsigned char c = *text;
        if ((c == 0xC2 || c == 0xC3) && end - text >= 2 && (text[1] & 0xC0) == 0x80) {
            *copy++ = char(((c & 0x03) << 6) | (text[1] & 0x3F));
            text += 2;
        } else {
            *copy++ = char(c);
            ++text;
        }
    }
    out.truncate(copy - out.data());
    return out.size() <= limit;
}

// Whether one of the blank-separated words of a rel attribute is "icon".
bool hasIconRel(const unsigned char **attributes)
{
    for (; attributes[0]; attributes += 2) {
        if (!isNamed(reinterpret_cast<const char *>(attributes[0]), "rel") || !attributes[1])
            continue;
        const QByteArrayView rel(reinterpret_cast<const char *>(attributes[1]));
        qsizetype start = 0;
        while (start < rel.size()) {
            qsizetype end = start;
            while (end < rel.size() && !AsciiText::isHtmlBlank(rel[end]))
                ++end;
            if (AsciiText::equalsNoCase(rel.sliced(start, end - start), "icon"))
                return true;
            start = end + 1;
        }
    }
    return false;
}

} // namespace

QByteArrayView linkHowName(LinkHow how)
{
    return how == LinkHow::Link ? QByteArrayView("link") : QByteArrayView("embed");
}

void HtmlLinkScanner::ContextDeleter::operator()(_xmlParserCtxt *context) const
{
    htmlFreeParserCtxt(context);
}

HtmlLinkScanner::HtmlLinkScanner(QByteArrayView pageAddress, Bounds bounds)
    : m_bounds(bounds), m_page(pageAddress), m_base(pageAddress)
{
    xmlInitParser();
    // The parser reports every fault of a page on stderr unless told otherwise;
    // faults are the normal state of web pages.
    xmlSetGenericErrorFunc(nullptr, ignoreMessage);
    startContext();
}

HtmlLinkScanner::~HtmlLinkScanner() = default;

void HtmlLinkScanner::startContext()
{
    xmlSAXHandler handler{};
    handler.startElement = onStartElement;
    m_context.reset(htmlCreatePushParserCtxt(&handler, this, nullptr, 0, nullptr, XML_CHAR_ENCODING_8859_1));
    if (!m_context) {
        m_gaveUp = true;
        return;
    }
    m_pushed = 0;
    // No network, no messages, and no switch to the encoding a <meta> names:
    // the bytes stay the page's own.
    htmlCtxtUseOptions(m_context.get(),
                       HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_IGNORE_ENC);
}

void HtmlLinkScanner::feed(QByteArrayView piece)
{
    if (m_finished || !m_context)
        return;
    QByteArray data = std::exchange(m_held, {});
    // libxml2 stops reading a page at a NUL byte; as the HTML standard says, it
    // stands for U+FFFD, here as the UTF-8 bytes a link would carry.
    if (piece.contains('\0'))
        data += piece.toByteArray().replace(QByteArrayView("\0", 1), QByteArrayView("\xEF\xBF\xBD"));
    else if (!data.isEmpty())
        data += piece;
    if (!data.isEmpty())
        piece = data;
    while (!piece.isEmpty() && m_context) {
        const std::optional<qsizetype> step = nextPush(piece.size());
        if (!step) {
            m_held = piece.size() == data.size() ? std::move(data) : piece.toByteArray();
            return;
        }
        push(piece.first(*step), false);
        piece = piece.sliced(*step);
        restartIfDue(false);
    }
}

void HtmlLinkScanner::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    if (!m_context)
        return;
    push(m_held, true);
    m_held.clear();
    restartIfDue(true);
    m_context.reset();
}

QList<FoundLink> HtmlLinkScanner::takeLinks()
{
    return std::exchange(m_links, {});
}

void HtmlLinkScanner::push(QByteArrayView bytes, bool terminate)
{
    htmlParseChunk(m_context.get(), bytes.data(), int(bytes.size()), terminate ? 1 : 0);
    m_pushed += bytes.size();
}

// Inside a start tag, libxml2 2.9 looks for its ">" from where it stopped the
// last time, but forgets whether it was inside a quoted value then, and so may
// miss the end of the tag or take a ">" inside quotes for it. It is made to
// look again from the tag's beginning, which is right but costs the tag's
// length; so more of the page is held back until it is at least half as long
// as the unfinished tag, and then given in one piece, which keeps the cost in
// proportion to the page. Gives how much of `available` bytes to push next,
// or nothing to hold them back.
std::optional<qsizetype> HtmlLinkScanner::nextPush(qsizetype available)
{
    xmlParserCtxt *context = m_context.get();
    if (context->instate != XML_PARSER_START_TAG || !context->input)
        return std::min(available, pushStep);
    const qsizetype tag = context->input->end - context->input->cur;
    if (available * 2 < tag && tag + available <= m_bounds.maxHeldBytes)
        return std::nullopt;
    context->checkIndex = 0;
    return std::min(available, std::max(pushStep, tag));
}

// The parser is replaced by a fresh one every so often at a point between two
// tags; the new one gets only what the old one had not read yet: a tag,
// comment or text cut off by the end of the data so far. Nothing else carries
// over that matters for links, since a script or style never spans the point,
// and so neither the parser's stack of open elements nor its dictionary of
// names grows with the page. The same happens when the parser has stopped
// before the end of the page, as it does at anything after </html>.
void HtmlLinkScanner::restartIfDue(bool terminate)
{
    while (m_context) {
        const xmlParserCtxt *context = m_context.get();
        const xmlParserInput *input = context->input;
        if (!input || !input->cur || !input->end)
            return;
        // The parser holds the page as UTF-8, so `unread` may exceed the
        // bytes of the page it stands for, never fall short of them.
        const qsizetype unread = input->end - input->cur;
        const bool stopped = context->instate == XML_PARSER_EOF;
        // Waiting for the rest of a tag, the parser stands at its "<".
        const bool betweenTags = (context->instate == XML_PARSER_CONTENT || context->instate == XML_PARSER_START_TAG
                                  || context->instate == XML_PARSER_END_TAG)
            && !(context->name
                 && (isNamed(reinterpret_cast<const char *>(context->name), "script")
                     || isNamed(reinterpret_cast<const char *>(context->name), "style")));
        QByteArray rest;
        if (stopped && unread > 0)
            toPageBytes(input->cur, input->end, rest, unread);
        const bool restart = stopped ? rest.size() < m_pushed && unread > 0
                                     : betweenTags && m_pushed - unread >= m_bounds.restartAfter;
        if (!restart) {
            if (unread > m_bounds.maxHeldBytes || (stopped && unread > 0))
                giveUp();
            return;
        }
        if (!stopped)
            toPageBytes(input->cur, input->end, rest, unread);
        startContext();
        if (m_context)
            push(rest, terminate);
    }
}

void HtmlLinkScanner::giveUp()
{
    m_gaveUp = true;
    m_context.reset();
}

void HtmlLinkScanner::onStartElement(void *scanner, const unsigned char *name, const unsigned char **attributes)
{
    static_cast<HtmlLinkScanner *>(scanner)->startElement(reinterpret_cast<const char *>(name), attributes);
}

void HtmlLinkScanner::startElement(const char *name, const unsigned char **attributes)
{
    if (!name || !attributes)
        return;
    if (isNamed(name, "base")) {
        // The first <base> with an href sets the base of every later link.
        for (const unsigned char **a = attributes; a[0] && !m_baseSeen; a += 2) {
            if (!isNamed(reinterpret_cast<const char *>(a[0]), "href") || !a[1])
                continue;
            m_baseSeen = true;
            if (!toPageBytes(a[1], nullptr, m_value, m_bounds.maxLinkBytes))
                continue;
            if (const std::optional<QByteArray> base = m_page.resolve(m_value)) {
                m_base = LinkResolver(*base);
                m_known.clear();
                m_knownBytes = 0;
            }
        }
        return;
    }
    const bool known = std::any_of(std::begin(linkSources), std::end(linkSources),
                                   [name](const LinkSource &source) { return isElementOf(name, source); });
    if (!known || (isNamed(name, "link") && !hasIconRel(attributes)))
        return;
    for (const unsigned char **a = attributes; a[0]; a += 2) {
        if (!a[1])
            continue;
        for (const LinkSource &source : linkSources) {
            if (!isElementOf(name, source) || !isNamed(reinterpret_cast<const char *>(a[0]), source.attribute))
                continue;
            if (!toPageBytes(a[1], nullptr, m_value, source.srcset ? m_bounds.maxHeldBytes : m_bounds.maxLinkBytes))
                continue;
            if (source.srcset) {
                for (const QByteArrayView url : srcsetUrls(m_value))
                    addLink(url, source.how);
            } else {
                addLink(m_value, source.how);
            }
        }
    }
}

void HtmlLinkScanner::addLink(QByteArrayView link, LinkHow how)
{
    if (link.size() > m_bounds.maxLinkBytes)
        return;
    // The fragment never changes where a link leads.
    const qsizetype fragment = link.indexOf('#');
    const QByteArray key = (fragment < 0 ? link : link.first(fragment)).toByteArray();
    auto known = m_known.find(key);
    if (known == m_known.end()) {
        if (m_knownBytes > knownLinkBytes) {
            m_known.clear();
            m_knownBytes = 0;
        }
        known = m_known.insert(key, {m_base.resolve(link)});
        m_knownBytes += key.size() + (known->address ? known->address->size() : 0);
    }
    const auto foundAs = static_cast<unsigned char>(1u << unsigned(how));
    if (!known->address || (known->foundAs & foundAs) != 0)
        return;
    known->foundAs |= foundAs;
    m_links.append({*known->address, how});
}
