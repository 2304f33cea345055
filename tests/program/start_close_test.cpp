// The real executable, started as a user starts it: it loads default.ini
// from its own folder at the first activation and writes it at the close
// that SIGTERM or SIGINT asks for.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

namespace {

class Program : public ::testing::TestWithParam<int> {
protected:
    QTemporaryDir dir;
    QString inifile() const { return dir.filePath("default.ini"); }

    // A copy of the executable in a folder of its own, which is where it
    // looks for its settings.
    QString install() {
        const QString copy = dir.filePath("krovan");
        EXPECT_TRUE(QFile::copy(KROVAN_EXECUTABLE, copy));
        return copy;
    }

    QByteArray readini() const {
        QFile in(inifile());
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }
};

TEST_P(Program, LoadsItsSettingsAndSavesThemWhenAskedToStop) {
    const QString executable = install();
    {
        QFile out(inifile());
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("[Form_main]\nconnection=3\n[Form_TX]\nTX_framecount=3\n"
                  "[Frame_TX_2]\ndescribe=from the file\n");
    }
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(dir.path());
    program.start(executable, {});
    ASSERT_TRUE(program.waitForStarted(10000));
    // Time to come up and load; the close then saves only a loaded set-up.
    ASSERT_FALSE(program.waitForFinished(3000)) << program.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(program.processId()), GetParam());
    ASSERT_TRUE(program.waitForFinished(15000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);

    // What the close wrote shows what the start loaded.
    const QByteArray saved = readini();
    EXPECT_TRUE(saved.contains("connection=3")) << saved.toStdString();
    EXPECT_TRUE(saved.contains("TX_framecount=3"));
    EXPECT_TRUE(saved.contains("describe=from the file"));
    EXPECT_TRUE(saved.contains("describe=tx_3"));
    EXPECT_TRUE(saved.contains("[Form_RX_filtr]"));
}

INSTANTIATE_TEST_SUITE_P(Signals, Program, ::testing::Values(SIGTERM, SIGINT),
                         [](const auto &info) {
                             return info.param == SIGTERM ? "SIGTERM" : "SIGINT";
                         });

// Whether the process has installed its handler for SIGTERM.
bool catchessigterm(qint64 pid) {
    QFile status(QString("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) & (1u << (SIGTERM - 1))) != 0;
    return false;
}

TEST_P(Program, EndsOnASignalAtAnyMomentOfItsStart) {
    const QString executable = install();
    // Right after the handler is installed, then later and later: before,
    // during and after the first activation that loads the settings.
    for (int delayms : {0, 0, 1, 2, 5, 10, 20, 40, 80, 160, 320, 640}) {
        QFile::remove(inifile());
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(environment);
        program.start(executable, {});
        ASSERT_TRUE(program.waitForStarted(10000));
        QElapsedTimer clock;
        clock.start();
        while (!catchessigterm(program.processId()) && clock.elapsed() < 20000)
            ::usleep(200);
        ASSERT_TRUE(catchessigterm(program.processId()));
        ::usleep(static_cast<useconds_t>(delayms) * 1000);
        ::kill(static_cast<pid_t>(program.processId()), GetParam());
        const bool ended = program.waitForFinished(5000);
        if (!ended)
            program.kill();
        ASSERT_TRUE(ended) << "still running after a signal " << delayms << " ms after start";
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
        // Saved only when it had loaded, then whole.
        const QByteArray saved = readini();
        if (!saved.isEmpty()) {
            EXPECT_TRUE(saved.contains("[Frame_filtr_1]")) << saved.toStdString();
        }
    }
}

TEST_P(Program, ASignalEndsItEvenWhenTheSettingsCannotBeSaved) {
    const QString executable = install();
    // The settings sit in a folder the program's user cannot write; as root
    // the program runs as the unprivileged user 65534 to make it so.
    const QString folder = dir.filePath("cfg/krovan");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString file = folder + "/default.ini";
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("[Form_main]\nconnection=3\n");
    }
    QFile::setPermissions(file,
                          QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    const auto openfolder = QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                            QFileDevice::ReadGroup | QFileDevice::ExeGroup |
                            QFileDevice::ReadOther | QFileDevice::ExeOther;
    for (const QString &path : {dir.path(), dir.filePath("cfg"), folder})
        QFile::setPermissions(path, openfolder);

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_CONFIG_HOME", dir.filePath("cfg"));
    environment.insert("HOME", dir.path());
    program.setProcessEnvironment(environment);
    if (::geteuid() == 0)
        program.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", executable});
    else
        program.start(executable, {});
    ASSERT_TRUE(program.waitForStarted(10000));
    ASSERT_FALSE(program.waitForFinished(3000)) << program.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(program.processId()), GetParam());
    ASSERT_TRUE(program.waitForFinished(5000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1);
    const QString errors = QString::fromUtf8(program.readAllStandardError());
    EXPECT_TRUE(errors.contains("Unable to write to " + file)) << errors.toStdString();
    QFile::setPermissions(dir.path(), openfolder | QFileDevice::WriteOwner);
}

QStringList spoolfiles(const QString &folder) {
    return QDir(folder).entryList({"*.spool"}, QDir::Files);
}

// Each log window's text goes to a spool file of its own under the cache
// folder; a killed run leaves its files, the next start removes them, and a
// run that ends leaves none.
TEST(Spools, AKilledRunsFilesGoAtTheNextStartAndAnEndedRunLeavesNone) {
    QTemporaryDir dir;
    const QString folder = dir.filePath("cache/krovan");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_CACHE_HOME", dir.filePath("cache"));
    const auto run = [&](QProcess &program) {
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(dir.path());
        program.start(KROVAN_EXECUTABLE, {});
        ASSERT_TRUE(program.waitForStarted(10000));
        QElapsedTimer clock;
        clock.start();
        // Its logs are made, and it ends on SIGTERM (the handler comes after).
        while ((spoolfiles(folder).filter(QString("-%1-").arg(program.processId())).size() < 3 ||
                !catchessigterm(program.processId())) &&
               clock.elapsed() < 20000)
            ::usleep(10000);
    };
    QProcess killed;
    run(killed);
    const QStringList left = spoolfiles(folder);
    ASSERT_EQ(left.size(), 3) << left.join(" ").toStdString();
    killed.kill();
    ASSERT_TRUE(killed.waitForFinished(5000));
    EXPECT_EQ(spoolfiles(folder), left);

    QProcess ended;
    run(ended);
    const QStringList now = spoolfiles(folder);
    EXPECT_EQ(now.size(), 3) << now.join(" ").toStdString();
    for (const QString &file : left)
        EXPECT_FALSE(now.contains(file)) << file.toStdString();
    ::kill(static_cast<pid_t>(ended.processId()), SIGTERM);
    ASSERT_TRUE(ended.waitForFinished(10000));
    EXPECT_EQ(ended.exitCode(), 0);
    EXPECT_TRUE(spoolfiles(folder).isEmpty());
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
