// The geoid members: the two loaders, the two geoid heights and the
// undulation correction.
//
// The C++ loaders report failure only by returning 0. The binding turns that
// into an exception that names the host file: after a failed load it looks
// at the loader's files in the order the loader opens them and raises the
// OSError of the first one that cannot be opened (FileNotFoundError,
// PermissionError, IsADirectoryError, ...), or DataFileError when every file
// opens and the loader still refused the contents; the loader's own readers
// then say what is wrong with them.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Bindings.h"
#include "Registration.h"
#include "core/Access.h"
#include "geoid/GeoidGrid.h"
#include "geoid/GridCoverage.h"
#include "geoid/SphericalHarmonic.h"
#include "platform/DataFolder.h"

namespace tervala {
namespace python {
namespace {

struct DataFileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A file a loader reads, and what is wrong with its contents ("" when the
// loader's own reader accepts them).
struct LoaderFile {
    const char* devicePath;
    std::function<std::string(const std::string& hostPath)> fault;
};

std::string baseName(const char* devicePath)
{
    const std::string path(devicePath);
    return path.substr(path.rfind('\\') + 1);
}

py::object decodePath(const std::string& path) { return py::module_::import("os").attr("fsdecode")(py::bytes(path)); }

// Whether the file can be opened for reading as a regular file; errno-like
// code in `error` when not (0 for "exists but is not a regular file").
bool opensForReading(const std::string& path, int& error)
{
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        error = errno;
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        error = EISDIR;
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = 0;
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = errno;
        return false;
    }
    std::fclose(file);
    return true;
}

// Runs after a loader returned 0: finds the first of its files that cannot
// be opened, else the first whose contents its reader refuses, and raises.
[[noreturn]] void raiseLoadFailure(const char* who, const std::vector<LoaderFile>& files)
{
    const std::string folder = CTervala::GetDataFolder();
    const std::string hint = " (set the folder with Tervala.SetDataFolder or TERVALA_DATA_DIR)";
    std::string names;
    for (const LoaderFile& file : files) {
        const std::string path = platform::hostPath(file.devicePath);
        const std::string name = baseName(file.devicePath);
        names += (names.empty() ? "" : ", ") + name;
        int error = 0;
        if (opensForReading(path, error))
            continue;
        const std::string message = std::string(who) + ": cannot open " + name + " in the data folder " + folder + hint;
        if (error == 0)
            throw DataFileError(message + ": " + path + " is not a regular file");
        // OSError(errno, message, filename) picks the subclass that errno
        // stands for (ENOENT -> FileNotFoundError, EACCES -> PermissionError).
        py::object exc = py::module_::import("builtins").attr("OSError")(error, message, decodePath(path));
        PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exc.ptr())), exc.ptr());
        throw py::error_already_set();
    }
    for (const LoaderFile& file : files) {
        const std::string path = platform::hostPath(file.devicePath);
        const std::string fault = file.fault(path);
        if (!fault.empty())
            throw DataFileError(std::string(who) + ": " + path + " was not loaded: " + fault);
    }
    throw DataFileError(std::string(who) + ": the data folder " + folder + " holds " + names +
                        " but the loader did not accept " + (files.size() > 1 ? "them" : "it"));
}

std::string readFault(egm96::ReadEnd end)
{
    return end == egm96::ReadEnd::ReadError ? "the file could not be read to its end (read error)" : "";
}

std::vector<LoaderFile> egm96Files()
{
    using namespace egm96;
    auto correction = [](const std::string& path) {
        Numbra cosine = Zeros(kCoefficientCount, 1), sine = Zeros(kCoefficientCount, 1);
        return readFault(readCorrectionFile(path, cosine, sine));
    };
    auto geopotential = [](const std::string& path) -> std::string {
        Numbra coefficients = Zeros(kCoefficientCount, 2);
        const ReadEnd end = readGeopotentialFile(path, coefficients);
        if (end == ReadEnd::EndOfFile)
            return "the file ends before its (360, 360) record";
        if (end == ReadEnd::LastRecord && coefficients(1, 1) == kNotLoaded)
            return "its (0, 0) cosine coefficient is -9999.999, the value that marks a failed load";
        return readFault(end);
    };
    return {{kCorrectionDevicePath, correction}, {kGeopotentialDevicePath, geopotential}};
}

std::vector<LoaderFile> gridFiles(int model, int margin)
{
    auto fault = [margin](const std::string& path) -> std::string {
        struct Closer {
            void operator()(std::FILE* f) const { std::fclose(f); }
        };
        std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "rb"));
        if (!file)
            return "";
        grid::LoadedGrid loaded;
        const grid::GridLoadError error = grid::readGridFile(file.get(), margin, loaded);
        return error == grid::GridLoadError::None ? "" : grid::describe(error);
    };
    return {{grid::gridDevicePath(model), fault}};
}

// The C++ member takes a file name and does not read it; code ported from
// C++ passes one by habit and would believe the file it names was loaded.
// A name given here warns and names the folder the load really reads.
int loadEgm96(CTervala& self, const py::object& fileName)
{
    std::string name;
    if (!fileName.is_none()) {
        name = py::str(fileName).cast<std::string>();
        const std::string warning = "LoadEGMData: the file name " + py::repr(fileName).cast<std::string>() +
                                    " is not read; the coefficients come from CORRCOEF.dat and EGM96.dat in the "
                                    "data folder " + CTervala::GetDataFolder() +
                                    " (choose it with Tervala.SetDataFolder, or load a file of your choice with "
                                    "tervala.Egm96Model(path))";
        if (PyErr_WarnEx(PyExc_UserWarning, warning.c_str(), 1) != 0)
            throw py::error_already_set();
    }
    const int status = self.LoadEGMData(fileName.is_none() ? nullptr : name.c_str());
    if (status != 1)
        raiseLoadFailure("LoadEGMData", egm96Files());
    return status;
}

} // namespace

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

void requireGrid(const CTervala& object, const char* who)
{
    if (TervalaAccess::grid(object) == nullptr)
        throw std::runtime_error(std::string(who) + ": no geoid grid is loaded; call LoadKEGMData first");
}

void bindGeoid(py::module_& m, TervalaClass& cls)
{
    using py::arg;
    py::register_exception<DataFileError>(m, "DataFileError", PyExc_OSError);

    defineMethods(
        cls,
        row("LoadEGMData", &loadEgm96,
            "Reads CORRCOEF.dat and EGM96.dat from the data folder (Tervala.SetDataFolder); returns 1. The "
            "argument is accepted and not read, as in C++: a name given here warns (UserWarning) that it was "
            "not read; tervala.Egm96Model(path) loads the files a path names. A failed load raises OSError naming the file: FileNotFoundError (or PermissionError, "
            "IsADirectoryError) for a file that cannot be opened, tervala.DataFileError when both open but are "
            "not accepted.",
            arg("file_name") = py::none()),
        row("LoadKEGMData",
            [](CTervala& self, int model) {
                const int status = self.LoadKEGMData(model);
                if (status != 1)
                    raiseLoadFailure("LoadKEGMData", gridFiles(model, TervalaAccess::gridMargin(self)));
                return status;
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
