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
    std::string text(block.size() * 3, ' ');
    writehex(block, text.data());
    return text;
}
