// The settings file through the real windows: loaded at the first
// activation, saved at every close, opened and saved from the menu.
#include "forms_fixture.h"

#include "filter_list_window.h"
#include "filter_row.h"
#include "ini_file.h"
#include "macro_list_window.h"
#include "macro_row.h"
#include "received_window.h"
#include "sent_window.h"
#include "states_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <unistd.h>

#include "unprivileged.h"

namespace {

class Settings : public FormsTest {
protected:
    QString file() const { return Form1->settingsfile; }

    void writefile(const QByteArray &content) {
        QFile out(file());
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(content);
    }

    QByteArray readfile(const QString &path) const {
        QFile in(path);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }

    IniFile ini() const { return IniFile::parse(readfile(file()).toStdString()); }

    // Saves as a close does, then starts again from fresh windows that load
    // the same file.
    void restart() {
        const QString path = file();
        ASSERT_TRUE(Form1->close());
        destroyforms();
        createforms();
        Form1->settingsfile = path;
        start();
    }

    static TFrame_tx *macro(int n) { return Form_TX->tx_frames[n]; }
    static TFrame_filtr *filter(int n) { return Form_RX_filtr->filtr_frames[n]; }
};

TEST_F(Settings, AFileWithOnlyTheConnectionBringsUpDefaults) {
    writefile("[Form_main]\r\nconnection=3\r\n");
    start();
    EXPECT_EQ(Form1->ComboBox_pripojeni->currentIndex(), 3);
    EXPECT_TRUE(Form1->Panel_UDP->isVisible());
    EXPECT_FALSE(Form1->Panel_RS->isVisible());
    EXPECT_EQ(Form1->Edit_tx_adr->text(), "10.0.0.7");
    EXPECT_EQ(Form1->Edit_tx_port->text(), "9876");
    EXPECT_EQ(Form1->Edit_rx_port->text(), "9876");
    EXPECT_EQ(Form1->Edit_icmp_a->text(), "127.0.0.1");
    EXPECT_EQ(Form1->Edit_tcp_k_addr->text(), "127.0.0.1");
    EXPECT_EQ(Form1->Edit_tcp_k_port->text(), "555");
    EXPECT_EQ(Form1->Edit_TCP_S_port->text(), "666");
    EXPECT_EQ(Form1->ComboBox_baud->currentText(), "115200");
    EXPECT_EQ(Form1->ComboBox_bits->currentText(), "8");
    for (QWidget *window :
         std::initializer_list<QWidget *>{Form_TX, Form_RX_filtr, Form_RX_TX, Form_rxw, Form_txw})
        EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(Form_rxw->pos(), QPoint(500, 80));
    ASSERT_EQ(Form_TX->tx_count, 1);
    EXPECT_EQ(macro(1)->Edit_popis->text(), "tx_1");
    EXPECT_EQ(macro(1)->Edit_data->text(), "data_1");
    EXPECT_EQ(macro(1)->Edit_interval->text(), "1000");
    ASSERT_EQ(Form_RX_filtr->filtr_count, 1);
    EXPECT_TRUE(filter(1)->Edit_filtr->text().isEmpty());
    EXPECT_FALSE(filter(1)->CheckBox_filtr_active->isChecked());
    EXPECT_EQ(Form_TX->tx_selected, 1);
}

TEST_F(Settings, ReconnectionIsAMenuItemKeptOnlyOnceUsed) {
    writefile("[Form_main]\r\nconnection=3\r\n");
    start();
    EXPECT_FALSE(Form1->Obnovovatspojeni1->isChecked());
    restart();
    EXPECT_FALSE(ini().hasKey("Form_main", "reconnect")) << "an older file stays as it was";

    Form1->Obnovovatspojeni1->trigger();
    EXPECT_TRUE(Form1->session.linkas<TcpClientLink>(LinkKind::TcpClient).reconnect());
    restart();
    EXPECT_TRUE(ini().readBool("Form_main", "reconnect", false));
    EXPECT_TRUE(Form1->Obnovovatspojeni1->isChecked());
    EXPECT_TRUE(Form1->session.link(LinkKind::Serial).reconnect());

    Form1->Obnovovatspojeni1->trigger();
    restart();
    EXPECT_EQ(ini().readString("Form_main", "reconnect", ""), "0") << "kept once there";
    EXPECT_FALSE(Form1->Obnovovatspojeni1->isChecked());
}

TEST_F(Settings, RowCountsAreKeptBetweenOneAndAHundred) {
    for (const char *count : {"0", "-5"}) {
        destroyforms();
        createforms();
        Form1->settingsfile = dir.filePath("counts.ini");
        writefile(QByteArray("[Form_TX]\nTX_framecount=") + count +
                  "\n[Frame_TX_1]\ndescribe=first\n");
        start();
        ASSERT_EQ(Form_TX->tx_count, 1) << count;
        EXPECT_EQ(macro(1)->Edit_popis->text(), "first");
        EXPECT_EQ(macro(1)->Edit_data->text(), "data_1");
    }
    destroyforms();
    createforms();
    Form1->settingsfile = dir.filePath("many.ini");
    writefile("[Form_TX]\nTX_framecount=2000000000\n[Form_RX_filtr]\nfiltr_framecount=999\n");
    start();
    EXPECT_EQ(Form_TX->tx_count, 100);
    EXPECT_EQ(Form_RX_filtr->filtr_count, 100);
    EXPECT_EQ(macro(100)->Edit_interval->text(), "100000");
}

TEST_F(Settings, MissingRowSectionsTakeTheirNumberedDefaults) {
    writefile("[Form_TX]\nTX_framecount=3\n[Frame_TX_1]\ndescribe=a\ndata=b\ninterval=5\n");
    start();
    ASSERT_EQ(Form_TX->tx_count, 3);
    EXPECT_EQ(macro(1)->Edit_popis->text(), "a");
    EXPECT_EQ(macro(2)->Edit_popis->text(), "tx_2");
    EXPECT_EQ(macro(2)->Edit_data->text(), "data_2");
    EXPECT_EQ(macro(2)->Edit_interval->text(), "2000");
    EXPECT_EQ(macro(3)->Edit_interval->text(), "3000");
    EXPECT_EQ(macro(3)->objectName(), "tx_frame_3");
}

TEST_F(Settings, FewerRowsLeaveTheOldSectionsInTheFile) {
    writefile("[Form_TX]\nTX_framecount=5\n");
    start();
    restart();
    while (Form_TX->tx_count > 2)
        Form_TX->Button_del_txClick();
    restart();
    EXPECT_EQ(Form_TX->tx_count, 2);
    const IniFile saved = ini();
    EXPECT_EQ(saved.readInteger("Form_TX", "TX_framecount", 0), 2);
    EXPECT_EQ(saved.readString("Frame_TX_5", "describe", "gone"), "tx_5");
}

TEST_F(Settings, TheMaximumHeightWinsOverTheStoredHeight) {
    writefile("[Form_TX]\nheight=400\nTX_framecount=2\n[Form_RX_filtr]\nheight=400\n"
              "filtr_framecount=1\n");
    start();
    EXPECT_EQ(Form_TX->height(), 146);
    EXPECT_EQ(Form_RX_filtr->height(), 123);
}

TEST_F(Settings, OddValuesFallBackAsTheyShould) {
    writefile("[FORM_MAIN]\nconnection=9\nWindowState=7\n[Form_RXW]\nvisible=2\n"
              "[Form_TXW]\nvisible=yes\n[Form_RX_TX]\nvisible=0\n[form_tx]\nLEFT=0x10\n");
    Form1->ComboBox_pripojeni->setCurrentIndex(2);
    Form1->ComboBox_pripojeniChange();
    start();
    EXPECT_EQ(Form1->ComboBox_pripojeni->currentIndex(), -1);
    EXPECT_TRUE(Form1->Panel_TCP_S->isVisible());
    EXPECT_FALSE(Form1->isMaximized());
    EXPECT_TRUE(Form_rxw->isVisible());
    EXPECT_TRUE(Form_txw->isVisible());
    EXPECT_FALSE(Form_RX_TX->isVisible());
    EXPECT_EQ(Form_TX->x(), 16);
    ASSERT_TRUE(Form1->close());
    EXPECT_EQ(ini().readInteger("Form_main", "connection", 0), -1);
}

TEST_F(Settings, TextsComeBackTrimmedUnquotedAndWithTheirEscapes) {
    writefile("[Frame_TX_1]\ndata=  <cr>x<lf>  \ndescribe=\"  quoted  \"\n");
    start();
    EXPECT_EQ(macro(1)->Edit_data->text(), "<cr>x<lf>");
    EXPECT_EQ(macro(1)->Edit_popis->text(), "  quoted  ");
    EXPECT_FALSE(macro(1)->CheckBox_hex->isChecked()) << "a file without the key";
    macro(1)->CheckBox_hex->setChecked(true);
    macro(1)->Edit_data->setText("  padded  ");
    const QString longtext(40000, QChar('d'));
    macro(1)->Edit_popis->setText(longtext);
    macro(1)->Edit_interval->setText("100000");
    macro(1)->CheckBox1->setChecked(true);
    restart();
    EXPECT_EQ(macro(1)->Edit_data->text(), "padded");
    EXPECT_EQ(macro(1)->Edit_popis->text(), longtext) << "a long value comes back whole";
    EXPECT_TRUE(macro(1)->CheckBox_hex->isChecked());
    EXPECT_TRUE(readfile(file()).contains("interval=100000\nhex=1\n"));
    EXPECT_FALSE(macro(1)->CheckBox1->isChecked());
    EXPECT_TRUE(macro(1)->Edit_interval->isEnabled());
}

TEST_F(Settings, AFreshFileHasTheSavedLayout) {
    start();
    ASSERT_TRUE(Form1->close());
    const QByteArray content = readfile(file());
    EXPECT_TRUE(content.contains("\r\n"));
    QStringList sections;
    for (const QByteArray &line : content.split('\n'))
        if (line.startsWith('['))
            sections << QString::fromLatin1(line.trimmed());
    EXPECT_EQ(sections,
              (QStringList{"[Form_main]", "[Form_RXW]", "[Form_TXW]", "[Form_RX_TX]", "[Form_TX]",
                           "[Frame_TX_1]", "[Form_RX_filtr]", "[Frame_filtr_1]"}));
    EXPECT_TRUE(content.contains("show_time=0\r\n[Form_TXW]"));
    EXPECT_TRUE(content.contains("show_time=0\r\n[Form_RX_TX]"));
    EXPECT_TRUE(content.contains("TX_framecount=1\r\n[Frame_TX_1]"));
    EXPECT_TRUE(content.startsWith("[Form_main]\r\nLeft="));
}

TEST_F(Settings, ForeignLinesSurviveASaveByteForByte) {
    const QByteArray foreign = "; a comment\n[Other]\nkey = value \nodd line\n\n";
    writefile(foreign + "[Form_main]\nconnection=1\nmine=keep\n");
    start();
    ASSERT_TRUE(Form1->close());
    const QByteArray content = readfile(file());
    EXPECT_TRUE(content.startsWith(foreign + "[Form_main]\nconnection=1\nmine=keep\n"));
    EXPECT_FALSE(content.contains("\r\n")) << "the file's own line ends are kept";
}

TEST_F(Settings, ARandomSetUpSurvivesASaveAndALoad) {
    QRandomGenerator random(7);
    // Blanks at the ends of a text are not kept, by design; inside they are.
    const QStringList words = {"příliš", "žluťoučký", "<cr><lf>", "$41#065", "x\"  \"y", "kůň",
                               "a=b",    "[x]",       ";",        "'q'x",    "  "};
    auto word = [&] {
        if (random.bounded(6) == 0)
            return QString();
        return "t" + words[random.bounded(words.size())] + "t";
    };
    start();
    for (int i = 0; i < 4; ++i)
        Form_TX->Button_new_txClick();
    Form_RX_filtr->Button_filtr_newClick();
    for (int n = 1; n <= Form_TX->tx_count; ++n) {
        macro(n)->Edit_popis->setText(word());
        macro(n)->Edit_data->setText(word() + word());
        macro(n)->Edit_interval->setText(QString::number(random.bounded(100000)));
    }
    for (int n = 1; n <= Form_RX_filtr->filtr_count; ++n) {
        filter(n)->Edit_filtr->setText(word());
        filter(n)->ComboBox_filtr_macro->setEditText(word());
        filter(n)->CheckBox_filtr_active->setChecked(n == 1);
        filter(n)->CheckBox_filtr_hex->setChecked(n == 2);
    }
    Form1->Edit_tx_adr->setText("ěščř.example");
    Form1->ComboBox_pripojeni->setCurrentIndex(4);
    Form_RX_TX->CheckBox_hex->setChecked(true);
    Form_RX_TX->CheckBox_stavy->setChecked(true);
    Form_txw->CheckBox_time->setChecked(true);
    Form_rxw->ComboBox_format->setCurrentIndex(3);
    Form_RX_filtr->hide();

    QStringList before;
    for (int n = 1; n <= Form_TX->tx_count; ++n)
        before << macro(n)->Edit_popis->text() << macro(n)->Edit_data->text()
               << macro(n)->Edit_interval->text();
    for (int n = 1; n <= Form_RX_filtr->filtr_count; ++n)
        before << filter(n)->Edit_filtr->text() << filter(n)->ComboBox_filtr_macro->currentText();
    restart();
    QStringList after;
    for (int n = 1; n <= Form_TX->tx_count; ++n)
        after << macro(n)->Edit_popis->text() << macro(n)->Edit_data->text()
              << macro(n)->Edit_interval->text();
    for (int n = 1; n <= Form_RX_filtr->filtr_count; ++n)
        after << filter(n)->Edit_filtr->text() << filter(n)->ComboBox_filtr_macro->currentText();
    EXPECT_EQ(after, before);
    EXPECT_TRUE(filter(1)->CheckBox_filtr_active->isChecked());
    EXPECT_FALSE(filter(2)->CheckBox_filtr_active->isChecked());
    EXPECT_TRUE(filter(2)->CheckBox_filtr_hex->isChecked());
    EXPECT_EQ(Form1->Edit_tx_adr->text(), "ěščř.example");
    EXPECT_EQ(Form1->ComboBox_pripojeni->currentIndex(), 4);
    EXPECT_TRUE(Form_RX_TX->CheckBox_hex->isChecked());
    EXPECT_FALSE(Form_RX_TX->CheckBox_rx->isChecked());
    EXPECT_TRUE(Form_txw->CheckBox_time->isChecked());
    EXPECT_FALSE(Form_rxw->CheckBox_time->isChecked());
    EXPECT_EQ(Form_rxw->ComboBox_format->currentIndex(), 3);
    EXPECT_FALSE(Form_RX_filtr->isVisible());
    // Windows-1250 on disk.
    EXPECT_TRUE(readfile(file()).contains("tx_adr=\xEC\x9A\xE8\xF8.example"));
}

TEST_F(Settings, HostileFilesNeverStopTheProgram) {
    const QByteArray nasty[] = {
        QByteArray("\0\x01\xff[Form_TX\n=\n[]\nTX_framecount", 31),
        QByteArray("[Form_main]\nconnection=3"), // no final newline
        "[Form_main]\ntx_adr=" + QByteArray(10 << 20, 'x') + "\n",
        [] {
            QByteArray many;
            for (int i = 0; i < 5000; ++i)
                many += "[Frame_TX_" + QByteArray::number(i) + "]\ndescribe=d\n";
            return many + "[Form_TX]\nTX_framecount=50\n";
        }(),
    };
    for (const QByteArray &content : nasty) {
        destroyforms();
        createforms();
        Form1->settingsfile = dir.filePath("nasty.ini");
        writefile(content);
        start();
        EXPECT_TRUE(Form1->settingsloaded);
        EXPECT_GE(Form_TX->tx_count, 1);
        if (content.contains("tx_adr")) {
            EXPECT_EQ(Form1->Edit_tx_adr->text().size(), 10 << 20) << "read whole";
        }
    }
    EXPECT_EQ(Form_TX->tx_count, 50);
    EXPECT_EQ(macro(7)->Edit_popis->text(), "d");
    EXPECT_TRUE(fakeDialogs().errors.isEmpty());
}

TEST_F(Settings, OpeningAMissingFileStartsFromTheDefaults) {
    start();
    Form_TX->Button_new_txClick();
    macro(1)->Edit_popis->setText("changed");
    Form1->ComboBox_pripojeni->setCurrentIndex(3);
    const QString missing = dir.filePath("fresh.ini");
    fakeDialogs().files.push_back(missing);
    Form1->Otevtnastaven1->trigger();
    EXPECT_EQ(Form1->settingsfile, missing);
    EXPECT_EQ(Form1->settingstitle, "fresh - ");
    EXPECT_EQ(Form_TX->tx_count, 1);
    EXPECT_EQ(macro(1)->Edit_popis->text(), "tx_1");
    EXPECT_EQ(Form1->ComboBox_pripojeni->currentIndex(), 0);
    EXPECT_EQ(Form1->windowTitle(), "Krovan 0.6 - fresh -  odpojen");
    const FileDialogSetup &setup = fakeDialogs().fileDialogs.back();
    EXPECT_EQ(setup.filter, "Soubory s nastavením|*.ini");
    EXPECT_FALSE(setup.mustExist);
    ASSERT_TRUE(Form1->close());
    EXPECT_TRUE(QFile::exists(missing));
}

TEST_F(Settings, SavingToAnotherFileMakesItTheCurrentOne) {
    start();
    const QString other = dir.filePath("test.ini");
    writefile("");
    {
        QFile out(other);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("[Form_main]\nconnection=2\n");
    }
    // No to the overwrite question: nothing changes.
    fakeDialogs().files.push_back(other);
    fakeDialogs().answers.push_back(Answer::No);
    Form1->Ulozitnastaven1->trigger();
    EXPECT_EQ(fakeDialogs().confirmations.value(0),
              "Přepsat existující soubor? " + other + " [Yes/No/Cancel]");
    EXPECT_NE(Form1->settingsfile, other);
    EXPECT_EQ(readfile(other), "[Form_main]\nconnection=2\n");

    fakeDialogs().files.push_back(other);
    Form1->Ulozitnastaven1->trigger();
    EXPECT_EQ(Form1->settingsfile, other);
    EXPECT_EQ(Form1->settingstitle, "test - ");
    EXPECT_EQ(IniFile::load(other.toStdString()).readInteger("Form_main", "connection", 9), 0);
    macro(1)->Edit_popis->setText("after");
    ASSERT_TRUE(Form1->close());
    EXPECT_EQ(IniFile::load(other.toStdString()).readString("Frame_TX_1", "describe", ""), "after");
    EXPECT_TRUE(readfile(dir.filePath("default.ini")).isEmpty());
}

TEST_F(Settings, ASaveThatFailsAbandonsTheClose) {
    start();
    Form1->ComboBox_pripojeni->setCurrentIndex(3);
    Form1->Edit_rx_port->setText("0");
    Form1->Button_UDP_On->click();
    ASSERT_TRUE(Form1->session.isopen(LinkKind::Udp));
    // A directory where the file should be fails for root as well.
    QFile blocker(dir.filePath("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Form1->settingsfile = dir.filePath("blocked/default.ini");
    EXPECT_FALSE(Form1->close());
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_FALSE(Form1->session.isopen(LinkKind::Udp));
    EXPECT_EQ(fakeDialogs().errors,
              QStringList{"Unable to write to " + dir.filePath("blocked/default.ini")});
}

TEST_F(Settings, AReadOnlyDirectoryKeepsTheOldFile) {
    writefile("[Form_main]\nconnection=1\n");
    start();
    QFile::setPermissions(file(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther |
                                      QFile::WriteOther);
    QFile::setPermissions(dir.path(),
                          QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    // The close runs as an ordinary user, for whom the directory is closed.
    const std::string result = asunprivileged([] {
        const bool closed = Form1->close();
        return std::string(closed ? "closed" : "kept open") + ": " +
               fakeDialogs().errors.join("|").toStdString();
    });
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(result, "kept open: Unable to write to " + file().toStdString());
    EXPECT_EQ(readfile(file()), "[Form_main]\nconnection=1\n");
}

} // namespace
