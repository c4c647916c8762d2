#include "ui/ImageList.h"

#include <QString>

ImageList::ImageList()
{
    static const char *const files[Count] = {
        "node1-domain", "node2-queued", "node3-fetching", "node4-done",
        "node5-failed", "node6-found",  "node7-opened",
    };
    m_images.reserve(Count);
    for (const char *file : files)
        m_images.append(QIcon(QStringLiteral(":/trovewick/images/%1.png").arg(QLatin1String(file))));
}

QIcon ImageList::image(int index) const
{
    if (index < 1 || index > m_images.size())
        return {};
    return m_images.at(index - 1);
}
