#include "capture_line.h"

#include "block_text.h"
#include "codec.h"
#include "cp1250.h"

#include <QChar>

#include <array>
#include <cstdio>
#include <limits>
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

// The printable text of every byte in UTF-8, as the logs write it: control
// bytes by their names, the others through Windows-1250.
const std::array<std::string, 256> &printablebytes() {
    static const std::array<std::string, 256> table = [] {
        std::array<std::string, 256> texts;
        for (int value = 0; value < 256; ++value) {
            const auto byte = static_cast<unsigned char>(value);
            texts[byte] = value < static_cast<int>(ctrlnames.size())
                              ? "<" + std::string(ctrlnames[byte]) + ">"
                              : QString(QChar(cp1250ToUnicode(byte))).toStdString();
            for (char &c : texts[byte])
                if (c == '\t' || c == '\n' || c == '\r')
                    c = ' ';
        }
        return texts;
    }();
    return table;
}

void appendtime(std::string &line, qint64 msecs) {
    // The text of the second is made once a second; the milliseconds change.
    static thread_local qint64 second = std::numeric_limits<qint64>::min();
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
    const int millis = static_cast<int>(msecs - now * 1000);
    line += prefix;
    line += '.';
    line += static_cast<char>('0' + millis / 100);
    line += static_cast<char>('0' + millis / 10 % 10);
    line += static_cast<char>('0' + millis % 10);
    line += offset;
}

} // namespace

std::string capturetime(qint64 msecs) {
    std::string time;
    appendtime(time, msecs);
    return time;
}

void appendcaptureline(std::string &line, const LogEntry &entry) {
    appendtime(line, entry.time);
    line += '\t';
    line += kindname(entry);
    line += '\t';
    if (entry.kind != LogEntry::Kind::Record) {
        line += "\t\t";
        line += field(entry.text);
        line += "\t\n";
        return;
    }
    line += field(entry.address);
    line += '\t';
    line += field(entry.macros.join(" / "));
    line += '\t';
    const std::array<std::string, 256> &texts = printablebytes();
    for (const char byte : entry.bytes)
        line += texts[static_cast<unsigned char>(byte)];
    line += '\t';
    if (!entry.bytes.empty()) {
        const std::size_t at = line.size();
        line.resize(at + entry.bytes.size() * 3);
        writehex(entry.bytes, line.data() + at);
        line.erase(at, 1); // without the leading blank
    }
    line += '\n';
}

std::string captureline(const LogEntry &entry) {
    std::string line;
    appendcaptureline(line, entry);
    return line;
}
