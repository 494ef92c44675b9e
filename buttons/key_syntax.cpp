#include "buttons/key_syntax.h"

#include <QLatin1StringView>
#include <algorithm>
#include <array>

namespace {

// X keysyms the tables use, as X11/keysymdef.h and X11/XF86keysym.h define them.
namespace xk {
constexpr std::uint32_t backspace = 0xFF08;
constexpr std::uint32_t tab = 0xFF09;
constexpr std::uint32_t enter = 0xFF0D; // Return
constexpr std::uint32_t pause = 0xFF13;
constexpr std::uint32_t scroll_lock = 0xFF14;
constexpr std::uint32_t escape = 0xFF1B;
constexpr std::uint32_t home = 0xFF50;
constexpr std::uint32_t left = 0xFF51;
constexpr std::uint32_t up = 0xFF52;
constexpr std::uint32_t right = 0xFF53;
constexpr std::uint32_t down = 0xFF54;
constexpr std::uint32_t page_up = 0xFF55;   // Prior
constexpr std::uint32_t page_down = 0xFF56; // Next
constexpr std::uint32_t end = 0xFF57;
constexpr std::uint32_t print = 0xFF61;
constexpr std::uint32_t insert = 0xFF63;
constexpr std::uint32_t menu = 0xFF67;
constexpr std::uint32_t pause_break = 0xFF6B; // Break
constexpr std::uint32_t num_lock = 0xFF7F;
constexpr std::uint32_t kp_enter = 0xFF8D;
constexpr std::uint32_t kp_multiply = 0xFFAA;
constexpr std::uint32_t kp_add = 0xFFAB;
constexpr std::uint32_t kp_subtract = 0xFFAD;
constexpr std::uint32_t kp_decimal = 0xFFAE;
constexpr std::uint32_t kp_divide = 0xFFAF;
constexpr std::uint32_t kp_0 = 0xFFB0; // KP_0..KP_9 in a row
constexpr std::uint32_t f1 = 0xFFBE;   // F1..F24 in a row
constexpr std::uint32_t shift_l = 0xFFE1;
constexpr std::uint32_t shift_r = 0xFFE2;
constexpr std::uint32_t control_l = 0xFFE3;
constexpr std::uint32_t control_r = 0xFFE4;
constexpr std::uint32_t caps_lock = 0xFFE5;
constexpr std::uint32_t alt_l = 0xFFE9;
constexpr std::uint32_t alt_r = 0xFFEA;
constexpr std::uint32_t super_l = 0xFFEB;
constexpr std::uint32_t super_r = 0xFFEC;
constexpr std::uint32_t delete_key = 0xFFFF;
constexpr std::uint32_t volume_down = 0x1008FF11;  // XF86AudioLowerVolume
constexpr std::uint32_t volume_mute = 0x1008FF12;  // XF86AudioMute
constexpr std::uint32_t volume_up = 0x1008FF13;    // XF86AudioRaiseVolume
constexpr std::uint32_t media_play = 0x1008FF14;   // XF86AudioPlay
constexpr std::uint32_t media_stop = 0x1008FF15;   // XF86AudioStop
constexpr std::uint32_t media_prev = 0x1008FF16;   // XF86AudioPrev
constexpr std::uint32_t media_next = 0x1008FF17;   // XF86AudioNext
constexpr std::uint32_t home_page = 0x1008FF18;    // XF86HomePage
constexpr std::uint32_t mail = 0x1008FF19;         // XF86Mail
constexpr std::uint32_t search = 0x1008FF1B;       // XF86Search
constexpr std::uint32_t calculator = 0x1008FF1D;   // XF86Calculator
constexpr std::uint32_t back = 0x1008FF26;         // XF86Back
constexpr std::uint32_t forward = 0x1008FF27;      // XF86Forward
constexpr std::uint32_t stop = 0x1008FF28;         // XF86Stop
constexpr std::uint32_t refresh = 0x1008FF29;      // XF86Refresh
constexpr std::uint32_t sleep = 0x1008FF2F;        // XF86Sleep
constexpr std::uint32_t favorites = 0x1008FF30;    // XF86Favorites
constexpr std::uint32_t media_select = 0x1008FF32; // XF86AudioMedia
constexpr std::uint32_t my_computer = 0x1008FF33;  // XF86MyComputer
} // namespace xk

constexpr std::uint32_t unicode_keysym_base = 0x01000000;
constexpr char32_t latin1_last = 0xFF;
constexpr char32_t c0_last = 0x1F;
constexpr char32_t delete_char = 0x7F;
constexpr char32_t c1_last = 0x9F;

constexpr auto named_keys = std::to_array<Key_Name>({
    {"ENTER", xk::enter},
    {"TAB", xk::tab},
    {"ESC", xk::escape},
    {"ESCAPE", xk::escape},
    {"SPACE", ' '},
    {"BACKSPACE", xk::backspace},
    {"BS", xk::backspace},
    {"DELETE", xk::delete_key},
    {"DEL", xk::delete_key},
    {"INSERT", xk::insert},
    {"INS", xk::insert},
    {"HOME", xk::home},
    {"END", xk::end},
    {"PGUP", xk::page_up},
    {"PGDN", xk::page_down},
    {"UP", xk::up},
    {"DOWN", xk::down},
    {"LEFT", xk::left},
    {"RIGHT", xk::right},
    {"F1", xk::f1},
    {"F2", xk::f1 + 1},
    {"F3", xk::f1 + 2},
    {"F4", xk::f1 + 3},
    {"F5", xk::f1 + 4},
    {"F6", xk::f1 + 5},
    {"F7", xk::f1 + 6},
    {"F8", xk::f1 + 7},
    {"F9", xk::f1 + 8},
    {"F10", xk::f1 + 9},
    {"F11", xk::f1 + 10},
    {"F12", xk::f1 + 11},
    {"F13", xk::f1 + 12},
    {"F14", xk::f1 + 13},
    {"F15", xk::f1 + 14},
    {"F16", xk::f1 + 15},
    {"F17", xk::f1 + 16},
    {"F18", xk::f1 + 17},
    {"F19", xk::f1 + 18},
    {"F20", xk::f1 + 19},
    {"F21", xk::f1 + 20},
    {"F22", xk::f1 + 21},
    {"F23", xk::f1 + 22},
    {"F24", xk::f1 + 23},
    {"PRINTSCREEN", xk::print},
    {"PAUSE", xk::pause},
    {"BREAK", xk::pause_break},
    {"CAPSLOCK", xk::caps_lock},
    {"NUMLOCK", xk::num_lock},
    {"SCROLLLOCK", xk::scroll_lock},
    {"APPSKEY", xk::menu},
    {"LWIN", xk::super_l},
    {"RWIN", xk::super_r},
    {"ALT", xk::alt_l},
    {"LALT", xk::alt_l},
    {"RALT", xk::alt_r},
    {"CTRL", xk::control_l},
    {"LCTRL", xk::control_l},
    {"RCTRL", xk::control_r},
    {"SHIFT", xk::shift_l},
    {"LSHIFT", xk::shift_l},
    {"RSHIFT", xk::shift_r},
    {"NUMPAD0", xk::kp_0},
    {"NUMPAD1", xk::kp_0 + 1},
    {"NUMPAD2", xk::kp_0 + 2},
    {"NUMPAD3", xk::kp_0 + 3},
    {"NUMPAD4", xk::kp_0 + 4},
    {"NUMPAD5", xk::kp_0 + 5},
    {"NUMPAD6", xk::kp_0 + 6},
    {"NUMPAD7", xk::kp_0 + 7},
    {"NUMPAD8", xk::kp_0 + 8},
    {"NUMPAD9", xk::kp_0 + 9},
    {"NUMPADMULT", xk::kp_multiply},
    {"NUMPADADD", xk::kp_add},
    {"NUMPADSUB", xk::kp_subtract},
    {"NUMPADDOT", xk::kp_decimal},
    {"NUMPADDIV", xk::kp_divide},
    {"NUMPADENTER", xk::kp_enter},
    {"VOLUME_UP", xk::volume_up},
    {"VOLUME_DOWN", xk::volume_down},
    {"VOLUME_MUTE", xk::volume_mute},
    {"MEDIA_NEXT", xk::media_next},
    {"MEDIA_PREV", xk::media_prev},
    {"MEDIA_STOP", xk::media_stop},
    {"MEDIA_PLAY_PAUSE", xk::media_play},
    {"BROWSER_BACK", xk::back},
    {"BROWSER_FORWARD", xk::forward},
    {"BROWSER_REFRESH", xk::refresh},
    {"BROWSER_STOP", xk::stop},
    {"BROWSER_SEARCH", xk::search},
    {"BROWSER_FAVORITES", xk::favorites},
    {"BROWSER_HOME", xk::home_page},
    {"LAUNCH_MAIL", xk::mail},
    {"LAUNCH_MEDIA", xk::media_select},
    {"LAUNCH_APP1", xk::my_computer},
    {"LAUNCH_APP2", xk::calculator},
    {"SLEEP", xk::sleep},
});

// Windows virtual-key codes that run in step with a keysym range.
struct Virtual_Key_Range {
    unsigned first;
    unsigned last;
    std::uint32_t first_keysym;
};
constexpr auto virtual_key_ranges = std::to_array<Virtual_Key_Range>({
    {0x30, 0x39, '0'},      // digits
    {0x41, 0x5A, 'a'},      // letters: the key, not the shifted character
    {0x60, 0x69, xk::kp_0}, // numeric keypad digits
    {0x70, 0x87, xk::f1},   // F1..F24
});

struct Virtual_Key {
    unsigned code;
    std::uint32_t keysym;
};
constexpr auto virtual_keys = std::to_array<Virtual_Key>({
    {0x08, xk::backspace},
    {0x09, xk::tab},
    {0x0D, xk::enter},
    {0x13, xk::pause},
    {0x14, xk::caps_lock},
    {0x1B, xk::escape},
    {0x20, ' '},
    {0x21, xk::page_up},
    {0x22, xk::page_down},
    {0x23, xk::end},
    {0x24, xk::home},
    {0x25, xk::left},
    {0x26, xk::up},
    {0x27, xk::right},
    {0x28, xk::down},
    {0x2C, xk::print},
    {0x2D, xk::insert},
    {0x2E, xk::delete_key},
    {0x5B, xk::super_l},
    {0x5C, xk::super_r},
    {0x5D, xk::menu},
    {0x5F, xk::sleep},
    {0x6A, xk::kp_multiply},
    {0x6B, xk::kp_add},
    {0x6D, xk::kp_subtract},
    {0x6E, xk::kp_decimal},
    {0x6F, xk::kp_divide},
    {0x90, xk::num_lock},
    {0x91, xk::scroll_lock},
    {0xA6, xk::back},
    {0xA7, xk::forward},
    {0xA8, xk::refresh},
    {0xA9, xk::stop},
    {0xAA, xk::search},
    {0xAB, xk::favorites},
    {0xAC, xk::home_page},
    {0xAD, xk::volume_mute},
    {0xAE, xk::volume_down},
    {0xAF, xk::volume_up},
    {0xB0, xk::media_next},
    {0xB1, xk::media_prev},
    {0xB2, xk::media_stop},
    {0xB3, xk::media_play},
    {0xB4, xk::mail},
    {0xB5, xk::media_select},
    {0xB6, xk::my_computer},
    {0xB7, xk::calculator},
    {0xBA, ';'},
    {0xBB, '='},
    {0xBC, ','},
    {0xBD, '-'},
    {0xBE, '.'},
    {0xBF, '/'},
    {0xC0, '`'},
    {0xDB, '['},
    {0xDC, '\\'},
    {0xDD, ']'},
    {0xDE, '\''},
});

std::uint8_t prefix_modifier(QChar c) {
    switch (c.unicode()) {
    case u'^':
        return key_modifier::control;
    case u'!':
        return key_modifier::alt;
    case u'+':
        return key_modifier::shift;
    case u'#':
        return key_modifier::win;
    default:
        return 0;
    }
}

// The length of the character at `at`: 2 for a surrogate pair, else 1.
qsizetype character_length(QStringView text, qsizetype at) {
    return text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate() ? 2
                                                                                               : 1;
}

char32_t code_point(QStringView character) {
    return character.size() == 2 ? QChar::surrogateToUcs4(character[0], character[1])
                                 : character[0].unicode();
}

bool is_control(char32_t c) {
    return c <= c0_last || (c >= delete_char && c <= c1_last);
}

// The key a control character stands for; 0 when it types nothing.
std::uint32_t control_keysym(char32_t c) {
    switch (c) {
    case u'\n':
    case u'\r':
        return xk::enter;
    case u'\t':
        return xk::tab;
    default:
        return 0;
    }
}

class Sequence_Builder {
public:
    // One character, `times` times: printable ones without modifiers join the text being typed,
    // the others become keys.
    void character(QStringView character, std::uint8_t modifiers, int times) {
        const char32_t c = code_point(character);
        if (QChar::isSurrogate(c)) {
            return;
        }
        if (is_control(c)) {
            if (const std::uint32_t keysym = control_keysym(c)) {
                key(Key_Action::tap, keysym, modifiers, times);
            }
            return;
        }
        if (modifiers != 0) {
            key(Key_Action::tap, character_keysym(c), modifiers, times);
            return;
        }
        if (times <= 0) {
            return;
        }
        if (sequence.events.empty() || sequence.events.back().action != Key_Action::type_text) {
            sequence.events.push_back(Key_Event{});
        }
        QString& text = sequence.events.back().text;
        text.reserve(text.size() + character.size() * times);
        for (int i = 0; i < times; ++i) {
            text.append(character);
        }
    }

