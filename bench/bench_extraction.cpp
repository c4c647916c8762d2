// Link extraction speed: pages generated in memory, scanned by ExtractLinks with
// every link handed to a real CrawlEngine, so the insertion into both trees is
// part of what is measured. Prints MiB/s and links/s beside their targets.
//
//   bench_extraction [--quick]
//
// --quick runs each case once (a smoke run); the figures then mean little.

#include "BenchSupport.h"

#include "common/Settings.h"
#include "crawl/CrawlEngine.h"
#include "crawl/PageParser.h"
#include "support/FakeTransfer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <array>
#include <cstdio>
#include <memory>

namespace {

constexpr double SparseTargetMiBs = 500.0;
constexpr double DenseTargetLinks = 1'000'000.0;

const QByteArray PageUrl = QByteArrayLiteral("http://www.example.com/dir/index.htm");

// Counts what reaches it; the sink for measuring the scan without the trees.
class CountingSink final : public LinkSink
{
public:
    void AddPage(QByteArray url) override
    {
        ++pages;
        bytes += url.size();
    }
    void AddFile(QByteArray url) override
    {
        ++files;
        bytes += url.size();
    }

    qint64 pages = 0;
    qint64 files = 0;
    qint64 bytes = 0;
};

struct Page
{
    QByteArray text;
    qint64 links = 0;
};

// Body text between links: words, some in capitals, and tags with attributes, so
// the scan meets many "a", blanks and "=" that start no link.
void appendFiller(QByteArray &page, bench::Random &random)
{
    static const std::array<const char *, 24> words = {
        "the ", "and ", "Crawl ", "of ", "a ", "site ", "page ", "Files ", "are ", "listed ", "with ",
        "their ", "address ", "table ", "at ", "A ", "gallery ", "has ", "many ", "pictures ", "about ",
        "travel, ", "data. ", "Search "};
    static const std::array<const char *, 10> tags = {
        "<p>", "</p>\n", "<div class=\"box\">", "</div>\n", "<span style=\"font-weight:bold\">", "</span> ",
        "<img src=\"pics/photo.gif\" alt=\"A photo\" width=120 height=80>", "<td align=center width=\"50%\">",
        "<br>\n", "<table border=0 cellpadding=2>"};
    if (random.below(6) == 0)
        page.append(tags[random.below(std::uint32_t(tags.size()))]);
    else
        page.append(words[random.below(std::uint32_t(words.size()))]);
}

// One link of a mix of kinds: pages, files, other hosts, redirects, fragments,
// mail links. `id` picks the address, so a small id range repeats addresses.
void appendLink(QByteArray &page, bench::Random &random, qint64 id)
{
    const QByteArray n = QByteArray::number(id);
    switch (random.below(8)) {
    case 0:
        page += "<a href=\"page" + n + ".htm\">Next page</a> ";
        break;
    case 1:
        page += "<A HREF='Pics/Photo" + n + ".JPG'>Photo</A> ";
        break;
    case 2:
        page += "<a href=/dir" + n + "/index.html target=_top>Index</a> ";
        break;
    case 3:
        page += "<a href=\"http://host" + n + ".example.com/\">Host</a> ";
        break;
    case 4:
        page += "<a href=\"go.asp?u=http://other.example.org/a" + n + ".mpg\">Movie</a> ";
        break;
    case 5:
        page += "<a href=\"#top" + n + "\">Top</a> ";
        break;
    case 6:
        page += "<a href=\"mailto:me" + n + "@example.com\">Mail</a> ";
        break;
    default:
        page += "<a href=\"files/song" + n + ".mp3\" title=\"A song\">Song</a> ";
        break;
    }
}

// A page of about `size` bytes with a link every `bytesPerLink` bytes. Repeating
// pages draw their addresses from 500 ids, as a site's menus repeat; distinct
// pages number every link anew.
Page makePage(qsizetype size, qsizetype bytesPerLink, bool distinct, std::uint64_t seed)
{
    bench::Random random(seed);
    Page page;
    page.text.reserve(size + 256);
    page.text += "<html><head><title>Bench page</title></head><body>\n";
    qsizetype nextLink = bytesPerLink / 2;
    while (page.text.size() < size) {
        if (page.text.size() >= nextLink) {
            appendLink(page.text, random, distinct ? page.links : qint64(random.below(500)));
            ++page.links;
            nextLink += bytesPerLink;
        } else {
            appendFiller(page.text, random);
        }
    }
    return page;
}

struct Figures
{
    double seconds = 0;
    int pageNodes = 0;
    int fileNodes = 0;
};

// Scans `page` into a fresh engine per round; only the scan is timed.
Figures timeWithEngine(const Page &page, const Settings &settings, bool quick)
{
    const LinkLists lists = modParse::linkListsFrom(settings);
    Figures figures;
    figures.seconds = bench::fastestRound(
        [&] {
            FakeTransfer transfer;
            CrawlEngine engine(transfer, settings);
            const auto start = bench::Clock::now();
            modParse::ExtractLinks(page.text, PageUrl, lists, engine);
            const double seconds = bench::secondsSince(start);
            figures.pageNodes = engine.treePages().Count();
            figures.fileNodes = engine.treeFiles().Count();
            return seconds;
        },
        quick ? 1 : 3, quick ? 0.0 : 1.0);
    return figures;
}

double timeWithCounter(const Page &page, const Settings &settings, bool quick)
{
    const LinkLists lists = modParse::linkListsFrom(settings);
    return bench::fastestRound(
        [&] {
            CountingSink sink;
            const auto start = bench::Clock::now();
            modParse::ExtractLinks(page.text, PageUrl, lists, sink);
            return bench::secondsSince(start);
        },
        quick ? 1 : 3, quick ? 0.0 : 1.0);
}

void printRow(const char *name, const Page &page, double seconds, const char *extra)
{
    const double mibs = double(page.text.size()) / (1024.0 * 1024.0) / seconds;
    const double links = double(page.links) / seconds;
    std::printf("  %-34s %9.1f MiB/s %12.0f links/s %8.2f ms  %s\n", name, mibs, links, seconds * 1e3, extra);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    const Settings settings = bench::roomySettings();

    std::printf("Link extraction (ExtractLinks into a CrawlEngine, MaxPages/MaxDomain/MaxFiles 32767)\n");
    std::printf("Targets: link-sparse >= %.0f MiB/s; link-dense >= %.0f links/s. Thread CPU time, fastest of several rounds.\n\n",
                SparseTargetMiBs, DenseTargetLinks);

    struct Case
    {
        const char *name;
        qsizetype size;
        qsizetype bytesPerLink;
        bool distinct;
    };
    const std::array<Case, 8> cases = {{
        {"1 MiB sparse, repeating links", 1 << 20, 4096, false},
        {"1 MiB sparse, distinct links", 1 << 20, 4096, true},
        {"16 MiB sparse, repeating links", 16 << 20, 4096, false},
        {"16 MiB sparse, distinct links", 16 << 20, 4096, true},
        {"1 MiB dense, repeating links", 1 << 20, 80, false},
        {"1 MiB dense, distinct links", 1 << 20, 80, true},
        {"16 MiB dense, repeating links", 16 << 20, 80, false},
        {"16 MiB dense, distinct links", 16 << 20, 80, true},
    }};

    bool allMet = true;
    for (const Case &c : cases) {
        const Page page = makePage(c.size, c.bytesPerLink, c.distinct, 0x5eed + std::uint64_t(c.size));
        const bool sparse = c.bytesPerLink > 1000;
        std::printf("%s: %lld bytes, %lld links\n", c.name, static_cast<long long>(page.text.size()),
                    static_cast<long long>(page.links));

        const Figures engine = timeWithEngine(page, settings, quick);
        const double mibs = double(page.text.size()) / (1024.0 * 1024.0) / engine.seconds;
        const double linksPerSecond = double(page.links) / engine.seconds;
        const bool met = sparse ? mibs >= SparseTargetMiBs : linksPerSecond >= DenseTargetLinks;
        allMet = allMet && met;
        char extra[160];
        std::snprintf(extra, sizeof extra, "%s (trees: %d pages, %d files)",
                      sparse ? bench::verdict(mibs, SparseTargetMiBs) : bench::verdict(linksPerSecond, DenseTargetLinks),
                      engine.pageNodes, engine.fileNodes);
        printRow("with CrawlEngine", page, engine.seconds, extra);

        const double counted = timeWithCounter(page, settings, quick);
        printRow("scan alone (counting sink)", page, counted, "");
    }

    // The whole path of a downloaded page: read, CR LF dropped, file deleted, scan.
    {
        Page page = makePage(16 << 20, 4096, true, 0xf11e);
        page.text.replace("\n", "\r\n");
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath(QStringLiteral("page.tmp"));
        const LinkLists lists = modParse::linkListsFrom(settings);
        const double seconds = bench::fastestRound(
            [&] {
                QFile file(path);
                if (!file.open(QIODevice::WriteOnly) || file.write(page.text) != page.text.size())
                    return 1e300;
                file.close();
                FakeTransfer transfer;
                CrawlEngine engine(transfer, settings);
                const auto start = bench::Clock::now();
                modParse::ParsePageFile(path, PageUrl, lists, engine);
                return bench::secondsSince(start);
            },
            quick ? 1 : 3, quick ? 0.0 : 1.0);
        std::printf("\nParsePageFile, 16 MiB sparse with CR LF, file in the temporary folder:\n");
        printRow("read + scan + CrawlEngine", page, seconds, "");
    }

    std::printf("\n%s\n", allMet ? "All targets met." : "SOME TARGETS MISSED.");
    return allMet ? 0 : 1;
}
