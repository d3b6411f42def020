// Least-squares fits from common points, with a report a surveyor can file,
// an optional parameter file for the transform subcommands and an optional
// SVG plot of the horizontal residuals.
#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include <fmt/format.h>

#include "CommonPoints.h"
#include "Commands.h"
#include "Params.h"
#include "Svg.h"
#include "Text.h"
#include "estimation/Degeneracy.h"
#include "estimation/LeastSquares.h"

namespace tervala {
namespace cli {

namespace {


std::string sd(double variance, int decimals)
{
    if (!(variance >= 0) || !std::isfinite(variance))
        return "n/a";
    return fmt::format("{:.{}f}", std::sqrt(variance), decimals);
}

// Writes what --write-params and --plot ask for; the exit status so far
// becomes 2 when a file cannot be written.
int writeOutputs(const std::string& command, const FitOptions& o, const ParamSet& set, const std::vector<PlotPoint>& plot,
                 const std::string& plotTitle, int status)
{
    if (!o.writeParams.empty()) {
        if (!writeFileAtomically(command, o.writeParams,
                                 formatParamText(set, "written by tervala " + command + " from " + o.pointsFile)))
            status = 2;
        else
            std::printf("\nParameters written to %s\n", o.writeParams.c_str());
    }
    if (!o.plot.empty()) {
        if (!writeFileAtomically(command, o.plot, residualPlot(plot, plotTitle)))
            status = 2;
        else
            std::printf("Residual plot written to %s\n", o.plot.c_str());
    }
    return status;
}

// Reads and parses the common-point file of a fit; reports and returns the
// exit status (non-zero) on failure.
int readPoints(const std::string& command, const std::string& model, const FitOptions& o, std::vector<CommonPoint>& points)
{
    std::string text, error;
    if (!readFile(o.pointsFile, text, error)) {
        report(command, "common-point file: " + error);
        return 2;
    }
    std::vector<std::string> errors;
    if (!parseCommonPoints(text, model, points, errors)) {
        for (const std::string& e : errors)
            report(command, o.pointsFile + ": " + e);
        return 1;
    }
    return 0;
}

// Index of the largest value (first on ties); -1 when none is finite.
int largest(const std::vector<double>& v)
{
    int best = -1;
    for (std::size_t i = 0; i < v.size(); ++i)
        if (std::isfinite(v[i]) && (best < 0 || v[i] > v[static_cast<std::size_t>(best)]))
            best = static_cast<int>(i);
    return best;
}

// Refuses a fit whose points cannot determine it or whose result is not a
// number: the estimators would report NaN or arbitrary values as converged.
bool refuseDegenerate(const std::string& command, const std::vector<double>& coordinates, int dimension, int needed,
                      const char* geometry)
{
    const int rank = estimation::spreadRank(coordinates.data(), coordinates.size() / static_cast<std::size_t>(dimension),
                                            dimension);
    if (rank >= needed)
        return false;
    report(command, std::string("the source points ") + (rank == 0 ? "coincide" : "lie on one line") +
                        "; this fit needs " + geometry + " (no parameters written)");
    return true;
}

bool refuseNonFinite(const std::string& command, const std::vector<double>& values)
{
    if (estimation::allFinite(values.data(), values.size()))
        return false;
    report(command, "the fit gave parameters that are not numbers (singular normal equations); no parameters "
                    "written");
    return true;
}

// Residual rows of the report, the plot and the index of the largest.
struct ResidualTable {
    std::vector<std::string> rows;
    std::vector<PlotPoint> plot;
    int worst = -1;
    double worstNorm = 0;
};

void printResidualRows(ResidualTable& table)
{
    for (std::size_t k = 0; k < table.rows.size(); ++k)
        std::printf("%s%s\n", table.rows[k].c_str(), static_cast<int>(k) == table.worst ? "  <-- largest" : "");
    if (table.worst >= 0)
        table.plot[static_cast<std::size_t>(table.worst)].flagged = true;
}

// ---- seven parameters ---------------------------------------------------------

struct SevenReport {
    bool badekas = false;
    bool converged = false;
    int observations = 0;
    double sigma0 = 0;
    double origin[3] = {0, 0, 0};
    double values[7] = {};
    double variances[7] = {};
    ResidualTable residuals;
};

// Residuals per point, also turned into the local east, north, up frame at
// the point so that horizontal and vertical misfits can be told apart.
ResidualTable sevenResiduals(const CTervala& t, const std::vector<CommonPoint>& points, const Context& ctx)
{
    ResidualTable table;
    std::vector<double> lats, lons, norms;
    CTervala geo = ctx.object();
    for (const CommonPoint& p : points) {
        double X = p.target[0], Y = p.target[1], Z = p.target[2];
        geo.Geocentric_to_Geodetic(X, Y, Z);
        lats.push_back(geo.GetGeodetic(0) * M_PI / 180);
        lons.push_back(geo.GetGeodetic(1) * M_PI / 180);
    }
    double latC = 0, lonC = 0;
    for (std::size_t k = 0; k < points.size(); ++k) {
        latC += lats[k] / static_cast<double>(points.size());
        lonC += lons[k] / static_cast<double>(points.size());
    }
    CTervala& object = const_cast<CTervala&>(t);
    for (std::size_t k = 0; k < points.size(); ++k) {
        const double vx = object.GetResidual(static_cast<int>(3 * k + 1));
        const double vy = object.GetResidual(static_cast<int>(3 * k + 2));
        const double vz = object.GetResidual(static_cast<int>(3 * k + 3));
        const double sl = std::sin(lats[k]), cl = std::cos(lats[k]), so = std::sin(lons[k]), co = std::cos(lons[k]);
        const double ve = -so * vx + co * vy;
        const double vn = -sl * co * vx - sl * so * vy + cl * vz;
        const double vu = cl * co * vx + cl * so * vy + sl * vz;
        norms.push_back(std::sqrt(vx * vx + vy * vy + vz * vz));
        table.rows.push_back(fmt::format("{:<12} {:9.4f} {:9.4f} {:9.4f}   {:9.4f} {:9.4f} {:9.4f} {:9.4f}",
                                         points[k].id, vx, vy, vz, ve, vn, vu, norms.back()));
        // Horizontal position on a local tangent plane around the centroid.
        const double a = ctx.ellipsoid.a;
        table.plot.push_back(
            PlotPoint{points[k].id, (lons[k] - lonC) * std::cos(latC) * a, (lats[k] - latC) * a, ve, vn, false});
    }
    table.worst = largest(norms);
    if (table.worst >= 0)
        table.worstNorm = norms[static_cast<std::size_t>(table.worst)];
    return table;
}

SevenReport computeSevenReport(bool badekas, const std::vector<CommonPoint>& points, const Context& ctx, CTervala& t)
{
    std::vector<double> src, dst;
    for (const CommonPoint& p : points) {
        src.insert(src.end(), p.source.begin(), p.source.end());
        dst.insert(dst.end(), p.target.begin(), p.target.end());
    }
    SevenReport fit;
    fit.badekas = badekas;
    fit.observations = static_cast<int>(src.size());
    fit.converged = badekas ? t.SevenParameters_Molodensky_BadekasModel(fit.observations, src.data(), dst.data())
                            : t.SevenParameters_Bursa_WolfModel(fit.observations, src.data(), dst.data());
    fit.sigma0 = t.GetSigma();
    for (int i = 0; i < 3; ++i)
        fit.origin[i] = t.GetRotOrigin(i);
    for (int i = 0; i < 7; ++i) {
        fit.values[i] = t.GetSevenParameters(i);
        fit.variances[i] = t.GetSevenCovariance(i, i);
    }
    fit.residuals = sevenResiduals(t, points, ctx);
    return fit;
}

void printSevenReport(SevenReport& fit, const std::vector<CommonPoint>& points, const std::string& source)
{
    std::printf("Fit of the %s transformation from %zu common points (%s)\n",
                fit.badekas ? "Molodensky-Badekas" : "Bursa-Wolf", points.size(), source.c_str());
    std::printf("Model: X' = T %s+ (1 + s 1e-6) R (X%s), R = R3(rz) R2(ry) R1(rx), coordinate frame rotation\n",
                fit.badekas ? "+ X0 " : "", fit.badekas ? " - X0" : "");
    std::printf("Converged:      %s\n", fit.converged ? "yes" : "NO (pass limit reached; parameters are the last pass's)");
    std::printf("Observations:   %d, unknowns: 7, redundancy: %d\n", fit.observations, fit.observations - 7);
    std::printf("Sigma0:         %.4f m\n\n", fit.sigma0);
    if (fit.badekas)
        std::printf("Rotation origin (source centroid): X0 %.4f  Y0 %.4f  Z0 %.4f m\n\n", fit.origin[0], fit.origin[1],
                    fit.origin[2]);
    static const char* names[] = {"tx (m)", "ty (m)", "tz (m)", "s (ppm)", "rx (\")", "ry (\")", "rz (\")"};
    std::printf("%-12s %16s %12s\n", "Parameter", "Value", "Std. dev.");
    for (int i = 0; i < 7; ++i)
        std::printf("%-12s %16.6f %12s\n", names[i], fit.values[i], sd(fit.variances[i], 6).c_str());

    std::printf("\nResiduals (transformed source minus target), metres\n");
    std::printf("%-12s %9s %9s %9s   %9s %9s %9s %9s\n", "Point", "vX", "vY", "vZ", "vE", "vN", "vU", "|v|");
    printResidualRows(fit.residuals);
    if (fit.residuals.worst >= 0 && fit.sigma0 > 0 && std::isfinite(fit.sigma0))
        std::printf("\nLargest residual: point %s, %.4f m = %.1f sigma0\n",
                    points[static_cast<std::size_t>(fit.residuals.worst)].id.c_str(), fit.residuals.worstNorm,
                    fit.residuals.worstNorm / fit.sigma0);
}

int fitSevenPoints(const std::string& model, const std::vector<CommonPoint>& points, const FitOptions& o,
                   const Context& ctx)
{
    const std::string command = "fit " + model;
    if (points.size() < 3) {
        report(command, "at least 3 common points are needed, the file has " + std::to_string(points.size()));
        return 1;
    }
    std::vector<double> src;
    for (const CommonPoint& p : points)
        src.insert(src.end(), p.source.begin(), p.source.end());
    if (refuseDegenerate(command, src, 3, estimation::kSevenParameterRank, "points spread over a plane or a volume"))
        return 1;
    CTervala t = ctx.object();
    SevenReport fit = computeSevenReport(model == "molodensky-badekas", points, ctx, t);
    ParamSet set{model, modelKeys(model), {}};
    if (fit.badekas)
        set.values.assign(fit.origin, fit.origin + 3);
    set.values.insert(set.values.end(), fit.values, fit.values + 7);
    if (refuseNonFinite(command, set.values))
        return 1;
    printSevenReport(fit, points, o.pointsFile);
    return writeOutputs(command, o, set, fit.residuals.plot,
                        (fit.badekas ? "Molodensky-Badekas" : "Bursa-Wolf") + std::string(" fit: horizontal residuals"),
                        fit.converged ? 0 : 1);
}

int fitSeven(const std::string& model, const FitOptions& o, const Context& ctx)
{
    std::vector<CommonPoint> points;
    if (const int status = readPoints("fit " + model, model, o, points))
        return status;
    return fitSevenPoints(model, points, o, ctx);
}

// ---- 2D Helmert -----------------------------------------------------------------

struct HelmertReport {
    double origin[2] = {0, 0};
    double t1 = 0, t2 = 0, scalePpm = 0, rotation = 0;
    double varT1 = 0, varT2 = 0;  // m^2
    double varScale = 0, varRotation = 0;  // ppm^2, arc-second^2
    double sigma0 = 0;
    int observations = 0;
    ResidualTable residuals;
};

HelmertReport computeHelmertReport(const std::vector<CommonPoint>& points)
{
    std::vector<double> src, dst;
    for (const CommonPoint& p : points) {
        src.insert(src.end(), p.source.begin(), p.source.end());
        dst.insert(dst.end(), p.target.begin(), p.target.end());
    }
    HelmertReport fit;
    fit.observations = static_cast<int>(src.size());
    // The estimator behind Parameters_2DHelmert; it also returns the source
    // centroid its unknowns refer to.
    const Helmert2DFit t = tervala::fitHelmert2D(fit.observations, src.data(), dst.data());
    fit.origin[0] = t.origin[0];
    fit.origin[1] = t.origin[1];
    fit.t2 = t.parameters[0];
    fit.t1 = t.parameters[1];
    fit.scalePpm = t.parameters[2];
    fit.rotation = t.parameters[3];
    fit.varT1 = t.covariance[1][1];
    fit.varT2 = t.covariance[0][0];
    fit.sigma0 = t.sigma;
    // Scale and rotation derive from c = m cos(theta), d = m sin(theta):
    // propagate the covariance of (c, d) to them.
    const double m = 1 + fit.scalePpm * 1e-6, theta = fit.rotation * M_PI / 648000;
    const double c = m * std::cos(theta), d = m * std::sin(theta);
    const double qcc = t.covariance[2][2], qdd = t.covariance[3][3], qcd = t.covariance[2][3];
    const double arcsec = 648000 / M_PI;
    fit.varScale = (c * c * qcc + 2 * c * d * qcd + d * d * qdd) / (m * m) * 1e12;
    fit.varRotation = (d * d * qcc - 2 * c * d * qcd + c * c * qdd) / (m * m * m * m) * arcsec * arcsec;
    auto residual = [&t](int i) { return i <= t.residual.Rows() ? t.residual(i, 1) : std::nan(""); };

    std::vector<double> norms;
    for (std::size_t k = 0; k < points.size(); ++k) {
        // Element 2k+1 belongs to the second coordinate, 2k+2 to the first.
        const double vy = points.size() > 1 ? residual(static_cast<int>(2 * k + 1)) : 0.0;
        const double vx = points.size() > 1 ? residual(static_cast<int>(2 * k + 2)) : 0.0;
        norms.push_back(std::hypot(vx, vy));
        fit.residuals.rows.push_back(fmt::format("{:<12} {:10.4f} {:10.4f} {:10.4f}", points[k].id, vx, vy, norms.back()));
        fit.residuals.plot.push_back(PlotPoint{points[k].id, points[k].source[1], points[k].source[0], vy, vx, false});
    }
    fit.residuals.worst = points.size() > 1 ? largest(norms) : -1;
    return fit;
}

void printHelmertReport(HelmertReport& fit, std::size_t count, const std::string& source)
{
    const int n = fit.observations;
    std::printf("Fit of the 2D Helmert transformation from %zu common points (%s)\n", count, source.c_str());
    std::printf("Model: x' = x0 + t1 + m (cos r (x - x0) - sin r (y - y0)), y' = y0 + t2 + m (sin r (x - x0) + cos r (y - y0))\n");
    std::printf("Origin (source centroid): x0 %.4f  y0 %.4f m\n", fit.origin[0], fit.origin[1]);
    std::printf("Observations:   %d, unknowns: 4, redundancy: %d\n", n, n - 4 > 0 ? n - 4 : 0);
    std::printf("Sigma0:         %.4f m\n\n", fit.sigma0);
    std::printf("%-14s %16s %12s\n", "Parameter", "Value", "Std. dev.");
    std::printf("%-14s %16.4f %12s\n", "t1 (m)", fit.t1, sd(fit.varT1, 4).c_str());
    std::printf("%-14s %16.4f %12s\n", "t2 (m)", fit.t2, sd(fit.varT2, 4).c_str());
    std::printf("%-14s %16.4f %12s\n", "scale (ppm)", fit.scalePpm, sd(fit.varScale, 4).c_str());
    std::printf("%-14s %16.4f %12s\n", "rotation (\")", fit.rotation, sd(fit.varRotation, 4).c_str());
    std::printf("\nResiduals (transformed source minus target), metres\n");
    std::printf("%-12s %10s %10s %10s\n", "Point", "vx", "vy", "|v|");
    printResidualRows(fit.residuals);
}

int fitHelmert2D(const FitOptions& o, const Context&)
{
    const std::string command = "fit helmert2d";
    std::vector<CommonPoint> points;
    if (const int status = readPoints(command, "helmert2d", o, points))
        return status;
    if (points.empty()) {
        report(command, "the file has no common points");
        return 1;
    }
    std::vector<double> src;
    for (const CommonPoint& p : points)
        src.insert(src.end(), p.source.begin(), p.source.end());
    if (points.size() > 1 && refuseDegenerate(command, src, 2, estimation::kHelmert2DRank, "at least two distinct points"))
        return 1;
    HelmertReport fit = computeHelmertReport(points);
    const ParamSet set{"helmert2d", modelKeys("helmert2d"),
                       {fit.t1, fit.t2, fit.scalePpm, fit.rotation, fit.origin[0], fit.origin[1]}};
    if (refuseNonFinite(command, set.values))
        return 1;
    printHelmertReport(fit, points.size(), o.pointsFile);
    return writeOutputs(command, o, set, fit.residuals.plot, "2D Helmert fit: residuals (first coordinate up)", 0);
}

// ---- height plane ------------------------------------------------------------------

struct HeightReport {
    double x0 = 0, y0 = 0;
    double values[3] = {0, 0, 0};  // a1, a2, c
    double variances[3] = {0, 0, 0};
    int unknowns = 0, redundancy = 0;
    double sigma0 = 0, meanAccuracy = 0;
    std::vector<double> v;
    ResidualTable residuals;
};

HeightReport computeHeightReport(const std::vector<CommonPoint>& points, double x0, double y0)
{
    std::vector<double> xy, hs, ht;
    for (const CommonPoint& p : points) {
        xy.push_back(p.source[0]);
        xy.push_back(p.source[1]);
        hs.push_back(p.source[2]);
        ht.push_back(p.target[0]);
    }
    const int n = static_cast<int>(points.size());
    HeightReport fit;
    fit.x0 = x0;
    fit.y0 = y0;
    CTervala t;
    t.Parameters_HeightTrans(n, y0, x0, xy.data(), hs.data(), ht.data());

    // Standard deviations of the plane: the library reports the residuals and
    // the mean accuracy; the covariance follows from the same design.
    fit.unknowns = n >= 3 ? 3 : 1;
    Numbra normal(fit.unknowns, fit.unknowns);
    double vtv = 0;
    for (int k = 0; k < n; ++k) {
        const double row[3] = {xy[2 * k] - x0, xy[2 * k + 1] - y0, 1.0};
        const double* r = fit.unknowns == 3 ? row : row + 2;
        for (int i = 0; i < fit.unknowns; ++i)
            for (int j = 0; j < fit.unknowns; ++j)
                normal(i + 1, j + 1) += r[i] * r[j];
        fit.v.push_back(t.GetResidualH(k + 1));
        vtv += fit.v.back() * fit.v.back();
    }
    fit.redundancy = n - fit.unknowns;
    const double s0sq = fit.redundancy > 0 ? vtv / fit.redundancy : 0.0;
    const Numbra q = Inv(normal);
    for (int i = 0; i < 3; ++i)
        fit.variances[i] = fit.unknowns == 3 ? q(i + 1, i + 1) * s0sq : (i == 2 ? q(1, 1) * s0sq : 0.0);
    fit.sigma0 = std::sqrt(s0sq);
    fit.meanAccuracy = t.GetHeightMeanaccuracy();
    for (int i = 0; i < 3; ++i)
        fit.values[i] = t.GetHeightParameters(i);

    std::vector<double> norms;
    for (int k = 0; k < n; ++k) {
        norms.push_back(std::fabs(fit.v[static_cast<std::size_t>(k)]));
        fit.residuals.rows.push_back(
            fmt::format("{:<12} {:10.4f}", points[static_cast<std::size_t>(k)].id, fit.v[static_cast<std::size_t>(k)]));
        fit.residuals.plot.push_back(PlotPoint{points[static_cast<std::size_t>(k)].id, xy[2 * k + 1], xy[2 * k], 0.0,
                                               fit.v[static_cast<std::size_t>(k)], false});
    }
    fit.residuals.worst = largest(norms);
    return fit;
}

void printHeightReport(HeightReport& fit, std::size_t count, const std::string& source)
{
    std::printf("Fit of the height transformation from %zu common points (%s)\n", count, source.c_str());
    std::printf("Model: h' = h + a1 (x - x0) + a2 (y - y0) + c%s\n", count < 3 ? "  (fewer than 3 points: shift c only)" : "");
    std::printf("Origin: x0 %.4f  y0 %.4f m\n", fit.x0, fit.y0);
    std::printf("Observations:   %zu, unknowns: %d, redundancy: %d\n", count, fit.unknowns, fit.redundancy);
    std::printf("Sigma0:         %.4f m\n", fit.sigma0);
    std::printf("Mean accuracy:  %.4f m (sqrt(0.5 v'v))\n\n", fit.meanAccuracy);
    std::printf("%-14s %16s %12s\n", "Parameter", "Value", "Std. dev.");
    std::printf("%-14s %16.4f %12s\n", "a1 (mm/km)", fit.values[0] * 1e6, sd(fit.variances[0] * 1e12, 4).c_str());
    std::printf("%-14s %16.4f %12s\n", "a2 (mm/km)", fit.values[1] * 1e6, sd(fit.variances[1] * 1e12, 4).c_str());
    std::printf("%-14s %16.4f %12s\n", "c (m)", fit.values[2], sd(fit.variances[2], 4).c_str());
    std::printf("\nResiduals (transformed source minus target), metres\n");
    std::printf("%-12s %10s\n", "Point", "v");
    printResidualRows(fit.residuals);
}

int fitHeight(const FitOptions& o, const Context&)
{
    const std::string command = "fit height";
    std::vector<CommonPoint> points;
    if (const int status = readPoints(command, "height", o, points))
        return status;
    if (points.empty()) {
        report(command, "the file has no common points");
        return 1;
    }
    double x0 = 0, y0 = 0;
    if (!o.origin.empty()) {
        std::vector<double> v;
        std::string error;
        if (!parseNumberList(o.origin, 2, v, error)) {
            report(command, "--origin: " + error);
            return 2;
        }
        x0 = v[0];
        y0 = v[1];
    } else {
        for (const CommonPoint& p : points) {
            x0 += p.source[0] / static_cast<double>(points.size());
            y0 += p.source[1] / static_cast<double>(points.size());
        }
    }
    std::vector<double> xy;
    for (const CommonPoint& p : points) {
        xy.push_back(p.source[0]);
        xy.push_back(p.source[1]);
    }
    if (points.size() >= 3 &&
        refuseDegenerate(command, xy, 2, estimation::kHeightPlaneRank, "positions that do not lie on one line"))
        return 1;
    HeightReport fit = computeHeightReport(points, x0, y0);
    const ParamSet set{"height", modelKeys("height"), {fit.values[0], fit.values[1], fit.values[2], x0, y0}};
    if (refuseNonFinite(command, set.values))
        return 1;
    printHeightReport(fit, points.size(), o.pointsFile);
    return writeOutputs(command, o, set, fit.residuals.plot,
                        "Height fit: residuals drawn as vertical arrows (up = positive)", 0);
}

CLI::App* addFit(CLI::App* fit, const std::string& name, const std::string& description, FitOptions& o)
{
    CLI::App* sub = fit->add_subcommand(name, description);
    sub->add_option("points", o.pointsFile, "Common-point file (- for standard input)")->required();
    sub->add_option("--write-params", o.writeParams, "Write the parameters to this file (for --params FILE)");
    sub->add_option("--plot", o.plot, "Draw the residual vectors into this SVG file");
    return sub;
}

} // namespace

int reportSevenParameterFit(const std::string& model, const std::vector<CommonPoint>& points,
                            const std::string& sourceName, const Context& ctx)
{
    FitOptions o;
    o.pointsFile = sourceName;
    return fitSevenPoints(model, points, o, ctx);
}

void addFitCommands(CLI::App& app, Context& ctx, Registry& registry)
{
    CLI::App* fit = app.add_subcommand("fit", "Least-squares fit of transformation parameters from common points");
    fit->require_subcommand(1);

    auto h2 = std::make_shared<FitOptions>();
    CLI::App* helmert = addFit(fit, "helmert2d", "2D Helmert from lines: id x y x' y'", *h2);
    registry.add(helmert, [&ctx, h2] { return fitHelmert2D(*h2, ctx); });

    auto hh = std::make_shared<FitOptions>();
    CLI::App* height = addFit(fit, "height", "Height plane from lines: id x y h h'", *hh);
    height->add_option("--origin", hh->origin, "Origin x0,y0 (default: centroid of the positions)");
    registry.add(height, [&ctx, hh] { return fitHeight(*hh, ctx); });

    auto bw = std::make_shared<FitOptions>();
    CLI::App* bursa = addFit(fit, "bursa-wolf", "Bursa-Wolf seven parameters from lines: id X Y Z X' Y' Z'", *bw);
    bursa->add_option("--ellipsoid,-e", ctx.ellipsoidText, "Ellipsoid for the local residual frame (default WGS84)");
    registry.add(bursa, [&ctx, bw] { return fitSeven("bursa-wolf", *bw, ctx); });

    auto mb = std::make_shared<FitOptions>();
    CLI::App* badekas =
        addFit(fit, "molodensky-badekas", "Molodensky-Badekas parameters from lines: id X Y Z X' Y' Z'", *mb);
    badekas->add_option("--ellipsoid,-e", ctx.ellipsoidText, "Ellipsoid for the local residual frame (default WGS84)");
    registry.add(badekas, [&ctx, mb] { return fitSeven("molodensky-badekas", *mb, ctx); });
}

} // namespace cli
} // namespace tervala
