#include "log_wrap.h"

#include "cp1250.h"

FontAdvances::FontAdvances(const QFont &font) : font_(font), metrics_(font) {
    table_.fill(-1);
    for (int byte = 0; byte < 0x100; ++byte) {
        const char16_t c = cp1250ToUnicode(static_cast<unsigned char>(byte));
        bytes_[static_cast<std::size_t>(byte)] = metrics_.horizontalAdvance(QChar(c));
        if (c < 0x100)
            table_[c] = bytes_[static_cast<std::size_t>(byte)];
    }
}

qreal FontAdvances::other(QChar c) const {
    const std::lock_guard<std::mutex> held(lock_);
    const auto found = others_.constFind(c.unicode());
    if (found != others_.cend())
        return *found;
    const qreal advance = metrics_.horizontalAdvance(c);
    others_.insert(c.unicode(), advance);
    return advance;
}

void WrapState::feed(const FontAdvances &font, QStringView text, qreal width,
                     std::vector<qsizetype> *starts) {
    // A local copy, so that the loop keeps the state in registers.
    WrapState state = *this;
    const QChar *chars = text.constData();
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i)
        state.put(font, chars[i], width, starts);
    *this = state;
}

std::vector<qsizetype> rowstarts(const FontAdvances &font, const QString &text, qreal width) {
    std::vector<qsizetype> starts{0};
    WrapState state;
    state.feed(font, text, width, &starts);
    return starts;
}
