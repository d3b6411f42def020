// The geoid members: the two loaders, the two geoid heights and the
// undulation correction.
//
// The C++ loaders report failure only by returning 0; the binding calls the
// internal loaders behind them, which change the object exactly as the
// members do and also say which host file failed and why. A file that
// cannot be opened raises the OSError its errno stands for
// (FileNotFoundError, PermissionError, IsADirectoryError, ...); any other
// refusal raises DataFileError with the loader's reason.
#include <chrono>
#include <map>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>

#include "Bindings.h"
#include "Registration.h"
#include "core/Access.h"
#include "geoid/GeoidGrid.h"
#include "geoid/GridCoverage.h"
#include "geoid/SphericalHarmonic.h"
#include "platform/DataFolder.h"
#include "platform/Files.h"

namespace tervala {
namespace python {
namespace {

py::object decodePath(const std::string& path) { return py::module_::import("os").attr("fsdecode")(py::bytes(path)); }

// Raises the exception that stands for a failed load.
[[noreturn]] void raiseLoadFailure(const char* who, const platform::LoadStatus& status)
{
    const std::string folder = CTervala::GetDataFolder();
    if (status.problem == platform::LoadProblem::CannotOpen && status.systemError != 0) {
        const std::string message = std::string(who) + ": cannot open " + status.path + " in the data folder " +
                                    folder + " (set the folder with Tervala.SetDataFolder or TERVALA_DATA_DIR)";
        // OSError(errno, message, filename) picks the subclass that errno
        // stands for (ENOENT -> FileNotFoundError, EACCES -> PermissionError).
        py::object exc = py::module_::import("builtins").attr("OSError")(status.systemError, message,
                                                                          decodePath(status.path));
        PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exc.ptr())), exc.ptr());
        throw py::error_already_set();
    }
    if (status.problem == platform::LoadProblem::OutOfMemory && status.path.empty())
        throw std::bad_alloc();
    raiseDataFileError(std::string(who) + ": " + status.path + " was not loaded: " + status.reason, status.path);
}

// The C++ member takes a file name and does not read it; code ported from
// C++ passes one by habit and would believe the file it names was loaded.
// A name given here warns and names the folder the load really reads.
int loadEgmData(CTervala& self, const py::object& fileName)
{
    if (!fileName.is_none()) {
        const std::string warning = "LoadEGMData: the file name " + py::repr(fileName).cast<std::string>() +
                                    " is not read; the coefficients come from CORRCOEF.dat and EGM96.dat in the "
                                    "data folder " + CTervala::GetDataFolder() +
                                    " (choose it with Tervala.SetDataFolder, or load a file of your choice with "
                                    "tervala.Egm96Model(path))";
        if (PyErr_WarnEx(PyExc_UserWarning, warning.c_str(), 1) != 0)
            throw py::error_already_set();
    }
    const std::string correction = platform::dataFilePath(egm96::kCorrectionFileName);
    const std::string geopotential = platform::dataFilePath(egm96::kGeopotentialFileName);
    const platform::LoadStatus status = TervalaAccess::loadEgm96From(self, correction, geopotential);
    if (!status.ok()) {
        noteCoefficientsReplaced(self);  // the tables now hold what the failed load left
        raiseLoadFailure("LoadEGMData", status);
    }
    noteCoefficientsLoaded(self, correction, geopotential);
    return 1;
}

} // namespace

void raiseDataFileError(const std::string& message, const std::string& path)
{
    const py::object type = py::module_::import("tervala._tervala").attr("DataFileError");
    py::object e = type(message);
    e.attr("filename") = decodePath(path);
    PyErr_SetObject(type.ptr(), e.ptr());
    throw py::error_already_set();
}

void requireCoefficients(const CTervala& object, const char* who)
{
    // Nothing loaded: the table never filled, marked by a load that could not
    // open EGM96.dat, or all zeros after one that could not open CORRCOEF.dat.
    // A load that read EGM96.dat has removed the normal field's zonal terms,
    // so (4, 1), the degree-2 term, is zero only in a table of zeros or in a
    // model that cancels it exactly; only then are the values scanned.
    const Numbra& c = TervalaAccess::egmCoef(object);
    bool loaded = c.Rows() >= 4 && c.Cols() >= 1 && c(1, 1) != egm96::kNotLoaded;
    if (loaded && c(4, 1) == 0.0) {
        loaded = false;
        for (int r = 1; r <= c.Rows() && !loaded; ++r)
            for (int k = 1; k <= c.Cols() && !loaded; ++k)
                loaded = c(r, k) != 0.0;
    }
    if (!loaded)
        throw std::runtime_error(std::string(who) + ": no EGM96 coefficients are loaded; call LoadEGMData first");
}

namespace {
// Readers per object; touched only with the GIL held.
std::map<const CTervala*, int>& gridReaders()
{
    static auto* readers = new std::map<const CTervala*, int>;
    return *readers;
}
} // namespace

GridReader::GridReader(const CTervala& object) : object_(&object) { ++gridReaders()[object_]; }

GridReader::~GridReader()
{
    auto found = gridReaders().find(object_);
    if (--found->second == 0)
        gridReaders().erase(found);
}

