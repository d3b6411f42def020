// Common-point files for `tervala fit`: one point per line, an identifier,
// then the source coordinates, then the target coordinates, separated by
// white space or commas; '#' starts a comment.
//   helmert2d            id x y x' y'
//   height               id x y h h'        (position, source and target height)
//   bursa-wolf, molodensky-badekas   id X Y Z X' Y' Z'
#ifndef TERVALA_TOOLS_CLI_COMMONPOINTS_H
#define TERVALA_TOOLS_CLI_COMMONPOINTS_H

#include <string>
#include <vector>

namespace tervala {
namespace cli {

struct CommonPoint {
    std::string id;
    int line = 0;                // 1-based line number in the file
    std::vector<double> source;  // 2 or 3 values (height model: x, y, h)
    std::vector<double> target;  // 2 or 3 values (height model: h' only)
};

// Numbers of source and target values per line for a model; false for an
// unknown model.
bool commonPointLayout(const std::string& model, std::size_t& sourceCount, std::size_t& targetCount);

// Parses the whole text. Every bad line adds a message naming its line
// number and what was expected; identifiers must be unique. Returns true when
// there was no error.
bool parseCommonPoints(const std::string& text, const std::string& model, std::vector<CommonPoint>& points,
                       std::vector<std::string>& errors);

} // namespace cli
} // namespace tervala

#endif
