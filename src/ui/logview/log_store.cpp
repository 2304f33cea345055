#include "log_store.h"

#include "cp1250.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <thread>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// A block of megabytes is logged in one go, with temporaries of several
// megabytes: its text, its hexadecimal form, their stored bytes. By default
// the allocator maps such sizes afresh and unmaps them when they are freed,
// so the kernel zeroes every page again for every block; next to a log of
// ten million lines that made a 1 MB block take over 100 ms instead of 50.
// Below 16 MB they now come from the heap, and up to 128 MB of freed heap is
// kept for the next block. Larger arrays (the per-line ones) are still
// mapped, so that they grow by remapping, not by copying.
const bool heaptuned = [] {
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 16 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
    return true;
}();

// The Windows-1250 byte of each UTF-16 code, or -1. Control characters never
// stand in a log as themselves, so their bytes are free for the escapes.
const std::array<std::int16_t, 65536> &bytetable() {
    static const std::array<std::int16_t, 65536> table = [] {
        std::array<std::int16_t, 65536> t;
        t.fill(-1);
        for (int byte = 255; byte >= 0x20; --byte)
            t[cp1250ToUnicode(static_cast<unsigned char>(byte))] = static_cast<std::int16_t>(byte);
        return t;
    }();
    return table;
}

int hexdigit(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// The byte written as " HH" at text[i], or -1.
int hexgroup(const QChar *text, qsizetype size, qsizetype i) {
    if (i + 3 > size)
        return -1;
    if (text[i] != QLatin1Char(' '))
        return -1;
    const int high = hexdigit(text[i + 1].unicode());
    const int low = hexdigit(text[i + 2].unicode());
    return high < 0 || low < 0 ? -1 : high << 4 | low;
}

} // namespace

const char16_t *LogStore::chars() {
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> t;
        for (int byte = 0; byte < 256; ++byte)
            t[byte] = cp1250ToUnicode(static_cast<unsigned char>(byte));
        return t;
    }();
    return table.data();
}

void LogStore::encode(QStringView text, std::string &out) {
    const auto &table = bytetable();
    const QChar *chars = text.constData();
    const qsizetype size = text.size();
    // Written through a pointer into a small buffer, which is appended to
    // out whenever it is nearly full: out holds no more than the bytes, and
    // no memory is filled that the bytes do not need (a line of hexadecimal
    // bytes takes a third of its characters).
    out.clear();
    char piece[1 << 14];
    constexpr qsizetype room = sizeof(piece) - 260; // the most one step writes
    char *to = piece;
    for (qsizetype i = 0; i < size;) {
        if (to - piece > room) {
            out.append(piece, static_cast<std::size_t>(to - piece));
            to = piece;
        }
        const char16_t c = chars[i].unicode();
        if (c >= 0x21 && c < 0x80) {
            *to++ = static_cast<char>(c);
            ++i;
            continue;
        }
        if (c == u' ' && hexgroup(chars, size, i) >= 0 && hexgroup(chars, size, i + 3) >= 0) {
            // Two groups or more: the run's bytes, up to 255 at a time.
            *to++ = hexrun;
            char *count = to++;
            int groups = 0;
            for (int byte; groups < 255 && (byte = hexgroup(chars, size, i)) >= 0; ++groups, i += 3)
                *to++ = static_cast<char>(byte);
            *count = static_cast<char>(groups);
            continue;
        }
        const std::int16_t byte = table[c];
        if (byte >= 0) {
            *to++ = static_cast<char>(byte);
        } else {
            *to++ = escape;
            *to++ = static_cast<char>(c & 0xFF);
            *to++ = static_cast<char>(c >> 8);
        }
        ++i;
    }
    out.append(piece, static_cast<std::size_t>(to - piece));
}

namespace {

// The characters the bytes stand for, and how many there are.
qsizetype decodedlength(const char *bytes, std::size_t size) {
    qsizetype length = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (bytes[i] == LogStore::escape) {
            i += 2;
        } else if (bytes[i] == LogStore::hexrun && i + 1 < size) {
            const auto count = static_cast<unsigned char>(bytes[i + 1]);
            length += 3 * count - 1;
            i += 1 + count;
        }
        ++length;
    }
    return length;
}

