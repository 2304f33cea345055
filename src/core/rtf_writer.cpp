#include "rtf_writer.h"

#include "cp1250.h"

#include <cstdio>
#include <utility>

namespace {

void number(std::string &out, std::size_t n) {
    char digits[20];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n > 0);
    while (count > 0)
        out += digits[--count];
}

void hexbyte(std::string &out, int byte) {
    char escape[5];
    std::snprintf(escape, sizeof escape, "\\'%02x", byte);
    out += escape;
}

} // namespace

RtfWriter::RtfWriter(const std::vector<std::u16string> &fonts,
                     const std::vector<RtfColour> &colours, int pointsize)
    : fonts_(fonts.size()), colours_(colours.size()) {
    out_ = "{\\rtf1\\ansi\\ansicpg1250\\deff0\\uc1\r\n{\\fonttbl";
    for (std::size_t i = 0; i < fonts.size(); ++i) {
        out_ += "{\\f" + std::to_string(i) + "\\fnil\\fcharset238 ";
        for (char16_t c : fonts[i])
            character(c == u';' ? u' ' : c);
        out_ += ";}";
    }
    out_ += "}\r\n{\\colortbl ;";
    for (const RtfColour &colour : colours) {
        out_ += "\\red" + std::to_string(colour.red) + "\\green" + std::to_string(colour.green) +
                "\\blue" + std::to_string(colour.blue) + ";";
    }
    // \cf0 and \f0 are where \plain leaves a reader; the first run states its
    // own font and colour anyway.
    out_ += "}\r\n\\viewkind4\\pard\\plain\\fs" + std::to_string(2 * pointsize) + " ";
}

void RtfWriter::style(std::size_t font, std::size_t colour) {
    bool changed = false;
    if (font != font_ && font < fonts_) {
        out_ += "\\f";
        number(out_, font);
        font_ = font;
        changed = true;
    }
    // Colour n of the table is \cf(n + 1).
    if (colour + 1 != colour_ && colour < colours_) {
        out_ += "\\cf";
        number(out_, colour + 1);
        colour_ = colour + 1;
        changed = true;
    }
    if (changed)
        out_ += ' ';
}

void RtfWriter::character(char16_t c) {
    switch (c) {
    case u'\\':
    case u'{':
    case u'}':
        out_ += '\\';
        out_ += static_cast<char>(c);
        return;
    case u'\t':
        out_ += "\\tab ";
        return;
    case u'\u2028': // a line break inside a paragraph
        out_ += "\\line ";
        return;
    default:
        break;
    }
    const int byte = unicodeToCp1250(c);
    if (byte >= 0x20 && byte < 0x80) {
        out_ += static_cast<char>(byte);
    } else if (byte >= 0) {
        hexbyte(out_, byte);
    } else {
        // \uN takes a signed 16-bit number; \uc1 says one "?" follows for
        // readers that do not know Unicode.
        out_ += "\\u" + std::to_string(static_cast<short>(c)) + "?";
    }
}

void RtfWriter::text(std::u16string_view text, std::size_t font, std::size_t colour) {
    if (text.empty())
        return;
    style(font, colour);
    // Runs of plain ASCII, the bulk of any log, are copied as they are.
    const auto plain = [](char16_t c) {
        return c >= 0x20 && c < 0x80 && c != u'\\' && c != u'{' && c != u'}';
    };
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t end = i;
        while (end < text.size() && plain(text[end]))
            ++end;
        if (end == i) {
            character(text[i++]);
            continue;
        }
        const std::size_t at = out_.size();
        out_.resize(at + (end - i));
        char *to = out_.data() + at;
        for (; i < end; ++i)
            *to++ = static_cast<char>(text[i]);
    }
}

void RtfWriter::endline() {
    out_ += "\\par\r\n";
}

void RtfWriter::finish() {
    out_ += "}\r\n";
}

std::string RtfWriter::take() {
    return std::exchange(out_, std::string());
}
