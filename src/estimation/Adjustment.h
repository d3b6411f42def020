// The estimation core shared by every fit, and the statistics of a weighted
// adjustment.
//
// Core: observations come in groups (one coordinate, or the three coordinate
// misclosures of one point in the seven-parameter fits) with their design
// rows, their observed-minus-computed values and a weight matrix. The core
// accumulates the normal equations group by group, holds chosen parameters
// fixed, solves, judges the geometry (rank and condition), and forms the
// residuals. The four members call it with equal weights and no fixed
// parameters; the sums are taken in the order the members have always taken
// them, so the members' doubles do not change. The members accumulate with
// the fixed-size forms below (FixedNormalEquations, fixedGroupResiduals),
// which do the same arithmetic with sizes known when compiling.
//
// Statistics (weighted fits, a priori variance factor 1, so the a priori
// standard deviations are the observations' own): cofactor matrices of the
// parameters and of the residuals, redundancy numbers, the global test of the
// variance factor, Baarda's w-test, the minimal detectable bias, and data
// snooping. See docs/statistics.md for the formulas and their references.
#ifndef TERVALA_ESTIMATION_ADJUSTMENT_H
#define TERVALA_ESTIMATION_ADJUSTMENT_H

#include <array>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "tervala/Numbra.h"

namespace tervala {

// ---- Core ----------------------------------------------------------------------

// The largest model: the time-dependent Helmert fit (seven parameters and
// their rates).
constexpr int kMaxUnknowns = 14;
constexpr int kMaxGroup = 3;

// One group of observations that share a weight matrix.
struct ObservationGroup {
    int size = 1;
    double a[kMaxGroup][kMaxUnknowns] = {};  // design rows: derivatives of the computed values
    double l[kMaxGroup] = {};                // observed minus computed (the right-hand side)
    double P[kMaxGroup][kMaxGroup] = {};     // weight matrix of the group
};

// Which unknowns are held, and at what value. Holding moves a_j x_j into the
// right-hand side and zeroes column j, so the column adds exact zeros.
struct HeldUnknowns {
    bool held[kMaxUnknowns] = {};
    double value[kMaxUnknowns] = {};
    bool any() const;
    // For an ObservationGroup or a FixedGroup.
    template <class Group>
    void apply(Group& g, int unknowns) const
    {
        for (int j = 0; j < unknowns; ++j) {
            if (!held[j])
                continue;
            for (int r = 0; r < g.size; ++r) {
                if (value[j] != 0)
                    g.l[r] -= g.a[r][j] * value[j];
                g.a[r][j] = 0;
            }
        }
    }
};

// N = sum A' P A and U = sum A' P l, accumulated group by group in the order
// (A' P) A and (A' P) l, starting from zero.
class NormalEquations {
public:
    explicit NormalEquations(int unknowns);
    void add(const ObservationGroup& g);
    int unknowns() const { return unknowns_; }
    double N[kMaxUnknowns][kMaxUnknowns] = {};
    double U[kMaxUnknowns] = {};

private:
    int unknowns_;
};

// What the geometry allows. Anything but Sound means no estimate.
enum class Geometry {
    Sound,
    TooFewObservations,  // fewer observations than free unknowns
    Singular,            // the normal matrix has (numerically) lower rank
    NonFinite,           // an input or a result is not a finite number
    InvalidInput,        // a standard deviation, a parameter name or a subset the fit cannot take
};
const char* geometryName(Geometry g);

// Scaled normal matrices whose smallest to largest eigenvalue ratio is below
// this are refused as singular.
constexpr double kSingularConditionReciprocal = 1e-12;

struct Solution {
    double x[kMaxUnknowns] = {};  // the free unknowns solved, held ones 0 (a correction) or their value
    Numbra Q;                      // cofactor matrix of all unknowns (rows of held ones zero)
    Geometry geometry = Geometry::Sound;
    double conditionReciprocal = 0;  // of the scaled normal matrix of the free unknowns
};

// Solves N x = U for the free unknowns with Slu and Inv (Numbra). With nothing
// held this is Slu(N, U) and Inv(N) on the full matrix. The geometry verdict
// (the eigenvalues of N scaled to a unit diagonal, by Eigen) is computed only
// when `judge` is set; the members do not ask for it. With every unknown held
// the verdict is Sound with a condition reciprocal of 1.
Solution solveNormalEquations(const NormalEquations& ne, const HeldUnknowns& held, bool judge);

// The inverse of a symmetric positive definite matrix of order 1 to 3 (a
// group's weight or cofactor matrix), by Eigen's closed forms for these
// orders; false when its determinant is 0 or not finite.
bool invertSmall(int size, const double in[kMaxGroup][kMaxGroup], double out[kMaxGroup][kMaxGroup]);

// v = A x - l for one group (computed less observed), and v' P v added to omega.
void groupResiduals(const ObservationGroup& g, int unknowns, const double* x, double* v, double& omega);

// ---- Fixed sizes ---------------------------------------------------------------
// The members' fits run on groups whose sizes are known when compiling: the
// arithmetic below is that of NormalEquations::add and groupResiduals,
// product for product and sum for sum in the same order, so it gives their
// doubles; only the loops have fixed bounds and the arrays no unused room,
// which lets the compiler unroll them and keeps a group on the stack small.

template <int Unknowns, int Size>
struct FixedGroup {
    static constexpr int size = Size;
    double a[Size][Unknowns];
    double l[Size];
    double P[Size][Size];

