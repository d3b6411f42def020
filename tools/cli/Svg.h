// The residual plot of `tervala fit --plot`: every point at its horizontal
// position with its horizontal residual drawn as an arrow at an exaggerated
// scale, a scale bar for the residuals and one for the positions. The picture
// surveyors look at to find a blunder.
#ifndef TERVALA_TOOLS_CLI_SVG_H
#define TERVALA_TOOLS_CLI_SVG_H

#include <string>
#include <vector>

namespace tervala {
namespace cli {

struct PlotPoint {
    std::string id;
    double east;   // position, metres, to the right
    double north;  // position, metres, upwards
    double dEast;  // residual, metres
    double dNorth;
    bool flagged;  // the largest residual
};

// An SVG document. `title` goes on top.
std::string residualPlot(const std::vector<PlotPoint>& points, const std::string& title);

// The "nice" length (1, 2 or 5 times a power of ten) nearest below `value`.
double niceLength(double value);

} // namespace cli
} // namespace tervala

#endif
