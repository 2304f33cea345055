#include "serial_link.h"

#include "errors.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

QString serialdevice(int number) {
    struct Range {
        int first;
        const char *prefix;
    };
    static constexpr Range ranges[] = {{1, "/dev/ttyS"},
                                       {33, "/dev/ttyUSB"},
                                       {65, "/dev/ttyACM"},
                                       {97, "/dev/ttyAMA"},
                                       {129, "/dev/rfcomm"}};
    for (const Range &range : ranges)
        if (number >= range.first && number < range.first + 32)
            return range.prefix + QString::number(number - range.first);
    return QString();
}

SerialLink::DeviceTable SerialLink::devicetable = serialdevice;

namespace {

QString comname(int number) {
    return "COM" + QString::number(number);
}

// The placeholder ttyS devices most PCs have: the kernel keeps the device
// but reports no UART behind it. Asked through sysfs first, which needs no
// access to the device; through the device itself when sysfs says nothing.
bool absentuart(const QString &device) {
    const QString name = QFileInfo(device).fileName();
    if (!name.startsWith("ttyS"))
        return false;
    QFile type("/sys/class/tty/" + name + "/type");
    if (type.open(QIODevice::ReadOnly))
        return type.readAll().trimmed() == QByteArray::number(PORT_UNKNOWN);
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return errno == ENXIO || errno == ENODEV || errno == EIO;
    serial_struct info{};
    const bool absent = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type == PORT_UNKNOWN;
    ::close(fd);
    return absent;
}

bool devicepresent(const QString &device) {
    // exists() follows a symbolic link to what it names.
    return QFileInfo::exists(device) && !absentuart(device);
}

QString owninggroup(const QString &device) {
    struct stat info {};
    if (::stat(QFile::encodeName(device).constData(), &info) != 0)
        return QString();
    if (const group *owner = ::getgrgid(info.st_gid))
        return QString::fromLocal8Bit(owner->gr_name);
    return QString::number(info.st_gid);
}

} // namespace

QString serialdescription(int number) {
    const QString device = SerialLink::devicetable ? SerialLink::devicetable(number) : QString();
    if (device.isEmpty())
        return QString();
    QString text = device;
    const QFileInfo file(device);
    const QString real = file.canonicalFilePath();
    if (file.isSymLink() && !real.isEmpty())
        text += " -> " + real;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        if (info.systemLocation() != real && info.systemLocation() != device)
            continue;
        auto add = [&](const char *label, const QString &value) {
            if (!value.isEmpty())
                text += QString("\n%1: %2").arg(label, value);
        };
        add("Description", info.description());
        add("Manufacturer", info.manufacturer());
        add("Serial number", info.serialNumber());
        add("Stable path", stableserialpath(real));
        if (info.hasVendorIdentifier())
            add("Vendor ID", QString("%1").arg(info.vendorIdentifier(), 4, 16, QChar('0')));
        if (info.hasProductIdentifier())
            add("Product ID", QString("%1").arg(info.productIdentifier(), 4, 16, QChar('0')));
        break;
    }
    return text;
}

SerialLink::SerialLink(QObject *parent) : Link(parent) {
    connect(&port_, &QSerialPort::readyRead, this, [this] { pass_.request(); });
    connect(&port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        // The device went away under the open port (an adapter unplugged, or
        // the line hung up: Qt then reports a read error at every turn of the
        // event loop, so the port must not stay open).
        const bool lost = error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
        if (lost && port_.isOpen())
            shut(true);
    });
}

SerialLink::~SerialLink() {
    // No notification reaches a window that is going away.
    blockSignals(true);
    port_.close();
}

void SerialLink::setnumber(int number) {
    if (number == settings_.number)
        return;
    const bool reopen = isOpen();
    close();
    settings_.number = number;
    if (reopen)
        open();
}

void SerialLink::setsettings(const SerialSettings &settings) {
    // The number goes through setnumber, which opens an open port again.
    const int number = settings_.number;
    settings_ = settings;
    settings_.number = number;
    setnumber(settings.number);
}

QString SerialLink::name() const {
    return settings_.device.isEmpty() ? comname(settings_.number) : settings_.device;
}

bool SerialLink::isOpen() const {
    return port_.isOpen();
}

void SerialLink::fail(const QString &device, const QString &reason) {
    throw KrovanError((comname(settings_.number) +
                       (device.isEmpty() ? QString() : " (" + device + ")") + ": " + reason)
                          .toStdString());
}

QString SerialLink::device() const {
    return !settings_.device.isEmpty() ? settings_.device
           : devicetable               ? devicetable(settings_.number)
                                       : QString();
}

void SerialLink::open() {
    if (isOpen() || waiting())
        return;
    const QString device = this->device();
    if (device.isEmpty())
        fail(device, "no device has this number.");
    try {
        openport(device);
    } catch (const KrovanError &) {
        // A device that is not there (yet) is waited for; any other
        // failure stands.
        if (!reconnect_ || devicepresent(device))
            throw;
        startwaiting();
    }
}

