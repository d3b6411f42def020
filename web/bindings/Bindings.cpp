// The value types of namespace tervala for JavaScript (embind). This layer is
// deliberately thin: every function takes equal-length Float64Arrays (the
// package's index.js broadcasts numbers and shapes the results), and every
// C++ exception is caught here and thrown on as a JavaScript Error carrying
// the library's message, never as the bare number an escaping C++ exception
// would become.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <array>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tervala/Datum.hpp"
#include "tervala/Ellipsoid.hpp"
#include "tervala/Fit.hpp"
#include "tervala/Geoid.hpp"
#include "tervala/Projection.hpp"

using emscripten::val;
using namespace tervala;

namespace {

// Runs `body`; a C++ exception leaves as a JavaScript Error with its message.
// The Error is thrown after the catch block has ended, so the C++ exception
// object is released first.
template <class Body>
auto guarded(Body&& body) -> decltype(body())
{
    std::string message;
    try {
        return body();
    } catch (const std::exception& e) {
        message = e.what();
    } catch (...) {
        message = "unknown C++ exception";
    }
    val::global("Error").new_(message).throw_();
}

std::vector<double> numbers(const val& array)
{
    return emscripten::convertJSArrayToNumberVector<double>(array);
}

val float64Array(const std::vector<double>& values)
{
    // The constructor copies out of the module's memory.
    return val::global("Float64Array").new_(emscripten::typed_memory_view(values.size(), values.data()));
}

val int32Array(const std::vector<int>& values)
{
    return val::global("Int32Array").new_(emscripten::typed_memory_view(values.size(), values.data()));
}

// Equal-length input columns, checked here as well as in index.js.
std::vector<std::vector<double>> columns(std::initializer_list<val> arrays)
{
    std::vector<std::vector<double>> out;
    for (const val& a : arrays)
        out.push_back(numbers(a));
    for (const auto& c : out)
        if (c.size() != out.front().size())
            throw std::invalid_argument("the coordinate arrays must have the same length");
    return out;
}

// The per-point loop, in a function of its own that has nothing to clean
// up. With emscripten's exceptions every call made while a destructor or a
// catch block is pending (the output vectors of the callers, the catch of
// guarded) goes through a JavaScript trampoline, which costs more than a
// seven-parameter transformation; from here the calls are direct.
template <std::size_t In, std::size_t Out, class F>
[[gnu::noinline]] void runPoints(const F& f, const double* const* in, double* const* out, std::size_t n)
{
    for (std::size_t k = 0; k < n; ++k) {
        std::array<double, In> args;
        for (std::size_t i = 0; i < In; ++i)
            args[i] = in[i][k];
        const std::array<double, Out> r = f(args);
        for (std::size_t j = 0; j < Out; ++j)
            out[j][k] = r[j];
    }
}

// f maps In coordinates of a point to Out results; the results as
// Float64Arrays under `names`, or one Float64Array for one unnamed result.
template <std::size_t In, std::size_t Out, class F>
std::vector<std::vector<double>> mapColumns(std::initializer_list<val> inputs, const F& f)
{
    const auto c = columns(inputs);
    const std::size_t n = c[0].size();
    std::vector<std::vector<double>> o(Out, std::vector<double>(n));
    const double* in[In];
    double* out[Out];
    for (std::size_t i = 0; i < In; ++i)
        in[i] = c[i].data();
    for (std::size_t j = 0; j < Out; ++j)
        out[j] = o[j].data();
    runPoints<In, Out>(f, in, out, n);
    return o;
}

template <std::size_t In, std::size_t Out, class F>
val mapNamed(std::initializer_list<val> inputs, const char* const (&names)[Out], const F& f)
{
    const auto o = mapColumns<In, Out>(inputs, f);
    val out = val::object();
    for (std::size_t j = 0; j < Out; ++j)
        out.set(names[j], float64Array(o[j]));
    return out;
}

template <class F>
val map2(const val& a, const val& b, const char* n1, const char* n2, F f)
{
    const char* const names[2] = {n1, n2};
    return mapNamed<2, 2>({a, b}, names, [&f](const std::array<double, 2>& p) {
        const auto r = f(p[0], p[1]);
        return std::array<double, 2>{r.first, r.second};
    });
}

template <class F>
val map3(const val& a, const val& b, const val& c3, const char* n1, const char* n2, const char* n3, F f)
{
    const char* const names[3] = {n1, n2, n3};
    return mapNamed<3, 3>({a, b, c3}, names,
                          [&f](const std::array<double, 3>& p) { return f(p[0], p[1], p[2]); });
}

template <class F>
val map4(const val& a, const val& b, const char* const (&names)[4], F f)
{
    return mapNamed<2, 4>({a, b}, names, [&f](const std::array<double, 2>& p) { return f(p[0], p[1]); });
}

const char* const kProjectedWithScale[4] = {"easting", "northing", "convergence", "scale"};
const char* const kGeographicWithScale[4] = {"latitude", "longitude", "convergence", "scale"};

Convention conventionFrom(const std::string& text)
{
    if (text == "position_vector")
        return Convention::PositionVector;
    if (text == "coordinate_frame")
        return Convention::CoordinateFrame;
    throw std::invalid_argument("convention must be \"position_vector\" or \"coordinate_frame\", not \"" + text +
                                "\"");
}

std::string conventionName(Convention c)
{
    return c == Convention::PositionVector ? "position_vector" : "coordinate_frame";
}

// ---- Ellipsoid -------------------------------------------------------------------------

Ellipsoid ellipsoidNamed(const std::string& name)
{
    return guarded([&] { return Ellipsoid(name); });
}

Ellipsoid ellipsoidFrom(double a, double inverseFlattening)
{
    return guarded([&] { return Ellipsoid(a, inverseFlattening); });
}

val knownEllipsoids()
{
    val out = val::array();
    for (const NamedEllipsoid& e : Ellipsoid::known()) {
        val item = val::object();
        item.set("name", std::string(e.name));
        item.set("a", e.a);
        item.set("inverseFlattening", e.inverseFlattening);
        out.call<void>("push", item);
    }
    return out;
}

val toGeocentric(const Ellipsoid& e, const val& lat, const val& lon, const val& h)
{
    return guarded([&] {
        return map3(lat, lon, h, "x", "y", "z", [&](double a, double b, double c) {
            const Geocentric g = e.toGeocentric({a, b, c});
            return std::array<double, 3>{g.x, g.y, g.z};
        });
    });
}

val toGeodetic(const Ellipsoid& e, const val& x, const val& y, const val& z)
{
    return guarded([&] {
        return map3(x, y, z, "latitude", "longitude", "height", [&](double a, double b, double c) {
            const Geodetic g = e.toGeodetic({a, b, c});
            return std::array<double, 3>{g.latitude, g.longitude, g.height};
        });
    });
}

bool ellipsoidEquals(const Ellipsoid& e, const Ellipsoid& other) { return e == other; }

// ---- Projections -----------------------------------------------------------------------

TransverseMercator makeTm(const Ellipsoid& e, double lat0, double cm, double fn, double fe, double k0)
{
    return guarded([&] { return TransverseMercator(e, lat0, cm, fn, fe, k0); });
}

Utm makeUtm(int zone, bool south, const Ellipsoid& e)
{
    return guarded([&] { return Utm(zone, south, e); });
}

Utm utmForLongitude(double longitude, bool south, const Ellipsoid& e)
{
    return guarded([&] { return Utm::forLongitude(longitude, south, e); });
}

template <class P>
val projForward(const P& p, const val& lat, const val& lon)
{
    return guarded([&] {
        return map2(lat, lon, "easting", "northing", [&](double a, double b) {
            const Projected r = p.forward(a, b);
            return std::make_pair(r.easting, r.northing);
        });
    });
}

template <class P>
val projInverse(const P& p, const val& e, const val& n)
{
    return guarded([&] {
        return map2(e, n, "latitude", "longitude", [&](double a, double b) {
            const Geographic r = p.inverse(a, b);
            return std::make_pair(r.latitude, r.longitude);
        });
    });
}

template <class P>
val projForwardWithScale(const P& p, const val& lat, const val& lon)
{
    return guarded([&] {
        return map4(lat, lon, kProjectedWithScale, [&](double a, double b) {
            const ProjectedWithScale r = p.forwardWithScale(a, b);
            return std::array<double, 4>{r.easting, r.northing, r.convergence, r.scale};
        });
    });
}

template <class P>
val projInverseWithScale(const P& p, const val& e, const val& n)
{
    return guarded([&] {
        return map4(e, n, kGeographicWithScale, [&](double a, double b) {
            const GeographicWithScale r = p.inverseWithScale(a, b);
            return std::array<double, 4>{r.latitude, r.longitude, r.convergence, r.scale};
        });
    });
}

Ellipsoid tmEllipsoid(const TransverseMercator& p) { return p.ellipsoid(); }
Ellipsoid utmEllipsoid(const Utm& p) { return p.ellipsoid(); }

// ---- Datum transformations -------------------------------------------------------------

Helmert7 makeHelmert7(double tx, double ty, double tz, double s, double rx, double ry, double rz,
                      const std::string& convention)
{
    return guarded([&] { return Helmert7(tx, ty, tz, s, rx, ry, rz, conventionFrom(convention)); });
}

MolodenskyBadekas makeMolodenskyBadekas(double tx, double ty, double tz, double s, double rx, double ry, double rz,
                                        const std::string& convention, double x0, double y0, double z0)
{
    return guarded([&] {
        return MolodenskyBadekas(tx, ty, tz, s, rx, ry, rz, conventionFrom(convention), {x0, y0, z0});
    });
}

template <class T, bool Forward>
val spaceMap(const T& t, const val& x, const val& y, const val& z)
{
    return guarded([&] {
        return map3(x, y, z, "x", "y", "z", [&](double a, double b, double c) {
            const Geocentric g = Forward ? t.forward(Geocentric{a, b, c}) : t.inverse(Geocentric{a, b, c});
            return std::array<double, 3>{g.x, g.y, g.z};
        });
    });
}

std::string helmert7Convention(const Helmert7& h) { return conventionName(h.convention()); }
Helmert7 helmert7In(const Helmert7& h, const std::string& c)
{
    return guarded([&] { return h.in(conventionFrom(c)); });
}
Helmert7 mbParameters(const MolodenskyBadekas& m) { return m.parameters(); }
val mbOrigin(const MolodenskyBadekas& m)
{
    return float64Array({m.origin().x, m.origin().y, m.origin().z});
}
MolodenskyBadekas mbIn(const MolodenskyBadekas& m, const std::string& c)
{
    return guarded([&] { return m.in(conventionFrom(c)); });
}

AbridgedMolodensky makeAbridged(const Ellipsoid& s, const Ellipsoid& t, double dx, double dy, double dz)
{
    return guarded([&] { return AbridgedMolodensky(s, t, dx, dy, dz); });
}
val abridgedShift(const AbridgedMolodensky& m, const val& lat, const val& lon)
{
    return guarded([&] {
        const auto c = columns({lat, lon});
        std::vector<double> zero(c[0].size(), 0.0);
        return map3(lat, lon, float64Array(zero), "latitude", "longitude", "height",
                    [&](double a, double b, double) {
                        const GeodeticShift s = m.shift(a, b);
                        return std::array<double, 3>{s.latitude, s.longitude, s.height};
                    });
    });
}
val abridgedForward(const AbridgedMolodensky& m, const val& lat, const val& lon, const val& h)
{
    return guarded([&] {
        return map3(lat, lon, h, "latitude", "longitude", "height", [&](double a, double b, double c) {
            const Geodetic g = m.forward({a, b, c});
            return std::array<double, 3>{g.latitude, g.longitude, g.height};
        });
    });
}
AbridgedMolodensky abridgedReversed(const AbridgedMolodensky& m) { return m.reversed(); }
Ellipsoid abridgedSource(const AbridgedMolodensky& m) { return m.source(); }
Ellipsoid abridgedTarget(const AbridgedMolodensky& m) { return m.target(); }

Helmert2D makeHelmert2D(double t1, double t2, double scale, double rotation, double x0, double y0)
{
    return guarded([&] { return Helmert2D(t1, t2, scale, rotation, {x0, y0}); });
}
template <bool Forward>
val helmert2DMap(const Helmert2D& h, const val& a, const val& b)
{
    return guarded([&] {
        return map2(a, b, "first", "second", [&](double x, double y) {
            const PlaneCoordinates p = Forward ? h.forward({x, y}) : h.inverse({x, y});
            return std::make_pair(p.first, p.second);
        });
    });
}
val helmert2DOrigin(const Helmert2D& h) { return float64Array({h.origin().first, h.origin().second}); }

HeightPlane makeHeightPlane(double slope1, double slope2, double shift, double x0, double y0)
{
    return guarded([&] { return HeightPlane(slope1, slope2, shift, {x0, y0}); });
}
template <bool Forward>
val heightPlaneMap(const HeightPlane& p, const val& a, const val& b, const val& h)
{
    return guarded([&] {
        return float64Array(mapColumns<3, 1>({a, b, h}, [&p](const std::array<double, 3>& q) {
            return std::array<double, 1>{Forward ? p.forward({q[0], q[1]}, q[2]) : p.inverse({q[0], q[1]}, q[2])};
        })[0]);
    });
}
val heightPlaneOrigin(const HeightPlane& p) { return float64Array({p.origin().first, p.origin().second}); }

// ---- Geoid -----------------------------------------------------------------------------

// Loaded from a file of the in-memory file system that index.js writes the
// bytes to (and removes after the load: the grid is held in memory).
GeoidGrid loadGeoidGrid(const std::string& path)
{
    return guarded([&] { return GeoidGrid(path); });
}
Egm96Model loadEgm96(const std::string& geopotential, const std::string& correction)
{
    return guarded([&] { return Egm96Model(geopotential, correction); });
}
template <class G>
val geoidHeight(const G& g, const val& lat, const val& lon)
{
    return guarded([&] {
        return float64Array(mapColumns<2, 1>({lat, lon}, [&g](const std::array<double, 2>& q) {
            return std::array<double, 1>{g.height(q[0], q[1])};
        })[0]);
    });
}
std::string gridPath(const GeoidGrid& g) { return g.path(); }

// ---- Fits ------------------------------------------------------------------------------

FitSettings settingsFrom(const val& options)
{
    FitSettings s;
    s.sigma = numbers(options["sigma"]);
    s.sourceSigma = numbers(options["sourceSigma"]);
    s.alpha = options["alpha"].as<double>();
    s.alpha0 = options["alpha0"].as<double>();
    const val fix = options["fix"];
    const int n = fix["length"].as<int>();
    for (int k = 0; k < n; ++k)
        s.fixed.push_back(fix[k].as<std::string>());
    s.snoop = options["snoop"].as<bool>();
    return s;
}

template <std::size_t N>
val matrix(const std::array<std::array<double, N>, N>& m)
{
    std::vector<double> flat;
    for (const auto& row : m)
        flat.insert(flat.end(), row.begin(), row.end());
    return float64Array(flat);
}

val summaryInto(val out, const FitSummary& s)
{
    out.set("points", s.points);
    out.set("observations", s.observations);
    out.set("unknowns", s.unknowns);
    out.set("redundancy", s.redundancy);
    out.set("rank", s.rank);
    out.set("degenerate", s.degenerate);
    out.set("converged", s.converged);
    out.set("iterations", s.iterations);
    out.set("sigma", s.sigma);
    return out;
}

val statisticsOf(const std::optional<FitStatistics>& stats)
{
    if (!stats)
        return val::null();
    const FitStatistics& s = *stats;
    val out = val::object();
    out.set("aPriori", s.apriori);
    val parameters = val::array();
    for (const FitParameter& p : s.parameters) {
        val item = val::object();
        item.set("name", p.name);
        item.set("value", p.value);
        item.set("sigma", p.sigma);
        parameters.call<void>("push", item);
    }
    out.set("parameters", parameters);
    std::vector<double> correlation;
    for (const auto& row : s.correlation)
        correlation.insert(correlation.end(), row.begin(), row.end());
    out.set("correlation", float64Array(correlation));
    out.set("sigma0", s.sigma0);
    out.set("redundancy", s.redundancy);
    if (s.globalTest) {
        val g = val::object();
        g.set("statistic", s.globalTest->statistic);
        g.set("lower", s.globalTest->lower);
        g.set("upper", s.globalTest->upper);
        g.set("alpha", s.alpha);
        g.set("passed", s.globalTest->passed);
        out.set("globalTest", g);
    } else {
        out.set("globalTest", val::null());
    }
    out.set("wCritical", s.apriori ? val(s.wCritical) : val::null());
    out.set("alpha", s.alpha);
    out.set("alpha0", s.alpha0);
    out.set("noncentralitySqrt", s.noncentralitySqrt);
    std::vector<int> point, coordinate, rejected;
    std::vector<double> residual, redundancy, normalised, w, mdb;
    for (const FitObservation& o : s.observations) {
        point.push_back(o.point);
        coordinate.push_back(o.coordinate);
        residual.push_back(o.residual);
        redundancy.push_back(o.redundancyNumber);
        normalised.push_back(o.normalisedResidual);
        w.push_back(o.w);
        mdb.push_back(o.mdb);
        rejected.push_back(o.rejected ? 1 : 0);
    }
    val obs = val::object();
    obs.set("point", int32Array(point));
    obs.set("coordinate", int32Array(coordinate));
    obs.set("residual", float64Array(residual));
    obs.set("redundancyNumber", float64Array(redundancy));
    obs.set("normalisedResidual", float64Array(normalised));
    obs.set("w", float64Array(w));
    obs.set("mdb", float64Array(mdb));
    obs.set("rejected", int32Array(rejected));
    out.set("observations", obs);
    val removed = val::array();
    for (const FitRemovedPoint& r : s.removed) {
        val item = val::object();
        item.set("point", r.point);
        item.set("coordinate", r.coordinate);
        item.set("w", r.w);
        item.set("varianceFactor", r.varianceFactor);
        item.set("globalPassed", r.globalPassed);
        removed.call<void>("push", item);
    }
    out.set("removed", removed);
    out.set("message", s.message);
    return out;
}

std::vector<PlaneCoordinates> planePoints(const val& flat)
{
    const std::vector<double> v = numbers(flat);
    std::vector<PlaneCoordinates> out;
    for (std::size_t k = 0; k + 1 < v.size(); k += 2)
        out.push_back({v[k], v[k + 1]});
    return out;
}

std::vector<Geocentric> spacePoints(const val& flat)
{
    const std::vector<double> v = numbers(flat);
    std::vector<Geocentric> out;
    for (std::size_t k = 0; k + 2 < v.size(); k += 3)
        out.push_back({v[k], v[k + 1], v[k + 2]});
    return out;
}

val fitHelmert2DJs(const val& source, const val& target, const val& options)
{
    return guarded([&] {
        const Helmert2DFitResult r = fitHelmert2D(planePoints(source), planePoints(target), settingsFrom(options));
        val out = summaryInto(val::object(), r.summary);
        out.set("transformation", r.transformation ? val(*r.transformation) : val::null());
        out.set("covariance", matrix(r.covariance));
        out.set("standardDeviations",
                float64Array({r.standardDeviations.begin(), r.standardDeviations.end()}));
        std::vector<double> res;
        for (const PlaneCoordinates& p : r.residuals) {
            res.push_back(p.first);
            res.push_back(p.second);
        }
        out.set("residuals", float64Array(res));
        out.set("statistics", statisticsOf(r.statistics));
        return out;
    });
}

val fitHeightPlaneJs(const val& positions, const val& sourceHeights, const val& targetHeights, const val& origin,
                     const val& options)
{
    return guarded([&] {
        const FitSettings settings = settingsFrom(options);
        const auto p = planePoints(positions);
        const auto s = numbers(sourceHeights);
        const auto t = numbers(targetHeights);
        const std::vector<double> o = numbers(origin);
        const HeightPlaneFitResult r = o.size() == 2 ? fitHeightPlane(p, s, t, PlaneCoordinates{o[0], o[1]}, settings)
                                                     : fitHeightPlane(p, s, t, settings);
        val out = summaryInto(val::object(), r.summary);
        out.set("transformation", r.transformation ? val(*r.transformation) : val::null());
        out.set("covariance", matrix(r.covariance));
        out.set("standardDeviations",
                float64Array({r.standardDeviations.begin(), r.standardDeviations.end()}));
        out.set("residuals", float64Array(r.residuals));
        out.set("meanAccuracy", r.meanAccuracy);
        out.set("statistics", statisticsOf(r.statistics));
        return out;
    });
}

template <class Result>
val sevenResult(const Result& r)
{
    val out = summaryInto(val::object(), r.summary);
    out.set("transformation", r.transformation ? val(*r.transformation) : val::null());
    out.set("covariance", matrix(r.covariance));
    out.set("standardDeviations", float64Array({r.standardDeviations.begin(), r.standardDeviations.end()}));
    std::vector<double> res;
    for (const Geocentric& g : r.residuals) {
        res.push_back(g.x);
        res.push_back(g.y);
        res.push_back(g.z);
    }
    out.set("residuals", float64Array(res));
    out.set("statistics", statisticsOf(r.statistics));
    return out;
}

val fitHelmert7Js(const val& source, const val& target, const std::string& convention, const val& options)
{
    return guarded([&] {
        return sevenResult(
            fitHelmert7(spacePoints(source), spacePoints(target), conventionFrom(convention), settingsFrom(options)));
    });
}

val fitMolodenskyBadekasJs(const val& source, const val& target, const std::string& convention,
                           const val& options)
{
    return guarded([&] {
        return sevenResult(fitMolodenskyBadekas(spacePoints(source), spacePoints(target), conventionFrom(convention),
                                                settingsFrom(options)));
    });
}

} // namespace

