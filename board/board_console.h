#pragma once

// The virtual board's command language: one command per line on standard input.
// Parsing only; the board runs the commands.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "board/board_model.h"
#include "can/can_frame.h"

namespace board::console {

struct Plug {};
struct Unplug {};
struct Acc {
    bool on = false;
};
struct Battery {
    double volts = 0;
};
struct Light {
    int raw = 0;
};
struct Temperature {
    double celsius = 0;
};
struct Frame {
    CanFrame frame;
};
struct Press {
    std::string button; // lower case
    int duration_ms = 0;
    std::vector<Button_Hold> more; // holds after the first, a double press has one
};
// The head-unit screen of the opel scenario.
struct Screen {
    bool on = false;
};
struct Scenario {
    std::string name; // lower case
};
struct Bitrate {
    int kbit = 0;
};
struct Drop {
    int count = 0;
};
struct Wrong_Echo {
    int count = 0;
};
struct Cut_Short {
    int count = 0;
};
struct Junk {
    int count = 0;
};
struct Delay {
    int ms = 0;
};
// The frames the board put on the bus, the last `count` of them.
struct Sent {
    int count = 0;
};
struct Clear_Sent {};
struct Status {};
struct Quit {};
struct Help {};
struct Nothing {}; // an empty line or a comment
struct Error {
    std::string message; // without the "error: " prefix
};

using Command = std::variant<Plug, Unplug, Acc, Battery, Light, Temperature, Frame, Press, Screen,
                             Scenario, Bitrate, Drop, Wrong_Echo, Cut_Short, Junk, Delay, Sent,
                             Clear_Sent, Status, Quit, Help, Nothing, Error>;

// Ranges the console accepts.
constexpr double min_battery_volts = 0.0;
constexpr double max_battery_volts = 40.0;
constexpr double min_temperature_celsius = -128.0; // what the board's signed byte carries
constexpr double max_temperature_celsius = 127.0;
constexpr int max_press_ms = 60'000; // a hold, and a pause between two holds
constexpr int max_press_holds = 8;
constexpr int min_bitrate_kbit = 1;
constexpr int max_bitrate_kbit = 1000;
constexpr int max_fault_count = 1'000'000;
constexpr int max_delay_ms = 60'000;
constexpr int default_sent_count = 10;
constexpr int max_sent_count = static_cast<int>(transmitted_capacity); // all the record holds

// `sent` answers "ok sent <shown> of <recorded>" and then one line per frame shown, oldest
// first, each this prefix and the frame line.
constexpr std::string_view sent_line_prefix = "sent ";

// Keywords are case-insensitive; a line starting with '#' is a comment.
Command parse_line(std::string_view line);

// A frame in the tool's frame line form ("ID: STD=0x5c1   RTR: DATA   DLC: 2   DATA: 0x6 0x0")
// or the short form "<id> [ext] <byte>..." (hexadecimal, "0x" optional). On failure the
// frame is left alone and the reason is returned.
std::string parse_frame(std::string_view text, CanFrame& frame);

// The frame line of a frame, as the tool writes it.
std::string frame_line(const CanFrame& frame);

// Shortest decimal form of a number ("12.5", "40").
std::string number_text(double value);

// Printable, bounded rendering of untrusted input for error lines.
std::string quoted(std::string_view text);

std::string_view summary(); // one line: the commands
std::string_view usage();   // several lines: the command language

// Splits a byte stream into lines. A line longer than `max_line` bytes is reported once, as
// overlong, without its content.
class Line_Splitter {
public:
    using Sink = std::function<void(std::string_view line, bool overlong)>;

    explicit Line_Splitter(std::size_t max_line) : max_line(max_line) {}

    void feed(std::string_view bytes, const Sink& sink);
    // End of input: hands on an unterminated last line.
    void finish(const Sink& sink);

private:
    std::size_t max_line;
    std::string partial;
    bool overlong = false;
};

} // namespace board::console
