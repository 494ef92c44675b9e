#include "board/board_console.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <vector>

#include "board/fault_plan.h"

namespace board::console {

namespace {

static_assert(Fault_Plan::short_reply_bytes == 30 && Fault_Plan::junk_bytes == 10,
              "the command help names these sizes");
static_assert(default_sent_count == 10 && max_sent_count == 1024 && max_press_holds == 8,
              "the command help names these counts");

constexpr std::size_t max_data_bytes = 8;
constexpr std::uint32_t max_standard_id = 0x7FF;
constexpr std::uint32_t max_extended_id = 0x1FFFFFFF;
constexpr std::uint32_t max_byte = 0xFF;
constexpr int hex_base = 16;
constexpr std::size_t max_hex_digits = 8;
constexpr std::size_t max_quoted = 40;
constexpr char first_printable = ' ';
constexpr char last_printable = '~';
constexpr std::size_t max_number_text = 32;

// The tool's frame line: ID: STD=0x5c1   RTR: DATA   DLC: 2   DATA: 0x6 0x0
enum Frame_Line_Word : std::size_t {
    id_label,
    id_value,
    rtr_label,
    rtr_value,
    dlc_label,
    dlc_value,
    data_label,
    first_byte
};

using Words = std::vector<std::string_view>;

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

Words split(std::string_view text) {
    Words words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && is_blank(text[i])) {
            ++i;
        }
        const std::size_t start = i;
        while (i < text.size() && !is_blank(text[i])) {
            ++i;
        }
        if (i > start) {
            words.push_back(text.substr(start, i - start));
        }
    }
    return words;
}

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return out;
}

bool same_word(std::string_view word, std::string_view keyword) {
    return lower(word) == keyword;
}

