#include "crawl/CrawlEngine.h"

#include "common/AppError.h"
#include "common/AsciiText.h"
#include "common/Settings.h"
#include "common/WebText.h"
#include "crawl/LinkClassifier.h"
#include "crawl/LinkResolver.h"
#include "crawl/RobotsGate.h"
#include "net/TransferComponent.h"

#include <QByteArrayView>
#include <QFile>
#include <QScopeGuard>

#include <algorithm>

namespace {

const QByteArray HttpPrefix = QByteArrayLiteral("http://");
const QByteArray SponsorData = QByteArrayLiteral("SPONSOR");
// A saved page is handed to the standard rules' scanner this much at a time.
constexpr qint64 ScanPieceBytes = 64 * 1024;

// Only blanks are trimmed from the host and path parts; tabs and other
// characters belong to the address as written.
QByteArray trimBlanks(QByteArrayView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == ' ')
        ++begin;
    while (end > begin && text[end - 1] == ' ')
        --end;
    return text.sliced(begin, end - begin).toByteArray();
}

// The page a completion's data string names, fraction dropped; 0 when the text
// is no number or names no node. The range is tested on the number itself: a
// data string such as 1e300 has no int to convert to.
int pageIndexFrom(const QByteArray &strData, const NodeTree &pages)
{
    bool ok = false;
    const double value = strData.trimmed().toDouble(&ok);
    if (!ok || !(value >= 1 && value < double(pages.Count()) + 1))
        return 0;
    return int(value);
}

// A page's host node under standard rules: the host, with its port unless it
// is the scheme's own.
QByteArray hostKey(const AddressParts &parts)
{
    QByteArray host = parts.host.toByteArray();
    if (!parts.port.isEmpty())
        host += ':' + parts.port.toByteArray();
    return host;
}

} // namespace

// The scan of one page read under standard rules, begun with its first piece:
// the links wait in the scanner until the read completes, so a page whose read
// fails adds nothing.
struct CrawlEngine::PageScan
{
    QByteArray address; // in normal form, as the first piece came from it
    std::unique_ptr<HtmlLinkScanner> scanner;

    void feed(QByteArrayView finalUrl, QByteArrayView piece)
    {
        if (!scanner) {
            address = LinkResolver::normaliseRoot(finalUrl).value_or(finalUrl.toByteArray());
            scanner = std::make_unique<HtmlLinkScanner>(address);
        }
        scanner->feed(piece);
    }
};

CrawlEngine::CrawlEngine(TransferComponent &transfer, const Settings &settings, QObject *parent)
    : QObject(parent), m_transfer(transfer), m_settings(settings)
{
    m_timerKeepBusy.setInterval(TickIntervalMs);
    connect(&m_timerKeepBusy, &QTimer::timeout, this, &CrawlEngine::TimerKeepBusy_Timer);
    connect(&m_transfer, &TransferComponent::FileReadComplete, this,
            &CrawlEngine::txPages_FileReadComplete);
}

CrawlEngine::~CrawlEngine() = default;

void CrawlEngine::setTitle(const QString &title)
{
    if (title == m_title)
        return;
    m_title = title;
    Q_EMIT titleChanged(m_title);
}

void CrawlEngine::setRunning(bool running)
{
    if (running == m_running)
        return;
    m_running = running;
    Q_EMIT runningChanged(m_running);
}

QByteArray CrawlEngine::stopReasonWord(StopReason reason)
{
    switch (reason) {
    case StopReason::NothingLeft: return QByteArrayLiteral("nothing-left");
    case StopReason::FileLimit: return QByteArrayLiteral("file-limit");
    case StopReason::User: return QByteArrayLiteral("user");
    case StopReason::Signal: return QByteArrayLiteral("signal");
    }
    return {};
}

void CrawlEngine::cmdCrawl_Click()
{
    crawlCommand(StopReason::User);
}

void CrawlEngine::stop(StopReason reason)
{
    if (running())
        crawlCommand(reason);
}

