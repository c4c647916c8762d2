#pragma once

#include "crawl/CrawlScope.h"
#include "crawl/HtmlLinkScanner.h"
#include "crawl/NodeTree.h"
#include "crawl/PageParser.h"
#include "sponsor/PopupPage.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct AsyncProp;
class RobotsGate;
struct Settings;
class TransferComponent;

// The crawl: the page frontier and the found-file list (both node trees), the
// crawl command, the scheduler tick and the handling of finished reads. It owns
// the crawl's state (whether it runs, and the status line) and tells its view
// through signals; it never touches a widget.
class CrawlEngine final : public QObject, public LinkSink
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CrawlEngine)

public:
    static inline const QString FinishedSuffix = QStringLiteral(" [crawl finished]");
    static constexpr int TickIntervalMs = 1000;
    static constexpr int MaxReadsInFlight = 5;

    using ShellOpenFn = PopupPage::ShellOpenFn;

    // Why a crawl stopped.
    enum class StopReason {
        NothingLeft, // a tick found nothing queued and nothing in flight
        FileLimit,   // a file was offered to the full file list
        User,        // the crawl command
        Signal,      // the program was told to end (Ctrl-C)
    };
    // The reason as output names it: "nothing-left", "file-limit", "user", "signal".
    static QByteArray stopReasonWord(StopReason reason);

    // `transfer` and `settings` must outlive the engine; the engine handles every
    // FileReadComplete of `transfer`.
    CrawlEngine(TransferComponent &transfer, const Settings &settings, QObject *parent = nullptr);
    ~CrawlEngine() override;

    NodeTree &treePages() { return m_pages; }
    NodeTree &treeFiles() { return m_files; }
    const NodeTree &treePages() const { return m_pages; }
    const NodeTree &treeFiles() const { return m_files; }

    // The scheduler timer, on exactly while a crawl runs.
    QTimer &TimerKeepBusy() { return m_timerKeepBusy; }

    // True from the crawl command that starts a crawl until the one that stops it
    // (or stop(), the tick that finds nothing left, or a full file list).
    bool running() const { return m_running; }

    // The status line, shown as the window title. Empty until someone writes it;
    // the finishing tick stops the crawl, then appends FinishedSuffix to
    // whatever it holds.
    const QString &title() const { return m_title; }
    void setTitle(const QString &title);

    // The root box's text, offered to the frontier when a crawl starts.
    const QString &rootText() const { return m_rootText; }
    void setRootText(const QString &text) { m_rootText = text; }

    // Starts a crawl when idle, stops it when crawling.
    void cmdCrawl_Click();

    // Stops a running crawl for `reason`; does nothing when idle.
    void stop(StopReason reason);

    // Why the crawl last stopped, recorded before runningChanged(false) is
    // emitted; NothingLeft until a crawl has stopped.
    StopReason stopReason() const { return m_stopReason; }

    // Offers a URL to the frontier: a host node and a queued page under it,
    // within MaxPages and MaxDomain. Silently ignores what it cannot take.
    // Under standard link rules the URL is an address in LinkResolver's normal
    // form, which is the page's key (its text the path and query, its host node
    // the host with any port); once a crawl has started, only pages in the
    // scope its root sets are taken.
    void AddPage(QByteArray url) override;

    // Records a found file within MaxFiles; the first offer beyond the limit stops
    // a running crawl. Never raises.
    void AddFile(QByteArray url) override;

    // One scheduler tick: keeps up to five reads in flight and ends the crawl when
    // nothing is queued and nothing is in flight.
    void TimerKeepBusy_Timer();

    // Handles one finished read: a page is parsed and marked done, or marked
    // failed; a "SPONSOR" read becomes the popup page. The page node keeps the
    // read's status and why it failed (treePages' Status and Reason).
    // Under standard link rules the page node also keeps the address its read
    // ended at (treePages' Address), and links resolve against that address. An
    // answer that is not HTML leaves the page done with nothing scanned and the
    // reason NotHtml; a page that redirected to another page of the tree is done
    // without a scan; one whose scan gave up keeps the links found until then
    // and fails with the reason Parse.
    void txPages_FileReadComplete(const QString &strFileKey, int lngFileType, const AsyncProp &asyncProp,
                                  const QByteArray &strData);

    // Empties both trees and writes the status text. Reads still in flight are
    // forgotten: their completions delete their files and touch nothing.
    void clearResults();

    // "N files found / M pages found..." with the current counts.
    QString statusText() const;

    // The index each tick starts scanning at.
    int scanPosition() const { return m_scanPosition; }

    // Page reads started and not yet completed, forgotten ones included.
    int readsInFlight() const;

    // Off by default. When on, each host's robots.txt is read once before its
    // first page, and pages it refuses for "Trovewick" end failed without a read.
    void setRobotsHonoured(bool honoured);

    // The address of the page whose scan first listed the found file at this
    // index of treeFiles ("http://" and the page's key; under standard rules
    // the address its read ended at); empty for a file that was not listed by
    // a page scan.
    QByteArray foundOn(int fileIndex) const;
    // How a page scan under standard link rules found the file at this index of
    // treeFiles: "link" or "embed"; empty under classic rules.
    QByteArray foundHow(int fileIndex) const;

    // The popup page a sponsor read becomes, and how it is opened.
    void setShellOpen(ShellOpenFn shellOpen) { m_popupPage.setShellOpen(std::move(shellOpen)); }
    void setPopupPagePath(const QString &path) { m_popupPage.setPath(path); }
    const QString &popupPagePath() const { return m_popupPage.path(); }

