// Transverse Mercator and UTM, forward and inverse.
//
// The forward projection is the Gauss-Krueger series in l = lambda - lambda0
// (Redfearn's form, 8th order in the northing and 7th in the easting) on top
// of the meridian arc; the inverse goes through the footpoint latitude of the
// arc (the inverse meridian-arc series) and the matching series in the
// reduced easting u. Both are closed-form; there is no iteration and no test
// of the input, so NaN propagates and degenerate input (zero scale factor,
// latitude +-90 deg) gives whatever IEEE arithmetic gives.
//
// Evaluation order. The results are the doubles of one fixed evaluation, so
// the order below is part of them (and the build never contracts to FMA):
// - c = cos phi, t = tan phi, eta^2 = e'^2 * (c*c),
//   N = (a*a) / (b * sqrt(1 + eta^2)).
// - Powers are products of squares: x^2 = x*x, x^4 = x^2*x^2,
//   x^6 = x^4*x^2, x^8 = x^4*x^4, odd powers x^(2k+1) = x^(2k)*x; likewise
//   eta^4 = eta^2*eta^2.
// - A forward term is multiplied out left to right as it is written:
//   (t * 1/24) * c^4 * l^4 * (bracket) in the northing, 1/6 * c^3 * l^3 *
//   (bracket) in the easting, with the divisors as the decimal constants
//   below. Brackets are summed left to right, except that 9 eta^2 + 4 eta^4
//   is formed as (4 eta^2 + 9) * eta^2.
// - The sums are x = (M(phi) - M(phi0)) + N * (terms) and
//   y = N * (c l + terms); northing = k0 * x + false northing.
// - An inverse term is (signed bracket) / (divisor) * u^k, the sign carried
//   by the bracket, e.g. (-1 - 2t^2 - eta^2) / (6 * c * N^3) * u^3, and
//   (-t * (1 + eta^2)) / (2 * N^2) * u^2 in the latitude. Latitude and
//   longitude are summed left to right starting from phi1 and lambda0.
#include "projection/TransverseMercator.h"

#include <cmath>

#include "core/Access.h"
#include "core/BitKeyedCache.h"
#include "core/Angles.h"

