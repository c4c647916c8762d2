#pragma once

#include "app/CliOptions.h"
#include "app/CliOutput.h"
#include "app/OutputFile.h"

#include <QObject>

#include <memory>

class CrawlEngine;
class HttpTransfer;
class WebSession;
class StatusLine;
class TerminationSignals;
struct Settings;

// One headless crawl on the engine the window uses: found files to standard
// output (or the --output file), the status line to standard error, an optional
// event log and page list.
class CliCrawl final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CliCrawl)

public:
    CliCrawl(const CliOptions &options, const Settings &settings, QObject *parent = nullptr);
    ~CliCrawl() override;

    // Starts the crawl; the event loop ends with the exit code when it is over.
    // Returns false (after printing why) when it cannot start: the results or
    // the event log cannot be written.
    bool start();

private:
    void onFileAdded(const QModelIndex &parent, int first, int last);
    void onTick();
    void tickNow();
    void onPageCompleted(int index, int image, const QByteArray &key);
    void onRunningChanged(bool running);
    void onSignal(int signalNumber);
    void showStatus(const QString &status);
    void finishWhenSettled();
    void finish();
    void writeEvent(const QByteArray &line);
    void writeFoundFiles();
    bool outputFailed();
    // Why the results or the event log could not be written or opened.
    QString writeError() const;

    // First, so that it goes last: a request to end that comes while the crawl
    // is torn down cannot cut that short.
    std::unique_ptr<TerminationSignals> m_signals;
    CliOptions m_options;
    std::unique_ptr<WebSession> m_session;
    std::unique_ptr<HttpTransfer> m_transfer;
    std::unique_ptr<CrawlEngine> m_engine;
    CliOutput m_output;
    int m_filesWritten = 0; // found files written to the results
    OutputFile m_events;
    std::unique_ptr<StatusLine> m_status; // none with --quiet
    int m_interrupts = 0;
    bool m_finished = false;
};

// The saved page's links as the crawl would classify them; the exit code.
int printLinkClassification(const CliOptions &options, const Settings &settings);
