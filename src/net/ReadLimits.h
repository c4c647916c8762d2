#pragma once

#include <QtGlobal>

// The bounds every read of the web is held to. Page reads and the sponsor feed
// differ only in these numbers.
struct ReadLimits
{
    // A read that receives no byte for this long is given up, however slowly
    // the bytes before it came. The time counts from the request, so a
    // connection attempt or an answer that never starts gets this long too.
    int idleTimeoutMs = 30'000;
    // No read takes longer than this in all, however steadily a server trickles.
    int deadlineMs = 10 * 60'000;
    // A body beyond this many bytes (as delivered, after any content decoding)
    // fails the read.
    qint64 maxBodyBytes = 32 * 1024 * 1024;
    // Redirects followed before the read fails.
    int maxRedirects = 10;
    // A response head (status line and header lines, with those of interim 1xx
    // answers and the trailers of a chunked body) beyond this many bytes fails
    // the read at once. Each request of a redirect chain is counted on its own.
    qint64 maxHeaderBytes = 64 * 1024;
    // When set, only an HTML answer (Content-Type text/html or
    // application/xhtml+xml, or none at all) is read; the read of any other
    // ends right after its head, without its body, with ReadReason::NotHtml.
    bool htmlOnly = false;

    // What a page read of the crawl may take.
    static constexpr ReadLimits pages() { return {}; }
};
