#include "Egm96Text.h"

#include <cstdint>
#include <cstring>
#include <set>
#include <sstream>

#include "Text.h"

namespace tervala {
namespace cli {
namespace {

constexpr int kMaxDegree = 360;

template <typename T>
void put(std::string& out, T value)
{
    char raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof(T));  // the records are little-endian, as this machine
    out.append(raw, sizeof(T));
}

// Fortran-style "D" exponents become "E" before parsing.
bool parseCoefficient(std::string field, double& value, std::string& error)
{
    for (char& c : field)
        if (c == 'D' || c == 'd')
            c = 'E';
    return parseNumber(field, value, error);
}

struct Record {
    long n = 0, m = 0;
    double v[4] = {0, 0, 0, 0};
};

bool convert(const std::string& text, std::size_t minFields, std::size_t maxFields, const char* layout,
             std::vector<Record>& records, std::vector<std::string>& errors)
{
    std::istringstream in(text);
    std::string line;
    int number = 0;
    std::set<long> seen;
    const std::size_t before = errors.size();
    while (std::getline(in, line)) {
        ++number;
        if (isPassThrough(line))
            continue;
        const std::vector<std::string> f = splitFields(line);
        const std::string where = "line " + std::to_string(number) + ": ";
        if (f.size() < minFields || f.size() > maxFields) {
            errors.push_back(where + "expected " + layout + ", got " + std::to_string(f.size()) + " fields");
            continue;
        }
        Record r;
        std::string why;
        if (!parseInteger(f[0], 0, kMaxDegree, r.n, why) || !parseInteger(f[1], 0, r.n, r.m, why)) {
            errors.push_back(where + "degree and order must satisfy 0 <= m <= n <= 360: " + why);
            continue;
        }
        bool ok = true;
        for (std::size_t i = 2; i < f.size() && ok; ++i)
            if (!parseCoefficient(f[i], r.v[i - 2], why)) {
                errors.push_back(where + why);
                ok = false;
            }
        if (!ok)
            continue;
        if (!seen.insert(r.n * 1000 + r.m).second) {
            errors.push_back(where + "(" + std::to_string(r.n) + ", " + std::to_string(r.m) + ") appears twice");
            continue;
        }
        records.push_back(r);
    }
    return errors.size() == before;
}

} // namespace

bool convertCoefficientText(const std::string& text, std::string& out, std::vector<std::string>& errors)
{
    std::vector<Record> records;
    if (!convert(text, 4, 6, "n m C S [sigmaC sigmaS]", records, errors))
        return false;
    const Record* last = nullptr;
    for (const Record& r : records)
        if (r.n == kMaxDegree && r.m == kMaxDegree)
            last = &r;
    if (last == nullptr) {
        errors.push_back("no (360, 360) record: the loader reads up to and including it, so it must be present");
        return false;
    }
    out.clear();
    auto write = [&out](const Record& r) {
        put<std::int32_t>(out, static_cast<std::int32_t>(r.n));
        put<std::int32_t>(out, static_cast<std::int32_t>(r.m));
        for (double v : r.v)
            put<double>(out, v);
    };
    for (const Record& r : records)
        if (&r != last)
            write(r);
    write(*last);
    return true;
}

bool convertCorrectionText(const std::string& text, std::string& out, std::vector<std::string>& errors)
{
    std::vector<Record> records;
    if (!convert(text, 4, 4, "n m c s", records, errors))
        return false;
    out.clear();
    for (const Record& r : records) {
        put<std::int32_t>(out, static_cast<std::int32_t>(r.n));
        put<std::int32_t>(out, static_cast<std::int32_t>(r.m));
        put<double>(out, r.v[0]);
        put<double>(out, r.v[1]);
    }
    return true;
}

} // namespace cli
} // namespace tervala
