#pragma once

#include "link.h"
#include "read_pass.h"
#include "retry.h"
#include "serial_identity.h"

#include <QSerialPort>
#include <QString>
#include <functional>
#include <string>

// The device a port number names, or an empty text when the number names
// none. On Linux: COM1-COM32 are /dev/ttyS0-31, COM33-COM64 /dev/ttyUSB0-31,
// COM65-COM96 /dev/ttyACM0-31, COM97-COM128 /dev/ttyAMA0-31 and
// COM129-COM160 /dev/rfcomm0-31. Another platform gives its own numbering
// here and nowhere else.
QString serialdevice(int number);

// What a port's list item tells the user: its device path and what the
// system knows of the device behind it.
QString serialdescription(int number);

// A serial port's settings: the port by its number or a device path, its rate
// and frame. Parity and stop bits are the selectors' items, read but not yet
// offered: the port opens with no parity and one stop bit.
struct SerialSettings {
    int number = 0;
    // A device path that stands for the port whatever its number; empty:
    // the table's device of the number.
    QString device;
    qint32 baud = 115200;
    int databits = 8;
    int parity = 0;
    int stopbits = 0;
};

// One serial port, opened by its number: 8 data bits unless told otherwise,
// no parity, one stop bit, DTR and RTS raised, no flow control. Received
// bytes are announced on the GUI thread; sends are queued and never wait.
class SerialLink : public Link {
    Q_OBJECT
public:
    // What the port holds of received bytes before the line has to wait:
    // memory stays bounded however fast the peer writes.
    static constexpr qint64 receiveRingSize = 8192;
    // Bytes the output queue holds, those still waiting included.
    static constexpr qint64 outputQueueSize = 4096;

    using DeviceTable = std::function<QString(int number)>;

    explicit SerialLink(QObject *parent = nullptr);
    ~SerialLink() override;

    // The table that maps numbers to devices; serialdevice() unless replaced.
    static DeviceTable devicetable;

    // Sets the number; an open port is closed (with its notification) and
    // opened again on the new number, staying closed when that fails.
    void setnumber(int number);
    int number() const { return settings_.number; }
    // The port's name in the records: its device path where it was chosen
    // by one, else its number ("COM5").
    QString name() const;
    // The number as setnumber takes it, the device, the rate and the frame.
    void setsettings(const SerialSettings &settings);
    const SerialSettings &settings() const { return settings_; }

    // Opens the port with the settings given; does nothing when it is open
    // or waiting. Throws KrovanError naming the port, its device and the
    // reason; a device that is not there makes a link that comes back wait
    // for it instead.
    void open() override;
    void close() override;
    bool isOpen() const override;
    bool waiting() const override { return retry_.waiting(); }
    // How often a waiting link looks for its device.
    static constexpr int lookInterval = 500;

    // Queues the whole block or nothing: throws KrovanError when it does
    // not fit the free space of the output queue.
    void send(const std::string &bytes) override;
    // Bytes queued and not yet sent on the line.
    qint64 waitingoutput() const;
    // While paused, received bytes are not announced; past the ring's size
    // the port stops reading and the line has to wait.
    void setpaused(bool paused) override { pass_.setpaused(paused); }

    // The settings the open port really has, for checking.
    const QSerialPort &port() const { return port_; }

signals:
    // The device came back under another number, which the port now has.
    void renumbered(int number);

private:
    // Closes the port; closed(bypeer) when it was open. A device that went
    // away is waited for when the link comes back.
    void shut(bool bypeer);
    // The device the port's number or path names now.
    QString device() const;
    // Opens `device`; throws KrovanError.
    void openport(const QString &device);
    void startwaiting();
    // Looks for the device once while waiting, and opens it when found.
    void lookagain();
    // Follows a device found again under another path.
    void adopt(const QString &location);
    void announce();
    [[noreturn]] void fail(const QString &device, const QString &reason);

    QSerialPort port_;
    // The number follows a device found again under another one.
    SerialSettings settings_;
    bool announcing_ = false;
    ReadPass pass_{this, [this] { announce(); }};
    Retry retry_{this, lookInterval, [this] { lookagain(); }};
    // What the system knew of the device when it was last opened.
    SerialPortIdentity identity_;
};
