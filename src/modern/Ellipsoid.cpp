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

int findKnown(const std::string& text)
{
    const std::string key = canonical(text);
    if (key.empty())
        return -1;
    const std::vector<NamedEllipsoid>& list = Ellipsoid::known();
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string name = canonical(list[i].name);
        std::string stem = name;  // the name without its year
        while (!stem.empty() && std::isdigit(static_cast<unsigned char>(stem.back())))
            stem.pop_back();
        if (key == name || key == stem)
            return static_cast<int>(i);
    }
    if (key == "hayford")
        return 4;
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
    // Defining constants as published for each ellipsoid.
    static const std::vector<NamedEllipsoid> list = {
        {"GRS80", 6378137.0, 298.257222101},
        {"WGS84", 6378137.0, 298.257223563},
        {"Bessel1841", 6377397.155, 299.1528128},
        {"Clarke1866", 6378206.4, 294.9786982},
        {"International1924", 6378388.0, 297.0},
        {"Krassovsky1940", 6378245.0, 298.3},
        {"Airy1830", 6377563.396, 299.3249646},
    };
    return list;
}

Ellipsoid Ellipsoid::grs80() { return Ellipsoid("GRS80"); }
Ellipsoid Ellipsoid::wgs84() { return Ellipsoid("WGS84"); }

Ellipsoid::Ellipsoid(double a, double inverseFlattening) : a_(a), inverseFlattening_(inverseFlattening), known_(-1)
{
    if (!(std::isfinite(a) && a > 0))
        throw std::invalid_argument("ellipsoid: the semi-major axis a = " + number(a) +
                                    " must be finite and positive (metres)");
    if (!(std::isfinite(inverseFlattening) && inverseFlattening > 1))
        throw std::invalid_argument("ellipsoid: the inverse flattening 1/f = " + number(inverseFlattening) +
                                    " must be finite and greater than 1 (is it the flattening f itself?)");
    const EllipsoidConstants k = makeEllipsoid(a, inverseFlattening);
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
