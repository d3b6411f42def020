// The per-point members of CTervala under their C++ names.
//
// Every reference argument of a member is bound to a local copy: a member
// that turns the caller's degrees into radians (Geodetic_to_TM and the
// others) changes the binding's copy, never a Python value. Each member
// returns what it leaves in the object, read back through the accessors, so
// Python sees exactly the doubles a C++ caller reads. Each group is one
// table of rows (Registration.h).
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Bindings.h"
#include "Registration.h"

namespace tervala {
namespace python {
namespace {

py::tuple triple(double a, double b, double c) { return py::make_tuple(a, b, c); }

// A folder given as str, bytes or os.PathLike, as the bytes the C library
// sees (os.fsencode). None stays None.
void setDataFolder(const py::object& folder)
{
    if (folder.is_none()) {
        CTervala::SetDataFolder(nullptr);
        return;
    }
    const py::object os = py::module_::import("os");
    const std::string bytes = py::bytes(os.attr("fsencode")(folder));
    if (std::memchr(bytes.data(), '\0', bytes.size()) != nullptr)
        throw py::value_error("SetDataFolder: embedded null character in the folder name");
    CTervala::SetDataFolder(bytes.c_str());
}

py::object getDataFolder()
{
    const std::string folder = CTervala::GetDataFolder();
    return py::module_::import("os").attr("fsdecode")(py::bytes(folder));
}

// The legacy face takes any ellipsoid, as the C++ member does; a flattening
// passed where its inverse belongs (1/298.26 for 298.26) would put every
// geocentric Z near 1.9e9 m without a complaint, so the binding refuses
// values that are no ellipsoid.
void setupEllipsoid(CTervala& self, double a, double inverseFlattening)
{
    if (!(std::isfinite(a) && a > 0))
        throw py::value_error("Setup_Ellipsoid: a = " + py::repr(py::float_(a)).cast<std::string>() +
                              " is not a semi-major axis (expected a finite length > 0 in metres)");
    if (!(inverseFlattening > 1))
        throw py::value_error("Setup_Ellipsoid: inverse_flattening = " +
                              py::repr(py::float_(inverseFlattening)).cast<std::string>() +
                              " is not an inverse flattening (expected 1/f > 1, e.g. 298.257222101 for GRS80, "
                              "or inf for a sphere); was the flattening f given instead of 1/f?");
    self.Setup_Ellipsoid(a, inverseFlattening);
}

CTervala* copyOf(const CTervala& other)
{
    auto object = std::make_unique<CTervala>(other);
    noteCopy(*object, other);
    return object.release();
}

template <double (CTervala::*Get)(int)>
py::tuple stored(CTervala& t)
{
    return triple((t.*Get)(0), (t.*Get)(1), (t.*Get)(2));
}

} // namespace

const std::vector<GeocentricModel>& geocentricModels()
{
    static const std::vector<GeocentricModel> models = {
        {"Bursa_WolfModel", "bursa_wolf",
         [](CTervala& t, double X, double Y, double Z) { t.Bursa_WolfModel(X, Y, Z); },
         "Bursa-Wolf forward with the stored parameters -> (X', Y', Z')"},
        {"Inv_Bursa_WolfModel", "inv_bursa_wolf",
         [](CTervala& t, double X, double Y, double Z) { t.Inv_Bursa_WolfModel(X, Y, Z); },
         "Bursa-Wolf inverse -> (X, Y, Z)"},
        {"Molodensky_BadekasModel", "molodensky_badekas",
         [](CTervala& t, double X, double Y, double Z) { t.Molodensky_BadekasModel(X, Y, Z); },
         "Molodensky-Badekas forward with the stored origin and parameters -> (X', Y', Z')"},
        {"Inv_Molodensky_BadekasModel", "inv_molodensky_badekas",
         [](CTervala& t, double X, double Y, double Z) { t.Inv_Molodensky_BadekasModel(X, Y, Z); },
         "Molodensky-Badekas inverse -> (X, Y, Z), the origin added back"},
    };
    return models;
}

void bindMembers(TervalaClass& cls)
{
    using py::arg;

    // ---- Lifetime -------------------------------------------------------------
    // Each object is made on the heap here, so that the table of where its
    // loaded data came from (pickling) is keyed by its final address.
    cls.def(py::init([] {
                auto object = std::make_unique<CTervala>();
                noteFresh(*object);
                return object.release();
            }),
            "A fresh object: no ellipsoid, no grid, no coefficients.")
        .def(py::init(&copyOf), arg("other"),
             "Copy of another object (the C++ copy constructor): every field, a loaded grid duplicated.");
    defineMethods(
        cls, row("__copy__", &copyOf, "A copy (the C++ copy constructor)."),
        row("__deepcopy__", [](const CTervala& self, const py::object&) { return copyOf(self); },
            "A copy (the C++ copy constructor).", arg("memo")),
        row("assign",
            [](CTervala& self, const CTervala& other) {
                self = other;
                noteCopy(self, other);
            },
            "C++ operator=: make this object a copy of `other` (every field; a loaded grid is duplicated).",
            arg("other")));

    // ---- Data folder ------------------------------------------------------------
    defineStatics(cls,
                  row("SetDataFolder", &setDataFolder,
                      "Sets the folder that stands for \"\\My Documents\\Fenwarden\\\" for every object of the "
                      "process (str, bytes or os.PathLike). None or \"\" removes the setting, so "
                      "TERVALA_DATA_DIR or the built-in folder apply again.",
                      arg("folder")),
                  row("GetDataFolder", &getDataFolder, "The folder the next load will read from, as resolved now."));

    // ---- Per-point members --------------------------------------------------------
    // Each binds its reference arguments to local copies and returns what it
    // leaves in the object, read back through the accessors.
    defineMethods(
        cls,
        row("Setup_Ellipsoid", &setupEllipsoid,
            "Sets the reference ellipsoid from the semi-major axis a (metres) and the inverse flattening 1/f. "
            "ValueError unless a is finite and > 0 and 1/f > 1 (inf gives a sphere): the C++ member accepts "
            "any value, and a flattening passed as 1/f would give nonsense without a complaint.",
            arg("a"), arg("inverse_flattening")),
        row("Geodetic_to_Geocentric",
            [](CTervala& self, double latitude, double longitude, double height) {
                self.Geodetic_to_Geocentric(latitude, longitude, height);
                return stored<&CTervala::GetGeocentric>(self);
            },
            "Latitude, longitude (degrees), height (m) -> (X, Y, Z) in metres, also in GetGeocentric.",
            arg("latitude"), arg("longitude"), arg("height")),
        row("Geocentric_to_Geodetic",
            [](CTervala& self, double X, double Y, double Z) {
                self.Geocentric_to_Geodetic(X, Y, Z);
                return stored<&CTervala::GetGeodetic>(self);
            },
            "X, Y, Z (m) -> (latitude, longitude, height), degrees and metres, also in GetGeodetic.", arg("X"),
            arg("Y"), arg("Z")),

        // Transverse Mercator and UTM
        row("Geodetic_to_TM",
            [](CTervala& self, double latitudeOfOrigin, double centralMeridian, double falseNorthing,
               double falseEasting, double scaleFactor, double latitude, double longitude, double height) {
                self.Geodetic_to_TM(latitudeOfOrigin, centralMeridian, falseNorthing, falseEasting, scaleFactor,
                                    latitude, longitude, height);
                return stored<&CTervala::GetTM>(self);
            },
            "Projects onto the Transverse Mercator grid -> (northing, easting, height), also in GetTM.",
            arg("latitude_of_origin"), arg("central_meridian"), arg("false_northing"), arg("false_easting"),
            arg("scale_factor"), arg("latitude"), arg("longitude"), arg("height")),
        row("TM_to_Geodetic",
            [](CTervala& self, double latitudeOfOrigin, double centralMeridian, double falseNorthing,
               double falseEasting, double scaleFactor, double northing, double easting, double height) {
                self.TM_to_Geodetic(latitudeOfOrigin, centralMeridian, falseNorthing, falseEasting, scaleFactor,
                                    northing, easting, height);
                return stored<&CTervala::GetGeodetic>(self);
            },
            "Grid northing, easting back to (latitude, longitude, height), also in GetGeodetic.",
            arg("latitude_of_origin"), arg("central_meridian"), arg("false_northing"), arg("false_easting"),
            arg("scale_factor"), arg("northing"), arg("easting"), arg("height")),
        row("Geodetic_to_UTM",
            [](CTervala& self, int hemisphere, double centralMeridian, double latitude, double longitude,
               double height) {
                self.Geodetic_to_UTM(hemisphere, centralMeridian, latitude, longitude, height);
                return stored<&CTervala::GetUTM>(self);
            },
            "UTM (hemisphere 1 = south, any other value north) -> (northing, easting, height), also in GetUTM.",
            arg("hemisphere"), arg("central_meridian"), arg("latitude"), arg("longitude"), arg("height")),
        row("UTM_to_Geodetic",
            [](CTervala& self, int hemisphere, double centralMeridian, double northing, double easting,
               double height) {
                self.UTM_to_Geodetic(hemisphere, centralMeridian, northing, easting, height);
                return stored<&CTervala::GetGeodetic>(self);
            },
            "UTM northing, easting back to (latitude, longitude, height), also in GetGeodetic.", arg("hemisphere"),
            arg("central_meridian"), arg("northing"), arg("easting"), arg("height")),

        // 2D Helmert and heights
        row("Set2DHelmert", &CTervala::Set2DHelmert,
            "Stores t1, t2 (m), scale (ppm), rotation (arc-seconds). Get2DHelmertParameters(0) is t2.", arg("t1"),
            arg("t2"), arg("scale"), arg("rotation")),
        row("SetHeightTrans", &CTervala::SetHeightTrans,
            "Stores the height plane: slopes a1, a2 (m/m) and shift c (m).", arg("a1"), arg("a2"), arg("c")),
        row("Helmert2D",
            [](CTervala& self, double x0, double y0, double x, double y) {
                self.Helmert2D(x0, y0, x, y);
                return py::make_tuple(self.Get2DH(0), self.Get2DH(1));
            },
            "Transforms (x, y) about (x0, y0) with the stored parameters -> (x', y'), also in Get2DH(0..1).",
            arg("x0"), arg("y0"), arg("x"), arg("y")),
        row("HeightTrans",
            [](CTervala& self, double x0, double y0, double x, double y, double h) {
                self.HeightTrans(x0, y0, x, y, h);
                return self.Get2DH(2);
            },
            "h + a1 (x - x0) + a2 (y - y0) + c -> the height, also in Get2DH(2).", arg("x0"), arg("y0"), arg("x"),
            arg("y"), arg("h")),

        // Seven-parameter and abridged Molodensky transformations
        row("SetParameters_Bursa_WolfModel", &CTervala::SetParameters_Bursa_WolfModel,
            "Stores tx, ty, tz (m), s (ppm), rx, ry, rz (arc-seconds), coordinate frame convention.", arg("tx"),
            arg("ty"), arg("tz"), arg("s"), arg("rx"), arg("ry"), arg("rz")),
        row("SetParameters_Molodensky_BadekasModel", &CTervala::SetParameters_Molodensky_BadekasModel,
            "Stores the rotation origin (m) and the seven parameters (units as SetParameters_Bursa_WolfModel).",
            arg("X0"), arg("Y0"), arg("Z0"), arg("tx"), arg("ty"), arg("tz"), arg("s"), arg("rx"), arg("ry"),
            arg("rz")),
        row("Abridged_Molodensky_Transform",
            [](CTervala& self, double lat, double lon, double dX, double dY, double dZ, double da, double df) {
                self.Abridged_Molodensky_Transform(lat, lon, dX, dY, dZ, da, df);
                return stored<&CTervala::GetdLLH>(self);
            },
            "Abridged Molodensky shifts -> (dlat, dlon in degrees, dh in metres), also in GetdLLH.", arg("lat"),
            arg("lon"), arg("dX"), arg("dY"), arg("dZ"), arg("da"), arg("df")));

    // The four seven-parameter models: X, Y, Z in (the inverses' references
    // bound to the binding's copies), the GetGeocentric triple out.
    for (const GeocentricModel& model : geocentricModels()) {
        const std::string doc = std::string(model.doc) + ", also in GetGeocentric.";
        defineMethods(cls, row(
                               model.member,
                               [apply = model.apply](CTervala& self, double X, double Y, double Z) {
                                   apply(self, X, Y, Z);
                                   return stored<&CTervala::GetGeocentric>(self);
                               },
                               doc.c_str(), arg("X"), arg("Y"), arg("Z")));
    }

    // ---- Accessors: the C++ ones, index outside the range -> NaN ------------------
    defineMethods(
        cls, row("GetGeocentric", &CTervala::GetGeocentric, "X, Y, Z (m), i = 0..2", arg("i")),
        row("GetTrans_GeoCentric", &CTervala::GetTrans_GeoCentric, "the same as GetGeocentric", arg("i")),
        row("GetGeodetic", &CTervala::GetGeodetic, "latitude, longitude (deg), height (m), i = 0..2", arg("i")),
        row("GetTM", &CTervala::GetTM, "northing, easting, height (m), i = 0..2", arg("i")),
        row("GetUTM", &CTervala::GetUTM, "northing, easting, height (m), i = 0..2", arg("i")),
        row("Get2DH", &CTervala::Get2DH, "Helmert2D first, second coordinate; HeightTrans height", arg("i")),
        row("GetdLLH", &CTervala::GetdLLH, "dlat, dlon (deg), dh (m), i = 0..2", arg("i")),
        row("Get2DHelmertParameters", &CTervala::Get2DHelmertParameters,
            "t2, t1 (m), scale (ppm), rotation (arc-seconds), i = 0..3", arg("i")),
        row("Get2DHelmertCovariance", &CTervala::Get2DHelmertCovariance, "i, j = 0..3", arg("i"), arg("j")),
        row("GetHeightParameters", &CTervala::GetHeightParameters, "slope 1, slope 2, shift, i = 0..2", arg("i")),
        row("GetSigma", &CTervala::GetSigma, "a posteriori sigma of the latest 2D Helmert or seven-parameter fit"),
        row("GetHeightMeanaccuracy", &CTervala::GetHeightMeanaccuracy, "sqrt(0.5 v'v) of the latest height fit"),
        row("GetRotOrigin", &CTervala::GetRotOrigin, "X0, Y0, Z0 (m), i = 0..2", arg("i")),
        row("GetSevenParameters", &CTervala::GetSevenParameters,
            "tx, ty, tz (m), s (ppm), rx, ry, rz (arc-seconds), i = 0..6", arg("i")),
        row("GetSevenCovariance", &CTervala::GetSevenCovariance, "i, j = 0..6", arg("i"), arg("j")),
        row("GetResidual2D", &CTervala::GetResidual2D, "residual i (from 1) of the latest 2D Helmert fit", arg("i")),
        row("GetResidualH", &CTervala::GetResidualH, "residual i (from 1) of the latest height fit", arg("i")),
        row("GetResidual", &CTervala::GetResidual, "residual i (from 1) of the latest seven-parameter fit",
            arg("i")));
}

} // namespace python
} // namespace tervala
