// tervala::TransverseMercator and tervala::Utm over Krueger's series of
// projection/Kruger.h (the default) or the legacy series of
// projection/TransverseMercator.h, with the domain of projection/Domain.h.
//
// Legacy: where a point lies inside the domain and its longitude difference is
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
#include "projection/Kruger.h"
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

// The legacy inverse accepts a result this far (degrees) beyond the reach
// of the forward: the two series disagree by up to a millimetre there
// (1e-8 degrees), so a point the forward projected at its reach comes back
// a hair outside it.
constexpr double kLegacyInverseSlack = 1e-6;

// How far from the central meridian Kruger's series are offered, degrees of
// longitude: the range over which their accuracy is measured and published
// (docs/accuracy.md).
constexpr double kKrugerMaxOffset = 60.0;

std::shared_ptr<const KrugerSeries> krugerFor(const Ellipsoid& e)
{
    return std::make_shared<const KrugerSeries>(makeKrugerSeries(e.a(), e.flattening()));
}

// A grid for Kruger's series: central scale (negative for westing and
// southing axes), false origin, and the northing of the latitude of origin
// at unit scale.
struct KrugerGrid {
    double scale;
    double falseEasting;
    double falseNorthing;
    double origin;
};

// Forward on a grid: latitude in degrees, offset l from the central
// meridian in degrees, already reduced and inside the domain.
ProjectedWithScale krugerGridForward(const KrugerSeries& s, const KrugerGrid& g, double latitude, double l,
                                     bool withScale)
{
    const KrugerPoint p = krugerForward(s, angles::toRadians(latitude), angles::toRadians(l), withScale);
    return ProjectedWithScale{g.falseEasting + g.scale * p.x, g.falseNorthing + g.scale * (p.y - g.origin),
                              angles::toDegrees(p.convergence), std::fabs(g.scale) * p.scale};
}

// Inverse on a grid: latitude and longitude (the central meridian plus the
// series' offset, unreduced; the caller checks both).
Geographic krugerGridInverse(const KrugerSeries& s, const KrugerGrid& g, double centralMeridian, double easting,
                             double northing)
{
    const KrugerLatLon r = krugerInverse(s, (easting - g.falseEasting) / g.scale,
                                         (northing - g.falseNorthing) / g.scale + g.origin);
    return Geographic{angles::toDegrees(r.phi), centralMeridian + angles::toDegrees(r.l)};
}

} // namespace

// ---- TransverseMercator ----------------------------------------------------

TransverseMercator::TransverseMercator(const Ellipsoid& ellipsoid, double latitudeOfOrigin, double centralMeridian,
                                       double falseNorthing, double falseEasting, double scaleFactor,
                                       TmMethod method, TmAxes axes)
    : ellipsoid_(ellipsoid), method_(method), axes_(axes)
{
    if (axes != TmAxes::EastNorth && axes != TmAxes::WestSouth)
        throw std::invalid_argument("transverse mercator: axes " + std::to_string(static_cast<int>(axes)) +
                                    " must be EastNorth or WestSouth");
    if (method != TmMethod::Kruger && method != TmMethod::Legacy)
        throw std::invalid_argument("transverse mercator: method " + std::to_string(static_cast<int>(method)) +
                                    " must be Kruger or Legacy");
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
    if (method == TmMethod::Legacy && ellipsoid.inverseFlattening() == 0)
        throw std::invalid_argument("transverse mercator: the legacy series serve ellipsoids only, not a sphere "
                                    "(1/f = 0); Krueger's series (TmMethod::Kruger) do");
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
    krugerOrigin_ = 0;
    if (method == TmMethod::Kruger) {
        kruger_ = krugerFor(ellipsoid);
        maxOffset_ = kKrugerMaxOffset;
        krugerOrigin_ = krugerForward(*kruger_, angles::toRadians(latitudeOfOrigin), 0.0, false).y;
    }
}

