/**
 * @file Tervala.h
 * @brief CTervala: geodetic computations for field surveying, in one class.
 *
 * The one public class of the Tervala library. Include it as
 * `#include <tervala/Tervala.h>` and link `Tervala::tervala`.
 */
#ifndef TERVALA_TERVALA_H
#define TERVALA_TERVALA_H

#include <string>

#include "Export.hpp"
#include "Numbra.h"

/// @cond INTERNAL
namespace tervala {
struct TervalaAccess;
}
/// @endcond

/**
 * @brief Geodetic computations for field surveying, in one class.
 *
 * CTervala converts coordinates between geodetic (latitude, longitude,
 * ellipsoidal height), geocentric Cartesian (X, Y, Z) and Transverse Mercator
 * or UTM grid form; applies datum and local transformations (Bursa-Wolf and
 * Molodensky-Badekas seven-parameter similarities, abridged Molodensky shifts,
 * a four-parameter 2D Helmert transformation, inclined-plane heights);
 * estimates their parameters by least squares from common points; and gives
 * geoid undulations from the EGM96 spherical-harmonic model or from a geoid
 * grid.
 *
 * @par How to use it
 * -# Construct an object and call Setup_Ellipsoid(a, 1/f). Nothing sets a
 *    default ellipsoid.
 * -# Call a member per point. Results are not returned: each operation
 *    leaves its result in the object, read back with the Get... accessors
 *    (GetGeocentric(i) after Geodetic_to_Geocentric, GetTM(i) after
 *    Geodetic_to_TM, ...).
 *
 * @par Units at the interface
 * Lengths and coordinates in metres; latitudes and longitudes in decimal
 * degrees; datum rotations in arc-seconds; scale corrections in parts per
 * million (factor 1 + s * 1e-6). Triples are (latitude, longitude, height),
 * (X, Y, Z) and, for grids, (northing, easting, height).
 *
 * @par In-place conversion of arguments
 * Several members take angles by reference and convert them to radians in
 * the caller's variables: they are marked `@param[in,out]` below. Pass fresh
 * values on every call; a variable reused for a second call holds radians by
 * then.
 *
 * @par Accessor indices
 * Array accessors count from 0. The three residual accessors count from 1.
 * An index outside the stated range returns NaN (quiet) instead of reading
 * outside the object.
 *
 * @par Threads
 * No member starts a thread. A member that writes into the object must not
 * run on one object from two threads at once; separate objects share nothing
 * but read-only constants and the process-wide data folder. The data folder
 * is guarded by a process-wide lock: SetDataFolder takes it to change the
 * folder and every load (LoadEGMData, LoadKEGMData) takes it to read the
 * folder of each file it opens. EGM96GeoidHeight, KEGMGeoidHeight and CorrUndulation write nothing
 * in the object, so one loaded object may serve several threads at once
 * while no thread writes to it (loads, Setup_Ellipsoid, any other member);
 * the Python array functions rely on this.
 *
 * @par Data files
 * The loaders read fixed device paths `"\My Documents\Fenwarden\<file>"`.
 * On this host that folder is: the folder given to SetDataFolder, else the
 * environment variable TERVALA_DATA_DIR (read at each load), else the data
 * folder fixed at build time (`<prefix>/share/tervala`).
 *
 * @par Accuracy and references
 * Ellipsoid and geocentric conversion: exact formulas, iterative inverse to
 * 1e-14 rad. Transverse Mercator: the Gauss-Krueger series to 8th order in
 * the longitude difference (its accuracy away from the central meridian is
 * in docs/accuracy.md). Geoid: EGM96 to degree and order 360 (Lemoine et al.
 * 1998, NASA/TP-1998-206861), or spline interpolation in a grid.
 */
class TERVALA_API CTervala {
public:
    /// @name Lifetime
    /// @{

    /**
     * @brief A fresh object: no ellipsoid, no grid and no coefficients.
     *
     * Its height parameters and height mean accuracy are 0. Fields without a
     * writer yet read as 0.
     */
    CTervala();
    /**
     * @brief Copies every field.
     *
     * A loaded geoid grid is duplicated, so no two objects share grid rows;
     * each object frees its own grid.
     * @param[in] other the object copied.
     */
    CTervala(const CTervala& other);
    /**
     * @brief Same as the copy constructor; self-assignment leaves everything
     * as it was.
     * @param[in] other the object copied.
     * @return this object.
     * @throws std::bad_alloc only when the copy of a grid or of the matrices
     *         cannot be allocated; the target is then unchanged.
     */
    CTervala& operator=(const CTervala& other);
    /// @brief Frees the object's grid and matrices.
    ~CTervala();
    /// @}

    /// @name Host data folder
    /// @{

