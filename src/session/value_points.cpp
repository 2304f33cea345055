#include "value_points.h"

#include "value_text.h"

void ValuePoints::write(const LogEntry &entry) {
    if (entry.kind != LogEntry::Kind::Record || entry.direction != Direction::Received || !onpoint)
        return;
    if (fromtext)
        for (NamedValue &each : valuesintext(entry.bytes))
            onpoint({entry.time, std::move(each.series), each.value});
    for (ValueRules::Taken &each : rules.take(entry.bytes))
        onpoint({entry.time, std::move(each.series), each.value});
}
