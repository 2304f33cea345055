#include "about_window.h"
#include "help_window.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include <gtest/gtest.h>

namespace {

QString utf8(const char *text) {
    return QString::fromUtf8(text);
}

QStringList linesof(const QPlainTextEdit *memo) {
    QStringList lines;
    for (QTextBlock block = memo->document()->begin(); block.isValid(); block = block.next())
        lines << block.text();
    return lines;
}

// The control codes 0 to 31 as the help lists them; code 7 is written "be".
QStringList escapelist() {
    const char *const names[] = {"nul", "soh", "stx", "etx", "eot", "enq", "ack", "be",
                                 "bs",  "tab", "lf",  "vt",  "ff",  "cr",  "so",  "si",
                                 "dle", "dc1", "dc2", "dc3", "dc4", "nak", "syn", "etb",
                                 "can", "em",  "sub", "esc", "fs",  "gs",  "rs",  "us"};
    QStringList lines;
    for (int code = 0; code < 32; ++code)
        lines << QString("<%1>:%2").arg(names[code]).arg(code);
    return lines;
}

void clicktab(QTabWidget *pages, int index) {
    QTabBar *bar = pages->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
}

// Lines are numbered from 1 as the user counts them.
QString line(const QStringList &lines, int number) {
    return lines.value(number - 1, "<missing>");
}

} // namespace

TEST(HelpWindow, PagesInOrderWithPortsActiveAtCreation) {
    TForm_help help;
    EXPECT_EQ(help.objectName(), "Form_help");
    EXPECT_EQ(help.windowTitle(), utf8("Nápověda"));
    EXPECT_TRUE(help.isWindow());
    EXPECT_FALSE(help.isVisible());

    QTabWidget *pages = help.findChild<QTabWidget *>("PageControl1");
    ASSERT_NE(pages, nullptr);
    ASSERT_EQ(pages->count(), 4);
    const QStringList captions{utf8("Odesílací makra"), utf8("Přijímací okno"), "Filtry", "Porty"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(pages->tabText(i), captions[i]);
        EXPECT_EQ(pages->widget(i)->objectName(), QString("TabSheet%1").arg(i + 1));
        auto *memo = pages->widget(i)->findChild<QPlainTextEdit *>(QString("Memo%1").arg(i + 1));
        EXPECT_NE(memo, nullptr) << "page " << i + 1;
    }
    EXPECT_EQ(pages->currentIndex(), 3);

    help.show();
    EXPECT_EQ(pages->currentWidget(), help.TabSheet4);
    EXPECT_TRUE(help.Memo4->isVisible());
}

TEST(HelpWindow, MacrosPageText) {
    TForm_help help;
    const QStringList lines = linesof(help.Memo1);
    ASSERT_EQ(lines.size(), 80);
    EXPECT_EQ(line(lines, 1),
              utf8("Data se odesílají prostřednictvím předdefinovaných maker. Řádky maker je "));
    EXPECT_EQ(line(lines, 2), utf8("možné přidávat, ubírat a přerovnávat."));
    EXPECT_EQ(
        line(lines, 9),
        utf8("V definici dat je možné používat výhradně šestnáctkové číslice po zašktrnutí "));
    EXPECT_EQ(line(lines, 12),
              utf8("V definici odesílaných dat je možné používat pro zadání neviditelných znaků "));
    EXPECT_EQ(line(lines, 13), "tyto zkatky:");
    EXPECT_EQ(line(lines, 14), "");
    EXPECT_EQ(lines.mid(14, 32), escapelist());
    EXPECT_EQ(line(lines, 22), "<be>:7");
    EXPECT_EQ(line(lines, 47), "");
    EXPECT_EQ(line(lines, 48), utf8("<< - odešle <"));
    EXPECT_EQ(line(lines, 50), utf8("#xxx - odešle znak odpovídající desítkové hodnotě xxx"));
    EXPECT_EQ(line(lines, 53), utf8("$xx - odešle znak odpovídající šestnáctkové hodnotě xx"));
    EXPECT_EQ(line(lines, 54), utf8("$$ - odešle $"));
    EXPECT_EQ(line(lines, 76), "$01$03$00$00$00$0A<=crc16-modbus>");
    EXPECT_EQ(line(lines, 77), "$$<=[>GPGLL,4916.45,N<=]>*<=xor8:hex><cr><lf>");
    EXPECT_EQ(line(lines, 79), "^(..)\\x00\\x00\\x00\\x06(.)\\x03 ");
    EXPECT_EQ(line(lines, 80), "a makro <=1>$00$00$00$05<=2>$03$02$00$2A");
}