    /**
     * @brief Sets the folder that stands for `"\My Documents\Fenwarden\"` for
     * every object of the process.
     *
     * Takes the process-wide data-folder lock while it changes the setting.
     * @param[in] folder a host folder; a null pointer or an empty string
     *        removes the setting, so TERVALA_DATA_DIR or the built-in folder
     *        apply again.
     */
    static void SetDataFolder(const char* folder);
    /**
     * @brief The folder the next load will read from, as resolved now.
     * @return the folder given to SetDataFolder, else TERVALA_DATA_DIR, else
     *         the built-in folder.
     */
    static std::string GetDataFolder();
    /// @}

    /// @name Ellipsoid and geocentric coordinates
    /// @{

    /**
     * @brief Sets the reference ellipsoid.
     *
     * Derives b, e^2, e'^2, the third flattening n and the meridian-arc and
     * footpoint series coefficients. Replaces any earlier ellipsoid; results
     * already stored are not recomputed. Nothing is validated: 1/f = 0 gives
     * f = inf and meaningless constants (no error is raised).
     * @param[in] a semi-major axis, metres.
     * @param[in] inverseFlattening the inverse flattening 1/f.
     */
    void Setup_Ellipsoid(double a, double inverseFlattening);

    /**
     * @brief Geodetic to geocentric coordinates.
     *
     * Result X, Y, Z (metres) in GetGeocentric(0..2). Non-finite input gives
     * non-finite results.
     * @param[in,out] latitude degrees; holds radians on return.
     * @param[in,out] longitude degrees; holds radians on return.
     * @param[in] height ellipsoidal height, metres; only read.
     */
    void Geodetic_to_Geocentric(double& latitude, double& longitude, double& height);

    /**
     * @brief Geocentric to geodetic coordinates.
     *
     * Result in GetGeodetic: (0) latitude and (1) longitude in degrees
     * (longitude in (-180, 180]), (2) ellipsoidal height in metres. Iterates
     * until the latitude changes by at most 1e-14 rad (a few passes), at most
     * 100 passes; the height is p / cos(lat) - N (p = sqrt(X^2 + Y^2)) from
     * the latitude that entered the last pass. Near the polar axis, where
     * that height could be off by more than 1e-6 m (p 1.1e-14 / cos^2(lat) >
     * 1e-6, i.e. above about 86 deg on the ellipsoid), the height is
     * p cos(lat) + Z sin(lat) - N (1 - e^2 sin^2(lat)) instead. Latitude and
     * height agree with an exact conversion within 1e-11 deg and 1e-6 m from
     * the axis outwards (tested for p 0 to 10 km, |Z| 100 km to 1e7 m, and
     * globally); within about 50 km of the centre the loop may not settle.
     * On the polar axis, taken as p below 1e-9 m (closer than that the
     * iteration cannot resolve the latitude): latitude +90 or -90 by the
     * sign of Z (0 at the centre), longitude atan2(Y, X), height |Z| - b. Any
     * non-finite coordinate gives NaN for all three results.
     * @param[in] X geocentric X, metres; only read.
     * @param[in] Y geocentric Y, metres; only read.
     * @param[in] Z geocentric Z, metres; only read.
     */
    void Geocentric_to_Geodetic(double& X, double& Y, double& Z);
    /// @}

    /**
     * @name Transverse Mercator and UTM
     * Gauss-Krueger series in the longitude difference l = lon - lon0: 8th
     * order in the northing, 7th in the easting; the inverse is closed-form
     * through the footpoint latitude (no iteration). On GRS80 the forward
     * agrees with an exact Transverse Mercator within 0.016 mm up to 3 deg
     * from the central meridian and 0.83 mm up to 6 deg (docs/accuracy.md).
     * The ellipsoid is the one last set by Setup_Ellipsoid. Input is not
     * checked: NaN gives NaN, latitude +-90 gives the pole of the grid
     * (northing k0 * (M(+-90 deg) - M(lat0)) + false northing, easting the
     * false easting to well below a millimetre), and accuracy fades far from
     * the central meridian. Each member reads all its arguments before
     * writing any back, so one variable passed for two arguments acts as two
     * copies holding the same value.
     */
    /// @{

    /**
     * @brief Projects a point onto a Transverse Mercator grid.
     *
     * Result in GetTM: (0) northing, (1) easting (metres), (2) the height
     * argument unchanged. A zero scale factor gives (falseNorthing,
     * falseEasting).
     * @param[in] latitudeOfOrigin degrees; only read (stays in degrees).
     * @param[in,out] centralMeridian degrees; holds radians,
     *        (degrees * PI) / 180, on return.
     * @param[in] falseNorthing metres.
     * @param[in] falseEasting metres.
     * @param[in] scaleFactor central scale factor, a plain ratio (1.0 for no
     *        scaling).
     * @param[in,out] latitude degrees; holds radians on return.
     * @param[in,out] longitude degrees; holds radians on return.
     * @param[in] height metres; only read, passed through.
     */
    void Geodetic_to_TM(double& latitudeOfOrigin, double& centralMeridian, double falseNorthing,
                        double falseEasting, double scaleFactor, double& latitude, double& longitude,
                        double& height);

