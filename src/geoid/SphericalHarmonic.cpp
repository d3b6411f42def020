// EGM96 geoid height by spherical-harmonic synthesis: EGM96GeoidHeight and
// its four step routines RADGRA, LEGFDN, DSCML and HUNDU.
//
// The step routines are the reference evaluation, written on Numbra exactly
// as the computation is defined: Legendre columns order by order, then the
// two series degree by degree. EGM96GeoidHeight computes the same doubles by
// egm96::geoidHeight, which reorganises only the work, never the arithmetic:
//   - the square-root tables are built once per process;
//   - the Legendre functions are produced one degree at a time, all orders of
//     that degree side by side (each order's recurrence is still the same
//     three-term recurrence in the degree, with the same operands), so two
//     rows replace the 65341-entry table and no columns are copied;
//   - the terms of one degree are formed in vectorisable loops, and only the
//     running sums, whose order fixes the result, stay sequential; the sums
//     of four degrees run interleaved, since they do not depend on each other.
// The tests compare both evaluations bit for bit.
#include "geoid/SphericalHarmonic.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/Angles.h"
#include "tervala/Tervala.h"

namespace tervala {
namespace egm96 {
namespace {

constexpr int kRowLength = kMaxDegree + 1;

struct SqrtTables {
    double sq[kSqrtEntries + 1];
    double isq[kSqrtEntries + 1];
    SqrtTables()
    {
        sq[0] = isq[0] = 0.0;
        for (int i = 1; i <= kSqrtEntries; ++i) {
            sq[i] = std::sqrt(static_cast<double>(i));
            isq[i] = 1.0 / sq[i];
        }
    }
};

const SqrtTables& sqrtTables()
{
    static const SqrtTables tables;
    return tables;
}

const double* zeroCoefficients()
{
    static const std::vector<double> zeros(2 * static_cast<std::size_t>(kCoefficientCount), 0.0);
    return zeros.data();
}

// Element k (1-based) of column `col` of m, or 0 outside its shape.
double elementOrZero(const Numbra& m, int k, int col)
{
    return (k <= m.Rows() && col <= m.Cols()) ? m(k, col) : 0.0;
}

} // namespace

const double* sqrtTable() { return sqrtTables().sq; }
const double* inverseSqrtTable() { return sqrtTables().isq; }

PointGeometry pointGeometry(double phi, double lambda)
{
    const double s = std::sin(phi);
    const double t = std::pow(s, 2.0);
    const double w = std::sqrt(1.0 - t * kE2);
    const double N = kA / w;  // prime-vertical radius of curvature

    const double p = std::cos(phi) * N;
    const double x = std::cos(lambda) * p;
    const double y = std::sin(lambda) * p;
    const double z = (N * kOneMinusE2) * s;

    PointGeometry g;
    g.radius = std::sqrt((std::pow(z, 2.0) + std::pow(y, 2.0)) + std::pow(x, 2.0));
    g.geocentricLatitude = std::atan(z / std::sqrt(std::pow(y, 2.0) + std::pow(x, 2.0)));
    g.gamma = ((t * kGravityK + 1.0) / w) * kGammaEquator;
    return g;
}

void multipleAngles(double lambda, double* sinm, double* cosm)
{
    const double sl = std::sin(lambda);
    const double cl = std::cos(lambda);
    sinm[1] = sl;
    cosm[1] = cl;
    sinm[2] = (cl * sl) * 2.0;
    cosm[2] = (cl * cl) * 2.0 - 1.0;
    for (int m = 3; m <= kMaxDegree; ++m) {
        sinm[m] = (sinm[m - 1] * cl) * 2.0 - sinm[m - 2];
        cosm[m] = (cl * cosm[m - 1]) * 2.0 - cosm[m - 2];
    }
}

void CoefficientView::separate()
{
    const std::size_t count = static_cast<std::size_t>(kCoefficientCount);
    std::vector<double> c(count), s(count);
    for (std::size_t k = 0; k < count; ++k) {
        c[k] = cs_[2 * k];
        s[k] = cs_[2 * k + 1];
    }
    ownedC_ = std::move(c);
    ownedS_ = std::move(s);
    c_ = ownedC_.data();
    s_ = ownedS_.data();
}

CoefficientView::CoefficientView(const Numbra& geopotential, const Numbra& correctionCos,
                                 const Numbra& correctionSin)
{
    const int count = kCoefficientCount;
    // Column vectors and the two-column table as LoadEGMData (and the
    // object's copies) lay them out: read in place.
    auto isColumn = [](const Numbra& m) { return m.Rows() == kCoefficientCount && m.Cols() == 1 && m.Stride() == 1; };
    const bool standard = geopotential.Rows() == count && geopotential.Cols() == 2 && geopotential.Stride() == 2 &&
                          isColumn(correctionCos) && isColumn(correctionSin);
    const bool empty = geopotential.Empty() && correctionCos.Empty() && correctionSin.Empty();
    if (standard) {
        cs_ = geopotential.Data();
        cc_ = correctionCos.Data();
        ss_ = correctionSin.Data();
    } else if (empty) {
        cs_ = cc_ = ss_ = zeroCoefficients();
    } else {
        // Any other shape or storage: the first 65341 rows, missing entries 0.
        ownedCs_.resize(2 * static_cast<std::size_t>(count));
        ownedCc_.resize(static_cast<std::size_t>(count));
        ownedSs_.resize(static_cast<std::size_t>(count));
        for (int k = 1; k <= count; ++k) {
            ownedCs_[2 * static_cast<std::size_t>(k - 1)] = elementOrZero(geopotential, k, 1);
            ownedCs_[2 * static_cast<std::size_t>(k - 1) + 1] = elementOrZero(geopotential, k, 2);
            ownedCc_[static_cast<std::size_t>(k - 1)] = elementOrZero(correctionCos, k, 1);
            ownedSs_[static_cast<std::size_t>(k - 1)] = elementOrZero(correctionSin, k, 1);
        }
        cs_ = ownedCs_.data();
        cc_ = ownedCc_.data();
        ss_ = ownedSs_.data();
    }
}

namespace {

// Degrees whose running sums are carried side by side. The sum of one degree
// is a chain of dependent additions in a fixed order; chains of different
// degrees are independent, so interleaving four of them keeps the adders
// busy instead of waiting on one chain.
constexpr int kDegreesPerBlock = 4;

// Legendre functions P(n, m), m = 0..n, from rows n - 1 and n - 2.
inline void legendreRow(int n, double c, const double* SQ, const double* ISQ, const double* sectoral,
                        const double* __restrict older, const double* __restrict previous, double* __restrict row)
{
    // Orders 0..n-2: the three-term recurrence in the degree.
    const double a1 = SQ[2 * n - 1] * c;
    const double i3 = ISQ[2 * n - 3];
    const double s1 = SQ[2 * n + 1];
    for (int m = 0; m <= n - 2; ++m)
        row[m] = ((((a1 * previous[m]) - ((SQ[n - m - 1] * SQ[n + m - 1]) * older[m]) * i3) * ISQ[n - m]) * s1) *
                 ISQ[n + m];
    // Order n - 1 from the sectoral value of degree n - 1; order n is sectoral.
    row[n - 1] = (previous[n - 1] * s1) * c;
    row[n] = sectoral[n];
}

// The terms of degree n: P(n, m) times the potential and the correction
// harmonics. cn and ssn/ccn point at the degree's (n, 0) coefficients: with
// Planar, C at cn[m] and S at sn[m]; otherwise C and S interleaved at
// cn[2m] and cn[2m + 1] (sn unused). The products and sums are the same.
template <bool Planar>
inline void degreeTerms(int n, const double* __restrict row, const double* __restrict cn,
                        const double* __restrict sn, const double* __restrict ccn, const double* __restrict ssn,
                        const double* __restrict sinm, const double* __restrict cosm, double* __restrict potential,
                        double* __restrict correction)
{
    // Order 0: sin(0 lambda) = 0, the sine coefficients are not used.
    potential[0] = row[0] * cn[0];
    correction[0] = ccn[0] * row[0];
    for (int m = 1; m <= n; ++m) {
        const double tc = ccn[m] * cosm[m] + ssn[m] * sinm[m];
        const double th = Planar ? cn[m] * cosm[m] + sn[m] * sinm[m] : cn[2 * m] * cosm[m] + cn[2 * m + 1] * sinm[m];
        correction[m] = row[m] * tc;
        potential[m] = row[m] * th;
    }
}

// Sectoral functions P(m, m), m = 0..360, the chain every order starts from.
void sectoralFunctions(double s, const double* SQ, const double* ISQ, double* sectoral)
{
    sectoral[0] = 1.0;
    sectoral[1] = SQ[3] * s;
    for (int q = 2; q <= kMaxDegree; ++q)
        sectoral[q] = ((sectoral[q - 1] * SQ[2 * q + 1]) * ISQ[2 * q]) * s;
}

} // namespace

void legendreFunctions(double c, double s, double* p)
{
    const double* SQ = sqrtTable();
    const double* ISQ = inverseSqrtTable();
    double sectoral[kRowLength];
    sectoralFunctions(s, SQ, ISQ, sectoral);
    p[0] = 1.0;                // P(0, 0)
    p[1] = (1.0 * SQ[3]) * c;  // P(1, 0)
    p[2] = sectoral[1];        // P(1, 1)
    // Row n starts at 0-based position n(n+1)/2; rows n-1 and n-2 sit just
    // before it, so the recurrence reads them in place.
    for (int n = 2; n <= kMaxDegree; ++n)
        legendreRow(n, c, SQ, ISQ, sectoral, p + (n - 2) * (n - 1) / 2, p + (n - 1) * n / 2, p + n * (n + 1) / 2);
}

namespace {

template <bool Planar>
double synthesis(const CoefficientView& coefficients, double latitude, double longitude)
{
    const double* SQ = sqrtTable();
    const double* ISQ = inverseSqrtTable();

    const double phi = angles::toRadians(latitude);
    const double lambda = angles::toRadians(longitude);
    const PointGeometry g = pointGeometry(phi, lambda);
    const double theta = PI * 0.5 - g.geocentricLatitude;  // geocentric colatitude
    const double c = std::cos(theta);
    const double s = std::sin(theta);

    // Sectoral functions P(m, m), the same chain every order starts from.
    double sectoral[kRowLength];
    sectoralFunctions(s, SQ, ISQ, sectoral);

    double sinm[kRowLength];
    double cosm[kRowLength];
    multipleAngles(lambda, sinm, cosm);

    // Legendre rows: the two before the block, then one per degree of the
    // block. Rows are padded to whole cache lines so that each starts on one.
    alignas(64) double rowStore[kDegreesPerBlock + 2][kRowLength + 7];
    double* rows[kDegreesPerBlock + 2];
    for (int i = 0; i < kDegreesPerBlock + 2; ++i)
        rows[i] = rowStore[i];
    rows[0][0] = 1.0;                    // P(0, 0)
    rows[1][0] = (1.0 * SQ[3]) * c;      // P(1, 0)
    rows[1][1] = sectoral[1];            // P(1, 1)
    const double p10 = rows[1][0];

    // Terms of each degree of the block, indexed by order. Order 1, where the
    // vectorised loop starts, falls on a cache-line boundary: split stores
    // are dear.
    alignas(64) double potentialStore[kDegreesPerBlock][kRowLength + 15];
    alignas(64) double correctionStore[kDegreesPerBlock][kRowLength + 15];
    double* potential[kDegreesPerBlock];
    double* correction[kDegreesPerBlock];
    for (int d = 0; d < kDegreesPerBlock; ++d) {
        potential[d] = potentialStore[d] + 7;
        correction[d] = correctionStore[d] + 7;
    }

    const double* cs = Planar ? coefficients.c() : coefficients.cs();
    const double* sn = coefficients.s();
    const double* cc = coefficients.corrCos();
    const double* ss = coefficients.corrSin();

    const double q = kA / g.radius;
    double qn = q;
    double A = 0.0;
    double B = 0.0;
    for (int n0 = 2; n0 <= kMaxDegree; n0 += kDegreesPerBlock) {
        const int count = std::min(kDegreesPerBlock, kMaxDegree - n0 + 1);
        for (int d = 0; d < count; ++d) {
            const int n = n0 + d;
            legendreRow(n, c, SQ, ISQ, sectoral, rows[d], rows[d + 1], rows[d + 2]);
            const int base = n * (n + 1) / 2;  // 0-based position of (n, 0)
            degreeTerms<Planar>(n, rows[d + 2], Planar ? cs + base : cs + 2 * base, Planar ? sn + base : nullptr,
                                cc + base, ss + base, sinm, cosm, potential[d], correction[d]);
        }

        // Each degree's sums run over its orders in increasing order.
        double sum[kDegreesPerBlock];
        double sumc[kDegreesPerBlock];
        for (int d = 0; d < count; ++d) {
            sum[d] = potential[d][0];
            sumc[d] = correction[d][0];
        }
        if (count == kDegreesPerBlock) {
            double s0 = sum[0], s1 = sum[1], s2 = sum[2], s3 = sum[3];
            double c0 = sumc[0], c1 = sumc[1], c2 = sumc[2], c3 = sumc[3];
            for (int m = 1; m <= n0; ++m) {
                s0 = potential[0][m] + s0;
                c0 = correction[0][m] + c0;
                s1 = potential[1][m] + s1;
                c1 = correction[1][m] + c1;
                s2 = potential[2][m] + s2;
                c2 = correction[2][m] + c2;
                s3 = potential[3][m] + s3;
                c3 = correction[3][m] + c3;
            }
            sum[0] = s0, sum[1] = s1, sum[2] = s2, sum[3] = s3;
            sumc[0] = c0, sumc[1] = c1, sumc[2] = c2, sumc[3] = c3;
            // The orders beyond n0 of the higher degrees.
            for (int d = 1; d < count; ++d)
                for (int m = n0 + 1; m <= n0 + d; ++m) {
                    sum[d] = potential[d][m] + sum[d];
                    sumc[d] = correction[d][m] + sumc[d];
                }
        } else {
            for (int d = 0; d < count; ++d)
                for (int m = 1; m <= n0 + d; ++m) {
                    sum[d] = potential[d][m] + sum[d];
                    sumc[d] = correction[d][m] + sumc[d];
                }
        }
        for (int d = 0; d < count; ++d) {
            qn = qn * q;
            B = sumc[d] + B;
            A = sum[d] * qn + A;
        }

        // The block's last two rows start the next block.
        std::swap(rows[0], rows[count]);
        std::swap(rows[1], rows[count + 1]);
    }

    // Degrees 0 and 1 enter only the correction series.
    const double h = ((((cc[2] * cosm[1] + ss[2] * sinm[1]) * sectoral[1] + p10 * cc[1]) + cc[0]) + B) * kCorrectionScale;
    return (h + (A * kGM) / (g.gamma * g.radius)) - kZeroDegreeTerm;
}

} // namespace

double geoidHeight(const CoefficientView& coefficients, double latitude, double longitude)
{
    return coefficients.c() != nullptr ? synthesis<true>(coefficients, latitude, longitude)
                                       : synthesis<false>(coefficients, latitude, longitude);
}

} // namespace egm96
} // namespace tervala

