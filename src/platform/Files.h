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

// The file at `path` opened for reading ("rb"), or null when it is missing,
// unreadable or not a regular file (checked before opening and again on the
// opened stream).
File openRegularFile(const std::string& path);

} // namespace platform
} // namespace tervala

#endif
