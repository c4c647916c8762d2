#include "common/Settings.h"
#include "crawl/CrawlEngine.h"
#include "crawl/NodeTree.h"
#include "settings/SettingsPersistence.h"
#include "sponsor/SponsorFeed.h"
#include "support/TestHttpServer.h"
#include "ui/ClickLabel.h"
#include "ui/MainLayout.h"
#include "ui/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QTreeView>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString DesignAdText = QStringLiteral("Help Support Free Software, Visit our Sponsor!");

} // namespace

class tst_frmMain : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void designValues_data();
    void designValues();
    void designBoxes();
    void menus();
    void linkRulesMenuStoresTheChoice_data();
    void linkRulesMenuStoresTheChoice();
    void linkRulesMenuShowsWhyASaveFailed();
    void startUp();
    void tabOrder();
    void enterAndEscPressNothing();
    void layoutAfterResize_data();
    void layoutAfterResize();
    void resizeBelowMinimumIsCorrected();
    void minimizedWindowKeepsItsLayout();
    void paneSwitching_data();
    void paneSwitching();
    void clearDuringCrawl();
    void doubleClickOpensFoundFile();
    void doubleClickWithoutSelectionDoesNothing();
    void doubleClickWithOtherButtonsDoesNothing_data();
    void doubleClickWithOtherButtonsDoesNothing();
    void fileTreeTooltipOverNodes();
    void txtRootSelectsTextOnFocus_data();
    void txtRootSelectsTextOnFocus();
    void menuLeavesTxtRootSelectionAlone();
    void crawlButtonFollowsEngine();
    void crawlWithoutDownloadFolderSaysWhy();
    void crawlFinishedBeforeAnyStatusKeepsTheDesignTitle();
    void onlineHelp();
    void menusShowDialogsModally_data();
    void menusShowDialogsModally();
    void exitClosesWindow();
    void crawlStepByStep();
    void crawlRunsToTheEnd();
    void sponsorLineFollowsFeed();
    void sponsorTextShownLiterally();

private:
    frmMain &window() { return *m_window; }
    template<typename T>
    T *child(const char *name)
    {
        T *found = m_window->findChild<T *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no child %s", name);
        return found;
    }
    void showWindow();
    QRect expectedPixels(MainLayout::Box MainLayout::Result::*box) const;

    std::unique_ptr<QTemporaryDir> m_config;
    std::unique_ptr<frmMain> m_window;
    QStringList m_opened;
};

void tst_frmMain::init()
{
    // Each test starts from a first run: an empty per-user store.
    m_config = std::make_unique<QTemporaryDir>();
    QVERIFY(m_config->isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config->path()));
    appSettings() = defaultSettings();
    m_opened.clear();
    // No feed address: the sponsor line stays at its design text.
    m_window = std::make_unique<frmMain>(QUrl());
    m_window->setShellOpen([this](const QString &target) { m_opened.append(target); });
}

void tst_frmMain::cleanup()
{
    m_window.reset();
    m_config.reset();
}

void tst_frmMain::showWindow()
{
    window().show();
    QVERIFY(QTest::qWaitForWindowExposed(&window()));
    window().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window()));
}

QRect tst_frmMain::expectedPixels(MainLayout::Box MainLayout::Result::*box) const
{
    const QSize outer = m_window->outerSizeTwips();
    return MainLayout::toPixels(MainLayout::layout(outer.width(), outer.height(), m_window->panes()).*box);
}

void tst_frmMain::designValues_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("Label1") << u"Label1"_s << u"HTTP &Root"_s << u""_s << true;
    QTest::newRow("txtRoot") << u"txtRoot"_s << u""_s << u"Where to begin the Trovewick"_s << true;
    QTest::newRow("cmdCrawl") << u"cmdCrawl"_s << u"&Crawl"_s << u"Start and stop Trovewick"_s << true;
    QTest::newRow("cmdClear") << u"cmdClear"_s << u"C&lear Results"_s << u"Clear found pages and files"_s << true;
    QTest::newRow("Command1") << u"Command1"_s << u"&Download Checked"_s << u""_s << false;
    QTest::newRow("treeFiles") << u"treeFiles"_s << u""_s << u"Double-click to open link"_s << true;
    QTest::newRow("treePages") << u"treePages"_s << u""_s << u""_s << true;
    QTest::newRow("lblAd") << u"lblAd"_s << DesignAdText << u""_s << true;
}

