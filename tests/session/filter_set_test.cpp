// The receive filters without any link: which macros a block calls.
#include "errors.h"
#include "filter_set.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

FilterSetup row(const QString &text, const QString &macro, MatchMode mode = MatchMode::Begins,
                bool active = true, bool hex = false) {
    FilterSetup filter;
    filter.filter = text;
    filter.macro = macro;
    filter.mode = mode;
    filter.active = active;
    filter.hex = hex;
    return filter;
}

const std::vector<MacroSetup> macros{{"ack", "<ack>", false, "1000"},
                                     {"nak", "<nak>", false, "1000"},
                                     {"ack", "again", false, "1000"}};

TEST(FilterSet, EachModeAndRowNamesItsMacrosAndTheLastOneAnswers) {
    FilterSet filters;
    filters.set({row("<stx>", "nak"), row("41 42", "ack", MatchMode::Contains, true, true),
                 row("Z", "nak", MatchMode::Ends), row("<stx>AB", "nak", MatchMode::Equals),
                 row("<stx>", "ack", MatchMode::Begins, false), row("x", "nobody")});
    const FilterSet::Calls calls = filters.match("\x02"
                                                 "AB",
                                                 macros);
    // "ack" names two rows: both are called, the last of them answers.
    EXPECT_EQ(calls.macros, (QStringList{"nak", "ack", "ack", "nak"}));
    EXPECT_EQ(calls.replyrow, 2);
    EXPECT_EQ(filters.match("xyZ", macros).macros, QStringList{"nak"});
    EXPECT_EQ(filters.match("x", macros).replyrow, 0) << "a macro nobody describes";
    EXPECT_TRUE(filters.match("", macros).macros.isEmpty());
}

TEST(FilterSet, ATextThatDoesNotConvertFailsWhenABlockReachesIt) {
    FilterSet filters;
    filters.set({row("A", "ack"), row("$g1", "nak"), row("Q(", "ack", MatchMode::Expression)});
    EXPECT_FALSE(filters.problem(2).isEmpty());
    EXPECT_FALSE(filters.problem(3).isEmpty()) << "an expression that does not compile";
    EXPECT_TRUE(filters.problem(1).isEmpty());
    EXPECT_THROW(filters.match("A", macros), KrovanError);
    // Switched off, it takes no part; an unusable expression never does.
    filters.set({row("A", "ack"), row("$g1", "nak", MatchMode::Begins, false),
                 row("Q(", "ack", MatchMode::Expression)});
    EXPECT_EQ(filters.match("Q(", macros).macros, QStringList{});
    EXPECT_EQ(filters.match("A", macros).replyrow, 3);
}

TEST(FilterSet, AnExpressionFindsEitherSpellingOfWhatItFoldsTogether) {
    FilterSet filters;
    filters.set(
        {row("ok|OK", "nak", MatchMode::Expression), row("(?i)abc", "nak", MatchMode::Expression)});
    for (const char *block : {"ok", "xokx", "OK", "xAbC"})
        EXPECT_EQ(filters.match(block, macros).macros, QStringList{"nak"}) << block;
    EXPECT_EQ(filters.match("Ok", macros).macros, QStringList{});
}

TEST(FilterSet, ACatastrophicExpressionGivesUpOnABlockInMilliseconds) {
    // Twenty of them once held a block for most of a second.
    FilterSet filters;
    std::vector<FilterSetup> rows(20, row("(a|a)*[%!]", "nak", MatchMode::Expression));
    filters.set(rows);
    const std::string block = std::string(40, 'a') + "b";
    const auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(filters.match(block, macros).macros, QStringList{});
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(300));
    EXPECT_EQ(filters.match("aaa!", macros).macros.size(), 20) << "a plain match still";
}

} // namespace
