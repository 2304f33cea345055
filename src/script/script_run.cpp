#include "script_run.h"

#include "block_text.h"
#include "byte_expression.h"
#include "data_template.h"
#include "errors.h"
#include "session.h"

#include <QFile>
#include <QFileInfo>

#include <lua.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Raised through Lua to end the script where it cannot pause (inside a C
// function); told apart from an error by its address.
char endsentinel;
// Yielded to the program for a wait or the end, and passed out of the
// script's own coroutines on the way.
char pausesentinel;

// The run a Lua thread belongs to, in the space every thread of the state
// copies from the first.
ScriptRun *&owner(lua_State *lua) {
    return *static_cast<ScriptRun **>(lua_getextraspace(lua));
}

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

void pushtext(lua_State *lua, const QString &text) {
    const QByteArray utf8 = text.toUtf8();
    lua_pushlstring(lua, utf8.constData(), static_cast<size_t>(utf8.size()));
}

// The API's argument checks name the function as the script calls it
// ("krovan.send"): Lua's own name a function that no loaded module holds
// '?'.
int argerror(lua_State *lua, int arg, const char *function, const char *expected) {
    return luaL_error(lua, "bad argument #%d to '%s' (%s expected, got %s)", arg, function,
                      expected, luaL_typename(lua, arg));
}

std::string_view bytesarg(lua_State *lua, int arg, const char *function) {
    size_t size = 0;
    const char *bytes = lua_isstring(lua, arg) ? lua_tolstring(lua, arg, &size) : nullptr;
    if (!bytes)
        argerror(lua, arg, function, "string");
    return {bytes, size};
}

lua_Integer integerarg(lua_State *lua, int arg, const char *function) {
    int isinteger = 0;
    const lua_Integer value = lua_tointegerx(lua, arg, &isinteger);
    if (!isinteger)
        argerror(lua, arg, function, lua_isnumber(lua, arg) ? "integer" : "number");
    return value;
}

int milliseconds(lua_State *lua, int arg, const char *function) {
    const lua_Integer ms = lua_isnoneornil(lua, arg) ? 0 : integerarg(lua, arg, function);
    return static_cast<int>(std::clamp<lua_Integer>(ms, 0, 24 * 3600 * 1000));
}

// Runs `body`, which pushes its results and says how many; a C++ failure in
// it is raised as the script's error, with where the script called from,
// once the body's objects are gone (a Lua error leaves the frame without
// running destructors).
template <class Body> int guarded(lua_State *lua, Body &&body) {
    int results = 0;
    bool failed = false;
    try {
        results = body();
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

// A send's outcome as the script gets it: true, or nil and the reason.
int sendresult(lua_State *lua, const QString &failure) {
    if (failure.isEmpty()) {
        lua_pushboolean(lua, 1);
        return 1;
    }
    lua_pushnil(lua);
    pushtext(lua, failure);
    return 2;
}

// The coroutine library's resume and wrap, given the program's pause, a
// function that tells (once) whether a coroutine was paused by the slice's
// hook, and one that forgets a wait that could not be passed out.
constexpr const char *passingcoroutines = R"(
local pause, sliced, unwait = ...
local create, resume, yield = coroutine.create, coroutine.resume, coroutine.yield
local status, isyieldable = coroutine.status, coroutine.isyieldable
local pack, unpack, select, type, error = table.pack, table.unpack, select, type, error
local function passed(co, ok, ...)
  if ok and status(co) == "suspended" then
    local waits = ... == pause
    if waits or (select("#", ...) == 0 and sliced()) then
      if isyieldable() then
        return passed(co, resume(co, yield(pause)))
      end
      if not waits then
        return passed(co, resume(co))
      end
      unwait()
      return false, "krovan cannot wait in a coroutine resumed from inside a C function"
    end
  end
  return ok, ...
end
local function passingresume(co, ...)
  return passed(co, resume(co, ...))
end
coroutine.resume = passingresume
coroutine.wrap = function(f)
  local co = create(f)
  return function(...)
    local results = pack(passingresume(co, ...))
    if results[1] then
      return unpack(results, 2, results.n)
    end
    if type(results[2]) == "string" then
      error(results[2], 2)
    end
    error(results[2], 0)
  end
end
)";

} // namespace

// The functions of the table `krovan`; each finds its run in its upvalue.
// No C++ object with a destructor may be alive in a frame that a Lua error
// or yield leaves: they live inside guarded() or in inner scopes.
struct ScriptApi {
    static ScriptRun &run(lua_State *lua) {
        return *static_cast<ScriptRun *>(lua_touserdata(lua, lua_upvalueindex(1)));
    }

    static int send(lua_State *lua) {
        const lua_Integer n = integerarg(lua, 1, "krovan.send");
        return guarded(lua, [&] {
            Session &session = run(lua).session_;
            if (n < 1 || n > static_cast<lua_Integer>(session.setup.macros.size()))
                throw KrovanError("the set-up has no macro row " + std::to_string(n));
            return sendresult(lua, session.send(static_cast<int>(n)));
        });
    }

