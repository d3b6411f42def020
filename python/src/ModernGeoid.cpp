// Egm96Model and GeoidGrid for Python, and the named tuple types.
//
// A model or grid is loaded once per process: objects built from the same
// file share the loaded data through a process-wide cache keyed by the
// resolved path and the file's size and modification time (a rewritten file
// is read again). They pickle as their paths, so a worker process that
// unpickles one loads the file the first time and reuses it afterwards.

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "Bindings.h"
#include "ModernSupport.h"
#include "Registration.h"
#include "ValueSemantics.h"
#include "gridtools/ImportGrid.h"
#include "platform/Files.h"
#include "tervala/Geoid.hpp"
#include "tervala/GridShift.hpp"

namespace tervala {
namespace python {
namespace {

using py::arg;

NamedTypes* types = nullptr;  // made at import, kept for the life of the process

py::object namedTuple(const char* name, const char* fields, const char* doc)
{
    py::object type = py::module_::import("collections")
                          .attr("namedtuple")(name, fields, py::arg("module") = "tervala");
    type.attr("__doc__") = doc;
    return type;
}

// The file's resolved path and identity, or the OSError that stat gives.
using FileKey = platform::FileIdentity;

FileKey fileKey(const std::string& path, const char* who)
{
    FileKey key;
    int error = 0;
    if (!platform::identifyFile(path, key, error)) {
        const py::object name = py::module_::import("os").attr("fsdecode")(py::bytes(path));
        const std::string message = std::string(who) + ": cannot open " + py::str(name).cast<std::string>();
        py::object exc = py::module_::import("builtins").attr("OSError")(error, message, name);
        PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exc.ptr())), exc.ptr());
        throw py::error_already_set();
    }
    return key;
}

// Loads through the cache. `load` runs with the GIL released.
// A refusal raises DataFileError naming the file: of `files`, the one the
// loader's message names (the first when it names none).
template <class T, class Key, class Load>
T cached(std::map<Key, T>& cache, const Key& key, Load load, const std::vector<std::string>& files)
{
    auto found = cache.find(key);
    if (found != cache.end())
        return found->second;
    std::string failure;
    std::unique_ptr<T> loaded;
    {
        py::gil_scoped_release release;
        try {
            loaded.reset(new T(load()));
        } catch (const std::bad_alloc&) {
            failure = "not enough memory to load the file";
        } catch (const std::exception& e) {
            failure = e.what();
        }
    }
    if (!loaded) {
        std::string file = files.front();
        for (const std::string& f : files)
            if (failure.find(f) != std::string::npos)
                file = f;
        raiseDataFileError(failure, file);
    }
    ++fileLoads;
    // Another thread may have loaded the same file meanwhile: keep the first.
    return cache.emplace(key, *loaded).first->second;
}

Egm96Model loadEgm96(const py::object& path, const py::object& correctionPath)
{
    static std::map<std::pair<FileKey, FileKey>, Egm96Model>* cache = new std::map<std::pair<FileKey, FileKey>, Egm96Model>;
    std::string geopotential = pathBytes(path, "path");
    if (platform::isDirectory(geopotential))
        geopotential += "/EGM96.dat";
    std::string correction;
    if (!correctionPath.is_none()) {
        correction = pathBytes(correctionPath, "correction_path");
    } else {
        const std::size_t slash = geopotential.rfind('/');
        correction = (slash == std::string::npos ? std::string() : geopotential.substr(0, slash + 1)) + "CORRCOEF.dat";
    }
    const FileKey first = fileKey(geopotential, "Egm96Model");  // EGM96.dat named first when both are missing
    const auto key = std::make_pair(first, fileKey(correction, "Egm96Model"));
    return cached(*cache, key, [&] { return Egm96Model(key.first.path, key.second.path); },
                  {key.first.path, key.second.path});
}

