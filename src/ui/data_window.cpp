#include "data_window.h"

#include "find_bar.h"
#include "forms.h"
#include "guard.h"
#include "log_view.h"
#include "named.h"
#include "record_texts.h"
#include "save_log.h"
#include "session.h"
#include "tool_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

enum Format { Formatted, Invisible, InvisibleByBlocks, Hex, HexByBlocks };

} // namespace

TDataWindow::TDataWindow(const Names &names, QWidget *parent)
    : QWidget(parent), direction_(names.direction) {
    maketoolwindow(this, names.window, names.caption);
    resize(400, 300);

    view = new LogView(names.view, LineStyle{names.colour, "Courier"});
    ComboBox_format = named(new QComboBox, "ComboBox_format");
    ComboBox_format->addItems({"Formátovat", "Neviditelné znaky", "Neviditelné znaky podle bloků",
                               "Šestnáctkově", "Šestnáctkově podle bloků"});
    ComboBox_format->setCurrentIndex(Formatted);
    ComboBox_format->setFixedWidth(193);
    CheckBox_time = named(new QCheckBox("Čas"), "CheckBox_time");
    savebutton = named(new QPushButton("Uložit"), names.savebutton);
    Button1 = named(new QPushButton("Vymazat"), "Button1");
    Button_find = named(new QPushButton("Hledat"), "Button_find");
    findbar = new FindBar(view);
    findbar->openwith(Button_find, this);

    auto *controls = new QHBoxLayout;
    controls->addWidget(ComboBox_format);
    controls->addWidget(CheckBox_time);
    controls->addStretch(1);
    controls->addWidget(Button_find);
    controls->addWidget(savebutton);
    controls->addWidget(Button1);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 4, 4);
    column->addWidget(view, 1);
    column->addWidget(findbar);
    column->addLayout(controls);

    connect(Button1, &QPushButton::clicked, this, [this] { guarded([this] { Button1Click(); }); });
    connect(savebutton, &QPushButton::clicked, this,
            [this] { guarded([this] { Button_saveClick(); }); });
    notespoolfailure(view, names.caption);
    if (Session1)
        Session1->addsink(this);
}

TDataWindow::~TDataWindow() {
    if (Session1)
        Session1->removesink(this);
}

void TDataWindow::write(const LogEntry &entry) {
    if (entry.kind != LogEntry::Kind::Record || entry.direction != direction_)
        return;
    const bool hex = Session1->setup.show_hex;
    const RecordTexts &texts = RecordTexts::of(entry, hex);
    // Only the format shown needs its text made.
    const int format = ComboBox_format->currentIndex();
    const bool printable = format == Invisible || format == InvisibleByBlocks;
    const bool hexformat = format == Hex || format == HexByBlocks;
    appendblock(entry.bytes, printable ? texts.printable() : QStringView(),
                hex && hexformat ? texts.hex() : QStringView(), entry.time);
}

void TDataWindow::appendblock(const std::string &block, QStringView printable, QStringView hex,
                              std::optional<qint64> time) {
    // There always is a last line to run on.
    if (view->empty())
        view->addline(QString());
    if (CheckBox_time->isChecked())
        view->addline((time ? timetext(*time) : timetext()) + ">");
    switch (ComboBox_format->currentIndex()) {
    case Formatted:
        appendformatted(block);
        break;
    case Invisible:
        view->appendtext(printable);
        break;
    case InvisibleByBlocks:
        view->addline(printable);
        break;
    case Hex:
        view->appendtext(hex);
        break;
    case HexByBlocks:
        view->addline(hex);
        break;
    default:
        break;
    }
}

// Printable bytes run on, CR breaks the line, LF breaks it unless the line
// is still empty (so CR LF is one break), other control bytes are dropped.
// A run holds bytes from 32 up only, which the log stores as they are.
void TDataWindow::appendformatted(const std::string &block) {
    std::string run;
    const auto flush = [&] {
        if (!run.empty())
            view->appendstored(run);
        run.clear();
    };
    for (char byte : block) {
        const auto value = static_cast<unsigned char>(byte);
        if (value >= 32) {
            run += byte;
        } else if (value == 13) {
            flush();
            view->addline(QString());
        } else if (value == 10) {
            flush();
            if (!view->lastlineempty())
                view->addline(QString());
        }
    }
    flush();
}

void TDataWindow::Button1Click() {
    view->clearlog();
}

void TDataWindow::Button_saveClick() {
    savelog(view);
}
