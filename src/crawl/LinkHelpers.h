#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <string>

// Text helpers link extraction runs on every link. Text from the web is 8-bit:
// one byte is one character, and positions are 1-based as in the page scan.
// Inside these helpers positions are signed 16-bit; past that range they raise
// an overflow AppError (source "modPublic"):
// - CleanLink: a raw slice of 32,768 characters or more, or one of exactly
//   32,767 that holds no blank;
// - TrimToLastHttp: an "http://" that begins at position 32,768 or later;
// - GetExtension: a link of 32,768 characters or more;
// - GetBaseUrl: a last "/" at position 32,767 or later of the address without
//   its "http://".
namespace modPublic {

// The raw text after "a href=" turned into a link: quotes, commas, apostrophes
// and line feeds dropped, cut at the first blank, then cut to an embedded address.
QByteArray CleanLink(const QByteArray &rawSlice);

// The link from its last "http://" that begins at position 7 or later; the link
// unchanged when there is none.
QByteArray TrimToLastHttp(const QByteArray &link);

// What follows the last "." of the link, unless a "/" comes after it; else empty.
QByteArray GetExtension(const QByteArray &link);

// "http://" + the page's directory, ending in "/": the base of relative links.
// Only a leading "http://" (in any letter case) is taken off the address.
QByteArray GetBaseUrl(const QByteArray &pageUrl);

// The same work without allocating, for the page scan, which runs it on every
// link of a page. Results and errors are those of the procedures above.

// CleanLink's result, written into `buffer` (its earlier content is dropped);
// the view is valid until `buffer` changes.
QByteArrayView cleanLinkView(QByteArrayView rawSlice, std::string &buffer);

// The same for a slice of a page that has not been lower-cased yet: A to Z are
// lowered on the way, so the result is CleanLink of the lower-cased slice.
QByteArrayView cleanLowerLinkView(QByteArrayView rawSlice, std::string &buffer);

// Where TrimToLastHttp's result begins within `link` (0-based; 0 when unchanged).
qsizetype trimToLastHttpOffset(QByteArrayView link);

// GetExtension's result as a view into `link`.
QByteArrayView extensionView(QByteArrayView link);

} // namespace modPublic
