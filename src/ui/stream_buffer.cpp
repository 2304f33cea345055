// The stream buffer of the TCP links and its gap framing: a block is
// complete when the buffer did not grow during one whole tick.
#include "main_window.h"

#include "guard.h"

#include <QTimer>

namespace {

const char *const streamaddress = "TCP-IP :500";

} // namespace

void TForm1::rxappend(const char *data, qsizetype size) {
    rxbuffer.feed(std::string_view(data, static_cast<size_t>(size)));
    if (rxbuffer.dueatlimit() == 0 || rxbusy)
        return;
    // A failure ends the loop; the bytes wait for the next tick.
    guarded([this] {
        while (const size_t n = rxbusy ? 0 : rxbuffer.dueatlimit())
            rxhandon(n);
    });
}

void TForm1::rxreset() {
    // rxbusy is raised only for the length of a tick and always lowered
    // when it ends, so outside a tick it is already down; lowering it here
    // could only let a tick start inside a running one.
    rxbuffer.restart();
}

void TForm1::rxhandon(size_t n) {
    rxbusy = true;
    struct Lower {
        bool &flag;
        ~Lower() { flag = false; }
    } lower{rxbusy};
    // A failing rxprocess throws past here: the bytes stay and come again
    // later; they are logged then.
    rxprocess(std::string(rxbuffer.front(n)), streamaddress, false);
    rxbuffer.handedon(n);
}

void TForm1::Timer_rxTimer() {
    // An error box inside rxprocess runs a nested event loop, so the tick
    // can come round again while it is busy: it never starts inside itself.
    if (rxbusy)
        return;
    if (const size_t n = rxbuffer.tick())
        rxhandon(n);
}
