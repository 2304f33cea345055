// The serial link through the real windows against pseudo-terminals the
// test makes itself: detection, open and close with their records, receive
// and answer, queued sends, and the line settings the port really gets.
#include "forms_fixture.h"

#include "filter_list_window.h"
#include "filter_row.h"
#include "log_seam.h"
#include "macro_list_window.h"
#include "macro_row.h"
#include "net_ports_window.h"
#include "pty_pair.h"
#include "ser2net_server.h"
#include "states_window.h"
#include "wait_for.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <unistd.h>

namespace {

QStringList mixtexts() {
    return seam::texts(Form_RX_TX->RichEdit_mix);
}

class Serial : public FormsTest {
protected:
    PtyPair one, three;
    QMap<int, QString> devices;
    SerialLink::DeviceTable before = SerialLink::devicetable;

    void SetUp() override {
        FormsTest::SetUp();
        devices = {{1, one.path()}, {3, three.path()}, {5, dir.filePath("gone")}};
        SerialLink::devicetable = [this](int number) { return devices.value(number); };
    }

    void TearDown() override {
        Form1->session.close(LinkKind::Serial);
        SerialLink::devicetable = before;
        FormsTest::TearDown();
    }

    static void connectbutton() { Form1->Button_RS232_On->click(); }

    static TFrame_tx *macro(int n) { return Form_TX->tx_frames[n]; }

    static void setmacro(int n, const QString &name, const QString &data) {
        while (Form_TX->tx_count < n)
            Form_TX->Button_new_tx->click();
        macro(n)->Edit_popis->setText(name);
        macro(n)->Edit_data->setText(data);
    }

    static void setfilter(const QString &text, const QString &name) {
        while (Form_RX_filtr->filtr_count < 1)
            Form_RX_filtr->Button_filtr_new->click();
        TFrame_filtr *filter = Form_RX_filtr->filtr_frames[1];
        filter->Edit_filtr->setText(text);
        filter->ComboBox_filtr_macro->setEditText(name);
        filter->CheckBox_filtr_active->setChecked(true);
    }

    static QStringList items() {
        QStringList texts;
        for (int i = 0; i < Form1->ComboBox_COM_port->count(); ++i)
            texts << Form1->ComboBox_COM_port->itemText(i);
        return texts;
    }

