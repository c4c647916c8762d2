// Link extraction on arbitrary pages and page addresses. The input's first line
// (up to the first LF) is the page address, the rest the page as it came from
// the web; an input without a LF is a page of a fixed address. The page goes
// through ParsePageFile exactly as a finished read hands it over: written to a
// file that the parser reads and deletes.
//
// Checked for every input:
// - the page file is gone afterwards, whether the scan ended normally or
//   raised; the only errors are the scan's invalid-argument and overflow ones;
// - each link's classification: to the pages when its extension is empty or
//   occurs in the follow list, to the files when it is not empty and occurs in
//   the search list, and a link that is both is reported as a page first and
//   then as a file, one right after the other;
// - each link either begins with the base of the page address followed by the
//   relative part from the page, or came whole from the page, in which case its
//   one "http://" begins at one of its first six characters (a later one would
//   have been cut to);
// - the part from the page is as the cleaning leaves it: no "#", no "java", no
//   "http://" after the base, no upper-case letter, no quote, apostrophe,
//   comma, blank, CR, LF or ">", and at most 32,766 characters;
// - at most one link per "a href=" of the page;
// - the links and the error are those of a plain model that lower-cases the
//   whole page and searches it with QByteArray::indexOf, so the block-wise
//   search of the real scan finds exactly what a whole-page search finds.

#include "FuzzCheck.h"

#include "common/AppError.h"
#include "common/Settings.h"
#include "crawl/LinkHelpers.h"
#include "crawl/PageParser.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace {

constexpr qsizetype Max16 = 32767;
constexpr QByteArrayView HttpPrefix = "http://";
constexpr QByteArrayView LinkPattern = "a href=";

struct Report
{
    bool page = false; // AddPage, else AddFile
    QByteArray url;

    friend bool operator==(const Report &, const Report &) = default;
};

struct Outcome
{
    std::vector<Report> reports;
    std::optional<qint64> error; // the AppError number the scan ended with
};

class RecordingSink final : public LinkSink
{
public:
    void AddPage(QByteArray url) override { reports.push_back({true, std::move(url)}); }
    void AddFile(QByteArray url) override { reports.push_back({false, std::move(url)}); }

    std::vector<Report> reports;
};

std::unique_ptr<QTemporaryDir> scratch;
LinkLists lists;

QByteArray asciiLower(QByteArrayView text)
{
    QByteArray out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        out[i] = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    }
    return out;
}

// The page text the scan sees: every CR dropped, with the LF of a CR LF pair.
QByteArray withoutLineEnds(const QByteArray &raw)
{
    QByteArray out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r') {
            if (i + 1 < raw.size() && raw[i + 1] == '\n')
                ++i;
            continue;
        }
        out.append(raw[i]);
    }
    return out;
}

QByteArray extensionOf(const QByteArray &url)
{
    for (qsizetype i = url.size() - 1; i >= 0; --i) {
        if (url[i] == '/')
            return {};
        if (url[i] == '.')
            return url.mid(i + 1);
    }
    return {};
}

// Link extraction written the plain way: whole-page lower-casing, one search
// after another, the 16-bit limits of the link helpers as explicit tests.
Outcome model(const QByteArray &page, const QByteArray &address)
{
    Outcome outcome;
    const QByteArray lower = asciiLower(page);
    std::optional<QByteArray> base;
    qsizetype from = 0;
    for (;;) {
        const qsizetype b = lower.indexOf(LinkPattern, from);
        if (b < 0)
            return outcome;
        const qsizetype start = b + LinkPattern.size();
        const qsizetype close = lower.indexOf('>', start);
        if (close < 0) {
            outcome.error = ErrorNumber::InvalidArgument;
            return outcome;
        }
        const QByteArray raw = lower.mid(start, close - start);
        if (raw.size() > Max16) {
            outcome.error = ErrorNumber::Overflow;
            return outcome;
        }
        QByteArray link;
        bool blank = false;
        for (const char c : raw) {
            if (c == ' ') {
                blank = true;
                break;
            }
            if (c != ',' && c != '\'' && c != '\n' && c != '"')
                link.append(c);
        }
        if (!blank && raw.size() == Max16) {
            outcome.error = ErrorNumber::Overflow;
            return outcome;
        }
        // Cut to the last "http://" that begins at the link's 7th character or later.
        for (;;) {
            const qsizetype found = link.indexOf(HttpPrefix, 6);
            if (found < 0)
                break;
            if (found + 1 > Max16) {
                outcome.error = ErrorNumber::Overflow;
                return outcome;
            }
            link = link.mid(found);
        }
        from = close;
        if (link.contains('#') || link.contains("java"))
            continue;

        QByteArray url;
        if (link.contains(HttpPrefix)) {
            url = link;
        } else {
            if (!base) {
                try {
                    base = modPublic::GetBaseUrl(address);
                } catch (const AppError &error) {
                    outcome.error = error.number();
                    return outcome;
                }
            }
            url = *base + (link.startsWith('/') ? link.mid(1) : link);
        }
        if (url.size() > Max16) {
            outcome.error = ErrorNumber::Overflow;
            return outcome;
        }
        const QByteArray ext = extensionOf(url);
        if (ext.isEmpty() || lists.follow.contains(ext))
            outcome.reports.push_back({true, url});
        if (!ext.isEmpty() && lists.search.contains(ext))
            outcome.reports.push_back({false, url});
    }
}

