#include "can/can_text.h"

#include <array>

namespace {

constexpr QStringView field_separator = u"   ";
constexpr int fields_per_line = 4;
constexpr qsizetype id_value_at = 8;  // after "ID: STD=" / "ID: EXT="
constexpr qsizetype dlc_value_at = 5; // after "DLC: "
constexpr int max_hex_digits = 8;
constexpr std::uint32_t byte_mask = 0xFF;

// Appends `value` in lower-case hexadecimal without leading zeros.
void append_hex(QString& out, std::uint32_t value) {
    std::array<char16_t, max_hex_digits> digits{};
    int n = 0;
    do {
        const unsigned d = value & 0xFU;
        digits[static_cast<std::size_t>(n++)] =
            static_cast<char16_t>(d < 10 ? u'0' + d : u'a' + d - 10);
        value >>= 4;
    } while (value != 0);
    while (n > 0) {
        out += QChar(digits[static_cast<std::size_t>(--n)]);
    }
}

// Any Unicode blank: numbers pasted from elsewhere bring no-break and other wide spaces.
bool is_blank(QChar c) {
    return c.isSpace();
}

int hex_digit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') {
        return u - u'0';
    }
    if (u >= u'a' && u <= u'f') {
        return u - u'a' + 10;
    }
    if (u >= u'A' && u <= u'F') {
        return u - u'A' + 10;
    }
    return -1;
}

} // namespace

QString can_frame_to_text(const CanFrame& f) {
    constexpr qsizetype typical_length = 80;
    QString out;
    out.reserve(typical_length);
    out += u"ID: ";
    if (f.ide == CanFrame::ide_standard) {
        out += u"STD=0x";
        append_hex(out, f.std_id);
    } else if (f.ide == CanFrame::ide_extended) {
        out += u"EXT=0x";
        append_hex(out, f.ext_id);
    } else {
        out += u"???";
    }
    out += u"   RTR: ";
    out += f.rtr == CanFrame::rtr_data     ? u"DATA"
           : f.rtr == CanFrame::rtr_remote ? u"REMOTE"
                                           : u"???";
    out += u"   DLC: ";
    out += QString::number(f.dlc);
    out += u"   DATA:";
    for (std::size_t i = 0; i < f.data.size() && i < f.dlc; ++i) {
        out += u" 0x";
        append_hex(out, f.data[i]);
    }
    return out;
}

Hex_Value parse_hex(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && is_blank(text[begin])) {
        ++begin;
    }
    while (end > begin && is_blank(text[end - 1])) {
        --end;
    }
    if (begin < end && text[begin] == u'+') {
        ++begin;
    }
    if (end - begin >= 2 && text[begin] == u'0' &&
        (text[begin + 1] == u'x' || text[begin + 1] == u'X')) {
        begin += 2;
    }
    if (begin == end) {
        return {};
    }
    std::uint64_t value = 0;
    for (qsizetype i = begin; i < end; ++i) {
        const int d = hex_digit(text[i]);
        if (d < 0) {
            return {};
        }
        value = value << 4 | static_cast<std::uint64_t>(d);
        if (value > 0xFFFFFFFFULL) {
            return {};
        }
    }
    return {static_cast<std::uint32_t>(value), true};
}

std::optional<CanFrame> can_text_line_frame(QStringView line) {
    std::array<QStringView, fields_per_line> fields;
    int count = 0;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = line.indexOf(field_separator, from);
        const QStringView piece = line.mid(from, at < 0 ? -1 : at - from);
        if (count == fields_per_line) {
            return std::nullopt; // a fifth field
        }
        fields[static_cast<std::size_t>(count++)] = piece;
        if (at < 0) {
            break;
        }
        from = at + field_separator.size();
    }
    if (count != fields_per_line) {
        return std::nullopt;
    }

    CanFrame f;
    const QStringView id = fields[0];
    if (id.contains(u"STD")) {
        f.ide = CanFrame::ide_standard;
        f.std_id = parse_hex(id.mid(std::min(id_value_at, id.size()))).value;
    } else if (id.contains(u"EXT")) {
        f.ide = CanFrame::ide_extended;
        f.ext_id = parse_hex(id.mid(std::min(id_value_at, id.size()))).value;
    } else {
        return std::nullopt;
    }

    if (fields[1].contains(u"DATA")) {
        f.rtr = CanFrame::rtr_data;
    } else if (fields[1].contains(u"REMOTE")) {
        f.rtr = CanFrame::rtr_remote;
    } else {
        return std::nullopt;
    }

    // Written in decimal, read in hexadecimal: the two agree for every length the tool writes.
    const QStringView dlc = fields[2];
    f.dlc = static_cast<std::uint8_t>(parse_hex(dlc.mid(std::min(dlc_value_at, dlc.size()))).value &
                                      byte_mask);

    // The first piece ("DATA:") is passed over; empty pieces are bytes of value 0.
    const QStringView bytes = fields[3];
    qsizetype piece_start = bytes.indexOf(u' ');
    std::size_t index = 0;
    while (piece_start >= 0 && index < f.data.size()) {
        const qsizetype next = bytes.indexOf(u' ', piece_start + 1);
        const QStringView piece =
            bytes.mid(piece_start + 1, next < 0 ? -1 : next - piece_start - 1);
        f.data[index++] = static_cast<std::uint8_t>(parse_hex(piece).value & byte_mask);
        piece_start = next;
    }
    return f;
}

void can_text_frames(QStringView text,
                     const std::function<void(const CanFrame&, QStringView line)>& take) {
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(u'\n', from);
        const QStringView line = text.mid(from, at < 0 ? -1 : at - from);
        if (const std::optional<CanFrame> frame = can_text_line_frame(line)) {
            take(*frame, line);
        }
        if (at < 0) {
            return;
        }
        from = at + 1;
    }
}

std::optional<CanFrame> can_text_first_frame(QStringView text) {
    std::optional<CanFrame> first;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(u'\n', from);
        first = can_text_line_frame(text.mid(from, at < 0 ? -1 : at - from));
        if (first || at < 0) {
            return first;
        }
        from = at + 1;
    }
}
