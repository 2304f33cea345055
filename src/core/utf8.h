#pragma once

// The one UTF-8 writer: a code point (below 0x110000, no surrogate) as one
// to four bytes at `out`, which must have room for four; returns the end.
inline char *pututf8(char *out, char32_t c) {
    const auto put = [&out](char32_t value) { *out++ = static_cast<char>(value); };
    if (c < 0x80) {
        put(c);
    } else if (c < 0x800) {
        put(0xC0 | c >> 6);
        put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        put(0xE0 | c >> 12);
        put(0x80 | (c >> 6 & 0x3F));
        put(0x80 | (c & 0x3F));
    } else {
        put(0xF0 | c >> 18);
        put(0x80 | (c >> 12 & 0x3F));
        put(0x80 | (c >> 6 & 0x3F));
        put(0x80 | (c & 0x3F));
    }
    return out;
}
