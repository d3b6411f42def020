// tervala::TransverseMercator and tervala::Utm over the series of
// projection/TransverseMercator.h, with the domain of projection/Domain.h.
//
// Where a point lies inside the domain and its longitude difference is
// already in (-180, 180], the series see exactly the arguments the members
// would give them, so the results are the members' doubles. The ellipsoid's
// constants are derived once per object and passed by reference, where a
// member copies them out of its fields on every call.
#include "tervala/Projection.hpp"

#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>

#include "core/Angles.h"
#include "modern/ModernAccess.h"
#include "projection/Domain.h"
#include "projection/TransverseMercator.h"

namespace tervala {
namespace {

using modern::kNaN;

std::string number(double v)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

[[noreturn]] void refuse(const char* what, double value, const char* expected)
{
    throw std::invalid_argument(std::string("transverse mercator: ") + what + " = " + number(value) + " " + expected);
}

// reduceLongitude, skipping its fmod where the angle is already in range.
double reduced(double degrees) { return degrees > -180.0 && degrees <= 180.0 ? degrees : reduceLongitude(degrees); }

// The longitude to hand to the series: unchanged when its difference from
// the central meridian is already in (-180, 180], otherwise moved by whole
// turns so that it is. NaN when the point lies beyond maxOffset.
double seriesLongitude(double longitude, double centralMeridian, double maxOffset)
{
    const double d = longitude - centralMeridian;
    const double r = reduced(d);
    if (!(std::fabs(r) <= maxOffset))
        return kNaN;
    return r == d ? longitude : centralMeridian + r;
}

// Latitude and longitude of an inverse, checked and reduced: NaN when the
// latitude leaves [-90, 90] or the point lies beyond maxOffset.
Geographic checkedInverse(double latitude, double longitude, double centralMeridian, double maxOffset)
{
    if (!(std::fabs(latitude) <= 90.0) || !inverseWithinReach(longitude, centralMeridian, maxOffset))
        return Geographic{kNaN, kNaN};
    return Geographic{latitude, reduced(longitude)};
}

} // namespace

// ---- TransverseMercator ----------------------------------------------------

TransverseMercator::TransverseMercator(const Ellipsoid& ellipsoid, double latitudeOfOrigin, double centralMeridian,
                                       double falseNorthing, double falseEasting, double scaleFactor)
    : ellipsoid_(ellipsoid)
{
    if (!(std::fabs(latitudeOfOrigin) <= 90.0))
        refuse("latitude of origin", latitudeOfOrigin, "must lie in [-90, 90] degrees");
    if (!std::isfinite(centralMeridian))
        refuse("central meridian", centralMeridian, "must be finite (degrees)");
    if (!std::isfinite(falseNorthing))
        refuse("false northing", falseNorthing, "must be finite (metres)");
    if (!std::isfinite(falseEasting))
        refuse("false easting", falseEasting, "must be finite (metres)");
    if (!(std::isfinite(scaleFactor) && scaleFactor > 0))
        refuse("scale factor", scaleFactor, "must be finite and positive");
    constants_ = std::make_shared<const EllipsoidConstants>(ModernAccess::constants(ellipsoid));
    const EllipsoidConstants& e = *constants_;
    latitudeOfOrigin_ = latitudeOfOrigin;
    centralMeridian_ = reduceLongitude(centralMeridian);
    falseNorthing_ = falseNorthing;
    falseEasting_ = falseEasting;
    scaleFactor_ = scaleFactor;
    maxOffset_ = tmMaxOffsetDegrees(e);
    originArc_ = originArc(e, latitudeOfOrigin);
    centralRadians_ = angles::toRadians(centralMeridian_);
}

Projected TransverseMercator::forward(double latitude, double longitude) const
{
    const double lon = seriesLongitude(longitude, centralMeridian_, maxOffset_);
    if (!(std::fabs(latitude) <= 90.0) || std::isnan(lon))
        return Projected{kNaN, kNaN};
    const TMGrid grid{originArc_, centralRadians_, falseNorthing_, falseEasting_, scaleFactor_};
    const GridPoint p =
        tmForward(*constants_, grid, angles::toRadians(latitude), angles::toRadians(lon));
    return Projected{p.easting, p.northing};
}

ProjectedWithScale TransverseMercator::forwardWithScale(double latitude, double longitude) const
{
    const Projected p = forward(latitude, longitude);
    if (std::isnan(p.easting))
        return ProjectedWithScale{kNaN, kNaN, kNaN, kNaN};
    const double l = angles::toRadians(reduceLongitude(longitude - centralMeridian_));
    const ConvergenceScale g =
        tmConvergenceScale(*constants_, scaleFactor_, angles::toRadians(latitude), l);
    return ProjectedWithScale{p.easting, p.northing, g.convergence, g.scale};
}

Geographic TransverseMercator::inverse(double easting, double northing) const
{
    if (!std::isfinite(easting) || !std::isfinite(northing))
        return Geographic{kNaN, kNaN};
    const TMGrid grid{originArc_, centralRadians_, falseNorthing_, falseEasting_, scaleFactor_};
    const GridInverse r = tmInverse(*constants_, grid, northing, easting);
    return checkedInverse(r.latitude, r.longitude, centralMeridian_, maxOffset_);
}

GeographicWithScale TransverseMercator::inverseWithScale(double easting, double northing) const
{
    const Geographic g = inverse(easting, northing);
    if (std::isnan(g.latitude))
        return GeographicWithScale{kNaN, kNaN, kNaN, kNaN};
    const double l = angles::toRadians(reduceLongitude(g.longitude - centralMeridian_));
    const ConvergenceScale cs =
        tmConvergenceScale(*constants_, scaleFactor_, angles::toRadians(g.latitude), l);
    return GeographicWithScale{g.latitude, g.longitude, cs.convergence, cs.scale};
}

// ---- Utm -------------------------------------------------------------------------

Utm::Utm(int zone, bool south, const Ellipsoid& ellipsoid) : ellipsoid_(ellipsoid), zone_(zone), south_(south)
{
    if (zone < 1 || zone > 60)
        throw std::invalid_argument("utm: zone " + std::to_string(zone) + " must lie in 1..60");
    constants_ = std::make_shared<const EllipsoidConstants>(ModernAccess::constants(ellipsoid));
    maxOffset_ = tmMaxOffsetDegrees(*constants_);
    centralMeridian_ = 6.0 * zone - 183.0;
    centralRadians_ = angles::toRadians(centralMeridian_);
    footDivisor_ = utmFootDivisor(*constants_);
}

Utm Utm::forLongitude(double longitude, bool south, const Ellipsoid& ellipsoid)
{
    if (!std::isfinite(longitude))
        throw std::invalid_argument("utm: longitude " + number(longitude) + " must be finite to choose a zone");
    // Zones from 180 W; 180 E (the same meridian) starts zone 1 again.
    const double lon = reduceLongitude(longitude);
    int zone = static_cast<int>(std::floor((lon + 180.0) / 6.0)) + 1;
    if (zone > 60)
        zone -= 60;
    return Utm(zone, south, ellipsoid);
}

Projected Utm::forward(double latitude, double longitude) const
{
    const double lon = seriesLongitude(longitude, centralMeridian(), maxOffset_);
    if (!inUtmBand(latitude) || std::isnan(lon))
        return Projected{kNaN, kNaN};
    const GridPoint p = utmForward(*constants_, south_, centralRadians_,
                                   angles::toRadians(latitude), angles::toRadians(lon));
    return Projected{p.easting, p.northing};
}

ProjectedWithScale Utm::forwardWithScale(double latitude, double longitude) const
{
    const Projected p = forward(latitude, longitude);
    if (std::isnan(p.easting))
        return ProjectedWithScale{kNaN, kNaN, kNaN, kNaN};
    const double l = angles::toRadians(reduceLongitude(longitude - centralMeridian()));
    const ConvergenceScale g =
        tmConvergenceScale(*constants_, kUtmScaleFactor, angles::toRadians(latitude), l);
    return ProjectedWithScale{p.easting, p.northing, g.convergence, g.scale};
}

Geographic Utm::inverse(double easting, double northing) const
{
    // A NaN or infinite coordinate makes the series' latitude NaN or
    // infinite, which the band check refuses; the band lies inside
    // [-90, 90], so only the longitude is left to check.
    const GridInverse r = utmInverse(*constants_, footDivisor_, south_, centralRadians_, northing, easting);
    if (!inUtmBand(r.latitude) || !inverseWithinReach(r.longitude, centralMeridian_, maxOffset_))
        return Geographic{kNaN, kNaN};
    return Geographic{r.latitude, reduced(r.longitude)};
}

GeographicWithScale Utm::inverseWithScale(double easting, double northing) const
{
    const Geographic g = inverse(easting, northing);
    if (std::isnan(g.latitude))
        return GeographicWithScale{kNaN, kNaN, kNaN, kNaN};
    const double l = angles::toRadians(reduceLongitude(g.longitude - centralMeridian()));
    const ConvergenceScale cs =
        tmConvergenceScale(*constants_, kUtmScaleFactor, angles::toRadians(g.latitude), l);
    return GeographicWithScale{g.latitude, g.longitude, cs.convergence, cs.scale};
}

} // namespace tervala