void CrawlEngine::crawlCommand(StopReason reasonToStop)
{
    if (!running()) {
        if (standardRules()) {
            // The root is taken whatever the scope, which it then sets; a root
            // that is no http or https address adds nothing.
            m_scope.reset();
            const std::optional<QByteArray> root = LinkResolver::normaliseRoot(encodeTypedText(m_rootText));
            if (root) {
                addStandardPage(*root);
                m_scope.emplace(m_settings.Scope, *root);
            }
        } else {
            AddPage(encodeTypedText(m_rootText));
        }
        m_timerKeepBusy.start();
        setRunning(true);
    } else {
        m_timerKeepBusy.stop();
        m_stopReason = reasonToStop;
        setRunning(false);
    }
}

bool CrawlEngine::standardRules() const
{
    return m_settings.Rules == LinkRules::Standard;
}

void CrawlEngine::AddPage(QByteArray url)
{
    if (standardRules()) {
        // A crawl whose root was refused has no scope, and takes no page.
        if (m_scope ? m_scope->contains(url) : !running())
            addStandardPage(url);
        return;
    }
    // The limit is tested before anything is added, so one call may add both a
    // new host and its first page.
    if (m_pages.Count() >= m_settings.MaxPages)
        return;
    if (AsciiText::startsWithNoCase(url, HttpPrefix))
        url.remove(0, HttpPrefix.size());
    qsizetype slash = url.indexOf('/');
    if (slash < 0) {
        url.append('/');
        slash = url.size() - 1;
    }
    const QByteArray host = trimBlanks(QByteArrayView(url).first(slash));
    const QByteArray path = trimBlanks(QByteArrayView(url).sliced(slash));

    // A host seen before keeps its node; the refusal is the expected outcome.
    (void)m_pages.AddTopLevel(host, host, NodeImage::Domain);
    const int domain = m_pages.IndexOf(host);
    if (domain == 0 || m_pages.ChildCount(domain) >= m_settings.MaxDomain)
        return;
    // A page already known keeps its node and state: no page is fetched twice.
    (void)m_pages.AddChild(host, host + path, path, NodeImage::Queued);
}

void CrawlEngine::addStandardPage(const QByteArray &address)
{
    if (m_pages.Count() >= m_settings.MaxPages || m_readThroughRedirect.contains(address))
        return;
    const AddressParts parts = splitAddress(address);
    if (parts.host.isEmpty())
        return;
    const QByteArray host = hostKey(parts);
    (void)m_pages.AddTopLevel(host, host, NodeImage::Domain);
    const int domain = m_pages.IndexOf(host);
    if (domain == 0 || m_pages.ChildCount(domain) >= m_settings.MaxDomain)
        return;
    QByteArray text = parts.path.toByteArray();
    if (!parts.query.isEmpty())
        text += '?' + parts.query.toByteArray();
    const int page = m_pages.AddChild(host, address, text, NodeImage::Queued);
    if (page != 0)
        m_pages.SetAddress(page, address);
}

void CrawlEngine::AddFile(QByteArray url)
{
    addFile(url, {});
}

void CrawlEngine::addFile(const QByteArray &url, QByteArrayView how)
{
    // The limit comes before the duplicate test: once the list is full, any file
    // link stops a running crawl.
    if (m_files.Count() >= m_settings.MaxFiles) {
        stop(StopReason::FileLimit);
        return;
    }
    if (m_files.AddTopLevel(url, url, NodeImage::FoundFile) != 0) {
        m_foundOn.push_back(m_pageBeingScanned);
        m_foundHow.push_back(how.toByteArray());
    }
}

int CrawlEngine::readsInFlight() const
{
    return int(m_pageReads.size() + m_forgottenReads.size()) + (m_robots ? m_robots->readsInFlight() : 0);
}

QByteArray CrawlEngine::foundOn(int fileIndex) const
{
    if (fileIndex < 1 || size_t(fileIndex) > m_foundOn.size())
        return {};
    return m_foundOn[size_t(fileIndex - 1)];
}

