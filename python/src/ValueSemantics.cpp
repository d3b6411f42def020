#include "ValueSemantics.h"

#include <cmath>

#include "tervala/Ellipsoid.hpp"

namespace tervala {
namespace python {
namespace {

const char* description(Accepts accepts)
{
    switch (accepts) {
    case Accepts::Number: return "a real number";
    case Accepts::Integer: return "an integer";
    case Accepts::Boolean: return "True or False";
    case Accepts::Text: return "a string";
    case Accepts::Ellipsoid: return "a tervala.Ellipsoid (or None)";
    case Accepts::Point2: return "a sequence of 2 numbers";
    case Accepts::Point3: return "a sequence of 3 numbers";
    }
    return "";
}

bool isNumber(const py::handle& v)
{
    if (PyBool_Check(v.ptr()))
        return false;
    return PyFloat_Check(v.ptr()) || PyLong_Check(v.ptr()) || py::hasattr(v, "__float__");
}

bool isInteger(const py::handle& v)
{
    return !PyBool_Check(v.ptr()) && py::hasattr(v, "__index__");
}

bool accepted(Accepts accepts, const py::handle& v)
{
    switch (accepts) {
    case Accepts::Number: return isNumber(v);
    case Accepts::Integer: return isInteger(v);
    case Accepts::Boolean:
        return PyBool_Check(v.ptr()) || py::isinstance(v, py::module_::import("numpy").attr("bool_"));
    case Accepts::Text: return py::isinstance<py::str>(v);
    case Accepts::Ellipsoid: return v.is_none() || py::isinstance<Ellipsoid>(v);
    case Accepts::Point2:
    case Accepts::Point3: return py::isinstance<py::sequence>(v) || py::hasattr(v, "__array__");
    }
    return false;
}

} // namespace

void refuseCall(const char* type, const std::vector<Parameter>& parameters, const py::args& args,
                const py::kwargs& kwargs, const char* (*hint)(const char*, const py::handle&))
{
    const std::string who = std::string(type) + ": ";
    std::size_t positional = 0;
    for (const Parameter& p : parameters)
        positional += p.keywordOnly ? 0 : 1;
    if (args.size() > positional) {
        if (positional == 0)
            throw py::type_error(who + "every argument is given by keyword (" + type + "(" + parameters.front().name +
                                 "=..., ...))");
        throw py::type_error(who + "takes at most " + std::to_string(positional) + " positional arguments, " +
                             std::to_string(args.size()) + " given");
    }
    std::vector<py::object> given(parameters.size());
    for (std::size_t k = 0; k < args.size(); ++k)
        given[k] = py::reinterpret_borrow<py::object>(args[k]);
    for (auto item : kwargs) {
        const std::string name = item.first.cast<std::string>();
        std::size_t k = 0;
        while (k < parameters.size() && name != parameters[k].name)
            ++k;
        if (k == parameters.size())
            throw py::type_error(who + "unexpected keyword argument '" + name + "'");
        if (given[k])
            throw py::type_error(who + "argument '" + name + "' given twice");
        given[k] = py::reinterpret_borrow<py::object>(item.second);
    }
    for (std::size_t k = 0; k < parameters.size(); ++k) {
        const Parameter& p = parameters[k];
        if (!given[k]) {
            if (p.required)
                throw py::type_error(who + "missing argument '" + std::string(p.name) + "' (" + description(p.accepts) +
                                     (hint ? hint(p.name, py::none()) : "") + ")");
            continue;
        }
        if (!accepted(p.accepts, given[k]))
            throw py::type_error(who + "argument '" + p.name + "' must be " + description(p.accepts) + ", not " +
                                 py::repr(given[k]).cast<std::string>() + (hint ? hint(p.name, given[k]) : ""));
    }
    // Every argument has an acceptable kind: the real constructor refused
    // something finer, such as a sequence of the wrong length.
    throw py::type_error(who + "the arguments do not match " + type + "'s constructor");
}

} // namespace python
} // namespace tervala
