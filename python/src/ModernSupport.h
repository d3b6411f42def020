// What the bindings of the value types (namespace tervala) share: the named
// tuple types their methods return, evaluate(), which runs a thread-safe
// kernel on Python floats directly or over NumPy arrays on every core, and
// FastMethod, the front that takes one point past pybind11's dispatcher.
#ifndef TERVALA_PYTHON_MODERNSUPPORT_H
#define TERVALA_PYTHON_MODERNSUPPORT_H

#include <pybind11/pybind11.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

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
    py::object projectedScale;     // (easting, northing, convergence, scale)
    py::object geographicScale;    // (latitude, longitude, convergence, scale)
    py::object geographicXYScale;  // (longitude, latitude, convergence, scale)
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

// A Python float or int as a double; false for anything else (bool, arrays,
// lists, NumPy integers), which then go through NumPy and its refusals.
inline bool scalarValue(const py::handle& h, double& value)
{
    if (PyBool_Check(h.ptr()))
        return false;
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

// The arithmetic of a method for one point: inputs in the method's
// positional order, results in the order of its named tuple's fields.
template <class T, std::size_t NIn, std::size_t NOut>
using PointKernel = void (*)(const T&, const double (&)[NIn], double (&)[NOut]);

// What xy=True does to a method: which of the first two inputs and of the
// first two results trade places, and the named tuple it then returns.
struct XyRule {
    bool has = false;
    bool swapIn = false;
    bool swapOut = false;
    py::object NamedTypes::*result = nullptr;
};
inline XyRule xyInputs(py::object NamedTypes::*result) { return {true, true, false, result}; }
inline XyRule xyResults(py::object NamedTypes::*result) { return {true, false, true, result}; }

// The front of a method whose common call is one point given as Python
// numbers by position. pybind11's dispatcher (argument conversion, defaults
// for the keyword-only arguments, the overload loop) costs more than the
// projection of a point, so the method is installed as a plain CPython
// fast-call method over the pybind11 one: floats or ints by position or by
// name (the first `required` of the NIn given, the rest taking `defaults`)
// on an object of the exact bound type, with xy=True/False and threads, run
// the kernel at once and build the result directly; every other call
// (arrays, other keywords, a subclass, wrong arguments) goes
// unchanged to the pybind11 method, which runs the same kernel through
// evaluate() and raises the same errors. Both paths give the same doubles.
template <class T, std::size_t NIn, std::size_t NOut, PointKernel<T, NIn, NOut> Kernel>
class FastMethod {
public:
    // Replaces the method `name` already bound on `cls`. `result` is the
    // named tuple class of the result, or nullptr for a bare float (NOut 1).
    static void install(py::class_<T>& cls, const char* name, py::object NamedTypes::*result, std::size_t required,
                        const std::array<double, NIn>& defaults = {}, const XyRule& xy = {})
    {
        xy_ = xy;
        full_ = py::object(cls.attr(name)).release().ptr();
        type_ = reinterpret_cast<PyTypeObject*>(cls.ptr());
        result_ = result;
        required_ = required;
        defaults_ = defaults;
        name_ = name;
        // The same text signature and docstring, with "$self" marking the
        // bound argument for inspect.signature.
        const py::handle full(full_);
        std::string signature = py::cast<std::string>(full.attr("__text_signature__"));
        if (signature.compare(0, 5, "(self") == 0)
            signature.insert(1, "$");
        doc_ = name_ + signature + "\n--\n\n" + py::cast<std::string>(full.attr("__doc__"));
        // The names of the NIn point arguments: the signature's parameters
        // after self, up to the keyword-only marker, without defaults.
        std::size_t at = signature.find(',');
        for (std::size_t j = 0; j < NIn; ++j) {
            const std::size_t begin = signature.find_first_not_of(' ', at + 1);
            at = signature.find_first_of(",)", begin);
            const std::string parameter = signature.substr(begin, at - begin);
            names_[j] = parameter.substr(0, parameter.find('='));
            if (names_[j].empty() || names_[j] == "*" || at == std::string::npos)
                throw std::logic_error("FastMethod: " + name_ + signature + " has fewer than NIn point arguments");
        }
        method_ = PyMethodDef{name_.c_str(), reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&call)),
                              METH_FASTCALL | METH_KEYWORDS, doc_.c_str()};
        py::object descriptor = py::reinterpret_steal<py::object>(PyDescr_NewMethod(type_, &method_));
        if (!descriptor)
            throw py::error_already_set();
        py::setattr(cls, name, descriptor);
    }

