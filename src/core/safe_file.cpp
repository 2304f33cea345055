#include "safe_file.h"

#include "errors.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes the descriptor on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now, so that a failing close (a late write error) is seen.
    bool close() {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

[[noreturn]] void failread(const std::string &path) {
    throw KrovanError("Unable to read " + path);
}

[[noreturn]] void failwrite(const std::string &path) {
    throw KrovanError("Unable to write to " + path);
}

// A link is replaced at its target, so the link itself survives the save.
std::string targetof(const std::string &path) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    char *real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr)
        return path; // a dangling link is replaced by the file
    std::string target(real);
    std::free(real);
    return target;
}

std::string directoryof(const std::string &path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates a file of our own beside `target`; the mode 0666 lets the umask
// decide the permissions of a file that is new.
int createtemporary(const std::string &target, std::string &name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = target + "." + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".tmp";
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Gives the temporary file the old file's mode and, where allowed, owner.
void keeppermissions(int fd, const struct stat &old) {
    ::fchmod(fd, old.st_mode & 07777);
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
        // Only root may give a file to another user; otherwise the new file
        // is ours, with the old file's mode.
    }
}

// Makes the rename itself durable; a failure here loses nothing.
void syncdirectory(const std::string &directory) {
    Descriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid())
        ::fsync(dir.get());
}

// Writes the temporary file completely; false on any failure.
bool filltemporary(Descriptor &file, std::string_view content, const struct stat *old) {
    if (old != nullptr)
        keeppermissions(file.get(), *old);
    return writeall(file.get(), content) && ::fsync(file.get()) == 0 && file.close();
}

} // namespace

bool writeall(int fd, std::string_view content) {
    while (!content.empty()) {
        ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::optional<std::string> readwholefile(const std::string &path) {
    // Non-blocking, so that a named pipe cannot hang the open.
    Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid()) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::nullopt;
        failread(path);
    }
    struct stat info;
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        failread(path);
    std::string content;
    content.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t got = ::read(file.get(), buffer, sizeof buffer);
        if (got == 0)
            return content;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            failread(path);
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
}

void writefilesafely(const std::string &path, std::string_view content) {
    const std::string target = targetof(path);
    struct stat old;
    const bool exists = ::stat(target.c_str(), &old) == 0;
    // A read-only file stays read-only; the rename alone would not ask.
    if (exists && ::access(target.c_str(), W_OK) != 0)
        failwrite(path);

    std::string temporary;
    Descriptor file(createtemporary(target, temporary));
    if (!file.valid())
        failwrite(path);
    if (!filltemporary(file, content, exists ? &old : nullptr) ||
        ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        failwrite(path);
    }
    syncdirectory(directoryof(target));
}
