#define PCRE2_CODE_UNIT_WIDTH 8
#include "byte_expression.h"

#include <pcre2.h>

BytesPresent bytespresent(std::string_view block) {
    BytesPresent present{};
    for (const char byte : block)
        present[static_cast<unsigned char>(byte)] = true;
    return present;
}

struct ByteExpression::Compiled {
    pcre2_code *code = nullptr;
    pcre2_match_data *data = nullptr;
    pcre2_match_context *limits = nullptr;
    bool jit = false;
    // A byte every match begins with, or one every match holds (-1: none).
    int first = -1;
    int required = -1;

    ~Compiled() {
        pcre2_match_context_free(limits);
        pcre2_match_data_free(data);
        pcre2_code_free(code);
    }
};

ByteExpression::ByteExpression() = default;
ByteExpression::~ByteExpression() = default;
ByteExpression::ByteExpression(ByteExpression &&) noexcept = default;
ByteExpression &ByteExpression::operator=(ByteExpression &&) noexcept = default;

std::string ByteExpression::compile(std::string_view pattern) {
    compiled_.reset();
    if (pattern.empty())
        return "An empty expression matches nothing.";
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code *code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                     PCRE2_DOTALL, &error, &offset, nullptr);
    if (code == nullptr) {
        PCRE2_UCHAR message[256];
        pcre2_get_error_message(error, message, sizeof message);
        return reinterpret_cast<const char *>(message) + std::string(" (at ") +
               std::to_string(offset) + ")";
    }
    auto compiled = std::make_unique<Compiled>();
    compiled->code = code;
    compiled->data = pcre2_match_data_create_from_pattern(code, nullptr);
    compiled->jit = pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0;
    compiled->limits = pcre2_match_context_create(nullptr);
    pcre2_set_match_limit(compiled->limits, matchLimit);
    pcre2_set_depth_limit(compiled->limits, matchLimit);
    uint32_t value = 0;
    if (pcre2_pattern_info(code, PCRE2_INFO_FIRSTCODETYPE, &value) == 0 && value == 1 &&
        pcre2_pattern_info(code, PCRE2_INFO_FIRSTCODEUNIT, &value) == 0)
        compiled->first = static_cast<int>(value);
    if (pcre2_pattern_info(code, PCRE2_INFO_LASTCODETYPE, &value) == 0 && value == 1 &&
        pcre2_pattern_info(code, PCRE2_INFO_LASTCODEUNIT, &value) == 0)
        compiled->required = static_cast<int>(value);
    // A caseless byte has two spellings, which the table lookup would miss:
    // an expression that may set options keeps no shortcut.
    if (pattern.find("(?") != std::string_view::npos ||
        pattern.find("(*") != std::string_view::npos)
        compiled->first = compiled->required = -1;
    compiled_ = std::move(compiled);
    return {};
}

bool ByteExpression::valid() const {
    return compiled_ != nullptr;
}

namespace {

// Whether the block may hold the byte PCRE2 names: a letter counts in either
// case, since PCRE2 names one spelling of a byte it may match caselessly
// (it folds "ok|OK" into a first "o" without case).
bool mayhold(const BytesPresent &present, int byte) {
    if (byte < 0 || present[static_cast<unsigned>(byte)])
        return true;
    const bool letter = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z');
    return letter && present[static_cast<unsigned>(byte ^ 0x20)];
}

} // namespace

bool ByteExpression::matches(std::string_view block, const BytesPresent &present) const {
    if (!compiled_)
        return false;
    const Compiled &c = *compiled_;
    if (!mayhold(present, c.first) || !mayhold(present, c.required))
        return false;
    const auto subject = reinterpret_cast<PCRE2_SPTR>(block.data());
    const int found = c.jit ? pcre2_jit_match(c.code, subject, block.size(), 0, 0, c.data, c.limits)
                            : pcre2_match(c.code, subject, block.size(), 0, 0, c.data, c.limits);
    return found >= 0;
}

ByteExpression::Spans ByteExpression::spans() const {
    Spans spans;
    spans.fill({std::string_view::npos, std::string_view::npos});
    if (!compiled_)
        return spans;
    const uint32_t pairs = pcre2_get_ovector_count(compiled_->data);
    const PCRE2_SIZE *ovector = pcre2_get_ovector_pointer(compiled_->data);
    for (uint32_t i = 0; i < pairs && i < spans.size(); ++i)
        if (ovector[2 * i] != PCRE2_UNSET)
            spans[i] = {ovector[2 * i], ovector[2 * i + 1]};
    return spans;
}

int ByteExpression::groups() const {
    uint32_t count = 0;
    if (compiled_)
        pcre2_pattern_info(compiled_->code, PCRE2_INFO_CAPTURECOUNT, &count);
    return static_cast<int>(count);
}
