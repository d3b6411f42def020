// The file layer on Windows. Paths arrive as UTF-8 and are converted to
// UTF-16 for the wide calls (_wfopen, CreateFileW, ...): the narrow calls
// would read them in the ANSI code page and miss every non-ASCII name.
#include "platform/Files.h"
#include "platform/FilesInternal.h"
#include "platform/WindowsText.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace tervala {
namespace platform {

std::wstring widen(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) // not UTF-8: take it in the ANSI code page as the narrow calls would
        return widenAnsi(text);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

std::wstring widenAnsi(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

std::string narrow(const std::wstring& wide)
{
    if (wide.empty())
        return std::string();
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &text[0], n, nullptr, nullptr);
    return text;
}

std::string systemMessage(unsigned long code)
{
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = n > 0 ? narrow(std::wstring(buffer, n)) : "system error " + std::to_string(code);
    if (buffer != nullptr)
        ::LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

namespace {

// The errno that stands for a Windows error code.
int errnoOf(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return EACCES;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    default:
        return EIO;
    }
}

// A path as the system returns it from GetFinalPathNameByHandleW, without
// the "\\?\" prefix the caller never wrote.
std::wstring plainPath(std::wstring path)
{
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        return L"\\\\" + path.substr(8);
    if (path.compare(0, 4, L"\\\\?\\") == 0)
        return path.substr(4);
    return path;
}

// The final path of an open handle (links followed), or empty.
std::wstring finalPath(HANDLE handle)
{
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD n = ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
        if (n == 0)
            return std::wstring();
        if (n < buffer.size())
            return plainPath(std::wstring(buffer.data(), n));
        buffer.resize(n + 1);
    }
    return std::wstring();
}

// A handle on whatever `path` names (a folder too), for examining it only.
HANDLE openForQuery(const std::wstring& path)
{
    return ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool statPath(const std::string& path, struct _stat64& info) { return ::_wstat64(widen(path).c_str(), &info) == 0; }

bool statStream(std::FILE* file, struct _stat64& info) { return ::_fstat64(::_fileno(file), &info) == 0; }

bool isFolderMode(unsigned mode) { return (mode & _S_IFMT) == _S_IFDIR; }
bool isRegularMode(unsigned mode) { return (mode & _S_IFMT) == _S_IFREG; }

// A stream writing to `handle` (taken over), or null.
std::FILE* streamOf(HANDLE handle)
{
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY | _O_WRONLY);
    if (fd < 0) {
        ::CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = ::_fdopen(fd, "wb");
    if (file == nullptr)
        ::_close(fd);
    return file;
}

} // namespace

File openFile(const std::string& path, const char* mode)
{
    return File(::_wfopen(widen(path).c_str(), widen(mode).c_str()));
}

void setBinaryMode(std::FILE* stream) { ::_setmode(::_fileno(stream), _O_BINARY); }

bool environmentVariable(const char* name, std::string& value)
{
    const wchar_t* text = ::_wgetenv(widen(name).c_str());
    if (text == nullptr)
        return false;
    value = narrow(text);
    return true;
}

bool setEnvironmentVariable(const char* name, const char* value)
{
    // _wputenv keeps the C runtime's copy (read by _wgetenv) in step with
    // the process environment; an empty value removes the variable.
    const std::wstring entry = widen(name) + L"=" + (value != nullptr ? widen(value) : std::wstring());
    if (value != nullptr && value[0] == '\0')
        return false; // Windows cannot hold an empty variable
    return ::_wputenv(entry.c_str()) == 0;
}

std::vector<std::string> commandLineArguments(int argc, char** argv)
{
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr || count != argc) {
        if (wide != nullptr)
            ::LocalFree(wide);
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i)
        args.push_back(narrow(wide[i]));
    ::LocalFree(wide);
    return args;
}

bool hasUnixSpecialFiles() { return false; }

bool makeNamedPipe(const std::string&)
{
    errno = ENOSYS;
    return false;
}

