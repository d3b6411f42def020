// Tervala: geodetic computations for field surveying, in one class.
//
// CTervala converts coordinates between geodetic (latitude, longitude,
// ellipsoidal height), geocentric Cartesian (X, Y, Z) and Transverse Mercator
// or UTM grid form; applies datum and local transformations (Bursa-Wolf and
// Molodensky-Badekas seven-parameter similarities, abridged Molodensky shifts,
// a four-parameter 2D Helmert transformation, inclined-plane heights);
// estimates their parameters by least squares from common points; and gives
// geoid undulations from the EGM96 spherical-harmonic model or from a geoid
// grid.
//
// How to use it
//   1. Construct an object and call Setup_Ellipsoid(a, 1/f). Nothing sets a
//      default ellipsoid.
//   2. Call a member per point. Results are not returned: each operation
//      leaves its result in the object, read back with the Get... accessors
//      (GetGeocentric(i) after Geodetic_to_Geocentric, GetTM(i) after
//      Geodetic_to_TM, ...).
//
// Units at the interface
//   lengths and coordinates in metres; latitudes and longitudes in decimal
//   degrees; datum rotations in arc-seconds; scale corrections in parts per
//   million (factor 1 + s * 1e-6). Triples are (latitude, longitude, height),
//   (X, Y, Z) and, for grids, (northing, easting, height).
//
// In-place conversion of arguments
//   Several members take angles by reference and convert them to radians
//   IN THE CALLER'S VARIABLES (see each member). Pass fresh values on every
//   call; a variable reused for a second call holds radians by then.
//
// Accessor indices
//   Array accessors count from 0. The three residual accessors count from 1.
//   An index outside the stated range returns NaN (quiet) instead of reading
//   outside the object.
//
// Threads
//   No member starts a thread or takes a lock. One object must not be used
//   from two threads at once; separate objects share nothing but read-only
//   constants (and the process-wide data folder, see SetDataFolder).
//
// Data files
//   The loaders read fixed device paths "\My Documents\Fenwarden\<file>".
//   On this host that folder is: the folder given to SetDataFolder, else the
//   environment variable TERVALA_DATA_DIR (read at each load), else the data
//   folder fixed at build time (<prefix>/share/tervala).
//
// Accuracy and references
//   Ellipsoid and geocentric conversion: exact formulas, iterative inverse to
//   1e-14 rad. Transverse Mercator: the Gauss-Krueger series to 8th order in
//   the longitude difference (see the README for its accuracy away from the
//   central meridian). Geoid: EGM96 to degree and order 360 (Lemoine et al.
//   1998, NASA/TP-1998-206861), or spline interpolation in a grid.
#ifndef TERVALA_TERVALA_H
#define TERVALA_TERVALA_H

#include <string>

#include "Numbra.h"

#if defined(_WIN32)
#  if defined(TERVALA_BUILDING_LIBRARY)
#    define TERVALA_API __declspec(dllexport)
#  else
#    define TERVALA_API __declspec(dllimport)
#  endif
#else
#  define TERVALA_API __attribute__((visibility("default")))
#endif

namespace tervala {
struct TervalaAccess;
}

class TERVALA_API CTervala {
public:
    // ---- Lifetime ----------------------------------------------------------
    // A fresh object holds no ellipsoid, no grid and no coefficients; its
    // height parameters and height mean accuracy are 0. Fields without a
    // writer yet read as 0.
    CTervala();
    // Copies every field. A loaded geoid grid is duplicated, so no two objects
    // share grid rows; each object frees its own grid.
    CTervala(const CTervala& other);
    // Same as the copy constructor; self-assignment leaves everything as it
    // was. Throws std::bad_alloc (leaving the target unchanged) only when the
    // copy of a grid or of the matrices cannot be allocated.
    CTervala& operator=(const CTervala& other);
    ~CTervala();

    // ---- Host data folder ----------------------------------------------------
    // Sets the folder that stands for "\My Documents\Fenwarden\" for every
    // object of the process. A null pointer or an empty string removes the
    // setting, so TERVALA_DATA_DIR or the built-in folder apply again.
    static void SetDataFolder(const char* folder);
    // The folder the next load will read from, as resolved now.
    static std::string GetDataFolder();

