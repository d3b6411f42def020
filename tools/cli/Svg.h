// The residual plot of `tervala fit --plot`: every point at its horizontal
// position with its horizontal residual drawn as an arrow at an exaggerated
// scale, a scale bar for the residuals and one for the positions, the axes
// named after the model's coordinates, and the points whose observations fail
// the w-test drawn in red. The picture surveyors look at to find a blunder.
#ifndef TERVALA_TOOLS_CLI_SVG_H
#define TERVALA_TOOLS_CLI_SVG_H

#include <limits>
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
    bool flagged;  // an observation of the point fails the w-test
    // The point's error ellipse, drawn at the residuals' exaggeration where
    // the fit gives one (NaN: none): semi-axes in metres, the major axis'
    // azimuth in degrees clockwise from the vertical axis of the plot.
    double semiMajor = std::numeric_limits<double>::quiet_NaN();
    double semiMinor = std::numeric_limits<double>::quiet_NaN();
    double azimuth = std::numeric_limits<double>::quiet_NaN();
};

// What the horizontal and vertical axes of a plot are, e.g. "east" and
// "north", or "second coordinate y" and "first coordinate x".
struct PlotAxes {
    std::string horizontal;
    std::string vertical;
};

// An SVG document. `title` goes on top.
// Text for XML and HTML: & < > " as entities, control characters as '?'.
std::string xmlEscape(const std::string& s);

std::string residualPlot(const std::vector<PlotPoint>& points, const std::string& title, const PlotAxes& axes);

// The "nice" length (1, 2 or 5 times a power of ten) nearest below `value`.
double niceLength(double value);

} // namespace cli
} // namespace tervala

#endif
