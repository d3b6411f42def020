// Coordinate conversions: geodetic <-> geocentric, Transverse Mercator and
// UTM, both directions.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include <fmt/format.h>

#include "Commands.h"
#include "Text.h"
#include "Zones.h"
#include "core/Ellipsoid.h"
#include "core/Angles.h"
#include "modern/ProjString.h"
#include "projection/Domain.h"
#include "projection/TransverseMercator.h"
#include "tervala/Projection.hpp"

namespace tervala {
namespace cli {
namespace {

// Parses `count` plain numbers named in `names`, the last `optional` of which
// may be missing (then 0).
bool parseNumbers(const std::vector<std::string>& f, const std::vector<const char*>& names, std::size_t optional,
                  std::vector<double>& v, std::string& error)
{
    const std::size_t most = names.size(), least = names.size() - optional;
    if (f.size() < least || f.size() > most) {
        std::string expected;
        for (std::size_t i = 0; i < names.size(); ++i)
            expected += std::string(i ? " " : "") + (i >= least ? "[" : "") + names[i] + (i >= least ? "]" : "");
        error = "expected " + (least == most ? std::to_string(most) : std::to_string(least) + " to " + std::to_string(most)) +
                " fields (" + expected + "), got " + std::to_string(f.size());
        return false;
    }
    v.assign(most, 0.0);
    for (std::size_t i = 0; i < f.size(); ++i) {
        std::string why;
        if (!parseNumber(f[i], v[i], why)) {
            error = std::string(names[i]) + ": " + why;
            return false;
        }
    }
    return true;
}

// Standard 6-degree UTM zone of a longitude (no Norway/Svalbard exceptions).
int zoneOf(double lon)
{
    double reduced = std::fmod(lon + 180.0, 360.0);
    if (reduced < 0)
        reduced += 360.0;
    int zone = static_cast<int>(reduced / 6.0) + 1;
    return zone > 60 ? 60 : zone;
}

double centralMeridianOf(int zone) { return zone * 6.0 - 183.0; }

// The grid options of tm and tm-inverse, in the tool's units (degrees,
// metres); maxOffset is NaN until --max-offset is given.
struct TMGridOptions {
    double lat0 = 0, lon0 = std::nan(""), falseNorthing = 0, falseEasting = 0, scale = 1;
    double maxOffset = std::nan("");
    bool extra = false;  // tm --extra
    std::string method = "kruger";
    bool southOriented = false;
    std::string proj;  // --proj, in place of the grid options and --ellipsoid
};

void addMaxOffsetOption(CLI::App* sub, double& maxOffset)
{
    sub->add_option("--max-offset", maxOffset,
                    "Refuse points farther than this from the central meridian, degrees of longitude. Default with "
                    "--method kruger: 60, the range its accuracy is measured over (a few nanometres within 3900 km "
                    "of the meridian). With --method legacy: where the series departs 1 mm from an exact Transverse "
                    "Mercator, 6.18 on WGS84 and GRS80, 6.16 to 6.18 on the other named ellipsoids; an a,1/f "
                    "ellipsoid takes the measurement for the nearest tabulated 1/f at or below its own, reduced for "
                    "a larger a (none below 1/f = 150)")
        ->check(positiveNumber() & CLI::Range(0.0, 180.0));
}

// --method kruger|legacy: Krueger's series to n^8 (the default) or the
// series of the legacy members, whose doubles the tool then prints.
void addMethodOption(CLI::App* sub, std::string& method)
{
    sub->add_option("--method", method,
                    "kruger (Krueger's series to n^8: nanometres within 3900 km of the central meridian, the "
                    "default) or legacy (the series of the CTervala members, bit for bit, millimetres within about "
                    "6 degrees)")
        ->check(CLI::IsMember({"kruger", "legacy"}))
        ->capture_default_str();
}

// The value-type grids behind --method kruger, built once per command; a
// refusal (an ellipsoid the value types do not take) is reported and gives
// false.
bool krugerEllipsoid(const std::string& command, const Context& ctx, std::unique_ptr<Ellipsoid>& out)
{
    try {
        out = std::make_unique<Ellipsoid>(ctx.ellipsoid.a, ctx.ellipsoid.inverseFlattening);
        return true;
    } catch (const std::invalid_argument& e) {
        report(command, std::string("--method kruger: ") + e.what());
        return false;
    }
}

// The legacy series serve ellipsoids only: a sphere (-e R,0) is refused
// with --method legacy before any line is read.
bool legacyServes(const std::string& command, const Context& ctx, const std::string& method)
{
    if (method == "kruger" || ctx.ellipsoid.inverseFlattening != 0)
        return true;
    report(command, "--method legacy: the legacy series serve ellipsoids only, not a sphere (1/f = 0); "
                    "--method kruger does");
    return false;
}

std::string krugerReachError(double offset, double limit)
{
    return fmt::format("the point lies {:.4f} degrees from the central meridian; the series are offered "
                       "within {} (--max-offset)",
                       offset, limit);
}

// Convergence and scale of a Kruger result as two more fields.
void appendKrugerExtra(double convergence, double scale, const Formatter& fmt, LineResult& r)
{
    r.fields.push_back(fmt.angle(convergence));
    r.fields.push_back(fmt.fixed(scale, 10));
}

void addTMGridOptions(CLI::App* sub, TMGridOptions& grid)
{
    sub->add_option("--lat0", grid.lat0, "Latitude of origin, degrees")
        ->check(finiteNumber() & CLI::Range(-90.0, 90.0))
        ->capture_default_str();
    sub->add_option("--lon0", grid.lon0, "Central meridian, degrees (required unless --proj gives it)")
        ->check(finiteNumber());
    sub->add_option("--false-northing,--fn", grid.falseNorthing, "False northing, metres")
        ->check(finiteNumber())
        ->capture_default_str();
    sub->add_option("--false-easting,--fe", grid.falseEasting, "False easting, metres")
        ->check(finiteNumber())
        ->capture_default_str();
    sub->add_option("--scale,-k", grid.scale, "Scale factor on the central meridian (positive)")
        ->check(positiveNumber())
        ->capture_default_str();
    addMaxOffsetOption(sub, grid.maxOffset);
    sub->add_flag("--south-oriented", grid.southOriented,
                  "Westing and southing axes (South Orientated Transverse Mercator, as in southern Africa): the "
                  "grid fields are southing westing (--order en: westing southing), both measured from the false "
                  "origin towards west and south");
}

// --proj "+proj=tmerc ..." (or "+proj=utm ..."): the grid and the ellipsoid
// from a PROJ string, read by the library's reader, in place of the options
// that would otherwise give them (which it therefore excludes).
void addProjOption(CLI::App* sub, std::string& proj, bool utm, const std::vector<std::string>& replaced)
{
    CLI::Option* option = sub->add_option(
        "--proj", proj,
        utm ? "The zone as a PROJ string: \"+proj=utm +zone=N [+south]\" and +ellps, +datum or +a with +rf/+f/+b "
              "(default GRS80, as in PROJ); any other key is refused by name. Replaces --zone, --south, --north "
              "and --ellipsoid"
            : "The grid as a PROJ string: \"+proj=tmerc +lat_0= +lon_0= +k= +x_0= +y_0=\" (PROJ's defaults 0, 0, "
              "1, 0, 0) and +ellps, +datum or +a with +rf/+f/+b (default GRS80, as in PROJ), or a +proj=utm string; "
              "any other key is refused by name. Replaces --lat0, --lon0, --fn, --fe, -k and --ellipsoid");
    for (const std::string& name : replaced)
        option->excludes(sub->get_option(name));
}

const std::vector<std::string> kTmReplaced = {"--lat0", "--lon0", "--false-northing", "--false-easting", "--scale",
                                              "--ellipsoid"};

// The grid of tm and tm-inverse: --proj read into the grid and the
// context's ellipsoid, or the options as given. False after reporting.
bool resolveTmGrid(const std::string& command, Context& ctx, TMGridOptions& g)
{
    if (g.proj.empty()) {
        if (std::isnan(g.lon0)) {
            report(command, "--lon0 is required (or --proj with a PROJ string)");
            return false;
        }
        return true;
    }
    projstring::TmDefinition d;
    std::string error;
    if (!projstring::parseTm(g.proj, false, d, error)) {
        report(command, "--proj: " + error);
        return false;
    }
    g.lat0 = d.lat0;
    g.lon0 = d.lon0;
    g.scale = d.scale;
    g.falseEasting = d.falseEasting;
    g.falseNorthing = d.falseNorthing;
    ctx.ellipsoid = NamedEllipsoid{"from --proj", d.a, d.inverseFlattening};
    return true;
}

// The --max-offset in force: the option, or the measured default for the
// ellipsoid. False (after reporting) when the ellipsoid has no default.
bool maxOffsetFor(const std::string& command, const Context& ctx, double option, double& limit)
{
    if (!std::isnan(option)) {
        limit = option;
        return true;
    }
    limit = tmMaxOffsetDegrees(makeEllipsoid(ctx.ellipsoid.a, ctx.ellipsoid.inverseFlattening));
    if (std::isnan(limit)) {
        report(command, "--max-offset: no measured default for an ellipsoid this flat (1/f below 150); give "
                        "--max-offset DEG");
        return false;
    }
    return true;
}

// The legacy series' reach at a latitude: --max-offset when given (limit
// from maxOffsetFor), else the measured 1 mm reach at that latitude of the
// forward, or of the inverse (which drifts sooner away from the equator).
double legacyReach(const EllipsoidConstants& e, double option, double limit, double lat, bool inverse = false)
{
    if (!std::isnan(option))
        return limit;
    const double reach = inverse ? legacyInverseMaxOffsetDegrees(e, lat) : legacyMaxOffsetDegrees(e, lat);
    return std::isnan(reach) ? limit : reach;
}

// The longitude to project: `lon` when it lies within `limit` of the
// central meridian, else its equivalent in (-180, 180] around it; an error
// when even that is farther than `limit`.
bool longitudeNear(double lon, double lon0, double limit, double& out, std::string& error)
{
    const double offset = reduceLongitude(lon - lon0);
    if (!(std::fabs(offset) <= limit)) {
        error = fmt::format("longitude {} is {:.4f} degrees from the central meridian {}; the series is reliable "
                            "within {} (--max-offset)",
                            lon, std::fabs(offset), lon0, limit);
        return false;
    }
    // Keep the caller's value when no turn was removed, so that such points
    // give the member's doubles bit for bit.
    out = offset == lon - lon0 ? lon : lon0 + offset;
    return true;
}

// Checks an inverse's result: a latitude outside [-90, 90] (easting and
// northing swapped, a wrong false origin) or a longitude beyond `limit` is
// an error. `lon0` is the central meridian as the member was given it, so
// the series' offset is `lon - lon0` as it comes (see inverseWithinReach).
// The longitude is returned reduced to (-180, 180].
bool checkInverse(double lat, double& lon, double lon0, double limit, std::string& error)
{
    if (!(std::fabs(lat) <= 90)) {
        error = fmt::format("the grid coordinates give latitude {:.4f}, outside [-90, 90] (northing and easting "
                            "swapped?)",
                            lat);
        return false;
    }
    if (!inverseWithinReach(lon, lon0, limit)) {
        error = fmt::format("the point lies {:.4f} degrees from the central meridian; the series is reliable "
                            "within {} (--max-offset)",
                            std::fabs(inverseOffset(lon, lon0)), limit);
        return false;
    }
    lon = reduceLongitude(lon);
    return true;
}

// --order ne|en: grid coordinates northing first (the default) or easting
// first, as GIS files have them; on input and output alike.
void addOrderOption(CLI::App* sub, Context& ctx)
{
    sub->add_option_function<std::string>(
           "--order", [&ctx](const std::string& order) { ctx.io.eastingFirst = order == "en"; },
           "Grid coordinates as northing easting (ne, the default) or easting northing (en), in and out")
        ->check(CLI::IsMember({"ne", "en"}));
}

// The names of grid fields in the order --order gives them.
std::vector<const char*> gridNames(const Context& ctx)
{
    return ctx.io.eastingFirst ? std::vector<const char*>{"easting", "northing", "height"}
                               : std::vector<const char*>{"northing", "easting", "height"};
}

std::string utmBandError(double lat)
{
    return fmt::format("latitude {} is outside the UTM band, 80S to 84N (the polar regions use UPS)", lat);
}

// --extra: the meridian convergence and point scale after the grid
// coordinates (and height), before the copied fields.
void addExtraFlag(CLI::App* sub, bool& extra)
{
    sub->add_flag("--extra", extra,
                  "Also print the meridian convergence (degrees, from grid north to true north, positive east of "
                  "the central meridian in the north) and the point scale factor after the height");
}

// Appends convergence and scale at lat (degrees) and lon - lon0 = offset
// (degrees, already reduced) on a grid of central scale k0; false at a pole,
// where the scale is not finite.
bool appendExtra(const EllipsoidConstants& e, double k0, double lat, double offset, const Formatter& fmt,
                 LineResult& r)
{
    const ConvergenceScale g = tmConvergenceScale(e, k0, angles::toRadians(lat), angles::toRadians(offset));
    if (!std::isfinite(g.convergence) || !std::isfinite(g.scale)) {
        r.fields.clear();
        r.error = "no meridian convergence or point scale at a pole (--extra)";
        return false;
    }
    r.fields.push_back(fmt.angle(g.convergence));
    r.fields.push_back(fmt.fixed(g.scale, 10));
    return true;
}

// What a UTM request asks that is valid but probably not meant: a --zone
// more than one zone from the point's own (the grid is then far from its
// central meridian, with a scale error growing fast), or --south for a point
// north of the equator. Empty when neither.
std::string utmRequestWarning(double lat, double lon, int requestedZone, bool southRequested)
{
    std::string warning;
    if (requestedZone != 0) {
        const int own = zoneOf(lon);
        int apart = std::abs(requestedZone - own);
        apart = std::min(apart, 60 - apart);
        if (apart > 1)
            warning = "--zone " + std::to_string(requestedZone) + " is " + std::to_string(apart) +
                      " zones from the point's own zone " + std::to_string(own) + " (longitude " +
                      fmt::format("{:.6f}", lon) + ")";
    }
    if (southRequested && lat > 0)
        warning += std::string(warning.empty() ? "" : "; ") + "--south on a point north of the equator (latitude " +
                   fmt::format("{:.6f}", lat) + "): its northing carries the southern false northing";
    return warning;
}

} // namespace

void addConvertCommands(CLI::App& app, Context& ctx, Registry& registry)
{
    CLI::App* geocentric = app.add_subcommand(
        "geocentric", "Geodetic latitude longitude [height] -> geocentric X Y Z (metres)");
    addCommonOptions(geocentric, ctx);
    registry.add(geocentric, [&ctx] {
        CTervala t = ctx.object();
        const Formatter fmt = ctx.format();
        return runLines("geocentric", ctx.io, FieldLayout{2, 3, FirstField::Latitude}, [&](const std::vector<std::string>& f) {
            LineResult r;
            double lat, lon, h;
            if (!parsePosition(f, true, lat, lon, h, r.error))
                return r;
            t.Geodetic_to_Geocentric(lat, lon, h);
            r.fields = {fmt.length(t.GetGeocentric(0)), fmt.length(t.GetGeocentric(1)), fmt.length(t.GetGeocentric(2))};
            return r;
        });
    });

    CLI::App* geodetic =
        app.add_subcommand("geodetic", "Geocentric X Y Z (metres) -> latitude longitude height");
    addCommonOptions(geodetic, ctx);
    registry.add(geodetic, [&ctx] {
        CTervala t = ctx.object();
        const Formatter fmt = ctx.format();
        return runLines("geodetic", ctx.io, FieldLayout{3, 3, FirstField::Number}, [&](const std::vector<std::string>& f) {
            LineResult r;
            std::vector<double> v;
            if (!parseNumbers(f, {"X", "Y", "Z"}, 0, v, r.error))
                return r;
            t.Geocentric_to_Geodetic(v[0], v[1], v[2]);
            r.fields = {fmt.angle(t.GetGeodetic(0)), fmt.angle(t.GetGeodetic(1)), fmt.length(t.GetGeodetic(2))};
            return r;
        });
    });

    auto tmGrid = std::make_shared<TMGridOptions>();
    CLI::App* tm = app.add_subcommand(
        "tm", "Latitude longitude [height] -> Transverse Mercator northing easting height [convergence scale]");
    addTMGridOptions(tm, *tmGrid);
    addMethodOption(tm, tmGrid->method);
    addExtraFlag(tm, tmGrid->extra);
    addOrderOption(tm, ctx);
    addCommonOptions(tm, ctx);
    addProjOption(tm, tmGrid->proj, false, kTmReplaced);
    registry.add(tm, [&ctx, tmGrid] {
        TMGridOptions g = *tmGrid;
        if (!resolveTmGrid("tm", ctx, g))
            return 2;
        if (!legacyServes("tm", ctx, g.method))
            return 2;
        if (g.method == "kruger" || g.southOriented) {
            std::unique_ptr<Ellipsoid> ell;
            if (!krugerEllipsoid("tm", ctx, ell))
                return 2;
            const TransverseMercator p(*ell, g.lat0, g.lon0, g.falseNorthing, g.falseEasting, g.scale,
                                       g.method == "kruger" ? TmMethod::Kruger : TmMethod::Legacy,
                                       g.southOriented ? TmAxes::WestSouth : TmAxes::EastNorth);
            const Formatter fmt = ctx.format();
            return runLines("tm", ctx.io, FieldLayout{2, 3, FirstField::Latitude},
                            [&](const std::vector<std::string>& f) {
                                LineResult r;
                                double lat, lon, h;
                                if (!parsePosition(f, true, lat, lon, h, r.error) ||
                                    !longitudeNear(lon, g.lon0, std::isnan(g.maxOffset) ? p.maxOffsetAt(lat) : g.maxOffset,
                                                   lon, r.error))
                                    return r;
                                const ProjectedWithScale q = g.extra ? p.forwardWithScale(lat, lon)
                                                                     : ProjectedWithScale{};
                                const Projected e = g.extra ? Projected{q.easting, q.northing} : p.forward(lat, lon);
                                if (std::isnan(e.easting)) {
                                    r.error = krugerReachError(std::fabs(reduceLongitude(lon - g.lon0)),
                                                               p.maxOffsetAt(lat));
                                    return r;
                                }
                                r.fields = {fmt.length(e.northing), fmt.length(e.easting), fmt.length(h)};
                                if (ctx.io.eastingFirst)
                                    std::swap(r.fields[0], r.fields[1]);
                                if (g.extra)
                                    appendKrugerExtra(q.convergence, q.scale, fmt, r);
                                return r;
                            });
        }
        double limit = 0;
        if (!maxOffsetFor("tm", ctx, g.maxOffset, limit))
            return 2;
        CTervala t = ctx.object();
        const EllipsoidConstants e = makeEllipsoid(ctx.ellipsoid.a, ctx.ellipsoid.inverseFlattening);
        const Formatter fmt = ctx.format();
        return runLines("tm", ctx.io, FieldLayout{2, 3, FirstField::Latitude}, [&](const std::vector<std::string>& f) {
            LineResult r;
            double lat, lon, h;
            if (!parsePosition(f, true, lat, lon, h, r.error) ||
                !longitudeNear(lon, g.lon0, legacyReach(e, g.maxOffset, limit, lat), lon, r.error))
                return r;
            // The member turns its angle arguments into radians in place.
            const double latitude = lat, offset = reduceLongitude(lon - g.lon0);
            double lat0 = g.lat0, lon0 = g.lon0;
            t.Geodetic_to_TM(lat0, lon0, g.falseNorthing, g.falseEasting, g.scale, lat, lon, h);
            r.fields = {fmt.length(t.GetTM(0)), fmt.length(t.GetTM(1)), fmt.length(t.GetTM(2))};
            if (ctx.io.eastingFirst)
                std::swap(r.fields[0], r.fields[1]);
            if (g.extra)
                appendExtra(e, g.scale, latitude, offset, fmt, r);
            return r;
        });
    });

    auto tmInverseGrid = std::make_shared<TMGridOptions>();
    CLI::App* tmInverse = app.add_subcommand(
        "tm-inverse", "Transverse Mercator northing easting [height] -> latitude longitude height");
    addTMGridOptions(tmInverse, *tmInverseGrid);
    addMethodOption(tmInverse, tmInverseGrid->method);
    addOrderOption(tmInverse, ctx);
    addCommonOptions(tmInverse, ctx);
    addProjOption(tmInverse, tmInverseGrid->proj, false, kTmReplaced);
    registry.add(tmInverse, [&ctx, tmInverseGrid] {
        TMGridOptions g = *tmInverseGrid;
        if (!resolveTmGrid("tm-inverse", ctx, g))
            return 2;
        if (!legacyServes("tm-inverse", ctx, g.method))
            return 2;
        if (g.method == "kruger" || g.southOriented) {
            std::unique_ptr<Ellipsoid> ell;
            if (!krugerEllipsoid("tm-inverse", ctx, ell))
                return 2;
            const TransverseMercator p(*ell, g.lat0, g.lon0, g.falseNorthing, g.falseEasting, g.scale,
                                       g.method == "kruger" ? TmMethod::Kruger : TmMethod::Legacy,
                                       g.southOriented ? TmAxes::WestSouth : TmAxes::EastNorth);
            const Formatter fmt = ctx.format();
            return runLines("tm-inverse", ctx.io, FieldLayout{2, 3, FirstField::Number},
                            [&](const std::vector<std::string>& f) {
                                LineResult r;
                                std::vector<double> v;
                                if (!parseNumbers(f, gridNames(ctx), 1, v, r.error))
                                    return r;
                                if (ctx.io.eastingFirst)
                                    std::swap(v[0], v[1]);
                                const Geographic q = p.inverse(v[1], v[0]);
                                if (std::isnan(q.latitude)) {
                                    r.error = "the grid coordinates lie outside the projection (beyond the "
                                              "series' reach from the central meridian, " +
                                              fmt::format("{}", p.maxOffset()) +
                                              " degrees at the equator, or beyond a pole: northing and easting "
                                              "swapped?)";
                                    return r;
                                }
                                const double offset = std::fabs(reduceLongitude(q.longitude - p.centralMeridian()));
                                const double limit = std::isnan(g.maxOffset) ? p.maxOffsetAt(q.latitude) : g.maxOffset;
                                if (!(offset <= limit)) {
                                    r.error = krugerReachError(offset, limit);
                                    return r;
                                }
                                r.fields = {fmt.angle(q.latitude), fmt.angle(q.longitude), fmt.length(v[2])};
                                return r;
                            });
        }
        double limit = 0;
        if (!maxOffsetFor("tm-inverse", ctx, g.maxOffset, limit))
            return 2;
        CTervala t = ctx.object();
        const EllipsoidConstants e = makeEllipsoid(ctx.ellipsoid.a, ctx.ellipsoid.inverseFlattening);
        const Formatter fmt = ctx.format();
        return runLines("tm-inverse", ctx.io, FieldLayout{2, 3, FirstField::Number}, [&](const std::vector<std::string>& f) {
            LineResult r;
            std::vector<double> v;
            if (!parseNumbers(f, gridNames(ctx), 1, v, r.error))
                return r;
            if (ctx.io.eastingFirst)
                std::swap(v[0], v[1]);
            double lat0 = g.lat0, lon0 = g.lon0;
            t.TM_to_Geodetic(lat0, lon0, g.falseNorthing, g.falseEasting, g.scale, v[0], v[1], v[2]);
            double lon = t.GetGeodetic(1);
            if (!checkInverse(t.GetGeodetic(0), lon, g.lon0, legacyReach(e, g.maxOffset, limit, t.GetGeodetic(0), true),
                              r.error))
                return r;
            r.fields = {fmt.angle(t.GetGeodetic(0)), fmt.angle(lon), fmt.length(t.GetGeodetic(2))};
            return r;
        });
    });

    struct UtmOptions {
        int zone = 0;
        bool south = false;
        bool north = false;
        double maxOffset = std::nan("");
        bool extra = false;
        std::string method = "kruger";
        std::string proj;
    };
    // --proj "+proj=utm +zone=N [+south] ...": the zone, the hemisphere and
    // the ellipsoid. False after reporting.
    const auto resolveUtm = [](const std::string& command, Context& ctx, UtmOptions& o) {
        if (o.proj.empty())
            return true;
        projstring::TmDefinition d;
        std::string error;
        if (!projstring::parseTm(o.proj, true, d, error)) {
            report(command, "--proj: " + error);
            return false;
        }
        o.zone = d.zone;
        o.south = d.south;
        o.north = !d.south;
        ctx.ellipsoid = NamedEllipsoid{"from --proj", d.a, d.inverseFlattening};
        return true;
    };
    const std::vector<std::string> utmReplaced = {"--zone", "--south", "--north", "--ellipsoid"};
    auto utmOptions = std::make_shared<UtmOptions>();
    CLI::App* utm = app.add_subcommand(
        "utm", "Latitude longitude [height] -> UTM zone northing easting height [convergence scale]; 80S to 84N. The "
               "zone is written with its latitude band letter C..X (52S: zone 52, 32..40 N; 56H: 40..32 S), or as "
               "52north / 52south when --north or --south forces the other hemisphere's false northing");
    utm->add_option("--zone,-z", utmOptions->zone, "UTM zone 1..60 (default: from each point's longitude)")
        ->check(CLI::Range(1, 60));
    auto* utmSouth = utm->add_flag("--south", utmOptions->south, "Southern hemisphere (false northing 10000000 m)");
    utm->add_flag("--north", utmOptions->north, "Northern hemisphere")->excludes(utmSouth);
    addMaxOffsetOption(utm, utmOptions->maxOffset);
    addMethodOption(utm, utmOptions->method);
    addExtraFlag(utm, utmOptions->extra);
    addOrderOption(utm, ctx);
    addCommonOptions(utm, ctx);
    addProjOption(utm, utmOptions->proj, true, utmReplaced);
    registry.add(utm, [&ctx, utmOptions, resolveUtm] {
        UtmOptions o = *utmOptions;
        if (!resolveUtm("utm", ctx, o))
            return 2;
        if (!legacyServes("utm", ctx, o.method))
            return 2;
        if (o.method == "kruger") {
            std::unique_ptr<Ellipsoid> ell;
            if (!krugerEllipsoid("utm", ctx, ell))
                return 2;
            const Formatter fmt = ctx.format();
            std::unique_ptr<Utm> cached;  // the zone of the previous line, kept while lines stay in it
            return runLines("utm", ctx.io, FieldLayout{2, 3, FirstField::Latitude},
                            [&](const std::vector<std::string>& f) {
                                LineResult r;
                                double lat, lon, h;
                                if (!parsePosition(f, true, lat, lon, h, r.error))
                                    return r;
                                if (!inUtmBand(lat)) {
                                    r.error = utmBandError(lat);
                                    return r;
                                }
                                const int zone = o.zone != 0 ? o.zone : zoneOf(lon);
                                const bool south = o.south || (!o.north && lat < 0);
                                if (!cached || cached->zone() != zone || cached->south() != south)
                                    cached = std::make_unique<Utm>(zone, south, *ell);
                                const double limit = std::isnan(o.maxOffset) ? cached->maxOffset() : o.maxOffset;
                                if (!longitudeNear(lon, cached->centralMeridian(), limit, lon, r.error))
                                    return r;
                                const ProjectedWithScale q = o.extra ? cached->forwardWithScale(lat, lon)
                                                                     : ProjectedWithScale{};
                                const Projected e = o.extra ? Projected{q.easting, q.northing} : cached->forward(lat, lon);
                                if (std::isnan(e.easting)) {
                                    r.error = krugerReachError(
                                        std::fabs(reduceLongitude(lon - cached->centralMeridian())), cached->maxOffset());
                                    return r;
                                }
                                r.fields = {zoneLabel(zone, south, lat), fmt.length(e.northing),
                                            fmt.length(e.easting), fmt.length(h)};
                                if (ctx.io.eastingFirst)
                                    std::swap(r.fields[1], r.fields[2]);
                                if (o.extra)
                                    appendKrugerExtra(q.convergence, q.scale, fmt, r);
                                r.warning = utmRequestWarning(lat, lon, o.zone, o.south);
                                return r;
                            });
        }
        double limit = 0;
        if (!maxOffsetFor("utm", ctx, o.maxOffset, limit))
            return 2;
        CTervala t = ctx.object();
        const EllipsoidConstants e = makeEllipsoid(ctx.ellipsoid.a, ctx.ellipsoid.inverseFlattening);
        const Formatter fmt = ctx.format();
        return runLines("utm", ctx.io, FieldLayout{2, 3, FirstField::Latitude}, [&](const std::vector<std::string>& f) {
            LineResult r;
            double lat, lon, h;
            if (!parsePosition(f, true, lat, lon, h, r.error))
                return r;
            if (!inUtmBand(lat)) {
                r.error = utmBandError(lat);
                return r;
            }
            const int zone = o.zone != 0 ? o.zone : zoneOf(lon);
            const bool south = o.south || (!o.north && lat < 0);
            r.warning = utmRequestWarning(lat, lon, o.zone, o.south);
            double cm = centralMeridianOf(zone);
            if (!longitudeNear(lon, cm, legacyReach(e, o.maxOffset, limit, lat), lon, r.error))
                return r;
            const double latitude = lat, offset = reduceLongitude(lon - cm);
            t.Geodetic_to_UTM(south ? 1 : 0, cm, lat, lon, h);
            r.fields = {zoneLabel(zone, south, latitude), fmt.length(t.GetUTM(0)), fmt.length(t.GetUTM(1)),
                        fmt.length(t.GetUTM(2))};
            if (ctx.io.eastingFirst)
                std::swap(r.fields[1], r.fields[2]);
            if (o.extra)
                appendExtra(e, kUtmScaleFactor, latitude, offset, fmt, r);
            return r;
        });
    });

    auto utmInverseOptions = std::make_shared<UtmOptions>();
    CLI::App* utmInverse = app.add_subcommand(
        "utm-inverse", "UTM [zone] northing easting [height] -> latitude longitude height. A zone field carries a "
                       "latitude band letter C..X as the utm command writes it (52S is zone 52, band S = 32..40 N, "
                       "northern hemisphere; 56H is 40..32 S), and a band the northing contradicts is refused; the "
                       "hemisphere alone is written 52north / 52south, or given with --north / --south");
    utmInverse->add_option("--zone,-z", utmInverseOptions->zone,
                           "UTM zone 1..60 (else a zone field such as 52S or 52north)")
        ->check(CLI::Range(1, 60));
    auto* invSouth = utmInverse->add_flag("--south", utmInverseOptions->south, "Southern hemisphere");
    utmInverse->add_flag("--north", utmInverseOptions->north, "Northern hemisphere (default)")->excludes(invSouth);
    addMaxOffsetOption(utmInverse, utmInverseOptions->maxOffset);
    addMethodOption(utmInverse, utmInverseOptions->method);
    addOrderOption(utmInverse, ctx);
    addCommonOptions(utmInverse, ctx);
    addProjOption(utmInverse, utmInverseOptions->proj, true, utmReplaced);
    registry.add(utmInverse, [&ctx, utmInverseOptions, resolveUtm] {
        UtmOptions o = *utmInverseOptions;
        if (!resolveUtm("utm-inverse", ctx, o))
            return 2;
        if (!legacyServes("utm-inverse", ctx, o.method))
            return 2;
        const bool kruger = o.method == "kruger";
        double limit = 0;
        std::unique_ptr<Ellipsoid> ell;
        if (kruger ? !krugerEllipsoid("utm-inverse", ctx, ell) : !maxOffsetFor("utm-inverse", ctx, o.maxOffset, limit))
            return 2;
        std::unique_ptr<Utm> cached;
        CTervala t = ctx.object();
        const EllipsoidConstants e = makeEllipsoid(ctx.ellipsoid.a, ctx.ellipsoid.inverseFlattening);
        const Formatter fmt = ctx.format();
        return runLines("utm-inverse", ctx.io, FieldLayout{2, 3, FirstField::Zone}, [&](const std::vector<std::string>& f) {
            LineResult r;
            int zone = o.zone;
            bool south = o.south;
            std::vector<std::string> rest = f;
            ZoneField field;
            std::string fieldText;
            if (!rest.empty() && looksLikeZone(rest[0], false)) {
                if (!parseZone(rest[0], false, field, r.error))
                    return r;
                zone = field.zone;
                south = field.south;
                fieldText = rest[0];
                // A zone on the line must agree with the options rather than
                // silently win over them (or lose to them).
                if ((o.zone != 0 && zone != o.zone) || (o.south && !south) || (o.north && south)) {
                    r.error = "zone " + rest[0] + " contradicts " +
                              (o.zone != 0 && zone != o.zone ? "--zone " + std::to_string(o.zone)
                                                             : std::string(o.south ? "--south" : "--north"));
                    return r;
                }
                rest.erase(rest.begin());
            } else if (zone == 0) {
                r.error = "no zone: give --zone or start the line with a zone such as 52S or 52north";
                return r;
            }
            std::vector<double> v;
            if (!parseNumbers(rest, gridNames(ctx), 1, v, r.error))
                return r;
            if (ctx.io.eastingFirst)
                std::swap(v[0], v[1]);
            if (kruger) {
                if (!cached || cached->zone() != zone || cached->south() != south)
                    cached = std::make_unique<Utm>(zone, south, *ell);
                const Geographic q = cached->inverse(v[1], v[0]);
                if (std::isnan(q.latitude)) {
                    r.error = "the grid coordinates lie outside the UTM band (80S to 84N) or more than " +
                              fmt::format("{}", cached->maxOffset()) +
                              " degrees from the central meridian (northing and easting swapped?)";
                    return r;
                }
                const double offset = std::fabs(reduceLongitude(q.longitude - cached->centralMeridian()));
                const double reach = std::isnan(o.maxOffset) ? cached->maxOffset() : o.maxOffset;
                if (!(offset <= reach)) {
                    r.error = krugerReachError(offset, reach);
                    return r;
                }
                if (!bandAgrees(field, fieldText, q.latitude, r.error))
                    return r;
                r.fields = {fmt.angle(q.latitude), fmt.angle(q.longitude), fmt.length(v[2])};
                return r;
            }
            double cm = centralMeridianOf(zone);
            const double lon0 = cm;
            t.UTM_to_Geodetic(south ? 1 : 0, cm, v[0], v[1], v[2]);
            double lon = t.GetGeodetic(1);
            if (!checkInverse(t.GetGeodetic(0), lon, lon0, legacyReach(e, o.maxOffset, limit, t.GetGeodetic(0), true),
                              r.error))
                return r;
            if (!inUtmBand(t.GetGeodetic(0))) {
                r.error = utmBandError(t.GetGeodetic(0));
                return r;
            }
            if (!bandAgrees(field, fieldText, t.GetGeodetic(0), r.error))
                return r;
            r.fields = {fmt.angle(t.GetGeodetic(0)), fmt.angle(lon), fmt.length(t.GetGeodetic(2))};
            return r;
        });
    });
}

} // namespace cli
} // namespace tervala
