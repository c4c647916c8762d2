#pragma once

#include "ui/ImageList.h"
#include "ui/MainLayout.h"
#include "ui/ShellOpen.h"
#include "ui/Vendor.h"

#include <QMainWindow>
#include <QUrl>

class ClickLabel;
class CrawlEngine;
class HttpTransfer;
class LinkRulesMenu;
class NodeImageProxy;
class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTreeView;
class ResultMenus;
class SponsorFeed;
class WebSession;

// The main window: the root box, the crawl and clear commands, the two result
// trees, the pane arrows, the sponsor line and the menus. It is a view of the
// crawl engine and the sponsor feed: the title is the engine's status line, the
// crawl button's caption the engine's running flag, the trees the engine's models.
class frmMain final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmMain)

public:
    // The crawl button's caption while the engine is idle and while it runs.
    static inline const QString CrawlCaption = QStringLiteral("&Crawl");
    static inline const QString StopCaption = QStringLiteral("Stop &Crawl");
    // The title the window is designed with; the engine's status line starts
    // from it, so a crawl that finishes before any status is written shows it
    // with the finishing suffix.
    static inline const QString DesignTitle = Vendor::ProductTitle;

    // Builds the window with its transfer component, crawl engine and sponsor feed
    // (start-up steps 1 to 3). `feedUrl` is where the sponsor feed is read from.
    explicit frmMain(const QUrl &feedUrl = QUrl(Vendor::FeedAddress), QWidget *parent = nullptr);
    ~frmMain() override;

    // The rest of the start-up: shows the window, loads the settings and starts
    // reading the sponsor feed.
    void Form_Load();

    // Replaces the shell for everything the window and its dialogs open.
    void setShellOpen(modPublic::ShellOpenFn shellOpen);

    CrawlEngine &engine() { return *m_engine; }
    SponsorFeed &sponsorFeed() { return *m_sponsor; }
    ResultMenus &resultMenus() { return *m_resultMenus; }

    // The outer size in twips, as the layout sees it.
    QSize outerSizeTwips() const;
    MainLayout::Panes panes() const;

    // Handlers, public so that tests drive them the way the events do.
    void Form_Resize();
    void cmdCrawl_Click();
    void cmdClear_Click();
    void cmdLeft_Click();
    void cmdRight_Click();
    void treeFiles_DblClick();
    void txtRoot_GotFocus();
    void Exit_Click();
    void Options_Click();
    void OnlineHelp_Click();
    void About_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void createControls();
    void createMenus();
    void bindEngine();
    void showRunning(bool running);
    void bindSponsorLine();
    void showSponsorLine();
    QTreeView *createTree(const QString &name, NodeImageProxy *model);
    void openWithShell(const QString &target) const;
    // A warning in a message box over the window, waited for.
    void showWarning(const QString &text);

    modPublic::ShellOpenFn m_shellOpen;
    ImageList ImageList1;

    WebSession *m_session = nullptr;
    HttpTransfer *m_txPages = nullptr;
    CrawlEngine *m_engine = nullptr;
    SponsorFeed *m_sponsor = nullptr;
    NodeImageProxy *m_pagesModel = nullptr;
    NodeImageProxy *m_filesModel = nullptr;
    ResultMenus *m_resultMenus = nullptr;

    QWidget *m_client = nullptr;
    QLabel *m_rootLabel = nullptr;
    QLineEdit *m_txtRoot = nullptr;
    QPushButton *m_cmdCrawl = nullptr;
    QPushButton *m_cmdClear = nullptr;
    QPushButton *m_downloadChecked = nullptr;
    QTreeView *m_treeFiles = nullptr;
    QWidget *m_filesViewport = nullptr;
    QTreeView *m_treePages = nullptr;
    ClickLabel *m_cmdLeft = nullptr;
    ClickLabel *m_cmdRight = nullptr;
    ClickLabel *m_lblAd = nullptr;

    QMenu *m_fileMenu = nullptr;
    QMenu *m_toolsMenu = nullptr;
    QMenu *m_helpMenu = nullptr;
    QAction *m_exit = nullptr;
    QAction *m_options = nullptr;
    LinkRulesMenu *m_linkRules = nullptr;
    QAction *m_onlineHelp = nullptr;
    QAction *m_about = nullptr;

    bool m_inLayout = false;
    QSize m_frameAtLayout; // the frame the last layout measured the outer size with
};
