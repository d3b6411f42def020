// The combined UTM/UPS grids and MGRS references: utmups and mgrs.
#include <cmath>
#include <memory>
#include <stdexcept>

#include <fmt/format.h>

#include "Commands.h"
#include "Text.h"
#include "Zones.h"
#include "tervala/Polar.hpp"

namespace tervala {
namespace cli {
namespace {

Ellipsoid ellipsoidOf(const Context& ctx) { return Ellipsoid(ctx.ellipsoid.a, ctx.ellipsoid.inverseFlattening); }

// --zone of utmups: a zone 1..60 (hemisphere from each point), 31north,
// 31south, or north / south for the polar grids.
struct ForcedZone {
    int zone = UtmUps::kStandard;
    bool hemisphereGiven = false;
    bool north = true;
};

bool parseForcedZone(const std::string& text, ForcedZone& out, std::string& error)
{
    out = ForcedZone{};
    if (text.empty())
        return true;
    bool digits = true;
    for (char c : text)
        digits = digits && c >= '0' && c <= '9';
    if (digits && text.size() <= 2) {
        out.zone = std::stoi(text);
        if (out.zone < 1 || out.zone > 60) {
            error = "--zone: zone " + text + " is not 1..60";
            return false;
        }
        return true;
    }
    ZoneField f;
    if (!parseZone(text, true, f, error)) {
        error = "--zone: " + error + " (or a bare zone number)";
        return false;
    }
    if (f.band != 0) {
        error = "--zone: give the hemisphere as " + std::to_string(f.zone) + "north or " + std::to_string(f.zone) +
                "south, not a band letter";
        return false;
    }
    out.zone = f.zone;
    out.hemisphereGiven = true;
    out.north = !f.south;
    return true;
}

// The names of grid fields in the order --order gives them.
std::vector<const char*> gridFieldNames(const Context& ctx)
{
    return ctx.io.eastingFirst ? std::vector<const char*>{"easting", "northing", "height"}
                               : std::vector<const char*>{"northing", "easting", "height"};
}

struct UtmUpsOptions {
    std::string zone;
    bool inverse = false;
    bool extra = false;
};

struct MgrsOptions {
    int precision = 5;
    bool inverse = false;
};

} // namespace

void addPolarCommands(CLI::App& app, Context& ctx, Registry& registry)
{
    auto uo = std::make_shared<UtmUpsOptions>();
    CLI::App* utmups = app.add_subcommand(
        "utmups", "Latitude longitude [height] -> zone northing easting height on UTM (80S to 84N, with the Norway "
                  "and Svalbard zones) or UPS (the polar caps): the zone written with its band letter (52S) or "
                  "as north / south for the polar grids. --inverse reads zone northing easting [height]");
    utmups->add_option("--zone,-z", uo->zone,
                       "Force a zone: 1..60 (hemisphere from each point), 31north / 31south, or north / south for "
                       "the polar grids (UPS). Forward only; the inverse reads the zone from each line or this "
                       "option");
    utmups->add_flag("--inverse,-r", uo->inverse, "Grid to latitude longitude");
    utmups->add_flag("--extra", uo->extra,
                     "Also print the meridian convergence (degrees) and point scale after the height");
    utmups->add_option_function<std::string>(
           "--order", [&ctx](const std::string& order) { ctx.io.eastingFirst = order == "en"; },
           "Grid coordinates as northing easting (ne, the default) or easting northing (en), in and out")
        ->check(CLI::IsMember({"ne", "en"}));
    addCommonOptions(utmups, ctx);
    registry.add(utmups, [&ctx, uo] {
        ForcedZone forced;
        std::string error;
        if (!parseForcedZone(uo->zone, forced, error)) {
            report("utmups", error);
            return 2;
        }
        const UtmUps grids(ellipsoidOf(ctx));
        const Formatter fmt = ctx.format();
        if (!uo->inverse) {
            return runLines("utmups", ctx.io, FieldLayout{2, 3, FirstField::Latitude}, [&](const std::vector<std::string>& f) {
                LineResult r;
                double lat, lon, h;
                if (!parsePosition(f, true, lat, lon, h, r.error))
                    return r;
                const bool north = forced.hemisphereGiven ? forced.north : lat >= 0;
                const UtmUpsPoint p = grids.forward(lat, lon, forced.zone, north);
                if (!std::isfinite(p.easting) || !std::isfinite(p.northing)) {
                    r.error = p.zone == UtmUps::kUps
                                  ? fmt::format("latitude {} lies outside the {} polar grid's hemisphere", lat,
                                                p.north ? "north" : "south")
                                  : fmt::format("latitude {} longitude {} is outside zone {}'s reach (80S to 84N, "
                                                "within the series' offset from its central meridian)",
                                                lat, lon, p.zone);
                    return r;
                }
                r.fields = {zoneLabel(p.zone, !p.north, lat), fmt.length(p.northing), fmt.length(p.easting),
                            fmt.length(h)};
                if (ctx.io.eastingFirst)
                    std::swap(r.fields[1], r.fields[2]);
                if (uo->extra) {
                    r.fields.push_back(fmt.angle(p.convergence));
                    r.fields.push_back(fmt.fixed(p.scale, 10));
                }
                return r;
            });
        }
        return runLines("utmups", ctx.io, FieldLayout{2, 3, FirstField::ZoneOrPole}, [&](const std::vector<std::string>& f) {
            LineResult r;
            std::vector<std::string> rest = f;
            ZoneField zone;
            std::string fieldText;
            if (!rest.empty() && looksLikeZone(rest[0], true)) {
                if (!parseZone(rest[0], true, zone, r.error))
                    return r;
                fieldText = rest[0];
                if (forced.zone != UtmUps::kStandard &&
                    (zone.zone != forced.zone || (forced.hemisphereGiven && forced.north == zone.south))) {
                    r.error = "zone " + rest[0] + " contradicts --zone " + uo->zone;
                    return r;
                }
                rest.erase(rest.begin());
            } else if (forced.zone != UtmUps::kStandard && (forced.hemisphereGiven || forced.zone == UtmUps::kUps)) {
                zone.zone = forced.zone;
                zone.south = !forced.north;
            } else {
                r.error = "no zone: start the line with a zone such as 52S, 52north or north (UPS), or give "
                          "--zone 52north";
                return r;
            }
            if (rest.size() < 2 || rest.size() > 3) {
                r.error = "expected northing easting [height] after the zone, got " + std::to_string(rest.size()) +
                          " fields";
                return r;
            }
            std::vector<double> v(3, 0.0);
            const std::vector<const char*> names = gridFieldNames(ctx);
            for (std::size_t i = 0; i < rest.size(); ++i) {
                std::string why;
                if (!parseNumber(rest[i], v[i], why)) {
                    r.error = std::string(names[i]) + ": " + why;
                    return r;
                }
            }
            if (ctx.io.eastingFirst)
                std::swap(v[0], v[1]);
            const GeographicWithScale g = grids.inverse(zone.zone, !zone.south, v[1], v[0]);
            if (std::isnan(g.latitude)) {
                r.error = zone.zone == UtmUps::kUps
                              ? std::string("the grid coordinates lie at or beyond the equator of the polar grid")
                              : "the grid coordinates are outside zone " + std::to_string(zone.zone) +
                                    "'s reach (80S to 84N, within the series' offset from its central meridian)";
                return r;
            }
            if (!bandAgrees(zone, fieldText, g.latitude, r.error))
                return r;
            r.fields = {fmt.angle(g.latitude), fmt.angle(g.longitude), fmt.length(v[2])};
            if (uo->extra) {
                r.fields.push_back(fmt.angle(g.convergence));
                r.fields.push_back(fmt.fixed(g.scale, 10));
            }
            return r;
        });
    });

    auto mo = std::make_shared<MgrsOptions>();
    CLI::App* mgrs = app.add_subcommand(
        "mgrs", "Latitude longitude -> MGRS reference (zone, band, 100 km square letters, easting and northing "
                "digits truncated to --precision); --inverse reads references (no blanks inside) and prints the "
                "latitude and longitude of the square's centre");
    mgrs->add_flag("--inverse,-r", mo->inverse, "MGRS references to latitude longitude (the centre of the square)");
    addCommonOptions(mgrs, ctx);
    // Here --precision counts the digits of each coordinate in the reference.
    mgrs->remove_option(mgrs->get_option("--precision"));
    mgrs->add_option("--precision,-p", mo->precision,
                     "Digits per coordinate: 0 (100 km square) to 5 (1 m, the default); latitude and longitude of "
                     "--inverse get 9 decimals")
        ->check(CLI::Range(0, 5));
    registry.add(mgrs, [&ctx, mo] {
        const Mgrs grid(ellipsoidOf(ctx));
        const Formatter fmt(4);
        if (!mo->inverse) {
            return runLines("mgrs", ctx.io, FieldLayout{2, 2, FirstField::Latitude}, [&](const std::vector<std::string>& f) {
                LineResult r;
                double lat, lon, h;
                if (!parsePosition(f, false, lat, lon, h, r.error))
                    return r;
                try {
                    r.fields = {grid.forward(lat, lon, mo->precision)};
                } catch (const std::invalid_argument& e) {
                    r.error = e.what();
                }
                return r;
            });
        }
        return runLines("mgrs", ctx.io, FieldLayout{1, 1, FirstField::Mgrs}, [&](const std::vector<std::string>& f) {
            LineResult r;
            if (f.size() != 1) {
                r.error = "expected one MGRS reference per line, got " + std::to_string(f.size()) + " fields";
                return r;
            }
            try {
                const Mgrs::Square q = grid.reverse(f[0]);
                r.fields = {fmt.angle(q.latitude), fmt.angle(q.longitude)};
            } catch (const std::invalid_argument& e) {
                r.error = e.what();
            }
            return r;
        });
    });
}

} // namespace cli
} // namespace tervala
