#include "Text.h"

#include <cerrno>
#include <charconv>
#include <string_view>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace tervala {
namespace cli {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string trim(const std::string& s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

// Quotes a field for an error message, shortened if it is long.
std::string quoted(const std::string& field)
{
    std::string shown = field.size() > 40 ? field.substr(0, 37) + "..." : field;
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20)
            c = '?';
    return "'" + shown + "'";
}

// Plain decimal notation: [sign] digits [. digits] [e [sign] digits], at
// least one digit in the mantissa. strtod alone would also take hexadecimal
// ("0x3C" as 60), "inf", "nan" and "infinity", none of which a surveyor means.
bool isDecimalNumber(std::string_view s)
{
    std::size_t i = 0, digits = 0;
    auto isDigit = [&](std::size_t k) { return k < s.size() && s[k] >= '0' && s[k] <= '9'; };
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    for (; isDigit(i); ++i)
        ++digits;
    if (i < s.size() && s[i] == '.')
        for (++i; isDigit(i); ++i)
            ++digits;
    if (digits == 0)
        return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        if (!isDigit(i))
            return false;
        while (isDigit(i))
            ++i;
    }
    return i == s.size();
}

// The markers that may follow a component of a DMS angle.
enum class Marker { None, Degrees, Minutes, Seconds, Colon };

// Reads a marker at position i (ASCII or UTF-8 degree/prime/double prime and
// their look-alikes).
Marker readMarker(const std::string& s, std::size_t& i)
{
    if (i >= s.size())
        return Marker::None;
    const char c = s[i];
    if (c == 'd' || c == 'D') {
        ++i;
        return Marker::Degrees;
    }
    if (c == '\'') {
        ++i;
        return Marker::Minutes;
    }
    if (c == '"') {
        ++i;
        return Marker::Seconds;
    }
    if (c == ':') {
        ++i;
        return Marker::Colon;
    }
    // The degree sign, and the ordinal sign that keyboards put in its place.
    if (s.compare(i, 2, "\xC2\xB0") == 0 || s.compare(i, 2, "\xC2\xBA") == 0) {
        i += 2;
        return Marker::Degrees;
    }
    // Prime, and the typographic apostrophe word processors turn ' into.
    if (s.compare(i, 3, "\xE2\x80\xB2") == 0 || s.compare(i, 3, "\xE2\x80\x99") == 0) {
        i += 3;
        return Marker::Minutes;
    }
    // Double prime, and the typographic closing quote that replaces ".
    if (s.compare(i, 3, "\xE2\x80\xB3") == 0 || s.compare(i, 3, "\xE2\x80\x9D") == 0) {
        i += 3;
        return Marker::Seconds;
    }
    if (s.compare(i, 2, "''") == 0) {  // two single quotes for seconds
        i += 2;
        return Marker::Seconds;
    }
    return Marker::None;
}

// An unsigned decimal number without exponent: digits [. digits] or . digits.
bool readUnsigned(const std::string& s, std::size_t& i, double& value, bool& hasFraction)
{
    const std::size_t start = i;
    std::size_t digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        ++i;
        ++digits;
    }
    hasFraction = false;
    if (i < s.size() && s[i] == '.') {
        ++i;
        hasFraction = true;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        i = start;
        return false;
    }
    value = std::strtod(s.substr(start, i - start).c_str(), nullptr);
    return std::isfinite(value);
}

int hemisphereSign(char c, AngleKind kind, std::string& error)
{
    const char u = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    if (kind == AngleKind::Latitude && (u == 'N' || u == 'S'))
        return u == 'N' ? 1 : -1;
    if (kind == AngleKind::Longitude && (u == 'E' || u == 'W'))
        return u == 'E' ? 1 : -1;
    if (u == 'N' || u == 'S' || u == 'E' || u == 'W') {
        error = std::string("hemisphere letter '") + c + "' does not fit a " +
                (kind == AngleKind::Latitude ? "latitude" : kind == AngleKind::Longitude ? "longitude" : "plain angle");
        return 0;
    }
    return 2;  // not a hemisphere letter
}

} // namespace

Delimiter detectDelimiter(const std::string& line)
{
    const std::string body = line.substr(0, line.find('#'));
    if (trim(body).find('\t') != std::string::npos)
        return Delimiter::Tab;
    if (body.find(';') != std::string::npos)
        return Delimiter::Semicolon;
    if (body.find(',') != std::string::npos)
        return Delimiter::Comma;
    return Delimiter::Blank;
}

