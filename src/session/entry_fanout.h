#pragma once

// Hands every log entry to the sinks in order, owns the capture to a file,
// and says when a sink has fallen behind (a capture under a flood) and
// when every sink has caught up again.

#include "capture_file.h"
#include "log_entry.h"

#include <QObject>
#include <QTimer>

#include <exception>
#include <functional>
#include <memory>
#include <vector>

class EntryFanout : public QObject {
    Q_OBJECT
public:
    explicit EntryFanout(QObject *parent = nullptr);
    ~EntryFanout() override;

    // Sinks must outlive their subscription.
    void add(LogSink *sink);
    void remove(LogSink *sink);
    // Numbers the entry and hands it to every sink, or, while held, keeps
    // it for them.
    void write(LogEntry entry);
    // Holds the entries back until as many releases as holds; the last one
    // hands them to the sinks in order. A sink that throws does not keep
    // the others from their entries: the first failure is thrown after.
    void hold() { ++holds_; }
    void release() { letgo(false); }
    // As release, but after the last one the entries wait for more, unless
    // many wait already, until the event loop has nothing else to do or a
    // millisecond has passed: a peer asking again at once is answered
    // before one pass of the sinks logs it all. A failure of a sink then
    // is given to onfailure.
    void releasesoon() { letgo(true); }
    std::function<void(const std::exception_ptr &)> onfailure;
    // Hands the entries held or waiting so far to the sinks and goes on
    // holding the next ones; a sink's failure is the caller's to throw or
    // not.
    std::exception_ptr handoutheld();
    // How many entries are held, and an entry put in among them.
    std::size_t heldcount() const { return held_.size(); }
    void insertheld(std::size_t at, LogEntry entry);

    // The capture of every entry to a file (appending); a failure to open
    // throws. A file that stops taking entries is closed and reported by
    // capturefailed.
    void startcapture(const QString &path, qint64 limit);
    void stopcapture();
    bool capturing() const { return capture_ != nullptr; }

signals:
    // A sink fell behind (true), or every sink has caught up (false).
    void holdback(bool held);
    void capturefailed(const QString &message);

private:
    void letgo(bool wait);
    void handoutwaiting();
    void handout(LogEntry &entry);
    bool behind() const;

    std::vector<LogSink *> sinks_;
    std::unique_ptr<CaptureFile> capture_;
    // Counted over every session of the process, so that no two entries
    // share a number.
    static inline quint64 serial_ = 0;
    bool heldback_ = false;
    int holds_ = 0;
    bool handing_ = false; // handoutheld is handing them out
    std::vector<LogEntry> held_;
    // While held back, looks every 10 ms whether the sinks caught up.
    QTimer catchup_;
    // Hands out the entries that wait after their last release.
    QTimer waiting_;
    QMetaObject::Connection idlewatch_;
};
