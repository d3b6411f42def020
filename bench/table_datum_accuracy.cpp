// Prints the datum-transformation accuracy table of docs/accuracy.md: the
// largest differences from PROJ on 500 geocentric points over the globe
// (latitudes +-89, heights -500 to 9000 m) and six parameter sets with
// rotations up to 3 degrees, for the seven-parameter models both ways, and on
// 500 geodetic points for the abridged Molodensky shifts. Molodensky-Badekas
// is compared with PROJ's exact Helmert applied to the point less the origin,
// the origin added back; PROJ's own molobadekas uses the small-angle matrix,
// so it is compared at rotations below 0.1". Run by
// `scripts/tables datum-accuracy`.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "DatumCases.h"
#include "tervala/Tervala.h"

#ifdef TERVALA_HAVE_PROJ
#include <proj.h>

namespace {

struct Vec3 {
    double x, y, z;
};
using datumcases::Seven;
using datumcases::kParameterSets;

class Proj {
public:
    explicit Proj(const std::string& definition) : pj_(proj_create(ctx_, definition.c_str())) {}
    ~Proj()
    {
        proj_destroy(pj_);
        proj_context_destroy(ctx_);
    }
    bool ok() const { return pj_ != nullptr; }
    PJ_COORD trans(PJ_DIRECTION d, double a, double b, double c) const
    {
        return proj_trans(pj_, d, proj_coord(a, b, c, 0));
    }
    Vec3 trans(PJ_DIRECTION d, const Vec3& x, const Vec3& origin) const
    {
        const PJ_COORD c = trans(d, x.x - origin.x, x.y - origin.y, x.z - origin.z);
        return Vec3{c.xyz.x + origin.x, c.xyz.y + origin.y, c.xyz.z + origin.z};
    }

private:
    PJ_CONTEXT* ctx_ = proj_context_create();
    PJ* pj_;
};

std::string helmert(const Seven& p, const char* operation) { return datumcases::projHelmert(p, operation); }

std::vector<Vec3> geocentricPoints(int count, unsigned seed)
{
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> lat(-89.0, 89.0), lon(-180.0, 180.0), h(-500.0, 9000.0);
    CTervala t;
    t.Setup_Ellipsoid(6378137.0, 298.257222101);
    std::vector<Vec3> out;
    for (int i = 0; i < count; ++i) {
        double la = lat(rng), lo = lon(rng), hh = h(rng);
        t.Geodetic_to_Geocentric(la, lo, hh);
        out.push_back(Vec3{t.GetGeocentric(0), t.GetGeocentric(1), t.GetGeocentric(2)});
    }
    return out;
}

double distanceTo(CTervala& t, const Vec3& b)
{
    return std::hypot(t.GetGeocentric(0) - b.x, t.GetGeocentric(1) - b.y, t.GetGeocentric(2) - b.z);
}

bool failed(const Proj& p, const std::string& definition)
{
    if (p.ok())
        return false;
    std::fprintf(stderr, "table_datum_accuracy: PROJ refused %s\n", definition.c_str());
    return true;
}

} // namespace
#endif

