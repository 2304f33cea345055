#include "graph_window.h"

#include "capture_line.h"
#include "errors.h"
#include "forms.h"
#include "graph_rules.h"
#include "graph_view.h"
#include "guard.h"
#include "log_view.h"
#include "session.h"
#include "tool_window.h"
#include "values_file.h"

#include <QChart>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <charconv>

TForm_graf::TForm_graf(QWidget *parent)
    : QWidget(parent), SaveDialog_graf({"Body (CSV)|*.csv|Obrázek (PNG)|*.png", "csv", QString(),
                                        "graf.csv", false, QString()}) {
    maketoolwindow(this, "Form_graf", "Graf");
    resize(600, 300);
    chart_ = new QChart;
    chart_->legend()->setAlignment(Qt::AlignBottom);
    axisx_ = new QDateTimeAxis;
    axisy_ = new QValueAxis;
    chart_->addAxis(axisx_, Qt::AlignBottom);
    chart_->addAxis(axisy_, Qt::AlignLeft);
    Chart_graf = new GraphView(chart_);
    Chart_graf->setObjectName("Chart_graf");

    ComboBox_graf_span = new QComboBox;
    ComboBox_graf_span->setObjectName("ComboBox_graf_span");
    ComboBox_graf_span->addItems({"10 s", "1 min", "10 min", "1 h", "vše"});
    ComboBox_graf_span->setCurrentIndex(1);
    CheckBox_graf_text = new QCheckBox("Čísla z textu");
    CheckBox_graf_text->setObjectName("CheckBox_graf_text");
    CheckBox_graf_text->setChecked(true);
    Button_graf_follow = new QPushButton("Sledovat");
    Button_graf_follow->setObjectName("Button_graf_follow");
    Button_graf_clear = new QPushButton("Vymazat");
    Button_graf_clear->setObjectName("Button_graf_clear");
    Button_graf_save = new QPushButton("Uložit…");
    Button_graf_save->setObjectName("Button_graf_save");
    Label_graf_cursor = new QLabel;
    Label_graf_cursor->setObjectName("Label_graf_cursor");
    Rules_graf = new GraphRules;
    Button_graf_new = Rules_graf->Button_graf_new;
    Button_graf_delete = Rules_graf->Button_graf_delete;

    auto *bar = new QHBoxLayout;
    for (QWidget *control :
         std::initializer_list<QWidget *>{ComboBox_graf_span, CheckBox_graf_text,
                                          Button_graf_follow, Button_graf_clear, Button_graf_save})
        bar->addWidget(control);
    bar->addWidget(Label_graf_cursor, 1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addLayout(bar);
    auto *split = new QSplitter(Qt::Vertical);
    split->addWidget(Chart_graf);
    split->addWidget(Rules_graf);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    layout->addWidget(split, 1);

    connect(ComboBox_graf_span, &QComboBox::currentIndexChanged, this, [this] { follow(); });
    connect(CheckBox_graf_text, &QCheckBox::toggled, this,
            [this](bool on) { points_.fromtext = on; });
    connect(Button_graf_follow, &QPushButton::clicked, this, [this] { follow(); });
    connect(Button_graf_clear, &QPushButton::clicked, this, [this] { clear(); });
    connect(Button_graf_save, &QPushButton::clicked, this,
            [this] { guarded([this] { savechosen(); }); });
    connect(Chart_graf, &GraphView::userranged, this, [this] { userranged(); });
    connect(Rules_graf, &GraphRules::edited, this, [this] { rulesedited(); });
    connect(Chart_graf, &GraphView::pointed, this, [this](const QPointF &at) { showcursor(at); });

    points_.onpoint = [this](const ValuePoint &point) { take(point); };
    if (Session1)
        Session1->addsink(&points_);
    timer_.setInterval(redrawms);
    // Only new points or a change of the user's move it: the span shown
    // ends at the newest point, not at the clock.
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (isVisible() && dirty_)
            redraw();
    });
    timer_.start();
}

TForm_graf::~TForm_graf() {
    if (Session1)
        Session1->removesink(&points_);
}

void TForm_graf::showEvent(QShowEvent *event) {
    shownonce_ = true;
    QWidget::showEvent(event);
}

void TForm_graf::take(const ValuePoint &point) {
    seriesnamed(point.series).store.append(point.time, static_cast<float>(point.value));
    dirty_ = true;
}

TForm_graf::Series &TForm_graf::seriesnamed(const std::string &name) {
    if (const auto found = byname_.find(name); found != byname_.end())
        return *series_[found->second];
    auto series = std::make_unique<Series>();
    series->name = QString::fromStdString(name);
    series->line = new QLineSeries;
    series->line->setName(series->name);
    chart_->addSeries(series->line);
    series->line->attachAxis(axisx_);
    series->line->attachAxis(axisy_);
    // Its legend entry hides and shows it.
    for (QLegendMarker *marker : chart_->legend()->markers(series->line))
        connect(marker, &QLegendMarker::clicked, this, [this, line = series->line, marker] {
            line->setVisible(!line->isVisible());
            marker->setVisible(true);
            marker->setLabelBrush(line->isVisible() ? QBrush(Qt::black) : QBrush(Qt::gray));
            dirty_ = true;
        });
    byname_.emplace(name, series_.size());
    series_.push_back(std::move(series));
    return *series_.back();
}

