#include "cp1250.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string allbytes() {
    std::string bytes;
    for (int b = 0; b < 256; ++b)
        bytes.push_back(static_cast<char>(b));
    return bytes;
}

} // namespace

TEST(Cp1250, EveryByteSurvivesTheTripThroughUnicode) {
    std::string bytes = allbytes();
    std::u16string text = fromCp1250(bytes);
    ASSERT_EQ(text.size(), 256u);
    EXPECT_EQ(toCp1250(text), bytes);
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(text[b], cp1250ToUnicode(static_cast<unsigned char>(b))) << b;
}

TEST(Cp1250, AsciiIsUnchanged) {
    for (int b = 0; b < 128; ++b)
        EXPECT_EQ(cp1250ToUnicode(static_cast<unsigned char>(b)), static_cast<char16_t>(b)) << b;
}

TEST(Cp1250, UndefinedBytesStandForTheirControlCharacters) {
    for (unsigned char b : {0x81, 0x83, 0x88, 0x90, 0x98}) {
        EXPECT_EQ(cp1250ToUnicode(b), static_cast<char16_t>(b)) << int(b);
        EXPECT_EQ(toCp1250(std::u16string(1, static_cast<char16_t>(b))),
                  std::string(1, static_cast<char>(b)));
    }
}

TEST(Cp1250, CzechLettersHaveTheirBytes) {
    struct Letter {
        char16_t character;
        unsigned char byte;
    };
    const Letter letters[] = {
        {u'č', 0xE8}, {u'ř', 0xF8}, {u'ž', 0x9E}, {u'ů', 0xF9}, {u'Č', 0xC8},
        {u'Ř', 0xD8}, {u'Ž', 0x8E}, {u'Ů', 0xD9}, {u'š', 0x9A}, {u'ě', 0xEC},
        {u'ť', 0x9D}, {u'ď', 0xEF}, {u'ň', 0xF2}, {u'€', 0x80},
    };
    for (const Letter &l : letters) {
        EXPECT_EQ(cp1250ToUnicode(l.byte), l.character) << int(l.byte);
        EXPECT_EQ(toCp1250(std::u16string(1, l.character)),
                  std::string(1, static_cast<char>(l.byte)))
            << int(l.byte);
    }
    EXPECT_EQ(toCp1250(u"Přijímací filtr"), "P\xf8ij\xedmac\xed filtr");
    EXPECT_EQ(fromCp1250("P\xf8ij\xedmac\xed filtr"), u"Přijímací filtr");
}

TEST(Cp1250, MissingCharactersBecomeQuestionMarks) {
    struct Case {
        std::u16string text;
        std::string expected;
    };
    const Case cases[] = {
        {u"ñ", "?"},
        {u"a日b", "a?b"},
        {u"\u0080", "?"},         // a control character the code page lacks
        {u"x\U0001F600y", "x?y"}, // a surrogate pair is one character
        {u"\U0001F600\U0001F600", "??"},
        {std::u16string(1, char16_t(0xD800)) + u"a", "?a"}, // lone high surrogate
        {u"a" + std::u16string(1, char16_t(0xDC00)), "a?"}, // lone low surrogate
        {std::u16string(1, char16_t(0xD800)), "?"},
        {u"", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(toCp1250(c.text), c.expected);
}
