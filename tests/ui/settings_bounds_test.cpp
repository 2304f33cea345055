// Settings files that no value of any key can turn against the program,
// stored sizes that hold, and closes that never overwrite what was not read.
#include "forms_fixture.h"

#include "filter_list_window.h"
#include "ini_file.h"
#include "macro_list_window.h"
#include "received_window.h"
#include "sent_window.h"
#include "states_window.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QScreen>
#include <fstream>
#if defined(__SANITIZE_ADDRESS__)
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

class SettingsBounds : public FormsTest {
protected:
    void writefile(const QByteArray &content) {
        QFile out(Form1->settingsfile);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(content);
    }

    IniFile saved() const { return IniFile::load(Form1->settingsfile.toStdString()); }

    void restart(const QByteArray &content) {
        destroyforms();
        createforms();
        Form1->settingsfile = dir.filePath("default.ini");
        writefile(content);
        start();
    }
};

// Live heap in kilobytes: under AddressSanitizer its own count, which leaves
// out the freed memory it holds back; otherwise the resident set.
long heapkilobytes() {
#if defined(__SANITIZE_ADDRESS__)
    return static_cast<long>(__sanitizer_get_current_allocated_bytes() / 1024);
#endif
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

const char *const windowsections[] = {"Form_main",  "Form_RXW", "Form_TXW",
                                      "Form_RX_TX", "Form_TX",  "Form_RX_filtr"};

// Every key the program reads, with the section it stands in.
std::vector<std::pair<std::string, std::string>> everykey() {
    std::vector<std::pair<std::string, std::string>> keys;
    for (const char *section : windowsections)
        for (const char *key : {"Left", "top", "width", "height", "visible"})
            keys.emplace_back(section, key);
    for (const char *key :
         {"WindowState", "connection", "tx_adr", "tx_port", "rx_port", "icmp_a", "tcp_s_p",
          "tcp_c_a", "tcp_c_p", "com_port", "com_baud", "com_bits", "com_parity", "com_stop"})
        keys.emplace_back("Form_main", key);
    for (const char *section : {"Form_RXW", "Form_TXW"})
        for (const char *key : {"format", "show_time"})
            keys.emplace_back(section, key);
    for (const char *key :
         {"show_rx", "show_tx", "show_time", "show_adr", "show_makro", "show_hex", "show_stavy"})
        keys.emplace_back("Form_RX_TX", key);
    keys.emplace_back("Form_TX", "TX_framecount");
    keys.emplace_back("Form_RX_filtr", "filtr_framecount");
    for (const char *key : {"describe", "data", "interval"})
        keys.emplace_back("Frame_TX_1", key);
    for (const char *key : {"filter", "macro", "active", "hex"})
        keys.emplace_back("Frame_filtr_2", key);
    return keys;
}

QByteArray randomvalue(QRandomGenerator &random) {
    static const QByteArray extremes[] = {
        "0",          "1",          "-1",        "2",          "7",          "99",
        "100",        "101",        "100000",    "2000000000", "2147483647", "-2147483648",
        "4294967296", "0x7FFFFFFF", "$80000000", "-100000",    "",           "abc",
        "1e9",        "\"quoted\"", "<stx>",     "  padded  "};
    switch (random.bounded(4)) {
    case 0:
        return QByteArray::number(static_cast<int>(random.generate()));
    case 1: {
        QByteArray bytes(static_cast<int>(random.bounded(3000)), '\0');
        for (char &byte : bytes) {
            byte = static_cast<char>(random.bounded(256));
            if (byte == '\n' || byte == '\r')
                byte = 'x';
        }
        return bytes;
    }
    default:
        return extremes[random.bounded(static_cast<int>(std::size(extremes)))];
    }
}

} // namespace

TEST_F(SettingsBounds, NoValueOfAnyKeyCrashesHangsOrGrowsTheProgram) {
    const QSize screens = QGuiApplication::primaryScreen()->virtualGeometry().size();
    const auto keys = everykey();
    QRandomGenerator random(20261208);
    long before = 0;
    for (int run = 0; run < 200; ++run) {
        QByteArray content;
        for (const auto &[section, key] : keys)
            if (random.bounded(5) != 0)
                content += "[" + QByteArray(section.c_str()) + "]\n" + key.c_str() + "=" +
                           randomvalue(random) + "\n";
        restart(content);
        ASSERT_TRUE(Form1->close()) << run;
        const IniFile ini = saved();
        for (const char *section : windowsections) {
            EXPECT_LE(ini.readInteger(section, "width", -1), screens.width()) << section;
            EXPECT_LE(ini.readInteger(section, "height", -1), screens.height()) << section;
            EXPECT_GE(ini.readInteger(section, "width", -1), 0) << section;
        }
        const int macros = ini.readInteger("Form_TX", "TX_framecount", 0);
        EXPECT_TRUE(macros >= 1 && macros <= 100) << macros;
        EXPECT_NE(ini.readString("Frame_TX_" + std::to_string(macros), "describe", "\x01"), "\x01");
        if (run == 20)
            before = heapkilobytes();
    }
    // Two hundred set-ups in the same windows leave no trace in memory.
    EXPECT_LT(heapkilobytes() - before, 20 * 1024);
}

TEST_F(SettingsBounds, EveryWindowKeepsTheWidthItWasGiven) {
    // The defaults, and a narrow main window showing its widest panel.
    restart("[Form_main]\nWindowState=0\nwidth=500\nconnection=3\n");
    for (QWidget *window : std::initializer_list<QWidget *>{Form1, Form_TX, Form_RX_TX,
                                                            Form_RX_filtr, Form_rxw, Form_txw})
        EXPECT_EQ(window->width(), 500) << window->objectName().toStdString();
    EXPECT_EQ(Form_RX_TX->height(), 200);
    ASSERT_TRUE(Form1->close());
    IniFile ini = saved();
    for (const char *section : windowsections)
        EXPECT_EQ(ini.readInteger(section, "width", -1), 500) << section;
    for (const char *section : {"Form_RXW", "Form_TXW", "Form_RX_TX"})
        EXPECT_EQ(ini.readInteger(section, "height", -1), 200) << section;

    restart("[Form_RX_TX]\nwidth=120\nheight=60\n[Form_RXW]\nwidth=90\n");
    EXPECT_EQ(Form_RX_TX->size(), QSize(120, 60));
    EXPECT_EQ(Form_rxw->width(), 90);
}

TEST_F(SettingsBounds, ACloseBeforeTheFirstLoadLeavesTheFileAlone) {
    const QByteArray setup = "[Form_TX]\nTX_framecount=3\n[Frame_TX_1]\ndescribe=mine\n";
    writefile(setup);
    // Shown but never activated: the file was never read.
    Form1->show();
    ASSERT_FALSE(Form1->settingsloaded);
    ASSERT_TRUE(Form1->close());
    QFile in(Form1->settingsfile);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    EXPECT_EQ(in.readAll(), setup);
}

TEST_F(SettingsBounds, ASaveThatCannotReadItsPlaceSaysItCannotWrite) {
    start();
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.ini"));
    Form1->settingsfile = dir.filePath("taken.ini");
    EXPECT_FALSE(Form1->close());
    EXPECT_EQ(fakeDialogs().errors, QStringList{"Unable to write to " + dir.filePath("taken.ini")});
}
