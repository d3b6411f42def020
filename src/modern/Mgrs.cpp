// tervala::Mgrs: Military Grid Reference System strings on the UTM and UPS
// grids of tervala::UtmUps.
#include "tervala/Polar.hpp"

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace tervala {
namespace {

constexpr double kSquare = 100000.0;  // 100 km
// The 24 letters of the grid (no I or O); UTM columns take 8 of them per
// zone in three sets, UTM rows cycle through the first 20.
constexpr char kLetters[] = "ABCDEFGHJKLMNPQRSTUVWXYZ";
constexpr char kRows[] = "ABCDEFGHJKLMNPQRSTUV";

// The polar grids: letters of the columns and rows, and the easting or
// northing (in 100 km) at which the first of them starts.
struct PolarLetters {
    const char* columns;
    int firstColumn;
    const char* rows;
    int firstRow;
};
const PolarLetters kPolar[4] = {
    {"JKLPQRSTUXYZ", 8, "ABCDEFGHJKLMNPQRSTUVWXYZ", 8},   // A: south pole, west
    {"ABCFGHJKLPQR", 20, "ABCDEFGHJKLMNPQRSTUVWXYZ", 8},  // B: south pole, east
    {"RSTUXYZ", 13, "ABCDEFGHJKLMNP", 13},                // Y: north pole, west
    {"ABCFGHJ", 20, "ABCDEFGHJKLMNP", 13},                // Z: north pole, east
};
constexpr char kPolarNames[] = "ABYZ";

int indexOf(const char* letters, char c)
{
    for (int i = 0; letters[i] != 0; ++i)
        if (letters[i] == c)
            return i;
    return -1;
}

// Row letters are offset by 5 in even zones; the older lettering adds 10.
int rowOffset(int zone, Mgrs::Lettering lettering)
{
    return (zone % 2 == 0 ? 5 : 0) + (lettering == Mgrs::Lettering::Older ? 10 : 0);
}

// The ellipsoids that keep the older lettering, by their defining constants.
bool usesOlderLettering(const Ellipsoid& e)
{
    struct Defined {
        double a, inverseFlattening;
    };
    static const Defined kOlder[] = {
        {6377397.155, 299.1528128},    // Bessel 1841
        {6378206.4, 294.9786982},      // Clarke 1866
        {6378249.145, 293.465},        // Clarke 1880
    };
    for (const Defined& d : kOlder)
        if (std::fabs(e.a() - d.a) < 1e-3 && std::fabs(e.inverseFlattening() - d.inverseFlattening) < 1e-6)
            return true;
    return false;
}

[[noreturn]] void refuse(const std::string& reference, const std::string& why)
{
    throw std::invalid_argument("mgrs: '" + reference + "': " + why);
}

// The digits of a coordinate within its 100 km square, truncated to
// `precision` digits.
std::string digits(double withinSquare, int precision)
{
    long value = static_cast<long>(std::floor(withinSquare));
    for (int i = precision; i < 5; ++i)
        value /= 10;
    char buf[24];
    std::snprintf(buf, sizeof buf, "%0*ld", precision, value);
    return precision == 0 ? std::string() : std::string(buf);
}

} // namespace

Mgrs::Mgrs(const Ellipsoid& ellipsoid)
    : grids_(ellipsoid), lettering_(usesOlderLettering(ellipsoid) ? Lettering::Older : Lettering::Current)
{
}

Mgrs::Mgrs(const Ellipsoid& ellipsoid, Lettering lettering) : grids_(ellipsoid), lettering_(lettering) {}

std::string Mgrs::forward(double latitude, double longitude, int precision) const
{
    if (precision < 0 || precision > 5)
        throw std::invalid_argument("mgrs: precision " + std::to_string(precision) + " must lie in 0..5 digits");
    if (!(std::fabs(latitude) <= 90.0) || !std::isfinite(longitude))
        throw std::invalid_argument("mgrs: latitude must lie in [-90, 90] and longitude be finite");
    const UtmUpsPoint p = grids_.forward(latitude, longitude);
    if (!std::isfinite(p.easting) || !std::isfinite(p.northing))
        throw std::invalid_argument("mgrs: the point has no grid coordinates on this ellipsoid");
    const int column = static_cast<int>(std::floor(p.easting / kSquare));
    const int row = static_cast<int>(std::floor(p.northing / kSquare));
    const double inE = p.easting - column * kSquare, inN = p.northing - row * kSquare;
    std::string out;
    if (p.zone == UtmUps::kUps) {
        const int which = (p.north ? 2 : 0) + (p.easting < 2000000.0 ? 0 : 1);
        const PolarLetters& L = kPolar[which];
        const int c = column - L.firstColumn, r = row - L.firstRow;
        if (c < 0 || c >= static_cast<int>(std::string(L.columns).size()) || r < 0 ||
            r >= static_cast<int>(std::string(L.rows).size()))
            throw std::invalid_argument("mgrs: the point lies outside the polar grid's squares");
        out += kPolarNames[which];
        out += L.columns[c];
        out += L.rows[r];
    } else {
        if (column < 1 || column > 8)
            throw std::invalid_argument("mgrs: easting outside the zone's columns");
        char zone[4];
        std::snprintf(zone, sizeof zone, "%02d", p.zone);
        out += zone;
        out += utmBand(latitude);
        out += kLetters[((p.zone - 1) % 3) * 8 + column - 1];
        out += kRows[(row + rowOffset(p.zone, lettering_)) % 20];
    }
    return out + digits(inE, precision) + digits(inN, precision);
}

Mgrs::Square Mgrs::reverse(const std::string& reference) const
{
    std::string s;
    for (char c : reference) {
        if (c == ' ' || c == '\t')
            continue;
        s += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    std::size_t i = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
        ++i;
    if (i > 2)
        refuse(reference, "a zone has at most 2 digits");
    const int zone = i == 0 ? 0 : std::stoi(s.substr(0, i));
    if (i > 0 && (zone < 1 || zone > 60))
        refuse(reference, "zone " + std::to_string(zone) + " is not 1..60");
    const std::size_t letters = 3;  // band or pole, column, row
    if (s.size() < i + letters)
        refuse(reference, i == 0 ? "expected a zone and band or a polar letter A, B, Y or Z, then two square letters"
                                 : "expected a band letter and two square letters after the zone");
    for (std::size_t k = i + 1; k < i + letters; ++k)
        if (indexOf(kLetters, s[k]) < 0)
            refuse(reference, std::string("'") + s[k] + "' is not a grid letter (A to Z without I and O)");
    const std::string number = s.substr(i + letters);
    for (char c : number)
        if (c < '0' || c > '9')
            refuse(reference, std::string("'") + c + "' where the easting and northing digits belong");
    if (number.size() % 2 != 0)
        refuse(reference, std::to_string(number.size()) + " digits: easting and northing need as many each");
    if (number.size() > 10)
        refuse(reference, std::to_string(number.size()) + " digits: at most 5 each (1 m)");
    const int precision = static_cast<int>(number.size() / 2);
    double size = kSquare;
    for (int k = 0; k < precision; ++k)
        size /= 10.0;
    const double inE = precision == 0 ? 0.0 : std::stod(number.substr(0, precision)) * size;
    const double inN = precision == 0 ? 0.0 : std::stod(number.substr(precision)) * size;
    const char first = s[i], col = s[i + 1], row = s[i + 2];

    Square q{};
    q.precision = precision;
    q.size = size;
    if (i == 0) {
        const int which = indexOf(kPolarNames, first);
        if (which < 0)
            refuse(reference, std::string("'") + first + "' is neither a zone number nor a polar letter A, B, Y or Z");
        const PolarLetters& L = kPolar[which];
        const int c = indexOf(L.columns, col), r = indexOf(L.rows, row);
        if (c < 0)
            refuse(reference, std::string("column letter '") + col + "' is not used in polar square " + first +
                                  " (" + L.columns + ")");
        if (r < 0)
            refuse(reference, std::string("row letter '") + row + "' is not used in polar square " + first + " (" +
                                  L.rows + ")");
        q.zone = UtmUps::kUps;
        q.north = which >= 2;
        q.easting = (L.firstColumn + c) * kSquare + inE;
        q.northing = (L.firstRow + r) * kSquare + inN;
    } else {
        double bandSouth = 0, bandNorth = 0;
        if (!utmBandLimits(first, bandSouth, bandNorth))
            refuse(reference, std::string("'") + first + "' is not a latitude band (C to X without I and O)");
        if (first == 'X' && (zone == 32 || zone == 34 || zone == 36))
            refuse(reference, "zone " + std::to_string(zone) + "X does not exist (Svalbard has 31X, 33X, 35X, 37X)");
        const int set = (zone - 1) % 3;
        const int c = indexOf(kLetters + set * 8, col);
        if (c < 0 || c >= 8)
            refuse(reference, std::string("column letter '") + col + "' is not used in zone " +
                                  std::to_string(zone) + " (" + std::string(kLetters + set * 8, 8) + ")");
        const int r = indexOf(kRows, row);
        if (r < 0)
            refuse(reference, std::string("row letter '") + row + "' is not a row letter (A to V without I and O)");
        q.zone = zone;
        q.north = first >= 'N';
        q.easting = (c + 1) * kSquare + inE;
        // The row letter gives the northing modulo 2000 km; the band picks
        // the cycle. The square's latitudes are judged on the central
        // meridian and widened by 0.2 degrees towards the equator, where
        // the parallels lie at the zone's edges.
        const int base = ((r - rowOffset(zone, lettering_)) % 20 + 20) % 20;
        int best = -1;
        for (int cycle = 0; cycle < 5 && best < 0; ++cycle) {
            const double south = (base + 20 * cycle) * kSquare;
            const GeographicWithScale lo = grids_.inverse(zone, q.north, 500000.0, south);
            const GeographicWithScale hi = grids_.inverse(zone, q.north, 500000.0, south + kSquare);
            double latLo = lo.latitude, latHi = hi.latitude;
            if (std::isnan(latLo) && std::isnan(latHi))
                continue;
            if (std::isnan(latLo))
                latLo = q.north ? 0.0 : -80.0;
            if (std::isnan(latHi))
                latHi = q.north ? 84.0 : 0.0;
            if (q.north)
                latLo -= 0.2;
            else
                latHi += 0.2;
            if (latHi > bandSouth && latLo < bandNorth)
                best = base + 20 * cycle;
        }
        if (best < 0)
            refuse(reference, std::string("row letter '") + row + "' puts the square outside band " + first + " (" +
                                  std::to_string(static_cast<int>(bandSouth)) + " to " +
                                  std::to_string(static_cast<int>(bandNorth)) + " degrees) in zone " +
                                  std::to_string(zone));
        q.northing = best * kSquare + inN;
    }
    const GeographicWithScale centre =
        grids_.inverse(q.zone, q.north, q.easting + size / 2.0, q.northing + size / 2.0);
    if (std::isnan(centre.latitude))
        refuse(reference, "the square's centre has no latitude and longitude on this grid (it lies outside "
                          "the zone's reach)");
    q.latitude = centre.latitude;
    q.longitude = centre.longitude;
    return q;
}

} // namespace tervala
