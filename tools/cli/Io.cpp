#include "Io.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include <fmt/format.h>

#include "Text.h"
#include "Zones.h"

namespace tervala {
namespace cli {

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

bool writeFilesTogether(const std::string& command, const std::vector<std::pair<std::string, std::string>>& files)
{
    std::vector<std::unique_ptr<AtomicFile>> open;
    std::vector<AtomicFile*> all;
    for (const auto& f : files) {
        open.push_back(std::make_unique<AtomicFile>(f.first));
        if (!open.back()->ok()) {
            report(command, open.back()->error());
            return false;
        }
        all.push_back(open.back().get());
        if (!f.second.empty())
            std::fwrite(f.second.data(), 1, f.second.size(), open.back()->get());
    }
    std::string error;
    if (!platform::commitTogether(all.data(), all.size(), error)) {
        report(command, error);
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
    // Fixed notation rounded exactly, as printf does, without the locale.
    char buffer[400];
    const std::to_chars_result r =
        std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, decimals);
    if (r.ec != std::errc())
        return fmt::format("{:.{}f}", v, decimals);
    return std::string(buffer, r.ptr);
}

namespace {

// The lines of the selected input, one at a time: --input-string (lines
// separated by newlines or ';'), a file, or standard input. A byte-order mark
// before the first line and the carriage return of a CRLF line are removed.
class LineSource {
public:
    explicit LineSource(const IoOptions& io) : io_(io) {}
    ~LineSource()
    {
        reader_.reset();
        if (file_ != nullptr && file_ != stdin)
            std::fclose(file_);
    }
    LineSource(const LineSource&) = delete;
    LineSource& operator=(const LineSource&) = delete;

    bool open(std::string& error)
    {
        if (io_.haveInputString)
            return true;
        if (io_.inputFile.empty() || io_.inputFile == "-") {
            file_ = stdin;
            reader_ = std::make_unique<platform::LineReader>(file_);
            return true;
        }
        file_ = std::fopen(io_.inputFile.c_str(), "rb");
        if (file_ == nullptr) {
            error = "cannot open input file " + io_.inputFile + ": " + std::strerror(errno);
            return false;
        }
        reader_ = std::make_unique<platform::LineReader>(file_);
        return true;
    }

    // The next line; false at the end of the input (or on a read error).
    bool next(std::string& line)
    {
        if (io_.haveInputString) {
            const std::string& text = io_.inputString;
            if (position_ > text.size())
                return false;
            const std::size_t end = text.find_first_of("\n;", position_);
            line.assign(text, position_, end == std::string::npos ? std::string::npos : end - position_);
            position_ = end == std::string::npos ? text.size() + 1 : end + 1;
            // A trailing empty piece is no line of its own.
            return !(end == std::string::npos && line.empty());
        }
        if (!reader_ || !reader_->next(line))
            return false;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (first_)
            skipByteOrderMark(line);
        first_ = false;
        return true;
    }

