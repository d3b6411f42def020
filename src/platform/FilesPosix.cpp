// The file layer on POSIX systems (Linux, the BSDs, macOS).
#include "platform/Files.h"
#include "platform/FilesInternal.h"

#include <dirent.h>
#include <fcntl.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace tervala {
namespace platform {

File openFile(const std::string& path, const char* mode) { return File(std::fopen(path.c_str(), mode)); }

void setBinaryMode(std::FILE*) {}

bool environmentVariable(const char* name, std::string& value)
{
    const char* text = std::getenv(name);
    if (text == nullptr)
        return false;
    value = text;
    return true;
}

bool setEnvironmentVariable(const char* name, const char* value)
{
    return value != nullptr ? ::setenv(name, value, 1) == 0 : ::unsetenv(name) == 0;
}

std::vector<std::string> commandLineArguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

bool hasUnixSpecialFiles() { return true; }

bool makeNamedPipe(const std::string& path) { return ::mkfifo(path.c_str(), 0600) == 0; }

bool makeSymbolicLink(const std::string& target, const std::string& path)
{
    return ::symlink(target.c_str(), path.c_str()) == 0;
}

long processId() { return static_cast<long>(::getpid()); }

bool removeTree(const std::string& path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return errno == ENOENT;
    if (S_ISDIR(st.st_mode)) {
        if (DIR* dir = ::opendir(path.c_str())) {
            std::vector<std::string> names;
            while (const dirent* entry = ::readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..")
                    names.push_back(name);
            }
            ::closedir(dir);
            for (const std::string& name : names)
                removeTree(path + "/" + name);
        }
        return ::rmdir(path.c_str()) == 0;
    }
    return ::unlink(path.c_str()) == 0;
}

File openRegularFile(const std::string& path, LoadStatus& status)
{
    status = LoadStatus{};
    status.path = path;
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        const int error = errno;
        status = loadFailure(path, LoadProblem::CannotOpen, std::string("cannot open: ") + std::strerror(error), error);
        return nullptr;
    }
    if (S_ISDIR(info.st_mode)) {
        status = loadFailure(path, LoadProblem::CannotOpen, "is a folder, not a file", EISDIR);
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        status = loadFailure(path, LoadProblem::NotRegularFile, "is not a regular file");
        return nullptr;
    }
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        const int error = errno;
        status = loadFailure(path, LoadProblem::CannotOpen, std::string("cannot open: ") + std::strerror(error), error);
        return nullptr;
    }
    // The name may have been replaced between the two looks.
    if (::fstat(::fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) {
        status = loadFailure(path, LoadProblem::NotRegularFile, "is not a regular file");
        return nullptr;
    }
    return file;
}

long long fileSize(std::FILE* file)
{
    struct stat info;
    if (::fstat(::fileno(file), &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    return static_cast<long long>(info.st_size);
}

namespace {

// The file a path names after following symbolic links, also when the last
// link points to a file that does not exist yet. Empty on a loop or error.
std::string followLinks(const std::string& path)
{
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        std::vector<char> buffer(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t n = ::readlink(current.c_str(), buffer.data(), buffer.size() - 1);
        if (n < 0)
            return std::string();
        std::string link(buffer.data(), static_cast<std::size_t>(n));
        if (!link.empty() && link[0] != '/') {
            const std::size_t slash = current.rfind('/');
            if (slash != std::string::npos)
                link = current.substr(0, slash + 1) + link;
        }
        current = link;
    }
    errno = ELOOP;
    return std::string();
}

// A stream connected to the listening local socket at `path`, or null.
std::FILE* connectSocket(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return nullptr;
    std::FILE* file = nullptr;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        (file = ::fdopen(fd, "wb")) == nullptr) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return file;
}

} // namespace

ReplacingFile::ReplacingFile(const std::string& path) : target_(followLinks(path))
{
    if (target_.empty()) {
        error_ = "cannot follow the link " + path + ": " + std::strerror(errno);
        return;
    }
    struct stat st;
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    if (exists && (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))) {
        file_.reset(std::fopen(target_.c_str(), "wb"));
        if (!file_)
            error_ = "cannot open " + path + ": " + std::strerror(errno);
        return;
    }
    if (exists && S_ISSOCK(st.st_mode)) {
        file_.reset(connectSocket(target_));
        if (!file_)
            error_ = "cannot connect to the socket " + path + ": " + std::strerror(errno);
        return;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        error_ = "cannot write " + path + ": it is " +
                 (S_ISDIR(st.st_mode) ? "a directory" : "neither a regular file, a FIFO nor a character device");
        return;
    }
    temporary_ = target_ + ".tmp.XXXXXX";
    const int fd = ::mkstemp(&temporary_[0]);
    if (fd < 0) {
        error_ = "cannot create a temporary file beside " + path + ": " + std::strerror(errno);
        temporary_.clear();
        return;
    }
    slot_ = internal::rememberTemporary(temporary_);
    // mkstemp makes the file private; give it the mode the replaced file had,
    // or the usual mode of a new file.
    mode_t mode = 0;
    if (exists) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode) == 0)
        file_.reset(::fdopen(fd, "wb"));
    if (!file_) {
        error_ = "cannot prepare " + temporary_ + ": " + std::strerror(errno);
        ::close(fd);
        ::unlink(temporary_.c_str());
        forgetTemporary();
    }
}

