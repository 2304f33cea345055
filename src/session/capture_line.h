#pragma once

// One log entry as one line of the capture file: UTF-8, six fields
// separated by one TAB, ended by "\n":
//
//   TIME  KIND  ADDRESS  MACROS  TEXT  HEX
//
// TIME is local time in ISO 8601 with milliseconds and the UTC offset; KIND
// is RX, TX, STATE or ERROR; ADDRESS, MACROS (joined by " / ") and HEX
// ("41 42 0D") belong to records and are empty otherwise; TEXT is a
// record's printable text as the logs write it, or the line's text.

#include "log_entry.h"

#include <string>
#include <string_view>

// "2026-12-08T14:03:07.125+01:00" for milliseconds since the epoch.
std::string capturetime(qint64 msecs);
std::string captureline(const LogEntry &entry);
// The same, appended to `line`.
void appendcaptureline(std::string &line, const LogEntry &entry);

// An entry as its line reads it, its texts as UTF-16 views (the macros
// already joined): the capture's thread makes lines from entries packed
// in a buffer without making objects of them.
struct CaptureEntry {
    LogEntry::Kind kind = LogEntry::Kind::State;
    Direction direction = Direction::Received;
    qint64 time = 0;
    std::string_view bytes;
    std::u16string_view address;
    std::u16string_view macros;
    std::u16string_view text;
};
void appendcaptureline(std::string &line, const CaptureEntry &entry);
