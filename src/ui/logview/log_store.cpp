#include "log_store.h"

#include "block_text.h"
#include "cp1250.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <limits>
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

std::uint64_t LogStore::span(std::int64_t n) const {
    const std::uint8_t s = spans_[static_cast<std::size_t>(n)];
    return s != longspan ? s : *longspans_.find(n);
}

void LogStore::setspan(std::int64_t n, std::uint64_t span) {
    if (span < longspan) {
        if (spans_[static_cast<std::size_t>(n)] == longspan)
            longspans_.erase(n);
        spans_[static_cast<std::size_t>(n)] = static_cast<std::uint8_t>(span);
        return;
    }
    spans_[static_cast<std::size_t>(n)] = longspan;
    longspans_.set(n, span);
}

void LogStore::pushspan(std::uint64_t span) {
    spans_.push_back(0);
    setspan(count() - 1, span);
}

std::uint64_t LogStore::placestart(std::int64_t n) const {
    std::uint64_t at = bases_[static_cast<std::size_t>(n >> blockbits)];
    for (std::int64_t i = n >> blockbits << blockbits; i < n; ++i)
        at += span(i);
    return at;
}

LogStore::Extent LogStore::extent(std::int64_t n) const {
    if (moved_.size() > 0) {
        if (const Extent *moved = moved_.find(n))
            return *moved;
    }
    // The last line's place ends where the places end: no sum over its
    // block, which every append to it would otherwise pay.
    if (n == count() - 1)
        return Extent{placeend_ - span(n), span(n)};
    return Extent{placestart(n), span(n)};
}

void LogStore::encodehexline(std::string_view bytes, std::string &out) {
    out.clear();
    out += ' '; // the line's indent
    std::size_t i = 0;
    // Runs of up to 255 bytes, as encode() cuts them; one byte left over
    // is no run, its three characters are kept as they are.
    while (bytes.size() - i >= 2) {
        const std::size_t count = std::min<std::size_t>(255, bytes.size() - i);
        out += hexrun;
        out += static_cast<char>(count);
        out.append(bytes.substr(i, count));
        i += count;
    }
    if (i < bytes.size()) {
        out.resize(out.size() + 3);
        writehex(bytes.substr(i), out.data() + out.size() - 3);
    }
}

void LogStore::add(QStringView text, std::uint8_t style) {
    encode(text, scratch_);
    addstored(scratch_, style);
}

void LogStore::addstored(std::string_view stored, std::uint8_t style) {
    std::unique_lock<std::mutex> held(lock_, std::defer_lock);
    if (!adding_)
        held.lock();
    const std::uint64_t offset = bytes_.append(stored);
    const std::int64_t n = count();
    if (n == 0)
        placeend_ = offset;
    if (n > 0 && offset != placeend_) {
        // Rewritten lines lie between the last line's place and this one:
        // the last line's place takes them in, its text is kept aside.
        if (!moved_.find(n - 1))
            moved_.set(n - 1, extent(n - 1));
        setspan(n - 1, span(n - 1) + (offset - placeend_));
        placeend_ = offset;
    }
    if ((n & ((1 << blockbits) - 1)) == 0)
        bases_.push_back(placeend_);
    styles_.push_back(style);
    pushspan(stored.size());
    placeend_ += stored.size();
}

void LogStore::append(QStringView text) {
    encode(text, scratch_);
    appendstored(scratch_);
}

void LogStore::appendstored(std::string_view stored) {
    const std::int64_t n = count() - 1;
    const Extent was = extent(n);
    if (was.start + was.length != bytes_.size()) {
        // The line's text is not the last one stored: it moves to the end.
        rewrite(n, stored);
        return;
    }
    const std::lock_guard<std::mutex> held(lock_);
    bytes_.append(stored);
    if (moved_.find(n)) {
        moved_.set(n, Extent{was.start, was.length + stored.size()});
        return;
    }
    setspan(n, was.length + stored.size());
    placeend_ += stored.size();
}

void LogStore::rewrite(std::int64_t n, std::string_view more) {
    std::string whole;
    bytes(n, whole);
    whole += more;
    const std::lock_guard<std::mutex> held(lock_);
    const std::uint64_t at = bytes_.append(whole);
    moved_.set(n, Extent{at, whole.size()});
}

