// The stream buffer of the TCP links and its gap framing: a block is
// complete when the buffer did not grow during one whole tick.
#include "main_window.h"

#include <QTimer>

namespace {

const char *const streamaddress = "TCP-IP :500";

} // namespace

void TForm1::rxappend(const char *data, qsizetype size) {
    rxbuffer.append(data, static_cast<size_t>(size));
}

void TForm1::Timer_rxTimer() {
    // An error box inside rxprocess runs a nested event loop, so the tick
    // can come round again while it is busy: it never starts inside itself.
    if (rxbusy)
        return;
    rxbusy = true;
    struct Lower {
        bool &flag;
        ~Lower() { flag = false; }
    } lower{rxbusy};

    size_t n = rxbuffer.size();
    if (n == static_cast<size_t>(rxlastlength) && n > 0) {
        // A failing rxprocess throws past here: the buffer and rxlastlength
        // stay, and the same bytes come again at the next quiet tick.
        rxprocess(rxbuffer.substr(0, n), streamaddress);
        // Bytes that arrived while the block was processed stay for the next.
        rxbuffer.erase(0, n);
        n = 0;
    }
    rxlastlength = static_cast<int>(n);
}
