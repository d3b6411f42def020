// The subcommands of the tervala tool and what they share.
#ifndef TERVALA_TOOLS_CLI_COMMANDS_H
#define TERVALA_TOOLS_CLI_COMMANDS_H

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

#include <tervala/GridShift.hpp>
#include <tervala/Tervala.h>

#include "Ellipsoids.h"
#include "Io.h"

namespace tervala {
namespace cli {

// Options every coordinate subcommand takes, and the state they set up.
struct Context {
    IoOptions io;
    std::string ellipsoidText = "WGS84";
    std::string dataDir;
    NamedEllipsoid ellipsoid{"WGS84", 6378137.0, 298.257223563};
    std::vector<std::string> commandLine;  // as given, for reports that record it

    // Resolves the ellipsoid and applies --data-dir; false after reporting.
    bool prepare(const std::string& command);
    // A fresh object on the chosen ellipsoid.
    CTervala object() const;
    Formatter format() const { return Formatter(io.precision); }
};

// Subcommands register a runner; main runs the one the command line chose.
struct Registry {
    std::vector<std::pair<CLI::App*, std::function<int()>>> commands;
    void add(CLI::App* app, std::function<int()> run) { commands.emplace_back(app, std::move(run)); }
};

// Adds --input-string, --input-file, --output-file, --precision and, unless
// withEllipsoid is false, --ellipsoid; always --data-dir.
void addCommonOptions(CLI::App* app, Context& ctx, bool withEllipsoid = true);

// Option checks: a plain decimal number (no hexadecimal, inf or nan), and
// one that is greater than zero.
CLI::Validator finiteNumber();
CLI::Validator positiveNumber();

// Latitude and longitude (any angle form) and, when withHeight, an optional
// height (0 when absent) from the fields of one input line.
bool parsePosition(const std::vector<std::string>& fields, bool withHeight, double& lat, double& lon, double& h,
                   std::string& error);

// Parses a "--params" value: a comma list of `count` numbers, or the path of
// a parameter file of `model` (then the file's values, which may include the
// origin, are returned in the model's key order).
bool resolveParams(const std::string& text, const std::string& model, std::size_t count, std::vector<double>& values,
                   bool& fromFile, std::string& error);

struct CommonPoint;

// Options of the fit subcommands.
struct FitOptions {
    std::string pointsFile;
    std::string writeParams;
    std::string writeProj;  // seven-parameter fits: the PROJ string of the result
    std::string plot;
    std::string origin;  // height model: x0,y0
    double sigma = 0;    // --sigma: one a priori standard deviation (m) for all; 0 when not given
    double alpha = 0.05;    // global test
    double alpha0 = 0.001;  // w-test
    double power = 0.80;    // of the w-test against a bias of the MDB
    double confidence = 0;  // --confidence of the error ellipses; 0: the standard ellipse
    std::vector<std::string> check;  // ids of check points, held out of the fit
    bool leaveOneOut = false;
    std::vector<std::string> fix;  // parameters held
    bool snoop = false;
    std::string json;
    std::string html;  // the report as one self-contained, printable HTML file
    std::string sourceEllipsoid, targetEllipsoid;  // geodetic input of the seven-parameter fits
};

// Prints the report of a Bursa-Wolf or Molodensky-Badekas fit of `points`
// (as `tervala fit` does for a file called sourceName); returns the exit status.
int reportSevenParameterFit(const std::string& model, const std::vector<CommonPoint>& points,
                            const std::string& sourceName, const Context& ctx);

void addConvertCommands(CLI::App& app, Context& ctx, Registry& registry);
void addDatumCommands(CLI::App& app, Context& ctx, Registry& registry);
void addFitCommands(CLI::App& app, Context& ctx, Registry& registry);
void addDiagnoseCommand(CLI::App& app, Context& ctx, Registry& registry);
void addGeoidCommands(CLI::App& app, Context& ctx, Registry& registry);
void addDataCommands(CLI::App& app, Context& ctx, Registry& registry);
void addDemoCommand(CLI::App& app, Context& ctx, Registry& registry);
void addTransformCommand(CLI::App& app, Context& ctx, Registry& registry);
void addGridShiftCommand(CLI::App& app, Context& ctx, Registry& registry);
void addEpochCommands(CLI::App& app, Context& ctx, Registry& registry);

// Loads an NTv2 grid for `option`; false after reporting why.
bool loadGridShift(const std::string& command, const std::string& option, const std::string& path,
                   std::unique_ptr<GridShift>& out);
// Shifts `p` forward or back; false with a message naming the point when it
// lies outside the grid.
bool shiftPoint(const GridShift& grid, bool inverse, Geodetic& p, std::string& error);
void addPolarCommands(CLI::App& app, Context& ctx, Registry& registry);
void addSelfTestCommand(CLI::App& app, Context& ctx, Registry& registry);

} // namespace cli
} // namespace tervala

#endif
