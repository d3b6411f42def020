// The seven-parameter similarity transformation of geocentric coordinates:
// the rotation matrix built from the three rotations, and the Bursa-Wolf and
// Molodensky-Badekas models with their inverses.
//
// Parameter order and units, everywhere in the library: tx, ty, tz (metres),
// scale correction s (ppm), rx, ry, rz (arc-seconds). Rotations follow the
// coordinate frame convention (positive angles turn the axes, not the point)
// and are applied as the exact product R3(rz) R2(ry) R1(rx), with no
// small-angle approximation. The scaled, rotated vector comes first and the
// translation is added last.
//
// This header is the only place the rotation matrix is built: the datum
// transformations and the seven-parameter estimators all take it from here.
#ifndef TERVALA_DATUM_SEVENPARAMETER_H
#define TERVALA_DATUM_SEVENPARAMETER_H

#include <cmath>

#include "core/Angles.h"
#include "core/Ellipsoid.h"

namespace tervala {

// The seven parameters in their stored order (the layout of m_SevenParameters).
struct SevenParameters {
    double tx, ty, tz;  // metres
    double s;           // scale correction, ppm
    double rx, ry, rz;  // arc-seconds

    static SevenParameters fromArray(const double (&p)[7]) { return {p[0], p[1], p[2], p[3], p[4], p[5], p[6]}; }
};

// R = R3(c) R2(b) R1(a) for a = rx, b = ry, c = rz in radians, with
//   R1(a) = [[1, 0, 0], [0, ca, sa], [0, -sa, ca]]
//   R2(b) = [[cb, 0, -sb], [0, 1, 0], [sb, 0, cb]]
//   R3(c) = [[cc, sc, 0], [-sc, cc, 0], [0, 0, 1]].
// The sines and cosines are kept because the estimators' derivative with
// respect to ry is written with them.
struct SevenParameterRotation {
    double sa, ca, sb, cb, sc, cc;
    double r[3][3];  // r[i][j] is R(i + 1, j + 1)

    // q = R x, each row summed left to right.
    Vec3 apply(double x1, double x2, double x3) const
    {
        return Vec3{r[0][0] * x1 + r[0][1] * x2 + r[0][2] * x3, r[1][0] * x1 + r[1][1] * x2 + r[1][2] * x3,
                    r[2][0] * x1 + r[2][1] * x2 + r[2][2] * x3};
    }
};

// Builds R from the three rotations given in arc-seconds.
inline SevenParameterRotation sevenParameterRotation(double rxArcseconds, double ryArcseconds, double rzArcseconds)
{
    const double a = angles::arcsecondsToRadians(rxArcseconds);
    const double b = angles::arcsecondsToRadians(ryArcseconds);
    const double c = angles::arcsecondsToRadians(rzArcseconds);
    SevenParameterRotation R;
    R.sa = std::sin(a);
    R.ca = std::cos(a);
    R.sb = std::sin(b);
    R.cb = std::cos(b);
    R.sc = std::sin(c);
    R.cc = std::cos(c);
    const double sa = R.sa, ca = R.ca, sb = R.sb, cb = R.cb, sc = R.sc, cc = R.cc;
    R.r[0][0] = cc * cb;
    R.r[0][1] = cc * sb * sa + sc * ca;
    R.r[0][2] = sc * sa - cc * sb * ca;
    R.r[1][0] = -sc * cb;
    R.r[1][1] = cc * ca - sc * sb * sa;
    R.r[1][2] = sc * sb * ca + cc * sa;
    R.r[2][0] = sb;
    R.r[2][1] = -cb * sa;
    R.r[2][2] = cb * ca;
    return R;
}

// The small-angle (linearised) form of R for the same rotations:
//   R = [[1, c, -b], [-c, 1, a], [b, -a, 1]]
// (a, b, c = rx, ry, rz in radians), the matrix of EPSG's Helmert methods
// and of PROJ without +exact. Not orthogonal: its inverse is taken as a
// general matrix like the exact one's. The sines and cosines are those of
// the angles, for callers that look at them.
inline SevenParameterRotation sevenParameterSmallAngleRotation(double rxArcseconds, double ryArcseconds,
                                                               double rzArcseconds)
{
    SevenParameterRotation R = sevenParameterRotation(rxArcseconds, ryArcseconds, rzArcseconds);
    const double a = angles::arcsecondsToRadians(rxArcseconds);
    const double b = angles::arcsecondsToRadians(ryArcseconds);
    const double c = angles::arcsecondsToRadians(rzArcseconds);
    const double r[3][3] = {{1.0, c, -b}, {-c, 1.0, a}, {b, -a, 1.0}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            R.r[i][j] = r[i][j];
    return R;
}

// m R d + t: the rotated vector scaled first and the translation added last.
// Every seven-parameter forward transformation goes through this.
inline Vec3 scaleRotateTranslate(const double (&r)[3][3], double m, const Vec3& t, const Vec3& d)
{
    const double q0 = r[0][0] * d.x + r[0][1] * d.y + r[0][2] * d.z;
    const double q1 = r[1][0] * d.x + r[1][1] * d.y + r[1][2] * d.z;
    const double q2 = r[2][0] * d.x + r[2][1] * d.y + r[2][2] * d.z;
    return Vec3{m * q0 + t.x, m * q1 + t.y, m * q2 + t.z};
}

// Numbra's inverse (LU with partial pivoting) of R, as a general matrix.
void invertRotation(const SevenParameterRotation& R, double (&inverse)[3][3]);

// Inv(R) v, each row summed from 0 in column order as Numbra's product sums
// it, so the doubles are those of Inv(R) * v evaluated with Numbra.
inline Vec3 applyInverseRotation(const double (&inverse)[3][3], const Vec3& v)
{
    double u[3];
    for (int i = 0; i < 3; ++i) {
        double sum = 0.0;
        sum += inverse[i][0] * v.x;
        sum += inverse[i][1] * v.y;
        sum += inverse[i][2] * v.z;
        u[i] = sum;
    }
    return Vec3{u[0], u[1], u[2]};
}

// Bursa-Wolf: X' = m R X + t, m = 1 + s 1e-6.
Vec3 bursaWolfForward(const SevenParameters& p, const Vec3& x);

// The exact algebraic inverse of bursaWolfForward: Inv(R) ((X' - t) / m),
// with R inverted as a general matrix by Numbra (LU with partial pivoting),
// not transposed. m = 0 (s = -1e6 ppm) gives IEEE infinities or NaN.
Vec3 bursaWolfInverse(const SevenParameters& p, const Vec3& x);

// Molodensky-Badekas: X' = m R (X - X0) + t + X0, rotation and scale about
// the origin X0.
Vec3 molodenskyBadekasForward(const SevenParameters& p, const Vec3& origin, const Vec3& x);

// The exact inverse of molodenskyBadekasForward:
// Inv(R) (((X' - X0) - t) / m) + X0. The origin is added back, so the result
// is a point in the source system, like bursaWolfInverse's.
Vec3 molodenskyBadekasInverse(const SevenParameters& p, const Vec3& origin, const Vec3& x);

} // namespace tervala

#endif
