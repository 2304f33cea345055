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
    std::string text;
    text.reserve(block.size() * 3);
    for (char byte : block) {
        const auto value = static_cast<unsigned char>(byte);
        text += ' ';
        text += digits[value >> 4];
        text += digits[value & 0x0F];
    }
    return text;
}
