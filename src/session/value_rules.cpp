#include "value_rules.h"

#include "bytes_text.h"
#include "value_text.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace {

// The width in bytes and whether signed or a float, of a binary reading.
struct Layout {
    const char *name;
    int size;
    bool issigned;
    bool isfloat;
};
constexpr Layout layouts[] = {{"int8", 1, true, false},    {"uint8", 1, false, false},
                              {"int16", 2, true, false},   {"uint16", 2, false, false},
                              {"int32", 4, true, false},   {"uint32", 4, false, false},
                              {"float32", 4, false, true}, {"float64", 8, false, true}};

const Layout *layoutof(const QString &read, bool &bigendian) {
    for (const Layout &layout : layouts) {
        const QString name = QString::fromLatin1(layout.name);
        if (layout.size == 1 && read == name) {
            bigendian = true;
            return &layout;
        }
        if (layout.size > 1 && (read == name + "be" || read == name + "le")) {
            bigendian = read.endsWith("be");
            return &layout;
        }
    }
    return nullptr;
}

std::optional<double> number(const QString &text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

bool ValueRules::knownread(const QString &read) {
    bool bigendian = false;
    return read == "text" || layoutof(read, bigendian);
}

std::optional<double> ValueRules::readvalue(std::string_view bytes, const QString &read) {
    if (read == "text") {
        const std::vector<NamedValue> values = valuesintext(bytes);
        if (values.empty())
            return std::nullopt;
        return values.front().value;
    }
    bool bigendian = false;
    const Layout *layout = layoutof(read, bigendian);
    if (!layout || bytes.size() < static_cast<std::size_t>(layout->size))
        return std::nullopt;
    std::uint64_t raw = 0;
    for (int i = 0; i < layout->size; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
        raw |= std::uint64_t{byte} << (8 * (bigendian ? layout->size - 1 - i : i));
    }
    if (layout->isfloat) {
        if (layout->size == 4)
            return std::bit_cast<float>(static_cast<std::uint32_t>(raw));
        return std::bit_cast<double>(raw);
    }
    if (!layout->issigned)
        return static_cast<double>(raw);
    const int bits = 8 * layout->size;
    const std::int64_t value = static_cast<std::int64_t>(raw << (64 - bits)) >> (64 - bits);
    return static_cast<double>(value);
}

void ValueRules::set(const std::vector<ValueRuleSetup> &rows) {
    rules_.clear();
    problems_.clear();
    rowproblems_.assign(rows.size(), QString());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ValueRuleSetup &row = rows[i];
        if (!row.active)
            continue;
        Rule rule;
        rule.name = row.name.toStdString();
        QString problem;
        const std::optional<double> scale = number(row.scale), offset = number(row.offset);
        if (rule.name.empty())
            problem = "nemá jméno";
        else if (const std::string why = rule.expression.compile(toBytes(row.expression));
                 !why.empty())
            problem = QString::fromStdString(why);
        else if (row.group < 0 || row.group > std::min(9, rule.expression.groups()))
            problem = QString("nemá skupinu %1").arg(row.group);
        else if (!knownread(row.read))
            problem = "neznámé čtení '" + row.read + "'";
        else if (!scale || !offset)
            problem = "měřítko a posun musí být čísla";
        if (!problem.isEmpty()) {
            problems_.push_back(QString("Pravidlo %1 (%2): %3").arg(i + 1).arg(row.name, problem));
            rowproblems_[i] = problem;
            continue;
        }
        rule.group = row.group;
        rule.read = row.read;
        rule.scale = *scale;
        rule.offset = *offset;
        rules_.push_back(std::move(rule));
    }
}

std::vector<ValueRules::Taken> ValueRules::take(std::string_view block) const {
    std::vector<Taken> taken;
    if (rules_.empty())
        return taken;
    const BytesPresent present = bytespresent(block);
    for (const Rule &rule : rules_) {
        if (!rule.expression.matches(block, present))
            continue;
        const auto [from, to] = rule.expression.spans()[static_cast<std::size_t>(rule.group)];
        if (from == std::string_view::npos || to < from || to > block.size())
            continue;
        if (const std::optional<double> value = readvalue(block.substr(from, to - from), rule.read))
            taken.push_back({rule.name, *value * rule.scale + rule.offset});
    }
    return taken;
}
