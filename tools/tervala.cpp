// tervala: command-line front end of the Tervala library.
#include <cstdio>
#include <cstring>

#include <tervala/Tervala.h>

namespace {

int usage(std::FILE* out)
{
    std::fprintf(out,
                 "usage: tervala <command>\n"
                 "commands:\n"
                 "  demo    convert a point on GRS80 to geocentric coordinates and back\n");
    return out == stdout ? 0 : 2;
}

// The road of one request on built-in inputs.
int demo()
{
    CTervala t;
    const double a = 6378137.0, inverseFlattening = 298.257222101;  // GRS80
    t.Setup_Ellipsoid(a, inverseFlattening);
    std::printf("Ellipsoid GRS80: a = %.3f m, 1/f = %.9f\n", a, inverseFlattening);

    double lat = 37.5, lon = 127.0, h = 100.0;
    std::printf("Geodetic    lat %.10f  lon %.10f  h %.4f m\n", lat, lon, h);
    t.Geodetic_to_Geocentric(lat, lon, h);
    double X = t.GetGeocentric(0), Y = t.GetGeocentric(1), Z = t.GetGeocentric(2);
    std::printf("Geocentric  X %.4f  Y %.4f  Z %.4f m\n", X, Y, Z);
    t.Geocentric_to_Geodetic(X, Y, Z);
    std::printf("Back        lat %.10f  lon %.10f  h %.4f m\n", t.GetGeodetic(0), t.GetGeodetic(1), t.GetGeodetic(2));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage(stderr);
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)
        return usage(stdout);
    if (std::strcmp(argv[1], "demo") == 0)
        return demo();
    std::fprintf(stderr, "tervala: unknown command '%s'\n", argv[1]);
    return usage(stderr);
}
