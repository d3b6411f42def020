// The value types of namespace tervala for Python: Ellipsoid, the
// projections and the datum and local transformations.
//
// Every method takes Python numbers or NumPy arrays that broadcast together
// (evaluate() in ModernSupport.h) and returns a named tuple; a call with one
// point in Python numbers takes the short way of FastMethod. The geodetic
// methods take xy=True for longitude before latitude, in and out, as
// pyproj's always_xy. Every type pickles as the arguments that rebuild it.
#include <pybind11/stl.h>

#include <cmath>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "Bindings.h"
#include "ModernSupport.h"
#include "Registration.h"
#include "ValueSemantics.h"
#include "modern/ProjString.h"
#include "tervala/tervala.hpp"

namespace tervala {
namespace python {
namespace {

using py::arg;

std::string number(double v) { return py::repr(py::float_(v)).cast<std::string>(); }

const char* conventionName(Convention c)
{
    return c == Convention::PositionVector ? "position_vector" : "coordinate_frame";
}

const char* rotationFormName(RotationForm r) { return r == RotationForm::exact ? "exact" : "small_angle"; }

RotationForm rotationFormFromText(const std::string& text)
{
    if (text == "exact")
        return RotationForm::exact;
    if (text == "small_angle")
        return RotationForm::small_angle;
    throw py::value_error("rotations must be \"exact\" or \"small_angle\", not " +
                          py::repr(py::str(text)).cast<std::string>());
}

// A point given as a sequence of N numbers (an origin, for example).
template <std::size_t N>
std::array<double, N> fixedPoint(const py::handle& value, const char* name)
{
    py::array_t<double, py::array::forcecast> a;
    try {
        a = py::array_t<double, py::array::forcecast>::ensure(value);
    } catch (const py::error_already_set&) {
    }
    if (!a || a.ndim() != 1 || a.shape(0) != static_cast<py::ssize_t>(N)) {
        PyErr_Clear();
        throw py::value_error(std::string(name) + " must be a sequence of " + std::to_string(N) + " numbers");
    }
    std::array<double, N> p{};
    for (std::size_t k = 0; k < N; ++k)
        p[k] = a.at(static_cast<py::ssize_t>(k));
    return p;
}

PlaneCoordinates planeOrigin(const py::handle& value)
{
    const auto p = fixedPoint<2>(value, "origin");
    return {p[0], p[1]};
}

py::tuple planeTuple(const PlaneCoordinates& p) { return py::make_tuple(p.first, p.second); }

// ---- One point --------------------------------------------------------------------
// The arithmetic of every method for one point, shared by the array path
// (evaluate) and the one-point fronts (FastMethod): inputs in the method's
// positional order, results in the order of the named tuple's fields.

void toGeocentricPoint(const Ellipsoid& e, const double (&in)[3], double (&out)[3])
{
    const Geocentric g = e.toGeocentric({in[0], in[1], in[2]});
    out[0] = g.x;
    out[1] = g.y;
    out[2] = g.z;
}

void toGeodeticPoint(const Ellipsoid& e, const double (&in)[3], double (&out)[3])
{
    const Geodetic g = e.toGeodetic({in[0], in[1], in[2]});
    out[0] = g.latitude;
    out[1] = g.longitude;
    out[2] = g.height;
}

template <class P>
void forwardPoint(const P& p, const double (&in)[2], double (&out)[2])
{
    const Projected q = p.forward(in[0], in[1]);
    out[0] = q.easting;
    out[1] = q.northing;
}

template <class P>
void inversePoint(const P& p, const double (&in)[2], double (&out)[2])
{
    const Geographic g = p.inverse(in[0], in[1]);
    out[0] = g.latitude;
    out[1] = g.longitude;
}

template <class P>
void forwardScalePoint(const P& p, const double (&in)[2], double (&out)[4])
{
    const ProjectedWithScale q = p.forwardWithScale(in[0], in[1]);
    out[0] = q.easting;
    out[1] = q.northing;
    out[2] = q.convergence;
    out[3] = q.scale;
}

template <class P>
void inverseScalePoint(const P& p, const double (&in)[2], double (&out)[4])
{
    const GeographicWithScale g = p.inverseWithScale(in[0], in[1]);
    out[0] = g.latitude;
    out[1] = g.longitude;
    out[2] = g.convergence;
    out[3] = g.scale;
}

template <class T, bool Inverse>
void geocentricPoint(const T& t, const double (&in)[3], double (&out)[3])
{
    const Geocentric p{in[0], in[1], in[2]};
    const Geocentric q = Inverse ? t.inverse(p) : t.forward(p);
    out[0] = q.x;
    out[1] = q.y;
    out[2] = q.z;
}

void abridgedShiftPoint(const AbridgedMolodensky& a, const double (&in)[2], double (&out)[3])
{
    const GeodeticShift d = a.shift(in[0], in[1]);
    out[0] = d.latitude;
    out[1] = d.longitude;
    out[2] = d.height;
}

void abridgedForwardPoint(const AbridgedMolodensky& a, const double (&in)[3], double (&out)[3])
{
    const Geodetic g = a.forward({in[0], in[1], in[2]});
    out[0] = g.latitude;
    out[1] = g.longitude;
    out[2] = g.height;
}

template <bool Inverse>
void helmert2DPoint(const Helmert2D& h, const double (&in)[2], double (&out)[2])
{
    const PlaneCoordinates p{in[0], in[1]};
    const PlaneCoordinates q = Inverse ? h.inverse(p) : h.forward(p);
    out[0] = q.first;
    out[1] = q.second;
}

template <bool Inverse>
void heightPlanePoint(const HeightPlane& h, const double (&in)[3], double (&out)[1])
{
    const PlaneCoordinates p{in[0], in[1]};
    out[0] = Inverse ? h.inverse(p, in[2]) : h.forward(p, in[2]);
}

// Runs a point kernel through evaluate(). With swap (xy=True on a geodetic
// result) the first two results trade places: longitude before latitude.
template <class T, std::size_t NIn, std::size_t NOut, PointKernel<T, NIn, NOut> Kernel>
py::object run(const T& object, const std::array<py::handle, NIn>& args, const std::array<const char*, NIn>& names,
               const py::object& type, int threads, bool swap = false)
{
    return evaluate<NIn, NOut>(args, names, type, threads, kCheapPoints,
                               [&object, swap](const double (&in)[NIn], double (&out)[NOut]) {
                                   Kernel(object, in, out);
                                   if constexpr (NOut >= 2) {
                                       if (swap)
                                           std::swap(out[0], out[1]);
                                   } else {
                                       (void)swap;  // one result: nothing to trade
                                   }
                               });
}

// The first two of a geodetic method's arguments in (latitude, longitude)
// order: with xy=True they arrive as (longitude, latitude).
std::array<py::handle, 2> latitudeFirst(const py::handle& a, const py::handle& b, bool xy)
{
    return xy ? std::array<py::handle, 2>{b, a} : std::array<py::handle, 2>{a, b};
}

// The four projection methods of TransverseMercator and Utm.
template <class P>
void defineProjectionMethods(py::class_<P>& cls)
{
    const auto threads = arg("threads") = 0;
    const auto xy = arg("xy") = false;
    defineMethods(
        cls,
        row("forward",
            [](const P& p, const py::handle& latitude, const py::handle& longitude, bool xy, int threads) {
                return run<P, 2, 2, &forwardPoint<P>>(p, latitudeFirst(latitude, longitude, xy),
                                                      {"latitude", "longitude"}, namedTypes().projected, threads);
            },
            "Latitude, longitude (degrees; with xy=True longitude first) -> Projected(easting, northing), metres.",
            arg("latitude"), arg("longitude"), py::kw_only(), xy, threads),
        row("inverse",
            [](const P& p, const py::handle& easting, const py::handle& northing, bool xy, int threads) {
                const NamedTypes& t = namedTypes();
                return run<P, 2, 2, &inversePoint<P>>(p, {easting, northing}, {"easting", "northing"},
                                                      xy ? t.geographicXY : t.geographic, threads, xy);
            },
            "Easting, northing (m) -> Geographic(latitude, longitude) in degrees (with xy=True "
            "GeographicXY(longitude, latitude)).",
            arg("easting"), arg("northing"), py::kw_only(), xy, threads),
        row("forward_with_scale",
            [](const P& p, const py::handle& latitude, const py::handle& longitude, bool xy, int threads) {
                return run<P, 2, 4, &forwardScalePoint<P>>(p, latitudeFirst(latitude, longitude, xy),
                                                           {"latitude", "longitude"}, namedTypes().projectedScale,
                                                           threads);
            },
            "forward() with the meridian convergence (degrees, from grid north to true north, positive east of "
            "the central meridian in the northern hemisphere) and the point scale: ProjectedWithScale(easting, "
            "northing, convergence, scale). NaN where forward() is.",
            arg("latitude"), arg("longitude"), py::kw_only(), xy, threads),
        row("inverse_with_scale",
            [](const P& p, const py::handle& easting, const py::handle& northing, bool xy, int threads) {
                const NamedTypes& t = namedTypes();
                return run<P, 2, 4, &inverseScalePoint<P>>(p, {easting, northing}, {"easting", "northing"},
                                                           xy ? t.geographicXYScale : t.geographicScale, threads, xy);
            },
            "inverse() with the meridian convergence (degrees) and the point scale: GeographicWithScale(latitude, "
            "longitude, convergence, scale), with xy=True GeographicXYWithScale(longitude, latitude, convergence, "
            "scale). NaN where inverse() is.",
            arg("easting"), arg("northing"), py::kw_only(), xy, threads));
    FastMethod<P, 2, 2, &forwardPoint<P>>::install(cls, "forward", &NamedTypes::projected, 2, {}, xyInputs(&NamedTypes::projected));
    FastMethod<P, 2, 2, &inversePoint<P>>::install(cls, "inverse", &NamedTypes::geographic, 2, {},
                                                     xyResults(&NamedTypes::geographicXY));
    FastMethod<P, 2, 4, &forwardScalePoint<P>>::install(cls, "forward_with_scale", &NamedTypes::projectedScale, 2, {},
                                                          xyInputs(&NamedTypes::projectedScale));
    FastMethod<P, 2, 4, &inverseScalePoint<P>>::install(cls, "inverse_with_scale", &NamedTypes::geographicScale, 2, {},
                                                          xyResults(&NamedTypes::geographicXYScale));
}

// forward and inverse of a seven-parameter transformation.
template <class T>
void defineGeocentricMethods(py::class_<T>& cls, const char* forwardDoc, const char* inverseDoc)
{
    const auto threads = arg("threads") = 0;
    defineMethods(
        cls,
        row("forward",
            [](const T& h, const py::handle& x, const py::handle& y, const py::handle& z, int threads) {
                return run<T, 3, 3, &geocentricPoint<T, false>>(h, {x, y, z}, {"x", "y", "z"},
                                                                namedTypes().geocentric, threads);
            },
            forwardDoc, arg("x"), arg("y"), arg("z"), py::kw_only(), threads),
        row("inverse",
            [](const T& h, const py::handle& x, const py::handle& y, const py::handle& z, int threads) {
                return run<T, 3, 3, &geocentricPoint<T, true>>(h, {x, y, z}, {"x", "y", "z"},
                                                               namedTypes().geocentric, threads);
            },
            inverseDoc, arg("x"), arg("y"), arg("z"), py::kw_only(), threads));
    FastMethod<T, 3, 3, &geocentricPoint<T, false>>::install(cls, "forward", &NamedTypes::geocentric, 3);
    FastMethod<T, 3, 3, &geocentricPoint<T, true>>::install(cls, "inverse", &NamedTypes::geocentric, 3);
}

Ellipsoid makeEllipsoid(const py::object& nameOrA, const py::object& inverseFlattening)
{
    if (py::isinstance<py::str>(nameOrA)) {
        if (!inverseFlattening.is_none())
            throw py::value_error("Ellipsoid: give a name alone, or a and inverse_flattening");
        return Ellipsoid(nameOrA.cast<std::string>());
    }
    if (inverseFlattening.is_none())
        throw py::value_error("Ellipsoid: inverse_flattening is needed with a semi-major axis (or give a name such "
                              "as \"GRS80\")");
    return Ellipsoid(py::cast<double>(nameOrA), py::cast<double>(inverseFlattening));
}

const Ellipsoid& ellipsoidOr(const py::object& value, const Ellipsoid& fallback)
{
    return value.is_none() ? fallback : value.cast<const Ellipsoid&>();
}

py::tuple ellipsoidState(const Ellipsoid& e)
{
    const std::string name = e.name();
    return name.empty() ? py::make_tuple(e.a(), e.inverseFlattening()) : py::make_tuple(name);
}

Ellipsoid ellipsoidFromState(const py::tuple& s)
{
    return s.size() == 1 ? Ellipsoid(s[0].cast<std::string>()) : Ellipsoid(s[0].cast<double>(), s[1].cast<double>());
}

std::string ellipsoidRepr(const Ellipsoid& e)
{
    const std::string name = e.name();
    return name.empty() ? "Ellipsoid(" + number(e.a()) + ", " + number(e.inverseFlattening()) + ")"
                        : "Ellipsoid('" + name + "')";
}

// The seven parameters of a Helmert7 as keyword arguments (pickling and repr).
py::dict sevenParameters(const Helmert7& h)
{
    py::dict d;
    d["tx"] = h.tx();
    d["ty"] = h.ty();
    d["tz"] = h.tz();
    d["s"] = h.s();
    d["rx"] = h.rx();
    d["ry"] = h.ry();
    d["rz"] = h.rz();
    d["convention"] = conventionName(h.convention());
    d["rotations"] = rotationFormName(h.rotations());
    return d;
}

std::string keywordRepr(const char* type, const py::dict& d)
{
    std::string s = std::string(type) + "(";
    bool first = true;
    for (auto item : d) {
        s += (first ? "" : ", ") + item.first.cast<std::string>() + "=" + py::repr(item.second).cast<std::string>();
        first = false;
    }
    return s + ")";
}

Helmert7 helmert7FromState(const py::dict& d)
{
    return Helmert7(d["tx"].cast<double>(), d["ty"].cast<double>(), d["tz"].cast<double>(), d["s"].cast<double>(),
                    d["rx"].cast<double>(), d["ry"].cast<double>(), d["rz"].cast<double>(),
                    conventionFromText(d["convention"].cast<std::string>()),
                    // States pickled before the form was recorded were exact.
                    d.contains("rotations") ? rotationFormFromText(d["rotations"].cast<std::string>())
                                            : RotationForm::exact);
}

MolodenskyBadekas badekasFromState(const py::dict& d)
{
    const auto o = fixedPoint<3>(d["origin"], "origin");
    const Helmert7 h = helmert7FromState(d);
    return MolodenskyBadekas(h.tx(), h.ty(), h.tz(), h.s(), h.rx(), h.ry(), h.rz(), h.convention(), {o[0], o[1], o[2]},
                             h.rotations());
}

py::dict badekasState(const MolodenskyBadekas& m)
{
    py::dict d = sevenParameters(m.parameters());
    d["origin"] = py::make_tuple(m.origin().x, m.origin().y, m.origin().z);
    return d;
}

TmMethod methodFromText(const std::string& text)
{
    if (text == "kruger")
        return TmMethod::Kruger;
    if (text == "legacy")
        return TmMethod::Legacy;
    throw py::value_error("method must be \"kruger\" or \"legacy\", not " + py::repr(py::str(text)).cast<std::string>());
}

const char* methodText(TmMethod m) { return m == TmMethod::Legacy ? "legacy" : "kruger"; }

// ", method='legacy'" in a repr; nothing for the default.
std::string methodRepr(TmMethod m) { return m == TmMethod::Legacy ? ", method='legacy'" : ""; }

py::tuple ellipsoidKey(const Ellipsoid& e)
{
    return py::make_tuple(e.a(), e.inverseFlattening());
}

py::tuple helmert7Key(const Helmert7& h)
{
    return py::make_tuple(h.tx(), h.ty(), h.tz(), h.s(), h.rx(), h.ry(), h.rz(), conventionName(h.convention()),
                          rotationFormName(h.rotations()));
}

const char* utmHint(const char* name, const py::handle& value)
{
    if (std::string(name) == "zone" && py::isinstance<py::str>(value))
        return " (the zone number alone, the hemisphere as south=True or south=False: Utm(52, south=True))";
    if (std::string(name) == "south")
        return " (a band letter is not a hemisphere: band S is 32 to 40 degrees north)";
    return "";
}

const char* conventionHint(const char* name, const py::handle&)
{
    return std::string(name) == "convention"
               ? ": \"position_vector\" or \"coordinate_frame\"; there is no default, the two differ in the "
                 "rotations' signs"
               : "";
}

} // namespace

Convention conventionFromText(const std::string& text)
{
    if (text == "position_vector")
        return Convention::PositionVector;
    if (text == "coordinate_frame")
        return Convention::CoordinateFrame;
    throw py::value_error("convention must be \"position_vector\" or \"coordinate_frame\", not " +
                          py::repr(py::str(text)).cast<std::string>());
}

void bindModernTypes(py::module_& m)
{
    const auto threads = arg("threads") = 0;
    const auto xy = arg("xy") = false;

    // The PROJ-string reader of the library, for from_proj (_proj.py).
    m.def(
        "_parse_tm_proj",
        [](const std::string& text, bool utmOnly) {
            tervala::projstring::TmDefinition d;
            std::string error;
            if (!tervala::projstring::parseTm(text, utmOnly, d, error))
                throw py::value_error(error);
            py::dict out;
            out["utm"] = d.utm;
            out["zone"] = d.zone;
            out["south"] = d.south;
            out["ellipsoid"] = d.ellipsoidName;
            out["a"] = d.a;
            out["rf"] = d.inverseFlattening;
            out["lat_0"] = d.lat0;
            out["lon_0"] = d.lon0;
            out["k"] = d.scale;
            out["x_0"] = d.falseEasting;
            out["y_0"] = d.falseNorthing;
            return out;
        },
        arg("text"), arg("utm_only"));

    // ---- Ellipsoid ----------------------------------------------------------------
    py::class_<Ellipsoid> ellipsoid(m, "Ellipsoid",
                                    "A reference ellipsoid, by name (\"GRS80\", \"WGS84\", \"Bessel1841\", "
                                    "\"Clarke1866\", \"International1924\", \"Krassovsky1940\", \"Airy1830\") or by "
                                    "its semi-major axis a (metres) and inverse flattening 1/f (> 1, or 0 for a "
                                    "sphere). Immutable.");
    defineConstructor(ellipsoid, py::init(&makeEllipsoid),
                      "Ellipsoid(\"GRS80\") or Ellipsoid(a, inverse_flattening). ValueError names an unknown "
                      "name or an invalid constant.",
                      arg("name_or_a"), arg("inverse_flattening") = py::none());
    defineStatics(ellipsoid,
                  row("known",
                      [] {
                          py::list names;
                          for (const NamedEllipsoid& e : Ellipsoid::known())
                              names.append(py::make_tuple(e.name, e.a, e.inverseFlattening));
                          return names;
                      },
                      "The built-in ellipsoids as (name, a, inverse_flattening), GRS80 and WGS84 first."),
                  row("sphere", &Ellipsoid::sphere,
                      "A sphere of this radius (m): Ellipsoid(radius, 0). Krueger's Transverse Mercator, UTM, UPS "
                      "and the geocentric conversions serve it; method=\"legacy\" refuses it.",
                      arg("radius")));
    defineMethods(
        ellipsoid,
        row("to_geocentric",
            [](const Ellipsoid& e, const py::handle& latitude, const py::handle& longitude, const py::handle& height,
               bool xy, int threads) {
                const auto ll = latitudeFirst(latitude, longitude, xy);
                return run<Ellipsoid, 3, 3, &toGeocentricPoint>(e, {ll[0], ll[1], height},
                                                                {"latitude", "longitude", "height"},
                                                                namedTypes().geocentric, threads);
            },
            "Latitude, longitude (degrees) and ellipsoidal height (m) -> Geocentric(x, y, z) in metres. NaN for a "
            "latitude outside [-90, 90] or input that is not finite.",
            arg("latitude"), arg("longitude"), arg("height") = 0.0, py::kw_only(), xy, threads),
        row("to_geodetic",
            [](const Ellipsoid& e, const py::handle& x, const py::handle& y, const py::handle& z, bool xy,
               int threads) {
                const NamedTypes& t = namedTypes();
                return run<Ellipsoid, 3, 3, &toGeodeticPoint>(e, {x, y, z}, {"x", "y", "z"},
                                                              xy ? t.geodeticXY : t.geodetic, threads, xy);
            },
            "X, Y, Z (m) -> Geodetic(latitude, longitude, height), degrees and metres (with xy=True "
            "GeodeticXY(longitude, latitude, height)). NaN for input that is not finite.",
            arg("x"), arg("y"), arg("z"), py::kw_only(), xy, threads),
        row("__eq__", [](const Ellipsoid& a, const py::object& b) {
                return py::isinstance<Ellipsoid>(b) && a == b.cast<const Ellipsoid&>();
            }, "Same a and 1/f.", arg("other")),
        row("__hash__", [](const Ellipsoid& e) { return py::hash(py::make_tuple(e.a(), e.inverseFlattening())); },
            "Hash of a and 1/f."),
        row("__repr__", &ellipsoidRepr, "Ellipsoid('GRS80') or Ellipsoid(a, inverse_flattening)."));
    ellipsoid.def_property_readonly("name", &Ellipsoid::name, "The built-in name, \"\" for one built from constants")
        .def_property_readonly("a", &Ellipsoid::a, "semi-major axis (m)")
        .def_property_readonly("inverse_flattening", &Ellipsoid::inverseFlattening, "1/f")
        .def_property_readonly("flattening", &Ellipsoid::flattening, "f")
        .def_property_readonly("b", &Ellipsoid::b, "semi-minor axis (m)")
        .def_property_readonly("e2", &Ellipsoid::e2, "first eccentricity squared")
        .def(py::pickle(&ellipsoidState, &ellipsoidFromState));
    FastMethod<Ellipsoid, 3, 3, &toGeocentricPoint>::install(ellipsoid, "to_geocentric", &NamedTypes::geocentric, 2, {},
                                                             xyInputs(&NamedTypes::geocentric));
    FastMethod<Ellipsoid, 3, 3, &toGeodeticPoint>::install(ellipsoid, "to_geodetic", &NamedTypes::geodetic, 3, {},
                                                           xyResults(&NamedTypes::geodeticXY));

    // ---- Transverse Mercator and UTM -------------------------------------------------
    py::class_<TransverseMercator> tm(m, "TransverseMercator",
                                      "A Transverse Mercator grid. forward/inverse give NaN (not a wrong number) "
                                      "farther than max_offset degrees from the central meridian, where the series "
                                      "leave their millimetre accuracy, and for latitudes outside [-90, 90].");
    defineConstructor(
        tm,
        py::init([](const Ellipsoid& e, double lat0, double lon0, double fn, double fe, double k0,
                    const std::string& method, bool southOriented) {
            return TransverseMercator(e, lat0, lon0, fn, fe, k0, methodFromText(method),
                                      southOriented ? TmAxes::WestSouth : TmAxes::EastNorth);
        }),
        "Ellipsoid, latitude of origin and central meridian (degrees), false northing and easting (m), central "
        "scale factor; method \"kruger\" (Krueger's series to n^8, nanometres to 3900 km from the central "
        "meridian, the default) or \"legacy\" (the members' series, bit for bit); south_oriented=True for "
        "westing and southing axes (South Orientated Transverse Mercator: the easting and northing fields then hold "
        "the westing and southing). ValueError names an invalid value.",
        arg("ellipsoid"), arg("latitude_of_origin"), arg("central_meridian"), arg("false_northing") = 0.0,
        arg("false_easting") = 0.0, arg("scale_factor") = 1.0, py::kw_only(), arg("method") = "kruger",
        arg("south_oriented") = false);
    defineProjectionMethods(tm);
    defineCallDiagnosis(tm, "TransverseMercator",
                        {{"ellipsoid", Accepts::Ellipsoid, true, false},
                         {"latitude_of_origin", Accepts::Number, true, false},
                         {"central_meridian", Accepts::Number, true, false},
                         {"false_northing", Accepts::Number, false, false},
                         {"false_easting", Accepts::Number, false, false},
                         {"scale_factor", Accepts::Number, false, false}});
    defineValueSemantics(tm, [](const TransverseMercator& p) {
        return py::make_tuple(ellipsoidKey(p.ellipsoid()), p.latitudeOfOrigin(), p.centralMeridian(), p.falseNorthing(),
                              p.falseEasting(), p.scaleFactor(), methodText(p.method()),
                              p.axes() == TmAxes::WestSouth);
    });
    defineMethods(
        tm,
        row("__repr__",
            [](const TransverseMercator& p) {
                return "TransverseMercator(" + ellipsoidRepr(p.ellipsoid()) + ", " + number(p.latitudeOfOrigin()) +
                       ", " + number(p.centralMeridian()) + ", false_northing=" + number(p.falseNorthing()) +
                       ", false_easting=" + number(p.falseEasting()) + ", scale_factor=" + number(p.scaleFactor()) +
                       methodRepr(p.method()) + (p.axes() == TmAxes::WestSouth ? ", south_oriented=True" : "") +
                       ")";
            },
            "The constructor call."));
    tm.def_property_readonly("ellipsoid", &TransverseMercator::ellipsoid)
        .def_property_readonly("latitude_of_origin", &TransverseMercator::latitudeOfOrigin, "degrees")
        .def_property_readonly("central_meridian", &TransverseMercator::centralMeridian,
                               "degrees, reduced to (-180, 180]")
        .def_property_readonly("false_northing", &TransverseMercator::falseNorthing, "m")
        .def_property_readonly("false_easting", &TransverseMercator::falseEasting, "m")
        .def_property_readonly("scale_factor", &TransverseMercator::scaleFactor)
        .def_property_readonly("max_offset", &TransverseMercator::maxOffset,
                               "largest distance from the central meridian forward accepts (degrees)")
        .def_property_readonly("method", [](const TransverseMercator& p) { return methodText(p.method()); },
                               "\"kruger\" or \"legacy\"")
        .def_property_readonly("south_oriented",
                               [](const TransverseMercator& p) { return p.axes() == TmAxes::WestSouth; },
                               "westing and southing axes")
        .def("max_offset_at", &TransverseMercator::maxOffsetAt,
             "Largest distance from the central meridian forward accepts at this latitude (degrees); NaN for a "
             "latitude outside [-90, 90]",
             arg("latitude"))
        .def(py::pickle(
            [](const TransverseMercator& p) {
                return py::make_tuple(p.ellipsoid(), p.latitudeOfOrigin(), p.centralMeridian(), p.falseNorthing(),
                                      p.falseEasting(), p.scaleFactor(), methodText(p.method()),
                                      p.axes() == TmAxes::WestSouth);
            },
            [](const py::tuple& s) {
                return TransverseMercator(s[0].cast<Ellipsoid>(), s[1].cast<double>(), s[2].cast<double>(),
                                          s[3].cast<double>(), s[4].cast<double>(), s[5].cast<double>(),
                                          s.size() > 6 ? methodFromText(s[6].cast<std::string>()) : TmMethod::Legacy,
                                          s.size() > 7 && s[7].cast<bool>() ? TmAxes::WestSouth : TmAxes::EastNorth);
            }));

    py::class_<Utm> utm(m, "Utm",
                        "A UTM zone (1..60, north or south) on an ellipsoid (WGS84 unless given). forward/inverse "
                        "give NaN outside 80 S .. 84 N and farther than max_offset from the central meridian.");
    defineConstructor(
        utm,
        py::init([](int zone, bool south, const py::object& e, const std::string& method) {
            return Utm(zone, south, ellipsoidOr(e, Ellipsoid::wgs84()), methodFromText(method));
        }),
        "Zone 1..60; south=True for the southern false northing; ellipsoid None means WGS84; method \"kruger\" "
        "(the default) or \"legacy\".",
        arg("zone"), arg("south") = false, arg("ellipsoid") = py::none(), py::kw_only(), arg("method") = "kruger");
    defineStatics(utm, row("for_longitude",
                           [](double longitude, bool south, const py::object& e, const std::string& method) {
                               return Utm::forLongitude(longitude, south, ellipsoidOr(e, Ellipsoid::wgs84()),
                                                        methodFromText(method));
                           },
                           "The zone that contains the longitude (degrees; the Norway and Svalbard exceptions are "
                           "not applied).",
                           arg("longitude"), arg("south") = false, arg("ellipsoid") = py::none(), py::kw_only(),
                           arg("method") = "kruger"));
    defineProjectionMethods(utm);
    defineCallDiagnosis(utm, "Utm",
                        {{"zone", Accepts::Integer, true, false},
                         {"south", Accepts::Boolean, false, false},
                         {"ellipsoid", Accepts::Ellipsoid, false, false}},
                        &utmHint);
    defineValueSemantics(utm,
                         [](const Utm& p) {
                             return py::make_tuple(p.zone(), p.south(), ellipsoidKey(p.ellipsoid()),
                                                   methodText(p.method()));
                         });
    defineMethods(
        utm,
        row("__repr__",
            [](const Utm& p) {
                return "Utm(" + std::to_string(p.zone()) + ", south=" + (p.south() ? "True" : "False") +
                       ", ellipsoid=" + ellipsoidRepr(p.ellipsoid()) + methodRepr(p.method()) + ")";
            },
            "The constructor call."));
    utm.def_property_readonly("zone", &Utm::zone)
        .def_property_readonly("south", &Utm::south)
        .def_property_readonly("ellipsoid", &Utm::ellipsoid)
        .def_property_readonly("central_meridian", &Utm::centralMeridian, "6 zone - 183 degrees")
        .def_property_readonly("max_offset", &Utm::maxOffset, "degrees")
        .def_property_readonly("method", [](const Utm& p) { return methodText(p.method()); },
                               "\"kruger\" or \"legacy\"")
        .def("max_offset_at", &Utm::maxOffsetAt,
             "Largest distance from the central meridian forward accepts at this latitude (degrees); NaN for a "
             "latitude outside [-90, 90]",
             arg("latitude"))
        .def(py::pickle(
            [](const Utm& p) { return py::make_tuple(p.zone(), p.south(), p.ellipsoid(), methodText(p.method())); },
            [](const py::tuple& s) {
                return Utm(s[0].cast<int>(), s[1].cast<bool>(), s[2].cast<Ellipsoid>(),
                           s.size() > 3 ? methodFromText(s[3].cast<std::string>()) : TmMethod::Legacy);
            }));

    // ---- UPS, UTM/UPS and MGRS ----------------------------------------------------------
    py::class_<Ups> ups(m, "Ups",
                        "Universal Polar Stereographic grid of one pole (k0 0.994, false easting and northing "
                        "2000 km) on an ellipsoid (WGS84 unless given). forward gives NaN in the other hemisphere; "
                        "inverse NaN at or beyond the equator.");
    defineConstructor(
        ups, py::init([](bool north, const py::object& e) { return Ups(north, ellipsoidOr(e, Ellipsoid::wgs84())); }),
        "north=True for the north polar grid, False for the south; ellipsoid None means WGS84.", arg("north"),
        arg("ellipsoid") = py::none());
    defineProjectionMethods(ups);
    defineMethods(ups, row("__repr__",
                           [](const Ups& p) {
                               return std::string("Ups(north=") + (p.north() ? "True" : "False") +
                                      ", ellipsoid=" + ellipsoidRepr(p.ellipsoid()) + ")";
                           },
                           "The constructor call."));
    defineValueSemantics(ups, [](const Ups& p) {
        return py::make_tuple(p.north(), p.ellipsoid().a(), p.ellipsoid().inverseFlattening());
    });
    ups.def_property_readonly("north", &Ups::north)
        .def_property_readonly("ellipsoid", &Ups::ellipsoid)
        .def(py::pickle([](const Ups& p) { return py::make_tuple(p.north(), p.ellipsoid()); },
                        [](const py::tuple& s) { return Ups(s[0].cast<bool>(), s[1].cast<Ellipsoid>()); }));

    py::class_<UtmUps> utmups(m, "UtmUps",
                              "The UTM zones (80 S to 84 N, Norway and Svalbard zones included) and the UPS "
                              "polar grids beyond, on an ellipsoid (WGS84 unless given). Zone 0 is UPS.");
    defineConstructor(
        utmups, py::init([](const py::object& e) { return UtmUps(ellipsoidOr(e, Ellipsoid::wgs84())); }),
        "ellipsoid None means WGS84.", arg("ellipsoid") = py::none());
    defineStatics(utmups, row("standard_zone", &UtmUps::standardZone,
                              "The standard zone of a point: 0 (UPS) north of 84 N and south of 80 S, else 1..60 "
                              "with the Norway (32V) and Svalbard (31X, 33X, 35X, 37X) zones; -2 outside "
                              "[-90, 90] or for a longitude that is not finite.",
                              arg("latitude"), arg("longitude")));
    defineMethods(
        utmups,
        row("forward",
            [](const UtmUps& g, double latitude, double longitude, int zone, bool north) {
                const UtmUpsPoint p = g.forward(latitude, longitude, zone, north);
                return py::make_tuple(p.zone, p.north, p.easting, p.northing, p.convergence, p.scale);
            },
            "Latitude, longitude (degrees) -> (zone, north, easting, northing, convergence, scale). zone=-1: the "
            "standard zone and the point's hemisphere; 1..60 or 0 (UPS) force it, in the hemisphere `north`. "
            "NaN coordinates where no grid applies; ValueError for a zone outside -1..60.",
            arg("latitude"), arg("longitude"), arg("zone") = -1, arg("north") = true),
        row("inverse",
            [](const UtmUps& g, int zone, bool north, double easting, double northing) {
                const GeographicWithScale q = g.inverse(zone, north, easting, northing);
                return py::make_tuple(q.latitude, q.longitude, q.convergence, q.scale);
            },
            "Zone (0: UPS), north, easting, northing (m) -> (latitude, longitude, convergence, scale); NaN outside "
            "the grid; ValueError for a zone outside 0..60.",
            arg("zone"), arg("north"), arg("easting"), arg("northing")),
        row("__repr__", [](const UtmUps& g) { return "UtmUps(ellipsoid=" + ellipsoidRepr(g.ellipsoid()) + ")"; },
            "The constructor call."));
    defineValueSemantics(utmups, [](const UtmUps& g) {
        return py::make_tuple(g.ellipsoid().a(), g.ellipsoid().inverseFlattening());
    });
    utmups.def_property_readonly("ellipsoid", &UtmUps::ellipsoid)
        .def(py::pickle([](const UtmUps& g) { return py::make_tuple(g.ellipsoid()); },
                        [](const py::tuple& s) { return UtmUps(s[0].cast<Ellipsoid>()); }));

    py::class_<Mgrs> mgrs(m, "Mgrs",
                          "MGRS references on the UTM/UPS grids of an ellipsoid (WGS84 unless given); the 100 km "
                          "square lettering follows the ellipsoid (the older one on Bessel 1841, Clarke 1866 and "
                          "Clarke 1880) unless lettering=\"current\" or \"older\" is given.");
    defineConstructor(
        mgrs,
        py::init([](const py::object& e, const py::object& lettering) {
            const Ellipsoid el = ellipsoidOr(e, Ellipsoid::wgs84());
            if (lettering.is_none())
                return Mgrs(el);
            const std::string l = lettering.cast<std::string>();
            if (l != "current" && l != "older")
                throw py::value_error("lettering must be \"current\" or \"older\", got \"" + l + "\"");
            return Mgrs(el, l == "older" ? Mgrs::Lettering::Older : Mgrs::Lettering::Current);
        }),
        "ellipsoid None means WGS84; lettering None follows the ellipsoid.", arg("ellipsoid") = py::none(),
        arg("lettering") = py::none());
    defineMethods(
        mgrs,
        row("forward",
            [](const Mgrs& g, const py::object& latitude, const py::object& longitude, int precision) -> py::object {
                if (py::isinstance<py::float_>(latitude) || py::isinstance<py::int_>(latitude))
                    return py::str(g.forward(latitude.cast<double>(), longitude.cast<double>(), precision));
                const auto lat = latitude.cast<std::vector<double>>(), lon = longitude.cast<std::vector<double>>();
                if (lat.size() != lon.size())
                    throw py::value_error("latitude and longitude differ in length: " + std::to_string(lat.size()) +
                                          " and " + std::to_string(lon.size()));
                py::list out;
                for (std::size_t i = 0; i < lat.size(); ++i)
                    out.append(g.forward(lat[i], lon[i], precision));
                return out;
            },
            "Latitude, longitude (degrees; numbers, or equal-length sequences/arrays) -> the MGRS reference (a "
            "str, or a list of them), precision 0 (100 km) to 5 (1 m) digits, truncated. ValueError for a "
            "precision outside 0..5 or a latitude outside [-90, 90].",
            arg("latitude"), arg("longitude"), arg("precision") = 5),
        row("reverse",
            [](const Mgrs& g, const std::string& reference) {
                const Mgrs::Square q = g.reverse(reference);
                py::dict d;
                d["zone"] = q.zone;
                d["north"] = q.north;
                d["easting"] = q.easting;
                d["northing"] = q.northing;
                d["size"] = q.size;
                d["precision"] = q.precision;
                d["latitude"] = q.latitude;
                d["longitude"] = q.longitude;
                return d;
            },
            "An MGRS reference -> dict(zone, north, easting, northing (south-west corner, m), size (m), precision, "
            "latitude, longitude (the square's centre, degrees)). ValueError naming the fault for a malformed "
            "reference.",
            arg("reference")),
        row("__repr__",
            [](const Mgrs& g) {
                return "Mgrs(ellipsoid=" + ellipsoidRepr(g.ellipsoid()) + ", lettering=\"" +
                       (g.lettering() == Mgrs::Lettering::Older ? "older" : "current") + "\")";
            },
            "The constructor call."));
    defineValueSemantics(mgrs, [](const Mgrs& g) {
        return py::make_tuple(g.ellipsoid().a(), g.ellipsoid().inverseFlattening(),
                              g.lettering() == Mgrs::Lettering::Older);
    });
    mgrs.def_property_readonly("ellipsoid", &Mgrs::ellipsoid)
        .def_property_readonly("lettering",
                               [](const Mgrs& g) { return g.lettering() == Mgrs::Lettering::Older ? "older" : "current"; })
        .def(py::pickle(
            [](const Mgrs& g) {
                return py::make_tuple(g.ellipsoid(), g.lettering() == Mgrs::Lettering::Older ? "older" : "current");
            },
            [](const py::tuple& s) {
                return Mgrs(s[0].cast<Ellipsoid>(),
                            s[1].cast<std::string>() == "older" ? Mgrs::Lettering::Older : Mgrs::Lettering::Current);
            }));
    m.def(
        "utm_band",
        [](double latitude) {
            const char b = utmBand(latitude);
            return b == 0 ? std::string() : std::string(1, b);
        },
        "The UTM latitude band letter of a latitude (C at 80 S .. X to 84 N); '' outside [-80, 84].",
        arg("latitude"));

    // ---- Seven-parameter transformations ---------------------------------------------
    py::class_<Helmert7> helmert7(m, "Helmert7",
                                  "The seven-parameter (Bursa-Wolf) similarity about the geocentre: translations "
                                  "tx, ty, tz (m), scale correction s (ppm), rotations rx, ry, rz (arc-seconds) "
                                  "read in the named convention, \"position_vector\" or \"coordinate_frame\" "
                                  "(they differ in the rotations' signs; there is no default), applied with the "
                                  "rotation matrix named by rotations: \"exact\" (R3 R2 R1, the default; what "
                                  "the fits estimate) or \"small_angle\" (EPSG 1032/1033 and PROJ without +exact, "
                                  "for which published parameter sets are meant; 6.8 mm apart at 5 arc-seconds).");
    defineConstructor(helmert7,
                      py::init([](double tx, double ty, double tz, double s, double rx, double ry, double rz,
                                  const std::string& c, const std::string& r) {
                          return Helmert7(tx, ty, tz, s, rx, ry, rz, conventionFromText(c), rotationFormFromText(r));
                      }),
                      "All keywords. ValueError names a value that is not finite or out of range.", py::kw_only(),
                      arg("tx"), arg("ty"), arg("tz"), arg("s"), arg("rx"), arg("ry"), arg("rz"), arg("convention"),
                      arg("rotations") = "exact");
    defineGeocentricMethods(helmert7, "Source X, Y, Z (m) -> target Geocentric(x, y, z).",
                            "Target X, Y, Z (m) -> source Geocentric(x, y, z), the exact inverse of forward.");
    defineCallDiagnosis(helmert7, "Helmert7",
                        {{"tx", Accepts::Number, true, true},
                         {"ty", Accepts::Number, true, true},
                         {"tz", Accepts::Number, true, true},
                         {"s", Accepts::Number, true, true},
                         {"rx", Accepts::Number, true, true},
                         {"ry", Accepts::Number, true, true},
                         {"rz", Accepts::Number, true, true},
                         {"convention", Accepts::Text, true, true},
                         {"rotations", Accepts::Text, false, true}},
                        &conventionHint);
    defineValueSemantics(helmert7, &helmert7Key);
    defineMethods(
        helmert7,
        row("to_convention", [](const Helmert7& h, const std::string& c) { return h.in(conventionFromText(c)); },
            "The same transformation with its rotations in the other convention.", arg("convention")),
        row("__repr__", [](const Helmert7& h) { return keywordRepr("Helmert7", sevenParameters(h)); },
            "The constructor call."));
    helmert7.def_property_readonly("tx", &Helmert7::tx, "m")
        .def_property_readonly("ty", &Helmert7::ty, "m")
        .def_property_readonly("tz", &Helmert7::tz, "m")
        .def_property_readonly("s", &Helmert7::s, "ppm")
        .def_property_readonly("rx", &Helmert7::rx, "arc-seconds")
        .def_property_readonly("ry", &Helmert7::ry, "arc-seconds")
        .def_property_readonly("rz", &Helmert7::rz, "arc-seconds")
        .def_property_readonly("convention", [](const Helmert7& h) { return conventionName(h.convention()); })
        .def_property_readonly("rotations", [](const Helmert7& h) { return rotationFormName(h.rotations()); },
                               "\"exact\" or \"small_angle\": the rotation matrix the parameters are for")
        .def(py::pickle(&sevenParameters, &helmert7FromState));

    py::class_<MolodenskyBadekas> badekas(m, "MolodenskyBadekas",
                                          "The seven-parameter similarity about an origin (x0, y0, z0): parameters "
                                          "as Helmert7.");
    defineConstructor(badekas,
                      py::init([](double tx, double ty, double tz, double s, double rx, double ry, double rz,
                                  const std::string& c, const py::object& origin, const std::string& r) {
                          const auto o = fixedPoint<3>(origin, "origin");
                          return MolodenskyBadekas(tx, ty, tz, s, rx, ry, rz, conventionFromText(c), {o[0], o[1], o[2]},
                                                   rotationFormFromText(r));
                      }),
                      "All keywords; origin is (x0, y0, z0) in metres; rotations as for Helmert7.", py::kw_only(),
                      arg("tx"), arg("ty"), arg("tz"), arg("s"), arg("rx"), arg("ry"), arg("rz"), arg("convention"),
                      arg("origin"), arg("rotations") = "exact");
    defineGeocentricMethods(badekas, "Source X, Y, Z (m) -> target Geocentric(x, y, z).",
                            "Target X, Y, Z (m) -> source Geocentric(x, y, z).");
    defineCallDiagnosis(badekas, "MolodenskyBadekas",
                        {{"tx", Accepts::Number, true, true},
                         {"ty", Accepts::Number, true, true},
                         {"tz", Accepts::Number, true, true},
                         {"s", Accepts::Number, true, true},
                         {"rx", Accepts::Number, true, true},
                         {"ry", Accepts::Number, true, true},
                         {"rz", Accepts::Number, true, true},
                         {"convention", Accepts::Text, true, true},
                         {"origin", Accepts::Point3, true, true},
                         {"rotations", Accepts::Text, false, true}},
                        &conventionHint);
    defineValueSemantics(badekas, [](const MolodenskyBadekas& h) {
        const Geocentric& o = h.origin();
        return py::make_tuple(helmert7Key(h.parameters()), o.x, o.y, o.z);
    });
    defineMethods(
        badekas,
        row("to_convention", [](const MolodenskyBadekas& h, const std::string& c) { return h.in(conventionFromText(c)); },
            "The same transformation with its rotations in the other convention.", arg("convention")),
        row("__repr__", [](const MolodenskyBadekas& h) { return keywordRepr("MolodenskyBadekas", badekasState(h)); },
            "The constructor call."));
    badekas.def_property_readonly("parameters", &MolodenskyBadekas::parameters,
                                  "the seven parameters as a Helmert7 (about the geocentre)")
        .def_property_readonly("origin", [](const MolodenskyBadekas& h) {
            const Geocentric& o = h.origin();
            return makeNamed<3>(namedTypes().geocentric, {py::float_(o.x), py::float_(o.y), py::float_(o.z)});
        })
        .def_property_readonly("convention", [](const MolodenskyBadekas& h) {
            return conventionName(h.parameters().convention());
        })
        .def_property_readonly("rotations", [](const MolodenskyBadekas& h) { return rotationFormName(h.rotations()); },
                               "\"exact\" or \"small_angle\": the rotation matrix the parameters are for")
        .def(py::pickle(&badekasState, &badekasFromState));

    // ---- Abridged Molodensky -------------------------------------------------------
    py::class_<AbridgedMolodensky> abridged(m, "AbridgedMolodensky",
                                            "The abridged Molodensky shift from a source to a target ellipsoid for "
                                            "an origin shift dx, dy, dz (m).");
    defineConstructor(abridged,
                      py::init([](const Ellipsoid& s, const Ellipsoid& t, double dx, double dy, double dz) {
                          return AbridgedMolodensky(s, t, dx, dy, dz);
                      }),
                      "Source and target ellipsoids and the origin shift (m).", arg("source"), arg("target"),
                      arg("dx"), arg("dy"), arg("dz"));
    defineCallDiagnosis(abridged, "AbridgedMolodensky",
                        {{"source", Accepts::Ellipsoid, true, false},
                         {"target", Accepts::Ellipsoid, true, false},
                         {"dx", Accepts::Number, true, false},
                         {"dy", Accepts::Number, true, false},
                         {"dz", Accepts::Number, true, false}});
    defineValueSemantics(abridged, [](const AbridgedMolodensky& a) {
        return py::make_tuple(ellipsoidKey(a.source()), ellipsoidKey(a.target()), a.dx(), a.dy(), a.dz());
    });
    defineMethods(
        abridged,
        row("shift",
            [](const AbridgedMolodensky& a, const py::handle& latitude, const py::handle& longitude, bool xy,
               int threads) {
                return run<AbridgedMolodensky, 2, 3, &abridgedShiftPoint>(
                    a, latitudeFirst(latitude, longitude, xy), {"latitude", "longitude"}, namedTypes().shift,
                    threads);
            },
            "GeodeticShift(latitude, longitude, height): degrees, degrees, metres at a source point. NaN at the "
            "poles and outside [-90, 90].",
            arg("latitude"), arg("longitude"), py::kw_only(), xy, threads),
        row("forward",
            [](const AbridgedMolodensky& a, const py::handle& latitude, const py::handle& longitude,
               const py::handle& height, bool xy, int threads) {
                const auto ll = latitudeFirst(latitude, longitude, xy);
                const NamedTypes& t = namedTypes();
                return run<AbridgedMolodensky, 3, 3, &abridgedForwardPoint>(
                    a, {ll[0], ll[1], height}, {"latitude", "longitude", "height"}, xy ? t.geodeticXY : t.geodetic,
                    threads, xy);
            },
            "The point moved to the target datum: Geodetic(latitude, longitude, height).", arg("latitude"),
            arg("longitude"), arg("height") = 0.0, py::kw_only(), xy, threads),
        row("reversed", &AbridgedMolodensky::reversed, "The transformation from target back to source."),
        row("__repr__",
            [](const AbridgedMolodensky& a) {
                return "AbridgedMolodensky(" + ellipsoidRepr(a.source()) + ", " + ellipsoidRepr(a.target()) + ", " +
                       number(a.dx()) + ", " + number(a.dy()) + ", " + number(a.dz()) + ")";
            },
            "The constructor call."));
    FastMethod<AbridgedMolodensky, 2, 3, &abridgedShiftPoint>::install(abridged, "shift", &NamedTypes::shift, 2, {},
                                                                       xyInputs(&NamedTypes::shift));
    FastMethod<AbridgedMolodensky, 3, 3, &abridgedForwardPoint>::install(
        abridged, "forward", &NamedTypes::geodetic, 2, {}, XyRule{true, true, true, &NamedTypes::geodeticXY});
    abridged.def_property_readonly("source", &AbridgedMolodensky::source)
        .def_property_readonly("target", &AbridgedMolodensky::target)
        .def_property_readonly("dx", &AbridgedMolodensky::dx, "m")
        .def_property_readonly("dy", &AbridgedMolodensky::dy, "m")
        .def_property_readonly("dz", &AbridgedMolodensky::dz, "m")
        .def(py::pickle(
            [](const AbridgedMolodensky& a) { return py::make_tuple(a.source(), a.target(), a.dx(), a.dy(), a.dz()); },
            [](const py::tuple& s) {
                return AbridgedMolodensky(s[0].cast<Ellipsoid>(), s[1].cast<Ellipsoid>(), s[2].cast<double>(),
                                          s[3].cast<double>(), s[4].cast<double>());
            }));

    // ---- Plane transformations -------------------------------------------------------
    py::class_<Helmert2D> helmert2d(m, "Helmert2D",
                                    "The four-parameter plane similarity about an origin (x0, y0): translations "
                                    "t1, t2 (m), scale correction (ppm), rotation (arc-seconds, positive turns the "
                                    "first axis toward the second).");
    defineConstructor(helmert2d,
                      py::init([](double t1, double t2, double scale, double rotation, const py::object& origin) {
                          return Helmert2D(t1, t2, scale, rotation, planeOrigin(origin));
                      }),
                      "ValueError names a value that is not finite or out of range.", arg("t1"), arg("t2"),
                      arg("scale"), arg("rotation"), arg("origin") = py::make_tuple(0.0, 0.0));
    defineCallDiagnosis(helmert2d, "Helmert2D",
                        {{"t1", Accepts::Number, true, false},
                         {"t2", Accepts::Number, true, false},
                         {"scale", Accepts::Number, true, false},
                         {"rotation", Accepts::Number, true, false},
                         {"origin", Accepts::Point2, false, false}});
    defineValueSemantics(helmert2d, [](const Helmert2D& h) {
        return py::make_tuple(h.t1(), h.t2(), h.scale(), h.rotation(), h.origin().first, h.origin().second);
    });
    defineMethods(
        helmert2d,
        row("forward",
            [](const Helmert2D& h, const py::handle& first, const py::handle& second, int threads) {
                return run<Helmert2D, 2, 2, &helmert2DPoint<false>>(h, {first, second}, {"first", "second"},
                                                                    namedTypes().plane, threads);
            },
            "(first, second) coordinates (m) -> PlaneCoordinates(first, second).", arg("first"), arg("second"),
            py::kw_only(), threads),
        row("inverse",
            [](const Helmert2D& h, const py::handle& first, const py::handle& second, int threads) {
                return run<Helmert2D, 2, 2, &helmert2DPoint<true>>(h, {first, second}, {"first", "second"},
                                                                   namedTypes().plane, threads);
            },
            "The exact inverse of forward.", arg("first"), arg("second"), py::kw_only(), threads),
        row("__repr__",
            [](const Helmert2D& h) {
                return "Helmert2D(" + number(h.t1()) + ", " + number(h.t2()) + ", " + number(h.scale()) + ", " +
                       number(h.rotation()) + ", origin=" + py::repr(planeTuple(h.origin())).cast<std::string>() +
                       ")";
            },
            "The constructor call."));
    FastMethod<Helmert2D, 2, 2, &helmert2DPoint<false>>::install(helmert2d, "forward", &NamedTypes::plane, 2);
    FastMethod<Helmert2D, 2, 2, &helmert2DPoint<true>>::install(helmert2d, "inverse", &NamedTypes::plane, 2);
    helmert2d.def_property_readonly("t1", &Helmert2D::t1, "m")
        .def_property_readonly("t2", &Helmert2D::t2, "m")
        .def_property_readonly("scale", &Helmert2D::scale, "ppm")
        .def_property_readonly("rotation", &Helmert2D::rotation, "arc-seconds")
        .def_property_readonly("origin", [](const Helmert2D& h) { return planeTuple(h.origin()); })
        .def(py::pickle(
            [](const Helmert2D& h) {
                return py::make_tuple(h.t1(), h.t2(), h.scale(), h.rotation(), planeTuple(h.origin()));
            },
            [](const py::tuple& s) {
                return Helmert2D(s[0].cast<double>(), s[1].cast<double>(), s[2].cast<double>(), s[3].cast<double>(),
                                 planeOrigin(s[4]));
            }));

    py::class_<HeightPlane> plane(m, "HeightPlane",
                                  "The inclined height plane h' = h + slope1 (x - x0) + slope2 (y - y0) + shift.");
    defineConstructor(plane,
                      py::init([](double slope1, double slope2, double shift, const py::object& origin) {
                          return HeightPlane(slope1, slope2, shift, planeOrigin(origin));
                      }),
                      "Slopes (m/m), shift (m), origin (x0, y0) in metres.", arg("slope1"), arg("slope2"),
                      arg("shift"), arg("origin") = py::make_tuple(0.0, 0.0));
    defineCallDiagnosis(plane, "HeightPlane",
                        {{"slope1", Accepts::Number, true, false},
                         {"slope2", Accepts::Number, true, false},
                         {"shift", Accepts::Number, true, false},
                         {"origin", Accepts::Point2, false, false}});
    defineValueSemantics(plane, [](const HeightPlane& h) {
        return py::make_tuple(h.slope1(), h.slope2(), h.shift(), h.origin().first, h.origin().second);
    });
    auto heightMethod = [](auto kernel) {
        return [](const HeightPlane& h, const py::handle& first, const py::handle& second, const py::handle& height,
                  int threads) {
            return run<HeightPlane, 3, 1, decltype(kernel)::value>(h, {first, second, height},
                                                                  {"first", "second", "height"}, py::none(), threads);
        };
    };
    using Forward = std::integral_constant<PointKernel<HeightPlane, 3, 1>, &heightPlanePoint<false>>;
    using Inverse = std::integral_constant<PointKernel<HeightPlane, 3, 1>, &heightPlanePoint<true>>;
    defineMethods(
        plane,
        row("forward", heightMethod(Forward()), "Source height at (first, second) -> target height (m).", arg("first"),
            arg("second"), arg("height"), py::kw_only(), threads),
        row("inverse", heightMethod(Inverse()), "Target height at (first, second) -> source height (m).", arg("first"),
            arg("second"), arg("height"), py::kw_only(), threads),
        row("__repr__",
            [](const HeightPlane& h) {
                return "HeightPlane(" + number(h.slope1()) + ", " + number(h.slope2()) + ", " + number(h.shift()) +
                       ", origin=" + py::repr(planeTuple(h.origin())).cast<std::string>() + ")";
            },
            "The constructor call."));
    FastMethod<HeightPlane, 3, 1, &heightPlanePoint<false>>::install(plane, "forward", nullptr, 3);
    FastMethod<HeightPlane, 3, 1, &heightPlanePoint<true>>::install(plane, "inverse", nullptr, 3);
    plane.def_property_readonly("slope1", &HeightPlane::slope1, "m/m")
        .def_property_readonly("slope2", &HeightPlane::slope2, "m/m")
        .def_property_readonly("shift", &HeightPlane::shift, "m")
        .def_property_readonly("origin", [](const HeightPlane& h) { return planeTuple(h.origin()); })
        .def(py::pickle(
            [](const HeightPlane& h) {
                return py::make_tuple(h.slope1(), h.slope2(), h.shift(), planeTuple(h.origin()));
            },
            [](const py::tuple& s) {
                return HeightPlane(s[0].cast<double>(), s[1].cast<double>(), s[2].cast<double>(), planeOrigin(s[3]));
            }));
}

} // namespace python
} // namespace tervala
