#include "codec.h"
#include "errors.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <set>
#include <string>

using namespace std::string_literals;

namespace {

struct Case {
    std::string text;
    std::string expected; // bytes, or the error message for failure cases
};

std::ostream &operator<<(std::ostream &os, const Case &c) {
    return os << '"' << c.text << '"';
}

std::string invalid(const std::string &piece) {
    return "'" + piece + "' is not a valid integer value";
}

// Runs `convert` and returns the message it failed with, or a note that it
// did not fail.
template <typename Convert> std::string failuremessage(Convert convert, const std::string &text) {
    try {
        convert(text);
    } catch (const KrovanError &error) {
        return error.what();
    }
    return "<no failure>";
}

} // namespace

// ---- control names ----

TEST(Ctrlnames, NamesTheControlBytes) {
    EXPECT_EQ(ctrlnames[0], "nul");
    EXPECT_EQ(ctrlnames[7], "bel");
    EXPECT_EQ(ctrlnames[9], "tab");
    EXPECT_EQ(ctrlnames[10], "lf");
    EXPECT_EQ(ctrlnames[13], "cr");
    EXPECT_EQ(ctrlnames[27], "esc");
    EXPECT_EQ(ctrlnames[31], "us");
}

TEST(Ctrlnames, AreDistinctShortLowerCaseWords) {
    std::set<std::string_view> seen;
    for (std::string_view name : ctrlnames) {
        EXPECT_GE(name.size(), 1u);
        EXPECT_LE(name.size(), 3u);
        for (char c : name)
            EXPECT_TRUE((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) << name;
        EXPECT_TRUE(seen.insert(name).second) << "duplicate " << name;
    }
}

TEST(Ctrlnames, EveryNameEscapesToItsByte) {
    for (std::size_t i = 0; i < ctrlnames.size(); ++i) {
        std::string text = "<" + std::string(ctrlnames[i]) + ">";
        EXPECT_EQ(wildtostr(text), std::string(1, static_cast<char>(i))) << text;
    }
}

// ---- integer text rule ----

struct IntCase {
    std::string text;
    int expected;
};

TEST(Strtoint, ReadsValidNumberTexts) {
    const IntCase cases[] = {
        {"0", 0},
        {"65", 65},
        {"   65", 65},
        {"+65", 65},
        {"-65", -65},
        {"-0", 0},
        {" -7", -7},
        {"000000000000065", 65},
        {"$41", 65},
        {"x41", 65},
        {"X41", 65},
        {"0x41", 65},
        {"0X41", 65},
        {"$ff", 255},
        {"$Ff", 255},
        {"$aBcD", 0xABCD},
        {"-$10", -16},
        {"+x10", 16},
        {"  -0x1", -1},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"$7FFFFFFF", INT_MAX},
        {"$FFFFFFFF", -1},
        {"$80000000", INT_MIN},
        {"-$80000000", INT_MIN},
        {"-$FFFFFFFF", 1},
        {"$0000000041", 65}, // leading zeros do not count towards the 32 bits
    };
    for (const IntCase &c : cases) {
        try {
            EXPECT_EQ(strtoint(c.text), c.expected) << '"' << c.text << '"';
        } catch (const KrovanError &error) {
            ADD_FAILURE() << '"' << c.text << "\" failed: " << error.what();
        }
    }
}

TEST(Strtoint, RejectsMalformedTextsNamingThem) {
    const std::string texts[] = {
        "",           " ",           "+",
        "-",          "$",           "x",
        "0x",         "0X",          "+-1",
        "--1",        "- 1",         "1 ",
        "65x",        "6 5",         "1.0",
        "\t1",        "$g",          "$-1",
        "$ 1",        "0x-1",        "00x1",
        "$$1",        "1e3",         "a",
        "2147483648", "-2147483649", "99999999999999999999999999",
        "$100000000", "-$123456789", "0xFFFFFFFFFFFFFFFFFFFF",
    };
    for (const std::string &text : texts)
        EXPECT_EQ(failuremessage(strtoint, text), invalid(text)) << '"' << text << '"';
}

// ---- wildtostr ----