Projected TransverseMercator::forward(double latitude, double longitude) const
{
    if (method_ == TmMethod::Kruger) {
        const double lon = seriesLongitude(longitude, centralMeridian_, maxOffset_);
        if (!(std::fabs(latitude) <= 90.0) || std::isnan(lon))
            return Projected{kNaN, kNaN};
        const KrugerGrid g{krugerScale(), falseEasting_, falseNorthing_, krugerOrigin_};
        const ProjectedWithScale p = krugerGridForward(*kruger_, g, latitude, lon - centralMeridian_, false);
        return Projected{p.easting, p.northing};
    }
    const double lon = seriesLongitude(longitude, centralMeridian_, maxOffsetAt(latitude));
    if (!(std::fabs(latitude) <= 90.0) || std::isnan(lon))
        return Projected{kNaN, kNaN};
    // Westing and southing: the series on a zero false origin, both axes
    // turned round about the false origin.
    const bool ws = axes_ == TmAxes::WestSouth;
    const TMGrid grid{originArc_, centralRadians_, ws ? 0.0 : falseNorthing_, ws ? 0.0 : falseEasting_, scaleFactor_};
    const GridPoint p =
        tmForward(*constants_, grid, angles::toRadians(latitude), angles::toRadians(lon));
    if (ws)
        return Projected{falseEasting_ - p.easting, falseNorthing_ - p.northing};
    return Projected{p.easting, p.northing};
}

ProjectedWithScale TransverseMercator::forwardWithScale(double latitude, double longitude) const
{
    if (method_ == TmMethod::Kruger) {
        const double lon = seriesLongitude(longitude, centralMeridian_, maxOffset_);
        if (!(std::fabs(latitude) <= 90.0) || std::isnan(lon))
            return ProjectedWithScale{kNaN, kNaN, kNaN, kNaN};
        const KrugerGrid g{krugerScale(), falseEasting_, falseNorthing_, krugerOrigin_};
        return krugerGridForward(*kruger_, g, latitude, lon - centralMeridian_, true);
    }
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
    if (method_ == TmMethod::Kruger) {
        const KrugerGrid g{krugerScale(), falseEasting_, falseNorthing_, krugerOrigin_};
        const Geographic r = krugerGridInverse(*kruger_, g, centralMeridian_, easting, northing);
        return checkedInverse(r.latitude, r.longitude, centralMeridian_, maxOffset_);
    }
    const bool ws = axes_ == TmAxes::WestSouth;
    const TMGrid grid{originArc_, centralRadians_, ws ? 0.0 : falseNorthing_, ws ? 0.0 : falseEasting_, scaleFactor_};
    const GridInverse r = ws ? tmInverse(*constants_, grid, falseNorthing_ - northing, falseEasting_ - easting)
                             : tmInverse(*constants_, grid, northing, easting);
    return checkedInverse(r.latitude, r.longitude, centralMeridian_,
                          legacyInverseMaxOffsetDegrees(*constants_, r.latitude) + kLegacyInverseSlack);
}

GeographicWithScale TransverseMercator::inverseWithScale(double easting, double northing) const
{
    const Geographic g = inverse(easting, northing);
    if (std::isnan(g.latitude))
        return GeographicWithScale{kNaN, kNaN, kNaN, kNaN};
    if (method_ == TmMethod::Kruger) {
        const ProjectedWithScale p = forwardWithScale(g.latitude, g.longitude);
        return GeographicWithScale{g.latitude, g.longitude, p.convergence, p.scale};
    }
    const double l = angles::toRadians(reduceLongitude(g.longitude - centralMeridian_));
    const ConvergenceScale cs =
        tmConvergenceScale(*constants_, scaleFactor_, angles::toRadians(g.latitude), l);
    return GeographicWithScale{g.latitude, g.longitude, cs.convergence, cs.scale};
}

double TransverseMercator::maxOffsetAt(double latitude) const
{
    return method_ == TmMethod::Kruger ? (std::fabs(latitude) <= 90.0 ? maxOffset_ : kNaN)
                                       : legacyMaxOffsetDegrees(*constants_, latitude);
}

// ---- Utm -------------------------------------------------------------------------

Utm::Utm(int zone, bool south, const Ellipsoid& ellipsoid, TmMethod method)
    : ellipsoid_(ellipsoid), method_(method), zone_(zone), south_(south)
{
    if (zone < 1 || zone > 60)
        throw std::invalid_argument("utm: zone " + std::to_string(zone) + " must lie in 1..60");
    if (method != TmMethod::Kruger && method != TmMethod::Legacy)
        throw std::invalid_argument("utm: method " + std::to_string(static_cast<int>(method)) +
                                    " must be Kruger or Legacy");
    if (method == TmMethod::Legacy && ellipsoid.inverseFlattening() == 0)
        throw std::invalid_argument("utm: the legacy series serve ellipsoids only, not a sphere (1/f = 0); "
                                    "Krueger's series (TmMethod::Kruger) do");
    constants_ = std::make_shared<const EllipsoidConstants>(ModernAccess::constants(ellipsoid));
    maxOffset_ = tmMaxOffsetDegrees(*constants_);
    centralMeridian_ = 6.0 * zone - 183.0;
    centralRadians_ = angles::toRadians(centralMeridian_);
    footDivisor_ = utmFootDivisor(*constants_);
    if (method == TmMethod::Kruger) {
        kruger_ = krugerFor(ellipsoid);
        maxOffset_ = kKrugerMaxOffset;
    }
}