    static std::vector<QWidget *> fixedselectors() {
        return {Form1->ComboBox_bits, Form1->ComboBox_parity, Form1->ComboBox_stop};
    }
};

TEST_F(Serial, DetectionListsThePortsThatOpenAndLeavesThemClosed) {
    start(); // the first showing detects
    EXPECT_EQ(items(), (QStringList{"COM1", "COM3"}));

    Form_RX_TX->CheckBox_stavy->setChecked(true);
    devices[7] = one.path(); // a port that appears later
    Form1->Button_detect->click();
    EXPECT_EQ(items(), (QStringList{"COM1", "COM3", "COM7"}));
    EXPECT_EQ(Form1->ComboBox_COM_port->currentIndex(), 0);
    EXPECT_FALSE(Form1->session.isopen(LinkKind::Serial));
    EXPECT_EQ(mixtexts(), (QStringList{"COM1 připojen...", "COM1 odpojen...", "COM3 připojen...",
                                       "COM3 odpojen...", "COM7 připojen...", "COM7 odpojen..."}));
    EXPECT_EQ(Form1->windowTitle(), "Krovan 0.6 -  odpojen");
    EXPECT_TRUE(Form1->ComboBox_pripojeni->isEnabled());
    EXPECT_TRUE(Form1->ComboBox_COM_port->isEnabled());
    for (QWidget *selector : fixedselectors())
        EXPECT_FALSE(selector->isEnabled());
    EXPECT_TRUE(
        Form1->ComboBox_COM_port->itemData(1, Qt::ToolTipRole).toString().startsWith(three.path()));
    EXPECT_TRUE(fakeDialogs().errors.isEmpty());

    // Another kind selected: the ports still open and close, without records.
    Form1->ComboBox_pripojeni->setCurrentIndex(3);
    Form1->Button_detect->click();
    EXPECT_EQ(items().size(), 3);
    EXPECT_EQ(mixtexts().size(), 6);
}

TEST_F(Serial, NumbersWithoutADeviceFailAtOnce) {
    devices.clear();
    for (int n = 0; n <= 255; ++n)
        devices[n] = dir.filePath("none" + QString::number(n));
    start();
    QElapsedTimer clock;
    clock.start();
    Form1->Button_detect->click();
    EXPECT_LT(clock.elapsed(), 100);
    EXPECT_TRUE(items().isEmpty());
    EXPECT_EQ(Form1->ComboBox_COM_port->currentIndex(), -1);

    // Nothing to open: the number does not convert.
    connectbutton();
    EXPECT_EQ(fakeDialogs().errors, QStringList{"'' is not a valid integer value"});
    EXPECT_FALSE(Form1->session.isopen(LinkKind::Serial));
    EXPECT_EQ(Form1->Button_RS232_On->text(), "Připojit");
}

TEST_F(Serial, AnEmptyBaudTextOrPortListFailsTheOpen) {
    start();
    Form1->ComboBox_baud->setEditText("");
    connectbutton();
    EXPECT_EQ(fakeDialogs().errors, QStringList{"'' is not a valid integer value"});
    EXPECT_FALSE(Form1->session.isopen(LinkKind::Serial));

    Form1->ComboBox_baud->setEditText("9600");
    devices.clear();
    Form1->Button_detect->click();
    ASSERT_EQ(Form1->ComboBox_COM_port->count(), 0);
    fakeDialogs().reset();
    connectbutton();
    EXPECT_EQ(fakeDialogs().errors, QStringList{"'' is not a valid integer value"});
    EXPECT_FALSE(Form1->session.isopen(LinkKind::Serial));
    EXPECT_EQ(Form1->Button_RS232_On->text(), "Připojit");
}

TEST_F(Serial, OpeningAndClosingSetTitleRecordsAndControls) {
    start();
    Form_RX_TX->CheckBox_stavy->setChecked(true);
    Form1->ComboBox_COM_port->setCurrentIndex(1);
    connectbutton();
    ASSERT_TRUE(Form1->session.isopen(LinkKind::Serial));
    EXPECT_EQ(Form1->session.linkas<SerialLink>(LinkKind::Serial).number(), 3);
    EXPECT_EQ(Form1->windowTitle(), "Krovan 0.6 -  RS232 připojen");
    EXPECT_EQ(Form1->Button_RS232_On->text(), "Odpojit");
    EXPECT_EQ(mixtexts(), QStringList{"COM3 připojen..."});
    for (QWidget *control :
         std::initializer_list<QWidget *>{Form1->ComboBox_pripojeni, Form1->ComboBox_COM_port,
                                          Form1->Button_detect, Form1->ComboBox_baud})
        EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();

    connectbutton();
    EXPECT_FALSE(Form1->session.isopen(LinkKind::Serial));
    EXPECT_EQ(Form1->windowTitle(), "Krovan 0.6 -  odpojen");
    EXPECT_EQ(Form1->Button_RS232_On->text(), "Připojit");
    EXPECT_EQ(mixtexts(), (QStringList{"COM3 připojen...", "COM3 odpojen..."}));
    EXPECT_TRUE(Form1->ComboBox_baud->isEnabled());
    for (QWidget *selector : fixedselectors())
        EXPECT_FALSE(selector->isEnabled());

    // Every other caller closes the port with its notification.
    connectbutton();
    Form1->Button_ICMP_On->click();
    EXPECT_FALSE(Form1->session.isopen(LinkKind::Serial));
    EXPECT_EQ(mixtexts().mid(2), (QStringList{"COM3 připojen...", "COM3 odpojen..."}));
    EXPECT_EQ(Form1->Button_RS232_On->text(), "Připojit");
    Form1->Button_ICMP_On->click();
    connectbutton();
    Form1->close();
    EXPECT_FALSE(Form1->session.isopen(LinkKind::Serial));
    EXPECT_EQ(mixtexts().last(), "COM3 odpojen...");
}

TEST_F(Serial, WithAnotherKindSelectedThePortOpensSilently) {
    start();
    Form_RX_TX->CheckBox_stavy->setChecked(true);
    Form1->ComboBox_pripojeni->setCurrentIndex(1);
    const QString title = Form1->windowTitle();
    connectbutton(); // the TCP client's close writes its own record first
    ASSERT_TRUE(Form1->session.isopen(LinkKind::Serial));
    EXPECT_EQ(mixtexts(), QStringList{"TCP klient odpojen"});
    EXPECT_TRUE(Form1->ComboBox_pripojeni->isEnabled());
    EXPECT_FALSE(Form1->windowTitle().endsWith("RS232 připojen"));
}

TEST_F(Serial, ReceivedBytesArriveInOrderAndAreAnsweredOnTheLine) {
    start();
    Form_RX_TX->CheckBox_adr->setChecked(true);
    Form_RX_TX->CheckBox_rx->setChecked(true);
    setmacro(1, "ack", "<ack>");
    setfilter("", "ack");
    connectbutton();
    ASSERT_TRUE(Form1->session.isopen(LinkKind::Serial));

    QByteArray data;
    for (int i = 0; i < 100000; ++i)
        data += static_cast<char>('A' + (i * 7 + i / 26) % 26);
    ASSERT_TRUE(one.feed(data));

    QByteArray arrived;
    int blocks = 0;
    auto collect = [&] {
        arrived.clear();
        blocks = 0;
        const QStringList texts = mixtexts();
        for (int i = 0; i + 1 < texts.size(); ++i)
            if (texts[i] == "Přijal data z: COM1 :") {
                arrived += texts[i + 1].mid(2).toLatin1();
                ++blocks;
            }
        return arrived.size() >= data.size();
    };
    ASSERT_TRUE(waitfor(collect, 5000)) << arrived.size();
    EXPECT_TRUE(arrived == data) << "every byte once and in order";
    const QByteArray replies = one.receive(blocks);
    EXPECT_EQ(replies, QByteArray(blocks, '\x06'));
    EXPECT_GT(blocks, 1) << "a long burst comes in bounded blocks";
    EXPECT_TRUE(fakeDialogs().errors.isEmpty());
}

TEST_F(Serial, MacrosAreQueuedWholeOrNotAtAll) {
    start();
    Form_RX_TX->CheckBox_adr->setChecked(true);
    Form_RX_TX->CheckBox_tx->setChecked(true);
    setmacro(1, "m", "ping<cr>");
    setmacro(2, "full", QString(4096, 'x'));
    setmacro(3, "over", QString(5000, 'y'));
    connectbutton();

    macro(1)->Button_send->click();
    EXPECT_EQ(one.receive(5), "ping\r");
    EXPECT_EQ(mixtexts().value(0), "Odeslal data na: COM1 :");

    macro(2)->Button_send->click();
    EXPECT_EQ(one.receive(5 + 4096).size(), 5 + 4096);
    macro(3)->Button_send->click();
    EXPECT_EQ(mixtexts().last(), "CHYBA: Nepovedlo se odeslat.");
    EXPECT_TRUE(Form1->session.isopen(LinkKind::Serial));
    EXPECT_EQ(one.receive(5 + 4096 + 1, 200).size(), 5 + 4096) << "no part of it went out";

    macro(1)->Button_send->click();
    EXPECT_TRUE(one.receive(5 + 4096 + 5).endsWith("ping\r"));
    EXPECT_TRUE(fakeDialogs().errors.isEmpty());
}

TEST_F(Serial, TheLineGetsTheTypedBaudRateAndAlwaysNoParityOneStopBit) {
    QFile ini(Form1->settingsfile);
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Form_main]\ncom_port=1\ncom_baud=250000\ncom_bits=2\ncom_parity=2\ncom_stop=2\n");
    ini.close();
    start();
    ASSERT_EQ(Form1->ComboBox_parity->currentText(), "E");
    ASSERT_EQ(Form1->ComboBox_stop->currentText(), "2");
    connectbutton();
    ASSERT_TRUE(Form1->session.isopen(LinkKind::Serial));
    LineSettings line = linesettings(three.slavefd());
    EXPECT_EQ(line.speed, 250000u);
    // A pseudo-terminal keeps 8 data bits and no parity whatever it is told,
    // so of the frame only the stop bits can be seen on it.
    EXPECT_FALSE(line.twostopbits);
    EXPECT_FALSE(line.hardwareflow);
    EXPECT_FALSE(line.softwareflow);