using namespace tervala::egm96;

double CTervala::EGM96GeoidHeight(double latitude, double longitude)
{
    const CoefficientView coefficients(m_EgmCoef, m_CorrCoefC, m_CorrCoefS);
    return geoidHeight(coefficients, latitude, longitude);
}

Numbra CTervala::RADGRA(double& latitude, double& longitude)
{
    const PointGeometry g = pointGeometry(latitude, longitude);
    Numbra out(3, 1);
    out(1) = g.geocentricLatitude;
    out(2) = g.gamma;
    out(3) = g.radius;
    return out;
}

Numbra CTervala::LEGFDN(int m, double& theta, Numbra& column, int& tablesReady, Numbra& sq, Numbra& isq)
{
    const int last = kMaxDegree + 1;
    if (m < 0 || m > kMaxDegree)
        throw std::out_of_range("LEGFDN: order " + std::to_string(m) + " outside 0..360");
    // Give the tables their full length once (writing the last element grows
    // a Numbra), then work on their storage: element i of a table is at
    // (i - 1) * stride.
    column(last, 1);
    sq(kSqrtEntries, 1);
    isq(kSqrtEntries, 1);
    double* const columnData = column.Data();
    double* const sqData = sq.Data();
    double* const isqData = isq.Data();
    const int columnStride = column.Stride(), sqStride = sq.Stride(), isqStride = isq.Stride();
    auto col = [&](int j) -> double& { return columnData[(j - 1) * columnStride]; };
    auto SQ = [&](int i) -> double& { return sqData[(i - 1) * sqStride]; };
    auto ISQ = [&](int i) -> double& { return isqData[(i - 1) * isqStride]; };

    const double c = std::cos(theta);
    const double s = std::sin(theta);
    if (tablesReady != 1) {
        tablesReady = 1;
        const double* sqrts = sqrtTable();
        const double* inverses = inverseSqrtTable();
        for (int i = 1; i <= kSqrtEntries; ++i) {
            SQ(i) = sqrts[i];
            ISQ(i) = inverses[i];
        }
    }

    Numbra sectoralTable = Zeros(last, 1);
    double* const sectoralData = sectoralTable.Data();
    auto sectoral = [&](int j) -> double& { return sectoralData[j - 1]; };
    sectoral(1) = 1.0;
    sectoral(2) = SQ(3) * s;
    for (int j = 3; j <= m + 1; ++j) {
        const int q = j - 1;
        sectoral(j) = ((sectoral(j - 1) * SQ(2 * q + 1)) * ISQ(2 * q)) * s;
    }

    if (m == 0) {
        col(1) = 1.0;
        col(2) = SQ(3) * c;
    }
    if (m == 1) {
        col(2) = sectoral(2);
        col(3) = (SQ(5) * col(2)) * c;
    }
    col(m + 1) = sectoral(m + 1);
    if (m + 2 > last)
        return column;
    col(m + 2) = (col(m + 1) * SQ(2 * m + 3)) * c;
    if (m + 3 > last)
        return column;
    for (int j = m + 3; j <= last; ++j) {
        const int n = j - 1;
        col(j) = ((((SQ(2 * n - 1) * c) * col(j - 1) - ((SQ(n - m - 1) * SQ(n + m - 1)) * col(j - 2)) * ISQ(2 * n - 3)) *
                   ISQ(n - m)) *
                  SQ(2 * n + 1)) *
                 ISQ(n + m);
    }
    return column;
}

