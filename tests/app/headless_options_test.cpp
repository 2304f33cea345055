// The headless run's command line, parsed without running anything.
#include "headless_options.h"

#include <gtest/gtest.h>

namespace {

TEST(HeadlessOptions, LongOptionsTakeTheirValueAfterASpaceOrAnEqualsSign) {
    const HeadlessOptions options = parseheadless(
        {"--headless", "lab.ini", "--link=tcp-server", "--port", "/dev/pts/3", "--send", "2",
         "--send=1", "--repeat", "3", "--capture=-", "--duration", "0.25", "--reconnect"});
    EXPECT_EQ(options.setupfile, "lab.ini");
    EXPECT_EQ(options.link, LinkKind::TcpServer);
    EXPECT_EQ(options.port, "/dev/pts/3");
    EXPECT_EQ(options.sends, (std::vector<int>{2, 1}));
    EXPECT_EQ(options.repeats, std::vector<int>{3});
    EXPECT_EQ(options.capture, "-");
    EXPECT_EQ(options.duration, 0.25);
    EXPECT_TRUE(options.reconnect);

    const HeadlessOptions plain = parseheadless({"--headless=x.ini"});
    EXPECT_FALSE(plain.link.has_value());
    EXPECT_FALSE(plain.duration.has_value());
    EXPECT_FALSE(plain.reconnect);
    EXPECT_EQ(plain.capture, "-") << "standard output by default";
}

TEST(HeadlessOptions, ABadCommandLineSaysWhatIsWrong) {
    const std::pair<QStringList, std::string> bad[] = {
        {{"--headless"}, "--headless needs a value"},
        {{"--link", "udp"}, "--headless needs a settings file"},
        {{"--headless", "a.ini", "--link", "modem"}, "unknown link \"modem\""},
        {{"--headless", "a.ini", "--send", "0"}, "--send needs a row number from 1, not \"0\""},
        {{"--headless", "a.ini", "--repeat", "x"}, "--repeat needs a row number from 1, not \"x\""},
        {{"--headless", "a.ini", "-v"}, "unknown option \"-v\""},
        {{"--headless", "a.ini", "--duration", "nan"}, "--duration needs seconds, not \"nan\""},
        {{"--headless", "a.ini", "--reconnect=1"}, "--reconnect takes no value"},
    };
    for (const auto &[arguments, message] : bad) {
        try {
            parseheadless(arguments);
            ADD_FAILURE() << arguments.join(' ').toStdString() << " was taken";
        } catch (const UsageError &e) {
            EXPECT_EQ(e.what(), message);
        }
    }
}

TEST(HeadlessOptions, DurationsAreFiniteAndNotNegative) {
    EXPECT_EQ(durationseconds("0"), 0.0);
    EXPECT_EQ(durationseconds("31536000"), 31536000.0);
    EXPECT_EQ(durationseconds("1e10"), 1e10);
    for (const char *text : {"inf", "-inf", "-0.5", "1e400", "", "5s"})
        EXPECT_THROW(durationseconds(text), UsageError) << text;
}

TEST(HeadlessOptions, APortIsANumberOrADeviceThatStandsForNumberZero) {
    EXPECT_EQ(serialport("COM5").number, 5);
    EXPECT_TRUE(serialport("com5").device.isEmpty());
    const SerialPortChoice path = serialport("/dev/ttyUSB0");
    EXPECT_EQ(path.number, 0);
    EXPECT_EQ(path.device, "/dev/ttyUSB0");
    EXPECT_EQ(serialport("COMx").device, "COMx") << "not a number: a device of that name";
    EXPECT_THROW(serialport(""), UsageError);
}

} // namespace
