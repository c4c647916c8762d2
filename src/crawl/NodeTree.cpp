#include "crawl/NodeTree.h"

#include "common/WebText.h"

NodeTree::NodeTree(QObject *parent) : QAbstractItemModel(parent) {}

NodeTree::~NodeTree() = default;

int NodeTree::AddTopLevel(const QByteArray &key, const QByteArray &text, int image)
{
    return insert(0, key, text, image);
}

int NodeTree::AddChild(const QByteArray &relativeKey, const QByteArray &key, const QByteArray &text,
                       int image)
{
    const int parentIndex = IndexOf(relativeKey);
    return parentIndex == 0 ? 0 : insert(parentIndex, key, text, image);
}

int NodeTree::insert(int parentIndex, const QByteArray &key, const QByteArray &text, int image)
{
    if (Count() >= MaxNodes || m_byKey.contains(key))
        return 0;

    std::vector<int> &siblings =
        parentIndex == 0 ? m_topLevel : m_nodes[size_t(parentIndex - 1)].children;
    const int row = int(siblings.size());
    const int newIndex = Count() + 1;

    beginInsertRows(parentIndex == 0 ? QModelIndex() : modelIndex(parentIndex), row, row);
    m_nodes.push_back(Node{key, text, image, parentIndex, row, {}});
    // push_back may have moved the parent's sibling vector; look it up again.
    (parentIndex == 0 ? m_topLevel : m_nodes[size_t(parentIndex - 1)].children).push_back(newIndex);
    m_byKey.insert(key, newIndex);
    ++m_imageCounts[image];
    endInsertRows();
    return newIndex;
}

void NodeTree::SetImage(int index, int image)
{
    const Node &target = node(index);
    SetImage(index, image, target.status, target.reason);
}

void NodeTree::SetImage(int index, int image, int status, ReadReason reason)
{
    Node &target = m_nodes[size_t(index - 1)];
    QList<int> roles;
    if (target.image != image) {
        --m_imageCounts[target.image];
        ++m_imageCounts[image];
        target.image = image;
        roles << ImageRole << Qt::DecorationRole;
    }
    if (target.status != status || target.reason != reason) {
        target.status = status;
        target.reason = reason;
        roles << StatusRole << ReasonRole;
    }
    if (roles.isEmpty())
        return;
    const QModelIndex changed = modelIndex(index);
    Q_EMIT dataChanged(changed, changed, roles);
}

void NodeTree::Clear()
{
    beginResetModel();
    m_nodes.clear();
    m_topLevel.clear();
    m_byKey.clear();
    m_imageCounts.clear();
    endResetModel();
}

int NodeTree::CountWithImage(int image) const
{
    return m_imageCounts.value(image, 0);
}

QModelIndex NodeTree::modelIndex(int index) const
{
    if (!Contains(index))
        return {};
    return createIndex(node(index).row, 0, quintptr(index));
}

int NodeTree::nodeIndex(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return 0;
    return int(index.internalId());
}

QModelIndex NodeTree::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0)
        return {};
    const std::vector<int> *siblings = &m_topLevel;
    if (parent.isValid()) {
        const int parentIndex = nodeIndex(parent);
        if (!Contains(parentIndex))
            return {};
        siblings = &node(parentIndex).children;
    }
    if (size_t(row) >= siblings->size())
        return {};
    return createIndex(row, 0, quintptr((*siblings)[size_t(row)]));
}

QModelIndex NodeTree::parent(const QModelIndex &child) const
{
    const int childIndex = nodeIndex(child);
    if (!Contains(childIndex))
        return {};
    return modelIndex(node(childIndex).parent);
}

int NodeTree::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return int(m_topLevel.size());
    if (parent.column() != 0)
        return 0;
    const int parentIndex = nodeIndex(parent);
    return Contains(parentIndex) ? ChildCount(parentIndex) : 0;
}

int NodeTree::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant NodeTree::data(const QModelIndex &index, int role) const
{
    const int nodeIdx = nodeIndex(index);
    if (!Contains(nodeIdx))
        return {};
    const Node &n = node(nodeIdx);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return decodeWebText(n.text);
    case ImageRole:
        return n.image;
    case KeyRole:
        return n.key;
    case IndexRole:
        return nodeIdx;
    case StatusRole:
        return n.status;
    case ReasonRole:
        return int(n.reason);
    default:
        return {};
    }
}
