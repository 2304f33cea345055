#pragma once

// A Lua 5.4 test script run on the program's own thread as a coroutine:
// while it waits (for a block, a match, a time), and every few milliseconds
// while it computes, the event loop runs, so the links, the filters'
// answers, the repeats, the logs and a stop go on as without it. It reaches
// the program through one table, `krovan`. Its end (krovan.exit,
// krovan.fail, os.exit) is final, whatever pcall or coroutines surround it.

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
    // How long the script computes before the event loop has its turn.
    static constexpr qint64 sliceNanoseconds = 5'000'000;
    // What the script's own error says when a stop ended it.
    static constexpr const char *stoppedMessage = "the script was stopped";

    struct Check {
        QString name;
        bool passed = true;
        QString message;
        // Since the previous check (or the start).
        double seconds = 0;
    };

    ScriptRun(Session &session, const QString &path, QObject *parent = nullptr);
    ~ScriptRun() override;

    // The memory the script's state may take; past it the script ends
    // with "not enough memory". Set before load().
    size_t memorylimit = size_t{1} << 30;

    // Reads and compiles the file; throws KrovanError "FILE:LINE: message"
    // for a script that does not load (kept as its error for the report).
    void load();
    // Runs it up to its first wait; finished() when it ends.
    void start();
    // Ends it where it waits or computes (a signal, the user's stop), with
    // its end record and stoppedMessage as its error; no finished().
    void stop();
    // The run could not start it (the link did not open): the reason
    // stands as its error in the report.
    void abandon(const QString &reason);
    bool running() const { return running_; }

    // The script's file name without its folder.
    QString name() const;
    const std::vector<Check> &checks() const { return checks_; }
    // How long it ran, from its start to its end (or to now).
    double seconds() const;
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

    static void *allocate(void *self, void *block, size_t oldsize, size_t newsize);
    static void slice(lua_State *lua, struct lua_Debug *);
    // Replaces the coroutine library's resume and wrap with ones that pass
    // a pause of the program (a wait, a slice, the end) out of the script's
    // own coroutines, and go on with what the program hands back.
    void passpauses();
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
    // krovan.exit, krovan.fail or os.exit was called: nothing more runs.
    bool ending_ = false;
    // The slice's hook paused a coroutine (with no values to tell it by).
    bool sliced_ = false;
    size_t memory_ = 0;
    QElapsedTimer slicestart_;
    qint64 ranfor_ = -1; // milliseconds, once ended
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
