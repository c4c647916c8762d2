#include "crawl/LinkHelpers.h"

#include "common/AppError.h"
#include "common/AsciiText.h"

#include <array>
#include <string_view>

namespace {

// Positions inside the helpers are signed 16-bit.
constexpr qsizetype MaxPosition = 32767;

constexpr std::string_view HttpPrefix = "http://";

AppError overflow()
{
    return overflowError(QStringLiteral("modPublic"));
}

std::string_view toStd(QByteArrayView text)
{
    return {text.data(), size_t(text.size())};
}

constexpr QByteArrayView toView(std::string_view text)
{
    return {text.data(), qsizetype(text.size())};
}

// What the cleaning walk does with each byte, and the byte it writes when kept.
enum CleanAction : unsigned char { Keep, Drop, Stop };

struct CleanStep
{
    unsigned char action = Keep;
    unsigned char out = 0;
};

using CleanTable = std::array<CleanStep, 256>;

constexpr CleanTable cleanTable(bool lowerCase)
{
    CleanTable table{};
    for (int ch = 0; ch < 256; ++ch)
        table[size_t(ch)].out = static_cast<unsigned char>(lowerCase ? AsciiText::toLower(char(ch)) : char(ch));
    table[','].action = Drop;
    table['\''].action = Drop;
    table['\n'].action = Drop;
    table['"'].action = Drop;
    table[' '].action = Stop;
    return table;
}

constexpr CleanTable AsWritten = cleanTable(false);
constexpr CleanTable LowerCased = cleanTable(true);

QByteArrayView cleanWith(const CleanTable &table, QByteArrayView rawSlice, std::string &buffer)
{
    const qsizetype length = rawSlice.size();
    if (length > MaxPosition)
        throw overflow();

    buffer.resize(size_t(length));
    char *out = buffer.data();
    const unsigned char *in = reinterpret_cast<const unsigned char *>(rawSlice.data());
    qsizetype written = 0;
    qsizetype i = 0;
    for (; i < length; ++i) {
        const CleanStep step = table[in[i]];
        if (step.action == Keep)
            out[written++] = char(step.out);
        else if (step.action == Stop)
            break;
    }
    // The walk's 16-bit counter steps past 32,767 when it runs off the end of the
    // longest slice it accepts; meeting a blank ends the walk before that.
    if (i == length && length == MaxPosition)
        throw overflow();
    buffer.resize(size_t(written));

    const QByteArrayView cleaned(buffer.data(), written);
    return cleaned.sliced(modPublic::trimToLastHttpOffset(cleaned));
}

} // namespace

namespace modPublic {

QByteArrayView cleanLinkView(QByteArrayView rawSlice, std::string &buffer)
{
    return cleanWith(AsWritten, rawSlice, buffer);
}

QByteArrayView cleanLowerLinkView(QByteArrayView rawSlice, std::string &buffer)
{
    return cleanWith(LowerCased, rawSlice, buffer);
}

qsizetype trimToLastHttpOffset(QByteArrayView link)
{
    const std::string_view text = toStd(link);
    // Each round searches the remaining link from its 7th character, exactly as
    // if the dropped characters were gone; positions are counted from there.
    size_t begin = 0;
    for (;;) {
        const size_t found = text.find(HttpPrefix, begin + 6);
        if (found == std::string_view::npos)
            return qsizetype(begin);
        if (qsizetype(found - begin) + 1 > MaxPosition)
            throw overflow();
        begin = found;
    }
}

QByteArrayView extensionView(QByteArrayView link)
{
    if (link.size() > MaxPosition)
        throw overflow();
    for (qsizetype i = link.size() - 1; i >= 0; --i) {
        const char ch = link[i];
        if (ch == '/')
            return {};
        if (ch == '.')
            return link.sliced(i + 1);
    }
    return {};
}

QByteArray CleanLink(const QByteArray &rawSlice)
{
    std::string buffer;
    const QByteArrayView link = cleanLinkView(rawSlice, buffer);
    return QByteArray(link.data(), link.size());
}

QByteArray TrimToLastHttp(const QByteArray &link)
{
    const qsizetype offset = trimToLastHttpOffset(link);
    return offset == 0 ? link : link.sliced(offset);
}

QByteArray GetExtension(const QByteArray &link)
{
    return extensionView(link).toByteArray();
}

QByteArray GetBaseUrl(const QByteArray &pageUrl)
{
    QByteArrayView rest(pageUrl);
    if (AsciiText::startsWithNoCase(rest, toView(HttpPrefix)))
        rest = rest.sliced(qsizetype(HttpPrefix.size()));

    const qsizetype lastSlash = rest.lastIndexOf('/');
    // 1-based, the slash may stand at most at 32,766.
    if (lastSlash + 1 >= MaxPosition)
        throw overflow();
    if (lastSlash >= 0)
        rest = rest.first(lastSlash + 1);

    QByteArray base;
    base.reserve(qsizetype(HttpPrefix.size()) + rest.size() + 1);
    base.append(HttpPrefix.data(), qsizetype(HttpPrefix.size()));
    base.append(rest);
    if (!base.endsWith('/'))
        base.append('/');
    return base;
}

} // namespace modPublic

