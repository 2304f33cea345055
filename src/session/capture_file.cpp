#include "capture_file.h"

#include "capture_line.h"
#include "errors.h"

#include <QDateTime>
#include <QFile>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string reason(int error) {
    return std::strerror(error);
}

template <class Value> void put(std::string &out, Value value) {
    out.append(reinterpret_cast<const char *>(&value), sizeof value);
}

template <class Value> Value take(std::string_view in, std::size_t &at) {
    Value value;
    std::memcpy(&value, in.data() + at, sizeof value);
    at += sizeof value;
    return value;
}

// A text's UTF-16 units start at an even offset, so the capture's thread
// reads them in place.
void align(std::string &out) {
    if (out.size() % 2)
        out += '\0';
}

void putunits(std::string &out, const QString &text) {
    out.append(reinterpret_cast<const char *>(text.constData()),
               static_cast<std::size_t>(text.size()) * 2);
}

void puttext(std::string &out, const QString &text) {
    put(out, static_cast<std::uint32_t>(text.size()));
    align(out);
    putunits(out, text);
}

// The macros as their field writes them, joined by " / ".
void putmacros(std::string &out, const QStringList &macros) {
    static const QString separator = " / ";
    qsizetype size = macros.isEmpty() ? 0 : separator.size() * (macros.size() - 1);
    for (const QString &macro : macros)
        size += macro.size();
    put(out, static_cast<std::uint32_t>(size));
    align(out);
    for (qsizetype i = 0; i < macros.size(); ++i) {
        if (i > 0)
            putunits(out, separator);
        putunits(out, macros[i]);
    }
}

std::u16string_view taketext(std::string_view in, std::size_t &at) {
    const auto size = take<std::uint32_t>(in, at);
    at += at % 2;
    const auto *units = reinterpret_cast<const char16_t *>(in.data() + at);
    at += std::size_t{size} * 2;
    return {units, size};
}

// An entry as the capture needs it, appended to `out`.
void pack(std::string &out, const LogEntry &entry) {
    put(out, static_cast<std::uint8_t>(entry.kind));
    put(out, static_cast<std::uint8_t>(entry.direction));
    put(out, entry.time);
    put(out, static_cast<std::uint32_t>(entry.bytes.size()));
    out += entry.bytes;
    puttext(out, entry.address);
    putmacros(out, entry.macros);
    puttext(out, entry.text);
}

// The entry packed at `at`, its texts read in place.
CaptureEntry unpack(std::string_view in, std::size_t &at) {
    CaptureEntry entry;
    entry.kind = static_cast<LogEntry::Kind>(take<std::uint8_t>(in, at));
    entry.direction = static_cast<Direction>(take<std::uint8_t>(in, at));
    entry.time = take<qint64>(in, at);
    const auto size = take<std::uint32_t>(in, at);
    entry.bytes = in.substr(at, size);
    at += size;
    entry.address = taketext(in, at);
    entry.macros = taketext(in, at);
    entry.text = taketext(in, at);
    return entry;
}

// Opens for appending without blocking on a FIFO nobody reads.
int openforappend(const std::string &file) {
    return ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0666);
}

} // namespace

CaptureFile::CaptureFile(const QString &path, qint64 limit)
    : path_(path), file_(QFile::encodeName(path).toStdString()),
      limit_(limit > 0 ? limit : defaultlimit) {
    fd_ = openforappend(file_);
    if (fd_ < 0)
        throw KrovanError("Unable to write to " + file_ + ": " + reason(errno));
    struct stat info;
    size_ = ::fstat(fd_, &info) == 0 ? info.st_size : 0;
    writer_ = std::thread([this] { run(); });
}

CaptureFile::CaptureFile(StandardOutput)
    : path_("standard output"), file_("standard output"),
      limit_(std::numeric_limits<qint64>::max()) {
    fd_ = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    if (fd_ < 0)
        throw KrovanError("Unable to write to standard output: " + reason(errno));
    writer_ = std::thread([this] { run(); });
}

CaptureFile::~CaptureFile() {
    {
        const std::lock_guard<std::mutex> held(lock_);
        stopping_ = true;
    }
    wake_.notify_one();
    writer_.join();
    if (fd_ >= 0)
        ::close(fd_);
}

