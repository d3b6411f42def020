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
        platform::File in = platform::openFile(path, "rb");
        if (!in) {
            error = "cannot open " + path + ": " + std::strerror(errno);
            return false;
        }
        char buffer[65536];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0)
            s.write(buffer, static_cast<std::streamsize>(n));
        if (std::ferror(in.get())) {
            error = "cannot read " + path + ": " + std::strerror(errno);
            return false;
        }
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
        file_ = platform::openFile(io_.inputFile, "rb").release();
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

// A field that is a single hemisphere letter of `letters` ("NSns", "EWew").
bool isLoneLetter(const std::string& f, const char* letters)
{
    return f.size() == 1 && std::strchr(letters, f[0]) != nullptr;
}

// A field that starts with a hemisphere letter of `letters` and a digit
// ("N37", "E127d15").
bool startsWithLetter(const std::string& f, const char* letters)
{
    return f.size() >= 2 && std::strchr(letters, f[0]) != nullptr && f[1] >= '0' && f[1] <= '9';
}

// A field that is a number with a hemisphere letter of `letters` after it
// ("00.5N").
bool endsWithLetter(const std::string& f, const char* letters)
{
    return f.size() >= 2 && std::strchr(letters, f.back()) != nullptr && isNumber(f.substr(0, f.size() - 1));
}

std::string joined(const std::vector<std::string>& f, std::size_t from, std::size_t to)
{
    std::string out;
    for (std::size_t i = from; i < to; ++i)
        out += (i > from ? " " : "") + f[i];
    return out;
}

// One angle written over several blank-separated fields with its hemisphere
// letter after the numbers ("37 30 00.5 N", "37 30 00.5N"): the fields from
// `k` up to and including the letter; false when the fields at `k` are not
// written so.
bool letterAfter(const std::vector<std::string>& f, std::size_t k, const char* letters, AngleKind kind,
                 std::size_t& end)
{
    std::size_t i = k;
    while (i < f.size() && i < k + 3 && isNumber(f[i]))
        ++i;
    // An angle written with its markers and the letter apart ("37º30’00.5” N",
    // "37d30'00.5\" N"): one field, then the letter.
    if (i == k && k + 1 < f.size() && isLoneLetter(f[k + 1], letters))
        ++i;
    const bool lone = i < f.size() && i > k && isLoneLetter(f[i], letters);
    if (!lone && !(i < f.size() && i < k + 3 && endsWithLetter(f[i], letters)))
        return false;
    // Only an angle that reads as one ("37.5 127.3 100 N" is no angle but
    // coordinates and a code).
    double ignored = 0;
    std::string why;
    if (!parseAngle(joined(f, k, i + 1), kind, ignored, why))
        return false;
    end = i + 1;
    return true;
}

// One angle with its hemisphere letter first ("N 37 30 00.5", "N37 30
// 00.5"): the lettered field and the numbers after it, at most `most`
// components; false when the field at `k` is not lettered.
bool letterBefore(const std::vector<std::string>& f, std::size_t k, const char* letters, std::size_t most,
                  std::size_t& end, std::size_t& components)
{
    if (k >= f.size())
        return false;
    std::size_t i = k;
    components = 0;
    if (isLoneLetter(f[k], letters))
        ++i;
    else if (startsWithLetter(f[k], letters)) {
        ++i;
        ++components;
    } else
        return false;
    while (i < f.size() && components < most && isNumber(f[i])) {
        ++i;
        ++components;
    }
    end = i;
    return components > 0;
}

