/* The C interface from a C program: every function, against values from PROJ
 * (the tool's worked examples), hand derivations from the documented
 * formulas, and the documented refusals.
 * Usage: test_c_api <scratch folder holding d\xC3\xA4t\xC3\xA4/kgeoid14.dat> [EGM96 folder]
 */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tervala/tervala_c.h"

static int failures = 0;
static int checks = 0;

static void near(const char* what, double got, double expected, double tolerance)
{
    ++checks;
    if (!(fabs(got - expected) <= tolerance)) {
        ++failures;
        printf("FAIL %s: got %.12g, expected %.12g (tolerance %g)\n", what, got, expected, tolerance);
    }
}

static void status(const char* what, int got, int expected, tervala_handle* h)
{
    ++checks;
    if (got != expected) {
        ++failures;
        printf("FAIL %s: status %d, expected %d (%s)\n", what, got, expected, tervala_last_error(h));
    }
}

static void contains(const char* what, const char* text, const char* part)
{
    ++checks;
    if (text == NULL || strstr(text, part) == NULL) {
        ++failures;
        printf("FAIL %s: \"%s\" does not contain \"%s\"\n", what, text ? text : "(null)", part);
    }
}

#define OK(call) status(#call, (call), TERVALA_OK, h)

static const double kDeg = 3.14159265358979323846 / 180.0;
static const double kA = 6378137.0, kInvF = 298.257222101; /* GRS80 */

/* Conversions on GRS80: the tool's examples (values from PROJ) and the
 * geocentric cases of the C++ tables. */
static void conversions(tervala_handle* h)
{
    double x, y, z, lat, lon, hh, n, e;
    int zone = 0, north = -1;
    OK(tervala_setup_ellipsoid(h, kA, kInvF));

    OK(tervala_geodetic_to_geocentric(h, 0, 0, 0, &x, &y, &z));
    near("geocentric x at (0, 0)", x, kA, 1e-9);
    near("geocentric y at (0, 0)", y, 0, 1e-9);
    OK(tervala_geocentric_to_geodetic(h, 0, 0, 6356762.314140356, &lat, &lon, &hh));
    near("pole latitude", lat, 90, 1e-8);
    near("pole height", hh, 10, 1e-8);
    OK(tervala_geocentric_to_geodetic(h, -6378137, 0, 0, &lat, &lon, &hh));
    near("antimeridian longitude", lon, 180, 1e-8);

    /* tm -e GRS80 --lat0 38 --lon0 127 --fn 600000 --fe 200000: 37.5 127.3 */
    OK(tervala_geodetic_to_tm(h, 38, 127, 600000, 200000, 1, 37.5, 127.3, &n, &e));
    near("tm northing", n, 544546.4017, 1e-4);
    near("tm easting", e, 226527.6649, 1e-4);
    OK(tervala_tm_to_geodetic(h, 38, 127, 600000, 200000, 1, 544546.4017, 226527.6649, &lat, &lon));
    near("tm inverse latitude", lat, 37.5, 1e-9);
    near("tm inverse longitude", lon, 127.3, 1e-9);
    OK(tervala_get_tm(h, 0, &x));
    near("GetTM(0) after the inverse keeps the forward result", x, 544546.4017, 1e-4);

    /* utm -e GRS80: 37.5 127.3 -> 52N 4151698.6705 349731.1112 */
    OK(tervala_geodetic_to_utm(h, 37.5, 127.3, 12, &zone, &north, &n, &e));
    near("utm zone", zone, 52, 0);
    near("utm north", north, 1, 0);
    near("utm northing", n, 4151698.6705, 1e-4);
    near("utm easting", e, 349731.1112, 1e-4);
    OK(tervala_get_utm(h, 2, &x));
    near("GetUTM(2) passes the height", x, 12, 0);
    OK(tervala_geodetic_to_utm_zone(h, 52, 1, 37.5, 127.3, &n, &e));
    near("utm zone 52 easting", e, 349731.1112, 1e-4);
    OK(tervala_utm_to_geodetic(h, 52, 1, 4151698.6705, 349731.1112, &lat, &lon));
    near("utm inverse latitude", lat, 37.5, 1e-9);
    near("utm inverse longitude", lon, 127.3, 1e-9);
    OK(tervala_get_geodetic(h, 1, &x));
    near("GetGeodetic(1)", x, 127.3, 1e-9);
    /* The south: 10000000 m false northing, so a point on the equator in
     * the southern hemisphere has northing 10000000. */
    OK(tervala_geodetic_to_utm_zone(h, 31, 0, 0, 3, &n, &e));
    near("utm south, equator on the meridian: northing", n, 10000000, 1e-6);
    near("utm south, equator on the meridian: easting", e, 500000, 1e-6);
    OK(tervala_geodetic_to_utm(h, -33.9, 151.2, 0, &zone, &north, &n, &e));
    near("utm zone of Sydney", zone, 56, 0);
    near("utm south flag", north, 0, 0);
    OK(tervala_geodetic_to_utm(h, 0, 180, 0, &zone, &north, &n, &e));
    near("longitude 180 lies in zone 1", zone, 1, 0);
}

