// GeographicLib's TransverseMercator as a line filter, the reference of the
// tool's --extra tests: arguments a, 1/f, k0 and the central meridian;
// "lat lon" lines in, "easting northing convergence scale" lines out (as
// GeographicLib's TransverseMercatorProj prints them).
#include <cstdio>
#include <cstdlib>

#include <GeographicLib/TransverseMercator.hpp>

int main(int argc, char** argv)
{
    if (argc != 5)
        return std::fprintf(stderr, "usage: tm_reference A INVERSE_FLATTENING K0 LON0 < lat-lon lines\n"), 2;
    const GeographicLib::TransverseMercator tm(std::atof(argv[1]), 1 / std::atof(argv[2]), std::atof(argv[3]));
    double lat, lon, x, y, gamma, k;
    while (std::scanf("%lf %lf", &lat, &lon) == 2) {
        tm.Forward(std::atof(argv[4]), lat, lon, x, y, gamma, k);
        std::printf("%.7f %.7f %.12f %.12f\n", x, y, gamma, k);
    }
    return 0;
}
