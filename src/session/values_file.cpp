#include "values_file.h"

#include "capture_line.h"
#include "errors.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

std::string csvfield(const std::string &text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"')
            quoted += c;
    }
    return quoted + "\"";
}

ValuesFile::ValuesFile(const QString &path) : path_(path) {
    if (path == "-") {
        fd_ = STDOUT_FILENO;
    } else {
        fd_ = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC,
                     0644);
        if (fd_ < 0)
            throw KrovanError((path + ": " + std::strerror(errno)).toStdString());
        own_ = true;
    }
    pending_ = "time,series,value\n";
    timer_.setInterval(flushms);
    connect(&timer_, &QTimer::timeout, this, &ValuesFile::flush);
    timer_.start();
}

ValuesFile::~ValuesFile() {
    flush();
    if (own_)
        ::close(fd_);
}

void ValuesFile::add(const ValuePoint &point) {
    if (broken_)
        return;
    pending_ += capturetime(point.time);
    pending_ += ',';
    pending_ += csvfield(point.series);
    pending_ += ',';
    char number[32];
    // The shortest text that reads back as the same double.
    const auto [end, error] = std::to_chars(number, number + sizeof number, point.value);
    pending_.append(number, error == std::errc() ? end : number);
    pending_ += '\n';
}

void ValuesFile::flush() {
    std::size_t done = 0;
    while (done < pending_.size() && !broken_) {
        // Whole lines of at most a pipe's atomic write: beside a capture on
        // the same standard output, no line is cut by another's.
        std::size_t size = std::min<std::size_t>(pending_.size() - done, PIPE_BUF);
        if (done + size < pending_.size()) {
            const std::size_t lineend = pending_.rfind('\n', done + size - 1);
            if (lineend != std::string::npos && lineend >= done)
                size = lineend + 1 - done;
        }
        const ssize_t put = ::write(fd_, pending_.data() + done, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            broken_ = true;
            emit failed(path_ + ": " + std::strerror(errno));
            break;
        }
        done += static_cast<std::size_t>(put);
    }
    pending_.clear();
}
