#pragma once

// The two texts a log shows for a data block. Both are bytes: the printable
// text keeps the block's bytes 32 to 255 as they are (Windows-1250), the hex
// text is plain ASCII.

#include <string>
#include <string_view>

// Control bytes 0 to 31 as "<" name ">", every other byte as itself.
std::string printabletext(std::string_view block);

// A space and two upper-case hexadecimal digits per byte: " 41 0D".
std::string hextext(std::string_view block);

// The same written at out, in characters of any width, three a byte;
// returns the end. Blocks of megabytes are logged in one go.
template <class Char> Char *writehex(std::string_view block, Char *out) {
    static constexpr char digits[] = "0123456789ABCDEF";
    for (const char byte : block) {
        const auto value = static_cast<unsigned char>(byte);
        *out++ = Char(' ');
        *out++ = Char(digits[value >> 4]);
        *out++ = Char(digits[value & 0x0F]);
    }
    return out;
}