    // ---- Ellipsoid and geocentric coordinates ------------------------------
    // Sets the reference ellipsoid from the semi-major axis a (metres) and the
    // inverse flattening 1/f, and derives b, e^2, e'^2, the third flattening n
    // and the meridian-arc and footpoint series coefficients. Replaces any
    // earlier ellipsoid; results already stored are not recomputed.
    // 1/f = 0 gives f = inf and meaningless constants (no error is raised).
    void Setup_Ellipsoid(double a, double inverseFlattening);

    // Geodetic (latitude, longitude in degrees; height in metres) to
    // geocentric X, Y, Z (metres), read with GetGeocentric(0..2).
    // IN PLACE: on return `latitude` and `longitude` hold radians. `height` is
    // only read. Non-finite input gives non-finite results.
    void Geodetic_to_Geocentric(double& latitude, double& longitude, double& height);

    // Geocentric X, Y, Z (metres) to latitude, longitude (degrees, longitude
    // in (-180, 180]) and ellipsoidal height (metres), read with
    // GetGeodetic(0..2). The arguments are only read. Iterates until the
    // latitude changes by at most 1e-14 rad (a few passes), at most 100
    // passes. On the polar axis (X = Y = 0): latitude +90 or -90 by the sign
    // of Z (0 at the centre), longitude atan2(Y, X), height |Z| - b. Any
    // non-finite coordinate gives NaN for all three results.
    void Geocentric_to_Geodetic(double& X, double& Y, double& Z);

    // ---- Transverse Mercator and UTM -----------------------------------------
    // Gauss-Krueger series in the longitude difference l = lon - lon0: 8th
    // order in the northing, 7th in the easting; the inverse is closed-form
    // through the footpoint latitude (no iteration). On GRS80 the forward
    // agrees with an exact Transverse Mercator within 0.016 mm up to 3 deg
    // from the central meridian and 0.83 mm up to 6 deg (README, "Transverse
    // Mercator and UTM"). The ellipsoid is the one last set by
    // Setup_Ellipsoid. Input is not checked: NaN gives NaN, latitude +-90
    // gives the pole of the grid (northing k0 * (M(+-90 deg) - M(lat0)) +
    // false northing, easting the false easting to well below a millimetre),
    // and accuracy fades far from the central meridian. Each member reads all
    // its arguments before writing any back, so one variable passed for two
    // arguments acts as two copies holding the same value.

    // Projects (latitude, longitude) onto the Transverse Mercator grid with
    // latitude of origin and central meridian (degrees), false northing and
    // false easting (metres) and central scale factor (a plain ratio, 1.0 for
    // no scaling). Result in GetTM: (0) northing, (1) easting (metres),
    // (2) the height argument unchanged.
    // IN PLACE: on return `centralMeridian`, `latitude` and `longitude` hold
    // radians, (degrees * PI) / 180; `latitudeOfOrigin` (still degrees) and
    // `height` are only read. A zero scale factor gives (falseNorthing,
    // falseEasting).
    void Geodetic_to_TM(double& latitudeOfOrigin, double& centralMeridian, double falseNorthing,
                        double falseEasting, double scaleFactor, double& latitude, double& longitude,
                        double& height);

    // Inverse of Geodetic_to_TM: grid northing and easting (metres) on the
    // grid given by the same five parameters back to latitude and longitude.
    // Result in GetGeodetic: (0) latitude, (1) longitude (degrees; the
    // longitude is lon0 + l, not reduced to (-180, 180]), (2) the height
    // argument unchanged. Forward then inverse returns the point within
    // 1e-9 deg up to 80 deg latitude and 3 deg from the central meridian.
    // IN PLACE: on return `centralMeridian` holds radians and `northing`
    // holds the scaled arc length the footpoint latitude is taken from,
    // k0 * M(latitude of origin) + (northing - falseNorthing); calling again
    // with the same variables therefore does not repeat the result.
    // `latitudeOfOrigin`, `easting` and `height` are only read. A zero scale
    // factor divides by zero: NaN or infinite latitude and longitude.
    void TM_to_Geodetic(double& latitudeOfOrigin, double& centralMeridian, double falseNorthing,
                        double falseEasting, double scaleFactor, double& northing, double& easting,
                        double& height);

