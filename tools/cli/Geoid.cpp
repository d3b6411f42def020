// Geoid heights from the EGM96 coefficients or from a geoid grid, with
// ellipsoidal and orthometric heights, and the Molodensky change of heights
// for a datum shift.
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include <fmt/format.h>

#include "geoid/CheckFile.h"
#include "Commands.h"
#include "GeoidSource.h"
#include "Text.h"

namespace tervala {
namespace cli {
namespace {

struct GridOptions {
    int model = 2008;
    std::string path;
    bool reverse = false;
};

struct ShiftOptions {
    std::string shift;
    double da = 0, df = 0;
};

const char* gridFileOf(int model)
{
    return model == 13 ? "kgeoid13.dat" : model == 2008 ? "egm2008p.dat" : "kgeoid14.dat";
}

void addReverseFlag(CLI::App* sub, bool& reverse)
{
    sub->add_flag("--reverse", reverse,
                  "Read the third field as the orthometric height H and give the ellipsoidal height h = H + N "
                  "(the output columns stay h N H)");
}

// Lines of a geoid command: latitude longitude [height] in, N out, or
// h N H when the line has a height.
int geoidLines(const std::string& command, const Context& ctx, const GeoidSource& geoid, bool reverse)
{
    std::fprintf(stderr, "tervala %s: N from %s\n", command.c_str(), geoid.description().c_str());
    const Formatter fmt = ctx.format();
    return runLines(command, ctx.io, FieldLayout{2, 3, FirstField::Latitude}, [&](const std::vector<std::string>& f) {
        LineResult r;
        double lat, lon, h, n;
        if (!parsePosition(f, true, lat, lon, h, r.error) || !geoid.undulation(lat, lon, n, r.error))
            return r;
        if (f.size() == 3)
            r.fields = heightFields(fmt, h, n, reverse);
        else if (reverse)
            r.error = "--reverse needs the orthometric height H after the longitude";
        else
            r.fields = {fmt.length(n)};
        return r;
    });
}

} // namespace

bool GeoidSource::loadEgm96(const std::string& folder, std::string& error)
{
    try {
        egm96_ = std::make_shared<const Egm96Model>(Egm96Model::fromFolder(folder));
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    description_ = "EGM96 to degree 360 (" + egm96_->geopotentialPath() + ", " + egm96_->correctionPath() + ")";
    return true;
}

bool GeoidSource::loadGrid(const std::string& path, const std::string& label, std::string& error)
{
    try {
        grid_ = std::make_shared<const GeoidGrid>(path);
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    description_ = "grid file " + path + " (" + label + ")";
    // The file name says which slot a grid fills, not what it holds: name
    // the source its converter recorded.
    check::CheckRecord record;
    std::string problem;
    if (check::readCheckFile(path, record, problem) && !record.source.empty())
        description_ += ", converted from " + record.source;
    else
        description_ += ", source not recorded";
    return true;
}

bool GeoidSource::undulation(double lat, double lon, double& n, std::string& error) const
{
    n = egm96_ ? egm96_->height(lat, lon) : grid_->height(lat, lon);
    if (!std::isnan(n))
        return true;
    // The lines reaching here hold a valid latitude and longitude, where the
    // model answers unless its height would pass the +-150 m no geoid height
    // reaches (EGM96 spans -107 .. 85 m): coefficients damaged within the
    // loader's bounds (a halved C20 gives 200 m in Korea). Grids with such
    // values are refused at load.
    if (egm96_) {
        error = "the model gives a height beyond the +-150 m no geoid height reaches: the coefficient files are "
                "damaged (convert them again with 'tervala data egm96-from-text')";
        return false;
    }
    // A grid's value is missing outside its extent and, on a regional grid,
    // where the interpolation window would reach past its outer nodes.
    const GeoidGrid& g = *grid_;
    const double south = g.north() - (g.rows() - 1) * g.latitudeSpacing();
    const double span = (g.columns() - 1) * g.longitudeSpacing();
    double offset = std::fmod(lon - g.west(), 360.0);
    if (offset < 0)
        offset += 360.0;
    if (lat > g.north() || lat < south || (g.columns() * g.longitudeSpacing() < 360.0 && offset > span))
        error = fmt::format("the point lies outside the grid (latitude {:g} to {:g}, longitude {:g} to {:g})", south,
                            g.north(), g.west(), g.west() + span);
    else
        error = fmt::format("the point is too close to the edge of this regional grid; points must lie more than "
                            "{:g} degrees of latitude and {:g} of longitude inside its outer rows and columns",
                            2 * g.latitudeSpacing(), 2 * g.longitudeSpacing());
    return false;
}

std::vector<std::string> heightFields(const Formatter& fmt, double height, double n, bool reverse)
{
    const double h = reverse ? height + n : height, H = reverse ? height : height - n;
    return {fmt.length(h), fmt.length(n), fmt.length(H)};
}

void addGeoidCommands(CLI::App& app, Context& ctx, Registry& registry)
{
    CLI::App* geoid = app.add_subcommand(
        "geoid", "Geoid undulation N at latitude longitude; with a height, h N and H = h - N (metres)");
    geoid->require_subcommand(1);

    auto e = std::make_shared<GridOptions>();
    CLI::App* egm96 = geoid->add_subcommand(
        "egm96", "EGM96 spherical-harmonic synthesis to degree 360 from CORRCOEF.dat and EGM96.dat in the data "
                 "folder: latitude longitude [h] -> N, or h N H");
    addReverseFlag(egm96, e->reverse);
    addCommonOptions(egm96, ctx, false);
    registry.add(egm96, [&ctx, e] {
        GeoidSource source;
        std::string error;
        if (!source.loadEgm96(CTervala::GetDataFolder(), error)) {
            report("geoid egm96", "cannot load the EGM96 coefficients: " + error +
                                      " (CORRCOEF.dat and EGM96.dat must both be in the data folder; see 'tervala "
                                      "data egm96-from-text')");
            return 2;
        }
        return geoidLines("geoid egm96", ctx, source, e->reverse);
    });

    auto g = std::make_shared<GridOptions>();
    CLI::App* grid = geoid->add_subcommand(
        "grid", "Spline interpolation in a geoid grid file (--grid FILE, or kgeoid13.dat, kgeoid14.dat or "
                "egm2008p.dat in the data folder): latitude longitude [h] -> N, or h N H");
    auto* model = grid->add_option("--model,-m", g->model, "13, 14 or 2008 (default 2008): the grid file of the data "
                                                           "folder to read")
                      ->check(CLI::IsMember({13, 14, 2008}));
    grid->add_option("--grid,-g", g->path, "Read this grid file instead of one of the data folder")->excludes(model);
    addReverseFlag(grid, g->reverse);
    addCommonOptions(grid, ctx, false);
    registry.add(grid, [&ctx, g] {
        const bool byPath = !g->path.empty();
        const std::string path = byPath ? g->path : CTervala::GetDataFolder() + "/" + gridFileOf(g->model);
        GeoidSource source;
        std::string error;
        if (!source.loadGrid(path, byPath ? "--grid" : "--model " + std::to_string(g->model), error)) {
            report("geoid grid", "cannot load the geoid grid " + path + ": " + error +
                                     (byPath ? "" : " (make one with 'tervala data import-grid')"));
            return 2;
        }
        return geoidLines("geoid grid", ctx, source, g->reverse);
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
