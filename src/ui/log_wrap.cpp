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
    // Most text fits on the row it starts on: the advances are summed as
    // put() sums them, and only text that overflows is wrapped character by
    // character.
    qreal nx = x;
    qreal nnatural = natural;
    qreal nword = word;
    qsizetype space = -1;
    const QChar *chars = text.constData();
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const qreal a = font.advance(chars[i]);
        nx += a;
        nnatural += a;
        if (chars[i] == QLatin1Char(' ')) {
            nword = 0;
            space = i;
        } else {
            nword += a;
        }
    }
    if (nx <= width) {
        x = nx;
        natural = nnatural;
        word = nword;
        if (space >= 0) {
            canbreak = true;
            wordstart = length + space + 1;
        }
        length += size;
        return;
    }
    for (const QChar c : text)
        put(font, c, width, starts);
}

std::vector<qsizetype> rowstarts(const FontAdvances &font, const QString &text, qreal width) {
    std::vector<qsizetype> starts{0};
    WrapState state;
    state.feed(font, text, width, &starts);
    return starts;
}