// For a file refused as a grid: the converter that reads it, when it is a
// GTX grid (by its extension) or a TIFF (by its signature), else "".
std::string converterHint(const std::string& path)
{
    char signature[4] = {};
    std::ifstream in(path, std::ios::binary);
    in.read(signature, 4);
    const bool tiff =
        in.gcount() == 4 && (std::memcmp(signature, "II*\0", 4) == 0 || std::memcmp(signature, "MM\0*", 4) == 0);
    const std::size_t dot = path.rfind('.');
    std::string extension = dot == std::string::npos ? std::string() : path.substr(dot + 1);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == "gtx")
        return "; this is a GTX grid: convert it once with tervala.convert_grid('" + path +
               "', 'grid.dat') or `tervala data gtx-to-grid " + path + " grid.dat` and open grid.dat";
    if (tiff)
        return "; this is a TIFF (GeoTIFF) raster: convert it once with tervala.convert_grid('" + path +
               "', 'grid.dat') or `tervala data import-grid " + path + " grid.dat` and open grid.dat";
    return "";
}

// The GDAL plugin the package uses: the installed one beside the package
// when it is there, else the one of the build tree; "" without GDAL.
std::string gdalPluginPath()
{
    const std::string fromPackage = TERVALA_GDAL_PLUGIN_FROM_PACKAGE;
    if (fromPackage.empty())
        return "";
    const std::string module = py::str(py::module_::import("tervala._tervala").attr("__file__")).cast<std::string>();
    const std::size_t slash = module.find_last_of('/');
    const std::string installed = (slash == std::string::npos ? std::string(".") : module.substr(0, slash)) + "/" + fromPackage;
    platform::LoadStatus status;
    return platform::openRegularFile(installed, status) ? installed : std::string(TERVALA_GDAL_PLUGIN_BUILT);
}

// tervala.convert_grid: the converter of `tervala data import-grid`.
std::string convertGrid(const py::object& source, const py::object& target)
{
    const std::string in = pathBytes(source, "source"), out = pathBytes(target, "target");
    const std::string plugin = gdalPluginPath();
    std::string message;
    raster::ImportOutcome outcome;
    {
        py::gil_scoped_release release;
        outcome = raster::importToGrid(in, out, plugin, message);
    }
    if (outcome == raster::ImportOutcome::Unavailable)
        throw std::runtime_error("convert_grid: " + message);
    if (outcome == raster::ImportOutcome::Refused)
        raiseDataFileError("convert_grid: " + in + ": " + message, in);
    return message;
}

GeoidGrid loadGrid(const py::object& path)
{
    static std::map<FileKey, GeoidGrid>* cache = new std::map<FileKey, GeoidGrid>;
    const FileKey key = fileKey(pathBytes(path, "path"), "GeoidGrid");
    try {
        return cached(*cache, key, [&] { return GeoidGrid(key.path); }, {key.path});
    } catch (py::error_already_set& e) {
        const std::string hint = converterHint(key.path);
        if (hint.empty() || !e.matches(py::module_::import("tervala._tervala").attr("DataFileError")))
            throw;
        raiseDataFileError(py::str(e.value()).cast<std::string>() + hint, key.path);
    }
}

GridShift loadGridShift(const py::object& path)
{
    static std::map<FileKey, GridShift>* cache = new std::map<FileKey, GridShift>;
    const FileKey key = fileKey(pathBytes(path, "path"), "GridShift");
    return cached(*cache, key, [&] { return GridShift(key.path); }, {key.path});
}

template <bool Inverse>
void gridShiftPoint(const GridShift& g, const double (&in)[3], double (&out)[3])
{
    const Geodetic p{in[0], in[1], in[2]};
    const Geodetic q = Inverse ? g.inverse(p) : g.forward(p);
    out[0] = q.latitude;
    out[1] = q.longitude;
    out[2] = q.height;
}

