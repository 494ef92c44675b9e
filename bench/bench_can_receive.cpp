// The receive path: frames through can_receive_frame with the identifier lists, the log
// file, UDP forwarding and the view all on and the view in sight, a poll cycle's worth at a
// time, each cycle ending as the poll's does (UDP sent, the view refreshed at its pace).
// Run with an empty view, with a full 500-line view, and with a full view and real tables
// loaded: 64 software triggers (one of them answering every tenth frame), a steering-wheel
// button table of 32 rows (one of them on the button frames of the traffic), or both.
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include "app/widget.h"
#include "can/can_text.h"

namespace {

// A busy bus's worth per poll: 1,500 frames/s at 20 cycles/s.
constexpr int frames_per_cycle = 75;
constexpr int distinct_ids = 40;
constexpr int view_lines = 500;
constexpr int can_tab = 5;
constexpr int trigger_count = 64;
constexpr int answered_every = 10; // frames
constexpr std::uint32_t answered_id = 0x7E0;
constexpr int button_ids = 32;
constexpr std::uint32_t first_button_id = 0x400;

std::vector<CanFrame> cycle_frames() {
    std::vector<CanFrame> frames;
    for (int i = 0; i < frames_per_cycle; ++i) {
        CanFrame f;
        // Mostly ordinary traffic, and the button frames the log keeps.
        f.std_id = i % 15 == 0 ? 0x5C1U
                   : i % answered_every == 0
                       ? answered_id
                       : 0x100U + static_cast<std::uint32_t>(i % distinct_ids);
        f.dlc = 8;
        for (std::size_t b = 0; b < f.data.size(); ++b) {
            f.data[b] = static_cast<std::uint8_t>(i * 7 + static_cast<int>(b));
        }
        frames.push_back(f);
    }
    return frames;
}

// Fills the software trigger page as a user would: the last trigger answers `answered_id`,
// the others look for identifiers that never come.
void load_triggers(Widget& window) {
    auto* add = window.findChild<QPushButton*>(QStringLiteral("can_trigger_add_pushButton"));
    auto* list = window.findChild<QListWidget*>(QStringLiteral("can_trigger_listWidget"));
    auto* pattern = window.findChild<QLineEdit*>(QStringLiteral("can_trgger_recv_msg_lineEdit"));
    auto* reply =
        window.findChild<QPlainTextEdit*>(QStringLiteral("can_trigger_send_msg_plainTextEdit"));
    auto* enabled = window.findChild<QCheckBox*>(QStringLiteral("can_trigger_enabled_checkBox"));
    for (int n = 0; n < trigger_count; ++n) {
        add->click();
        list->setCurrentRow(n);
        const std::uint32_t id =
            n == trigger_count - 1 ? answered_id : 0x600U + static_cast<std::uint32_t>(n);
        pattern->setText(QStringLiteral("ID: STD=0x%1   RTR: DATA").arg(id, 0, 16));
        reply->setPlainText(QStringLiteral("ID: STD=0x7e8   RTR: DATA   DLC: 2   DATA: 0x1 0x2"));
        enabled->click();
    }
}

// Fills the button table as a user would: 32 rows, the first on the traffic's button frames
// (pressed by none of them, released by some), the others on identifiers of their own, which
// then stand on the lists as well.
void load_button_rows(Widget& window) {
    auto* add = window.findChild<QPushButton*>(QStringLiteral("canButtons_add_pushButton"));
    auto* tree =
        window.findChild<QTreeWidget*>(QStringLiteral("canButtons_combinations_treeWidget"));
    tree->clear();
    for (int n = 0; n < button_ids; ++n) {
        add->click();
        const std::uint32_t id = n == 0 ? 0x5C1U : first_button_id + static_cast<std::uint32_t>(n);
        const QStringList cells{
            QStringLiteral("button %1").arg(n),  QStringLiteral("0x%1").arg(id, 0, 16),
            QStringLiteral("0x1 0x2"),           QStringLiteral("0x7"),
            QStringLiteral("{SndAmp_VOL_UP}"),   QString(),
            QStringLiteral("{SndAmp_VOL_DOWN}"), QStringLiteral("0")};
        QTreeWidgetItem* row = tree->topLevelItem(n);
        for (int column = 0; column < cells.size(); ++column) {
            row->setText(column, cells[column]);
        }
        CanFrame f;
        f.std_id = id;
        window.can_receive_frame(f);
    }
    window.can_dispatch_flush();
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
    QTest::addColumn<bool>("triggers");
    QTest::addColumn<bool>("buttons");
    QTest::newRow("empty view") << false << false << false;
    QTest::newRow("full view") << true << false << false;
    QTest::newRow("full view, 64 triggers") << true << true << false;
    QTest::newRow("full view, 32 button rows") << true << false << true;
    QTest::newRow("full view, 64 triggers, 32 button rows") << true << true << true;
}

void Bench_Can_Receive::receive() {
    QFETCH(bool, full_view);
    QFETCH(bool, triggers);
    QFETCH(bool, buttons);
    if (triggers) {
        load_triggers(*window);
    }
    if (buttons) {
        load_button_rows(*window);
    }
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