void tst_frmMain::designValues()
{
    QFETCH(QString, name);
    QWidget *widget = window().findChild<QWidget *>(name);
    QVERIFY(widget);
    QString text;
    if (auto *label = qobject_cast<QLabel *>(widget))
        text = label->text();
    else if (auto *button = qobject_cast<QPushButton *>(widget))
        text = button->text();
    else if (auto *edit = qobject_cast<QLineEdit *>(widget))
        text = edit->text();
    QTEST(text, "text");
    QTEST(widget->toolTip(), "toolTip");
    QTEST(widget->isEnabled(), "enabled");
}

void tst_frmMain::designBoxes()
{
    // The controls the layout leaves alone keep their design boxes.
    QCOMPARE(child<QLabel>("Label1")->geometry(), MainLayout::toPixels({360, 180, 855, 255}));
    QCOMPARE(child<QLineEdit>("txtRoot")->geometry(), MainLayout::toPixels({1320, 120, 4335, 330}));
    QCOMPARE(child<QPushButton>("cmdCrawl")->geometry(), MainLayout::toPixels({240, 600, 1455, 375}));
    QCOMPARE(child<QPushButton>("cmdClear")->geometry(), MainLayout::toPixels({1920, 600, 1455, 375}));
    QCOMPARE(child<QPushButton>("Command1")->geometry(), MainLayout::toPixels({3600, 600, 2055, 375}));
    QCOMPARE(child<QLabel>("Label1")->buddy(), child<QLineEdit>("txtRoot"));
    QCOMPARE(window().windowTitle(), QStringLiteral("Trovewick v2.0"));
    QVERIFY(!window().windowIcon().isNull());

    // The arrows point at the boundary: one set against its right edge, one its left.
    QVERIFY(child<ClickLabel>("cmdLeft")->alignment() & Qt::AlignRight);
    QVERIFY(child<ClickLabel>("cmdRight")->alignment() & Qt::AlignLeft);
    QVERIFY(child<ClickLabel>("lblAd")->alignment() & Qt::AlignHCenter);
    for (const char *name : {"cmdLeft", "cmdRight", "lblAd"})
        QCOMPARE(child<ClickLabel>(name)->cursor().shape(), Qt::PointingHandCursor);
}

void tst_frmMain::menus()
{
    struct Item
    {
        const char *menu;
        const char *menuText;
        const char *action;
        const char *actionText;
    };
    const Item items[] = {
        {"File", "&File", "Exit", "E&xit"},
        {"Tools", "&Tools", "Options", "&Options"},
        {"Help", "&Help", "OnlineHelp", "&Online Help"},
        {"Help", "&Help", "About", "&About"},
    };
    QStringList titles;
    for (QAction *action : window().menuBar()->actions())
        titles.append(action->text());
    QCOMPARE(titles, (QStringList{u"&File"_s, u"&Tools"_s, u"&Help"_s}));
    for (const Item &item : items) {
        auto *menu = child<QMenu>(item.menu);
        QCOMPARE(menu->title(), QString::fromLatin1(item.menuText));
        auto *action = child<QAction>(item.action);
        QCOMPARE(action->text(), QString::fromLatin1(item.actionText));
        QVERIFY(menu->actions().contains(action));
        QVERIFY(action->shortcut().isEmpty());
    }
}

void tst_frmMain::linkRulesMenuStoresTheChoice_data()
{
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<QString>("stored"); // the record's and the store's words
    QTest::newRow("standard, below") << QStringList{u"StandardRules"_s, u"BelowRoot"_s} << u"standard below"_s;
    QTest::newRow("classic keeps the scope") << QStringList{u"StandardRules"_s, u"AnyHost"_s, u"ClassicRules"_s}
                                             << u"classic any"_s;
}

void tst_frmMain::linkRulesMenuStoresTheChoice()
{
    QFETCH(QStringList, chosen);
    for (const QString &name : chosen)
        child<QAction>(qPrintable(name))->trigger();
    const auto words = [](const Settings &s) { return linkRulesName(s.Rules) + u' ' + linkScopeName(s.Scope); };
    QTEST(words(appSettings()), "stored");
    QCOMPARE(child<QAction>("BelowRoot")->isEnabled(), appSettings().Rules == LinkRules::Standard);
    Settings loaded;
    LoadSettings(loaded);
    QTEST(words(loaded), "stored");
}

