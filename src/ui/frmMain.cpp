#include "ui/frmMain.h"

#include "common/Settings.h"
#include "crawl/CrawlEngine.h"
#include "crawl/NodeTree.h"
#include "net/HttpTransfer.h"
#include "net/WebSession.h"
#include "results/ResultWriter.h"
#include "settings/SettingsPersistence.h"
#include "sponsor/SponsorFeed.h"
#include "ui/AppFonts.h"
#include "ui/ClickLabel.h"
#include "ui/LinkRulesMenu.h"
#include "ui/NodeImageProxy.h"
#include "ui/ProductIcon.h"
#include "ui/ResultMenus.h"
#include "ui/frmAbout.h"
#include "ui/frmOptions.h"

#include <QAction>
#include <QEvent>
#include <QFileDialog>
#include <QFocusEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

namespace {

// Design boxes in twips (left, top, width, height) of the controls that keep them.
constexpr MainLayout::Box Label1Box{360, 180, 855, 255};
constexpr MainLayout::Box TxtRootBox{1320, 120, 4335, 330};
constexpr MainLayout::Box CmdCrawlBox{240, 600, 1455, 375};
constexpr MainLayout::Box CmdClearBox{1920, 600, 1455, 375};
constexpr MainLayout::Box Command1Box{3600, 600, 2055, 375};
// Start boxes of the controls the layout moves.
constexpr MainLayout::Box TreeFilesBox{0, 1320, 1695, 1095};
constexpr MainLayout::Box TreePagesBox{1800, 1320, 1935, 1095};
constexpr MainLayout::Box CmdLeftBox{0, 1080, 255, 255};
constexpr MainLayout::Box CmdRightBox{240, 1080, 255, 255};
constexpr MainLayout::Box LblAdBox{0, 3600, 5775, 255};

constexpr int ClientWidthTwips = 8175;
constexpr int ClientHeightTwips = 5100;

// A filled triangle for the pane arrows where the Marlett face is missing,
// pointing left or right and set against one edge of the box as the glyph would be.
QPixmap drawnArrow(bool pointsLeft, const QSize &box, const QColor &colour)
{
    QPixmap pixmap(box);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    const double h = box.height();
    const double mid = h / 2.0;
    const double depth = 4.5;
    const double half = 4.5;
    const double inner = pointsLeft ? box.width() - 4.0 : 4.0;
    const double tip = pointsLeft ? inner - depth : inner + depth;
    const QPointF triangle[3] = {{inner, mid - half}, {inner, mid + half}, {tip, mid}};
    painter.drawPolygon(triangle, 3);
    return pixmap;
}

using MainLayout::place;

} // namespace

frmMain::frmMain(const QUrl &feedUrl, QWidget *parent)
    : QMainWindow(parent), m_shellOpen(&modPublic::ShellOpen)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(DesignTitle);
    setWindowIcon(productIcon());
    setFont(AppFonts::tahoma());

    // 1. The transfer component every download goes through, handled by the engine.
    // One web session carries every read: the pages and the sponsor feed.
    m_session = new WebSession(this);
    m_txPages = new HttpTransfer(*m_session, ReadLimits::pages(), this);
    m_txPages->setObjectName(QStringLiteral("txPages"));
    m_engine = new CrawlEngine(*m_txPages, appSettings(), this);
    m_engine->setObjectName(QStringLiteral("engine"));
    m_engine->setTitle(DesignTitle);
    m_engine->setShellOpen([this](const QString &target) { openWithShell(target); });

    // 2. The sponsor feed, read once the window has loaded; the popup page it may
    // name comes through the same transfer component.
    m_sponsor = new SponsorFeed(*m_txPages, *m_session, feedUrl, SponsorFeed::FeedLimits, this);
    m_sponsor->setObjectName(QStringLiteral("docAdText"));
    m_sponsor->setShellOpen([this](const QString &target) { openWithShell(target); });

    createControls();
    createMenus();

    // 3. Both trees show their nodes with the shared pictures.
    m_pagesModel->setImageList(ImageList1);
    m_filesModel->setImageList(ImageList1);

    bindEngine();
    bindSponsorLine();

    resize(MainLayout::pixelsCovering(ClientWidthTwips),
           MainLayout::pixelsCovering(ClientHeightTwips) + menuBar()->sizeHint().height());
}

