/* Time per point of the Transverse Mercator forward through the C
 * interface, for comparing one build with another (Linux native against the
 * Windows build under Wine): the same 1e6 points, the best of 5 passes.
 * Build: cc -O2 -Iinclude bench/tm_c_api.c -L<lib folder> -ltervala -lm
 *    or: x86_64-w64-mingw32-gcc-posix -O2 -Iinclude bench/tm_c_api.c <bin>/tervala.dll -o tm_c_api.exe
 */
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "tervala/tervala_c.h"

#define POINTS 1000000

int main(void)
{
    tervala_handle* h = tervala_create();
    double* lat = malloc(POINTS * sizeof *lat);
    double* lon = malloc(POINTS * sizeof *lon);
    double best = 1e30, sum = 0;
    unsigned state = 26;
    int i, pass;
    if (h == NULL || lat == NULL || lon == NULL || tervala_setup_ellipsoid(h, 6378137.0, 298.257222101) != TERVALA_OK)
        return 1;
    for (i = 0; i < POINTS; ++i) {
        state = state * 1103515245u + 12345u;
        lat[i] = 33.0 + 6.0 * (state >> 8) / 16777216.0;
        state = state * 1103515245u + 12345u;
        lon[i] = 124.0 + 8.0 * (state >> 8) / 16777216.0;
    }
    for (pass = 0; pass < 5; ++pass) {
        clock_t start = clock();
        double seconds;
        for (i = 0; i < POINTS; ++i) {
            double n, e;
            tervala_geodetic_to_tm(h, 38, 127, 600000, 200000, 1, lat[i], lon[i], &n, &e);
            sum += n + e;
        }
        seconds = (double)(clock() - start) / CLOCKS_PER_SEC;
        if (seconds < best)
            best = seconds;
    }
    printf("tm forward through the C interface: %.1f ns per point (best of 5 passes over %d points; checksum %.6e)\n",
           best * 1e9 / POINTS, POINTS, sum);
    tervala_destroy(h);
    free(lat);
    free(lon);
    return 0;
}