void tst_frmMain::linkRulesMenuShowsWhyASaveFailed()
{
    QFile blocker(m_config->filePath(u"Trovewick"_s)); // where the store's folder belongs
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    QString shown;
    QTimer::singleShot(0, this, [&] {
        shown = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())->text();
        QApplication::activeModalWidget()->close();
    });
    child<QAction>("StandardRules")->trigger();
    QVERIFY2(shown.startsWith(u"Failed to set registry value"_s), qPrintable(shown));
    QVERIFY(child<QAction>("ClassicRules")->isChecked() && appSettings().Rules == LinkRules::Classic);
}

void tst_frmMain::startUp()
{
    // The record is empty until the window loads the settings.
    appSettings() = Settings();
    QVERIFY(!window().isVisible());
    window().Form_Load();
    QVERIFY(window().isVisible());
    QCOMPARE(appSettings().MaxPages, SettingsDefaults::MaxPages);
    QCOMPARE(appSettings().Search, SettingsDefaults::Search);
    QVERIFY(!window().engine().TimerKeepBusy().isActive());
    QVERIFY(!window().sponsorFeed().TimerAds().isActive());
    QCOMPARE(child<QLineEdit>("txtRoot")->text(), QString());
    QCOMPARE(child<ClickLabel>("lblAd")->text(), DesignAdText);
    QVERIFY(!child<ClickLabel>("lblAd")->font().underline());
    // Shown means laid out.
    QCOMPARE(child<QTreeView>("treeFiles")->geometry(), expectedPixels(&MainLayout::Result::treeFiles));
}

void tst_frmMain::tabOrder()
{
    showWindow();
    child<QLineEdit>("txtRoot")->setFocus(Qt::OtherFocusReason);
    QStringList visited{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.append(QApplication::focusWidget()->objectName());
    }
    // The disabled button and the labels take no focus.
    QCOMPARE(visited, (QStringList{u"txtRoot"_s, u"cmdCrawl"_s, u"cmdClear"_s, u"treeFiles"_s, u"treePages"_s,
                                   u"txtRoot"_s}));
}

void tst_frmMain::enterAndEscPressNothing()
{
    showWindow();
    for (const char *name : {"cmdCrawl", "cmdClear", "txtRoot"}) {
        QWidget *widget = child<QWidget>(name);
        widget->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(widget, Qt::Key_Return);
        QTest::keyClick(widget, Qt::Key_Enter);
        QTest::keyClick(widget, Qt::Key_Escape);
    }
    QCOMPARE(child<QPushButton>("cmdCrawl")->text(), QStringLiteral("&Crawl"));
    QVERIFY(!window().engine().TimerKeepBusy().isActive());
    QCOMPARE(window().windowTitle(), QStringLiteral("Trovewick v2.0"));
    QVERIFY(window().isVisible());
}

void tst_frmMain::layoutAfterResize_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("design size") << QSize(545, 360);
    QTest::newRow("wide") << QSize(900, 500);
    QTest::newRow("odd width") << QSize(701, 451);
    QTest::newRow("wider than 32767 twips") << QSize(2400, 600);
}

void tst_frmMain::layoutAfterResize()
{
    QFETCH(QSize, size);
    showWindow();
    window().resize(size);
    QTRY_COMPARE(window().size(), size);
    QCOMPARE(child<QTreeView>("treeFiles")->geometry(), expectedPixels(&MainLayout::Result::treeFiles));
    QCOMPARE(child<QTreeView>("treePages")->geometry(), expectedPixels(&MainLayout::Result::treePages));
    QCOMPARE(child<ClickLabel>("cmdLeft")->geometry(), expectedPixels(&MainLayout::Result::cmdLeft));
    QCOMPARE(child<ClickLabel>("cmdRight")->geometry(), expectedPixels(&MainLayout::Result::cmdRight));
    QCOMPARE(child<ClickLabel>("lblAd")->geometry(), expectedPixels(&MainLayout::Result::lblAd));
    // The halves meet, and the trees end 1000 twips above the outer bottom edge.
    const QRect files = child<QTreeView>("treeFiles")->geometry();
    QCOMPARE(files.right() + 1, child<QTreeView>("treePages")->geometry().left());
    QCOMPARE(files.top(), 88);
}

