// tervala::Ellipsoid: the table of named ellipsoids, validation, and the
// geodetic/geocentric conversions over the same internal functions as
// CTervala's members (so the doubles are the members').
#include "tervala/Ellipsoid.hpp"

#include <cctype>
#include <cmath>
#include <sstream>
#include <stdexcept>

#include "core/Angles.h"
#include "core/Ellipsoid.h"
#include "modern/ModernAccess.h"

namespace tervala {
namespace {

// Letters and digits only, lower case: "Bessel 1841", "bessel-1841" and
// "BESSEL1841" read the same.
std::string canonical(const std::string& s)
{
    std::string out;
    for (char c : s)
        if (std::isalnum(static_cast<unsigned char>(c)))
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Other spellings, in canonical form: PROJ's short names (proj -le) and its
// descriptions, and the EPSG names pyproj reports for a CRS's ellipsoid.
struct Alias {
    const char* key;
    const char* name;  // the table name
};
constexpr Alias kAliases[] = {
    {"grs1980", "GRS80"},
    {"grs1980iugg1980", "GRS80"},
    {"wgs1984", "WGS84"},
    {"clrk66", "Clarke1866"},
    {"intl", "International1924"},
    {"international1924hayford19091910", "International1924"},
    {"hayford", "International1924"},
    {"hayford1909", "International1924"},
    {"krass", "Krassovsky1940"},
    {"krassowsky", "Krassovsky1940"},
    {"krassowsky1940", "Krassovsky1940"},
    {"krassovsky1942", "Krassovsky1940"},
    {"grs1967", "GRS67"},
    {"grs67iugg1967", "GRS67"},
    {"wgs1972", "WGS72"},
    {"wgs1966", "WGS66"},
    {"austsa", "AustralianNational"},
    {"australiannationalspheroid", "AustralianNational"},
    {"australiannatlsamer1969", "AustralianNational"},
    {"evrst30", "Everest1830"},
    {"everest18301937adjustment", "Everest1830"},
    {"bessnam", "BesselNamibia"},
    {"bessel1841namibia", "BesselNamibia"},
    {"modairy", "AiryModified1849"},
    {"modifiedairy", "AiryModified1849"},
};

int findKnown(const std::string& text)
{
    const std::string key = canonical(text);
    if (key.empty())
        return -1;
    const std::vector<NamedEllipsoid>& all = Ellipsoid::known();
    for (const Alias& alias : kAliases)
        if (key == alias.key)
            for (std::size_t i = 0; i < all.size(); ++i)
                if (std::string(all[i].name) == alias.name)
                    return static_cast<int>(i);
    const std::vector<NamedEllipsoid>& list = Ellipsoid::known();
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string name = canonical(list[i].name);
        std::string stem = name;  // the name without its year
        while (!stem.empty() && std::isdigit(static_cast<unsigned char>(stem.back())))
            stem.pop_back();
        if (key == name || key == stem)
            return static_cast<int>(i);
    }
    return -1;
}

std::string number(double v)
{
    std::ostringstream s;
    s.precision(17);
    s << v;
    return s.str();
}

} // namespace

const std::vector<NamedEllipsoid>& Ellipsoid::known()
{
    // Defining constants as published for each ellipsoid (those after
    // Airy1830 as PROJ lists them; AiryModified1849, which PROJ defines by
    // a and b, with 1/f = a / (a - b)).
    static const std::vector<NamedEllipsoid> list = {
        {"GRS80", 6378137.0, 298.257222101},
        {"WGS84", 6378137.0, 298.257223563},
        {"Bessel1841", 6377397.155, 299.1528128},
        {"Clarke1866", 6378206.4, 294.9786982},
        {"International1924", 6378388.0, 297.0},
        {"Krassovsky1940", 6378245.0, 298.3},
        {"Airy1830", 6377563.396, 299.3249646},
        {"WGS72", 6378135.0, 298.26},
        {"WGS66", 6378145.0, 298.25},
        {"GRS67", 6378160.0, 298.247167427},
        {"AustralianNational", 6378160.0, 298.25},
        {"Everest1830", 6377276.345, 300.8017},
        {"Helmert1906", 6378200.0, 298.3},
        {"Hough", 6378270.0, 297.0},
        {"BesselNamibia", 6377483.865, 299.1528128},
        {"AiryModified1849", 6377340.189, 299.3249373654824},
    };
    return list;
}

Ellipsoid Ellipsoid::grs80() { return Ellipsoid("GRS80"); }
Ellipsoid Ellipsoid::wgs84() { return Ellipsoid("WGS84"); }
Ellipsoid Ellipsoid::sphere(double radius) { return Ellipsoid(radius, 0.0); }

Ellipsoid::Ellipsoid(double a, double inverseFlattening) : a_(a), inverseFlattening_(inverseFlattening), known_(-1)
{
    if (!(std::isfinite(a) && a > 0))
        throw std::invalid_argument("ellipsoid: the semi-major axis a = " + number(a) +
                                    " must be finite and positive (metres)");
    if (!(std::isfinite(inverseFlattening) && (inverseFlattening > 1 || inverseFlattening == 0)))
        throw std::invalid_argument("ellipsoid: the inverse flattening 1/f = " + number(inverseFlattening) +
                                    " must be finite and greater than 1, or 0 for a sphere (is it the flattening f "
                                    "itself?)");
    // A sphere: 1/f = 0 stands for f = 0, which the constants take as an
    // infinite 1/f (b = a, e^2 = n = 0).
    const EllipsoidConstants k = makeEllipsoid(a, inverseFlattening == 0 ? INFINITY : inverseFlattening);
    const double series[15] = {k.f,        k.b,       k.e2,       k.ep2,      k.n,
                               k.arcAlpha, k.arcBeta, k.arcGamma, k.arcDelta, k.arcEpsilon,
                               k.footAlpha, k.footBeta, k.footGamma, k.footDelta, k.footEpsilon};
    for (int i = 0; i < 15; ++i)
        series_[i] = series[i];
}

namespace {

const NamedEllipsoid& lookUp(const std::string& name)
{
    const int i = findKnown(name);
    if (i < 0) {
        std::string list;
        for (const NamedEllipsoid& e : Ellipsoid::known())
            list += std::string(list.empty() ? "" : ", ") + e.name;
        throw std::invalid_argument("ellipsoid: unknown name '" + name + "'; known: " + list);
    }
    return Ellipsoid::known()[static_cast<std::size_t>(i)];
}

} // namespace

Ellipsoid::Ellipsoid(const std::string& name) : Ellipsoid(lookUp(name).a, lookUp(name).inverseFlattening)
{
    known_ = findKnown(name);
}

std::string Ellipsoid::name() const { return known_ < 0 ? std::string() : std::string(known()[known_].name); }

Geocentric Ellipsoid::toGeocentric(const Geodetic& p) const
{
    if (!(std::fabs(p.latitude) <= 90.0) || !std::isfinite(p.longitude) || !std::isfinite(p.height))
        return Geocentric{modern::kNaN, modern::kNaN, modern::kNaN};
    const Vec3 v = geodeticToGeocentric(ModernAccess::constants(*this), angles::toRadians(p.latitude),
                                        angles::toRadians(p.longitude), p.height);
    return Geocentric{v.x, v.y, v.z};
}

Geodetic Ellipsoid::toGeodetic(const Geocentric& p) const
{
    return geocentricToGeodetic(ModernAccess::constants(*this), p.x, p.y, p.z);
}

} // namespace tervala
