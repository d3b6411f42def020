// Helmert15 (the time-dependent Helmert transformation) and the epoch
// changes for Python: points and epochs as floats or broadcasting arrays.
#include <array>
#include <string>

#include <pybind11/stl.h>

#include "Bindings.h"
#include "ModernSupport.h"
#include "Registration.h"
#include "ValueSemantics.h"
#include "tervala/Helmert15.hpp"

namespace tervala {
namespace python {
namespace {

using py::arg;

Rotations rotationsFromText(const std::string& text)
{
    if (text == "exact")
        return Rotations::Exact;
    if (text == "small_angle")
        return Rotations::SmallAngle;
    throw py::value_error("rotations must be \"exact\" or \"small_angle\", not \"" + text + "\"");
}

HelmertValues values(const std::array<double, 7>& v) { return HelmertValues{v[0], v[1], v[2], v[3], v[4], v[5], v[6]}; }

py::tuple tuple(const HelmertValues& v) { return py::make_tuple(v.tx, v.ty, v.tz, v.s, v.rx, v.ry, v.rz); }

const char* convention(const Helmert15& h)
{
    return h.convention() == Convention::PositionVector ? "position_vector" : "coordinate_frame";
}

const char* rotations(const Helmert15& h) { return h.rotations() == Rotations::Exact ? "exact" : "small_angle"; }

// The constructor's keyword arguments: repr (eval gives an equal set) and
// pickling.
py::dict keywords(const Helmert15& h)
{
    py::dict d;
    const HelmertValues& v = h.values();
    d["tx"] = v.tx;
    d["ty"] = v.ty;
    d["tz"] = v.tz;
    d["s"] = v.s;
    d["rx"] = v.rx;
    d["ry"] = v.ry;
    d["rz"] = v.rz;
    d["rates"] = tuple(h.rates());
    d["t_ref"] = h.tRef();
    d["convention"] = convention(h);
    d["rotations"] = rotations(h);
    return d;
}

Helmert15 fromKeywords(const py::dict& d)
{
    const HelmertValues v{d["tx"].cast<double>(), d["ty"].cast<double>(), d["tz"].cast<double>(),
                          d["s"].cast<double>(),  d["rx"].cast<double>(), d["ry"].cast<double>(),
                          d["rz"].cast<double>()};
    return Helmert15(v, values(d["rates"].cast<std::array<double, 7>>()), d["t_ref"].cast<double>(),
                     conventionFromText(d["convention"].cast<std::string>()),
                     rotationsFromText(d["rotations"].cast<std::string>()));
}

template <bool Inverse>
py::object transform(const Helmert15& h, const py::handle& x, const py::handle& y, const py::handle& z,
                     const py::handle& epoch, int threads)
{
    return evaluate<4, 3>({x, y, z, epoch}, {"x", "y", "z", "epoch"}, namedTypes().geocentric, threads, kCheapPoints,
                          [&h](const double (&in)[4], double (&out)[3]) {
                              const Geocentric p{in[0], in[1], in[2]};
                              const Geocentric q = Inverse ? h.inverse(p, in[3]) : h.forward(p, in[3]);
                              out[0] = q.x;
                              out[1] = q.y;
                              out[2] = q.z;
                          });
}

} // namespace

void bindModernEpochs(py::module_& m)
{
    const auto threads = arg("threads") = 0;
    py::class_<Helmert15> h(m, "Helmert15",
                            "The time-dependent (15-parameter) Helmert transformation: the seven parameters tx, ty, "
                            "tz (m), s (ppm), rx, ry, rz (arc-seconds) at the reference epoch t_ref, their rates per "
                            "year, and the rotations read in the named convention and form.");
    defineConstructor(
        h,
        py::init([](double tx, double ty, double tz, double s, double rx, double ry, double rz,
                    const std::array<double, 7>& rates, double tRef, const std::string& convention,
                    const std::string& rotations) {
            return Helmert15(HelmertValues{tx, ty, tz, s, rx, ry, rz}, values(rates), tRef,
                             conventionFromText(convention), rotationsFromText(rotations));
        }),
        "rates: the seven rates (m/year, ppm/year, arc-seconds/year) in the order of the values; t_ref in decimal "
        "years; rotations \"exact\" (R3 R2 R1) or \"small_angle\" (PROJ's helmert without +exact). ValueError "
        "names a value that is not finite or out of range.",
        py::kw_only(), arg("tx"), arg("ty"), arg("tz"), arg("s"), arg("rx"), arg("ry"), arg("rz"), arg("rates"),
        arg("t_ref"), arg("convention"), arg("rotations") = "exact");
    defineMethods(
        h,
        row("forward", &transform<false>,
            "Source x, y, z (m) at the coordinate epoch (decimal years) -> target Geocentric(x, y, z); NaN where "
            "the parameters at that epoch leave their ranges.",
            arg("x"), arg("y"), arg("z"), arg("epoch"), py::kw_only(), threads),
        row("inverse", &transform<true>, "Target x, y, z (m) at the epoch -> source Geocentric(x, y, z).", arg("x"),
            arg("y"), arg("z"), arg("epoch"), py::kw_only(), threads),
        row("at", [](const Helmert15& self, double epoch) { return tuple(self.at(epoch)); },
            "The seven parameters (tx, ty, tz, s, rx, ry, rz) at an epoch.", arg("epoch")),
        row("move_on_plate",
            [](const Helmert15& plate, double x, double y, double z, double from, double to) {
                const Geocentric q = moveOnPlate(plate, Geocentric{x, y, z}, from, to);
                return makeNamed<3>(namedTypes().geocentric, {py::float_(q.x), py::float_(q.y), py::float_(q.z)});
            },
            "This set's rates as a plate-motion model: the point (m) moved from epoch `from` to epoch `to`.",
            arg("x"), arg("y"), arg("z"), arg("from_epoch"), arg("to_epoch")));
    defineValueSemantics(h, [](const Helmert15& self) {
        return py::make_tuple(tuple(self.values()), tuple(self.rates()), self.tRef(), convention(self),
                              rotations(self));
    });
    defineMethods(h, row(
                         "__repr__",
                         [](const Helmert15& self) {
                             std::string s = "Helmert15(";
                             bool first = true;
                             for (auto item : keywords(self)) {
                                 s += (first ? "" : ", ") + item.first.cast<std::string>() + "=" +
                                      py::repr(item.second).cast<std::string>();
                                 first = false;
                             }
                             return s + ")";
                         },
                         "Helmert15(tx=..., ..., rates=(...), t_ref=..., convention=..., rotations=...)"));
    h.def(py::pickle([](const Helmert15& self) { return keywords(self); }, &fromKeywords));
    h.def_property_readonly("values", [](const Helmert15& self) { return tuple(self.values()); },
                            "(tx, ty, tz, s, rx, ry, rz) at t_ref")
        .def_property_readonly("rates", [](const Helmert15& self) { return tuple(self.rates()); }, "per year")
        .def_property_readonly("t_ref", &Helmert15::tRef, "decimal years")
        .def_property_readonly("convention", &convention)
        .def_property_readonly("rotations", &rotations);
}

} // namespace python
} // namespace tervala
