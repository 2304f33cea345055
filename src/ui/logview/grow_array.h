#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <type_traits>

#ifdef __linux__
#include <sys/mman.h>
#endif

// An array of plain values that grows without copying itself. A log's
// per-line arrays reach hundreds of megabytes; a std::vector copies all of
// that on every doubling (a stall of about 100 ms at ten million lines).
// Small arrays grow by realloc; from a megabyte on the array has pages of its
// own, which grow by remapping and are never copied, wherever the allocator
// would have put it.
template <class T> class GrowArray {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    GrowArray() = default;
    GrowArray(const GrowArray &) = delete;
    GrowArray &operator=(const GrowArray &) = delete;
    ~GrowArray() { release(); }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T *begin() { return data_; }
    T *end() { return data_ + size_; }
    const T *begin() const { return data_; }
    const T *end() const { return data_ + size_; }
    T &operator[](std::size_t i) { return data_[i]; }
    const T &operator[](std::size_t i) const { return data_[i]; }
    T &back() { return data_[size_ - 1]; }
    const T &back() const { return data_[size_ - 1]; }

    void push_back(const T &value) {
        if (size_ == capacity_)
            reserve(capacity_ < 1024 ? 1024 : capacity_ * 2);
        data_[size_++] = value;
    }

    void assign(std::size_t count, const T &value) {
        size_ = 0;
        reserve(count);
        for (std::size_t i = 0; i < count; ++i)
            data_[i] = value;
        size_ = count;
    }

    // Removes [first, last); returns where the removed values were.
    T *erase(T *first, T *last) {
        std::memmove(first, last, static_cast<std::size_t>(end() - last) * sizeof(T));
        size_ -= static_cast<std::size_t>(last - first);
        return first;
    }

    // Inserts the values of [from, to) before place.
    template <class It> void insert(T *place, It from, It to) {
        const auto at = static_cast<std::size_t>(place - data_);
        const auto count = static_cast<std::size_t>(std::distance(from, to));
        if (size_ + count > capacity_)
            reserve(size_ + count > 2 * capacity_ ? size_ + count : 2 * capacity_);
        std::memmove(data_ + at + count, data_ + at, (size_ - at) * sizeof(T));
        for (std::size_t i = 0; i < count; ++i, ++from)
            data_[at + i] = *from;
        size_ += count;
    }

    // Frees the memory, not only the values.
    void clear() {
        release();
        data_ = nullptr;
        size_ = capacity_ = 0;
    }

private:
    static constexpr std::size_t mapfrom = std::size_t(1) << 20; // bytes

    // Whether the array at this capacity has pages of its own.
    static bool ownpages(std::size_t capacity) {
#ifdef __linux__
        return capacity * sizeof(T) >= mapfrom;
#else
        (void)capacity;
        return false;
#endif
    }

    void reserve(std::size_t capacity) {
        if (capacity <= capacity_)
            return;
        void *grown =
            ownpages(capacity) ? grownpages(capacity) : std::realloc(data_, capacity * sizeof(T));
        if (!grown)
            throw std::bad_alloc();
        data_ = static_cast<T *>(grown);
        capacity_ = capacity;
    }

    // The pages for the new capacity, the values moved in; null on failure.
    void *grownpages(std::size_t capacity) {
#ifdef __linux__
        const std::size_t bytes = capacity * sizeof(T);
        if (ownpages(capacity_)) {
            void *moved = mremap(data_, capacity_ * sizeof(T), bytes, MREMAP_MAYMOVE);
            return moved == MAP_FAILED ? nullptr : moved;
        }
        void *pages =
            mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (pages == MAP_FAILED)
            return nullptr;
        if (size_ > 0)
            std::memcpy(pages, data_, size_ * sizeof(T));
        std::free(data_);
        return pages;
#else
        (void)capacity;
        return nullptr;
#endif
    }

    void release() {
#ifdef __linux__
        if (ownpages(capacity_)) {
            munmap(data_, capacity_ * sizeof(T));
            return;
        }
#endif
        std::free(data_);
    }

    T *data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};
