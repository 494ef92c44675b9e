// The send syntax of key actions: what each form turns into, what is not understood, and how
// malformed texts end; the key codes of the hot-key settings.
#include <QtTest>

#include "buttons/key_syntax.h"

namespace {

// One line per event, so a failing row shows the whole sequence:
// "text:ab", "tap:^+ff0d*3" (modifiers ^ ! + #, keysym in hex, count when above 1),
// "press:ffe1", "release:ffe1".
QString describe(const std::vector<Key_Event>& events) {
    QStringList lines;
    for (const Key_Event& e : events) {
        if (e.action == Key_Action::type_text) {
            lines << QStringLiteral("text:") + e.text;
            continue;
        }
        QString line = e.action == Key_Action::tap     ? QStringLiteral("tap:")
                       : e.action == Key_Action::press ? QStringLiteral("press:")
                                                       : QStringLiteral("release:");
        const std::pair<std::uint8_t, char> marks[] = {{key_modifier::control, '^'},
                                                       {key_modifier::alt, '!'},
                                                       {key_modifier::shift, '+'},
                                                       {key_modifier::win, '#'}};
        for (const auto& [modifier, mark] : marks) {
            if (e.modifiers & modifier) {
                line += QLatin1Char(mark);
            }
        }
        line += QString::number(e.keysym, 16);
        if (e.count != 1) {
            line += QStringLiteral("*") + QString::number(e.count);
        }
        lines << line;
    }
    return lines.join(QStringLiteral(" | "));
}

} // namespace

class Tst_Key_Syntax : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void virtual_keys_data();
    void virtual_keys();
};

void Tst_Key_Syntax::parse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("events");
    QTest::addColumn<QStringList>("not_understood");
    const QStringList none;

    QTest::newRow("literal text") << "Hello, world"
                                  << "text:Hello, world" << none;
    QTest::newRow("enter") << "{ENTER}"
                           << "tap:ff0d" << none;
    QTest::newRow("names in any case") << "{enter}{Esc}"
                                       << "tap:ff0d | tap:ff1b" << none;
    QTest::newRow("volume up") << "{VOLUME_UP}"
                               << "tap:1008ff13" << none;
    QTest::newRow("volume down") << "{VOLUME_DOWN}"
                                 << "tap:1008ff11" << none;
    QTest::newRow("volume mute") << "{VOLUME_MUTE}"
                                 << "tap:1008ff12" << none;
    QTest::newRow("media keys")
        << "{MEDIA_NEXT}{MEDIA_PREV}{MEDIA_PLAY_PAUSE}{MEDIA_STOP}{BROWSER_BACK}"
        << "tap:1008ff17 | tap:1008ff16 | tap:1008ff14 | tap:1008ff15 | tap:1008ff26" << none;
    QTest::newRow("function keys") << "{F5}{f1}{F24}"
                                   << "tap:ffc2 | tap:ffbe | tap:ffd5" << none;
    QTest::newRow("no F25") << "{F25}"
                            << "" << QStringList{"{F25}"};
    QTest::newRow("control c") << "^c"
                               << "tap:^63" << none;
    QTest::newRow("alt tab") << "!{TAB}"
                             << "tap:!ff09" << none;
    QTest::newRow("shift a") << "+a"
                             << "tap:+61" << none;
    QTest::newRow("win r") << "#r"
                           << "tap:#72" << none;
    QTest::newRow("prefixes add up") << "^!+#{DEL}"
                                     << "tap:^!+#ffff" << none;
    QTest::newRow("prefix takes the next character only") << "^cv"
                                                          << "tap:^63 | text:v" << none;
    QTest::newRow("prefix on a repeat") << "^{a 2}"
                                        << "tap:^61*2" << none;
    QTest::newRow("prefix with nothing after it") << "a^"
                                                  << "text:a" << none;
    QTest::newRow("repeated character joins the text") << "x{a 3}y"
                                                       << "text:xaaay" << none;
    QTest::newRow("repeated key") << "{ENTER 2}"
                                  << "tap:ff0d*2" << none;
    QTest::newRow("repeat 0 types nothing") << "{a 0}{TAB 0}"
                                            << "" << none;
    QTest::newRow("hold shift") << "{SHIFT down}ab{SHIFT up}"
                                << "press:ffe1 | text:ab | release:ffe1" << none;
    QTest::newRow("down and up in any case") << "{lctrl DOWN}{a down}{a Up}"
                                             << "press:ffe3 | press:61 | release:61" << none;
    QTest::newRow("special characters themselves") << "{^}{+}{!}{#}{{}{}}"
                                                   << "text:^+!#{}" << none;
    QTest::newRow("brace character repeated") << "{} 2}"
                                              << "text:}}" << none;
    QTest::newRow("closing brace alone") << "a}b"
                                         << "text:a}b" << none;
    QTest::newRow("blank in braces") << "{ }{SPACE}"
                                     << "text:  | tap:20" << none;
    QTest::newRow("cyrillic") << QStringLiteral("жук") << QStringLiteral("text:жук") << none;
    QTest::newRow("cyrillic with control") << QStringLiteral("^ж") << "tap:^1000436" << none;
    QTest::newRow("character beyond the BMP")
        << QStringLiteral("a\U0001F600^\U0001F600")
        << QStringLiteral("text:a\U0001F600 | tap:^101f600") << none;
    QTest::newRow("line ends and tab")
        << "a\r\nb\nc\rd\te"
        << "text:a | tap:ff0d | text:b | tap:ff0d | text:c | tap:ff0d | "
           "text:d | tap:ff09 | text:e"
        << none;
    QTest::newRow("other control characters dropped") << "a\x01\x7f"
                                                         "b"
                                                      << "text:ab" << none;
    QTest::newRow("broken surrogate dropped") << QString::fromUtf16(u"a\xD800"
                                                                    u"b")
                                              << "text:ab" << none;
    QTest::newRow("unknown name") << "a{FOO}b{NUMPAD10}"
                                  << "text:ab" << QStringList{"{FOO}", "{NUMPAD10}"};
    QTest::newRow("action token in lower case is no key") << "{sndamp_vol_up}"
                                                          << "" << QStringList{"{sndamp_vol_up}"};
    QTest::newRow("argument neither count nor down/up")
        << "{ENTER x}{ENTER -1}{a 2 3}{ENTER 2}"
        << "tap:ff0d*2" << QStringList{"{ENTER x}", "{ENTER -1}", "{a 2 3}"};
    QTest::newRow("absurd repeat capped") << "{ENTER 99999999999999999999}"
                                          << "tap:ff0d*1000" << none;
    QTest::newRow("absurd character repeat capped")
        << "{a 5000}" << QStringLiteral("text:") + QString(max_key_repeat, u'a') << none;
    QTest::newRow("unclosed brace types nothing after it") << "ab{ENTER"
                                                           << "text:ab" << QStringList{"{ENTER"};
    QTest::newRow("unclosed brace after a prefix") << "^{"
                                                   << "" << QStringList{"{"};
    QTest::newRow("empty braces") << "{}"
                                  << "" << QStringList{"{}"};
    QTest::newRow("empty braces before a closing brace") << "{}x}"
                                                         << "" << QStringList{"{}x}"};
    QTest::newRow("nested braces") << "{{ENTER}}"
                                   << "text:}" << QStringList{"{{ENTER}"};
    QTest::newRow("empty text") << ""
                                << "" << none;
}