/* Datum and local transformations, against their documented formulas. */
static void transformations(tervala_handle* h)
{
    const double X = 3000000, Y = 1000000, Z = 5500000;
    double x, y, z, v, dlat, dlon, dh;
    OK(tervala_setup_ellipsoid(h, kA, kInvF));

    /* Translation only: X + t exactly; 1 ppm scale: X (1 + 1e-6). */
    OK(tervala_set_bursa_wolf(h, 100, -50, 20, 0, 0, 0, 0));
    OK(tervala_bursa_wolf(h, X, Y, Z, &x, &y, &z));
    near("bursa-wolf translation x", x, X + 100, 1e-9);
    near("bursa-wolf translation y", y, Y - 50, 1e-9);
    near("bursa-wolf translation z", z, Z + 20, 1e-9);
    OK(tervala_get_trans_geocentric(h, 2, &v));
    near("GetTrans_GeoCentric(2)", v, Z + 20, 1e-9);
    OK(tervala_set_bursa_wolf(h, 0, 0, 0, 1, 0, 0, 0));
    OK(tervala_bursa_wolf(h, X, Y, Z, &x, &y, &z));
    near("bursa-wolf scale x", x, X * (1 + 1e-6), 1e-8);
    /* A rotation of 1" about Z: x' = X cos r + Y sin r or X cos r - Y sin r
     * (the position-vector and frame conventions differ in the sign), z'
     * unchanged. */
    {
        const double r = kDeg / 3600;
        OK(tervala_set_bursa_wolf(h, 0, 0, 0, 0, 0, 0, 1));
        OK(tervala_bursa_wolf(h, X, Y, Z, &x, &y, &z));
        near("bursa-wolf rotation x", fabs(x - X * cos(r)), Y * sin(r), 1e-8);
        near("bursa-wolf rotation length", hypot(x, y), hypot(X, Y), 1e-8);
        near("bursa-wolf rotation z", z, Z, 1e-9);
    }
    OK(tervala_inv_bursa_wolf(h, x, y, z, &x, &y, &z));
    near("inverse bursa-wolf returns x", x, X, 1e-8);
    near("inverse bursa-wolf returns z", z, Z, 1e-8);

    /* About an origin: X0 + (1 + s) (X - X0) + t. */
    OK(tervala_set_molodensky_badekas(h, 2999000, 1000500, 5499000, 1, 2, 3, 10, 0, 0, 0));
    OK(tervala_molodensky_badekas(h, X, Y, Z, &x, &y, &z));
    near("molodensky-badekas x", x, 2999000 + (1 + 10e-6) * 1000 + 1, 1e-8);
    near("molodensky-badekas y", y, 1000500 + (1 + 10e-6) * -500 + 2, 1e-8);
    OK(tervala_get_rot_origin(h, 1, &v));
    near("GetRotOrigin(1)", v, 1000500, 0);
    OK(tervala_inv_molodensky_badekas(h, x, y, z, &x, &y, &z));
    near("inverse molodensky-badekas y", y, Y, 1e-8);

    /* Abridged Molodensky on the equator at longitude 0: dlat = dZ / M with
     * M = a (1 - e^2), dlon = dY / a, dh = dX - da. */
    {
        const double f = 1 / kInvF, e2 = f * (2 - f);
        OK(tervala_abridged_molodensky(h, 0, 0, 10, 20, 30, 5, 0, &dlat, &dlon, &dh));
        near("abridged dlat", dlat, 30 / (kA * (1 - e2)) / kDeg, 1e-12);
        near("abridged dlon", dlon, 20 / kA / kDeg, 1e-12);
        near("abridged dh", dh, 10 - 5, 1e-9);
        OK(tervala_get_dllh(h, 2, &v));
        near("GetdLLH(2)", v, 5, 1e-9);
        OK(tervala_corr_undulation(h, 0, 0, 10, 20, 30, 5, 0, &v));
        near("corr undulation at (0, 0) is dX - da", v, 5, 0);
    }

    /* 2D Helmert: x' = m (cos r dx - sin r dy) + t1 + x0 with m = 1 + 2e-6
     * and r = 90": hand values. */
    {
        const double r = 90 * kDeg / 3600, m = 1 + 2e-6;
        OK(tervala_set_helmert_2d(h, 5, -3, 2, 90));
        OK(tervala_helmert_2d(h, 100, 200, 1100, 700, &x, &y));
        near("helmert 2d x", x, m * (cos(r) * 1000 - sin(r) * 500) + 5 + 100, 1e-8);
        near("helmert 2d y", y, m * (sin(r) * 1000 + cos(r) * 500) - 3 + 200, 1e-8);
        OK(tervala_get_2dh(h, 0, &v));
        near("Get2DH(0)", v, x, 0);
        OK(tervala_set_height_trans(h, 0.001, -0.002, 0.5));
        OK(tervala_height_trans(h, 100, 200, 1100, 700, 50, &v));
        near("height trans", v, 50 + 0.001 * 1000 - 0.002 * 500 + 0.5, 1e-12);
    }
}