void CaptureFile::write(const LogEntry &entry) {
    const std::lock_guard<std::mutex> held(lock_);
    if (broken_)
        return;
    if (pending_.size() + entry.bytes.size() > maxpending) {
        ++dropped_;
        return;
    }
    pack(pending_, entry);
    if (pending_.size() >= behindbytes)
        behind_.store(true, std::memory_order_relaxed);
    // A flood fills the buffer faster than the writer's pace: the writer is
    // woken early, so that what waits, and the memory it takes, stays small.
    if (pending_.size() >= wakebytes && !woken_) {
        woken_ = true;
        wake_.notify_one();
    }
}

void CaptureFile::run() {
    std::string chunk, entries;
    for (;;) {
        std::size_t dropped = 0;
        bool stopping = false;
        {
            std::unique_lock<std::mutex> held(lock_);
            wake_.wait_for(held, std::chrono::milliseconds(flushms),
                           [this] { return stopping_ || woken_; });
            woken_ = false;
            entries.clear();
            entries.swap(pending_);
            std::swap(dropped, dropped_);
            stopping = stopping_;
        }
        // Written in slices, so the text made at once stays small whatever
        // waited.
        bool written = true;
        for (std::size_t at = 0; written && at < entries.size();) {
            chunk.clear();
            while (at < entries.size() && chunk.size() < chunkbytes)
                appendcaptureline(chunk, unpack(entries, at));
            written = writechunk(chunk);
        }
        if (written && dropped > 0) {
            LogEntry note;
            note.kind = LogEntry::Kind::Error;
            note.time = QDateTime::currentMSecsSinceEpoch();
            note.text =
                QString("The capture left out %1 entries: it fell behind them.").arg(dropped);
            written = writechunk(captureline(note));
        }
        if (!written) {
            const std::string message = "Unable to write to " + file_ + ": " + reason(errno);
            {
                const std::lock_guard<std::mutex> held(lock_);
                broken_ = true;
                pending_.clear();
            }
            QMetaObject::invokeMethod(
                this, [this, message] { emit failed(QString::fromStdString(message)); },
                Qt::QueuedConnection);
            return;
        }
        if (stopping)
            return;
        const std::lock_guard<std::mutex> held(lock_);
        if (pending_.size() < caughtupbytes)
            behind_.store(false, std::memory_order_relaxed);
    }
}

bool CaptureFile::writechunk(const std::string &chunk) {
    if (size_ > 0 && size_ + static_cast<qint64>(chunk.size()) > limit_ && !rotate())
        return false;
    std::size_t done = 0;
    while (done < chunk.size()) {
        const ssize_t put = ::write(fd_, chunk.data() + done, chunk.size() - done);
        if (put >= 0) {
            done += static_cast<std::size_t>(put);
            size_ += put;
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN) {
            const int error = errno;
            cutpartial(std::string_view(chunk).substr(0, done));
            errno = error;
            return false;
        }
        // A FIFO whose reader is slow: wait for room, but not past a stop.
        pollfd room{fd_, POLLOUT, 0};
        ::poll(&room, 1, 100);
        const std::lock_guard<std::mutex> held(lock_);
        if (stopping_ && ::poll(&room, 1, 0) == 0) {
            errno = EAGAIN;
            return false;
        }
    }
    return true;
}

void CaptureFile::cutpartial(std::string_view written) {
    const std::size_t whole = written.rfind('\n') + 1; // 0 when none is whole
    const std::size_t partial = written.size() - whole;
    struct stat info;
    if (partial == 0 || ::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode))
        return;
    if (::ftruncate(fd_, info.st_size - static_cast<off_t>(partial)) == 0)
        size_ -= static_cast<qint64>(partial);
}

bool CaptureFile::rotate() {
    ::close(fd_);
    fd_ = -1;
    const auto numbered = [this](int n) { return file_ + "." + std::to_string(n); };
    ::unlink(numbered(9).c_str());
    for (int n = 8; n >= 1; --n)
        ::rename(numbered(n).c_str(), numbered(n + 1).c_str());
    if (::rename(file_.c_str(), numbered(1).c_str()) != 0 && errno != ENOENT)
        return false;
    fd_ = openforappend(file_);
    size_ = 0;
    return fd_ >= 0;
}
