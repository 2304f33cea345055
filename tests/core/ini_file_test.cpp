#include "cp1250.h"
#include "errors.h"
#include "ini_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace std::string_literals;

namespace {

std::string readvalue(const std::string &content, const std::string &key) {
    return IniFile::parse(content).readString("s", key, "<default>");
}

int readnumber(const std::string &value, int defaultvalue = -77) {
    return IniFile::parse("[s]\r\nk=" + value + "\r\n").readInteger("s", "k", defaultvalue);
}

} // namespace

// ---- names ----

TEST(IniFileNames, SectionsAndKeysMatchWithoutRegardToCase) {
    IniFile file = IniFile::parse("[Form_Main]\r\nLEFT=5\r\ntop=6\r\n");
    EXPECT_EQ(file.readInteger("form_main", "Left", 0), 5);
    EXPECT_EQ(file.readInteger("FORM_MAIN", "TOP", 0), 6);
    EXPECT_EQ(file.readInteger("Form_main", "width", 500), 500);
    EXPECT_EQ(file.readInteger("Form_mai", "top", -1), -1);
}

TEST(IniFileNames, CzechLettersFoldLikeAsciiOnes) {
    std::string capitals = toCp1250(u"PŘÍLIŠ ŽLUŤOUČKÝ KŮŇ ÚPĚL ĎÁBELSKÉ ÓDY ŁĄŚŹŻĽŔĹĆĘŃŐŰŢŞ");
    std::string smalls = toCp1250(u"příliš žluťoučký kůň úpěl ďábelské ódy łąśźżľŕĺćęńőűţş");
    EXPECT_EQ(foldcase(capitals), smalls);
    EXPECT_EQ(foldcase(smalls), smalls);
    EXPECT_EQ(foldcase(toCp1250(u"×ß÷0-9_[]")), toCp1250(u"×ß÷0-9_[]"));

    IniFile file = IniFile::parse(toCp1250(u"[Přijímač]\r\nŠÍŘKA=12\r\n"));
    EXPECT_EQ(file.readInteger(toCp1250(u"PŘIJÍMAČ"), toCp1250(u"šířka"), 0), 12);
}

TEST(IniFileNames, FirstSectionAndFirstKeyCountForReadsAndWrites) {
    const std::string content = "[a]\r\nk=1\r\nk=2\r\n[A]\r\nk=3\r\nonly=4\r\n";
    IniFile file = IniFile::parse(content);
    EXPECT_EQ(file.readInteger("a", "k", 0), 1);
    EXPECT_EQ(file.readInteger("a", "only", 0), 0) << "keys of a repeated section are not seen";

    file.writeInteger("a", "k", 9);
    EXPECT_EQ(file.text(), "[a]\r\nk=9\r\nk=2\r\n[A]\r\nk=3\r\nonly=4\r\n");
    file.writeInteger("a", "only", 5);
    EXPECT_EQ(file.text(), "[a]\r\nk=9\r\nk=2\r\nonly=5\r\n[A]\r\nk=3\r\nonly=4\r\n");
}

TEST(IniFileNames, BlanksAroundNamesAreNotPartOfThem) {
    IniFile file = IniFile::parse("[ main ]\r\n\tport = 7 \r\n");
    EXPECT_EQ(file.readInteger("main", "port", 0), 7);
}

TEST(IniFileNames, KeysOutsideSectionsAndCommentsAreNotKeys) {
    IniFile file = IniFile::parse("k=1\r\n[s]\r\n;k=2\r\n  ; j=3\r\n");
    EXPECT_EQ(file.readString("", "k", "none"), "none");
    EXPECT_EQ(file.readString("s", "k", "none"), "none");
    EXPECT_EQ(file.readString("s", "j", "none"), "none");
    EXPECT_EQ(file.readString("s", ";k", "none"), "none");
}

// ---- text values ----

