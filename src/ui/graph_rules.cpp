#include "graph_rules.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QStringList reads = {"text",     "int8",      "uint8",     "int16be",   "int16le",
                           "uint16be", "uint16le",  "int32be",   "int32le",   "uint32be",
                           "uint32le", "float32be", "float32le", "float64be", "float64le"};

QTableWidgetItem *textitem(const QString &text) {
    return new QTableWidgetItem(text);
}

} // namespace

GraphRules::GraphRules(QWidget *parent) : QWidget(parent) {
    Grid_graf_rules = new QTableWidget(0, Columns);
    Grid_graf_rules->setObjectName("Grid_graf_rules");
    Grid_graf_rules->setHorizontalHeaderLabels(
        {"Aktivní", "Jméno", "Výraz", "Skupina", "Čtení", "Měřítko", "Posun"});
    Grid_graf_rules->horizontalHeader()->setSectionResizeMode(Expression, QHeaderView::Stretch);
    Grid_graf_rules->verticalHeader()->setDefaultSectionSize(22);
    Grid_graf_rules->setSelectionBehavior(QAbstractItemView::SelectRows);
    Grid_graf_rules->setSelectionMode(QAbstractItemView::SingleSelection);
    Button_graf_new = new QPushButton("Nový");
    Button_graf_new->setObjectName("Button_graf_new");
    Button_graf_delete = new QPushButton("Smazat");
    Button_graf_delete->setObjectName("Button_graf_delete");

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(Button_graf_new);
    buttons->addWidget(Button_graf_delete);
    buttons->addStretch(1);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Grid_graf_rules, 1);
    layout->addLayout(buttons);

    connect(Button_graf_new, &QPushButton::clicked, this, [this] {
        ValueRuleSetup rule;
        rule.active = true;
        addrow(rule);
        Grid_graf_rules->setCurrentCell(Grid_graf_rules->rowCount() - 1, Name);
        emit edited();
    });
    connect(Button_graf_delete, &QPushButton::clicked, this, [this] { deleterow(); });
    connect(Grid_graf_rules, &QTableWidget::itemChanged, this, [this] {
        if (!filling_)
            emit edited();
    });
}

void GraphRules::addrow(const ValueRuleSetup &rule) {
    const bool filling = std::exchange(filling_, true);
    const int row = Grid_graf_rules->rowCount();
    Grid_graf_rules->insertRow(row);
    auto *active = new QTableWidgetItem;
    active->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    active->setCheckState(rule.active ? Qt::Checked : Qt::Unchecked);
    Grid_graf_rules->setItem(row, Active, active);
    Grid_graf_rules->setItem(row, Name, textitem(rule.name));
    Grid_graf_rules->setItem(row, Expression, textitem(rule.expression));
    Grid_graf_rules->setItem(row, Scale, textitem(rule.scale));
    Grid_graf_rules->setItem(row, Offset, textitem(rule.offset));

    auto *group = new QSpinBox;
    group->setRange(0, 9);
    group->setValue(std::clamp(rule.group, 0, 9));
    Grid_graf_rules->setCellWidget(row, Group, group);
    auto *read = new QComboBox;
    read->addItems(reads);
    // A reading the list does not know stays as the file has it, and is
    // named as the row's problem.
    if (!reads.contains(rule.read))
        read->addItem(rule.read);
    read->setCurrentText(rule.read);
    Grid_graf_rules->setCellWidget(row, Read, read);
    connect(group, &QSpinBox::valueChanged, this, [this] { emit edited(); });
    connect(read, &QComboBox::currentIndexChanged, this, [this] { emit edited(); });
    filling_ = filling;
}

void GraphRules::deleterow() {
    const int row = Grid_graf_rules->currentRow();
    if (row < 0)
        return;
    Grid_graf_rules->removeRow(row);
    emit edited();
}

void GraphRules::setrows(const std::vector<ValueRuleSetup> &rules) {
    const QSignalBlocker quiet(this);
    Grid_graf_rules->setRowCount(0);
    for (const ValueRuleSetup &rule : rules)
        addrow(rule);
}

std::vector<ValueRuleSetup> GraphRules::rows() const {
    std::vector<ValueRuleSetup> rules;
    const auto text = [this](int row, int column) {
        const QTableWidgetItem *item = Grid_graf_rules->item(row, column);
        return item ? item->text() : QString();
    };
    for (int row = 0; row < Grid_graf_rules->rowCount(); ++row) {
        ValueRuleSetup rule;
        const QTableWidgetItem *active = Grid_graf_rules->item(row, Active);
        rule.active = active && active->checkState() == Qt::Checked;
        rule.name = text(row, Name);
        rule.expression = text(row, Expression);
        rule.scale = text(row, Scale);
        rule.offset = text(row, Offset);
        if (const auto *group = qobject_cast<QSpinBox *>(Grid_graf_rules->cellWidget(row, Group)))
            rule.group = group->value();
        if (const auto *read = qobject_cast<QComboBox *>(Grid_graf_rules->cellWidget(row, Read)))
            rule.read = read->currentText();
        rules.push_back(rule);
    }
    return rules;
}

void GraphRules::showproblems(const std::vector<QString> &problems) {
    const bool filling = std::exchange(filling_, true);
    for (int row = 0; row < Grid_graf_rules->rowCount(); ++row) {
        QTableWidgetItem *item = Grid_graf_rules->item(row, Expression);
        if (!item)
            continue;
        const QString problem =
            static_cast<std::size_t>(row) < problems.size() ? problems[row] : QString();
        item->setForeground(problem.isEmpty() ? palette().color(QPalette::Text)
                                              : QColor(255, 0, 0));
        item->setToolTip(problem);
    }
    filling_ = filling;
}