QByteArray CrawlEngine::foundHow(int fileIndex) const
{
    if (fileIndex < 1 || size_t(fileIndex) > m_foundHow.size())
        return {};
    return m_foundHow[size_t(fileIndex - 1)];
}

void CrawlEngine::TimerKeepBusy_Timer()
{
    Q_EMIT ticked();
    try {
        runTick();
    } catch (const std::exception &) {
        // A failing tick ends silently; the next one runs normally.
    }
}

void CrawlEngine::runTick()
{
    if (m_scanPosition < 1)
        m_scanPosition = 1;

    // Counting pass: what is in flight, and where the earliest live page sits.
    // Once a live page has been met and every fetching page of the tree has been
    // counted, the rest of the pass could change neither figure, so it stops there.
    const int countedNodes = m_pages.Count();
    const int fetchingInTree = m_pages.CountWithImage(NodeImage::Fetching);
    const bool anyLive = fetchingInTree > 0 || m_pages.CountWithImage(NodeImage::Queued) > 0;
    int lowestActive = countedNodes;
    int inFlight = 0;
    bool liveSeen = false;
    for (int i = m_scanPosition; anyLive && i <= countedNodes; ++i) {
        const int image = m_pages.Image(i);
        if (image == NodeImage::Queued || image == NodeImage::Fetching) {
            if (i < lowestActive)
                lowestActive = i;
            liveSeen = true;
            if (image == NodeImage::Fetching)
                ++inFlight;
        }
        if (inFlight >= MaxReadsInFlight || (liveSeen && inFlight == fetchingInTree))
            break;
    }
    m_scanPosition = std::max(lowestActive, 1);
    // Reads of robots.txt files take places like page reads.
    if (m_robots)
        inFlight += m_robots->readsInFlight();

    if (inFlight < MaxReadsInFlight) {
        // Starting pass: queued pages go out in index order, which is the order
        // they were queued in. A page is marked fetching before its read is
        // requested, so an early completion finds it in flight.
        const int startNodes = m_pages.Count();
        for (int i = m_scanPosition; i <= startNodes; ++i) {
            if (m_pages.Image(i) != NodeImage::Queued)
                continue;
            if (m_robots && !robotsLetRead(i, inFlight)) {
                if (inFlight >= MaxReadsInFlight)
                    break;
                continue;
            }
            m_pages.SetImage(i, NodeImage::Fetching);
            if (standardRules()) {
                startStandardRead(i);
            } else {
                const QByteArray url = HttpPrefix + m_pages.Key(i);
                m_pageReads.insert(m_transfer.StartFileRead(url, url, 1, QByteArray::number(i)));
            }
            if (++inFlight >= MaxReadsInFlight)
                break;
        }
        if (inFlight == 0) {
            // The finishing title follows the stop, so whoever shows the titles
            // of a running crawl can tell it from theirs without reading it. A
            // tick run while idle starts a crawl here, as the crawl command does.
            const QString finished = m_title + FinishedSuffix;
            crawlCommand(StopReason::NothingLeft);
            setTitle(finished);
            return;
        }
    }
    setTitle(statusText());
}

void CrawlEngine::startStandardRead(int page)
{
    auto scan = std::make_shared<PageScan>();
    const QString key = m_transfer.StartPageRead(
        m_pages.Key(page), QByteArray::number(page),
        [scan](QByteArrayView finalUrl, QByteArrayView piece) { scan->feed(finalUrl, piece); });
    m_pageReads.insert(key);
    m_scans.insert(key, std::move(scan));
}

