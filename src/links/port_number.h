#pragma once

#include <QtGlobal>

// Checks that a number read from a port field names a port; throws
// KrovanError otherwise.
quint16 portnumber(int value);
