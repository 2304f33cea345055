#include "script_run.h"

#include "block_text.h"
#include "byte_expression.h"
#include "codec.h"
#include "errors.h"
#include "session.h"

#include <QFile>
#include <QFileInfo>

#include <lua.hpp>

#include <algorithm>

namespace {

// Raised through Lua to end the script (krovan.exit, krovan.fail, os.exit);
// told apart from an error by its address.
char endsentinel;

QString text(lua_State *lua, int index) {
    size_t size = 0;
    const char *bytes = luaL_tolstring(lua, index, &size);
    QString result = QString::fromUtf8(bytes, static_cast<qsizetype>(size));
    lua_pop(lua, 1);
    return result;
}

void pushbytes(lua_State *lua, std::string_view bytes) {
    lua_pushlstring(lua, bytes.data(), bytes.size());
}

std::string_view bytesof(lua_State *lua, int index) {
    size_t size = 0;
    const char *bytes = luaL_checklstring(lua, index, &size);
    return {bytes, size};
}

int milliseconds(lua_State *lua, int index) {
    const lua_Integer ms = luaL_optinteger(lua, index, 0);
    return static_cast<int>(std::clamp<lua_Integer>(ms, 0, 24 * 3600 * 1000));
}

// Runs `body`; a C++ failure in it is raised as the script's error, with
// where the script called from, once the body's objects are gone (a Lua
// error leaves the frame without running destructors). Returns `results`.
template <class Body> int guarded(lua_State *lua, int results, Body &&body) {
    bool failed = false;
    try {
        body();
    } catch (const std::exception &e) {
        lua_pushstring(lua, e.what());
        failed = true;
    }
    if (!failed)
        return results;
    luaL_where(lua, 1);
    lua_insert(lua, -2);
    lua_concat(lua, 2);
    return lua_error(lua);
}

} // namespace

// The functions of the table `krovan`; each finds its run in its upvalue.
// No C++ object with a destructor may be alive in a frame that a Lua error
// or yield leaves: they live inside guarded() or in inner scopes.
struct ScriptApi {
    static ScriptRun &run(lua_State *lua) {
        return *static_cast<ScriptRun *>(lua_touserdata(lua, lua_upvalueindex(1)));
    }

    static int send(lua_State *lua) {
        const lua_Integer n = luaL_checkinteger(lua, 1);
        return guarded(lua, 0, [&] {
            Session &session = run(lua).session_;
            if (n < 1 || n > static_cast<lua_Integer>(session.setup.macros.size()))
                throw KrovanError("the set-up has no macro row " + std::to_string(n));
            session.send(static_cast<int>(n));
        });
    }

    static int write(lua_State *lua) {
        const std::string_view bytes = bytesof(lua, 1);
        return guarded(lua, 0, [&] { run(lua).session_.sendblock(std::string(bytes)); });
    }

    static int bytes(lua_State *lua) {
        const std::string_view typed = bytesof(lua, 1);
        return guarded(lua, 1, [&] { pushbytes(lua, wildtostr(typed)); });
    }

    static int hex(lua_State *lua) {
        const std::string_view block = bytesof(lua, 1);
        {
            const std::string text = hextext(block);
            pushbytes(lua, std::string_view(text).substr(text.empty() ? 0 : 1));
        }
        return 1;
    }

    // Yields until the run resumes the script with what it waited for, or
    // at the time-out.
    static int wait(lua_State *lua, ScriptRun::Wait what, int ms) {
        ScriptRun &self = run(lua);
        self.wait_ = what;
        self.timer_.start(ms);
        return lua_yield(lua, 0);
    }

    static int receive(lua_State *lua) {
        return wait(lua, ScriptRun::Wait::Receive, milliseconds(lua, 1));
    }

    static int expect(lua_State *lua) {
        const std::string_view pattern = bytesof(lua, 1);
        const int ms = milliseconds(lua, 2);
        guarded(lua, 0, [&] {
            auto expression = std::make_unique<ByteExpression>();
            if (const std::string problem = expression->compile(pattern); !problem.empty())
                throw KrovanError(problem);
            run(lua).expression_ = std::move(expression);
        });
        return wait(lua, ScriptRun::Wait::Expect, ms);
    }