TEST(IniFileText, ValueIsTheTrimmedRestOfTheLineWithoutEnclosingQuotes) {
    struct Case {
        std::string line;
        std::string value;
    };
    const Case cases[] = {
        {"k=abc", "abc"},
        {"k= \t abc def \t ", "abc def"},
        {"k=a=b=c", "a=b=c"},
        {"k=", ""},
        {"k=   ", ""},
        {"k=\"quoted\"", "quoted"},
        {"k='single'", "single"},
        {"k=  \" blanks inside \"  ", " blanks inside "},
        {"k=\"\"", ""},
        {"k=''", ""},
        {"k=\"a\"b\"", "a\"b"},
        {"k=\"\"\"", "\""},
        {"k=\"mixed'", "\"mixed'"},
        {"k='mixed\"", "'mixed\""},
        {"k=\"open", "\"open"},
        {"k=close\"", "close\""},
        {"k=\"", "\""},
        {"k='", "'"},
        {"k=<cr><lf>$0D#13", "<cr><lf>$0D#13"},
        {"k=a\0b"s, "a\0b"s},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(readvalue("[s]\r\n" + c.line + "\r\n", "k"), c.value) << c.line;
        EXPECT_EQ(readvalue("[s]\n" + c.line + "\n", "k"), c.value) << c.line << " (LF)";
        EXPECT_EQ(readvalue("[s]\n" + c.line, "k"), c.value) << c.line << " (no final line end)";
    }
}

TEST(IniFileText, MissingKeyOrSectionGivesTheDefaultButAnEmptyValueDoesNot) {
    EXPECT_EQ(readvalue("[s]\r\nk=\r\n", "k"), "");
    EXPECT_EQ(readvalue("[s]\r\nk=\r\n", "other"), "<default>");
    EXPECT_EQ(readvalue("[t]\r\nk=1\r\n", "k"), "<default>");
    EXPECT_EQ(readvalue("", "k"), "<default>");
}

TEST(IniFileText, LongValuesReadWhole) {
    std::string longer = std::string(40000, 'y') + "tail";
    EXPECT_EQ(readvalue("[s]\r\nk=" + longer + "\r\n", "k"), longer);
    EXPECT_EQ(readvalue("[s]\r\nk=\"" + longer + "\"\r\n", "k"), longer);
    EXPECT_EQ(readvalue("[s]\r\nk=  " + longer + "  \r\n", "k"), longer);
}

// ---- integers and booleans ----

TEST(IniFileNumbers, DecimalAndHexadecimalTexts) {
    struct Case {
        std::string text;
        int value;
    };
    const Case cases[] = {
        {"0", 0},
        {"42", 42},
        {"+42", 42},
        {"-42", -42},
        {"007", 7},
        {"  19\t", 19},
        {"\"23\"", 23},
        {"0x10", 16},
        {"0X1f", 31},
        {"$FF", 255},
        {"$ff", 255},
        {"0x7FFFFFFF", INT_MAX},
        {"0xFFFFFFFF", -1},
        {"$80000000", INT_MIN},
        {"0x000000000010", 16},
        {"2000000000", 2000000000},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
    };
    for (const Case &c : cases)
        EXPECT_EQ(readnumber(c.text), c.value) << c.text;
}

TEST(IniFileNumbers, InvalidEmptyAndOutOfRangeGiveTheDefault) {
    const std::string invalid[] = {
        "",
        "abc",
        "12abc",
        "1 2",
        "-",
        "+",
        "- 5",
        "--5",
        "+-5",
        "1e3",
        "1.5",
        "0x",
        "0X",
        "$",
        "0xG",
        "$-1",
        "-0x10",
        "x10",
        "2147483648",
        "-2147483649",
        "0x100000000",
        "99999999999999999999999999999",
        "$FFFFFFFFFFFFFFFFFFFFFFFF",
        "'5\"",
    };
    for (const std::string &text : invalid) {
        EXPECT_EQ(readnumber(text, -77), -77) << text;
        EXPECT_EQ(readnumber(text, 3), 3) << text;
    }
    EXPECT_EQ(IniFile::parse("[s]\r\n").readInteger("s", "k", 12), 12);
}

TEST(IniFileNumbers, BooleansAreIntegersAndNonZeroIsTrue) {
    IniFile file = IniFile::parse("[s]\r\none=1\r\nzero=0\r\ntwo=2\r\nminus=-1\r\nhexzero=0x0\r\n"
                                  "word=yes\r\nempty=\r\n");
    EXPECT_TRUE(file.readBool("s", "one", false));
    EXPECT_FALSE(file.readBool("s", "zero", true));
    EXPECT_TRUE(file.readBool("s", "two", false));
    EXPECT_TRUE(file.readBool("s", "minus", false));
    EXPECT_FALSE(file.readBool("s", "hexzero", true));
    for (bool defaultvalue : {false, true}) {
        EXPECT_EQ(file.readBool("s", "word", defaultvalue), defaultvalue);
        EXPECT_EQ(file.readBool("s", "empty", defaultvalue), defaultvalue);
        EXPECT_EQ(file.readBool("s", "missing", defaultvalue), defaultvalue);
    }
}

