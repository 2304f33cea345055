#pragma once

// Series from rules, for binary protocols and for picking: each active rule
// whose expression (the filters' dialect) matches a received block gives one
// point of its series: the bytes of its group read as a text number or as
// an integer or float of a given size and byte order, times the scale, plus
// the offset.

#include "byte_expression.h"

#include <QString>

#include <optional>
#include <string>
#include <vector>

struct ValueRuleSetup {
    bool active = false;
    QString name;
    QString expression;
    int group = 0;
    // "text", or int8 uint8 int16 uint16 int32 uint32 float32 float64
    // with "be" or "le" after the sizes above 8 bits ("int16be").
    QString read = "text";
    QString scale = "1";
    QString offset = "0";
};

class ValueRules {
public:
    // Compiles the rows; a row that cannot be used is skipped and its
    // problem kept ("Pravidlo 2 (t): ...").
    void set(const std::vector<ValueRuleSetup> &rows);
    const std::vector<QString> &problems() const { return problems_; }
    // Each row's own problem, in the rows' order; empty where it is used or
    // is not active.
    const std::vector<QString> &rowproblems() const { return rowproblems_; }

    struct Taken {
        std::string series;
        double value;
    };
    // One point per matching rule, in the rows' order.
    std::vector<Taken> take(std::string_view block) const;

    // The value of a group's bytes as `read` names it; nothing when the
    // bytes do not hold one (too few, no number).
    static std::optional<double> readvalue(std::string_view bytes, const QString &read);
    static bool knownread(const QString &read);

private:
    struct Rule {
        std::string name;
        ByteExpression expression;
        int group = 0;
        QString read;
        double scale = 1, offset = 0;
    };
    std::vector<Rule> rules_;
    std::vector<QString> problems_;
    std::vector<QString> rowproblems_;
};
