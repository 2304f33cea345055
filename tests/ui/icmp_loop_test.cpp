// The ICMP echo link through the real windows: echoes to the own machine
// on real raw sockets, and a host that does not answer inside a network
// namespace the test makes, so that nothing leaves this machine.
#include "forms_fixture.h"

#include "filter_list_window.h"
#include "filter_row.h"
#include "icmp_echo.h"
#include "log_seam.h"
#include "log_view.h"
#include "macro_list_window.h"
#include "macro_row.h"
#include "received_window.h"
#include "states_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const LineStyle black{QColor(0, 0, 0), "MS Sans Serif"};
const QString echoed = "ABC" + QString(29, 'E');

bool isroot() {
    return geteuid() == 0;
}

#define SKIP_UNLESS_ROOT()                                                                         \
    if (!isroot())                                                                                 \
    GTEST_SKIP() << "raw ICMP sockets need root (CI runs as root)"

std::uint32_t tickcount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                      static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
}

std::uint16_t at16(const std::string &bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[at]) |
                                      static_cast<std::uint8_t>(bytes[at + 1]) << 8);
}

// A raw ICMP socket of the test's own: it sees every ICMP packet of the
// network namespace it was made in, and can send forged ones.
class RawSocket {
public:
    RawSocket() : fd_(socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK, IPPROTO_ICMP)) {}
    ~RawSocket() {
        if (fd_ >= 0)
            close(fd_);
    }
    bool ok() const { return fd_ >= 0; }

    // Every packet received so far, IP header included.
    std::vector<std::string> drain() {
        std::vector<std::string> got;
        char buffer[2048];
        for (ssize_t n; (n = recv(fd_, buffer, sizeof buffer, 0)) >= 0;)
            got.emplace_back(buffer, static_cast<std::size_t>(n));
        return got;
    }

    void sendto127(const std::string &message) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::sendto(fd_, message.data(), message.size(), 0, reinterpret_cast<sockaddr *>(&to),
                 sizeof to);
    }

private:
    int fd_;
};

class IcmpLoop : public FormsTest {
protected:
    void SetUp() override {
        FormsTest::SetUp();
        start();
        Form1->ComboBox_pripojeni->setCurrentIndex(4);
        Form1->ComboBox_pripojeniChange();
        Form1->Edit_icmp_a->setText("127.0.0.1");
    }

    static TFrame_tx *macro(int n) { return Form_TX->tx_frames[n]; }

    static void setmacro(int n, const QString &name, const QString &data) {
        while (Form_TX->tx_count < n)
            Form_TX->Button_new_tx->click();
        macro(n)->Edit_popis->setText(name);
        macro(n)->Edit_data->setText(data);
    }

    static std::vector<LogLine> mix() { return seam::lines(Form_RX_TX->RichEdit_mix); }
    static QStringList mixtexts() {
        QStringList texts;
        for (const LogLine &line : mix())
            texts << line.text;
        return texts;
    }
    static int count(const QString &prefix) {
        int n = 0;
        for (const QString &text : mixtexts())
            n += text.startsWith(prefix);
        return n;
    }
    static void send(int n = 1) { macro(n)->Button_send->click(); }
};

