#pragma once

#include "results/ResultWriter.h"

// One JSON object per record, each on its line, addresses decoded as the
// window shows them:
//
//     {"type":"file","url":"...","page":"...","how":"embed"}
//     {"type":"page","index":7,"state":"failed","url":"...","status":404,"reason":"404"}
//     {"type":"status","text":"..."}
//     {"type":"page","url":"..."}   (a classified link; "file" for a file)
//
// A file has "how" ("link" or "embed") when standard link rules found it. A
// page's "url" is the address it was read at; it has "status" once an answer
// came, and "reason" when its read failed or, done, was no HTML (see
// ReadReasons::word).
class JsonLines final : public ResultWriter
{
public:
    QByteArray file(const FileRecord &record) const override;
    QByteArray page(const PageRecord &record) const override;
    QByteArray status(const QString &text) const override;
    QByteArray link(const LinkRecord &record) const override;
};
