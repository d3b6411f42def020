// tervala transform: a whole request in one pass over a file. Latitude,
// longitude and height on a source ellipsoid go to geocentric coordinates,
// through a seven-parameter (Bursa-Wolf or Molodensky-Badekas) similarity or
// the abridged Molodensky shift, onto a target ellipsoid (after an NTv2 grid
// shift, or with the grid shift alone), optionally onward
// to a Transverse Mercator or UTM grid and with an orthometric height from a
// geoid referred to the target ellipsoid.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include <fmt/format.h>

#include <tervala/Datum.hpp>
#include <tervala/Ellipsoid.hpp>
#include <tervala/GridShift.hpp>
#include <tervala/Projection.hpp>
#include <tervala/Propagation.hpp>

#include "Commands.h"
#include "GeoidSource.h"
#include "Params.h"
#include "Text.h"
#include "Zones.h"

namespace tervala {
namespace cli {
namespace {

struct TransformOptions {
    std::string model;
    std::string source, target;
    SevenParameterOptions seven;
    std::string shift;  // abridged Molodensky dX,dY,dZ
    std::string projection;
    double lat0 = 0, lon0 = std::nan(""), falseNorthing = 0, falseEasting = 0, scale = 1;
    int zone = 0;
    bool south = false, north = false;
    std::string method;  // --method kruger|legacy ("" when not given: kruger)
    std::string geoid;
    std::string geoidEllipsoid;  // --geoid-ellipsoid: the ellipsoid a grid's N refers to
    std::string gridShift;  // --grid-shift: an NTv2 file applied first
    bool propagate = false;  // --propagate: append the standard deviations
};

TmMethod methodOf(const TransformOptions& o) { return o.method == "legacy" ? TmMethod::Legacy : TmMethod::Kruger; }

bool ellipsoidOption(const std::string& option, const std::string& text, std::unique_ptr<Ellipsoid>& out)
{
    NamedEllipsoid e{"", 0, 0};
    std::string error;
    if (!resolveEllipsoid(text, e, error)) {
        report("transform", option + ": " + error);
        return false;
    }
    out = std::make_unique<Ellipsoid>(e.a, e.inverseFlattening);
    return true;
}

// Everything a line goes through, built once from the options.
struct Road {
    std::unique_ptr<Ellipsoid> source, target;
    std::unique_ptr<Helmert7> helmert;
    std::unique_ptr<MolodenskyBadekas> badekas;
    std::unique_ptr<AbridgedMolodensky> abridged;
    std::unique_ptr<GridShift> grid;  // before the datum step, or instead of it
    std::unique_ptr<TransverseMercator> tm;
    bool utm = false;
    GeoidSource geoid;
    bool withGeoid = false;
    bool propagate = false;
    std::array<std::array<double, 7>, 7> covariance{};  // of the seven parameters, for --propagate
};

// A geoid's N is the height of the geoid above one ellipsoid: EGM96's above
// WGS 84, a grid's above the ellipsoid its maker used (GRS80 or WGS 84 for
// every published global and national grid this tool reads, unless
// --geoid-ellipsoid says otherwise). H = h - N is meaningful only for h on
// that ellipsoid; on another one (Bessel, say) it is hundreds of metres off.
// GRS80 and WGS 84 differ by 0.1 mm in the semi-minor axis and stand for
// each other. False after reporting when the target is another ellipsoid.
bool geoidFitsTarget(const TransformOptions& o, const Ellipsoid& target)
{
    const auto close = [](double a1, double rf1, double a2, double rf2) {
        return std::fabs(a1 - a2) <= 1e-3 && std::fabs(rf1 - rf2) <= 1e-5;
    };
    const auto isGrs80OrWgs84 = [&](double a, double rf) {
        return close(a, rf, 6378137.0, 298.257222101) || close(a, rf, 6378137.0, 298.257223563);
    };
    const std::string targetText = "--target-ellipsoid " + o.target;
    if (o.geoid == "egm96" || o.geoidEllipsoid.empty()) {
        if (o.geoid == "egm96" && !o.geoidEllipsoid.empty()) {
            NamedEllipsoid stated{"", 0, 0};
            std::string error;
            if (!resolveEllipsoid(o.geoidEllipsoid, stated, error) ||
                !isGrs80OrWgs84(stated.a, stated.inverseFlattening)) {
                report("transform", "--geoid-ellipsoid " + o.geoidEllipsoid +
                                        ": EGM96 refers to WGS84; the option is for grids made on another ellipsoid");
                return false;
            }
        }
        if (isGrs80OrWgs84(target.a(), target.inverseFlattening()))
            return true;
        report("transform", "--geoid " + o.geoid + " gives N above " +
                                (o.geoid == "egm96" ? std::string("WGS84") : std::string("GRS80/WGS84")) + ", but " +
                                targetText + " is another ellipsoid: H = h - N would mix the two (hundreds of "
                                "metres off). Transform to GRS80 or WGS84" +
                                (o.geoid == "egm96" ? std::string()
                                                    : std::string(", or say with --geoid-ellipsoid which ellipsoid "
                                                                  "the grid refers to")));
        return false;
    }
    NamedEllipsoid stated{"", 0, 0};
    std::string error;
    if (!resolveEllipsoid(o.geoidEllipsoid, stated, error)) {
        report("transform", "--geoid-ellipsoid: " + error);
        return false;
    }
    if (close(stated.a, stated.inverseFlattening, target.a(), target.inverseFlattening()) ||
        (isGrs80OrWgs84(stated.a, stated.inverseFlattening) && isGrs80OrWgs84(target.a(), target.inverseFlattening())))
        return true;
    report("transform", "--geoid-ellipsoid " + o.geoidEllipsoid + " (the grid's) differs from " + targetText +
                            ": H = h - N needs h on the grid's ellipsoid");
    return false;
}

// Builds the road from the options; false after reporting (exit 2).
bool buildRoad(const TransformOptions& o, Road& road)
{
    if (o.model.empty() && o.gridShift.empty()) {
        report("transform", "--model or --grid-shift (or both) is required");
        return false;
    }
    if (o.target.empty() || (!o.model.empty() && o.source.empty())) {
        report("transform", o.target.empty() ? "--target-ellipsoid is required"
                                             : "--source-ellipsoid is required with --model");
        return false;
    }
    if (!ellipsoidOption("--target-ellipsoid", o.target, road.target))
        return false;
    std::string error;
    if (o.model.empty()) {
        // The grid shift alone: latitude and longitude stay on one ellipsoid.
        const SevenParameterOptions& s = o.seven;
        bool seven = !s.params.empty() || !s.convention.empty() || !s.origin.empty();
        for (const auto& named : s.named)
            seven = seven || !named.empty();
        if (!o.source.empty() || !o.shift.empty() || seven) {
            report("transform", "--source-ellipsoid, --shift and the seven parameters belong to --model; a grid "
                                "shift alone keeps the ellipsoid (--target-ellipsoid)");
            return false;
        }
    }
    if (!o.gridShift.empty() && !loadGridShift("transform", "--grid-shift", o.gridShift, road.grid))
        return false;
    if (o.model.empty()) {
        // no datum step
    } else if (!ellipsoidOption("--source-ellipsoid", o.source, road.source)) {
        return false;
    } else if (o.model == "abridged-molodensky") {
        if (o.shift.empty()) {
            report("transform", "--shift dX,dY,dZ is required with --model abridged-molodensky");
            return false;
        }
        std::vector<double> d;
        if (!parseNumberList(o.shift, 3, d, error)) {
            report("transform", "--shift: " + error);
            return false;
        }
        road.abridged = std::make_unique<AbridgedMolodensky>(*road.source, *road.target, d[0], d[1], d[2]);
    } else {
        if (!o.shift.empty()) {
            report("transform", "--shift belongs to --model abridged-molodensky; " + o.model +
                                    " takes seven parameters (--params or --tx ... --rz)");
            return false;
        }
        const bool withOrigin = o.model == "molodensky-badekas";
        const SevenParameterOptions& s = o.seven;
        if (!withOrigin && (!s.origin.empty() || !s.named[7].empty() || !s.named[8].empty() || !s.named[9].empty())) {
            report("transform", "a rotation origin (--origin, --x0 --y0 --z0) belongs to --model molodensky-badekas");
            return false;
        }
        SevenParameters p;
        std::string warning;
        if (!resolveSevenParameters(s, withOrigin, p, error, warning)) {
            report("transform", error);
            return false;
        }
        reportWarnings("transform", warning);
        if (o.propagate) {
            if (p.covariance.size() != 7) {
                report("transform", "--propagate: --params " + s.params +
                                        " holds no parameter covariance (a parameter file written by 'tervala fit' "
                                        "with --write-params carries one; a parameter list or a PROJ string does "
                                        "not)");
                return false;
            }
            for (std::size_t i = 0; i < 7; ++i)
                for (std::size_t j = 0; j < 7; ++j)
                    road.covariance[i][j] = p.covariance[i][j];
            road.propagate = true;
        }
        try {
            if (withOrigin)
                road.badekas = std::make_unique<MolodenskyBadekas>(p.molodenskyBadekas());
            else
                road.helmert = std::make_unique<Helmert7>(p.helmert());
        } catch (const std::invalid_argument& e) {
            report("transform", e.what());
            return false;
        }
    }
    if (o.propagate && !road.propagate) {
        report("transform", "--propagate carries the covariance of seven parameters: it needs --model bursa-wolf or "
                            "molodensky-badekas with a --params file written by 'tervala fit'");
        return false;
    }
    // Grid options of the other grid (or of none) would be silently unused.
    if (o.projection != "tm" && (!std::isnan(o.lon0) || o.lat0 != 0 || o.falseNorthing != 0 || o.falseEasting != 0 ||
                                 o.scale != 1)) {
        report("transform", "--lat0, --lon0, --fn, --fe and --scale belong to --projection tm");
        return false;
    }
    if (o.projection != "utm" && (o.zone != 0 || o.south || o.north)) {
        report("transform", "--zone, --south and --north belong to --projection utm");
        return false;
    }
    if (o.projection.empty() && !o.method.empty()) {
        report("transform", "--method belongs to --projection tm or utm");
        return false;
    }
    if (o.projection == "tm") {
        if (std::isnan(o.lon0)) {
            report("transform", "--lon0 (the central meridian) is required with --projection tm");
            return false;
        }
        try {
            road.tm = std::make_unique<TransverseMercator>(*road.target, o.lat0, o.lon0, o.falseNorthing,
                                                           o.falseEasting, o.scale, methodOf(o));
        } catch (const std::invalid_argument& e) {
            report("transform", e.what());
            return false;
        }
    }
    road.utm = o.projection == "utm";
    if (!o.geoid.empty()) {
        if (!geoidFitsTarget(o, *road.target))
            return false;
        road.withGeoid = true;
        const bool loaded = o.geoid == "egm96" ? road.geoid.loadEgm96(CTervala::GetDataFolder(), error)
                                               : road.geoid.loadGrid(o.geoid, "--geoid", error);
        if (!loaded) {
            report("transform", "--geoid: " + error);
            return false;
        }
        report("transform", "N from " + road.geoid.description());
    } else if (!o.geoidEllipsoid.empty()) {
        report("transform", "--geoid-ellipsoid belongs to --geoid");
        return false;
    }
    return true;
}

// The derivatives of a projection's (northing, easting) with respect to a
// move of the point by one metre north and one metre east at its height,
// by central differences over +-1 m: the projection's curvature makes the
// truncation error of relative order (1 m / 6400 km)^2, far below the
// precision of any propagated figure. Rows northing, easting; columns
// north, east.
template <typename Project>
std::array<std::array<double, 2>, 2> gridJacobian(const Project& project, const Ellipsoid& e, const Geodetic& p)
{
    constexpr double kDegree = 180.0 / 3.14159265358979323846;
    const double f = e.inverseFlattening() == 0 ? 0.0 : 1.0 / e.inverseFlattening();
    const double e2 = f * (2.0 - f);
    const double sp = std::sin(p.latitude / kDegree), cp = std::cos(p.latitude / kDegree);
    const double w = std::sqrt(1.0 - e2 * sp * sp);
    const double meridian = e.a() * (1.0 - e2) / (w * w * w) + p.height;  // M + h
    const double normal = (e.a() / w + p.height) * cp;                    // (N + h) cos(latitude)
    const double dLat = kDegree / meridian, dLon = kDegree / normal;     // degrees per metre
    const Projected n1 = project(p.latitude + dLat, p.longitude), n0 = project(p.latitude - dLat, p.longitude);
    const Projected e1 = project(p.latitude, p.longitude + dLon), e0 = project(p.latitude, p.longitude - dLon);
    return {{{0.5 * (n1.northing - n0.northing), 0.5 * (e1.northing - e0.northing)},
             {0.5 * (n1.easting - n0.easting), 0.5 * (e1.easting - e0.easting)}}};
}

// Standard deviations of (northing, easting, height) from the local
// covariance and the projection's Jacobian G: G C_ne G'.
std::vector<double> gridSigmas(const std::array<std::array<double, 2>, 2>& G, const LocalPrecision& local)
{
    const auto& c = local.covariance;
    double out[2];
    for (int i = 0; i < 2; ++i) {
        const double a = G[i][0], b = G[i][1];
        const double v = a * a * c[0][0] + 2.0 * a * b * c[0][1] + b * b * c[1][1];
        out[i] = std::isnan(v) ? v : std::sqrt(std::max(0.0, v));
    }
    return {out[0], out[1], local.sigmaUp};
}

// One point along the road.
LineResult transformLine(const Road& road, const TransformOptions& o, const Context& ctx, const Formatter& fmt,
                         const std::vector<std::string>& f)
{
    LineResult r;
    double lat, lon, h;
    if (!parsePosition(f, true, lat, lon, h, r.error))
        return r;
    Geodetic p{lat, lon, h};
    LocalPrecision local{};
    // Standard deviations of the output coordinates, in their order.
    std::vector<double> sigmas;
    if (road.grid && !shiftPoint(*road.grid, false, p, r.error))
        return r;
    if (!road.source) {
        // the grid shift alone
    } else if (road.abridged) {
        p = road.abridged->forward(p);
    } else {
        const Geocentric x = road.source->toGeocentric(p);
        p = road.target->toGeodetic(road.helmert ? road.helmert->forward(x) : road.badekas->forward(x));
        if (road.propagate)
            local = localPrecision((road.helmert ? propagate(*road.helmert, road.covariance, x)
                                                 : propagate(*road.badekas, road.covariance, x))
                                       .covariance,
                                   p.latitude, p.longitude);
    }
    if (std::isnan(p.latitude)) {
        // Only the abridged formulas have no value (their longitude shift at
        // a pole); the rest is finite for any parsed point.
        r.error = "the abridged Molodensky shift is undefined at a pole (latitude 90 or -90)";
        return r;
    }
    if (road.tm) {
        const Projected g = road.tm->forward(p.latitude, p.longitude);
        if (std::isnan(g.easting)) {
            r.error = fmt::format("the transformed longitude {:.9f} is more than {} degrees from the central "
                                  "meridian {}, where the series is reliable",
                                  p.longitude, road.tm->maxOffset(), road.tm->centralMeridian());
            return r;
        }
        r.fields = {fmt.length(g.northing), fmt.length(g.easting), fmt.length(p.height)};
        if (road.propagate)
            sigmas = gridSigmas(gridJacobian([&](double la, double lo) { return road.tm->forward(la, lo); },
                                             *road.target, p),
                                local);
        if (ctx.io.eastingFirst) {
            std::swap(r.fields[0], r.fields[1]);
            if (road.propagate)
                std::swap(sigmas[0], sigmas[1]);
        }
    } else if (road.utm) {
        const bool south = o.south || (!o.north && p.latitude < 0);
        const Utm utm = o.zone != 0 ? Utm(o.zone, south, *road.target, methodOf(o))
                                    : Utm::forLongitude(p.longitude, south, *road.target, methodOf(o));
        const Projected g = utm.forward(p.latitude, p.longitude);
        if (std::isnan(g.easting)) {
            r.error = !(p.latitude >= -80 && p.latitude <= 84)
                          ? fmt::format("the transformed latitude {:.9f} is outside the UTM band, 80S to 84N", p.latitude)
                          : fmt::format("the transformed longitude {:.9f} is more than {} degrees from the central "
                                        "meridian {} of zone {}",
                                        p.longitude, utm.maxOffset(), utm.centralMeridian(), utm.zone());
            return r;
        }
        r.fields = {zoneLabel(utm.zone(), south, p.latitude), fmt.length(g.northing), fmt.length(g.easting),
                    fmt.length(p.height)};
        if (road.propagate)
            sigmas = gridSigmas(gridJacobian([&](double la, double lo) { return utm.forward(la, lo); }, *road.target,
                                             p),
                                local);
        if (ctx.io.eastingFirst) {
            std::swap(r.fields[1], r.fields[2]);
            if (road.propagate)
                std::swap(sigmas[0], sigmas[1]);
        }
    } else {
        r.fields = {fmt.angle(p.latitude), fmt.angle(p.longitude), fmt.length(p.height)};
        if (road.propagate)
            sigmas = {local.sigmaNorth, local.sigmaEast, local.sigmaUp};
    }
    if (road.withGeoid) {
        double n;
        if (!road.geoid.undulation(p.latitude, p.longitude, n, r.error)) {
            r.fields.clear();
            return r;
        }
        r.fields.push_back(fmt.length(n));
        r.fields.push_back(fmt.length(p.height - n));
        // N is taken as exact: H = h - N is as precise as h.
        if (road.propagate)
            sigmas.push_back(local.sigmaUp);
    }
    for (double sigma : sigmas) {
        if (std::isnan(sigma)) {
            // Only a point within a metre of the grid's limit gets here: the
            // projection's derivatives need its neighbours too.
            r.fields.clear();
            r.error = "--propagate: the projection's derivatives are undefined this close to the limit of its domain";
            return r;
        }
        r.fields.push_back(fmt.length(sigma));
    }
    return r;
}

} // namespace

void addTransformCommand(CLI::App& app, Context& ctx, Registry& registry)
{
    auto o = std::make_shared<TransformOptions>();
    CLI::App* sub = app.add_subcommand(
        "transform",
        "Latitude longitude [height] on a source ellipsoid -> geocentric -> Bursa-Wolf, Molodensky-Badekas or "
        "abridged Molodensky -> the target ellipsoid, optionally onward to TM or UTM, with an orthometric height "
        "from a geoid: one pass over the file");
    sub->add_option("--model", o->model,
                    "bursa-wolf, molodensky-badekas or abridged-molodensky (may be left out with --grid-shift)")
        ->check(CLI::IsMember({"bursa-wolf", "molodensky-badekas", "abridged-molodensky"}));
    sub->add_option("--grid-shift", o->gridShift,
                    "An NTv2 grid (.gsb) applied to the input latitude and longitude first, before --model or "
                    "instead of it; points outside the grid are refused");
    sub->add_option("--source-ellipsoid", o->source,
                    "Ellipsoid of the input coordinates (a name or a,1/f); required with --model");
    sub->add_option("--target-ellipsoid", o->target, "Ellipsoid of the output coordinates (a name or a,1/f)")
        ->required();
    addSevenParameterOptions(sub, o->seven, true);
    sub->get_option("--params")
        ->description("tx,ty,tz,s,rx,ry,rz in that order (metres, ppm, arc-seconds), or a parameter file from 'fit "
                      "bursa-wolf' or 'fit molodensky-badekas' (as --model), or a file holding a PROJ helmert or "
                      "molobadekas string");
    sub->add_option("--shift", o->shift,
                    "abridged-molodensky: geocentric shift dX,dY,dZ (metres); da and df come from the ellipsoids");
    sub->add_option("--projection", o->projection, "Continue onto a grid: tm or utm (default: none, geodetic out)")
        ->check(CLI::IsMember({"tm", "utm"}));
    const std::string tmGroup = "Transverse Mercator grid (--projection tm)";
    sub->add_option("--lat0", o->lat0, "Latitude of origin, degrees (default 0)")->check(finiteNumber())->group(tmGroup);
    sub->add_option("--lon0", o->lon0, "Central meridian, degrees (required)")->check(finiteNumber())->group(tmGroup);
    sub->add_option("--false-northing,--fn", o->falseNorthing, "False northing, metres (default 0)")
        ->check(finiteNumber())
        ->group(tmGroup);
    sub->add_option("--false-easting,--fe", o->falseEasting, "False easting, metres (default 0)")
        ->check(finiteNumber())
        ->group(tmGroup);
    sub->add_option("--scale,-k", o->scale, "Central scale factor (default 1)")->check(positiveNumber())->group(tmGroup);
    const std::string utmGroup = "UTM grid (--projection utm)";
    sub->add_option("--zone,-z", o->zone, "UTM zone 1..60 (default: from each transformed longitude)")
        ->check(CLI::Range(1, 60))
        ->group(utmGroup);
    auto* south = sub->add_flag("--south", o->south, "Southern false northing for every point")->group(utmGroup);
    sub->add_flag("--north", o->north, "Northern false northing for every point")->excludes(south)->group(utmGroup);
    sub->add_option("--method", o->method,
                    "Series of the grid: kruger (Krueger's series to n^8, nanometres within 3900 km of the central "
                    "meridian; the default) or legacy (the CTervala members' series, bit for bit)")
        ->check(CLI::IsMember({"kruger", "legacy"}));
    sub->add_option_function<std::string>(
           "--order", [&ctx](const std::string& order) { ctx.io.eastingFirst = order == "en"; },
           "Grid output as northing easting (ne, the default) or easting northing (en)")
        ->check(CLI::IsMember({"ne", "en"}));
    sub->add_option("--geoid", o->geoid,
                    "Add the undulation N and the orthometric height H = h - N on the target ellipsoid: 'egm96' "
                    "(EGM96.dat and CORRCOEF.dat in the data folder) or the path of a geoid grid file. The target "
                    "ellipsoid must be the geoid's: GRS80 or WGS84 (refused otherwise)");
    sub->add_option("--geoid-ellipsoid", o->geoidEllipsoid,
                    "The ellipsoid a --geoid grid's N refers to when it is not GRS80 or WGS84 (a name or a,1/f); "
                    "the target ellipsoid must be it");
    sub->add_flag("--propagate", o->propagate,
                  "Append the standard deviations (metres) of the output coordinates in output order, propagated "
                  "from the parameter covariance of a --params file written by 'tervala fit': north, east, up "
                  "for latitude, longitude, height; northing, easting, height on a grid (through the projection); "
                  "with --geoid then H's (N taken as exact). Needs --model bursa-wolf or molodensky-badekas");
    addCommonOptions(sub, ctx, false);
    registry.add(sub, [&ctx, o] {
        Road road;
        if (!buildRoad(*o, road))
            return 2;
        const Formatter fmt = ctx.format();
        return runLines("transform", ctx.io, FieldLayout{2, 3, FirstField::Latitude},
                        [&](const std::vector<std::string>& f) { return transformLine(road, *o, ctx, fmt, f); });
    });
}

} // namespace cli
} // namespace tervala