    static int sleep(lua_State *lua) {
        return wait(lua, ScriptRun::Wait::Sleep, milliseconds(lua, 1));
    }

    static int now(lua_State *lua) {
        lua_pushinteger(lua, run(lua).clock_.elapsed());
        return 1;
    }

    static int log(lua_State *lua) {
        run(lua).session_.note(text(lua, 1));
        return 0;
    }

    static int print(lua_State *lua) {
        const int count = lua_gettop(lua);
        QString line;
        for (int i = 1; i <= count; ++i)
            line += (i > 1 ? "\t" : "") + text(lua, i);
        if (ScriptRun &self = run(lua); self.print)
            self.print(line);
        return 0;
    }

    static int check(lua_State *lua) {
        const bool ok = lua_toboolean(lua, 1);
        ScriptRun &self = run(lua);
        const QString name = lua_isnoneornil(lua, 2)
                                 ? "check " + QString::number(self.checks_.size() + 1)
                                 : text(lua, 2);
        self.addcheck(name, ok, ok ? QString() : "check " + name + " failed");
        return 0;
    }

    static int fail(lua_State *lua) {
        {
            const QString message = text(lua, 1);
            run(lua).addcheck(message, false, message);
        }
        lua_pushlightuserdata(lua, &endsentinel);
        return lua_error(lua);
    }

    static int exit(lua_State *lua) {
        ScriptRun &self = run(lua);
        if (lua_isboolean(lua, 1))
            self.exitcode_ = lua_toboolean(lua, 1) ? 0 : 1;
        else if (!lua_isnoneornil(lua, 1))
            self.exitcode_ = static_cast<int>(luaL_checkinteger(lua, 1));
        lua_pushlightuserdata(lua, &endsentinel);
        return lua_error(lua);
    }
};

ScriptRun::ScriptRun(Session &session, const QString &path, QObject *parent)
    : QObject(parent), session_(session), path_(path) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { timedout(); });
    wake_.setSingleShot(true);
    wake_.setInterval(0);
    connect(&wake_, &QTimer::timeout, this, [this] { serve(); });
    connect(&session_, &Session::processed, this,
            [this](const std::string &block) { arrived(block); });
}

ScriptRun::~ScriptRun() {
    if (lua_)
        lua_close(lua_);
}

QString ScriptRun::name() const {
    return QFileInfo(path_).fileName();
}

void ScriptRun::load() {
    lua_ = luaL_newstate();
    if (!lua_)
        throw KrovanError("no memory for the script");
    luaL_openlibs(lua_);
    static const luaL_Reg functions[] = {
        {"send", ScriptApi::send},   {"write", ScriptApi::write},     {"bytes", ScriptApi::bytes},
        {"hex", ScriptApi::hex},     {"receive", ScriptApi::receive}, {"expect", ScriptApi::expect},
        {"sleep", ScriptApi::sleep}, {"now", ScriptApi::now},         {"log", ScriptApi::log},
        {"check", ScriptApi::check}, {"fail", ScriptApi::fail},       {"exit", ScriptApi::exit},
        {nullptr, nullptr}};
    lua_newtable(lua_);
    lua_pushlightuserdata(lua_, this);
    luaL_setfuncs(lua_, functions, 1);
    lua_setglobal(lua_, "krovan");
    // print goes where the front-end says; os.exit ends the script only.
    lua_pushlightuserdata(lua_, this);
    lua_pushcclosure(lua_, ScriptApi::print, 1);
    lua_setglobal(lua_, "print");
    lua_getglobal(lua_, "os");
    lua_pushlightuserdata(lua_, this);
    lua_pushcclosure(lua_, ScriptApi::exit, 1);
    lua_setfield(lua_, -2, "exit");
    lua_pop(lua_, 1);

    thread_ = lua_newthread(lua_);
    // Kept from the collector in the registry.
    luaL_ref(lua_, LUA_REGISTRYINDEX);
    const QByteArray file = QFile::encodeName(path_);
    if (luaL_loadfilex(thread_, file.constData(), "t") != LUA_OK) {
        const std::string message = lua_tostring(thread_, -1);
        lua_pop(thread_, 1);
        throw KrovanError(message);
    }
}