std::optional<int> to_int(std::string_view word, int min, int max) {
    int value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> to_double(std::string_view word, double min, double max) {
    double value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || !std::isfinite(value) ||
        value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

// Hexadecimal with an optional "0x", at most 32 bits.
std::optional<std::uint32_t> to_hex(std::string_view word) {
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        word.remove_prefix(2);
    }
    if (word.empty() || word.size() > max_hex_digits) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    const auto [end, error] =
        std::from_chars(word.data(), word.data() + word.size(), value, hex_base);
    if (error != std::errc() || end != word.data() + word.size()) {
        return std::nullopt;
    }
    return value;
}

std::string hex(std::uint32_t value) {
    std::array<char, max_hex_digits> digits{};
    const auto result =
        std::to_chars(digits.data(), digits.data() + digits.size(), value, hex_base);
    return std::string(digits.data(), result.ptr);
}

template <typename T>
std::string range_error(std::string_view what, std::string_view word, T min, T max) {
    return std::string(what) + " wants a number " + number_text(static_cast<double>(min)) + ".." +
           number_text(static_cast<double>(max)) + ", not " + quoted(word);
}

// Sets the identifier; an error when it does not fit the identifier type.
std::string set_id(std::string_view word, bool extended, CanFrame& frame) {
    const auto id = to_hex(word);
    const std::uint32_t max = extended ? max_extended_id : max_standard_id;
    if (!id || *id > max) {
        return std::string(extended ? "an extended" : "a standard") + " identifier is 0.." +
               hex(max) + " in hexadecimal, not " + quoted(word);
    }
    frame.ide = extended ? CanFrame::ide_extended : CanFrame::ide_standard;
    frame.std_id = extended ? 0 : *id;
    frame.ext_id = extended ? *id : 0;
    return {};
}

std::string set_data(const Words& words, std::size_t first, std::size_t max, CanFrame& frame) {
    if (words.size() - first > max) {
        return "at most " + std::to_string(max) + " data bytes";
    }
    frame.data = {};
    for (std::size_t i = first; i < words.size(); ++i) {
        const auto value = to_hex(words[i]);
        if (!value || *value > max_byte) {
            return "a data byte is 0..ff in hexadecimal, not " + quoted(words[i]);
        }
        frame.data[i - first] = static_cast<std::uint8_t>(*value);
    }
    return {};
}

std::string parse_frame_line(const Words& words, CanFrame& frame) {
    static constexpr std::string_view form =
        "a frame line reads ID: STD=<id>|EXT=<id>   RTR: DATA|REMOTE   DLC: <n>   DATA: <bytes>";
    if (words.size() < first_byte || !same_word(words[rtr_label], "rtr:") ||
        !same_word(words[dlc_label], "dlc:") || !same_word(words[data_label], "data:")) {
        return std::string(form);
    }
    const std::string id_word = lower(words[id_value]);
    const bool extended = id_word.starts_with("ext=");
    if (!extended && !id_word.starts_with("std=")) {
        return std::string(form);
    }
    const std::string_view id = words[id_value].substr(std::string_view("std=").size());
    const std::string rtr = lower(words[rtr_value]);
    if (rtr != "data" && rtr != "remote") {
        return std::string(form);
    }
    const auto dlc = to_int(words[dlc_value], 0, static_cast<int>(max_data_bytes));
    if (!dlc) {
        return range_error("DLC", words[dlc_value], std::size_t{0}, max_data_bytes);
    }
    CanFrame parsed;
    if (std::string error = set_id(id, extended, parsed); !error.empty()) {
        return error;
    }
    if (std::string error = set_data(words, first_byte, static_cast<std::size_t>(*dlc), parsed);
        !error.empty()) {
        return error + " for DLC " + std::to_string(*dlc);
    }
    parsed.rtr = rtr == "data" ? CanFrame::rtr_data : CanFrame::rtr_remote;
    parsed.dlc = static_cast<std::uint8_t>(*dlc);
    frame = parsed;
    return {};
}

std::string parse_short_frame(const Words& words, CanFrame& frame) {
    CanFrame parsed;
    const bool extended = words.size() > 1 && same_word(words[1], "ext");
    if (std::string error = set_id(words[0], extended, parsed); !error.empty()) {
        return error;
    }
    const std::size_t first = extended ? 2 : 1;
    if (std::string error = set_data(words, first, max_data_bytes, parsed); !error.empty()) {
        return error;
    }
    parsed.dlc = static_cast<std::uint8_t>(words.size() - first);
    frame = parsed;
    return {};
}

Command wants_no_argument(const Words& words, Command command) {
    if (words.size() > 1) {
        return Error{lower(words[0]) + " takes no argument"};
    }
    return command;
}

// Commands of the form "<keyword> <number>".
template <typename T, typename Make>
Command one_number(const Words& words, T min, T max, std::string_view what, Make make) {
    if (words.size() != 2) {
        return Error{lower(words[0]) + " wants one number: " + std::string(what)};
    }
    std::optional<T> value;
    if constexpr (std::is_same_v<T, double>) {
        value = to_double(words[1], min, max);
    } else {
        value = to_int(words[1], min, max);
    }
    if (!value) {
        return Error{range_error(lower(words[0]), words[1], min, max)};
    }
    return make(*value);
}

std::string join(const Words& words, std::size_t first, std::size_t last) {
    std::string out;
    for (std::size_t i = first; i < last; ++i) {
        out += (i > first ? " " : "") + std::string(words[i]);
    }
    return out;
}

// press <button> <ms> [<pause ms> <ms>]...
Command parse_press(const Words& words) {
    constexpr std::size_t first_ms = 2;
    constexpr std::size_t words_per_hold = 2;
    if (words.size() <= first_ms || (words.size() - first_ms) % words_per_hold == 0) {
        return Error{"press wants <button> <ms> [<pause ms> <ms>]..."};
    }
    if ((words.size() - first_ms) / words_per_hold + 1 > std::size_t{max_press_holds}) {
        return Error{"press holds a button at most " + std::to_string(max_press_holds) + " times"};
    }
    std::vector<int> ms;
    for (std::size_t i = first_ms; i < words.size(); ++i) {
        const auto value = to_int(words[i], 1, max_press_ms);
        if (!value) {
            return Error{range_error("press", words[i], 1, max_press_ms)};
        }
        ms.push_back(*value);
    }
    Press press{lower(words[1]), ms.front(), {}};
    for (std::size_t i = 1; i < ms.size(); i += words_per_hold) {
        press.more.push_back({.pause_ms = ms[i], .hold_ms = ms[i + 1]});
    }
    return press;
}

} // namespace

