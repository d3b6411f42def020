// Published seven parameters read every way they may have been meant, each
// reading measured against common points: the logic behind `tervala
// diagnose` and Python's tervala.diagnose.
#ifndef TERVALA_MODERN_CONVENTION_READINGS_H
#define TERVALA_MODERN_CONVENTION_READINGS_H

#include <vector>

#include "tervala/Datum.hpp"

namespace tervala {

// A seven-parameter set as published: translations in metres, scale in ppm,
// rotations in arc-seconds, with the convention and rotation matrix stated.
struct StatedSeven {
    double tx = 0, ty = 0, tz = 0, s = 0, rx = 0, ry = 0, rz = 0;
    Convention convention = Convention::CoordinateFrame;
    RotationForm rotations = RotationForm::small_angle;
};

// One way of reading the stated set.
struct SevenReading {
    bool otherConvention = false;  // rotations in the other sign convention
    bool opposite = false;         // the set maps target to source
    bool radians = false;          // rotations given in radians
    bool factor = false;           // scale given as the factor m, not in ppm
    bool otherForm = false;        // the other rotation matrix (small-angle / exact)
    StatedSeven meant;             // the set in ppm and arc-seconds, as this reading means it
    bool applicable = true;        // the values make a transformation in this reading
    double rms = 0, largest = 0;   // 3D misfit |T(X) - X'| over the points, metres
    int changes() const { return otherConvention + opposite + radians + factor + otherForm; }
};

// Every reading of `stated` (radians only where every rotation is below
// 1e-2, a factor only where the scale is within 1 % of 1), each applied to
// `source` (forward, or inverse for the opposite direction) and measured
// against `target`. Sorted best first: applicable before not, then by RMS,
// and among readings within 0.1 mm of each other the one that changes least
// of what was stated. The lists must be of equal, non-zero length.
std::vector<SevenReading> sevenParameterReadings(const StatedSeven& stated, const std::vector<Geocentric>& source,
                                                 const std::vector<Geocentric>& target);

} // namespace tervala

#endif
