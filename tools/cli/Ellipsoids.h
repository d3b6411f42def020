// Reference ellipsoids for the tool's --ellipsoid options: a name from the
// library's table (tervala::Ellipsoid::known()) or "a,1/f".
#ifndef TERVALA_TOOLS_CLI_ELLIPSOIDS_H
#define TERVALA_TOOLS_CLI_ELLIPSOIDS_H

#include <string>

#include <tervala/Ellipsoid.hpp>

namespace tervala {
namespace cli {

using tervala::NamedEllipsoid;  // name, a, 1/f

// Looks up a name the way tervala::Ellipsoid(name) does (case, spaces and
// punctuation ignored: "bessel1841", "Bessel 1841", PROJ's "intl" and
// "clrk66", EPSG's "GRS 1980"; the year may be left out) or parses "a,1/f".
// Returns false with a message otherwise.
bool resolveEllipsoid(const std::string& text, NamedEllipsoid& out, std::string& error);

} // namespace cli
} // namespace tervala

#endif
