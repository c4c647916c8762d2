#include "ui/MainLayout.h"

#include <QTest>

using MainLayout::Box;
using MainLayout::Panes;

Q_DECLARE_METATYPE(MainLayout::Box)
Q_DECLARE_METATYPE(MainLayout::Panes)

namespace QTest {
template<>
char *toString(const MainLayout::Box &box)
{
    return qstrdup(QStringLiteral("(%1, %2, %3, %4)")
                       .arg(box.left)
                       .arg(box.top)
                       .arg(box.width)
                       .arg(box.height)
                       .toLatin1()
                       .constData());
}
} // namespace QTest

class tst_MainLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void minimumSize_data();
    void minimumSize();
    void bothPanes_data();
    void bothPanes();
    void singlePane_data();
    void singlePane();
    void pixels_data();
    void pixels();
    void treesMeetInPixels();
};

void tst_MainLayout::minimumSize_data()
{
    QTest::addColumn<int>("outerWidth");
    QTest::addColumn<int>("outerHeight");
    QTest::addColumn<int>("expectedWidth");
    QTest::addColumn<int>("expectedHeight");
    QTest::addColumn<bool>("resized");

    QTest::newRow("width 8000 set back to 8235") << 8000 << 6000 << 8235 << 6000 << true;
    QTest::newRow("height 4000 set back to 5000") << 9000 << 4000 << 9000 << 5000 << true;
    QTest::newRow("both below the minimum") << 100 << 100 << 8235 << 5000 << true;
    QTest::newRow("exactly the minimum") << 8235 << 5000 << 8235 << 5000 << false;
    QTest::newRow("one twip narrower") << 8234 << 5000 << 8235 << 5000 << true;
    QTest::newRow("large") << 30000 << 20000 << 30000 << 20000 << false;
}

void tst_MainLayout::minimumSize()
{
    QFETCH(int, outerWidth);
    QFETCH(int, outerHeight);
    const auto r = MainLayout::layout(outerWidth, outerHeight, Panes::Both);
    QTEST(r.outerWidth, "expectedWidth");
    QTEST(r.outerHeight, "expectedHeight");
    QTEST(r.resized, "resized");
}

void tst_MainLayout::bothPanes_data()
{
    QTest::addColumn<int>("outerWidth");
    QTest::addColumn<int>("outerHeight");
    QTest::addColumn<int>("usableWidth");
    QTest::addColumn<Box>("treeFiles");
    QTest::addColumn<Box>("treePages");
    QTest::addColumn<Box>("cmdLeft");
    QTest::addColumn<Box>("cmdRight");
    QTest::addColumn<Box>("lblAd");

    // W = 8115: the halves meet at 4057.5, the arrows on either side of it.
    QTest::newRow("width 8000 laid out as 8235")
        << 8000 << 6000 << 8115 << Box{0, 1320, 4057.5, 3680} << Box{4057.5, 1320, 4057.5, 3680}
        << Box{3802.5, 1080, 255, 255} << Box{4057.5, 1080, 255, 255} << Box{0, 5030, 8115, 450};
    QTest::newRow("height 4000 laid out as 5000")
        << 9000 << 4000 << 8880 << Box{0, 1320, 4440, 2680} << Box{4440, 1320, 4440, 2680}
        << Box{4185, 1080, 255, 255} << Box{4440, 1080, 255, 255} << Box{0, 4030, 8880, 450};
    QTest::newRow("minimum size")
        << 8235 << 5000 << 8115 << Box{0, 1320, 4057.5, 2680} << Box{4057.5, 1320, 4057.5, 2680}
        << Box{3802.5, 1080, 255, 255} << Box{4057.5, 1080, 255, 255} << Box{0, 4030, 8115, 450};
    // Wider than a signed 16-bit W could hold: laid out like any other width.
    QTest::newRow("wider than 32767 twips")
        << 36120 << 15000 << 36000 << Box{0, 1320, 18000, 12680} << Box{18000, 1320, 18000, 12680}
        << Box{17745, 1080, 255, 255} << Box{18000, 1080, 255, 255} << Box{0, 14030, 36000, 450};
}

