#include "host_lookup.h"

#include "errors.h"

#include <QHostInfo>

QHostAddress lookuphost(const QString &host) {
    const QString name = host.trimmed();
    QHostAddress address;
    if (address.setAddress(name) && address.protocol() == QAbstractSocket::IPv4Protocol)
        return address;
    const QHostInfo info = QHostInfo::fromName(name);
    for (const QHostAddress &found : info.addresses())
        if (found.protocol() == QAbstractSocket::IPv4Protocol)
            return found;
    throw KrovanError("Cannot resolve host \"" + host.toStdString() + "\".");
}
