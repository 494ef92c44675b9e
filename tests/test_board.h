#pragma once

// The board model behind the HID backend interface, in-process: every exchange is
// recorded, and the virtual board's faults can be played. The board's clock is `now_ms`,
// moved by the test and by the host's waits: a read that waits for a reply moves it to the
// reply's arrival, one that times out moves it by its whole time-out. So a slow or late
// board costs simulated time, never real time.

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "board/board_model.h"
#include "board/fault_plan.h"
#include "hid/hid_backend.h"

class Test_Board : public Hid_Backend, public std::enable_shared_from_this<Test_Board> {
public:
    struct Exchange {
        std::uint8_t command = 0;
        std::array<std::uint8_t, 63> payload{};
    };

    static std::shared_ptr<Test_Board> create(board::Identity identity = {});
    explicit Test_Board(board::Identity identity);

    std::vector<std::string> enumerate() override;
    Hid_Open_Result open(const std::string& path) override;

    // Another HID device with these IDs, listed before the board.
    void add_other_device(Hid_Attributes ids);

    board::Board_Model model;
    board::Fault_Plan faults;
    std::atomic<bool> plugged{true};
    // Non-zero: the board's node is listed with its IDs but its open fails with this error
    // number, as a hidraw node the user has no access to.
    std::atomic<int> refuse_open{0};
    std::int64_t now_ms = 0;

    std::size_t lose_reply_to = 0;   // the reply to this exchange (counted from 1) is lost
    std::vector<Exchange> exchanges; // every output report the board got
    std::vector<std::string> events; // "open <path>", "close <path>" in order
    // Called with every output report the board gets, after it is recorded.
    std::function<void(const Exchange&)> on_write;

    struct Arrival {
        std::int64_t due_ms = 0;
        Hid_Report report{};
        board::Fault_Plan::Action fault = board::Fault_Plan::Action::answer;
    };
    std::deque<Arrival> input; // replies on their way to the host or waiting, in order
    // Bytes of a report that did not come whole: the host's reads are out of step.
    bool framing_broken = false;

    static constexpr const char* board_path = "test-board";

    // Called by the handles.
    int write(const Hid_Report& report);
    int read(Hid_Report& report, int timeout_ms);
    int discard();

private:
    std::vector<Hid_Attributes> others;
};
