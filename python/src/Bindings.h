// The pieces of the tervala extension module, one per source file. Each adds
// its members to the one Python class that wraps CTervala.
#ifndef TERVALA_PYTHON_BINDINGS_H
#define TERVALA_PYTHON_BINDINGS_H

#include <pybind11/pybind11.h>

#include <memory>
#include <string>
#include <vector>

#include "tervala/Tervala.h"

namespace tervala {
namespace python {

namespace py = pybind11;
// Objects are deleted through ForgetSources, which also drops the object's
// entry from the table of where its loaded data came from (Pickle.cpp).
struct ForgetSources {
    void operator()(CTervala* object) const noexcept;
};
using TervalaClass = py::class_<CTervala, std::unique_ptr<CTervala, ForgetSources>>;

// The four seven-parameter models, which share one shape: X, Y, Z in, the
// GetGeocentric triple out. `apply` calls the member on its own arguments
// (the inverses take references and get those copies).
struct GeocentricModel {
    const char* member;  // the C++ name
    const char* array;   // the array function's name
    void (*apply)(CTervala& object, double X, double Y, double Z);
    const char* doc;
};
const std::vector<GeocentricModel>& geocentricModels();

// Lifetime, data folder, and every per-point member and accessor under its
// C++ name (Members.cpp).
void bindMembers(TervalaClass& cls);

// The array functions over NumPy arrays (Arrays.cpp).
void bindArrays(TervalaClass& cls);

// The four estimators and their result classes (Estimators.cpp).
void bindEstimators(py::module_& m, TervalaClass& cls);

// The loaders, the geoid heights, the undulation correction, and the
// exception class a failed load raises (Geoid.cpp).
void bindGeoid(py::module_& m, TervalaClass& cls);
// Raises tervala.DataFileError (an OSError) with the message and the file's
// path as its filename, which survives pickling (a Dask worker's error keeps
// it).
[[noreturn]] void raiseDataFileError(const std::string& message, const std::string& path);

// The value types of namespace tervala: the named tuple types their methods
// return (ModernGeoid.cpp, first), Ellipsoid, the projections and the
// transformations (ModernTypes.cpp), Egm96Model and GeoidGrid
// (ModernGeoid.cpp) and the fits (ModernFits.cpp).
void makeNamedTypes(py::module_& m);
void bindModernTypes(py::module_& m);
void bindModernGeoid(py::module_& m);
void bindModernFits(py::module_& m);
// Helmert15 and the epoch changes (ModernEpochs.cpp).
void bindModernEpochs(py::module_& m);

// Pickling of Tervala (Pickle.cpp): the fields travel, a loaded grid or
// coefficient set travels as the files it came from. Every binding that makes
// an object or changes its loaded data tells the table of sources.
void bindPickling(TervalaClass& cls);
void noteFresh(const CTervala& object);
void noteCopy(const CTervala& to, const CTervala& from);
void noteGridLoaded(const CTervala& object, const std::string& path);
void noteCoefficientsLoaded(const CTervala& object, const std::string& correction, const std::string& geopotential);
void noteCoefficientsReplaced(const CTervala& object);

// Model, grid and coefficient files this process has read through the
// per-process caches (tervala._tervala._file_loads()).
extern long long fileLoads;

// Raise RuntimeError, naming `who`, when the object has no EGM96
// coefficients (LoadEGMData never ran on it) or no geoid grid.
void requireCoefficients(const CTervala& object, const char* who);
void requireGrid(const CTervala& object, const char* who);

// Marks, for its lifetime, an array function that reads the object's geoid
// grid with the GIL released; made and destroyed with the GIL held.
// LoadKEGMData on that object waits (GIL released) until no reader is left,
// so a grid is never replaced under a thread that reads it.
class GridReader {
public:
    explicit GridReader(const CTervala& object);
    ~GridReader();
    GridReader(const GridReader&) = delete;
    GridReader& operator=(const GridReader&) = delete;

private:
    const CTervala* object_;
};
// Returns once no GridReader of `object` is left (called with the GIL held).
void waitForGridReaders(const CTervala& object);

} // namespace python
} // namespace tervala

#endif
