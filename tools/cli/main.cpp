// tervala: the command-line front end of the Tervala library.
//
// One program with a subcommand per job, in the manner of GeographicLib's
// utilities and PROJ's cct: coordinates are read line by line from standard
// input, a file or --input-string, one result line is written per input line
// as soon as it is computed, and comment lines pass through.
#include <cstdio>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "Commands.h"
#include "platform/Files.h"
#include "tervala/Version.h"

int main(int argc, char** argv)
{
    using namespace tervala::cli;
    CLI::App app{"tervala: geodetic conversions, datum transformations, least-squares fits and geoid heights.\n"
                 "Coordinates are read line by line from standard input (or --input-string / --input-file),\n"
                 "one result line per input line, written as soon as it is computed; angles in decimal degrees\n"
                 "(DMS such as 37d30'00.5\"N accepted). Fields are separated by blanks, commas, semicolons or tabs\n"
                 "(judged from the first data line; the output uses the same). A point identifier before the\n"
                 "coordinates is copied first; fields after them are copied after the results (as cct does), and\n"
                 "a trailing '# comment' likewise (as GeographicLib's tools with --comment-delimiter).\n"
                 "Run 'tervala <command> --help' for each command."};
    // Arguments such as /data/points.txt are paths, never Windows-style
    // options; subcommands inherit the setting when they are added.
    app.allow_windows_style_options(false);
    app.require_subcommand(1);
    app.set_version_flag("--version", "tervala " TERVALA_VERSION_STRING);

    // An interrupted -o write leaves no temporary file behind.
    tervala::platform::removeTemporaryFilesOnSignals();

    Context ctx;
    Registry registry;
    addConvertCommands(app, ctx, registry);
    addDatumCommands(app, ctx, registry);
    addFitCommands(app, ctx, registry);
    addDiagnoseCommand(app, ctx, registry);
    addGeoidCommands(app, ctx, registry);
    addDataCommands(app, ctx, registry);
    addDemoCommand(app, ctx, registry);
    addTransformCommand(app, ctx, registry);
    addGridShiftCommand(app, ctx, registry);
    addEpochCommands(app, ctx, registry);
    addPolarCommands(app, ctx, registry);
    addSelfTestCommand(app, ctx, registry);

    // LF line ends on standard output and error as in files written with -o,
    // and standard input read as it is.
    tervala::platform::setBinaryMode(stdout);
    tervala::platform::setBinaryMode(stderr);
    tervala::platform::setBinaryMode(stdin);
    // UTF-8 arguments on every platform.
    std::vector<std::string> args = tervala::platform::commandLineArguments(argc, argv);
    ctx.commandLine = args;
    std::vector<char*> pointers;
    for (std::string& arg : args)
        pointers.push_back(&arg[0]);
    try {
        app.parse(static_cast<int>(pointers.size()), pointers.data());
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }
    // Run the innermost subcommand that was chosen.
    for (auto it = registry.commands.rbegin(); it != registry.commands.rend(); ++it) {
        if (it->first->parsed()) {
            if (!ctx.prepare(it->first->get_name()))
                return 2;
            return it->second();
        }
    }
    std::fprintf(stderr, "tervala: no command given; see tervala --help\n");
    return 2;
}