TEST(HelpWindow, ReceiveAndFiltersPageTexts) {
    TForm_help help;
    EXPECT_EQ(linesof(help.Memo2),
              QStringList({utf8("Zaškrtnutím políček lze vybat co všechno se má zobrazovat v "
                                "přijímacím "),
                           utf8("okně.")}));

    const QStringList lines = linesof(help.Memo3);
    ASSERT_EQ(lines.size(), 53);
    EXPECT_EQ(line(lines, 1),
              utf8("Slouží k automatickému generování odpovědí na přijaté zprávy."));
    EXPECT_EQ(line(lines, 4),
              utf8("porovná s počátkem přijatých dat. Pokud jsou data stejná, odešle se zadané "));
    EXPECT_EQ(line(lines, 10),
              utf8("V definici porovnávaných dat je možné používat pro zadání neviditelných "));
    EXPECT_EQ(line(lines, 11), utf8("znaků "));
    EXPECT_EQ(line(lines, 12), "tyto zkatky:");
    EXPECT_EQ(line(lines, 13), "");
    EXPECT_EQ(lines.mid(13, 32), escapelist());
    EXPECT_EQ(line(lines, 46), "");
    EXPECT_EQ(line(lines, 47), "<< - <");
    EXPECT_EQ(line(lines, 49), utf8("#xxx - znak odpovídající desítkové hodnotě xxx"));
    EXPECT_EQ(line(lines, 50), "## - #");
    EXPECT_EQ(line(lines, 53), "$$ - $");
}

TEST(HelpWindow, PortsPageStatesTheThreeRanges) {
    TForm_help help;
    const QStringList lines = linesof(help.Memo4);
    ASSERT_EQ(lines.size(), 16);
    EXPECT_TRUE(lines.contains(""));
    const QString text = lines.join(' ');
    for (const char *range : {"0 - 1023", "1024 - 49151", "49152 - 65535"})
        EXPECT_TRUE(text.contains(range)) << range;
    EXPECT_TRUE(text.contains("superuser"));
    EXPECT_TRUE(text.contains("temporary"));
}

