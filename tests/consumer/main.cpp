#include <tervala/Tervala.h>
#include <tervala/tervala.hpp>

#include <cstdio>

int main()
{
    CTervala t;
    t.Setup_Ellipsoid(6378137.0, 298.257222101);  // GRS80
    double lat = 37.5, lon = 127.0, h = 100.0;
    t.Geodetic_to_Geocentric(lat, lon, h);         // lat, lon now hold radians
    double X = t.GetGeocentric(0), Y = t.GetGeocentric(1), Z = t.GetGeocentric(2);
    t.Geocentric_to_Geodetic(X, Y, Z);
    std::printf("%.4f %.4f %.4f -> %.10f %.10f %.6f\n", X, Y, Z, t.GetGeodetic(0), t.GetGeodetic(1),
                t.GetGeodetic(2));
    const tervala::Projected p = tervala::Utm(52).forward(37.5, 127.0);  // the value types install too
    std::printf("UTM 52N %.3f %.3f\n", p.easting, p.northing);
    return 0;
}
