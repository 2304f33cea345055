#pragma once

// A send under way on a link. A block the link receives inside it (an
// echo's reply) is processed there, and a failure to process it is the
// send's own failure.

#include "errors.h"

#include <exception>
#include <utility>

class SendDepth {
public:
    // An echo's reply is answered inside the send, so a filter that answers
    // its own echoed data would nest without end; the send beyond this
    // depth fails instead and the chain unwinds.
    static constexpr int maxNested = 16;

    SendDepth() : outer_(innermost_) {
        if (depth_ >= maxNested)
            throw KrovanError("Too many nested sends.");
        ++depth_;
        innermost_ = this;
    }
    ~SendDepth() {
        --depth_;
        innermost_ = outer_;
    }
    SendDepth(const SendDepth &) = delete;
    SendDepth &operator=(const SendDepth &) = delete;

    // The send the current code runs inside; null outside every send.
    static SendDepth *innermost() { return innermost_; }
    // Keeps the first failure of a reply processed inside this send.
    void keep(std::exception_ptr failure) {
        if (!replyfailure_)
            replyfailure_ = std::move(failure);
    }
    void rethrowreply() const {
        if (replyfailure_)
            std::rethrow_exception(replyfailure_);
    }

private:
    static inline int depth_ = 0;
    static inline SendDepth *innermost_ = nullptr;
    SendDepth *const outer_;
    std::exception_ptr replyfailure_;
};
