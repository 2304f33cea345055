#pragma once

// Rich Text Format for saved logs: Windows-1250 text with a font table, a
// colour table and one paragraph per log line. The document is produced
// piecewise, so that saving a log of a million lines never holds the whole
// file in memory.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct RtfColour {
    unsigned char red = 0;
    unsigned char green = 0;
    unsigned char blue = 0;
    bool operator==(const RtfColour &) const = default;
};

class RtfWriter {
public:
    // The font table (\f0, \f1, ...), the colour table (\cf1, \cf2, ...; the
    // reader's own default stays \cf0) and the size of all text in points.
    RtfWriter(const std::vector<std::u16string> &fonts, const std::vector<RtfColour> &colours,
              int pointsize);

    // Appends text in a font and a colour, given as indexes into the two
    // tables, to the current line.
    void text(std::u16string_view text, std::size_t font, std::size_t colour);
    // Ends the current line.
    void endline();
    // Closes the document.
    void finish();
    // The bytes produced since the last call, and their number.
    std::string take();
    std::size_t pending() const { return out_.size(); }

private:
    void style(std::size_t font, std::size_t colour);
    void character(char16_t c);

    std::string out_;
    std::size_t fonts_;
    std::size_t colours_;
    std::size_t font_ = 0;
    std::size_t colour_ = 0;
};
