#pragma once

#include <QHostAddress>
#include <QString>

// The address a host text of the network panels names: a literal IPv4
// address as it stands, else the first IPv4 address the name resolves to,
// blanks around it ignored. Throws KrovanError ("Cannot resolve host
// "TEXT".") when there is none.
QHostAddress lookuphost(const QString &host);