frmMain::~frmMain()
{
    // The views go before the models they show, and the models' engine before
    // the transfer component whose completions it handles. Controls being torn
    // down send no more events here.
    m_txtRoot->removeEventFilter(this);
    m_filesViewport->removeEventFilter(this);
    delete m_resultMenus;
    delete m_client;
    delete m_pagesModel;
    delete m_filesModel;
    delete m_sponsor;
    delete m_engine;
    delete m_txPages;
    delete m_session;
}

void frmMain::createControls()
{
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    setCentralWidget(m_client);

    const QFont sansSerif = AppFonts::msSansSerif();

    m_rootLabel = new QLabel(QStringLiteral("HTTP &Root"), m_client);
    m_rootLabel->setObjectName(QStringLiteral("Label1"));
    m_rootLabel->setFont(sansSerif);
    m_rootLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(m_rootLabel, Label1Box);

    m_txtRoot = new QLineEdit(m_client);
    m_txtRoot->setObjectName(QStringLiteral("txtRoot"));
    m_txtRoot->setFont(sansSerif);
    m_txtRoot->setToolTip(QStringLiteral("Where to begin the Trovewick"));
    m_txtRoot->installEventFilter(this);
    place(m_txtRoot, TxtRootBox);
    m_rootLabel->setBuddy(m_txtRoot);

    m_cmdCrawl = new QPushButton(CrawlCaption, m_client);
    m_cmdCrawl->setObjectName(QStringLiteral("cmdCrawl"));
    m_cmdCrawl->setFont(sansSerif);
    m_cmdCrawl->setToolTip(QStringLiteral("Start and stop Trovewick"));
    place(m_cmdCrawl, CmdCrawlBox);

    m_cmdClear = new QPushButton(QStringLiteral("C&lear Results"), m_client);
    m_cmdClear->setObjectName(QStringLiteral("cmdClear"));
    m_cmdClear->setFont(sansSerif);
    m_cmdClear->setToolTip(QStringLiteral("Clear found pages and files"));
    place(m_cmdClear, CmdClearBox);

    // Shown but never enabled: downloading found files is not offered.
    m_downloadChecked = new QPushButton(QStringLiteral("&Download Checked"), m_client);
    m_downloadChecked->setObjectName(QStringLiteral("Command1"));
    m_downloadChecked->setEnabled(false);
    place(m_downloadChecked, Command1Box);

    // Enter and Esc press nothing in this window.
    for (QPushButton *button : {m_cmdCrawl, m_cmdClear, m_downloadChecked}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    m_filesModel = new NodeImageProxy(this);
    m_filesModel->setObjectName(QStringLiteral("treeFilesModel"));
    m_filesModel->setSourceModel(&m_engine->treeFiles());
    m_treeFiles = createTree(QStringLiteral("treeFiles"), m_filesModel);
    m_treeFiles->setRootIsDecorated(false);
    m_treeFiles->setToolTip(QStringLiteral("Double-click to open link"));
    m_filesViewport = m_treeFiles->viewport();
    m_filesViewport->installEventFilter(this);
    place(m_treeFiles, TreeFilesBox);

    m_pagesModel = new NodeImageProxy(this);
    m_pagesModel->setObjectName(QStringLiteral("treePagesModel"));
    m_pagesModel->setSourceModel(&m_engine->treePages());
    m_treePages = createTree(QStringLiteral("treePages"), m_pagesModel);
    place(m_treePages, TreePagesBox);
    // The crawl's first host opens as its first page arrives, so the root's pages
    // and their states are in view. Further hosts stay closed until the user opens
    // them: a large crawl then adds its pages without relaying out the whole tree
    // for each finished page.
    connect(m_pagesModel, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &parent, int first, int) {
                if (first == 0 && parent.isValid() && parent.row() == 0 && !parent.parent().isValid())
                    m_treePages->expand(parent);
            });

    const bool marlett = AppFonts::hasMarlett();
    const QColor arrowColour = palette().color(QPalette::WindowText);
    m_cmdLeft = new ClickLabel(marlett ? QStringLiteral("3") : QString(), m_client);
    m_cmdLeft->setObjectName(QStringLiteral("cmdLeft"));
    m_cmdLeft->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_cmdRight = new ClickLabel(marlett ? QStringLiteral("4") : QString(), m_client);
    m_cmdRight->setObjectName(QStringLiteral("cmdRight"));
    m_cmdRight->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    place(m_cmdLeft, CmdLeftBox);
    place(m_cmdRight, CmdRightBox);
    for (ClickLabel *arrow : {m_cmdLeft, m_cmdRight}) {
        if (marlett)
            arrow->setFont(AppFonts::marlett(12));
        else
            arrow->setPixmap(drawnArrow(arrow == m_cmdLeft, arrow->size(), arrowColour));
    }
    connect(m_cmdLeft, &ClickLabel::clicked, this, &frmMain::cmdLeft_Click);
    connect(m_cmdRight, &ClickLabel::clicked, this, &frmMain::cmdRight_Click);

    m_lblAd = new ClickLabel(SponsorFeed::designText(), m_client);
    m_lblAd->setObjectName(QStringLiteral("lblAd"));
    // Sponsor texts come from the network and are shown literally: markup in
    // them is text, never rendered.
    m_lblAd->setTextFormat(Qt::PlainText);
    // Text at the top of its box, as the box may reach below the window's edge.
    m_lblAd->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    place(m_lblAd, LblAdBox);

    setTabOrder(m_txtRoot, m_cmdCrawl);
    setTabOrder(m_cmdCrawl, m_cmdClear);
    setTabOrder(m_cmdClear, m_downloadChecked);
    setTabOrder(m_downloadChecked, m_treeFiles);
    setTabOrder(m_treeFiles, m_treePages);

    ResultMenus::Hooks hooks;
    hooks.openCurrentFile = [this] { treeFiles_DblClick(); };
    hooks.openInBrowser = [this](const QString &address) { openWithShell(address); };
    hooks.chooseListFile = [this] {
        // The file's type decides the format; a name typed without a suffix
        // takes the one of the type chosen.
        QString type;
        const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save List As"),
                                                          QStringLiteral("found-files.txt"),
                                                          SavedFormats::dialogFilter(), &type);
        return SavedFormats::withSuffix(path, type);
    };
    hooks.reportSaveError = [this](const QString &text) { showWarning(text); };
    m_resultMenus = new ResultMenus(m_treeFiles, m_treePages, *m_engine, std::move(hooks), this);
}

