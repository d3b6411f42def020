// The fits of namespace tervala for Python: point arrays in, a result object
// out with the fitted transformation, its parameters by name, their standard
// deviations (in the parameters' own units), covariance, residuals, the
// summary and the adjustment's statistics (the fields of the tool's JSON
// report). Every fit runs as the weighted adjustment, with equal weights when
// no standard deviations are given, as the tool does. A degenerate fit holds
// no transformation: reading a parameter or applying it raises ValueError
// instead of giving a number.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "Bindings.h"
#include "ModernSupport.h"
#include "Registration.h"
#include "modern/ConventionReadings.h"
#include "tervala/Fit.hpp"
#include "tervala/Propagation.hpp"

namespace tervala {
namespace python {
namespace {

using py::arg;

// Points as an (n, dims) array of real numbers.
py::array_t<double> pointTable(const py::handle& value, const char* name, py::ssize_t dims)
{
    py::array a = realArray(value, name);
    if (a.ndim() != 2 || a.shape(1) != dims)
        throw py::value_error(std::string(name) + " must be an (n, " + std::to_string(dims) +
                              ") array, one point per row");
    return py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(a);
}

std::vector<PlaneCoordinates> planePoints(const py::handle& value, const char* name)
{
    const auto a = pointTable(value, name, 2).unchecked<2>();
    std::vector<PlaneCoordinates> points(static_cast<std::size_t>(a.shape(0)));
    for (py::ssize_t i = 0; i < a.shape(0); ++i)
        points[static_cast<std::size_t>(i)] = {a(i, 0), a(i, 1)};
    return points;
}

std::vector<Geocentric> spacePoints(const py::handle& value, const char* name)
{
    const auto a = pointTable(value, name, 3).unchecked<2>();
    std::vector<Geocentric> points(static_cast<std::size_t>(a.shape(0)));
    for (py::ssize_t i = 0; i < a.shape(0); ++i)
        points[static_cast<std::size_t>(i)] = {a(i, 0), a(i, 1), a(i, 2)};
    return points;
}

std::vector<double> values(const py::handle& value, const char* name)
{
    py::array a = realArray(value, name);
    if (a.ndim() != 1)
        throw py::value_error(std::string(name) + " must be a one-dimensional array");
    const auto c = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(a);
    return std::vector<double>(c.data(), c.data() + c.size());
}

template <std::size_t N>
py::array_t<double> matrix(const std::array<std::array<double, N>, N>& m)
{
    py::array_t<double> out({N, N});
    for (std::size_t i = 0; i < N; ++i)
        for (std::size_t j = 0; j < N; ++j)
            out.mutable_at(i, j) = m[i][j];
    return out;
}

template <std::size_t N>
std::array<std::array<double, N>, N> matrixFrom(const py::handle& value)
{
    const auto a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(value);
    std::array<std::array<double, N>, N> m{};
    for (std::size_t i = 0; i < N; ++i)
        for (std::size_t j = 0; j < N; ++j)
            m[i][j] = a.at(i, j);
    return m;
}

template <class T, std::size_t N>
py::array_t<double> residualTable(const std::vector<T>& residuals)
{
    py::array_t<double> out({residuals.size(), N});
    auto o = out.mutable_unchecked<2>();
    for (std::size_t i = 0; i < residuals.size(); ++i) {
        const double* r = reinterpret_cast<const double*>(&residuals[i]);
        for (std::size_t k = 0; k < N; ++k)
            o(static_cast<py::ssize_t>(i), static_cast<py::ssize_t>(k)) = r[k];
    }
    return out;
}

template <class T, std::size_t N>
std::vector<T> residualsFrom(const py::handle& value)
{
    const auto a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(value);
    std::vector<T> out(static_cast<std::size_t>(a.shape(0)));
    for (std::size_t i = 0; i < out.size(); ++i) {
        double* r = reinterpret_cast<double*>(&out[i]);
        for (std::size_t k = 0; k < N; ++k)
            r[k] = a.at(i, k);
    }
    return out;
}

py::tuple summaryState(const FitSummary& s)
{
    return py::make_tuple(s.points, s.observations, s.unknowns, s.redundancy, s.rank, s.degenerate, s.converged,
                          s.iterations, s.sigma);
}

FitSummary summaryFrom(const py::handle& value)
{
    const py::tuple t = py::reinterpret_borrow<py::tuple>(value);
    return FitSummary{t[0].cast<int>(),  t[1].cast<int>(),  t[2].cast<int>(), t[3].cast<int>(),    t[4].cast<int>(),
                      t[5].cast<bool>(), t[6].cast<bool>(), t[7].cast<int>(), t[8].cast<double>()};
}

// The named tuples of the statistics.
struct StatisticsTypes {
    py::object parameter, globalTest, observations, removed, statistics, ellipses;
};

// A list of observations as FitObservations of NumPy arrays.
py::object observationArrays(const std::vector<FitObservation>& list, const StatisticsTypes& types)
{
    const py::ssize_t m = static_cast<py::ssize_t>(list.size());
    py::array_t<long long> point(m), coordinate(m);
    py::array_t<double> residual(m), redundancy(m), normalised(m), w(m), mdb(m), external(m);
    py::array_t<bool> rejected(m);
    for (py::ssize_t i = 0; i < m; ++i) {
        const FitObservation& o = list[static_cast<std::size_t>(i)];
        point.mutable_at(i) = o.point;
        coordinate.mutable_at(i) = o.coordinate;
        residual.mutable_at(i) = o.residual;
        redundancy.mutable_at(i) = o.redundancyNumber;
        normalised.mutable_at(i) = o.normalisedResidual;
        w.mutable_at(i) = o.w;
        mdb.mutable_at(i) = o.mdb;
        rejected.mutable_at(i) = o.rejected;
        external.mutable_at(i) = o.external;
    }
    return types.observations(point, coordinate, residual, redundancy, normalised, w, mdb, rejected, external);
}

// FitObservations (or a pickled one) back into the list.
std::vector<FitObservation> observationsFrom(const py::handle& o)
{
    std::vector<FitObservation> out;
    const auto points = o.attr("point").cast<std::vector<long long>>();
    const auto coordinates = o.attr("coordinate").cast<std::vector<long long>>();
    const auto column = [&o](const char* name) { return o.attr(name).cast<std::vector<double>>(); };
    const auto residual = column("residual"), redundancy = column("redundancy_number"),
               normalised = column("normalised_residual"), wt = column("w"), mdb = column("mdb"),
               external = column("external");
    const auto rejected = o.attr("rejected").cast<std::vector<bool>>();
    for (std::size_t i = 0; i < points.size(); ++i)
        out.push_back(FitObservation{static_cast<int>(points[i]), static_cast<int>(coordinates[i]), residual[i],
                                     redundancy[i], normalised[i], wt[i], mdb[i], rejected[i], external[i]});
    return out;
}

// The ellipses as FitEllipses of NumPy arrays (sigma: (m, 2) for the plane,
// (m, 3) with up for the seven-parameter fits); None for the height plane.
py::object ellipseArrays(const FitStatistics& s, const StatisticsTypes& types)
{
    if (s.ellipses.empty())
        return py::none();
    const py::ssize_t m = static_cast<py::ssize_t>(s.ellipses.size());
    const bool up = std::isfinite(s.ellipses.front().sigmaUp);
    const py::ssize_t columns = up ? 3 : 2;
    py::array_t<long long> point(m);
    py::array_t<double> major(m), minor(m), azimuth(m), sigma({m, columns});
    for (py::ssize_t i = 0; i < m; ++i) {
        const FitEllipse& e = s.ellipses[static_cast<std::size_t>(i)];
        point.mutable_at(i) = e.point;
        major.mutable_at(i) = e.semiMajor;
        minor.mutable_at(i) = e.semiMinor;
        azimuth.mutable_at(i) = e.azimuth;
        sigma.mutable_at(i, 0) = e.sigmaFirst;
        sigma.mutable_at(i, 1) = e.sigmaSecond;
        if (up)
            sigma.mutable_at(i, 2) = e.sigmaUp;
    }
    return types.ellipses(point, major, minor, azimuth, sigma, s.confidence);
}

py::object statisticsObject(const std::optional<FitStatistics>& given, const StatisticsTypes& types)
{
    if (!given)
        return py::none();
    const FitStatistics& s = *given;
    py::list parameters, removed;
    for (const FitParameter& p : s.parameters)
        parameters.append(types.parameter(p.name, p.value, p.sigma, p.unit,
                                          p.alternativeUnit.empty() ? py::object(py::none()) : py::str(p.alternativeUnit),
                                          p.alternativeUnit.empty() ? py::object(py::none()) : py::float_(p.alternativeValue),
                                          p.alternativeUnit.empty() ? py::object(py::none()) : py::float_(p.alternativeSigma)));
    const std::size_t u = s.parameters.size();
    py::array_t<double> correlation({u, u});
    for (std::size_t i = 0; i < u; ++i)
        for (std::size_t j = 0; j < u; ++j)
            correlation.mutable_at(i, j) = s.correlation[i][j];
    for (const FitRemovedPoint& r : s.removed)
        removed.append(types.removed(r.point, r.coordinate, r.w, r.varianceFactor, r.globalPassed));
    const py::object global = s.globalTest ? types.globalTest(s.globalTest->statistic, s.globalTest->lower,
                                                              s.globalTest->upper, s.alpha, s.globalTest->passed)
                                           : py::none();
    return types.statistics(s.apriori, py::tuple(parameters), correlation, s.sigma0, s.redundancy, global,
                            s.apriori ? py::object(py::float_(s.wCritical)) : py::none(), s.alpha0,
                            observationArrays(s.observations, types), py::tuple(removed), s.noncentralitySqrt,
                            s.message, ellipseArrays(s, types),
                            s.local.empty() ? py::object(py::none()) : observationArrays(s.local, types));
}

std::optional<FitStatistics> statisticsFrom(const py::handle& value)
{
    if (value.is_none())
        return std::nullopt;
    FitStatistics s{};
    s.apriori = value.attr("a_priori").cast<bool>();
    for (const py::handle p : value.attr("parameters"))
    {
        const bool alternative = !p.attr("alternative_unit").is_none();
        s.parameters.push_back(FitParameter{
            p.attr("name").cast<std::string>(), p.attr("value").cast<double>(), p.attr("sigma").cast<double>(),
            p.attr("unit").cast<std::string>(), alternative ? p.attr("alternative_unit").cast<std::string>() : "",
            alternative ? p.attr("alternative_value").cast<double>() : std::nan(""),
            alternative ? p.attr("alternative_sigma").cast<double>() : std::nan("")});
    }
    const auto c = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(value.attr("correlation"));
    const auto u = static_cast<py::ssize_t>(s.parameters.size());
    if (!c || c.ndim() != 2 || c.shape(0) != u || c.shape(1) != u) {
        PyErr_Clear();
        throw py::value_error("the pickled statistics hold a correlation matrix of the wrong shape");
    }
    for (std::size_t i = 0; i < s.parameters.size(); ++i) {
        s.correlation.emplace_back(s.parameters.size());
        for (std::size_t j = 0; j < s.parameters.size(); ++j)
            s.correlation[i][j] = c.at(i, j);
    }
    s.sigma0 = value.attr("sigma0").cast<double>();
    s.redundancy = value.attr("redundancy").cast<int>();
    s.alpha0 = value.attr("alpha0").cast<double>();
    s.alpha = 0.05;
    const py::object global = value.attr("global_test");
    if (!global.is_none()) {
        s.alpha = global.attr("alpha").cast<double>();
        s.globalTest = FitGlobalTest{global.attr("statistic").cast<double>(), global.attr("lower").cast<double>(),
                                     global.attr("upper").cast<double>(), global.attr("passed").cast<bool>()};
    }
    const py::object w = value.attr("w_critical");
    s.wCritical = w.is_none() ? std::nan("") : w.cast<double>();
    s.noncentralitySqrt = value.attr("noncentrality_sqrt").cast<double>();
    s.observations = observationsFrom(value.attr("observations"));
    for (const py::handle r : value.attr("removed"))
        s.removed.push_back(FitRemovedPoint{r.attr("point").cast<int>(), r.attr("coordinate").cast<int>(),
                                            r.attr("w").cast<double>(), r.attr("variance_factor").cast<double>(),
                                            r.attr("global_passed").cast<bool>()});
    s.message = value.attr("message").cast<std::string>();
    const py::object ellipses = value.attr("ellipses");
    s.confidence = 0.39346934028736658;
    if (!ellipses.is_none()) {
        s.confidence = ellipses.attr("confidence").cast<double>();
        const auto points = ellipses.attr("point").cast<std::vector<long long>>();
        const auto column = [&ellipses](const char* name) { return ellipses.attr(name).cast<std::vector<double>>(); };
        const auto major = column("semi_major"), minor = column("semi_minor"), azimuth = column("azimuth");
        const auto sigma = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(ellipses.attr("sigma"));
        if (!sigma || sigma.ndim() != 2 || sigma.shape(0) != static_cast<py::ssize_t>(points.size()) ||
            sigma.shape(1) < 2 || sigma.shape(1) > 3) {
            PyErr_Clear();
            throw py::value_error("the pickled statistics hold ellipse standard deviations of the wrong shape");
        }
        for (std::size_t i = 0; i < points.size(); ++i) {
            const auto k = static_cast<py::ssize_t>(i);
            s.ellipses.push_back(FitEllipse{static_cast<int>(points[i]), major[i], minor[i], azimuth[i],
                                            sigma.at(k, 0), sigma.at(k, 1),
                                            sigma.shape(1) == 3 ? sigma.at(k, 2) : std::nan("")});
        }
    }
    const py::object local = value.attr("local");
    if (!local.is_none())
        s.local = observationsFrom(local);
    return s;
}

// A fit's transformation, or ValueError saying why there is none.
template <class Result>
const auto& fitted(const Result& r, const char* what)
{
    if (!r.transformation)
        throw py::value_error(std::string(what) + ": the fit is degenerate (rank " + std::to_string(r.summary.rank) +
                              " of " + std::to_string(r.summary.unknowns) +
                              " unknowns): it determines no transformation");
    return *r.transformation;
}

// The summary properties every result has.
template <class Result, class Class>
void summaryProperties(Class& cls, const StatisticsTypes& types)
{
    cls.def_property_readonly("statistics", [types](const Result& r) { return statisticsObject(r.statistics, types); },
                              "the adjustment's statistics: parameters (name, value, sigma), correlation, sigma0, "
                              "redundancy, global_test, w_critical, observations, removed, ellipses, local");
    cls.def_property_readonly("points", [](const Result& r) { return r.summary.points; }, "common points used")
        .def_property_readonly("observations", [](const Result& r) { return r.summary.observations; })
        .def_property_readonly("unknowns", [](const Result& r) { return r.summary.unknowns; })
        .def_property_readonly("redundancy", [](const Result& r) { return r.summary.redundancy; })
        .def_property_readonly("rank", [](const Result& r) { return r.summary.rank; },
                               "how many unknowns the geometry of the points determines")
        .def_property_readonly("degenerate", [](const Result& r) { return r.summary.degenerate; },
                               "True when the fit determines no transformation")
        .def_property_readonly("converged", [](const Result& r) { return r.summary.converged; })
        .def_property_readonly("iterations", [](const Result& r) { return r.summary.iterations; })
        .def_property_readonly("sigma", [](const Result& r) { return r.summary.sigma; },
                               "a posteriori standard deviation of unit weight (m)")
        .def_property_readonly("transformation", [](const Result& r) -> py::object {
            return r.transformation ? py::cast(*r.transformation) : py::none();
        }, "the fitted transformation, None when degenerate")
        .def_property_readonly("covariance", [](const Result& r) { return matrix(r.covariance); },
                               "covariance of the parameters, in the order of `parameters`");
}

// The parameter values by name: one property each, a named tuple of all of
// them (`parameters`) and of their standard deviations.
template <class Result, std::size_t N, class Class, class Values>
void parameterProperties(Class& cls, const char* what, const py::object& tupleType,
                         const std::array<const char*, N>& names, Values values)
{
    for (std::size_t k = 0; k < N; ++k)
        cls.def_property_readonly(names[k], [what, values, k](const Result& r) {
            return values(fitted(r, what))[k];
        });
    cls.def_property_readonly("parameters", [what, values, tupleType](const Result& r) {
        const std::array<double, N> v = values(fitted(r, what));
        std::array<py::object, N> items;
        for (std::size_t k = 0; k < N; ++k)
            items[k] = py::float_(v[k]);
        return makeNamed<N>(tupleType, std::move(items));
    });
    cls.def("__repr__", [what, values, tupleType](const Result& r) {
        std::string text = std::string(what) + "(points=" + std::to_string(r.summary.points);
        if (r.transformation) {
            const std::array<double, N> v = values(*r.transformation);
            std::array<py::object, N> items;
            for (std::size_t k = 0; k < N; ++k)
                items[k] = py::float_(v[k]);
            text += ", " + py::repr(makeNamed<N>(tupleType, std::move(items))).template cast<std::string>();
        } else {
            text += ", degenerate, rank " + std::to_string(r.summary.rank);
        }
        return text + ", sigma=" + py::repr(py::float_(r.summary.sigma)).template cast<std::string>() + ")";
    });
    cls.def_property_readonly("standard_deviations", [tupleType](const Result& r) {
        std::array<py::object, N> items;
        for (std::size_t k = 0; k < N; ++k)
            items[k] = py::float_(r.standardDeviations[k]);
        return makeNamed<N>(tupleType, std::move(items));
    }, "standard deviations of the parameters, in their own units");
}

// The scale's former name, scale_ppm: still read, with a DeprecationWarning
// naming the one every front end uses now.
template <class Result, class Class, class Scale>
void deprecatedScale(Class& cls, const char* what, const char* name, Scale scale)
{
    cls.def_property_readonly("scale_ppm", [what, name, scale](const Result& r) {
        const std::string warning = std::string("scale_ppm is deprecated; use .") + name + " (ppm)";
        if (PyErr_WarnEx(PyExc_DeprecationWarning, warning.c_str(), 1) != 0)
            throw py::error_already_set();
        return scale(fitted(r, what));
    }, "deprecated name of the scale (ppm)");
}

py::object namedTuple(const char* name, const char* fields)
{
    return py::module_::import("collections").attr("namedtuple")(name, fields, py::arg("module") = "tervala");
}

// Applies a kernel to the rows of an (..., NIn) array, giving (..., NOut)
// (or (...) for NOut == 1).
template <std::size_t NIn, std::size_t NOut, class Kernel>
py::object applyRows(const py::handle& points, const char* name, Kernel kernel)
{
    py::array a = realArray(points, name);
    if (a.ndim() < 1 || a.shape(a.ndim() - 1) != static_cast<py::ssize_t>(NIn))
        throw py::value_error(std::string(name) + " must be an array of shape (..., " + std::to_string(NIn) + ")");
    std::array<py::array, NIn> columns;
    for (std::size_t k = 0; k < NIn; ++k)
        columns[k] = a[py::make_tuple(py::ellipsis(), k)];
    std::array<py::object, NOut> out = mapArrays<NIn, NOut>(columns, 0, kCheapPoints, [&](int) {
        return [&](int, const double (&in)[NIn], double (&result)[NOut]) { kernel(in, result); };
    });
    if (NOut == 1)
        return std::move(out[0]);
    py::list list;
    for (auto& o : out)
        list.append(o);
    return py::module_::import("numpy").attr("stack")(list, py::arg("axis") = -1);
}

// The columns [first, last) of the last axis of an (..., n) array.
py::object lastAxis(const py::object& a, py::ssize_t first, py::ssize_t last)
{
    return a[py::make_tuple(py::ellipsis(), py::slice(first, last, 1))];
}

// The adjustment settings from the keyword arguments. sigma: None, one
// number, or one per point per coordinate as an (n, perPoint) array ((n,)
// for heights).
std::vector<double> sigmaValues(const py::handle& value, const char* name, std::size_t points, py::ssize_t perPoint)
{
    if (value.is_none())
        return {};
    py::array a = realArray(value, name);
    const auto c = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(a);
    const bool one = a.ndim() == 0;
    const bool table = perPoint == 1 ? a.ndim() == 1 && a.shape(0) == static_cast<py::ssize_t>(points)
                                     : a.ndim() == 2 && a.shape(0) == static_cast<py::ssize_t>(points) &&
                                           a.shape(1) == perPoint;
    if (!one && !table)
        throw py::value_error(std::string(name) + " must be one number or " +
                              (perPoint == 1 ? "an (n,) array, one per point"
                                             : "an (n, " + std::to_string(perPoint) +
                                                   ") array, one per point and coordinate") +
                              " (n = " + std::to_string(points) + ")");
    return std::vector<double>(c.data(), c.data() + c.size());
}

FitSettings settingsFrom(const py::handle& sigma, std::size_t points, py::ssize_t perPoint, double alpha,
                         double alpha0, const py::handle& fix, bool snoop, double confidence)
{
    FitSettings s;
    s.confidence = confidence;
    s.sigma = sigmaValues(sigma, "sigma", points, perPoint);
    s.alpha = alpha;
    s.alpha0 = alpha0;
    if (py::isinstance<py::str>(fix))
        s.fixed.push_back(fix.cast<std::string>());
    else if (!fix.is_none())
        s.fixed = fix.cast<std::vector<std::string>>();
    s.snoop = snoop;
    return s;
}

} // namespace

void bindModernFits(py::module_& m)
{
    StatisticsTypes stats{namedTuple("FitParameter", "name value sigma unit alternative_unit alternative_value "
                                                            "alternative_sigma"),
                          namedTuple("GlobalTest", "statistic lower upper alpha passed"),
                          namedTuple("FitObservations", "point coordinate residual redundancy_number "
                                                        "normalised_residual w mdb rejected external"),
                          namedTuple("RemovedPoint", "point coordinate w variance_factor global_passed"),
                          namedTuple("FitStatistics", "a_priori parameters correlation sigma0 redundancy global_test "
                                                      "w_critical alpha0 observations removed noncentrality_sqrt "
                                                      "message ellipses local"),
                          namedTuple("FitEllipses", "point semi_major semi_minor azimuth sigma confidence")};
    for (const py::object* t : {&stats.parameter, &stats.globalTest, &stats.observations, &stats.removed,
                                &stats.statistics, &stats.ellipses})
        m.attr(t->attr("__name__")) = *t;

    // ---- 2D Helmert ---------------------------------------------------------------
    const py::object helmert2dParameters = namedTuple("Helmert2DParameters", "t1 t2 scale rotation");
    py::class_<Helmert2DFitResult> r2(m, "Helmert2DFitResult",
                                      "Result of fit_helmert_2d: t1, t2 (m), scale (ppm), rotation (arc-seconds), "
                                      "about the source centroid (origin).");
    summaryProperties<Helmert2DFitResult>(r2, stats);
    parameterProperties<Helmert2DFitResult, 4>(r2, "Helmert2DFitResult", helmert2dParameters,
                                               {"t1", "t2", "scale", "rotation"}, [](const Helmert2D& h) {
                                                   return std::array<double, 4>{h.t1(), h.t2(), h.scale(), h.rotation()};
                                               });
    deprecatedScale<Helmert2DFitResult>(r2, "Helmert2DFitResult", "scale",
                                        [](const Helmert2D& h) { return h.scale(); });
    r2.def_property_readonly("residuals", [](const Helmert2DFitResult& r) {
          return residualTable<PlaneCoordinates, 2>(r.residuals);
      }, "(n, 2) fitted minus target (m)")
        .def_property_readonly("origin", [](const Helmert2DFitResult& r) {
            const PlaneCoordinates& o = fitted(r, "Helmert2DFitResult").origin();
            return py::make_tuple(o.first, o.second);
        });
    defineMethods(r2, row("apply",
                          [](const Helmert2DFitResult& r, const py::handle& points, bool propagate) -> py::object {
                              const Helmert2D& h = fitted(r, "apply");
                              if (!propagate)
                                  return applyRows<2, 2>(points, "points",
                                                         [&h](const double (&in)[2], double (&out)[2]) {
                                                             const PlaneCoordinates p = h.forward({in[0], in[1]});
                                                             out[0] = p.first;
                                                             out[1] = p.second;
                                                         });
                              const py::object all = applyRows<2, 7>(
                                  points, "points", [&h, &r](const double (&in)[2], double (&out)[7]) {
                                      const PlaneCoordinates p = h.forward({in[0], in[1]});
                                      const PlanePrecision q = tervala::propagate(h, r.covariance, {in[0], in[1]});
                                      const double v[7] = {p.first,           p.second,           q.sigmaFirst,
                                                           q.sigmaSecond,     q.ellipse.semiMajor, q.ellipse.semiMinor,
                                                           q.ellipse.azimuth};
                                      for (int k = 0; k < 7; ++k)
                                          out[k] = v[k];
                                  });
                              return py::make_tuple(lastAxis(all, 0, 2), lastAxis(all, 2, 4), lastAxis(all, 4, 7));
                          },
                          "The fitted transformation on an (..., 2) array of (first, second) -> (..., 2). With "
                          "propagate=True a tuple (points, standard_deviations, ellipses): the standard deviations "
                          "(..., 2) of the transformed coordinates (m) propagated from the parameter covariance, "
                          "and the standard error ellipses (..., 3): semi-major, semi-minor axis (m) and azimuth of "
                          "the major axis (degrees from the first axis toward the second, in [0, 180)).",
                          arg("points"), py::kw_only(), arg("propagate") = false));
    r2.def(py::pickle(
        [stats](const Helmert2DFitResult& r) {
            return py::make_tuple(r.transformation ? py::cast(*r.transformation) : py::none(), matrix(r.covariance),
                                  r.standardDeviations, residualTable<PlaneCoordinates, 2>(r.residuals),
                                  summaryState(r.summary), statisticsObject(r.statistics, stats));
        },
        [](const py::tuple& s) {
            Helmert2DFitResult r;
            r.statistics = statisticsFrom(s[5]);
            if (!s[0].is_none())
                r.transformation = s[0].cast<Helmert2D>();
            r.covariance = matrixFrom<4>(s[1]);
            r.standardDeviations = s[2].cast<std::array<double, 4>>();
            r.residuals = residualsFrom<PlaneCoordinates, 2>(s[3]);
            r.summary = summaryFrom(s[4]);
            return r;
        }));

    // ---- Height plane ---------------------------------------------------------------
    const py::object heightParameters = namedTuple("HeightPlaneParameters", "slope1 slope2 shift");
    py::class_<HeightPlaneFitResult> rh(m, "HeightPlaneFitResult",
                                        "Result of fit_height_plane: slope1, slope2 (m/m), shift (m).");
    summaryProperties<HeightPlaneFitResult>(rh, stats);
    parameterProperties<HeightPlaneFitResult, 3>(rh, "HeightPlaneFitResult", heightParameters,
                                                 {"slope1", "slope2", "shift"}, [](const HeightPlane& h) {
                                                     return std::array<double, 3>{h.slope1(), h.slope2(), h.shift()};
                                                 });
    rh.def_property_readonly("residuals", [](const HeightPlaneFitResult& r) {
          return py::array_t<double>(static_cast<py::ssize_t>(r.residuals.size()), r.residuals.data());
      }, "(n,) fitted minus target height (m)")
        .def_property_readonly("mean_accuracy", [](const HeightPlaneFitResult& r) { return r.meanAccuracy; },
                               "sqrt(0.5 v'v) (m)")
        .def_property_readonly("origin", [](const HeightPlaneFitResult& r) {
            const PlaneCoordinates& o = fitted(r, "HeightPlaneFitResult").origin();
            return py::make_tuple(o.first, o.second);
        });
    defineMethods(rh, row("apply",
                          [](const HeightPlaneFitResult& r, const py::handle& points, bool propagate) -> py::object {
                              const HeightPlane& h = fitted(r, "apply");
                              if (!propagate)
                                  return applyRows<3, 1>(points, "points",
                                                         [&h](const double (&in)[3], double (&out)[1]) {
                                                             out[0] = h.forward({in[0], in[1]}, in[2]);
                                                         });
                              const py::object all = applyRows<3, 2>(
                                  points, "points", [&h, &r](const double (&in)[3], double (&out)[2]) {
                                      out[0] = h.forward({in[0], in[1]}, in[2]);
                                      out[1] = tervala::propagate(h, r.covariance, {in[0], in[1]});
                                  });
                              return py::make_tuple(all[py::make_tuple(py::ellipsis(), 0)],
                                                    all[py::make_tuple(py::ellipsis(), 1)]);
                          },
                          "The fitted plane on an (..., 3) array of (first, second, height) -> (...) heights. "
                          "With propagate=True a tuple (heights, standard_deviations): the standard deviation (...) "
                          "of each transformed height (m) propagated from the parameter covariance.",
                          arg("points"), py::kw_only(), arg("propagate") = false));
    rh.def(py::pickle(
        [stats](const HeightPlaneFitResult& r) {
            return py::make_tuple(r.transformation ? py::cast(*r.transformation) : py::none(), matrix(r.covariance),
                                  r.standardDeviations, r.residuals, r.meanAccuracy, summaryState(r.summary),
                                  statisticsObject(r.statistics, stats));
        },
        [](const py::tuple& s) {
            HeightPlaneFitResult r;
            r.statistics = statisticsFrom(s[6]);
            if (!s[0].is_none())
                r.transformation = s[0].cast<HeightPlane>();
            r.covariance = matrixFrom<3>(s[1]);
            r.standardDeviations = s[2].cast<std::array<double, 3>>();
            r.residuals = s[3].cast<std::vector<double>>();
            r.meanAccuracy = s[4].cast<double>();
            r.summary = summaryFrom(s[5]);
            return r;
        }));

    // ---- Seven parameters -------------------------------------------------------------
    const py::object sevenParameters = namedTuple("Helmert7Parameters", "tx ty tz s rx ry rz");
    const std::array<const char*, 7> sevenNames{"tx", "ty", "tz", "s", "rx", "ry", "rz"};
    auto sevenValues = [](const Helmert7& h) {
        return std::array<double, 7>{h.tx(), h.ty(), h.tz(), h.s(), h.rx(), h.ry(), h.rz()};
    };
    py::class_<Helmert7FitResult> r7(m, "Helmert7FitResult",
                                     "Result of fit_helmert7: tx, ty, tz (m), s (ppm), rx, ry, rz (arc-seconds).");
    summaryProperties<Helmert7FitResult>(r7, stats);
    parameterProperties<Helmert7FitResult, 7>(r7, "Helmert7FitResult", sevenParameters, sevenNames, sevenValues);
    deprecatedScale<Helmert7FitResult>(r7, "Helmert7FitResult", "s", [](const Helmert7& h) { return h.s(); });
    py::class_<MolodenskyBadekasFitResult> rb(m, "MolodenskyBadekasFitResult",
                                              "Result of fit_molodensky_badekas: parameters as Helmert7FitResult, "
                                              "about the source centroid (origin).");
    summaryProperties<MolodenskyBadekasFitResult>(rb, stats);
    parameterProperties<MolodenskyBadekasFitResult, 7>(
        rb, "MolodenskyBadekasFitResult", sevenParameters, sevenNames,
        [sevenValues](const MolodenskyBadekas& h) { return sevenValues(h.parameters()); });
    deprecatedScale<MolodenskyBadekasFitResult>(rb, "MolodenskyBadekasFitResult", "s",
                                                [](const MolodenskyBadekas& h) { return h.parameters().s(); });
    rb.def_property_readonly("origin", [](const MolodenskyBadekasFitResult& r) {
        const Geocentric& o = fitted(r, "MolodenskyBadekasFitResult").origin();
        return makeNamed<3>(namedTypes().geocentric, {py::float_(o.x), py::float_(o.y), py::float_(o.z)});
    });
    auto sevenApply = [](const auto& r, const py::handle& points, bool propagate) -> py::object {
        const auto& h = fitted(r, "apply");
        if (!propagate)
            return applyRows<3, 3>(points, "points", [&h](const double (&in)[3], double (&out)[3]) {
                const Geocentric p = h.forward({in[0], in[1], in[2]});
                out[0] = p.x;
                out[1] = p.y;
                out[2] = p.z;
            });
        const py::object all = applyRows<3, 6>(points, "points", [&h, &r](const double (&in)[3], double (&out)[6]) {
            const Geocentric p = h.forward({in[0], in[1], in[2]});
            const GeocentricPrecision q = tervala::propagate(h, r.covariance, {in[0], in[1], in[2]});
            const double v[6] = {p.x, p.y, p.z, q.sigmaX, q.sigmaY, q.sigmaZ};
            for (int k = 0; k < 6; ++k)
                out[k] = v[k];
        });
        return py::make_tuple(lastAxis(all, 0, 3), lastAxis(all, 3, 6));
    };
    const char* applyDoc = "The fitted transformation on an (..., 3) array of X, Y, Z -> (..., 3). With "
                           "propagate=True a tuple (points, standard_deviations): the standard deviations (..., 3) "
                           "of X', Y', Z' (m) propagated from the parameter covariance.";
    defineMethods(r7, row("apply", [sevenApply](const Helmert7FitResult& r, const py::handle& p, bool propagate) {
                      return sevenApply(r, p, propagate);
                  }, applyDoc, arg("points"), py::kw_only(), arg("propagate") = false));
    defineMethods(rb, row("apply",
                          [sevenApply](const MolodenskyBadekasFitResult& r, const py::handle& p, bool propagate) {
                              return sevenApply(r, p, propagate);
                          },
                          applyDoc, arg("points"), py::kw_only(), arg("propagate") = false));
    r7.def_property_readonly("residuals", [](const Helmert7FitResult& r) {
        return residualTable<Geocentric, 3>(r.residuals);
    }, "(n, 3) fitted minus target (m)");
    rb.def_property_readonly("residuals", [](const MolodenskyBadekasFitResult& r) {
        return residualTable<Geocentric, 3>(r.residuals);
    }, "(n, 3) fitted minus target (m)");
    r7.def(py::pickle(
        [stats](const Helmert7FitResult& r) {
            return py::make_tuple(r.transformation ? py::cast(*r.transformation) : py::none(), matrix(r.covariance),
                                  r.standardDeviations, residualTable<Geocentric, 3>(r.residuals),
                                  summaryState(r.summary), statisticsObject(r.statistics, stats));
        },
        [](const py::tuple& s) {
            Helmert7FitResult r;
            r.statistics = statisticsFrom(s[5]);
            if (!s[0].is_none())
                r.transformation = s[0].cast<Helmert7>();
            r.covariance = matrixFrom<7>(s[1]);
            r.standardDeviations = s[2].cast<std::array<double, 7>>();
            r.residuals = residualsFrom<Geocentric, 3>(s[3]);
            r.summary = summaryFrom(s[4]);
            return r;
        }));
    rb.def(py::pickle(
        [stats](const MolodenskyBadekasFitResult& r) {
            return py::make_tuple(r.transformation ? py::cast(*r.transformation) : py::none(), matrix(r.covariance),
                                  r.standardDeviations, residualTable<Geocentric, 3>(r.residuals),
                                  summaryState(r.summary), statisticsObject(r.statistics, stats));
        },
        [](const py::tuple& s) {
            MolodenskyBadekasFitResult r;
            r.statistics = statisticsFrom(s[5]);
            if (!s[0].is_none())
                r.transformation = s[0].cast<MolodenskyBadekas>();
            r.covariance = matrixFrom<7>(s[1]);
            r.standardDeviations = s[2].cast<std::array<double, 7>>();
            r.residuals = residualsFrom<Geocentric, 3>(s[3]);
            r.summary = summaryFrom(s[4]);
            return r;
        }));

    // ---- Time-dependent Helmert -----------------------------------------------------------
    const py::object fifteenParameters =
        namedTuple("Helmert15Parameters", "tx ty tz s rx ry rz dtx dty dtz ds drx dry drz");
    py::class_<Helmert15FitResult> r15(m, "Helmert15FitResult",
                                       "Result of fit_helmert15: tx, ty, tz (m), s (ppm), rx, ry, rz (arc-seconds) "
                                       "at t_ref and their rates per year.");
    summaryProperties<Helmert15FitResult>(r15, stats);
    parameterProperties<Helmert15FitResult, 14>(
        r15, "Helmert15FitResult", fifteenParameters,
        {"tx", "ty", "tz", "s", "rx", "ry", "rz", "dtx", "dty", "dtz", "ds", "drx", "dry", "drz"},
        [](const Helmert15& h) {
            const HelmertValues& v = h.values();
            const HelmertValues& d = h.rates();
            return std::array<double, 14>{v.tx, v.ty, v.tz, v.s, v.rx, v.ry, v.rz,
                                          d.tx, d.ty, d.tz, d.s, d.rx, d.ry, d.rz};
        });
    r15.def_property_readonly("t_ref", [](const Helmert15FitResult& r) { return r.referenceEpoch; },
                              "the reference epoch of the values (decimal years)");
    r15.def_property_readonly("residuals", [](const Helmert15FitResult& r) {
        return residualTable<Geocentric, 3>(r.residuals);
    }, "(n, 3) fitted minus target at each point's epoch (m)");
    defineMethods(r15, row("apply",
                           [](const Helmert15FitResult& r, const py::handle& points, const py::handle& epochs) {
                               const Helmert15& h = fitted(r, "apply");
                               py::array e = realArray(epochs, "epochs");
                               py::array p = realArray(points, "points");
                               if (p.ndim() < 1 || p.shape(p.ndim() - 1) != 3)
                                   throw py::value_error("points must be an array of shape (..., 3)");
                               // The epochs ride along as a fourth column.
                               py::object t = py::module_::import("numpy").attr("broadcast_to")(
                                   e, p.attr("shape").attr("__getitem__")(py::slice(0, -1, 1)));
                               py::object joined = py::module_::import("numpy").attr("concatenate")(
                                   py::make_tuple(p, t.attr("__getitem__")(py::make_tuple(py::ellipsis(), py::none()))),
                                   py::arg("axis") = -1);
                               return applyRows<4, 3>(joined, "points",
                                                      [&h](const double (&in)[4], double (&out)[3]) {
                                                          const Geocentric q = h.forward({in[0], in[1], in[2]}, in[3]);
                                                          out[0] = q.x;
                                                          out[1] = q.y;
                                                          out[2] = q.z;
                                                      });
                           },
                           "The fitted transformation on an (..., 3) array of X, Y, Z at epochs (a number or an "
                           "array broadcasting to (...)) -> (..., 3).",
                           arg("points"), arg("epochs")));
    r15.def(py::pickle(
        [stats](const Helmert15FitResult& r) {
            return py::make_tuple(r.transformation ? py::cast(*r.transformation) : py::none(), matrix(r.covariance),
                                  r.standardDeviations, residualTable<Geocentric, 3>(r.residuals), r.referenceEpoch,
                                  summaryState(r.summary), statisticsObject(r.statistics, stats));
        },
        [](const py::tuple& s) {
            Helmert15FitResult r;
            r.statistics = statisticsFrom(s[6]);
            if (!s[0].is_none())
                r.transformation = s[0].cast<Helmert15>();
            r.covariance = matrixFrom<14>(s[1]);
            r.standardDeviations = s[2].cast<std::array<double, 14>>();
            r.residuals = residualsFrom<Geocentric, 3>(s[3]);
            r.referenceEpoch = s[4].cast<double>();
            r.summary = summaryFrom(s[5]);
            return r;
        }));

    for (const py::object* t : {&helmert2dParameters, &heightParameters, &sevenParameters, &fifteenParameters})
        m.attr(t->attr("__name__")) = *t;

    // ---- The fit functions -------------------------------------------------------------
    py::options options;
    options.disable_function_signatures();
    auto def = [&m](const char* name, auto f, const char* doc, auto... extra) {
        const std::string text = textSignature(name, false, doc, std::make_tuple(extra...));
        m.def(name, f, extra..., text.c_str());
    };
    // Keyword arguments every fit takes after its points.
    const auto sigmaArg = arg("sigma") = py::none();
    const auto alphaArg = arg("alpha") = 0.05;
    const auto alpha0Arg = arg("alpha0") = 0.001;
    const auto fixArg = arg("fix") = py::tuple();
    const auto snoopArg = arg("snoop") = false;
    const auto confidenceArg = arg("confidence") = FitSettings().confidence;
    def("fit_helmert_2d",
        [](const py::handle& source, const py::handle& target, const py::handle& sigma, double alpha, double alpha0,
           const py::handle& fix, bool snoop, double confidence) {
            // Source first, so a refusal names the first bad argument.
            const auto s = planePoints(source, "source");
            const auto t = planePoints(target, "target");
            return fitHelmert2D(s, t, settingsFrom(sigma, s.size(), 2, alpha, alpha0, fix, snoop, confidence));
        },
        "Fits a Helmert2D to (n, 2) arrays of common points (n >= 2), about the source centroid (of the points "
        "kept). sigma: a priori standard deviation (m) of the target coordinates, one number or (n, 2); alpha, "
        "alpha0: levels of the global test and the w-test; fix: parameter names held (t1, t2, rotation, scale "
        "with rotation); snoop: remove the point with the largest failing |w| and fit again while a test fails; "
        "confidence: probability of the error ellipses in statistics.ellipses (default: the standard ellipse).",
        arg("source"), arg("target"), py::kw_only(), sigmaArg, alphaArg, alpha0Arg, fixArg, snoopArg, confidenceArg);
    def("fit_height_plane",
        [](const py::handle& positions, const py::handle& sourceHeights, const py::handle& targetHeights,
           const py::object& origin, const py::handle& sigma, double alpha, double alpha0, const py::handle& fix,
           bool snoop, double confidence) {
            const auto p = planePoints(positions, "positions");
            const auto s = values(sourceHeights, "source_heights");
            const auto t = values(targetHeights, "target_heights");
            const FitSettings settings = settingsFrom(sigma, p.size(), 1, alpha, alpha0, fix, snoop, confidence);
            if (origin.is_none())
                return fitHeightPlane(p, s, t, settings);
            py::array_t<double, py::array::forcecast> o = py::array_t<double, py::array::forcecast>::ensure(origin);
            if (!o || o.ndim() != 1 || o.shape(0) != 2) {
                PyErr_Clear();
                throw py::value_error("origin must be a sequence of 2 numbers");
            }
            return fitHeightPlane(p, s, t, PlaneCoordinates{o.at(0), o.at(1)}, settings);
        },
        "Fits a HeightPlane to (n, 2) positions and (n,) source and target heights (n >= 3), about the centroid "
        "of the positions unless an origin is given. sigma: a priori standard deviation (m) of each height "
        "difference, one number or (n,); fix: slope1, slope2, shift; the other keywords as fit_helmert_2d.",
        arg("positions"), arg("source_heights"), arg("target_heights"), arg("origin") = py::none(), py::kw_only(),
        sigmaArg, alphaArg, alpha0Arg, fixArg, snoopArg, confidenceArg);
    // target_sigma weighs the target coordinates and source_sigma the
    // source coordinates, error-free unless given (as the tool's file
    // columns and the 2D fit). The older sigma= weighed both unless
    // source_sigma was given; it is kept, with a warning saying so.
    const auto sevenFit = [](auto fit, const char* name) {
        return [fit, name](const py::handle& source, const py::handle& target, const std::string& convention,
                           const py::handle& targetSigma, const py::handle& sourceSigma, const py::handle& sigma,
                           double alpha, double alpha0, const py::handle& fix, bool snoop, double confidence) {
            const auto s = spacePoints(source, "source");
            const auto t = spacePoints(target, "target");
            if (!sigma.is_none() && !targetSigma.is_none())
                throw py::type_error(std::string(name) + ": give target_sigma= (and source_sigma=), not sigma=");
            FitSettings settings;
            if (!sigma.is_none()) {
                const std::string warning =
                    std::string(name) +
                    ": sigma= is deprecated: it weighs the target coordinates and, unless "
                    "source_sigma= is given, the source coordinates too; write target_sigma= for the target "
                    "coordinates and source_sigma= for the source coordinates (error-free when not given)";
                if (PyErr_WarnEx(PyExc_DeprecationWarning, warning.c_str(), 1) != 0)
                    throw py::error_already_set();
                settings = settingsFrom(sigma, s.size(), 3, alpha, alpha0, fix, snoop, confidence);
                settings.sourceSigma = sigmaValues(sourceSigma, "source_sigma", s.size(), 3);
            } else {
                settings = settingsFrom(targetSigma, s.size(), 3, alpha, alpha0, fix, snoop, confidence);
                settings.sourceSigma = sigmaValues(sourceSigma, "source_sigma", s.size(), 3);
                if (!settings.sigma.empty() && settings.sourceSigma.empty())
                    settings.sourceSigma = {0.0}; // error-free source coordinates
            }
            return fit(s, t, conventionFromText(convention), settings);
        };
    };
    def("fit_helmert7",
        sevenFit([](const std::vector<Geocentric>& s, const std::vector<Geocentric>& t, Convention c,
                    const FitSettings& f) { return fitHelmert7(s, t, c, f); },
                 "fit_helmert7"),
        "Fits a Helmert7 to (n, 3) arrays of geocentric common points (n >= 3); rotations in the named "
        "convention. target_sigma: a priori standard deviation (m) of the target coordinates; source_sigma: of "
        "the source coordinates (error-free when not given); each one number or (n, 3); neither: equal weights. "
        "sigma (deprecated): target_sigma that also applies to the source coordinates unless source_sigma is "
        "given. fix: tx, ty, tz, s, rx, ry, rz; the other keywords as fit_helmert_2d. The tested observations are "
        "each point's misclosures.",
        arg("source"), arg("target"), py::kw_only(), arg("convention"), arg("target_sigma") = py::none(),
        arg("source_sigma") = py::none(), sigmaArg, alphaArg, alpha0Arg, fixArg, snoopArg, confidenceArg);
    def("fit_molodensky_badekas",
        sevenFit([](const std::vector<Geocentric>& s, const std::vector<Geocentric>& t, Convention c,
                    const FitSettings& f) { return fitMolodenskyBadekas(s, t, c, f); },
                 "fit_molodensky_badekas"),
        "As fit_helmert7, about the centroid of the source points kept.", arg("source"), arg("target"), py::kw_only(),
        arg("convention"), arg("target_sigma") = py::none(), arg("source_sigma") = py::none(), sigmaArg, alphaArg,
        alpha0Arg, fixArg, snoopArg, confidenceArg);
    def("fit_helmert15",
        [](const py::handle& source, const py::handle& target, const py::handle& epochs, const std::string& convention,
           const py::object& tRef, const py::handle& targetSigma, const py::handle& sourceSigma, double alpha,
           double alpha0, const py::handle& fix, bool snoop) {
            const auto s = spacePoints(source, "source");
            const auto t = spacePoints(target, "target");
            const std::vector<double> e = values(epochs, "epochs");
            FitSettings settings =
                settingsFrom(targetSigma, s.size(), 3, alpha, alpha0, fix, snoop, FitSettings().confidence);
            settings.sourceSigma = sigmaValues(sourceSigma, "source_sigma", s.size(), 3);
            if (settings.sourceSigma.empty())
                settings.sourceSigma = settings.sigma.empty() ? std::vector<double>() : std::vector<double>{0.0};
            std::optional<double> reference;
            if (!tRef.is_none())
                reference = tRef.cast<double>();
            return fitHelmert15(s, t, e, conventionFromText(convention), settings, reference);
        },
        "Fits a Helmert15 (seven parameters and their rates, small-angle rotations) to (n, 3) arrays of geocentric "
        "common points, each target point observed at its epoch in the (n,) array epochs (decimal years); the "
        "rates need points at two epochs or more. t_ref: the reference epoch of the values (default: the mean "
        "epoch rounded to a tenth of a year). target_sigma, source_sigma, the tests and snoop as fit_helmert7; "
        "fix: tx, ty, tz, s, rx, ry, rz, dtx, dty, dtz, ds, drx, dry, drz.",
        arg("source"), arg("target"), arg("epochs"), py::kw_only(), arg("convention"), arg("t_ref") = py::none(),
        arg("target_sigma") = py::none(), arg("source_sigma") = py::none(), alphaArg, alpha0Arg, fixArg, snoopArg);

    // ---- How were published parameters meant? --------------------------------------
    const py::object readingType = namedTuple(
        "ConventionReading", "convention rotations opposite radians factor as_stated rms largest parameters");
    m.attr("ConventionReading") = readingType;
    const py::object sevenTuple = sevenParameters;
    m.def(
        "diagnose",
        [readingType, sevenTuple](const py::handle& params, const py::handle& source, const py::handle& target,
                                  const std::string& convention, const std::string& rotations) {
            const std::vector<double> p = values(params, "params");
            if (p.size() != 7)
                throw py::value_error("diagnose: params must be the 7 values tx, ty, tz (m), s (ppm), rx, ry, rz "
                                      "(arc-seconds), got " + std::to_string(p.size()));
            for (double v : p)
                if (!std::isfinite(v))
                    throw py::value_error("diagnose: params must be finite numbers");
            if (rotations != "exact" && rotations != "small_angle")
                throw py::value_error("diagnose: rotations must be 'exact' or 'small_angle', got '" + rotations + "'");
            const auto s = spacePoints(source, "source");
            const auto t = spacePoints(target, "target");
            if (s.empty() || s.size() != t.size())
                throw py::value_error("diagnose: source and target must hold the same number of points, at least 1");
            for (std::size_t k = 0; k < s.size(); ++k)
                if (!std::isfinite(s[k].x + s[k].y + s[k].z + t[k].x + t[k].y + t[k].z))
                    throw py::value_error("diagnose: point " + std::to_string(k) + " is not finite");
            const StatedSeven stated{p[0], p[1], p[2], p[3], p[4], p[5], p[6], conventionFromText(convention),
                                     rotations == "exact" ? RotationForm::exact : RotationForm::small_angle};
            py::list out;
            for (const SevenReading& r : sevenParameterReadings(stated, s, t)) {
                if (!r.applicable)
                    continue;
                const StatedSeven& w = r.meant;
                out.append(readingType(
                    w.convention == Convention::PositionVector ? "position_vector" : "coordinate_frame",
                    w.rotations == RotationForm::exact ? "exact" : "small_angle", r.opposite, r.radians, r.factor,
                    r.changes() == 0, r.rms, r.largest, sevenTuple(w.tx, w.ty, w.tz, w.s, w.rx, w.ry, w.rz)));
            }
            if (out.empty())
                throw py::value_error("diagnose: no reading of the parameters gives a transformation");
            return out;
        },
        "Published seven parameters read every way they may have been meant (the other rotation convention, the "
        "opposite direction, rotations in radians, the scale as a factor, the other rotation matrix), each applied "
        "to the source points and measured against the target points, as `tervala diagnose` does. Returns the "
        "readings that make a transformation, best first (lowest RMS; among readings within 0.1 mm the one that "
        "changes least of what was stated): ConventionReading(convention, rotations, opposite, radians, factor, "
        "as_stated, rms, largest, parameters), the misfits in metres, parameters as meant (m, ppm, arc-seconds). "
        "For an opposite reading apply the inverse.",
        arg("params"), arg("source"), arg("target"), py::kw_only(), arg("convention"),
        arg("rotations") = "small_angle");
}

} // namespace python
} // namespace tervala
