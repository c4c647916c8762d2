#include "app/CliOutput.h"

#include "app/JsonLine.h"
#include "common/AsciiText.h"
#include "common/WebText.h"
#include "crawl/NodeTree.h"

#include <algorithm>

namespace {

bool isControlByte(char ch)
{
    const auto byte = static_cast<unsigned char>(ch);
    return byte < 0x20 || byte == 0x7F;
}

QString type(const char *name)
{
    return QString::fromLatin1(name);
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

QByteArray pageStateName(int image)
{
    switch (image) {
    case NodeImage::Domain: return QByteArrayLiteral("domain");
    case NodeImage::Queued: return QByteArrayLiteral("queued");
    case NodeImage::Fetching: return QByteArrayLiteral("fetching");
    case NodeImage::Done: return QByteArrayLiteral("done");
    case NodeImage::Failed: return QByteArrayLiteral("failed");
    default: return QByteArray::number(image);
    }
}

QByteArray nodeLine(int index, int image, const QByteArray &key)
{
    return QByteArray::number(index) + '\t' + pageStateName(image) + '\t' + escapeControlBytes(key);
}

CliOutput::CliOutput(CliOptions::Format format) : m_format(format)
{
}

CliOutput::~CliOutput()
{
}

bool CliOutput::open(const QString &path)
{
    return path.isEmpty() ? m_file.openStandardOutput() : m_file.open(path);
}

void CliOutput::foundFile(const QByteArray &url, const QByteArray &page)
{
    if (m_format == CliOptions::Format::Text) {
        write(escapeControlBytes(url) + '\n');
        return;
    }
    write(JsonLine()
              .add(QLatin1StringView("type"), type("file"))
              .add(QLatin1StringView("url"), decodeWebText(url))
              .add(QLatin1StringView("page"), decodeWebText(page))
              .toLine());
}

void CliOutput::pageNode(int index, int image, const QByteArray &key)
{
    if (m_format == CliOptions::Format::Text) {
        write(nodeLine(index, image, key) + '\n');
        return;
    }
    // A host node's key is the host alone; its address is the host's root.
    const QByteArray url = "http://" + key + (image == NodeImage::Domain ? "/" : "");
    write(JsonLine()
              .add(QLatin1StringView("type"), type("page"))
              .add(QLatin1StringView("index"), index)
              .add(QLatin1StringView("state"), QString::fromLatin1(pageStateName(image)))
              .add(QLatin1StringView("url"), decodeWebText(url))
              .toLine());
}

void CliOutput::finalStatus(const QString &text)
{
    if (m_format == CliOptions::Format::JsonLines)
        write(JsonLine().add(QLatin1StringView("type"), type("status")).add(QLatin1StringView("text"), text).toLine());
}

void CliOutput::classifiedLink(const QByteArray &kind, const QByteArray &url)
{
    if (m_format == CliOptions::Format::Text) {
        write(kind + '\t' + escapeControlBytes(url) + '\n');
        return;
    }
    write(JsonLine()
              .add(QLatin1StringView("type"), QString::fromLatin1(kind))
              .add(QLatin1StringView("url"), decodeWebText(url))
              .toLine());
}
