// The power history: the ring of one point a second, the plot's points, and the plot on
// the power page fed by the poll.
#include <QLineEdit>
#include <QTabWidget>
#include <QtTest>

#include "poll_fixture.h"
#include "protocol/power_history.h"
#include "protocol/power_history_plot.h"

namespace {

constexpr std::int64_t second = Power_History::period_ms;
constexpr std::int64_t minute = 60 * second;
constexpr std::int64_t poll_ms = 50;
constexpr int power_tab = 1;

// One fed point: at `at_ms`, battery and output volts, state; `gap` breaks the line first.
struct Feed {
    std::int64_t at_ms;
    float battery;
    float output;
    std::uint8_t state;
    bool gap = false;
};

Power_History fed(const std::vector<Feed>& feeds) {
    Power_History h;
    for (const Feed& f : feeds) {
        if (f.gap) {
            h.break_line();
        }
        h.add(f.at_ms, f.battery, f.output, f.state);
    }
    return h;
}

} // namespace

using Points = std::vector<Power_Plot_Point>;
using Marks = std::vector<Power_State_Mark>;
Q_DECLARE_METATYPE(std::vector<Feed>)
Q_DECLARE_METATYPE(Points)
Q_DECLARE_METATYPE(Marks)

bool operator==(const Power_Plot_Point& a, const Power_Plot_Point& b) {
    return qFuzzyCompare(a.minutes_ago + 1, b.minutes_ago + 1) &&
           qFuzzyCompare(a.battery_volts, b.battery_volts) &&
           qFuzzyCompare(a.output_volts + 1, b.output_volts + 1) && a.starts_line == b.starts_line;
}
bool operator==(const Power_State_Mark& a, const Power_State_Mark& b) {
    return qFuzzyCompare(a.minutes_ago + 1, b.minutes_ago + 1) && a.state == b.state;
}

class Tst_Power_History : public QObject {
    Q_OBJECT

private slots:
    void ring_keeps_the_newest_hour_in_order();
    void ring_takes_one_point_a_second_however_often_fed();
    void ring_marks_the_first_point_after_a_gap();
    void plot_points_data();
    void plot_points();
    void page_shows_the_plot_fed_by_the_poll();
    void plot_repaints_once_a_second_only_in_sight();
};

void Tst_Power_History::ring_keeps_the_newest_hour_in_order() {
    Power_History h;
    constexpr std::size_t fed_count = Power_History::capacity + 250;
    for (std::size_t n = 0; n < fed_count; ++n) {
        QVERIFY(h.add(static_cast<std::int64_t>(n) * second, static_cast<float>(n), 0.0F,
                      static_cast<std::uint8_t>(n % 14)));
    }
    QCOMPARE(h.size(), Power_History::capacity);
    // The oldest kept is the first not pushed out; every later one follows in order.
    const std::size_t dropped = fed_count - Power_History::capacity;
    for (std::size_t i = 0; i < h.size(); ++i) {
        QCOMPARE(h[i].at_ms, static_cast<std::int64_t>(dropped + i) * second);
        QCOMPARE(h[i].battery_volts, static_cast<float>(dropped + i));
    }
}

void Tst_Power_History::ring_takes_one_point_a_second_however_often_fed() {
    Power_History h;
    // Ten seconds of a poll every 50 ms that comes a few ms late each time: the beat holds.
    std::int64_t now = 0;
    int taken = 0;
    while (now < 10 * second) {
        taken += h.add(now, 12.0F, 0.0F, 0) ? 1 : 0;
        now += poll_ms + 3;
    }
    QCOMPARE(taken, 10);
    for (std::size_t i = 1; i < h.size(); ++i) {
        const std::int64_t step = h[i].at_ms - h[i - 1].at_ms;
        QVERIFY2(step > second - poll_ms && step < second + poll_ms,
                 qPrintable(QString::number(step)));
    }
    QVERIFY(!h.due(h[h.size() - 1].at_ms + second - poll_ms));
}

