#pragma once

#include <QByteArray>
#include <QString>

// Web text is kept as bytes, one byte one character. For display only it is
// decoded: as UTF-8 when the bytes are valid UTF-8, else as Windows-1252.
QString decodeWebText(const QByteArray &bytes);

// Typed text (the root address) as the 8-bit text the crawl works in.
QByteArray encodeTypedText(const QString &text);
