#include "link_setups.h"

#include "bytes_text.h"
#include "codec.h"

namespace {

int number(TextMemo<int> &memo, const QString &text) {
    return memo.get(text, {}, [&] { return strtoint(toBytes(text)); });
}

} // namespace

SerialSettings LinkSetups::serial(const Setup &setup, int number, const QString &device,
                                  OtherBits other) {
    SerialSettings settings;
    settings.number = number;
    settings.device = device;
    settings.baud = strtoint(toBytes(setup.com_baud));
    // The selector lists 5, 6, 7, 8 (and an empty item).
    const bool listed = setup.com_bits >= 0 && setup.com_bits < 4;
    if (!listed && other == OtherBits::Fail)
        strtoint(""); // throws as the empty item's text does
    settings.databits = listed ? 5 + setup.com_bits : 8;
    settings.parity = setup.com_parity;
    settings.stopbits = setup.com_stop;
    return settings;
}

TcpClientSettings LinkSetups::tcpclient(const Setup &setup) {
    return {setup.tcp_c_a, number(tcpclientport_, setup.tcp_c_p)};
}

int LinkSetups::tcpserverport(const Setup &setup) {
    return number(tcpserverport_, setup.tcp_s_p);
}

int LinkSetups::udplocalport(const Setup &setup) {
    return number(udplocalport_, setup.rx_port);
}

int LinkSetups::udpport(const Setup &setup) {
    return number(udpport_, setup.tx_port);
}

std::string LinkSetups::icmphost(const Setup &setup) const {
    // The host's bytes as they stand: the echo resolves them untrimmed.
    return toBytes(setup.icmp_a);
}

QString LinkSetups::tcpclientaddress(const Setup &setup) const {
    return tcpclientaddress_.get(setup.tcp_c_a, setup.tcp_c_p,
                                 [&] { return setup.tcp_c_a + " : " + setup.tcp_c_p; });
}

QString LinkSetups::tcpserveraddress(const Setup &setup) const {
    return tcpserveraddress_.get(setup.tcp_s_p, {}, [&] { return "localhost : " + setup.tcp_s_p; });
}

QString LinkSetups::udpaddress(const Setup &setup) const {
    return udpaddress_.get(setup.tx_adr, setup.tx_port,
                           [&] { return setup.tx_adr + " : " + setup.tx_port; });
}
