#pragma once

#include "stored_literal.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// What a find looks for in a log's lines: a literal text or a regular
// expression of the filters' dialect (PCRE2, a dot matching any character),
// with or without regard to case. It is shared by threads; each thread
// matches with a Scratch of its own.
class LineMatcher {
public:
    struct Match {
        qsizetype start = -1; // -1: none
        qsizetype length = 0;
        // No match because the expression hit PCRE2's limits on the line.
        bool toocomplex = false;
        explicit operator bool() const { return start >= 0; }
    };
    // How much backtracking one match may take (a few milliseconds): past
    // it the line counts as not matching.
    static constexpr std::uint32_t matchLimit = 1'000'000;
    // Buffers a thread reuses from line to line.
    class Scratch {
    public:
        explicit Scratch(const LineMatcher &matcher);
        ~Scratch();
        Scratch(const Scratch &) = delete;
        Scratch &operator=(const Scratch &) = delete;

    private:
        friend class LineMatcher;
        std::u16string folded;
        std::u16string text;  // a stored line decoded
        std::string spelled;  // a stored line's characters as bytes
        void *data = nullptr; // the expression's match data
    };

    LineMatcher(const QString &text, bool regex, bool matchcase);
    ~LineMatcher();
    LineMatcher(const LineMatcher &) = delete;
    LineMatcher &operator=(const LineMatcher &) = delete;

    // Whether there is anything to look for: a text, and an expression that
    // compiled.
    bool usable() const;
    // Why the expression does not compile, or empty.
    const QString &error() const { return error_; }

    // The first match that starts at `from` or after.
    Match find(std::u16string_view line, qsizetype from, Scratch &scratch) const;
    // The first match in a line given as the bytes a LogStore keeps: a
    // literal is looked for in the bytes themselves.
    Match findstored(const char *bytes, std::size_t size, Scratch &scratch) const;

private:
    struct Expression;
    Match findliteral(std::u16string_view line, qsizetype from, Scratch &scratch) const;

    std::u16string needle_; // folded when case does not matter
    std::unique_ptr<StoredLiteral> stored_;
    bool matchcase_ = true;
    std::unique_ptr<Expression> expression_;
    QString error_;
};
