// tervala::Ups and tervala::UtmUps: the polar stereographic grids and the
// choice between them and the UTM zones.
#include "tervala/Polar.hpp"

#include <cmath>
#include <stdexcept>
#include <string>

#include "modern/ModernAccess.h"
#include "projection/Domain.h"

namespace tervala {
namespace {

using modern::kNaN;

constexpr double kUpsScale = 0.994;
constexpr double kUpsFalseOrigin = 2000000.0;
constexpr double kDegree = 0.017453292519943295;  // pi / 180

// Sine and cosine of an angle in degrees, exact at multiples of 90 degrees:
// the angle is reduced to [-45, 45] around a quadrant first.
void sinCosDegrees(double degrees, double& s, double& c)
{
    double r = std::remainder(degrees, 360.0);
    const int quadrant = static_cast<int>(std::lround(r / 90.0));
    r -= 90.0 * quadrant;
    const double sr = std::sin(r * kDegree), cr = std::cos(r * kDegree);
    switch ((quadrant % 4 + 4) % 4) {
    case 0: s = sr; c = cr; break;
    case 1: s = cr; c = -sr; break;
    case 2: s = -sr; c = -cr; break;
    default: s = -cr; c = sr; break;
    }
    s += 0.0;  // no negative zero
    c += 0.0;
}

// Sine and cosine of a latitude in [0, 90] degrees; near the pole the cosine
// comes from the colatitude, which is exact there.
void sinCosLatitude(double latitude, double& s, double& c)
{
    if (latitude > 45.0) {
        const double colatitude = (90.0 - latitude) * kDegree;
        s = std::cos(colatitude);
        c = std::sin(colatitude);
    } else {
        s = std::sin(latitude * kDegree);
        c = std::cos(latitude * kDegree);
    }
}

} // namespace

char utmBand(double latitude)
{
    if (!(latitude >= -80.0 && latitude <= 84.0))
        return 0;
    static const char kBands[] = "CDEFGHJKLMNPQRSTUVWX";
    const int index = static_cast<int>(std::floor((latitude + 80.0) / 8.0));
    return kBands[index > 19 ? 19 : index];
}

bool utmBandLimits(char band, double& south, double& north)
{
    static const char kBands[] = "CDEFGHJKLMNPQRSTUVWX";
    const char upper = band >= 'a' && band <= 'z' ? static_cast<char>(band - 'a' + 'A') : band;
    for (int i = 0; i < 20; ++i) {
        if (kBands[i] == upper && upper != 0) {
            south = -80.0 + 8.0 * i;
            north = i == 19 ? 84.0 : south + 8.0;
            return true;
        }
    }
    return false;
}

// ---- Ups -------------------------------------------------------------------

Ups::Ups(bool north, const Ellipsoid& ellipsoid) : ellipsoid_(ellipsoid), north_(north)
{
    e_ = std::sqrt(ellipsoid.e2());
    // (1+e)^(1+e) (1-e)^(1-e), the conformal sphere's factor at the pole.
    const double c = std::pow(1.0 + e_, 1.0 + e_) * std::pow(1.0 - e_, 1.0 - e_);
    radius_ = 2.0 * ellipsoid.a() * kUpsScale / std::sqrt(c);
}

ProjectedWithScale Ups::forwardWithScale(double latitude, double longitude) const
{
    const double phi = north_ ? latitude : -latitude;  // latitude towards the grid's pole
    if (!(phi > 0.0 && phi <= 90.0) || !std::isfinite(longitude))
        return ProjectedWithScale{kNaN, kNaN, kNaN, kNaN};
    double s, c;
    sinCosLatitude(phi, s, c);
    // t = tan(pi/4 - phi/2) ((1 + e s) / (1 - e s))^(e/2), with the tangent as
    // c / (1 + s), which keeps its precision near the pole.
    const double es = e_ * s;
    const double q = std::pow((1.0 + es) / (1.0 - es), e_ / 2.0);
    const double tOverC = q / (1.0 + s);  // t / cos(phi)
    const double rho = radius_ * tOverC * c;
    double sl, cl;
    sinCosDegrees(longitude, sl, cl);
    const double easting = kUpsFalseOrigin + rho * sl;
    const double northing = north_ ? kUpsFalseOrigin - rho * cl : kUpsFalseOrigin + rho * cl;
    // k = rho / (a cos(phi) / sqrt(1 - e^2 s^2)), finite at the pole.
    const double scale = radius_ * tOverC * std::sqrt(1.0 - es * e_ * s) / ellipsoid_.a();
    const double lon = reduceLongitude(longitude);
    const double convergence = north_ ? lon : -lon;
    return ProjectedWithScale{easting, northing, convergence + 0.0, scale};
}

Projected Ups::forward(double latitude, double longitude) const
{
    const ProjectedWithScale p = forwardWithScale(latitude, longitude);
    return Projected{p.easting, p.northing};
}

GeographicWithScale Ups::inverseWithScale(double easting, double northing) const
{
    if (!std::isfinite(easting) || !std::isfinite(northing))
        return GeographicWithScale{kNaN, kNaN, kNaN, kNaN};
    const double dx = easting - kUpsFalseOrigin;
    const double dy = north_ ? kUpsFalseOrigin - northing : northing - kUpsFalseOrigin;
    const double rho = std::hypot(dx, dy);
    const double t = rho / radius_;
    if (!(t < 1.0))  // at or beyond the equator
        return GeographicWithScale{kNaN, kNaN, kNaN, kNaN};
    // phi = pi/2 - 2 atan(t ((1 - e sin phi) / (1 + e sin phi))^(e/2)),
    // iterated from the conformal latitude; each pass gains a factor of
    // about e^2, so the iteration stops when it no longer changes.
    const double halfPi = 2.0 * std::atan(1.0);
    double phi = halfPi - 2.0 * std::atan(t);
    for (int i = 0; i < 40; ++i) {
        const double es = e_ * std::sin(phi);
        const double next = halfPi - 2.0 * std::atan(t * std::pow((1.0 - es) / (1.0 + es), e_ / 2.0));
        if (next == phi)
            break;
        phi = next;
    }
    const double latitude = phi / kDegree;
    // At the pole itself the longitude is a convention: 180 at the north
    // pole and 0 at the south pole, as GeographicLib gives them.
    const double longitude = rho == 0.0 ? (north_ ? 180.0 : 0.0) : std::atan2(dx, dy) / kDegree;
    const double signedLatitude = north_ ? latitude : -latitude;
    const ProjectedWithScale k = forwardWithScale(signedLatitude, longitude);
    return GeographicWithScale{signedLatitude, longitude + 0.0, k.convergence, k.scale};
}

Geographic Ups::inverse(double easting, double northing) const
{
    const GeographicWithScale g = inverseWithScale(easting, northing);
    return Geographic{g.latitude, g.longitude};
}

// ---- UtmUps ----------------------------------------------------------------

UtmUps::UtmUps(const Ellipsoid& ellipsoid) : ellipsoid_(ellipsoid), north_(true, ellipsoid), south_(false, ellipsoid) {}

int UtmUps::standardZone(double latitude, double longitude)
{
    if (!(std::fabs(latitude) <= 90.0) || !std::isfinite(longitude))
        return -2;
    if (latitude >= 84.0 || latitude < -80.0)
        return kUps;
    const double lon = reduceLongitude(longitude);  // (-180, 180]
    int zone = static_cast<int>(std::floor((lon + 180.0) / 6.0)) + 1;
    if (zone > 60)
        zone -= 60;
    if (latitude >= 56.0 && latitude < 64.0 && lon >= 3.0 && lon < 12.0)
        return 32;  // Norway: band V of zone 32 reaches west to 3 E
    if (latitude >= 72.0 && lon >= 0.0 && lon < 42.0) {
        // Svalbard: band X has the odd zones 31..37 only, each widened.
        if (lon < 9.0)
            return 31;
        if (lon < 21.0)
            return 33;
        if (lon < 33.0)
            return 35;
        return 37;
    }
    return zone;
}

UtmUpsPoint UtmUps::forward(double latitude, double longitude, int zone, bool north) const
{
    if (zone < kStandard || zone > 60)
        throw std::invalid_argument("utmups: zone " + std::to_string(zone) +
                                    " must be -1 (standard), 0 (UPS) or 1..60");
    if (zone == kStandard) {
        zone = standardZone(latitude, longitude);
        if (zone < kUps)
            return UtmUpsPoint{kStandard, true, kNaN, kNaN, kNaN, kNaN};
        north = latitude >= 0.0;
    }
    ProjectedWithScale p;
    if (zone == kUps && (north ? latitude < 70.0 : latitude > -70.0))
        p = ProjectedWithScale{kNaN, kNaN, kNaN, kNaN};  // more than 20 degrees from the pole
    else if (zone == kUps)
        p = (north ? north_ : south_).forwardWithScale(latitude, longitude);
    else
        p = Utm(zone, !north, ellipsoid_).forwardWithScale(latitude, longitude);
    return UtmUpsPoint{zone, north, p.easting, p.northing, p.convergence, p.scale};
}

GeographicWithScale UtmUps::inverse(int zone, bool north, double easting, double northing) const
{
    if (zone < kUps || zone > 60)
        throw std::invalid_argument("utmups: zone " + std::to_string(zone) + " must be 0 (UPS) or 1..60");
    if (zone == kUps)
        return (north ? north_ : south_).inverseWithScale(easting, northing);
    // The zone's Transverse Mercator rather than Utm, whose inverse stops at
    // 84 N and 80 S: MGRS squares and rounded coordinates reach a little
    // beyond, and their latitude is still the zone's.
    const TransverseMercator tm(ellipsoid_, 0.0, 6.0 * zone - 183.0, north ? 0.0 : 10000000.0, 500000.0, 0.9996);
    return tm.inverseWithScale(easting, northing);
}

} // namespace tervala
