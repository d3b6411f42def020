#include "modern/ConventionReadings.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace tervala {
namespace {

// 180 * 3600 / pi: arc-seconds per radian.
constexpr double kArcsecondsPerRadian = 206264.80624709636;

void measure(SevenReading& r, const std::vector<Geocentric>& source, const std::vector<Geocentric>& target)
{
    try {
        const StatedSeven& m = r.meant;
        const Helmert7 h(m.tx, m.ty, m.tz, m.s, m.rx, m.ry, m.rz, m.convention, m.rotations);
        double sum = 0;
        for (std::size_t k = 0; k < source.size(); ++k) {
            const Geocentric y = r.opposite ? h.inverse(source[k]) : h.forward(source[k]);
            const double d = std::sqrt((y.x - target[k].x) * (y.x - target[k].x) +
                                       (y.y - target[k].y) * (y.y - target[k].y) +
                                       (y.z - target[k].z) * (y.z - target[k].z));
            sum += d * d;
            r.largest = std::max(r.largest, d);
        }
        r.rms = std::sqrt(sum / static_cast<double>(source.size()));
        r.applicable = std::isfinite(r.rms);
    } catch (const std::invalid_argument&) {
        r.applicable = false;
    }
}

} // namespace

std::vector<SevenReading> sevenParameterReadings(const StatedSeven& stated, const std::vector<Geocentric>& source,
                                                 const std::vector<Geocentric>& target)
{
    // Rotations stated in radians are below 1e-2 (2000 arc-seconds); a
    // scale stated as a factor lies within 1 % of 1. Other values are not
    // read that way.
    const bool radiansPossible = std::max({std::fabs(stated.rx), std::fabs(stated.ry), std::fabs(stated.rz)}) < 1e-2;
    const bool factorPossible = std::fabs(stated.s - 1) < 1e-2;
    std::vector<SevenReading> out;
    for (int mask = 0; mask < 32; ++mask) {
        if (((mask & 4) && !radiansPossible) || ((mask & 8) && !factorPossible))
            continue;
        SevenReading r;
        r.otherConvention = mask & 1;
        r.opposite = mask & 2;
        r.radians = mask & 4;
        r.factor = mask & 8;
        r.otherForm = mask & 16;
        r.meant = stated;
        if (r.otherConvention)
            r.meant.convention = stated.convention == Convention::PositionVector ? Convention::CoordinateFrame
                                                                                : Convention::PositionVector;
        if (r.otherForm)
            r.meant.rotations =
                stated.rotations == RotationForm::exact ? RotationForm::small_angle : RotationForm::exact;
        if (r.radians) {
            r.meant.rx *= kArcsecondsPerRadian;
            r.meant.ry *= kArcsecondsPerRadian;
            r.meant.rz *= kArcsecondsPerRadian;
        }
        if (r.factor)
            r.meant.s = (stated.s - 1) * 1e6;
        measure(r, source, target);
        out.push_back(r);
    }
    std::stable_sort(out.begin(), out.end(), [](const SevenReading& a, const SevenReading& b) {
        if (a.applicable != b.applicable)
            return a.applicable;
        if (std::fabs(a.rms - b.rms) > 1e-4)
            return a.rms < b.rms;
        return a.changes() < b.changes();
    });
    return out;
}

} // namespace tervala
