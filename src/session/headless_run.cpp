#include "headless_run.h"

#include "bytes_text.h"
#include "capture_file.h"
#include "codec.h"
#include "errors.h"
#include "ini_file.h"
#include "quit_signals.h"
#include "session.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>

namespace {

const char *const usage =
    "Usage: krovan                                the windows\n"
    "       krovan --headless SETUP.ini [OPTIONS] the set-up of SETUP.ini, without windows\n"
    "       krovan --help | --version\n"
    "\n"
    "A headless run opens the link as the connect button would, answers every\n"
    "received block through the file's active filters and writes every log entry\n"
    "as one tab-separated line to standard output. SIGINT and SIGTERM end it.\n"
    "\n"
    "Options of a headless run:\n"
    "  --link serial|tcp-client|tcp-server|udp|icmp\n"
    "                      the kind to open (default: the file's connection)\n"
    "  --port COMn|DEVICE  the serial port, by its COM number or a device path\n"
    "  --send N            send macro row N once the link is open (repeatable)\n"
    "  --repeat N          repeat macro row N at its stored period (repeatable)\n"
    "  --capture FILE      write the entries to FILE (appending); - is standard output\n"
    "  --duration SECONDS  end after this long (a decimal number)\n"
    "\n"
    "Exit status: 0 ended by a signal or --duration, 1 the link failed to open or\n"
    "closed by itself, 2 a bad option or a settings file that cannot be read.\n";

struct Options {
    QString setupfile;
    std::optional<LinkKind> link;
    QString port;
    std::vector<int> sends;
    std::vector<int> repeats;
    QString capture = "-";
    std::optional<double> duration;
};

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

void printerr(const QString &message) {
    std::fprintf(stderr, "krovan: %s\n", message.toLocal8Bit().constData());
}

int rownumber(const QString &option, const QString &value) {
    bool ok = false;
    const int n = value.toInt(&ok);
    if (!ok || n < 1)
        throw UsageError(
            QString("%1 needs a row number from 1, not \"%2\"").arg(option, value).toStdString());
    return n;
}

// Seconds: a finite decimal number of 0 or more.
double durationseconds(const QString &text) {
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds < 0)
        throw UsageError(QString("--duration needs seconds, not \"%1\"").arg(text).toStdString());
    return seconds;
}

// Calls `then` once `seconds` have passed. A Qt timer holds at most about
// 24 days, so a longer time is waited for in steps towards one deadline.
class Deadline {
public:
    Deadline(double seconds, std::function<void()> then) : then_(std::move(then)) {
        // Beyond this (about 300 000 years) the run may as well go on for ever.
        constexpr double longest = 1e13;
        const double ms = std::ceil(seconds * 1000);
        deadline_ = ms >= longest ? QDeadlineTimer(QDeadlineTimer::Forever)
                                  : QDeadlineTimer(static_cast<qint64>(ms));
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, [this] { step(); });
        // The first step comes from the event loop, which must be running
        // for the end to end it.
        timer_.start(0);
    }

private:
    void step() {
        if (deadline_.hasExpired())
            return then_();
        if (deadline_.isForever())
            return;
        constexpr qint64 longeststep = qint64{24} * 3600 * 1000;
        timer_.start(static_cast<int>(std::min(deadline_.remainingTime(), longeststep)));
    }

    std::function<void()> then_;
    QDeadlineTimer deadline_;
    QTimer timer_;
};

LinkKind linkkind(const QString &name) {
    const std::pair<const char *, LinkKind> kinds[] = {{"serial", LinkKind::Serial},
                                                       {"tcp-client", LinkKind::TcpClient},
                                                       {"tcp-server", LinkKind::TcpServer},
                                                       {"udp", LinkKind::Udp},
                                                       {"icmp", LinkKind::Icmp}};
    for (auto [text, kind] : kinds)
        if (name == text)
            return kind;
    throw UsageError(QString("unknown link \"%1\"").arg(name).toStdString());
}

// GNU style: "--name value" or "--name=value".
Options parse(const QStringList &arguments) {
    Options options;
    for (int i = 0; i < arguments.size(); ++i) {
        QString name = arguments[i];
        std::optional<QString> inlinevalue;
        if (const qsizetype eq = name.indexOf('='); name.startsWith("--") && eq > 0) {
            inlinevalue = name.mid(eq + 1);
            name = name.left(eq);
        }
        const auto value = [&]() -> QString {
            if (inlinevalue)
                return *inlinevalue;
            if (i + 1 >= arguments.size())
                throw UsageError(QString("%1 needs a value").arg(name).toStdString());
            return arguments[++i];
        };
        if (name == "--headless")
            options.setupfile = value();
        else if (name == "--link")
            options.link = linkkind(value());
        else if (name == "--port")
            options.port = value();
        else if (name == "--send")
            options.sends.push_back(rownumber(name, value()));
        else if (name == "--repeat")
            options.repeats.push_back(rownumber(name, value()));
        else if (name == "--capture")
            options.capture = value();
        else if (name == "--duration")
            options.duration = durationseconds(value());
        else
            throw UsageError(QString("unknown option \"%1\"").arg(arguments[i]).toStdString());
    }
    if (options.setupfile.isEmpty())
        throw UsageError("--headless needs a settings file");
    return options;
}

