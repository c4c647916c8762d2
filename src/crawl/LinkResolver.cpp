#include "crawl/LinkResolver.h"

#include "common/AsciiText.h"

#include <QStringDecoder>
#include <QUrl>

#include <curl/curl.h>

#include <algorithm>

#include <cstring>

namespace {

using Handle = std::unique_ptr<CURLU, void (*)(CURLU *)>;

Handle makeHandle(CURLU *handle)
{
    return Handle(handle, curl_url_cleanup);
}

bool isLetter(uchar c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// What may stand unescaped in a path or query: unreserved characters, the
// sub-delimiters, ":", "@", "/" and "?" (RFC 3986 pchar and query).
bool mayStand(uchar c)
{
    return AsciiText::isUnreserved(c) || (c != 0 && std::strchr("!$&'()*+,;=:@/?", c) != nullptr);
}

bool isWebScheme(QByteArrayView scheme)
{
    return AsciiText::equalsNoCase(scheme, "http") || AsciiText::equalsNoCase(scheme, "https");
}

// The length of the scheme name `text` begins with when a ":" follows it, else 0.
qsizetype schemeLength(QByteArrayView text)
{
    if (text.isEmpty() || !isLetter(uchar(text[0])))
        return 0;
    qsizetype n = 1;
    while (n < text.size() && (isLetter(uchar(text[n])) || (text[n] >= '0' && text[n] <= '9') || text[n] == '+'
                               || text[n] == '-' || text[n] == '.'))
        ++n;
    return n < text.size() && text[n] == ':' ? n : 0;
}

// The link as a browser reads an attribute value: blanks and controls around it
// trimmed, tabs and line breaks inside dropped; and without its fragment, which
// names a place in a page, not a page.
QByteArray cleaned(QByteArrayView link)
{
    while (!link.isEmpty() && uchar(link.front()) <= 0x20)
        link = link.sliced(1);
    while (!link.isEmpty() && uchar(link.back()) <= 0x20)
        link.chop(1);
    QByteArray text;
    text.reserve(link.size());
    for (const char c : link) {
        if (c == '#')
            break;
        if (c != '\t' && c != '\n' && c != '\r')
            text += c;
    }
    return text;
}

// Where the part after the scheme and authority begins: the path, the query or
// nothing. A link without "//" after its scheme has no authority.
qsizetype authorityEnd(QByteArrayView text)
{
    qsizetype start = schemeLength(text);
    if (start > 0)
        ++start;
    if (text.sliced(start).startsWith("//")) {
        start += 2;
        while (start < text.size() && text[start] != '/' && text[start] != '?')
            ++start;
    }
    return start;
}

// A path and query in the normal form of escapes; "\" before the query is "/".
// Done before libcurl resolves, so that "%2E%2E" is a dot segment it removes.
void appendNormalEscapes(QByteArray &out, QByteArrayView text)
{
    bool inQuery = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto c = uchar(text[i]);
        if (const int escaped = AsciiText::percentEscapeAt(text, i); escaped >= 0) {
            AsciiText::appendNormalEscape(out, uchar(escaped));
            i += 2;
        } else if (c == '\\' && !inQuery) {
            out += '/';
        } else if (c == '%' || mayStand(c)) {
            inQuery = inQuery || c == '?';
            out += char(c);
        } else {
            AsciiText::appendPercentEscape(out, c);
        }
    }
}

// A user name or password as it goes before the host: escaped like a path,
// and also where it holds a character that would end it.
void appendUserInfo(QByteArray &out, QByteArrayView text)
{
    QByteArray guarded;
    guarded.reserve(text.size());
    for (const char c : text) {
        if (c == '@' || c == ':' || c == '/' || c == '?')
            AsciiText::appendPercentEscape(guarded, uchar(c));
        else
            guarded += c;
    }
    appendNormalEscapes(out, guarded);
}

// The cleaned link as libcurl gets it, or nothing when its scheme is not a web
// scheme or its authority holds a byte libcurl would read as the end of the text.
std::optional<QByteArray> prepared(const QByteArray &text)
{
    const qsizetype scheme = schemeLength(text);
    if (scheme > 0 && !isWebScheme(QByteArrayView(text).first(scheme)))
        return std::nullopt;
    const qsizetype restStart = authorityEnd(text);
    const QByteArrayView head = QByteArrayView(text).first(restStart);
    if (head.contains('\0'))
        return std::nullopt;
    QByteArray out;
    out.reserve(text.size() + 16);
    out += head;
    appendNormalEscapes(out, QByteArrayView(text).sliced(restStart));
    return out;
}

// The host as it goes in an address: ASCII in lower case. A name written in
// other letters (UTF-8 in the page) becomes its ASCII form ("xn--..."), as a
// browser would look it up; bytes that are no UTF-8 name no host.
std::optional<QByteArray> asciiHost(const QByteArray &host)
{
    if (std::all_of(host.cbegin(), host.cend(), [](char c) { return uchar(c) < 0x80; })) {
        QByteArray lower = host;
        for (char &c : lower)
            c = AsciiText::toLower(c);
        return lower;
    }
    QStringDecoder fromUtf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString name = fromUtf8(host);
    if (fromUtf8.hasError())
        return std::nullopt;
    QByteArray ace = QUrl::toAce(name);
    if (ace.isEmpty())
        return std::nullopt;
    return ace;
}

std::optional<QByteArray> part(CURLU *handle, CURLUPart what, unsigned int flags = 0)
{
    char *text = nullptr;
    if (curl_url_get(handle, what, &text, flags) != CURLUE_OK)
        return std::nullopt;
    QByteArray value(text);
    curl_free(text);
    return value;
}

// The parsed address in normal form, or nothing when it is not a web address.
std::optional<QByteArray> normalForm(CURLU *handle)
{
    const std::optional<QByteArray> scheme = part(handle, CURLUPART_SCHEME);
    const std::optional<QByteArray> rawHost = part(handle, CURLUPART_HOST);
    if (!scheme || !isWebScheme(*scheme) || !rawHost || rawHost->isEmpty())
        return std::nullopt;
    const std::optional<QByteArray> host = asciiHost(*rawHost);
    if (!host)
        return std::nullopt;
    const QByteArray user = part(handle, CURLUPART_USER).value_or(QByteArray());
    const QByteArray password = part(handle, CURLUPART_PASSWORD).value_or(QByteArray());
    const std::optional<QByteArray> port = part(handle, CURLUPART_PORT, CURLU_NO_DEFAULT_PORT);
    const QByteArray path = part(handle, CURLUPART_PATH).value_or(QByteArray("/"));
    const std::optional<QByteArray> query = part(handle, CURLUPART_QUERY);

    QByteArray address = scheme->toLower();
    address.reserve(scheme->size() + host->size() + path.size() + (query ? query->size() : 0) + 16);
    address += "://";
    if (!user.isEmpty() || !password.isEmpty()) {
        appendUserInfo(address, user);
        if (!password.isEmpty()) {
            address += ':';
            appendUserInfo(address, password);
        }
        address += '@';
    }
    address += *host;
    if (port)
        address += ':' + *port;
    // libcurl may write escapes of its own (lower-case hex in a query it was
    // given on its own), so the normal form is made again; it changes nothing else.
    if (!path.startsWith('/'))
        address += '/';
    appendNormalEscapes(address, path);
    if (query && !query->isEmpty()) {
        address += '?';
        appendNormalEscapes(address, *query);
    }
    return address;
}

} // namespace

