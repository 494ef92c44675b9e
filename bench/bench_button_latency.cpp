// How long a steering-wheel press takes to become a key stroke: the window polls the in-process
// board on its own timer, in real time, as the program does; the board's bus carries a double
// press whose second press frame is put on the bus at a random moment of the poll interval,
// and the time from that frame to the window's key event is taken. Run by hand; README.md
// beside this file says how.
#include <QElapsedTimer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <algorithm>
#include <numeric>

#include "app/widget.h"
#include "protocol/commands.h"
#include "tests/frame_fixture.h"
#include "tests/test_board.h"

namespace {

constexpr int presses = 60;
constexpr int hold_ms = 100;
constexpr int pause_ms = 150;  // within the double-press window of 500 ms
constexpr int settle_ms = 700; // the window closes, nothing is held
constexpr int give_up_ms = 1000;
constexpr std::uint32_t button_id = 0x5C1;
constexpr std::uint8_t pressed_code = 0x06;
constexpr std::uint8_t released_code = 0x00;

} // namespace

class Bench_Button_Latency : public QObject {
    Q_OBJECT

private slots:
    void press_to_key_event();
};

void Bench_Button_Latency::press_to_key_event() {
    QElapsedTimer clock;
    clock.start();
    auto board = Test_Board::create();
    // The board's time is the real time: each report moves it on before it is answered.
    board->on_write = [&](const Test_Board::Exchange&) { board->now_ms = clock.elapsed(); };

    Widget window;
    window.exit_application = [](int) {};
    window.watch_enabled = false;
    window.hid.set_backends(Hid_Backends{board});
    window.hid.open();

    std::int64_t key_at = -1;
    window.send_keys = [&](QStringView) { key_at = clock.elapsed(); };

    board::Report activate{};
    activate[1] = CMD_CAN_ACTIVATE;
    activate[2] = 1;
    activate[4] = 40; // 100 kbit/s, the bus's rate
    board->model.answer(activate, clock.elapsed());
    QVERIFY(board->model.load_scenario("none", clock.elapsed()));

    window.findChild<QPushButton*>(QStringLiteral("canButtons_add_pushButton"))->click();
    auto* tree =
        window.findChild<QTreeWidget*>(QStringLiteral("canButtons_combinations_treeWidget"));
    QTreeWidgetItem* row = tree->topLevelItem(tree->topLevelItemCount() - 1);
    const QStringList cells{"vol", "0x5c1", "0x6", "0x0", "", "double", "", "0"};
    for (int column = 0; column < cells.size(); ++column) {
        row->setText(column, cells[column]);
    }
    QTest::qWait(settle_ms); // connected, settings read, the poll running

    const auto put = [&](std::uint8_t code) {
        board->model.advance(clock.elapsed());
        board->model.put_on_bus(standard(button_id, 1, {code}));
    };
    std::vector<std::int64_t> latencies;
    for (int n = 0; n < presses; ++n) {
        put(pressed_code);
        QTest::qWait(hold_ms);
        put(released_code);
        QTest::qWait(pause_ms +
                     QRandomGenerator::global()->bounded(window.poll_interval_ms.load()));
        key_at = -1;
        const std::int64_t frame_at = clock.elapsed();
        put(pressed_code);
        QTRY_VERIFY_WITH_TIMEOUT(key_at >= 0, give_up_ms);
        latencies.push_back(key_at - frame_at);
        put(released_code);
        QTest::qWait(settle_ms);
    }
    std::sort(latencies.begin(), latencies.end());
    const double mean =
        static_cast<double>(std::accumulate(latencies.begin(), latencies.end(), std::int64_t{0})) /
        static_cast<double>(latencies.size());
    qInfo().noquote() << QStringLiteral(
                             "%1 double presses, poll interval %2 ms: frame to key event mean %3 "
                             "ms, median %4 ms, max %5 ms")
                             .arg(latencies.size())
                             .arg(window.poll_interval_ms.load())
                             .arg(mean, 0, 'f', 1)
                             .arg(latencies[latencies.size() / 2])
                             .arg(latencies.back());
}

QTEST_MAIN(Bench_Button_Latency)
#include "bench_button_latency.moc"
