#include "line_matcher.h"

#include "log_store.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <algorithm>
#include <array>
#include <functional>

namespace {

// Each UTF-16 unit's simple case folding, looked up instead of computed.
const std::array<char16_t, 65536> &foldtable() {
    static const std::array<char16_t, 65536> table = [] {
        std::array<char16_t, 65536> t;
        for (std::size_t c = 0; c < t.size(); ++c)
            t[c] = QChar(static_cast<char16_t>(c)).toCaseFolded().unicode();
        return t;
    }();
    return table;
}

void fold(std::u16string_view text, std::u16string &out) {
    const auto &table = foldtable();
    out.resize(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        out[i] = table[text[i]];
}

} // namespace

struct LineMatcher::Expression {
    pcre2_code *code = nullptr;
    pcre2_match_context *limits = nullptr;
    bool jit = false;
    ~Expression() {
        pcre2_match_context_free(limits);
        pcre2_code_free(code);
    }
};

LineMatcher::LineMatcher(const QString &text, bool regex, bool matchcase) : matchcase_(matchcase) {
    if (text.isEmpty())
        return;
    if (!regex) {
        const std::u16string_view view(reinterpret_cast<const char16_t *>(text.utf16()),
                                       static_cast<std::size_t>(text.size()));
        if (matchcase)
            needle_ = view;
        else
            fold(view, needle_);
        stored_ = std::make_unique<StoredLiteral>(needle_, matchcase);
        return;
    }
    int code = 0;
    PCRE2_SIZE offset = 0;
    const std::uint32_t options =
        PCRE2_DOTALL | PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | (matchcase ? 0u : PCRE2_CASELESS);
    pcre2_code *compiled =
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(text.utf16()),
                      static_cast<PCRE2_SIZE>(text.size()), options, &code, &offset, nullptr);
    if (!compiled) {
        PCRE2_UCHAR message[256];
        pcre2_get_error_message(code, message, 256);
        error_ = QString::fromUtf16(reinterpret_cast<const char16_t *>(message)) +
                 QString(" (at %1)").arg(offset);
        return;
    }
    expression_ = std::make_unique<Expression>();
    expression_->code = compiled;
    expression_->jit = pcre2_jit_compile(compiled, PCRE2_JIT_COMPLETE) == 0;
    expression_->limits = pcre2_match_context_create(nullptr);
    pcre2_set_match_limit(expression_->limits, matchLimit);
    pcre2_set_depth_limit(expression_->limits, matchLimit);
}

LineMatcher::~LineMatcher() = default;

bool LineMatcher::usable() const {
    return expression_ || !needle_.empty();
}

LineMatcher::Scratch::Scratch(const LineMatcher &matcher) {
    if (matcher.expression_)
        data = pcre2_match_data_create_from_pattern(matcher.expression_->code, nullptr);
}

LineMatcher::Scratch::~Scratch() {
    pcre2_match_data_free(static_cast<pcre2_match_data *>(data));
}

LineMatcher::Match LineMatcher::find(std::u16string_view line, qsizetype from,
                                     Scratch &scratch) const {
    if (from > static_cast<qsizetype>(line.size()))
        return Match{};
    if (!expression_)
        return needle_.empty() ? Match{} : findliteral(line, from, scratch);
    auto *data = static_cast<pcre2_match_data *>(scratch.data);
    const auto subject = reinterpret_cast<PCRE2_SPTR>(line.data());
    const Expression &e = *expression_;
    const int found = e.jit ? pcre2_jit_match(e.code, subject, line.size(),
                                              static_cast<PCRE2_SIZE>(from), 0, data, e.limits)
                            : pcre2_match(e.code, subject, line.size(),
                                          static_cast<PCRE2_SIZE>(from), 0, data, e.limits);
    if (found < 0) {
        Match none;
        none.toocomplex = found == PCRE2_ERROR_MATCHLIMIT || found == PCRE2_ERROR_DEPTHLIMIT ||
                          found == PCRE2_ERROR_HEAPLIMIT || found == PCRE2_ERROR_JIT_STACKLIMIT;
        return none;
    }
    const PCRE2_SIZE *ovector = pcre2_get_ovector_pointer(data);
    return Match{static_cast<qsizetype>(ovector[0]),
                 static_cast<qsizetype>(ovector[1] - ovector[0])};
}

LineMatcher::Match LineMatcher::findliteral(std::u16string_view line, qsizetype from,
                                            Scratch &scratch) const {
    std::u16string_view text = line;
    if (!matchcase_) {
        fold(line, scratch.folded);
        text = scratch.folded;
    }
    const auto at = text.find(needle_, static_cast<std::size_t>(from));
    if (at == std::u16string_view::npos)
        return Match{};
    return Match{static_cast<qsizetype>(at), static_cast<qsizetype>(needle_.size())};
}

LineMatcher::Match LineMatcher::findstored(const char *bytes, std::size_t size,
                                           Scratch &scratch) const {
    if (stored_) {
        qsizetype at = 0;
        switch (stored_->find(bytes, size, scratch.spelled, at)) {
        case StoredLiteral::Result::found:
            return Match{at, static_cast<qsizetype>(needle_.size())};
        case StoredLiteral::Result::none:
            return Match{};
        case StoredLiteral::Result::decode:
            break;
        }
    }
    LogStore::decode(bytes, size, scratch.text);
    return find(scratch.text, 0, scratch);
}
