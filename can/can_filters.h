#pragma once

// The board's 24 acceptance filters as the filter page edits them: one 13-byte entry each,
// kept exactly as the board reported it, so the fields the tool never changes (fifo,
// mode, number, scale) go back unchanged.

#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "protocol/layouts.h"

// A standard identifier sits in the upper half-word shifted left by 5.
constexpr int filter_std_id_shift = 5;
constexpr std::uint32_t filter_std_id_max = 0x7FF;

// What the page shows of an entry: "0x" and (id_high >> 5), likewise the mask, and the switch.
struct Filter_View {
    QString id;
    QString mask;
    bool active = false;
};
Filter_View filter_view(const Filter_Entry& entry);

// Texts put in place of an identifier or mask that is not a hexadecimal number up to 0x7FF.
inline const QString filter_id_corrected = QStringLiteral("0x0");
inline const QString filter_mask_corrected = QStringLiteral("0x7ff");

// Stores the page's edit in `entry`: the identifier and mask in the upper half-words (an
// unreadable or too large identifier as 0, mask as 0x7FF: every identifier bit compared),
// the lower half-words 0, and the switch. The other fields stay as read.
struct Filter_Edit_Result {
    bool id_corrected = false;
    bool mask_corrected = false;
};
Filter_Edit_Result apply_filter_edit(Filter_Entry& entry, QStringView id, QStringView mask,
                                     bool active);

// The CMD_WRITE_FILTERS request of the pair starting at `first`.
void encode_filter_pair(const Filter_Table& table, int first, std::span<std::uint8_t> request);
