// Prints what the native library computes for the cases of
// web/package/test/cases.json: the reference the npm package's tests compare
// the WebAssembly numbers with. Each case gives one flat list of doubles, in
// the order web/package/test/layout.js reads the package's results; doubles
// are printed with 17 significant digits (they read back exactly), NaN as
// "nan". Refusals give the exception's message.
//   web_reference CASES.json > reference.json
//   web_reference --speed N     nanoseconds per point of four operations on N
//                               points (the inputs web/bench/speed-core.js uses)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tervala/Datum.hpp"
#include "tervala/Ellipsoid.hpp"
#include "tervala/Fit.hpp"
#include "tervala/Geoid.hpp"
#include "tervala/Projection.hpp"

using json = nlohmann::json;
using namespace tervala;

namespace {

std::string text(double v)
{
    if (std::isnan(v))
        return "nan";
    if (std::isinf(v))
        return v > 0 ? "inf" : "-inf";
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return buffer;
}

struct Out {
    std::vector<std::string> values;
    void add(double v) { values.push_back(text(v)); }
};

Ellipsoid ellipsoidOf(const json& j)
{
    if (j.is_string())
        return Ellipsoid(j.get<std::string>());
    return Ellipsoid(j[0].get<double>(), j[1].get<double>());
}

Convention conventionOf(const json& j)
{
    return j.get<std::string>() == "position_vector" ? Convention::PositionVector : Convention::CoordinateFrame;
}

FitSettings settingsOf(const json& c)
{
    FitSettings s;
    if (c.contains("sigma"))
        s.sigma = c["sigma"].get<std::vector<double>>();
    if (c.contains("sourceSigma"))
        s.sourceSigma = c["sourceSigma"].get<std::vector<double>>();
    s.alpha = c.value("alpha", 0.05);
    s.alpha0 = c.value("alpha0", 0.001);
    if (c.contains("fix"))
        s.fixed = c["fix"].get<std::vector<std::string>>();
    s.snoop = c.value("snoop", false);
    return s;
}

std::vector<PlaneCoordinates> plane(const json& j)
{
    std::vector<PlaneCoordinates> out;
    for (const json& p : j)
        out.push_back({p[0].get<double>(), p[1].get<double>()});
    return out;
}

std::vector<Geocentric> space(const json& j)
{
    std::vector<Geocentric> out;
    for (const json& p : j)
        out.push_back({p[0].get<double>(), p[1].get<double>(), p[2].get<double>()});
    return out;
}

// The parts every fit result shares, in the order layout.js reads them.
template <class Result>
void fitCommon(Out& o, const Result& r)
{
    o.add(r.summary.points);
    o.add(r.summary.redundancy);
    o.add(r.summary.degenerate ? 1 : 0);
    o.add(r.summary.sigma);
    for (const auto& row : r.covariance)
        for (double v : row)
            o.add(v);
    for (double v : r.standardDeviations)
        o.add(v);
    if (!r.statistics)
        return;
    const FitStatistics& s = *r.statistics;
    for (const FitParameter& p : s.parameters) {
        o.add(p.value);
        o.add(p.sigma);
    }
    o.add(s.sigma0);
    if (s.globalTest) {
        o.add(s.globalTest->statistic);
        o.add(s.globalTest->lower);
        o.add(s.globalTest->upper);
        o.add(s.globalTest->passed ? 1 : 0);
    }
    for (const FitObservation& b : s.observations) {
        o.add(b.point);
        o.add(b.coordinate);
        o.add(b.residual);
        o.add(b.redundancyNumber);
        o.add(b.w);
        o.add(b.mdb);
        o.add(b.rejected ? 1 : 0);
    }
    for (const FitRemovedPoint& p : s.removed) {
        o.add(p.point);
        o.add(p.w);
    }
}

std::string errorOf(const json& c)
{
    const std::string call = c["call"].get<std::string>();
    const json& a = c["args"];
    try {
        if (call == "ellipsoid")
            Ellipsoid(a[0].get<std::string>());
        else if (call == "ellipsoidConstants")
            Ellipsoid(a[0].get<double>(), a[1].get<double>());
        else if (call == "tm")
            TransverseMercator(Ellipsoid(a[0].get<std::string>()), a[1].get<double>(), a[2].get<double>(),
                               a[3].get<double>(), a[4].get<double>(), a[5].get<double>());
        else if (call == "utm")
            Utm(a[0].get<int>());
        else if (call == "helmert7")
            Helmert7(a[0].get<double>(), a[1].get<double>(), a[2].get<double>(), a[3].get<double>(),
                     a[4].get<double>(), a[5].get<double>(), a[6].get<double>(), Convention::PositionVector);
        else if (call == "fitHelmert2D") {
            FitSettings s;
            if (a.size() > 2)
                s.sigma = a[2].get<std::vector<double>>();
            fitHelmert2D(plane(a[0]), plane(a[1]), s);
        } else
            return "unknown call " + call;
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

// The points and the operations of web/bench/speed-core.js, timed the same
// way: one warm-up pass, then the best of 25 over all points, in
// nanoseconds per point.
int speed(int n)
{
    std::vector<double> lat(n), lon(n), x(n), y(n), z(n), e(n), no(n);
    for (int k = 0; k < n; ++k) {
        lat[k] = 35.0 + 3.0 * k / n;
        lon[k] = 126.0 + 2.0 * ((k * 7919LL) % n) / n;
        x[k] = 2884000.0 + 1000.0 * (k % 97);
        y[k] = 1342000.0 + 1000.0 * (k % 89);
        z[k] = 5510000.0 + 1000.0 * (k % 83);
        e[k] = 300000.0 + 400000.0 * k / n;
        no[k] = 3900000.0 + 300000.0 * ((k * 7919LL) % n) / n;
    }
    const Utm utm(52);
    const TransverseMercator tm(Ellipsoid::grs80(), 0.0, 129.0, 0.0, 500000.0, 0.9996);
    const Helmert7 h(-81.07, -89.36, -115.75, -3.21, 0.485, 0.024, 0.413, Convention::PositionVector);
    // The grid of web/bench/speed-core.js: 40 x 40 nodes, 0.25 degrees, over the points.
    const std::string path = "web_reference_speed_grid.bin";
    {
        std::ofstream f(path, std::ios::binary);
        const double header[4] = {39.0, 125.0, 0.25, 0.25};
        f.write(reinterpret_cast<const char*>(header), sizeof header);
        const int size[2] = {40, 40};
        f.write(reinterpret_cast<const char*>(size), sizeof size);
        for (int i = 0; i < 40; ++i)
            for (int j = 0; j < 40; ++j) {
                const float v = static_cast<float>(20.0 + std::sin(0.3 * i) + std::cos(0.2 * j));
                f.write(reinterpret_cast<const char*>(&v), sizeof v);
            }
    }
    const GeoidGrid grid(path);
    std::remove(path.c_str());
    volatile double sink = 0;
    auto time = [&](auto body) {
        double best = 1e300;
        for (int pass = -1; pass < 25; ++pass) {
            const auto t0 = std::chrono::steady_clock::now();
            double acc = 0;
            for (int k = 0; k < n; ++k)
                acc += body(k);
            const auto t1 = std::chrono::steady_clock::now();
            sink = sink + acc;
            if (pass >= 0)  // pass -1 warms up
                best = std::min(best, std::chrono::duration<double, std::nano>(t1 - t0).count() / n);
        }
        return best;
    };
    json out;
    out["utmForward"] = time([&](int k) { return utm.forward(lat[k], lon[k]).easting; });
    out["tmInverse"] = time([&](int k) { return tm.inverse(e[k], no[k]).latitude; });
    out["helmert7Forward"] = time([&](int k) { return h.forward({x[k], y[k], z[k]}).x; });
    out["gridHeight"] = time([&](int k) { return grid.height(lat[k], lon[k]); });
    std::cout << out.dump() << "\n";
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--speed")
        return speed(std::max(1, std::atoi(argv[2])));
    if (argc != 2) {
        std::cerr << "usage: web_reference CASES.json\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << "web_reference: cannot read " << argv[1] << "\n";
        return 1;
    }
    const json cases = json::parse(in);
    json out = json::object();
    auto each = [&](const char* section, auto compute) {
        json list = json::array();
        for (const json& c : cases[section]) {
            Out o;
            compute(o, c);
            list.push_back(o.values);
        }
        out[section] = list;
    };
    each("geocentric", [](Out& o, const json& c) {
        const Ellipsoid e = ellipsoidOf(c["ellipsoid"]);
        for (const json& p : c["points"]) {
            const Geocentric g = e.toGeocentric({p[0].get<double>(), p[1].get<double>(), p[2].get<double>()});
            const Geodetic b = e.toGeodetic(g);
            for (double v : {g.x, g.y, g.z, b.latitude, b.longitude, b.height})
                o.add(v);
        }
    });
    each("tm", [](Out& o, const json& c) {
        const TransverseMercator tm(ellipsoidOf(c["ellipsoid"]), c["latitudeOfOrigin"].get<double>(),
                                    c["centralMeridian"].get<double>(), c["falseNorthing"].get<double>(),
                                    c["falseEasting"].get<double>(), c["scaleFactor"].get<double>());
        o.add(tm.maxOffset());
        for (const json& p : c["points"]) {
            const ProjectedWithScale f = tm.forwardWithScale(p[0].get<double>(), p[1].get<double>());
            const GeographicWithScale b = tm.inverseWithScale(f.easting, f.northing);
            for (double v : {f.easting, f.northing, f.convergence, f.scale, b.latitude, b.longitude, b.convergence,
                             b.scale})
                o.add(v);
        }
    });
    each("utm", [](Out& o, const json& c) {
        const Utm utm(c["zone"].get<int>(), c["south"].get<bool>(), ellipsoidOf(c["ellipsoid"]));
        for (const json& p : c["points"]) {
            const Projected f = utm.forward(p[0].get<double>(), p[1].get<double>());
            const Geographic b = utm.inverse(f.easting, f.northing);
            for (double v : {f.easting, f.northing, b.latitude, b.longitude})
                o.add(v);
        }
    });
    each("helmert7", [](Out& o, const json& c) {
        const Helmert7 h(c["tx"].get<double>(), c["ty"].get<double>(), c["tz"].get<double>(), c["s"].get<double>(),
                         c["rx"].get<double>(), c["ry"].get<double>(), c["rz"].get<double>(),
                         conventionOf(c["convention"]));
        for (const Geocentric& p : space(c["points"])) {
            const Geocentric f = h.forward(p);
            const Geocentric b = h.inverse(f);
            for (double v : {f.x, f.y, f.z, b.x, b.y, b.z})
                o.add(v);
        }
    });
    each("molodenskyBadekas", [](Out& o, const json& c) {
        const json& g = c["origin"];
        const MolodenskyBadekas m(c["tx"].get<double>(), c["ty"].get<double>(), c["tz"].get<double>(),
                                  c["s"].get<double>(), c["rx"].get<double>(), c["ry"].get<double>(),
                                  c["rz"].get<double>(), conventionOf(c["convention"]),
                                  {g[0].get<double>(), g[1].get<double>(), g[2].get<double>()});
        for (const Geocentric& p : space(c["points"])) {
            const Geocentric f = m.forward(p);
            const Geocentric b = m.inverse(f);
            for (double v : {f.x, f.y, f.z, b.x, b.y, b.z})
                o.add(v);
        }
    });
    each("abridged", [](Out& o, const json& c) {
        const AbridgedMolodensky m(ellipsoidOf(c["source"]), ellipsoidOf(c["target"]), c["dx"].get<double>(),
                                   c["dy"].get<double>(), c["dz"].get<double>());
        for (const json& p : c["points"]) {
            const Geodetic f = m.forward({p[0].get<double>(), p[1].get<double>(), p[2].get<double>()});
            for (double v : {f.latitude, f.longitude, f.height})
                o.add(v);
        }
    });
    each("helmert2d", [](Out& o, const json& c) {
        const Helmert2D h(c["t1"].get<double>(), c["t2"].get<double>(), c["scale"].get<double>(),
                          c["rotation"].get<double>(), {c["origin"][0].get<double>(), c["origin"][1].get<double>()});
        for (const PlaneCoordinates& p : plane(c["points"])) {
            const PlaneCoordinates f = h.forward(p);
            const PlaneCoordinates b = h.inverse(f);
            for (double v : {f.first, f.second, b.first, b.second})
                o.add(v);
        }
    });
    each("heightPlane", [](Out& o, const json& c) {
        const HeightPlane h(c["slope1"].get<double>(), c["slope2"].get<double>(), c["shift"].get<double>(),
                            {c["origin"][0].get<double>(), c["origin"][1].get<double>()});
        for (const json& p : c["points"]) {
            const PlaneCoordinates at{p[0].get<double>(), p[1].get<double>()};
            const double f = h.forward(at, p[2].get<double>());
            o.add(f);
            o.add(h.inverse(at, f));
        }
    });
    each("fitHelmert2D", [](Out& o, const json& c) {
        const auto r = fitHelmert2D(plane(c["source"]), plane(c["target"]), settingsOf(c));
        fitCommon(o, r);
        for (const PlaneCoordinates& v : r.residuals) {
            o.add(v.first);
            o.add(v.second);
        }
    });
    each("fitHeightPlane", [](Out& o, const json& c) {
        const auto p = plane(c["positions"]);
        const auto s = c["sourceHeights"].get<std::vector<double>>();
        const auto t = c["targetHeights"].get<std::vector<double>>();
        const auto r = c.contains("origin")
                           ? fitHeightPlane(p, s, t, {c["origin"][0].get<double>(), c["origin"][1].get<double>()},
                                            settingsOf(c))
                           : fitHeightPlane(p, s, t, settingsOf(c));
        fitCommon(o, r);
        for (double v : r.residuals)
            o.add(v);
    });
    each("fitHelmert7", [](Out& o, const json& c) {
        const auto r = fitHelmert7(space(c["source"]), space(c["target"]), conventionOf(c["convention"]),
                                   settingsOf(c));
        fitCommon(o, r);
        for (const Geocentric& v : r.residuals)
            for (double x : {v.x, v.y, v.z})
                o.add(x);
    });
    each("fitMolodenskyBadekas", [](Out& o, const json& c) {
        const auto r = fitMolodenskyBadekas(space(c["source"]), space(c["target"]), conventionOf(c["convention"]),
                                            settingsOf(c));
        fitCommon(o, r);
        for (const Geocentric& v : r.residuals)
            for (double x : {v.x, v.y, v.z})
                o.add(x);
    });
    each("geoidGrid", [&](Out& o, const json& c) {
        // The grid file as the loader reads it: little-endian doubles north,
        // west, dlat, dlon, int32 rows and columns, float32 rows north to
        // south (this program runs on little-endian hosts only).
        const std::string path = std::string(argv[1]) + ".grid.bin";
        {
            std::ofstream f(path, std::ios::binary);
            for (const char* k : {"north", "west", "dlat", "dlon"}) {
                const double v = c[k].get<double>();
                f.write(reinterpret_cast<const char*>(&v), sizeof v);
            }
            for (const char* k : {"rows", "cols"}) {
                const int v = c[k].get<int>();
                f.write(reinterpret_cast<const char*>(&v), sizeof v);
            }
            for (const json& v : c["values"]) {
                const float x = static_cast<float>(v.get<double>());
                f.write(reinterpret_cast<const char*>(&x), sizeof x);
            }
        }
        const GeoidGrid grid(path);
        std::remove(path.c_str());
        for (const json& p : c["points"])
            o.add(grid.height(p[0].get<double>(), p[1].get<double>()));
    });
    json errors = json::array();
    for (const json& c : cases["errors"])
        errors.push_back(errorOf(c));
    out["errors"] = errors;
    std::cout << out.dump(1) << "\n";
    return 0;
}
