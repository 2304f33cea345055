#include "log_wrap.h"

#include "cp1250.h"
#include "log_store.h"

#include <cmath>

FontAdvances::FontAdvances(const QFont &font) : font_(font), metrics_(font) {
    table_.fill(-1);
    for (int byte = 0; byte < 0x100; ++byte) {
        const char16_t c = cp1250ToUnicode(static_cast<unsigned char>(byte));
        bytes_[static_cast<std::size_t>(byte)] = metrics_.horizontalAdvance(QChar(c));
        if (c < 0x100)
            table_[c] = bytes_[static_cast<std::size_t>(byte)];
    }
    static constexpr char digits[] = "0123456789ABCDEF";
    exact_ = true;
    for (int byte = 0; byte < 0x100; ++byte) {
        const qreal advance = bytes_[static_cast<std::size_t>(byte)];
        exact_ = exact_ && std::floor(advance * 64) == advance * 64 && advance < 1 << 16;
        hex_[static_cast<std::size_t>(byte)] =
            bytes_[static_cast<unsigned char>(digits[byte >> 4])] +
            bytes_[static_cast<unsigned char>(digits[byte & 0x0F])];
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

void WrapState::feedstored(const FontAdvances &font, const char *bytes, std::size_t size,
                           qreal width) {
    static constexpr char digits[] = "0123456789ABCDEF";
    WrapState state = *this;
    const qreal space = font.byteadvance(' ');
    for (std::size_t i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte == static_cast<unsigned char>(LogStore::escape) && i + 2 < size) {
            const auto c = static_cast<char16_t>(static_cast<unsigned char>(bytes[i + 1]) |
                                                 static_cast<unsigned char>(bytes[i + 2]) << 8);
            state.put(font, QChar(c), width, nullptr);
            i += 2;
        } else if (byte == static_cast<unsigned char>(LogStore::hexrun) && i + 1 < size) {
            const auto count = static_cast<unsigned char>(bytes[i + 1]);
            for (std::size_t k = 0; k < count && i + 2 + k < size; ++k) {
                const auto value = static_cast<unsigned char>(bytes[i + 2 + k]);
                const qreal group = space + font.hexadvance(value);
                if (font.exact() && state.x + group <= width) {
                    // " HH" fits on the row: the three steps at once, which
                    // with exact sums come out the same.
                    state.natural += group;
                    state.x += group;
                    state.word = font.hexadvance(value);
                    state.canbreak = state.rowtext;
                    state.wordstart = state.length + 1;
                    state.length += 3;
                    state.rowtext = true;
                    continue;
                }
                state.step(space, true, width, nullptr);
                state.step(font.byteadvance(static_cast<unsigned char>(digits[value >> 4])), false,
                           width, nullptr);
                state.step(font.byteadvance(static_cast<unsigned char>(digits[value & 0x0F])),
                           false, width, nullptr);
            }
            i += 1 + count;
        } else {
            state.step(font.byteadvance(byte), byte == ' ', width, nullptr);
        }
    }
    *this = state;
}

std::vector<qsizetype> rowstarts(const FontAdvances &font, const QString &text, qreal width) {
    std::vector<qsizetype> starts{0};
    WrapState state;
    state.feed(font, text, width, &starts);
    return starts;
}
