#include "about_window.h"

#include <QLabel>
#include <QScreen>

namespace {

const char *const versionText = "v. " KROVAN_VERSION;

QLabel *makelabel(QWidget *parent, const QString &name, const QString &caption, int left, int top) {
    auto *label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->move(left, top);
    label->adjustSize();
    return label;
}

} // namespace

TForm_about::TForm_about(QWidget *parent)
    : QDialog(parent,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      centreOver(parent) {
    setObjectName("Form_about");
    setWindowTitle(QStringLiteral("O programu"));
    setFont(QFont("MS Sans Serif", 8));
    setFixedSize(125, 81);

    Label1 = makelabel(this, "Label1", QStringLiteral("Krovan"), 8, 16);
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    Label1->adjustSize();

    Label_verze = makelabel(this, "Label_verze", QStringLiteral("verze"), 80, 24);
}

void TForm_about::setcentreover(QWidget *window) {
    centreOver = window;
}

void TForm_about::FormShow() {
    Label_verze->setText(QString::fromUtf8(versionText));
    Label_verze->adjustSize();
}

void TForm_about::showEvent(QShowEvent *event) {
    FormShow();
    centre();
    QDialog::showEvent(event);
}

// Centres the box over the chosen window, or over the screen when that
// window is gone or hidden.
void TForm_about::centre() {
    QRect area;
    if (centreOver && centreOver->isVisible())
        area = centreOver->window()->frameGeometry();
    else if (QScreen *display = screen())
        area = display->availableGeometry();
    else
        return;
    const QSize frame = frameGeometry().size();
    move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
}
