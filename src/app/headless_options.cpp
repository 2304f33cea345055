#include "headless_options.h"

#include "link_kinds.h"

#include <cmath>
#include <optional>

const char *const headlessusage =
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
    "  --port COMn|DEVICE  the serial port, by its COM number or a device path, or\n"
    "                      a network serial port rfc2217://HOST:PORT\n"
    "  --send N            send macro row N once the link is open (repeatable)\n"
    "  --repeat N          repeat macro row N at its stored period (repeatable)\n"
    "  --capture FILE      write the entries to FILE (appending); - is standard output\n"
    "  --values FILE       write the numbers of received blocks to FILE as CSV lines\n"
    "                      time,series,value (appending); - is standard output\n"
    "  --duration SECONDS  end after this long (a decimal number)\n"
    "  --reconnect         a serial device or TCP server that goes away (or is not\n"
    "                      there yet) is waited for, and the run goes on when it\n"
    "                      is back (also the file's reconnect=1)\n"
    "  --script FILE       run the Lua test script FILE once the link is open (after\n"
    "                      --send); the run ends with it\n"
    "  --report FILE       write the script's checks to FILE as a JUnit XML report\n"
    "\n"
    "Exit status: 0 ended by a signal or --duration, or a script that ended with\n"
    "every check passed; 1 the link failed to open or closed by itself, a check\n"
    "failed or the script raised an error; 2 a bad option, a settings file that\n"
    "cannot be read or a script that does not load. krovan.exit(n) gives n.\n";

namespace {

int rownumber(const QString &option, const QString &value) {
    bool ok = false;
    const int n = value.toInt(&ok);
    if (!ok || n < 1)
        throw UsageError(
            QString("%1 needs a row number from 1, not \"%2\"").arg(option, value).toStdString());
    return n;
}

LinkKind linkkind(const QString &name) {
    if (const std::optional<LinkKind> kind = kindnamed(name))
        return *kind;
    throw UsageError(QString("unknown link \"%1\"").arg(name).toStdString());
}

} // namespace

// Seconds: a finite decimal number of 0 or more.
double durationseconds(const QString &text) {
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds < 0)
        throw UsageError(QString("--duration needs seconds, not \"%1\"").arg(text).toStdString());
    return seconds;
}

// GNU style: "--name value" or "--name=value".
HeadlessOptions parseheadless(const QStringList &arguments) {
    HeadlessOptions options;
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
        else if (name == "--values")
            options.values = value();
        else if (name == "--duration")
            options.duration = durationseconds(value());
        else if (name == "--script")
            options.script = value();
        else if (name == "--report")
            options.report = value();
        else if (name == "--reconnect" && inlinevalue)
            throw UsageError("--reconnect takes no value");
        else if (name == "--reconnect")
            options.reconnect = true;
        else
            throw UsageError(QString("unknown option \"%1\"").arg(arguments[i]).toStdString());
    }
    if (options.setupfile.isEmpty())
        throw UsageError("--headless needs a settings file");
    if (!options.report.isEmpty() && options.script.isEmpty())
        throw UsageError("--report needs --script");
    return options;
}

SerialPortChoice serialport(const QString &port) {
    if (port.isEmpty())
        throw UsageError("a serial link needs --port COMn or --port DEVICE");
    if (port.startsWith("COM", Qt::CaseInsensitive)) {
        bool ok = false;
        const int number = port.mid(3).toInt(&ok);
        if (ok && number >= 0)
            return {number, QString()};
    }
    return {0, port};
}
