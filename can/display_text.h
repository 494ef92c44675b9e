#pragma once

// Text for a vehicle display that takes it as a byte stream in frames with identifier 0x680.
// Every frame starts with a sequence byte: a 4-bit counter running on across all display
// frames, under a high nibble that marks the frame's place:
//
//   0x2_  not the last frame of its block
//   0x0_  the fourth, last frame of a block when more blocks follow
//   0x1_  the last frame of the whole text
//
// The display acknowledges each block; the next block goes out on that acknowledgement, so a
// queued text is sent four lines at a time. A line is one frame's data after the sequence byte,
// as blank-separated byte tokens ("0x09 0x00 0x60"), copied into the frame text unchanged.
//
// This class only builds frame texts; the window hands them to its sender and decides, from the
// received frames, when the next block is due.

#include <QString>
#include <QStringList>
#include <QStringView>
#include <cstdint>

// The byte stream of a display text in two halves, as the "Text" box starts.
inline constexpr QStringView can_text_uni_default = u"0x09 0x00 0x60 0x09 0x00 0x00 0x00\n"
                                                    u"0x00 0x00 0x6e 0x00 0x5b 0x00 0x61\n"
                                                    u"0x0a 0x00 0x00 0x00 0x00 0x47 0x00\n"
                                                    u"0x46 0x4d 0xa0 0x31 0x61 0x07 0x02\n"
                                                    u"\n"
                                                    u"0x00 0x00 0x00 0x00 0x00 0x02 0x61\n"
                                                    u"0x0e 0x11 0x00 0x37 0x00 0x1e 0x00\n"
                                                    u"0x2a 0xa0 0x41 0x42 0x54 0x4f 0xa0\n"
                                                    u"0x2a 0x08\n";
// Its halves, as the "Text 1" and "Text 2" boxes start.
inline constexpr QStringView can_text_1_default = u"0x09 0x00 0x60 0x09 0x00 0x00 0x00\n"
                                                  u"0x00 0x00 0x6e 0x00 0x5b 0x00 0x61\n"
                                                  u"0x0a 0x00 0x00 0x00 0x00 0x47 0x00\n"
                                                  u"0x46 0x4d 0xa0 0x31 0x61 0x07 0x02";
inline constexpr QStringView can_text_2_default = u"0x00 0x00 0x00 0x00 0x00 0x02 0x61\n"
                                                  u"0x0e 0x11 0x00 0x37 0x00 0x1e 0x00\n"
                                                  u"0x2a 0xa0 0x41 0x42 0x54 0x4f 0xa0\n"
                                                  u"0x2a 0x08";

// One block of the queue: its frame lines, each ending in "\n", for one call of the sender.
struct Display_Block {
    QString frames;
    bool more = false; // lines remain in the queue after this block

    friend bool operator==(const Display_Block&, const Display_Block&) = default;
};

class Display_Text {
public:
    static constexpr int lines_per_block = 4;
    static constexpr std::uint8_t counter_modulus = 16;

    // Replaces the queue by the text's lines (split at "\n", empty lines dropped, a line of
    // blanks kept) and marks the start pending.
    void queue_text(QStringView text);
    // Replaces the queue by the given lines, as they are, and marks the start pending.
    void queue_lines(const QStringList& lines);
    const QStringList& queue() const { return lines; }

    std::uint8_t counter() const { return sequence; }
    // Taken modulo 16.
    void set_counter(int value);

    // A new text waits for its first block.
    bool start_pending() const { return start; }
    void set_start_pending(bool pending) { start = pending; }
    // Blocks of the text wait for the display's acknowledgement.
    bool more_pending() const { return more; }
    void set_more_pending(bool pending) { more = pending; }

    // The next block: up to four lines taken from the queue. The queue's last block ends with
    // its 0x1-marked frame, any other with a 0x0-marked fourth frame. An empty queue gives no
    // frames. The flags are the caller's to set from the result.
    Display_Block send_block();

    // A whole text at once, without the queue: its non-empty lines, the last one 0x0-marked.
    QString direct_text(QStringView text);

private:
    // Appends the frame line of `line` with `mark` + the counter, and advances the counter.
    void append_frame(QString& out, QStringView line, std::uint8_t mark);

    QStringList lines;
    std::uint8_t sequence = 0;
    bool start = false;
    bool more = false;
};
