#include "cp1250.h"

#include "utf8.h"

#include <array>
#include <cstddef>

namespace {

// Characters of the bytes 0x80 to 0xFF; the bytes below are ASCII.
constexpr std::array<char16_t, 128> upperhalf = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179, // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, // 0x98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7, // 0xA0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B, // 0xA8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, // 0xB0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, // 0xB8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, // 0xC0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, // 0xC8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, // 0xD0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, // 0xD8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, // 0xE0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, // 0xE8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7, // 0xF0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9, // 0xF8
};

// The byte of each character of the upper half, made from the table above
// (every one lies below U+2200); 0 where the code page has none.
constexpr std::size_t reversesize = 0x2200;
constexpr std::array<unsigned char, reversesize> upperbytes = [] {
    std::array<unsigned char, reversesize> bytes{};
    for (std::size_t i = upperhalf.size(); i-- > 0;)
        bytes[upperhalf[i]] = static_cast<unsigned char>(0x80 + i);
    return bytes;
}();

bool ishighsurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool islowsurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

} // namespace

int unicodeToCp1250(char16_t c) {
    if (c < 0x80)
        return c;
    if (c >= reversesize || upperbytes[c] == 0)
        return -1;
    return upperbytes[c];
}

std::string cp1250ToUtf8(std::string_view bytes) {
    // Every character of the code page is below U+10000: three bytes at most.
    std::string text(bytes.size() * 3, '\0');
    char *out = text.data();
    for (char byte : bytes)
        out = pututf8(out, cp1250ToUnicode(static_cast<unsigned char>(byte)));
    text.resize(static_cast<std::size_t>(out - text.data()));
    return text;
}

char16_t cp1250ToUnicode(unsigned char byte) {
    if (byte < 0x80)
        return byte;
    return upperhalf[byte - 0x80];
}

std::u16string fromCp1250(std::string_view bytes) {
    std::u16string text(bytes.size(), u'\0');
    fromCp1250(bytes, text.data());
    return text;
}

char16_t *fromCp1250(std::string_view bytes, char16_t *out) {
    for (const char byte : bytes)
        *out++ = cp1250ToUnicode(static_cast<unsigned char>(byte));
    return out;
}

std::string toCp1250(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (ishighsurrogate(c) && i + 1 < text.size() && islowsurrogate(text[i + 1])) {
            ++i; // one character outside the code page, one '?'
            bytes.push_back('?');
        } else {
            const int byte = unicodeToCp1250(c);
            bytes.push_back(byte < 0 ? '?' : static_cast<char>(byte));
        }
    }
    return bytes;
}
