// tervala helmert15: the time-dependent Helmert transformation of geocentric
// X Y Z at a coordinate epoch, and epoch changes by a plate-motion model or a
// velocity, in the manner of PROJ's cct with +proj=helmert and its t column.
#include <cmath>
#include <memory>
#include <optional>
#include <stdexcept>

#include <tervala/Helmert15.hpp>

#include "Commands.h"
#include "Params.h"
#include "Text.h"

namespace tervala {
namespace cli {
namespace {

struct EpochOptions {
    std::string params, set, plate, velocity, convention, rotations;
    std::string named[15];  // --tx ... --rz, --dtx ... --drz, --t-ref, as typed
    double epoch = std::nan(""), toEpoch = std::nan("");
    bool inverse = false, velocityColumns = false;
};

const char* const kNames[15] = {"tx",  "ty",  "tz",  "s",   "rx",  "ry",  "rz",   "dtx",
                                "dty", "dtz", "ds",  "drx", "dry", "drz", "t-ref"};
const char* const kHelp[15] = {
    "Translation tx at the reference epoch (metres)", "Translation ty (metres)", "Translation tz (metres)",
    "Scale correction s (ppm)", "Rotation rx (arc-seconds)", "Rotation ry (arc-seconds)",
    "Rotation rz (arc-seconds)", "Rate of tx (metres per year)", "Rate of ty (metres per year)",
    "Rate of tz (metres per year)", "Rate of s (ppm per year)", "Rate of rx (arc-seconds per year)",
    "Rate of ry (arc-seconds per year)", "Rate of rz (arc-seconds per year)",
    "Reference epoch of the values (decimal years)"};

// The set from exactly one of --params, --set and the named options; false
// after reporting. `given` is false when none was given.
bool frameSet(const EpochOptions& o, std::optional<Helmert15>& out)
{
    int sources = !o.params.empty() + !o.set.empty();
    bool named = false;
    for (const std::string& n : o.named)
        named = named || !n.empty();
    sources += named;
    if (sources > 1) {
        report("helmert15", "give the parameters once: --params, --set or the named options (--tx ... --t-ref)");
        return false;
    }
    if (sources == 0)
        return true;
    TimeDependentParameters p;
    std::string error, text;
    if (named) {
        double* fields[15] = {&p.values.tx, &p.values.ty, &p.values.tz, &p.values.s,  &p.values.rx,
                              &p.values.ry, &p.values.rz, &p.rates.tx,  &p.rates.ty,  &p.rates.tz,
                              &p.rates.s,   &p.rates.rx,  &p.rates.ry,  &p.rates.rz,  &p.tRef};
        for (int k = 0; k < 15; ++k) {
            *fields[k] = 0.0;
            std::string why;
            if (!o.named[k].empty() && !parseNumber(o.named[k], *fields[k], why)) {
                report("helmert15", std::string("--") + kNames[k] + ": " + why);
                return false;
            }
        }
        if (o.named[14].empty() || o.convention.empty()) {
            report("helmert15", "--t-ref and --convention are required with the named parameters");
            return false;
        }
        parseConventionName(o.convention, p.convention);
        p.rotations = o.rotations == "small-angle" ? Rotations::SmallAngle : Rotations::Exact;
    } else {
        const std::string what = o.set.empty() ? "--params" : "--set";
        if (!o.set.empty()) {
            if (!readProjSet(o.set, text, error)) {
                report("helmert15", "--set: " + error);
                return false;
            }
        } else if (o.params[0] == '+') {
            text = o.params;
        } else if (!readFile(o.params, text, error)) {
            report("helmert15", "--params: " + error);
            return false;
        }
        if (!parseTimeDependentProjString(text, p, error)) {
            report("helmert15", what + ": " + error);
            return false;
        }
        if (!p.hasEpoch) {
            report("helmert15", what + ": +t_epoch (the reference epoch) is missing");
            return false;
        }
        if (!o.convention.empty() || !o.rotations.empty()) {
            report("helmert15", "--convention and --rotations belong to the named parameters; " + what +
                                    " states its own (+convention, +exact)");
            return false;
        }
    }
    try {
        out.emplace(p.values, p.rates, p.tRef, p.convention, p.rotations);
    } catch (const std::invalid_argument& e) {
        report("helmert15", e.what());
        return false;
    }
    return true;
}

// The plate-motion model of --plate: NAME from the --set file, or FILE:NAME.
bool plateSet(const EpochOptions& o, std::optional<Helmert15>& out)
{
    if (o.plate.empty())
        return true;
    std::string setRef = o.plate, text, error;
    if (setRef.find(':') == std::string::npos) {
        if (o.set.empty()) {
            report("helmert15", "--plate " + setRef + ": give FILE:NAME (for example /usr/share/proj/ITRF2014:EURA) "
                                                    "or a --set whose file holds the plate");
            return false;
        }
        setRef = o.set.substr(0, o.set.rfind(':')) + ":" + setRef;
    }
    TimeDependentParameters p;
    if (!readProjSet(setRef, text, error) || !parseTimeDependentProjString(text, p, error)) {
        report("helmert15", "--plate: " + error);
        return false;
    }
    if (p.hasValues) {
        report("helmert15", "--plate " + setRef + " is not a plate-motion model (it has values, not only rates)");
        return false;
    }
    out.emplace(p.values, p.rates, 0.0, p.convention, p.rotations);
    return true;
}

} // namespace

void addEpochCommands(CLI::App& app, Context& ctx, Registry& registry)
{
    auto o = std::make_shared<EpochOptions>();
    CLI::App* sub = app.add_subcommand(
        "helmert15", "Time-dependent (15-parameter) Helmert transformation of geocentric X Y Z [epoch], and epoch "
                     "changes by a plate-motion model or a velocity");
    sub->add_option("--params", o->params,
                    "A PROJ string '+proj=helmert +x=.. +dx=.. +t_epoch=.. +convention=..' (or a file holding "
                    "one): metres, ppm, arc-seconds and their rates per year; small angles unless +exact");
    sub->add_option("--set", o->set, "A set of a PROJ init file as FILE:NAME, e.g. /usr/share/proj/ITRF2014:ITRF2008");
    for (int k = 0; k < 15; ++k)
        sub->add_option(std::string("--") + kNames[k], o->named[k], kHelp[k])->group("Named parameters");
    sub->add_option("--convention", o->convention, "Named parameters: position-vector or coordinate-frame")
        ->check(CLI::IsMember({"position-vector", "coordinate-frame"}))
        ->group("Named parameters");
    sub->add_option("--rotations", o->rotations,
                    "Named parameters: exact (R3 R2 R1, the default) or small-angle (PROJ's default)")
        ->check(CLI::IsMember({"exact", "small-angle"}))
        ->group("Named parameters");
    sub->add_option("--epoch", o->epoch,
                    "The coordinate epoch of every point (decimal years); otherwise each line gives it after Z")
        ->check(finiteNumber());
    sub->add_flag("--inverse", o->inverse, "Apply the transformation from target to source");
    sub->add_option("--plate", o->plate,
                    "Move the points to --to-epoch by a plate-motion model: NAME in the --set file (EURA, NOAM, "
                    "...) or FILE:NAME");
    sub->add_option("--velocity", o->velocity, "Move the points to --to-epoch by a velocity vx,vy,vz (m/year)");
    sub->add_flag("--velocity-columns", o->velocityColumns,
                  "Each line gives its velocity vx vy vz (m/year) after X Y Z [epoch]");
    sub->add_option("--to-epoch", o->toEpoch, "The epoch to move the points to (decimal years)")
        ->check(finiteNumber());
    sub->footer("Parameters at the coordinate epoch t are p + dp (t - t_ref), applied as X' = (1 + s 1e-6) R X + T "
                "(cct +proj=helmert with the t column). An epoch change (--plate, --velocity) is made in the "
                "source frame first, so the transformation is applied at --to-epoch; with --inverse the "
                "transformation comes first, at the input epoch. Output: X Y Z and the epoch of the result.");
    addCommonOptions(sub, ctx, false);
    registry.add(sub, [&ctx, o] {
        std::optional<Helmert15> frame, plate;
        if (!frameSet(*o, frame) || !plateSet(*o, plate))
            return 2;
        const int moves = !o->plate.empty() + !o->velocity.empty() + o->velocityColumns;
        if (moves > 1 || (moves == 1) != !std::isnan(o->toEpoch)) {
            report("helmert15", moves > 1 ? "choose one of --plate, --velocity and --velocity-columns"
                                          : moves == 1 ? "--to-epoch is required with an epoch change"
                                                       : "--to-epoch needs --plate, --velocity or --velocity-columns");
            return 2;
        }
        if (!frame && moves == 0) {
            report("helmert15", "nothing to do: give parameters (--params, --set, --tx ...) or an epoch change");
            return 2;
        }
        std::vector<double> velocity;
        std::string error;
        if (!o->velocity.empty() && !parseNumberList(o->velocity, 3, velocity, error)) {
            report("helmert15", "--velocity: " + error);
            return 2;
        }
        const bool epochColumn = std::isnan(o->epoch);
        const std::size_t fields = 3 + (epochColumn ? 1 : 0) + (o->velocityColumns ? 3 : 0);
        const Formatter fmt = ctx.format();
        return runLines("helmert15", ctx.io, FieldLayout{fields, fields, FirstField::Number},
                        [&](const std::vector<std::string>& f) {
                            LineResult r;
                            static const char* const names[7] = {"X", "Y", "Z", "epoch", "vx", "vy", "vz"};
                            double v[7] = {0, 0, 0, o->epoch, 0, 0, 0};
                            for (std::size_t i = 0, k = 0; i < f.size(); ++i, ++k) {
                                if (k == 3 && !epochColumn)
                                    ++k;
                                std::string why;
                                if (!parseNumber(f[i], v[k], why)) {
                                    r.error = std::string(names[k]) + ": " + why;
                                    return r;
                                }
                            }
                            double t = v[3];
                            Geocentric p{v[0], v[1], v[2]};
                            if (frame && o->inverse)
                                p = frame->inverse(p, t);
                            if (moves == 1) {
                                if (plate)
                                    p = moveOnPlate(*plate, p, t, o->toEpoch);
                                else
                                    p = moveByVelocity(p,
                                                       o->velocityColumns ? Geocentric{v[4], v[5], v[6]}
                                                                          : Geocentric{velocity[0], velocity[1],
                                                                                       velocity[2]},
                                                       t, o->toEpoch);
                                t = o->toEpoch;
                            }
                            if (frame && !o->inverse)
                                p = frame->forward(p, t);
                            if (std::isnan(p.x)) {
                                r.error = "the parameters at epoch " + fmt.fixed(t, 4) +
                                          " leave their ranges (a scale factor that is not positive)";
                                return r;
                            }
                            r.fields = {fmt.length(p.x), fmt.length(p.y), fmt.length(p.z), fmt.fixed(t, 4)};
                            return r;
                        });
    });
}

} // namespace cli
} // namespace tervala
