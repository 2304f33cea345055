// The numbers of a received text and the series they belong to.
#include "value_text.h"

#include <gtest/gtest.h>

namespace {

TEST(ValuesInText, NamedNumbersGoToTheirSeriesAndTheOthersByPosition) {
    EXPECT_EQ(valuesintext("t=21.5 h: 40"), (std::vector<NamedValue>{{"t", 21.5}, {"h", 40}}));
    EXPECT_EQ(valuesintext("21.5,40,1013\r\n"),
              (std::vector<NamedValue>{{"1", 21.5}, {"2", 40}, {"3", 1013}}));
    EXPECT_EQ(
        valuesintext("-3 +2 .5 1e-3 2E+2 7e x=-1.25e1"),
        (std::vector<NamedValue>{
            {"1", -3}, {"2", 2}, {"3", 0.5}, {"4", 0.001}, {"5", 200}, {"6", 7}, {"x", -12.5}}));
    // Mixed: the unnamed ones count among themselves.
    EXPECT_EQ(valuesintext("5 temp_1 = 20 6"),
              (std::vector<NamedValue>{{"1", 5}, {"temp_1", 20}, {"2", 6}}));
}

TEST(ValuesInText, DigitsInsideWordsAndOddTextsGiveNoNumbers) {
    EXPECT_EQ(valuesintext("t2 abc x.y - + . e5 1.."), (std::vector<NamedValue>{{"1", 1}}));
    EXPECT_TRUE(valuesintext("").empty());
    EXPECT_TRUE(valuesintext("1e999").empty()) << "not a finite number";
    EXPECT_EQ(valuesintext("=5 :6"), (std::vector<NamedValue>{{"1", 5}, {"2", 6}}));
    EXPECT_EQ(valuesintext(std::string("\x00\xff"
                                       "9",
                                       3)),
              (std::vector<NamedValue>{{"1", 9}}));
}

} // namespace
