// The HTML parser behind standard link rules, measured on real manuals: libxml2's
// push parser, as HtmlLinkScanner uses it, beside gumbo, the HTML5 parser
// Debian also packages. Each reads every page of a manual held in memory; the
// figures are MB/s (10^6 bytes of HTML a second, thread CPU time, fastest of
// several rounds) for the parse alone and for the whole job of finding and
// resolving the links, then the heap the largest page takes, then which of
// them gets a few pages of the web right.
//
//   bench_html_links [--quick]
//
// The manuals come from Debian packages: git-doc (AsciiDoc), python3.11-doc
// (Sphinx) and postgresql-doc-15 (DocBook); one that is not installed is skipped.
// gumbo is measured when libgumbo-dev was found at configure time.

#include "BenchSupport.h"

#include "crawl/HtmlLinkScanner.h"
#include "crawl/LinkResolver.h"
#include "crawl/SrcsetUrls.h"

#include <QDirIterator>
#include <QFile>
#include <QList>

#include <libxml/HTMLparser.h>

#ifdef TROVEWICK_HAVE_GUMBO
#include <gumbo.h>
#endif

#include <malloc.h>

#include <cstdio>
#include <cstring>
#include <set>

namespace {

constexpr qsizetype PieceSize = 16 * 1024; // about what libcurl hands over at a time

struct Page
{
    QByteArray address;
    QByteArray html;
};

struct Manual
{
    const char *name;
    const char *folder;
    const char *package;
    QList<Page> pages;
    qint64 bytes = 0;
};

QList<Page> loadPages(const QString &folder)
{
    QList<Page> pages;
    QDirIterator it(folder, {QStringLiteral("*.html")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString relative = file.fileName().mid(folder.size());
        pages.append({"http://manual.example" + relative.toUtf8(), file.readAll()});
    }
    std::sort(pages.begin(), pages.end(), [](const Page &a, const Page &b) { return a.address < b.address; });
    return pages;
}

using Links = std::set<QByteArray>;

// --- libxml2 -------------------------------------------------------------------

long xmlElements = 0;

void countElement(void *, const xmlChar *, const xmlChar **attributes)
{
    ++xmlElements;
    for (; attributes && attributes[0]; attributes += 2) {}
}

// The parse alone, pushed in pieces as the scanner pushes them.
void libxml2ParseOnly(const Page &page)
{
    xmlSAXHandler handler;
    std::memset(&handler, 0, sizeof handler);
    handler.startElement = countElement;
    htmlParserCtxtPtr context = htmlCreatePushParserCtxt(&handler, nullptr, nullptr, 0, nullptr, XML_CHAR_ENCODING_8859_1);
    htmlCtxtUseOptions(context, HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_IGNORE_ENC);
    for (qsizetype at = 0; at < page.html.size(); at += PieceSize) {
        const QByteArrayView piece = QByteArrayView(page.html).sliced(at, std::min(PieceSize, page.html.size() - at));
        if (context->instate == XML_PARSER_START_TAG)
            context->checkIndex = 0; // as HtmlLinkScanner does, or a page may wait for its end
        htmlParseChunk(context, piece.data(), int(piece.size()), 0);
    }
    htmlParseChunk(context, nullptr, 0, 1);
    htmlFreeParserCtxt(context);
}

Links scannerLinks(const Page &page, size_t *peakHeap = nullptr)
{
    const size_t before = peakHeap ? mallinfo2().uordblks : 0;
    Links links;
    HtmlLinkScanner scanner(page.address);
    for (qsizetype at = 0; at < page.html.size(); at += PieceSize) {
        scanner.feed(QByteArrayView(page.html).sliced(at, std::min(PieceSize, page.html.size() - at)));
        if (peakHeap)
            *peakHeap = std::max(*peakHeap, mallinfo2().uordblks - before);
        for (FoundLink &link : scanner.takeLinks())
            links.insert(std::move(link.address));
    }
    scanner.finish();
    for (FoundLink &link : scanner.takeLinks())
        links.insert(std::move(link.address));
    return links;
}

// --- gumbo ---------------------------------------------------------------------

#ifdef TROVEWICK_HAVE_GUMBO
// The same elements and attributes HtmlLinkScanner reads, found in gumbo's tree.
struct GumboWalk
{
    LinkResolver page;
    LinkResolver base;
    bool baseSeen = false;
    Links links;

    explicit GumboWalk(const QByteArray &address) : page(address), base(address) {}

    void add(QByteArrayView link)
    {
        if (std::optional<QByteArray> address = base.resolve(link))
            links.insert(std::move(*address));
    }

    void visit(const GumboNode *node)
    {
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE)
            return;
        const GumboElement &element = node->v.element;
        const QByteArrayView tag(gumbo_normalized_tagname(element.tag));
        auto value = [&](const char *name) -> const char * {
            const GumboAttribute *attribute = gumbo_get_attribute(&element.attributes, name);
            return attribute ? attribute->value : nullptr;
        };
        auto addAttribute = [&](const char *name) {
            if (const char *link = value(name))
                add(link);
        };
        auto addSrcset = [&]() {
            if (const char *srcset = value("srcset")) {
                for (const QByteArrayView url : srcsetUrls(srcset))
                    add(url);
            }
        };
        if (tag == "base" && !baseSeen && value("href")) {
            baseSeen = true;
            if (std::optional<QByteArray> address = page.resolve(value("href")))
                base = LinkResolver(*address);
        } else if (tag == "a" || tag == "area") {
            addAttribute("href");
        } else if (tag == "frame" || tag == "iframe" || tag == "audio" || tag == "track" || tag == "embed") {
            addAttribute("src");
        } else if (tag == "img" || tag == "source") {
            addAttribute("src");
            addSrcset();
        } else if (tag == "video") {
            addAttribute("src");
            addAttribute("poster");
        } else if (tag == "object") {
            addAttribute("data");
        } else if (tag == "link" && value("rel")) {
            for (const QByteArray &word : QByteArray(value("rel")).simplified().split(' ')) {
                if (word.compare("icon", Qt::CaseInsensitive) == 0)
                    addAttribute("href");
            }
        }
        for (unsigned i = 0; i < element.children.length; ++i)
            visit(static_cast<const GumboNode *>(element.children.data[i]));
    }
};

void gumboParseOnly(const Page &page)
{
    GumboOutput *output = gumbo_parse_with_options(&kGumboDefaultOptions, page.html.constData(), size_t(page.html.size()));
    gumbo_destroy_output(&kGumboDefaultOptions, output);
}

Links gumboLinks(const Page &page, size_t *treeHeap = nullptr)
{
    const size_t before = treeHeap ? mallinfo2().uordblks : 0;
    GumboOutput *output = gumbo_parse_with_options(&kGumboDefaultOptions, page.html.constData(), size_t(page.html.size()));
    if (treeHeap)
        *treeHeap = std::max(*treeHeap, mallinfo2().uordblks - before);
    GumboWalk walk(page.address);
    walk.visit(output->root);
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    return std::move(walk.links);
}
#endif

// --- measuring -------------------------------------------------------------------

template<typename Work>
void measure(const char *label, const Manual &manual, bool quick, Work &&work)
{
    const double seconds = bench::fastestRound(
        [&] {
            const auto start = bench::Clock::now();
            for (const Page &page : manual.pages)
                work(page);
            return bench::secondsSince(start);
        },
        quick ? 1 : 3, quick ? 0.0 : 1.0);
    std::printf("  %-44s %8.1f MB/s\n", label, double(manual.bytes) / seconds / 1e6);
}

// Pages that show where a parser goes wrong, each with the one link it should give.
struct Case
{
    const char *name;
    QByteArray html;
    QByteArray expected; // empty: no link at all
};

const QList<Case> &cases()
{
    static const QList<Case> list = {
        {"8-bit byte kept", "<a href=\"caf\xE9.html\">", "http://h.example/caf%E9.html"},
        {"NUL in text", QByteArray("<p>a\0b</p><a href=x.html>", 25), "http://h.example/x.html"},
        {"link after </html>", "<html><body></body></html><a href=x.html>", "http://h.example/x.html"},
        {"quoted > in a tag", "<a title=\"a>b\" href=\"x.html\">", "http://h.example/x.html"},
        {"entity in a link", "<a href=\"a&amp;b.html\">", "http://h.example/a&b.html"},
        {"link in a script", "<script>x = '<a href=s.html>';</script>", ""},
        {"link in a comment", "<!-- <a href=c.html> -->", ""},
    };
    return list;
}

bool caseHolds(const Case &c, const Links &links)
{
    return c.expected.isEmpty() ? links.empty() : (links.size() == 1 && *links.begin() == c.expected);
}

} // namespace

