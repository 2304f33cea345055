#include "states_window.h"

#include "block_text.h"
#include "bytes_text.h"
#include "find_bar.h"
#include "forms.h"
#include "guard.h"
#include "log_view.h"
#include "record_texts.h"
#include "save_log.h"
#include "session.h"
#include "tool_window.h"

#include <QCheckBox>
#include <QDateTime>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStringBuilder>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString sansserif = "MS Sans Serif";
const QString courier = "Courier";
const LineStyle plainstyle{QColor(0, 0, 0), sansserif};
const LineStyle receivedstyle{QColor(255, 0, 0), courier};
const LineStyle sentstyle{QColor(0, 0, 255), courier};

// "01 02 ... 99": lets the user count the byte columns of hex lines.
QString rulertext() {
    QStringList numbers;
    for (int column = 1; column <= 99; ++column)
        numbers << QString("%1").arg(column, 2, 10, QChar('0'));
    return numbers.join(' ');
}

QCheckBox *checkbox(const char *name, const QString &caption) {
    auto *box = new QCheckBox(caption);
    box->setObjectName(name);
    return box;
}

// A button as wide as its caption needs, not the style's wider floor: the
// seven check boxes and both buttons share the window's width of 500.
QPushButton *button(const char *name, const QString &caption) {
    auto *button = new QPushButton(caption);
    button->setObjectName(name);
    QStyleOptionButton option;
    option.initFrom(button);
    const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, &option, button);
    button->setFixedWidth(button->fontMetrics().horizontalAdvance(caption) + 2 * margin + 4);
    return button;
}

// A widget whose controls sit in a grid of rows without gaps.
std::pair<QWidget *, QGridLayout *> gridpanel() {
    auto *panel = new QWidget;
    auto *grid = new QGridLayout(panel);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(0);
    return {panel, grid};
}

} // namespace

TForm_RX_TX::TForm_RX_TX(QWidget *parent) : QWidget(parent) {
    maketoolwindow(this, "Form_RX_TX", "Stavy a data");
    resize(500, 400);

    RichEdit_mix = new LogView("RichEdit_mix", plainstyle);
    Label1 = new QLabel(rulertext());
    Label1->setObjectName("Label1");
    Label1->setFont(QFont(courier, 8));
    // The ruler is cut at the window's edge; it does not widen the window.
    Label1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);

    auto *bottom = new QHBoxLayout;
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->setSpacing(0);
    bottom->addWidget(buildcheckboxes(), 0, Qt::AlignLeft | Qt::AlignBottom);
    bottom->addStretch(1);
    bottom->addWidget(buildbuttons(), 0, Qt::AlignRight | Qt::AlignBottom);

    // The log takes all the height; the ruler and the controls keep their
    // distance to the bottom edge.
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 4, 4);
    column->setSpacing(2);
    column->addWidget(RichEdit_mix, 1);
    column->addWidget(findbar);
    column->addWidget(Label1);
    column->addLayout(bottom);

    connect(Button1, &QPushButton::clicked, this, [this] { guarded([this] { Button1Click(); }); });
    connect(Button_save, &QPushButton::clicked, this,
            [this] { guarded([this] { Button_saveClick(); }); });
    connect(RichEdit_mix, &LogView::changed, this,
            [this] { guarded([this] { RichEdit_mixChange(); }); });
    connect(RichEdit_mix, &LogView::repainting, Label_lines, [this] {
        if (countpending_)
            showcount();
    });
    notespoolfailure(RichEdit_mix, "Stavy a data");
    if (Session1)
        Session1->addsink(this);
}

QWidget *TForm_RX_TX::buildcheckboxes() {
    CheckBox_rx = checkbox("CheckBox_rx", "Přijatá data");
    CheckBox_tx = checkbox("CheckBox_tx", "Odeslaná data");
    CheckBox_makro = checkbox("CheckBox_makro", "Volaná makra");
    CheckBox_stavy = checkbox("CheckBox_stavy", "Stavy");
    CheckBox_time = checkbox("CheckBox_time", "Čas");
    CheckBox_adr = checkbox("CheckBox_adr", "Adresa");
    CheckBox_hex = checkbox("CheckBox_hex", "Šestnáctkově");

    auto [boxes, grid] = gridpanel();
    grid->setContentsMargins(4, 0, 0, 0);
    grid->setHorizontalSpacing(4);
    QCheckBox *const rows[2][4] = {
        {CheckBox_rx, CheckBox_tx, CheckBox_makro, CheckBox_stavy},
        {CheckBox_time, CheckBox_adr, CheckBox_hex, nullptr},
    };
    for (int row = 0; row < 2; ++row) {
        for (int col = 0; col < 4; ++col) {
            if (rows[row][col])
                grid->addWidget(rows[row][col], row, col);
        }
    }
    return boxes;
}

