#pragma once

// The one-line text form of a CAN frame, and reading frame texts back:
//
//   "ID: STD=0x661   RTR: DATA   DLC: 8   DATA: 0x80 0x0 0x0 0x0 0x0 0x0 0x0 0x0"
//
// Four fields joined by three blanks. Hexadecimal in lower case without leading zeros,
// the length in decimal. Reading looks only at the three-blank split, the words STD / EXT
// and DATA / REMOTE, and fixed positions; every line that does not qualify is skipped.

#include <QString>
#include <QStringView>
#include <cstdint>
#include <functional>
#include <optional>

#include "can/can_frame.h"

QString can_frame_to_text(const CanFrame& frame);

struct Hex_Value {
    std::uint32_t value = 0;
    bool valid = false;
};
// A hexadecimal number: blanks around it (any Unicode blank) ignored, optional "+" and "0x"/"0X",
// at most 32 bits. Anything else is 0 and not valid.
Hex_Value parse_hex(QStringView text);

// Reads one line; nothing when it is not a frame line. Data bytes the line does not give
// are 0; byte pieces beyond the eighth are ignored.
std::optional<CanFrame> can_text_line_frame(QStringView line);

// Calls `take` with the frame of every valid line, in text order, each before the next
// line is read.
void can_text_frames(QStringView text,
                     const std::function<void(const CanFrame&, QStringView line)>& take);

// The frame of the first valid line; nothing when the text has none.
std::optional<CanFrame> can_text_first_frame(QStringView text);
