#pragma once

#include "ui/ImageList.h"

#include <QIdentityProxyModel>

// Shows a node tree with pictures: the decoration of each node is the picture
// of its image index. Nodes have no tooltips; everything else passes through.
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
