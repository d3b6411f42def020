// Transformation parameters as the tool reads and writes them.
//
// Parameter files are what `tervala fit` writes and the transform
// subcommands read back with --params FILE: one "key value" per line, '#'
// comments, the model named on a "model" line and, for the seven-parameter
// models, the rotation convention on a "convention" line and the rotation
// matrix the values are for on a "rotations" line (exact or small-angle):
//
//   # written by tervala fit bursa-wolf
//   model bursa-wolf
//   convention coordinate-frame
//   rotations exact
//   tx -115.80
//   ...
//
// Values are written with 17 significant digits so that reading them back
// gives the same doubles. A fit also writes the covariance of its estimated
// parameters, in their units squared, as comment lines that readers which do
// not know them skip: a "#covariance" line naming the parameters followed by
// one "#covariance" line of numbers per parameter (the rows in that order):
//
//   #covariance t1 t2 scale rotation
//   #covariance 1.2e-05 -3.4e-07 ...
//   ...
//
// Parameters not named (an origin, a parameter held in the fit) are exact. A seven-parameter file may instead hold a PROJ
// string of one helmert or molobadekas step (see parseProjString), told
// apart by the '+' that starts its first line after any '#' comments.
#ifndef TERVALA_TOOLS_CLI_PARAMS_H
#define TERVALA_TOOLS_CLI_PARAMS_H

#include <string>
#include <vector>

#include <tervala/Datum.hpp>
#include <tervala/Helmert15.hpp>

namespace CLI {
class App;
}

namespace tervala {
namespace cli {

struct ParamSet {
    std::string model;                 // helmert2d, height, bursa-wolf, molodensky-badekas
    std::vector<std::string> keys;     // in the model's order
    std::vector<double> values;        // same order
    std::string convention = {};       // seven-parameter models: "position-vector",
                                       // "coordinate-frame", or empty when the file has none
    std::string rotations = {};        // seven-parameter models: "exact", "small-angle",
                                       // or empty when the file has none
    std::vector<std::string> covarianceKeys = {};  // the parameters the covariance is of, as in the file;
                                                   // empty when the file has no covariance
    std::vector<std::vector<double>> covariance = {};  // their covariance, units squared, same order
};

// The covariance of `set` over `keys` (a parameter not in the file's block
// has variance 0). Empty when the set has no covariance.
std::vector<std::vector<double>> covarianceOver(const ParamSet& set, const std::vector<std::string>& keys);

// Checks a covariance matrix: square of `size`, finite, symmetric (to
// 1e-8 of the standard deviations' product) and positive semi-definite (to
// rounding). Empty
// when it is, else what is wrong with it (naming the row, from 1).
std::string covarianceProblem(const std::vector<std::vector<double>>& c, std::size_t size);

// The keys of each model, in order. Empty for an unknown model.
std::vector<std::string> modelKeys(const std::string& model);

// Reads and checks a parameter file for `model`. False with a message on any
// problem (missing file, other model, missing or repeated key, bad number).
bool readParamFile(const std::string& path, const std::string& model, ParamSet& out, std::string& error);

// Parses text already read (used by readParamFile and by tests and fuzzers).
bool parseParamText(const std::string& text, const std::string& model, ParamSet& out, std::string& error);

// The file contents for a set, with a comment header.
std::string formatParamText(const ParamSet& set, const std::string& comment);

// ---- seven-parameter sets ---------------------------------------------------

// A Bursa-Wolf or Molodensky-Badekas parameter set: translations (metres),
// scale correction (ppm), rotations (arc-seconds) read in `convention`, and
// for Molodensky-Badekas the rotation origin (metres).
struct SevenParameters {
    double tx = 0, ty = 0, tz = 0, s = 0, rx = 0, ry = 0, rz = 0;
    Convention convention = Convention::CoordinateFrame;
    RotationForm rotations = RotationForm::small_angle;
    Geocentric origin{0.0, 0.0, 0.0};
    // The covariance of tx, ty, tz, s, rx, ry, rz (units squared) from a
    // parameter file that holds one; empty otherwise.
    std::vector<std::vector<double>> covariance = {};

