// The EGM96 spherical-harmonic geoid: coefficient files, the point geometry
// on WGS 84, and the fast evaluation behind CTervala::EGM96GeoidHeight.
//
// Model: EGM96 to degree and order 360 (Lemoine et al. 1998,
// NASA/TP-1998-206861). The geopotential coefficients are fully normalised;
// the loader removes the even zonal harmonics of the WGS 84 normal field
// (degrees 2 to 10), so the stored series is the disturbing potential T. The
// undulation is Bruns' N = T / gamma on the ellipsoid plus the
// height-anomaly-to-geoid correction series (its own coefficients, summed
// without the (a/r)^n factor and scaled by 0.01), minus the 0.53 m
// zero-degree term of EGM96 relative to WGS 84.
//
// Coefficient (n, m) lives at the 1-based index n(n+1)/2 + m + 1 of every
// table: the orders of one degree are consecutive, and degree 360 ends at
// 65341.
#ifndef TERVALA_GEOID_SPHERICALHARMONIC_H
#define TERVALA_GEOID_SPHERICALHARMONIC_H

#include <string>
#include <vector>

#include "platform/Files.h"
#include "tervala/Numbra.h"

namespace tervala {
namespace egm96 {

constexpr int kMaxDegree = 360;
constexpr int kCoefficientCount = 65341;  // (360 + 1)(360 + 2) / 2
// Square-root tables: room for 1300 entries, 1..721 (= 2 * 360 + 1) used.
constexpr int kSqrtTableRows = 1300;
constexpr int kSqrtEntries = 2 * kMaxDegree + 1;

// WGS 84 constants of the synthesis (they do not follow Setup_Ellipsoid).
constexpr double kA = 6378137.0;
constexpr double kE2 = 0.0066943799901413165;
constexpr double kOneMinusE2 = 0.9933056200098587;
constexpr double kGammaEquator = 9.7803253359;      // m/s^2
constexpr double kGravityK = 0.00193185265246;       // Somigliana's k
constexpr double kGM = 3.986004418e14;               // m^3/s^2
constexpr double kCorrectionScale = 0.01;            // scale of the correction series
constexpr double kZeroDegreeTerm = 0.53;             // metres

// Written into element (1, 1) of the geopotential coefficients when
// "EGM96.dat" cannot be opened; LoadEGMData reports failure when it sees it.
constexpr double kNotLoaded = -9999.999;

// Names of the two files in the data folder (see platform::dataFilePath).
constexpr const char* kCorrectionFileName = "CORRCOEF.dat";
constexpr const char* kGeopotentialFileName = "EGM96.dat";

// Record sizes: int32 n, int32 m, double cosine, double sine (+16 bytes of
// standard deviations in the geopotential file, not read).
constexpr int kCorrectionRecordSize = 24;
constexpr int kGeopotentialRecordSize = 40;

inline bool isDegreeOrder(int n, int m) { return 0 <= m && m <= n && n <= kMaxDegree; }
// 1-based index of (n, m); valid only when isDegreeOrder(n, m).
inline int coefficientIndex(int n, int m) { return n * (n + 1) / 2 + m + 1; }

// How reading one coefficient file ended.
enum class ReadEnd {
    NotOpened,   // missing, not a regular file, or not openable (see the status)
    LastRecord,  // stopped after the (360, 360) record (geopotential file)
    EndOfFile,   // read to the end of the file
    ReadError,   // the stream reported a read error
};

// Reads every complete 24-byte record of a correction file into element k of
// `cosine` and `sine` (65341 x 1 each). Records whose (n, m) is outside
// 0 <= m <= n <= 360 are skipped; a later record overwrites an earlier one;
// an incomplete last record is ignored. `opened` says why a file was not
// opened.
ReadEnd readCorrectionFile(const std::string& path, Numbra& cosine, Numbra& sine, platform::LoadStatus& opened);

// Reads 40-byte records of a geopotential file into column 1 (C) and column 2
// (S) of `coefficients` (65341 x 2) up to and including the (360, 360)
// record (LastRecord), or to the end of the file. Out-of-range records are
// skipped; an incomplete last record is ignored. When the file cannot be
// opened, element (1, 1) becomes kNotLoaded; otherwise the normal field's
// zonal terms are removed from what was read (also from a model that ended
// early: it is then a model of lower degree).
ReadEnd readGeopotentialModel(const std::string& path, Numbra& coefficients, platform::LoadStatus& opened);

// The three coefficient tables of the model, as the synthesis reads them.
// Nothing writes to them after the load, so one set may serve several
// threads.
struct Egm96Coefficients {
    Numbra geopotential;   // 65341 x 2: C and S, normal field removed
    Numbra correctionCos;  // 65341 x 1
    Numbra correctionSin;  // 65341 x 1
};

// Largest magnitude a coefficient of degree n can have in a real model
// (a file holding more is damaged): fully normalised geopotential
// coefficients 1 for degrees 0 and 1, 1e-3 for degree 2 and 1e-3 / n^2
// above (EGM96's largest are C20 = -4.8e-4 and 5.5e-5 / n^2 for the rest);
// correction coefficients 10 for degree 0 and min(10, 5e4 / n^2) above
// (EGM96's largest: 5.03 at (0, 0) and 2.6e3 / n^2). NaN and infinities are
// beyond every bound.
double geopotentialBound(int n);
double correctionBound(int n);

// The correction file and then the geopotential file read from explicit
// host paths, from tables of zeros. The status names the file at fault and
// why: either cannot be opened (the geopotential file is not opened after a
// correction file that failed), a read error, a geopotential file that ends
// before its (360, 360) record, or one whose (0, 0) cosine is kNotLoaded.
// The tables hold whatever was read even then (LoadEGMData keeps it).
// A file that does not match its check file (geoid/CheckFile.h), or holding
// a coefficient beyond the bounds above, is refused as one that cannot be
// used: a bad correction file leaves every table zero (as a missing one
// does), a bad geopotential file leaves its table zero but for the
// kNotLoaded mark (as a missing one does).
struct Egm96Load {
    platform::LoadStatus status;
    Egm96Coefficients coefficients;
};
Egm96Load loadEgm96Files(const std::string& correctionPath, const std::string& geopotentialPath);

// Subtracts the WGS 84 normal field's even zonal harmonics J2..J10 (fully
// normalised) from column 1 of the geopotential coefficients.
void removeNormalZonals(Numbra& coefficients);

// Geocentric latitude (radians), normal gravity (m/s^2, Somigliana's
// closed formula) and geocentric radius (metres) of the point at geodetic
// latitude phi and longitude lambda (radians) on the WGS 84 ellipsoid.
struct PointGeometry {
    double geocentricLatitude;
    double gamma;
    double radius;
};
PointGeometry pointGeometry(double phi, double lambda);

// sin(m lambda) and cos(m lambda) for m = 1..360 by the Chebyshev recurrence
// from sin and cos of lambda; element 0 of each array is not written.
void multipleAngles(double lambda, double* sinm, double* cosm);

// Square-root tables SQ(i) = sqrt(i) and ISQ(i) = 1 / SQ(i), i = 1..721
// (element 0 is unused), built once per process.
const double* sqrtTable();
const double* inverseSqrtTable();

// Raw views of the three coefficient tables in the layout the fast
// evaluation reads: C and S interleaved per index, corrections contiguous.
// Tables that are empty (nothing loaded yet) read as zeros; tables of any
// other storage layout are copied into the view.
class CoefficientView {
public:
    CoefficientView(const Numbra& geopotential, const Numbra& correctionCos, const Numbra& correctionSin);
    // The view may point into its own storage: it is not copied.
    CoefficientView(const CoefficientView&) = delete;
    CoefficientView& operator=(const CoefficientView&) = delete;
    const double* cs() const { return cs_; }         // C(k), S(k) at [2(k-1)], [2(k-1)+1]
    const double* corrCos() const { return cc_; }    // at [k-1]
    const double* corrSin() const { return ss_; }    // at [k-1]
    // C and S also as two arrays of their own (at [k-1]), for a holder whose
    // tables never change: the synthesis then reads them without
    // de-interleaving (the same doubles). Null until separate() is called.
    const double* c() const { return c_; }
    const double* s() const { return s_; }
    void separate();

private:
    const double* cs_;
    const double* cc_;
    const double* ss_;
    const double* c_ = nullptr;
    const double* s_ = nullptr;
    std::vector<double> ownedCs_, ownedCc_, ownedSs_, ownedC_, ownedS_;
};

// Every fully normalised Legendre function P(n, m)(cos theta), n <= 360, for
// c = cos theta and s = sin theta, into p[k - 1] at the index k of (n, m):
// the same recurrences, with the same operands, as the synthesis.
void legendreFunctions(double c, double s, double* p);

// Geoid undulation (metres, relative to WGS 84) at geodetic latitude and
// longitude in degrees. Returns exactly the double of the step-by-step
// evaluation (RADGRA, 361 x LEGFDN, DSCML, HUNDU): the same expressions in
// the same order, computed degree by degree with all orders of one degree
// side by side instead of order by order.
double geoidHeight(const CoefficientView& coefficients, double latitude, double longitude);

} // namespace egm96
} // namespace tervala

#endif
