#include "port_number.h"

#include "errors.h"

#include <string>

quint16 portnumber(int value) {
    if (value < 0 || value > 65535)
        throw KrovanError("Port " + std::to_string(value) + " is out of range 0 to 65535.");
    return static_cast<quint16>(value);
}
