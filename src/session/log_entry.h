#pragma once

// What the session logs, as data: sinks (the log windows, a file capture,
// standard output) render it each in their own way.

#include <QString>
#include <QStringList>

#include <string>

enum class Direction { Received, Sent };

struct LogEntry {
    enum class Kind { Record, State, Error };

    Kind kind = Kind::State;
    // Milliseconds since the epoch, when the entry was made.
    qint64 time = 0;
    // A record: its direction, its bytes, the address it came from
    // ("127.0.0.1:5000", "COM3", "TCP-IP :500") or went to ("127.0.0.1 :
    // 9876", "COM3"), and for a received block the descriptions of the
    // macro rows the filters named, in order.
    Direction direction = Direction::Received;
    std::string bytes;
    QString address;
    QStringList macros;
    // A state or error line: its text; an error line may name its font
    // (empty: the font the log is writing in).
    QString text;
    QString font;
    // Numbers the entries of every session in the process from 1 (0: an
    // entry made outside one), so that sinks rendering the same entry alike
    // can share the work.
    quint64 serial = 0;
};

// Takes every entry of a session, in order.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void write(const LogEntry &entry) = 0;
    // Whether the sink has fallen behind the entries and would rather the
    // links that can wait (the streams, the serial port) paused reading.
    virtual bool behind() const { return false; }
};
