// Every caption shows whole at the size the windows start with, in the
// fonts this platform substitutes for the ones the windows ask for.
#include "forms_fixture.h"

#include "about_window.h"
#include "filter_list_window.h"
#include "help_window.h"
#include "macro_list_window.h"
#include "received_window.h"
#include "sent_window.h"
#include "states_window.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace {

class Captions : public FormsTest {};

// The width a control's caption needs. A push button's size hint has a
// floor of the style's own; its caption needs the text and the frame.
int needed(QWidget *control, const QString &caption) {
    if (qobject_cast<QPushButton *>(control)) {
        QStyleOptionButton option;
        option.initFrom(control);
        const int text = control->fontMetrics().horizontalAdvance(QString(caption).remove('&'));
        return text + 2 * control->style()->pixelMetric(QStyle::PM_ButtonMargin, &option, control);
    }
    return control->sizeHint().width();
}

// The controls of a window whose caption the layout cut.
QStringList cut(QWidget *window) {
    QStringList found;
    for (QWidget *control : window->findChildren<QWidget *>()) {
        if (!control->isVisibleTo(window) || control->objectName() == "Label1")
            continue;
        QString caption;
        if (auto *button = qobject_cast<QAbstractButton *>(control))
            caption = button->text();
        else if (auto *label = qobject_cast<QLabel *>(control))
            caption = label->text();
        if (caption.isEmpty())
            continue;
        if (control->width() < needed(control, caption))
            found << QString("%1 \"%2\": %3 < %4")
                         .arg(control->objectName(), caption)
                         .arg(control->width())
                         .arg(needed(control, caption));
    }
    return found;
}

TEST_F(Captions, EveryCaptionShowsWholeAtTheStartingSize) {
    start();
    for (QWidget *window : std::initializer_list<QWidget *>{
             Form1, Form_TX, Form_RX_filtr, Form_RX_TX, Form_rxw, Form_txw, Form_about}) {
        window->show();
        QApplication::processEvents();
        EXPECT_EQ(cut(window), QStringList()) << window->objectName().toStdString();
    }
}

} // namespace
