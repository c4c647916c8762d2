#pragma once

#include <QByteArray>

// Text helpers link extraction runs on every link. Text from the web is 8-bit:
// one byte is one character, and positions are 1-based as in the page scan.
// Inside these helpers positions are signed 16-bit; past that range they raise
// an overflow AppError.
namespace modPublic {

// The raw text after "a href=" turned into a link: quotes, commas, apostrophes
// and line feeds dropped, cut at the first blank, then cut to an embedded address.
QByteArray CleanLink(const QByteArray &rawSlice);

// The link from its last "http://" that begins at position 7 or later.
QByteArray TrimToLastHttp(const QByteArray &link);

// What follows the last "." of the link, unless a "/" comes after it; else empty.
QByteArray GetExtension(const QByteArray &link);

// "http://" + the page's directory, ending in "/": the base of relative links.
QByteArray GetBaseUrl(const QByteArray &pageUrl);

} // namespace modPublic
