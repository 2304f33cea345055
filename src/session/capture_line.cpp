#include "capture_line.h"

#include "block_text.h"
#include "bytes_text.h"

#include <cstdio>
#include <ctime>

namespace {

// A tab or a line end inside a field would split the line.
std::string field(const QString &text) {
    std::string utf8 = text.toStdString();
    for (char &c : utf8)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    return utf8;
}

const char *kindname(const LogEntry &entry) {
    switch (entry.kind) {
    case LogEntry::Kind::Record:
        return entry.direction == Direction::Received ? "RX" : "TX";
    case LogEntry::Kind::State:
        return "STATE";
    case LogEntry::Kind::Error:
        return "ERROR";
    }
    return "";
}

} // namespace

std::string capturetime(qint64 msecs) {
    // The text of the second is made once a second; the milliseconds change.
    static thread_local qint64 second = -1;
    static thread_local std::string prefix, offset;
    const qint64 now = msecs >= 0 ? msecs / 1000 : (msecs - 999) / 1000;
    if (now != second) {
        second = now;
        const std::time_t t = static_cast<std::time_t>(now);
        std::tm local{};
        ::localtime_r(&t, &local);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
        prefix = text;
        const long east = local.tm_gmtoff;
        const long minutes = (east < 0 ? -east : east) / 60;
        std::snprintf(text, sizeof text, "%c%02ld:%02ld", east < 0 ? '-' : '+', minutes / 60,
                      minutes % 60);
        offset = text;
    }
    char millis[8];
    std::snprintf(millis, sizeof millis, ".%03d", static_cast<int>(msecs - now * 1000));
    return prefix + millis + offset;
}

std::string captureline(const LogEntry &entry) {
    std::string line = capturetime(entry.time);
    line += '\t';
    line += kindname(entry);
    line += '\t';
    if (entry.kind == LogEntry::Kind::Record) {
        line += field(entry.address);
        line += '\t';
        line += field(entry.macros.join(" / "));
        line += '\t';
        line += field(fromBytes(printabletext(entry.bytes)));
        line += '\t';
        const std::string hex = hextext(entry.bytes);
        if (!hex.empty())
            line.append(hex, 1); // without the leading blank
    } else {
        line += "\t\t";
        line += field(entry.text);
        line += '\t';
    }
    line += '\n';
    return line;
}