void tst_frmMain::resizeBelowMinimumIsCorrected()
{
    showWindow();
    window().resize(100, 100);
    QTRY_VERIFY(window().frameGeometry().width() >= MainLayout::pixelsCovering(MainLayout::MinOuterWidth));
    QTRY_VERIFY(window().frameGeometry().height() >= MainLayout::pixelsCovering(MainLayout::MinOuterHeight));
    const QSize outer = window().outerSizeTwips();
    QVERIFY(outer.width() >= MainLayout::MinOuterWidth);
    QVERIFY(outer.height() >= MainLayout::MinOuterHeight);
    // Each tree is then at least 2680 twips high.
    QVERIFY(child<QTreeView>("treePages")->height() * MainLayout::TwipsPerPixel >= 2680 - 15);
    QCOMPARE(child<QTreeView>("treePages")->geometry(), expectedPixels(&MainLayout::Result::treePages));
}

void tst_frmMain::minimizedWindowKeepsItsLayout()
{
    showWindow();
    auto *pages = child<QTreeView>("treePages");
    const QRect before = pages->geometry();
    window().setWindowState(Qt::WindowMinimized);
    QVERIFY(window().isMinimized());
    // The arrow changes the pane state, but a minimized window is not laid out.
    window().cmdLeft_Click();
    QCOMPARE(pages->geometry(), before);
    window().setWindowState(Qt::WindowNoState);
    QTRY_COMPARE(pages->geometry(), expectedPixels(&MainLayout::Result::treePages));
    QCOMPARE(pages->x(), 0);
}

void tst_frmMain::paneSwitching_data()
{
    QTest::addColumn<bool>("startWithLeft");
    QTest::newRow("left then right") << true;
    QTest::newRow("right then left") << false;
}

void tst_frmMain::paneSwitching()
{
    QFETCH(bool, startWithLeft);
    showWindow();
    auto *files = child<QTreeView>("treeFiles");
    auto *pages = child<QTreeView>("treePages");
    auto *left = child<ClickLabel>("cmdLeft");
    auto *right = child<ClickLabel>("cmdRight");
    const int w = MainLayout::pixelEdge(window().outerSizeTwips().width() - MainLayout::FrameAllowance);

    QTest::mouseClick(startWithLeft ? left : right, Qt::LeftButton);
    if (startWithLeft) {
        // The page tree fills the width; the remaining arrow sits at the left edge.
        QVERIFY(files->isHidden());
        QVERIFY(left->isHidden());
        QVERIFY(!pages->isHidden() && !right->isHidden());
        QCOMPARE(pages->geometry().left(), 0);
        QCOMPARE(pages->width(), w);
        QCOMPARE(right->x(), 0);
        QCOMPARE(window().panes(), MainLayout::Panes::PagesOnly);
    } else {
        QVERIFY(pages->isHidden());
        QVERIFY(right->isHidden());
        QVERIFY(!files->isHidden() && !left->isHidden());
        QCOMPARE(files->geometry().left(), 0);
        QCOMPARE(files->width(), w);
        QCOMPARE(left->x() + left->width(), w);
        QCOMPARE(window().panes(), MainLayout::Panes::FilesOnly);
    }

    QTest::mouseClick(startWithLeft ? right : left, Qt::LeftButton);
    QCOMPARE(window().panes(), MainLayout::Panes::Both);
    for (QWidget *widget : std::initializer_list<QWidget *>{files, pages, left, right})
        QVERIFY(!widget->isHidden());
    QCOMPARE(files->geometry(), expectedPixels(&MainLayout::Result::treeFiles));
    QCOMPARE(pages->geometry(), expectedPixels(&MainLayout::Result::treePages));
    QCOMPARE(right->x(), pages->x());

    // A press dragged off the arrow before release is no click.
    QTest::mousePress(left, Qt::LeftButton);
    QTest::mouseRelease(left, Qt::LeftButton, {}, QPoint(-20, -20));
    QCOMPARE(window().panes(), MainLayout::Panes::Both);
}