    // The same group for the general core (weighted fits and their tests).
    ObservationGroup general() const
    {
        ObservationGroup g;
        g.size = Size;
        for (int r = 0; r < Size; ++r) {
            for (int j = 0; j < Unknowns; ++j)
                g.a[r][j] = a[r][j];
            g.l[r] = l[r];
            for (int j = 0; j < Size; ++j)
                g.P[r][j] = P[r][j];
        }
        return g;
    }
};

template <int Unknowns>
class FixedNormalEquations {
    static_assert(Unknowns >= 1 && Unknowns <= kMaxUnknowns, "unknowns outside the core's range");

public:
    template <int Size>
    void add(const FixedGroup<Unknowns, Size>& g)
    {
        static_assert(Size >= 1 && Size <= kMaxGroup, "group size outside the core's range");
        double T[Unknowns][Size];
        for (int c = 0; c < Unknowns; ++c)
            for (int j = 0; j < Size; ++j) {
                double sum = g.a[0][c] * g.P[0][j];
                for (int k = 1; k < Size; ++k)
                    sum += g.a[k][c] * g.P[k][j];
                T[c][j] = sum;
            }
        for (int c = 0; c < Unknowns; ++c) {
            for (int d = 0; d < Unknowns; ++d) {
                double sum = T[c][0] * g.a[0][d];
                for (int k = 1; k < Size; ++k)
                    sum += T[c][k] * g.a[k][d];
                N[c][d] += sum;
            }
            double sum = T[c][0] * g.l[0];
            for (int k = 1; k < Size; ++k)
                sum += T[c][k] * g.l[k];
            U[c] += sum;
        }
    }

    // The accumulated sums as the general core's normal equations.
    NormalEquations general() const
    {
        NormalEquations ne(Unknowns);
        for (int c = 0; c < Unknowns; ++c) {
            for (int d = 0; d < Unknowns; ++d)
                ne.N[c][d] = N[c][d];
            ne.U[c] = U[c];
        }
        return ne;
    }

