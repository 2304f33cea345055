#include "block_text.h"

#include "codec.h"

std::string printabletext(std::string_view block) {
    std::string text;
    text.reserve(block.size());
    for (char byte : block) {
        const auto value = static_cast<unsigned char>(byte);
        if (value < ctrlnames.size()) {
            text += '<';
            text += ctrlnames[value];
            text += '>';
        } else {
            text += byte;
        }
    }
    return text;
}

std::string hextext(std::string_view block) {
    static constexpr char digits[] = "0123456789ABCDEF";
    // Written through a pointer: blocks of megabytes are logged in one go.
    std::string text(block.size() * 3, ' ');
    char *out = text.data();
    for (char byte : block) {
        const auto value = static_cast<unsigned char>(byte);
        out[1] = digits[value >> 4];
        out[2] = digits[value & 0x0F];
        out += 3;
    }
    return text;
}
