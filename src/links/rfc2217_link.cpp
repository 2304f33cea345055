#include "rfc2217_link.h"

#include "errors.h"
#include "host_lookup.h"

#include <utility>

namespace {

// The COM-PORT option's commands (RFC 2217); the server answers each with
// the same code plus 100.
enum ComPortCommand : unsigned char {
    setbaudrate = 1,
    setdatasize = 2,
    setparity = 3,
    setstopsize = 4,
    setcontrol = 5,
};
constexpr unsigned char serveranswer = 100;
constexpr unsigned char parity_none = 1, stopsize_one = 1, control_noflow = 1;

const QString scheme = QStringLiteral("rfc2217://");

} // namespace

bool isnetworkport(const QString &name) {
    return name.startsWith(scheme, Qt::CaseInsensitive);
}

std::optional<NetworkPort> networkport(const QString &name) {
    if (!isnetworkport(name))
        return std::nullopt;
    const QString rest = name.mid(scheme.size());
    const qsizetype colon = rest.lastIndexOf(':');
    if (colon <= 0)
        return std::nullopt;
    QString host = rest.left(colon);
    const QString digits = rest.mid(colon + 1);
    if (host.startsWith('[') != host.endsWith(']'))
        return std::nullopt;
    if (host.startsWith('['))
        host = host.mid(1, host.size() - 2);
    // A name or an address: no blanks, no path, no second colon outside
    // brackets.
    const bool bracketed = rest.startsWith('[');
    for (const QChar c : host)
        if (c.isSpace() || c == '/' || c == '@' || (!bracketed && c == ':'))
            return std::nullopt;
    bool ok = false;
    const uint port = digits.toUInt(&ok);
    if (host.isEmpty() || !ok || port < 1 || port > 65535 || digits.startsWith('+'))
        return std::nullopt;
    return NetworkPort{host, static_cast<quint16>(port)};
}

Rfc2217Link::Rfc2217Link(QObject *parent) : Link(parent) {
    socket_.setReadBufferSize(readShare);
    reader_.onnegotiation = [this](unsigned char verb, unsigned char option) {
        negotiation(verb, option);
    };
    reader_.onsubnegotiation = [this](unsigned char option, const std::string &payload) {
        subnegotiation(option, payload);
    };
    connect(&socket_, &QTcpSocket::readyRead, this, [this] { pass_.request(); });
    // As the TCP client: the loss is reported from the event loop.
    connect(&socket_, &QTcpSocket::disconnected, this, [this] {
        const quint64 connection = connection_;
        QMetaObject::invokeMethod(
            this, [this, connection] { lost(connection); }, Qt::QueuedConnection);
    });
}

void Rfc2217Link::open() {
    close();
    if (!networkport(name()))
        throw KrovanError(
            ("\"" + name() + "\" is not a network port (rfc2217://HOST:PORT).").toStdString());
    try {
        connectonce();
    } catch (const KrovanError &) {
        if (!reconnect_)
            throw;
        retry_.start();
        emit waitingstarted();
    }
}

void Rfc2217Link::connectonce() {
    const NetworkPort where = *networkport(name());
    const QHostAddress address = lookuphost(where.host);
    ++connection_;
    writes_ = {};
    reader_.restart();
    data_.clear();
    mine_.fill(State::Off);
    theirs_.fill(State::Off);
    settingssent_ = rateacknowledged_ = false;
    socket_.connectToHost(address, where.port);
    if (!socket_.waitForConnected(connectTimeout)) {
        const auto error = socket_.error();
        const std::string reason = socket_.errorString().toStdString();
        drop();
        if (error == QAbstractSocket::SocketTimeoutError)
            throw KrovanError("Connect timed out.");
        throw KrovanError(reason);
    }
    negotiate();
    emit opened();
    // Data that came with the server's answers are reported from the loop.
    if (!data_.empty() || socket_.bytesAvailable() > 0)
        pass_.request();
}

void Rfc2217Link::negotiate() {
    std::string offer;
    for (const unsigned char option : {binary, suppressgoahead, comport}) {
        offer += telnet::command(telnet::will, option);
        mine_[option] = State::Asked;
    }
    for (const unsigned char option : {binary, suppressgoahead}) {
        offer += telnet::command(telnet::do_, option);
        theirs_[option] = State::Asked;
    }
    socket_.write(offer.data(), static_cast<qint64>(offer.size()));
    QElapsedTimer clock;
    clock.start();
    // Until the rate is acknowledged or the option refused, within the bound.
    while (!rateacknowledged_ && mine_[comport] != State::Refused &&
           socket_.state() == QAbstractSocket::ConnectedState) {
        const qint64 left = negotiationTimeout - clock.elapsed();
        if (left <= 0 || !socket_.waitForReadyRead(static_cast<int>(left)))
            break;
        take(socket_.readAll());
    }
}

