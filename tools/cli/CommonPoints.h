// Common-point files for `tervala fit`: one point per line, an identifier,
// then the source coordinates, then the target coordinates, then optionally
// a priori standard deviations (metres), separated by white space or commas;
// '#' starts a comment.
//   helmert2d            id x y x' y'        [s | sx' sy']
//   height               id x y h h'         [s]           (of the height difference)
//   bursa-wolf, molodensky-badekas
//                        id X Y Z X' Y' Z'   [s | s s' | sX sY sZ sX' sY' sZ']
//   helmert15            id X Y Z X' Y' Z' epoch  [s | s s' | sX sY sZ sX' sY' sZ']
//                        (the epoch of the target coordinates, decimal years)
// One s applies to every observed coordinate of the point; "s s'" gives the
// source and the target coordinates their own (s = 0: error-free source).
// Either every point carries standard deviations, in the same layout, or none;
// none may exceed 1 km (a coordinate column read as one, such as a 3-D
// file given to helmert2d, is refused naming the line).
// Seven-parameter files may give either coordinate set as latitude, longitude
// (any angle form) and ellipsoidal height instead of X Y Z.
#ifndef TERVALA_TOOLS_CLI_COMMONPOINTS_H
#define TERVALA_TOOLS_CLI_COMMONPOINTS_H

#include <string>
#include <vector>

namespace tervala {
namespace cli {

struct CommonPoint {
    std::string id;
    int line = 0;                // 1-based line number in the file
    std::vector<double> source;  // 2 or 3 values (height model: x, y, h; geodetic: lat, lon, h in degrees)
    std::vector<double> target;  // 2 or 3 values (height model: h' only; helmert15: X' Y' Z' epoch)
    std::vector<double> sigma;   // empty, or the standard deviation columns as written
};

// How the coordinate sets of a seven-parameter file are written.
struct PointLayout {
    bool geodeticSource = false;  // latitude longitude height instead of X Y Z
    bool geodeticTarget = false;
};

// Numbers of source and target values per line for a model; false for an
// unknown model.
bool commonPointLayout(const std::string& model, std::size_t& sourceCount, std::size_t& targetCount);

// The numbers of standard deviation columns a model accepts (besides none).
std::vector<std::size_t> sigmaColumnCounts(const std::string& model);

// Parses the whole text. Every bad line adds a message naming its line
// number and what was expected; identifiers must be unique. Returns true when
// there was no error.
bool parseCommonPoints(const std::string& text, const std::string& model, std::vector<CommonPoint>& points,
                       std::vector<std::string>& errors, const PointLayout& layout = PointLayout());

} // namespace cli
} // namespace tervala

#endif
