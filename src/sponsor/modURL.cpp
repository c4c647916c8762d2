#include "sponsor/modURL.h"

#include "common/AppError.h"
#include "common/AsciiText.h"

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <limits>

namespace {

constexpr qint32 PositionLimit = std::numeric_limits<std::int16_t>::max();

QString errorSource()
{
    return QStringLiteral("modURL.UrlDecode");
}

// The counter behaves as the 16-bit integer the decoder has always used: any
// step that takes it past 32,767 is an overflow.
qint32 advance(qint32 position, qint32 by)
{
    const qint32 next = position + by;
    if (next > PositionLimit)
        throw overflowError(errorSource());
    return next;
}

// The value of the leading run of hexadecimal digits; no digit gives 0.
char leadingHexValue(QByteArrayView digits)
{
    int value = 0;
    for (const char c : digits) {
        const int digit = AsciiText::hexDigitValue(static_cast<unsigned char>(c));
        if (digit < 0)
            break;
        value = value * 16 + digit;
    }
    return static_cast<char>(value);
}

} // namespace

namespace modURL {

QByteArray UrlDecode(const QByteArray &text)
{
    QByteArray decoded;
    decoded.reserve(text.size());
    const qsizetype length = text.size();
    qint32 position = 1;
    while (position <= length) {
        const char c = text.at(position - 1);
        if (c == '+') {
            decoded.append(' ');
        } else if (c == '%') {
            // The two characters after the "%" (fewer at the end of the input),
            // addressed as position + 1 before the counter skips them.
            const qint32 digitsAt = advance(position, 1);
            const qsizetype digitsCount = qMin<qsizetype>(2, length - (digitsAt - 1));
            decoded.append(leadingHexValue(QByteArrayView(text).sliced(digitsAt - 1, digitsCount)));
            position = advance(position, 2);
        } else {
            decoded.append(c);
        }
        position = advance(position, 1);
    }
    return decoded;
}

} // namespace modURL
