#pragma once

#include "log_entry.h"
#include "wait_for.h"

#include <QStringList>

// Every entry as one line of text, as a test reads it.
class Entries : public LogSink {
public:
    QStringList lines;
    // The lines once there are `count`: a received block and its answer
    // are logged a moment after the answer left.
    QStringList atleast(qsizetype count) {
        waitfor([&] { return lines.size() >= count; }, 1000);
        return lines;
    }
    void write(const LogEntry &entry) override {
        switch (entry.kind) {
        case LogEntry::Kind::State:
            lines << "state " + entry.text;
            break;
        case LogEntry::Kind::Error:
            lines << "error " + entry.text;
            break;
        case LogEntry::Kind::Record:
            lines << QString(entry.direction == Direction::Received ? "rx " : "tx ") +
                         entry.address + " [" + entry.macros.join(",") + "] " +
                         QString::fromLatin1(entry.bytes.data(),
                                             static_cast<qsizetype>(entry.bytes.size()));
            break;
        }
    }
};