template <bool Inverse>
py::object gridShiftMethod(const GridShift& g, const py::handle& latitude, const py::handle& longitude,
                           const py::handle& height, bool xy, int threads)
{
    const py::handle lat = xy ? longitude : latitude, lon = xy ? latitude : longitude;
    const NamedTypes& t = namedTypes();
    return evaluate<3, 3>({lat, lon, height}, {"latitude", "longitude", "height"}, xy ? t.geodeticXY : t.geodetic,
                          threads, kCheapPoints, [&g, xy](const double (&in)[3], double (&out)[3]) {
                              gridShiftPoint<Inverse>(g, in, out);
                              if (xy)
                                  std::swap(out[0], out[1]);
                          });
}

py::object decoded(const std::string& path) { return py::module_::import("os").attr("fsdecode")(py::bytes(path)); }

template <class T>
void heightPoint(const T& model, const double (&in)[2], double (&out)[1])
{
    out[0] = model.height(in[0], in[1]);
}

template <class T>
py::object heightMethod(const T& model, const py::handle& latitude, const py::handle& longitude, bool xy,
                        int threads, py::ssize_t minPerThread)
{
    const py::handle lat = xy ? longitude : latitude, lon = xy ? latitude : longitude;
    return evaluate<2, 1>({lat, lon}, {"latitude", "longitude"}, py::none(), threads, minPerThread,
                          [&model](const double (&in)[2], double (&out)[1]) { heightPoint(model, in, out); });
}

} // namespace

const NamedTypes& namedTypes() { return *types; }

void makeNamedTypes(py::module_& m)
{
    types = new NamedTypes{
        namedTuple("Geodetic", "latitude longitude height", "Latitude, longitude (degrees), height (m)."),
        namedTuple("GeodeticXY", "longitude latitude height", "Longitude, latitude (degrees), height (m)."),
        namedTuple("Geocentric", "x y z", "Geocentric X, Y, Z (m)."),
        namedTuple("Projected", "easting northing", "Grid easting and northing (m)."),
        namedTuple("Geographic", "latitude longitude", "Latitude and longitude (degrees)."),
        namedTuple("GeographicXY", "longitude latitude", "Longitude and latitude (degrees)."),
        namedTuple("GeodeticShift", "latitude longitude height",
                   "Shifts of latitude, longitude (degrees) and height (m)."),
        namedTuple("PlaneCoordinates", "first second", "First and second plane coordinate (m)."),
        namedTuple("ProjectedWithScale", "easting northing convergence scale",
                   "Grid easting and northing (m), meridian convergence (degrees) and point scale."),
        namedTuple("GeographicWithScale", "latitude longitude convergence scale",
                   "Latitude and longitude (degrees), meridian convergence (degrees) and point scale."),
        namedTuple("GeographicXYWithScale", "longitude latitude convergence scale",
                   "Longitude and latitude (degrees), meridian convergence (degrees) and point scale."),
    };
    for (const py::object* t : {&types->geodetic, &types->geodeticXY, &types->geocentric, &types->projected,
                                &types->geographic, &types->geographicXY, &types->shift, &types->plane,
                                &types->projectedScale, &types->geographicScale, &types->geographicXYScale})
        m.attr(t->attr("__name__")) = *t;
    // The legacy array functions' results, in the members' order.
    m.attr("NorthingEasting") =
        namedTuple("NorthingEasting", "northing easting", "Grid northing and easting (m), the legacy members' order.");
    m.attr("LatitudeLongitude") = namedTuple("LatitudeLongitude", "latitude longitude",
                                             "Latitude and longitude (degrees), the legacy members' order.");
}

std::string pathBytes(const py::handle& path, const char* what)
{
    py::object bytes;
    try {
        bytes = py::module_::import("os").attr("fsencode")(path);
    } catch (py::error_already_set&) {
        throw py::type_error(std::string(what) + " must be a path (str, bytes or os.PathLike)");
    }
    const std::string s = bytes.cast<std::string>();
    if (s.empty() || std::memchr(s.data(), '\0', s.size()) != nullptr)
        throw py::value_error(std::string(what) + " must be a non-empty path without null characters");
    return s;
}

