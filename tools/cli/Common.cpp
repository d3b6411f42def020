#include <algorithm>
#include <iterator>

#include "Commands.h"
#include "Params.h"
#include "Text.h"
#include "platform/Files.h"

namespace tervala {
namespace cli {

bool Context::prepare(const std::string& command)
{
    std::string error;
    if (!resolveEllipsoid(ellipsoidText, ellipsoid, error)) {
        report(command, "--ellipsoid: " + error);
        return false;
    }
    // A sphere has Krueger's projections only; the other commands run the
    // legacy members, which need a flattening.
    static const char* const sphereCommands[] = {"tm", "tm-inverse", "utm", "utm-inverse", "utmups", "mgrs"};
    if (ellipsoid.inverseFlattening == 0 &&
        std::find(std::begin(sphereCommands), std::end(sphereCommands), command) == std::end(sphereCommands)) {
        report(command, "--ellipsoid: a sphere (1/f = 0) is served by tm, tm-inverse, utm, utm-inverse, utmups and "
                        "mgrs; " + command + " needs an ellipsoid (a,1/f with 1/f > 1)");
        return false;
    }
    if (!dataDir.empty())
        CTervala::SetDataFolder(dataDir.c_str());
    return true;
}

CTervala Context::object() const
{
    CTervala t;
    t.Setup_Ellipsoid(ellipsoid.a, ellipsoid.inverseFlattening);
    return t;
}

void addCommonOptions(CLI::App* app, Context& ctx, bool withEllipsoid)
{
    const std::string group = "Common options";
    app->add_option_function<std::string>(
           "--input-string,-s",
           [&ctx](const std::string& s) {
               ctx.io.inputString = s;
               ctx.io.haveInputString = true;
           },
           "Read input lines from this text (lines separated by ';' or newlines)")
        ->group(group);
    app->add_option("--input-file,-i", ctx.io.inputFile, "Read input lines from this file (- for standard input)")
        ->group(group);
    app->add_option("--output-file,-o", ctx.io.outputFile,
                    "Write results to this file (a regular file is replaced only once complete, keeping its mode; a "
                    "link's target likewise; a FIFO or device is written directly)")
        ->group(group);
    app->add_option("--skip-lines", ctx.io.skipLines,
                    "Drop this many header lines at the start of the input unread (as cct -s: they are not written)")
        ->check(CLI::NonNegativeNumber)
        ->group(group);
    app->add_option("--delimiter", ctx.io.delimiter,
                    "Field separator: comma, semicolon, tab or blank. Default: judged from the first data line (a "
                    "tab, else ';', else ',', else blanks); output uses the same. Empty fields and decimal commas "
                    "are refused")
        ->group(group);
    app->add_option("--columns,-c", ctx.io.columns,
                    "1-based input fields holding the coordinates, in the order the command reads them (as cct -c). "
                    "Without it a first field that is not a number is a point identifier, copied first; fields "
                    "after the coordinates (codes, descriptions) are copied after the results")
        ->group(group);
    app->add_option("--precision,-p", ctx.io.precision,
                    "Decimals of lengths in metres; angles get 5 more decimals of degrees")
        ->check(CLI::Range(0, 12))
        ->group(group);
    if (withEllipsoid)
        app->add_option("--ellipsoid,-e", ctx.ellipsoidText,
                        "WGS84 (default), GRS80, Bessel1841, Clarke1866, International1924, Krassovsky1940, "
                        "Airy1830, or a,1/f (R,0: a sphere of radius R, for tm, utm, utmups and mgrs)")
            ->group(group);
    app->add_option("--data-dir", ctx.dataDir, "Folder holding the geoid data files (overrides TERVALA_DATA_DIR)")
        ->group(group);
}

CLI::Validator finiteNumber()
{
    return CLI::Validator(
        [](std::string& text) {
            double v = 0;
            std::string error;
            return parseNumber(text, v, error) ? std::string() : error;
        },
        "NUMBER");
}

CLI::Validator positiveNumber()
{
    return CLI::Validator(
        [](std::string& text) {
            double v = 0;
            std::string error;
            if (!parseNumber(text, v, error))
                return error;
            return v > 0 ? std::string() : "must be greater than zero, got " + text;
        },
        "POSITIVE");
}

bool parsePosition(const std::vector<std::string>& f, bool withHeight, double& lat, double& lon, double& h,
                   std::string& error)
{
    if (f.size() < 2 || f.size() > (withHeight ? 3u : 2u)) {
        error = std::string("expected ") + (withHeight ? "2 or 3 fields (latitude longitude [height])"
                                                       : "2 fields (latitude longitude)") +
                ", got " + std::to_string(f.size());
        return false;
    }
    std::string why;
    if (!parseAngle(f[0], AngleKind::Latitude, lat, why)) {
        error = "latitude: " + why;
        return false;
    }
    if (!parseAngle(f[1], AngleKind::Longitude, lon, why)) {
        error = "longitude: " + why;
        return false;
    }
    h = 0.0;
    if (f.size() == 3 && !parseNumber(f[2], h, why)) {
        error = "height: " + why;
        return false;
    }
    return true;
}

bool resolveParams(const std::string& text, const std::string& model, std::size_t count, std::vector<double>& values,
                   bool& fromFile, std::string& error, std::vector<std::vector<double>>* covariance)
{
    if (covariance)
        covariance->clear();
    if (tervala::platform::isRegularFile(text)) {
        ParamSet set;
        if (!readParamFile(text, model, set, error))
            return false;
        values = set.values;
        fromFile = true;
        if (covariance)
            *covariance = covarianceOver(set, std::vector<std::string>(set.keys.begin(),
                                                                       set.keys.begin() + static_cast<std::ptrdiff_t>(count)));
        return true;
    }
    fromFile = false;
    if (text.find(',') == std::string::npos && text.find_first_of("0123456789") == std::string::npos) {
        error = "'" + text + "' is neither a parameter file nor a list of numbers";
        return false;
    }
    return parseNumberList(text, count, values, error);
}

} // namespace cli
} // namespace tervala