int main()
{
#ifndef TERVALA_HAVE_PROJ
    std::fprintf(stderr, "table_datum_accuracy: PROJ (Debian libproj-dev) is not installed; no table\n");
    return 1;
#else
    const std::vector<Vec3> points = geocentricPoints(500, 21);
    const Vec3 zero{0, 0, 0};
    const Vec3 origins[] = {{3790000.0, -130000.0, 5120000.0}, {-3050000.0, 4045000.0, 3862000.0}};
    // Largest differences: Bursa-Wolf forward, inverse; Molodensky-Badekas
    // forward, inverse; forward then inverse of Bursa-Wolf.
    double bw = 0, bwInv = 0, mb = 0, mbInv = 0, trip = 0;
    CTervala t;
    for (const Seven& p : kParameterSets) {
        const std::string definition = helmert(p, "helmert");
        const Proj proj(definition);
        if (failed(proj, definition))
            return 1;
        t.SetParameters_Bursa_WolfModel(p.tx, p.ty, p.tz, p.s, p.rx, p.ry, p.rz);
        for (const Vec3& x : points) {
            t.Bursa_WolfModel(x.x, x.y, x.z);
            bw = std::max(bw, distanceTo(t, proj.trans(PJ_FWD, x, zero)));
            double X = t.GetGeocentric(0), Y = t.GetGeocentric(1), Z = t.GetGeocentric(2);
            t.Inv_Bursa_WolfModel(X, Y, Z);
            trip = std::max(trip, distanceTo(t, x));
            double x0 = x.x, y0 = x.y, z0 = x.z;
            t.Inv_Bursa_WolfModel(x0, y0, z0);
            bwInv = std::max(bwInv, distanceTo(t, proj.trans(PJ_INV, x, zero)));
        }
        for (const Vec3& o : origins) {
            t.SetParameters_Molodensky_BadekasModel(o.x, o.y, o.z, p.tx, p.ty, p.tz, p.s, p.rx, p.ry, p.rz);
            for (const Vec3& x : points) {
                t.Molodensky_BadekasModel(x.x, x.y, x.z);
                mb = std::max(mb, distanceTo(t, proj.trans(PJ_FWD, x, o)));
                double X = x.x, Y = x.y, Z = x.z;
                t.Inv_Molodensky_BadekasModel(X, Y, Z);
                mbInv = std::max(mbInv, distanceTo(t, proj.trans(PJ_INV, x, o)));
            }
        }
    }

    // PROJ's molobadekas, small rotations.
    const Seven small{-446.448, 125.157, -542.060, 20.4894, -0.01502, -0.02470, -0.08421};
    const Vec3 o = origins[0];
    char text[500];
    std::snprintf(text, sizeof text, "%s +px=%.17g +py=%.17g +pz=%.17g", helmert(small, "molobadekas").c_str(), o.x,
                  o.y, o.z);
    const Proj molo(text);
    if (failed(molo, text))
        return 1;
    t.SetParameters_Molodensky_BadekasModel(o.x, o.y, o.z, small.tx, small.ty, small.tz, small.s, small.rx, small.ry,
                                            small.rz);
    double moloSmall = 0;
    for (const Vec3& x : points) {
        t.Molodensky_BadekasModel(x.x, x.y, x.z);
        moloSmall = std::max(moloSmall, distanceTo(t, molo.trans(PJ_FWD, x, zero)));
    }

    // Abridged Molodensky: PROJ returns the shifted point, so its output less
    // its input is the shift.
    const double shifts[][7] = {
        {6378137.0, 298.257223563, 87, 98, 121, 251, 1.4192702e-5},
        {6378137.0, 298.257223563, -146.414, 507.337, 680.507, -739.845, -1.003748e-5},
        {6377397.155, 299.1528128, 0, 0, 0, 739.845, 1.003748e-5},
        {6378388.0, 297.0, -300, 200, -100, 0, 0},
    };
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> lat(-85, 85), lon(-180, 180);
    double angle = 0, height = 0;
    for (const auto& s : shifts) {
        std::snprintf(text, sizeof text,
                      "+proj=molodensky +abridged +a=%.17g +rf=%.17g +dx=%.17g +dy=%.17g +dz=%.17g +da=%.17g "
                      "+df=%.17g",
                      s[0], s[1], s[2], s[3], s[4], s[5], s[6]);
        const Proj proj(text);
        if (failed(proj, text))
            return 1;
        t.Setup_Ellipsoid(s[0], s[1]);
        for (int k = 0; k < 500; ++k) {
            const double la = lat(rng), lo = lon(rng);
            const PJ_COORD c = proj.trans(PJ_FWD, proj_torad(lo), proj_torad(la), 0);
            t.Abridged_Molodensky_Transform(la, lo, s[2], s[3], s[4], s[5], s[6]);
            angle = std::max({angle, std::fabs(t.GetdLLH(0) - (proj_todeg(c.lpz.phi) - la)),
                              std::fabs(t.GetdLLH(1) - (proj_todeg(c.lpz.lam) - lo))});
            height = std::max(height, std::fabs(t.GetdLLH(2) - c.lpz.z));
        }
    }

    std::printf("| operation | PROJ operation | largest difference |\n|---|---|---|\n");
    std::printf("| `Bursa_WolfModel` | `helmert +convention=coordinate_frame +exact` | %.2g m |\n", bw);
    std::printf("| `Inv_Bursa_WolfModel` | the same, `PJ_INV` | %.2g m |\n", bwInv);
    std::printf("| `Molodensky_BadekasModel` | the same Helmert on X − X0, X0 added back | %.2g m |\n", mb);
    std::printf("| `Inv_Molodensky_BadekasModel` | the same, `PJ_INV` | %.2g m |\n", mbInv);
    std::printf("| `Molodensky_BadekasModel`, rotations < 0.1″ | `molobadekas` (small-angle matrix) | %.2g m |\n",
                moloSmall);
    std::printf("| `Abridged_Molodensky_Transform` | `molodensky +abridged`, output − input | %.2g °, %.2g m |\n",
                angle, height);
    std::printf("\nBursa-Wolf forward then inverse returns the point within %.2g m.\n", trip);
    return 0;
#endif
}
