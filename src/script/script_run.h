#pragma once

// A Lua 5.4 test script run on the program's own thread as a coroutine:
// while it waits (for a block, a match, a time), the event loop runs, so
// the links, the filters' answers, the repeats and the logs go on as
// without it. It reaches the program through one table, `krovan`.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class ByteExpression;
class Session;
struct lua_State;

class ScriptRun : public QObject {
    Q_OBJECT
public:
    // Blocks kept for the script; past this the oldest are dropped.
    static constexpr size_t queueLimit = 100000;

    struct Check {
        QString name;
        bool passed = true;
        QString message;
        // Since the previous check (or the start).
        double seconds = 0;
    };

    ScriptRun(Session &session, const QString &path, QObject *parent = nullptr);
    ~ScriptRun() override;

    // Reads and compiles the file; throws KrovanError "FILE:LINE: message"
    // for a script that does not load.
    void load();
    // Runs it up to its first wait; finished() when it ends.
    void start();
    // Ends it where it waits (a signal, the user's stop), with its end
    // record; no finished().
    void stop();
    bool running() const { return running_; }

    // The script's file name without its folder.
    QString name() const;
    const std::vector<Check> &checks() const { return checks_; }
    int failedchecks() const;
    // A script error's message (with file and line); empty when none.
    const QString &error() const { return error_; }
    // 0 when it ended and every check passed; 1 when a check failed or the
    // script raised an error; the code of krovan.exit.
    int status() const;

    // Where print writes (standard error, or a state record).
    std::function<void(const QString &text)> print;

signals:
    void finished();

private:
    enum class Wait { None, Receive, Expect, Sleep };
    friend struct ScriptApi;

    void resume(int arguments);
    void ended();
    void finish();
    void arrived(const std::string &block);
    // Hands the waiting script what it waits for, if it is there; whether
    // it did.
    bool serve();
    void timedout();
    void addcheck(const QString &name, bool passed, const QString &message);

    Session &session_;
    QString path_;
    lua_State *lua_ = nullptr;
    lua_State *thread_ = nullptr;
    bool running_ = false;
    bool inside_ = false;
    std::deque<std::string> queue_;
    bool overflowed_ = false;
    Wait wait_ = Wait::None;
    std::unique_ptr<ByteExpression> expression_;
    // The wait's time-out or the sleep; a turn of the event loop to serve a
    // block that came.
    QTimer timer_;
    QTimer wake_;
    QElapsedTimer clock_;
    qint64 lastcheck_ = 0;
    std::vector<Check> checks_;
    QString error_;
    std::optional<int> exitcode_;
};