void LinkResolver::HandleDeleter::operator()(Curl_URL *handle) const
{
    curl_url_cleanup(handle);
}

LinkResolver::LinkResolver(QByteArrayView baseAddress)
{
    const QByteArray text = cleaned(baseAddress);
    const std::optional<QByteArray> ready = prepared(text);
    if (schemeLength(text) == 0 || !ready)
        return;
    std::unique_ptr<Curl_URL, HandleDeleter> handle(curl_url());
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, ready->constData(), 0) != CURLUE_OK)
        return;
    if (std::optional<QByteArray> base = normalForm(handle.get())) {
        m_base = std::move(*base);
        m_handle = std::move(handle);
    }
}

LinkResolver::~LinkResolver() = default;
LinkResolver::LinkResolver(LinkResolver &&) noexcept = default;
LinkResolver &LinkResolver::operator=(LinkResolver &&) noexcept = default;

std::optional<QByteArray> LinkResolver::resolve(QByteArrayView link) const
{
    if (!isValid())
        return std::nullopt;
    const std::optional<QByteArray> ready = prepared(cleaned(link));
    if (!ready)
        return std::nullopt;
    // The query is set on its own: libcurl 7.88 resolves "./?q" against
    // "/a/b/" to "/a/b?q", where "./" alone gives "/a/b/". Without a path the
    // link keeps the page's: a link of nothing but a fragment names the page
    // itself, where libcurl would take it as the page's folder.
    const qsizetype queryStart = ready->indexOf('?');
    const QByteArray path = ready->first(queryStart < 0 ? ready->size() : queryStart);
    const Handle handle = makeHandle(curl_url_dup(m_handle.get()));
    if (!handle || (!path.isEmpty() && curl_url_set(handle.get(), CURLUPART_URL, path.constData(), 0) != CURLUE_OK))
        return std::nullopt;
    if (queryStart >= 0) {
        const QByteArray query = ready->sliced(queryStart + 1);
        if (curl_url_set(handle.get(), CURLUPART_QUERY, query.isEmpty() ? nullptr : query.constData(), 0) != CURLUE_OK)
            return std::nullopt;
    }
    return normalForm(handle.get());
}

std::optional<QByteArray> LinkResolver::normaliseRoot(QByteArrayView typed)
{
    QByteArray text = cleaned(typed);
    if (text.isEmpty())
        return std::nullopt;
    const qsizetype scheme = schemeLength(text);
    if (scheme == 0 || !QByteArrayView(text).sliced(scheme + 1).startsWith("//"))
        text.prepend("http://");
    LinkResolver root(text);
    if (!root.isValid())
        return std::nullopt;
    return root.base();
}

AddressParts splitAddress(QByteArrayView normalAddress)
{
    AddressParts parts;
    const qsizetype schemeEnd = normalAddress.indexOf("://");
    if (schemeEnd < 0)
        return parts;
    parts.scheme = normalAddress.first(schemeEnd);
    QByteArrayView rest = normalAddress.sliced(schemeEnd + 3);
    const qsizetype pathStart = rest.indexOf('/');
    QByteArrayView authority = pathStart < 0 ? rest : rest.first(pathStart);
    rest = pathStart < 0 ? QByteArrayView() : rest.sliced(pathStart);
    if (const qsizetype at = authority.lastIndexOf('@'); at >= 0)
        authority = authority.sliced(at + 1);
    const qsizetype colon = authority.lastIndexOf(':');
    if (colon >= 0 && !authority.sliced(colon).contains(']')) {
        parts.port = authority.sliced(colon + 1);
        authority = authority.first(colon);
    }
    parts.host = authority;
    const qsizetype queryStart = rest.indexOf('?');
    parts.path = queryStart < 0 ? rest : rest.first(queryStart);
    if (queryStart >= 0)
        parts.query = rest.sliced(queryStart + 1);
    return parts;
}
