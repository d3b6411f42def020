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

int fitSevenPoints(const std::string& model, const std::vector<CommonPoint>& points, const FitOptions& o,
                   const Context& ctx);

int fitSeven(const std::string& model, const FitOptions& o, const Context& ctx)
{
    std::vector<CommonPoint> points;
    if (const int status = readPoints("fit " + model, model, o, points))
        return status;
    return fitSevenPoints(model, points, o, ctx);
}

int fitSevenPoints(const std::string& model, const std::vector<CommonPoint>& points, const FitOptions& o,
                   const Context& ctx)
{
    const std::string command = "fit " + model;
    if (points.size() < 3) {
        report(command, "at least 3 common points are needed, the file has " + std::to_string(points.size()));
        return 1;
    }
    std::vector<double> src, dst;
    for (const CommonPoint& p : points) {
        src.insert(src.end(), p.source.begin(), p.source.end());
        dst.insert(dst.end(), p.target.begin(), p.target.end());
    }
    const int n = static_cast<int>(src.size());
    CTervala t = ctx.object();
    const bool badekas = model == "molodensky-badekas";
    const bool converged = badekas ? t.SevenParameters_Molodensky_BadekasModel(n, src.data(), dst.data())
                                   : t.SevenParameters_Bursa_WolfModel(n, src.data(), dst.data());
    const int redundancy = n - 7;

    std::printf("Fit of the %s transformation from %zu common points (%s)\n",
                badekas ? "Molodensky-Badekas" : "Bursa-Wolf", points.size(), o.pointsFile.c_str());
    std::printf("Model: X' = T %s+ (1 + s 1e-6) R (X%s), R = R3(rz) R2(ry) R1(rx), coordinate frame rotation\n",
                badekas ? "+ X0 " : "", badekas ? " - X0" : "");
    std::printf("Converged:      %s\n", converged ? "yes" : "NO (pass limit reached; parameters are the last pass's)");
    std::printf("Observations:   %d, unknowns: 7, redundancy: %d\n", n, redundancy);
    std::printf("Sigma0:         %.4f m\n\n", t.GetSigma());
    if (badekas)
        std::printf("Rotation origin (source centroid): X0 %.4f  Y0 %.4f  Z0 %.4f m\n\n", t.GetRotOrigin(0),
                    t.GetRotOrigin(1), t.GetRotOrigin(2));
    static const char* names[] = {"tx (m)", "ty (m)", "tz (m)", "s (ppm)", "rx (\")", "ry (\")", "rz (\")"};
    std::printf("%-12s %16s %12s\n", "Parameter", "Value", "Std. dev.");
    for (int i = 0; i < 7; ++i)
        std::printf("%-12s %16.6f %12s\n", names[i], t.GetSevenParameters(i), sd(t.GetSevenCovariance(i, i), 6).c_str());

    // Residuals per point, also turned into the local east, north, up frame
    // at the point so that horizontal and vertical misfits can be told apart.
    std::printf("\nResiduals (transformed source minus target), metres\n");
    std::printf("%-12s %9s %9s %9s   %9s %9s %9s %9s\n", "Point", "vX", "vY", "vZ", "vE", "vN", "vU", "|v|");
    std::vector<double> norms;
    std::vector<PlotPoint> plot;
    std::vector<double> lats, lons;
    CTervala geo = ctx.object();
    for (std::size_t k = 0; k < points.size(); ++k) {
        double X = points[k].target[0], Y = points[k].target[1], Z = points[k].target[2];
        geo.Geocentric_to_Geodetic(X, Y, Z);
        lats.push_back(geo.GetGeodetic(0) * M_PI / 180);
        lons.push_back(geo.GetGeodetic(1) * M_PI / 180);
    }
    double latC = 0, lonC = 0;
    for (std::size_t k = 0; k < points.size(); ++k) {
        latC += lats[k] / static_cast<double>(points.size());
        lonC += lons[k] / static_cast<double>(points.size());
    }
    std::vector<std::string> rows;
    for (std::size_t k = 0; k < points.size(); ++k) {
        const double vx = t.GetResidual(static_cast<int>(3 * k + 1));
        const double vy = t.GetResidual(static_cast<int>(3 * k + 2));
        const double vz = t.GetResidual(static_cast<int>(3 * k + 3));
        const double sl = std::sin(lats[k]), cl = std::cos(lats[k]), so = std::sin(lons[k]), co = std::cos(lons[k]);
        const double ve = -so * vx + co * vy;
        const double vn = -sl * co * vx - sl * so * vy + cl * vz;
        const double vu = cl * co * vx + cl * so * vy + sl * vz;
        const double norm = std::sqrt(vx * vx + vy * vy + vz * vz);
        norms.push_back(norm);
        rows.push_back(fmt::format("{:<12} {:9.4f} {:9.4f} {:9.4f}   {:9.4f} {:9.4f} {:9.4f} {:9.4f}", points[k].id, vx, vy,
                                   vz, ve, vn, vu, norm));
        // Horizontal position on a local tangent plane around the centroid.
        const double a = ctx.ellipsoid.a;
        plot.push_back(PlotPoint{points[k].id, (lons[k] - lonC) * std::cos(latC) * a, (lats[k] - latC) * a, ve, vn, false});
    }
    const int worst = largest(norms);
    for (std::size_t k = 0; k < rows.size(); ++k)
        std::printf("%s%s\n", rows[k].c_str(), static_cast<int>(k) == worst ? "  <-- largest" : "");
    if (worst >= 0) {
        plot[static_cast<std::size_t>(worst)].flagged = true;
        const double s0 = t.GetSigma();
        if (s0 > 0 && std::isfinite(s0))
            std::printf("\nLargest residual: point %s, %.4f m = %.1f sigma0\n", points[static_cast<std::size_t>(worst)].id.c_str(),
                        norms[static_cast<std::size_t>(worst)], norms[static_cast<std::size_t>(worst)] / s0);
    }

    ParamSet set{model, modelKeys(model), {}};
    if (badekas)
        for (int i = 0; i < 3; ++i)
            set.values.push_back(t.GetRotOrigin(i));
    for (int i = 0; i < 7; ++i)
        set.values.push_back(t.GetSevenParameters(i));
    return writeOutputs(command, o, set, plot,
                        (badekas ? "Molodensky-Badekas" : "Bursa-Wolf") + std::string(" fit: horizontal residuals"),
                        converged ? 0 : 1);
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
    std::vector<double> src, dst;
    double x0 = 0, y0 = 0;
    for (const CommonPoint& p : points) {
        src.insert(src.end(), p.source.begin(), p.source.end());
        dst.insert(dst.end(), p.target.begin(), p.target.end());
    }
    // The parameters refer to the source centroid, computed as the estimator does.
    const double f = 1.0 / static_cast<double>(points.size());
    for (const CommonPoint& p : points) {
        x0 += p.source[0];
        y0 += p.source[1];
    }
    x0 *= f;
    y0 *= f;
    const int n = static_cast<int>(src.size());
    CTervala t;
    t.Parameters_2DHelmert(n, src.data(), dst.data());

    const double t2 = t.Get2DHelmertParameters(0), t1 = t.Get2DHelmertParameters(1);
    const double scalePpm = t.Get2DHelmertParameters(2), rotation = t.Get2DHelmertParameters(3);
    // Scale and rotation derive from c = m cos(theta), d = m sin(theta):
    // propagate the covariance of (c, d) to them.
    const double m = 1 + scalePpm * 1e-6, theta = rotation * M_PI / 648000;
    const double c = m * std::cos(theta), d = m * std::sin(theta);
    const double qcc = t.Get2DHelmertCovariance(2, 2), qdd = t.Get2DHelmertCovariance(3, 3),
                 qcd = t.Get2DHelmertCovariance(2, 3);
    const double varM = (c * c * qcc + 2 * c * d * qcd + d * d * qdd) / (m * m);
    const double varTheta = (d * d * qcc - 2 * c * d * qcd + c * c * qdd) / (m * m * m * m);
    const double arcsec = 648000 / M_PI;

    std::printf("Fit of the 2D Helmert transformation from %zu common points (%s)\n", points.size(), o.pointsFile.c_str());
    std::printf("Model: x' = x0 + t1 + m (cos r (x - x0) - sin r (y - y0)), y' = y0 + t2 + m (sin r (x - x0) + cos r (y - y0))\n");
    std::printf("Origin (source centroid): x0 %.4f  y0 %.4f m\n", x0, y0);
    std::printf("Observations:   %d, unknowns: 4, redundancy: %d\n", n, n - 4 > 0 ? n - 4 : 0);
    std::printf("Sigma0:         %.4f m\n\n", t.GetSigma());
    std::printf("%-14s %16s %12s\n", "Parameter", "Value", "Std. dev.");
    std::printf("%-14s %16.4f %12s\n", "t1 (m)", t1, sd(t.Get2DHelmertCovariance(1, 1), 4).c_str());
    std::printf("%-14s %16.4f %12s\n", "t2 (m)", t2, sd(t.Get2DHelmertCovariance(0, 0), 4).c_str());
    std::printf("%-14s %16.4f %12s\n", "scale (ppm)", scalePpm, sd(varM * 1e12, 4).c_str());
    std::printf("%-14s %16.4f %12s\n", "rotation (\")", rotation, sd(varTheta * arcsec * arcsec, 4).c_str());

    std::printf("\nResiduals (transformed source minus target), metres\n");
    std::printf("%-12s %10s %10s %10s\n", "Point", "vx", "vy", "|v|");
    std::vector<double> norms;
    std::vector<std::string> rows;
    std::vector<PlotPoint> plot;
    for (std::size_t k = 0; k < points.size(); ++k) {
        // Element 2k+1 belongs to the second coordinate, 2k+2 to the first.
        const double vy = points.size() > 1 ? t.GetResidual2D(static_cast<int>(2 * k + 1)) : 0.0;
        const double vx = points.size() > 1 ? t.GetResidual2D(static_cast<int>(2 * k + 2)) : 0.0;
        norms.push_back(std::hypot(vx, vy));
        rows.push_back(fmt::format("{:<12} {:10.4f} {:10.4f} {:10.4f}", points[k].id, vx, vy, norms.back()));
        plot.push_back(PlotPoint{points[k].id, points[k].source[1], points[k].source[0], vy, vx, false});
    }
    const int worst = points.size() > 1 ? largest(norms) : -1;
    for (std::size_t k = 0; k < rows.size(); ++k)
        std::printf("%s%s\n", rows[k].c_str(), static_cast<int>(k) == worst ? "  <-- largest" : "");
    if (worst >= 0)
        plot[static_cast<std::size_t>(worst)].flagged = true;

    const ParamSet set{"helmert2d", modelKeys("helmert2d"), {t1, t2, scalePpm, rotation, x0, y0}};
    return writeOutputs(command, o, set, plot, "2D Helmert fit: residuals (first coordinate up)", 0);
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
    std::vector<double> xy, hs, ht;
    for (const CommonPoint& p : points) {
        xy.push_back(p.source[0]);
        xy.push_back(p.source[1]);
        hs.push_back(p.source[2]);
        ht.push_back(p.target[0]);
    }
    const int n = static_cast<int>(points.size());
    CTervala t;
    t.Parameters_HeightTrans(n, y0, x0, xy.data(), hs.data(), ht.data());

    // Standard deviations of the plane: the library reports the residuals and
    // the mean accuracy; the covariance follows from the same design.
    const int unknowns = n >= 3 ? 3 : 1;
    Numbra normal(unknowns, unknowns);
    double vtv = 0;
    for (int k = 0; k < n; ++k) {
        const double row[3] = {xy[2 * k] - x0, xy[2 * k + 1] - y0, 1.0};
        const double* r = unknowns == 3 ? row : row + 2;
        for (int i = 0; i < unknowns; ++i)
            for (int j = 0; j < unknowns; ++j)
                normal(i + 1, j + 1) += r[i] * r[j];
        const double v = t.GetResidualH(k + 1);
        vtv += v * v;
    }
    const int redundancy = n - unknowns;
    const double s0sq = redundancy > 0 ? vtv / redundancy : 0.0;
    const Numbra q = Inv(normal);
    auto var = [&](int i) { return unknowns == 3 ? q(i + 1, i + 1) * s0sq : (i == 2 ? q(1, 1) * s0sq : 0.0); };

    std::printf("Fit of the height transformation from %zu common points (%s)\n", points.size(), o.pointsFile.c_str());
    std::printf("Model: h' = h + a1 (x - x0) + a2 (y - y0) + c%s\n", n < 3 ? "  (fewer than 3 points: shift c only)" : "");
    std::printf("Origin: x0 %.4f  y0 %.4f m\n", x0, y0);
    std::printf("Observations:   %d, unknowns: %d, redundancy: %d\n", n, unknowns, redundancy);
    std::printf("Sigma0:         %.4f m\n", std::sqrt(s0sq));
    std::printf("Mean accuracy:  %.4f m (sqrt(0.5 v'v))\n\n", t.GetHeightMeanaccuracy());
    std::printf("%-14s %16s %12s\n", "Parameter", "Value", "Std. dev.");
    std::printf("%-14s %16.4f %12s\n", "a1 (mm/km)", t.GetHeightParameters(0) * 1e6, sd(var(0) * 1e12, 4).c_str());
    std::printf("%-14s %16.4f %12s\n", "a2 (mm/km)", t.GetHeightParameters(1) * 1e6, sd(var(1) * 1e12, 4).c_str());
    std::printf("%-14s %16.4f %12s\n", "c (m)", t.GetHeightParameters(2), sd(var(2), 4).c_str());

    std::printf("\nResiduals (transformed source minus target), metres\n");
    std::printf("%-12s %10s\n", "Point", "v");
    std::vector<double> norms;
    std::vector<PlotPoint> plot;
    for (int k = 0; k < n; ++k) {
        const double v = t.GetResidualH(k + 1);
        norms.push_back(std::fabs(v));
        plot.push_back(PlotPoint{points[static_cast<std::size_t>(k)].id, xy[2 * k + 1], xy[2 * k], 0.0, v, false});
    }
    const int worst = largest(norms);
    for (int k = 0; k < n; ++k)
        std::printf("%-12s %10.4f%s\n", points[static_cast<std::size_t>(k)].id.c_str(), t.GetResidualH(k + 1),
                    k == worst ? "  <-- largest" : "");
    if (worst >= 0)
        plot[static_cast<std::size_t>(worst)].flagged = true;

    const ParamSet set{"height", modelKeys("height"),
                       {t.GetHeightParameters(0), t.GetHeightParameters(1), t.GetHeightParameters(2), x0, y0}};
    return writeOutputs(command, o, set, plot, "Height fit: residuals drawn as vertical arrows (up = positive)", 0);
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
