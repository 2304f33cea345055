#include "gap_framer.h"

std::size_t GapFramer::tick() {
    const std::size_t n = buffer_.size();
    if (n >= limit)
        return limit;
    if (n == lastlength_ && n > 0)
        return n;
    lastlength_ = n;
    return 0;
}

void GapFramer::handedon(std::size_t n) {
    // Bytes that arrived while the block was processed stay for the next.
    buffer_.erase(0, n);
    lastlength_ = 0;
}