void ScriptRun::start() {
    running_ = true;
    clock_.start();
    lastcheck_ = 0;
    session_.note("Skript " + name() + " spuštěn");
    resume(0);
}

void ScriptRun::stop() {
    if (!running_)
        return;
    wait_ = Wait::None;
    finish();
}

void ScriptRun::resume(int arguments) {
    wait_ = Wait::None;
    timer_.stop();
    inside_ = true;
    int results = 0;
    const int status = lua_resume(thread_, lua_, arguments, &results);
    inside_ = false;
    if (!running_)
        return;
    if (status == LUA_YIELD) {
        lua_pop(thread_, results);
        // A bare coroutine.yield of the script's own goes on at once.
        if (wait_ == Wait::None) {
            wait_ = Wait::Sleep;
            timer_.start(0);
        } else if (!queue_.empty()) {
            wake_.start();
        }
        return;
    }
    if (status != LUA_OK && lua_touserdata(thread_, -1) != &endsentinel) {
        const char *message = lua_tostring(thread_, -1);
        error_ =
            message ? QString::fromUtf8(message) : QString("the script raised a non-text error");
        session_.errorline("CHYBA: " + error_);
        if (session_.report)
            session_.report(error_);
    }
    ended();
}

void ScriptRun::ended() {
    finish();
    emit finished();
}

void ScriptRun::finish() {
    running_ = false;
    timer_.stop();
    wake_.stop();
    session_.note(QString("Skript %1 skončil (kontrol: %2, selhalo: %3)")
                      .arg(name())
                      .arg(checks_.size())
                      .arg(failedchecks()));
}

void ScriptRun::arrived(const std::string &block) {
    if (!running_)
        return;
    if (queue_.size() >= queueLimit) {
        queue_.pop_front();
        if (!overflowed_)
            session_.note("Skript " + name() +
                          ": příliš mnoho nepřevzatých bloků, nejstarší se zahazují");
        overflowed_ = true;
    }
    queue_.push_back(block);
    // The script runs from the event loop, never inside the receive
    // processing that handed the block on.
    if (!inside_ && (wait_ == Wait::Receive || wait_ == Wait::Expect))
        wake_.start();
}

bool ScriptRun::serve() {
    if (!running_ || inside_)
        return false;
    if (wait_ == Wait::Receive && !queue_.empty()) {
        pushbytes(thread_, queue_.front());
        queue_.pop_front();
        resume(1);
        return true;
    }
    if (wait_ != Wait::Expect)
        return false;
    while (!queue_.empty()) {
        const std::string block = std::move(queue_.front());
        queue_.pop_front();
        if (!expression_->matches(block, bytespresent(block)))
            continue;
        const ByteExpression::Spans spans = expression_->spans();
        const int groups = std::min(expression_->groups(), static_cast<int>(spans.size()) - 1);
        pushbytes(thread_, block);
        for (int group = 1; group <= groups; ++group) {
            const auto [start, end] = spans[static_cast<size_t>(group)];
            if (start == std::string_view::npos)
                lua_pushnil(thread_);
            else
                pushbytes(thread_, std::string_view(block).substr(start, end - start));
        }
        resume(1 + groups);
        return true;
    }
    return false;
}

void ScriptRun::timedout() {
    if (!running_)
        return;
    if (wait_ == Wait::Sleep)
        return resume(0);
    // A block that came with the time-out still counts.
    if (serve())
        return;
    lua_pushnil(thread_);
    resume(1);
}

void ScriptRun::addcheck(const QString &name, bool passed, const QString &message) {
    const qint64 now = clock_.elapsed();
    checks_.push_back({name, passed, message, (now - lastcheck_) / 1000.0});
    lastcheck_ = now;
    if (!passed)
        session_.errorline("CHYBA: kontrola " + name + " selhala");
}

int ScriptRun::failedchecks() const {
    return static_cast<int>(
        std::count_if(checks_.begin(), checks_.end(), [](const Check &c) { return !c.passed; }));
}

int ScriptRun::status() const {
    if (exitcode_)
        return *exitcode_;
    return error_.isEmpty() && failedchecks() == 0 ? 0 : 1;
}
