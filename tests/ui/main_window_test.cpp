#include "forms_fixture.h"

#include "about_window.h"
#include "filter_list_window.h"
#include "help_window.h"
#include "macro_list_window.h"
#include "received_window.h"
#include "sent_window.h"
#include "states_window.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

namespace {

std::vector<QWidget *> toolwindows() {
    return {Form_TX, Form_RX_filtr, Form_RX_TX, Form_rxw, Form_txw};
}

std::vector<QWidget *> panels() {
    return {Form1->Panel_RS, Form1->Panel_TCP_C, Form1->Panel_TCP_S, Form1->Panel_UDP,
            Form1->Panel_ICMP};
}

} // namespace

using MainWindow = FormsTest;

TEST_F(MainWindow, CreatesEightWindowsWithTheirNamesAndCaptions) {
    const std::vector<std::tuple<QWidget *, QString, QString>> windows = {
        {Form1, "Form1", "Krovan"},
        {Form_TX, "Form_TX", "Data k odeslání"},
        {Form_RX_TX, "Form_RX_TX", "Stavy a data"},
        {Form_help, "Form_help", "Nápověda"},
        {Form_about, "Form_about", "O programu"},
        {Form_RX_filtr, "Form_RX_filtr", "Přijímací filtr"},
        {Form_rxw, "Form_rxw", "Přijatá data"},
        {Form_txw, "Form_txw", "Odeslaná data"},
    };
    for (const auto &[window, name, caption] : windows) {
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->objectName(), name);
        EXPECT_EQ(window->windowTitle(), caption);
        EXPECT_FALSE(window->isVisible()) << name.toStdString();
    }
    for (QWidget *window : toolwindows())
        EXPECT_EQ(window->windowType(), Qt::Tool) << window->objectName().toStdString();
}

TEST_F(MainWindow, StartShowsBarAndToolWindowsAndLoadsOnlyOnce) {
    start();
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_TRUE(Form1->settingsloaded);
    for (QWidget *window : toolwindows())
        EXPECT_TRUE(window->isVisible()) << window->objectName().toStdString();
    EXPECT_FALSE(Form_help->isVisible());
    EXPECT_FALSE(Form_about->isVisible());

    // Switching away and back neither reloads nor shows the windows again.
    Form_TX->hide();
    QApplication::setActiveWindow(Form_rxw);
    QApplication::processEvents();
    QApplication::setActiveWindow(Form1);
    QApplication::processEvents();
    EXPECT_FALSE(Form_TX->isVisible());
}

TEST_F(MainWindow, SettingsFileSitsBesideTheExecutable) {
    destroyforms();
    createforms();
    EXPECT_EQ(Form1->settingsfile, QApplication::applicationDirPath() + "/default.ini");
    EXPECT_TRUE(Form1->settingstitle.isEmpty());
    EXPECT_FALSE(Form1->settingsloaded);
}

TEST_F(MainWindow, HeightIsAlwaysEightyOne) {
    start();
    EXPECT_EQ(Form1->height(), 81);
    Form1->resize(600, 400);
    EXPECT_EQ(Form1->height(), 81);
    Form1->setGeometry(10, 10, 700, 20);
    EXPECT_EQ(Form1->height(), 81);
    EXPECT_EQ(Form1->width(), 700);
}

TEST_F(MainWindow, SelectorShowsExactlyOnePanel) {
    start();
    auto *selector = find<QComboBox>(Form1, "ComboBox_pripojeni");
    EXPECT_TRUE(selector->font().bold());
    EXPECT_FALSE(selector->isEditable());
    ASSERT_EQ(selector->count(), 5);
    const QStringList items = {"RS232", "TCP klient", "TCP server", "UDP", "ICMP(ping)"};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(selector->itemText(i), items[i]);
    EXPECT_EQ(selector->currentIndex(), 0);

    for (int index = 0; index < 5; ++index) {
        selector->setCurrentIndex(index);
        Form1->ComboBox_pripojeniChange();
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(panels()[i]->isVisible(), i == index) << index << " " << i;
    }
    // No selection: the panel that was showing stays.
    selector->setCurrentIndex(-1);
    Form1->ComboBox_pripojeniChange();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(panels()[i]->isVisible(), i == 4);

    // The user's pick runs the handler.
    selector->setCurrentIndex(1);
    emit selector->activated(1);
    EXPECT_TRUE(Form1->Panel_TCP_C->isVisible());
    EXPECT_FALSE(Form1->Panel_ICMP->isVisible());
}