bool CrawlEngine::robotsLetRead(int page, int &inFlight)
{
    // Each scheme of a host has its own robots.txt.
    const QByteArrayView scheme = standardRules() ? splitAddress(m_pages.Key(page)).scheme : QByteArrayView("http");
    const QByteArray origin = scheme.toByteArray() + "://" + m_pages.Key(m_pages.ParentIndex(page));
    switch (m_robots->verdict(origin, m_pages.Text(page))) {
    case RobotsGate::Verdict::Read:
        return true;
    case RobotsGate::Verdict::Refuse:
        // Refused pages end as failed, without a read.
        m_pages.SetImage(page, NodeImage::Failed, 0, ReadReason::Robots);
        Q_EMIT pageCompleted(page, NodeImage::Failed, m_pages.Key(page));
        return false;
    case RobotsGate::Verdict::Asked:
        ++inFlight;
        return false;
    case RobotsGate::Verdict::Wait:
        return false;
    }
    return false;
}

void CrawlEngine::setRobotsHonoured(bool honoured)
{
    if (honoured && !m_robots)
        m_robots = std::make_unique<RobotsGate>(m_transfer);
    else if (!honoured)
        m_robots.reset();
}

void CrawlEngine::txPages_FileReadComplete(const QString &strFileKey, int, const AsyncProp &asyncProp,
                                           const QByteArray &strData)
{
    const std::shared_ptr<PageScan> scan = m_scans.take(strFileKey);
    if (m_robots && m_robots->take(strFileKey, asyncProp)) {
        // A host's robots.txt: its rules are kept, its pages go out on later ticks.
    } else if (m_forgottenReads.remove(strFileKey)) {
        // Started before the results were cleared: its index names another page now.
        if (!asyncProp.value.isEmpty())
            QFile::remove(asyncProp.value);
    } else {
        const bool pageRead = m_pageReads.remove(strFileKey);
        if (strData == SponsorData) {
            // A failed sponsor read has no file to show; nothing else to do.
            if (!asyncProp.value.isEmpty())
                m_popupPage.PopupSponsorPage(asyncProp.value);
        } else {
            handlePageRead(asyncProp, strData, scan.get());
        }
        if (!pageRead)
            return;
    }
    if (readsInFlight() == 0)
        Q_EMIT readsSettled();
}

void CrawlEngine::handlePageRead(const AsyncProp &asyncProp, const QByteArray &strData, PageScan *scan)
{
    if (standardRules()) {
        handleStandardPage(asyncProp, strData, scan);
        return;
    }
    // What the page fails with, should it: the read's reason until a body is
    // there to scan, then the scan's.
    ReadReason failure = asyncProp.reason;
    try {
        if (asyncProp.value.isEmpty())
            throw AppError(ErrorNumber::FileNotFound, QStringLiteral("txPages"),
                           QStringLiteral("File not found"));
        failure = ReadReason::Parse;
        m_pageBeingScanned = asyncProp.url;
        const auto scanned = qScopeGuard([this] { m_pageBeingScanned.clear(); });
        modParse::ParsePageFile(asyncProp.value, asyncProp.url, modParse::linkListsFrom(m_settings), *this);
        const int page = pageIndexFrom(strData, m_pages);
        if (page == 0)
            throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("treePages"),
                           QStringLiteral("Index out of bounds"));
        m_pages.SetImage(page, NodeImage::Done, asyncProp.status, ReadReason::None);
        Q_EMIT pageCompleted(page, NodeImage::Done, m_pages.Key(page));
    } catch (const std::exception &) {
        markFailed(strData, asyncProp.status, failure);
    }
}