    bool failed() const { return file_ != nullptr && std::ferror(file_); }

private:
    const IoOptions& io_;
    std::size_t position_ = 0;
    std::FILE* file_ = nullptr;
    std::unique_ptr<platform::LineReader> reader_;
    bool first_ = true;
};

bool startsLikeNumber(const std::string& f)
{
    return !f.empty() && ((f[0] >= '0' && f[0] <= '9') || f[0] == '+' || f[0] == '-' || f[0] == '.');
}

// A polar MGRS reference: A, B, Y or Z and two more letters, then digits.
bool looksLikePolarReference(const std::string& f)
{
    auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (f.size() < 3 || std::string("ABYZabyz").find(f[0]) == std::string::npos || !letter(f[1]) || !letter(f[2]))
        return false;
    for (std::size_t i = 3; i < f.size(); ++i)
        if (f[i] < '0' || f[i] > '9')
            return false;
    return true;
}

bool zoneFirst(const FieldLayout& layout)
{
    return layout.first == FirstField::Zone || layout.first == FirstField::ZoneOrPole;
}

bool isZoneField(const FieldLayout& layout, const std::string& f)
{
    return zoneFirst(layout) && looksLikeZone(f, layout.first == FirstField::ZoneOrPole);
}

// Spellings of a missing or non-finite number, which are no identifier.
bool spellsNonFinite(const std::string& f)
{
    std::string lower;
    for (char c : f)
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return lower == "nan" || lower == "inf" || lower == "infinity";
}

std::string quote(const std::string& field)
{
    return "'" + (field.size() > 40 ? field.substr(0, 37) + "..." : field) + "'";
}

} // namespace

bool parseColumns(const std::string& text, std::vector<std::size_t>& columns, std::string& error)
{
    columns.clear();
    for (const std::string& f : splitDelimited(text, Delimiter::Comma)) {
        long c = 0;
        if (!parseInteger(f, 1, 1000, c, error))
            return false;
        for (std::size_t seen : columns)
            if (seen == static_cast<std::size_t>(c)) {
                error = "column " + f + " is listed twice";
                return false;
            }
        columns.push_back(static_cast<std::size_t>(c));
    }
    if (columns.empty())
        error = "expected a list of columns such as 2,3,4";
    return !columns.empty();
}

bool splitLine(const std::string& line, Delimiter delimiter, const FieldLayout& layout,
               const std::vector<std::size_t>& columns, LineFields& out, std::string& error)
{
    out.before.clear();
    out.coordinates.clear();
    out.after.clear();
    const std::size_t hash = line.find('#');
    out.comment = hash == std::string::npos ? std::string() : line.substr(hash);
    std::vector<std::string> f = splitDelimited(line.substr(0, hash), delimiter);
    std::vector<std::size_t> index;  // 1-based field number of each coordinate
    if (!columns.empty()) {
        std::size_t first = columns[0];
        for (std::size_t c : columns) {
            if (c > f.size()) {
                error = "column " + std::to_string(c) + " is wanted but the line has " + std::to_string(f.size()) +
                        " fields";
                return false;
            }
            out.coordinates.push_back(f[c - 1]);
            index.push_back(c);
            first = std::min(first, c);
        }
        for (std::size_t i = 1; i <= f.size(); ++i)
            if (std::find(columns.begin(), columns.end(), i) == columns.end())
                (i < first ? out.before : out.after).push_back(f[i - 1]);
    } else {
        std::size_t k = 0;
        if (!f.empty() && !f[0].empty() && !startsLikeNumber(f[0]) &&
            !(layout.first == FirstField::ZoneOrPole && isZoneField(layout, f[0])) &&
            !(layout.first == FirstField::Mgrs && looksLikePolarReference(f[0]))) {
            double lat = 0;
            std::string ignored;
            if (spellsNonFinite(f[0])) {
                error = "field 1 " + quote(f[0]) + " is not a number";
                return false;
            }
            const bool angle = layout.first == FirstField::Latitude && parseAngle(f[0], AngleKind::Latitude, lat, ignored);
            if (angle) {
                // "N1" or "S12" reads both as a point name and as a latitude.
                error = "field 1 " + quote(f[0]) + " may be a point identifier or a latitude; say which fields are "
                        "the coordinates with --columns";
                return false;
            }
            out.before.push_back(f[0]);
            k = 1;
        }
        std::size_t least = layout.least, most = layout.most;
        if (k < f.size() && isZoneField(layout, f[k])) {
            ++least;
            ++most;
        }
        std::size_t end = std::min(f.size(), k + least);
        // An optional coordinate is taken when it starts like a number (or
        // spells a non-finite one), so that a bad height is refused rather
        // than copied as a description.
        while (end < std::min(f.size(), k + most) &&
               (f[end].empty() || startsLikeNumber(f[end]) || spellsNonFinite(f[end])))
            ++end;
        for (std::size_t i = k; i < end; ++i) {
            out.coordinates.push_back(f[i]);
            index.push_back(i + 1);
        }
        out.after.assign(f.begin() + static_cast<std::ptrdiff_t>(end), f.end());
        if (!out.after.empty() && isNumber(out.after[0])) {
            error = "field " + std::to_string(end + 1) + " " + quote(out.after[0]) + " is a number after the " +
                    std::to_string(end - k) + " coordinates this command reads; say which fields are the "
                    "coordinates with --columns";
            return false;
        }
    }
    for (std::size_t i = 0; i < out.coordinates.size(); ++i) {
        const std::string& c = out.coordinates[i];
        const std::string where = "field " + std::to_string(index[i]) + " ";
        if (c.empty()) {
            error = where + "is empty";
            return false;
        }
        if (delimiter != Delimiter::Comma && c.find(',') != std::string::npos) {
            error = where + quote(c) + " holds a comma: decimal commas are not read (write 60.5, not 60,5)";
            return false;
        }
        if (delimiter == Delimiter::Comma && c.find_first_of(" \t") != std::string::npos) {
            error = where + quote(c) + " holds a blank: in a comma-separated line a decimal comma (60,5) splits a "
                    "number; write 60.5";
            return false;
        }
    }
    return true;
}

void report(const std::string& command, const std::string& message)
{
    std::fprintf(stderr, "tervala %s: %s\n", command.c_str(), message.c_str());
}

int runLines(const std::string& command, const IoOptions& io, const FieldLayout& layout,
             const std::function<LineResult(const std::vector<std::string>&)>& process)
{
    std::string error;
    std::vector<std::size_t> columns;
    if (!io.columns.empty()) {
        const std::size_t most = layout.most + (zoneFirst(layout) ? 1 : 0);
        if (!parseColumns(io.columns, columns, error)) {
            report(command, "--columns: " + error);
            return 2;
        }
        if (columns.size() < layout.least || columns.size() > most) {
            report(command, "--columns: this command reads " + std::to_string(layout.least) +
                                (most > layout.least ? " to " + std::to_string(most) : std::string()) +
                                " coordinates, got " + std::to_string(columns.size()) + " columns");
            return 2;
        }
    }
    Delimiter delimiter = Delimiter::Blank;
    bool haveDelimiter = !io.delimiter.empty();
    if (haveDelimiter && !parseDelimiter(io.delimiter, delimiter, error)) {
        report(command, "--delimiter: " + error);
        return 2;
    }
    LineSource in(io);
    if (!in.open(error)) {
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
    // A pipe, terminal or FIFO gets each line as soon as it is computed; a
    // regular file is written in blocks.
    const bool flushEachLine = !platform::isRegularFile(out);

    int failed = 0;
    long number = 0;
    std::string line, text;
    LineFields parts;
    while (in.next(line)) {
        if (++number <= io.skipLines)
            continue;
        text.clear();
        if (isPassThrough(line)) {
            text = line;
        } else {
            if (!haveDelimiter) {
                delimiter = detectDelimiter(line);
                haveDelimiter = true;
            }
            LineResult r;
            if (splitLine(line, delimiter, layout, columns, parts, r.error))
                r = process(parts.coordinates);
            if (!r.error.empty()) {
                // A wrong file (or wrong subcommand) fails on every line:
                // list the first few and count the rest.
                if (++failed <= kListedBadLines)
                    report(command, "line " + std::to_string(number) + ": " + r.error);
                // Keep one output line per input line: the error becomes a
                // comment that later tools in a pipe pass through.
                text = "# error: " + r.error;
            } else {
                const char separator = delimiterChar(delimiter);
                bool first = true;
                for (const std::vector<std::string>* group : {&parts.before, &r.fields, &parts.after})
                    for (const std::string& field : *group) {
                        if (!first)
                            text += separator;
                        text += field;
                        first = false;
                    }
                if (!parts.comment.empty())
                    text += " " + parts.comment;
            }
        }
        text += '\n';
        std::fwrite(text.data(), 1, text.size(), out);
        if (flushEachLine)
            std::fflush(out);
    }
    if (in.failed()) {
        report(command, "error while reading the input after line " + std::to_string(number));
        return 2;
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