    /**
     * @brief Inverse of Geodetic_to_TM: grid northing and easting back to
     * latitude and longitude on the grid given by the same five parameters.
     *
     * Result in GetGeodetic: (0) latitude, (1) longitude (degrees; the
     * longitude is lon0 + l, not reduced to (-180, 180]), (2) the height
     * argument unchanged. Forward then inverse returns the point within
     * 1e-9 deg up to 80 deg latitude and 3 deg from the central meridian.
     * A zero scale factor divides by zero: NaN or infinite latitude and
     * longitude.
     * @param[in] latitudeOfOrigin degrees; only read.
     * @param[in,out] centralMeridian degrees; holds radians on return.
     * @param[in] falseNorthing metres.
     * @param[in] falseEasting metres.
     * @param[in] scaleFactor central scale factor, a plain ratio.
     * @param[in,out] northing grid northing, metres; on return it holds the
     *        scaled arc length the footpoint latitude is taken from,
     *        k0 * M(latitude of origin) + (northing - falseNorthing), so
     *        calling again with the same variables does not repeat the result.
     * @param[in] easting grid easting, metres; only read.
     * @param[in] height metres; only read, passed through.
     */
    void TM_to_Geodetic(double& latitudeOfOrigin, double& centralMeridian, double falseNorthing,
                        double falseEasting, double scaleFactor, double& northing, double& easting,
                        double& height);

    /**
     * @brief Projects a point onto a UTM grid.
     *
     * UTM is the Transverse Mercator series with latitude of origin 0, scale
     * 0.9996, false easting 500000 m and false northing 0 (north) or
     * 10000000 m (south). The caller chooses the zone by its central meridian;
     * nothing compares the zone or hemisphere with the point. Result in
     * GetUTM: (0) northing, (1) easting (metres), (2) the height argument
     * unchanged.
     * @param[in] hemisphere 1 selects the south; every other value (0, 2,
     *        -1, ...) the north.
     * @param[in,out] centralMeridian degrees, 6 * zone - 183; holds radians on
     *        return.
     * @param[in,out] latitude degrees; holds radians on return.
     * @param[in,out] longitude degrees; holds radians on return.
     * @param[in] height metres; only read, passed through.
     */
    void Geodetic_to_UTM(int hemisphere, double& centralMeridian, double& latitude, double& longitude,
                         double& height);

    /**
     * @brief Inverse of Geodetic_to_UTM with the same central meridian and
     * hemisphere flag.
     *
     * Result in GetGeodetic: (0) latitude, (1) longitude (degrees), (2) the
     * height argument unchanged.
     * @param[in] hemisphere 1 selects the south; every other value the north.
     * @param[in,out] centralMeridian degrees; holds radians on return.
     * @param[in,out] northing metres; when hemisphere == 1 it holds
     *        northing - 10000000 on return, otherwise it is left alone.
     * @param[in] easting metres; only read.
     * @param[in] height metres; only read, passed through.
     */
    void UTM_to_Geodetic(int hemisphere, double& centralMeridian, double& northing, double& easting,
                         double& height);
    /// @}

    /// @name Local transformations: 2D Helmert and heights
    /// @{

    /**
     * @brief Stores the 2D Helmert parameters.
     *
     * Note the storage order: Get2DHelmertParameters(0) is t2 and (1) is t1,
     * then scale and rotation. Nothing is validated.
     * @param[in] t1 translation of the first coordinate, metres.
     * @param[in] t2 translation of the second coordinate, metres.
     * @param[in] scale scale correction, ppm (factor 1 + scale * 1e-6).
     * @param[in] rotation arc-seconds, positive turning the first axis toward
     *        the second: counter-clockwise when the first axis points right
     *        and the second up.
     */
    void Set2DHelmert(double t1, double t2, double scale, double rotation);
    /**
     * @brief Stores the height plane, read back with GetHeightParameters(0..2).
     * @param[in] a1 slope along the first coordinate, metre per metre.
     * @param[in] a2 slope along the second coordinate, metre per metre.
     * @param[in] c the shift, metres.
     */
    void SetHeightTrans(double a1, double a2, double c);
    /**
     * @brief Transforms a plane point with the stored 2D Helmert parameters.
     *
     * x' = m (cos r (x - x0) - sin r (y - y0)) + t1 + x0,
     * y' = m (sin r (x - x0) + cos r (y - y0)) + t2 + y0.
     * Result in Get2DH(0), Get2DH(1) only; Get2DH(2) (the height result) is
     * left alone. Parameters from Parameters_2DHelmert refer to the centroid
     * of its source points: pass that centroid as (x0, y0).
     * @param[in] x0 first coordinate of the origin, metres.
     * @param[in] y0 second coordinate of the origin, metres.
     * @param[in] x first coordinate of the point, metres.
     * @param[in] y second coordinate of the point, metres.
     */
    void Helmert2D(double x0, double y0, double x, double y);
    /**
     * @brief h + a1 (x - x0) + a2 (y - y0) + c with the stored height
     * parameters.
     *
     * Result in Get2DH(2) only; Get2DH(0) and (1) are left alone. The origin
     * is (first, second) here, while Parameters_HeightTrans takes it
     * (second, first).
     * @param[in] x0 first coordinate of the origin, metres.
     * @param[in] y0 second coordinate of the origin, metres.
     * @param[in] x first coordinate of the point, metres.
     * @param[in] y second coordinate of the point, metres.
     * @param[in] h source height, metres.
     */
    void HeightTrans(double x0, double y0, double x, double y, double h);
    /// @}

