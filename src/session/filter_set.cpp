#include "filter_set.h"

#include "bytes_text.h"
#include "codec.h"
#include "errors.h"

#include <cstring>

void FilterSet::set(const std::vector<FilterSetup> &rows) {
    std::vector<Filter> compiled;
    for (size_t i = 0; i < rows.size(); ++i) {
        const FilterSetup &row = rows[i];
        const bool same = i < compiled_.size() && compiled_[i].text == row.filter &&
                          compiled_[i].hex == row.hex && compiled_[i].mode == row.mode;
        compiled.push_back(same ? std::move(compiled_[i]) : compile(row));
        compiled.back().macro = row.macro;
    }
    compiled_ = std::move(compiled);
    active_.clear();
    for (size_t i = 0; i < compiled_.size(); ++i) {
        const Filter &filter = compiled_[i];
        // An expression that cannot be used takes no part in matching.
        if (rows[i].active && (filter.converted || filter.mode != MatchMode::Expression))
            active_.push_back(&filter);
    }
}

FilterSet::Filter FilterSet::compile(const FilterSetup &row) {
    Filter filter;
    filter.text = row.filter;
    filter.hex = row.hex;
    filter.mode = row.mode;
    if (row.mode == MatchMode::Expression) {
        // The typed text becomes bytes the way every typed text does.
        filter.problem = QString::fromStdString(filter.expression.compile(toBytes(row.filter)));
        filter.converted = filter.problem.isEmpty();
        return filter;
    }
    try {
        const std::string text = toBytes(row.filter);
        filter.pattern = row.hex ? hextostr(text) : wildtostr(text);
        filter.converted = true;
    } catch (const std::exception &e) {
        // Raised when a block is compared, as an unconverted text is.
        filter.error = e.what();
        filter.problem = QString::fromUtf8(e.what());
    }
    return filter;
}

bool FilterSet::matches(const Filter &filter, const std::string &block, BlockBytes &bytes) {
    const std::string &pattern = filter.pattern;
    const std::size_t size = pattern.size();
    switch (filter.mode) {
    case MatchMode::Begins:
        return size <= block.size() && std::memcmp(block.data(), pattern.data(), size) == 0;
    case MatchMode::Contains:
        return block.find(pattern) != std::string::npos;
    case MatchMode::Ends:
        return size <= block.size() &&
               std::memcmp(block.data() + block.size() - size, pattern.data(), size) == 0;
    case MatchMode::Equals:
        return block == pattern;
    case MatchMode::Expression:
        break;
    }
    // Made once a block, for the first expression that needs it.
    if (!bytes.made) {
        bytes.made = true;
        bytes.present = bytespresent(block);
    }
    return filter.expression.matches(block, bytes.present);
}

FilterSet::Calls FilterSet::match(const std::string &block,
                                  const std::vector<MacroSetup> &macros) const {
    Calls calls;
    BlockBytes bytes;
    for (const Filter *active : active_) {
        const Filter &filter = *active;
        if (!filter.converted)
            throw KrovanError(filter.error);
        if (!matches(filter, block, bytes))
            continue;
        for (size_t m = 0; m < macros.size(); ++m) {
            if (macros[m].describe != filter.macro)
                continue;
            calls.replyrow = static_cast<int>(m + 1);
            calls.macros << filter.macro;
            // Read now, while the expression's last match is this block's.
            calls.groups = filter.expression.spans();
        }
    }
    return calls;
}

QString FilterSet::problem(int n) const {
    return n >= 1 && n <= static_cast<int>(compiled_.size())
               ? compiled_[static_cast<size_t>(n - 1)].problem
               : QString();
}