qsizetype decodeinto(const char *bytes, std::size_t size, char16_t *out, qsizetype length) {
    static constexpr char16_t digits[] = u"0123456789ABCDEF";
    const char16_t *table = LogStore::chars();
    qsizetype n = 0;
    for (std::size_t i = 0; i < size && n < length; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte == static_cast<unsigned char>(LogStore::escape) && i + 2 < size) {
            const auto low = static_cast<unsigned char>(bytes[i + 1]);
            const auto high = static_cast<unsigned char>(bytes[i + 2]);
            out[n++] = static_cast<char16_t>(low | (high << 8));
            i += 2;
        } else if (byte == static_cast<unsigned char>(LogStore::hexrun) && i + 1 < size) {
            const auto count = static_cast<unsigned char>(bytes[i + 1]);
            for (std::size_t k = 0; k < count && i + 2 + k < size; ++k) {
                const auto value = static_cast<unsigned char>(bytes[i + 2 + k]);
                out[n++] = u' ';
                out[n++] = digits[value >> 4];
                out[n++] = digits[value & 0x0F];
            }
            i += 1 + count;
        } else {
            out[n++] = table[byte];
        }
    }
    return n;
}

} // namespace

QString LogStore::decode(const char *bytes, std::size_t size) {
    const qsizetype length = decodedlength(bytes, size);
    QString text(length, Qt::Uninitialized);
    text.truncate(decodeinto(bytes, size, reinterpret_cast<char16_t *>(text.data()), length));
    return text;
}

void LogStore::decode(const char *bytes, std::size_t size, std::u16string &out) {
    const qsizetype length = decodedlength(bytes, size);
    out.resize(static_cast<std::size_t>(length));
    out.resize(static_cast<std::size_t>(decodeinto(bytes, size, out.data(), length)));
}

void LogStore::put(const std::string &bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::uint64_t place = size_ & (chunksize - 1);
        if (place == 0 && (size_ >> chunkbits) >= chunks_.size())
            chunks_.push_back(std::make_unique_for_overwrite<char[]>(chunksize));
        const std::size_t room = static_cast<std::size_t>(chunksize - place);
        const std::size_t piece = std::min(room, bytes.size() - done);
        std::memcpy(chunks_[size_ >> chunkbits].get() + place, bytes.data() + done, piece);
        done += piece;
        size_ += piece;
    }
}

void LogStore::add(QStringView text, std::uint8_t style, std::uint16_t width) {
    encode(text, scratch_);
    Line line{0, 0, style, width, static_cast<std::uint32_t>(scratch_.size())};
    line.setstart(size_);
    lines_.push_back(line);
    put(scratch_);
}

void LogStore::append(QStringView text) {
    encode(text, scratch_);
    Line &last = lines_.back();
    if (last.start() + last.length != size_) {
        // The line was rewritten elsewhere; it moves to the end again.
        std::string whole;
        bytes(count() - 1, whole);
        last.setstart(size_);
        put(whole);
    }
    last.length += static_cast<std::uint32_t>(scratch_.size());
    put(scratch_);
}

void LogStore::replace(std::int64_t first, std::int64_t last, const std::vector<QString> &texts,
                       std::uint8_t style) {
    std::vector<Line> fresh;
    fresh.reserve(texts.size());
    for (const QString &text : texts) {
        encode(text, scratch_);
        Line line{0, 0, style, 0, static_cast<std::uint32_t>(scratch_.size())};
        line.setstart(size_);
        fresh.push_back(line);
        put(scratch_);
    }
    const auto begin = lines_.begin() + first;
    if (static_cast<std::int64_t>(texts.size()) == last - first + 1) {
        std::copy(fresh.begin(), fresh.end(), begin); // in place: no line moves
        return;
    }
    const auto place = lines_.erase(begin, lines_.begin() + last + 1);
    lines_.insert(place, fresh.begin(), fresh.end());
}

void LogStore::clear() {
    lines_.clear();
    chunks_ = std::vector<std::unique_ptr<char[]>>();
    size_ = 0;
}

void LogStore::bytes(std::int64_t n, std::string &out) const {
    out.clear();
    out.reserve(line(n).length);
    pieces(n, [&](const char *bytes, std::size_t size) { out.append(bytes, size); });
}

QString LogStore::text(std::int64_t n) const {
    const Line &l = line(n);
    if (l.length == 0)
        return QString();
    const std::uint64_t place = l.start() & (chunksize - 1);
    if (place + l.length <= chunksize)
        return decode(chunks_[l.start() >> chunkbits].get() + place, l.length);
    std::string whole;
    bytes(n, whole);
    return decode(whole.data(), whole.size());
}

void LogStore::text(std::int64_t n, std::u16string &out) const {
    const Line &l = line(n);
    const std::uint64_t place = l.start() & (chunksize - 1);
    if (place + l.length <= chunksize) {
        decode(chunks_[l.start() >> chunkbits].get() + place, l.length, out);
        return;
    }
    std::string whole;
    bytes(n, whole);
    decode(whole.data(), whole.size(), out);
}

