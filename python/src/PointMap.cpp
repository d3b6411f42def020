#include "PointMap.h"

#include <sched.h>

#include <algorithm>
#include <sstream>

namespace tervala {
namespace python {
namespace {

// NumPy's conversion drops a masked array's mask and turns pandas' nullable
// types into objects: a masked array or pandas values with NA are refused,
// saying how to pass the points instead; pandas values without NA are
// passed as float64.
py::object plainValues(const py::handle& value, const char* name)
{
    const py::module_ numpy = py::module_::import("numpy");
    if (py::isinstance(value, numpy.attr("ma").attr("MaskedArray")))
        throw py::type_error(std::string("argument '") + name +
                             "' is a masked array, whose mask would be ignored: pass " + name +
                             ".filled(numpy.nan) to get NaN at the masked points");
    const auto plain = py::reinterpret_borrow<py::object>(value);
    if (!py::hasattr(value, "dtype") || !py::hasattr(value, "to_numpy"))
        return plain;
    const py::object dtype = value.attr("dtype");
    if (!py::hasattr(dtype, "na_value") || py::isinstance(dtype, numpy.attr("dtype")))
        return plain; // not a pandas extension type (nullable integers, floats, booleans)
    if (py::module_::import("pandas").attr("isna")(value).attr("any")().cast<bool>())
        throw py::value_error(std::string("argument '") + name + "' holds missing values (" +
                              py::str(dtype).cast<std::string>() + " with NA): pass " + name +
                              ".to_numpy(dtype=float, na_value=numpy.nan) to get NaN at those points");
    if (py::str(dtype.attr("kind")).cast<std::string>() == "b")
        return plain; // nullable booleans: refused below as bool
    return value.attr("to_numpy")(py::arg("dtype") = "float64");
}

py::array asNumpy(const py::handle& value, const char* name, const char* kinds, const char* what)
{
    py::array a = py::array::ensure(plainValues(value, name));
    if (!a) {
        PyErr_Clear();
        throw py::type_error(std::string("argument '") + name + "' must be " + what);
    }
    const char kind = a.dtype().kind();
    if (std::strchr(kinds, kind) == nullptr)
        throw py::type_error(std::string("argument '") + name + "' must be " + what + ", got dtype " +
                             py::str(a.dtype()).cast<std::string>());
    return a;
}

py::array asFloat64(const py::array& a)
{
    // Keeps a float64 array of native byte order as it is (any strides);
    // converts every other dtype into a fresh float64 array.
    return py::array_t<double, py::array::forcecast>::ensure(a);
}

std::string shapeText(const py::array& a)
{
    std::ostringstream s;
    s << '(';
    for (py::ssize_t d = 0; d < a.ndim(); ++d)
        s << (d ? "," : "") << a.shape(d);
    s << (a.ndim() == 1 ? ",)" : ")");
    return s.str();
}

// The one byte step that walks an input through the broadcast shape in C
// order, if there is one: each dimension's stride must be the next inner
// dimension's stride times its extent (extents of 1 do not matter).
bool singleStep(const std::vector<py::ssize_t>& shape, const std::vector<py::ssize_t>& strides, py::ssize_t& step)
{
    step = 0;
    bool inner = true;
    py::ssize_t expected = 0;
    for (std::size_t d = shape.size(); d-- > 0;) {
        if (shape[d] == 1)
            continue;
        if (inner) {
            step = strides[d];
            inner = false;
        } else if (strides[d] != expected) {
            return false;
        }
        expected = strides[d] * shape[d];
    }
    return true;
}

} // namespace

py::array realArray(const py::handle& value, const char* name)
{
    // bool is refused: True as a latitude is a slip, not the number 1.
    return asFloat64(asNumpy(value, name, "iuf", "real numbers (integer or float, not bool)"));
}

py::array flagArray(const py::handle& value, const char* name)
{
    return asFloat64(asNumpy(value, name, "biu", "integers (a hemisphere flag: 1 = south, else north)"));
}

Broadcast broadcast(const std::vector<py::array>& inputs)
{
    Broadcast b;
    py::ssize_t ndim = 0;
    for (const py::array& a : inputs)
        ndim = std::max<py::ssize_t>(ndim, a.ndim());
    b.shape.assign(static_cast<std::size_t>(ndim), 1);
    // Shapes are aligned at their last dimension; a dimension of 1 stretches.
    for (const py::array& a : inputs) {
        const py::ssize_t offset = ndim - a.ndim();
        for (py::ssize_t d = 0; d < a.ndim(); ++d) {
            py::ssize_t& target = b.shape[static_cast<std::size_t>(offset + d)];
            const py::ssize_t extent = a.shape(d);
            if (extent == target || extent == 1)
                continue;
            if (target == 1) {
                target = extent;
                continue;
            }
            std::string shapes;
            for (const py::array& other : inputs)
                shapes += (shapes.empty() ? "" : " ") + shapeText(other);
            throw py::value_error("operands could not be broadcast together with shapes " + shapes);
        }
    }
    for (py::ssize_t extent : b.shape)
        b.size *= extent;
    for (const py::array& a : inputs) {
        const py::ssize_t offset = ndim - a.ndim();
        std::vector<py::ssize_t> strides(static_cast<std::size_t>(ndim), 0);
        for (py::ssize_t d = 0; d < a.ndim(); ++d)
            if (a.shape(d) != 1)
                strides[static_cast<std::size_t>(offset + d)] = a.strides(d);
        b.strides.push_back(std::move(strides));
        b.data.push_back(static_cast<const char*>(a.data()));
    }
    b.linear = true;
    for (const std::vector<py::ssize_t>& strides : b.strides) {
        py::ssize_t step = 0;
        b.linear = b.linear && singleStep(b.shape, strides, step);
        b.steps.push_back(step);
    }
    return b;
}

int coreCount()
{
#if defined(__linux__)
    // The cores this process may run on (taskset, cgroups' cpusets), which
    // can be fewer than the machine has.
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
#endif
    return static_cast<int>(std::max(std::thread::hardware_concurrency(), 1u));
}

int threadCount(py::ssize_t points, int requested, py::ssize_t minPerThread)
{
    if (requested < 0)
        throw py::value_error("threads must be 0 (one per core for large arrays) or a positive count");
    const py::ssize_t most = std::max<py::ssize_t>(points, 1);
    const py::ssize_t cores = coreCount();
    if (requested > 0)
        return static_cast<int>(std::min<py::ssize_t>({static_cast<py::ssize_t>(requested), most, 4 * cores}));
    const py::ssize_t byWork = std::max<py::ssize_t>(points / std::max<py::ssize_t>(minPerThread, 1), 1);
    return static_cast<int>(std::min(cores, byWork));
}

PointCursor::PointCursor(const Broadcast& b, py::ssize_t begin)
    : b_(b), index_(b.shape.size(), 0), offsets_(b.data.size(), 0)
{
    py::ssize_t rest = begin;
    for (std::size_t d = b.shape.size(); d-- > 0;) {
        if (b.shape[d] == 0)
            return;
        index_[d] = rest % b.shape[d];
        rest /= b.shape[d];
    }
    for (std::size_t k = 0; k < offsets_.size(); ++k)
        for (std::size_t d = 0; d < index_.size(); ++d)
            offsets_[k] += index_[d] * b.strides[k][d];
}

void PointCursor::advanceIndex()
{
    for (std::size_t d = index_.size(); d-- > 0;) {
        ++index_[d];
        for (std::size_t k = 0; k < offsets_.size(); ++k)
            offsets_[k] += b_.strides[k][d];
        if (index_[d] < b_.shape[d])
            return;
        for (std::size_t k = 0; k < offsets_.size(); ++k)
            offsets_[k] -= b_.strides[k][d] * b_.shape[d];
        index_[d] = 0;
    }
}

} // namespace python
} // namespace tervala
