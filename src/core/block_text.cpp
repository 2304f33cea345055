#include "block_text.h"

#include "codec.h"

std::string printabletext(std::string_view block) {
    std::string text;
    text.reserve(block.size());
    // Runs of printable bytes are copied whole: a record's block is mostly one.
    std::size_t i = 0;
    while (i < block.size()) {
        std::size_t end = i;
        while (end < block.size() && static_cast<unsigned char>(block[end]) >= ctrlnames.size())
            ++end;
        text.append(block.substr(i, end - i));
        if (end == block.size())
            break;
        text += '<';
        text += ctrlnames[static_cast<unsigned char>(block[end])];
        text += '>';
        i = end + 1;
    }
    return text;
}

std::string hextext(std::string_view block) {
    std::string text(block.size() * 3, ' ');
    writehex(block, text.data());
    return text;
}
