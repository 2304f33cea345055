#include "host_lookup.h"

#include "errors.h"

#include <QHostInfo>

QList<QHostAddress> lookuphosts(const QString &host) {
    const QString name = host.trimmed();
    QHostAddress address;
    if (address.setAddress(name))
        return {address};
    const QHostInfo info = QHostInfo::fromName(name);
    QList<QHostAddress> found;
    for (const QHostAddress &each : info.addresses())
        if (each.protocol() == QAbstractSocket::IPv4Protocol ||
            each.protocol() == QAbstractSocket::IPv6Protocol)
            found << each;
    if (found.isEmpty())
        throw KrovanError("Cannot resolve host \"" + host.toStdString() + "\".");
    return found;
}

QHostAddress lookuphost(const QString &host) {
    const QList<QHostAddress> found = lookuphosts(host);
    for (const QHostAddress &each : found)
        if (each.protocol() == QAbstractSocket::IPv4Protocol)
            return each;
    return found.first();
}

QHostAddress plainaddress(const QHostAddress &address) {
    bool mapped = false;
    const quint32 four = address.toIPv4Address(&mapped);
    if (mapped && address.protocol() == QAbstractSocket::IPv6Protocol)
        return QHostAddress(four);
    return address;
}

QString addresstext(const QHostAddress &address, quint16 port) {
    const QHostAddress plain = plainaddress(address);
    const QString text = plain.toString();
    if (plain.protocol() == QAbstractSocket::IPv6Protocol)
        return "[" + text + "]:" + QString::number(port);
    return text + ":" + QString::number(port);
}
