#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// What a site's robots.txt lets one crawler read (RFC 9309). A value built from
// the file's bytes alone; reading the file is the caller's business.
//
// Rules and paths are compared in one form: escapes of unreserved characters
// (letters, digits, "-._~") are decoded, other escapes get upper-case hex digits,
// and spaces, controls and bytes outside US-ASCII are escaped. A requested path's
// "*" and "$" are escaped too, so that the rules "%2A" and "%24" name them. Other
// reserved characters stay as written: "/a/b" and "/a%2Fb" are different paths.
class RobotsTxt
{
public:
    // Only this much of a robots.txt is read; a line the cut falls into is
    // dropped, since a rule cut short would say something its author did not.
    static constexpr qsizetype maxParsedSize = 500 * 1024;

    // The rules for `productToken` (letters, "_" and "-", such as "Trovewick"):
    // every group naming it, or, when none does, every group for "*".
    [[nodiscard]] static RobotsTxt parse(QByteArrayView body, QByteArrayView productToken);
    // For a robots.txt answered with a 4xx status: nothing is off limits.
    [[nodiscard]] static RobotsTxt allowAll();
    // For a robots.txt answered with a 5xx status or not reachable at all.
    [[nodiscard]] static RobotsTxt disallowAll();

    // Whether the path and query of a request, as sent ("/a/b.htm?x=1"), may be
    // read. "/robots.txt" always may.
    [[nodiscard]] bool allows(QByteArrayView pathAndQuery) const;

private:
    struct Rule
    {
        QByteArray pattern; // canonical; "*" is the wildcard, the anchor is cut off
        bool anchored = false; // the rule ended in "$": the path must end with the match
        bool allow = false;
        qsizetype weight = 0; // octets of the canonical rule, the anchor included
    };

    static Rule makeRule(QByteArrayView value, bool allow);
    static bool matches(const Rule &rule, QByteArrayView path);

    QList<Rule> m_rules;
};
