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
#include <utility>
#include <vector>

#include "Text.h"
#include "platform/Files.h"

namespace tervala {
namespace cli {

struct IoOptions {
    std::string inputString;  // --input-string: lines separated by newlines or ';'
    bool haveInputString = false;
    std::string inputFile;    // --input-file (- for standard input)
    std::string outputFile;   // --output-file (see AtomicFile)
    int precision = 4;        // decimals of lengths; angles get precision + 5
    long skipLines = 0;       // --skip-lines: header lines dropped unread
    std::string delimiter;    // --delimiter (empty: detected from the first data line)
    std::string columns;      // --columns: 1-based input fields holding the coordinates
    bool eastingFirst = false;  // --order en: grid coordinates easting before northing
};

// The tool's output files: written in place or replaced atomically by what
// they are (see platform::ReplacingFile).
using AtomicFile = platform::ReplacingFile;

// Removes a UTF-8 byte-order mark (which some editors put at the start of a
// text file) from the start of `text`.
void skipByteOrderMark(std::string& text);

// The whole contents of a file ("-" for standard input), without a leading
// byte-order mark; false with a message when it cannot be read.
bool readFile(const std::string& path, std::string& text, std::string& error);

// Writes `bytes` to `path` completely or not at all (through AtomicFile);
// reports a failure as "tervala <command>: ..." and returns false.
bool writeFileAtomically(const std::string& command, const std::string& path, const std::string& bytes);

// Writes every (path, bytes) pair or none (platform::commitTogether): on a
// full disk or any failure no target changes. Reports a failure as
// "tervala <command>: ..." and returns false.
bool writeFilesTogether(const std::string& command, const std::vector<std::pair<std::string, std::string>>& files);

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

// Result of processing one line: either output fields or an error message.
struct LineResult {
    std::vector<std::string> fields;
    std::string error;
    std::string warning;  // printed with the line number; the line still succeeds
};

// Bad lines reported one by one on standard error; the rest are counted.
constexpr int kListedBadLines = 20;

// What the first coordinate of a subcommand's lines looks like, which tells
// a point identifier before it apart.
enum class FirstField {
    Number,    // grid or geocentric coordinates
    Latitude,  // an angle, decimal or sexagesimal
    Zone,      // a UTM zone such as 52S or 52north, or a number when the zone is an option
    ZoneOrPole,  // as Zone, or the polar grids' north / south
    Mgrs,      // an MGRS reference: digits, or a polar letter A, B, Y, Z, then letters
};

// Where a subcommand's coordinates sit on a line: `least` to `most` fields
// (one more when a zone field leads them), the optional ones taken while
// they are numbers.
struct FieldLayout {
    std::size_t least, most;
    FirstField first;
};

// The parts of one input line: an identifier (or, with --columns, the
// fields before the first coordinate column), the coordinates, the fields
// after them and a trailing "# comment".
struct LineFields {
    std::vector<std::string> before, coordinates, after;
    std::string comment;
};

// Splits `line` by `layout` (or by the 1-based `columns` when not empty);
// false with a message for an empty coordinate field, a decimal comma, a
// number left over after the coordinates, or a first field that could be
// either an identifier or a latitude.
bool splitLine(const std::string& line, Delimiter delimiter, const FieldLayout& layout,
               const std::vector<std::size_t>& columns, LineFields& out, std::string& error);

// Parses a --columns list ("2,3,4"): distinct whole numbers from 1.
bool parseColumns(const std::string& text, std::vector<std::size_t>& columns, std::string& error);

// Reads the input line by line, processes each with `process` (called with
// the coordinate fields, never for pass-through lines) and writes each
// result before reading on, flushing every line unless the output is a
// regular file. Returns the exit status: 0 when every line succeeded, 1 when
// any failed, 2 when the input, the output or an option could not be used.
int runLines(const std::string& command, const IoOptions& io, const FieldLayout& layout,
             const std::function<LineResult(const std::vector<std::string>&)>& process);

// Prints "tervala <command>: <message>" on standard error.
void report(const std::string& command, const std::string& message);

} // namespace cli
} // namespace tervala

#endif
