// Internal access to the private state of the value types, for their own
// sources, the tests and the benchmarks. Nothing here is installed.
#ifndef TERVALA_MODERN_MODERNACCESS_H
#define TERVALA_MODERN_MODERNACCESS_H

#include <cmath>
#include <limits>

#include "core/Ellipsoid.h"
#include "tervala/tervala.hpp"

namespace tervala {

struct ModernAccess {
    // The constants the internal functions take, in their field order.
    static EllipsoidConstants constants(const Ellipsoid& e)
    {
        const double* k = e.series_;
        return EllipsoidConstants{e.a_,  k[0], k[1], k[2],  k[3],  k[4],  k[5],  k[6],
                                  k[7],  k[8], k[9], k[10], k[11], k[12], k[13], k[14]};
    }
    // A seven-parameter set's rotation matrix (coordinate-frame), its
    // inverse and its scale factor.
    static const double (&rotation(const Helmert7& h))[3][3] { return h.r_; }
    static const double (&inverseRotation(const Helmert7& h))[3][3] { return h.rInv_; }
    static double factor(const Helmert7& h) { return h.m_; }
};

namespace modern {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

} // namespace modern
} // namespace tervala

#endif
