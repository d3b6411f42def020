#include "projection/Kruger.h"

#include <cmath>

namespace tervala {
namespace {

struct Fraction {
    double numerator;
    double denominator;
};

// Coefficient j (1-based) as a polynomial in n: row j-1 holds the
// coefficients of n^j, n^(j+1), ..., n^8 (from scripts/derive-tm-series).
constexpr Fraction kAlpha[kKrugerOrder][kKrugerOrder] = {
    {{1.0, 2.0}, {-2.0, 3.0}, {5.0, 16.0}, {41.0, 180.0}, {-127.0, 288.0}, {7891.0, 37800.0}, {72161.0, 387072.0}, {-18975107.0, 50803200.0}},
    {{13.0, 48.0}, {-3.0, 5.0}, {557.0, 1440.0}, {281.0, 630.0}, {-1983433.0, 1935360.0}, {13769.0, 28800.0}, {148003883.0, 174182400.0}},
    {{61.0, 240.0}, {-103.0, 140.0}, {15061.0, 26880.0}, {167603.0, 181440.0}, {-67102379.0, 29030400.0}, {79682431.0, 79833600.0}},
    {{49561.0, 161280.0}, {-179.0, 168.0}, {6601661.0, 7257600.0}, {97445.0, 49896.0}, {-40176129013.0, 7664025600.0}},
    {{34729.0, 80640.0}, {-3418889.0, 1995840.0}, {14644087.0, 9123840.0}, {2605413599.0, 622702080.0}},
    {{212378941.0, 319334400.0}, {-30705481.0, 10378368.0}, {175214326799.0, 58118860800.0}},
    {{1522256789.0, 1383782400.0}, {-16759934899.0, 3113510400.0}},
    {{1424729850961.0, 743921418240.0}},
};
constexpr Fraction kBeta[kKrugerOrder][kKrugerOrder] = {
    {{1.0, 2.0}, {-2.0, 3.0}, {37.0, 96.0}, {-1.0, 360.0}, {-81.0, 512.0}, {96199.0, 604800.0}, {-5406467.0, 38707200.0}, {7944359.0, 67737600.0}},
    {{1.0, 48.0}, {1.0, 15.0}, {-437.0, 1440.0}, {46.0, 105.0}, {-1118711.0, 3870720.0}, {51841.0, 1209600.0}, {24749483.0, 348364800.0}},
    {{17.0, 480.0}, {-37.0, 840.0}, {-209.0, 4480.0}, {5569.0, 90720.0}, {9261899.0, 58060800.0}, {-6457463.0, 17740800.0}},
    {{4397.0, 161280.0}, {-11.0, 504.0}, {-830251.0, 7257600.0}, {466511.0, 2494800.0}, {324154477.0, 7664025600.0}},
    {{4583.0, 161280.0}, {-108847.0, 3991680.0}, {-8005831.0, 63866880.0}, {22894433.0, 124540416.0}},
    {{20648693.0, 638668800.0}, {-16363163.0, 518918400.0}, {-2204645983.0, 12915302400.0}},
    {{219941297.0, 5535129600.0}, {-497323811.0, 12454041600.0}},
    {{191773887257.0, 3719607091200.0}},
};
constexpr Fraction kLatitude[kKrugerOrder][kKrugerOrder] = {
    {{2.0, 1.0}, {-2.0, 3.0}, {-2.0, 1.0}, {116.0, 45.0}, {26.0, 45.0}, {-2854.0, 675.0}, {16822.0, 4725.0}, {189416.0, 99225.0}},
    {{7.0, 3.0}, {-8.0, 5.0}, {-227.0, 45.0}, {2704.0, 315.0}, {2323.0, 945.0}, {-31256.0, 1575.0}, {141514.0, 8505.0}},
    {{56.0, 15.0}, {-136.0, 35.0}, {-1262.0, 105.0}, {73814.0, 2835.0}, {98738.0, 14175.0}, {-2363828.0, 31185.0}},
    {{4279.0, 630.0}, {-332.0, 35.0}, {-399572.0, 14175.0}, {11763988.0, 155925.0}, {14416399.0, 935550.0}},
    {{4174.0, 315.0}, {-144838.0, 6237.0}, {-2046082.0, 31185.0}, {258316372.0, 1216215.0}},
    {{601676.0, 22275.0}, {-115444544.0, 2027025.0}, {-2155215124.0, 14189175.0}},
    {{38341552.0, 675675.0}, {-170079376.0, 1216215.0}},
    {{1383243703.0, 11351340.0}},
};

constexpr Fraction kConformal[kKrugerOrder][kKrugerOrder] = {
    {{-2.0, 1.0}, {2.0, 3.0}, {4.0, 3.0}, {-82.0, 45.0}, {32.0, 45.0}, {4642.0, 4725.0}, {-8384.0, 4725.0}, {1514.0, 1323.0}},
    {{5.0, 3.0}, {-16.0, 15.0}, {-13.0, 9.0}, {904.0, 315.0}, {-1522.0, 945.0}, {-2288.0, 1575.0}, {142607.0, 42525.0}},
    {{-26.0, 15.0}, {34.0, 21.0}, {8.0, 5.0}, {-12686.0, 2835.0}, {44644.0, 14175.0}, {120202.0, 51975.0}},
    {{1237.0, 630.0}, {-12.0, 5.0}, {-24832.0, 14175.0}, {1077964.0, 155925.0}, {-1097407.0, 187110.0}},
    {{-734.0, 315.0}, {109598.0, 31185.0}, {1040.0, 567.0}, {-12870194.0, 1216215.0}},
    {{444337.0, 155925.0}, {-941912.0, 184275.0}, {-126463.0, 72765.0}},
    {{-2405834.0, 675675.0}, {3463678.0, 467775.0}},
    {{256663081.0, 56756700.0}},
};

// n^j times the row's polynomial, by Horner's rule from the highest power.
double coefficient(const Fraction (&row)[kKrugerOrder], int j, double n)
{
    double sum = 0;
    for (int k = kKrugerOrder - j; k >= 0; --k)
        sum = sum * n + row[k].numerator / row[k].denominator;
    return sum * std::pow(n, j);
}

// sum_j c_j sin(j theta) and sum_j 2 j c_j cos(j theta), j = 1..8, for the
// complex angle theta given by cos theta = cr + i ci and sin theta = sr + i si
// (Clenshaw's recurrence in complex arithmetic written out in reals).
struct ComplexSums {
    double sinRe, sinIm;  // the sine sum
    double cosRe, cosIm;  // the weighted cosine sum (the derivative)
};

template <bool withDerivative, int order = kKrugerOrder>
ComplexSums clenshaw(const double (&c)[kKrugerOrder], double cr, double ci, double sr, double si)
{
    // b_j = c_j + 2 cos(theta) b_{j+1} - b_{j+2}; the sine sum is
    // b_1 sin(theta), the cosine sum d_1 cos(theta) - d_2.
    const double tr = 2 * cr, ti = 2 * ci;
    double b1r = 0, b1i = 0, b2r = 0, b2i = 0;
    double d1r = 0, d1i = 0, d2r = 0, d2i = 0;
    for (int j = order; j >= 1; --j) {
        const double br = c[j - 1] + (tr * b1r - ti * b1i) - b2r;
        const double bi = (tr * b1i + ti * b1r) - b2i;
        b2r = b1r, b2i = b1i, b1r = br, b1i = bi;
        if (withDerivative) {
            const double dr = 2 * j * c[j - 1] + (tr * d1r - ti * d1i) - d2r;
            const double di = (tr * d1i + ti * d1r) - d2i;
            d2r = d1r, d2i = d1i, d1r = dr, d1i = di;
        }
    }
    ComplexSums r;
    r.sinRe = b1r * sr - b1i * si;
    r.sinIm = b1r * si + b1i * sr;
    r.cosRe = withDerivative ? (d1r * cr - d1i * ci) - d2r : 0.0;
    r.cosIm = withDerivative ? (d1r * ci + d1i * cr) - d2i : 0.0;
    return r;
}

// The latitude series (phi - chi and chi - phi) are summed to n^6: their
// n^7 terms are below 3e-18 rad (2e-11 m) on any terrestrial ellipsoid.
constexpr int kRealOrder = 6;

// Near the central meridian the complex sums stop at n^6: for |eta| below
// kShortSum (about 2500 km) the n^7 term, growing as sinh(14 eta), stays
// below 1e-17 rad (0.06 nm); farther out all eight terms are summed.
constexpr int kShortOrder = 6;
constexpr double kShortSum = 0.4;

// sum_j c_j sin(2 j x) for real x given sin 2x and cos 2x, as b_1 sin 2x;
// returns b_1 so that a caller can divide the sum by a factor of sin 2x
// without losing it.
double clenshawRealFactor(const double (&c)[kKrugerOrder], double c2)
{
    const double t = 2 * c2;
    double b1 = 0, b2 = 0;
    for (int j = kRealOrder; j >= 1; --j) {
        const double b = c[j - 1] + t * b1 - b2;
        b2 = b1, b1 = b;
    }
    return b1;
}

// sin, cos, sinh and cosh of the small corrections the series add (below
// 0.01 rad inside the domain): Taylor polynomials whose first neglected
// term is below 1e-23 there; larger arguments take the library functions.
constexpr double kSmall = 0.02;

void smallSinCos(double x, double& s, double& c)
{
    if (std::fabs(x) > kSmall) {
        s = std::sin(x), c = std::cos(x);
        return;
    }
    const double x2 = x * x;
    s = x * (1 - x2 / 6 * (1 - x2 / 20 * (1 - x2 / 42 * (1 - x2 / 72))));
    c = 1 - x2 / 2 * (1 - x2 / 12 * (1 - x2 / 30 * (1 - x2 / 56 * (1 - x2 / 90))));
}

void smallSinhCosh(double x, double& s, double& c)
{
    if (std::fabs(x) > kSmall) {
        s = std::sinh(x), c = std::cosh(x);
        return;
    }
    const double x2 = x * x;
    s = x * (1 + x2 / 6 * (1 + x2 / 20 * (1 + x2 / 42 * (1 + x2 / 72))));
    c = 1 + x2 / 2 * (1 + x2 / 12 * (1 + x2 / 30 * (1 + x2 / 56 * (1 + x2 / 90))));
}

} // namespace

KrugerSeries makeKrugerSeries(double a, double f)
{
    KrugerSeries s;
    s.a = a;
    s.e2 = f * (2 - f);
    s.e = std::sqrt(s.e2);
    s.n = f / (2 - f);
    const double n = s.n, n2 = n * n;
    // A (1 + n) / a = 1 + n^2/4 + n^4/64 + n^6/256 + 25 n^8/16384.
    s.rectifyingRadius = a / (1 + n) * (1 + n2 * (1.0 / 4 + n2 * (1.0 / 64 + n2 * (1.0 / 256 + n2 * (25.0 / 16384)))));
    for (int j = 1; j <= kKrugerOrder; ++j) {
        s.alpha[j - 1] = coefficient(kAlpha[j - 1], j, n);
        s.beta[j - 1] = coefficient(kBeta[j - 1], j, n);
        s.latitude[j - 1] = coefficient(kLatitude[j - 1], j, n);
        s.conformal[j - 1] = coefficient(kConformal[j - 1], j, n);
    }
    return s;
}

KrugerPoint krugerForward(const KrugerSeries& s, double phi, double l, bool withScale)
{
    const double sphi = std::sin(phi), cphi = std::cos(phi);
    const double slam = std::sin(l), clam = std::cos(l);
    // Conformal latitude chi = phi + delta, delta = b sin 2phi by the sine
    // series; its sine and cosine from those of phi and of the small delta.
    // cos chi is kept as cos phi times a factor, so that the ratio the
    // scale needs stays exact at the poles.
    const double b = clenshawRealFactor(s.conformal, (cphi - sphi) * (cphi + sphi));
    const double delta = b * 2 * sphi * cphi;
    double sd, cd;
    smallSinCos(delta, sd, cd);
    const double sincDelta = delta == 0 ? 1.0 : sd / delta;
    const double schi = sphi * cd + cphi * sd;
    const double cosRatio = cd - sphi * sincDelta * b * 2 * sphi;  // cos chi / cos phi
    const double cchi = cphi * cosRatio;
    // Spherical Transverse Mercator of (chi, l): xi' = atan2(sin chi,
    // cos chi cos l), tanh eta' = cos chi sin l; R^2 = 1 - (cos chi sin l)^2.
    const double R = std::sqrt(schi * schi + (cchi * clam) * (cchi * clam));  // both below 1: no overflow
    const double xip = std::atan2(schi, cchi * clam);
    const double th = cchi * slam;
    const double etap = 0.5 * std::log1p(2 * th / (1 - th));  // atanh
    // sin, cos of 2 xi' and sinh, cosh of 2 eta' from the same quantities.
    const double sx = schi / R, cx = cchi * clam / R, sh = th / R, ch = 1 / R;
    const double s2 = 2 * sx * cx, c2 = (cx - sx) * (cx + sx);
    const double sh2 = 2 * sh * ch, ch2 = ch * ch + sh * sh;
    // theta = 2 zeta': cos theta = c2 ch2 - i s2 sh2, sin theta = s2 ch2 + i c2 sh2.
    const double cr = c2 * ch2, ci = -s2 * sh2, sr = s2 * ch2, si = c2 * sh2;
    KrugerPoint p;
    const double A = s.rectifyingRadius;
    if (!withScale) {
        const ComplexSums z = std::fabs(etap) < kShortSum ? clenshaw<false, kShortOrder>(s.alpha, cr, ci, sr, si)
                                                          : clenshaw<false>(s.alpha, cr, ci, sr, si);
        p.y = A * (xip + z.sinRe);
        p.x = A * (etap + z.sinIm);
        p.convergence = p.scale = std::nan("");
        return p;
    }
    // The same number of terms as without the scale, so that both give the
    // same coordinates bit for bit.
    const ComplexSums z = std::fabs(etap) < kShortSum ? clenshaw<true, kShortOrder>(s.alpha, cr, ci, sr, si)
                                                      : clenshaw<true>(s.alpha, cr, ci, sr, si);
    p.y = A * (xip + z.sinRe);
    p.x = A * (etap + z.sinIm);
    // d zeta / d zeta' = 1 + the weighted cosine sum = pr - i qr.
    const double pr = 1 + z.cosRe, qr = -z.cosIm;
    // Convergence of the sphere, atan(tan xi' tanh eta') = atan2(sin chi sin
    // l, cos l), plus the rotation of the series.
    p.convergence = std::atan2(schi * slam, clam) + std::atan2(qr, pr);
    // Scale of the conformal sphere, sqrt(1 - e^2 sin^2 phi) cos chi /
    // (cos phi R), times that of the series, (A / a) |dzeta/dzeta'|.
    p.scale = std::sqrt(1 - s.e2 * sphi * sphi) * cosRatio / R * (A / s.a) * std::sqrt(pr * pr + qr * qr);
    return p;
}

KrugerLatLon krugerInverse(const KrugerSeries& s, double x, double y)
{
    const double xi = y / s.rectifyingRadius, eta = x / s.rectifyingRadius;
    const double s1 = std::sin(xi), c1 = std::cos(xi);
    const double em = std::expm1(eta);  // sinh and cosh without cancellation near 0
    const double sh1 = em * (em + 2) / (2 * (em + 1)), ch1 = sh1 + 1 / (em + 1);
    const double s2 = 2 * s1 * c1, c2 = (c1 - s1) * (c1 + s1);
    const double sh2 = 2 * sh1 * ch1, ch2 = ch1 * ch1 + sh1 * sh1;
    const double cr = c2 * ch2, ci = -s2 * sh2, sr = s2 * ch2, si = c2 * sh2;
    const ComplexSums z = std::fabs(eta) < kShortSum ? clenshaw<false, kShortOrder>(s.beta, cr, ci, sr, si)
                                                     : clenshaw<false>(s.beta, cr, ci, sr, si);
    // zeta' = zeta - (dxi + i deta): the functions of xi' and eta' from
    // those of xi and eta and of the small corrections.
    double sdx, cdx, shd, chd;
    smallSinCos(z.sinRe, sdx, cdx);
    smallSinhCosh(z.sinIm, shd, chd);
    const double sxi = s1 * cdx - c1 * sdx, cxi = c1 * cdx + s1 * sdx;
    const double shEta = sh1 * chd - ch1 * shd;
    // Spherical inverse: chi and l from zeta'.
    const double q = std::sqrt(shEta * shEta + cxi * cxi);
    const double l = std::atan2(shEta, cxi);
    const double chi = std::atan2(sxi, q);
    // sin 2chi, cos 2chi: sin chi = sxi / cosh eta', cos chi = q / cosh eta',
    // and sxi^2 + q^2 = cosh^2 eta'.
    const double ch2e = sxi * sxi + q * q;
    const double s2chi = 2 * sxi * q / ch2e, c2chi = (q - sxi) * (q + sxi) / ch2e;
    return KrugerLatLon{chi + clenshawRealFactor(s.latitude, c2chi) * s2chi, l};
}

} // namespace tervala
