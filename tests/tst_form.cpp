// The window's form: every control the code binds by name, the frame of the window, the
// controls that start disabled or hidden, and the start-up without binding warnings.
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>
#include <QtTest>

#include "app/widget.h"

namespace {

std::unique_ptr<Widget> make_window() {
    auto w = std::make_unique<Widget>();
    w->tray_available = [] { return true; };
    return w;
}

template <typename T> T* control(const Widget& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    if (!c) {
        qWarning("no control %s", name);
    }
    return c;
}

} // namespace

class Tst_Form : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void builds_without_binding_warnings();
    void control_exists_data();
    void control_exists();
    void window_frame();
    void controls_outside_tabs_data();
    void controls_outside_tabs();
    void tabs_in_order();
    void disabled_at_start_data();
    void disabled_at_start();
    void hidden_at_start();
    void can_text_editors_use_fixed_font();
    void constructor_fills_controls();

private:
    std::unique_ptr<Widget> w;
};

void Tst_Form::initTestCase() {
    w = make_window();
}

void Tst_Form::builds_without_binding_warnings() {
    // A misspelt object or slot name shows as a warning of the by-name binding.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("connectSlotsByName")));
    QTest::failOnWarning(QRegularExpression(QStringLiteral("No matching signal")));
    auto fresh = make_window();
    QVERIFY(fresh->findChild<QTabWidget*>(QStringLiteral("tabWidget")));
}

void Tst_Form::control_exists_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("class_name");
    QFile list(QStringLiteral(FIXTURES "/form_controls.txt"));
    QVERIFY(list.open(QIODevice::ReadOnly | QIODevice::Text));
    while (!list.atEnd()) {
        const QString line = QString::fromUtf8(list.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        const QStringList parts = line.split(QLatin1Char(' '));
        QTest::newRow(qPrintable(parts[0])) << parts[0] << parts[1];
    }
}

void Tst_Form::control_exists() {
    QFETCH(QString, name);
    QFETCH(QString, class_name);
    QObject* c = name == QLatin1String("Widget") ? w.get() : w->findChild<QObject*>(name);
    QVERIFY2(c, qPrintable(name));
    QVERIFY2(c->inherits(qPrintable(class_name)),
             qPrintable(name + QStringLiteral(" is a ") + c->metaObject()->className()));
}

void Tst_Form::window_frame() {
    QCOMPARE(w->objectName(), QStringLiteral("Widget"));
    QCOMPARE(w->size(), QSize(753, 565));
    QCOMPARE(w->windowTitle(), QStringLiteral("Korvantexa Tabrix R44"));
    auto* tabs = control<QTabWidget>(*w, "tabWidget");
    QVERIFY(tabs);
    QCOMPARE(tabs->geometry(), QRect(8, 48, 741, 513));
    QVERIFY(tabs->styleSheet().isEmpty());
    auto* status = control<QLabel>(*w, "status_label");
    QVERIFY(status);
    QVERIFY(status->text().isEmpty());
    QCOMPARE(status->pixmap().toImage(),
             QPixmap(QStringLiteral(":/images/red-button.png")).toImage());
    QCOMPARE(QPixmap(QStringLiteral(":/images/green-button.png")).size(), QSize(32, 32));
    QCOMPARE(QPixmap(QStringLiteral(":/images/Tabrix.png")).size(), QSize(512, 512));
}

void Tst_Form::controls_outside_tabs_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::newRow("status box") << "status_layoutWidget" << QRect(8, 8, 158, 34) << "";
    QTest::newRow("device status caption") << "label_12" << QRect() << "Статус устройства :";
    QTest::newRow("temperature box") << "temperature_layoutWidget" << QRect(218, 12, 87, 24) << "";
    QTest::newRow("temperature caption") << "temperature_label" << QRect() << "t :";
    QTest::newRow("save") << "save_settings_pushButton" << QRect(364, 15, 125, 23)
                          << "Сохранить настройки";
    QTest::newRow("autoload") << "autoload_checkBox" << QRect(592, 20, 93, 17) << "Автозагрузка";
    QTest::newRow("send group") << "can_send_groupBox" << QRect(766, 339, 329, 221)
                                << "Send Message";
    QTest::newRow("service group") << "groupBox_28" << QRect(796, 56, 251, 245) << "Service";
}

void Tst_Form::controls_outside_tabs() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QWidget* c = w->findChild<QWidget*>(name);
    QVERIFY(c);
    if (geometry.isValid()) {
        QCOMPARE(c->parentWidget(), w.get());
        QCOMPARE(c->pos(), geometry.topLeft());
        QCOMPARE(c->height(), geometry.height());
        // A caption wider than its place in this font widens the control, never narrows it.
        QCOMPARE(c->width(), std::max(geometry.width(), c->minimumSizeHint().width()));
    }
    if (!text.isEmpty()) {
        const QVariant caption = c->property(c->inherits("QGroupBox") ? "title" : "text");
        QCOMPARE(caption.toString(), text);
    }
}

