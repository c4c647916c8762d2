#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Small byte-text tests that several subsystems need. Web text is 8-bit: only
// the ASCII letters A to Z have a case here.
namespace AsciiText {

constexpr char toLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// True when `text` begins with `prefix`, ignoring the case of A to Z.
constexpr bool startsWithNoCase(QByteArrayView text, QByteArrayView prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (qsizetype i = 0; i < prefix.size(); ++i) {
        if (toLower(text[i]) != toLower(prefix[i]))
            return false;
    }
    return true;
}

// True when `a` and `b` are the same text, ignoring the case of A to Z.
constexpr bool equalsNoCase(QByteArrayView a, QByteArrayView b)
{
    return a.size() == b.size() && startsWithNoCase(a, b);
}

// The value of one hexadecimal digit (0-9, a-f, A-F), or -1 for anything else.
// Takes any character code, so both bytes and UTF-16 units fit.
constexpr int hexDigitValue(char32_t c)
{
    if (c >= U'0' && c <= U'9')
        return int(c - U'0');
    if (c >= U'a' && c <= U'f')
        return int(c - U'a' + 10);
    if (c >= U'A' && c <= U'F')
        return int(c - U'A' + 10);
    return -1;
}

// The byte the percent escape at `at` in `text` stands for ("%2F" gives '/'),
// or -1 when no "%" followed by two hexadecimal digits stands there.
constexpr int percentEscapeAt(QByteArrayView text, qsizetype at)
{
    if (at < 0 || at + 2 >= text.size() || text[at] != '%')
        return -1;
    const int high = hexDigitValue(uchar(text[at + 1]));
    const int low = hexDigitValue(uchar(text[at + 2]));
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// RFC 3986's unreserved characters: letters, digits and "-._~", which mean
// the same escaped or not, so an address in normal form never escapes them.
constexpr bool isUnreserved(uchar c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
        || c == '_' || c == '~';
}

// HTML's blanks (space, tab, line feed, form feed, carriage return), which
// part the words of an attribute such as rel or srcset.
constexpr bool isHtmlBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// The hexadecimal digit, upper case, for the low four bits of `value`: the case
// percent escapes and JSON's \u escapes are written in.
constexpr char hexDigit(unsigned value)
{
    return "0123456789ABCDEF"[value & 0x0F];
}

// Appends the percent escape of one byte: "%2F" for '/'.
inline void appendPercentEscape(QByteArray &out, uchar byte)
{
    out += '%';
    out += hexDigit(byte >> 4);
    out += hexDigit(byte);
}

// Appends a byte that stood escaped as the normal form writes it: an
// unreserved character as itself, anything else escaped again.
inline void appendNormalEscape(QByteArray &out, uchar byte)
{
    if (isUnreserved(byte))
        out += char(byte);
    else
        appendPercentEscape(out, byte);
}

} // namespace AsciiText
