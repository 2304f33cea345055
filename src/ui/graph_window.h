#pragma once

// "Graf": the values the received blocks hold, as a live plot. It takes
// the session's entries as the logs do (each entry's own time), keeps each
// series' points in a ValueStore and, at every redraw, hands the chart only
// the smallest and largest value of each pixel column of the span shown.

#include "dialogs.h"
#include "value_points.h"
#include "value_store.h"

#include <QTimer>
#include <QWidget>

#include <map>
#include <memory>
#include <vector>

class QChart;
class QCheckBox;
class QComboBox;
class QDateTimeAxis;
class QLabel;
class QLineSeries;
class QPushButton;
class QValueAxis;
class GraphRules;
class GraphView;

class TForm_graf : public QWidget {
    Q_OBJECT
public:
    explicit TForm_graf(QWidget *parent = nullptr);
    ~TForm_graf() override;

    // The spans the selector offers, in milliseconds; 0: all of it.
    static constexpr qint64 spans[] = {10'000, 60'000, 600'000, 3'600'000, 0};
    // The time between redraws while new points come or it follows: about
    // 30 a second, so that the plot moves smoothly.
    static constexpr int redrawms = 33;

    GraphView *Chart_graf = nullptr;
    QComboBox *ComboBox_graf_span = nullptr;
    QCheckBox *CheckBox_graf_text = nullptr;
    QPushButton *Button_graf_follow = nullptr;
    QPushButton *Button_graf_clear = nullptr;
    QPushButton *Button_graf_save = nullptr;
    QLabel *Label_graf_cursor = nullptr;
    // The rules' table and its buttons "Nový" and "Smazat".
    GraphRules *Rules_graf = nullptr;
    QPushButton *Button_graf_new = nullptr;
    QPushButton *Button_graf_delete = nullptr;
    FileDialog SaveDialog_graf;

    struct Series {
        QString name;
        ValueStore store;
        QLineSeries *line = nullptr;
    };
    // In the order of their first point.
    const std::vector<std::unique_ptr<Series>> &series() const { return series_; }
    bool following() const { return following_; }
    // Whether it has been shown since it was made.
    bool shownonce() const { return shownonce_; }

    // Shows and uses the rules; the problems of the rows that were skipped.
    std::vector<QString> setrules(const std::vector<ValueRuleSetup> &rules);
    void follow();
    void clear();
    // Saves the points as CSV (time,series,value) or the picture as PNG, by
    // the file's extension; throws KrovanError when it cannot.
    void save(const QString &path) const;
    // Redraws now (the timer does it on its own).
    void redraw();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void take(const ValuePoint &point);
    Series &seriesnamed(const std::string &name);
    // The user zoomed or panned: the plot stays where the user put it.
    void userranged();
    void showcursor(const QPointF &value);
    void savechosen();
    // The user edited the rules: they are used at once and kept in the
    // session's set-up for the settings file.
    void rulesedited();

    QChart *chart_ = nullptr;
    QDateTimeAxis *axisx_ = nullptr;
    QValueAxis *axisy_ = nullptr;
    ValuePoints points_;
    std::vector<std::unique_ptr<Series>> series_;
    std::map<std::string, std::size_t> byname_;
    QTimer timer_;
    bool following_ = true;
    bool shownonce_ = false;
    bool dirty_ = false;
    // Raised while the redraw sets the axes, so that their change is not
    // taken for the user's.
    bool ranging_ = false;
};