// Latitude and longitude written as field sheets write them, components
// separated by blanks and each angle marked by its hemisphere letter, before
// or after ("37 30 00.5 N 127 15 00 E", "N37 30 00.5 E127 15 00"): each angle
// is the run of numbers up to its letter. On a match the two angles are
// joined into one field each and `end` is one past the longitude's last
// field. False with an empty `error` when the fields at `k` are not written
// so; with a message when they are but cannot be read one way only.
bool letteredAngles(const std::vector<std::string>& f, std::size_t k, std::vector<std::string>& angles,
                    std::size_t& end, std::string& error)
{
    std::size_t latEnd = 0, lonStart = 0, latComponents = 0;
    if (letterAfter(f, k, "NSns", AngleKind::Latitude, latEnd)) {
        latComponents = latEnd - k - (isLoneLetter(f[latEnd - 1], "NSns") ? 1 : 0);
        lonStart = latEnd;
    } else if (letterBefore(f, k, "NSns", 3, latEnd, latComponents)) {
        // The latitude's numbers end where the lettered longitude starts;
        // without one this is no lettered line ("N1 37.5 127.3" is a point
        // named N1, judged by the caller).
        if (latEnd >= f.size() || !(isLoneLetter(f[latEnd], "EWew") || startsWithLetter(f[latEnd], "EWew")))
            return false;
        lonStart = latEnd;
    } else {
        return false;
    }
    const std::string latitude = joined(f, k, latEnd);
    std::size_t lonEnd = 0, lonComponents = 0;
    if (letterAfter(f, lonStart, "EWew", AngleKind::Longitude, lonEnd)) {
        angles = {latitude, joined(f, lonStart, lonEnd)};
        end = lonEnd;
        return true;
    }
    // Letter first: the longitude takes as many components as the latitude
    // has; a number after them could be one more component or the height,
    // so a line that reads both ways is refused.
    if (letterBefore(f, lonStart, "EWew", latComponents, lonEnd, lonComponents)) {
        double ignored = 0;
        std::string why;
        if (lonComponents == latComponents && latComponents < 3 && lonEnd < f.size() && isNumber(f[lonEnd]) &&
            parseAngle(joined(f, lonStart, lonEnd + 1), AngleKind::Longitude, ignored, why)) {
            error = "'" + joined(f, lonStart, lonEnd + 1) + "' reads both as a longitude of " +
                    std::to_string(latComponents + 1) + " components and as a longitude of " +
                    std::to_string(latComponents) + " and a height; write the hemisphere letter after the "
                    "longitude, or the angle with d ' \" markers";
            return false;
        }
        angles = {latitude, joined(f, lonStart, lonEnd)};
        end = lonEnd;
        return true;
    }
    // A latitude in one field ("37.5N 127.3") is the ordinary form, read
    // field by field by the caller.
    if (latEnd == k + 1)
        return false;
    error = "the latitude '" + latitude + "' has a hemisphere letter but the longitude after it has none; write "
            "E or W with the longitude";
    return false;
}

// A hemisphere letter or a unit standing alone: followed by a number, it
// says the numbers around it were meant as coordinates.
bool isLetterOrUnit(const std::string& f)
{
    return isLoneLetter(f, "NSEWnsew") || f == "m" || f == "ft";
}

// Bytes that no coordinate line holds and that would otherwise be cut or
// misread further on: NUL (UTF-16 text, or a damaged file) and the no-break
// spaces that word processors put between numbers.
bool checkCharacters(const std::string& line, std::string& error)
{
    if (line.compare(0, 2, "\xFF\xFE") == 0 || line.compare(0, 2, "\xFE\xFF") == 0) {
        error = "the input is UTF-16 text (it starts with a UTF-16 byte-order mark); convert it to UTF-8, for "
                "example with iconv -f UTF-16 -t UTF-8";
        return false;
    }
    const std::size_t nul = line.find('\0');
    if (nul != std::string::npos) {
        // UTF-16 text read as bytes has a NUL beside every ASCII character.
        std::size_t nuls = 0;
        for (char c : line)
            nuls += c == '\0';
        error = 2 * nuls + 2 >= line.size()
                    ? "the line holds a NUL byte beside every character: the input looks like UTF-16 text; convert "
                      "it to UTF-8, for example with iconv -f UTF-16 -t UTF-8"
                    : "the line holds a NUL byte at character " + std::to_string(nul + 1) + "; no field may hold one";
        return false;
    }
    static const struct {
        const char* bytes;
        const char* name;
    } spaces[] = {{"\xC2\xA0", "a no-break space (U+00A0)"},
                  {"\xE2\x80\xAF", "a narrow no-break space (U+202F)"},
                  {"\xE2\x80\x87", "a figure space (U+2007)"}};
    const std::string body = line.substr(0, line.find('#'));
    for (const auto& space : spaces) {
        const std::size_t at = body.find(space.bytes);
        if (at != std::string::npos) {
            error = "the line holds " + std::string(space.name) + " at byte " + std::to_string(at + 1) +
                    "; separate fields with ordinary blanks, commas, semicolons or tabs";
            return false;
        }
    }
    return true;
}

