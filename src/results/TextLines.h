#pragma once

#include "results/ResultWriter.h"

// The command line's plain lines, which scripts read: a found file's address,
// a page node as INDEX<TAB>STATE<TAB>KEY, a classified link as KIND<TAB>URL.
// Addresses are written as the bytes the crawl has, each control byte as %XX.
// The status line is not part of them (it goes to standard error).
class TextLines final : public ResultWriter
{
public:
    QByteArray file(const FileRecord &record) const override;
    QByteArray page(const PageRecord &record) const override;
    QByteArray link(const LinkRecord &record) const override;
};

// `text` with every control byte (0x00 to 0x1F and 0x7F) written as %XX in
// upper-case hex: an address from a hostile page stays on its one line.
QByteArray escapeControlBytes(const QByteArray &text);

// INDEX<TAB>STATE<TAB>KEY, without a line feed: the line of --pages and --events.
QByteArray nodeLine(int index, int image, const QByteArray &key);
