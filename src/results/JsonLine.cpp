#include "results/JsonLine.h"

#include "common/AsciiText.h"

namespace {

bool needsUnicodeEscape(char16_t ch)
{
    return ch < 0x20 || (ch >= 0x7F && ch <= 0x9F) || ch == 0x2028 || ch == 0x2029;
}

} // namespace

QByteArray jsonString(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size() + 2);
    escaped += u'"';
    for (const QChar qch : text) {
        const char16_t ch = qch.unicode();
        if (ch == u'"' || ch == u'\\') {
            escaped += u'\\';
            escaped += qch;
        } else if (needsUnicodeEscape(ch)) {
            escaped += QLatin1StringView("\\u");
            for (const int shift : {12, 8, 4, 0})
                escaped += QLatin1Char(AsciiText::hexDigit(ch >> shift));
        } else {
            escaped += qch;
        }
    }
    escaped += u'"';
    return escaped.toUtf8();
}

JsonLine &JsonLine::add(QLatin1StringView key, const QString &value)
{
    addKey(key);
    m_text += jsonString(value);
    return *this;
}

JsonLine &JsonLine::add(QLatin1StringView key, qint64 value)
{
    addKey(key);
    m_text += QByteArray::number(value);
    return *this;
}

void JsonLine::addKey(QLatin1StringView key)
{
    m_text += m_text.isEmpty() ? '{' : ',';
    m_text += jsonString(key);
    m_text += ':';
}

QByteArray JsonLine::toLine() const
{
    return (m_text.isEmpty() ? QByteArrayLiteral("{") : m_text) + "}\n";
}
