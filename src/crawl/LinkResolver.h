#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>
#include <optional>

struct Curl_URL;

// Turns the links of one page into absolute web addresses in one normal form,
// so that every spelling of an address names the same page. libcurl's URL
// parser resolves (RFC 3986); around it, the form is:
// - scheme and host in lower case, the scheme's own port left out;
// - no dot segments and no fragment; an empty query dropped;
// - path and query keep their case; escapes of unreserved characters (letters,
//   digits, "-._~") decoded, other escapes with upper-case hex digits, and every
//   byte the grammar does not allow there (spaces, controls, bytes from 0x80,
//   "\"<>[]{}|^`") escaped; a "%" that begins no escape stays as it is;
// - only http and https: any other scheme gives nothing.
// Links are 8-bit text: their bytes are taken as they stand in the page. As
// browsers do, tabs and line breaks inside a link are dropped, blanks and
// controls around it trimmed, and a "\" before the query counts as "/".
class LinkResolver
{
public:
    // Resolves against `baseAddress`, an absolute http or https address in any
    // spelling; an invalid resolver when it is not one.
    explicit LinkResolver(QByteArrayView baseAddress);
    ~LinkResolver();
    LinkResolver(LinkResolver &&) noexcept;
    LinkResolver &operator=(LinkResolver &&) noexcept;

    [[nodiscard]] bool isValid() const { return !m_base.isEmpty(); }
    // The base in normal form; empty when invalid.
    [[nodiscard]] const QByteArray &base() const { return m_base; }

    // The link as a normal absolute address, or nothing when it is not an http
    // or https address or cannot be parsed.
    [[nodiscard]] std::optional<QByteArray> resolve(QByteArrayView link) const;

    // An address a person typed as the start of a crawl, in normal form; one
    // without a scheme ("example.org/x") is taken as http.
    [[nodiscard]] static std::optional<QByteArray> normaliseRoot(QByteArrayView typed);

private:
    struct HandleDeleter
    {
        void operator()(Curl_URL *handle) const;
    };
    std::unique_ptr<Curl_URL, HandleDeleter> m_handle;
    QByteArray m_base;
};

// The pieces of an address in the normal form above; views into it.
struct AddressParts
{
    QByteArrayView scheme;
    QByteArrayView host; // IPv6 hosts with their brackets
    QByteArrayView port; // empty for the scheme's own port
    QByteArrayView path; // begins with "/"
    QByteArrayView query; // without the "?"
};

// Splits an address LinkResolver made; for other text the parts are meaningless.
[[nodiscard]] AddressParts splitAddress(QByteArrayView normalAddress);
