// The stream buffer of the TCP links and its gap framing: a block is
// complete when the buffer did not grow during one whole tick.
#include "main_window.h"

#include "guard.h"

#include <QTimer>

namespace {

const char *const streamaddress = "TCP-IP :500";

} // namespace

void TForm1::rxappend(const char *data, qsizetype size) {
    rxbuffer.append(data, static_cast<size_t>(size));
    if (rxbuffer.size() < rxbufferlimit || rxbusy)
        return;
    // A failure ends the loop; the bytes wait for the next tick.
    guarded([this] {
        while (rxbuffer.size() >= rxbufferlimit && !rxbusy)
            rxhandon(rxbufferlimit);
    });
}

void TForm1::rxreset() {
    // rxbusy is raised only for the length of a tick and always lowered
    // when it ends, so outside a tick it is already down; lowering it here
    // could only let a tick start inside a running one.
    rxlastlength = 0;
}

void TForm1::rxhandon(size_t n) {
    rxbusy = true;
    struct Lower {
        bool &flag;
        ~Lower() { flag = false; }
    } lower{rxbusy};
    // A failing rxprocess throws past here: the buffer and rxlastlength
    // stay, and the same bytes come again later; they are logged then.
    rxprocess(rxbuffer.substr(0, n), streamaddress, false);
    // Bytes that arrived while the block was processed stay for the next.
    rxbuffer.erase(0, n);
    rxlastlength = 0;
}

void TForm1::Timer_rxTimer() {
    // An error box inside rxprocess runs a nested event loop, so the tick
    // can come round again while it is busy: it never starts inside itself.
    if (rxbusy)
        return;
    const size_t n = rxbuffer.size();
    if (n >= rxbufferlimit)
        rxhandon(rxbufferlimit);
    else if (n == static_cast<size_t>(rxlastlength) && n > 0)
        rxhandon(n);
    else
        rxlastlength = static_cast<int>(n);
}
