#include "crawl/SrcsetUrls.h"

#include "common/AsciiText.h"

namespace {

// The end of the descriptors that begin at `pos`: the comma that ends the
// candidate (outside parentheses) or the end of the text.
qsizetype descriptorsEnd(QByteArrayView text, qsizetype pos)
{
    bool inParentheses = false;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (inParentheses)
            inParentheses = c != ')';
        else if (c == '(')
            inParentheses = true;
        else if (c == ',')
            return pos;
    }
    return pos;
}

} // namespace

QList<QByteArrayView> srcsetUrls(QByteArrayView srcset)
{
    QList<QByteArrayView> urls;
    qsizetype pos = 0;
    while (true) {
        while (pos < srcset.size() && (AsciiText::isHtmlBlank(srcset[pos]) || srcset[pos] == ','))
            ++pos;
        if (pos >= srcset.size())
            return urls;
        const qsizetype start = pos;
        while (pos < srcset.size() && !AsciiText::isHtmlBlank(srcset[pos]))
            ++pos;
        QByteArrayView url = srcset.sliced(start, pos - start);
        if (url.endsWith(',')) {
            // The candidate ends here, without descriptors.
            while (url.endsWith(','))
                url.chop(1);
        } else {
            pos = descriptorsEnd(srcset, pos);
        }
        urls.append(url);
    }
}
