#include "entry_fanout.h"

#include <QAbstractEventDispatcher>

#include <algorithm>
#include <exception>
#include <utility>

namespace {

// How long released entries wait for more, and how many go at once.
constexpr int waitms = 1;
constexpr std::size_t waitingmost = 64;

} // namespace

EntryFanout::EntryFanout(QObject *parent) : QObject(parent) {
    catchup_.setInterval(10);
    connect(&catchup_, &QTimer::timeout, this, [this] {
        if (behind())
            return;
        heldback_ = false;
        catchup_.stop();
        emit holdback(false);
    });
    waiting_.setSingleShot(true);
    waiting_.setTimerType(Qt::PreciseTimer);
    waiting_.setInterval(waitms);
    connect(&waiting_, &QTimer::timeout, this, &EntryFanout::handoutwaiting);
}

void EntryFanout::handoutwaiting() {
    if (holds_ > 0 || held_.empty())
        return; // the last release lets them wait again
    waiting_.stop();
    const std::exception_ptr failure = handoutheld();
    if (failure && onfailure)
        onfailure(failure);
}

EntryFanout::~EntryFanout() {
    stopcapture();
}

void EntryFanout::add(LogSink *sink) {
    sinks_.push_back(sink);
}

// A sink that goes takes what waits for it.
void EntryFanout::remove(LogSink *sink) {
    if (holds_ == 0)
        (void)handoutheld();
    std::erase(sinks_, sink);
}

void EntryFanout::write(LogEntry entry) {
    if (holds_ > 0)
        return held_.push_back(std::move(entry));
    // What waits goes first, so the order stays.
    const std::exception_ptr failure = held_.empty() ? nullptr : handoutheld();
    handout(entry);
    if (failure)
        std::rethrow_exception(failure);
}

void EntryFanout::letgo(bool wait) {
    if (holds_ > 1) {
        --holds_;
        return;
    }
    holds_ = 0;
    if (wait && held_.size() < waitingmost) {
        if (!waiting_.isActive())
            waiting_.start();
        // They go as soon as the event loop has nothing else to do, too:
        // the log then costs the peer no wait, and the thread is not asleep
        // when the peer asks again.
        if (!idlewatch_)
            if (QAbstractEventDispatcher *loop = QAbstractEventDispatcher::instance(thread()))
                idlewatch_ = connect(loop, &QAbstractEventDispatcher::aboutToBlock, this,
                                     &EntryFanout::handoutwaiting);
        return;
    }
    if (const std::exception_ptr failure = handoutheld())
        std::rethrow_exception(failure);
}

std::exception_ptr EntryFanout::handoutheld() {
    // Once at a time: a sink that has something told while the entries go
    // (an error box) finds them going already.
    if (handing_)
        return {};
    handing_ = true;
    // Held while they go: an entry a sink makes meanwhile goes after them.
    ++holds_;
    std::exception_ptr failure;
    for (std::size_t n = 0; n < held_.size(); ++n) {
        LogEntry entry = std::move(held_[n]);
        try {
            handout(entry);
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    held_.clear();
    --holds_;
    handing_ = false;
    return failure;
}

void EntryFanout::insertheld(std::size_t at, LogEntry entry) {
    held_.insert(held_.begin() + static_cast<std::ptrdiff_t>(std::min(at, held_.size())),
                 std::move(entry));
}

// Numbered as they go out, so that the numbers follow the order the sinks
// see.
void EntryFanout::handout(LogEntry &entry) {
    entry.serial = ++serial_;
    for (LogSink *sink : sinks_)
        sink->write(entry);
    if (heldback_ || !behind())
        return;
    heldback_ = true;
    catchup_.start();
    emit holdback(true);
}

bool EntryFanout::behind() const {
    return std::any_of(sinks_.begin(), sinks_.end(),
                       [](const LogSink *sink) { return sink->behind(); });
}

void EntryFanout::startcapture(const QString &path, qint64 limit) {
    stopcapture();
    capture_ = std::make_unique<CaptureFile>(path, limit);
    add(capture_.get());
    connect(capture_.get(), &CaptureFile::failed, this, [this](const QString &message) {
        // The file reporting is gone only once its report has returned.
        CaptureFile *broken = capture_.release();
        remove(broken);
        broken->deleteLater();
        emit capturefailed(message);
    });
}

void EntryFanout::stopcapture() {
    if (!capture_)
        return;
    remove(capture_.get()); // taking what waits
    // What it was given reaches the file before it is closed.
    capture_.reset();
}