    /// @name Seven-parameter datum transformations
    /// @{

    /**
     * @brief Stores the seven Bursa-Wolf parameters into
     * GetSevenParameters(0..6), in argument order: the scale stands before
     * the rotations.
     *
     * Coordinate frame rotation convention (positive angles turn the axes,
     * not the point; for parameters published in the position vector
     * convention, change the signs of rx, ry, rz). Overwrites the parameters
     * of SetParameters_Molodensky_BadekasModel and of the estimators; the
     * rotation origin is left as it was.
     * @param[in] tx translation, metres.
     * @param[in] ty translation, metres.
     * @param[in] tz translation, metres.
     * @param[in] s scale correction, ppm.
     * @param[in] rx rotation about X, arc-seconds.
     * @param[in] ry rotation about Y, arc-seconds.
     * @param[in] rz rotation about Z, arc-seconds.
     */
    void SetParameters_Bursa_WolfModel(double tx, double ty, double tz, double s, double rx, double ry,
                                       double rz);
    /**
     * @brief X' = (1 + s 1e-6) R X + t with the stored parameters.
     *
     * The scale is applied to the rotated vector, the translation added last.
     * R = R3(rz) R2(ry) R1(rx) exactly (full sines and cosines, no
     * small-angle approximation); for small angles
     * R ~ [[1, rz, -ry], [-rz, 1, rx], [ry, -rx, 1]] (radians), so a positive
     * rz moves a point on the X axis to negative Y. Result in
     * GetGeocentric(0..2). s = -1e6 ppm collapses every point onto t; NaN or
     * infinite input gives NaN.
     * @param[in] X geocentric X, metres.
     * @param[in] Y geocentric Y, metres.
     * @param[in] Z geocentric Z, metres.
     */
    void Bursa_WolfModel(double X, double Y, double Z);
    /**
     * @brief Exact inverse of Bursa_WolfModel: Inv(R) ((X - t) / m).
     *
     * R is inverted as a general matrix (Numbra's LU inverse, not the
     * transpose). Result in GetGeocentric(0..2). s = -1e6 ppm (m = 0) gives
     * IEEE infinities or NaN.
     * Cost: this member, Bursa_WolfModel and the Molodensky-Badekas pair
     * rebuild R (and its inverse) only when the rotations change; each thread
     * keeps the last rotation it used, which gives the same doubles.
     * @param[in] X geocentric X, metres; only read.
     * @param[in] Y geocentric Y, metres; only read.
     * @param[in] Z geocentric Z, metres; only read.
     */
    void Inv_Bursa_WolfModel(double& X, double& Y, double& Z);

    /**
     * @brief Stores the rotation origin into GetRotOrigin(0..2) and the seven
     * parameters, in the order, units and convention of
     * SetParameters_Bursa_WolfModel, into GetSevenParameters(0..6).
     * @param[in] X0 rotation origin X, metres.
     * @param[in] Y0 rotation origin Y, metres.
     * @param[in] Z0 rotation origin Z, metres.
     * @param[in] tx translation, metres.
     * @param[in] ty translation, metres.
     * @param[in] tz translation, metres.
     * @param[in] s scale correction, ppm.
     * @param[in] rx rotation about X, arc-seconds.
     * @param[in] ry rotation about Y, arc-seconds.
     * @param[in] rz rotation about Z, arc-seconds.
     */
    void SetParameters_Molodensky_BadekasModel(double X0, double Y0, double Z0, double tx, double ty,
                                               double tz, double s, double rx, double ry, double rz);
    /**
     * @brief X' = (1 + s 1e-6) R (X - X0) + t + X0: rotation and scale about
     * the origin X0, with R as in Bursa_WolfModel.
     *
     * With the origin (0, 0, 0) this is Bursa_WolfModel. Result in
     * GetGeocentric(0..2).
     * @param[in] X geocentric X, metres.
     * @param[in] Y geocentric Y, metres.
     * @param[in] Z geocentric Z, metres.
     */
    void Molodensky_BadekasModel(double X, double Y, double Z);
    /**
     * @brief Exact inverse of Molodensky_BadekasModel.
     *
     * u = Inv(R) (((X - X0) - t) / m), and the stored result is u + X0, a
     * point in the source system (not the point reduced to the origin):
     * forward then inverse returns the point. Result in GetGeocentric(0..2).
     * @param[in] X geocentric X, metres; only read.
     * @param[in] Y geocentric Y, metres; only read.
     * @param[in] Z geocentric Z, metres; only read.
     */
    void Inv_Molodensky_BadekasModel(double& X, double& Y, double& Z);