/* Fits on points made by hand: a pure translation is found exactly. */
static void fits(tervala_handle* h)
{
    double src[6] = {1000, 2000, 1500, 2600, 900, 2700};
    double dst[6];
    double p[7], v;
    double s3[12] = {3000000, 1000000, 5500000, 3001000, 1000000, 5499000,
                     3000000, 1002000, 5499500, 2999000, 999000, 5500800};
    double t3[12];
    double xy[6] = {0, 0, 100, 0, 0, 100};
    double hs[3] = {10, 10, 10};
    double ht[3] = {11, 11.2, 10.7};
    int i;
    OK(tervala_setup_ellipsoid(h, kA, kInvF));
    for (i = 0; i < 6; i += 2) {
        dst[i] = src[i] + 7;
        dst[i + 1] = src[i + 1] - 4;
    }
    OK(tervala_fit_helmert_2d(h, 3, src, dst, p));
    near("fit 2d: t2 first", p[0], -4, 1e-9);
    near("fit 2d: t1", p[1], 7, 1e-9);
    near("fit 2d: scale", p[2], 0, 1e-6);
    OK(tervala_get_helmert_2d_parameters(h, 3, &v));
    near("fit 2d: rotation", v, 0, 1e-6);
    OK(tervala_get_sigma(h, &v));
    near("fit 2d: sigma of an exact fit", v, 0, 1e-9);
    OK(tervala_get_helmert_2d_covariance(h, 0, 0, &v));
    near("fit 2d: covariance of an exact fit", v, 0, 1e-12);
    OK(tervala_get_residual_2d(h, 1, &v));
    near("fit 2d: residual", v, 0, 1e-9);
    OK(tervala_get_residual_2d(h, 0, &v));
    ++checks;
    if (!isnan(v)) {
        ++failures;
        printf("FAIL GetResidual2D(0) is not NaN\n");
    }

    /* Heights: the plane through three points, 0.01 m/m along the first
     * coordinate and -0.003 along the second, shift 1. */
    OK(tervala_fit_height_trans(h, 3, 0, 0, xy, hs, ht, p));
    near("fit heights: slope 1", p[0], 0.002, 1e-12);
    near("fit heights: slope 2", p[1], -0.003, 1e-12);
    near("fit heights: shift", p[2], 1, 1e-12);
    OK(tervala_get_height_parameters(h, 2, &v));
    near("GetHeightParameters(2)", v, 1, 1e-12);
    OK(tervala_get_height_mean_accuracy(h, &v));
    near("fit heights: mean accuracy of an exact fit", v, 0, 1e-12);
    OK(tervala_get_residual_h(h, 2, &v));
    near("fit heights: residual", v, 0, 1e-12);

    for (i = 0; i < 12; i += 3) {
        t3[i] = s3[i] + 12;
        t3[i + 1] = s3[i + 1] - 30;
        t3[i + 2] = s3[i + 2] + 4;
    }
    OK(tervala_fit_bursa_wolf(h, 4, s3, t3, p));
    near("fit bursa-wolf tx", p[0], 12, 1e-4);
    near("fit bursa-wolf ty", p[1], -30, 1e-4);
    near("fit bursa-wolf tz", p[2], 4, 1e-4);
    near("fit bursa-wolf scale", p[3], 0, 1e-6);
    near("fit bursa-wolf rz", p[6], 0, 1e-6);
    OK(tervala_get_seven_parameters(h, 5, &v));
    near("GetSevenParameters(5)", v, 0, 1e-6);
    OK(tervala_get_seven_covariance(h, 0, 0, &v));
    near("fit bursa-wolf covariance of an exact fit", v, 0, 1e-6);
    OK(tervala_get_residual(h, 1, &v));
    near("fit bursa-wolf residual", v, 0, 1e-6);
    OK(tervala_fit_molodensky_badekas(h, 4, s3, t3, p));
    near("fit molodensky-badekas tx", p[0], 12, 1e-6);
    OK(tervala_get_rot_origin(h, 0, &v));
    near("fit molodensky-badekas origin is the centroid", v, (3000000.0 + 3001000 + 3000000 + 2999000) / 4, 1e-6);
}

