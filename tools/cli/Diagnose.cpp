// `tervala diagnose`: published seven parameters against the user's own
// common points. Each way the parameters may have been meant (rotation
// convention, direction, rotations in radians, scale as a factor, small-angle
// or exact rotation matrix) is applied to the source points and its misfit
// against the target points measured; the reading that fits best is named
// and its parameter line printed.
#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>

#include <fmt/format.h>

#include "CommonPoints.h"
#include "Commands.h"
#include "Params.h"
#include "Text.h"
#include "modern/ConventionReadings.h"

namespace tervala {
namespace cli {
namespace {

struct DiagnoseOptions {
    SevenParameterOptions params;
    std::string pointsFile;
};

// One way of reading the stated parameters, from the library's readings.
struct Reading : SevenReading {
    SevenParameters set;  // the reading's set as the tool's options hold it
};

std::string describe(const Reading& r)
{
    std::vector<std::string> parts;
    const SevenParameters& s = r.set;
    parts.push_back(conventionName(s.convention));
    parts.push_back(rotationFormName(s.rotations));
    if (r.opposite)
        parts.push_back("opposite direction");
    if (r.radians)
        parts.push_back("rotations in radians");
    if (r.factor)
        parts.push_back("scale as factor");
    std::string text;
    for (const std::string& p : parts)
        text += (text.empty() ? "" : ", ") + p;
    if (r.changes() == 0)
        text += " (as stated)";
    return text;
}

std::vector<Reading> readings(const SevenParameters& stated, const std::vector<CommonPoint>& points)
{
    std::vector<Geocentric> source, target;
    for (const CommonPoint& p : points) {
        source.push_back(Geocentric{p.source[0], p.source[1], p.source[2]});
        target.push_back(Geocentric{p.target[0], p.target[1], p.target[2]});
    }
    const StatedSeven given{stated.tx, stated.ty, stated.tz, stated.s, stated.rx, stated.ry, stated.rz,
                            stated.convention, stated.rotations};
    std::vector<Reading> out;
    for (const SevenReading& r : sevenParameterReadings(given, source, target)) {
        Reading reading;
        static_cast<SevenReading&>(reading) = r;
        const StatedSeven& m = r.meant;
        reading.set = stated;
        reading.set.tx = m.tx, reading.set.ty = m.ty, reading.set.tz = m.tz, reading.set.s = m.s;
        reading.set.rx = m.rx, reading.set.ry = m.ry, reading.set.rz = m.rz;
        reading.set.convention = m.convention;
        reading.set.rotations = m.rotations;
        out.push_back(reading);
    }
    return out;
}

// Shortest decimal forms that read back as the same doubles.
std::string numberList(const SevenParameters& s)
{
    return fmt::format("{},{},{},{},{},{},{}", s.tx, s.ty, s.tz, s.s, s.rx, s.ry, s.rz);
}

std::string projString(const SevenParameters& s, bool inverse)
{
    return fmt::format("+proj=helmert +x={} +y={} +z={} +rx={} +ry={} +rz={} +s={} +convention={}{}{}", s.tx, s.ty,
                       s.tz, s.rx, s.ry, s.rz, s.s,
                       s.convention == Convention::PositionVector ? "position_vector" : "coordinate_frame",
                       s.rotations == RotationForm::exact ? " +exact" : "", inverse ? " +inv" : "");
}

int diagnose(const DiagnoseOptions& o)
{
    const std::string command = "diagnose";
    SevenParameters stated;
    std::string error, warning;
    if (!resolveSevenParameters(o.params, false, stated, error, warning)) {
        report(command, error);
        return 2;
    }
    reportWarnings(command, warning);
    std::string text;
    if (!readFile(o.pointsFile, text, error)) {
        report(command, "common-point file: " + error);
        return 2;
    }
    std::vector<CommonPoint> points;
    std::vector<std::string> errors;
    if (!parseCommonPoints(text, "bursa-wolf", points, errors)) {
        for (const std::string& e : errors)
            report(command, o.pointsFile + ": " + e);
        return 1;
    }
    if (points.empty()) {
        report(command, "the file has no common points");
        return 1;
    }
    const std::vector<Reading> all = readings(stated, points);
    if (!all.front().applicable) {
        report(command, "no reading of the parameters gives a transformation");
        return 1;
    }
    std::printf("Readings of the parameters against %zu common point%s (%s); misfit |T(X) - X'|, metres\n",
                points.size(), points.size() == 1 ? "" : "s", o.pointsFile.c_str());
    std::printf("%10s %10s  %s\n", "RMS", "largest", "reading");
    // The eight best, then how many more there are.
    std::size_t shown = 0, more = 0;
    for (const Reading& r : all) {
        if (!r.applicable)
            continue;
        if (shown < 8 || r.changes() == 0) {
            std::printf("%10.4f %10.4f  %s\n", r.rms, r.largest, describe(r).c_str());
            ++shown;
        } else {
            ++more;
        }
    }
    if (more > 0)
        std::printf("(%zu more reading%s, each worse)\n", more, more == 1 ? "" : "s");
    const Reading& best = all.front();
    std::size_t ties = 0;
    for (std::size_t k = 1; k < all.size(); ++k)
        ties += all[k].applicable && std::fabs(all[k].rms - best.rms) <= 1e-4 ? 1 : 0;
    std::printf("\nBest reading: %s, RMS %.4f m", describe(best).c_str(), best.rms);
    const Reading* stated_ = nullptr;
    for (const Reading& r : all)
        if (r.changes() == 0)
            stated_ = &r;
    if (stated_ && stated_->applicable)
        std::printf(" (as stated: %.4f m)", stated_->rms);
    std::printf("\n");
    if (ties > 0)
        std::printf("%zu other reading%s fit%s as well (within 0.1 mm): the points cannot tell %s apart.\n", ties,
                    ties == 1 ? "" : "s", ties == 1 ? "s" : "", ties == 1 ? "them" : "these");
    std::printf("Corrected parameters (tx,ty,tz m, s ppm, rx,ry,rz arc-seconds):\n");
    std::printf("  --params %s --convention %s --rotations %s%s\n", numberList(best.set).c_str(),
                conventionName(best.set.convention), rotationFormName(best.set.rotations),
                best.opposite ? " --inverse" : "");
    if (best.opposite && best.set.rotations == RotationForm::small_angle)
        std::printf("  (PROJ's +inv of a small-angle set applies the transposed matrix, not its inverse: at rotations "
                    "of\n  arc-seconds the two differ by millimetres; helmert7 --inverse applies the exact inverse)\n");
    std::printf("  %s\n", projString(best.set, best.opposite).c_str());
    return 0;
}

} // namespace

void addDiagnoseCommand(CLI::App& app, Context&, Registry& registry)
{
    auto o = std::make_shared<DiagnoseOptions>();
    CLI::App* sub = app.add_subcommand(
        "diagnose", "How published seven parameters are meant: each reading (convention, direction, units, "
                    "rotation form) against common points");
    addSevenParameterOptions(sub, o->params, false);
    sub->add_option("points", o->pointsFile, "Common points: id X Y Z X' Y' Z' (geocentric, metres; - for standard input)")
        ->required();
    sub->footer("The parameters are read as stated (--params FILE or LIST with --convention and --rotations) and in\n"
                "every other way: the other rotation convention, the opposite direction (target to source),\n"
                "rotations in radians instead of arc-seconds, the scale as a factor instead of ppm, and the\n"
                "other rotation matrix (small-angle or exact). Each reading's RMS and largest 3D misfit over\n"
                "the points is listed, best first; the best is named and its parameters printed for\n"
                "helmert7 and as a PROJ string.");
    registry.add(sub, [o] { return diagnose(*o); });
}

} // namespace cli
} // namespace tervala