TEST(Wildtostr, ConvertsEscapeTexts) {
    const Case cases[] = {
        {"", ""},
        {"plain text >", "plain text >"},
        {"\xe8\xf8\x9e", "\xe8\xf8\x9e"}, // bytes above 127 pass as they are
        // control names
        {"<cr><lf>", "\r\n"},
        {"<nul>", "\0"s},
        {"a<nul>b<us>", "a\0b\x1f"s},
        {"<CR>", ""},
        {"<be>", ""},
        {"<>", ""},
        {"x<cr >y", "xy"}, // a space belongs to the name
        {"<a<cr>z", "z"},  // so does "<"
        {"<$41>", ""},     // and "$"
        {"<<", "<"},
        {"<<cr>", "<cr>"},
        {"<<<cr>", "<\r"},
        // hexadecimal bytes
        {"A$41B", "AAB"},
        {"$41", "A"},
        {"$4f", "\x4f"},
        {"$4F$ff", "\x4f\xff"},
        {"$00", "\0"s},
        {"$4", "\x04"},
        {"$$", "$"},
        {"$$41", "$41"},
        {"$$$41", "$A"},
        // decimal bytes
        {"#065", "A"},
        {"#65", "A"},
        {"#6", "\x06"},
        {"# 65", "A"},
        {"#x41", "A"},
        {"#+65", "A"},
        {"#$41", "A"},
        {"#-01", "\xff"},
        {"#300", "\x2c"},
        {"#256", "\0"s},
        {"#000", "\0"s},
        {"##", "#"},
        {"##065", "#065"},
        {"#065#066", "AB"},
    };
    for (const Case &c : cases) {
        try {
            EXPECT_EQ(wildtostr(c.text), c.expected) << c;
        } catch (const KrovanError &error) {
            ADD_FAILURE() << c << " failed: " << error.what();
        }
    }
}

TEST(Wildtostr, KeepsTheRestOfTheLineAfterAnUnclosedAngle) {
    const Case cases[] = {
        {"<", "<"},
        {"abc<", "abc<"},
        {"<cr", "<cr"},
        {"<cr><lf", "\r<lf"},
        {"a<b$41#065<cr", "a<b$41#065<cr"}, // no escapes after the "<"
        {"<$", "<$"},
        {"$41<#", "A<#"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(wildtostr(c.text), c.expected) << c;
}

TEST(Wildtostr, FailsOnMalformedNumberEscapes) {
    const Case cases[] = {
        {"$4 x", invalid("$4 ")},    {"$", invalid("$")},      {"abc$", invalid("$")},
        {"$g1", invalid("$g1")},     {"$-1", invalid("$-1")},  {"$ 41", invalid("$ 4")},
        {"<cr>$4x", invalid("$4x")}, {"#65x", invalid("65x")}, {"#6 x", invalid("6 x")},
        {"#", invalid("")},          {"abc#", invalid("")},    {"#abc", invalid("abc")},
        {"# ", invalid(" ")},        {"#-", invalid("-")},     {"#<cr>", invalid("<cr")},
    };
    for (const Case &c : cases)
        EXPECT_EQ(failuremessage(wildtostr, c.text), c.expected) << c;
}

// ---- hextostr ----

TEST(Hextostr, ConvertsHexadecimalTexts) {
    const Case cases[] = {
        {"", ""},          {"   ", ""},         {"41 42 43", "ABC"},
        {"414243", "ABC"}, {"4 14 243", "ABC"}, {"  4  1  ", "A"},
        {"41424", "AB"}, // the unpaired last digit is dropped
        {"4", ""},         {"00ff", "\0\xff"s}, {"aB Cd", "\xab\xcd"},
        {"0d0a", "\r\n"},
    };
    for (const Case &c : cases) {
        try {
            EXPECT_EQ(hextostr(c.text), c.expected) << c;
        } catch (const KrovanError &error) {
            ADD_FAILURE() << c << " failed: " << error.what();
        }
    }
}

TEST(Hextostr, FailsOnPairsThatAreNotHexadecimal) {
    const Case cases[] = {
        {"4g", invalid("$4g")},    {"0x41", invalid("$0x")},     {"41,42", invalid("$,4")},
        {"4\t1", invalid("$4\t")}, {"-1", invalid("$-1")},       {"41 4 g", invalid("$4g")},
        {"$41", invalid("$$4")},   {"41 42 zz", invalid("$zz")},
    };
    for (const Case &c : cases)
        EXPECT_EQ(failuremessage(hextostr, c.text), c.expected) << c;
}

// Whatever a user types, a conversion gives bytes or the conversion error,
// never anything else; a text of plain characters comes back unchanged.
TEST(Conversions, AnyTypedTextGivesBytesOrTheConversionError) {
    std::mt19937 random(2026);
    const std::string alphabet = "<>$#0123456789abcdefxX +-crlfnulbel\x01\xff";
    for (int round = 0; round < 20000; ++round) {
        std::string text(random() % 12, ' ');
        for (char &c : text)
            c = alphabet[random() % alphabet.size()];
        for (auto convert : {wildtostr, hextostr}) {
            try {
                const std::string bytes = convert(text);
                EXPECT_LE(bytes.size(), text.size()) << text;
            } catch (const KrovanError &e) {
                EXPECT_TRUE(std::string(e.what()).ends_with("' is not a valid integer value"))
                    << text;
            }
        }
    }
    EXPECT_EQ(wildtostr("plain text, 100% ok!"), "plain text, 100% ok!");
}
