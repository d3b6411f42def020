#include "platform/Files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace tervala {
namespace platform {

LoadStatus loadFailure(const std::string& path, LoadProblem problem, std::string reason, int systemError)
{
    LoadStatus status;
    status.path = path;
    status.problem = problem;
    status.systemError = systemError;
    status.reason = std::move(reason);
    return status;
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

File openRegularFile(const std::string& path)
{
    LoadStatus ignored;
    return openRegularFile(path, ignored);
}

long long fileSize(std::FILE* file)
{
    struct stat info;
    if (::fstat(::fileno(file), &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    return static_cast<long long>(info.st_size);
}

ReplacingFile::ReplacingFile(std::string path) : path_(std::move(path)), temporary_(path_ + ".XXXXXX")
{
    const int fd = ::mkstemp(&temporary_[0]);
    if (fd < 0) {
        error_ = "cannot create a temporary file beside " + path_ + ": " + std::strerror(errno);
        temporary_.clear();
        return;
    }
    ::fchmod(fd, 0644);
    file_.reset(::fdopen(fd, "wb"));
    if (!file_) {
        error_ = std::string("cannot write the output: ") + std::strerror(errno);
        ::close(fd);
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

ReplacingFile::~ReplacingFile()
{
    file_.reset();
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
}

bool ReplacingFile::commit()
{
    if (!file_)
        return false;
    bool ok = std::fflush(file_.get()) == 0 && ::fsync(::fileno(file_.get())) == 0;
    if (!ok)
        error_ = std::string("cannot write the output: ") + std::strerror(errno);
    if (std::fclose(file_.release()) != 0 && ok) {
        ok = false;
        error_ = std::string("cannot write the output: ") + std::strerror(errno);
    }
    if (ok && std::rename(temporary_.c_str(), path_.c_str()) != 0) {
        ok = false;
        error_ = "cannot rename the finished output to " + path_ + ": " + std::strerror(errno);
    }
    if (ok)
        temporary_.clear();
    return ok;
}

} // namespace platform
} // namespace tervala