void tst_frmMain::clearDuringCrawl()
{
    showWindow();
    CrawlEngine &engine = window().engine();
    // A crawl that never reaches its first tick: the root is queued, nothing fetched.
    engine.TimerKeepBusy().setInterval(3'600'000);
    child<QLineEdit>("txtRoot")->setText(QStringLiteral("www.a.test"));
    QTest::mouseClick(child<QPushButton>("cmdCrawl"), Qt::LeftButton);
    engine.AddFile("http://www.a.test/a.mp3");
    QCOMPARE(engine.treePages().Count(), 2);
    QCOMPARE(engine.treeFiles().Count(), 1);
    QCOMPARE(child<QTreeView>("treePages")->model()->rowCount(), 1);

    QTest::mouseClick(child<QPushButton>("cmdClear"), Qt::LeftButton);
    QCOMPARE(engine.treePages().Count(), 0);
    QCOMPARE(engine.treeFiles().Count(), 0);
    QCOMPARE(child<QTreeView>("treePages")->model()->rowCount(), 0);
    QCOMPARE(child<QTreeView>("treeFiles")->model()->rowCount(), 0);
    QCOMPARE(window().windowTitle(), QStringLiteral("0 files found / 0 pages found..."));
    // Clearing does not stop the crawl.
    QCOMPARE(child<QPushButton>("cmdCrawl")->text(), QStringLiteral("Stop &Crawl"));
    QVERIFY(engine.TimerKeepBusy().isActive());
}

void tst_frmMain::doubleClickOpensFoundFile()
{
    appSettings() = defaultSettings();
    showWindow();
    NodeTree &files = window().engine().treeFiles();
    window().engine().AddFile("http://www.a.test/one.mp3");
    window().engine().AddFile("http://www.a.test/two.jpg");
    QCOMPARE(files.Count(), 2);

    auto *tree = child<QTreeView>("treeFiles");
    const QModelIndex second = tree->model()->index(1, 0);
    QCOMPARE(second.data(Qt::DisplayRole).toString(), QStringLiteral("http://www.a.test/two.jpg"));
    const QImage found = second.data(Qt::DecorationRole).value<QIcon>().pixmap(16, 16).toImage();

    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(second).center());
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(second).center());
    QCOMPARE(m_opened, QStringList{u"http://www.a.test/two.jpg"_s});
    QCOMPARE(files.Image(2), NodeImage::OpenedFile);
    QCOMPARE(files.Image(1), NodeImage::FoundFile);
    // The picture changes from the globe with a link to the globe with a folder.
    QVERIFY(tree->model()->index(1, 0).data(Qt::DecorationRole).value<QIcon>().pixmap(16, 16).toImage() != found);

    // Opening it again opens it again and keeps it opened.
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(second).center());
    QCOMPARE(m_opened.size(), 2);
    QCOMPARE(files.Image(2), NodeImage::OpenedFile);
}

void tst_frmMain::doubleClickWithoutSelectionDoesNothing()
{
    showWindow();
    auto *tree = child<QTreeView>("treeFiles");
    // An empty tree.
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, QPoint(10, 10));
    window().treeFiles_DblClick();
    QVERIFY(m_opened.isEmpty());

    // Nodes but none selected.
    window().engine().AddFile("http://www.a.test/one.mp3");
    tree->clearSelection();
    window().treeFiles_DblClick();
    QVERIFY(m_opened.isEmpty());
    QCOMPARE(window().engine().treeFiles().Image(1), NodeImage::FoundFile);
}

void tst_frmMain::doubleClickWithOtherButtonsDoesNothing_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("right button") << Qt::RightButton;
    QTest::newRow("middle button") << Qt::MiddleButton;
}

void tst_frmMain::doubleClickWithOtherButtonsDoesNothing()
{
    QFETCH(Qt::MouseButton, button);
    showWindow();
    window().engine().AddFile("http://www.a.test/one.mp3");
    auto *tree = child<QTreeView>("treeFiles");
    const QPoint onNode = tree->visualRect(tree->model()->index(0, 0)).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, onNode);
    QVERIFY(tree->selectionModel()->hasSelection());

    QTest::mouseDClick(tree->viewport(), button, {}, onNode);
    QVERIFY(m_opened.isEmpty());
    QCOMPARE(window().engine().treeFiles().Image(1), NodeImage::FoundFile);

    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, onNode);
    QCOMPARE(m_opened, QStringList{u"http://www.a.test/one.mp3"_s});
}

