#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

class LogSpool;

// Where a log's stored bytes live: in a spool file of its own, read back
// through a small cache of the pages around what was last shown, or in
// memory. Bytes are only ever appended. When the spool cannot take more
// (a full disk, no permission), the bytes it already holds stay readable
// in its file and every later byte goes to memory: nothing is lost, and
// failure() says why, once.
class LogBytes {
public:
    LogBytes();
    ~LogBytes();
    LogBytes(const LogBytes &) = delete;
    LogBytes &operator=(const LogBytes &) = delete;

    // Keeps the bytes from now on in a spool file in `folder`; the log must
    // be empty. When no spool can be made, the bytes stay in memory and
    // failure() tells why.
    void spoolto(const QString &folder, const QString &name);
    // Whether new bytes go to a file.
    bool spooling() const;
    // The spool file's path, or empty.
    QString path() const;
    std::uint64_t size() const { return size_; }

    // Appends and returns the offset of the first byte.
    std::uint64_t append(std::string_view bytes);
    // Bytes from `offset`, through the page cache: for the owner's thread.
    void read(std::uint64_t offset, std::size_t size, char *out) const;
    // The same without the cache: for any thread while the owner neither
    // appends nor clears.
    void readdirect(std::uint64_t offset, std::size_t size, char *out) const;
    // Empties the log; a spool starts a new file (and may fail anew).
    void clear();

    // Why the bytes went to memory, once; empty when nothing new failed.
    QString takefailure() { return std::exchange(failure_, QString()); }

private:
    void putinmemory(std::string_view bytes);
    void readmemory(std::uint64_t offset, std::size_t size, char *out) const;
    void readspool(std::uint64_t offset, std::size_t size, char *out) const;

    std::unique_ptr<LogSpool> spool_;
    bool spoolfull_ = false;       // the spool took no more: new bytes go to memory
    std::uint64_t memorybase_ = 0; // the offset of the first byte in memory
    std::uint64_t size_ = 0;
    std::vector<std::unique_ptr<char[]>> chunks_;
    QString failure_;

    struct Page {
        std::uint64_t index = ~std::uint64_t(0);
        std::size_t valid = 0; // the page may end before its size while the log grows
        std::uint64_t used = 0;
        std::unique_ptr<char[]> bytes;
    };
    const Page &page(std::uint64_t index) const;
    mutable std::vector<Page> pages_;
    mutable std::uint64_t clock_ = 0;
};
