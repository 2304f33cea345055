// The ICMP echo link on its own, to the own machine. The permission cases
// run in children that make a network namespace of their own (so the ping
// group range can be set there without touching this machine's) and then
// drop to the unprivileged user 65534.
#include "icmp_link.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <grp.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

#define SKIP_UNLESS_ROOT()                                                                         \
    if (geteuid() != 0)                                                                            \
    GTEST_SKIP() << "raw ICMP sockets and namespaces need root (CI runs as root)"

// A failed check in a child: says what failed and ends the child.
#define CHILD_CHECK(condition)                                                                     \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #condition);                   \
            _exit(1);                                                                              \
        }                                                                                          \
    } while (0)

// Runs the body in a child with its own network namespace (loopback up and
// the given ping group range), as user and group 65534.
int asnobody(const char *pinggroups, const std::function<void()> &body) {
    const pid_t child = fork();
    if (child == 0) {
        CHILD_CHECK(unshare(CLONE_NEWNET) == 0);
        const int fd = socket(AF_INET, SOCK_DGRAM, 0);
        ifreq request{};
        std::strcpy(request.ifr_name, "lo");
        CHILD_CHECK(ioctl(fd, SIOCGIFFLAGS, &request) == 0);
        request.ifr_flags |= IFF_UP;
        CHILD_CHECK(ioctl(fd, SIOCSIFFLAGS, &request) == 0);
        close(fd);
        {
            std::ofstream range("/proc/sys/net/ipv4/ping_group_range");
            range << pinggroups << '\n';
            range.close();
            CHILD_CHECK(range.good());
        }
        CHILD_CHECK(setgroups(0, nullptr) == 0);
        CHILD_CHECK(setgid(65534) == 0);
        CHILD_CHECK(setuid(65534) == 0);
        CHILD_CHECK(geteuid() == 65534);
        body();
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The echo of ABC from 127.0.0.1 as the reply notification sees it.
void expectabc(const icmp::Reply &reply, bool child) {
    const std::string data = icmp::replydata(reply);
    if (child) {
        CHILD_CHECK(reply.kind == icmp::Kind::Echo);
        CHILD_CHECK(reply.sender == "127.0.0.1");
        CHILD_CHECK(reply.sequence == 3489);
        CHILD_CHECK(reply.bytes == 72);
        CHILD_CHECK(reply.ttl > 0);
        CHILD_CHECK(data == "ABC" + std::string(29, 'E'));
        return;
    }
    EXPECT_EQ(reply.kind, icmp::Kind::Echo);
    EXPECT_EQ(reply.sender, "127.0.0.1");
    EXPECT_EQ(reply.sequence, 3489);
    EXPECT_EQ(reply.bytes, 72u);
    EXPECT_EQ(data, "ABC" + std::string(29, 'E'));
}

TEST(IcmpLink, AsRootTheEchoUsesARawSocket) {
    SKIP_UNLESS_ROOT();
    IcmpLink link;
    link.host = "127.0.0.1";
    std::vector<icmp::Reply> replies;
    link.onreply = [&](const icmp::Reply &reply) {
        EXPECT_EQ(link.sequence, 3490) << "advanced before the notification";
        replies.push_back(reply);
    };
    link.ping("ABC");
    ASSERT_EQ(replies.size(), 1u);
    expectabc(replies[0], false);
    EXPECT_EQ(link.lastsocket(), IcmpLink::Socket::Raw);
    EXPECT_EQ(link.sequence, 3490);
}

TEST(IcmpLink, AHostThatCannotBeResolvedFailsTheEchoAndKeepsTheNumber) {
    SKIP_UNLESS_ROOT();
    // In a namespace without network, so that no name query leaves the machine.
    EXPECT_EQ(asnobody("0 2147483647",
                       [] {
                           IcmpLink link;
                           link.host = "no-such-host.invalid";
                           bool notified = false;
                           link.onreply = [&](const icmp::Reply &) { notified = true; };
                           bool failed = false;
                           try {
                               link.ping("ABC");
                           } catch (const KrovanError &error) {
                               failed = std::strstr(error.what(), "no-such-host.invalid");
                           }
                           CHILD_CHECK(failed);
                           CHILD_CHECK(!notified);
                           CHILD_CHECK(link.sequence == 3489);
                       }),
              0);
}

TEST(IcmpLink, WithoutRawSocketsTheDatagramSocketCarriesTheEcho) {
    SKIP_UNLESS_ROOT();
    EXPECT_EQ(asnobody("65534 65534",
                       [] {
                           IcmpLink link;
                           link.host = "127.0.0.1";
                           int notified = 0;
                           link.onreply = [&](const icmp::Reply &reply) {
                               ++notified;
                               expectabc(reply, true);
                           };
                           link.ping("ABC");
                           CHILD_CHECK(notified == 1);
                           CHILD_CHECK(link.lastsocket() == IcmpLink::Socket::Datagram);
                           CHILD_CHECK(link.sequence == 3490);
                           // The next echo is matched by its own number.
                           link.onreply = [&](const icmp::Reply &reply) {
                               ++notified;
                               CHILD_CHECK(reply.sequence == 3490);
                               CHILD_CHECK(icmp::replydata(reply) == std::string(32, 'x'));
                           };
                           link.ping(std::string(40, 'x'));
                           CHILD_CHECK(notified == 2);
                       }),
              0);
}

TEST(IcmpLink, WhenBothSocketsAreRefusedTheEchoFailsNamingWhatAllowsIt) {
    SKIP_UNLESS_ROOT();
    EXPECT_EQ(asnobody("1 0",
                       [] {
                           IcmpLink link;
                           link.host = "127.0.0.1";
                           bool notified = false;
                           link.onreply = [&](const icmp::Reply &) { notified = true; };
                           std::string message;
                           try {
                               link.ping("ABC");
                           } catch (const IcmpPermissionError &error) {
                               message = error.what();
                           }
                           CHILD_CHECK(message.find("CAP_NET_RAW") != std::string::npos);
                           CHILD_CHECK(message.find("net.ipv4.ping_group_range (now 1 0)") !=
                                       std::string::npos);
                           CHILD_CHECK(!notified);
                           CHILD_CHECK(link.sequence == 3489);
                       }),
              0);
}

} // namespace
