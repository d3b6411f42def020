// Opening the data files. Every loader reads a named file from start to end,
// so only regular files qualify: a folder, a device such as /dev/zero (which
// never ends) or a named pipe (whose opening blocks until a writer comes)
// under a data file's name counts as a file that cannot be opened.
#ifndef TERVALA_PLATFORM_FILES_H
#define TERVALA_PLATFORM_FILES_H

#include <cstdio>
#include <memory>
#include <string>

namespace tervala {
namespace platform {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Why a data file was not loaded.
enum class LoadProblem {
    None,
    CannotOpen,      // missing, unreadable, or a folder (systemError says which)
    NotRegularFile,  // a device, a pipe or a socket
    Truncated,       // the file ends before the data it announces
    BadHeader,       // the header cannot describe the data
    BadContents,     // the records read are not a usable model
    ReadError,       // the stream reported an error while reading
    OutOfMemory,
};

// The result of loading one data file: the host path read and, when the load
// failed, why. Front ends show `message()`; `systemError` is the errno of a
// file that cannot be opened (EISDIR for a folder), 0 otherwise.
struct LoadStatus {
    std::string path;
    LoadProblem problem = LoadProblem::None;
    int systemError = 0;
    std::string reason;

    bool ok() const { return problem == LoadProblem::None; }
    // "<path>: <reason>", or the path alone after a successful load.
    std::string message() const { return ok() ? path : path + ": " + reason; }
};

// A failed load of `path`.
LoadStatus loadFailure(const std::string& path, LoadProblem problem, std::string reason, int systemError = 0);

// The file at `path` opened for reading ("rb"), or null when it is missing,
// unreadable or not a regular file (checked before opening and again on the
// opened stream).
File openRegularFile(const std::string& path);

// The same, saying in `status` (path and problem) why the file cannot be
// opened; status.ok() when it is open.
File openRegularFile(const std::string& path, LoadStatus& status);

// The size in bytes of an open regular file, or -1 when it cannot be told.
long long fileSize(std::FILE* file);

// A new file written beside `path` under a temporary name (mode 0644) and
// renamed over `path` by commit(), so that no reader ever sees it half
// written. Destroying it without a successful commit() removes the
// temporary file and leaves `path` as it was.
class ReplacingFile {
public:
    explicit ReplacingFile(std::string path);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Null when the temporary file could not be created (see error()).
    std::FILE* get() const { return file_.get(); }
    const std::string& error() const { return error_; }
    // Flushes to the disk, closes and renames; false (with error()) when any
    // step fails.
    bool commit();

private:
    std::string path_;
    std::string temporary_;
    File file_;
    std::string error_;
};

} // namespace platform
} // namespace tervala

#endif