private:
    // The keyword-only options a one-point call may carry: xy as True or
    // False (where the method has it) and threads as an int >= 0 (which one
    // point does not use). False for anything else.
    static bool options(PyObject* const* values, PyObject* kwnames, bool& xy, PyObject* (&given)[NIn])
    {
        xy = false;
        if (kwnames == nullptr)
            return true;
        for (Py_ssize_t k = 0; k < PyTuple_GET_SIZE(kwnames); ++k) {
            PyObject* name = PyTuple_GET_ITEM(kwnames, k);
            PyObject* value = values[k];
            std::size_t j = 0;
            while (j < NIn && PyUnicode_CompareWithASCIIString(name, names_[j].c_str()) != 0)
                ++j;
            if (j < NIn) {
                if (given[j] != nullptr)
                    return false;  // given twice: pybind11 says so
                given[j] = value;
            } else if (xy_.has && PyUnicode_CompareWithASCIIString(name, "xy") == 0 && PyBool_Check(value)) {
                xy = value == Py_True;
            } else if (PyUnicode_CompareWithASCIIString(name, "threads") == 0 && PyLong_CheckExact(value)) {
                const long threads = PyLong_AsLong(value);
                if (threads < 0) {
                    PyErr_Clear();
                    return false;
                }
            } else {
                return false;
            }
        }
        return true;
    }

    static PyObject* call(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
    {
        double in[NIn];
        PyObject* given[NIn] = {};  // by position, then by name
        bool xy = false;
        for (Py_ssize_t k = 0; k < nargs && k < static_cast<Py_ssize_t>(NIn); ++k)
            given[k] = args[k];
        if (nargs <= static_cast<Py_ssize_t>(NIn) && Py_TYPE(self) == type_ &&
            options(args + nargs, kwnames, xy, given)) {
            const auto* instance = reinterpret_cast<py::detail::instance*>(self);
            bool point = instance->simple_layout && instance->simple_holder_constructed;
            for (std::size_t k = 0; k < NIn && point; ++k) {
                if (given[k] != nullptr)
                    point = scalarValue(given[k], in[k]);
                else if (k < required_)
                    point = false;
                else
                    in[k] = defaults_[k];
            }
            if (point) {
                if (xy && xy_.swapIn)
                    std::swap(in[0], in[1]);
                double out[NOut];
                try {
                    Kernel(*static_cast<const T*>(instance->simple_value_holder[0]), in, out);
                    if constexpr (NOut >= 2)
                        if (xy && xy_.swapOut)
                            std::swap(out[0], out[1]);
                    return build(out, xy ? xy_.result : result_);
                } catch (...) {
                    // The pybind11 method below runs it again and raises what it throws.
                }
            }
        }
        // self first, then the arguments and keyword values as given (on the
        // stack for the usual handful).
        const std::size_t total = static_cast<std::size_t>(nargs + (kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames)));
        PyObject* small[8];
        std::vector<PyObject*> large;
        PyObject** stack = small;
        if (total + 1 > 8) {
            try {
                large.resize(total + 1);
            } catch (const std::bad_alloc&) {
                return PyErr_NoMemory();
            }
            stack = large.data();
        }
        stack[0] = self;
        std::copy(args, args + total, stack + 1);
        return PyObject_Vectorcall(full_, stack, static_cast<std::size_t>(nargs) + 1, kwnames);
    }

    static PyObject* build(const double (&out)[NOut], py::object NamedTypes::*result)
    {
        if (result == nullptr)
            return PyFloat_FromDouble(out[0]);
        auto* type = reinterpret_cast<PyTypeObject*>((namedTypes().*result).ptr());
        PyObject* tuple = type->tp_alloc(type, static_cast<Py_ssize_t>(NOut));
        if (tuple == nullptr)
            return nullptr;
        for (std::size_t k = 0; k < NOut; ++k) {
            PyObject* item = PyFloat_FromDouble(out[k]);
            if (item == nullptr) {
                Py_DECREF(tuple);
                return nullptr;
            }
            PyTuple_SET_ITEM(tuple, static_cast<Py_ssize_t>(k), item);
        }
        return tuple;
    }

    static inline PyObject* full_ = nullptr;  // the pybind11 method, kept for the life of the process
    static inline PyTypeObject* type_ = nullptr;
    static inline py::object NamedTypes::*result_ = nullptr;
    static inline std::size_t required_ = NIn;
    static inline std::array<std::string, NIn> names_;
    static inline std::array<double, NIn> defaults_{};
    static inline XyRule xy_{};
    static inline std::string name_, doc_;
    static inline PyMethodDef method_{};
};

// "position_vector" or "coordinate_frame"; ValueError naming anything else.
Convention conventionFromText(const std::string& text);

// A path given as str, bytes or os.PathLike, as the bytes the C library
// sees (os.fsencode). `what` names the argument in the refusal.
std::string pathBytes(const py::handle& path, const char* what);

} // namespace python
} // namespace tervala

#endif
