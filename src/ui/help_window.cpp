#include "help_window.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cstddef>

namespace {

// The texts are shown exactly as written here. Several lines end in a blank;
// it belongs to the text and must stay.

const char *const macrosIntro[] = {
    "Data se odesílají prostřednictvím předdefinovaných maker. Řádky maker je ",
    "možné přidávat, ubírat a přerovnávat.",
    "",
    "Po zaškrtnutí políčka Opakování se bude dané makro odesílat periodicky se ",
    "zadanou periodou v milisekundách.",
    "",
    "Položka popis slouží jen pro snazší orientaci v makrech.",
    "",
    "V definici dat je možné používat výhradně šestnáctkové číslice po zašktrnutí ",
    "políčka HEX.",
    "",
    "V definici odesílaných dat je možné používat pro zadání neviditelných znaků ",
    "tyto zkatky:",
    "",
};

const char *const macrosOutro[] = {
    "",
    "<< - odešle <",
    "",
    "#xxx - odešle znak odpovídající desítkové hodnotě xxx",
    "## - odešle #",
    "",
    "$xx - odešle znak odpovídající šestnáctkové hodnotě xx",
    "$$ - odešle $",
};

const char *const computedLines[] = {
    "",
    "Vypočtené hodnoty (i v HEX), počítané při každém odeslání:",
    "",
    "<=sum8>, <=sum16>, <=xor8>, <=lrc>, <=crc8>, ",
    "<=crc16-modbus>, <=crc16-ccitt>, <=crc16-xmodem>, ",
    "<=crc16-kermit>, <=crc16-arc>, <=crc32>, <=crc32c> ",
    "- kontrolní součet předchozích bajtů",
    "<=crc:W,POLY,INIT,XOROUT,REFIN,REFOUT> ",
    "- libovolné CRC (šířka 1-32, hodnoty šestnáctkově)",
    "<=ALG:be>, <=ALG:le> - pořadí bajtů součtu, ",
    "<=ALG:hex> - součet jako šestnáctkový text",
    "<=[> a <=]> - začátek a konec sčítaného úseku",
    "<=count> - kolikrát bylo makro odesláno, ",
    "<=count:1>, <=count:2>, <=count:4>, <=count:2le>, ",
    "<=count:4le> - totéž jako bajty",
    "<=rx> - přijatá data, na která makro odpovídá, ",
    "<=rx:OD>, <=rx:OD,POČET> - jejich část ",
    "(záporné OD se počítá od konce)",
    "<=1> až <=9> - skupiny regulárního výrazu filtru",
    "",
    "Příklady:",
    "$01$03$00$00$00$0A<=crc16-modbus>",
    "$$<=[>GPGLL,4916.45,N<=]>*<=xor8:hex><cr><lf>",
    "Odpověď Modbus TCP: filtr (výraz) ",
    "^(..)\\x00\\x00\\x00\\x06(.)\\x03 ",
    "a makro <=1>$00$00$00$05<=2>$03$02$00$2A",
};

const char *const receiveLines[] = {
    "Zaškrtnutím políček lze vybat co všechno se má zobrazovat v přijímacím ",
    "okně.",
};

const char *const filtersIntro[] = {
    "Slouží k automatickému generování odpovědí na přijaté zprávy.",
    "",
    "Zadaný řetězec (včetně neviditelných znaků, může být i v hex formátu) se ",
    "porovná s počátkem přijatých dat. Pokud jsou data stejná, odešle se zadané ",
    "makro.",
    "",
    "V definici dat je možné používat výhradně šestnáctkové číslice po zašktrnutí ",
    "políčka HEX.",
    "",
    "V definici porovnávaných dat je možné používat pro zadání neviditelných ",
    "znaků ",
    "tyto zkatky:",
    "",
};

const char *const filtersOutro[] = {
    "",
    "<< - <",
    "",
    "#xxx - znak odpovídající desítkové hodnotě xxx",
    "## - #",
    "",
    "$xx - znak odpovídající šestnáctkové hodnotě xx",
    "$$ - $",
};

const char *const escapeList[] = {
    "<nul>:0",  "<soh>:1",  "<stx>:2",  "<etx>:3",  "<eot>:4",  "<enq>:5",  "<ack>:6",  "<be>:7",
    "<bs>:8",   "<tab>:9",  "<lf>:10",  "<vt>:11",  "<ff>:12",  "<cr>:13",  "<so>:14",  "<si>:15",
    "<dle>:16", "<dc1>:17", "<dc2>:18", "<dc3>:19", "<dc4>:20", "<nak>:21", "<syn>:22", "<etb>:23",
    "<can>:24", "<em>:25",  "<sub>:26", "<esc>:27", "<fs>:28",  "<gs>:29",  "<rs>:30",  "<us>:31",
};

const char *const portsLines[] = {
    "The Internet Assigned Numbers Authority (IANA) divides port numbers",
    "into three ranges:",
    "",
    "0 - 1023: well-known ports",
    "Used by well-known services. On Unix-like systems a program needs",
    "superuser (root) rights to use them.",
    "",
    "1024 - 49151: registered ports",
    "Registered with IANA for particular services and applications.",
    "",
    "49152 - 65535: dynamic ports",
    "Also called private or ephemeral ports. They are not assigned to any",
    "service and are free for any use; they are taken as temporary ports",
    "mostly by clients, for their own end of a connection.",
    "",
    "The assigned numbers are listed at www.iana.org.",
};

template <std::size_t N> void append(QStringList &lines, const char *const (&part)[N]) {
    for (const char *line : part)
        lines << QString::fromUtf8(line);
}

// One text from its parts, each part a run of whole lines.
template <std::size_t... N> QString joined(const char *const (&...parts)[N]) {
    QStringList lines;
    (append(lines, parts), ...);
    return lines.join('\n');
}

// The design size of the window and the places of the page control and the
// button in it. The page control keeps its distance to all four edges, the
// button its distance to the right and bottom edges.
constexpr QSize designSize(431, 565);
constexpr QRect pagesAtDesign(8, 8, 401, 480);
constexpr QRect buttonAtDesign(336, 495, 75, 25);

// The widest line of the texts in the font.
qreal widestline(const QFont &font, const QStringList &texts) {
    const QFontMetricsF metrics(font);
    qreal widest = 0;
    for (const QString &text : texts)
        for (const QString &line : text.split('\n'))
            widest = std::max(widest, metrics.horizontalAdvance(line));
    return widest;
}

// The lines are broken where the text was written; a font wider than the
// one they were written for breaks them again, leaving single words on a
// row of their own. The window's font where the lines fit, else its
// condensed face, else that face smaller, down to 6 points.
QFont fittingfont(const QFont &base, const QStringList &texts, qreal width) {
    if (widestline(base, texts) <= width)
        return base;
    QFont font = base;
    font.setStretch(QFont::Condensed);
    for (qreal points = base.pointSizeF(); points > 6; points -= 0.25) {
        font.setPointSizeF(points);
        if (widestline(font, texts) <= width)
            return font;
    }
    font.setPointSizeF(6);
    return font;
}

} // namespace

