#pragma once

#include "grow_array.h"
#include "line_map.h"
#include "log_bytes.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

// The text of a log, kept compactly: every line's characters as
// Windows-1250 bytes appended to LogBytes (a spool file, else memory), and
// in memory per line two bytes: its style (an index into the log's small
// table of styles) and its length, with per 64 lines the offset where they
// start. A length over 254 and a line rewritten elsewhere (by an edit) are
// kept aside. A character the code page lacks (typed by the user) is kept
// as an escape byte and its UTF-16 code, so no text is ever lost; a run of
// hexadecimal bytes as the logs write them (" 4F 4B") is kept as its bytes,
// one for every three characters.
//
// The owner's thread changes and reads the store; other threads read it
// through readlines(), which takes the lock every change holds.
class LogStore {
public:
    struct Extent {
        std::uint64_t start = 0;
        std::uint64_t length = 0;
        bool operator==(const Extent &) const = default;
    };

    // Keeps the text in a spool file in `folder` (the store must be empty);
    // see LogBytes.
    void spoolto(const QString &folder, const QString &name) { bytes_.spoolto(folder, name); }
    bool spooling() const { return bytes_.spooling(); }
    QString spoolpath() const { return bytes_.path(); }
    // Why the text went to memory, once.
    QString takefailure() { return bytes_.takefailure(); }

    std::int64_t count() const { return static_cast<std::int64_t>(styles_.size()); }
    bool empty() const { return styles_.empty(); }
    std::uint8_t style(std::int64_t n) const { return styles_[static_cast<std::size_t>(n)]; }
    // Where the line's stored bytes are.
    Extent extent(std::int64_t n) const;
    std::uint64_t length(std::int64_t n) const { return extent(n).length; }

    // Adds a last line holding the text.
    void add(QStringView text, std::uint8_t style);
    // Adds a last line given as it is stored (see encode): what a caller
    // that has the bytes already need not make a text of first.
    void addstored(std::string_view stored, std::uint8_t style);
    // While one lives, the lock is held for every line added: a record's
    // lines take it once. Only add() and addstored() may be called then.
    class Adding {
    public:
        explicit Adding(LogStore &store) : store_(store), held_(store.lock_) {
            store.adding_ = true;
        }
        ~Adding() { store_.adding_ = false; }
        Adding(const Adding &) = delete;
        Adding &operator=(const Adding &) = delete;

    private:
        LogStore &store_;
        const std::lock_guard<std::mutex> held_;
    };
    // Appends text to the last line.
    void append(QStringView text);
    // The same, given as it is stored.
    void appendstored(std::string_view stored);
    // Replaces the lines first to last (inclusive) by the given texts, all
    // in one style.
    void replace(std::int64_t first, std::int64_t last, const std::vector<QString> &texts,
                 std::uint8_t style);
    void clear();

    QString text(std::int64_t n) const;
    // The same into a buffer that is reused.
    void text(std::int64_t n, std::u16string &out) const;
    // The line's bytes as they are stored (escapes included).
    void bytes(std::int64_t n, std::string &out) const;
    // The bytes of text held.
    std::uint64_t storedbytes() const { return bytes_.size(); }

    // From any thread: calls f(n, bytes, size) with the stored bytes of
    // each line n in [from, to) for which want(n) holds (want is called
    // under the lock), reading a batch of lines at a time. Lines past the
    // end are skipped.
    template <class W, class F>
    void readlines(std::int64_t from, std::int64_t to, W &&want, F &&f) const;

    static void encode(QStringView text, std::string &out);
    // What encode() makes of the logs' hexadecimal line of the bytes, an
    // indent of one space and each byte as a space and two digits
    // ("  4F 4B"), without making that text.
    static void encodehexline(std::string_view bytes, std::string &out);
    static QString decode(const char *bytes, std::size_t size);
    static void decode(const char *bytes, std::size_t size, std::u16string &out);
    // Calls f with every character the stored bytes stand for.
    template <class F> static void forchars(const char *bytes, std::size_t size, F &&f);

    // The stored forms of a character the code page lacks and of a run of
    // hexadecimal bytes.
    static constexpr char escape = 0x01;
    static constexpr char hexrun = 0x02;
    static const char16_t *chars(); // each byte's character

private:
    static constexpr int blockbits = 6; // lines per offset: 64
    static constexpr std::uint8_t longspan = 0xFF;

    // Each line has a place in the sequence of stored bytes: its span,
    // which is its length unless the line was rewritten elsewhere.
    std::uint64_t span(std::int64_t n) const;
    void setspan(std::int64_t n, std::uint64_t span);
    void pushspan(std::uint64_t span);
    std::uint64_t placestart(std::int64_t n) const;
    // The offsets of the blocks from `block` on, after spans changed.
    void rebase(std::int64_t block);
    // Moves line n's text to the end of the stored bytes, with more.
    void rewrite(std::int64_t n, std::string_view more);
    void readbatch(std::int64_t &n, std::int64_t to, const std::function<bool(std::int64_t)> &want,
                   std::string &buffer,
                   std::vector<std::tuple<std::int64_t, std::size_t, std::size_t>> &found) const;

    LogBytes bytes_;
    GrowArray<std::uint8_t> spans_; // 255: in longspans_
    GrowArray<std::uint8_t> styles_;
    GrowArray<std::uint64_t> bases_; // the place of each block's first line
    LineMap<std::uint64_t> longspans_;
    LineMap<Extent> moved_; // lines whose text is elsewhere than their place
    std::uint64_t placeend_ = 0;
    mutable std::mutex lock_;
    bool adding_ = false; // an Adding holds the lock
    mutable std::string scratch_;
};

template <class F> void LogStore::forchars(const char *bytes, std::size_t size, F &&f) {
    const char16_t *table = chars();
    static constexpr char16_t digits[] = u"0123456789ABCDEF";
    for (std::size_t i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte == static_cast<unsigned char>(escape) && i + 2 < size) {
            f(static_cast<char16_t>(static_cast<unsigned char>(bytes[i + 1]) |
                                    static_cast<unsigned char>(bytes[i + 2]) << 8));
            i += 2;
        } else if (byte == static_cast<unsigned char>(hexrun) && i + 1 < size) {
            const auto count = static_cast<unsigned char>(bytes[i + 1]);
            for (std::size_t k = 0; k < count && i + 2 + k < size; ++k) {
                const auto value = static_cast<unsigned char>(bytes[i + 2 + k]);
                f(u' ');
                f(digits[value >> 4]);
                f(digits[value & 0x0F]);
            }
            i += 1 + count;
        } else {
            f(table[byte]);
        }
    }
}

template <class W, class F>
void LogStore::readlines(std::int64_t from, std::int64_t to, W &&want, F &&f) const {
    std::string buffer;
    std::vector<std::tuple<std::int64_t, std::size_t, std::size_t>> found;
    const std::function<bool(std::int64_t)> wanted = want;
    for (std::int64_t n = from; n < to;) {
        readbatch(n, to, wanted, buffer, found);
        for (const auto &[line, at, size] : found)
            f(line, buffer.data() + at, size);
    }
}
