#include "Params.h"

#include <fstream>
#include <sstream>

#include <fmt/format.h>

#include "Io.h"
#include "Text.h"

namespace tervala {
namespace cli {

std::vector<std::string> modelKeys(const std::string& model)
{
    if (model == "helmert2d")
        return {"t1", "t2", "scale", "rotation", "x0", "y0"};
    if (model == "height")
        return {"a1", "a2", "c", "x0", "y0"};
    if (model == "bursa-wolf")
        return {"tx", "ty", "tz", "s", "rx", "ry", "rz"};
    if (model == "molodensky-badekas")
        return {"x0", "y0", "z0", "tx", "ty", "tz", "s", "rx", "ry", "rz"};
    return {};
}

bool parseParamText(const std::string& text, const std::string& model, ParamSet& out, std::string& error)
{
    const std::vector<std::string> keys = modelKeys(model);
    std::vector<bool> seen(keys.size(), false);
    std::vector<double> values(keys.size(), 0.0);
    std::string fileModel;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (isPassThrough(line))
            continue;
        const std::vector<std::string> f = splitFields(line);
        if (f.size() != 2) {
            error = "line " + std::to_string(number) + ": expected 'key value'";
            return false;
        }
        if (f[0] == "model") {
            fileModel = f[1];
            continue;
        }
        std::size_t k = 0;
        while (k < keys.size() && keys[k] != f[0])
            ++k;
        if (k == keys.size()) {
            error = "line " + std::to_string(number) + ": unknown key '" + f[0] + "' for model " + model;
            return false;
        }
        if (seen[k]) {
            error = "line " + std::to_string(number) + ": key '" + f[0] + "' given twice";
            return false;
        }
        std::string why;
        if (!parseNumber(f[1], values[k], why)) {
            error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
        seen[k] = true;
    }
    if (fileModel != model) {
        error = fileModel.empty() ? "no 'model' line" : "the file holds model " + fileModel + ", not " + model;
        return false;
    }
    for (std::size_t k = 0; k < keys.size(); ++k) {
        if (!seen[k]) {
            error = "key '" + keys[k] + "' is missing";
            return false;
        }
    }
    out = ParamSet{model, keys, values};
    return true;
}

bool readParamFile(const std::string& path, const std::string& model, ParamSet& out, std::string& error)
{
    std::string text;
    if (!readFile(path, text, error)) {
        error = "parameter file: " + error;
        return false;
    }
    if (!parseParamText(text, model, out, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

std::string formatParamText(const ParamSet& set, const std::string& comment)
{
    std::string out = "# " + comment + "\nmodel " + set.model + "\n";
    for (std::size_t k = 0; k < set.keys.size() && k < set.values.size(); ++k)
        out += fmt::format("{} {:.17g}\n", set.keys[k], set.values[k]);
    return out;
}

} // namespace cli
} // namespace tervala