// ---- writing ----

TEST(IniFileWrite, UpdateInPlaceKeepsEveryOtherLineByteForByte) {
    const std::string before = "; settings\r\n"
                               "orphan=1\r\n"
                               "\r\n"
                               "[Foreign]\r\n"
                               "Left=99\r\n"
                               "[Form_main]\r\n"
                               "  LEFT = 5 \r\n"
                               "no equals sign here\n"
                               "[broken section\r\n"
                               "\tweird =  spacing\t\r\n"
                               "bytes=\x01\xff\x9a\xe8\0end\r\n"s
                               "top=6\r\n"
                               "\r\n"
                               "; trailing comment\r\n"
                               "[Other]\r\n"
                               "top=1";
    IniFile file = IniFile::parse(before);
    file.writeInteger("form_main", "Left", 7);
    file.writeString("FORM_MAIN", "weird", "x");
    file.writeString("Other", "TOP", "2");
    std::string expected = before;
    expected.replace(expected.find("  LEFT = 5 "), 11, "Left=7");
    expected.replace(expected.find("\tweird =  spacing\t"), 18, "weird=x");
    expected.replace(expected.rfind("top=1"), 5, "TOP=2");
    EXPECT_EQ(file.text(), expected);
    EXPECT_EQ(file.readInteger("Foreign", "left", 0), 99);
}

TEST(IniFileWrite, NewKeyFollowsTheLastKeyOfItsSection) {
    IniFile file = IniFile::parse("[a]\r\nx=1\r\n; about b\r\n\r\n[b]\r\n\r\n[c]\r\nz=1\r\n");
    file.writeString("a", "y", "2");
    file.writeString("a", "w", "3");
    file.writeString("b", "v", "4");
    file.writeString("c", "u", "5");
    EXPECT_EQ(file.text(), "[a]\r\nx=1\r\ny=2\r\nw=3\r\n; about b\r\n\r\n"
                           "[b]\r\nv=4\r\n\r\n[c]\r\nz=1\r\nu=5\r\n");
    EXPECT_EQ(file.readInteger("a", "W", 0), 3);
    file.writeString("a", "Y", "20");
    EXPECT_EQ(file.readInteger("a", "y", 0), 20);
    EXPECT_EQ(file.text(), "[a]\r\nx=1\r\nY=20\r\nw=3\r\n; about b\r\n\r\n"
                           "[b]\r\nv=4\r\n\r\n[c]\r\nz=1\r\nu=5\r\n");
}

TEST(IniFileWrite, FileWrittenFromNothingHasTheWriteOrderAndCrlf) {
    IniFile file;
    file.writeInteger("Form_main", "Left", -3);
    file.writeString("Form_RXW", "Left", "500");
    file.writeInteger("Form_main", "top", 0);
    file.writeBool("Form_RXW", "visible", true);
    file.writeBool("Form_RXW", "show_time", false);
    file.writeString("Frame_TX_1", "data", "<cr>");
    EXPECT_EQ(file.text(), "[Form_main]\r\nLeft=-3\r\ntop=0\r\n"
                           "[Form_RXW]\r\nLeft=500\r\nvisible=1\r\nshow_time=0\r\n"
                           "[Frame_TX_1]\r\ndata=<cr>\r\n");
}

TEST(IniFileWrite, AddedLinesTakeTheLineEndOfTheFirstLine) {
    IniFile lf = IniFile::parse("[a]\nx=1\n");
    lf.writeString("a", "y", "2");
    lf.writeString("b", "z", "3");
    EXPECT_EQ(lf.text(), "[a]\nx=1\ny=2\n[b]\nz=3\n");

    IniFile mixed = IniFile::parse("[a]\r\nx=1\ny=1\r\n");
    mixed.writeString("a", "x", "2");
    mixed.writeString("a", "w", "3");
    EXPECT_EQ(mixed.text(), "[a]\r\nx=2\ny=1\r\nw=3\r\n");

    IniFile lfFirst = IniFile::parse("; c\n[a]\r\nx=1\r\n");
    lfFirst.writeString("a", "y", "2");
    EXPECT_EQ(lfFirst.text(), "; c\n[a]\r\nx=1\r\ny=2\n");

    IniFile noLineEnd = IniFile::parse("[a]");
    noLineEnd.writeString("a", "x", "1");
    EXPECT_EQ(noLineEnd.text(), "[a]\r\nx=1\r\n");
}