QTreeView *frmMain::createTree(const QString &name, NodeImageProxy *model)
{
    auto *tree = new QTreeView(m_client);
    tree->setObjectName(name);
    tree->setFont(AppFonts::tahoma());
    tree->setHeaderHidden(true);
    // Every row is one line of text beside a 16 x 16 picture; telling the view so
    // keeps tens of thousands of nodes cheap to lay out.
    tree->setUniformRowHeights(true);
    tree->setIconSize(QSize(16, 16));
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setExpandsOnDoubleClick(true);
    tree->setModel(model);
    // Long addresses widen the column and bring a horizontal scroll bar rather
    // than being cut off; only the rows in view are measured, as measuring
    // thousands of rows on every change would stall a large crawl.
    tree->header()->setStretchLastSection(false);
    tree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    tree->header()->setResizeContentsPrecision(0);
    return tree;
}

void frmMain::createMenus()
{
    // Captions carry access keys only: the menus have no shortcut keys.
    m_fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    m_fileMenu->setObjectName(QStringLiteral("File"));
    m_exit = m_fileMenu->addAction(QStringLiteral("E&xit"));
    m_exit->setObjectName(QStringLiteral("Exit"));
    connect(m_exit, &QAction::triggered, this, &frmMain::Exit_Click);

    m_toolsMenu = menuBar()->addMenu(QStringLiteral("&Tools"));
    m_toolsMenu->setObjectName(QStringLiteral("Tools"));
    m_options = m_toolsMenu->addAction(QStringLiteral("&Options"));
    m_options->setObjectName(QStringLiteral("Options"));
    connect(m_options, &QAction::triggered, this, &frmMain::Options_Click);
    m_linkRules = new LinkRulesMenu(appSettings(), [this](const QString &description) { showWarning(description); },
                                    m_toolsMenu);
    m_toolsMenu->addMenu(m_linkRules);

    m_helpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
    m_helpMenu->setObjectName(QStringLiteral("Help"));
    m_onlineHelp = m_helpMenu->addAction(QStringLiteral("&Online Help"));
    m_onlineHelp->setObjectName(QStringLiteral("OnlineHelp"));
    connect(m_onlineHelp, &QAction::triggered, this, &frmMain::OnlineHelp_Click);
    m_about = m_helpMenu->addAction(QStringLiteral("&About"));
    m_about->setObjectName(QStringLiteral("About"));
    connect(m_about, &QAction::triggered, this, &frmMain::About_Click);
}

