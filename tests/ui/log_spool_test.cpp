// A log window's spool file: what is appended reads back, the file lives
// as long as its log, and a crashed process's file goes at the next start.
#include "errors.h"
#include "log_spool.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QStringList spools(const QString &folder) {
    return QDir(folder).entryList({"*.spool"}, QDir::Files);
}

} // namespace

TEST(LogSpool, WhatIsAppendedReadsBackAndTheFileLivesWithItsLog) {
    QTemporaryDir dir;
    const QString folder = dir.filePath("cache/krovan");
    QString first;
    {
        LogSpool spool(folder, "RichEdit_mix");
        first = spool.path();
        EXPECT_TRUE(QFile::exists(first));
        EXPECT_EQ(QFileInfo(folder).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);
        std::string all;
        for (int i = 0; i < 20000; ++i) {
            const std::string line = "line " + std::to_string(i) + "\n";
            EXPECT_EQ(spool.append(line), static_cast<qint64>(all.size()));
            all += line;
        }
        EXPECT_EQ(spool.read(0, spool.size()), all);
        EXPECT_EQ(spool.read(5, 2), "0\n");
        EXPECT_EQ(spool.read(static_cast<qint64>(all.size()) - 11, 11), "line 19999\n");
        EXPECT_THROW(spool.read(1, spool.size()), KrovanError);

        // "Vymazat": a new file, the old one gone.
        spool.restart();
        EXPECT_FALSE(QFile::exists(first));
        EXPECT_EQ(spool.size(), 0);
        spool.append("again");
        EXPECT_EQ(spool.read(0, 5), "again");
        EXPECT_EQ(spools(folder).size(), 1);
    }
    EXPECT_TRUE(spools(folder).isEmpty()) << "closed with its log";
}

TEST(LogSpool, OnlyAFileNoLiveProcessHoldsIsRemovedAsStale) {
    QTemporaryDir dir;
    LogSpool mine(dir.path(), "RichEdit_rx");
    // What a crash leaves: a file nobody holds.
    QFile left(dir.filePath("RichEdit_tx-99999-0.spool"));
    ASSERT_TRUE(left.open(QIODevice::WriteOnly));
    left.close();
    // Another process's live spool, held by a child that waits.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        LogSpool theirs(dir.path(), "RichEdit_mix");
        const char byte = 1;
        (void)!::write(ready[1], &byte, 1);
        ::pause();
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    EXPECT_EQ(LogSpool::removestale(dir.path()), 1);
    EXPECT_FALSE(left.exists());
    EXPECT_EQ(spools(dir.path()).size(), 2) << "mine and the child's stay";
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(LogSpool::removestale(dir.path()), 1) << "the killed child's is left behind";
    EXPECT_EQ(spools(dir.path()), QStringList{QFileInfo(mine.path()).fileName()});
}

TEST(LogSpool, AFileThatCannotGrowFailsTheAppendAndKeepsTheBytes) {
    QTemporaryDir dir;
    // In a child: a file size limit stands in for a full disk.
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100000, 100000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        LogSpool spool(dir.path(), "RichEdit_mix");
        const std::string line(1000, 'x');
        try {
            for (int i = 0; i < 1000; ++i)
                spool.append(line);
        } catch (const KrovanError &error) {
            const bool named =
                std::string(error.what()).find("File too large") != std::string::npos;
            // The bytes that did not fit are still there to keep in memory.
            ::_exit(named && spool.size() > 100000 ? 0 : 2);
        }
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
