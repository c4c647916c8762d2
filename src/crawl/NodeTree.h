#pragma once

#include "net/ReadReason.h"

#include <QAbstractItemModel>
#include <QByteArray>
#include <QHash>

#include <vector>

// Node pictures: a page node's image is its crawl state, a found file's image
// says whether the user has opened it.
namespace NodeImage {
inline constexpr int Domain = 1;
inline constexpr int Queued = 2;
inline constexpr int Fetching = 3;
inline constexpr int Done = 4;
inline constexpr int Failed = 5;
inline constexpr int FoundFile = 6;
inline constexpr int OpenedFile = 7;
} // namespace NodeImage

// An ordered collection of keyed nodes with the semantics the crawl relies on:
// 1-based indexes in insertion order that never change until Clear, unique
// exact-match keys, top-level nodes and children. It is also the item model the
// window shows, so the view reads the crawl's own nodes without a copy.
class NodeTree final : public QAbstractItemModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NodeTree)

public:
    // The node state as model roles; DisplayRole gives the text decoded for
    // display. A page's read ended with StatusRole (its HTTP status, 0 for none)
    // and ReasonRole (a ReadReason, as an int).
    enum Role { ImageRole = Qt::UserRole + 1, KeyRole, IndexRole, StatusRole, ReasonRole };

    // Indexes are signed 16-bit, so the tree never holds more nodes than this.
    static constexpr int MaxNodes = 32767;

    explicit NodeTree(QObject *parent = nullptr);
    ~NodeTree() override;

    int Count() const { return int(m_nodes.size()); }

    // Adds a node after the last top-level node and returns its index, or 0 when
    // the tree refuses it: the key is already present or the tree is full.
    [[nodiscard]] int AddTopLevel(const QByteArray &key, const QByteArray &text, int image);

    // Adds a node as the last child of the node keyed `relativeKey`; returns 0 and
    // changes nothing when that key names no node, the key is taken or the tree is full.
    [[nodiscard]] int AddChild(const QByteArray &relativeKey, const QByteArray &key,
                               const QByteArray &text, int image);

    // The index of the node with this key, or 0 when there is none.
    int IndexOf(const QByteArray &key) const { return m_byKey.value(key, 0); }
    bool Contains(int index) const { return index >= 1 && index <= Count(); }

    // Node fields by 1-based index; the index must name a node.
    int Image(int index) const { return node(index).image; }
    void SetImage(int index, int image);
    // Sets a page's image with what its read ended with, in one change.
    void SetImage(int index, int image, int status, ReadReason reason);
    // The HTTP status and reason a page's read ended with; 0 and None until set.
    int Status(int index) const { return node(index).status; }
    ReadReason Reason(int index) const { return node(index).reason; }
    // The address of a page under standard link rules: the one asked for, then
    // the one its read ended at, after redirects. Empty under classic rules,
    // where "http://" and the key say it.
    const QByteArray &Address(int index) const { return node(index).address; }
    void SetAddress(int index, const QByteArray &address) { m_nodes[size_t(index - 1)].address = address; }
    const QByteArray &Key(int index) const { return node(index).key; }
    const QByteArray &Text(int index) const { return node(index).text; }
    int ChildCount(int index) const { return int(node(index).children.size()); }
    // How many nodes show this image.
    int CountWithImage(int image) const;
    int ParentIndex(int index) const { return node(index).parent; }

    void Clear();

    // The model index of a node, for a view's selection and scrolling.
    QModelIndex modelIndex(int index) const;
    // The node behind a model index, or 0 for an invalid one.
    int nodeIndex(const QModelIndex &index) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    struct Node
    {
        QByteArray key;
        QByteArray text;
        int image = 0;
        int parent = 0;        // 0 for a top-level node
        int row = 0;           // position among its siblings
        std::vector<int> children;
        int status = 0;
        ReadReason reason = ReadReason::None;
        QByteArray address = {};
    };

    const Node &node(int index) const { return m_nodes[size_t(index - 1)]; }
    int insert(int parentIndex, const QByteArray &key, const QByteArray &text, int image);

    std::vector<Node> m_nodes;
    std::vector<int> m_topLevel;
    QHash<int, int> m_imageCounts;
    QHash<QByteArray, int> m_byKey;
};
