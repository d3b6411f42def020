#include "Ellipsoids.h"

#include <stdexcept>
#include <vector>

#include "Text.h"

namespace tervala {
namespace cli {

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
        if (!(v[1] > 1 || v[1] == 0)) {
            error = "ellipsoid '" + text + "': the inverse flattening must exceed 1 (or be 0 for a sphere)";
            return false;
        }
        out = NamedEllipsoid{v[1] == 0 ? "sphere" : "custom", v[0], v[1]};
        return true;
    }
    try {
        const Ellipsoid e(text);
        for (const NamedEllipsoid& named : Ellipsoid::known())
            if (named.a == e.a() && named.inverseFlattening == e.inverseFlattening())
                out = named;
        return true;
    } catch (const std::invalid_argument&) {
        std::string list;
        for (const NamedEllipsoid& named : Ellipsoid::known())
            list += std::string(list.empty() ? "" : ", ") + named.name;
        error = "unknown ellipsoid '" + text + "'; known: " + list + " (or PROJ's short names such as intl, clrk66, "
                "krass), or a,1/f";
        return false;
    }
}

} // namespace cli
} // namespace tervala
