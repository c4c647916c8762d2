#include "app/CliCrawl.h"

#include "app/StatusLine.h"
#include "app/TerminationSignals.h"

#include "common/AppError.h"
#include "common/Settings.h"
#include "crawl/CrawlEngine.h"
#include "crawl/PageParser.h"
#include "net/DownloadFolder.h"
#include "net/HttpTransfer.h"
#include "net/WebSession.h"
#include "results/TextLines.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

void writeLine(FILE *stream, const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

// Records what a page scan hands out, in scan order.
class PrintingSink final : public LinkSink
{
public:
    explicit PrintingSink(CliOutput &output) : m_output(output) {}
    void AddPage(QByteArray url) override { m_output.classifiedLink({QByteArrayLiteral("page"), url}); }
    void AddFile(QByteArray url) override { m_output.classifiedLink({QByteArrayLiteral("file"), url}); }

private:
    CliOutput &m_output;
};

void printError(const QString &text)
{
    writeLine(stderr, "trovewick-cli: " + text.toLocal8Bit());
}

} // namespace

CliCrawl::CliCrawl(const CliOptions &options, const Settings &settings, QObject *parent)
    : QObject(parent),
      m_signals(std::make_unique<TerminationSignals>(std::initializer_list<int>{SIGINT, SIGTERM, SIGHUP})),
      m_options(options), m_session(std::make_unique<WebSession>()),
      m_transfer(std::make_unique<HttpTransfer>(*m_session)),
      m_engine(std::make_unique<CrawlEngine>(*m_transfer, settings)), m_output(options.format)
{
    if (!m_options.quiet)
        m_status = std::make_unique<StatusLine>(::isatty(STDERR_FILENO) == 1);
    if (m_options.intervalMs > 0) {
        m_engine->TimerKeepBusy().setInterval(m_options.intervalMs);
    } else {
        // No pause between ticks: a tick runs right after the engine has handled
        // each finished read, in the same turn of the event loop, rather than a
        // zero timer spinning the loop while reads are on their way. The timer
        // keeps its second as a safety net.
        connect(m_transfer.get(), &TransferComponent::FileReadComplete, this, &CliCrawl::tickNow);
    }
    connect(&m_engine->treeFiles(), &QAbstractItemModel::rowsInserted, this, &CliCrawl::onFileAdded);
    connect(m_engine.get(), &CrawlEngine::ticked, this, &CliCrawl::onTick);
    connect(m_engine.get(), &CrawlEngine::titleChanged, this, &CliCrawl::showStatus);
    connect(m_engine.get(), &CrawlEngine::pageCompleted, this, &CliCrawl::onPageCompleted);
    connect(m_engine.get(), &CrawlEngine::runningChanged, this, &CliCrawl::onRunningChanged);
    connect(m_engine.get(), &CrawlEngine::readsSettled, this, &CliCrawl::finishWhenSettled);
    connect(m_signals.get(), &TerminationSignals::received, this, &CliCrawl::onSignal);
}

CliCrawl::~CliCrawl()
{
}

bool CliCrawl::start()
{
    // Every page is read into the download folder: without one the crawl could
    // only fail page after page and call that finished.
    if (!m_transfer->makeDownloadFolder()) {
        printError(m_transfer->folderError());
        return false;
    }
    // Every file is open before any is emptied: a run that cannot start leaves
    // an earlier run's files as they were.
    const bool opened = m_output.open(m_options.outputFile)
        && (m_options.eventsFile.isEmpty() || m_events.open(m_options.eventsFile));
    if (!opened || !m_output.truncate() || !m_events.truncate()) {
        printError(writeError());
        return false;
    }
    m_engine->setRobotsHonoured(m_options.honourRobots);
    m_engine->setRootText(m_options.root);
    m_engine->cmdCrawl_Click();
    if (m_options.intervalMs == 0)
        tickNow();
    return true;
}

void CliCrawl::tickNow()
{
    if (m_engine->running())
        m_engine->TimerKeepBusy_Timer();
}

void CliCrawl::onFileAdded(const QModelIndex &parent, int first, int last)
{
    // Plain lines go out the moment a file is listed. A JSON object also names
    // the page the file was found on, which the engine records just after
    // listing it: those go out once the page's read is handled (writeFoundFiles).
    if (m_options.format != CliOptions::Format::Text)
        return;
    const NodeTree &files = m_engine->treeFiles();
    for (int row = first; row <= last; ++row) {
        m_output.foundFile({files.Key(files.nodeIndex(files.index(row, 0, parent))), QByteArray()});
        ++m_filesWritten;
    }
    outputFailed();
}

void CliCrawl::writeFoundFiles()
{
    while (m_filesWritten < m_engine->treeFiles().Count())
        m_output.foundFile(fileRecord(*m_engine, ++m_filesWritten));
}

QString CliCrawl::writeError() const
{
    return m_output.failed() ? m_output.errorText() : m_events.errorText();
}

