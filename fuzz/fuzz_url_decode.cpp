// URL decoding of arbitrary text, as the sponsor feed's addresses reach it.
//
// Checked for every input:
// - the only error is the overflow one;
// - an input of at most 32,766 characters decodes without an error unless a "%"
//   stands at position 32,765 or later (1-based);
// - the result is never longer than the input, and an input without "%" and
//   "+" comes back unchanged;
// - result and error are exactly those of a plain model of the decoder: "+"
//   gives a blank, "%" the value of the leading hex digits of the (at most) two
//   characters after it, which are skipped; the 16-bit position counter fails
//   on any character reached at position 32,767 or later, and on a "%" reached
//   at 32,765 or later.

#include "FuzzCheck.h"

#include "common/AppError.h"
#include "sponsor/modURL.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace {

constexpr qsizetype Max16 = 32767;

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The decoded text, or nothing when the decoder must fail.
std::optional<QByteArray> model(const QByteArray &text)
{
    QByteArray out;
    qsizetype i = 0; // 0-based; the decoder counts from 1
    while (i < text.size()) {
        const qsizetype position = i + 1;
        const char c = text[i];
        if (c == '%') {
            if (position >= Max16 - 2)
                return std::nullopt;
            int value = 0;
            for (qsizetype d = i + 1; d < text.size() && d <= i + 2; ++d) {
                const int digit = hexValue(text[d]);
                if (digit < 0)
                    break;
                value = value * 16 + digit;
            }
            out.append(char(value));
            i += 3;
            continue;
        }
        if (position >= Max16)
            return std::nullopt;
        out.append(c == '+' ? ' ' : c);
        ++i;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));

    std::optional<QByteArray> decoded;
    try {
        decoded = modURL::UrlDecode(input);
    } catch (const AppError &error) {
        FUZZ_CHECK(error.number() == ErrorNumber::Overflow);
    }

    const bool lateEscape = input.indexOf('%', Max16 - 3) >= 0; // at 1-based position 32,765 or later
    if (input.size() <= Max16 - 1 && !lateEscape)
        FUZZ_CHECK(decoded.has_value());
    if (decoded) {
        FUZZ_CHECK(decoded->size() <= input.size());
        if (!input.contains('%') && !input.contains('+'))
            FUZZ_CHECK(*decoded == input);
    }
    FUZZ_CHECK(decoded == model(input));
    return 0;
}
