#include "results/TextLines.h"

#include "common/AsciiText.h"

#include <algorithm>

namespace {

bool isControlByte(char ch)
{
    const auto byte = static_cast<unsigned char>(ch);
    return byte < 0x20 || byte == 0x7F;
}

} // namespace

QByteArray escapeControlBytes(const QByteArray &text)
{
    if (std::none_of(text.cbegin(), text.cend(), isControlByte))
        return text;
    QByteArray escaped;
    escaped.reserve(text.size() + 8);
    for (const char ch : text) {
        if (isControlByte(ch)) {
            AsciiText::appendPercentEscape(escaped, static_cast<unsigned char>(ch));
        } else {
            escaped += ch;
        }
    }
    return escaped;
}

QByteArray nodeLine(int index, int image, const QByteArray &key)
{
    return QByteArray::number(index) + '\t' + pageStateName(image) + '\t' + escapeControlBytes(key);
}

QByteArray TextLines::file(const FileRecord &record) const
{
    return escapeControlBytes(record.url) + '\n';
}

QByteArray TextLines::page(const PageRecord &record) const
{
    return nodeLine(record.index, record.image, record.key) + '\n';
}

QByteArray TextLines::link(const LinkRecord &record) const
{
    return record.kind + '\t' + escapeControlBytes(record.url) + '\n';
}