    // A character pressed or released alone.
    void character_key(QStringView character, Key_Action action, std::uint8_t modifiers) {
        const char32_t c = code_point(character);
        if (QChar::isSurrogate(c)) {
            return;
        }
        const std::uint32_t keysym = is_control(c) ? control_keysym(c) : character_keysym(c);
        if (keysym != 0) {
            key(action, keysym, modifiers, 1);
        }
    }

    void key(Key_Action action, std::uint32_t keysym, std::uint8_t modifiers, int times) {
        if (times > 0) {
            sequence.events.push_back(Key_Event{action, {}, keysym, modifiers, times});
        }
    }

    void not_understood(QStringView written) { sequence.not_understood.append(written.toString()); }

    Key_Sequence sequence;
};

// The repeat count of a brace's argument, capped; -1 when it is not a number.
int repeat_count(QStringView argument) {
    if (argument.isEmpty()) {
        return 1;
    }
    int count = 0;
    for (const QChar c : argument) {
        if (c < u'0' || c > u'9') {
            return -1;
        }
        count = std::min(count * 10 + (c.unicode() - u'0'), max_key_repeat);
    }
    return count;
}

// The inside of one brace; `written` is the brace as written, for the not-understood list.
void parse_brace(QStringView inside, QStringView written, std::uint8_t modifiers,
                 Sequence_Builder& out) {
    // One character followed by the end or a blank is that character, even a blank or a brace;
    // anything longer is a key name, ended by the first blank.
    const qsizetype first = character_length(inside, 0);
    const bool one_character = first == inside.size() || inside[first] == u' ';
    const qsizetype name_end = one_character ? first : inside.indexOf(u' ');
    const QStringView name = name_end < 0 ? inside : inside.left(name_end);
    const QStringView argument = name_end < 0 ? QStringView() : inside.mid(name_end).trimmed();

    Key_Action action = Key_Action::tap;
    int count = 1;
    if (argument.compare(QLatin1StringView("down"), Qt::CaseInsensitive) == 0) {
        action = Key_Action::press;
    } else if (argument.compare(QLatin1StringView("up"), Qt::CaseInsensitive) == 0) {
        action = Key_Action::release;
    } else {
        count = repeat_count(argument);
    }
    const std::uint32_t keysym = one_character ? 0 : key_name_keysym(name);
    if (count < 0 || (!one_character && keysym == 0)) {
        out.not_understood(written);
        return;
    }
    if (one_character) {
        if (action == Key_Action::tap) {
            out.character(name, modifiers, count);
        } else {
            out.character_key(name, action, modifiers);
        }
        return;
    }
    out.key(action, keysym, modifiers, count);
}

} // namespace