void Tst_Power_History::ring_marks_the_first_point_after_a_gap() {
    Power_History h;
    h.add(0, 12.0F, 12.0F, 2);
    h.add(second, 12.0F, 12.0F, 2);
    h.break_line();
    h.break_line(); // the poll says it every cycle while the board is away
    QVERIFY(h.add(90 * second, 11.0F, 0.0F, 0));
    QVERIFY(h.add(91 * second, 11.0F, 0.0F, 0));
    QCOMPARE(h.size(), std::size_t{4});
    QCOMPARE(h[1].after_gap, false);
    QCOMPARE(h[2].after_gap, true);
    QCOMPARE(h[3].after_gap, false);
}

void Tst_Power_History::plot_points_data() {
    QTest::addColumn<std::vector<Feed>>("feeds");
    QTest::addColumn<std::int64_t>("now");
    QTest::addColumn<Points>("points");
    QTest::addColumn<Marks>("marks");
    QTest::addColumn<float>("top");

    QTest::newRow("empty") << std::vector<Feed>{} << minute << Points{} << Marks{} << 16.0F;
    QTest::newRow("now at the right, an hour back at the left")
        << std::vector<Feed>{{0, 12.5F, 12.0F, 2}, {30 * minute, 12.0F, 11.5F, 2}} << 60 * minute
        << Points{{60.0, 12.5F, 12.0F, true}, {30.0, 12.0F, 11.5F, true}} << Marks{} << 16.0F;
    QTest::newRow("older than an hour left out")
        << std::vector<Feed>{{0, 12.0F, 0.0F, 0}, {61 * minute, 13.0F, 0.0F, 0}} << 90 * minute
        << Points{{29.0, 13.0F, 0.0F, true}} << Marks{} << 16.0F;
    QTest::newRow("state changes marked with the new state")
        << std::vector<Feed>{{0, 12.0F, 0.0F, 0},
                             {second, 12.0F, 0.0F, 1},
                             {2 * second, 12.0F, 0.0F, 1},
                             {3 * second, 12.0F, 12.0F, 2}}
        << minute
        << Points{{1.0, 12.0F, 0.0F, true},
                  {59.0 / 60, 12.0F, 0.0F, false},
                  {58.0 / 60, 12.0F, 0.0F, false},
                  {57.0 / 60, 12.0F, 12.0F, false}}
        << Marks{{59.0 / 60, 1}, {57.0 / 60, 2}} << 16.0F;
    QTest::newRow("a disconnect breaks the line, the change across it is marked")
        << std::vector<Feed>{{0, 12.0F, 12.0F, 2},
                             {second, 12.0F, 12.0F, 2},
                             {2 * second, 11.0F, 0.0F, 0, true}}
        << minute
        << Points{{1.0, 12.0F, 12.0F, true},
                  {59.0 / 60, 12.0F, 12.0F, false},
                  {58.0 / 60, 11.0F, 0.0F, true}}
        << Marks{{58.0 / 60, 0}} << 16.0F;
    QTest::newRow("a stalled poll breaks the line")
        << std::vector<Feed>{{0, 12.0F, 0.0F, 0}, {4 * second, 12.0F, 0.0F, 0}} << minute
        << Points{{1.0, 12.0F, 0.0F, true}, {56.0 / 60, 12.0F, 0.0F, true}} << Marks{} << 16.0F;
    QTest::newRow("24 V readings take the high scale")
        << std::vector<Feed>{{0, 27.6F, 26.0F, 2}} << minute << Points{{1.0, 27.6F, 26.0F, true}}
        << Marks{} << 32.0F;
    QTest::newRow("beyond the high scale clamped")
        << std::vector<Feed>{{0, 40.0F, 12.0F, 2}} << minute << Points{{1.0, 32.0F, 12.0F, true}}
        << Marks{} << 32.0F;
}