    connectbutton();
    Form1->ComboBox_baud->setEditText("1000000");
    connectbutton();
    EXPECT_EQ(linesettings(three.slavefd()).speed, 1000000u);
}

TEST_F(Serial, APortThatWentAwayIsReported) {
    const QString link = dir.filePath("ttyLink");
    ASSERT_EQ(::symlink(one.path().toLocal8Bit().constData(), link.toLocal8Bit().constData()), 0);
    devices = {{9, link}};
    start();
    ASSERT_EQ(items(), QStringList{"COM9"});
    EXPECT_TRUE(Form1->ComboBox_COM_port->itemData(0, Qt::ToolTipRole)
                    .toString()
                    .startsWith(link + " -> " + one.path()));

    QFile::remove(link);
    Form_RX_TX->CheckBox_stavy->setChecked(true);
    connectbutton();
    EXPECT_EQ(fakeDialogs().errors, QStringList{"COM9 (" + link + "): no such device."});
    EXPECT_EQ(Form1->Button_RS232_On->text(), "Připojit");
    EXPECT_NE(Form1->windowTitle(), "Krovan 0.6 -  RS232 připojen");
    EXPECT_TRUE(mixtexts().isEmpty());

    // An open port whose line hangs up is closed with its notification.
    devices = {{9, three.path()}};
    connectbutton();
    ASSERT_TRUE(Form1->session.isopen(LinkKind::Serial));
    three.hangup();
    ASSERT_TRUE(waitfor([] { return !Form1->session.isopen(LinkKind::Serial); }));
    EXPECT_EQ(mixtexts(), (QStringList{"COM9 připojen...", "COM9 odpojen..."}));
    EXPECT_EQ(Form1->Button_RS232_On->text(), "Připojit");
    EXPECT_TRUE(Form1->ComboBox_pripojeni->isEnabled());
}