TForm_help::TForm_help(QWidget *parent) : QWidget(parent, Qt::Window) {
    setObjectName("Form_help");
    setWindowTitle(QStringLiteral("Nápověda"));
    setFont(QFont("MS Sans Serif", 8));

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");

    Memo1 = makememo("Memo1", joined(macrosIntro, escapeList, macrosOutro, computedLines));
    Memo2 = makememo("Memo2", joined(receiveLines));
    Memo3 = makememo("Memo3", joined(filtersIntro, escapeList, filtersOutro));
    Memo4 = makememo("Memo4", joined(portsLines));
    for (QPlainTextEdit *memo : {Memo1, Memo2, Memo3}) {
        memo->setReadOnly(true);
        // Read-only, yet the text can still be selected and copied.
        memo->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    }
    Memo4->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    TabSheet1 = addpage("TabSheet1", QStringLiteral("Odesílací makra"), Memo1);
    TabSheet2 = addpage("TabSheet2", QStringLiteral("Přijímací okno"), Memo2);
    TabSheet3 = addpage("TabSheet3", QStringLiteral("Filtry"), Memo3);
    TabSheet4 = addpage("TabSheet4", QStringLiteral("Porty"), Memo4);
    makefollowing(TabSheet1, Memo1);
    makefollowing(TabSheet2, Memo2);
    makefollowing(TabSheet3, Memo3);
    makefixed(TabSheet4, Memo4);
    PageControl1->setCurrentWidget(TabSheet4);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName("Button1");
    connect(Button1, &QPushButton::clicked, this, &TForm_help::Button1Click);

    resize(designSize);
    placecontrols();
    fittextfont();
}

void TForm_help::fittextfont() {
    // The text width of a page at the design size: the page control's
    // frame, the field's frame and scroll bar, the document's margins and
    // the cursor's pixel are taken off.
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const qreal margin = Memo1->document()->documentMargin();
    const qreal width = pagesAtDesign.width() - 2 * frame - 2 * Memo1->frameWidth() -
                        style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this) -
                        2 * margin - 2;
    const QStringList texts{Memo1->toPlainText(), Memo2->toPlainText(), Memo3->toPlainText(),
                            Memo4->toPlainText()};
    const QFont font = fittingfont(Memo1->font(), texts, width);
    for (QPlainTextEdit *memo : {Memo1, Memo2, Memo3, Memo4})
        memo->setFont(font);
}

void TForm_help::Button1Click() {
    hide();
}

QPlainTextEdit *TForm_help::makememo(const QString &name, const QString &text) {
    auto *memo = new QPlainTextEdit;
    memo->setObjectName(name);
    memo->setPlainText(text);
    memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return memo;
}

QWidget *TForm_help::addpage(const QString &name, const QString &caption, QPlainTextEdit *memo) {
    auto *page = new QWidget;
    page->setObjectName(name);
    memo->setParent(page);
    PageControl1->addTab(page, caption);
    return page;
}

void TForm_help::makefollowing(QWidget *page, QPlainTextEdit *memo) {
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(memo);
}

// The ports text field does not follow the window: it has the size its page
// has while the page control is at its design size. The page gets its real
// size only once it is visible, so earlier resizes are ignored; if the window
// was resized before the page was first seen, the field takes the page size
// it finds then.
void TForm_help::makefixed(QWidget *page, QPlainTextEdit *memo) {
    memo->setGeometry(page->rect());
    page->installEventFilter(this);
}

bool TForm_help::eventFilter(QObject *watched, QEvent *event) {
    if (watched == TabSheet4 && event->type() == QEvent::Resize && TabSheet4->isVisible() &&
        (!portsMemoPlaced || PageControl1->size() == pagesAtDesign.size())) {
        portsMemoPlaced = true;
        Memo4->setGeometry(TabSheet4->rect());
    }
    return QWidget::eventFilter(watched, event);
}

void TForm_help::resizeEvent(QResizeEvent *event) {
    placecontrols();
    QWidget::resizeEvent(event);
}

void TForm_help::placecontrols() {
    const QSize growth = size() - designSize;
    QRect pages = pagesAtDesign.adjusted(0, 0, growth.width(), growth.height());
    pages.setSize(pages.size().expandedTo(QSize(0, 0)));
    PageControl1->setGeometry(pages);
    Button1->setGeometry(buttonAtDesign.translated(growth.width(), growth.height()));
}
