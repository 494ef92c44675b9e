#pragma once

#include <QLineEdit>

// The poll refreshes its fields twenty times a second; a field whose text stays the same
// is left alone, so it is neither re-laid out nor repainted.
inline void set_text_if_changed(QLineEdit* field, const QString& text) {
    if (field->text() != text) {
        field->setText(text);
    }
}