// Through the program's own table: a USB adapter's device name.
TEST_F(Serial, AUsbAdapterIsFoundUnderItsComNumber) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "creating /dev/ttyUSB<k> needs root";
    int k = 31;
    while (k >= 0 && QFile::exists("/dev/ttyUSB" + QString::number(k)))
        --k;
    ASSERT_GE(k, 0);
    const QString device = "/dev/ttyUSB" + QString::number(k);
    ASSERT_EQ(::symlink(one.path().toLocal8Bit().constData(), device.toLocal8Bit().constData()), 0);
    struct Remove {
        QString path;
        ~Remove() { QFile::remove(path); }
    } remove{device};
    SerialLink::devicetable = serialdevice;
    start();
    const QString name = "COM" + QString::number(33 + k);
    const int index = items().indexOf(name);
    ASSERT_GE(index, 0) << items().join(",").toStdString();
    EXPECT_TRUE(
        Form1->ComboBox_COM_port->itemData(index, Qt::ToolTipRole).toString().startsWith(device));
    Form1->ComboBox_COM_port->setCurrentIndex(index);
    setmacro(1, "m", "hello");
    connectbutton();
    ASSERT_TRUE(Form1->session.isopen(LinkKind::Serial));
    macro(1)->Button_send->click();
    EXPECT_EQ(one.receive(5), "hello");
}

} // namespace

namespace {

// A device path that the test makes, removes and makes again, as a USB
// adapter's node comes and goes.
class ComingBack : public Serial {
protected:
    QString link;

