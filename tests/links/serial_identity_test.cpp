// Finding a serial device again: by its USB serial number with its vendor
// and product id among the ports the system lists, and by a stable path.
#include "serial_identity.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

TEST(SerialIdentity, AnAdapterIsFoundBySerialNumberVendorAndProductWhereverItIs) {
    const SerialPortIdentity board{"/dev/ttyUSB0", "A10K3XZ", true, 0x0403, 0x6001};
    const std::vector<SerialPortIdentity> ports = {
        {"/dev/ttyS0", "", false, 0, 0},
        {"/dev/ttyUSB1", "A10K3XY", true, 0x0403, 0x6001}, // another of the same make
        {"/dev/ttyACM0", "A10K3XZ", true, 0x2341, 0x0043}, // same number, other maker
        {"/dev/ttyUSB2", "A10K3XZ", true, 0x0403, 0x6001},
    };
    EXPECT_EQ(findserialdevice(board, ports), "/dev/ttyUSB2");
    EXPECT_EQ(findserialdevice(board, {ports[0], ports[1]}), "");
    // Without a serial number, or without ids, only its path finds it.
    EXPECT_EQ(findserialdevice({"/dev/ttyUSB0", "", true, 0x0403, 0x6001},
                               {{"/dev/ttyUSB3", "", true, 0x0403, 0x6001}}),
              "");
    EXPECT_EQ(findserialdevice({"/dev/ttyUSB0", "A10K3XZ", false, 0, 0},
                               {{"/dev/ttyUSB3", "A10K3XZ", false, 0, 0}}),
              "");
}

TEST(SerialIdentity, AStablePathIsTheLinkThatNamesTheDevice) {
    QTemporaryDir byid;
    QFile device(byid.filePath("ttyUSB7"));
    ASSERT_TRUE(device.open(QIODevice::WriteOnly));
    device.close();
    const QString stable = byid.filePath("usb-FTDI_FT232R_A10K3XZ-if00-port0");
    ASSERT_EQ(::symlink("ttyUSB7", stable.toLocal8Bit().constData()), 0);
    ASSERT_EQ(::symlink("missing", byid.filePath("usb-gone").toLocal8Bit().constData()), 0);
    EXPECT_EQ(stableserialpath(device.fileName(), byid.path()), stable);
    EXPECT_EQ(stableserialpath(byid.filePath("ttyUSB8"), byid.path()), "");
}