Q_SIGNALS:
    void runningChanged(bool running);
    void titleChanged(const QString &title);
    // Emitted at the start of every scheduler tick.
    void ticked();
    // A page read was handled: `image` is Done or Failed.
    void pageCompleted(int index, int image, const QByteArray &key);
    // Every page read started has completed (none is in flight any more).
    void readsSettled();

private:
    struct PageScan;

    void setRunning(bool running);
    void crawlCommand(StopReason reasonToStop);
    void runTick();
    bool robotsLetRead(int page, int &inFlight);
    void handlePageRead(const AsyncProp &asyncProp, const QByteArray &strData, PageScan *scan);
    void markFailed(const QByteArray &strData, int status, ReadReason reason);
    bool standardRules() const;
    void addStandardPage(const QByteArray &address);
    void addFile(const QByteArray &url, QByteArrayView how);
    void startStandardRead(int page);
    void handleStandardPage(const AsyncProp &asyncProp, const QByteArray &strData, PageScan *scan);
    bool scanStandardPage(const AsyncProp &asyncProp, const QByteArray &address, PageScan *scan);
    void takeLinks(HtmlLinkScanner &scanner);
    void markPage(int page, int image, int status, ReadReason reason);

    TransferComponent &m_transfer;
    const Settings &m_settings;
    NodeTree m_pages;
    NodeTree m_files;
    QTimer m_timerKeepBusy;
    bool m_running = false;
    StopReason m_stopReason = StopReason::NothingLeft;
    QString m_title;
    QString m_rootText;
    int m_scanPosition = 0;
    QSet<QString> m_pageReads;      // request keys of page reads in flight
    QSet<QString> m_forgottenReads; // ... of reads started before the last clear
    PopupPage m_popupPage;
    QByteArray m_pageBeingScanned;     // the page whose links are being handled
    std::vector<QByteArray> m_foundOn; // by treeFiles index - 1
    std::vector<QByteArray> m_foundHow; // likewise; empty entries under classic rules
    std::optional<CrawlScope> m_scope; // standard rules: the running crawl's pages
    // Standard rules: addresses read through a redirect from another page's
    // address; each is a page already read, though no node has it as its key.
    QSet<QByteArray> m_readThroughRedirect;
    // Standard rules: the scans of page reads in flight, fed as their bodies
    // arrive, by request key. Each read's piece taker shares its scan.
    QHash<QString, std::shared_ptr<PageScan>> m_scans;
    std::unique_ptr<RobotsGate> m_robots; // only while robots.txt is honoured
};
