#include "link_setups.h"

#include "bytes_text.h"
#include "codec.h"

namespace {

int number(TextMemo<int> &memo, const QString &text) {
    return memo.get(text, {}, [&] { return strtoint(toBytes(text)); });
}

} // namespace

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