double Utm::maxOffsetAt(double latitude) const
{
    return method_ == TmMethod::Kruger ? (std::fabs(latitude) <= 90.0 ? maxOffset_ : kNaN)
                                       : legacyMaxOffsetDegrees(*constants_, latitude);
}

Utm Utm::forLongitude(double longitude, bool south, const Ellipsoid& ellipsoid, TmMethod method)
{
    if (!std::isfinite(longitude))
        throw std::invalid_argument("utm: longitude " + number(longitude) + " must be finite to choose a zone");
    // Zones from 180 W; 180 E (the same meridian) starts zone 1 again.
    const double lon = reduceLongitude(longitude);
    int zone = static_cast<int>(std::floor((lon + 180.0) / 6.0)) + 1;
    if (zone > 60)
        zone -= 60;
    return Utm(zone, south, ellipsoid, method);
}

Projected Utm::forward(double latitude, double longitude) const
{
    const double lon = seriesLongitude(longitude, centralMeridian(), maxOffsetAt(latitude));
    if (!inUtmBand(latitude) || std::isnan(lon))
        return Projected{kNaN, kNaN};
    if (method_ == TmMethod::Kruger) {
        const KrugerGrid g{kUtmScaleFactor, kUtmFalseEasting, south_ ? kUtmSouthernFalseNorthing : 0.0, 0.0};
        const ProjectedWithScale p = krugerGridForward(*kruger_, g, latitude, lon - centralMeridian_, false);
        return Projected{p.easting, p.northing};
    }
    const GridPoint p = utmForward(*constants_, south_, centralRadians_,
                                   angles::toRadians(latitude), angles::toRadians(lon));
    return Projected{p.easting, p.northing};
}

ProjectedWithScale Utm::forwardWithScale(double latitude, double longitude) const
{
    if (method_ == TmMethod::Kruger) {
        const double lon = seriesLongitude(longitude, centralMeridian_, maxOffset_);
        if (!inUtmBand(latitude) || std::isnan(lon))
            return ProjectedWithScale{kNaN, kNaN, kNaN, kNaN};
        const KrugerGrid g{kUtmScaleFactor, kUtmFalseEasting, south_ ? kUtmSouthernFalseNorthing : 0.0, 0.0};
        return krugerGridForward(*kruger_, g, latitude, lon - centralMeridian_, true);
    }
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
    if (method_ == TmMethod::Kruger) {
        const KrugerGrid g{kUtmScaleFactor, kUtmFalseEasting, south_ ? kUtmSouthernFalseNorthing : 0.0, 0.0};
        const Geographic r = krugerGridInverse(*kruger_, g, centralMeridian_, easting, northing);
        if (!inUtmBand(r.latitude) || !inverseWithinReach(r.longitude, centralMeridian_, maxOffset_))
            return Geographic{kNaN, kNaN};
        return Geographic{r.latitude, reduced(r.longitude)};
    }
    const GridInverse r = utmInverse(*constants_, footDivisor_, south_, centralRadians_, northing, easting);
    if (!inUtmBand(r.latitude) ||
        !inverseWithinReach(r.longitude, centralMeridian_,
                            legacyInverseMaxOffsetDegrees(*constants_, r.latitude) + kLegacyInverseSlack))
        return Geographic{kNaN, kNaN};
    return Geographic{r.latitude, reduced(r.longitude)};
}

GeographicWithScale Utm::inverseWithScale(double easting, double northing) const
{
    const Geographic g = inverse(easting, northing);
    if (std::isnan(g.latitude))
        return GeographicWithScale{kNaN, kNaN, kNaN, kNaN};
    if (method_ == TmMethod::Kruger) {
        const ProjectedWithScale p = forwardWithScale(g.latitude, g.longitude);
        return GeographicWithScale{g.latitude, g.longitude, p.convergence, p.scale};
    }
    const double l = angles::toRadians(reduceLongitude(g.longitude - centralMeridian()));
    const ConvergenceScale cs =
        tmConvergenceScale(*constants_, kUtmScaleFactor, angles::toRadians(g.latitude), l);
    return GeographicWithScale{g.latitude, g.longitude, cs.convergence, cs.scale};
}

} // namespace tervala
