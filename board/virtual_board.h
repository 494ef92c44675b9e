#pragma once

#include <QTimer>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "board/board_console.h"
#include "board/board_model.h"
#include "board/fault_plan.h"
#include "board/virtual_hid_server.h"

namespace board {

struct Board_Options {
    static constexpr std::uint16_t board_vendor_id = 0x8D88;
    static constexpr std::uint16_t board_product_id = 0x00CC;

    std::string name = "tabrix-board"; // socket file name without ".sock"
    Identity identity;
    std::string scenario = "none";
    int bitrate_kbit = factory_bus_bitrate_kbit;
    bool start_plugged = true;
    bool can_active_at_start = false; // the controller already listening to the bus
    std::uint16_t vendor_id = board_vendor_id;
    std::uint16_t product_id = board_product_id;
};

// The board model served as a virtual HID device, with its faults, its clock and the
// console commands. Lives on the Qt event loop.
class Virtual_Board {
public:
    using Print = std::function<void(std::string_view line)>;

    // `print` takes the lines the board says on its own (a host connecting or leaving).
    Virtual_Board(const Board_Options& options, const std::string& socket_path, Print print);
    ~Virtual_Board();

    Virtual_Board(const Virtual_Board&) = delete;
    Virtual_Board& operator=(const Virtual_Board&) = delete;

    // Sets the bus and its scenario, starts the clock and plugs in unless told otherwise.
    // Empty on success, otherwise the reason.
    std::string start();

    // Runs one console command; returns its answer line, empty for an empty line or a comment.
    // The answer to `sent` goes on with the frame lines it announces, joined by '\n'.
    std::string run(const console::Command& command);

    bool quit_requested() const { return quitting; }
    bool plugged() const { return server.plugged(); }
    const std::string& socket_path() const { return server.path(); }

private:
    struct Pending_Reply {
        std::int64_t due_ms = 0;
        std::vector<std::uint8_t> bytes; // a whole report unless a framing fault is played
    };

    std::int64_t now_ms() const;
    void advance();
    void answer(const Virtual_Hid_Server::Hid_Report& request);
    void send_due_replies();
    std::string status_line();
    std::string sent_lines(std::size_t count);

    Board_Options options;
    Board_Model model;
    Fault_Plan faults;
    Virtual_Hid_Server server;
    Print print;
    bool quitting = false;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    QTimer clock_timer;
    QTimer reply_timer;
    std::deque<Pending_Reply> pending; // to the present host, in the order they go out
};

} // namespace board
