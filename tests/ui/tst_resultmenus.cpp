#include "common/Settings.h"
#include "crawl/CrawlEngine.h"
#include "crawl/NodeTree.h"
#include "support/TestHttpServer.h"
#include "ui/ResultMenus.h"
#include "ui/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <memory>

using namespace Qt::StringLiterals;

// The result trees' context menus, driven through the real widgets.
class tst_ResultMenus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void fileMenuOpensOnTheItem_data();
    void fileMenuOpensOnTheItem();
    void openFromTheMenuMarksTheFileOpened();
    void copyAllAndSaveGiveTheListAsShown();
    void failedSaveShowsTheReasonAndKeepsTheList();
    void ctrlCCopiesTheCurrentFile();
    void emptyFileTreeOffersNothingToCopy();
    void pageMenuGivesThePageAddress_data();
    void pageMenuGivesThePageAddress();
    void jsonLinesSaveIsTheCommandLinesList();

private:
    QTreeView *tree(const char *name) { return m_window->findChild<QTreeView *>(QString::fromLatin1(name)); }
    // Opens the context menu on `row` of `name`'s top level (or its child
    // `childRow`) the way `how` says, and returns the menu shown.
    QMenu *openMenu(const char *name, int row, int childRow = -1, const QString &how = u"mouse"_s);
    QAction *action(QMenu *menu, const QString &text);

    std::unique_ptr<QTemporaryDir> m_config;
    std::unique_ptr<frmMain> m_window;
    QStringList m_opened;
    QStringList m_errors;
    QString m_chosenFile;
};

void tst_ResultMenus::init()
{
    m_config = std::make_unique<QTemporaryDir>();
    QVERIFY(m_config->isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config->path()));
    appSettings() = defaultSettings();
    m_opened.clear();
    m_errors.clear();
    m_chosenFile.clear();
    m_window = std::make_unique<frmMain>(QUrl());
    m_window->setShellOpen([this](const QString &target) { m_opened.append(target); });
    m_window->resultMenus().hooks().chooseListFile = [this] { return m_chosenFile; };
    m_window->resultMenus().hooks().reportSaveError = [this](const QString &text) { m_errors.append(text); };
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));

    CrawlEngine &engine = m_window->engine();
    engine.AddFile("http://www.a.test/one.mp3");
    // Bytes that are no UTF-8 show as Windows-1252, UTF-8 as itself.
    engine.AddFile("http://www.a.test/caf\xe9.jpg");
    engine.AddFile("http://www.a.test/\xc3\xbc.gif");
    engine.AddPage("www.a.test/index.htm");
    engine.AddPage("www.a.test/dir/b.htm");
    QGuiApplication::clipboard()->clear();
}

void tst_ResultMenus::cleanup()
{
    m_window.reset();
    m_config.reset();
}

QMenu *tst_ResultMenus::openMenu(const char *name, int row, int childRow, const QString &how)
{
    QTreeView *view = tree(name);
    view->expandAll();
    QModelIndex item = view->model()->index(row, 0);
    if (childRow >= 0)
        item = view->model()->index(childRow, 0, item);
    const QPoint pos = view->visualRect(item).center();
    if (how == u"mouse") {
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, view->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(view->viewport(), &event);
    } else {
        view->setFocus();
        view->setCurrentIndex(item);
        if (how == u"menu key") {
            QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(), view->viewport()->mapToGlobal(QPoint()));
            QApplication::sendEvent(view->viewport(), &event);
        } else {
            QTest::keyClick(view, Qt::Key_F10, Qt::ShiftModifier);
        }
    }
    return m_window->resultMenus().openMenu();
}

QAction *tst_ResultMenus::action(QMenu *menu, const QString &text)
{
    const QList<QAction *> actions = menu->actions();
    for (QAction *candidate : actions) {
        if (candidate->text() == text)
            return candidate;
    }
    qFatal("no action %s", qPrintable(text));
}

void tst_ResultMenus::fileMenuOpensOnTheItem_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("right mouse button") << u"mouse"_s;
    QTest::newRow("Menu key") << u"menu key"_s;
    QTest::newRow("Shift+F10") << u"shift f10"_s;
}

void tst_ResultMenus::fileMenuOpensOnTheItem()
{
    QFETCH(QString, how);
    QMenu *menu = openMenu("treeFiles", 1, -1, how);
    QVERIFY(menu);
    QStringList texts;
    for (const QAction *entry : menu->actions()) {
        if (!entry->isSeparator())
            texts.append(entry->text());
    }
    QCOMPARE(texts, (QStringList{u"&Open"_s, u"&Copy Address"_s, u"Copy &All Addresses"_s, u"&Save List As..."_s}));
    action(menu, u"&Copy Address"_s)->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), u"http://www.a.test/café.jpg"_s);
    // The menu changes nothing of the list.
    QCOMPARE(m_window->engine().treeFiles().Image(2), NodeImage::FoundFile);
}

void tst_ResultMenus::openFromTheMenuMarksTheFileOpened()
{
    QTreeView *files = tree("treeFiles");
    const QImage found = files->model()->index(2, 0).data(Qt::DecorationRole).value<QIcon>().pixmap(16, 16).toImage();
    QMenu *menu = openMenu("treeFiles", 2);
    QVERIFY(menu);
    action(menu, u"&Open"_s)->trigger();
    QCOMPARE(m_opened, QStringList{u"http://www.a.test/ü.gif"_s});
    QCOMPARE(m_window->engine().treeFiles().Image(3), NodeImage::OpenedFile);
    QCOMPARE(m_window->engine().treeFiles().Image(1), NodeImage::FoundFile);
    QVERIFY(files->model()->index(2, 0).data(Qt::DecorationRole).value<QIcon>().pixmap(16, 16).toImage() != found);
}