void LogStore::replace(std::int64_t first, std::int64_t last, const std::vector<QString> &texts,
                       std::uint8_t style) {
    std::vector<std::string> encoded(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i)
        encode(texts[i], encoded[i]);
    std::uint64_t places = 0;
    for (std::int64_t n = first; n <= last; ++n)
        places += span(n);
    const std::lock_guard<std::mutex> held(lock_);
    // Every new line is written at the end; the places of the old ones go
    // to the first new line, so that no other line's place moves.
    std::vector<Extent> fresh;
    for (const std::string &bytes : encoded)
        fresh.push_back(Extent{bytes_.append(bytes), bytes.size()});
    const auto added = static_cast<std::int64_t>(texts.size());
    const std::int64_t removed = last - first + 1;
    if (added == removed) {
        for (std::int64_t i = 0; i < added; ++i) {
            moved_.set(first + i, fresh[static_cast<std::size_t>(i)]);
            styles_[static_cast<std::size_t>(first + i)] = style;
        }
        return;
    }
    // With no new line the places go to the line before (its text kept
    // aside), or, at the top, the first line's place starts later.
    if (added == 0 && first > 0 && !moved_.find(first - 1))
        moved_.set(first - 1, extent(first - 1));
    moved_.erase(first, last + 1);
    longspans_.erase(first, last + 1);
    moved_.shift(last + 1, added - removed);
    longspans_.shift(last + 1, added - removed);
    const std::vector<std::uint8_t> styles(texts.size(), style);
    const std::vector<std::uint8_t> spans(texts.size(), 0);
    styles_.insert(styles_.erase(styles_.begin() + first, styles_.begin() + last + 1),
                   styles.begin(), styles.end());
    spans_.insert(spans_.erase(spans_.begin() + first, spans_.begin() + last + 1), spans.begin(),
                  spans.end());
    for (std::int64_t i = 0; i < added; ++i) {
        moved_.set(first + i, fresh[static_cast<std::size_t>(i)]);
        setspan(first + i, i == 0 ? places : 0);
    }
    if (added == 0 && first > 0)
        setspan(first - 1, span(first - 1) + places);
    else if (added == 0 && !bases_.empty())
        bases_[0] += places;
    // From the block of the line before: its place may have grown.
    rebase(std::max<std::int64_t>(first - 1, 0) >> blockbits);
}

// The places of the lines add up to the same end whatever an edit did:
// only the offsets of the blocks change.
void LogStore::rebase(std::int64_t block) {
    const std::int64_t blocks = (count() + (1 << blockbits) - 1) >> blockbits;
    while (static_cast<std::int64_t>(bases_.size()) > blocks)
        bases_.erase(bases_.end() - 1, bases_.end());
    while (static_cast<std::int64_t>(bases_.size()) < blocks)
        bases_.push_back(0);
    if (block >= blocks)
        return;
    std::uint64_t at = bases_[static_cast<std::size_t>(block)];
    for (std::int64_t n = block << blockbits; n < count(); ++n) {
        if ((n & ((1 << blockbits) - 1)) == 0)
            bases_[static_cast<std::size_t>(n >> blockbits)] = at;
        at += span(n);
    }
}

void LogStore::clear() {
    const std::lock_guard<std::mutex> held(lock_);
    spans_.clear();
    styles_.clear();
    bases_.clear();
    longspans_.clear();
    moved_.clear();
    placeend_ = 0;
    bytes_.clear();
}

void LogStore::bytes(std::int64_t n, std::string &out) const {
    const Extent where = extent(n);
    out.resize(static_cast<std::size_t>(where.length));
    bytes_.read(where.start, out.size(), out.data());
}

QString LogStore::text(std::int64_t n) const {
    bytes(n, scratch_);
    return decode(scratch_.data(), scratch_.size());
}

void LogStore::text(std::int64_t n, std::u16string &out) const {
    bytes(n, scratch_);
    decode(scratch_.data(), scratch_.size(), out);
}

// Reads the wanted lines from n on, up to about a megabyte, into buffer;
// found gets each line's number, place in the buffer and size. Lines whose
// bytes lie close together are read in one go, the bytes between them too:
// one read of a few lines' bytes costs less than a read for each line.
void LogStore::readbatch(
    std::int64_t &n, std::int64_t to, const std::function<bool(std::int64_t)> &want,
    std::string &buffer,
    std::vector<std::tuple<std::int64_t, std::size_t, std::size_t>> &found) const {
    constexpr std::size_t enough = 1 << 20;
    constexpr std::int64_t most = 1 << 16;
    constexpr std::uint64_t gapmost = 4096;
    found.clear();
    buffer.clear();
    const std::lock_guard<std::mutex> held(lock_);
    const std::int64_t end = std::min({to, count(), n + most});
    if (n >= end) { // past the last line
        n = to;
        return;
    }
    // The run of bytes to read next, and where it goes in the buffer.
    std::uint64_t runstart = 0;
    std::uint64_t runend = 0;
    std::size_t runat = 0;
    bool inrun = false;
    const auto readrun = [&] {
        if (!inrun)
            return;
        buffer.resize(runat + static_cast<std::size_t>(runend - runstart));
        bytes_.readdirect(runstart, static_cast<std::size_t>(runend - runstart),
                          buffer.data() + runat);
        inrun = false;
    };
    std::size_t size = 0; // the buffer's size once every run is read
    // Places follow each other, across blocks too: each is found from the
    // one before in O(1).
    std::uint64_t place = placestart(n);
    for (; n < end && size < enough; place += span(n), ++n) {
        if (!want(n))
            continue;
        const Extent *moved = moved_.size() > 0 ? moved_.find(n) : nullptr;
        const Extent where = moved ? *moved : Extent{place, span(n)};
        if (inrun && (where.start < runend || where.start - runend > gapmost))
            readrun();
        if (!inrun) {
            inrun = true;
            runstart = runend = where.start;
            runat = size;
        }
        size += static_cast<std::size_t>(where.start - runend + where.length);
        found.emplace_back(n, runat + static_cast<std::size_t>(where.start - runstart),
                           static_cast<std::size_t>(where.length));
        runend = where.start + where.length;
    }
    readrun();
}
