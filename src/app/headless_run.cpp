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
#include "value_points.h"
#include "values_file.h"

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

namespace {

// One headless run, step by step; a step that ends the run early gives its
// exit status.
class HeadlessRun {
public:
    explicit HeadlessRun(HeadlessOptions options) : options_(std::move(options)) {}
    ~HeadlessRun() {
        if (capture_)
            session_.removesink(capture_.get());
        session_.removesink(&points_);
    }
    HeadlessRun(const HeadlessRun &) = delete;
    HeadlessRun &operator=(const HeadlessRun &) = delete;

    int run();

private:
    using Step = std::optional<int> (HeadlessRun::*)();
    std::optional<int> loadsetup();
    std::optional<int> loadscript();
    std::optional<int> opencapture();
    std::optional<int> openvalues();
    std::optional<int> open();
    void wireend();
    void startwork();
    void end(int code);
    // Stops the script and closes the links; the run's exit status.
    int shutdown(int code);
    // Writes the script's report, as every end does once the script is
    // known; one that cannot be written makes the status at least 1.
    int reported(int code);

    HeadlessOptions options_;
    Session session_;
    LinkKind kind_ = LinkKind::None;
    std::unique_ptr<ScriptRun> script_;
    std::unique_ptr<CaptureFile> capture_;
    ValuePoints points_;
    std::unique_ptr<ValuesFile> values_;
    std::optional<Deadline> duration_;
    bool ending_ = false;
};

int HeadlessRun::run() {
    for (const Step step :
         {&HeadlessRun::loadsetup, &HeadlessRun::loadscript, &HeadlessRun::opencapture,
          &HeadlessRun::openvalues, &HeadlessRun::open})
        if (const std::optional<int> code = (this->*step)())
            return *code;
    wireend();
    QTimer::singleShot(0, &session_, [this] { startwork(); });
    const int code = QCoreApplication::exec();
    // A capture that failed ended the run without end().
    return ending_ ? code : shutdown(code);
}

std::optional<int> HeadlessRun::loadsetup() {
    const std::string path = QFile::encodeName(options_.setupfile).toStdString();
    if (!QFileInfo(options_.setupfile).isFile()) {
        printerr(QString("cannot read %1: %2").arg(options_.setupfile, std::strerror(ENOENT)));
        return 2;
    }
    try {
        const Setup setup = Setup::read(IniFile::load(path));
        session_.setup = setup;
        session_.setfilters(setup.filters);
    } catch (const std::exception &e) {
        printerr(QString::fromUtf8(e.what()));
        return 2;
    }
    kind_ = options_.link.value_or(kindat(session_.setup.connection));
    if (kind_ == LinkKind::None) {
        printerr("the settings file names no link; choose one with --link");
        return 2;
    }
    const int rows = static_cast<int>(session_.setup.macros.size());
    for (const std::vector<int> *list : {&options_.sends, &options_.repeats})
        for (int n : *list)
            if (n > rows) {
                printerr(QString("the set-up has %1 macro rows, not %2").arg(rows).arg(n));
                return 2;
            }
    // The state records follow the kind that runs.
    session_.setup.connection = static_cast<int>(kind_);
    return std::nullopt;
}

std::optional<int> HeadlessRun::loadscript() {
    if (options_.script.isEmpty())
        return std::nullopt;
    script_ = std::make_unique<ScriptRun>(session_, options_.script);
    script_->print = printerr;
    try {
        script_->load();
    } catch (const std::exception &e) {
        printerr(QString::fromUtf8(e.what()));
        return reported(2);
    }
    return std::nullopt;
}

std::optional<int> HeadlessRun::opencapture() {
    try {
        capture_ = options_.capture == "-" ? std::make_unique<CaptureFile>(CaptureFile::Standard)
                                           : std::make_unique<CaptureFile>(options_.capture);
    } catch (const std::exception &e) {
        printerr(QString::fromUtf8(e.what()));
        return 2;
    }
    session_.addsink(capture_.get());
    QObject::connect(capture_.get(), &CaptureFile::failed, [](const QString &message) {
        printerr(message);
        QCoreApplication::exit(1);
    });
    return std::nullopt;
}

std::optional<int> HeadlessRun::openvalues() {
    if (options_.values.isEmpty())
        return std::nullopt;
    try {
        values_ = std::make_unique<ValuesFile>(options_.values);
    } catch (const std::exception &e) {
        printerr(QString::fromUtf8(e.what()));
        return 2;
    }
    points_.onpoint = [this](const ValuePoint &point) { values_->add(point); };
    points_.rules.set(session_.setup.graphrules);
    for (const QString &problem : points_.rules.problems())
        session_.note(problem);
    session_.addsink(&points_);
    QObject::connect(values_.get(), &ValuesFile::failed, [](const QString &message) {
        printerr(message);
        QCoreApplication::exit(1);
    });
    return std::nullopt;
}

std::optional<int> HeadlessRun::open() {
    session_.setreconnect(options_.reconnect || session_.setup.reconnect);
    try {
        openlink(session_, kind_, options_);
    } catch (const std::exception &e) {
        const QString message = QString::fromUtf8(e.what());
        printerr(message);
        if (script_)
            script_->abandon(message);
        return reported(dynamic_cast<const UsageError *>(&e) ? 2 : 1);
    }
    return std::nullopt;
}

void HeadlessRun::wireend() {
    if (script_)
        QObject::connect(script_.get(), &ScriptRun::finished, [this] { end(script_->status()); });
    // A link that closes by itself ends the run.
    QObject::connect(&session_, &Session::linkchanged, [this](LinkKind changed, bool open) {
        if (changed == kind_ && !open && !ending_)
            end(1);
    });
    closeonsignals(&session_, [this] { end(0); });
    if (options_.duration)
        duration_.emplace(*options_.duration, [this] { end(0); });
}

void HeadlessRun::startwork() {
    for (int n : options_.sends)
        session_.guard([&] { session_.send(n); });
    for (int n : options_.repeats) {
        session_.guard([&] {
            RepeatTimer *timer = session_.repeattimer(n);
            timer->setPeriod(strtoint(toBytes(session_.setup.macros[size_t(n - 1)].interval)));
            timer->setEnabled(true);
        });
    }
    if (script_)
        script_->start();
}

void HeadlessRun::end(int code) {
    if (ending_)
        return;
    ending_ = true;
    // What the stream framers still hold (bytes that came just before the
    // peer closed) is logged and answered before the run ends.
    session_.flushstreams();
    QCoreApplication::exit(shutdown(code));
}

int HeadlessRun::shutdown(int code) {
    if (script_)
        script_->stop();
    session_.closeall(Session::Closing::Shutdown);
    return reported(code);
}

int HeadlessRun::reported(int code) {
    if (!script_ || options_.report.isEmpty())
        return code;
    try {
        writejunitreport(options_.report, *script_);
    } catch (const std::exception &e) {
        printerr(QString::fromUtf8(e.what()));
        return std::max(code, 1);
    }
    return code;
}

} // namespace

int runheadless(const QStringList &arguments) {
    HeadlessOptions options;
    try {
        options = parseheadless(arguments);
    } catch (const UsageError &e) {
        printerr(e.what());
        std::fputs(headlessusage, stderr);
        return 2;
    }
    return HeadlessRun(std::move(options)).run();
}
