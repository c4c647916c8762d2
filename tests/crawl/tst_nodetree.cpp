#include "crawl/NodeTree.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

class tst_NodeTree : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void indexesFollowInsertionAcrossParents();
    void refusesDuplicateKeyAndMissingRelative();
    void keysCompareExactly();
    void emptyKeyIsAKeyLikeAnyOther();
    void modelMirrorsTheNodes();
    void imageChangeIsReportedToViews();
    void clearEmptiesEverything();
    void stopsAtTheSixteenBitLimit();
    void displayTextIsDecoded_data();
    void displayTextIsDecoded();
};

void tst_NodeTree::indexesFollowInsertionAcrossParents()
{
    NodeTree tree;
    QCOMPARE(tree.AddTopLevel("a", "a", 1), 1);
    QCOMPARE(tree.AddChild("a", "a/1", "/1", 2), 2);
    QCOMPARE(tree.AddTopLevel("b", "b", 1), 3);
    QCOMPARE(tree.AddChild("a", "a/2", "/2", 2), 4);
    QCOMPARE(tree.Count(), 4);
    QCOMPARE(tree.ChildCount(1), 2);
    QCOMPARE(tree.ChildCount(3), 0);
    QCOMPARE(tree.ParentIndex(4), 1);
    QCOMPARE(tree.Key(4), QByteArray("a/2"));
    QCOMPARE(tree.Text(4), QByteArray("/2"));
    QCOMPARE(tree.IndexOf("b"), 3);
    QCOMPARE(tree.IndexOf("missing"), 0);
}

void tst_NodeTree::refusesDuplicateKeyAndMissingRelative()
{
    NodeTree tree;
    QCOMPARE(tree.AddTopLevel("h", "h", 1), 1);
    QCOMPARE(tree.AddChild("h", "h/", "/", 2), 2);
    QCOMPARE(tree.AddTopLevel("h", "other text", 5), 0);
    QCOMPARE(tree.AddChild("h", "h/", "/", 4), 0);
    QCOMPARE(tree.AddChild("nowhere", "x", "x", 2), 0);
    QCOMPARE(tree.Count(), 2);
    QCOMPARE(tree.Image(2), 2);
    QCOMPARE(tree.Text(1), QByteArray("h"));
}

void tst_NodeTree::keysCompareExactly()
{
    NodeTree tree;
    QCOMPARE(tree.AddTopLevel("Host", "Host", 1), 1);
    QCOMPARE(tree.AddTopLevel("host", "host", 1), 2);
}

void tst_NodeTree::emptyKeyIsAKeyLikeAnyOther()
{
    NodeTree tree;
    QCOMPARE(tree.AddTopLevel("", "", 1), 1);
    QCOMPARE(tree.AddChild("", "/", "/", 2), 2);
    QCOMPARE(tree.ParentIndex(2), 1);
    QCOMPARE(tree.AddTopLevel("", "", 1), 0);
}

void tst_NodeTree::modelMirrorsTheNodes()
{
    NodeTree tree;
    QAbstractItemModelTester tester(&tree, QAbstractItemModelTester::FailureReportingMode::QtTest);
    (void)tree.AddTopLevel("a", "a", 1);
    (void)tree.AddChild("a", "a/x", "/x", 2);
    (void)tree.AddTopLevel("b", "b", 1);
    (void)tree.AddChild("b", "b/y", "/y", 2);
    (void)tree.AddChild("a", "a/z", "/z", 2);

    QCOMPARE(tree.rowCount(), 2);
    const QModelIndex a = tree.index(0, 0);
    QCOMPARE(tree.rowCount(a), 2);
    const QModelIndex z = tree.index(1, 0, a);
    QCOMPARE(z.data(NodeTree::KeyRole).toByteArray(), QByteArray("a/z"));
    QCOMPARE(z.data(NodeTree::IndexRole).toInt(), 5);
    QCOMPARE(z.data(NodeTree::ImageRole).toInt(), 2);
    QCOMPARE(z.parent(), a);
    QCOMPARE(tree.modelIndex(5), z);
    QCOMPARE(tree.nodeIndex(tree.index(1, 0)), 3);
}

void tst_NodeTree::imageChangeIsReportedToViews()
{
    NodeTree tree;
    QAbstractItemModelTester tester(&tree, QAbstractItemModelTester::FailureReportingMode::QtTest);
    (void)tree.AddTopLevel("h", "h", 1);
    (void)tree.AddChild("h", "h/", "/", 2);
    QSignalSpy changed(&tree, &QAbstractItemModel::dataChanged);
    tree.SetImage(2, 3);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(tree.CountWithImage(2), 0);
    QCOMPARE(tree.CountWithImage(3), 1);
    QCOMPARE(tree.CountWithImage(1), 1);
    QCOMPARE(changed.at(0).at(0).value<QModelIndex>(), tree.modelIndex(2));
    QCOMPARE(tree.Image(2), 3);
}

void tst_NodeTree::clearEmptiesEverything()
{
    NodeTree tree;
    QAbstractItemModelTester tester(&tree, QAbstractItemModelTester::FailureReportingMode::QtTest);
    (void)tree.AddTopLevel("h", "h", 1);
    (void)tree.AddChild("h", "h/", "/", 2);
    tree.Clear();
    QCOMPARE(tree.Count(), 0);
    QCOMPARE(tree.rowCount(), 0);
    QCOMPARE(tree.IndexOf("h"), 0);
    QCOMPARE(tree.AddTopLevel("h", "h", 1), 1);
}

void tst_NodeTree::stopsAtTheSixteenBitLimit()
{
    NodeTree tree;
    for (int i = 1; i <= NodeTree::MaxNodes; ++i)
        QCOMPARE(tree.AddTopLevel(QByteArray::number(i), "n", 1), i);
    QCOMPARE(tree.AddTopLevel("one more", "n", 1), 0);
    QCOMPARE(tree.Count(), 32767);
}

void tst_NodeTree::displayTextIsDecoded_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("ascii") << QByteArray("/a/b.htm") << QStringLiteral("/a/b.htm");
    QTest::newRow("valid utf-8") << QByteArray("/caf\xc3\xa9") << QStringLiteral("/caf\u00e9");
    QTest::newRow("latin byte") << QByteArray("/caf\xe9") << QStringLiteral("/caf\u00e9");
    QTest::newRow("windows-1252 quote") << QByteArray("/\x93x\x94") << QStringLiteral("/\u201cx\u201d");
}

void tst_NodeTree::displayTextIsDecoded()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    NodeTree tree;
    (void)tree.AddTopLevel("k", bytes, 1);
    QCOMPARE(tree.index(0, 0).data().toString(), shown);
}

QTEST_APPLESS_MAIN(tst_NodeTree)
#include "tst_nodetree.moc"
