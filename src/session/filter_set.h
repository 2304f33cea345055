#pragma once

// The receive filters, compiled: each row's pattern is converted (or its
// expression compiled) when the row's text, HEX box or mode changes, and a
// received block is asked which macros it calls.

#include "byte_expression.h"
#include "setup.h"

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

class FilterSet {
public:
    // Takes the rows as they now stand; a row whose text, HEX box and mode
    // are unchanged keeps what was compiled for it.
    void set(const std::vector<FilterSetup> &rows);

    // What a block calls: the descriptions of the macros the matching
    // active rows name, in the rows' order (each name once per row), among
    // `macros`; and the row number (from 1) of the last macro found, 0 when
    // none; where that row's expression and its groups matched (npos where
    // none did). Throws the conversion error of the first active row whose
    // text does not convert, as the comparison reaches it.
    struct Calls {
        QStringList macros;
        int replyrow = 0;
        ByteExpression::Spans groups;
    };
    Calls match(const std::string &block, const std::vector<MacroSetup> &macros) const;

    // Why row n (from 1) cannot be used as it stands; empty when it can.
    QString problem(int n) const;

private:
    // A row compiled: the text, HEX box and mode it was made from, and its
    // pattern or expression, or why it cannot be used.
    struct Filter {
        QString text;
        bool hex = false;
        MatchMode mode = MatchMode::Begins;
        QString macro;
        bool converted = false;
        std::string pattern;
        ByteExpression expression;
        // Raised when a block is compared (a text that does not convert).
        std::string error;
        // What the row's field shows.
        QString problem;
    };
    // The bytes a block holds, made once a block for the expressions.
    struct BlockBytes {
        BytesPresent present;
        bool made = false;
    };
    static Filter compile(const FilterSetup &row);
    static bool matches(const Filter &filter, const std::string &block, BlockBytes &bytes);

    // Every row compiled, in the rows' order.
    std::vector<Filter> compiled_;
    // The active rows that take part in matching, in order; inactive ones
    // are never read.
    std::vector<const Filter *> active_;
};