void TForm_graf::redraw() {
    dirty_ = false;
    std::optional<std::int64_t> first, last;
    for (const auto &each : series_) {
        if (each->store.size() == 0)
            continue;
        first = std::min(first.value_or(*each->store.first()), *each->store.first());
        last = std::max(last.value_or(*each->store.last()), *each->store.last());
    }
    if (!last)
        return;
    std::int64_t from = axisx_->min().toMSecsSinceEpoch();
    std::int64_t to = axisx_->max().toMSecsSinceEpoch() + 1;
    if (following_) {
        const std::int64_t span = spans[std::clamp(ComboBox_graf_span->currentIndex(), 0, 4)];
        to = *last + 1;
        from = span == 0 ? *first : to - span;
        if (to - from < 1000)
            from = to - 1000;
    }
    const int width = std::max(1, static_cast<int>(chart_->plotArea().width()));
    float low = 0, high = 0;
    bool any = false;
    for (const auto &each : series_) {
        QList<QPointF> shown;
        if (each->line->isVisible()) {
            const std::vector<ValueStore::Column> columns = each->store.columns(from, to, width);
            const double step = static_cast<double>(to - from) / width;
            for (std::size_t c = 0; c < columns.size(); ++c) {
                if (!columns[c].any)
                    continue;
                const double x = static_cast<double>(from) + step * (static_cast<double>(c) + 0.5);
                shown << QPointF(x, columns[c].min);
                if (columns[c].max != columns[c].min)
                    shown << QPointF(x, columns[c].max);
                low = any ? std::min(low, columns[c].min) : columns[c].min;
                high = any ? std::max(high, columns[c].max) : columns[c].max;
                any = true;
            }
        }
        each->line->replace(shown);
    }
    axisx_->setFormat(showmilliseconds ? "HH:mm:ss.zzz" : "HH:mm:ss");
    if (!following_)
        return;
    ranging_ = true;
    axisx_->setRange(QDateTime::fromMSecsSinceEpoch(from), QDateTime::fromMSecsSinceEpoch(to - 1));
    if (any) {
        const float margin = high > low ? (high - low) / 20 : 1;
        axisy_->setRange(low - margin, high + margin);
    }
    ranging_ = false;
}

void TForm_graf::userranged() {
    if (ranging_)
        return;
    following_ = false;
    dirty_ = true;
}

std::vector<QString> TForm_graf::setrules(const std::vector<ValueRuleSetup> &rules) {
    Rules_graf->setrows(rules);
    points_.rules.set(rules);
    Rules_graf->showproblems(points_.rules.rowproblems());
    return points_.rules.problems();
}

void TForm_graf::rulesedited() {
    const std::vector<ValueRuleSetup> rules = Rules_graf->rows();
    points_.rules.set(rules);
    Rules_graf->showproblems(points_.rules.rowproblems());
    if (Session1)
        Session1->setup.graphrules = rules;
}

void TForm_graf::follow() {
    following_ = true;
    chart_->zoomReset();
    redraw();
}

void TForm_graf::clear() {
    for (const auto &each : series_)
        chart_->removeSeries(each->line);
    for (const auto &each : series_)
        delete each->line;
    series_.clear();
    byname_.clear();
    follow();
}

void TForm_graf::showcursor(const QPointF &value) {
    Label_graf_cursor->setText(timetext(static_cast<qint64>(value.x())) + "  " +
                               QString::number(value.y(), 'g', 6));
}

void TForm_graf::savechosen() {
    const QString path = SaveDialog_graf.executeSave();
    if (!path.isEmpty())
        save(path);
}

void TForm_graf::save(const QString &path) const {
    if (QFileInfo(path).suffix().compare("png", Qt::CaseInsensitive) == 0) {
        if (!Chart_graf->grab().save(path, "PNG"))
            throw KrovanError(("Cannot write " + path).toStdString());
        return;
    }
    // Every point, series after series, in the values file's columns.
    std::string text = "time,series,value\n";
    for (const auto &each : series_) {
        const std::string name = csvfield(each->name.toStdString());
        for (std::size_t i = 0; i < each->store.size(); ++i) {
            const ValueStore::Point point = each->store.at(i);
            char number[32];
            const auto [end, error] = std::to_chars(number, number + sizeof number, point.value);
            text += capturetime(point.time) + "," + name + ",";
            text.append(number, error == std::errc() ? end : number);
            text += '\n';
        }
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !file.commit())
        throw KrovanError(("Cannot write " + path + ": " + file.errorString()).toStdString());
}