void tst_ResultMenus::copyAllAndSaveGiveTheListAsShown()
{
    const QString expected = u"http://www.a.test/one.mp3\nhttp://www.a.test/café.jpg\nhttp://www.a.test/ü.gif\n"_s;
    QMenu *menu = openMenu("treeFiles", 0);
    QVERIFY(menu);
    action(menu, u"Copy &All Addresses"_s)->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    m_chosenFile = dir.filePath(u"list.txt"_s);
    menu = openMenu("treeFiles", 0);
    action(menu, u"&Save List As..."_s)->trigger();
    QFile saved(m_chosenFile);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), expected.toUtf8());
    QVERIFY(m_errors.isEmpty());
}

void tst_ResultMenus::failedSaveShowsTheReasonAndKeepsTheList()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    m_chosenFile = dir.filePath(u"no-such-folder/list.txt"_s);
    QMenu *menu = openMenu("treeFiles", 0);
    QVERIFY(menu);
    action(menu, u"&Save List As..."_s)->trigger();
    QCOMPARE(m_errors.size(), 1);
    QVERIFY2(m_errors.constFirst().contains(m_chosenFile), qPrintable(m_errors.constFirst()));
    QVERIFY(!QFileInfo::exists(m_chosenFile));
    QCOMPARE(m_window->engine().treeFiles().Count(), 3);

    // A cancelled dialog writes nothing and says nothing.
    m_chosenFile.clear();
    menu = openMenu("treeFiles", 0);
    action(menu, u"&Save List As..."_s)->trigger();
    QCOMPARE(m_errors.size(), 1);
}

void tst_ResultMenus::ctrlCCopiesTheCurrentFile()
{
    QTreeView *files = tree("treeFiles");
    files->setFocus();
    files->setCurrentIndex(files->model()->index(2, 0));
    QTest::keyClick(files, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), u"http://www.a.test/ü.gif"_s);
}

void tst_ResultMenus::emptyFileTreeOffersNothingToCopy()
{
    m_window->engine().clearResults();
    QTreeView *files = tree("treeFiles");
    files->setFocus();
    QTest::keyClick(files, Qt::Key_F10, Qt::ShiftModifier);
    QMenu *menu = m_window->resultMenus().openMenu();
    QVERIFY(menu);
    for (const QAction *entry : menu->actions())
        QVERIFY2(entry->isSeparator() || !entry->isEnabled(), qPrintable(entry->text()));
}

void tst_ResultMenus::pageMenuGivesThePageAddress_data()
{
    QTest::addColumn<int>("childRow");
    QTest::addColumn<QString>("address");
    QTest::newRow("host") << -1 << u"http://www.a.test/"_s;
    QTest::newRow("page") << 1 << u"http://www.a.test/dir/b.htm"_s;
}

void tst_ResultMenus::pageMenuGivesThePageAddress()
{
    QFETCH(int, childRow);
    QFETCH(QString, address);
    QMenu *menu = openMenu("treePages", 0, childRow);
    QVERIFY(menu);
    action(menu, u"&Copy Address"_s)->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), address);

    menu = openMenu("treePages", 0, childRow);
    action(menu, u"Open in &Browser"_s)->trigger();
    QCOMPARE(m_opened, QStringList{address});
    // Opening a page changes none of the page states.
    QCOMPARE(m_window->engine().treePages().Image(2), NodeImage::Queued);
}

void tst_ResultMenus::jsonLinesSaveIsTheCommandLinesList()
{
    // One loopback site crawled by the window and by the command line; b.htm is
    // not served, so a failed page and its reason are compared too.
    TestHttpServer server;
    for (const char *name : {"index.htm", "a.htm"}) {
        QFile page(QStringLiteral(TROVEWICK_TEST_DATA "/sites/127.0.0.1/") + QLatin1StringView(name));
        QVERIFY(page.open(QIODevice::ReadOnly));
        server.route('/' + QByteArray(name), TestHttpServer::Response::html(page.readAll()));
    }
    const QString root = QString::fromLatin1(server.url("/index.htm"));
    CrawlEngine &engine = m_window->engine();
    engine.clearResults();
    engine.TimerKeepBusy().setInterval(10);
    engine.setRootText(root);
    engine.cmdCrawl_Click();
    QTRY_VERIFY_WITH_TIMEOUT(!engine.running() && engine.readsInFlight() == 0, 15000);
    QTemporaryDir dir;
    m_chosenFile = dir.filePath(u"list.jsonl"_s);
    action(openMenu("treeFiles", 0), u"&Save List As..."_s)->trigger();
    QFile saved(m_chosenFile);
    QVERIFY(saved.open(QIODevice::ReadOnly));

    QProcess cli;
    QSignalSpy finished(&cli, &QProcess::finished);
    cli.start(QStringLiteral(TROVEWICK_CLI), {u"--format"_s, u"jsonl"_s, u"--pages"_s, u"--interval"_s, u"0"_s, root});
    QVERIFY(finished.wait(15000));
    // The window's list is the command line's without its last status line.
    const QByteArray out = cli.readAllStandardOutput();
    const qsizetype status = out.lastIndexOf(R"({"type":"status")");
    QVERIFY2(status > 0 && out.contains(R"("reason":"404")"), out.constData());
    QCOMPARE(saved.readAll(), out.left(status));
}

QTEST_MAIN(tst_ResultMenus)
#include "tst_resultmenus.moc"