    void SetUp() override {
        Serial::SetUp();
        link = dir.filePath("ttyBoard");
        plug(one);
        devices = {{9, link}};
        start();
        Form_RX_TX->CheckBox_stavy->setChecked(true);
        Form1->Obnovovatspojeni1->trigger();
    }
    void plug(const PtyPair &pair) {
        ASSERT_EQ(::symlink(pair.path().toLocal8Bit().constData(), link.toLocal8Bit().constData()),
                  0);
    }
    void unplug(PtyPair &pair) {
        QFile::remove(link);
        pair.hangup();
        ASSERT_TRUE(waitfor([this] { return Form1->session.link(LinkKind::Serial).waiting(); }));
    }
};

TEST_F(ComingBack, APortWhoseDeviceReturnsOpensAgainAndAnswers) {
    setmacro(1, "ack", "<ack>");
    setfilter("", "ack");
    connectbutton();
    ASSERT_TRUE(Form1->session.isopen(LinkKind::Serial));
    unplug(one);
    EXPECT_EQ(mixtexts(),
              (QStringList{"COM9 připojen...", "COM9 odpojen...", "COM9 čeká na zařízení..."}));
    EXPECT_EQ(Form1->Button_RS232_On->text(), "Odpojit");
    EXPECT_FALSE(Form1->ComboBox_COM_port->isEnabled());
    EXPECT_TRUE(Form1->windowTitle().endsWith(" čeká"));
    // Waiting is not open: a send finds no link.
    macro(1)->Button_send->click();
    EXPECT_EQ(mixtexts().last(), "CHYBA: Žádné aktivní připojení");

    PtyPair back;
    QElapsedTimer returned;
    returned.start();
    plug(back);
    ASSERT_TRUE(waitfor([] { return Form1->session.isopen(LinkKind::Serial); }, 3000));
    EXPECT_LT(returned.elapsed(), 1000);
    EXPECT_EQ(mixtexts().last(), "COM9 připojen...");
    EXPECT_TRUE(Form1->windowTitle().endsWith(" RS232 připojen"));
    ASSERT_TRUE(back.feed("hello"));
    EXPECT_EQ(back.receive(1), "\x06");
}

TEST_F(ComingBack, OdpojitWhileWaitingStopsTheWait) {
    connectbutton();
    ASSERT_TRUE(Form1->session.isopen(LinkKind::Serial));
    unplug(one);
    connectbutton();
    EXPECT_FALSE(Form1->session.link(LinkKind::Serial).waiting());
    EXPECT_EQ(mixtexts().last(), "COM9 odpojen...");
    EXPECT_EQ(Form1->Button_RS232_On->text(), "Připojit");
    EXPECT_TRUE(Form1->ComboBox_COM_port->isEnabled());
    plug(three);
    QTest::qWait(3 * SerialLink::lookInterval / 2);
    EXPECT_FALSE(Form1->session.isopen(LinkKind::Serial));

    // A first open that finds no device waits for it instead of failing.
    QFile::remove(link);
    connectbutton();
    EXPECT_TRUE(fakeDialogs().errors.isEmpty());
    EXPECT_TRUE(Form1->session.link(LinkKind::Serial).waiting());
    EXPECT_EQ(mixtexts().last(), "COM9 čeká na zařízení...");
    plug(three);
    EXPECT_TRUE(waitfor([] { return Form1->session.isopen(LinkKind::Serial); }, 3000));
}

TEST_F(Serial, NetworkPortsFollowTheDetectedPortsAndAreKeptInTheSettings) {
    PtyPair board;
    Ser2net server(board.path());
    ASSERT_TRUE(server.start());
    const QString name = server.name();
    {
        QFile ini(Form1->settingsfile);
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(("[Form_main]\r\nconnection=0\r\ncom_port=2\r\nnet_ports=" + name +
                   ";rfc2217://lab:4001\r\n")
                      .toLatin1());
    }
    start();
    EXPECT_EQ(items(), (QStringList{"COM1", "COM3", name, "rfc2217://lab:4001"}));
    EXPECT_EQ(Form1->ComboBox_COM_port->currentText(), name);

    Form_RX_TX->CheckBox_stavy->setChecked(true);
    connectbutton();
    ASSERT_TRUE(Form1->session.isopen(LinkKind::Serial))
        << fakeDialogs().errors.join("|").toStdString();
    EXPECT_EQ(Form1->windowTitle(), "Krovan 0.6 -  RS232 připojen");
    EXPECT_FALSE(Form1->ComboBox_COM_port->isEnabled());
    connectbutton();
    EXPECT_EQ(mixtexts(), (QStringList{name + " připojen...", name + " odpojen..."}));
    EXPECT_TRUE(Form1->ComboBox_COM_port->isEnabled());

    // The window of network ports: a malformed line is named and kept out.
    Form1->Sovporty1->trigger();
    auto *ports = Form1->findChild<TForm_netports *>("Form_netports");
    ASSERT_NE(ports, nullptr);
    EXPECT_EQ(ports->Memo_ports->toPlainText(), name + "\nrfc2217://lab:4001");
    ports->Memo_ports->setPlainText("rfc2217://lab:4001\n lab:4001 \n\n" + name + "\n" + name);
    ports->Button_ok->click();
    EXPECT_FALSE(ports->isVisible());
    ASSERT_EQ(fakeDialogs().errors.size(), 1);
    EXPECT_TRUE(fakeDialogs().errors[0].contains("\"lab:4001\""))
        << fakeDialogs().errors[0].toStdString();
    EXPECT_EQ(items(), (QStringList{"COM1", "COM3", "rfc2217://lab:4001", name}));
    EXPECT_EQ(Form1->ComboBox_COM_port->currentText(), name) << "the port shown stays";

    // Saved at the close, and offered again at the next start.
    ASSERT_TRUE(Form1->close());
    QFile saved(Form1->settingsfile);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().contains(("net_ports=rfc2217://lab:4001;" + name).toLatin1()));
}

} // namespace