Command parse_line(std::string_view line) {
    const Words words = split(line);
    if (words.empty() || words[0].starts_with('#')) {
        return Nothing{};
    }
    const std::string keyword = lower(words[0]);
    if (keyword == "plug") {
        return wants_no_argument(words, Plug{});
    }
    if (keyword == "unplug") {
        return wants_no_argument(words, Unplug{});
    }
    if (keyword == "status") {
        return wants_no_argument(words, Status{});
    }
    if (keyword == "quit") {
        return wants_no_argument(words, Quit{});
    }
    if (keyword == "help") {
        return wants_no_argument(words, Help{});
    }
    if (keyword == "acc") {
        if (words.size() == 2 && (same_word(words[1], "on") || same_word(words[1], "off"))) {
            return Acc{same_word(words[1], "on")};
        }
        return Error{"acc wants on or off"};
    }
    if (keyword == "battery") {
        return one_number(words, min_battery_volts, max_battery_volts, "volts",
                          [](double v) { return Battery{v}; });
    }
    if (keyword == "light") {
        return one_number(words, 0, light_max, "raw sensor value", [](int v) { return Light{v}; });
    }
    if (keyword == "temperature") {
        return one_number(words, min_temperature_celsius, max_temperature_celsius,
                          "degrees Celsius", [](double v) { return Temperature{v}; });
    }
    if (keyword == "bitrate") {
        return one_number(words, min_bitrate_kbit, max_bitrate_kbit, "kbit/s",
                          [](int v) { return Bitrate{v}; });
    }
    if (keyword == "drop") {
        return one_number(words, 0, max_fault_count, "replies", [](int v) { return Drop{v}; });
    }
    if (keyword == "wrong-echo") {
        return one_number(words, 0, max_fault_count, "replies",
                          [](int v) { return Wrong_Echo{v}; });
    }
    if (keyword == "short") {
        return one_number(words, 0, max_fault_count, "replies", [](int v) { return Cut_Short{v}; });
    }
    if (keyword == "junk") {
        return one_number(words, 0, max_fault_count, "replies", [](int v) { return Junk{v}; });
    }
    if (keyword == "delay") {
        return one_number(words, 0, max_delay_ms, "milliseconds", [](int v) { return Delay{v}; });
    }
    if (keyword == "sent") {
        if (words.size() == 1) {
            return Sent{default_sent_count};
        }
        if (words.size() == 2 && same_word(words[1], "clear")) {
            return Clear_Sent{};
        }
        const auto count = words.size() == 2 ? to_int(words[1], 0, max_sent_count) : std::nullopt;
        if (!count) {
            return Error{"sent wants nothing, a number 0.." + std::to_string(max_sent_count) +
                         " or clear, not " + quoted(join(words, 1, words.size()))};
        }
        return Sent{*count};
    }
    if (keyword == "scenario") {
        if (words.size() != 2) {
            return Error{"scenario wants one name"};
        }
        return Scenario{lower(words[1])};
    }
    if (keyword == "screen") {
        if (words.size() == 2 && (same_word(words[1], "on") || same_word(words[1], "off"))) {
            return Screen{same_word(words[1], "on")};
        }
        return Error{"screen wants on or off"};
    }
    if (keyword == "press") {
        return parse_press(words);
    }
    if (keyword == "frame") {
        if (words.size() < 2) {
            return Error{"frame wants a frame: <id> [ext] <bytes>... or a frame line"};
        }
        const auto rest = line.substr(static_cast<std::size_t>(words[1].data() - line.data()));
        Frame command;
        if (std::string error = parse_frame(rest, command.frame); !error.empty()) {
            return Error{error};
        }
        return command;
    }
    return Error{"unknown command " + quoted(words[0]) + " (try help)"};
}

std::string parse_frame(std::string_view text, CanFrame& frame) {
    const Words words = split(text);
    if (words.empty()) {
        return "no frame given";
    }
    if (same_word(words[id_label], "id:")) {
        return parse_frame_line(words, frame);
    }
    return parse_short_frame(words, frame);
}

std::string frame_line(const CanFrame& frame) {
    std::string line = "ID: ";
    if (frame.ide == CanFrame::ide_standard) {
        line += "STD=0x" + hex(frame.std_id);
    } else if (frame.ide == CanFrame::ide_extended) {
        line += "EXT=0x" + hex(frame.ext_id);
    } else {
        line += "???";
    }
    line += "   RTR: ";
    line += frame.rtr == CanFrame::rtr_data     ? "DATA"
            : frame.rtr == CanFrame::rtr_remote ? "REMOTE"
                                                : "???";
    line += "   DLC: " + std::to_string(frame.dlc) + "   DATA:";
    for (std::size_t i = 0; i < std::min<std::size_t>(frame.dlc, max_data_bytes); ++i) {
        line += " 0x" + hex(frame.data[i]);
    }
    return line;
}

