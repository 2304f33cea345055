#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QString>

#include "cp1250.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

// The advance of every character of a font, from tables: the characters of
// Windows-1250 are measured once, any other character on its first use
// (under a lock, so that lines may be wrapped on several threads at once).
// Rows are computed from these without laying a line out.
class FontAdvances {
public:
    explicit FontAdvances(const QFont &font);
    qreal advance(QChar c) const {
        const char16_t code = c.unicode();
        if (code < 0x100 && table_[code] >= 0)
            return table_[code];
        const int byte = unicodeToCp1250(code);
        if (byte >= 0)
            return bytes_[static_cast<std::size_t>(byte)];
        return other(c);
    }
    // The advance of a character by its Windows-1250 byte.
    qreal byteadvance(unsigned char byte) const { return bytes_[byte]; }
    // The advance of a byte written as two hexadecimal digits.
    qreal hexadvance(unsigned char byte) const { return hex_[byte]; }
    // Whether every advance above is a multiple of 1/64 pixel (as fonts
    // measure), so that sums of them are exact in any order.
    bool exact() const { return exact_; }
    const QFont &font() const { return font_; }
    const QFontMetricsF &metrics() const { return metrics_; }

private:
    qreal other(QChar c) const;
    QFont font_;
    QFontMetricsF metrics_;
    std::array<qreal, 256> table_; // by Latin-1 character: the inline path for most text
    std::array<qreal, 256> bytes_; // by Windows-1250 byte
    std::array<qreal, 256> hex_;
    bool exact_ = false;
    mutable std::mutex lock_; // guards others_ and metrics_ past construction
    mutable QHash<char16_t, qreal> others_;
};

// Wrapping at word boundaries, or anywhere inside a word wider than the
// row: spaces hang at the end of a row, a row holds at least one character.
// Blanks that open a line (a data line's indent) are no word boundary: a
// word after them that does not fit is wrapped within, so the indent stays
// and no row is left empty.
// The state lets a line that keeps growing be wrapped piece by piece.
struct WrapState {
    std::uint32_t rows = 1;
    qreal x = 0;    // the width of the row so far
    qreal word = 0; // the width of its last word
    bool canbreak = false;
    bool rowtext = false;    // the row holds more than blanks
    qsizetype wordstart = 0; // where the last word starts
    qsizetype rowstart = 0;
    qsizetype length = 0; // the characters fed
    qreal natural = 0;    // the line's width on one row

    // Feeds text; with starts, the first character of every new row is
    // written there.
    void feed(const FontAdvances &font, QStringView text, qreal width,
              std::vector<qsizetype> *starts = nullptr);
    // Feeds a line as a LogStore keeps its bytes, without making its text.
    void feedstored(const FontAdvances &font, const char *bytes, std::size_t size, qreal width);
    // Feeds one character.
    void put(const FontAdvances &font, QChar c, qreal width, std::vector<qsizetype> *starts) {
        step(font.advance(c), c == QLatin1Char(' '), width, starts);
    }
    // Feeds one character of the advance, a space or not.
    void step(qreal a, bool space, qreal width, std::vector<qsizetype> *starts);
};

inline void WrapState::step(qreal a, bool space, qreal width, std::vector<qsizetype> *starts) {
    const qsizetype at = length++;
    natural += a;
    if (space) {
        x += a;
        word = 0;
        canbreak = rowtext;
        wordstart = at + 1;
        return;
    }
    if (x + a > width && at > rowstart) {
        if (canbreak && wordstart > rowstart) {
            // The word goes on the next row whole.
            ++rows;
            rowstart = wordstart;
            x = word;
            canbreak = false;
            if (starts)
                starts->push_back(rowstart);
        }
        if (x + a > width && at > rowstart) {
            ++rows;
            rowstart = at;
            wordstart = at;
            x = 0;
            word = 0;
            if (starts)
                starts->push_back(rowstart);
        }
    }
    x += a;
    word += a;
    rowtext = true;
}

// Where each row of a line starts (the first row at 0).
std::vector<qsizetype> rowstarts(const FontAdvances &font, const QString &text, qreal width);
