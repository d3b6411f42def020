// Text handling of the tervala tool: splitting input lines into fields,
// strict number parsing, and angles in decimal degrees or
// degrees-minutes-seconds.
#ifndef TERVALA_TOOLS_CLI_TEXT_H
#define TERVALA_TOOLS_CLI_TEXT_H

#include <string>
#include <vector>

namespace tervala {
namespace cli {

// True for a line that is empty, white space only, or whose first non-blank
// character is '#': such lines pass through the tool unchanged.
bool isPassThrough(const std::string& line);

// The fields of a line, separated by white space and/or commas. A line that
// ends in a comment ("... # note") keeps only what stands before the '#'.
std::vector<std::string> splitFields(const std::string& line);

// Field separators of coordinate files. Blank: runs of spaces and tabs;
// the others: exactly one character between fields, so two in a row make an
// empty field.
enum class Delimiter { Blank, Comma, Semicolon, Tab };

// The separator of a file judged from its first data line: a tab, else a
// semicolon, else a comma, else blanks.
Delimiter detectDelimiter(const std::string& line);

// A --delimiter value: comma, semicolon, tab, blank, or the character itself.
bool parseDelimiter(const std::string& text, Delimiter& delimiter, std::string& error);

// The character written between output fields for a delimiter.
char delimiterChar(Delimiter delimiter);

// The fields of `body` (a line without its comment), trimmed of blanks;
// empty fields are kept for the caller to judge.
std::vector<std::string> splitDelimited(const std::string& body, Delimiter delimiter);

// True for a plain decimal number (what parseNumber accepts).
bool isNumber(const std::string& field);

// A finite decimal number, the whole field (strtod syntax, no trailing text).
// On failure returns false and says why in `error`.
bool parseNumber(const std::string& field, double& value, std::string& error);

// An integer in [lo, hi], the whole field.
bool parseInteger(const std::string& field, long lo, long hi, long& value, std::string& error);

enum class AngleKind {
    Latitude,   // hemisphere letters N, S; must lie in [-90, 90]
    Longitude,  // hemisphere letters E, W
    Plain,      // no hemisphere letters
};

// An angle in decimal degrees. Accepts
//   decimal degrees            -37.5   37.5S   127.25E
//   degrees, minutes, seconds  37d30'00.5"N   37°30′00.5″   37:30:00.5   -127d15
//                              37 30 00.5 N (blanks between components)
// (º, ’ and ” are read as °, ′ and ″)
// with an optional sign or one hemisphere letter (before or after). Minutes
// and seconds must be below 60; only the last component may have a fraction.
bool parseAngle(const std::string& field, AngleKind kind, double& degrees, std::string& error);

// Comma-separated list of exactly `count` finite numbers ("1.5,2,-3").
bool parseNumberList(const std::string& text, std::size_t count, std::vector<double>& values, std::string& error);

} // namespace cli
} // namespace tervala

#endif
