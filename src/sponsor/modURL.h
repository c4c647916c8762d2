#pragma once

#include <QByteArray>

namespace modURL {

// Decodes the "+" and "%" escapes of a URL-encoded address in one left-to-right
// pass, one byte one character: "+" becomes a space and "%" with the two
// characters after it becomes the byte their leading hexadecimal digits give (0
// when there are none). A decoded "%" or "+" is never decoded again.
//
// The position counter is 16-bit: an input longer than 32,766 characters, or a
// "%" taken as an escape at position 32,765 or later (1-based), throws
// overflowError() and gives no result.
[[nodiscard]] QByteArray UrlDecode(const QByteArray &text);

} // namespace modURL
