#include "host_lookup.h"

#include "errors.h"

#include <QHostAddress>
#include <QHostInfo>

quint32 lookupipv4(const QString &host) {
    const QString name = host.trimmed();
    QHostAddress address;
    if (address.setAddress(name) && address.protocol() == QAbstractSocket::IPv4Protocol)
        return address.toIPv4Address();
    const QHostInfo info = QHostInfo::fromName(name);
    for (const QHostAddress &found : info.addresses())
        if (found.protocol() == QAbstractSocket::IPv4Protocol)
            return found.toIPv4Address();
    throw KrovanError("Cannot resolve host \"" + host.toStdString() + "\".");
}
