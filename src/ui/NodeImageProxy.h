#pragma once

#include "ui/ImageList.h"

#include <QIdentityProxyModel>

// Shows a node tree with pictures: the decoration of each node is the picture
// of its image index. A failed page's tooltip says why it failed; other nodes
// have none. Everything else passes through.
class NodeImageProxy final : public QIdentityProxyModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NodeImageProxy)

public:
    explicit NodeImageProxy(QObject *parent = nullptr);
    ~NodeImageProxy() override;

    // Attaches the pictures; nodes show none until a list is attached.
    void setImageList(const ImageList &images);

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    // Tells the views that every node below `parent` has a new picture.
    void announcePictures(const QModelIndex &parent);

    QList<QIcon> m_images;
};
