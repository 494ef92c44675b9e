#pragma once

// The board model behind the HID backend interface, in-process: every exchange is
// recorded, and the virtual board's faults can be played. The board's clock is `now_ms`,
// moved by the test.

#include <atomic>
#include <cstdint>
#include <deque>
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
    std::unique_ptr<Hid_Handle> open(const std::string& path) override;

    // Another HID device with these IDs, listed before the board.
    void add_other_device(Hid_Attributes ids);

    board::Board_Model model;
    board::Fault_Plan faults;
    std::atomic<bool> plugged{true};
    std::int64_t now_ms = 0;

    std::size_t lose_reply_to = 0;   // the reply to this exchange (counted from 1) is lost
    std::vector<Exchange> exchanges; // every output report the board got
    std::vector<std::string> events; // "open <path>", "close <path>" in order
    std::deque<Hid_Report> input;    // input reports waiting to be read
    std::vector<Hid_Report> late;    // replies that arrive once the current read timed out

    static constexpr const char* board_path = "test-board";

    // Called by the handles.
    int write(const Hid_Report& report);
    int read(Hid_Report& report);

private:
    std::vector<Hid_Attributes> others;
};