    /**
     * @brief Abridged Molodensky shifts (DMA TR 8350.2) of a datum change.
     *
     * Computed on the current ellipsoid, the source ellipsoid
     * (Setup_Ellipsoid must have run). Result in GetdLLH: (0) latitude shift
     * and (1) longitude shift in degrees, (2) ellipsoidal height shift in
     * metres; add them to the point yourself. The point's height does not
     * enter. At latitude +-90 the longitude shift divides by cos(lat) ~ 0 and
     * is meaningless.
     * @param[in] lat latitude, degrees.
     * @param[in] lon longitude, degrees.
     * @param[in] dX shift of the origin, metres.
     * @param[in] dY shift of the origin, metres.
     * @param[in] dZ shift of the origin, metres.
     * @param[in] da change of the semi-major axis, metres (target minus
     *        source).
     * @param[in] df change of the flattening (target minus source).
     */
    void Abridged_Molodensky_Transform(double lat, double lon, double dX, double dY, double dZ,
                                       double da, double df);
    /// @}

    /**
     * @name Least-squares estimation
     * Every estimator reads the caller's arrays only: the reduced coordinates
     * the fits work with are formed on the fly, so the arrays come back
     * exactly as they went in. Input outside the contract (stated per member,
     * null arrays included) returns at once and changes nothing, no field and
     * no array.
     *
     * The members do not judge the geometry. Where it makes the normal
     * matrix exactly singular (coincident points; for the height plane,
     * points on a line parallel to an axis) the results are NaN, as Numbra's
     * solver gives them. Where rounding leaves it singular only nearly
     * (points on a line in a general direction for the height plane, a
     * seven-parameter network on a line) the solve goes through and the
     * results are finite and meaningless: five points on a slanting line
     * give a height plane whose slope across the line is rounding, with a
     * mean accuracy near 0; a line of points gives seven parameters whose
     * rotation about the line is arbitrary, and the member returns true.
     * Never a crash or a hang. The value types (tervala::fitHelmert2D,
     * fitHeightPlane, fitHelmert7, fitMolodenskyBadekas) test the rank of
     * the geometry and report summary.degenerate with no transformation, and
     * the tool's fit commands refuse such points; use them where the points
     * are not known to be well spread.
     */
    /// @{

    /**
     * @brief Fits the 2D Helmert transformation of Set2DHelmert to n/2
     * common points.
     *
     * Unweighted least squares about the centroid of the source points
     * (x0, y0) = mean of the source pairs: apply the result with
     * Helmert2D(x0, y0, x, y); the centroid is not stored, compute and keep
     * it with the parameters.
     *
     * Results:
     * - Get2DHelmertParameters: (0) t2, (1) t1 (metres, second coordinate
     *   first), (2) scale (ppm), (3) rotation (arc-seconds, in (-90, 90)
     *   degrees; a true rotation beyond that comes back turned by 180
     *   degrees with a scale below -1e6 ppm, the same transformation). The
     *   value types, the tool and Python report that case as a surveyor
     *   reads it, with a positive factor: scale' = -2e6 - scale ppm and
     *   rotation' = rotation - 648000 (rotation > 0) or + 648000, in
     *   (-180, 180] degrees;
     * - Get2DHelmertCovariance(i, j): covariance of the unknowns t2, t1,
     *   c = m cos r, d = m sin r (rows 2 and 3 are c and d, not scale and
     *   rotation), sigma0^2 times the inverse normal matrix;
     * - GetResidual2D(i), i = 1..n: 2k + 1 the second and 2k + 2 the first
     *   coordinate of point k (from 0), fitted minus target;
     * - GetSigma: sqrt(v'v / (n - 4)), 0 for two points (an exact fit).
     *
     * One point (n = 2): a pure translation, t2 = dst[1] - src[1],
     * t1 = dst[0] - src[0], scale 0, rotation 0, covariance and sigma 0, and
     * an empty residual column.
     * @param[in] n doubles in each array; even and >= 2.
     * @param[in] src source points, (first, second) coordinate pairs back to
     *        back, metres; only read.
     * @param[in] dst target points, the same layout; only read.
     */
    void Parameters_2DHelmert(int n, double* src, double* dst);

    /**
     * @brief Fits the height plane of HeightTrans to n points, with equal
     * weights.
     *
     * Three points or more fit slope1, slope2 and the shift; one or two
     * points the shift alone (the mean height difference, slopes 0).
     * Results: GetHeightParameters(0..2); GetResidualH(k + 1) for point k,
     * fitted minus target difference; GetHeightMeanaccuracy =
     * sqrt(0.5 v'v) (not divided by the redundancy: 0 for one and for three
     * points). GetSigma is not touched.
     * @param[in] n number of points, n >= 1.
     * @param[in] y0 second coordinate of the reduction origin: the origin is
     *        given second coordinate first, while HeightTrans takes it as
     *        (x0, y0).
     * @param[in] x0 first coordinate of the reduction origin.
     * @param[in] xy positions, 2n doubles as (first, second) pairs; only read.
     * @param[in] hs source heights, n doubles, metres; only read.
     * @param[in] ht target heights, n doubles, metres; only read.
     */
    void Parameters_HeightTrans(int n, double y0, double x0, double* xy, double* hs, double* ht);