TEST(IniFileWrite, FileWithoutFinalLineEndStaysWellFormed) {
    IniFile update = IniFile::parse("[a]\nx=1");
    update.writeString("a", "x", "2");
    EXPECT_EQ(update.text(), "[a]\nx=2");

    IniFile newkey = IniFile::parse("[a]\nx=1");
    newkey.writeString("a", "y", "2");
    EXPECT_EQ(newkey.text(), "[a]\nx=1\ny=2\n");

    IniFile newsection = IniFile::parse("[a]\nx=1");
    newsection.writeString("b", "y", "2");
    EXPECT_EQ(newsection.text(), "[a]\nx=1\n[b]\ny=2\n");

    IniFile comment = IniFile::parse("[a]\nx=1\n; end");
    comment.writeString("a", "y", "2");
    EXPECT_EQ(comment.text(), "[a]\nx=1\ny=2\n; end");
}

TEST(IniFileWrite, WrittenValuesReadBackUnchanged) {
    const std::string values[] = {
        "",      "plain",         toCp1250(u"Přijímací filtr č. 1"), "<cr><lf>$0D#013<<$$##",
        "a=b",   "\x01\x7f\xff"s, "text with inner  blanks",         "\"half",
        "x\0y"s,
    };
    IniFile file;
    int n = 0;
    for (const std::string &value : values)
        file.writeString("Frame_TX_" + std::to_string(++n), "data", value);
    IniFile again = IniFile::parse(file.text());
    n = 0;
    for (const std::string &value : values)
        EXPECT_EQ(again.readString("frame_tx_" + std::to_string(++n), "DATA", "?"), value) << n;
}

TEST(IniFileWrite, LineBreaksInWrittenTextsCannotSplitTheLine) {
    IniFile file;
    file.writeString("s", "k", "one\r\n[evil]\nk=2");
    file.writeString("s", "j", "x");
    IniFile again = IniFile::parse(file.text());
    EXPECT_EQ(again.readString("s", "k", "?"), "one  [evil] k=2");
    EXPECT_EQ(again.readString("s", "j", "?"), "x");
    EXPECT_EQ(again.readString("evil", "k", "?"), "?");
}

// ---- hostile content ----

TEST(IniFileHostile, AnyBytesParseAndReadWithoutHarm) {
    std::string bytes;
    for (int round = 0; round < 4; ++round) {
        for (int b = 0; b < 256; ++b)
            bytes.push_back(static_cast<char>((b * 37 + round * 11) % 256));
    }
    const std::string contents[] = {
        "",    "\r\n\r\n\n",      "\r", "=",        "[",       "]",
        "[]",  "[]\r\n=\r\n",     "[s", "[s]\r\n[", "\0\0\0"s, "[s\0]\r\nk\0=v\0w\r\n"s,
        bytes, "[s]\r\n" + bytes,
    };
    for (const std::string &content : contents) {
        IniFile file = IniFile::parse(content);
        EXPECT_EQ(file.text(), content);
        file.readString("s", "k", "");
        file.readInteger("s", "k", 0);
        file.writeInteger("s", "k", 1);
        file.writeInteger("t", "k", 2);
        IniFile again = IniFile::parse(file.text());
        EXPECT_EQ(again.readInteger("s", "k", 0), 1);
        EXPECT_EQ(again.readInteger("t", "k", 0), 2);
    }
    IniFile nul = IniFile::parse("[s\0]\r\nk\0=v\0w\r\n"s);
    EXPECT_EQ(nul.readString("s\0"s, "k\0"s, ""), "v\0w"s);
}

