// Opening the data files. Every loader reads a named file from start to end,
// so only regular files qualify: a folder, a device such as /dev/zero (which
// never ends) or a named pipe (whose opening blocks until a writer comes)
// under a data file's name counts as a file that cannot be opened.
#ifndef TERVALA_PLATFORM_FILES_H
#define TERVALA_PLATFORM_FILES_H

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

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

// Paths are UTF-8 everywhere: on Windows they are converted to the wide
// form the system's own calls take, so a folder such as "dätä" works
// whatever the ANSI code page.

// `path` opened with the C mode `mode` ("rb", "wb", ...), or null with errno
// set. Any kind of file; use openRegularFile for data files.
File openFile(const std::string& path, const char* mode);

// Puts a standard stream into binary mode, so that "\n" is written as LF
// on every platform (as files written with -o are). Nothing on POSIX.
void setBinaryMode(std::FILE* stream);

// The value of the environment variable `name` in UTF-8; false when it is
// not set.
bool environmentVariable(const char* name, std::string& value);
// Sets the environment variable `name` to `value` (UTF-8), or removes it
// when `value` is null; false when the system refuses.
bool setEnvironmentVariable(const char* name, const char* value);

// The program's command-line arguments in UTF-8 (on Windows read again from
// the wide command line, since argv is in the ANSI code page there).
std::vector<std::string> commandLineArguments(int argc, char** argv);

// True where FIFOs, local sockets and devices such as /dev/zero exist as
// files (POSIX); false on Windows, where tests of them are skipped.
bool hasUnixSpecialFiles();
// Makes a FIFO at `path` (POSIX); false (errno ENOSYS) on Windows.
bool makeNamedPipe(const std::string& path);
// Makes a symbolic link `path` pointing to `target`; false when the system
// refuses (on Windows without the privilege for links).
bool makeSymbolicLink(const std::string& target, const std::string& path);

// The number of this process (to name scratch files apart).
long processId();

// Removes `path` and, for a folder, everything inside it; true when nothing
// is left. Symbolic links are removed, never followed.
bool removeTree(const std::string& path);

// The file at `path` opened for reading ("rb"), or null when it is missing,
// unreadable or not a regular file (checked before opening and again on the
// opened stream).
File openRegularFile(const std::string& path);

// The same, saying in `status` (path and problem) why the file cannot be
// opened; status.ok() when it is open.
File openRegularFile(const std::string& path, LoadStatus& status);

// The size in bytes of an open regular file, or -1 when it cannot be told.
long long fileSize(std::FILE* file);

// An output file opened as what it is. A regular file (or a missing one) is
// written under a temporary name beside it and renamed into place by
// commit(), so a reader never sees a partial file; on Windows the rename is
// MoveFileExW with MOVEFILE_REPLACE_EXISTING, since rename() there refuses
// an existing target. An existing file keeps its permission bits, a new one
// gets the usual mode (0666 less the umask; the folder's defaults on
// Windows). A symbolic link is followed and its target replaced that way,
// leaving the link. A FIFO or character device (NUL or CON on Windows, or a
// named pipe) is opened and written directly (renaming over /dev/null would
// replace the device); a listening local socket is connected to and written
// (POSIX only). Directories and block devices are refused.
// Destroying the object without a successful commit() removes the temporary
// file and leaves the target as it was; so does a program ended by a signal
// once removeTemporaryFilesOnSignals() has been called.
class ReplacingFile {
public:
    explicit ReplacingFile(const std::string& path);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool ok() const { return file_ != nullptr; }
    // Null when the output could not be opened (see error()).
    std::FILE* get() const { return file_.get(); }
    const std::string& error() const { return error_; }
    // True when the target is a regular file (or a new one) written under a
    // temporary name; false for pipes, devices and sockets written directly.
    bool replacesAtomically() const { return !temporary_.empty(); }
    // Flushes (to the disk for a temporary file), closes and renames; false
    // (with error()) when any step fails.
    bool commit();

private:
    friend bool commitTogether(ReplacingFile* const* files, std::size_t count, std::string& error);
    bool finish();   // flush, sync and close
    bool install();  // rename the temporary file over the target
    void forgetTemporary();

    std::string target_;     // the file replaced (the link's target for a link)
    std::string temporary_;  // empty when writing directly
    int slot_ = -1;          // where the signal handler finds temporary_
    File file_;
    std::string error_;
};

// Commits several files as one: every file is flushed, synced and closed
// first (a full disk fails here, before any target is touched); then the
// targets are replaced in order, each replaced file kept under a second name
// ("<target>.old.<process>.<n>": a hard link, or a copy where the file
// system has none) until all are in place. When a replacement fails, the targets already
// replaced get their old files back (a target that did not exist is removed
// again), so every target holds either its new or its old contents, all the
// same. False with `error` (naming the file) when any step fails; the
// temporary files are removed by the objects' destructors. Files written
// directly (pipes, devices) take no part in the undoing.
bool commitTogether(ReplacingFile* const* files, std::size_t count, std::string& error);

// Makes SIGINT, SIGTERM and SIGHUP remove every temporary file a
// ReplacingFile holds at that moment before the program ends by the signal
// as it would have (same exit status). A signal the program was started
// ignoring (nohup) stays ignored. SIGKILL cannot be caught: a program killed
// by it leaves its "<name>.tmp.XXXXXX" file. On Windows the same is done for
// the console's events (Ctrl-C, Ctrl-Break, closing the window, logoff and
// shutdown), after which the system ends the program as before; a program
// ended by TerminateProcess (Task Manager's "End task" on a hung program)
// leaves the file. For programs (the tool), not for a library inside
// someone else's process.
void removeTemporaryFilesOnSignals();

// True when `file` is open on a regular file (not a pipe, terminal or device).
bool isRegularFile(std::FILE* file);
// True when `path` names a regular file (after following links).
bool isRegularFile(const std::string& path);
// A file as caches of loaded data know it: its resolved path (links and
// relative parts followed), size and modification time, so a file replaced
// since it was read is told apart.
struct FileIdentity {
    std::string path;
    long long size = 0;
    long long modified = 0;  // nanoseconds since the epoch
    // The volume and the file's number on it (inode; NTFS file index): two
    // names of one file, hard links included, share both.
    unsigned long long volume = 0, number = 0;
    bool operator<(const FileIdentity& o) const;
    // Whether two identities name one file (the same volume and number, or
    // the same resolved path).
    bool sameFile(const FileIdentity& o) const
    {
        return (volume == o.volume && number == o.number) || path == o.path;
    }
};
// Fills `out` for `path`; false with the system's error number in `error`
// when the file cannot be resolved or examined.
bool identifyFile(const std::string& path, FileIdentity& out, int& error);
// `path` with links and relative parts resolved, or unchanged when that fails.
std::string resolvedPath(const std::string& path);

// True when `file` is open on a terminal (progress lines go only there).
bool isTerminal(std::FILE* file);
// True when `path` names a folder (after following links).
bool isDirectory(const std::string& path);
// Creates the folder `path` (rwx for the owner, r-x for others, less the
// umask) unless it exists; true when it is a folder afterwards.
bool makeDirectory(const std::string& path);

// Reads lines of any length (NUL bytes included) from a stream, keeping one
// buffer for all of them.
class LineReader {
public:
    explicit LineReader(std::FILE* file) : file_(file) {}
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // The next line without its newline; false at the end of the stream or
    // on a read error.
    bool next(std::string& line);

private:
    std::FILE* file_;
    char* buffer_ = nullptr;
    std::size_t capacity_ = 0;
};

} // namespace platform
} // namespace tervala

#endif
