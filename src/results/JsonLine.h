#pragma once

#include <QByteArray>
#include <QLatin1StringView>
#include <QString>

// One JSON object on one line, its members in the order they are added:
//
//     JsonLine().add("type", u"file"_s).add("url", url).toLine()
//
// gives {"type":"file","url":"..."} and a line feed. Strings are escaped so that
// nothing in them can break the line or reach a terminal as a control: quote and
// backslash, every control character (U+0000 to U+001F, U+007F to U+009F) and the
// Unicode line and paragraph separators are written as \uXXXX.
class JsonLine
{
public:
    JsonLine &add(QLatin1StringView key, const QString &value);
    JsonLine &add(QLatin1StringView key, qint64 value);

    // The object, closed, with its line feed.
    QByteArray toLine() const;

private:
    void addKey(QLatin1StringView key);

    QByteArray m_text;
};

// `text` as a JSON string, quotes included, in UTF-8.
QByteArray jsonString(const QString &text);
