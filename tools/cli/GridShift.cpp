// tervala gridshift: NTv2 horizontal shifts of latitude longitude [height],
// the height passed through, as PROJ's hgridshift.
#include <cmath>
#include <memory>
#include <new>
#include <stdexcept>

#include <fmt/format.h>

#include <tervala/GridShift.hpp>

#include "Commands.h"
#include "Text.h"

namespace tervala {
namespace cli {

bool loadGridShift(const std::string& command, const std::string& option, const std::string& path,
                   std::unique_ptr<GridShift>& out)
{
    try {
        out = std::make_unique<GridShift>(path);
        return true;
    } catch (const std::runtime_error& e) {
        report(command, option + ": " + e.what());
    } catch (const std::bad_alloc&) {
        report(command, option + ": out of memory reading " + path);
    }
    return false;
}

bool shiftPoint(const GridShift& grid, bool inverse, Geodetic& p, std::string& error)
{
    const Geodetic in = p;
    p = inverse ? grid.inverse(in) : grid.forward(in);
    if (!std::isnan(p.latitude))
        return true;
    error = fmt::format("latitude {:.9f} longitude {:.9f} is outside the grid {}", in.latitude, in.longitude,
                        grid.path());
    if (inverse && grid.contains(in.latitude, in.longitude))
        error += " (the inverse leaves it)";
    return false;
}

void addGridShiftCommand(CLI::App& app, Context& ctx, Registry& registry)
{
    auto grid = std::make_shared<std::string>();
    auto inverse = std::make_shared<bool>(false);
    CLI::App* sub = app.add_subcommand(
        "gridshift", "NTv2 grid shift (.gsb) of latitude longitude [height]; the height passes unchanged");
    sub->add_option("--grid", *grid, "The NTv2 grid file (.gsb), either byte order")->required();
    sub->add_flag("--inverse", *inverse, "Target to source (iterated to 1e-12 degrees)");
    sub->footer("The shift is interpolated bilinearly in the finest subgrid containing the point. A point outside "
                "every subgrid is refused (its line is reported and the exit status is 1), never passed through "
                "unshifted. Equivalent to PROJ's cct +proj=hgridshift +grids=FILE [+inv].");
    addCommonOptions(sub, ctx, false);
    registry.add(sub, [&ctx, grid, inverse] {
        std::unique_ptr<GridShift> g;
        if (!loadGridShift("gridshift", "--grid", *grid, g))
            return 2;
        const Formatter fmt = ctx.format();
        return runLines("gridshift", ctx.io, FieldLayout{2, 3, FirstField::Latitude},
                        [&](const std::vector<std::string>& f) {
                            LineResult r;
                            Geodetic p{};
                            if (!parsePosition(f, true, p.latitude, p.longitude, p.height, r.error) ||
                                !shiftPoint(*g, *inverse, p, r.error))
                                return r;
                            r.fields = {fmt.angle(p.latitude), fmt.angle(p.longitude), fmt.length(p.height)};
                            return r;
                        });
    });
}

} // namespace cli
} // namespace tervala
