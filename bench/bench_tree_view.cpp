// The page tree on screen while a large crawl fills it: 30,000 page nodes over
// 300 hosts arrive through AddPage, 100 links per finished page, with the main
// window shown and the event loop running between pages as it does in a crawl.
// Prints the total time, the longest single event-loop turn (one page's links
// plus the view's layout and painting) and the targets beside them.
//
//   bench_tree_view [--pages N] [--links-per-page N] [--hosts N]
//
// Without --hosts it runs two crawls: pages over 300 hosts (the first host open
// in the tree, as the window does), then one big site whose pages all go under
// that open host.
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.

#include "BenchSupport.h"

#include "common/Settings.h"
#include "crawl/CrawlEngine.h"
#include "crawl/NodeTree.h"
#include "ui/AppFonts.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QByteArrayList>
#include <QElapsedTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr double TargetTotalSeconds = 1.0;
constexpr double TargetStallSeconds = 0.100;

int argumentAfter(const QStringList &arguments, const QString &name, int fallback)
{
    const qsizetype at = arguments.indexOf(name);
    if (at < 0 || at + 1 >= arguments.size())
        return fallback;
    bool ok = false;
    const int value = arguments.at(at + 1).toInt(&ok);
    return ok && value > 0 ? value : fallback;
}

// The links each finished page yields, spread over the hosts the way a crawl
// meets them: mostly hosts already seen, in no particular order.
std::vector<QByteArrayList> makeBatches(int pages, int perBatch, int hosts)
{
    bench::Random random(0x7eee);
    std::vector<QByteArrayList> batches;
    QByteArrayList batch;
    for (int i = 0; i < pages; ++i) {
        const QByteArray host = "www.host" + QByteArray::number(random.below(std::uint32_t(hosts))) + ".example";
        batch.append("http://" + host + "/section" + QByteArray::number(i % 37) + "/page" + QByteArray::number(i)
                     + ".htm");
        if (batch.size() == perBatch) {
            batches.push_back(batch);
            batch.clear();
        }
    }
    if (!batch.isEmpty())
        batches.push_back(batch);
    return batches;
}

bool runScenario(QApplication &app, int pages, int perPage, int hosts)
{
    const std::vector<QByteArrayList> batches = makeBatches(pages, perPage, hosts);

    // No feed address: nothing but the tree is busy.
    frmMain window{QUrl()};
    window.resize(1000, 800);
    window.show();
    app.processEvents();
    CrawlEngine &engine = window.engine();
    auto *tree = window.findChild<QTreeView *>(QStringLiteral("treePages"));

    QElapsedTimer total;
    total.start();
    const bench::Clock::time_point cpuStart = bench::Clock::now();
    double longestTurn = 0;
    double addSeconds = 0;
    std::vector<double> turns;
    turns.reserve(batches.size());
    for (const QByteArrayList &batch : batches) {
        QElapsedTimer turn;
        turn.start();
        for (const QByteArray &url : batch)
            engine.AddPage(url);
        addSeconds += double(turn.nsecsElapsed()) * 1e-9;
        // What the event loop does before the next completion arrives: the view's
        // delayed layout, then painting.
        app.processEvents();
        const double seconds = double(turn.nsecsElapsed()) * 1e-9;
        turns.push_back(seconds);
        longestTurn = std::max(longestTurn, seconds);
    }
    // The last page's links are on screen.
    tree->scrollToBottom();
    app.processEvents();
    const double totalSeconds = double(total.nsecsElapsed()) * 1e-9;
    const double cpuSeconds = bench::secondsSince(cpuStart);

    std::sort(turns.begin(), turns.end());
    const double median = turns.empty() ? 0 : turns[turns.size() / 2];
    const double p99 = turns.empty() ? 0 : turns[std::min(turns.size() - 1, turns.size() * 99 / 100)];

    std::printf("page tree on screen: %d nodes (%d hosts), %zu event-loop turns of %d links\n",
                engine.treePages().Count(), int(tree->model()->rowCount()), batches.size(), perPage);
    std::printf("  total        %8.3f s wall, %8.3f s cpu   target < %.3f s   %s\n", totalSeconds, cpuSeconds,
                TargetTotalSeconds, totalSeconds < TargetTotalSeconds ? "ok" : "ABOVE TARGET");
    std::printf("  longest turn %8.1f ms                       target < %.0f ms    %s\n", longestTurn * 1e3,
                TargetStallSeconds * 1e3, longestTurn < TargetStallSeconds ? "ok" : "ABOVE TARGET");
    std::printf("  adding nodes %8.3f s of the total (the rest is the view's layout and painting)\n", addSeconds);
    std::printf("  median turn  %8.2f ms, 99th percentile %.2f ms\n", median * 1e3, p99 * 1e3);
    return totalSeconds < TargetTotalSeconds && longestTurn < TargetStallSeconds;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    AppFonts::loadBundledFonts();
    const QStringList arguments = app.arguments();
    const int pages = argumentAfter(arguments, QStringLiteral("--pages"), 30000);
    const int perPage = argumentAfter(arguments, QStringLiteral("--links-per-page"), 100);

    Settings &settings = appSettings();
    settings = defaultSettings();
    settings.MaxPages = NodeTree::MaxNodes;
    settings.MaxDomain = NodeTree::MaxNodes;

    // Pages of many hosts, the crawl's first host open; then one big site whose
    // pages all go under the open host, the most the view has to lay out.
    const int hosts = argumentAfter(arguments, QStringLiteral("--hosts"), 0);
    if (hosts > 0)
        return runScenario(app, pages, perPage, hosts) ? 0 : 1;
    bool ok = runScenario(app, pages, perPage, 300);
    ok &= runScenario(app, pages, perPage, 1);
    return ok ? 0 : 1;
}
