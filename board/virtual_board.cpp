#include "board/virtual_board.h"

#include "protocol/commands.h"

#include <algorithm>
#include <cstdio>

namespace board {

namespace {

// The model's time runs on between requests: power states, timers, the bus scenario.
constexpr int clock_period_ms = 10;

std::string_view name_of(Power_State state) {
    switch (state) {
    case Power_State::idle:
        return "idle";
    case Power_State::acc_on_delay:
        return "acc_on_delay";
    case Power_State::pc_on:
        return "pc_on";
    case Power_State::pc_shutdown:
        return "pc_shutdown";
    case Power_State::vkl_pc_delay:
        return "vkl_pc_delay";
    case Power_State::os_load_time:
        return "os_load_time";
    case Power_State::os_shutdown_time:
        return "os_shutdown_time";
    case Power_State::acc_off_delay:
        return "acc_off_delay";
    case Power_State::akb_off_delay:
        return "akb_off_delay";
    case Power_State::check_pc_on_delay:
        return "check_pc_on_delay";
    case Power_State::r_out_delay:
        return "r_out_delay";
    case Power_State::sleep:
        return "sleep";
    case Power_State::acc_on_sleep_delay:
        return "acc_on_sleep_delay";
    case Power_State::sleep_akb_off_delay:
        return "sleep_akb_off_delay";
    }
    return "unknown";
}

std::string_view name_of(Can_Mode mode) {
    switch (mode) {
    case Can_Mode::normal:
        return "normal";
    case Can_Mode::loopback:
        return "loopback";
    case Can_Mode::silent:
        return "silent";
    case Can_Mode::silent_loopback:
        return "silent-loopback";
    }
    return "unknown";
}

template <typename... F> struct Overloaded : F... { using F::operator()...; };
template <typename... F>
Overloaded(F...) -> Overloaded<F...>; // for compilers without aggregate CTAD

const char* yes_no(bool value) {
    return value ? "yes" : "no";
}

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names) {
        out += (out.empty() ? "" : ", ") + name;
    }
    return out;
}

} // namespace

Virtual_Board::Virtual_Board(const Board_Options& options, const std::string& socket_path,
                             Print print)
    : options(options), model(options.identity),
      server(socket_path, options.vendor_id, options.product_id,
             {.report = [this](const Virtual_Hid_Server::Hid_Report& r) { answer(r); },
              .connected = [this] { this->print("host connected"); },
              .disconnected =
                  [this] {
                      pending.clear(); // replies to a host that is gone go nowhere
                      reply_timer.stop();
                      this->print("host disconnected");
                  }}),
      print(std::move(print)) {
    clock_timer.callOnTimeout([this] { advance(); });
    reply_timer.setSingleShot(true);
    reply_timer.setTimerType(Qt::PreciseTimer);
    reply_timer.callOnTimeout([this] { send_due_replies(); });
}

// Unplug while every member the server's events touch is still alive.
Virtual_Board::~Virtual_Board() {
    server.unplug();
}

std::string Virtual_Board::start() {
    model.set_bus_bitrate_kbit(options.bitrate_kbit);
    if (!model.load_scenario(options.scenario, now_ms())) {
        return "unknown scenario " + console::quoted(options.scenario) + " (" +
               joined(Board_Model::scenario_names()) + ")";
    }
    if (options.can_active_at_start) {
        // As a board the tool activated earlier: on, at the prescaler of the bus's bit rate.
        constexpr int bitrate_numerator = 4000;
        const int prescaler = bitrate_numerator / options.bitrate_kbit;
        Report activate{};
        activate[1] = CMD_CAN_ACTIVATE;
        activate[2] = 1;
        activate[3] = static_cast<std::uint8_t>(prescaler >> 8);
        activate[4] = static_cast<std::uint8_t>(prescaler & 0xFF);
        model.answer(activate, now_ms());
    }
    clock_timer.start(clock_period_ms);
    return options.start_plugged ? server.plug() : std::string();
}

std::int64_t Virtual_Board::now_ms() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 started)
        .count();
}

void Virtual_Board::advance() {
    model.advance(now_ms());
}