ReplacingFile::~ReplacingFile()
{
    file_.reset();
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    forgetTemporary();
}

bool ReplacingFile::finish()
{
    if (!file_)
        return false;
    const bool direct = temporary_.empty();
    bool ok = std::fflush(file_.get()) == 0 && !std::ferror(file_.get()) &&
              (direct || ::fsync(::fileno(file_.get())) == 0);
    const std::string shown = direct ? target_ : temporary_;
    if (!ok)
        error_ = "cannot write " + shown + ": " + std::strerror(errno);
    if (std::fclose(file_.release()) != 0 && ok) {
        ok = false;
        error_ = "cannot write " + shown + ": " + std::strerror(errno);
    }
    return ok;
}

bool ReplacingFile::install()
{
    if (temporary_.empty())
        return true;
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        error_ = "cannot rename " + temporary_ + " to " + target_ + ": " + std::strerror(errno);
        return false;
    }
    forgetTemporary();
    return true;
}

namespace {

void unlinkPath(const char* path) { ::unlink(path); }

extern "C" void removeTemporariesAndEnd(int signal)
{
    internal::removeHeldTemporaries(unlinkPath);
    // End by the same signal, with its default action.
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    ::raise(signal);
}

// Copies the file at `from` to the new file `to` (created, never
// replaced); false with errno set when any step fails.
bool copyFile(const std::string& from, const std::string& to)
{
    const int in = ::open(from.c_str(), O_RDONLY);
    if (in < 0)
        return false;
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    bool ok = out >= 0;
    char buffer[1 << 16];
    ssize_t got = 0;
    while (ok && (got = ::read(in, buffer, sizeof buffer)) > 0)
        ok = ::write(out, buffer, static_cast<std::size_t>(got)) == got;
    ok = ok && got == 0 && ::fsync(out) == 0;
    const int error = errno;
    ::close(in);
    if (out >= 0 && (::close(out) != 0 || !ok))
        ::unlink(to.c_str());
    errno = error;
    return ok;
}

} // namespace

void removeTemporaryFilesOnSignals()
{
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        if (::sigaction(signal, nullptr, &old) != 0 || old.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = removeTemporariesAndEnd;
        sigemptyset(&action.sa_mask);
        // One handler at a time: the others wait until it has ended the program.
        for (int other : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&action.sa_mask, other);
        ::sigaction(signal, &action, nullptr);
    }
}

namespace internal {

// "<target>.old.<pid>.<n>": a hard link, or a copy where the file system
// has no hard links (EPERM, EXDEV, ENOTSUP and the like).
bool keepOldFile(const std::string& target, std::string& kept, std::string& error)
{
    kept.clear();
    struct stat st;
    if (::lstat(target.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return true;
        error = "cannot examine " + target + ": " + std::strerror(errno);
        return false;
    }
    for (int n = 0; n < 1000; ++n) {
        const std::string name = target + ".old." + std::to_string(::getpid()) + "." + std::to_string(n);
        if (::link(target.c_str(), name.c_str()) == 0 ||
            (errno != EEXIST && S_ISREG(st.st_mode) && copyFile(target, name))) {
            kept = name;
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    error = "cannot keep the old " + target + " while replacing it: " + std::strerror(errno);
    return false;
}

bool renameOver(const std::string& from, const std::string& to, std::string& error)
{
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return true;
    error = std::strerror(errno);
    return false;
}

bool removeFile(const std::string& path, std::string& error)
{
    if (::unlink(path.c_str()) == 0)
        return true;
    error = std::strerror(errno);
    return false;
}

} // namespace internal

bool isRegularFile(std::FILE* file)
{
    struct stat st;
    return ::fstat(::fileno(file), &st) == 0 && S_ISREG(st.st_mode);
}

bool isRegularFile(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool identifyFile(const std::string& path, FileIdentity& out, int& error)
{
    errno = 0;
    char* resolved = ::realpath(path.c_str(), nullptr);
    struct stat info;
    if (resolved == nullptr || ::stat(resolved, &info) != 0) {
        error = errno != 0 ? errno : ENOENT;
        std::free(resolved);
        return false;
    }
    out.path = resolved;
    std::free(resolved);
    out.size = static_cast<long long>(info.st_size);
    out.modified = static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
    out.volume = static_cast<unsigned long long>(info.st_dev);
    out.number = static_cast<unsigned long long>(info.st_ino);
    return true;
}

std::string resolvedPath(const std::string& path)
{
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr)
        return path;
    std::string result(resolved);
    std::free(resolved);
    return result;
}

bool isTerminal(std::FILE* file) { return ::isatty(::fileno(file)) != 0; }

bool isDirectory(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool makeDirectory(const std::string& path)
{
    return ::mkdir(path.c_str(), 0755) == 0 || isDirectory(path);
}

LineReader::~LineReader() { std::free(buffer_); }

bool LineReader::next(std::string& line)
{
    const ssize_t n = ::getline(&buffer_, &capacity_, file_);
    if (n < 0)
        return false;
    std::size_t length = static_cast<std::size_t>(n);
    if (length > 0 && buffer_[length - 1] == '\n')
        --length;
    line.assign(buffer_, length);
    return true;
}

} // namespace platform
} // namespace tervala