void Tst_Form::tabs_in_order() {
    struct Page {
        const char* name;
        const char* caption;
    };
    const Page pages[] = {{"tab_10", "Info"},       {"tab", "NetPower"},
                          {"tab_2", "Sound Amp"},   {"tab_3", "PWM Control"},
                          {"tab_5", "CAN Buttons"}, {"tab_4", "CAN 2.0"},
                          {"tab_6", "CAN Timers"},  {"tab_7", "CAN Triggers"},
                          {"tab_8", "CAN Text"},    {"tab_9", "CAN Filters"}};
    auto* tabs = control<QTabWidget>(*w, "tabWidget");
    QCOMPARE(tabs->count(), 10);
    for (int i = 0; i < tabs->count(); ++i) {
        QCOMPARE(tabs->widget(i)->objectName(), QString::fromLatin1(pages[i].name));
        QCOMPARE(tabs->tabText(i), QString::fromUtf8(pages[i].caption));
    }
    QCOMPARE(tabs->currentIndex(), 4);

    for (const char* inner : {"can_timers_tabWidget", "tabWidget_2"}) {
        auto* t = control<QTabWidget>(*w, inner);
        QVERIFY(t);
        QCOMPARE(t->count(), 2);
        QCOMPARE(t->tabText(0), QStringLiteral("Аппаратные"));
        QCOMPARE(t->tabText(1), QStringLiteral("Программные"));
        QCOMPARE(t->currentIndex(), 0);
    }
    QCOMPARE(control<QTabWidget>(*w, "can_timers_tabWidget")->widget(0)->objectName(),
             QStringLiteral("tab_11"));
    QCOMPARE(control<QTabWidget>(*w, "tabWidget_2")->widget(1)->objectName(),
             QStringLiteral("tab_14"));
    QCOMPARE(control<QListWidget>(*w, "can_trigger_listWidget")->currentRow(), -1);
}

void Tst_Form::disabled_at_start_data() {
    QTest::addColumn<QString>("name");
    for (const char* name :
         {"configuration_frame", "apply_pushButton", "groupBox_16", "pwm_configuration_frame",
          "pwm_apply_pushButton", "can_hw_timers_frame", "can_hw_timers_apply_pushButton",
          "can_hw_triggers_frame", "can_hw_triggers_apply_pushButton", "can_text_1_send_pushButton",
          "can_text_2_send_pushButton", "can_text_double_send_pushButton", "service_frame",
          "service_apply_pushButton"}) {
        QTest::newRow(name) << QString::fromLatin1(name);
    }
}

void Tst_Form::disabled_at_start() {
    QFETCH(QString, name);
    auto* c = w->findChild<QWidget*>(name);
    QVERIFY(c);
    QVERIFY(!c->isEnabledTo(c->parentWidget()));
}

void Tst_Form::hidden_at_start() {
    for (const char* name : {"invisible_groupBox", "temperature_label", "temperature_lineEdit"}) {
        auto* c = w->findChild<QWidget*>(QString::fromLatin1(name));
        QVERIFY(c);
        QVERIFY2(c->isHidden(), name);
    }
    QCOMPARE(control<QWidget>(*w, "invisible_groupBox")->property("title").toString(),
             QStringLiteral("INvisible"));
    QVERIFY(control<QLineEdit>(*w, "temperature_lineEdit")->isReadOnly());
    QCOMPARE(control<QLineEdit>(*w, "temperature_lineEdit")->maximumWidth(), 50);
}

void Tst_Form::can_text_editors_use_fixed_font() {
    for (const char* name :
         {"can_text_uni_plainTextEdit", "can_text_1_plainTextEdit", "can_text_2_plainTextEdit"}) {
        auto* e = control<QPlainTextEdit>(*w, name);
        QVERIFY(e);
        QCOMPARE(e->font().family(), QStringLiteral("Courier New"));
        QCOMPARE(e->font().pointSize(), 10);
    }
    QVERIFY(control<QPlainTextEdit>(*w, "can_mass_send_plainTextEdit")->font().family() !=
            QStringLiteral("Courier New"));
}

void Tst_Form::constructor_fills_controls() {
    const QStringList expected[] = {
        {"60 Hz", "80 Hz", "100 Hz", "200 Hz"},           {"1.0", "1.25", "1.5", "2.0"},
        {"500 Hz", "1000 Hz", "1500 Hz", "2500 Hz"},      {"0.5", "0.75", "1", "1.25"},
        {"10.0 kHz", "12.5 kHz", "15.0 kHz", "17.5 kHz"}, {"flat", "80 Hz", "120 Hz", "160 Hz"}};
    const char* combos[] = {"bass_cf_comboBox",   "bass_qf_comboBox",   "middle_cf_comboBox",
                            "middle_qf_comboBox", "treble_cf_comboBox", "sub_cut_off_comboBox"};
    for (int i = 0; i < 6; ++i) {
        auto* box = control<QComboBox>(*w, combos[i]);
        QStringList items;
        for (int k = 0; k < box->count(); ++k) {
            items << box->itemText(k);
        }
        QCOMPARE(items, expected[i]);
    }

    auto* filters = control<QListWidget>(*w, "can_filters_listWidget");
    QCOMPARE(filters->count(), 24);
    QCOMPARE(filters->item(0)->text(), QStringLiteral("Filter 0"));
    QCOMPARE(filters->item(23)->text(), QStringLiteral("Filter 23"));

    QCOMPARE(control<QSpinBox>(*w, "can_send_dlc_spinBox")->value(), 8);
    QVERIFY(control<QPlainTextEdit>(*w, "can_recieved_plainTextEdit")->toPlainText().isEmpty());

    auto* tree = control<QTreeWidget>(*w, "canButtons_combinations_treeWidget");
    const int widths[] = {100, 60, 60, 60, 100, 100, 100, 50};
    QCOMPARE(tree->columnCount(), 8);
    for (int c = 0; c < 8; ++c) {
        QCOMPARE(tree->columnWidth(c), widths[c]);
    }
}

QTEST_MAIN(Tst_Form)
#include "tst_form.moc"
