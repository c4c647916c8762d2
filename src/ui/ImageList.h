#pragma once

#include <QIcon>
#include <QList>

// The seven 16 x 16 node pictures both trees share, by 1-based image index:
// 1 domain, 2 queued, 3 fetching, 4 done, 5 failed, 6 found file, 7 opened file.
class ImageList final
{
public:
    ImageList();

    static constexpr int Count = 7;

    // The picture for an image index; a null icon for an index outside 1..7.
    QIcon image(int index) const;

private:
    QList<QIcon> m_images;
};
