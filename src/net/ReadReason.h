#pragma once

#include "net/ReadLimits.h"

#include <QLatin1StringView>
#include <QString>

// Why a read of a page ended as it did. When the answer's HTTP status is the
// reason (any status but 2xx), the reason is HttpStatus and the status itself
// says why; otherwise it is one word of a fixed set. The network layer gives
// the reasons of a read; the crawl adds its own (Robots, Parse). NotHtml is the one reason a page
// that did not fail may carry. A new reason is
// one enumerator here and one row in the table of ReadReason.cpp.
enum class ReadReason : quint8 {
    None,         // nothing went wrong, or the read failed on this machine
    HttpStatus,   // the answer's status, not 2xx
    Refused,      // no connection, or one broken off before the answer was whole
    Dns,          // the host name (or the proxy's) was not found
    Timeout,      // no data for the idle time
    Deadline,     // the whole read took longer than it may
    TooLarge,     // the body passed its size cap
    HeadTooLarge, // an answer's head passed its size cap
    Tls,          // the secure connection could not be made
    Scheme,       // not an http or https address, or a redirect to another scheme
    Redirects,    // more redirects than a read follows
    Robots,       // the host's robots.txt refuses the page
    Parse,        // the page was read but its scan failed
    Cancelled,    // the read was ended before it could finish
    NotHtml,      // a read that wanted HTML got another kind of answer; not a failure
};

namespace ReadReasons {

// The reason as data: the status number ("404") for HttpStatus, the reason's
// word ("timeout") otherwise, empty for None.
QString word(ReadReason reason, int status);

// The reason in plain words for people: "404 Not Found", "Timed out: no data
// for 30 s". `limits` are the bounds the read was held to. Empty for None.
QString plainWords(ReadReason reason, int status, const ReadLimits &limits = ReadLimits::pages());

// The usual phrase of an HTTP status ("Not Found"); empty for one it does not know.
QLatin1StringView statusPhrase(int status);

} // namespace ReadReasons