    // UTM: the Transverse Mercator series with latitude of origin 0, scale
    // 0.9996, false easting 500000 m and false northing 0 (north) or
    // 10000000 m (south). hemisphere == 1 selects the south; every other
    // value (0, 2, -1, ...) the north. The caller chooses the zone by its
    // central meridian in degrees (6 * zone - 183); nothing compares the
    // zone or hemisphere with the point. Result in GetUTM: (0) northing,
    // (1) easting (metres), (2) the height argument unchanged.
    // IN PLACE: on return `centralMeridian`, `latitude` and `longitude` hold
    // radians; `height` is only read.
    void Geodetic_to_UTM(int hemisphere, double& centralMeridian, double& latitude, double& longitude,
                         double& height);

    // Inverse of Geodetic_to_UTM with the same central meridian (degrees)
    // and hemisphere flag. Result in GetGeodetic: (0) latitude,
    // (1) longitude (degrees), (2) the height argument unchanged.
    // IN PLACE: on return `centralMeridian` holds radians and, when
    // hemisphere == 1, `northing` holds northing - 10000000 (otherwise it is
    // left alone); `easting` and `height` are only read.
    void UTM_to_Geodetic(int hemisphere, double& centralMeridian, double& northing, double& easting,
                         double& height);

    // ---- Local transformations: 2D Helmert and heights -----------------------
    // Stores the 2D Helmert parameters: t1 the translation of the first
    // coordinate, t2 of the second (metres), scale correction (ppm), rotation
    // (arc-seconds, turning the first axis toward the second). NOTE the
    // storage order: Get2DHelmertParameters(0) is t2 and (1) is t1.
    void Set2DHelmert(double t1, double t2, double scale, double rotation);
    // Stores the height plane: a1 slope along the first coordinate, a2 along
    // the second (metre per metre), c the shift (metres).
    void SetHeightTrans(double a1, double a2, double c);
    // Transforms the plane point (x, y) about the origin (x0, y0) with the
    // stored 2D Helmert parameters. Result in Get2DH(0), Get2DH(1) only.
    void Helmert2D(double x0, double y0, double x, double y);
    // h + a1 (x - x0) + a2 (y - y0) + c with the stored height parameters.
    // Result in Get2DH(2) only.
    void HeightTrans(double x0, double y0, double x, double y, double h);

    // ---- Seven-parameter datum transformations -------------------------------
    // Stores tx, ty, tz (metres), scale correction s (ppm), rx, ry, rz
    // (arc-seconds), coordinate frame rotation convention. Overwrites the
    // parameters of SetParameters_Molodensky_BadekasModel; the rotation origin
    // is left as it was.
    void SetParameters_Bursa_WolfModel(double tx, double ty, double tz, double s, double rx, double ry,
                                       double rz);
    // X' = t + (1 + s 1e-6) R X, R = R3(rz) R2(ry) R1(rx) exact (no small-angle
    // approximation). Result in GetGeocentric(0..2).
    void Bursa_WolfModel(double X, double Y, double Z);
    // Exact inverse of Bursa_WolfModel. The arguments are only read. Result in
    // GetGeocentric(0..2). A scale correction of -1e6 ppm gives IEEE
    // infinities or NaN.
    void Inv_Bursa_WolfModel(double& X, double& Y, double& Z);

    // Stores the rotation origin (X0, Y0, Z0) and the seven parameters in the
    // order and units of SetParameters_Bursa_WolfModel.
    void SetParameters_Molodensky_BadekasModel(double X0, double Y0, double Z0, double tx, double ty,
                                               double tz, double s, double rx, double ry, double rz);
    // X' = t + X0 + (1 + s 1e-6) R (X - X0). Result in GetGeocentric(0..2).
    void Molodensky_BadekasModel(double X, double Y, double Z);
    // Exact inverse of Molodensky_BadekasModel: the stored result includes the
    // rotation origin. The arguments are only read. Result in GetGeocentric.
    void Inv_Molodensky_BadekasModel(double& X, double& Y, double& Z);

