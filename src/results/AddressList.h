#pragma once

#include "results/ResultWriter.h"

// The found files' addresses as the window shows them, one per line in UTF-8,
// and nothing else: the window's list to copy or save as text.
class AddressList final : public ResultWriter
{
public:
    QByteArray file(const FileRecord &record) const override;
};
