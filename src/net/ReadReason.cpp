#include "net/ReadReason.h"

#include <QLocale>

#include <array>
#include <utility>

namespace {

// One row per reason, in the enumeration's order: its word and its plain
// words, in which %1 stands for the limit the read passed.
struct ReasonRow
{
    ReadReason reason;
    QLatin1StringView word;
    QLatin1StringView plain;
};

using namespace Qt::StringLiterals;

constexpr std::array Rows{
    ReasonRow{ReadReason::None, ""_L1, ""_L1},
    ReasonRow{ReadReason::HttpStatus, ""_L1, ""_L1},
    ReasonRow{ReadReason::Refused, "refused"_L1, "Connection refused or broken off"_L1},
    ReasonRow{ReadReason::Dns, "dns"_L1, "Host name not found"_L1},
    ReasonRow{ReadReason::Timeout, "timeout"_L1, "Timed out: no data for %1"_L1},
    ReasonRow{ReadReason::Deadline, "deadline"_L1, "Took too long: not done within %1"_L1},
    ReasonRow{ReadReason::TooLarge, "too-large"_L1, "Too large: over %1"_L1},
    ReasonRow{ReadReason::HeadTooLarge, "head-too-large"_L1, "Answer's head too large: over %1"_L1},
    ReasonRow{ReadReason::Tls, "tls"_L1, "Secure connection failed"_L1},
    ReasonRow{ReadReason::Scheme, "scheme"_L1, "Not an http or https address"_L1},
    ReasonRow{ReadReason::Redirects, "redirects"_L1, "Too many redirects: over %1"_L1},
    ReasonRow{ReadReason::Robots, "robots"_L1, "Refused by the site's robots.txt"_L1},
    ReasonRow{ReadReason::Parse, "parse"_L1, "Read, but its links could not be scanned"_L1},
    ReasonRow{ReadReason::Cancelled, "cancelled"_L1, "Cancelled"_L1},
    ReasonRow{ReadReason::NotHtml, "not-html"_L1, "Not an HTML page"_L1},
};

constexpr bool rowsInOrder()
{
    for (size_t i = 0; i < Rows.size(); ++i) {
        if (size_t(Rows[i].reason) != i)
            return false;
    }
    return true;
}
static_assert(rowsInOrder(), "one row per reason, in the enumeration's order");

const ReasonRow &rowOf(ReadReason reason)
{
    const auto at = size_t(reason);
    return Rows[at < Rows.size() ? at : 0];
}

QString seconds(int ms)
{
    return QString::number(ms / 1000) + u" s"_s;
}

QString bytes(qint64 count)
{
    return QLocale::c().formattedDataSize(count, 0, QLocale::DataSizeIecFormat);
}

// The limit a reason's plain words name.
QString limitOf(ReadReason reason, const ReadLimits &limits)
{
    switch (reason) {
    case ReadReason::Timeout: return seconds(limits.idleTimeoutMs);
    case ReadReason::Deadline: return seconds(limits.deadlineMs);
    case ReadReason::TooLarge: return bytes(limits.maxBodyBytes);
    case ReadReason::HeadTooLarge: return bytes(limits.maxHeaderBytes);
    case ReadReason::Redirects: return QString::number(limits.maxRedirects);
    default: return {};
    }
}

} // namespace

namespace ReadReasons {

QString word(ReadReason reason, int status)
{
    if (reason == ReadReason::HttpStatus)
        return QString::number(status);
    return rowOf(reason).word;
}

QString plainWords(ReadReason reason, int status, const ReadLimits &limits)
{
    if (reason == ReadReason::HttpStatus) {
        const QLatin1StringView phrase = statusPhrase(status);
        return phrase.isEmpty() ? u"HTTP status "_s + QString::number(status)
                                : QString::number(status) + u' ' + phrase;
    }
    const QString plain = rowOf(reason).plain;
    return plain.contains(u"%1"_s) ? plain.arg(limitOf(reason, limits)) : plain;
}

QLatin1StringView statusPhrase(int status)
{
    static constexpr std::pair<int, QLatin1StringView> Phrases[] = {
        {300, "Multiple Choices"_L1},
        {301, "Moved Permanently"_L1},
        {302, "Found"_L1},
        {303, "See Other"_L1},
        {304, "Not Modified"_L1},
        {305, "Use Proxy"_L1},
        {307, "Temporary Redirect"_L1},
        {308, "Permanent Redirect"_L1},
        {400, "Bad Request"_L1},
        {401, "Unauthorized"_L1},
        {402, "Payment Required"_L1},
        {403, "Forbidden"_L1},
        {404, "Not Found"_L1},
        {405, "Method Not Allowed"_L1},
        {406, "Not Acceptable"_L1},
        {407, "Proxy Authentication Required"_L1},
        {408, "Request Timeout"_L1},
        {409, "Conflict"_L1},
        {410, "Gone"_L1},
        {411, "Length Required"_L1},
        {412, "Precondition Failed"_L1},
        {413, "Content Too Large"_L1},
        {414, "URI Too Long"_L1},
        {415, "Unsupported Media Type"_L1},
        {416, "Range Not Satisfiable"_L1},
        {417, "Expectation Failed"_L1},
        {421, "Misdirected Request"_L1},
        {422, "Unprocessable Content"_L1},
        {425, "Too Early"_L1},
        {426, "Upgrade Required"_L1},
        {428, "Precondition Required"_L1},
        {429, "Too Many Requests"_L1},
        {431, "Request Header Fields Too Large"_L1},
        {451, "Unavailable For Legal Reasons"_L1},
        {500, "Internal Server Error"_L1},
        {501, "Not Implemented"_L1},
        {502, "Bad Gateway"_L1},
        {503, "Service Unavailable"_L1},
        {504, "Gateway Timeout"_L1},
        {505, "HTTP Version Not Supported"_L1},
        {507, "Insufficient Storage"_L1},
        {508, "Loop Detected"_L1},
        {511, "Network Authentication Required"_L1},
    };
    for (const auto &[code, phrase] : Phrases) {
        if (code == status)
            return phrase;
    }
    return {};
}

} // namespace ReadReasons