void inparallel(std::int64_t n, const std::function<void(std::int64_t, std::int64_t)> &work) {
    // Below this a thread costs more than it saves.
    constexpr std::int64_t least = 1 << 16;
    const std::int64_t parts =
        std::clamp<std::int64_t>(std::min<std::int64_t>(std::thread::hardware_concurrency(), 4), 1,
                                 std::max<std::int64_t>(1, n / least));
    std::vector<std::thread> threads;
    std::vector<std::exception_ptr> failures(static_cast<std::size_t>(parts));
    auto run = [&](std::int64_t part) {
        try {
            work(n * part / parts, n * (part + 1) / parts);
        } catch (...) {
            failures[static_cast<std::size_t>(part)] = std::current_exception();
        }
    };
    for (std::int64_t part = 1; part < parts; ++part)
        threads.emplace_back(run, part);
    run(0);
    for (std::thread &thread : threads)
        thread.join();
    for (const std::exception_ptr &failure : failures) {
        if (failure)
            std::rethrow_exception(failure);
    }
}

void RowIndex::push(std::uint32_t rows) {
    if (tree_.empty())
        tree_.push_back(0);
    const auto n = static_cast<std::int64_t>(tree_.size()); // the new 1-based index
    // Node n sums its own rows and the nodes n - 1, n - 2, n - 4, ... below
    // its lowest bit: on average about one of them.
    std::uint32_t sum = rows;
    const std::int64_t low = n & -n;
    for (std::int64_t step = 1; step < low; step <<= 1)
        sum += tree_[static_cast<std::size_t>(n - step)];
    tree_.push_back(sum);
    last_ = rows;
    total_ += rows;
}

void RowIndex::setlast(std::uint32_t rows) {
    tree_.back() += rows - last_;
    total_ += static_cast<std::int64_t>(rows) - last_;
    last_ = rows;
}

void RowIndex::add(std::int64_t n, std::int64_t delta) {
    const auto size = static_cast<std::int64_t>(tree_.size());
    for (std::int64_t i = n + 1; i < size; i += i & -i)
        tree_[static_cast<std::size_t>(i)] += static_cast<std::uint32_t>(delta);
    total_ += delta;
}

void RowIndex::set(std::int64_t n, std::uint32_t rows) {
    const std::uint32_t old = this->rows(n);
    add(n, static_cast<std::int64_t>(rows) - old);
    if (n + 1 == count())
        last_ = rows;
}

void RowIndex::fromraw() {
    const auto n = static_cast<std::int64_t>(tree_.size()) - 1;
    for (std::int64_t i = 1; i <= n; ++i) {
        const std::int64_t up = i + (i & -i);
        if (up <= n)
            tree_[static_cast<std::size_t>(up)] += tree_[static_cast<std::size_t>(i)];
    }
    total_ = before(n);
    last_ = n > 0 ? rows(n - 1) : 0;
}

void RowIndex::toraw() {
    const auto n = static_cast<std::int64_t>(tree_.size()) - 1;
    for (std::int64_t i = n; i >= 1; --i) {
        const std::int64_t up = i + (i & -i);
        if (up <= n)
            tree_[static_cast<std::size_t>(up)] -= tree_[static_cast<std::size_t>(i)];
    }
}

void RowIndex::splice(std::int64_t first, std::int64_t count,
                      const std::vector<std::uint32_t> &rows) {
    if (static_cast<std::int64_t>(rows.size()) == count) {
        for (std::int64_t i = 0; i < count; ++i)
            set(first + i, rows[static_cast<std::size_t>(i)]);
        return;
    }
    if (tree_.empty())
        tree_.push_back(0);
    toraw();
    const auto begin = tree_.begin() + 1 + first;
    const auto place = tree_.erase(begin, begin + count);
    tree_.insert(place, rows.begin(), rows.end());
    fromraw();
}

void RowIndex::clear() {
    tree_.clear();
    last_ = 0;
    total_ = 0;
}

std::int64_t RowIndex::before(std::int64_t n) const {
    std::int64_t sum = 0;
    for (; n > 0; n -= n & -n)
        sum += tree_[static_cast<std::size_t>(n)];
    return sum;
}

std::pair<std::int64_t, std::int64_t> RowIndex::find(std::int64_t r) const {
    const auto n = static_cast<std::int64_t>(tree_.size()) - 1;
    if (n <= 0)
        return {0, 0};
    std::int64_t step = 1;
    while (step * 2 <= n)
        step *= 2;
    std::int64_t pos = 0;
    for (; step > 0; step /= 2) {
        if (pos + step <= n && tree_[static_cast<std::size_t>(pos + step)] <= r) {
            pos += step;
            r -= tree_[static_cast<std::size_t>(pos)];
        }
    }
    if (pos >= n) // past the end: the last row of the last line
        return {n - 1, static_cast<std::int64_t>(last_) - 1};
    return {pos, r};
}
