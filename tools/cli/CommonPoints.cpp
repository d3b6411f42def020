#include "CommonPoints.h"

#include <set>
#include <sstream>

#include "Text.h"

namespace tervala {
namespace cli {

bool commonPointLayout(const std::string& model, std::size_t& sourceCount, std::size_t& targetCount)
{
    if (model == "helmert2d") {
        sourceCount = 2;
        targetCount = 2;
    } else if (model == "height") {
        sourceCount = 3;
        targetCount = 1;
    } else if (model == "bursa-wolf" || model == "molodensky-badekas") {
        sourceCount = 3;
        targetCount = 3;
    } else {
        return false;
    }
    return true;
}

bool parseCommonPoints(const std::string& text, const std::string& model, std::vector<CommonPoint>& points,
                       std::vector<std::string>& errors)
{
    std::size_t ns = 0, nt = 0;
    if (!commonPointLayout(model, ns, nt)) {
        errors.push_back("unknown model '" + model + "'");
        return false;
    }
    static const char* kNames[][2][3] = {
        {{"x", "y", ""}, {"x'", "y'", ""}},
        {{"x", "y", "h"}, {"h'", "", ""}},
        {{"X", "Y", "Z"}, {"X'", "Y'", "Z'"}},
    };
    const int layout = model == "helmert2d" ? 0 : model == "height" ? 1 : 2;
    std::string expected = "id";
    for (std::size_t i = 0; i < ns; ++i)
        expected += std::string(" ") + kNames[layout][0][i];
    for (std::size_t i = 0; i < nt; ++i)
        expected += std::string(" ") + kNames[layout][1][i];

    points.clear();
    std::set<std::string> ids;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    const std::size_t before = errors.size();
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (isPassThrough(line))
            continue;
        const std::vector<std::string> f = splitFields(line);
        const std::string where = "line " + std::to_string(number) + ": ";
        if (f.size() != 1 + ns + nt) {
            errors.push_back(where + "expected " + std::to_string(1 + ns + nt) + " fields (" + expected + "), got " +
                             std::to_string(f.size()));
            continue;
        }
        CommonPoint p;
        p.id = f[0];
        p.line = number;
        bool ok = true;
        for (std::size_t i = 0; i < ns + nt && ok; ++i) {
            double v = 0;
            std::string why;
            if (!parseNumber(f[1 + i], v, why)) {
                const char* name = i < ns ? kNames[layout][0][i] : kNames[layout][1][i - ns];
                errors.push_back(where + name + ": " + why);
                ok = false;
                break;
            }
            (i < ns ? p.source : p.target).push_back(v);
        }
        if (!ok)
            continue;
        if (!ids.insert(p.id).second) {
            errors.push_back(where + "point '" + p.id + "' appears twice");
            continue;
        }
        points.push_back(std::move(p));
    }
    return errors.size() == before;
}

} // namespace cli
} // namespace tervala