TEST_F(IcmpLoop, SwitchingOnAndOffSetsRecordsCaptionsAndTitle) {
    Form_RX_TX->CheckBox_stavy->setChecked(true);
    Form1->Button_ICMP_On->click();
    EXPECT_TRUE(Form1->session.isopen(LinkKind::Icmp));
    EXPECT_EQ(Form1->activelink(), LinkKind::Icmp);
    EXPECT_EQ(Form1->Button_ICMP_On->text(), "Vypnout");
    EXPECT_EQ(Form1->windowTitle(), "Krovan 0.6 -  ICMP připojen");
    EXPECT_FALSE(Form1->ComboBox_pripojeni->isEnabled());
    EXPECT_TRUE(Form1->Edit_icmp_a->isEnabled());
    EXPECT_EQ(mixtexts(), QStringList{"ICMP aktivní"});

    Form1->Button_ICMP_On->click();
    EXPECT_FALSE(Form1->session.isopen(LinkKind::Icmp));
    EXPECT_EQ(Form1->activelink(), LinkKind::None);
    EXPECT_EQ(Form1->Button_ICMP_On->text(), "Zapnout");
    EXPECT_EQ(Form1->windowTitle(), "Krovan 0.6 -  odpojen");
    EXPECT_TRUE(Form1->ComboBox_pripojeni->isEnabled());
    EXPECT_EQ(mixtexts(), (QStringList{"ICMP aktivní", "ICMP odpojen"}));

    // Another kind's button switches ICMP off first; with UDP selected the
    // ICMP records are not written.
    Form1->Button_ICMP_On->click();
    Form1->ComboBox_pripojeni->setCurrentIndex(3);
    Form1->Button_UDP_On->click();
    EXPECT_FALSE(Form1->session.isopen(LinkKind::Icmp));
    EXPECT_EQ(Form1->Button_ICMP_On->text(), "Zapnout");
    Form1->session.close(LinkKind::Udp);
    EXPECT_EQ(mixtexts(), (QStringList{"ICMP aktivní", "ICMP odpojen", "ICMP aktivní",
                                       "UDP server připojen", "UDP server odpojen"}));
}

TEST_F(IcmpLoop, AnEchoOfTheOwnMachineComesBackInsideTheSend) {
    SKIP_UNLESS_ROOT();
    Form_RX_TX->CheckBox_rx->setChecked(true);
    Form_RX_TX->CheckBox_tx->setChecked(true);
    Form_RX_TX->CheckBox_adr->setChecked(true);
    setmacro(1, "m", "ABC");
    Form1->Button_ICMP_On->click();
    send();

    // The block is processed before the click returns.
    EXPECT_EQ(mixtexts(),
              (QStringList{"Odeslal data na: 127.0.0.1 :", "  ABC",
                           "Přijal data z: ICMP 127.0.0.1 - 32bajtů :", "  " + echoed}));
    EXPECT_EQ(seam::plaintext(Form_rxw->RichEdit_rx).count(echoed), 1);
    EXPECT_TRUE(fakeDialogs().errors.isEmpty());
}

TEST_F(IcmpLoop, RequestsOnTheWireCarryTheLayoutAndConsecutiveNumbers) {
    SKIP_UNLESS_ROOT();
    RawSocket wire;
    ASSERT_TRUE(wire.ok());
    const QString forty = "0123456789abcdefghijklmnopqrstuvwxyzWXYZ";
    setmacro(1, "m", forty);
    Form1->Button_ICMP_On->click();
    const std::uint32_t before = tickcount();
    send();
    Form1->Button_ICMP_On->click(); // off and on again: the numbers run on
    Form1->Button_ICMP_On->click();
    send();
    const std::uint32_t after = tickcount();

    const std::uint16_t identifier = getpid() & 0xffff;
    std::vector<std::string> requests;
    for (const std::string &packet : wire.drain()) {
        const std::string message = packet.substr(20);
        if (message.size() >= 8 && message[0] == 8 && at16(message, 4) == identifier)
            requests.push_back(packet);
    }
    ASSERT_EQ(requests.size(), 2u);
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const std::string &packet = requests[i];
        EXPECT_EQ(static_cast<std::uint8_t>(packet[8]), 128) << "time-to-live";
        const std::string message = packet.substr(20);
        ASSERT_EQ(message.size(), 52u);
        EXPECT_EQ(message[1], 0);
        EXPECT_EQ(icmp::checksum(message), 0) << "valid checksum";
        EXPECT_EQ(at16(message, 6), 3489 + i);
        const std::uint32_t stamp = at16(message, 8) | std::uint32_t(at16(message, 10)) << 16;
        EXPECT_LE(stamp - before, after - before) << "tick count when built";
        EXPECT_EQ(message.substr(12, 8), std::string(8, '\0'));
        EXPECT_EQ(message.substr(20), forty.left(32).toStdString());
    }
    EXPECT_EQ(Form1->session.linkas<IcmpLink>(LinkKind::Icmp).sequence, 3491);
}

