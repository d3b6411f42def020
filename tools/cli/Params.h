// Parameter files: what `tervala fit` writes and the transform subcommands
// read back with --params FILE. A small text format, one "key value" per
// line, '#' comments, the model named on a "model" line:
//
//   # written by tervala fit bursa-wolf
//   model bursa-wolf
//   tx -115.80
//   ...
//
// Values are written with 17 significant digits so that reading them back
// gives the same doubles.
#ifndef TERVALA_TOOLS_CLI_PARAMS_H
#define TERVALA_TOOLS_CLI_PARAMS_H

#include <string>
#include <vector>

namespace tervala {
namespace cli {

struct ParamSet {
    std::string model;                 // helmert2d, height, bursa-wolf, molodensky-badekas
    std::vector<std::string> keys;     // in the model's order
    std::vector<double> values;        // same order
};

// The keys of each model, in order. Empty for an unknown model.
std::vector<std::string> modelKeys(const std::string& model);

// Reads and checks a parameter file for `model`. False with a message on any
// problem (missing file, other model, missing or repeated key, bad number).
bool readParamFile(const std::string& path, const std::string& model, ParamSet& out, std::string& error);

// Parses text already read (used by readParamFile and by tests and fuzzers).
bool parseParamText(const std::string& text, const std::string& model, ParamSet& out, std::string& error);

// The file contents for a set, with a comment header.
std::string formatParamText(const ParamSet& set, const std::string& comment);

} // namespace cli
} // namespace tervala

#endif
