#include "Params.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "Io.h"
#include "platform/Files.h"
#include "Text.h"

namespace tervala {
namespace cli {

std::vector<std::string> modelKeys(const std::string& model)
{
    if (model == "helmert2d")
        return {"t1", "t2", "scale", "rotation", "x0", "y0"};
    if (model == "height")
        return {"slope1", "slope2", "shift", "x0", "y0"};
    if (model == "bursa-wolf")
        return {"tx", "ty", "tz", "s", "rx", "ry", "rz"};
    if (model == "molodensky-badekas")
        return {"x0", "y0", "z0", "tx", "ty", "tz", "s", "rx", "ry", "rz"};
    return {};
}

const char* conventionName(Convention convention)
{
    return convention == Convention::PositionVector ? "position-vector" : "coordinate-frame";
}

bool parseConventionName(const std::string& text, Convention& convention)
{
    if (text == "position-vector")
        convention = Convention::PositionVector;
    else if (text == "coordinate-frame")
        convention = Convention::CoordinateFrame;
    else
        return false;
    return true;
}

const char* rotationFormName(RotationForm rotations)
{
    return rotations == RotationForm::exact ? "exact" : "small-angle";
}

bool parseRotationFormName(const std::string& text, RotationForm& rotations)
{
    if (text == "exact")
        rotations = RotationForm::exact;
    else if (text == "small-angle")
        rotations = RotationForm::small_angle;
    else
        return false;
    return true;
}

bool parseParamText(const std::string& text, const std::string& model, ParamSet& out, std::string& error)
{
    const std::vector<std::string> keys = modelKeys(model);
    if (keys.empty()) {
        error = "unknown model '" + model + "'";
        return false;
    }
    const bool sevenParameters = model == "bursa-wolf" || model == "molodensky-badekas";
    std::vector<bool> seen(keys.size(), false);
    std::vector<double> values(keys.size(), 0.0);
    std::string fileModel, convention, rotations;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    std::vector<std::string> covarianceKeys;
    std::vector<std::vector<double>> covariance;
    int covarianceLine = 0;  // the line naming the covariance's parameters
    while (std::getline(in, line)) {
        ++number;
        const std::string where = "line " + std::to_string(number) + ": ";
        const std::size_t first = line.find_first_not_of(" \t\r");
        const std::string tag = "#covariance";
        if (first != std::string::npos && line.compare(first, tag.size(), tag) == 0 &&
            (line.size() == first + tag.size() || std::string(" \t\r").find(line[first + tag.size()]) != std::string::npos)) {
            const std::vector<std::string> f = splitFields(line.substr(first + tag.size()));
            if (covarianceLine == 0) {
                for (const std::string& name : f) {
                    if (std::find(keys.begin(), keys.end(), name) == keys.end()) {
                        error = where + "covariance: '" + name + "' is not a parameter of model " + model;
                        return false;
                    }
                    if (name == "x0" || name == "y0" || name == "z0") {
                        error = where + "covariance: '" + name + "' is the origin, which is not estimated";
                        return false;
                    }
                    if (std::find(covarianceKeys.begin(), covarianceKeys.end(), name) != covarianceKeys.end()) {
                        error = where + "covariance: parameter '" + name + "' named twice";
                        return false;
                    }
                    covarianceKeys.push_back(name);
                }
                if (covarianceKeys.empty()) {
                    error = where + "covariance: expected the names of the parameters it is of";
                    return false;
                }
                covarianceLine = number;
                continue;
            }
            if (covariance.size() == covarianceKeys.size()) {
                error = where + "covariance: more rows than the " + std::to_string(covarianceKeys.size()) +
                        " parameters named on line " + std::to_string(covarianceLine);
                return false;
            }
            if (f.size() != covarianceKeys.size()) {
                error = where + "covariance: expected " + std::to_string(covarianceKeys.size()) +
                        " numbers in the row of " + covarianceKeys[covariance.size()] + ", got " +
                        std::to_string(f.size());
                return false;
            }
            std::vector<double> row(f.size());
            for (std::size_t j = 0; j < f.size(); ++j) {
                std::string why;
                if (!parseNumber(f[j], row[j], why)) {
                    error = where + "covariance: " + why;
                    return false;
                }
            }
            covariance.push_back(row);
            continue;
        }
        if (isPassThrough(line))
            continue;
        const std::vector<std::string> f = splitFields(line);
        if (f.size() != 2) {
            error = where + "expected 'key value'";
            return false;
        }
        if (f[0] == "model") {
            fileModel = f[1];
            continue;
        }
        if (f[0] == "convention" && sevenParameters) {
            Convention c;
            if (!convention.empty() || !parseConventionName(f[1], c)) {
                error = where + (convention.empty() ? "convention '" + f[1] +
                                                          "' is neither position-vector nor coordinate-frame"
                                                    : std::string("key 'convention' given twice"));
                return false;
            }
            convention = f[1];
            continue;
        }
        if (f[0] == "rotations" && sevenParameters) {
            RotationForm r;
            if (!rotations.empty() || !parseRotationFormName(f[1], r)) {
                error = where + (rotations.empty() ? "rotations '" + f[1] + "' is neither exact nor small-angle"
                                                   : std::string("key 'rotations' given twice"));
                return false;
            }
            rotations = f[1];
            continue;
        }
        // Height plane files written before the names were unified call the
        // slopes and the shift a1, a2 and c (same units, m/m and m).
        std::string key = f[0];
        if (model == "height" && (key == "a1" || key == "a2" || key == "c"))
            key = key == "a1" ? "slope1" : key == "a2" ? "slope2" : "shift";
        std::size_t k = 0;
        while (k < keys.size() && keys[k] != key)
            ++k;
        if (k == keys.size()) {
            error = where + "unknown key '" + f[0] + "' for model " + model;
            return false;
        }
        if (seen[k]) {
            error = where + "key '" + f[0] + "' given twice" + (key != f[0] ? " (as " + key + ")" : "");
            return false;
        }
        std::string why;
        if (!parseNumber(f[1], values[k], why)) {
            error = where + why;
            return false;
        }
        seen[k] = true;
    }
    if (fileModel != model) {
        error = fileModel.empty() ? "no 'model' line" : "the file holds model " + fileModel + ", not " + model;
        return false;
    }
    for (std::size_t k = 0; k < keys.size(); ++k) {
        if (!seen[k]) {
            error = "key '" + keys[k] + "' is missing";
            return false;
        }
    }
    if (covarianceLine != 0) {
        const std::string where = "line " + std::to_string(covarianceLine) + ": covariance: ";
        if (covariance.size() != covarianceKeys.size()) {
            error = where + std::to_string(covarianceKeys.size()) + " parameters named but " +
                    std::to_string(covariance.size()) + " rows follow";
            return false;
        }
        const std::string problem = covarianceProblem(covariance, covarianceKeys.size());
        if (!problem.empty()) {
            error = where + problem;
            return false;
        }
    }
    out = ParamSet{model, keys, values, convention, rotations, covarianceKeys, covariance};
    return true;
}

std::string covarianceProblem(const std::vector<std::vector<double>>& c, std::size_t n)
{
    if (c.size() != n)
        return fmt::format("expected {} rows, got {}", n, c.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (c[i].size() != n)
            return fmt::format("row {} has {} values, expected {}", i + 1, c[i].size(), n);
        for (double v : c[i])
            if (!std::isfinite(v))
                return fmt::format("row {} holds a value that is not finite", i + 1);
        if (!(c[i][i] >= 0))
            return fmt::format("the variance in row {} is negative", i + 1);
    }
    // Symmetry to rounding (a matrix inverted in floating point is
    // symmetric to about 1e-10 of its scale), judged against the standard
    // deviations the element joins.
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < i; ++j) {
            const double scale = std::sqrt(c[i][i] * c[j][j]);
            if (!(std::fabs(c[i][j] - c[j][i]) <= 1e-8 * scale))
                return fmt::format("not symmetric: row {} column {} is {:.17g}, row {} column {} is {:.17g}", i + 1,
                                   j + 1, c[i][j], j + 1, i + 1, c[j][i]);
        }
    // Positive semi-definite: the Cholesky factorisation of the correlation
    // matrix (parameters of variance 0 must be uncorrelated and are left
    // out) meets no pivot below -1e-9. A correlation beyond 1 in magnitude
    // fails here.
    std::vector<std::size_t> kept;
    for (std::size_t i = 0; i < n; ++i) {
        if (c[i][i] > 0) {
            kept.push_back(i);
            continue;
        }
        for (std::size_t j = 0; j < n; ++j)
            if (c[i][j] != 0)
                return fmt::format("not positive semi-definite: row {} has variance 0 but covariance {:.17g} in "
                                   "column {}",
                                   i + 1, c[i][j], j + 1);
    }
    const std::size_t m = kept.size();
    std::vector<std::vector<double>> r(m, std::vector<double>(m));
    for (std::size_t i = 0; i < m; ++i)
        for (std::size_t j = 0; j < m; ++j)
            r[i][j] = c[kept[i]][kept[j]] / std::sqrt(c[kept[i]][kept[i]] * c[kept[j]][kept[j]]);
    for (std::size_t k = 0; k < m; ++k) {
        double d = r[k][k];
        for (std::size_t p = 0; p < k; ++p)
            d -= r[k][p] * r[k][p];
        if (d < -1e-9)
            return fmt::format("not positive semi-definite (the correlations of row {} with the rows before it "
                               "are impossible)",
                               kept[k] + 1);
        // A pivot at rounding level is a rank deficiency: that row is a
        // combination of the earlier ones and adds nothing below.
        const double l = d > 1e-12 ? std::sqrt(d) : 0.0;
        r[k][k] = l;
        for (std::size_t i = k + 1; i < m; ++i) {
            double v = r[i][k];
            for (std::size_t p = 0; p < k; ++p)
                v -= r[i][p] * r[k][p];
            r[i][k] = l > 0 ? v / l : 0.0;
            if (l == 0 && std::fabs(v) > 1e-6)
                return fmt::format("not positive semi-definite (the correlations of row {} with the rows before "
                                   "it are impossible)",
                                   kept[i] + 1);
        }
    }
    return {};
}

std::vector<std::vector<double>> covarianceOver(const ParamSet& set, const std::vector<std::string>& keys)
{
    if (set.covarianceKeys.empty())
        return {};
    std::vector<std::size_t> at(keys.size(), set.covarianceKeys.size());
    for (std::size_t i = 0; i < keys.size(); ++i)
        for (std::size_t k = 0; k < set.covarianceKeys.size(); ++k)
            if (set.covarianceKeys[k] == keys[i])
                at[i] = k;
    std::vector<std::vector<double>> c(keys.size(), std::vector<double>(keys.size(), 0.0));
    for (std::size_t i = 0; i < keys.size(); ++i)
        for (std::size_t j = 0; j < keys.size(); ++j)
            if (at[i] < set.covarianceKeys.size() && at[j] < set.covarianceKeys.size())
                c[i][j] = set.covariance[at[i]][at[j]];
    return c;
}

bool readParamFile(const std::string& path, const std::string& model, ParamSet& out, std::string& error)
{
    std::string text;
    if (!readFile(path, text, error)) {
        error = "parameter file: " + error;
        return false;
    }
    if (!parseParamText(text, model, out, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

std::string formatParamText(const ParamSet& set, const std::string& comment)
{
    std::string out = "# " + comment + "\nmodel " + set.model + "\n";
    if (!set.convention.empty())
        out += "convention " + set.convention + "\n";
    if (!set.rotations.empty())
        out += "rotations " + set.rotations + "\n";
    for (std::size_t k = 0; k < set.keys.size() && k < set.values.size(); ++k)
        out += fmt::format("{} {:.17g}\n", set.keys[k], set.values[k]);
    if (!set.covarianceKeys.empty()) {
        out += "# Covariance of the estimated parameters (their units squared), for --propagate\n#covariance";
        for (const std::string& k : set.covarianceKeys)
            out += " " + k;
        out += "\n";
        for (const std::vector<double>& row : set.covariance) {
            out += "#covariance";
            for (double v : row)
                out += fmt::format(" {:.17g}", v);
            out += "\n";
        }
    }
    return out;
}

// ---- seven-parameter sets ---------------------------------------------------

Helmert7 SevenParameters::helmert() const
{
    return Helmert7(tx, ty, tz, s, rx, ry, rz, convention, rotations);
}

MolodenskyBadekas SevenParameters::molodenskyBadekas() const
{
    return MolodenskyBadekas(tx, ty, tz, s, rx, ry, rz, convention, origin, rotations);
}

namespace {

// The named options, in the order of SevenParameterOptions::named.
const char* const kNamed[10] = {"tx", "ty", "tz", "s", "rx", "ry", "rz", "x0", "y0", "z0"};

double* field(SevenParameters& p, std::size_t k)
{
    double* const fields[10] = {&p.tx, &p.ty, &p.tz, &p.s, &p.rx, &p.ry, &p.rz, &p.origin.x, &p.origin.y, &p.origin.z};
    return fields[k];
}

const char* const kConventionWanted = "position-vector or coordinate-frame";

// The set from a parameter file (key/value or PROJ string).
bool fromFile(const std::string& path, bool withOrigin, SevenParameters& out, bool& conventionStated,
              bool& rotationsStated, std::string& error)
{
    std::string text;
    if (!readFile(path, text, error)) {
        error = "parameter file: " + error;
        return false;
    }
    // A PROJ string starts with '+' on its first line that is not a comment.
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line) && isPassThrough(line)) {
    }
    if (line.find_first_not_of(" \t") != std::string::npos && line[line.find_first_not_of(" \t")] == '+') {
        conventionStated = true;
        rotationsStated = true;
        if (!parseProjString(text, withOrigin, out, error)) {
            error = path + ": " + error;
            return false;
        }
        return true;
    }
    ParamSet set;
    if (!parseParamText(text, withOrigin ? "molodensky-badekas" : "bursa-wolf", set, error)) {
        error = path + ": " + error;
        return false;
    }
    // The origin leads a Molodensky-Badekas file.
    const std::size_t first = withOrigin ? 3 : 0;
    for (std::size_t k = 0; k < 7; ++k)
        *field(out, k) = set.values[first + k];
    for (std::size_t k = 0; k < first; ++k)
        *field(out, 7 + k) = set.values[k];
    out.covariance = covarianceOver(set, {"tx", "ty", "tz", "s", "rx", "ry", "rz"});
    conventionStated = !set.convention.empty();
    out.convention = Convention::CoordinateFrame;
    if (conventionStated)
        parseConventionName(set.convention, out.convention);
    rotationsStated = !set.rotations.empty();
    out.rotations = RotationForm::exact;
    if (rotationsStated)
        parseRotationFormName(set.rotations, out.rotations);
    return true;
}

// The set from --params LIST or the named options, and the origin.
bool fromCommandLine(const SevenParameterOptions& o, bool withOrigin, SevenParameters& out, std::string& error)
{
    bool anyNamed = false;
    for (std::size_t k = 0; k < 7; ++k)
        anyNamed = anyNamed || !o.named[k].empty();
    if (!o.params.empty() && anyNamed) {
        error = "--params and the named options --tx ... --rz: give the parameters one way";
        return false;
    }
    if (!o.params.empty()) {
        if (o.params.find(',') == std::string::npos && o.params.find_first_of("0123456789") == std::string::npos) {
            error = "--params: '" + o.params + "' is neither a parameter file nor a list of numbers";
            return false;
        }
        std::vector<double> v;
        if (!parseNumberList(o.params, 7, v, error)) {
            error = "--params: " + error;
            return false;
        }
        for (std::size_t k = 0; k < 7; ++k)
            *field(out, k) = v[k];
    } else if (!anyNamed) {
        error = "give the parameters with --params tx,ty,tz,s,rx,ry,rz or with --tx --ty --tz --s --rx --ry --rz";
        return false;
    }
    // Named values (the seven, and the origin's three).
    for (std::size_t k = 0; k < (withOrigin ? 10u : 7u); ++k) {
        const std::string option = std::string("--") + kNamed[k];
        const std::vector<std::string>& given = o.named[k];
        if (given.size() > 1) {
            error = option + " is given " + std::to_string(given.size()) + " times";
            return false;
        }
        if (given.empty())
            continue;
        std::string why;
        if (!parseNumber(given[0], *field(out, k), why)) {
            error = option + ": " + why;
            return false;
        }
    }
    if (anyNamed) {
        for (std::size_t k = 0; k < 7; ++k)
            if (o.named[k].empty()) {
                error = std::string("--") + kNamed[k] +
                        " is missing: with named parameters give all seven (--tx --ty --tz --s --rx --ry --rz)";
                return false;
            }
    }
    if (o.convention.empty()) {
        error = std::string("--convention is required with parameters on the command line: ") + kConventionWanted +
                " (how the rotations are to be read; published sets say which)";
        return false;
    }
    if (!withOrigin)
        return true;
    const bool namedOrigin = !o.named[7].empty() || !o.named[8].empty() || !o.named[9].empty();
    if (!o.origin.empty() && namedOrigin) {
        error = "--origin and --x0 --y0 --z0: give the origin one way";
        return false;
    }
    if (!o.origin.empty()) {
        std::vector<double> v;
        if (!parseNumberList(o.origin, 3, v, error)) {
            error = "--origin: " + error;
            return false;
        }
        out.origin = Geocentric{v[0], v[1], v[2]};
        return true;
    }
    for (std::size_t k = 7; k < 10; ++k)
        if (o.named[k].empty()) {
            error = namedOrigin ? std::string("--") + kNamed[k] + " is missing: give all of --x0 --y0 --z0"
                                : std::string("the rotation origin is required with parameters on the command line: "
                                              "--origin X0,Y0,Z0 or --x0 --y0 --z0");
            return false;
        }
    return true;
}

} // namespace

void addSevenParameterOptions(CLI::App* app, SevenParameterOptions& o, bool withOrigin)
{
    const std::string model = withOrigin ? "molodensky-badekas" : "bursa-wolf";
    app->add_option("--params", o.params,
                    "tx,ty,tz,s,rx,ry,rz in that order (scale before the rotations; metres, ppm, arc-seconds), "
                    "or a parameter file from 'fit " + model + "', or a file holding a PROJ " +
                        (withOrigin ? "molobadekas" : "helmert") + " string");
    app->add_option("--convention", o.convention,
                    "How the rotations are read: position-vector (EPSG 1033; PROJ's position_vector) or "
                    "coordinate-frame (EPSG 1032; PROJ's coordinate_frame). Required with parameters on the "
                    "command line; no default. Files state their own (files without it are coordinate-frame)")
        ->check(CLI::IsMember({"position-vector", "coordinate-frame"}));
    app->add_option("--rotations", o.rotations,
                    "The rotation matrix the parameters are for: small-angle (EPSG 1032/1033 and PROJ without "
                    "+exact; published parameter sets are meant for it) or exact (R3(rz) R2(ry) R1(rx); what "
                    "'fit' estimates). Parameters on the command line without it are small-angle; files and PROJ "
                    "strings state their own (files without it are exact, PROJ strings without +exact small-angle)")
        ->check(CLI::IsMember({"exact", "small-angle"}));
    static const char* const help[10] = {
        "Translation tx (metres)",  "Translation ty (metres)",  "Translation tz (metres)",
        "Scale correction s (ppm)", "Rotation rx (arc-seconds)", "Rotation ry (arc-seconds)",
        "Rotation rz (arc-seconds)", "Rotation origin X0 (metres)", "Rotation origin Y0 (metres)",
        "Rotation origin Z0 (metres)"};
    for (std::size_t k = 0; k < (withOrigin ? 10u : 7u); ++k)
        app->add_option(std::string("--") + kNamed[k], o.named[k], help[k])
            ->type_name(k == 3 ? "PPM" : k >= 4 && k <= 6 ? "ARCSEC" : "METRES")
            ->expected(1)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
            ->group("Named parameters (instead of --params)");
    if (withOrigin)
        app->add_option("--origin", o.origin, "Rotation origin X0,Y0,Z0 (metres)");
}

bool resolveSevenParameters(const SevenParameterOptions& o, bool withOrigin, SevenParameters& out,
                            std::string& error, std::string& warning)
{
    SevenParameters p;
    warning.clear();
    const bool file = !o.params.empty() && platform::isRegularFile(o.params);
    if (file) {
        bool namedGiven = false;
        for (const std::vector<std::string>& v : o.named)
            namedGiven = namedGiven || !v.empty();
        if (namedGiven || !o.origin.empty()) {
            error = "--params " + o.params + " is a parameter file: it gives every parameter" +
                    (withOrigin ? " and the origin, so named options and --origin are" : ", so named options are") +
                    " not taken with it";
            return false;
        }
        bool stated = false, rotationsStated = false;
        if (!fromFile(o.params, withOrigin, p, stated, rotationsStated, error)) {
            error = "--params: " + error;
            return false;
        }
        Convention wanted;
        if (!o.convention.empty() && parseConventionName(o.convention, wanted) && wanted != p.convention) {
            error = "--convention " + o.convention + " contradicts " + o.params + ", which holds " +
                    conventionName(p.convention) + " rotations" +
                    (stated ? "" : " (it has no convention line, which means coordinate-frame; write one in the file "
                                   "to say otherwise)");
            return false;
        }
        RotationForm form;
        if (!o.rotations.empty() && parseRotationFormName(o.rotations, form) && form != p.rotations) {
            error = "--rotations " + o.rotations + " contradicts " + o.params + ", which holds parameters for " +
                    rotationFormName(p.rotations) + " rotations" +
                    (rotationsStated ? "" : " (it has no rotations line, which means exact; write one in the file "
                                            "to say otherwise)");
            return false;
        }
        if (!stated && o.convention.empty())
            warning = o.params + " has no convention line: its rotations are read as coordinate-frame, as files "
                                 "written before the line existed mean; add 'convention coordinate-frame' to say so";
        if (!rotationsStated && o.rotations.empty())
            warning += std::string(warning.empty() ? "" : "\n") + o.params +
                       " has no rotations line: its parameters are applied with the exact rotation matrix, as "
                       "files written before the line existed mean; add 'rotations exact' to say so, or "
                       "'rotations small-angle' for a published (EPSG) set";
    } else if (!fromCommandLine(o, withOrigin, p, error)) {
        return false;
    } else {
        parseConventionName(o.convention, p.convention);
        p.rotations = RotationForm::small_angle;
        if (!o.rotations.empty())
            parseRotationFormName(o.rotations, p.rotations);
    }
    try {
        if (withOrigin)
            p.molodenskyBadekas();
        else
            p.helmert();
    } catch (const std::invalid_argument& e) {
        error = e.what();
        return false;
    }
    out = p;
    return true;
}

void reportWarnings(const std::string& command, const std::string& warning)
{
    std::istringstream lines(warning);
    std::string line;
    while (std::getline(lines, line))
        if (!line.empty())
            report(command, "warning: " + line);
}

// ---- PROJ strings -------------------------------------------------------------

namespace {

// An upper bound (metres) of the difference between the rotation PROJ
// applies for `p` and the one this tool applies, for points up to 6400 km
// from the rotation origin: 6.4e6 m times the Frobenius norm of the
// difference of the two matrices.
double projRotationGap(const SevenParameters& p, bool exact)
{
    const double radius = 6.4e6;
    const Helmert7 tool(0, 0, 0, 0, p.rx, p.ry, p.rz, p.convention, p.rotations);
    const Helmert7 frame(0, 0, 0, 0, p.rx, p.ry, p.rz, Convention::CoordinateFrame);
    const bool pv = p.convention == Convention::PositionVector;
    // rx, ry, rz in radians.
    const double k = 3.14159265358979323846 / 648000.0, a = p.rx * k, b = p.ry * k, c = p.rz * k;
    // The small-angle coordinate-frame matrix; position vector is its transpose.
    const double linear[3][3] = {{1, c, -b}, {-c, 1, a}, {b, -a, 1}};
    double sum = 0;
    for (int j = 0; j < 3; ++j) {
        const Geocentric e{j == 0 ? 1.0 : 0.0, j == 1 ? 1.0 : 0.0, j == 2 ? 1.0 : 0.0};
        const Geocentric got = tool.forward(e);  // column j of the tool's matrix
        Geocentric want;
        if (exact)
            want = pv ? frame.inverse(e) : frame.forward(e);
        else
            want = pv ? Geocentric{linear[j][0], linear[j][1], linear[j][2]}
                      : Geocentric{linear[0][j], linear[1][j], linear[2][j]};
        sum += (got.x - want.x) * (got.x - want.x) + (got.y - want.y) * (got.y - want.y) +
               (got.z - want.z) * (got.z - want.z);
    }
    return radius * std::sqrt(sum);
}

} // namespace

namespace {

// The words of a PROJ string of one step ('#' lines are comments; a
// pipeline of exactly one step is the step itself); false with a message.
bool projStepTokens(const std::string& text, const std::string& proj, std::vector<std::string>& tokens,
                    std::string& error)
{
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (isPassThrough(line))
            continue;
        std::istringstream words(line);
        std::string w;
        while (words >> w)
            tokens.push_back(w);
    }
    if (tokens.size() >= 2 && tokens[0] == "+proj=pipeline") {
        if (tokens[1] != "+step") {
            error = "PROJ string: expected +step after +proj=pipeline";
            return false;
        }
        tokens.erase(tokens.begin(), tokens.begin() + 2);
        for (const std::string& t : tokens)
            if (t == "+step") {
                error = "PROJ string: the pipeline has more than one step; give the single " + proj + " step";
                return false;
            }
    }
    return true;
}

} // namespace

bool parseProjString(const std::string& text, bool withOrigin, SevenParameters& out, std::string& error)
{
    const std::string proj = withOrigin ? "molobadekas" : "helmert";
    std::vector<std::string> tokens;
    if (!projStepTokens(text, proj, tokens, error))
        return false;
    static const char* const keys[10] = {"x", "y", "z", "s", "rx", "ry", "rz", "px", "py", "pz"};
    bool seen[10] = {false};
    std::string projName, convention;
    bool exact = false, projSeen = false, conventionSeen = false;
    for (const std::string& t : tokens) {
        if (t.size() < 2 || t[0] != '+') {
            error = "PROJ string: '" + t + "' does not start with '+'";
            return false;
        }
        const std::size_t eq = t.find('=');
        const std::string key = t.substr(1, eq == std::string::npos ? std::string::npos : eq - 1);
        const std::string value = eq == std::string::npos ? std::string() : t.substr(eq + 1);
        // PROJ takes the first of a repeated key, a reader of the string
        // may take the last: a repeated key is refused, whatever it is.
        const bool repeated = (key == "proj" && projSeen) || (key == "exact" && exact) ||
                              (key == "convention" && conventionSeen);
        if (repeated) {
            error = "PROJ string: +" + key + " given twice";
            return false;
        }
        if (key == "proj") {
            projName = value;
            projSeen = true;
            continue;
        }
        if (key == "exact" && eq == std::string::npos) {
            exact = true;
            continue;
        }
        if (key == "convention") {
            convention = value;
            conventionSeen = true;
            continue;
        }
        std::size_t k = 0;
        while (k < (withOrigin ? 10u : 7u) && key != keys[k])
            ++k;
        if (k == (withOrigin ? 10u : 7u)) {
            const bool unit = key == "units" || key == "to_meter" || key == "xy_in" || key == "xy_out" ||
                              key == "z_in" || key == "z_out";
            const bool rate = key.size() > 1 && key[0] == 'd';
            error = "PROJ string: " +
                    (unit ? "+" + key + ": only PROJ's default units are read (metres, ppm, arc-seconds)"
                     : rate || key == "t_epoch" || key == "t_obs"
                         ? "+" + key + ": time-dependent parameters are not supported"
                         : "unknown key +" + key + " for +proj=" + proj);
            return false;
        }
        if (seen[k]) {
            error = "PROJ string: +" + key + " given twice";
            return false;
        }
        std::string why;
        if (!parseNumber(value, *field(out, k), why)) {
            error = "PROJ string: +" + key + ": " + why;
            return false;
        }
        seen[k] = true;
    }
    if (projName != proj) {
        error = projName.empty() ? "PROJ string: no +proj= key"
                                 : "PROJ string: +proj=" + projName + " where +proj=" + proj + " is read";
        return false;
    }
    for (std::size_t k = 0; k < (withOrigin ? 10u : 7u); ++k)
        if (!seen[k]) {
            error = std::string("PROJ string: +") + keys[k] + "= is missing";
            return false;
        }
    if (convention == "position_vector")
        out.convention = Convention::PositionVector;
    else if (convention == "coordinate_frame")
        out.convention = Convention::CoordinateFrame;
    else {
        error = convention.empty() ? "PROJ string: +convention= is missing (position_vector or coordinate_frame)"
                                   : "PROJ string: +convention=" + convention +
                                         " is neither position_vector nor coordinate_frame";
        return false;
    }
    // PROJ applies the small-angle matrix unless +exact is given, and so
    // does this tool for such a string. With +exact PROJ reads
    // position_vector rotations as the transposed coordinate-frame matrix,
    // where this tool's exact form applies R3(rz) R2(ry) R1(rx) of the
    // angles in their convention. The difference is of second order in the
    // angles; the string is taken only while the two readings agree to
    // 0.1 mm at the Earth's surface.
    out.rotations = exact ? RotationForm::exact : RotationForm::small_angle;
    const double limit = 648000.0;  // larger rotations are refused with the other ranges
    if (!(std::fabs(out.rx) <= limit && std::fabs(out.ry) <= limit && std::fabs(out.rz) <= limit))
        return true;
    const double gap = projRotationGap(out, exact);
    if (!(gap <= 1e-4)) {
        error = fmt::format("PROJ string: PROJ reads these rotations (+convention={}{}) differently from this "
                            "tool, by up to {:.2f} mm at the Earth's surface; write them as "
                            "+convention=coordinate_frame +exact, or without +exact, which both read alike",
                            convention, exact ? " +exact" : "", gap * 1e3);
        return false;
    }
    return true;
}

bool parseTimeDependentProjString(const std::string& text, TimeDependentParameters& out, std::string& error)
{
    std::vector<std::string> tokens;
    if (!projStepTokens(text, "helmert", tokens, error))
        return false;
    static const char* const keys[15] = {"x",  "y",  "z",   "s",   "rx",  "ry",  "rz",     "dx",
                                         "dy", "dz", "ds", "drx", "dry", "drz", "t_epoch"};
    double* fields[15] = {&out.values.tx, &out.values.ty, &out.values.tz, &out.values.s,  &out.values.rx,
                          &out.values.ry, &out.values.rz, &out.rates.tx,  &out.rates.ty,  &out.rates.tz,
                          &out.rates.s,   &out.rates.rx,  &out.rates.ry,  &out.rates.rz,  &out.tRef};
    for (double* f : fields)
        *f = 0.0;
    bool seen[15] = {false};
    std::string projName, convention;
    out.rotations = Rotations::SmallAngle;
    for (const std::string& t : tokens) {
        const std::size_t eq = t.find('=');
        const std::string key = t.size() < 2 || t[0] != '+' ? std::string()
                                                            : t.substr(1, eq == std::string::npos ? eq : eq - 1);
        const std::string value = eq == std::string::npos ? std::string() : t.substr(eq + 1);
        if (key.empty()) {
            error = "PROJ string: '" + t + "' does not start with '+'";
            return false;
        }
        if (key == "proj" || key == "convention") {
            (key == "proj" ? projName : convention) = value;
            continue;
        }
        if (key == "exact" && eq == std::string::npos) {
            out.rotations = Rotations::Exact;
            continue;
        }
        std::size_t k = 0;
        while (k < 15 && key != keys[k])
            ++k;
        if (k == 15) {
            error = "PROJ string: " + (key == "t_obs" ? std::string("+t_obs: give the epoch with --epoch or a column")
                                                      : "unknown key +" + key + " for a time-dependent +proj=helmert");
            return false;
        }
        std::string why;
        if (seen[k] || !parseNumber(value, *fields[k], why)) {
            error = "PROJ string: +" + key + (seen[k] ? " given twice" : ": " + why);
            return false;
        }
        seen[k] = true;
    }
    if (projName != "helmert") {
        error = projName.empty() ? "PROJ string: no +proj= key"
                                 : "PROJ string: +proj=" + projName + " where +proj=helmert is read";
        return false;
    }
    out.hasEpoch = seen[14];
    out.hasValues = false;
    for (int k = 0; k < 7; ++k)
        out.hasValues = out.hasValues || seen[k];
    const bool rotations = seen[4] || seen[5] || seen[6] || seen[11] || seen[12] || seen[13];
    if (convention == "position_vector")
        out.convention = Convention::PositionVector;
    else if (convention == "coordinate_frame")
        out.convention = Convention::CoordinateFrame;
    else if (!convention.empty() || rotations) {
        error = convention.empty() ? "PROJ string: +convention= is missing (position_vector or coordinate_frame)"
                                   : "PROJ string: +convention=" + convention +
                                         " is neither position_vector nor coordinate_frame";
        return false;
    }
    return true;
}

bool readProjSet(const std::string& setRef, std::string& text, std::string& error)
{
    const std::size_t colon = setRef.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == setRef.size()) {
        error = "'" + setRef + "' is not FILE:NAME (for example /usr/share/proj/ITRF2014:ITRF2008)";
        return false;
    }
    const std::string path = setRef.substr(0, colon), name = setRef.substr(colon + 1);
    std::string file;
    if (!readFile(path, file, error))
        return false;
    // An entry runs from "<NAME>" to the next line starting with '<'.
    const std::string tag = "<" + name + ">";
    std::istringstream lines(file);
    std::string line;
    bool inside = false, found = false;
    text.clear();
    while (std::getline(lines, line)) {
        const std::size_t first = line.find_first_not_of(" \t\r");
        if (first != std::string::npos && line[first] == '<') {
            inside = line.compare(first, tag.size(), tag) == 0;
            if (inside) {
                found = true;
                line = line.substr(first + tag.size());
            }
        }
        if (inside)
            text += line.substr(0, line.find('#')) + "\n";
    }
    if (!found) {
        error = path + " has no entry <" + name + ">";
        return false;
    }
    return true;
}