/* Refusals: each names what was wrong and leaves the outputs alone. */
static void refusals(tervala_handle* h)
{
    double a = 123, b = 456;
    int zone = 0, north = 0;
    status("NULL handle", tervala_bursa_wolf(NULL, 1, 2, 3, &a, &b, &a), TERVALA_ERROR_ARGUMENT, NULL);
    contains("NULL handle message", tervala_last_error(NULL), "handle is NULL");
    status("NULL output", tervala_geodetic_to_tm(h, 0, 0, 0, 0, 1, 1, 1, NULL, &b), TERVALA_ERROR_ARGUMENT, h);
    contains("NULL output message", tervala_last_error(h), "tervala_geodetic_to_tm");
    status("zone 61", tervala_utm_to_geodetic(h, 61, 1, 0, 500000, &a, &b), TERVALA_ERROR_ARGUMENT, h);
    status("north 2", tervala_geodetic_to_utm_zone(h, 10, 2, 0, 0, &a, &b), TERVALA_ERROR_ARGUMENT, h);
    status("latitude 85 for utm", tervala_geodetic_to_utm(h, 85, 0, 0, &zone, &north, &a, &b), TERVALA_ERROR_ARGUMENT, h);
    near("refused call leaves its output", a, 123, 0);
    status("zero scale for tm inverse", tervala_tm_to_geodetic(h, 0, 0, 0, 0, 0, 1, 1, &a, &b), TERVALA_ERROR_ARGUMENT, h);
    status("ellipsoid a = 0", tervala_setup_ellipsoid(h, 0, 298), TERVALA_ERROR_ARGUMENT, h);
    status("no points", tervala_fit_helmert_2d(h, 0, &a, &b, NULL), TERVALA_ERROR_ARGUMENT, h);
    status("no points (heights)", tervala_fit_height_trans(h, 0, 0, 0, &a, &a, &a, NULL), TERVALA_ERROR_ARGUMENT, h);
    status("no points (seven)", tervala_fit_bursa_wolf(h, -1, &a, &b, NULL), TERVALA_ERROR_ARGUMENT, h);
    status("no points (seven, origin)", tervala_fit_molodensky_badekas(h, 0, &a, &b, NULL), TERVALA_ERROR_ARGUMENT, h);
    status("copy of NULL", tervala_copy(NULL) == NULL ? TERVALA_ERROR_ARGUMENT : TERVALA_OK, TERVALA_ERROR_ARGUMENT, NULL);
    status("a success clears the message", tervala_get_sigma(h, &a), TERVALA_OK, h);
    ++checks;
    if (tervala_last_error(h)[0] != '\0') {
        ++failures;
        printf("FAIL message after a success: \"%s\"\n", tervala_last_error(h));
    }
    /* Index outside the range: NaN as the member gives it. */
    OK(tervala_get_geocentric(h, 3, &a));
    ++checks;
    if (!isnan(a)) {
        ++failures;
        printf("FAIL GetGeocentric(3) is not NaN\n");
    }
}

