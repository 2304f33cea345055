#pragma once

// Runs a check as an ordinary user, so that permission cases mean the same
// for root (as in CI) as for anybody else: a forked child drops to the
// unprivileged user 65534 when it is root, runs `body` and hands back its
// text. The parent gets that text, or a note of how the child failed.

#include <functional>
#include <string>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

inline std::string asunprivileged(const std::function<std::string()> &body) {
    int out[2];
    if (::pipe(out) != 0)
        return "<no pipe>";
    const pid_t child = ::fork();
    if (child < 0)
        return "<no fork>";
    if (child == 0) {
        ::close(out[0]);
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        const std::string result = body();
        const ssize_t written = ::write(out[1], result.data(), result.size());
        ::_exit(written == static_cast<ssize_t>(result.size()) ? 0 : 4);
    }
    ::close(out[1]);
    std::string result;
    char buffer[4096];
    for (ssize_t got; (got = ::read(out[0], buffer, sizeof buffer)) > 0;)
        result.append(buffer, static_cast<std::size_t>(got));
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "<child failed with status " + std::to_string(status) + ">";
    return result;
}