    // The transformations; std::invalid_argument naming a value out of range.
    Helmert7 helmert() const;
    MolodenskyBadekas molodenskyBadekas() const;
};

// The command-line options that give a seven-parameter set, as typed.
struct SevenParameterOptions {
    std::string params;      // --params: "tx,ty,tz,s,rx,ry,rz", or a file
    std::string convention;  // --convention
    std::string rotations;   // --rotations
    std::string origin;      // --origin X0,Y0,Z0
    // --tx --ty --tz --s --rx --ry --rz --x0 --y0 --z0, each value as typed
    // (a vector so that a repeated option can be refused by name).
    std::vector<std::string> named[10];
};

// Registers --params, --convention and the named options on `app` (with the
// origin, --origin and --x0 --y0 --z0, when withOrigin).
void addSevenParameterOptions(CLI::App* app, SevenParameterOptions& options, bool withOrigin);

// The set the options give, from exactly one source:
//  - --params FILE: a parameter file of model bursa-wolf (molodensky-badekas
//    when withOrigin) or a PROJ string. --convention and --rotations, if
//    given, must agree with the file. A key/value file without a convention
//    line is read as coordinate-frame, one without a rotations line as exact
//    (what every file written before the line existed holds), and `warning`
//    says so; a PROJ string is small-angle unless it has +exact;
//  - --params LIST, or all of --tx ... --rz: then --convention is required
//    and, when withOrigin, --origin or all of --x0 --y0 --z0; --rotations
//    is small-angle (the form of EPSG's methods and of published sets)
//    unless given.
// False with a message naming the option (or file line) otherwise; the
// values are also checked against the ranges of Helmert7.
bool resolveSevenParameters(const SevenParameterOptions& options, bool withOrigin, SevenParameters& out,
                            std::string& error, std::string& warning);

// Reports each line of a warning from resolveSevenParameters on standard
// error as "tervala COMMAND: warning: ...".
void reportWarnings(const std::string& command, const std::string& warning);

// "position-vector" or "coordinate-frame" (the tool's spelling).
const char* conventionName(Convention convention);
bool parseConventionName(const std::string& text, Convention& convention);
// "exact" or "small-angle" (the tool's spelling).
const char* rotationFormName(RotationForm rotations);
bool parseRotationFormName(const std::string& text, RotationForm& rotations);

// ---- PROJ strings -------------------------------------------------------------

// Reads one PROJ helmert step ("+proj=helmert +x= +y= +z= +s= +rx= +ry= +rz=
// +convention=...", optionally "+exact" and optionally wrapped as
// "+proj=pipeline +step ...") or, when withOrigin, one molobadekas step (the
// same keys and +px= +py= +pz=), in PROJ's units (metres, ppm,
// arc-seconds). Every key is required and given once; any other key (units,
// time-dependent rates, +inv, ...) is refused by name, as are values that
// are not plain numbers. Without +exact the set is small-angle, as PROJ
// reads it. PROJ reads position_vector rotations with +exact as the
// transposed coordinate-frame matrix, where this tool's exact form applies
// R3(rz) R2(ry) R1(rx) of the angles in their convention: such a string is
// refused when the two readings differ by more than 0.1 mm at the Earth's
// surface.
bool parseProjString(const std::string& text, bool withOrigin, SevenParameters& out, std::string& error);

// A time-dependent helmert step as PROJ reads it: +x +y +z (m) +s (ppm)
// +rx +ry +rz (arc-seconds), their rates +dx ... +drz per year, +t_epoch,
// +convention and +exact. Keys left out are 0 (as in PROJ); small angles
// unless +exact. +convention is required when a rotation or its rate is
// given.
struct TimeDependentParameters {
    HelmertValues values{0, 0, 0, 0, 0, 0, 0};
    HelmertValues rates{0, 0, 0, 0, 0, 0, 0};
    double tRef = 0;
    bool hasEpoch = false;   // +t_epoch was given
    bool hasValues = false;  // any of the seven values was given (a plate model has none)
    Convention convention = Convention::PositionVector;
    Rotations rotations = Rotations::SmallAngle;
};
bool parseTimeDependentProjString(const std::string& text, TimeDependentParameters& out, std::string& error);

// The text of entry NAME of a PROJ init file given as "FILE:NAME" (Debian's
// /usr/share/proj/ITRF2014:ITRF2008): from "<NAME>" to the next entry, '#'
// comments removed. False with a message naming the file or the entry.
bool readProjSet(const std::string& setRef, std::string& text, std::string& error);

// The PROJ string of a set, every number with 17 significant digits, with
// +exact when the set is exact (so that PROJ applies the same rotation
// matrix as the tool) and without it when small-angle.
std::string formatProjString(const SevenParameters& set, bool withOrigin);

// The PROJ string of a time-dependent set (+proj=helmert with the rates and
// +t_epoch), every number with 17 significant digits, +exact when the set is
// exact; parseTimeDependentProjString and cct read it back.
std::string formatTimeDependentProjString(const TimeDependentParameters& set);

} // namespace cli
} // namespace tervala

#endif