    double N[Unknowns][Unknowns] = {};
    double U[Unknowns] = {};
};

// groupResiduals for a fixed-size group.
template <int Unknowns, int Size>
void fixedGroupResiduals(const FixedGroup<Unknowns, Size>& g, const double* x, double* v, double& omega)
{
    for (int r = 0; r < Size; ++r) {
        double sum = 0.0;
        for (int j = 0; j < Unknowns; ++j)
            sum += g.a[r][j] * x[j];
        v[r] = sum - g.l[r];
    }
    double weighted = 0.0;
    for (int j = 0; j < Size; ++j) {
        double pv = v[0] * g.P[0][j];
        for (int k = 1; k < Size; ++k)
            pv += v[k] * g.P[k][j];
        weighted += pv * v[j];
    }
    omega += weighted;
}

// ---- Distributions (Boost.Math) -------------------------------------------------

double chiSquareQuantile(double probability, double degreesOfFreedom);
double normalQuantile(double probability);

// sqrt(lambda0) of the w-test (B-method of testing): the mean s of a normal
// w of unit variance for which the two-sided test at alpha0 rejects with the
// given power, P(|w| > N(1 - alpha0 / 2)) = power, solved by Newton's method
// on both tails. Close to N(1 - alpha0 / 2) + N(power), which leaves out the
// far tail (4.1321 at 0.1 % and 80 %, lambda0 17.07). NaN unless
// 0 < alpha0 < power < 1.
double noncentralitySqrt(double alpha0, double power);

// ---- Statistics of a weighted adjustment ----------------------------------------

struct TestSettings {
    double alpha = 0.05;    // global test, two-sided
    double alpha0 = 0.001;  // w-test of one observation, two-sided
    double power = 0.80;    // of the w-test against a bias of the MDB; above alpha0, below 1
};

struct GlobalTest {
    bool tested = false;  // false without redundancy
    int redundancy = 0;
    double statistic = 0;  // variance factor: v'Pv / redundancy (a priori 1)
    double lower = 0, upper = 0;  // chi^2(alpha/2, r) / r and chi^2(1 - alpha/2, r) / r
    bool passed = true;
};

struct ObservationTest {
    int point = 0;       // the caller's point index, from 0
    int coordinate = 0;  // 0, 1, 2 within the point (a misclosure component in the seven-parameter fits)
    double residual = 0;    // v, computed less observed, metres
    double sigmaResidual = 0;  // sqrt(Qvv_ii)
    double redundancy = 0;  // r_i = (Qvv P)_ii
    double normalised = 0;  // v / sigmaResidual
    double w = 0;           // (P v)_i / sqrt((P Qvv P)_ii); NaN where r_i is 0
    double mdb = 0;         // minimal detectable bias, metres; infinite where r_i is 0
    bool rejected = false;  // |w| above the critical value
    // External reliability (observations of the solution): the largest
    // shift of a transformed position, metres, that an undetected error of
    // the size of the MDB in this observation causes, over the points given
    // and the corners of their box; where it is largest (a point index, or
    // externalCorner 0 to 3 with externalPoint -1). NaN without an MDB.
    double external = std::numeric_limits<double>::quiet_NaN();
    int externalPoint = -1;
    int externalCorner = -1;
};

// The error ellipse of one transformed position: 2D Helmert in the plane of
// the target coordinates, seven-parameter fits in the local east/north plane
// of the point.
struct PointEllipse {
    int point = 0;
    double semiMajor = 0, semiMinor = 0;  // metres, scaled to the confidence level
    // Degrees in [0, 180): the direction of the major axis, from the first
    // axis towards the second (2D: from x towards y, which is from north
    // clockwise for northing-easting coordinates; seven-parameter fits: from
    // north clockwise towards east).
    double azimuth = 0;
    // Standard deviations (not scaled) of the transformed position along
    // the ellipse's first and second axis (north and east for the
    // seven-parameter fits) and, seven-parameter fits only, up (NaN for 2D).
    double sigmaFirst = 0, sigmaSecond = 0;
    double sigmaUp = std::numeric_limits<double>::quiet_NaN();
};

// What a fit leaves for pointPrecision: the cofactor matrix of its unknowns,
// the derivatives of the transformed position at each location, and per
// observation of the solution the change of the unknowns per unit error in
// it, Q A' P e_i.
struct PositionModel {
    int unknowns = 0;
    int rows = 0;        // coordinates of a transformed position: 2 or 3 (0: no model)
    bool local = false;  // ellipses in each location's east/north plane (enu below)
    double Q[kMaxUnknowns][kMaxUnknowns] = {};
    struct Location {
        int point = -1;   // the point's index, or -1 for a corner of the box
        int corner = -1;  // 0 to 3 for a corner
        double a[kMaxGroup][kMaxUnknowns] = {};  // derivatives of the transformed position
        double enu[3][3] = {};                   // rows: east, north and up unit vectors (local models)
    };
    std::vector<Location> locations;  // every point given, in order, then the corners
    std::vector<std::array<double, kMaxUnknowns>> shift;  // in the order of Adjustment::observations
};

// The probability of the standard error ellipse, 1 - exp(-1/2) (39.35 %).
constexpr double kStandardEllipseConfidence = 0.39346934028736658;

struct SnoopStep {
    int point = 0;       // removed point
    int coordinate = 0;  // its observation with the largest failing |w|
    double w = 0;
    double varianceFactor = 0;  // of the fit the point was removed from
    bool globalPassed = true;
};

struct ParameterEstimate {
    std::string name;
    double value = 0;
    double sigma = 0;  // from the a priori standard deviations (variance factor 1)
};

// How every front end states a parameter: its unit, and the same value in a
// second unit (rotations also in microradians, scales also as the factor
// 1 + ppm 1e-6, slopes also in mm/km): alternative = offset + factor value,
// its standard deviation factor sigma. alternativeUnit is empty where there
// is no second unit.
struct ParameterUnit {
    const char* unit;
    const char* alternativeUnit;
    double factor;
    double offset;
};
ParameterUnit parameterUnit(const std::string& name);

// A weighted fit with its statistics.
struct Adjustment {
    Geometry geometry = Geometry::Sound;
    std::string message;  // why a fit is refused, or why snooping stopped
    double conditionReciprocal = 0;
    std::vector<ParameterEstimate> parameters;  // the model's parameters in their stored units
    std::vector<std::vector<double>> correlation;  // of those parameters
    std::vector<std::vector<double>> covariance;   // of those parameters, a priori variance factor 1
    double origin[3] = {};  // the point the parameters refer to (centroid), where the model has one
    int observationsUsed = 0;
    int redundancy = 0;
    double sigma0 = 0;  // a posteriori sqrt(v'Pv / r)
    GlobalTest global;
    double wCritical = 0;  // N(1 - alpha0 / 2)
    double noncentralitySqrt = 0;  // sqrt(lambda0) = wCritical + N(power)
    std::vector<ObservationTest> observations;  // of the points kept
    std::vector<SnoopStep> removed;             // in the order of removal
    // The observations of the points not in the solution (removed by
    // snooping, or held out as check points), in point order: residual,
    // normalised residual and sigmaResidual against the solution (the
    // transformed point less its observation, and the standard deviation of
    // that difference); w, redundancy and MDB as they would be with the point
    // put back into the fit.
    std::vector<ObservationTest> outside;
    // With settings.leaveOneOut, for every point of the solution its
    // observations as `outside` gives them from the fit made without it;
    // residual NaN where the points left cannot carry the fit.
    std::vector<ObservationTest> leaveOneOut;
    bool converged = true;
    int passes = 1;
    // Error ellipses of the transformed positions of every point given
    // (not for the height plane), in point order, at `confidence` (semi-axes scaled by
    // sqrt(chi^2(confidence, 2)), `ellipseScale`).
    std::vector<PointEllipse> ellipses;
    double confidence = kStandardEllipseConfidence;
    double ellipseScale = 1;
    // The corners of the box of the source points (2D: first, second
    // coordinate; seven-parameter fits: latitude and longitude in degrees
    // on the frame ellipsoid, then the mean ellipsoidal height), in the
    // order (min, min), (min, max), (max, max), (max, min).
    std::vector<std::array<double, 3>> corners;
    // Seven-parameter fits: the observations of the solution turned into
    // each point's local frame (coordinate 0 east, 1 north, 2 up): the
    // misclosure's components along those directions, their redundancy
    // numbers, and the w-test and MDB of a bias along each direction. For
    // information: the tests that decide (`rejected`, snooping) are the
    // geocentric ones in `observations`; `rejected` here only says |w| is
    // above the critical value.
    std::vector<ObservationTest> local;
    PositionModel model;  // what ellipses and external reliability come from
};

struct AdjustmentSettings {
    TestSettings tests;
    std::vector<std::string> fixed;  // parameter names held (see each fit)
    bool snoop = false;
    std::vector<int> heldOut;  // points (indices from 0) kept out of the fit: check points
    bool leaveOneOut = false;  // also fit without each point of the solution in turn
    // Probability of the error ellipses, in (0, 1); the default is the
    // standard ellipse.
    double confidence = kStandardEllipseConfidence;
    // The ellipsoid whose normals define the local east/north/up frames of
    // the seven-parameter fits (and the latitude/longitude box); WGS84
    // unless given. Any terrestrial ellipsoid turns the frames by a few
    // arc-seconds at most.
    double frameA = 6378137.0;
    double frameInverseFlattening = 298.257223563;
};

// Turns result.model into result.ellipses and every observation's external
// reliability (see ObservationTest::external): with Q the unknowns'
// cofactor matrix and a the derivatives of a transformed position, its
// covariance is a Q a'; an error of the MDB in observation i moves the
// unknowns by Q A' P e_i MDB_i and the position by a times that.
void pointPrecision(Adjustment& result, double confidence);

// The local-frame tests of a seven-parameter fit (Adjustment::local) from
// the groups of the solution (3 rows each, one per point), their residuals
// v, the unknowns' cofactor Q and each group's east/north/up rows.
void localTests(const std::vector<ObservationGroup>& groups, const std::vector<int>& pointOf, int unknowns,
                const Numbra& Q, const std::vector<double>& v, const std::vector<std::array<double, 9>>& enu,
                Adjustment& result);

// The unknowns' cofactor matrix Q (unknowns x unknowns) and, per row of the
// groups in order, Q A' P e_i into model (Q and shift).
void modelShifts(const std::vector<ObservationGroup>& groups, int unknowns, const Numbra& Q, PositionModel& model);

// Rows east, north, up at geodetic latitude and longitude (radians).
void localFrame(double latitude, double longitude, double enu[3][3]);

// Fills redundancy numbers, w-tests, MDBs, the global test and sigma0 from the
// groups of the final solution; pointOf and coordinateOf give each group's
// point and the coordinate of its first row. Q is the cofactor matrix of the
// unknowns, v the residuals of all groups in order.
void testAdjustment(const std::vector<ObservationGroup>& groups, const std::vector<int>& pointOf,
                    const std::vector<int>& coordinateOf, int unknowns, const Numbra& Q, const std::vector<double>& v,
                    int freeUnknowns, const TestSettings& tests, Adjustment& result);

// Appends to `out` the observations of `point`, which is not in the fit, as
// Adjustment::outside describes them. `groups` (count of them, rows 1 to 3
// in all) hold the point's design rows, observed-minus-computed values and
// weights, coordinates[g] the coordinate of group g's first row; Q and x are
// the fit's cofactor matrix and unknowns (x is what the groups' rows
// multiply: a correction or the unknowns themselves). With Q_e = Q_ll + A Q
// A' and e = A x - l: w_i = (Q_e^-1 e)_i / sqrt((Q_e^-1)_ii), the point's w
// in the fit with it; r_i = (Q_ll Q_e^-1)_ii.
void testOutsidePoint(const ObservationGroup* groups, const int* coordinates, int count, int point, int unknowns,
                      const Numbra& Q, const double* x, const Adjustment& fit, std::vector<ObservationTest>& out);

// Fills the parameters (names, values) with standard deviations, the
// covariance and the correlation matrix from their cofactor matrix C (held
// parameters: sigma 0, correlation 0 off the diagonal).
void reportParameters(const char* const* names, const double* values, int count, const Numbra& C,
                      Adjustment& result);

// Input checks the weighted fits share: every value finite; a priori
// standard deviations positive and finite (zero allowed where zeroAllowed).
bool allFinite(const double* a, int n);
bool validSigmas(const double* sigma, int n, bool zeroAllowed = false);
Adjustment refusedAdjustment(Geometry g, std::string message);

// The held unknowns named in settings.fixed, looked up in names; false with
// a message for a name the fit does not know.
bool heldByName(const std::vector<std::string>& fixed, const char* const* names, int count, HeldUnknowns& held,
                std::string& message);

// The report of a fit run without a priori standard deviations (every
// sigma 1): the parameter standard deviations and covariance are scaled by
// the a posteriori sigma0 (NaN without redundancy), and the tests, which need
// a claimed precision, are cleared (w, MDB and normalised residual NaN,
// nothing rejected, no global test).
void reportWithoutAPriori(Adjustment& a);

// The centroid of the points' positions (xy, 2 per point): each sum in point
// order, times 1 / points.
void planeCentroid(int points, const double* xy, double& x0, double& y0);

// Runs fit(active) over the points marked active (all but settings.heldOut);
// with settings.snoop, removes the point with the largest failing |w| and
// fits again while a w-test fails and the redundancy stays positive,
// recording every step; with settings.leaveOneOut, then fits without each
// point of the solution in turn. fit(active) fills `outside` for the points
// not active. Refuses (InvalidInput) a held-out index outside the points or
// a power not between alpha0 and 1.
Adjustment snoopingAdjustment(int points, int observationsPerPoint, const AdjustmentSettings& settings,
                              const std::function<Adjustment(const std::vector<char>& active)>& fit);

// ---- The four weighted fits -----------------------------------------------------
// sigma arrays hold one a priori standard deviation (metres, > 0 and finite)
// per coordinate, in the layout of the coordinates. Points are removed by data
// snooping only when settings.snoop is set. The report names parameters as the
// members store them.

// Source positions are taken as error-free; sigma belongs to the target
// coordinates (2 per point). Parameters t1, t2 (m), scale (ppm), rotation
// ("), derived from c = m cos r, d = m sin r with the covariance propagated:
// the rotation in (-180, 180] degrees, the scale factor positive.
// Fixable: "t1", "t2", "rotation" (d = 0), "scale" only together with
// "rotation" (c = 1).
Adjustment adjustHelmert2D(int points, const double* src, const double* dst, const double* sigma,
                           const AdjustmentSettings& settings);

// Plane of height differences ht - hs about (x0, y0); sigma per point (of the
// difference). Parameters slope1, slope2, shift. Fixable: "slope1", "slope2",
// "shift".
Adjustment adjustHeightPlane(int points, double x0, double y0, const double* xy, const double* hs,
                             const double* ht, const double* sigma, const AdjustmentSettings& settings);
// As above about the centroid of all the positions given (planeCentroid),
// which the result's origin holds.
Adjustment adjustHeightPlane(int points, const double* xy, const double* hs, const double* ht, const double* sigma,
                             const AdjustmentSettings& settings);

// Seven parameters; both coordinate sets carry errors (sigmaSource may be
// null for error-free source points). Molodensky-Badekas rotates about the
// centroid of the source points kept. Parameters tx, ty, tz (m), s (ppm), rx,
// ry, rz ("); each is fixable (held at 0). The observations tested are the
// three misclosures of each point (target less transformed source), weighted
// by Inv(m^2 R Qs R' + Qt): a blunder in either coordinate set of a point
// shows on the axis it lies along, and the two cannot be told apart. The
// statistics use the linearisation of the last pass.
Adjustment adjustSevenParameters(int points, const double* source, const double* target, const double* sigmaSource,
                                 const double* sigmaTarget, bool molodenskyBadekas,
                                 const AdjustmentSettings& settings);

// The time-dependent Helmert transformation from points each observed at its
// own epoch (decimal years): the seven parameters at tRef and their rates per
// year, coordinate frame, small-angle rotation matrix (as Helmert15 with
// Rotations::SmallAngle applies it). Weights and tested misclosures as for
// adjustSevenParameters. Parameters tx, ty, tz (m), s (ppm), rx, ry, rz ("),
// then dtx, dty, dtz (m/a), ds (ppm/a), drx, dry, drz ("/a); each is fixable
// (held at 0). Refused (Singular, with a message saying what to do) when a
// rate is free and every point used has the same epoch.
Adjustment adjustFourteenParameters(int points, const double* source, const double* target, const double* epochs,
                                    double tRef, const double* sigmaSource, const double* sigmaTarget,
                                    const AdjustmentSettings& settings);
// The fourteen parameter names in their order.
const char* const* fourteenParameterNames();
// The reference epoch used when none is given: the mean epoch rounded to a
// tenth of a year.
double defaultReferenceEpoch(int points, const double* epochs);

} // namespace tervala

#endif
