// The set-up read from and written to a settings file, without any window.
#include "bytes_text.h"
#include "data_template.h"
#include "errors.h"
#include "ini_file.h"
#include "link_setups.h"
#include "session.h"
#include "setup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace {

// A file as the program writes it, with a foreign section and key, CRLF
// line ends and texts in Windows-1250.
const char *const saved =
    "[Form_main]\r\nLeft=10\r\ntop=20\r\nwidth=922\r\nheight=81\r\nWindowState=0\r\n"
    "connection=3\r\ntx_adr=\xEC\x9A\xE8.example\r\ntx_port=9876\r\nrx_port=9877\r\n"
    "icmp_a=127.0.0.1\r\ntcp_s_p=666\r\ntcp_c_a=127.0.0.1\r\ntcp_c_p=555\r\ncom_port=-1\r\n"
    "com_baud=115200\r\ncom_bits=3\r\ncom_parity=0\r\ncom_stop=0\r\nmine=keep\r\n"
    "[Form_RXW]\r\nLeft=500\r\ntop=80\r\nwidth=500\r\nheight=200\r\nvisible=1\r\nformat=2\r\n"
    "show_time=1\r\n"
    "[Form_TXW]\r\nLeft=500\r\ntop=80\r\nwidth=500\r\nheight=200\r\nvisible=0\r\nformat=0\r\n"
    "show_time=0\r\n"
    "[Form_RX_TX]\r\nLeft=500\r\ntop=80\r\nwidth=500\r\nheight=200\r\nvisible=1\r\n"
    "show_rx=1\r\nshow_tx=1\r\nshow_time=0\r\nshow_adr=1\r\nshow_makro=0\r\nshow_hex=1\r\n"
    "show_stavy=1\r\n"
    "[Form_TX]\r\nLeft=0\r\ntop=80\r\nwidth=592\r\nheight=123\r\nvisible=1\r\nTX_framecount=2\r\n"
    "[Frame_TX_1]\r\ndescribe=ack\r\ndata=<ack>OK\r\ninterval=1000\r\nhex=0\r\n"
    "[Frame_TX_2]\r\ndescribe=raw\r\ndata=02 41 0D\r\ninterval=250\r\nhex=1\r\n"
    "[Other]\r\nkey = value \r\n"
    "[Form_RX_filtr]\r\nLeft=0\r\ntop=80\r\nwidth=513\r\nheight=100\r\nvisible=0\r\n"
    "filtr_framecount=1\r\n"
    "[Frame_filtr_1]\r\nfilter=<stx>\r\nmacro=ack\r\nactive=1\r\nhex=0\r\nmode=4\r\n";

void noplaces(IniFile &, const char *) {}

} // namespace

TEST(SetupFile, AFileReadAndWrittenWithoutChangesComesBackByteForByte) {
    IniFile ini = IniFile::parse(saved);
    const ::Setup setup = Setup::read(ini);
    EXPECT_EQ(setup.connection, 3);
    EXPECT_EQ(setup.tx_adr, QString::fromUtf8("ěšč.example"));
    EXPECT_EQ(setup.rx_port, "9877");
    EXPECT_EQ(setup.com_port, -1);
    EXPECT_EQ(setup.received.format, 2);
    EXPECT_TRUE(setup.received.time);
    EXPECT_TRUE(setup.show_hex);
    ASSERT_EQ(setup.macros.size(), 2u);
    EXPECT_EQ(setup.macros[1].data, "02 41 0D");
    EXPECT_TRUE(setup.macros[1].hex);
    ASSERT_EQ(setup.filters.size(), 1u);
    EXPECT_EQ(setup.filters[0].macro, "ack");
    EXPECT_TRUE(setup.filters[0].active);
    EXPECT_EQ(setup.filters[0].mode, MatchMode::Expression);

    setup.write(ini, noplaces);
    EXPECT_EQ(ini.text(), saved);
}

TEST(SetupFile, AnEmptyFileGivesTheDefaultsAndIsWrittenInTheProgramsOrder) {
    const ::Setup setup = Setup::read(IniFile());
    EXPECT_EQ(setup.tx_adr, "10.0.0.7");
    EXPECT_EQ(setup.tcp_c_p, "555");
    EXPECT_EQ(setup.com_baud, "115200");
    ASSERT_EQ(setup.macros.size(), 1u);
    EXPECT_EQ(setup.macros[0].describe, "tx_1");
    EXPECT_EQ(setup.macros[0].interval, "1000");
    EXPECT_FALSE(setup.macros[0].hex);
    ASSERT_EQ(setup.filters.size(), 1u);
    EXPECT_FALSE(setup.filters[0].active);

    IniFile ini;
    std::string places;
    setup.write(ini, [&](IniFile &file, const char *section) {
        places += std::string(section) + " ";
        file.writeInteger(section, "Left", 1);
    });
    EXPECT_EQ(places, "Form_main Form_RXW Form_TXW Form_RX_TX Form_TX Form_RX_filtr ");
    const std::string text = ini.text();
    EXPECT_EQ(text.find("[Form_main]\r\nLeft=1\r\nconnection=0\r\n"), 0u) << text;
    EXPECT_NE(text.find("format=0\r\nshow_time=0\r\n[Form_TXW]"), std::string::npos) << text;
    EXPECT_NE(text.find("TX_framecount=1\r\n[Frame_TX_1]\r\ndescribe=tx_1\r\ndata=data_1\r\n"
                        "interval=1000\r\nhex=0\r\n[Form_RX_filtr]"),
              std::string::npos)
        << text;
}