namespace tervala {

namespace {

// 1/2, 1/24, 1/720, 1/40320 (northing) and 1/6, 1/120, 1/5040 (easting).
constexpr double kHalf = 0.5;
constexpr double kOneOver24 = 0.041666666666666664;
constexpr double kOneOver720 = 0.001388888888888889;
constexpr double kOneOver40320 = 2.48015873015873e-5;
constexpr double kOneOver6 = 0.16666666666666666;
constexpr double kOneOver120 = 0.008333333333333333;
constexpr double kOneOver5040 = 0.0001984126984126984;

// Angles of the four sines of M(phi0), per degree of the latitude of origin
// and per PI: 2/180, 4/180, 6/180, 8/180.
constexpr double kTwoOver180 = 0.011111111111111112;
constexpr double kFourOver180 = 0.022222222222222223;
constexpr double kSixOver180 = 0.03333333333333333;
constexpr double kEightOver180 = 0.044444444444444446;

// The forward series at one point, before the origin arc, scale and false
// origin are applied.
struct ForwardSeries {
    double arc;       // M(phi)
    double northing;  // N * (the four northing terms)
    double easting;   // N * (c l + the three easting terms)
};

ForwardSeries forwardSeries(const EllipsoidConstants& e, double phi, double l)
{
    const LatitudeTerms q = latitudeTerms(e, phi);
    const double c = q.c, t = q.t, t2 = q.t2, eta2 = q.eta2;
    const double t4 = t2 * t2, t6 = t4 * t2;
    const double c2 = c * c, c4 = c2 * c2, c6 = c4 * c2, c8 = c4 * c4;
    const double c3 = c2 * c, c5 = c4 * c, c7 = c6 * c;
    const double l2 = l * l, l4 = l2 * l2, l6 = l4 * l2, l8 = l4 * l4;
    const double l3 = l2 * l, l5 = l4 * l, l7 = l6 * l;

    const double x2 = t * kHalf * c2 * l2;
    const double x4 = t * kOneOver24 * c4 * l4 * (5 - t2 + (4 * eta2 + 9) * eta2);
    const double x6 = t * kOneOver720 * c6 * l6 * (61 - 58 * t2 + t4 + 270 * eta2 - 330 * t2 * eta2);
    const double x8 = t * kOneOver40320 * c8 * l8 * (1385 - 3111 * t2 + 543 * t4 - t6);

    const double y1 = c * l;
    const double y3 = kOneOver6 * c3 * l3 * (1 - t2 + eta2);
    const double y5 = kOneOver120 * c5 * l5 * (5 - 18 * t2 + t4 + 14 * eta2 - 58 * t2 * eta2);
    const double y7 = kOneOver5040 * c7 * l7 * (61 - 479 * t2 + 179 * t4 - t6);

    return ForwardSeries{meridianArc(e, phi), q.N * (x2 + x4 + x6 + x8), q.N * (y1 + y3 + y5 + y7)};
}

// Derivatives with respect to l of the two series sums of forwardSeries,
// N * d(x2 + x4 + x6 + x8)/dl and N * d(y1 + y3 + y5 + y7)/dl: each term
// k q l^k becomes k q l^(k-1), with the same brackets.
struct SeriesSlope {
    double northing;
    double easting;
};

SeriesSlope forwardSlope(const EllipsoidConstants& e, double phi, double l)
{
    const LatitudeTerms q = latitudeTerms(e, phi);
    const double c = q.c, t = q.t, t2 = q.t2, eta2 = q.eta2;
    const double t4 = t2 * t2, t6 = t4 * t2;
    const double c2 = c * c, c4 = c2 * c2, c6 = c4 * c2, c8 = c4 * c4;
    const double c3 = c2 * c, c5 = c4 * c, c7 = c6 * c;
    const double l2 = l * l, l4 = l2 * l2, l6 = l4 * l2;
    const double l3 = l2 * l, l5 = l4 * l, l7 = l6 * l;

    const double x2 = t * c2 * l;
    const double x4 = 4 * t * kOneOver24 * c4 * l3 * (5 - t2 + (4 * eta2 + 9) * eta2);
    const double x6 = 6 * t * kOneOver720 * c6 * l5 * (61 - 58 * t2 + t4 + 270 * eta2 - 330 * t2 * eta2);
    const double x8 = 8 * t * kOneOver40320 * c8 * l7 * (1385 - 3111 * t2 + 543 * t4 - t6);

    const double y1 = c;
    const double y3 = 3 * kOneOver6 * c3 * l2 * (1 - t2 + eta2);
    const double y5 = 5 * kOneOver120 * c5 * l4 * (5 - 18 * t2 + t4 + 14 * eta2 - 58 * t2 * eta2);
    const double y7 = 7 * kOneOver5040 * c7 * l6 * (61 - 479 * t2 + 179 * t4 - t6);
    return SeriesSlope{q.N * (x2 + x4 + x6 + x8), q.N * (y1 + y3 + y5 + y7)};
}

double computeOriginArc(const EllipsoidConstants& e, double d0)
{
    const double phi0 = d0 * PI * angles::kOneOver180;
    return e.arcAlpha * (phi0 + e.arcBeta * std::sin(d0 * PI * kTwoOver180) +
                         e.arcGamma * std::sin(d0 * PI * kFourOver180) +
                         e.arcDelta * std::sin(d0 * PI * kSixOver180) +
                         e.arcEpsilon * std::sin(d0 * PI * kEightOver180));
}

} // namespace

double originArc(const EllipsoidConstants& e, double latitudeOfOriginDegrees)
{
    // A host projects many points on one grid, so the arc of the last origin
    // is kept per thread and reused when the origin and the arc constants
    // are the same bit patterns: the reused value is the one this very
    // computation returned, so the results do not change.
    thread_local BitKeyedCache<6, double> memo;
    const double inputs[6] = {latitudeOfOriginDegrees, e.arcAlpha, e.arcBeta, e.arcGamma, e.arcDelta, e.arcEpsilon};
    return memo.get(inputs, [&] { return computeOriginArc(e, latitudeOfOriginDegrees); });
}

GridPoint tmForward(const EllipsoidConstants& e, const TMGrid& grid, double latitude, double longitude)
{
    const ForwardSeries s = forwardSeries(e, latitude, longitude - grid.centralMeridian);
    const double x = s.arc - grid.originArc + s.northing;
    return GridPoint{grid.scaleFactor * x + grid.falseNorthing, grid.scaleFactor * s.easting + grid.falseEasting};
}

ConvergenceScale tmConvergenceScale(const EllipsoidConstants& e, double scaleFactor, double latitude, double l)
{
    // Along the parallel the grid moves by (d easting, d northing) per unit
    // of l; the projection is conformal, so its angle from grid east is the
    // convergence and its length over the parallel's radius N cos(phi) the
    // point scale.
    const SeriesSlope d = forwardSlope(e, latitude, l);
    const LatitudeTerms q = latitudeTerms(e, latitude);
    return ConvergenceScale{angles::toDegrees(std::atan2(d.northing, d.easting)),
                            scaleFactor * std::hypot(d.northing, d.easting) / (q.N * q.c)};
}

GridPoint utmForward(const EllipsoidConstants& e, bool southern, double centralMeridian, double latitude,
                     double longitude)
{
    const ForwardSeries s = forwardSeries(e, latitude, longitude - centralMeridian);
    const double x = s.arc + s.northing;
    double northing = kUtmScaleFactor * x;
    if (southern)
        northing = northing + kUtmSouthernFalseNorthing;
    return GridPoint{northing, kUtmScaleFactor * s.easting + kUtmFalseEasting};
}

} // namespace tervala