void tst_frmMain::fileTreeTooltipOverNodes()
{
    showWindow();
    window().engine().AddFile("http://www.a.test/one.mp3");
    auto *tree = child<QTreeView>("treeFiles");
    const QPoint overNode = tree->visualRect(tree->model()->index(0, 0)).center();
    QHelpEvent help(QEvent::ToolTip, overNode, tree->viewport()->mapToGlobal(overNode));
    QApplication::sendEvent(tree->viewport(), &help);
    QTRY_COMPARE(QToolTip::text(), u"Double-click to open link"_s);
    QToolTip::hideText();
}

void tst_frmMain::txtRootSelectsTextOnFocus_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("click") << u"click"_s;
    QTest::newRow("tab") << u"tab"_s;
    QTest::newRow("mnemonic") << u"mnemonic"_s;
}

void tst_frmMain::txtRootSelectsTextOnFocus()
{
    QFETCH(QString, how);
    showWindow();
    auto *root = child<QLineEdit>("txtRoot");
    root->setText(QStringLiteral("http://www.a.test/start.htm"));
    auto *crawl = child<QPushButton>("cmdCrawl");
    crawl->setFocus(Qt::OtherFocusReason);
    QVERIFY(!root->hasFocus());

    if (how == QLatin1String("click")) {
        QTest::mouseClick(root, Qt::LeftButton, {}, QPoint(20, root->height() / 2));
    } else if (how == QLatin1String("tab")) {
        // Backwards from the crawl button.
        QTest::keyClick(crawl, Qt::Key_Backtab, Qt::ShiftModifier);
    } else {
        QTest::keyClick(&window(), Qt::Key_R, Qt::AltModifier);
    }
    QTRY_VERIFY(root->hasFocus());
    QTRY_COMPARE(root->selectedText(), root->text());
    QCOMPARE(root->selectionStart(), 0);
}

void tst_frmMain::menuLeavesTxtRootSelectionAlone()
{
    showWindow();
    auto *root = child<QLineEdit>("txtRoot");
    root->setText(QStringLiteral("http://www.a.test/start.htm"));
    root->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(root->hasFocus());
    QCoreApplication::processEvents();
    root->setCursorPosition(7);
    QVERIFY(!root->hasSelectedText());

    // A menu opened and dismissed over the box never took the focus from it.
    auto *menu = child<QMenu>("File");
    menu->popup(window().mapToGlobal(QPoint(10, 10)));
    QTRY_VERIFY(menu->isVisible());
    menu->close();
    QTRY_VERIFY(root->hasFocus());
    QCoreApplication::processEvents();
    QVERIFY(!root->hasSelectedText());
    QCOMPARE(root->cursorPosition(), 7);
}

void tst_frmMain::crawlButtonFollowsEngine()
{
    showWindow();
    CrawlEngine &engine = window().engine();
    engine.TimerKeepBusy().setInterval(3'600'000);
    auto *crawl = child<QPushButton>("cmdCrawl");
    child<QLineEdit>("txtRoot")->setText(QStringLiteral("www.b.test"));

    QTest::mouseClick(crawl, Qt::LeftButton);
    QCOMPARE(crawl->text(), QStringLiteral("Stop &Crawl"));
    QVERIFY(engine.TimerKeepBusy().isActive());
    QVERIFY(!child<QMenu>("LinkRules")->menuAction()->isEnabled()); // a crawl never mixes rules
    // The root typed in the box reached the frontier.
    QCOMPARE(engine.treePages().Key(2), QByteArray("www.b.test/"));

    QTest::mouseClick(crawl, Qt::LeftButton);
    QCOMPARE(crawl->text(), QStringLiteral("&Crawl"));
    QVERIFY(child<QMenu>("LinkRules")->menuAction()->isEnabled());
    QVERIFY(!engine.TimerKeepBusy().isActive());

    // The title follows the engine's status line.
    engine.setTitle(QStringLiteral("3 files found / 9 pages found..."));
    QCOMPARE(window().windowTitle(), QStringLiteral("3 files found / 9 pages found..."));
}

void tst_frmMain::crawlWithoutDownloadFolderSaysWhy()
{
    const QString notAFolder = QCoreApplication::applicationFilePath() + u"/tmp"_s; // under a file
    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(notAFolder));
    child<QPushButton>("cmdCrawl")->click();
    qputenv("TMPDIR", oldTemp);
    auto *box = window().findChild<QMessageBox *>();
    QVERIFY(box && box->isVisible());
    QCOMPARE(box->text(), u"The crawl cannot start: cannot make a folder for page bodies in %1: Not a directory."_s.arg(notAFolder));
    QVERIFY(!window().engine().running());
}