bool makeSymbolicLink(const std::string& target, const std::string& path)
{
    std::wstring wideTarget = widen(target);
    for (wchar_t& c : wideTarget)
        if (c == L'/')
            c = L'\\';
    const DWORD flags = isDirectory(target) ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
    // 2: SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE (developer mode).
    return ::CreateSymbolicLinkW(widen(path).c_str(), wideTarget.c_str(), flags | 2) != 0;
}

long processId() { return static_cast<long>(::GetCurrentProcessId()); }

bool removeTree(const std::string& path)
{
    const std::wstring wide = widen(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return ::GetLastError() == ERROR_FILE_NOT_FOUND || ::GetLastError() == ERROR_PATH_NOT_FOUND;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        ::SetFileAttributesW(wide.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAW entry;
        const HANDLE find = ::FindFirstFileW((wide + L"\\*").c_str(), &entry);
        if (find != INVALID_HANDLE_VALUE) {
            std::vector<std::wstring> names;
            do {
                const std::wstring name = entry.cFileName;
                if (name != L"." && name != L"..")
                    names.push_back(name);
            } while (::FindNextFileW(find, &entry));
            ::FindClose(find);
            for (const std::wstring& name : names)
                removeTree(narrow(wide + L"\\" + name));
        }
        return ::RemoveDirectoryW(wide.c_str()) != 0;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return ::RemoveDirectoryW(wide.c_str()) != 0;
    return ::DeleteFileW(wide.c_str()) != 0;
}

File openRegularFile(const std::string& path, LoadStatus& status)
{
    status = LoadStatus{};
    status.path = path;
    struct _stat64 info;
    if (!statPath(path, info)) {
        const int error = errno;
        status = loadFailure(path, LoadProblem::CannotOpen, std::string("cannot open: ") + std::strerror(error), error);
        return nullptr;
    }
    if (isFolderMode(info.st_mode)) {
        status = loadFailure(path, LoadProblem::CannotOpen, "is a folder, not a file", EISDIR);
        return nullptr;
    }
    if (!isRegularMode(info.st_mode)) {
        status = loadFailure(path, LoadProblem::NotRegularFile, "is not a regular file");
        return nullptr;
    }
    File file = openFile(path, "rb");
    if (!file) {
        const int error = errno;
        status = loadFailure(path, LoadProblem::CannotOpen, std::string("cannot open: ") + std::strerror(error), error);
        return nullptr;
    }
    // The name may have been replaced between the two looks.
    if (!isRegularFile(file.get())) {
        status = loadFailure(path, LoadProblem::NotRegularFile, "is not a regular file");
        return nullptr;
    }
    return file;
}

long long fileSize(std::FILE* file)
{
    struct _stat64 info;
    if (!statStream(file, info) || !isRegularMode(info.st_mode))
        return -1;
    return static_cast<long long>(info.st_size);
}

ReplacingFile::ReplacingFile(const std::string& path) : target_(path)
{
    std::wstring target = widen(path);
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        // A symbolic link: replace what it points to and keep the link.
        const HANDLE link = openForQuery(target);
        const std::wstring resolved = link != INVALID_HANDLE_VALUE ? finalPath(link) : std::wstring();
        if (link != INVALID_HANDLE_VALUE)
            ::CloseHandle(link);
        if (resolved.empty()) {
            error_ = "cannot follow the link " + path + ": " + systemMessage(::GetLastError());
            return;
        }
        target = resolved;
        target_ = narrow(resolved);
    }
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        error_ = "cannot write " + path + ": it is a directory";
        return;
    }
    // A device (NUL, CON) or a named pipe is written directly; replacing it
    // with a file is never what was meant.
    const HANDLE existing = ::CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (existing != INVALID_HANDLE_VALUE) {
        if (::GetFileType(existing) != FILE_TYPE_DISK) {
            file_.reset(streamOf(existing));
            if (!file_)
                error_ = "cannot open " + path + ": " + std::strerror(errno);
            return;
        }
        ::CloseHandle(existing);
    }
    // A new file beside the target, under a name no other writer holds. It
    // is shared for deletion so that the console handler can remove it while
    // it is open (the name goes at once, the data when the process ends).
    static long counter = 0;
    HANDLE temporary = INVALID_HANDLE_VALUE;
    DWORD problem = 0;
    for (int attempt = 0; attempt < 100 && temporary == INVALID_HANDLE_VALUE; ++attempt) {
        const long number = ::InterlockedIncrement(&counter);
        temporary_ = target_ + ".tmp." + std::to_string(::GetCurrentProcessId()) + "." +
                     std::to_string(::GetTickCount64() % 1000000) + "." + std::to_string(number);
        temporary = ::CreateFileW(widen(temporary_).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        problem = ::GetLastError();
        if (temporary == INVALID_HANDLE_VALUE && problem != ERROR_FILE_EXISTS && problem != ERROR_ALREADY_EXISTS)
            break;
    }
    if (temporary == INVALID_HANDLE_VALUE) {
        error_ = "cannot create a temporary file beside " + path + ": " + systemMessage(problem);
        temporary_.clear();
        return;
    }
    slot_ = internal::rememberTemporary(temporary_);
    file_.reset(streamOf(temporary));
    if (!file_) {
        error_ = "cannot prepare " + temporary_ + ": " + std::strerror(errno);
        ::DeleteFileW(widen(temporary_).c_str());
        forgetTemporary();
    }
}

ReplacingFile::~ReplacingFile()
{
    file_.reset();
    if (!temporary_.empty())
        ::DeleteFileW(widen(temporary_).c_str());
    forgetTemporary();
}

bool ReplacingFile::finish()
{
    if (!file_)
        return false;
    const bool direct = temporary_.empty();
    const std::string shown = direct ? target_ : temporary_;
    bool ok = std::fflush(file_.get()) == 0 && !std::ferror(file_.get());
    if (!ok)
        error_ = "cannot write " + shown + ": " + std::strerror(errno);
    if (ok && !direct &&
        !::FlushFileBuffers(reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file_.get()))))) {
        ok = false;
        error_ = "cannot write " + shown + ": " + systemMessage(::GetLastError());
    }
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
    if (!::MoveFileExW(widen(temporary_).c_str(), widen(target_).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error_ = "cannot rename " + temporary_ + " to " + target_ + ": " + systemMessage(::GetLastError());
        return false;
    }
    forgetTemporary();
    return true;
}