std::string formatProjString(const SevenParameters& p, bool withOrigin)
{
    std::string out = fmt::format("+proj={} +x={:.17g} +y={:.17g} +z={:.17g} +rx={:.17g} +ry={:.17g} +rz={:.17g} "
                                  "+s={:.17g}",
                                  withOrigin ? "molobadekas" : "helmert", p.tx, p.ty, p.tz, p.rx, p.ry, p.rz, p.s);
    if (withOrigin)
        out += fmt::format(" +px={:.17g} +py={:.17g} +pz={:.17g}", p.origin.x, p.origin.y, p.origin.z);
    out += p.convention == Convention::PositionVector ? " +convention=position_vector" : " +convention=coordinate_frame";
    return out + (p.rotations == RotationForm::exact ? " +exact\n" : "\n");
}

std::string formatTimeDependentProjString(const TimeDependentParameters& p)
{
    const HelmertValues& v = p.values;
    const HelmertValues& d = p.rates;
    std::string out = fmt::format("+proj=helmert +x={:.17g} +y={:.17g} +z={:.17g} +s={:.17g} +rx={:.17g} "
                                  "+ry={:.17g} +rz={:.17g}",
                                  v.tx, v.ty, v.tz, v.s, v.rx, v.ry, v.rz);
    out += fmt::format(" +dx={:.17g} +dy={:.17g} +dz={:.17g} +ds={:.17g} +drx={:.17g} +dry={:.17g} +drz={:.17g}",
                       d.tx, d.ty, d.tz, d.s, d.rx, d.ry, d.rz);
    out += fmt::format(" +t_epoch={:.17g}", p.tRef);
    out += p.convention == Convention::PositionVector ? " +convention=position_vector" : " +convention=coordinate_frame";
    return out + (p.rotations == Rotations::Exact ? " +exact\n" : "\n");
}

} // namespace cli
} // namespace tervala