// True for an output field that spells a number that is not finite.
bool notFinite(const std::string& field)
{
    std::string lower;
    for (char c : field)
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (!lower.empty() && (lower[0] == '-' || lower[0] == '+'))
        lower.erase(0, 1);
    return lower == "inf" || lower == "nan" || lower == "infinity" || lower.compare(0, 4, "nan(") == 0;
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
    if (!checkCharacters(line, error))
        return false;
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
        const bool lettered = layout.first == FirstField::Latitude && delimiter == Delimiter::Blank;
        std::vector<std::string> angles;
        std::size_t anglesEnd = 0;
        std::size_t merged = 0;  // input fields joined into the two angles, less two
        bool haveAngles = lettered && letteredAngles(f, 0, angles, anglesEnd, error);
        if (!error.empty())
            return false;
        if (!haveAngles && !f.empty() && !f[0].empty() && !startsLikeNumber(f[0]) &&
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
            haveAngles = lettered && letteredAngles(f, 1, angles, anglesEnd, error);
            if (!error.empty())
                return false;
        }
        if (haveAngles) {
            // The two angles stand as fields k and k + 1; the rest follows.
            std::vector<std::string> rest(f.begin(), f.begin() + static_cast<std::ptrdiff_t>(k));
            rest.insert(rest.end(), angles.begin(), angles.end());
            rest.insert(rest.end(), f.begin() + static_cast<std::ptrdiff_t>(anglesEnd), f.end());
            f.swap(rest);
            merged = anglesEnd - k - 2;
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
            index.push_back(i + 1 + (i >= k + 2 ? merged : 0));
        }
        out.after.assign(f.begin() + static_cast<std::ptrdiff_t>(end), f.end());
        if (!out.after.empty() && isNumber(out.after[0])) {
            error = "field " + std::to_string(end + merged + 1) + " " + quote(out.after[0]) + " is a number after the " +
                    std::to_string(end - k) + " coordinates this command reads; say which fields are the "
                    "coordinates with --columns";
            return false;
        }
        // Codes and descriptions pass through, but a hemisphere letter or a
        // unit followed by a number anywhere among them ("m 55.2", "N 127 15
        // E") means coordinates that were not read as such.
        for (std::size_t i = 0; i + 1 < out.after.size(); ++i)
            if (isLetterOrUnit(out.after[i]) && isNumber(out.after[i + 1])) {
                error = "fields " + std::to_string(end + merged + i + 1) + "-" + std::to_string(end + merged + i + 2) +
                        " " +
                        quote(out.after[i] + " " + out.after[i + 1]) + " after the coordinates read as " +
                        (isLoneLetter(out.after[i], "NSEWnsew") ? "a hemisphere letter" : "a unit") +
                        " and a number, not as a code; write the coordinates as this command reads them or say "
                        "which fields they are with --columns";
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
    if (io.haveInputString && !io.inputFile.empty()) {
        report(command, "--input-string and --input-file " + io.inputFile + ": give the input one way (the file would "
                        "not be read)");
        return 2;
    }
    if (!io.inputFile.empty() && io.inputFile != "-" && !io.outputFile.empty()) {
        // The same file by identity (links, hard links and relative paths
        // followed), not by name: the results would replace the coordinates
        // being read.
        platform::FileIdentity input, output;
        int ignored = 0;
        if (platform::identifyFile(io.inputFile, input, ignored) &&
            platform::identifyFile(io.outputFile, output, ignored) && input.sameFile(output)) {
            report(command, "--output-file " + io.outputFile + " is the input file " + io.inputFile +
                                ": the results would replace the coordinates being read; write them to another file");
            return 2;
        }
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
    long number = 0, dataLines = 0;
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
            ++dataLines;
            if (splitLine(line, delimiter, layout, columns, parts, r.error))
                r = process(parts.coordinates);
            // One check for every command: a result that overflowed (or
            // came out undefined) is no result.
            for (const std::string& field : r.fields)
                if (r.error.empty() && notFinite(field))
                    r.error = "the result is not finite (" + field + "): an input value is too large for this "
                              "computation";
            if (r.error.empty() && !r.warning.empty())
                report(command, "line " + std::to_string(number) + ": warning: " + r.warning);
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
    if (dataLines == 0)
        report(command, "note: the input held no coordinate lines" +
                            std::string(number > 0 ? " (only blank or comment lines)" : "") + "; nothing was computed");
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
