#pragma once

#include "log_entry.h"

#include <QColor>
#include <QString>
#include <QWidget>

#include <optional>
#include <string>

class FindBar;
class LogView;
class QCheckBox;
class QComboBox;
class QPushButton;

// What "Přijatá data" and "Odeslaná data" share: a log of the blocks of one
// direction alone, in one of five formats, optionally with a time line
// before each block. It takes the session's records of its direction.
class TDataWindow : public QWidget, public LogSink {
    Q_OBJECT
public:
    struct Names {
        const char *window;
        QString caption;
        const char *view;
        const char *savebutton;
        QColor colour;
        Direction direction;
    };
    explicit TDataWindow(const Names &names, QWidget *parent = nullptr);
    ~TDataWindow() override;

    // A record of the window's direction, whatever "Stavy a data" shows of
    // it; the hex formats get the hex text only while that window's
    // "Šestnáctkově" is checked.
    void write(const LogEntry &entry) override;

    QComboBox *ComboBox_format;
    QCheckBox *CheckBox_time;
    QPushButton *Button1;
    QPushButton *Button_find;
    FindBar *findbar;

    // One block with its printable text and hex text (empty while the hex
    // text is not built), made at `time` (milliseconds since the epoch;
    // none: now).
    void appendblock(const std::string &block, QStringView printable, QStringView hex,
                     std::optional<qint64> time = std::nullopt);

    void Button1Click();
    void Button_saveClick();

protected:
    LogView *view;
    QPushButton *savebutton;

private:
    void appendformatted(const std::string &block);
    const Direction direction_;
};
