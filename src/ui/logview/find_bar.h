#pragma once

#include "line_matcher.h"

#include <QWidget>

#include <cstdint>
#include <memory>

class LogView;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The bar under a log that finds text in it: the text or expression, its
// options, the previous and next match, and the count of lines that match.
// Enter finds the next match, Shift+Enter the previous one, Esc closes the
// bar. The search runs on threads of its own (see LogSearch).
class FindBar : public QWidget {
    Q_OBJECT
public:
    explicit FindBar(LogView *view, QWidget *parent = nullptr);

    // Opens the bar from the button and from Ctrl+F anywhere in the window.
    void openwith(QPushButton *button, QWidget *window);
    // Shows the bar with its text selected, ready to type.
    void open();
    // Hides it; the search stops.
    void close();
    void findnext();
    void findprevious();

    QLineEdit *Edit_find;
    QCheckBox *CheckBox_find_regex;
    QCheckBox *CheckBox_find_case;
    QPushButton *Button_find_prev;
    QPushButton *Button_find_next;
    QLabel *Label_find_count;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void restart();
    void showcount();
    // The first match in line n from column `from`, and the last one that
    // starts before column `before`.
    LineMatcher::Match firstin(std::int64_t n, qsizetype from);
    LineMatcher::Match lastin(std::int64_t n, qsizetype before);
    void select(std::int64_t n, const LineMatcher::Match &match);

    LogView *view_;
    std::shared_ptr<const LineMatcher> matcher_;
    std::unique_ptr<LineMatcher::Scratch> scratch_;
    // The match selected last: an empty one is not found again in place.
    std::int64_t lastline_ = -1;
    LineMatcher::Match last_;
};