bool parseDelimiter(const std::string& text, Delimiter& delimiter, std::string& error)
{
    static const struct {
        const char* name;
        const char* character;
        Delimiter value;
    } names[] = {{"comma", ",", Delimiter::Comma},
                 {"semicolon", ";", Delimiter::Semicolon},
                 {"tab", "\t", Delimiter::Tab},
                 {"blank", " ", Delimiter::Blank},
                 {"space", " ", Delimiter::Blank}};
    for (const auto& n : names)
        if (text == n.name || text == n.character) {
            delimiter = n.value;
            return true;
        }
    error = "expected comma, semicolon, tab or blank, got " + quoted(text);
    return false;
}

char delimiterChar(Delimiter delimiter)
{
    switch (delimiter) {
    case Delimiter::Comma:
        return ',';
    case Delimiter::Semicolon:
        return ';';
    case Delimiter::Tab:
        return '\t';
    default:
        return ' ';
    }
}

std::vector<std::string> splitDelimited(const std::string& body, Delimiter delimiter)
{
    std::vector<std::string> fields;
    if (delimiter == Delimiter::Blank) {
        std::size_t i = 0;
        while (true) {
            while (i < body.size() && isBlank(body[i]))
                ++i;
            if (i >= body.size())
                return fields;
            const std::size_t start = i;
            while (i < body.size() && !isBlank(body[i]))
                ++i;
            fields.push_back(body.substr(start, i - start));
        }
    }
    const char c = delimiterChar(delimiter);
    if (trim(body).empty())
        return fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = body.find(c, start);
        fields.push_back(trim(body.substr(start, end == std::string::npos ? std::string::npos : end - start)));
        if (end == std::string::npos)
            return fields;
        start = end + 1;
    }
}

bool isNumber(const std::string& field) { return isDecimalNumber(trim(field)); }

bool isPassThrough(const std::string& line)
{
    for (char c : line) {
        if (isBlank(c))
            continue;
        return c == '#';
    }
    return true;
}

std::vector<std::string> splitFields(const std::string& line)
{
    std::vector<std::string> fields;
    std::string current;
    for (char c : line) {
        if (c == '#')
            break;
        if (isBlank(c) || c == ',') {
            if (!current.empty()) {
                fields.push_back(current);
                current.clear();
            }
        } else {
            current += c;
        }
    }
    if (!current.empty())
        fields.push_back(current);
    return fields;
}

bool parseNumber(const std::string& field, double& value, std::string& error)
{
    std::size_t b = 0, e = field.size();
    while (b < e && isBlank(field[b]))
        ++b;
    while (e > b && isBlank(field[e - 1]))
        --e;
    const std::string_view s(field.data() + b, e - b);
    if (s.empty()) {
        error = "expected a number, got nothing";
        return false;
    }
    if (!isDecimalNumber(s)) {
        error = "expected a number (decimal, such as -12.5 or 1.5e3), got " + quoted(field);
        return false;
    }
    // from_chars rounds exactly as strtod does, without the locale.
    double v = 0;
    const char* first = s.data() + (s[0] == '+' ? 1 : 0);
    const std::from_chars_result r = std::from_chars(first, s.data() + s.size(), v);
    if (r.ec == std::errc::result_out_of_range) {
        // Overflow is an error; underflow to a tiny value is a fine number.
        errno = 0;
        v = std::strtod(std::string(s).c_str(), nullptr);
        if (!std::isfinite(v) || (errno == ERANGE && std::fabs(v) > 1.0)) {
            error = "the number " + quoted(field) + " is not finite";
            return false;
        }
    }
    value = v;
    return true;
}

bool parseInteger(const std::string& field, long lo, long hi, long& value, std::string& error)
{
    const std::string s = trim(field);
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || end == s.c_str() || *end != '\0' || errno == ERANGE) {
        error = "expected a whole number, got " + quoted(field);
        return false;
    }
    if (v < lo || v > hi) {
        error = "the number " + std::to_string(v) + " is outside " + std::to_string(lo) + ".." + std::to_string(hi);
        return false;
    }
    value = v;
    return true;
}

namespace {

// Reading state of one sexagesimal angle: the text, the position, and the
// sign from a leading '-' / '+' or from one hemisphere letter.
struct AngleReader {
    const std::string& s;
    const std::string& field;
    AngleKind kind;
    std::size_t i = 0;
    int sign = 1;
    bool haveSign = false;
    bool haveHemisphere = false;