void Virtual_Board::answer(const Virtual_Hid_Server::Hid_Report& request) {
    if (request[0] != 0) {
        // Only report 0 exists; a real device's driver would refuse the write.
        std::fprintf(stderr, "tabrix-virtual-board: ignored an output report with report ID %u\n",
                     request[0]);
        return;
    }
    const std::int64_t now = now_ms();
    model.advance(now);
    std::optional<Report> reply = model.answer(request, now);
    if (!reply) {
        return;
    }
    std::vector<std::uint8_t> bytes(reply->begin(), reply->end());
    bytes[0] = 0; // the report ID
    switch (faults.next()) {
    case Fault_Plan::Action::drop:
        return; // the board took the request; its reply is lost
    case Fault_Plan::Action::wrong_echo:
        bytes[report_command_offset] = Fault_Plan::wrong_code(request[report_command_offset]);
        break;
    case Fault_Plan::Action::cut_short:
        bytes.resize(Fault_Plan::short_reply_bytes);
        break;
    case Fault_Plan::Action::trailing_junk:
        bytes.insert(bytes.end(), Fault_Plan::junk_bytes, Fault_Plan::junk_byte);
        break;
    case Fault_Plan::Action::answer:
        break;
    }
    // Replies keep their order, also when the delay shrinks meanwhile.
    Pending_Reply entry{now + faults.delay_ms, std::move(bytes)};
    if (!pending.empty()) {
        entry.due_ms = std::max(entry.due_ms, pending.back().due_ms);
    }
    if (pending.empty() && entry.due_ms <= now) {
        server.send_raw(entry.bytes);
        return;
    }
    pending.push_back(std::move(entry));
    if (!reply_timer.isActive()) {
        reply_timer.start(
            static_cast<int>(std::max<std::int64_t>(0, pending.front().due_ms - now)));
    }
}

void Virtual_Board::send_due_replies() {
    const std::int64_t now = now_ms();
    while (!pending.empty() && pending.front().due_ms <= now) {
        const std::vector<std::uint8_t> bytes = std::move(pending.front().bytes);
        pending.pop_front();
        // A late reply still goes out: the host's time-outs decide what it is worth. Sending
        // may find the host gone, which empties the queue.
        server.send_raw(bytes);
    }
    if (!pending.empty()) {
        reply_timer.start(static_cast<int>(pending.front().due_ms - now));
    }
}

std::string Virtual_Board::status_line() {
    return std::string("ok plugged=") + yes_no(server.plugged()) +
           " connected=" + yes_no(server.connected()) + " acc=" + (model.acc() ? "on" : "off") +
           " power=" + std::string(name_of(model.power_state())) +
           " can=" + (model.can_active() ? "active" : "inactive") +
           " prescaler=" + std::to_string(model.prescaler()) +
           " mode=" + std::string(name_of(model.can_mode())) +
           " queue=" + std::to_string(model.queue_size()) +
           " bitrate=" + std::to_string(model.bus_bitrate_kbit()) +
           " scenario=" + model.scenario() + " drop=" + std::to_string(faults.drop_replies) +
           " wrong-echo=" + std::to_string(faults.wrong_echo_replies) +
           " delay=" + std::to_string(faults.delay_ms) +
           " replies-waiting=" + std::to_string(pending.size()) +
           " short=" + std::to_string(faults.short_replies) +
           " junk=" + std::to_string(faults.junk_replies) +
           " bus-dropped=" + std::to_string(model.bus_dropped_frames());
}

std::string Virtual_Board::sent_lines(std::size_t count) {
    const std::vector<CanFrame>& record = model.transmitted();
    const std::size_t shown = std::min(count, record.size());
    std::string out = "ok sent " + std::to_string(shown) + " of " + std::to_string(record.size());
    for (auto frame = record.end() - static_cast<std::ptrdiff_t>(shown); frame != record.end();
         ++frame) {
        out += '\n';
        out += console::sent_line_prefix;
        out += console::frame_line(*frame);
    }
    return out;
}

