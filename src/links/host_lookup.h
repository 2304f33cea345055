#pragma once

#include <QString>

// The IPv4 address (host order) a host text of the network panels names:
// a literal address as it stands, else the first IPv4 address the name
// resolves to, blanks around it ignored. Throws KrovanError ("Cannot
// resolve host "TEXT".") when there is none.
quint32 lookupipv4(const QString &host);
