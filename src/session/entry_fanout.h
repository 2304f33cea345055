#pragma once

// Hands every log entry to the sinks in order, owns the capture to a file,
// and says when a sink has fallen behind (a capture under a flood) and
// when every sink has caught up again.

#include "capture_file.h"
#include "log_entry.h"

#include <QObject>
#include <QTimer>

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
    void write(const LogEntry &entry);

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
    bool behind() const;

    std::vector<LogSink *> sinks_;
    std::unique_ptr<CaptureFile> capture_;
    bool heldback_ = false;
    // While held back, looks every 10 ms whether the sinks caught up.
    QTimer catchup_;
};
