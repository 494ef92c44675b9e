#pragma once

// The send syntax of key actions, read into key events that a sender plays without further
// parsing.
//
// - A character stands for itself, in any script. A line feed (or a carriage return, alone or
//   before a line feed) is the Enter key, a tab the Tab key; other control characters and
//   broken surrogates type nothing.
// - "{NAME}" is one named key (key_name_keysym(), any letter case); "{NAME n}" the key n times,
//   n capped at max_key_repeat; "{NAME down}" / "{NAME up}" press or release it alone, so it
//   stays held in between. "{c}", "{c n}", "{c down}" with one character c do the same for the
//   character: "{{}", "{}}", "{^}", "{+}", "{!}", "{#}" type the brace or prefix itself.
// - The prefixes ^ (Control), ! (Alt), + (Shift), # (Win) hold their modifier around the next
//   key or character only; a prefix with nothing after it is dropped.
// - A brace with an unknown name, an argument that is neither a count nor down / up, or no
//   closing brace (the rest of the text then) types nothing and is given back as written, so
//   the caller can say what was not understood.

#include <QString>
#include <QStringList>
#include <QStringView>
#include <cstdint>
#include <span>
#include <vector>

namespace key_modifier {
inline constexpr std::uint8_t control = 0x1;
inline constexpr std::uint8_t alt = 0x2;
inline constexpr std::uint8_t shift = 0x4;
inline constexpr std::uint8_t win = 0x8;
} // namespace key_modifier

inline constexpr int max_key_repeat = 1000;

enum class Key_Action : std::uint8_t {
    type_text, // type `text` as it is
    tap,       // press and release `keysym` `count` times, `modifiers` held around each
    press,     // press `modifiers` and `keysym`, leave them held
    release,   // release `keysym` and `modifiers`
};

struct Key_Event {
    Key_Action action = Key_Action::type_text;
    QString text;               // type_text only: printable characters
    std::uint32_t keysym = 0;   // the others: the X keysym of the key
    std::uint8_t modifiers = 0; // key_modifier bits; none for type_text
    int count = 1;              // tap only: 1..max_key_repeat

    friend bool operator==(const Key_Event&, const Key_Event&) = default;
};

struct Key_Sequence {
    std::vector<Key_Event> events; // adjacent characters without prefixes form one type_text
    QStringList not_understood;    // braces as written, in text order
};

Key_Sequence parse_key_syntax(QStringView text);

// The X keysym of a key name of the syntax, any letter case; 0 for a name it does not know.
std::uint32_t key_name_keysym(QStringView name);

// The X keysym that types a character: Latin-1 characters are their own keysym, every other
// character the Unicode keysym 0x01000000 + code point.
std::uint32_t character_keysym(char32_t c);

// The X keysym of a Windows virtual-key code as the settings file stores hot keys (letters,
// digits, F1..F24, arrows and editing keys, numeric keypad, media, volume and browser keys,
// punctuation of a US keyboard); 0 for a code without one.
std::uint32_t virtual_key_keysym(unsigned virtual_key);

// The names of the syntax with their keys, F1..F24 and NUMPAD0..9 included; a name may share
// its key with another (ESC and ESCAPE).
struct Key_Name {
    const char* name;
    std::uint32_t keysym;
};
std::span<const Key_Name> key_names();
