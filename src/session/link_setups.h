#pragma once

// The set-up's texts of each network link read into the kind's typed
// settings, and the addresses its records name, made again only when a text
// has changed since it was last read: a stream of answers reads the same
// fields for every send, and converting them each time costs more than the
// send itself. A text that does not convert throws its conversion error
// where it is read, at the open or the send that needs it, and is read
// again the next time.

#include "serial_link.h"
#include "setup.h"
#include "tcp_client_link.h"
#include "text_memo.h"

#include <QString>

#include <string>

class LinkSetups {
public:
    // What a serial data bits' index outside the selector's four items
    // gives: the windows read it as the selector's empty item, a text that
    // does not convert (an error box, no port opened); a headless run has
    // always taken it as 8 bits. Each front-end keeps its own.
    enum class OtherBits { Fail, Eight };
    // The serial port's settings the set-up holds (the typed rate, the
    // selectors' items), on the port the front-end chose: its number, or a
    // device path.
    static SerialSettings serial(const Setup &setup, int number, const QString &device,
                                 OtherBits other);

    TcpClientSettings tcpclient(const Setup &setup);
    int tcpserverport(const Setup &setup);
    int udplocalport(const Setup &setup);
    int udpport(const Setup &setup);
    std::string icmphost(const Setup &setup) const;

    QString tcpclientaddress(const Setup &setup) const;
    QString tcpserveraddress(const Setup &setup) const;
    QString udpaddress(const Setup &setup) const;

private:
    TextMemo<int> tcpclientport_, tcpserverport_, udplocalport_, udpport_;
    mutable TextMemo<QString> tcpclientaddress_, tcpserveraddress_, udpaddress_;
};