void bindModernGeoid(py::module_& m)
{
    m.def("_file_loads", [] { return fileLoads; },
          "How many model and grid files this process has read (the cache's misses).");
    m.def("convert_grid", &convertGrid,
          "convert_grid(source, target)\n--\n\n"
          "Converts a raster of geoid heights into a grid file that GeoidGrid and LoadKEGMData read, as "
          "`tervala data import-grid` does: GTX, GeoTIFF and any single-band raster GDAL reads (through the "
          "tool's GDAL plugin), and NGA's EGM2008 grid of geotranz. The target is written only when complete. "
          "Returns the report of what was read and written. DataFileError naming the source when it cannot be "
          "converted; RuntimeError when no reader for it is available (a build without GDAL reads GTX files "
          "and the EGM2008 grid only).",
          arg("source"), arg("target"));
    const auto threads = arg("threads") = 0;
    const auto xy = arg("xy") = false;

    py::class_<Egm96Model> egm(m, "Egm96Model",
                               "The EGM96 geoid to degree and order 360: undulations (m) above the WGS 84 "
                               "ellipsoid from the coefficient files EGM96.dat and CORRCOEF.dat.");
    defineConstructor(egm, py::init(&loadEgm96),
                      "path: EGM96.dat, or a folder holding EGM96.dat and CORRCOEF.dat; correction_path: "
                      "CORRCOEF.dat when it is not beside EGM96.dat. Loaded once per process per file. "
                      "FileNotFoundError (or another OSError) names a file that cannot be opened, "
                      "tervala.DataFileError one whose contents are refused.",
                      arg("path"), arg("correction_path") = py::none());
    defineMethods(
        egm,
        row("height",
            [](const Egm96Model& model, const py::handle& latitude, const py::handle& longitude, bool xy,
               int threads) { return heightMethod(model, latitude, longitude, xy, threads, kSynthesisPoints); },
            "Geoid undulation (m) at latitude, longitude (degrees); NaN for a latitude outside [-90, 90] or "
            "input that is not finite.",
            arg("latitude"), arg("longitude"), py::kw_only(), xy, threads),
        row("__repr__",
            [](const Egm96Model& model) {
                return "Egm96Model(" + py::repr(decoded(model.geopotentialPath())).cast<std::string>() +
                       ", correction_path=" + py::repr(decoded(model.correctionPath())).cast<std::string>() + ")";
            },
            "The constructor call."));
    defineValueSemantics(egm, [](const Egm96Model& model) {
        return py::make_tuple(py::bytes(model.geopotentialPath()), py::bytes(model.correctionPath()));
    });
    FastMethod<Egm96Model, 2, 1, &heightPoint<Egm96Model>>::install(egm, "height", nullptr, 2, {}, xyInputs(nullptr));
    egm.def_property_readonly("path", [](const Egm96Model& model) { return decoded(model.geopotentialPath()); },
                              "EGM96.dat, resolved")
        .def_property_readonly("correction_path",
                               [](const Egm96Model& model) { return decoded(model.correctionPath()); },
                               "CORRCOEF.dat, resolved")
        .def(py::pickle(
            [](const Egm96Model& model) {
                return py::make_tuple(decoded(model.geopotentialPath()), decoded(model.correctionPath()));
            },
            [](const py::tuple& s) { return loadEgm96(s[0], s[1]); }));

    py::class_<GeoidGrid> grid(m, "GeoidGrid",
                               "A geoid grid file interpolated by cubic splines over 6 x 6 nodes. height() is NaN "
                               "where the window would leave a regional grid (two to three spacings from its "
                               "edge), outside the grid and for latitudes outside [-90, 90].");
    defineConstructor(grid, py::init(&loadGrid),
                      "The grid file. Loaded once per process per file; OSError or tervala.DataFileError as "
                      "Egm96Model.",
                      arg("path"));
    defineMethods(
        grid,
        row("height",
            [](const GeoidGrid& g, const py::handle& latitude, const py::handle& longitude, bool xy, int threads) {
                return heightMethod(g, latitude, longitude, xy, threads, kCheapPoints);
            },
            "Geoid undulation at latitude, longitude (degrees), in the file's unit (m); NaN outside the grid's "
            "reliable region.",
            arg("latitude"), arg("longitude"), py::kw_only(), xy, threads),
        row("__repr__",
            [](const GeoidGrid& g) { return "GeoidGrid(" + py::repr(decoded(g.path())).cast<std::string>() + ")"; },
            "The constructor call."));
    defineValueSemantics(grid, [](const GeoidGrid& g) { return py::make_tuple(py::bytes(g.path())); });
    FastMethod<GeoidGrid, 2, 1, &heightPoint<GeoidGrid>>::install(grid, "height", nullptr, 2, {}, xyInputs(nullptr));
    grid.def_property_readonly("path", [](const GeoidGrid& g) { return decoded(g.path()); }, "the file, resolved")
        .def_property_readonly("is_global", &GeoidGrid::isGlobal,
                               "whether the columns span 360 degrees and the edge rows reach the poles")
        .def_property_readonly("north", &GeoidGrid::north, "latitude of the northern row (degrees)")
        .def_property_readonly("west", &GeoidGrid::west, "longitude of the western column (degrees)")
        .def_property_readonly("latitude_spacing", &GeoidGrid::latitudeSpacing, "degrees")
        .def_property_readonly("longitude_spacing", &GeoidGrid::longitudeSpacing, "degrees")
        .def_property_readonly("rows", &GeoidGrid::rows)
        .def_property_readonly("columns", &GeoidGrid::columns)
        .def(py::pickle([](const GeoidGrid& g) { return py::make_tuple(decoded(g.path())); },
                        [](const py::tuple& s) { return loadGrid(s[0]); }));

    py::class_<GridShift> shift(m, "GridShift",
                                "An NTv2 horizontal shift grid (.gsb): shifts interpolated bilinearly in the finest "
                                "subgrid containing the point; NaN outside the grid (never passed through).");
    defineConstructor(shift, py::init(&loadGridShift),
                      "The .gsb file (either byte order). Loaded once per process per file; OSError when it "
                      "cannot be opened, tervala.DataFileError when its header, counts or values are inconsistent.",
                      arg("path"));
    defineMethods(
        shift,
        row("forward", &gridShiftMethod<false>,
            "Source to target: Geodetic(latitude, longitude, height), degrees and metres, the height unchanged. "
            "Arrays broadcast; NaN outside the grid.",
            arg("latitude"), arg("longitude"), arg("height") = 0.0, py::kw_only(), xy, threads),
        row("inverse", &gridShiftMethod<true>,
            "Target to source, iterated to 1e-12 degrees; NaN outside the grid or where the iteration leaves it.",
            arg("latitude"), arg("longitude"), arg("height") = 0.0, py::kw_only(), xy, threads),
        row("contains", &GridShift::contains, "Whether a subgrid contains the point (degrees), edges included.",
            arg("latitude"), arg("longitude")),
        row("__repr__",
            [](const GridShift& g) { return "GridShift(" + py::repr(decoded(g.path())).cast<std::string>() + ")"; },
            "The constructor call."));
    defineValueSemantics(shift, [](const GridShift& g) { return py::make_tuple(py::bytes(g.path())); });
    shift.def_property_readonly("path", [](const GridShift& g) { return decoded(g.path()); }, "the file, resolved")
        .def_property_readonly("subgrid_count", &GridShift::subgridCount)
        .def_property_readonly("source_system", &GridShift::sourceSystem, "SYSTEM_F of the header")
        .def_property_readonly("target_system", &GridShift::targetSystem, "SYSTEM_T of the header")
        .def(py::pickle([](const GridShift& g) { return py::make_tuple(decoded(g.path())); },
                        [](const py::tuple& s) { return loadGridShift(s[0]); }));
}

} // namespace python
} // namespace tervala
