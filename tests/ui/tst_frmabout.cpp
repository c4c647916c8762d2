#include "ui/ClickLabel.h"
#include "ui/frmAbout.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

class tst_frmAbout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void designValues();
    void keysClose_data();
    void keysClose();
    void closeButtonCloses();
    void webAddressOpensSiteAndStaysOpen();
    void centredOnOwner();
};

void tst_frmAbout::designValues()
{
    frmAbout dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("About Trovewick"));
    QCOMPARE(dialog.size(), QSize(322, 161));
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("Label1"))->text(), QStringLiteral("Trovewick v2.0"));
    auto *label2 = dialog.findChild<QLabel *>(QStringLiteral("Label2"));
    QCOMPARE(label2->text(), QStringLiteral("For the latest release of this product, please visit us at"));
    QVERIFY(label2->wordWrap());
    auto *label3 = dialog.findChild<ClickLabel *>(QStringLiteral("Label3"));
    QVERIFY(label3);
    QCOMPARE(label3->text(), QStringLiteral("http://www.trovewick.example"));
    QVERIFY(label3->font().underline());
    QCOMPARE(label3->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QCOMPARE(label3->cursor().shape(), Qt::PointingHandCursor);
    auto *ok = dialog.findChild<QPushButton *>(QStringLiteral("cmdOK"));
    QCOMPARE(ok->text(), QStringLiteral("&Close"));
    QVERIFY(ok->isDefault());
    QVERIFY(!dialog.findChild<QLabel *>(QStringLiteral("Label4"))->text().isEmpty());
    auto *image = dialog.findChild<QLabel *>(QStringLiteral("Image1"));
    QCOMPARE(image->pixmap().size(), QSize(125, 76));
    QCOMPARE(image->frameShape(), QFrame::Box);
    QVERIFY(!dialog.windowIcon().isNull());
    QVERIFY(!(dialog.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QVERIFY(dialog.windowFlags() & Qt::CustomizeWindowHint);
}

void tst_frmAbout::keysClose_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Enter);
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Esc") << int(Qt::Key_Escape);
}

void tst_frmAbout::keysClose()
{
    QFETCH(int, key);
    frmAbout dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &dialog, Qt::Key(key));
    QVERIFY(!dialog.isVisible());
}

void tst_frmAbout::closeButtonCloses()
{
    frmAbout dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("cmdOK")), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
}

void tst_frmAbout::webAddressOpensSiteAndStaysOpen()
{
    QStringList opened;
    frmAbout dialog;
    dialog.setShellOpen([&](const QString &target) { opened.append(target); });
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::mouseClick(dialog.findChild<ClickLabel *>(QStringLiteral("Label3")), Qt::LeftButton);
    QCOMPARE(opened, QStringList{QStringLiteral("www.trovewick.example")});
    QVERIFY(dialog.isVisible());
}

void tst_frmAbout::centredOnOwner()
{
    QWidget owner;
    owner.setGeometry(100, 100, 800, 600);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    frmAbout dialog(&owner);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(qAbs(dialog.geometry().center().x() - owner.geometry().center().x()) <= 2);
    QVERIFY(qAbs(dialog.geometry().center().y() - owner.geometry().center().y()) <= 40);
}

QTEST_MAIN(tst_frmAbout)
#include "tst_frmabout.moc"
