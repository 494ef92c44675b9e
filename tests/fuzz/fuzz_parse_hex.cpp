// Hexadecimal numbers as typed into the identifier, mask and data fields and read from frame
// text: the number the text holds, or not valid and 0.

#include <QString>
#include <cstddef>
#include <cstdint>

#include "can/can_text.h"
#include "fuzz_check.h"

namespace {

constexpr int max_significant_digits = 8; // 32 bits
constexpr int hex_base = 16;

bool hex_digit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// The digits of a number text: blanks around (any Unicode blank), then "+" and "0x" in front,
// taken off.
QStringView digits_of(QStringView text) {
    while (!text.isEmpty() && text.front().isSpace()) {
        text = text.sliced(1);
    }
    while (!text.isEmpty() && text.back().isSpace()) {
        text.chop(1);
    }
    if (text.startsWith(u'+')) {
        text = text.sliced(1);
    }
    if (text.startsWith(u"0x", Qt::CaseInsensitive)) {
        text = text.sliced(2);
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const Hex_Value v = parse_hex(text);

    const QStringView digits = digits_of(text);
    bool all_hex = !digits.isEmpty();
    for (const QChar c : digits) {
        all_hex = all_hex && hex_digit(c);
    }
    qsizetype leading_zeros = 0;
    while (leading_zeros < digits.size() && digits[leading_zeros] == u'0') {
        ++leading_zeros;
    }
    const bool fits = digits.size() - leading_zeros <= max_significant_digits;
    FUZZ_CHECK(v.valid == (all_hex && fits));
    if (!v.valid) {
        FUZZ_CHECK(v.value == 0);
        return 0;
    }
    const QStringView significant = digits.sliced(leading_zeros);
    bool ok = significant.isEmpty();
    const std::uint64_t expected = ok ? 0 : significant.toULongLong(&ok, hex_base);
    FUZZ_CHECK(ok && expected == v.value);

    // The number written back in both cases, with the sign, the prefix and blanks.
    const QString lower = QString::number(v.value, hex_base);
    for (const QString& form : {lower, lower.toUpper(), QStringLiteral(" +0X") + lower + u'\t'}) {
        const Hex_Value back = parse_hex(form);
        FUZZ_CHECK(back.valid && back.value == v.value);
    }
    return 0;
}