TEST(SetupFile, TheHopLimitAndTheNetworkPortsAreKeptWhenSet) {
    IniFile ini = IniFile::parse("[Form_main]\r\nudp_ttl=300\r\n"
                                 "net_ports= rfc2217://lab:4001 ;;rfc2217://[::1]:7\r\n");
    ::Setup setup = Setup::read(ini);
    EXPECT_EQ(setup.udp_ttl, 255) << "held to a hop limit";
    EXPECT_EQ(setup.netports, (QStringList{"rfc2217://lab:4001", "rfc2217://[::1]:7"}));
    setup.udp_ttl = 4;
    setup.netports.removeFirst();
    setup.write(ini, noplaces);
    EXPECT_NE(ini.text().find("udp_ttl=4\r\nnet_ports=rfc2217://[::1]:7\r\n"), std::string::npos)
        << ini.text();
    // Emptied, the list stays an empty key rather than its old value.
    setup.netports.clear();
    setup.write(ini, noplaces);
    EXPECT_TRUE(Setup::read(ini).netports.isEmpty());
}

TEST(SetupFile, AFilterWithoutAModeBeginsWithItsPatternAndIsWrittenWithOne) {
    IniFile older = IniFile::parse("[Frame_filtr_1]\r\nfilter=a\r\nmode=9\r\n"
                                   "[Form_RX_filtr]\r\nfiltr_framecount=2\r\n");
    const ::Setup setup = ::Setup::read(older);
    EXPECT_EQ(setup.filters[0].mode, MatchMode::Begins) << "an unknown mode";
    EXPECT_EQ(setup.filters[1].mode, MatchMode::Begins) << "no key";
    setup.write(older, noplaces);
    EXPECT_NE(older.text().find("[Frame_filtr_2]\r\nfilter=\r\nmacro=\r\nactive=0\r\nhex=0\r\n"
                                "mode=0\r\n"),
              std::string::npos)
        << older.text();
}

TEST(SetupFile, RowCountsAreHeldToTheirBounds) {
    EXPECT_EQ(::Setup::read(IniFile::parse("[Form_TX]\nTX_framecount=0\n")).macros.size(), 1u);
    EXPECT_EQ(
        ::Setup::read(IniFile::parse("[Form_RX_filtr]\nfiltr_framecount=5000\n")).filters.size(),
        100u);
}

// The example set-ups that come with the program: each opens its kind, and
// every macro's text and every active filter can be used as it stands.
TEST(ExampleSetups, EachKindLoadsWithRowsThatCanBeUsed) {
    const std::pair<const char *, LinkKind> examples[] = {{"serial", LinkKind::Serial},
                                                          {"tcp-client", LinkKind::TcpClient},
                                                          {"tcp-server", LinkKind::TcpServer},
                                                          {"udp", LinkKind::Udp},
                                                          {"icmp", LinkKind::Icmp}};
    for (const auto &[name, kind] : examples) {
        const std::string path = std::string(KROVAN_EXAMPLES) + "/" + name + ".ini";
        const ::Setup setup = ::Setup::read(IniFile::load(path));
        EXPECT_EQ(setup.connection, static_cast<int>(kind)) << name;
        EXPECT_TRUE(setup.show_stavy) << name;
        for (const MacroSetup &macro : setup.macros)
            EXPECT_NO_THROW(DataTemplate(toBytes(macro.data), macro.hex))
                << name << ": " << macro.describe.toStdString();
        Session session;
        session.setfilters(setup.filters);
        session.setup = setup;
        for (std::size_t n = 1; n <= setup.filters.size(); ++n) {
            const FilterSetup &filter = setup.filters[n - 1];
            if (!filter.active)
                continue;
            EXPECT_EQ(session.filterproblem(static_cast<int>(n)), QString()) << name;
            EXPECT_TRUE(
                std::any_of(setup.macros.begin(), setup.macros.end(),
                            [&](const MacroSetup &m) { return m.describe == filter.macro; }))
                << name << ": a filter names no macro";
        }
    }
    // The NMEA sentence carries its checksum.
    const ::Setup udp = ::Setup::read(IniFile::load(KROVAN_EXAMPLES "/udp.ini"));
    EXPECT_EQ(DataTemplate(toBytes(udp.macros[1].data), false).bytes(1, nullptr),
              "$GPGLL,4916.45,N,12311.12,W,225444,A*31\r\n");
}

// The serial settings both front-ends open a port with.
TEST(LinkSetups, SerialSettingsComeFromTheSetupOnTheChosenPort) {
    ::Setup setup;
    setup.com_baud = "9600";
    setup.com_bits = 1;
    const SerialSettings six =
        LinkSetups::serial(setup, 5, "/dev/ttyX", LinkSetups::OtherBits::Fail);
    EXPECT_EQ(std::tuple(six.number, six.device, six.baud, six.databits),
              std::tuple(5, QString("/dev/ttyX"), 9600, 6));
    // An index past the four items: the windows fail, a headless run takes 8.
    setup.com_bits = 4;
    EXPECT_EQ(LinkSetups::serial(setup, 5, {}, LinkSetups::OtherBits::Eight).databits, 8);
    try {
        LinkSetups::serial(setup, 5, {}, LinkSetups::OtherBits::Fail);
        ADD_FAILURE() << "no failure";
    } catch (const KrovanError &error) {
        EXPECT_STREQ(error.what(), "'' is not a valid integer value");
    }
}
