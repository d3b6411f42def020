// Transverse Mercator and UTM grids from PROJ strings ("+proj=tmerc
// +lat_0=38 +lon_0=127 +k=1 +x_0=200000 +y_0=600000 +ellps=GRS80",
// "+proj=utm +zone=33 +south +datum=WGS84"), read with PROJ's keys for these
// two projections and PROJ's defaults (GRS80, origin 0, scale 1). Any other
// key is refused by name, so nothing a string asks for is silently dropped;
// keys that do not move a point (+no_defs, +type, +towgs84, ...) are taken
// and not used. The tool's --proj option and the Python from_proj read
// strings through this one reader.
#ifndef TERVALA_MODERN_PROJSTRING_H
#define TERVALA_MODERN_PROJSTRING_H

#include <string>

namespace tervala {
namespace projstring {

// A grid as a PROJ string gives it, in degrees and metres.
struct TmDefinition {
    bool utm = false;         // +proj=utm (zone and south set, the rest implied)
    int zone = 0;             // 1..60 with utm
    bool south = false;
    std::string ellipsoidName;  // +ellps (as given) or the ellipsoid of +datum; "" with +a
    double a = 6378137.0;     // metres
    double inverseFlattening = 298.257222101;
    double lat0 = 0, lon0 = 0, scale = 1, falseEasting = 0, falseNorthing = 0;
};

// Reads a +proj=tmerc string (or, when utmOnly is false, a +proj=utm one,
// which gives the zone's grid) or, when utmOnly, a +proj=utm string. False
// with the reason in `error`, naming the key ("+lat_1 is not supported for
// +proj=tmerc", "+zone=1..60 is needed", ...).
bool parseTm(const std::string& text, bool utmOnly, TmDefinition& out, std::string& error);

} // namespace projstring
} // namespace tervala

#endif