void waitForGridReaders(const CTervala& object)
{
    while (gridReaders().count(&object) != 0) {
        py::gil_scoped_release release;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void requireGrid(const CTervala& object, const char* who)
{
    if (TervalaAccess::grid(object) == nullptr)
        throw std::runtime_error(std::string(who) + ": no geoid grid is loaded; call LoadKEGMData first");
}

void bindGeoid(py::module_& m, TervalaClass& cls)
{
    using py::arg;
    py::object error = py::reinterpret_steal<py::object>(PyErr_NewExceptionWithDoc(
        "tervala._tervala.DataFileError", "A data file that opens but whose contents are refused; filename names it.",
        PyExc_OSError, nullptr));
    if (!error)
        throw py::error_already_set();
    m.attr("DataFileError") = error;
    // OSError pickles its filename only when built with an errno; this one
    // has none, so it pickles as its arguments and the filename as state.
    error.attr("__reduce__") = py::cpp_function(
        [](const py::object& self) {
            py::dict state;
            state["filename"] = self.attr("filename");
            return py::make_tuple(py::type::of(self), self.attr("args"), state);
        },
        py::is_method(error));
    // OSError's own text reads "[Errno None] None: filename" once a filename
    // is set; the message already names the file.
    error.attr("__str__") = py::cpp_function(
        [](const py::object& self) {
            const py::tuple args = self.attr("args");
            return args.size() == 1 ? py::str(args[0])
                                    : py::str(py::module_::import("builtins").attr("OSError").attr("__str__")(self));
        },
        py::is_method(error));

    defineMethods(
        cls,
        row("LoadEGMData", &loadEgmData,
            "Reads CORRCOEF.dat and EGM96.dat from the data folder (Tervala.SetDataFolder); returns 1. The "
            "argument is accepted and not read, as in C++: a name given here warns (UserWarning) that it was "
            "not read; tervala.Egm96Model(path) loads the files a path names. A failed load raises OSError "
            "naming the file: FileNotFoundError (or PermissionError, IsADirectoryError) for a file that cannot "
            "be opened, tervala.DataFileError when both open but are not accepted.",
            arg("file_name") = py::none()),
        row("LoadKEGMData",
            [](CTervala& self, int model) {
                waitForGridReaders(self);
                const std::string path = platform::dataFilePath(grid::gridFileName(model));
                const platform::LoadStatus status = TervalaAccess::loadGridFrom(self, path);
                if (!status.ok())
                    raiseLoadFailure("LoadKEGMData", status);
                noteGridLoaded(self, path);
                return 1;
            },
            "Reads the geoid grid of model 13 (kgeoid13.dat), 2008 (egm2008p.dat) or any other value "
            "(kgeoid14.dat) from the data folder; returns 1. A failed load raises OSError as LoadEGMData.",
            arg("model")),
        row("EGM96GeoidHeight",
            [](CTervala& self, double latitude, double longitude) {
                requireCoefficients(self, "EGM96GeoidHeight");
                return self.EGM96GeoidHeight(latitude, longitude);
            },
            "EGM96 geoid undulation (m, relative to WGS 84) at latitude, longitude in degrees. RuntimeError "
            "before a successful LoadEGMData.",
            arg("latitude"), arg("longitude")),
        row("KEGMGeoidHeight",
            [](CTervala& self, double latitude, double longitude) {
                requireGrid(self, "KEGMGeoidHeight");
                const double h = self.KEGMGeoidHeight(latitude, longitude);
                if (h == grid::kOutOfRange)
                    throw py::value_error("KEGMGeoidHeight: latitude " + py::repr(py::float_(latitude)).cast<std::string>() +
                                          ", longitude " + py::repr(py::float_(longitude)).cast<std::string>() +
                                          " is out of range (latitude -90..90, longitude -360..720)");
                if (h == grid::kWindowDoesNotFit)
                    throw py::value_error("KEGMGeoidHeight: latitude " + py::repr(py::float_(latitude)).cast<std::string>() +
                                          ", longitude " + py::repr(py::float_(longitude)).cast<std::string>() +
                                          " lies outside the loaded grid (the interpolation window does not fit)");
                if (!grid::windowIsStored(grid::gridView(self), latitude, longitude)) {
                    const grid::GridCoverage c = grid::gridCoverage(grid::gridView(self));
                    throw py::value_error("KEGMGeoidHeight: latitude " + py::repr(py::float_(latitude)).cast<std::string>() +
                                          ", longitude " + py::repr(py::float_(longitude)).cast<std::string>() +
                                          " is too close to the edge of this regional grid; points must lie more than " +
                                          py::repr(py::float_(c.marginLatitude)).cast<std::string>() +
                                          " degrees of latitude and " +
                                          py::repr(py::float_(c.marginLongitude)).cast<std::string>() +
                                          " of longitude inside its outer rows and columns");
                }
                return h;
            },
            "Grid geoid undulation at latitude, longitude in degrees by spline interpolation. Where the C++ "
            "member returns 999999.0 (out of range) or -999999.0 (window does not fit), and on a regional "
            "grid where the interpolation window is not made of stored nodes, this raises ValueError; "
            "RuntimeError before a successful LoadKEGMData.",
            arg("latitude"), arg("longitude")),
        row("CorrUndulation", &CTervala::CorrUndulation,
            "Molodensky change of the ellipsoidal height (m) at lat, lon (degrees) for dX, dY, dZ, da (m) and df, "
            "on the current ellipsoid.",
            arg("lat"), arg("lon"), arg("dX"), arg("dY"), arg("dZ"), arg("da"), arg("df")));
}

} // namespace python
} // namespace tervala