Numbra CTervala::DSCML(double& longitude)
{
    double sinm[kMaxDegree + 1];
    double cosm[kMaxDegree + 1];
    multipleAngles(longitude, sinm, cosm);
    Numbra sc(kMaxDegree, 2);
    for (int m = 1; m <= kMaxDegree; ++m) {
        sc(m, 1) = sinm[m];
        sc(m, 2) = cosm[m];
    }
    return sc;
}

double CTervala::HUNDU(const Numbra& p, const Numbra& coefficients, const Numbra& sc, double gamma, double r,
                       const Numbra& corrC, const Numbra& corrS)
{
    if (p.Rows() < kCoefficientCount || coefficients.Rows() < kCoefficientCount || coefficients.Cols() < 2 ||
        corrC.Rows() < kCoefficientCount || corrS.Rows() < kCoefficientCount || sc.Rows() < kMaxDegree ||
        sc.Cols() < 2)
        throw std::out_of_range("HUNDU: a table is shorter than degree 360 needs");
    // Element (i, j) of a table is at (i - 1) * stride + (j - 1).
    auto P = [&](int k) { return p.Data()[(k - 1) * p.Stride()]; };
    auto H = [&](int k, int j) { return coefficients.Data()[(k - 1) * coefficients.Stride() + (j - 1)]; };
    auto SC = [&](int m, int j) { return sc.Data()[(m - 1) * sc.Stride() + (j - 1)]; };
    auto CC = [&](int k) { return corrC.Data()[(k - 1) * corrC.Stride()]; };
    auto CS = [&](int k) { return corrS.Data()[(k - 1) * corrS.Stride()]; };

    const double q = kA / r;
    double qn = q;
    double a = 0.0;
    double b = 0.0;
    int k = 3;
    for (int n = 2; n <= kMaxDegree; ++n) {
        qn = qn * q;
        k = k + 1;
        // The order-0 term: its sine coefficients multiply sin(0) and are not used.
        double sum = P(k) * H(k, 1);
        double sumc = CC(k) * P(k);
        for (int m = 1; m <= n; ++m) {
            k = k + 1;
            const double tc = CC(k) * SC(m, 2) + CS(k) * SC(m, 1);
            const double th = H(k, 1) * SC(m, 2) + H(k, 2) * SC(m, 1);
            sumc = P(k) * tc + sumc;
            sum = P(k) * th + sum;
        }
        b = sumc + b;
        a = sum * qn + a;
    }
    // Degrees 0 and 1 enter only the correction series, which carries no
    // (a/r)^n factor.
    const double h = ((((CC(3) * SC(1, 2) + CS(3) * SC(1, 1)) * P(3) + P(2) * CC(2)) + CC(1)) + b) * kCorrectionScale;
    // Bruns: the disturbing potential over normal gravity.
    return (h + (a * kGM) / (gamma * r)) - kZeroDegreeTerm;
}
