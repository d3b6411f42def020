// The least-squares estimators: NumPy point arrays in, a result object out.
//
// The C++ estimators take a count and raw arrays, and two of them use the
// arrays as work space. The binding hands them copies, so the caller's
// arrays are never touched, then reads every result back through the
// accessors into the result object. The results also stay in the object, as
// in C++, for Helmert2D, HeightTrans and the seven-parameter models to apply.
#include <pybind11/numpy.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "Bindings.h"
#include "Registration.h"

namespace tervala {
namespace python {
namespace {

// Common points as a fresh C-ordered float64 copy of `dims` coordinates per
// point: an (n, dims) array or a flat array of n * dims values, n >= 1.
std::vector<double> pointArray(const py::handle& value, const char* name, py::ssize_t dims, py::ssize_t& points)
{
    py::array a = py::array::ensure(value);
    if (!a || std::strchr("biuf", a.dtype().kind()) == nullptr) {
        PyErr_Clear();
        throw py::type_error(std::string("argument '") + name + "' must be an array of real numbers");
    }
    const auto c = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(a);
    const bool table = c.ndim() == 2 && c.shape(1) == dims;
    const bool flat = c.ndim() == 1 && c.shape(0) % dims == 0;
    if (!(table || flat) || c.size() == 0) {
        std::ostringstream s;
        s << "argument '" << name << "' must hold one point per row, shape (n, " << dims << ") with n >= 1, or "
          << "a flat array of n * " << dims << " values";
        throw py::value_error(s.str());
    }
    points = c.size() / dims;
    return std::vector<double>(c.data(), c.data() + c.size());
}

std::vector<double> pairedPoints(const py::handle& source, const py::handle& target, py::ssize_t dims,
                                 std::vector<double>& targetOut, py::ssize_t& points)
{
    py::ssize_t targetPoints = 0;
    std::vector<double> s = pointArray(source, "source", dims, points);
    targetOut = pointArray(target, "target", dims, targetPoints);
    if (targetPoints != points)
        throw py::value_error("source and target must hold the same number of points (" + std::to_string(points) +
                              " and " + std::to_string(targetPoints) + ")");
    if (points * dims > 0x7fffffff)
        throw py::value_error("too many points for one fit");
    return s;
}

py::array_t<double> vectorOf(py::ssize_t n, const std::function<double(py::ssize_t)>& at)
{
    py::array_t<double> out(n);
    for (py::ssize_t i = 0; i < n; ++i)
        out.mutable_at(i) = at(i);
    return out;
}

py::array_t<double> matrixOf(py::ssize_t rows, py::ssize_t cols, const std::function<double(py::ssize_t, py::ssize_t)>& at)
{
    py::array_t<double> out({rows, cols});
    for (py::ssize_t i = 0; i < rows; ++i)
        for (py::ssize_t j = 0; j < cols; ++j)
            out.mutable_at(i, j) = at(i, j);
    return out;
}

struct Helmert2DFit {
    py::object parameters, covariance, residuals, origin;
    double sigma = 0;
    py::ssize_t points = 0;
};

struct HeightFit {
    py::object parameters, residuals;
    double meanAccuracy = 0;
    py::ssize_t points = 0;
};

struct SevenParameterFit {
    py::object parameters, covariance, residuals, rotationOrigin;
    double sigma = 0;
    bool converged = false;
    py::ssize_t points = 0;
};

// The results pickle as their fields, arrays included.
void requireState(const py::tuple& s, std::size_t size, const char* type)
{
    if (s.size() != size)
        throw py::value_error(std::string(type) + ".__setstate__: the pickled state is malformed");
}

// A short, readable form of a result vector for the reprs.
std::string numbers(const py::object& array)
{
    const py::object format = py::str("{:.10g}").attr("format");
    py::dict options;
    options["float_kind"] = format;
    return py::str(py::module_::import("numpy").attr("array2string")(
                       array, py::arg("separator") = ", ", py::arg("formatter") = options,
                       py::arg("max_line_width") = 1000))
        .cast<std::string>();
}

SevenParameterFit sevenParameterFit(CTervala& self, const py::handle& source, const py::handle& target,
                                    bool badekas)
{
    py::ssize_t points = 0;
    std::vector<double> dst;
    std::vector<double> src = pairedPoints(source, target, 3, dst, points);
    const int n = static_cast<int>(points * 3);
    const bool converged = badekas ? self.SevenParameters_Molodensky_BadekasModel(n, src.data(), dst.data())
                                   : self.SevenParameters_Bursa_WolfModel(n, src.data(), dst.data());
    SevenParameterFit fit;
    fit.points = points;
    fit.converged = converged;
    fit.sigma = self.GetSigma();
    fit.parameters = vectorOf(7, [&](py::ssize_t i) { return self.GetSevenParameters(static_cast<int>(i)); });
    fit.covariance = matrixOf(7, 7, [&](py::ssize_t i, py::ssize_t j) {
        return self.GetSevenCovariance(static_cast<int>(i), static_cast<int>(j));
    });
    fit.residuals = matrixOf(points, 3, [&](py::ssize_t k, py::ssize_t c) {
        return self.GetResidual(static_cast<int>(3 * k + c + 1));
    });
    fit.rotationOrigin = badekas ? py::object(vectorOf(3, [&](py::ssize_t i) {
        return self.GetRotOrigin(static_cast<int>(i));
    }))
                                 : py::object(py::none());
    return fit;
}

Helmert2DFit fitHelmert2D(CTervala& self, const py::handle& source, const py::handle& target)
{
    py::ssize_t points = 0;
    std::vector<double> dst;
    std::vector<double> src = pairedPoints(source, target, 2, dst, points);
    // The source centroid the estimator reduces by: each sum in
    // point order, times 1/n.
    double sx = 0, sy = 0;
    for (py::ssize_t k = 0; k < points; ++k) {
        sx += src[2 * k];
        sy += src[2 * k + 1];
    }
    const double inverse = 1.0 / static_cast<double>(points);
    self.Parameters_2DHelmert(static_cast<int>(points * 2), src.data(), dst.data());

    Helmert2DFit fit;
    fit.points = points;
    fit.sigma = self.GetSigma();
    fit.parameters =
        vectorOf(4, [&](py::ssize_t i) { return self.Get2DHelmertParameters(static_cast<int>(i)); });
    fit.covariance = matrixOf(4, 4, [&](py::ssize_t i, py::ssize_t j) {
        return self.Get2DHelmertCovariance(static_cast<int>(i), static_cast<int>(j));
    });
    fit.residuals = matrixOf(points, 2, [&](py::ssize_t k, py::ssize_t c) {
        return self.GetResidual2D(static_cast<int>(2 * k + (c == 0 ? 2 : 1)));
    });
    fit.origin = vectorOf(2, [&](py::ssize_t i) { return (i == 0 ? sx : sy) * inverse; });
    return fit;
}

HeightFit fitHeightPlane(CTervala& self, double y0, double x0, const py::handle& xy, const py::handle& hs,
                         const py::handle& ht)
{
    py::ssize_t points = 0, sourceCount = 0, targetCount = 0;
    std::vector<double> positions = pointArray(xy, "xy", 2, points);
    std::vector<double> source = pointArray(hs, "hs", 1, sourceCount);
    std::vector<double> target = pointArray(ht, "ht", 1, targetCount);
    if (sourceCount != points || targetCount != points)
        throw py::value_error("xy, hs and ht must hold the same number of points");
    if (points > 0x3fffffff)
        throw py::value_error("too many points for one fit");
    self.Parameters_HeightTrans(static_cast<int>(points), y0, x0, positions.data(), source.data(),
                                target.data());
    HeightFit fit;
    fit.points = points;
    fit.meanAccuracy = self.GetHeightMeanaccuracy();
    fit.parameters =
        vectorOf(3, [&](py::ssize_t i) { return self.GetHeightParameters(static_cast<int>(i)); });
    fit.residuals =
        vectorOf(points, [&](py::ssize_t k) { return self.GetResidualH(static_cast<int>(k + 1)); });
    return fit;
}

} // namespace

void bindEstimators(py::module_& m, TervalaClass& cls)
{
    using py::arg;

    py::class_<Helmert2DFit>(m, "Helmert2DFit", "Result of Tervala.Parameters_2DHelmert.")
        .def_readonly("parameters", &Helmert2DFit::parameters,
                      "(4,) as Get2DHelmertParameters stores them: t2, t1 (m), scale (ppm), rotation (arc-seconds)")
        .def_readonly("covariance", &Helmert2DFit::covariance,
                      "(4, 4) covariance of the unknowns t2, t1, m cos(theta), m sin(theta)")
        .def_readonly("residuals", &Helmert2DFit::residuals,
                      "(n, 2) residuals v = A x - l per point, as (first, second) coordinate like the input "
                      "(GetResidual2D numbers them second coordinate first); NaN for one point, which forms "
                      "no residuals")
        .def_readonly("origin", &Helmert2DFit::origin, "(2,) source centroid: the origin (x0, y0) to pass to Helmert2D")
        .def_readonly("sigma", &Helmert2DFit::sigma, "a posteriori standard deviation of unit weight (m)")
        .def_readonly("points", &Helmert2DFit::points, "number of common points")
        .def_property_readonly(
            "t1", [](const Helmert2DFit& f) { return f.parameters[py::int_(1)]; },
            "translation of the first coordinate (m)")
        .def_property_readonly(
            "t2", [](const Helmert2DFit& f) { return f.parameters[py::int_(0)]; },
            "translation of the second coordinate (m)")
        .def_property_readonly(
            "scale", [](const Helmert2DFit& f) { return f.parameters[py::int_(2)]; }, "scale correction (ppm)")
        .def_property_readonly(
            "rotation", [](const Helmert2DFit& f) { return f.parameters[py::int_(3)]; }, "rotation (arc-seconds)")
        .def("__repr__",
             [](const Helmert2DFit& f) {
                 return "Helmert2DFit(points=" + std::to_string(f.points) + ", parameters=" + numbers(f.parameters) +
                        ", sigma=" + py::repr(py::float_(f.sigma)).cast<std::string>() + ")";
             })
        .def(py::pickle(
            [](const Helmert2DFit& f) {
                return py::make_tuple(f.parameters, f.covariance, f.residuals, f.origin, f.sigma, f.points);
            },
            [](const py::tuple& s) {
                requireState(s, 6, "Helmert2DFit");
                return Helmert2DFit{s[0], s[1], s[2], s[3], s[4].cast<double>(), s[5].cast<py::ssize_t>()};
            }));

    py::class_<HeightFit>(m, "HeightFit", "Result of Tervala.Parameters_HeightTrans.")
        .def_readonly("parameters", &HeightFit::parameters,
                      "(3,) slope along the first coordinate, slope along the second (m/m), shift (m)")
        .def_readonly("residuals", &HeightFit::residuals, "(n,) residuals v = A x - l, one per point")
        .def_readonly("mean_accuracy", &HeightFit::meanAccuracy, "sqrt(0.5 v'v) (m), as GetHeightMeanaccuracy")
        .def_readonly("points", &HeightFit::points, "number of common points")
        .def("__repr__",
             [](const HeightFit& f) {
                 return "HeightFit(points=" + std::to_string(f.points) + ", parameters=" + numbers(f.parameters) +
                        ", mean_accuracy=" + py::repr(py::float_(f.meanAccuracy)).cast<std::string>() + ")";
             })
        .def(py::pickle(
            [](const HeightFit& f) { return py::make_tuple(f.parameters, f.residuals, f.meanAccuracy, f.points); },
            [](const py::tuple& s) {
                requireState(s, 4, "HeightFit");
                return HeightFit{s[0], s[1], s[2].cast<double>(), s[3].cast<py::ssize_t>()};
            }));

    py::class_<SevenParameterFit>(m, "SevenParameterFit",
                                  "Result of Tervala.SevenParameters_Bursa_WolfModel and "
                                  "SevenParameters_Molodensky_BadekasModel.")
        .def_readonly("parameters", &SevenParameterFit::parameters,
                      "(7,) tx, ty, tz (m), s (ppm), rx, ry, rz (arc-seconds)")
        .def_readonly("covariance", &SevenParameterFit::covariance, "(7, 7) covariance of the parameters")
        .def_readonly("residuals", &SevenParameterFit::residuals, "(n, 3) residuals per point, X, Y, Z")
        .def_readonly("sigma", &SevenParameterFit::sigma, "a posteriori standard deviation (m)")
        .def_readonly("converged", &SevenParameterFit::converged,
                      "whether the iteration converged within its pass limit (the C++ return value)")
        .def_readonly("rotation_origin", &SevenParameterFit::rotationOrigin,
                      "(3,) rotation origin (Molodensky-Badekas: the source centroid), None for Bursa-Wolf")
        .def_readonly("points", &SevenParameterFit::points, "number of common points")
        .def("__repr__",
             [](const SevenParameterFit& f) {
                 return std::string("SevenParameterFit(points=") + std::to_string(f.points) +
                        ", converged=" + (f.converged ? "True" : "False") + ", parameters=" + numbers(f.parameters) +
                        ", sigma=" + py::repr(py::float_(f.sigma)).cast<std::string>() + ")";
             })
        .def(py::pickle(
            [](const SevenParameterFit& f) {
                return py::make_tuple(f.parameters, f.covariance, f.residuals, f.rotationOrigin, f.sigma, f.converged,
                                      f.points);
            },
            [](const py::tuple& s) {
                requireState(s, 7, "SevenParameterFit");
                return SevenParameterFit{
                    s[0], s[1], s[2], s[3], s[4].cast<double>(), s[5].cast<bool>(), s[6].cast<py::ssize_t>()};
            }));

    defineMethods(
        cls,
        row("Parameters_2DHelmert", &fitHelmert2D,
            "Fits the 2D Helmert transformation to common points, (n, 2) arrays of (first, second) "
            "coordinates. The parameters refer to the source centroid (result.origin); apply them with "
            "Helmert2D(*result.origin, x, y). Results also stay in the object.",
            arg("source"), arg("target")),
        row("Parameters_HeightTrans", &fitHeightPlane,
            "Fits the height plane. NOTE the C++ order: the origin comes second coordinate first (y0, x0), "
            "while HeightTrans takes (x0, y0). xy is (n, 2), hs and ht are (n,). Results also stay in the "
            "object.",
            arg("y0"), arg("x0"), arg("xy"), arg("hs"), arg("ht")),
        row("SevenParameters_Bursa_WolfModel",
            [](CTervala& self, const py::handle& source, const py::handle& target) {
                return sevenParameterFit(self, source, target, false);
            },
            "Iterated least-squares estimate of the seven Bursa-Wolf parameters from (n, 3) arrays of X, Y, Z. "
            "result.converged is the C++ return value. Results also stay in the object.",
            arg("source"), arg("target")),
        row("SevenParameters_Molodensky_BadekasModel",
            [](CTervala& self, const py::handle& source, const py::handle& target) {
                return sevenParameterFit(self, source, target, true);
            },
            "As SevenParameters_Bursa_WolfModel, about the source centroid (result.rotation_origin, also "
            "GetRotOrigin).",
            arg("source"), arg("target")));
}

} // namespace python
} // namespace tervala
