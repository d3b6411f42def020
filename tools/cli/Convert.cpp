// Coordinate conversions: geodetic <-> geocentric, Transverse Mercator and
// UTM, both directions.
#include <cmath>
#include <memory>

#include "Commands.h"
#include "Text.h"

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

// A zone field such as "52N" or "56s".
bool parseZoneField(const std::string& field, int& zone, bool& south, std::string& error)
{
    if (field.size() < 2) {
        error = "expected a zone such as 52N, got '" + field + "'";
        return false;
    }
    const char h = field.back();
    if (h != 'N' && h != 'n' && h != 'S' && h != 's') {
        error = "expected a zone such as 52N or 56S, got '" + field + "'";
        return false;
    }
    long z = 0;
    if (!parseInteger(field.substr(0, field.size() - 1), 1, 60, z, error)) {
        error = "zone: " + error;
        return false;
    }
    zone = static_cast<int>(z);
    south = h == 'S' || h == 's';
    return true;
}

struct TmGrid {
    double lat0 = 0, lon0 = 0, falseNorthing = 0, falseEasting = 0, scale = 1;
};

void addTmGridOptions(CLI::App* sub, TmGrid& grid)
{
    sub->add_option("--lat0", grid.lat0, "Latitude of origin, degrees")->capture_default_str();
    sub->add_option("--lon0", grid.lon0, "Central meridian, degrees")->required();
    sub->add_option("--false-northing,--fn", grid.falseNorthing, "False northing, metres")->capture_default_str();
    sub->add_option("--false-easting,--fe", grid.falseEasting, "False easting, metres")->capture_default_str();
    sub->add_option("--scale,-k", grid.scale, "Scale factor on the central meridian")->capture_default_str();
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
        return runLines("geocentric", ctx.io, [&](const std::vector<std::string>& f) {
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
        return runLines("geodetic", ctx.io, [&](const std::vector<std::string>& f) {
            LineResult r;
            std::vector<double> v;
            if (!parseNumbers(f, {"X", "Y", "Z"}, 0, v, r.error))
                return r;
            t.Geocentric_to_Geodetic(v[0], v[1], v[2]);
            r.fields = {fmt.angle(t.GetGeodetic(0)), fmt.angle(t.GetGeodetic(1)), fmt.length(t.GetGeodetic(2))};
            return r;
        });
    });

    auto tmGridPtr = std::make_shared<TmGrid>();
    auto tmInverseGridPtr = std::make_shared<TmGrid>();
    TmGrid& tmGrid = *tmGridPtr;
    TmGrid& tmInverseGrid = *tmInverseGridPtr;
    CLI::App* tm = app.add_subcommand(
        "tm", "Latitude longitude [height] -> Transverse Mercator northing easting height");
    addTmGridOptions(tm, tmGrid);
    addCommonOptions(tm, ctx);
    registry.add(tm, [&ctx, tmGridPtr] {
        const TmGrid& tmGrid = *tmGridPtr;
        CTervala t = ctx.object();
        const Formatter fmt = ctx.format();
        return runLines("tm", ctx.io, [&](const std::vector<std::string>& f) {
            LineResult r;
            double lat, lon, h;
            if (!parsePosition(f, true, lat, lon, h, r.error))
                return r;
            double lat0 = tmGrid.lat0, lon0 = tmGrid.lon0;
            t.Geodetic_to_TM(lat0, lon0, tmGrid.falseNorthing, tmGrid.falseEasting, tmGrid.scale, lat, lon, h);
            r.fields = {fmt.length(t.GetTM(0)), fmt.length(t.GetTM(1)), fmt.length(t.GetTM(2))};
            return r;
        });
    });

    CLI::App* tmInverse = app.add_subcommand(
        "tm-inverse", "Transverse Mercator northing easting [height] -> latitude longitude height");
    addTmGridOptions(tmInverse, tmInverseGrid);
    addCommonOptions(tmInverse, ctx);
    registry.add(tmInverse, [&ctx, tmInverseGridPtr] {
        const TmGrid& tmInverseGrid = *tmInverseGridPtr;
        CTervala t = ctx.object();
        const Formatter fmt = ctx.format();
        return runLines("tm-inverse", ctx.io, [&](const std::vector<std::string>& f) {
            LineResult r;
            std::vector<double> v;
            if (!parseNumbers(f, {"northing", "easting", "height"}, 1, v, r.error))
                return r;
            double lat0 = tmInverseGrid.lat0, lon0 = tmInverseGrid.lon0;
            t.TM_to_Geodetic(lat0, lon0, tmInverseGrid.falseNorthing, tmInverseGrid.falseEasting,
                             tmInverseGrid.scale, v[0], v[1], v[2]);
            r.fields = {fmt.angle(t.GetGeodetic(0)), fmt.angle(t.GetGeodetic(1)), fmt.length(t.GetGeodetic(2))};
            return r;
        });
    });

    struct UtmOptions {
        int zone = 0;
        bool south = false;
        bool north = false;
    };
    auto utmPtr = std::make_shared<UtmOptions>();
    auto utmInversePtr = std::make_shared<UtmOptions>();
    UtmOptions& utmOptions = *utmPtr;
    UtmOptions& utmInverseOptions = *utmInversePtr;
    CLI::App* utm = app.add_subcommand(
        "utm", "Latitude longitude [height] -> UTM zone northing easting height (zone as 52N / 56S)");
    utm->add_option("--zone,-z", utmOptions.zone, "UTM zone 1..60 (default: from each point's longitude)")
        ->check(CLI::Range(1, 60));
    auto* utmSouth = utm->add_flag("--south", utmOptions.south, "Southern hemisphere (false northing 10000000 m)");
    utm->add_flag("--north", utmOptions.north, "Northern hemisphere")->excludes(utmSouth);
    addCommonOptions(utm, ctx);
    registry.add(utm, [&ctx, utmPtr] {
        const UtmOptions& utmOptions = *utmPtr;
        CTervala t = ctx.object();
        const Formatter fmt = ctx.format();
        return runLines("utm", ctx.io, [&](const std::vector<std::string>& f) {
            LineResult r;
            double lat, lon, h;
            if (!parsePosition(f, true, lat, lon, h, r.error))
                return r;
            const int zone = utmOptions.zone != 0 ? utmOptions.zone : zoneOf(lon);
            const bool south = utmOptions.south || (!utmOptions.north && lat < 0);
            double cm = centralMeridianOf(zone);
            t.Geodetic_to_UTM(south ? 1 : 0, cm, lat, lon, h);
            r.fields = {std::to_string(zone) + (south ? "S" : "N"), fmt.length(t.GetUTM(0)), fmt.length(t.GetUTM(1)),
                        fmt.length(t.GetUTM(2))};
            return r;
        });
    });

    CLI::App* utmInverse = app.add_subcommand(
        "utm-inverse", "UTM [zone] northing easting [height] -> latitude longitude height");
    utmInverse->add_option("--zone,-z", utmInverseOptions.zone, "UTM zone 1..60 (else a zone field such as 52N)")
        ->check(CLI::Range(1, 60));
    auto* invSouth = utmInverse->add_flag("--south", utmInverseOptions.south, "Southern hemisphere");
    utmInverse->add_flag("--north", utmInverseOptions.north, "Northern hemisphere (default)")->excludes(invSouth);
    addCommonOptions(utmInverse, ctx);
    registry.add(utmInverse, [&ctx, utmInversePtr] {
        const UtmOptions& utmInverseOptions = *utmInversePtr;
        CTervala t = ctx.object();
        const Formatter fmt = ctx.format();
        return runLines("utm-inverse", ctx.io, [&](const std::vector<std::string>& f) {
            LineResult r;
            int zone = utmInverseOptions.zone;
            bool south = utmInverseOptions.south;
            std::vector<std::string> rest = f;
            if (!rest.empty() && !rest[0].empty() && (rest[0].back() == 'N' || rest[0].back() == 'S' ||
                                                      rest[0].back() == 'n' || rest[0].back() == 's')) {
                if (!parseZoneField(rest[0], zone, south, r.error))
                    return r;
                rest.erase(rest.begin());
            } else if (zone == 0) {
                r.error = "no zone: give --zone or start the line with a zone such as 52N";
                return r;
            }
            std::vector<double> v;
            if (!parseNumbers(rest, {"northing", "easting", "height"}, 1, v, r.error))
                return r;
            double cm = centralMeridianOf(zone);
            t.UTM_to_Geodetic(south ? 1 : 0, cm, v[0], v[1], v[2]);
            r.fields = {fmt.angle(t.GetGeodetic(0)), fmt.angle(t.GetGeodetic(1)), fmt.length(t.GetGeodetic(2))};
            return r;
        });
    });
}

} // namespace cli
} // namespace tervala
