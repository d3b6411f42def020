// Registration tables: each Python function is one row {name, function,
// doc, argument declarations}, and defineRows() registers a whole table.
//
// The rows also give every function a text signature: the docstring starts
// with "name(self, a, b=0.0, *, c=None)\n--\n\n", the form CPython reads
// into __text_signature__, so help() and inspect.signature show the real
// parameter names (pybind11 alone writes its signature line as prose, which
// inspect cannot read). The typed signature lives in the package's stubs.
#ifndef TERVALA_PYTHON_REGISTRATION_H
#define TERVALA_PYTHON_REGISTRATION_H

#include <pybind11/pybind11.h>

#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

namespace tervala {
namespace python {

namespace py = pybind11;

template <class Function, class... Extra>
struct Row {
    const char* name;
    Function function;
    const char* doc;
    std::tuple<Extra...> extra;  // py::arg, py::arg_v, py::kw_only
};

// One row: the Python name, a member function pointer or a callable taking
// the object first, the docstring, then the arguments as pybind11 declares
// them.
template <class Function, class... Extra>
Row<Function, Extra...> row(const char* name, Function function, const char* doc, Extra... extra)
{
    return {name, function, doc, std::tuple<Extra...>(extra...)};
}

namespace detail {

inline std::string parameter(const py::arg& a) { return a.name; }

inline std::string parameter(const py::arg_v& a)
{
    return std::string(a.name) + '=' + (a.descr ? std::string(a.descr) : py::repr(a.value).cast<std::string>());
}

inline std::string parameter(const py::kw_only&) { return "*"; }

} // namespace detail

// "name(self, ...)\n--\n\n" + doc for a method, "name(...)" for a static
// or module function.
template <class... Extra>
std::string textSignature(const char* name, bool method, const char* doc, const std::tuple<Extra...>& extra)
{
    std::string parameters = method ? "self" : "";
    std::apply([&](const auto&... a) {
        ((parameters += (parameters.empty() ? "" : ", ") + detail::parameter(a)), ...);
    }, extra);
    return std::string(name) + "(" + parameters + ")\n--\n\n" + doc;
}

// Registers every row as a method of `cls`.
template <class Class, class... Rows>
void defineMethods(Class& cls, const Rows&... rows)
{
    py::options options;
    options.disable_function_signatures();
    auto one = [&cls](const auto& r) {
        const std::string doc = textSignature(r.name, true, r.doc, r.extra);
        std::apply([&](const auto&... a) { cls.def(r.name, r.function, a..., doc.c_str()); }, r.extra);
    };
    (one(rows), ...);
}

// Registers every row as a static method of `cls`.
template <class Class, class... Rows>
void defineStatics(Class& cls, const Rows&... rows)
{
    py::options options;
    options.disable_function_signatures();
    auto one = [&cls](const auto& r) {
        const std::string doc = textSignature(r.name, false, r.doc, r.extra);
        std::apply([&](const auto&... a) { cls.def_static(r.name, r.function, a..., doc.c_str()); }, r.extra);
    };
    (one(rows), ...);
}

// Registers a constructor: `factory` is a py::init(...) object; the text
// signature is that of __init__.
template <class Class, class Factory, class... Extra>
void defineConstructor(Class& cls, Factory&& factory, const char* doc, Extra... extra)
{
    py::options options;
    options.disable_function_signatures();
    const std::string text = textSignature("__init__", true, doc, std::tuple<Extra...>(extra...));
    cls.def(std::forward<Factory>(factory), extra..., text.c_str());
}

} // namespace python
} // namespace tervala

#endif
