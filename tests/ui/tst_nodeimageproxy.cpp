#include "crawl/NodeTree.h"
#include "ui/ImageList.h"
#include "ui/NodeImageProxy.h"

#include <QAbstractItemModelTester>
#include <QIcon>
#include <QSignalSpy>
#include <QTest>

class tst_NodeImageProxy : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void picturesFollowImageIndex_data();
    void picturesFollowImageIndex();
    void sevenDistinctPictures();
    void imageChangeRepaintsDecoration();
    void attachAnnouncesEveryNode();
    void textAndRolesPassThrough();
    void failedPageSaysWhy_data();
    void failedPageSaysWhy();
    void modelTesterOverCrawlLikeUse();
};

void tst_NodeImageProxy::picturesFollowImageIndex_data()
{
    QTest::addColumn<int>("image");
    QTest::addColumn<bool>("hasPicture");

    QTest::newRow("domain") << NodeImage::Domain << true;
    QTest::newRow("queued") << NodeImage::Queued << true;
    QTest::newRow("fetching") << NodeImage::Fetching << true;
    QTest::newRow("done") << NodeImage::Done << true;
    QTest::newRow("failed") << NodeImage::Failed << true;
    QTest::newRow("found file") << NodeImage::FoundFile << true;
    QTest::newRow("opened file") << NodeImage::OpenedFile << true;
    QTest::newRow("no image") << 0 << false;
    QTest::newRow("past the list") << 8 << false;
}

void tst_NodeImageProxy::picturesFollowImageIndex()
{
    QFETCH(int, image);
    NodeTree tree;
    NodeImageProxy proxy;
    proxy.setSourceModel(&tree);
    proxy.setImageList(ImageList());
    QVERIFY(tree.AddTopLevel("k", "text", image) == 1);

    const QVariant decoration = proxy.index(0, 0).data(Qt::DecorationRole);
    QFETCH(bool, hasPicture);
    QCOMPARE(decoration.isValid(), hasPicture);
    if (hasPicture) {
        const QImage shown = decoration.value<QIcon>().pixmap(16, 16).toImage();
        QCOMPARE(shown.size(), QSize(16, 16));
        QCOMPARE(shown, ImageList().image(image).pixmap(16, 16).toImage());
    }
}

void tst_NodeImageProxy::sevenDistinctPictures()
{
    const ImageList images;
    QSet<QByteArray> seen;
    for (int i = 1; i <= ImageList::Count; ++i) {
        const QImage picture = images.image(i).pixmap(16, 16).toImage();
        QCOMPARE(picture.size(), QSize(16, 16));
        const QByteArray bits(reinterpret_cast<const char *>(picture.constBits()), picture.sizeInBytes());
        QVERIFY2(!seen.contains(bits), qPrintable(QStringLiteral("picture %1 repeats another").arg(i)));
        seen.insert(bits);
    }
    QVERIFY(images.image(0).isNull());
    QVERIFY(images.image(8).isNull());
}

void tst_NodeImageProxy::imageChangeRepaintsDecoration()
{
    NodeTree tree;
    NodeImageProxy proxy;
    proxy.setSourceModel(&tree);
    proxy.setImageList(ImageList());
    const int node = tree.AddTopLevel("h/a.mp3", "h/a.mp3", NodeImage::FoundFile);
    const QImage before = proxy.index(0, 0).data(Qt::DecorationRole).value<QIcon>().pixmap(16, 16).toImage();

    QSignalSpy changed(&proxy, &QAbstractItemModel::dataChanged);
    tree.SetImage(node, NodeImage::OpenedFile);
    QCOMPARE(changed.count(), 1);
    const auto roles = changed.at(0).at(2).value<QList<int>>();
    QVERIFY(roles.isEmpty() || roles.contains(Qt::DecorationRole));

    const QImage after = proxy.index(0, 0).data(Qt::DecorationRole).value<QIcon>().pixmap(16, 16).toImage();
    QVERIFY(before != after);
    QCOMPARE(after, ImageList().image(NodeImage::OpenedFile).pixmap(16, 16).toImage());
}

