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

namespace tervala {
namespace cli {
namespace {

// 180 * 3600 / pi: arc-seconds per radian.
constexpr double kArcsecondsPerRadian = 206264.80624709636;

struct DiagnoseOptions {
    SevenParameterOptions params;
    std::string pointsFile;
};

// One way of reading the stated parameters.
struct Reading {
    bool otherConvention = false;  // rotations in the other sign convention
    bool opposite = false;         // the set maps target to source
    bool radians = false;          // rotations given in radians
    bool factor = false;           // scale given as a factor m, not in ppm
    bool otherForm = false;        // the other rotation matrix (small-angle / exact)
    SevenParameters set;           // the set in ppm and arc-seconds, as this reading means it
    bool applicable = true;        // the values make a transformation in this reading
    double rms = 0, largest = 0;   // 3D misfit over the points, metres
    int changes() const { return otherConvention + opposite + radians + factor + otherForm; }
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

// The misfit of a reading over the points: |applied(X) - X'| per point.
void measure(Reading& r, const std::vector<CommonPoint>& points)
{
    try {
        const Helmert7 h = r.set.helmert();
        double sum = 0;
        for (const CommonPoint& p : points) {
            const Geocentric x{p.source[0], p.source[1], p.source[2]};
            const Geocentric y = r.opposite ? h.inverse(x) : h.forward(x);
            const double d = std::sqrt((y.x - p.target[0]) * (y.x - p.target[0]) +
                                       (y.y - p.target[1]) * (y.y - p.target[1]) +
                                       (y.z - p.target[2]) * (y.z - p.target[2]));
            sum += d * d;
            r.largest = std::max(r.largest, d);
        }
        r.rms = std::sqrt(sum / static_cast<double>(points.size()));
        r.applicable = std::isfinite(r.rms);
    } catch (const std::invalid_argument&) {
        r.applicable = false;
    }
}

std::vector<Reading> readings(const SevenParameters& stated, const std::vector<CommonPoint>& points)
{
    // Rotations stated in radians are below 1e-2 (2000 arc-seconds); a
    // scale stated as a factor lies within 1 % of 1. Other values are not
    // read that way.
    const bool radiansPossible = std::max({std::fabs(stated.rx), std::fabs(stated.ry), std::fabs(stated.rz)}) < 1e-2;
    const bool factorPossible = std::fabs(stated.s - 1) < 1e-2;
    std::vector<Reading> out;
    for (int mask = 0; mask < 32; ++mask) {
        if (((mask & 4) && !radiansPossible) || ((mask & 8) && !factorPossible))
            continue;
        Reading r;
        r.otherConvention = mask & 1;
        r.opposite = mask & 2;
        r.radians = mask & 4;
        r.factor = mask & 8;
        r.otherForm = mask & 16;
        r.set = stated;
        if (r.otherConvention)
            r.set.convention = stated.convention == Convention::PositionVector ? Convention::CoordinateFrame
                                                                              : Convention::PositionVector;
        if (r.otherForm)
            r.set.rotations =
                stated.rotations == RotationForm::exact ? RotationForm::small_angle : RotationForm::exact;
        if (r.radians) {
            r.set.rx *= kArcsecondsPerRadian;
            r.set.ry *= kArcsecondsPerRadian;
            r.set.rz *= kArcsecondsPerRadian;
        }
        if (r.factor)
            r.set.s = (stated.s - 1) * 1e6;
        measure(r, points);
        out.push_back(r);
    }
    // Best first; among readings that fit equally (to 0.1 mm), the one that
    // changes least of what was stated.
    std::stable_sort(out.begin(), out.end(), [](const Reading& a, const Reading& b) {
        if (a.applicable != b.applicable)
            return a.applicable;
        if (std::fabs(a.rms - b.rms) > 1e-4)
            return a.rms < b.rms;
        return a.changes() < b.changes();
    });
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
