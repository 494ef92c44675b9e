#include "test_board.h"

#include <algorithm>
#include <cerrno>

namespace {

constexpr std::size_t command_byte = 1;
constexpr std::size_t payload_offset = 2;
constexpr Hid_Attributes board_ids{0x8D88, 0x00CC};

class Test_Handle : public Hid_Handle {
public:
    Test_Handle(std::shared_ptr<Test_Board> board, std::string path, Hid_Attributes ids)
        : board(std::move(board)), path(std::move(path)), ids(ids) {
        this->board->events.push_back("open " + this->path);
    }
    ~Test_Handle() override { board->events.push_back("close " + path); }
    Test_Handle(const Test_Handle&) = delete;
    Test_Handle& operator=(const Test_Handle&) = delete;

    std::optional<Hid_Attributes> attributes() override {
        if (is_board() && !board->plugged) {
            return std::nullopt;
        }
        return ids;
    }
    int discard_input() override { return is_board() ? board->discard() : 0; }
    int write_report(const Hid_Report& report, int) override {
        return is_board() ? board->write(report) : EIO;
    }
    int read_report(Hid_Report& report, int timeout_ms) override {
        return is_board() ? board->read(report, timeout_ms) : ETIMEDOUT;
    }

private:
    bool is_board() const { return path == Test_Board::board_path; }

    std::shared_ptr<Test_Board> board;
    std::string path;
    Hid_Attributes ids;
};

} // namespace

std::shared_ptr<Test_Board> Test_Board::create(board::Identity identity) {
    return std::make_shared<Test_Board>(identity);
}

Test_Board::Test_Board(board::Identity identity) : model(identity) {}

void Test_Board::add_other_device(Hid_Attributes ids) {
    others.push_back(ids);
}

std::vector<std::string> Test_Board::enumerate() {
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < others.size(); ++i) {
        paths.push_back("other-" + std::to_string(i));
    }
    if (plugged) {
        paths.emplace_back(board_path);
    }
    return paths;
}

Hid_Open_Result Test_Board::open(const std::string& path) {
    if (path == board_path) {
        if (!plugged) {
            return {};
        }
        if (const int error = refuse_open; error != 0) {
            return {nullptr, error, board_ids};
        }
        framing_broken = false; // a new connection starts on a report boundary
        input.clear();
        return {std::make_unique<Test_Handle>(shared_from_this(), path, board_ids), 0,
                std::nullopt};
    }
    const std::size_t index = std::stoul(path.substr(path.find('-') + 1));
    return {std::make_unique<Test_Handle>(shared_from_this(), path, others.at(index)), 0,
            std::nullopt};
}

int Test_Board::write(const Hid_Report& report) {
    if (!plugged) {
        return ENODEV;
    }
    Exchange e;
    e.command = report[command_byte];
    std::copy(report.begin() + payload_offset, report.end(), e.payload.begin());
    exchanges.push_back(e);
    if (on_write) {
        on_write(e);
    }

    const board::Fault_Plan::Action action = faults.next();
    if (action == board::Fault_Plan::Action::drop || exchanges.size() == lose_reply_to) {
        return 0;
    }
    std::optional<board::Report> reply = model.answer(report, now_ms);
    if (!reply) {
        return 0;
    }
    if (action == board::Fault_Plan::Action::wrong_echo) {
        (*reply)[command_byte] = board::Fault_Plan::wrong_code(report[command_byte]);
    }
    // Replies keep their order, also when the delay shrinks meanwhile.
    Arrival arrival{now_ms + faults.delay_ms, *reply, action};
    if (!input.empty()) {
        arrival.due_ms = std::max(arrival.due_ms, input.back().due_ms);
    }
    input.push_back(arrival);
    return 0;
}

// As the virtual device reads its byte stream: a reply cut short is waited for until the
// time-out, junk after a reply puts every later read out of step.
int Test_Board::read(Hid_Report& report, int timeout_ms) {
    using Action = board::Fault_Plan::Action;
    if (!plugged) {
        return ENODEV;
    }
    if (framing_broken) {
        return EPROTO;
    }
    if (input.empty() || input.front().due_ms > now_ms + timeout_ms) {
        now_ms += timeout_ms;
        return ETIMEDOUT;
    }
    now_ms = std::max(now_ms, input.front().due_ms);
    const Arrival arrival = input.front();
    input.pop_front();
    if (arrival.fault == Action::cut_short) {
        now_ms += timeout_ms;
        framing_broken = true;
        return EPROTO;
    }
    framing_broken = arrival.fault == Action::trailing_junk;
    report = arrival.report;
    return 0;
}

int Test_Board::discard() {
    while (!input.empty() && input.front().due_ms <= now_ms) {
        const board::Fault_Plan::Action fault = input.front().fault;
        framing_broken = framing_broken || fault == board::Fault_Plan::Action::cut_short ||
                         fault == board::Fault_Plan::Action::trailing_junk;
        input.pop_front();
    }
    return framing_broken ? EPROTO : 0;
}