Key_Sequence parse_key_syntax(QStringView text) {
    Sequence_Builder out;
    std::uint8_t modifiers = 0;
    qsizetype at = 0;
    while (at < text.size()) {
        const QChar c = text[at];
        if (const std::uint8_t m = prefix_modifier(c)) {
            modifiers |= m;
            ++at;
            continue;
        }
        if (c == u'{') {
            // The inside holds at least one character, so "{}}" is the closing brace itself.
            const qsizetype close = at + 2 <= text.size() ? text.indexOf(u'}', at + 2) : -1;
            if (close < 0) {
                out.not_understood(text.mid(at));
                break;
            }
            parse_brace(text.mid(at + 1, close - at - 1), text.mid(at, close - at + 1), modifiers,
                        out);
            modifiers = 0;
            at = close + 1;
            continue;
        }
        const bool line_end_pair = c == u'\r' && at + 1 < text.size() && text[at + 1] == u'\n';
        const qsizetype length = line_end_pair ? 2 : character_length(text, at);
        // A Windows line end is one Enter.
        out.character(line_end_pair ? text.mid(at + 1, 1) : text.mid(at, length), modifiers, 1);
        modifiers = 0;
        at += length;
    }
    return std::move(out.sequence);
}

std::uint32_t key_name_keysym(QStringView name) {
    const auto found =
        std::find_if(named_keys.begin(), named_keys.end(), [name](const Key_Name& k) {
            return name.compare(QLatin1StringView(k.name), Qt::CaseInsensitive) == 0;
        });
    return found == named_keys.end() ? 0 : found->keysym;
}

std::uint32_t character_keysym(char32_t c) {
    return c <= latin1_last ? static_cast<std::uint32_t>(c) : unicode_keysym_base + c;
}

std::uint32_t virtual_key_keysym(unsigned virtual_key) {
    for (const Virtual_Key_Range& r : virtual_key_ranges) {
        if (virtual_key >= r.first && virtual_key <= r.last) {
            return r.first_keysym + (virtual_key - r.first);
        }
    }
    const auto found =
        std::find_if(virtual_keys.begin(), virtual_keys.end(),
                     [virtual_key](const Virtual_Key& k) { return k.code == virtual_key; });
    return found == virtual_keys.end() ? 0 : found->keysym;
}

std::span<const Key_Name> key_names() {
    return named_keys;
}
