// Value equality for the bound value types, and constructor errors that
// name the argument at fault.
//
// __eq__ is the C++ operator== of the type; __hash__ hashes a tuple of the
// values operator== compares, so equal objects hash equal and an object
// can be a dict key or a set member. A call that matches no constructor
// reaches a catch-all overload registered after the real one, which says
// which argument is missing, unknown or of the wrong kind instead of
// pybind11's "incompatible constructor arguments".
#ifndef TERVALA_PYTHON_VALUESEMANTICS_H
#define TERVALA_PYTHON_VALUESEMANTICS_H

#include <pybind11/pybind11.h>

#include <string>
#include <vector>

#include "Registration.h"

namespace tervala {
namespace python {

namespace py = pybind11;

template <class T, class Key>
void defineValueSemantics(py::class_<T>& cls, Key key)
{
    defineMethods(cls,
                  row(
                      "__eq__",
                      [](const T& a, const py::object& b) -> py::object {
                          if (!py::isinstance<T>(b))
                              return py::reinterpret_borrow<py::object>(Py_NotImplemented);
                          return py::bool_(a == b.cast<const T&>());
                      },
                      "The same type with the same defining values.", py::arg("other")),
                  row(
                      "__hash__", [key](const T& a) { return py::hash(key(a)); }, "A hash of the defining values."));
}

// What a constructor parameter accepts, for the catch-all's messages.
enum class Accepts { Number, Integer, Boolean, Text, Ellipsoid, Point2, Point3 };

struct Parameter {
    const char* name;
    Accepts accepts;
    bool required;
    bool keywordOnly;
};

// Raises the TypeError or ValueError that names what is wrong with a call
// of `type` given `args` and `kwargs`, `hint` added to a wrong-kind message
// where it helps (such as how to state a hemisphere).
[[noreturn]] void refuseCall(const char* type, const std::vector<Parameter>& parameters, const py::args& args,
                             const py::kwargs& kwargs, const char* (*hint)(const char* name, const py::handle& value));

// Registers the catch-all constructor overload of `cls`; it must come after
// the real constructor.
template <class T>
void defineCallDiagnosis(py::class_<T>& cls, const char* type, std::vector<Parameter> parameters,
                         const char* (*hint)(const char*, const py::handle&) = nullptr)
{
    py::options options;
    options.disable_function_signatures(); // keeps the real constructor's text signature
    cls.def(py::init([type, parameters, hint](const py::args& args, const py::kwargs& kwargs) -> T {
        refuseCall(type, parameters, args, kwargs, hint);
    }));
}

} // namespace python
} // namespace tervala

#endif
