// A page read under standard link rules: the HTML link scanner and the address
// resolver behind it, fed the page in pieces as a download would bring it.
//
// Input: the first byte picks the piece size (1 to 256 bytes), the rest up to
// the first line feed is the page's address, the remainder the page.
//
// Checked for every input:
// - each link is an absolute http or https address in normal form: it begins
//   with "http://" or "https://", holds no fragment, no blank, control or byte
//   beyond ASCII, and resolving it again gives it back unchanged;
// - no link is longer than the scanner's bound allows once escaped;
// - the extension the classifier takes holds neither "/" nor "?";
// - a page address that does not resolve yields no link at all.
// The scanner runs with small bounds, so its restarts and its giving up are
// reached by short inputs too.

#include "FuzzCheck.h"

#include "crawl/HtmlLinkScanner.h"
#include "crawl/LinkClassifier.h"
#include "crawl/LinkResolver.h"

#include <QByteArrayView>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

bool inNormalForm(const QByteArray &address)
{
    if (!address.startsWith("http://") && !address.startsWith("https://"))
        return false;
    return std::none_of(address.cbegin(), address.cend(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte >= 0x7f || c == '#';
    });
}

void checkLinks(const QList<FoundLink> &links, bool pageValid, qsizetype maxLinkBytes)
{
    FUZZ_CHECK(pageValid || links.isEmpty());
    for (const FoundLink &link : links) {
        FUZZ_CHECK(inNormalForm(link.address));
        // Every byte of the link may come out as a three-byte escape, and the
        // base it was resolved against adds its own length.
        FUZZ_CHECK(link.address.size() <= 3 * maxLinkBytes + 4096);
        const LinkResolver again(link.address);
        FUZZ_CHECK(again.isValid() && again.base() == link.address);
        const QByteArrayView extension = LinkClassifier::extension(link.address);
        FUZZ_CHECK(!extension.contains('/') && !extension.contains('?'));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const qsizetype pieceSize = qsizetype(data[0]) + 1;
    const QByteArrayView input(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    const qsizetype lineEnd = input.indexOf('\n');
    const QByteArrayView pageAddress = lineEnd < 0 ? input : input.first(lineEnd);
    const QByteArrayView page = lineEnd < 0 ? QByteArrayView() : input.sliced(lineEnd + 1);

    HtmlLinkScanner::Bounds bounds;
    bounds.maxLinkBytes = 512;
    bounds.restartAfter = 1024;
    bounds.maxHeldBytes = 8192;
    HtmlLinkScanner scanner(pageAddress, bounds);
    const bool pageValid = LinkResolver(pageAddress).isValid();
    for (qsizetype at = 0; at < page.size(); at += pieceSize) {
        scanner.feed(page.sliced(at, std::min(pieceSize, page.size() - at)));
        checkLinks(scanner.takeLinks(), pageValid, bounds.maxLinkBytes);
    }
    scanner.finish();
    checkLinks(scanner.takeLinks(), pageValid, bounds.maxLinkBytes);
    return 0;
}