    // Abridged Molodensky shifts at (lat, lon) in degrees for the geocentric
    // shift (dX, dY, dZ) and the changes da (metres) and df of the ellipsoid,
    // on the current ellipsoid. Result in GetdLLH: (0) latitude shift and
    // (1) longitude shift in degrees, (2) height shift in metres.
    void Abridged_Molodensky_Transform(double lat, double lon, double dX, double dY, double dZ,
                                       double da, double df);

    // ---- Least-squares estimation -------------------------------------------
    // Fits the 2D Helmert transformation to n/2 common points given as
    // (first, second) coordinate pairs back to back in src and dst (n doubles
    // each). Parameters refer to the centroid of the source points. Results:
    // Get2DHelmertParameters, Get2DHelmertCovariance, GetResidual2D, GetSigma.
    void Parameters_2DHelmert(int n, double* src, double* dst);
    // Fits the height plane to n points: origin (y0, x0) second coordinate
    // first, positions xy (2n doubles), source heights hs and target heights
    // ht (n each). Results: GetHeightParameters, GetResidualH,
    // GetHeightMeanaccuracy.
    void Parameters_HeightTrans(int n, double y0, double x0, double* xy, double* hs, double* ht);
    // Iterated least-squares estimate of the seven Bursa-Wolf parameters from
    // n/3 common points (X, Y, Z back to back, n doubles each). Returns true
    // when the iteration converged within the pass limit.
    bool SevenParameters_Bursa_WolfModel(int n, double* source, double* target);
    // As SevenParameters_Bursa_WolfModel, with rotation and scale about the
    // centroid of the source points, stored as the rotation origin.
    bool SevenParameters_Molodensky_BadekasModel(int n, double* source, double* target);

    // ---- Geoid ------------------------------------------------------------------
    // Reads "CORRCOEF.dat" and "EGM96.dat" from the data folder. The argument
    // is not read. Returns 1 when both files were read, 0 otherwise.
    int LoadEGMData(const char* fileName);
    // EGM96 geoid undulation (metres, relative to WGS 84) at latitude and
    // longitude in degrees, by spherical-harmonic synthesis to degree 360.
    double EGM96GeoidHeight(double latitude, double longitude);
    // Reads the geoid grid of model 13 ("kgeoid13.dat"), 2008 ("egm2008p.dat")
    // or any other value ("kgeoid14.dat") from the data folder. Returns 1 on
    // success, 0 when the file cannot be opened or read.
    int LoadKEGMData(int model);
    // Grid geoid undulation at latitude and longitude in degrees by spline
    // interpolation; 999999.0 when the point is out of range, -999999.0 when
    // the interpolation window does not fit in the grid.
    double KEGMGeoidHeight(double latitude, double longitude);
    // Molodensky change of the ellipsoidal height (metres) at (lat, lon) in
    // degrees for the shift dX, dY, dZ, da (metres) and df, on the current
    // ellipsoid.
    double CorrUndulation(double lat, double lon, double dX, double dY, double dZ, double da, double df);

    // ---- Accessors --------------------------------------------------------------
    // Index outside the stated range: NaN.
    double GetGeocentric(int i);        // X, Y, Z (metres), i = 0..2
    double GetTrans_GeoCentric(int i);  // the same as GetGeocentric
    double GetGeodetic(int i);          // latitude, longitude (degrees), height (metres), i = 0..2
    double GetTM(int i);                // northing, easting, height (metres), i = 0..2
    double GetUTM(int i);               // northing, easting, height (metres), i = 0..2
    double Get2DH(int i);               // Helmert2D first, second coordinate; HeightTrans height, i = 0..2
    double GetdLLH(int i);              // dlat, dlon (degrees), dh (metres), i = 0..2
    double Get2DHelmertParameters(int i);          // t2, t1 (metres), scale (ppm), rotation ("), i = 0..3
    double Get2DHelmertCovariance(int i, int j);   // i, j = 0..3
    double GetHeightParameters(int i);  // slope 1, slope 2, shift, i = 0..2
    double GetSigma();                  // a posteriori sigma of the latest 2D Helmert or seven-parameter fit
    double GetHeightMeanaccuracy();     // sqrt(0.5 v'v) of the latest height fit (metres)
    double GetRotOrigin(int i);         // X0, Y0, Z0 (metres), i = 0..2
    double GetSevenParameters(int i);   // tx, ty, tz (m), s (ppm), rx, ry, rz ("), i = 0..6
    double GetSevenCovariance(int i, int j);       // i, j = 0..6
    // Residual element i (from 1) of the latest fit; NaN for i < 1 or past
    // the residual count.
    double GetResidual2D(int i);
    double GetResidualH(int i);
    double GetResidual(int i);

private:
    friend struct tervala::TervalaAccess;