TEST_F(IcmpLoop, AReplyThatAnswersItselfStopsAtSixteenNestedSends) {
    SKIP_UNLESS_ROOT();
    Form_RX_TX->CheckBox_rx->setChecked(true);
    Form_RX_TX->CheckBox_tx->setChecked(true);
    setmacro(1, "ping", "ABC");
    Form_RX_filtr->filtr_frames[1]->Edit_filtr->setText("ABC");
    Form_RX_filtr->filtr_frames[1]->ComboBox_filtr_macro->setEditText("ping");
    Form_RX_filtr->filtr_frames[1]->CheckBox_filtr_active->setChecked(true);
    Form1->Button_ICMP_On->click();
    send();

    EXPECT_EQ(count("Odeslal data"), 17);
    EXPECT_EQ(count("Přijal data"), 16);
    ASSERT_FALSE(mix().empty());
    EXPECT_EQ(mix().back().text, "CHYBA: Nepovedlo se odeslat.");
    EXPECT_EQ(mix().back().style, black);
    EXPECT_EQ(count("CHYBA"), 1);

    // The chain has unwound: the next send is a single echo again.
    Form_RX_filtr->filtr_frames[1]->CheckBox_filtr_active->setChecked(false);
    send();
    EXPECT_EQ(count("Odeslal data"), 18);
    EXPECT_EQ(count("Přijal data"), 17);
    EXPECT_EQ(count("CHYBA"), 1);
    EXPECT_TRUE(fakeDialogs().errors.isEmpty());
}