void tst_NodeImageProxy::attachAnnouncesEveryNode()
{
    NodeTree tree;
    NodeImageProxy proxy;
    proxy.setSourceModel(&tree);
    QVERIFY(tree.AddTopLevel("h", "h", NodeImage::Domain) == 1);
    QVERIFY(tree.AddChild("h", "h/", "/", NodeImage::Queued) == 2);

    QSignalSpy changed(&proxy, &QAbstractItemModel::dataChanged);
    proxy.setImageList(ImageList());
    // Views learn of the pictures for the host and for the page below it.
    QSet<int> announced;
    for (const auto &args : changed) {
        const auto from = args.at(0).value<QModelIndex>();
        const auto to = args.at(1).value<QModelIndex>();
        for (int row = from.row(); row <= to.row(); ++row)
            announced.insert(proxy.index(row, 0, from.parent()).data(NodeTree::IndexRole).toInt());
    }
    QCOMPARE(announced, (QSet<int>{1, 2}));
}

void tst_NodeImageProxy::textAndRolesPassThrough()
{
    NodeTree tree;
    NodeImageProxy proxy;
    proxy.setSourceModel(&tree);
    QVERIFY(tree.AddTopLevel("h", "h", NodeImage::Domain) == 1);
    QVERIFY(tree.AddChild("h", "h/caf\xc3\xa9.htm", "/caf\xc3\xa9.htm", NodeImage::Queued) == 2);

    const QModelIndex page = proxy.index(0, 0, proxy.index(0, 0));
    QCOMPARE(page.data(Qt::DisplayRole).toString(), QStringLiteral("/caf\u00e9.htm"));
    QCOMPARE(page.data(NodeTree::KeyRole).toByteArray(), QByteArray("h/caf\xc3\xa9.htm"));
    QCOMPARE(page.data(NodeTree::IndexRole).toInt(), 2);
    QCOMPARE(page.data(NodeTree::ImageRole).toInt(), NodeImage::Queued);
    QCOMPARE(tree.nodeIndex(proxy.mapToSource(page)), 2);
    // The tree's own tooltip is not covered by one per node.
    QVERIFY(tree.index(0, 0).data(Qt::ToolTipRole).isValid());
    QVERIFY(!page.data(Qt::ToolTipRole).isValid());
}

void tst_NodeImageProxy::failedPageSaysWhy_data()
{
    QTest::addColumn<int>("image");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("reason"); // a ReadReason
    QTest::addColumn<QString>("tooltip"); // empty: none of its own

    QTest::newRow("not found") << NodeImage::Failed << 404 << int(ReadReason::HttpStatus) << QStringLiteral("404 Not Found");
    QTest::newRow("idle") << NodeImage::Failed << 200 << int(ReadReason::Timeout)
                          << QStringLiteral("Timed out: no data for 30 s");
    QTest::newRow("done") << NodeImage::Done << 200 << int(ReadReason::None) << QString();
    QTest::newRow("done, not HTML") << NodeImage::Done << 200 << int(ReadReason::NotHtml)
                                    << QStringLiteral("Not an HTML page");
}

void tst_NodeImageProxy::failedPageSaysWhy()
{
    QFETCH(int, image);
    QFETCH(int, status);
    QFETCH(int, reason);
    NodeTree tree;
    NodeImageProxy proxy;
    proxy.setSourceModel(&tree);
    QVERIFY(tree.AddTopLevel("h/a.htm", "/a.htm", NodeImage::Fetching) == 1);
    tree.SetImage(1, image, status, ReadReason(reason));
    QTEST(proxy.index(0, 0).data(Qt::ToolTipRole).toString(), "tooltip");
}

void tst_NodeImageProxy::modelTesterOverCrawlLikeUse()
{
    NodeTree tree;
    NodeImageProxy proxy;
    proxy.setSourceModel(&tree);
    QAbstractItemModelTester tester(&proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
    proxy.setImageList(ImageList());

    for (int host = 0; host < 4; ++host) {
        const QByteArray h = "h" + QByteArray::number(host);
        QVERIFY(tree.AddTopLevel(h, h, NodeImage::Domain) > 0);
        for (int page = 0; page < 5; ++page) {
            const QByteArray path = "/p" + QByteArray::number(page) + ".htm";
            const int index = tree.AddChild(h, h + path, path, NodeImage::Queued);
            QVERIFY(index > 0);
            tree.SetImage(index, page % 2 ? NodeImage::Done : NodeImage::Failed);
        }
    }
    QCOMPARE(proxy.rowCount(), 4);
    QCOMPARE(proxy.rowCount(proxy.index(2, 0)), 5);
    tree.Clear();
    QCOMPARE(proxy.rowCount(), 0);
    QVERIFY(tree.AddTopLevel("again", "again", NodeImage::Domain) == 1);
    QCOMPARE(proxy.rowCount(), 1);
}

QTEST_MAIN(tst_NodeImageProxy)
#include "tst_nodeimageproxy.moc"