void frmMain::bindEngine()
{
    connect(m_engine, &CrawlEngine::titleChanged, this, &QWidget::setWindowTitle);
    connect(m_engine, &CrawlEngine::runningChanged, this, &frmMain::showRunning);
    connect(m_txtRoot, &QLineEdit::textChanged, m_engine, &CrawlEngine::setRootText);
    connect(m_cmdCrawl, &QPushButton::clicked, this, &frmMain::cmdCrawl_Click);
    connect(m_cmdClear, &QPushButton::clicked, this, &frmMain::cmdClear_Click);
    setWindowTitle(m_engine->title());
    showRunning(m_engine->running());
    m_engine->setRootText(m_txtRoot->text());
}

void frmMain::showRunning(bool running)
{
    m_cmdCrawl->setText(running ? StopCaption : CrawlCaption);
    m_linkRules->setCrawlRunning(running);
}

void frmMain::bindSponsorLine()
{
    connect(m_sponsor, &SponsorFeed::changed, this, &frmMain::showSponsorLine);
    connect(m_lblAd, &ClickLabel::clicked, m_sponsor, &SponsorFeed::lblAd_Click);
    showSponsorLine();
}

void frmMain::showSponsorLine()
{
    m_lblAd->setText(m_sponsor->lblAdText());
    QFont font = m_lblAd->font();
    QPalette palette = m_lblAd->palette();
    const bool link = m_sponsor->isLinkStyle();
    font.setUnderline(link);
    palette.setColor(QPalette::WindowText, link ? QColor(0, 0, 255) : this->palette().color(QPalette::WindowText));
    m_lblAd->setFont(font);
    m_lblAd->setPalette(palette);
}

void frmMain::Form_Load()
{
    // 4. Showing the window lays it out once.
    show();
    // 5. The crawl limits and lists for this run.
    LoadSettings(appSettings());
    m_linkRules->showSettings();
    // 6. The feed is handled when its data arrives.
    m_sponsor->load();
}

void frmMain::setShellOpen(modPublic::ShellOpenFn shellOpen)
{
    m_shellOpen = std::move(shellOpen);
}

void frmMain::openWithShell(const QString &target) const
{
    if (m_shellOpen)
        m_shellOpen(target);
}

QSize frmMain::outerSizeTwips() const
{
    const QSize outer = frameGeometry().size();
    return outer * MainLayout::TwipsPerPixel;
}

MainLayout::Panes frmMain::panes() const
{
    if (m_treeFiles->isHidden())
        return MainLayout::Panes::PagesOnly;
    if (m_treePages->isHidden())
        return MainLayout::Panes::FilesOnly;
    return MainLayout::Panes::Both;
}

void frmMain::Form_Resize()
{
    if (isMinimized() || m_inLayout)
        return;
    m_inLayout = true;

    // The frame the window manager draws is outside geometry(); the menu bar is
    // inside it. The outer size is the two together.
    const QSize frameExtra = frameGeometry().size() - size();
    m_frameAtLayout = frameExtra;
    const QSize minimum(MainLayout::pixelsCovering(MainLayout::MinOuterWidth) - frameExtra.width(),
                        MainLayout::pixelsCovering(MainLayout::MinOuterHeight) - frameExtra.height());
    if (minimumSize() != minimum)
        setMinimumSize(minimum);

    const QSize outer = outerSizeTwips();
    MainLayout::Result r = MainLayout::layout(outer.width(), outer.height(), panes());
    if (r.resized && !isMaximized() && !isFullScreen()) {
        resize(MainLayout::pixelsCovering(r.outerWidth) - frameExtra.width(),
               MainLayout::pixelsCovering(r.outerHeight) - frameExtra.height());
        // A platform that applies the size at once delivers its resize while this
        // run is still going; lay out for the size it gave.
        const QSize now = outerSizeTwips();
        if (now != outer && now.width() >= MainLayout::MinOuterWidth && now.height() >= MainLayout::MinOuterHeight)
            r = MainLayout::layout(now.width(), now.height(), panes());
    }

    m_cmdLeft->setVisible(r.cmdLeftVisible);
    m_cmdRight->setVisible(r.cmdRightVisible);
    m_treeFiles->setVisible(r.treeFilesVisible);
    m_treePages->setVisible(r.treePagesVisible);
    place(m_cmdLeft, r.cmdLeft);
    place(m_cmdRight, r.cmdRight);
    place(m_treeFiles, r.treeFiles);
    place(m_treePages, r.treePages);
    place(m_lblAd, r.lblAd);
    m_inLayout = false;
}

