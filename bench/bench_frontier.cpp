// Frontier speed: AddPage filling a fresh page tree to 32,000 nodes, then the
// same offers again, which the tree refuses as duplicates. Prints calls/s beside
// the target.
//
//   bench_frontier [--quick]

#include "BenchSupport.h"

#include "common/Settings.h"
#include "crawl/CrawlEngine.h"
#include "support/FakeTransfer.h"

#include <QByteArrayList>
#include <QCoreApplication>

#include <cstdio>

namespace {

constexpr double TargetCalls = 1'000'000.0;
constexpr int FillTo = 32000;

// Page addresses over 200 hosts, as extracted links arrive: "http://" prefixed,
// lower case, a few repeated, every fifth one a new page of a host seen before.
QByteArrayList makeUrls(int count)
{
    bench::Random random(0xf00d);
    QByteArrayList urls;
    urls.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QByteArray host = "host" + QByteArray::number(random.below(200)) + ".example.com";
        const int page = random.below(10) == 0 ? int(random.below(50)) : i;
        urls.append("http://" + host + "/dir" + QByteArray::number(page % 97) + "/page" +
                    QByteArray::number(page) + ".htm");
    }
    return urls;
}

struct Fill
{
    double seconds = 0;
    qint64 calls = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    const Settings settings = bench::roomySettings();
    const QByteArrayList urls = makeUrls(40000);

    std::printf("Frontier (CrawlEngine::AddPage, MaxPages/MaxDomain 32767)\n");
    std::printf("Target: >= %.0f calls/s. Thread CPU time, fastest of several rounds.\n\n", TargetCalls);

    // Filling: every call until the tree holds 32,000 nodes, each on its own copy.
    Fill fill;
    fill.seconds = bench::fastestRound(
        [&] {
            FakeTransfer transfer;
            CrawlEngine engine(transfer, settings);
            qint64 calls = 0;
            const auto start = bench::Clock::now();
            for (const QByteArray &url : urls) {
                engine.AddPage(url);
                ++calls;
                if (engine.treePages().Count() >= FillTo)
                    break;
            }
            const double seconds = bench::secondsSince(start);
            fill.calls = calls;
            return seconds;
        },
        quick ? 1 : 3, quick ? 0.0 : 1.0);

    // Offers of addresses the tree already holds, the common case once a site's
    // menus have been seen: the same calls again on the 32,000-node tree.
    FakeTransfer transfer;
    CrawlEngine engine(transfer, settings);
    const QByteArrayList offered = urls.mid(0, qsizetype(fill.calls));
    for (const QByteArray &url : offered)
        engine.AddPage(url);
    const int nodes = engine.treePages().Count();
    const double duplicateSeconds = bench::fastestRound(
        [&] {
            const auto start = bench::Clock::now();
            for (const QByteArray &url : offered)
                engine.AddPage(url);
            return bench::secondsSince(start);
        },
        quick ? 1 : 3, quick ? 0.0 : 1.0);
    const bool unchanged = engine.treePages().Count() == nodes;

    const double fillRate = double(fill.calls) / fill.seconds;
    const double duplicateRate = double(offered.size()) / duplicateSeconds;
    std::printf("  %-40s %12.0f calls/s  (%lld calls, %.2f ms)  %s\n", "fill an empty tree to 32,000 nodes",
                fillRate, static_cast<long long>(fill.calls), fill.seconds * 1e3,
                bench::verdict(fillRate, TargetCalls));
    std::printf("  %-40s %12.0f calls/s  (%lld calls on %d nodes, %.2f ms)  %s\n", "offers of addresses already held",
                duplicateRate, static_cast<long long>(offered.size()), nodes, duplicateSeconds * 1e3,
                unchanged ? bench::verdict(duplicateRate, TargetCalls) : "TREE CHANGED");

    const bool met = fillRate >= TargetCalls && duplicateRate >= TargetCalls && unchanged;
    std::printf("\n%s\n", met ? "All targets met." : "SOME TARGETS MISSED.");
    return met ? 0 : 1;
}
