// Frame text from log files and pasted lists: reading a text is reading its lines, every line
// the reader takes is a frame the writer writes, and what the writer writes reads back.

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "can/can_text.h"
#include "fuzz_check.h"
#include "protocol/can_wire.h"

namespace {

// Lengths are written in decimal and read in hexadecimal: the same up to 9.
constexpr std::uint8_t max_round_trip_dlc = 9;

bool writable(const CanFrame& f) {
    return (f.ide == CanFrame::ide_standard || f.ide == CanFrame::ide_extended) &&
           (f.rtr == CanFrame::rtr_data || f.rtr == CanFrame::rtr_remote);
}

// What the text of a frame keeps: the identifier its type selects and the bytes its length
// covers.
CanFrame as_written(CanFrame f) {
    (f.ide == CanFrame::ide_standard ? f.ext_id : f.std_id) = 0;
    for (std::size_t i = f.dlc; i < f.data.size(); ++i) {
        f.data[i] = 0;
    }
    return f;
}

void check_round_trip(const CanFrame& f) {
    const QString text = can_frame_to_text(f);
    const std::optional<CanFrame> back = can_text_line_frame(text);
    FUZZ_CHECK(back.has_value() == writable(f));
    if (back && f.dlc <= max_round_trip_dlc) {
        FUZZ_CHECK(*back == as_written(f));
        FUZZ_CHECK(can_frame_to_text(*back) == text);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    std::vector<CanFrame> frames;
    can_text_frames(text, [&](const CanFrame& f, QStringView line) {
        FUZZ_CHECK(!line.contains(u'\n'));
        FUZZ_CHECK(can_text_line_frame(line) == f);
        frames.push_back(f);
    });
    std::vector<CanFrame> by_line;
    for (const QString& line : text.split(u'\n')) {
        if (const std::optional<CanFrame> f = can_text_line_frame(line)) {
            by_line.push_back(*f);
        }
    }
    FUZZ_CHECK(frames == by_line);

    const std::optional<CanFrame> first = can_text_first_frame(text);
    FUZZ_CHECK(first.has_value() == !frames.empty());
    FUZZ_CHECK(!first || *first == frames.front());

    for (const CanFrame& f : frames) {
        FUZZ_CHECK(writable(f));
        FUZZ_CHECK((f.ide == CanFrame::ide_standard ? f.ext_id : f.std_id) == 0);
        check_round_trip(f);
    }
    // The same bytes as a frame off the wire, for the writer.
    if (size >= can_wire::frame_size) {
        check_round_trip(decode_can_wire_frame(data));
    }
    return 0;
}