namespace {

void deletePath(const char* path) { ::DeleteFileW(widen(path).c_str()); }

// Ctrl-C, Ctrl-Break and closing the console window (and logoff or shutdown)
// run this on a thread of their own; the handlers after it (in the end the
// system's, which ends the process) still run.
BOOL WINAPI removeTemporariesOnConsoleEvent(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        internal::removeHeldTemporaries(deletePath);
        break;
    default:
        break;
    }
    return FALSE;
}

bool isExistsError(DWORD code) { return code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS; }

} // namespace

void removeTemporaryFilesOnSignals()
{
    // Windows has no SIGHUP and never sends SIGTERM; console events are its
    // way of ending a console program from outside. A program started with
    // Ctrl-C ignored is not given the event at all.
    ::SetConsoleCtrlHandler(removeTemporariesOnConsoleEvent, TRUE);
}

namespace internal {

// "<target>.old.<pid>.<n>": a hard link, or a copy where the volume has no
// hard links (FAT, exFAT, some network shares).
bool keepOldFile(const std::string& target, std::string& kept, std::string& error)
{
    kept.clear();
    const std::wstring wideTarget = widen(target);
    if (::GetFileAttributesW(wideTarget.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return true;
        error = "cannot examine " + target + ": " + systemMessage(code);
        return false;
    }
    DWORD problem = 0;
    for (int n = 0; n < 1000; ++n) {
        const std::string name = target + ".old." + std::to_string(::GetCurrentProcessId()) + "." + std::to_string(n);
        const std::wstring wideName = widen(name);
        if (::CreateHardLinkW(wideName.c_str(), wideTarget.c_str(), nullptr)) {
            kept = name;
            return true;
        }
        problem = ::GetLastError();
        if (isExistsError(problem))
            continue;
        if (::CopyFileW(wideTarget.c_str(), wideName.c_str(), TRUE)) {
            kept = name;
            return true;
        }
        problem = ::GetLastError();
        if (!isExistsError(problem))
            break;
    }
    error = "cannot keep the old " + target + " while replacing it: " + systemMessage(problem);
    return false;
}

bool renameOver(const std::string& from, const std::string& to, std::string& error)
{
    if (::MoveFileExW(widen(from).c_str(), widen(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    error = systemMessage(::GetLastError());
    return false;
}

bool removeFile(const std::string& path, std::string& error)
{
    if (::DeleteFileW(widen(path).c_str()))
        return true;
    error = systemMessage(::GetLastError());
    return false;
}

} // namespace internal

bool isRegularFile(std::FILE* file)
{
    struct _stat64 info;
    return statStream(file, info) && isRegularMode(info.st_mode);
}

bool isRegularFile(const std::string& path)
{
    struct _stat64 info;
    return statPath(path, info) && isRegularMode(info.st_mode);
}

bool identifyFile(const std::string& path, FileIdentity& out, int& error)
{
    const HANDLE handle = openForQuery(widen(path));
    if (handle == INVALID_HANDLE_VALUE) {
        error = errnoOf(::GetLastError());
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const std::wstring resolved = finalPath(handle);
    const bool ok = ::GetFileInformationByHandle(handle, &info) != 0 && !resolved.empty();
    const DWORD problem = ::GetLastError();
    ::CloseHandle(handle);
    if (!ok) {
        error = errnoOf(problem);
        return false;
    }
    out.path = narrow(resolved);
    out.size = static_cast<long long>((static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    // 100-ns ticks since 1601 to nanoseconds since 1970.
    const unsigned long long ticks =
        (static_cast<unsigned long long>(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
    out.modified = (static_cast<long long>(ticks) - 116444736000000000LL) * 100;
    out.volume = info.dwVolumeSerialNumber;
    out.number = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

std::string resolvedPath(const std::string& path)
{
    const HANDLE handle = openForQuery(widen(path));
    if (handle == INVALID_HANDLE_VALUE)
        return path;
    const std::wstring resolved = finalPath(handle);
    ::CloseHandle(handle);
    return resolved.empty() ? path : narrow(resolved);
}

bool isTerminal(std::FILE* file) { return ::_isatty(::_fileno(file)) != 0; }

bool isDirectory(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesW(widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool makeDirectory(const std::string& path)
{
    return ::CreateDirectoryW(widen(path).c_str(), nullptr) != 0 || isDirectory(path);
}

LineReader::~LineReader() { std::free(buffer_); }

bool LineReader::next(std::string& line)
{
    // The Windows C runtime has no getline: read byte by byte into the one
    // buffer, without the stream lock for each byte.
    std::size_t length = 0;
    bool any = false;
    ::_lock_file(file_);
    for (;;) {
        const int c = _getc_nolock(file_);
        if (c == EOF)
            break;
        any = true;
        if (c == '\n')
            break;
        if (length + 1 >= capacity_) {
            const std::size_t grown = capacity_ < 128 ? 128 : capacity_ * 2;
            char* bigger = static_cast<char*>(std::realloc(buffer_, grown));
            if (bigger == nullptr) {
                ::_unlock_file(file_);
                return false;
            }
            buffer_ = bigger;
            capacity_ = grown;
        }
        buffer_[length++] = static_cast<char>(c);
    }
    ::_unlock_file(file_);
    if (!any)
        return false;
    line.assign(buffer_ != nullptr ? buffer_ : "", length);
    return true;
}

} // namespace platform
} // namespace tervala
