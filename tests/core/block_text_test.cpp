#include "block_text.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

TEST(PrintableText, NamesEveryControlByteAndKeepsTheRest) {
    EXPECT_EQ(printabletext("AB\r"), "AB<cr>");
    EXPECT_EQ(printabletext("\0"s), "<nul>");
    EXPECT_EQ(printabletext("\x07\x1F"), "<bel><us>");
    // 127 and the upper half are bytes like any other letter.
    EXPECT_EQ(printabletext("\x7F\xFF\x80 "), "\x7F\xFF\x80 ");
    EXPECT_EQ(printabletext(""), "");
}

TEST(PrintableText, EveryByteValueGivesItsOwnPiece) {
    std::string all;
    for (int value = 0; value < 256; ++value)
        all += static_cast<char>(value);
    const std::string text = printabletext(all);
    // 32 names in brackets and 224 bytes as themselves.
    EXPECT_EQ(text.substr(0, 10), "<nul><soh>");
    EXPECT_NE(text.find("<lf><vt><ff><cr>"), std::string::npos);
    EXPECT_EQ(text.substr(text.find("<us>") + 4), all.substr(32));
}

TEST(HexText, ASpaceAndTwoUpperCaseDigitsPerByte) {
    EXPECT_EQ(hextext("AB\r"), " 41 42 0D");
    EXPECT_EQ(hextext("\x01\xFF"), " 01 FF");
    EXPECT_EQ(hextext("\0\x7F\xab"s), " 00 7F AB");
    EXPECT_EQ(hextext(""), "");
    EXPECT_EQ(hextext(std::string(40, 'A')).size(), 120u);
}
