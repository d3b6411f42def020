#include "projection/Domain.h"

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
    // Placeholder until the measurement lands: the 1 mm offset on GRS80 is
    // a little above 6 degrees (the series is 0.83 mm off at 6 degrees).
    return 6.0;
}

} // namespace tervala