void tst_frmMain::crawlFinishedBeforeAnyStatusKeepsTheDesignTitle()
{
    // No page fits, so the first tick finds nothing to fetch and finishes the
    // crawl before any status line is written.
    appSettings().MaxPages = 0;
    CrawlEngine &engine = window().engine();
    engine.TimerKeepBusy().setInterval(3'600'000);
    child<QLineEdit>("txtRoot")->setText(QStringLiteral("www.b.test"));
    QTest::mouseClick(child<QPushButton>("cmdCrawl"), Qt::LeftButton);
    QCOMPARE(child<QPushButton>("cmdCrawl")->text(), QStringLiteral("Stop &Crawl"));
    QCOMPARE(engine.treePages().Count(), 0);

    engine.TimerKeepBusy_Timer();
    QCOMPARE(window().windowTitle(), QStringLiteral("Trovewick v2.0 [crawl finished]"));
    QCOMPARE(child<QPushButton>("cmdCrawl")->text(), QStringLiteral("&Crawl"));
    QVERIFY(!engine.running());
}

void tst_frmMain::onlineHelp()
{
    child<QAction>("OnlineHelp")->trigger();
    QCOMPARE(m_opened, QStringList{u"www.trovewick.example/help/v2.0.htm"_s});
}

void tst_frmMain::menusShowDialogsModally_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("dialog");
    QTest::newRow("Options") << u"Options"_s << u"frmOptions"_s;
    QTest::newRow("About") << u"About"_s << u"frmAbout"_s;
}

void tst_frmMain::menusShowDialogsModally()
{
    QFETCH(QString, action);
    showWindow();
    QString shown;
    bool wasModal = false;
    QTimer::singleShot(0, this, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        shown = modal->objectName();
        wasModal = modal->isModal() && modal->parentWidget() == &window();
        modal->close();
    });
    child<QAction>(qPrintable(action))->trigger();
    QTEST(shown, "dialog");
    QVERIFY(wasModal);
    QVERIFY(!QApplication::activeModalWidget());
}

void tst_frmMain::exitClosesWindow()
{
    showWindow();
    child<QAction>("Exit")->trigger();
    QVERIFY(!window().isVisible());
}