// ---- The members: convert the caller's arguments in place, compute, store.
// Every argument is read before any is written back, so a host that passes
// one variable for two arguments gets the result of two separate copies.

using tervala::TervalaAccess;
namespace angles = tervala::angles;

namespace {

struct ForwardAngles {
    double lambda0, phi, lambda;  // radians
};

// The forward members' conversion: central meridian, latitude and longitude
// to radians, written back into the caller's variables after all three are
// read.
ForwardAngles convertInPlace(double& centralMeridian, double& latitude, double& longitude)
{
    const ForwardAngles r{angles::toRadians(centralMeridian), angles::toRadians(latitude),
                          angles::toRadians(longitude)};
    latitude = r.phi;
    longitude = r.lambda;
    centralMeridian = r.lambda0;
    return r;
}

} // namespace

void CTervala::Geodetic_to_TM(double& latitudeOfOrigin, double& centralMeridian, double falseNorthing,
                              double falseEasting, double scaleFactor, double& latitude, double& longitude,
                              double& height)
{
    const double origin = latitudeOfOrigin;
    const double h = height;
    const ForwardAngles r = convertInPlace(centralMeridian, latitude, longitude);

    const tervala::EllipsoidConstants e = TervalaAccess::ellipsoid(*this);
    const tervala::TMGrid grid{tervala::originArc(e, origin), r.lambda0, falseNorthing, falseEasting, scaleFactor};
    const tervala::GridPoint p = tervala::tmForward(e, grid, r.phi, r.lambda);
    m_TM[0] = p.northing;
    m_TM[1] = p.easting;
    m_TM[2] = h;
}

void CTervala::TM_to_Geodetic(double& latitudeOfOrigin, double& centralMeridian, double falseNorthing,
                              double falseEasting, double scaleFactor, double& northing, double& easting,
                              double& height)
{
    const double origin = latitudeOfOrigin;
    const double n = northing;
    const double en = easting;
    const double h = height;
    const double lambda0 = angles::toRadians(centralMeridian);
    centralMeridian = lambda0;

    const tervala::EllipsoidConstants e = TervalaAccess::ellipsoid(*this);
    const tervala::TMGrid grid{tervala::originArc(e, origin), lambda0, falseNorthing, falseEasting, scaleFactor};
    const tervala::GridInverse r = tervala::tmInverse(e, grid, n, en);
    northing = r.arc;
    m_Geodetic[0] = r.latitude;
    m_Geodetic[1] = r.longitude;
    m_Geodetic[2] = h;
}

void CTervala::Geodetic_to_UTM(int hemisphere, double& centralMeridian, double& latitude, double& longitude,
                               double& height)
{
    const double h = height;
    const ForwardAngles r = convertInPlace(centralMeridian, latitude, longitude);

    const tervala::GridPoint p = tervala::utmForward(TervalaAccess::ellipsoid(*this),
                                                     tervala::utmIsSouthern(hemisphere), r.lambda0, r.phi, r.lambda);
    m_UTM[0] = p.northing;
    m_UTM[1] = p.easting;
    m_UTM[2] = h;
}

void CTervala::UTM_to_Geodetic(int hemisphere, double& centralMeridian, double& northing, double& easting,
                               double& height)
{
    const bool southern = tervala::utmIsSouthern(hemisphere);
    const double n = northing;
    const double en = easting;
    const double h = height;
    const double lambda0 = angles::toRadians(centralMeridian);
    centralMeridian = lambda0;

    const tervala::EllipsoidConstants e = TervalaAccess::ellipsoid(*this);
    const tervala::GridInverse r = tervala::utmInverse(e, tervala::utmFootDivisor(e), southern, lambda0, n, en);
    if (southern)
        northing = r.arc;
    m_Geodetic[0] = r.latitude;
    m_Geodetic[1] = r.longitude;
    m_Geodetic[2] = h;
}