TEST(IniFileHostile, TenMegabyteLinesAreHandled) {
    const std::string huge(10 * 1024 * 1024, '7');
    IniFile value = IniFile::parse("[s]\r\nk=" + huge + "\r\nnext=1\r\n");
    EXPECT_EQ(value.readString("s", "k", "").size(), huge.size());
    EXPECT_EQ(value.readInteger("s", "k", -1), -1);
    EXPECT_EQ(value.readInteger("s", "next", 0), 1);

    IniFile noEquals = IniFile::parse("[s]\r\n" + huge + "\r\nk=2");
    EXPECT_EQ(noEquals.readInteger("s", "k", 0), 2);
    noEquals.writeInteger("s", "k", 3);
    EXPECT_EQ(noEquals.text().size(), 5 + huge.size() + 2 + 3);

    IniFile header = IniFile::parse("[" + huge + "]\r\nk=4\r\n");
    EXPECT_EQ(header.readInteger(huge, "k", 0), 4);
}

TEST(IniFileHostile, TwentyThousandSectionsLoadAndAnswerQuickly) {
    std::string content;
    for (int n = 1; n <= 20000; ++n)
        content += "[Frame_TX_" + std::to_string(n) + "]\r\ndata=" + std::to_string(n) + "\r\n";
    IniFile file = IniFile::parse(content);
    for (int n = 1; n <= 20000; ++n)
        ASSERT_EQ(file.readInteger("frame_tx_" + std::to_string(n), "data", 0), n);
    for (int n = 1; n <= 20000; ++n) {
        file.writeInteger("Frame_TX_" + std::to_string(n), "interval", n);
        file.writeInteger("Frame_filtr_" + std::to_string(n), "active", 1);
    }
    IniFile again = IniFile::parse(file.text());
    EXPECT_EQ(again.readInteger("Frame_TX_20000", "interval", 0), 20000);
    EXPECT_EQ(again.readInteger("Frame_filtr_20000", "active", 0), 1);
}

TEST(IniFileHostile, ManyNewKeysInOneSectionStayInOrder) {
    std::string trailing;
    for (int n = 0; n < 2000; ++n)
        trailing += "\r\n";
    IniFile file = IniFile::parse("[s]\r\n" + trailing + "[t]\r\n");
    for (int n = 0; n < 5000; ++n)
        file.writeInteger("s", "k" + std::to_string(n), n);
    std::string expected = "[s]\r\n";
    for (int n = 0; n < 5000; ++n)
        expected += "k" + std::to_string(n) + "=" + std::to_string(n) + "\r\n";
    EXPECT_EQ(file.text(), expected + trailing + "[t]\r\n");
}

// ---- file ----

class IniFileDisk : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "inifileXXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string filecontent(const std::filesystem::path &path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::filesystem::path dir;
};

TEST_F(IniFileDisk, MissingFileIsEmptyAndTheFirstSaveCreatesIt) {
    std::string path = (dir / "default.ini").string();
    IniFile file = IniFile::load(path);
    EXPECT_EQ(file.text(), "");
    EXPECT_EQ(file.readInteger("Form_main", "width", 500), 500);
    file.writeInteger("Form_main", "width", 640);
    file.save(path);
    EXPECT_EQ(filecontent(path), "[Form_main]\r\nwidth=640\r\n");
    EXPECT_EQ(IniFile::load(path).readInteger("form_main", "WIDTH", 0), 640);
}

TEST_F(IniFileDisk, UnchangedFileIsSavedByteForByte) {
    std::string path = (dir / "a.ini").string();
    const std::string content = "\xef\xbb\xbf; odd\n[s]\r\nk = v\n\0\xff"s;
    std::ofstream(path, std::ios::binary) << content;
    IniFile::load(path).save(path);
    EXPECT_EQ(filecontent(path), content);
}

TEST_F(IniFileDisk, FailedSaveThrowsTheMessageAndKeepsTheOldFile) {
    std::string inside = (dir / "missing" / "x.ini").string();
    IniFile file;
    file.writeInteger("s", "k", 1);
    try {
        file.save(inside);
        FAIL() << "no failure";
    } catch (const KrovanError &error) {
        EXPECT_STREQ(error.what(), ("Unable to write to " + inside).c_str());
    }

    std::filesystem::create_directory(dir / "taken.ini");
    std::string directory = (dir / "taken.ini").string();
    EXPECT_THROW(file.save(directory), KrovanError);
    EXPECT_TRUE(std::filesystem::is_directory(directory));
}