// The serial port of --port: "COM" and a number, or a device path, which
// then stands for the number 0.
int serialnumber(const QString &port) {
    if (port.isEmpty())
        throw UsageError("a serial link needs --port COMn or --port DEVICE");
    if (port.startsWith("COM", Qt::CaseInsensitive)) {
        bool ok = false;
        const int number = port.mid(3).toInt(&ok);
        if (ok && number >= 0)
            return number;
    }
    const SerialLink::DeviceTable table = SerialLink::devicetable;
    SerialLink::devicetable = [port, table](int number) {
        return number == 0 ? port : table ? table(number) : QString();
    };
    return 0;
}

// Opens the kind as its connect button would, on the set-up's fields.
void openlink(Session &session, LinkKind kind, const Options &options) {
    if (kind == LinkKind::Serial) {
        const int number = serialnumber(options.port);
        const int baud = strtoint(toBytes(session.setup.com_baud));
        // The data bits' selector lists 5, 6, 7, 8.
        const int bits = session.setup.com_bits >= 0 && session.setup.com_bits < 4
                             ? 5 + session.setup.com_bits
                             : 8;
        session.serialopen(number, baud, bits);
        if (!session.ApdComPort1.isOpen())
            throw KrovanError("the serial port did not open");
        return;
    }
    session.open(kind);
}

} // namespace

RunMode runmode(const QStringList &arguments, int &status) {
    // Single-dash arguments are the toolkit's own (-platform, -style).
    if (std::none_of(arguments.begin(), arguments.end(),
                     [](const QString &argument) { return argument.startsWith("--"); }))
        return RunMode::Windows;
    if (arguments.contains("--help")) {
        std::fputs(usage, stdout);
        status = 0;
        return RunMode::Answered;
    }
    if (arguments.contains("--version")) {
        std::printf("krovan %s\n", KROVAN_VERSION);
        status = 0;
        return RunMode::Answered;
    }
    if (arguments.first() == "--headless" || arguments.first().startsWith("--headless="))
        return RunMode::Headless;
    printerr(QString("unknown option \"%1\"").arg(arguments.first()));
    std::fputs(usage, stderr);
    status = 2;
    return RunMode::Answered;
}

int runheadless(const QStringList &arguments) {
    Options options;
    try {
        options = parse(arguments);
    } catch (const UsageError &e) {
        printerr(e.what());
        std::fputs(usage, stderr);
        return 2;
    }
    const std::string path = QFile::encodeName(options.setupfile).toStdString();
    if (!QFileInfo(options.setupfile).isFile()) {
        printerr(QString("cannot read %1: %2").arg(options.setupfile, std::strerror(ENOENT)));
        return 2;
    }
    Session session;
    try {
        const Setup setup = Setup::read(IniFile::load(path));
        session.setup = setup;
        session.setfilters(setup.filters);
    } catch (const std::exception &e) {
        printerr(QString::fromUtf8(e.what()));
        return 2;
    }
    const LinkKind kind = options.link.value_or(static_cast<LinkKind>(session.setup.connection));
    if (kind < LinkKind::Serial || kind > LinkKind::Icmp) {
        printerr("the settings file names no link; choose one with --link");
        return 2;
    }
    const int rows = static_cast<int>(session.setup.macros.size());
    for (const std::vector<int> *list : {&options.sends, &options.repeats})
        for (int n : *list)
            if (n > rows) {
                printerr(QString("the set-up has %1 macro rows, not %2").arg(rows).arg(n));
                return 2;
            }
    // The state records follow the kind that runs.
    session.setup.connection = static_cast<int>(kind);

    std::unique_ptr<CaptureFile> capture;
    try {
        capture = options.capture == "-" ? std::make_unique<CaptureFile>(CaptureFile::Standard)
                                         : std::make_unique<CaptureFile>(options.capture);
    } catch (const std::exception &e) {
        printerr(QString::fromUtf8(e.what()));
        return 2;
    }
    session.addsink(capture.get());
    QObject::connect(capture.get(), &CaptureFile::failed, [](const QString &message) {
        printerr(message);
        QCoreApplication::exit(1);
    });

    try {
        openlink(session, kind, options);
    } catch (const UsageError &e) {
        printerr(e.what());
        session.removesink(capture.get());
        return 2;
    } catch (const std::exception &e) {
        printerr(QString::fromUtf8(e.what()));
        session.removesink(capture.get());
        return 1;
    }

    bool ending = false;
    const auto end = [&](int code) {
        if (ending)
            return;
        ending = true;
        // What the stream buffer still holds (bytes that came just before
        // the peer closed) is logged and answered before the run ends.
        session.guard([&] { session.rxflush(); });
        // No repeat may fire on a link that is closing or closed.
        session.holdrepeats(true);
        session.closeall(Session::Closing::Shutdown);
        QCoreApplication::exit(code);
    };
    // A link that closes by itself ends the run.
    QObject::connect(&session, &Session::linkchanged, [&](LinkKind changed, bool open) {
        if (changed == kind && !open && !ending)
            end(1);
    });
    closeonsignals(&session, [&] { end(0); });
    std::optional<Deadline> duration;
    if (options.duration)
        duration.emplace(*options.duration, [&] { end(0); });
    QTimer::singleShot(0, &session, [&] {
        for (int n : options.sends)
            session.guard([&] { session.send(n); });
        for (int n : options.repeats) {
            session.guard([&] {
                RepeatTimer *timer = session.repeattimer(n);
                timer->setPeriod(strtoint(toBytes(session.setup.macros[size_t(n - 1)].interval)));
                timer->setEnabled(true);
            });
        }
    });
    const int code = QCoreApplication::exec();
    if (!ending) {
        session.holdrepeats(true);
        session.closeall(Session::Closing::Shutdown);
    }
    session.removesink(capture.get());
    return code;
}