void Tst_Key_Syntax::parse() {
    QFETCH(QString, text);
    QFETCH(QString, events);
    QFETCH(QStringList, not_understood);
    const Key_Sequence got = parse_key_syntax(text);
    QCOMPARE(describe(got.events), events);
    QCOMPARE(got.not_understood, not_understood);
}

void Tst_Key_Syntax::virtual_keys_data() {
    QTest::addColumn<unsigned>("virtual_key");
    QTest::addColumn<std::uint32_t>("keysym");
    QTest::newRow("V") << 0x56U << std::uint32_t{'v'};
    QTest::newRow("A") << 0x41U << std::uint32_t{'a'};
    QTest::newRow("Z") << 0x5AU << std::uint32_t{'z'};
    QTest::newRow("0") << 0x30U << std::uint32_t{'0'};
    QTest::newRow("9") << 0x39U << std::uint32_t{'9'};
    QTest::newRow("F1") << 0x70U << std::uint32_t{0xFFBE};
    QTest::newRow("F24") << 0x87U << std::uint32_t{0xFFD5};
    QTest::newRow("left") << 0x25U << std::uint32_t{0xFF51};
    QTest::newRow("down") << 0x28U << std::uint32_t{0xFF54};
    QTest::newRow("space") << 0x20U << std::uint32_t{' '};
    QTest::newRow("page down") << 0x22U << std::uint32_t{0xFF56};
    QTest::newRow("numpad 0") << 0x60U << std::uint32_t{0xFFB0};
    QTest::newRow("numpad 9") << 0x69U << std::uint32_t{0xFFB9};
    QTest::newRow("volume mute") << 0xADU << std::uint32_t{0x1008FF12};
    QTest::newRow("volume down") << 0xAEU << std::uint32_t{0x1008FF11};
    QTest::newRow("volume up") << 0xAFU << std::uint32_t{0x1008FF13};
    QTest::newRow("play/pause") << 0xB3U << std::uint32_t{0x1008FF14};
    QTest::newRow("US semicolon key") << 0xBAU << std::uint32_t{';'};
    QTest::newRow("mouse button: none") << 0x01U << std::uint32_t{0};
    QTest::newRow("between letters and keypad: none") << 0x5EU << std::uint32_t{0};
    QTest::newRow("beyond a byte: none") << 0x156U << std::uint32_t{0};
}

void Tst_Key_Syntax::virtual_keys() {
    QFETCH(unsigned, virtual_key);
    QFETCH(std::uint32_t, keysym);
    QCOMPARE(virtual_key_keysym(virtual_key), keysym);
}

QTEST_APPLESS_MAIN(Tst_Key_Syntax)
#include "tst_key_syntax.moc"