qsizetype countOf(const QByteArray &text, QByteArrayView pattern)
{
    qsizetype count = 0;
    for (qsizetype at = text.indexOf(pattern); at >= 0; at = text.indexOf(pattern, at + pattern.size()))
        ++count;
    return count;
}

// What the cleaning leaves of a slice of the page.
bool isCleanPagePart(const QByteArray &part)
{
    if (part.size() > Max16 - 1 || part.contains('#') || part.contains("java") || part.contains(HttpPrefix))
        return false;
    for (const char c : part) {
        if ((c >= 'A' && c <= 'Z') || c == '"' || c == '\'' || c == ',' || c == ' ' || c == '\r'
            || c == '\n' || c == '>')
            return false;
    }
    return true;
}

// A link taken whole from the page: one "http://", among its first six characters.
bool isWholePageLink(const QByteArray &url)
{
    const qsizetype at = url.indexOf(HttpPrefix);
    return at >= 0 && at <= 5 && url.size() <= Max16 - 1 && isCleanPagePart(url.first(at))
        && isCleanPagePart(url.sliced(at + HttpPrefix.size()));
}

void checkReports(const std::vector<Report> &reports, const QByteArray &address, const QByteArray &page)
{
    std::optional<QByteArray> base;
    try {
        base = modPublic::GetBaseUrl(address);
    } catch (const AppError &) {
        // No relative link can have been reported then: the scan raises at the first.
    }

    qsizetype links = 0;
    for (size_t i = 0; i < reports.size(); ++i) {
        const Report &report = reports[i];
        const QByteArray &url = report.url;
        FUZZ_CHECK(url.size() <= Max16);
        const QByteArray ext = modPublic::GetExtension(url);
        const bool pageKind = ext.isEmpty() || lists.follow.contains(ext);
        const bool fileKind = !ext.isEmpty() && lists.search.contains(ext);
        FUZZ_CHECK(report.page ? pageKind : fileKind);
        if (report.page && fileKind) {
            FUZZ_CHECK(i + 1 < reports.size() && !reports[i + 1].page && reports[i + 1].url == url);
        } else if (!report.page && pageKind) {
            FUZZ_CHECK(i > 0 && reports[i - 1].page && reports[i - 1].url == url);
            continue; // the same link as the page report before it
        }
        ++links;

        const bool fromBase = base && url.startsWith(*base) && isCleanPagePart(url.sliced(base->size()));
        FUZZ_CHECK(fromBase || isWholePageLink(url));
        FUZZ_CHECK(url.startsWith(HttpPrefix) || isWholePageLink(url));
        // What the brief form of the same rule says about the whole link.
        FUZZ_CHECK(!url.contains('#') || address.contains('#'));
        FUZZ_CHECK(!url.contains("java") || address.contains("java"));
    }
    FUZZ_CHECK(links <= countOf(asciiLower(withoutLineEnds(page)), LinkPattern));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    scratch = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/fuzz_page_links-XXXXXX"));
    if (!scratch->isValid())
        fuzzFailed("no scratch folder", __FILE__, __LINE__);
    lists = modParse::linkListsFrom(defaultSettings());
    FUZZ_CHECK(lists.follow == "asp,htm,html,com,org,net,tv");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype lineEnd = input.indexOf('\n');
    const QByteArray address = lineEnd < 0 ? QByteArrayLiteral("http://www.example.test/dir/page.htm")
                                           : input.first(lineEnd);
    const QByteArray page = lineEnd < 0 ? input : input.sliced(lineEnd + 1);

    const QString fileName = scratch->filePath(QStringLiteral("page.htm"));
    {
        QFile file(fileName);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(page) != page.size())
            fuzzFailed("cannot write the page file", __FILE__, __LINE__);
    }

    Outcome outcome;
    RecordingSink sink;
    try {
        modParse::ParsePageFile(fileName, address, lists, sink);
    } catch (const AppError &error) {
        outcome.error = error.number();
    }
    outcome.reports = std::move(sink.reports);

    FUZZ_CHECK(!QFileInfo::exists(fileName));
    FUZZ_CHECK(!outcome.error || *outcome.error == ErrorNumber::InvalidArgument
               || *outcome.error == ErrorNumber::Overflow);
    checkReports(outcome.reports, address, page);

    const Outcome expected = model(withoutLineEnds(page), address);
    FUZZ_CHECK(outcome.error == expected.error);
    FUZZ_CHECK(outcome.reports == expected.reports);
    return 0;
}
