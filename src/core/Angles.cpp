#include "core/Angles.h"

#include <cmath>

namespace tervala {

// Set by the library's static initialiser, before any object can exist, and
// only read afterwards.
const double PI = 4.0 * std::atan(1.0);

} // namespace tervala
