/* Prints the doubles of the Transverse Mercator, UTM, geocentric and EGM96
 * results (forward and inverse) for fixed pseudo-random points, each as the
 * 16 hexadecimal digits of its bits, so two builds (Linux native and the Windows build under
 * Wine) can be compared bit for bit: scripts/windows-numbers does that.
 * Build: cc -O2 -Iinclude bench/results_c_api.c -L<lib folder> -ltervala -lm
 *    or: x86_64-w64-mingw32-gcc-posix -O2 -Iinclude bench/results_c_api.c <bin>/tervala.dll -o results_c_api.exe
 * Usage: results_c_api [EGM96 folder]   (without it the EGM96 rows are left out)
 */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "tervala/tervala_c.h"

#define POINTS 2000
#define GEOID_POINTS 200

static unsigned state = 26;

/* A uniform number in [lo, hi): a fixed linear congruential sequence, the
 * same on every platform (no rand()). */
static double uniform(double lo, double hi)
{
    state = state * 1103515245u + 12345u;
    return lo + (hi - lo) * (double)(state >> 8) / 16777216.0;
}

/* The bits of a double in hexadecimal, written by hand: the Windows C
 * runtime's printf knows neither %a everywhere nor %llx. */
static void bits(double value)
{
    uint64_t u;
    char text[17];
    int k;
    memcpy(&u, &value, sizeof u);
    for (k = 15; k >= 0; --k) {
        text[k] = "0123456789abcdef"[u & 15];
        u >>= 4;
    }
    text[16] = 0;
    printf(" %s", text);
}

static void row(const char* group, int i, int status, int n, const double* v)
{
    int k;
    printf("%s %d", group, i);
    if (status != TERVALA_OK) {
        printf(" status %d\n", status);
        return;
    }
    for (k = 0; k < n; ++k)
        bits(v[k]);
    printf("\n");
}

int main(int argc, char** argv)
{
    tervala_handle* h = tervala_create();
    int i, status;
    if (h == NULL || tervala_setup_ellipsoid(h, 6378137.0, 298.257222101) != TERVALA_OK)
        return 1;
    for (i = 0; i < POINTS; ++i) {
        /* Korean TM: origin 38 N 127 E, false northing 600 km, easting 200 km. */
        double lat = uniform(33, 39), lon = uniform(124, 132), v[2], back[2];
        status = tervala_geodetic_to_tm(h, 38, 127, 600000, 200000, 1, lat, lon, &v[0], &v[1]);
        row("tm", i, status, 2, v);
        status = tervala_tm_to_geodetic(h, 38, 127, 600000, 200000, 1, v[0], v[1], &back[0], &back[1]);
        row("tm-inverse", i, status, 2, back);
    }
    for (i = 0; i < POINTS; ++i) {
        double lat = uniform(-79.9, 83.9), lon = uniform(-180, 180), v[2], back[2];
        int zone, north;
        status = tervala_geodetic_to_utm(h, lat, lon, 0, &zone, &north, &v[0], &v[1]);
        row("utm", i, status, 2, v);
        if (status == TERVALA_OK) {
            status = tervala_utm_to_geodetic(h, zone, north, v[0], v[1], &back[0], &back[1]);
            row("utm-inverse", i, status, 2, back);
        }
    }
    for (i = 0; i < POINTS; ++i) {
        double lat = uniform(-90, 90), lon = uniform(-180, 180), hgt = uniform(-500, 9000), v[3], back[3];
        status = tervala_geodetic_to_geocentric(h, lat, lon, hgt, &v[0], &v[1], &v[2]);
        row("geocentric", i, status, 3, v);
        status = tervala_geocentric_to_geodetic(h, v[0], v[1], v[2], &back[0], &back[1], &back[2]);
        row("geodetic", i, status, 3, back);
    }
    if (argc > 1) {
        tervala_set_data_folder(argv[1]);
        if (tervala_load_egm96(h) != TERVALA_OK) {
            fprintf(stderr, "results_c_api: %s\n", tervala_last_error(h));
            return 1;
        }
        for (i = 0; i < GEOID_POINTS; ++i) {
            double lat = uniform(-90, 90), lon = uniform(-180, 180), n;
            status = tervala_egm96_geoid_height(h, lat, lon, &n);
            row("egm96", i, status, 1, &n);
        }
    }
    tervala_destroy(h);
    return 0;
}
