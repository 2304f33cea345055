#include "log_store.h"

#include "cp1250.h"

#include <array>
#include <cstring>

namespace {

constexpr int chunkbits = 20;
constexpr std::uint64_t chunksize = std::uint64_t(1) << chunkbits;

// Marks a character kept by its UTF-16 code: the escape byte, then the code's
// low and high byte. Control characters never stand in a log as themselves,
// so the byte is free.
constexpr char escape = 0x01;

// The Windows-1250 byte of each UTF-16 code, or -1.
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

const std::array<char16_t, 256> &chartable() {
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> t;
        for (int byte = 0; byte < 256; ++byte)
            t[byte] = cp1250ToUnicode(static_cast<unsigned char>(byte));
        return t;
    }();
    return table;
}

} // namespace

void LogStore::encode(const QString &text, std::string &out) {
    const auto &table = bytetable();
    out.clear();
    out.reserve(static_cast<std::size_t>(text.size()));
    for (const QChar c : text) {
        const std::int16_t byte = table[c.unicode()];
        if (byte >= 0) {
            out += static_cast<char>(byte);
        } else {
            out += escape;
            out += static_cast<char>(c.unicode() & 0xFF);
            out += static_cast<char>(c.unicode() >> 8);
        }
    }
}

QString LogStore::decode(const char *bytes, std::size_t size) {
    const auto &table = chartable();
    QString text(static_cast<qsizetype>(size), Qt::Uninitialized);
    QChar *out = text.data();
    qsizetype n = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte == escape && i + 2 < size) {
            const auto low = static_cast<unsigned char>(bytes[i + 1]);
            const auto high = static_cast<unsigned char>(bytes[i + 2]);
            out[n++] = QChar(static_cast<char16_t>(low | (high << 8)));
            i += 2;
        } else {
            out[n++] = QChar(table[byte]);
        }
    }
    text.truncate(n);
    return text;
}

void LogStore::put(const std::string &bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::uint64_t place = size_ & (chunksize - 1);
        if (place == 0 && (size_ >> chunkbits) >= chunks_.size())
            chunks_.push_back(std::make_unique<char[]>(chunksize));
        const std::size_t room = static_cast<std::size_t>(chunksize - place);
        const std::size_t piece = std::min(room, bytes.size() - done);
        std::memcpy(chunks_[size_ >> chunkbits].get() + place, bytes.data() + done, piece);
        done += piece;
        size_ += piece;
    }
}

void LogStore::add(const QString &text, std::uint8_t style, std::uint32_t rows,
                   std::uint16_t width) {
    encode(text, scratch_);
    lines_.push_back(Line{size_, static_cast<std::uint32_t>(scratch_.size()), rows, width, style});
    put(scratch_);
}

void LogStore::append(const QString &text) {
    encode(text, scratch_);
    Line &last = lines_.back();
    if (last.start + last.length != size_) {
        // The line was rewritten elsewhere; it moves to the end again.
        std::string whole;
        bytes(count() - 1, whole);
        last.start = size_;
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
        fresh.push_back(Line{size_, static_cast<std::uint32_t>(scratch_.size()), 1, 0, style});
        put(scratch_);
    }
    const auto begin = lines_.begin() + first;
    const auto end = lines_.begin() + last + 1;
    const auto place = lines_.erase(begin, end);
    lines_.insert(place, fresh.begin(), fresh.end());
}

void LogStore::clear() {
    lines_ = std::vector<Line>();
    chunks_ = std::vector<std::unique_ptr<char[]>>();
    size_ = 0;
}

void LogStore::bytes(std::int64_t n, std::string &out) const {
    const Line &l = line(n);
    out.resize(l.length);
    std::uint64_t at = l.start;
    std::size_t done = 0;
    while (done < l.length) {
        const std::uint64_t place = at & (chunksize - 1);
        const std::size_t piece =
            std::min(static_cast<std::size_t>(chunksize - place), l.length - done);
        std::memcpy(out.data() + done, chunks_[at >> chunkbits].get() + place, piece);
        done += piece;
        at += piece;
    }
}

QString LogStore::text(std::int64_t n) const {
    const Line &l = line(n);
    if (l.length == 0)
        return QString();
    const std::uint64_t place = l.start & (chunksize - 1);
    if (place + l.length <= chunksize)
        return decode(chunks_[l.start >> chunkbits].get() + place, l.length);
    std::string whole;
    bytes(n, whole);
    return decode(whole.data(), whole.size());
}

void RowIndex::push(std::uint32_t rows) {
    if (tree_.empty())
        tree_.push_back(0);
    const auto n = static_cast<std::int64_t>(tree_.size()); // the new 1-based index
    const std::int64_t low = n & -n;
    tree_.push_back(static_cast<std::uint32_t>(rows + before(n - 1) - before(n - low)));
    last_ = rows;
    total_ += rows;
}

void RowIndex::setlast(std::uint32_t rows) {
    tree_.back() += rows - last_;
    total_ += static_cast<std::int64_t>(rows) - last_;
    last_ = rows;
}

void RowIndex::rebuild(const LogStore &store) {
    const std::int64_t n = store.count();
    tree_.assign(static_cast<std::size_t>(n + 1), 0);
    total_ = 0;
    for (std::int64_t i = 1; i <= n; ++i) {
        const std::uint32_t rows = store.line(i - 1).rows;
        total_ += rows;
        tree_[i] += rows;
        const std::int64_t up = i + (i & -i);
        if (up <= n)
            tree_[up] += tree_[i];
    }
    last_ = n > 0 ? store.line(n - 1).rows : 0;
}

void RowIndex::clear() {
    tree_ = std::vector<std::uint32_t>();
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