bool CliCrawl::outputFailed()
{
    if (!m_output.failed() && !m_events.failed())
        return false;
    // The results and the log asked for are what the crawl is for: without
    // them it ends at once, as on a second Ctrl-C, and says why.
    if (!m_finished) {
        m_finished = true;
        if (m_status)
            m_status->breakLine();
        printError(writeError());
        QCoreApplication::exit(1);
    }
    return true;
}

void CliCrawl::onTick()
{
    writeEvent(QByteArrayLiteral("tick"));
}

void CliCrawl::onPageCompleted(int index, int image, const QByteArray &key)
{
    writeEvent(nodeLine(index, image, key));
    writeFoundFiles();
    outputFailed();
}

void CliCrawl::writeEvent(const QByteArray &line)
{
    m_events.write(line + '\n');
    outputFailed();
}

void CliCrawl::onRunningChanged(bool running)
{
    if (!running)
        finishWhenSettled();
}

void CliCrawl::onSignal(int signalNumber)
{
    // A second Ctrl-C, or a request to terminate or hang up: the user (or the
    // system) does not want to wait for the reads in flight. Leaving the event
    // loop cancels them and removes their files.
    if (signalNumber != SIGINT || ++m_interrupts >= 2) {
        std::fputc('\n', stderr);
        QCoreApplication::exit(128 + signalNumber);
        return;
    }
    m_engine->stop(CrawlEngine::StopReason::Signal);
    const int reads = m_engine->readsInFlight();
    if (reads > 0) {
        if (m_status)
            m_status->breakLine();
        writeLine(stderr, "trovewick-cli: crawl stopped, waiting for " + QByteArray::number(reads)
                              + (reads == 1 ? " read" : " reads") + " in flight (Ctrl-C again quits)");
    }
}

void CliCrawl::showStatus(const QString &status)
{
    // The window's finishing title, written once the crawl has stopped, keeps
    // the counts of the tick before; the crawler's own last line replaces it
    // (finish).
    if (!m_status || m_finished || !m_engine->running())
        return;
    m_status->show(status, m_engine->treePages().Count());
}

void CliCrawl::finishWhenSettled()
{
    // Checked once the current handler has run to its end: a crawl stopped by the
    // file limit stops in the middle of a page scan, and that page is still to be
    // marked done.
    QMetaObject::invokeMethod(
        this,
        [this] {
            // The crawl is over once it is stopped and no read it started is still out.
            if (!m_finished && !m_engine->running() && m_engine->readsInFlight() == 0)
                finish();
        },
        Qt::QueuedConnection);
}

void CliCrawl::finish()
{
    m_finished = true;
    // The true counts once every read is in, and why the crawl stopped. The title
    // the engine wrote last can be older: a stop by the file limit or the user
    // writes none, and reads handled since the last tick add files and pages.
    QString last = m_engine->statusText();
    switch (m_engine->stopReason()) {
    case CrawlEngine::StopReason::FileLimit: last += QStringLiteral(" [crawl stopped: file limit reached]"); break;
    // Ctrl-C is how a person stops the command line's crawl.
    case CrawlEngine::StopReason::Signal:
    case CrawlEngine::StopReason::User: last += QStringLiteral(" [crawl stopped by the user]"); break;
    case CrawlEngine::StopReason::NothingLeft: last += CrawlEngine::FinishedSuffix; break;
    }
    if (m_status)
        m_status->finish(m_engine->statusText(), m_engine->treePages().Count(), last);
    writeFoundFiles();
    if (m_options.printPages) {
        const NodeTree &pages = m_engine->treePages();
        for (int i = 1; i <= pages.Count(); ++i)
            m_output.pageNode(pageRecord(pages, i));
    }
    m_output.finalStatus(last);
    if (!m_output.close() || !m_events.close()) {
        printError(writeError());
        QCoreApplication::exit(1);
        return;
    }
    QCoreApplication::exit(0);
}

int printLinkClassification(const CliOptions &options, const Settings &settings)
{
    CliOutput output(options.format);
    if (!output.open(options.outputFile)) {
        printError(output.errorText());
        return 1;
    }
    // The scan deletes the file it reads, so it works on a copy: the saved page
    // stays. The copy goes in a download folder like a crawl's pages, so that
    // one left by a run that was killed is removed by a later run.
    const DownloadFolder scratch;
    if (!scratch.isValid()) {
        printError(scratch.errorString());
        return 1;
    }
    const QString copy = scratch.filePath(QStringLiteral("page"));
    if (!QFile::copy(options.pageFile, copy)) {
        printError(QStringLiteral("cannot read ") + options.pageFile);
        return 1;
    }
    if (!output.truncate()) {
        printError(output.errorText());
        return 1;
    }
    PrintingSink sink(output);
    int exitCode = 0;
    try {
        modParse::ParsePageFile(copy, options.pageUrl.toUtf8(), modParse::linkListsFrom(settings), sink);
    } catch (const AppError &error) {
        printError(error.description() + QStringLiteral(" (error ") + QString::number(error.number()) + u')');
        exitCode = 1;
    }
    if (!output.close()) {
        printError(output.errorText());
        return 1;
    }
    return exitCode;
}
