// Key action texts from the settings file: every event the parser gives can be played as it
// is, a brace it does not understand is given back as written, and typed text written back in
// the syntax reads back the same.

#include <QString>
#include <cstddef>
#include <cstdint>

#include "buttons/key_syntax.h"
#include "fuzz_check.h"

namespace {

constexpr std::uint8_t all_modifiers =
    key_modifier::control | key_modifier::alt | key_modifier::shift | key_modifier::win;

bool typable(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
        } else if (c.isSurrogate() || c.unicode() < 0x20 ||
                   (c.unicode() >= 0x7F && c.unicode() <= 0x9F)) {
            return false;
        }
    }
    return true;
}

// The text in the syntax: the characters it gives a meaning to in braces.
QString written(QStringView text) {
    QString out;
    for (const QChar c : text) {
        if (c == u'^' || c == u'!' || c == u'+' || c == u'#' || c == u'{' || c == u'}') {
            out += u'{';
            out += c;
            out += u'}';
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const Key_Sequence sequence = parse_key_syntax(text);

    qsizetype typed = 0;
    for (std::size_t i = 0; i < sequence.events.size(); ++i) {
        const Key_Event& e = sequence.events[i];
        if (e.action == Key_Action::type_text) {
            FUZZ_CHECK(!e.text.isEmpty() && typable(e.text));
            FUZZ_CHECK(e.keysym == 0 && e.modifiers == 0 && e.count == 1);
            FUZZ_CHECK(i == 0 || sequence.events[i - 1].action != Key_Action::type_text);
            typed += e.text.size();
            const Key_Sequence back = parse_key_syntax(written(e.text));
            FUZZ_CHECK(back.not_understood.isEmpty() && back.events.size() == 1 &&
                       back.events.front() == e);
        } else {
            FUZZ_CHECK(e.text.isEmpty() && e.keysym != 0);
            FUZZ_CHECK((e.modifiers & ~all_modifiers) == 0);
            FUZZ_CHECK(e.count >= 1 && e.count <= max_key_repeat);
            FUZZ_CHECK(e.action == Key_Action::tap || e.count == 1);
        }
    }
    FUZZ_CHECK(typed <= text.size() * max_key_repeat);
    for (const QString& brace : sequence.not_understood) {
        FUZZ_CHECK(brace.startsWith(u'{') && text.contains(brace));
    }
    return 0;
}