std::string Virtual_Board::run(const console::Command& command) {
    advance(); // a change takes effect at the present moment of the board's time
    using namespace console;
    return std::visit(
        Overloaded{
            [this](const Plug&) -> std::string {
                const std::string error = server.plug();
                return error.empty() ? "ok plugged" : "error: cannot plug: " + error;
            },
            [this](const Unplug&) -> std::string {
                server.unplug();
                return "ok unplugged";
            },
            [this](const Acc& c) -> std::string {
                model.set_acc(c.on);
                return c.on ? "ok acc on" : "ok acc off";
            },
            [this](const Battery& c) -> std::string {
                model.set_battery_voltage(c.volts);
                return "ok battery " + number_text(c.volts) + " V";
            },
            [this](const Light& c) -> std::string {
                model.set_light_level(c.raw);
                return "ok light " + std::to_string(c.raw);
            },
            [this](const Temperature& c) -> std::string {
                model.set_temperature(c.celsius);
                return "ok temperature " + number_text(c.celsius) + " C";
            },
            [this](const Frame& c) -> std::string {
                if (!model.put_on_bus(c.frame)) {
                    return "error: frame lost: " + std::to_string(bus_queue_capacity) +
                           " frames already wait for the bus";
                }
                return "ok frame " + frame_line(c.frame);
            },
            [this](const Press& c) -> std::string {
                if (!model.press_button(c.button, c.duration_ms, now_ms(), c.more)) {
                    const std::vector<std::string> buttons = model.button_names();
                    return "error: no button " + quoted(c.button) + " in scenario " +
                           model.scenario() +
                           (buttons.empty() ? " (it has none)" : " (" + joined(buttons) + ")");
                }
                std::string answer =
                    "ok press " + c.button + " " + std::to_string(c.duration_ms) + " ms";
                for (const Button_Hold& again : c.more) {
                    answer += ", pause " + std::to_string(again.pause_ms) + " ms, " +
                              std::to_string(again.hold_ms) + " ms";
                }
                return answer;
            },
            [this](const Screen& c) -> std::string {
                if (!model.set_head_unit_screen(c.on, now_ms())) {
                    return "error: no head-unit screen in scenario " + model.scenario() +
                           " (only in opel)";
                }
                return c.on ? "ok screen on" : "ok screen off";
            },
            [this](const Scenario& c) -> std::string {
                if (!model.load_scenario(c.name, now_ms())) {
                    return "error: unknown scenario " + quoted(c.name) + " (" +
                           joined(Board_Model::scenario_names()) + ")";
                }
                return "ok scenario " + c.name;
            },
            [this](const Bitrate& c) -> std::string {
                model.set_bus_bitrate_kbit(c.kbit);
                return "ok bitrate " + std::to_string(c.kbit) + " kbit/s";
            },
            [this](const Drop& c) -> std::string {
                faults.drop_replies = c.count;
                return "ok drop " + std::to_string(c.count);
            },
            [this](const Wrong_Echo& c) -> std::string {
                faults.wrong_echo_replies = c.count;
                return "ok wrong-echo " + std::to_string(c.count);
            },
            [this](const Cut_Short& c) -> std::string {
                faults.short_replies = c.count;
                return "ok short " + std::to_string(c.count);
            },
            [this](const Junk& c) -> std::string {
                faults.junk_replies = c.count;
                return "ok junk " + std::to_string(c.count);
            },
            [this](const Delay& c) -> std::string {
                faults.delay_ms = c.ms;
                return "ok delay " + std::to_string(c.ms) + " ms";
            },
            [this](const Sent& c) { return sent_lines(static_cast<std::size_t>(c.count)); },
            [this](const Clear_Sent&) -> std::string {
                const std::size_t cleared = model.transmitted().size();
                model.clear_transmitted();
                return "ok sent cleared " + std::to_string(cleared);
            },
            [this](const Status&) { return status_line(); },
            [this](const Quit&) -> std::string {
                quitting = true;
                return "ok bye";
            },
            [](const Help&) { return "ok " + std::string(summary()); },
            [](const Nothing&) { return std::string(); },
            [](const Error& e) { return "error: " + e.message; },
        },
        command);
}

} // namespace board
