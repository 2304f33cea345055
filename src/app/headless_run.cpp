#include "headless_run.h"

#include "headless_options.h"

#include "bytes_text.h"
#include "capture_file.h"
#include "codec.h"
#include "errors.h"
#include "ini_file.h"
#include "junit_report.h"
#include "link_kinds.h"
#include "quit_signals.h"
#include "script_run.h"
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

void printerr(const QString &message) {
    std::fprintf(stderr, "krovan: %s\n", message.toLocal8Bit().constData());
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

// Opens the kind as its connect button would, on the set-up's fields.
void openlink(Session &session, LinkKind kind, const HeadlessOptions &options) {
    if (kind == LinkKind::Serial) {
        const SerialPortChoice port = serialport(options.port);
        session.chooseserial(LinkSetups::serial(session.setup, port.number, port.device,
                                                LinkSetups::OtherBits::Eight));
        session.open(kind);
        if (!session.isengaged(LinkKind::Serial))
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
        std::fputs(headlessusage, stdout);
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
    std::fputs(headlessusage, stderr);
    status = 2;
    return RunMode::Answered;
}

int runheadless(const QStringList &arguments) {
    HeadlessOptions options;
    try {
        options = parseheadless(arguments);
    } catch (const UsageError &e) {
        printerr(e.what());
        std::fputs(headlessusage, stderr);
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
    const LinkKind kind = options.link.value_or(kindat(session.setup.connection));
    if (kind == LinkKind::None) {
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

    std::unique_ptr<ScriptRun> script;
    // The script's report is written at every end once the script is
    // known; one that cannot be written makes the status at least 1.
    const auto reported = [&](int code) {
        if (!script || options.report.isEmpty())
            return code;
        try {
            writejunitreport(options.report, *script);
        } catch (const std::exception &e) {
            printerr(QString::fromUtf8(e.what()));
            return std::max(code, 1);
        }
        return code;
    };
    if (!options.script.isEmpty()) {
        script = std::make_unique<ScriptRun>(session, options.script);
        script->print = printerr;
        try {
            script->load();
        } catch (const std::exception &e) {
            printerr(QString::fromUtf8(e.what()));
            return reported(2);
        }
    }

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

    session.setreconnect(options.reconnect || session.setup.reconnect);
    try {
        openlink(session, kind, options);
    } catch (const std::exception &e) {
        const QString message = QString::fromUtf8(e.what());
        printerr(message);
        session.removesink(capture.get());
        if (script)
            script->abandon(message);
        return reported(dynamic_cast<const UsageError *>(&e) ? 2 : 1);
    }

    bool ending = false;
    const auto end = [&](int code) {
        if (ending)
            return;
        ending = true;
        // What the stream buffer still holds (bytes that came just before
        // the peer closed) is logged and answered before the run ends.
        session.guard([&] { session.rxflush(); });
        if (script)
            script->stop();
        session.closeall(Session::Closing::Shutdown);
        QCoreApplication::exit(reported(code));
    };
    if (script)
        QObject::connect(script.get(), &ScriptRun::finished, [&] { end(script->status()); });
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
        if (script)
            script->start();
    });
    int code = QCoreApplication::exec();
    // The capture failed: the run ends without the end above.
    if (!ending) {
        if (script)
            script->stop();
        session.closeall(Session::Closing::Shutdown);
        code = reported(code);
    }
    session.removesink(capture.get());
    return code;
}
