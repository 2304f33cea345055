#include "log_spool.h"

#include "errors.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

// Appends reach the file in writes of about this size.
constexpr size_t bufferSize = 64 * 1024;

const char *const suffix = ".spool";

[[noreturn]] void fail(const QString &path, int error) {
    throw KrovanError((path + ": " + QString::fromLocal8Bit(std::strerror(error))).toStdString());
}

} // namespace

QString LogSpool::defaultfolder() {
    const QByteArray cache = qgetenv("XDG_CACHE_HOME");
    const QString base = !cache.isEmpty() && QDir::isAbsolutePath(QString::fromLocal8Bit(cache))
                             ? QString::fromLocal8Bit(cache)
                             : QDir::homePath() + "/.cache";
    return base + "/krovan";
}

int LogSpool::removestale(const QString &folder) {
    int removed = 0;
    const QDir dir(folder);
    for (const QString &name : dir.entryList({QString("*") + suffix}, QDir::Files)) {
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        const int fd = ::open(path.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        // A lock we can take is one no live process holds.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(path.constData()) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
}

LogSpool::LogSpool(const QString &folder, const QString &window)
    : folder_(folder), window_(window) {
    create();
}

LogSpool::~LogSpool() {
    remove();
}

void LogSpool::create() {
    if (!QDir().mkpath(folder_))
        fail(folder_, errno ? errno : EACCES);
    ::chmod(QFile::encodeName(folder_).constData(), 0700);
    path_ = QString("%1/%2-%3-%4%5")
                .arg(folder_, window_)
                .arg(::getpid())
                .arg(generation_++)
                .arg(suffix);
    const QByteArray name = QFile::encodeName(path_);
    fd_ = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0)
        fail(path_, errno);
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        remove();
        fail(path_, error);
    }
    written_ = 0;
    buffer_.clear();
}

void LogSpool::remove() {
    if (fd_ < 0)
        return;
    ::unlink(QFile::encodeName(path_).constData());
    // The last close of a removed file gives back all its blocks and cached
    // pages, a second and more for a file of gigabytes: not on the window's
    // thread. The name is gone already.
    try {
        std::thread([fd = fd_] { ::close(fd); }).detach();
    } catch (const std::system_error &) {
        ::close(fd_); // no thread to be had
    }
    fd_ = -1;
}

void LogSpool::restart() {
    remove();
    create();
}

qint64 LogSpool::append(std::string_view bytes) {
    const qint64 offset = size();
    buffer_.append(bytes);
    if (buffer_.size() >= bufferSize)
        flush();
    return offset;
}

void LogSpool::flush() {
    size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t put = ::pwrite(fd_, buffer_.data() + done, buffer_.size() - done,
                                     static_cast<off_t>(written_ + static_cast<qint64>(done)));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            const int error = put < 0 ? errno : ENOSPC;
            // What was written stays; the rest is still in the buffer.
            buffer_.erase(0, done);
            written_ += static_cast<qint64>(done);
            fail(path_, error);
        }
        done += static_cast<size_t>(put);
    }
    written_ += static_cast<qint64>(done);
    buffer_.clear();
}

std::string LogSpool::read(qint64 offset, qint64 size) const {
    if (offset < 0 || size < 0 || offset + size > this->size())
        throw KrovanError((path_ + ": no such range").toStdString());
    std::string bytes(static_cast<size_t>(size), '\0');
    read(offset, bytes.data(), size);
    return bytes;
}

void LogSpool::read(qint64 offset, char *out, qint64 size) const {
    if (offset < 0 || size < 0 || offset + size > this->size())
        throw KrovanError((path_ + ": no such range").toStdString());
    // The part in the file, then the part still buffered.
    const qint64 fromfile = std::clamp<qint64>(written_ - offset, 0, size);
    qint64 done = 0;
    while (done < fromfile) {
        const ssize_t got = ::pread(fd_, out + done, static_cast<size_t>(fromfile - done),
                                    static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            fail(path_, got < 0 ? errno : EIO);
        done += got;
    }
    if (size > fromfile)
        std::memcpy(out + fromfile, buffer_.data() + (offset + fromfile - written_),
                    static_cast<size_t>(size - fromfile));
}
