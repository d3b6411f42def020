// Reference ellipsoids by name, or given as "a,1/f".
#ifndef TERVALA_TOOLS_CLI_ELLIPSOIDS_H
#define TERVALA_TOOLS_CLI_ELLIPSOIDS_H

#include <string>
#include <vector>

namespace tervala {
namespace cli {

struct NamedEllipsoid {
    const char* name;
    double a;                  // semi-major axis, metres
    double inverseFlattening;  // 1/f
};

const std::vector<NamedEllipsoid>& knownEllipsoids();

// Looks up a name (case, spaces, '-' and '_' ignored: "bessel1841",
// "Bessel 1841") or parses "a,1/f". Returns false with a message otherwise.
bool resolveEllipsoid(const std::string& text, NamedEllipsoid& out, std::string& error);

} // namespace cli
} // namespace tervala

#endif
