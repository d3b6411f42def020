// The array functions: each runs one per-point member over NumPy arrays
// (PointMap.h). Every numeric argument is an array or a scalar and all of
// them broadcast together, so a grid parameter may be one number for every
// point or vary per point (a UTM central meridian per zone, for example).
// Heights that a member only passes through are neither taken nor returned.
#include <limits>
#include <string>

#include "Bindings.h"
#include "PointMap.h"
#include "Registration.h"
#include "geoid/GeoidGrid.h"
#include "geoid/GridCoverage.h"

namespace tervala {
namespace python {
namespace {

// Points per thread before another thread pays for itself: a cheap member
// takes well under a microsecond, an EGM96 synthesis a good part of a
// millisecond; a grid height is cheap (its threads share the object's grid,
// but each still starts on cold cache lines of it).
constexpr py::ssize_t kCheapPoints = 16384;
constexpr py::ssize_t kGridPoints = 65536;
constexpr py::ssize_t kSynthesisPoints = 8;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The results as the module's named tuple `type`, whose field names state
// the members' order: NorthingEasting for the projections (northing first,
// as Geodetic_to_TM stores them), LatitudeLongitude for their inverses.
py::object named(const char* type, const py::object& results)
{
    static const py::handle module = py::module_::import("tervala._tervala").release();
    return module.attr(type)(*results);
}

} // namespace

void bindArrays(TervalaClass& cls)
{
    using py::arg;
    const auto threads = arg("threads") = 0;

    defineMethods(
        cls,
        row(
            "geodetic_to_geocentric",
            [](const CTervala& self, const py::object& latitude, const py::object& longitude, const py::object& height,
               int threads) {
                return named("Geocentric",
                             mapPoints<3, 3>(self,
                                             {realArray(latitude, "latitude"), realArray(longitude, "longitude"),
                                              realArray(height, "height")},
                                             threads, kCheapPoints,
                                             [](CTervala& t, const double(&in)[3], double(&out)[3]) {
                                                 double lat = in[0], lon = in[1], h = in[2];
                                                 t.Geodetic_to_Geocentric(lat, lon, h);
                                                 out[0] = t.GetGeocentric(0);
                                                 out[1] = t.GetGeocentric(1);
                                                 out[2] = t.GetGeocentric(2);
                                             }));
            },
            "Arrays of latitude, longitude (degrees), height (m) -> (X, Y, Z) arrays (Geodetic_to_Geocentric).",
            arg("latitude"), arg("longitude"), arg("height") = 0.0, py::kw_only(), threads),
        row(
            "geocentric_to_geodetic",
            [](const CTervala& self, const py::object& X, const py::object& Y, const py::object& Z, int threads) {
                return named("Geodetic",
                             mapPoints<3, 3>(self, {realArray(X, "X"), realArray(Y, "Y"), realArray(Z, "Z")}, threads,
                                             kCheapPoints, [](CTervala& t, const double(&in)[3], double(&out)[3]) {
                                                 double x = in[0], y = in[1], z = in[2];
                                                 t.Geocentric_to_Geodetic(x, y, z);
                                                 out[0] = t.GetGeodetic(0);
                                                 out[1] = t.GetGeodetic(1);
                                                 out[2] = t.GetGeodetic(2);
                                             }));
            },
            "Arrays of X, Y, Z (m) -> (latitude, longitude, height) arrays (Geocentric_to_Geodetic).", arg("X"),
            arg("Y"), arg("Z"), py::kw_only(), threads));

    defineMethods(
        cls,
        row(
            "geodetic_to_tm",
            [](const CTervala& self, const py::object& lat0, const py::object& lon0, const py::object& fn,
               const py::object& fe, const py::object& k0, const py::object& latitude, const py::object& longitude,
               int threads) {
                return named(
                    "NorthingEasting",
                    mapPoints<7, 2>(self,
                                    {realArray(lat0, "latitude_of_origin"), realArray(lon0, "central_meridian"),
                                     realArray(fn, "false_northing"), realArray(fe, "false_easting"),
                                     realArray(k0, "scale_factor"), realArray(latitude, "latitude"),
                                     realArray(longitude, "longitude")},
                                    threads, kCheapPoints, [](CTervala& t, const double(&in)[7], double(&out)[2]) {
                                        double origin = in[0], meridian = in[1], lat = in[5], lon = in[6], h = 0.0;
                                        t.Geodetic_to_TM(origin, meridian, in[2], in[3], in[4], lat, lon, h);
                                        out[0] = t.GetTM(0);
                                        out[1] = t.GetTM(1);
                                    }));
            },
            "Geodetic_to_TM over arrays -> (northing, easting) arrays.", arg("latitude_of_origin"),
            arg("central_meridian"), arg("false_northing"), arg("false_easting"), arg("scale_factor"), arg("latitude"),
            arg("longitude"), py::kw_only(), threads),
        row(
            "tm_to_geodetic",
            [](const CTervala& self, const py::object& lat0, const py::object& lon0, const py::object& fn,
               const py::object& fe, const py::object& k0, const py::object& northing, const py::object& easting,
               int threads) {
                return named("LatitudeLongitude",
                             mapPoints<7, 2>(self,
                                             {realArray(lat0, "latitude_of_origin"),
                                              realArray(lon0, "central_meridian"), realArray(fn, "false_northing"),
                                              realArray(fe, "false_easting"), realArray(k0, "scale_factor"),
                                              realArray(northing, "northing"), realArray(easting, "easting")},
                                             threads, kCheapPoints,
                                             [](CTervala& t, const double(&in)[7], double(&out)[2]) {
                                                 double origin = in[0], meridian = in[1], n = in[5], e = in[6], h = 0.0;
                                                 t.TM_to_Geodetic(origin, meridian, in[2], in[3], in[4], n, e, h);
                                                 out[0] = t.GetGeodetic(0);
                                                 out[1] = t.GetGeodetic(1);
                                             }));
            },
            "TM_to_Geodetic over arrays -> (latitude, longitude) arrays.", arg("latitude_of_origin"),
            arg("central_meridian"), arg("false_northing"), arg("false_easting"), arg("scale_factor"), arg("northing"),
            arg("easting"), py::kw_only(), threads),
        row(
            "geodetic_to_utm",
            [](const CTervala& self, const py::object& hemisphere, const py::object& meridian,
               const py::object& latitude, const py::object& longitude, int threads) {
                return named(
                    "NorthingEasting",
                    mapPoints<4, 2>(self,
                                    {flagArray(hemisphere, "hemisphere"), realArray(meridian, "central_meridian"),
                                     realArray(latitude, "latitude"), realArray(longitude, "longitude")},
                                    threads, kCheapPoints, [](CTervala& t, const double(&in)[4], double(&out)[2]) {
                                        // An integer flag is exact as a double; only 1 means south.
                                        const int south = in[0] == 1.0 ? 1 : 0;
                                        double cm = in[1], lat = in[2], lon = in[3], h = 0.0;
                                        t.Geodetic_to_UTM(south, cm, lat, lon, h);
                                        out[0] = t.GetUTM(0);
                                        out[1] = t.GetUTM(1);
                                    }));
            },
            "Geodetic_to_UTM over arrays -> (northing, easting) arrays. hemisphere: integer or bool array or "
            "scalar, 1 = south.",
            arg("hemisphere"), arg("central_meridian"), arg("latitude"), arg("longitude"), py::kw_only(), threads),
        row(
            "utm_to_geodetic",
            [](const CTervala& self, const py::object& hemisphere, const py::object& meridian,
               const py::object& northing, const py::object& easting, int threads) {
                return named(
                    "LatitudeLongitude",
                    mapPoints<4, 2>(self,
                                    {flagArray(hemisphere, "hemisphere"), realArray(meridian, "central_meridian"),
                                     realArray(northing, "northing"), realArray(easting, "easting")},
                                    threads, kCheapPoints, [](CTervala& t, const double(&in)[4], double(&out)[2]) {
                                        const int south = in[0] == 1.0 ? 1 : 0;
                                        double cm = in[1], n = in[2], e = in[3], h = 0.0;
                                        t.UTM_to_Geodetic(south, cm, n, e, h);
                                        out[0] = t.GetGeodetic(0);
                                        out[1] = t.GetGeodetic(1);
                                    }));
            },
            "UTM_to_Geodetic over arrays -> (latitude, longitude) arrays.", arg("hemisphere"), arg("central_meridian"),
            arg("northing"), arg("easting"), py::kw_only(), threads));

    defineMethods(
        cls,
        row(
            "helmert_2d",
            [](const CTervala& self, const py::object& x0, const py::object& y0, const py::object& x,
               const py::object& y, int threads) {
                return named("PlaneCoordinates",
                             mapPoints<4, 2>(
                                 self, {realArray(x0, "x0"), realArray(y0, "y0"), realArray(x, "x"), realArray(y, "y")},
                                 threads, kCheapPoints, [](CTervala& t, const double(&in)[4], double(&out)[2]) {
                                     t.Helmert2D(in[0], in[1], in[2], in[3]);
                                     out[0] = t.Get2DH(0);
                                     out[1] = t.Get2DH(1);
                                 }));
            },
            "Helmert2D over arrays with the stored parameters -> (x', y') arrays.", arg("x0"), arg("y0"), arg("x"),
            arg("y"), py::kw_only(), threads),
        row(
            "height_trans",
            [](const CTervala& self, const py::object& x0, const py::object& y0, const py::object& x,
               const py::object& y, const py::object& h, int threads) {
                return mapPoints<5, 1>(
                    self,
                    {realArray(x0, "x0"), realArray(y0, "y0"), realArray(x, "x"), realArray(y, "y"), realArray(h, "h")},
                    threads, kCheapPoints, [](CTervala& t, const double(&in)[5], double(&out)[1]) {
                        t.HeightTrans(in[0], in[1], in[2], in[3], in[4]);
                        out[0] = t.Get2DH(2);
                    });
            },
            "HeightTrans over arrays with the stored parameters -> height array.", arg("x0"), arg("y0"), arg("x"),
            arg("y"), arg("h"), py::kw_only(), threads),
        row(
            "abridged_molodensky",
            [](const CTervala& self, const py::object& lat, const py::object& lon, const py::object& dX,
               const py::object& dY, const py::object& dZ, const py::object& da, const py::object& df, int threads) {
                return named("GeodeticShift",
                             mapPoints<7, 3>(
                                 self,
                                 {realArray(lat, "lat"), realArray(lon, "lon"), realArray(dX, "dX"),
                                  realArray(dY, "dY"), realArray(dZ, "dZ"), realArray(da, "da"), realArray(df, "df")},
                                 threads, kCheapPoints, [](CTervala& t, const double(&in)[7], double(&out)[3]) {
                                     t.Abridged_Molodensky_Transform(in[0], in[1], in[2], in[3], in[4], in[5], in[6]);
                                     out[0] = t.GetdLLH(0);
                                     out[1] = t.GetdLLH(1);
                                     out[2] = t.GetdLLH(2);
                                 }));
            },
            "Abridged_Molodensky_Transform over arrays -> (dlat, dlon, dh) arrays.", arg("lat"), arg("lon"), arg("dX"),
            arg("dY"), arg("dZ"), arg("da"), arg("df"), py::kw_only(), threads));

    for (const GeocentricModel& model : geocentricModels()) {
        const std::string doc = std::string(model.member) + " over arrays (" + model.doc + "), each result an array.";
        defineMethods(cls, row(
                               model.array,
                               [apply = model.apply](const CTervala& self, const py::object& X, const py::object& Y,
                                                     const py::object& Z, int threads) {
                                   return named(
                                       "Geocentric",
                                       mapPoints<3, 3>(self, {realArray(X, "X"), realArray(Y, "Y"), realArray(Z, "Z")},
                                                       threads, kCheapPoints,
                                                       [apply](CTervala& t, const double(&in)[3], double(&out)[3]) {
                                                           apply(t, in[0], in[1], in[2]);
                                                           out[0] = t.GetGeocentric(0);
                                                           out[1] = t.GetGeocentric(1);
                                                           out[2] = t.GetGeocentric(2);
                                                       }));
                               },
                               doc.c_str(), arg("X"), arg("Y"), arg("Z"), py::kw_only(), threads));
    }

    defineMethods(
        cls,
        row(
            "egm96_geoid_height",
            [](const CTervala& self, const py::object& latitude, const py::object& longitude, int threads) {
                requireCoefficients(self, "egm96_geoid_height");
                return mapPoints<2, 1>(
                    self, {realArray(latitude, "latitude"), realArray(longitude, "longitude")}, threads,
                    kSynthesisPoints,
                    [](CTervala& t, const double(&in)[2], double(&out)[1]) {
                        out[0] = t.EGM96GeoidHeight(in[0], in[1]);
                    },
                    ObjectUse::ReadsOnly);
            },
            "EGM96GeoidHeight over arrays. RuntimeError before a successful LoadEGMData.", arg("latitude"),
            arg("longitude"), py::kw_only(), threads),
        row(
            "kegm_geoid_height",
            [](const CTervala& self, const py::object& latitude, const py::object& longitude, int threads) {
                requireGrid(self, "kegm_geoid_height");
                // Every thread reads the object's own grid, uncopied, through
                // the function the member calls (so the same doubles); the
                // reader keeps a LoadKEGMData of this object from another
                // thread waiting until the call returns.
                const GridReader reader(self);
                const grid::GridView view = grid::gridView(self);
                auto results = mapArrays<2, 1>(
                    {realArray(latitude, "latitude"), realArray(longitude, "longitude")}, threads, kGridPoints,
                    [&view](int) {
                        return [&view](int, const double(&in)[2], double(&out)[1]) {
                            const double h = grid::gridGeoidHeight(view, in[0], in[1]);
                            out[0] = (h == grid::kOutOfRange || h == grid::kWindowDoesNotFit ||
                                      !grid::windowIsStored(view, in[0], in[1]))
                                         ? kNaN
                                         : h;
                        };
                    });
                return std::move(results[0]);
            },
            "KEGMGeoidHeight over arrays; NaN where the member returns one of its result codes (out of "
            "range, window does not fit) and, on a regional grid, where the interpolation window is not made "
            "of stored nodes (too close to an edge). RuntimeError before a successful LoadKEGMData.",
            arg("latitude"), arg("longitude"), py::kw_only(), threads),
        row(
            "corr_undulation",
            [](const CTervala& self, const py::object& lat, const py::object& lon, const py::object& dX,
               const py::object& dY, const py::object& dZ, const py::object& da, const py::object& df, int threads) {
                return mapPoints<7, 1>(
                    self,
                    {realArray(lat, "lat"), realArray(lon, "lon"), realArray(dX, "dX"), realArray(dY, "dY"),
                     realArray(dZ, "dZ"), realArray(da, "da"), realArray(df, "df")},
                    threads, kCheapPoints,
                    [](CTervala& t, const double(&in)[7], double(&out)[1]) {
                        out[0] = t.CorrUndulation(in[0], in[1], in[2], in[3], in[4], in[5], in[6]);
                    },
                    ObjectUse::ReadsOnly);
            },
            "CorrUndulation over arrays -> height change array (m).", arg("lat"), arg("lon"), arg("dX"), arg("dY"),
            arg("dZ"), arg("da"), arg("df"), py::kw_only(), threads));
}

} // namespace python
} // namespace tervala
