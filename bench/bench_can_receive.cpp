// The receive path: frames through can_receive_frame with the identifier lists, the log
// file, UDP forwarding and the view all on and the view in sight, a poll cycle's worth at a
// time, each cycle ending as the poll's does (UDP sent, the view refreshed at its pace).
// Run with an empty view and with a full 500-line view.
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "app/widget.h"
#include "can/can_text.h"

namespace {

// A busy bus's worth per poll: 1,500 frames/s at 20 cycles/s.
constexpr int frames_per_cycle = 75;
constexpr int distinct_ids = 40;
constexpr int view_lines = 500;
constexpr int can_tab = 5;

std::vector<CanFrame> cycle_frames() {
    std::vector<CanFrame> frames;
    for (int i = 0; i < frames_per_cycle; ++i) {
        CanFrame f;
        // Mostly ordinary traffic, and the button frames the log keeps.
        f.std_id = i % 15 == 0 ? 0x5C1U : 0x100U + static_cast<std::uint32_t>(i % distinct_ids);
        f.dlc = 8;
        for (std::size_t b = 0; b < f.data.size(); ++b) {
            f.data[b] = static_cast<std::uint8_t>(i * 7 + static_cast<int>(b));
        }
        frames.push_back(f);
    }
    return frames;
}

} // namespace

class Bench_Can_Receive : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void receive_data();
    void receive();

private:
    std::unique_ptr<QTemporaryDir> log_dir;
    std::unique_ptr<Widget> window;
};

void Bench_Can_Receive::init() {
    log_dir = std::make_unique<QTemporaryDir>();
    window = std::make_unique<Widget>();
    window->findChild<QTimer*>(QStringLiteral("poll_timer"))->stop();
    window->can_log_open(log_dir->path());
    window->findChild<QCheckBox*>(QStringLiteral("can_write_log_checkBox"))->setChecked(true);
    window->findChild<QCheckBox*>(QStringLiteral("udpObdSend_checkBox"))->setChecked(true);
    // The view is filled only while it can be seen: show it.
    window->findChild<QTabWidget*>(QStringLiteral("tabWidget"))->setCurrentIndex(can_tab);
    window->show();
}

void Bench_Can_Receive::cleanup() {
    window.reset();
    log_dir.reset();
}

void Bench_Can_Receive::receive_data() {
    QTest::addColumn<bool>("full_view");
    QTest::newRow("empty view") << false;
    QTest::newRow("full view") << true;
}

void Bench_Can_Receive::receive() {
    QFETCH(bool, full_view);
    const std::vector<CanFrame> frames = cycle_frames();
    auto* view = window->findChild<QPlainTextEdit*>(QStringLiteral("can_recieved_plainTextEdit"));
    if (full_view) {
        QStringList lines;
        for (int i = 0; i < view_lines; ++i) {
            lines << can_frame_to_text(frames[static_cast<std::size_t>(i) % frames.size()]);
        }
        view->appendPlainText(lines.join(QLatin1Char('\n')));
        QCOMPARE(view->blockCount(), view_lines);
    }
    QBENCHMARK {
        if (!full_view) {
            view->clear();
        }
        for (const CanFrame& f : frames) {
            window->can_receive_frame(f);
        }
        window->can_dispatch_flush();
    }
}

QTEST_MAIN(Bench_Can_Receive)
#include "bench_can_receive.moc"
