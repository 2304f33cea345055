#pragma once

// The values a device reports, taken from the received records as points of
// named series at each entry's own time: a sink of the session's entries.

#include "log_entry.h"
#include "value_rules.h"

#include <QtGlobal>

#include <functional>
#include <string>

struct ValuePoint {
    qint64 time = 0; // milliseconds since the epoch, the entry's
    std::string series;
    double value = 0;
};

class ValuePoints : public LogSink {
public:
    // Numbers in a block's text give points (the check box "Čísla z textu").
    bool fromtext = true;
    // Each matching rule gives a point of its series.
    ValueRules rules;
    // Called for every point, in the order of the entries.
    std::function<void(const ValuePoint &point)> onpoint;

    void write(const LogEntry &entry) override;
};
