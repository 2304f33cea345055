#include "log_bytes.h"

#include "errors.h"
#include "log_spool.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int chunkbits = 20;
constexpr std::uint64_t chunksize = std::uint64_t(1) << chunkbits;
// The cache holds 64 pages of 64 KiB: a few screens of the longest lines,
// hundreds of screens of ordinary ones.
constexpr int pagebits = 16;
constexpr std::uint64_t pagesize = std::uint64_t(1) << pagebits;
constexpr std::size_t pagecount = 64;

} // namespace

LogBytes::LogBytes() = default;
LogBytes::~LogBytes() = default;

void LogBytes::spoolto(const QString &folder, const QString &name) {
    try {
        spool_ = std::make_unique<LogSpool>(folder, name);
        spoolfull_ = false;
    } catch (const KrovanError &error) {
        spool_.reset();
        failure_ = QString::fromStdString(error.what());
    }
}

bool LogBytes::spooling() const {
    return spool_ && !spoolfull_;
}

QString LogBytes::path() const {
    return spool_ ? spool_->path() : QString();
}

std::uint64_t LogBytes::append(std::string_view bytes) {
    const std::uint64_t offset = size_;
    if (spooling()) {
        try {
            spool_->append(bytes);
            size_ += bytes.size();
            return offset;
        } catch (const KrovanError &error) {
            // The file keeps what it took; the rest, these bytes included,
            // is in the spool's buffer and goes on in memory.
            spoolfull_ = true;
            memorybase_ = static_cast<std::uint64_t>(spool_->written());
            size_ = memorybase_;
            putinmemory(spool_->takeunwritten());
            failure_ = QString::fromStdString(error.what());
            return offset;
        }
    }
    putinmemory(bytes);
    return offset;
}

void LogBytes::putinmemory(std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::uint64_t at = size_ - memorybase_;
        const std::uint64_t place = at & (chunksize - 1);
        if (place == 0 && (at >> chunkbits) >= chunks_.size())
            chunks_.push_back(std::make_unique_for_overwrite<char[]>(chunksize));
        const std::size_t piece =
            std::min(static_cast<std::size_t>(chunksize - place), bytes.size() - done);
        std::memcpy(chunks_[at >> chunkbits].get() + place, bytes.data() + done, piece);
        done += piece;
        size_ += piece;
    }
}

void LogBytes::readmemory(std::uint64_t offset, std::size_t size, char *out) const {
    std::uint64_t at = offset - memorybase_;
    while (size > 0) {
        const std::uint64_t place = at & (chunksize - 1);
        const std::size_t piece = std::min(static_cast<std::size_t>(chunksize - place), size);
        std::memcpy(out, chunks_[at >> chunkbits].get() + place, piece);
        out += piece;
        at += piece;
        size -= piece;
    }
}

// A spool that cannot be read back (it never happened here) shows its
// bytes as question marks rather than stopping the program.
void LogBytes::readspool(std::uint64_t offset, std::size_t size, char *out) const {
    try {
        spool_->read(static_cast<qint64>(offset), out, static_cast<qint64>(size));
    } catch (const KrovanError &) {
        std::memset(out, '?', size);
    }
}

void LogBytes::readdirect(std::uint64_t offset, std::size_t size, char *out) const {
    // How many of the bytes asked for are in the spool file.
    std::size_t filed = 0;
    if (spool_ && !spoolfull_)
        filed = size;
    else if (spool_ && offset < memorybase_)
        filed = static_cast<std::size_t>(std::min<std::uint64_t>(size, memorybase_ - offset));
    if (filed > 0)
        readspool(offset, filed, out);
    if (filed < size)
        readmemory(offset + filed, size - filed, out + filed);
}

const LogBytes::Page &LogBytes::page(std::uint64_t index) const {
    const std::uint64_t start = index << pagebits;
    const std::uint64_t end = std::min(start + pagesize, size_);
    Page *found = nullptr;
    for (Page &p : pages_) {
        if (p.index == index)
            found = &p;
    }
    if (!found || found->valid < end - start) {
        if (!found && pages_.size() < pagecount) {
            pages_.emplace_back();
            found = &pages_.back();
            found->bytes = std::make_unique_for_overwrite<char[]>(pagesize);
        } else if (!found) {
            found =
                &*std::min_element(pages_.begin(), pages_.end(),
                                   [](const Page &a, const Page &b) { return a.used < b.used; });
        }
        found->index = index;
        found->valid = static_cast<std::size_t>(end - start);
        readdirect(start, found->valid, found->bytes.get());
    }
    found->used = ++clock_;
    return *found;
}

void LogBytes::read(std::uint64_t offset, std::size_t size, char *out) const {
    if (!spool_) {
        readmemory(offset, size, out);
        return;
    }
    while (size > 0) {
        const Page &p = page(offset >> pagebits);
        const std::size_t place = static_cast<std::size_t>(offset & (pagesize - 1));
        const std::size_t piece = std::min(p.valid - place, size);
        std::memcpy(out, p.bytes.get() + place, piece);
        out += piece;
        offset += piece;
        size -= piece;
    }
}

void LogBytes::clear() {
    chunks_ = std::vector<std::unique_ptr<char[]>>();
    pages_.clear();
    size_ = 0;
    memorybase_ = 0;
    if (!spool_)
        return;
    try {
        spool_->restart();
        spoolfull_ = false;
    } catch (const KrovanError &error) {
        spool_.reset();
        spoolfull_ = false;
        failure_ = QString::fromStdString(error.what());
    }
}