TEST(HelpWindow, TextFieldKinds) {
    TForm_help help;
    for (QPlainTextEdit *memo : {help.Memo1, help.Memo2, help.Memo3}) {
        EXPECT_TRUE(memo->isReadOnly()) << memo->objectName().toStdString();
        EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    }
    EXPECT_FALSE(help.Memo4->isReadOnly());
    EXPECT_EQ(help.Memo4->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(help.Memo4->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

    // Typing into a read-only page leaves its text alone.
    help.show();
    clicktab(help.PageControl1, 0);
    const QString before = help.Memo1->toPlainText();
    QTest::keyClicks(help.Memo1, "xyz");
    EXPECT_EQ(help.Memo1->toPlainText(), before);
}

TEST(HelpWindow, LongLinesWrapAtTheFieldWidth) {
    TForm_help help;
    help.show();
    clicktab(help.PageControl1, 0);
    help.resize(250, 565);
    QApplication::processEvents();
    ASSERT_LT(help.Memo1->width(), 250);
    QTextBlock first = help.Memo1->document()->firstBlock();
    EXPECT_GT(first.layout()->lineCount(), 1);
    EXPECT_EQ(first.text().size(), 73) << "wrapping must not split the block";
}

TEST(HelpWindow, EveryWrittenLineFitsItsPageAtTheDesignSize) {
    TForm_help help;
    help.show();
    for (int page = 0; page < 4; ++page) {
        clicktab(help.PageControl1, page);
        QApplication::processEvents();
        auto *memo = help.PageControl1->widget(page)->findChild<QPlainTextEdit *>();
        for (QTextBlock block = memo->document()->firstBlock(); block.isValid();
             block = block.next()) {
            // Lays out a block the view has not reached yet.
            memo->document()->documentLayout()->blockBoundingRect(block);
            EXPECT_EQ(block.layout()->lineCount(), 1) << block.text().toStdString();
        }
    }
}

TEST(HelpWindow, OkHidesAndTheLastPageIsKept) {
    TForm_help help;
    help.show();
    EXPECT_EQ(help.PageControl1->currentWidget(), help.TabSheet4);

    clicktab(help.PageControl1, 2);
    EXPECT_EQ(help.PageControl1->currentWidget(), help.TabSheet3);
    QTest::mouseClick(help.Button1, Qt::LeftButton);
    EXPECT_FALSE(help.isVisible());

    help.show();
    EXPECT_EQ(help.PageControl1->currentWidget(), help.TabSheet3);

    // The caption bar's close box hides it the same way.
    clicktab(help.PageControl1, 1);
    help.close();
    EXPECT_FALSE(help.isVisible());
    help.show();
    EXPECT_EQ(help.PageControl1->currentWidget(), help.TabSheet2);
}

TEST(HelpWindow, PagesFollowTheWindowAndOkStaysBottomRight) {
    TForm_help help;
    EXPECT_EQ(help.Button1->text(), "OK");
    EXPECT_EQ(help.size(), QSize(431, 565));
    EXPECT_EQ(help.PageControl1->geometry(), QRect(8, 8, 401, 480));
    EXPECT_EQ(help.Button1->geometry(), QRect(336, 495, 75, 25));

    help.show();
    QApplication::processEvents();
    const QSize portsSize = help.TabSheet4->size();
    EXPECT_EQ(help.Memo4->geometry(), help.TabSheet4->rect());

    help.resize(600, 700);
    QApplication::processEvents();
    EXPECT_EQ(help.PageControl1->geometry(), QRect(8, 8, 570, 615));
    EXPECT_EQ(help.Button1->geometry(), QRect(505, 630, 75, 25));
    EXPECT_EQ(help.Memo4->size(), portsSize) << "the ports field keeps its size";

    clicktab(help.PageControl1, 0);
    QApplication::processEvents();
    EXPECT_EQ(help.Memo1->geometry(), help.TabSheet1->rect());
    EXPECT_GT(help.TabSheet1->width(), portsSize.width());
}

TEST(HelpWindow, PortsFieldFillsItsPageWhenResizedBeforeFirstShowing) {
    TForm_help help;
    help.resize(500, 600);
    help.show();
    QApplication::processEvents();
    EXPECT_EQ(help.PageControl1->geometry(), QRect(8, 8, 470, 515));
    EXPECT_EQ(help.Memo4->geometry(), help.TabSheet4->rect());

    // Back at the design size it again fills the page exactly.
    help.resize(431, 565);
    QApplication::processEvents();
    help.resize(700, 800);
    QApplication::processEvents();
    help.resize(431, 565);
    QApplication::processEvents();
    EXPECT_EQ(help.Memo4->geometry(), help.TabSheet4->rect());
}

TEST(AboutBox, DesignState) {
    TForm_about about;
    EXPECT_EQ(about.objectName(), "Form_about");
    EXPECT_EQ(about.windowTitle(), "O programu");
    EXPECT_EQ(about.size(), QSize(125, 81));
    EXPECT_EQ(about.minimumSize(), about.maximumSize()) << "not resizable";
    const Qt::WindowFlags flags = about.windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(about.findChildren<QPushButton *>().isEmpty());

    QLabel *name = about.findChild<QLabel *>("Label1");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->text(), "Krovan");
    EXPECT_TRUE(name->font().bold());
    EXPECT_EQ(name->pos(), QPoint(8, 16));
    QLabel *version = about.findChild<QLabel *>("Label_verze");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), "verze");
    EXPECT_EQ(version->pos(), QPoint(80, 24));
}

TEST(AboutBox, EveryShowingWritesTheVersion) {
    TForm_about about;
    for (int showing = 1; showing <= 3; ++showing) {
        about.Label_verze->setText("verze");
        about.open();
        EXPECT_TRUE(about.isVisible());
        EXPECT_EQ(about.Label_verze->text(), "v. 0.6") << "showing " << showing;
        EXPECT_GE(about.Label_verze->width(), about.Label_verze->sizeHint().width());
        about.close();
        EXPECT_FALSE(about.isVisible());
        EXPECT_EQ(about.Label_verze->text(), "v. 0.6");
    }
}

TEST(AboutBox, ModalAndCentredOverTheMainWindow) {
    QWidget mainWindow;
    mainWindow.setGeometry(258, 126, 922, 81);
    mainWindow.show();
    TForm_about about(&mainWindow);
    EXPECT_TRUE(about.isWindow());

    about.open();
    EXPECT_EQ(QApplication::activeModalWidget(), &about);
    const QPoint offset = about.frameGeometry().center() - mainWindow.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 2);

    // Moved away and shown again, it is centred again.
    about.close();
    mainWindow.move(20, 500);
    about.open();
    const QPoint again = about.frameGeometry().center() - mainWindow.frameGeometry().center();
    EXPECT_LE(again.manhattanLength(), 2);
    about.close();
}

TEST(AboutBox, CentresOverAnotherChosenWindow) {
    QWidget mainWindow;
    mainWindow.setGeometry(600, 400, 300, 200);
    mainWindow.show();
    TForm_about about;
    about.setcentreover(&mainWindow);
    about.show();
    const QPoint offset = about.frameGeometry().center() - mainWindow.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 2);
    about.close();
}
