#include "crawl/PageParser.h"

#include "common/AppError.h"
#include "common/AsciiText.h"
#include "common/Settings.h"
#include "crawl/LinkHelpers.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view LinkPattern = "a href=";
constexpr std::string_view HttpPrefix = "http://";

// Positions in the page scan are signed 32-bit.
constexpr qsizetype MaxScanPosition = 2147483647;

QString source()
{
    return QStringLiteral("modParse");
}

AppError fileNotFoundError()
{
    return AppError(ErrorNumber::FileNotFound, source(), QStringLiteral("File not found"));
}

AppError fileAccessError()
{
    return AppError(ErrorNumber::PathFileAccess, source(), QStringLiteral("Path/File access error"));
}

// Lower-cases A to Z only; every other byte stays as it is. A plain loop, which
// the compiler turns into vector code.
void lowerAscii(const char *in, size_t size, char *out)
{
    for (size_t i = 0; i < size; ++i)
        out[i] = AsciiText::toLower(in[i]);
}

// Finds "a href=" in the page as if the whole page had been lower-cased, while
// lower-casing only a block at a time: a page is never copied whole, and the
// block stays in the processor's cache while it is searched.
class LinkPatternFinder
{
public:
    explicit LinkPatternFinder(std::string_view text)
        : m_text(text), m_blockSize(std::min(MaxBlockSize, text.size())),
          m_lower(std::make_unique_for_overwrite<char[]>(m_blockSize))
    {
    }

    // The first "a href=" at or after `from`, or npos.
    size_t find(size_t from)
    {
        if (from > m_text.size() || m_text.size() - from < LinkPattern.size())
            return std::string_view::npos;
        if (from < m_blockStart || from + LinkPattern.size() > m_blockEnd)
            load(from);
        for (;;) {
            // memmem skips ahead on the whole pattern instead of stopping at every "a".
            const char *block = m_lower.get();
            const void *hit = memmem(block + (from - m_blockStart), m_blockEnd - from, LinkPattern.data(),
                                     LinkPattern.size());
            if (hit)
                return m_blockStart + size_t(static_cast<const char *>(hit) - block);
            if (m_blockEnd == m_text.size())
                return std::string_view::npos;
            // A match may begin in the last six bytes of the block and end in the next.
            from = m_blockEnd - (LinkPattern.size() - 1);
            load(from);
        }
    }

private:
    static constexpr size_t MaxBlockSize = 32 * 1024;

    void load(size_t from)
    {
        m_blockStart = from;
        m_blockEnd = std::min(m_text.size(), from + m_blockSize);
        lowerAscii(m_text.data() + from, m_blockEnd - from, m_lower.get());
    }

    std::string_view m_text;
    size_t m_blockSize;
    std::unique_ptr<char[]> m_lower;
    size_t m_blockStart = 0;
    size_t m_blockEnd = 0;
};

// Drops the line ends of the page file in place: every CR, and the LF of each
// CR LF pair. A lone LF is text and stays.
void dropLineEnds(QByteArray &text)
{
    char *const begin = text.data();
    char *const end = begin + text.size();
    char *read = static_cast<char *>(std::memchr(begin, '\r', size_t(end - begin)));
    if (!read)
        return;
    char *write = read;
    while (read < end) {
        // `read` is at a CR here.
        ++read;
        if (read < end && *read == '\n')
            ++read;
        char *nextCr = static_cast<char *>(std::memchr(read, '\r', size_t(end - read)));
        char *runEnd = nextCr ? nextCr : end;
        const size_t run = size_t(runEnd - read);
        std::memmove(write, read, run);
        write += run;
        read = runEnd;
    }
    text.truncate(write - begin);
}

} // namespace