    static int write(lua_State *lua) {
        const std::string_view bytes = bytesarg(lua, 1, "krovan.write");
        return guarded(
            lua, [&] { return sendresult(lua, run(lua).session_.sendblock(std::string(bytes))); });
    }

    // Checksums and their markers are worked out as a macro's are; the
    // counter and what arrived give nothing: there is no row and no block.
    static int bytes(lua_State *lua) {
        const std::string_view typed = bytesarg(lua, 1, "krovan.bytes");
        return guarded(lua, [&] {
            pushbytes(lua, DataTemplate(typed, false).bytes(std::nullopt, nullptr));
            return 1;
        });
    }

    static int checksum(lua_State *lua) {
        const std::string_view name = bytesarg(lua, 1, "krovan.checksum");
        const std::string_view block = bytesarg(lua, 2, "krovan.checksum");
        return guarded(lua, [&] {
            pushbytes(lua, DataTemplate::checksum(name, block));
            return 1;
        });
    }

    static int hex(lua_State *lua) {
        const std::string_view block = bytesarg(lua, 1, "krovan.hex");
        {
            const std::string text = hextext(block);
            pushbytes(lua, std::string_view(text).substr(text.empty() ? 0 : 1));
        }
        return 1;
    }

    // Yields to the program, out of the script's own coroutines too.
    static int pause(lua_State *lua) {
        lua_pushlightuserdata(lua, &pausesentinel);
        return lua_yield(lua, 1);
    }

    // Yields until the run resumes the script with what it waited for, or
    // at the time-out.
    static int wait(lua_State *lua, ScriptRun::Wait what, int ms, const char *function) {
        if (!lua_isyieldable(lua))
            return luaL_error(lua, "%s cannot wait inside a C function", function);
        ScriptRun &self = run(lua);
        self.wait_ = what;
        self.timer_.start(ms);
        return pause(lua);
    }

    static int receive(lua_State *lua) {
        const int ms = milliseconds(lua, 1, "krovan.receive");
        return wait(lua, ScriptRun::Wait::Receive, ms, "krovan.receive");
    }

    static int expect(lua_State *lua) {
        const std::string_view pattern = bytesarg(lua, 1, "krovan.expect");
        const int ms = milliseconds(lua, 2, "krovan.expect");
        guarded(lua, [&] {
            auto expression = std::make_unique<ByteExpression>();
            if (const std::string problem = expression->compile(pattern); !problem.empty())
                throw KrovanError(problem);
            run(lua).expression_ = std::move(expression);
            return 0;
        });
        return wait(lua, ScriptRun::Wait::Expect, ms, "krovan.expect");
    }

