// The capture of every log entry to a file, through the real windows and a
// real UDP peer on 127.0.0.1.
#include "udp_fixture.h"
#include "wait_for.h"

#include "filter_list_window.h"
#include "filter_row.h"
#include "log_seam.h"
#include "log_view.h"
#include "macro_list_window.h"
#include "macro_row.h"
#include "states_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QUdpSocket>

namespace {

class Capture : public UdpFixture {
protected:
    QString capturefile() const { return dir.filePath("capture.tsv"); }

    // The user checks the menu item and chooses the file.
    void startcapture(const QString &file) {
        fakeDialogs().files.push_back(file);
        Form1->Zaznamdosouboru1->trigger();
    }

    // The capture's lines once it has written them.
    QStringList lines(int atleast) {
        QStringList found;
        waitfor([&] {
            QFile file(capturefile());
            found.clear();
            if (file.open(QIODevice::ReadOnly))
                found = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
            return found.size() >= atleast;
        });
        return found;
    }
};

// TIME KIND ADDRESS MACROS TEXT HEX, the time in the capture's own form.
QStringList fields(const QString &line) {
    const QStringList parts = line.split('\t');
    EXPECT_EQ(parts.size(), 6) << line.toStdString();
    EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)")
                    .match(parts.value(0))
                    .hasMatch())
        << parts.value(0).toStdString();
    return parts.mid(1);
}

TEST_F(Capture, EveryKindOfEntryIsCapturedWholeWhateverTheLogsShow) {
    Form_TX->tx_frames[1]->Edit_popis->setText("ack");
    Form_TX->tx_frames[1]->Edit_data->setText("00 09 7F 80 FF");
    Form_TX->tx_frames[1]->CheckBox_hex->setChecked(true);
    Form_RX_filtr->filtr_frames[1]->Edit_filtr->setText("<stx>");
    Form_RX_filtr->filtr_frames[1]->ComboBox_filtr_macro->setEditText("ack");
    Form_RX_filtr->filtr_frames[1]->CheckBox_filtr_active->setChecked(true);
    startcapture(capturefile());
    ASSERT_TRUE(Form1->Zaznamdosouboru1->isChecked());
    EXPECT_TRUE(fakeDialogs().fileDialogs.back().title.contains("připisuje"));

    Form1->Button_UDP_On->click();
    const quint16 port = Form1->session.linkas<UdpLink>(LinkKind::Udp).localPort();
    peer.writeDatagram(QByteArray("\x02\x00\x09\x7F\x80\xFF", 6), QHostAddress::LocalHost, port);
    ASSERT_TRUE(waitfor([&] { return peer.hasPendingDatagrams(); }));
    Form1->Button_UDP_On->click();
    Form_TX->tx_frames[1]->Button_send->click();

    const QStringList got = lines(5);
    ASSERT_EQ(got.size(), 5) << got.join("\n").toStdString();
    const QString peerport = QString::number(peer.localPort());
    EXPECT_EQ(fields(got[0]), (QStringList{"STATE", "", "", "UDP server připojen", ""}));
    EXPECT_EQ(fields(got[1]),
              (QStringList{"RX", "127.0.0.1:" + peerport, "ack",
                           QString::fromUtf8("<stx><nul><tab>\x7F€˙"), "02 00 09 7F 80 FF"}));
    EXPECT_EQ(fields(got[2]),
              (QStringList{"TX", "127.0.0.1 : " + peerport, "",
                           QString::fromUtf8("<nul><tab>\x7F€˙"), "00 09 7F 80 FF"}));
    EXPECT_EQ(fields(got[3]), (QStringList{"STATE", "", "", "UDP server odpojen", ""}));
    EXPECT_EQ(fields(got[4]), (QStringList{"ERROR", "", "", "CHYBA: Žádné aktivní připojení", ""}));
    EXPECT_TRUE(seam::texts(Form_RX_TX->RichEdit_mix).filter("Přijal").isEmpty())
        << "the logs showed no records: their boxes are unchecked";

    Form1->Zaznamdosouboru1->trigger();
    EXPECT_FALSE(Form1->Zaznamdosouboru1->isChecked());
    Form1->Button_UDP_On->click();
    EXPECT_EQ(lines(6).size(), 5) << "nothing after the capture stopped";
}

TEST_F(Capture, TheNextStartGoesOnAppending) {
    startcapture(capturefile());
    Form1->Button_UDP_On->click();
    ASSERT_EQ(lines(1).size(), 1);
    ASSERT_TRUE(Form1->close());
    destroyforms();
    createforms();
    Form1->settingsfile = dir.filePath("default.ini");
    start();
    EXPECT_TRUE(Form1->Zaznamdosouboru1->isChecked());
    Form1->ComboBox_pripojeni->setCurrentIndex(3);
    Form1->Button_UDP_On->click();
    const QStringList got = lines(3);
    ASSERT_EQ(got.size(), 3) << got.join("\n").toStdString();
    EXPECT_EQ(fields(got[0]).value(3), "UDP server připojen");
    EXPECT_EQ(fields(got[1]).value(3), "UDP server odpojen");
    EXPECT_EQ(fields(got[2]).value(3), "UDP server připojen");
}

TEST_F(Capture, AFullDiskStopsTheCaptureWithOneErrorAndTheProgramGoesOn) {
    Form_RX_TX->CheckBox_stavy->setChecked(true);
    // A file whose device is full.
    const QString full = dir.filePath("full.tsv");
    ASSERT_TRUE(QFile::link("/dev/full", full));
    startcapture(full);
    ASSERT_TRUE(Form1->Zaznamdosouboru1->isChecked());
    Form1->Button_UDP_On->click();
    const QString message = "Unable to write to " + full + ": No space left on device";
    ASSERT_TRUE(waitfor([] { return !fakeDialogs().errors.isEmpty(); }));
    EXPECT_EQ(fakeDialogs().errors, QStringList{message});
    EXPECT_FALSE(Form1->Zaznamdosouboru1->isChecked());
    EXPECT_EQ(seam::texts(Form_RX_TX->RichEdit_mix),
              (QStringList{"UDP server připojen", "CHYBA: " + message}));
    Form1->Button_UDP_On->click();
    EXPECT_TRUE(Form1->session.isopen(LinkKind::Udp) == false);
    EXPECT_EQ(fakeDialogs().errors.size(), 1);
}

TEST_F(Capture, MillisecondsInEveryLogAreOneMenuItem) {
    Form_RX_TX->CheckBox_time->setChecked(true);
    Form_RX_TX->CheckBox_stavy->setChecked(true);
    Form_RX_TX->CheckBox_rx->setChecked(true);
    Form1->Casmilisekundy1->trigger();
    Form1->Button_UDP_On->click();
    peer.writeDatagram(QByteArray("x"), QHostAddress::LocalHost,
                       Form1->session.linkas<UdpLink>(LinkKind::Udp).localPort());
    ASSERT_TRUE(waitfor([] { return seam::texts(Form_RX_TX->RichEdit_mix).size() >= 3; }));
    EXPECT_TRUE(QRegularExpression(R"(^\d{1,2}:\d\d:\d\d\.\d{3} Přijal data)")
                    .match(seam::texts(Form_RX_TX->RichEdit_mix).value(1))
                    .hasMatch())
        << seam::texts(Form_RX_TX->RichEdit_mix).join("|").toStdString();
    ASSERT_TRUE(Form1->close());
    QFile saved(dir.filePath("default.ini"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().contains("show_ms=1"));
}

} // namespace