TEST_F(IcmpLoop, WithoutAnyIcmpSocketEveryEchoFailsAndOneBoxSaysWhy) {
    SKIP_UNLESS_ROOT();
    Form1->Button_ICMP_On->click();
    // A child of this process, with its own network namespace where no
    // group may use ICMP datagram sockets, as the unprivileged user.
    const pid_t child = fork();
    if (child == 0) {
        auto check = [](bool condition, int code) {
            if (!condition)
                _exit(code);
        };
        check(unshare(CLONE_NEWNET) == 0, 10);
        FILE *range = std::fopen("/proc/sys/net/ipv4/ping_group_range", "w");
        check(range && std::fputs("1 0\n", range) >= 0 && std::fclose(range) == 0, 11);
        check(setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0, 12);
        send();
        send();
        check(count("CHYBA: Nepovedlo se odeslat.") == 2, 13);
        check(count("CHYBA") == 2, 14);
        check(fakeDialogs().errors.size() == 1, 15);
        check(fakeDialogs().errors.value(0).contains("CAP_NET_RAW"), 16);
        check(fakeDialogs().errors.value(0).contains("net.ipv4.ping_group_range"), 17);
        check(Form1->session.linkas<IcmpLink>(LinkKind::Icmp).sequence == 3489, 18);
        _exit(0);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the child's check that failed";
}

// A network namespace of the test's own thread: the loopback interface and
// a veth pair whose far end answers nothing, so 10.213.0.2 is a host that
// never replies. The namespace goes away with the fixture.
class IcmpSandbox : public IcmpLoop {
protected:
    int home = -1;
    std::thread forger;

    void SetUp() override {
        if (!isroot())
            GTEST_SKIP() << "a network namespace needs root (CI runs as root)";
        IcmpLoop::SetUp();
        home = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        ASSERT_GE(home, 0);
        ASSERT_EQ(unshare(CLONE_NEWNET), 0) << std::strerror(errno);
        ASSERT_EQ(std::system("ip link set lo up && ip link add v0 type veth peer name v1 && "
                              "ip addr add 10.213.0.1/24 dev v0 && ip link set v0 up && "
                              "ip link set v1 up && ip neigh replace 10.213.0.2 "
                              "lladdr 02:00:00:00:00:02 dev v0 nud permanent"),
                  0);
        Form1->Edit_icmp_a->setText("10.213.0.2");
        Form1->Button_ICMP_On->click();
    }

    void TearDown() override {
        if (forger.joinable())
            forger.join();
        if (home >= 0) {
            setns(home, CLONE_NEWNET);
            close(home);
        }
        if (isroot())
            IcmpLoop::TearDown();
    }

    // Sends these ICMP messages to the program from 127.0.0.1 once its echo
    // is under way (threads made now live in the namespace too).
    void forge(std::vector<std::string> messages) {
        if (forger.joinable())
            forger.join();
        forger = std::thread([messages = std::move(messages)] {
            RawSocket socket;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            for (const std::string &message : messages)
                socket.sendto127(message);
        });
    }

    static std::string withchecksum(std::string message) {
        message[2] = message[3] = 0;
        const std::uint16_t sum = icmp::checksum(message);
        message[2] = static_cast<char>(sum & 0xff);
        message[3] = static_cast<char>(sum >> 8);
        return message;
    }
    static std::string reply(std::uint16_t identifier, std::uint16_t sequence,
                             const std::string &data) {
        std::string message = icmp::echoblock(identifier, sequence, 0, data);
        message[0] = 0;
        return withchecksum(message);
    }
    // An error of that type quoting the program's request.
    static std::string quoting(int type, std::uint16_t sequence) {
        std::string message(8, '\0');
        message[0] = static_cast<char>(type);
        std::string quoted(20, '\0');
        quoted[0] = 0x45;
        return withchecksum(message + quoted +
                            icmp::echoblock(getpid() & 0xffff, sequence, 0, "").substr(0, 8));
    }
    static std::uint16_t own() { return getpid() & 0xffff; }
};

TEST_F(IcmpSandbox, AHostThatDoesNotAnswerTimesOutAfterFiveSeconds) {
    Form_RX_TX->CheckBox_stavy->setChecked(false);
    // A late reply to an earlier echo and another program's reply do not end the wait.
    forge({reply(own(), 3488, "late"), reply(own() ^ 1, 3489, "other")});
    QElapsedTimer clock;
    clock.start();
    send();
    const qint64 waited = clock.elapsed();
    EXPECT_GE(waited, 4900);
    EXPECT_LT(waited, 6500);
    ASSERT_EQ(mix().size(), 1u) << mixtexts().join("|").toStdString();
    EXPECT_EQ(mix()[0].text, "CHYBA - nepřišla odpověď.");
    EXPECT_EQ(mix()[0].style.colour, QColor(0, 0, 0));
    EXPECT_TRUE(seam::plaintext(Form_rxw->RichEdit_rx).isEmpty());
    EXPECT_EQ(Form1->session.linkas<IcmpLink>(LinkKind::Icmp).sequence, 3490)
        << "a time-out counts as a reply";
}

TEST_F(IcmpSandbox, TheAnswerIsPickedOutOfOtherTrafficAndErrorsAreReported) {
    Form_RX_TX->CheckBox_rx->setChecked(true);
    Form_RX_TX->CheckBox_adr->setChecked(true);
    forge({reply(own(), 3488, "late"), reply(own() ^ 1, 3489, "other"), reply(own(), 3489, "XYZ")});
    QElapsedTimer clock;
    clock.start();
    send();
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(mixtexts(), (QStringList{"Přijal data z: ICMP 127.0.0.1 - 32bajtů :",
                                       "  XYZ" + QString(29, 'E')}));

    // An unreachable destination quoting the request ends the echo at once.
    forge({quoting(3, 3489), quoting(3, 3490)});
    clock.restart();
    send();
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(mixtexts().value(2), "CHYBA - nepřišla odpověď.");
    EXPECT_EQ(Form1->session.linkas<IcmpLink>(LinkKind::Icmp).sequence, 3491);

    // A message that is no echo fails the send, keeping the number.
    std::string timestamp(20, '\0');
    timestamp[0] = 13;
    forge({withchecksum(timestamp)});
    send();
    EXPECT_EQ(mixtexts().value(3), "CHYBA: Nepovedlo se odeslat.");
    EXPECT_EQ(mixtexts().size(), 4);
    EXPECT_EQ(Form1->session.linkas<IcmpLink>(LinkKind::Icmp).sequence, 3491);
}

} // namespace