void CrawlEngine::handleStandardPage(const AsyncProp &asyncProp, const QByteArray &strData, PageScan *scan)
{
    const auto removeBody = qScopeGuard([&asyncProp] {
        if (!asyncProp.value.isEmpty())
            QFile::remove(asyncProp.value);
    });
    const int page = pageIndexFrom(strData, m_pages);
    if (page == 0)
        return;
    // Where the answer came from, in the form the tree's keys have.
    const QByteArray &answered = asyncProp.finalUrl.isEmpty() ? asyncProp.url : asyncProp.finalUrl;
    const QByteArray address = LinkResolver::normaliseRoot(answered).value_or(answered);
    m_pages.SetAddress(page, address);

    if (asyncProp.reason == ReadReason::NotHtml) {
        markPage(page, NodeImage::Done, asyncProp.status, ReadReason::NotHtml);
    } else if (asyncProp.value.isEmpty() && !asyncProp.streamed) {
        markPage(page, NodeImage::Failed, asyncProp.status, asyncProp.reason);
    } else if (const int known = m_pages.IndexOf(address);
               (known != 0 && known != page) || m_readThroughRedirect.contains(address)) {
        // Redirected to a page the tree holds, or one another redirect led to:
        // that read scans it.
        markPage(page, NodeImage::Done, asyncProp.status, ReadReason::None);
    } else {
        // The page at the final address is this one: a link to it later is
        // no new page (as with "/dir" moved to "/dir/").
        if (known == 0)
            m_readThroughRedirect.insert(address);
        const bool whole = scanStandardPage(asyncProp, address, scan);
        markPage(page, whole ? NodeImage::Done : NodeImage::Failed, asyncProp.status,
                 whole ? ReadReason::None : ReadReason::Parse);
    }
}

bool CrawlEngine::scanStandardPage(const AsyncProp &asyncProp, const QByteArray &address, PageScan *scan)
{
    m_pageBeingScanned = address;
    const auto scanned = qScopeGuard([this] { m_pageBeingScanned.clear(); });
    // A scan fed as the body arrived has seen it all; otherwise the saved page
    // is scanned now (a transfer that hands no pieces over), or there was no
    // body to hand over.
    HtmlLinkScanner *scanner = scan && scan->address == address ? scan->scanner.get() : nullptr;
    std::unique_ptr<HtmlLinkScanner> fromFile;
    bool readWhole = true;
    if (!scanner) {
        fromFile = std::make_unique<HtmlLinkScanner>(address);
        scanner = fromFile.get();
        if (!asyncProp.streamed) {
            QFile file(asyncProp.value);
            if (!file.open(QIODevice::ReadOnly))
                return false;
            for (QByteArray piece = file.read(ScanPieceBytes); !piece.isEmpty(); piece = file.read(ScanPieceBytes))
                scanner->feed(piece);
            readWhole = file.error() == QFileDevice::NoError;
        }
    }
    scanner->finish();
    takeLinks(*scanner);
    return readWhole && !scanner->gaveUp();
}

void CrawlEngine::takeLinks(HtmlLinkScanner &scanner)
{
    const LinkClassifier classifier(m_settings.Search, m_settings.Follow);
    for (const FoundLink &link : scanner.takeLinks()) {
        const LinkKind kind = classifier.classify(link.address);
        if (kind.page)
            AddPage(link.address);
        if (kind.file)
            addFile(link.address, linkHowName(link.how));
    }
}

void CrawlEngine::markPage(int page, int image, int status, ReadReason reason)
{
    m_pages.SetImage(page, image, status, reason);
    Q_EMIT pageCompleted(page, image, m_pages.Key(page));
}

void CrawlEngine::markFailed(const QByteArray &strData, int status, ReadReason reason)
{
    const int page = pageIndexFrom(strData, m_pages);
    if (page == 0)
        return;
    m_pages.SetImage(page, NodeImage::Failed, status, reason);
    Q_EMIT pageCompleted(page, NodeImage::Failed, m_pages.Key(page));
}

void CrawlEngine::clearResults()
{
    m_pages.Clear();
    m_files.Clear();
    m_foundOn.clear();
    m_foundHow.clear();
    m_scans.clear();
    m_readThroughRedirect.clear();
    // Completions of reads started before the clear carry indexes that now name
    // other pages or none; they are recognised by their request key and dropped.
    m_forgottenReads.unite(m_pageReads);
    m_pageReads.clear();
    // Pages queued from now on start at index 1 again; a kept scan position would
    // skip them.
    m_scanPosition = 1;
    setTitle(statusText());
}

QString CrawlEngine::statusText() const
{
    return QString::number(m_files.Count()) + QStringLiteral(" files found / ")
        + QString::number(m_pages.Count()) + QStringLiteral(" pages found...");
}