/* A copy keeps the results and the loaded grid of its original. */
static void copies(tervala_handle* h)
{
    double n, e, v;
    tervala_handle* c;
    OK(tervala_setup_ellipsoid(h, kA, kInvF));
    OK(tervala_geodetic_to_tm(h, 38, 127, 600000, 200000, 1, 37.5, 127.3, &n, &e));
    c = tervala_copy(h);
    status("copy", c != NULL ? TERVALA_OK : TERVALA_ERROR_MEMORY, TERVALA_OK, h);
    if (c == NULL)
        return;
    tervala_destroy(h);
    status("copy get_tm", tervala_get_tm(c, 1, &v), TERVALA_OK, c);
    near("copy keeps GetTM(1)", v, 226527.6649, 1e-4);
    status("copy still converts", tervala_geodetic_to_tm(c, 38, 127, 600000, 200000, 1, 37.5, 127.3, &n, &e), TERVALA_OK, c);
    near("copy converts as the original", e, 226527.6649, 1e-4);
    tervala_destroy(c);
}

/* Geoid data: a grid in a folder named "dätä" (UTF-8), the EGM96 model when
 * its files are given, and the refusals of a missing file. */
static void geoid(const char* scratch, const char* egm96)
{
    char folder[1024], back[1024];
    size_t needed = 0;
    double v = 0;
    tervala_handle* h = tervala_create();
    snprintf(folder, sizeof folder, "%s/d\xC3\xA4t\xC3\xA4", scratch);

    OK(tervala_set_data_folder(scratch));
    status("grid missing", tervala_load_grid(h, 14), TERVALA_ERROR_DATA, h);
    contains("grid missing names the file", tervala_last_error(h), "kgeoid14.dat");
    status("height with no grid", tervala_grid_geoid_height(h, 37, 128, &v), TERVALA_ERROR_DATA, h);
    status("egm96 missing", tervala_load_egm96(h), TERVALA_ERROR_DATA, h);
    contains("egm96 missing names the file", tervala_last_error(h), "CORRCOEF.dat");

    OK(tervala_set_data_folder(folder));
    OK(tervala_get_data_folder(back, sizeof back, &needed));
    contains("data folder reads back in UTF-8", back, "d\xC3\xA4t\xC3\xA4");
    near("needed size", (double)needed, (double)strlen(folder) + 1, 0);
    status("data folder into 2 bytes", tervala_get_data_folder(back, 2, &needed), TERVALA_ERROR_ARGUMENT, NULL);
    OK(tervala_load_grid(h, 14));
    /* A node of the plane grid N = 10 + lat + lon / 2 (rows from 38.5 N,
     * columns from 126 E, 0.25 degree): a node gives its stored value
     * exactly. */
    OK(tervala_grid_geoid_height(h, 37.5, 127.5, &v));
    near("grid node in the dätä folder", v, 111.25, 0);
    status("grid latitude 95", tervala_grid_geoid_height(h, 95, 129, &v), TERVALA_ERROR_ARGUMENT, h);

    if (egm96 != NULL) {
        /* NGA's published EGM96 check values (metres). NGA interpolated
         * them in its 15' grid, which stands 3 mm off the synthesis at these
         * points; a wrong coefficient or degree is off by decimetres. */
        static const double points[][3] = {
            {38.6281550, 269.7791550, -31.628}, {-14.6212170, 305.0211140, -2.969},
            {46.8743190, 102.4487290, -43.575}, {-23.6174460, 133.8747120, 15.871},
            {38.6254730, 359.9995000, 50.066},  {-0.4667440, 0.0023000, 17.329},
        };
        size_t i;
        OK(tervala_set_data_folder(egm96));
        OK(tervala_load_egm96(h));
        for (i = 0; i < sizeof points / sizeof points[0]; ++i) {
            OK(tervala_egm96_geoid_height(h, points[i][0], points[i][1], &v));
            near("EGM96 check value", v, points[i][2], 0.005);
        }
    } else {
        printf("skipped: EGM96 check values (no EGM96 folder given)\n");
    }
    tervala_set_data_folder(NULL);
    tervala_destroy(h);
}

int main(int argc, char** argv)
{
    tervala_handle* h;
    if (argc < 2) {
        printf("usage: test_c_api <scratch folder> [EGM96 folder]\n");
        return 2;
    }
    contains("version", tervala_version(), ".");
    h = tervala_create();
    if (h == NULL) {
        printf("FAIL tervala_create\n");
        return 1;
    }
    conversions(h);
    transformations(h);
    fits(h);
    refusals(h);
    copies(h); /* destroys h */
    geoid(argv[1], argc > 2 ? argv[2] : NULL);
    printf("%d checks, %d failed\n", checks, failures);
    return failures == 0 ? 0 : 1;
}
