#pragma once

#include <QMenu>
#include <QObject>
#include <QPointer>

#include <functional>

class CrawlEngine;
class NodeTree;
class QModelIndex;
class QPoint;
class QTreeView;

// The context menus of the two result trees, so the results can be taken away:
// on a found file "&Open", "&Copy Address", "Copy &All Addresses" and
// "&Save List As..."; on a page "&Copy Address" and "Open in &Browser". They
// open with the right mouse button (on the item under it), with the Menu key
// or with Shift+F10 (on the current item). Addresses are copied as the trees
// display them, one per line with LF line ends, in list order. The list is
// saved by its file's type: so as text (*.txt, and any other name), or as JSON
// Lines (*.jsonl), the command line's --format jsonl --pages without its last
// status line: each file with its page, then each page node with its state
// and why it failed.
class ResultMenus final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ResultMenus)

public:
    // What the menus hand back to the window.
    struct Hooks
    {
        std::function<void()> openCurrentFile;                // what a double-click does
        std::function<void(const QString &)> openInBrowser;   // a page's address
        std::function<QString()> chooseListFile;              // empty: cancelled
        std::function<void(const QString &)> reportSaveError; // the reason, for a message box
    };

    // `files` and `pages` show the engine's treeFiles and treePages through
    // proxies that keep their rows; all must outlive the menus.
    ResultMenus(QTreeView *files, QTreeView *pages, const CrawlEngine &engine, Hooks hooks,
                QObject *parent = nullptr);
    ~ResultMenus() override;

    // Every found file, one per line, in list order.
    QString allFileAddresses() const;
    // Writes the list to `path` in the format its name says; on failure returns
    // false and says why.
    bool saveFileList(const QString &path, QString *reason) const;

    // The menu on screen, if any; tests pick its actions.
    QMenu *openMenu() const { return m_menu; }
    // The window's part; tests replace the file dialog and the message box.
    Hooks &hooks() { return m_hooks; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showMenu(QTreeView *tree, const QModelIndex &item, const QPoint &viewportPos);
    void showMenuForCurrent(QTreeView *tree);
    QString addressOf(QTreeView *tree, const QModelIndex &item) const;
    void saveListAs();

    const CrawlEngine &m_engine;
    QTreeView *m_files;
    const NodeTree &m_fileTree;
    QTreeView *m_pages;
    const NodeTree &m_pageTree;
    Hooks m_hooks;
    QPointer<QMenu> m_menu;
};
