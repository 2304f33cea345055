#include "errors.h"
#include "safe_file.h"
#include "unprivileged.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

class SafeFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "safefileXXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir);
    }

    std::string path(const std::string &name) const { return (dir / name).string(); }

    static std::string content(const std::string &file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    static void put(const std::string &file, const std::string &bytes) {
        std::ofstream(file, std::ios::binary) << bytes;
    }

    // The names in the test directory, so that a left-over temporary shows.
    std::set<std::string> names() const {
        std::set<std::string> found;
        for (const fs::directory_entry &entry : fs::directory_iterator(dir))
            found.insert(entry.path().filename().string());
        return found;
    }

    // The message of the KrovanError `write` throws, or a note that it did not.
    static std::string failure(const std::string &file, const std::string &bytes) {
        try {
            writefilesafely(file, bytes);
        } catch (const KrovanError &error) {
            return error.what();
        }
        return "<no failure>";
    }

    fs::path dir;
};

} // namespace

TEST_F(SafeFile, ReplacesTheContentAndLeavesNoTemporary) {
    put(path("a.ini"), std::string(5000, 'o'));
    writefilesafely(path("a.ini"), "new\0bytes"s);
    EXPECT_EQ(content(path("a.ini")), "new\0bytes"s);
    writefilesafely(path("b.ini"), "");
    EXPECT_EQ(content(path("b.ini")), "");
    EXPECT_EQ(names(), (std::set<std::string>{"a.ini", "b.ini"}));
}

TEST_F(SafeFile, KeepsTheOldFilesPermissions) {
    put(path("a.ini"), "old");
    ::chmod(path("a.ini").c_str(), 0640);
    writefilesafely(path("a.ini"), "new");
    struct stat info;
    ASSERT_EQ(::stat(path("a.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    mode_t mask = ::umask(022);
    writefilesafely(path("fresh.ini"), "x");
    ::umask(mask);
    ASSERT_EQ(::stat(path("fresh.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
}

TEST_F(SafeFile, WritesThroughASymbolicLink) {
    fs::create_directory(dir / "real");
    put(path("real/settings.ini"), "old");
    fs::create_symlink("real/settings.ini", dir / "link.ini");
    writefilesafely(path("link.ini"), "new");
    EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
    EXPECT_EQ(content(path("real/settings.ini")), "new");
}

TEST_F(SafeFile, MissingDirectoryOrFileAsDirectoryFails) {
    std::string missing = path("missing/x.ini");
    EXPECT_EQ(failure(missing, "x"), "Unable to write to " + missing);
    put(path("plain"), "old");
    std::string underfile = path("plain/x.ini");
    EXPECT_EQ(failure(underfile, "x"), "Unable to write to " + underfile);
    EXPECT_EQ(content(path("plain")), "old");
    EXPECT_EQ(names(), (std::set<std::string>{"plain"}));
}

TEST_F(SafeFile, DirectoryAsTargetFailsAfterWritingAndRemovesTheTemporary) {
    fs::create_directory(dir / "taken.ini");
    put(path("taken.ini/inside"), "kept");
    EXPECT_EQ(failure(path("taken.ini"), "x"), "Unable to write to " + path("taken.ini"));
    EXPECT_EQ(content(path("taken.ini/inside")), "kept");
    EXPECT_EQ(names(), (std::set<std::string>{"taken.ini"}));
}

// A full disk, made with the file size limit, which binds root too.
TEST_F(SafeFile, WriteThatRunsOutOfSpaceKeepsTheOldFile) {
    put(path("a.ini"), "old settings");
    struct rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 1000;
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message = failure(path("a.ini"), std::string(100000, 'n'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(message, "Unable to write to " + path("a.ini"));
    EXPECT_EQ(content(path("a.ini")), "old settings");
    EXPECT_EQ(names(), (std::set<std::string>{"a.ini"}));
}

TEST_F(SafeFile, ReadOnlyDirectoryKeepsTheOldFile) {
    put(path("a.ini"), "old");
    ::chmod(path("a.ini").c_str(), 0666);
    ::chmod(dir.c_str(), 0555);
    EXPECT_EQ(asunprivileged([&] { return failure(path("a.ini"), "new"); }),
              "Unable to write to " + path("a.ini"));
    ::chmod(dir.c_str(), 0755);
    EXPECT_EQ(content(path("a.ini")), "old");
    EXPECT_EQ(names(), (std::set<std::string>{"a.ini"}));
}

TEST_F(SafeFile, ReadOnlyFileIsNotReplaced) {
    put(path("a.ini"), "old");
    ::chmod(path("a.ini").c_str(), 0444);
    // The directory itself may be written: only the file says no.
    ::chmod(dir.c_str(), 0777);
    EXPECT_EQ(asunprivileged([&] { return failure(path("a.ini"), "new"); }),
              "Unable to write to " + path("a.ini"));
    ::chmod(dir.c_str(), 0755);
    EXPECT_EQ(content(path("a.ini")), "old");
    EXPECT_EQ(names(), (std::set<std::string>{"a.ini"}));
}

TEST_F(SafeFile, ReadingGivesTheBytesOrNothingForAMissingFile) {
    std::string bytes;
    for (int b = 0; b < 256 * 300; ++b)
        bytes.push_back(static_cast<char>(b % 251));
    put(path("a.ini"), bytes);
    EXPECT_EQ(readwholefile(path("a.ini")), bytes);
    EXPECT_EQ(readwholefile(path("missing.ini")), std::nullopt);
    put(path("plain"), "");
    EXPECT_EQ(readwholefile(path("plain/x.ini")), std::nullopt);
}

TEST_F(SafeFile, ReadingADirectoryOrPipeFailsWithoutWaiting) {
    EXPECT_THROW(
        {
            try {
                readwholefile(dir.string());
            } catch (const KrovanError &error) {
                EXPECT_EQ(error.what(), "Unable to read " + dir.string());
                throw;
            }
        },
        KrovanError);
    ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
    EXPECT_THROW(readwholefile(path("pipe")), KrovanError);
    put(path("secret.ini"), "x");
    ::chmod(path("secret.ini").c_str(), 0);
    ::chmod(dir.c_str(), 0755);
    EXPECT_EQ(asunprivileged([&]() -> std::string {
                  try {
                      readwholefile(path("secret.ini"));
                  } catch (const KrovanError &error) {
                      return error.what();
                  }
                  return "<read>";
              }),
              "Unable to read " + path("secret.ini"));
}
