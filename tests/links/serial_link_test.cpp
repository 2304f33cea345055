// The serial link on its own: the fixed table of device names and the
// reasons a port does not open, against pseudo-terminals.
#include "errors.h"
#include "pty_pair.h"
#include "serial_link.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(SerialTable, NumbersNameDevicesByFixedRanges) {
    const std::pair<int, const char *> expected[] = {
        {0, ""},
        {1, "/dev/ttyS0"},
        {32, "/dev/ttyS31"},
        {33, "/dev/ttyUSB0"},
        {64, "/dev/ttyUSB31"},
        {65, "/dev/ttyACM0"},
        {97, "/dev/ttyAMA0"},
        {129, "/dev/rfcomm0"},
        {160, "/dev/rfcomm31"},
        {161, ""},
        {255, ""},
    };
    for (const auto &[number, device] : expected)
        EXPECT_EQ(serialdevice(number).toStdString(), device) << number;
}

class SerialOpen : public ::testing::Test {
protected:
    PtyPair line;
    SerialLink link;

    void SetUp() override {
        SerialLink::devicetable = [this](int number) {
            return number == 4 ? line.path() : QString();
        };
        link.setnumber(4);
    }
    void TearDown() override { SerialLink::devicetable = serialdevice; }

    std::string openerror(SerialLink &port) {
        try {
            port.open();
        } catch (const KrovanError &error) {
            return error.what();
        }
        return "opened";
    }
};

TEST_F(SerialOpen, APortInUseOrWithoutADeviceSaysSo) {
    link.open();
    ASSERT_TRUE(link.isOpen());
    SerialLink second;
    second.setnumber(4);
    EXPECT_EQ(openerror(second),
              "COM4 (" + line.path().toStdString() + "): the port is in use by another program.");
    EXPECT_FALSE(second.isOpen());
    link.close();
    EXPECT_EQ(openerror(second), "opened");

    EXPECT_THROW(second.setnumber(5), KrovanError);
    EXPECT_FALSE(second.isOpen()) << "a new number on an open port reopens it, or closes it";
    EXPECT_EQ(openerror(second), "COM5: no device has this number.");
}

// The case of a user outside the device's group, in a child that drops to
// nobody.
TEST_F(SerialOpen, PermissionDeniedNamesTheGroupToJoin) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "dropping to another user needs root";
    int pipefd[2];
    ASSERT_EQ(::pipe(pipefd), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipefd[0]);
        std::string message = "could not drop privileges";
        if (::setgid(65534) == 0 && ::setuid(65534) == 0) {
            SerialLink port;
            port.setnumber(4);
            message = openerror(port);
        }
        [[maybe_unused]] auto written = ::write(pipefd[1], message.data(), message.size());
        ::_exit(0);
    }
    ::close(pipefd[1]);
    std::string message;
    char buffer[512];
    ssize_t got;
    while ((got = ::read(pipefd[0], buffer, sizeof buffer)) > 0)
        message.append(buffer, static_cast<size_t>(got));
    ::close(pipefd[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    struct stat device {};
    ASSERT_EQ(::stat(line.path().toLocal8Bit().constData(), &device), 0);
    const std::string group = ::getgrgid(device.st_gid)->gr_name;
    EXPECT_EQ(message, "COM4 (" + line.path().toStdString() +
                           "): permission denied. The device belongs to the group \"" + group +
                           "\": join it (sudo usermod -aG " + group + " $USER) and log in again.");
}

} // namespace
