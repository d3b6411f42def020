#include "CommonPoints.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <sstream>

#include "Text.h"

namespace tervala {
namespace cli {

namespace {

// The largest a priori standard deviation read, metres.
constexpr double kMaxStandardDeviation = 1000.0;

} // namespace

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
    } else if (model == "helmert15") {
        sourceCount = 3;
        targetCount = 4;  // X' Y' Z' and the epoch
    } else {
        return false;
    }
    return true;
}

std::vector<std::size_t> sigmaColumnCounts(const std::string& model)
{
    if (model == "helmert2d")
        return {1, 2};
    if (model == "height")
        return {1};
    return {1, 2, 6};
}

bool parseCommonPoints(const std::string& text, const std::string& model, std::vector<CommonPoint>& points,
                       std::vector<std::string>& errors, const PointLayout& layout)
{
    std::size_t ns = 0, nt = 0;
    if (!commonPointLayout(model, ns, nt)) {
        errors.push_back("unknown model '" + model + "'");
        return false;
    }
    const bool seven = ns == 3 && nt == 3;
    std::vector<std::string> names;
    if (model == "helmert2d")
        names = {"x", "y", "x'", "y'"};
    else if (model == "height")
        names = {"x", "y", "h", "h'"};
    else if (model == "helmert15")
        names = {"X", "Y", "Z", "X'", "Y'", "Z'", "epoch"};
    else
        names = {layout.geodeticSource ? "latitude" : "X", layout.geodeticSource ? "longitude" : "Y",
                 layout.geodeticSource ? "h" : "Z",        layout.geodeticTarget ? "latitude'" : "X'",
                 layout.geodeticTarget ? "longitude'" : "Y'", layout.geodeticTarget ? "h'" : "Z'"};
    std::string expected = "id";
    for (const std::string& n : names)
        expected += " " + n;
    const std::vector<std::size_t> sigmaCounts = sigmaColumnCounts(model);
    std::string sigmaText;
    for (std::size_t c : sigmaCounts)
        sigmaText += (sigmaText.empty() ? "" : " or ") + std::to_string(1 + ns + nt + c);

    points.clear();
    std::set<std::string> ids;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    std::size_t sigmaColumns = 0;  // of the first point
    const std::size_t before = errors.size();
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (isPassThrough(line))
            continue;
        const std::vector<std::string> f = splitFields(line);
        const std::string where = "line " + std::to_string(number) + ": ";
        const std::size_t extra = f.size() > 1 + ns + nt ? f.size() - 1 - ns - nt : 0;
        if (f.size() < 1 + ns + nt || (extra > 0 && std::find(sigmaCounts.begin(), sigmaCounts.end(), extra) ==
                                                        sigmaCounts.end())) {
            errors.push_back(where + "expected " + std::to_string(1 + ns + nt) + " fields (" + expected + "), or " +
                             sigmaText + " with standard deviations, got " + std::to_string(f.size()));
            continue;
        }
        if (!points.empty() && extra != sigmaColumns) {
            errors.push_back(where + "has " + std::to_string(extra) + " standard deviation columns, line " +
                             std::to_string(points.front().line) + " has " + std::to_string(sigmaColumns) +
                             "; give them for every point in one layout or for none");
            continue;
        }
        CommonPoint p;
        p.id = f[0];
        p.line = number;
        bool ok = true;
        for (std::size_t i = 0; i < ns + nt + extra && ok; ++i) {
            double v = 0;
            std::string why;
            const bool inSource = i < ns;
            const bool geodetic = seven && i < ns + nt && (inSource ? layout.geodeticSource : layout.geodeticTarget);
            const std::size_t axis = inSource ? i : i - ns;
            const std::string name = i < ns + nt ? names[i] : "standard deviation " + std::to_string(i - ns - nt + 1);
            if (geodetic && axis < 2)
                ok = parseAngle(f[1 + i], axis == 0 ? AngleKind::Latitude : AngleKind::Longitude, v, why);
            else
                ok = parseNumber(f[1 + i], v, why);
            if (ok && i >= ns + nt && !(v >= 0)) {
                ok = false;
                why = "must not be negative, got " + f[1 + i];
            }
            // No survey coordinate is known to worse than a kilometre: such a
            // value is a coordinate in a column read as a standard deviation.
            if (ok && i >= ns + nt && v > kMaxStandardDeviation) {
                ok = false;
                why = "a priori standard deviation of " + f[1 + i] + " m is above 1 km";
                if (model == "helmert2d" && f.size() == 7)
                    why += "; the line has the 7 fields of a seven-parameter file (id X Y Z X' Y' Z'): fit it "
                           "with fit bursa-wolf or fit molodensky-badekas";
                else
                    why += "; is a coordinate column read as a standard deviation?";
            }
            if (!ok) {
                errors.push_back(where + name + ": " + why);
                break;
            }
            (i < ns ? p.source : i < ns + nt ? p.target : p.sigma).push_back(v);
        }
        if (!ok)
            continue;
        if (!ids.insert(p.id).second) {
            errors.push_back(where + "point '" + p.id + "' appears twice");
            continue;
        }
        if (points.empty())
            sigmaColumns = extra;
        points.push_back(std::move(p));
    }
    return errors.size() == before;
}

} // namespace cli
} // namespace tervala
