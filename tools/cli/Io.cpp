#include "Io.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <fmt/format.h>

#include "Text.h"

namespace tervala {
namespace cli {

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

} // namespace

AtomicFile::AtomicFile(std::string path)
{
    target_ = followLinks(path);
    if (target_.empty()) {
        error_ = "cannot follow the link " + path + ": " + std::strerror(errno);
        return;
    }
    struct stat st;
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    if (exists && (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))) {
        file_ = std::fopen(target_.c_str(), "wb");
        if (file_ == nullptr)
            error_ = "cannot open " + path + ": " + std::strerror(errno);
        return;
    }
    if (exists && S_ISSOCK(st.st_mode)) {
        // A listening local socket: connect and stream to it.
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (target_.size() >= sizeof address.sun_path || fd < 0 ||
            (std::memcpy(address.sun_path, target_.c_str(), target_.size() + 1),
             ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address)) != 0 ||
            (file_ = ::fdopen(fd, "wb")) == nullptr) {
            error_ = "cannot connect to the socket " + path + ": " + std::strerror(errno);
            if (fd >= 0)
                ::close(fd);
        }
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
    if (::fchmod(fd, mode) != 0 || (file_ = ::fdopen(fd, "wb")) == nullptr) {
        error_ = "cannot prepare " + temporary_ + ": " + std::strerror(errno);
        ::close(fd);
        std::remove(temporary_.c_str());
        temporary_.clear();
    }
}

AtomicFile::~AtomicFile()
{
    if (file_ != nullptr) {
        std::fclose(file_);
        if (!temporary_.empty())
            std::remove(temporary_.c_str());
    }
}

bool AtomicFile::commit()
{
    if (file_ == nullptr)
        return false;
    const bool written = std::fflush(file_) == 0 && !std::ferror(file_);
    const int flushError = errno;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    const std::string shown = temporary_.empty() ? target_ : temporary_;
    if (!written || !closed) {
        error_ = "cannot write " + shown + ": " + std::strerror(written ? errno : flushError);
        if (!temporary_.empty())
            std::remove(temporary_.c_str());
        return false;
    }
    if (temporary_.empty())
        return true;
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        error_ = "cannot rename " + temporary_ + " to " + target_ + ": " + std::strerror(errno);
        std::remove(temporary_.c_str());
        return false;
    }
    return true;
}

void skipByteOrderMark(std::string& text)
{
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
}

bool readFile(const std::string& path, std::string& text, std::string& error)
{
    std::ostringstream s;
    if (path == "-") {
        s << std::cin.rdbuf();
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            error = "cannot open " + path + ": " + std::strerror(errno);
            return false;
        }
        s << in.rdbuf();
    }
    text = s.str();
    skipByteOrderMark(text);
    return true;
}

bool writeFileAtomically(const std::string& command, const std::string& path, const std::string& bytes)
{
    AtomicFile file(path);
    if (!file.ok()) {
        report(command, file.error());
        return false;
    }
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), file.get());
    if (!file.commit()) {
        report(command, file.error());
        return false;
    }
    return true;
}

std::string Formatter::length(double v) const { return fixed(v, precision_); }
std::string Formatter::angle(double v) const { return fixed(v, precision_ + 5); }
std::string Formatter::fixed(double v, int decimals) const
{
    if (v == 0.0)
        v = 0.0;  // no "-0.0000"
    return fmt::format("{:.{}f}", v, decimals);
}

bool readInputLines(const IoOptions& io, std::vector<std::string>& lines, std::string& error)
{
    lines.clear();
    if (io.haveInputString) {
        std::string current;
        for (char c : io.inputString) {
            if (c == '\n' || c == ';') {
                lines.push_back(current);
                current.clear();
            } else {
                current += c;
            }
        }
        lines.push_back(current);
        return true;
    }
    std::istream* in = &std::cin;
    std::ifstream file;
    if (!io.inputFile.empty() && io.inputFile != "-") {
        file.open(io.inputFile, std::ios::binary);
        if (!file) {
            error = "cannot open input file " + io.inputFile + ": " + std::strerror(errno);
            return false;
        }
        in = &file;
    }
    std::string line;
    while (std::getline(*in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (lines.empty())
            skipByteOrderMark(line);
        lines.push_back(line);
    }
    if (in->bad()) {
        error = "error while reading the input";
        return false;
    }
    return true;
}

void report(const std::string& command, const std::string& message)
{
    std::fprintf(stderr, "tervala %s: %s\n", command.c_str(), message.c_str());
}

int runLines(const std::string& command, const IoOptions& io,
             const std::function<LineResult(const std::vector<std::string>&)>& process)
{
    std::vector<std::string> lines;
    std::string error;
    if (!readInputLines(io, lines, error)) {
        report(command, error);
        return 2;
    }
    std::unique_ptr<AtomicFile> file;
    std::FILE* out = stdout;
    if (!io.outputFile.empty()) {
        file = std::make_unique<AtomicFile>(io.outputFile);
        if (!file->ok()) {
            report(command, file->error());
            return 2;
        }
        out = file->get();
    }
    int failed = 0;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const std::string& line = lines[k];
        if (isPassThrough(line)) {
            // A trailing empty piece of --input-string is no line of its own.
            if (!(io.haveInputString && k + 1 == lines.size() && line.empty()))
                std::fprintf(out, "%s\n", line.c_str());
            continue;
        }
        const LineResult r = process(splitFields(line));
        if (!r.error.empty()) {
            // A wrong file (or wrong subcommand) fails on every line: list the
            // first few and count the rest.
            if (++failed <= kListedBadLines)
                report(command, "line " + std::to_string(k + 1) + ": " + r.error);
            // Keep one output line per input line: the error becomes a comment
            // that later tools in a pipe pass through.
            std::fprintf(out, "# error: %s\n", r.error.c_str());
            continue;
        }
        for (std::size_t i = 0; i < r.fields.size(); ++i)
            std::fprintf(out, i == 0 ? "%s" : " %s", r.fields[i].c_str());
        std::fprintf(out, "\n");
    }
    if (file && !file->commit()) {
        report(command, file->error());
        return 2;
    }
    std::fflush(stdout);
    if (failed > kListedBadLines)
        report(command, std::to_string(failed - kListedBadLines) + " further bad lines not listed");
    if (failed > 0) {
        report(command, std::to_string(failed) + " of the input lines failed");
        return 1;
    }
    return 0;
}

} // namespace cli
} // namespace tervala
