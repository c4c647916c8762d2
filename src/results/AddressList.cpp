#include "results/AddressList.h"

#include "common/WebText.h"

QByteArray AddressList::file(const FileRecord &record) const
{
    return decodeWebText(record.url).toUtf8() + '\n';
}
