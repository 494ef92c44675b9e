#include "can/can_filters.h"

#include <algorithm>

#include "can/can_text.h"

namespace {

QString shown_bits(const Filter_Entry& entry, std::size_t high) {
    return QStringLiteral("0x") + QString::number(get_u16(entry, high) >> filter_std_id_shift, 16);
}

// The number for the upper half-word, or nothing when the text is no identifier.
std::optional<std::uint16_t> std_id_bits(QStringView text) {
    const Hex_Value v = parse_hex(text);
    if (!v.valid || v.value > filter_std_id_max) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(v.value << filter_std_id_shift);
}

} // namespace

Filter_View filter_view(const Filter_Entry& entry) {
    return {shown_bits(entry, filter_byte::id_high), shown_bits(entry, filter_byte::mask_high),
            entry[filter_byte::active] != 0};
}

Filter_Edit_Result apply_filter_edit(Filter_Entry& entry, QStringView id, QStringView mask,
                                     bool active) {
    constexpr std::uint16_t all_id_bits = filter_std_id_max << filter_std_id_shift;
    const std::optional<std::uint16_t> id_bits = std_id_bits(id);
    const std::optional<std::uint16_t> mask_bits = std_id_bits(mask);
    put_u16(entry, filter_byte::id_high, id_bits.value_or(0));
    put_u16(entry, filter_byte::id_low, 0);
    put_u16(entry, filter_byte::mask_high, mask_bits.value_or(all_id_bits));
    put_u16(entry, filter_byte::mask_low, 0);
    entry[filter_byte::active] = active ? 1 : 0;
    return {!id_bits, !mask_bits};
}

void encode_filter_pair(const Filter_Table& table, int first, std::span<std::uint8_t> request) {
    request[filter_pair_index_byte] = static_cast<std::uint8_t>(first);
    for (int k = 0; k < filters_per_exchange; ++k) {
        const Filter_Entry& entry = table[static_cast<std::size_t>(first + k)];
        std::copy(entry.begin(), entry.end(),
                  request.begin() +
                      static_cast<std::ptrdiff_t>(filter_pair_first_entry +
                                                  static_cast<std::size_t>(k) * filter_entry_size));
    }
}
