// Least-squares fits from common points on the library's adjustment core,
// with a report a surveyor can file (parameters, precision, global test,
// w-tests, reliability, data snooping), an optional parameter file for the
// transform subcommands, a JSON report and an SVG plot of the residuals.
// Every number printed comes from the core; this file only arranges them.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <iostream>
#include <memory>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "CommonPoints.h"
#include "Commands.h"
#include "Params.h"
#include "Svg.h"
#include "Text.h"
#include "estimation/Adjustment.h"
#include "platform/Files.h"
#include "tervala/Version.h"

namespace tervala {
namespace cli {

namespace {

// The constant M_PI is POSIX, not C++17.
constexpr double kPi = 3.14159265358979323846;

// A unit as the text report writes it.
std::string unitLabel(const std::string& unit)
{
    return unit == "arc-second" ? "\"" : unit == "arc-second/year" ? "\"/year" : unit;
}

// A fit as the front end presents it.
struct FitRun {
    std::string model;    // helmert2d, height, bursa-wolf, molodensky-badekas
    std::string title;    // "2D Helmert", ...
    std::vector<std::string> header;  // model and origin lines
    std::vector<std::string> footer;  // printed after the observations
    std::vector<std::string> coordinate;  // name of each observation's coordinate index
    PlotAxes axes;
    bool apriori = false;  // standard deviations were given: the tests apply
    Adjustment adj;
    std::vector<CommonPoint> points;
    ParamSet params;
    // For each key of params, the index of its parameter in adj.parameters
    // (-1 for an origin, which is not estimated).
    std::vector<int> estimated;
    std::string paramText;  // written by --write-params instead of params when not empty
    double referenceEpoch = std::nan("");  // helmert15
    std::vector<PlotPoint> plot;
    std::string columns;  // the common-point file's columns
    // What the numbers refer to: conventions, ellipsoids, origin.
    std::vector<std::pair<std::string, std::string>> conventions;
    std::vector<std::string> commandLine;
};

// The covariance block of the parameter file, from the adjustment's
// covariance (after any scaling by sigma0); none when a value is not finite
// (no redundancy to scale by).
void attachCovariance(FitRun& f)
{
    const std::vector<std::vector<double>>& c = f.adj.covariance;
    std::vector<std::string> keys;
    std::vector<int> index;
    for (std::size_t k = 0; k < f.estimated.size() && k < f.params.keys.size(); ++k)
        if (f.estimated[k] >= 0 && static_cast<std::size_t>(f.estimated[k]) < c.size()) {
            keys.push_back(f.params.keys[k]);
            index.push_back(f.estimated[k]);
        }
    std::vector<std::vector<double>> out(index.size(), std::vector<double>(index.size()));
    for (std::size_t i = 0; i < index.size(); ++i)
        for (std::size_t j = 0; j < index.size(); ++j) {
            // The solution's cofactor matrix is symmetric only to rounding;
            // the file holds the mean of the two halves, exactly symmetric.
            const std::size_t a = static_cast<std::size_t>(index[i]), b = static_cast<std::size_t>(index[j]);
            const double v = 0.5 * (c[a][b] + c[b][a]);
            if (!std::isfinite(v))
                return;
            out[i][j] = v;
        }
    f.params.covarianceKeys = keys;
    f.params.covariance = out;
}

// ---- the report model ---------------------------------------------------------
// Built once from a fit; the text report and the JSON print it and compute
// nothing of their own, so both carry the same names, order and units.

struct ReportParameter {
    std::string name, unit, alternativeUnit;  // alternativeUnit empty: none
    double value, sigma, alternativeValue, alternativeSigma;
    bool held;
};

// One verdict of the report, naming the test and the level it comes from.
struct ReportStatement {
    std::string test;    // global test, w-test, data snooping, check points
    std::string level;   // the test's statistic and significance level
    std::string result;  // passed, FAILED, 2 of 16 observations rejected, ...
    std::string detail;  // the figures the verdict rests on
};

struct FitReport {
    const FitRun* fit;
    std::string date;     // UTC, ISO 8601
    std::string version;  // of this software
    std::string commandLine;
    std::vector<ReportParameter> parameters;
    std::vector<ReportStatement> statements;
};

std::string percent(double p)
{
    return fmt::format("{:g} %", p * 100);
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian), inverted: the
// year, month and day of day number z.
void civilFromDays(long long z, long long& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<long long>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
}

// The date of the report in UTC, ISO 8601: SOURCE_DATE_EPOCH (seconds since
// 1970) when set, so that reports can be reproduced; the clock otherwise.
std::string reportDate(const std::string& command)
{
    long long seconds = 0;
    std::string text;
    bool fromEnvironment = false;
    if (platform::environmentVariable("SOURCE_DATE_EPOCH", text)) {
        fromEnvironment = !text.empty() && text.size() <= 15 &&
                          text.find_first_not_of("0123456789") == std::string::npos;
        if (fromEnvironment)
            seconds = std::stoll(text);
        else
            report(command, "SOURCE_DATE_EPOCH '" + text +
                                "' is not a count of seconds since 1970; the report is dated by the clock");
    }
    if (!fromEnvironment)
        seconds = std::chrono::duration_cast<std::chrono::seconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
    const long long days = (seconds >= 0 ? seconds : seconds - 86399) / 86400, rest = seconds - days * 86400;
    long long y = 0;
    unsigned m = 0, d = 0;
    civilFromDays(days, y, m, d);
    return fmt::format("{:04d}-{:02d}-{:02d}T{:02d}:{:02d}:{:02d}Z", y, m, d, rest / 3600, rest / 60 % 60, rest % 60);
}

// The command line as one would type it again: words with blanks or quotes
// in single quotes.
std::string commandText(const std::vector<std::string>& words)
{
    std::string out;
    for (std::size_t k = 0; k < words.size(); ++k) {
        std::string w = k == 0 ? std::string("tervala") : words[k];
        if (w.empty() || w.find_first_of(" \t'\"\\$`*?;&|<>()") != std::string::npos) {
            std::string quoted = "'";
            for (char c : w)
                quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
            w = quoted + "'";
        }
        out += (k ? " " : "") + w;
    }
    return out;
}

std::string pointName(const FitRun& f, int index)
{
    return f.points[static_cast<std::size_t>(index)].id;
}

std::string fixedText(double v, int decimals)
{
    return std::isfinite(v) ? fmt::format("{:.{}f}", v, decimals) : "-";
}

// The misfits of one list of observations (outside the fit or left out in
// turn) gathered per point: each coordinate's residual and the length of the
// point's residual vector, then the RMS of each coordinate and of the
// lengths over the points.
struct Misfits {
    struct Point {
        int index;
        std::vector<const ObservationTest*> observations;
        double length;
    };
    std::vector<Point> points;
    std::vector<double> rms;  // per coordinate
    double rmsLength = 0;
};

Misfits misfits(const std::vector<ObservationTest>& list, const std::vector<int>& only, std::size_t coordinates)
{
    Misfits m;
    m.rms.assign(coordinates, 0.0);
    std::vector<int> counted(coordinates, 0);
    int lengths = 0;
    for (const ObservationTest& t : list) {
        if (!only.empty() && std::find(only.begin(), only.end(), t.point) == only.end())
            continue;
        if (m.points.empty() || m.points.back().index != t.point)
            m.points.push_back(Misfits::Point{t.point, {}, 0.0});
        m.points.back().observations.push_back(&t);
    }
    for (Misfits::Point& p : m.points) {
        double sum = 0;
        for (const ObservationTest* t : p.observations) {
            sum += t->residual * t->residual;
            const std::size_t c = static_cast<std::size_t>(t->coordinate);
            if (std::isfinite(t->residual) && c < coordinates) {
                m.rms[c] += t->residual * t->residual;
                ++counted[c];
            }
        }
        p.length = std::sqrt(sum);
        if (std::isfinite(p.length)) {
            m.rmsLength += sum;
            ++lengths;
        }
    }
    for (std::size_t c = 0; c < coordinates; ++c)
        m.rms[c] = counted[c] ? std::sqrt(m.rms[c] / counted[c]) : std::nan("");
    m.rmsLength = lengths ? std::sqrt(m.rmsLength / lengths) : std::nan("");
    return m;
}

std::vector<int> indicesOf(const FitRun& f, const std::vector<std::string>& ids)
{
    std::vector<int> out;
    for (const std::string& id : ids)
        for (std::size_t k = 0; k < f.points.size(); ++k)
            if (f.points[k].id == id)
                out.push_back(static_cast<int>(k));
    return out;
}

FitReport buildReport(const FitRun& f, const FitOptions& o)
{
    const Adjustment& a = f.adj;
    FitReport r;
    r.fit = &f;
    r.date = reportDate("fit " + f.model);
    r.version = TERVALA_VERSION_STRING;
    r.commandLine = commandText(f.commandLine);
    for (const ParameterEstimate& p : a.parameters) {
        const ParameterUnit u = parameterUnit(p.name);
        const bool second = *u.alternativeUnit != '\0';
        const double nan = std::nan("");
        r.parameters.push_back(ReportParameter{p.name, u.unit, u.alternativeUnit, p.value, p.sigma,
                                               second ? u.offset + u.factor * p.value : nan,
                                               second ? u.factor * p.sigma : nan,
                                               std::find(o.fix.begin(), o.fix.end(), p.name) != o.fix.end()});
    }
    const std::string wLevel = "alpha0 " + percent(o.alpha0) + ", power " + percent(o.power);
    if (!f.apriori) {
        r.statements.push_back({"global test and w-test", "they need a priori standard deviations", "not made",
                                "none given (--sigma or columns in the point file); parameter standard deviations "
                                "are scaled by sigma0"});
        return r;
    }
    if (a.global.tested)
        r.statements.push_back({"global test", "chi^2 of the variance factor, alpha " + percent(o.alpha),
                                a.global.passed ? "passed" : "FAILED",
                                fmt::format("variance factor {:.4f} {} [{:.4f}, {:.4f}]", a.global.statistic,
                                            a.global.passed ? "in" : "outside", a.global.lower, a.global.upper)});
    else
        r.statements.push_back({"global test", "chi^2 of the variance factor, alpha " + percent(o.alpha), "not made",
                                "no redundancy"});
    const ObservationTest* worst = nullptr;
    int rejected = 0;
    for (const ObservationTest& t : a.observations) {
        rejected += t.rejected ? 1 : 0;
        if (std::isfinite(t.w) && (worst == nullptr || std::fabs(t.w) > std::fabs(worst->w)))
            worst = &t;
    }
    const std::string figures = fmt::format("critical value {:.3f}, sqrt(lambda0) {:.3f}, lambda0 {:.3f}",
                                            a.wCritical, a.noncentralitySqrt,
                                            a.noncentralitySqrt * a.noncentralitySqrt);
    r.statements.push_back(
        {"w-test", wLevel,
         rejected ? fmt::format("{} of {} observations REJECTED", rejected, a.observations.size())
                  : fmt::format("none of {} observations rejected", a.observations.size()),
         (worst ? fmt::format("largest |w| {:.2f} ({} {}); ", std::fabs(worst->w), pointName(f, worst->point),
                              f.coordinate[static_cast<std::size_t>(worst->coordinate)])
                : std::string()) +
             figures});
    if (o.snoop) {
        std::string removed;
        for (const SnoopStep& s : a.removed)
            removed += (removed.empty() ? "" : ", ") + pointName(f, s.point);
        r.statements.push_back({"data snooping", "w-test, " + wLevel,
                                a.removed.empty() ? "no point removed" : "removed " + removed,
                                a.removed.empty() ? "no w-test failed"
                                                  : "largest failing |w| removed and the fit repeated"});
    }
    const std::vector<int> checks = indicesOf(f, o.check);
    if (!checks.empty()) {
        int failing = 0;
        for (int k : checks) {
            bool fails = false;
            for (const ObservationTest& t : a.outside)
                fails = fails || (t.point == k && t.rejected);
            failing += fails ? 1 : 0;
        }
        r.statements.push_back({"check points", "w-test, " + wLevel,
                                checks.size() == 1 ? (failing ? "the check point FAILS" : "the check point passes")
                                : failing          ? fmt::format("{} of {} FAIL", failing, checks.size())
                                                   : fmt::format("all {} pass", checks.size()),
                                "each against the solution, with the w it would have in the fit"});
    }
    return r;
}

void printMisfits(const FitRun& f, const Misfits& m, bool tested, bool withTag)
{
    std::printf("%-12s %-6s %10s %9s %8s %7s %9s %10s\n", "Point", "coord", "v", "sd(v)", "w", "r", "MDB",
                "|v| point");
    for (const Misfits::Point& p : m.points) {
        std::string tag;
        if (withTag)
            for (std::size_t k = 0; k < f.adj.removed.size(); ++k)
                if (f.adj.removed[k].point == p.index)
                    tag = fmt::format("  (snooping step {})", k + 1);
        for (std::size_t i = 0; i < p.observations.size(); ++i) {
            const ObservationTest& t = *p.observations[i];
            const bool last = i + 1 == p.observations.size();
            bool fails = false;
            for (const ObservationTest* u : p.observations)
                fails = fails || (tested && u->rejected);
            const std::string tail = last ? (fails ? "  FAILS" : "") + tag : "";
            std::printf("%-12s %-6s %10s %9s %8s %7s %9s %10s%s\n", pointName(f, t.point).c_str(),
                        f.coordinate[static_cast<std::size_t>(t.coordinate)].c_str(), fixedText(t.residual, 4).c_str(),
                        tested ? fixedText(t.sigmaResidual, 4).c_str() : "-",
                        tested ? fixedText(t.w, 2).c_str() : "-", fixedText(t.redundancy, 3).c_str(),
                        tested ? fixedText(t.mdb, 4).c_str() : "-",
                        last ? fixedText(p.length, 4).c_str() : "", tail.c_str());
        }
    }
    std::string rms;
    for (std::size_t c = 0; c < m.rms.size(); ++c)
        rms += fmt::format("{} {}  ", f.coordinate[c], fixedText(m.rms[c], 4));
    std::printf("RMS over %zu point%s: %s|v| %s m\n", m.points.size(), m.points.size() == 1 ? "" : "s", rms.c_str(),
                fixedText(m.rmsLength, 4).c_str());
}

// Points outside the solution: removed by snooping or held out as check
// points, against the solution; and each point's misfit when left out.
void printOutside(const FitRun& f, const FitOptions& o)
{
    const Adjustment& a = f.adj;
    const std::vector<int> checks = indicesOf(f, o.check);
    std::vector<int> snooped;
    for (const SnoopStep& s : a.removed)
        snooped.push_back(s.point);
    const char* how = "v: transformed minus observed with the solution above, m; sd(v): its standard deviation;\n"
                      "w, r, MDB: as they would be with the point put back into the fit";
    if (!snooped.empty()) {
        std::printf("\nPoints removed by data snooping, against the final solution\n(%s)\n", how);
        printMisfits(f, misfits(a.outside, snooped, f.coordinate.size()), f.apriori, true);
    }
    if (!checks.empty()) {
        std::printf("\nCheck points (held out of the fit), against the solution\n(%s)\n", how);
        printMisfits(f, misfits(a.outside, checks, f.coordinate.size()), f.apriori, false);
    }
    if (o.leaveOneOut) {
        std::printf("\nLeave one out: each point of the solution against the fit made without it\n"
                    "(v: transformed minus observed, m; sd(v): its standard deviation; w, r, MDB: of the point in "
                    "the full fit; - where the other points cannot carry the fit)\n");
        printMisfits(f, misfits(a.leaveOneOut, {}, f.coordinate.size()), f.apriori, false);
    }
}

// The observation of the solution whose MDB moves a transformed position
// the most; null without external reliability.
const ObservationTest* largestExternal(const Adjustment& a)
{
    const ObservationTest* largest = nullptr;
    for (const ObservationTest& t : a.observations)
        if (std::isfinite(t.external) && (largest == nullptr || t.external > largest->external))
            largest = &t;
    return largest;
}

// Where an observation's external reliability is largest: a point or a
// corner of the box.
std::string placeName(const FitRun& f, const ObservationTest& t)
{
    if (t.externalPoint >= 0)
        return pointName(f, t.externalPoint);
    return fmt::format("corner {}", t.externalCorner + 1);
}

bool sevenParameter(const FitRun& f)
{
    return f.model == "bursa-wolf" || f.model == "molodensky-badekas";
}

// The seven-parameter tests turned into each point's east/north/up frame.
void printLocalTests(const FitRun& f)
{
    const Adjustment& a = f.adj;
    if (a.local.empty())
        return;
    static const char* const kAxis[3] = {"e", "n", "u"};
    std::printf("\nThe same in each point's local east/north/up frame (v: the misclosure's component, m; r, w, "
                "MDB: of a bias\nalong that direction). For information: the test decision (REJECTED, data snooping) "
                "is made on\nthe geocentric observations above; '>' marks |w| above the critical value.\n");
    std::printf("%-12s %-6s %10s %7s %8s %8s %9s\n", "Point", "axis", "v", "r", "nv", "w", "MDB");
    for (const ObservationTest& t : a.local)
        std::printf("%-12s %-6s %10.4f %7.3f %8s %8s %9s%s\n", pointName(f, t.point).c_str(), kAxis[t.coordinate],
                    t.residual, t.redundancy, f.apriori ? fixedText(t.normalised, 2).c_str() : "-",
                    f.apriori ? fixedText(t.w, 2).c_str() : "-", f.apriori ? fixedText(t.mdb, 4).c_str() : "-",
                    f.apriori && t.rejected ? "  >" : "");
}

// The error ellipses of the transformed points.
void printEllipses(const FitRun& f)
{
    const Adjustment& a = f.adj;
    if (a.ellipses.empty())
        return;
    const bool local = sevenParameter(f);
    std::printf("\nError ellipses of the transformed points (%s, %.2f %%; semi-axes m, azimuth of the major axis "
                "in degrees\n%s%s)\n",
                a.ellipseScale == 1 ? "standard" : "confidence", a.confidence * 100,
                local ? "from north towards east, in each point's east/north plane"
                      : "from x' towards y', clockwise for northing-easting coordinates",
                f.apriori ? "" : "; scaled by sigma0");
    if (local)
        std::printf("%-12s %9s %9s %9s %10s %10s %8s\n", "Point", "sd n", "sd e", "sd u", "semi-major",
                    "semi-minor", "azimuth");
    else
        std::printf("%-12s %9s %9s %10s %10s %8s\n", "Point", "sd x'", "sd y'", "semi-major", "semi-minor",
                    "azimuth");
    for (const PointEllipse& e : a.ellipses) {
        std::string line = fmt::format("{:<12} {:>9} {:>9} ", pointName(f, e.point), fixedText(e.sigmaFirst, 4),
                                       fixedText(e.sigmaSecond, 4));
        if (local)
            line += fmt::format("{:>9} ", fixedText(e.sigmaUp, 4));
        line += fmt::format("{:>10} {:>10} {:>8}", fixedText(e.semiMajor, 4), fixedText(e.semiMinor, 4),
                            fixedText(e.azimuth, 1));
        std::printf("%s\n", line.c_str());
    }
}

void printReport(const FitReport& r, const FitOptions& o, const std::string& source)
{
    const FitRun& f = *r.fit;
    const Adjustment& a = f.adj;
    std::printf("Fit of the %s transformation from %zu common points (%s)\n", f.title.c_str(), f.points.size(),
                source.c_str());
    for (const std::string& line : f.header)
        std::printf("%s\n", line.c_str());
    std::printf("Input:          %s, %zu common points (%s)\n", source.c_str(), f.points.size(), f.columns.c_str());
    for (const auto& c : f.conventions)
        std::printf("%-15s %s\n", (c.first + ":").c_str(), c.second.c_str());
    std::printf("Date:           %s, tervala %s\n", r.date.c_str(), r.version.c_str());
    if (!r.commandLine.empty())
        std::printf("Command:        %s\n", r.commandLine.c_str());
    if (!a.removed.empty()) {
        std::printf("\nData snooping (w-test, alpha0 %s; largest failing |w| removed, fit repeated):\n",
                    percent(o.alpha0).c_str());
        for (std::size_t k = 0; k < a.removed.size(); ++k) {
            const SnoopStep& s = a.removed[k];
            std::printf("  step %zu: removed point %s (%s, w = %.2f; variance factor of that fit %.3f, global test %s)\n",
                        k + 1, pointName(f, s.point).c_str(), f.coordinate[static_cast<std::size_t>(s.coordinate)].c_str(),
                        s.w, s.varianceFactor, s.globalPassed ? "passed" : "failed");
        }
        std::string list;
        for (const SnoopStep& s : a.removed)
            list += (list.empty() ? "" : ", ") + pointName(f, s.point);
        std::printf("The solution below is WITHOUT point%s %s.\n", a.removed.size() > 1 ? "s" : "", list.c_str());
    }
    if (o.snoop && a.removed.empty() && a.message.empty())
        std::printf("\nData snooping: no point removed (no w-test failed at alpha0 %g).\n", o.alpha0);
    if (a.message.rfind("data snooping stopped", 0) == 0)
        std::printf("Data snooping stopped with a w-test still failing: removing another point would leave no "
                    "redundancy or points that cannot carry the fit.\n");
    if (!f.header.empty() && (f.model == "bursa-wolf" || f.model == "molodensky-badekas" || f.model == "helmert15"))
        std::printf("Converged:      %s (%d passes)\n", a.converged ? "yes" : "NO", a.passes);
    std::printf("Observations:   %d, free parameters: %d, redundancy: %d\n", a.observationsUsed,
                a.observationsUsed - a.redundancy, a.redundancy);
    if (f.apriori) {
        std::printf("A priori:       %s\n", o.sigma > 0 ? fmt::format("sigma {:g} m for every coordinate", o.sigma).c_str()
                                                          : "standard deviations given with each point");
        std::printf("Sigma0:         %.4f (a posteriori, a priori 1)\n", a.sigma0);
        if (const ObservationTest* e = largestExternal(a))
            std::printf("External:       an undetected error of one MDB moves a transformed position by at most "
                        "%.4f m\n                (%s of %s, at %s; over the points and the corners of their box)\n",
                        e->external, f.coordinate[static_cast<std::size_t>(e->coordinate)].c_str(),
                        pointName(f, e->point).c_str(), placeName(f, *e).c_str());
    } else {
        std::printf("Sigma0:         %s\n",
                    a.redundancy > 0
                        ? fmt::format("{:.4f} m (a posteriori standard deviation of one coordinate, equal weights)",
                                      a.sigma0)
                              .c_str()
                        : "none (no redundancy)");
    }
    std::printf("\nTests\n");
    for (const ReportStatement& t : r.statements)
        std::printf("  %s (%s): %s; %s\n", t.test.c_str(), t.level.c_str(), t.result.c_str(), t.detail.c_str());
    if (!o.fix.empty()) {
        std::string list;
        for (const std::string& n : o.fix)
            list += (list.empty() ? "" : ", ") + n;
        std::printf("Held at their fixed values: %s\n", list.c_str());
    }

    // Each parameter in its unit, then rotations in microradians, scales as
    // the factor 1 + ppm 1e-6 and slopes in mm/km.
    std::printf("\n%-16s %18s %14s   %-12s %18s %16s\n", "Parameter", "Value", "Std. dev.", "also in", "Value",
                "Std. dev.");
    for (const ReportParameter& p : r.parameters) {
        const bool m = p.unit == "m/m", factor = p.alternativeUnit == "factor";
        std::printf("%-16s %18s %14s", fmt::format("{} ({})", p.name, unitLabel(p.unit)).c_str(),
                    fmt::format("{:.{}f}", p.value, m ? 10 : 6).c_str(),
                    p.held ? "held" : fixedText(p.sigma, m ? 10 : 6).c_str());
        if (!p.alternativeUnit.empty())
            std::printf("   %-12s %18s %16s", p.alternativeUnit.c_str(),
                        fmt::format("{:.{}f}", p.alternativeValue, factor ? 12 : 4).c_str(),
                        p.held ? "held" : fixedText(p.alternativeSigma, factor ? 12 : 4).c_str());
        std::printf("\n");
    }
    std::printf("\nCorrelation\n%-9s", "");
    for (const ParameterEstimate& p : a.parameters)
        std::printf(" %8s", p.name.c_str());
    std::printf("\n");
    for (std::size_t i = 0; i < a.parameters.size(); ++i) {
        std::printf("%-9s", a.parameters[i].name.c_str());
        for (std::size_t j = 0; j < a.parameters.size(); ++j) {
            std::string c = fmt::format("{:8.4f}", a.correlation[i][j]);
            if (c == " -0.0000")
                c = "  0.0000";  // a rounding-level negative correlation
            std::printf(" %s", c.c_str());
        }
        std::printf("\n");
    }

    std::printf("\nObservations (v: fitted minus observed, m; r: redundancy number; nv: normalised residual%s;\n"
                "ext: largest shift of a transformed position by an error of one MDB here, m)\n",
                f.apriori ? fmt::format(";\nw: w-test at alpha0 {}, critical value {:.3f}; MDB at power {}",
                                        percent(o.alpha0), a.wCritical, percent(o.power))
                                .c_str()
                          : "");
    std::printf("%-12s %-6s %10s %7s %8s %8s %9s %9s\n", "Point", "coord", "v", "r", "nv", "w", "MDB", "ext");
    const ObservationTest* worst = nullptr;
    for (const ObservationTest& t : a.observations)
        if (f.apriori && t.rejected && (worst == nullptr || std::fabs(t.w) > std::fabs(worst->w)))
            worst = &t;
    for (const ObservationTest& t : a.observations) {
        const bool tested = f.apriori;
        std::printf("%-12s %-6s %10.4f %7.3f %8s %8s %9s %9s%s\n", pointName(f, t.point).c_str(),
                    f.coordinate[static_cast<std::size_t>(t.coordinate)].c_str(), t.residual, t.redundancy,
                    tested ? fixedText(t.normalised, 2).c_str() : "-", tested ? fixedText(t.w, 2).c_str() : "-",
                    tested ? fixedText(t.mdb, 4).c_str() : "-", tested ? fixedText(t.external, 4).c_str() : "-",
                    tested && t.rejected ? (&t == worst ? "  REJECTED (largest |w|)" : "  REJECTED") : "");
    }
    printLocalTests(f);
    printEllipses(f);
    for (const std::string& line : f.footer)
        std::printf("%s\n", line.c_str());
    printOutside(f, o);
}

nlohmann::ordered_json jsonReport(const FitReport& r, const FitOptions& o, const std::string& source)
{
    using nlohmann::ordered_json;
    const FitRun& f = *r.fit;
    const Adjustment& a = f.adj;
    auto number = [](double v) { return std::isfinite(v) ? ordered_json(v) : ordered_json(nullptr); };
    ordered_json j;
    j["model"] = f.model;
    ordered_json conventions = ordered_json::object();
    for (const auto& c : f.conventions) {
        std::string key = c.first;
        for (char& ch : key)
            ch = ch == ' ' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        conventions[key] = c.second;
    }
    j["metadata"] = {{"software", "tervala"},
                     {"version", r.version},
                     {"date", r.date},
                     {"command_line", r.commandLine},
                     {"inputs", ordered_json::array({{{"role", "common points"},
                                                      {"file", source},
                                                      {"points", f.points.size()},
                                                      {"columns", f.columns}}})},
                     {"conventions", conventions}};
    ordered_json statements = ordered_json::array();
    for (const ReportStatement& t : r.statements)
        statements.push_back({{"test", t.test}, {"level", t.level}, {"result", t.result}, {"detail", t.detail}});
    j["statements"] = statements;
    if (!f.params.rotations.empty()) {
        j["convention"] = f.params.convention;
        j["rotations"] = f.params.rotations;
    }
    j["a_priori"] = f.apriori;
    j["power"] = o.power;
    j["alpha"] = o.alpha;
    j["alpha0"] = o.alpha0;
    j["lambda0"] = number(a.noncentralitySqrt * a.noncentralitySqrt);
    ordered_json parameters = ordered_json::array();
    for (const ReportParameter& p : r.parameters) {
        const bool second = !p.alternativeUnit.empty();
        parameters.push_back({{"name", p.name},
                              {"value", p.value},
                              {"sigma", number(p.sigma)},
                              {"unit", p.unit},
                              {"alternative_unit", second ? ordered_json(p.alternativeUnit) : ordered_json(nullptr)},
                              {"alternative_value", second ? number(p.alternativeValue) : ordered_json(nullptr)},
                              {"alternative_sigma", second ? number(p.alternativeSigma) : ordered_json(nullptr)},
                              {"held", p.held}});
    }
    j["parameters"] = parameters;
    j["correlation"] = a.correlation;
    ordered_json covariance = ordered_json::array();
    for (const std::vector<double>& row : a.covariance) {
        ordered_json r = ordered_json::array();
        for (double v : row)
            r.push_back(number(v));
        covariance.push_back(r);
    }
    j["covariance"] = covariance;
    if (std::isfinite(f.referenceEpoch))
        j["reference_epoch"] = f.referenceEpoch;
    else
        j["origin"] = {a.origin[0], a.origin[1], a.origin[2]};
    j["sigma0"] = a.sigma0;
    j["redundancy"] = a.redundancy;
    if (f.apriori && a.global.tested)
        j["global_test"] = {{"statistic", a.global.statistic}, {"lower", a.global.lower}, {"upper", a.global.upper},
                            {"alpha", o.alpha}, {"passed", a.global.passed}};
    else
        j["global_test"] = nullptr;
    j["w_critical"] = f.apriori ? number(a.wCritical) : ordered_json(nullptr);
    auto ellipseJson = [&](const PointEllipse& e) {
        return ordered_json{
            {"semi_major", number(e.semiMajor)},
            {"semi_minor", number(e.semiMinor)},
            {"azimuth", number(e.azimuth)},
            {"confidence", a.confidence},
            {"sigma", sevenParameter(f) ? ordered_json{number(e.sigmaFirst), number(e.sigmaSecond), number(e.sigmaUp)}
                                        : ordered_json{number(e.sigmaFirst), number(e.sigmaSecond)}}};
    };
    auto observation = [&](const ObservationTest& t, bool outside) {
        ordered_json o = {{"point", pointName(f, t.point)},
                          {"coordinate", f.coordinate[static_cast<std::size_t>(t.coordinate)]},
                          {"residual", number(t.residual)}};
        if (outside)
            o["sigma_residual"] = f.apriori ? number(t.sigmaResidual) : ordered_json(nullptr);
        o["redundancy_number"] = number(t.redundancy);
        o["normalised_residual"] = f.apriori ? number(t.normalised) : ordered_json(nullptr);
        o["w"] = f.apriori ? number(t.w) : ordered_json(nullptr);
        o["mdb"] = f.apriori ? number(t.mdb) : ordered_json(nullptr);
        o["rejected"] = f.apriori && t.rejected;
        // Every observation carries its point's error ellipse.
        for (const PointEllipse& e : a.ellipses)
            if (e.point == t.point)
                o["ellipse"] = ellipseJson(e);
        return o;
    };
    // Per point: its observations, the length of its residual vector; then the RMS.
    auto misfitJson = [&](const Misfits& m) {
        ordered_json points = ordered_json::array(), rms = ordered_json::object();
        for (const Misfits::Point& p : m.points) {
            ordered_json obs = ordered_json::array();
            for (const ObservationTest* t : p.observations)
                obs.push_back(observation(*t, true));
            points.push_back({{"point", pointName(f, p.index)}, {"misfit", number(p.length)}, {"observations", obs}});
        }
        for (std::size_t c = 0; c < m.rms.size(); ++c)
            rms[f.coordinate[c]] = number(m.rms[c]);
        return ordered_json{{"points", points}, {"rms", rms}, {"rms_misfit", number(m.rmsLength)}};
    };
    auto place = [&](const ObservationTest& t) {
        return t.externalPoint >= 0 ? ordered_json{{"point", pointName(f, t.externalPoint)}}
                                    : ordered_json{{"corner", t.externalCorner + 1}};
    };
    ordered_json observations = ordered_json::array();
    for (const ObservationTest& t : a.observations) {
        ordered_json item = observation(t, false);
        item["external"] = f.apriori ? number(t.external) : ordered_json(nullptr);
        if (f.apriori && std::isfinite(t.external))
            item["external_at"] = place(t);
        observations.push_back(item);
    }
    j["observations"] = observations;
    ordered_json ellipses = ordered_json::array();
    for (const PointEllipse& e : a.ellipses) {
        ordered_json item = ellipseJson(e);
        item["point"] = pointName(f, e.point);
        ellipses.push_back(item);
    }
    j["ellipses"] = a.ellipses.empty() ? ordered_json(nullptr) : ordered_json{{"confidence", a.confidence},
                     {"scale", a.ellipseScale},
                     {"frame", sevenParameter(f) ? "local north, east, up; azimuth from north towards east"
                                                 : "x', y'; azimuth from x' towards y'"},
                     {"points", ellipses}};
    if (!a.local.empty()) {
        static const char* const kAxis[3] = {"e", "n", "u"};
        ordered_json local = ordered_json::array();
        for (const ObservationTest& t : a.local)
            local.push_back({{"point", pointName(f, t.point)},
                             {"axis", kAxis[t.coordinate]},
                             {"residual", number(t.residual)},
                             {"redundancy_number", number(t.redundancy)},
                             {"normalised_residual", f.apriori ? number(t.normalised) : ordered_json(nullptr)},
                             {"w", f.apriori ? number(t.w) : ordered_json(nullptr)},
                             {"mdb", f.apriori ? number(t.mdb) : ordered_json(nullptr)},
                             {"above_critical", f.apriori && t.rejected}});
        j["local"] = local;
    }
    const ObservationTest* largest = largestExternal(a);
    ordered_json external = {{"largest", largest ? number(largest->external) : ordered_json(nullptr)}};
    if (largest) {
        external["point"] = pointName(f, largest->point);
        external["coordinate"] = f.coordinate[static_cast<std::size_t>(largest->coordinate)];
        external["at"] = place(*largest);
    }
    external["corners"] = a.corners;
    external["corners_unit"] = sevenParameter(f) ? "latitude, longitude (degrees), height (m)" : "x, y (m)";
    j["external_reliability"] = external;
    ordered_json removed = ordered_json::array();
    for (const SnoopStep& s : a.removed) {
        ordered_json against = ordered_json::array();
        for (const ObservationTest& t : a.outside)
            if (t.point == s.point)
                against.push_back(observation(t, true));
        removed.push_back({{"point", pointName(f, s.point)},
                           {"coordinate", f.coordinate[static_cast<std::size_t>(s.coordinate)]},
                           {"w", s.w},
                           {"variance_factor", s.varianceFactor},
                           {"observations", against}});
    }
    j["removed"] = removed;
    const std::vector<int> checks = indicesOf(f, o.check);
    j["check"] = checks.empty() ? ordered_json(nullptr) : misfitJson(misfits(a.outside, checks, f.coordinate.size()));
    j["leave_one_out"] =
        o.leaveOneOut ? misfitJson(misfits(a.leaveOneOut, {}, f.coordinate.size())) : ordered_json(nullptr);
    j["converged"] = a.converged;
    return j;
}

// ---- the HTML report ------------------------------------------------------------
// One self-contained file (styles and the plot inline, nothing fetched),
// laid out for A4: the same report model as the text and the JSON.

// A table row of cells; the first is a header cell of the row.
std::string htmlRow(const std::vector<std::string>& cells, const std::string& cls = "")
{
    std::string row = cls.empty() ? "<tr>" : "<tr class=\"" + cls + "\">";
    for (std::size_t k = 0; k < cells.size(); ++k)
        row += (k == 0 ? "<th>" : "<td>") + xmlEscape(cells[k]) + (k == 0 ? "</th>" : "</td>");
    return row + "</tr>\n";
}

std::string htmlHead(const std::vector<std::string>& cells)
{
    std::string row = "<thead><tr>";
    for (const std::string& c : cells)
        row += "<th>" + xmlEscape(c) + "</th>";
    return row + "</tr></thead>\n";
}

// The observations of points outside the solution (removed or check points).
std::string htmlMisfits(const FitRun& f, const Misfits& m)
{
    std::string t = "<table>\n" + htmlHead({"Point", "coord", "v (m)", "sd(v) (m)", "w", "r", "MDB (m)", "|v| point (m)"});
    for (const Misfits::Point& p : m.points)
        for (std::size_t i = 0; i < p.observations.size(); ++i) {
            const ObservationTest& o = *p.observations[i];
            const bool last = i + 1 == p.observations.size();
            t += htmlRow({pointName(f, o.point), f.coordinate[static_cast<std::size_t>(o.coordinate)],
                          fixedText(o.residual, 4), f.apriori ? fixedText(o.sigmaResidual, 4) : "-",
                          f.apriori ? fixedText(o.w, 2) : "-", fixedText(o.redundancy, 3),
                          f.apriori ? fixedText(o.mdb, 4) : "-", last ? fixedText(p.length, 4) : ""},
                         f.apriori && o.rejected ? "failed" : "");
        }
    std::string rms;
    for (std::size_t c = 0; c < m.rms.size(); ++c)
        rms += fmt::format("{} {}  ", f.coordinate[c], fixedText(m.rms[c], 4));
    return t + "</table>\n<p>" +
           xmlEscape(fmt::format("RMS over {} point{}: {}|v| {} m", m.points.size(), m.points.size() == 1 ? "" : "s",
                                  rms, fixedText(m.rmsLength, 4))) +
           "</p>\n";
}

std::string htmlReport(const FitReport& r, const FitOptions& o, const std::string& source, const std::string& plot)
{
    const FitRun& f = *r.fit;
    const Adjustment& a = f.adj;
    std::string h = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
                    xmlEscape("Fit of the " + f.title + " transformation: " + source) + "</title>\n" +
                    R"(<style>
@page { size: A4; margin: 15mm 12mm; }
body { font-family: sans-serif; font-size: 9.5pt; color: #111; max-width: 186mm; margin: 1em auto; }
h1 { font-size: 15pt; margin: 0 0 0.4em; }
h2 { font-size: 11.5pt; margin: 1.2em 0 0.3em; break-after: avoid; page-break-after: avoid; }
table { border-collapse: collapse; margin: 0.3em 0; }
th, td { padding: 1px 6px; border-bottom: 1px solid #ddd; text-align: right; font-variant-numeric: tabular-nums; }
tbody th, tr > th:first-child { text-align: left; font-weight: normal; }
thead th { border-bottom: 1px solid #555; font-weight: bold; }
thead { display: table-header-group; }
tr { break-inside: avoid; page-break-inside: avoid; }
table.meta td, table.meta th { text-align: left; border: none; vertical-align: top; }
tr.failed, li.failed { color: #b0281a; font-weight: bold; }
figure { margin: 0.5em 0; break-inside: avoid; page-break-inside: avoid; }
figure svg { width: 100%; max-width: 170mm; height: auto; }
code { font-size: 8.5pt; word-break: break-all; }
@media print { body { margin: 0; max-width: none; } }
</style>
</head>
<body>
)";
    h += "<h1>" + xmlEscape("Fit of the " + f.title + " transformation from " + std::to_string(f.points.size()) +
                             " common points") +
         "</h1>\n<table class=\"meta\">\n";
    for (const std::string& line : f.header)
        h += "<tr><td colspan=\"2\">" + xmlEscape(line) + "</td></tr>\n";
    h += htmlRow({"Input", source + ", " + std::to_string(f.points.size()) + " common points (" + f.columns + ")"});
    for (const auto& c : f.conventions)
        h += htmlRow({c.first, c.second});
    h += htmlRow({"Date", r.date});
    h += htmlRow({"Software", "tervala " + r.version});
    h += "<tr><th>Command</th><td><code>" + xmlEscape(r.commandLine) + "</code></td></tr>\n";
    h += htmlRow({"Observations", fmt::format("{}, free parameters {}, redundancy {}", a.observationsUsed,
                                              a.observationsUsed - a.redundancy, a.redundancy)});
    h += htmlRow({"Sigma0", f.apriori ? fmt::format("{:.4f} (a posteriori, a priori 1)", a.sigma0)
                                      : fmt::format("{:.4f} m (equal weights)", a.sigma0)});
    if (const ObservationTest* e = f.apriori ? largestExternal(a) : nullptr)
        h += htmlRow({"External", fmt::format("an undetected error of one MDB moves a transformed position by at most "
                                              "{:.4f} m ({} of {}, at {}; over the points and the corners of their box)",
                                              e->external, f.coordinate[static_cast<std::size_t>(e->coordinate)],
                                              pointName(f, e->point), placeName(f, *e))});
    if (!a.removed.empty()) {
        std::string list;
        for (const SnoopStep& s : a.removed)
            list += (list.empty() ? "" : ", ") + pointName(f, s.point);
        h += htmlRow({"Solution", "without " + list + " (removed by data snooping)"});
    }
    h += "</table>\n<h2>Tests</h2>\n<ul>\n";
    for (const ReportStatement& t : r.statements) {
        const bool bad = t.result.find("FAIL") != std::string::npos || t.result.find("REJECTED") != std::string::npos;
        h += std::string(bad ? "<li class=\"failed\">" : "<li>") + xmlEscape(t.test + " (" + t.level + "): ") +
             "<b>" + xmlEscape(t.result) + "</b>; " + xmlEscape(t.detail) + "</li>\n";
    }
    h += "</ul>\n<h2>Parameters</h2>\n<table>\n" +
         htmlHead({"Parameter", "unit", "value", "std. dev.", "also in", "value", "std. dev."});
    for (const ReportParameter& p : r.parameters) {
        const bool slope = p.unit == "m/m", factor = p.alternativeUnit == "factor";
        const bool second = !p.alternativeUnit.empty();
        h += htmlRow({p.name, p.unit, fmt::format("{:.{}f}", p.value, slope ? 10 : 6),
                      p.held ? "held" : fixedText(p.sigma, slope ? 10 : 6), p.alternativeUnit,
                      second ? fmt::format("{:.{}f}", p.alternativeValue, factor ? 12 : 4) : "",
                      second ? (p.held ? "held" : fixedText(p.alternativeSigma, factor ? 12 : 4)) : ""});
    }
    h += "</table>\n<h2>Correlation of the parameters</h2>\n<table>\n";
    std::vector<std::string> head{""};
    for (const ParameterEstimate& p : a.parameters)
        head.push_back(p.name);
    h += htmlHead(head);
    for (std::size_t i = 0; i < a.parameters.size(); ++i) {
        std::vector<std::string> row{a.parameters[i].name};
        for (std::size_t j = 0; j < a.parameters.size(); ++j) {
            std::string c = fmt::format("{:.4f}", a.correlation[i][j]);
            row.push_back(c == "-0.0000" ? "0.0000" : c);
        }
        h += htmlRow(row);
    }
    h += "</table>\n<h2>Observations</h2>\n<p>v: fitted minus observed (m); r: redundancy number; nv: normalised "
         "residual" +
         (f.apriori ? xmlEscape(fmt::format("; w: w-test at alpha0 {}, critical value {:.3f}; MDB at power {}",
                                             percent(o.alpha0), a.wCritical, percent(o.power)))
                    : std::string()) +
         "; ext: largest shift of a transformed position by an error of one MDB here (m).</p>\n<table>\n" +
         htmlHead({"Point", "coord", "v (m)", "r", "nv", "w", "MDB (m)", "ext (m)", ""});
    for (const ObservationTest& t : a.observations) {
        const bool tested = f.apriori;
        h += htmlRow({pointName(f, t.point), f.coordinate[static_cast<std::size_t>(t.coordinate)],
                      fixedText(t.residual, 4), fixedText(t.redundancy, 3), tested ? fixedText(t.normalised, 2) : "-",
                      tested ? fixedText(t.w, 2) : "-", tested ? fixedText(t.mdb, 4) : "-",
                      tested ? fixedText(t.external, 4) : "-", tested && t.rejected ? "REJECTED" : ""},
                     tested && t.rejected ? "failed" : "");
    }
    h += "</table>\n";
    if (!a.local.empty()) {
        // The seven-parameter tests turned into each point's east/north/up frame.
        static const char* const kAxis[3] = {"e", "n", "u"};
        h += std::string("<h2>The same in each point's local east/north/up frame</h2>\n<p>v: the misclosure's "
                         "component (m); r, w, MDB: of a bias along that direction. For information: the test "
                         "decision (REJECTED, data snooping) is made on the geocentric observations above; &gt; "
                         "marks |w| above the critical value.</p>\n<table>\n") +
             htmlHead({"Point", "axis", "v (m)", "r", "nv", "w", "MDB (m)", ""});
        for (const ObservationTest& t : a.local) {
            const bool above = f.apriori && t.rejected;
            h += htmlRow({pointName(f, t.point), kAxis[t.coordinate], fixedText(t.residual, 4),
                          fixedText(t.redundancy, 3), f.apriori ? fixedText(t.normalised, 2) : "-",
                          f.apriori ? fixedText(t.w, 2) : "-", f.apriori ? fixedText(t.mdb, 4) : "-", above ? ">" : ""},
                         above ? "failed" : "");
        }
        h += "</table>\n";
    }
    if (!a.ellipses.empty()) {
        const bool local = sevenParameter(f);
        h += "<h2>Error ellipses of the transformed points</h2>\n<p>" +
             xmlEscape(fmt::format("{} ellipses, {:.2f} %; semi-axes in metres, azimuth of the major axis in degrees "
                                    "{}{}.",
                                    a.ellipseScale == 1 ? "Standard" : "Confidence", a.confidence * 100,
                                    local ? "from north towards east" : "from x' towards y'",
                                    f.apriori ? "" : "; scaled by sigma0")) +
             "</p>\n<table>\n" + htmlHead({"Point", "semi-major", "semi-minor", "azimuth"});
        for (const PointEllipse& e : a.ellipses)
            h += htmlRow({pointName(f, e.point), fixedText(e.semiMajor, 4), fixedText(e.semiMinor, 4),
                          fixedText(e.azimuth, 1)});
        h += "</table>\n";
    }
    std::vector<int> snooped;
    for (const SnoopStep& s : a.removed)
        snooped.push_back(s.point);
    if (!snooped.empty())
        h += "<h2>Points removed by data snooping, against the final solution</h2>\n" +
             htmlMisfits(f, misfits(a.outside, snooped, f.coordinate.size()));
    const std::vector<int> checks = indicesOf(f, o.check);
    if (!checks.empty())
        h += "<h2>Check points (held out of the fit), against the solution</h2>\n" +
             htmlMisfits(f, misfits(a.outside, checks, f.coordinate.size()));
    if (o.leaveOneOut)
        h += std::string("<h2>Leave one out: each point of the solution against the fit made without it</h2>\n<p>v: "
                         "transformed minus observed (m); sd(v): its standard deviation; w, r, MDB: of the point in "
                         "the full fit; - where the other points cannot carry the fit.</p>\n") +
             htmlMisfits(f, misfits(a.leaveOneOut, {}, f.coordinate.size()));
    // The plot as an element of the page (its XML prologue, if any, dropped).
    const std::size_t svg = plot.find("<svg");
    h += "<h2>Residuals</h2>\n<figure>\n" + (svg == std::string::npos ? std::string() : plot.substr(svg)) +
         "</figure>\n</body>\n</html>\n";
    return h;
}

// The end every fit shares: refuse what the core refused, report, and write
// the files asked for. Exit status 1 for a refusal (no file written), 2 when
// a file cannot be written.
int finish(FitRun& f, const FitOptions& o, const std::string& source)
{
    const std::string command = "fit " + f.model;
    // No output file may replace the common-point file being reported on.
    for (const auto& out : {std::make_pair("--write-params", &o.writeParams), std::make_pair("--write-proj", &o.writeProj),
                            std::make_pair("--plot", &o.plot), std::make_pair("--json", &o.json),
                            std::make_pair("--html", &o.html)}) {
        platform::FileIdentity input, output;
        int ignored = 0;
        if (!out.second->empty() && o.pointsFile != "-" && platform::identifyFile(o.pointsFile, input, ignored) &&
            platform::identifyFile(*out.second, output, ignored) && input.sameFile(output)) {
            report(command, std::string(out.first) + " " + *out.second + " is the common-point file " + o.pointsFile +
                                ": write the report to another file (nothing written)");
            return 2;
        }
    }
    if (f.adj.geometry == Geometry::InvalidInput) {
        // Standard deviations are checked on reading; what is left is --fix.
        report(command, "--fix: " + f.adj.message);
        return 2;
    }
    if (f.adj.geometry != Geometry::Sound) {
        if (!o.check.empty())
            report(command, fmt::format("--check holds {} of the {} points out of the fit", o.check.size(),
                                        f.points.size()));
        report(command, "the fit is refused: " + f.adj.message + " (no parameters written)");
        return 1;
    }
    if (!f.apriori)
        reportWithoutAPriori(f.adj);
    // Each point's coordinates in their file order (the 2D Helmert core
    // forms the second coordinate's row first).
    for (std::vector<ObservationTest>* list : {&f.adj.observations, &f.adj.outside, &f.adj.leaveOneOut})
        std::stable_sort(list->begin(), list->end(), [](const ObservationTest& a, const ObservationTest& b) {
            return a.point != b.point ? a.point < b.point : a.coordinate < b.coordinate;
        });
    const FitReport model = buildReport(f, o);
    printReport(model, o, source);
    if (!f.adj.converged) {
        report(command, f.adj.message + "; the parameters are the last pass's (no parameters written)");
        return 1;
    }
    for (const ObservationTest& t : f.adj.observations)
        if (f.apriori && t.rejected)
            f.plot[static_cast<std::size_t>(t.point)].flagged = true;
    for (const PointEllipse& e : f.adj.ellipses) {
        PlotPoint& p = f.plot[static_cast<std::size_t>(e.point)];
        p.semiMajor = e.semiMajor;
        p.semiMinor = e.semiMinor;
        p.azimuth = e.azimuth;
    }
    // Points removed by snooping are not drawn: they are not in the solution.
    std::vector<PlotPoint> drawn;
    for (std::size_t k = 0; k < f.plot.size(); ++k) {
        bool removed = false;
        for (const SnoopStep& s : f.adj.removed)
            removed = removed || static_cast<std::size_t>(s.point) == k;
        if (!removed)
            drawn.push_back(f.plot[k]);
    }
    int status = 0;
    attachCovariance(f);
    if (!o.writeParams.empty()) {
        if (!writeFileAtomically(command, o.writeParams,
                                 !f.paramText.empty()
                                     ? f.paramText
                                     : formatParamText(f.params, "written by tervala " + command + " from " + source)))
            status = 2;
        else
            std::printf("\nParameters written to %s\n", o.writeParams.c_str());
    }
    if (!o.writeProj.empty()) {
        // The parameter set is in the model's key order, the origin first.
        const bool badekas = f.model == "molodensky-badekas";
        const std::vector<double>& v = f.params.values;
        const std::size_t k = badekas ? 3 : 0;
        SevenParameters p;
        p.tx = v[k];
        p.ty = v[k + 1];
        p.tz = v[k + 2];
        p.s = v[k + 3];
        p.rx = v[k + 4];
        p.ry = v[k + 5];
        p.rz = v[k + 6];
        p.convention = Convention::CoordinateFrame;
        p.rotations = RotationForm::exact;
        if (badekas)
            p.origin = Geocentric{v[0], v[1], v[2]};
        if (!writeFileAtomically(command, o.writeProj, formatProjString(p, badekas)))
            status = 2;
        else
            std::printf("PROJ string written to %s\n", o.writeProj.c_str());
    }
    if (!o.plot.empty()) {
        if (!writeFileAtomically(command, o.plot, residualPlot(drawn, f.title + " fit: residuals", f.axes)))
            status = 2;
        else
            std::printf("Residual plot written to %s\n", o.plot.c_str());
    }
    if (!o.html.empty()) {
        if (!writeFileAtomically(command, o.html,
                                 htmlReport(model, o, source,
                                            residualPlot(drawn, f.title + " fit: residuals", f.axes))))
            status = 2;
        else
            std::printf("HTML report written to %s\n", o.html.c_str());
    }
    if (!o.json.empty()) {
        if (!writeFileAtomically(command, o.json, jsonReport(model, o, source).dump(2) + "\n"))
            status = 2;
        else
            std::printf("JSON report written to %s\n", o.json.c_str());
    }
    return status;
}

// Standard deviations per observed coordinate, `perPoint` values per point,
// from --sigma or the columns of the point file, or all 1 without either.
// For the seven-parameter fits `source` receives the source coordinates'
// (zero allowed: error-free). Returns the exit status after reporting a
// problem: 2 for conflicting options, 1 for a bad value in the file.
int gatherSigmas(const std::string& command, const FitOptions& o, const std::vector<CommonPoint>& points,
                  std::size_t perPoint, std::vector<double>& target, std::vector<double>* source, bool& apriori)
{
    const bool columns = !points.empty() && !points.front().sigma.empty();
    if (columns && o.sigma > 0) {
        report(command, "--sigma and standard deviation columns in the point file: give one or the other");
        return 2;
    }
    apriori = columns || o.sigma > 0;
    for (const CommonPoint& p : points) {
        const std::vector<double>& s = p.sigma;
        for (std::size_t i = 0; i < perPoint; ++i) {
            double t = o.sigma > 0 ? o.sigma : 1.0, src = t;
            if (columns) {
                t = s.size() == 1 ? s[0] : s.size() == 2 && source ? s[1] : s.size() == 6 ? s[3 + i] : s[i];
                src = s.size() == 1 ? s[0] : s.size() == 2 ? s[0] : s.size() == 6 ? s[i] : t;
                if (!(t > 0)) {
                    report(command, "line " + std::to_string(p.line) +
                                        ": the standard deviations of observed coordinates must be positive"
                                        " (only a source set may be 0, error-free)");
                    return 1;
                }
            }
            target.push_back(t);
            if (source)
                source->push_back(src);
        }
    }
    return 0;
}

AdjustmentSettings settingsOf(const FitOptions& o, const std::vector<CommonPoint>& points)
{
    AdjustmentSettings s;
    s.tests.alpha = o.alpha;
    s.tests.alpha0 = o.alpha0;
    s.tests.power = o.power;
    s.fixed = o.fix;
    s.snoop = o.snoop;
    s.leaveOneOut = o.leaveOneOut;
    if (o.confidence > 0)
        s.confidence = o.confidence;
    for (const std::string& id : o.check)
        for (std::size_t k = 0; k < points.size(); ++k)
            if (points[k].id == id)
                s.heldOut.push_back(static_cast<int>(k));
    return s;
}

// Sigmas gathered and --snoop checked against them: the exit status of a problem, or 0.
int prepareSigmas(const std::string& command, const FitOptions& o, const std::vector<CommonPoint>& points,
                  std::size_t perPoint, std::vector<double>& target, std::vector<double>* source, bool& apriori)
{
    if (const int status = gatherSigmas(command, o, points, perPoint, target, source, apriori))
        return status;
    if (!(o.power > o.alpha0)) {
        report(command, fmt::format("--power {:g} must exceed --alpha0 {:g} (the test's false-alarm rate)", o.power,
                                    o.alpha0));
        return 2;
    }
    for (std::size_t i = 0; i < o.check.size(); ++i) {
        const std::string& id = o.check[i];
        std::size_t found = 0;
        for (const CommonPoint& p : points)
            found += p.id == id ? 1 : 0;
        if (found != 1) {
            report(command, "--check: " + (found == 0 ? "no point '" + id + "' in the file"
                                                      : "the id '" + id + "' names more than one point"));
            return 2;
        }
        if (std::find(o.check.begin(), o.check.begin() + static_cast<std::ptrdiff_t>(i), id) !=
            o.check.begin() + static_cast<std::ptrdiff_t>(i)) {
            report(command, "--check: point '" + id + "' is named twice");
            return 2;
        }
    }
    if (o.snoop && !apriori) {
        report(command, "--snoop tests the points against their a priori standard deviations: give --sigma or "
                        "standard deviation columns");
        return 2;
    }
    return 0;
}

// Reads and parses the common-point file of a fit; the exit status
// (non-zero) on failure.
int readPoints(const std::string& command, const std::string& model, const FitOptions& o,
               std::vector<CommonPoint>& points, const PointLayout& layout = PointLayout())
{
    std::string text, error;
    if (!readFile(o.pointsFile, text, error)) {
        report(command, "common-point file: " + error);
        return 2;
    }
    std::vector<std::string> errors;
    if (!parseCommonPoints(text, model, points, errors, layout)) {
        for (const std::string& e : errors)
            report(command, o.pointsFile + ": " + e);
        return 1;
    }
    if (points.empty()) {
        report(command, "the file has no common points");
        return 1;
    }
    return 0;
}

// ---- seven parameters ---------------------------------------------------------

// The plot of the geocentric fits: each point at its place on a tangent
// plane about the centroid of the targets, its misclosure residual turned
// into east and north on `frame`; with `table`, also a footer listing each
// point's residual as east, north, up.
void addLocalFrame(FitRun& f, const std::vector<CommonPoint>& points, const NamedEllipsoid& frame, bool table)
{
    const Adjustment& a = f.adj;
    CTervala geo;
    geo.Setup_Ellipsoid(frame.a, frame.inverseFlattening);
    std::vector<double> lats, lons;
    double latC = 0, lonC = 0;
    for (const CommonPoint& p : points) {
        double X = p.target[0], Y = p.target[1], Z = p.target[2];
        geo.Geocentric_to_Geodetic(X, Y, Z);
        lats.push_back(geo.GetGeodetic(0) * kPi / 180);
        lons.push_back(geo.GetGeodetic(1) * kPi / 180);
        latC += lats.back() / static_cast<double>(points.size());
        lonC += lons.back() / static_cast<double>(points.size());
    }
    for (std::size_t k = 0; k < points.size(); ++k)
        f.plot.push_back(PlotPoint{points[k].id, (lons[k] - lonC) * std::cos(latC) * frame.a, (lats[k] - latC) * frame.a,
                                   0.0, 0.0, false});
    for (std::size_t i = 0; i + 2 < a.observations.size(); i += 3) {
        const std::size_t k = static_cast<std::size_t>(a.observations[i].point);
        const double vx = a.observations[i].residual, vy = a.observations[i + 1].residual,
                     vz = a.observations[i + 2].residual;
        const double sl = std::sin(lats[k]), cl = std::cos(lats[k]), so = std::sin(lons[k]), co = std::cos(lons[k]);
        f.plot[k].dEast = -so * vx + co * vy;
        f.plot[k].dNorth = -sl * co * vx - sl * so * vy + cl * vz;
        if (!table)
            continue;
        const double vu = cl * co * vx + cl * so * vy + sl * vz;
        if (f.footer.empty())
            f.footer = {"", "The same residuals in the local east, north, up frame of each point, metres",
                        fmt::format("{:<12} {:>10} {:>10} {:>10}", "Point", "vE", "vN", "vU")};
        f.footer.push_back(fmt::format("{:<12} {:10.4f} {:10.4f} {:10.4f}", points[k].id, f.plot[k].dEast,
                                       f.plot[k].dNorth, vu));
    }
}


int fitSevenPoints(const std::string& model, std::vector<CommonPoint> points, const FitOptions& o, const Context& ctx,
                   const NamedEllipsoid* sourceEllipsoid, const NamedEllipsoid* targetEllipsoid)
{
    const std::string command = "fit " + model;
    FitRun f;
    f.model = model;
    f.commandLine = ctx.commandLine;
    const bool badekas = model == "molodensky-badekas";
    f.title = badekas ? "Molodensky-Badekas" : "Bursa-Wolf";
    f.coordinate = {"X", "Y", "Z"};
    f.axes = PlotAxes{"east", "north"};
    std::vector<double> sigmaTarget, sigmaSource;
    if (const int status = prepareSigmas(command, o, points, 3, sigmaTarget, &sigmaSource, f.apriori))
        return status;
    // Geodetic coordinates to geocentric on their ellipsoids.
    auto toGeocentric = [](const NamedEllipsoid& e, std::vector<double>& c) {
        CTervala t;
        t.Setup_Ellipsoid(e.a, e.inverseFlattening);
        double lat = c[0], lon = c[1], h = c[2];
        t.Geodetic_to_Geocentric(lat, lon, h);
        c = {t.GetGeocentric(0), t.GetGeocentric(1), t.GetGeocentric(2)};
    };
    std::vector<double> src, dst;
    for (CommonPoint& p : points) {
        if (sourceEllipsoid)
            toGeocentric(*sourceEllipsoid, p.source);
        if (targetEllipsoid)
            toGeocentric(*targetEllipsoid, p.target);
        src.insert(src.end(), p.source.begin(), p.source.end());
        dst.insert(dst.end(), p.target.begin(), p.target.end());
    }
    f.points = points;
    // The local east/north/up frames (plot, tests, ellipses) on the target
    // ellipsoid, or --ellipsoid.
    const NamedEllipsoid& frame = targetEllipsoid ? *targetEllipsoid : ctx.ellipsoid;
    AdjustmentSettings settings = settingsOf(o, points);
    settings.frameA = frame.a;
    settings.frameInverseFlattening = frame.inverseFlattening;
    f.adj = adjustSevenParameters(static_cast<int>(points.size()), src.data(), dst.data(), sigmaSource.data(),
                                  sigmaTarget.data(), badekas, settings);
    const Adjustment& a = f.adj;
    f.header.push_back(fmt::format("Model: X' = T {}+ (1 + s 1e-6) R (X{}), R = R3(rz) R2(ry) R1(rx), coordinate frame "
                                   "rotation",
                                   badekas ? "+ X0 " : "", badekas ? " - X0" : ""));
    f.columns = std::string("id ") + (sourceEllipsoid ? "lat lon h" : "X Y Z") + " " +
                (targetEllipsoid ? "lat' lon' h'" : "X' Y' Z'") + " [sigmas]";
    f.conventions = {
        {"Convention", "coordinate-frame (positive rotations turn the axes; position-vector parameters have rx, ry, "
                       "rz negated)"},
        {"Rotations", "exact (the parameters are for the exact matrix R, PROJ's +exact; applied with EPSG's "
                      "small-angle matrix they differ)"},
        {"Ellipsoids", fmt::format("source {}, target {}",
                                   sourceEllipsoid ? std::string(sourceEllipsoid->name) + " (geodetic input converted to geocentric)"
                                                   : std::string("geocentric X Y Z"),
                                   targetEllipsoid ? std::string(targetEllipsoid->name) + " (geodetic input converted to geocentric)"
                                                   : std::string("geocentric X Y Z"))},
        {"Local frame", "east, north, up on " + std::string(frame.name) + " (the residual plot and the east/north/up residuals)"}};
    if (badekas)
        f.header.push_back(fmt::format("Rotation origin (centroid of the source points used): X0 {:.4f}  Y0 {:.4f}  "
                                       "Z0 {:.4f} m",
                                       a.origin[0], a.origin[1], a.origin[2]));
    f.params = ParamSet{model, modelKeys(model), {}, conventionName(Convention::CoordinateFrame),
                        rotationFormName(RotationForm::exact)};
    if (badekas) {
        f.params.values.assign(a.origin, a.origin + 3);
        f.estimated.assign(3, -1);
    }
    for (const ParameterEstimate& p : a.parameters) {
        f.estimated.push_back(static_cast<int>(f.params.values.size()) - (badekas ? 3 : 0));
        f.params.values.push_back(p.value);
    }

    addLocalFrame(f, points, frame, false);
    return finish(f, o, o.pointsFile);
}

int fitSeven(const std::string& model, const FitOptions& o, const Context& ctx)
{
    const std::string command = "fit " + model;
    NamedEllipsoid source{"", 0, 0}, target{"", 0, 0};
    std::string error;
    if (!o.sourceEllipsoid.empty() && !resolveEllipsoid(o.sourceEllipsoid, source, error)) {
        report(command, "--source-ellipsoid: " + error);
        return 2;
    }
    if (!o.targetEllipsoid.empty() && !resolveEllipsoid(o.targetEllipsoid, target, error)) {
        report(command, "--target-ellipsoid: " + error);
        return 2;
    }
    PointLayout layout;
    layout.geodeticSource = !o.sourceEllipsoid.empty();
    layout.geodeticTarget = !o.targetEllipsoid.empty();
    std::vector<CommonPoint> points;
    if (const int status = readPoints(command, model, o, points, layout))
        return status;
    return fitSevenPoints(model, points, o, ctx, layout.geodeticSource ? &source : nullptr,
                          layout.geodeticTarget ? &target : nullptr);
}

// ---- time-dependent Helmert ----------------------------------------------------------

struct Helmert15Options {
    FitOptions fit;
    double tRef = std::nan("");  // --t-ref; NaN: the mean epoch rounded to a tenth of a year
    std::string convention = "position-vector";
};

// Epochs outside these years are taken for a misplaced column (a standard
// deviation read as the epoch), not for a coordinate epoch.
constexpr double kFirstEpoch = 1900, kLastEpoch = 2200;

int fitHelmert15(const Helmert15Options& h, const Context& ctx)
{
    const FitOptions& o = h.fit;
    const std::string command = "fit helmert15";
    FitRun f;
    f.model = "helmert15";
    f.title = "time-dependent Helmert";
    f.coordinate = {"X", "Y", "Z"};
    f.axes = PlotAxes{"east", "north"};
    if (o.confidence > 0) {
        report(command, "--confidence: the time-dependent fit draws no error ellipses");
        return 2;
    }
    if (const int status = readPoints(command, f.model, o, f.points))
        return status;
    std::vector<double> src, dst, epochs, sigmaTarget, sigmaSource;
    for (const CommonPoint& p : f.points) {
        const double t = p.target[3];
        if (!(t >= kFirstEpoch && t <= kLastEpoch)) {
            report(command, fmt::format("{}: line {}: epoch {:g} is not a decimal year between {:g} and {:g} (is a "
                                        "standard deviation column read as the epoch? the epoch follows Z')",
                                        o.pointsFile, p.line, t, kFirstEpoch, kLastEpoch));
            return 1;
        }
        src.insert(src.end(), p.source.begin(), p.source.end());
        dst.insert(dst.end(), p.target.begin(), p.target.begin() + 3);
        epochs.push_back(t);
    }
    if (const int status = prepareSigmas(command, o, f.points, 3, sigmaTarget, &sigmaSource, f.apriori))
        return status;
    Convention convention = Convention::PositionVector;
    parseConventionName(h.convention, convention);
    const int n = static_cast<int>(f.points.size());
    const bool given = !std::isnan(h.tRef);
    f.referenceEpoch = given ? h.tRef : defaultReferenceEpoch(n, epochs.data());
    f.adj = adjustFourteenParameters(n, src.data(), dst.data(), epochs.data(), f.referenceEpoch, sigmaSource.data(),
                                     sigmaTarget.data(), settingsOf(o, f.points));
    Adjustment& a = f.adj;
    // The core estimates coordinate-frame rotations; position-vector ones are
    // their negatives, and so are their correlations with the others.
    if (convention == Convention::PositionVector && a.geometry == Geometry::Sound) {
        auto sign = [](std::size_t i) { return (i >= 4 && i <= 6) || i >= 11 ? -1.0 : 1.0; };
        for (std::size_t i = 0; i < a.parameters.size(); ++i) {
            a.parameters[i].value *= sign(i);
            for (std::size_t j = 0; j < a.parameters.size(); ++j) {
                a.correlation[i][j] *= sign(i) * sign(j);
                a.covariance[i][j] *= sign(i) * sign(j);
            }
        }
    }
    const auto range = std::minmax_element(epochs.begin(), epochs.end());
    f.header.push_back("Model: X' = T(t) + (1 + s(t) 1e-6) R(t) X at the epoch t of each point, p(t) = p + dp (t - "
                       "t_ref)");
    f.commandLine = ctx.commandLine;
    f.columns = "id X Y Z X' Y' Z' epoch [sigmas]";
    f.conventions = {
        {"Convention", convention == Convention::PositionVector
                           ? "position-vector (as the published ITRF sets; coordinate-frame parameters have rx, ry, "
                             "rz and their rates negated)"
                           : "coordinate-frame (positive rotations turn the axes; position-vector parameters have "
                             "rx, ry, rz and their rates negated)"},
        {"Rotations", "small-angle R = [[1, rz, -ry], [-rz, 1, rx], [ry, -rx, 1]] (coordinate frame; PROJ's helmert "
                      "without +exact)"},
        {"Rates", "per year; the parameters at the epoch t (decimal years) are p + dp (t - t_ref)"},
        {"Local frame", "east, north, up on " + std::string(ctx.ellipsoid.name) + " (the east/north/up residuals)"}};
    f.header.push_back(fmt::format("Epochs: {:.4f} to {:.4f}; reference epoch t_ref {:.4f} ({})", *range.first,
                                   *range.second, f.referenceEpoch,
                                   given ? "--t-ref" : "the mean epoch rounded to a tenth of a year"));
    if (a.geometry == Geometry::Sound) {
        TimeDependentParameters t;
        const std::vector<ParameterEstimate>& p = a.parameters;
        t.values = HelmertValues{p[0].value, p[1].value, p[2].value, p[3].value, p[4].value, p[5].value, p[6].value};
        t.rates = HelmertValues{p[7].value,  p[8].value,  p[9].value, p[10].value,
                                p[11].value, p[12].value, p[13].value};
        t.tRef = f.referenceEpoch;
        t.hasEpoch = t.hasValues = true;
        t.convention = convention;
        t.rotations = Rotations::SmallAngle;
        f.paramText = formatTimeDependentProjString(t);
        f.params.convention = conventionName(convention);
        f.params.rotations = "small-angle";
        addLocalFrame(f, f.points, ctx.ellipsoid, true);
    }
    return finish(f, o, o.pointsFile);
}

// ---- 2D Helmert -----------------------------------------------------------------

int fitHelmert2D(const FitOptions& o, const Context& ctx)
{
    const std::string command = "fit helmert2d";
    FitRun f;
    f.commandLine = ctx.commandLine;
    f.columns = "id x y x' y' [sigmas]";
    f.conventions = {{"Rotation", "positive turns the first axis toward the second (counter-clockwise with x right, "
                                  "y up; PROJ's helmert +theta is the opposite sense)"},
                     {"Scale", "m = 1 + scale 1e-6"}};
    f.model = "helmert2d";
    f.title = "2D Helmert";
    f.coordinate = {"x'", "y'"};
    f.axes = PlotAxes{"second coordinate y", "first coordinate x"};
    if (const int status = readPoints(command, f.model, o, f.points))
        return status;
    std::vector<double> src, dst, sigma;
    for (const CommonPoint& p : f.points) {
        src.insert(src.end(), p.source.begin(), p.source.end());
        dst.insert(dst.end(), p.target.begin(), p.target.end());
    }
    if (const int status = prepareSigmas(command, o, f.points, 2, sigma, nullptr, f.apriori))
        return status;
    f.adj = adjustHelmert2D(static_cast<int>(f.points.size()), src.data(), dst.data(), sigma.data(), settingsOf(o, f.points));
    const Adjustment& a = f.adj;
    f.header.push_back("Model: x' = x0 + t1 + m (cos r (x - x0) - sin r (y - y0)), "
                       "y' = y0 + t2 + m (sin r (x - x0) + cos r (y - y0))");
    f.header.push_back(fmt::format("Origin (centroid of the source points used): x0 {:.4f}  y0 {:.4f} m", a.origin[0],
                                   a.origin[1]));
    if (a.geometry == Geometry::Sound) {
        f.params = ParamSet{"helmert2d", modelKeys("helmert2d"),
                            {a.parameters[0].value, a.parameters[1].value, a.parameters[2].value,
                             a.parameters[3].value, a.origin[0], a.origin[1]}};
        f.estimated = {0, 1, 2, 3, -1, -1};
        for (std::size_t k = 0; k < f.points.size(); ++k)
            f.plot.push_back(PlotPoint{f.points[k].id, f.points[k].source[1], f.points[k].source[0], 0, 0, false});
        for (const ObservationTest& t : a.observations)
            (t.coordinate == 0 ? f.plot[static_cast<std::size_t>(t.point)].dNorth
                               : f.plot[static_cast<std::size_t>(t.point)].dEast) = t.residual;
    }
    return finish(f, o, o.pointsFile);
}

// ---- height plane ------------------------------------------------------------------

int fitHeight(FitOptions o, const Context& ctx)
{
    const std::string command = "fit height";
    FitRun f;
    f.commandLine = ctx.commandLine;
    f.columns = "id x y h h' [sigma]";
    f.conventions = {{"Slopes", "slope1 along the first coordinate x, slope2 along the second y, metre per metre"}};
    f.model = "height";
    f.title = "height";
    f.coordinate = {"h'"};
    f.axes = PlotAxes{"second coordinate y", "first coordinate x"};
    if (const int status = readPoints(command, f.model, o, f.points))
        return status;
    std::vector<double> origin;  // empty: the core reduces by the centroid and reports it
    if (!o.origin.empty()) {
        std::string error;
        if (!parseNumberList(o.origin, 2, origin, error)) {
            report(command, "--origin: " + error);
            return 2;
        }
    }
    std::vector<double> xy, hs, ht, sigma;
    for (const CommonPoint& p : f.points) {
        xy.push_back(p.source[0]);
        xy.push_back(p.source[1]);
        hs.push_back(p.source[2]);
        ht.push_back(p.target[0]);
    }
    if (const int status = prepareSigmas(command, o, f.points, 1, sigma, nullptr, f.apriori))
        return status;
    // Fewer than three points fit the shift alone, as Parameters_HeightTrans does.
    const bool shiftOnly = f.points.size() < 3;
    if (shiftOnly)
        o.fix.insert(o.fix.end(), {"slope1", "slope2"});
    const int n = static_cast<int>(f.points.size());
    f.adj = origin.empty() ? adjustHeightPlane(n, xy.data(), hs.data(), ht.data(), sigma.data(), settingsOf(o, f.points))
                           : adjustHeightPlane(n, origin[0], origin[1], xy.data(), hs.data(), ht.data(), sigma.data(),
                                               settingsOf(o, f.points));
    const Adjustment& a = f.adj;
    const double x0 = a.origin[0], y0 = a.origin[1];
    f.header.push_back(std::string("Model: h' = h + slope1 (x - x0) + slope2 (y - y0) + shift") +
                       (shiftOnly ? "  (fewer than 3 points: shift only)" : ""));
    f.header.push_back(fmt::format("Origin: x0 {:.4f}  y0 {:.4f} m", x0, y0));
    if (a.geometry == Geometry::Sound) {
        f.params = ParamSet{"height", modelKeys("height"),
                            {a.parameters[0].value, a.parameters[1].value, a.parameters[2].value, x0, y0}};
        f.estimated = {0, 1, 2, -1, -1};
        for (std::size_t k = 0; k < f.points.size(); ++k)
            f.plot.push_back(PlotPoint{f.points[k].id, f.points[k].source[1], f.points[k].source[0], 0, 0, false});
        for (const ObservationTest& t : a.observations)
            f.plot[static_cast<std::size_t>(t.point)].dNorth = t.residual;
    }
    return finish(f, o, o.pointsFile);
}

// A probability strictly between 0 and 1.
CLI::Validator probability()
{
    return CLI::Validator(
        [](std::string& s) -> std::string {
            double v = 0;
            std::string why;
            if (!parseNumber(s, v, why))
                return why;
            return v > 0 && v < 1 ? std::string() : "must lie strictly between 0 and 1, got " + s;
        },
        "PROBABILITY");
}

const char* kColumnsHelp =
    "Common-point files: one point per line, fields separated by blanks or commas, '#' comments.\n"
    "Optional a priori standard deviations (metres) follow the coordinates, for every point or none:\n"
    "  helmert2d   id x y x' y'       [s | sx' sy']          (target coordinates; sources error-free)\n"
    "  height      id x y h h'        [s]                    (of the height difference)\n"
    "  bursa-wolf, molodensky-badekas\n"
    "              id X Y Z X' Y' Z'  [s | s s' | sX sY sZ sX' sY' sZ']\n"
    "              (one s for all six, source and target, or each; a source s of 0 is error-free).\n"
    "  helmert15   id X Y Z X' Y' Z' epoch  [sigmas as bursa-wolf]  (epoch of X' Y' Z', decimal years)\n"
    "With --source-ellipsoid / --target-ellipsoid a seven-parameter file gives that set as latitude,\n"
    "longitude (any angle form) and ellipsoidal height; standard deviations still refer to X, Y, Z.\n"
    "Without standard deviations the fit uses equal weights and reports no global test, w-test or MDB.\n"
    "Parameter names for --fix: helmert2d t1 t2 rotation scale (scale only with rotation); height\n"
    "slope1 slope2 shift; seven-parameter fits tx ty tz s rx ry rz; helmert15 also the rates\n"
    "dtx dty dtz ds drx dry drz.";

CLI::App* addFit(CLI::App* fit, const std::string& name, const std::string& description, FitOptions& o)
{
    CLI::App* sub = fit->add_subcommand(name, description);
    sub->footer(kColumnsHelp);
    sub->add_option("points", o.pointsFile, "Common-point file (- for standard input)")->required();
    sub->add_option("--sigma", o.sigma, "A priori standard deviation (m) of every observed coordinate")
        ->check(positiveNumber());
    sub->add_option("--alpha", o.alpha, "Significance level of the global test (default 0.05)")->check(probability());
    sub->add_option("--alpha0", o.alpha0, "Significance level of each w-test (default 0.001)")
        ->check(probability());
    sub->add_option("--power", o.power, "Power of each w-test against a bias of its MDB (default 0.80)")
        ->check(probability());
    sub->add_option("--confidence", o.confidence,
                    "Probability of the error ellipses (default: the standard ellipse, 0.3935)")
        ->check(probability());
    sub->add_option("--check", o.check, "Check points: hold these points (comma list of ids) out of the fit and "
                                        "report their misfit against it")
        ->delimiter(',');
    sub->add_flag("--leave-one-out", o.leaveOneOut,
                  "Also report each point's misfit against the fit made without it");
    sub->add_option("--fix", o.fix, "Hold these parameters (comma list of names)")->delimiter(',');
    sub->add_flag("--snoop", o.snoop, "Data snooping: remove the point with the largest failing |w| and refit, "
                                      "while a w-test fails");
    sub->add_option("--write-params", o.writeParams, "Write the parameters to this file (for --params FILE)");
    sub->add_option("--plot", o.plot, "Draw the residual vectors into this SVG file");
    sub->add_option("--json", o.json, "Write the whole report as JSON to this file");
    sub->add_option("--html", o.html, "Write the report as one self-contained HTML file (printable on A4, with the "
                                      "residual plot and error ellipses) to this file");
    return sub;
}

} // namespace

int reportSevenParameterFit(const std::string& model, const std::vector<CommonPoint>& points,
                            const std::string& sourceName, const Context& ctx)
{
    FitOptions o;
    o.pointsFile = sourceName;
    return fitSevenPoints(model, points, o, ctx, nullptr, nullptr);
}

void addFitCommands(CLI::App& app, Context& ctx, Registry& registry)
{
    CLI::App* fit = app.add_subcommand("fit", "Least-squares fit of transformation parameters from common points");
    fit->require_subcommand(1);

    auto h2 = std::make_shared<FitOptions>();
    CLI::App* helmert = addFit(fit, "helmert2d", "2D Helmert from lines: id x y x' y' [sigmas]", *h2);
    registry.add(helmert, [&ctx, h2] { return fitHelmert2D(*h2, ctx); });

    auto hh = std::make_shared<FitOptions>();
    CLI::App* height = addFit(fit, "height", "Height plane from lines: id x y h h' [sigma]", *hh);
    height->add_option("--origin", hh->origin, "Origin x0,y0 (default: centroid of the positions)");
    registry.add(height, [&ctx, hh] { return fitHeight(*hh, ctx); });

    for (const char* model : {"bursa-wolf", "molodensky-badekas"}) {
        auto o = std::make_shared<FitOptions>();
        CLI::App* sub = addFit(fit, model,
                               std::string(model == std::string("bursa-wolf") ? "Bursa-Wolf seven parameters"
                                                                               : "Molodensky-Badekas parameters") +
                                   " from lines: id X Y Z X' Y' Z' [sigmas]",
                               *o);
        sub->add_option("--ellipsoid,-e", ctx.ellipsoidText,
                        "Ellipsoid of the local east/north frame of the plot (default WGS84)");
        sub->add_option("--write-proj", o->writeProj,
                        std::string("Write the parameters as a PROJ string (+proj=") +
                            (model == std::string("bursa-wolf") ? "helmert" : "molobadekas") +
                            " ... +convention=coordinate_frame +exact) to this file, for cct or --params FILE");
        sub->add_option("--source-ellipsoid", o->sourceEllipsoid,
                        "Source points are latitude longitude height on this ellipsoid");
        sub->add_option("--target-ellipsoid", o->targetEllipsoid,
                        "Target points are latitude longitude height on this ellipsoid");
        const std::string name = model;
        registry.add(sub, [&ctx, o, name] { return fitSeven(name, *o, ctx); });
    }

    auto h15 = std::make_shared<Helmert15Options>();
    CLI::App* epochs = addFit(fit, "helmert15",
                              "Time-dependent Helmert (seven parameters and their rates) from lines: id X Y Z X' Y' "
                              "Z' epoch [sigmas]",
                              h15->fit);
    epochs->add_option("--t-ref", h15->tRef,
                       "Reference epoch of the fitted values, decimal years (default: the mean epoch of the points "
                       "rounded to a tenth of a year)")
        ->check(finiteNumber());
    epochs->add_option("--convention", h15->convention,
                       "Rotation convention of the result: position-vector (default, as the ITRF sets) or "
                       "coordinate-frame")
        ->check(CLI::IsMember({"position-vector", "coordinate-frame"}));
    epochs->add_option("--ellipsoid,-e", ctx.ellipsoidText,
                       "Ellipsoid of the local east/north/up frame of the residuals (default WGS84)");
    epochs->get_option("--write-params")
        ->description("Write the parameters as a PROJ string (+proj=helmert ... +t_epoch) to this file, for "
                      "tervala helmert15 --params FILE or cct");
    registry.add(epochs, [&ctx, h15] { return fitHelmert15(*h15, ctx); });
}

} // namespace cli
} // namespace tervala