    /**
     * @brief Iterated (Gauss-Newton) least-squares estimate of the seven
     * Bursa-Wolf parameters from n/3 common points.
     *
     * The iteration starts from zero parameters (stored ones are not used),
     * is weighted by both coordinate sets (P = Inv(B B'), B = [m R | -I]),
     * runs at least two passes, then stops when the weighted square sum
     * changes by less than 1e-8 m^2 from the previous pass, or after 21
     * passes. The correction of a converging pass is added before storing,
     * so the parameters belong with the residuals, and exact data give back
     * their parameters (the stored ones reproduce the targets within 1e-6 m
     * for networks of 1 to 1000 km, rotations up to 30", scale up to
     * 20 ppm). After 21 passes without convergence the loop is left before
     * the 21st correction is added: the stored parameters are those that
     * pass was linearised at, and the residuals and covariance are that
     * pass's (the value types, tervala::fitHelmert7, add it). A pass whose
     * update would make the factor 1 + s 1e-6 negative sets s to 0 for the
     * next pass.
     *
     * Results: GetSevenParameters(0..6) as for SetParameters_Bursa_WolfModel;
     * GetSevenCovariance(i, j) = Inv(N) s0^2 with s0^2 = v'Pv / (n - 7)
     * (0 below n = 8); GetResidual(r), r = 1..n, one per input coordinate in
     * input order, fitted minus target; GetSigma = sqrt(v'v / (n - 7)).
     * The rotation origin is not touched.
     * @param[in] n doubles in each array: a positive multiple of 3 (9 or
     *        more for a determined solution).
     * @param[in] source X, Y, Z of each point back to back, metres; only
     *        read.
     * @param[in] target the same points in the target system; only read.
     * @return true when the iteration stopped before the 21st pass; false
     *         after 21 passes (results written) and for n outside the
     *         contract (nothing changed).
     */
    bool SevenParameters_Bursa_WolfModel(int n, double* source, double* target);

    /**
     * @brief As SevenParameters_Bursa_WolfModel, with rotation and scale
     * about the centroid of the source points.
     *
     * The centroid (each coordinate summed and multiplied by 1 / (n / 3)) is
     * stored as GetRotOrigin(0..2) before the iteration, and the parameters
     * apply with Molodensky_BadekasModel. The covariance and sigma divide by
     * n - 7 for every n (f = 1 / (n - 7)). Over a small network the centroid
     * decorrelates the translations from the rotations, so these parameters
     * are far better determined than the Bursa-Wolf ones.
     * @param[in] n doubles in each array: a positive multiple of 3.
     * @param[in] source X, Y, Z of each point back to back, metres; only
     *        read.
     * @param[in] target the same points in the target system; only read.
     * @return true when the iteration stopped before the 21st pass.
     */
    bool SevenParameters_Molodensky_BadekasModel(int n, double* source, double* target);
    /// @}

    /// @name Geoid
    /// @{

