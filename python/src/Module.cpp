// tervala._tervala: CTervala for Python. The package's __init__ re-exports
// what is defined here.
#include "Bindings.h"
#include "tervala/Version.h"

PYBIND11_MODULE(_tervala, m)
{
    namespace tp = tervala::python;
    m.doc() = "Tervala geodetic computations (CTervala) for Python and NumPy.";
    m.attr("__version__") = TERVALA_VERSION_STRING;

    tp::TervalaClass cls(m, "Tervala", R"doc(
CTervala: geodetic computations for field surveying, in one object.

Every public member of the C++ class is here under its own name, with the
same argument order and units (metres, decimal degrees, arc-seconds, ppm).
Differences from C++:

* A member that leaves its result in the object also returns it: a tuple
  for a triple (Geodetic_to_TM -> (northing, easting, height)), a float for
  a single value. The Get... accessors still read the stored results.
* Arguments are passed by value: the C++ members that convert their
  reference arguments to radians in place (Geodetic_to_TM, ...) work on
  copies, so nothing you pass is ever changed.
* The estimators take (n, 2) / (n, 3) arrays and return a result object.
* Failed loads and out-of-grid geoid heights raise exceptions.

Array functions (snake_case names, e.g. geodetic_to_tm) run a per-point
member over whole NumPy arrays in C++, on all cores for large arrays; their
results equal the per-point members bit for bit. They work on copies of the
object and leave its stored results untouched.
)doc");

    tp::bindMembers(cls);
    tp::bindGeoid(m, cls);
    tp::bindEstimators(m, cls);
    tp::bindArrays(cls);
    tp::bindPickling(cls);

    tp::makeNamedTypes(m);
    tp::bindModernTypes(m);
    tp::bindModernGeoid(m);
    tp::bindModernFits(m);
    tp::bindModernEpochs(m);
}
