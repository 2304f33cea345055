#pragma once

// A log window's lines kept in a file instead of memory: one spool file per
// window and process under the user's cache folder, held with an exclusive
// lock while the process lives and removed when the log is cleared (a new
// one takes its place) or the spool is closed. A crash leaves its file
// behind; removestale() clears such files at the next start, telling them
// by the lock no live process holds.

#include <QString>

#include <string>
#include <string_view>
#include <utility>

class LogSpool {
public:
    // Where spool files go: $XDG_CACHE_HOME/krovan, else ~/.cache/krovan.
    static QString defaultfolder();
    // Removes the spool files in `folder` that no live process holds;
    // returns how many.
    static int removestale(const QString &folder);

    // A new spool for the window named `window` in `folder` (made, owner
    // only, when missing). Throws KrovanError naming the file and the
    // system's reason.
    LogSpool(const QString &folder, const QString &window);
    ~LogSpool();
    LogSpool(const LogSpool &) = delete;
    LogSpool &operator=(const LogSpool &) = delete;

    // Appends the bytes and returns the offset of the first; throws
    // KrovanError when they cannot be written (a full disk). Bytes are
    // buffered; a read sees every byte appended before it.
    qint64 append(std::string_view bytes);
    // `size` bytes from `offset`; throws KrovanError when they cannot be
    // read back. Bytes still buffered are copied, not written first, so a
    // read changes nothing and may run on another thread while this one
    // does not append.
    std::string read(qint64 offset, qint64 size) const;
    void read(qint64 offset, char *out, qint64 size) const;
    qint64 size() const { return written_ + static_cast<qint64>(buffer_.size()); }
    // The bytes in the file; the rest is buffered.
    qint64 written() const { return written_; }
    // Takes the buffered bytes out, unwritten: after a failed append the
    // log keeps them in memory and the file holds only what it took.
    std::string takeunwritten() { return std::exchange(buffer_, std::string()); }
    const QString &path() const { return path_; }

    // Starts an empty spool in a new file and removes the old one (the
    // log was cleared).
    void restart();

private:
    void create();
    void flush();
    void remove();

    QString folder_;
    QString window_;
    QString path_;
    int fd_ = -1;
    int generation_ = 0;
    qint64 written_ = 0;
    std::string buffer_;
};
