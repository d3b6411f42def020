// NTv2 horizontal shift grids: the binary file read into memory, the choice
// of the subgrid for a point and the bilinear interpolation of its shifts.
//
// Angles inside are arc-seconds with longitude positive west, as the file
// stores them; the conversion to degrees east happens at the edge
// (modern/GridShift.cpp).
#ifndef TERVALA_DATUM_NTV2_H
#define TERVALA_DATUM_NTV2_H

#include <string>
#include <vector>

#include "platform/Files.h"

namespace tervala {
namespace ntv2 {

struct Subgrid {
    std::string name;
    std::string parent;  // "NONE" for a top-level grid
    // Extent and spacing, arc-seconds; longitudes positive west, so east < west.
    double south = 0, north = 0, east = 0, west = 0, latStep = 0, lonStep = 0;
    int rows = 0, columns = 0;
    // Per node, row by row from the south, each row from the east edge
    // westward: latitude shift and longitude shift (positive west),
    // arc-seconds.
    std::vector<float> shifts;
    std::vector<int> children;  // indices of the subgrids whose parent this is
};

struct Grid {
    std::vector<Subgrid> subgrids;  // in file order
    std::vector<int> roots;         // the top-level subgrids, in file order
    bool bigEndian = false;
    std::string sourceSystem, targetSystem;  // SYSTEM_F and SYSTEM_T, trailing blanks removed
};

// Reads and checks the whole file; on failure `grid` is left unchanged and the
// status says why (truncated, a header that cannot describe a grid, counts
// that disagree, non-finite shifts, unknown or circular parents).
platform::LoadStatus load(const std::string& path, Grid& grid);

// The finest subgrid containing the point (latitude, longitude positive west,
// arc-seconds; edges included, widened by 1e-9 degrees for decimal input):
// the first top-level grid containing it,
// then, as long as one does, the first of its children containing it.
// A longitude outside every top-level grid is tried once more a whole turn
// away (so 180 W finds a grid whose edge is 180 E). A point outside every
// top-level grid but within `reach` (arc-seconds, in latitude and in
// longitude) of one is moved onto its nearest edge. `latitude` and
// `westLongitude` are left as the subgrid holds them. -1 when no grid
// contains the point.
int subgridAt(const Grid& grid, double& latitude, double& westLongitude, double reach = 0.0);

// The shifts at a point inside `g` interpolated bilinearly
// (arc-seconds; the longitude shift positive west).
void interpolate(const Subgrid& g, double latitude, double westLongitude, double& latShift, double& westLonShift);

} // namespace ntv2
} // namespace tervala

#endif
