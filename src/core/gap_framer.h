#pragma once

// The stream buffer of the TCP links and its gap framing, without a timer:
// bytes are fed as they arrive; at every tick of the caller's timer a block
// is due when the buffer did not grow since the tick before. A buffer that
// reaches `limit` makes its first `limit` bytes due at once, so that a peer
// that never pauses cannot make it grow without end.
//
// A due block stays in the buffer until the caller says it was handed on
// (`handedon`): a block whose processing failed comes again later.

#include <cstddef>
#include <string>
#include <string_view>

class GapFramer {
public:
    static constexpr std::size_t limit = std::size_t{1} << 20;

    // Appends received bytes in arrival order.
    void feed(std::string_view bytes) { buffer_.append(bytes); }
    // The length of the block due at once after a feed: `limit` when the
    // buffer holds that much, else 0.
    std::size_t dueatlimit() const { return buffer_.size() >= limit ? limit : 0; }
    // A tick: the length of the block due now, or 0 (then the length is
    // noted for the next tick).
    std::size_t tick();
    // The first n bytes were handed on: they leave, counting starts afresh.
    void handedon(std::size_t n);
    // A new connection: the next tick counts afresh; the bytes stay.
    void restart() { lastlength_ = 0; }

    std::string_view front(std::size_t n) const { return std::string_view(buffer_).substr(0, n); }
    std::size_t size() const { return buffer_.size(); }
    bool empty() const { return buffer_.empty(); }
    std::size_t lastlength() const { return lastlength_; }

private:
    std::string buffer_;
    std::size_t lastlength_ = 0;
};
