#include "rtf_writer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const RtfColour black{0, 0, 0};
const RtfColour red{255, 0, 0};
const RtfColour blue{0, 0, 255};

// A whole document of the given lines, each a run in (font, colour).
struct Run {
    std::u16string text;
    std::size_t font;
    std::size_t colour;
};

std::string document(const std::vector<std::vector<Run>> &lines) {
    RtfWriter rtf({u"MS Sans Serif", u"Courier"}, {black, red, blue}, 8);
    for (const auto &line : lines) {
        for (const Run &run : line)
            rtf.text(run.text, run.font, run.colour);
        rtf.endline();
    }
    rtf.finish();
    return rtf.take();
}

// The body: what follows the header's closing "\fs16 ".
std::string body(const std::string &rtf) {
    const std::size_t start = rtf.find("\\fs16 ");
    EXPECT_NE(start, std::string::npos);
    return rtf.substr(start + 6);
}

} // namespace

TEST(RtfWriter, HeaderDeclaresCodePageFontsAndColours) {
    const std::string rtf = document({});
    EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi\\ansicpg1250\\deff0", 0), 0u);
    EXPECT_NE(rtf.find("{\\fonttbl{\\f0\\fnil\\fcharset238 MS Sans Serif;}"
                       "{\\f1\\fnil\\fcharset238 Courier;}}"),
              std::string::npos);
    EXPECT_NE(rtf.find("{\\colortbl ;\\red0\\green0\\blue0;\\red255\\green0\\blue0;"
                       "\\red0\\green0\\blue255;}"),
              std::string::npos);
    EXPECT_EQ(body(rtf), "}\r\n");
}

TEST(RtfWriter, OneParagraphPerLineWithStyleChangesOnlyWhereTheyHappen) {
    const std::string rtf = document({
        {{u"Přijal data :", 0, 0}},
        {{u"  AB<cr>", 1, 1}},
        {{u"  41 42 0D", 1, 1}},
        {{u"Odeslal data :", 0, 0}},
        {{u"  x", 1, 2}},
    });
    // Leading spaces survive: the delimiter after a control word is the one
    // space the reader drops.
    EXPECT_EQ(body(rtf), "\\cf1 P\\'f8ijal data :\\par\r\n"
                         "\\f1\\cf2   AB<cr>\\par\r\n"
                         "  41 42 0D\\par\r\n"
                         "\\f0\\cf1 Odeslal data :\\par\r\n"
                         "\\f1\\cf3   x\\par\r\n"
                         "}\r\n");
}

TEST(RtfWriter, EscapesSyntaxCharactersAndBytesAboveAscii) {
    // The code page has no y with diaeresis; its byte 0xFF is the dot above.
    const std::string rtf =
        document({{{u"a\\b{c}d\te", 0, 0}}, {{u"\u20AC\u02D9\u0161\u00FF", 0, 0}}});
    EXPECT_EQ(body(rtf), "\\cf1 a\\\\b\\{c\\}d\\tab e\\par\r\n"
                         "\\'80\\'ff\\'9a\\u255?\\par\r\n}\r\n");
}

TEST(RtfWriter, CharactersOutsideTheCodePageBecomeUnicodeEscapes) {
    // A Greek alpha (945), a character past 32767 (a negative number) and a
    // character outside the basic plane, written as its two halves.
    const std::string rtf = document({{{u"\u03B1 \uFF21 \U0001F600", 0, 0}}});
    EXPECT_NE(rtf.find("\\uc1"), std::string::npos);
    EXPECT_EQ(body(rtf), "\\cf1 \\u945? \\u-223? \\u-10179?\\u-8704?\\par\r\n}\r\n");
}

TEST(RtfWriter, EmptyLinesAndRunsAreParagraphsWithoutText) {
    const std::string rtf = document({{}, {{u"", 1, 2}}, {{u"a", 1, 1}, {u"b", 1, 2}}});
    EXPECT_EQ(body(rtf), "\\par\r\n\\par\r\n\\f1\\cf2 a\\cf3 b\\par\r\n}\r\n");
}

TEST(RtfWriter, TakeHandsOverEachPieceOnce) {
    RtfWriter rtf({u"Courier"}, {red}, 10);
    const std::string header = rtf.take();
    EXPECT_NE(header.find("\\fs20 "), std::string::npos);
    EXPECT_EQ(rtf.pending(), 0u);
    rtf.text(u"x", 0, 0);
    rtf.endline();
    EXPECT_EQ(rtf.take(), "\\cf1 x\\par\r\n");
    rtf.finish();
    EXPECT_EQ(rtf.take(), "}\r\n");
}
