#include "ui/ResultMenus.h"

#include "common/WebText.h"
#include "crawl/CrawlEngine.h"
#include "crawl/NodeTree.h"
#include "results/ResultWriter.h"

#include <QAbstractProxyModel>
#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QSaveFile>
#include <QShortcut>
#include <QTreeView>

namespace {

// The node behind a view's index, through the proxy the view shows.
int nodeOf(const QTreeView *tree, const NodeTree &nodes, const QModelIndex &item)
{
    const auto *proxy = qobject_cast<const QAbstractProxyModel *>(tree->model());
    return nodes.nodeIndex(proxy ? proxy->mapToSource(item) : item);
}

void copyToClipboard(const QString &text)
{
    QGuiApplication::clipboard()->setText(text);
}

} // namespace

ResultMenus::ResultMenus(QTreeView *files, QTreeView *pages, const CrawlEngine &engine, Hooks hooks,
                         QObject *parent)
    : QObject(parent), m_engine(engine), m_files(files), m_fileTree(engine.treeFiles()), m_pages(pages),
      m_pageTree(engine.treePages()), m_hooks(std::move(hooks))
{
    for (QTreeView *tree : {m_files, m_pages}) {
        tree->viewport()->installEventFilter(this);
        // The Menu key arrives as a context-menu event; Shift+F10 does not.
        auto *shortcut = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), tree, nullptr, nullptr,
                                       Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, tree] { showMenuForCurrent(tree); });
    }
}

ResultMenus::~ResultMenus()
{
    delete m_menu;
}

bool ResultMenus::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ContextMenu)
        return QObject::eventFilter(watched, event);
    QTreeView *tree = watched == m_files->viewport() ? m_files : watched == m_pages->viewport() ? m_pages : nullptr;
    if (!tree)
        return QObject::eventFilter(watched, event);
    const auto *menuEvent = static_cast<QContextMenuEvent *>(event);
    if (menuEvent->reason() == QContextMenuEvent::Mouse) {
        const QModelIndex item = tree->indexAt(menuEvent->pos());
        if (item.isValid())
            tree->setCurrentIndex(item);
        showMenu(tree, item, menuEvent->pos());
    } else {
        showMenuForCurrent(tree);
    }
    return true;
}

void ResultMenus::showMenuForCurrent(QTreeView *tree)
{
    const QModelIndex current = tree->currentIndex();
    const QRect box = tree->visualRect(current);
    showMenu(tree, current, current.isValid() ? box.bottomLeft() : QPoint(0, 0));
}

void ResultMenus::showMenu(QTreeView *tree, const QModelIndex &item, const QPoint &viewportPos)
{
    delete m_menu;
    const QString address = addressOf(tree, item);
    auto *menu = new QMenu(tree);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (tree == m_files) {
        const QPersistentModelIndex target(item);
        QAction *open = menu->addAction(QStringLiteral("&Open"), this, [this, target] {
            // The item the menu was opened on, even if the selection moved since.
            if (!target.isValid())
                return;
            m_files->setCurrentIndex(target);
            if (m_hooks.openCurrentFile)
                m_hooks.openCurrentFile();
        });
        QAction *copy = menu->addAction(QStringLiteral("&Copy Address"), this,
                                        [address] { copyToClipboard(address); });
        open->setEnabled(!address.isEmpty());
        copy->setEnabled(!address.isEmpty());
        menu->addSeparator();
        QAction *copyAll = menu->addAction(QStringLiteral("Copy &All Addresses"), this,
                                           [this] { copyToClipboard(allFileAddresses()); });
        QAction *save = menu->addAction(QStringLiteral("&Save List As..."), this, &ResultMenus::saveListAs);
        copyAll->setEnabled(m_fileTree.Count() > 0);
        save->setEnabled(m_fileTree.Count() > 0);
    } else {
        if (address.isEmpty()) {
            delete menu;
            return;
        }
        menu->addAction(QStringLiteral("&Copy Address"), this, [address] { copyToClipboard(address); });
        menu->addAction(QStringLiteral("Open in &Browser"), this, [this, address] {
            if (m_hooks.openInBrowser)
                m_hooks.openInBrowser(address);
        });
    }
    m_menu = menu;
    menu->popup(tree->viewport()->mapToGlobal(viewportPos));
}

QString ResultMenus::addressOf(QTreeView *tree, const QModelIndex &item) const
{
    if (!item.isValid())
        return {};
    if (tree == m_files) {
        const int node = nodeOf(tree, m_fileTree, item);
        return m_fileTree.Contains(node) ? decodeWebText(m_fileTree.Key(node)) : QString();
    }
    const int node = nodeOf(tree, m_pageTree, item);
    if (!m_pageTree.Contains(node))
        return {};
    // A page is read as "http://" and its key; a host stands for its root.
    QByteArray address = "http://" + m_pageTree.Key(node);
    if (m_pageTree.ParentIndex(node) == 0)
        address += '/';
    return decodeWebText(address);
}

QString ResultMenus::allFileAddresses() const
{
    return QString::fromUtf8(resultList(m_engine, *ResultWriter::create(ResultWriter::Format::AddressList)));
}

bool ResultMenus::saveFileList(const QString &path, QString *reason) const
{
    QSaveFile file(path);
    const QByteArray bytes = resultList(m_engine, *ResultWriter::create(SavedFormats::forFileName(path)));
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (reason)
        *reason = file.errorString();
    return false;
}

void ResultMenus::saveListAs()
{
    const QString path = m_hooks.chooseListFile ? m_hooks.chooseListFile() : QString();
    if (path.isEmpty())
        return;
    QString reason;
    if (!saveFileList(path, &reason) && m_hooks.reportSaveError)
        m_hooks.reportSaveError(QStringLiteral("The list could not be saved to %1:\n%2").arg(path, reason));
}