// "Uložit" and "Vymazat" side by side, "Hledat" above "Uložit" and the line
// count above "Vymazat".
QWidget *TForm_RX_TX::buildbuttons() {
    Label_lines = new QLabel("0");
    Label_lines->setObjectName("Label_lines");
    Button_save = button("Button_save", "Uložit");
    Button1 = button("Button1", "Vymazat");
    // The count changes at every record. A label of fixed size repaints
    // itself alone; one sized by its text would relayout the window each time.
    // It is as wide as "Vymazat" under it (nine digits and more), so that
    // "Hledat" beside it leaves the check boxes their width.
    Label_lines->setFixedSize(
        std::max(Button1->width(), Label_lines->fontMetrics().horizontalAdvance(QString(9, '0'))),
        Label_lines->sizeHint().height());
    Button_find = button("Button_find", "Hledat");
    findbar = new FindBar(RichEdit_mix);
    findbar->openwith(Button_find, this);

    auto [buttons, grid] = gridpanel();
    grid->setHorizontalSpacing(4);
    grid->addWidget(Button_find, 0, 0);
    grid->addWidget(Label_lines, 0, 1, Qt::AlignRight);
    grid->addWidget(Button_save, 1, 0);
    grid->addWidget(Button1, 1, 1);
    return buttons;
}

TForm_RX_TX::~TForm_RX_TX() {
    if (Session1)
        Session1->removesink(this);
}

void TForm_RX_TX::write(const LogEntry &entry) {
    switch (entry.kind) {
    case LogEntry::Kind::State:
        return addstate(entry.text);
    case LogEntry::Kind::Error:
        return adderror(entry.text, entry.font);
    case LogEntry::Kind::Record:
        break;
    }
    const bool received = entry.direction == Direction::Received;
    const QString address =
        CheckBox_adr->isChecked() ? addresspart(received, entry.address) : QString();
    const QString macros =
        received && CheckBox_makro->isChecked() ? macropart(entry.macros) : QString();
    logtexts(entry.direction, RecordTexts::of(entry, CheckBox_hex->isChecked()), address, macros,
             entry.time);
}

const QString &TForm_RX_TX::macropart(const QStringList &macros) {
    return macroparts_.get(macros, {}, [&] {
        QString text;
        for (const QString &name : macros)
            text += "/ Volá makro: " + name + " ";
        return text;
    });
}

void TForm_RX_TX::addstate(const QString &text) {
    if (!CheckBox_stavy->isChecked())
        return;
    RichEdit_mix->addline(text, plainstyle);
}

void TForm_RX_TX::adderror(const QString &text, const QString &font) {
    const QString family = font.isEmpty() ? RichEdit_mix->style().font : font;
    RichEdit_mix->addline(text, LineStyle{plainstyle.colour, family});
}

void TForm_RX_TX::logdata(Direction direction, const std::string &block, const QString &address,
                          const QString &macros) {
    logtexts(direction, RecordTexts(block, CheckBox_hex->isChecked()), address, macros,
             QDateTime::currentMSecsSinceEpoch());
}

void TForm_RX_TX::logtexts(Direction direction, const RecordTexts &texts, const QString &address,
                           const QString &macros, qint64 time) {
    const bool received = direction == Direction::Received;
    if (!(received ? CheckBox_rx : CheckBox_tx)->isChecked())
        return;
    // Each header is made in one allocation.
    const QString when =
        CheckBox_time->isChecked() ? QString(timetext(time) % QLatin1Char(' ')) : QString();
    const QString header =
        received
            ? QString(when % QStringLiteral("Přijal data ") % address % macros % QLatin1Char(':'))
            : QString(when % QStringLiteral("Odeslal data ") % address % QLatin1Char(':'));
    const LineStyle &data = received ? receivedstyle : sentstyle;
    lines_.clear();
    lines_.push_back({header, plainstyle});
    lines_.push_back({QString(), data, texts.printablestored});
    if (CheckBox_hex->isChecked())
        lines_.push_back({QString(), data, texts.hexstored});
    RichEdit_mix->addlines(lines_);
    RichEdit_mix->setstyle(data);
    showlines();
}

const QString &TForm_RX_TX::addresspart(bool received, const QString &address) {
    return addressparts_[received ? 0 : 1].get(address, {}, [&] {
        return (received ? QStringLiteral("z: ") : QStringLiteral("na: ")) + address + ' ';
    });
}

// The count is taken at every record but given to the label when the log
// repaints (see the constructor): at a hundred thousand records a second,
// setting and painting the label each time cost more than the log, and
// even a posted call once per pass cost a one-answer pass two system calls
// of its five.
void TForm_RX_TX::showlines() {
    count_ = RichEdit_mix->rows();
    countpending_ = true;
}

void TForm_RX_TX::showcount() {
    countpending_ = false;
    Label_lines->setText(QString::number(count_));
}

void TForm_RX_TX::Button1Click() {
    RichEdit_mix->clearlog();
    count_ = 0;
    showcount();
}

void TForm_RX_TX::Button_saveClick() {
    savelog(RichEdit_mix);
}

// Keeps the newest line in view. A record adds several lines and a burst
// many records; scrolling once when they are all in costs one scroll of
// the view instead of one per line.
void TForm_RX_TX::RichEdit_mixChange() {
    // Applied with the view's next repaint, not once per record.
    RichEdit_mix->followend();
}