namespace modParse {

LinkLists linkListsFrom(const Settings &settings)
{
    LinkLists lists;
    lists.follow = settings.Follow.toUtf8() + QByteArrayLiteral(",com,org,net,tv");
    lists.search = settings.Search.toUtf8();
    return lists;
}

void ParsePageFile(const QString &fileName, const QByteArray &pageUrl, const LinkLists &lists, LinkSink &sink)
{
    QByteArray pageText;
    {
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly)) {
            if (!QFileInfo::exists(fileName))
                throw fileNotFoundError();
            throw fileAccessError();
        }
        // One read into a buffer of the file's size: readAll would reserve twice
        // the size, which for a large page keeps the allocator from reusing the
        // memory of the page before.
        const qint64 size = file.size();
        pageText = QByteArray(qsizetype(size), Qt::Uninitialized);
        const qint64 got = file.read(pageText.data(), size);
        if (got < 0)
            throw fileAccessError();
        pageText.truncate(qsizetype(got));
        if (got == size) {
            // Whatever was added to the file after its size was taken.
            const QByteArray rest = file.readAll();
            if (!rest.isEmpty())
                pageText += rest;
        }
        if (file.error() != QFileDevice::NoError)
            throw fileAccessError();
    }
    dropLineEnds(pageText);

    // The file goes before the scan starts, so a page whose scan fails leaves
    // nothing behind either.
    if (!QFile::remove(fileName) && QFileInfo::exists(fileName))
        throw fileAccessError();

    ExtractLinks(pageText, pageUrl, lists, sink);
}

void ExtractLinks(const QByteArray &pageText, const QByteArray &pageUrl, const LinkLists &lists, LinkSink &sink)
{
    // The page is searched as if lower-cased; each slice is lower-cased as it is cleaned.
    const std::string_view text(pageText.constData(), size_t(pageText.size()));
    LinkPatternFinder finder(text);
    const std::string_view follow(lists.follow.constData(), size_t(lists.follow.size()));
    const std::string_view search(lists.search.constData(), size_t(lists.search.size()));

    // The base depends on the page alone; it is worked out at the first relative
    // link, so a page address the base cannot be taken from fails only then.
    std::optional<QByteArray> base;
    std::string cleanBuffer;

    size_t searchStart = 0;
    for (;;) {
        const size_t b = finder.find(searchStart);
        if (b == std::string_view::npos)
            return;
        const size_t sliceStart = b + LinkPattern.size();
        const void *close = std::memchr(text.data() + sliceStart, '>', text.size() - sliceStart);
        if (!close)
            throw invalidArgumentError(source());
        const size_t c = size_t(static_cast<const char *>(close) - text.data());
        if (qsizetype(c) + 1 > MaxScanPosition)
            throw overflowError(source());

        const QByteArrayView rawSlice(text.data() + sliceStart, qsizetype(c - sliceStart));
        const QByteArrayView cleaned = modPublic::cleanLowerLinkView(rawSlice, cleanBuffer);
        const std::string_view link(cleaned.data(), size_t(cleaned.size()));
        searchStart = c;

        if (link.find('#') != std::string_view::npos || link.find("java") != std::string_view::npos)
            continue;

        QByteArray url;
        if (link.find(HttpPrefix) != std::string_view::npos) {
            url = QByteArray(link.data(), qsizetype(link.size()));
        } else {
            if (!base)
                base = modPublic::GetBaseUrl(pageUrl);
            const std::string_view relative = link.empty() || link.front() != '/' ? link : link.substr(1);
            url.reserve(base->size() + qsizetype(relative.size()));
            url.append(QByteArrayView(*base));
            url.append(relative.data(), qsizetype(relative.size()));
        }

        const QByteArrayView extView = modPublic::extensionView(url);
        const std::string_view ext(extView.data(), size_t(extView.size()));
        const bool toPages = ext.empty() || follow.find(ext) != std::string_view::npos;
        const bool toFiles = !ext.empty() && search.find(ext) != std::string_view::npos;

        // Each call gets its own copy; the last one can take the link itself.
        if (toPages && toFiles) {
            sink.AddPage(url);
            sink.AddFile(std::move(url));
        } else if (toPages) {
            sink.AddPage(std::move(url));
        } else if (toFiles) {
            sink.AddFile(std::move(url));
        }
    }
}

} // namespace modParse
