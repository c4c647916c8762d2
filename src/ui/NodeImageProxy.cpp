#include "ui/NodeImageProxy.h"

#include "crawl/NodeTree.h"

NodeImageProxy::NodeImageProxy(QObject *parent) : QIdentityProxyModel(parent) {}

NodeImageProxy::~NodeImageProxy() = default;

void NodeImageProxy::setImageList(const ImageList &images)
{
    m_images.clear();
    for (int i = 1; i <= ImageList::Count; ++i)
        m_images.append(images.image(i));
    announcePictures({});
}

void NodeImageProxy::announcePictures(const QModelIndex &parent)
{
    const int rows = rowCount(parent);
    if (rows == 0)
        return;
    Q_EMIT dataChanged(index(0, 0, parent), index(rows - 1, 0, parent), {Qt::DecorationRole});
    for (int row = 0; row < rows; ++row)
        announcePictures(index(row, 0, parent));
}

QVariant NodeImageProxy::data(const QModelIndex &index, int role) const
{
    // A failed page says why in its tooltip, and so does a page that is done
    // without a scan because it is no HTML. Other nodes carry none of their
    // own, so a tree's own tooltip ("Double-click to open link") shows over them.
    if (role == Qt::ToolTipRole) {
        const auto reason = ReadReason(QIdentityProxyModel::data(index, NodeTree::ReasonRole).toInt());
        if (QIdentityProxyModel::data(index, NodeTree::ImageRole).toInt() != NodeImage::Failed
            && reason != ReadReason::NotHtml)
            return {};
        const QString why =
            ReadReasons::plainWords(reason, QIdentityProxyModel::data(index, NodeTree::StatusRole).toInt());
        return why.isEmpty() ? QVariant() : QVariant(why);
    }
    if (role != Qt::DecorationRole)
        return QIdentityProxyModel::data(index, role);
    if (!index.isValid())
        return {};
    const int image = QIdentityProxyModel::data(index, NodeTree::ImageRole).toInt();
    if (image < 1 || image > m_images.size())
        return {};
    return m_images.at(image - 1);
}