void frmMain::showWarning(const QString &text)
{
    QMessageBox box(QMessageBox::Warning, Vendor::ProductName, text, QMessageBox::Ok, this);
    box.exec();
}

void frmMain::cmdCrawl_Click()
{
    // Every page is read into the download folder: a crawl without one could
    // only fail page after page, so it does not start, and the user learns why.
    if (!m_engine->running() && !m_txPages->makeDownloadFolder()) {
        auto *box = new QMessageBox(QMessageBox::Warning, Vendor::ProductName,
                                    QStringLiteral("The crawl cannot start: %1.").arg(m_txPages->folderError()),
                                    QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return;
    }
    m_engine->cmdCrawl_Click();
}

void frmMain::cmdClear_Click()
{
    m_engine->clearResults();
}

void frmMain::cmdLeft_Click()
{
    if (!m_treePages->isHidden())
        m_treeFiles->hide();
    else
        m_treePages->show();
    Form_Resize();
}

void frmMain::cmdRight_Click()
{
    if (!m_treeFiles->isHidden())
        m_treePages->hide();
    else
        m_treeFiles->show();
    Form_Resize();
}

void frmMain::treeFiles_DblClick()
{
    const QModelIndexList selected = m_treeFiles->selectionModel()->selectedIndexes();
    if (selected.isEmpty())
        return;
    const QModelIndex source = m_filesModel->mapToSource(selected.first());
    NodeTree &files = m_engine->treeFiles();
    const int node = files.nodeIndex(source);
    if (!files.Contains(node))
        return;
    openWithShell(source.data(Qt::DisplayRole).toString());
    // Marked opened whatever the shell made of it.
    if (files.Contains(node))
        files.SetImage(node, NodeImage::OpenedFile);
}

void frmMain::txtRoot_GotFocus()
{
    m_txtRoot->selectAll();
    // A click places the cursor after the focus has arrived; select again once
    // the click is over.
    QTimer::singleShot(0, m_txtRoot, &QLineEdit::selectAll);
}

void frmMain::Exit_Click()
{
    close();
}

void frmMain::Options_Click()
{
    frmOptions dialog(appSettings(), this);
    dialog.setShellOpen([this](const QString &target) { openWithShell(target); });
    dialog.exec();
}

void frmMain::OnlineHelp_Click()
{
    openWithShell(Vendor::HelpAddress);
}

void frmMain::About_Click()
{
    frmAbout dialog(this);
    dialog.setShellOpen([this](const QString &target) { openWithShell(target); });
    dialog.exec();
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    // A menu closing over the box hands the focus back; it was never lost, so the
    // caret and selection stay as the user left them.
    if (watched == m_txtRoot && event->type() == QEvent::FocusIn
        && static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason)
        txtRoot_GotFocus();
    else if (watched == m_filesViewport && event->type() == QEvent::MouseButtonDblClick
             && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
        treeFiles_DblClick();
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void frmMain::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    // The first layout runs before the window manager has framed the window;
    // once the frame is known (it arrives with the move into the frame), the
    // outer size it gave is stale, so the window is laid out again.
    if (frameGeometry().size() - size() != m_frameAtLayout)
        Form_Resize();
}

void frmMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    Form_Resize();
}

void frmMain::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // Restoring a minimized window lays it out again.
    if (event->type() == QEvent::WindowStateChange && !isMinimized())
        Form_Resize();
}
