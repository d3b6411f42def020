// UTM zone fields as the tool writes and reads them: the zone number with
// its latitude band letter (52S is 32..40 N), or with the hemisphere spelled
// out (52north, 52south); the polar grids as north and south.
#ifndef TERVALA_TOOLS_CLI_ZONES_H
#define TERVALA_TOOLS_CLI_ZONES_H

#include <string>

namespace tervala {
namespace cli {

// The zone field of a point: "52S" when the band of `latitude` lies in the
// hemisphere whose false northing was used, else "52north" / "52south" (a
// hemisphere forced against the point's latitude); zone 0 is UPS and gives
// "north" or "south".
std::string zoneLabel(int zone, bool south, double latitude);

// A zone field read: zone 0 for a polar grid; band 0 when the hemisphere was
// spelled out.
struct ZoneField {
    int zone = 0;
    bool south = false;
    char band = 0;
};

// Reads "52S" (band letters C..X without I and O, any case), "52north",
// "52south" and, when `pole` is true, "north" / "south" for the polar grids.
bool parseZone(const std::string& field, bool pole, ZoneField& out, std::string& error);

// Whether `field` looks like a zone field (digits, then letters; or a pole
// word when `pole`), so that it is not taken for a point identifier.
bool looksLikeZone(const std::string& field, bool pole);

// False with a message when `latitude` lies more than 1e-5 degrees (about
// 1 m) outside the band of `zone` (a band letter that contradicts the
// northing).
bool bandAgrees(const ZoneField& zone, const std::string& field, double latitude, std::string& error);

} // namespace cli
} // namespace tervala

#endif