    /**
     * @brief Reads the EGM96 model from the data folder.
     *
     * Files: "CORRCOEF.dat" (24-byte records: int32 n, int32 m, double
     * cosine and sine correction coefficients) and "EGM96.dat" (40-byte
     * records: int32 n, int32 m, double C(n,m), double S(n,m), 16 bytes not
     * read; fully normalised), little-endian, records in any order.
     *
     * Every call starts from zeros. A path that is not a regular file (a
     * folder, a device, a pipe) counts as a file that cannot be opened.
     * Records whose n or m lies outside 0 <= m <= n <= 360 are skipped, an
     * incomplete last record is ignored, and a later record for the same
     * (n, m) replaces an earlier one; records after the (360, 360) record of
     * "EGM96.dat" are not read. Even zonal terms of the WGS 84 normal field
     * (degrees 2 to 10) are subtracted from the geopotential coefficients as
     * they are stored. Takes the data-folder lock while it resolves the
     * folder of each of the two files, so a SetDataFolder from another thread
     * between them makes it read them from different folders.
     * @param[in] fileName not read: the paths are fixed.
     * @return 1 when both files were read, "EGM96.dat" up to its (360, 360)
     *         record. 0 when:
     *         - "CORRCOEF.dat" cannot be opened (all coefficients are then
     *           zero) or reading it fails; "EGM96.dat" is not opened in
     *           either case;
     *         - "EGM96.dat" cannot be opened: the correction coefficients are
     *           kept, the geopotential ones are zero (element (1, 1) holds
     *           -9999.999);
     *         - "EGM96.dat" ends before its (360, 360) record: everything
     *           read is kept and used (a model of lower degree);
     *         - the (0, 0) cosine coefficient of "EGM96.dat" is -9999.999.
     */
    int LoadEGMData(const char* fileName);
    /**
     * @brief EGM96 geoid undulation N (metres, above the WGS 84 ellipsoid)
     * by spherical-harmonic synthesis to degree and order 360 of the loaded
     * coefficients.
     *
     * The disturbing potential over normal gravity on the ellipsoid, plus
     * the height-anomaly-to-geoid correction series times 0.01, minus
     * 0.53 m. Writes nothing in the object. Before any LoadEGMData the
     * coefficients count as zero: -0.53 at every other point. Coefficients
     * left zero by a failed or partial load simply contribute nothing.
     * Agrees with the EGM96 15' grid of PROJ (egm96_15.gtx) to better than
     * 0.2 mm at its nodes.
     * @param[in] latitude geodetic latitude (WGS 84), degrees, meant to lie
     *        in [-90, 90] and not checked: a latitude beyond +-90 acts as its
     *        mirror 180 - lat (-180 - lat) at the same longitude, to
     *        rounding.
     * @param[in] longitude degrees, any value (it enters through its sine
     *        and cosine).
     * @return the undulation in metres; NaN for non-finite input, or input
     *         so large that its conversion to radians overflows.
     */
    double EGM96GeoidHeight(double latitude, double longitude);
    /**
     * @brief Reads a geoid grid from the data folder.
     *
     * File (little-endian): doubles north (latitude of the first row), west
     * (longitude of the first column, in 0..360), row and column spacing
     * (degrees); int32 rows Nr and columns Nc; then Nr x Nc float32 values,
     * rows north to south, each west to east. Words of magnitude above
     * 3.4e38 or below 1.2e-38 (zero, subnormals, infinities, small integers
     * between rows) are skipped, so 0.0 cannot be stored; NaN is a value.
     *
     * The grid is held as doubles with a border of 7 nodes on every side:
     * columns wrap round in longitude and the rows beyond the first and last
     * ones mirror them across the pole, turned by Nc/2 columns, as for a
     * global grid. With fewer than 7 columns the border repeats the stored
     * columns periodically; with fewer than 7 rows the k-th border row past
     * an edge mirrors stored row (k - 1) mod Nr from that edge. Never throws.
     * Takes the data-folder lock while it resolves the folder.
     * @param[in] model 13 reads "kgeoid13.dat", 2008 "egm2008p.dat", any
     *        other value "kgeoid14.dat".
     * @return 1 when the grid was read; the new grid then replaces the old.
     *         0, leaving any grid loaded before usable and unchanged, when
     *         the file cannot be opened, when it ends before Nr x Nc values
     *         were read, when its header cannot describe a grid (Nr or Nc
     *         below 1, more than 2^31 values with the border, a spacing that
     *         is zero, negative or not finite, a non-finite origin) and when
     *         memory runs out.
     */
    int LoadKEGMData(int model);
    /**
     * @brief Grid geoid undulation by natural cubic splines over a 6 x 6
     * window of nodes (along the rows, then across them).
     *
     * A node returns its stored value exactly. The longitude is reduced
     * once each way (370 -> 10, -10 -> 350) before the range test. Writes
     * nothing in the object.
     *
     * A global grid (360 degrees of longitude, rows from pole to pole) is
     * reliable everywhere. On a regional grid the border is not the
     * neighbouring geoid: the height is reliable only more than 2 spacings
     * inside the outermost stored rows and columns; nearer an edge (or
     * outside it) the window reads nodes from the opposite edge and the
     * value can be off by metres. The tool and the Python layer refuse those
     * points; this member returns the value all the same.
     * @param[in] latitude degrees.
     * @param[in] longitude degrees.
     * @return the undulation, in the unit of the grid file; or
     *         -  999999.0: latitude outside [-90, 90] or longitude outside
     *            [0, 360] (so 730, -370 and NaN input);
     *         - -999999.0: no grid loaded, or the window leaves the padded
     *            grid: for a regional grid, a point 5 or more spacings north
     *            or east of the stored nodes, or more than 5 south or west of
     *            them.
     */
    double KEGMGeoidHeight(double latitude, double longitude);
    /**
     * @brief Molodensky change of the ellipsoidal height, and so of the
     * geoid undulation, when the datum moves.
     *
     * On the current ellipsoid (Setup_Ellipsoid first):
     * cos(lat) cos(lon) dX + cos(lat) sin(lon) dY + sin(lat) dZ
     * - (a / N) da + (b / a) N sin^2(lat) df, with
     * N = a / sqrt(1 - e^2 sin^2(lat)). At (0, 0) it is exactly dX - da.
     * Writes nothing in the object.
     * @param[in] lat latitude, degrees.
     * @param[in] lon longitude, degrees.
     * @param[in] dX shift of the origin, metres.
     * @param[in] dY shift of the origin, metres.
     * @param[in] dZ shift of the origin, metres.
     * @param[in] da change of the semi-major axis, metres.
     * @param[in] df change of the flattening.
     * @return the height change, metres.
     */
    double CorrUndulation(double lat, double lon, double dX, double dY, double dZ, double da, double df);
    /// @}

