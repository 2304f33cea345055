#pragma once

#include <QString>

#include <utility>

// A value made from one or two texts (or lists of texts), made again only
// when they change: a stream of answers reads the same fields for every
// send, and converting them each time costs more than the send itself.
template <class Value, class Text = QString> class TextMemo {
public:
    // The value for the texts `first` and `second`, made by `make` when
    // they differ from the last ones; a `make` that throws keeps nothing.
    template <class Make> const Value &get(const Text &first, const Text &second, Make &&make) {
        if (!made_ || first != first_ || second != second_) {
            made_ = false;
            value_ = std::forward<Make>(make)();
            first_ = first;
            second_ = second;
            made_ = true;
        }
        return value_;
    }

private:
    bool made_ = false;
    Text first_, second_;
    Value value_{};
};
