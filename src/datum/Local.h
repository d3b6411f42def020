// The two local site transformations of plane survey coordinates: the
// four-parameter 2D Helmert (similarity) transformation about an origin, and
// the inclined-plane height transformation.
#ifndef TERVALA_DATUM_LOCAL_H
#define TERVALA_DATUM_LOCAL_H

namespace tervala {

struct PlanePoint {
    double first;   // first coordinate
    double second;  // second coordinate
};

// 2D Helmert parameters in their stored order (m_2DHelmertParameters): the
// translation of the SECOND coordinate comes first.
struct Helmert2DParameters {
    double t2;        // translation added to the second coordinate, metres
    double t1;        // translation added to the first coordinate, metres
    double scale;     // scale correction, ppm
    double rotation;  // arc-seconds, turning the first axis toward the second

    static Helmert2DParameters fromArray(const double (&p)[4]) { return {p[0], p[1], p[2], p[3]}; }
};

// The transformation with its factor m = 1 + scale 1e-6 and the cosine c and
// sine s of the rotation already formed; every 2D Helmert evaluation ends here.
inline PlanePoint helmert2DApply(double m, double c, double s, double t1, double t2, double x0, double y0, double x,
                                 double y)
{
    const double dx = x - x0, dy = y - y0;
    return PlanePoint{m * (c * dx - s * dy) + t1 + x0, m * (s * dx + c * dy) + t2 + y0};
}

// (x, y) about (x0, y0):
//   x' = m (cos t dx - sin t dy) + t1 + x0,  y' = m (sin t dx + cos t dy) + t2 + y0.
PlanePoint helmert2D(const Helmert2DParameters& p, double x0, double y0, double x, double y);

// Height plane: slope1 along the first coordinate, slope2 along the second,
// shift in metres (the layout of m_HeightParameters).
struct HeightPlaneParameters {
    double slope1;
    double slope2;
    double shift;
};

// h + slope1 (x - x0) + slope2 (y - y0) + shift.
inline double heightTransform(const HeightPlaneParameters& q, double x0, double y0, double x, double y, double h)
{
    return q.slope1 * (x - x0) + q.slope2 * (y - y0) + q.shift + h;
}

} // namespace tervala

#endif
