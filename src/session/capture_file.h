#pragma once

// Captures every log entry to a file as it happens, one line each (see
// capture_line.h), appending to what the file holds. A thread of its own
// makes the lines and writes them: the entries reach the operating system
// within a tenth of a second, and the GUI thread only queues them and never
// waits for the disk. What waits in memory is bounded; entries beyond the
// bound are counted and the count is written once the file takes entries
// again. Past `limit` bytes the file
// becomes FILE.1 (FILE.1 becomes FILE.2, and so on up to FILE.9, the oldest
// dropped) and a new FILE starts.

#include "log_entry.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class CaptureFile : public QObject, public LogSink {
    Q_OBJECT
public:
    static constexpr qint64 defaultlimit = qint64{1024} << 20;
    // Bytes waiting for the file at most.
    static constexpr std::size_t maxpending = std::size_t{16} << 20;
    // The longest an entry waits before it is written.
    static constexpr int flushms = 50;
    // Entries waiting past this many bytes wake the writer before its time.
    static constexpr std::size_t wakebytes = std::size_t{1} << 20;
    // Lines are made and written this many bytes at a time.
    static constexpr std::size_t chunkbytes = std::size_t{256} << 10;
    // Waiting past this many bytes the capture is behind, and it has caught
    // up once its writer has written all but `caughtupbytes`: far below
    // `maxpending`, so that what the paused links still hand on fits.
    static constexpr std::size_t behindbytes = std::size_t{4} << 20;
    static constexpr std::size_t caughtupbytes = std::size_t{1} << 20;

    // Opens the file for appending; throws KrovanError with the system's
    // reason when it cannot be opened.
    CaptureFile(const QString &path, qint64 limit = defaultlimit);
    // Writes to standard output instead; never rotated.
    enum StandardOutput { Standard };
    explicit CaptureFile(StandardOutput);
    // Writes what waits, then ends the thread.
    ~CaptureFile() override;

    void write(const LogEntry &entry) override;
    bool behind() const override { return behind_.load(std::memory_order_relaxed); }
    const QString &path() const { return path_; }

signals:
    // The file stopped taking entries (disk full, removed folder, no
    // permission): the message names the file and the reason. Sent once,
    // on the thread that owns the object.
    void failed(const QString &message);

private:
    void run();
    // Writes a chunk of whole lines, rotating first when the file is full;
    // false with errno set on failure.
    bool writechunk(const std::string &chunk);
    // After a write that failed partway: the file is cut back to the end
    // of its last whole line (a regular file only).
    void cutpartial(std::string_view written);
    bool rotate();

    const QString path_;
    const std::string file_;
    const qint64 limit_;
    int fd_ = -1;
    qint64 size_ = 0;

    std::mutex lock_;
    std::condition_variable wake_;
    // The entries waiting, packed one after the other: the GUI thread
    // copies their bytes and texts and allocates nothing per entry.
    std::string pending_;
    std::size_t dropped_ = 0;
    bool woken_ = false;
    bool stopping_ = false;
    bool broken_ = false;
    std::atomic<bool> behind_ = false;
    std::thread writer_;
};