void Tst_Power_History::plot_points() {
    QFETCH(std::vector<Feed>, feeds);
    QFETCH(std::int64_t, now);
    QFETCH(Points, points);
    QFETCH(Marks, marks);
    QFETCH(float, top);

    Power_Plot plot;
    plot_power_history(fed(feeds), now, plot);
    QCOMPARE(plot.points.size(), points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        QVERIFY2(plot.points[i] == points[i], qPrintable(QString::number(i)));
    }
    QVERIFY(plot.marks == marks);
    QCOMPARE(plot.volts_top, top);

    // The buffers are filled again in place, not added to.
    plot_power_history(fed(feeds), now, plot);
    QCOMPARE(plot.points.size(), points.size());
}

void Tst_Power_History::page_shows_the_plot_fed_by_the_poll() {
    Poll_Fixture f;
    auto* plot = f.control<Power_History_Plot>("power_history_plot");
    QVERIFY(plot);
    auto* tabs = f.control<QTabWidget>("tabWidget");
    QVERIFY(tabs->widget(power_tab)->isAncestorOf(plot));
    tabs->setCurrentIndex(power_tab);
    f.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));

    auto run = [&f](std::int64_t ms) {
        for (const std::int64_t end = f.board->now_ms + ms; f.board->now_ms < end;) {
            f.board->now_ms += poll_ms;
            f.cycle();
        }
    };
    f.board->model.set_battery_voltage(12.4);
    run(5 * second);
    f.board->model.set_acc(true);
    run(5 * second);
    f.board->plugged = false;
    f.window.hid.open(); // the watch notices
    run(3 * second);
    f.board->plugged = true;
    f.window.hid.open();
    run(3 * second);

    plot->grab(); // paints with the poll's clock of the last cycle
    const Power_Plot& shown = plot->plot();
    // One point a second while connected: about 13 s of the 16 s.
    QVERIFY2(shown.points.size() >= 12 && shown.points.size() <= 14,
             qPrintable(QString::number(shown.points.size())));
    QCOMPARE(std::count_if(shown.points.begin(), shown.points.end(),
                           [](const Power_Plot_Point& p) { return p.starts_line; }),
             2);
    // The newest point is what the page shows: the averaged battery voltage.
    const Power_Plot_Point& newest = shown.points.back();
    QVERIFY(newest.minutes_ago < 1.0 / 60);
    QCOMPARE(QString::number(static_cast<double>(newest.battery_volts), 'f', 2),
             f.control<QLineEdit>("vAKB_lineEdit")->text());
    // ACC on left the idle state, marked where it happened.
    QVERIFY(!shown.marks.empty());
    QCOMPARE(shown.marks.front().state, std::uint8_t{1}); // ACC_ON_DELAY
    QVERIFY(shown.marks.front().minutes_ago > 9.0 / 60 &&
            shown.marks.front().minutes_ago < 12.0 / 60);
}

namespace {
// Counts the paints of one widget.
struct Paint_Counter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};
} // namespace

void Tst_Power_History::plot_repaints_once_a_second_only_in_sight() {
    Poll_Fixture f;
    auto* plot = f.control<Power_History_Plot>("power_history_plot");
    auto* tabs = f.control<QTabWidget>("tabWidget");
    tabs->setCurrentIndex(power_tab);
    f.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    Paint_Counter counter;
    plot->installEventFilter(&counter);
    // Polls of `ms` of the board's clock, the window's events handled after each.
    auto run = [&f](std::int64_t ms) {
        for (const std::int64_t end = f.board->now_ms + ms; f.board->now_ms < end;) {
            f.board->now_ms += poll_ms;
            f.cycle();
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        }
    };
    run(second); // the first connection and the page's first paint
    counter.paints = 0;
    run(5 * second);
    QVERIFY2(counter.paints >= 4 && counter.paints <= 6,
             qPrintable(QString::number(counter.paints)));

    counter.paints = 0;
    tabs->setCurrentIndex(0);
    run(5 * second);
    QCOMPARE(counter.paints, 0);

    tabs->setCurrentIndex(power_tab);
    f.window.hide(); // into the tray
    run(5 * second);
    QCOMPARE(counter.paints, 0);
}

QTEST_MAIN(Tst_Power_History)
#include "tst_power_history.moc"
