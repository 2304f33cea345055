#pragma once

// Finding a serial device again after it went away: by its path, and for a
// USB adapter whose serial number the system knows, by that number with its
// vendor and product id, wherever it comes back (another ttyUSB number).

#include <QString>

#include <vector>

struct SerialPortIdentity {
    // The device's path as the system lists it (/dev/ttyUSB0).
    QString location;
    QString serialnumber;
    bool hasids = false;
    quint16 vendor = 0;
    quint16 product = 0;
};

// The ports the system lists now.
std::vector<SerialPortIdentity> presentserialports();
// What the system knows of the device at `location` (its path alone when
// nothing more).
SerialPortIdentity serialidentity(const QString &location);

// Where the device `wanted` is among `ports`: the same serial number,
// vendor and product id; empty when it has no serial number or is not
// there.
QString findserialdevice(const SerialPortIdentity &wanted,
                         const std::vector<SerialPortIdentity> &ports);

// A path that names the device whatever number it gets
// (/dev/serial/by-id/...), or empty when the system has none.
QString stableserialpath(const QString &location, const QString &folder = "/dev/serial/by-id");
