// Geoid heights from the EGM96 coefficients or from a geoid grid, and the
// Molodensky change of heights for a datum shift.
#include <cmath>
#include <memory>

#include <fmt/format.h>

#include "Commands.h"
#include "Text.h"
#include "geoid/GridCoverage.h"

namespace tervala {
namespace cli {
namespace {

struct GridOptions {
    int model = 2008;
};

struct ShiftOptions {
    std::string shift;
    double da = 0, df = 0;
};

const char* gridFileOf(int model)
{
    return model == 13 ? "kgeoid13.dat" : model == 2008 ? "egm2008p.dat" : "kgeoid14.dat";
}

} // namespace

void addGeoidCommands(CLI::App& app, Context& ctx, Registry& registry)
{
    CLI::App* geoid = app.add_subcommand("geoid", "Geoid undulation at latitude longitude (metres)");
    geoid->require_subcommand(1);

    CLI::App* egm96 = geoid->add_subcommand(
        "egm96", "EGM96 spherical-harmonic synthesis to degree 360 from CORRCOEF.dat and EGM96.dat in the data folder");
    addCommonOptions(egm96, ctx, false);
    registry.add(egm96, [&ctx] {
        auto t = std::make_unique<CTervala>();
        if (t->LoadEGMData(nullptr) != 1) {
            report("geoid egm96", "cannot load the EGM96 coefficients: " + CTervala::GetDataFolder() +
                                      "/CORRCOEF.dat and " + CTervala::GetDataFolder() +
                                      "/EGM96.dat must both exist (see 'tervala data egm96-from-text')");
            return 2;
        }
        const Formatter fmt = ctx.format();
        return runLines("geoid egm96", ctx.io, FieldLayout{2, 2, FirstField::Latitude}, [&](const std::vector<std::string>& f) {
            LineResult r;
            double lat, lon, h;
            if (!parsePosition(f, false, lat, lon, h, r.error))
                return r;
            r.fields = {fmt.length(t->EGM96GeoidHeight(lat, lon))};
            return r;
        });
    });

    auto g = std::make_shared<GridOptions>();
    CLI::App* grid = geoid->add_subcommand(
        "grid", "Spline interpolation in the geoid grid kgeoid13.dat, kgeoid14.dat or egm2008p.dat");
    grid->add_option("--model,-m", g->model, "13, 14 or 2008 (default 2008)")->check(CLI::IsMember({13, 14, 2008}));
    addCommonOptions(grid, ctx, false);
    registry.add(grid, [&ctx, g] {
        auto t = std::make_unique<CTervala>();
        if (t->LoadKEGMData(g->model) != 1) {
            report("geoid grid", "cannot load the geoid grid " + CTervala::GetDataFolder() + "/" + gridFileOf(g->model) +
                                     " (make one with 'tervala data import-grid')");
            return 2;
        }
        const Formatter fmt = ctx.format();
        const grid::GridView view = grid::gridView(*t);
        const grid::GridCoverage coverage = grid::gridCoverage(view);
        return runLines("geoid grid", ctx.io, FieldLayout{2, 2, FirstField::Latitude}, [&](const std::vector<std::string>& f) {
            LineResult r;
            double lat, lon, h;
            if (!parsePosition(f, false, lat, lon, h, r.error))
                return r;
            const double n = t->KEGMGeoidHeight(lat, lon);
            if (n == grid::kOutOfRange)
                r.error = "the point lies outside the grid's range";
            else if (n == grid::kWindowDoesNotFit)
                r.error = "the point is too close to the edge of the grid to interpolate";
            else if (!grid::windowIsStored(view, lat, lon))
                // A regional grid: near its edge the window would read nodes
                // from the opposite edge.
                r.error = fmt::format("the point is too close to the edge of this regional grid; points must lie "
                                      "more than {:g} degrees of latitude and {:g} of longitude inside its outer "
                                      "rows and columns",
                                      coverage.marginLatitude, coverage.marginLongitude);
            else
                r.fields = {fmt.length(n)};
            return r;
        });
    });

    auto s = std::make_shared<ShiftOptions>();
    CLI::App* correction = app.add_subcommand(
        "undulation-correction",
        "Change of ellipsoidal height (and undulation) at latitude longitude for a datum shift, on the --ellipsoid");
    correction->add_option("--shift", s->shift, "Geocentric shift dX,dY,dZ (metres)")->required();
    correction->add_option("--da", s->da, "Change of the semi-major axis (metres)");
    correction->add_option("--df", s->df, "Change of the flattening");
    addCommonOptions(correction, ctx);
    registry.add(correction, [&ctx, s] {
        std::vector<double> d;
        std::string error;
        if (!parseNumberList(s->shift, 3, d, error)) {
            report("undulation-correction", "--shift: " + error);
            return 2;
        }
        CTervala t = ctx.object();
        const Formatter fmt = ctx.format();
        return runLines("undulation-correction", ctx.io, FieldLayout{2, 2, FirstField::Latitude}, [&](const std::vector<std::string>& f) {
            LineResult r;
            double lat, lon, h;
            if (!parsePosition(f, false, lat, lon, h, r.error))
                return r;
            r.fields = {fmt.length(t.CorrUndulation(lat, lon, d[0], d[1], d[2], s->da, s->df))};
            return r;
        });
    });
}

} // namespace cli
} // namespace tervala
