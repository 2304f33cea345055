#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

// The addresses a host text of the network panels names, blanks around it
// ignored: a literal IPv4 or IPv6 address (with its zone after '%') as it
// stands, else every address the name resolves to, in the order the
// system's resolver gives them. Throws KrovanError ("Cannot resolve host
// "TEXT".") when there is none.
QList<QHostAddress> lookuphosts(const QString &host);

// The one address a datagram goes to: the name's first IPv4 address where
// it has one (as before IPv6 was known, so that a name of both families
// keeps reaching the IPv4 peer it always did), else its first address.
QHostAddress lookuphost(const QString &host);

// An address as the records write it with its port: "192.0.2.1:5000", or
// "[2001:db8::1]:5000" (the zone inside the brackets). An IPv4 peer seen
// through a socket of both families (::ffff:192.0.2.1) is written as IPv4.
QString addresstext(const QHostAddress &address, quint16 port);
// The IPv4 address an IPv4-mapped IPv6 address stands for; others as they are.
QHostAddress plainaddress(const QHostAddress &address);
