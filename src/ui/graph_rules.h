#pragma once

// The plot's rules as a table to edit, one row per rule: active, name,
// expression, group, reading, scale and offset, with "Nový" and "Smazat".
// A row whose rule cannot be used shows its expression in red with the
// reason as its tooltip, as a filter does.

#include "value_rules.h"

#include <QWidget>

#include <vector>

class QPushButton;
class QTableWidget;

class GraphRules : public QWidget {
    Q_OBJECT
public:
    enum Column { Active, Name, Expression, Group, Read, Scale, Offset, Columns };

    explicit GraphRules(QWidget *parent = nullptr);

    QTableWidget *Grid_graf_rules = nullptr;
    QPushButton *Button_graf_new = nullptr;
    QPushButton *Button_graf_delete = nullptr;

    // Fills the table without announcing an edit.
    void setrows(const std::vector<ValueRuleSetup> &rules);
    std::vector<ValueRuleSetup> rows() const;
    // One text per row, empty where the row is fine.
    void showproblems(const std::vector<QString> &problems);

signals:
    // The user changed, added or deleted a row.
    void edited();

private:
    void addrow(const ValueRuleSetup &rule);
    void deleterow();
    bool filling_ = false;
};
