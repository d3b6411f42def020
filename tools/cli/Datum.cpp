// Datum and local transformations: seven-parameter Bursa-Wolf and
// Molodensky-Badekas, abridged Molodensky, 2D Helmert and heights.
#include <cmath>
#include <memory>

#include "Commands.h"
#include "Params.h"
#include "Text.h"

namespace tervala {
namespace cli {
namespace {

struct DatumOptions {
    std::string params;
    std::string origin;
    std::string shift;
    double da = 0, df = 0;
    bool inverse = false;
    bool shiftsOnly = false;
    std::string convention = "tervala";  // helmert2d: the rotation sense
};

bool parseXyz(const std::vector<std::string>& f, double v[3], std::string& error)
{
    if (f.size() != 3) {
        error = "expected 3 fields (X Y Z), got " + std::to_string(f.size());
        return false;
    }
    static const char* names[] = {"X", "Y", "Z"};
    for (int i = 0; i < 3; ++i) {
        std::string why;
        if (!parseNumber(f[static_cast<std::size_t>(i)], v[i], why)) {
            error = std::string(names[i]) + ": " + why;
            return false;
        }
    }
    return true;
}

// The seven parameters (and, for Molodensky-Badekas, the origin) from the
// options; reports a refusal, prints a warning, and returns false on refusal.
bool sevenParameters(const std::string& command, const SevenParameterOptions& o, bool withOrigin,
                     SevenParameters& p)
{
    std::string error, warning;
    if (!resolveSevenParameters(o, withOrigin, p, error, warning)) {
        report(command, error);
        return false;
    }
    reportWarnings(command, warning);
    return true;
}

// Parameters of a plane model (helmert2d: 4, height: 3) from --params, with
// the origin from --origin or from the parameter file; reports and returns
// false when either is missing or bad.
bool planeParameters(const std::string& command, const DatumOptions& o, std::size_t count, std::vector<double>& values,
                     double& x0, double& y0)
{
    bool fromFile = false;
    std::string error;
    if (!resolveParams(o.params, command, count, values, fromFile, error)) {
        report(command, "--params: " + error);
        return false;
    }
    x0 = fromFile ? values[count] : 0.0;
    y0 = fromFile ? values[count + 1] : 0.0;
    if (!o.origin.empty()) {
        std::vector<double> origin;
        if (!parseNumberList(o.origin, 2, origin, error)) {
            report(command, "--origin: " + error);
            return false;
        }
        x0 = origin[0];
        y0 = origin[1];
    } else if (!fromFile) {
        report(command, "--origin x0,y0 is required with a parameter list");
        return false;
    }
    return true;
}

} // namespace

void addDatumCommands(CLI::App& app, Context& ctx, Registry& registry)
{
    // The two seven-parameter subcommands differ only in the origin.
    for (const bool withOrigin : {false, true}) {
        const std::string name = withOrigin ? "molodensky-badekas" : "helmert7";
        auto o = std::make_shared<SevenParameterOptions>();
        auto inverse = std::make_shared<bool>(false);
        CLI::App* sub = app.add_subcommand(
            name, withOrigin ? "Molodensky-Badekas transformation of geocentric X Y Z about a rotation origin"
                             : "Bursa-Wolf seven-parameter transformation of geocentric X Y Z");
        sub->footer("Parameters: translations in metres, scale correction in ppm (factor 1 + s 1e-6), rotations "
                    "in arc-seconds. --convention says whether positive rotations "
                    "turn the point (position-vector) or the axes (coordinate-frame); the two differ only in the "
                    "signs of rx, ry, rz. --rotations says which matrix R the parameters are for: parameters on the "
                    "command line are small-angle unless it is given (EPSG's form, that of published sets); "
                    "exact is R = R3(rz) R2(ry) R1(rx), the form 'fit' estimates and writes. Write --params=-446.4,... with '=' when the list starts with a minus.");
        addSevenParameterOptions(sub, *o, withOrigin);
        sub->add_flag("--inverse", *inverse, "Apply the exact inverse");
        addCommonOptions(sub, ctx, false);
        registry.add(sub, [&ctx, o, inverse, withOrigin, name] {
            SevenParameters p;
            if (!sevenParameters(name, *o, withOrigin, p))
                return 2;
            const Formatter fmt = ctx.format();
            // Helmert7 and MolodenskyBadekas share forward() and inverse().
            const auto run = [&](const auto& transform) {
                return runLines(name, ctx.io, FieldLayout{3, 3, FirstField::Number},
                                [&](const std::vector<std::string>& f) {
                                    LineResult r;
                                    double v[3];
                                    if (!parseXyz(f, v, r.error))
                                        return r;
                                    const Geocentric in{v[0], v[1], v[2]};
                                    const Geocentric out = *inverse ? transform.inverse(in) : transform.forward(in);
                                    r.fields = {fmt.length(out.x), fmt.length(out.y), fmt.length(out.z)};
                                    return r;
                                });
            };
            return withOrigin ? run(p.molodenskyBadekas()) : run(p.helmert());
        });
    }

    auto am = std::make_shared<DatumOptions>();
    CLI::App* abridged = app.add_subcommand(
        "abridged-molodensky",
        "Abridged Molodensky datum shift of latitude longitude [height] on the --ellipsoid (the source datum's)");
    abridged->add_option("--shift", am->shift, "Geocentric shift dX,dY,dZ (metres)")->required();
    abridged->add_option("--da", am->da, "Change of the semi-major axis, target minus source (metres)");
    abridged->add_option("--df", am->df, "Change of the flattening, target minus source");
    abridged->add_flag("--shifts-only", am->shiftsOnly,
                       "Print the shifts dlat dlon (degrees) dh (metres) instead of the shifted coordinates");
    addCommonOptions(abridged, ctx);
    registry.add(abridged, [&ctx, am] {
        std::vector<double> s;
        std::string error;
        if (!parseNumberList(am->shift, 3, s, error)) {
            report("abridged-molodensky", "--shift: " + error);
            return 2;
        }
        CTervala t = ctx.object();
        const Formatter fmt = ctx.format();
        return runLines("abridged-molodensky", ctx.io, FieldLayout{2, 3, FirstField::Latitude}, [&](const std::vector<std::string>& f) {
            LineResult r;
            double lat, lon, h;
            if (!parsePosition(f, true, lat, lon, h, r.error))
                return r;
            t.Abridged_Molodensky_Transform(lat, lon, s[0], s[1], s[2], am->da, am->df);
            if (am->shiftsOnly)
                r.fields = {fmt.angle(t.GetdLLH(0)), fmt.angle(t.GetdLLH(1)), fmt.length(t.GetdLLH(2))};
            else
                r.fields = {fmt.angle(lat + t.GetdLLH(0)), fmt.angle(lon + t.GetdLLH(1)), fmt.length(h + t.GetdLLH(2))};
            return r;
        });
    });

    auto h2 = std::make_shared<DatumOptions>();
    CLI::App* helmert2d = app.add_subcommand(
        "helmert2d", "2D Helmert transformation of plane points x y about an origin (x = first coordinate)");
    helmert2d->add_option("--params", h2->params,
                          "t1,t2 (m),scale (ppm),rotation (arc-seconds), or a parameter file from 'fit helmert2d'")
        ->required();
    helmert2d->add_option("--origin", h2->origin, "Origin x0,y0 (a file from 'fit' holds the centroid)");
    helmert2d->add_option("--convention", h2->convention,
                          "Rotation sense of a --params list: tervala (default; a positive rotation turns the first "
                          "axis toward the second, counter-clockwise with x right and y up) or proj (PROJ's helmert "
                          "+theta, the opposite sense). Files from 'fit' hold the tervala sense")
        ->check(CLI::IsMember({"tervala", "proj"}));
    helmert2d->footer("The rotation sense is opposite to that of PROJ's helmert +theta: rotation r here is "
                      "+theta=-r there (PROJ's 2D +s is the factor 1 + scale 1e-6, and it has no origin). "
                      "--convention proj reads the rotation in PROJ's sense.");
    addCommonOptions(helmert2d, ctx, false);
    registry.add(helmert2d, [&ctx, h2] {
        std::vector<double> v;
        double x0 = 0, y0 = 0;
        if (!planeParameters("helmert2d", *h2, 4, v, x0, y0))
            return 2;
        if (h2->convention == "proj") {
            if (v.size() > 4) {  // from a file: the origin follows the four parameters
                report("helmert2d", "--convention proj applies to a --params list; a parameter file from 'fit' "
                                    "holds the tervala sense");
                return 2;
            }
            v[3] = -v[3];
        }
        CTervala t = ctx.object();
        t.Set2DHelmert(v[0], v[1], v[2], v[3]);
        const Formatter fmt = ctx.format();
        return runLines("helmert2d", ctx.io, FieldLayout{2, 2, FirstField::Number}, [&](const std::vector<std::string>& f) {
            LineResult r;
            if (f.size() != 2) {
                r.error = "expected 2 fields (x y), got " + std::to_string(f.size());
                return r;
            }
            double x, y;
            std::string why;
            if (!parseNumber(f[0], x, why) || !parseNumber(f[1], y, why)) {
                r.error = why;
                return r;
            }
            t.Helmert2D(x0, y0, x, y);
            r.fields = {fmt.length(t.Get2DH(0)), fmt.length(t.Get2DH(1))};
            return r;
        });
    });

    auto ht = std::make_shared<DatumOptions>();
    CLI::App* height = app.add_subcommand(
        "height", "Inclined-plane height transformation: x y h -> x y h' about an origin");
    height->add_option("--params", ht->params, "slope1,slope2 (m/m),shift (m), or a parameter file from 'fit height'")
        ->required();
    height->add_option("--origin", ht->origin, "Origin x0,y0 (first coordinate first)");
    addCommonOptions(height, ctx, false);
    registry.add(height, [&ctx, ht] {
        std::vector<double> v;
        double x0 = 0, y0 = 0;
        if (!planeParameters("height", *ht, 3, v, x0, y0))
            return 2;
        CTervala t = ctx.object();
        t.SetHeightTrans(v[0], v[1], v[2]);
        const Formatter fmt = ctx.format();
        return runLines("height", ctx.io, FieldLayout{3, 3, FirstField::Number}, [&](const std::vector<std::string>& f) {
            LineResult r;
            if (f.size() != 3) {
                r.error = "expected 3 fields (x y h), got " + std::to_string(f.size());
                return r;
            }
            double x, y, hh;
            std::string why;
            if (!parseNumber(f[0], x, why) || !parseNumber(f[1], y, why) || !parseNumber(f[2], hh, why)) {
                r.error = why;
                return r;
            }
            t.HeightTrans(x0, y0, x, y, hh);
            r.fields = {fmt.length(x), fmt.length(y), fmt.length(t.Get2DH(2))};
            return r;
        });
    });
}

} // namespace cli
} // namespace tervala