    // Spherical-harmonic synthesis (EGM96).
    Numbra DHCSIN(Numbra& coefficients, const char* fileName);
    Numbra RADGRA(double& latitude, double& longitude);
    Numbra LEGFDN(int m, double& theta, Numbra& column, int& tablesReady, Numbra& sq, Numbra& isq);
    Numbra DSCML(double& longitude);
    double HUNDU(const Numbra& p, const Numbra& coefficients, const Numbra& sc, double gamma, double r,
                 const Numbra& corrC, const Numbra& corrS);

    // Grid interpolation.
    double interp(int window, double minDistance, double** grid, double south, double west, double dlat,
                  double dlon, int nrows, int ncols, double lat, double lon);
    double bilin(double ri, double rj, double** grid, int nrows, int ncols);
    void initsp(const double* y, int n, double* r, double* q);
    double spline(double x, const double* y, int n, const double* r);
    int ifrac(double x);

    void releaseGrid() noexcept;

    // ---- Fields, in declaration order --------------------------------------------
    // Geoid-grid settings and dimensions.
    int m_InterpWindow = 6;
    int m_GridMargin = 7;
    int m_GridRows = 0;
    int m_GridCols = 0;
    int m_GridPaddedRows = 0;
    int m_GridPaddedCols = 0;
    float m_GridReadValue = 0.0f;
    float* m_GridRowBuffer = nullptr;

    // Ellipsoid and its series constants.
    double m_a = 0.0;
    double m_f = 0.0;
    double m_b = 0.0;
    double m_e2 = 0.0;
    double m_ep2 = 0.0;
    double m_n = 0.0;
    double m_ArcAlpha = 0.0;
    double m_ArcBeta = 0.0;
    double m_ArcGamma = 0.0;
    double m_ArcDelta = 0.0;
    double m_ArcEpsilon = 0.0;
    double m_FootAlpha = 0.0;
    double m_FootBeta = 0.0;
    double m_FootGamma = 0.0;
    double m_FootDelta = 0.0;
    double m_FootEpsilon = 0.0;

    // Results, parameters and estimation results.
    double m_Geocentric[3] = {};
    double m_Geodetic[3] = {};
    double m_TM[3] = {};
    double m_UTM[3] = {};
    double m_2DHelmertParameters[4] = {};
    double m_2DHelmertCovariance[4][4] = {};
    double m_HeightParameters[3] = {};
    double m_Sigma = 0.0;
    double m_HeightMeanaccuracy = 0.0;
    double m_RotOrigin[3] = {};
    double m_SevenParameters[7] = {};
    double m_SevenCovariance[7][7] = {};
    double m_2DH[3] = {};
    double m_dLLH[3] = {};

    // Loaded geoid grid.
    double m_GridNorth = 0.0;
    double m_GridWest = 0.0;
    double m_GridDLat = 0.0;
    double m_GridDLon = 0.0;
    double* m_GridColumnScratch = nullptr;
    double** m_Grid = nullptr;

    // Matrices.
    Numbra m_Residual2D;
    Numbra m_ResidualH;
    Numbra m_Residual;
    Numbra m_CorrCoefC;
    Numbra m_CorrCoefS;
    Numbra m_EgmCoef;
};

#endif
