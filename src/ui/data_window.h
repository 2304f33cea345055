#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include <string>

class LogView;
class QCheckBox;
class QComboBox;
class QPushButton;

// What "Přijatá data" and "Odeslaná data" share: a log of the blocks of one
// direction alone, in one of five formats, optionally with a time line
// before each block.
class TDataWindow : public QWidget {
    Q_OBJECT
public:
    struct Names {
        const char *window;
        QString caption;
        const char *view;
        const char *savebutton;
        QColor colour;
    };
    explicit TDataWindow(const Names &names, QWidget *parent = nullptr);

    QComboBox *ComboBox_format;
    QCheckBox *CheckBox_time;
    QPushButton *Button1;

    // One block with its printable text and hex text (empty while the hex
    // text is not built).
    void appendblock(const std::string &block, QStringView printable, QStringView hex);

    void Button1Click();
    void Button_saveClick();

protected:
    LogView *view;
    QPushButton *savebutton;

private:
    void appendformatted(const std::string &block);
};
