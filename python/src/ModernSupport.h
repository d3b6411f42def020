// What the bindings of the value types (namespace tervala) share: the named
// tuple types their methods return, and evaluate(), which runs a thread-safe
// kernel on Python floats directly or over NumPy arrays on every core.
#ifndef TERVALA_PYTHON_MODERNSUPPORT_H
#define TERVALA_PYTHON_MODERNSUPPORT_H

#include <pybind11/pybind11.h>

#include <array>
#include <cstddef>
#include <initializer_list>
#include <string>

#include "PointMap.h"
#include "tervala/Datum.hpp"

namespace tervala {
namespace python {

namespace py = pybind11;

// The named tuple classes (collections.namedtuple, module "tervala"), made
// once when the module is imported.
struct NamedTypes {
    py::object geodetic;       // (latitude, longitude, height)
    py::object geodeticXY;     // (longitude, latitude, height), for xy=True
    py::object geocentric;     // (x, y, z)
    py::object projected;      // (easting, northing)
    py::object geographic;     // (latitude, longitude)
    py::object geographicXY;   // (longitude, latitude)
    py::object shift;          // (latitude, longitude, height) differences
    py::object plane;          // (first, second)
};
const NamedTypes& namedTypes();


// An instance of a named tuple class from its items. The classes have no
// instance dictionary, so an instance is a tuple of the subtype; this skips
// the Python-level __new__ of namedtuple.
template <std::size_t N>
py::object makeNamed(const py::object& type, std::array<py::object, N> items)
{
    auto* t = reinterpret_cast<PyTypeObject*>(type.ptr());
    PyObject* tuple = t->tp_alloc(t, static_cast<Py_ssize_t>(N));
    if (tuple == nullptr)
        throw py::error_already_set();
    for (std::size_t k = 0; k < N; ++k)
        PyTuple_SET_ITEM(tuple, static_cast<Py_ssize_t>(k), items[k].release().ptr());
    return py::reinterpret_steal<py::object>(tuple);
}

// A Python float or int (bool included) as a double; false for anything
// else (arrays, lists, NumPy integers), which then go through NumPy.
inline bool scalarValue(const py::handle& h, double& value)
{
    if (PyFloat_Check(h.ptr())) {
        value = PyFloat_AS_DOUBLE(h.ptr());
        return true;
    }
    if (PyLong_Check(h.ptr())) {
        value = PyLong_AsDouble(h.ptr());
        if (value == -1.0 && PyErr_Occurred()) {
            PyErr_Clear();
            return false;
        }
        return true;
    }
    return false;
}

// Points per thread before another thread pays for itself (see Arrays.cpp).
constexpr py::ssize_t kCheapPoints = 16384;
constexpr py::ssize_t kSynthesisPoints = 8;

// Runs kernel(const double (&in)[NIn], double (&out)[NOut]) on the inputs:
// directly when all are Python numbers, else over their NumPy broadcast with
// the GIL released (the kernel must be safe to call from several threads).
// The result is an instance of `type` (a named tuple class) holding floats
// or arrays, or the bare float / array when `type` is None and NOut == 1.
template <std::size_t NIn, std::size_t NOut, class Kernel>
py::object evaluate(const std::array<py::handle, NIn>& args, const std::array<const char*, NIn>& names,
                    const py::object& type, int threads, py::ssize_t minPerThread, Kernel kernel)
{
    double in[NIn];
    bool scalars = true;
    for (std::size_t k = 0; k < NIn && scalars; ++k)
        scalars = scalarValue(args[k], in[k]);
    std::array<py::object, NOut> items;
    if (scalars && threads >= 0) {
        double out[NOut];
        kernel(in, out);
        for (std::size_t k = 0; k < NOut; ++k)
            items[k] = py::float_(out[k]);
    } else {
        std::array<py::array, NIn> arrays;
        for (std::size_t k = 0; k < NIn; ++k)
            arrays[k] = realArray(args[k], names[k]);
        items = mapArrays<NIn, NOut>(arrays, threads, minPerThread, [&](int) {
            return [&](int, const double (&a)[NIn], double (&b)[NOut]) { kernel(a, b); };
        });
    }
    if (type.is_none())
        return std::move(items[0]);
    return makeNamed<NOut>(type, std::move(items));
}

// "position_vector" or "coordinate_frame"; ValueError naming anything else.
Convention conventionFromText(const std::string& text);

// A path given as str, bytes or os.PathLike, as the bytes the C library
// sees (os.fsencode). `what` names the argument in the refusal.
std::string pathBytes(const py::handle& path, const char* what);

} // namespace python
} // namespace tervala

#endif