    /**
     * @name Accessors
     * Each reads a result stored by the members above. An index outside the
     * stated range returns NaN.
     */
    /// @{

    /// @brief Geocentric result. @param[in] i 0..2: X, Y, Z. @return metres.
    double GetGeocentric(int i);
    /// @brief The same as GetGeocentric. @param[in] i 0..2: X, Y, Z. @return metres.
    double GetTrans_GeoCentric(int i);
    /// @brief Geodetic result. @param[in] i 0..2. @return latitude, longitude (degrees), height (metres).
    double GetGeodetic(int i);
    /// @brief Transverse Mercator result. @param[in] i 0..2. @return northing, easting, height (metres).
    double GetTM(int i);
    /// @brief UTM result. @param[in] i 0..2. @return northing, easting, height (metres).
    double GetUTM(int i);
    /// @brief Local results. @param[in] i 0..2. @return Helmert2D first, second coordinate; HeightTrans height (metres).
    double Get2DH(int i);
    /// @brief Abridged Molodensky shifts. @param[in] i 0..2. @return dlat, dlon (degrees), dh (metres).
    double GetdLLH(int i);
    /// @brief 2D Helmert parameters. @param[in] i 0..3. @return t2, t1 (metres), scale (ppm), rotation (arc-seconds).
    double Get2DHelmertParameters(int i);
    /**
     * @brief Covariance of the latest 2D Helmert fit (unknowns t2, t1, c, d).
     * @param[in] i row, 0..3.
     * @param[in] j column, 0..3.
     * @return the element.
     */
    double Get2DHelmertCovariance(int i, int j);
    /// @brief Height plane. @param[in] i 0..2. @return slope 1, slope 2, shift.
    double GetHeightParameters(int i);
    /// @return the a posteriori sigma of the latest 2D Helmert or seven-parameter fit (metres).
    double GetSigma();
    /// @return sqrt(0.5 v'v) of the latest height fit (metres).
    double GetHeightMeanaccuracy();
    /// @brief Rotation origin. @param[in] i 0..2. @return X0, Y0, Z0 (metres).
    double GetRotOrigin(int i);
    /// @brief Seven parameters. @param[in] i 0..6. @return tx, ty, tz (m), s (ppm), rx, ry, rz (arc-seconds).
    double GetSevenParameters(int i);
    /**
     * @brief Covariance of the latest seven-parameter fit.
     * @param[in] i row, 0..6.
     * @param[in] j column, 0..6.
     * @return the element.
     */
    double GetSevenCovariance(int i, int j);
    /**
     * @brief Residual of the latest 2D Helmert fit.
     * @param[in] i element, from 1.
     * @return the residual (metres); NaN for i < 1 or past the residual count.
     */
    double GetResidual2D(int i);
    /**
     * @brief Residual of the latest height fit.
     * @param[in] i element, from 1.
     * @return the residual (metres); NaN for i < 1 or past the residual count.
     */
    double GetResidualH(int i);
    /**
     * @brief Residual of the latest seven-parameter fit.
     * @param[in] i element, from 1.
     * @return the residual (metres); NaN for i < 1 or past the residual count.
     */
    double GetResidual(int i);
    /// @}

private:
    friend struct tervala::TervalaAccess;

    // Spherical-harmonic synthesis (EGM96). DHCSIN sets `complete` when it
    // read "EGM96.dat" up to its (360, 360) record.
    Numbra DHCSIN(Numbra& coefficients, const char* fileName, bool& complete);
    Numbra RADGRA(double& latitude, double& longitude);
    Numbra LEGFDN(int m, double& theta, Numbra& column, int& tablesReady, Numbra& sq, Numbra& isq);
    Numbra DSCML(double& longitude);
    double HUNDU(const Numbra& p, const Numbra& coefficients, const Numbra& sc, double gamma, double r,
                 const Numbra& corrC, const Numbra& corrS);

    // Grid interpolation (rows of doubles, row 0 south, column 0 west).
    // interp: value at (lat, lon) by a window of `window` nodes per side
    // (clamped to 2..20; 2 is bilinear), south/west the position of node
    // (0, 0), minDistance (km) an excluded border; -999999.0 when the window
    // leaves the grid, 999999.0 when it enters the excluded border.
    double interp(int window, double minDistance, double** grid, double south, double west, double dlat,
                  double dlon, int nrows, int ncols, double lat, double lon);
    // Bilinear value at fractional row ri, column rj, clamped to the edges.
    double bilin(double ri, double rj, double** grid, int nrows, int ncols);
    // Second derivatives r of the natural spline through y[0..n-1] at unit
    // spacing (q: work space of n doubles).
    void initsp(const double* y, int n, double* r, double* q);
    // That spline at x, continued linearly with its end slopes outside 0..n-1.
    double spline(double x, const double* y, int n, const double* r);
    // floor(x) as int (saturated to the int range; NaN gives 0).
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
