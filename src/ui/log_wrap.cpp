#include "log_wrap.h"

#include "cp1250.h"

FontAdvances::FontAdvances(const QFont &font) : font_(font), metrics_(font) {
    table_.fill(-1);
    for (int byte = 0x20; byte < 0x100; ++byte) {
        const char16_t c = cp1250ToUnicode(static_cast<unsigned char>(byte));
        if (c < 0x100)
            table_[c] = metrics_.horizontalAdvance(QChar(c));
    }
}

qreal FontAdvances::other(QChar c) const {
    const auto found = others_.constFind(c.unicode());
    if (found != others_.cend())
        return *found;
    const qreal advance = metrics_.horizontalAdvance(c);
    others_.insert(c.unicode(), advance);
    return advance;
}

void WrapState::feed(const FontAdvances &font, const QString &text, qreal width,
                     std::vector<qsizetype> *starts) {
    for (const QChar c : text) {
        const qreal a = font.advance(c);
        const qsizetype at = length++;
        natural += a;
        if (c == QLatin1Char(' ')) {
            x += a;
            word = 0;
            canbreak = true;
            wordstart = at + 1;
            continue;
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
    }
}

std::vector<qsizetype> rowstarts(const FontAdvances &font, const QString &text, qreal width) {
    std::vector<qsizetype> starts{0};
    WrapState state;
    state.feed(font, text, width, &starts);
    return starts;
}
