#include "Ellipsoids.h"

#include <cctype>

#include "Text.h"

namespace tervala {
namespace cli {
namespace {

std::string canonical(const std::string& s)
{
    std::string out;
    for (char c : s)
        if (std::isalnum(static_cast<unsigned char>(c)))
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

} // namespace

const std::vector<NamedEllipsoid>& knownEllipsoids()
{
    // Defining constants as published for each ellipsoid.
    static const std::vector<NamedEllipsoid> list = {
        {"WGS84", 6378137.0, 298.257223563},
        {"GRS80", 6378137.0, 298.257222101},
        {"Bessel1841", 6377397.155, 299.1528128},
        {"Clarke1866", 6378206.4, 294.9786982},
        {"International1924", 6378388.0, 297.0},
        {"Krassovsky1940", 6378245.0, 298.3},
        {"Airy1830", 6377563.396, 299.3249646},
    };
    return list;
}

bool resolveEllipsoid(const std::string& text, NamedEllipsoid& out, std::string& error)
{
    if (text.find(',') != std::string::npos) {
        std::vector<double> v;
        if (!parseNumberList(text, 2, v, error)) {
            error = "ellipsoid '" + text + "': " + error + " (a,1/f)";
            return false;
        }
        if (!(v[0] > 0)) {
            error = "ellipsoid '" + text + "': the semi-major axis must be positive";
            return false;
        }
        if (!(v[1] > 1)) {
            error = "ellipsoid '" + text + "': the inverse flattening must exceed 1";
            return false;
        }
        out = NamedEllipsoid{"custom", v[0], v[1]};
        return true;
    }
    const std::string key = canonical(text);
    for (const NamedEllipsoid& e : knownEllipsoids()) {
        const std::string name = canonical(e.name);
        // Also accept the name without its year ("bessel", "hayford" aside).
        std::string stem = name;
        while (!stem.empty() && std::isdigit(static_cast<unsigned char>(stem.back())))
            stem.pop_back();
        if (key == name || key == stem) {
            out = e;
            return true;
        }
    }
    if (key == "hayford") {
        out = knownEllipsoids()[4];
        return true;
    }
    error = "unknown ellipsoid '" + text + "'; known: WGS84, GRS80, Bessel1841, Clarke1866, International1924, "
            "Krassovsky1940, Airy1830, or a,1/f";
    return false;
}

} // namespace cli
} // namespace tervala
