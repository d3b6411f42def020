/**
 * @file tervala_c.h
 * @brief The C interface of the Tervala library, for any host language.
 *
 * Exported from the same shared library as CTervala (tervala.dll on Windows,
 * libtervala.so elsewhere), in plain C: an opaque handle, plain doubles and
 * ints, UTF-8 strings. No C++ type and no exception crosses it, so C, C#
 * (DllImport), Delphi, VB, Python ctypes and compilers other than the one
 * that built the library can call it.
 *
 * Each function wraps one member of CTervala (Tervala.h documents the
 * computation, units and ranges) and returns an int status: TERVALA_OK (0)
 * or a TERVALA_ERROR_* code, with a message from tervala_last_error(h).
 * Results come back through out-parameters; arguments are never changed
 * (unlike the members, which turn their degree arguments into radians in the
 * caller's variables). Out-parameters are written only on TERVALA_OK.
 *
 * A handle must not be used by two threads at once; separate handles share
 * nothing but the process-wide data folder.
 */
#ifndef TERVALA_TERVALA_C_H
#define TERVALA_TERVALA_C_H

#include <stddef.h>

#include "Export.hpp"

#ifdef __cplusplus
extern "C" {
#endif

/** An object of the library: a CTervala behind a pointer. */
typedef struct tervala_handle tervala_handle;

/** Status codes. */
enum tervala_status {
    TERVALA_OK = 0,
    /** A null handle or out-parameter, or an argument outside its range. */
    TERVALA_ERROR_ARGUMENT = 1,
    /** Memory ran out. */
    TERVALA_ERROR_MEMORY = 2,
    /** A data file could not be loaded (the message names the file and why). */
    TERVALA_ERROR_DATA = 3,
    /** A least-squares fit stopped after 21 passes (results still written). */
    TERVALA_ERROR_NOT_CONVERGED = 4,
    /** Anything else the library reported. */
    TERVALA_ERROR_INTERNAL = 5
};

/** @name Objects */
/** @{ */

/**
 * @brief A new object, with no ellipsoid yet.
 * @return the handle, or NULL when memory runs out.
 */
TERVALA_API tervala_handle* tervala_create(void);

/**
 * @brief A copy of an object with all its results and loaded data.
 * @param[in] h the object copied; NULL gives NULL.
 * @return the new handle, or NULL (h NULL or memory ran out; message in tervala_last_error(NULL)).
 */
TERVALA_API tervala_handle* tervala_copy(const tervala_handle* h);

/**
 * @brief Frees an object.
 * @param[in] h the object; NULL is allowed.
 */
TERVALA_API void tervala_destroy(tervala_handle* h);

/**
 * @brief The message of the latest failed call.
 *
 * With h NULL: the latest failed call of this thread that had no handle
 * (a NULL handle, tervala_copy(NULL), the data folder functions).
 * @param[in] h the object, or NULL.
 * @return the message, "" after a success; valid until the next call on h.
 */
TERVALA_API const char* tervala_last_error(const tervala_handle* h);

/**
 * @brief The library version.
 * @return "major.minor.patch".
 */
TERVALA_API const char* tervala_version(void);

/** @} */

/** @name Data folder (process-wide: CTervala::SetDataFolder, GetDataFolder) */
/** @{ */

/**
 * @brief Sets the data folder for every object of the process.
 * @param[in] folder a folder in UTF-8; NULL or "" clears the setting.
 * @return TERVALA_OK.
 */
TERVALA_API int tervala_set_data_folder(const char* folder);

/**
 * @brief The folder the next load reads from.
 * @param[out] buffer receives the folder in UTF-8 with its NUL.
 * @param[in] size bytes available at buffer.
 * @param[out] needed when not NULL, receives the bytes the folder takes.
 * @return TERVALA_OK, or TERVALA_ERROR_ARGUMENT when buffer is NULL or too small.
 */
TERVALA_API int tervala_get_data_folder(char* buffer, size_t size, size_t* needed);

/** @} */

/** @name Ellipsoid and geocentric coordinates */
/** @{ */

/**
 * @brief Sets the ellipsoid (CTervala::Setup_Ellipsoid).
 * @param[in,out] h the object.
 * @param[in] a semi-major axis, metres, > 0.
 * @param[in] inv_f inverse flattening, > 0 (infinite for a sphere).
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_setup_ellipsoid(tervala_handle* h, double a, double inv_f);

/**
 * @brief Geodetic to geocentric coordinates (Geodetic_to_Geocentric).
 * @param[in,out] h the object.
 * @param[in] lat latitude, degrees.
 * @param[in] lon longitude, degrees.
 * @param[in] h_ell ellipsoidal height, metres.
 * @param[out] x X, metres.
 * @param[out] y Y, metres.
 * @param[out] z Z, metres.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_geodetic_to_geocentric(tervala_handle* h, double lat, double lon, double h_ell, double* x,
                                               double* y, double* z);

/**
 * @brief Geocentric to geodetic coordinates (Geocentric_to_Geodetic).
 * @param[in,out] h the object.
 * @param[in] x X, metres.
 * @param[in] y Y, metres.
 * @param[in] z Z, metres.
 * @param[out] lat latitude, degrees.
 * @param[out] lon longitude, degrees, in (-180, 180].
 * @param[out] h_ell ellipsoidal height, metres.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_geocentric_to_geodetic(tervala_handle* h, double x, double y, double z, double* lat,
                                               double* lon, double* h_ell);

/** @} */

/** @name Transverse Mercator and UTM */
/** @{ */

/**
 * @brief Projects a point onto a Transverse Mercator grid (Geodetic_to_TM).
 * @param[in,out] h the object.
 * @param[in] lat0 latitude of origin, degrees.
 * @param[in] lon0 central meridian, degrees.
 * @param[in] false_northing metres.
 * @param[in] false_easting metres.
 * @param[in] k0 central scale factor.
 * @param[in] lat latitude, degrees.
 * @param[in] lon longitude, degrees.
 * @param[out] northing metres.
 * @param[out] easting metres.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_geodetic_to_tm(tervala_handle* h, double lat0, double lon0, double false_northing,
                                       double false_easting, double k0, double lat, double lon, double* northing,
                                       double* easting);

/**
 * @brief Grid to latitude and longitude on the grid of tervala_geodetic_to_tm (TM_to_Geodetic).
 * @param[in,out] h the object.
 * @param[in] lat0 latitude of origin, degrees.
 * @param[in] lon0 central meridian, degrees.
 * @param[in] false_northing metres.
 * @param[in] false_easting metres.
 * @param[in] k0 central scale factor; 0 is refused (TERVALA_ERROR_ARGUMENT).
 * @param[in] northing metres.
 * @param[in] easting metres.
 * @param[out] lat latitude, degrees.
 * @param[out] lon longitude, degrees.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_tm_to_geodetic(tervala_handle* h, double lat0, double lon0, double false_northing,
                                       double false_easting, double k0, double northing, double easting,
                                       double* lat, double* lon);

/**
 * @brief Projects a point onto UTM in its standard zone (Geodetic_to_UTM).
 *
 * The zone and hemisphere are chosen as the tool's `utm` command chooses them:
 * zone 1..60 from the longitude in 6-degree bands from -180 (so 180 falls in
 * zone 1; no Norway or Svalbard exceptions), the north for lat >= 0.
 * @param[in,out] h the object.
 * @param[in] lat latitude, degrees, in [-80, 84] (else TERVALA_ERROR_ARGUMENT).
 * @param[in] lon longitude, degrees, finite.
 * @param[in] h_ell ellipsoidal height, metres (passed through the member, kept in tervala_get_utm(h, 2)).
 * @param[out] zone the zone, 1..60.
 * @param[out] north 1 for the northern hemisphere, 0 for the southern.
 * @param[out] northing metres.
 * @param[out] easting metres.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_geodetic_to_utm(tervala_handle* h, double lat, double lon, double h_ell, int* zone,
                                        int* north, double* northing, double* easting);

/**
 * @brief Projects a point onto UTM in a zone the caller chooses (Geodetic_to_UTM).
 * @param[in,out] h the object.
 * @param[in] zone 1..60.
 * @param[in] north 1 for the northern hemisphere, 0 for the southern (false northing 10000000 m).
 * @param[in] lat latitude, degrees.
 * @param[in] lon longitude, degrees.
 * @param[out] northing metres.
 * @param[out] easting metres.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_geodetic_to_utm_zone(tervala_handle* h, int zone, int north, double lat, double lon,
                                             double* northing, double* easting);

/**
 * @brief UTM to latitude and longitude (UTM_to_Geodetic).
 * @param[in,out] h the object.
 * @param[in] zone 1..60.
 * @param[in] north 1 for the northern hemisphere, 0 for the southern.
 * @param[in] northing metres.
 * @param[in] easting metres.
 * @param[out] lat latitude, degrees.
 * @param[out] lon longitude, degrees.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_utm_to_geodetic(tervala_handle* h, int zone, int north, double northing, double easting,
                                        double* lat, double* lon);

/** @} */

/** @name Local and datum transformations */
/** @{ */

/**
 * @brief Stores the 2D Helmert parameters (Set2DHelmert).
 * @param[in,out] h the object.
 * @param[in] t1 translation of the first coordinate, metres.
 * @param[in] t2 translation of the second coordinate, metres.
 * @param[in] scale scale correction, ppm.
 * @param[in] rotation arc-seconds.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_set_helmert_2d(tervala_handle* h, double t1, double t2, double scale, double rotation);

/**
 * @brief Transforms a plane point with the stored 2D Helmert parameters (Helmert2D).
 * @param[in,out] h the object.
 * @param[in] x0 first coordinate of the origin, metres.
 * @param[in] y0 second coordinate of the origin, metres.
 * @param[in] x first coordinate, metres.
 * @param[in] y second coordinate, metres.
 * @param[out] x_out first coordinate transformed.
 * @param[out] y_out second coordinate transformed.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_helmert_2d(tervala_handle* h, double x0, double y0, double x, double y, double* x_out,
                                   double* y_out);

/**
 * @brief Stores the height plane (SetHeightTrans).
 * @param[in,out] h the object.
 * @param[in] a1 slope along the first coordinate.
 * @param[in] a2 slope along the second coordinate.
 * @param[in] c shift, metres.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_set_height_trans(tervala_handle* h, double a1, double a2, double c);

/**
 * @brief Moves a height by the stored plane: h_in + a1 (x - x0) + a2 (y - y0) + c (HeightTrans).
 * @param[in,out] h the object.
 * @param[in] x0 first coordinate of the origin, metres.
 * @param[in] y0 second coordinate of the origin, metres.
 * @param[in] x first coordinate, metres.
 * @param[in] y second coordinate, metres.
 * @param[in] h_in source height, metres.
 * @param[out] h_out target height, metres.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_height_trans(tervala_handle* h, double x0, double y0, double x, double y, double h_in,
                                     double* h_out);

/**
 * @brief Stores the seven Bursa-Wolf parameters (SetParameters_Bursa_WolfModel).
 * @param[in,out] h the object.
 * @param[in] tx translation, metres.
 * @param[in] ty translation, metres.
 * @param[in] tz translation, metres.
 * @param[in] s scale correction, ppm.
 * @param[in] rx rotation about X, arc-seconds.
 * @param[in] ry rotation about Y, arc-seconds.
 * @param[in] rz rotation about Z, arc-seconds.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_set_bursa_wolf(tervala_handle* h, double tx, double ty, double tz, double s, double rx,
                                       double ry, double rz);

/**
 * @brief Applies the stored Bursa-Wolf parameters (Bursa_WolfModel).
 * @param[in,out] h the object.
 * @param[in] x X, metres.
 * @param[in] y Y, metres.
 * @param[in] z Z, metres.
 * @param[out] x_out X transformed, metres.
 * @param[out] y_out Y transformed, metres.
 * @param[out] z_out Z transformed, metres.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_bursa_wolf(tervala_handle* h, double x, double y, double z, double* x_out, double* y_out,
                                   double* z_out);

/**
 * @brief Inverse of tervala_bursa_wolf (Inv_Bursa_WolfModel).
 * @param[in,out] h the object.
 * @param[in] x X, metres.
 * @param[in] y Y, metres.
 * @param[in] z Z, metres.
 * @param[out] x_out X transformed, metres.
 * @param[out] y_out Y transformed, metres.
 * @param[out] z_out Z transformed, metres.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_inv_bursa_wolf(tervala_handle* h, double x, double y, double z, double* x_out, double* y_out,
                                   double* z_out);

/**
 * @brief Stores the rotation origin and seven parameters (SetParameters_Molodensky_BadekasModel).
 * @param[in,out] h the object.
 * @param[in] x0 rotation origin X, metres.
 * @param[in] y0 rotation origin Y, metres.
 * @param[in] z0 rotation origin Z, metres.
 * @param[in] tx translation, metres.
 * @param[in] ty translation, metres.
 * @param[in] tz translation, metres.
 * @param[in] s scale correction, ppm.
 * @param[in] rx rotation about X, arc-seconds.
 * @param[in] ry rotation about Y, arc-seconds.
 * @param[in] rz rotation about Z, arc-seconds.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_set_molodensky_badekas(tervala_handle* h, double x0, double y0, double z0, double tx,
                                               double ty, double tz, double s, double rx, double ry, double rz);

/**
 * @brief Applies the stored Molodensky-Badekas parameters (Molodensky_BadekasModel).
 * @param[in,out] h the object.
 * @param[in] x X, metres.
 * @param[in] y Y, metres.
 * @param[in] z Z, metres.
 * @param[out] x_out X transformed, metres.
 * @param[out] y_out Y transformed, metres.
 * @param[out] z_out Z transformed, metres.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_molodensky_badekas(tervala_handle* h, double x, double y, double z, double* x_out,
                                   double* y_out, double* z_out);

/**
 * @brief Inverse of tervala_molodensky_badekas (Inv_Molodensky_BadekasModel).
 * @param[in,out] h the object.
 * @param[in] x X, metres.
 * @param[in] y Y, metres.
 * @param[in] z Z, metres.
 * @param[out] x_out X transformed, metres.
 * @param[out] y_out Y transformed, metres.
 * @param[out] z_out Z transformed, metres.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_inv_molodensky_badekas(tervala_handle* h, double x, double y, double z, double* x_out,
                                   double* y_out, double* z_out);

/**
 * @brief Abridged Molodensky shifts (Abridged_Molodensky_Transform).
 * @param[in,out] h the object.
 * @param[in] lat latitude, degrees.
 * @param[in] lon longitude, degrees.
 * @param[in] dx shift of the origin, metres.
 * @param[in] dy shift of the origin, metres.
 * @param[in] dz shift of the origin, metres.
 * @param[in] da change of the semi-major axis, metres.
 * @param[in] df change of the flattening.
 * @param[out] dlat latitude shift, degrees.
 * @param[out] dlon longitude shift, degrees.
 * @param[out] dh height shift, metres.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_abridged_molodensky(tervala_handle* h, double lat, double lon, double dx, double dy,
                                            double dz, double da, double df, double* dlat, double* dlon,
                                            double* dh);

/** @} */

/** @name Fits (further results through the getters) */
/** @{ */

/**
 * @brief Fits the 2D Helmert parameters to common points (Parameters_2DHelmert).
 * @param[in,out] h the object.
 * @param[in] n_points number of points, >= 1.
 * @param[in] src source points, 2 n_points doubles as (first, second) pairs.
 * @param[in] dst target points, the same layout.
 * @param[out] params when not NULL, 4 doubles: t2, t1 (metres), scale (ppm), rotation (arc-seconds).
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_fit_helmert_2d(tervala_handle* h, int n_points, const double* src, const double* dst,
                                       double* params);

/**
 * @brief Fits the height plane to common points (Parameters_HeightTrans).
 * @param[in,out] h the object.
 * @param[in] n_points number of points, >= 1.
 * @param[in] x0 first coordinate of the reduction origin, metres.
 * @param[in] y0 second coordinate of the reduction origin, metres.
 * @param[in] xy positions, 2 n_points doubles as (first, second) pairs.
 * @param[in] hs source heights, n_points doubles.
 * @param[in] ht target heights, n_points doubles.
 * @param[out] params when not NULL, 3 doubles: slope 1, slope 2, shift.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_fit_height_trans(tervala_handle* h, int n_points, double x0, double y0, const double* xy,
                                         const double* hs, const double* ht, double* params);

/**
 * @brief Fits the seven Bursa-Wolf parameters (SevenParameters_Bursa_WolfModel).
 * @param[in,out] h the object.
 * @param[in] n_points number of points, >= 1 (3 or more for a determined solution).
 * @param[in] source X, Y, Z of each point back to back, metres (3 n_points doubles).
 * @param[in] target the same points in the target system.
 * @param[out] params when not NULL, 7 doubles: tx, ty, tz (m), s (ppm), rx, ry, rz (arc-seconds).
 * @return TERVALA_OK; TERVALA_ERROR_NOT_CONVERGED after 21 passes (params written all the same); another error code.
 */
TERVALA_API int tervala_fit_bursa_wolf(tervala_handle* h, int n_points, const double* source, const double* target,
                                       double* params);

/**
 * @brief Fits the seven parameters about the centroid (SevenParameters_Molodensky_BadekasModel).
 * @param[in,out] h the object.
 * @param[in] n_points number of points, >= 1 (3 or more for a determined solution).
 * @param[in] source X, Y, Z of each point back to back, metres (3 n_points doubles).
 * @param[in] target the same points in the target system.
 * @param[out] params when not NULL, 7 doubles: tx, ty, tz (m), s (ppm), rx, ry, rz (arc-seconds).
 * @return TERVALA_OK; TERVALA_ERROR_NOT_CONVERGED after 21 passes (params written all the same); another error code.
 */
TERVALA_API int tervala_fit_molodensky_badekas(tervala_handle* h, int n_points, const double* source,
                                               const double* target, double* params);

/** @} */

/** @name Geoid */
/** @{ */

/**
 * @brief Loads EGM96.dat and CORRCOEF.dat from the data folder (LoadEGMData).
 * @param[in,out] h the object.
 * @return TERVALA_OK; TERVALA_ERROR_DATA with a message naming the file and the reason.
 */
TERVALA_API int tervala_load_egm96(tervala_handle* h);

/**
 * @brief EGM96 geoid undulation (EGM96GeoidHeight).
 * @param[in,out] h the object.
 * @param[in] lat latitude, degrees.
 * @param[in] lon longitude, degrees.
 * @param[out] undulation metres.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_egm96_geoid_height(tervala_handle* h, double lat, double lon, double* undulation);

/**
 * @brief Loads a geoid grid from the data folder (LoadKEGMData).
 * @param[in,out] h the object.
 * @param[in] model 13 reads kgeoid13.dat, 2008 egm2008p.dat, any other kgeoid14.dat.
 * @return TERVALA_OK; TERVALA_ERROR_DATA with a message naming the file and the reason (a grid loaded before stays).
 */
TERVALA_API int tervala_load_grid(tervala_handle* h, int model);

/**
 * @brief Grid geoid undulation (KEGMGeoidHeight).
 * @param[in,out] h the object.
 * @param[in] lat latitude, degrees, in [-90, 90].
 * @param[in] lon longitude, degrees, in [0, 360] after one reduction by 360.
 * @param[out] undulation in the unit of the grid file.
 * @return TERVALA_OK; TERVALA_ERROR_ARGUMENT outside the ranges; TERVALA_ERROR_DATA with no grid loaded or outside it (the member's 999999 and -999999).
 */
TERVALA_API int tervala_grid_geoid_height(tervala_handle* h, double lat, double lon, double* undulation);

/**
 * @brief Height change of a datum shift (CorrUndulation).
 * @param[in,out] h the object.
 * @param[in] lat latitude, degrees.
 * @param[in] lon longitude, degrees.
 * @param[in] dx shift of the origin, metres.
 * @param[in] dy shift of the origin, metres.
 * @param[in] dz shift of the origin, metres.
 * @param[in] da change of the semi-major axis, metres.
 * @param[in] df change of the flattening.
 * @param[out] dh height change, metres.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_corr_undulation(tervala_handle* h, double lat, double lon, double dx, double dy, double dz,
                                        double da, double df, double* dh);

/** @} */

/**
 * @name Results (the Get... members)
 * Each reads one element as its member does: same index ranges, NaN for an
 * index outside them.
 */
/** @{ */

/**
 * @brief GetGeocentric.
 * @param[in,out] h the object.
 * @param[in] i element, 0..2: X, Y, Z (metres).
 * @param[out] value the element.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_get_geocentric(tervala_handle* h, int i, double* value);

/**
 * @brief GetTrans_GeoCentric.
 * @param[in,out] h the object.
 * @param[in] i element, 0..2: X, Y, Z (metres).
 * @param[out] value the element.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_get_trans_geocentric(tervala_handle* h, int i, double* value);

/**
 * @brief GetGeodetic.
 * @param[in,out] h the object.
 * @param[in] i element, 0..2: latitude, longitude (degrees), height (metres).
 * @param[out] value the element.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_get_geodetic(tervala_handle* h, int i, double* value);

/**
 * @brief GetTM.
 * @param[in,out] h the object.
 * @param[in] i element, 0..2: northing, easting, height (metres).
 * @param[out] value the element.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_get_tm(tervala_handle* h, int i, double* value);

/**
 * @brief GetUTM.
 * @param[in,out] h the object.
 * @param[in] i element, 0..2: northing, easting, height (metres).
 * @param[out] value the element.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_get_utm(tervala_handle* h, int i, double* value);

/**
 * @brief Get2DH.
 * @param[in,out] h the object.
 * @param[in] i element, 0..2: Helmert2D first and second coordinate, HeightTrans height.
 * @param[out] value the element.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_get_2dh(tervala_handle* h, int i, double* value);

/**
 * @brief GetdLLH.
 * @param[in,out] h the object.
 * @param[in] i element, 0..2: dlat, dlon (degrees), dh (metres).
 * @param[out] value the element.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_get_dllh(tervala_handle* h, int i, double* value);

/**
 * @brief Get2DHelmertParameters.
 * @param[in,out] h the object.
 * @param[in] i element, 0..3: t2, t1, scale, rotation.
 * @param[out] value the element.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_get_helmert_2d_parameters(tervala_handle* h, int i, double* value);

/**
 * @brief GetHeightParameters.
 * @param[in,out] h the object.
 * @param[in] i element, 0..2: slope 1, slope 2, shift.
 * @param[out] value the element.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_get_height_parameters(tervala_handle* h, int i, double* value);

/**
 * @brief GetRotOrigin.
 * @param[in,out] h the object.
 * @param[in] i element, 0..2: X0, Y0, Z0 (metres).
 * @param[out] value the element.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_get_rot_origin(tervala_handle* h, int i, double* value);

/**
 * @brief GetSevenParameters.
 * @param[in,out] h the object.
 * @param[in] i element, 0..6: tx, ty, tz, s, rx, ry, rz.
 * @param[out] value the element.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_get_seven_parameters(tervala_handle* h, int i, double* value);

/**
 * @brief GetResidual2D.
 * @param[in,out] h the object.
 * @param[in] i element, from 1.
 * @param[out] value the element.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_get_residual_2d(tervala_handle* h, int i, double* value);

/**
 * @brief GetResidualH.
 * @param[in,out] h the object.
 * @param[in] i element, from 1.
 * @param[out] value the element.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_get_residual_h(tervala_handle* h, int i, double* value);

/**
 * @brief GetResidual.
 * @param[in,out] h the object.
 * @param[in] i element, from 1.
 * @param[out] value the element.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_get_residual(tervala_handle* h, int i, double* value);

/**
 * @brief Get2DHelmertCovariance.
 * @param[in,out] h the object.
 * @param[in] i row, 0..3.
 * @param[in] j column, 0..3.
 * @param[out] value the element.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_get_helmert_2d_covariance(tervala_handle* h, int i, int j, double* value);

/**
 * @brief GetSevenCovariance.
 * @param[in,out] h the object.
 * @param[in] i row, 0..6.
 * @param[in] j column, 0..6.
 * @param[out] value the element.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_get_seven_covariance(tervala_handle* h, int i, int j, double* value);

/**
 * @brief GetSigma: the a posteriori sigma of the latest 2D Helmert or seven-parameter fit.
 * @param[in,out] h the object.
 * @param[out] value metres.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_get_sigma(tervala_handle* h, double* value);

/**
 * @brief GetHeightMeanaccuracy: sqrt(0.5 v'v) of the latest height fit.
 * @param[in,out] h the object.
 * @param[out] value metres.
 * @return TERVALA_OK or an error code (message in tervala_last_error).
 */
TERVALA_API int tervala_get_height_mean_accuracy(tervala_handle* h, double* value);

/** @} */

#ifdef __cplusplus
}
#endif

#endif
