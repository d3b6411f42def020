// Line-in, line-out processing shared by every coordinate subcommand: input
// from standard input, a file or --input-string; one output line per input
// line; comment and blank lines passed through; bad lines reported on
// standard error with their number, marked in the output, and counted.
#ifndef TERVALA_TOOLS_CLI_IO_H
#define TERVALA_TOOLS_CLI_IO_H

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tervala {
namespace cli {

struct IoOptions {
    std::string inputString;  // --input-string: lines separated by newlines or ';'
    bool haveInputString = false;
    std::string inputFile;    // --input-file (- for standard input)
    std::string outputFile;   // --output-file (see AtomicFile)
    int precision = 4;        // decimals of lengths; angles get precision + 5
};

// An output file opened as what it is. A regular file (or a missing one) is
// written under a temporary name beside it and renamed into place by
// commit(), so a reader never sees a partial file; an existing file keeps
// its permission bits. A symbolic link is followed and its target replaced
// that way, leaving the link. A FIFO or character device is opened and
// written directly (renaming over /dev/null would replace the device); a
// local socket is connected to and written. Directories
// and block devices are refused. Destroying the object without commit()
// removes the temporary file.
class AtomicFile {
public:
    explicit AtomicFile(std::string path);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool ok() const { return file_ != nullptr; }
    std::FILE* get() { return file_; }
    const std::string& error() const { return error_; }
    // Flushes, closes and (for a regular file) renames; false (with
    // error()) when any step fails.
    bool commit();

private:
    std::string target_;     // the file replaced (the link's target for a link)
    std::string temporary_;  // empty when writing directly
    std::FILE* file_ = nullptr;
    std::string error_;
};

// Removes a UTF-8 byte-order mark (which some editors put at the start of a
// text file) from the start of `text`.
void skipByteOrderMark(std::string& text);

// The whole contents of a file ("-" for standard input), without a leading
// byte-order mark; false with a message when it cannot be read.
bool readFile(const std::string& path, std::string& text, std::string& error);

// Writes `bytes` to `path` completely or not at all (through AtomicFile);
// reports a failure as "tervala <command>: ..." and returns false.
bool writeFileAtomically(const std::string& command, const std::string& path, const std::string& bytes);

// Formats numbers for output lines.
class Formatter {
public:
    explicit Formatter(int precision) : precision_(precision) {}
    std::string length(double v) const;  // precision decimals
    std::string angle(double v) const;   // precision + 5 decimals (degrees)
    std::string fixed(double v, int decimals) const;

private:
    int precision_;
};

// Reads every line of the selected input (a leading byte-order mark of a
// file or standard input skipped). Returns false (with a message) when
// the input cannot be opened.
bool readInputLines(const IoOptions& io, std::vector<std::string>& lines, std::string& error);

// Result of processing one line: either output fields or an error message.
struct LineResult {
    std::vector<std::string> fields;
    std::string error;
};

// Bad lines reported one by one on standard error; the rest are counted.
constexpr int kListedBadLines = 20;

// Processes every input line with `process` (called with the line's fields,
// never for pass-through lines) and writes the results. Returns the exit
// status: 0 when every line succeeded, 1 when any failed, 2 when the input or
// output could not be used.
int runLines(const std::string& command, const IoOptions& io,
             const std::function<LineResult(const std::vector<std::string>&)>& process);

// Prints "tervala <command>: <message>" on standard error.
void report(const std::string& command, const std::string& message);

} // namespace cli
} // namespace tervala

#endif
