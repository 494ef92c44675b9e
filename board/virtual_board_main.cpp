// tabrix-virtual-board: the board model served as a virtual HID device, so that the tool can
// be run, tested and shown without the board. Driven by commands on standard input.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

#include "board/board_console.h"
#include "board/unique_fd.h"
#include "board/virtual_board.h"

namespace {

enum Exit_Code { exit_ok = 0, exit_bad_options = 1, exit_cannot_serve = 2 };

constexpr std::size_t max_console_line = 4096;
constexpr std::size_t stdin_chunk = 4096;
constexpr unsigned max_byte_value = 0xFF;
constexpr unsigned max_id_value = 0xFFFF;
constexpr int hex_base = 16;
constexpr int decimal_base = 10;

void print_line(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// SIGTERM and SIGINT end the program through the event loop, so the socket file goes away.
// The handler only writes one byte into a socket pair; the event loop reads it.
board::Unique_Fd signal_reader;
board::Unique_Fd signal_writer;

extern "C" void on_termination_signal(int) {
    const int saved_errno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signal_writer.get(), &byte, 1);
    errno = saved_errno;
}

bool ignored_at_start(int number) {
    struct sigaction current {};
    return ::sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

// Runs `quit` on the event loop when a termination signal arrives.
void watch_termination_signals(QSocketNotifier& notifier, const std::function<void()>& quit) {
    std::array<int, 2> pair{};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pair.data()) != 0) {
        return;
    }
    signal_reader.reset(pair[0]);
    signal_writer.reset(pair[1]);
    notifier.setSocket(signal_reader.get());
    QObject::connect(&notifier, &QSocketNotifier::activated, [quit] {
        std::array<char, 2> drained{};
        while (::read(signal_reader.get(), drained.data(), drained.size()) > 0) {
        }
        quit();
    });
    notifier.setEnabled(true);

    struct sigaction action {};
    action.sa_handler = on_termination_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    // A background job started without job control ignores SIGINT; keep it that way.
    if (!ignored_at_start(SIGINT)) {
        ::sigaction(SIGINT, &action, nullptr);
    }
}

// A standard descriptor started closed would be taken by the next socket, and console lines
// would go into a host's connection: hold them with /dev/null.
void hold_standard_descriptors() {
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) == -1) {
            const int null_fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
            if (null_fd >= 0 && null_fd != fd) {
                ::dup2(null_fd, fd);
                ::close(null_fd);
            }
        }
    }
}

// Broken pipes are reported by the calls themselves; a background process must not stop when
// it touches the terminal.
void ignore_disruptive_signals() {
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGTTIN, SIG_IGN);
    std::signal(SIGTTOU, SIG_IGN);
}

std::optional<unsigned> option_number(const QCommandLineParser& parser, const QString& name,
                                      unsigned max, int base) {
    QString text = parser.value(name).trimmed();
    if (base == hex_base && text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        text = text.mid(2);
    }
    bool ok = false;
    const unsigned value = text.toUInt(&ok, base);
    if (!ok || value > max) {
        std::fprintf(stderr, "tabrix-virtual-board: --%s wants a %s number 0..%s, not '%s'\n",
                     qPrintable(name), base == hex_base ? "hexadecimal" : "decimal",
                     qPrintable(QString::number(max, base)), qPrintable(parser.value(name)));
        return std::nullopt;
    }
    return value;
}