void Rfc2217Link::sendsettings() {
    if (settingssent_)
        return;
    settingssent_ = true;
    const auto baud = static_cast<quint32>(settings_.baud);
    const std::string rate{static_cast<char>(setbaudrate), static_cast<char>(baud >> 24),
                           static_cast<char>(baud >> 16), static_cast<char>(baud >> 8),
                           static_cast<char>(baud)};
    std::string line = telnet::subnegotiation(comport, rate);
    const std::pair<unsigned char, unsigned char> frame[] = {
        {setdatasize, static_cast<unsigned char>(settings_.databits)},
        {setparity, parity_none},
        {setstopsize, stopsize_one},
        {setcontrol, control_noflow}};
    for (const auto &[command, value] : frame)
        line += telnet::subnegotiation(
            comport, std::string{static_cast<char>(command), static_cast<char>(value)});
    socket_.write(line.data(), static_cast<qint64>(line.size()));
}

unsigned char Rfc2217Link::settle(State &state, bool asked, bool supported, unsigned char yes,
                                  unsigned char no) {
    // Answered only when the state changes, so that no two sides loop.
    if (asked && supported) {
        const bool answer = state != State::On && state != State::Asked;
        state = State::On;
        return answer ? yes : 0;
    }
    if (state == State::On || state == State::Asked) {
        const bool answer = state == State::On;
        state = State::Refused;
        return answer ? no : 0;
    }
    if (state == State::Off && asked) {
        state = State::Refused;
        return no;
    }
    return 0;
}

void Rfc2217Link::negotiation(unsigned char verb, unsigned char option) {
    const bool both = option == binary || option == suppressgoahead;
    // DO and DONT are about this side's options, WILL and WONT the server's.
    const unsigned char answer =
        verb == telnet::do_ || verb == telnet::dont
            ? settle(mine_[option], verb == telnet::do_, both || option == comport, telnet::will,
                     telnet::wont)
            : settle(theirs_[option], verb == telnet::will, both, telnet::do_, telnet::dont);
    if (answer != 0) {
        const std::string command = telnet::command(answer, option);
        socket_.write(command.data(), static_cast<qint64>(command.size()));
    }
    if (option == comport && mine_[comport] == State::On)
        sendsettings();
}

void Rfc2217Link::subnegotiation(unsigned char option, const std::string &payload) {
    // Line and modem state notifications, and the other answers, are taken
    // silently; only the rate's answer ends the open's wait.
    if (option == comport && !payload.empty() &&
        static_cast<unsigned char>(payload[0]) == serveranswer + setbaudrate)
        rateacknowledged_ = true;
}

void Rfc2217Link::take(const QByteArray &bytes) {
    reader_.feed(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), data_);
}

void Rfc2217Link::readshare() {
    if (!socket_.isOpen())
        return;
    take(socket_.read(readShare));
    report();
    if (socket_.bytesAvailable() > 0)
        pass_.request();
}

void Rfc2217Link::report() {
    if (data_.empty())
        return;
    // The handler may read again (a nested loop): the block leaves first.
    const std::string block = std::exchange(data_, {});
    emit received(block, name());
}

bool Rfc2217Link::isOpen() const {
    return socket_.state() == QAbstractSocket::ConnectedState;
}

void Rfc2217Link::send(const std::string &bytes) {
    struct ReadAfter {
        Rfc2217Link &link;
        ~ReadAfter() {
            if (link.socket_.bytesAvailable() > 0)
                link.pass_.request();
        }
    } readafter{*this};
    writeall(socket_, writes_, telnet::escape(bytes));
}

void Rfc2217Link::close() {
    if (waiting()) {
        retry_.stop();
        emit closed(false);
        return;
    }
    if (drop())
        emit closed(false);
}

bool Rfc2217Link::drop() {
    const bool was = isOpen();
    socket_.abort();
    ++connection_;
    return was;
}

void Rfc2217Link::lost(quint64 connection) {
    if (connection != connection_)
        return;
    // What the server sent before it closed goes first.
    take(socket_.readAll());
    report();
    drop();
    if (reconnect_)
        retry_.start();
    emit closed(true);
    if (waiting())
        emit waitingstarted();
}

void Rfc2217Link::tryagain() {
    retry_.stop();
    try {
        connectonce();
    } catch (const KrovanError &) {
        retry_.start();
    }
}