int main(int argc, char *argv[])
{
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    std::printf("HTML links of real manuals: libxml2 %s push parser (HtmlLinkScanner) beside gumbo\n", LIBXML_DOTTED_VERSION);
    std::printf("MB/s = 10^6 bytes of HTML a second, thread CPU time, fastest of several rounds; pieces of %lld bytes.\n\n",
                static_cast<long long>(PieceSize));
#ifndef TROVEWICK_HAVE_GUMBO
    std::printf("(gumbo not measured: libgumbo-dev was not found at configure time)\n\n");
#endif

    QList<Manual> manuals = {
        {"git-doc (AsciiDoc)", "/usr/share/doc/git-doc", "git-doc", {}},
        {"Python 3.11 (Sphinx)", "/usr/share/doc/python3.11/html", "python3.11-doc", {}},
        {"PostgreSQL 15 (DocBook)", "/usr/share/doc/postgresql-doc-15/html", "postgresql-doc-15", {}},
    };
    for (Manual &manual : manuals) {
        manual.pages = loadPages(QString::fromLatin1(manual.folder));
        if (manual.pages.isEmpty()) {
            std::printf("%s: not installed (apt-get install %s), skipped\n\n", manual.name, manual.package);
            continue;
        }
        const Page *largest = &manual.pages.front();
        for (const Page &page : std::as_const(manual.pages)) {
            manual.bytes += page.html.size();
            if (page.html.size() > largest->html.size())
                largest = &page;
        }
        std::printf("%s: %lld pages, %.1f MB\n", manual.name, static_cast<long long>(manual.pages.size()),
                    double(manual.bytes) / 1e6);
        measure("libxml2 push, parse only", manual, quick, libxml2ParseOnly);
        measure("libxml2 push, links found and resolved", manual, quick, [](const Page &p) { scannerLinks(p); });
#ifdef TROVEWICK_HAVE_GUMBO
        measure("gumbo whole page, parse only", manual, quick, gumboParseOnly);
        measure("gumbo whole page, links found and resolved", manual, quick, [](const Page &p) { gumboLinks(p); });
        qint64 links = 0;
        int differing = 0;
        const Page *firstDiffering = nullptr;
        for (const Page &page : std::as_const(manual.pages)) {
            const Links ours = scannerLinks(page);
            links += qint64(ours.size());
            if (ours != gumboLinks(page)) {
                ++differing;
                firstDiffering = firstDiffering ? firstDiffering : &page;
            }
        }
        std::printf("  distinct links a page, summed: %lld; pages where gumbo finds other links: %d%s%s\n",
                    static_cast<long long>(links), differing, firstDiffering ? ", first " : "",
                    firstDiffering ? firstDiffering->address.constData() : "");
        size_t treeHeap = 0;
        gumboLinks(*largest, &treeHeap);
#endif
        std::printf("  largest page, %.2f MB: heap held by libxml2 push at most ", double(largest->html.size()) / 1e6);
        size_t peakHeap = 0;
        scannerLinks(*largest, &peakHeap);
        std::printf("%.2f MB", double(peakHeap) / 1e6);
#ifdef TROVEWICK_HAVE_GUMBO
        std::printf(", by gumbo's tree %.2f MB", double(treeHeap) / 1e6);
#endif
        std::printf("\n\n");
    }

    std::printf("Pages of the web, one link each expected:\n");
    for (const Case &c : cases()) {
        const Page page{"http://h.example/", c.html};
        std::printf("  %-22s libxml2 push %-6s", c.name, caseHolds(c, scannerLinks(page)) ? "right" : "WRONG");
#ifdef TROVEWICK_HAVE_GUMBO
        std::printf(" gumbo %s", caseHolds(c, gumboLinks(page)) ? "right" : "WRONG");
#endif
        std::printf("\n");
    }
    return 0;
}
