// The real executable, started as a user starts it: it loads default.ini
// from its own folder at the first activation and writes it at the close
// that SIGTERM or SIGINT asks for.
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>

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

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