TEST_F(MainWindow, PanelsHoldTheirControls) {
    struct Text {
        const char *name;
        QString text;
    };
    for (const Text &t :
         {Text{"Edit_tcp_k_addr", "localhost"}, Text{"Edit_tcp_k_port", "500"},
          Text{"Edit_TCP_S_port", "666"}, Text{"Edit_tx_adr", ""}, Text{"Edit_tx_port", ""},
          Text{"Edit_rx_port", ""}, Text{"Edit_icmp_a", "10.0.0.1"}})
        EXPECT_EQ(find<QLineEdit>(Form1, t.name)->text(), t.text) << t.name;
    for (const Text &t : {Text{"Label11", "Adresa serveru:"}, Text{"Label2", "Port:"},
                          Text{"Label3", "Poslouchací port:"}, Text{"Label4", "Přijímací adresa:"},
                          Text{"Label5", "Přijímací port:"}, Text{"Label7", "Vysílací port:"},
                          Text{"Label13", "Adresa:"}})
        EXPECT_EQ(find<QLabel>(Form1, t.name)->text(), t.text) << t.name;
    for (const Text &t : {Text{"Button_RS232_On", "Připojit"}, Text{"Button_TCP_C_On", "Připojit"},
                          Text{"Button_TCP_S_On", "Připojit"}, Text{"Button_UDP_On", "Připojit"},
                          Text{"Button_ICMP_On", "Zapnout"}}) {
        auto *button = find<QPushButton>(Form1, t.name);
        EXPECT_EQ(button->text(), t.text);
        EXPECT_TRUE(button->font().bold()) << t.name;
    }
    EXPECT_EQ(find<QPushButton>(Form1, "Button_detect")->text(), "detect");

    auto *baud = find<QComboBox>(Form1, "ComboBox_baud");
    EXPECT_TRUE(baud->isEditable());
    EXPECT_EQ(baud->currentText(), "115200");
    EXPECT_EQ(baud->count(), 15);
    EXPECT_EQ(baud->itemText(14), "");
    // The arrows step from the rate shown; a typed rate is used, not listed.
    EXPECT_EQ(baud->currentIndex(), 11);
    baud->lineEdit()->selectAll();
    QTest::keyClicks(baud->lineEdit(), "250000");
    QTest::keyClick(baud->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(baud->currentText(), "250000");
    EXPECT_EQ(baud->count(), 15);
    for (const Text &t :
         {Text{"ComboBox_bits", "8"}, Text{"ComboBox_parity", "N"}, Text{"ComboBox_stop", "1"}}) {
        auto *box = find<QComboBox>(Form1, t.name);
        EXPECT_EQ(box->currentText(), t.text);
        EXPECT_FALSE(box->isEnabled()) << t.name;
    }
    EXPECT_EQ(find<QComboBox>(Form1, "ComboBox_bits")->count(), 5);
    EXPECT_EQ(find<QComboBox>(Form1, "ComboBox_stop")->itemText(1), "1,5");
}

TEST_F(MainWindow, TheToolkitsOwnTextsAreCzech) {
    QMessageBox box(QMessageBox::Question, "Confirm", "?",
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove('&'), "Ano");
    EXPECT_EQ(box.button(QMessageBox::No)->text().remove('&'), "Ne");
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text().remove('&'), "Zrušit");
    EXPECT_EQ(box.windowTitle(), "Confirm");
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    EXPECT_EQ(dialog.labelText(QFileDialog::FileName).remove('&'), "Název souboru:");
}