EMSCRIPTEN_BINDINGS(tervala)
{
    using emscripten::class_;
    using emscripten::function;

    class_<Ellipsoid>("Ellipsoid")
        .class_function("named", &ellipsoidNamed)
        .class_function("fromConstants", &ellipsoidFrom)
        .class_function("known", &knownEllipsoids)
        .property("name", &Ellipsoid::name)
        .property("a", &Ellipsoid::a)
        .property("inverseFlattening", &Ellipsoid::inverseFlattening)
        .property("flattening", &Ellipsoid::flattening)
        .property("b", &Ellipsoid::b)
        .property("e2", &Ellipsoid::e2)
        .function("toGeocentric", &toGeocentric)
        .function("toGeodetic", &toGeodetic)
        .function("equals", &ellipsoidEquals);

    class_<TransverseMercator>("TransverseMercator")
        .class_function("make", &makeTm)
        .function("forward", &projForward<TransverseMercator>)
        .function("inverse", &projInverse<TransverseMercator>)
        .function("forwardWithScale", &projForwardWithScale<TransverseMercator>)
        .function("inverseWithScale", &projInverseWithScale<TransverseMercator>)
        .function("ellipsoid", &tmEllipsoid)
        .property("latitudeOfOrigin", &TransverseMercator::latitudeOfOrigin)
        .property("centralMeridian", &TransverseMercator::centralMeridian)
        .property("falseNorthing", &TransverseMercator::falseNorthing)
        .property("falseEasting", &TransverseMercator::falseEasting)
        .property("scaleFactor", &TransverseMercator::scaleFactor)
        .property("maxOffset", &TransverseMercator::maxOffset);

    class_<Utm>("Utm")
        .class_function("make", &makeUtm)
        .class_function("forLongitude", &utmForLongitude)
        .function("forward", &projForward<Utm>)
        .function("inverse", &projInverse<Utm>)
        .function("forwardWithScale", &projForwardWithScale<Utm>)
        .function("inverseWithScale", &projInverseWithScale<Utm>)
        .function("ellipsoid", &utmEllipsoid)
        .property("zone", &Utm::zone)
        .property("south", &Utm::south)
        .property("centralMeridian", &Utm::centralMeridian)
        .property("maxOffset", &Utm::maxOffset);

    class_<Helmert7>("Helmert7")
        .class_function("make", &makeHelmert7)
        .function("forward", &spaceMap<Helmert7, true>)
        .function("inverse", &spaceMap<Helmert7, false>)
        .function("toConvention", &helmert7In)
        .property("tx", &Helmert7::tx)
        .property("ty", &Helmert7::ty)
        .property("tz", &Helmert7::tz)
        .property("s", &Helmert7::s)
        .property("rx", &Helmert7::rx)
        .property("ry", &Helmert7::ry)
        .property("rz", &Helmert7::rz)
        .function("convention", &helmert7Convention);

    class_<MolodenskyBadekas>("MolodenskyBadekas")
        .class_function("make", &makeMolodenskyBadekas)
        .function("forward", &spaceMap<MolodenskyBadekas, true>)
        .function("inverse", &spaceMap<MolodenskyBadekas, false>)
        .function("toConvention", &mbIn)
        .function("parameters", &mbParameters)
        .function("origin", &mbOrigin);

    class_<AbridgedMolodensky>("AbridgedMolodensky")
        .class_function("make", &makeAbridged)
        .function("shift", &abridgedShift)
        .function("forward", &abridgedForward)
        .function("reversed", &abridgedReversed)
        .function("source", &abridgedSource)
        .function("target", &abridgedTarget)
        .property("dx", &AbridgedMolodensky::dx)
        .property("dy", &AbridgedMolodensky::dy)
        .property("dz", &AbridgedMolodensky::dz);

    class_<Helmert2D>("Helmert2D")
        .class_function("make", &makeHelmert2D)
        .function("forward", &helmert2DMap<true>)
        .function("inverse", &helmert2DMap<false>)
        .function("origin", &helmert2DOrigin)
        .property("t1", &Helmert2D::t1)
        .property("t2", &Helmert2D::t2)
        .property("scale", &Helmert2D::scale)
        .property("rotation", &Helmert2D::rotation);

    class_<HeightPlane>("HeightPlane")
        .class_function("make", &makeHeightPlane)
        .function("forward", &heightPlaneMap<true>)
        .function("inverse", &heightPlaneMap<false>)
        .function("origin", &heightPlaneOrigin)
        .property("slope1", &HeightPlane::slope1)
        .property("slope2", &HeightPlane::slope2)
        .property("shift", &HeightPlane::shift);

    class_<GeoidGrid>("GeoidGrid")
        .class_function("load", &loadGeoidGrid)
        .function("height", &geoidHeight<GeoidGrid>)
        .function("path", &gridPath)
        .function("isGlobal", &GeoidGrid::isGlobal)
        .function("north", &GeoidGrid::north)
        .function("west", &GeoidGrid::west)
        .function("latitudeSpacing", &GeoidGrid::latitudeSpacing)
        .function("longitudeSpacing", &GeoidGrid::longitudeSpacing)
        .function("rows", &GeoidGrid::rows)
        .function("columns", &GeoidGrid::columns);

    class_<Egm96Model>("Egm96Model")
        .class_function("load", &loadEgm96)
        .function("height", &geoidHeight<Egm96Model>);

    function("fitHelmert2D", &fitHelmert2DJs);
    function("fitHeightPlane", &fitHeightPlaneJs);
    function("fitHelmert7", &fitHelmert7Js);
    function("fitMolodenskyBadekas", &fitMolodenskyBadekasJs);
}