void tst_frmMain::crawlStepByStep()
{
    TestHttpServer server;
    QVERIFY(server.isListening());
    server.route("/", TestHttpServer::Response::html("<a href=\"a.htm\">A</a> <a href=\"x.mp3\">X</a>"));
    server.route("/a.htm", TestHttpServer::Response::html("<a href=\"y.jpg\">Y</a>"));

    window().Form_Load();
    CrawlEngine &engine = window().engine();
    // The ticks come from the test, one at a time.
    engine.TimerKeepBusy().setInterval(3'600'000);
    QSignalSpy settled(&engine, &CrawlEngine::readsSettled);

    QTest::keyClicks(child<QLineEdit>("txtRoot"), QString::fromLatin1(server.url("/")));
    QTest::mouseClick(child<QPushButton>("cmdCrawl"), Qt::LeftButton);

    engine.TimerKeepBusy_Timer();
    QCOMPARE(window().windowTitle(), QStringLiteral("0 files found / 2 pages found..."));
    QVERIFY(settled.wait());
    engine.TimerKeepBusy_Timer();
    QCOMPARE(window().windowTitle(), QStringLiteral("1 files found / 3 pages found..."));
    QVERIFY(settled.wait());
    engine.TimerKeepBusy_Timer();
    QCOMPARE(window().windowTitle(), QStringLiteral("1 files found / 3 pages found... [crawl finished]"));
    QCOMPARE(child<QPushButton>("cmdCrawl")->text(), QStringLiteral("&Crawl"));

    // Both trees show what the crawl found, with the state pictures.
    auto *pages = child<QTreeView>("treePages");
    const QModelIndex host = pages->model()->index(0, 0);
    QCOMPARE(host.data().toString(), QString::fromLatin1(server.authority()));
    QVERIFY(pages->isExpanded(host));
    QCOMPARE(pages->model()->rowCount(host), 2);
    for (int row = 0; row < 2; ++row)
        QCOMPARE(pages->model()->index(row, 0, host).data(NodeTree::ImageRole).toInt(), NodeImage::Done);
    auto *files = child<QTreeView>("treeFiles");
    QCOMPARE(files->model()->rowCount(), 2);
    QVERIFY(!files->model()->index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
}

void tst_frmMain::crawlRunsToTheEnd()
{
    TestHttpServer server;
    QVERIFY(server.isListening());
    QByteArray links;
    for (int i = 0; i < 12; ++i)
        links += "<a href=\"p" + QByteArray::number(i) + ".htm\">p</a> <a href=\"f" + QByteArray::number(i)
            + ".gif\">f</a>\n";
    server.route("/", TestHttpServer::Response::html(links));
    server.setFallback(TestHttpServer::Response::html("<p>no links</p>"));

    window().Form_Load();
    CrawlEngine &engine = window().engine();
    engine.TimerKeepBusy().setInterval(5);
    child<QLineEdit>("txtRoot")->setText(QString::fromLatin1(server.url("/")));
    QTest::mouseClick(child<QPushButton>("cmdCrawl"), Qt::LeftButton);

    QTRY_VERIFY_WITH_TIMEOUT(window().windowTitle().endsWith(QStringLiteral(" [crawl finished]")), 60'000);
    QCOMPARE(child<QPushButton>("cmdCrawl")->text(), QStringLiteral("&Crawl"));
    QVERIFY(!engine.TimerKeepBusy().isActive());
    // The default MaxDomain of 10 keeps ten pages of the one host.
    QCOMPARE(engine.treePages().Count(), 11);
    QCOMPARE(engine.treeFiles().Count(), 12);
    QCOMPARE(server.requestCount("/"), 1);
}

void tst_frmMain::sponsorLineFollowsFeed()
{
    TestHttpServer server;
    QVERIFY(server.isListening());
    server.route("/info2.0.xml",
                 TestHttpServer::Response::html("<feed><ads>"
                                                "<ad><t>First sponsor</t><u>http%3A%2F%2Fwww.a.test%2F</u></ad>"
                                                "<ad><t>Second sponsor</t><u>http%3A%2F%2Fwww.b.test%2F</u></ad>"
                                                "</ads></feed>"));
    m_window = std::make_unique<frmMain>(QUrl(QString::fromLatin1(server.url("/info2.0.xml"))));
    m_window->setShellOpen([this](const QString &target) { m_opened.append(target); });
    auto *line = child<ClickLabel>("lblAd");

    // Before the feed arrives the line is plain and a click opens nothing.
    QTest::mouseClick(line, Qt::LeftButton);
    QVERIFY(m_opened.isEmpty());

    QSignalSpy finished(&window().sponsorFeed(), &SponsorFeed::loadFinished);
    window().Form_Load();
    QVERIFY(finished.wait());
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    QCOMPARE(line->text(), u"First sponsor"_s);
    QVERIFY(line->font().underline());
    QCOMPARE(line->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QVERIFY(window().sponsorFeed().TimerAds().isActive());

    QTest::mouseClick(line, Qt::LeftButton);
    QCOMPARE(m_opened, QStringList{u"http://www.a.test/"_s});
    window().sponsorFeed().TimerAds_Timer();
    QCOMPARE(line->text(), u"Second sponsor"_s);
    QVERIFY(line->font().underline());
}

void tst_frmMain::sponsorTextShownLiterally()
{
    showWindow();
    SponsorFeed &feed = window().sponsorFeed();
    auto *line = child<ClickLabel>("lblAd");
    const QString markup = u"<img src=\":/trovewick/images/logo.png\"> <b>Sale</b>"_s;
    QVERIFY(feed.docAdText().setContent(
        "<feed><ads><ad><t><![CDATA[" + markup.toUtf8() + "]]></t></ad><ad><t/></ad></ads></feed>", true));
    feed.docAdText_ondataavailable();

    // Markup from the feed is text: no picture is drawn, so the line stays one line high.
    QCOMPARE(line->text(), markup);
    QVERIFY2(line->sizeHint().height() < 40, qPrintable(QString::number(line->sizeHint().height())));

    // An entry whose text is empty shows an empty line, not the design text.
    feed.TimerAds_Timer();
    QCOMPARE(feed.lblAdText(), QString());
    QCOMPARE(line->text(), QString());
    feed.TimerAds_Timer();
    QCOMPARE(line->text(), markup);
}

QTEST_MAIN(tst_frmMain)
#include "tst_frmmain.moc"
