#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>

#include "log_entry.h"
#include "log_view.h"
#include "text_memo.h"

#include <string>
#include <vector>

class FindBar;
class LogView;
struct RecordTexts;
class QCheckBox;
class QLabel;
class QPushButton;

// "Stavy a data": the combined log of state lines, error lines and the data
// records of both directions, with the check boxes that choose what is
// written. It renders the session's entries.
class TForm_RX_TX : public QWidget, public LogSink {
    Q_OBJECT
public:
    explicit TForm_RX_TX(QWidget *parent = nullptr);
    ~TForm_RX_TX() override;

    // One entry of the session, as the check boxes choose to show it.
    void write(const LogEntry &entry) override;

    LogView *RichEdit_mix;
    QLabel *Label1;
    QLabel *Label_lines;
    QPushButton *Button1;
    QPushButton *Button_save;
    QPushButton *Button_find;
    FindBar *findbar;
    QCheckBox *CheckBox_rx;
    QCheckBox *CheckBox_tx;
    QCheckBox *CheckBox_makro;
    QCheckBox *CheckBox_stavy;
    QCheckBox *CheckBox_time;
    QCheckBox *CheckBox_adr;
    QCheckBox *CheckBox_hex;

    // A state line, written only while "Stavy" is checked.
    void addstate(const QString &text);
    // One data record: the header, data and hex lines, while the
    // direction's box is checked. The address and macro-call parts come
    // formed.
    void logdata(Direction direction, const std::string &block, const QString &address,
                 const QString &macros);
    // A black "CHYBA" line, whatever the boxes say; an empty font keeps the
    // font the log is writing in.
    void adderror(const QString &text, const QString &font = QString());

    void Button1Click();
    void Button_saveClick();
    void RichEdit_mixChange();

private:
    QWidget *buildcheckboxes();
    QWidget *buildbuttons();
    // `time`: when the entry was made, in milliseconds since the epoch.
    void logtexts(Direction direction, const RecordTexts &texts, const QString &address,
                  const QString &macros, qint64 time);
    // "z: ADDRESS " or "na: ADDRESS ", made again only when the address
    // changes: a link mostly talks to one peer.
    const QString &addresspart(bool received, const QString &address);
    // "/ Volá makro: NAME " for each macro a block's filters named, made
    // again only when the names change: a stream of alike blocks names the
    // same ones.
    const QString &macropart(const QStringList &macros);
    // Counts the rows for the label at once; the label takes the count
    // when the log repaints, not at every record.
    void showlines();
    void showcount();

    TextMemo<QString> addressparts_[2]; // received, sent
    TextMemo<QString, QStringList> macroparts_;
    // Reused for every record, so that a record allocates no list.
    std::vector<LogLine> lines_;
    qint64 count_ = 0;
    bool countpending_ = false;
};