    static int sleep(lua_State *lua) {
        const int ms = milliseconds(lua, 1, "krovan.sleep");
        return wait(lua, ScriptRun::Wait::Sleep, ms, "krovan.sleep");
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

    // The end is a pause the program never resumes; where the script cannot
    // pause, an error that the slice's hook raises again until it can.
    static int end(lua_State *lua) {
        run(lua).ending_ = true;
        if (lua_isyieldable(lua))
            return pause(lua);
        lua_pushlightuserdata(lua, &endsentinel);
        return lua_error(lua);
    }

    static int fail(lua_State *lua) {
        {
            const QString message = text(lua, 1);
            run(lua).addcheck(message, false, message);
        }
        return end(lua);
    }

    static int exit(lua_State *lua) {
        ScriptRun &self = run(lua);
        if (lua_isboolean(lua, 1))
            self.exitcode_ = lua_toboolean(lua, 1) ? 0 : 1;
        else if (!lua_isnoneornil(lua, 1))
            self.exitcode_ = static_cast<int>(integerarg(lua, 1, "krovan.exit"));
        return end(lua);
    }

    static int sliced(lua_State *lua) {
        ScriptRun &self = run(lua);
        lua_pushboolean(lua, self.sliced_);
        self.sliced_ = false;
        return 1;
    }

    static int unwait(lua_State *lua) {
        ScriptRun &self = run(lua);
        self.wait_ = ScriptRun::Wait::None;
        self.timer_.stop();
        return 0;
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

// Lua's allocator, held to the limit: a request past it fails as when the
// machine has no more, and the script ends with "not enough memory".
void *ScriptRun::allocate(void *self, void *block, size_t oldsize, size_t newsize) {
    ScriptRun &run = *static_cast<ScriptRun *>(self);
    // Without a block, the old size names the kind of object to make.
    const size_t old = block ? oldsize : 0;
    if (newsize == 0) {
        std::free(block);
        run.memory_ -= old;
        return nullptr;
    }
    if (newsize > old && newsize - old > run.memorylimit - std::min(run.memory_, run.memorylimit))
        return nullptr;
    void *moved = std::realloc(block, newsize);
    if (moved)
        run.memory_ = run.memory_ - old + newsize;
    return moved;
}

// The count hook: past the slice the script pauses for the event loop (the
// run goes on with it at once); once it is ending, it pauses for good.
void ScriptRun::slice(lua_State *lua, lua_Debug *) {
    ScriptRun &self = *owner(lua);
    const bool due = self.ending_ || self.slicestart_.nsecsElapsed() >= sliceNanoseconds;
    if (!due)
        return;
    if (lua_isyieldable(lua)) {
        self.sliced_ = true;
        return static_cast<void>(lua_yield(lua, 0));
    }
    if (self.ending_) {
        lua_pushlightuserdata(lua, &endsentinel);
        lua_error(lua);
    }
}

void ScriptRun::load() {
    lua_ = lua_newstate(allocate, this);
    if (!lua_) {
        error_ = "not enough memory";
        throw KrovanError(error_.toStdString());
    }
    lua_atpanic(lua_, [](lua_State *lua) {
        std::fprintf(stderr, "krovan: the script's state failed: %s\n", lua_tostring(lua, -1));
        std::abort();
        return 0;
    });
    owner(lua_) = this;
    luaL_openlibs(lua_);
    static const luaL_Reg functions[] = {
        {"send", ScriptApi::send},     {"write", ScriptApi::write},
        {"bytes", ScriptApi::bytes},   {"checksum", ScriptApi::checksum},
        {"hex", ScriptApi::hex},       {"receive", ScriptApi::receive},
        {"expect", ScriptApi::expect}, {"sleep", ScriptApi::sleep},
        {"now", ScriptApi::now},       {"log", ScriptApi::log},
        {"check", ScriptApi::check},   {"fail", ScriptApi::fail},
        {"exit", ScriptApi::exit},     {nullptr, nullptr}};
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
    // The slices need the hook: the script may not take it away.
    lua_getglobal(lua_, "debug");
    lua_pushnil(lua_);
    lua_setfield(lua_, -2, "sethook");
    lua_pop(lua_, 1);
    passpauses();

    thread_ = lua_newthread(lua_);
    // Kept from the collector in the registry.
    luaL_ref(lua_, LUA_REGISTRYINDEX);
    // Every coroutine the script makes takes the hook from its maker.
    lua_sethook(thread_, slice, LUA_MASKCOUNT, 1000);
    const QByteArray file = QFile::encodeName(path_);
    if (luaL_loadfilex(thread_, file.constData(), "t") != LUA_OK) {
        const char *message = lua_tostring(thread_, -1);
        error_ = QString::fromUtf8(message ? message : "the script does not load");
        lua_pop(thread_, 1);
        throw KrovanError(error_.toStdString());
    }
}

void ScriptRun::passpauses() {
    if (luaL_loadbufferx(lua_, passingcoroutines, std::strlen(passingcoroutines), "=krovan", "t") !=
        LUA_OK)
        throw KrovanError(lua_tostring(lua_, -1));
    lua_pushlightuserdata(lua_, &pausesentinel);
    lua_pushlightuserdata(lua_, this);
    lua_pushcclosure(lua_, ScriptApi::sliced, 1);
    lua_pushlightuserdata(lua_, this);
    lua_pushcclosure(lua_, ScriptApi::unwait, 1);
    if (lua_pcall(lua_, 3, 0, 0) != LUA_OK)
        throw KrovanError(lua_tostring(lua_, -1));
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
    if (error_.isEmpty())
        error_ = stoppedMessage;
    wait_ = Wait::None;
    finish();
}

void ScriptRun::abandon(const QString &reason) {
    if (error_.isEmpty())
        error_ = reason;
}

double ScriptRun::seconds() const {
    if (ranfor_ >= 0)
        return static_cast<double>(ranfor_) / 1000;
    return clock_.isValid() ? static_cast<double>(clock_.elapsed()) / 1000 : 0.0;
}

void ScriptRun::resume(int arguments) {
    wait_ = Wait::None;
    timer_.stop();
    inside_ = true;
    sliced_ = false;
    slicestart_.start();
    int results = 0;
    const int status = lua_resume(thread_, lua_, arguments, &results);
    inside_ = false;
    if (!running_)
        return;
    if (status == LUA_YIELD) {
        lua_pop(thread_, results);
        sliced_ = false;
        if (ending_)
            return ended();
        // A slice, or a bare coroutine.yield of the script's own, goes on
        // after the event loop's turn.
        if (wait_ == Wait::None) {
            wait_ = Wait::Sleep;
            timer_.start(0);
        } else if (!queue_.empty()) {
            wake_.start();
        }
        return;
    }
    // An error raised after the end (the end itself, where it could not
    // pause) is no error of the script's.
    if (status != LUA_OK && !ending_) {
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
    ranfor_ = clock_.elapsed();
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
