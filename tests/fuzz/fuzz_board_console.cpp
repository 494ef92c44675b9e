// The virtual board's console: whatever arrives on its standard input, the splitter cuts the
// same lines however the bytes are chunked, every command holds values within the console's
// ranges, frames read back from their own frame line, and error lines stay short and
// printable.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "board/board_console.h"
#include "fuzz_check.h"

namespace console = board::console;

namespace {

// Shorter than the program's limit, so that small inputs reach the overlong path too.
constexpr std::size_t max_line = 80;
constexpr std::size_t chunk_size = 7;
constexpr std::size_t max_error_size = 200;
constexpr std::uint32_t max_standard_id = 0x7FF;
constexpr std::uint32_t max_extended_id = 0x1FFFFFFF;
constexpr std::uint8_t max_dlc = 8;

using Lines = std::vector<std::pair<std::string, bool>>;

Lines split(std::string_view input, std::size_t chunk) {
    Lines lines;
    const auto sink = [&lines](std::string_view line, bool overlong) {
        lines.emplace_back(line, overlong);
    };
    console::Line_Splitter splitter(max_line);
    for (std::size_t at = 0; at < input.size(); at += chunk) {
        splitter.feed(input.substr(at, chunk), sink);
    }
    splitter.finish(sink);
    return lines;
}

// The lines of `input` as the console's contract states them.
Lines expected_lines(std::string_view input) {
    Lines lines;
    std::size_t from = 0;
    while (from < input.size()) {
        const std::size_t end = std::min(input.find('\n', from), input.size());
        const std::string_view line = input.substr(from, end - from);
        const bool overlong = line.size() > max_line;
        lines.emplace_back(overlong ? std::string() : std::string(line), overlong);
        from = end + 1;
    }
    return lines;
}

bool lower_case(std::string_view text) {
    return std::none_of(text.begin(), text.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

bool printable(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= ' ' && c <= '~'; });
}

void check_frame(const CanFrame& f) {
    FUZZ_CHECK(f.rtr == CanFrame::rtr_data || f.rtr == CanFrame::rtr_remote);
    FUZZ_CHECK(f.dlc <= max_dlc);
    if (f.ide == CanFrame::ide_standard) {
        FUZZ_CHECK(f.std_id <= max_standard_id && f.ext_id == 0);
    } else {
        FUZZ_CHECK(f.ide == CanFrame::ide_extended);
        FUZZ_CHECK(f.ext_id <= max_extended_id && f.std_id == 0);
    }
    for (std::size_t i = f.dlc; i < f.data.size(); ++i) {
        FUZZ_CHECK(f.data[i] == 0);
    }
    CanFrame back;
    FUZZ_CHECK(console::parse_frame(console::frame_line(f), back).empty());
    FUZZ_CHECK(back == f);
}

void check_command(const console::Command& command) {
    std::visit(
        [](const auto& c) {
            using T = std::decay_t<decltype(c)>;
            if constexpr (std::is_same_v<T, console::Battery>) {
                FUZZ_CHECK(c.volts >= console::min_battery_volts &&
                           c.volts <= console::max_battery_volts);
            } else if constexpr (std::is_same_v<T, console::Temperature>) {
                FUZZ_CHECK(c.celsius >= console::min_temperature_celsius &&
                           c.celsius <= console::max_temperature_celsius);
            } else if constexpr (std::is_same_v<T, console::Light>) {
                FUZZ_CHECK(c.raw >= 0 && c.raw <= board::light_max);
            } else if constexpr (std::is_same_v<T, console::Frame>) {
                check_frame(c.frame);
            } else if constexpr (std::is_same_v<T, console::Press>) {
                FUZZ_CHECK(!c.button.empty() && lower_case(c.button));
                FUZZ_CHECK(c.duration_ms >= 1 && c.duration_ms <= console::max_press_ms);
            } else if constexpr (std::is_same_v<T, console::Scenario>) {
                FUZZ_CHECK(lower_case(c.name));
            } else if constexpr (std::is_same_v<T, console::Bitrate>) {
                FUZZ_CHECK(c.kbit >= console::min_bitrate_kbit &&
                           c.kbit <= console::max_bitrate_kbit);
            } else if constexpr (std::is_same_v<T, console::Drop> ||
                                 std::is_same_v<T, console::Wrong_Echo>) {
                FUZZ_CHECK(c.count >= 0 && c.count <= console::max_fault_count);
            } else if constexpr (std::is_same_v<T, console::Delay>) {
                FUZZ_CHECK(c.ms >= 0 && c.ms <= console::max_delay_ms);
            } else if constexpr (std::is_same_v<T, console::Error>) {
                // Echoed to whoever drives the board: quoted input is cut short and made
                // printable.
                FUZZ_CHECK(!c.message.empty() && c.message.size() <= max_error_size);
                FUZZ_CHECK(printable(c.message));
            }
        },
        command);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    const Lines lines = split(input, input.size() + 1);
    FUZZ_CHECK(lines == split(input, chunk_size));
    FUZZ_CHECK(lines == expected_lines(input));

    for (const auto& [line, overlong] : lines) {
        if (overlong) {
            continue;
        }
        check_command(console::parse_line(line));

        // The frame parser on its own leaves the frame alone when it refuses the text.
        CanFrame frame;
        frame.std_id = max_standard_id;
        const CanFrame before = frame;
        if (console::parse_frame(line, frame).empty()) {
            check_frame(frame);
        } else {
            FUZZ_CHECK(frame == before);
        }
    }
    return 0;
}