std::optional<board::Board_Options> parse_options(const QCoreApplication& app) {
    QCommandLineParser parser;
    std::string scenarios;
    for (const std::string& name : board::Board_Model::scenario_names()) {
        scenarios += (scenarios.empty() ? "" : ", ") + name;
    }
    parser.setApplicationDescription(
        QStringLiteral("Plays the Korvantexa Tabrix board as a virtual HID device: a socket "
                       "<name>.sock in $XDG_RUNTIME_DIR/virtual-hid/.\n\n") +
        QString::fromUtf8(board::console::usage().data(),
                          static_cast<qsizetype>(board::console::usage().size())) +
        QStringLiteral("\n\nScenarios: ") + QString::fromStdString(scenarios) +
        QStringLiteral("\nExit codes: 0 normal end, 1 bad options, 2 the device cannot be "
                       "served."));
    parser.addHelpOption();
    const board::Board_Options defaults;
    // Each option with its default in the help text, as QCommandLineParser shows none.
    const auto option = [](const char* name, const char* text, const char* value,
                           const QString& default_value) {
        return QCommandLineOption(QString::fromLatin1(name),
                                  QString::fromLatin1(text) + QStringLiteral(" Default: ") +
                                      default_value + QLatin1Char('.'),
                                  QString::fromLatin1(value), default_value);
    };
    parser.addOptions({
        option("name", "Socket file name without .sock.", "NAME",
               QString::fromStdString(defaults.name)),
        option("board-type", "Board type the board identifies as.", "N",
               QString::number(defaults.identity.board_type)),
        option("hardware-version",
               "Hardware version: 4 the variant with monitor control and temperature sensor, "
               "100 the sniffer.",
               "N", QString::number(defaults.identity.hardware_version)),
        option("firmware-version", "Firmware version.", "N",
               QString::number(defaults.identity.firmware_version)),
        option("scenario", "Vehicle bus scenario at start.", "NAME",
               QString::fromStdString(defaults.scenario)),
        option("bitrate", "Vehicle bus bit rate in kbit/s.", "KBIT",
               QString::number(defaults.bitrate_kbit)),
        {QStringLiteral("unplugged"), QStringLiteral("Start unplugged: no socket until plug.")},
        {QStringLiteral("can-active"),
         QStringLiteral(
             "Start with the CAN controller on, at the prescaler of the bus's bit rate.")},
        option("vid", "Vendor ID to play, hexadecimal.", "HEX",
               QString::number(defaults.vendor_id, hex_base)),
        option("pid", "Product ID to play, hexadecimal.", "HEX",
               QString::number(defaults.product_id, hex_base)),
    });
    parser.process(app); // --help and unknown options end the program here

    board::Board_Options options;
    options.name = parser.value(QStringLiteral("name")).toStdString();
    if (options.name.empty() || options.name.find('/') != std::string::npos ||
        options.name.starts_with('.')) {
        std::fprintf(stderr, "tabrix-virtual-board: --name wants a plain file name\n");
        return std::nullopt;
    }
    const auto board_type =
        option_number(parser, QStringLiteral("board-type"), max_byte_value, decimal_base);
    const auto hardware =
        option_number(parser, QStringLiteral("hardware-version"), max_byte_value, decimal_base);
    const auto firmware =
        option_number(parser, QStringLiteral("firmware-version"), max_byte_value, decimal_base);
    const auto bitrate = option_number(parser, QStringLiteral("bitrate"),
                                       board::console::max_bitrate_kbit, decimal_base);
    const auto vid = option_number(parser, QStringLiteral("vid"), max_id_value, hex_base);
    const auto pid = option_number(parser, QStringLiteral("pid"), max_id_value, hex_base);
    if (!board_type || !hardware || !firmware || !bitrate || !vid || !pid) {
        return std::nullopt;
    }
    if (*bitrate < board::console::min_bitrate_kbit) {
        std::fprintf(stderr, "tabrix-virtual-board: --bitrate wants at least %d kbit/s\n",
                     board::console::min_bitrate_kbit);
        return std::nullopt;
    }
    options.identity = {static_cast<std::uint8_t>(*board_type),
                        static_cast<std::uint8_t>(*hardware), static_cast<std::uint8_t>(*firmware)};
    options.scenario = parser.value(QStringLiteral("scenario")).toLower().toStdString();
    options.bitrate_kbit = static_cast<int>(*bitrate);
    options.start_plugged = !parser.isSet(QStringLiteral("unplugged"));
    options.can_active_at_start = parser.isSet(QStringLiteral("can-active"));
    options.vendor_id = static_cast<std::uint16_t>(*vid);
    options.product_id = static_cast<std::uint16_t>(*pid);
    return options;
}

// Reads console lines from standard input as they come. End of input stops only the reading.
class Console_Input {
public:
    Console_Input(board::Virtual_Board& board, QCoreApplication& app)
        : board(board), app(app), splitter(max_console_line) {
        notifier.setSocket(STDIN_FILENO);
        QObject::connect(&notifier, &QSocketNotifier::activated, [this] { read_some(); });
        notifier.setEnabled(true);
    }

private:
    void read_some() {
        // One read per wake-up: standard input stays blocking, as other readers expect.
        std::array<char, stdin_chunk> chunk{};
        const ssize_t got = ::read(STDIN_FILENO, chunk.data(), chunk.size());
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
            return;
        }
        const auto sink = [this](std::string_view line, bool overlong) { run(line, overlong); };
        if (got <= 0) {
            notifier.setEnabled(false); // end of input, or a terminal we may not read
            splitter.finish(sink);
            return;
        }
        splitter.feed(std::string_view(chunk.data(), static_cast<std::size_t>(got)), sink);
    }

    void run(std::string_view line, bool overlong) {
        if (board.quit_requested()) {
            return; // lines after quit in the same read
        }
        const std::string answer =
            overlong ? "error: line longer than " + std::to_string(max_console_line) + " bytes"
                     : board.run(board::console::parse_line(line));
        if (!answer.empty()) {
            print_line(answer);
        }
        if (board.quit_requested()) {
            notifier.setEnabled(false);
            app.quit();
        }
    }

    board::Virtual_Board& board;
    QCoreApplication& app;
    board::console::Line_Splitter splitter;
    QSocketNotifier notifier{QSocketNotifier::Read};
};

} // namespace

int main(int argc, char* argv[]) {
    hold_standard_descriptors();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tabrix-virtual-board"));
    ignore_disruptive_signals();

    const std::optional<board::Board_Options> options = parse_options(app);
    if (!options) {
        return exit_bad_options;
    }
    const std::string socket_path =
        board::Virtual_Hid_Server::default_directory() + "/" + options->name + ".sock";
    // Watched before the socket exists, so no signal can leave it behind.
    QSocketNotifier signal_notifier(QSocketNotifier::Read);
    watch_termination_signals(signal_notifier, [&app] { app.quit(); });

    board::Virtual_Board board(*options, socket_path, print_line);
    if (const std::string error = board.start(); !error.empty()) {
        std::fprintf(stderr, "tabrix-virtual-board: %s\n", error.c_str());
        return exit_cannot_serve;
    }
    Console_Input console(board, app);
    // On the diagnostic channel: standard output carries only answers and host events.
    std::fprintf(stderr, "tabrix-virtual-board: %s %s\n",
                 board.plugged() ? "serving" : "unplugged; plug creates",
                 board.socket_path().c_str());
    return app.exec();
}