TEST_F(MainWindow, MenusCarryEveryItem) {
    const QStringList captions = {"Uložit přijatá data",
                                  "Uložit stavy",
                                  "Uložit odeslaná data",
                                  "Otevřít nastavení",
                                  "Ulozit nastavení",
                                  "Konec",
                                  "Makra k odeslání",
                                  "Přijímací filtry",
                                  "Stavy a data",
                                  "Přijatá data",
                                  "Odeslaná data",
                                  "Okna sem!",
                                  "Nápověda",
                                  "O programu"};
    const QStringList names = {"Uloitpijatdata1", "Uloitstavy1",     "Uloitodeslandata1",
                               "Otevtnastaven1",  "Ulozitnastaven1", "Konec1",
                               "Makrakodesln1",   "Pijmacfiltry1",   "Stavyadata1",
                               "Pijatdata1",      "Odeslandata1",    "Okna",
                               "Npovda3",         "Oprogramu2"};
    for (int i = 0; i < names.size(); ++i)
        EXPECT_EQ(find<QAction>(Form1, names[i].toLatin1())->text(), captions[i]);
}

TEST_F(MainWindow, OknaItemsShowTheirWindows) {
    const std::vector<std::pair<const char *, QWidget *>> items = {
        {"Makrakodesln1", Form_TX}, {"Pijmacfiltry1", Form_RX_filtr}, {"Stavyadata1", Form_RX_TX},
        {"Pijatdata1", Form_rxw},   {"Odeslandata1", Form_txw},       {"Npovda3", Form_help}};
    for (const auto &[name, window] : items) {
        window->hide();
        find<QAction>(Form1, name)->trigger();
        EXPECT_TRUE(window->isVisible()) << name;
    }
}

TEST_F(MainWindow, OknaSemMovesToolWindowsHomeWithoutShowingThem) {
    start();
    for (QWidget *window : toolwindows())
        window->move(300, 200);
    Form_rxw->hide();
    Form_help->move(50, 60);
    const QPoint help = Form_help->pos();
    find<QAction>(Form1, "Okna")->trigger();
    for (QWidget *window : toolwindows())
        EXPECT_EQ(window->pos(), QPoint(0, 0)) << window->objectName().toStdString();
    EXPECT_FALSE(Form_rxw->isVisible());
    EXPECT_EQ(Form_help->pos(), help);
}

TEST_F(MainWindow, HelpRemembersItsPageAcrossHideAndShow) {
    auto *pages = find<QTabWidget>(Form_help, "PageControl1");
    Form1->Npovda3Click();
    EXPECT_EQ(pages->tabText(pages->currentIndex()), "Porty");
    pages->setCurrentIndex(2);
    find<QPushButton>(Form_help, "Button1")->click();
    EXPECT_FALSE(Form_help->isVisible());
    Form1->Npovda3Click();
    EXPECT_TRUE(Form_help->isVisible());
    EXPECT_EQ(pages->tabText(pages->currentIndex()), "Filtry");
}

TEST_F(MainWindow, AboutIsModalAndShowsTheVersion) {
    auto *version = find<QLabel>(Form_about, "Label_verze");
    bool wasModal = false;
    QString shown;
    QObject owner;
    QTimer::singleShot(0, &owner, [&] {
        wasModal = Form_about->isModal() && QApplication::activeModalWidget() == Form_about;
        shown = version->text();
        Form_about->close();
    });
    Form1->Oprogramu2Click();
    EXPECT_TRUE(wasModal);
    EXPECT_EQ(shown, "v. 0.6");
    EXPECT_FALSE(Form_about->isVisible());
}

TEST_F(MainWindow, KonecClosesTheMainWindow) {
    start();
    find<QAction>(Form1, "Konec1")->trigger();
    EXPECT_FALSE(Form1->isVisible());
}

TEST_F(MainWindow, ClosingTheMainWindowEndsTheProgramWhateverIsOpen) {
    start();
    Form1->Npovda3Click();
    ASSERT_TRUE(Form_help->isVisible());
    ASSERT_TRUE(Form_TX->isVisible());
    bool stuck = false;
    QTimer::singleShot(0, Form1, [] { Form1->close(); });
    // Ends the loop if the close did not; dies with the test otherwise.
    QTimer failsafe;
    failsafe.setSingleShot(true);
    QObject::connect(&failsafe, &QTimer::timeout, [&] {
        stuck = true;
        QApplication::exit(1);
    });
    failsafe.start(3000);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(stuck);
}