void tst_MainLayout::bothPanes()
{
    QFETCH(int, outerWidth);
    QFETCH(int, outerHeight);
    const auto r = MainLayout::layout(outerWidth, outerHeight, Panes::Both);
    QTEST(r.usableWidth, "usableWidth");
    QTEST(r.treeFiles, "treeFiles");
    QTEST(r.treePages, "treePages");
    QTEST(r.cmdLeft, "cmdLeft");
    QTEST(r.cmdRight, "cmdRight");
    QTEST(r.lblAd, "lblAd");
    QVERIFY(r.treeFilesVisible && r.treePagesVisible && r.cmdLeftVisible && r.cmdRightVisible);
}

void tst_MainLayout::singlePane_data()
{
    QTest::addColumn<Panes>("panes");
    QTest::addColumn<bool>("filesVisible");
    QTest::addColumn<bool>("pagesVisible");
    QTest::addColumn<bool>("leftVisible");
    QTest::addColumn<bool>("rightVisible");
    QTest::addColumn<Box>("shownTree");
    QTest::addColumn<Box>("shownArrow");

    // Outer 9120 x 6000: W = 9000, trees 3680 high.
    QTest::newRow("pages only: right arrow at the left edge")
        << Panes::PagesOnly << false << true << false << true << Box{0, 1320, 9000, 3680}
        << Box{0, 1080, 255, 255};
    QTest::newRow("files only: left arrow at the right edge")
        << Panes::FilesOnly << true << false << true << false << Box{0, 1320, 9000, 3680}
        << Box{8745, 1080, 255, 255};
}

void tst_MainLayout::singlePane()
{
    QFETCH(Panes, panes);
    const auto r = MainLayout::layout(9120, 6000, panes);
    QTEST(r.treeFilesVisible, "filesVisible");
    QTEST(r.treePagesVisible, "pagesVisible");
    QTEST(r.cmdLeftVisible, "leftVisible");
    QTEST(r.cmdRightVisible, "rightVisible");
    const bool pagesShown = panes == Panes::PagesOnly;
    QTEST(pagesShown ? r.treePages : r.treeFiles, "shownTree");
    QTEST(pagesShown ? r.cmdRight : r.cmdLeft, "shownArrow");
    // The sponsor line sits under the page tree whether or not it is shown.
    QCOMPARE(r.lblAd, (Box{0, 5030, 9000, 450}));
    // Both heights are set, the hidden tree's too.
    QCOMPARE(r.treeFiles.height, 3680.0);
    QCOMPARE(r.treePages.height, 3680.0);
}

void tst_MainLayout::pixels_data()
{
    QTest::addColumn<Box>("box");
    QTest::addColumn<QRect>("pixels");

    QTest::newRow("design box of txtRoot") << Box{1320, 120, 4335, 330} << QRect(88, 8, 289, 22);
    QTest::newRow("left half of W 8115") << Box{0, 1320, 4057.5, 2680} << QRect(0, 88, 271, 179);
    QTest::newRow("right half of W 8115") << Box{4057.5, 1320, 4057.5, 2680} << QRect(271, 88, 270, 179);
    QTest::newRow("left arrow before the centre") << Box{3802.5, 1080, 255, 255} << QRect(254, 72, 17, 17);
    QTest::newRow("right arrow after the centre") << Box{4057.5, 1080, 255, 255} << QRect(271, 72, 17, 17);
}

void tst_MainLayout::pixels()
{
    QFETCH(Box, box);
    QTEST(MainLayout::toPixels(box), "pixels");
}

void tst_MainLayout::treesMeetInPixels()
{
    // Whatever the width, the two halves share their edge and span W exactly.
    for (int outer = MainLayout::MinOuterWidth; outer < MainLayout::MinOuterWidth + 40 * 15; outer += 15) {
        const auto r = MainLayout::layout(outer, 6000, Panes::Both);
        const QRect files = MainLayout::toPixels(r.treeFiles);
        const QRect pages = MainLayout::toPixels(r.treePages);
        QCOMPARE(files.x() + files.width(), pages.x());
        QCOMPARE(pages.x() + pages.width(), MainLayout::pixelEdge(r.usableWidth));
        QCOMPARE(MainLayout::toPixels(r.cmdRight).x(), pages.x());
        QCOMPARE(MainLayout::toPixels(r.cmdLeft).right() + 1, pages.x());
    }
}

QTEST_APPLESS_MAIN(tst_MainLayout)
#include "tst_mainlayout.moc"
