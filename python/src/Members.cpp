// The per-point members of CTervala under their C++ names.
//
// Every reference argument of a member is bound to a local copy: a member
// that turns the caller's degrees into radians (Geodetic_to_TM and the
// others) changes the binding's copy, never a Python value. Each member
// returns what it leaves in the object, read back through the accessors, so
// Python sees exactly the doubles a C++ caller reads.
#include <cstring>
#include <string>
#include <vector>

#include "Bindings.h"

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
    cls.def(py::init<>(), "A fresh object: no ellipsoid, no grid, no coefficients.")
        .def(py::init<const CTervala&>(), arg("other"),
             "Copy of another object (the C++ copy constructor): every field, a loaded grid duplicated.")
        .def("__copy__", [](const CTervala& self) { return CTervala(self); })
        .def("__deepcopy__", [](const CTervala& self, const py::object&) { return CTervala(self); }, arg("memo"))
        .def(
            "assign", [](CTervala& self, const CTervala& other) { self = other; }, arg("other"),
            "C++ operator=: make this object a copy of `other` (every field; a loaded grid is duplicated).");

    // ---- Data folder ------------------------------------------------------------
    cls.def_static("SetDataFolder", &setDataFolder, arg("folder"),
                   "Sets the folder that stands for \"\\My Documents\\Fenwarden\\\" for every object of the "
                   "process (str, bytes or os.PathLike). None or \"\" removes the setting, so "
                   "TERVALA_DATA_DIR or the built-in folder apply again.")
        .def_static("GetDataFolder", &getDataFolder, "The folder the next load will read from, as resolved now.");

    // ---- Ellipsoid and geocentric coordinates -------------------------------------
    cls.def("Setup_Ellipsoid", &CTervala::Setup_Ellipsoid, arg("a"), arg("inverse_flattening"),
            "Sets the reference ellipsoid from the semi-major axis a (metres) and 1/f.")
        .def(
            "Geodetic_to_Geocentric",
            [](CTervala& self, double latitude, double longitude, double height) {
                self.Geodetic_to_Geocentric(latitude, longitude, height);
                return triple(self.GetGeocentric(0), self.GetGeocentric(1), self.GetGeocentric(2));
            },
            arg("latitude"), arg("longitude"), arg("height"),
            "Latitude, longitude (degrees), height (m) -> (X, Y, Z) in metres, also in GetGeocentric.")
        .def(
            "Geocentric_to_Geodetic",
            [](CTervala& self, double X, double Y, double Z) {
                self.Geocentric_to_Geodetic(X, Y, Z);
                return triple(self.GetGeodetic(0), self.GetGeodetic(1), self.GetGeodetic(2));
            },
            arg("X"), arg("Y"), arg("Z"),
            "X, Y, Z (m) -> (latitude, longitude, height), degrees and metres, also in GetGeodetic.");

    // ---- Transverse Mercator and UTM ----------------------------------------------
    cls.def(
           "Geodetic_to_TM",
           [](CTervala& self, double latitudeOfOrigin, double centralMeridian, double falseNorthing,
              double falseEasting, double scaleFactor, double latitude, double longitude, double height) {
               self.Geodetic_to_TM(latitudeOfOrigin, centralMeridian, falseNorthing, falseEasting, scaleFactor,
                                   latitude, longitude, height);
               return triple(self.GetTM(0), self.GetTM(1), self.GetTM(2));
           },
           arg("latitude_of_origin"), arg("central_meridian"), arg("false_northing"), arg("false_easting"),
           arg("scale_factor"), arg("latitude"), arg("longitude"), arg("height"),
           "Projects onto the Transverse Mercator grid -> (northing, easting, height), also in GetTM.")
        .def(
            "TM_to_Geodetic",
            [](CTervala& self, double latitudeOfOrigin, double centralMeridian, double falseNorthing,
               double falseEasting, double scaleFactor, double northing, double easting, double height) {
                self.TM_to_Geodetic(latitudeOfOrigin, centralMeridian, falseNorthing, falseEasting, scaleFactor,
                                    northing, easting, height);
                return triple(self.GetGeodetic(0), self.GetGeodetic(1), self.GetGeodetic(2));
            },
            arg("latitude_of_origin"), arg("central_meridian"), arg("false_northing"), arg("false_easting"),
            arg("scale_factor"), arg("northing"), arg("easting"), arg("height"),
            "Grid northing, easting back to (latitude, longitude, height), also in GetGeodetic.")
        .def(
            "Geodetic_to_UTM",
            [](CTervala& self, int hemisphere, double centralMeridian, double latitude, double longitude,
               double height) {
                self.Geodetic_to_UTM(hemisphere, centralMeridian, latitude, longitude, height);
                return triple(self.GetUTM(0), self.GetUTM(1), self.GetUTM(2));
            },
            arg("hemisphere"), arg("central_meridian"), arg("latitude"), arg("longitude"), arg("height"),
            "UTM (hemisphere 1 = south, any other value north) -> (northing, easting, height), also in GetUTM.")
        .def(
            "UTM_to_Geodetic",
            [](CTervala& self, int hemisphere, double centralMeridian, double northing, double easting,
               double height) {
                self.UTM_to_Geodetic(hemisphere, centralMeridian, northing, easting, height);
                return triple(self.GetGeodetic(0), self.GetGeodetic(1), self.GetGeodetic(2));
            },
            arg("hemisphere"), arg("central_meridian"), arg("northing"), arg("easting"), arg("height"),
            "UTM northing, easting back to (latitude, longitude, height), also in GetGeodetic.");

    // ---- 2D Helmert and heights -------------------------------------------------
    cls.def("Set2DHelmert", &CTervala::Set2DHelmert, arg("t1"), arg("t2"), arg("scale"), arg("rotation"),
            "Stores t1, t2 (m), scale (ppm), rotation (arc-seconds). Get2DHelmertParameters(0) is t2.")
        .def("SetHeightTrans", &CTervala::SetHeightTrans, arg("a1"), arg("a2"), arg("c"),
             "Stores the height plane: slopes a1, a2 (m/m) and shift c (m).")
        .def(
            "Helmert2D",
            [](CTervala& self, double x0, double y0, double x, double y) {
                self.Helmert2D(x0, y0, x, y);
                return py::make_tuple(self.Get2DH(0), self.Get2DH(1));
            },
            arg("x0"), arg("y0"), arg("x"), arg("y"),
            "Transforms (x, y) about (x0, y0) with the stored parameters -> (x', y'), also in Get2DH(0..1).")
        .def(
            "HeightTrans",
            [](CTervala& self, double x0, double y0, double x, double y, double h) {
                self.HeightTrans(x0, y0, x, y, h);
                return self.Get2DH(2);
            },
            arg("x0"), arg("y0"), arg("x"), arg("y"), arg("h"),
            "h + a1 (x - x0) + a2 (y - y0) + c -> the height, also in Get2DH(2).");

    // ---- Seven-parameter and abridged Molodensky transformations -----------------
    // The four models: X, Y, Z in (the inverses' references bound to the
    // binding's copies), the GetGeocentric triple out.
    cls.def("SetParameters_Bursa_WolfModel", &CTervala::SetParameters_Bursa_WolfModel, arg("tx"), arg("ty"),
            arg("tz"), arg("s"), arg("rx"), arg("ry"), arg("rz"),
            "Stores tx, ty, tz (m), s (ppm), rx, ry, rz (arc-seconds), coordinate frame convention.")
        .def("SetParameters_Molodensky_BadekasModel", &CTervala::SetParameters_Molodensky_BadekasModel, arg("X0"),
             arg("Y0"), arg("Z0"), arg("tx"), arg("ty"), arg("tz"), arg("s"), arg("rx"), arg("ry"), arg("rz"),
             "Stores the rotation origin (m) and the seven parameters (units as SetParameters_Bursa_WolfModel).")
        .def(
            "Abridged_Molodensky_Transform",
            [](CTervala& self, double lat, double lon, double dX, double dY, double dZ, double da, double df) {
                self.Abridged_Molodensky_Transform(lat, lon, dX, dY, dZ, da, df);
                return triple(self.GetdLLH(0), self.GetdLLH(1), self.GetdLLH(2));
            },
            arg("lat"), arg("lon"), arg("dX"), arg("dY"), arg("dZ"), arg("da"), arg("df"),
            "Abridged Molodensky shifts -> (dlat, dlon in degrees, dh in metres), also in GetdLLH.");

    for (const GeocentricModel& model : geocentricModels()) {
        cls.def(
            model.member,
            [apply = model.apply](CTervala& self, double X, double Y, double Z) {
                apply(self, X, Y, Z);
                return triple(self.GetGeocentric(0), self.GetGeocentric(1), self.GetGeocentric(2));
            },
            arg("X"), arg("Y"), arg("Z"), (std::string(model.doc) + ", also in GetGeocentric.").c_str());
    }

    // ---- Accessors: the C++ ones, index outside the range -> NaN ------------------
    cls.def("GetGeocentric", &CTervala::GetGeocentric, arg("i"), "X, Y, Z (m), i = 0..2")
        .def("GetTrans_GeoCentric", &CTervala::GetTrans_GeoCentric, arg("i"), "the same as GetGeocentric")
        .def("GetGeodetic", &CTervala::GetGeodetic, arg("i"), "latitude, longitude (deg), height (m), i = 0..2")
        .def("GetTM", &CTervala::GetTM, arg("i"), "northing, easting, height (m), i = 0..2")
        .def("GetUTM", &CTervala::GetUTM, arg("i"), "northing, easting, height (m), i = 0..2")
        .def("Get2DH", &CTervala::Get2DH, arg("i"), "Helmert2D first, second coordinate; HeightTrans height")
        .def("GetdLLH", &CTervala::GetdLLH, arg("i"), "dlat, dlon (deg), dh (m), i = 0..2")
        .def("Get2DHelmertParameters", &CTervala::Get2DHelmertParameters, arg("i"),
             "t2, t1 (m), scale (ppm), rotation (arc-seconds), i = 0..3")
        .def("Get2DHelmertCovariance", &CTervala::Get2DHelmertCovariance, arg("i"), arg("j"), "i, j = 0..3")
        .def("GetHeightParameters", &CTervala::GetHeightParameters, arg("i"), "slope 1, slope 2, shift, i = 0..2")
        .def("GetSigma", &CTervala::GetSigma, "a posteriori sigma of the latest 2D Helmert or seven-parameter fit")
        .def("GetHeightMeanaccuracy", &CTervala::GetHeightMeanaccuracy, "sqrt(0.5 v'v) of the latest height fit")
        .def("GetRotOrigin", &CTervala::GetRotOrigin, arg("i"), "X0, Y0, Z0 (m), i = 0..2")
        .def("GetSevenParameters", &CTervala::GetSevenParameters, arg("i"),
             "tx, ty, tz (m), s (ppm), rx, ry, rz (arc-seconds), i = 0..6")
        .def("GetSevenCovariance", &CTervala::GetSevenCovariance, arg("i"), arg("j"), "i, j = 0..6")
        .def("GetResidual2D", &CTervala::GetResidual2D, arg("i"), "residual i (from 1) of the latest 2D Helmert fit")
        .def("GetResidualH", &CTervala::GetResidualH, arg("i"), "residual i (from 1) of the latest height fit")
        .def("GetResidual", &CTervala::GetResidual, arg("i"),
             "residual i (from 1) of the latest seven-parameter fit");
}

} // namespace python
} // namespace tervala