std::string number_text(double value) {
    std::array<char, max_number_text> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
    return std::string(text.data(), result.ptr);
}

std::string quoted(std::string_view text) {
    std::string out = "'";
    for (const char c : text.substr(0, max_quoted)) {
        out += c >= first_printable && c <= last_printable ? c : '?';
    }
    if (text.size() > max_quoted) {
        out += "...";
    }
    return out + "'";
}

std::string_view summary() {
    return "commands: plug, unplug, acc on|off, battery <volts>, light <0..1023>, "
           "temperature <celsius>, frame <frame>, press <button> <ms> [<pause> <ms>]..., "
           "screen on|off, scenario <name>, "
           "bitrate <kbit>, drop <n>, wrong-echo <n>, short <n>, junk <n>, delay <ms>, "
           "sent [n], sent clear, status, quit, help";
}

std::string_view usage() {
    return "Commands on standard input, one per line (keywords in any case, '#' starts a "
           "comment);\n"
           "each answers one line, \"ok ...\" or \"error: ...\" (sent adds the frame lines\n"
           "it announces):\n"
           "  plug | unplug           create the device socket / close every connection and\n"
           "                          remove it\n"
           "  acc on | acc off        the ignition line\n"
           "  battery <volts>         battery voltage, 0..40\n"
           "  light <0..1023>         light sensor reading\n"
           "  temperature <celsius>   board temperature, -128..127\n"
           "  frame <frame>           a vehicle node sends a frame on the bus, either\n"
           "                          <id> [ext] <byte>... in hexadecimal:\n"
           "                            frame 5c1 06 00\n"
           "                          or the tool's frame line:\n"
           "                            frame ID: STD=0x5c1   RTR: DATA   DLC: 2   DATA: 0x6 "
           "0x0\n"
           "  press <button> <ms> [<pause> <ms>]...\n"
           "                          hold a steering-wheel button of the scenario, again\n"
           "                          after each pause (up to 8 holds): press next 100 200 100\n"
           "                          is a double press\n"
           "  screen on | screen off  the head-unit screen of the opel scenario\n"
           "  scenario <name>         load a scenario of vehicle bus traffic\n"
           "  bitrate <kbit>          bit rate of the vehicle bus, 1..1000\n"
           "  drop <n>                the next n replies are lost\n"
           "  wrong-echo <n>          the next n replies carry another command code\n"
           "  short <n>               the next n replies are cut short: their first 30 bytes\n"
           "  junk <n>                the next n replies are followed by 10 extra bytes\n"
           "  delay <ms>              every reply comes this late; 0 ends it\n"
           "  sent [n]                the last n frames the board put on the bus (10 when n\n"
           "                          is left out, 0..1024): \"ok sent <shown> of <recorded>\",\n"
           "                          then one \"sent <frame line>\" per frame, oldest first\n"
           "  sent clear              empty the record of the board's frames\n"
           "  status                  plugged, connected, power state, CAN state, faults,\n"
           "                          frames the bus dropped\n"
           "  quit                    remove the socket and end\n"
           "  help                    list the commands\n"
           "Events: \"host connected\", \"host disconnected\".\n"
           "End of input does not end the program: it serves on until quit, SIGTERM or "
           "SIGINT.";
}

void Line_Splitter::feed(std::string_view bytes, const Sink& sink) {
    for (const char c : bytes) {
        if (c == '\n') {
            sink(overlong ? std::string_view() : std::string_view(partial), overlong);
            partial.clear();
            overlong = false;
        } else if (!overlong) {
            if (partial.size() >= max_line) {
                partial.clear();
                overlong = true;
            } else {
                partial.push_back(c);
            }
        }
    }
}

void Line_Splitter::finish(const Sink& sink) {
    if (overlong || !partial.empty()) {
        sink(overlong ? std::string_view() : std::string_view(partial), overlong);
    }
    partial.clear();
    overlong = false;
}

} // namespace board::console
