// Receive processing: every received block is compared with the active
// filters, logged, and answered by the macro the last match names.
#include "main_window.h"

#include "bytes_text.h"
#include "codec.h"
#include "filter_list_window.h"
#include "filter_row.h"
#include "forms.h"
#include "macro_list_window.h"
#include "macro_row.h"
#include "states_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

namespace {

std::string pattern(const TFrame_filtr *row)
{
    const std::string text = toBytes(row->Edit_filtr->text());
    return row->CheckBox_filtr_hex->isChecked() ? hextostr(text) : wildtostr(text);
}

bool beginswith(const std::string &block, const std::string &prefix)
{
    return block.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

void TForm1::rxprocess(const std::string &block, const QString &address, bool logfailed)
{
    const QString source =
        Form_RX_TX->CheckBox_adr->isChecked() ? "z: " + address + " " : QString();
    TFrame_tx *replyrow = nullptr;
    QString macros;
    const bool showmacros = Form_RX_TX->CheckBox_makro->isChecked();
    for (int f = 1; f <= Form_RX_filtr->filtr_count; ++f) {
        const TFrame_filtr *filter = Form_RX_filtr->filtr_frames[f];
        if (!filter->CheckBox_filtr_active->isChecked())
            continue;
        bool matches = false;
        try {
            matches = beginswith(block, pattern(filter));
        } catch (...) {
            // The block itself is not lost for a filter's malformed text.
            if (logfailed)
                Form_RX_TX->logdata(Direction::Received, block, source, QString());
            throw;
        }
        if (!matches)
            continue;
        const QString name = filter->ComboBox_filtr_macro->currentText();
        for (int m = 1; m <= Form_TX->tx_count; ++m) {
            TFrame_tx *macro = Form_TX->tx_frames[m];
            if (macro->Edit_popis->text() != name)
                continue;
            replyrow = macro;
            if (showmacros)
                macros += "/ Volá makro: " + name + " ";
        }
    }
    Form_RX_TX->logdata(Direction::Received, block, source, macros);
    if (replyrow)
        replyrow->Button_sendClick();
}
