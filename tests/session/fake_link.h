#pragma once

#include "errors.h"
#include "link.h"

#include <string>
#include <vector>

// A link of the test's own: it opens and closes when told, keeps what is
// sent to it, and receives what the test hands it, as a peer would send it.
class FakeLink : public Link {
public:
    explicit FakeLink(bool isstream = false) : stream_(isstream) {}

    std::vector<std::string> sent;
    // The reason every send fails with, when not empty.
    std::string refuse;

    void open() override {
        open_ = true;
        emit opened();
    }
    void close() override {
        if (!open_)
            return;
        open_ = false;
        emit closed(false);
    }
    bool isOpen() const override { return open_; }
    void send(const std::string &bytes) override {
        if (!refuse.empty())
            throw KrovanError(refuse);
        sent.push_back(bytes);
    }
    bool stream() const override { return stream_; }

    // The peer's side.
    void arrive(const std::string &bytes, const QString &from = "peer") {
        emit received(bytes, from);
    }
    void hangup() {
        open_ = false;
        emit closed(true);
    }

private:
    bool stream_;
    bool open_ = false;
};
