#include "serial_identity.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

std::vector<SerialPortIdentity> presentserialports() {
    std::vector<SerialPortIdentity> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ports.push_back({info.systemLocation(), info.serialNumber(),
                         info.hasVendorIdentifier() && info.hasProductIdentifier(),
                         info.vendorIdentifier(), info.productIdentifier()});
    return ports;
}

SerialPortIdentity serialidentity(const QString &location) {
    for (const SerialPortIdentity &port : presentserialports())
        if (port.location == location)
            return port;
    SerialPortIdentity absent;
    absent.location = location;
    return absent;
}

QString findserialdevice(const SerialPortIdentity &wanted,
                         const std::vector<SerialPortIdentity> &ports) {
    // Without a serial number two adapters of one make cannot be told apart.
    if (wanted.serialnumber.isEmpty() || !wanted.hasids)
        return QString();
    for (const SerialPortIdentity &port : ports)
        if (port.hasids && port.serialnumber == wanted.serialnumber &&
            port.vendor == wanted.vendor && port.product == wanted.product)
            return port.location;
    return QString();
}

QString stableserialpath(const QString &location, const QString &folder) {
    const QString real = QFileInfo(location).canonicalFilePath();
    if (real.isEmpty())
        return QString();
    const QDir links(folder);
    for (const QFileInfo &link : links.entryInfoList(QDir::System | QDir::Files, QDir::Name))
        if (link.isSymLink() && link.canonicalFilePath() == real)
            return link.absoluteFilePath();
    return QString();
}