void SerialLink::openport(const QString &device) {
    if (!devicepresent(device))
        fail(device, "no such device.");
    if (settings_.databits < 5 || settings_.databits > 8)
        fail(device, QString("%1 data bits are not possible.").arg(settings_.databits));
    if (settings_.baud <= 0)
        fail(device, QString("the baud rate %1 is not possible.").arg(settings_.baud));

    port_.setPortName(QFileInfo(device).canonicalFilePath());
    port_.setBaudRate(settings_.baud);
    port_.setDataBits(static_cast<QSerialPort::DataBits>(settings_.databits));
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    port_.setReadBufferSize(receiveRingSize);
    if (!port_.open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError error = port_.error();
        const QString detail = port_.errorString();
        port_.clearError();
        if (error == QSerialPort::DeviceNotFoundError)
            fail(device, "no such device.");
        if (error == QSerialPort::PermissionError) {
            if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0)
                fail(device, "the port is in use by another program.");
            const QString group = owninggroup(device);
            fail(device, QString("permission denied. The device belongs to the group \"%1\": "
                                 "join it (sudo usermod -aG %1 $USER) and log in again.")
                             .arg(group));
        }
        if (error == QSerialPort::UnsupportedOperationError)
            fail(device, QString("the port does not take %1 Bd with %2 data bits (%3).")
                             .arg(settings_.baud)
                             .arg(settings_.databits)
                             .arg(detail));
        fail(device, detail + ".");
    }
    // A line without modem controls (a pseudo-terminal) refuses these; that
    // is no reason to give the port up.
    port_.setDataTerminalReady(true);
    port_.setRequestToSend(true);
    port_.clearError();
    identity_ = serialidentity(QFileInfo(device).canonicalFilePath());
    emit opened();
}

void SerialLink::close() {
    if (waiting()) {
        retry_.stop();
        emit closed(false);
        return;
    }
    shut(false);
}

void SerialLink::shut(bool bypeer) {
    if (!isOpen())
        return;
    port_.close();
    // Waiting already while the loss is reported: the port is not closed
    // for the user.
    if (bypeer && reconnect_)
        retry_.start();
    emit closed(bypeer);
    if (waiting())
        emit waitingstarted();
}

void SerialLink::startwaiting() {
    retry_.start();
    emit waitingstarted();
}

void SerialLink::lookagain() {
    QString device = this->device();
    if (!devicepresent(device)) {
        const QString moved = findserialdevice(identity_, presentserialports());
        if (moved.isEmpty())
            return;
        adopt(moved);
        device = this->device();
    }
    try {
        retry_.stop();
        openport(device);
    } catch (const KrovanError &) {
        // Not ready yet (still appearing, or held by another program).
        retry_.start();
    }
}

void SerialLink::adopt(const QString &location) {
    // The number whose device it is, so the records name it; a path of its
    // own when no number names it.
    for (int number = 0; devicetable && number <= 255; ++number) {
        const QString device = devicetable(number);
        if (!device.isEmpty() && QFileInfo(device).canonicalFilePath() == location) {
            settings_.device.clear();
            settings_.number = number;
            emit renumbered(number);
            return;
        }
    }
    settings_.device = location;
}

qint64 SerialLink::waitingoutput() const {
    qint64 waiting = port_.bytesToWrite();
    int system = 0;
    if (port_.isOpen() && ::ioctl(port_.handle(), TIOCOUTQ, &system) == 0 && system > 0)
        waiting += system;
    return waiting;
}

void SerialLink::send(const std::string &bytes) {
    if (!isOpen())
        throw KrovanError("The serial port is not open.");
    const qint64 size = static_cast<qint64>(bytes.size());
    const qint64 free = outputQueueSize - waitingoutput();
    if (size > free)
        throw KrovanError(QString("%1: the output queue has room for %2 of %3 bytes.")
                              .arg(comname(settings_.number))
                              .arg(qMax<qint64>(free, 0))
                              .arg(size)
                              .toStdString());
    if (size > 0 && port_.write(bytes.data(), size) != size)
        throw KrovanError((comname(settings_.number) + ": " + port_.errorString()).toStdString());
}

void SerialLink::announce() {
    // One block at a time: a handler that runs an event loop of its own (an
    // error box) does not get the next block inside it.
    if (announcing_ || !isOpen())
        return;
    const QByteArray bytes = port_.read(receiveRingSize);
    if (bytes.isEmpty())
        return;
    announcing_ = true;
    emit received(std::string(bytes.constData(), static_cast<size_t>(bytes.size())), name());
    announcing_ = false;
    // What is left, or came meanwhile, is announced from the event loop, so
    // the window keeps running between shares.
    if (isOpen() && port_.bytesAvailable() > 0)
        pass_.request();
}
