#include "projection/Domain.h"

#include <algorithm>
#include <cmath>

namespace tervala {

double reduceLongitude(double deg)
{
    if (!std::isfinite(deg))
        return std::nan("");
    double r = std::fmod(deg, 360.0);  // (-360, 360), sign of deg
    if (r > 180.0)
        r -= 360.0;
    else if (r <= -180.0)
        r += 360.0;
    return r;
}

double tmMaxOffsetDegrees(const EllipsoidConstants& e)
{
    if (!(e.a > 0) || !std::isfinite(e.a) || !(e.f >= 0 && e.f < 1))
        return std::nan("");
    // Offsets (degrees) where the series first differs by 1 mm from the
    // exact projection, over all latitudes, for a = 6378137 m and the
    // inverse flattening in the first column, as printed by
    // bench/tm_domain.cpp. The offset grows with 1/f, so a flattening
    // between two rows takes the lower row.
    struct Row {
        double inverseFlattening;
        double offset;
    };
    static const Row rows[] = {
        {150.0, 5.128},       {200.0, 5.584},         {250.0, 5.925},        {280.0, 6.092},
        {290.0, 6.143},       {294.9786982, 6.167},   {297.0, 6.177},        {298.257222101, 6.183},
        {299.1528128, 6.187}, {300.0, 6.191},         {310.0, 6.238},        {350.0, 6.406},
        {500.0, 6.860},       {1000.0, 7.560},        {10000.0, 8.510},
    };
    const double inverseFlattening = e.f > 0 ? 1 / e.f : INFINITY;
    if (inverseFlattening < rows[0].inverseFlattening * (1 - 1e-12))
        return std::nan("");  // flatter than any measured ellipsoid
    double offset = rows[0].offset;
    for (const Row& r : rows)
        if (r.inverseFlattening <= inverseFlattening * (1 + 1e-12))
            offset = r.offset;
    // The error grows in proportion to a, and near 1 mm in proportion to
    // about the sixth power of the offset: a larger ellipsoid reaches 1 mm at
    // (6378137 / a)^(1/6) of the offset (measured up to a = 3e7 m). A smaller
    // one keeps the tabulated, conservative value.
    if (e.a > 6378137.0)
        offset *= std::pow(6378137.0 / e.a, 1.0 / 6);
    return std::floor(offset * 100) / 100;
}

namespace {

// Offsets (degrees) where the legacy series first differ by 1 mm from the
// exact projection over |latitude| in [5k, 5k + 5], GRS80, as printed by
// bench/tm_domain.cpp --by-latitude: the forward alone, and the worse of
// the forward and the inverse (given the exact grid coordinates).
constexpr double kForwardByBand[18] = {6.183, 6.279,  6.610,  7.422,  7.573,  7.239,  7.218,  7.278,  7.608,
                                       8.324, 10.195, 10.376, 10.381, 10.855, 12.200, 16.685, 16.734, 19.694};
constexpr double kInverseByBand[18] = {6.183, 6.279, 6.610, 7.422, 7.573, 7.239, 7.218, 7.104, 6.936,
                                       6.820, 6.750, 6.726, 6.726, 6.747, 6.824, 6.973, 7.240, 7.781};

double byLatitude(const double (&byBand)[18], const EllipsoidConstants& e, double latitudeDegrees)
{
    const double lat = std::fabs(latitudeDegrees);
    if (!(lat <= 90.0))
        return std::nan("");
    constexpr double kEquator = 6.183;
    // Within 0.01 degrees of a band edge the smaller row of the two holds,
    // so that an inverse whose latitude lands a hair across the edge from
    // the forward's accepts what the forward gave.
    auto bandOf = [](double x) { return std::min(17, std::max(0, static_cast<int>(x / 5))); };
    const double row = std::min(byBand[bandOf(lat - 0.01)], byBand[bandOf(lat + 0.01)]);
    const double equator = tmMaxOffsetDegrees(e);
    // (The 1e-9 keeps the equator's 6.18 from rounding down to 6.17.)
    return std::floor(equator * (row / kEquator) * 100 + 1e-9) / 100;
}

} // namespace

double legacyMaxOffsetDegrees(const EllipsoidConstants& e, double latitudeDegrees)
{
    return byLatitude(kForwardByBand, e, latitudeDegrees);
}

double legacyInverseMaxOffsetDegrees(const EllipsoidConstants& e, double latitudeDegrees)
{
    return byLatitude(kInverseByBand, e, latitudeDegrees);
}

} // namespace tervala
