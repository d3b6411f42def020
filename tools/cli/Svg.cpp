#include "Svg.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

namespace tervala {
namespace cli {
namespace {


// A length with a unit a surveyor reads at a glance.
std::string lengthLabel(double metres)
{
    if (metres >= 1000)
        return fmt::format("{:g} km", metres / 1000);
    if (metres >= 1)
        return fmt::format("{:g} m", metres);
    if (metres >= 0.01)
        return fmt::format("{:g} cm", metres * 100);
    return fmt::format("{:g} mm", metres * 1000);
}

} // namespace

double niceLength(double value)
{
    if (!(value > 0) || !std::isfinite(value))
        return 1.0;
    int e = static_cast<int>(std::floor(std::log10(value)));
    if (e < -300 || e > 300) {
        const double power = std::pow(10.0, e);
        const double m = value / power;
        return (m >= 5 ? 5 : m >= 2 ? 2 : 1) * power;
    }
    // Powers of ten by multiplication (exact up to 1e22) and a division for
    // the negative decades, so 0.02 is the double nearest 0.02 whatever the
    // maths library's pow and log10 give in their last bits (MinGW's differ
    // from glibc's). log10 may also land one decade off next to a power.
    const auto tenTo = [](int k) {
        double p = 1;
        for (int i = 0; i < k; ++i)
            p *= 10;
        return p;
    };
    double m = e >= 0 ? value / tenTo(e) : value * tenTo(-e);
    if (m < 1) {
        --e;
        m *= 10;
    } else if (m >= 10) {
        ++e;
        m /= 10;
    }
    const double digit = m >= 5 ? 5 : m >= 2 ? 2 : 1;
    return e >= 0 ? digit * tenTo(e) : digit / tenTo(-e);
}

std::string residualPlot(const std::vector<PlotPoint>& points, const std::string& title, const PlotAxes& axes)
{
    const double width = 800, height = 800, margin = 90;
    double minE = 0, maxE = 0, minN = 0, maxN = 0, maxResidual = 0;
    bool first = true;
    for (const PlotPoint& p : points) {
        if (!std::isfinite(p.east) || !std::isfinite(p.north))
            continue;
        if (first) {
            minE = maxE = p.east;
            minN = maxN = p.north;
            first = false;
        }
        minE = std::min(minE, p.east);
        maxE = std::max(maxE, p.east);
        minN = std::min(minN, p.north);
        maxN = std::max(maxN, p.north);
        const double r = std::hypot(p.dEast, p.dNorth);
        if (std::isfinite(r))
            maxResidual = std::max(maxResidual, r);
        if (std::isfinite(p.semiMajor))
            maxResidual = std::max(maxResidual, p.semiMajor);
    }
    double span = std::max(maxE - minE, maxN - minN);
    if (!(span > 0))
        span = 1;
    const double scale = (std::min(width, height) - 2 * margin) / span;  // pixels per metre of position
    const double cx = (minE + maxE) / 2, cy = (minN + maxN) / 2;
    auto px = [&](double e) { return width / 2 + (e - cx) * scale; };
    auto py = [&](double n) { return height / 2 - (n - cy) * scale; };
    // Residuals are exaggerated so that the largest is about 12 % of the plot.
    const double residualPixels = 0.12 * (std::min(width, height) - 2 * margin);
    const double exaggeration = maxResidual > 0 ? residualPixels / maxResidual : 1.0;

    std::string svg = fmt::format(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{0}\" height=\"{1}\" viewBox=\"0 0 {0} {1}\" "
        "font-family=\"sans-serif\" font-size=\"12\">\n"
        "<defs><marker id=\"head\" markerWidth=\"8\" markerHeight=\"8\" refX=\"7\" refY=\"4\" orient=\"auto\">"
        "<path d=\"M0,0 L8,4 L0,8 z\" fill=\"#1f4e9c\"/></marker>"
        "<marker id=\"headFlag\" markerWidth=\"8\" markerHeight=\"8\" refX=\"7\" refY=\"4\" orient=\"auto\">"
        "<path d=\"M0,0 L8,4 L0,8 z\" fill=\"#c0392b\"/></marker></defs>\n"
        "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n"
        "<text x=\"{2}\" y=\"30\" font-size=\"16\">{3}</text>\n",
        width, height, margin / 2, xmlEscape(title));
    for (const PlotPoint& p : points) {
        if (!std::isfinite(p.east) || !std::isfinite(p.north))
            continue;
        const double x = px(p.east), y = py(p.north);
        const double dx = std::isfinite(p.dEast) ? p.dEast * exaggeration : 0;
        const double dy = std::isfinite(p.dNorth) ? -p.dNorth * exaggeration : 0;
        const char* colour = p.flagged ? "#c0392b" : "#1f4e9c";
        svg += fmt::format("<circle cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"3\" fill=\"#333\"/>\n", x, y);
        // The ellipse's major axis points along (sin az, -cos az) on the
        // page (y grows downwards): a rotation of az - 90 degrees from +x.
        if (std::isfinite(p.semiMajor) && std::isfinite(p.semiMinor) && std::isfinite(p.azimuth))
            svg += fmt::format("<ellipse cx=\"{0:.1f}\" cy=\"{1:.1f}\" rx=\"{2:.2f}\" ry=\"{3:.2f}\" "
                               "transform=\"rotate({4:.2f} {0:.1f} {1:.1f})\" fill=\"none\" stroke=\"#2e8b57\" "
                               "stroke-width=\"1\"/>\n",
                               x, y, p.semiMajor * exaggeration, p.semiMinor * exaggeration, p.azimuth - 90);
        if (std::hypot(dx, dy) >= 0.5)
            svg += fmt::format(
                "<line x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" y2=\"{:.1f}\" stroke=\"{}\" stroke-width=\"{}\" "
                "marker-end=\"url(#{})\"/>\n",
                x, y, x + dx, y + dy, colour, p.flagged ? 2.5 : 1.5, p.flagged ? "headFlag" : "head");
        svg += fmt::format("<text x=\"{:.1f}\" y=\"{:.1f}\" fill=\"{}\">{}{}</text>\n", x + 6, y - 6,
                           p.flagged ? "#c0392b" : "#333", xmlEscape(p.id), p.flagged ? " (w-test failed)" : "");
    }
    // Scale bars: residuals (exaggerated) and positions.
    const double barY = height - margin / 2;
    const double residualBar = niceLength(maxResidual > 0 ? maxResidual : 0.001);
    const double residualBarPixels = residualBar * exaggeration;
    svg += fmt::format("<line x1=\"{0}\" y1=\"{1}\" x2=\"{2:.1f}\" y2=\"{1}\" stroke=\"#1f4e9c\" stroke-width=\"3\"/>\n"
                       "<text x=\"{0}\" y=\"{3}\">residuals: {4}</text>\n",
                       margin / 2, barY, margin / 2 + residualBarPixels, barY - 8, lengthLabel(residualBar));
    const double positionBar = niceLength(span / 4);
    const double positionX = width - margin / 2 - positionBar * scale;
    svg += fmt::format("<line x1=\"{0:.1f}\" y1=\"{1}\" x2=\"{2}\" y2=\"{1}\" stroke=\"#333\" stroke-width=\"3\"/>\n"
                       "<text x=\"{0:.1f}\" y=\"{3}\">positions: {4}</text>\n",
                       positionX, barY, width - margin / 2, barY - 8, lengthLabel(positionBar));
    // Axis names: the horizontal one under the points, the vertical one
    // turned along the left edge, each with the direction it grows in.
    svg += fmt::format("<text x=\"{:.1f}\" y=\"{:.1f}\" text-anchor=\"middle\">{} (m) &#8594;</text>\n", width / 2,
                       height - margin / 2 - 24, xmlEscape(axes.horizontal));
    svg += fmt::format("<text x=\"{0:.1f}\" y=\"{1:.1f}\" text-anchor=\"middle\" transform=\"rotate(-90 {0:.1f} {1:.1f})\">"
                       "{2} (m) &#8594;</text>\n",
                       margin / 4, height / 2, xmlEscape(axes.vertical));
    bool ellipses = false;
    for (const PlotPoint& p : points)
        ellipses = ellipses || std::isfinite(p.semiMajor);
    svg += fmt::format("<text x=\"{}\" y=\"{}\" fill=\"#666\">residuals{} exaggerated {:.3g} times; red: w-test "
                       "failed{}</text>\n",
                       margin / 2, height - 12, ellipses ? " and error ellipses" : "", exaggeration / scale,
                       ellipses ? "; green: error ellipses" : "");
    svg += "</svg>\n";
    return svg;
}

// Text for XML and HTML: markup characters as entities, control characters as '?'.
std::string xmlEscape(const std::string& s)
{
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            out += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
        }
    }
    return out;
}

} // namespace cli
} // namespace tervala
