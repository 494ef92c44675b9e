#include "can/display_text.h"

namespace {

constexpr std::uint8_t mark_inside = 0x20;    // not the last frame of its block
constexpr std::uint8_t mark_block_end = 0x00; // last of a block, more blocks follow
constexpr std::uint8_t mark_text_end = 0x10;  // last frame of the text
constexpr QStringView frame_head = u"ID: STD=0x680   RTR: DATA   DLC: ";
constexpr QStringView data_head = u"   DATA: 0x";
constexpr int hex_base = 16;

QStringList non_empty_lines(QStringView text) {
    QStringList out;
    for (const QStringView line : text.split(u'\n', Qt::SkipEmptyParts)) {
        out << line.toString();
    }
    return out;
}

} // namespace

void Display_Text::queue_text(QStringView text) {
    queue_lines(non_empty_lines(text));
}

void Display_Text::queue_lines(const QStringList& queued) {
    lines = queued;
    start = true;
}

void Display_Text::set_counter(int value) {
    sequence =
        static_cast<std::uint8_t>(((value % counter_modulus) + counter_modulus) % counter_modulus);
}

void Display_Text::append_frame(QString& out, QStringView line, std::uint8_t mark) {
    // Every blank-separated token is a data byte, empty ones too, after the sequence byte.
    const qsizetype tokens = line.count(u' ') + 1;
    const qsizetype dlc = tokens + 1;
    out += frame_head;
    out += QString::number(dlc);
    out += data_head;
    out += QString::number(mark + sequence, hex_base);
    out += u' ';
    out += line;
    out += u'\n';
    sequence = static_cast<std::uint8_t>((sequence + 1) % counter_modulus);
}

Display_Block Display_Text::send_block() {
    Display_Block block;
    const qsizetype n = lines.size();
    if (n <= lines_per_block) {
        for (qsizetype i = 0; i < n; ++i) {
            append_frame(block.frames, lines[i], i == n - 1 ? mark_text_end : mark_inside);
        }
        lines.clear();
        return block;
    }
    for (qsizetype i = 0; i < lines_per_block; ++i) {
        append_frame(block.frames, lines[i],
                     i == lines_per_block - 1 ? mark_block_end : mark_inside);
    }
    lines.remove(0, lines_per_block);
    block.more = true;
    return block;
}

QString Display_Text::direct_text(QStringView text) {
    const QStringList direct = non_empty_lines(text);
    QString frames;
    for (qsizetype i = 0; i < direct.size(); ++i) {
        append_frame(frames, direct[i], i == direct.size() - 1 ? mark_block_end : mark_inside);
    }
    return frames;
}