    void skipBlanks()
    {
        while (i < s.size() && isBlank(s[i]))
            ++i;
    }

    void takeSign()
    {
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            sign = s[i] == '-' ? -1 : 1;
            haveSign = true;
            ++i;
        }
    }

    // One hemisphere letter, before or after the number, instead of a sign.
    // False for a letter that does not fit; true otherwise, whether or not a
    // letter was taken.
    bool takeHemisphere(std::string& error)
    {
        if (i >= s.size() || haveHemisphere)
            return true;
        const int h = hemisphereSign(s[i], kind, error);
        if (h == 0)
            return false;
        if (h == 2)
            return true;
        if (haveSign) {
            error = "angle " + quoted(field) + " has both a sign and a hemisphere letter";
            return false;
        }
        sign = h;
        haveHemisphere = true;
        ++i;
        skipBlanks();
        return true;
    }

    // Up to three components, degrees, minutes and seconds, each with an
    // optional marker; a marked component may skip ahead ("30'" alone is 30
    // minutes). `count` is one past the last slot filled.
    bool takeComponents(double parts[3], int& count, std::string& error)
    {
        count = 0;
        bool fractionSeen = false;
        int colons = 0;
        while (i < s.size() && count < 3) {
            skipBlanks();
            double v = 0;
            bool frac = false;
            if (i >= s.size() || !readUnsigned(s, i, v, frac))
                break;
            if (fractionSeen) {
                error = "in angle " + quoted(field) + " only the last component may have a fraction";
                return false;
            }
            fractionSeen = frac;
            const Marker m = readMarker(s, i);
            int slot = count;
            if (m == Marker::Degrees)
                slot = 0;
            else if (m == Marker::Minutes)
                slot = 1;
            else if (m == Marker::Seconds)
                slot = 2;
            else if (m == Marker::Colon)
                slot = colons++;
            if (slot < count || slot > 2 || (slot != count && m != Marker::Minutes && m != Marker::Seconds)) {
                error = "components of angle " + quoted(field) + " are out of order";
                return false;
            }
            parts[slot] = v;
            count = slot + 1;
        }
        return true;
    }
};

bool checkLatitude(double v, AngleKind kind, const std::string& field, std::string& error)
{
    if (kind == AngleKind::Latitude && std::fabs(v) > 90) {
        error = "latitude " + quoted(field) + " is outside [-90, 90]";
        return false;
    }
    return true;
}

} // namespace

bool parseAngle(const std::string& field, AngleKind kind, double& degrees, std::string& error)
{
    const std::string s = trim(field);
    if (s.empty()) {
        error = "expected an angle, got nothing";
        return false;
    }
    // A plain number (with an exponent, say) is taken as decimal degrees.
    std::string ignored;
    double plain = 0;
    if (parseNumber(s, plain, ignored)) {
        if (!checkLatitude(plain, kind, field, error))
            return false;
        degrees = plain;
        return true;
    }

    AngleReader r{s, field, kind};
    r.takeSign();
    double parts[3] = {0, 0, 0};
    int count = 0;
    if (!r.takeHemisphere(error) || !r.takeComponents(parts, count, error))
        return false;
    r.skipBlanks();
    if (!r.takeHemisphere(error))
        return false;
    if (count == 0 || r.i != s.size()) {
        error = "expected an angle in degrees (37.5, 37d30'00\"N, 37:30:00), got " + quoted(field);
        return false;
    }
    if (parts[1] >= 60 || parts[2] >= 60) {
        error = "minutes and seconds of angle " + quoted(field) + " must be below 60";
        return false;
    }
    const double v = r.sign * (parts[0] + parts[1] / 60 + parts[2] / 3600);
    if (!checkLatitude(v, kind, field, error))
        return false;
    degrees = v;
    return true;
}

bool parseNumberList(const std::string& text, std::size_t count, std::vector<double>& values, std::string& error)
{
    std::vector<std::string> fields;
    std::string current;
    for (char c : text) {
        if (c == ',') {
            fields.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    fields.push_back(current);
    if (fields.size() != count) {
        error = "expected " + std::to_string(count) + " comma-separated numbers, got " + std::to_string(fields.size());
        return false;
    }
    values.clear();
    for (const std::string& f : fields) {
        double v = 0;
        if (!parseNumber(f, v, error))
            return false;
        values.push_back(v);
    }
    return true;
}

} // namespace cli
} // namespace tervala
