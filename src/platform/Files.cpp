// The parts of the file layer that need no system call; the rest is in
// FilesPosix.cpp or FilesWindows.cpp, whichever the build chose.
#include "platform/Files.h"

#include <tuple>
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

File openRegularFile(const std::string& path)
{
    LoadStatus ignored;
    return openRegularFile(path, ignored);
}

bool FileIdentity::operator<(const FileIdentity& o) const
{
    return std::tie(path, size, modified) < std::tie(o.path, o.size, o.modified);
}

} // namespace platform
} // namespace tervala
